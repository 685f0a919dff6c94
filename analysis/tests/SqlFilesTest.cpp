// SQL scripts and XML documents: what is written and read back, the save dialog's proposals, the
// recent-files list, and an XML document as a query's source.
#include "TabulonTestSupport.h"

#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/XmlRecordset.h"
#include "grid/Grid.h"
#include "settings/SettingsStore.h"
#include "ui/CommonDialog.h"
#include "ui/KeyedToolBar.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QMainWindow>
#include <QMenuBar>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>

using namespace tabtest;

namespace {

using FileTabulon = FrameTabulon;

class ResultsTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    grid::Grid *const grdSummary = tabtest::part<grid::Grid>(*this, "grdSummary");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");
    const std::array<QComboBox *, 6> cboSumCol = tabtest::parts<QComboBox, 6>(*this, "cboSumCol");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

class SqlFiles : public ControlTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }

    std::unique_ptr<FileTabulon> start(const QString &sql = QStringLiteral("SELECT 1"))
    {
        auto tab = std::make_unique<FileTabulon>();
        watch(*tab);
        tab->SQL(sql);
        tab->OpenSQL(true);
        tab->resize(800, 500);
        tab->show();
        return tab;
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static QByteArray bytesOf(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static void write(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList recentMenu(FileTabulon &tab)
    {
        QStringList paths;
        const ui::ButtonMenuList &menu = tab.tlbResults->Buttons(QStringLiteral("Open")).ButtonMenus();
        for (int i = 1; i <= menu.Count(); ++i)
            paths << menu.Item(i).action()->data().toString();
        return paths;
    }
    void setCapacity(int n) { analysis::options().RecentFiles = n; }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(SqlFiles, ScriptRoundTripIsStableAndUtf8)
{
    auto tab = start();
    QSignalSpy selected(tab.get(), &hlTabulon::QuerySelected);
    const QString file = path(QStringLiteral("Query.sql"));
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT 'Crêpe'\nFROM t"));
    ASSERT_TRUE(tab->Save_SQL(file));
    EXPECT_EQ(bytesOf(file), QByteArray("SELECT 'Cr\xc3\xaape'\r\nFROM t\r\n"));
    EXPECT_TRUE(ui::Prompter::asked().empty()) << "saving from the results view says nothing";
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toString(), file);

    // Surrounding blanks go; the saved line end shows at the end of the box; saving again adds none.
    tab->txtResultsSQL->clear();
    ASSERT_TRUE(tab->Open_SQL(QStringLiteral("  ") + file + QStringLiteral(" ")));
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 'Crêpe'\nFROM t\n"));
    EXPECT_EQ(tab->CurrentDataType(), hlTabulon::tbDataTable);
    EXPECT_EQ(runnerOf(*tab).fileName(), file);
    EXPECT_EQ(tab->SortCols().value<QList<QStringList>>().value(0).value(0), QStringLiteral("-1"));
    const QByteArray first = bytesOf(file);
    ASSERT_TRUE(tab->Save_SQL(file));
    ASSERT_TRUE(tab->Open_SQL(file));
    ASSERT_TRUE(tab->Save_SQL(file));
    EXPECT_EQ(bytesOf(file), first);

    // An older tool's single-byte file still reads.
    const QString legacy = path(QStringLiteral("Legacy.sql"));
    write(legacy, QByteArray("SELECT 'caf\xe9 \x80'\r\n"));
    ASSERT_TRUE(tab->Open_SQL(legacy));
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 'café €'\n"));

    // Another editor's UTF-16 or UTF-32 file, known by its byte-order mark, either byte order.
    const QString wide = path(QStringLiteral("Wide.sql"));
    const QString text = QStringLiteral("SELECT 'Crêpe €'\r\nFROM t");
    for (const QStringConverter::Encoding encoding :
         {QStringConverter::Utf16LE, QStringConverter::Utf16BE, QStringConverter::Utf32LE, QStringConverter::Utf32BE,
          QStringConverter::Utf8}) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        write(wide, encoder.encode(text));
        ASSERT_TRUE(tab->Open_SQL(wide)) << QStringConverter::nameForEncoding(encoding);
        EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 'Crêpe €'\nFROM t"))
            << QStringConverter::nameForEncoding(encoding);
    }
    EXPECT_TRUE(events.empty());
}

TEST_F(SqlFiles, FailuresAreReportedAndChangeNothing)
{
    auto tab = start();
    const QString kept = path(QStringLiteral("Kept.sql"));
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT 2"));
    ASSERT_TRUE(tab->Save_SQL(kept));

    // A folder that is not there: reported under the member's own name, the current file stays.
    EXPECT_FALSE(tab->Save_SQL(path(QStringLiteral("missing/Other.sql"))));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Save_SQL"));
    EXPECT_EQ(runnerOf(*tab).fileName(), kept);

    EXPECT_FALSE(tab->Open_SQL(path(QStringLiteral("none.sql"))));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].procedure, QStringLiteral("Open_SQL"));
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 2"));

    // Cancelled dialogs end quietly.
    EXPECT_FALSE(tab->Open_SQL());
    EXPECT_FALSE(tab->Save_SQL());
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(runnerOf(*tab).fileName(), kept);

    // What is no script loads nothing and says why: NULs and other control bytes.
    const QString binary = path(QStringLiteral("Binary.sql"));
    const QList<std::pair<QByteArray, const char *>> notText = {
        {QByteArray("SELECT 1\0\0\0", 11), "holds NUL characters"},
        {QByteArray("\x89PNG\r\n\x1a\n\x01\x02"), "holds control characters"},
        {QByteArray("\xEF\xBB\xBFSELECT 'caf\xe9'\r\n"), "is not valid UTF-8 text"},
    };
    for (const auto &[bytes, why] : notText) {
        write(binary, bytes);
        const std::size_t before = events.size();
        EXPECT_FALSE(tab->Open_SQL(binary));
        ASSERT_EQ(events.size(), before + 1);
        EXPECT_TRUE(events.back().description.contains(QLatin1String(why))) << events.back().description.toStdString();
        EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 2"));
    }

    // A file far larger than any query is opened only when the user says so.
    const QString huge = path(QStringLiteral("Huge.sql"));
    write(huge, QByteArray(2 * 1024 * 1024, 'x'));
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    EXPECT_FALSE(tab->Open_SQL(huge));
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("2.0 MB"))) << ui::Prompter::lastAsked()->text.toStdString();
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 2"));
    EXPECT_EQ(events.size(), 2u + std::size_t(notText.size()));
}

