#include "DbFixtures.h"
#include "TestSupport.h"

#include "db/DbError.h"

#include <libpq-fe.h>

#include <QCoreApplication>

#include <atomic>
#include <memory>
#include <string>

namespace dbtest {

namespace {

struct ConnDeleter {
    void operator()(PGconn *c) const { PQfinish(c); }
};
struct ResultDeleter {
    void operator()(PGresult *r) const { PQclear(r); }
};

const char *const kConformanceSchema = R"SQL(
CREATE TABLE conf_types(
  id integer PRIMARY KEY, small_v smallint, int_v integer, big_v bigint, bool_v boolean, real_v real,
  double_v double precision, num_v numeric(10,2), date_v date, time_v time, ts_v timestamp,
  vc_v varchar(40), text_v text, ch_v char(5), blob_v bytea);
INSERT INTO conf_types VALUES
  (1, -32768, 2147483647, 9007199254740993, true, 1.5, 3.25, 12345678.91, '2024-02-29', '13:45:30',
   '2024-02-29 13:45:30', 'O''Brien', 'Müller' || E'\n' || 'Ødegaard', 'ab', '\x0001ff'),
  (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),
  (3, 0, -1, -9007199254740993, false, -0.25, -1e300, -0.05, '1900-01-01', '00:00:00',
   '1999-12-31 23:59:59', '', E'tab\tand "quotes"', 'x', '\x');
CREATE TABLE conf_big(id integer PRIMARY KEY, label varchar(20), amount numeric(12,2));
INSERT INTO conf_big SELECT i, 'row ' || i, i * 1.25 FROM generate_series(1, 5000) AS i;
CREATE TABLE "conf Name with blank"("Order Id" integer, "Line ""quoted""" text);
INSERT INTO "conf Name with blank" VALUES (1, 'a'), (2, 'b');
CREATE VIEW conf_view AS SELECT id, label FROM conf_big WHERE id <= 10;
)SQL";

class PostgresDatabase final : public TestDatabase {
public:
    PostgresDatabase(std::unique_ptr<PGconn, ConnDeleter> conn, QString schema)
        : m_conn(std::move(conn)), m_schema(std::move(schema))
    {
    }

    ~PostgresDatabase() override
    {
        try {
            exec(QStringLiteral("SET search_path TO public; DROP SCHEMA \"%1\" CASCADE").arg(m_schema));
        } catch (...) {
        }
    }

    QString connectionString() const override
    {
        PGconn *c = m_conn.get();
        return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Port=%2;Initial Catalog=%3;User ID=%4;"
                              "Password=%5;options='-c search_path=%6'")
            .arg(QString::fromUtf8(PQhost(c)), QString::fromUtf8(PQport(c)), QString::fromUtf8(PQdb(c)),
                 QString::fromUtf8(PQuser(c)), QString::fromUtf8(PQpass(c)), m_schema);
    }

    QString providerName() const override { return QStringLiteral("PostgreSQL"); }

    // A script of several statements, run as one.
    void exec(const QString &sql) override
    {
        std::unique_ptr<PGresult, ResultDeleter> res(PQexec(m_conn.get(), sql.toUtf8().constData()));
        const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
            throw db::DbError(QString::fromUtf8(PQerrorMessage(m_conn.get())).trimmed(),
                              QString::fromLatin1(res ? PQresultErrorField(res.get(), PG_DIAG_SQLSTATE) : ""),
                              sql);
    }

private:
    std::unique_ptr<PGconn, ConnDeleter> m_conn;
    QString m_schema;
};

} // namespace

std::unique_ptr<TestDatabase> makePostgresDatabase()
{
    const QString info = testsupport::postgresConnInfo();
    if (info.isEmpty())
        return nullptr;
    std::unique_ptr<PGconn, ConnDeleter> conn(PQconnectdb(info.toUtf8().constData()));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK)
        throw db::DbError(QStringLiteral("test server: ") + QString::fromUtf8(PQerrorMessage(conn.get())).trimmed());

    // Test processes run side by side against one server: each database is a schema of its own.
    static std::atomic<int> counter{0};
    const QString schema =
        QStringLiteral("conf_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    auto db = std::make_unique<PostgresDatabase>(std::move(conn), schema);
    db->exec(QStringLiteral("SET client_min_messages TO warning; CREATE SCHEMA \"%1\"; SET search_path TO \"%1\";")
                 .arg(schema));
    db->exec(QString::fromUtf8(kConformanceSchema));
    return db;
}

} // namespace dbtest
