#include "views/XTabPivot.h"


namespace analysis {

int XTabPivot::rowOf(const QString &identity, const QString &shown)
{
    const auto it = m_rowIndex.constFind(identity);
    if (it != m_rowIndex.cend())
        return *it;
    const int index = int(m_rowKeys.size());
    m_rowIndex.insert(identity, index);
    m_rowKeys.push_back(shown);
    return index;
}

int XTabPivot::colOf(const QString &identity, const QString &shown)
{
    const auto it = m_colIndex.constFind(identity);
    if (it != m_colIndex.cend())
        return *it;
    const int index = int(m_colKeys.size());
    m_colIndex.insert(identity, index);
    m_colKeys.push_back(shown);
    return index;
}

void XTabPivot::place(int row, int col, const Cell &cell)
{
    auto [it, added] = m_cells.try_emplace(pairKey(row, col), cell);
    if (added)
        return;
    SummaryTotals::Running run;
    run.add(m_function, it->second);
    run.add(m_function, cell);
    it->second.value = run.value;
    it->second.sum = run.sum;
    it->second.count = run.count;
    if (aggregates::aggregate(m_function).combine == aggregates::Combine::Average)
        it->second.value = run.result(m_function);
}

XTabPivot::Cell *XTabPivot::cell(int row, int col)
{
    const auto it = m_cells.find(pairKey(row, col));
    return it == m_cells.end() ? nullptr : &it->second;
}

const XTabPivot::Cell *XTabPivot::cell(int row, int col) const
{
    const auto it = m_cells.find(pairKey(row, col));
    return it == m_cells.end() ? nullptr : &it->second;
}

XTabPivot::Totals XTabPivot::totals() const
{
    std::vector<SummaryTotals::Running> byRow(m_rowKeys.size());
    std::vector<SummaryTotals::Running> byCol(m_colKeys.size());
    SummaryTotals::Running all;
    for (const auto &[key, cell] : m_cells) {
        byRow[std::size_t(key >> 32)].add(m_function, cell);
        byCol[std::size_t(key & 0xffffffffu)].add(m_function, cell);
        all.add(m_function, cell);
    }
    Totals t;
    t.rows.reserve(byRow.size());
    for (const auto &run : byRow)
        t.rows.push_back(run.result(m_function));
    t.cols.reserve(byCol.size());
    for (const auto &run : byCol)
        t.cols.push_back(run.result(m_function));
    t.grand = all.result(m_function);
    return t;
}

} // namespace analysis