TEST_F(SqlFiles, TheSaveDialogProposesANameForTheView)
{
    auto tab = start();
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("My Queries")));
    const QString source = path(QStringLiteral("My Queries/Sales Q1.sql"));
    write(source, "SELECT 1\r\n");
    ASSERT_TRUE(tab->Open_SQL(source));

    // Blanks leave the file's name only: the folder is where the file is.
    ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewChart));
    tab->txtChartSQL->setPlainText(QStringLiteral("SELECT 2"));
    EXPECT_FALSE(tab->Save_SQL());
    const ui::DialogRecord *asked = ui::CommonDialog::lastAsked();
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked->kind, ui::DialogRecord::Kind::Save);
    EXPECT_EQ(asked->file.title, QStringLiteral("Save Chart SQL"));
    EXPECT_EQ(asked->file.fileName, path(QStringLiteral("My Queries/SalesQ1_Chart.sql")));
    EXPECT_EQ(asked->file.filter, QStringLiteral("SQL Script (*.sql)|*.sql|All Files (*.*)|*.*"));
    EXPECT_TRUE(asked->file.overwritePrompt);
    EXPECT_EQ(runnerOf(*tab).fileName(), source);

    // Saved from another view: a message, and the file becomes current and first recent.
    setCapacity(4);
    const QString chart = path(QStringLiteral("My Queries/SalesQ1_Chart.sql"));
    ui::CommonDialog::queueFile(chart);
    ASSERT_TRUE(tab->Save_SQL());
    EXPECT_EQ(bytesOf(chart), QByteArray("SELECT 2\r\n"));
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully saved ") + chart);
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Save SQL"));
    EXPECT_EQ(ui::Prompter::lastAsked()->icon, ui::MsgIcon::Information);
    EXPECT_EQ(runnerOf(*tab).fileName(), chart);
    EXPECT_EQ(recentMenu(*tab).value(0), chart);

    // A short name still gets a proposal.
    const QString shortName = path(QStringLiteral("q.s"));
    write(shortName, "SELECT 3");
    ASSERT_TRUE(tab->Open_SQL(shortName));
    ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewSummary));
    EXPECT_FALSE(tab->Save_SQL());
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.fileName, path(QStringLiteral("q_Summary.s")));
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.title, QStringLiteral("Save Summary SQL"));

    // No current file: the view's part alone.
    auto fresh = start();
    ASSERT_TRUE(fresh->Change_View(hlTabulon::tbViewXTab));
    EXPECT_FALSE(fresh->Save_SQL());
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.fileName, QStringLiteral("X-Tab.sql"));
    fresh->UnloadFlter();

    // The results view of an XML document proposes the document itself.
    const QString doc = path(QStringLiteral("Data.XML"));
    write(doc, "<xml/>");
    ASSERT_TRUE(tab->Open_SQL(doc));
    EXPECT_FALSE(tab->Save_SQL());
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.title, QStringLiteral("Save XML document"));
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.fileName, doc);
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.filter, QStringLiteral("XML Document (*.xml)|*.xml|All Files (*.*)|*.*"));
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

