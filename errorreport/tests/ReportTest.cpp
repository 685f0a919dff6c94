#include "ErrorTestSupport.h"
#include "TestSupport.h"

#include "ErrorReport.h"
#include "db/Connection.h"
#include "frmDebugError.h"
#include "Faultdesk/hrErr.h"

#include <QGuiApplication>
#include <QTemporaryDir>

using namespace faultdesk::test;

namespace {

const QString kLabels[] = {QStringLiteral("EXE Name :    "), QStringLiteral("Version :     "),
                           QStringLiteral("Procedure:    "), QStringLiteral("Error:        "),
                           QStringLiteral("OS:           "), QStringLiteral("Connection:   "),
                           QStringLiteral("MDAC Version: "), QStringLiteral("Date:         "),
                           QStringLiteral("Description:  ")};

class ReportTest : public ErrorTest {
protected:
    void SetUp() override
    {
        ErrorTest::SetUp();
        err.CallingApp(app::AppInfo{QStringLiteral("hlTabulon"), 2, 10, 305});
        err.EMailAddress(QStringLiteral("support@example.org"));
        err.EMailSubject(QStringLiteral("Tabulon Error"));
        faultdesk::errorState().lastProcName = QStringLiteral("Refresh_Summary");
        faultdesk::errorState().lastDescription = QStringLiteral("no such column: qty");
    }

    QStringList reportLines(const QString &details = {})
    {
        const std::optional<QString> text = faultdesk::reportText(details);
        return text ? text->split(QChar(13)) : QStringList();
    }

    bool sendWithDetails(const QString &details)
    {
        frmDebugError window;
        window.findChild<QPlainTextEdit *>(QStringLiteral("txtDetails"))->setPlainText(details);
        return window.Send_Report();
    }

    hrErr err;
};

} // namespace

TEST_F(ReportTest, SevenCrSeparatedLinesWithoutAnOpenConnection)
{
    const std::optional<QString> text = faultdesk::reportText({});
    ASSERT_TRUE(text);
    EXPECT_FALSE(text->contains(QChar(10)));
    EXPECT_FALSE(text->endsWith(QChar(13)));

    const QStringList lines = text->split(QChar(13));
    ASSERT_EQ(lines.size(), 7);
    const int labelOf[] = {0, 1, 2, 3, 4, 7, 8};
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(lines[i].startsWith(kLabels[labelOf[i]])) << lines[i].toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("EXE Name :    hlTabulon"));
    EXPECT_EQ(lines[1], QStringLiteral("Version :     2.10.305"));
    EXPECT_EQ(lines[2], QStringLiteral("Procedure:    Refresh_Summary"));
    EXPECT_EQ(lines[3], QStringLiteral("Error:        no such column: qty"));
    EXPECT_EQ(lines[4], kLabels[4] + faultdesk::osText());
    EXPECT_GT(lines[5].size(), kLabels[7].size());
    EXPECT_EQ(lines[6], QStringLiteral("Description:  ")); // empty details

    // A closed connection changes nothing.
    err.adoConnection(std::make_shared<FakeConnection>(0, QStringLiteral("Data Source=x.db"), QStringLiteral("SQLite 3")));
    EXPECT_EQ(reportLines().size(), 7);
}

