// The grid holding its own cells: shape, selection, formats, hidden and frozen columns,
// subtotals and aggregates, merging, sorting and sizing.
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"

#include <gtest/gtest.h>

#include <limits>

#include <QDate>
#include <QHeaderView>
#include <QLocale>
#include <QScrollBar>
#include <QTest>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

using namespace grid;

namespace {

// A summary-shaped grid: Region, Product, Amount.
void fillSales(Grid &g)
{
    g.setCols(3);
    g.setRows(1);
    g.setTextMatrix(0, 0, QStringLiteral("Region"));
    g.setTextMatrix(0, 1, QStringLiteral("Product"));
    g.setTextMatrix(0, 2, QStringLiteral("Amount"));
    const char *rows[][3] = {{"East", "Apples", "10"}, {"East", "Apples", "5"}, {"East", "Pears", "7"},
                             {"West", "Apples", "1"},  {"West", "Pears", "2"},  {"West", "Pears", "3"}};
    for (const auto &r : rows)
        g.AddItem(QStringLiteral("%1\t%2\t%3").arg(QLatin1String(r[0]), QLatin1String(r[1]), QLatin1String(r[2])));
}

QStringList column(const Grid &g, int c)
{
    QStringList out;
    for (int r = g.FixedRows(); r < g.Rows(); ++r)
        out << g.TextMatrix(r, c);
    return out;
}

} // namespace

