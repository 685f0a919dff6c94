// The summary view: the query's rows grouped by up to three columns with one aggregate each,
// subtotals per group level, a TOTAL row, and rows hidden by value from a pop-up menu.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlAccess.h"
#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"
#include "views/Aggregates.h"
#include "views/SummaryTotals.h"
#include "views/ViewRefresh.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHash>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>

using analysis::SummaryTotals;

namespace {

// Lets the event loop turn every 15 ms of the grid's work, twice as often as elsewhere: what the
// grid does between two calls (rows let go, the views told of rows) comes on top of the wait.
class GridTurn {
public:
    explicit GridTurn(analysis::ViewRefresh &refresh)
        : m_refresh(refresh)
    {
        m_since.start();
    }
    void operator()()
    {
        if (m_since.elapsed() >= 15) {
            m_refresh.step(true);
            m_since.restart();
        }
    }

private:
    analysis::ViewRefresh &m_refresh;
    QElapsedTimer m_since;
};

QString rowsText(int n)
{
    return QStringLiteral(" ") + grid::format::groupedCount(n) + QStringLiteral(" rows");
}

// Rows that came before a stop, copied as they are; the rest of the result is not fetched.
void copyFetched(grid::Grid &g, const db::Recordset &rs, int cols)
{
    const int rows = int(rs.fetchedCount());
    g.setCols(cols);
    g.setRows(1 + rows);
    for (int c = 0; c < cols; ++c)
        g.setTextMatrix(0, c, rs.Field(c).Name);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g.setTextMatrix(r + 1, c, rs.isNull(std::size_t(r), c) ? QString() : rs.displayText(std::size_t(r), c));
}

} // namespace

void hlTabulon::connectSummaryGrid()
{
    mnuSummary = new QMenu(this);
    mnuSummary->setObjectName(QStringLiteral("mnuSummary"));
    mnuSummary->addAction(QStringLiteral("Hide"), this, [this] { mnuSummarys_Click(0); });
    mnuSummary->addAction(QStringLiteral("UnHide All"), this, [this] { mnuSummarys_Click(1); });

    connect(grdSummary, &grid::Grid::BeforeSort, this, [] { ui::MousePointer::setHourglass(); });
    connect(grdSummary, &grid::Grid::AfterSort, this, [] { ui::MousePointer::setDefault(); });
    connect(grdSummary, &grid::Grid::MouseDown, this, [this](int button, int, int, int) {
        if (button == 2 && grdSummary->MouseRow() >= 0 && grdSummary->MouseCol() >= 0) {
            grdSummary->setRow(grdSummary->MouseRow());
            grdSummary->setCol(grdSummary->MouseCol());
        }
    });
    connect(grdSummary, &grid::Grid::MouseUp, this, [this](int button, int, int, int) {
        if (button != 2)
            return;
        if (grdSummary->Row() < 1)
            Show_Options();
        else
            mnuSummary->popup(QCursor::pos());
    });
    connect(grdSummary, &grid::Grid::SelChange, this, [this] { emit ViewChanged(); });
}

QString hlTabulon::Get_NumberFormat(qint32 lngType) const
{
    return grid::format::typeFormat(lngType);
}

