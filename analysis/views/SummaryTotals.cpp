#include "views/SummaryTotals.h"

#include "views/SummarySql.h"

#include "grid/Grid.h"
#include "grid/GridFormat.h"

#include <algorithm>
#include <array>

namespace analysis {

namespace {

namespace ssql = analysis::summarysql;

// One running aggregate over the groups of a level.
struct Running {
    std::optional<double> value;
    double sum = 0;
    double count = 0;
    int rows = 0;

    void add(int function, const SummaryTotals::Group &g)
    {
        ++rows;
        sum += g.sum;
        count += g.count;
        if (!g.value)
            return;
        const double v = *g.value;
        if (!value)
            value = v;
        else if (function == ssql::fnMin)
            value = std::min(*value, v);
        else if (function == ssql::fnMax)
            value = std::max(*value, v);
        else
            value = *value + v;
    }
    std::optional<double> result(int function) const
    {
        if (function == ssql::fnAvg)
            return count > 0 ? std::optional<double>(sum / count) : std::nullopt;
        return value;
    }
};

} // namespace

QString SummaryTotals::keyOf(const grid::Grid &grid, int row) const
{
    QStringList parts;
    for (int c = 0; c < groupCols; ++c)
        parts << grid.TextMatrix(row, c);
    return parts.join(QChar(0x1f));
}

int SummaryTotals::fill(grid::Grid &grid, bool skipHidden) const
{
    const int last = grid.Cols() - 1;
    auto show = [&](int row, const std::optional<double> &v) {
        if (!v) {
            grid.setTextMatrix(row, last, QString());
            return;
        }
        const double shown = function == ssql::fnPercent ? (grandCount != 0 ? *v / grandCount * 100 : 0) : *v;
        grid.setTextMatrix(row, last, grid::format::numberText(shown));
    };

    // Subtotal rows follow the rows they close: level 0 closes a first-column group, level 1 a
    // second-column group, -1 is the grand total.
    std::array<Running, 2> levels;
    Running total;
    int counted = 0;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r) {
        if (grid.IsSubtotal(r)) {
            const int level = grid.RowOutlineLevel(r);
            if (level < 0) {
                show(r, total.rows > 0 ? total.result(function) : std::nullopt);
            } else if (level < 2) {
                Running &run = levels[std::size_t(level)];
                show(r, run.rows > 0 ? run.result(function) : std::nullopt);
                run = Running{};
            }
            continue;
        }
        const auto it = groups.constFind(keyOf(grid, r));
        if (it == groups.cend())
            continue;
        if (function == ssql::fnPercent)
            show(r, it->value);
        if (skipHidden && grid.RowHidden(r))
            continue;
        ++counted;
        for (Running &run : levels)
            run.add(function, *it);
        total.add(function, *it);
    }
    return counted;
}

} // namespace analysis
