#include "BrowserTestSupport.h"

#include "Passwords.h"
#include "frmNewDataSource.h"
#include "frmOptions.h"
#include "grid/Grid.h"
#include "hlSourceBrowser/hlSourceBrowser.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace browser;
using browsertest::BrowserTest;

namespace {

const QString App = QStringLiteral("Tabulon");

QStringList names(const DataSourceTable &table)
{
    QStringList out;
    for (const DataSourceRow &row : table.rows)
        if (!row.Name.isEmpty())
            out << row.ID + u':' + row.Name;
    return out;
}

class OptionsDialogTest : public BrowserTest {
protected:
    OptionsDialogTest()
    {
        // One runner for every dialog the options dialog opens.
        setDialogRunner([this](QDialog &d) {
            if (auto *options = qobject_cast<frmOptions *>(&d)) {
                ++optionsShown;
                if (onOptions)
                    onOptions(*options);
            } else if (auto *source = qobject_cast<frmNewDataSource *>(&d)) {
                ++sourceDialogs;
                source->txtName->setText(newName);
                source->txtConnection->setText(newConnection);
                source->cmdOK->click();
            } else if (auto *password = qobject_cast<frmPassword *>(&d)) {
                ++passwordAsked;
                password->txtPassword[0]->setText(passwordAnswer);
                password->cmdOK->click();
                if (password->Cancelled())
                    password->cmdCancel->click();
            }
        });
    }

    void threeSources()
    {
        writeIni("[1]\nName=One\nConnection=Provider=SQLite;Data Source=one.db\n"
                 "[2]\nName=Two\nConnection=Provider=SQLite;Data Source=two.db\n"
                 "[3]\nName=Three\nConnection=Provider=SQLite;Data Source=three.db\n");
    }
    std::unique_ptr<hlSourceBrowser> started()
    {
        auto b = std::make_unique<hlSourceBrowser>();
        QObject::connect(b.get(), &hlSourceBrowser::Faultdesk, b.get(),
                         [this](const QString &sub, const QString &text) { errors.push_back({sub, text}); });
        EXPECT_TRUE(b->Init());
        return b;
    }
    std::unique_ptr<frmOptions> opened(hlSourceBrowser *browser = nullptr)
    {
        auto dlg = std::make_unique<frmOptions>();
        dlg->setCalledFrom(browser);
        EXPECT_TRUE(dlg->load());
        return dlg;
    }
    QString stored(const QString &section, const QString &key) { return store().GetSetting(App, section, key); }
    int gridRowOf(const frmOptions &dlg, const QString &name) const
    {
        return dlg.grdDataSources->FindRow(name, 1, frmOptions::colName);
    }

