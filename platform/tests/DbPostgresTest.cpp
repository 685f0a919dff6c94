#include "DbFixtures.h"
#include "DbTestSupport.h"
#include "TestSupport.h"

#include "db/Backend.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "db/Recordset.h"
#include "db/backends/Backends.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTime>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
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

namespace {

// Each test works in a fresh schema of its own (tests run side by side against one server).
class DbPostgres : public ::testing::Test {
protected:
    // Opens the conformance database; extraOptions go to the server's startup options.
    void openDatabase(bool readOnly = true, const QString &extraOptions = {})
    {
        m_db = dbtest::makePostgresDatabase();
        ASSERT_TRUE(m_db);
        m_cs = ConnectionString::parse(m_db->connectionString());
        const QString options = m_cs.value(QStringLiteral("options"), QString());
        m_schema = options.section(QLatin1Char('='), 1).trimmed();
        if (!extraOptions.isEmpty())
            m_cs.setValue(QStringLiteral("options"), options + QLatin1Char(' ') + extraOptions);
        m_backend = backends::makePostgres();
        m_backend->open(m_cs, 10, readOnly);
    }

    std::unique_ptr<ConnectionBackend> openAnother(bool readOnly)
    {
        auto b = backends::makePostgres();
        b->open(m_cs, 10, readOnly);
        return b;
    }

    std::shared_ptr<RowStore> query(const QString &sql) { return m_backend->execute(sql, 0, nullptr); }

    // All rows of a statement through a lazy cursor, fetched in chunks of `chunk`.
    std::shared_ptr<RowStore> fetchAll(const QString &sql, std::size_t chunk = 1000)
    {
        auto cursor = m_backend->openCursor(sql, 0);
        auto store = std::make_shared<RowStore>(cursor->fields());
        while (!cursor->atEnd())
            cursor->fetch(*store, chunk);
        return store;
    }

    std::unique_ptr<dbtest::TestDatabase> m_db;
    ConnectionString m_cs;
    QString m_schema;
    std::unique_ptr<ConnectionBackend> m_backend;
};

// A loopback TCP socket on a free port; listening, it accepts connections and never answers.
class LoopbackSocket {
public:
    explicit LoopbackSocket(bool listening)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), len) != 0
            || (listening && ::listen(m_fd, 8) != 0)
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            ADD_FAILURE() << "no loopback socket";
        m_port = ntohs(addr.sin_port);
    }
    ~LoopbackSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace

TEST_F(DbPostgres, ConformanceTableTypesSizesAndBaseColumns)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const auto s = fetchAll(QStringLiteral("SELECT * FROM conf_types ORDER BY id"), 2);
    ASSERT_EQ(s->rowCount(), 3u);

    const struct {
        const char *name;
        int type;
        long size;
        int precision, scale;
    } expected[] = {
        {"id", adInteger, 4, 10, 0},      {"small_v", adSmallInt, 2, 5, 0},   {"int_v", adInteger, 4, 10, 0},
        {"big_v", adBigInt, 8, 19, 0},    {"bool_v", adBoolean, 2, 0, 0},     {"real_v", adSingle, 4, 7, 0},
        {"double_v", adDouble, 8, 15, 0}, {"num_v", adNumeric, 19, 10, 2},    {"date_v", adDBDate, 6, 10, 0},
        {"time_v", adDBTime, 6, 8, 0},    {"ts_v", adDBTimeStamp, 16, 23, 0},   {"vc_v", adVarWChar, 40, 0, 0},
        {"text_v", adVarWChar, 0, 0, 0},  {"ch_v", adWChar, 5, 0, 0},         {"blob_v", adLongVarBinary, 0, 0, 0},
    };
    for (const auto &e : expected) {
        const FieldInfo &f = field(*s, e.name);
        EXPECT_EQ(f.Type, e.type) << e.name;
        EXPECT_EQ(f.DefinedSize, e.size) << e.name;
        EXPECT_EQ(f.Precision, e.precision) << e.name;
        EXPECT_EQ(f.NumericScale, e.scale) << e.name;
        EXPECT_EQ(f.BaseTableName, "conf_types") << e.name;
        EXPECT_EQ(f.BaseColumnName, e.name);
        EXPECT_EQ(f.BaseSchemaName, m_schema) << e.name;
    }
    EXPECT_FALSE(field(*s, "id").Nullable);
    EXPECT_TRUE(field(*s, "int_v").Nullable);
    EXPECT_EQ(field(*s, "vc_v").DeclaredType, "character varying(40)");

    // Values themselves are checked for every client alike elsewhere; here what is PostgreSQL's own.
    EXPECT_EQ(s->text(0, col(*s, "ch_v")), "ab   "); // fixed length keeps its padding
    EXPECT_EQ(s->blob(0, col(*s, "blob_v")), QByteArray("\x00\x01\xff", 3));
    EXPECT_FALSE(s->isNull(2, col(*s, "blob_v")));
    EXPECT_TRUE(s->blob(2, col(*s, "blob_v")).isEmpty());

    // Executed and described results are typed exactly like the cursor's.
    const auto e = query(QStringLiteral("SELECT * FROM conf_types ORDER BY id"));
    const auto d = m_backend->describe(QStringLiteral("SELECT * FROM conf_types"));
    ASSERT_EQ(e->columnCount(), s->columnCount());
    ASSERT_EQ(int(d.size()), s->columnCount());
    for (int c = 0; c < s->columnCount(); ++c) {
        EXPECT_EQ(e->fields()[std::size_t(c)].Type, s->fields()[std::size_t(c)].Type);
        EXPECT_EQ(d[std::size_t(c)].Type, s->fields()[std::size_t(c)].Type);
        EXPECT_EQ(d[std::size_t(c)].DefinedSize, s->fields()[std::size_t(c)].DefinedSize);
        for (std::size_t r = 0; r < 3; ++r)
            EXPECT_EQ(e->value(r, c), s->value(r, c)) << r << "," << c;
    }
}

