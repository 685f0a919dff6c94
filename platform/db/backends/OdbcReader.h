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

private:
    enum class Kind : std::uint8_t { Int, Real, Date, Time, Timestamp, Text, Decimal, Blob };
    struct Column {
        Kind kind = Kind::Text;
        SQLSMALLINT cType = SQL_C_CHAR;
        std::size_t width = 0; // bytes of one value in the bound buffer
        bool bound = false;
        std::vector<char> data;
        std::vector<SQLLEN> ind;
    };

    static bool isVariable(Kind k) { return k == Kind::Text || k == Kind::Decimal || k == Kind::Blob; }
    void setUpBlock(const DriverTraits &traits);
    bool fetchNext(); // false at the end
    void storeCell(RowStore &store, int col, std::size_t row);
    void storeValue(RowStore &store, int col, const char *p, std::size_t len);
    [[noreturn]] void badValue(int col, const char *what) const;

    SQLHSTMT m_stmt;
    QString m_sql;
    std::vector<FieldInfo> m_fields;
    std::vector<Column> m_cols;
    std::size_t m_rowset = 1;
    SQLULEN m_fetched = 0;     // rows in the current block
    std::size_t m_next = 0;    // next row of the block to hand out
    std::vector<SQLUSMALLINT> m_status;
    std::string m_scratch;
    bool m_done = false;
    bool m_padScale = false; // decimals written by the SQLite driver lack their trailing zeros
};

} // namespace db::odbc
