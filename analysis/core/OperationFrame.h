#pragma once

#include <tabulon/hlTabulonExport.h>

#include "db/Worker.h"
#include "ui/LongOperation.h"

#include <QPointer>
#include <QString>

#include <memory>

class hlTabulon;

namespace analysis {

// The frame of one long operation of a control:
//
//     OperationFrame frame(*this, OperationFrame::Refreshing, "Refreshing Summary ...");
//     for (...) { ...; if (frame.step()) break; }
//
// It sets the operation's busy mark (which the cancel question names), clears the library's abort
// flag, shows the hourglass and the text in status panel 1; a view refresh also keeps its start
// time and shows the elapsed time in panel 5, and puts its hourglass and text up only once the
// event loop runs (a refresh that comes back at once is never drawn busy). The control's stop token is current meanwhile, so a
// Yes to the cancel question stops the database calls the operation waits for. Leaving the scope,
// by any path, puts all of it back ("Cancelled ..." instead of "Ready ..." after a stop). A
// tear-down the host asked for while the operation ran happens once the last mark is down.
class HLTABULON_EXPORT OperationFrame {
public:
    enum Kind { Refreshing, Copying, Selecting, Finding, Exporting, Printing, Fetching };

    OperationFrame(hlTabulon &control, Kind kind, const QString &text,
                   ui::LongOperation::Restore restore = ui::LongOperation::Restore::Ready,
                   bool clearAbortAtEnd = false);
    ~OperationFrame();
    OperationFrame(const OperationFrame &) = delete;
    OperationFrame &operator=(const OperationFrame &) = delete;

    // Lets the event loop run (the Escape poll among it); true when the user asked to stop.
    bool step(bool now = false);
    bool aborted() const;
    ui::LongOperation &operation() { return *m_operation; }

private:
    QPointer<hlTabulon> m_control;
    bool hlTabulon::*m_mark;
    std::unique_ptr<ui::LongOperation> m_operation;
    ui::LongOperation::Restore m_restore;
    db::StopToken::Scope m_stopScope;
};

} // namespace analysis
