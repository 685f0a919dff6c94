#pragma once

#include <hlQueryBuilder/QueryBuilder.h>

#include "app/Trap.h"

// The one trap of the control's procedures: a failure inside `body` is reported under the
// procedure's name (a cancelled statement is none) and the procedure answers false. A body may
// return bool to fail quietly.
template <class Body>
bool QueryBuilder::trap(const char *procName, Body &&body)
{
    return app::trapReporting(body, [&](const QString &description) {
        logError(QString::fromLatin1(procName), description);
    });
}