TEST(GridFormat, NumberPatternsAsTheProgramWritesThem)
{
    using format::formatNumber;
    EXPECT_EQ(formatNumber(0, QStringLiteral("#,###")), QString()); // zero shows as an empty cell
    EXPECT_EQ(formatNumber(1234567, QStringLiteral("#,###")), QStringLiteral("1,234,567"));
    EXPECT_EQ(formatNumber(0.5, QStringLiteral("#,###.00")), QStringLiteral(".50"));
    EXPECT_EQ(formatNumber(-1234.5, QStringLiteral("$#,###.00")), QStringLiteral("-$1,234.50"));
    EXPECT_EQ(formatNumber(0, QStringLiteral("#,##0.00")), QStringLiteral("0.00"));
    EXPECT_EQ(formatNumber(1234.567, QStringLiteral("#,#0.00")), QStringLiteral("1,234.57"));
    EXPECT_EQ(formatNumber(-0.001, QStringLiteral("#,##0.00")), QStringLiteral("0.00")); // no "-0.00"
    EXPECT_EQ(formatNumber(0.256, QStringLiteral("0.0%")), QStringLiteral("25.6%"));
    EXPECT_EQ(formatNumber(-5, QStringLiteral("0;(0)")), QStringLiteral("(5)"));

    EXPECT_EQ(format::parseNumber(QStringLiteral(" 1,234.50 ")), 1234.5);
    EXPECT_EQ(format::parseNumber(QStringLiteral("-$5")), -5.0);
    EXPECT_EQ(format::parseNumber(QStringLiteral("12%")), 0.12);
    EXPECT_FALSE(format::parseNumber(QStringLiteral("1,23")));  // not a thousands group
    EXPECT_FALSE(format::parseNumber(QStringLiteral("inf")));
    EXPECT_FALSE(format::parseNumber(QStringLiteral("12abc")));
    EXPECT_FALSE(format::parseNumber(QString()));
    EXPECT_EQ(format::numberText(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(format::parseNumber(format::numberText(0.1 + 0.2)), 0.1 + 0.2) << "the text reads back exactly";
    EXPECT_EQ(format::numberText(-0.0), QStringLiteral("0"));
    // Not-a-number and infinities as the cells from the database write them.
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN(), QStringLiteral("#,###.00")), QStringLiteral("NaN"));
    EXPECT_EQ(format::numberText(-std::numeric_limits<double>::infinity()), QStringLiteral("-Infinity"));

    // Alternating patterns: each cell is formatted by its own pattern, never by the one before.
    EXPECT_EQ(formatNumber(-5, QStringLiteral("0;(0)")), QStringLiteral("(5)"));
    EXPECT_EQ(formatNumber(-5, QStringLiteral("0")), QStringLiteral("-5"));
    EXPECT_EQ(formatNumber(0, QStringLiteral("0;(0);\"nil\"")), QStringLiteral("nil"));
    EXPECT_EQ(formatNumber(0, QStringLiteral("0;(0);")), QStringLiteral("0")); // an empty zero section is not used
    EXPECT_EQ(formatNumber(-5, QStringLiteral("0;;")), QStringLiteral("-5"));
    EXPECT_EQ(formatNumber(-5, QStringLiteral("0;(0)")), QStringLiteral("(5)"));
    // Zeros the pattern asks for are grouped with the digits; others are dropped.
    EXPECT_EQ(formatNumber(12, QStringLiteral("#,000000")), QStringLiteral("000,012"));
    EXPECT_EQ(formatNumber(1234, QStringLiteral("#,##0")), QStringLiteral("1,234"));
    EXPECT_EQ(formatNumber(123, QStringLiteral("#,##0")), QStringLiteral("123"));
    EXPECT_EQ(formatNumber(-1234567.125, QStringLiteral("#,##0.00")), QStringLiteral("-1,234,567.13")); // half away from zero
    EXPECT_EQ(formatNumber(0.05, QStringLiteral("#.#")), QStringLiteral(".1"));
    EXPECT_EQ(formatNumber(1.5, QStringLiteral("#,###.00 \"kg\"")), QStringLiteral("1.50 kg"));
    EXPECT_EQ(formatNumber(2, QStringLiteral("0.###")), QStringLiteral("2"));

    EXPECT_EQ(format::typeFormat(20), QStringLiteral("#,###"));
    EXPECT_EQ(format::typeFormat(131), QStringLiteral("#,###.00"));
    EXPECT_EQ(format::typeFormat(6), QStringLiteral("$#,###.00"));
    EXPECT_EQ(format::typeFormat(202), QString());
    // Counts are grouped even where the locale's options leave the separator out (the C locale's do).
    EXPECT_EQ(format::groupedCount(1234567, QLocale::c()), QStringLiteral("1,234,567"));
    EXPECT_EQ(format::groupedCount(1234567, QLocale(QLocale::German)), QStringLiteral("1.234.567"));

    EXPECT_EQ(format::qtDateFormat(QStringLiteral("dd/mm/yyyy")), QStringLiteral("dd/MM/yyyy"));
    EXPECT_EQ(format::qtDateFormat(QStringLiteral("yyyy-mm-dd hh:mm:ss")), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_EQ(format::qtDateFormat(QStringLiteral("mm/dd/yy hh:nn")), QStringLiteral("MM/dd/yy hh:mm"));
    // An apostrophe is a separator like any other, not the start of quoted text.
    EXPECT_EQ(QLocale::c().toString(QDate(2024, 3, 5), format::qtDateFormat(QStringLiteral("d'mm"))), QStringLiteral("5'03"));
}

TEST(GridFormat, PlainDecimalsReadAsQtReadsThemAndNumberTextsReadBackExactly)
{
    // Plain decimals (the texts the program writes into cells) against Qt's own reading.
    std::mt19937_64 rng(7);
    QStringList texts = {QStringLiteral("007"), QStringLiteral("-0"), QStringLiteral("0.125"), QStringLiteral("-1234.5"),
                         QStringLiteral("0.30000000000000004"), QStringLiteral("123456789012345678901234567890"),
                         QStringLiteral("9007199254740993"), QStringLiteral("0.000000000000000000001")};
    for (int i = 0; i < 20000; ++i) {
        QString t = rng() % 4 == 0 ? QStringLiteral("-") : QString();
        const int intDigits = 1 + int(rng() % 20);
        for (int d = 0; d < intDigits; ++d)
            t += QChar(u'0' + int(rng() % 10));
        if (rng() % 2) {
            t += u'.';
            const int decDigits = 1 + int(rng() % 20);
            for (int d = 0; d < decDigits; ++d)
                t += QChar(u'0' + int(rng() % 10));
        }
        texts << t;
    }
    for (const QString &t : texts) {
        bool ok = false;
        const double expected = t.toDouble(&ok);
        ASSERT_TRUE(ok) << t.toStdString();
        const std::optional<double> v = format::parseNumber(t);
        ASSERT_TRUE(v) << t.toStdString();
        ASSERT_EQ(std::memcmp(&*v, &expected, sizeof expected), 0) << t.toStdString(); // -0 stays -0
    }
    // Texts just outside the plain shape still read as before.
    EXPECT_EQ(format::parseNumber(QStringLiteral("1.")), 1.0);
    EXPECT_EQ(format::parseNumber(QStringLiteral(".5")), 0.5);
    EXPECT_EQ(format::parseNumber(QStringLiteral(" -2 ")), -2.0);
    EXPECT_EQ(format::parseNumber(QStringLiteral("1e3")), 1000.0);
    EXPECT_FALSE(format::parseNumber(QStringLiteral("-")));
    EXPECT_FALSE(format::parseNumber(QStringLiteral("1.2.3")));
    EXPECT_FALSE(format::parseNumber(QStringLiteral("-1-")));
    EXPECT_FALSE(format::parseNumber(QStringLiteral("+1")));

    // Any double's text reads back as that double, with 15 digits where they are enough.
    for (int i = 0; i < 20000; ++i) {
        std::uint64_t bits = rng();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        if (i % 2)
            value = double(std::int64_t(rng() % 2000000) - 1000000) / 1024.0;
        if (!std::isfinite(value))
            continue;
        const QString text = format::numberText(value);
        const QString fifteen = QString::number(value, 'g', 15);
        ASSERT_EQ(text, fifteen.toDouble() == value ? fifteen : QString::number(value, 'g', 17)) << value;
        ASSERT_EQ(format::parseNumber(text), value == 0 ? 0.0 : value) << text.toStdString();
    }
}

TEST(GridShape, RowsCountTheHeaderAndIndexesAreChecked)
{
    Grid g;
    EXPECT_EQ(g.Rows(), 1);
    EXPECT_EQ(g.FixedRows(), 1);
    EXPECT_EQ(g.Row(), -1) << "no current cell without data rows";
    g.setCols(3);
    g.setRows(4);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.Col(), 0);
    g.setTextMatrix(0, 2, QStringLiteral("Caption"));
    g.setTextMatrix(3, 2, QStringLiteral("last"));
    EXPECT_EQ(g.TextMatrix(0, 2), QStringLiteral("Caption"));
    EXPECT_EQ(g.TextMatrix(3, 2), QStringLiteral("last"));
    EXPECT_TRUE(g.IsNullMatrix(2, 2));

    try {
        g.TextMatrix(4, 0);
        FAIL() << "row 4 of 4 rows read";
    } catch (const GridRangeError &e) {
        EXPECT_NE(std::string(e.what()).find("TextMatrix"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("0 to 3"), std::string::npos);
    }
    EXPECT_THROW(g.setTextMatrix(1, 3, QStringLiteral("x")), GridRangeError);
    EXPECT_THROW(g.setColHidden(-1, true), GridRangeError);
    EXPECT_THROW(g.setRows(-1), GridArgumentError);
    // One family: a caller trapping GridError hears every kind, each naming its member.
    for (const auto &bad : std::vector<std::function<void()>>{[&g] { g.setCell(flexcpWidth, 1, 1, 5); },
                                                              [&g] { g.Select(1, 9); },
                                                              [&g] { g.LoadWallPaper(QStringLiteral("/no/such.png")); }}) {
        try {
            bad();
            ADD_FAILURE() << "no error";
        } catch (const GridError &e) {
            EXPECT_TRUE(e.message().startsWith(QLatin1String("Grid."))) << qPrintable(e.message());
        }
    }

    // Shrinking keeps what remains; the cursor follows.
    g.setRow(3);
    g.setRows(2);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.TextMatrix(0, 2), QStringLiteral("Caption"));
    g.setRows(4);
    EXPECT_EQ(g.TextMatrix(3, 2), QString()) << "a row that came back is empty";

    // Two header rows (the cross-tab) and none (the tooltip grid).
    g.setFixedRows(2);
    EXPECT_EQ(g.Rows(), 4);
    EXPECT_EQ(g.model()->rowCount(), 2);
    g.setFixedRows(0);
    EXPECT_EQ(g.model()->rowCount(), 4);
    EXPECT_FALSE(g.view()->horizontalHeader()->isVisibleTo(&g));
}

