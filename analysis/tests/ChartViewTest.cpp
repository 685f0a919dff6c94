// The chart view: its data grid against a GROUP BY computed apart on SQLite and PostgreSQL, the
// layouts of one and two group columns, legend totals, sorting, the legend limit, a result too
// large to draw, Escape, a refused statement, the sliders, keys and mouse on the chart, copying
// and mailing its picture.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "views/Aggregates.h"
#include "views/ChartGrid.h"

#include "chart/ChartView.h"
#include "db/Recordset.h"
#include "grid/GridFormat.h"
#include "mail/MailSender.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QImageReader>
#include <QMap>
#include <QPlainTextEdit>
#include <QSlider>
#include <QtTest/QTest>

#include <stdexcept>

using namespace tabtest;
namespace agg = analysis::aggregates;
namespace cv = analysis::chartview;

namespace {

// The rows of a statement as (first, second) -> value, the way the chart labels them.
QMap<QPair<QString, QString>, double> groupedApart(const std::shared_ptr<db::Connection> &c, const QString &sql)
{
    auto rs = db::Recordset::create();
    rs->Open(sql, c);
    rs->fetchAll();
    QMap<QPair<QString, QString>, double> out;
    const int n = rs->FieldCount();
    for (std::size_t i = 0; i < rs->fetchedCount(); ++i) {
        auto label = [&](int col) { return rs->isNull(i, col) ? QStringLiteral(" ") : rs->displayText(i, col); };
        out.insert({label(0), n == 3 ? label(1) : QString()}, rs->isNull(i, n - 1) ? 0.0 : rs->value(i, n - 1).toDouble());
    }
    return out;
}

class ChartFigures : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        chart::ChartView::setOpenGLAllowed(false);
        if (ScratchDatabase::postgres(QLatin1String(GetParam()))) {
            TABULON_REQUIRE_POSTGRES();
        }
        m_db = std::make_unique<ScratchDatabase>(QLatin1String(GetParam()), "t_chart");
        const QString table = m_db->prefix() + QStringLiteral("sales");
        m_db->admin().Execute(
            QStringLiteral("CREATE TABLE %1 (region varchar(20), yr integer, amount numeric(10,2))").arg(table));
        // Keys that differ only in case, a Null key, a Null amount, a pair that never occurs.
        m_db->admin().Execute(QStringLiteral("INSERT INTO %1 VALUES ('North', 2020, 10.50), ('North', 2021, 1200.25),"
                                             " ('north', 2021, 3.00), ('South', 2021, 5.00), ('South', 2022, 750.00),"
                                             " ('South', 2022, 400.10), (NULL, 2020, 2.50), ('West', 2022, NULL),"
                                             " ('West', 2020, 1.25)")
                                  .arg(table));
        m_table = table;
        m_connection = m_db->connect();
        open(QStringLiteral("SELECT region AS \"Region\", yr AS \"Year\", amount AS \"Amount\" FROM %1 ORDER BY amount")
                 .arg(table));
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
        tab.reset();
        m_db.reset();
        chart::ChartView::setOpenGLAllowed(true);
        QLocale::setDefault(QLocale::c());
    }

    void open(const QString &statement)
    {
        if (tab)
            tab->UnloadFlter();
        tab = std::make_unique<ChartTabulon>();
        ASSERT_NO_FATAL_FAILURE(openView(*tab, m_connection, statement, hlTabulon::tbViewChart));
    }

    // Every point of the chart against the same grouping computed apart; a pair the result lacks
    // is an empty point.
    void expectMatches(const QMap<QPair<QString, QString>, double> &expected, bool two)
    {
        chart::ChartData &d = tab->data();
        int set = 0;
        for (int c = 1; c <= d.ColumnCount(); ++c) {
            for (int r = 1; r <= d.RowCount(); ++r) {
                const QPair<QString, QString> key{d.columnLabel(c), two ? d.rowLabel(r) : QString()};
                const std::optional<double> v = d.value(r, c);
                if (!expected.contains(key)) {
                    EXPECT_FALSE(v.has_value()) << key.first << "/" << key.second;
                    continue;
                }
                ASSERT_TRUE(v.has_value()) << key.first << "/" << key.second;
                EXPECT_NEAR(*v, expected.value(key), 1e-9) << key.first << "/" << key.second;
                ++set;
            }
        }
        EXPECT_EQ(set, expected.size());
    }

    std::unique_ptr<ChartTabulon> tab;
    std::shared_ptr<db::Connection> m_connection;
    std::unique_ptr<ScratchDatabase> m_db;
    QString m_table;
};

} // namespace

