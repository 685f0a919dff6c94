#include "chart/ChartData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <set>

using chart::ChartData;

namespace {

// Fills the grid the way the chart view does for two group columns: a new column for each run
// of equal first values, the row of the second value found or added.
ChartData twoGroups(const std::vector<std::tuple<QString, QString, QString>> &rows)
{
    ChartData d;
    for (const auto &[first, second, aggregate] : rows) {
        if (d.ColumnCount() == 0 || d.ColumnLabel() != first) {
            d.setColumnCount(d.ColumnCount() + 1);
            d.setColumn(d.ColumnCount());
            d.setColumnLabel(first);
            if (d.RowCount() > 0)
                d.setRow(1);
        }
        if (d.RowCount() == 0 || d.RowLabel() != second) {
            bool found = false;
            for (int r = 1; r <= d.RowCount() && !found; ++r) {
                d.setRow(r);
                found = d.RowLabel() == second;
            }
            if (!found) {
                d.setRowCount(d.RowCount() + 1);
                d.setRow(d.RowCount());
            }
        }
        d.setRowLabel(second);
        d.setData(aggregate);
    }
    d.setDataSeriesInRow(true);
    return d;
}

QStringList columnLabels(const ChartData &d)
{
    QStringList out;
    for (int c = 1; c <= d.ColumnCount(); ++c)
        out << d.columnLabel(c);
    return out;
}

std::vector<double> rowValues(const ChartData &d, int row)
{
    std::vector<double> out;
    for (int c = 1; c <= d.ColumnCount(); ++c)
        out.push_back(d.value(row, c).value_or(-1));
    return out;
}

ChartData oneGroup(const QStringList &labels, const std::vector<double> &values)
{
    ChartData d;
    d.setRowCount(1);
    d.setRow(1);
    d.setColumnCount(int(labels.size()));
    d.setRowLabel("");
    for (int i = 0; i < labels.size(); ++i) {
        d.setColumn(i + 1);
        d.setData(ChartData::numberText(values[i]));
        d.setColumnLabel(labels[i]);
    }
    return d;
}

} // namespace

TEST(ChartData, OneGroupColumnIsOneRowWithASeriesPerColumn)
{
    const ChartData d = oneGroup({"North", "South", "East", "West", " "}, {3, 1200, 0, 7.5, 2});
    EXPECT_EQ(d.RowCount(), 1);
    EXPECT_EQ(d.ColumnCount(), 5);
    EXPECT_FALSE(d.DataSeriesInRow());
    ASSERT_EQ(d.seriesCount(), 5);
    EXPECT_EQ(d.pointCount(), 1);
    EXPECT_EQ(d.seriesLabel(2), "South");
    EXPECT_EQ(d.seriesLabel(5), " ");
    EXPECT_EQ(d.pointLabel(1), "");
    EXPECT_EQ(d.seriesValue(4, 1), 7.5);
    EXPECT_EQ(d.seriesTotal(2), 1200);
    EXPECT_EQ(d.rowOf(3, 1), 1);
    EXPECT_EQ(d.columnOf(3, 1), 3);
}

