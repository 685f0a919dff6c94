#include "DbFixtures.h"
#include "DbTestSupport.h"
#include "PostgresOdbc.h"
#include "TestSupport.h"

#include "db/Backend.h"
#include "db/Command.h"
#include "db/ConnectionString.h"
#include "db/backends/Backends.h"
#include "db/backends/OdbcHandles.h"
#include "db/backends/OdbcSql.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace db;
using dbtest::col;
using dbtest::errorOf;
using dbtest::field;
using dbtest::odbcDriverRegistered;

namespace {

// The conformance database through the SQLite3 ODBC driver.
class DbOdbc : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = dbtest::makeOdbcDatabase();
        if (!m_db) {
            if (!qEnvironmentVariableIsEmpty("CI"))
                FAIL() << "the SQLite3 ODBC driver is not registered";
            GTEST_SKIP() << "the SQLite3 ODBC driver is not registered";
        }
        m_backend = open(true);
    }

    std::unique_ptr<ConnectionBackend> open(bool readOnly)
    {
        auto b = backends::makeOdbc();
        b->open(ConnectionString::parse(m_db->connectionString()), 10, readOnly);
        return b;
    }

    std::shared_ptr<RowStore> query(const QString &sql, long maxRecords = 0)
    {
        return m_backend->execute(sql, maxRecords, nullptr);
    }

    long long count(const QString &table)
    {
        return query(QStringLiteral("SELECT count(*) FROM ") + table)->int64(0, 0);
    }

    std::shared_ptr<RowStore> fetchAll(RowCursor &cursor, std::size_t chunk)
    {
        auto store = std::make_shared<RowStore>(cursor.fields());
        while (!cursor.atEnd())
            cursor.fetch(*store, chunk);
        return store;
    }

    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::unique_ptr<ConnectionBackend> m_backend;
};

} // namespace

TEST(DbOdbcText, DriverConnectStringKeepsTheDriverManagersSyntax)
{
    using odbc::driverConnectString;
    EXPECT_EQ(driverConnectString(ConnectionString::parse(
                  QStringLiteral("Provider=ODBC;Driver={SQLite3};Database={/tmp/a;b.db};Timeout=100"))),
              QStringLiteral("Driver={SQLite3};Database={/tmp/a;b.db};Timeout=100;"));
    // ADO's own names become the driver manager's unless those are given too.
    EXPECT_EQ(driverConnectString(ConnectionString::parse(
                  QStringLiteral("Provider=ODBC;Data Source=sales;User ID=ann;Password=\"p;w}\""))),
              QStringLiteral("DSN=sales;UID=ann;PWD={p;w}}};"));
    EXPECT_EQ(driverConnectString(ConnectionString::parse(QStringLiteral("DSN=x;Password=a;PWD=b"))),
              QStringLiteral("DSN=x;Password=a;PWD=b;"));
    EXPECT_FALSE(errorOf([] { driverConnectString(ConnectionString::parse(QStringLiteral("Provider=ODBC;UID=a"))); })
                     .message()
                     .isEmpty());
}

TEST(DbOdbcText, OnlyQueriesThatCanDoNothingButReadAreDescribed)
{
    using odbc::isReadOnlyQuery;
    for (const char *sql : {"SELECT 1", "  select * from t;  ", "-- note\nSELECT 1 /* ; delete */",
                            "(SELECT 1) UNION (SELECT 2)", "VALUES (1, 2)",
                            "WITH a AS (SELECT 1), b(x) AS MATERIALIZED (VALUES (2)) SELECT * FROM a, b",
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n",
                            "SELECT 'a;b', \"delete\", $$ ; drop table t $$ FROM t",
                            "SELECT E'it\\'s; DELETE FROM t'", "SELECT $1, $tag$x$tag$"})
        EXPECT_TRUE(isReadOnlyQuery(QString::fromUtf8(sql))) << sql;
    for (const char *sql : {"DELETE FROM t", "INSERT INTO t VALUES (1)", "select 1; delete from t",
                            "WITH d AS (DELETE FROM t RETURNING *) SELECT * FROM d",
                            "WITH a AS (SELECT 1) DELETE FROM t", "SELECT * INTO copy FROM t",
                            "EXPLAIN ANALYZE DELETE FROM t", "PRAGMA journal_mode=delete", "SELECT 'unclosed",
                            "/* unclosed SELECT 1", "", "CREATE TABLE x AS SELECT 1",
                            // a second statement where a backslash escapes the quote (MySQL)
                            "SELECT 'a\\' x '; DELETE FROM t; -- '"})
        EXPECT_FALSE(isReadOnlyQuery(QString::fromUtf8(sql))) << sql;
}

TEST(DbOdbcText, DecimalsAreCanonicalNeverRounded)
{
    auto canon = [](const char *s) { return odbc::canonicalDecimal(s, std::strlen(s)); };
    EXPECT_EQ(canon("12345678.91"), "12345678.91");
    EXPECT_EQ(canon(" +.50"), "0.50");
    EXPECT_EQ(canon("-.05"), "-0.05");
    EXPECT_EQ(canon("7."), "7");
    EXPECT_EQ(canon("3,25"), "3.25");
    EXPECT_EQ(canon("1E+2"), "1E+2");
    EXPECT_EQ(canon("NaN"), "NaN");
}

TEST(DbOdbcConnect, FailuresCarryEveryDiagnosticRecord)
{
    auto b = backends::makeOdbc();
    try {
        b->open(ConnectionString::parse(QStringLiteral("Provider=ODBC;DSN=tabulon_no_such_dsn")), 5, true);
        FAIL() << "opened a data source that does not exist";
    } catch (const DbErrorRecords &e) {
        EXPECT_EQ(e.sqlState(), "IM002");
        EXPECT_TRUE(e.message().contains(QLatin1String("not found"))) << e.message().toStdString();
        ASSERT_FALSE(e.records().empty());
        EXPECT_EQ(e.records().front().Description, e.message());
        EXPECT_EQ(e.records().front().Source, "ODBC");
    }
    EXPECT_FALSE(b->isOpen());
    EXPECT_FALSE(errorOf([&] { b->execute(QStringLiteral("SELECT 1"), 0, nullptr); }).message().isEmpty());
}