    std::function<void(frmOptions &)> onOptions;
    int optionsShown = 0;
    int sourceDialogs = 0;
    int passwordAsked = 0;
    QString newName = QStringLiteral("Added");
    QString newConnection = QStringLiteral("Provider=SQLite;Data Source=added.db");
    QString passwordAnswer;
};

TEST(OptionsGetValue, TakesTheValueOfACaseSensitiveKey)
{
    const QString cn = QStringLiteral("Provider=PostgreSQL;Data Source=db.example;Initial Catalog=sales");
    EXPECT_EQ(frmOptions::Get_Value(cn, QStringLiteral("Provider")), QStringLiteral("PostgreSQL"));
    EXPECT_EQ(frmOptions::Get_Value(cn, QStringLiteral("Initial Catalog")), QStringLiteral("sales"));
    EXPECT_EQ(frmOptions::Get_Value(cn + u';', QStringLiteral("Initial Catalog")), QStringLiteral("sales"));
    EXPECT_EQ(frmOptions::Get_Value(cn, QStringLiteral("data source")), QString());
    EXPECT_EQ(frmOptions::Get_Value(cn, QStringLiteral("Port")), QString());
    EXPECT_EQ(frmOptions::Get_Value(QStringLiteral("Provider"), QStringLiteral("Provider")), QString());
    EXPECT_EQ(frmOptions::Get_Value(QString(), QStringLiteral("Provider")), QString());
}

TEST_F(OptionsDialogTest, LoadsTheSettingsAndClosesUntouchedWithoutAsking)
{
    writeIni("[1]\nName=O''Brien\nConnection=Provider=PostgreSQL;Data Source=pg;Initial Catalog=crm;Password=hush\n"
             "Description=main\nDelimiter=\"\n");
    ASSERT_TRUE(Get_DataSources());
    BrowserSettings &s = browserSettings();
    s.SplitOrientation = true;
    s.SplitLeft = true;
    s.GridLines = true;
    s.ObjectToolDelay = 7;
    s.OpenView = false;
    s.AdminPassword = true;

    auto dlg = opened();
    EXPECT_TRUE(dlg->optSplit[1]->isChecked());
    EXPECT_TRUE(dlg->chkLeft->isChecked());
    EXPECT_TRUE(dlg->chkGridLines->isChecked());
    EXPECT_FALSE(dlg->chkToolBarText->isChecked());
    EXPECT_FALSE(dlg->chkObjectToolTips->isChecked());
    EXPECT_FALSE(dlg->chkFieldTypes->isEnabled());
    EXPECT_FALSE(dlg->txtObjectToolDelay->isEnabled());
    EXPECT_EQ(dlg->txtObjectToolDelay->text(), QStringLiteral("7"));
    EXPECT_TRUE(dlg->chkQueryView[0]->isChecked());
    EXPECT_FALSE(dlg->chkQueryView[1]->isChecked());
    EXPECT_TRUE(dlg->chkPasswordAdmin->isChecked());
    EXPECT_TRUE(dlg->cmdPassword->isEnabled());
    EXPECT_FALSE(dlg->cmdApply->isEnabled());
    EXPECT_FALSE(dlg->optionsChanged());
    EXPECT_FALSE(dlg->dataSourcesChanged());

    grid::Grid &g = *dlg->grdDataSources;
    ASSERT_EQ(g.Rows(), 2);
    EXPECT_EQ(g.TextMatrix(1, frmOptions::colName), QStringLiteral("O'Brien"));
    EXPECT_EQ(g.TextMatrix(1, frmOptions::colID), QStringLiteral("1"));
    EXPECT_EQ(g.TextMatrix(1, frmOptions::colProvider), QStringLiteral("PostgreSQL"));
    EXPECT_EQ(g.TextMatrix(1, frmOptions::colServer), QStringLiteral("pg"));
    EXPECT_EQ(g.TextMatrix(1, frmOptions::colDatabase), QStringLiteral("crm"));
    EXPECT_FALSE(g.TextMatrix(1, frmOptions::colConnection).contains(QStringLiteral("hush")));
    for (int c : {frmOptions::colNum, frmOptions::colID, frmOptions::colConnection})
        EXPECT_TRUE(g.ColHidden(c));
    EXPECT_TRUE(dlg->cmdDataSource[2]->isEnabled());

    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->cmdCancel->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(OptionsDialogTest, EmptyListLeavesOnlyNew)
{
    auto dlg = opened();
    EXPECT_EQ(dlg->grdDataSources->Rows(), 1);
    EXPECT_TRUE(dlg->cmdDataSource[0]->isEnabled());
    for (int i = 1; i <= 3; ++i)
        EXPECT_FALSE(dlg->cmdDataSource[size_t(i)]->isEnabled());
    dlg->cmdDataSource_Click(1); // Edit with nothing listed
    EXPECT_EQ(sourceDialogs, 0);
}

TEST_F(OptionsDialogTest, ChangeHandlersFollowTheBoxes)
{
    auto dlg = opened();
    dlg->chkObjectToolTips->setChecked(true);
    EXPECT_TRUE(dlg->chkFieldTypes->isEnabled());
    EXPECT_TRUE(dlg->chkSortFields->isEnabled());
    EXPECT_TRUE(dlg->txtObjectToolDelay->isEnabled());
    EXPECT_TRUE(dlg->cmdApply->isEnabled());
    EXPECT_TRUE(dlg->optionsChanged());
    EXPECT_FALSE(dlg->dataSourcesChanged());
    dlg->chkQueryView[2]->setChecked(false);
    EXPECT_TRUE(dlg->dataSourcesChanged());
    EXPECT_FALSE(dlg->cmdPassword->isEnabled());
    dlg->chkPasswordData->setChecked(true);
    EXPECT_TRUE(dlg->cmdPassword->isEnabled());

    dlg->txtObjectToolDelay->clear();
    QTest::keyClicks(dlg->txtObjectToolDelay, QStringLiteral("1a.-2 "));
    EXPECT_EQ(dlg->txtObjectToolDelay->text(), QStringLiteral("12"));
}

TEST_F(OptionsDialogTest, TickingAndUntickingStillAsksOnCancelAndCancelKeepsItOpen)
{
    auto dlg = opened();
    dlg->chkGridLines->setChecked(true);
    dlg->chkGridLines->setChecked(false);
    ASSERT_TRUE(dlg->cmdApply->isEnabled());

    QSignalSpy finished(dlg.get(), &QDialog::finished);
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    dlg->cmdCancel->click();
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Save changes?"));
    EXPECT_EQ(ui::Prompter::lastAsked()->buttons, ui::MsgButtons::YesNoCancel);
    EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Question);
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Options"));
    EXPECT_EQ(finished.count(), 0);
}

TEST_F(OptionsDialogTest, ApplySavesTheSettingsAndCallsTheBrowserBack)
{
    threeSources();
    auto b = started();
    QSignalSpy refreshed(b.get(), &hlSourceBrowser::Refreshed);
    auto dlg = opened(b.get());
    dlg->chkGridLines->setChecked(true);
    dlg->optSplit[1]->setChecked(true);
    dlg->chkQueryView[1]->setChecked(false);
    dlg->txtObjectToolDelay->setText(QStringLiteral("9"));

    dlg->cmdApply_Click();
    EXPECT_FALSE(dlg->cmdApply->isEnabled());
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_TRUE(browserSettings().GridLines);
    EXPECT_TRUE(browserSettings().SplitOrientation);
    EXPECT_FALSE(browserSettings().OpenView);
    EXPECT_EQ(browserSettings().ObjectToolDelay, 9);
    EXPECT_EQ(stored(QStringLiteral("Data"), QStringLiteral("Grid Lines")), QStringLiteral("True"));
    EXPECT_EQ(stored(QStringLiteral("Data"), QStringLiteral("Split\\Orientation")), QStringLiteral("True"));
    EXPECT_EQ(stored(QStringLiteral("Admin"), QStringLiteral("Open View")), QStringLiteral("False"));
    EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Object Tool Delay")), QStringLiteral("9"));
    // The tree was rebuilt: a data source now has no "Views" folder.
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 3);
    EXPECT_EQ(b->tvwData->topLevelItem(0)->childCount(), 2);
    // The flags stay set, and the dialog stays open.
    EXPECT_TRUE(dlg->optionsChanged());
    EXPECT_TRUE(dlg->dataSourcesChanged());

    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->cmdCancel->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(browserSettings().GridLines); // applied changes outlive the Cancel
    EXPECT_TRUE(errors.empty());
}

