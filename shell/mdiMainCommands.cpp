// The main window's commands: each acts on the frame, or is forwarded to the current query
// window's analysis control (by member name) or to the browser control (by dispatch identifier).
// A command with no target does nothing; the forwarded members report their own failures.
#include "mdiMain.h"

#include "Glob.h"
#include "frmBrowser.h"
#include "frmQuery.h"
#include "WindowPlacement.h"

#include "hlTabulon/LibraryState.h"
#include "hlTabulon/frmAbout.h"
#include "hlTabulon/hlTabulon.h"
#include "hlSourceBrowser/hlSourceBrowser.h"

#include "app/AppInfo.h"
#include "automation/Automation.h"
#include "ui/DesktopOpener.h"
#include "ui/PrinterService.h"
#include "ui/Prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

void mdiMain::connectCommands()
{
    connect(mnuItem, &QMenu::aboutToShow, this, &mdiMain::mnuItem_Click);
    const QAction *runs[] = {mnuOpen, mnuReturnAll, mnuReturnTop, mnuOpenQuery};
    for (int mode = 0; mode < 4; ++mode)
        connect(runs[mode], &QAction::triggered, this, [this, mode] { callBrowser("mnuOpen_Click", QStringLiteral("Run"), {mode}); });

    connect(mnuExportData, &QAction::triggered, this, [this] { callQuery("mnuExportData_Click", QStringLiteral("Export_Data")); });
    connect(mnuSaveSQL, &QAction::triggered, this, [this] { callQuery("mnuSaveSQL_Click", QStringLiteral("Save_SQL")); });
    connect(mnuPrint, &QAction::triggered, this, [this] { callQuery("mnuPrint_Click", QStringLiteral("Print_Grid")); });
    connect(mnuPrintSetup, &QAction::triggered, this, &mdiMain::mnuPrintSetup_Click);
    connect(mnuExit, &QAction::triggered, this, [this] { close(); });

    connect(mnuCut, &QAction::triggered, this, [this] { callQuery("mnuCut_Click", QStringLiteral("Copy_Sel"), {true}, nullptr, true); });
    connect(mnuCopy, &QAction::triggered, this, [this] { callQuery("mnuCopy_Click", QStringLiteral("Copy_Sel"), {}, nullptr, true); });
    connect(mnuPaste, &QAction::triggered, this, [this] { callQuery("mnuPaste_Click", QStringLiteral("Paste_Sel"), {}, nullptr, true); });
    connect(mnuSelectAll, &QAction::triggered, this, [this] { callQuery("mnuSelectAll_Click", QStringLiteral("Select_All")); });
    connect(mnuFind, &QAction::triggered, this, [this] { callQuery("mnuFind_Click", QStringLiteral("Show_Find")); });
    connect(mnuFindNext, &QAction::triggered, this, [this] { callQuery("mnuFindNext_Click", QStringLiteral("Find_Item"), {1}); });
    connect(mnuFindPrevious, &QAction::triggered, this, [this] { callQuery("mnuFindPrevious_Click", QStringLiteral("Find_Item"), {2}); });

    connect(mnuViewBrowser, &QAction::triggered, this, &mdiMain::mnuViewBrowser_Click);
    const QAction *views[] = {mnuViewResults, mnuViewChart, mnuViewSummary, mnuViewXTab};
    for (int view = 0; view < 4; ++view)
        connect(views[view], &QAction::triggered, this, [this, view] { mnuView_Click(view); });
    connect(mnuQueryOpen, &QAction::triggered, this, [this] { callQuery("mnuQueryOpen_Click", QStringLiteral("Open_SQL")); });
    connect(mnuQuerySave, &QAction::triggered, this, [this] { callQuery("mnuQuerySave_Click", QStringLiteral("Save_SQL")); });
    connect(mnuQueryClear, &QAction::triggered, this, [this] { callQuery("mnuQueryClear_Click", QStringLiteral("Clear_Query")); });
    connect(mnuRefresh, &QAction::triggered, this, &mdiMain::mnuRefresh_Click);
    connect(mnuToolBarMain, &QAction::triggered, this, [this] { toggleOnQuery(mnuToolBarMain, "mnuToolBarMain_Click", QStringLiteral("ToolBarMain")); });
    connect(mnuToolBarResults, &QAction::triggered, this, [this] { toggleOnQuery(mnuToolBarResults, "mnuToolBarResults_Click", QStringLiteral("ToolBarResults")); });
    connect(mnuShowRowCount, &QAction::triggered, this, [this] { toggleOnQuery(mnuShowRowCount, "mnuShowRowCount_Click", QStringLiteral("ShowRowCount")); });
    connect(mnuFirstRecord, &QAction::triggered, this, [this] { callQuery("mnuFirstRecord_Click", QStringLiteral("Move_Record"), {true}); });
    connect(mnuLastRecord, &QAction::triggered, this, [this] { callQuery("mnuLastRecord_Click", QStringLiteral("Move_Record"), {false}); });
    connect(mnuResizeCols, &QAction::triggered, this, [this] { callQuery("mnuResizeCols_Click", QStringLiteral("Resize_Cols")); });

    connect(mnuShowQB, &QAction::triggered, this, &mdiMain::mnuShowQB_Click);
    connect(mnuViewColumns, &QAction::triggered, this, [this] { callQuery("mnuViewColumns_Click", QStringLiteral("View_Columns")); });
    connect(mnuSortRows, &QAction::triggered, this, [this] { callQuery("mnuSortRows_Click", QStringLiteral("Show_Sort")); });
    connect(mnuOptions, &QAction::triggered, this, [] { Glob::Show_Options(); });

    connect(mnuWindow, &QMenu::aboutToShow, this, &mdiMain::fillWindowList);
    connect(mnuWindows[0], &QAction::triggered, this, [this] { tile(Qt::Horizontal); });
    connect(mnuWindows[1], &QAction::triggered, this, [this] { tile(Qt::Vertical); });
    connect(mnuWindows[2], &QAction::triggered, this, &mdiMain::cascade);

    connect(mnuContents, &QAction::triggered, this, &mdiMain::mnuContents_Click);
    const qint16 pages[] = {1, 0, 2};
    for (int i = 0; i < 3; ++i)
        connect(mnuWebs[i], &QAction::triggered, this, [page = pages[i]] { Glob::Show_Site(page); });
    connect(mnuAbout, &QAction::triggered, this, &mdiMain::mnuAbout_Click);
}