TEST(DbOdbcConnect, LoginTimeoutEndsAConnectToAServerThatNeverAnswers)
{
    TABULON_REQUIRE_INSTALLED(odbcDriverRegistered("PostgreSQL Unicode"), "the PostgreSQL Unicode ODBC driver");
    // Listens, accepts through the backlog, never speaks.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), len), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len), 0);

    auto b = backends::makeOdbc();
    const DbError e = errorOf([&] {
        b->open(ConnectionString::parse(QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=127.0.0.1;"
                                                       "Port=%1;Database=x;Uid=u;Pwd=p")
                                            .arg(ntohs(addr.sin_port))),
                2, true);
    });
    EXPECT_EQ(e.sqlState(), "08001") << e.message().toStdString();
    EXPECT_FALSE(b->isOpen());
}

TEST_F(DbOdbc, VersionAndDelimiterComeFromTheDriver)
{
    EXPECT_TRUE(m_backend->isOpen());
    const QString v = m_backend->version();
    EXPECT_TRUE(v.startsWith(QLatin1String("ODBC sqlite3odbc"))) << v.toStdString();
    EXPECT_TRUE(v.contains(QLatin1String("(unixODBC "))) << v.toStdString();
    EXPECT_EQ(m_backend->dialect()->identifierQuote(), QLatin1Char('"'));
    m_backend->close();
    EXPECT_FALSE(m_backend->isOpen());
    EXPECT_FALSE(errorOf([&] { query(QStringLiteral("SELECT 1")); }).message().isEmpty());
}

TEST_F(DbOdbc, ConformanceTypesAsTheDriverReportsThem)
{
    const auto s = query(QStringLiteral("SELECT * FROM conf_types ORDER BY id"));
    const auto described = m_backend->describe(QStringLiteral("SELECT * FROM conf_types"));
    const auto catalogue = m_backend->tableColumns(QString(), QStringLiteral("conf_types"));
    // The driver has no single or fixed-length char type (see DbFixturesOdbc.cpp); a declared
    // decimal keeps its precision and scale as on the native client.
    const struct {
        const char *name;
        int type;
        long size;
    } expected[] = {
        {"id", adInteger, 4},         {"small_v", adSmallInt, 2},     {"int_v", adInteger, 4},
        {"big_v", adBigInt, 8},       {"bool_v", adBoolean, 1},       {"real_v", adDouble, 8},
        {"double_v", adDouble, 8},    {"num_v", adNumeric, 19},       {"date_v", adDBDate, 0},
        {"time_v", adDBTime, 0},      {"ts_v", adDBTimeStamp, 0},     {"vc_v", adVarWChar, 40},
        {"text_v", adVarWChar, 0},    {"ch_v", adVarWChar, 5},        {"blob_v", adLongVarBinary, 0},
    };
    ASSERT_EQ(s->columnCount(), 15);
    ASSERT_EQ(described.size(), 15u);
    ASSERT_EQ(catalogue.size(), 15u);
    for (const auto &e : expected) {
        for (const auto *fields : {&s->fields(), &described, &catalogue}) {
            const FieldInfo &f = field(*fields, e.name);
            EXPECT_EQ(f.Type, e.type) << e.name;
            EXPECT_EQ(f.DefinedSize, e.size) << e.name;
            EXPECT_EQ(f.BaseTableName, "conf_types") << e.name;
            EXPECT_EQ(f.BaseColumnName, e.name);
        }
    }
    for (const auto *fields : {&s->fields(), &described, &catalogue}) {
        EXPECT_EQ(field(*fields, "num_v").Precision, 10);
        EXPECT_EQ(field(*fields, "num_v").NumericScale, 2);
    }
    EXPECT_EQ(field(catalogue, "vc_v").DeclaredType, "varchar(40)");
    EXPECT_EQ(field(described, "ts_v").DeclaredType, "timestamp");

    // Expressions have no base column. The driver types them from the first row's values, so
    // only once they have run; before, they are text.
    const QString expressions = QStringLiteral("SELECT 'x' AS t, 1 + 1 AS i, 1.5 AS r, vc_v FROM conf_types");
    const auto x = query(expressions)->fields();
    const auto dx = m_backend->describe(expressions);
    ASSERT_EQ(x.size(), 4u);
    ASSERT_EQ(dx.size(), 4u);
    EXPECT_EQ(x[0].Type, adVarWChar);
    EXPECT_EQ(x[0].DefinedSize, 0); // the driver's 255 stand-in for "no length"
    EXPECT_EQ(x[1].Type, adInteger);
    EXPECT_EQ(x[2].Type, adDouble);
    EXPECT_EQ(dx[1].Type, adVarWChar);
    for (const auto *fields : {&x, &dx}) {
        EXPECT_TRUE((*fields)[0].BaseTableName.isEmpty());
        EXPECT_TRUE((*fields)[0].BaseColumnName.isEmpty());
        EXPECT_EQ((*fields)[3].BaseColumnName, "vc_v");
    }
}

