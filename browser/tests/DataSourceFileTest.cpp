#include "BrowserTestSupport.h"

#include "frmNewDataSource.h"
#include "db/ConnectionString.h"
#include "settings/IniFile.h"
#include "SqliteWriter.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTest>

#include <functional>

using namespace browser;
using browsertest::BrowserTest;

namespace {

class DataSourceFileTest : public BrowserTest {
protected:
    // Runs the dialog through fill, then presses OK (or Cancel when ok is false).
    void answerDialog(std::function<void(frmNewDataSource &)> fill, bool ok = true)
    {
        setDialogRunner([fill, ok](QDialog &d) {
            auto &dlg = static_cast<frmNewDataSource &>(d);
            if (fill)
                fill(dlg);
            (ok ? dlg.cmdOK : dlg.cmdCancel)->click();
        });
    }
    void addSource(const QString &name, const QString &connection, const QString &description = {})
    {
        answerDialog([=](frmNewDataSource &d) {
            d.txtName->setText(name);
            d.txtConnection->setText(connection);
            d.txtDescription->setText(description);
        });
        ASSERT_TRUE(New_DataSource(0, false));
    }
    const DataSourceRow &row(int i) const { return dataSources().rows[size_t(i)]; }
};

TEST_F(DataSourceFileTest, MissingFileIsAnEmptyList)
{
    EXPECT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(DataSourceFileTest, ReadingStopsAtTheFirstGapOrEmptyNameAndIgnoresStoredIds)
{
    writeIni("[1]\nName=One\nConnection=Data Source=a.db\nDelimiter=\"\n"
              "[2]\nID=77\nName=Two\nDescription=second\n"
              "[4]\nName=Four\n");
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 2);
    EXPECT_EQ(row(1).Connection, QStringLiteral("Data Source=a.db"));
    EXPECT_EQ(row(2).ID, QStringLiteral("2"));
    EXPECT_EQ(row(2).Description, QStringLiteral("second"));
    EXPECT_TRUE(row(3).Name.isEmpty());

    writeIni("[1]\nName=One\n[2]\nName=\n[3]\nName=Three\n");
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 1);
}

TEST_F(DataSourceFileTest, SavingAfterADeleteRenumbersWithoutGaps)
{
    addSource(QStringLiteral("First"), QStringLiteral("Data Source=1.db"));
    addSource(QStringLiteral("Second"), QStringLiteral("Data Source=2.db"));
    addSource(QStringLiteral("Third"), QStringLiteral("Data Source=3.db"));
    ui::Prompter::queueAnswer(ui::MsgResult::OK);
    EXPECT_TRUE(Delete_DataSource(2));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Delete Second?"));
    EXPECT_TRUE(row(2).ID.isEmpty());
    EXPECT_EQ(row(2).Name, QStringLiteral("Second")); // until saved and read again
    ASSERT_TRUE(Save_DataSources());

    settings::IniFile ini(iniPath());
    EXPECT_EQ(ini.sections(), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_FALSE(ini.value(QStringLiteral("1"), QStringLiteral("ID")).has_value());
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 2);
    EXPECT_EQ(row(2).Name, QStringLiteral("Third"));
    EXPECT_EQ(row(2).Connection, QStringLiteral("Data Source=3.db"));
}

TEST_F(DataSourceFileTest, CancelledDeleteKeepsTheRow)
{
    addSource(QStringLiteral("Keep"), QStringLiteral("Data Source=k.db"));
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    EXPECT_TRUE(Delete_DataSource(1));
    EXPECT_EQ(row(1).ID, QStringLiteral("1"));
}