TEST_P(ChartFigures, EveryPointIsTheDatabasesOwnGroupingWithOneAndTwoGroupColumns)
{
    // One group column, Count: one row labelled "", a column a group in the statement's order.
    tab->pick(0, QStringLiteral("Region"));
    ASSERT_TRUE(tab->Refresh());
    chart::ChartData &d = tab->data();
    ASSERT_EQ(d.RowCount(), 1);
    EXPECT_EQ(d.rowLabel(1), QString());
    EXPECT_FALSE(d.DataSeriesInRow());
    EXPECT_EQ(d.ColumnCount(), 5) << "North and north stay apart, the Null key is one more";
    expectMatches(groupedApart(m_connection, QStringLiteral("SELECT region, COUNT(*) FROM %1 GROUP BY region").arg(m_table)),
                  false);
    EXPECT_TRUE(tab->chChart->isVisible());
    EXPECT_EQ(tab->chChart->TitleText(), QStringLiteral("Count by Region"));
    EXPECT_EQ(tab->chChart->AxisTitle(chart::AxisDepth), QStringLiteral("Region"));
    EXPECT_EQ(tab->txtChartSQL->toPlainText().left(7), QStringLiteral("SELECT "));
    EXPECT_TRUE(tab->tlbMain->Buttons(QStringLiteral("Print")).Enabled());
    EXPECT_EQ(analysis::options().ChartTitle, QStringLiteral("Count by Region"));

    // Two group columns, Sum: columns are regions, rows years in the order first met, and the
    // pairs that never occur stay empty. A Null amount counts as nothing.
    tab->pick(1, QStringLiteral("Year"));
    tab->pick(3, QStringLiteral("Sum of --->>>"));
    tab->pick(4, QStringLiteral("Amount"));
    ASSERT_TRUE(tab->Refresh());
    EXPECT_TRUE(d.DataSeriesInRow());
    EXPECT_EQ(d.ColumnCount(), 5);
    EXPECT_EQ(d.RowCount(), 3);
    expectMatches(groupedApart(m_connection,
                               QStringLiteral("SELECT region, yr, COALESCE(SUM(amount), 0) FROM %1 GROUP BY region, yr")
                                   .arg(m_table)),
                  true);
    EXPECT_EQ(tab->chChart->TitleText(), QStringLiteral("Sum of Amount by Region\\Year"));
    EXPECT_EQ(tab->chChart->AxisTitle(chart::AxisValue), QStringLiteral("Sum of Amount"));
    EXPECT_EQ(tab->chChart->AxisTitle(chart::AxisCategory), QStringLiteral("Region"));
    EXPECT_EQ(tab->chChart->AxisTitle(chart::AxisDepth), QStringLiteral("Year"));
    EXPECT_TRUE(events.empty());
}

