#include "hlTabulon/Options.h"

#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QSet>
#include <QTemporaryDir>

#include <utility>
#include <vector>

using namespace analysis;
using settings::SettingsStore;

namespace {

QString sectionOf(const SettingEntry &e) { return QString::fromLatin1(e.section); }
QString keyOf(const SettingEntry &e) { return QString::fromLatin1(e.key); }
QString trace(const SettingEntry &e) { return sectionOf(e) + QStringLiteral(" / ") + keyOf(e); }

// A valid stored text for the entry that differs from its default.
QString otherValue(const SettingEntry &e)
{
    switch (e.type) {
    case SettingType::Long: {
        const QString def = QString::fromLatin1(e.defaultText);
        for (qint32 candidate : {14, 2, 7, 1, 4, 255, 77}) {
            if ((!e.accepts || e.accepts(candidate)) && QString::number(candidate) != def)
                return QString::number(candidate);
        }
        return {};
    }
    case SettingType::Boolean:
        return QString::fromLatin1(e.defaultText) == QLatin1String("True") ? QStringLiteral("False")
                                                                            : QStringLiteral("True");
    case SettingType::String: return QStringLiteral("C:\\Pictures\\my wall; paper=1.png");
    case SettingType::FontName: return QStringLiteral("Serif Test Face");
    case SettingType::FontSize: return QStringLiteral("10.25");
    case SettingType::FontBold:
    case SettingType::FontItalic: return QStringLiteral("True");
    }
    return {};
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetOptions();
        setSettingsErrorReporter([this](const QString &proc, const QString &text) {
            reports.emplace_back(proc, text);
        });
    }
    void TearDown() override
    {
        setSettingsErrorReporter({});
        resetOptions();
    }

    QString stored(const char *section, const char *key) const
    {
        return store().GetSetting(app, QString::fromLatin1(section), QString::fromLatin1(key),
                                  QStringLiteral("<missing>"));
    }
    void put(const char *section, const char *key, const QString &value)
    {
        ASSERT_TRUE(store().SaveSetting(app, QString::fromLatin1(section), QString::fromLatin1(key), value));
    }
    SettingsStore &store() const { return guard.store(); }

    settings::ScopedSettingsStore guard = SettingsStore::useMemory();
    const QString app = settingsApplication();
    std::vector<std::pair<QString, QString>> reports;
};

TEST_F(OptionsTest, TableNamesEveryStoredKeyExactlyOnce)
{
    const char *grids[] = {"Results", "Summary", "XTab"};
    QSet<QString> expected = {
        "General|Recent Files", "General|Query Builder Align", "General|Sort Fields", "General|Date Format",
        "Main|Toolbar", "Main|Toolbar Text", "Results|Toolbar", "Results|Toolbar Text",
        "QueryBuilder|Toolbar Text", "Results|Double Click", "Results|Show Count", "Results|Col Sort",
        "Results|Col Sel", "Results|Auto Update SQL", "Summary|Merge", "Chart|Type", "Chart|Legend",
        "Chart|Stack", "Chart|Sort Cols", "Chart|Sort Desc", "Chart|Legend Values",
        "Summary\\Totals|Show Totals", "Summary\\Totals|Sub1", "Summary\\Totals|Sub2",
        "SQL\\Font|Font", "SQL\\Font|Size",
    };
    for (const char *g : grids) {
        const QString s = QString::fromLatin1(g);
        for (const char *k : {"Grid Lines", "Background Color", "Alternate Color", "Wallpaper", "Wallpaper Align"})
            expected.insert(s + "|" + k);
        for (const char *k : {"Font", "Size", "Bold", "Italic", "Colour"})
            expected.insert(s + "\\Font|" + k);
    }
    for (const char *view : {"Results", "Chart", "Summary", "XTab"})
        for (const char *k : {"Split\\Percentage", "Split\\Orientation", "Split\\Left"})
            expected.insert(QString::fromLatin1(view) + "|" + k);

    QSet<QString> seen;
    QSet<QString> targets; // each key writes a member of its own
    for (const SettingEntry &e : settingTable()) {
        Options &o = options();
        const void *target = e.longRef ? static_cast<void *>(&e.longRef(o))
            : e.boolRef                ? static_cast<void *>(&e.boolRef(o))
            : e.textRef                ? static_cast<void *>(&e.textRef(o))
                                       : static_cast<void *>(&e.fontRef(o));
        const QString targetId = QString::number(quintptr(target)) + "/" + QString::number(int(e.type));
        EXPECT_FALSE(targets.contains(targetId)) << "shares its member: " << trace(e).toStdString();
        targets.insert(targetId);
        const QString id = sectionOf(e) + "|" + keyOf(e);
        EXPECT_FALSE(seen.contains(id)) << "listed twice: " << id.toStdString();
        seen.insert(id);
        EXPECT_EQ(e.defaultText != nullptr, e.fontRef == nullptr) << id.toStdString();
    }
    EXPECT_EQ(seen, expected);
}

