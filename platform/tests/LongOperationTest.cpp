#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/LongOperation.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace ui;

namespace {

struct LongOperationFrame : ::testing::Test {
    StatusPanels status{5};
    KeyedToolBar tlbMain{QStringLiteral("tlbMain")};
    KeyedToolBar tlbResults{QStringLiteral("tlbResults")};
    bool abortFlag = true;

    void SetUp() override
    {
        MousePointer::setDefault();
        status.Panels(1).setText(QStringLiteral("Ready ..."));
    }
    void TearDown() override { MousePointer::setDefault(); }
};

} // namespace

TEST_F(LongOperationFrame, StartClearsTheFlagAndSetsTheFrameUp)
{
    LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Copying ..."),
                                 .disable = {&tlbMain, &tlbResults}, .progressMaximum = 100});
    EXPECT_FALSE(abortFlag);
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Hourglass);
    EXPECT_EQ(status.Panels(1).Text(), "Copying ...");
    EXPECT_FALSE(tlbMain.Enabled());
    EXPECT_FALSE(tlbResults.Enabled());
    EXPECT_TRUE(status.progressVisible());
    op.advanceProgress(7);
    EXPECT_EQ(status.progressValue(), 7);
}

TEST_F(LongOperationFrame, EverythingIsPutBackWhenTheWorkThrows)
{
    tlbResults.setEnabled(false); // already off: must stay off
    const auto work = [&] {
        LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Charting data ..."),
                                     .restore = LongOperation::Restore::Previous,
                                     .disable = {&tlbMain, &tlbResults}, .progressMaximum = 10});
        status.Panels(1).setText(QStringLiteral("Autosizing grid ..."));
        throw std::runtime_error("provider gone");
    };
    status.Panels(1).setText(QStringLiteral("Loading Query Builder ..."));
    EXPECT_THROW(work(), std::runtime_error);
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Default);
    EXPECT_EQ(status.Panels(1).Text(), "Loading Query Builder ...");
    EXPECT_TRUE(tlbMain.Enabled());
    EXPECT_FALSE(tlbResults.Enabled());
    EXPECT_FALSE(status.progressVisible());
}

TEST_F(LongOperationFrame, TheTextRestoredIsReadyOrAsItWasOrLeftAlone)
{
    status.Panels(1).setText(QStringLiteral("previous"));
    { LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Finding ...")}); }
    EXPECT_EQ(status.Panels(1).Text(), "Ready ...");

    status.Panels(1).setText(QStringLiteral("previous"));
    {
        LongOperation op({.status = &status, .text = QStringLiteral("Exporting ..."),
                          .restore = LongOperation::Restore::Keep});
        op.setText(QStringLiteral("E-Mailing file ..."));
    }
    EXPECT_EQ(status.Panels(1).Text(), "E-Mailing file ...");

    { LongOperation op({.status = &status, .panel = 9, .text = QStringLiteral("no such panel")}); }
    EXPECT_EQ(status.Panels(1).Text(), "E-Mailing file ...") << "a missing panel is skipped, not an error";
}

TEST_F(LongOperationFrame, StepYieldsAndReportsTheAbortFlag)
{
    LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Moving ...")});
    bool delivered = false;
    QObject receiver;
    // The cancel question answers Yes at one of the operation's yields.
    QMetaObject::invokeMethod(&receiver, [&] { delivered = true; abortFlag = true; }, Qt::QueuedConnection);
    EXPECT_FALSE(op.aborted());
    EXPECT_TRUE(op.step(true));
    EXPECT_TRUE(delivered);
}

TEST_F(LongOperationFrame, ANestedOperationLeavesTheOuterHourglass)
{
    LongOperation outer(abortFlag, {.status = &status, .text = QStringLiteral("Selecting ...")});
    {
        LongOperation inner(abortFlag, {.status = &status, .text = QStringLiteral("Fetching ..."),
                                        .restore = LongOperation::Restore::Previous, .clearAbortAtEnd = true});
        abortFlag = true;
    }
    EXPECT_FALSE(abortFlag);
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Hourglass);
    EXPECT_EQ(status.Panels(1).Text(), "Selecting ...");
    outer.finish();
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Default);
    outer.finish(); // once only
    EXPECT_EQ(status.Panels(1).Text(), "Ready ...");
}