TEST_F(DbOdbc, ConformanceValuesNullsAndEmptyValues)
{
    const auto s = query(QStringLiteral("SELECT * FROM conf_types ORDER BY id"));
    ASSERT_EQ(s->rowCount(), 3u);
    EXPECT_EQ(s->int64(0, col(*s, "small_v")), -32768);
    EXPECT_EQ(s->int64(0, col(*s, "int_v")), 2147483647);
    EXPECT_EQ(s->int64(0, col(*s, "big_v")), 9007199254740993LL);
    EXPECT_EQ(s->int64(2, col(*s, "big_v")), -9007199254740993LL);
    EXPECT_EQ(s->value(0, col(*s, "bool_v")), QVariant(true));
    EXPECT_EQ(s->value(2, col(*s, "bool_v")), QVariant(false));
    EXPECT_EQ(s->real(0, col(*s, "real_v")), 1.5);
    EXPECT_EQ(s->real(2, col(*s, "double_v")), -1e300);
    EXPECT_EQ(s->text(0, col(*s, "num_v")), "12345678.91");
    EXPECT_EQ(s->text(2, col(*s, "num_v")), "-0.05");
    EXPECT_EQ(s->value(0, col(*s, "date_v")).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(s->value(2, col(*s, "date_v")).toDate(), QDate(1900, 1, 1));
    EXPECT_EQ(s->value(0, col(*s, "time_v")).toTime(), QTime(13, 45, 30));
    EXPECT_EQ(s->value(2, col(*s, "time_v")).toTime(), QTime(0, 0));
    EXPECT_EQ(s->value(0, col(*s, "ts_v")).toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30), Qt::UTC));
    EXPECT_EQ(s->value(2, col(*s, "ts_v")).toDateTime(),
              QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC));
    EXPECT_EQ(s->text(0, col(*s, "vc_v")), "O'Brien");
    EXPECT_EQ(s->text(0, col(*s, "text_v")), QStringLiteral("Müller\nØdegaard"));
    EXPECT_EQ(s->text(2, col(*s, "text_v")), "tab\tand \"quotes\"");
    EXPECT_EQ(s->text(0, col(*s, "ch_v")), "ab");
    EXPECT_EQ(s->blob(0, col(*s, "blob_v")), QByteArray("\x00\x01\xff", 3));

    EXPECT_FALSE(s->isNull(2, col(*s, "vc_v")));
    EXPECT_EQ(s->text(2, col(*s, "vc_v")), QString());
    EXPECT_FALSE(s->isNull(2, col(*s, "blob_v")));
    EXPECT_TRUE(s->blob(2, col(*s, "blob_v")).isEmpty());
    for (int c = 1; c < s->columnCount(); ++c)
        EXPECT_TRUE(s->isNull(1, c)) << c;

    // Declared decimals read as the native client reads them: to their scale, never rounded, and
    // typed the same through a view.
    m_db->exec(QStringLiteral("CREATE TABLE prices(a numeric(10,2), b DECIMAL(8, 2), c numeric, d decimal(12,4), "
                              "e real); INSERT INTO prices VALUES (54.2, 26, 7, 0.125, 1.5), (-3, 0.5, 1.25, 2, 2), "
                              "(NULL, 12345678.91, NULL, 1.5e3, NULL); CREATE VIEW price_view AS SELECT a, d FROM prices"));
    auto native = backends::makeSqlite();
    native->open(ConnectionString::parse(QStringLiteral("Data Source=") + QString(m_db->connectionString()).section(
                                             QLatin1String("Database="), 1)),
                 10, true);
    for (const char *sql : {"SELECT * FROM prices", "SELECT * FROM price_view", "SELECT p.a, v.d FROM prices p, price_view v"}) {
        const auto expected = native->execute(QLatin1String(sql), 0, nullptr);
        auto cursor = m_backend->openCursor(QLatin1String(sql), 0);
        for (const auto &got : {query(QLatin1String(sql)), fetchAll(*cursor, 2)}) {
            ASSERT_EQ(got->columnCount(), expected->columnCount()) << sql;
            ASSERT_EQ(got->rowCount(), expected->rowCount()) << sql;
            for (int c = 0; c < got->columnCount(); ++c) {
                const FieldInfo &f = got->fields()[std::size_t(c)];
                const FieldInfo &n = expected->fields()[std::size_t(c)];
                EXPECT_EQ(f.Type, n.Type) << sql << " " << f.Name.toStdString();
                EXPECT_EQ(f.Precision, n.Precision) << sql << " " << f.Name.toStdString();
                EXPECT_EQ(f.NumericScale, n.NumericScale) << sql << " " << f.Name.toStdString();
                for (std::size_t r = 0; r < got->rowCount(); ++r)
                    EXPECT_EQ(got->value(r, c).toString(), expected->value(r, c).toString()) << sql << " " << r;
            }
        }
    }
    const auto p = query(QStringLiteral("SELECT a, b, d FROM prices"));
    EXPECT_EQ(p->text(0, 0), "54.20");
    EXPECT_EQ(p->text(0, 1), "26.00");
    EXPECT_EQ(p->text(0, 2), "0.1250");
    EXPECT_EQ(p->text(1, 2), "2.0000");
}

TEST_F(DbOdbc, NonAsciiTextRoundTrips)
{
    const QString word = QStringLiteral("Grüße 東京 😀 Ødegaard");
    auto rw = open(false);
    long affected = -2;
    rw->execute(QStringLiteral("CREATE TABLE \"Straße\"(\"Größe\" varchar(40), long_v text)"), 0, nullptr);
    rw->execute(QStringLiteral("INSERT INTO \"Straße\" VALUES ('%1', '%2')").arg(word, word.repeated(300)), 0, &affected);
    EXPECT_EQ(affected, 1);

    // Stored as UTF-8 characters, not as bytes read in some other code page.
    const auto lengths = query(QStringLiteral("SELECT length(\"Größe\") FROM \"Straße\""));
    EXPECT_EQ(lengths->int64(0, 0), word.size() - 1); // the emoji is one character, two UTF-16 units

    auto cursor = m_backend->openCursor(QStringLiteral("SELECT * FROM \"Straße\""), 0);
    const auto s = fetchAll(*cursor, 10);
    ASSERT_EQ(s->rowCount(), 1u);
    EXPECT_EQ(s->fields()[0].Name, QStringLiteral("Größe"));
    EXPECT_EQ(s->text(0, 0), word);
    EXPECT_EQ(s->text(0, 1), word.repeated(300)); // longer than any first read buffer
    const auto columns = m_backend->tableColumns(QString(), QStringLiteral("Straße"));
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].Name, QStringLiteral("Größe"));
}

