#pragma once

#include "hlSourceBrowser/BrowserSettings.h"

#include "app/Trap.h"

#include <QString>

namespace browser {

// The text of the exception being handled; call only inside a catch block.
QString currentErrorText();

// The library's one trap: runs a procedure's work and gives its answer (true for work that answers
// nothing). A failure goes to `report` with the procedure's name and its text and answers false;
// `undo` first puts back what the work left half done.
template <typename Report, typename Body, typename Undo>
bool trapWith(Report &&report, const QString &procedure, Body &&body, Undo &&undo)
{
    return app::trap(body, undo, [&] {
        report(procedure, currentErrorText());
        return false;
    });
}

// The forms and settings report to the library's error object.
template <typename Body, typename Undo>
bool trap(const QString &procedure, Body &&body, Undo &&undo)
{
    return trapWith(logError, procedure, body, undo);
}

template <typename Body>
bool trap(const QString &procedure, Body &&body)
{
    return trapWith(logError, procedure, body, [] {});
}

} // namespace browser
