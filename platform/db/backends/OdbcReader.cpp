#include "db/backends/OdbcReader.h"

#include "db/ValueRules.h"

#include "db/backends/OdbcHandles.h"
#include "db/backends/OdbcSql.h"

#include <QDate>

#include <algorithm>
#include <cstring>

namespace db::odbc {

namespace {

constexpr std::int64_t kEpochJulianDay = 2440588; // 1970-01-01
constexpr std::int64_t kUsPerDay = 86400000000;
constexpr std::size_t kBlockBytes = 2 * 1024 * 1024;

} // namespace

ResultReader::ResultReader(SQLHSTMT stmt, const std::vector<FieldInfo> &fields, const DriverTraits &traits,
                           QString statement)
    : m_stmt(stmt)
    , m_sql(std::move(statement))
    , m_fields(fields)
    , m_padScale(traits.sqliteDriver)
{
    m_cols.reserve(fields.size());
    for (const FieldInfo &f : fields) {
        Column c;
        auto set = [&c](Kind kind, SQLSMALLINT cType, std::size_t width) {
            c.kind = kind;
            c.cType = cType;
            c.width = width;
        };
        switch (f.Type) {
        case adSmallInt:
        case adInteger:
        case adBigInt:
        case adBoolean:
        case adTinyInt:
        case adUnsignedTinyInt: set(Kind::Int, SQL_C_SBIGINT, sizeof(SQLBIGINT)); break;
        case adSingle:
        case adDouble: set(Kind::Real, SQL_C_DOUBLE, sizeof(SQLDOUBLE)); break;
        case adDBDate: set(Kind::Date, SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT)); break;
        case adDBTime: set(Kind::Time, SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT)); break;
        case adDate:
        case adDBTimeStamp: set(Kind::Timestamp, SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)); break;
        case adNumeric:
        case adDecimal:
        case adCurrency: set(Kind::Decimal, SQL_C_CHAR, 66); break;
        case adBinary:
        case adVarBinary:
        case adLongVarBinary:
            set(Kind::Blob, SQL_C_BINARY, f.DefinedSize > 0 ? std::min<std::size_t>(std::size_t(f.DefinedSize), 1024) : 256);
            break;
        default:
            // UTF-8 takes up to four bytes a character.
            set(Kind::Text, SQL_C_CHAR,
                 f.DefinedSize > 0 ? std::clamp<std::size_t>(std::size_t(f.DefinedSize) * 4 + 1, 33, 1025) : 257);
            break;
        }
        m_cols.push_back(std::move(c));
    }
    setUpBlock(traits);
}

ResultReader::~ResultReader()
{
    SQLFreeStmt(m_stmt, SQL_UNBIND);
    if (m_rowset > 1) {
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    }
}

