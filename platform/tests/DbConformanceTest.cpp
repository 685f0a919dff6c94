// The same checks against every client, on the conformance schema of DbFixtures.h.
#include "DbFixtures.h"
#include "TestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"

#include <gtest/gtest.h>

#include <limits>

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

using namespace db;

namespace {

class Conformance : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        m_provider = QString::fromLatin1(GetParam());
        if (m_provider == u"PostgreSQL") {
            TABULON_REQUIRE_POSTGRES();
        }
        m_db = dbtest::makeDatabase(m_provider);
        if (!m_db) {
            if (m_provider == u"PostgreSQL") {
                FAIL() << "the PostgreSQL test server is set but no database could be made";
            }
            GTEST_SKIP() << m_provider.toStdString() << " is not available here";
        }
        m_conn = connect(true);
    }

    std::shared_ptr<Connection> connect(bool readOnly)
    {
        auto c = Connection::create();
        c->setReadOnly(readOnly);
        c->Open(m_db->connectionString());
        return c;
    }

    std::shared_ptr<Recordset> open(const QString &sql, long maxRecords = 0)
    {
        auto rs = Recordset::create();
        rs->setMaxRecords(maxRecords);
        rs->Open(sql, m_conn);
        return rs;
    }

    qlonglong count(const QString &table)
    {
        auto rs = m_conn->Execute(QStringLiteral("SELECT count(*) FROM ") + table);
        return rs->Value(0).toLongLong();
    }

    bool is(const char *provider) const { return m_provider == QLatin1String(provider); }

    // Tests running beside this one keep their own copies of the conformance tables in other
    // schemas of the same PostgreSQL database, and drop them when they end: look only at ours.
    QString ownSchema()
    {
        return is("PostgreSQL") ? m_conn->Execute(QStringLiteral("SELECT current_schema()"))->Value(0).toString()
                                : QString();
    }

    QString m_provider;
    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<Connection> m_conn;
};

struct Expected {
    const char *name;
    std::set<int> types;
    long size = -1; // -1: not checked
};

std::vector<Expected> expectedTypes(const QString &provider)
{
    std::set<int> real = {adDouble}, numeric = {adNumeric}, fixed = {adChar, adWChar};
    if (provider == u"PostgreSQL") {
        real = {adSingle};
    } else if (provider == u"ODBC") {
        // Whatever the driver reports: the SQLite driver has no exact decimal or fixed-length char.
        real = {adSingle, adDouble};
        numeric.insert(adDouble);
        fixed.insert(adVarWChar);
    }
    return {{"id", {adInteger}},         {"small_v", {adSmallInt}}, {"int_v", {adInteger}},
            {"big_v", {adBigInt}},       {"bool_v", {adBoolean}},   {"real_v", real},
            {"double_v", {adDouble}},    {"num_v", numeric},        {"date_v", {adDBDate}},
            {"time_v", {adDBTime}},      {"ts_v", {adDBTimeStamp}}, {"vc_v", {adVarWChar}, 40},
            {"text_v", {adVarWChar}, 0}, {"ch_v", fixed, 5},        {"blob_v", {adLongVarBinary}}};
}

void expectTypes(const std::vector<FieldInfo> &fields, const QString &provider, const char *where)
{
    const auto expected = expectedTypes(provider);
    ASSERT_EQ(fields.size(), expected.size()) << where;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FieldInfo &f = fields[i];
        EXPECT_EQ(f.Name, QLatin1String(expected[i].name)) << where;
        EXPECT_TRUE(expected[i].types.count(f.Type)) << where << ": " << expected[i].name << " typed " << f.Type;
        if (expected[i].size >= 0) {
            EXPECT_EQ(f.DefinedSize, expected[i].size) << where << ": " << expected[i].name;
        }
        if (f.Name == u"num_v" && f.Type == adNumeric) {
            EXPECT_EQ(f.Precision, 10) << where;
            EXPECT_EQ(f.NumericScale, 2) << where;
        }
    }
}

} // namespace

