#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>

#include <type_traits>

namespace app {

// The text of the exception being handled, as the procedures report it: a database error's
// message, another exception's what() (UTF-8), and `otherwise` for anything that is no exception
// class. Call only inside a catch block.
PLATFORM_EXPORT QString currentErrorText(const QString &otherwise);

// Whether the exception being handled is a statement the user cancelled: what they asked for, so
// no trap reports it as a failure. Call only inside a catch block.
PLATFORM_EXPORT bool currentErrorIsCancel();

// The procedures' one trap: runs the work and gives its answer (true for work that answers
// nothing). On an exception `undo` first puts back what the work left half done, then `failed`
// reports it (still inside the catch block, so currentErrorText() reads it) and gives the answer.
template <typename Body, typename Undo, typename Failed>
bool trap(Body &&body, Undo &&undo, Failed &&failed)
{
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body &>>) {
            body();
            return true;
        } else {
            return bool(body());
        }
    } catch (...) {
        undo();
        return failed();
    }
}

// The trap of a procedure that reports its own failures: `report` gets the error's text, except for
// a cancelled statement, which is no failure. Either way the answer is false.
template <typename Body, typename Undo, typename Report>
bool trapReporting(Body &&body, Undo &&undo, Report &&report)
{
    return trap(body, undo, [&] {
        if (!currentErrorIsCancel())
            report(currentErrorText(QStringLiteral("Unknown error")));
        return false;
    });
}

template <typename Body, typename Report>
bool trapReporting(Body &&body, Report &&report)
{
    return trapReporting(body, [] {}, report);
}

// For handlers that have nowhere to report: a failure leaves things as `undo` puts them.
template <typename Body, typename Undo>
bool trapQuietly(Body &&body, Undo &&undo)
{
    return trap(body, undo, [] { return false; });
}

template <typename Body>
bool trapQuietly(Body &&body)
{
    return trapQuietly(body, [] {});
}

} // namespace app
