#pragma once

#include "views/Aggregates.h"
#include "views/SummaryTotals.h"

#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace analysis {

// The cross-tab's pivot: one aggregate per pair of a row key and a column key, as the database
// grouped them. Keys are told apart by their exact values (case, blanks, Null against empty
// text), found through hash indexes, and kept in the order first seen. Each cell also keeps the
// sum and count of its rows, so that the totals of averages are averages over rows.
class XTabPivot {
public:
    using Cell = SummaryTotals::Group;

    // Throws std::invalid_argument for a function the views do not offer.
    explicit XTabPivot(int function) : m_function(aggregates::aggregate(function).function) {}

    // The index of a key, added at the end when new. `identity` tells keys apart, `shown` is the
    // text the grid shows.
    int rowOf(const QString &identity, const QString &shown);
    int colOf(const QString &identity, const QString &shown);
    // The row key's or column key's index; -1 when not seen.
    int findRow(const QString &identity) const { return m_rowIndex.value(identity, -1); }
    int findCol(const QString &identity) const { return m_colIndex.value(identity, -1); }
    // Places the aggregate of one pair. A pair placed again joins the first by the function's
    // aggregate, so nothing is dropped or overwritten.
    void place(int row, int col, const Cell &cell);
    Cell *cell(int row, int col);
    const Cell *cell(int row, int col) const;

    int rows() const { return int(m_rowKeys.size()); }
    int cols() const { return int(m_colKeys.size()); }
    const QString &rowText(int row) const { return m_rowKeys[std::size_t(row)]; }
    const QString &colText(int col) const { return m_colKeys[std::size_t(col)]; }
    // Calls f(row, col, cell) for every placed cell, in no particular order.
    template <class F>
    void forEachCell(F f) const
    {
        for (const auto &[key, cell] : m_cells)
            f(int(key >> 32), int(key & 0xffffffffu), cell);
    }

    struct Totals {
        std::vector<std::optional<double>> rows; // each row's TOTAL column
        std::vector<std::optional<double>> cols; // each column's TOTAL row
        std::optional<double> grand;
    };
    // The matching aggregate of the cells of each row, of each column and of all: a sum of sums
    // and of counts, a minimum of minimums, a maximum of maximums, an average over rows.
    Totals totals() const;

private:
    static std::uint64_t pairKey(int row, int col) { return (std::uint64_t(std::uint32_t(row)) << 32) | std::uint32_t(col); }

    int m_function;
    QHash<QString, int> m_rowIndex;
    QHash<QString, int> m_colIndex;
    std::vector<QString> m_rowKeys;
    std::vector<QString> m_colKeys;
    std::unordered_map<std::uint64_t, Cell> m_cells;
};

} // namespace analysis