TEST_F(LongOperationFrame, AStatusBarOrToolbarClosedDuringTheOperationIsSkipped)
{
    auto bar = std::make_unique<StatusPanels>(1);
    auto toolbar = std::make_unique<KeyedToolBar>();
    {
        LongOperation op(abortFlag, {.status = bar.get(), .text = QStringLiteral("Printing ..."),
                                     .disable = {toolbar.get()}, .progressMaximum = 5});
        bar.reset();
        toolbar.reset();
    }
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Default);
}

// A look held back until the event loop runs: an operation ending before it shows nothing and
// toggles nothing; one that lets events run has its look up before the first event is delivered,
// and both end as an operation showing its look at once would.
TEST_F(LongOperationFrame, ALookHeldBackGoesUpBeforeTheFirstEventOnly)
{
    testsupport::EventCounter toggles{QEvent::EnabledChange};
    tlbMain.installEventFilter(&toggles);
    tlbResults.setEnabled(false); // already off: stays off
    const quint64 writes = status.Panels(1).textWrites();
    {
        LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Retrieving records ..."),
                                     .disable = {&tlbMain, &tlbResults}, .lookOnceEventsRun = true});
        EXPECT_FALSE(abortFlag);
        EXPECT_EQ(status.Panels(1).Text(), "Ready ...");
        EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Default);
        EXPECT_TRUE(tlbMain.isEnabled());
    }
    EXPECT_EQ(toggles.count, 0);
    EXPECT_EQ(status.Panels(1).Text(), "Ready ...");
    EXPECT_EQ(status.Panels(1).textWrites(), writes + 1) << "only the closing text, the same as before";
    EXPECT_FALSE(tlbResults.isEnabled());

    // Posted before the operation began, the event still finds the look up.
    QObject receiver;
    bool delivered = false;
    QMetaObject::invokeMethod(
        &receiver,
        [&] {
            delivered = true;
            EXPECT_EQ(status.Panels(1).Text(), "Retrieving records ...");
            EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Hourglass);
            EXPECT_FALSE(tlbMain.isEnabled());
        },
        Qt::QueuedConnection);
    {
        LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Retrieving records ..."),
                                     .disable = {&tlbMain, &tlbResults}, .lookOnceEventsRun = true});
        QCoreApplication::processEvents();
        EXPECT_TRUE(delivered);
    }
    EXPECT_EQ(status.Panels(1).Text(), "Ready ...");
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Default);
    EXPECT_TRUE(tlbMain.isEnabled());
    EXPECT_FALSE(tlbResults.isEnabled());

    // A text set before the loop runs is newer than the operation's: it stays.
    {
        LongOperation op(abortFlag, {.status = &status, .text = QStringLiteral("Sorting rows ..."),
                                     .restore = LongOperation::Restore::Keep, .lookOnceEventsRun = true});
        status.Panels(1).setText(QStringLiteral("Retrieving Object information ..."));
        QCoreApplication::processEvents();
        EXPECT_EQ(status.Panels(1).Text(), "Retrieving Object information ...");
        EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Hourglass);
    }
    EXPECT_EQ(status.Panels(1).Text(), "Retrieving Object information ...");
}

// Work held back for the event loop runs once, before anything the loop delivers, whichever way
// the loop is entered; dropped with its owner, it never runs.
TEST(BeforeEventLoopWork, RunsOnceBeforeTheLoopDeliversAnythingOrNever)
{
    int runs = 0;
    {
        const BeforeEventLoop dropped([&] { ++runs; });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);

    QObject receiver;
    std::vector<std::string> order;
    QMetaObject::invokeMethod(&receiver, [&] { order.push_back("event"); }, Qt::QueuedConnection);
    BeforeEventLoop work([&] { order.push_back("work"); });
    BeforeEventLoop second([&] { order.push_back("second"); });
    EXPECT_FALSE(work.done());
    QEventLoop loop;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    loop.exec();
    EXPECT_EQ(order, (std::vector<std::string>{"work", "second", "event"}));
    EXPECT_TRUE(work.done());
    QCoreApplication::processEvents();
    work.now();
    EXPECT_EQ(order.size(), 3u);

    // Off the application's thread there is no loop of ours to wait for.
    bool ranAtOnce = false;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        const BeforeEventLoop elsewhere([&] { ranAtOnce = true; });
    }));
    thread->start();
    thread->wait();
    EXPECT_TRUE(ranAtOnce);
}
