#include "ui/KeyedToolBar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace ui;

namespace {

// The results toolbar's shape, enough of it to exercise every kind of button.
std::unique_ptr<KeyedToolBar> resultsBar()
{
    auto bar = std::make_unique<KeyedToolBar>(QStringLiteral("tlbResults"));
    bar->addButton("Open", "Open", "Load SQL script\\XML Document");
    bar->addButton("sepSQL", {});
    bar->addButton("ShowCount", "Count", "Show\\hide row count", tbrCheck);
    bar->addSeparatorButton();
    bar->addButton("Results", "Results", "View Results", tbrButtonGroup);
    bar->addButton("Chart", "Chart", "View Chart", tbrButtonGroup);
    bar->addButton("Summary", "Summary", "View Summary", tbrButtonGroup);
    bar->addButton("sepSort", {});
    bar->addButton("RemoveFilter", "Clear", "Clear Filter", tbrDropdown);
    bar->show();
    return bar;
}

QStringList keysOf(const QSignalSpy &spy, int arg = 0)
{
    QStringList keys;
    for (const auto &args : spy)
        keys << args.at(arg).toString();
    return keys;
}

} // namespace

TEST(KeyedToolBar, ButtonsAreFoundByKeyWithoutRegardToCaseAndByIndex)
{
    auto bar = resultsBar();
    EXPECT_EQ(bar->ButtonCount(), 9);
    EXPECT_EQ(bar->Buttons("showcount").Key(), "ShowCount");
    EXPECT_EQ(bar->Buttons("SHOWCOUNT").Index(), 3);
    EXPECT_EQ(bar->Buttons(4).Style(), tbrSeparator);
    EXPECT_EQ(bar->Buttons("sepSQL").Style(), tbrSeparator) << "keys beginning with sep are separators";
    EXPECT_EQ(bar->Buttons("Open").ToolTipText(), "Load SQL script\\XML Document");

    try {
        bar->Buttons("Execute");
        FAIL() << "an unknown key must throw";
    } catch (const std::out_of_range &e) {
        EXPECT_STREQ(e.what(), "toolbar tlbResults: no button with key \"Execute\"");
    }
    EXPECT_THROW(bar->Buttons(0), std::out_of_range);
    EXPECT_THROW(bar->Buttons(10), std::out_of_range);
    EXPECT_THROW(bar->addButton("open", "Again"), std::invalid_argument);
    EXPECT_THROW(bar->Buttons("Chart").setKey("results"), std::invalid_argument);

    bar->Buttons("Open").setKey("Cancel");
    EXPECT_FALSE(bar->hasButton("Open"));
    EXPECT_EQ(bar->Buttons("cancel").Index(), 1);
}

TEST(KeyedToolBar, StateReadsBackAsSetWhateverTheBarDoes)
{
    auto bar = resultsBar();
    ToolBarButton &count = bar->Buttons("ShowCount");
    count.setEnabled(false);
    count.setVisible(false);
    bar->Buttons("sepSort").setVisible(false);
    bar->setEnabled(false);
    bar->hide();
    EXPECT_FALSE(count.Enabled());
    EXPECT_FALSE(count.Visible());
    EXPECT_FALSE(bar->Buttons("sepSort").Visible());
    EXPECT_TRUE(bar->Buttons("Open").Enabled()) << "a disabled bar leaves its buttons' own state";
    EXPECT_TRUE(bar->Buttons("Open").Visible());
    EXPECT_FALSE(bar->Visible());
    EXPECT_FALSE(bar->Enabled());
}

TEST(KeyedToolBar, ClicksRaiseButtonClickWithTheKeyAfterValuesChange)
{
    auto bar = resultsBar();
    QSignalSpy clicks(bar.get(), &KeyedToolBar::ButtonClick);
    QList<int> valuesSeen;
    QObject::connect(bar.get(), &KeyedToolBar::ButtonClick, bar.get(), [&](const QString &key) {
        valuesSeen << bar->Buttons(key).Value();
    });

    QTest::mouseClick(bar->Buttons("ShowCount").widget(), Qt::LeftButton);
    QTest::mouseClick(bar->Buttons("ShowCount").widget(), Qt::LeftButton);
    QTest::mouseClick(bar->Buttons("Open").widget(), Qt::LeftButton);
    EXPECT_EQ(keysOf(clicks), (QStringList{"ShowCount", "ShowCount", "Open"}));
    EXPECT_EQ(valuesSeen, (QList<int>{tbrPressed, tbrUnpressed, tbrUnpressed}));
    EXPECT_FALSE(bar->Buttons("Open").action()->isChecked()) << "a plain button does not stay down";

    bar->Buttons("Open").setEnabled(false);
    QTest::mouseClick(bar->Buttons("Open").widget(), Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 3);
}

