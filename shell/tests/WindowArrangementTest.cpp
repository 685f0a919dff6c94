// Where query windows open and how the Window menu arranges them: every window stays usable.
#include "ShellTestSupport.h"
#include "WindowPlacement.h"
#include "grid/GridView.h"
#include "grid/Grid.h"

#include <QApplication>
#include <QComboBox>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QWindow>

using shelltest::pump;
using shelltest::ShellTest;

namespace {

// No rectangle outside the area, none smaller than a usable window.
void expectUsable(const QList<QRect> &rects, const QRect &area)
{
    const QSize usable = placement::usableSize(area);
    for (const QRect &r : rects) {
        EXPECT_TRUE(area.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        EXPECT_GE(r.width(), usable.width());
        EXPECT_GE(r.height(), usable.height());
    }
}

} // namespace

TEST(WindowPlacement, NewWindowsOpenBesideTheBrowserAtAUsableSize)
{
    const QRect area(0, 0, 1600, 900);
    // The browser at the left: the band to its right.
    const QRect browser(0, 0, 380, 520);
    const QRect free = placement::freeArea(area, browser);
    EXPECT_EQ(free, QRect(QPoint(380, 0), area.bottomRight()));
    EXPECT_FALSE(free.intersects(browser));

    // Each new window a step further, all within the band and never smaller than usable; after a
    // few steps the cascade starts at the top again instead of shrinking.
    QList<QRect> opened;
    for (int others = 0; others < 8; ++others)
        opened << placement::newWindow(free, others, 24);
    expectUsable(opened, free);
    EXPECT_EQ(opened[1].topLeft() - opened[0].topLeft(), QPoint(24, 24));
    EXPECT_EQ(opened[4].topLeft(), opened[0].topLeft());

    // A browser covering nearly everything, or none at all: the whole area.
    EXPECT_EQ(placement::freeArea(area, QRect(0, 0, 1500, 850)), area);
    EXPECT_EQ(placement::freeArea(area, std::nullopt), area);
    // A browser in the middle: the widest band that remains.
    EXPECT_EQ(placement::freeArea(area, QRect(600, 0, 300, 900)), QRect(QPoint(900, 0), area.bottomRight()));

    // An area smaller than the usable size is used whole, never negative.
    const QRect tiny(0, 0, 300, 200);
    const QRect inTiny = placement::newWindow(tiny, 3, 24);
    EXPECT_EQ(inTiny, tiny);
}

TEST(WindowPlacement, CascadeAndTileKeepEveryWindowUsable)
{
    const QRect area(0, 0, 1200, 800);
    for (int n : {1, 2, 5, 12, 40}) {
        const QList<QRect> cascaded = placement::cascade(area, n, 24);
        ASSERT_EQ(cascaded.size(), n);
        expectUsable(cascaded, area);
        // The first window at the top left; the title bars of the first steps apart.
        EXPECT_EQ(cascaded[0].topLeft(), area.topLeft());
        if (n >= 2) {
            EXPECT_EQ(cascaded[1].topLeft() - cascaded[0].topLeft(), QPoint(24, 24));
        }
    }
    // Each window three quarters of the area, the last one's corner still inside it.
    EXPECT_EQ(placement::cascade(area, 3, 24).at(2), QRect(48, 48, 900, 600));
    EXPECT_EQ(placement::cascade(QRect(0, 0, 400, 250), 3, 24).at(2), QRect(0, 0, 400, 250)) << "a small area whole";

    // Two windows: bands. Eight: a grid, since eight bands would be slivers.
    const QList<QRect> two = placement::tile(QRect(0, 0, 1200, 900), 2, Qt::Horizontal);
    EXPECT_EQ(two[0], QRect(0, 0, 1200, 450));
    EXPECT_EQ(two[1], QRect(0, 450, 1200, 450));
    const QList<QRect> side = placement::tile(area, 2, Qt::Vertical);
    EXPECT_EQ(side[1], QRect(600, 0, 600, 800));
    // On a low screen two bands would each hold a few rows and one line of SQL: side by side.
    const QRect low(0, 0, 1024, 720);
    const QList<QRect> lowTwo = placement::tile(low, 2, Qt::Horizontal);
    EXPECT_EQ(lowTwo[1], QRect(512, 0, 512, 720));
    expectUsable(lowTwo, low);
    for (Qt::Orientation o : {Qt::Horizontal, Qt::Vertical}) {
        const QList<QRect> eight = placement::tile(area, 8, o);
        ASSERT_EQ(eight.size(), 8);
        qint64 covered = 0;
        for (const QRect &r : eight) {
            EXPECT_TRUE(area.contains(r));
            EXPECT_GE(r.height(), 180);
            EXPECT_GE(r.width(), 320);
            covered += qint64(r.width()) * r.height();
            for (const QRect &other : eight)
                EXPECT_TRUE(&r == &other || !r.intersects(other));
        }
        EXPECT_EQ(covered, qint64(area.width()) * area.height()) << "the grid fills the area";
    }
}

class WindowArrangement : public ShellTest {
protected:
    QRect areaRect() const { return main->mdiArea->viewport()->rect(); }
};

TEST_F(WindowArrangement, QueryWindowsOpenUsableAndFollowTheMaximisedState)
{
    start();
    main->showNormal();
    // A 1024 by 768 screen, the browser at its start size: the first window is no strip below it
    // with a few rows and one line of SQL, and Tile leaves it room for its grid too.
    main->resize(1024, 740);
    pump(50);
    {
        frmQuery *w = launch(QStringLiteral("Customers"));
        ASSERT_NE(w, nullptr);
        auto rowsShown = [w] {
            const grid::GridView *view = w->control()->findChild<grid::Grid *>(QStringLiteral("grdResults"))->view();
            return view->viewport()->height() / std::max(1, view->rowHeight(0));
        };
        EXPECT_GE(rowsShown(), 12) << w->geometry().height();
        main->mnuWindows[0]->trigger();
        pump(20);
        EXPECT_GE(rowsShown(), 12) << w->geometry().height();
        w->close();
        pump(2000, [&] { return main->queryWindows().isEmpty(); });
    }
    main->resize(1400, 900);
    pump(50);
    frmBrowser *browser = main->browserWindow();
    browser->setGeometry(0, 0, 380, 520);
    pump(20);

    frmQuery *first = launch(QStringLiteral("Customers"));
    ASSERT_NE(first, nullptr);
    const QSize usable = placement::usableSize(areaRect());
    EXPECT_GE(first->width(), usable.width());
    EXPECT_GE(first->height(), usable.height());
    EXPECT_FALSE(first->geometry().intersects(browser->geometry())) << "beside the browser, not behind it";
    EXPECT_TRUE(areaRect().contains(first->geometry()));

    frmQuery *second = launch(QStringLiteral("Orders"));
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second->pos(), first->pos()) << "cascaded, not on top of the first";
    EXPECT_EQ(second->size(), first->size());

