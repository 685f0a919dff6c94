#pragma once

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QVariantList>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class frmBrowser;
class frmQuery;
class hlTabulon;

// The main window: the frame of every child window and the program's only menu bar. Commands act
// on the frame, or go to the current query window's analysis control or to the browser control.
// The menus follow the current child: its activation and the current query control's ViewChanged.
class mdiMain : public QMainWindow {
    Q_OBJECT

public:
    explicit mdiMain(QWidget *parent = nullptr);
    ~mdiMain() override;

    // The load: caption, the one-copy check, menus off, hidden. False when another copy of the
    // program runs: this one is to end.
    bool Form_Load();
    // Disables every command that needs a query window.
    Q_INVOKABLE bool Disable_Menu();

    // The browser window of the run, created and shown (its load initialises the browser).
    frmBrowser *showBrowser();
    frmBrowser *browserWindow() const;
    // A new query window on the pending query; the query window's load reads it.
    frmQuery *openQueryWindow();
    // Open query windows, oldest first; windows being torn down are not listed.
    QList<frmQuery *> queryWindows() const;

    // The current child window, and the query window among them when it is one (not closing).
    QMdiSubWindow *currentChild() const;
    frmQuery *activeQueryWindow() const;
    bool browserIsCurrent() const;

    // --- rules the child windows apply ---
    // A query window became current: its control's states, Item off, Toolbars on, Browser unchecked.
    void queryActivated(frmQuery *window);
    // The ViewChanged rules, from the current query window only.
    void queryViewChanged(frmQuery *window);
    // A query window was loaded: Results gets its check mark.
    void queryLoaded();
    // A query window is closing (already marked so). If it was the maximised current window, the
    // window it was activated after becomes current, maximised when it is a query window.
    void queryClosing(frmQuery *window);
    // The browser became current: every query command off.
    void browserActivated();
    // The browser's Refreshed: Item follows its object count; the show-SQL flag its setting.
    void browserRefreshed();

    // Ends the run without the quit question (tests, and End): windows down in order.
    void unloadAll();
    // Closes as the close box does once the quit question is answered Yes, asking nothing (no one
    // is there to answer: SIGTERM): each query window stops its operation first, and unloaded()
    // follows.
    void closeWithoutAsking();

    // Query windows open maximised while the user keeps them so.
    bool queriesMaximised() const { return m_blnQueriesMaximised; }
    // The area a new query window opens in: what the browser leaves free.
    QRect queryArea() const;
    // Window > Cascade and Window > Tile.
    void cascade();
    void tile(Qt::Orientation orientation);

    QMdiArea *mdiArea = nullptr;

    // --- menus (names as the commands know them) ---
    QMenu *mnuFile = nullptr;
    QMenu *mnuItem = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuReturnAll = nullptr;
    QAction *mnuReturnTop = nullptr;
    QAction *mnuOpenQuery = nullptr;
    QAction *mnuExportData = nullptr;
    QAction *mnuSaveSQL = nullptr;
    QAction *mnuPrintPreview = nullptr;
    QAction *mnuPrint = nullptr;
    QAction *mnuPrintSetup = nullptr;
    QAction *mnuExit = nullptr;

    QMenu *mnuEdit = nullptr;
    QAction *mnuCut = nullptr;
    QAction *mnuCopy = nullptr;
    QAction *mnuPaste = nullptr;
    QAction *mnuSelectAll = nullptr;
    QAction *mnuFind = nullptr;
    QAction *mnuFindNext = nullptr;
    QAction *mnuFindPrevious = nullptr;

    QMenu *mnuView = nullptr;
    QAction *mnuViewBrowser = nullptr;
    QAction *mnuViewResults = nullptr;
    QAction *mnuViewChart = nullptr;
    QAction *mnuViewSummary = nullptr;
    QAction *mnuViewXTab = nullptr;
    QMenu *mnuQuery = nullptr;
    QAction *mnuQueryOpen = nullptr;
    QAction *mnuQuerySave = nullptr;
    QAction *mnuQueryClear = nullptr;
    QAction *mnuRefresh = nullptr;
    QMenu *mnuToolBars = nullptr;
    QAction *mnuToolBarMain = nullptr;
    QAction *mnuToolBarResults = nullptr;
    QAction *mnuShowRowCount = nullptr;
    QAction *mnuFirstRecord = nullptr;
    QAction *mnuLastRecord = nullptr;
    QAction *mnuResizeCols = nullptr;

    QMenu *mnuTool = nullptr;
    QAction *mnuShowQB = nullptr;
    QAction *mnuViewColumns = nullptr;
    QAction *mnuSortRows = nullptr;
    QAction *mnuOptions = nullptr;

    QMenu *mnuWindow = nullptr;
    QAction *mnuWindows[3] = {nullptr, nullptr, nullptr};

    QMenu *mnuHelp = nullptr;
    QAction *mnuContents = nullptr; // mnuHelps: Contents
    QMenu *mnuWeb = nullptr;        // mnuHelps: Web
    QAction *mnuWebs[3] = {nullptr, nullptr, nullptr};
    QAction *mnuAbout = nullptr; // mnuHelps: About...

signals:
    // The frame has unloaded after the quit question: the run is over.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void createMenus();
    void connectCommands();
    void subWindowActivated(QMdiSubWindow *window);
    void fillWindowList();
    void queryWindowGone();
    void queryStateChanged(frmQuery *window, Qt::WindowStates oldState, Qt::WindowStates newState);
    // The child windows the arranging commands move: shown, not minimised, not closing.
    QList<QMdiSubWindow *> arrangeable() const;
    int cascadeStep() const;

    // Forwarding to the current query window's control, by member name. No target: nothing
    // happens. A call the control could not take is reported under `procedure` unless `quiet`.
    bool callQuery(const char *procedure, const QString &member, const QVariantList &args = {},
                   QVariant *result = nullptr, bool quiet = false);
    // Forwarding to the browser control, by its dispatch identifiers.
    bool callBrowser(const char *procedure, const QString &member, const QVariantList &args = {});
    // The check box commands: the mark toggles, then the control takes the new state.
    void toggleOnQuery(QAction *item, const char *procedure, const QString &property);

    // The commands.
    void mnuItem_Click();
    void mnuView_Click(int view);
    void mnuViewBrowser_Click();
    void mnuRefresh_Click();
    void mnuShowQB_Click();
    void mnuPrintSetup_Click();
    void mnuContents_Click();
    void mnuAbout_Click();

    QPointer<frmBrowser> m_browser;
    QList<QPointer<frmQuery>> m_queries;
    QTimer *m_tmrQuit = nullptr;
    bool m_blnQuitConfirmed = false;
    bool m_blnUnloaded = false;
    bool m_blnQueriesMaximised = false;
};