TEST_F(DataSourceFileTest, ApostrophesAndLongConnectionsRoundTripWithoutRedoubling)
{
    const QString longConnection = QStringLiteral("Provider=SQLite;Data Source=") + QString(972, u'x');
    ASSERT_EQ(longConnection.size(), 1000);
    addSource(QStringLiteral("O'Brien's data"), longConnection + QStringLiteral("'"), QStringLiteral("  it's  "));
    EXPECT_EQ(row(1).Name, QStringLiteral("O''Brien''s data"));
    ASSERT_TRUE(Save_DataSources());
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(row(1).Name, QStringLiteral("O''Brien''s data"));
    EXPECT_EQ(row(1).Connection.size(), 1002);
    EXPECT_EQ(connectionText(row(1)), longConnection + QStringLiteral("'"));
    EXPECT_EQ(row(1).Description, QStringLiteral("  it''s  "));

    // Editing shows the typed text and confirming stores it doubled once, not twice.
    QString shownName;
    answerDialog([&](frmNewDataSource &d) { shownName = d.txtName->text(); });
    ASSERT_TRUE(New_DataSource(1, true));
    EXPECT_EQ(shownName, QStringLiteral("O'Brien's data"));
    EXPECT_EQ(row(1).Name, QStringLiteral("O''Brien''s data"));
    EXPECT_EQ(connectionText(row(1)), longConnection + QStringLiteral("'"));
}

TEST_F(DataSourceFileTest, FailedSaveLeavesTheOldFileWholeAndSaysSo)
{
    writeIni("[1]\nName=Old\nConnection=Data Source=old.db\n");
    ASSERT_TRUE(Get_DataSources());
    addSource(QStringLiteral("New"), QStringLiteral("Data Source=new.db"));
    const QByteArray before = fileBytes();
    setSaveFailureForTest(QStringLiteral("No space left on device"));
    EXPECT_FALSE(Save_DataSources());
    EXPECT_EQ(fileBytes(), before);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].procedure, QStringLiteral("Save_DataSources"));
    EXPECT_TRUE(errors[0].description.contains(QStringLiteral("No space left")));
}

TEST_F(DataSourceFileTest, UnicodeFilesAreReadAndOneThatCannotBeReadIsNeverSavedOver)
{
    // Saved by another editor as UTF-16 with a byte-order mark: the list shows, and a save
    // writes it as UTF-8.
    const QString text = QStringLiteral("[1]\r\nName=Ventes €\r\nConnection=Data Source=v.db\r\n[2]\r\nName=Stock\r\n");
    for (const auto &[encoding, mark] : {std::pair{QStringConverter::Utf16LE, QByteArray("\xFF\xFE")},
                                         std::pair{QStringConverter::Utf16BE, QByteArray("\xFE\xFF")},
                                         std::pair{QStringConverter::Utf32LE, QByteArray("\xFF\xFE\0\0", 4)}}) {
        QStringEncoder encoder(encoding);
        writeIni(mark + QByteArray(encoder.encode(text)));
        ASSERT_TRUE(Get_DataSources());
        EXPECT_EQ(dataSources().count, 2) << int(encoding);
        EXPECT_EQ(row(1).Name, QStringLiteral("Ventes €"));
        ASSERT_TRUE(Save_DataSources());
        EXPECT_TRUE(fileBytes().contains("Name=Ventes \xE2\x82\xAC\n")) << fileBytes().constData();
        ASSERT_TRUE(Get_DataSources());
        EXPECT_EQ(dataSources().count, 2);
    }

    // Broken UTF-16 (or UTF-16 without its mark) is named, and no save replaces it.
    for (const QByteArray &broken : {QByteArray("\xFF\xFE[\0" "1\0]\0\n\0\x00\xDC", 12),
                                     QByteArray("[\0" "1\0]\0\n\0N\0a\0m\0e\0=\0A\0", 20)}) {
        writeIni(broken);
        ui::Prompter::clearAsked();
        EXPECT_FALSE(Get_DataSources());
        EXPECT_EQ(dataSources().count, 0);
        ASSERT_EQ(ui::Prompter::asked().size(), 1u);
        EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(iniPath())) << ui::Prompter::lastAsked()->text.toStdString();
        addSource(QStringLiteral("New"), QStringLiteral("Data Source=new.db"));
        errors.clear();
        EXPECT_FALSE(Save_DataSources());
        EXPECT_EQ(fileBytes(), broken);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].procedure, QStringLiteral("Save_DataSources"));
    }
}