TEST_F(DbPostgres, MoreTypesAndOddValues)
{
    TABULON_REQUIRE_POSTGRES();
    // A session time zone half an hour off whole hours, passed on through the options.
    openDatabase(true, QStringLiteral("-c timezone=Asia/Kolkata"));
    m_db->exec(QStringLiteral("CREATE DOMAIN dprice AS numeric(5,1); CREATE TYPE mood AS ENUM ('ok', 'sad');"
                              "CREATE TABLE t(m money, tz timestamptz, u uuid, j json, jb jsonb, n numeric,"
                              " v varchar(7), p dprice, e mood, a int[], iv interval, tt timetz, c char,"
                              " f float8, nm name)"));
    m_db->exec(QStringLiteral(
        "INSERT INTO t VALUES ('-1234567.89', '2024-01-01 00:00:00+00', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11',"
        " '{\"a\": [1, 2]}', '{\"b\": null}', 123456789012345678901234567890.123456789, 'seven!!', 12.5,"
        " 'sad', '{1,2}', '1 day 02:00:00', '13:45:30.25+02', 'z', 'NaN', 'nm'),"
        " (92233720368547.75, '-infinity', NULL, NULL, NULL, 'NaN', '', NULL, NULL, NULL, NULL, NULL, NULL,"
        "  '-Infinity', NULL)"));

    const auto s = fetchAll(QStringLiteral("SELECT * FROM t"));
    ASSERT_EQ(s->rowCount(), 2u);
    EXPECT_EQ(field(*s, "m").Type, adCurrency);
    EXPECT_EQ(s->text(0, col(*s, "m")), "-1234567.89"); // money is held exactly
    EXPECT_EQ(s->text(1, col(*s, "m")), "92233720368547.75");
    EXPECT_EQ(field(*s, "tz").Type, adDBTimeStamp);
    // The wall clock of the session's zone, with the offset it was given.
    EXPECT_EQ(s->displayText(0, col(*s, "tz")), "2024-01-01 05:30:00+05:30");
    EXPECT_EQ(s->value(0, col(*s, "tz")).toDateTime(), QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(s->value(0, col(*s, "tz")).toDateTime().offsetFromUtc(), 19800);
    EXPECT_EQ(s->displayText(1, col(*s, "tz")), "-infinity");
    EXPECT_EQ(field(*s, "u").Type, adGUID);
    EXPECT_EQ(s->text(0, col(*s, "u")), "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11");
    EXPECT_EQ(field(*s, "j").Type, adVarWChar);
    EXPECT_EQ(s->text(0, col(*s, "j")), "{\"a\": [1, 2]}");
    EXPECT_EQ(field(*s, "jb").Type, adVarWChar);
    EXPECT_EQ(field(*s, "n").Type, adNumeric);
    EXPECT_EQ(field(*s, "n").Precision, 0);
    EXPECT_EQ(s->text(0, col(*s, "n")), "123456789012345678901234567890.123456789");
    EXPECT_EQ(s->text(1, col(*s, "n")), "NaN");
    EXPECT_EQ(field(*s, "v").DefinedSize, 7);
    EXPECT_FALSE(s->isNull(1, col(*s, "v")));
    // A domain is its base type.
    EXPECT_EQ(field(*s, "p").Type, adNumeric);
    EXPECT_EQ(field(*s, "p").Precision, 5);
    EXPECT_EQ(field(*s, "p").NumericScale, 1);
    EXPECT_EQ(s->text(0, col(*s, "p")), "12.5");
    EXPECT_EQ(field(*s, "e").Type, adVarWChar);
    EXPECT_EQ(s->text(0, col(*s, "e")), "sad");
    EXPECT_EQ(s->text(0, col(*s, "a")), "{1,2}");
    EXPECT_EQ(s->text(0, col(*s, "iv")), "1 day 02:00:00");
    EXPECT_EQ(field(*s, "tt").Type, adDBTime);
    EXPECT_EQ(s->value(0, col(*s, "tt")).toTime(), QTime(13, 45, 30, 250));
    EXPECT_EQ(s->displayText(0, col(*s, "tt")), "13:45:30.25+02");
    EXPECT_EQ(field(*s, "c").Type, adWChar);
    EXPECT_EQ(field(*s, "c").DefinedSize, 1);
    EXPECT_TRUE(std::isnan(s->real(0, col(*s, "f"))));
    EXPECT_EQ(s->real(1, col(*s, "f")), -INFINITY);
    EXPECT_EQ(field(*s, "nm").Type, adVarWChar);
}

TEST_F(DbPostgres, EveryTypeShowsAsTheServerWritesIt)
{
    TABULON_REQUIRE_POSTGRES();
    // The server's own text of each value (its output function, through format) is the
    // reference: the cursor reads the value (binary where the type has it) and the program
    // writes it again. Booleans, money and binary data
    // are shown the program's way and are not here.
    openDatabase(true, QStringLiteral("-c timezone=Asia/Kathmandu"));
    m_db->exec(QStringLiteral("CREATE TYPE hue AS ENUM ('red', 'green')"));
    const char *const values[] = {
        "'-32768'::int2", "'-9223372036854775808'::int8", "2147483647::int4", "0.1::float8", "'-Infinity'::float8",
        "'NaN'::float4", "1e-7::float8", "0.30000000000000004::float8", "-123456789012345678901234567890.000123456789",
        "'NaN'::numeric", "'-Infinity'::numeric", "0.00001::numeric(10,5)", "12300::numeric(5,-2)",
        "'4713-01-01 BC'::date", "'infinity'::date", "'12345-06-07'::date", "'24:00:00'::time",
        "'23:59:59.999999'::time(6)", "'12:34:56.789+05:45'::timetz", "'00:00:00-15:59'::timetz",
        "'294000-12-31 23:59:59.999999'::timestamp", "'0044-03-15 10:00:00 BC'::timestamp",
        "'2024-03-31 02:30:00.000001+02'::timestamptz", "'1900-01-01 00:00:00+00'::timestamptz",
        "'-infinity'::timestamptz", "'1 year 2 mons -3 days 04:05:06.789'::interval", "'ab'::char(5)",
        "'x '::varchar(5)", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid", "'{\"b\": 1, \"a\": [1, 2.50]}'::jsonb",
        "'{\"a\": [1, 2.50, null]}'::json", "'<a x=\"1\">t&amp;</a>'::xml", "'{{1,2},{3,NULL}}'::int[]",
        "ARRAY['a b', NULL, 'c,d', 'e\"f']", "'green'::hue", "'192.168.0.1/24'::inet", "'::/0'::cidr",
        "'08:00:2b:01:02:03'::macaddr", "B'1010'", "'[1,10)'::int4range",
        "'[2024-01-01 00:00+00,2024-02-01 00:00+00)'::tstzrange", "'a fat cat'::tsvector", "'(1.5,-2)'::point",
        "'<(0,0),1.5>'::circle", "4294967295::oid", "'16/B374D848'::pg_lsn", "ROW(1, 'a', NULL)", "'nm'::name"};
    QStringList columns;
    for (std::size_t i = 0; i < std::size(values); ++i)
        columns << QStringLiteral("%1 AS v%2, format('%s', %1) AS t%2").arg(QLatin1String(values[i])).arg(i);
    const auto s = fetchAll(QStringLiteral("SELECT ") + columns.join(QStringLiteral(", ")));
    ASSERT_EQ(s->rowCount(), 1u);
    for (std::size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(s->displayText(0, int(2 * i)), s->text(0, int(2 * i + 1))) << values[i];
}

TEST_F(DbPostgres, InfiniteAndFarDatesKeepTheirOrder)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    // Infinities stay infinities, after and before every date; other dates keep their exact
    // value, BC included, and read as PostgreSQL writes them.
    const auto s = fetchAll(QStringLiteral(
        "SELECT d, d::timestamp AS ts FROM (VALUES ('infinity'::date), ('-infinity'), ('2024-02-29'),"
        " ('0044-03-15 BC'), ('12345-06-07')) AS v(d)"));
    ASSERT_EQ(s->rowCount(), 5u);
    EXPECT_EQ(s->displayText(0, 0), "infinity");
    EXPECT_EQ(s->displayText(0, 1), "infinity");
    EXPECT_EQ(s->displayText(1, 0), "-infinity");
    EXPECT_EQ(s->value(1, 1).toString(), "-infinity");
    EXPECT_EQ(s->value(2, 0).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(s->value(3, 0).toDate(), QDate(-44, 3, 15));
    EXPECT_EQ(s->displayText(3, 0), "0044-03-15 BC");
    EXPECT_EQ(s->displayText(3, 1), "0044-03-15 00:00:00 BC");
    EXPECT_EQ(s->value(3, 1).toDateTime().date(), QDate(-44, 3, 15));
    EXPECT_EQ(s->value(4, 0).toDate(), QDate(12345, 6, 7));
    for (int c = 0; c < 2; ++c) {
        EXPECT_LT(s->int64(1, c), s->int64(3, c));
        EXPECT_LT(s->int64(3, c), s->int64(2, c));
        EXPECT_LT(s->int64(4, c), s->int64(0, c));
    }

    // Every microsecond, and 24:00:00 as the end of the day it is.
    const auto t = query(QStringLiteral("SELECT '24:00:00'::time, '23:59:59.999999'::time,"
                                        " '2024-02-29 13:45:30.000001'::timestamp"));
    EXPECT_EQ(t->displayText(0, 0), "24:00:00");
    EXPECT_EQ(t->displayText(0, 1), "23:59:59.999999");
    EXPECT_LT(t->int64(0, 1), t->int64(0, 0));
    EXPECT_EQ(t->displayText(0, 2), "2024-02-29 13:45:30.000001");

    // The server's last thirty years do not fit the microseconds the rows hold: a clear error,
    // never a date wrapped into the far past.
    EXPECT_EQ(query(QStringLiteral("SELECT '294000-01-01 00:00:00'::timestamp"))->displayText(0, 0), "294000-01-01 00:00:00");
    try {
        query(QStringLiteral("SELECT '294276-12-31 23:59:59'::timestamp AS last"));
        ADD_FAILURE() << "read a timestamp it cannot hold";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("'294276-12-31 23:59:59' of column last"))) << e.message().toStdString();
    }
}