TEST_F(SqlFiles, RecentFilesKeepTheNewestUpToTheCapacity)
{
    auto tab = start();
    QStringList files;
    for (int i = 1; i <= 5; ++i) {
        files << path(QStringLiteral("Q%1.sql").arg(i));
        write(files.last(), "SELECT 1");
    }
    const ui::ToolBarButton &open = tab->tlbResults->Buttons(QStringLiteral("Open"));

    // Capacity 0: a plain button, an empty menu, nothing stored.
    setCapacity(0);
    ASSERT_TRUE(tab->Open_SQL(files[0]));
    EXPECT_EQ(open.Style(), ui::tbrDefault);
    EXPECT_EQ(open.ButtonMenus().Count(), 0);
    EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files1")), QStringLiteral("<missing>"));

    setCapacity(4);
    for (const QString &f : files)
        ASSERT_TRUE(tab->Open_SQL(f));
    EXPECT_EQ(open.Style(), ui::tbrDropdown);
    EXPECT_EQ(recentMenu(*tab), (QStringList{files[4], files[3], files[2], files[1]}));
    EXPECT_EQ(open.ButtonMenus().Item(1).Text(), QStringLiteral("&1 ") + files[4]);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files%1").arg(i)), files[5 - i]);

    // Already listed: it keeps its place.
    ASSERT_TRUE(tab->Open_SQL(files[2]));
    EXPECT_EQ(recentMenu(*tab), (QStringList{files[4], files[3], files[2], files[1]}));

    // A lowered capacity shows fewer; the store keeps the rest.
    setCapacity(2);
    ASSERT_TRUE(tab->Set_Options(false, false, false));
    EXPECT_EQ(recentMenu(*tab), (QStringList{files[4], files[3]}));
    EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files4")), files[1]);

    // A capacity beyond what the list can hold (set in code; a stored one is refused on reading)
    // reads nine entries, not ten million.
    setCapacity(10'000'000);
    ASSERT_TRUE(tab->Set_Options(false, false, false));
    EXPECT_EQ(recentMenu(*tab), (QStringList{files[4], files[3], files[2], files[1]}));
    EXPECT_EQ(stored(QStringLiteral("General"), QStringLiteral("Recent Files10")), QStringLiteral("<missing>"));
    EXPECT_TRUE(events.empty());
}