TEST(KeyedToolBar, PressingAGroupButtonReleasesTheRestOfItsGroup)
{
    auto bar = resultsBar();
    bar->Buttons("Results").setValue(tbrPressed);
    QTest::mouseClick(bar->Buttons("Chart").widget(), Qt::LeftButton);
    EXPECT_EQ(bar->Buttons("Results").Value(), tbrUnpressed);
    EXPECT_EQ(bar->Buttons("Chart").Value(), tbrPressed);
    QTest::mouseClick(bar->Buttons("Chart").widget(), Qt::LeftButton);
    EXPECT_EQ(bar->Buttons("Chart").Value(), tbrPressed) << "a group button is not released by a second click";

    bar->Buttons("Summary").setValue(1);
    EXPECT_EQ(bar->Buttons("Chart").Value(), tbrUnpressed);
    EXPECT_FALSE(bar->Buttons("Chart").action()->isChecked());
    EXPECT_EQ(bar->Buttons("ShowCount").Value(), tbrUnpressed) << "the group ends at the separator";
}

TEST(KeyedToolBar, StylesChangeAtRunTime)
{
    auto bar = resultsBar();
    ToolBarButton &qb = bar->Buttons("Open");
    qb.setStyle(tbrDropdown);
    qb.setValue(tbrPressed);
    EXPECT_EQ(qb.widget()->popupMode(), QToolButton::MenuButtonPopup);
    EXPECT_TRUE(qb.action()->isChecked()) << "a drop-down button shows the pressed value it was given";

    qb.setStyle(tbrCheck);
    EXPECT_EQ(qb.widget()->menu(), nullptr);
    EXPECT_EQ(qb.Value(), tbrPressed);
    EXPECT_THROW(qb.setStyle(tbrSeparator), std::invalid_argument);
    EXPECT_THROW(qb.setStyle(9), std::out_of_range);
    EXPECT_EQ(qb.Style(), tbrCheck);
}

TEST(KeyedToolBar, DropDownMenusAreKeyedAndReportTheirEntry)
{
    auto bar = resultsBar();
    ButtonMenuList &history = bar->Buttons("RemoveFilter").ButtonMenus();
    history.Add("[a] = 1");
    history.Add("[a] = 1 AND [b] = 2", {}, 1); // the newest first
    history.Add("Show all columns", "ShowAll");
    EXPECT_EQ(history.Count(), 3);
    EXPECT_EQ(history.Item(1).Text(), "[a] = 1 AND [b] = 2");
    EXPECT_EQ(history(2).Text(), "[a] = 1");
    EXPECT_EQ(history("showall").Index(), 3);
    EXPECT_EQ(bar->Buttons("RemoveFilter").widget()->menu()->actions().size(), 3);
    EXPECT_EQ(bar->Buttons("RemoveFilter").widget()->menu()->actions().first()->text(), "[a] = 1 AND [b] = 2");
    EXPECT_THROW(history.Add("again", "SHOWALL"), std::invalid_argument);
    EXPECT_THROW(history.Item(4), std::out_of_range);
    EXPECT_THROW(history.Add("far", {}, 9), std::out_of_range);

    QSignalSpy chosen(bar.get(), &KeyedToolBar::ButtonMenuClick);
    // The handler empties the menu it was chosen from, as "Clear query" does.
    QObject::connect(bar.get(), &KeyedToolBar::ButtonMenuClick, bar.get(),
                     [&](const QString &, const QString &) { history.Clear(); });
    history(2).action()->trigger();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0), (QVariantList{"RemoveFilter", QString(), "[a] = 1"}));
    EXPECT_EQ(history.Count(), 0);

    history.Add("&10 /tmp/q.sql", "recent10");
    history("recent10").action()->trigger();
    EXPECT_EQ(chosen.at(1), (QVariantList{"RemoveFilter", "recent10", "&10 /tmp/q.sql"}));
}

TEST(KeyedToolBar, CaptionsShowUnderTheIconsOnlyWhenAskedAndPresent)
{
    auto bar = resultsBar();
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    bar->setShowCaptions(false);
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(bar->Buttons("Open").Caption(), "Open") << "captions are kept while hidden";

    bar->setShowCaptions(true);
    for (int i = 1; i <= bar->ButtonCount(); ++i)
        bar->Buttons(i).setCaption({});
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonIconOnly) << "no empty line under the icons";
    bar->Buttons("Open").setCaption("Sort ");
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(bar->Buttons("Open").Caption(), "Sort ");
    EXPECT_EQ(bar->Buttons("Open").widget()->text(), "Sort ");
}

TEST(KeyedToolBar, ClicksOnTheBarItselfAreReported)
{
    KeyedToolBar bar(QStringLiteral("tlbData"));
    bar.addButton("Large", "Large", "Large Icons");
    bar.resize(400, 40);
    bar.show();
    QSignalSpy clicks(&bar, &KeyedToolBar::Click);
    QSignalSpy downs(&bar, &KeyedToolBar::MouseDown);
    QSignalSpy buttonClicks(&bar, &KeyedToolBar::ButtonClick);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(390, 20));
    QTest::mouseClick(&bar, Qt::RightButton, {}, QPoint(390, 20));
    EXPECT_EQ(clicks.count(), 1);
    ASSERT_EQ(downs.count(), 2);
    EXPECT_EQ(downs.at(1).at(0).value<Qt::MouseButton>(), Qt::RightButton);

    // A right click on a button reaches the bar and clicks nothing.
    QTest::mouseClick(bar.Buttons("Large").widget(), Qt::RightButton);
    EXPECT_EQ(downs.count(), 3);
    EXPECT_EQ(buttonClicks.count(), 0);
}
