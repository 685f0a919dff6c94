#include "db/backends/SqliteReader.h"

#include "db/ValueRules.h"
#include "db/Worker.h"
#include "db/backends/SqliteTypes.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace db::backends::sqlite {

void throwError(sqlite3 *db, int rc, const QString &statement)
{
    const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    const int code = db ? sqlite3_extended_errcode(db) : rc;
    // The SQLSTATE of a cancelled statement, as the other clients report it.
    const QString state = (code & 0xff) == SQLITE_INTERRUPT ? QStringLiteral("57014") : QString();
    throw DbError(message, state, statement, code);
}

bool stoppedBeforeStep(sqlite3_stmt *stmt)
{
    return !sqlite3_stmt_busy(stmt) && worker::callStopped();
}

struct StatementReader::LiveSource {
    sqlite3_stmt *s;
    int type(int c) const { return sqlite3_column_type(s, c); }
    std::int64_t i(int c) const { return sqlite3_column_int64(s, c); }
    double d(int c) const { return sqlite3_column_double(s, c); }
    std::string_view text(int c) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, c));
        const int n = sqlite3_column_bytes(s, c);
        return p ? std::string_view(p, std::size_t(n)) : std::string_view();
    }
    std::string_view blob(int c) const
    {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(s, c));
        const int n = sqlite3_column_bytes(s, c);
        return p ? std::string_view(p, std::size_t(n)) : std::string_view();
    }
};

struct StatementReader::HeldSource {
    const std::vector<Cell> &row;
    int type(int c) const { return row[std::size_t(c)].type; }
    std::int64_t i(int c) const { return row[std::size_t(c)].i; }
    double d(int c) const { return row[std::size_t(c)].d; }
    std::string_view text(int c) const { return row[std::size_t(c)].bytes; }
    std::string_view blob(int c) const { return row[std::size_t(c)].bytes; }
};

StatementReader::StatementReader(sqlite3 *db, StmtPtr stmt, long maxRecords, bool probeRows)
    : m_db(db)
    , m_stmt(std::move(stmt))
    , m_maxRecords(maxRecords > 0 ? maxRecords : 0)
{
    sqlite3_stmt *s = m_stmt.get();
    const int n = sqlite3_column_count(s);
    bool untyped = false;
    for (int c = 0; c < n; ++c) {
        const char *decl = sqlite3_column_decltype(s, c);
        FieldInfo f = fieldForDeclaredType(decl ? QString::fromUtf8(decl) : QString());
        f.Name = QString::fromUtf8(sqlite3_column_name(s, c));
        const char *table = sqlite3_column_table_name(s, c);
        const char *origin = sqlite3_column_origin_name(s, c);
        const char *schema = sqlite3_column_database_name(s, c);
        if (table && origin) {
            f.BaseTableName = QString::fromUtf8(table);
            f.BaseColumnName = QString::fromUtf8(origin);
            if (schema && std::string_view(schema) != "main")
                f.BaseSchemaName = QString::fromUtf8(schema);
            int notNull = 0, primaryKey = 0;
            if (sqlite3_table_column_metadata(m_db, schema, table, origin, nullptr, nullptr, &notNull, &primaryKey,
                                              nullptr)
                == SQLITE_OK) {
                // An INTEGER PRIMARY KEY is the rowid, which is never Null.
                const bool rowid = primaryKey && f.DeclaredType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
                f.Nullable = !notNull && !rowid;
            }
        }
        untyped = untyped || f.Type == adEmpty;
        m_fields.push_back(std::move(f));
    }
    if (untyped && probeRows)
        probe();
    for (FieldInfo &f : m_fields) {
        if (f.Type == adEmpty)
            f.Type = adVarWChar;
    }
    m_kinds.resize(std::size_t(n));
    for (int c = 0; c < n; ++c)
        setKind(c);
    m_types.resize(std::size_t(n));
    m_ints.resize(std::size_t(n));
    m_reals.resize(std::size_t(n));
    m_texts.resize(std::size_t(n));
}

