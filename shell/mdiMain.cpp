// The main window: its menus, the children it frames, and the rules that keep the menus in step
// with the current child. The commands themselves are in mdiMainCommands.cpp.
#include "mdiMain.h"

#include "app/TerminateSignal.h"
#include "db/Worker.h"

#include "Glob.h"
#include "frmBrowser.h"
#include "frmQuery.h"
#include "WindowPlacement.h"

#include "hlTabulon/hlTabulon.h"
#include "hlSourceBrowser/hlSourceBrowser.h"

#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>

namespace {

QAction *item(QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut = {})
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    return a;
}

QMenu *submenu(QMenu *parent, const char *name, const QString &caption)
{
    QMenu *m = parent->addMenu(caption);
    m->setObjectName(QLatin1String(name));
    m->menuAction()->setObjectName(QLatin1String(name));
    return m;
}

void checkable(std::initializer_list<QAction *> items)
{
    for (QAction *a : items)
        a->setCheckable(true);
}

} // namespace

mdiMain::mdiMain(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mdiMain"));
    mdiArea = new QMdiArea(this);
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(mdiArea);
    createMenus();
    connectCommands();
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &mdiMain::subWindowActivated);

    // After the quit question, the frame waits for busy query windows to finish their tear-down.
    m_tmrQuit = new QTimer(this);
    m_tmrQuit->setInterval(20);
    connect(m_tmrQuit, &QTimer::timeout, this, [this] { close(); });
    // SIGTERM (the session ending, `kill`) ends the run as the close box does.
    connect(new app::TerminateSignal(this), &app::TerminateSignal::requested, this, &mdiMain::closeWithoutAsking);
}

mdiMain::~mdiMain()
{
    unloadAll();
}

