// Switching between the four views and laying the control out.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlLayout.h"
#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"

#include "PaneDivider/Splitter.h"
#include "chart/ChartView.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QPlainTextEdit>
#include <QSlider>

#include <array>

using analysis::options;

namespace {

const std::array<const char *, 4> kViewKeys = {"Results", "Chart", "Summary", "XTab"};

int barHeight(const QWidget *bar)
{
    return bar->sizeHint().height();
}

void setUpGrid(grid::Grid *g)
{
    g->setSelectionMode(grid::flexSelectionFree);
    g->setAllowUserResizing(grid::flexResizeColumns);
    g->setEditable(grid::flexEDNone);
    // A find moves the current cell while its window keeps the focus.
    g->setCursorShownWithoutFocus(true);
}

// Puts the switch guard down and the pointer back however the switch ends.
class SwitchGuard {
public:
    explicit SwitchGuard(bool &changing) : m_changing(changing) {}
    ~SwitchGuard()
    {
        m_changing = false;
        if (m_pointerSet)
            ui::MousePointer::setDefault();
    }
    SwitchGuard(const SwitchGuard &) = delete;
    SwitchGuard &operator=(const SwitchGuard &) = delete;
    void hourglass()
    {
        ui::MousePointer::setHourglass();
        m_pointerSet = true;
    }

private:
    bool &m_changing;
    bool m_pointerSet = false;
};

} // namespace

void hlTabulon::showViewBars(tbView view)
{
    // Each bar is set once to how it ends: one hidden and shown again would be laid out and
    // painted again for nothing on every refresh.
    tlbResults->setVisible(view == tbViewResults && options().ResultsToolbar);
    if (!m_blnViewsMade)
        return;
    for (ui::KeyedToolBar *bar : {tlbChart.get(), tlbChart2.get()})
        bar->setVisible(view == tbViewChart);
    for (ui::KeyedToolBar *bar : {tlbSummary.get(), tlbSummary2.get()})
        bar->setVisible(view == tbViewSummary);
    for (ui::KeyedToolBar *bar : {tlbXTab.get(), tlbXTab2.get()})
        bar->setVisible(view == tbViewXTab);
}

void hlTabulon::showViewChrome(tbView view)
{
    showViewBars(view);
    for (tbView v : {tbViewResults, tbViewChart, tbViewSummary, tbViewXTab})
        if (v == tbViewResults || m_blnViewsMade)
            splitter(v)->setVisible(v == view);
}

