#include "BrowserTestSupport.h"
#include "BrowserTrap.h"

#include <stdexcept>

using namespace browser;
using browsertest::BrowserTest;

namespace {

const QString App = QStringLiteral("Tabulon");

class SettingsTest : public BrowserTest {};

TEST_F(SettingsTest, EmptyStoreGivesTheFirstStartValues)
{
    ASSERT_TRUE(Read_INI());
    ASSERT_TRUE(Get_Options());
    const BrowserSettings &s = browserSettings();
    EXPECT_EQ(s.ObjectToolDelay, 3);
    EXPECT_EQ(s.SplitPercentage, 20);
    EXPECT_FALSE(s.SplitOrientation);
    EXPECT_FALSE(s.SplitLeft);
    EXPECT_EQ(s.DataView, 1);
    EXPECT_FALSE(s.ToolBarText);
    EXPECT_FALSE(s.GridLines);
    EXPECT_FALSE(s.ObjectToolTips);
    EXPECT_TRUE(s.OpenTable && s.OpenView && s.OpenSp && s.EditData && s.OpenSQL && s.Options);
    EXPECT_FALSE(s.DataPassword);
    EXPECT_FALSE(s.AdminPassword);
    EXPECT_TRUE(s.Password.isEmpty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(SettingsTest, SavedValuesComeBackButTablesAreAlwaysOpen)
{
    BrowserSettings &s = browserSettings();
    s.OpenTable = s.OpenView = s.OpenSp = false;
    s.SplitPercentage = 35;
    s.SplitLeft = true;
    s.ObjectToolDelay = 7;
    ASSERT_TRUE(Write_INI());
    ASSERT_TRUE(Save_Options());
    EXPECT_EQ(store().GetSetting(App, QStringLiteral("Admin"), QStringLiteral("Open View")), QStringLiteral("False"));
    EXPECT_EQ(store().GetSetting(App, QStringLiteral("Data"), QStringLiteral("Split\\Percentage")), QStringLiteral("35"));
    EXPECT_EQ(store().GetSetting(App, QStringLiteral("General"), QStringLiteral("INI File")), iniPath());

    s = BrowserSettings{};
    ASSERT_TRUE(Read_INI());
    ASSERT_TRUE(Get_Options());
    EXPECT_EQ(s.SplitPercentage, 35);
    EXPECT_TRUE(s.SplitLeft);
    EXPECT_EQ(s.ObjectToolDelay, 7);
    EXPECT_FALSE(s.OpenView);
    EXPECT_FALSE(s.OpenSp);
    EXPECT_TRUE(s.OpenTable);
}

TEST_F(SettingsTest, UnreadableValuesKeepDefaultsAndAreReportedOnce)
{
    store().SaveSetting(App, QStringLiteral("Data"), QStringLiteral("Grid Lines"), QStringLiteral("Maybe"));
    store().SaveSetting(App, QStringLiteral("General"), QStringLiteral("Object Tool Delay"), QStringLiteral("soon"));
    store().SaveSetting(App, QStringLiteral("Data"), QStringLiteral("ToolBar Text"), QStringLiteral("True"));
    EXPECT_TRUE(Read_INI());
    EXPECT_FALSE(browserSettings().GridLines);
    EXPECT_EQ(browserSettings().ObjectToolDelay, 3);
    EXPECT_TRUE(browserSettings().ToolBarText); // keys after the bad ones are still read
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].procedure, QStringLiteral("Read_INI"));
    EXPECT_TRUE(errors[0].description.contains(QStringLiteral("Grid Lines")));
    EXPECT_TRUE(errors[0].description.contains(QStringLiteral("Object Tool Delay")));
}

TEST_F(SettingsTest, StoredNumbersOutsideTheirRangeKeepTheirDefaults)
{
    const std::vector<std::tuple<const char *, const char *, const char *>> bad = {
        {"General", "Data View", "4"}, {"General", "Object Tool Delay", "10000000"},
        {"Data", "Split\\Percentage", "-5"}};
    for (const auto &[section, key, text] : bad)
        store().SaveSetting(App, QString::fromLatin1(section), QString::fromLatin1(key), QString::fromLatin1(text));
    EXPECT_TRUE(Read_INI());
    EXPECT_EQ(browserSettings().DataView, 1);
    EXPECT_EQ(browserSettings().ObjectToolDelay, 3);
    EXPECT_EQ(browserSettings().SplitPercentage, 20);
    ASSERT_EQ(errors.size(), 1u);
    for (const auto &[section, key, text] : bad)
        EXPECT_TRUE(errors[0].description.contains(QString::fromLatin1(key))) << key;

    // The edges of each range are taken.
    errors.clear();
    store().SaveSetting(App, QStringLiteral("General"), QStringLiteral("Data View"), QStringLiteral("3"));
    store().SaveSetting(App, QStringLiteral("General"), QStringLiteral("Object Tool Delay"), QStringLiteral("3600"));
    store().SaveSetting(App, QStringLiteral("Data"), QStringLiteral("Split\\Percentage"), QStringLiteral("100"));
    EXPECT_TRUE(Read_INI());
    EXPECT_EQ(browserSettings().DataView, 3);
    EXPECT_EQ(browserSettings().ObjectToolDelay, 3600);
    EXPECT_EQ(browserSettings().SplitPercentage, 100);
    EXPECT_TRUE(errors.empty());
}

TEST_F(SettingsTest, FailedWriteIsReportedAndStops)
{
    store().setWriteFailure(QStringLiteral("disk full"));
    EXPECT_FALSE(Write_INI());
    EXPECT_FALSE(Save_Options());
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].procedure, QStringLiteral("Write_INI"));
    EXPECT_TRUE(errors[0].description.contains(QStringLiteral("disk full")));
}