void mdiMain::createMenus()
{
    QMenuBar *bar = menuBar();

    mnuFile = bar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuItem = submenu(mnuFile, "mnuItem", QStringLiteral("Item"));
    mnuOpen = item(mnuItem, "mnuOpen", QStringLiteral("&Open"));
    mnuItem->addSeparator();
    mnuReturnAll = item(mnuItem, "mnuReturnAll", QStringLiteral("Return &all rows"));
    mnuReturnTop = item(mnuItem, "mnuReturnTop", QStringLiteral("Return &top ..."));
    mnuOpenQuery = item(mnuItem, "mnuOpenQuery", QStringLiteral("&Query"));
    mnuExportData = item(mnuFile, "mnuExportData", QStringLiteral("Export &Data"), QKeySequence(QStringLiteral("Ctrl+D")));
    mnuSaveSQL = item(mnuFile, "mnuSaveSQL", QStringLiteral("Save SQL"), QKeySequence(QStringLiteral("Ctrl+Q")));
    mnuFile->addSeparator();
    mnuPrintPreview = item(mnuFile, "mnuPrintPreview", QStringLiteral("Print P&review"), QKeySequence(QStringLiteral("Ctrl+R")));
    mnuPrintPreview->setVisible(false);
    mnuPrint = item(mnuFile, "mnuPrint", QStringLiteral("&Print"), QKeySequence(QStringLiteral("Ctrl+P")));
    mnuPrintSetup = item(mnuFile, "mnuPrintSetup", QStringLiteral("Printer Set&up"), QKeySequence(QStringLiteral("Ctrl+U")));
    mnuFile->addSeparator();
    mnuExit = item(mnuFile, "mnuExit", QStringLiteral("E&xit"));

    mnuEdit = bar->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuCut = item(mnuEdit, "mnuCut", QStringLiteral("Cu&t"), QKeySequence(QStringLiteral("Ctrl+X")));
    mnuCopy = item(mnuEdit, "mnuCopy", QStringLiteral("&Copy"), QKeySequence(QStringLiteral("Ctrl+C")));
    mnuPaste = item(mnuEdit, "mnuPaste", QStringLiteral("&Paste"), QKeySequence(QStringLiteral("Ctrl+V")));
    mnuEdit->addSeparator();
    mnuSelectAll = item(mnuEdit, "mnuSelectAll", QStringLiteral("Select &All"), QKeySequence(QStringLiteral("Ctrl+A")));
    mnuEdit->addSeparator();
    mnuFind = item(mnuEdit, "mnuFind", QStringLiteral("&Find"), QKeySequence(QStringLiteral("Ctrl+F")));
    mnuFindNext = item(mnuEdit, "mnuFindNext", QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3));
    mnuFindPrevious = item(mnuEdit, "mnuFindPrevious", QStringLiteral("Find Previous"), QKeySequence(QStringLiteral("Shift+F3")));

    mnuView = bar->addMenu(QStringLiteral("View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuViewBrowser = item(mnuView, "mnuViewBrowser", QStringLiteral("&Browser"), QKeySequence(Qt::Key_F2));
    mnuView->addSeparator();
    mnuViewResults = item(mnuView, "mnuViewResults", QStringLiteral("&Results"), QKeySequence(Qt::Key_F8));
    mnuViewChart = item(mnuView, "mnuViewChart", QStringLiteral("C&hart"), QKeySequence(Qt::Key_F9));
    mnuViewSummary = item(mnuView, "mnuViewSummary", QStringLiteral("&Summary"), QKeySequence(Qt::Key_F11));
    mnuViewXTab = item(mnuView, "mnuViewXTab", QStringLiteral("X&Tab"), QKeySequence(Qt::Key_F12));
    mnuView->addSeparator();
    mnuQuery = submenu(mnuView, "mnuQuery", QStringLiteral("&Query"));
    mnuQueryOpen = item(mnuQuery, "mnuQueryOpen", QStringLiteral("&Open"));
    mnuQuerySave = item(mnuQuery, "mnuQuerySave", QStringLiteral("&Save"));
    mnuQueryClear = item(mnuQuery, "mnuQueryClear", QStringLiteral("&Clear"));
    mnuView->addSeparator();
    mnuRefresh = item(mnuView, "mnuRefresh", QStringLiteral("&Refresh"), QKeySequence(Qt::Key_F5));
    mnuView->addSeparator();
    mnuToolBars = submenu(mnuView, "mnuToolBars", QStringLiteral("Toolbars"));
    mnuToolBarMain = item(mnuToolBars, "mnuToolBarMain", QStringLiteral("Main"));
    mnuToolBarResults = item(mnuToolBars, "mnuToolBarResults", QStringLiteral("Results"));
    mnuView->addSeparator();
    mnuShowRowCount = item(mnuView, "mnuShowRowCount", QStringLiteral("Show Row Coun&t"), QKeySequence(QStringLiteral("Ctrl+T")));
    mnuFirstRecord = item(mnuView, "mnuFirstRecord", QStringLiteral("F&irst Record"), QKeySequence(QStringLiteral("Ctrl+I")));
    mnuLastRecord = item(mnuView, "mnuLastRecord", QStringLiteral("&Last Record"), QKeySequence(QStringLiteral("Ctrl+L")));
    mnuView->addSeparator();
    mnuResizeCols = item(mnuView, "mnuResizeCols", QStringLiteral("Resi&ze columns"), QKeySequence(QStringLiteral("Ctrl+Z")));
    checkable({mnuViewBrowser, mnuViewResults, mnuViewChart, mnuViewSummary, mnuViewXTab, mnuToolBarMain,
               mnuToolBarResults, mnuShowRowCount});
    for (QAction *a : {mnuViewResults, mnuViewChart, mnuViewSummary, mnuViewXTab, mnuShowRowCount, mnuFirstRecord,
                       mnuLastRecord, mnuResizeCols})
        a->setEnabled(false);

    mnuTool = bar->addMenu(QStringLiteral("&Tools"));
    mnuTool->setObjectName(QStringLiteral("mnuTool"));
    mnuShowQB = item(mnuTool, "mnuShowQB", QStringLiteral("Show Query &Builder"), QKeySequence(QStringLiteral("Ctrl+B")));
    mnuShowQB->setCheckable(true);
    mnuViewColumns = item(mnuTool, "mnuViewColumns", QStringLiteral("Vi&ew columns"), QKeySequence(QStringLiteral("Ctrl+E")));
    mnuSortRows = item(mnuTool, "mnuSortRows", QStringLiteral("Sort& rows"), QKeySequence(QStringLiteral("Ctrl+W")));
    mnuTool->addSeparator();
    mnuOptions = item(mnuTool, "mnuOptions", QStringLiteral("&Options"), QKeySequence(QStringLiteral("Ctrl+O")));

    mnuWindow = bar->addMenu(QStringLiteral("&Window"));
    mnuWindow->setObjectName(QStringLiteral("mnuWindow"));
    mnuWindows[0] = item(mnuWindow, "mnuWindows0", QStringLiteral("Tile &Horizontally"));
    mnuWindows[1] = item(mnuWindow, "mnuWindows1", QStringLiteral("Tile &Vertically"));
    mnuWindows[2] = item(mnuWindow, "mnuWindows2", QStringLiteral("&Cascade"));

    mnuHelp = bar->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuContents = item(mnuHelp, "mnuHelps0", QStringLiteral("Contents"), QKeySequence(Qt::Key_F1));
    mnuHelp->addSeparator();
    mnuWeb = submenu(mnuHelp, "mnuHelps2", QStringLiteral("Web"));
    mnuWebs[0] = item(mnuWeb, "mnuWebs0", QStringLiteral("Tabulon"));
    mnuWebs[1] = item(mnuWeb, "mnuWebs1", QStringLiteral("Harlund Software"));
    mnuWebs[2] = item(mnuWeb, "mnuWebs2", QStringLiteral("Harlund Support Forum"));
    mnuHelp->addSeparator();
    mnuAbout = item(mnuHelp, "mnuHelps4", QStringLiteral("&About..."));
}

bool mdiMain::Form_Load()
{
    try {
        setWindowTitle(Glob::ProductTitle());
        if (!Glob::acquireInstance())
            return false;
        Disable_Menu();
        hide();
        return true;
    } catch (const std::exception &e) {
        Glob::logError(QStringLiteral("Form_Load"), QString::fromLocal8Bit(e.what()));
        return true;
    }
}

bool mdiMain::Disable_Menu()
{
    try {
        for (QAction *a : {mnuItem->menuAction(), mnuSaveSQL, mnuPrint, mnuExportData, mnuViewResults, mnuViewChart,
                           mnuViewSummary, mnuViewXTab, mnuShowRowCount, mnuFirstRecord, mnuLastRecord,
                           mnuResizeCols, mnuToolBars->menuAction(), mnuSelectAll, mnuQuery->menuAction(), mnuFind,
                           mnuFindNext, mnuFindPrevious, mnuShowQB, mnuSortRows, mnuViewColumns})
            a->setEnabled(false);
        return true;
    } catch (const std::exception &e) {
        Glob::logError(QStringLiteral("Disable_Menu"), QString::fromLocal8Bit(e.what()));
        return false;
    }
}

namespace {

// A child window's own menu claims keys such as Ctrl+W that the main menu gives other commands.
// Its Close keeps Ctrl+F4 only, which nothing else uses.
void dropSystemMenuShortcuts(QMdiSubWindow *window)
{
    if (QMenu *menu = window->systemMenu()) {
        for (QAction *action : menu->actions()) {
            const bool closes = !action->shortcuts().isEmpty();
            action->setShortcut(closes ? QKeySequence(Qt::CTRL | Qt::Key_F4) : QKeySequence());
        }
    }
}

} // namespace

frmBrowser *mdiMain::showBrowser()
{
    if (m_browser)
        return m_browser;
    m_browser = new frmBrowser(*this);
    mdiArea->addSubWindow(m_browser);
    dropSystemMenuShortcuts(m_browser);
    // The frame is still minimised here, so the area gives no size to go by.
    m_browser->resize(m_browser->sizeHint().expandedTo(QSize(380, 520)));
    m_browser->Form_Load();
    m_browser->show();
    // Activation may come from the area already; the rules are idempotent.
    mdiArea->setActiveSubWindow(m_browser);
    if (mdiArea->currentSubWindow() == m_browser)
        m_browser->Form_Activate();
    return m_browser;
}

frmQuery *mdiMain::openQueryWindow()
{
    // Counted before the new one joins: its place follows the windows already open.
    const int others = int(queryWindows().size());
    auto *window = new frmQuery(*this);
    // Not deleted on close: the window destroys itself once its control has finished.
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_queries.append(window);
    connect(window, &QObject::destroyed, this, &mdiMain::queryWindowGone, Qt::QueuedConnection);
    connect(window, &QMdiSubWindow::windowStateChanged, this,
            [this, window](Qt::WindowStates oldState, Qt::WindowStates newState) {
                queryStateChanged(window, oldState, newState);
            });
    // Its own size, not the control's size hint: the normal geometry is what a window falls back
    // to when a maximised one closes or the windows are arranged. Placed before it joins the area:
    // once a native window lives in the frame (a 3-D chart), joining gives this one a native window
    // too, made at the size it has then, and the control's first show turns the event loop, which
    // hands that size back.
    const QRect place = placement::newWindow(queryArea(), others, cascadeStep());
    window->setGeometry(place);
    mdiArea->addSubWindow(window);
    dropSystemMenuShortcuts(window);
    // Again as a child of the area: joining it may move a window that was sized as a top level.
    window->setGeometry(place);
    const bool maximise = m_blnQueriesMaximised;
    if (maximise)
        window->showMaximized();
    else
        window->show();
    mdiArea->setActiveSubWindow(window);
    return window;
}

QRect mdiMain::queryArea() const
{
    const QRect area = mdiArea->viewport()->rect();
    std::optional<QRect> browser;
    if (m_browser && m_browser->isVisible() && !m_browser->isMinimized() && !m_browser->isMaximized())
        browser = m_browser->geometry();
    return placement::freeArea(area, browser);
}

int mdiMain::cascadeStep() const
{
    // One title bar: every cascaded window's title stays readable.
    QStyleOptionTitleBar option;
    option.initFrom(this);
    return std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, this), 16);
}