TEST_F(ReportTest, AnOpenConnectionAddsTwoLinesWithThePasswordMasked)
{
    err.adoConnection(std::make_shared<FakeConnection>(
        1, QStringLiteral("Provider=PostgreSQL;Data Source=db1;User ID=ann;Password={s3cr;et}"),
        QStringLiteral("PostgreSQL 15.5")));
    const QStringList lines = reportLines(QStringLiteral("ran the summary"));
    ASSERT_EQ(lines.size(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(lines[i].startsWith(kLabels[i])) << lines[i].toStdString();
    EXPECT_TRUE(lines[5].contains(QStringLiteral("User ID=ann")));
    EXPECT_FALSE(lines.join(QChar(13)).contains(QStringLiteral("s3cr")));
    EXPECT_EQ(lines[6], QStringLiteral("MDAC Version: PostgreSQL 15.5"));
    EXPECT_EQ(lines[8], QStringLiteral("Description:  ran the summary"));
}

TEST_F(ReportTest, DataLayerConnectionCountsWhileItIsOpenAndAlive)
{
    auto closed = db::Connection::create();
    err.adoConnection(closed);
    EXPECT_EQ(reportLines().size(), 7);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto connection = db::Connection::create();
    connection->setReadOnly(false);
    connection->Open(QStringLiteral("Data Source=") + dir.filePath(QStringLiteral("report.db")));
    ASSERT_EQ(connection->State(), db::adStateOpen);
    err.adoConnection(connection);
    QStringList lines = reportLines();
    ASSERT_EQ(lines.size(), 9);
    EXPECT_TRUE(lines[5].contains(QStringLiteral("report.db")));
    EXPECT_EQ(lines[6], QStringLiteral("MDAC Version: ") + connection->Version());

    // Closed or let go by its owner, it drops out of the report again.
    connection->Close();
    EXPECT_EQ(reportLines().size(), 7);
    connection->Open();
    EXPECT_EQ(reportLines().size(), 9);
    connection.reset();
    EXPECT_EQ(reportLines().size(), 7);
}

TEST_F(ReportTest, SendReportHandsTheMailOverWithCrLfAndThanksTheUser)
{
    button = QStringLiteral("cmdSend");
    typeDetails = QStringLiteral("opened the chart\nthen pressed F5");
    err.DebugMode(true);
    err.Log_Error(QStringLiteral("Refresh_Chart"), QStringLiteral("division by zero"));

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].result, QDialog::Accepted);
    ASSERT_EQ(mailer->sent.size(), 1u);
    const mail::MailMessage &m = mailer->sent[0];
    EXPECT_EQ(m.recipients, QStringList{QStringLiteral("support@example.org")});
    EXPECT_EQ(m.subject, QStringLiteral("Tabulon Error"));
    EXPECT_TRUE(m.attachments.isEmpty());
    // Every line end is CR LF on the wire, the user's own line break included.
    EXPECT_EQ(m.body.count(QStringLiteral("\r\n")), 7);
    EXPECT_EQ(m.body.count(QChar(13)), 7);
    EXPECT_EQ(m.body.count(QChar(10)), 7);
    EXPECT_TRUE(m.body.contains(QStringLiteral("Procedure:    Refresh_Chart\r\nError:        division by zero\r\n")));
    EXPECT_TRUE(m.body.endsWith(QStringLiteral("Description:  opened the chart\r\nthen pressed F5")));

    ASSERT_EQ(asked().size(), 1u);
    EXPECT_EQ(asked()[0].text, QStringLiteral("Report successfully sent. Thank you"));
    EXPECT_EQ(asked()[0].title, QStringLiteral("Send Report"));
    EXPECT_EQ(asked()[0].icon, ui::MsgIcon::Information);
}

TEST_F(ReportTest, EveryFailureIsErrorSendingReportAndNeverCountsAsSent)
{
    // The mail system's reason, when it gave one, follows on the next line.
    auto expectFailureBox = [](const QString &reason = {}) {
        ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
        EXPECT_EQ(ui::Prompter::lastAsked()->text, reason.isEmpty() ? QStringLiteral("Error sending report")
                                                                    : QStringLiteral("Error sending report\r") + reason);
        EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Send Report"));
        EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Critical);
    };

    // The mail client refuses the hand-off; the hourglass a failing caller left on is cleared.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    mailer->nextResult = {false, QStringLiteral("no mail client is set up on this desktop")};
    EXPECT_FALSE(sendWithDetails(QStringLiteral("x")));
    EXPECT_EQ(mailer->sent.size(), 1u);
    expectFailureBox(QStringLiteral("no mail client is set up on this desktop"));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    mailer->nextResult = {true, {}};

    // But a desktop with no mail program at all is a matter of setting up, told plainly.
    {
        testsupport::DesktopWithoutMail bare;
        mail::MailSender::setSender(std::make_shared<mail::DesktopMailSender>());
        frmDebugError window;
        window.findChild<QPushButton *>(QStringLiteral("cmdSend"))->click();
        mail::MailSender::setSender(mailer);
    }
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.startsWith(QStringLiteral("No e-mail program")))
        << ui::Prompter::lastAsked()->text.toStdString();
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Send Report"));
    EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Exclamation);

    // No address to send to.
    err.EMailAddress(QString());
    EXPECT_FALSE(sendWithDetails({}));
    expectFailureBox();
    err.EMailAddress(QStringLiteral("support@example.org"));

    // No calling application was ever given: the report cannot be built, yet the window closes.
    faultdesk::errorState().callingApp.reset();
    EXPECT_FALSE(faultdesk::reportText({}));
    button = QStringLiteral("cmdSend");
    err.DebugMode(true);
    hrErr unnamed; // an object of its own would name its program
    EXPECT_FALSE(unnamed.Log_Error(QStringLiteral("P"), QStringLiteral("D")));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].result, QDialog::Accepted);
    expectFailureBox();
    EXPECT_EQ(mailer->sent.size(), 1u); // only the refused one above
}