bool mdiMain::callQuery(const char *procedure, const QString &member, const QVariantList &args, QVariant *result,
                        bool quiet)
{
    frmQuery *window = activeQueryWindow();
    if (!window)
        return false;
    QString error;
    bool called = false;
    {
        // The window stays alive until this call has returned, even if it is closed meanwhile.
        Glob::RoutingScope routing;
        called = automation::callByName(window->control(), member, args, result, &error);
    }
    if (!called && !quiet)
        Glob::logError(QLatin1String(procedure), error);
    return called;
}

bool mdiMain::callBrowser(const char *procedure, const QString &member, const QVariantList &args)
{
    if (!m_browser)
        return false;
    QString error;
    const auto id = automation::dispIdOf(&hlSourceBrowser::staticMetaObject, member);
    const bool called = id && automation::callById(m_browser->control(), *id, args, nullptr, &error);
    if (!called)
        Glob::logError(QLatin1String(procedure), id ? error : QStringLiteral("member not found: ") + member);
    return called;
}

void mdiMain::toggleOnQuery(QAction *item, const char *procedure, const QString &property)
{
    frmQuery *window = activeQueryWindow();
    if (!window) {
        // Nothing to apply it to: the mark stays as it was.
        item->setChecked(!item->isChecked());
        return;
    }
    // A checkable action has toggled itself already: its state is the new one.
    callQuery(procedure, property, {item->isChecked()});
}

void mdiMain::mnuItem_Click()
{
    mnuOpenQuery->setVisible(Glob::showSQL());
}

void mdiMain::mnuView_Click(int view)
{
    frmQuery *window = activeQueryWindow();
    if (window) {
        const QPointer<frmQuery> guard(window);
        {
            Glob::RoutingScope routing;
            window->control()->setStCurrentView(static_cast<hlTabulon::tbView>(view));
        }
        // The marks show the view the control is in, also when it could not change.
        if (guard)
            view = window->control()->stCurrentView();
    }
    QAction *items[] = {mnuViewResults, mnuViewChart, mnuViewSummary, mnuViewXTab};
    for (int i = 0; i < 4; ++i)
        items[i]->setChecked(i == view);
}

void mdiMain::mnuViewBrowser_Click()
{
    mnuViewBrowser->setChecked(true);
    if (!m_browser)
        return;
    m_browser->showMaximized();
    mdiArea->setActiveSubWindow(m_browser);
}

