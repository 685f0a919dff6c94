// The cross-tab view: one aggregate pivoted over two columns, the first column's values down the
// left, the second's across, with a TOTAL column, a TOTAL row and a caption naming what is shown.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlAccess.h"
#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "core/QueryRunner.h"
#include "views/Aggregates.h"
#include "views/SummaryTotals.h"
#include "views/ViewRefresh.h"
#include "views/XTabPivot.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace agg = analysis::aggregates;
using analysis::SummaryTotals;

namespace {

const QString kNullKey = QStringLiteral("(Null)");

// Beyond this many cells the grid would hold more than a desktop has to spare; such a pivot is
// refused rather than drawn.
constexpr qint64 kMaxCells = 5'000'000;
constexpr qint64 kBoldColumnCells = 500'000;

QString keyText(const db::Recordset &rs, std::size_t row, int col)
{
    return rs.isNull(row, col) ? kNullKey : rs.displayText(row, col);
}

// The pivot index of each number key met so far, so that a key's identity text is made once
// rather than once a row; other keys (texts, dates, Nulls) go to the pivot every time.
// The caption is merged over columns 1 to the last, which AutoSize sizes by their own cells only:
// they are widened alike until the caption fits whole.
void widenUnderCaption(grid::Grid &g)
{
    const int last = g.Cols() - 1;
    const QString caption = last >= 1 ? g.TextMatrix(0, 1) : QString();
    if (caption.isEmpty())
        return;
    QFont bold = g.font();
    bold.setBold(true);
    // Room as AutoSize leaves beside a cell's text, and a little for the text's own margins.
    const int need = QFontMetrics(bold).horizontalAdvance(caption) + 2 * 3 + 2 + 4;
    std::vector<int> widths;
    int have = 0;
    for (int c = 1; c <= last; ++c) {
        widths.push_back(g.ColHidden(c) ? 0 : ui::Twips::toPixelsX(g.ColWidth(c), &g));
        have += widths.back();
    }
    const int shown = int(std::count_if(widths.begin(), widths.end(), [](int w) { return w > 0; }));
    if (have >= need || shown == 0)
        return;
    const int share = (need - have + shown - 1) / shown;
    for (int c = 1; c <= last; ++c) {
        const int w = widths[std::size_t(c - 1)];
        if (w > 0)
            g.setColWidth(c, int(std::ceil(ui::Twips::fromPixelsX(w + share, &g))));
    }
}

class NumberKeys {
public:
    template <class Index>
    int indexOf(const db::Recordset &rs, std::size_t row, int col, Index index)
    {
        if (rs.isNull(row, col))
            return index();
        const QVariant v = rs.value(row, col);
        std::uint64_t bits = 0;
        switch (v.typeId()) {
        case QMetaType::LongLong: bits = std::uint64_t(v.toLongLong()); break;
        case QMetaType::Double: {
            const double d = v.toDouble();
            std::memcpy(&bits, &d, sizeof d);
            break;
        }
        default: return index();
        }
        auto &known = v.typeId() == QMetaType::LongLong ? m_integers : m_reals;
        const auto [it, added] = known.try_emplace(bits, -1);
        if (added)
            it->second = index();
        return it->second;
    }

private:
    std::unordered_map<std::uint64_t, int> m_integers;
    std::unordered_map<std::uint64_t, int> m_reals;
};

QString sizeText(qint64 rows, qint64 cols)
{
    return QStringLiteral(" %1 rows by %2 cols").arg(grid::format::groupedCount(rows), grid::format::groupedCount(cols));
}

} // namespace

void hlTabulon::connectXTabGrid()
{
    connect(grdXTab, &grid::Grid::MouseUp, this, [this](int button, int, int, int) {
        if (button == 2)
            Show_Options();
    });
}