bool hlTabulon::Refresh_Summary()
{
    if (m_steps)
        return m_steps->Refresh_Summary();
    analysis::ViewRefresh refresh(*this, QStringLiteral("Refresh_Summary"));
    bool ok = false;
    bool totalled = false;
    const auto body = [&] {
        const QString sql = refresh.statement(cboSumCol);
        if (sql.isEmpty())
            return;
        if (m_rsSummary && m_rsSummary->State() == db::adStateOpen)
            m_rsSummary->Close();
        // The groups' room is kept for the next ones: a million of them is fresh memory to touch.
        std::vector<analysis::SummaryTotals::Group> groupsRoom;
        if (m_summaryTotals)
            groupsRoom = std::move(m_summaryTotals->groups);
        groupsRoom.clear();
        m_summaryTotals.reset();
        grdSummary->setRedraw(0);
        grdSummary->setDataSource(nullptr);
        // A summary of many groups is let go of a slice at a time, the event loop turning
        // between slices.
        constexpr int slice = 10000;
        GridTurn releaseTurn(refresh);
        for (int rows = grdSummary->Rows(); rows > slice + 1;) {
            rows -= slice;
            grdSummary->setRows(rows);
            releaseTurn();
        }
        grdSummary->setRows(1);
        grdSummary->setCols(1);
        grdSummary->Clear();

        // Averages come with each group's sum and count, so that every total is an average over
        // rows, from the one statement; the grid shows neither.
        const bool averages = analysis::aggregates::aggregate(cboSumCol[3]->currentIndex()).combine ==
                              analysis::aggregates::Combine::Average;
        const std::shared_ptr<db::Recordset> rs = refresh.open(averages ? Get_AveragePartsSQL(cboSumCol) : sql);
        m_rsSummary = rs;
        const bool whole = rs->State() == db::adStateOpen && !refresh.stopped;
        if (rs->State() == db::adStateOpen) {
            const int shown = rs->FieldCount() - (averages ? 2 : 0);
            if (whole) {
                grdSummary->setDataMode(grid::flexDMFree);
                GridTurn copyTurn(refresh);
                const auto keepGoing = [&] {
                    copyTurn();
                    return !refresh.aborted();
                };
                if (!grdSummary->CopyFrom(rs, shown, keepGoing))
                    refresh.stopped = true;
            } else {
                copyFetched(*grdSummary, *rs, shown);
            }
        }
        if (grdSummary->Rows() <= 1)
            return;
        const analysis::Options &opt = analysis::options();
        const int last = grdSummary->Cols() - 1;
        grdSummary->setMergeCells(opt.Merge ? grid::flexMergeRestrictColumns : grid::flexMergeNever);
        for (int c = 0; c < last; ++c)
            grdSummary->setMergeCol(c, opt.Merge);
        grdSummary->setCell(grid::flexcpFontBold, 0, 0, 0, last, true);
        refresh.step(true);

        const int function = cboSumCol[3]->currentIndex();
        const QString caption = analysis::aggregates::caption(function, cboSumCol[4]->currentText());
        const QString format = analysis::aggregates::format(
            function, m_query->fields().value(cboSumCol[4]->currentData().toInt()).value(1).toInt());

        if (!refresh.stopped) {
            // The event loop turns between rows, so that Escape is heard while many groups are
            // totalled; a stop takes effect where the grid is whole again.
            GridTurn gridTurn(refresh);
            const std::function<bool()> turn = [&] {
                gridTurn();
                return !refresh.aborted();
            };
            grdSummary->setBetweenRows(turn);
            const std::shared_ptr<void> unhook(nullptr, [&](void *) {
                if (refresh.alive())
                    grdSummary->setBetweenRows({});
            });
            auto totals = std::make_unique<analysis::SummaryTotals>();
            totals->function = function;
            totals->groupCols = last;
            const std::size_t n = rs->fetchedCount();
            // Made as they are filled: touching a million of them at once holds the event loop up.
            totals->groups = std::move(groupsRoom);
            if (totals->groups.capacity() / 4 > n)
                totals->groups.shrink_to_fit();
            totals->groups.reserve(n);
            for (std::size_t i = 0; i < n && !refresh.stopped; ++i) {
                analysis::SummaryTotals::Group &g = totals->groups.emplace_back();
                g.value = SummaryTotals::numberAt(*rs, i, last);
                if (averages) {
                    g.sum = SummaryTotals::numberAt(*rs, i, last + 1).value_or(0);
                    g.count = SummaryTotals::numberAt(*rs, i, last + 2).value_or(0);
                } else if (g.value) {
                    g.sum = *g.value;
                    g.count = 1;
                    totals->grandCount += *g.value;
                }
                if ((i & 255u) == 255u)
                    refresh.stopped = refresh.step();
            }
            if (!refresh.stopped) {
                // Subtotals at the matching aggregate; the figures are written by fill() below,
                // the grid only makes the rows.
                if (opt.ShowTotals && last >= 2) {
                    analysis::SummaryTotals::groupExactly(*grdSummary, *rs, last - 1, [&] {
                        if (refresh.aborted())
                            return;
                        grdSummary->Subtotal(grid::flexSTSum, 0, last, {}, quint32(opt.SubTotalColor1),
                                             grid::NoColor, true);
                        if (last >= 3 && !refresh.aborted())
                            grdSummary->Subtotal(grid::flexSTSum, 1, last, {}, quint32(opt.SubTotalColor2),
                                                 grid::NoColor, true, {}, 0);
                    }, turn);
                }
                // A stop heard meanwhile skips the rest; what was made is taken away below.
                if (!refresh.aborted())
                    grdSummary->Subtotal(grid::flexSTSum, -1, last, {}, grid::NoColor, grid::NoColor, true,
                                         QStringLiteral("TOTAL"));
                if (!refresh.aborted()) {
                    totals->fill(*grdSummary, false, turn);
                    // Widths and the grid drawn again start on a turn of their own.
                    refresh.step(true);
                }
                if (refresh.aborted()) {
                    // Totals half made are none: the groups stay as they came. A level stopped
                    // part-way made none of its rows; one made whole ends the grid with its own.
                    if (grdSummary->IsSubtotal(grdSummary->Rows() - 1))
                        grdSummary->Subtotal(grid::flexSTClear);
                    refresh.stopped = true;
                } else {
                    m_summaryTotals = std::move(totals);
                    totalled = true;
                }
            }
        }
        grdSummary->setColFormat(last, format);
        grdSummary->setTextMatrix(0, last, caption);
        txtSummarySQL->setPlainText(sql);
        ok = !refresh.stopped;
    };
    const auto settle = [&] {
        if (grdSummary->Cols() > 0)
            grdSummary->AutoSize(0, grdSummary->Cols() - 1, false, 100);
        grdSummary->setRedraw(1);
        const int n = std::max(0, grdSummary->Rows() - 1 - (totalled ? 1 : 0));
        // A refresh that failed, or never had a statement to run, counts nothing: " 0 rows" beside
        // the message would read as an answer.
        m_strSummaryStatus = refresh.failed || refresh.sql.isEmpty() ? QString() : rowsText(n);
        staStatus->Panels(5).setText(m_strSummaryStatus);
        analysis::g_blnAbort = false;
        const bool rows = grdSummary->Rows() > 1;
        setCommandEnabled(tlbMain, QStringLiteral("Print"), rows);
        setCommandEnabled(tlbMain, QStringLiteral("Export"), rows);
    };
    if (!refresh.run({QStringLiteral("Summarising data ...")}, body, settle))
        return false;
    if (refresh.stopped)
        staStatus->Panels(1).setText(QStringLiteral("Summary stopped: no totals"));
    return ok;
}