TEST_F(DbPostgres, ExpressionColumnsAndBaseColumns)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const auto f = m_backend->describe(QStringLiteral(
        "SELECT b.id AS key, b.label, b.amount * 2 AS twice, v.label AS vl, n.\"Order Id\""
        " FROM conf_big b JOIN conf_view v ON v.id = b.id JOIN \"conf Name with blank\" n ON n.\"Order Id\" = b.id"));
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].Name, "key");
    EXPECT_EQ(f[0].BaseColumnName, "id");
    EXPECT_EQ(f[0].BaseTableName, "conf_big");
    EXPECT_FALSE(f[0].Nullable);
    EXPECT_EQ(f[1].DefinedSize, 20);
    EXPECT_EQ(f[2].Type, adNumeric);
    EXPECT_TRUE(f[2].BaseTableName.isEmpty());
    EXPECT_TRUE(f[2].Nullable);
    EXPECT_EQ(f[4].BaseTableName, "conf Name with blank");
    EXPECT_EQ(f[4].BaseColumnName, "Order Id");

    const auto blank = query(QStringLiteral("SELECT * FROM \"conf Name with blank\" ORDER BY 1"));
    ASSERT_EQ(blank->rowCount(), 2u);
    EXPECT_EQ(blank->fields()[1].Name, "Line \"quoted\"");
    EXPECT_EQ(blank->text(1, 1), "b");
}

TEST_F(DbPostgres, LazyCursorIsNeitherTruncatedNorBlockedByOtherWork)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    auto cursor = m_backend->openCursor(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"), 0);
    RowStore store(cursor->fields());
    EXPECT_EQ(cursor->fetch(store, 100), 100u);
    EXPECT_FALSE(cursor->atEnd());

    // Meanwhile the connection runs other statements, another cursor and a describe.
    const auto count = query(QStringLiteral("SELECT count(*) FROM conf_big"));
    EXPECT_EQ(count->int64(0, 0), 5000);
    EXPECT_EQ(m_backend->describe(QStringLiteral("SELECT label FROM conf_big")).size(), 1u);
    auto other = m_backend->openCursor(QStringLiteral("SELECT id FROM conf_big WHERE id > 4990"), 0);
    RowStore otherStore(other->fields());
    EXPECT_EQ(other->fetch(otherStore, 1000), 10u);
    EXPECT_TRUE(other->atEnd());
    other.reset();

    while (!cursor->atEnd())
        cursor->fetch(store, 777);
    ASSERT_EQ(store.rowCount(), 5000u);
    std::int64_t sum = 0;
    for (std::size_t r = 0; r < store.rowCount(); ++r)
        sum += store.int64(r, 0);
    EXPECT_EQ(sum, 5000LL * 5001 / 2);
    EXPECT_EQ(store.text(4999, 1), "row 5000");
    EXPECT_EQ(store.text(4999, 2), "6250.00");
    EXPECT_EQ(cursor->fetch(store, 10), 0u);

    // A cursor dropped half-way leaves the connection fully usable.
    auto dropped = m_backend->openCursor(QStringLiteral("SELECT * FROM conf_big"), 0);
    RowStore some(dropped->fields());
    dropped->fetch(some, 10);
    dropped.reset();
    EXPECT_EQ(query(QStringLiteral("SELECT 1"))->int64(0, 0), 1);
}

TEST_F(DbPostgres, MaxRecordsStopsTheResult)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    auto cursor = m_backend->openCursor(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), 7);
    RowStore store(cursor->fields());
    EXPECT_EQ(cursor->fetch(store, 5), 5u);
    EXPECT_EQ(cursor->fetch(store, 5), 2u);
    EXPECT_TRUE(cursor->atEnd());
    EXPECT_EQ(store.rowCount(), 7u);
    EXPECT_EQ(store.int64(6, 0), 7);

    EXPECT_EQ(m_backend->execute(QStringLiteral("SELECT id FROM conf_big"), 3, nullptr)->rowCount(), 3u);
    // A limit above the row count is no limit; the statement that is not a query is held the same.
    auto held = m_backend->openCursor(QStringLiteral("SHOW search_path"), 100);
    RowStore heldStore(held->fields());
    EXPECT_EQ(held->fetch(heldStore, 50), 1u);
    EXPECT_TRUE(held->atEnd());
    EXPECT_EQ(heldStore.text(0, 0), m_schema);
}

// One fetch of more rows than a round trip carries: every row arrives once and in order, a
// limit ends it exactly, and a statement failing half-way keeps the rows read before it.
TEST_F(DbPostgres, LargeFetchesSpanRoundTripsWithoutLosingRows)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const QString rows = QStringLiteral("SELECT i, CASE WHEN i % 3 = 0 THEN NULL ELSE 'r' || i END AS t,"
                                        " i * 0.5::float8 AS h, pg_backend_pid() AS pid FROM generate_series(1, %1) AS i");
    auto whole = m_backend->openCursor(rows.arg(25001), 0);
    RowStore store(whole->fields());
    EXPECT_EQ(whole->fetch(store, 20000), 20000u);
    EXPECT_FALSE(whole->atEnd());
    EXPECT_EQ(whole->fetch(store, 40000), 5001u);
    EXPECT_TRUE(whole->atEnd());
    ASSERT_EQ(store.rowCount(), 25001u);
    for (std::size_t r = 0; r < store.rowCount(); ++r) {
        const std::int64_t i = std::int64_t(r) + 1;
        ASSERT_EQ(store.int64(r, 0), i);
        ASSERT_EQ(store.isNull(r, 1), i % 3 == 0) << r;
        if (i % 3 != 0) {
            ASSERT_EQ(store.text(r, 1), QStringLiteral("r%1").arg(i));
        }
        ASSERT_EQ(store.real(r, 2), double(i) * 0.5);
    }
    whole.reset();

    // A result of a whole block (a whole number of round trips), and a limit that ends inside one.
    // Either ends with round trips still on their way, which are let finish: the connection is
    // then clean and the next cursor takes it again.
    auto exact = m_backend->openCursor(rows.arg(RowStore::kBlockRows), 0);
    RowStore exactStore(exact->fields());
    EXPECT_EQ(exact->fetch(exactStore, 50000), RowStore::kBlockRows);
    EXPECT_TRUE(exact->atEnd());
    auto limited = m_backend->openCursor(rows.arg(50000), 20005);
    RowStore limitedStore(limited->fields());
    EXPECT_EQ(limited->fetch(limitedStore, 50000), 20005u);
    EXPECT_TRUE(limited->atEnd());
    EXPECT_EQ(limitedStore.int64(20004, 0), 20005);
    EXPECT_EQ(limitedStore.int64(0, 3), exactStore.int64(0, 3)) << "the ended cursor's connection was not reused";
    auto afterLimit = m_backend->openCursor(rows.arg(5), 0);
    RowStore afterLimitStore(afterLimit->fields());
    EXPECT_EQ(afterLimit->fetch(afterLimitStore, 10), 5u);
    EXPECT_EQ(afterLimitStore.int64(0, 3), limitedStore.int64(0, 3)) << "the limited cursor's connection was not reused";

    // Rows read ahead on the caller's hint come in order whatever the next calls ask for, and a
    // cursor dropped with some still on their way leaves its connection clean for the next one.
    auto hinted = m_backend->openCursor(rows.arg(10000), 0);
    RowStore hintedStore(hinted->fields());
    for (const std::size_t ask : {100, 3, 5000, 1, 7000}) {
        hinted->expectMore(4000);
        hinted->fetch(hintedStore, ask);
    }
    EXPECT_TRUE(hinted->atEnd());
    ASSERT_EQ(hintedStore.rowCount(), 10000u);
    for (std::size_t r = 0; r < hintedStore.rowCount(); ++r)
        ASSERT_EQ(hintedStore.int64(r, 0), std::int64_t(r) + 1);
    std::int64_t droppedPid = 0;
    for (int i = 0; i < 3; ++i) {
        auto dropped = m_backend->openCursor(rows.arg(10000), 0);
        RowStore some(dropped->fields());
        dropped->expectMore(4096);
        EXPECT_EQ(dropped->fetch(some, 10), 10u);
        droppedPid = some.int64(0, 3);
    }
    auto after = m_backend->openCursor(rows.arg(300), 0);
    RowStore afterStore(after->fields());
    EXPECT_EQ(after->fetch(afterStore, 1000), 300u);
    EXPECT_EQ(afterStore.int64(299, 0), 300);
    EXPECT_EQ(afterStore.int64(0, 3), droppedPid);

    auto failing = m_backend->openCursor(
        QStringLiteral("SELECT i, 1 / (i - 15000) AS q FROM generate_series(1, 30000) AS i"), 0);
    RowStore failed(failing->fields());
    const DbError e = errorOf([&] { failing->fetch(failed, 30000); });
    EXPECT_EQ(e.sqlState(), "22012");
    ASSERT_GT(failed.rowCount(), 0u);
    EXPECT_LT(failed.rowCount(), 15000u);
    for (std::size_t r = 0; r < failed.rowCount(); ++r)
        ASSERT_EQ(failed.int64(r, 0), std::int64_t(r) + 1);
    EXPECT_THROW(failing->fetch(failed, 10), DbError);
    failing.reset();
    EXPECT_EQ(query(QStringLiteral("SELECT 7"))->int64(0, 0), 7);
}

