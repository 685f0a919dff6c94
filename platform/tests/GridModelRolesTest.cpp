// The grid's model as any Qt view, proxy or tester sees it: the roles carry the look (fonts,
// colours, alignment, check boxes, pictures), the structure signals stay consistent through
// everything the grid does to its rows, and the views paint what the roles say.
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QIcon>
#include <QImage>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>

using namespace grid;

namespace {

QVariant role(const Grid &g, int row, int col, int role)
{
    return g.model()->index(row - g.FixedRows(), col).data(role);
}

QColor brush(const Grid &g, int row, int col, int r)
{
    return role(g, row, col, r).value<QBrush>().color();
}

// Region, Product, Amount, Paid.
void fillSales(Grid &g)
{
    g.setCols(4);
    g.setRows(1);
    const char *captions[] = {"Region", "Product", "Amount", "Paid"};
    for (int c = 0; c < 4; ++c)
        g.setTextMatrix(0, c, QLatin1String(captions[c]));
    const char *rows[][4] = {{"East", "Apples", "10", "True"}, {"East", "Pears", "7", "False"},
                             {"West", "Apples", "1", "True"},  {"West", "Pears", "2.5", ""}};
    for (const auto &r : rows)
        g.AddItem(QStringLiteral("%1\t%2\t%3\t%4").arg(QLatin1String(r[0]), QLatin1String(r[1]), QLatin1String(r[2]),
                                                       QLatin1String(r[3])));
    g.setColDataType(3, flexDTBoolean);
}

int horizontal(const QVariant &alignment)
{
    return alignment.toInt() & Qt::AlignHorizontal_Mask;
}

} // namespace