bool hlTabulon::viewRefreshFailed(const QString &procedure, const QString &sql)
{
    if (analysis::currentErrorIsCancel())
        return true;
    if (const auto *errors = aggregateErrors(); errors && !errors->empty())
        Show_SQLMsg(sql, errors->front().Description);
    else
        report(procedure, analysis::currentErrorText());
    return false;
}

bool hlTabulon::Hide_SummaryRows(bool blnUnhide)
{
    const QString previous = staStatus->Panels(1).Text();
    bool ok = false;
    ui::MousePointer::setHourglass();
    staStatus->Panels(1).setText(blnUnhide ? QStringLiteral("Unhiding rows ...") : QStringLiteral("Hiding rows ..."));
    grdSummary->setRedraw(0);
    int visible = 0;
    int all = 0;
    int hidden = 0;
    trap(QStringLiteral("Hide_SummaryRows"), [&] {
        const int last = grdSummary->Rows() - 1;
        const int row = grdSummary->Row();
        const int col = grdSummary->Col();
        const QString key = row >= 1 && col >= 0 ? grdSummary->TextMatrix(row, col) : QString();
        const bool hasTotal = m_summaryTotals && last >= 1 && grdSummary->IsSubtotal(last);
        const int end = hasTotal ? last : last + 1;
        for (int r = 1; r < end; ++r) {
            if (blnUnhide)
                grdSummary->setRowHidden(r, false);
            else if (row >= 1 && !grdSummary->RowHidden(r) && grdSummary->TextMatrix(r, col) == key)
                grdSummary->setRowHidden(r, true);
            ++all;
            if (grdSummary->RowHidden(r))
                ++hidden;
        }
        if (m_summaryTotals)
            m_summaryTotals->fill(*grdSummary, true);
        visible = all - hidden;
        ok = true;
    });
    grdSummary->setRedraw(1);
    staStatus->Panels(1).setText(previous);
    m_strSummaryStatus = rowsText(visible);
    if (hidden > 0)
        m_strSummaryStatus += QStringLiteral(" (") + grid::format::groupedCount(all) + u')';
    staStatus->Panels(5).setText(m_strSummaryStatus);
    ui::MousePointer::setDefault();
    return ok;
}

void hlTabulon::mnuSummarys_Click(int index)
{
    Hide_SummaryRows(index == 1);
}