TEST(GridShape, AddItemRemoveItemAndClear)
{
    Grid g;
    g.setCols(2);
    g.AddItem(QStringLiteral("a\tb"));
    g.AddItem(QStringLiteral("c"), 1);
    g.AddItem(QStringLiteral("d\te\textra cells are dropped"));
    ASSERT_EQ(g.Rows(), 4);
    EXPECT_EQ(column(g, 0), (QStringList{"c", "a", "d"}));
    EXPECT_EQ(g.TextMatrix(3, 1), QStringLiteral("e"));
    EXPECT_THROW(g.AddItem(QStringLiteral("x"), 0), GridRangeError) << "not into the header";
    g.RemoveItem(1);
    EXPECT_EQ(column(g, 0), (QStringList{"a", "d"}));
    EXPECT_THROW(g.RemoveItem(0), GridRangeError);
    g.setTextMatrix(0, 0, QStringLiteral("Head"));
    g.setCell(flexcpFontBold, 1, 0, 2, 1, true);
    g.Clear(2, 1); // data cells, styles only
    EXPECT_FALSE(g.Cell(flexcpFontBold, 1, 0).toBool());
    EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("a"));
    g.Clear(2, 2);
    EXPECT_EQ(g.TextMatrix(1, 0), QString());
    EXPECT_EQ(g.TextMatrix(0, 0), QStringLiteral("Head"));
}