TEST(ChartData, TwoGroupColumnsPivotSecondValuesIntoRowsAndLeaveMissingPairsEmpty)
{
    const ChartData d = twoGroups({{"A", "x", "1"}, {"A", "y", "2"}, {"B", "y", "3"}, {"B", "z", "4"}});
    EXPECT_EQ(columnLabels(d), (QStringList{"A", "B"}));
    ASSERT_EQ(d.RowCount(), 3);
    EXPECT_EQ(d.rowLabel(1), "x");
    EXPECT_EQ(d.rowLabel(2), "y");
    EXPECT_EQ(d.rowLabel(3), "z");
    EXPECT_EQ(d.value(1, 1), 1.0);
    EXPECT_EQ(d.value(2, 1), 2.0);
    EXPECT_EQ(d.value(2, 2), 3.0);
    EXPECT_EQ(d.value(3, 2), 4.0);
    EXPECT_FALSE(d.value(1, 2).has_value());
    EXPECT_FALSE(d.value(3, 1).has_value());

    // Series are the rows now: y runs across A and B; an empty point adds nothing to a total.
    ASSERT_EQ(d.seriesCount(), 3);
    EXPECT_EQ(d.pointCount(), 2);
    EXPECT_EQ(d.seriesLabel(2), "y");
    EXPECT_EQ(d.pointLabel(2), "B");
    EXPECT_EQ(d.seriesTotal(2), 5);
    EXPECT_EQ(d.seriesTotal(1), 1);
    EXPECT_FALSE(d.seriesValue(3, 1).has_value());

    const auto grid = d.ChartDataArray();
    ASSERT_EQ(grid.size(), 4u);
    ASSERT_EQ(grid[0].size(), 3u);
    EXPECT_EQ(grid[0][1].toString(), "A");
    EXPECT_EQ(grid[3][0].toString(), "z");
    EXPECT_EQ(grid[3][2].toDouble(), 4.0);
    EXPECT_TRUE(grid[3][1].isNull());
}

TEST(ChartData, KeysDifferingInCaseOrBlanksStaySeparate)
{
    const ChartData d = twoGroups({{"a", "x", "1"}, {"A", "x", "2"}, {"A ", "X", "3"}, {"A ", "x ", "4"}});
    EXPECT_EQ(columnLabels(d), (QStringList{"a", "A", "A "}));
    EXPECT_EQ(d.RowCount(), 3);
    EXPECT_EQ(d.value(2, 3), 3.0);
    EXPECT_EQ(d.value(3, 3), 4.0);
}

TEST(ChartData, DataReadsTheNumberAtTheStartOfTheText)
{
    EXPECT_EQ(ChartData::leadingNumber("12.5 kg"), 12.5);
    EXPECT_EQ(ChartData::leadingNumber("  -3e2x"), -300);
    EXPECT_EQ(ChartData::leadingNumber("+.5"), 0.5);
    EXPECT_EQ(ChartData::leadingNumber("7e"), 7);
    EXPECT_EQ(ChartData::leadingNumber("7e+"), 7);
    EXPECT_EQ(ChartData::leadingNumber("1,200"), 1);
    EXPECT_EQ(ChartData::leadingNumber("abc"), 0);
    EXPECT_EQ(ChartData::leadingNumber("-"), 0);
    EXPECT_EQ(ChartData::leadingNumber("."), 0);
    EXPECT_EQ(ChartData::leadingNumber(""), 0);
    EXPECT_EQ(ChartData::leadingNumber("nan"), 0);
    EXPECT_EQ(ChartData::leadingNumber("1e999"), std::numeric_limits<double>::max());
    EXPECT_EQ(ChartData::leadingNumber("-1e999"), -std::numeric_limits<double>::max());
    EXPECT_EQ(ChartData::leadingNumber("1e-999"), 0);

    ChartData d;
    d.setRowCount(1);
    d.setColumnCount(1);
    EXPECT_EQ(d.Row(), 1);
    EXPECT_EQ(d.Column(), 1);
    EXPECT_EQ(d.Data(), "") << "a new point is empty";
    d.setData("");
    EXPECT_EQ(d.Data(), "0") << "text without a number sets the point to 0";
    for (const char *text : {"0.1", "1200", "-2.5", "123456789012345", "1e+300"}) {
        d.setData(text);
        EXPECT_EQ(ChartData::leadingNumber(d.Data()), ChartData::leadingNumber(text)) << text;
    }
    d.setData("0.1");
    EXPECT_EQ(d.Data(), "0.1");
    d.setData("1200");
    EXPECT_EQ(d.Data(), "1200");
}

