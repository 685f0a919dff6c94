#include "TabulonTestSupport.h"

#include "hlTabulon/frmAbout.h"

#include "app/AppInfo.h"
#include "automation/Automation.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"

#include <QLabel>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QSet>
#include <QSignalSpy>

using namespace tabtest;

namespace {

struct Member {
    const char *name;
    long dispid;
};

// The identifiers hosts are bound to.
const Member kMembers[] = {
    {"Apply_Query", 0x60030648},     {"EMail_Chart", 0x6003064C},     {"Enable_DataButtons", 0x6003064D},
    {"Find_Item", 0x6003064E},       {"Resize_Cols", 0x60030652},     {"Set_Query", 0x60030654},
    {"Set_RecentFiles", 0x60030655}, {"Show_Details", 0x60030657},    {"ShowAboutBox", -552},
    {"UnloadFlter", 0x6003065D},     {"Open_SQL", 0x6003066B},        {"Move_Record", 0x6003066D},
    {"Run_Query", 0x60030670},       {"Select_All", 0x60030671},      {"Set_Options", 0x60030673},
    {"View_Columns", 0x60030676},    {"Show_Sort", 0x60030677},       {"Export_Data", 0x60030679},
    {"Save_SQL", 0x6003067A},        {"Refresh", 0x6003067C},         {"Print_Grid", 0x6003067F},
    {"Show_QueryBuilder", 0x60030683}, {"Show_Options", 0x60030684},  {"Refresh_Results", 0x60030689},
    {"Show_ResultsCount", 0x6003068C}, {"Show_Find", 0x600306B1},     {"Results", 0x68030645},
    {"ChartMaxColumns", 0x68030644}, {"ChartMaxLegend", 0x68030643},  {"Copy_Sel", 0x600306D1},
    {"Paste_Sel", 0x600306D2},       {"DateFormat", 0x68030641},      {"LoadedOK", 0x68030640},
    {"SortCols", 0x6803063F},        {"ShowRowCount", 0x6803063E},    {"QBVisible", 0x6803063D},
    {"ResultsRows", 0x6803063C},     {"SummaryRows", 0x6803063B},     {"XTabRows", 0x6803063A},
    {"CurrentView", 0x68030639},     {"CurrentDataType", 0x68030638}, {"FindVisible", 0x68030637},
    {"FindNext", 0x68030636},        {"SQLEnabled", 0x68030635},      {"adoConnection", 0x68030634},
    {"SQLSource", 0x68030633},       {"SQL", 0x68030632},             {"Delimiter", 0x68030631},
    {"DataType", 0x68030630},        {"StatusBarVisible", 0x6803062F}, {"OpenSQL", 0x6803062C},
    {"DataSourceName", 0x6803062B},  {"MaxRecords", 0x6803062A},      {"AutoRun", 0x68030629},
    {"Container", 0x68030628},       {"OptionsVisible", 0x68030627},  {"SortFields", 0x68030626},
    {"OpenXML", 0x68030625},         {"stViewChart", 0x68030624},     {"stViewSummary", 0x68030623},
    {"stviewXTab", 0x68030622},      {"stExportData", 0x68030621},    {"stSaveSQL", 0x68030620},
    {"stPrint", 0x6803061F},         {"stviewResults", 0x6803061E},   {"stFind", 0x6803061D},
    {"stShowRowCount", 0x6803061C},  {"stOptions", 0x6803061B},       {"stShowQB", 0x6803061A},
    {"stShowSort", 0x68030619},      {"stViewCols", 0x68030618},      {"stMoveFirst", 0x68030617},
    {"stMoveLast", 0x68030616},      {"stResizeCols", 0x68030615},    {"stQueryExecute", 0x68030614},
    {"stQueryClear", 0x68030613},    {"stSelectAll", 0x68030612},     {"stOpenSQL", 0x68030611},
    {"ToolBarMain", 0x68030610},     {"ToolBarResults", 0x6803060F},  {"stCurrentView", 0x6803060E},
};

// Whether the class has a callable member of that exact name (method or property).
bool hasMember(const QMetaObject *meta, const char *name)
{
    if (meta->indexOfProperty(name) >= 0)
        return true;
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.access() == QMetaMethod::Public && m.methodType() != QMetaMethod::Signal && m.name() == name)
            return true;
    }
    return false;
}

class ControlInterface : public ControlTest {};

} // namespace

