#include "ShellTestSupport.h"
#include "WindowPlacement.h"

#include "core/OperationFrame.h"
#include "grid/Grid.h"
#include "ui/StatusPanels.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

using shelltest::pump;
using shelltest::ShellTest;

namespace {

class QueryWindowsTest : public ShellTest {
protected:
    static grid::Grid *results(frmQuery *w) { return w->control()->findChild<grid::Grid *>(QStringLiteral("grdResults")); }
    static QPlainTextEdit *sqlBox(frmQuery *w)
    {
        return w->control()->findChild<QPlainTextEdit *>(QStringLiteral("txtResultsSQL"));
    }
    // Key presses as the user types them into the frame (its shortcuts need it active).
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QApplication::setActiveWindow(main);
        QTest::keyClick(main, Qt::Key(key), modifiers);
        pump(20);
    }
};

TEST_F(QueryWindowsTest, EachLaunchOpensItsOwnWindowWithItsOwnQuery)
{
    start();
    frmQuery *customers = launch(QStringLiteral("Customers"));
    frmQuery *products = launch(QStringLiteral("Products"), false, true);
    ASSERT_NE(customers, nullptr);
    ASSERT_NE(products, nullptr);
    ASSERT_NE(customers, products);
    EXPECT_EQ(main->queryWindows().size(), 2);

    EXPECT_EQ(customers->windowTitle(), QStringLiteral("Sample : Tables : Customers"));
    EXPECT_EQ(products->windowTitle(), QStringLiteral("Sample : Tables : Products"));
    EXPECT_EQ(sqlBox(customers)->toPlainText(), QStringLiteral("SELECT * \nFROM \"Customers\""));
    EXPECT_EQ(sqlBox(products)->toPlainText(), QStringLiteral("SELECT * \nFROM \"Products\""));
    EXPECT_TRUE(customers->control()->Results());
    EXPECT_FALSE(products->control()->Results());
    EXPECT_FALSE(customers->control()->stOpenSQL());
    EXPECT_TRUE(products->control()->stOpenSQL());
    EXPECT_TRUE(customers->control()->OptionsVisible());
    // The browser's empty delimiter reached the controls empty: each chose its own quote, and no
    // apostrophe was ever handed out as a delimiter.
    EXPECT_TRUE(analysis::g_strDelimiter.isEmpty());
    // Both share the browser's connection; neither owns it.
    EXPECT_EQ(Glob::pendingQuery().Connection, sampleConnection());

    // A query change in the first window keeps the first window's own name.
    emit customers->control()->QuerySelected(QStringLiteral("orders.sql"));
    EXPECT_EQ(customers->windowTitle(), QStringLiteral("Sample : Tables : Customers | orders.sql"));
    EXPECT_EQ(products->windowTitle(), QStringLiteral("Sample : Tables : Products"));
    // Failures of a control reach the shell's error window unchanged.
    emit products->control()->Faultdesk(QStringLiteral("Refresh_Results"), QStringLiteral("no such table"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].procedure, QStringLiteral("Refresh_Results"));
    EXPECT_EQ(errors[0].description, QStringLiteral("no such table"));
}

TEST_F(QueryWindowsTest, TheAdministratorsOpenSqlSettingCannotBeBypassed)
{
    start();
    browser::browserSettings().OpenSQL = false;
    emit browserControl()->Refreshed();
    // As File > Item > Open launches: show the SQL, do not run.
    frmQuery *w = launch(QStringLiteral("Orders"), false, true);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->control()->stOpenSQL());
    EXPECT_TRUE(sqlBox(w)->isReadOnly());

    browser::browserSettings().OpenSQL = true;
    emit browserControl()->Refreshed();
    emit main->mnuItem->aboutToShow();
    EXPECT_TRUE(main->mnuOpenQuery->isVisible());
    browser::browserSettings().OpenSQL = false;
    emit browserControl()->Refreshed();
    emit main->mnuItem->aboutToShow();
    EXPECT_FALSE(main->mnuOpenQuery->isVisible());
}

