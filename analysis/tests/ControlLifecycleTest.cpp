#include "TabulonTestSupport.h"

#include "TestSupport.h"

#include "core/ControlLayout.h"

#include "db/Worker.h"
#include "ui/MousePointer.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace tabtest;

namespace {

class ControlLifecycle : public ControlTest {};

} // namespace

TEST_F(ControlLifecycle, AutoRunWaitsForTheTimerAndRunsOnce)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT * FROM t"));
    tab.DataType(hlTabulon::tbDataView);
    tab.setAutoRun(true);
    tab.resize(600, 400);
    tab.show();

    EXPECT_TRUE(tab.LoadedOK());
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 0) << "nothing runs inside Init";
    EXPECT_EQ(tab.count(QStringLiteral("Get_Fields")), 0) << "a statement about to run is not described first";
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);
    EXPECT_TRUE(tab.tmrPause->isActive());
    EXPECT_TRUE(tab.tmrEsc->isActive());

    pump(60000, [&] { return tab.count(QStringLiteral("Refresh_Results")) > 0; });
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 1);
    EXPECT_EQ(tab.CurrentDataType(), hlTabulon::tbDataTable) << "the auto-run is Run_Query";

    // A restored window is not started again: no second run, no new set-up.
    tab.hide();
    tab.show();
    pump(300);
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 1);
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, WithoutAutoRunTheQueryWaitsInItsLockedBox)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT * FROM t"));
    tab.MaxRecords(250);
    tab.resize(600, 400);
    tab.show();
    pump(300);
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 0);
    EXPECT_EQ(tab.txtResultsSQL->toPlainText(), QStringLiteral("SELECT * FROM t"));
    EXPECT_TRUE(tab.txtResultsSQL->isReadOnly());
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("Open")).Visible());
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("Clear")).Visible());
    EXPECT_EQ(tab.staStatus->Panels(2).Text(), QStringLiteral("Max. 250 rows"));
    EXPECT_EQ(tab.staStatus->Panels(5).ToolTipText(), QStringLiteral("Current row\\row count"));
    // Init reads the field list for the analysis views of a plain query.
    EXPECT_EQ(tab.count(QStringLiteral("Get_Fields")), 1);
    EXPECT_EQ(tab.count(QStringLiteral("Populate_Fields")), 1);
    EXPECT_EQ(analysis::options().QueryBuilderAlign, 1) << "every start docks the query builder at the top";
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, AStoredRoutineOnAClientWithoutRoutinesFailsItsStartVisibly)
{
    SampleDatabase sample;
    ASSERT_TRUE(sample.ok()) << sample.error();
    FrameTabulon tab;
    watch(tab);
    tab.SQL(QStringLiteral("customer_orders"));
    tab.DataType(hlTabulon::tbDataStoredProc);
    tab.adoConnection(sample.connect());
    tab.resize(600, 400);
    tab.show();

    // Reported once, straight to the error object, and the control is still usable.
    ASSERT_EQ(errorWindows.size(), 1u);
    EXPECT_EQ(errorWindows[0].procedure, QStringLiteral("Init"));
    EXPECT_TRUE(errorWindows[0].description.contains(QStringLiteral("customer_orders")));
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(tab.LoadedOK());
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 0);
    EXPECT_EQ(tab.width(), 600);
    tab.UnloadFlter();
    tab.UnloadFlter();
    EXPECT_EQ(errorWindows.size(), 1u);
}