TEST_F(ControlInterface, EveryMemberAnswersToItsNameAndIdentifier)
{
    const QMetaObject *meta = &hlTabulon::staticMetaObject;
    QSet<long> ids;
    for (const Member &m : kMembers) {
        EXPECT_TRUE(hasMember(meta, m.name)) << m.name;
        EXPECT_EQ(automation::memberForDispId(meta, m.dispid), QLatin1String(m.name)) << m.name;
        ids.insert(m.dispid);
    }
    EXPECT_EQ(ids.size(), int(std::size(kMembers))) << "identifiers are unique";
    // Clear_Query is bound by name; its own identifier must not shadow another member's.
    const auto clear = automation::dispIdOf(meta, QStringLiteral("Clear_Query"));
    ASSERT_TRUE(clear.has_value());
    EXPECT_FALSE(ids.contains(*clear));

    // The five events, as signals with the events' names.
    for (const char *signal : {"DblClick()", "QuerySelected(QString)", "Faultdesk(QString,QString)", "ViewChanged()",
                               "Freeze(bool)"})
        EXPECT_GE(meta->indexOfSignal(signal), 0) << signal;
}

TEST_F(ControlInterface, TheShellsWritesByIdentifierReachTheControl)
{
    hlTabulon tab;
    auto connection = db::Connection::create();
    QString error;
    EXPECT_TRUE(automation::callById(&tab, 0x68030632, {QStringLiteral("SELECT 1")}, nullptr, &error)) << error;
    EXPECT_TRUE(automation::callById(&tab, 0x6803062C, {true}, nullptr, &error)) << error;
    EXPECT_TRUE(automation::callById(&tab, 0x68030630, {2}, nullptr, &error)) << error; // an int, as a host passes it
    EXPECT_TRUE(automation::callById(&tab, 0x6803062A, {250}, nullptr, &error)) << error;
    EXPECT_TRUE(automation::setPropertyById(&tab, 0x68030629, true, &error)) << error;
    EXPECT_TRUE(automation::callById(&tab, 0x68030631, {QStringLiteral("`")}, nullptr, &error)) << error;
    EXPECT_TRUE(automation::setPropertyById(&tab, 0x68030627, true, &error)) << error;
    EXPECT_TRUE(automation::callById(&tab, 0x68030634, {QVariant::fromValue(connection)}, nullptr, &error)) << error;

    QVariant v;
    ASSERT_TRUE(automation::getPropertyById(&tab, 0x68030638, &v));
    EXPECT_EQ(v.toInt(), hlTabulon::tbDataStoredProc);
    EXPECT_TRUE(tab.stOpenSQL());
    EXPECT_TRUE(tab.AutoRun());
    EXPECT_TRUE(tab.OptionsVisible());
    // Reading a write-only member is not possible.
    EXPECT_FALSE(automation::getPropertyById(&tab, 0x68030632, &v));
    // The delimiter set by one host is where the next control starts.
    EXPECT_EQ(analysis::g_strDelimiter, QStringLiteral("`"));
    FrameTabulon next;
    EXPECT_EQ(next.identifierDelimiter(), QStringLiteral("`"));
}

TEST_F(ControlInterface, ClearQueryByNameAndAboutBoxByTheStandardIdentifier)
{
    hlTabulon tab;
    tab.resize(600, 400);
    tab.show();
    QSignalSpy selected(&tab, &hlTabulon::QuerySelected);
    QVariant result;
    QString error;
    ASSERT_TRUE(automation::callByName(&tab, QStringLiteral("clear_query"), {}, &result, &error)) << error;
    EXPECT_TRUE(result.toBool());
    EXPECT_TRUE(ui::Prompter::asked().empty()) << "a blank box is cleared without asking";
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toString(), QString());

    QString caption;
    QString version;
    analysis::setModalRunner([&](QDialog &dialog) {
        caption = dialog.windowTitle();
        if (auto *about = qobject_cast<frmAbout *>(&dialog))
            version = about->lblVersion->text();
        dialog.accept();
    });
    ASSERT_TRUE(automation::callById(&tab, -552, {}, nullptr, &error)) << error;
    EXPECT_EQ(caption, QStringLiteral("About Tabulon"));
    EXPECT_EQ(version, QStringLiteral("Version %1.%2.%3")
                           .arg(tabulon::VersionMajor)
                           .arg(tabulon::VersionMinor)
                           .arg(tabulon::VersionRevision));
    tab.UnloadFlter();
}

