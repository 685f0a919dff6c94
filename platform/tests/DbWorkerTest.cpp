// Worker threads: every job runs at once on a thread of its own, whether a thread waited idle for
// it or a new one had to start, and a job's captures are gone before it counts as ended.
#include "db/Worker.h"

#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

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
        if (arrived.wait_for(lock, std::chrono::seconds(10), [&] { return present >= count; }))
            ++met;
    }
};

} // namespace

TEST(WorkerThreads, JobsRunTogetherWhetherThreadsWaitedIdleOrNot)
{
    ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 5000));
    // Some threads are left idle by short jobs; then more jobs than idle threads must all run at
    // once: a job queued behind a long one (a recordset's fetch lives as long as the recordset)
    // would wait for ever.
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 3; ++i)
            worker::start([] {});
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 5000));

        constexpr int kJobs = 7;
        auto together = std::make_shared<Rendezvous>();
        for (int i = 0; i < kJobs; ++i)
            worker::start([together] { together->meet(kJobs); });
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 15000));
        std::lock_guard lock(together->mutex);
        EXPECT_EQ(together->met, kJobs) << "round " << round << ": not every job ran at the same time";
    }
}

TEST(WorkerThreads, AJobsCapturesAreReleasedBeforeItCountsAsEnded)
{
    for (int i = 0; i < 20; ++i) {
        auto held = std::make_shared<int>(i);
        std::weak_ptr<int> watch = held;
        worker::start([held = std::move(held)] { (void)*held; });
        ASSERT_TRUE(QTest::qWaitFor([] { return worker::running() == 0; }, 5000));
        EXPECT_TRUE(watch.expired()) << "job " << i << " still holds what it captured";
    }
}