TEST_F(DataSourceFileTest, AFullFileNeverLetsAnAdditionOverwriteALoadedRow)
{
    QByteArray text;
    for (int i = 1; i <= 52; ++i)
        text += QStringLiteral("[%1]\nName=S%1\n").arg(i).toUtf8();
    writeIni(text);
    EXPECT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 50);
    EXPECT_EQ(row(50).Name, QStringLiteral("S50"));
    EXPECT_TRUE(errors.empty());
    ASSERT_TRUE(ui::Prompter::lastAsked());
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("[51], [52]")));

    answerDialog([](frmNewDataSource &d) {
        d.txtName->setText(QStringLiteral("Extra"));
        d.txtConnection->setText(QStringLiteral("Data Source=x.db"));
    });
    EXPECT_FALSE(New_DataSource(0, false));
    EXPECT_EQ(row(50).Name, QStringLiteral("S50"));
    EXPECT_EQ(dataSources().count, 50);
    EXPECT_EQ(errors.back().procedure, QStringLiteral("New_DataSource"));
}

// What the list leaves out of a file is named, and a save writes it back after the rows it shows.
TEST_F(DataSourceFileTest, SectionsTheListDoesNotShowAreNamedAndSurviveASave)
{
    // A gap: sections 4 and 5 are not shown, and the first save closes the gap.
    writeIni("[1]\nName=One\n[2]\nName=Two\nConnection=Data Source=2.db\n"
              "[4]\nName=Four\nConnection=Data Source=4.db\nPassword=x\n[5]\nName=Five\n[Notes]\nText=kept\n");
    ui::Prompter::clearAsked();
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 2);
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    const QString message = ui::Prompter::lastAsked()->text;
    EXPECT_TRUE(message.contains(QStringLiteral("[3] is missing"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("[4], [5], [Notes]"))) << message.toStdString();
    addSource(QStringLiteral("Three"), QStringLiteral("Data Source=3.db"));
    ASSERT_TRUE(Save_DataSources());
    {
        settings::IniFile ini(iniPath());
        EXPECT_EQ(ini.sections(), (QStringList{"1", "2", "3", "4", "5", "Notes"}));
        EXPECT_EQ(ini.value("3", "Name"), QStringLiteral("Three"));
        EXPECT_EQ(ini.value("4", "Name"), QStringLiteral("Four"));
        EXPECT_EQ(ini.value("4", "Password"), QStringLiteral("x")); // every key of a kept section
        EXPECT_EQ(ini.value("5", "Name"), QStringLiteral("Five"));
        EXPECT_EQ(ini.value("Notes", "Text"), QStringLiteral("kept"));
    }
    ui::Prompter::clearAsked();
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 5);
    EXPECT_TRUE(ui::Prompter::asked().empty()); // [Notes] was never a data source
    EXPECT_EQ(dataSources().leftOut.size(), 1u);

    // A nameless section ends the list; it and what follows stay, in their order.
    writeIni("[1]\nName=One\n[2]\nName=\nDescription=blank\n[3]\nName=Three\n");
    ui::Prompter::clearAsked();
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 1);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("[2] has no name")));
    ui::Prompter::queueAnswer(ui::MsgResult::OK);
    Delete_DataSource(1);
    ASSERT_TRUE(Save_DataSources());
    settings::IniFile ini(iniPath());
    EXPECT_EQ(ini.sections(), (QStringList{"1", "2"}));
    EXPECT_EQ(ini.value("1", "Description"), QStringLiteral("blank"));
    EXPECT_EQ(ini.value("2", "Name"), QStringLiteral("Three"));

    // A repeated section is read as the classic rules read it (the first of its name, trimmed,
    // in any case) and the later ones are kept: numbered ones after the list, named ones as
    // they were, after the first of their name.
    writeIni("[1]\nName=A\n[2]\nName=B\n[1]\nName=C\n[ 1 ]\nName=D\nName=D2\n[Notes]\nText=first\n"
             "[NOTES]\nText=second\n");
    ui::Prompter::clearAsked();
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 2);
    EXPECT_EQ(row(1).Name, QStringLiteral("A"));
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    const QString repeated = ui::Prompter::lastAsked()->text;
    EXPECT_TRUE(repeated.contains(QStringLiteral("[1] appears more than once"))) << repeated.toStdString();
    EXPECT_FALSE(repeated.contains(QStringLiteral("missing"))) << repeated.toStdString();
    ASSERT_TRUE(Save_DataSources());
    settings::IniFile saved(iniPath());
    EXPECT_EQ(saved.sections(), (QStringList{"1", "2", "3", "4", "Notes"}));
    QStringList names;
    for (const char *section : {"1", "2", "3", "4"})
        names << saved.value(section, "Name").value_or(QString());
    EXPECT_EQ(names, (QStringList{"A", "B", "C", "D"}));
    EXPECT_EQ(saved.value("Notes", "Text"), QStringLiteral("first"));
    EXPECT_TRUE(fileBytes().contains("Name=D2\n")) << fileBytes().constData();
    EXPECT_TRUE(fileBytes().contains("[NOTES]\nText=second\n")) << fileBytes().constData();
}

