#include "views/ViewRefresh.h"

#include "views/ViewFetch.h"

#include "db/Connection.h"
#include "db/Recordset.h"

namespace analysis {

ViewRefresh::ViewRefresh(hlTabulon &control, QString procedure)
    : m_control(&control)
    , m_procedure(std::move(procedure))
{
}

bool ViewRefresh::run(const Look &look, const std::function<void()> &body, const std::function<void()> &settle,
                      const std::function<void()> &prepare)
{
    if (!m_control || m_control->hasBusyMark())
        return false;
    hlTabulon &control = *m_control;
    if (prepare)
        prepare();
    OperationFrame frame(control, OperationFrame::Refreshing, look.text, look.restore, look.clearAbortAtEnd);
    m_frame = &frame;
    const std::shared_ptr<void> leave(nullptr, [this](void *) { m_frame = nullptr; });
    try {
        try {
            body();
        } catch (const Gone &) {
            throw;
        } catch (...) {
            // A wait stopped as the control went fails its statement: nobody is left to tell.
            check();
            const bool cancelled = control.viewRefreshFailed(m_procedure, sql);
            failed = !cancelled;
            stopped = cancelled || stopped;
        }
        check(); // a turn of the loop the body made by other means
        control.m_shape.reset();
        if (settle)
            settle();
    } catch (const Gone &) {
        return false;
    }
    return true;
}

bool ViewRefresh::step(bool now)
{
    const bool stop = m_frame->step(now);
    check();
    return stop;
}

std::function<void()> ViewRefresh::turn()
{
    return [this] { step(); };
}

void ViewRefresh::check() const
{
    if (!m_control)
        throw Gone{};
}

bool ViewRefresh::aborted() const
{
    return m_frame->aborted();
}

ui::LongOperation &ViewRefresh::operation()
{
    return m_frame->operation();
}

QString ViewRefresh::statement(const hlTabulon::PickerArray &picker)
{
    sql = m_control->Get_SummarySQL(picker);
    check();
    return sql;
}

std::shared_ptr<db::Recordset> ViewRefresh::open(const QString &text)
{
    check(); // the statement's text may have asked the user something
    std::shared_ptr<db::Recordset> rs = m_control->openAggregate(text);
    check();
    if (rs->State() == db::adStateOpen && (!fetchEveryRow(*rs, *this) || aborted())) {
        rs->Cancel();
        stopped = true;
    }
    check();
    return rs;
}

} // namespace analysis
