#include "DbFixtures.h"

#include "db/DbError.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include <memory>

// The ODBC conformance database is a SQLite file reached through the SQLite3 ODBC driver.
// What that driver reports differs from the native SQLite client, and the shared suite has to
// expect it for providerName() == "ODBC":
//   real_v          SQL_DOUBLE  -> adDouble (5), not adSingle: the driver has no single type
//   num_v           the driver says SQL_DOUBLE named "numeric", without precision or scale; the
//                   declaration read from the catalogue types it adNumeric (10, 2) as natively
//   ch_v            SQL_VARCHAR -> adVarWChar (202), DefinedSize 5: the driver has no fixed char
//   Nullable        always true: the driver cannot report NOT NULL
//   expressions     typed by the driver from the expression (text 202, integer 3, real 5),
//                   not from the first value
// Everything else (integers, Boolean, dates, times, timestamps, varchar(40) with 40, text with
// DefinedSize 0, blob 205) maps as for the native client.
namespace dbtest {

namespace {

struct EnvDeleter {
    void operator()(SQLHENV h) const { SQLFreeHandle(SQL_HANDLE_ENV, h); }
};

} // namespace

bool odbcDriverRegistered(const char *name)
{
    SQLHENV raw = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw)))
        return false;
    std::unique_ptr<void, EnvDeleter> env(raw);
    SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLCHAR description[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT dlen = 0, alen = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(raw, direction, description, sizeof description, &dlen, attributes,
                                    sizeof attributes, &alen))) {
        if (qstricmp(reinterpret_cast<const char *>(description), name) == 0)
            return true;
        direction = SQL_FETCH_NEXT;
    }
    return false;
}

namespace {

struct SqliteCloser {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};

class OdbcSqliteDatabase final : public TestDatabase {
public:
    explicit OdbcSqliteDatabase(std::unique_ptr<QTemporaryDir> dir)
        : m_dir(std::move(dir)), m_path(m_dir->filePath(QStringLiteral("conformance.db")))
    {
    }

    QString connectionString() const override
    {
        return QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1").arg(m_path);
    }

    QString providerName() const override { return QStringLiteral("ODBC"); }

    // A script of several statements, through the SQLite library itself.
    void exec(const QString &sql) override
    {
        sqlite3 *raw = nullptr;
        const int openRc = sqlite3_open_v2(m_path.toUtf8().constData(), &raw,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        std::unique_ptr<sqlite3, SqliteCloser> db(raw);
        if (openRc != SQLITE_OK)
            throw db::DbError(QStringLiteral("test database: ") + QString::fromUtf8(sqlite3_errmsg(raw)));
        sqlite3_busy_timeout(raw, 5000);
        char *error = nullptr;
        if (sqlite3_exec(raw, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(raw));
            sqlite3_free(error);
            throw db::DbError(message, {}, sql);
        }
    }

    QString path() const { return m_path; }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

} // namespace

std::unique_ptr<TestDatabase> makeOdbcDatabase()
{
    if (!odbcDriverRegistered("SQLite3"))
        return nullptr;
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid())
        throw db::DbError(QStringLiteral("test database: no temporary folder"));
    auto db = std::make_unique<OdbcSqliteDatabase>(std::move(dir));
    db->exec(QString::fromUtf8(sqliteConformanceSchema()));
    return db;
}

} // namespace dbtest