TEST(GridSelection, RowAndColCollapseTheSelectionAndReversedRangesAreNormalised)
{
    Grid g;
    g.setCols(4);
    g.setRows(6);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 4; ++c)
            g.setTextMatrix(r, c, QStringLiteral("%1%2").arg(QChar('a' + c)).arg(r));
    int changes = 0;
    QObject::connect(&g, &Grid::RowColChange, [&] { ++changes; });

    g.Select(4, 2, 2, 1); // RowSel above Row, ColSel left of Col
    int r1, c1, r2, c2;
    g.GetSelection(r1, c1, r2, c2);
    EXPECT_EQ(std::tie(r1, c1, r2, c2), std::make_tuple(2, 1, 4, 2));
    EXPECT_EQ(g.Clip(), QStringLiteral("b2\tc2\r\nb3\tc3\r\nb4\tc4"));
    EXPECT_EQ(g.SelectedRows(), 3);
    EXPECT_TRUE(g.IsSelected(3));
    EXPECT_FALSE(g.IsSelected(5));

    // Hidden rows and columns are never copied.
    g.setRowHidden(3, true);
    g.setColHidden(2, true);
    EXPECT_EQ(g.Clip(), QStringLiteral("b2\r\nb4"));
    g.setRowHidden(3, false);
    g.setColHidden(2, false);

    g.setRow(5);
    EXPECT_EQ(g.RowSel(), 5);
    EXPECT_EQ(g.ColSel(), g.Col()) << "setting Row collapses the whole selection";
    EXPECT_GE(changes, 2);

    // Select all as the results view does it: Row 1, Col 0, RowSel and ColSel the last.
    g.setRow(1);
    g.setCol(0);
    g.setRowSel(5);
    g.setColSel(3);
    EXPECT_EQ(g.SelectedRows(), 5);
    const QModelIndexList selected = g.view()->selectionModel()->selectedIndexes();
    EXPECT_EQ(selected.size(), 5 * 4) << "the view shows what Row/RowSel say";

    // A user's click moves the cursor and raises RowColChange.
    g.resize(400, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    const int before = changes;
    const QRect cell = g.view()->visualRect(g.model()->index(2, 1));
    QTest::mouseClick(g.view()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(g.Col(), 1);
    EXPECT_EQ(g.RowSel(), 3);
    EXPECT_GT(changes, before);
    EXPECT_EQ(g.MouseRow(), 3);
    EXPECT_EQ(g.MouseCol(), 1);

    // Row 0 may be made current for a moment (the filter grid commits edits that way).
    g.setRow(0);
    EXPECT_EQ(g.Row(), 0);
    EXPECT_FALSE(g.view()->selectionModel()->currentIndex().isValid());
}

TEST(GridSelection, ListBoxModePicksRowsOneByOne)
{
    Grid g;
    g.setCols(2);
    g.setRows(5);
    g.setSelectionMode(flexSelectionListBox);
    g.setRow(2);
    g.setIsSelected(4, true);
    EXPECT_EQ(g.SelectedRows(), 2);
    EXPECT_EQ(g.SelectedRow(0), 2);
    EXPECT_EQ(g.SelectedRow(1), 4);
    EXPECT_THROW(g.SelectedRow(2), GridRangeError);
    g.setIsSelected(2, false);
    EXPECT_EQ(g.SelectedRows(), 1);
    EXPECT_FALSE(g.IsSelected(2));
}

TEST(GridColumns, FormatAlignmentAndDataTypeShapeWhatIsShown)
{
    Grid g;
    g.setCols(2);
    g.setRows(3);
    g.setTextMatrix(0, 1, QStringLiteral("1234.5")); // header cells are never formatted
    g.setTextMatrix(1, 1, QStringLiteral("1234.5"));
    g.setTextMatrix(2, 1, QStringLiteral("n/a"));
    g.setColFormat(1, QStringLiteral("$#,###.00"));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("$1,234.50"));
    EXPECT_EQ(g.Cell(flexcpText, 1, 1).toString(), QStringLiteral("1234.5"));
    EXPECT_EQ(g.ValueMatrix(1, 1), 1234.5);
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("n/a"));
    EXPECT_EQ(g.TextMatrix(0, 1), QStringLiteral("1234.5"));

    // Formatted text written back keeps its value.
    g.setTextMatrix(1, 1, g.TextMatrix(1, 1));
    EXPECT_EQ(g.ValueMatrix(1, 1), 1234.5);

    g.setColDataType(0, flexDTBoolean);
    g.setTextMatrix(1, 0, QStringLiteral("True"));
    EXPECT_EQ(g.ValueMatrix(1, 0), -1.0);
    EXPECT_EQ(g.Cell(flexcpChecked, 1, 0).toInt(), int(flexChecked));
    EXPECT_EQ(g.Cell(flexcpChecked, 2, 0).toInt(), int(flexUnchecked));
    g.setCell(flexcpChecked, 2, 0, QVariant(int(flexChecked)));
    EXPECT_EQ(g.TextMatrix(2, 0), QStringLiteral("True"));

    EXPECT_THROW(g.setColAlignment(0, 12), GridArgumentError);
    g.setCell(flexcpAlignment, 1, 1, QVariant(int(flexAlignCenterCenter)));
    EXPECT_EQ(g.Cell(flexcpAlignment, 1, 1).toInt(), int(flexAlignCenterCenter));
    EXPECT_EQ(g.Cell(flexcpAlignment, 2, 1).toInt(), int(flexAlignGeneral));
    EXPECT_THROW(g.setCell(flexcpTextDisplay, 1, 1, QStringLiteral("x")), GridArgumentError);
}