TEST_P(Conformance, ColumnsAreTypedWithSizesPrecisionAndScale)
{
    auto rs = open(QStringLiteral("SELECT * FROM conf_types ORDER BY id"));
    std::vector<FieldInfo> fields;
    for (int i = 0; i < rs->FieldCount(); ++i)
        fields.push_back(rs->Field(i));
    expectTypes(fields, m_provider, "recordset");
    expectTypes(m_conn->DescribeQuery(QStringLiteral("SELECT * FROM conf_types")), m_provider, "described");
    const auto tables = m_conn->Tables();
    const QString own = ownSchema();
    const auto it = std::find_if(tables.begin(), tables.end(), [&](const SchemaObject &o) {
        return o.Name == u"conf_types" && (own.isEmpty() || o.Owner == own);
    });
    ASSERT_NE(it, tables.end());
    expectTypes(m_conn->TableColumns(it->Owner, it->Name), m_provider, "table columns");
    const FieldInfo &vc = rs->Field(rs->FieldIndex(QStringLiteral("vc_v")));
    EXPECT_EQ(vc.BaseTableName, QStringLiteral("conf_types"));
    EXPECT_EQ(vc.BaseColumnName, QStringLiteral("vc_v"));
}

TEST_P(Conformance, ValuesComeBackExactlyWithNullsApartFromEmptyText)
{
    auto rs = open(QStringLiteral("SELECT * FROM conf_types ORDER BY id"));
    ASSERT_EQ(rs->RecordCount(), 3);
    auto v = [&](std::size_t row, const char *name) { return rs->value(row, rs->FieldIndex(QLatin1String(name))); };

    EXPECT_EQ(v(0, "id").toLongLong(), 1);
    EXPECT_EQ(v(0, "small_v").toLongLong(), -32768);
    EXPECT_EQ(v(0, "int_v").toLongLong(), 2147483647LL);
    EXPECT_EQ(v(0, "big_v").toLongLong(), 9007199254740993LL);
    EXPECT_EQ(v(0, "bool_v").metaType().id(), QMetaType::Bool);
    EXPECT_TRUE(v(0, "bool_v").toBool());
    EXPECT_EQ(v(0, "real_v").toDouble(), 1.5);
    EXPECT_EQ(v(0, "double_v").toDouble(), 3.25);
    EXPECT_EQ(v(0, "num_v").toString(), QStringLiteral("12345678.91"));
    EXPECT_EQ(v(0, "date_v").toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(v(0, "time_v").toTime(), QTime(13, 45, 30));
    EXPECT_EQ(v(0, "ts_v").toDateTime().date(), QDate(2024, 2, 29));
    EXPECT_EQ(v(0, "ts_v").toDateTime().time(), QTime(13, 45, 30));
    EXPECT_EQ(v(0, "vc_v").toString(), QStringLiteral("O'Brien"));
    EXPECT_EQ(v(0, "text_v").toString(), QStringLiteral("Müller\nØdegaard"));
    EXPECT_EQ(v(0, "ch_v").toString().trimmed(), QStringLiteral("ab"));
    EXPECT_EQ(v(0, "blob_v").toByteArray(), QByteArray("\x00\x01\xff", 3));

    for (int c = 1; c < rs->FieldCount(); ++c) {
        EXPECT_TRUE(rs->isNull(1, c)) << rs->Field(c).Name.toStdString();
        EXPECT_FALSE(rs->value(1, c).isValid()) << rs->Field(c).Name.toStdString();
    }

    EXPECT_EQ(v(2, "small_v").toLongLong(), 0);
    EXPECT_EQ(v(2, "int_v").toLongLong(), -1);
    EXPECT_EQ(v(2, "big_v").toLongLong(), -9007199254740993LL);
    EXPECT_FALSE(v(2, "bool_v").toBool());
    EXPECT_FALSE(rs->isNull(2, rs->FieldIndex(QStringLiteral("bool_v"))));
    EXPECT_EQ(v(2, "real_v").toDouble(), -0.25);
    EXPECT_EQ(v(2, "double_v").toDouble(), -1e300);
    EXPECT_EQ(v(2, "num_v").toString(), QStringLiteral("-0.05"));
    EXPECT_EQ(v(2, "date_v").toDate(), QDate(1900, 1, 1));
    EXPECT_EQ(v(2, "time_v").toTime(), QTime(0, 0, 0));
    EXPECT_EQ(v(2, "ts_v").toDateTime().date(), QDate(1999, 12, 31));
    EXPECT_EQ(v(2, "ts_v").toDateTime().time(), QTime(23, 59, 59));
    const int vc = rs->FieldIndex(QStringLiteral("vc_v"));
    EXPECT_FALSE(rs->isNull(2, vc)) << "empty text read as Null";
    EXPECT_TRUE(rs->value(2, vc).isValid());
    EXPECT_TRUE(rs->value(2, vc).toString().isEmpty());
    EXPECT_EQ(v(2, "text_v").toString(), QStringLiteral("tab\tand \"quotes\""));
    EXPECT_EQ(v(2, "ch_v").toString().trimmed(), QStringLiteral("x"));
    const int blob = rs->FieldIndex(QStringLiteral("blob_v"));
    EXPECT_FALSE(rs->isNull(2, blob)) << "empty bytes read as Null";
    EXPECT_TRUE(rs->value(2, blob).toByteArray().isEmpty());
}

// A full fetch of more rows than a block, in the chunks the worker hands over, reads back every
// value exactly: the extremes of integers, Nulls apart from empty text, long texts, dates, reals.
TEST_P(Conformance, AFullFetchAcrossBlocksReadsBackEveryValueExactly)
{
    constexpr int kRows = 70000;
    const bool pg = is("PostgreSQL");
    // Every 9973rd text is 200,000 two-byte characters.
    const QString longText = pg ? QStringLiteral("repeat('é', 200000)")
                                : QStringLiteral("replace(hex(zeroblob(200000)), '00', 'é')");
    const QString day = pg ? QStringLiteral("DATE '2000-01-01' + i % 4000")
                           : QStringLiteral("date('2000-01-01', '+' || (i % 4000) || ' days')");
    auto writer = connect(false);
    writer->Execute(QStringLiteral("CREATE TABLE conf_long (id INTEGER, big BIGINT, txt TEXT, day DATE, r DOUBLE PRECISION)"));
    writer->Execute(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
        "INSERT INTO conf_long SELECT i,"
        " CASE i % 3 WHEN 0 THEN 9223372036854775807 WHEN 1 THEN -9223372036854775807 - 1"
        " ELSE CAST(i AS BIGINT) * 1000000007 END,"
        " CASE WHEN i % 7 = 0 THEN NULL WHEN i % 7 = 1 THEN '' WHEN i % 9973 = 0 THEN %2 ELSE 'row ' || i END,"
        " CASE WHEN i % 11 = 0 THEN NULL ELSE %3 END,"
        " CASE WHEN i % 13 = 0 THEN NULL ELSE i / 8.0 END FROM n")
                        .arg(kRows)
                        .arg(longText, day));
    writer->Close();

    auto rs = open(QStringLiteral("SELECT id, big, txt, day, r FROM conf_long ORDER BY id"));
    ASSERT_TRUE(rs->fetchAll());
    ASSERT_EQ(rs->fetchedCount(), std::size_t(kRows));
    const QString longValue(200000, QChar(0xe9));
    for (int i = 1; i <= kRows; ++i) {
        const std::size_t r = std::size_t(i - 1);
        ASSERT_EQ(rs->value(r, 0).toLongLong(), i);
        const qlonglong big = i % 3 == 0 ? std::numeric_limits<qlonglong>::max()
                              : i % 3 == 1 ? std::numeric_limits<qlonglong>::min()
                                           : qlonglong(i) * 1000000007;
        ASSERT_EQ(rs->value(r, 1).toLongLong(), big) << i;
        if (i % 7 == 0) {
            ASSERT_TRUE(rs->isNull(r, 2)) << i;
        } else {
            ASSERT_FALSE(rs->isNull(r, 2)) << "empty text read as Null at " << i;
            const QString expected = i % 7 == 1 ? QString() : i % 9973 == 0 ? longValue : QStringLiteral("row %1").arg(i);
            ASSERT_EQ(rs->value(r, 2).toString(), expected) << i;
        }
        if (i % 11 == 0) {
            ASSERT_TRUE(rs->isNull(r, 3)) << i;
        } else {
            ASSERT_EQ(rs->value(r, 3).toDate(), QDate(2000, 1, 1).addDays(i % 4000)) << i;
        }
        if (i % 13 == 0) {
            ASSERT_TRUE(rs->isNull(r, 4)) << i;
        } else {
            ASSERT_EQ(rs->value(r, 4).toDouble(), i / 8.0) << i;
        }
    }
}

