// Results that fail part-way: the rows fetched so far are never passed off as the whole result.
#include "DbFixtures.h"
#include "DbTestSupport.h"
#include "PostgresOdbc.h"
#include "TestSupport.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "db/Recordset.h"
#include "db/Worker.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <vector>

#include <atomic>
#include <csignal>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace db;
using dbtest::errorOf;

namespace {

class FetchFaults : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        m_provider = QString::fromLatin1(GetParam());
        const bool odbcPostgres = m_provider == u"ODBC PostgreSQL";
        if (m_provider == u"PostgreSQL" || odbcPostgres)
            TABULON_REQUIRE_POSTGRES();
        m_db = dbtest::makeDatabase(odbcPostgres ? QStringLiteral("PostgreSQL") : m_provider);
        TABULON_REQUIRE_INSTALLED(m_db != nullptr, m_provider.toStdString());
        m_conn = Connection::create();
        if (odbcPostgres) {
            // The driver's own schema setting, and its rows fetched a batch at a time: read whole
            // at once, a failing row would fail the statement before any row is shown.
            const QString schema = m_db->connectionString().section(QStringLiteral("search_path="), 1).section(u'\'', 0, 0);
            m_conn->Open(testsupport::postgresOdbcConnectionString()
                         + QStringLiteral(";UseDeclareFetch=1;Fetch=500;ConnSettings=SET search_path TO %1").arg(schema));
        } else if (m_provider == u"ODBC") {
            // Likewise the SQLite driver steps through the rows only when asked to.
            m_conn->Open(m_db->connectionString() + QStringLiteral(";StepAPI=1"));
        } else {
            m_conn->Open(m_db->connectionString());
        }
    }

    bool postgres() const { return m_provider.endsWith(u"PostgreSQL"); }

    // conf_big's rows in order, the statement failing when it reaches row 3000.
    QString failingAt3000() const
    {
        return postgres()
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

INSTANTIATE_TEST_SUITE_P(Providers, FetchFaults, ::testing::Values("SQLite", "PostgreSQL", "ODBC", "ODBC PostgreSQL"));

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
    ASSERT_TRUE(QTest::qWaitFor([&] { return failures.count() == 1; }, 60000));
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

// A call the recordset or connection does not allow is the caller's fault, told apart from the
// database's own failure, with the same message as ever; the kind survives the connection's error
// list and a copy held as DbError.
TEST(ErrorKinds, AMisuseIsAUsageErrorAndTheDatabasesFailureIsNot)
{
    QTemporaryDir dir;
    auto conn = Connection::create();
    conn->setReadOnly(false);
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("k.db"))));
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT 1 AS one"), conn);

    const DbError past = errorOf([&] { rs->value(5, 0); });
    EXPECT_EQ(past.kind(), DbError::Kind::Usage);
    EXPECT_EQ(past.message(), QStringLiteral("Row 5 is not available (1 rows held)"));
    EXPECT_TRUE(errorOf([&] { rs->Open(QStringLiteral("SELECT 2"), conn); }).isUsage());
    EXPECT_TRUE(errorOf([&] { conn->Open(QString()); }).isUsage()) << "already open";
    EXPECT_TRUE(errorOf([&] { rs->Field(7); }).isUsage());

    const DbError syntax = errorOf([&] { Recordset::create()->Open(QStringLiteral("SELEC 1"), conn); });
    EXPECT_EQ(syntax.kind(), DbError::Kind::Failure) << syntax.message().toStdString();

    conn->Close();
    const DbError closed = errorOf([&] { conn->Close(); });
    EXPECT_EQ(closed.kind(), DbError::Kind::Usage);
    EXPECT_EQ(closed.message(), QStringLiteral("Operation is not allowed when the object is closed"));
    Command call;
    call.ActiveConnection = conn;
    call.CommandText = QStringLiteral("anything");
    const DbError unconnected = errorOf([&] { call.Execute(); });
    EXPECT_TRUE(unconnected.isUsage());
    EXPECT_EQ(unconnected.message(), QStringLiteral("The command has no open connection"));
}

