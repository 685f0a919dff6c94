// The procedures' shared trap: what it answers, the order of putting back and reporting, and the
// texts it reads from what was thrown; and SIGTERM, trapped into the event loop.
#include "app/TerminateSignal.h"
#include "app/Trap.h"
#include "db/DbError.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <csignal>

#include <pthread.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct NotAnException {};

// The text the trap's report reads for what `thrower` throws.
template <typename Thrower>
QString reported(Thrower thrower)
{
    QString text;
    app::trap(thrower, [] {}, [&] {
        text = app::currentErrorText(QStringLiteral("Something else"));
        return false;
    });
    return text;
}

} // namespace

TEST(Trap, AnswersWhatTheWorkAnswersAndWhatTheReportAnswersOnFailure)
{
    std::vector<std::string> steps;
    auto undo = [&] { steps.push_back("undo"); };
    auto failed = [&] {
        steps.push_back("report");
        return false;
    };
    EXPECT_TRUE(app::trap([] {}, undo, failed)) << "work that answers nothing succeeded";
    EXPECT_TRUE(app::trap([] { return true; }, undo, failed));
    EXPECT_FALSE(app::trap([] { return false; }, undo, failed));
    EXPECT_TRUE(steps.empty()) << "nothing is put back or reported without a failure";

    EXPECT_FALSE(app::trap([]() -> bool { throw std::runtime_error("x"); }, undo, failed));
    EXPECT_EQ(steps, (std::vector<std::string>{"undo", "report"})) << "put back first, then reported";

    // The report's answer is the procedure's: a failure the report excuses may answer true.
    EXPECT_TRUE(app::trap([] { throw NotAnException{}; }, [] {}, [] { return true; }));
}

TEST(Trap, ReportsADatabaseErrorsMessageAnExceptionsTextAndOtherwiseTheCallersWords)
{
    EXPECT_EQ(reported([] { throw db::DbError(QStringLiteral("no such table: Ørders")); }),
              QStringLiteral("no such table: Ørders"));
    EXPECT_EQ(reported([] { throw std::runtime_error("Grüße \xe2\x9c\x93"); }), QStringLiteral("Grüße ✓"));
    EXPECT_EQ(reported([] { throw NotAnException{}; }), QStringLiteral("Something else"));
    EXPECT_EQ(reported([] { throw 42; }), QStringLiteral("Something else"));
}

namespace {

volatile std::sig_atomic_t g_foundHandlerRan = 0;

} // namespace

TEST(Trap, SigtermComesThroughTheEventLoopEvenIfBlockedAndTheHandlerFoundComesBack)
{
    struct sigaction found {}, old {};
    found.sa_handler = [](int) { g_foundHandlerRan = 1; };
    sigemptyset(&found.sa_mask);
    ASSERT_EQ(::sigaction(SIGTERM, &found, &old), 0);
    // Blocked, as whoever started the program may have left it.
    sigset_t term, now;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, nullptr), 0);
    {
        app::TerminateSignal terminate;
        ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, nullptr, &now), 0);
        EXPECT_FALSE(sigismember(&now, SIGTERM));
        QSignalSpy requested(&terminate, &app::TerminateSignal::requested);
        ASSERT_EQ(::raise(SIGTERM), 0); // handled at once, and the process lives on
        EXPECT_EQ(requested.count(), 0) << "nothing but a note is made inside the handler";
        EXPECT_TRUE(requested.wait());
        EXPECT_EQ(requested.count(), 1);
        EXPECT_EQ(g_foundHandlerRan, 0);
    }
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_EQ(g_foundHandlerRan, 1);
    ::sigaction(SIGTERM, &old, nullptr);
}
