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
    QTRY_VERIFY(g.model()->rowCount() > first - 1);
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