bool hlTabulon::Change_View(tbView view)
{
    if (m_blnChangingView)
        return false;
    if (view < tbViewResults || view > tbViewXTab)
        return report(QStringLiteral("Change_View"), QStringLiteral("Invalid view: %1").arg(int(view)));

    const tbView previous = m_intView;
    bool chromeHidden = false;
    SwitchGuard guard(m_blnChangingView);
    // A switch that failed half way shows the view it came from.
    const auto undo = [&] {
        if (chromeHidden) {
            m_intView = previous;
            showViewChrome(previous);
            UserControl_Resize();
        }
    };
    return trap(QStringLiteral("Change_View"), [&] {
        tlbMain->move(0, 0);
        txtSQLError->hide();
        const QString viewKey = QLatin1String(kViewKeys[std::size_t(view)]);
        if (view != tbViewResults && !tlbMain->Buttons(viewKey).Enabled())
            return false;
        if (view != tbViewResults)
            makeViews();

        guard.hourglass();
        // The pane of the view shown already stays up (a refresh comes back to it); the others
        // go until the switch is done.
        for (Splitter *s : {hlSplitResults, hlSplitChart.made(), hlSplitSummary.made(), hlSplitXTab.made()})
            if (s && (s != splitter(view) || view != previous))
                s->hide();
        chromeHidden = true;
        showViewBars(view);

        if (m_blnViewsMade) {
            const bool slide = tlbChart->hasButton(QStringLiteral("Slide"))
                               && tlbChart->Buttons(QStringLiteral("Slide")).Value() == ui::tbrPressed;
            for (QSlider *s : sldChart)
                s->setVisible(view == tbViewChart && slide);
        }

        // Open tool windows follow the view; closed ones are left alone.
        if (m_blnQBVisible && m_frmQueryBuilder)
            m_frmQueryBuilder->setVisible(view == tbViewResults);
        if (m_blnNotesOpen && m_frmNotes)
            m_frmNotes->setVisible(view == tbViewResults);
        if (m_blnDetailsOpen && m_frmDetails)
            m_frmDetails->setVisible(view == tbViewResults);
        if (m_blnFindOpen && m_frmFind)
            m_frmFind->setVisible(view != tbViewChart);

        m_intView = view;
        UserControl_Resize();

        if (!m_query->fieldsLoaded() && (view != tbViewResults || dataType() == tbDataStoredProc)) {
            // A routine's results need its field list only; the pickers filled from it belong to
            // the other views, so only those stay shut when the pickers cannot be filled.
            const bool fields = Get_Fields();
            if (!fields || (!Populate_Fields() && view != tbViewResults)) {
                // The field list could not be read (reported by the step that failed): stay in
                // the view the user had, shown as it was.
                m_intView = previous;
                showViewChrome(previous);
                UserControl_Resize();
                return false;
            }
        }

        m_blnSQLEnabled = !sqlBox(view)->toPlainText().isEmpty();

        if (view == tbViewResults) {
            showFilterState();
            staStatus->Panels(2).setText(m_query->maxRecords() != 0 ? QStringLiteral("Max. %1 rows").arg(m_query->maxRecords())
                                                               : QString());
        } else {
            staStatus->Panels(2).setText(QString());
        }

        // The view's own button is pressed below; let up and pressed again it would be repainted.
        for (const char *key : kViewKeys)
            if (QLatin1String(key) != viewKey)
                tlbMain->Buttons(QLatin1String(key)).setValue(ui::tbrUnpressed);
        const bool analysable = dataType() == tbDataTable || dataType() == tbDataView;
        // A routine's analysis views open once it has run (Refresh_Results enables them) and
        // stay open from view to view.
        if (dataType() != tbDataStoredProc) {
            setCommandEnabled(tlbMain, QStringLiteral("Chart"), analysable);
            // The analysis views stand or fall together, whichever of them is built.
            setCommandEnabled(tlbMain, QStringLiteral("Summary"), analysable);
            setCommandEnabled(tlbMain, QStringLiteral("XTab"), analysable);
        }
        // The way back from an analysis view.
        if (view != tbViewResults)
            setCommandEnabled(tlbMain, QStringLiteral("Results"), true);

        tlbMain->Buttons(viewKey).setValue(ui::tbrPressed);
        if (view == tbViewChart || view == tbViewXTab) {
            staStatus->Panels(5).setText(QString());
            staStatus->Panels(4).setText(QString());
        } else if (view == tbViewSummary) {
            staStatus->Panels(5).setText(m_strSummaryStatus);
            staStatus->Panels(4).setText(QString());
        }

        m_blnChangingView = true;

        // A grid's data rows follow its header row; the cross-tab has two header rows.
        const bool resultsOpen = m_query->resultsOpen();
        const bool resultsData = grdResults->Rows() > 1;
        bool exportable = false;
        switch (view) {
        case tbViewResults: exportable = resultsOpen && resultsData; break;
        case tbViewSummary: exportable = grdSummary->Rows() >= 2; break;
        case tbViewXTab: exportable = grdXTab->Rows() >= 3; break;
        case tbViewChart: exportable = false; break;
        }
        setCommandEnabled(tlbMain, QStringLiteral("Export"), exportable);
        setCommandEnabled(tlbMain, QStringLiteral("Print"),
                          exportable || (view == tbViewChart && chartDataColumns() >= 1));
        setCommandEnabled(tlbMain, QStringLiteral("SQL"), m_blnSQLEnabled);
        setCommandEnabled(tlbMain, QStringLiteral("Find"), view != tbViewChart);

        ui::ToolBarButton &unfreeze = tlbResults->Buttons(QStringLiteral("UnFreezeCols"));
        ui::ToolBarButton &removeFilter = tlbResults->Buttons(QStringLiteral("RemoveFilter"));
        unfreeze.setVisible(grdResults->FrozenCols() > 0);
        removeFilter.setVisible(!m_query->filter().isEmpty());
        for (const char *key : {"MoveFirst", "MoveLast", "ShowCount", "ShowCols", "Sort"})
            setCommandEnabled(tlbResults, QLatin1String(key), resultsData);
        setCommandEnabled(tlbResults, QStringLiteral("QueryBuilder"),
                          dataType() != tbDataStoredProc || (resultsOpen && resultsData));
        tlbResults->Buttons(QStringLiteral("Sort")).setVisible(analysable);
        tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(removeFilter.Visible() || unfreeze.Visible());
        tlbResults->Buttons(QStringLiteral("ShowCount")).setVisible(!options().ShowCount);
        tlbResults->Buttons(QStringLiteral("sepCount")).setVisible(!options().ShowCount);

        if (view == tbViewResults)
            Show_ResultsCount();

        m_intView = view;
        UserControl_Resize();
        splitter(view)->show();

        if (m_blnLoadedOK) {
            if (view == tbViewResults && grdResults->Rows() >= 2)
                grdResults->setFocus();
            else if (view == tbViewSummary && grdSummary->Rows() >= 2)
                grdSummary->setFocus();
            else if (view == tbViewXTab && grdXTab->Rows() >= 3)
                grdXTab->setFocus();
        }

        emit ViewChanged();
        return true;
    }, undo);
}

void hlTabulon::showFilterState()
{
    const bool filtered = !m_query->builderFilter().isEmpty() || !m_query->filter().isEmpty();
    staStatus->Panels(3).setText(filtered ? QStringLiteral("Filter on") : QStringLiteral("Filter off"));
}