TEST_F(DbOdbc, LazyCursorFetchesInChunksBesideOtherStatements)
{
    auto cursor = m_backend->openCursor(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"), 0);
    ASSERT_EQ(cursor->fields().size(), 3u);
    RowStore store(cursor->fields());
    EXPECT_EQ(cursor->fetch(store, 100), 100u);
    EXPECT_FALSE(cursor->atEnd());

    // Other statements on the same data source neither truncate nor block the cursor.
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);
    auto other = m_backend->openCursor(QStringLiteral("SELECT id FROM conf_view"), 0);
    RowStore otherRows(other->fields());
    EXPECT_EQ(other->fetch(otherRows, 1000), 10u);
    EXPECT_TRUE(other->atEnd());

    while (!cursor->atEnd())
        cursor->fetch(store, 333);
    ASSERT_EQ(store.rowCount(), 5000u);
    for (std::size_t r = 0; r < store.rowCount(); ++r) {
        ASSERT_EQ(store.int64(r, 0), std::int64_t(r + 1));
        ASSERT_EQ(store.text(r, 1), QStringLiteral("row %1").arg(r + 1));
        ASSERT_EQ(store.text(r, 2), QString::number(double(r + 1) * 1.25, 'f', 2));
    }
    EXPECT_EQ(cursor->fetch(store, 10), 0u);
}

TEST_F(DbOdbc, FixedSizeRowsArriveInBlocksWithoutLosingRows)
{
    // Numbers only: the driver fetches many rows a call, more than are asked for at a time.
    auto cursor = m_backend->openCursor(QStringLiteral("SELECT id, CAST(amount AS REAL) AS amount, id % 7 = 0 AS sevens FROM conf_big"), 0);
    RowStore store(cursor->fields());
    std::size_t calls = 0;
    while (!cursor->atEnd()) {
        const std::size_t got = cursor->fetch(store, 97);
        EXPECT_LE(got, 97u);
        ++calls;
    }
    ASSERT_EQ(store.rowCount(), 5000u);
    EXPECT_GE(calls, 5000u / 97);
    for (std::size_t r = 0; r < store.rowCount(); ++r) {
        ASSERT_EQ(store.int64(r, 0), std::int64_t(r + 1));
        ASSERT_EQ(store.real(r, 1), double(r + 1) * 1.25);
        ASSERT_EQ(store.int64(r, 2), (r + 1) % 7 == 0 ? 1 : 0);
    }
}

TEST_F(DbOdbc, MaxRecordsStopsCursorsAndResults)
{
    auto cursor = m_backend->openCursor(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), 250);
    RowStore store(cursor->fields());
    EXPECT_EQ(cursor->fetch(store, 200), 200u);
    EXPECT_EQ(cursor->fetch(store, 200), 50u);
    EXPECT_TRUE(cursor->atEnd());
    EXPECT_EQ(cursor->fetch(store, 200), 0u);
    EXPECT_EQ(store.int64(249, 0), 250);

    EXPECT_EQ(query(QStringLiteral("SELECT * FROM conf_big"), 7)->rowCount(), 7u);
    EXPECT_EQ(query(QStringLiteral("SELECT * FROM conf_big"), 0)->rowCount(), 5000u);
}

TEST_F(DbOdbc, CursorOutlivesItsConnection)
{
    auto cursor = m_backend->openCursor(QStringLiteral("SELECT label FROM conf_big"), 0);
    RowStore store(cursor->fields());
    cursor->fetch(store, 10);
    m_backend.reset(); // the connection and its environment handle go; the cursor keeps its own
    while (!cursor->atEnd())
        cursor->fetch(store, 1000);
    EXPECT_EQ(store.rowCount(), 5000u);
}

TEST_F(DbOdbc, DriverErrorsCarryStateAndMessageAndLeaveTheConnectionUsable)
{
    const DbError e = errorOf([&] { query(QStringLiteral("SELECT * FROM no_such_table")); });
    EXPECT_TRUE(e.message().contains(QLatin1String("no such table"))) << e.message().toStdString();
    EXPECT_EQ(e.sqlState(), "HY000");
    EXPECT_EQ(e.statement(), "SELECT * FROM no_such_table");

    const DbError c = errorOf([&] { m_backend->openCursor(QStringLiteral("SELEC nothing"), 0); });
    EXPECT_FALSE(c.message().isEmpty());
    EXPECT_EQ(count(QStringLiteral("conf_types")), 3);
}

TEST_F(DbOdbc, ReadOnlyConnectionsRefuseToWrite)
{
    const DbError e = errorOf([&] { query(QStringLiteral("UPDATE conf_big SET label = 'x' WHERE id <= 12")); });
    EXPECT_TRUE(e.message().contains(QLatin1String("readonly"))) << e.message().toStdString();
    // Cursors open connections of their own, read-only as well.
    EXPECT_FALSE(errorOf([&] { m_backend->openCursor(QStringLiteral("DELETE FROM conf_big"), 0); }).message().isEmpty());
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);
}

TEST_F(DbOdbc, StatementsWithoutRowsReportWhatTheyChanged)
{
    auto rw = open(false);
    long affected = -2;
    const auto none = rw->execute(QStringLiteral("UPDATE conf_big SET label = 'x' WHERE id <= 12"), 0, &affected);
    EXPECT_EQ(affected, 12);
    EXPECT_EQ(none->columnCount(), 0);
    // A searched DELETE that matches nothing is not a failure.
    rw->execute(QStringLiteral("DELETE FROM conf_big WHERE id < 0"), 0, &affected);
    EXPECT_EQ(affected, 0);
    rw->execute(QStringLiteral("SELECT 1"), 0, &affected);
    EXPECT_EQ(affected, -1);
}