TEST_F(ControlLifecycle, AStoredRoutineRunsAtOnceOnPostgres)
{
    TABULON_REQUIRE_POSTGRES();
    QString cs = testsupport::postgresConnectionString();
    {
        auto admin = db::Connection::create();
        admin->setReadOnly(false);
        admin->Open(cs);
        admin->Execute(QStringLiteral("CREATE OR REPLACE FUNCTION tab_frame_probe(p_n integer) RETURNS integer "
                                      "LANGUAGE sql AS 'SELECT p_n + 1'"));
    }
    auto connection = db::Connection::create();
    connection->Open(cs);

    FrameTabulon tab;
    tab.SQL(QStringLiteral("tab_frame_probe"));
    tab.DataType(hlTabulon::tbDataStoredProc);
    tab.adoConnection(connection);
    tab.resize(600, 400);
    tab.show();
    EXPECT_TRUE(tab.LoadedOK());
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 1) << "without auto-run, at once";
    EXPECT_FALSE(tab.tmrPause->isActive());
    EXPECT_EQ(tab.count(QStringLiteral("Get_Fields")), 0) << "Init reads no field list for a routine";
    for (const char *key : {"Results", "Chart", "Summary", "XTab"})
        EXPECT_FALSE(tab.tlbMain->Buttons(QLatin1String(key)).Enabled()) << key;
    EXPECT_TRUE(tab.tlbResults->isHidden());
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, ABadStoredSettingIsReportedOnceAndFallsBack)
{
    store().SaveSetting(analysis::settingsApplication(), QStringLiteral("Results"), QStringLiteral("Double Click"),
                        QStringLiteral("7"));
    FrameTabulon first;
    watch(first);
    EXPECT_TRUE(events.empty()) << "nothing is reported before a host listens";
    first.resize(500, 300);
    first.show();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Read_INI"));
    EXPECT_EQ(analysis::options().DoubleClick, 0);
    first.hide(); // Hide saves the settings
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Double Click")), QStringLiteral("0"));

    FrameTabulon second;
    watch(second);
    second.show();
    EXPECT_EQ(events.size(), 1u) << "the next start is clean";
    first.UnloadFlter();
    second.UnloadFlter();
}

TEST_F(ControlLifecycle, EverySettingIsWrittenWithItsDefaultFromAnEmptyStore)
{
    {
        FrameTabulon tab;
        tab.resize(500, 300);
        tab.show();
        tab.hide();
        tab.UnloadFlter();
    }
    const analysis::Options &opt = analysis::options();
    for (const analysis::SettingEntry &e : analysis::settingTable()) {
        const QString section = QLatin1String(e.section);
        const QString key = QLatin1String(e.key);
        const QString value = stored(section, key);
        if (key == QLatin1String("Query Builder Align"))
            EXPECT_EQ(value, QStringLiteral("1")) << "the start-up docks it";
        else if (e.defaultText)
            EXPECT_EQ(value, QLatin1String(e.defaultText)) << section << "/" << key;
        else
            EXPECT_EQ(value, analysis::settingText(e, opt)) << section << "/" << key;
    }
    EXPECT_EQ(stored(QStringLiteral("Find"), QStringLiteral("Value0")), QStringLiteral("<missing>"));

    // Read back by a new control, the values are the same.
    const analysis::Options before = opt;
    analysis::resetOptions();
    FrameTabulon again;
    for (const analysis::SettingEntry &e : analysis::settingTable())
        EXPECT_EQ(analysis::settingText(e, analysis::options()), analysis::settingText(e, before)) << e.key;
}

