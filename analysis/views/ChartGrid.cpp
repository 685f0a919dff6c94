#include "views/ChartGrid.h"

#include "views/Aggregates.h"

#include "chart/ChartData.h"
#include "grid/GridFormat.h"

#include <algorithm>
#include <cmath>

namespace analysis::chartview {

ChartGridFiller::ChartGridFiller(chart::ChartData &data, bool twoGroups)
    : m_data(data), m_twoGroups(twoGroups)
{
    m_data.clear();
    m_data.setDataSeriesInRow(twoGroups);
    if (!twoGroups) {
        m_data.setRowCount(1);
        m_data.setRowLabel(1, QString());
    }
}

void ChartGridFiller::add(const QString &first, const QString &second, double value)
{
    chart::ChartData &d = m_data;
    if (!m_twoGroups) {
        const int column = d.ColumnCount() + 1;
        d.setColumnCount(column);
        d.setColumnLabel(column, first);
        d.setValue(1, column, value);
        return;
    }
    // The statement orders by the group columns, so each first value is one run, one column.
    if (d.ColumnCount() == 0 || d.columnLabel(d.ColumnCount()) != first) {
        d.setColumnCount(d.ColumnCount() + 1);
        d.setColumnLabel(d.ColumnCount(), first);
    }
    if (m_currentRow == 0 || d.rowLabel(m_currentRow) != second) {
        const auto found = m_rowOf.constFind(second);
        if (found != m_rowOf.constEnd()) {
            m_currentRow = *found;
        } else {
            m_currentRow = d.RowCount() + 1;
            d.setRowCount(m_currentRow);
            d.setRowLabel(m_currentRow, second);
            m_rowOf.insert(second, m_currentRow);
        }
    }
    d.setValue(m_currentRow, d.ColumnCount(), value);
}

void labelSeries(chart::ChartData &data, int function, bool legendValues, bool currency, double grandTotal,
                 const QHash<QString, std::pair<double, double>> &averageParts)
{
    namespace agg = analysis::aggregates;
    const agg::Aggregate &aggregate = agg::aggregate(function);
    const bool percent = function == agg::fnPercent;
    if (!percent && !legendValues)
        return;
    const bool inRows = data.DataSeriesInRow();
    for (int k = 1; k <= data.seriesCount(); ++k) {
        std::optional<double> joined;
        for (int p = 1; p <= data.pointCount(); ++p) {
            if (const std::optional<double> v = data.seriesValue(k, p))
                joined = agg::combine(function, joined, *v);
        }
        double sum = joined.value_or(0.0);
        if (aggregate.combine == agg::Combine::Average) {
            const auto parts = averageParts.constFind(data.seriesLabel(k));
            if (parts != averageParts.constEnd())
                sum = agg::total(function, joined, parts->first, parts->second).value_or(0.0);
        }
        // No share of nothing: an empty grand total leaves every share at 0.
        const double share = grandTotal != 0.0 ? sum / grandTotal : 0.0;
        QString text;
        if (percent)
            text = grid::format::formatNumber(share, QStringLiteral("#,##0.00%"));
        else if (currency && aggregate.needsValueColumn)
            text = grid::format::formatNumber(sum, QStringLiteral("\u00a3#,##0.00"));
        else
            text = grid::format::formatNumber(sum, QStringLiteral("#,###"));
        const QString suffix = QStringLiteral(" (") + text + u')';
        if (inRows) {
            if (legendValues)
                data.setRowLabel(k, data.rowLabel(k) + suffix);
        } else {
            if (legendValues)
                data.setColumnLabel(k, data.columnLabel(k) + suffix);
            if (percent)
                data.setValue(1, k, std::round(share * 100.0 * 100.0) / 100.0);
        }
    }
}

Titles titles(int function, const QString &valueColumn, const QString &first, const QString &second)
{
    Titles t;
    t.valueAxis = analysis::aggregates::alias(function, valueColumn);
    t.chart = t.valueAxis + QStringLiteral(" by ") + first;
    if (second.isEmpty()) {
        t.depthAxis = first;
    } else {
        t.chart += u'\\' + second;
        t.depthAxis = second;
        t.categoryAxis = first;
    }
    return t;
}

} // namespace analysis::chartview
