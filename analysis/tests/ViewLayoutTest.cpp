#include "TabulonTestSupport.h"

#include "core/ControlLayout.h"

#include "db/Recordset.h"
#include "PaneDivider/Splitter.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <algorithm>

using namespace tabtest;
using analysis::layout::placeChartSliders;
using analysis::layout::placeQueryBuilder;

namespace {

class ViewSwitching : public ControlTest {
protected:
    void start(FrameTabulon &tab, const QString &sql = QStringLiteral("SELECT * FROM t"))
    {
        tab.SQL(sql);
        tab.resize(800, 600);
        tab.show();
        ASSERT_TRUE(tab.LoadedOK());
    }
};

// The visible splitter and view bars, by name.
QStringList shownChrome(FrameTabulon &tab)
{
    QStringList shown;
    for (QWidget *w : std::initializer_list<QWidget *>{tab.hlSplitResults, tab.hlSplitChart, tab.hlSplitSummary,
                                                       tab.hlSplitXTab, tab.tlbResults, tab.tlbChart, tab.tlbChart2,
                                                       tab.tlbSummary, tab.tlbSummary2, tab.tlbXTab, tab.tlbXTab2}) {
        if (!w->isHidden())
            shown << w->objectName();
    }
    return shown;
}

// The control as a host drives it.
class HostTabulon : public hlTabulon {
public:
    bool Change_View(tbView view) { return showView(*this, view); }
};

// What a user meets of a control's named parts: each one's kind, whether it is shown and usable,
// where, its font and tip, and what it holds.
QStringList looks(const hlTabulon &tab)
{
    QStringList seen;
    for (const QWidget *w : tab.findChildren<QWidget *>()) {
        if (w->objectName().isEmpty())
            continue;
        QString line = QStringLiteral("%1 %2 shown=%3 enabled=%4 at=(%5,%6 %7x%8) font=%9 tip=%10")
                           .arg(QLatin1String(w->metaObject()->className()),
                                w->parentWidget()->objectName() + u'/' + w->objectName())
                           .arg(w->isVisibleTo(&tab))
                           .arg(w->isEnabled())
                           .arg(w->x())
                           .arg(w->y())
                           .arg(w->width())
                           .arg(w->height())
                           .arg(w->font().toString(), w->toolTip());
        if (const auto *combo = qobject_cast<const QComboBox *>(w)) {
            line += QStringLiteral(" current=%1 items=").arg(combo->currentIndex());
            for (int i = 0; i < combo->count(); ++i)
                line += combo->itemText(i) + u'|';
        } else if (const auto *edit = qobject_cast<const QLineEdit *>(w)) {
            line += QStringLiteral(" text=") + edit->text();
        } else if (const auto *box = qobject_cast<const QPlainTextEdit *>(w)) {
            line += QStringLiteral(" text=") + box->toPlainText();
        } else if (const auto *slider = qobject_cast<const QSlider *>(w)) {
            line += QStringLiteral(" range=%1-%2 value=%3").arg(slider->minimum()).arg(slider->maximum()).arg(slider->value());
        } else if (const auto *g = qobject_cast<const grid::Grid *>(w)) {
            line += QStringLiteral(" rows=%1/%2 cols=%3 lines=%4").arg(g->Rows()).arg(g->FixedRows()).arg(g->Cols()).arg(g->GridLines());
        } else if (const auto *split = qobject_cast<const Splitter *>(w)) {
            line += QStringLiteral(" share=%1 orientation=%2 first=%3")
                        .arg(split->SplitPercent())
                        .arg(int(split->Orientation()))
                        .arg(split->Child1() ? split->Child1()->objectName() : QString());
        }
        seen << line;
    }
    seen.sort();
    // The order Tab visits the parts in, from wherever it starts.
    QStringList tabOrder;
    for (QWidget *w = tab.nextInFocusChain(); w != &tab; w = w->nextInFocusChain())
        if (w->isVisibleTo(&tab) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            tabOrder << w->parentWidget()->objectName() + u'/' + w->objectName();
    if (!tabOrder.isEmpty())
        std::rotate(tabOrder.begin(), std::min_element(tabOrder.begin(), tabOrder.end()), tabOrder.end());
    seen << QStringLiteral("tab order: ") + tabOrder.join(QStringLiteral(", "));
    return seen;
}

} // namespace

// The chart, summary and cross-tab are made when first used: made then, after the window started
// with options of its own, each looks as it would have had it been made with the window.
TEST_F(ViewSwitching, ViewsMadeOnFirstUseLookAsIfMadeWithTheWindow)
{
    SampleDatabase sample;
    ASSERT_TRUE(sample.ok()) << sample.error();
    analysis::Options &opt = analysis::options();
    opt.SummaryGrid.Font = QFont(QStringLiteral("Serif"), 13, QFont::Bold);
    opt.XTabGrid.GridLines = 3;
    opt.SQLFont = QFont(QStringLiteral("Monospace"), 11);
    opt.SummarySplit = {35, true, true};
    opt.ChartSplit = {60, false, true};
    opt.MainToolbarText = true;
    const QString statement = QStringLiteral("SELECT \"ShipCountry\", \"ShipVia\", \"Freight\" FROM \"Orders\"");

    HostTabulon early;
    HostTabulon late;
    analysis::ControlAccess::makeViews(early);
    for (HostTabulon *tab : {&early, &late}) {
        ASSERT_NO_FATAL_FAILURE(openView(*tab, sample.connect(), statement, hlTabulon::tbViewResults));
        ASSERT_TRUE(tab->Refresh());
    }
    EXPECT_FALSE(analysis::ControlAccess::viewsMade(late));
    ASSERT_GE(late.ResultsRows(), 1);

    for (hlTabulon::tbView view : {hlTabulon::tbViewSummary, hlTabulon::tbViewChart, hlTabulon::tbViewXTab,
                                   hlTabulon::tbViewResults}) {
        for (hlTabulon *tab : {&early, &late})
            ASSERT_TRUE(showView(*tab, view));
        QCoreApplication::processEvents();
        const QStringList made = looks(early);
        for (const QString &line : looks(late))
            EXPECT_TRUE(made.contains(line)) << "view " << int(view) << ", made late: " << line.toStdString()
                                             << "\n  with the window: "
                                             << made.filter(line.section(u' ', 0, 1)).join(QStringLiteral("\n  ")).toStdString();
        EXPECT_EQ(looks(late).size(), made.size());
    }
    for (hlTabulon *tab : {&early, &late})
        tab->UnloadFlter();
}

TEST_F(ViewSwitching, EachViewShowsItsOwnBarsPaneAndStatus)
{
    FrameTabulon tab;
    tab.MaxRecords(250);
    start(tab);
    runnerOf(tab).setFilter(QStringLiteral("\"Name\"  = 'Smith'"));
    QSignalSpy changed(&tab, &hlTabulon::ViewChanged);

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewChart));
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitChart", "tlbChart", "tlbChart2"}));
    EXPECT_EQ(tab.staStatus->Panels(2).Text(), QString());
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Find")).Enabled());
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Export")).Enabled());
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("Chart")).Value(), ui::tbrPressed);
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("Results")).Value(), ui::tbrUnpressed);
    for (QSlider *s : tab.sldChart)
        EXPECT_TRUE(s->isHidden()) << "no Slide button pressed";
    // The pane sits under the two bars, each counted with the second bar's height.
    const int b = tab.tlbChart2->sizeHint().height();
    EXPECT_EQ(tab.hlSplitChart->y(), tab.tlbMain->sizeHint().height() + 2 * b);

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitSummary", "tlbSummary", "tlbSummary2"}));
    EXPECT_TRUE(tab.tlbMain->Buttons(QStringLiteral("Find")).Enabled());

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitResults", "tlbResults"}));
    EXPECT_EQ(tab.staStatus->Panels(2).Text(), QStringLiteral("Max. 250 rows"));
    EXPECT_EQ(tab.staStatus->Panels(3).Text(), QStringLiteral("Filter on"));
    EXPECT_TRUE(tab.tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
    EXPECT_TRUE(tab.tlbResults->Buttons(QStringLiteral("sepSort")).Visible());
    EXPECT_EQ(changed.count(), 3);

    tab.MaxRecords(0);
    runnerOf(tab).setFilter({});
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    EXPECT_EQ(tab.staStatus->Panels(2).Text(), QString());
    EXPECT_EQ(tab.staStatus->Panels(3).Text(), QStringLiteral("Filter off"));
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("sepSort")).Visible());
    tab.UnloadFlter();
}