namespace {

// Stops the waits started in its scope once `ms` milliseconds have passed.
class StopAfter {
public:
    explicit StopAfter(int ms)
        : m_scope(m_token)
    {
        m_clock.start();
        m_token.setStopWhen([this, ms] { return m_clock.elapsed() >= ms; });
    }

private:
    QElapsedTimer m_clock;
    StopToken m_token;
    StopToken::Scope m_scope;
};

// Every process of the test cluster (the postmaster and its children) stopped with SIGSTOP for
// the scope's length, and resumed however the scope ends. Nothing else on the machine is touched.
class PausedCluster {
public:
    PausedCluster()
    {
        QFile pidFile(qEnvironmentVariable("TABULON_TEST_PG_SOCKET") + QStringLiteral("/data/postmaster.pid"));
        if (!pidFile.open(QIODevice::ReadOnly))
            return;
        const pid_t postmaster = pid_t(QString::fromLatin1(pidFile.readLine()).trimmed().toInt());
        if (postmaster <= 1)
            return;
        m_pids.push_back(postmaster);
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool isPid = false;
            const pid_t pid = pid_t(entry.toInt(&isPid));
            if (!isPid)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (comm) state ppid ...": the name may hold blanks and brackets.
            const QString text = QString::fromLatin1(stat.readAll());
            const QStringList rest = text.mid(text.lastIndexOf(u')') + 2).split(u' ');
            if (rest.size() > 1 && rest[1].toInt() == postmaster)
                m_pids.push_back(pid);
        }
        for (pid_t pid : m_pids)
            ::kill(pid, SIGSTOP);
    }
    ~PausedCluster()
    {
        for (pid_t pid : m_pids)
            ::kill(pid, SIGCONT);
    }
    bool paused() const { return m_pids.size() > 1; }

private:
    std::vector<pid_t> m_pids;
};

// A closed recordset's worker hands its connection back to the pool as it ends, a moment after the
// close: the pid checks wait for that, or a slow machine sees a fresh connection where one is reused.
void waitForWorkersDownTo(int count)
{
    EXPECT_TRUE(QTest::qWaitFor([count] { return worker::running() <= count; }, 60000))
        << "a worker held on to its connection";
}

QString serverPid(const std::shared_ptr<Connection> &conn)
{
    const int before = worker::running();
    QString pid;
    {
        auto rs = Recordset::create();
        rs->Open(QStringLiteral("SELECT pg_backend_pid() AS pid"), conn);
        pid = rs->Value(0).toString();
    }
    waitForWorkersDownTo(before);
    return pid;
}


// A loopback proxy in front of the test server that can fall silent: from then on it passes
// nothing either way and answers no new connection, yet keeps every socket open, as a stalled
// proxy or a hung server does. It runs in a process of its own, as a server's machine would: its
// sockets are not this program's.
class SilentProxy {
public:
    explicit SilentProxy(int serverPort)
        : m_serverPort(serverPort)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        int toChild[2], fromChild[2];
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), len) != 0 || ::listen(m_listen, 16) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&addr), &len) != 0 || ::pipe(toChild) != 0)
            return;
        if (::pipe(fromChild) != 0)
            return;
        m_child = ::fork();
        if (m_child == 0) {
            ::close(toChild[1]);
            ::close(fromChild[0]);
            run(toChild[0], fromChild[1]);
            ::_exit(0);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        ::close(m_listen);
        m_command = toChild[1];
        m_answer = fromChild[0];
        if (m_child > 0)
            m_port = ntohs(addr.sin_port);
    }
    ~SilentProxy()
    {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            ::waitpid(m_child, nullptr, 0);
        }
        ::close(m_command);
        ::close(m_answer);
    }
    int port() const { return m_port; }
    // Returns once the proxy passes nothing more.
    void fallSilent()
    {
        char c = 's';
        if (::write(m_command, &c, 1) == 1)
            (void)::read(m_answer, &c, 1);
    }

