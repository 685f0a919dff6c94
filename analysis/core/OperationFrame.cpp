#include "core/OperationFrame.h"

#include "hlTabulon/LibraryState.h"
#include "hlTabulon/hlTabulon.h"

#include "ui/StatusPanels.h"

namespace analysis {

OperationFrame::OperationFrame(hlTabulon &control, Kind kind, const QString &text, ui::LongOperation::Restore restore,
                               bool clearAbortAtEnd)
    : m_control(&control)
    , m_restore(restore)
    , m_stopScope(control.m_stop)
{
    switch (kind) {
    case Refreshing: m_mark = &hlTabulon::m_blnRefreshing; break;
    case Copying: m_mark = &hlTabulon::m_blnCopying; break;
    case Selecting: m_mark = &hlTabulon::m_blnSelecting; break;
    case Finding: m_mark = &hlTabulon::m_blnFinding; break;
    case Exporting: m_mark = &hlTabulon::m_blnExporting; break;
    case Printing: m_mark = &hlTabulon::m_blnPrinting; break;
    case Fetching:
    default: m_mark = &hlTabulon::m_blnFetching; break;
    }
    control.*m_mark = true;
    if (kind == Refreshing)
        control.startRunTimer();

    ui::LongOperation::Options options;
    options.status = control.staStatus;
    options.text = text;
    options.restore = restore;
    options.clearAbortAtEnd = clearAbortAtEnd;
    // A refresh that comes back at once is never drawn busy.
    options.lookOnceEventsRun = kind == Refreshing;
    m_operation = std::make_unique<ui::LongOperation>(g_blnAbort, std::move(options));
}

OperationFrame::~OperationFrame()
{
    // Asked to stop (the flag is cleared as some operations end): a user's cancel is no failure.
    const bool cancelled = g_blnAbort;
    m_operation.reset();
    if (!m_control)
        return;
    hlTabulon &control = *m_control;
    if (cancelled && m_restore == ui::LongOperation::Restore::Ready)
        control.staStatus->Panels(1).setText(QStringLiteral("Cancelled ..."));
    control.*m_mark = false;
    if (m_mark == &hlTabulon::m_blnRefreshing)
        control.stopRunTimer();
    control.operationEnded();
}

bool OperationFrame::step(bool now)
{
    return m_operation->step(now);
}

bool OperationFrame::aborted() const
{
    return m_operation->aborted();
}

} // namespace analysis
