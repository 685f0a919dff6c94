#include "DbFixtures.h"
#include "DbTestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Worker.h"
#include "db/backends/SqliteTypes.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

using namespace db;
using dbtest::errorOf;

namespace {

class SqliteBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = dbtest::makeSqliteDatabase();
        m_conn = connect(true);
    }

    std::shared_ptr<Connection> connect(bool readOnly)
    {
        auto c = Connection::create();
        c->setReadOnly(readOnly);
        c->Open(m_db->connectionString());
        return c;
    }

    std::shared_ptr<Recordset> open(const QString &sql)
    {
        auto rs = Recordset::create();
        rs->Open(sql, m_conn);
        return rs;
    }

    qlonglong count(const QString &table) { return m_conn->Execute("SELECT count(*) FROM " + table)->Value(0).toLongLong(); }

    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<Connection> m_conn;
};

} // namespace

TEST_F(SqliteBackend, DeclaredTypesFollowTheirNamesThenAffinity)
{
    m_db->exec(QStringLiteral(
        "CREATE TABLE decl(a TINYINT, b MEDIUMINT, c INT8, d NVARCHAR(30), e NCHAR(4), f CLOB, g FLOAT, "
        "h DECIMAL(8,3), i DATETIME, j BOOL, k UUID, l POINT, m JSON, n CHARACTER VARYING(7), o)"));
    const struct {
        int type;
        long size;
    } expected[] = {{adSmallInt, 2}, {adInteger, 4}, {adBigInt, 8},       {adVarWChar, 30}, {adWChar, 4},
                    {adVarWChar, 0}, {adDouble, 8},  {adNumeric, 19},     {adDBTimeStamp, 16}, {adBoolean, 2},
                    {adGUID, 16},    {adInteger, 4}, {adNumeric, 19},     {adVarWChar, 7},  {adVarWChar, 0}};
    const auto described = m_conn->DescribeQuery(QStringLiteral("SELECT * FROM decl"));
    const auto columns = m_conn->TableColumns(QString(), QStringLiteral("decl"));
    ASSERT_EQ(described.size(), std::size(expected));
    ASSERT_EQ(columns.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(described[i].Type, expected[i].type) << described[i].Name.toStdString();
        EXPECT_EQ(described[i].DefinedSize, expected[i].size) << described[i].Name.toStdString();
        EXPECT_EQ(columns[i].Type, expected[i].type) << columns[i].Name.toStdString();
    }
    EXPECT_EQ(described[7].Precision, 8);
    EXPECT_EQ(described[7].NumericScale, 3);
    EXPECT_EQ(described[3].DeclaredType, QStringLiteral("NVARCHAR(30)"));
}

TEST_F(SqliteBackend, ExpressionColumnsTakeTheTypeOfTheirFirstNonNullValue)
{
    auto rs = open(QStringLiteral(
        "SELECT CASE WHEN id < 50 THEN NULL ELSE id END AS late_int, id * 0.5 AS half, 'x' || id AS txt, "
        "CAST(NULL AS TEXT) AS none_v, zeroblob(2) AS bin, count(*) OVER () AS n FROM conf_big ORDER BY id"));
    EXPECT_EQ(rs->Field(0).Type, adBigInt);
    EXPECT_EQ(rs->Field(1).Type, adDouble);
    EXPECT_EQ(rs->Field(2).Type, adVarWChar);
    EXPECT_EQ(rs->Field(3).Type, adVarWChar);
    EXPECT_EQ(rs->Field(4).Type, adLongVarBinary);
    EXPECT_TRUE(rs->Field(0).BaseColumnName.isEmpty());
    EXPECT_TRUE(rs->isNull(0, 0));
    EXPECT_EQ(rs->value(60, 0).toLongLong(), 61);
    EXPECT_EQ(rs->RecordCount(), 5000);
    EXPECT_EQ(rs->value(4999, 1).toDouble(), 2500.0);

    // Describing agrees, and reads no further than a query may.
    const auto fields = m_conn->DescribeQuery(rs->Source());
    ASSERT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[0].Type, adBigInt);
    EXPECT_EQ(fields[1].Type, adDouble);
}