void StatementReader::probe()
{
    std::vector<int> pending;
    for (int c = 0; c < int(m_fields.size()); ++c) {
        if (m_fields[std::size_t(c)].Type == adEmpty)
            pending.push_back(c);
    }
    sqlite3_stmt *s = m_stmt.get();
    while (!pending.empty() && m_held.size() < kProbeRows
           && (m_maxRecords == 0 || m_held.size() < std::size_t(m_maxRecords))) {
        if (!step())
            break;
        std::vector<Cell> row(m_fields.size());
        for (int c = 0; c < int(row.size()); ++c) {
            Cell &cell = row[std::size_t(c)];
            cell.type = sqlite3_column_type(s, c);
            if (cell.type == SQLITE_NULL)
                continue;
            cell.i = sqlite3_column_int64(s, c);
            cell.d = sqlite3_column_double(s, c);
            const void *p = cell.type == SQLITE_BLOB ? sqlite3_column_blob(s, c) : sqlite3_column_text(s, c);
            if (p)
                cell.bytes.assign(static_cast<const char *>(p), std::size_t(sqlite3_column_bytes(s, c)));
        }
        std::erase_if(pending, [&](int c) {
            const int t = row[std::size_t(c)].type;
            if (t == SQLITE_NULL)
                return false;
            m_fields[std::size_t(c)].Type = typeOfStorageClass(t);
            setNumberSizes(m_fields[std::size_t(c)]);
            return true;
        });
        m_held.push_back(std::move(row));
    }
}

void StatementReader::setKind(int col)
{
    Kind k = Kind::Text;
    switch (m_fields[std::size_t(col)].Type) {
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adTinyInt:
        k = Kind::Int;
        break;
    case adBoolean: k = Kind::Bool; break;
    case adSingle:
    case adDouble:
        k = Kind::Real;
        break;
    case adNumeric:
    case adDecimal:
    case adCurrency:
        k = Kind::Numeric;
        break;
    case adDBDate: k = Kind::Date; break;
    case adDBTime: k = Kind::Time; break;
    case adDBTimeStamp: k = Kind::Timestamp; break;
    case adGUID: k = Kind::Guid; break;
    case adLongVarBinary:
    case adVarBinary:
    case adBinary:
        k = Kind::Blob;
        break;
    default: break;
    }
    m_kinds[std::size_t(col)] = k;
}

bool StatementReader::step()
{
    if (m_stepDone || !m_stmt)
        return false;
    const bool stopped = stoppedBeforeStep(m_stmt.get());
    const int rc = stopped ? SQLITE_INTERRUPT : sqlite3_step(m_stmt.get());
    if (rc == SQLITE_ROW)
        return true;
    m_stepDone = true;
    if (rc == SQLITE_DONE)
        return false;
    const QString sql = QString::fromUtf8(sqlite3_sql(m_stmt.get()));
    try {
        throwError(stopped ? nullptr : m_db, rc, sql);
    } catch (...) {
        release();
        throw;
    }
}

void StatementReader::release()
{
    m_stmt.reset();
    m_held.clear();
    m_heldPos = 0;
    m_end = true;
}

std::size_t StatementReader::fetch(RowStore &store, std::size_t maxRows)
{
    store.reserve(std::min<std::size_t>(maxRows, 65536)); // a fresh chunk is sized once, not grown by doubling
    std::size_t n = 0;
    const auto limitReached = [&] { return m_maxRecords > 0 && m_delivered >= std::size_t(m_maxRecords); };
    while (n < maxRows && !m_end) {
        if (limitReached()) {
            release();
            break;
        }
        if (m_heldPos < m_held.size()) {
            appendRow(store, HeldSource{m_held[m_heldPos++]});
            if (m_heldPos == m_held.size()) {
                m_held = {};
                m_heldPos = 0;
            }
        } else {
            if (!step()) {
                release();
                break;
            }
            appendRow(store, LiveSource{m_stmt.get()});
        }
        ++n;
        ++m_delivered;
    }
    if (!m_end && (limitReached() || (m_stepDone && m_held.empty())))
        release();
    return n;
}

void StatementReader::retype(RowStore &store, int col, int type)
{
    FieldInfo f = m_fields[std::size_t(col)];
    f.Type = type;
    f.DefinedSize = 0;
    f.Precision = 0;
    f.NumericScale = 0;
    setNumberSizes(f);
    if (col < store.columnCount() && store.fields()[std::size_t(col)].Type != type)
        store.retypeColumn(col, f);
    m_fields[std::size_t(col)] = std::move(f);
    setKind(col);
}