TEST_F(ControlLifecycle, RefreshDispatchesByViewAndOnlyASuccessChangesTheState)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.resize(600, 400);
    tab.show();
    QSignalSpy changed(&tab, &hlTabulon::ViewChanged);
    tab.calls.clear();

    tab.resultsAnswer = false;
    const bool sqlBefore = tab.tlbMain->Buttons(QStringLiteral("SQL")).Enabled();
    EXPECT_FALSE(tab.Refresh());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("SQL")).Enabled(), sqlBefore);

    tab.resultsAnswer = true;
    EXPECT_TRUE(tab.Refresh());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(tab.SQLEnabled());
    EXPECT_TRUE(tab.tlbMain->Buttons(QStringLiteral("SQL")).Enabled());

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    tab.calls.clear();
    EXPECT_TRUE(tab.Refresh());
    EXPECT_EQ(tab.calls, std::vector<QString>{QStringLiteral("Refresh_Summary")});
    EXPECT_FALSE(tab.SQLEnabled()) << "the summary's own SQL box is empty";
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, ClearQueryAsksFirstAndKeepsEverythingOnCancelOrAFailedSave)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.OpenSQL(true);
    tab.resize(600, 400);
    tab.show();
    QSignalSpy selected(&tab, &hlTabulon::QuerySelected);

    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    EXPECT_FALSE(tab.Clear_Query());
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Save changes"));
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Clear Query"));
    EXPECT_EQ(ui::Prompter::lastAsked()->buttons, ui::MsgButtons::YesNoCancel);
    EXPECT_EQ(tab.txtResultsSQL->toPlainText(), QStringLiteral("SELECT 1"));

    ui::Prompter::queueAnswer(ui::MsgResult::Yes); // the save dialog is cancelled: nothing is saved
    EXPECT_FALSE(tab.Clear_Query());
    EXPECT_EQ(tab.txtResultsSQL->toPlainText(), QStringLiteral("SELECT 1"));
    EXPECT_EQ(selected.count(), 0);

    ui::Prompter::queueAnswer(ui::MsgResult::No);
    EXPECT_TRUE(tab.Clear_Query());
    EXPECT_TRUE(tab.txtResultsSQL->toPlainText().isEmpty());
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);
    // The emptied box leaves nothing to run or clear.
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Refresh")).Enabled());
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("Clear")).Enabled());
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, EditsAndF5InTheSqlBox)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.OpenSQL(true);
    tab.DataType(hlTabulon::tbDataXML);
    tab.resize(600, 400);
    tab.show();
    runnerOf(tab).setFieldsLoaded(true);

    tab.txtResultsSQL->setPlainText(QStringLiteral("   "));
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Refresh")).Enabled()) << "blanks are not a query";
    EXPECT_TRUE(tab.tlbResults->Buttons(QStringLiteral("Open")).Enabled());
    tab.txtResultsSQL->setPlainText(QStringLiteral("SELECT 2"));
    EXPECT_TRUE(tab.tlbMain->Buttons(QStringLiteral("Refresh")).Enabled());
    EXPECT_TRUE(tab.tlbResults->Buttons(QStringLiteral("Clear")).Enabled());
    EXPECT_FALSE(runnerOf(tab).fieldsLoaded()) << "an edited query needs its field list again";

    tab.calls.clear();
    QTest::keyClick(tab.txtResultsSQL, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 1);
    EXPECT_EQ(tab.CurrentDataType(), hlTabulon::tbDataTable) << "the box's text runs as plain SQL";
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, SplitterMovesAreStoredOnlyOnceTheControlIsReady)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.resize(600, 500);
    // Before start-up a moved divider changes no setting.
    tab.hlSplitResults->setSplitPercent(30);
    EXPECT_EQ(analysis::options().ResultsSplit.Percentage, 90);
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Split\\Percentage")), QStringLiteral("<missing>"));

    tab.show();
    // The options put the grid first (Split\Left off), stacked, 90 % of the height.
    Splitter *s = tab.hlSplitResults;
    EXPECT_EQ(s->SplitPercent(), 90);
    EXPECT_EQ(s->Orientation(), Splitter::splitHorizontal);
    EXPECT_EQ(s->Child1(), static_cast<QWidget *>(tab.grdResults));
    EXPECT_EQ(s->Child2(), static_cast<QWidget *>(tab.txtResultsSQL));
    EXPECT_EQ(s->SplitterWidth(), 40);
    const double inner = ui::Twips::fromPixelsY(s->height(), s);
    EXPECT_EQ(tab.grdResults->height(), ui::Twips::toPixelsY((inner - 40) * 0.9, s));

    // Dragging past the top edge keeps the smallest share, stored and saved.
    QWidget *bar = s->SplitterBar();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(10, 1));
    QTest::mouseMove(bar, QPoint(10, -2000));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(10, 1));
    EXPECT_FLOAT_EQ(s->fraction(), 0.001f);
    EXPECT_EQ(analysis::options().ResultsSplit.Percentage, 0);
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Split\\Percentage")), QStringLiteral("0"));

    // With Split\Left the SQL box comes first, side by side when not stacked.
    analysis::options().SummarySplit.Left = true;
    analysis::options().SummarySplit.Orientation = false;
    ASSERT_TRUE(tab.Set_Options(false, false, true));
    EXPECT_EQ(tab.hlSplitSummary->Child1(), static_cast<QWidget *>(tab.txtSummarySQL));
    EXPECT_EQ(tab.hlSplitSummary->Orientation(), Splitter::splitVertical);
    tab.UnloadFlter();
}

