#pragma once

#include <QHash>
#include <QString>

#include <utility>

namespace chart {
class ChartData;
}

// What the chart view draws, worked out apart from the drawing: the chart's data grid filled from
// the aggregate rows, the series totals on the legend, and the titles.
namespace analysis::chartview {

// Fills a chart's data grid record by record, as the aggregate statement returns them (ordered by
// its group columns). With one group column: one row labelled "", one column per record, series
// in columns. With two: one column per run of equal first values, one row per distinct second
// value in the order first seen (found by a hash, not a search), series in rows; a pair that does
// not occur stays an empty point.
class ChartGridFiller {
public:
    // Empties the grid and lays out its series.
    ChartGridFiller(chart::ChartData &data, bool twoGroups);
    // Group values with a Null already written as " ", the aggregate with a Null as 0.
    void add(const QString &first, const QString &second, double value);

private:
    chart::ChartData &m_data;
    QHash<QString, int> m_rowOf;
    int m_currentRow = 0;
    bool m_twoGroups;
};

// Series totals on the legend ("North (1,200)") when legendValues is on; with "% of Total" the
// totals are shares of the grand total ("25.00%"), and with one group column the points become
// percentages too. `function` is an aggregates::Function; `currency` marks a value column holding
// money. A series' total joins its points as the summary's totals join groups; an average's is
// the series' own sum over its own count, given in averageParts by the series' label.
void labelSeries(chart::ChartData &data, int function, bool legendValues, bool currency,
                 double grandTotal,
                 const QHash<QString, std::pair<double, double>> &averageParts = {});

struct Titles {
    QString valueAxis;    // "Count", "% Total", "Sum of Amount", ...
    QString chart;        // "Sum of Amount by Region\Year"
    QString depthAxis;
    QString categoryAxis;
};
// `second` empty: one group column. Throws std::invalid_argument for an unknown function.
Titles titles(int function, const QString &valueColumn, const QString &first, const QString &second);

// The legend never lists more than this many columns, whichever way the series run.
inline constexpr int kLegendColumns = 100;

} // namespace analysis::chartview