void ResultReader::setUpBlock(const DriverTraits &traits)
{
    const bool anyVariable = std::any_of(m_cols.begin(), m_cols.end(),
                                         [](const Column &c) { return isVariable(c.kind); });
    // A value longer than its bound buffer must be read again by positioning on its row (a
    // driver saying SQL_GD_BLOCK promises that much where it has SQLSetPos).
    const SQLUINTEGER ext = traits.getDataExtensions;
    const bool canReread = (ext & SQL_GD_BLOCK) && (ext & SQL_GD_BOUND) && (ext & SQL_GD_ANY_COLUMN)
        && (ext & SQL_GD_ANY_ORDER) && traits.setPos;
    std::size_t rowset = 1;
    if (!m_cols.empty() && (!anyVariable || canReread)) {
        std::size_t rowBytes = 0;
        for (const Column &c : m_cols)
            rowBytes += c.width + sizeof(SQLLEN);
        rowset = std::clamp<std::size_t>(kBlockBytes / rowBytes, 16, 256);
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        SQLULEN granted = 0;
        if (!SQL_SUCCEEDED(SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rowset)), 0))
            || !SQL_SUCCEEDED(SQLGetStmtAttr(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr))
            || granted < 2) {
            SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
            rowset = 1;
        } else {
            rowset = std::min<std::size_t>(rowset, std::size_t(granted));
        }
    }
    m_rowset = rowset;
    if (m_rowset > 1) {
        m_status.assign(m_rowset, SQL_ROW_NOROW);
        SQLSetStmtAttr(m_stmt, SQL_ATTR_ROW_STATUS_PTR, m_status.data(), 0);
        checkStmt(SQLSetStmtAttr(m_stmt, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, 0), m_stmt, "SQLSetStmtAttr", m_sql);
        for (std::size_t i = 0; i < m_cols.size(); ++i) {
            Column &c = m_cols[i];
            c.data.resize(c.width * m_rowset);
            c.ind.resize(m_rowset);
            checkStmt(SQLBindCol(m_stmt, SQLUSMALLINT(i + 1), c.cType, c.data.data(), SQLLEN(c.width), c.ind.data()),
                      m_stmt, "SQLBindCol", m_sql);
            c.bound = true;
        }
        return;
    }
    // One row a call: fixed-size values land in bound buffers where the driver lets text be read
    // with SQLGetData around them.
    if (!(ext & SQL_GD_ANY_COLUMN))
        return;
    for (std::size_t i = 0; i < m_cols.size(); ++i) {
        Column &c = m_cols[i];
        if (isVariable(c.kind))
            continue;
        c.data.resize(c.width);
        c.ind.resize(1);
        checkStmt(SQLBindCol(m_stmt, SQLUSMALLINT(i + 1), c.cType, c.data.data(), SQLLEN(c.width), c.ind.data()),
                  m_stmt, "SQLBindCol", m_sql);
        c.bound = true;
    }
}

bool ResultReader::fetchNext()
{
    const SQLRETURN rc = SQLFetch(m_stmt);
    if (rc == SQL_NO_DATA)
        return false;
    checkStmt(rc, m_stmt, "SQLFetch", m_sql);
    if (m_rowset == 1) {
        m_fetched = 1;
    } else {
        for (SQLULEN r = 0; r < m_fetched; ++r) {
            if (m_status[r] == SQL_ROW_ERROR)
                raise(SQL_HANDLE_STMT, m_stmt, SQL_ERROR, "SQLFetch", m_sql);
        }
    }
    m_next = 0;
    return m_fetched > 0;
}

std::size_t ResultReader::read(RowStore &store, std::size_t maxRows)
{
    std::size_t got = 0;
    while (got < maxRows && !m_done) {
        if (m_next >= m_fetched) {
            if (!fetchNext())
                m_done = true;
            continue;
        }
        const std::size_t r = m_next++;
        if (m_rowset > 1 && m_status[r] == SQL_ROW_NOROW)
            continue;
        store.beginRow();
        for (int c = 0; c < int(m_cols.size()); ++c)
            storeCell(store, c, r);
        store.endRow();
        ++got;
    }
    return got;
}

