// The options dialog opened by a control: what it loads, what it stores, what it re-applies and
// what it leaves alone.
#include "TabulonTestSupport.h"

#include "dialogs/frmOptions.h"
#include "dialogs/ppgChart.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace tabtest;

namespace {

void pick(QComboBox *box, const char *caption)
{
    const int index = box->findText(QLatin1String(caption));
    ASSERT_GE(index, 0) << caption;
    box->setCurrentIndex(index);
}

ui::FontChoice font(const char *family, double size, bool bold, bool italic, quint32 color)
{
    ui::FontChoice f;
    f.family = QLatin1String(family);
    f.size = size;
    f.bold = bold;
    f.italic = italic;
    f.color = color;
    return f;
}

class OptionsDialog : public ControlTest {
protected:
    void SetUp() override { start(); }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }

    void start()
    {
        tab = std::make_unique<FrameTabulon>();
        watch(*tab);
        tab->SQL(QStringLiteral("SELECT 1"));
        tab->setOptionsVisible(true);
        tab->resize(900, 600);
        tab->show();
        ASSERT_TRUE(tab->LoadedOK());
        tab->calls.clear();
    }

    // Opens the dialog through the control and runs `work` on it while it is shown.
    void open(const std::function<void(frmOptions &)> &work)
    {
        ++opened;
        analysis::setModalRunner([&work](QDialog &d) {
            auto &dlg = dynamic_cast<frmOptions &>(d);
            dlg.show();
            ASSERT_TRUE(dlg.isLoaded());
            work(dlg);
        });
        ASSERT_TRUE(tab->Show_Options());
        analysis::setModalRunner({});
    }

    // The stored options read back as a new process would.
    void reread()
    {
        analysis::resetOptions();
        ASSERT_TRUE(analysis::Read_INI());
    }

    std::unique_ptr<FrameTabulon> tab;
    int opened = 0;
};

// --- closing without saving ---

