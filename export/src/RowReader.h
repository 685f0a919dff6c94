#pragma once

#include "db/RowStore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace db {
class Recordset;
} // namespace db

namespace hlexport {

struct ExportJob;

// The one place the writers read cells, each read from a row store in place - no QVariant per
// cell, no copy of a row. Rows the window holds already (all of them fetched, or filtered or
// sorted) are the recordset's visible rows. A result the window holds only part of is read
// again through a cursor of the reader's own, a chunk at a time, each chunk let go once passed:
// the export holds a few chunks whatever the row count, and the window's rows stay as they are.
// Rows are then read forward only.
class RowReader {
public:
    explicit RowReader(const ExportJob &job);
    ~RowReader();
    RowReader(const RowReader &) = delete;
    RowReader &operator=(const RowReader &) = delete;

    // Makes visible row `index` current, fetching it when the result has not delivered it yet;
    // false when the result has no such row. Read through a cursor, `index` never goes back.
    // Throws ExportStopped when the user stopped the export while the rows were awaited.
    bool seek(std::size_t index);

    int type(int field) const { return m_store->fields()[std::size_t(field)].Type; }
    bool isNull(int field) const { return m_store->isNull(m_row, field); }
    // integers, Booleans, dates, times, timestamps
    std::int64_t int64(int field) const { return m_store->int64(m_row, field); }
    // a time's or timestamp's offset, or RowStore::kNoZone
    int zone(int field) const { return m_store->zone(m_row, field); }
    // single, double
    double real(int field) const { return m_store->real(m_row, field); }
    // text (UTF-8), exact decimals and money, binary
    std::string_view bytes(int field) const
    {
        std::size_t n = 0;
        const char *p = m_store->bytes(m_row, field, &n);
        return {p, n};
    }

    // The current row as a whole, for a writer that hands rows on (the XML document).
    const db::RowStore &store() const { return *m_store; }
    std::size_t storeRow() const { return m_row; }

    // The value's text as the grid shows it (numbers in their shortest form, dates ISO,
    // Booleans "True"/"False"), UTF-8; empty for a Null. A text is read in place; a number is
    // formatted into buf (at least 64 bytes). Valid until the next seek.
    std::string_view text(int field, char *buf) const;
    void appendText(int field, std::string &out) const;

    // Whether the rows come through a cursor of the reader's own.
    bool streaming() const { return m_stream != nullptr; }

private:
    class Stream;

    db::Recordset &m_rs;
    std::size_t *m_rowsRead = nullptr;
    std::unique_ptr<Stream> m_stream;
    std::shared_ptr<const db::RowStore> m_chunk; // the stream's current chunk
    std::size_t m_chunkStart = 0;                // the row index of its first row
    const db::RowStore *m_store = nullptr;
    std::size_t m_row = 0; // the store row behind the current visible row
};

} // namespace hlexport