TEST_F(DbOdbc, LookingNeverChangesData)
{
    // The driver prepares nothing but SELECTs, so a DELETE is checked without a word of
    // complaint, and without deleting.
    m_backend->checkSyntax(QStringLiteral("DELETE FROM conf_big"));
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);
    EXPECT_FALSE(errorOf([&] { m_backend->describe(QStringLiteral("DELETE FROM conf_big")); }).message().isEmpty());
    EXPECT_FALSE(errorOf([&] { m_backend->describe(QStringLiteral("SELECT 1; DELETE FROM conf_big")); })
                     .message()
                     .isEmpty());
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);

    const DbError e = errorOf([&] { m_backend->checkSyntax(QStringLiteral("SELECT * FROM no_such_table")); });
    EXPECT_TRUE(e.message().contains(QLatin1String("no such table")));
    m_backend->checkSyntax(QStringLiteral("SELECT id FROM conf_big"));

    const auto f = m_backend->describe(QStringLiteral("WITH v AS (SELECT id, label FROM conf_big) SELECT * FROM v"));
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].Name, "label");

    // A statement runs once a run, and describing or checking it runs it not at all: a function
    // of the driver's connections counts its calls.
    static std::atomic<int> calls{0};
    const auto counter = +[](sqlite3 *db, const char **, const sqlite3_api_routines *) {
        return sqlite3_create_function_v2(
            db, "tabulon_counted", 0, SQLITE_UTF8, nullptr,
            [](sqlite3_context *c, int, sqlite3_value **) { sqlite3_result_int(c, ++calls); }, nullptr, nullptr, nullptr);
    };
    sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(counter));
    const std::shared_ptr<void> cancel(nullptr, [counter](void *) {
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)(void)>(counter));
    });
    auto counted = open(true);
    for (const char *sql : {"SELECT tabulon_counted() AS n, id FROM conf_types",
                            "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 3) "
                            "SELECT tabulon_counted() AS n FROM r"}) {
        calls = 0;
        counted->describe(QLatin1String(sql));
        counted->checkSyntax(QLatin1String(sql));
        EXPECT_EQ(calls, 0) << sql;
        auto cursor = counted->openCursor(QLatin1String(sql), 0);
        EXPECT_EQ(fetchAll(*cursor, 2)->rowCount(), 3u);
        EXPECT_EQ(calls, 3) << sql;
        EXPECT_EQ(counted->execute(QLatin1String(sql), 0, nullptr)->rowCount(), 3u);
        EXPECT_EQ(calls, 6) << sql;
    }
}

TEST_F(DbOdbc, SchemaListsTablesViewsAndColumns)
{
    auto names = [](const std::vector<SchemaObject> &objects) {
        QStringList out;
        for (const SchemaObject &o : objects) {
            EXPECT_TRUE(o.Owner.isEmpty());
            EXPECT_TRUE(o.Created.isEmpty());
            out << o.Name;
        }
        return out;
    };
    const QStringList tables = names(m_backend->objects(SchemaObject::Kind::Table));
    EXPECT_TRUE(tables.contains("conf_types"));
    EXPECT_TRUE(tables.contains("conf Name with blank"));
    EXPECT_FALSE(tables.contains("conf_view"));
    EXPECT_EQ(names(m_backend->objects(SchemaObject::Kind::View)), QStringList{"conf_view"});
    EXPECT_TRUE(m_backend->objects(SchemaObject::Kind::Routine).empty());

    const auto blank = m_backend->tableColumns(QString(), QStringLiteral("conf Name with blank"));
    ASSERT_EQ(blank.size(), 2u);
    EXPECT_EQ(blank[0].Name, "Order Id");
    EXPECT_EQ(blank[1].Name, "Line \"quoted\"");
    EXPECT_EQ(blank[0].Type, adInteger);
    EXPECT_EQ(m_backend->tableColumns(QString(), QStringLiteral("conf_view")).size(), 2u);

    // '_' is no wildcard, and a missing table says so.
    EXPECT_EQ(errorOf([&] { m_backend->tableColumns(QString(), QStringLiteral("conf_type_")); }).sqlState(), "42P01");
    EXPECT_EQ(errorOf([&] { m_backend->routineParameters(QString(), QStringLiteral("nothing")); }).sqlState(),
              "42883");
}

TEST_F(DbOdbc, CancelStopsLongStatementsAndCursors)
{
    // Runs for many seconds unless stopped.
    const QString longQuery =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000000) "
                       "SELECT count(*) FROM n");
    for (const bool lazy : {false, true}) {
        std::optional<DbError> error;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            try {
                if (lazy)
                    m_backend->openCursor(longQuery, 0);
                else
                    query(longQuery);
            } catch (const DbError &e) {
                error = e;
            }
            done = true;
        });
        // Until it has stopped: the statement may not have started at the first try.
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_backend->cancel();
        }
        worker.join();
        ASSERT_TRUE(error) << lazy;
        EXPECT_TRUE(error->message().contains(QLatin1String("interrupted"))) << error->message().toStdString();
    }
    m_backend->cancel(); // nothing running: nothing happens
    EXPECT_EQ(count(QStringLiteral("conf_types")), 3);
}

namespace {

// The test server through the PostgreSQL ODBC driver, in a schema of this test's own.
class DbOdbcPostgres : public ::testing::Test {
protected:
    void SetUp() override
    {
        TABULON_REQUIRE_POSTGRES();
        if (!odbcDriverRegistered("PostgreSQL Unicode")) {
            if (!qEnvironmentVariableIsEmpty("CI"))
                FAIL() << "the PostgreSQL Unicode ODBC driver is not registered";
            GTEST_SKIP() << "the PostgreSQL Unicode ODBC driver is not registered";
        }
        m_cs = ConnectionString::parse(testsupport::postgresOdbcConnectionString());
        m_schema = QStringLiteral("t_odbc_%1").arg(QCoreApplication::applicationPid());
        m_rw = open(false);
        m_rw->execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema), 0, nullptr);
        m_rw->execute(QStringLiteral("CREATE SCHEMA %1").arg(m_schema), 0, nullptr);
    }

    void TearDown() override
    {
        if (m_rw)
            m_rw->execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_schema), 0, nullptr);
    }

    std::unique_ptr<ConnectionBackend> open(bool readOnly)
    {
        auto b = backends::makeOdbc();
        b->open(m_cs, 10, readOnly);
        return b;
    }

    void run(const QString &sql) { m_rw->execute(QString(sql).replace(QLatin1String("$S"), m_schema), 0, nullptr); }

    ConnectionString m_cs;
    QString m_schema;
    std::unique_ptr<ConnectionBackend> m_rw;
};

} // namespace