TEST_F(ViewSwitching, AnalysisViewsAreRefusedForRoutinesAndDocuments)
{
    FrameTabulon tab;
    tab.DataType(hlTabulon::tbDataXML);
    start(tab);
    runnerOf(tab).setFieldsLoaded(true);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    QSignalSpy changed(&tab, &hlTabulon::ViewChanged);
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Chart")).Enabled());
    EXPECT_FALSE(tab.Change_View(hlTabulon::tbViewChart));
    EXPECT_FALSE(tab.Change_View(hlTabulon::tbViewXTab));
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitResults", "tlbResults"}));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("Sort")).Visible()) << "no ORDER BY for a document";
    tab.UnloadFlter();
}

TEST_F(ViewSwitching, TheFieldListIsReadOnceUntilTheQueryChanges)
{
    FrameTabulon tab;
    tab.OpenSQL(true);
    start(tab);
    runnerOf(tab).setFieldsLoaded(false);
    tab.calls.clear();
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewXTab));
    EXPECT_EQ(tab.count(QStringLiteral("Get_Fields")), 1);
    EXPECT_EQ(tab.count(QStringLiteral("Populate_Fields")), 1);

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    EXPECT_EQ(tab.count(QStringLiteral("Get_Fields")), 1) << "Results needs no field list for a query";
    tab.txtResultsSQL->setPlainText(QStringLiteral("SELECT a FROM t"));
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewChart));
    EXPECT_EQ(tab.count(QStringLiteral("Get_Fields")), 2);
    tab.UnloadFlter();
}