void mdiMain::mnuRefresh_Click()
{
    if (browserIsCurrent())
        callBrowser("mnuRefresh_Click", QStringLiteral("Refresh"));
    else
        callQuery("mnuRefresh_Click", QStringLiteral("Refresh"));
}

void mdiMain::mnuShowQB_Click()
{
    frmQuery *window = activeQueryWindow();
    if (!window) {
        mnuShowQB->setChecked(false);
        return;
    }
    const QPointer<frmQuery> guard(window);
    callQuery("mnuShowQB_Click", QStringLiteral("Show_QueryBuilder"));
    mnuShowQB->setChecked(guard && window->control()->QBVisible());
}

void mdiMain::mnuPrintSetup_Click()
{
    try {
        ui::PrinterService::setup(this);
    } catch (...) {
        // Cancelling the dialog, or a printer system that is not there, changes nothing.
    }
}

void mdiMain::mnuContents_Click()
{
    const QString file = Glob::HelpFile();
    if (file.isEmpty() || !QFileInfo::exists(file)) {
        ui::Prompter::msgBox(QStringLiteral("The help file %1 could not be found.").arg(QDir::toNativeSeparators(file)),
                             ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
        return;
    }
    const ui::OpenResult opened = ui::DesktopOpener::openFile(file);
    if (!opened.ok)
        ui::Prompter::msgBox(QStringLiteral("The help file %1 could not be opened.\r\n%2")
                                 .arg(QDir::toNativeSeparators(file), opened.error),
                             ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
}

void mdiMain::mnuAbout_Click()
{
    frmAbout about(this);
    // The window shows the version of the deliverable that opens it.
    about.lblVersion->setText(QStringLiteral("Version ") + app::appInfo(QStringLiteral("Tabulon")).versionText());
    analysis::runModal(about);
}

void mdiMain::fillWindowList()
{
    // The list of open child windows follows the three arranging commands.
    const QList<QAction *> actions = mnuWindow->actions();
    for (int i = 3; i < actions.size(); ++i) {
        mnuWindow->removeAction(actions.at(i));
        if (actions.at(i)->parent() == this)
            actions.at(i)->deleteLater();
    }
    QList<QMdiSubWindow *> children;
    for (QMdiSubWindow *w : mdiArea->subWindowList()) {
        auto *query = qobject_cast<frmQuery *>(w);
        if (!w->isHidden() && !(query && query->closing()))
            children.append(w);
    }
    if (children.isEmpty())
        return;
    QAction *separator = mnuWindow->addSeparator();
    separator->setParent(this);
    int n = 0;
    for (QMdiSubWindow *w : children) {
        // A title's own ampersands are text, not the entry's shortcut.
        QString title = w->windowTitle();
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        auto *a = new QAction(QStringLiteral("&%1 %2").arg(++n).arg(title), this);
        a->setCheckable(true);
        a->setChecked(w == currentChild());
        const QPointer<QMdiSubWindow> target(w);
        connect(a, &QAction::triggered, this, [this, target] {
            if (!target)
                return;
            if (target->isMinimized())
                target->showNormal();
            mdiArea->setActiveSubWindow(target);
        });
        mnuWindow->addAction(a);
    }
}

QList<QMdiSubWindow *> mdiMain::arrangeable() const
{
    QList<QMdiSubWindow *> windows;
    for (QMdiSubWindow *w : mdiArea->subWindowList(QMdiArea::StackingOrder)) {
        auto *query = qobject_cast<frmQuery *>(w);
        if (!w->isHidden() && !w->isMinimized() && !(query && query->closing()))
            windows.append(w);
    }
    return windows;
}

void mdiMain::tile(Qt::Orientation orientation)
{
    const QList<QMdiSubWindow *> windows = arrangeable();
    const QList<QRect> places = placement::tile(mdiArea->viewport()->rect(), int(windows.size()), orientation);
    for (int i = 0; i < windows.size(); ++i) {
        if (windows.at(i)->isMaximized())
            windows.at(i)->showNormal();
        windows.at(i)->setGeometry(places.at(i));
    }
}

void mdiMain::cascade()
{
    // The window on top stays on top, at the end of the cascade.
    const QList<QMdiSubWindow *> windows = arrangeable();
    const QList<QRect> places = placement::cascade(mdiArea->viewport()->rect(), int(windows.size()), cascadeStep());
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *w = windows.at(i);
        if (w->isMaximized())
            w->showNormal();
        w->setGeometry(places.at(i));
        w->raise();
    }
}
