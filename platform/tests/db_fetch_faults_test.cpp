// Results that fail part-way: the rows fetched so far are never passed off as the whole result.
#include "DbFixtures.h"
#include "TestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace db;

namespace {

DbError errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const DbError &e) {
        return e;
    }
    ADD_FAILURE() << "no DbError was thrown";
    return DbError(QString());
}

class FetchFaults : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        m_provider = QString::fromLatin1(GetParam());
        if (m_provider == u"PostgreSQL")
            TABULON_REQUIRE_POSTGRES();
        m_db = dbtest::makeDatabase(m_provider);
        ASSERT_TRUE(m_db);
        m_conn = Connection::create();
        m_conn->Open(m_db->connectionString());
    }

    // conf_big's rows in order, the statement failing when it reaches row 3000.
    QString failingAt3000() const
    {
        return m_provider == u"PostgreSQL"
            ? QStringLiteral("SELECT id, 1 / (3000 - id) AS v FROM conf_big ORDER BY id")
            : QStringLiteral("SELECT id, CASE WHEN id = 3000 THEN abs(-9223372036854775808) ELSE id END AS v "
                             "FROM conf_big ORDER BY id");
    }

    QString m_provider;
    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<Connection> m_conn;
};

} // namespace

TEST_P(FetchFaults, AFailurePartWayLeavesTheRecordsetFailed)
{
    auto rs = Recordset::create();
    rs->Open(failingAt3000(), m_conn);
    ASSERT_EQ(rs->State(), adStateOpen);
    ASSERT_GT(rs->fetchedCount(), 0u);
    EXPECT_FALSE(rs->fetchError());

    const DbError count = errorOf([&] { rs->RecordCount(); });
    EXPECT_FALSE(count.message().isEmpty());
    EXPECT_EQ(count.kind(), DbError::Kind::Failure);
    ASSERT_TRUE(rs->fetchError());
    EXPECT_EQ(rs->fetchError()->message(), count.message());
    EXPECT_FALSE(rs->isComplete());
    const std::size_t held = rs->fetchedCount();
    EXPECT_LT(held, 3000u);

    // Everything that needs the rest says the same, again and again; nothing counts what is held.
    EXPECT_EQ(errorOf([&] { rs->RecordCount(); }).message(), count.message());
    EXPECT_EQ(errorOf([&] { rs->MoveLast(); }).message(), count.message());
    EXPECT_EQ(errorOf([&] { rs->fetchAll(); }).message(), count.message());
    EXPECT_EQ(errorOf([&] { rs->GetRows(); }).message(), count.message());
    EXPECT_EQ(errorOf([&] { rs->setFilter(QStringLiteral("id > 10")); }).message(), count.message());
    EXPECT_EQ(errorOf([&] { rs->ensureRow(4000); }).message(), count.message());
    EXPECT_EQ(rs->Filter(), QString()) << "a failed filter changes nothing";
    auto clone = rs->Clone();
    EXPECT_EQ(errorOf([&] { clone->RecordCount(); }).message(), count.message());

    // The rows that did arrive stay readable, in order.
    EXPECT_EQ(rs->fetchedCount(), held);
    EXPECT_TRUE(rs->ensureRow(held - 1));
    EXPECT_EQ(rs->value(0, 0).toLongLong(), 1);
    EXPECT_EQ(rs->value(held - 1, 0).toLongLong(), qlonglong(held));
    rs->MoveFirst();
    EXPECT_EQ(rs->Value(0).toLongLong(), 1);

    // The data source itself is fine.
    EXPECT_EQ(m_conn->Execute(QStringLiteral("SELECT count(*) FROM conf_big"))->Value(0).toLongLong(), 5000);
}

INSTANTIATE_TEST_SUITE_P(Providers, FetchFaults, ::testing::Values("SQLite", "PostgreSQL"));

// A backend killed between two fetches: the connection is lost, the recordset says so every time,
// and a grid that met the failure while scrolling tells its owner once.
TEST(PostgresFaults, ABackendKilledMidFetchIsALostConnection)
{
    TABULON_REQUIRE_POSTGRES();
    auto db = dbtest::makePostgresDatabase();
    ASSERT_TRUE(db);
    const QString app = QStringLiteral("tabulon_kill_%1").arg(QCoreApplication::applicationPid());
    auto conn = Connection::create();
    conn->Open(db->connectionString() + QStringLiteral(";application_name=") + app);

    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT i, repeat('x', 20) AS pad FROM generate_series(1, 300000) AS i"), conn);
    ASSERT_GT(rs->fetchedCount(), 0u);
    grid::Grid g;
    g.setDataMode(grid::flexDMBound);
    g.setDataSource(rs);
    const int rowsShown = g.Rows();
    QSignalSpy failures(&g, &grid::Grid::FetchError);

    // The cursor's own server process, not the connection's.
    db->exec(QStringLiteral("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                            "WHERE application_name = '%1' AND query LIKE 'FETCH%'")
                 .arg(app));

    // The view asks for more rows while scrolling, several times.
    for (int i = 0; i < 5; ++i) {
        if (g.model()->canFetchMore({}))
            g.model()->fetchMore({});
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(failures.count(), 1);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(g.model()->canFetchMore({}));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(failures.count(), 1) << "told once, not at every scroll";
    EXPECT_FALSE(g.model()->lastError().isEmpty());
    EXPECT_EQ(g.Rows(), int(rs->fetchedCount()) + 1);
    EXPECT_GE(g.Rows(), rowsShown);

    const DbError lost = errorOf([&] { rs->RecordCount(); });
    EXPECT_TRUE(lost.isConnectionLost()) << lost.sqlState().toStdString() << " " << lost.message().toStdString();
    EXPECT_EQ(errorOf([&] { rs->MoveLast(); }).message(), lost.message());
    EXPECT_LT(rs->fetchedCount(), 300000u);
    EXPECT_EQ(errorOf([&] { g.setRow(299999); }).message(), lost.message());

    // The next result on the same data source is whole.
    auto again = Recordset::create();
    again->Open(QStringLiteral("SELECT i FROM generate_series(1, 3000) AS i"), conn);
    EXPECT_EQ(again->RecordCount(), 3000);
}

TEST(ErrorKinds, BySqlState)
{
    EXPECT_EQ(DbError::kindOf(QStringLiteral("57014")), DbError::Kind::Cancelled);
    EXPECT_EQ(DbError::kindOf(QStringLiteral("HY008")), DbError::Kind::Cancelled);
    EXPECT_EQ(DbError::kindOf(QStringLiteral("08006")), DbError::Kind::ConnectionLost);
    EXPECT_EQ(DbError::kindOf(QStringLiteral("08S01")), DbError::Kind::ConnectionLost);
    EXPECT_EQ(DbError::kindOf(QStringLiteral("57P01")), DbError::Kind::ConnectionLost);
    EXPECT_EQ(DbError::kindOf(QStringLiteral("42P01")), DbError::Kind::Failure);
    EXPECT_EQ(DbError::kindOf(QString()), DbError::Kind::Failure);
    EXPECT_TRUE(DbError::cancelled().isCancelled());
}