TEST_F(ViewSwitching, AFailedSwitchLeavesTheOldViewShownAndLaterSwitchesWork)
{
    FrameTabulon tab;
    start(tab);
    runnerOf(tab).setFieldsLoaded(false);
    tab.fieldsAnswer = false;
    QSignalSpy changed(&tab, &hlTabulon::ViewChanged);
    EXPECT_FALSE(tab.Change_View(hlTabulon::tbViewSummary));
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitResults", "tlbResults"}));
    EXPECT_EQ(ui::MousePointer::current(), ui::MousePointer::Shape::Default);
    EXPECT_EQ(changed.count(), 0);

    tab.fieldsAnswer = true;
    EXPECT_TRUE(tab.Change_View(hlTabulon::tbViewSummary)) << "the guard is down again";
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewSummary);
    tab.UnloadFlter();
}

TEST_F(ViewSwitching, ASwitchRequestedWhileSwitchingIsIgnored)
{
    FrameTabulon tab;
    start(tab);
    bool nested = true;
    QObject::connect(&tab, &hlTabulon::ViewChanged, &tab, [&] {
        // The host's handler writes stCurrentView back, as a view menu does.
        nested = tab.Change_View(hlTabulon::tbViewXTab);
    });
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    EXPECT_FALSE(nested);
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewSummary);
    tab.UnloadFlter();
}