TEST(GridColumns, HiddenFrozenAndMovedColumns)
{
    Grid g;
    g.resize(600, 300);
    g.setCols(5);
    g.setRows(3);
    for (int c = 0; c < 5; ++c) {
        g.setTextMatrix(0, c, QStringLiteral("H%1").arg(c));
        g.setTextMatrix(1, c, QStringLiteral("v%1").arg(c));
        g.setColWidth(c, 1500 + 150 * c);
    }
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    EXPECT_NEAR(g.ColWidth(2), 1800, 15);

    g.setFrozenCols(2);
    GridView *frozen = g.frozenView();
    ASSERT_TRUE(frozen->isVisible());
    EXPECT_EQ(frozen->width(), g.view()->columnWidth(0) + g.view()->columnWidth(1));
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(frozen->isColumnHidden(c), c >= 2) << c;

    // A hidden frozen column takes no room in the frozen view.
    g.setColHidden(0, true);
    EXPECT_EQ(frozen->width(), g.view()->columnWidth(1));
    EXPECT_TRUE(g.view()->isColumnHidden(0));
    g.setColHidden(0, false);

    // "Lock Column" on column 3: to position FrozenCols, then one more frozen.
    g.setColPosition(3, g.FrozenCols());
    g.setFrozenCols(g.FrozenCols() + 1);
    EXPECT_EQ(g.TextMatrix(0, 2), QStringLiteral("H3"));
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("v3"));
    EXPECT_NEAR(g.ColWidth(2), 1500 + 450, 15) << "the width moves with the column";
    EXPECT_EQ(g.TextMatrix(0, 3), QStringLiteral("H2"));
    EXPECT_FALSE(frozen->isColumnHidden(2));
    EXPECT_EQ(frozen->width(), g.view()->columnWidth(0) + g.view()->columnWidth(1) + g.view()->columnWidth(2));

    // A hidden column keeps its settings when moved.
    g.setColHidden(4, true);
    g.setColPosition(4, 0);
    EXPECT_TRUE(g.ColHidden(0));
    EXPECT_EQ(g.TextMatrix(0, 0), QStringLiteral("H4"));

    g.setFrozenCols(0);
    EXPECT_FALSE(frozen->isVisible());

    // The frozen view is made with the first frozen column: what the grid was given before reaches it.
    Grid late;
    late.resize(600, 300);
    late.setCols(3);
    late.setRows(40);
    late.setRowHeight(0, 450);
    late.setSelectionMode(flexSelectionByRow);
    late.setAllowUserResizing(flexResizeNone);
    late.setRowHidden(5, true);
    late.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&late));
    late.setTopRow(20);
    late.setFrozenCols(1);
    GridView *made = late.frozenView();
    ASSERT_TRUE(made->isVisible());
    EXPECT_EQ(made->verticalHeader()->defaultSectionSize(), late.view()->verticalHeader()->defaultSectionSize());
    EXPECT_EQ(made->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(made->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    EXPECT_TRUE(made->isRowHidden(4));
    EXPECT_EQ(made->verticalScrollBar()->value(), late.view()->verticalScrollBar()->value());
}

TEST(GridTotals, SummaryLevelsAndTheGrandTotal)
{
    Grid g;
    fillSales(g);
    const quint32 sub1 = 0x00C0FFFF, sub2 = 0x00FFE0C0;
    g.Subtotal(flexSTSum, 0, 2, QString(), sub1, NoColor, true);
    g.Subtotal(flexSTSum, 1, 2, QString(), sub2, NoColor, true, QString(), 0);
    g.Subtotal(flexSTSum, -1, 2, QString(), NoColor, NoColor, true, QStringLiteral("TOTAL"));

    // East Apples 10, 5 | Apples 15 | East Pears 7 | Pears 7 | East 22 | West ... | TOTAL 28
    const QStringList amounts = column(g, 2);
    EXPECT_EQ(amounts, (QStringList{"10", "5", "15", "7", "7", "22", "1", "1", "2", "3", "5", "6", "28"}));
    const QStringList names = column(g, 1);
    EXPECT_EQ(names.at(2), QStringLiteral("Apples"));
    EXPECT_TRUE(g.IsSubtotal(3));
    EXPECT_EQ(g.RowOutlineLevel(3), 1);
    EXPECT_TRUE(g.IsSubtotal(6));
    EXPECT_EQ(g.RowOutlineLevel(6), 0);
    EXPECT_EQ(g.TextMatrix(6, 0), QStringLiteral("East"));
    EXPECT_EQ(g.Cell(flexcpBackColor, 6, 2).toUInt(), sub1);
    EXPECT_EQ(g.Cell(flexcpBackColor, 3, 0).toUInt(), sub2);
    EXPECT_TRUE(g.Cell(flexcpFontBold, 3, 2).toBool());
    EXPECT_FALSE(g.Cell(flexcpFontBold, 1, 2).toBool());
    const int last = g.Rows() - 1;
    EXPECT_EQ(g.TextMatrix(last, 0), QStringLiteral("TOTAL"));
    EXPECT_EQ(g.RowOutlineLevel(last), -1);

    // Aggregates skip subtotal rows: the data alone.
    EXPECT_EQ(g.Aggregate(flexSTSum, 1, 2, last, 2), 28.0);
    EXPECT_EQ(g.Aggregate(flexSTCount, 1, 2, last, 2), 6.0);
    EXPECT_EQ(g.Aggregate(flexSTMax, last, 2, 1, 2), 10.0) << "a reversed range is the same range";
    EXPECT_EQ(g.Aggregate(flexSTMin, 1, 2, last, 2), 1.0);
    EXPECT_NEAR(g.Aggregate(flexSTAverage, 1, 2, last, 2), 28.0 / 6, 1e-12);

    // Hide_SummaryRows: recompute the grand total, then overwrite it.
    g.Subtotal(flexSTSum, -1, 2, QString(), NoColor, NoColor, true, QStringLiteral("TOTAL"));
    EXPECT_EQ(g.Rows() - 1, last) << "a second grand total fills the row made before";
    g.setTextMatrix(last, 2, QStringLiteral("20"));
    EXPECT_EQ(g.ValueMatrix(last, 2), 20.0);

    g.Subtotal(flexSTClear);
    EXPECT_EQ(g.Rows(), 7);
    EXPECT_EQ(column(g, 2), (QStringList{"10", "5", "7", "1", "2", "3"}));

    // A pass stopped part-way (its caller's Escape) leaves every row as it was before it: none
    // made, none lost or moved, levels, styles and figures kept; the next pass is whole.
    Grid many;
    many.setCols(3);
    many.setRows(1);
    for (int i = 0; i < 600; ++i)
        many.AddItem(QStringLiteral("%1\t%2\t%3").arg(i / 30).arg(i / 3).arg(i));
    many.Subtotal(flexSTSum, 0, 2, QString(), sub1, NoColor, true);
    const auto snapshot = [&] {
        QStringList rows;
        for (int r = 0; r < many.Rows(); ++r)
            rows << QStringLiteral("%1|%2|%3|%4|%5|%6")
                        .arg(many.TextMatrix(r, 0), many.TextMatrix(r, 1), many.TextMatrix(r, 2))
                        .arg(many.IsSubtotal(r))
                        .arg(r > 0 ? many.RowOutlineLevel(r) : 9)
                        .arg(many.Cell(flexcpBackColor, r, 2).toUInt());
        return rows;
    };
    const QStringList before = snapshot();
    for (const int group : {1, -1, 0}) { // new rows, the grand total, rows made before
        int asked = 0;
        many.setBetweenRows([&] { return ++asked < 4; });
        many.Subtotal(flexSTSum, group, 2, QString(), sub2, NoColor, true, QStringLiteral("TOTAL"), 0);
        EXPECT_EQ(asked, 4) << group << ": stopped part-way";
        EXPECT_EQ(snapshot(), before) << group;
    }
    many.setBetweenRows({});
    many.Subtotal(flexSTSum, 1, 2, QString(), sub2, NoColor, true, QString(), 0);
    EXPECT_EQ(many.Rows(), 1 + 600 + 20 + 200);
    EXPECT_EQ(many.TextMatrix(4, 2), QStringLiteral("3")) << "0 + 1 + 2";
    EXPECT_EQ(many.Cell(flexcpBackColor, 4, 2).toUInt(), sub2);
    EXPECT_EQ(many.Cell(flexcpBackColor, many.Rows() - 1, 2).toUInt(), sub1);
}

TEST(GridTotals, CrossTabTotalsOverSeveralColumnsWithOneRow)
{
    Grid g;
    g.setFixedRows(2);
    g.setCols(4);
    g.setRows(2);
    g.AddItem(QStringLiteral("North\t1\t2\t"));
    g.AddItem(QStringLiteral("South\t3\t\t"));
    // The TOTAL column: each row's average of its cells (an empty cell is no value).
    for (int r = 2; r < g.Rows(); ++r)
        g.setTextMatrix(r, 3, format::numberText(g.Aggregate(flexSTAverage, r, 1, r, 2)));
    for (int c = 1; c <= 3; ++c)
        g.Subtotal(flexSTAverage, -1, c, QString(), NoColor, NoColor, true, QStringLiteral("TOTAL"));
    ASSERT_EQ(g.Rows(), 5) << "one TOTAL row for all the columns";
    EXPECT_EQ(g.TextMatrix(4, 0), QStringLiteral("TOTAL"));
    EXPECT_EQ(g.TextMatrix(4, 1), QStringLiteral("2"));
    EXPECT_EQ(g.TextMatrix(4, 2), QStringLiteral("2"));
    EXPECT_EQ(g.TextMatrix(2, 3), QStringLiteral("1.5"));
    EXPECT_EQ(g.TextMatrix(4, 3), QStringLiteral("2.25"));
    EXPECT_THROW(g.Subtotal(flexSTSum, 4, 1), GridRangeError);
}

TEST(GridSort, SeveralColumnsWithPicturesAndSubtotalsStayPut)
{
    Grid g;
    fillSales(g);
    g.setTextMatrix(4, 2, QStringLiteral("9")); // "9" before "10" only as numbers
    g.SortByColumns({{1, flexSortGenericAscending}, {2, flexSortGenericDescending}});
    EXPECT_EQ(column(g, 1), (QStringList{"Apples", "Apples", "Apples", "Pears", "Pears", "Pears"}));
    EXPECT_EQ(column(g, 2), (QStringList{"10", "9", "5", "7", "3", "2"}));
    EXPECT_EQ(g.ColSortPicture(1), int(flexSortGenericAscending));
    EXPECT_EQ(g.ColSortPicture(2), int(flexSortGenericDescending));
    EXPECT_EQ(g.ColSortPicture(0), int(flexSortNone));
    EXPECT_TRUE(g.Cell(flexcpPicture, 0, 2).isValid());

    // The Sort property: columns Col..ColSel, one order.
    g.Select(1, 0, 1, 0);
    g.setSort(flexSortStringDescending);
    EXPECT_EQ(column(g, 0).first(), QStringLiteral("West"));

    // Subtotal rows are fences: rows sort within their groups.
    g.Subtotal(flexSTClear);
    fillSales(g);
    g.Subtotal(flexSTSum, 0, 2);
    g.Select(1, 2, 1, 2);
    g.setSort(flexSortNumericAscending);
    EXPECT_EQ(column(g, 2), (QStringList{"5", "7", "10", "22", "1", "2", "3", "6"}));
}

TEST(GridSort, HeaderClickRaisesBeforeSortAndAddsColumnsWithShift)
{
    Grid g;
    fillSales(g);
    g.setExplorerBar(flexExSortShow);
    g.resize(500, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QHeaderView *header = g.view()->horizontalHeader();
    auto clickHeader = [&](int col, Qt::KeyboardModifiers mods = {}) {
        const int x = header->sectionViewportPosition(col) + header->sectionSize(col) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, mods, QPoint(x, 5));
    };
    std::vector<std::pair<int, int>> seen;
    bool cancel = false;
    QObject::connect(&g, &Grid::BeforeSort, [&](int col, int &order) {
        seen.emplace_back(col, order);
        if (cancel)
            order = flexSortNone;
    });
    int afterSorts = 0;
    QObject::connect(&g, &Grid::AfterSort, [&] { ++afterSorts; });

    clickHeader(2);
    EXPECT_EQ(column(g, 2), (QStringList{"1", "2", "3", "5", "7", "10"}));
    clickHeader(2);
    EXPECT_EQ(column(g, 2).first(), QStringLiteral("10")) << "a second click sorts descending";
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], std::make_pair(2, int(flexSortGenericDescending)));

    clickHeader(0);
    clickHeader(1, Qt::ShiftModifier); // Region, then Product
    EXPECT_EQ(g.ColSortPicture(0), int(flexSortGenericAscending));
    EXPECT_EQ(g.ColSortPicture(1), int(flexSortGenericAscending));
    EXPECT_EQ(g.ColSortPicture(2), int(flexSortNone));
    EXPECT_EQ(column(g, 0), (QStringList{"East", "East", "East", "West", "West", "West"}));
    EXPECT_EQ(column(g, 1), (QStringList{"Apples", "Apples", "Pears", "Apples", "Pears", "Pears"}));

    cancel = true;
    const QStringList before = column(g, 2);
    clickHeader(2);
    EXPECT_EQ(column(g, 2), before) << "order 0 cancels the grid's sort";
    EXPECT_EQ(afterSorts, 4);
}

