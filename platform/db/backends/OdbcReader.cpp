#include "db/backends/OdbcReader.h"

#include "db/ValueRules.h"

#include "db/backends/OdbcHandles.h"
#include "db/backends/OdbcSql.h"

#include <QDate>

#include <algorithm>
#include <cstdio>
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
    , m_postgres(traits.postgres)
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
        // Dates and times of the PostgreSQL driver are read from its text: its date structure
        // turns infinity into today (the text says 0000-00-00, shown as it stands rather than as
        // a day it is not), and a time structure has no fraction and no 24:00:00.
        case adDBDate:
            if (traits.postgres)
                set(Kind::Date, SQL_C_CHAR, 64);
            else
                set(Kind::Date, SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT));
            break;
        case adDBTime:
            if (traits.postgres)
                set(Kind::Time, SQL_C_CHAR, 64);
            else
                set(Kind::Time, SQL_C_TYPE_TIME, sizeof(SQL_TIME_STRUCT));
            break;
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
    // A chunk started from the columns as they were first described.
    for (int c = 0; c < int(m_cols.size()); ++c) {
        if (m_cols[std::size_t(c)].asText && store.fields()[std::size_t(c)].Type != adVarWChar)
            store.retypeColumn(c, m_fields[std::size_t(c)]);
    }
    m_cells.resize(m_cols.size());
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
        // The whole row is read first: a date the driver could not make one of turns its column
        // into text before the row is stored, and the rest of the result still comes.
        for (int c = 0; c < int(m_cols.size()); ++c) {
            Cell &cell = m_cells[std::size_t(c)];
            readCell(c, r, cell);
            if (cell.null || !isTemporal(m_cols[std::size_t(c)].kind))
                continue;
            decodeTemporal(c, cell);
            if (!cell.valid && !m_cols[std::size_t(c)].asText)
                toText(store, c);
        }
        store.beginRow();
        for (int c = 0; c < int(m_cols.size()); ++c) {
            const Cell &cell = m_cells[std::size_t(c)];
            if (cell.null)
                store.setNull(c);
            else
                storeValue(store, c, cell);
        }
        store.endRow();
        ++got;
    }
    return got;
}

