// The control and a database that fails, is slow or is cancelled: partial results never pass for
// the whole result, failures are reported once, a user's cancel is no failure.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "db/Recordset.h"
#include "db/Worker.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <QAbstractEventDispatcher>

using namespace tabtest;

namespace {

class WorkTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
};

class DatabaseWork : public ControlTest {
protected:
    std::unique_ptr<WorkTabulon> start(const std::shared_ptr<db::Connection> &connection, const QString &sql)
    {
        return shown<WorkTabulon>(connection, sql);
    }

    // A writable SQLite file with the table numbers(id) holding 1 to `rows`.
    std::shared_ptr<db::Connection> numbers(int rows)
    {
        auto c = db::Connection::create();
        c->setReadOnly(false);
        c->Open(QStringLiteral("Provider=SQLite;Data Source=%1")
                    .arg(m_dir.filePath(QStringLiteral("n%1.db").arg(++m_files))));
        c->Execute(QStringLiteral("CREATE TABLE numbers AS WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                                  "FROM s WHERE x < %1) SELECT x AS id FROM s")
                       .arg(rows));
        return c;
    }

    int reportsOf(const QString &procedure) const
    {
        return int(std::count_if(events.begin(), events.end(), [&](const Report &r) { return r.procedure == procedure; }));
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

} // namespace

TEST_F(DatabaseWork, AFetchFailingPartWayIsReportedAndNeverCountsAsAll)
{
    auto tab = start(numbers(5000), QStringLiteral("SELECT id, CASE WHEN id = 3000 THEN abs(-9223372036854775808) "
                                                   "ELSE id END AS v FROM numbers"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    ASSERT_GT(tab->grdResults->Rows(), 1);

    EXPECT_FALSE(tab->Move_Record(false));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Move_Record"));
    EXPECT_TRUE(events[0].description.contains(QStringLiteral("overflow"))) << events[0].description;
    EXPECT_FALSE(tab->ResultsComplete());
    EXPECT_LT(tab->ResultsRows(), 3000);
    EXPECT_FALSE(tab->isBusy());

    // The grid heard of it with the control: scrolling does not report it again.
    for (int i = 0; i < 3; ++i) {
        if (tab->grdResults->model()->canFetchMore({}))
            tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    EXPECT_EQ(events.size(), 1u);
    EXPECT_FALSE(tab->grdResults->model()->lastError().isEmpty());

    // Every later operation that needs every row says so rather than working on part of them.
    EXPECT_FALSE(tab->Select_All());
    EXPECT_EQ(reportsOf(QStringLiteral("Select_All")), 1);
    tab->setShowRowCount(true);
    EXPECT_EQ(reportsOf(QStringLiteral("Show_ResultsCount")), 1);
    EXPECT_FALSE(tab->staStatus->Panels(5).Text().contains(QStringLiteral(" of ")));
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ...")) << "the count's failure ended it";

    // A new run starts afresh.
    tab->SQL(QStringLiteral("SELECT id FROM numbers"));
    tab->setShowRowCount(false);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    events.clear();
    ASSERT_TRUE(tab->Move_Record(false));
    EXPECT_EQ(tab->ResultsRows(), 5000);
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

// Rows the view asked for that never came: the control says why, once, whatever the view asks.
TEST_F(DatabaseWork, AFailureMetWhileScrollingIsReportedOnce)
{
    auto tab = start(numbers(5000), QStringLiteral("SELECT id, CASE WHEN id = 600 THEN abs(-9223372036854775808) "
                                                   "ELSE id END AS v FROM numbers"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    for (int i = 0; i < 20 && tab->grdResults->model()->canFetchMore({}); ++i) {
        tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    pump(60000, [&] { return !events.empty(); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("grdResults_FetchError"));
    for (int i = 0; i < 5; ++i) {
        if (tab->grdResults->model()->canFetchMore({}))
            tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    EXPECT_EQ(events.size(), 1u);
    EXPECT_LT(tab->grdResults->Rows(), 601);
    tab->UnloadFlter();
}

namespace {

// The same checks on an embedded file and on a server.
class DatabaseWorkOn : public DatabaseWork, public ::testing::WithParamInterface<const char *> {
protected:
    bool postgres() const { return QLatin1String(GetParam()) == QLatin1String("PostgreSQL"); }

    // numbers(id) with `rows` rows, on the provider under test.
    std::shared_ptr<db::Connection> connectWith(int rows)
    {
        if (!postgres())
            return numbers(rows);
        auto c = db::Connection::create();
        c->Open(testsupport::postgresConnectionString() + QStringLiteral(";application_name=") + appName());
        return c;
    }
    QString table(int rows) const
    {
        return postgres() ? QStringLiteral("(SELECT i AS id FROM generate_series(1, %1) AS i) AS numbers").arg(rows)
                          : QStringLiteral("numbers");
    }
    // A statement that would run for half a minute.
    QString slowStatement() const
    {
        return postgres() ? QStringLiteral("SELECT pg_sleep(30) AS slept")
                          : QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                                           "SELECT count(*) AS n FROM c");
    }
    // One that keeps the database busy for a second or two.
    QString busyStatement() const
    {
        return postgres() ? QStringLiteral("SELECT pg_sleep(2) AS slept")
                          : QStringLiteral("SELECT count(*) AS n FROM numbers a, numbers b");
    }
    static QString appName()
    {
        return QStringLiteral("tabulon_work_%1").arg(QCoreApplication::applicationPid());
    }
    // Statements of this test still running on the server.
    int activeOnServer(const std::shared_ptr<db::Connection> &c, const QString &like)
    {
        const auto rs = c->Execute(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE application_name = '%1' "
                                                  "AND state = 'active' AND query LIKE '%2'")
                                       .arg(appName(), like));
        return int(rs->Value(0).toLongLong());
    }

    void SetUp() override
    {
        if (postgres() && testsupport::postgresConnInfo().isEmpty()) {
            if (testsupport::postgresRequired())
                FAIL() << "TABULON_TEST_PG is not set but CI requires the PostgreSQL tests";
            GTEST_SKIP() << "TABULON_TEST_PG is not set (run through scripts/test)";
        }
    }
};

// How many times a timer ran while `work` ran and `working` said the database was still at it.
// An event loop held up for the whole of the work runs it once at most.
int ticksWhile(const std::function<bool()> &working, const std::function<void()> &work)
{
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (working())
            ++ticks;
    });
    tick.start(5);
    work();
    return ticks;
}

} // namespace

// Yes to "Cancel Filtering?" while a statement runs: it is stopped on the server at once, the run
// ends without a failure and the window goes on working.
TEST_P(DatabaseWorkOn, YesToTheCancelQuestionStopsTheStatementOnTheServer)
{
    auto conn = connectWith(100);
    auto tab = start(conn, QStringLiteral("SELECT 1 AS one"));
    tab->SQL(slowStatement()); // set after start-up, which describes the statement's columns
    const int workersBefore = db::worker::running();
    bool asked = false;
    QTimer::singleShot(300, tab.get(), [&] {
        ui::Prompter::queueAnswer(ui::MsgResult::Yes);
        asked = true;
        tab->Check_ESC();
    });
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    ASSERT_TRUE(asked);
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Cancel Filtering?"));
    // A statement run out would have given its row: the run ended at the Yes (half a second is
    // the aim, see bench/).
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Cancelled ..."));
    EXPECT_TRUE(events.empty()) << (events.empty() ? QString() : events[0].procedure + ": " + events[0].description);
    EXPECT_TRUE(errorWindows.empty());
    EXPECT_FALSE(tab->isBusy());

    // The statement itself has stopped, not only the wait for it.
    pump(60000, [&] { return db::worker::running() <= workersBefore; });
    EXPECT_LE(db::worker::running(), workersBefore) << "the worker still runs the statement";
    if (postgres()) {
        EXPECT_EQ(activeOnServer(conn, QStringLiteral("SELECT pg_sleep(30)%")), 0);
    }

    tab->SQL(QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(table(100)));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 0), QStringLiteral("1"));
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    tab->UnloadFlter();
}

// Timers keep firing while a statement runs and while a million rows arrive. How long the loop
// may wait between two runs is a figure of bench/, not a test.
TEST_P(DatabaseWorkOn, TheEventLoopRunsWhileTheDatabaseWorks)
{
    auto conn = connectWith(postgres() ? 0 : 5000);
    auto tab = start(conn, QStringLiteral("SELECT 1 AS one"));
    tab->SQL(busyStatement());
    bool ran = false;
    const int duringStatement = ticksWhile([&] { return tab->hasBusyMark(); },
                                           [&] { ran = tab->Refresh_Results(false, false, false); });
    EXPECT_TRUE(ran);
    EXPECT_GE(duringStatement, 3) << "the timer ran while the statement was on the database";

    if (!postgres())
        conn = numbers(1000000); // a fresh file with a million rows
    tab->adoConnection(conn);
    tab->SQL(QStringLiteral("SELECT id FROM %1").arg(table(1000000)));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    const std::size_t first = runnerOf(*tab).results()->fetchedCount();
    bool moved = false;
    const int duringFetch = ticksWhile(
        [&] {
            const std::size_t held = runnerOf(*tab).results()->fetchedCount();
            return held > first && held < 1000000;
        },
        [&] { moved = tab->Move_Record(false); });
    EXPECT_TRUE(moved);
    EXPECT_EQ(tab->ResultsRows(), 1000000);
    EXPECT_GE(duringFetch, 3) << "the timer ran while the rows were part-way in";
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

// While a statement keeps the database busy, the window shows it: toolbars off, the operation's
// text and the hourglass, from before the first event the loop delivers. A first screen that
// comes before the event loop ever runs leaves the toolbars alone (each toggle repaints every
// button); either way they end on.
TEST_P(DatabaseWorkOn, TheToolbarsAreOffWhileTheUserCouldSeeARefreshRun)
{
    auto conn = connectWith(postgres() ? 0 : 5000);
    auto tab = start(conn, QStringLiteral("SELECT 1 AS one"));
    tab->SQL(busyStatement());
    int ticks = 0;
    int busyLooks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!tab->hasBusyMark())
            return;
        ++ticks;
        busyLooks += !tab->tlbMain->isEnabled() && !tab->tlbResults->isEnabled()
            && tab->staStatus->Panels(1).Text() == QStringLiteral("Retrieving records ... ")
            && ui::MousePointer::current() == ui::MousePointer::Shape::Hourglass;
    });
    tick.start(5);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    tick.stop();
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(busyLooks, ticks);
    EXPECT_TRUE(tab->tlbMain->isEnabled());
    EXPECT_TRUE(tab->tlbResults->isEnabled());
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_EQ(ui::MousePointer::current(), ui::MousePointer::Shape::Default);

    testsupport::EventCounter toggles{QEvent::EnabledChange};
    tab->tlbMain->installEventFilter(&toggles);
    int loopRuns = 0;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    const auto c1 = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [&] { ++loopRuns; });
    const auto c2 = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&] { ++loopRuns; });
    tab->SQL(QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(table(100)));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    // A loaded machine may miss the quick answer; then the toolbars go off and on again.
    EXPECT_EQ(toggles.count, loopRuns == 0 ? 0 : 2);
    EXPECT_TRUE(tab->tlbMain->isEnabled());
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 0), QStringLiteral("1"));
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