TEST(GridModelRoles, TheTesterFindsNothingWrongThroughEveryChangeOfShape)
{
    Grid g;
    QAbstractItemModelTester tester(g.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    fillSales(g);
    g.setCell(flexcpBackColor, 1, 0, 2, 1, 0x00FFFF);
    g.setCell(flexcpFontBold, 2, 2, true);
    g.setCell(flexcpPicture, 3, 0, QIcon(Grid::sortPicture(flexSortGenericAscending)));
    g.setCell(flexcpPicture, 3, 1, QStringLiteral("not a picture"));
    g.setMergeCells(flexMergeFree);
    g.setMergeCol(0, true);
    g.Subtotal(flexSTSum, 0, 2, {}, 0xC0C0C0, 0, true, QStringLiteral("Total"));
    g.Subtotal(flexSTSum, -1, 2, {}, 0x808080, 0xFFFFFF, true, QStringLiteral("Grand Total"));
    g.setRowHidden(2, true);
    g.SortByColumns({{1, flexSortGenericDescending}});
    g.setColPosition(0, 2);
    g.setFixedCols(1);
    g.RemoveItem(1);
    g.setCols(6);
    g.setCols(3);
    g.setFixedRows(2);
    g.Clear(2, 1);
    g.setRows(1);
    EXPECT_EQ(g.model()->rowCount(), 0);
}

TEST(GridModelRoles, ABoundGridPassesTheTesterThroughFilterSortAndUnbinding)
{
    QTemporaryDir dir;
    auto conn = db::Connection::create();
    conn->setReadOnly(false);
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("m.db"))));
    conn->Execute(QStringLiteral("CREATE TABLE t(id INTEGER, name TEXT, ok BOOLEAN)"));
    conn->Execute(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                                 "INSERT INTO t SELECT i, 'row ' || i, CASE WHEN i % 3 = 0 THEN NULL ELSE i % 2 END FROM n"));
    Grid g;
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM t"), conn);
    // Every row first: Qt's tester asks for more rows while it still counts the last change as
    // under way, which a model fetching on demand cannot satisfy.
    rs->fetchAll();
    QAbstractItemModelTester tester(g.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    ASSERT_EQ(g.Rows(), 5001);
    EXPECT_EQ(role(g, 3, 2, Qt::CheckStateRole), QVariant()) << "a Null has no box";
    EXPECT_EQ(role(g, 1, 2, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(role(g, 2, 2, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    EXPECT_EQ(horizontal(role(g, 1, 0, Qt::TextAlignmentRole)), int(Qt::AlignRight));
    EXPECT_EQ(role(g, 5, 1, Qt::EditRole).toString(), QStringLiteral("row 5"));
    g.setRowHidden(5, true);
    g.setCell(flexcpBackColor, 6, 1, 0x00FF00);
    EXPECT_EQ(brush(g, 6, 1, Qt::BackgroundRole), QColor(0, 255, 0)) << "a bound row keeps a style of its own";
    rs->setFilter(QStringLiteral("id < 100"));
    g.model()->syncBound();
    EXPECT_EQ(g.Rows(), 100);
    g.SortByColumns({{0, flexSortGenericDescending}});
    EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("99"));
    g.setDataSource(nullptr);
    EXPECT_EQ(g.Rows(), 1);

    // Copied a slice at a time, each told to the views as it comes (the tester checks each), with
    // Redraw off as a refresh copies; a stop keeps whole rows, and the cursor comes to the first
    // cell once the copy is over.
    rs->setFilter(QString());
    rs->setSort(QString());
    g.resize(400, 300);
    g.show();
    g.setRedraw(0);
    int asked = 0;
    EXPECT_FALSE(g.CopyFrom(rs, 2, [&] { return ++asked < 2; }));
    const int kept = g.Rows() - 1;
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 5000);
    EXPECT_EQ(g.TextMatrix(kept, 0), QString::number(kept));
    asked = 0;
    EXPECT_TRUE(g.CopyFrom(rs, 2, [&] { return ++asked > 0; }));
    EXPECT_GT(asked, 1);
    g.setRedraw(1);
    EXPECT_EQ(g.Rows(), 5001);
    EXPECT_EQ(g.Cols(), 2);
    EXPECT_EQ(g.TextMatrix(5000, 1), QStringLiteral("row 5000"));
    EXPECT_EQ(std::pair(g.Row(), g.Col()), std::pair(1, 0));
    g.setTopRow(4000);
    EXPECT_EQ(g.TopRow(), 4000) << "the view laid out for every row copied";
}

TEST(GridModelRoles, StylesReachTheRolesFromCellRowColumnAndGrid)
{
    Grid g;
    fillSales(g);
    g.setFixedCols(1);
    g.setBackColorFixed(0x0000FF);
    g.setForeColorFixed(0x00FF00);
    g.setForeColor(0x123456);

    // A fixed column takes the fixed colours; a plain cell has no background of its own.
    EXPECT_EQ(brush(g, 1, 0, Qt::BackgroundRole), QColor(255, 0, 0));
    EXPECT_EQ(brush(g, 1, 0, Qt::ForegroundRole), QColor(0, 255, 0));
    EXPECT_FALSE(role(g, 1, 1, Qt::BackgroundRole).isValid());
    EXPECT_EQ(brush(g, 1, 1, Qt::ForegroundRole), QColor(0x56, 0x34, 0x12)) << "0x00BBGGRR";
    EXPECT_EQ(g.model()->cellData(0, 1, Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 0, 0))
        << "the header rows are served too";

    // Alternate rows: every second data row, announced to the views when the colour changes.
    QSignalSpy changed(g.model(), &QAbstractItemModel::dataChanged);
    g.setBackColorAlternate(0xEEEEEE);
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_FALSE(role(g, 1, 1, Qt::BackgroundRole).isValid());
    EXPECT_EQ(brush(g, 2, 1, Qt::BackgroundRole), QColor(0xEE, 0xEE, 0xEE));

    // A cell's own style wins over its row's (a subtotal row) and the grid's.
    g.setCell(flexcpBackColor, 3, 1, 0x00FF00);
    g.setCell(flexcpFontItalic, 3, 1, true);
    g.setCell(flexcpFontName, 3, 2, g.font().family());
    g.setCell(flexcpFontSize, 3, 2, 17.0);
    EXPECT_EQ(brush(g, 3, 1, Qt::BackgroundRole), QColor(0, 255, 0));
    EXPECT_TRUE(role(g, 3, 1, Qt::FontRole).value<QFont>().italic());
    EXPECT_DOUBLE_EQ(role(g, 3, 2, Qt::FontRole).value<QFont>().pointSizeF(), 17.0);
    EXPECT_FALSE(role(g, 3, 3, Qt::FontRole).value<QFont>().italic());

    g.Subtotal(flexSTSum, 0, 2, {}, 0xC0C0C0, 0x0000FF, true, QStringLiteral("Total"));
    int total = -1;
    for (int r = 1; r < g.Rows() && total < 0; ++r)
        if (g.IsSubtotal(r))
            total = r;
    ASSERT_GT(total, 0);
    EXPECT_TRUE(role(g, total, 2, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(brush(g, total, 2, Qt::BackgroundRole), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(brush(g, total, 2, Qt::ForegroundRole), QColor(255, 0, 0));
    EXPECT_FALSE(role(g, total + 1, 2, Qt::FontRole).value<QFont>().bold()) << "the next group's row is plain";

    // The grid's font is the roles' base.
    QFont big = g.font();
    big.setPointSize(21);
    g.setFont(big);
    EXPECT_EQ(role(g, 1, 1, Qt::FontRole).value<QFont>().pointSize(), 21);
}

TEST(GridModelRoles, AlignmentCheckStateAndPicturesByColumnTypeAndCell)
{
    Grid g;
    fillSales(g);
    // Untyped columns go by what a cell holds; a check-box column is centred and shows no text.
    EXPECT_EQ(horizontal(role(g, 1, 0, Qt::TextAlignmentRole)), int(Qt::AlignLeft));
    EXPECT_EQ(horizontal(role(g, 1, 2, Qt::TextAlignmentRole)), int(Qt::AlignRight));
    EXPECT_TRUE(role(g, 1, 2, NumberRole).toBool());
    EXPECT_FALSE(role(g, 1, 1, NumberRole).toBool());
    EXPECT_EQ(horizontal(role(g, 1, 3, Qt::TextAlignmentRole)), int(Qt::AlignHCenter));
    EXPECT_EQ(role(g, 1, 3, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(role(g, 2, 3, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    EXPECT_EQ(role(g, 4, 3, Qt::CheckStateRole).toInt(), int(Qt::Unchecked)) << "an empty cell of our own is False";
    EXPECT_EQ(role(g, 1, 3, Qt::DisplayRole).toString(), QStringLiteral("True")) << "accessible text stays";
    EXPECT_TRUE(cellLook(*g.model(), 1, 3).text.isEmpty()) << "but a box is painted without it";
    EXPECT_FALSE(g.model()->cellData(0, 3, Qt::CheckStateRole).isValid()) << "no box in the header";

    // Typed columns align as a whole; a column setting and a cell setting override.
    g.setColDataType(2, flexDTString);
    EXPECT_EQ(horizontal(role(g, 1, 2, Qt::TextAlignmentRole)), int(Qt::AlignLeft));
    g.setColDataType(2, flexDTDouble);
    g.setTextMatrix(1, 2, QString());
    EXPECT_EQ(horizontal(role(g, 1, 2, Qt::TextAlignmentRole)), int(Qt::AlignRight)) << "even an empty number";
    g.setColAlignment(0, flexAlignCenterCenter);
    g.setCell(flexcpAlignment, 2, 0, int(flexAlignRightBottom));
    EXPECT_EQ(role(g, 1, 0, Qt::TextAlignmentRole).toInt(), int(Qt::AlignHCenter | Qt::AlignVCenter));
    EXPECT_EQ(role(g, 2, 0, Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignBottom));
    EXPECT_EQ(horizontal(g.model()->cellData(0, 2, Qt::TextAlignmentRole)), int(Qt::AlignLeft)) << "captions left";

    // A picture is the decoration, with its alignment; something else stored there is not.
    const QPixmap pm = Grid::sortPicture(flexSortGenericDescending);
    g.setCell(flexcpPicture, 1, 1, pm);
    g.setCell(flexcpPictureAlignment, 1, 1, int(flexPicAlignLeftCenter));
    g.setCell(flexcpPicture, 2, 1, QStringLiteral("picture.png"));
    EXPECT_EQ(role(g, 1, 1, Qt::DecorationRole).value<QPixmap>().size(), pm.size());
    EXPECT_EQ(role(g, 1, 1, PictureAlignmentRole).toInt(), int(flexPicAlignLeftCenter));
    EXPECT_FALSE(role(g, 2, 1, Qt::DecorationRole).isValid());

    // itemData gives the same as the single roles, and a proxy passes them on.
    const QMap<int, QVariant> all = g.model()->itemData(g.model()->index(0, 2));
    EXPECT_EQ(all.value(Qt::TextAlignmentRole), role(g, 1, 2, Qt::TextAlignmentRole));
    EXPECT_EQ(all.value(Qt::DisplayRole), role(g, 1, 2, Qt::DisplayRole));
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(g.model());
    EXPECT_EQ(proxy.index(0, 3).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_EQ(proxy.index(0, 1).data(PictureAlignmentRole).toInt(), int(flexPicAlignLeftCenter));
}

TEST(GridModelRoles, TheViewPaintsWhatTheRolesSay)
{
    Grid g;
    fillSales(g);
    g.setGridLines(flexGridNone);
    g.resize(500, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.setRow(3); // the cursor on a plain cell, away from the others looked at
    g.setCol(1);
    g.setCell(flexcpBackColor, 1, 1, 0x00FF00);
    g.setBackColorAlternate(0xFF0000);
    QCoreApplication::processEvents();

    auto centre = [&g](int row, int col) {
        const QImage shot = g.view()->viewport()->grab().toImage();
        const QRect cell = g.view()->visualRect(g.model()->index(row - g.FixedRows(), col));
        return shot.pixelColor(cell.right() - 4, cell.top() + 3);
    };
    EXPECT_EQ(centre(1, 1), QColor(0, 255, 0));
    EXPECT_EQ(centre(2, 0), QColor(0, 0, 255)) << "the alternate row";
    EXPECT_EQ(centre(3, 0), QColor(255, 255, 255)) << "the grid's own background";
    EXPECT_EQ(centre(3, 1), QColor(255, 255, 255)) << "the current cell: no highlight of the view's own";

    // A selected cell takes the selection colours over its own.
    g.setBackColorSel(0x00FFFF);
    g.Select(1, 0, 1, 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(centre(1, 1), QColor(255, 255, 0));
}

namespace {

void expectSameLook(const CellLook &direct, const CellLook &roles, const std::string &where)
{
    EXPECT_EQ(direct.text, roles.text) << where;
    EXPECT_EQ(direct.font, roles.font) << where;
    EXPECT_EQ(direct.fillBack, roles.fillBack) << where;
    EXPECT_EQ(direct.back, roles.back) << where;
    EXPECT_EQ(direct.fore, roles.fore) << where;
    EXPECT_EQ(direct.qtAlignment, roles.qtAlignment) << where;
    EXPECT_EQ(direct.picture.isValid(), roles.picture.isValid()) << where;
    EXPECT_EQ(direct.pictureAlignment, roles.pictureAlignment) << where;
    EXPECT_EQ(direct.checkBox, roles.checkBox) << where;
    EXPECT_EQ(direct.checked, roles.checked) << where;
    EXPECT_EQ(direct.numeric, roles.numeric) << where;
}

void expectLooksAsRolesSay(const Grid &g, const char *step)
{
    const GridModel &m = *g.model();
    for (int r = 0; r < m.rows(); ++r) {
        for (int c = 0; c < m.cols(); ++c) {
            const std::string where = std::string(step) + " cell " + std::to_string(r) + "," + std::to_string(c);
            const CellLook direct = cellLook(m, r, c);
            if (r >= m.fixedRows()) {
                expectSameLook(direct, cellLook(m.index(r - m.fixedRows(), c)), where);
                continue;
            }
            // Header rows have no index: their roles one by one.
            EXPECT_EQ(direct.text, m.cellData(r, c, Qt::DisplayRole).toString()) << where;
            EXPECT_EQ(direct.font, m.cellData(r, c, Qt::FontRole).value<QFont>()) << where;
            EXPECT_EQ(direct.back, m.cellData(r, c, Qt::BackgroundRole).value<QBrush>().color()) << where;
            EXPECT_EQ(direct.fore, m.cellData(r, c, Qt::ForegroundRole).value<QBrush>().color()) << where;
            EXPECT_EQ(direct.qtAlignment, m.cellData(r, c, Qt::TextAlignmentRole).toInt()) << where;
        }
    }
}

} // namespace

// The painters read each cell's look straight from the model; it must be the look its roles give
// any other view, for every kind of cell, and the look of no roles for a cell that is not there.
TEST(GridModelRoles, ThePaintersLookIsTheOneTheRolesGive)
{
    Grid g;
    fillSales(g);
    g.setFixedCols(1);
    g.setBackColorFixed(0x0000FF);
    g.setForeColor(0x123456);
    g.setBackColorAlternate(0xEEEEEE);
    g.setCell(flexcpBackColor, 3, 1, 0x00FF00);
    g.setCell(flexcpFontItalic, 3, 1, true);
    g.setCell(flexcpFontSize, 3, 2, 17.0);
    g.setCell(flexcpAlignment, 2, 2, int(flexAlignRightBottom));
    g.setCell(flexcpPicture, 1, 1, Grid::sortPicture(flexSortGenericDescending));
    g.setCell(flexcpPictureAlignment, 1, 1, int(flexPicAlignLeftCenter));
    g.setCell(flexcpPicture, 2, 1, QStringLiteral("picture.png"));
    g.setCell(flexcpPictureAlignment, 2, 1, int(flexPicAlignRightCenter));
    g.Subtotal(flexSTSum, 0, 2, {}, 0xC0C0C0, 0x0000FF, true, QStringLiteral("Total"));
    expectLooksAsRolesSay(g, "held");

    const CellLook none = cellLook(*g.model(), g.Rows(), 0);
    EXPECT_TRUE(none.text.isEmpty());
    EXPECT_FALSE(none.fillBack);
    EXPECT_EQ(none.fore, QColor(Qt::black));
    EXPECT_EQ(none.qtAlignment, 0);

    // Bound: typed columns, Nulls (a Null Boolean shows no box), numbers formatted.
    QTemporaryDir dir;
    auto conn = db::Connection::create();
    conn->setReadOnly(false);
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("r.db"))));
    conn->Execute(QStringLiteral("CREATE TABLE t(code TEXT, n INTEGER, x REAL, paid BOOLEAN, d DATE)"));
    conn->Execute(QStringLiteral("INSERT INTO t VALUES ('0042', 1, 2.5, 1, '2024-02-29'), (NULL, NULL, NULL, NULL, NULL), "
                                 "('', -7, 1e300, 0, '1999-12-31')"));
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM t"), conn);
    Grid bound;
    bound.setDataMode(flexDMBound);
    bound.setDataSource(rs);
    bound.setBackColorAlternate(0xDDDDDD);
    ASSERT_EQ(bound.Rows(), 4);
    expectLooksAsRolesSay(bound, "bound");
}

// The grid's views leave out the row panel that the application's style (Fusion) paints empty for
// them: the grid looks exactly as under the application's own style, with a selection, the
// current cell with the focus, frozen columns and alternate rows.
TEST(GridModelRoles, TheViewsLookAsUnderTheApplicationsOwnStyle)
{
    Grid g;
    fillSales(g);
    for (int i = 0; i < 20; ++i)
        g.AddItem(QStringLiteral("North\tPlums\t%1\tTrue").arg(i));
    g.setFixedCols(1);
    g.setFrozenCols(1);
    g.setBackColorAlternate(0xEEEEEE);
    g.resize(500, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    g.setRow(2);
    g.setCol(1);
    g.setRowSel(5);
    g.setColSel(2);
    g.view()->setFocus();
    QCoreApplication::processEvents();
    if (qstrcmp(QApplication::style()->metaObject()->className(), "QFusionStyle") == 0) {
        ASSERT_NE(g.view()->style(), QApplication::style()) << "the views' own style is in use";
    }
    const QImage skipped = g.grab().toImage();
    for (QTableView *view : std::initializer_list<QTableView *>{g.view(), g.frozenView()})
        view->setStyle(QApplication::style());
    QCoreApplication::processEvents();
    EXPECT_EQ(g.grab().toImage(), skipped);
}
