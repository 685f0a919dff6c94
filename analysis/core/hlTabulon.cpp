#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "views/SummaryTotals.h"

#include "PaneDivider/Splitter.h"
#include "app/Trap.h"
#include "chart/ChartView.h"
#include "hlQueryMenu/qryMenu.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "settings/SettingsStore.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>
#include <utility>

#include <memory>
#include <utility>

using analysis::options;

namespace {

const QString kDefaultDateFormat = QStringLiteral("dd/mm/yyyy");
constexpr qint32 kDefaultChartMaxColumns = 1000;
constexpr qint32 kDefaultChartMaxLegend = 100;

bool buttonEnabled(const ui::KeyedToolBar *bar, const QString &key)
{
    return bar->Buttons(key).Enabled();
}

QVariant bagValue(const QVariantMap &bag, const QString &key)
{
    for (auto it = bag.cbegin(); it != bag.cend(); ++it) {
        if (it.key().compare(key, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return {};
}

qint32 bagLong(const QVariantMap &bag, const QString &key, qint32 fallback)
{
    const QVariant v = bagValue(bag, key);
    if (!v.isValid())
        return fallback;
    if (v.typeId() == QMetaType::QString) {
        const auto n = settings::SettingsStore::toLong(v.toString());
        return n.value_or(fallback);
    }
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok && n >= INT32_MIN && n <= INT32_MAX ? qint32(n) : fallback;
}

bool bagBool(const QVariantMap &bag, const QString &key, bool fallback)
{
    const QVariant v = bagValue(bag, key);
    if (!v.isValid())
        return fallback;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    return settings::SettingsStore::toBool(v.toString()).value_or(fallback);
}

QStringList sortPair(const QVariant &entry)
{
    QStringList pair = entry.toStringList();
    while (pair.size() < 2)
        pair.append(QString());
    return pair.mid(0, 2);
}

} // namespace

hlTabulon::hlTabulon(QWidget *parent)
    : QWidget(parent), m_query(std::make_unique<analysis::QueryRunner>())
{
    createControls();
    resetSortCols();
    // A Yes in any window stops the waits of every control, as it stops their loops.
    m_stop.setStopWhen([] { return analysis::g_blnAbort; });
    // A server that sends nothing leaves the status saying what is awaited and how to stop it; the
    // text before comes back unless someone changed it meanwhile.
    m_stop.setOnWaiting([this, shown = std::make_shared<std::pair<QString, QString>>()](const QString &note) {
        ui::StatusPanel &panel = staStatus->Panels(1);
        if (!note.isEmpty()) {
            *shown = {panel.Text(), note};
            panel.setText(note);
        } else if (panel.Text() == shown->second) {
            panel.setText(shown->first);
        }
    });
    m_query->setDelimiter(analysis::g_strDelimiter);
    m_escapeSeen = analysis::escapePresses();

    // Initialize: the settings are read once per control; what could not be taken is reported
    // when the control starts, once a host listens.
    m_blnReadFailed = !analysis::Read_INI(width(), height());
    m_pendingSettingWarnings = analysis::takeSettingWarnings();
}

hlTabulon::~hlTabulon()
{
    // Destroyed by its host from inside a wait of its own (the window went while a statement ran):
    // the wait ends and its statement is stopped, rather than run out for nobody.
    m_stop.stop();
    // The children are destroyed after this class's part of the object: a focus change or a menu
    // signal raised while they go must no longer reach it.
    if (qApp)
        disconnect(qApp, nullptr, this, nullptr);
    if (qryMenu)
        disconnect(qryMenu, nullptr, this, nullptr);
    releasePickers();
    // Nothing is made while the control goes.
    m_blnViewsMade = true;
}

namespace {

Splitter *makeSplitter(QWidget *parent, const char *name)
{
    auto *s = new Splitter(parent);
    s->setObjectName(QLatin1String(name));
    s->hide();
    return s;
}

QPlainTextEdit *makeSqlBox(QWidget *parent, const char *name)
{
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    return box;
}

grid::Grid *makeGrid(QWidget *parent, const char *name)
{
    auto *g = new grid::Grid(parent);
    g->setObjectName(QLatin1String(name));
    return g;
}

} // namespace

void hlTabulon::createControls()
{
    createToolbars();

    hlSplitResults = makeSplitter(this, "hlSplitResults");
    txtResultsSQL = makeSqlBox(hlSplitResults, "txtResultsSQL");
    grdResults = makeGrid(hlSplitResults, "grdResults");
    txtSQLError = makeSqlBox(this, "txtSQLError");
    txtSQLError->setReadOnly(true);
    txtSQLError->hide();

    staStatus = new ui::StatusPanels(5, this);
    staStatus->setObjectName(QStringLiteral("staStatus"));
    staStatus->setSizeGripEnabled(false);

    tmrPause = new QTimer(this);
    tmrPause->setObjectName(QStringLiteral("tmrPause"));
    tmrPause->setSingleShot(true);
    tmrPause->setInterval(100);
    // The elapsed time changes once a second; a few ticks a second keep it current without
    // spinning the event loop.
    tmrRun = new QTimer(this);
    tmrRun->setObjectName(QStringLiteral("tmrRun"));
    tmrRun->setInterval(200);
    tmrEsc = new QTimer(this);
    tmrEsc->setObjectName(QStringLiteral("tmrEsc"));
    tmrEsc->setInterval(100);

    connect(tmrPause, &QTimer::timeout, this, [this] { Run_Query(); });
    connect(tmrRun, &QTimer::timeout, this, &hlTabulon::tmrRun_Timer);
    connect(tmrEsc, &QTimer::timeout, this, &hlTabulon::tmrEsc_Timer);
    connect(hlSplitResults, &Splitter::Resize, this, [this] { splitterResized(tbViewResults); });
    connect(txtResultsSQL, &QPlainTextEdit::textChanged, this, &hlTabulon::txtResultsSQL_Change);
    txtResultsSQL->installEventFilter(this);
    connectResultsGrid();
    connectColumnMenu();
}

void hlTabulon::makeViews()
{
    if (m_blnViewsMade)
        return;
    m_blnViewsMade = true;

    createViewBars();
    createPickers();
    hlSplitChart = makeSplitter(this, "hlSplitChart");
    hlSplitSummary = makeSplitter(this, "hlSplitSummary");
    hlSplitXTab = makeSplitter(this, "hlSplitXTab");
    txtChartSQL = makeSqlBox(hlSplitChart, "txtChartSQL");
    chChart = new chart::ChartView(hlSplitChart);
    chChart->setObjectName(QStringLiteral("chChart"));
    txtSummarySQL = makeSqlBox(hlSplitSummary, "txtSummarySQL");
    grdSummary = makeGrid(hlSplitSummary, "grdSummary");
    txtXTabSQL = makeSqlBox(hlSplitXTab, "txtXTabSQL");
    grdXTab = makeGrid(hlSplitXTab, "grdXTab");

    std::array<QSlider *, 2> &sliders = sldChart.made();
    sliders[0] = new QSlider(Qt::Horizontal, this);
    sliders[0]->setObjectName(QStringLiteral("sldChart0"));
    sliders[1] = new QSlider(Qt::Vertical, this);
    sliders[1]->setObjectName(QStringLiteral("sldChart1"));
    for (QSlider *s : sliders) {
        s->hide();
        chChart->keepClearOf(s);
    }
    chChart->installEventFilter(this);
    // Stacked as if made with the rest: the bars under the results' pane, the panes under the
    // error box, the sliders under the status bar.
    for (QWidget *bar : {tlbChart.made(), tlbChart2.made(), tlbSummary.made(), tlbSummary2.made(), tlbXTab.made(),
                         tlbXTab2.made()})
        bar->stackUnder(hlSplitResults);
    for (QWidget *pane : {hlSplitChart.made(), hlSplitSummary.made(), hlSplitXTab.made()})
        pane->stackUnder(txtSQLError);
    for (QWidget *s : sliders)
        s->stackUnder(staStatus);

    connect(hlSplitChart, &Splitter::Resize, this, [this] { splitterResized(tbViewChart); });
    connect(hlSplitSummary, &Splitter::Resize, this, [this] { splitterResized(tbViewSummary); });
    connect(hlSplitXTab, &Splitter::Resize, this, [this] { splitterResized(tbViewXTab); });
    connectSummaryGrid();
    connectXTabGrid();
    connectChart();
    if (m_blnInitRun) {
        // Made after start-up: given what start-up and the options gave the others.
        setUpViews();
        for (tbView v : {tbViewSummary, tbViewXTab})
            applyGridOptions(v);
        for (tbView v : {tbViewChart, tbViewSummary, tbViewXTab})
            applyPaneOptions(v);
        Set_ChartOptions();
        if (m_query->fieldsLoaded())
            Populate_Fields();
    }
}

hlTabulon::tbDataType hlTabulon::CurrentDataType() const
{
    return dataType();
}

QString hlTabulon::identifierDelimiter() const
{
    return m_query->delimiter();
}

hlTabulon::tbDataType hlTabulon::dataType() const
{
    return tbDataType(m_query->source());
}

void hlTabulon::setDataType(tbDataType type)
{
    m_query->setSource(analysis::QueryRunner::Source(type));
}

// --- write-only members ---

void hlTabulon::adoConnection(const std::shared_ptr<db::Connection> &connection)
{
    m_query->setConnection(connection);
}

void hlTabulon::SQL(const QString &text)
{
    m_query->setStatement(text);
}

void hlTabulon::Delimiter(const QString &delimiter)
{
    m_query->setDelimiter(delimiter);
    analysis::g_strDelimiter = delimiter;
}

void hlTabulon::DataType(tbDataType dataType)
{
    setDataType(dataType);
}

void hlTabulon::OpenSQL(bool on)
{
    m_blnOpenSQL = on;
}

void hlTabulon::DataSourceName(const QString &name)
{
    m_strDataSourceName = name;
}

void hlTabulon::MaxRecords(qint32 rows)
{
    m_query->setMaxRecords(rows);
}

void hlTabulon::Container(qint32 value)
{
    m_lngContainer = value;
}

void hlTabulon::OpenXML(bool on)
{
    m_blnOpenXML = on;
}

// --- properties ---

void hlTabulon::setChartMaxColumns(qint32 value)
{
    m_lngChartMaxColumns = value;
    emit PropertyChanged(QStringLiteral("ChartMaxColumns"));
}

void hlTabulon::setChartMaxLegend(qint32 value)
{
    m_lngChartMaxLegend = value;
    emit PropertyChanged(QStringLiteral("ChartMaxLegend"));
}

QString hlTabulon::DateFormat() const
{
    return options().DateFormat;
}

void hlTabulon::setDateFormat(const QString &format)
{
    options().DateFormat = format;
    emit PropertyChanged(QStringLiteral("DateFormat"));
}

QVariant hlTabulon::SortCols() const
{
    return QVariant::fromValue(m_query->sortCols());
}

void hlTabulon::setSortCols(const QVariant &value)
{
    QList<QStringList> cols;
    if (value.metaType() == QMetaType::fromType<QList<QStringList>>()) {
        for (const QStringList &pair : value.value<QList<QStringList>>())
            cols.append(sortPair(QVariant(pair)));
    } else if (value.typeId() == QMetaType::QStringList) {
        cols.append(sortPair(value));
    } else {
        for (const QVariant &entry : value.toList())
            cols.append(sortPair(entry));
    }
    // An empty list is the sort dialog's "nothing selected": one empty entry.
    if (cols.isEmpty())
        cols.append(QStringList{QString(), QString()});
    m_query->setSortCols(cols);
}

void hlTabulon::resetSortCols()
{
    m_query->resetSortCols();
}

bool hlTabulon::ShowRowCount() const
{
    return options().ShowCount;
}

void hlTabulon::setShowRowCount(bool on)
{
    options().ShowCount = on;
    tlbResults->Buttons(QStringLiteral("ShowCount")).setValue(on ? ui::tbrPressed : ui::tbrUnpressed);
    Show_ResultsCount();
    Set_Options(false, false, false);
    analysis::Save_INI();
}

qint32 hlTabulon::ResultsRows() const
{
    return std::max(0, grdResults->Rows() - 1);
}

qint32 hlTabulon::SummaryRows() const
{
    return grdSummary.made() ? std::max(0, grdSummary->Rows() - 1) : 0;
}

bool hlTabulon::XTabRows() const
{
    return grdXTab.made() && grdXTab->Rows() >= 3;
}

bool hlTabulon::FindVisible() const
{
    return m_blnFindOpen && m_frmFind && !m_frmFind->isHidden();
}

bool hlTabulon::SortFields() const
{
    return options().SortFields;
}

void hlTabulon::setSortFields(bool on)
{
    options().SortFields = on;
}

bool hlTabulon::ToolBarMain() const
{
    return options().MainToolbar;
}

void hlTabulon::setToolBarMain(bool on)
{
    options().MainToolbar = on;
    tlbMain->setVisible(on);
    UserControl_Resize();
    analysis::Save_INI();
}

bool hlTabulon::ToolBarResults() const
{
    return options().ResultsToolbar;
}

void hlTabulon::setToolBarResults(bool on)
{
    options().ResultsToolbar = on;
    // In another view the value waits for the next switch to Results.
    tlbResults->setVisible(on && m_intView == tbViewResults);
    UserControl_Resize();
    analysis::Save_INI();
}

void hlTabulon::setStCurrentView(tbView view)
{
    Change_View(view);
}

// --- command states ---

bool hlTabulon::stViewChart() const { return buttonEnabled(tlbMain, QStringLiteral("Chart")); }
bool hlTabulon::stViewSummary() const { return buttonEnabled(tlbMain, QStringLiteral("Summary")); }
bool hlTabulon::stviewXTab() const { return buttonEnabled(tlbMain, QStringLiteral("XTab")); }
bool hlTabulon::stExportData() const { return buttonEnabled(tlbMain, QStringLiteral("Export")); }
bool hlTabulon::stSaveSQL() const { return buttonEnabled(tlbMain, QStringLiteral("SQL")); }
bool hlTabulon::stPrint() const { return buttonEnabled(tlbMain, QStringLiteral("Print")); }
bool hlTabulon::stviewResults() const { return buttonEnabled(tlbMain, QStringLiteral("Results")); }
bool hlTabulon::stFind() const { return buttonEnabled(tlbMain, QStringLiteral("Find")); }
bool hlTabulon::stOptions() const { return buttonEnabled(tlbMain, QStringLiteral("Options")); }

bool hlTabulon::stShowRowCount() const
{
    const ui::ToolBarButton &b = tlbResults->Buttons(QStringLiteral("ShowCount"));
    return m_intView == tbViewResults && b.Enabled() && b.Visible();
}

bool hlTabulon::stShowQB() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbResults, QStringLiteral("QueryBuilder"));
}

bool hlTabulon::stShowSort() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbResults, QStringLiteral("Sort"));
}