void mdiMain::queryStateChanged(frmQuery *window, Qt::WindowStates oldState, Qt::WindowStates newState)
{
    // Becoming active or inactive is a state change too, but no choice of the user's.
    if (!((oldState ^ newState) & Qt::WindowMaximized))
        return;
    if (!window || window->closing() || newState & Qt::WindowMinimized)
        return;
    // Moving from one maximised window to another restores the first and maximises the second,
    // in either order: what counts is whether one is maximised now.
    bool anyMaximised = bool(newState & Qt::WindowMaximized);
    for (frmQuery *w : queryWindows())
        anyMaximised = anyMaximised || (w != window && w->isMaximized());
    m_blnQueriesMaximised = anyMaximised;
}

frmBrowser *mdiMain::browserWindow() const
{
    return m_browser;
}

QList<frmQuery *> mdiMain::queryWindows() const
{
    QList<frmQuery *> list;
    for (const QPointer<frmQuery> &w : m_queries) {
        if (w && !w->closing())
            list.append(w);
    }
    return list;
}

QMdiSubWindow *mdiMain::currentChild() const
{
    QMdiSubWindow *w = mdiArea->currentSubWindow();
    if (auto *query = qobject_cast<frmQuery *>(w); query && query->closing())
        return nullptr;
    return w;
}