TEST_P(ChartFigures, LegendTotalsSharesAndSorting)
{
    analysis::options().ChartLegendValues = true;
    tab->pick(0, QStringLiteral("Region"));
    tab->pick(3, QStringLiteral("<% of Total>"));
    ASSERT_TRUE(tab->Refresh());
    chart::ChartData &d = tab->data();
    // 9 rows: South has 3 of them.
    int south = 0;
    for (int c = 1; c <= d.ColumnCount(); ++c)
        if (d.columnLabel(c).startsWith(QStringLiteral("South")))
            south = c;
    ASSERT_GT(south, 0);
    EXPECT_EQ(d.columnLabel(south), QStringLiteral("South (33.33%)"));
    EXPECT_DOUBLE_EQ(*d.value(1, south), 33.33);

    // Averages on the legend are each year's own average over its rows, as the database gives it.
    tab->pick(1, QStringLiteral("Year"));
    tab->pick(3, QStringLiteral("Avg. of --->>>"));
    tab->pick(4, QStringLiteral("Amount"));
    analysis::options().ChartLegendValues = true;
    ASSERT_TRUE(tab->Refresh());
    const auto yearly = groupedApart(m_connection, QStringLiteral("SELECT yr, AVG(amount) FROM %1 GROUP BY yr").arg(m_table));
    ASSERT_EQ(d.RowCount(), yearly.size());
    for (int r = 1; r <= d.RowCount(); ++r) {
        const QString label = d.rowLabel(r);
        const QString year = label.left(label.indexOf(QLatin1Char(' ')));
        EXPECT_EQ(label, year + QStringLiteral(" (") +
                             grid::format::formatNumber(yearly.value({year, QString()}), QStringLiteral("#,###")) + u')');
    }
    tab->pick(1, QStringLiteral("<none>"));

    // Sorted by value both ways; equal values keep the statement's order (which orders Nulls and
    // case as each database does).
    analysis::options().ChartLegendValues = false;
    tab->pick(3, QStringLiteral("<Count>"));
    auto points = [&] {
        std::vector<std::pair<QString, double>> out;
        for (int c = 1; c <= d.ColumnCount(); ++c)
            out.emplace_back(d.columnLabel(c), *d.value(1, c));
        return out;
    };
    ASSERT_TRUE(tab->Refresh());
    const auto unsorted = points();
    ASSERT_EQ(unsorted.size(), 5u);
    for (const bool descending : {false, true}) {
        analysis::options().ChartSortCols = true;
        analysis::options().ChartSortDesc = descending;
        ASSERT_TRUE(tab->Refresh());
        auto expected = unsorted;
        std::stable_sort(expected.begin(), expected.end(), [&](const auto &a, const auto &b) {
            return descending ? a.second > b.second : a.second < b.second;
        });
        EXPECT_EQ(points(), expected) << (descending ? "descending" : "ascending");
    }
    EXPECT_EQ(d.columnLabel(1), QStringLiteral("South"));

    // Two group columns keep the order of their groups.
    tab->pick(1, QStringLiteral("Year"));
    ASSERT_TRUE(tab->Refresh());
    for (int c = 1; c <= d.ColumnCount(); ++c)
        EXPECT_EQ(d.columnLabel(c), unsorted[std::size_t(c - 1)].first);
}

INSTANTIATE_TEST_SUITE_P(Databases, ChartFigures,
                         ::testing::Values("SQLite", "PostgreSQL", "ODBC SQLite", "ODBC PostgreSQL"));

TEST(ChartGrid, LayoutsOfOneAndTwoGroupColumns)
{
    chart::ChartData d;
    {
        cv::ChartGridFiller fill(d, true);
        fill.add(QStringLiteral("A"), QStringLiteral("x"), 1);
        fill.add(QStringLiteral("A"), QStringLiteral("y"), 2);
        fill.add(QStringLiteral("B"), QStringLiteral("y"), 3);
        fill.add(QStringLiteral("B"), QStringLiteral("z"), 4);
    }
    ASSERT_EQ(d.ColumnCount(), 2);
    ASSERT_EQ(d.RowCount(), 3);
    EXPECT_EQ(d.columnLabel(1), QStringLiteral("A"));
    EXPECT_EQ(d.columnLabel(2), QStringLiteral("B"));
    EXPECT_EQ(d.rowLabel(1), QStringLiteral("x"));
    EXPECT_EQ(d.rowLabel(2), QStringLiteral("y"));
    EXPECT_EQ(d.rowLabel(3), QStringLiteral("z"));
    EXPECT_EQ(d.value(1, 1), 1.0);
    EXPECT_EQ(d.value(2, 1), 2.0);
    EXPECT_EQ(d.value(2, 2), 3.0);
    EXPECT_EQ(d.value(3, 2), 4.0);
    EXPECT_FALSE(d.value(1, 2).has_value());
    EXPECT_FALSE(d.value(3, 1).has_value());
    EXPECT_TRUE(d.DataSeriesInRow());

    // A new fill starts from nothing.
    cv::ChartGridFiller one(d, false);
    for (int i = 0; i < 5; ++i)
        one.add(QStringLiteral("g%1").arg(i), {}, i);
    EXPECT_EQ(d.RowCount(), 1);
    EXPECT_EQ(d.ColumnCount(), 5);
    EXPECT_EQ(d.columnLabel(5), QStringLiteral("g4"));
    EXPECT_FALSE(d.DataSeriesInRow());
}