TEST(GridMerge, RestrictedColumnsMergeOnlyInsideTheirGroup)
{
    Grid g;
    fillSales(g);
    g.setMergeCells(flexMergeRestrictColumns);
    g.setMergeCol(0, true);
    g.setMergeCol(1, true);
    GridModel &m = *g.model();
    EXPECT_TRUE(m.mergesWithAbove(2, 0));   // East / East
    EXPECT_TRUE(m.mergesWithAbove(2, 1));   // Apples / Apples inside East
    EXPECT_FALSE(m.mergesWithAbove(4, 0));  // East / West
    EXPECT_FALSE(m.mergesWithAbove(4, 1)) << "Apples of West does not merge with Pears of East";
    EXPECT_FALSE(m.mergesWithAbove(1, 0)) << "never into the header";
    g.setTextMatrix(4, 1, QStringLiteral("Pears"));
    EXPECT_FALSE(m.mergesWithAbove(4, 1)) << "same product, other region: restricted";
    g.setMergeCells(flexMergeFree);
    EXPECT_TRUE(m.mergesWithAbove(4, 1));
    g.Subtotal(flexSTSum, 0, 2);
    EXPECT_FALSE(m.mergesWithAbove(4, 0)) << "a subtotal row never merges with data";

    // The cross-tab caption: row 0 merges across its equal cells.
    g.setMergeRow(0, true);
    for (int c = 0; c < 3; ++c)
        g.setTextMatrix(0, c, QStringLiteral("Sum of Amount"));
    EXPECT_TRUE(m.mergesWithLeft(0, 1));
    EXPECT_TRUE(m.mergesWithLeft(0, 2));
    EXPECT_FALSE(m.mergesWithLeft(1, 1)) << "data rows without MergeRow";
    g.setMergeCells(flexMergeNever);
    EXPECT_FALSE(m.mergesWithLeft(0, 1));
}

