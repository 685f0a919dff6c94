#include "ShellTestSupport.h"

#include "InstanceGuard.h"
#include "Faultdesk/hrErr.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>

using shelltest::pump;
using shelltest::ShellTest;

namespace {

using StartupTest = ShellTest;

TEST_F(StartupTest, MainShowsTheBrowserInTheMaximisedFrameWithQueryCommandsOff)
{
    start();
    EXPECT_EQ(main->windowTitle(), QStringLiteral("Tabulon"));
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(main->windowState() & Qt::WindowMaximized);

    frmBrowser *browser = main->browserWindow();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->windowTitle(), QStringLiteral("Data Sources"));
    EXPECT_TRUE(browser->control()->Initialised());
    EXPECT_EQ(browser->control()->tvwData->topLevelItemCount(), 1);
    EXPECT_TRUE(main->browserIsCurrent());
    // The browser's first activation closed the splash.
    EXPECT_TRUE(QApplication::topLevelWidgets().size() > 0);
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->objectName() == QStringLiteral("frmSplash") && w->isVisible());

    for (QAction *a : {main->mnuSaveSQL, main->mnuPrint, main->mnuExportData, main->mnuViewResults, main->mnuViewChart,
                       main->mnuViewSummary, main->mnuViewXTab, main->mnuShowRowCount, main->mnuFirstRecord,
                       main->mnuLastRecord, main->mnuResizeCols, main->mnuSelectAll, main->mnuFind, main->mnuFindNext,
                       main->mnuFindPrevious, main->mnuShowQB, main->mnuSortRows, main->mnuViewColumns,
                       main->mnuQuery->menuAction(), main->mnuToolBars->menuAction()})
        EXPECT_FALSE(a->isEnabled()) << a->objectName();
    EXPECT_TRUE(main->mnuViewBrowser->isChecked());
    EXPECT_TRUE(main->mnuOptions->isEnabled());
    EXPECT_FALSE(main->mnuPrintPreview->isVisible());
    // No folder listed yet: nothing for File > Item to launch.
    EXPECT_FALSE(main->mnuItem->menuAction()->isEnabled());

    // The error object reports for the program (the address is whichever deliverable set it last).
    EXPECT_FALSE(Glob::errorObject().EMailAddress().isEmpty());
    EXPECT_EQ(Glob::errorObject().EMailSubject(), QStringLiteral("Tabulon Error"));
    EXPECT_TRUE(Glob::errorObject().DebugMode());
    EXPECT_TRUE(errors.empty()) << errors.front().procedure << ": " << errors.front().description;
}

TEST_F(StartupTest, MenusCarryTheirCaptionsAndShortcuts)
{
    start();
    struct Expect {
        QAction *item;
        const char *caption;
        const char *shortcut;
    };
    const Expect expected[] = {
        {main->mnuExportData, "Export &Data", "Ctrl+D"}, {main->mnuSaveSQL, "Save SQL", "Ctrl+Q"},
        {main->mnuPrint, "&Print", "Ctrl+P"},            {main->mnuPrintSetup, "Printer Set&up", "Ctrl+U"},
        {main->mnuCut, "Cu&t", "Ctrl+X"},                {main->mnuSelectAll, "Select &All", "Ctrl+A"},
        {main->mnuFindNext, "Find &Next", "F3"},         {main->mnuFindPrevious, "Find Previous", "Shift+F3"},
        {main->mnuViewBrowser, "&Browser", "F2"},        {main->mnuViewXTab, "X&Tab", "F12"},
        {main->mnuRefresh, "&Refresh", "F5"},            {main->mnuShowRowCount, "Show Row Coun&t", "Ctrl+T"},
        {main->mnuResizeCols, "Resi&ze columns", "Ctrl+Z"}, {main->mnuSortRows, "Sort& rows", "Ctrl+W"},
        {main->mnuOptions, "&Options", "Ctrl+O"},        {main->mnuContents, "Contents", "F1"},
        {main->mnuReturnTop, "Return &top ...", ""},     {main->mnuWebs[2], "Harlund Support Forum", ""},
    };
    for (const Expect &e : expected) {
        EXPECT_EQ(e.item->text(), QLatin1String(e.caption));
        EXPECT_EQ(e.item->shortcut().toString(), QLatin1String(e.shortcut)) << e.caption;
    }
}