bool hlTabulon::stViewCols() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbResults, QStringLiteral("ShowCols"));
}

bool hlTabulon::stMoveFirst() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbResults, QStringLiteral("MoveFirst"));
}

bool hlTabulon::stMoveLast() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbResults, QStringLiteral("MoveLast"));
}

bool hlTabulon::stResizeCols() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbResults, QStringLiteral("ColResize"));
}

// Running the query is the Refresh command of the Results view, open SQL or not.
bool hlTabulon::stQueryExecute() const
{
    return m_intView == tbViewResults && buttonEnabled(tlbMain, QStringLiteral("Refresh"));
}

bool hlTabulon::stQueryClear() const
{
    return m_intView == tbViewResults && m_blnOpenSQL && buttonEnabled(tlbResults, QStringLiteral("Clear"));
}

bool hlTabulon::stSelectAll() const
{
    return m_intView != tbViewChart;
}

// --- property bag ---

void hlTabulon::InitProperties()
{
    options().DateFormat = kDefaultDateFormat;
    m_lngChartMaxColumns = kDefaultChartMaxColumns;
    m_lngChartMaxLegend = kDefaultChartMaxLegend;
    m_blnOpenSQL = false;
    m_blnStatusBar = true;
}

void hlTabulon::ReadProperties(const QVariantMap &bag)
{
    const QVariant format = bagValue(bag, QStringLiteral("DateFormat"));
    options().DateFormat = format.isValid() ? format.toString() : kDefaultDateFormat;
    m_lngChartMaxColumns = bagLong(bag, QStringLiteral("ChartMaxColumns"), kDefaultChartMaxColumns);
    m_lngChartMaxLegend = bagLong(bag, QStringLiteral("ChartMaxLegend"), kDefaultChartMaxLegend);
    m_blnStatusBar = bagBool(bag, QStringLiteral("StatusBar"), true);
}

