// The results pipeline on the sample database: statements run with their filters and order,
// rejected and row-less statements, parse-only checks, XML documents and the field list.
#include "TabulonTestSupport.h"

#include "dialogs/frmSQLError.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextDocument>

using namespace tabtest;

namespace {

class QueryTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

class QueryPipeline : public ControlTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        m_connection = m_sample.connect();
    }

    std::unique_ptr<QueryTabulon> start(const QString &sql, hlTabulon::tbDataType type = hlTabulon::tbDataTable,
                                        qint32 maxRecords = 0)
    {
        auto tab = std::make_unique<QueryTabulon>();
        watch(*tab);
        tab->SQL(sql);
        tab->DataType(type);
        tab->MaxRecords(maxRecords);
        tab->adoConnection(m_connection);
        tab->resize(900, 600);
        tab->show();
        return tab;
    }

    QString errorText(QueryTabulon &tab)
    {
        auto *w = tabtest::toolWindow<frmSQLError>(tab);
        return w && w->isVisible() ? w->txtError->toPlainText() : QStringLiteral("<no window>");
    }

    qint64 scalar(const QString &sql)
    {
        auto rs = m_connection->Execute(sql);
        return rs->value(0, 0).toLongLong();
    }

    SampleDatabase m_sample;
    std::shared_ptr<db::Connection> m_connection;
};

} // namespace

TEST_F(QueryPipeline, ATableRunsLazilyWithFiltersAndOrder)
{
    auto tab = start(QStringLiteral("SELECT \"CustomerID\", \"Country\" FROM \"Customers\""));
    ASSERT_TRUE(tab->LoadedOK());
    runnerOf(*tab).setFilter(QStringLiteral("\"Country\" = 'Germany'"));
    tab->setSortCols(QVariant::fromValue(QList<QStringList>{{QStringLiteral("CustomerID"), QStringLiteral("1")}}));

    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_TRUE(events.empty()) << events.front().description;
    const QString ran = QStringLiteral("SELECT \"CustomerID\", \"Country\" FROM \"Customers\"\r\nWHERE  (\"Country\" = 'Germany')"
                                       "\r\nORDER BY \"CustomerID\" DESC");
    EXPECT_EQ(runnerOf(*tab).results()->Source(), ran);
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QString(ran).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(tab->grdResults->DataMode(), grid::flexDMBound);
    const qint64 expected = scalar(QStringLiteral("SELECT COUNT(*) FROM \"Customers\" WHERE \"Country\" = 'Germany'"));
    ASSERT_GT(expected, 1);
    runnerOf(*tab).results()->fetchAll();
    EXPECT_EQ(qint64(runnerOf(*tab).results()->fetchedCount()), expected);
    EXPECT_EQ(runnerOf(*tab).results()->value(0, 0).toLongLong(),
              scalar(QStringLiteral("SELECT MAX(\"CustomerID\") FROM \"Customers\" WHERE \"Country\" = 'Germany'")));
    EXPECT_TRUE(tab->Results());
    EXPECT_GE(tab->grdResults->Rows(), 2);
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_EQ(tab->staStatus->Panels(2).Text(), QString());

    // The same run again adds neither the filter nor the order a second time.
    tab->OpenSQL(true);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(tab->txtResultsSQL->toPlainText().count(QStringLiteral("Germany")), 1);
    EXPECT_EQ(tab->txtResultsSQL->toPlainText().count(QStringLiteral("ORDER BY")), 1);
}

// A run whose statement is the text the SQL box holds already leaves the box as the user had it
// (caret, undo history), while the box's change handling runs as before; a statement that differs
// replaces the text.
TEST_F(QueryPipeline, RunningWhatTheSqlBoxShowsLeavesTheBoxAsTheUserHadIt)
{
    analysis::options().AutoUpdateSQL = true;
    auto tab = start(QStringLiteral("SELECT \"CustomerID\", \"Country\" FROM \"Customers\""));
    ASSERT_TRUE(tab->LoadedOK());
    tab->OpenSQL(true);
    runnerOf(*tab).setFilter(QStringLiteral("\"Country\" = 'Germany'")); // spliced in with CR LF
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    QPlainTextEdit *box = tab->txtResultsSQL;
    const QString shown = box->toPlainText();
    ASSERT_TRUE(shown.contains(QStringLiteral("Germany")));

    QTextCursor caret = box->textCursor();
    caret.setPosition(12);
    box->setTextCursor(caret);
    box->insertPlainText(QStringLiteral("x"));
    box->textCursor().deletePreviousChar();
    ASSERT_EQ(box->toPlainText(), shown);
    ASSERT_EQ(box->textCursor().position(), 12);
    ASSERT_TRUE(box->document()->isUndoAvailable());
    runnerOf(*tab).setFieldsLoaded(true);

    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_TRUE(events.empty()) << events.front().description;
    EXPECT_EQ(box->toPlainText(), shown);
    EXPECT_EQ(box->textCursor().position(), 12);
    EXPECT_TRUE(box->document()->isUndoAvailable());
    EXPECT_FALSE(runnerOf(*tab).fieldsLoaded()) << "the change handling still ran";

    // A sort order makes another statement: it replaces the text.
    tab->setSortCols(QVariant::fromValue(QList<QStringList>{{QStringLiteral("CustomerID"), QStringLiteral("1")}}));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_TRUE(box->toPlainText().startsWith(shown)) << box->toPlainText().toStdString();
    EXPECT_TRUE(box->toPlainText().contains(QStringLiteral("ORDER BY \"CustomerID\" DESC")));
    EXPECT_FALSE(box->document()->isUndoAvailable());
    EXPECT_EQ(box->textCursor().position(), 0);
    analysis::options().AutoUpdateSQL = false;
}

