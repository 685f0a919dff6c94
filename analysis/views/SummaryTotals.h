#pragma once

#include <tabulon/hlTabulonExport.h>

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace grid {
class Grid;
}

namespace analysis {

// What the summary grid's subtotal and TOTAL rows are computed from: each group's own figures,
// found again by the group's values, so that a sort or a hidden row never changes what a total
// means. Subtotals and TOTAL take the matching aggregate of the groups under them: a sum of sums
// and counts, a minimum of minimums, a maximum of maximums, and for averages the sum over the
// groups' rows divided by their count, never an average of averages.
struct HLTABULON_EXPORT SummaryTotals {
    struct Group {
        std::optional<double> value; // the aggregate as the database gave it
        double sum = 0;              // averages: the sum and count of the group's values
        double count = 0;
    };

    int function = 0;  // the function's list position (count, % of total, sum, avg, min, max)
    int groupCols = 1; // group columns in front of the aggregate
    QHash<QString, Group> groups;
    double grandCount = 0; // % of total: the count over every group shown at refresh

    // The key of a grid row: its group columns' texts.
    QString keyOf(const grid::Grid &grid, int row) const;
    // Rewrites every subtotal row and the TOTAL row (the last) from the data rows above it,
    // leaving hidden rows out when skipHidden is set; with % of total, data rows are shown as their
    // share of grandCount. Returns the number of data rows counted.
    int fill(grid::Grid &grid, bool skipHidden) const;
};

} // namespace analysis