TEST_F(ControlLifecycle, UnloadFlterReleasesEverythingAndASecondCallDoesNothing)
{
    SampleDatabase sample;
    ASSERT_TRUE(sample.ok()) << sample.error();
    auto connection = sample.connect();
    FrameTabulon tab;
    watch(tab);
    tab.SQL(QStringLiteral("SELECT * FROM Customers"));
    tab.adoConnection(connection);
    tab.resize(600, 400);
    tab.show();
    ASSERT_TRUE(tab.LoadedOK());
    const long uses = connection.use_count();

    tab.UnloadFlter();
    EXPECT_EQ(connection.use_count(), uses - 1) << "our reference goes";
    EXPECT_EQ(connection->State(), db::adStateOpen) << "the connection itself stays open";
    EXPECT_EQ(runnerOf(tab).results(), nullptr);
    EXPECT_FALSE(tab.tmrEsc->isActive());
    EXPECT_FALSE(tab.tmrPause->isActive());
    for (Splitter *s : {tab.hlSplitResults, tab.hlSplitChart, tab.hlSplitSummary, tab.hlSplitXTab}) {
        EXPECT_EQ(s->Child1(), nullptr);
        EXPECT_EQ(s->Child2(), nullptr);
    }
    tab.UnloadFlter();
    tab.resize(300, 200);
    tab.hide();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(ControlLifecycle, ATearDownDuringAnOperationWaitsForItsEnd)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.resize(600, 400);
    tab.show();
    int steps = 0;
    tab.refreshWork = [&](analysis::OperationFrame &frame) {
        while (!frame.step(true)) {
            if (++steps == 3)
                tab.UnloadFlter(); // the window closes while the loop yields
            if (steps > 1000)
                return false;
        }
        // The loop stopped on the abort flag, with everything still in place.
        EXPECT_NE(runnerOf(tab).results(), nullptr);
        EXPECT_TRUE(tab.tmrEsc->isActive());
        return false;
    };
    EXPECT_FALSE(tab.Refresh());
    EXPECT_EQ(steps, 3);
    EXPECT_TRUE(analysis::g_blnAbort);
    pump(60000, [&] { return !tab.tmrEsc->isActive(); });
    EXPECT_FALSE(tab.tmrEsc->isActive()) << "torn down once the operation ended";
    EXPECT_EQ(runnerOf(tab).results(), nullptr);
}

namespace {

// A host that destroys the control itself while one of its views refreshes (a window deleted, not
// closed): while the view's statement runs, or while its rows are laid out; on an embedded file
// and on a server.
class DestroyedMidRefresh
    : public ControlLifecycle,
      public ::testing::WithParamInterface<std::tuple<hlTabulon::tbView, bool, const char *>> {
public:
    struct Control : hlTabulon {
        bool Change_View(tbView view) { return showView(*this, view); }
    };
    static std::string name(const ::testing::TestParamInfo<ParamType> &info)
    {
        const auto [view, whileStatementRuns, provider] = info.param;
        const char *views[] = {"Results", "Chart", "Summary", "XTab"};
        return std::string(views[view]) + (whileStatementRuns ? "WhileItsStatementRuns" : "WhileItsRowsAreLaidOut") +
               "On" + provider;
    }
};

} // namespace

