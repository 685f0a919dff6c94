#include "hlQueryMenu/qryMenu.h"

#include "automation/Automation.h"
#include "ui/Twips.h"
#include "ui/VbColor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

// A shown, active menu that records what it raises.
struct Fixture {
    std::unique_ptr<qryMenu> menu = std::make_unique<qryMenu>();
    QStringList picked;
    int cancelled = 0;

    explicit Fixture(bool removeFilter = true, bool unfreeze = true, bool showColumns = true)
    {
        QObject::connect(menu.get(), &qryMenu::ItemSelected, [this](QString &item) {
            picked << item;
            item = QStringLiteral("changed by the host");
        });
        QObject::connect(menu.get(), &qryMenu::Cancelled, [this] { ++cancelled; });
        menu->setRemoverFilter(removeFilter);
        menu->setUnFreezeColumn(unfreeze);
        menu->setShowColumns(showColumns);
        show();
    }
    void show()
    {
        menu->show();
        menu->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(menu.get()));
        // The offscreen platform does not hand activation back to a window shown again.
        if (QApplication::activeWindow() != menu.get())
            QApplication::setActiveWindow(menu.get());
        EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == menu.get(); }));
    }
    void reshow()
    {
        menu->hide();
        QCoreApplication::processEvents();
        show();
    }
    void hover(QWidget *widget)
    {
        const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    void click(QWidget *widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    bool highlighted(int index) const
    {
        return menu->lblMenu(index)->palette().color(QPalette::Active, QPalette::Window)
            == ui::VbColor::toQColor(ui::VbColor::Highlight);
    }
    int highlightCount() const
    {
        int count = 0;
        for (int i = 0; i < qryMenu::ItemCount; ++i)
            count += highlighted(i) ? 1 : 0;
        return count;
    }
};

const char *const kCaptions[qryMenu::ItemCount] = {
    " Filter by &Selection", " Filter E&x Selection", "&Filter for:", " &Remove Filter", " F&ind:",
    " Sort &Ascending", " Sort &Descending", " &Lock Column", " U&nlock Column", " &Hide Column",
    " &View Columns", " Vie&w Cell", " &Copy", " &Autosize Column", " View R&ow"};

} // namespace

TEST(ColumnMenu, CaptionsAndAutomationInterface)
{
    for (int i = 0; i < qryMenu::ItemCount; ++i)
        EXPECT_EQ(qryMenu::caption(i), QString::fromLatin1(kCaptions[i])) << i;

    qryMenu menu;
    EXPECT_EQ(menu.Choice(), 99);
    QVariant value;
    ASSERT_TRUE(automation::getPropertyById(&menu, 0x68030003, &value));
    EXPECT_EQ(value.toInt(), 99);
    ASSERT_TRUE(automation::setPropertyById(&menu, 0x68030002, true));
    EXPECT_TRUE(menu.RemoverFilter());
    ASSERT_TRUE(automation::setPropertyById(&menu, 0x68030001, true));
    EXPECT_TRUE(menu.UnFreezeColumn());
    ASSERT_TRUE(automation::setPropertyById(&menu, 0x68030000, true));
    EXPECT_TRUE(menu.ShowColumns());
    EXPECT_EQ(automation::memberForDispId(menu.metaObject(), 0x68030005), QStringLiteral("FilterText"));
    EXPECT_EQ(automation::memberForDispId(menu.metaObject(), 0x68030004), QStringLiteral("FindText"));
    // Read-only members refuse a write.
    EXPECT_FALSE(automation::setPropertyById(&menu, 0x68030003, 5));
}