TEST_P(Conformance, LazyRecordsetFetchesAChunkAndSurvivesOtherStatements)
{
    auto rs = open(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"));
    EXPECT_GT(rs->fetchedCount(), 0u);
    EXPECT_LE(rs->fetchedCount(), 1000u) << "the first chunk should be about a screenful";
    EXPECT_FALSE(rs->isComplete());

    // Other work on the same connection meanwhile.
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);
    auto other = open(QStringLiteral("SELECT * FROM conf_types"));
    EXPECT_EQ(other->RecordCount(), 3);
    other->Close();
    EXPECT_EQ(m_conn->Tables().empty(), false);

    EXPECT_EQ(rs->RecordCount(), 5000);
    for (std::size_t row : {std::size_t(0), std::size_t(127), std::size_t(128), std::size_t(4999)}) {
        EXPECT_EQ(rs->value(row, 0).toLongLong(), qlonglong(row + 1));
        EXPECT_EQ(rs->value(row, 1).toString(), QStringLiteral("row %1").arg(row + 1));
        EXPECT_DOUBLE_EQ(rs->value(row, 2).toString().toDouble(), double(row + 1) * 1.25);
    }
}

TEST_P(Conformance, MaxRecordsLimitsTheRows)
{
    auto rs = open(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), 10);
    EXPECT_EQ(rs->RecordCount(), 10);
    rs->MoveLast();
    EXPECT_EQ(rs->Value(0).toLongLong(), 10);
    rs->MoveNext();
    EXPECT_TRUE(rs->isEOF());
}