template <class Source> void StatementReader::decode(RowStore &store, const Source &src, int c)
{
    const std::size_t k = std::size_t(c);
    const int t = m_types[k];
    for (;;) {
        switch (m_kinds[k]) {
        case Kind::Int:
            if (t == SQLITE_INTEGER) {
                m_ints[k] = src.i(c);
                return;
            }
            if (t == SQLITE_FLOAT) {
                const double d = src.d(c);
                if (d == std::trunc(d) && d >= -9.2233720368547758e18 && d < 9.2233720368547758e18) {
                    m_ints[k] = std::int64_t(d);
                    return;
                }
                retype(store, c, adDouble);
                continue;
            }
            if (t == SQLITE_TEXT) {
                if (const auto n = parseInteger(src.text(c))) {
                    m_ints[k] = *n;
                    return;
                }
            }
            retype(store, c, adVarWChar);
            continue;
        case Kind::Bool:
            if (t == SQLITE_INTEGER) {
                const std::int64_t v = src.i(c);
                if (v == 0 || v == 1) {
                    m_ints[k] = v;
                    return;
                }
                retype(store, c, adInteger);
                continue;
            }
            if (t == SQLITE_FLOAT) {
                const double d = src.d(c);
                if (d == 0 || d == 1) {
                    m_ints[k] = d == 1;
                    return;
                }
                retype(store, c, adDouble);
                continue;
            }
            retype(store, c, adVarWChar);
            continue;
        case Kind::Real:
            if (t == SQLITE_FLOAT) {
                m_reals[k] = src.d(c);
                return;
            }
            if (t == SQLITE_INTEGER) {
                const std::int64_t v = src.i(c);
                const double d = double(v);
                if (d < 9.2233720368547758e18 && std::int64_t(d) == v) {
                    m_reals[k] = d;
                    return;
                }
            } else if (t == SQLITE_TEXT && parseDouble(src.text(c), m_reals[k])) {
                return;
            }
            retype(store, c, adVarWChar);
            continue;
        case Kind::Numeric: {
            const int scale = m_fields[k].NumericScale;
            if (t == SQLITE_INTEGER) {
                decimalFromInt64(src.i(c), scale, m_texts[k]);
                return;
            }
            if (t == SQLITE_FLOAT && decimalFromDouble(src.d(c), scale, m_texts[k]))
                return;
            if (t == SQLITE_TEXT && canonicalDecimal(src.text(c), scale, m_texts[k]))
                return;
            retype(store, c, adVarWChar);
            continue;
        }
        case Kind::Date:
            if (t == SQLITE_TEXT && parseDate(src.text(c), m_ints[k]))
                return;
            retype(store, c, adVarWChar);
            continue;
        case Kind::Time:
            if (t == SQLITE_TEXT && parseTime(src.text(c), m_ints[k]))
                return;
            retype(store, c, adVarWChar);
            continue;
        case Kind::Timestamp:
            if (t == SQLITE_TEXT && parseTimestamp(src.text(c), m_ints[k]))
                return;
            retype(store, c, adVarWChar);
            continue;
        case Kind::Text:
        case Kind::Guid:
        case Kind::Blob:
            return;
        }
    }
}

template <class Source> void StatementReader::appendRow(RowStore &store, const Source &src)
{
    const int n = int(m_fields.size());
    // Decoding comes first, so that a re-typed column never meets a half-appended row.
    for (int c = 0; c < n; ++c) {
        m_types[std::size_t(c)] = src.type(c);
        if (m_types[std::size_t(c)] != SQLITE_NULL && m_kinds[std::size_t(c)] < Kind::Text)
            decode(store, src, c);
    }
    store.beginRow();
    for (int c = 0; c < n; ++c) {
        const std::size_t k = std::size_t(c);
        if (m_types[k] == SQLITE_NULL)
            continue;
        switch (m_kinds[k]) {
        case Kind::Int:
        case Kind::Bool:
        case Kind::Date:
        case Kind::Time:
        case Kind::Timestamp:
            store.setInt64(c, m_ints[k]);
            break;
        case Kind::Real: store.setReal(c, m_reals[k]); break;
        case Kind::Numeric: store.setText(c, m_texts[k].data(), m_texts[k].size()); break;
        case Kind::Text: {
            const std::string_view v = src.text(c);
            store.setText(c, v.data(), v.size());
            break;
        }
        case Kind::Guid: {
            if (m_types[k] == SQLITE_BLOB) {
                const std::string_view b = src.blob(c);
                if (b.size() == 16) {
                    const std::string g = guidText(reinterpret_cast<const unsigned char *>(b.data()));
                    store.setText(c, g.data(), g.size());
                    break;
                }
            }
            const std::string_view v = src.text(c);
            store.setText(c, v.data(), v.size());
            break;
        }
        case Kind::Blob: {
            const std::string_view b = src.blob(c);
            store.setBlob(c, b.data() ? b.data() : "", b.size());
            break;
        }
        }
    }
    store.endRow();
}

} // namespace db::backends::sqlite