// A second window's statements run while the first one's is still on the server.
TEST_P(DatabaseWorkOn, TwoWindowsWorkAtOnce)
{
    auto conn = connectWith(3000);
    auto slow = start(conn, QStringLiteral("SELECT 1 AS one"));
    slow->SQL(slowStatement());
    auto quick = start(conn, QStringLiteral("SELECT id FROM %1").arg(table(3000)));
    bool quickDone = false;
    bool slowStillRunning = false;
    QTimer::singleShot(200, quick.get(), [&] {
        quickDone = quick->Refresh_Results(false, false, false) && quick->Move_Record(false);
        slowStillRunning = slow->hasBusyMark();
        ui::Prompter::queueAnswer(ui::MsgResult::Yes);
        slow->Check_ESC();
    });
    EXPECT_FALSE(slow->Refresh_Results(false, false, false));
    EXPECT_TRUE(quickDone);
    EXPECT_TRUE(slowStillRunning) << "the quick window waited for the slow one";
    EXPECT_EQ(quick->ResultsRows(), 3000);
    EXPECT_TRUE(events.empty());
    slow->UnloadFlter();
    quick->UnloadFlter();
}

// Closed while a million rows arrive: the fetch stops, nothing waits for the rest of the result,
// and the worker lets its client handle go.
TEST_P(DatabaseWorkOn, AWindowClosedMidFetchStopsAndFrees)
{
    auto conn = connectWith(1000000);
    auto tab = start(conn, QStringLiteral("SELECT id FROM %1").arg(table(1000000)));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    bool closed = false;
    // Closed at the event loop's first turn during the move: a million rows may well be in
    // before any fixed delay runs out.
    QTimer::singleShot(0, tab.get(), [&] {
        closed = true;
        tab->UnloadFlter();
    });
    EXPECT_FALSE(tab->Move_Record(false));
    ASSERT_TRUE(closed);
    EXPECT_LT(tab->ResultsRows(), 1000000) << "the move went on to the last row";
    const auto tornDown = [&] { return !runnerOf(*tab).results(); };
    pump(60000, tornDown);
    EXPECT_TRUE(tornDown());
    pump(60000, [] { return db::worker::running() == 0; });
    EXPECT_EQ(db::worker::running(), 0) << "a worker still holds its client handle";
    EXPECT_TRUE(events.empty());
}