TEST_F(OptionsTest, EmptyStoreGivesDefaultsAndSaveCreatesEveryKey)
{
    ASSERT_TRUE(Read_INI());
    const Options &o = options();
    EXPECT_EQ(o.ResultsGrid.GridLines, 1);
    EXPECT_EQ(o.XTabGrid.BackColor, 16777215);
    EXPECT_EQ(o.SubTotalColor2, 16777215);
    EXPECT_EQ(o.ChartSplit.Percentage, 90);
    EXPECT_TRUE(o.SummarySplit.Orientation);
    EXPECT_TRUE(o.ColSort);
    EXPECT_TRUE(o.MainToolbar);
    EXPECT_TRUE(o.ResultsToolbar);
    EXPECT_FALSE(o.ColSel);
    EXPECT_EQ(o.DoubleClick, 0);
    EXPECT_TRUE(o.DateFormat.isEmpty());
    EXPECT_EQ(o.ResultsGrid.Font.family(), QGuiApplication::font().family());
    EXPECT_EQ(o.SQLFont.pointSizeF(), QGuiApplication::font().pointSizeF());
    EXPECT_TRUE(takeSettingWarnings().isEmpty());

    ASSERT_TRUE(Save_INI());
    for (const SettingEntry &e : settingTable()) {
        SCOPED_TRACE(trace(e).toStdString());
        const auto text = store().value(app, sectionOf(e), keyOf(e));
        ASSERT_TRUE(text.has_value());
        if (e.defaultText) {
            EXPECT_EQ(*text, QString::fromLatin1(e.defaultText));
        }
    }
    EXPECT_EQ(stored("Results", "Split\\Orientation"), "True");
    EXPECT_EQ(stored("Results", "Toolbar Text"), "False");
    // The SQL font keeps only its name and size.
    EXPECT_EQ(stored("SQL\\Font", "Bold"), "<missing>");
    EXPECT_EQ(stored("Find", "Value0"), "<missing>");
    EXPECT_TRUE(reports.empty());
}

TEST_F(OptionsTest, EveryKeyRoundTripsThroughSaveAndRead)
{
    for (const SettingEntry &e : settingTable()) {
        SCOPED_TRACE(trace(e).toStdString());
        ASSERT_TRUE(applySettingText(e, options(), otherValue(e)));
    }
    ASSERT_TRUE(Save_INI());
    for (const SettingEntry &e : settingTable())
        EXPECT_EQ(store().value(app, sectionOf(e), keyOf(e)), otherValue(e)) << trace(e).toStdString();

    resetOptions();
    ASSERT_TRUE(Read_INI());
    for (const SettingEntry &e : settingTable())
        EXPECT_EQ(settingText(e, options()), otherValue(e)) << trace(e).toStdString();
    EXPECT_TRUE(takeSettingWarnings().isEmpty());

    // Each value landed in its own member, not a neighbour's.
    const Options &o = options();
    EXPECT_EQ(o.ChartType, 14);
    EXPECT_EQ(o.XTabGrid.WallpaperAlign, 2);
    EXPECT_FALSE(o.ChartSplit.Orientation);
    EXPECT_TRUE(o.SummarySplit.Left);
    EXPECT_TRUE(o.XTabGrid.Font.italic());
    EXPECT_DOUBLE_EQ(o.SQLFont.pointSizeF(), 10.25);
    EXPECT_EQ(&o.grid(2), &o.XTabGrid);
    EXPECT_EQ(&o.split(1), &o.ChartSplit);
}

TEST_F(OptionsTest, FixedDefaultsAreSetOnEveryReadButStoredValuesWin)
{
    Options &o = options();
    o.ResultsGrid.GridLines = 5;
    o.SummaryGrid.BackColor = 255;
    o.XTabSplit.Percentage = 40;
    o.ResultsSplit.Orientation = false;
    o.ColSort = false;
    o.MainToolbar = false;
    o.SubTotalColor1 = 0;
    // Not fixed: a missing key keeps what is held.
    o.DoubleClick = 2;
    o.DateFormat = QStringLiteral("yyyy-mm-dd");
    o.ResultsGrid.AlternateColor = 0xEEEEEE;
    o.ShowTotals = true;
    put("Chart", "Split\\Percentage", QStringLiteral("35"));
    put("Results", "Col Sort", QStringLiteral("False"));

    ASSERT_TRUE(Read_INI());
    EXPECT_EQ(o.ResultsGrid.GridLines, 1);
    EXPECT_EQ(o.SummaryGrid.BackColor, 16777215);
    EXPECT_EQ(o.XTabSplit.Percentage, 90);
    EXPECT_TRUE(o.ResultsSplit.Orientation);
    EXPECT_TRUE(o.MainToolbar);
    EXPECT_EQ(o.SubTotalColor1, 16777215);
    EXPECT_EQ(o.ChartSplit.Percentage, 35);
    EXPECT_FALSE(o.ColSort);
    EXPECT_EQ(o.DoubleClick, 2);
    EXPECT_EQ(o.DateFormat, "yyyy-mm-dd");
    EXPECT_EQ(o.ResultsGrid.AlternateColor, 0xEEEEEE);
    EXPECT_TRUE(o.ShowTotals);
}