// A statement that fails on its first rows still opens with its columns described from the
// catalogue (first and again, when the question is asked along with the opening); the failure
// comes at the first fetch, and the data source's cursors go on working.
TEST_F(DbPostgres, AStatementFailingOnItsFirstRowsFailsAtItsFirstFetch)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const QString failing = QStringLiteral("SELECT id, label, 1 / (id - id) AS boom FROM conf_big");
    for (int i = 0; i < 2; ++i) {
        auto cursor = m_backend->openCursor(failing, 0);
        ASSERT_EQ(cursor->fields().size(), 3u);
        EXPECT_EQ(cursor->fields()[0].BaseTableName, "conf_big");
        EXPECT_FALSE(cursor->fields()[0].Nullable);
        EXPECT_EQ(cursor->fields()[1].DefinedSize, 20);
        EXPECT_TRUE(cursor->fields()[2].BaseTableName.isEmpty());
        RowStore store(cursor->fields());
        EXPECT_EQ(errorOf([&] { cursor->fetch(store, 10); }).sqlState(), "22012");
        EXPECT_EQ(store.rowCount(), 0u);
        EXPECT_FALSE(cursor->atEnd());
        EXPECT_EQ(errorOf([&] { cursor->fetch(store, 10); }).sqlState(), "22012");
        auto other = m_backend->openCursor(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), 0);
        RowStore rows(other->fields());
        EXPECT_EQ(other->fetch(rows, 300), 300u);
        EXPECT_EQ(rows.int64(299, 0), 300);
    }
}

// A cursor that reached its end gives its connection back at once, its transaction's end still on
// the way; the next cursor takes the same connection and works in a transaction of its own.
TEST_F(DbPostgres, AnEndedCursorsConnectionServesTheNextInANewTransaction)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const QString sql = QStringLiteral("SELECT pg_backend_pid() AS pid, txid_current_if_assigned() IS NULL AS reading,"
                                       " now() AS began");
    QVariant pid, began;
    for (int i = 0; i < 3; ++i) {
        auto cursor = m_backend->openCursor(sql, 0);
        RowStore s(cursor->fields());
        EXPECT_EQ(cursor->fetch(s, 10), 1u);
        ASSERT_TRUE(cursor->atEnd());
        if (i > 0) {
            EXPECT_EQ(s.value(0, 0), pid) << "the connection was not reused";
            EXPECT_NE(s.value(0, 2), began) << "the transaction went on";
        }
        EXPECT_TRUE(s.value(0, 1).toBool());
        pid = s.value(0, 0);
        began = s.value(0, 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Other work on the data source is not held up by it either.
    EXPECT_EQ(query(QStringLiteral("SELECT 3"))->int64(0, 0), 3);
}

// Opened again, a statement reads every row whether or not its columns need the catalogue.
TEST_F(DbPostgres, StatementsOpenedAgainReadEveryRow)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    for (const QString &sql : {QStringLiteral("SELECT i, i * 2 AS twice FROM generate_series(1, 1000) AS i"),
                               QStringLiteral("SELECT id, label FROM conf_big WHERE id <= 1000 ORDER BY id")}) {
        for (int i = 0; i < 3; ++i) {
            const auto s = fetchAll(sql, 300);
            ASSERT_EQ(s->rowCount(), 1000u) << sql.toStdString() << " #" << i;
            EXPECT_EQ(s->int64(999, 0), 1000);
        }
    }
}

TEST_F(DbPostgres, StatementsThatCannotBeCursors)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase(false);
    // A data-modifying WITH cannot stand behind DECLARE: it runs once, its rows held.
    auto c = m_backend->openCursor(
        QStringLiteral("WITH d AS (DELETE FROM conf_big WHERE id > 4998 RETURNING id) SELECT id FROM d ORDER BY id"), 0);
    RowStore s(c->fields());
    EXPECT_EQ(c->fetch(s, 1), 1u);
    EXPECT_EQ(c->fetch(s, 10), 1u);
    EXPECT_TRUE(c->atEnd());
    EXPECT_EQ(s.int64(1, 0), 5000);
    EXPECT_EQ(query(QStringLiteral("SELECT count(*) FROM conf_big"))->int64(0, 0), 4998);

    auto into = m_backend->openCursor(QStringLiteral("SELECT id INTO made_by_select FROM conf_big WHERE id < 4"), 0);
    EXPECT_TRUE(into->fields().empty());
    EXPECT_EQ(query(QStringLiteral("SELECT count(*) FROM made_by_select"))->int64(0, 0), 3);

    auto explain = m_backend->openCursor(QStringLiteral("  /* plan */ EXPLAIN SELECT * FROM conf_big;"), 0);
    RowStore e(explain->fields());
    explain->fetch(e, 100);
    EXPECT_GT(e.rowCount(), 0u);
    // A trailing semicolon and comment do not upset DECLARE.
    auto semi = m_backend->openCursor(QStringLiteral("SELECT 1 AS one; -- done"), 0);
    RowStore one(semi->fields());
    EXPECT_EQ(semi->fetch(one, 5), 1u);
}