TEST_F(SqlFiles, ARecentEntryOpensItsPathWhateverItHoldsInItsName)
{
    auto tab = start();
    setCapacity(3);
    const QString odd = path(QStringLiteral("Tom & Jerry.sql"));
    write(odd, "SELECT 'odd'");
    const QString plain = path(QStringLiteral("Plain.sql"));
    write(plain, "SELECT 'plain'");
    ASSERT_TRUE(tab->Open_SQL(odd));
    ASSERT_TRUE(tab->Open_SQL(plain));

    const ui::ButtonMenuList &menu = tab->tlbResults->Buttons(QStringLiteral("Open")).ButtonMenus();
    ASSERT_EQ(menu.Count(), 2);
    EXPECT_EQ(menu.Item(2).Text(), QStringLiteral("&2 ") + QString(odd).replace(QStringLiteral("&"), QStringLiteral("&&")));
    QSignalSpy selected(tab.get(), &hlTabulon::QuerySelected);
    menu.Item(2).action()->trigger();
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).toString(), odd);
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 'odd'"));
    EXPECT_TRUE(events.empty());
}

// A result saved as an XML document and opened as the query's source: it is loaded, not run, and
// running it gives the same rows and types.
TEST_F(SqlFiles, AnXmlDocumentIsAQuerySourceWithTheSameRowsAndTypes)
{
    SampleDatabase sample;
    ASSERT_TRUE(sample.ok()) << sample.error();
    const QString sql = QStringLiteral("SELECT \"ProductID\", \"ProductName\", \"UnitPrice\", \"Discontinued\", "
                                       "\"IntroducedOn\" FROM \"Products\" WHERE \"ProductID\" <= 25");
    auto original = std::make_unique<ResultsTabulon>();
    watch(*original);
    original->SQL(sql);
    original->adoConnection(sample.connect());
    original->show();
    ASSERT_TRUE(original->Refresh_Results(false, false, false));
    const QString doc = path(QStringLiteral("Products.xml"));
    runnerOf(*original).results()->Save(doc);

    auto tab = std::make_unique<ResultsTabulon>();
    watch(*tab);
    tab->OpenSQL(true);
    tab->show();
    QSignalSpy selected(tab.get(), &hlTabulon::QuerySelected);
    ASSERT_TRUE(tab->Open_SQL(doc));
    EXPECT_EQ(tab->CurrentDataType(), hlTabulon::tbDataXML);
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QString::fromUtf8(bytesOf(doc)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    EXPECT_EQ(tab->ResultsRows(), 0) << "opening does not run it";
    EXPECT_EQ(selected.count(), 1);

    ASSERT_TRUE(tab->Refresh());
    const db::Recordset &a = *runnerOf(*original).results();
    const db::Recordset &b = *runnerOf(*tab).results();
    ASSERT_EQ(b.FieldCount(), a.FieldCount());
    for (int f = 0; f < a.FieldCount(); ++f) {
        EXPECT_EQ(b.Field(f).Name, a.Field(f).Name);
        EXPECT_EQ(b.Field(f).Type, a.Field(f).Type) << a.Field(f).Name;
    }
    ASSERT_EQ(tab->ResultsRows(), original->ResultsRows());
    ASSERT_EQ(tab->ResultsRows(), 25);
    for (int r = 1; r <= 25; ++r) {
        for (int c = 0; c < a.FieldCount(); ++c)
            EXPECT_EQ(tab->grdResults->TextMatrix(r, c), original->grdResults->TextMatrix(r, c)) << r << "," << c;
    }

    // The analysis views stay shut for a document until its text is edited; then they group its
    // rows as the database would group the same rows.
    EXPECT_FALSE(tab->tlbMain->Buttons(QStringLiteral("Summary")).Enabled());
    tab->txtResultsSQL->setFocus();
    tab->txtResultsSQL->moveCursor(QTextCursor::End);
    QTest::keyClick(tab->txtResultsSQL, Qt::Key_Space);
    ASSERT_TRUE(tab->tlbMain->Buttons(QStringLiteral("Summary")).Enabled());
    tab->setStCurrentView(hlTabulon::tbViewSummary);
    ASSERT_EQ(tab->CurrentView(), hlTabulon::tbViewSummary);
    pickText(tab->cboSumCol[0], QStringLiteral("Discontinued"));
    pickText(tab->cboSumCol[3], QStringLiteral("Sum of --->>>"));
    pickText(tab->cboSumCol[4], QStringLiteral("UnitPrice"));
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.front().description);
    auto apart = sample.connect()->Execute(QStringLiteral(
        "SELECT \"Discontinued\", SUM(\"UnitPrice\") FROM \"Products\" WHERE \"ProductID\" <= 25 GROUP BY 1 ORDER BY 1"));
    ASSERT_EQ(tab->grdSummary->Rows(), int(apart->fetchedCount()) + 2) << "the groups and the TOTAL row";
    for (int r = 1; r <= int(apart->fetchedCount()); ++r)
        EXPECT_NEAR(tab->grdSummary->ValueMatrix(r, 1), apart->value(std::size_t(r - 1), 1).toDouble(), 1e-9) << r;
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
    original->UnloadFlter();
}