TEST_F(ControlInterface, DesignPropertiesKeepOnlyWhatDiffersFromTheDefaults)
{
    hlTabulon tab;
    tab.InitProperties();
    EXPECT_EQ(tab.DateFormat(), QStringLiteral("dd/mm/yyyy"));
    EXPECT_EQ(tab.ChartMaxColumns(), 1000);
    EXPECT_EQ(tab.ChartMaxLegend(), 100);
    EXPECT_TRUE(tab.StatusBarVisible());
    EXPECT_FALSE(tab.stOpenSQL());
    EXPECT_TRUE(tab.WriteProperties().isEmpty());

    tab.setDateFormat(QStringLiteral("yyyy-mm-dd"));
    tab.setChartMaxLegend(20);
    tab.setStatusBarVisible(false);
    const QVariantMap bag = tab.WriteProperties();
    EXPECT_EQ(bag.size(), 3);
    EXPECT_EQ(bag.value(QStringLiteral("DateFormat")).toString(), QStringLiteral("yyyy-mm-dd"));
    EXPECT_EQ(bag.value(QStringLiteral("ChartMaxLegend")).toInt(), 20);
    EXPECT_FALSE(bag.value(QStringLiteral("StatusBar")).toBool());

    // A saved control: the bag's date format replaces the settings' one for the whole library.
    analysis::options().DateFormat = QStringLiteral("from settings");
    hlTabulon loaded;
    loaded.ReadProperties({{QStringLiteral("dateformat"), QStringLiteral("yyyy-mm-dd")},
                           {QStringLiteral("ChartMaxLegend"), QStringLiteral("20")},
                           {QStringLiteral("ChartMaxColumns"), QStringLiteral("lots")},
                           {QStringLiteral("StatusBar"), QStringLiteral("False")}});
    EXPECT_EQ(analysis::options().DateFormat, QStringLiteral("yyyy-mm-dd"));
    EXPECT_EQ(tab.DateFormat(), QStringLiteral("yyyy-mm-dd")) << "shared by every control";
    EXPECT_EQ(loaded.ChartMaxLegend(), 20);
    EXPECT_EQ(loaded.ChartMaxColumns(), 1000) << "a value that does not convert takes the default";
    EXPECT_FALSE(loaded.StatusBarVisible());
    EXPECT_EQ(loaded.WriteProperties(), bag);
}

TEST_F(ControlInterface, PlainReadsAndTheSortList)
{
    FrameTabulon tab;
    EXPECT_EQ(tab.SQLSource(), QString());
    tab.SQL(QStringLiteral("SELECT * FROM t"));
    EXPECT_EQ(tab.SQLSource(), QString());

    EXPECT_EQ(tab.ResultsRows(), 0) << "a header row alone";
    EXPECT_EQ(tab.SummaryRows(), 0);
    tab.grdResults->setRows(5);
    EXPECT_EQ(tab.ResultsRows(), 4);
    tab.grdXTab->setRows(2);
    EXPECT_FALSE(tab.XTabRows());
    tab.grdXTab->setRows(3);
    EXPECT_TRUE(tab.XTabRows());

    // No order at first; a copy goes out and a copy comes in.
    const auto none = tab.SortCols().value<QList<QStringList>>();
    ASSERT_EQ(none.size(), 1);
    EXPECT_EQ(none.at(0).at(0), QStringLiteral("-1"));
    QVariantList wanted{QVariant(QStringList{QStringLiteral("Name"), QStringLiteral("0")}),
                        QVariant(QVariantList{QStringLiteral("Total"), QStringLiteral("1")})};
    tab.setSortCols(wanted);
    auto got = tab.SortCols().value<QList<QStringList>>();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got.at(1), (QStringList{QStringLiteral("Total"), QStringLiteral("1")}));
    got[0][0] = QStringLiteral("changed");
    EXPECT_EQ(tab.SortCols().value<QList<QStringList>>().at(0).at(0), QStringLiteral("Name"));
    tab.setSortCols(QVariantList{});
    EXPECT_EQ(tab.SortCols().value<QList<QStringList>>(), (QList<QStringList>{{QString(), QString()}}));

    // Running afresh forgets the order even when the run fails.
    tab.setSortCols(wanted);
    tab.DataType(hlTabulon::tbDataView);
    tab.resultsAnswer = false;
    EXPECT_FALSE(tab.Run_Query());
    EXPECT_EQ(tab.SortCols().value<QList<QStringList>>().at(0).at(0), QStringLiteral("-1"));
    EXPECT_EQ(tab.CurrentDataType(), hlTabulon::tbDataTable);
}

// --- command states ---

