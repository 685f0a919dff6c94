#include "DbFixtures.h"

#include "db/ConnectionString.h"
#include "db/DbError.h"

#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace dbtest {

TestDatabase::~TestDatabase() = default;

namespace {

const char *const kSqliteSchema = R"SQL(
CREATE TABLE conf_types(
  id integer PRIMARY KEY, small_v smallint, int_v integer, big_v bigint, bool_v boolean, real_v real,
  double_v double precision, num_v numeric(10,2), date_v date, time_v time, ts_v timestamp,
  vc_v varchar(40), text_v text, ch_v char(5), blob_v blob);
INSERT INTO conf_types VALUES
  (1, -32768, 2147483647, 9007199254740993, true, 1.5, 3.25, 12345678.91, '2024-02-29', '13:45:30',
   '2024-02-29 13:45:30', 'O''Brien', 'Müller' || char(10) || 'Ødegaard', 'ab', X'0001FF'),
  (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (3, 0, -1, -9007199254740993, false, -0.25, -1e300, -0.05, '1900-01-01', '00:00:00',
   '1999-12-31 23:59:59', '', 'tab' || char(9) || 'and "quotes"', 'x', X'');
CREATE TABLE conf_big(id integer PRIMARY KEY, label varchar(20), amount numeric(12,2));
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000)
  INSERT INTO conf_big SELECT i, 'row ' || i, i * 1.25 FROM n;
CREATE TABLE "conf Name with blank"("Order Id" integer, "Line ""quoted""" text);
INSERT INTO "conf Name with blank" VALUES (1, 'a'), (2, 'b');
CREATE VIEW conf_view AS SELECT id, label FROM conf_big WHERE id <= 10;
)SQL";

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};

class SqliteDatabase final : public TestDatabase {
public:
    SqliteDatabase(std::unique_ptr<QTemporaryDir> dir, std::unique_ptr<sqlite3, DbCloser> db, QString path)
        : m_dir(std::move(dir)), m_db(std::move(db)), m_path(std::move(path))
    {
    }

    QString connectionString() const override
    {
        db::ConnectionString cs;
        cs.setValue(QStringLiteral("Provider"), QStringLiteral("SQLite"));
        cs.setValue(QStringLiteral("Data Source"), m_path);
        return cs.toString();
    }

    QString providerName() const override { return QStringLiteral("SQLite"); }

    void exec(const QString &sql) override
    {
        char *message = nullptr;
        if (sqlite3_exec(m_db.get(), sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
            const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db.get()));
            sqlite3_free(message);
            throw db::DbError(text, QString(), sql);
        }
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir; // outlives the connection (declared first)
    std::unique_ptr<sqlite3, DbCloser> m_db;
    QString m_path;
};

} // namespace

std::unique_ptr<TestDatabase> makeSqliteDatabase()
{
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid())
        throw db::DbError(QStringLiteral("no temporary folder: ") + dir->errorString());
    const QString path = dir->filePath(QStringLiteral("conformance.db"));
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, DbCloser> conn(raw);
    if (rc != SQLITE_OK)
        throw db::DbError(QStringLiteral("cannot create %1: %2").arg(path, QString::fromUtf8(sqlite3_errstr(rc))));
    auto db = std::make_unique<SqliteDatabase>(std::move(dir), std::move(conn), path);
    db->exec(QString::fromUtf8(kSqliteSchema));
    return db;
}

const char *sqliteConformanceSchema()
{
    return kSqliteSchema;
}

std::unique_ptr<TestDatabase> makeDatabase(const QString &provider)
{
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        return makeSqliteDatabase();
    if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0)
        return makePostgresDatabase();
    if (provider.compare(QLatin1String("ODBC"), Qt::CaseInsensitive) == 0)
        return makeOdbcDatabase();
    throw db::DbError(QStringLiteral("Unknown provider: %1").arg(provider));
}

} // namespace dbtest