TEST(ColumnMenu, ShowSizesFromTheFrameAndResetsEverything)
{
    Fixture f;
    EXPECT_EQ(f.menu->Choice(), -1);
    // The drawn size; wider only where the font's captions need it.
    const QSize drawn = ui::Twips::toPixels(2120, 5240, f.menu.get());
    EXPECT_EQ(f.menu->height(), drawn.height());
    EXPECT_GE(f.menu->width(), drawn.width());
    EXPECT_EQ(f.highlightCount(), 0);

    // Dirty every piece of state a show resets.
    f.hover(f.menu->lblMenu(6));
    EXPECT_EQ(f.menu->Choice(), 6);
    f.click(f.menu->lblMenu(qryMenu::FindItem));
    ASSERT_TRUE(f.menu->txtFind()->hasFocus());
    QTest::keyClicks(f.menu->txtFind(), QStringLiteral("xyz"));
    EXPECT_FALSE(f.menu->txtFilter()->isEnabled());

    f.reshow();
    EXPECT_EQ(f.menu->Choice(), -1);
    EXPECT_EQ(f.highlightCount(), 0);
    EXPECT_FALSE(f.menu->isEditing());
    EXPECT_TRUE(f.menu->txtFilter()->isEnabled());
    EXPECT_TRUE(f.menu->txtFind()->isEnabled());
    EXPECT_TRUE(f.menu->txtFilter()->text().isEmpty());
    EXPECT_TRUE(f.menu->txtFind()->text().isEmpty());
    EXPECT_FALSE(f.menu->filterBordered());
    EXPECT_FALSE(f.menu->findBordered());
    for (int i = 0; i < qryMenu::ItemCount; ++i)
        EXPECT_FALSE(f.menu->cmdIcon(i)->isVisible()) << i;
    // Neither box is being edited: the focus sits on the hidden holder.
    EXPECT_FALSE(f.menu->txtFilter()->hasFocus());
    EXPECT_FALSE(f.menu->txtFind()->hasFocus());
}