TEST_F(OptionsDialog, OpeningAndClosingWithoutSavingLeavesTheSettingsFileByteForByte)
{
    QTemporaryDir dir;
    auto files = settings::SettingsStore::use(settings::SettingsStore::createFileStore(dir.path()));
    const QString app = analysis::settingsApplication();
    files.store().SaveSetting(app, QStringLiteral("Results"), QStringLiteral("Grid Lines"), QStringLiteral("13"));
    files.store().SaveSetting(app, QStringLiteral("Results\\Font"), QStringLiteral("Size"), QStringLiteral("10.25"));
    files.store().SaveSetting(app, QStringLiteral("Chart"), QStringLiteral("Type"), QStringLiteral("14"));
    files.store().SaveSetting(app, QStringLiteral("Summary"), QStringLiteral("Alternate Color"), QStringLiteral("15790320"));
    analysis::resetOptions();
    tab.reset();
    start();
    analysis::Save_INI();
    QFile file(files.store().filePath(app));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const analysis::GridOptions results = analysis::options().ResultsGrid;

    open([](frmOptions &dlg) { dlg.cmdCancel->click(); });
    open([](frmOptions &dlg) { dlg.cmdOK->click(); });
    open([](frmOptions &dlg) { dlg.close(); });
    // Edits undone by answering No.
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    open([](frmOptions &dlg) {
        dlg.chkMergeCols->click();
        pick(dlg.cboType, "3D Area");
        ui::CommonDialog::queueFont(font("Edited Face", 20, true, false, 255));
        dlg.cmdDialog[2]->click();
        ui::CommonDialog::queueColor(0x123456);
        dlg.cmdDialog[3]->click();
        dlg.cmdCancel->click();
    });

    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    ASSERT_EQ(ui::Prompter::asked().size(), 1u) << "only the edited dialog asks";
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Save changes?"));
    EXPECT_EQ(analysis::options().ResultsGrid.Font, results.Font);
    EXPECT_EQ(analysis::options().ChartType, analysis::ChartType2DPie);
    EXPECT_FALSE(analysis::options().Merge);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(OptionsDialog, CancelAfterEditsLeavesTheControlsLookAndTheQuestionDecides)
{
    const QFont gridFont = tab->grdResults->font();
    const quint32 back = tab->grdSummary->BackColor();
    const QFont sqlFont = tab->txtResultsSQL->font();
    const auto orientation = tab->hlSplitResults->Orientation();
    const QString storedFont = stored(QStringLiteral("Results\\Font"), QStringLiteral("Font"));
    const auto edit = [](frmOptions &dlg) {
        ui::CommonDialog::queueFont(font("Other Face", 17, false, true, 0xFF));
        dlg.cmdDialog[2]->click();
        ui::CommonDialog::queueColor(0x00FF00);
        dlg.cmdDialog[3]->click();
        ui::CommonDialog::queueFont(font("Mono Face", 13, false, false, 0));
        dlg.cmdDialog[12]->click();
        dlg.optSplit[0]->click();
    };

    // Cancel in the question keeps the dialog open with its edits.
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    open([&](frmOptions &dlg) {
        edit(dlg);
        dlg.cmdCancel->click();
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.cmdApply->isEnabled());
        dlg.cmdCancel->click();
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_EQ(tab->grdResults->font(), gridFont);
    EXPECT_EQ(tab->grdSummary->BackColor(), back);
    EXPECT_EQ(tab->txtResultsSQL->font(), sqlFont);
    EXPECT_EQ(tab->hlSplitResults->Orientation(), orientation);
    EXPECT_EQ(analysis::options().SummaryGrid.BackColor, 0xFFFFFF);
    EXPECT_EQ(stored(QStringLiteral("Results\\Font"), QStringLiteral("Font")), storedFont);
    EXPECT_EQ(tab->count(QStringLiteral("Show_ResultsCount")), 0);

    // Yes saves and applies, as OK does.
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    open([&](frmOptions &dlg) {
        edit(dlg);
        dlg.close();
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_EQ(tab->grdResults->font().family(), QStringLiteral("Other Face"));
    EXPECT_EQ(tab->grdSummary->BackColor(), 0x00FF00u);
    EXPECT_EQ(tab->txtResultsSQL->font().family(), QStringLiteral("Mono Face"));
    EXPECT_EQ(tab->hlSplitResults->Orientation(), Splitter::splitVertical);
    EXPECT_EQ(stored(QStringLiteral("Results\\Font"), QStringLiteral("Font")), QStringLiteral("Other Face"));
    EXPECT_EQ(tab->count(QStringLiteral("Show_ResultsCount")), 1);
}

// --- what each tab stores ---

TEST_F(OptionsDialog, ResultsTabRoundTripsThroughTheStore)
{
    const auto edit = [](frmOptions &dlg) {
        dlg.optDblClick[2]->click();
        dlg.chkAutoSQL->click();
        dlg.chkToolBarText[1]->click();
        dlg.chkShowCount->click();
        pick(dlg.cboGridLines[0], "Excel");
        ui::CommonDialog::queueFont(font("Serif Test Face", 11.5, true, true, 0x0000FF));
        dlg.cmdDialog[2]->click();
        ui::CommonDialog::queueColor(0xF0F0F0);
        dlg.cmdDialog[0]->click();
        dlg.chkAlternateRows[0]->click();
        ui::CommonDialog::queueColor(0xE0FFE0);
        dlg.cmdDialog[1]->click();
        dlg.txtWallpaper[0]->setText(QStringLiteral("/pictures/wall paper.png"));
        pick(dlg.cboAlignment[0], "Tile");
        dlg.optSplit[0]->click();
        dlg.chkLeft[1]->click();
        dlg.chkColSort->click();
        dlg.chkColSel->click();
        dlg.cmdOK->click();
    };
    open(edit);
    const QString R = QStringLiteral("Results");
    const QString F = QStringLiteral("Results\\Font");
    const std::pair<QString, QString> expected[] = {
        {QStringLiteral("Double Click"), QStringLiteral("2")},      {QStringLiteral("Auto Update SQL"), QStringLiteral("True")},
        {QStringLiteral("Toolbar Text"), QStringLiteral("True")},   {QStringLiteral("Show Count"), QStringLiteral("True")},
        {QStringLiteral("Grid Lines"), QStringLiteral("13")},       {QStringLiteral("Background Color"), QStringLiteral("15790320")},
        {QStringLiteral("Alternate Color"), QStringLiteral("14745568")},
        {QStringLiteral("Wallpaper"), QStringLiteral("/pictures/wall paper.png")},
        {QStringLiteral("Wallpaper Align"), QStringLiteral("10")},  {QStringLiteral("Split\\Orientation"), QStringLiteral("False")},
        {QStringLiteral("Split\\Left"), QStringLiteral("True")},    {QStringLiteral("Col Sort"), QStringLiteral("False")},
        {QStringLiteral("Col Sel"), QStringLiteral("True")},
    };
    for (const auto &[key, text] : expected)
        EXPECT_EQ(stored(R, key), text) << key;
    EXPECT_EQ(stored(F, QStringLiteral("Font")), QStringLiteral("Serif Test Face"));
    EXPECT_EQ(stored(F, QStringLiteral("Size")), QStringLiteral("11.5"));
    EXPECT_EQ(stored(F, QStringLiteral("Bold")), QStringLiteral("True"));
    EXPECT_EQ(stored(F, QStringLiteral("Italic")), QStringLiteral("True"));
    EXPECT_EQ(stored(F, QStringLiteral("Colour")), QStringLiteral("255"));

    reread();
    open([](frmOptions &dlg) {
        EXPECT_TRUE(dlg.optDblClick[2]->isChecked());
        EXPECT_TRUE(dlg.chkAutoSQL->isChecked());
        EXPECT_TRUE(dlg.chkToolBarText[1]->isChecked());
        EXPECT_TRUE(dlg.chkShowCount->isChecked());
        EXPECT_EQ(dlg.cboGridLines[0]->currentText(), QStringLiteral("Excel"));
        EXPECT_EQ(dlg.txtFont[2]->text(), QStringLiteral("Serif Test Face"));
        EXPECT_DOUBLE_EQ(dlg.boxFont(2).pointSizeF(), 11.5);
        EXPECT_TRUE(dlg.boxFont(2).bold());
        EXPECT_EQ(dlg.boxTextColor(2), 0x0000FFu);
        EXPECT_EQ(dlg.boxBackColor(0), 0xF0F0F0u);
        EXPECT_TRUE(dlg.chkAlternateRows[0]->isChecked());
        EXPECT_EQ(dlg.boxBackColor(1), 0xE0FFE0u);
        EXPECT_EQ(dlg.txtWallpaper[0]->text(), QStringLiteral("/pictures/wall paper.png"));
        EXPECT_EQ(dlg.cboAlignment[0]->currentText(), QStringLiteral("Tile"));
        EXPECT_TRUE(dlg.optSplit[0]->isChecked());
        EXPECT_TRUE(dlg.chkLeft[1]->isChecked());
        EXPECT_FALSE(dlg.chkColSort->isChecked());
        EXPECT_TRUE(dlg.chkColSel->isChecked());
        EXPECT_FALSE(dlg.cmdApply->isEnabled());
        dlg.cmdCancel->click();
    });
    EXPECT_TRUE(ui::Prompter::asked().empty());
}

TEST_F(OptionsDialog, ChartTabRoundTripsAndTheTitleIsNeverStored)
{
    open([](frmOptions &dlg) {
        dlg.txtTitle->setText(QStringLiteral("Orders by Region"));
        pick(dlg.cboType, "2D Pie");
        dlg.chkStack->click();
        dlg.chkLegend->click();
        dlg.chkLegendValues->click();
        dlg.optValue[1]->click();
        dlg.optAscending[1]->click();
        dlg.optSplit[2]->click();
        dlg.chkLeft[2]->click();
        dlg.cmdOK->click();
    });
    const QString C = QStringLiteral("Chart");
    EXPECT_EQ(stored(C, QStringLiteral("Type")), QStringLiteral("14"));
    for (const char *key : {"Stack", "Legend", "Legend Values", "Sort Cols", "Sort Desc", "Split\\Left"})
        EXPECT_EQ(stored(C, QLatin1String(key)), QStringLiteral("True")) << key;
    EXPECT_EQ(stored(C, QStringLiteral("Split\\Orientation")), QStringLiteral("False"));
    EXPECT_EQ(analysis::options().ChartTitle, QStringLiteral("Orders by Region"));
    const QString app = analysis::settingsApplication();
    for (const QString &section : store().sections(app))
        for (const auto &[key, value] : store().GetAllSettings(app, section))
            EXPECT_NE(value, QStringLiteral("Orders by Region")) << section << " / " << key;

    reread();
    EXPECT_TRUE(analysis::options().ChartTitle.isEmpty());
    open([](frmOptions &dlg) {
        EXPECT_EQ(dlg.cboType->currentText(), QStringLiteral("2D Pie"));
        EXPECT_EQ(dlg.cboType->currentData().toInt(), 14);
        for (QCheckBox *b : {dlg.chkStack, dlg.chkLegend, dlg.chkLegendValues, dlg.chkLeft[2]})
            EXPECT_TRUE(b->isChecked()) << b->objectName();
        EXPECT_TRUE(dlg.optValue[1]->isChecked());
        EXPECT_TRUE(dlg.optAscending[1]->isChecked());
        EXPECT_TRUE(dlg.optSplit[2]->isChecked());
        dlg.cmdCancel->click();
    });
}

TEST_F(OptionsDialog, ChartPropertyPageShowsTheControlsValuesAndAppliesItsEdits)
{
    analysis::Options o;
    o.ChartType = analysis::ChartType2DPie;
    o.ChartSplit.Orientation = true;
    o.ChartSplit.Left = true;
    o.ChartSortCols = true;
    o.ChartLegendValues = true;
    o.ChartTitle = QStringLiteral("Orders by Region");
    ppgChart page;
    QSignalSpy changed(&page, &ppgChart::ChangedChanged);
    page.show();
    page.SelectionChanged(o);
    EXPECT_EQ(page.windowTitle(), QStringLiteral("Chart"));
    EXPECT_EQ(page.cboType->currentText(), QStringLiteral("2D Pie"));
    EXPECT_TRUE(page.optSplit[3]->isChecked());
    EXPECT_TRUE(page.chkLeft[2]->isChecked());
    EXPECT_TRUE(page.optValue[1]->isChecked());
    EXPECT_TRUE(page.optAscending[0]->isChecked());
    EXPECT_FALSE(page.chkLegend->isChecked());
    EXPECT_TRUE(page.chkLegendValues->isChecked());
    EXPECT_FALSE(page.chkStack->isChecked());
    EXPECT_EQ(page.txtTitle->text(), o.ChartTitle);
    EXPECT_FALSE(page.Changed()) << "loading is no edit";
    EXPECT_TRUE(changed.empty());

    // Edits by mouse and keys mark the page changed, and Apply writes every one of them back.
    QTest::mouseClick(page.chkStack, Qt::LeftButton);
    EXPECT_TRUE(page.Changed());
    EXPECT_EQ(changed.size(), 1);
    QTest::mouseClick(page.optAscending[1], Qt::LeftButton);
    QTest::mouseClick(page.optSplit[2], Qt::LeftButton);
    QTest::mouseClick(page.chkLegend, Qt::LeftButton);
    page.txtTitle->selectAll();
    QTest::keyClicks(page.txtTitle, QStringLiteral("Sales"));
    page.cboType->setCurrentIndex(page.cboType->findText(QStringLiteral("3D Area")));
    analysis::Options applied = o;
    page.ApplyChanges(applied);
    EXPECT_FALSE(page.Changed());
    EXPECT_TRUE(applied.ChartStack);
    EXPECT_TRUE(applied.ChartSortDesc);
    EXPECT_TRUE(applied.ChartSortCols);
    EXPECT_FALSE(applied.ChartSplit.Orientation);
    EXPECT_TRUE(applied.ChartSplit.Left);
    EXPECT_TRUE(applied.ChartLegend);
    EXPECT_TRUE(applied.ChartLegendValues);
    EXPECT_EQ(applied.ChartTitle, QStringLiteral("Sales"));
    EXPECT_EQ(applied.ChartType, analysis::ChartType3DArea);

    // A type the list does not hold is shown as no choice and kept as it was.
    o.ChartType = 99;
    page.SelectionChanged(o);
    EXPECT_EQ(page.cboType->currentIndex(), -1);
    analysis::Options unlisted = o;
    page.ApplyChanges(unlisted);
    EXPECT_EQ(unlisted.ChartType, 99);
}

TEST_F(OptionsDialog, SummaryAndCrossTabTabsRoundTripThroughTheStore)
{
    open([](frmOptions &dlg) {
        dlg.chkSubTotals->click();
        ui::CommonDialog::queueColor(0xCCE0FF);
        dlg.cmdDialog[9]->click();
        ui::CommonDialog::queueColor(0xE0E0E0);
        dlg.cmdDialog[10]->click();
        dlg.chkMergeCols->click();
        for (int i : {1, 2}) {
            const auto n = std::size_t(3 * i);
            pick(dlg.cboGridLines[std::size_t(i)], i == 1 ? "Raised Vert" : "<None>");
            ui::CommonDialog::queueFont(font(i == 1 ? "Summary Face" : "Cross Face", 9.75, i == 1, i == 2, 0x808080));
            dlg.cmdDialog[n + 2]->click();
            ui::CommonDialog::queueColor(0x101010 * quint32(i));
            dlg.cmdDialog[n]->click();
            dlg.chkAlternateRows[std::size_t(i)]->click();
            ui::CommonDialog::queueColor(0x0F0F0F * quint32(i));
            dlg.cmdDialog[n + 1]->click();
            dlg.txtWallpaper[std::size_t(i)]->setText(QStringLiteral("/p/%1.jpg").arg(i));
            pick(dlg.cboAlignment[std::size_t(i)], i == 1 ? "Center Center" : "Right Bottom");
            dlg.optSplit[std::size_t(2 + 2 * i)]->click();
            dlg.chkLeft[std::size_t(2 + i)]->click();
        }
        dlg.cmdOK->click();
    });
    EXPECT_EQ(stored(QStringLiteral("Summary\\Totals"), QStringLiteral("Show Totals")), QStringLiteral("True"));
    EXPECT_EQ(stored(QStringLiteral("Summary\\Totals"), QStringLiteral("Sub1")), QString::number(0xCCE0FF));
    EXPECT_EQ(stored(QStringLiteral("Summary\\Totals"), QStringLiteral("Sub2")), QString::number(0xE0E0E0));
    EXPECT_EQ(stored(QStringLiteral("Summary"), QStringLiteral("Merge")), QStringLiteral("True"));
    const char *sections[] = {nullptr, "Summary", "XTab"};
    for (int i : {1, 2}) {
        const QString s = QLatin1String(sections[i]);
        const QString f = s + QStringLiteral("\\Font");
        EXPECT_EQ(stored(s, QStringLiteral("Grid Lines")), i == 1 ? QStringLiteral("10") : QStringLiteral("0"));
        EXPECT_EQ(stored(s, QStringLiteral("Background Color")), QString::number(0x101010 * i));
        EXPECT_EQ(stored(s, QStringLiteral("Alternate Color")), QString::number(0x0F0F0F * i));
        EXPECT_EQ(stored(s, QStringLiteral("Wallpaper")), QStringLiteral("/p/%1.jpg").arg(i));
        EXPECT_EQ(stored(s, QStringLiteral("Wallpaper Align")), i == 1 ? QStringLiteral("4") : QStringLiteral("8"));
        EXPECT_EQ(stored(s, QStringLiteral("Split\\Orientation")), QStringLiteral("False"));
        EXPECT_EQ(stored(s, QStringLiteral("Split\\Left")), QStringLiteral("True"));
        EXPECT_EQ(stored(f, QStringLiteral("Font")), i == 1 ? QStringLiteral("Summary Face") : QStringLiteral("Cross Face"));
        EXPECT_EQ(stored(f, QStringLiteral("Size")), QStringLiteral("9.75"));
        EXPECT_EQ(stored(f, QStringLiteral("Bold")), i == 1 ? QStringLiteral("True") : QStringLiteral("False"));
        EXPECT_EQ(stored(f, QStringLiteral("Italic")), i == 2 ? QStringLiteral("True") : QStringLiteral("False"));
        EXPECT_EQ(stored(f, QStringLiteral("Colour")), QString::number(0x808080));
    }

    reread();
    open([](frmOptions &dlg) {
        EXPECT_TRUE(dlg.chkSubTotals->isChecked());
        EXPECT_TRUE(dlg.chkMergeCols->isChecked());
        EXPECT_EQ(dlg.boxBackColor(9), 0xCCE0FFu);
        EXPECT_EQ(dlg.boxBackColor(10), 0xE0E0E0u);
        EXPECT_EQ(dlg.cboGridLines[1]->currentText(), QStringLiteral("Raised Vert"));
        EXPECT_EQ(dlg.cboGridLines[2]->currentText(), QStringLiteral("<None>"));
        EXPECT_EQ(dlg.txtFont[8]->text(), QStringLiteral("Cross Face"));
        EXPECT_TRUE(dlg.boxFont(8).italic());
        EXPECT_EQ(dlg.cboAlignment[2]->currentText(), QStringLiteral("Right Bottom"));
        EXPECT_TRUE(dlg.optSplit[6]->isChecked());
        EXPECT_TRUE(dlg.chkLeft[4]->isChecked());
        dlg.cmdCancel->click();
    });
}

TEST_F(OptionsDialog, GeneralTabRoundTripsAndTheSqlFontKeepsItsEffectsUntilTheEnd)
{
    open([](frmOptions &dlg) {
        ui::FontChoice sql = font("Mono Test", 12, true, false, 0);
        sql.underline = true;
        ui::CommonDialog::queueFont(sql);
        dlg.cmdDialog[12]->click();
        dlg.txtRecentFiles->setText(QStringLiteral("6"));
        dlg.chkSortFields->click();
        dlg.chkToolBarText[0]->click();
        dlg.chkToolBarText[2]->click();
        dlg.cmdOK->click();
    });
    EXPECT_EQ(stored(QStringLiteral("SQL\\Font"), QStringLiteral("Font")), QStringLiteral("Mono Test"));
    EXPECT_EQ(stored(QStringLiteral("SQL\\Font"), QStringLiteral("Size")), QStringLiteral("12"));
    EXPECT_EQ(stored(QStringLiteral("SQL\\Font"), QStringLiteral("Bold")), QStringLiteral("<missing>"));
    EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files")), QStringLiteral("6"));
    EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Sort Fields")), QStringLiteral("True"));
    EXPECT_EQ(stored(QStringLiteral("Main"), QStringLiteral("Toolbar Text")), QStringLiteral("True"));
    EXPECT_EQ(stored(QStringLiteral("QueryBuilder"), QStringLiteral("Toolbar Text")), QStringLiteral("True"));
    // The effects live in the shared font as long as the program runs.
    EXPECT_TRUE(tab->txtResultsSQL->font().underline());
    EXPECT_TRUE(tab->txtResultsSQL->font().bold());
    EXPECT_EQ(tab->tlbMain->Buttons(QStringLiteral("Refresh")).Caption(), QStringLiteral("Refresh"));

    reread();
    open([](frmOptions &dlg) {
        EXPECT_EQ(dlg.txtFont[12]->text(), QStringLiteral("Mono Test"));
        EXPECT_FALSE(dlg.boxFont(12).bold());
        EXPECT_EQ(dlg.txtRecentFiles->text(), QStringLiteral("6"));
        EXPECT_TRUE(dlg.chkSortFields->isChecked());
        EXPECT_TRUE(dlg.chkToolBarText[0]->isChecked());
        EXPECT_TRUE(dlg.chkToolBarText[2]->isChecked());
        dlg.cmdCancel->click();
    });
}

// --- Apply, OK and the flags ---

TEST_F(OptionsDialog, ApplyReappliesOnceWithTheKindsOfChangeMadeSinceOpening)
{
    QSignalSpy changed(tab.get(), &hlTabulon::ViewChanged);
    open([&](frmOptions &dlg) {
        EXPECT_FALSE(dlg.cmdApply->isEnabled());
        pick(dlg.cboType, "2D Bar");
        EXPECT_TRUE(dlg.chartChanged());
        EXPECT_FALSE(dlg.dataChanged());
        dlg.cmdApply->click();
        EXPECT_FALSE(dlg.cmdApply->isEnabled());
        EXPECT_EQ(changed.count(), 1);
        EXPECT_EQ(tab->count(QStringLiteral("Set_ChartOptions")), 1);
        EXPECT_EQ(tab->count(QStringLiteral("Show_ResultsCount")), 0);

        // A split on the chart tab is a data change; the chart flag stays set until the end.
        dlg.optSplit[2]->click();
        dlg.cmdApply->click();
        EXPECT_EQ(changed.count(), 2);
        EXPECT_EQ(tab->count(QStringLiteral("Set_ChartOptions")), 2);
        EXPECT_EQ(tab->count(QStringLiteral("Show_ResultsCount")), 1);
        EXPECT_EQ(tab->hlSplitChart->Orientation(), Splitter::splitVertical);

        // OK with nothing pending saves nothing and applies nothing.
        dlg.cmdOK->click();
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(analysis::options().ChartType, analysis::ChartType2DBar);
    EXPECT_TRUE(ui::Prompter::asked().empty());
}

TEST_F(OptionsDialog, AFailedSaveChangesNothingKeepsApplyAndTheCloseQuestionRetries)
{
    store().setWriteFailure(QStringLiteral("disk full"));
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);    // after OK: save changes? - fails again
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);    // the close box: saves this time
    open([&](frmOptions &dlg) {
        dlg.chkShowCount->click();
        dlg.cmdApply->click();
        EXPECT_TRUE(dlg.cmdApply->isEnabled());
        EXPECT_FALSE(analysis::options().ShowCount) << "nothing is taken until it is stored";
        dlg.cmdOK->click();
        EXPECT_TRUE(dlg.isVisible());
        store().setWriteFailure(QString());
        dlg.close();
        EXPECT_FALSE(dlg.isVisible());
    });
    EXPECT_TRUE(analysis::options().ShowCount);
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Show Count")), QStringLiteral("True"));
    EXPECT_EQ(tab->count(QStringLiteral("Show_ResultsCount")), 1);
    ASSERT_GE(errorWindows.size(), 2u);
    EXPECT_EQ(errorWindows[0].procedure, QStringLiteral("Save_INI"));
    EXPECT_EQ(errorWindows[0].description, QStringLiteral("disk full"));
}

// --- lists and number boxes ---

TEST_F(OptionsDialog, ListsShowTheStoredCodeOrTheDefaultForOneOutOfRange)
{
    analysis::options().ResultsGrid.GridLines = 13;
    analysis::options().SummaryGrid.GridLines = 99;
    analysis::options().XTabGrid.WallpaperAlign = 42;
    analysis::options().ChartType = 7;
    analysis::options().DoubleClick = 5;
    open([](frmOptions &dlg) {
        EXPECT_EQ(dlg.cboGridLines[0]->currentIndex(), 1);
        EXPECT_EQ(dlg.cboGridLines[0]->currentText(), QStringLiteral("Excel"));
        EXPECT_EQ(dlg.cboGridLines[1]->currentText(), QStringLiteral("Flat"));
        EXPECT_EQ(dlg.cboAlignment[2]->currentText(), QStringLiteral("Left Top"));
        EXPECT_EQ(dlg.cboType->currentText(), QStringLiteral("3D Bar"));
        EXPECT_TRUE(dlg.optDblClick[0]->isChecked());
        EXPECT_EQ(dlg.cboType->count(), 4);
        EXPECT_EQ(dlg.cboAlignment[0]->count(), 11);
        EXPECT_EQ(dlg.cboGridLines[2]->count(), 14);
        EXPECT_FALSE(dlg.cmdApply->isEnabled());
        EXPECT_FALSE(dlg.dataChanged() || dlg.chartChanged());
        dlg.cmdCancel->click();
    });
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(OptionsDialog, RecentFilesCountIsTheLeadingNumberRoundedHalfToEven)
{
    const std::pair<const char *, qint32> cases[] = {{"abc", 0}, {"2.5", 2}, {"3.5", 4}, {" 7 files", 7}, {"", 0}};
    for (const auto &[text, count] : cases) {
        analysis::options().RecentFiles = 3;
        open([text](frmOptions &dlg) {
            dlg.txtRecentFiles->setText(QLatin1String(text));
            dlg.cmdOK->click();
        });
        EXPECT_EQ(analysis::options().RecentFiles, count) << text;
        EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files")), QString::number(count)) << text;
    }
    EXPECT_TRUE(errorWindows.empty());

    // Beyond the Long range, or a count the store would not take back: the user is told plainly
    // (no fault report), nothing is saved and the dialog stays with the text as typed, by Apply
    // and by OK alike.
    for (const char *text : {"12", "99999999999", "1e400", "-2", "10", "10000000"}) {
        errorWindows.clear();
        ui::Prompter::clearAsked();
        for (ui::MsgResult answer : {ui::MsgResult::OK, ui::MsgResult::OK, ui::MsgResult::No})
            ui::Prompter::queueAnswer(answer);
        open([text](frmOptions &dlg) {
            QApplication::setActiveWindow(&dlg);
            dlg.tabOptions->setCurrentIndex(frmOptions::tabGeneral);
            dlg.txtRecentFiles->selectAll();
            QTest::keyClicks(dlg.txtRecentFiles, QLatin1String(text));
            for (QPushButton *button : {dlg.cmdApply, dlg.cmdOK}) {
                QTest::mouseClick(button, Qt::LeftButton);
                EXPECT_TRUE(dlg.isVisible()) << text;
                EXPECT_TRUE(dlg.cmdApply->isEnabled()) << text;
                EXPECT_EQ(dlg.txtRecentFiles->text(), QLatin1String(text));
                EXPECT_TRUE(dlg.txtRecentFiles->hasFocus()) << "the box to mend has the focus";
            }
            dlg.cmdCancel->click();
        });
        EXPECT_TRUE(errorWindows.empty()) << text;
        ASSERT_EQ(ui::Prompter::asked().size(), 3u) << text; // two refusals, then the closing question
        EXPECT_EQ(ui::Prompter::asked()[0].icon, ui::MsgIcon::Exclamation);
        EXPECT_TRUE(ui::Prompter::asked()[0].text.contains(QStringLiteral("0 to 9"))) << ui::Prompter::asked()[0].text.toStdString();
        EXPECT_EQ(analysis::options().RecentFiles, 0) << text;
        EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files")), QStringLiteral("0")) << text;
    }
}

TEST_F(OptionsDialog, RecentFilesArrowsStepWithinZeroToNine)
{
    open([](frmOptions &dlg) {
        dlg.tabOptions->setCurrentIndex(frmOptions::tabGeneral);
        const std::tuple<const char *, Qt::Key, const char *> steps[] = {
            {"3", Qt::Key_Up, "4"}, {"3", Qt::Key_Down, "2"}, {"9", Qt::Key_Up, "9"},
            {"0", Qt::Key_Down, "0"}, {"", Qt::Key_Down, ""}, {"8.5", Qt::Key_Up, "9.5"}, {"12", Qt::Key_Down, "11"},
        };
        for (const auto &[before, key, after] : steps) {
            dlg.txtRecentFiles->setText(QLatin1String(before));
            QTest::keyClick(dlg.updRecentFiles, key);
            EXPECT_EQ(dlg.txtRecentFiles->text(), QLatin1String(after)) << before;
        }
        EXPECT_EQ(frmOptions::leadingNumber(QStringLiteral(" -1.5e1x")), -15.0);
        EXPECT_EQ(frmOptions::leadingNumber(QStringLiteral(".")), 0.0);
        EXPECT_EQ(frmOptions::leadingNumber(QStringLiteral("4e")), 4.0);
        dlg.cmdApply->setEnabled(false);
        dlg.cmdCancel->click();
    });
}

// --- pickers ---

TEST_F(OptionsDialog, PickersChangeOnlyWhenSomethingIsChosen)
{
    open([](frmOptions &dlg) {
        const QString text = dlg.txtFont[5]->text();
        const quint32 colour = dlg.boxBackColor(4);
        // Cancelled (nothing queued): box, Apply and flags as they were.
        EXPECT_FALSE(dlg.Show_Fonts(5));
        EXPECT_FALSE(dlg.Show_Colors(4));
        EXPECT_FALSE(dlg.Load_Wallpaper(1));
        EXPECT_EQ(dlg.txtFont[5]->text(), text);
        EXPECT_EQ(dlg.boxBackColor(4), colour);
        EXPECT_FALSE(dlg.cmdApply->isEnabled());
        EXPECT_FALSE(dlg.dataChanged());

        ui::FontChoice chosen = font("Picked Face", 30, false, false, 0x00FF00);
        chosen.strikeout = true;
        chosen.underline = true;
        ui::CommonDialog::queueFont(chosen);
        EXPECT_TRUE(dlg.Show_Fonts(5));
        EXPECT_EQ(dlg.txtFont[5]->text(), QStringLiteral("Picked Face"));
        EXPECT_TRUE(dlg.boxFont(5).strikeOut());
        EXPECT_TRUE(dlg.boxFont(5).underline());
        EXPECT_DOUBLE_EQ(dlg.boxFont(5).pointSizeF(), 30.0);
        EXPECT_LE(dlg.txtFont[5]->font().pointSizeF(), 14.0) << "drawn no larger than the tab can hold";
        EXPECT_EQ(dlg.txtFont[5]->palette().color(QPalette::Text), QColor(0, 255, 0));
        EXPECT_TRUE(dlg.cmdApply->isEnabled());
        EXPECT_TRUE(dlg.dataChanged());
        EXPECT_FALSE(dlg.chartChanged());
        // The picker starts from what the box holds.
        ui::CommonDialog::queueFont(std::nullopt);
        dlg.Show_Fonts(5);
        EXPECT_EQ(ui::CommonDialog::lastAsked()->font.family, QStringLiteral("Picked Face"));
        EXPECT_EQ(ui::CommonDialog::lastAsked()->font.color, 0x00FF00u);
        dlg.cmdApply->setEnabled(false);
        dlg.cmdCancel->click();
    });
}

TEST_F(OptionsDialog, WallpaperPickerOffersPicturesAndRefusesAFileThatIsNone)
{
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("wall.png"));
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(picture));
    const QString text = dir.filePath(QStringLiteral("notes.png"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a picture");
    f.close();

    open([&](frmOptions &dlg) {
        ui::CommonDialog::queueFile(text);
        EXPECT_FALSE(dlg.Load_Wallpaper(2));
        const ui::DialogRecord *asked = ui::CommonDialog::lastAsked();
        ASSERT_NE(asked, nullptr);
        EXPECT_EQ(asked->file.title, QStringLiteral("Load Wallpaper"));
        EXPECT_TRUE(asked->file.fileMustExist);
        const auto entries = ui::CommonDialog::parseFilter(asked->file.filter);
        ASSERT_GE(entries.size(), 1u);
        for (const char *pattern : {"*.png", "*.jpg", "*.bmp"})
            EXPECT_TRUE(entries[0].patterns.contains(QLatin1String(pattern))) << pattern;
        EXPECT_TRUE(dlg.txtWallpaper[2]->text().isEmpty());
        EXPECT_FALSE(dlg.cmdApply->isEnabled());

        ui::CommonDialog::queueFile(picture);
        dlg.cmdWallpaper[2]->click();
        EXPECT_EQ(dlg.txtWallpaper[2]->text(), picture);
        EXPECT_TRUE(dlg.dataChanged());
        // The next pick starts in the picture's folder.
        dlg.Load_Wallpaper(2);
        EXPECT_EQ(ui::CommonDialog::lastAsked()->file.initialDir, dir.path());
        dlg.cmdOK->click();
    });
    ASSERT_EQ(errorWindows.size(), 1u);
    EXPECT_EQ(errorWindows[0].procedure, QStringLiteral("Load_Wallpaper"));
    EXPECT_TRUE(errorWindows[0].description.contains(text));
    EXPECT_EQ(stored(QStringLiteral("XTab"), QStringLiteral("Wallpaper")), picture);
}

TEST_F(OptionsDialog, AlternateRowsDecideTheStoredColourAndTheirButton)
{
    analysis::options().SummaryGrid.AlternateColor = 0xDDDDDD;
    open([](frmOptions &dlg) {
        EXPECT_FALSE(dlg.chkAlternateRows[0]->isChecked());
        EXPECT_FALSE(dlg.cmdDialog[1]->isEnabled());
        EXPECT_FALSE(dlg.txtColor[1]->isEnabled());
        EXPECT_EQ(dlg.boxBackColor(1), 0xFFFFFFu);
        EXPECT_TRUE(dlg.chkAlternateRows[1]->isChecked());
        EXPECT_TRUE(dlg.cmdDialog[4]->isEnabled());
        dlg.chkAlternateRows[0]->click();
        EXPECT_TRUE(dlg.cmdDialog[1]->isEnabled());
        dlg.chkAlternateRows[1]->click();
        EXPECT_FALSE(dlg.cmdDialog[4]->isEnabled());
        dlg.cmdOK->click();
    });
    EXPECT_EQ(stored(QStringLiteral("Results"), QStringLiteral("Alternate Color")), QStringLiteral("16777215"));
    EXPECT_EQ(stored(QStringLiteral("Summary"), QStringLiteral("Alternate Color")), QStringLiteral("0"));
    EXPECT_EQ(tab->grdSummary->BackColorAlternate(), 0u);
}

TEST_F(OptionsDialog, TabWalksEveryPageToTheButtonsAndBoxesHandTheFocusToTheirPickers)
{
    open([](frmOptions &dlg) {
        QApplication::setActiveWindow(&dlg);
        dlg.chkShowCount->click(); // an edit, so that Apply takes the focus too
        // Tab from the tab strip through the page reaches the dialog's buttons and comes round to
        // the strip again; Shift+Tab does the same the other way. A box that throws the focus back
        // would hold it for ever.
        for (int page = 0; page < dlg.tabOptions->count(); ++page) {
            dlg.tabOptions->setCurrentIndex(page);
            QWidget *strip = dlg.tabOptions->tabBar();
            for (const Qt::KeyboardModifiers direction : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
                strip->setFocus(Qt::TabFocusReason);
                ASSERT_EQ(QApplication::focusWidget(), strip);
                QSet<QWidget *> met;
                int presses = 0;
                do {
                    ASSERT_NE(QApplication::focusWidget(), nullptr) << "page " << page;
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, direction);
                    met.insert(QApplication::focusWidget());
                } while (QApplication::focusWidget() != strip && ++presses < 80);
                EXPECT_EQ(QApplication::focusWidget(), strip) << "page " << page << " shift " << int(direction);
                for (QWidget *button : {dlg.cmdOK, dlg.cmdApply, dlg.cmdCancel})
                    EXPECT_TRUE(met.contains(button)) << "page " << page << " " << button->objectName().toStdString();
            }
        }
        dlg.cmdApply->setEnabled(false);
        dlg.tabOptions->setCurrentIndex(frmOptions::tabGeneral);
        QTest::mouseClick(dlg.txtFont[12], Qt::LeftButton);
        EXPECT_EQ(QApplication::focusWidget(), dlg.cmdDialog[12]);
        dlg.tabOptions->setCurrentIndex(frmOptions::tabSummary);
        QTest::mouseClick(dlg.txtColor[9], Qt::LeftButton);
        EXPECT_EQ(QApplication::focusWidget(), dlg.cmdDialog[9]);
        // The wallpaper path is typed into.
        QTest::mouseClick(dlg.txtWallpaper[1], Qt::LeftButton);
        EXPECT_EQ(QApplication::focusWidget(), dlg.txtWallpaper[1]);
        dlg.cmdCancel->click();
    });
}

TEST_F(OptionsDialog, EveryNamedControlHasItsTooltip)
{
    open([](frmOptions &dlg) {
        EXPECT_EQ(dlg.optSplit[6]->toolTip(), QStringLiteral("Split X-Tab SQL panes vertically"));
        EXPECT_EQ(dlg.chkLeft[3]->toolTip(), QStringLiteral("Display SQL pane on the left\\top"));
        EXPECT_EQ(dlg.cmdDialog[10]->toolTip(),
                  QStringLiteral("Invoke Colour pallete for Summary Sub Total Column 2 forecolor"));
        EXPECT_EQ(dlg.cmdApply->toolTip(), QStringLiteral("Apply changes"));
        // The few without one.
        for (QWidget *w : {static_cast<QWidget *>(dlg.cmdDialog[3]), static_cast<QWidget *>(dlg.txtFont[12]),
                           static_cast<QWidget *>(dlg.txtRecentFiles)})
            EXPECT_TRUE(w->toolTip().isEmpty()) << w->objectName();
        dlg.cmdCancel->click();
    });
}

// --- the control's side ---

TEST_F(OptionsDialog, AMissingWallpaperAtStartUpLeavesAFullyWorkingControl)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone/wall.jpg"));
    const QString app = analysis::settingsApplication();
    store().SaveSetting(app, QStringLiteral("Summary"), QStringLiteral("Wallpaper"), missing);
    store().SaveSetting(app, QStringLiteral("General"), QStringLiteral("Recent Files"), QStringLiteral("3"));
    store().SaveSetting(app, QStringLiteral("General"), QStringLiteral("Recent Files1"), QStringLiteral("/q/first.sql"));
    store().SaveSetting(app, QStringLiteral("SQL\\Font"), QStringLiteral("Font"), QStringLiteral("Start Mono"));
    tab->UnloadFlter();
    tab.reset();
    analysis::resetOptions();
    events.clear();
    errorWindows.clear();
    start();

    // What start-up does after applying the options all happened.
    EXPECT_TRUE(tab->LoadedOK());
    EXPECT_TRUE(tab->tmrEsc->isActive()) << "Escape is polled";
    EXPECT_EQ(tab->CurrentView(), hlTabulon::tbViewResults);
    EXPECT_EQ(tab->tlbMain->Buttons(QStringLiteral("Results")).Value(), ui::tbrPressed);
    ui::ToolBarButton &openButton = tab->tlbResults->Buttons(QStringLiteral("Open"));
    EXPECT_EQ(openButton.Style(), ui::tbrDropdown) << "the recent-files menu is set";
    EXPECT_EQ(openButton.ButtonMenus().Count(), 1);
    EXPECT_TRUE(tab->tlbMain->Buttons(QStringLiteral("Options")).Visible());
    EXPECT_EQ(tab->txtResultsSQL->font().family(), QStringLiteral("Start Mono"));
    EXPECT_TRUE(tab->grdSummary->WallPaper().isNull());
    const auto said = events.size() + errorWindows.size();
    ASSERT_EQ(said, 1u) << "said once";
    const Report &report = events.empty() ? errorWindows.front() : events.front();
    EXPECT_TRUE(report.description.contains(missing)) << report.description;

    // The dialog shows the path to mend, and choosing none clears the picture for good.
    open([](frmOptions &dlg) {
        dlg.txtWallpaper[1]->clear();
        dlg.cmdOK->click();
    });
    EXPECT_EQ(stored(QStringLiteral("Summary"), QStringLiteral("Wallpaper")), QString());
    EXPECT_EQ(events.size() + errorWindows.size(), 1u);
}

TEST_F(OptionsDialog, OpensOnTheCurrentViewsTabFromTheToolbarButton)
{
    ui::KeyedToolBar *bar = tab->tlbMain;
    EXPECT_TRUE(bar->Buttons(QStringLiteral("Options")).Visible());
    EXPECT_TRUE(tab->stOptions());
    const std::pair<hlTabulon::tbView, int> views[] = {{hlTabulon::tbViewChart, frmOptions::tabChart},
                                                       {hlTabulon::tbViewSummary, frmOptions::tabSummary},
                                                       {hlTabulon::tbViewXTab, frmOptions::tabXTab},
                                                       {hlTabulon::tbViewResults, frmOptions::tabResults}};
    for (const auto &[view, page] : views) {
        ASSERT_TRUE(tab->Change_View(view));
        int shown = -1;
        analysis::setModalRunner([&shown](QDialog &d) {
            auto &dlg = dynamic_cast<frmOptions &>(d);
            dlg.show();
            shown = dlg.tabOptions->currentIndex();
            dlg.cmdCancel->click();
        });
        bar->Buttons(QStringLiteral("Options")).action()->trigger();
        EXPECT_EQ(shown, page) << view;
    }
    analysis::setModalRunner({});
    EXPECT_TRUE(events.empty());
}

} // namespace