TEST_F(DbOdbcPostgres, ListsReadsAndCallsThroughThePostgresDriver)
{
    run(QStringLiteral("CREATE TABLE $S.items(id integer PRIMARY KEY, name varchar(30), note text, "
                       "price numeric(8,2), seen timestamp, cost money, flag boolean)"));
    run(QStringLiteral("INSERT INTO $S.items SELECT i, 'Größe ' || i, repeat('n', i * 50), i * 2.5, "
                       "timestamp '2024-02-29 13:45:30.25' + i * interval '1 day', 12.34, i % 2 = 0 "
                       "FROM generate_series(1, 300) AS i"));
    run(QStringLiteral("INSERT INTO $S.items(id) VALUES (0)"));
    run(QStringLiteral("CREATE FUNCTION $S.twice(n integer) RETURNS integer LANGUAGE sql AS 'SELECT n * 2'"));
    run(QStringLiteral("CREATE PROCEDURE $S.bump(INOUT x integer) LANGUAGE plpgsql AS 'BEGIN x := x + 1; END'"));

    auto ro = open(true);
    EXPECT_TRUE(ro->version().startsWith(QLatin1String("ODBC psqlodbc"))) << ro->version().toStdString();
    bool listed = false;
    for (const SchemaObject &o : ro->objects(SchemaObject::Kind::Table))
        listed = listed || (o.Owner == m_schema && o.Name == "items");
    EXPECT_TRUE(listed);
    bool routine = false;
    for (const SchemaObject &o : ro->objects(SchemaObject::Kind::Routine)) {
        EXPECT_NE(o.Owner, "pg_catalog");
        routine = routine || (o.Owner == m_schema && o.Name == "twice");
    }
    EXPECT_TRUE(routine);

    // Long text is fetched again where it overflows the block buffer.
    auto cursor = ro->openCursor(QStringLiteral("SELECT * FROM %1.items ORDER BY id").arg(m_schema), 0);
    RowStore s(cursor->fields());
    while (!cursor->atEnd())
        cursor->fetch(s, 64);
    ASSERT_EQ(s.rowCount(), 301u);
    const auto &f = s.fields();
    EXPECT_EQ(f[0].Type, adInteger);
    EXPECT_EQ(f[1].Type, adVarWChar);
    EXPECT_EQ(f[1].DefinedSize, 30);
    EXPECT_EQ(f[2].DefinedSize, 0);
    EXPECT_EQ(f[3].Type, adNumeric);
    EXPECT_EQ(f[3].Precision, 8);
    EXPECT_EQ(f[3].NumericScale, 2);
    EXPECT_EQ(f[4].Type, adDBTimeStamp);
    EXPECT_EQ(f[5].Type, adCurrency);
    EXPECT_EQ(f[6].Type, adBoolean); // though the driver hands Booleans over as text
    EXPECT_EQ(field(ro->tableColumns(m_schema, QStringLiteral("items")), "flag").Type, adBoolean);
    EXPECT_EQ(f[1].BaseSchemaName, m_schema);
    for (int c = 1; c < 7; ++c)
        EXPECT_TRUE(s.isNull(0, c)) << c;
    for (std::size_t r = 1; r < s.rowCount(); ++r) {
        ASSERT_EQ(s.text(r, 1), QStringLiteral("Größe %1").arg(r));
        ASSERT_EQ(s.text(r, 2).size(), qsizetype(r * 50));
    }
    EXPECT_EQ(s.text(3, 3), "7.50");
    EXPECT_EQ(s.value(1, 4).toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(13, 45, 30, 250), Qt::UTC));
    EXPECT_EQ(s.text(1, 5), "12.34"); // money stays exact
    EXPECT_EQ(s.value(1, 6), QVariant(false));
    EXPECT_EQ(s.value(2, 6), QVariant(true));
    const auto flags = ro->execute(QStringLiteral("SELECT flag, NOT flag AS other, true AS yes FROM %1.items WHERE id = 2").arg(m_schema), 0, nullptr);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(flags->fields()[std::size_t(c)].Type, adBoolean) << c;
    EXPECT_EQ(flags->value(0, 0), QVariant(true));
    EXPECT_EQ(flags->value(0, 1), QVariant(false));
    EXPECT_EQ(flags->value(0, 2), QVariant(true));

    // A day the driver cannot make a date of (its infinity), met chunks into the result: the
    // column turns to text from there on, every row comes, and each chunk reads as the last left it.
    auto days = ro->openCursor(QStringLiteral("SELECT i, CASE WHEN i = 250 THEN date 'infinity' ELSE date '2024-01-01' + i"
                                              " END AS d FROM generate_series(1, 300) AS i ORDER BY i"),
                               0);
    ASSERT_EQ(days->fields()[1].Type, adDBDate);
    RowStore all(days->fields());
    while (!days->atEnd()) {
        RowStore chunk(days->fields());
        days->fetch(chunk, 64);
        all.append(chunk);
    }
    ASSERT_EQ(all.rowCount(), 300u);
    EXPECT_EQ(days->fields()[1].Type, adVarWChar);
    for (std::size_t r = 0; r < all.rowCount(); ++r) {
        if (r != 249) {
            ASSERT_EQ(all.displayText(r, 1), QDate(2024, 1, 1).addDays(qint64(r + 1)).toString(Qt::ISODate)) << r;
        }
    }
    EXPECT_FALSE(QDate::fromString(all.displayText(249, 1), Qt::ISODate).isValid()); // never a day it is not

    EXPECT_FALSE(errorOf([&] { ro->execute(QStringLiteral("DELETE FROM %1.items").arg(m_schema), 0, nullptr); })
                     .message()
                     .isEmpty());

    // A statement runs once a run, and describing or checking it runs it not at all.
    run(QStringLiteral("CREATE TABLE $S.runs(n serial)"));
    run(QStringLiteral("CREATE FUNCTION $S.counted() RETURNS integer LANGUAGE sql AS "
                       "'INSERT INTO $S.runs DEFAULT VALUES RETURNING n'"));
    const QString counted = QStringLiteral("SELECT %1.counted() AS n, pg_sleep(0.1)").arg(m_schema);
    const auto runs = [&] {
        return m_rw->execute(QStringLiteral("SELECT count(*) FROM %1.runs").arg(m_schema), 0, nullptr)->int64(0, 0);
    };
    auto writer = open(false);
    writer->describe(counted);
    writer->checkSyntax(counted);
    EXPECT_EQ(runs(), 0);
    auto once = writer->openCursor(counted, 0);
    RowStore onceRows(once->fields());
    while (!once->atEnd())
        once->fetch(onceRows, 10);
    EXPECT_EQ(runs(), 1);
    writer->execute(counted, 0, nullptr);
    EXPECT_EQ(runs(), 2);

    // A function: its result comes back as the return value.
    const auto info = ro->routineParameters(m_schema, QStringLiteral("twice"));
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0].Direction, adParamReturnValue);
    EXPECT_EQ(info[1].Direction, adParamInput);
    EXPECT_EQ(info[1].Name, "n");
    EXPECT_EQ(info[1].Type, adInteger);
    std::vector<Parameter> params(2);
    static_cast<ParameterInfo &>(params[0]) = info[0];
    static_cast<ParameterInfo &>(params[1]) = info[1];
    params[1].Value = 21;
    ro->callRoutine(m_schema, QStringLiteral("twice"), params);
    EXPECT_EQ(params[0].Value.toLongLong(), 42);

    // A procedure, which the driver's call syntax cannot reach.
    const auto bumpInfo = m_rw->routineParameters(m_schema, QStringLiteral("bump"));
    ASSERT_EQ(bumpInfo.size(), 1u);
    EXPECT_EQ(bumpInfo[0].Direction, adParamInputOutput);
    std::vector<Parameter> bump(1);
    static_cast<ParameterInfo &>(bump[0]) = bumpInfo[0];
    bump[0].Value = 5;
    m_rw->callRoutine(m_schema, QStringLiteral("bump"), bump);
    EXPECT_EQ(bump[0].Value.toLongLong(), 6);

    // Text and dates are bound, never pasted; output text comes back whole.
    run(QStringLiteral("CREATE FUNCTION $S.greet(who text, day date, OUT msg text) LANGUAGE sql AS "
                       "'SELECT ''Grüße, '' || who || '', '' || to_char(day, ''YYYY-MM-DD'')'"));
    const auto greetInfo = ro->routineParameters(m_schema, QStringLiteral("greet"));
    ASSERT_EQ(greetInfo.size(), 3u);
    EXPECT_EQ(greetInfo[2].Direction, adParamOutput);
    std::vector<Parameter> greet(3);
    for (std::size_t i = 0; i < 3; ++i)
        static_cast<ParameterInfo &>(greet[i]) = greetInfo[i];
    greet[0].Value = QStringLiteral("O'Brien'); DROP TABLE items; --");
    greet[1].Value = QDate(2024, 2, 29);
    ro->callRoutine(m_schema, QStringLiteral("greet"), greet);
    EXPECT_EQ(greet[2].Value.toString(), QStringLiteral("Grüße, O'Brien'); DROP TABLE items; --, 2024-02-29"));
}

