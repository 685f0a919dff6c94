#pragma once

#include "app/Trap.h"

#include <QString>

namespace analysis {

// Logs the exception being handled to the library's error object under the procedure's name and
// gives false; call only inside a catch block.
bool logCurrentError(const QString &procedure);

// The dialogs' one trap: runs a procedure's work and gives its answer (true for work that answers
// nothing). An exception is logged under the procedure's name and gives false; `undo` first puts
// back what the work left half done.
template <typename Body, typename Undo>
bool trap(const QString &procedure, Body &&body, Undo &&undo)
{
    return app::trap(body, undo, [&] { return logCurrentError(procedure); });
}

template <typename Body>
bool trap(const QString &procedure, Body &&body)
{
    return trap(procedure, body, [] {});
}

} // namespace analysis