TEST_F(OptionsDialogTest, NoOnTheCloseQuestionDiscardsEveryChange)
{
    threeSources();
    auto b = started();
    const QByteArray fileBefore = fileBytes();
    const QStringList tableBefore = names(dataSources());
    QSignalSpy refreshed(b.get(), &hlSourceBrowser::Refreshed);

    auto dlg = opened(b.get());
    dlg->chkToolBarText->setChecked(true);
    dlg->chkDataSource->setChecked(false);
    dlg->cmdDataSource_Click(0); // New
    ASSERT_EQ(dlg->grdDataSources->Rows(), 5);
    dlg->grdDataSources->setRow(gridRowOf(*dlg, QStringLiteral("Two")));
    dlg->cmdDataSource_Click(2); // Delete, confirmed by the scripted OK
    EXPECT_TRUE(dataSources().rows[2].ID.isEmpty());

    ui::Prompter::queueAnswer(ui::MsgResult::No);
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->cmdCancel->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(names(dataSources()), tableBefore);
    EXPECT_EQ(dataSources().count, 3);
    EXPECT_EQ(fileBytes(), fileBefore);
    EXPECT_FALSE(browserSettings().ToolBarText);
    EXPECT_TRUE(browserSettings().EditData);
    EXPECT_TRUE(stored(QStringLiteral("Data"), QStringLiteral("ToolBar Text")).isEmpty());
    EXPECT_EQ(refreshed.count(), 0);
}