frmQuery *mdiMain::activeQueryWindow() const
{
    return qobject_cast<frmQuery *>(currentChild());
}

bool mdiMain::browserIsCurrent() const
{
    return m_browser && currentChild() == m_browser;
}

void mdiMain::subWindowActivated(QMdiSubWindow *window)
{
    if (auto *query = qobject_cast<frmQuery *>(window)) {
        if (!query->closing())
            query->Form_Activate();
    } else if (window && window == m_browser) {
        m_browser->Form_Activate();
    } else if (!currentChild()) {
        // No child is current any more (the last query window closed): no command has a target.
        Disable_Menu();
        mnuToolBars->menuAction()->setEnabled(false);
        mnuViewBrowser->setChecked(false);
    }
}

void mdiMain::queryClosing(frmQuery *window)
{
    // The hand-over is made here, while the closing window is still shown and current, and not
    // left to the area: once the window is hidden, the area's choice depends on where the
    // keyboard focus goes and on when the window is finally destroyed (a removed maximised child
    // maximises whichever window is activated next, even one the user clicks much later).
    if (!window || !window->isMaximized() || m_blnQuitConfirmed)
        return;
    const bool current = mdiArea->currentSubWindow() == window;
    // Restored first: the area then has no maximised window to pass on by itself.
    window->showNormal();
    if (!current)
        return;
    QMdiSubWindow *next = nullptr;
    const QList<QMdiSubWindow *> history = mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = history.crbegin(); it != history.crend() && !next; ++it) {
        auto *query = qobject_cast<frmQuery *>(*it);
        if (*it != window && (*it)->isVisible() && !(*it)->isMinimized() && !(query && query->closing()))
            next = *it;
    }
    if (!next)
        return;
    mdiArea->setActiveSubWindow(next);
    // The query window taking the closed one's place is maximised too; the browser keeps its size.
    if (qobject_cast<frmQuery *>(next) && m_blnQueriesMaximised)
        next->showMaximized();
}

void mdiMain::queryWindowGone()
{
    m_queries.removeAll(nullptr);
    if (!currentChild())
        subWindowActivated(nullptr);
}

void mdiMain::queryActivated(frmQuery *window)
{
    if (!window || window != activeQueryWindow())
        return;
    mnuItem->menuAction()->setEnabled(false);
    mnuToolBars->menuAction()->setEnabled(true);
    mnuViewBrowser->setChecked(false);
    // The control's own Options button says whether its options dialog is there to open.
    mnuOptions->setEnabled(window->control()->OptionsVisible() && window->control()->stOptions());
    queryViewChanged(window);
}