TEST_F(DbPostgres, CancelStopsLongStatements)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    // Cancels again and again until stopped: a cancel that comes while no statement runs (before
    // it starts, between two round trips) does nothing.
    class Canceller {
    public:
        explicit Canceller(std::function<void()> cancel)
            : m_thread([this, cancel = std::move(cancel)] {
                while (!m_done) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    if (!m_done)
                        cancel();
                }
            })
        {
        }
        ~Canceller() { stop(); }
        void stop()
        {
            m_done = true;
            if (m_thread.joinable())
                m_thread.join();
        }

    private:
        std::atomic<bool> m_done{false};
        std::thread m_thread;
    };

    // The first rows come at once, the statement then sleeps.
    auto cursor = m_backend->openCursor(
        QStringLiteral("SELECT i, CASE WHEN i = 400 THEN pg_sleep(30) END FROM generate_series(1, 1000) AS i"), 0);
    RowStore store(cursor->fields());
    auto canceller = std::make_unique<Canceller>([&] { cursor->cancel(); });
    const DbError e = errorOf([&] {
        while (!cursor->atEnd())
            cursor->fetch(store, 100);
    });
    canceller->stop();
    EXPECT_EQ(e.sqlState(), "57014"); // not the statement's end after its sleep
    // The rest of the result is gone; it is not mistaken for complete.
    EXPECT_FALSE(cursor->atEnd());
    EXPECT_EQ(errorOf([&] { cursor->fetch(store, 10); }).sqlState(), "57014");

    // The connection's cancel reaches a cursor's statement, and leaves idle cursors alone.
    auto idle = m_backend->openCursor(QStringLiteral("SELECT id FROM conf_big"), 0);
    RowStore idleStore(idle->fields());
    idle->fetch(idleStore, 10);
    canceller = std::make_unique<Canceller>([&] { m_backend->cancel(); });
    // Whether the statement still runs while the cursor opens or at its first fetch.
    EXPECT_EQ(errorOf([&] {
                  auto sleeper = m_backend->openCursor(QStringLiteral("SELECT pg_sleep(30)"), 0);
                  RowStore sleeperStore(sleeper->fields());
                  sleeper->fetch(sleeperStore, 1);
              }).sqlState(),
              "57014");
    canceller->stop();
    while (!idle->atEnd())
        idle->fetch(idleStore, 1000);
    EXPECT_EQ(idleStore.rowCount(), 5000u);

    canceller = std::make_unique<Canceller>([&] { m_backend->cancel(); });
    const DbError e2 = errorOf([&] { query(QStringLiteral("SELECT pg_sleep(30)")); });
    canceller->stop();
    EXPECT_EQ(e2.sqlState(), "57014");
    EXPECT_EQ(query(QStringLiteral("SELECT 2"))->int64(0, 0), 2);
}

TEST_F(DbPostgres, ProviderErrorsCarryTextAndState)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const QString sql = QStringLiteral("SELECT * FROM no_such_table");
    for (const DbError &e : {errorOf([&] { query(sql); }), errorOf([&] { m_backend->openCursor(sql, 0); }),
                             errorOf([&] { m_backend->describe(sql); }), errorOf([&] { m_backend->checkSyntax(sql); })}) {
        EXPECT_EQ(e.sqlState(), "42P01");
        EXPECT_TRUE(e.message().contains(QLatin1String("no_such_table"))) << e.message().toStdString();
        EXPECT_EQ(e.statement(), sql);
        // Positions count in the user's text, not in what the client wrapped around it.
        EXPECT_TRUE(e.message().endsWith(QLatin1String("(at character 15)"))) << e.message().toStdString();
    }
    EXPECT_EQ(errorOf([&] { m_backend->checkSyntax(QStringLiteral("SELEC 1")); }).sqlState(), "42601");
    const DbError syntax = errorOf([&] { m_backend->openCursor(QStringLiteral("SELECT 1 FROM WHERE"), 0); });
    EXPECT_EQ(syntax.sqlState(), "42601");
    EXPECT_TRUE(syntax.message().endsWith(QLatin1String("(at character 15)"))) << syntax.message().toStdString();
    EXPECT_EQ(errorOf([&] { query(QStringLiteral("SELECT 1/0")); }).sqlState(), "22012");
    // Read-only data source.
    EXPECT_EQ(errorOf([&] { query(QStringLiteral("DELETE FROM conf_big")); }).sqlState(), "25006");
    EXPECT_EQ(errorOf([&] { m_backend->tableColumns(m_schema, QStringLiteral("nope")); }).sqlState(), "42P01");
    // COPY to the client would leave the connection in copy mode.
    EXPECT_EQ(errorOf([&] { query(QStringLiteral("COPY conf_big TO STDOUT")); }).sqlState(), "0A000");
    auto writable = openAnother(false);
    EXPECT_EQ(errorOf([&] { writable->execute(QStringLiteral("COPY conf_big FROM STDIN"), 0, nullptr); }).sqlState(),
              "0A000");
    EXPECT_EQ(writable->execute(QStringLiteral("SELECT count(*) FROM conf_big"), 0, nullptr)->int64(0, 0), 5000);
    // The connection goes on after each failure.
    EXPECT_EQ(query(QStringLiteral("SELECT count(*) FROM conf_big"))->int64(0, 0), 5000);
}

TEST_F(DbPostgres, LookingNeverExecutes)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase(false); // writable: only "prepare, never run" protects the rows here
    m_db->exec(QStringLiteral("CREATE SEQUENCE seq"));
    m_backend->checkSyntax(QStringLiteral("DELETE FROM conf_big"));
    EXPECT_TRUE(m_backend->describe(QStringLiteral("DELETE FROM conf_big WHERE id > 0")).empty());
    const auto returning = m_backend->describe(QStringLiteral("DELETE FROM conf_big RETURNING id, label"));
    ASSERT_EQ(returning.size(), 2u);
    EXPECT_EQ(returning[1].DefinedSize, 20);
    EXPECT_EQ(m_backend->describe(QStringLiteral("SELECT nextval('seq') AS n")).at(0).Type, adBigInt);
    m_backend->checkSyntax(QStringLiteral("SELECT nextval('seq')"));

    long affected = 0;
    m_backend->execute(QStringLiteral("UPDATE conf_big SET label = 'x' WHERE id <= 3"), 0, &affected);
    EXPECT_EQ(affected, 3);
    m_backend->execute(QStringLiteral("CREATE TABLE made(i int)"), 0, &affected);
    EXPECT_EQ(affected, -1);
    const auto rows = m_backend->execute(QStringLiteral("SELECT count(*) FROM conf_big"), 0, &affected);
    EXPECT_EQ(rows->int64(0, 0), 5000);
    EXPECT_EQ(query(QStringLiteral("SELECT nextval('seq')"))->int64(0, 0), 1);
    EXPECT_EQ(query(QStringLiteral("DELETE FROM made"))->columnCount(), 0);
}

TEST_F(DbPostgres, SchemaListsOwnersAndColumns)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    const QString other = m_schema + QStringLiteral("_b");
    m_db->exec(QStringLiteral("CREATE SCHEMA \"%1\"; CREATE TABLE \"%1\".conf_big(only_col text NOT NULL);"
                              "CREATE MATERIALIZED VIEW \"%1\".mv AS SELECT 1 AS one").arg(other));
    struct Drop {
        dbtest::TestDatabase *db;
        QString schema;
        ~Drop() { db->exec(QStringLiteral("DROP SCHEMA \"%1\" CASCADE").arg(schema)); }
    } drop{m_db.get(), other};

    auto has = [](const std::vector<SchemaObject> &list, const QString &owner, const char *name) {
        for (const SchemaObject &o : list)
            if (o.Owner == owner && o.Name == QLatin1String(name))
                return true;
        return false;
    };
    const auto tables = m_backend->objects(SchemaObject::Kind::Table);
    EXPECT_TRUE(has(tables, m_schema, "conf_big"));
    EXPECT_TRUE(has(tables, other, "conf_big"));
    EXPECT_TRUE(has(tables, m_schema, "conf Name with blank"));
    EXPECT_FALSE(has(tables, m_schema, "conf_view"));
    for (const SchemaObject &o : tables) {
        EXPECT_NE(o.Owner, "pg_catalog");
        EXPECT_NE(o.Owner, "information_schema");
        EXPECT_TRUE(o.Created.isEmpty());
    }
    const auto views = m_backend->objects(SchemaObject::Kind::View);
    EXPECT_TRUE(has(views, m_schema, "conf_view"));
    EXPECT_TRUE(has(views, other, "mv"));
    EXPECT_FALSE(has(views, m_schema, "conf_big"));

    const auto mine = m_backend->tableColumns(m_schema, QStringLiteral("conf_big"));
    ASSERT_EQ(mine.size(), 3u);
    EXPECT_EQ(mine[2].Name, "amount");
    EXPECT_EQ(mine[2].Type, adNumeric);
    EXPECT_EQ(mine[2].Precision, 12);
    EXPECT_EQ(mine[2].NumericScale, 2);
    EXPECT_EQ(mine[1].DeclaredType, "character varying(20)");
    EXPECT_FALSE(mine[0].Nullable);
    const auto theirs = m_backend->tableColumns(other, QStringLiteral("conf_big"));
    ASSERT_EQ(theirs.size(), 1u);
    EXPECT_EQ(theirs[0].Name, "only_col");
    EXPECT_EQ(theirs[0].BaseSchemaName, other);
    EXPECT_FALSE(theirs[0].Nullable);
    // Without owner: the table the search path finds.
    EXPECT_EQ(m_backend->tableColumns(QString(), QStringLiteral("conf_big")).size(), 3u);
    const auto conf = m_backend->tableColumns(m_schema, QStringLiteral("conf_types"));
    ASSERT_EQ(conf.size(), 15u);
    EXPECT_EQ(conf[13].Type, adWChar);
    EXPECT_EQ(conf[13].DefinedSize, 5);
    EXPECT_EQ(conf[14].Type, adLongVarBinary);
    EXPECT_EQ(m_backend->tableColumns(m_schema, QStringLiteral("conf_view")).size(), 2u);
}