TEST_F(ViewSwitching, CommandStatesFollowTheGridsData)
{
    FrameTabulon tab;
    start(tab);
    // Two header rows and nothing under them: nothing to export, print or focus.
    tab.grdXTab->setRows(2);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewXTab));
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Export")).Enabled());
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Print")).Enabled());
    EXPECT_FALSE(tab.grdXTab->hasFocus());
    tab.grdXTab->setRows(3);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewXTab));
    EXPECT_TRUE(tab.tlbMain->Buttons(QStringLiteral("Export")).Enabled());
    EXPECT_TRUE(tab.tlbMain->Buttons(QStringLiteral("Print")).Enabled());

    // Results: the data buttons wait for rows; frozen columns offer the unlock button.
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    for (const char *key : {"MoveFirst", "MoveLast", "ShowCount", "ShowCols", "Sort"})
        EXPECT_FALSE(tab.tlbResults->Buttons(QLatin1String(key)).Enabled()) << key;
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Export")).Enabled());
    tab.grdResults->setCols(3);
    tab.grdResults->setRows(4);
    tab.grdResults->setFrozenCols(1);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    for (const char *key : {"MoveFirst", "MoveLast", "ShowCount", "ShowCols", "Sort"})
        EXPECT_TRUE(tab.tlbResults->Buttons(QLatin1String(key)).Enabled()) << key;
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Export")).Enabled()) << "no open recordset";
    EXPECT_TRUE(tab.tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());
    EXPECT_TRUE(tab.tlbResults->Buttons(QStringLiteral("sepSort")).Visible());

    // The unlock button unlocks and goes away again.
    emit tab.tlbResults->ButtonClick(QStringLiteral("UnFreezeCols"));
    EXPECT_EQ(tab.grdResults->FrozenCols(), 0);
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("sepSort")).Visible());

    // With the count always shown the count button goes.
    analysis::options().ShowCount = true;
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("ShowCount")).Visible());
    EXPECT_FALSE(tab.tlbResults->Buttons(QStringLiteral("sepCount")).Visible());
    tab.UnloadFlter();
}

TEST_F(ViewSwitching, MainToolbarViewButtonsSwitch)
{
    FrameTabulon tab;
    start(tab);
    tab.tlbMain->Buttons(QStringLiteral("Summary")).setEnabled(true);
    emit tab.tlbMain->ButtonClick(QStringLiteral("Summary"));
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewSummary);
    emit tab.tlbMain->ButtonClick(QStringLiteral("Results"));
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("Results")).Value(), ui::tbrPressed);
    EXPECT_EQ(tab.tlbMain->Buttons(QStringLiteral("Summary")).Value(), ui::tbrUnpressed);
    tab.UnloadFlter();
}

// A window opened on the data source itself starts without a statement; once one is typed, every
// view is offered, and the results can be reached again from an analysis view, also once the box
// is cleared.
TEST_F(ViewSwitching, AStatementTypedIntoAnEmptyWindowOffersEveryViewAndTheWayBack)
{
    FrameTabulon tab;
    tab.OpenSQL(true);
    start(tab, QString());
    EXPECT_FALSE(tab.tlbMain->Buttons(QStringLiteral("Results")).Enabled());
    QTest::keyClicks(tab.txtResultsSQL, QStringLiteral("SELECT * FROM t"));
    for (const char *key : {"Results", "Chart", "Summary", "XTab"})
        EXPECT_TRUE(tab.tlbMain->Buttons(QLatin1String(key)).Enabled()) << key;
    clickButton(*tab.tlbMain, QStringLiteral("Summary"));
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewSummary);
    clickButton(*tab.tlbMain, QStringLiteral("Results"));
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);

    // Cleared without saving, the box is empty but the results stay reachable, from an analysis
    // view too.
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    clickButton(*tab.tlbResults, QStringLiteral("Clear"));
    ASSERT_TRUE(tab.txtResultsSQL->toPlainText().isEmpty());
    EXPECT_TRUE(tab.tlbMain->Buttons(QStringLiteral("Results")).Enabled());
    for (const char *key : {"Chart", "Summary", "XTab"}) {
        if (!tab.tlbMain->Buttons(QLatin1String(key)).Enabled())
            continue;
        clickButton(*tab.tlbMain, QLatin1String(key));
        clickButton(*tab.tlbMain, QStringLiteral("Results"));
        EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults) << "no way back from " << key;
    }
    tab.UnloadFlter();
}

// --- layout ---