// The library's trap: the undo step runs before the report, which names the procedure and carries
// the failure's own text; an answer of the work itself passes through unreported.
TEST_F(SettingsTest, TrapReportsAFailureAfterUndoingAndPassesAnswersThrough)
{
    bool undoneBeforeReport = false;
    EXPECT_FALSE(trap(
        QStringLiteral("Save_Changes"), [] { throw std::runtime_error("disk full"); },
        [&] { undoneBeforeReport = errors.empty(); }));
    EXPECT_TRUE(undoneBeforeReport);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].procedure, QStringLiteral("Save_Changes"));
    EXPECT_EQ(errors[0].description, QStringLiteral("disk full"));

    // Something that is not a standard exception is caught and reported too.
    EXPECT_FALSE(trap(QStringLiteral("Init"), [] { throw 1; }));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].description, QStringLiteral("Unexpected error"));

    EXPECT_TRUE(trap(QStringLiteral("Init"), [] {}));
    EXPECT_FALSE(trap(QStringLiteral("Init"), [] { return false; }));
    EXPECT_EQ(errors.size(), 2u);
}

TEST(KeyFilters, PasswordAndNumberBoxes)
{
    EXPECT_EQ(Check_AlphaKey(' '), 0);
    EXPECT_EQ(Check_AlphaKey('-'), 0);
    EXPECT_EQ(Check_AlphaKey('_'), 0);
    EXPECT_EQ(Check_AlphaKey('Q'), 'Q');
    EXPECT_EQ(Check_AlphaKey('q'), 'q');
    EXPECT_EQ(Check_AlphaKey('7'), '7');
    EXPECT_EQ(Check_AlphaKey(8), 8);
    EXPECT_EQ(Check_AlphaKey(13), -1);
    EXPECT_EQ(Check_NumberKey('.', false), 0);
    EXPECT_EQ(Check_NumberKey('.', true), '.');
    EXPECT_EQ(Check_NumberKey('5', false), '5');
    EXPECT_EQ(Check_NumberKey('a', true), 0);
    EXPECT_EQ(Check_NumberKey(13, false), -1);
}

} // namespace