QVariantMap hlTabulon::WriteProperties() const
{
    QVariantMap bag;
    if (options().DateFormat != kDefaultDateFormat)
        bag.insert(QStringLiteral("DateFormat"), options().DateFormat);
    if (m_lngChartMaxColumns != kDefaultChartMaxColumns)
        bag.insert(QStringLiteral("ChartMaxColumns"), m_lngChartMaxColumns);
    if (m_lngChartMaxLegend != kDefaultChartMaxLegend)
        bag.insert(QStringLiteral("ChartMaxLegend"), m_lngChartMaxLegend);
    if (!m_blnStatusBar)
        bag.insert(QStringLiteral("StatusBar"), false);
    return bag;
}

// --- shared helpers ---

bool hlTabulon::isBusy() const
{
    return hasBusyMark() || db::Wait::depth() > 0;
}

bool hlTabulon::hasBusyMark() const
{
    return m_blnRefreshing || m_blnCopying || m_blnSelecting || m_blnFinding || m_blnExporting || m_blnPrinting ||
           m_blnFetching;
}

// Called from the traps: a statement the user cancelled is no failure, so nothing is reported.
bool hlTabulon::report(const QString &procedure, const QString &description)
{
    if (analysis::currentErrorIsCancel())
        return false;
    emit Faultdesk(procedure, description);
    return false;
}