TEST_F(StartupTest, QuitQuestionNoKeepsEverythingYesTearsDownInOrder)
{
    start();
    frmQuery *query = launch(QStringLiteral("Customers"));
    ASSERT_NE(query, nullptr);
    const QPointer<frmQuery> guard(query);
    QSignalSpy unloaded(main, &mdiMain::unloaded);

    ui::Prompter::queueAnswer(ui::MsgResult::No);
    EXPECT_FALSE(main->close());
    const ui::PromptRecord *asked = ui::Prompter::lastAsked();
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->text, QStringLiteral("Quit Tabulon"));
    EXPECT_EQ(asked->buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(asked->icon, ui::MsgIcon::Question);
    pump(50);
    EXPECT_TRUE(guard);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->queryWindows().size(), 1);
    EXPECT_EQ(unloaded.count(), 0);

    // The browser's close box only puts it aside; its state is saved at exit.
    main->browserWindow()->close();
    pump(20);
    EXPECT_TRUE(main->browserWindow()->isMinimized());
    EXPECT_TRUE(main->browserWindow()->isVisible());

    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    main->close();
    EXPECT_TRUE(pump(2000, [&] { return unloaded.count() == 1; }));
    EXPECT_FALSE(guard);
    EXPECT_FALSE(main->isVisible());
    // The browser closed its connections and kept its place.
    settings::SettingsStore &store = settings::SettingsStore::instance();
    EXPECT_EQ(store.GetSetting(QStringLiteral("Tabulon"), QStringLiteral("Browser"), QStringLiteral("State")),
              QStringLiteral("1"));
    bool ok = false;
    EXPECT_GT(store.GetSetting(QStringLiteral("Tabulon"), QStringLiteral("Browser"), QStringLiteral("Width")).toDouble(&ok), 0);
    EXPECT_TRUE(ok);
    // Exactly one question was asked for each close.
    EXPECT_EQ(ui::Prompter::asked().size(), 2u);
}

TEST_F(StartupTest, SigtermEndsTheRunAsTheCloseBoxDoesAskingNothing)
{
    start();
    const QPointer<frmQuery> query(launch(QStringLiteral("Customers")));
    ASSERT_TRUE(query);
    QSignalSpy unloaded(main, &mdiMain::unloaded);
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_TRUE(pump(2000, [&] { return unloaded.count() == 1; }));
    EXPECT_FALSE(query);
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(ui::Prompter::asked().empty());
    // The browser kept its place, as at any end of the run.
    bool ok = false;
    EXPECT_GT(settings::SettingsStore::instance()
                  .GetSetting(QStringLiteral("Tabulon"), QStringLiteral("Browser"), QStringLiteral("Width"))
                  .toDouble(&ok),
              0);
    EXPECT_TRUE(ok);
}

