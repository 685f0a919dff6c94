// The export window: what it offers, what each destination enables, Go, Stop and Close, the save
// dialog, viewing and mailing the written file.
#include "ExportTestSupport.h"

#include "db/Types.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QClipboard>
#include <QGuiApplication>

using namespace exporttest;

namespace {

std::shared_ptr<db::Recordset> twoColumns()
{
    return recordset({field("Id", db::adInteger), field("Name", db::adVarWChar)},
                     {{1, QStringLiteral("one")}, {2, QStringLiteral("two")}});
}

} // namespace

class ExportWindow : public ExportTest {
protected:
    QCheckBox *box(const char *name) const { return child<QCheckBox>(QLatin1String(name)); }
    ui::KeyedToolBar *toolbar() const { return child<ui::KeyedToolBar>(QStringLiteral("tlbMain")); }
    QString status() const { return child<ui::StatusPanels>(QStringLiteral("staStatus"))->Panels(1).Text(); }
};

TEST_F(ExportWindow, OpensOnTheClipboardWithEveryColumnSelected)
{
    load(twoColumns());
    EXPECT_TRUE(child<QRadioButton>(QStringLiteral("optDestination0"))->isChecked());
    EXPECT_TRUE(box("chkHeaders")->isChecked());
    EXPECT_FALSE(box("chkExcelCols")->isEnabled());
    EXPECT_FALSE(box("chkEMail")->isEnabled());
    EXPECT_FALSE(box("chkPreview")->isEnabled());
    EXPECT_EQ(status(), QStringLiteral("Ready"));
    auto *delimiters = child<QComboBox>(QStringLiteral("cboDelimiter"));
    ASSERT_EQ(delimiters->count(), 3);
    EXPECT_EQ(delimiters->itemText(1), QStringLiteral("<tab>"));
    EXPECT_EQ(delimiters->currentText(), QStringLiteral(","));
    grid::Grid *grid = columns();
    ASSERT_EQ(grid->Rows(), 3);
    EXPECT_EQ(grid->TextMatrix(0, 0), QStringLiteral("Name"));
    EXPECT_EQ(grid->TextMatrix(0, 1), QStringLiteral("Selected"));
    EXPECT_EQ(grid->TextMatrix(2, 0), QStringLiteral("Name"));
    EXPECT_EQ(grid->Cell(grid::flexcpChecked, 1, 1).toInt(), int(grid::flexChecked));
    for (int d = 0; d < 7; ++d)
        EXPECT_TRUE(child<QRadioButton>(QStringLiteral("optDestination%1").arg(d))->isEnabled()) << d;
    EXPECT_EQ(child<QRadioButton>(QStringLiteral("optDestination2"))->text(), QStringLiteral("Spreadsheet (.xlsx)"));

    // No recordset given: no columns, and an export fails at its first step with a report.
    control = std::make_unique<DataExport>();
    control->show();
    EXPECT_EQ(columns()->Rows(), 1);
    EXPECT_FALSE(control->Export_Data());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].procedure, QStringLiteral("Export_Data"));
}

TEST_F(ExportWindow, EachDestinationEnablesItsOptions)
{
    load(twoColumns());
    struct Expect {
        DataExport::Destination d;
        bool headers, delimiter, view, asRows;
    };
    for (const Expect e : {Expect{DataExport::Clipboard, true, true, false, false},
                           Expect{DataExport::TextFile, true, true, true, false},
                           Expect{DataExport::Spreadsheet, true, false, true, true},
                           Expect{DataExport::MailMerge, false, false, true, false},
                           Expect{DataExport::DesktopDatabase, false, false, true, false},
                           Expect{DataExport::Html, true, false, true, false},
                           Expect{DataExport::Xml, false, false, true, false}}) {
        choose(e.d);
        EXPECT_EQ(box("chkHeaders")->isEnabled(), e.headers) << e.d;
        EXPECT_EQ(child<QComboBox>(QStringLiteral("cboDelimiter"))->isEnabled(), e.delimiter) << e.d;
        EXPECT_EQ(box("chkPreview")->isEnabled(), e.view) << e.d;
        EXPECT_EQ(box("chkEMail")->isEnabled(), e.view) << e.d;
        EXPECT_EQ(box("chkExcelCols")->isEnabled(), e.asRows) << e.d;
    }

    // XML takes every column and locks the grid; another destination unlocks it, all still selected.
    control->Select_Cols(false);
    choose(DataExport::Xml);
    EXPECT_EQ(columns()->Cell(grid::flexcpChecked, 2, 1).toInt(), int(grid::flexChecked));
    EXPECT_EQ(columns()->Editable(), int(grid::flexEDNone));
    EXPECT_FALSE(toolbar()->Buttons(QStringLiteral("SelectAll")).Enabled());
    EXPECT_FALSE(toolbar()->Buttons(QStringLiteral("DeSelectAll")).Enabled());
    choose(DataExport::TextFile);
    EXPECT_EQ(columns()->Editable(), int(grid::flexEDKbdMouse));
    EXPECT_TRUE(toolbar()->Buttons(QStringLiteral("DeSelectAll")).Enabled());
    EXPECT_EQ(columns()->Cell(grid::flexcpChecked, 2, 1).toInt(), int(grid::flexChecked));
}