TEST(ChartData, CountsAboveSixteenBitsAreHeldWithoutWrapping)
{
    ChartData d;
    d.setRowCount(1);
    d.setColumnCount(40000);
    EXPECT_EQ(d.ColumnCount(), 40000);
    d.setColumn(40000);
    d.setColumnLabel("last");
    d.setData("5");
    d.setColumn(32768);
    d.setData("6");
    EXPECT_EQ(d.columnLabel(40000), "last");
    EXPECT_EQ(d.value(1, 40000), 5.0);
    EXPECT_EQ(d.value(1, 32768), 6.0);
    EXPECT_FALSE(d.value(1, 32767).has_value());

    d.setRowCount(70000);
    d.setRow(70000);
    d.setRowLabel("bottom");
    d.setValue(70000, 1, 9);
    EXPECT_EQ(d.RowCount(), 70000);
    EXPECT_EQ(d.rowLabel(70000), "bottom");
    EXPECT_EQ(d.value(70000, 1), 9.0);
    d.setDataSeriesInRow(true);
    EXPECT_EQ(d.seriesCount(), 70000);
    EXPECT_EQ(d.pointCount(), 40000);
}

TEST(ChartData, ShrinkingDropsPointsAndLabelsAndKeepsTheCurrentPointValid)
{
    ChartData d;
    d.setRowCount(3);
    d.setColumnCount(3);
    d.setRow(3);
    d.setColumn(3);
    d.setRowLabel("r3");
    d.setColumnLabel("c3");
    d.setData("9");
    d.setRowCount(2);
    d.setColumnCount(2);
    EXPECT_EQ(d.Row(), 2);
    EXPECT_EQ(d.Column(), 2);
    d.setRowCount(3);
    d.setColumnCount(3);
    EXPECT_FALSE(d.value(3, 3).has_value());
    EXPECT_EQ(d.rowLabel(3), "");
    EXPECT_EQ(d.columnLabel(3), "");

    d.setRowCount(0);
    EXPECT_EQ(d.Row(), 0);
    EXPECT_THROW(d.Data(), std::out_of_range);
    EXPECT_EQ(d.seriesCount(), 3);
    EXPECT_EQ(d.pointCount(), 0);
    EXPECT_EQ(d.seriesTotal(1), 0);
}

TEST(ChartData, BadIndexesAndCountsAreRefusedAndChangeNothing)
{
    ChartData d;
    d.setRowCount(2);
    d.setColumnCount(2);
    const auto before = d.revision();
    EXPECT_THROW(d.setRow(0), std::out_of_range);
    EXPECT_THROW(d.setRow(3), std::out_of_range);
    EXPECT_THROW(d.setColumn(3), std::out_of_range);
    EXPECT_THROW(d.setValue(1, 3, 1), std::out_of_range);
    EXPECT_THROW(d.rowLabel(-1), std::out_of_range);
    EXPECT_THROW(d.setRowCount(-1), std::invalid_argument);
    EXPECT_THROW(d.setColumnCount(-5), std::invalid_argument);
    EXPECT_EQ(d.RowCount(), 2);
    EXPECT_EQ(d.ColumnCount(), 2);
    EXPECT_EQ(d.revision(), before);
}

TEST(ChartData, SortMovesValuesWithTheirLabelsBothWays)
{
    ChartData d = oneGroup({"a", "b", "c"}, {5, 2, 9});
    EXPECT_TRUE(d.sortColumns(1, false));
    EXPECT_EQ(columnLabels(d), (QStringList{"b", "a", "c"}));
    EXPECT_EQ(rowValues(d, 1), (std::vector<double>{2, 5, 9}));
    EXPECT_TRUE(d.sortColumns(1, true));
    EXPECT_EQ(columnLabels(d), (QStringList{"c", "a", "b"}));
    EXPECT_EQ(rowValues(d, 1), (std::vector<double>{9, 5, 2}));

    // An empty point sorts as 0; negatives before it.
    ChartData e = oneGroup({"p", "q", "r"}, {3, 0, -1});
    e.clearValue(1, 2);
    e.sortColumns(1, false);
    EXPECT_EQ(columnLabels(e), (QStringList{"r", "q", "p"}));
    EXPECT_FALSE(e.value(1, 2).has_value()) << "the empty point moved as empty";
}