TEST_P(Conformance, ProviderErrorsLandInErrorsAndTheConnectionStaysUsable)
{
    EXPECT_THROW(m_conn->Execute(QStringLiteral("SELECT * FROM no_such_table")), DbError);
    ASSERT_FALSE(m_conn->Errors().empty());
    EXPECT_TRUE(m_conn->Errors().front().Description.contains(QStringLiteral("no_such_table"), Qt::CaseInsensitive))
        << m_conn->Errors().front().Description.toStdString();
    EXPECT_EQ(m_conn->Errors().front().Source, m_provider);

    auto rs = Recordset::create();
    EXPECT_THROW(rs->Open(QStringLiteral("SELECT nope FROM conf_big"), m_conn), DbError);
    EXPECT_FALSE(m_conn->Errors().empty());
    EXPECT_EQ(rs->State(), adStateClosed);

    EXPECT_EQ(count(QStringLiteral("conf_types")), 3);
    EXPECT_TRUE(m_conn->Errors().empty()) << "Errors() must be cleared by the next call";
}

TEST_P(Conformance, SchemaListsTablesViewsAndQuotedNames)
{
    std::set<QString> tables, views;
    const QString own = ownSchema();
    QString owner;
    for (const auto &o : m_conn->Tables()) {
        tables.insert(o.Name);
        if (o.Name == u"conf Name with blank" && (own.isEmpty() || o.Owner == own))
            owner = o.Owner;
    }
    for (const auto &o : m_conn->Views())
        views.insert(o.Name);
    for (const char *t : {"conf_types", "conf_big", "conf Name with blank"})
        EXPECT_TRUE(tables.count(QString::fromUtf8(t))) << t;
    EXPECT_FALSE(tables.count(QStringLiteral("conf_view")));
    EXPECT_TRUE(views.count(QStringLiteral("conf_view")));

    const auto cols = m_conn->TableColumns(owner, QStringLiteral("conf Name with blank"));
    ASSERT_EQ(cols.size(), 2u);
    EXPECT_EQ(cols[0].Name, QStringLiteral("Order Id"));
    EXPECT_EQ(cols[1].Name, QStringLiteral("Line \"quoted\""));

    auto q = [&](const QString &name) { return m_conn->QuoteIdentifier(name); };
    auto rs = m_conn->Execute(QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                  .arg(q(cols[1].Name), q(QStringLiteral("conf Name with blank")), q(cols[0].Name)));
    ASSERT_EQ(rs->RecordCount(), 2);
    EXPECT_EQ(rs->value(1, 0).toString(), QStringLiteral("b"));
    EXPECT_EQ(rs->Field(0).Name, QStringLiteral("Line \"quoted\""));
}