void hlTabulon::placeBars(int width, int &top)
{
    auto place = [&](QWidget *bar) {
        if (bar->isHidden())
            return;
        const int h = barHeight(bar);
        bar->setGeometry(0, top, width, h);
        top += h;
    };
    top = 0;
    place(tlbMain);
    switch (m_intView) {
    case tbViewResults: place(tlbResults); break;
    case tbViewChart:
        place(tlbChart);
        place(tlbChart2);
        break;
    case tbViewSummary:
        place(tlbSummary);
        place(tlbSummary2);
        break;
    case tbViewXTab:
        place(tlbXTab);
        place(tlbXTab2);
        break;
    }
}

void hlTabulon::UserControl_Resize()
{
    // Before the start-up there is nothing to arrange yet, and during it one layout at its end
    // does it all.
    if (!m_blnInitRun || m_blnInitialising || m_blnUnloaded)
        return;
    hideColumnMenu();

    const int W = width();
    const int H = height();
    const int statusHeight = barHeight(staStatus);
    // First: in a narrow window the pickers may take a second row, and their bars more height.
    Position_Combos();
    int barsBottom = 0;
    placeBars(W, barsBottom);
    if (m_blnStatusBar)
        staStatus->setGeometry(0, H - statusHeight, W, statusHeight);

    // Each placement on its own: one that does not fit is skipped, the rest still happen.
    auto placeIfFits = [](QWidget *w, const QRect &r) {
        if (r.width() >= 0 && r.height() >= 0)
            w->setGeometry(r);
    };

    int available = H;
    if (m_blnStatusBar)
        available -= statusHeight;
    int top = 0;
    if (options().MainToolbar) {
        top += barHeight(tlbMain);
        available -= barHeight(tlbMain);
    }

    if (m_intView == tbViewResults) {
        if (options().ResultsToolbar) {
            top += barHeight(tlbResults);
            available -= barHeight(tlbResults);
        }
        if (!m_blnQBVisible || !m_frmQueryBuilder) {
            placeIfFits(hlSplitResults, QRect(0, top, W, available));
        } else {
            m_blnResizing = true;
            const auto placed =
                analysis::layout::placeQueryBuilder(options().QueryBuilderAlign, W, top, available,
                                                    m_frmQueryBuilder->geometry(), hlSplitResults->geometry(),
                                                    options().QueryBuilderRect);
            if (placed.pane)
                hlSplitResults->setGeometry(*placed.pane);
            if (placed.window)
                m_frmQueryBuilder->setGeometry(*placed.window);
            m_blnResizing = false;
        }
    } else {
        const QWidget *second = m_intView == tbViewChart ? tlbChart2 : m_intView == tbViewSummary ? tlbSummary2 : tlbXTab2;
        const int b = barHeight(second);
        const int bars = m_blnPickersWrapped ? std::max(2 * b, barsBottom - top) : 2 * b;
        placeIfFits(splitter(m_intView), QRect(0, top + bars, W, available - bars));
    }

    placeChartSliders();
}

void hlTabulon::placeChartSliders()
{
    if (!m_blnViewsMade)
        return;
    // From the chart's width as laid out: a pane placed while hidden gets its new size only when
    // shown, so this runs again on the chart's resize.
    auto placeIfFits = [](QWidget *w, const QRect &r) {
        if (r.width() >= 0 && r.height() >= 0)
            w->setGeometry(r);
    };
    const auto sliders = analysis::layout::placeChartSliders(
        width(), height(), chChart->width(), barHeight(staStatus), barHeight(tlbChart),
        sldChart[0]->sizeHint().height(), sldChart[1]->sizeHint().width(), ui::Twips::toPixelsX(100, this));
    placeIfFits(sldChart[0], sliders.horizontal);
    placeIfFits(sldChart[1], sliders.vertical);
}

bool hlTabulon::Set_Grids()
{
    return trap(QStringLiteral("Set_Grids"), [&] {
        const analysis::Options &opt = options();
        grdResults->setGridLines(opt.ResultsGrid.GridLines);
        grdResults->setBackColor(quint32(opt.ResultsGrid.BackColor));
        grdResults->setBackColorAlternate(quint32(opt.ResultsGrid.AlternateColor));
        setUpGrid(grdResults);
        return true;
    });
}

void hlTabulon::setUpViews()
{
    Set_Chart();
    Set_ToolTips();
    txtChartSQL->clear();
    txtSummarySQL->clear();
    txtXTabSQL->clear();

    // The chart's reset position: rotation 30, elevation 15.
    sldChart[0]->setRange(0, 360);
    sldChart[0]->setValue(30);
    sldChart[1]->setRange(0, 90);
    sldChart[1]->setValue(15);

    const analysis::Options &opt = options();
    grdSummary->setGridLines(opt.SummaryGrid.GridLines);
    grdXTab->setGridLines(opt.XTabGrid.GridLines);
    setUpGrid(grdSummary);
    setUpGrid(grdXTab);
    // The cross-tab's two header rows: column groups above the value captions.
    grdXTab->setRows(2);
    grdXTab->setFixedRows(2);

    for (Splitter *s : {hlSplitChart.get(), hlSplitSummary.get(), hlSplitXTab.get()})
        s->setSplitterColor(0);
}