private:
    static int connectTo(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(std::uint16_t(port));
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    void run(int command, int answer)
    {
        std::vector<std::pair<int, int>> pairs; // client, server
        bool silent = false;
        for (;;) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}, {command, POLLIN, 0}};
            if (!silent)
                for (const auto &[a, b] : pairs)
                    fds.insert(fds.end(), {{a, POLLIN, 0}, {b, POLLIN, 0}});
            if (::poll(fds.data(), fds.size(), -1) <= 0)
                continue;
            if (fds[1].revents) {
                char c = 0;
                if (::read(command, &c, 1) != 1)
                    return; // the test ended
                silent = true;
                (void)::write(answer, &c, 1);
                continue;
            }
            if (fds[0].revents & POLLIN) {
                const int client = ::accept(m_listen, nullptr, nullptr);
                const int server = silent ? -1 : connectTo(m_serverPort);
                if (server >= 0)
                    pairs.emplace_back(client, server);
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                const auto &pair = pairs[(i - 2) / 2];
                const int from = fds[i].fd;
                const int to = from == pair.first ? pair.second : pair.first;
                char buffer[65536];
                const ssize_t n = ::read(from, buffer, sizeof buffer);
                if (n <= 0) {
                    ::shutdown(to, SHUT_WR);
                    std::erase(pairs, pair);
                    break;
                }
                for (ssize_t done = 0; done < n;) {
                    const ssize_t w = ::write(to, buffer + done, std::size_t(n - done));
                    if (w <= 0)
                        break;
                    done += w;
                }
            }
        }
    }

    const int m_serverPort;
    int m_listen = -1;
    int m_port = 0;
    pid_t m_child = -1;
    int m_command = -1;
    int m_answer = -1;
};

} // namespace

// A stop ends the wait at once; a fetch whose call ended by itself goes on later from where it was.
TEST_P(FetchFaults, AStoppedFetchEndsAtOnceAndCanGoOn)
{
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT id FROM conf_big ORDER BY id"), m_conn);
    {
        StopAfter now(0);
        EXPECT_FALSE(rs->fetchAll());
        EXPECT_THROW(rs->RecordCount(), DbError);
    }
    EXPECT_FALSE(rs->fetchError());
    EXPECT_TRUE(rs->fetchAll());
    EXPECT_EQ(rs->RecordCount(), 5000);
    for (std::size_t r = 0; r < 5000; r += 499)
        EXPECT_EQ(rs->value(r, 0).toLongLong(), qlonglong(r + 1));

    // A statement the server is still running is cancelled there; the connection goes on.
    const QString endless = postgres()
        ? QStringLiteral("SELECT pg_sleep(30)")
        : QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");
    {
        // Ended by the stop: the statement would have run out with a result, or not at all.
        StopAfter soon(200);
        const DbError e = errorOf([&] { m_conn->Execute(endless); });
        EXPECT_TRUE(e.isCancelled()) << e.message().toStdString();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker::running() == 0; }, 60000));
    EXPECT_EQ(m_conn->Execute(QStringLiteral("SELECT count(*) FROM conf_big"))->Value(0).toLongLong(), 5000);
}

