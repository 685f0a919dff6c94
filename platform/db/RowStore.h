#pragma once

#include <tabulon/PlatformExport.h>

#include "db/Field.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <climits>
#include <cstdint>
#include <vector>

namespace db {

// Rows held column-wise: one typed array per column, a null bit per cell and a UTF-8 arena per
// text or binary column; no QVariant per cell. Rows are only ever appended. Shared (by
// std::shared_ptr) between a recordset and its clones.
class PLATFORM_EXPORT RowStore {
public:
    // A date or timestamp cell that holds infinity (PostgreSQL's 'infinity' and '-infinity').
    static constexpr std::int64_t kInfinity = INT64_MAX;
    static constexpr std::int64_t kMinusInfinity = INT64_MIN;
    // A time or timestamp cell without a time zone offset.
    static constexpr int kNoZone = INT32_MIN;

    explicit RowStore(std::vector<FieldInfo> fields);

    const std::vector<FieldInfo> &fields() const { return m_fields; }
    int columnCount() const { return int(m_fields.size()); }
    std::size_t rowCount() const { return m_rows; }

    // --- reading (row < rowCount()) ---
    bool isNull(std::size_t row, int col) const
    {
        return (m_cols[std::size_t(col)].nulls[row >> 6] >> (row & 63)) & 1u;
    }
    std::int64_t int64(std::size_t row, int col) const { return m_cols[std::size_t(col)].ints[row]; } // Int64 storage
    // The offset (seconds east of Greenwich) a time or timestamp was given with, or kNoZone.
    int zone(std::size_t row, int col) const
    {
        const std::vector<std::int32_t> &z = m_cols[std::size_t(col)].zones;
        return row < z.size() ? z[row] : kNoZone;
    }
    double real(std::size_t row, int col) const { return m_cols[std::size_t(col)].reals[row]; }       // Double storage
    // Text/Blob cell bytes in place (valid until the next append); no copy.
    const char *bytes(std::size_t row, int col, std::size_t *len) const
    {
        const Column &c = m_cols[std::size_t(col)];
        *len = std::size_t(c.offsets[row + 1] - c.offsets[row]);
        return c.arena.data() + c.offsets[row];
    }
    QString text(std::size_t row, int col) const;       // Text storage (UTF-8 in the arena)
    QByteArray blob(std::size_t row, int col) const;    // Blob storage
    // Typed value: Null is an invalid QVariant; integers qlonglong, Booleans bool, dates QDate,
    // times QTime, timestamps QDateTime (with its offset when it has one; QDateTime keeps
    // milliseconds only), infinite dates the text "infinity" or "-infinity", floating double,
    // decimals and money QString, binary QByteArray.
    QVariant value(std::size_t row, int col) const;
    // The value as display text: Null is empty; Booleans "True"/"False"; dates and times ISO with
    // every digit of their fraction, their offset and era as PostgreSQL writes them
    // ("0044-03-15 BC", "2024-03-31 02:30:00.000001+02", "24:00:00", "infinity").
    QString displayText(std::size_t row, int col) const;

    // --- appending, one row at a time: beginRow, one set* per column (unset columns are Null), endRow ---
    void beginRow();
    void setNull(int col);
    void setInt64(int col, std::int64_t v);
    // The offset of the time or timestamp just set in this row's column (after setInt64).
    void setZone(int col, int offsetSeconds);
    void setReal(int col, double v);
    void setText(int col, const char *utf8, std::size_t len);
    void setText(int col, const QString &v);
    void setBlob(int col, const char *data, std::size_t len);
    // Converts from a QVariant according to the column's storage (used by XML loading and routines).
    void setValue(int col, const QVariant &v);
    void endRow();

    // Appends every row of another store of the same columns (a chunk read elsewhere); a column
    // the chunk holds in a wider type is retyped first.
    void append(const RowStore &rows);
    // Gives column col the new field's type, converting the rows held so far (text keeps every
    // value; Int64 to Double widens integers). Rows must not be half-appended.
    void retypeColumn(int col, const FieldInfo &field);

    void reserve(std::size_t rows);
    std::size_t bytesHeld() const;
    // Gives back the spare capacity left by growing, once no more rows will come.
    void squeeze()
    {
        for (Column &c : m_cols) {
            c.ints.shrink_to_fit();
            c.reals.shrink_to_fit();
            c.arena.shrink_to_fit();
            c.offsets.shrink_to_fit();
            c.nulls.shrink_to_fit();
            c.zones.shrink_to_fit();
        }
    }

    // Helpers for the Int64 encodings of dates (Julian day), times (microseconds since midnight,
    // up to 24:00:00) and timestamps (microseconds since 1970-01-01 00:00 on the wall clock).
    static std::int64_t encodeDate(const QDate &d);
    static QDate decodeDate(std::int64_t v);
    static std::int64_t encodeTime(const QTime &t);
    static QTime decodeTime(std::int64_t v);
    static std::int64_t encodeDateTime(const QDateTime &dt);
    static QDateTime decodeDateTime(std::int64_t v);
    // Parses ISO text ("2024-02-29", "13:45:30.250001", "2024-02-29 13:45:30+05:30", 'T' allowed;
    // also M/d/yyyy, " BC" and "infinity") into the Int64 encoding of a date, time or timestamp
    // type; false when it is not one. The offset, if any, goes to *zone (kNoZone without one).
    static bool parseTemporal(int adoType, QStringView text, std::int64_t &out, int *zone = nullptr);
    // An Int64 or Double cell formatted as displayText does, into buf (at least 64 bytes),
    // without allocating; returns the length.
    static std::size_t formatScalar(int adoType, std::int64_t i, double d, char *buf, int zone = kNoZone);

private:
    struct Column {
        Storage storage;
        std::vector<std::int64_t> ints;
        std::vector<double> reals;
        std::vector<char> arena;            // text/blob bytes of this column
        std::vector<std::uint64_t> offsets; // text/blob: row r spans [offsets[r], offsets[r+1])
        std::vector<std::uint64_t> nulls;   // one bit per row
        std::vector<std::int32_t> zones;    // offsets of times and timestamps; empty until one has one
    };
    std::vector<FieldInfo> m_fields;
    std::vector<Column> m_cols;
    std::size_t m_rows = 0;
    bool m_inRow = false;
    std::vector<std::uint8_t> m_set; // per column: was a value given in the current row

    void undo(int col);
};

} // namespace db