TEST_F(DataSourceFileTest, ASectionWithoutANameNeverStopsTheListBeingSaved)
{
    // The writer cannot write a section or key without a name; kept, they failed every later save.
    // Nor a carriage return inside a line (read as a line end, so no name holds one).
    writeIni("[1]\nName=One\n[\nStray=x\n[ ]\n[Notes]\nText=kept\n= no key\nwo\r[1e=x\n");
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(dataSources().count, 1);
    addSource(QStringLiteral("Two"), QStringLiteral("Data Source=2.db"));
    ASSERT_TRUE(Save_DataSources()) << (errors.empty() ? std::string() : errors.back().description.toStdString());
    settings::IniFile ini(iniPath());
    EXPECT_EQ(ini.sections(), (QStringList{"1", "2", "Notes", "1e=x"}));
    EXPECT_EQ(ini.value("2", "Name"), QStringLiteral("Two"));
    EXPECT_EQ(ini.value("Notes", "Text"), QStringLiteral("kept"));
    EXPECT_TRUE(ini.keys("1e=x").isEmpty()); // "[1e=x" heads a section of that name
    ASSERT_TRUE(Get_DataSources());
    addSource(QStringLiteral("Three"), QStringLiteral("Data Source=3.db"));
    EXPECT_TRUE(Save_DataSources());
}

TEST_F(DataSourceFileTest, FiftyFiveSourcesLoseNoneWhenOneIsDeleted)
{
    QByteArray text;
    for (int i = 1; i <= 55; ++i)
        text += QStringLiteral("[%1]\nName=S%1\nConnection=Data Source=%1.db\n").arg(i).toUtf8();
    writeIni(text);
    ASSERT_TRUE(Get_DataSources());
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("at most 50")));
    ui::Prompter::queueAnswer(ui::MsgResult::OK);
    Delete_DataSource(7);
    ASSERT_TRUE(Save_DataSources());
    settings::IniFile ini(iniPath());
    ASSERT_EQ(ini.sections().size(), 54);
    QStringList names;
    for (int i = 1; i <= 54; ++i)
        names << ini.value(QString::number(i), QStringLiteral("Name")).value_or(QString());
    QStringList expected;
    for (int i = 1; i <= 55; ++i)
        if (i != 7)
            expected << QStringLiteral("S%1").arg(i);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(ini.value("54", "Connection"), QStringLiteral("Data Source=55.db"));
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(row(50).Name, QStringLiteral("S51"));
}

TEST_F(DataSourceFileTest, TheFileIsForItsOwnersEyesOnly)
{
    const auto othersMay = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
        | QFileDevice::WriteOther | QFileDevice::ExeOwner;
    writeIni("[1]\nName=One\nConnection=Provider=PostgreSQL;Password=secret\n");
    QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                         | QFileDevice::ReadOther);
    // Named once, then made private by the next save.
    ui::Prompter::clearAsked();
    ASSERT_TRUE(Get_DataSources());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(iniPath())) << ui::Prompter::lastAsked()->text.toStdString();
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("Other users")));
    ASSERT_TRUE(Get_DataSources());
    EXPECT_EQ(ui::Prompter::asked().size(), 1u);
    ASSERT_TRUE(Save_DataSources());
    EXPECT_EQ(QFile::permissions(iniPath()) & othersMay, QFileDevice::Permissions());
    EXPECT_TRUE(QFile::permissions(iniPath()) & QFileDevice::ReadOwner);

    // Copied into the user's folder from beside the program: the copy is private too.
    const QString exe = dir.filePath(QStringLiteral("bin"));
    const QString config = dir.filePath(QStringLiteral("config"));
    QDir().mkpath(exe);
    const QString beside = QDir(exe).filePath(QStringLiteral("DataSources.ini"));
    ASSERT_TRUE(QFile::copy(iniPath(), beside));
    QFile::setPermissions(beside, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (QFile probe(beside); probe.open(QIODevice::ReadWrite))
        return; // the superuser writes anywhere: the program then keeps the file beside it
    const QString own = locateDataSourceFile(exe, config);
    EXPECT_EQ(own, QDir(config).filePath(QStringLiteral("DataSources.ini")));
    EXPECT_EQ(QFile::permissions(own) & othersMay, QFileDevice::Permissions());
}