TEST_F(SqliteBackend, AValueThatDoesNotFitItsTypeRetypesTheColumnWithoutLoss)
{
    // Rows past the first chunk, so that rows already held are converted.
    m_db->exec(QStringLiteral(
        "CREATE TABLE odd(id INTEGER PRIMARY KEY, d DATE, n INTEGER, b BOOLEAN);"
        "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < 400)"
        "  INSERT INTO odd SELECT i, date('2024-01-01', '+' || i || ' days'), i, i % 2 FROM s;"
        "UPDATE odd SET d = 'not a date', n = 2.5, b = 7 WHERE id = 300;"
        "UPDATE odd SET d = NULL WHERE id = 2;"));
    auto rs = open(QStringLiteral("SELECT d, n, b FROM odd ORDER BY id"));
    EXPECT_EQ(rs->Field(0).Type, adDBDate);
    EXPECT_EQ(rs->value(0, 0).toDate(), QDate(2024, 1, 2));
    ASSERT_EQ(rs->RecordCount(), 400);

    EXPECT_EQ(rs->Field(0).Type, adVarWChar);
    EXPECT_EQ(rs->value(0, 0).toString(), QStringLiteral("2024-01-02"));
    EXPECT_TRUE(rs->isNull(1, 0));
    EXPECT_EQ(rs->value(299, 0).toString(), QStringLiteral("not a date"));
    EXPECT_EQ(rs->value(399, 0).toString(), QStringLiteral("2025-02-04"));

    EXPECT_EQ(rs->Field(1).Type, adDouble);
    EXPECT_EQ(rs->value(298, 1).toDouble(), 299.0);
    EXPECT_EQ(rs->value(299, 1).toDouble(), 2.5);

    EXPECT_EQ(rs->Field(2).Type, adInteger);
    EXPECT_EQ(rs->value(299, 2).toLongLong(), 7);
    EXPECT_EQ(rs->value(0, 2).toLongLong(), 1);
}

TEST_F(SqliteBackend, LazyCursorHasItsOwnConnection)
{
    // In WAL mode a writer may go on beside a reader; the cursor keeps the rows it started with.
    m_db->exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    auto writable = connect(false);
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), writable);
    ASSERT_LT(rs->fetchedCount(), 5000u);
    writable->Execute(QStringLiteral("DELETE FROM conf_big WHERE id > 100; CREATE TABLE other(x)"));
    EXPECT_EQ(count(QStringLiteral("conf_big")), 100);
    EXPECT_EQ(rs->RecordCount(), 5000);
    EXPECT_EQ(rs->value(4999, 0).toLongLong(), 5000);

    // The recordset keeps working after its connection is closed and gone.
    auto late = Recordset::create();
    late->Open(QStringLiteral("SELECT id FROM conf_big"), writable);
    writable->Close();
    writable.reset();
    EXPECT_EQ(late->RecordCount(), 100);
}

TEST_F(SqliteBackend, CursorsAfterOthersSeeTheDataAsItIsNow)
{
    // Cursors come and go on connections kept open between them: what one left behind (a
    // statement interrupted half-way, a schema or rows changed elsewhere since) never shows in
    // the next.
    auto writable = connect(false);
    for (int round = 0; round < 3; ++round) {
        auto slow = Recordset::create();
        slow->Open(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                  "SELECT x FROM c WHERE x <= 200 OR x % 2000000000 = 0"),
                   writable);
        QTimer::singleShot(50, [&] { slow->Cancel(); });
        EXPECT_FALSE(slow->fetchAll());
        slow.reset();

        auto whole = Recordset::create();
        whole->Open(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), writable);
        ASSERT_TRUE(whole->fetchAll()) << "round " << round;
        EXPECT_EQ(whole->RecordCount(), 5000 - round);
        whole.reset();

        writable->Execute(QStringLiteral("DELETE FROM conf_big WHERE id = %1").arg(5000 - round));
        writable->Execute(QStringLiteral("CREATE TABLE made%1(x); INSERT INTO made%1 VALUES (%1)").arg(round));
        auto made = Recordset::create();
        made->Open(QStringLiteral("SELECT x FROM made%1").arg(round), writable);
        ASSERT_EQ(made->RecordCount(), 1);
        EXPECT_EQ(made->value(0, 0).toInt(), round);
    }
    // Two at once read each its own rows.
    auto a = Recordset::create();
    auto b = Recordset::create();
    a->Open(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), writable);
    b->Open(QStringLiteral("SELECT id FROM conf_big ORDER BY id DESC"), writable);
    ASSERT_TRUE(a->fetchAll());
    ASSERT_TRUE(b->fetchAll());
    EXPECT_EQ(a->value(0, 0).toInt(), 1);
    EXPECT_EQ(b->value(0, 0).toInt(), 4997);
    EXPECT_EQ(a->RecordCount(), b->RecordCount());
}