TEST_P(Conformance, DescribeAndParseOnlyNeverChangeData)
{
    auto writable = connect(false);
    QStringList writes = {QStringLiteral("DELETE FROM conf_big"),
                          QStringLiteral("WITH t AS (SELECT 1 AS x) DELETE FROM conf_big WHERE 1 = (SELECT x FROM t)")};
    if (is("PostgreSQL"))
        writes << QStringLiteral("WITH d AS (DELETE FROM conf_big RETURNING id) SELECT count(*) FROM d");
    for (const QString &sql : writes) {
        try {
            const auto fields = writable->DescribeQuery(sql);
            (void)fields;
        } catch (const DbError &) {
            // refusing is fine; changing data is not
        }
        try {
            writable->CheckSyntax(sql);
        } catch (const DbError &) {
        }
        EXPECT_EQ(count(QStringLiteral("conf_big")), 5000) << sql.toStdString();
    }
    const auto fields = writable->DescribeQuery(QStringLiteral("SELECT id, label FROM conf_big"));
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[1].Type, adVarWChar);
    EXPECT_EQ(fields[1].DefinedSize, 20);
}

TEST_P(Conformance, ParseOnlyGivesTheDatabaseMessage)
{
    EXPECT_NO_THROW(m_conn->CheckSyntax(QStringLiteral("SELECT id FROM conf_big WHERE id > 3")));
    try {
        m_conn->CheckSyntax(QStringLiteral("SELECT id FROM conf_big WHERE AND id = 1"));
        FAIL() << "a malformed statement passed the check";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("AND"))) << e.message().toStdString();
    }
    ASSERT_FALSE(m_conn->Errors().empty());
    EXPECT_TRUE(m_conn->Errors().front().Description.contains(QStringLiteral("AND")));
}

TEST_P(Conformance, ReadOnlyConnectionRefusesWrites)
{
    EXPECT_THROW(m_conn->Execute(QStringLiteral("DELETE FROM conf_big")), DbError);
    EXPECT_EQ(count(QStringLiteral("conf_big")), 5000);
}

// Cancels through the connection, from another thread, until call() has ended.
void runCancelled(Connection &conn, const std::function<void()> &call)
{
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        // Repeated, since a cancel that comes before the statement starts does nothing.
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            conn.Cancel();
        }
    });
    EXPECT_THROW(call(), DbError);
    done = true;
    canceller.join();
}

QString endlessQuery(const QString &provider)
{
    return provider == u"PostgreSQL"
        ? QStringLiteral("SELECT pg_sleep(60)")
        : QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");
}

TEST_P(Conformance, CancelStopsARunningStatementAndTheConnectionRecovers)
{
    runCancelled(*m_conn, [&] { m_conn->Execute(endlessQuery(m_provider)); });
    EXPECT_FALSE(m_conn->Errors().empty());
    EXPECT_EQ(count(QStringLiteral("conf_types")), 3);
}

// A recordset has no cursor to cancel until its first rows arrive; the connection's cancel
// must reach the statement meanwhile.
TEST_P(Conformance, CancelReachesARecordsetBeingOpened)
{
    auto rs = Recordset::create();
    runCancelled(*m_conn, [&] { rs->Open(endlessQuery(m_provider), m_conn); });
    EXPECT_EQ(rs->State(), adStateClosed);
    EXPECT_EQ(count(QStringLiteral("conf_types")), 3);
}

INSTANTIATE_TEST_SUITE_P(Providers, Conformance, ::testing::Values("SQLite", "PostgreSQL", "ODBC"));
