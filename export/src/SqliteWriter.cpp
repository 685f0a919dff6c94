#include "OfficeWriters.h"

#include "RowReader.h"
#include "TargetFile.h"

#include "db/Field.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "db/ValueRules.h"

#include <QSet>

#include <sqlite3.h>

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <memory>

namespace hlexport {

namespace {

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StmtCloser {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

QString quoted(const QString &name)
{
    return db::quoteIdentifier(name, QStringLiteral("\""));
}

// Records are inserted a batch at a time by one multi-row INSERT: running a statement costs far
// more than binding its values. A batch's values wait here, each bound in place when it runs.
constexpr std::size_t kBatchRows = 64;

class Batch {
public:
    void null() { m_values.push_back({Kind::Null, {}, 0}); }
    void integer(std::int64_t v) { m_values.push_back({Kind::Integer, {.integer = v}, 0}); }
    void real(double v) { m_values.push_back({Kind::Real, {.real = v}, 0}); }
    void text(std::string_view v) { bytes(Kind::Text, v); }
    void blob(std::string_view v) { bytes(Kind::Blob, v); }

    std::size_t rows(std::size_t columns) const { return columns ? m_values.size() / columns : 0; }

    void bind(sqlite3_stmt *stmt) const
    {
        int at = 1;
        for (const Value &v : m_values) {
            switch (v.kind) {
            case Kind::Null: sqlite3_bind_null(stmt, at); break;
            case Kind::Integer: sqlite3_bind_int64(stmt, at, v.number.integer); break;
            case Kind::Real: sqlite3_bind_double(stmt, at, v.number.real); break;
            // An empty text stays an empty text: bound with a pointer, never as a Null.
            case Kind::Text:
                sqlite3_bind_text64(stmt, at, m_bytes.data() + v.number.offset, v.length, SQLITE_STATIC, SQLITE_UTF8);
                break;
            case Kind::Blob: sqlite3_bind_blob64(stmt, at, m_bytes.data() + v.number.offset, v.length, SQLITE_STATIC); break;
            }
            ++at;
        }
    }

    void clear()
    {
        m_values.clear();
        m_bytes.clear();
    }

private:
    enum class Kind { Null, Integer, Real, Text, Blob };
    struct Value {
        Kind kind;
        union {
            std::int64_t integer;
            double real;
            std::size_t offset; // into m_bytes
        } number;
        std::size_t length;
    };

    void bytes(Kind kind, std::string_view v)
    {
        m_values.push_back({kind, {.offset = m_bytes.size()}, v.size()});
        m_bytes.append(v);
    }

    std::vector<Value> m_values;
    std::string m_bytes; // pointers into it are taken only once the batch is whole
};

// Exact decimals keep every digit: SQLite turns text in a NUMERIC column into a number, which
// holds 15 significant digits, so wider decimals are kept as text.
constexpr int kExactDigits = 15;

} // namespace

FieldMapping fieldInfo(const db::FieldInfo &f)
{
    using namespace db;
    switch (f.Type) {
    case adSmallInt:
    case adTinyInt:
    case adUnsignedTinyInt: return {3, f.Precision, QStringLiteral("SMALLINT")};
    case adInteger: return {4, f.Precision, QStringLiteral("INTEGER")};
    case adBigInt: return {16, f.Precision, QStringLiteral("BIGINT")};
    case adSingle: return {6, f.Precision, QStringLiteral("REAL")};
    case adDouble: return {7, f.Precision, QStringLiteral("DOUBLE")};
    case adCurrency:
        // MONEY has numeric affinity: wider amounts keep their digits as text, as decimals do.
        if (f.Precision > 0 && f.Precision <= kExactDigits)
            return {5, f.Precision, QStringLiteral("MONEY")};
        return {12, f.Precision, QStringLiteral("TEXT")};
    case adDecimal:
    case adNumeric:
        if (f.Precision > 0 && f.Precision <= kExactDigits)
            return {20, f.Precision, QStringLiteral("NUMERIC(%1,%2)").arg(f.Precision).arg(f.NumericScale)};
        return {12, f.Precision, QStringLiteral("TEXT")};
    case adBoolean: return {1, 0, QStringLiteral("BOOLEAN")};
    case adDBDate: return {8, 0, QStringLiteral("DATE")};
    case adDBTime: return {22, 0, QStringLiteral("TIME")};
    case adDate:
    case adDBTimeStamp: return {8, 0, QStringLiteral("DATETIME")};
    case adGUID: return {15, 16, QStringLiteral("GUID")};
    case adChar:
    case adWChar:
        if (f.DefinedSize > 0)
            return {10, f.DefinedSize, QStringLiteral("CHAR(%1)").arg(f.DefinedSize)};
        return {12, 0, QStringLiteral("TEXT")};
    default:
        if (f.DefinedSize > 0 && isTextType(f.Type))
            return {10, f.DefinedSize, QStringLiteral("VARCHAR(%1)").arg(f.DefinedSize)};
        return {12, f.DefinedSize, QStringLiteral("TEXT")};
    }
}

std::vector<QString> uniqueColumnNames(const ExportJob &job)
{
    std::vector<QString> names;
    QSet<QString> taken;
    for (const ExportColumn &column : job.columns) {
        QString name = column.name;
        if (name.isEmpty() || taken.contains(name.toCaseFolded())) {
            name = QStringLiteral("F%1").arg(column.field);
            for (int k = 2; taken.contains(name.toCaseFolded()); ++k)
                name = QStringLiteral("F%1_%2").arg(column.field).arg(k);
        }
        taken.insert(name.toCaseFolded());
        names.push_back(name);
    }
    return names;
}

WriteResult writeSqlite(const ExportJob &job)
{
    TargetFile target(job.fileName);
    sqlite3 *raw = nullptr;
    const int openRc = sqlite3_open_v2(target.tempPath().toUtf8().constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    auto fail = [&](const QString &what) -> ExportError {
        const QString why = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QStringLiteral("out of memory");
        return ExportError(target.failureText(what + QStringLiteral(": ") + why,
                                              raw && sqlite3_errcode(raw) == SQLITE_FULL ? ENOSPC : 0));
    };
    if (openRc != SQLITE_OK)
        throw fail(QStringLiteral("cannot create the database"));
    auto exec = [&](const QString &sql) {
        if (sqlite3_exec(raw, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw fail(QStringLiteral("cannot write the database"));
    };
    // The file is new and is renamed into place only when complete, and a failed one is thrown
    // away: a journal buys nothing, and the rename is preceded by a flush of its own. The largest
    // pages write the table in a sixteenth of the system calls.
    exec(QStringLiteral("PRAGMA page_size=65536"));
    exec(QStringLiteral("PRAGMA journal_mode=OFF"));
    exec(QStringLiteral("PRAGMA synchronous=OFF"));

    const std::vector<QString> names = uniqueColumnNames(job);
    const std::vector<db::FieldInfo> &fields = job.rs->store()->fields();
    QString create = QStringLiteral("CREATE TABLE %1 (").arg(quoted(job.exportName));
    for (std::size_t i = 0; i < job.columns.size(); ++i) {
        const FieldMapping m = fieldInfo(fields[std::size_t(job.columns[i].field)]);
        if (i > 0)
            create += QStringLiteral(", ");
        create += quoted(names[i]) + u' ' + m.declared;
    }
    create += u')';

    exec(QStringLiteral("BEGIN"));
    exec(create);
    const std::size_t columns = job.columns.size();
    const std::size_t variables = std::size_t(std::max(1, sqlite3_limit(raw, SQLITE_LIMIT_VARIABLE_NUMBER, -1)));
    const std::size_t batchRows = std::max<std::size_t>(1, std::min(kBatchRows, variables / std::max<std::size_t>(columns, 1)));
    // An INSERT of `rows` records.
    auto prepare = [&](std::size_t rows) {
        QString row = QStringLiteral("(");
        for (std::size_t i = 0; i < columns; ++i)
            row += i > 0 ? QStringLiteral(", ?") : QStringLiteral("?");
        row += u')';
        QString insert = QStringLiteral("INSERT INTO %1 VALUES ").arg(quoted(job.exportName));
        for (std::size_t r = 0; r < rows; ++r) {
            if (r > 0)
                insert += QStringLiteral(", ");
            insert += row;
        }
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(raw, insert.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
            throw fail(QStringLiteral("cannot write the database"));
        return std::unique_ptr<sqlite3_stmt, StmtCloser>(stmt);
    };
    std::unique_ptr<sqlite3_stmt, StmtCloser> full = prepare(batchRows);

    Batch batch;
    std::size_t written = 0; // records in the file
    auto insertBatch = [&](sqlite3_stmt *stmt) {
        batch.bind(stmt);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            throw fail(QStringLiteral("cannot write records %1 to %2").arg(written + 1).arg(written + batch.rows(columns)));
        sqlite3_reset(stmt);
        written += batch.rows(columns);
        batch.clear();
    };

    RowReader row(job);
    std::size_t read = 0;
    char buf[64];
    for (std::size_t r = 0; row.seek(r); ++r) {
        for (std::size_t i = 0; i < columns; ++i) {
            const int field = job.columns[i].field;
            if (row.isNull(field)) {
                batch.null();
                continue;
            }
            const int type = row.type(field);
            switch (db::storageOf(type)) {
            case db::Storage::Int64:
                if (db::isDateType(type)) {
                    std::size_t n = db::RowStore::formatScalar(type, row.int64(field), 0, buf, row.zone(field));
                    // SQLite's date functions read an offset only as +HH:MM: a whole hour gets its minutes.
                    const bool wholeHour = n >= 3 && (buf[n - 3] == '+' || buf[n - 3] == '-');
                    if (row.zone(field) != db::RowStore::kNoZone && wholeHour) {
                        buf[n++] = ':';
                        buf[n++] = '0';
                        buf[n++] = '0';
                    }
                    batch.text({buf, n});
                } else {
                    batch.integer(row.int64(field));
                }
                break;
            case db::Storage::Double:
                // SQLite stores a NaN as a Null: it is kept as its text instead.
                if (std::isnan(row.real(field)))
                    batch.text("NaN");
                else
                    batch.real(row.real(field));
                break;
            case db::Storage::Text: batch.text(row.bytes(field)); break;
            case db::Storage::Blob: batch.blob(row.bytes(field)); break;
            }
        }
        ++read;
        if (batch.rows(columns) == batchRows)
            insertBatch(full.get());
        if (job.progress->record(read))
            return {WriteResult::Stopped, read, {}};
    }
    full.reset();
    if (batch.rows(columns) > 0)
        insertBatch(prepare(batch.rows(columns)).get());
    exec(QStringLiteral("COMMIT"));
    if (sqlite3_close(db.get()) != SQLITE_OK)
        throw fail(QStringLiteral("cannot close the database"));
    db.release();
    if (!target.commit(*job.progress))
        return {WriteResult::Stopped, written, {}};
    return {WriteResult::Done, written, {}};
}

} // namespace hlexport
