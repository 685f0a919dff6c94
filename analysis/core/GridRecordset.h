#pragma once

#include <memory>

namespace db {
class Recordset;
}
namespace grid {
class Grid;
}

namespace analysis {

// The rows of a grid as an in-memory recordset, for the views whose grids hold their own cells
// (summary, cross-tab) to hand to export: one field per column, named by the header row
// `nameRow`, one record per visible data row. A column takes the type of the grid's recordset
// field or of its data type where every cell reads as that type, and is text otherwise.
std::shared_ptr<db::Recordset> gridRecordset(const grid::Grid &grid, int nameRow);

} // namespace analysis