TEST_F(DataSourceFileTest, CancelledDialogChangesNothing)
{
    answerDialog([](frmNewDataSource &d) {
        d.txtName->setText(QStringLiteral("Nope"));
        d.txtConnection->setText(QStringLiteral("Data Source=n.db"));
    }, false);
    EXPECT_FALSE(New_DataSource(0, false));
    EXPECT_EQ(dataSources().count, 0);
}

TEST(DataSourceDialog, OkNeedsANameAndAConnectionHoweverMade)
{
    frmNewDataSource d;
    d.load();
    EXPECT_FALSE(d.cmdOK->isEnabled());
    d.txtConnection->setText(QStringLiteral("Data Source=a.db"));
    EXPECT_FALSE(d.cmdOK->isEnabled());
    d.txtName->setText(QStringLiteral("   "));
    EXPECT_FALSE(d.cmdOK->isEnabled());
    d.txtName->setText(QStringLiteral("A"));
    EXPECT_TRUE(d.cmdOK->isEnabled());
    d.txtConnection->clear();
    EXPECT_FALSE(d.cmdOK->isEnabled());
    d.cmdOK->click();
    EXPECT_TRUE(d.Cancelled());

    // Built rather than typed.
    d.setBuilderProvider(frmNewDataSource::SQLiteFile);
    d.txtFile->setText(QStringLiteral("/data/my file.db"));
    d.useBuiltConnection();
    EXPECT_TRUE(d.cmdOK->isEnabled());
    EXPECT_EQ(d.txtConnection->text(), QStringLiteral("Provider=SQLite;Data Source=/data/my file.db"));
}

TEST(DataSourceDialog, EditedSourceOpensReadyAndKeepsAnUnusualDelimiter)
{
    frmNewDataSource d;
    d.setSourceName(QStringLiteral("Sales"));
    d.setConnection(QStringLiteral("Data Source=s.db"));
    d.setDelimiter(QStringLiteral("["));
    d.load();
    EXPECT_TRUE(d.cmdOK->isEnabled());
    EXPECT_EQ(d.cboDelimiter->count(), 3);
    EXPECT_EQ(d.cboDelimiter->currentText(), QStringLiteral("["));

    // A new source quotes as its provider does, not with a backquote PostgreSQL refuses.
    frmNewDataSource fresh;
    fresh.load();
    EXPECT_EQ(fresh.cboDelimiter->currentText(), QStringLiteral("\""));
    fresh.txtName->setText(QStringLiteral("Server"));
    fresh.txtConnection->setText(QStringLiteral("Provider=PostgreSQL;Data Source=db.local"));
    fresh.cmdOK->click();
    EXPECT_EQ(fresh.Delimiter(), QStringLiteral("\""));

    // The builder of an edited source opens on the source's own provider, its fields filled, so
    // that Use gives back the same connection.
    frmNewDataSource server;
    server.setSourceName(QStringLiteral("Server"));
    const QString pg = QStringLiteral("Provider=PostgreSQL;Data Source=db.local;Port=5433;Initial Catalog=sales;"
                                      "User ID=ann;Password={a;b}");
    server.setConnection(pg);
    server.load();
    server.show();
    QTest::mouseClick(server.cmdDataSource, Qt::LeftButton);
    ASSERT_TRUE(server.fraBuilder->isVisible());
    EXPECT_EQ(server.cboProvider->currentText(), QStringLiteral("PostgreSQL server"));
    EXPECT_EQ(server.txtHost->text(), QStringLiteral("db.local"));
    EXPECT_EQ(server.txtPort->text(), QStringLiteral("5433"));
    EXPECT_EQ(server.txtDatabase->text(), QStringLiteral("sales"));
    EXPECT_EQ(server.txtUser->text(), QStringLiteral("ann"));
    EXPECT_EQ(server.txtPassword->echoMode(), QLineEdit::Password);
    server.useBuiltConnection();
    server.cmdOK->click();
    const auto built = db::ConnectionString::parse(server.Connection());
    const auto stored = db::ConnectionString::parse(pg);
    for (const auto &pair : stored.pairs())
        EXPECT_EQ(built.value(pair.key), pair.value) << pair.key.toStdString();

    // libpq's own names; ODBC by name, and a driver string with its password kept behind the mask.
    server.setConnection(QStringLiteral("Provider=PostgreSQL;host=h2;dbname=d2;user=u2"));
    server.load();
    EXPECT_EQ(server.cboProvider->currentIndex(), int(frmNewDataSource::PostgreSQLServer));
    EXPECT_EQ(server.txtHost->text() + server.txtDatabase->text() + server.txtUser->text(), QStringLiteral("h2d2u2"));
    server.setConnection(QStringLiteral("Provider=ODBC;DSN=Sales"));
    server.load();
    EXPECT_EQ(server.cboProvider->currentIndex(), int(frmNewDataSource::OdbcSource));
    EXPECT_EQ(server.txtDsn->text(), QStringLiteral("Sales"));
    server.setConnection(QStringLiteral("Provider=ODBC;Driver=PostgreSQL Unicode;Server=h;PWD=secret"));
    server.load();
    EXPECT_FALSE(server.txtDriver->text().contains(QStringLiteral("secret")));
    server.useBuiltConnection();
    server.cmdOK->click();
    EXPECT_EQ(server.Connection(), QStringLiteral("Provider=ODBC;Driver=PostgreSQL Unicode;Server=h;PWD=secret"));
    server.setConnection(QStringLiteral("Data Source=/data/s.db"));
    server.load();
    EXPECT_EQ(server.cboProvider->currentIndex(), int(frmNewDataSource::SQLiteFile));
    EXPECT_EQ(server.txtFile->text(), QStringLiteral("/data/s.db"));
}

