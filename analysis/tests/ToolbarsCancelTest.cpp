#include "TabulonTestSupport.h"

#include "hlTabulon/Glob.h"
#include "hlTabulon/frmAbout.h"

#include "grid/Grid.h"
#include "hlQueryMenu/qryMenu.h"
#include "ui/DesktopOpener.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace tabtest;

namespace {

class Toolbars : public ControlTest {};
class Cancelling : public ControlTest {};

void pressEscape(QWidget *target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

} // namespace

TEST_F(Toolbars, ButtonsCaptionsAndTips)
{
    FrameTabulon tab;
    tab.resize(700, 400);
    tab.show();
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("Print")).ToolTipText(), QStringLiteral("Print grid\\chart (F6)"));
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("XTab")).Style(), ui::tbrButtonGroup);
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("Find")).Style(), ui::tbrCheck);
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("QueryBuilder")).Style(), ui::tbrCheck) << "set at start-up";
    EXPECT_EQ(tab.tlbResults->Buttons(14).Key(), QStringLiteral("Sort"));

    // Captions off by default, on with the toolbar-text options.
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("Sort")).Caption(), QString());
    analysis::options().ResultsToolbarText = true;
    ASSERT_TRUE(tab.Set_Options());
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("Sort")).Caption(), QStringLiteral("Sort "));
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("XTab")).Caption(), QString());
    analysis::options().MainToolbarText = true;
    ASSERT_TRUE(tab.Set_Options());
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("XTab")).Caption(), QStringLiteral("X-Tab"));

    // The options entry shows only when the host wants it.
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Options")).Visible());
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("sepOptions")).Visible());
    tab.UnloadFlter();
}

TEST_F(Toolbars, SetOptionsAppliesTheGridOptionsAndGoesOnPastAnUnreadableWallpaper)
{
    FrameTabulon tab;
    watch(tab);
    tab.resize(700, 400);
    tab.show();
    analysis::Options &opt = analysis::options();
    opt.SummaryGrid.GridLines = 4;
    opt.SummaryGrid.BackColor = 0x00FFEEDD;
    opt.SummaryGrid.AlternateColor = 0x00CCCCCC;
    opt.SummaryGrid.Font.setBold(true);
    opt.Merge = true;
    tab.grdSummary->setCols(3);
    tab.calls.clear();
    ASSERT_TRUE(tab.Set_Options(true, false, false));
    EXPECT_EQ(tab.grdSummary->GridLines(), 4);
    EXPECT_EQ(tab.grdSummary->BackColor(), 0x00FFEEDDu);
    EXPECT_EQ(tab.grdSummary->BackColorAlternate(), 0x00CCCCCCu);
    EXPECT_TRUE(tab.grdSummary->font().bold());
    EXPECT_TRUE(tab.grdSummary->MergeCol(0));
    EXPECT_TRUE(tab.grdSummary->MergeCol(1));
    EXPECT_FALSE(tab.grdSummary->MergeCol(2)) << "the value column never merges";
    EXPECT_EQ(tab.count(QStringLiteral("Set_ChartOptions")), 0);

    // A wallpaper that is no picture is reported under the procedure's name and costs only the
    // picture: the later options are applied all the same.
    QTemporaryDir dir;
    const QString notAPicture = dir.filePath(QStringLiteral("wall.png"));
    QFile f(notAPicture);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();
    opt.ResultsGrid.Wallpaper = notAPicture;
    opt.SQLFont.setPointSize(23);
    QSignalSpy changed(&tab, &hlTabulon::ViewChanged);
    EXPECT_TRUE(tab.Set_Options(true, true, false));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Set_Options"));
    EXPECT_EQ(tab.count(QStringLiteral("Set_ChartOptions")), 1);
    EXPECT_EQ(tab.txtResultsSQL->font().pointSize(), 23) << "later steps are applied";
    EXPECT_TRUE(tab.grdResults->WallPaper().isNull());
    EXPECT_EQ(changed.count(), 1);
    tab.UnloadFlter();
}

TEST_F(Toolbars, ResultsMenuEntries)
{
    FrameTabulon tab;
    tab.resize(700, 400);
    tab.show();
    tab.grdResults->setCols(4);
    tab.grdResults->setColHidden(1, true);
    tab.grdResults->setColHidden(3, true);
    tab.tlbResults->Buttons(QStringLiteral("ShowCols")).setStyle(ui::tbrDropdown);
    emit tab.tlbResults->ButtonMenuClick(QStringLiteral("ShowCols"), QStringLiteral("ShowAll"),
                                         QStringLiteral("Show all columns"));
    for (int c = 0; c < 4; ++c)
        EXPECT_FALSE(tab.grdResults->ColHidden(c)) << c;
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("ShowCols")).Style(), ui::tbrDefault);

    runnerOf(tab).setBuilderFilter(QStringLiteral("\"a\" = 1"));
    tab.tlbResults->Buttons(QStringLiteral("QueryBuilder")).setStyle(ui::tbrDropdown);
    tab.calls.clear();
    emit tab.tlbResults->ButtonMenuClick(QStringLiteral("QueryBuilder"), QStringLiteral("ClearQuery"),
                                         QStringLiteral("Clear query"));
    EXPECT_TRUE(runnerOf(tab).builderFilter().isEmpty());
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("QueryBuilder")).Style(), ui::tbrCheck);
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("QueryBuilder")).Value(), ui::tbrUnpressed);
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 0) << "not run again here";

    // A filter from the history runs the query again with it.
    emit tab.tlbResults->ButtonMenuClick(QStringLiteral("RemoveFilter"), QString(), QStringLiteral("\"b\"  = 'x'"));
    EXPECT_EQ(runnerOf(tab).filter(), QStringLiteral("\"b\"  = 'x'"));
    EXPECT_EQ(tab.count(QStringLiteral("Refresh_Results")), 1);
    tab.UnloadFlter();
}