TEST(DbOdbcDriverTarget, OnlyRegisteredDriversAreLoadedAndOnlyByName)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("loaded"));
    qputenv("TABULON_TRAP_MARKER", QFile::encodeName(marker));
    const QString lib = QStringLiteral(TABULON_TRAP_DRIVER);
    ASSERT_TRUE(QFile::exists(lib));
    const QString dsnFile = dir.filePath(QStringLiteral("crafted.dsn"));
    {
        QFile f(dsnFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[ODBC]\nDRIVER=" + QFile::encodeName(lib) + "\nDatabase=x\n");
    }
    // A registered driver, told by a file data source to load a library.
    const QString extDsnFile = dir.filePath(QStringLiteral("extension.dsn"));
    {
        QFile f(extDsnFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[ODBC]\nDRIVER=SQLite3\nDatabase=" + QFile::encodeName(dir.filePath(QStringLiteral("x.db")))
                + "\nLoadExt=" + QFile::encodeName(lib) + "\n");
    }
    const QString database = dir.filePath(QStringLiteral("v.db"));
    const QString saved = dir.filePath(QStringLiteral("saved.dsn"));
    const std::vector<std::pair<QString, const char *>> refused = {
        {QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1;LoadExt=%2").arg(database, lib), "loads code"},
        {QStringLiteral("Driver=SQLite3;Database=%1; loadext = {%2}").arg(database, lib), "loads code"},
        // The driver reads its keys out of braces too.
        {QStringLiteral("Driver=SQLite3;Database=%1;Note={a;LoadExt=%2}").arg(database, lib), "loads code"},
        {QStringLiteral("Driver=SQLite3;Database=%1;Note=\"a;LoadExt=%2\"").arg(database, lib), "loads code"},
        {QStringLiteral("Driver=SQLite3;Database=%1;Anything=%2").arg(database, lib), "loads code"},
        {QStringLiteral("Driver=SQLite3;Database=%1;Anything=/opt/x/libcrafted.so.1").arg(database), "loads code"},
        {QStringLiteral("Driver={PostgreSQL Unicode};Server=localhost;pqopt={sslcert=/tmp/c sslkey=%1:key}").arg(lib),
         "loads code"},
        {QStringLiteral("Driver={PostgreSQL Unicode};Server=localhost;pqopt={sslkey=crafted:key}"), "loads code"},
        {QStringLiteral("FileDSN=") + extDsnFile, "loads code"},
        {QStringLiteral("Provider=ODBC;Driver=") + lib, "is given as a file"},
        {QStringLiteral("Driver={") + lib + QStringLiteral("};Database=x"), "is given as a file"},
        {QStringLiteral("Provider=ODBC;DSN=x; driver =") + lib, "is given as a file"},
        {QStringLiteral("Driver=SQLite3;DRIVER=") + lib, "is given as a file"},
        {QStringLiteral("Driver=./libsomething.so"), "is given as a file"},
        {QStringLiteral("Driver=Tabulon No Such Driver"), "is not registered"},
        {QStringLiteral("FileDSN=") + dsnFile, "of the file data source"},
        {QStringLiteral("FileDSN=") + dir.filePath(QStringLiteral("missing.dsn")), "does not exist"},
        {QStringLiteral("Driver=SQLite3;Database=x;SaveFile=") + saved, "SAVEFILE"},
        {QStringLiteral("Driver=SQLite3;Database=x;Pad=a") + QChar(0) + QStringLiteral("b"), "NUL"},
        // A key hidden in another value, which the driver reads out of the braces.
        {QStringLiteral("Driver=SQLite3;PWD={x; Database=%1};Database=%2").arg(saved, database), "a key of its own"},
    };
    for (const auto &[text, expected] : refused) {
        auto b = backends::makeOdbc();
        const DbError e = errorOf([&] { b->open(ConnectionString::parse(text), 5, true); });
        EXPECT_TRUE(e.message().contains(QLatin1String(expected))) << text.toStdString() << " → " << e.message().toStdString();
        EXPECT_FALSE(b->isOpen());
        EXPECT_FALSE(QFile::exists(marker)) << "the library was loaded for " << text.toStdString();
        QFile::remove(marker);
    }
    EXPECT_FALSE(QFile::exists(saved));
    // Names that only look like libraries pass.
    EXPECT_NO_THROW(odbc::checkDriverTarget(
        ConnectionString::parse(QStringLiteral("Driver={PostgreSQL Unicode};Server=db.example.so;Database=sales.so.db;"
                                               "pqopt={sslkey=/home/ann/key.pem sslcert=/home/ann/so.crt}")),
        {QStringLiteral("PostgreSQL Unicode")}));

    // Nor does a statement load one, on any SQLite connection: through the driver or native.
    if (odbcDriverRegistered("SQLite3")) {
        auto odbc = backends::makeOdbc();
        odbc->open(ConnectionString::parse(QStringLiteral("Driver=SQLite3;Database=") + database), 5, false);
        // Stepping, the driver reports a failed statement at the first fetch.
        auto stepping = backends::makeOdbc();
        stepping->open(ConnectionString::parse(QStringLiteral("Driver=SQLite3;StepAPI=1;Database=") + database), 5, true);
        auto native = backends::makeSqlite();
        native->open(ConnectionString::parse(QStringLiteral("Data Source=") + database), 5, true);
        for (ConnectionBackend *b : {odbc.get(), stepping.get(), native.get()}) {
            for (const QString &sql : {QStringLiteral("SELECT load_extension('%1')").arg(lib),
                                       QStringLiteral("SELECT load_extension('%1', 'tabulonTrapLoaded')").arg(lib),
                                       QStringLiteral("SELECT * FROM (SELECT load_extension('%1'))").arg(lib)}) {
                const DbError e = errorOf([&] { b->execute(sql, 0, nullptr); });
                EXPECT_TRUE(e.message().contains(QLatin1String("not authorized"))) << e.message().toStdString();
                EXPECT_FALSE(errorOf([&] {
                                 auto cursor = b->openCursor(sql, 0);
                                 RowStore rows(cursor->fields());
                                 while (!cursor->atEnd())
                                     cursor->fetch(rows, 10);
                             }).message().isEmpty());
                EXPECT_FALSE(QFile::exists(marker)) << "the library was loaded by " << sql.toStdString();
                QFile::remove(marker);
            }
        }
        EXPECT_EQ(odbc->execute(QStringLiteral("SELECT 1 + 1"), 0, nullptr)->int64(0, 0), 2);
    }
    qunsetenv("TABULON_TRAP_MARKER");

    // The message names the way out, and the registered drivers for a name that is not one.
    const DbError unknown = errorOf([] {
        backends::makeOdbc()->open(ConnectionString::parse(QStringLiteral("Driver=Tabulon No Such Driver")), 5, true);
    });
    if (odbcDriverRegistered("SQLite3")) {
        EXPECT_TRUE(unknown.message().contains(QLatin1String("SQLite3"))) << unknown.message().toStdString();
    }
    const DbError path = errorOf([&] { backends::makeOdbc()->open(ConnectionString::parse(QStringLiteral("Driver=") + lib), 5, true); });
    EXPECT_TRUE(path.message().contains(QLatin1String("registered with the ODBC driver manager"))) << path.message().toStdString();
}

TEST_F(DbOdbc, ConnectionStringsOf32KBAndMoreArriveWhole)
{
    const QString database = ConnectionString::parse(m_db->connectionString()).value(QStringLiteral("Database"), QString());
    ASSERT_FALSE(database.isEmpty());
    // The driver comes after the long value: a string cut short (or refused for its 16-bit
    // length) never reaches it. The SQLite driver reads only the start of a string for itself, so
    // the database comes first.
    for (const int pad : {32'000, 32'767, 32'768, 40'000, 100'000}) {
        const QString text = QStringLiteral("Provider=ODBC;Database=") + database + QStringLiteral(";Tabulon Pad=")
            + QString(pad, u'x') + QStringLiteral(";Driver=SQLite3");
        auto b = backends::makeOdbc();
        try {
            b->open(ConnectionString::parse(text), 10, true);
        } catch (const DbError &e) {
            ADD_FAILURE() << pad << ": " << e.message().toStdString();
            continue;
        }
        EXPECT_EQ(b->execute(QStringLiteral("SELECT count(*) FROM conf_big"), 0, nullptr)->int64(0, 0), count(QStringLiteral("conf_big")))
            << pad;
    }
}