TEST_P(DestroyedMidRefresh, NothingOfItIsTouchedAgainAndNothingIsLeftRunning)
{
    const auto [view, whileStatementRuns, provider] = GetParam();
    const bool postgres = ScratchDatabase::postgres(QLatin1String(provider));
    if (postgres)
        TABULON_REQUIRE_POSTGRES();
    ScratchDatabase scratch(QLatin1String(provider), "t_gone");
    const QString t = scratch.prefix() + QStringLiteral("t");
    const QString numbers = postgres ? QStringLiteral("generate_series(1, 300000) AS s(i)")
                                     : QStringLiteral("(WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s "
                                                      "WHERE i < 300000) SELECT i FROM s) AS s");
    scratch.admin().Execute(
        QStringLiteral("CREATE TABLE %1 AS SELECT i % 40000 AS g, i % 7 AS h, i AS v FROM %2").arg(t, numbers));
    auto connection = scratch.connect();
    // A statement that would run for hours (the table joined with itself, a sleep on each row);
    // or the table alone, whose many groups take the view a while to lay out.
    const QString slow = postgres ? QStringLiteral("SELECT g AS \"G\", h AS \"H\", v AS \"V\" FROM %1 "
                                                   "WHERE pg_sleep(600) IS NOT NULL").arg(t)
                                  : QStringLiteral("SELECT a.g AS \"G\", a.h AS \"H\", b.v AS \"V\" FROM %1 a, %1 b").arg(t);
    const QString statement = whileStatementRuns ? slow
                                                 : QStringLiteral("SELECT g AS \"G\", h AS \"H\", v AS \"V\" FROM %1").arg(t);
    auto tab = std::make_unique<Control>();
    ASSERT_NO_FATAL_FAILURE(openView(*tab, connection, statement, view));
    const char *bar = view == hlTabulon::tbViewSummary ? "cboSumCol" : view == hlTabulon::tbViewXTab ? "cboXTabCol"
                                                                                                      : "cboChartCol";
    const auto pickers = parts<QComboBox, 6>(*tab, bar);
    ASSERT_NO_FATAL_FAILURE(pickText(pickers[0], QStringLiteral("G")));
    if (view == hlTabulon::tbViewXTab) {
        ASSERT_NO_FATAL_FAILURE(pickText(pickers[1], QStringLiteral("H")));
    }

    const int workersBefore = db::worker::running();
    const QPointer<hlTabulon> control(tab.get());
    ui::StatusPanels *status = part<ui::StatusPanels>(*tab, "staStatus");
    bool waited = false;
    QTimer host;
    QObject::connect(&host, &QTimer::timeout, &host, [&] {
        if (!control || !control->hasBusyMark())
            return;
        const bool waiting = db::Wait::depth() > 0;
        waited = waited || waiting;
        // The statement is well under way once the control says what it waits for.
        const bool statementRuns = waiting && status->Panels(1).Text().startsWith(QLatin1String("Waiting for"));
        if (whileStatementRuns ? statementRuns : waited && !waiting)
            tab.reset();
    });
    host.start(0);
    EXPECT_FALSE(control->Refresh());
    host.stop();
    ASSERT_FALSE(control) << "the refresh ended before the host could destroy the control";

    // The statement was stopped, not run out for nobody, and nothing waits for it.
    pump(60000, [&] { return db::worker::running() <= workersBefore; });
    EXPECT_LE(db::worker::running(), workersBefore) << "a worker still runs the view's statement";
    EXPECT_EQ(db::Wait::depth(), 0);
    EXPECT_EQ(ui::MousePointer::current(), ui::MousePointer::Shape::Default);
    if (postgres) {
        // Only this run's statement: the other views' runs may be sleeping on the same server.
        const auto active = [&] {
            return scratch.admin()
                .Execute(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' "
                                        "AND strpos(query, 'FROM %1 WHERE pg_sleep(600)') > 0 "
                                        "AND pid <> pg_backend_pid()")
                             .arg(t))
                ->Value(0)
                .toLongLong();
        };
        pump(60000, [&] { return active() == 0; });
        EXPECT_EQ(active(), 0) << "the statement still runs on the server";
    }
    EXPECT_FALSE(connection->Execute(QStringLiteral("SELECT count(*) FROM %1").arg(t))->isEOF());
    EXPECT_TRUE(errorWindows.empty());
}

INSTANTIATE_TEST_SUITE_P(Views, DestroyedMidRefresh,
                         ::testing::Combine(::testing::Values(hlTabulon::tbViewSummary, hlTabulon::tbViewXTab,
                                                              hlTabulon::tbViewChart),
                                            ::testing::Bool(), ::testing::Values("SQLite", "PostgreSQL")),
                         DestroyedMidRefresh::name);

TEST_F(ControlLifecycle, TheRunTimerShowsTheElapsedTime)
{
    using analysis::layout::elapsedText;
    EXPECT_EQ(elapsedText(59), QStringLiteral("0:00:59"));
    EXPECT_EQ(elapsedText(60), QStringLiteral("0:01:00"));
    EXPECT_EQ(elapsedText(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(elapsedText(3725), QStringLiteral("1:02:05"));

    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.resize(600, 400);
    tab.show();
    tab.refreshWork = [&](analysis::OperationFrame &frame) {
        EXPECT_TRUE(tab.tmrRun->isActive());
        EXPECT_TRUE(tab.hasBusyMark());
        // Up once the event loop has run: a refresh that ends before never shows it.
        pump(60000, [&] {
            return tab.staStatus->Panels(1).Text() == QStringLiteral("Refreshing ...")
                   && !tab.staStatus->Panels(5).Text().isEmpty();
        });
        EXPECT_EQ(tab.staStatus->Panels(1).Text(), QStringLiteral("Refreshing ..."));
        frame.step(true);
        return true;
    };
    EXPECT_TRUE(tab.Refresh());
    EXPECT_EQ(tab.staStatus->Panels(5).Text(), QStringLiteral("0:00:00"));
    EXPECT_FALSE(tab.tmrRun->isActive());
    EXPECT_FALSE(tab.hasBusyMark());
    EXPECT_EQ(tab.staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    tab.UnloadFlter();
}