TEST(GridSize, AutoSizeFitsTextSkipsMergedCaptionsAndSamplesLargeGrids)
{
    Grid g;
    g.setCols(3);
    g.setRows(101);
    g.setTextMatrix(0, 0, QStringLiteral("Id"));
    g.setTextMatrix(1, 0, QStringLiteral("a much longer text than the header"));
    g.AutoSize(0);
    const int fitted = g.ColWidth(0);
    const QFontMetrics fm(g.font());
    EXPECT_GE(g.view()->columnWidth(0), fm.horizontalAdvance(QStringLiteral("a much longer text than the header")));
    g.AutoSize(0, 0, false, 300);
    EXPECT_NEAR(g.ColWidth(0), fitted + 300, 20);

    // A caption merged over columns 1 and 2 is not the width of either.
    g.setMergeCells(flexMergeFree);
    g.setMergeRow(0, true);
    g.setTextMatrix(0, 1, QStringLiteral("A caption across the whole cross-tab"));
    g.setTextMatrix(0, 2, QStringLiteral("A caption across the whole cross-tab"));
    g.setTextMatrix(1, 1, QStringLiteral("1"));
    g.AutoSize(1, 2);
    EXPECT_LT(g.view()->columnWidth(1), fm.horizontalAdvance(QStringLiteral("A caption across")));

    // Sampling: the first and last rows are measured, the middle of a large grid is not.
    g.setAutoSizeSampleRows(10);
    g.setTextMatrix(1, 0, QString());
    g.setTextMatrix(50, 0, QStringLiteral("long text in the middle of the grid"));
    g.AutoSize(0);
    EXPECT_LT(g.view()->columnWidth(0), fm.horizontalAdvance(QStringLiteral("long text in the middle")));
    g.setTextMatrix(100, 0, QStringLiteral("long text in the last row of the grid"));
    g.AutoSize(0);
    EXPECT_GE(g.view()->columnWidth(0), fm.horizontalAdvance(QStringLiteral("long text in the last row of the grid")));
}

