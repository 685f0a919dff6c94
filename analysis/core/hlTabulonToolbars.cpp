// The two keyed toolbars, applying the options, and cancelling a long operation with Escape.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "dialogs/frmQueryBuilder.h"

#include "PaneDivider/Splitter.h"
#include "chart/ChartView.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <hlQueryBuilder/QueryBuilder.h>

#include <QAction>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSet>

#include <array>

using analysis::options;

namespace {

struct ButtonDef {
    const char *key; // empty: an unkeyed separator
    const char *toolTip;
    const char *caption;
    ui::ButtonStyle style;
};

const ButtonDef kMainButtons[] = {
    {"Refresh", "Refresh View (F5)", "Refresh", ui::tbrDefault},
    {"", "", "", ui::tbrSeparator},
    {"Results", "View Results", "Results", ui::tbrButtonGroup},
    {"Chart", "View Chart", "Chart", ui::tbrButtonGroup},
    {"Summary", "View Summary", "Summary", ui::tbrButtonGroup},
    {"XTab", "View X-Tab", "X-Tab", ui::tbrButtonGroup},
    {"", "", "", ui::tbrSeparator},
    {"Export", "Export data", "Export", ui::tbrDefault},
    {"Find", "Find a specific value", "Find", ui::tbrCheck},
    {"SQL", "Save SQL", "SQL", ui::tbrDefault},
    {"Print", "Print grid\\chart (F6)", "Print", ui::tbrDefault},
    {"sepOptions", "", "", ui::tbrSeparator},
    {"Options", "Options", "Options", ui::tbrDefault},
};

const ButtonDef kResultsButtons[] = {
    {"Open", "Load SQL script\\XML Document", "Open", ui::tbrDefault},
    {"Parse", "Parse query", "Parse", ui::tbrDefault},
    {"Clear", "Clear query", "Clear", ui::tbrDefault},
    {"sepSQL", "", "", ui::tbrSeparator},
    {"ShowCount", "Show\\hide row count", "Count", ui::tbrCheck},
    {"sepCount", "", "", ui::tbrSeparator},
    {"MoveFirst", "Move to first record", "First", ui::tbrDefault},
    {"MoveLast", "Move to last record", "Last", ui::tbrDefault},
    {"", "", "", ui::tbrSeparator},
    {"ColResize", "Auto resize columns", "Resize", ui::tbrDefault},
    {"sepQueryBuilder", "", "", ui::tbrSeparator},
    {"QueryBuilder", "Show Query Builder", "Query", ui::tbrDefault},
    {"ShowCols", "Show\\hide columns", "Columns", ui::tbrDefault},
    {"Sort", "Sort Rows", "Sort ", ui::tbrDefault},
    {"sepSort", "", "", ui::tbrSeparator},
    {"RemoveFilter", "Clear Filter", "Clear", ui::tbrDropdown},
    {"UnFreezeCols", "Unlock all columns", "Unlock", ui::tbrDefault},
};

template <std::size_t N>
void addButtons(ui::KeyedToolBar *bar, const ButtonDef (&defs)[N])
{
    for (const ButtonDef &d : defs) {
        const QString key = QLatin1String(d.key);
        if (d.style == ui::tbrSeparator)
            bar->addSeparatorButton(key);
        else
            bar->addButton(key, QLatin1String(d.caption), QLatin1String(d.toolTip), d.style);
    }
}

template <std::size_t N>
void applyCaptions(ui::KeyedToolBar *bar, const ButtonDef (&defs)[N], bool on)
{
    for (const ButtonDef &d : defs) {
        if (d.style == ui::tbrSeparator)
            continue;
        bar->Buttons(QLatin1String(d.key)).setCaption(on ? QLatin1String(d.caption) : QString());
    }
    bar->setShowCaptions(on);
}

// "&10 /home/me/Query.sql" → "/home/me/Query.sql": the path follows the blank after the number.
QString recentFileOf(const QString &caption)
{
    const int blank = caption.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : caption.mid(blank + 1).trimmed();
}

} // namespace

ui::KeyedToolBar *hlTabulon::makeBar(const char *name)
{
    auto *bar = new ui::KeyedToolBar(QLatin1String(name), this);
    bar->setObjectName(QLatin1String(name));
    bar->setMovable(false);
    bar->setFloatable(false);
    return bar;
}