    // Maximised by the user: the next opens maximised too, and closing the maximised one leaves
    // the next current window maximised, not at a title bar's size.
    second->showMaximized();
    pump(20);
    EXPECT_TRUE(main->queriesMaximised());
    frmQuery *third = launch(QStringLiteral("Products"));
    ASSERT_NE(third, nullptr);
    EXPECT_TRUE(third->isMaximized());
    third->close();
    pump(200, [&] { return main->queryWindows().size() == 2; });
    EXPECT_TRUE(main->queriesMaximised()) << "closing is no change of mind";
    activate(first);
    EXPECT_TRUE(first->isMaximized()) << "the next window takes the maximised one's place";

    // Back to normal: new windows open normal again, at their own size.
    activate(second);
    second->showNormal();
    pump(20);
    EXPECT_FALSE(main->queriesMaximised());
    EXPECT_FALSE(second->isMaximized());
    EXPECT_GE(second->width(), usable.width()) << "the normal size was never a title bar";
    frmQuery *fourth = launch(QStringLiteral("Shippers"));
    ASSERT_NE(fourth, nullptr);
    EXPECT_FALSE(fourth->isMaximized());

    // Window > Cascade and the two tilings, through the menu.
    for (QAction *command : {main->mnuWindows[2], main->mnuWindows[0], main->mnuWindows[1]}) {
        command->trigger();
        pump(20);
        for (QMdiSubWindow *w : main->mdiArea->subWindowList()) {
            if (w->isMinimized())
                continue;
            EXPECT_TRUE(areaRect().contains(w->geometry())) << command->objectName();
            EXPECT_GE(w->width(), std::min(areaRect().width(), 320)) << command->objectName();
            EXPECT_GE(w->height(), std::min(areaRect().height() / 4, 180)) << command->objectName();
        }
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowArrangement, AWindowClickedAfterAMaximisedOneClosedKeepsItsSize)
{
    start();
    main->showNormal();
    main->resize(1400, 900);
    pump(50);
    frmQuery *kept = launch(QStringLiteral("Customers"));
    frmQuery *maximised = launch(QStringLiteral("Orders"));
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(maximised, nullptr);
    // The browser was current just before: it takes over when the maximised window closes.
    activate(main->browserWindow());
    activate(maximised);
    maximised->showMaximized();
    pump(20);
    maximised->close();
    pump(3000, [&] { return main->queryWindows().size() == 1 && main->currentChild(); });
    pump(50);
    ASSERT_EQ(main->currentChild(), main->browserWindow());
    ASSERT_FALSE(kept->isMaximized());
    const QRect before = kept->geometry();

    // A click on the other window's title bar makes it current at the size it shows.
    QTest::mouseClick(kept, Qt::LeftButton, {}, QPoint(kept->width() / 2, 6));
    pump(3000, [&] { return main->activeQueryWindow() == kept; });
    pump(50);
    EXPECT_EQ(main->activeQueryWindow(), kept);
    EXPECT_FALSE(kept->isMaximized());
    EXPECT_EQ(kept->geometry(), before);
    // The user's choice still holds for the next window opened.
    EXPECT_TRUE(main->queriesMaximised());
    frmQuery *next = launch(QStringLiteral("Shippers"));
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(next->isMaximized());
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowArrangement, AClosedMaximisedWindowHandsOverAtOnceAndLeavesNothingBehind)
{
    start();
    main->showNormal();
    main->resize(1400, 900);
    pump(50);
    frmQuery *before = launch(QStringLiteral("Customers"));
    frmQuery *later = launch(QStringLiteral("Orders"));
    frmQuery *maximised = launch(QStringLiteral("Products"));
    ASSERT_TRUE(before && later && maximised);
    // The window used just before the maximised one is not the one opened just before it.
    activate(before);
    activate(maximised);
    maximised->showMaximized();
    pump(20);
    const QPointer<frmQuery> gone(maximised);

    // Settled within the close itself: nothing is left to the order of later events.
    maximised->close();
    EXPECT_EQ(main->activeQueryWindow(), before);
    EXPECT_TRUE(before->isMaximized());
    EXPECT_FALSE(later->isMaximized());
    ASSERT_TRUE(pump(3000, [&] { return gone.isNull(); }));
    pump(20);
    EXPECT_EQ(main->activeQueryWindow(), before);
    EXPECT_TRUE(before->isMaximized()) << "still so once the closed window is destroyed";

    // Restored by the user: the destroyed window maximises nothing afterwards.
    before->showNormal();
    pump(20);
    EXPECT_FALSE(main->queriesMaximised());
    activate(later);
    EXPECT_FALSE(later->isMaximized());

    // Ctrl+F4 closes the current query window as its close box does.
    later->activateWindow();
    later->control()->setFocus();
    pump(20);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : later, Qt::Key_F4,
                    Qt::ControlModifier);
    EXPECT_TRUE(later->closing());
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowArrangement, CaptionOptionsAndFocusAfterFind)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    activate(w);

    // A cleared query names no file: no dangling separator.
    emit w->control()->QuerySelected(QStringLiteral("a.sql"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sample : Tables : Customers | a.sql"));
    emit w->control()->QuerySelected(QString());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Sample : Tables : Customers"));

    // Tools > Options is offered exactly as far as the query window's own Options button is
    // (off while its options dialog is not there); the browser's options stay on offer.
    EXPECT_EQ(main->mnuOptions->isEnabled(), w->control()->stOptions());
    activate(main->browserWindow());
    EXPECT_TRUE(main->mnuOptions->isEnabled());

    // Find, then Cancel: the query window is current again and the keyboard is in it, so that F3
    // reaches it; the Data Sources window does not come to the front.
    activate(w);
    ASSERT_TRUE(w->control()->Show_Find());
    QDialog *find = w->control()->findChild<QDialog *>(QStringLiteral("frmFind"));
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(find->isVisible());
    auto *cancel = find->findChild<QPushButton *>(QStringLiteral("cmdCancel"));
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    pump(50);
    EXPECT_FALSE(find->isVisible());
    EXPECT_EQ(main->mdiArea->currentSubWindow(), w);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_TRUE(w->isAncestorOf(QApplication::focusWidget()));
    EXPECT_TRUE(main->mnuFindNext->isEnabled());
}

TEST_F(WindowArrangement, AfterNotFoundTheKeyboardIsBackWhereTheSearchCameFrom)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    activate(w);
    QApplication::setActiveWindow(main);
    auto *results = w->control()->findChild<grid::Grid *>(QStringLiteral("grdResults"));
    ASSERT_NE(results, nullptr);
    results->view()->setFocus();
    pump(20);
    analysis::options().FindText = QStringLiteral("no such text anywhere");
    ui::Prompter::clearAsked();

    // F3 in the grid: told, and the keyboard is in the grid again, so F3 works at once.
    for (int press = 1; press <= 2; ++press) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
        pump(20);
        ASSERT_EQ(ui::Prompter::asked().size(), std::size_t(press));
        EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Search item not found"));
        EXPECT_EQ(main->mdiArea->currentSubWindow(), w) << "the Data Sources window stays behind";
        EXPECT_EQ(QApplication::focusWidget(), results->view());
    }

    // From the find window: the keyboard goes back to its box for another try.
    ASSERT_TRUE(w->control()->Show_Find());
    auto *find = w->control()->findChild<QDialog *>(QStringLiteral("frmFind"));
    ASSERT_NE(find, nullptr);
    auto *box = find->findChild<QComboBox *>(QStringLiteral("cboFind"));
    ASSERT_NE(box, nullptr);
    // Keys go where the keyboard is, as real ones do: the box the window gave it to.
    ASSERT_TRUE(pump(3000, [&] { return box->hasFocus() || box->isAncestorOf(QApplication::focusWidget()); }));
    QWidget *keyboard = QApplication::focusWidget();
    QTest::keyClicks(keyboard, QStringLiteral("zzzz"));
    QTest::keyClick(keyboard, Qt::Key_Return);
    pump(20);
    ASSERT_EQ(ui::Prompter::asked().size(), 3u);
    EXPECT_TRUE(find->isEnabled());
    EXPECT_TRUE(box->isAncestorOf(QApplication::focusWidget()) || QApplication::focusWidget() == box);
    EXPECT_EQ(main->mdiArea->currentSubWindow(), w);
    EXPECT_TRUE(errors.empty());
}

TEST_F(WindowArrangement, RowDetailsAndFindAreToolWindowsOfTheMainWindow)
{
    start();
    frmQuery *w = launch(QStringLiteral("Orders"));
    ASSERT_NE(w, nullptr);
    activate(w);
    ASSERT_TRUE(w->control()->Show_Details());
    ASSERT_TRUE(w->control()->Show_Find());
    pump(20);
    for (const char *name : {"frmDetails", "frmFind"}) {
        auto *tool = w->control()->findChild<QDialog *>(QLatin1String(name));
        ASSERT_NE(tool, nullptr) << name;
        ASSERT_TRUE(tool->isVisible()) << name;
        // Above the main window only, and going with it: never above other programs' windows.
        EXPECT_EQ(tool->windowType(), Qt::Tool) << name;
        EXPECT_FALSE(tool->windowFlags() & Qt::WindowStaysOnTopHint) << name;
        ASSERT_NE(tool->windowHandle(), nullptr) << name;
        EXPECT_EQ(tool->windowHandle()->transientParent(), main->windowHandle()) << name;
    }
    EXPECT_TRUE(errors.empty());
}
