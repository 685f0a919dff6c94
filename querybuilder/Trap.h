#pragma once

#include <hlQueryBuilder/QueryBuilder.h>

#include <exception>
#include <type_traits>

// The one trap of the control's procedures: a failure inside `body` is reported under the
// procedure's name and the procedure answers false. A body may return bool to fail quietly.
template <class Body>
bool QueryBuilder::trap(const char *procName, Body &&body)
{
    try {
        if constexpr (std::is_same_v<std::invoke_result_t<Body>, bool>)
            return body();
        else {
            body();
            return true;
        }
    } catch (const std::exception &e) {
        logError(QString::fromLatin1(procName), QString::fromUtf8(e.what()));
    } catch (...) {
        logError(QString::fromLatin1(procName), QStringLiteral("Unknown error"));
    }
    return false;
}