void hlTabulon::createToolbars()
{
    tlbMain = makeBar("tlbMain");
    addButtons(tlbMain, kMainButtons);
    tlbResults = makeBar("tlbResults");
    addButtons(tlbResults, kResultsButtons);
    tlbResults->hide();

    connect(tlbMain, &ui::KeyedToolBar::ButtonClick, this, &hlTabulon::tlbMain_ButtonClick);
    connect(tlbMain, &ui::KeyedToolBar::Click, this, &hlTabulon::hideColumnMenu);
    connect(tlbResults, &ui::KeyedToolBar::ButtonClick, this, &hlTabulon::tlbResults_ButtonClick);
    connect(tlbResults, &ui::KeyedToolBar::ButtonMenuClick, this, &hlTabulon::tlbResults_ButtonMenuClick);
}

void hlTabulon::createViewBars()
{
    // The views' own bars; their pickers come with them.
    tlbChart = makeBar("tlbChart");
    tlbChart->addButton(QStringLiteral("Slide"), {}, QStringLiteral("Show Chart sliders"), ui::tbrCheck);
    tlbChart->addButton(QStringLiteral("Reset"), {}, QStringLiteral("Reset Chart"));
    tlbChart->addButton(QStringLiteral("EMail"), {}, QStringLiteral("E-mail chart"));
    tlbChart->addSeparatorButton(QStringLiteral("sep"));
    tlbChart2 = makeBar("tlbChart2");
    tlbSummary = makeBar("tlbSummary");
    tlbSummary2 = makeBar("tlbSummary2");
    tlbXTab = makeBar("tlbXTab");
    tlbXTab2 = makeBar("tlbXTab2");
    for (ui::KeyedToolBar *bar : {tlbChart.made(), tlbChart2.made(), tlbSummary.made(), tlbSummary2.made(),
                                  tlbXTab.made(), tlbXTab2.made()})
        bar->hide();
}

void hlTabulon::tlbMain_ButtonClick(const QString &key)
{
    trapRouted(QStringLiteral("tlbMain_ButtonClick"), [&] {
        hideColumnMenu();
        if (key == QLatin1String("Refresh"))
            Refresh();
        else if (key == QLatin1String("Results"))
            Change_View(tbViewResults);
        else if (key == QLatin1String("Chart"))
            Change_View(tbViewChart);
        else if (key == QLatin1String("Summary"))
            Change_View(tbViewSummary);
        else if (key == QLatin1String("XTab"))
            Change_View(tbViewXTab);
        else if (key == QLatin1String("Export"))
            Export_Data();
        else if (key == QLatin1String("Find"))
            Show_Find();
        else if (key == QLatin1String("SQL"))
            Save_SQL();
        else if (key == QLatin1String("Print"))
            Print_Grid();
        else if (key == QLatin1String("Options"))
            Show_Options();
        // A view button stays pressed only for the view actually shown (a refused switch too).
        static const std::array<const char *, 4> viewKeys = {"Results", "Chart", "Summary", "XTab"};
        if (tlbMain->Buttons(key).Style() == ui::tbrButtonGroup)
            tlbMain->Buttons(QLatin1String(viewKeys[std::size_t(m_intView)])).setValue(ui::tbrPressed);
    });
}