TEST_F(ExportWindow, DelimiterBoxTakesNoFourthCharacter)
{
    load(twoColumns());
    QLineEdit *edit = child<QComboBox>(QStringLiteral("cboDelimiter"))->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("abcd"));
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

TEST_F(ExportWindow, SaveDialogProposesTheNameWithoutBlanksAndCancelEndsQuietly)
{
    load(twoColumns(), QStringLiteral("Sales Report"));
    choose(DataExport::Html);
    EXPECT_FALSE(control->Export_Data()); // the scripted dialog is cancelled
    ASSERT_EQ(ui::CommonDialog::asked().size(), 1u);
    const ui::FileDialogRequest &request = ui::CommonDialog::asked()[0].file;
    EXPECT_EQ(request.title, QStringLiteral("Select Export file"));
    EXPECT_EQ(request.fileName, QStringLiteral("SalesReport.html"));
    EXPECT_EQ(request.filter, QStringLiteral("HTML File (*.html)|*.html|All Files (*.*)|*.*"));
    EXPECT_TRUE(request.overwritePrompt);
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(status(), QStringLiteral("Ready"));
}

TEST_F(ExportWindow, GoLocksTheFormStopAsksAndCloseWaitsForTheLoop)
{
    std::vector<std::vector<QVariant>> rows;
    for (int i = 0; i < 50; ++i)
        rows.push_back({i, QStringLiteral("n")});
    load(recordset({field("Id", db::adInteger), field("Name", db::adVarWChar)}, rows));
    choose(DataExport::TextFile);
    ui::CommonDialog::queueFile(path(QStringLiteral("go.txt")));
    auto *go = child<QPushButton>(QStringLiteral("cmdOK"));
    QSignalSpy closing(control.get(), &DataExport::closeRequested);
    QSignalSpy unload(control.get(), &DataExport::Unload);
    QString captionWhileRunning;
    bool destinationsLocked = false, mayClose = true;
    // Runs at the export's first turn of the event loop.
    QTimer::singleShot(0, control.get(), [&] {
        captionWhileRunning = go->text();
        destinationsLocked = !child<QGroupBox>(QStringLiteral("fraDestination"))->isEnabled();
        ui::Prompter::queueAnswer(ui::MsgResult::Yes);
        mayClose = control->requestClose();
    });
    go->click();
    EXPECT_EQ(captionWhileRunning, QStringLiteral("&Stop"));
    EXPECT_TRUE(destinationsLocked);
    EXPECT_FALSE(mayClose);
    EXPECT_EQ(closing.count(), 1);
    EXPECT_EQ(unload.count(), 0);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("go.txt"))));
    EXPECT_EQ(go->text(), QStringLiteral("&Go"));
    EXPECT_TRUE(child<QGroupBox>(QStringLiteral("fraDestination"))->isEnabled());
    EXPECT_TRUE(toolbar()->hasButton(QStringLiteral("Export")));

    // Idle, Close raises Unload and nothing else.
    child<QPushButton>(QStringLiteral("cmdCancel"))->click();
    EXPECT_EQ(unload.count(), 1);
    EXPECT_TRUE(control->requestClose());
}

TEST_F(ExportWindow, WrittenFileIsOpenedAndMailedWhenAsked)
{
    load(twoColumns(), QStringLiteral("Sales Report"));
    choose(DataExport::TextFile);
    box("chkPreview")->click();
    box("chkEMail")->click();
    const QString file = path(QStringLiteral("sent.txt"));
    ui::CommonDialog::queueFile(file);
    toolbar()->Buttons(QStringLiteral("Export")).action()->trigger();
    ASSERT_EQ(opener->opened.size(), 1u);
    EXPECT_EQ(opener->opened[0].toLocalFile(), file);
    ASSERT_EQ(mailer->sent.size(), 1u);
    EXPECT_EQ(mailer->sent[0].subject, QStringLiteral("Data Export"));
    EXPECT_EQ(mailer->sent[0].body, QStringLiteral("Sales Report"));
    EXPECT_EQ(mailer->sent[0].attachments, QStringList{file});
    EXPECT_TRUE(mailer->sent[0].recipients.isEmpty());
    EXPECT_TRUE(toolbar()->Buttons(QStringLiteral("SelectAll")).Enabled());

    // A mail program that does not take the message is reported, not passed over.
    mailer->nextResult = {false, QStringLiteral("The mail client could not be started")};
    EXPECT_FALSE(control->EMail_Data());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].procedure, QStringLiteral("EMail_Data"));

    // A desktop with no mail program at all is a matter of setting up: told plainly, not reported.
    {
        testsupport::DesktopWithoutMail bare;
        mail::MailSender::setSender(std::make_shared<mail::DesktopMailSender>());
        ui::Prompter::clearAsked();
        ui::CommonDialog::queueFile(file);
        toolbar()->Buttons(QStringLiteral("Export")).action()->trigger();
        mail::MailSender::setSender(mailer);
    }
    EXPECT_EQ(reports.size(), 1u);
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("No e-mail program")))
        << ui::Prompter::lastAsked()->text.toStdString();
    EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Exclamation);
}

TEST_F(ExportWindow, TheGivenRecordsetIsNeverMoved)
{
    auto rs = twoColumns();
    rs->MoveNext();
    load(rs);
    ASSERT_TRUE(control->Export_Data());
    EXPECT_EQ(rs->AbsolutePosition(), 2);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Id,Name\r\n1,one\r\n2,two\r\n"));
}