TEST_F(DbPostgres, RoutineParametersFromTheCatalogue)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    m_db->exec(QStringLiteral(
        "CREATE FUNCTION add_up(a integer, b integer DEFAULT 10) RETURNS bigint LANGUAGE sql AS 'SELECT a + b';"
        "CREATE FUNCTION split_name(full_name text, OUT first_part text, OUT rest varchar) LANGUAGE sql"
        "  AS $$SELECT split_part(full_name, ' ', 1), substr(full_name, strpos(full_name, ' ') + 1)$$;"
        "CREATE FUNCTION big_rows(lim integer) RETURNS TABLE(id integer, label varchar)"
        "  LANGUAGE sql AS 'SELECT id, label FROM conf_big WHERE id <= lim ORDER BY id';"
        "CREATE PROCEDURE bump(INOUT counter numeric, OUT note text, step integer DEFAULT 1) LANGUAGE plpgsql"
        "  AS $$BEGIN counter := counter + step; note := 'bumped'; END$$;"
        "CREATE FUNCTION trg() RETURNS trigger LANGUAGE plpgsql AS 'BEGIN RETURN NEW; END';"
        "CREATE AGGREGATE my_sum(integer) (sfunc = int4pl, stype = integer);"));

    const auto routines = m_backend->objects(SchemaObject::Kind::Routine);
    QStringList names;
    for (const SchemaObject &o : routines)
        if (o.Owner == m_schema)
            names << o.Name;
    EXPECT_EQ(names, QStringList({"add_up", "big_rows", "bump", "split_name"}));

    const auto add = m_backend->routineParameters(m_schema, QStringLiteral("add_up"));
    ASSERT_EQ(add.size(), 3u);
    EXPECT_EQ(add[0].Direction, adParamReturnValue);
    EXPECT_EQ(add[0].Type, adBigInt);
    EXPECT_EQ(add[1].Name, "a");
    EXPECT_EQ(add[1].Direction, adParamInput);
    EXPECT_EQ(add[1].Type, adInteger);
    EXPECT_FALSE(add[1].HasDefault);
    EXPECT_TRUE(add[2].HasDefault);

    const auto split = m_backend->routineParameters(m_schema, QStringLiteral("split_name"));
    ASSERT_EQ(split.size(), 3u);
    EXPECT_EQ(split[0].Direction, adParamInput);
    EXPECT_EQ(split[1].Direction, adParamOutput);
    EXPECT_EQ(split[2].Name, "rest");
    EXPECT_EQ(split[2].Type, adVarWChar);

    const auto rows = m_backend->routineParameters(m_schema, QStringLiteral("big_rows"));
    ASSERT_EQ(rows.size(), 1u); // the columns of RETURNS TABLE are not parameters
    EXPECT_EQ(rows[0].Name, "lim");

    const auto bump = m_backend->routineParameters(m_schema, QStringLiteral("bump"));
    ASSERT_EQ(bump.size(), 3u);
    EXPECT_EQ(bump[0].Direction, adParamInputOutput);
    EXPECT_EQ(bump[0].Type, adNumeric);
    EXPECT_EQ(bump[1].Direction, adParamOutput);
    EXPECT_FALSE(bump[1].HasDefault);
    EXPECT_TRUE(bump[2].HasDefault);

    EXPECT_EQ(errorOf([&] { m_backend->routineParameters(m_schema, QStringLiteral("nope")); }).sqlState(), "42883");
}

TEST_F(DbPostgres, CallingRoutinesBindsValuesAndReadsOutputs)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    m_db->exec(QStringLiteral(
        "CREATE FUNCTION add_up(a integer, b integer DEFAULT 10) RETURNS bigint LANGUAGE sql AS"
        "  'SELECT coalesce(a, -1000) + coalesce(b, -100)';"
        "CREATE FUNCTION echo(t text, d date, ts timestamp, ok boolean, bin bytea) RETURNS text LANGUAGE sql AS"
        "  $$SELECT t || '|' || d || '|' || ts || '|' || ok || '|' || encode(bin, 'hex')$$;"
        "CREATE FUNCTION split_name(full_name text, OUT first_part text, OUT rest text) LANGUAGE sql"
        "  AS $$SELECT split_part(full_name, ' ', 1), substr(full_name, strpos(full_name, ' ') + 1)$$;"
        "CREATE FUNCTION big_rows(lim integer) RETURNS TABLE(id integer, label varchar)"
        "  LANGUAGE sql AS 'SELECT id, label FROM conf_big WHERE id <= lim ORDER BY id';"
        "CREATE PROCEDURE bump(INOUT counter numeric, OUT note text, step integer DEFAULT 1) LANGUAGE plpgsql"
        "  AS $$BEGIN counter := counter + step; note := 'bumped'; END$$;"
        "CREATE FUNCTION scaled(x integer, factor integer DEFAULT 2, shift integer DEFAULT 0) RETURNS integer"
        "  LANGUAGE sql AS 'SELECT x * factor + shift';"
        "CREATE FUNCTION total(VARIADIC xs integer[]) RETURNS integer LANGUAGE sql AS"
        "  'SELECT sum(x)::integer FROM unnest(xs) x';"));

    auto refreshed = [&](const char *name) {
        std::vector<Parameter> ps;
        for (const ParameterInfo &i : m_backend->routineParameters(m_schema, QLatin1String(name))) {
            Parameter p;
            static_cast<ParameterInfo &>(p) = i;
            ps.push_back(p);
        }
        return ps;
    };

    auto add = refreshed("add_up");
    add[1].Value = 5;
    EXPECT_EQ(m_backend->callRoutine(m_schema, QStringLiteral("add_up"), add)->columnCount(), 0);
    EXPECT_EQ(add[0].Value.toLongLong(), 15); // b left to its default
    add[2].Value = 1;
    m_backend->callRoutine(m_schema, QStringLiteral("add_up"), add);
    EXPECT_EQ(add[0].Value.toLongLong(), 6);
    add[1].Value = QVariant(); // an explicit Null without a default is passed as Null
    m_backend->callRoutine(m_schema, QStringLiteral("add_up"), add);
    EXPECT_EQ(add[0].Value.toLongLong(), -999);
    // Values are bound, never pasted: quotes and SQL in a value stay text.
    auto echo = refreshed("echo");
    echo[1].Value = QStringLiteral("it's'); DROP TABLE conf_big; --");
    echo[2].Value = QDate(2024, 2, 29);
    echo[3].Value = QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30));
    echo[4].Value = true;
    echo[5].Value = QByteArray("\x00\xff", 2);
    m_backend->callRoutine(QString(), QStringLiteral("echo"), echo);
    EXPECT_EQ(echo[0].Value.toString(),
              "it's'); DROP TABLE conf_big; --|2024-02-29|2024-02-29 13:45:30|true|00ff");

    auto split = refreshed("split_name");
    split[0].Value = QStringLiteral("Ada King Lovelace");
    m_backend->callRoutine(m_schema, QStringLiteral("split_name"), split);
    EXPECT_EQ(split[1].Value.toString(), "Ada");
    EXPECT_EQ(split[2].Value.toString(), "King Lovelace");

    auto big = refreshed("big_rows");
    big[0].Value = 4;
    const auto rows = m_backend->callRoutine(m_schema, QStringLiteral("big_rows"), big);
    ASSERT_EQ(rows->rowCount(), 4u);
    EXPECT_EQ(rows->fields()[1].Name, "label");
    EXPECT_EQ(rows->text(3, 1), "row 4");

    auto bump = refreshed("bump");
    bump[0].Value = QStringLiteral("41.5");
    EXPECT_EQ(m_backend->callRoutine(m_schema, QStringLiteral("bump"), bump)->columnCount(), 0);
    EXPECT_EQ(bump[0].Value.toString(), "42.5");
    EXPECT_EQ(bump[1].Value.toString(), "bumped");
    bump[2].Value = 10;
    m_backend->callRoutine(m_schema, QStringLiteral("bump"), bump);
    EXPECT_EQ(bump[0].Value.toString(), "52.5");

    // Leaving out a middle argument names the ones after it.
    auto scaled = refreshed("scaled");
    scaled[1].Value = 7;
    scaled[3].Value = 1;
    m_backend->callRoutine(m_schema, QStringLiteral("scaled"), scaled);
    EXPECT_EQ(scaled[0].Value.toLongLong(), 15);

    auto total = refreshed("total");
    total[1].Value = QStringLiteral("{1,2,3}");
    m_backend->callRoutine(m_schema, QStringLiteral("total"), total);
    EXPECT_EQ(total[0].Value.toLongLong(), 6);

    EXPECT_EQ(query(QStringLiteral("SELECT count(*) FROM conf_big"))->int64(0, 0), 5000);
}