void hlTabulon::tlbResults_ButtonClick(const QString &key)
{
    hideColumnMenu();
    if (key == QLatin1String("Parse")) {
        m_blnParse = true;
        Get_Results(txtResultsSQL->toPlainText());
        m_blnParse = false;
    } else if (key == QLatin1String("ShowCount")) {
        m_blnShowCount = !m_blnShowCount;
        Show_ResultsCount();
    } else if (key == QLatin1String("UnFreezeCols")) {
        grdResults->setFrozenCols(0);
        tlbResults->Buttons(key).setVisible(false);
        tlbResults->Buttons(QStringLiteral("sepSort"))
            .setVisible(tlbResults->Buttons(key).Visible() ||
                        tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
    } else if (key == QLatin1String("Open")) {
        Open_SQL();
    } else if (key == QLatin1String("Clear")) {
        Clear_Query();
    } else if (key == QLatin1String("MoveFirst")) {
        Move_Record(true);
    } else if (key == QLatin1String("MoveLast")) {
        Move_Record(false);
    } else if (key == QLatin1String("ColResize")) {
        Resize_Cols();
    } else if (key == QLatin1String("QueryBuilder")) {
        Show_QueryBuilder();
    } else if (key == QLatin1String("ShowCols")) {
        View_Columns();
    } else if (key == QLatin1String("Sort")) {
        Show_Sort();
    } else if (key == QLatin1String("RemoveFilter")) {
        Remove_Filter();
    }
}

void hlTabulon::tlbResults_ButtonMenuClick(const QString &buttonKey, const QString &itemKey, const QString &itemText)
{
    trap(QStringLiteral("tlbResults_ButtonMenuClick"), [&] {
        if (buttonKey.compare(QLatin1String("Open"), Qt::CaseInsensitive) == 0) {
            // The entry keeps its path as data; its caption doubles any "&" for display.
            const ui::ButtonMenuList &recent = tlbResults->Buttons(buttonKey).ButtonMenus();
            const QString path = !itemKey.isEmpty() && recent.Exists(itemKey)
                                     ? recent.Item(itemKey).action()->data().toString()
                                     : QString();
            Open_SQL(path.isEmpty() ? recentFileOf(itemText) : path);
        } else if (itemKey.compare(QLatin1String("ShowAll"), Qt::CaseInsensitive) == 0) {
            for (int c = 0; c < grdResults->Cols(); ++c)
                grdResults->setColHidden(c, false);
            tlbResults->Buttons(QStringLiteral("ShowCols")).setStyle(ui::tbrDefault);
        } else if (itemKey.compare(QLatin1String("ClearQuery"), Qt::CaseInsensitive) == 0) {
            ui::ToolBarButton &qb = tlbResults->Buttons(QStringLiteral("QueryBuilder"));
            qb.setStyle(ui::tbrCheck);
            qb.setValue(m_blnQBVisible ? ui::tbrPressed : ui::tbrUnpressed);
            m_query->clearBuilderFilter();
        } else if (dataType() == tbDataStoredProc) {
            // A filter from the history: rows already fetched are filtered where they are.
            // Taken as it was stored: stripping delimiters would also cut them out of values.
            m_query->setFilter(itemText);
            applyInMemoryFilters();
            showFilterState();
        } else {
            m_query->setFilter(itemText);
            Refresh_Results(false, false, false);
        }
    });
}

bool hlTabulon::Set_MenuText()
{
    return trap(QStringLiteral("Set_MenuText"), [&] {
        applyCaptions(tlbMain, kMainButtons, options().MainToolbarText);
        applyCaptions(tlbResults, kResultsButtons, options().ResultsToolbarText);
        // No trip through the event loop here: the bars' sizes are recomputed on demand, and a
        // yield in the middle of applying options would let other commands in.
        UserControl_Resize();
        return true;
    });
}

void hlTabulon::applyGridOptions(tbView view)
{
    const analysis::Options &opt = options();
    if (view != tbViewChart) {
        const int i = view == tbViewResults ? 0 : view == tbViewSummary ? 1 : 2;
        grid::Grid *g = view == tbViewResults ? grdResults : view == tbViewSummary ? grdSummary.get() : grdXTab.get();
        const analysis::GridOptions &go = opt.grid(i);
        g->setGridLines(go.GridLines);
        g->setFont(go.Font);
        g->setForeColor(quint32(go.FontColour));
        g->setBackColor(quint32(go.BackColor));
        g->setBackColorAlternate(quint32(go.AlternateColor));
        try {
            g->LoadWallPaper(go.Wallpaper);
        } catch (...) {
            // A picture that cannot be read costs only the picture: the other options still
            // apply and the window still starts. Said once a file, not at every window opened.
            static QSet<QString> reported;
            if (!reported.contains(go.Wallpaper)) {
                reported.insert(go.Wallpaper);
                report(QStringLiteral("Set_Options"), analysis::currentErrorText());
            }
            g->setWallPaper(QPixmap());
        }
        g->setWallPaperAlignment(go.WallpaperAlign);
        if (view == tbViewSummary)
            for (int c = 0; c <= grdSummary->Cols() - 2; ++c)
                grdSummary->setMergeCol(c, opt.Merge);
    }
}

void hlTabulon::applyPaneOptions(tbView view)
{
    const analysis::Options &opt = options();
    sqlBox(view)->setFont(opt.SQLFont);
    Splitter *s = splitter(view);
    const analysis::SplitOptions &so = opt.split(view);
    QWidget *sql = sqlBox(view);
    QWidget *data = view == tbViewResults ? static_cast<QWidget *>(grdResults)
                    : view == tbViewChart ? static_cast<QWidget *>(chChart)
                    : view == tbViewSummary ? static_cast<QWidget *>(grdSummary)
                                            : static_cast<QWidget *>(grdXTab);
    s->setSplitterWidth(40);
    s->setSplitPercent(so.Percentage);
    s->setOrientation(so.Orientation ? Splitter::splitHorizontal : Splitter::splitVertical);
    s->setChild1(so.Left ? sql : data);
    s->setChild2(so.Left ? data : sql);
}

bool hlTabulon::Set_Options(bool blnDataChanged, bool blnChartChanged, bool /*blnDataSourceChanged*/)
{
    return trap(QStringLiteral("Set_Options"), [&] {
        const analysis::Options &opt = options();
        // Views not made yet take the options when they are.
        if (blnChartChanged && m_blnViewsMade)
            Set_ChartOptions();
        if (blnDataChanged) {
            const bool countButton = m_intView == tbViewResults && !opt.ShowCount;
            tlbResults->Buttons(QStringLiteral("ShowCount")).setVisible(countButton);
            tlbResults->Buttons(QStringLiteral("sepCount")).setVisible(countButton);
            Show_ResultsCount();
            for (tbView v : {tbViewResults, tbViewSummary, tbViewXTab})
                if (v == tbViewResults || m_blnViewsMade)
                    applyGridOptions(v);
        }
        if (!Set_MenuText())
            return false;
        for (tbView v : {tbViewResults, tbViewChart, tbViewSummary, tbViewXTab})
            if (v == tbViewResults || m_blnViewsMade)
                applyPaneOptions(v);
        // A box the user writes the query in keeps room for a few lines however small the window
        // or the share the division gives it.
        txtResultsSQL->setMinimumHeight(txtResultsSQL->isReadOnly() ? 0
                                                                     : QFontMetrics(opt.SQLFont).lineSpacing() * 4
                                                                           + 2 * txtResultsSQL->frameWidth() + 8);
        if (frmQueryBuilder *window = queryBuilderWindow(); window && m_blnQBVisible) {
            window->hlQueryBuilder()->setMenuText(opt.QueryBuilderToolbarText);
            window->hlQueryBuilder()->Init();
        }
        Set_RecentFiles();
        tlbMain->setVisible(opt.MainToolbar);
        tlbMain->move(0, 0);
        emit ViewChanged();
        UserControl_Resize();
        return true;
    });
}

void hlTabulon::tmrEsc_Timer()
{
    if (analysis::escapePressedSince(m_escapeSeen))
        Check_ESC();
}

bool hlTabulon::Check_ESC()
{
    const auto undo = [&] { m_blnAskingEsc = false; };
    return trap(QStringLiteral("Check_ESC"), [&] {
        // The question is modal and the poll keeps ticking under it: one question at a time.
        if (m_blnAskingEsc)
            return true;
        QString title;
        QString question;
        if (m_blnRefreshing) {
            switch (m_intView) {
            case tbViewChart:
                title = QStringLiteral("Refresh Chart");
                question = QStringLiteral("Cancel drawing Chart?");
                break;
            case tbViewSummary:
                title = QStringLiteral("Refresh Summary");
                question = QStringLiteral("Cancel Summary?");
                break;
            case tbViewXTab:
                title = QStringLiteral("Refresh XTab");
                question = QStringLiteral("Cancel XTab?");
                break;
            case tbViewResults:
            default:
                title = QStringLiteral("Apply Filter");
                question = QStringLiteral("Cancel Filtering?");
                break;
            }
        } else if (m_blnCopying) {
            title = QStringLiteral("Copy to Clipboard");
            question = QStringLiteral("Cancel copying to Clipboard?");
        } else if (m_blnSelecting) {
            title = QStringLiteral("Select All");
            question = QStringLiteral("Cancel Selecting?");
        } else if (m_blnFinding) {
            title = QStringLiteral("Find Item");
            question = QStringLiteral("Cancel Finding?");
        } else if (m_blnExporting) {
            title = QStringLiteral("Export Data");
            question = QStringLiteral("Cancel Exporting?");
        } else if (m_blnPrinting) {
            title = QStringLiteral("Print");
            question = QStringLiteral("Cancel Printing?");
        } else if (m_blnFetching) {
            title = QStringLiteral("Move Last Record");
            question = QStringLiteral("Cancel Moving?");
        } else {
            hideColumnMenu();
            return true;
        }
        m_blnAskingEsc = true;
        const ui::MsgResult answer =
            ui::Prompter::msgBox(question, ui::MsgButtons::YesNo, ui::MsgIcon::Question, title, this);
        m_blnAskingEsc = false;
        analysis::g_blnAbort = answer == ui::MsgResult::Yes;
        // The statement in flight is cancelled on the server, not only the loop around it.
        if (analysis::g_blnAbort)
            m_stop.stop();
        return true;
    }, undo);
}