// Rows that are slow to read (each one counts the whole table) stopped in the middle of a chunk
// that takes far longer than the cancel grace: the worker stops between two short client calls, so
// the statement is not cancelled and the rest follows later, no row lost or read twice.
TEST_P(FetchFaults, AFetchStoppedMidChunkStaysWhole)
{
    // The PostgreSQL ODBC driver takes a cancel that lands between two of its calls as closing the
    // cursor, so a chunk that outlasts the grace on a busy machine ends in "Function sequence
    // error" rather than a cancel; this check would only measure the machine's load there.
    if (m_provider == QStringLiteral("ODBC PostgreSQL"))
        GTEST_SKIP() << "a late cancel closes the driver's cursor";
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT a.id, (SELECT count(*) FROM conf_big b WHERE b.amount > a.id % 7) AS n "
                            "FROM conf_big a ORDER BY a.id"),
             m_conn);
    ASSERT_EQ(rs->State(), adStateOpen);
    // The first calls guess how many of these rows a short call reads; a busy machine makes a
    // wrong guess long. The stop below comes once the calls have found their length.
    ASSERT_GT(rs->fetchMore(1200), 0u);
    {
        StopAfter soon(100);
        EXPECT_FALSE(rs->fetchAll());
    }
    const std::size_t held = rs->fetchedCount();
    EXPECT_LT(held, 5000u) << "stopped while rows were still coming";
    // A call still running past the grace would be cancelled whether the fetch goes on or not:
    // the rest would then never come.
    EXPECT_FALSE(rs->fetchError()) << rs->fetchError()->message().toStdString();

    ASSERT_TRUE(rs->fetchAll());
    ASSERT_EQ(rs->fetchedCount(), 5000u);
    for (std::size_t r = 0; r < 5000; ++r) {
        const qlonglong id = qlonglong(r + 1);
        // amount = id * 1.25 runs from 1.25 up, so only the ids with id * 1.25 <= k fall out.
        const qlonglong k = id % 7;
        const qlonglong expected = 5000 - qlonglong(double(k) / 1.25);
        ASSERT_EQ(rs->value(r, 0).toLongLong(), id) << "row " << r;
        ASSERT_EQ(rs->value(r, 1).toLongLong(), expected) << "row " << r;
    }
}

// Recordsets of one data source take turns on its idle client connections, and the data source
// closes them with itself.
TEST(PostgresPool, RecordsetsReuseIdleConnections)
{
    TABULON_REQUIRE_POSTGRES();
    auto db = dbtest::makePostgresDatabase();
    ASSERT_TRUE(db);
    auto conn = Connection::create();
    conn->Open(db->connectionString());
    const QString first = serverPid(conn);
    EXPECT_EQ(serverPid(conn), first) << "a second recordset connected afresh";
    // A reused connection describes each new result afresh: its own columns, types and tables.
    auto described = Recordset::create();
    described->Open(QStringLiteral("SELECT amount, label AS name, id FROM conf_big ORDER BY id"), conn);
    ASSERT_EQ(described->FieldCount(), 3);
    EXPECT_EQ(described->Field(0).DeclaredType, QStringLiteral("numeric(12,2)"));
    EXPECT_EQ(described->Field(0).NumericScale, 2);
    EXPECT_EQ(described->Field(1).BaseColumnName, QStringLiteral("label"));
    EXPECT_EQ(described->Field(1).DefinedSize, 20);
    EXPECT_EQ(described->Field(2).BaseTableName, QStringLiteral("conf_big"));
    EXPECT_FALSE(described->Field(2).Nullable);
    EXPECT_EQ(described->Value(0).toString(), QStringLiteral("1.25"));
    described->Close();
    described.reset();
    waitForWorkersDownTo(0);
    EXPECT_EQ(serverPid(conn), first);

    // Two at once each have their own.
    auto open = Recordset::create();
    open->Open(QStringLiteral("SELECT id FROM conf_big"), conn);
    const QString other = serverPid(conn);
    EXPECT_NE(other, first);
    open->Close();
    open.reset();

    // A cursor whose statement was cancelled is not handed on.
    auto cancelled = Recordset::create();
    // The first rows come at once, the 151st after half a minute.
    cancelled->Open(QStringLiteral("SELECT pg_backend_pid() AS pid, (SELECT 1 FROM pg_sleep(CASE WHEN i > 150 THEN 30 "
                                   "ELSE 0 END)) AS slept FROM generate_series(1, 200) AS i"),
                    conn);
    const QString cancelledPid = cancelled->Value(0).toString();
    {
        StopAfter soon(100);
        EXPECT_FALSE(cancelled->fetchAll());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancelled->fetchError().has_value(); }, 60000));
    EXPECT_TRUE(cancelled->fetchError()->isCancelled());
    cancelled.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return worker::running() == 0; }, 60000));
    EXPECT_NE(serverPid(conn), cancelledPid);

    conn->Close();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            auto admin = Connection::create();
            admin->Open(db->connectionString());
            return admin->Execute(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE pid IN (%1, %2)")
                                      .arg(first, other))
                       ->Value(0)
                       .toLongLong()
                   == 0;
        },
        60000));
}