INSTANTIATE_TEST_SUITE_P(Providers, DatabaseWorkOn, ::testing::Values("SQLite", "PostgreSQL"));

// A server process killed part-way through the rows: the window says so once and never shows the
// rows so far as all of them.
TEST_F(DatabaseWork, AServerProcessKilledMidFetchIsReportedOnce)
{
    TABULON_REQUIRE_POSTGRES();
    const QString app = QStringLiteral("tabulon_killed_%1").arg(QCoreApplication::applicationPid());
    auto conn = db::Connection::create();
    conn->Open(testsupport::postgresConnectionString() + QStringLiteral(";application_name=") + app);
    auto tab = start(conn, QStringLiteral("SELECT i FROM generate_series(1, 300000) AS i"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    auto admin = db::Connection::create();
    admin->Open(testsupport::postgresConnectionString());
    admin->Execute(QStringLiteral("SELECT pg_terminate_backend(pid, 10000) FROM pg_stat_activity "
                                  "WHERE application_name = '%1' AND query LIKE 'FETCH%'")
                       .arg(app));

    EXPECT_FALSE(tab->Move_Record(false));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Move_Record"));
    EXPECT_FALSE(tab->ResultsComplete());
    EXPECT_LT(tab->ResultsRows(), 300000);
    for (int i = 0; i < 3; ++i) {
        if (tab->grdResults->model()->canFetchMore({}))
            tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    EXPECT_EQ(events.size(), 1u);
    tab->UnloadFlter();
}
