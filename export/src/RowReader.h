#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace db {
class Recordset;
class RowStore;
} // namespace db

namespace hlexport {

// The one place the writers read cells: the recordset's visible rows (its filter and sort
// applied), fetched as they are reached through the recordset's own calls, each cell read from
// the row store in place - no QVariant per cell, no copy of a row.
class RowReader {
public:
    explicit RowReader(db::Recordset &rs);

    // Makes visible row `index` current, fetching it when the result has not delivered it yet;
    // false when the result has no such row.
    bool seek(std::size_t index);
    // Whether the result has visible row `index` (fetching up to it), without moving.
    bool has(std::size_t index);

    int type(int field) const;
    bool isNull(int field) const;
    std::int64_t int64(int field) const; // integers, Booleans, dates, times, timestamps
    int zone(int field) const;           // a time's or timestamp's offset, or RowStore::kNoZone
    double real(int field) const;        // single, double
    std::string_view bytes(int field) const; // text (UTF-8), exact decimals and money, binary

    // The current row as a whole, for a writer that hands rows on (the XML document).
    const db::RowStore &store() const { return *m_store; }
    std::size_t storeRow() const { return m_row; }

    // The value's text as the grid shows it (numbers in their shortest form, dates ISO,
    // Booleans "True"/"False"), UTF-8, appended to out; nothing for a Null.
    void appendText(int field, std::string &out) const;

private:
    db::Recordset &m_rs;
    const db::RowStore *m_store = nullptr;
    std::size_t m_row = 0; // the store row behind the current visible row
};

} // namespace hlexport
