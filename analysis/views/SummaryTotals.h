#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace db {
class Recordset;
}
namespace grid {
class Grid;
}

namespace analysis {

// What the summary grid's subtotal and TOTAL rows are computed from: each group's own figures,
// found again by the record the grid row was copied from (never by its text, which a Null and an
// empty text, or two numbers shown alike, share), so that a sort or a hidden row never changes
// what a total means. Subtotals and TOTAL take the matching aggregate of the groups under them: a sum of sums
// and counts, a minimum of minimums, a maximum of maximums, and for averages the sum over the
// groups' rows divided by their count, never an average of averages.
struct SummaryTotals {
    struct Group {
        std::optional<double> value; // the aggregate as the database gave it
        double sum = 0;              // averages: the sum and count of the group's values
        double count = 0;
    };

    // One running aggregate over groups (or cross-tab cells): their values by the function, and
    // for averages the sums and counts of their rows.
    struct Running {
        std::optional<double> value;
        double sum = 0;
        double count = 0;
        int rows = 0;

        void add(int function, const Group &g);
        std::optional<double> result(int function) const;
    };

    int function = 0;  // the function's list position (count, % of total, sum, avg, min, max)
    int groupCols = 1; // group columns in front of the aggregate
    std::vector<Group> groups; // by the summary recordset's record index
    double grandCount = 0; // % of total: the count over every group shown at refresh

    // The exact values of `count` columns of a record from `first` on, as one key: a Null
    // differs from an empty text, and every value keeps its type and full precision.
    static QString valueKey(const db::Recordset &rs, std::size_t row, int first, int count);
    // Whether records a and b hold the same value in col, as valueKey tells values apart.
    static bool sameValue(const db::Recordset &rs, std::size_t a, std::size_t b, int col);
    // A record's number in a column; nothing for a Null.
    static std::optional<double> numberAt(const db::Recordset &rs, std::size_t row, int col);
    // Runs makeRows, which adds the grid's subtotal rows, while each group cell of the rows copied
    // from rs stands for its record's exact values; the grid groups by text, and would otherwise
    // give a Null and an empty text (or two numbers shown alike) one subtotal. The texts are put
    // back afterwards, and each level's subtotal row shows the text of the group it closes.
    // keepGoing is asked between rows, where the caller may let the event loop run; false stops
    // before makeRows, every text put back.
    static void groupExactly(grid::Grid &grid, const db::Recordset &rs, int groupCols,
                             const std::function<void()> &makeRows, const std::function<bool()> &keepGoing = {});
    // Rewrites every subtotal row and the TOTAL row (the last) from the data rows above it,
    // leaving hidden rows out when skipHidden is set; with % of total, data rows are shown as their
    // share of grandCount. Returns the number of data rows counted. keepGoing is asked between
    // rows; false stops there, the rows below left as they were.
    int fill(grid::Grid &grid, bool skipHidden, const std::function<bool()> &keepGoing = {}) const;
};

} // namespace analysis
