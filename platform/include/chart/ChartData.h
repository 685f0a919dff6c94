#pragma once

#include <tabulon/ChartExport.h>

#include <QString>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace chart {

// The chart's data grid: RowCount rows by ColumnCount columns of points, each row and column
// with a label, numbered from 1 as the program's code counts them. A point is either empty or
// holds a number. Counts are plain ints: tens of thousands of rows or columns are held as they
// are (drawing that many is the renderer's business, see ChartView::DrawLimit).
//
// Row and Column select the current point for Data, RowLabel and ColumnLabel, so code that
// fills the chart one point at a time reads as it always has; the indexed members do the same
// without moving the current point.
//
// Nothing here draws: ChartView owns one and draws it.
class CHART_EXPORT ChartData {
public:
    ChartData() = default;

    // Counts. Growing adds empty points and empty labels; shrinking drops what lies beyond.
    // A negative count throws std::invalid_argument. The current row or column is kept when it
    // still exists, else moved to the last one (0 when there is none).
    int RowCount() const { return m_rowCount; }
    void setRowCount(int rows);
    int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    void setColumnCount(int columns);

    // The current point. Setting one outside 1..count throws std::out_of_range.
    int Row() const { return m_row; }
    void setRow(int row);
    int Column() const { return m_column; }
    void setColumn(int column);

    // Labels of the current row and column (std::out_of_range when there is none).
    QString RowLabel() const;
    void setRowLabel(const QString &label);
    QString ColumnLabel() const;
    void setColumnLabel(const QString &label);

    // The current point's value as text: "" for an empty point, else the number written
    // shortest-exact in C locale ("1200", "0.1", "-2.5e-07"). Setting it reads the number at the
    // start of the text, as the program's code expects (leading blanks skipped; "12.5 kg" is
    // 12.5; text without a number, "" included, is 0), and the point is no longer empty.
    QString Data() const;
    void setData(const QString &text);

    // Indexed access, 1-based; std::out_of_range outside the counts.
    QString rowLabel(int row) const;
    void setRowLabel(int row, const QString &label);
    QString columnLabel(int column) const;
    void setColumnLabel(int column, const QString &label);
    std::optional<double> value(int row, int column) const; // empty point: nullopt
    void setValue(int row, int column, double value);
    void clearValue(int row, int column);

    // DataSeriesInRow: false (the default) makes each column a series whose points run down the
    // rows; true makes each row a series whose points run across the columns.
    bool DataSeriesInRow() const { return m_seriesInRows; }
    void setDataSeriesInRow(bool inRows);

    // The data as series, whichever way they run. Indexes are 1-based like the rest.
    int seriesCount() const;
    int pointCount() const; // points per series
    QString seriesLabel(int series) const;
    QString pointLabel(int point) const;
    std::optional<double> seriesValue(int series, int point) const;
    double seriesTotal(int series) const; // sum of the series' non-empty points
    // The point of a series as a row and column of the grid.
    int rowOf(int series, int point) const;
    int columnOf(int series, int point) const;

    // The whole grid as rows of values: row 0 holds "" and the column labels, column 0 of each
    // further row its row label; an empty point is a null QVariant, a set one a double.
    std::vector<std::vector<QVariant>> ChartDataArray() const;

    // Stable sort of the columns (labels and points move together) by their value in `row`; an
    // empty point counts as 0. O(n log n). keepGoing is asked between steps with the work done
    // and the work in all (for a progress bar and an Escape poll); returning false stops the sort
    // there, leaving the columns partly sorted but none lost or doubled. Returns true when the
    // sort finished. The current column stays at the same position.
    bool sortColumns(int row, bool descending,
                     const std::function<bool(std::int64_t done, std::int64_t total)> &keepGoing = {});

    // Empties everything: no rows, no columns, series in columns.
    void clear();

    // Changes with every edit; the view redraws when it differs from what it drew.
    std::uint64_t revision() const { return m_revision; }

    // The number at the start of a text, as setData reads it.
    static double leadingNumber(const QString &text);
    // A number as Data() writes it.
    static QString numberText(double value);

private:
    struct ColumnData {
        QString label;
        std::vector<double> values;     // by row - 1; may be shorter than the row count
        std::vector<std::uint8_t> isSet; // same length as values
    };
    void checkRow(int row, const char *member) const;
    void checkColumn(int column, const char *member) const;
    void touch() { ++m_revision; }

    int m_rowCount = 0;
    std::vector<QString> m_rowLabels;
    std::vector<ColumnData> m_columns;
    int m_row = 0;
    int m_column = 0;
    bool m_seriesInRows = false;
    std::uint64_t m_revision = 0;
};

} // namespace chart
