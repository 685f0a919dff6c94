#include "ErrorTestSupport.h"

#include "Faultdesk/hrErr.h"

#include <QCoreApplication>
#include <QMetaClassInfo>
#include <QMetaObject>

#include <stdexcept>

using namespace faultdesk::test;

namespace {

QString appName()
{
    return QCoreApplication::applicationName();
}

} // namespace

TEST_F(ErrorTest, SettingsAreSharedByEveryObjectAndTheLastWriterWins)
{
    hrErr shell;
    hrErr builder;
    shell.EMailSubject(QStringLiteral("Tabulon Error"));
    shell.EMailAddress(QStringLiteral("errors@example.org"));
    shell.DebugMode(true);
    builder.EMailSubject(QStringLiteral("Query Builder Error"));

    EXPECT_EQ(shell.EMailSubject(), QStringLiteral("Query Builder Error"));
    EXPECT_EQ(builder.EMailAddress(), QStringLiteral("errors@example.org"));
    EXPECT_TRUE(builder.DebugMode());

    // A report raised through the first object carries the subject set last through the second.
    shell.CallingApp(app::AppInfo{QStringLiteral("Tabulon")});
    button = QStringLiteral("cmdSend");
    shell.Log_Error(QStringLiteral("Form_Load"), QStringLiteral("boom"));
    ASSERT_EQ(mailer->sent.size(), 1u);
    EXPECT_EQ(mailer->sent[0].subject, QStringLiteral("Query Builder Error"));
    EXPECT_EQ(mailer->sent[0].recipients, QStringList{QStringLiteral("errors@example.org")});
}

TEST_F(ErrorTest, AutomationSurfaceByNameAndDispatchId)
{
    hrErr err;
    const QMetaObject *mo = err.metaObject();
    const std::pair<const char *, const char *> ids[] = {
        {"CallingApp", "0x68030029"},   {"Destination", "0x68030028"}, {"Log_Error", "0x6003002A"},
        {"adoConnection", "0x68030027"}, {"UserID", "0x68030026"},      {"EMailAddress", "0x68030025"},
        {"EMailSubject", "0x68030024"},  {"DebugMode", "0x68030023"}};
    for (const auto &[member, id] : ids) {
        const int i = mo->indexOfClassInfo(QByteArray("DispId:") + member);
        ASSERT_GE(i, 0) << member;
        EXPECT_STREQ(mo->classInfo(i).value(), id) << member;
    }

    ASSERT_TRUE(err.setProperty("EMailSubject", QStringLiteral("By name")));
    ASSERT_TRUE(err.setProperty("DebugMode", true));
    EXPECT_EQ(hrErr().EMailSubject(), QStringLiteral("By name"));
    EXPECT_TRUE(hrErr().DebugMode());

    ASSERT_TRUE(QMetaObject::invokeMethod(&err, "Destination", Q_ARG(faultdesk::Destination, faultdesk::EMail)));
    bool result = true;
    ASSERT_TRUE(QMetaObject::invokeMethod(&err, "Log_Error", Q_RETURN_ARG(bool, result),
                                          Q_ARG(QString, QStringLiteral("P")), Q_ARG(QString, QStringLiteral("D"))));
    EXPECT_TRUE(result); // the OK of the message box
    EXPECT_TRUE(shown.empty());
}

TEST_F(ErrorTest, ScreenShowsThePlainOrTheReportWindowByDebugMode)
{
    hrErr err;
    EXPECT_FALSE(err.Log_Error(QStringLiteral("Run_Query"), QStringLiteral("no such table: t")));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].name, QStringLiteral("frmError"));
    EXPECT_EQ(shown[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(shown[0].procedure, QStringLiteral("Run_Query"));
    EXPECT_EQ(shown[0].description, QStringLiteral("no such table: t"));
    EXPECT_FALSE(shown[0].hasDetails);

    // Debug mode: the report window, its details box empty although the last one was typed in.
    err.DebugMode(true);
    button = QStringLiteral("cmdCancel");
    typeDetails = QStringLiteral("clicked refresh");
    EXPECT_FALSE(err.Log_Error(QStringLiteral("Refresh"), QStringLiteral("<b>not markup</b>")));
    EXPECT_FALSE(err.Log_Error(QStringLiteral("Refresh"), QStringLiteral("again")));
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(shown[i].name, QStringLiteral("frmDebugError"));
        EXPECT_EQ(shown[i].caption, QStringLiteral("Error"));
        EXPECT_TRUE(shown[i].hasDetails);
        EXPECT_TRUE(shown[i].details.isEmpty());
        EXPECT_EQ(shown[i].result, QDialog::Rejected);
    }
    EXPECT_EQ(shown[1].description, QStringLiteral("<b>not markup</b>"));
    EXPECT_TRUE(mailer->sent.empty()); // Cancel sends nothing
    EXPECT_TRUE(asked().empty());

    // Empty texts replace the last failure: both windows show empty labels.
    err.Log_Error(QString(), QString());
    err.DebugMode(false);
    err.Log_Error(QString(), QString());
    ASSERT_EQ(shown.size(), 5u);
    for (std::size_t i = 3; i < 5; ++i)
        EXPECT_TRUE(shown[i].procedure.isEmpty() && shown[i].description.isEmpty()) << i;
}