TEST(ChartGrid, LegendTotalsAndTitles)
{
    chart::ChartData d;
    {
        cv::ChartGridFiller fill(d, false);
        fill.add(QStringLiteral("North"), {}, 3);
        fill.add(QStringLiteral("South"), {}, 1200);
        fill.add(QStringLiteral("East"), {}, 0);
    }
    cv::labelSeries(d, agg::fnCount, true, false, 1203);
    EXPECT_EQ(d.columnLabel(1), QStringLiteral("North (3)"));
    EXPECT_EQ(d.columnLabel(2), QStringLiteral("South (1,200)"));
    EXPECT_EQ(d.columnLabel(3), QStringLiteral("East ()"));

    {
        cv::ChartGridFiller fill(d, false);
        fill.add(QStringLiteral("a"), {}, 1);
        fill.add(QStringLiteral("b"), {}, 3);
    }
    cv::labelSeries(d, agg::fnPercent, false, false, 4);
    EXPECT_EQ(d.columnLabel(1), QStringLiteral("a")) << "no legend values asked for";
    EXPECT_EQ(d.value(1, 1), 25.0);
    EXPECT_EQ(d.value(1, 2), 75.0);
    {
        cv::ChartGridFiller fill(d, false);
        fill.add(QStringLiteral("a"), {}, 1);
        fill.add(QStringLiteral("b"), {}, 3);
    }
    cv::labelSeries(d, agg::fnPercent, true, false, 4);
    EXPECT_EQ(d.columnLabel(2), QStringLiteral("b (75.00%)"));
    // Nothing to share: no division by zero, every share 0.
    cv::labelSeries(d, agg::fnPercent, false, false, 0);
    EXPECT_EQ(d.value(1, 1), 0.0);

    // Money on rows of series.
    {
        cv::ChartGridFiller fill(d, true);
        fill.add(QStringLiteral("A"), QStringLiteral("x"), 1234.5);
        fill.add(QStringLiteral("B"), QStringLiteral("x"), 0.25);
    }
    cv::labelSeries(d, agg::fnSum, true, true, 1234.75);
    EXPECT_EQ(d.rowLabel(1), QStringLiteral("x (\u00a31,234.75)"));
    EXPECT_EQ(d.columnLabel(1), QStringLiteral("A"));

    // A series of minimums, maximums or averages is totalled by the same function, never summed.
    auto twoByTwo = [&] {
        cv::ChartGridFiller fill(d, true);
        fill.add(QStringLiteral("A"), QStringLiteral("x"), 10);
        fill.add(QStringLiteral("A"), QStringLiteral("y"), 4);
        fill.add(QStringLiteral("B"), QStringLiteral("x"), 30);
    };
    twoByTwo();
    cv::labelSeries(d, agg::fnMin, true, false, 44);
    EXPECT_EQ(d.rowLabel(1), QStringLiteral("x (10)"));
    twoByTwo();
    cv::labelSeries(d, agg::fnMax, true, false, 44);
    EXPECT_EQ(d.rowLabel(1), QStringLiteral("x (30)"));
    EXPECT_EQ(d.rowLabel(2), QStringLiteral("y (4)"));
    twoByTwo();
    // x: A averages 10 over 1 row, B 30 over 3 rows: 100 / 4 = 25, not 20 nor 40.
    cv::labelSeries(d, agg::fnAvg, true, false, 44, {{QStringLiteral("x"), {100.0, 4.0}}, {QStringLiteral("y"), {8.0, 2.0}}});
    EXPECT_EQ(d.rowLabel(1), QStringLiteral("x (25)"));
    EXPECT_EQ(d.rowLabel(2), QStringLiteral("y (4)"));

    const cv::Titles one = cv::titles(agg::fnAvg, QStringLiteral("Amount"), QStringLiteral("Region"), {});
    EXPECT_EQ(one.chart, QStringLiteral("Avg of Amount by Region"));
    EXPECT_EQ(one.depthAxis, QStringLiteral("Region"));
    EXPECT_EQ(one.categoryAxis, QString());
    EXPECT_EQ(cv::titles(agg::fnPercent, QStringLiteral("Amount"), QStringLiteral("R"), QStringLiteral("Y")).chart,
              QStringLiteral("% Total by R\\Y"));
    // A function the lists do not offer is refused, not drawn as the nearest one.
    EXPECT_THROW(cv::titles(agg::fnMax + 1, QStringLiteral("Amount"), QStringLiteral("R"), {}), std::invalid_argument);
    EXPECT_THROW(cv::labelSeries(d, -1, true, false, 44), std::invalid_argument);
}