TEST_F(DbPostgres, ConnectionStringKeysAndReadOnly)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    // Our own spellings, a libpq keyword passed on, and keys libpq does not know dropped.
    ConnectionString cs;
    cs.setValue(QStringLiteral("Provider"), QStringLiteral("PostgreSQL"));
    cs.setValue(QStringLiteral("Server"), m_cs.value(QStringLiteral("Data Source"), QString()));
    cs.setValue(QStringLiteral("Port"), m_cs.value(QStringLiteral("Port"), QString()));
    cs.setValue(QStringLiteral("Database"), m_cs.value(QStringLiteral("Initial Catalog"), QString()));
    cs.setValue(QStringLiteral("UID"), m_cs.value(QStringLiteral("User ID"), QString()));
    cs.setValue(QStringLiteral("PWD"), m_cs.value(QStringLiteral("Password"), QString()));
    cs.setValue(QStringLiteral("application_name"), QStringLiteral("tabulon test"));
    cs.setValue(QStringLiteral("Persist Security Info"), QStringLiteral("False"));
    auto b = backends::makePostgres();
    b->open(cs, 10, true);
    EXPECT_TRUE(b->isOpen());
    EXPECT_TRUE(b->version().startsWith(QLatin1String("PostgreSQL 1"))) << b->version().toStdString();
    EXPECT_EQ(b->dialect()->identifierQuote(), QLatin1Char('"'));
    const auto s = b->execute(QStringLiteral("SELECT current_setting('application_name'),"
                                             " current_setting('default_transaction_read_only'),"
                                             " current_setting('client_encoding')"),
                              0, nullptr);
    EXPECT_EQ(s->text(0, 0), "tabulon test");
    EXPECT_EQ(s->text(0, 1), "on");
    EXPECT_EQ(s->text(0, 2), "UTF8");
    b->close();
    EXPECT_FALSE(b->isOpen());
    EXPECT_EQ(errorOf([&] { b->execute(QStringLiteral("SELECT 1"), 0, nullptr); }).sqlState(), "08003");

    // Writable when asked.
    auto w = openAnother(false);
    long affected = 0;
    w->execute(QStringLiteral("INSERT INTO conf_big VALUES (5001, 'new', 1)"), 0, &affected);
    EXPECT_EQ(affected, 1);
}

TEST_F(DbPostgres, FailedConnectsAreClearAndTimely)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    ConnectionString wrong = m_cs;
    wrong.setValue(QStringLiteral("Password"), QStringLiteral("not-the-secret-pw"));
    const DbError e = errorOf([&] { backends::makePostgres()->open(wrong, 10, true); });
    EXPECT_TRUE(e.message().contains(QLatin1String("password authentication failed"))) << e.message().toStdString();
    EXPECT_FALSE(e.message().contains(QLatin1String("not-the-secret-pw")));

    // A key that would have OpenSSL load an engine (a library) is refused before anything connects.
    ConnectionString engine = m_cs;
    engine.setValue(QStringLiteral("sslmode"), QStringLiteral("require"));
    engine.setValue(QStringLiteral("SSLKEY"), QStringLiteral("/tmp/crafted:key"));
    const DbError k = errorOf([&] { backends::makePostgres()->open(engine, 10, true); });
    EXPECT_TRUE(k.message().contains(QLatin1String("loads code"))) << k.message().toStdString();

    // Nothing listening on the port (bound, so no one else takes it meanwhile).
    LoopbackSocket closed(false);
    ConnectionString refused = m_cs;
    refused.setValue(QStringLiteral("Port"), QString::number(closed.port()));
    // Told at once, not after the time-out: one far longer than any test run.
    const DbError r = errorOf([&] { backends::makePostgres()->open(refused, 3600, true); });
    EXPECT_TRUE(r.message().contains(QString::number(closed.port()))) << r.message().toStdString();

    // A server that accepts but never answers: the time-out ends the wait.
    LoopbackSocket silent(true);
    ConnectionString mute = m_cs;
    mute.setValue(QStringLiteral("Port"), QString::number(silent.port()));
    QElapsedTimer timer;
    timer.start();
    const DbError t = errorOf([&] { backends::makePostgres()->open(mute, 2, true); });
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_FALSE(t.message().isEmpty());
}

TEST_F(DbPostgres, ThroughConnectionAndCommand)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    m_db->exec(QStringLiteral("CREATE FUNCTION half(x numeric) RETURNS numeric LANGUAGE sql AS 'SELECT x / 2'"));
    auto conn = Connection::create();
    conn->Open(m_db->connectionString());
    ASSERT_EQ(conn->State(), adStateOpen);

    Command cmd;
    cmd.ActiveConnection = conn;
    cmd.CommandText = m_schema + QStringLiteral(".half");
    cmd.RefreshParameters();
    ASSERT_EQ(cmd.Parameters.size(), 2u);
    cmd.Parameters[1].Value = QStringLiteral("5");
    cmd.Execute();
    EXPECT_EQ(cmd.Parameters[0].Value.toDouble(), 2.5);
    // A NUL in a value is refused, not cut off where the client library stops reading.
    cmd.Parameters[1].Value = QStringLiteral("6") + QChar(0) + QStringLiteral("0");
    const DbError nul = dbtest::errorOf([&] { cmd.Execute(); });
    EXPECT_TRUE(nul.message().contains(QStringLiteral("NUL character"))) << nul.message().toStdString();
    EXPECT_EQ(cmd.Parameters[0].Value.toDouble(), 2.5);

    // A filter over a statement's rows compares text as the server does, as over a routine's.
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM (VALUES ('Abc'), ('abc'), ('ABC')) AS v(t)"), conn);
    EXPECT_TRUE(rs->caseSensitiveText());
    rs->setFilter(QStringLiteral("t = 'abc'"));
    EXPECT_EQ(rs->RecordCount(), 1);
    auto clone = rs->Clone(); // the filter is not shared, the way of comparing is
    clone->setFilter(QStringLiteral("t = 'ABC'"));
    EXPECT_EQ(clone->RecordCount(), 1);

    // The provider's message and state stay in Errors, the password nowhere.
    EXPECT_THROW(conn->Execute(QStringLiteral("SELECT * FROM missing_table")), DbError);
    ASSERT_FALSE(conn->Errors().empty());
    EXPECT_EQ(conn->Errors().front().SQLState, "42P01");
    EXPECT_EQ(conn->Errors().front().Source, "PostgreSQL");

    auto bad = Connection::create();
    ConnectionString wrong = m_cs;
    wrong.setValue(QStringLiteral("Password"), QStringLiteral("wrong-secret"));
    EXPECT_THROW(bad->Open(wrong.toString()), DbError);
    ASSERT_FALSE(bad->Errors().empty());
    EXPECT_FALSE(bad->Errors().front().Description.contains(QLatin1String("wrong-secret")));
}

