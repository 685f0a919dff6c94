// Worker and helper threads: every job runs at once on a thread of its own, whether a thread waited
// idle for it or a new one had to start, and a job's captures are gone before it counts as ended. A first
// screen may be taken without the event loop running in between only while it comes at once.
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Worker.h"
#include "ui/MousePointer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using namespace db;

namespace {

// Jobs that each wait until `count` of them run at the same time (or give up after a while).
struct Rendezvous {
    std::mutex mutex;
    std::condition_variable arrived;
    int present = 0;
    int met = 0;

    void meet(int count)
    {
        std::unique_lock lock(mutex);
        ++present;
        arrived.notify_all();
        if (arrived.wait_for(lock, std::chrono::seconds(60), [&] { return present >= count; }))
            ++met;
    }
};

} // namespace

TEST(WorkerThreads, JobsRunTogetherWhetherThreadsWaitedIdleOrNot)
{
    ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 60000));
    // Some threads are left idle by short jobs; then more jobs than idle threads must all run at
    // once: a job queued behind a long one (a recordset's fetch lives as long as the recordset)
    // would wait for ever.
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 3; ++i)
            worker::start([] {});
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 60000));

        constexpr int kJobs = 7;
        auto together = std::make_shared<Rendezvous>();
        for (int i = 0; i < kJobs; ++i)
            worker::start([together] { together->meet(kJobs); });
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 60000));
        std::lock_guard lock(together->mutex);
        EXPECT_EQ(together->met, kJobs) << "round " << round << ": not every job ran at the same time";
    }
}

// Workers leave the processor to the interface thread, except those started at its priority; a
// thread put below once cannot come back up, so an idle one must never take the other kind's job.
TEST(WorkerThreads, WorkersRunBelowTheInterfaceThreadUnlessStartedAtItsPriority)
{
    const int own = getpriority(PRIO_PROCESS, 0);
    for (int round = 0; round < 3; ++round) {
        auto below = std::make_shared<std::atomic<int>>(INT_MIN);
        auto beside = std::make_shared<std::atomic<int>>(INT_MIN);
        worker::start([below] { below->store(getpriority(PRIO_PROCESS, 0)); });
        worker::startAtInterfacePriority([beside] { beside->store(getpriority(PRIO_PROCESS, 0)); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return below->load() != INT_MIN && beside->load() != INT_MIN; }, 60000));
        EXPECT_GT(below->load(), own) << "round " << round;
        EXPECT_EQ(beside->load(), own) << "round " << round;
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 60000));
    }
}

TEST(WorkerThreads, AJobsCapturesAreReleasedBeforeItCountsAsEnded)
{
    for (int i = 0; i < 20; ++i) {
        auto held = std::make_shared<int>(i);
        std::weak_ptr<int> watch = held;
        worker::start([held = std::move(held)] { (void)*held; });
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 60000));
        EXPECT_TRUE(watch.expired()) << "job " << i << " still holds what it captured";
    }
}

// Helpers (a stopped call's cancel, which may wait on a server) run at once on a thread of their
// own like workers, and one that waited idle takes the next rather than a new thread each time:
// every refresh stops the last recordset's read-ahead.
TEST(WorkerThreads, HelpersRunTogetherAndIdleOnesTakeTheNext)
{
    constexpr int kJobs = 7;
    auto together = std::make_shared<Rendezvous>();
    auto finished = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < kJobs; ++i)
        worker::startHelper([together, finished] {
            together->meet(kJobs);
            ++*finished;
        });
    ASSERT_TRUE(QTest::qWaitFor([&finished] { return finished->load() == kJobs; }, 60000));
    {
        std::lock_guard lock(together->mutex);
        EXPECT_EQ(together->met, kJobs) << "not every helper ran at the same time";
    }
    // A helper's thread goes idle a moment after its job: on a busy machine, long after.
    constexpr int kMostIdle = 4;
    const auto allIdle = [] { return worker::idleHelpers() == kMostIdle; };
    ASSERT_TRUE(QTest::qWaitFor(allIdle, 60000)) << worker::idleHelpers() << " helpers idle";

    std::set<long> threads;
    for (int i = 0; i < 20; ++i) {
        auto done = std::make_shared<std::atomic<long>>(0);
        worker::startHelper([done] { done->store(syscall(SYS_gettid)); });
        ASSERT_TRUE(QTest::qWaitFor([&done] { return done->load() != 0; }, 60000));
        threads.insert(done->load());
        ASSERT_TRUE(QTest::qWaitFor(allIdle, 60000)) << "the helper's thread did not wait for the next";
    }
    EXPECT_LE(threads.size(), std::size_t(kMostIdle)) << "20 helpers one after another started " << threads.size() << " threads";
}

TEST(FirstScreenWait, AFirstScreenThatTakesLongLetsTheEventLoopRun)
{
    QTemporaryDir dir;
    auto conn = Connection::create();
    conn->setReadOnly(false);
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("w.db"))));

    // The first row only after a long count: the event loop keeps turning meanwhile.
    bool turned = false;
    QTimer::singleShot(0, [&] { turned = true; });
    auto slow = Recordset::create();
    slow->Open(QStringLiteral("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 3000000) "
                              "SELECT max(n) FROM c"),
               conn);
    EXPECT_EQ(slow->value(0, 0).toLongLong(), 3000000);
    EXPECT_TRUE(turned) << "a slow first screen kept the event loop from running";
}

// The data layer knows no pointer; the interface shows a wait that lasts as the hourglass and puts
// back the pointer it found once the wait ends.
TEST(FirstScreenWait, AWaitThatLastsShowsTheHourglassThenThePointerBefore)
{
    using ui::MousePointer;
    MousePointer::set(MousePointer::Shape::Arrow);
    bool hourglass = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (MousePointer::current() == MousePointer::Shape::Hourglass) {
            hourglass = true;
            Wait::wakeAll();
        }
    });
    look.start(5);
    Wait wait;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [&wait] { wait.stop(); });
    giveUp.start(30000);
    EXPECT_TRUE(wait.until([&] { return hourglass; })) << "the wait never showed the hourglass";
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Arrow);
    MousePointer::setDefault();
}