TEST_F(OptionsTest, BadStoredValuesFallBackAndAreReportedOncePerProcess)
{
    options().DoubleClick = 2;
    options().SummaryGrid.Font.setPointSizeF(11);
    put("Results", "Double Click", QStringLiteral("7"));
    put("Results", "Alternate Color", QStringLiteral("abc"));
    put("XTab", "Grid Lines", QStringLiteral("99"));
    put("Chart", "Type", QStringLiteral("3"));
    put("Results", "Split\\Orientation", QStringLiteral("sideways"));
    put("Summary\\Font", "Size", QStringLiteral("-2"));
    put("General", "Recent Files", QStringLiteral("10000000"));
    // Keys after the bad ones are still read.
    put("Summary", "Merge", QStringLiteral("True"));
    put("Results", "Wallpaper Align", QStringLiteral("9"));

    ASSERT_TRUE(Read_INI());
    const Options &o = options();
    EXPECT_EQ(o.DoubleClick, 0);
    EXPECT_EQ(o.ResultsGrid.AlternateColor, 0);
    EXPECT_EQ(o.XTabGrid.GridLines, 1);
    EXPECT_EQ(o.ChartType, 0);
    EXPECT_TRUE(o.ResultsSplit.Orientation);
    EXPECT_EQ(o.SummaryGrid.Font.pointSizeF(), 11.0);
    EXPECT_EQ(o.RecentFiles, 0);
    EXPECT_TRUE(o.Merge);
    EXPECT_EQ(o.ResultsGrid.WallpaperAlign, 9);

    const QStringList warnings = takeSettingWarnings();
    ASSERT_EQ(warnings.size(), 7) << warnings.join('\n').toStdString();
    EXPECT_TRUE(warnings.join('\n').contains("\"Results\" / \"Double Click\" holds \"7\""));
    EXPECT_TRUE(warnings.join('\n').contains("\"Summary\\Font\" / \"Size\""));
    EXPECT_TRUE(warnings.join('\n').contains("\"General\" / \"Recent Files\" holds \"10000000\""));
    EXPECT_TRUE(takeSettingWarnings().isEmpty());

    // A second control reading the same store: same fallbacks, nothing reported again.
    ASSERT_TRUE(Read_INI());
    EXPECT_EQ(options().DoubleClick, 0);
    EXPECT_TRUE(takeSettingWarnings().isEmpty());

    // The next save heals the store, so later starts read cleanly.
    ASSERT_TRUE(Save_INI());
    EXPECT_EQ(stored("Results", "Double Click"), "0");
    EXPECT_EQ(stored("Chart", "Type"), "0");
    EXPECT_EQ(stored("Summary\\Font", "Size"), "11");
}

TEST_F(OptionsTest, FindHistorySurvivesSaveAndReload)
{
    for (int i = 0; i < FindHistorySize; ++i)
        options().FindHistory[std::size_t(i)] = QStringLiteral("find %1").arg(i);
    options().FindHistory[3] = QStringLiteral("  O'Brien ; \\n ");
    ASSERT_TRUE(Save_FindHistory());
    EXPECT_EQ(stored("Find", "Value0"), "find 0");
    EXPECT_EQ(stored("Find", "Value50"), "find 50");
    put("Find", "Value51", QStringLiteral("beyond the history"));

    resetOptions();
    ASSERT_TRUE(Read_INI());
    for (int i = 0; i < FindHistorySize; ++i)
        EXPECT_EQ(options().FindHistory[std::size_t(i)],
                  i == 3 ? QStringLiteral("  O'Brien ; \\n ") : QStringLiteral("find %1").arg(i));
    EXPECT_TRUE(takeSettingWarnings().isEmpty());

    // A shorter history must not pick up the older entries behind it.
    resetOptions();
    options().FindHistory[0] = QStringLiteral("a");
    options().FindHistory[1] = QStringLiteral("b");
    ASSERT_TRUE(Save_FindHistory());
    EXPECT_EQ(stored("Find", "Value2"), "<missing>");
    resetOptions();
    ASSERT_TRUE(Read_INI());
    EXPECT_EQ(options().FindHistory[1], "b");
    EXPECT_TRUE(options().FindHistory[2].isEmpty());
    EXPECT_TRUE(options().FindHistory[50].isEmpty());

    // Reading stops at the first gap.
    resetOptions();
    put("Find", "Value1", QString());
    put("Find", "Value3", QStringLiteral("after a gap"));
    ASSERT_TRUE(Read_INI());
    EXPECT_EQ(options().FindHistory[0], "a");
    EXPECT_TRUE(options().FindHistory[3].isEmpty());
}