TEST_F(Toolbars, AboutWindowAndWebPages)
{
    auto opener = std::make_shared<ui::RecordingDesktopOpener>();
    ui::DesktopOpener::setOpener(opener);
    {
        frmAbout about;
        EXPECT_EQ(about.windowTitle(), QStringLiteral("About Tabulon"));
        EXPECT_TRUE(about.lblVersion->text().startsWith(QStringLiteral("Version ")));
        EXPECT_FALSE(about.lblWarning->text().isEmpty());
        QTest::mouseClick(about.Image1, Qt::LeftButton);
        QTest::mouseClick(about.Image2, Qt::LeftButton);
        QTest::mouseClick(about.Image3, Qt::LeftButton);
        QTest::mouseClick(about.imgLogo, Qt::LeftButton);
    }
    ASSERT_EQ(opener->opened.size(), 4u);
    EXPECT_EQ(opener->opened[0].toString(), analysis::siteAddress(1));
    EXPECT_EQ(opener->opened[1].toString(), analysis::siteAddress(0));
    EXPECT_EQ(opener->opened[2].toString(), analysis::siteAddress(1));
    EXPECT_EQ(opener->opened[3].toString(), analysis::siteAddress(0));

    // An unknown page opens nothing and is still done.
    EXPECT_TRUE(analysis::Show_Site(5));
    EXPECT_TRUE(analysis::Show_Site(2));
    ASSERT_EQ(opener->opened.size(), 5u);
    EXPECT_EQ(opener->opened[4].toString(), analysis::siteAddress(2));
    ui::DesktopOpener::setOpener(nullptr);
}

// --- Escape ---

TEST_F(Cancelling, EscapeWithNothingRunningAsksNothing)
{
    FrameTabulon tab;
    tab.resize(600, 400);
    tab.show();
    QWidget *menu = tab.qryMenu;
    menu->show();
    pressEscape(tab.txtResultsSQL);
    pump(60000, [&] { return menu->isHidden(); });
    EXPECT_TRUE(menu->isHidden()) << "the column menu goes";
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_FALSE(analysis::g_blnAbort);
    tab.UnloadFlter();
}

TEST_F(Cancelling, TheQuestionNamesTheRunningRefreshAndYesStopsIt)
{
    FrameTabulon tab;
    tab.resize(600, 400);
    tab.show();
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewChart));

    analysis::g_blnAbort = true; // left over from an earlier operation
    int steps = 0;
    bool clearedAtStart = false;
    tab.refreshWork = [&](analysis::OperationFrame &frame) {
        clearedAtStart = !analysis::g_blnAbort;
        pressEscape(tab.chChart);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 60000) { // until the Escape is seen
            ++steps;
            if (frame.step(true))
                return false;
        }
        return true;
    };
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    EXPECT_FALSE(tab.Refresh());
    EXPECT_TRUE(clearedAtStart) << "the abort flag is cleared when the operation starts";
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    const ui::PromptRecord &q = ui::Prompter::asked()[0];
    EXPECT_EQ(q.title, QStringLiteral("Refresh Chart"));
    EXPECT_EQ(q.text, QStringLiteral("Cancel drawing Chart?"));
    EXPECT_EQ(q.buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(q.icon, ui::MsgIcon::Question);
    EXPECT_TRUE(analysis::g_blnAbort);

    // No lets it finish, with the flag down.
    ui::Prompter::clearAsked();
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    tab.refreshWork = [&](analysis::OperationFrame &frame) {
        pressEscape(tab.grdResults);
        pump(60000, [] { return !ui::Prompter::asked().empty(); });
        return !frame.step(true);
    };
    EXPECT_TRUE(tab.Refresh());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::asked()[0].title, QStringLiteral("Apply Filter"));
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Cancel Filtering?"));
    EXPECT_FALSE(analysis::g_blnAbort);
    tab.UnloadFlter();
}

TEST_F(Cancelling, EveryControlSeesThePressOnlyTheBusyOneAsks)
{
    FrameTabulon idle;
    FrameTabulon busy;
    for (FrameTabulon *t : {&idle, &busy}) {
        t->resize(400, 300);
        t->show();
    }
    ASSERT_TRUE(busy.Change_View(hlTabulon::tbViewSummary));
    busy.refreshWork = [&](analysis::OperationFrame &frame) {
        pressEscape(&idle);
        // Let the idle control's poll come first.
        idle.tmrEsc->stop();
        idle.tmrEsc->start(0);
        pump(60000, [] { return !ui::Prompter::asked().empty(); });
        return !frame.step(true);
    };
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    EXPECT_FALSE(busy.Refresh());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Cancel Summary?"));
    idle.UnloadFlter();
    busy.UnloadFlter();
}
