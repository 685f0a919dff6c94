#include "core/GridRecordset.h"

#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "grid/Grid.h"

#include <vector>

namespace analysis {

namespace {

int typeOfGridColumn(const grid::Grid &g, int col)
{
    const std::shared_ptr<db::Recordset> source = g.DataSource();
    if (source && source->State() == db::adStateOpen && source->FieldCount() == g.Cols())
        return source->Field(col).Type;
    switch (g.ColDataType(col)) {
    case grid::flexDTShort: return db::adSmallInt;
    case grid::flexDTLong: return db::adInteger;
    case grid::flexDTLong8: return db::adBigInt;
    case grid::flexDTSingle: return db::adSingle;
    case grid::flexDTDouble: return db::adDouble;
    case grid::flexDTCurrency: return db::adCurrency;
    case grid::flexDTDecimal: return db::adNumeric;
    case grid::flexDTDate: return db::adDBTimeStamp;
    case grid::flexDTBoolean: return db::adBoolean;
    case grid::flexDTString: return db::adVarWChar;
    default: return db::adEmpty;
    }
}

std::vector<int> dataRows(const grid::Grid &g)
{
    std::vector<int> rows;
    for (int r = g.FixedRows(); r < g.Rows(); ++r) {
        if (!g.RowHidden(r))
            rows.push_back(r);
    }
    return rows;
}

// Whether every cell of the column reads as the type.
bool fits(const grid::Grid &g, int col, const std::vector<int> &rows, int type)
{
    db::FieldInfo f;
    f.Type = type;
    db::RowStore scratch({f});
    try {
        for (const int r : rows) {
            if (g.IsNullMatrix(r, col))
                continue;
            scratch.beginRow();
            scratch.setValue(0, g.Cell(grid::flexcpText, r, col).toString());
            scratch.endRow();
        }
        return true;
    } catch (const db::DbError &) {
        return false;
    }
}

} // namespace

std::shared_ptr<db::Recordset> gridRecordset(const grid::Grid &g, int nameRow)
{
    const std::vector<int> rows = dataRows(g);
    std::vector<db::FieldInfo> fields;
    for (int c = 0; c < g.Cols(); ++c) {
        db::FieldInfo f;
        f.Name = g.TextMatrix(nameRow, c);
        f.Type = typeOfGridColumn(g, c);
        if (f.Type == db::adEmpty)
            f.Type = fits(g, c, rows, db::adBigInt) ? db::adBigInt
                : fits(g, c, rows, db::adDouble)   ? db::adDouble
                                                   : db::adVarWChar;
        else if (!db::isTextType(f.Type) && !fits(g, c, rows, f.Type))
            f.Type = db::adVarWChar; // a total row's label in a number column, say
        fields.push_back(f);
    }
    auto store = std::make_shared<db::RowStore>(std::move(fields));
    for (const int r : rows) {
        store->beginRow();
        for (int c = 0; c < g.Cols(); ++c) {
            if (g.IsNullMatrix(r, c))
                store->setNull(c);
            else
                store->setValue(c, g.Cell(grid::flexcpText, r, c).toString());
        }
        store->endRow();
    }
    return db::Recordset::fromStore(std::move(store));
}

} // namespace analysis