TEST(ChartData, SortKeepsEqualValuesInTheirOrder)
{
    QStringList labels;
    std::vector<double> values;
    for (int i = 0; i < 1001; ++i) {
        labels << QString::number(i);
        values.push_back(i % 3);
    }
    for (bool descending : {false, true}) {
        ChartData d = oneGroup(labels, values);
        ASSERT_TRUE(d.sortColumns(1, descending));
        for (int c = 2; c <= d.ColumnCount(); ++c) {
            const double prev = *d.value(1, c - 1), cur = *d.value(1, c);
            ASSERT_TRUE(descending ? prev >= cur : prev <= cur) << c;
            if (prev == cur) {
                ASSERT_LT(d.columnLabel(c - 1).toInt(), d.columnLabel(c).toInt())
                    << "equal values changed order at column " << c;
            }
        }
    }
}

TEST(ChartData, StoppedSortLeavesEveryColumnExactlyOnce)
{
    QStringList labels;
    std::vector<double> values;
    for (int i = 0; i < 5000; ++i) {
        labels << QString::number(i);
        values.push_back((i * 7919) % 5000);
    }
    ChartData d = oneGroup(labels, values);
    d.setColumn(17);
    int asked = 0;
    std::int64_t lastDone = 0, lastTotal = 0;
    const bool finished = d.sortColumns(1, false, [&](std::int64_t done, std::int64_t total) {
        lastDone = done;
        lastTotal = total;
        return ++asked < 5;
    });
    EXPECT_FALSE(finished);
    EXPECT_EQ(asked, 5);
    EXPECT_GT(lastDone, 0);
    EXPECT_LT(lastDone, lastTotal);
    EXPECT_EQ(d.ColumnCount(), 5000);
    EXPECT_EQ(d.Column(), 17);
    std::set<int> seen;
    for (int c = 1; c <= d.ColumnCount(); ++c) {
        const int original = d.columnLabel(c).toInt();
        EXPECT_TRUE(seen.insert(original).second) << "column " << original << " twice";
        EXPECT_EQ(*d.value(1, c), values[original]) << "value parted from its label";
    }
    EXPECT_EQ(seen.size(), 5000u);
}

TEST(ChartData, SortOfManyColumnsFinishesAndReportsProgressToTheEnd)
{
    QStringList labels;
    std::vector<double> values;
    for (int i = 0; i < 100000; ++i) {
        labels << QString();
        values.push_back(double((std::int64_t(i) * 104729) % 100003));
    }
    ChartData d = oneGroup(labels, values);
    std::int64_t lastDone = 0, lastTotal = 0;
    EXPECT_TRUE(d.sortColumns(1, true, [&](std::int64_t done, std::int64_t total) {
        lastDone = done;
        lastTotal = total;
        return true;
    }));
    EXPECT_EQ(lastDone, lastTotal);
    const std::vector<double> sorted = rowValues(d, 1);
    EXPECT_TRUE(std::is_sorted(sorted.rbegin(), sorted.rend()));
}

TEST(ChartData, SortWithTwoOrFewerColumnsOrOnARowOfASeriesInRowsGrid)
{
    ChartData one = oneGroup({"only"}, {1});
    EXPECT_TRUE(one.sortColumns(1, false));
    ChartData d = twoGroups({{"A", "x", "3"}, {"B", "x", "1"}, {"B", "y", "2"}});
    EXPECT_TRUE(d.sortColumns(2, false)) << "row 2 has A empty (0) and B 2";
    EXPECT_EQ(columnLabels(d), (QStringList{"A", "B"}));
    EXPECT_THROW(d.sortColumns(3, false), std::out_of_range);
}
