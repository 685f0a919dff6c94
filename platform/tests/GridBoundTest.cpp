// The grid over real SQLite recordsets: lazy fetching, copying, Nulls, sorting and filtering
// through the recordset, and what a bound grid refuses.
#include "DbFixtures.h"
#include "TestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include <stdexcept>

using namespace grid;

namespace {

class GridBound : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = dbtest::makeSqliteDatabase();
        ASSERT_TRUE(m_db);
        m_conn = db::Connection::create();
        m_conn->Open(m_db->connectionString());
    }

    std::shared_ptr<db::Recordset> open(const QString &sql)
    {
        auto rs = db::Recordset::create();
        rs->Open(sql, m_conn);
        return rs;
    }

    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<db::Connection> m_conn;
};

} // namespace

TEST_F(GridBound, FetchesOnScrollAndOnRequestWithoutCopying)
{
    auto rs = open(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"));
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    const int first = g.Rows();
    EXPECT_LT(first, 1 + 5000) << "binding fetches about a screenful, not the table";
    EXPECT_EQ(std::size_t(first - 1), rs->fetchedCount());
    EXPECT_EQ(g.Cols(), 3);
    EXPECT_EQ(g.TextMatrix(0, 1), QStringLiteral("label"));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("row 1"));
    EXPECT_EQ(g.ColDataType(0), int(flexDTLong));
    EXPECT_EQ(g.ColDataType(2), int(flexDTDecimal));
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.model()->rowCount(), first - 1);

    // Scrolling to the bottom asks for the next rows; they arrive while the view goes on.
    int fetchedSignals = 0;
    QObject::connect(&g, &Grid::RowsFetched, [&](int) { ++fetchedSignals; });
    g.resize(400, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.view()->scrollToBottom();
    ASSERT_TRUE(QTest::qWaitFor([&] { return g.model()->rowCount() > first - 1; }, 60000));
    EXPECT_GT(g.Rows(), first);
    EXPECT_GT(fetchedSignals, 0);
    EXPECT_FALSE(rs->isComplete());

    // Code asking for a row beyond those fetched gets it.
    g.setRow(4000);
    EXPECT_GE(g.Rows(), 4001);
    EXPECT_EQ(g.Row(), 4000);
    EXPECT_EQ(g.TextMatrix(4000, 0), QStringLiteral("4000"));
    EXPECT_EQ(g.TextMatrix(4000, 2), QStringLiteral("5000.00"));
    g.setTopRow(4500);
    EXPECT_GE(g.Rows(), 4501);
    EXPECT_THROW(g.setRow(5001), GridRangeError) << "past the last row of the result";
    EXPECT_EQ(g.Rows(), 5001);
    EXPECT_EQ(g.Row(), 4000) << "a failed move leaves the cursor";

    // Moving to the last record: the recordset fetches, the grid follows.
    g.setRow(g.Rows() - 1);
    g.setTopRow(g.Row());
    EXPECT_EQ(g.TextMatrix(g.Row(), 1), QStringLiteral("row 5000"));
}

TEST_F(GridBound, NullsStayNullsAndBoundRowsAreReadOnly)
{
    auto rs = open(QStringLiteral("SELECT id, vc_v, bool_v, date_v FROM conf_types ORDER BY id"));
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    ASSERT_EQ(g.Rows(), 4);
    EXPECT_TRUE(g.IsNullMatrix(2, 1));
    EXPECT_EQ(g.TextMatrix(2, 1), QString());
    EXPECT_FALSE(g.IsNullMatrix(3, 1)) << "empty text is not Null";
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("O'Brien"));
    EXPECT_EQ(g.ColDataType(2), int(flexDTBoolean));
    EXPECT_EQ(g.ValueMatrix(1, 2), -1.0);
    EXPECT_EQ(g.ValueMatrix(3, 2), 0.0);
    EXPECT_EQ(g.TextMatrix(1, 3), QStringLiteral("2024-02-29"));

    EXPECT_THROW(g.setTextMatrix(1, 1, QStringLiteral("x")), GridArgumentError);
    EXPECT_THROW(g.AddItem(QStringLiteral("x")), GridArgumentError);
    EXPECT_THROW(g.Subtotal(flexSTSum, -1, 0), GridArgumentError);
    EXPECT_THROW(g.setRows(10), GridArgumentError);
    g.setTextMatrix(0, 1, QStringLiteral("Name")); // captions may change
    EXPECT_EQ(g.TextMatrix(0, 1), QStringLiteral("Name"));
    g.setCell(flexcpFontBold, 1, 1, 3, 1, true); // and so may the look of bound cells
    EXPECT_TRUE(g.Cell(flexcpFontBold, 2, 1).toBool());

    // Unbinding keeps the header row.
    g.setDataSource(nullptr);
    EXPECT_EQ(g.Rows(), 1);
    EXPECT_EQ(g.TextMatrix(0, 1), QStringLiteral("Name"));
    g.setRows(3);
    g.setTextMatrix(2, 1, QStringLiteral("free again"));
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("free again"));
}