TEST_F(OptionsDialogTest, YesOnTheCloseQuestionActsAsOK)
{
    threeSources();
    auto b = started();
    auto dlg = opened(b.get());
    dlg->chkOpenSQL->setChecked(false);
    dlg->cmdDataSource_Click(0);

    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->reject(); // the close box
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(browserSettings().OpenSQL);
    EXPECT_EQ(stored(QStringLiteral("Admin"), QStringLiteral("Open SQL")), QStringLiteral("False"));
    EXPECT_TRUE(fileBytes().contains("Name=Added"));
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 4); // the browser was told
    EXPECT_EQ(b->tvwData->topLevelItem(3)->text(0), QStringLiteral("Added"));
    dlg.reset();
    EXPECT_EQ(dataSources().rows[4].Name, QStringLiteral("Added")); // nothing undone afterwards
}

TEST_F(OptionsDialogTest, OkSavesAndClosesAndUntickedPasswordBoxesClearThePassword)
{
    threeSources();
    browserSettings().Password = hashPassword(QStringLiteral("PW"));
    browserSettings().AdminPassword = true;
    auto b = started();
    ASSERT_FALSE(browserSettings().Password.isEmpty()); // Init keeps a password the store lacks
    auto dlg = opened(b.get());
    dlg->chkPasswordAdmin->setChecked(false);

    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->cmdOK_Click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(browserSettings().Password.isEmpty());
    EXPECT_FALSE(browserSettings().AdminPassword);
    ASSERT_TRUE(store().value(App, QStringLiteral("Admin"), QStringLiteral("Password")).has_value());
    EXPECT_TRUE(stored(QStringLiteral("Admin"), QStringLiteral("Password")).isEmpty());
    EXPECT_EQ(stored(QStringLiteral("Admin"), QStringLiteral("Admin Password")), QStringLiteral("False"));
}

TEST_F(OptionsDialogTest, OkWithoutChangesWritesNothing)
{
    auto dlg = opened();
    dlg->cmdOK_Click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(store().sections(App).isEmpty());
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(OptionsDialogTest, AFailedSettingsSaveIsReportedAndChangesNothing)
{
    threeSources();
    auto b = started();
    QSignalSpy refreshed(b.get(), &hlSourceBrowser::Refreshed);
    auto dlg = opened(b.get());
    dlg->chkGridLines->setChecked(true);
    store().setWriteFailure(QStringLiteral("disk full"));

    dlg->cmdApply_Click();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().procedure, QStringLiteral("Write_INI"));
    EXPECT_TRUE(errors.back().description.contains(QStringLiteral("disk full")));
    EXPECT_TRUE(dlg->cmdApply->isEnabled());
    EXPECT_FALSE(browserSettings().GridLines);
    EXPECT_EQ(refreshed.count(), 0);

    // OK cannot save either: the closing asks, and No leaves without saving.
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    dlg->cmdOK_Click();
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Save changes?"));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(browserSettings().GridLines);
    EXPECT_EQ(refreshed.count(), 0);
}

TEST_F(OptionsDialogTest, YesWithAFailedSaveKeepsTheDialogOpen)
{
    auto dlg = opened();
    dlg->chkGridLines->setChecked(true);
    store().setWriteFailure(QStringLiteral("read-only"));
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    dlg->reject();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(errors.empty());
    EXPECT_TRUE(dlg->cmdApply->isEnabled());
}

TEST_F(OptionsDialogTest, AnInvalidDelayIsReportedAndNothingIsWritten)
{
    auto dlg = opened();
    dlg->chkObjectToolTips->setChecked(true);
    dlg->chkToolBarText->setChecked(true);
    for (const QString &text : {QString(), QStringLiteral("99999999999")}) {
        errors.clear();
        dlg->txtObjectToolDelay->setText(text);
        EXPECT_FALSE(dlg->Save_Changes());
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].procedure, QStringLiteral("Save_Changes"));
        EXPECT_FALSE(browserSettings().ObjectToolTips);
        EXPECT_FALSE(browserSettings().ToolBarText);
        EXPECT_TRUE(store().sections(App).isEmpty());
        EXPECT_TRUE(dlg->cmdApply->isEnabled());
    }
}