TEST_F(QueryWindowsTest, TheEditableQueryWindowOpensReadyToWriteIn)
{
    start();
    main->showNormal();
    main->resize(1400, 900);
    pump(50);
    browser::browserSettings().OpenSQL = true;
    emit browserControl()->Refreshed();
    {
        // A 3-D chart shown once embeds a native window, which makes the frame's windows native
        // from then on.
        frmQuery *charted = launch(QStringLiteral("Shippers"));
        ASSERT_NE(charted, nullptr);
        QWidget::createWindowContainer(new QWindow, charted->control())->show();
        pump(20);
        charted->close();
        pump(2000, [&] { return main->queryWindows().isEmpty(); });
    }
    // A new window's native window is made at the size the window has then, and the control's
    // first show turns the event loop, which may hand that size back: it must be the placed size.
    struct NativeSize : QObject {
        QSize size;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::WinIdChange && qobject_cast<frmQuery *>(o) && !size.isValid())
                size = static_cast<QWidget *>(o)->size();
            return false;
        }
    } native;
    qApp->installEventFilter(&native);
    frmQuery *w = launch(QStringLiteral("Orders"), false, true);
    qApp->removeEventFilter(&native);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(native.size, w->size()) << "made native at a title bar's size";
    const QSize usable = placement::usableSize(main->mdiArea->viewport()->rect());
    EXPECT_GE(w->width(), usable.width());
    EXPECT_GE(w->height(), usable.height());
    QPlainTextEdit *box = sqlBox(w);
    ASSERT_FALSE(box->isReadOnly());
    const int fourLines = QFontMetrics(box->font()).lineSpacing() * 4;
    EXPECT_GE(box->viewport()->height(), fourLines) << "the whole query and room to write, not one line";
    // Nothing has run: the status names no column (there is no grid of results yet).
    auto *status = w->control()->findChild<ui::StatusPanels *>(QStringLiteral("staStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->Panels(4).Text().trimmed().isEmpty()) << status->Panels(4).Text();

    // The keyboard is in the box; what is typed goes into the query.
    box->setFocus();
    box->moveCursor(QTextCursor::End);
    QTest::keyClicks(box, QStringLiteral(" WHERE 1 = 1"));
    EXPECT_TRUE(box->toPlainText().endsWith(QStringLiteral(" WHERE 1 = 1")));
    // A small window keeps the lines; a read-only box gives its room to the grid as before.
    w->resize(600, 260);
    pump(20);
    EXPECT_GE(box->viewport()->height(), fourLines);
    browser::browserSettings().OpenSQL = false;
    emit browserControl()->Refreshed();
    frmQuery *table = launch(QStringLiteral("Customers"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(sqlBox(table)->minimumHeight(), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(QueryWindowsTest, BrowserEventsReachTheMenusAndTheErrorWindow)
{
    start();
    // Nothing listed: each Refreshed leaves File > Item off.
    ASSERT_EQ(browserControl()->QueryTotal(), 0);
    emit browserControl()->Refreshed();
    EXPECT_FALSE(main->mnuItem->menuAction()->isEnabled());
    emit browserControl()->Faultdesk(QStringLiteral("Connect_DataSource"), QStringLiteral("unable to open database"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].procedure, QStringLiteral("Connect_DataSource"));
    EXPECT_EQ(errors[0].description, QStringLiteral("unable to open database"));
    // A launch without a connection object still gets one, unopened, of its own.
    emit browserControl()->RunQuery(nullptr, QString(), QStringLiteral("Sample"), 0, 0, false, true, QString(), true);
    ASSERT_EQ(main->queryWindows().size(), 1);
    EXPECT_NE(Glob::pendingQuery().Connection, nullptr);
    EXPECT_EQ(main->queryWindows().front()->windowTitle(), QStringLiteral("Sample"));
}

TEST_F(QueryWindowsTest, MenusFollowOnlyTheCurrentQueryWindow)
{
    start();
    frmQuery *run = launch(QStringLiteral("Customers"));
    frmQuery *idle = launch(QStringLiteral("Products"), false, true);
    ASSERT_TRUE(run && idle);

    activate(run);
    EXPECT_TRUE(main->mnuLastRecord->isEnabled());
    EXPECT_TRUE(main->mnuSelectAll->isEnabled());
    EXPECT_TRUE(main->mnuViewResults->isChecked());
    EXPECT_FALSE(main->mnuItem->menuAction()->isEnabled());
    EXPECT_TRUE(main->mnuToolBars->menuAction()->isEnabled());
    EXPECT_FALSE(main->mnuViewBrowser->isChecked());
    // Offered as far as the window's own Options button is (off until its dialog is there).
    EXPECT_EQ(main->mnuOptions->isEnabled(), run->control()->stOptions());

    activate(idle);
    EXPECT_FALSE(main->mnuLastRecord->isEnabled());
    // The window in the background speaks, the menus stay with the current one.
    emit run->control()->ViewChanged();
    EXPECT_FALSE(main->mnuLastRecord->isEnabled());

    // With the browser current every query command is off, whatever a query window says.
    activate(main->browserWindow());
    EXPECT_TRUE(main->browserIsCurrent());
    emit run->control()->ViewChanged();
    for (QAction *a : {main->mnuLastRecord, main->mnuFirstRecord, main->mnuSelectAll, main->mnuFind,
                       main->mnuFindNext, main->mnuResizeCols, main->mnuToolBars->menuAction()})
        EXPECT_FALSE(a->isEnabled()) << a->objectName();
    EXPECT_TRUE(main->mnuViewBrowser->isChecked());
    // With no query window as target, a query command does nothing.
    const int row = results(run)->Row();
    main->mnuLastRecord->trigger();
    EXPECT_EQ(results(run)->Row(), row);
    EXPECT_TRUE(errors.empty());

    // A query window that may not show options leaves Tools > Options off while it is current.
    frmQuery *locked = launch(QStringLiteral("Regions"), true, false, false);
    ASSERT_NE(locked, nullptr);
    activate(locked);
    EXPECT_FALSE(main->mnuOptions->isEnabled());
    activate(main->browserWindow());
    EXPECT_TRUE(main->mnuOptions->isEnabled());
}

TEST_F(QueryWindowsTest, CommandsGoToTheCurrentQueryWindow)
{
    start();
    frmQuery *customers = launch(QStringLiteral("Customers"));
    frmQuery *products = launch(QStringLiteral("Products"));
    ASSERT_TRUE(customers && products);
    grid::Grid *c = results(customers);
    grid::Grid *p = results(products);
    ASSERT_GT(c->Rows(), 4);
    ASSERT_GT(p->Rows(), 4);

    // Last Record moves the current window's grid only.
    activate(customers);
    const int productsRow = p->Row();
    main->mnuLastRecord->trigger();
    EXPECT_EQ(c->Row(), c->Rows() - 1);
    EXPECT_EQ(p->Row(), productsRow);

    // Find Next searches onward in the current window only.
    activate(products);
    p->setRow(1);
    p->setCol(1);
    const QString wanted = p->TextMatrix(3, 1);
    analysis::options().FindText = wanted;
    c->setRow(1);
    main->mnuFindNext->trigger();
    EXPECT_EQ(p->TextMatrix(p->Row(), p->Col()), wanted);
    EXPECT_GT(p->Row(), 1);
    EXPECT_EQ(c->Row(), 1);

    // Cut takes the current window's selection: here the text selected in its SQL box.
    QApplication::setActiveWindow(main);
    sqlBox(products)->setFocus();
    sqlBox(products)->selectAll();
    ASSERT_TRUE(sqlBox(products)->hasFocus());
    QApplication::clipboard()->clear();
    main->mnuCut->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("SELECT * \r\nFROM \"Products\""));

    // F5 refreshes the current window's view only.
    QSignalSpy customersChanged(customers->control(), &hlTabulon::ViewChanged);
    QSignalSpy productsChanged(products->control(), &hlTabulon::ViewChanged);
    press(Qt::Key_F5);
    EXPECT_GE(productsChanged.count(), 1);
    EXPECT_EQ(customersChanged.count(), 0);

    // Query > Open reads the chosen file into the current window.
    const QString file = dir.filePath(QStringLiteral("cheap.sql"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("SELECT * FROM \"Products\" WHERE \"UnitPrice\" < 10");
    }
    ui::CommonDialog::queueFile(file);
    main->mnuQueryOpen->trigger();
    EXPECT_EQ(sqlBox(products)->toPlainText(), QStringLiteral("SELECT * FROM \"Products\" WHERE \"UnitPrice\" < 10"));
    EXPECT_EQ(sqlBox(customers)->toPlainText(), QStringLiteral("SELECT * \nFROM \"Customers\""));
    EXPECT_TRUE(errors.empty()) << errors.front().procedure << ": " << errors.front().description;
}

TEST_F(QueryWindowsTest, TheBrowserTakesRefreshAndOptionsWhenCurrent)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    QSignalSpy queryChanged(w->control(), &hlTabulon::ViewChanged);

    activate(main->browserWindow());
    hlSourceBrowser *b = browserControl();
    QTreeWidgetItem *source = b->dataSourceNode(1);
    ASSERT_NE(source, nullptr);
    source->setExpanded(true);
    QTreeWidgetItem *tables = nullptr;
    for (int i = 0; i < source->childCount(); ++i)
        if (source->child(i)->text(0) == QStringLiteral("Tables"))
            tables = source->child(i);
    ASSERT_NE(tables, nullptr);
    b->tvwData->setCurrentItem(tables);
    b->tvwData_NodeClick(tables);
    ASSERT_GT(b->QueryTotal(), 0);
    // A filled list offers File > Item.
    EXPECT_TRUE(main->mnuItem->menuAction()->isEnabled());

    QSignalSpy refreshed(b, &hlSourceBrowser::Refreshed);
    press(Qt::Key_F5);
    EXPECT_GE(refreshed.count(), 1);
    EXPECT_EQ(queryChanged.count(), 0);

    press(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(browserDialogs.size(), 1u);
    EXPECT_TRUE(modals.empty());

    // The same keys with the query window current go to its control.
    activate(w);
    press(Qt::Key_F5);
    EXPECT_GE(queryChanged.count(), 1);
    EXPECT_EQ(browserDialogs.size(), 1u);
}

TEST_F(QueryWindowsTest, FileItemLaunchesTheBrowsersSelectionIntoANewWindow)
{
    start();
    activate(main->browserWindow());
    hlSourceBrowser *b = browserControl();
    QTreeWidgetItem *source = b->dataSourceNode(1);
    ASSERT_NE(source, nullptr);
    source->setExpanded(true);
    for (int i = 0; i < source->childCount(); ++i) {
        if (source->child(i)->text(0) == QStringLiteral("Tables")) {
            b->tvwData->setCurrentItem(source->child(i));
            b->tvwData_NodeClick(source->child(i));
        }
    }
    ASSERT_GT(b->QueryTotal(), 0);
    main->mnuReturnAll->trigger();
    ASSERT_EQ(main->queryWindows().size(), 1);
    frmQuery *w = main->queryWindows().front();
    EXPECT_TRUE(w->windowTitle().startsWith(QStringLiteral("Sample : Tables : ")));
    EXPECT_TRUE(pump(5000, [w] { return w->control()->Results(); }));
    EXPECT_FALSE(w->control()->stOpenSQL());
    EXPECT_TRUE(errors.empty()) << errors.front().procedure << ": " << errors.front().description;

    // With an object of the list clicked, a Window command chosen from the menu bar with the keys
    // does only what it says: the Enter that chose it is released over the list once the menu has
    // closed, and that launches nothing.
    w->showMinimized();
    activate(main->browserWindow());
    main->show();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    auto *list = b->findChild<QAbstractItemView *>(QStringLiteral("lvwDataIcons"));
    ASSERT_NE(list, nullptr);
    const QModelIndexList orders =
        list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("Orders"), 1, Qt::MatchExactly);
    ASSERT_EQ(orders.size(), 1);
    list->scrollTo(orders[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(orders[0]).center());
    ASSERT_TRUE(list->hasFocus());
    ASSERT_EQ(list->currentIndex(), orders[0]);
    const QRect browserBefore = main->browserWindow()->geometry();
    QWindow *frame = main->windowHandle();
    QTest::keyClick(frame, Qt::Key_W, Qt::AltModifier);
    ASSERT_TRUE(pump(2000, [] { return QApplication::activePopupWidget() != nullptr; }));
    EXPECT_EQ(QApplication::activePopupWidget(), main->mnuWindow);
    QTest::keyClick(frame, Qt::Key_Down);
    QTest::keyClick(frame, Qt::Key_Down);
    EXPECT_EQ(main->mnuWindow->activeAction(), main->mnuWindows[2]);
    QTest::keyPress(frame, Qt::Key_Return);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    QTest::keyRelease(frame, Qt::Key_Return);
    pump(50);
    EXPECT_NE(main->browserWindow()->geometry(), browserBefore) << "Cascade was not chosen";
    EXPECT_EQ(main->queryWindows().size(), 1);
    EXPECT_TRUE(errors.empty()) << errors.front().procedure << ": " << errors.front().description;
}

TEST_F(QueryWindowsTest, CheckMarksFollowTheControl)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    activate(w);
    hlTabulon *c = w->control();

    ASSERT_TRUE(c->ToolBarMain());
    EXPECT_TRUE(main->mnuToolBarMain->isChecked());
    main->mnuToolBarMain->trigger();
    EXPECT_FALSE(main->mnuToolBarMain->isChecked());
    EXPECT_FALSE(c->ToolBarMain());
    main->mnuToolBarMain->trigger();
    EXPECT_TRUE(c->ToolBarMain());

    // Show Row Count: the menu toggles the control, and the control's own change shows in the menu.
    const bool before = c->ShowRowCount();
    EXPECT_EQ(main->mnuShowRowCount->isChecked(), before);
    main->mnuShowRowCount->trigger();
    EXPECT_EQ(c->ShowRowCount(), !before);
    EXPECT_EQ(main->mnuShowRowCount->isChecked(), !before);
    c->setShowRowCount(before);
    emit c->ViewChanged();
    EXPECT_EQ(main->mnuShowRowCount->isChecked(), before);

    // Choosing the same view twice leaves one mark, on that view.
    main->mnuViewResults->trigger();
    main->mnuViewResults->trigger();
    EXPECT_TRUE(main->mnuViewResults->isChecked());
    for (QAction *a : {main->mnuViewChart, main->mnuViewSummary, main->mnuViewXTab})
        EXPECT_FALSE(a->isChecked());
}

TEST_F(QueryWindowsTest, TheWindowMenuArrangesAndListsTheChildren)
{
    start();
    frmQuery *a = launch(QStringLiteral("Customers"), false);
    frmQuery *b = launch(QStringLiteral("Products"), false);
    ASSERT_TRUE(a && b);
    main->browserWindow()->showMinimized();
    // Room for two usable bands either way.
    main->showNormal();
    main->resize(1400, 1100);
    pump(50);

    main->mnuWindows[1]->trigger();
    EXPECT_EQ(a->y(), b->y());
    EXPECT_NE(a->x(), b->x());
    EXPECT_FALSE(a->geometry().intersects(b->geometry()));
    main->mnuWindows[0]->trigger();
    EXPECT_EQ(a->x(), b->x());
    EXPECT_NE(a->y(), b->y());
    EXPECT_FALSE(a->geometry().intersects(b->geometry()));

    emit main->mnuWindow->aboutToShow();
    QStringList listed;
    for (QAction *act : main->mnuWindow->actions())
        if (act->isCheckable())
            listed << act->text();
    EXPECT_TRUE(listed.filter(QStringLiteral("Customers")).size() == 1) << listed.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(listed.filter(QStringLiteral("Products")).size() == 1);
    EXPECT_TRUE(listed.filter(QStringLiteral("Data Sources")).size() == 1);

    // A title's ampersand is listed as written, not taken for the entry's shortcut.
    b->setWindowTitle(QStringLiteral("R&D : Tables : Products"));
    emit main->mnuWindow->aboutToShow();
    QStringList shown;
    for (QAction *act : main->mnuWindow->actions())
        if (act->isCheckable())
            shown << act->iconText();
    EXPECT_EQ(shown.filter(QStringLiteral("R&D : Tables : Products")).size(), 1) << shown.join(QLatin1Char(',')).toStdString();
}

TEST_F(QueryWindowsTest, RestoringAMinimisedWindowKeepsItsPlaceInsteadOfRunningAgain)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    activate(w);
    main->mnuLastRecord->trigger();
    grid::Grid *g = results(w);
    const int last = g->Rows() - 1;
    ASSERT_EQ(g->Row(), last);
    QSignalSpy changed(w->control(), &hlTabulon::ViewChanged);

    w->showMinimized();
    pump(50);
    w->showNormal();
    activate(w);
    pump(300);
    EXPECT_EQ(g->Row(), last);
    EXPECT_EQ(g->Rows() - 1, last);
    EXPECT_TRUE(w->control()->Results());
}

TEST_F(QueryWindowsTest, ClosingABusyWindowStopsItsOperationAndTearsDownAfterwards)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    activate(w);
    const QPointer<frmQuery> window(w);
    const QPointer<hlTabulon> control(w->control());
    bool stopped = false;
    {
        // A long operation of the control, yielding to the event loop as its loops do.
        analysis::OperationFrame frame(*control, analysis::OperationFrame::Finding, QStringLiteral("Searching ..."));
        QTimer::singleShot(0, w, [w] { w->close(); });
        for (int i = 0; i < 200 && !stopped; ++i) {
            stopped = frame.step(true);
            QTest::qSleep(2);
        }
        // Closed mid-loop: asked to stop, out of the menus' reach, but not destroyed under us.
        EXPECT_TRUE(stopped);
        EXPECT_TRUE(window);
        EXPECT_TRUE(control);
        EXPECT_TRUE(main->queryWindows().isEmpty());
        EXPECT_EQ(main->activeQueryWindow(), nullptr);
        pump(100);
        EXPECT_TRUE(window);
    }
    // The loop has ended: the window goes.
    EXPECT_TRUE(pump(2000, [&] { return !window; }));
    EXPECT_FALSE(control);
    EXPECT_TRUE(errors.empty());
}

TEST_F(QueryWindowsTest, QuittingWhileBusyWaitsForTheOperationBeforeTheBrowserCloses)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    activate(w);
    const QPointer<frmQuery> window(w);
    QSignalSpy unloaded(main, &mdiMain::unloaded);
    {
        analysis::OperationFrame frame(*w->control(), analysis::OperationFrame::Copying, QStringLiteral("Copying ..."));
        ui::Prompter::queueAnswer(ui::MsgResult::Yes);
        QTimer::singleShot(0, main, [this] { main->close(); });
        bool stopped = false;
        for (int i = 0; i < 200 && !stopped; ++i)
            stopped = frame.step(true);
        EXPECT_TRUE(stopped);
        pump(100);
        // The connections stay open for the running loop: the browser has not gone yet.
        EXPECT_EQ(unloaded.count(), 0);
        EXPECT_TRUE(window);
        EXPECT_TRUE(main->browserWindow() != nullptr);
    }
    EXPECT_TRUE(pump(2000, [&] { return unloaded.count() == 1; }));
    EXPECT_FALSE(window);
    EXPECT_FALSE(main->isVisible());
}

} // namespace