TEST_F(SqliteBackend, ExecuteRunsEveryStatementAndCountsChanges)
{
    auto writable = connect(false);
    long affected = 0;
    auto none = writable->Execute(QStringLiteral("UPDATE conf_big SET label = 'x' WHERE id <= 7"), &affected);
    EXPECT_EQ(none->State(), adStateClosed);
    EXPECT_EQ(affected, 7);
    auto rs = writable->Execute(
        QStringLiteral("CREATE TABLE t(v); INSERT INTO t VALUES (1), (2); SELECT v FROM t ORDER BY v; -- done"), &affected);
    EXPECT_EQ(affected, 2);
    ASSERT_EQ(rs->State(), adStateOpen);
    EXPECT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->Source(), QStringLiteral("CREATE TABLE t(v); INSERT INTO t VALUES (1), (2); SELECT v FROM t ORDER BY v; -- done"));

    EXPECT_FALSE(errorOf([&] { open(QStringLiteral("SELECT 1; SELECT 2")); }).message().isEmpty());
    EXPECT_EQ(open(QStringLiteral("SELECT 1; -- a comment only")) ->RecordCount(), 1);
}

TEST_F(SqliteBackend, LookingNeverWrites)
{
    auto writable = connect(false);
    for (const char *sql : {"DELETE FROM conf_big", "WITH t AS (SELECT 1) DELETE FROM conf_big",
                            "INSERT INTO conf_big(id) VALUES (9999)", "PRAGMA user_version = 5"}) {
        const DbError e = errorOf([&] { writable->DescribeQuery(QString::fromUtf8(sql)); });
        EXPECT_FALSE(e.message().isEmpty()) << sql;
        EXPECT_NO_THROW(writable->CheckSyntax(QString::fromUtf8(sql))) << sql;
    }
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);
    EXPECT_EQ(m_conn->Execute(QStringLiteral("PRAGMA user_version"))->Value(0).toLongLong(), 0);
    EXPECT_TRUE(errorOf([&] { m_conn->CheckSyntax(QStringLiteral("SELECT * FROM nope")); })
                    .message()
                    .contains(QStringLiteral("no such table: nope")));
}

TEST_F(SqliteBackend, OpeningNeverCreatesAFileAndRejectsNonDatabases)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.db"));
    auto c = Connection::create();
    EXPECT_THROW(c->Open(QStringLiteral("Provider=SQLite;Data Source=") + missing), DbError);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_EQ(c->State(), adStateClosed);
    ASSERT_FALSE(c->Errors().empty());
    EXPECT_TRUE(c->Errors().front().Description.contains(missing));

    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    EXPECT_THROW(c->Open(QStringLiteral("Data Source=") + text), DbError);
    EXPECT_EQ(c->State(), adStateClosed);

    // Names with URI characters are plain paths.
    const QString odd = dir.filePath(QStringLiteral("a?b#c.db"));
    ASSERT_TRUE(QFile::copy(m_db->connectionString().section(QStringLiteral("Data Source="), 1), odd));
    c->Open(QStringLiteral("Data Source=\"%1\"").arg(odd));
    EXPECT_EQ(c->Execute(QStringLiteral("SELECT count(*) FROM conf_types"))->Value(0).toLongLong(), 3);
    EXPECT_TRUE(c->Version().startsWith(QStringLiteral("SQLite 3.")));
}