TEST_F(SqlFiles, AnXmlDocumentSavedFromTheBoxKeepsEveryText)
{
    db::FieldInfo name;
    name.Name = QStringLiteral("Note");
    name.Type = db::adVarWChar;
    db::RowStore store({name});
    const QStringList texts = {QStringLiteral("line\u2028separator"), QStringLiteral("para\u2029separator"),
                               QStringLiteral("break\r\nand\ttab"), QStringLiteral("  blanks  ")};
    for (const QString &text : texts) {
        store.beginRow();
        store.setText(0, text);
        store.endRow();
    }
    const QString doc = path(QStringLiteral("Notes.xml"));
    db::saveXmlRecordset(doc, store, {0, 1, 2, 3});

    // Opened into the SQL box and saved again from there, the document still holds the same texts.
    auto tab = std::make_unique<ResultsTabulon>();
    watch(*tab);
    tab->OpenSQL(true);
    tab->show();
    ASSERT_TRUE(tab->Open_SQL(doc));
    ASSERT_TRUE(tab->Save_SQL(doc));
    const std::shared_ptr<db::RowStore> back = db::loadXmlRecordset(doc);
    ASSERT_EQ(back->rowCount(), std::size_t(texts.size()));
    for (int r = 0; r < texts.size(); ++r)
        EXPECT_EQ(back->text(std::size_t(r), 0), texts[r]) << r;
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

// A query window opened on the data source itself holds no statement; a saved script opened into
// it with the Open button runs on F5. The host's View > Refresh answers the key's press and the
// SQL box its release, which comes while the first run still waits for its first rows.
TEST_F(SqlFiles, AScriptOpenedIntoAWindowWithoutAStatementRunsOnF5)
{
    SampleDatabase sample;
    ASSERT_TRUE(sample.ok()) << sample.error();
    const QString file = path(QStringLiteral("Slow.sql"));
    write(file, QByteArray("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000)\r\n"
                           "SELECT max(x) AS \"Last\" FROM c\r\n"));

    // As the main window builds it: no statement, the SQL box open, then the connection.
    QMainWindow host;
    auto *tab = new ResultsTabulon;
    host.setCentralWidget(tab);
    watch(*tab);
    tab->SQL(QString());
    tab->OpenSQL(true);
    tab->adoConnection(sample.connect());
    QAction *refresh = host.menuBar()->addMenu(QStringLiteral("&View"))->addAction(QStringLiteral("&Refresh"));
    refresh->setShortcut(Qt::Key_F5);
    int hostRefreshes = 0;
    QObject::connect(refresh, &QAction::triggered, tab, [tab, &hostRefreshes] {
        ++hostRefreshes;
        tab->Refresh();
    });
    host.resize(800, 500);
    host.show();
    host.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    ui::CommonDialog::queueFile(file);
    clickButton(*tab->tlbResults, QStringLiteral("Open"));
    ASSERT_TRUE(tab->txtResultsSQL->toPlainText().startsWith(QStringLiteral("WITH RECURSIVE")));

    tab->txtResultsSQL->setFocus();
    QTimer::singleShot(0, tab->txtResultsSQL, [tab] { QTest::keyRelease(tab->txtResultsSQL, Qt::Key_F5); });
    QTest::keyPress(tab->txtResultsSQL, Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return tab->ResultsRows() == 1; }, 60000));
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 0), QStringLiteral("3000000"));
    // One F5, one run: the box keeps the key from the host's shortcut.
    EXPECT_EQ(hostRefreshes, 0);
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
    tab->UnloadFlter();
}