TEST_F(StartupTest, SecondCopyOfTheProgramEndsItself)
{
    QTemporaryDir runtime, config;
    ASSERT_TRUE(runtime.isValid() && config.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(TABULON_EXE_PATH), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString lock = QDir(runtime.path()).filePath(QStringLiteral("Tabulon.lock"));
    EXPECT_TRUE(pump(20000, [&] { return QFile::exists(lock); }));

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(TABULON_EXE_PATH), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    // Well inside the first copy's start-up pause of two seconds plus its lifetime.
    EXPECT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(10000);

    // A lock left by a copy that died does not keep the next one out.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(QStringLiteral(TABULON_EXE_PATH), {});
    ASSERT_TRUE(third.waitForStarted(10000));
    EXPECT_FALSE(third.waitForFinished(4000));
    third.kill();
    third.waitForFinished(10000);
}

TEST_F(StartupTest, MainEndsBeforeShowingAWindowWhileAnotherCopyHoldsTheLock)
{
    writeSample();
    ASSERT_TRUE(sampleOk) << sampleError;
    InstanceGuard other(lockDir.path());
    ASSERT_TRUE(other.acquire());
    EXPECT_FALSE(Glob::Main());
    EXPECT_EQ(Glob::mainWindow(), nullptr);
    pump(20);
    for (QWidget *w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->objectName();
    EXPECT_TRUE(errors.empty());
}

TEST_F(StartupTest, WaitSecondsBlocksForItsTimeWithoutProcessingEvents)
{
    Glob::setWaitSecondsEnabled(true);
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    QElapsedTimer t;
    t.start();
    Glob::Wait_Seconds(1);
    EXPECT_GE(t.elapsed(), 1000);
    EXPECT_LT(t.elapsed(), 1500);
    EXPECT_FALSE(fired);
    pump(20, [&] { return fired; });
    EXPECT_TRUE(fired);
    Glob::setWaitSecondsEnabled(false);
}

TEST_F(StartupTest, HelpOpensTheFileBesideTheProgramOrNamesTheMissingOne)
{
    start();
    const QString help = Glob::HelpFile();
    EXPECT_EQ(QFileInfo(help).fileName(), QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".html");
    EXPECT_EQ(QFileInfo(help).absolutePath(), QCoreApplication::applicationDirPath());

    QFile::remove(help);
    main->mnuContents->trigger();
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QDir::toNativeSeparators(help)));
    EXPECT_TRUE(opener->opened.empty());

    QFile f(help);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("<html></html>");
    f.close();
    ui::Prompter::clearAsked();
    main->mnuContents->trigger();
    QFile::remove(help);
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(opener->opened.front().toLocalFile(), help);
    EXPECT_TRUE(ui::Prompter::asked().empty());
}

TEST_F(StartupTest, WebPagesAndTheAboutWindow)
{
    start();
    main->mnuWebs[0]->trigger();
    main->mnuWebs[1]->trigger();
    main->mnuWebs[2]->trigger();
    ASSERT_EQ(opener->opened.size(), 3u);
    EXPECT_EQ(opener->opened[0].toString(), QStringLiteral("https://tabulon.example.org/tabulon/"));
    EXPECT_EQ(opener->opened[1].toString(), QStringLiteral("https://tabulon.example.org/"));
    EXPECT_EQ(opener->opened[2].toString(), QStringLiteral("https://tabulon.example.org/forum/"));
    // An unknown page opens nothing and still succeeds.
    EXPECT_TRUE(Glob::Show_Site(7));
    EXPECT_EQ(opener->opened.size(), 3u);

    QString version, title;
    onModal = [&](QDialog &dialog) {
        title = dialog.windowTitle();
        if (auto *label = dialog.findChild<QLabel *>(QStringLiteral("lblVersion")))
            version = label->text();
    };
    main->mnuAbout->trigger();
    // Printer Set-up asks the printer dialog, and its cancel is no failure.
    main->mnuPrintSetup->trigger();
    ASSERT_NE(ui::CommonDialog::lastAsked(), nullptr);
    EXPECT_EQ(ui::CommonDialog::lastAsked()->kind, ui::DialogRecord::Kind::Printer);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals.front(), QStringLiteral("frmAbout"));
    EXPECT_EQ(title, QStringLiteral("About Tabulon"));
    EXPECT_EQ(version, QStringLiteral("Version %1.%2.%3")
                           .arg(tabulon::VersionMajor)
                           .arg(tabulon::VersionMinor)
                           .arg(tabulon::VersionRevision));
}

} // namespace