TEST(DataSourceDialog, PasswordsNeverShowAndSurviveAnEdit)
{
    frmNewDataSource d;
    d.setSourceName(QStringLiteral("Server"));
    d.setConnection(QStringLiteral("Provider=PostgreSQL;Data Source=db.local;Password={a;b};Port=5432"));
    d.load();
    EXPECT_FALSE(d.txtConnection->text().contains(QStringLiteral("a;b")));
    EXPECT_TRUE(d.txtConnection->text().contains(QStringLiteral("****")));
    // Untouched, the stored password stays.
    d.cmdOK->click();
    EXPECT_EQ(d.Connection(), QStringLiteral("Provider=PostgreSQL;Data Source=db.local;Password={a;b};Port=5432"));

    // Another value changed around the mask: the password is still the stored one.
    d.load();
    d.txtConnection->setText(d.txtConnection->text().replace(QStringLiteral("5432"), QStringLiteral("5433")));
    d.cmdOK->click();
    auto cs = db::ConnectionString::parse(d.Connection());
    EXPECT_EQ(cs.value(QStringLiteral("Password")), QStringLiteral("a;b"));
    EXPECT_EQ(cs.value(QStringLiteral("Port")), QStringLiteral("5433"));

    // A password typed over the mask replaces it.
    d.load();
    d.txtConnection->setText(QStringLiteral("Provider=PostgreSQL;Data Source=db.local;Password=new"));
    d.cmdOK->click();
    EXPECT_EQ(d.Connection(), QStringLiteral("Provider=PostgreSQL;Data Source=db.local;Password=new"));

    // A built connection shows masked too.
    d.load();
    d.setBuilderProvider(frmNewDataSource::PostgreSQLServer);
    d.txtHost->setText(QStringLiteral("h"));
    d.txtPassword->setText(QStringLiteral("hunter2"));
    d.useBuiltConnection();
    EXPECT_FALSE(d.txtConnection->text().contains(QStringLiteral("hunter2")));
    d.cmdOK->click();
    EXPECT_EQ(db::ConnectionString::parse(d.Connection()).value(QStringLiteral("Password")), QStringLiteral("hunter2"));
}