TEST_F(OptionsDialogTest, AnUnwritableDataSourceFileKeepsTheEditsAndTheDialogOpen)
{
    threeSources();
    auto b = started();
    QSignalSpy refreshed(b.get(), &hlSourceBrowser::Refreshed);
    const QString firstPath = iniPath();
    const QByteArray fileBefore = fileBytes();
    // The file's folder is replaced by a plain file: nothing can be written there.
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    {
        QFile f(blocked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    browserSettings().IniFilePath = blocked + QStringLiteral("/DataSources.ini");

    auto dlg = opened(b.get());
    dlg->chkGridLines->setChecked(true);
    dlg->cmdDataSource_Click(0);
    ASSERT_EQ(dataSources().rows[4].Name, QStringLiteral("Added"));

    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->cmdOK_Click();
    EXPECT_EQ(finished.count(), 0);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().procedure, QStringLiteral("Save_DataSources"));
    EXPECT_EQ(dataSources().rows[4].Name, QStringLiteral("Added")); // kept for another try
    EXPECT_TRUE(dlg->cmdApply->isEnabled());
    EXPECT_FALSE(browserSettings().GridLines); // nothing after the failed file was saved
    EXPECT_EQ(refreshed.count(), 0);

    errors.clear();
    dlg->cmdApply_Click();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(refreshed.count(), 0);
    EXPECT_FALSE(browserSettings().GridLines);

    // The folder comes back: Apply now saves everything.
    ASSERT_TRUE(QFile::remove(blocked));
    ASSERT_TRUE(QDir().mkpath(blocked));
    dlg->cmdApply_Click();
    EXPECT_FALSE(dlg->cmdApply->isEnabled());
    EXPECT_TRUE(browserSettings().GridLines);
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(b->tvwData->topLevelItemCount(), 4);
    EXPECT_TRUE(fileBytes().contains("Name=Added"));
    QFile first(firstPath);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), fileBefore); // the first file was never touched
}

TEST_F(OptionsDialogTest, AfterApplyTheGridNamesTheRenumberedRows)
{
    threeSources();
    auto b = started();
    auto dlg = opened(b.get());
    dlg->grdDataSources->setRow(gridRowOf(*dlg, QStringLiteral("Two")));
    dlg->cmdDataSource_Click(2);
    // Deleted but listed until the file is read again; editing it does nothing.
    ASSERT_EQ(dlg->grdDataSources->Rows(), 4);
    dlg->cmdDataSource_Click(1);
    EXPECT_EQ(sourceDialogs, 0);

    dlg->cmdApply_Click();
    EXPECT_EQ(names(dataSources()), (QStringList{QStringLiteral("1:One"), QStringLiteral("2:Three")}));
    ASSERT_EQ(dlg->grdDataSources->Rows(), 3);
    const int three = gridRowOf(*dlg, QStringLiteral("Three"));
    ASSERT_EQ(three, 2);
    EXPECT_EQ(dlg->grdDataSources->TextMatrix(three, frmOptions::colID), QStringLiteral("2"));

    newName = QStringLiteral("Three renamed");
    newConnection = QStringLiteral("Provider=SQLite;Data Source=three.db");
    dlg->grdDataSources->setRow(three);
    dlg->cmdDataSource_Click(1);
    EXPECT_EQ(names(dataSources()), (QStringList{QStringLiteral("1:One"), QStringLiteral("2:Three renamed")}));
    dlg->grdDataSources->setRow(gridRowOf(*dlg, QStringLiteral("Three renamed")));
    dlg->cmdDataSource_Click(2); // deletes the renamed one, not a row beyond the list
    EXPECT_TRUE(dataSources().rows[2].ID.isEmpty());
    EXPECT_EQ(dataSources().rows[1].ID, QStringLiteral("1"));
}