// A server that stops answering holds nothing for ever: waits end when stopped, a new connection
// gives up after the connection string's time-out, and the workers let go of theirs.
TEST(PostgresFaults, AServerThatStopsAnsweringNeverHoldsAWaitForEver)
{
    TABULON_REQUIRE_POSTGRES();
    auto db = dbtest::makePostgresDatabase();
    ASSERT_TRUE(db);
    auto conn = Connection::create();
    conn->Open(db->connectionString());
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT id FROM conf_big"), conn);
    const std::size_t held = rs->fetchedCount();
    QElapsedTimer clock;
    {
        PausedCluster paused;
        ASSERT_TRUE(paused.paused()) << "the test cluster's processes were not found";
        {
            StopAfter soon(300);
            EXPECT_FALSE(rs->fetchAll());
        }
        // Ended by the stop itself: the connection closed under the call, which is all a paused
        // server could end it with, fails the fetch only later.
        EXPECT_FALSE(rs->fetchError()) << "the wait lasted until the connection was closed";
        {
            StopAfter soon(300);
            EXPECT_TRUE(errorOf([&] { conn->Execute(QStringLiteral("SELECT 1")); }).isCancelled());
        }
        // The stopped calls are cancelled, then their connections closed under them.
        ASSERT_TRUE(QTest::qWaitFor([&] { return worker::running() == 0; }, 60000));

        // Given up after the time-out, not at once (the server is there) nor never.
        clock.start();
        auto another = Connection::create();
        EXPECT_THROW(another->Open(db->connectionString() + QStringLiteral(";Connect Timeout=2")), DbError);
        EXPECT_GE(clock.elapsed(), 1500);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return rs->fetchError().has_value(); }, 60000));
    // The user stopped it: cancelled, though its connection had to be closed under it.
    EXPECT_TRUE(rs->fetchError()->isCancelled()) << rs->fetchError()->message().toStdString();
    EXPECT_EQ(rs->fetchedCount(), held);
    // Once the server answers again the data source works (its dropped connection is renewed).
    EXPECT_EQ(conn->Execute(QStringLiteral("SELECT count(*) FROM conf_big"))->Value(0).toLongLong(), 5000);
}