TEST_F(GridBound, CopyModeOwnsItsRowsUntilBoundAgain)
{
    auto rs = open(QStringLiteral("SELECT id, vc_v FROM conf_types ORDER BY id"));
    Grid g; // DataMode 0: copy
    g.setDataSource(rs);
    ASSERT_EQ(g.Rows(), 4);
    EXPECT_TRUE(g.IsNullMatrix(2, 1)) << "a copied Null is still Null";
    EXPECT_FALSE(g.IsNullMatrix(3, 1));
    g.setTextMatrix(1, 1, QStringLiteral("edited"));
    g.setRowHidden(3, true);

    rs->setFilter(QStringLiteral("id = 1"));
    EXPECT_EQ(g.Rows(), 4) << "a copy does not follow the recordset";
    g.setDataSource(rs);
    EXPECT_EQ(g.Rows(), 2);
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("O'Brien"));
    EXPECT_FALSE(g.RowHidden(1));

    // Subtotals work on copied rows (the summary grid).
    auto big = open(QStringLiteral("SELECT id % 2 AS parity, amount FROM conf_big WHERE id <= 4 ORDER BY 1, id"));
    g.setDataSource(big);
    g.Subtotal(flexSTSum, 0, 1);
    g.Subtotal(flexSTSum, -1, 1, QString(), NoColor, NoColor, true, QStringLiteral("TOTAL"));
    ASSERT_EQ(g.Rows(), 1 + 4 + 2 + 1);
    EXPECT_EQ(g.ValueMatrix(3, 1), 1.25 * (2 + 4));
    EXPECT_EQ(g.ValueMatrix(g.Rows() - 1, 1), 1.25 * 10);
}

TEST_F(GridBound, RecordsetFilterAndSortShowInTheBoundGrid)
{
    auto rs = open(QStringLiteral("SELECT id, label FROM conf_big ORDER BY id"));
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    rs->setFilter(QStringLiteral("id <= 10"));
    EXPECT_EQ(g.Rows(), 11);
    rs->setFilter(QString());
    EXPECT_EQ(g.Rows(), 5001);

    // A header click sorts the recordset; the rows stay in it.
    g.setExplorerBar(flexExSortShow);
    g.resize(400, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QHeaderView *header = g.view()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(0) + 5, 5);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(rs->Sort(), QStringLiteral("[id] DESC"));
    EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("5000"));
    EXPECT_EQ(g.ColSortPicture(0), int(flexSortGenericDescending));
}

TEST_F(GridBound, AHandlerThatRunsTheQueryAgainSortedSpareTheGridsOwnSort)
{
    auto rs = open(QStringLiteral("SELECT id, label FROM conf_big ORDER BY id"));
    Grid g;
    g.setDataMode(flexDMBound);
    g.setExplorerBar(flexExSortShow);
    g.setDataSource(rs);
    std::shared_ptr<db::Recordset> rerun;
    QObject::connect(&g, &Grid::BeforeSort, [&](int, int &) {
        rerun = open(QStringLiteral("SELECT id, label FROM conf_big ORDER BY label"));
        g.setDataSource(rerun);
    });
    g.resize(400, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QHeaderView *header = g.view()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, 5));
    ASSERT_TRUE(rerun);
    EXPECT_FALSE(rerun->isComplete()) << "the new result is still fetched lazily";
    EXPECT_TRUE(rerun->Sort().isEmpty());
    EXPECT_EQ(g.ColSortPicture(1), int(flexSortGenericAscending));
}