TEST_F(ViewSwitching, ThePaneFillsWhatTheBarsLeave)
{
    FrameTabulon tab;
    start(tab);
    const int mainH = tab.tlbMain->sizeHint().height();
    const int resultsH = tab.tlbResults->sizeHint().height();
    const int statusH = tab.staStatus->sizeHint().height();
    EXPECT_EQ(tab.hlSplitResults->geometry(), QRect(0, mainH + resultsH, 800, 600 - mainH - resultsH - statusH));
    EXPECT_EQ(tab.staStatus->geometry(), QRect(0, 600 - statusH, 800, statusH));

    // Without the status bar the pane takes its height too.
    tab.setStatusBarVisible(false);
    QResizeEvent relayout(tab.size(), tab.size());
    QApplication::sendEvent(&tab, &relayout);
    EXPECT_EQ(tab.hlSplitResults->height(), 600 - mainH - resultsH);

    tab.resize(500, 300);
    EXPECT_EQ(tab.hlSplitResults->width(), 500);

    // The horizontal chart slider keeps clear of the status bar even when it is hidden.
    const QRect slider = tab.sldChart[0]->geometry();
    EXPECT_EQ(slider.top(), 300 - slider.height() - statusH - 3 * tab.tlbChart->sizeHint().height());

    // In a window too narrow for their full widths every view's pickers stay in their bars, shown
    // and usable, none over another, above the pane (down to the narrowest query window); wide
    // again, each is where it was.
    struct ViewBars {
        hlTabulon::tbView view;
        ui::KeyedToolBar *first;
        ui::KeyedToolBar *second;
        Splitter *pane;
    };
    for (const ViewBars &v : {ViewBars{hlTabulon::tbViewChart, tab.tlbChart, tab.tlbChart2, tab.hlSplitChart},
                              ViewBars{hlTabulon::tbViewSummary, tab.tlbSummary, tab.tlbSummary2, tab.hlSplitSummary},
                              ViewBars{hlTabulon::tbViewXTab, tab.tlbXTab, tab.tlbXTab2, tab.hlSplitXTab}}) {
        tab.resize(800, 600);
        ASSERT_TRUE(tab.Change_View(v.view));
        auto pickers = [](ui::KeyedToolBar *bar) {
            QList<QWidget *> shown;
            auto *panel = bar->findChild<QWidget *>(bar->objectName() + QStringLiteral("Pickers"));
            for (QWidget *w : panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                if (!w->isHidden())
                    shown << w;
            return shown;
        };
        auto geometries = [&] {
            QMap<QString, QRect> all;
            for (ui::KeyedToolBar *bar : {v.first, v.second})
                for (QWidget *w : pickers(bar))
                    all.insert(w->objectName(), w->geometry());
            return all;
        };
        const QMap<QString, QRect> wide = geometries();
        for (const int narrow : {470, 320, 160}) {
            tab.resize(narrow, 600);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            for (ui::KeyedToolBar *bar : {v.first, v.second}) {
                const QList<QWidget *> shown = pickers(bar);
                for (QWidget *w : shown) {
                    const QString what = w->objectName() + QStringLiteral(" at %1").arg(narrow);
                    EXPECT_TRUE(w->isVisible()) << qPrintable(what);
                    EXPECT_TRUE(bar->rect().contains(QRect(w->mapTo(bar, QPoint()), w->size()))) << qPrintable(what);
                    const auto *caption = qobject_cast<QLineEdit *>(w);
                    const bool isCaption = caption && caption->isReadOnly();
                    EXPECT_GE(w->width(), w->fontMetrics().horizontalAdvance(isCaption ? caption->text()
                                                                                       : QStringLiteral("000000")))
                        << qPrintable(what);
                    for (QWidget *other : shown)
                        EXPECT_TRUE(other == w || !other->geometry().intersects(w->geometry()))
                            << qPrintable(what + u' ' + other->objectName());
                }
            }
            for (ui::KeyedToolBar *bar : {v.first, v.second})
                for (QWidget *w : pickers(bar))
                    EXPECT_GT(v.pane->y(), w->mapTo(&tab, QPoint(0, w->height() / 2)).y()) << narrow;
            EXPECT_GE(v.second->y(), v.first->geometry().bottom()) << narrow;
        }
        tab.resize(800, 600);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_EQ(geometries(), wide) << v.first->objectName().toStdString();
        for (ui::KeyedToolBar *bar : {v.first, v.second})
            for (QWidget *w : pickers(bar))
                EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    }
    tab.UnloadFlter();
}

// A refresh ends by showing the results view it started in: its pane, grid and bars stay up all
// along (hidden and shown again, each would be laid out and painted again after every refresh),
// and a switch away still takes them down.
TEST_F(ViewSwitching, ARefreshKeepsTheResultsPaneAndBarsUp)
{
    FrameTabulon tab;
    start(tab);
    testsupport::EventCounter hides{QEvent::Hide};
    for (QWidget *w : std::initializer_list<QWidget *>{tab.hlSplitResults, tab.grdResults, tab.tlbResults, tab.tlbMain})
        w->installEventFilter(&hides);

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    EXPECT_EQ(hides.count, 0);
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitResults", "tlbResults"}));

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitSummary", "tlbSummary", "tlbSummary2"}));
    EXPECT_GT(hides.count, 0);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    EXPECT_EQ(shownChrome(tab), (QStringList{"hlSplitResults", "tlbResults"}));

    // What the window shows is what it would draw afresh: nothing repainted too little.
    for (int round = 0; round < 20; ++round)
        QCoreApplication::processEvents();
    const QImage shown = tab.screen()->grabWindow(tab.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = tab.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), fresh.size());
    const QRect bars(0, 0, tab.width(), tab.hlSplitResults->y());
    EXPECT_TRUE(shown.copy(bars) == fresh.copy(bars)) << "the toolbars on screen are not what they draw";
    tab.UnloadFlter();
}