TEST_F(SqliteBackend, CancelStopsFetchingAndKeepsTheRowsSoFar)
{
    // A query whose rows come slowly after the first screen: the cancel interrupts it.
    auto rs = open(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                  "SELECT x FROM c WHERE x <= 200 OR x % 2000000000 = 0"));
    const std::size_t first = rs->fetchedCount();
    ASSERT_GE(first, 100u);
    QTimer::singleShot(100, [&] { rs->Cancel(); });
    EXPECT_FALSE(rs->fetchAll());
    ASSERT_TRUE(QTest::qWaitFor([&] { return rs->fetchError().has_value(); }, 60000));
    EXPECT_TRUE(rs->fetchError()->isCancelled());
    EXPECT_FALSE(rs->isComplete()) << "a cancelled result is not the whole result";
    EXPECT_LE(rs->fetchedCount(), 200u);
    EXPECT_EQ(rs->value(rs->fetchedCount() - 1, 0).toLongLong(), qlonglong(rs->fetchedCount()));
    EXPECT_THROW(rs->RecordCount(), DbError);
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);

    // A cancelled statement reports SQLite's interrupt with the common SQLSTATE.
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            m_conn->Cancel();
        }
    });
    const DbError e = errorOf([&] {
        m_conn->Execute(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT max(x) FROM c"));
    });
    done = true;
    canceller.join();
    EXPECT_EQ(e.sqlState(), QStringLiteral("57014"));

    // A stop that comes after the worker's call began but before its statement runs (its
    // interrupt then finds nothing running), or before the call itself began, still ends the
    // statement, which would otherwise run to its end.
    const QString counting = QStringLiteral(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT 3000000) SELECT max(x) FROM c");
    for (const bool beforeTheCall : {false, true}) {
        SCOPED_TRACE(beforeTheCall ? "before the call" : "before the statement");
        auto state = std::make_shared<WorkerState>();
        auto calls = std::make_shared<CallRegistry>();
        if (beforeTheCall)
            worker::endCalls(calls, state);
        std::promise<void> begun, cancelReached;
        std::optional<DbError> error;
        std::thread call([&] {
            const WorkerState::Call running(*state);
            if (!beforeTheCall) {
                const CallRegistry::Scope early(*calls, {[&] { cancelReached.set_value(); }, {}});
                begun.set_value();
                cancelReached.get_future().wait();
            }
            error = errorOf([&] { m_conn->Execute(counting); });
        });
        if (!beforeTheCall) {
            begun.get_future().wait();
            worker::stopCall(calls, state, std::chrono::milliseconds(0));
        }
        call.join();
        EXPECT_TRUE(error->isCancelled()) << error->message().toStdString();
    }
    EXPECT_EQ(m_conn->Execute(counting)->Value(0).toLongLong(), 3000000) << "the connection's next call runs whole";
}

TEST_F(SqliteBackend, NoStoredRoutines)
{
    EXPECT_TRUE(m_conn->Routines().empty());
    EXPECT_THROW(m_conn->RoutineParameters(QString(), QStringLiteral("anything")), DbError);
    EXPECT_FALSE(m_conn->Errors().empty());
}

TEST(SqliteValues, ExactParsersNeverRoundAway)
{
    using namespace db::backends::sqlite;
    std::int64_t v = 0;
    EXPECT_TRUE(parseTimestamp("2024-02-29T13:45:30.250", v));
    EXPECT_EQ(RowStore::decodeDateTime(v).time(), QTime(13, 45, 30, 250));
    EXPECT_TRUE(parseTimestamp("2024-02-29 13:45:30.250000", v));
    EXPECT_TRUE(parseTimestamp("2024-02-29 13:45:30.250001", v));
    EXPECT_EQ(v % 1000000, 250001) << "every microsecond is kept";
    EXPECT_FALSE(parseTimestamp("2024-02-29 13:45:30.2500001", v)) << "a finer fraction would be lost";
    EXPECT_FALSE(parseTimestamp("2024-02-30 00:00:00", v));
    EXPECT_FALSE(parseTimestamp("2024-02-29 13:45:30+02:00", v)) << "a zone would be lost";
    EXPECT_TRUE(parseDate("2024-02-29 00:00:00", v));
    EXPECT_FALSE(parseDate("2024-02-29 00:00:01", v));
    EXPECT_FALSE(parseDate("24-2-29", v));
    EXPECT_FALSE(parseTime("24:00:00", v));

    std::string out;
    EXPECT_TRUE(canonicalDecimal("+000123.4500", 2, out));
    EXPECT_EQ(out, "123.4500");
    EXPECT_TRUE(canonicalDecimal("-0.00", 2, out));
    EXPECT_EQ(out, "0.00");
    EXPECT_TRUE(canonicalDecimal("1.5e3", 2, out));
    EXPECT_EQ(out, "1500.00");
    EXPECT_FALSE(canonicalDecimal("12abc", 0, out));
    EXPECT_TRUE(decimalFromDouble(0.1, 2, out));
    EXPECT_EQ(out, "0.10");
    EXPECT_TRUE(decimalFromDouble(-1e-7, 0, out));
    EXPECT_EQ(out, "-0.0000001");
    EXPECT_FALSE(db::parseInteger(std::string_view("9223372036854775808")).has_value());
    EXPECT_FALSE(db::parseInteger(std::string_view("12x")).has_value());
}