void hlTabulon::writeXTab(const analysis::XTabPivot &pivot, bool withTotals, const std::function<void()> &turn)
{
    grid::Grid &g = *grdXTab;
    const int R = pivot.rows();
    const int C = pivot.cols();
    const int function = cboXTabCol[3]->currentIndex();
    g.setCols(1 + C + (withTotals ? 1 : 0));
    g.setRows(2 + R);
    for (int c = 0; c < C; ++c)
        g.setTextMatrix(1, 1 + c, pivot.colText(c));
    for (int r = 0; r < R; ++r)
        g.setTextMatrix(2 + r, 0, pivot.rowText(r));

    double grand = 0;
    std::optional<analysis::XTabPivot::Totals> totals;
    if (withTotals) {
        totals = pivot.totals();
        grand = totals->grand.value_or(0);
    }
    // % of total shows each count as its share of all of them; a count of 0 stays as it is.
    auto shown = [&](const std::optional<double> &v) -> QString {
        if (!v)
            return {};
        if (function == agg::fnPercent && withTotals && *v > 0 && grand > 0)
            return grid::format::numberText(*v / grand * 100);
        return grid::format::numberText(*v);
    };
    // The event loop turns now and then: a large pivot takes a while to write.
    pivot.forEachCell([&](int r, int c, const analysis::XTabPivot::Cell &cell) {
        g.setTextMatrix(2 + r, 1 + c, shown(cell.value));
        turn();
    });
    g.setCell(grid::flexcpFontBold, 1, 0, 1, g.Cols() - 1, true);
    if (!withTotals)
        return;

    const int last = g.Cols() - 1;
    g.setTextMatrix(1, last, QStringLiteral("TOTAL"));
    g.setCell(grid::flexcpAlignment, 1, last, int(grid::flexAlignRightCenter));
    g.setTextMatrix(1, 0, cboXTabCol[0]->currentText());
    for (int r = 0; r < R; ++r)
        g.setTextMatrix(2 + r, last, shown(totals->rows[std::size_t(r)]));
    // The grid makes the TOTAL row, so that a sort keeps it last; its figures are ours.
    g.Subtotal(grid::flexSTSum, -1, last, {}, grid::NoColor, grid::NoColor, true, QStringLiteral("TOTAL"));
    const int totalRow = g.Rows() - 1;
    for (int c = 0; c < C; ++c)
        g.setTextMatrix(totalRow, 1 + c, shown(totals->cols[std::size_t(c)]));
    g.setTextMatrix(totalRow, last, shown(totals->grand));
    // A styled cell costs its row a style for every column; past this size the TOTAL column
    // stays plain, the TOTAL row and the caption above it still mark it.
    if (qint64(R) * (C + 2) <= kBoldColumnCells)
        g.setCell(grid::flexcpFontBold, 2, last, totalRow, last, true);

    QString caption = agg::caption(function, cboXTabCol[4]->currentText()) + QStringLiteral(" by ") +
                      cboXTabCol[0]->currentText() + u'\\' + cboXTabCol[1]->currentText();
    if (cboXTabCol[5]->currentIndex() > 0)
        caption += QStringLiteral(" (") + cboXTabCol[5]->currentText() + u' ' + txtSumValue[2]->text() + u')';
    g.setMergeCells(grid::flexMergeFree);
    g.setMergeRow(0, true);
    const QString format =
        agg::format(function, m_query->fields().value(cboXTabCol[4]->currentData().toInt()).value(1).toInt());
    for (int c = 1; c <= last; ++c) {
        g.setTextMatrix(0, c, caption);
        g.setColFormat(c, format);
    }
    g.setCell(grid::flexcpAlignment, 0, 1, int(grid::flexAlignCenterCenter));
    g.setCell(grid::flexcpFontBold, 0, 1, true);
}