TEST_F(OptionsTest, FailedSaveStopsReportsAndLeavesTheStore)
{
    ASSERT_TRUE(Save_INI());
    options().DoubleClick = 1;
    options().ChartSplit.Left = true;
    store().setWriteFailure(QStringLiteral("disk full"));
    EXPECT_FALSE(Save_INI());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, "Save_INI");
    EXPECT_EQ(reports[0].second, "disk full");
    EXPECT_EQ(stored("Chart", "Split\\Left"), "False");

    options().FindHistory[0] = QStringLiteral("q");
    EXPECT_FALSE(Save_FindHistory());
    EXPECT_EQ(reports.back().first, "Save_FindHistory");

    store().setWriteFailure({});
    ASSERT_TRUE(Save_INI());
    EXPECT_EQ(stored("Results", "Double Click"), "1");
    EXPECT_EQ(stored("Chart", "Split\\Left"), "True");
}

TEST_F(OptionsTest, BackslashAndBlankNamesRoundTripThroughTheSettingsFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        auto fileGuard = SettingsStore::use(SettingsStore::createFileStore(dir.path()));
        options().ShowTotals = true;
        options().SubTotalColor2 = 0x00FF00;
        options().SummarySplit.Percentage = 33;
        options().XTabGrid.Font.setFamily(QStringLiteral("Odd = Name; x"));
        options().XTabGrid.Font.setPointSizeF(8.25);
        options().XTabGrid.FontColour = 0x0000FF;
        options().ResultsGrid.Wallpaper = QStringLiteral("/home/u/my pictures/[x]=1.png");
        ASSERT_TRUE(Save_INI());
    }
    resetOptions();
    auto fileGuard = SettingsStore::use(SettingsStore::createFileStore(dir.path()));
    ASSERT_TRUE(Read_INI());
    const Options &o = options();
    EXPECT_TRUE(o.ShowTotals);
    EXPECT_EQ(o.SubTotalColor2, 0x00FF00);
    EXPECT_EQ(o.SummarySplit.Percentage, 33);
    EXPECT_EQ(o.ResultsSplit.Percentage, 90);
    EXPECT_EQ(o.XTabGrid.Font.family(), "Odd = Name; x");
    EXPECT_DOUBLE_EQ(o.XTabGrid.Font.pointSizeF(), 8.25);
    EXPECT_EQ(o.XTabGrid.FontColour, 0x0000FF);
    EXPECT_EQ(o.ResultsGrid.Wallpaper, "/home/u/my pictures/[x]=1.png");
    EXPECT_EQ(fileGuard.store().GetSetting(app, "XTab\\Font", "Size"), "8.25");
    // "Summary\Totals" is a section of its own, not a path below "Summary".
    EXPECT_FALSE(fileGuard.store().value(app, "Summary", "Sub2").has_value());
    EXPECT_TRUE(takeSettingWarnings().isEmpty());
}

TEST(CheckNumberKey, PassesDigitsAndEditingKeysOnly)
{
    EXPECT_EQ(Check_NumberKey(8, false), 8);
    EXPECT_EQ(Check_NumberKey(13, false), -1);
    EXPECT_EQ(Check_NumberKey(46, true), 46);
    EXPECT_EQ(Check_NumberKey(46, false), 0);
    for (int c = '0'; c <= '9'; ++c)
        EXPECT_EQ(Check_NumberKey(c, false), c);
    for (int c : std::initializer_list<int>{'-', ',', '/', ':', 'a', 'E', ' ', 0, 127, 0x660 /* Arabic-Indic zero */, -1})
        EXPECT_EQ(Check_NumberKey(c, true), 0) << c;
}

TEST(QueryBuilderRect, CentredAndRoundedHalfToEven)
{
    EXPECT_EQ(defaultQueryBuilderRect(1001, 501), QRect(250, 176, 500, 150));
    EXPECT_EQ(defaultQueryBuilderRect(0, 0), QRect(0, 0, 0, 0));
    auto guard = SettingsStore::useMemory();
    resetOptions();
    ASSERT_TRUE(Read_INI(800, 600));
    EXPECT_EQ(options().QueryBuilderRect, QRect(200, 210, 400, 180));
    resetOptions();
}

} // namespace
