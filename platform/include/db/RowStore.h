#pragma once

#include <tabulon/DbExport.h>

#include "db/Field.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <climits>
#include <cstdint>
#include <string_view>
#include <vector>

namespace db {

// Rows held column-wise: one typed array per column, a null bit per cell and a UTF-8 arena per
// text or binary column; no QVariant per cell. Rows are only ever appended. Shared (by
// std::shared_ptr) between a recordset and its clones.
class DB_EXPORT RowStore {
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
        const std::size_t i = row & kSegmentMask;
        return (segment(row, col).nulls[i >> 6] >> (i & 63)) & 1u;
    }
    std::int64_t int64(std::size_t row, int col) const // Int64 storage
    {
        const Segment &s = segment(row, col);
        const std::size_t i = row & kSegmentMask;
        return s.wide ? s.ints[i] : std::int64_t(s.narrow[i]);
    }
    // The offset (seconds east of Greenwich) a time or timestamp was given with, or kNoZone.
    int zone(std::size_t row, int col) const
    {
        const std::vector<std::int32_t> &z = segment(row, col).zones;
        const std::size_t i = row & kSegmentMask;
        return i < z.size() ? z[i] : kNoZone;
    }
    double real(std::size_t row, int col) const { return segment(row, col).reals[row & kSegmentMask]; }       // Double storage
    // Text/Blob cell bytes in place (valid until the next append); no copy.
    const char *bytes(std::size_t row, int col, std::size_t *len) const
    {
        const Segment &s = segment(row, col);
        const std::size_t i = row & kSegmentMask;
        const std::uint32_t start = (i & 63) != 0 ? s.ends[i - 1] : 0;
        *len = s.ends[i] - start;
        return s.arena.data() + s.bases[i >> 6] + start;
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
    // displayText in UTF-8 without a QString: a text in place (valid until the next append), any
    // other value formatted into buf (at least 64 bytes).
    std::string_view displayUtf8(std::size_t row, int col, char *buf) const;

    // --- appending, one row at a time: beginRow, one set* per column (unset columns are Null), endRow ---
    void beginRow();
    void setNull(int col);
    // The setters append in place when the value fits the column's storage; anything else (a
    // value set twice, a conversion, a misuse) takes the checked way.
    void setInt64(int col, std::int64_t v)
    {
        if (Q_LIKELY(m_inRow && std::size_t(col) < m_cols.size() && m_set[std::size_t(col)] == 0)) {
            Column &c = m_cols[std::size_t(col)];
            if (Q_LIKELY(c.storage == Storage::Int64)) {
                Segment &s = c.segments.back();
                if (s.wide) {
                    s.ints.push_back(v);
                    m_set[std::size_t(col)] = 1;
                    return;
                }
                if (Q_LIKELY(fitsNarrow(v))) {
                    s.narrow.push_back(std::int32_t(v));
                    m_set[std::size_t(col)] = 1;
                    return;
                }
            }
        }
        setInt64Checked(col, v);
    }
    // The offset of the time or timestamp just set in this row's column (after setInt64).
    void setZone(int col, int offsetSeconds);
    void setReal(int col, double v)
    {
        if (Q_LIKELY(m_inRow && std::size_t(col) < m_cols.size() && m_set[std::size_t(col)] == 0)) {
            Column &c = m_cols[std::size_t(col)];
            if (Q_LIKELY(c.storage == Storage::Double)) {
                c.segments.back().reals.push_back(v);
                m_set[std::size_t(col)] = 1;
                return;
            }
        }
        setRealChecked(col, v);
    }
    void setText(int col, const char *utf8, std::size_t len)
    {
        if (Q_LIKELY(m_inRow && std::size_t(col) < m_cols.size() && m_set[std::size_t(col)] == 0)) {
            Column &c = m_cols[std::size_t(col)];
            Segment &s = c.segments.back();
            if (Q_LIKELY(c.storage == Storage::Text && len <= kMaxGroupText - (s.arena.size() - groupStart(s)))) {
                s.arena.insert(s.arena.end(), utf8, utf8 + len);
                m_set[std::size_t(col)] = 1;
                return;
            }
        }
        setTextChecked(col, utf8, len);
    }
    void setText(int col, const QString &v);
    void setBlob(int col, const char *data, std::size_t len);
    // Converts from a QVariant according to the column's storage (used by XML loading and routines).
    void setValue(int col, const QVariant &v);
    void endRow();

    // Appends every row of another store of the same columns (a chunk read elsewhere); a column
    // the chunk holds in a wider type is retyped first.
    void append(const RowStore &rows);
    // The same, taking the chunk's blocks over whole, without a copy, when this store ends on a
    // block's boundary (a chunk of kBlockRows rows read at such a boundary always does).
    void append(RowStore &&rows);
    // The same for a chunk whose first `restated` rows are this store's last ones, those of its
    // last block, read again elsewhere so that the chunk starts on a block's boundary: the
    // chunk's blocks take that block's place whole. A chunk whose blocks cannot (a column of
    // another type) has its other rows copied.
    void append(RowStore &&rows, std::size_t restated);
    static constexpr std::size_t kBlockRows = std::size_t(1) << 15;
    // Gives column col the new field's type, converting the rows held so far (text keeps every
    // value; Int64 to Double widens integers). Rows must not be half-appended.
    void retypeColumn(int col, const FieldInfo &field);

    void reserve(std::size_t rows);
    std::size_t bytesHeld() const;
    // Gives back the spare capacity left by growing, once no more rows will come.
    void squeeze();

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
    // Rows live in segments of a fixed number of rows that never move once written: a store of
    // millions of rows grows without copying what it holds, and an append costs the new rows only.
    static constexpr int kSegmentShift = 15;
    static constexpr std::size_t kSegmentRows = kBlockRows;
    static_assert(kBlockRows == std::size_t(1) << kSegmentShift);
    static constexpr std::size_t kSegmentMask = kSegmentRows - 1;
    // Text ends are kept in 32 bits, relative to the start of their group of 64 rows (a group
    // holds at most 4 GiB of text): 4 bytes a cell, not 8.
    static constexpr std::size_t kMaxGroupText = UINT32_MAX;
    // Int64 cells take 32 bits while every value of their segment fits (row numbers, counts, codes,
    // dates as Julian days), 64 from the first value that does not: the segment is widened in place.
    static bool fitsNarrow(std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }
    struct Segment {
        std::vector<std::int32_t> narrow;   // Int64 storage while !wide
        std::vector<std::int64_t> ints;     // Int64 storage once wide
        bool wide = false;
        std::vector<double> reals;
        std::vector<char> arena;            // text/blob bytes of the segment's rows, in row order
        std::vector<std::uint32_t> ends;    // text/blob: where row i ends, from its group's base
        std::vector<std::uint64_t> bases;   // text/blob: where group i >> 6 starts in the arena
        std::uint64_t textEnd = 0;          // end of the last whole row's bytes
        std::vector<std::uint64_t> nulls;   // one bit per row
        std::vector<std::int32_t> zones;    // offsets of times and timestamps; empty until one has one
    };
    // Where the row being appended to s starts its group.
    std::uint64_t groupStart(const Segment &s) const
    {
        return (m_rows & 63) == 0 ? s.textEnd : s.bases.back();
    }
    struct Column {
        Storage storage;
        std::vector<Segment> segments;
    };
    const Segment &segment(std::size_t row, int col) const
    {
        return m_cols[std::size_t(col)].segments[row >> kSegmentShift];
    }
    static std::size_t intCount(const Segment &s) { return s.wide ? s.ints.size() : s.narrow.size(); }
    static void widen(Segment &s);
    // from's rows [first, first + n) after to's, widening to only for a value that does not fit
    static void appendInts(Segment &to, const Segment &from, std::size_t first, std::size_t n);
    void addSegment(); // for the row about to be appended
    void appendFrom(const RowStore &rows, std::size_t first); // rows[first, end) copied
    std::vector<FieldInfo> m_fields;
    std::vector<Column> m_cols;
    std::size_t m_rows = 0;
    bool m_inRow = false;
    std::vector<std::uint8_t> m_set; // per column: was a value given in the current row

    void undo(int col);
    void setInt64Checked(int col, std::int64_t v);
    void setRealChecked(int col, double v);
    void setTextChecked(int col, const char *utf8, std::size_t len);
};

} // namespace db