namespace {

// Every button of both toolbars enabled and visible, so that only the view decides.
void enableEverything(FrameTabulon &tab)
{
    for (ui::KeyedToolBar *bar : {tab.tlbMain, tab.tlbResults}) {
        for (int i = 1; i <= bar->ButtonCount(); ++i) {
            bar->Buttons(i).setEnabled(true);
            bar->Buttons(i).setVisible(true);
        }
    }
}

struct StateRow {
    const char *property;
    bool results, chart, summary, xtab; // with every button enabled
};

const StateRow kStates[] = {
    {"stViewChart", true, true, true, true},      {"stViewSummary", true, true, true, true},
    {"stviewXTab", true, true, true, true},       {"stExportData", true, true, true, true},
    {"stSaveSQL", true, true, true, true},        {"stPrint", true, true, true, true},
    {"stviewResults", true, true, true, true},    {"stFind", true, true, true, true},
    {"stShowRowCount", true, false, false, false}, {"stOptions", true, true, true, true},
    {"stShowQB", true, false, false, false},      {"stShowSort", true, false, false, false},
    {"stViewCols", true, false, false, false},    {"stMoveFirst", true, false, false, false},
    {"stMoveLast", true, false, false, false},    {"stResizeCols", true, false, false, false},
    {"stQueryExecute", true, false, false, false}, {"stQueryClear", true, false, false, false},
    {"stSelectAll", true, false, true, true},     {"stOpenSQL", true, true, true, true},
};

// Which button each state reads; the states of the table above follow it when it is disabled.
const std::pair<const char *, std::pair<const char *, const char *>> kReads[] = {
    {"stViewChart", {"main", "Chart"}},          {"stViewSummary", {"main", "Summary"}},
    {"stviewXTab", {"main", "XTab"}},            {"stExportData", {"main", "Export"}},
    {"stSaveSQL", {"main", "SQL"}},              {"stPrint", {"main", "Print"}},
    {"stviewResults", {"main", "Results"}},      {"stFind", {"main", "Find"}},
    {"stShowRowCount", {"results", "ShowCount"}}, {"stOptions", {"main", "Options"}},
    {"stShowQB", {"results", "QueryBuilder"}},   {"stShowSort", {"results", "Sort"}},
    {"stViewCols", {"results", "ShowCols"}},     {"stMoveFirst", {"results", "MoveFirst"}},
    {"stMoveLast", {"results", "MoveLast"}},     {"stResizeCols", {"results", "ColResize"}},
    {"stQueryExecute", {"main", "Refresh"}},     {"stQueryClear", {"results", "Clear"}},
};

bool state(hlTabulon &tab, const char *name)
{
    QVariant v;
    EXPECT_TRUE(automation::getProperty(&tab, QLatin1String(name), &v)) << name;
    return v.toBool();
}

} // namespace

TEST_F(ControlInterface, CommandStatesFollowTheButtonsAndTheViewInEachView)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT * FROM t"));
    tab.OpenSQL(true);
    tab.resize(700, 500);
    tab.show();

    for (hlTabulon::tbView view : {hlTabulon::tbViewResults, hlTabulon::tbViewChart, hlTabulon::tbViewSummary,
                                   hlTabulon::tbViewXTab}) {
        enableEverything(tab);
        ASSERT_TRUE(tab.Change_View(view)) << view;
        enableEverything(tab);
        for (const StateRow &row : kStates) {
            const bool expected = view == hlTabulon::tbViewResults ? row.results
                                  : view == hlTabulon::tbViewChart ? row.chart
                                  : view == hlTabulon::tbViewSummary ? row.summary
                                                                     : row.xtab;
            EXPECT_EQ(state(tab, row.property), expected) << row.property << " in view " << view;
        }
        // Read at the moment they are read: a disabled button shows at once.
        for (const auto &[property, button] : kReads) {
            ui::KeyedToolBar *bar = QLatin1String(button.first) == QLatin1String("main") ? tab.tlbMain : tab.tlbResults;
            const bool before = state(tab, property);
            bar->Buttons(QLatin1String(button.second)).setEnabled(false);
            EXPECT_FALSE(state(tab, property)) << property;
            bar->Buttons(QLatin1String(button.second)).setEnabled(true);
            EXPECT_EQ(state(tab, property), before) << property;
        }
    }

    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewResults));
    enableEverything(tab);
    tab.tlbResults->Buttons(QStringLiteral("ShowCount")).setVisible(false);
    EXPECT_FALSE(tab.stShowRowCount()) << "a hidden count button counts as unavailable";
    tab.OpenSQL(false);
    EXPECT_FALSE(tab.stQueryClear());
    EXPECT_FALSE(tab.stOpenSQL());
    tab.UnloadFlter();
}