bool hlTabulon::runTrapped(const QString &procedure, bool routed, const std::function<bool()> &body,
                           const std::function<void()> &undo)
{
    QPointer<hlTabulon> self(this);
    return app::trap(
        body,
        [&] {
            if (self && undo)
                undo();
        },
        [&] {
            if (!self)
                return false;
            return routed ? reportRouted(procedure, analysis::currentErrorText())
                          : report(procedure, analysis::currentErrorText());
        });
}

bool hlTabulon::reportRouted(const QString &procedure, const QString &description)
{
    if (analysis::currentErrorIsCancel())
        return false;
    if (analysis::g_blnErrorRouting)
        analysis::logError(procedure, description);
    else
        emit Faultdesk(procedure, description);
    return false;
}

void hlTabulon::setCommandEnabled(ui::KeyedToolBar *bar, const QString &key, bool on)
{
    bar->Buttons(key).setEnabled(on);
}

QPlainTextEdit *hlTabulon::sqlBox(tbView view) const
{
    switch (view) {
    case tbViewChart: return txtChartSQL;
    case tbViewSummary: return txtSummarySQL;
    case tbViewXTab: return txtXTabSQL;
    case tbViewResults:
    default: return txtResultsSQL;
    }
}

Splitter *hlTabulon::splitter(tbView view) const
{
    switch (view) {
    case tbViewChart: return hlSplitChart;
    case tbViewSummary: return hlSplitSummary;
    case tbViewXTab: return hlSplitXTab;
    case tbViewResults:
    default: return hlSplitResults;
    }
}

