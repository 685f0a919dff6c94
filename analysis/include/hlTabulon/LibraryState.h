#pragma once

#include <tabulon/hlTabulonExport.h>

#include <QString>

#include <functional>
#include <memory>

class QDialog;
class hrErr;

// State that every analysis control of the library shares in the process (the option values are
// in Options.h).
namespace analysis {

// The user confirmed cancelling; long loops stop when they see it. A Yes given in one query window
// also stops a loop in another.
HLTABULON_EXPORT extern bool g_blnAbort;

// Once set (by the first start-up of a control in the process; nothing clears it), the start-up
// routine and a few command handlers report straight to the error object instead of raising the
// control's Faultdesk event.
HLTABULON_EXPORT extern bool g_blnErrorRouting;

// The delimiter a new control starts with, as the last host to set one left it. Each control keeps
// its own copy from then on, so one window's choice never changes another's SQL.
HLTABULON_EXPORT extern QString g_strDelimiter;

// The library's error object, created on first use. Callers keep the pointer for the length of a
// report: a window closed during a modal report may release the library's reference meanwhile.
HLTABULON_EXPORT std::shared_ptr<hrErr> errorObject();
HLTABULON_EXPORT void releaseErrorObject();
// Log_Error of the library's error object.
HLTABULON_EXPORT void logError(const QString &procedure, const QString &description);

// Escape presses, counted once for the whole library so that every control's 100 ms poll sees
// each press, not just the control that happened to poll first. `seen` is the caller's own count;
// true when a press came after it.
HLTABULON_EXPORT bool escapePressedSince(quint64 &seen);
HLTABULON_EXPORT quint64 escapePresses();

// How the library's modal windows are shown. The default runs the window's own event loop; a test
// installs a runner that inspects the window and closes it, so nothing blocks.
using ModalRunner = std::function<void(QDialog &)>;
HLTABULON_EXPORT void setModalRunner(ModalRunner runner); // empty restores the default
HLTABULON_EXPORT void runModal(QDialog &dialog);

} // namespace analysis