void ResultReader::storeCell(RowStore &store, int col, std::size_t row)
{
    Column &c = m_cols[std::size_t(col)];
    const bool variable = isVariable(c.kind);
    if (c.bound) {
        const SQLLEN ind = c.ind[row];
        if (ind == SQL_NULL_DATA) {
            store.setNull(col);
            return;
        }
        const char *p = c.data.data() + row * c.width;
        if (!variable) {
            storeValue(store, col, p, c.width);
            return;
        }
        const std::size_t room = c.width - (c.cType == SQL_C_CHAR ? 1 : 0);
        if (ind != SQL_NO_TOTAL && std::size_t(ind) <= room) {
            storeValue(store, col, p, std::size_t(ind));
            return;
        }
        // Longer than the buffer: read the whole value again from its row.
        checkStmt(SQLSetPos(m_stmt, SQLSETPOSIROW(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE), m_stmt, "SQLSetPos",
                  m_sql);
    } else if (!variable) {
        alignas(8) char buf[sizeof(SQL_TIMESTAMP_STRUCT) + 8];
        SQLLEN ind = 0;
        checkStmt(SQLGetData(m_stmt, SQLUSMALLINT(col + 1), c.cType, buf, SQLLEN(sizeof buf), &ind), m_stmt,
                  "SQLGetData", m_sql);
        if (ind == SQL_NULL_DATA)
            store.setNull(col);
        else
            storeValue(store, col, buf, c.width);
        return;
    }
    if (getLongData(m_stmt, SQLUSMALLINT(col + 1), c.cType, m_scratch, m_sql))
        storeValue(store, col, m_scratch.data(), m_scratch.size());
    else
        store.setNull(col);
}

void ResultReader::storeValue(RowStore &store, int col, const char *p, std::size_t len)
{
    switch (m_cols[std::size_t(col)].kind) {
    case Kind::Int: {
        SQLBIGINT v;
        std::memcpy(&v, p, sizeof v);
        store.setInt64(col, std::int64_t(v));
        break;
    }
    case Kind::Real: {
        SQLDOUBLE v;
        std::memcpy(&v, p, sizeof v);
        store.setReal(col, v);
        break;
    }
    case Kind::Date: {
        SQL_DATE_STRUCT d;
        std::memcpy(&d, p, sizeof d);
        const QDate date(d.year, d.month, d.day);
        if (!date.isValid())
            badValue(col, "date");
        store.setInt64(col, date.toJulianDay());
        break;
    }
    case Kind::Time: {
        SQL_TIME_STRUCT t;
        std::memcpy(&t, p, sizeof t);
        if (t.hour > 23 || t.minute > 59 || t.second > 59)
            badValue(col, "time");
        store.setInt64(col, ((std::int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000000);
        break;
    }
    case Kind::Timestamp: {
        SQL_TIMESTAMP_STRUCT ts;
        std::memcpy(&ts, p, sizeof ts);
        const QDate date(ts.year, ts.month, ts.day);
        if (!date.isValid() || ts.hour > 23 || ts.minute > 59 || ts.second > 59 || ts.fraction > 999999999u)
            badValue(col, "date and time");
        // The fraction is in nanoseconds; microseconds are what is held.
        const std::int64_t us = ((std::int64_t(ts.hour) * 60 + ts.minute) * 60 + ts.second) * 1000000 + ts.fraction / 1000;
        store.setInt64(col, (date.toJulianDay() - kEpochJulianDay) * kUsPerDay + us);
        break;
    }
    case Kind::Text: store.setText(col, p, len); break;
    case Kind::Decimal: {
        std::string canonical = canonicalDecimal(p, len);
        // Money may arrive written as money ("$12.34").
        if (m_fields[std::size_t(col)].Type == adCurrency && !isPlainDecimal(canonical)) {
            if (auto money = moneyDecimal(canonical))
                canonical = std::move(*money);
        }
        const int scale = m_fields[std::size_t(col)].NumericScale;
        if (m_padScale && scale > 0 && isPlainDecimal(canonical)) {
            const std::size_t point = canonical.find('.');
            const std::size_t have = point == std::string::npos ? 0 : canonical.size() - point - 1;
            if (point == std::string::npos)
                canonical += '.';
            if (have < std::size_t(scale))
                canonical.append(std::size_t(scale) - have, '0');
        }
        store.setText(col, canonical.data(), canonical.size());
        break;
    }
    case Kind::Blob: store.setBlob(col, p, len); break;
    }
}

void ResultReader::badValue(int col, const char *what) const
{
    throw DbError(QStringLiteral("The driver returned a value for column %1 that is not a valid %2")
                      .arg(m_fields[std::size_t(col)].Name, QLatin1String(what)),
                  {}, m_sql);
}

} // namespace db::odbc