TEST(ColumnMenu, LetterKeysWithAndWithoutShift)
{
    Fixture f;
    const std::pair<int, int> keys[] = {{Qt::Key_C, 12}, {Qt::Key_S, 0}, {Qt::Key_X, 1}, {Qt::Key_R, 3},
                                        {Qt::Key_A, 5},  {Qt::Key_D, 6}, {Qt::Key_L, 7}, {Qt::Key_N, 8},
                                        {Qt::Key_H, 9},  {Qt::Key_V, 10}, {Qt::Key_W, 11}};
    for (const auto &[key, item] : keys) {
        for (Qt::KeyboardModifiers shift : {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            f.picked.clear();
            QTest::keyClick(f.menu.get(), Qt::Key(key), shift);
            EXPECT_EQ(f.picked, QStringList{qryMenu::caption(item)}) << item;
        }
    }
    // The host's change to the argument does not stick to the item.
    EXPECT_EQ(qryMenu::caption(11), QStringLiteral(" Vie&w Cell"));

    // A key sent to a constituent reaches the menu once, not twice.
    f.picked.clear();
    QTest::keyClick(f.menu->lblMenu(0), Qt::Key_D);
    EXPECT_EQ(f.picked, QStringList{QStringLiteral(" Sort &Descending")});

    f.picked.clear();
    QTest::keyClick(f.menu.get(), Qt::Key_F1);
    QTest::keyClick(f.menu.get(), Qt::Key_4, Qt::KeypadModifier);
    QTest::keyClick(f.menu.get(), Qt::Key_O); // " View R&ow" has no key
    QTest::keyClick(f.menu.get(), Qt::Key_I);
    EXPECT_TRUE(f.picked.isEmpty());
    EXPECT_EQ(f.menu->Choice(), -1); // letters do not move the highlight
    EXPECT_EQ(f.cancelled, 0);
}

TEST(ColumnMenu, EscapeCancelsUnlessABoxIsEdited)
{
    Fixture f;
    QTest::keyClick(f.menu.get(), Qt::Key_Escape);
    EXPECT_EQ(f.cancelled, 1);
    EXPECT_TRUE(f.picked.isEmpty());

    f.click(f.menu->lblMenu(qryMenu::FilterItem));
    ASSERT_TRUE(f.menu->isEditing());
    QTest::keyClick(f.menu->txtFilter(), Qt::Key_Escape);
    EXPECT_EQ(f.cancelled, 1);
}

TEST(ColumnMenu, DisabledItemsAreInert)
{
    Fixture f(false, false, false);
    for (int item : {qryMenu::RemoveFilterItem, qryMenu::UnlockItem, qryMenu::ViewColumnsItem}) {
        EXPECT_FALSE(f.menu->lblMenu(item)->isEnabled()) << item;
        EXPECT_FALSE(f.menu->imgIcon(item)->isEnabled()) << item;
        f.hover(f.menu->lblMenu(item));
        f.click(f.menu->lblMenu(item));
        f.click(f.menu->imgIcon(item));
    }
    QTest::keyClick(f.menu.get(), Qt::Key_R);
    QTest::keyClick(f.menu.get(), Qt::Key_N, Qt::ShiftModifier);
    QTest::keyClick(f.menu.get(), Qt::Key_V);
    EXPECT_TRUE(f.picked.isEmpty());
    EXPECT_EQ(f.menu->Choice(), -1);
    EXPECT_EQ(f.highlightCount(), 0);

    // The Booleans apply at the next show.
    f.menu->setRemoverFilter(true);
    QTest::keyClick(f.menu.get(), Qt::Key_R);
    EXPECT_TRUE(f.picked.isEmpty());
    f.reshow();
    QTest::keyClick(f.menu.get(), Qt::Key_R);
    f.click(f.menu->lblMenu(qryMenu::RemoveFilterItem));
    EXPECT_EQ(f.picked, (QStringList{QStringLiteral(" &Remove Filter"), QStringLiteral(" &Remove Filter")}));
    EXPECT_FALSE(f.menu->lblMenu(qryMenu::UnlockItem)->isEnabled());
}

TEST(ColumnMenu, HoverHighlightsOneItemAndClicksPickIt)
{
    Fixture f;
    f.hover(f.menu->lblMenu(5));
    EXPECT_EQ(f.menu->Choice(), 5);
    EXPECT_TRUE(f.highlighted(5));
    EXPECT_EQ(f.highlightCount(), 1);
    EXPECT_TRUE(f.menu->cmdIcon(5)->isVisible());

    f.hover(f.menu->imgIcon(9));
    EXPECT_EQ(f.menu->Choice(), 9);
    EXPECT_FALSE(f.highlighted(5));
    EXPECT_FALSE(f.menu->cmdIcon(5)->isVisible());
    EXPECT_TRUE(f.menu->cmdIcon(9)->isVisible());

    f.click(f.menu->lblMenu(0));
    f.click(f.menu->imgIcon(12));
    f.click(f.menu->cmdIcon(9));
    f.click(f.menu->lblMenu(14));
    EXPECT_EQ(f.picked, (QStringList{QStringLiteral(" Filter by &Selection"), QStringLiteral(" &Copy"),
                                     QStringLiteral(" &Hide Column"), QStringLiteral(" View R&ow")}));
    // A right click is not a pick.
    QTest::mouseClick(f.menu->lblMenu(6), Qt::RightButton);
    EXPECT_EQ(f.picked.size(), 4);
}

TEST(ColumnMenu, HoveringABoxBordersItOnce)
{
    Fixture f;
    f.hover(f.menu->lblMenu(7));
    f.hover(f.menu->txtFilter());
    EXPECT_TRUE(f.menu->filterBordered());
    EXPECT_TRUE(f.menu->txtFilter()->hasFrame());
    EXPECT_EQ(f.menu->Choice(), qryMenu::FilterItem);
    EXPECT_TRUE(f.highlighted(qryMenu::FilterItem));
    EXPECT_FALSE(f.highlighted(7));

    // Bordered already: nothing changes, not even a highlight set behind its back.
    f.menu->cmdIcon(3)->show();
    EXPECT_FALSE(f.menu->Highlight_Choice(qryMenu::FilterItem));
    EXPECT_TRUE(f.menu->cmdIcon(3)->isVisible());
    f.menu->cmdIcon(3)->hide();

    f.hover(f.menu->txtFind());
    EXPECT_FALSE(f.menu->filterBordered());
    EXPECT_FALSE(f.menu->txtFilter()->hasFrame());
    EXPECT_TRUE(f.menu->findBordered());
    EXPECT_EQ(f.menu->Choice(), qryMenu::FindItem);

    EXPECT_TRUE(f.menu->Highlight_Choice(-1));
    EXPECT_FALSE(f.menu->findBordered());
    EXPECT_EQ(f.menu->Choice(), qryMenu::FindItem); // -1 leaves Choice alone
    EXPECT_EQ(f.highlightCount(), 0);
}

TEST(ColumnMenu, FilterBoxSwallowsKeysAndEnterConfirms)
{
    Fixture f;
    f.click(f.menu->lblMenu(qryMenu::FilterItem));
    ASSERT_TRUE(f.menu->txtFilter()->hasFocus());
    EXPECT_TRUE(f.menu->isEditing());
    EXPECT_FALSE(f.menu->txtFind()->isEnabled());
    EXPECT_EQ(f.menu->Choice(), qryMenu::FilterItem);
    EXPECT_TRUE(f.menu->filterBordered());

    QTest::keyClicks(f.menu->txtFilter(), QStringLiteral("Sad"));
    QTest::keyClick(f.menu->txtFilter(), Qt::Key_C);
    EXPECT_EQ(f.menu->txtFilter()->text(), QStringLiteral("Sadc"));
    // Clicks and hover on items do nothing while editing.
    f.click(f.menu->lblMenu(0));
    f.click(f.menu->lblMenu(qryMenu::FindItem));
    f.hover(f.menu->lblMenu(6));
    EXPECT_TRUE(f.picked.isEmpty());
    EXPECT_TRUE(f.menu->txtFilter()->hasFocus());
    EXPECT_EQ(f.menu->Choice(), qryMenu::FilterItem);
    // Losing the focus while editing keeps the border.
    f.menu->setFocus();
    EXPECT_TRUE(f.menu->filterBordered());
    f.menu->txtFilter()->setFocus();

    f.menu->txtFilter()->setText(QStringLiteral("abc"));
    QTest::keyClick(f.menu->txtFilter(), Qt::Key_Return);
    EXPECT_EQ(f.picked, QStringList{QStringLiteral("&Filter for:")});
    EXPECT_EQ(f.menu->FilterText(), QStringLiteral("abc"));
    EXPECT_TRUE(f.menu->FindText().isEmpty());

    f.reshow();
    EXPECT_TRUE(f.menu->txtFilter()->text().isEmpty());
    EXPECT_EQ(f.menu->FilterText(), QStringLiteral("abc"));

    // Refocused with text in it: the whole text is selected.
    f.menu->txtFilter()->setText(QStringLiteral("old"));
    f.click(f.menu->lblMenu(qryMenu::FilterItem));
    EXPECT_TRUE(f.menu->txtFilter()->hasFocus());
    EXPECT_TRUE(f.menu->isEditing());
    EXPECT_EQ(f.menu->txtFilter()->selectedText(), QStringLiteral("old"));
}

TEST(ColumnMenu, FindBoxEnterConfirmsWithItsOwnItem)
{
    Fixture f;
    f.click(f.menu->imgIcon(qryMenu::FindItem));
    ASSERT_TRUE(f.menu->txtFind()->hasFocus());
    EXPECT_FALSE(f.menu->txtFilter()->isEnabled());
    f.menu->txtFind()->insert(QStringLiteral("Ünïcode 42"));
    QTest::keyClick(f.menu->txtFind(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(f.picked, QStringList{QStringLiteral(" F&ind:")});
    EXPECT_EQ(f.menu->FindText(), QStringLiteral("Ünïcode 42"));
    EXPECT_TRUE(f.menu->FilterText().isEmpty());

    // An empty box confirms an empty text.
    f.menu->txtFind()->clear();
    QTest::keyClick(f.menu->txtFind(), Qt::Key_Return);
    EXPECT_EQ(f.picked.size(), 2);
    EXPECT_TRUE(f.menu->FindText().isEmpty());
}

TEST(ColumnMenu, CtrlKeysWorkOnTheWholeBoxText)
{
    Fixture f;
    QLineEdit *box = f.menu->txtFilter();
    f.click(f.menu->lblMenu(qryMenu::FilterItem));
    ASSERT_TRUE(box->hasFocus());
    QTest::keyClicks(box, QStringLiteral("hello world"));
    box->setSelection(6, 2);

    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(box->selectionStart(), 0);
    EXPECT_EQ(box->selectedText(), QStringLiteral("hello world"));

    box->setSelection(0, 2);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("hello world"));

    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    box->setCursorPosition(3);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("pasted"));
    EXPECT_TRUE(f.picked.isEmpty());
}

namespace {
struct RecordingHost : QWidget {
    int presses = 0;
    void keyPressEvent(QKeyEvent *) override { ++presses; }
};
} // namespace

TEST(ColumnMenu, HostedMenuKeepsItsKeysAndResetsOnEachShow)
{
    RecordingHost host;
    auto *menu = new qryMenu(&host);
    QStringList picked;
    QObject::connect(menu, &qryMenu::ItemSelected, [&](QString &item) { picked << item; });
    host.resize(400, 600);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    EXPECT_EQ(menu->Choice(), -1);

    QTest::keyClick(menu->lblMenu(0), Qt::Key_D);
    EXPECT_EQ(picked, QStringList{QStringLiteral(" Sort &Descending")});
    EXPECT_EQ(host.presses, 0);

    menu->setFocus();
    QTest::keyClick(menu->lblMenu(qryMenu::FindItem), Qt::Key_Escape);
    menu->txtFind()->setFocus();
    ASSERT_TRUE(menu->isEditing());
    QTest::keyClick(menu->txtFind(), Qt::Key_Return);
    EXPECT_EQ(picked.size(), 2);
    EXPECT_EQ(host.presses, 0);

    // The host hides the menu and shows it again for the next column.
    menu->hide();
    menu->setShowColumns(true);
    menu->show();
    EXPECT_EQ(menu->Choice(), -1);
    EXPECT_FALSE(menu->isEditing());
    EXPECT_TRUE(menu->txtFilter()->isEnabled());
    EXPECT_TRUE(menu->lblMenu(qryMenu::ViewColumnsItem)->isEnabled());
    EXPECT_FALSE(menu->txtFind()->hasFocus());
}

TEST(ColumnMenu, NoCaptionIsCutOffWhateverTheFont)
{
    for (int points : {0, 14}) {
        Fixture f;
        if (points > 0) {
            QFont big = f.menu->font();
            big.setPointSize(points);
            f.menu->setFont(big);
            f.reshow();
        }
        const QRect inside = f.menu->rect();
        for (int i = 0; i < qryMenu::ItemCount; ++i) {
            QLabel *label = f.menu->lblMenu(i);
            QString plain = qryMenu::caption(i);
            plain.remove(QLatin1Char('&'));
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(plain)) << plain.toStdString();
            EXPECT_TRUE(inside.contains(label->geometry())) << plain.toStdString();
        }
        // The two boxes start after their captions and stay inside the menu.
        for (auto [item, box] : {std::pair{int(qryMenu::FilterItem), f.menu->txtFilter()},
                                 std::pair{int(qryMenu::FindItem), f.menu->txtFind()}}) {
            EXPECT_GE(box->geometry().left(), f.menu->lblMenu(item)->geometry().right()) << item;
            EXPECT_TRUE(inside.contains(box->geometry())) << item;
        }
    }
}