TEST(DataSourceDialog, BuilderMasksAndQuotesPostgresValues)
{
    frmNewDataSource d;
    d.setBuilderProvider(frmNewDataSource::PostgreSQLServer);
    EXPECT_EQ(d.txtPassword->echoMode(), QLineEdit::Password);
    d.txtHost->setText(QStringLiteral("db.local"));
    d.txtPort->setText(QStringLiteral("5433"));
    d.txtDatabase->setText(QStringLiteral("sales"));
    d.txtUser->setText(QStringLiteral("ann"));
    d.txtPassword->setText(QStringLiteral("a;b"));
    const auto cs = db::ConnectionString::parse(d.builtConnection());
    EXPECT_EQ(cs.provider(), db::Provider::PostgreSQL);
    EXPECT_EQ(cs.value(QStringLiteral("Data Source")), QStringLiteral("db.local"));
    EXPECT_EQ(cs.value(QStringLiteral("Port")), QStringLiteral("5433"));
    EXPECT_EQ(cs.value(QStringLiteral("Password")), QStringLiteral("a;b"));

    d.setBuilderProvider(frmNewDataSource::OdbcSource);
    d.txtDriver->setText(QStringLiteral("Driver=SQLite3;Database=/tmp/x.db"));
    EXPECT_EQ(d.builtConnection(), QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=/tmp/x.db"));
}

TEST_F(DataSourceFileTest, TestButtonReportsTheDatabasesAnswer)
{
    const QString file = dir.filePath(QStringLiteral("t.db"));
    std::string error;
    ASSERT_TRUE(sample::writeSqliteDatabase(file.toStdString(), error)) << error;
    frmNewDataSource d;
    d.txtConnection->setText(QStringLiteral("Provider=SQLite;Data Source=") + file);
    EXPECT_TRUE(d.testConnection());
    EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Information);
    EXPECT_EQ(d.cboDelimiter->currentText(), QStringLiteral("\"")); // as the driver quotes

    d.txtConnection->setText(QStringLiteral("Provider=PostgreSQL;Data Source=/nonexistent-socket-dir;Password=hunter2"));
    EXPECT_FALSE(d.testConnection());
    EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Critical);
    EXPECT_FALSE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("hunter2")));
}

TEST_F(DataSourceFileTest, FileLivesBesideTheProgramOnlyWhenOneIsThere)
{
    const QString exe = dir.filePath(QStringLiteral("bin"));
    const QString config = dir.filePath(QStringLiteral("config"));
    QDir().mkpath(exe);
    EXPECT_EQ(locateDataSourceFile(exe, config), QDir(config).filePath(QStringLiteral("DataSources.ini")));
    EXPECT_FALSE(QFile::exists(QDir(config).filePath(QStringLiteral("DataSources.ini"))));

    QFile f(QDir(exe).filePath(QStringLiteral("DataSources.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[1]\nName=Sample\n");
    f.close();
    EXPECT_EQ(locateDataSourceFile(exe, config), QDir(exe).filePath(QStringLiteral("DataSources.ini")));

    // A new user has no configuration folder at all: the first save makes it, for their eyes only.
    const QString configHome = dir.filePath(QStringLiteral("home/.config"));
    const QByteArray oldConfigHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
    const struct Restore {
        QByteArray value;
        ~Restore() { value.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", value); }
    } restore{oldConfigHome};
    browserSettings().IniFilePath = locateDataSourceFile(dir.filePath(QStringLiteral("nowhere")));
    EXPECT_EQ(iniPath(), configHome + QStringLiteral("/Tabulon/DataSources.ini"));
    ASSERT_FALSE(QFileInfo::exists(configHome));
    addSource(QStringLiteral("First"), QStringLiteral("Data Source=first.db"));
    EXPECT_TRUE(Save_DataSources());
    EXPECT_TRUE(errors.empty()) << errors[0].description.toStdString();
    EXPECT_TRUE(fileBytes().contains("Name=First"));
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    for (const QString &folder : {configHome, configHome + QStringLiteral("/Tabulon")})
        EXPECT_EQ(QFile::permissions(folder) & others, QFileDevice::Permissions()) << folder.toStdString();

    // A folder the user chose is never made for them.
    browserSettings().IniFilePath = dir.filePath(QStringLiteral("gone/DataSources.ini"));
    EXPECT_FALSE(Save_DataSources());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));
    EXPECT_EQ(errors.size(), 1u);
}

} // namespace
