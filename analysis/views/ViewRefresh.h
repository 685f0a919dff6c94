#pragma once

#include "core/OperationFrame.h"
#include "hlTabulon/hlTabulon.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

namespace db {
class Recordset;
}

namespace analysis {

// The frame of a view refresh (summary, cross-tab, chart):
//
//     ViewRefresh refresh(*this, QStringLiteral("Refresh_Summary"));
//     if (!refresh.run({QStringLiteral("Summarising data ...")}, [&] { ... }, [&] { ... }))
//         return false; // another operation ran, or the control went meanwhile
//
// One refresh at a time; the body runs in the operation frame (busy mark, hourglass, status,
// Escape, stop token) with its failures reported (a user's cancel is none); the data-shaping
// connection is let go; then the view is settled, still in the frame.
//
// A host may destroy the control while the event loop turns inside the refresh. Every turn made
// through this frame looks afterwards, and a control gone ends the refresh right there: it unwinds
// to run(), past the grid's and the chart's own loops, and nothing of the control is touched again.
// A call that may turn the loop by itself (a question, a dialog) is followed by check().
class ViewRefresh {
public:
    struct Look {
        QString text;
        ui::LongOperation::Restore restore = ui::LongOperation::Restore::Ready;
        bool clearAbortAtEnd = false;
    };

    ViewRefresh(hlTabulon &control, QString procedure);

    // False without running anything while another operation of the control runs (a click while
    // one runs must not pull its recordset away), and false when the control went meanwhile.
    // `prepare` runs once the refresh may go ahead, before the frame is put up.
    bool run(const Look &look, const std::function<void()> &body, const std::function<void()> &settle,
             const std::function<void()> &prepare = {});

    // Lets the event loop run; true when the user asked to stop.
    bool step(bool now = false);
    // The same for the grid's and the chart's loops, which only want the loop to turn.
    std::function<void()> turn();
    // Ends the refresh here if the control went.
    void check() const;
    bool alive() const { return !m_control.isNull(); }
    bool aborted() const;
    ui::LongOperation &operation();

    // The view's aggregate statement, from its picker bar (sql); empty after a refusal.
    QString statement(const hlTabulon::PickerArray &picker);
    // `text` opened and every row fetched, unless the user stops first: then the rest is
    // cancelled and `stopped` is set. The rows are held here while they come.
    std::shared_ptr<db::Recordset> open(const QString &text);

    QString sql;          // the view's statement, shown with its failure
    bool stopped = false; // the user stopped it, or cancelled its statement
    bool failed = false;  // a failure was reported

private:
    struct Gone {};
    QPointer<hlTabulon> m_control;
    QString m_procedure;
    OperationFrame *m_frame = nullptr;
};

} // namespace analysis