TEST_F(ControlInterface, CommandsOfLaterPartsStayDisabledAndAnswerFalse)
{
    hlTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.OpenSQL(true);
    tab.resize(600, 400);
    tab.show();
    EXPECT_TRUE(tab.LoadedOK());
    EXPECT_TRUE(tab.stviewResults());
    EXPECT_TRUE(tab.stQueryExecute());
    EXPECT_TRUE(tab.stQueryClear());
    EXPECT_TRUE(tab.stViewSummary());
    EXPECT_TRUE(tab.stviewXTab());
    EXPECT_TRUE(tab.stViewChart());
    for (const char *st : {"stExportData", "stPrint",
                           "stShowSort", "stViewCols", "stMoveFirst",
                           "stMoveLast", "stShowRowCount"})
        EXPECT_FALSE(state(tab, st)) << st;
    EXPECT_TRUE(tab.stShowQB()) << "the query builder is there for tables and views";
    EXPECT_FALSE(tab.Export_Data());
    EXPECT_FALSE(tab.Refresh()) << "no connection to run on";
    // Switching to a view whose fields cannot be read (there is no connection) changes nothing.
    tab.setStCurrentView(hlTabulon::tbViewXTab);
    EXPECT_EQ(tab.stCurrentView(), hlTabulon::tbViewResults);
    tab.UnloadFlter();
}

// --- writes with side effects ---

TEST_F(ControlInterface, ShowRowCountPressesTheButtonReappliesTheOptionsAndSaves)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.resize(600, 400);
    tab.show();
    QSignalSpy changed(&tab, &hlTabulon::ViewChanged);
    tab.calls.clear();

    ASSERT_TRUE(automation::setPropertyById(&tab, 0x6803063E, true));
    EXPECT_TRUE(tab.ShowRowCount());
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("ShowCount")).Value(), ui::tbrPressed);
    EXPECT_EQ(tab.count(QStringLiteral("Show_ResultsCount")), 1) << "the count is shown";
    EXPECT_EQ(changed.count(), 1) << "the options were applied again";
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Show Count")), QStringLiteral("True"));

    // The same value again still does all of it.
    tab.tlbResults->Buttons(QStringLiteral("ShowCount")).setValue(ui::tbrUnpressed);
    tab.setShowRowCount(true);
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("ShowCount")).Value(), ui::tbrPressed);
    EXPECT_EQ(changed.count(), 2);

    tab.setShowRowCount(false);
    EXPECT_EQ(tab.tlbResults->Buttons(QStringLiteral("ShowCount")).Value(), ui::tbrUnpressed);
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Show Count")), QStringLiteral("False"));
    tab.UnloadFlter();
}

TEST_F(ControlInterface, ToolbarLetsShowHideLayOutAndSave)
{
    FrameTabulon tab;
    tab.SQL(QStringLiteral("SELECT 1"));
    tab.resize(600, 400);
    tab.show();
    const int paneTop = tab.hlSplitResults->y();
    ASSERT_GT(paneTop, 0);

    tab.setToolBarMain(false);
    EXPECT_TRUE(tab.tlbMain->isHidden());
    EXPECT_FALSE(tab.ToolBarMain());
    EXPECT_EQ(tab.hlSplitResults->y(), paneTop - tab.tlbMain->sizeHint().height());
    EXPECT_EQ(stored(QStringLiteral("Main"), QStringLiteral("Toolbar")), QStringLiteral("False"));
    tab.setToolBarMain(true);
    EXPECT_FALSE(tab.tlbMain->isHidden());
    EXPECT_EQ(tab.hlSplitResults->y(), paneTop);

    // In another view the results toolbar waits for the switch back.
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    tab.setToolBarResults(false);
    tab.setToolBarResults(true);
    EXPECT_TRUE(tab.tlbResults->isHidden());
    EXPECT_TRUE(tab.ToolBarResults());
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Toolbar")), QStringLiteral("True"));
    tab.setStCurrentView(hlTabulon::tbViewResults);
    EXPECT_EQ(tab.CurrentView(), hlTabulon::tbViewResults);
    EXPECT_FALSE(tab.tlbResults->isHidden());
    tab.setToolBarResults(false);
    EXPECT_TRUE(tab.tlbResults->isHidden());
    tab.UnloadFlter();
}