TEST_F(OptionsDialogTest, PasswordGuardsTheDataSourcesTab)
{
    browserSettings().Password = hashPassword(QStringLiteral("PW"));
    browserSettings().DataPassword = true;
    auto dlg = opened();

    passwordAnswer = QStringLiteral("wrong");
    dlg->tabOptions->setCurrentIndex(frmOptions::tabDataSources);
    EXPECT_EQ(passwordAsked, 1);
    EXPECT_EQ(dlg->tabOptions->currentIndex(), frmOptions::tabGeneral);
    EXPECT_FALSE(dlg->passwordGiven());

    dlg->tabOptions->setCurrentIndex(frmOptions::tabAdmin); // "Admin Password" is off
    EXPECT_EQ(passwordAsked, 1);
    EXPECT_EQ(dlg->tabOptions->currentIndex(), frmOptions::tabAdmin);

    passwordAnswer = QStringLiteral("pw");
    dlg->tabOptions->setCurrentIndex(frmOptions::tabDataSources);
    EXPECT_EQ(passwordAsked, 2);
    EXPECT_EQ(dlg->tabOptions->currentIndex(), frmOptions::tabDataSources);
    EXPECT_TRUE(dlg->passwordGiven());
    dlg->tabOptions->setCurrentIndex(frmOptions::tabGeneral);
    dlg->tabOptions->setCurrentIndex(frmOptions::tabDataSources);
    EXPECT_EQ(passwordAsked, 2);
    EXPECT_FALSE(dlg->cmdApply->isEnabled()); // looking changes nothing

    auto again = opened(); // given once per opening of the dialog
    passwordAnswer = QStringLiteral("pw");
    again->tabOptions->setCurrentIndex(frmOptions::tabDataSources);
    EXPECT_EQ(passwordAsked, 3);
}

TEST_F(OptionsDialogTest, AdminTabAnswersToItsOwnFlag)
{
    browserSettings().Password = hashPassword(QStringLiteral("PW"));
    browserSettings().AdminPassword = true;
    auto dlg = opened();
    dlg->tabOptions->setCurrentIndex(frmOptions::tabDataSources);
    EXPECT_EQ(passwordAsked, 0);
    EXPECT_EQ(dlg->tabOptions->currentIndex(), frmOptions::tabDataSources);

    passwordAnswer = QStringLiteral("bad");
    dlg->tabOptions->setCurrentIndex(frmOptions::tabAdmin);
    EXPECT_EQ(passwordAsked, 1);
    EXPECT_EQ(dlg->tabOptions->currentIndex(), frmOptions::tabDataSources); // back to the tab left

    // A guarded first tab is guarded too.
    auto first = std::make_unique<frmOptions>();
    first->setInitialTab(frmOptions::tabAdmin);
    ASSERT_TRUE(first->load());
    EXPECT_EQ(passwordAsked, 2);
    EXPECT_EQ(first->tabOptions->currentIndex(), frmOptions::tabGeneral);
}

TEST_F(OptionsDialogTest, WithoutEditDataTheDataSourcesTabCannotBeSelected)
{
    browserSettings().EditData = false;
    auto dlg = opened();
    EXPECT_FALSE(dlg->tabOptions->isTabEnabled(frmOptions::tabDataSources));
    auto first = std::make_unique<frmOptions>();
    first->setInitialTab(frmOptions::tabDataSources);
    ASSERT_TRUE(first->load());
    EXPECT_EQ(first->tabOptions->currentIndex(), frmOptions::tabGeneral);
}

TEST_F(OptionsDialogTest, ShowOptionsRunsTheDialogForTheBrowser)
{
    threeSources();
    auto b = started();
    QSignalSpy refreshed(b.get(), &hlSourceBrowser::Refreshed);
    onOptions = [](frmOptions &dlg) {
        EXPECT_TRUE(dlg.isLoaded());
        dlg.chkLeft->setChecked(true);
        dlg.cmdOK->click();
    };
    EXPECT_TRUE(b->Show_Options());
    EXPECT_EQ(optionsShown, 1);
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_TRUE(browserSettings().SplitLeft);

    // A runner that leaves the dialog some other way loses its unsaved data-source edits too.
    onOptions = [](frmOptions &dlg) { dlg.cmdDataSource_Click(0); };
    EXPECT_TRUE(b->Show_Options());
    EXPECT_EQ(sourceDialogs, 1);
    EXPECT_EQ(names(dataSources()).size(), 3);
    EXPECT_TRUE(errors.empty());
}

} // namespace
