#include "OfficeWriters.h"

#include "RowReader.h"
#include "TargetFile.h"

#include "db/Field.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"

#include <QSet>

#include <sqlite3.h>

#include <cerrno>
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
    QString out = name;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

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
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
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
    // The file is new and is renamed into place only when complete; a journal on disk buys
    // nothing, and the rename is preceded by a flush of its own.
    exec(QStringLiteral("PRAGMA journal_mode=MEMORY"));
    exec(QStringLiteral("PRAGMA synchronous=OFF"));

    const std::vector<QString> names = uniqueColumnNames(job);
    const std::vector<db::FieldInfo> &fields = job.rs->store()->fields();
    QString create = QStringLiteral("CREATE TABLE %1 (").arg(quoted(job.exportName));
    QString insert = QStringLiteral("INSERT INTO %1 VALUES (").arg(quoted(job.exportName));
    for (std::size_t i = 0; i < job.columns.size(); ++i) {
        const FieldMapping m = fieldInfo(fields[std::size_t(job.columns[i].field)]);
        if (i > 0) {
            create += QStringLiteral(", ");
            insert += QStringLiteral(", ");
        }
        create += quoted(names[i]) + u' ' + m.declared;
        insert += u'?';
    }
    create += u')';
    insert += u')';

    exec(QStringLiteral("BEGIN"));
    exec(create);
    sqlite3_stmt *rawStmt = nullptr;
    if (sqlite3_prepare_v2(raw, insert.toUtf8().constData(), -1, &rawStmt, nullptr) != SQLITE_OK)
        throw fail(QStringLiteral("cannot write the database"));
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(rawStmt);

    RowReader row(job);
    std::size_t written = 0;
    char buf[64];
    for (std::size_t r = 0; row.seek(r); ++r) {
        for (std::size_t i = 0; i < job.columns.size(); ++i) {
            const int field = job.columns[i].field;
            const int col = int(i) + 1;
            if (row.isNull(field)) {
                sqlite3_bind_null(rawStmt, col);
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
                    sqlite3_bind_text(rawStmt, col, buf, int(n), SQLITE_TRANSIENT);
                } else {
                    sqlite3_bind_int64(rawStmt, col, row.int64(field));
                }
                break;
            case db::Storage::Double:
                // SQLite stores a NaN as a Null: it is kept as its text instead.
                if (std::isnan(row.real(field)))
                    sqlite3_bind_text(rawStmt, col, "NaN", 3, SQLITE_STATIC);
                else
                    sqlite3_bind_double(rawStmt, col, row.real(field));
                break;
            case db::Storage::Text: {
                const std::string_view text = row.bytes(field);
                // An empty text stays an empty text: bound with a pointer, never as a Null.
                sqlite3_bind_text64(rawStmt, col, text.empty() ? "" : text.data(), text.size(), SQLITE_STATIC,
                                    SQLITE_UTF8);
                break;
            }
            case db::Storage::Blob: {
                const std::string_view bytes = row.bytes(field);
                sqlite3_bind_blob64(rawStmt, col, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_STATIC);
                break;
            }
            }
        }
        if (sqlite3_step(rawStmt) != SQLITE_DONE)
            throw fail(QStringLiteral("cannot write record %1").arg(r + 1));
        sqlite3_reset(rawStmt);
        ++written;
        if (job.progress->record(written))
            return {WriteResult::Stopped, written, {}};
    }
    stmt.reset();
    exec(QStringLiteral("COMMIT"));
    if (sqlite3_close(db.get()) != SQLITE_OK)
        throw fail(QStringLiteral("cannot close the database"));
    db.release();
    target.commit();
    return {WriteResult::Done, written, {}};
}

} // namespace hlexport