// A server that falls silent mid-fetch behind a connection kept open: a fetch nobody stops gives up
// on its own once the server answers no new connection either, saying so, and while it waits the
// owner is told what the wait is for and that it can be stopped. A fetch the user stopped there
// never waits again.
TEST(PostgresFaults, AFetchFromASilentServerGivesUp)
{
    TABULON_REQUIRE_POSTGRES();
    auto db = dbtest::makePostgresDatabase();
    ASSERT_TRUE(db);
    ConnectionString cs = ConnectionString::parse(db->connectionString());
    SilentProxy proxy(cs.value(QStringLiteral("Port"), QString()).toInt());
    ASSERT_GT(proxy.port(), 0);
    cs.setValue(QStringLiteral("Port"), QString::number(proxy.port()));
    // The note comes after 3 s without a word, the server is asked after 4 s and given up 4 s on.
    cs.setValue(QStringLiteral("Connect Timeout"), QStringLiteral("4"));
    auto conn = Connection::create();
    conn->Open(cs.toString());
    const QString sql = QStringLiteral("SELECT i FROM generate_series(1, 300000) AS i");
    auto stopped = Recordset::create();
    stopped->Open(sql, conn);
    auto left = Recordset::create();
    left->Open(sql, conn);
    ASSERT_GT(left->fetchedCount(), 0u);
    const std::size_t held = left->fetchedCount();
    proxy.fallSilent();

    {
        StopAfter soon(300);
        EXPECT_FALSE(stopped->fetchAll());
    }
    {
        StopAfter never(60000); // only there so that the fault fails instead of hanging
        EXPECT_THROW(stopped->RecordCount(), DbError);
    }

    StopToken token;
    QStringList notes;
    token.setOnWaiting([&](const QString &note) { notes << note; });
    QElapsedTimer guard; // only there so that the fault fails instead of hanging
    guard.start();
    token.setStopWhen([&] { return guard.elapsed() > 60000; });
    const StopToken::Scope scope(token);
    const DbError lost = errorOf([&] { left->RecordCount(); });
    EXPECT_TRUE(lost.isConnectionLost()) << lost.message().toStdString();
    EXPECT_TRUE(lost.message().contains(QStringLiteral("does not answer"))) << lost.message().toStdString();
    EXPECT_EQ(left->fetchedCount(), held);
    EXPECT_EQ(errorOf([&] { left->MoveLast(); }).message(), lost.message());
    ASSERT_FALSE(notes.isEmpty());
    EXPECT_TRUE(notes.first().contains(QStringLiteral("server"))) << notes.first().toStdString();
    EXPECT_TRUE(notes.first().contains(QStringLiteral("Escape"))) << notes.first().toStdString();
    EXPECT_EQ(notes.last(), QString()) << "the note is taken back when the wait ends";
}

// The same server behind the PostgreSQL ODBC driver, which offers no read time-out of its own and
// whose SQLCancel asks the silent server too: a statement nobody stops gives up on its own, one
// the user stopped leaves no worker blocked in the driver, and a later call on the data source
// says the server cannot be reached instead of waiting on the stopped one.
TEST(PostgresFaults, AStatementThroughOdbcToASilentServerGivesUp)
{
    TABULON_REQUIRE_POSTGRES();
    ConnectionString cs = ConnectionString::parse(testsupport::postgresOdbcConnectionString());
    SilentProxy proxy(cs.value(QStringLiteral("Port"), QString()).toInt());
    ASSERT_GT(proxy.port(), 0);
    cs.setValue(QStringLiteral("Port"), QString::number(proxy.port()));
    cs.setValue(QStringLiteral("Connect Timeout"), QStringLiteral("4"));
    auto conn = Connection::create();
    conn->Open(cs.toString());
    const int workers = worker::running();
    proxy.fallSilent();
    const QString sql = QStringLiteral("SELECT count(*) FROM generate_series(1, 1000)");

    StopToken token;
    QStringList notes;
    token.setOnWaiting([&](const QString &note) { notes << note; });
    QElapsedTimer guard; // only there so that the fault fails instead of hanging
    guard.start();
    token.setStopWhen([&] { return guard.elapsed() > 60000; });
    {
        const StopToken::Scope scope(token);
        const DbError lost = errorOf([&] { conn->Execute(sql); });
        EXPECT_FALSE(lost.isCancelled()) << "the call was not given up before the test's own stop";
        EXPECT_TRUE(lost.message().contains(QStringLiteral("does not answer"))) << lost.message().toStdString();
        ASSERT_FALSE(notes.isEmpty());
        EXPECT_TRUE(notes.first().contains(QStringLiteral("Escape"))) << notes.first().toStdString();
        EXPECT_EQ(notes.last(), QString()) << "the note is taken back when the wait ends";
    }
    {
        StopAfter soon(300);
        EXPECT_TRUE(errorOf([&] { conn->Execute(sql); }).isCancelled());
    }
    {
        const StopToken::Scope scope(token);
        const DbError later = errorOf([&] { conn->Execute(sql); });
        EXPECT_FALSE(later.isCancelled()) << "a later call waited on the stopped one";
    }
    waitForWorkersDownTo(workers);
}