// A result of numbers, dates, text, bytea, uuid and numeric comes in binary form; one column of
// another type (an interval) keeps the whole result text. Both must store the same values.
TEST_F(DbPostgres, BinaryAndTextResultsHoldTheSameValues)
{
    TABULON_REQUIRE_POSTGRES();
    openDatabase();
    m_db->exec(QStringLiteral(
        "CREATE DOMAIN dcode AS numeric(9,2);"
        "CREATE TABLE b(k int4, i2 int2, i8 int8, bo bool, f4 float4, f8 float8, d date, t time, ts timestamp,"
        " n numeric, np numeric(12,4), dc dcode, u uuid, by bytea, tx text, vc varchar(9), ch char(4), nm name);"
        "INSERT INTO b VALUES"
        " (1, -32768, -9223372036854775808, true, 0.1, 0.1, '2024-02-29', '24:00:00', '2024-02-29 13:45:30.000001',"
        "  -123456789012345678901234567890.000123456789, 0, 1234567.5, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11',"
        "  '\\x00ff0a5c', 'Kraków ''quoted''', 'nine char', 'ab', 'nm'),"
        " (2, 32767, 9223372036854775807, false, 'NaN', '-Infinity', 'infinity', '00:00:00', '-infinity',"
        "  'NaN', 12345678.0001, -0.5, '00000000-0000-0000-0000-000000000000', '', '', '', '', ''),"
        " (3, 0, 0, NULL, '3.4028235e38', 1.7976931348623157e308, '0044-03-15 BC', '23:59:59.999999',"
        "  '0044-03-15 12:00:00 BC', 0.00001, -0.0001, 0, NULL, NULL, NULL, NULL, NULL, NULL),"
        " (4, NULL, NULL, NULL, NULL, 5e-324, '-infinity', NULL, 'infinity', 10000, 10000000, NULL, NULL, NULL,"
        "  NULL, NULL, NULL, NULL),"
        " (5, 1, 1, true, -1.5e-45, -0.0, '12345-06-07', '12:00:00.5', '1970-01-01 00:00:00', 'Infinity',"
        "  'NaN', 99.99, NULL, NULL, NULL, NULL, NULL, NULL),"
        " (6, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, '-Infinity', NULL, NULL, NULL, NULL, NULL, NULL,"
        "  NULL, NULL)"));

    const auto binary = fetchAll(QStringLiteral("SELECT * FROM b ORDER BY k"), 2);
    const auto text = fetchAll(QStringLiteral("SELECT *, interval '1 day' AS forced FROM b ORDER BY k"), 2);
    ASSERT_EQ(binary->rowCount(), 6u);
    ASSERT_EQ(text->rowCount(), 6u);
    for (int c = 0; c < binary->columnCount(); ++c) {
        const FieldInfo &f = binary->fields()[std::size_t(c)];
        EXPECT_EQ(f.Type, text->fields()[std::size_t(c)].Type) << f.Name.toStdString();
        for (std::size_t r = 0; r < binary->rowCount(); ++r) {
            const std::string where = f.Name.toStdString() + " row " + std::to_string(r + 1);
            ASSERT_EQ(binary->isNull(r, c), text->isNull(r, c)) << where;
            EXPECT_EQ(binary->displayText(r, c), text->displayText(r, c)) << where;
            const QVariant a = binary->value(r, c), b = text->value(r, c);
            if (a.typeId() == QMetaType::Double && std::isnan(a.toDouble()))
                EXPECT_TRUE(std::isnan(b.toDouble())) << where;
            else
                EXPECT_EQ(a, b) << where;
        }
    }
    // What the text form reads is the server's own writing; a few of them spelt out.
    EXPECT_EQ(binary->text(0, col(*binary, "n")), "-123456789012345678901234567890.000123456789");
    EXPECT_EQ(binary->text(1, col(*binary, "np")), "12345678.0001");
    EXPECT_EQ(binary->text(2, col(*binary, "n")), "0.00001");
    EXPECT_EQ(binary->text(2, col(*binary, "np")), "-0.0001");
    EXPECT_EQ(binary->text(3, col(*binary, "np")), "10000000.0000");
    EXPECT_EQ(binary->text(3, col(*binary, "n")), "10000");
    EXPECT_EQ(binary->text(5, col(*binary, "n")), "-Infinity");
    EXPECT_EQ(binary->text(1, col(*binary, "dc")), "-0.50");
    EXPECT_EQ(binary->displayText(0, col(*binary, "f4")), text->displayText(0, col(*text, "f4")));
    EXPECT_EQ(binary->real(0, col(*binary, "f4")), 0.1);
    EXPECT_EQ(binary->displayText(2, col(*binary, "d")), "0044-03-15 BC");
    EXPECT_EQ(binary->text(0, col(*binary, "ch")), "ab  ");
    EXPECT_EQ(binary->blob(0, col(*binary, "by")), QByteArray("\x00\xff\x0a\x5c", 4));
    EXPECT_EQ(binary->blob(1, col(*binary, "by")), text->blob(1, col(*text, "by")));
    EXPECT_EQ(binary->int64(0, col(*binary, "i8")), INT64_MIN);
    EXPECT_EQ(binary->int64(1, col(*binary, "i8")), INT64_MAX);

    // bigints past 32 bits after a long run of rows that fit: in the middle of a block, at its
    // last row, and the extremes in the next block; beside them the 32-bit limits.
    const auto valueOf = [](std::int64_t i) -> std::optional<std::int64_t> {
        switch (i) {
        case 1000: return std::int64_t(INT32_MAX) + 1;
        case 32768: return std::int64_t(INT32_MIN) - 1;
        case 40000: return INT64_MIN;
        case 40001: return INT64_MAX;
        case 40002: return INT32_MAX;
        case 40003: return INT32_MIN;
        default: return i % 9 == 0 ? std::nullopt : std::optional<std::int64_t>(-i);
        }
    };
    const QString wide = QStringLiteral(
        "SELECT (CASE i WHEN 1000 THEN 2147483648 WHEN 32768 THEN -2147483649 WHEN 40000 THEN -9223372036854775808"
        " WHEN 40001 THEN 9223372036854775807 WHEN 40002 THEN 2147483647 WHEN 40003 THEN -2147483648"
        " WHEN i / 9 * 9 THEN NULL ELSE -i END)::int8 AS v%1 FROM generate_series(1, 40010) AS i");
    for (const QString &extra : {QString(), QStringLiteral(", interval '1 day' AS forced")}) {
        const auto s = fetchAll(wide.arg(extra), 5000);
        ASSERT_EQ(s->rowCount(), 40010u);
        for (std::size_t r = 0; r < s->rowCount(); ++r) {
            const auto v = valueOf(std::int64_t(r) + 1);
            ASSERT_EQ(s->isNull(r, 0), !v) << r;
            if (v) {
                ASSERT_EQ(s->int64(r, 0), *v) << r;
            }
        }
    }
}