TEST(ControlLayout, QueryBuilderDockedOrFloating)
{
    const QRect floating(200, 150, 400, 180);
    const QRect pane(0, 50, 800, 500);
    // Docked left, 3000 twips wide (200 px at 96 dpi): the pane starts after it and is narrower.
    auto left = placeQueryBuilder(3, 800, 50, 500, QRect(0, 50, 200, 500), pane, floating);
    EXPECT_EQ(*left.pane, QRect(200, 50, 600, 500));
    EXPECT_EQ(*left.window, QRect(0, 50, 200, 500));

    // Then docked at the top: a window as high as the pane takes the floating height instead.
    auto top = placeQueryBuilder(1, 800, 50, 500, *left.window, *left.pane, floating);
    EXPECT_EQ(*top.window, QRect(0, 50, 800, 180));
    EXPECT_EQ(*top.pane, QRect(0, 230, 800, 320));

    auto bottom = placeQueryBuilder(2, 800, 50, 500, QRect(0, 0, 800, 120), pane, floating);
    EXPECT_EQ(*bottom.pane, QRect(0, 50, 800, 380));
    EXPECT_EQ(*bottom.window, QRect(0, 430, 800, 120));

    auto right = placeQueryBuilder(4, 800, 50, 500, QRect(0, 0, 250, 100), pane, floating);
    EXPECT_EQ(*right.pane, QRect(0, 50, 550, 500));
    EXPECT_EQ(*right.window, QRect(550, 50, 250, 500));

    auto floats = placeQueryBuilder(0, 800, 50, 500, QRect(0, 0, 10, 10), pane, floating);
    EXPECT_EQ(*floats.pane, QRect(0, 50, 800, 500));
    EXPECT_EQ(*floats.window, floating);

    auto unknown = placeQueryBuilder(7, 800, 50, 500, QRect(0, 0, 10, 10), pane, floating);
    EXPECT_FALSE(unknown.pane.has_value());
    EXPECT_FALSE(unknown.window.has_value());

    // A window wider than the control: the pane would be negative and stays where it is.
    auto tooWide = placeQueryBuilder(3, 800, 50, 500, QRect(0, 0, 900, 100), pane, floating);
    EXPECT_FALSE(tooWide.pane.has_value());
    EXPECT_EQ(*tooWide.window, QRect(0, 50, 900, 500));
}

TEST(ControlLayout, ChartSliders)
{
    const auto s = placeChartSliders(800, 600, 700, 20, 30, 25, 24, 7);
    EXPECT_EQ(s.horizontal, QRect(7, 600 - 25 - 20 - 90, 700 - 14, 25));
    EXPECT_EQ(s.vertical, QRect(800 - 24, 90, 24, s.horizontal.top() - 90));
}