TEST_F(QueryPipeline, RowLimitShowsInTheStatusBar)
{
    auto tab = start(QStringLiteral("SELECT * FROM \"Orders\""), hlTabulon::tbDataTable, 5);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(tab->staStatus->Panels(2).Text(), QStringLiteral("Max. 5 rows"));
    EXPECT_EQ(tab->staStatus->Panels(2).ToolTipText(), QStringLiteral("Maximum number of records"));
    runnerOf(*tab).results()->fetchAll();
    EXPECT_EQ(runnerOf(*tab).results()->fetchedCount(), 5u);
    EXPECT_EQ(tab->ResultsRows(), 5);
}

TEST_F(QueryPipeline, ARejectedStatementShowsTheDatabaseMessage)
{
    auto tab = start(QStringLiteral("SELECT * FROM \"NoSuchTable\""));
    // No activation of the window itself is still on its way to take the keyboard back later.
    ASSERT_TRUE(QTest::qWaitForWindowActive(tab.get(), 60000));
    errorWindows.clear();
    events.clear();
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    EXPECT_TRUE(errorText(*tab).contains(QStringLiteral("no such table"), Qt::CaseInsensitive)) << errorText(*tab);
    EXPECT_TRUE(events.empty()) << "a provider error is shown, not reported";
    EXPECT_EQ(tab->grdResults->Rows(), 1);
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_FALSE(tab->isBusy());

    // The message takes the keyboard, so Escape puts it away.
    auto *message = tabtest::toolWindow<frmSQLError>(*tab);
    ASSERT_TRUE(tabtest::waitForKeyboard(message));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(message->isVisible());
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    ASSERT_TRUE(tabtest::waitForKeyboard(message)) << "shown again, it takes the keyboard again";

    // A good run afterwards hides the window again.
    tab->SQL(QStringLiteral("SELECT 1 AS one"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(errorText(*tab), QStringLiteral("<no window>"));
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 0), QStringLiteral("1"));
}

TEST_F(QueryPipeline, ParseOnlyChecksWithoutRunning)
{
    m_connection = db::Connection::create();
    m_connection->setReadOnly(false);
    m_connection->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_sample.path()));
    const qint64 before = scalar(QStringLiteral("SELECT COUNT(*) FROM \"Shippers\""));
    auto tab = std::make_unique<QueryTabulon>();
    watch(*tab);
    tab->OpenSQL(true); // the Parse command is offered with the editable SQL box
    tab->adoConnection(m_connection);
    tab->resize(900, 600);
    tab->show();
    // The statement in the box, checked by the Parse button: no results are opened.
    auto parse = [&](const char *sql) {
        tab->txtResultsSQL->setPlainText(QString::fromUtf8(sql));
        clickButton(*tab->tlbResults, QStringLiteral("Parse"));
        return runnerOf(*tab).resultsOpen();
    };

    EXPECT_FALSE(parse("DELETE FROM \"Shippers\""));
    EXPECT_EQ(errorText(*tab), QStringLiteral("Query parsed Ok"));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM \"Shippers\"")), before);
    EXPECT_EQ(tab->grdResults->Rows(), 1);

    EXPECT_FALSE(parse("SELEC * FROM \"Shippers\""));
    EXPECT_TRUE(errorText(*tab).contains(QStringLiteral("syntax"), Qt::CaseInsensitive)) << errorText(*tab);

    // The next run runs again.
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT * FROM \"Shippers\""));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(tab->ResultsRows(), before);
}

TEST_F(QueryPipeline, AStatementWithoutRecordsSaysSo)
{
    m_connection = db::Connection::create();
    m_connection->setReadOnly(false);
    m_connection->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_sample.path()));
    auto tab = start(QStringLiteral("UPDATE \"Shippers\" SET \"Phone\" = \"Phone\""));
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(errorText(*tab), QStringLiteral("The statement returned no records."));
    EXPECT_EQ(tab->grdResults->Rows(), 1);
}