TEST(GridLook, RedrawColoursWallpaperAndFind)
{
    Grid g;
    g.setCols(2);
    g.setRows(5);
    g.setRedraw(0);
    for (int r = 1; r < 5; ++r)
        g.setTextMatrix(r, 0, QStringLiteral("item %1").arg(r));
    g.setRedraw(1);
    EXPECT_EQ(g.TextMatrix(4, 0), QStringLiteral("item 4")) << "nothing is lost while drawing is off";

    g.setBackColorAlternate(0x00E0E0E0);
    g.setCell(flexcpForeColor, 2, 0, 2, 1, QVariant(0x000000FF));
    EXPECT_EQ(g.Cell(flexcpForeColor, 2, 1).toUInt(), 0x000000FFu);
    EXPECT_EQ(g.Cell(flexcpForeColor, 3, 1).toUInt(), g.ForeColor());
    EXPECT_THROW(g.setGridLines(14), GridArgumentError);
    g.setGridLines(flexGridExcel);

    QPixmap wall(8, 8);
    wall.fill(Qt::red);
    g.setWallPaper(wall);
    EXPECT_THROW(g.LoadWallPaper(QStringLiteral("/nonexistent/picture.jpg")), GridError);
    EXPECT_FALSE(g.WallPaper().isNull()) << "a failed load keeps the picture";
    g.LoadWallPaper(QString());
    EXPECT_TRUE(g.WallPaper().isNull());

    // Find never lands on a hidden row.
    g.setRowHidden(2, true);
    EXPECT_EQ(g.FindRow(QStringLiteral("ITEM 2")), -1);
    EXPECT_EQ(g.FindRow(QStringLiteral("item"), 2, 0, false, false), 3);
    EXPECT_EQ(g.FindRow(QStringLiteral("Item 3"), -1, 0, true), -1) << "case-sensitive";
    g.setColHidden(0, true);
    EXPECT_EQ(g.FindRow(QStringLiteral("item 3")), -1) << "nor in a hidden column";
    g.setColHidden(0, false);

    // Painting every cell kind does not throw out of the paint.
    g.setColDataType(1, flexDTBoolean);
    g.setColSortPicture(0, flexSortGenericDescending);
    g.resize(300, 200);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QPixmap shot = g.grab();
    EXPECT_FALSE(shot.isNull());
}