TEST_F(ErrorTest, OtherDestinationsOnlyChooseAMessageBox)
{
    hrErr err;
    err.DebugMode(true);
    err.Log_Error(QStringLiteral("Before"), QStringLiteral("stored"));
    shown.clear();

    for (auto destination : {faultdesk::Database, faultdesk::EMail}) {
        ui::Prompter::clearAsked();
        err.Destination(destination);

        EXPECT_TRUE(err.Log_Error(QStringLiteral("Delete_Row"), QStringLiteral("locked")));
        ASSERT_EQ(asked().size(), 1u);
        EXPECT_EQ(asked()[0].text, QStringLiteral("Procedure:   Delete_Row\rDescription:   locked"));
        EXPECT_EQ(asked()[0].title, QStringLiteral("Error"));
        EXPECT_EQ(asked()[0].icon, ui::MsgIcon::Critical);
        EXPECT_EQ(asked()[0].buttons, ui::MsgButtons::OK);

        EXPECT_FALSE(err.Log_Error(
            QStringLiteral("Delete_Row"),
            QStringLiteral("[ODBC] The DELETE statement conflicted with COLUMN REFERENCE constraint 'FK_x'.")));
        ASSERT_EQ(asked().size(), 2u);
        EXPECT_EQ(asked()[1].text, QStringLiteral("Cannot delete, entry being referenced"));
        EXPECT_EQ(asked()[1].title, appName());
        EXPECT_EQ(asked()[1].icon, ui::MsgIcon::Critical);

        // The search is case-sensitive.
        EXPECT_TRUE(err.Log_Error(QStringLiteral("Delete_Row"),
                                  QStringLiteral("delete statement conflicted with column reference constraint")));
        EXPECT_TRUE(asked()[2].text.startsWith(QStringLiteral("Procedure:   ")));

        // A box closed with anything but OK is no success.
        ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
        EXPECT_FALSE(err.Log_Error(QStringLiteral("X"), QStringLiteral("Y")));
    }
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(mailer->sent.empty());
    EXPECT_EQ(faultdesk::errorState().lastProcName, QStringLiteral("Before"));
    EXPECT_EQ(faultdesk::errorState().lastDescription, QStringLiteral("stored"));
}

TEST_F(ErrorTest, AFailureWhileShowingIsABareMessageBoxAndNeverEscapes)
{
    faultdesk::setModalRunner([](QDialog &) { throw std::runtime_error("window could not be created"); });
    hrErr err;
    bool result = true;
    EXPECT_NO_THROW(result = err.Log_Error(QStringLiteral("P"), QStringLiteral("D")));
    EXPECT_FALSE(result);
    ASSERT_EQ(asked().size(), 1u);
    EXPECT_EQ(asked()[0].text, QStringLiteral("window could not be created"));
    EXPECT_EQ(asked()[0].title, appName());
    EXPECT_EQ(asked()[0].icon, ui::MsgIcon::None);
}

TEST_F(ErrorTest, EachReportNamesTheProgramItCameFromWhoeverConfiguredLast)
{
    hrErr shell;
    shell.CallingApp(app::AppInfo{QStringLiteral("Tabulon")});
    shell.EMailAddress(QStringLiteral("errors@example.org"));
    shell.DebugMode(true);
    hrErr browser;
    browser.CallingApp(app::AppInfo{QStringLiteral("hlSourceBrowser")});
    hrErr columnMenu;
    columnMenu.ReportsAs(app::AppInfo{QStringLiteral("hlQueryMenu")});
    hrErr exporter; // names nothing: the program configured last

    button = QStringLiteral("cmdSend");
    columnMenu.Log_Error(QStringLiteral("Highlight_Choice"), QStringLiteral("one"));
    // Naming itself leaves the program the hosts configured in place.
    ASSERT_TRUE(faultdesk::errorState().callingApp);
    EXPECT_EQ(faultdesk::errorState().callingApp->EXEName, QStringLiteral("hlSourceBrowser"));
    shell.Log_Error(QStringLiteral("Form_Load"), QStringLiteral("two"));
    browser.Log_Error(QStringLiteral("Refresh_Data"), QStringLiteral("three"));
    exporter.Log_Error(QStringLiteral("Export_Data"), QStringLiteral("four"));

    ASSERT_EQ(mailer->sent.size(), 4u);
    const char *expected[] = {"hlQueryMenu", "Tabulon", "hlSourceBrowser", "hlSourceBrowser"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(mailer->sent[i].body.startsWith(QStringLiteral("EXE Name :    ") + QLatin1String(expected[i])))
            << mailer->sent[i].body.left(40).toStdString();
}