void mdiMain::queryViewChanged(frmQuery *window)
{
    // Only the current query window speaks for the menus: a window in the background (a timer,
    // an operation finishing) must not enable commands that would go elsewhere.
    if (!window || window != activeQueryWindow())
        return;
    const hlTabulon *c = window->control();
    const int view = c->stCurrentView();
    mnuExportData->setEnabled(c->stExportData());
    mnuSaveSQL->setEnabled(c->stSaveSQL());
    mnuPrint->setEnabled(c->stPrint());
    mnuViewResults->setEnabled(c->stviewResults());
    mnuViewChart->setEnabled(c->stViewChart());
    mnuViewSummary->setEnabled(c->stViewSummary());
    mnuViewXTab->setEnabled(c->stviewXTab());
    mnuViewResults->setChecked(view == hlTabulon::tbViewResults);
    mnuViewChart->setChecked(view == hlTabulon::tbViewChart);
    mnuViewSummary->setChecked(view == hlTabulon::tbViewSummary);
    mnuViewXTab->setChecked(view == hlTabulon::tbViewXTab);
    mnuQuery->menuAction()->setEnabled(c->stQueryClear());
    mnuQueryClear->setEnabled(c->stQueryClear());
    mnuToolBarMain->setChecked(c->ToolBarMain());
    mnuToolBarResults->setChecked(c->ToolBarResults());
    mnuFirstRecord->setEnabled(c->stMoveFirst());
    mnuLastRecord->setEnabled(c->stMoveLast());
    mnuResizeCols->setEnabled(c->stResizeCols());
    mnuSelectAll->setEnabled(c->stSelectAll());
    for (QAction *a : {mnuFind, mnuFindNext, mnuFindPrevious})
        a->setEnabled(c->stFind());
    mnuShowQB->setEnabled(c->stShowQB());
    mnuShowRowCount->setEnabled(c->stShowRowCount());
    // The mark shows the control's own setting, which its toolbar button can change too.
    mnuShowRowCount->setChecked(c->ShowRowCount());
    mnuSortRows->setEnabled(c->stShowSort());
    mnuViewColumns->setEnabled(c->stViewCols());
    mnuShowQB->setChecked(c->QBVisible());
}

void mdiMain::queryLoaded()
{
    mnuViewResults->setChecked(true);
}

void mdiMain::browserActivated()
{
    if (!browserIsCurrent())
        return;
    Disable_Menu();
    mnuToolBars->menuAction()->setEnabled(false);
    mnuViewBrowser->setChecked(true);
    mnuOptions->setEnabled(true);
    mnuItem->menuAction()->setEnabled(m_browser->control()->QueryTotal() > 0);
}

void mdiMain::browserRefreshed()
{
    if (!m_browser)
        return;
    mnuItem->menuAction()->setEnabled(m_browser->control()->QueryTotal() > 0);
    Glob::setShowSQL(m_browser->control()->stOpenSQL());
}

bool mdiMain::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        ui::MousePointer::setDefault();
    return QMainWindow::event(event);
}

void mdiMain::closeEvent(QCloseEvent *event)
{
    if (m_blnUnloaded) {
        event->accept();
        return;
    }
    if (!m_blnQuitConfirmed) {
        const ui::MsgResult answer = ui::Prompter::msgBox(QStringLiteral("Quit ") + Glob::ProductTitle(),
                                                          ui::MsgButtons::YesNo, ui::MsgIcon::Question, {}, this);
        if (answer != ui::MsgResult::Yes) {
            event->ignore();
            return;
        }
        m_blnQuitConfirmed = true;
        for (frmQuery *w : queryWindows())
            w->close();
    }
    // Query windows first, each after its running operation has stopped; the browser, which owns
    // their connections, only once every one of them is gone.
    m_queries.removeAll(nullptr);
    if (!m_queries.isEmpty()) {
        event->ignore();
        m_tmrQuit->start();
        return;
    }
    // A wait for the database on the stack (a connection being opened, a listing) returns first.
    if (db::Wait::depth() > 0) {
        event->ignore();
        m_tmrQuit->start();
        return;
    }
    m_tmrQuit->stop();
    if (m_browser)
        m_browser->unloadForExit();
    m_blnUnloaded = true;
    event->accept();
    emit unloaded();
}

void mdiMain::closeWithoutAsking()
{
    if (m_blnUnloaded)
        return;
    if (!m_blnQuitConfirmed) {
        m_blnQuitConfirmed = true;
        for (frmQuery *w : queryWindows())
            w->close();
    }
    close();
}

void mdiMain::unloadAll()
{
    m_tmrQuit->stop();
    for (const QPointer<frmQuery> &w : m_queries) {
        if (w) {
            // No busy control can be on the stack here: this is the end of the run.
            w->control()->UnloadFlter();
            delete w.data();
        }
    }
    m_queries.clear();
    if (m_browser) {
        m_browser->unloadForExit();
        delete m_browser.data();
    }
    m_blnUnloaded = true;
}