void ResultReader::readCell(int col, std::size_t row, Cell &cell)
{
    Column &c = m_cols[std::size_t(col)];
    cell = Cell{};
    const bool variable = isVariable(c.kind);
    const bool text = c.cType == SQL_C_CHAR;
    // A date or time asked for as text: its length, within the buffer.
    auto textLength = [&](const char *p, SQLLEN ind) {
        return ind >= 0 && std::size_t(ind) < c.width ? std::size_t(ind) : ::strnlen(p, c.width - 1);
    };
    if (c.bound) {
        const SQLLEN ind = c.ind[row];
        if (ind == SQL_NULL_DATA)
            return;
        const char *p = c.data.data() + row * c.width;
        cell.null = false;
        cell.p = p;
        if (!variable) {
            cell.len = text ? textLength(p, ind) : c.width;
            return;
        }
        const std::size_t room = c.width - (text ? 1 : 0);
        if (ind != SQL_NO_TOTAL && std::size_t(ind) <= room) {
            cell.len = std::size_t(ind);
            return;
        }
        // Longer than the buffer: read the whole value again from its row.
        cell = Cell{};
        checkStmt(SQLSetPos(m_stmt, SQLSETPOSIROW(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE), m_stmt, "SQLSetPos",
                  m_sql);
    } else if (!variable) {
        c.held.assign(std::max<std::size_t>(c.width, 64), '\0');
        SQLLEN ind = 0;
        checkStmt(SQLGetData(m_stmt, SQLUSMALLINT(col + 1), c.cType, c.held.data(), SQLLEN(c.held.size()), &ind),
                  m_stmt, "SQLGetData", m_sql);
        if (ind == SQL_NULL_DATA)
            return;
        cell.null = false;
        cell.p = c.held.data();
        cell.len = text ? textLength(cell.p, ind) : c.width;
        return;
    }
    if (getLongData(m_stmt, SQLUSMALLINT(col + 1), c.cType, c.held, m_sql)) {
        cell.null = false;
        cell.p = c.held.data();
        cell.len = c.held.size();
    }
}

void ResultReader::decodeTemporal(int col, Cell &cell) const
{
    const Column &c = m_cols[std::size_t(col)];
    if (c.cType == SQL_C_CHAR) {
        // ISO text is ASCII: widened in place, without a QString a cell.
        char16_t wide[64];
        const std::size_t n = std::min(cell.len, sizeof wide / sizeof wide[0]);
        bool ascii = n == cell.len;
        for (std::size_t i = 0; i < n && ascii; ++i) {
            ascii = static_cast<unsigned char>(cell.p[i]) < 0x80;
            wide[i] = char16_t(static_cast<unsigned char>(cell.p[i]));
        }
        cell.valid = ascii
            && RowStore::parseTemporal(temporalType(c.kind), QStringView(wide, qsizetype(n)), cell.v, &cell.zone);
        return;
    }
    switch (c.kind) {
    case Kind::Date: {
        SQL_DATE_STRUCT d;
        std::memcpy(&d, cell.p, sizeof d);
        const QDate date(d.year, d.month, d.day); // a negative year is one before Christ, as QDate counts
        cell.valid = date.isValid();
        cell.v = date.toJulianDay();
        break;
    }
    case Kind::Time: {
        SQL_TIME_STRUCT t;
        std::memcpy(&t, cell.p, sizeof t);
        const bool endOfDay = t.hour == 24 && t.minute == 0 && t.second == 0;
        cell.valid = endOfDay || (t.hour <= 23 && t.minute <= 59 && t.second <= 59);
        cell.v = ((std::int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000000;
        break;
    }
    case Kind::Timestamp: {
        SQL_TIMESTAMP_STRUCT ts;
        std::memcpy(&ts, cell.p, sizeof ts);
        const QDate date(ts.year, ts.month, ts.day);
        cell.valid = date.isValid() && ts.hour <= 23 && ts.minute <= 59 && ts.second <= 59 && ts.fraction <= 999999999u;
        // The fraction is in nanoseconds; microseconds are what is held.
        const std::int64_t us =
            ((std::int64_t(ts.hour) * 60 + ts.minute) * 60 + ts.second) * 1000000 + ts.fraction / 1000;
        cell.v = (date.toJulianDay() - kEpochJulianDay) * kUsPerDay + us;
        // The PostgreSQL driver writes -infinity as a year before the first day the server can
        // hold (4714-11-24 BC, Julian day 0).
        if (cell.valid && m_postgres && date.toJulianDay() < 0)
            cell.v = RowStore::kMinusInfinity;
        break;
    }
    default: break;
    }
}

int ResultReader::temporalType(Kind k)
{
    return k == Kind::Date ? adDBDate : k == Kind::Time ? adDBTime : adDBTimeStamp;
}

void ResultReader::toText(RowStore &store, int col)
{
    m_cols[std::size_t(col)].asText = true;
    FieldInfo &f = m_fields[std::size_t(col)];
    f.Type = adVarWChar;
    f.DefinedSize = 0;
    f.Precision = 0;
    f.NumericScale = 0;
    if (store.fields()[std::size_t(col)].Type != adVarWChar)
        store.retypeColumn(col, f); // the rows so far keep their text
}

void ResultReader::storeValue(RowStore &store, int col, const Cell &cell)
{
    const Column &c = m_cols[std::size_t(col)];
    const char *p = cell.p;
    const std::size_t len = cell.len;
    switch (c.kind) {
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
    case Kind::Date:
    case Kind::Time:
    case Kind::Timestamp: {
        if (!c.asText) {
            store.setInt64(col, cell.v);
            if (cell.zone != RowStore::kNoZone)
                store.setZone(col, cell.zone);
            break;
        }
        char buf[96];
        if (cell.valid) {
            store.setText(col, buf, RowStore::formatScalar(temporalType(c.kind), cell.v, 0, buf, cell.zone));
        } else if (c.cType == SQL_C_CHAR) {
            store.setText(col, p, len);
        } else {
            // What the driver put in the structure, as it put it.
            int n = 0;
            if (c.kind == Kind::Date) {
                SQL_DATE_STRUCT d;
                std::memcpy(&d, p, sizeof d);
                n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(d.year), unsigned(d.month), unsigned(d.day));
            } else if (c.kind == Kind::Time) {
                SQL_TIME_STRUCT t;
                std::memcpy(&t, p, sizeof t);
                n = std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", unsigned(t.hour), unsigned(t.minute),
                                  unsigned(t.second));
            } else {
                SQL_TIMESTAMP_STRUCT ts;
                std::memcpy(&ts, p, sizeof ts);
                n = std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%09u", int(ts.year),
                                  unsigned(ts.month), unsigned(ts.day), unsigned(ts.hour), unsigned(ts.minute),
                                  unsigned(ts.second), unsigned(ts.fraction));
            }
            store.setText(col, buf, std::size_t(std::clamp(n, 0, int(sizeof buf) - 1)));
        }
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

} // namespace db::odbc