bool hlTabulon::Refresh_XTab()
{
    if (m_steps)
        return m_steps->Refresh_XTab();
    analysis::ViewRefresh refresh(*this, QStringLiteral("Refresh_XTab"));
    bool ok = false;
    bool totalled = false;
    QString refusal;
    const auto body = [&] {
        grdXTab->setRows(2);
        grdXTab->setCols(1);
        grdXTab->Clear();
        grdXTab->setMergeRow(0, false);
        refresh.step(true);
        grdXTab->setRedraw(0);
        const QString sql = refresh.statement(cboXTabCol);
        if (sql.isEmpty())
            return;
        if (m_rsXTab && m_rsXTab->State() == db::adStateOpen)
            m_rsXTab->Close();
        // Averages come with each cell's sum and count, so that every total is an average over
        // rows, from the one statement.
        const bool averages = agg::aggregate(cboXTabCol[3]->currentIndex()).combine == agg::Combine::Average;
        const std::shared_ptr<db::Recordset> held = refresh.open(averages ? Get_AveragePartsSQL(cboXTabCol) : sql);
        m_rsXTab = held;
        const std::size_t n = held->State() == db::adStateOpen ? held->fetchedCount() : 0;
        if (n == 0)
            return;
        const int function = cboXTabCol[3]->currentIndex();
        analysis::XTabPivot pivot(function);
        refresh.operation().setText(QStringLiteral("X-Tabbing data ..."));
        refresh.operation().showProgress(int(std::min<std::size_t>(n, INT_MAX)));
        const db::Recordset &rs = *held;
        NumberKeys rowKeys;
        NumberKeys colKeys;
        for (std::size_t i = 0; i < n && !refresh.stopped; ++i) {
            // A key's shown text is made once, when it is first seen.
            const int r = rowKeys.indexOf(rs, i, 0, [&] {
                const QString key = SummaryTotals::valueKey(rs, i, 0, 1);
                const int known = pivot.findRow(key);
                return known >= 0 ? known : pivot.rowOf(key, keyText(rs, i, 0));
            });
            const int c = colKeys.indexOf(rs, i, 1, [&] {
                const QString key = SummaryTotals::valueKey(rs, i, 1, 1);
                const int known = pivot.findCol(key);
                return known >= 0 ? known : pivot.colOf(key, keyText(rs, i, 1));
            });
            analysis::XTabPivot::Cell cell;
            cell.value = SummaryTotals::numberAt(rs, i, 2);
            if (averages) {
                cell.sum = SummaryTotals::numberAt(rs, i, 3).value_or(0);
                cell.count = SummaryTotals::numberAt(rs, i, 4).value_or(0);
            } else if (cell.value) {
                cell.sum = *cell.value;
                cell.count = 1;
            }
            pivot.place(r, c, cell);
            if ((i & 0x3ff) == 0)
                refresh.operation().setProgress(int(std::min<std::size_t>(i, INT_MAX)));
            if (refresh.step())
                refresh.stopped = true;
        }
        const qint64 cells = (qint64(pivot.rows()) + 3) * (qint64(pivot.cols()) + 2);
        if (cells > kMaxCells) {
            refusal = QStringLiteral("The cross-tab would have%1, more than can be shown. Choose columns "
                                     "with fewer values, or a condition on the summary.")
                          .arg(sizeText(pivot.rows(), pivot.cols()));
            return;
        }
        refresh.operation().setText(QStringLiteral("Autosizing grid ..."));
        writeXTab(pivot, !refresh.stopped, refresh.turn());
        totalled = !refresh.stopped;
        if (totalled) {
            txtXTabSQL->setPlainText(sql);
            ok = true;
        }
    };
    const auto settle = [&] {
        refresh.step(true);
        // A few columns at a time, the event loop turning between: many columns take a while to
        // measure.
        constexpr int sizedTogether = 16;
        for (int c = 0; c < grdXTab->Cols(); c += sizedTogether) {
            grdXTab->AutoSize(c, std::min(c + sizedTogether, grdXTab->Cols()) - 1, false, 0);
            refresh.step();
        }
        widenUnderCaption(*grdXTab);
        grdXTab->setRedraw(1);
        const int keyRows = std::max(0, grdXTab->Rows() - 2 - (totalled ? 1 : 0));
        const int keyCols = std::max(0, grdXTab->Cols() - 1 - (totalled ? 1 : 0));
        staStatus->Panels(5).setText(refresh.failed || refresh.sql.isEmpty() ? QString()
                                                                             : sizeText(keyRows, keyCols));
        analysis::g_blnAbort = false;
        const bool rows = grdXTab->Rows() > 2;
        setCommandEnabled(tlbMain, QStringLiteral("Print"), rows);
        setCommandEnabled(tlbMain, QStringLiteral("Export"), rows);
    };
    if (!refresh.run({QStringLiteral("Collating data ...")}, body, settle))
        return false;
    if (refresh.stopped)
        staStatus->Panels(1).setText(QStringLiteral("Cross-tab stopped: no totals"));
    if (!refusal.isEmpty())
        ui::Prompter::msgBox(refusal, ui::MsgButtons::OK, ui::MsgIcon::Exclamation, analysis::kMessageTitle, this);
    return ok;
}