TEST_F(QueryPipeline, AnXmlDocumentIsHeldInMemory)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shippers.xml"));
    {
        auto rs = db::Recordset::create();
        rs->Open(QStringLiteral("SELECT \"ShipperID\", \"CompanyName\", NULL AS \"Nothing\" FROM \"Shippers\""),
                 m_connection);
        rs->Save(path);
    }
    auto tab = start(QString(), hlTabulon::tbDataXML);
    runnerOf(*tab).setFileName(path);
    runnerOf(*tab).setFilter(QStringLiteral("\"ShipperID\" > 1"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_TRUE(events.empty()) << events.front().description;
    EXPECT_EQ(tab->grdResults->DataMode(), grid::flexDMFree);
    EXPECT_EQ(tab->ResultsRows(), scalar(QStringLiteral("SELECT COUNT(*) FROM \"Shippers\" WHERE \"ShipperID\" > 1")));
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 0), QStringLiteral("2"));

    // Without the column filter every row comes back.
    EXPECT_TRUE(tab->Refresh_Results(false, true, false));
    EXPECT_EQ(tab->ResultsRows(), scalar(QStringLiteral("SELECT COUNT(*) FROM \"Shippers\"")));

    // A missing document is reported, not shown as a provider message.
    runnerOf(*tab).setFileName(dir.filePath(QStringLiteral("gone.xml")));
    events.clear();
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events.front().procedure, QStringLiteral("Get_Results"));
}

TEST_F(QueryPipeline, TheFieldListLeavesOutLongBinaryAndSortsByName)
{
    // Read when the control starts, from the statement in its box.
    auto tab = std::make_unique<QueryTabulon>();
    watch(*tab);
    tab->setSortFields(true);
    tab->OpenSQL(true);
    tab->SQL(QStringLiteral("SELECT \"ProductName\", \"Picture\", \"UnitPrice\", 'x' AS \"apple\" FROM \"Products\""));
    tab->adoConnection(m_connection);
    tab->resize(900, 600);
    tab->show();
    ASSERT_TRUE(tab->LoadedOK());
    ASSERT_TRUE(runnerOf(*tab).fieldsLoaded());
    ASSERT_EQ(runnerOf(*tab).fields().size(), 4);
    EXPECT_EQ(runnerOf(*tab).fields()[0][0], QString());
    EXPECT_EQ(runnerOf(*tab).fields()[1][0], QStringLiteral("apple"));
    EXPECT_EQ(runnerOf(*tab).fields()[2][0], QStringLiteral("ProductName"));
    EXPECT_EQ(runnerOf(*tab).fields()[3], (QStringList{QStringLiteral("UnitPrice"), QStringLiteral("131")}));
    EXPECT_TRUE(events.empty()) << events.front().description;

    // A bad statement typed in the box shows the database's message when a view needs its
    // fields, and the view stays the one the user had.
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT nope FROM \"Products\""));
    EXPECT_FALSE(runnerOf(*tab).fieldsLoaded());
    EXPECT_FALSE(showView(*tab, hlTabulon::tbViewSummary));
    EXPECT_EQ(tab->CurrentView(), hlTabulon::tbViewResults);
    EXPECT_TRUE(errorText(*tab).contains(QStringLiteral("nope"))) << errorText(*tab);
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
}

// Describing a statement with expression columns runs it on SQLite (they are typed from its first
// rows); with its results open, the field list comes from them instead.
TEST_F(QueryPipeline, TheFieldListOfOpenResultsComesFromThemWithoutRunningTheStatementAgain)
{
    auto tab = std::make_unique<QueryTabulon>();
    watch(*tab);
    tab->setAutoRun(true); // run when shown: the field list waits for a view that needs it
    tab->OpenSQL(true);
    tab->SQL(QStringLiteral("SELECT \"Country\", COUNT(*) AS n, AVG(\"CustomerID\" IS NULL) AS share "
                            "FROM \"Customers\" GROUP BY \"Country\""));
    tab->adoConnection(m_connection);
    tab->resize(900, 600);
    tab->show();
    pump(60000, [&] { return runnerOf(*tab).resultsOpen() && !tab->isBusy(); });
    ASSERT_TRUE(runnerOf(*tab).resultsOpen());
    ASSERT_FALSE(runnerOf(*tab).fieldsLoaded());
    m_connection->Close(); // nothing more can run
    ASSERT_TRUE(showView(*tab, hlTabulon::tbViewSummary));
    ASSERT_EQ(runnerOf(*tab).fields().size(), 3);
    EXPECT_EQ(runnerOf(*tab).fields()[1], (QStringList{QStringLiteral("n"), QString::number(db::adBigInt)}));
    EXPECT_EQ(runnerOf(*tab).fields()[2], (QStringList{QStringLiteral("share"), QString::number(db::adDouble)}));

    // Another statement in the box is described afresh.
    ASSERT_TRUE(showView(*tab, hlTabulon::tbViewResults));
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT 1 AS x"));
    EXPECT_FALSE(showView(*tab, hlTabulon::tbViewSummary));
    EXPECT_EQ(tab->CurrentView(), hlTabulon::tbViewResults);
}

TEST(SqlErrorWindow, ShowsTheLatestTextEvenWhenEmpty)
{
    frmSQLError w;
    w.setError(QStringLiteral("first"));
    w.show();
    EXPECT_EQ(w.txtError->toPlainText(), QStringLiteral("first"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("SQL Message"));
    w.setError(QString());
    EXPECT_EQ(w.txtError->toPlainText(), QString());
    w.cmdCancel->click();
    EXPECT_FALSE(w.isVisible());
}
