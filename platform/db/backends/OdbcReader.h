#pragma once

#include "db/RowStore.h"
#include "db/backends/OdbcTypes.h"

#include <sql.h>
#include <sqlext.h>

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace db::odbc {

// Copies the rows of an executed statement into a RowStore. With a driver that can fetch
// blocks of rows (and read a value a bound buffer was too small for), every column is bound
// column-wise and many rows arrive per call; otherwise rows come one at a time, fixed-size
// values bound and text and binary read with SQLGetData. The statement stays owned by the
// caller and must outlive the reader.
class ResultReader {
public:
    ResultReader(SQLHSTMT stmt, const std::vector<FieldInfo> &fields, const DriverTraits &traits,
                 QString statement);
    ResultReader(const ResultReader &) = delete; // the driver holds addresses of its members
    ResultReader &operator=(const ResultReader &) = delete;
    ~ResultReader(); // unbinds, so the statement may go on to another result

    // Appends up to maxRows rows; done() once the statement has no more. Throws DbError.
    std::size_t read(RowStore &store, std::size_t maxRows);
    bool done() const { return m_done; }
    // The columns as read so far: a date or time column that met a value it cannot hold
    // (one the driver could not make a date of) has become text.
    const std::vector<FieldInfo> &fields() const { return m_fields; }

private:
    enum class Kind : std::uint8_t { Int, Real, Date, Time, Timestamp, Text, Decimal, Blob };
    struct Column {
        Kind kind = Kind::Text;
        SQLSMALLINT cType = SQL_C_CHAR;
        std::size_t width = 0; // bytes of one value in the bound buffer
        bool bound = false;
        bool asText = false; // a date or time column now held as text
        std::vector<char> data;
        std::vector<SQLLEN> ind;
        std::string held; // the value of the current row when it is not in the bound buffer
    };
    // One value of the current row, read before the row is stored (so that a date that is none
    // can turn its column into text first).
    struct Cell {
        const char *p = nullptr;
        std::size_t len = 0;
        bool null = true;
        bool valid = false;   // a date or time: the driver's value is one
        std::int64_t v = 0;   // its encoding
        int zone = RowStore::kNoZone;
    };

    static bool isVariable(Kind k) { return k == Kind::Text || k == Kind::Decimal || k == Kind::Blob; }
    static bool isTemporal(Kind k) { return k == Kind::Date || k == Kind::Time || k == Kind::Timestamp; }
    static int temporalType(Kind k); // the type code of a date or time kind
    void setUpBlock(const DriverTraits &traits);
    bool fetchNext(); // false at the end
    void readCell(int col, std::size_t row, Cell &cell);
    void decodeTemporal(int col, Cell &cell) const;
    void toText(RowStore &store, int col);
    void storeValue(RowStore &store, int col, const Cell &cell);

    SQLHSTMT m_stmt;
    QString m_sql;
    std::vector<FieldInfo> m_fields;
    std::vector<Column> m_cols;
    std::size_t m_rowset = 1;
    SQLULEN m_fetched = 0;     // rows in the current block
    std::size_t m_next = 0;    // next row of the block to hand out
    std::vector<SQLUSMALLINT> m_status;
    std::vector<Cell> m_cells;
    bool m_done = false;
    bool m_padScale = false; // decimals written by the SQLite driver lack their trailing zeros
    bool m_postgres = false;
};

} // namespace db::odbc