void hlTabulon::hideColumnMenu()
{
    if (qryMenu)
        qryMenu->hide();
}

// --- container events ---

void hlTabulon::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A restored or re-shown window keeps its query, windows and sort: set up once.
    if (!m_blnInitRun && !m_blnUnloaded) {
        m_blnInitRun = true;
        Init();
    }
}

void hlTabulon::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Closing the query window hides it after the tear-down: the options are saved then too.
    if (m_blnInitRun)
        analysis::Save_INI();
}

void hlTabulon::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    UserControl_Resize();
}

void hlTabulon::mousePressEvent(QMouseEvent *event)
{
    hideColumnMenu();
    QWidget::mousePressEvent(event);
}

bool hlTabulon::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == chChart && type == QEvent::Resize && m_blnInitRun && !m_blnInitialising && !m_blnUnloaded)
        placeChartSliders();
    if (watched == txtResultsSQL
        && (type == QEvent::ShortcutOverride || type == QEvent::KeyPress || type == QEvent::KeyRelease)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool f5 = key->key() == Qt::Key_F5 && !key->isAutoRepeat();
        if (type == QEvent::ShortcutOverride) {
            // F5 in the SQL box runs the box's statement; a host's F5 shortcut firing on the press
            // as well would run it twice.
            if (key->key() == Qt::Key_F5 && key->modifiers() == Qt::NoModifier) {
                event->accept();
                return true;
            }
        } else if (type == QEvent::KeyPress) {
            if (f5)
                m_blnF5Down = true;
        } else if (f5 && std::exchange(m_blnF5Down, false)) {
            // Only a release whose press the box had: F5 pressed elsewhere must not run it.
            Run_Query();
        }
    }
    return QWidget::eventFilter(watched, event);
}