TEST_F(GridBound, HiddenRowsFrozenColumnsAndAutoSizeOnABoundGrid)
{
    auto rs = open(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"));
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    const int fetched = g.Rows();
    g.AutoSize(0, 2);
    EXPECT_EQ(g.Rows(), fetched) << "AutoSize measures the rows it has";
    EXPECT_GT(g.view()->columnWidth(1), QFontMetrics(g.font()).horizontalAdvance(QStringLiteral("row 1")));

    g.setRowHidden(3, true);
    EXPECT_TRUE(g.view()->isRowHidden(2));
    EXPECT_EQ(g.FindRow(QStringLiteral("row 3"), -1, 1), -1);
    EXPECT_EQ(g.FindRow(QStringLiteral("row 2000"), -1, 1), 2000) << "find fetches as it goes";

    g.resize(500, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.setFrozenCols(1);
    EXPECT_TRUE(g.frozenView()->isVisible());
    EXPECT_EQ(g.frozenView()->model(), g.view()->model());
    g.setTopRow(1500);
    EXPECT_EQ(g.frozenView()->verticalScrollBar()->value(), g.view()->verticalScrollBar()->value());
    EXPECT_EQ(g.TopRow(), 1500);

    // Unfrozen, the frozen view lets go of the rows without moving the main one; frozen again, it
    // takes up the rows hidden, the place scrolled to and the selection made meanwhile.
    g.setFrozenCols(0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(g.frozenView()->isVisible());
    EXPECT_NE(g.frozenView()->model(), g.view()->model());
    EXPECT_EQ(g.TopRow(), 1500);
    g.setRowHidden(1600, true);
    g.setTopRow(1400);
    g.setRow(1405);
    g.setFrozenCols(1);
    QCoreApplication::processEvents();
    ASSERT_TRUE(g.frozenView()->isVisible());
    EXPECT_EQ(g.frozenView()->model(), g.view()->model());
    EXPECT_EQ(g.frozenView()->selectionModel(), g.view()->selectionModel());
    EXPECT_EQ(g.frozenView()->currentIndex().row(), 1404);
    EXPECT_TRUE(g.frozenView()->isRowHidden(2));
    EXPECT_TRUE(g.frozenView()->isRowHidden(1599));
    EXPECT_FALSE(g.frozenView()->isRowHidden(1598));
    EXPECT_EQ(g.frozenView()->verticalScrollBar()->value(), g.view()->verticalScrollBar()->value());
}

// Rows come on their own after the code asked for them: a selection of every row (a whole
// column, select all) still means every row when it is read later; a range the user or the code
// drew to some row stays that range.
TEST_F(GridBound, ASelectionOfEveryRowTakesInRowsArrivingLater)
{
    auto rs = open(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"));
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    g.resize(400, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    auto arrive = [&](std::size_t more) {
        const int before = g.Rows();
        rs->requestMore(more);
        EXPECT_TRUE(QTest::qWaitFor([&] { return g.Rows() > before; }));
        return before;
    };

    g.setRow(1);
    g.setCol(1);
    g.setRowSel(g.Rows() - 1);
    ASSERT_TRUE(g.selectsEveryRow());
    arrive(300);
    EXPECT_EQ(g.RowSel(), g.Rows() - 1);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.Col(), 1);
    EXPECT_EQ(g.SelectedRows(), g.Rows() - 1);
    g.SelectAll();
    arrive(300);
    EXPECT_EQ(g.RowSel(), g.Rows() - 1);
    EXPECT_EQ(g.ColSel(), 2);

    // Not every row: from the second row, a single row, a selection drawn upward.
    g.setRow(2);
    g.setRowSel(g.Rows() - 1);
    EXPECT_FALSE(g.selectsEveryRow());
    int last = arrive(300) - 1;
    EXPECT_EQ(g.RowSel(), last);
    g.setRow(1);
    last = arrive(300) - 1;
    EXPECT_EQ(g.RowSel(), 1);
    g.setRow(g.Rows() - 1);
    g.setRowSel(1);
    last = arrive(300) - 1;
    EXPECT_EQ(g.Row(), last);
    EXPECT_EQ(g.RowSel(), 1);

    // Drawn by the user from the first row to the last held: the rows the user saw.
    g.setRow(1);
    g.setCol(0);
    g.view()->setFocus();
    QTest::keyClick(g.view(), Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_EQ(g.RowSel(), g.Rows() - 1);
    EXPECT_FALSE(g.selectsEveryRow());
    last = arrive(300) - 1;
    EXPECT_EQ(g.RowSel(), last);
}

// Bound again with Redraw off (as a refresh does: the old result let go, the new one bound and
// its columns sized), the grid shows the new rows in one paint: the view's layout put off by Qt
// is done before that paint, not after it with a second one.
TEST_F(GridBound, ARebindUnderRedrawOffIsPaintedOnce)
{
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(open(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id")));
    g.AutoSize(0, 2);
    g.resize(500, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));

    testsupport::EventCounter paints{QEvent::Paint};
    auto settle = [] {
        for (int round = 0; round < 20; ++round)
            QCoreApplication::processEvents();
    };
    settle();
    g.view()->viewport()->installEventFilter(&paints);
    for (const char *sql : {"SELECT id, label, amount FROM conf_big ORDER BY id DESC",
                            "SELECT label, id FROM conf_big WHERE id > 100 ORDER BY id"}) {
        paints.count = 0;
        g.setRedraw(0);
        g.setDataSource(nullptr);
        g.setRows(1);
        g.setDataSource(open(QLatin1String(sql)));
        g.AutoSize(0, g.Cols() - 1);
        g.setRedraw(1);
        g.setRow(1);
        settle();
        EXPECT_EQ(paints.count, 1) << sql;
    }
    EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("row 101"));
    EXPECT_GT(g.view()->columnWidth(0), QFontMetrics(g.font()).horizontalAdvance(QStringLiteral("row 101")));
}

// With Redraw off the scroll bar shown stays up while rows are let go and bound again, and the
// view is laid out once Redraw is on; asked meanwhile where things are, the grid lays out first,
// so positions set or read with Redraw off are right. A result that needs no scroll bar ends
// without one.
TEST_F(GridBound, RedrawOffKeepsTheScrollBarAndPositionsStayRight)
{
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(open(QStringLiteral("SELECT id, label, amount FROM conf_big WHERE id <= 60 ORDER BY id")));
    g.resize(500, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QScrollBar *bar = g.view()->verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    testsupport::EventCounter hides{QEvent::Hide};
    bar->installEventFilter(&hides);

    g.setRedraw(0);
    g.setDataSource(nullptr);
    g.setRows(1);
    g.setDataSource(open(QStringLiteral("SELECT label, id FROM conf_big ORDER BY id DESC")));
    g.AutoSize(0, 1);
    g.setTopRow(100);
    EXPECT_EQ(g.TopRow(), 100) << "laid out for the new rows before the position is set";
    EXPECT_GT(g.ColPos(1), g.ColPos(0));
    g.setRedraw(1);
    QCoreApplication::processEvents();
    EXPECT_EQ(hides.count, 0);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(g.TopRow(), 100);
    EXPECT_EQ(g.view()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);

    g.setRedraw(0);
    g.setDataSource(open(QStringLiteral("SELECT id FROM conf_big WHERE id <= 3")));
    g.setRedraw(1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(bar->isVisible()) << "three rows need no scroll bar";
    EXPECT_EQ(g.Rows(), 4);
}

// ---------------------------------------------------------------- widths of rows scrolled to

namespace {

// A result whose numbers (and times, which gain fractions) widen further down, beside text.
const char *const kGrowingSql = "SELECT id, n, label, ts FROM growing ORDER BY id";

void makeGrowing(dbtest::TestDatabase &db)
{
    db.exec(QStringLiteral(
        "CREATE TABLE growing(id integer PRIMARY KEY, n numeric(12,3), label text, ts timestamp);"
        "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 3000)"
        "  INSERT INTO growing SELECT i, i * i * 1.5, 'row ' || i || CASE WHEN i > 1000 THEN ' and more words' ELSE '' END,"
        "  CASE WHEN i < 1000 THEN '2024-01-02 03:04:05' ELSE '2024-01-02 03:04:05.123456' END FROM k;"));
}

// The cells of the rows in view, in the given columns, that do not show their whole text.
QStringList cutCells(Grid &g, std::initializer_list<int> cols)
{
    QStringList cut;
    for (int r = g.TopRow(); r <= g.BottomRow(); ++r)
        for (int c : cols)
            if (textClipped(cellLook(*g.model(), r, c), g.view()->columnWidth(c)))
                cut << QStringLiteral("%1,%2 '%3'").arg(r).arg(c).arg(g.TextMatrix(r, c));
    return cut;
}

// As each paint of the cells begins, whether the rows about to be painted show their numbers whole.
class PaintWatch : public QObject {
public:
    PaintWatch(Grid &g, std::initializer_list<int> cols) : m_grid(g), m_cols(cols) {}
    int paints = 0;
    QStringList cutAtPaint;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (int c : m_cols)
                cutAtPaint << cutCells(m_grid, {c});
        }
        return false;
    }

private:
    Grid &m_grid;
    std::vector<int> m_cols;
};

void settle()
{
    for (int round = 0; round < 20; ++round)
        QCoreApplication::processEvents();
}

// The grid bound to the rows, shown at 600 x 300 and its columns sized from its first screen.
void showSized(Grid &g, std::shared_ptr<db::Recordset> rs)
{
    g.setDataMode(flexDMBound);
    g.setDataSource(std::move(rs));
    g.resize(600, 300);
    g.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.AutoSize(0, g.Cols() - 1);
}

} // namespace

// Columns were sized from the first screen: scrolled (or keyed, or found, or made taller) to rows
// with wider numbers, the number and time columns grow before those rows are painted, to the
// width AutoSize gives them with those rows on screen; they never shrink, and text stays as sized.
TEST_F(GridBound, AutoSizedNumberColumnsGrowForRowsScrolledTo)
{
    makeGrowing(*m_db);
    Grid g;
    showSized(g, open(QLatin1String(kGrowingSql)));
    ASSERT_TRUE(g.isVisible());
    settle();
    ASSERT_TRUE(cutCells(g, {0, 1, 3}).isEmpty());
    const int labelWidth = g.view()->columnWidth(2);
    PaintWatch watch(g, {0, 1, 3});
    g.view()->viewport()->installEventFilter(&watch);

    // The width AutoSize gives a column over the first screen and the rows at `top`.
    auto autoSized = [&](int top, int col) {
        Grid other;
        other.setDataMode(flexDMBound);
        other.setDataSource(open(QLatin1String(kGrowingSql)));
        other.resize(g.size());
        other.show();
        other.setTopRow(top);
        other.AutoSize(col);
        return other.view()->columnWidth(col);
    };
    const int firstN = g.view()->columnWidth(1);

    g.setTopRow(2000);
    EXPECT_EQ(g.TopRow(), 2000) << "scrolled to rows just fetched";
    EXPECT_EQ(watch.paints, 0) << "measured before any paint";
    EXPECT_EQ(cutCells(g, {0, 1, 3}), QStringList());
    EXPECT_EQ(g.view()->columnWidth(1), std::max(firstN, autoSized(2000, 1)));
    EXPECT_EQ(g.view()->columnWidth(2), labelWidth) << "text columns elide";
    settle();
    EXPECT_GT(watch.paints, 0);

    const int wide = g.view()->columnWidth(1);
    g.setTopRow(1);
    EXPECT_EQ(g.view()->columnWidth(1), wide) << "never shrinks";

    // The column menu's Autosize sizes from the screen as before; rows it no longer fits are
    // measured again when they come back into view.
    g.AutoSize(1);
    EXPECT_EQ(g.view()->columnWidth(1), firstN);
    g.setTopRow(2000);
    EXPECT_EQ(g.view()->columnWidth(1), wide);

    // Keys and the scroll bar, a find, a taller window.
    g.view()->setFocus();
    QTest::keyClick(g.view(), Qt::Key_End, Qt::ControlModifier);
    settle();
    g.setRow(g.FindRow(QStringLiteral("2999"), -1, 0));
    settle();
    g.view()->verticalScrollBar()->setValue(g.view()->verticalScrollBar()->maximum() / 2);
    settle();
    g.setTopRow(2950);
    g.resize(600, 600);
    settle();
    EXPECT_TRUE(watch.cutAtPaint.isEmpty()) << watch.cutAtPaint.join(u'\n').toStdString();
    EXPECT_EQ(g.view()->columnWidth(2), labelWidth);
}

// Rows that arrive into view after the first screen was measured (a window taller than the first
// chunk fetched) are measured as they arrive, before they are painted.
TEST_F(GridBound, RowsArrivingIntoViewAreMeasuredBeforeTheyShow)
{
    makeGrowing(*m_db);
    Grid g;
    g.setDataMode(flexDMBound);
    // Fewer rows than the screen holds: no scroll bar comes to change the view's size.
    auto rs = open(QStringLiteral("SELECT CASE WHEN id > 200 THEN id * 1000000 ELSE id END AS k FROM growing "
                                  "WHERE id <= 300 ORDER BY id"));
    const int first = int(rs->fetchedCount());
    ASSERT_LT(first, 200);
    g.setDataSource(rs);
    g.AutoSize(0);
    g.resize(300, 320 * g.rowHeightPx());
    PaintWatch watch(g, {0});
    g.view()->viewport()->installEventFilter(&watch);
    g.show(); // the view asks for more rows once its last row shows
    EXPECT_TRUE(QTest::qWaitFor([&] { return g.Rows() - 1 > first; }, 10000));
    settle();
    EXPECT_GT(g.BottomRow(), first);
    EXPECT_TRUE(watch.cutAtPaint.isEmpty()) << watch.cutAtPaint.join(u'\n').toStdString();
}

// A new font or row height keeps the widths given by code or by hand; auto-sized number columns
// fit the rows in view in the new font.
TEST_F(GridBound, AnotherFontOrRowHeightKeepsGivenWidthsAndRefitsNumbers)
{
    makeGrowing(*m_db);
    Grid g;
    showSized(g, open(QLatin1String(kGrowingSql)));
    ASSERT_TRUE(g.isVisible());
    g.setColWidth(2, 1500);
    const int given = g.ColWidth(2);
    g.setTopRow(2000);

    g.setRowHeight(0, 400);
    EXPECT_EQ(g.ColWidth(2), given);
    QFont larger = g.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    g.setFont(larger);
    EXPECT_EQ(g.ColWidth(2), given);
    EXPECT_EQ(cutCells(g, {0, 1, 3}), QStringList());
}

// A sort shows other rows where the measured ones were: they are measured as they show.
TEST_F(GridBound, ASortedBoundGridFitsTheRowsItNowShows)
{
    makeGrowing(*m_db);
    Grid g;
    showSized(g, open(QLatin1String(kGrowingSql)));
    ASSERT_TRUE(g.isVisible());
    PaintWatch watch(g, {0, 1});
    g.view()->viewport()->installEventFilter(&watch);
    g.SortByColumns({{0, flexSortGenericDescending}});
    settle();
    EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("3000"));
    EXPECT_TRUE(watch.cutAtPaint.isEmpty()) << watch.cutAtPaint.join(u'\n').toStdString();
}

// Widths given by hand or by code, hidden columns, and grids that hold their rows keep theirs.
TEST_F(GridBound, WidthsSetByHandOrCodeAndUnboundGridsDoNotGrow)
{
    makeGrowing(*m_db);
    Grid g;
    showSized(g, open(QLatin1String(kGrowingSql)));
    ASSERT_TRUE(g.isVisible());
    settle();

    // Column 0 dragged narrower by its right divider, column 3 sized by code, column 1 hidden.
    QHeaderView *header = g.view()->horizontalHeader();
    const int edge = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
    const int y = header->height() / 2;
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
    QTest::mouseMove(header->viewport(), QPoint(edge - 3, y));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge - 3, y));
    const int dragged = g.view()->columnWidth(0);
    ASSERT_LT(dragged, header->sectionSize(1) + 1000);
    ASSERT_NE(dragged, 0);
    g.setColWidth(3, 900);
    const int given = g.view()->columnWidth(3);
    const int hiddenWidth = g.ColWidth(1);
    g.setColHidden(1, true);

    g.setTopRow(2500);
    settle();
    EXPECT_EQ(g.view()->columnWidth(0), dragged);
    EXPECT_EQ(g.view()->columnWidth(3), given);
    EXPECT_FALSE(cutCells(g, {3}).isEmpty()) << "as given: the times show '#'";
    g.setColHidden(1, false);
    EXPECT_EQ(g.ColWidth(1), hiddenWidth);

    // A double click on a divider sizes the column by hand too.
    g.setTopRow(1);
    g.AutoSize(1);
    const int edge1 = header->sectionViewportPosition(1) + header->sectionSize(1) - 1;
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(edge1, y));
    const int clicked = g.view()->columnWidth(1);
    g.setTopRow(2500);
    settle();
    EXPECT_EQ(g.view()->columnWidth(1), clicked);

    // A grid holding copies of the rows sizes over its sample, and keeps it.
    Grid held;
    held.setDataMode(flexDMFree);
    held.setDataSource(open(QLatin1String(kGrowingSql)));
    held.resize(600, 300);
    held.show();
    held.AutoSize(0, held.Cols() - 1);
    std::vector<int> widths;
    for (int c = 0; c < held.Cols(); ++c)
        widths.push_back(held.view()->columnWidth(c));
    held.setTopRow(1500);
    settle();
    for (int c = 0; c < held.Cols(); ++c)
        EXPECT_EQ(held.view()->columnWidth(c), widths[std::size_t(c)]) << c;
}
