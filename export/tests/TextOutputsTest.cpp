// Clipboard, delimited text, HTML and XML outputs, read back byte for byte.
#include "ExportTestSupport.h"
#include "FullDisk.h"
#include "ServerCanceller.h"

#include "db/Connection.h"
#include "db/Types.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextTable>

#include <sqlite3.h>

using namespace exporttest;

namespace {

std::shared_ptr<db::Recordset> sampleRows()
{
    return recordset({field("Id", db::adInteger), field("Note", db::adVarWChar), field("Name", db::adVarWChar)},
                     {{1, QVariant(), QStringLiteral("x")},
                      {2, QStringLiteral("a,b"), QStringLiteral("say \"hi\"")},
                      {3, QStringLiteral("line1\nline2"), QStringLiteral("Zoë ✓")}});
}

} // namespace

class TextOutputs : public ExportTest {};

TEST_F(TextOutputs, DelimitedFileQuotesOnlyWhatWouldBreakTheLineAndIsUtf8)
{
    load(sampleRows());
    const QString file = path(QStringLiteral("out.txt"));
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_EQ(readFile(file), QByteArray("Id,Note,Name\r\n"
                                         "1,,x\r\n"
                                         "2,\"a,b\",\"say \"\"hi\"\"\"\r\n"
                                         "3,\"line1\nline2\",Zo\xC3\xAB \xE2\x9C\x93\r\n"));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 3 rows to \r") + file);
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Export Data"));

    // A three-character delimiter: quoted only where the whole delimiter appears, or would appear
    // across a field's edge.
    auto rs = recordset({field("A", db::adInteger), field("B", db::adVarWChar), field("C", db::adVarWChar)},
                        {{1, QVariant(), QStringLiteral("x")}, {2, QStringLiteral("a|b"), QStringLiteral("a | b")},
                         {3, QStringLiteral("a |"), QStringLiteral("| b")}});
    control = std::make_unique<DataExport>();
    load(rs);
    child<QCheckBox>(QStringLiteral("chkHeaders"))->click();
    choose(DataExport::TextFile);
    child<QComboBox>(QStringLiteral("cboDelimiter"))->setEditText(QStringLiteral(" | "));
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_EQ(readFile(file), QByteArray("1 |  | x\r\n2 | a|b | \"a | b\"\r\n3 | \"a |\" | \"| b\"\r\n"));

    // The second item of the box is the tab.
    child<QComboBox>(QStringLiteral("cboDelimiter"))->setCurrentIndex(1);
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_EQ(readFile(file), QByteArray("1\t\tx\r\n2\ta|b\ta | b\r\n3\ta |\t| b\r\n"));

    // A delimiter holding the double quote, which encloses fields, could never be read back: it
    // is refused and the file is left as it was.
    for (const QString &delimiter : {QStringLiteral("\""), QStringLiteral("|\"|")}) {
        child<QComboBox>(QStringLiteral("cboDelimiter"))->setEditText(delimiter);
        const std::size_t before = reports.size();
        EXPECT_FALSE(exportTo(DataExport::TextFile, file)) << delimiter.toStdString();
        ASSERT_EQ(reports.size(), before + 1);
        EXPECT_TRUE(reports.back().description.contains(QLatin1String("double quote")))
            << reports.back().description.toStdString();
        EXPECT_EQ(readFile(file), QByteArray("1\t\tx\r\n2\ta|b\ta | b\r\n3\ta |\t| b\r\n"));
    }
}

TEST_F(TextOutputs, ClipboardGetsTheLinesAndTheMessageCountsEveryRecord)
{
    std::vector<std::vector<QVariant>> rows;
    for (int i = 1; i <= 1234; ++i)
        rows.push_back({i, QStringLiteral("n%1").arg(i)});
    load(recordset({field("Id", db::adInteger), field("Name", db::adVarWChar)}, rows));
    child<QCheckBox>(QStringLiteral("chkHeaders"))->click(); // headers off: the text starts with a record
    ASSERT_TRUE(control->Export_Data());
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("1,n1\r\n2,n2\r\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("1234,n1234\r\n")));
    EXPECT_EQ(text.count(QStringLiteral("\r\n")), 1234);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 1,234 rows to \rClipboard"));
    EXPECT_EQ(control->fileName(), QStringLiteral("Clipboard"));
    // A clipboard export never opens or mails anything, whatever the boxes say.
    EXPECT_TRUE(opener->opened.empty());
    EXPECT_TRUE(mailer->sent.empty());

    // Megabytes of lines, characters beyond ASCII among them, come whole: the file's very text.
    rows.clear();
    for (int i = 1; i <= 3000; ++i)
        rows.push_back({i, QStringLiteral("Zo\u00EB \u2713 %1 ").arg(i).repeated(60)});
    control = std::make_unique<DataExport>();
    load(recordset({field("Id", db::adInteger), field("Name", db::adVarWChar)}, rows));
    ASSERT_TRUE(control->Export_Data());
    const QString wide = QGuiApplication::clipboard()->text();
    const QString file = path(QStringLiteral("wide.txt"));
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_GT(readFile(file).size(), 2 << 20);
    EXPECT_TRUE(wide == QString::fromUtf8(readFile(file)));
}

TEST_F(TextOutputs, OnlyBinaryColumnsAreLeftOutAndDeselectedOnesAreAbsent)
{
    auto rs = recordset({field("Id", db::adInteger), field("Stamp", db::adDBTimeStamp), field("Long", db::adLongVarWChar),
                         field("Pic", db::adLongVarBinary), field("Raw", db::adBinary), field("Skip", db::adVarWChar)},
                        {{7, QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30)), QStringLiteral("long text"),
                          QByteArray("\x01\x02"), QByteArray("\x03"), QStringLiteral("no")}});
    load(rs);
    columns()->setTextMatrix(6, 1, QStringLiteral("False"));
    const QString file = path(QStringLiteral("types.txt"));
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_EQ(readFile(file), QByteArray("Id,Stamp,Long\r\n7,2024-02-29 13:45:30,long text\r\n"));
    EXPECT_FALSE(control->Allowed_DataType(3));
    EXPECT_TRUE(control->Allowed_DataType(1));
    EXPECT_TRUE(control->Allowed_DataType(2));
}

TEST_F(TextOutputs, NothingSelectedAsksNothingAndWritesNothing)
{
    load(sampleRows());
    control->Select_Cols(false);
    choose(DataExport::TextFile);
    EXPECT_FALSE(control->Export_Data());
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Nothing to export"));
    EXPECT_TRUE(ui::CommonDialog::asked().empty());
    EXPECT_EQ(child<ui::StatusPanels>(QStringLiteral("staStatus"))->Panels(1).Text(), QStringLiteral("Ready"));
}

TEST_F(TextOutputs, HtmlPageHasExactBytesEscapesAndParsesBack)
{
    auto rs = recordset({field("Id", db::adInteger), field("Tag <b>", db::adVarWChar), field("Gone", db::adVarWChar)},
                        {{1, QStringLiteral("a & \"b\" <c>"), QStringLiteral("x")}, {2, QVariant(), QStringLiteral("y")}});
    load(rs);
    columns()->setTextMatrix(3, 1, QStringLiteral("False"));
    const QString file = path(QStringLiteral("page.html"));
    ASSERT_TRUE(exportTo(DataExport::Html, file));
    const QByteArray page = readFile(file);
    EXPECT_EQ(page, QByteArray("<HTML>\r\n<HEAD>\r\n"
                               "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
                               "<META NAME=\"Generator\" CONTENT=\"Tabulon\">\r\n"
                               "<TITLE>Tabulon</TITLE>\r\n</HEAD>\r\n<BODY>\r\n\r\n\r\n"
                               "<TABLE BORDER=1 CELLPADDING=2 CELLSPACING=3>\r\n<TR>\r\n"
                               "<TD>Id</TD>\r\n<TD>Tag &lt;b&gt;</TD>\r\n"
                               "</TR><TR><TD>\r\n"
                               "1</TD><TD>a &amp; &quot;b&quot; &lt;c&gt;</TD></TR>\r\n<TR><TD>\r\n"
                               "2</TD><TD>(NULL)</TD></TR>\r\n"
                               "</TABLE>\r\n\r\n</BODY>\r\n</HTML>\r\n\r\n\r\n"));

    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(page));
    QTextTable *table = nullptr;
    for (QTextBlock b = doc.begin(); b.isValid() && !table; b = b.next())
        table = QTextCursor(b).currentTable();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rows(), 3);
    ASSERT_EQ(table->columns(), 2);
    auto cell = [&](int r, int c) {
        const QTextTableCell tc = table->cellAt(r, c);
        QTextCursor cursor = tc.firstCursorPosition();
        cursor.setPosition(tc.lastCursorPosition().position(), QTextCursor::KeepAnchor);
        return cursor.selectedText().trimmed();
    };
    EXPECT_EQ(cell(0, 1), QStringLiteral("Tag <b>"));
    EXPECT_EQ(cell(1, 1), QStringLiteral("a & \"b\" <c>"));
    EXPECT_EQ(cell(2, 0), QStringLiteral("2"));
    EXPECT_EQ(cell(2, 1), QStringLiteral("(NULL)"));
}

TEST_F(TextOutputs, TextFilesAreUtf8WhateverBytesTheDatabaseHeld)
{
    // SQLite text may hold any bytes; the files say they are UTF-8 (a page's charset, our text files).
    auto store = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{field("Name", db::adVarWChar)});
    for (const std::string_view text : {std::string_view("A\xFF" "B,c"), std::string_view("Zo\xC3\xAB \xE2\x9C")}) {
        store->beginRow();
        store->setText(0, text.data(), text.size());
        store->endRow();
    }
    load(db::Recordset::fromStore(store));
    const QString text = path(QStringLiteral("bytes.txt"));
    ASSERT_TRUE(exportTo(DataExport::TextFile, text));
    EXPECT_EQ(readFile(text), QByteArray("Name\r\n\"A\xEF\xBF\xBD" "B,c\"\r\nZo\xC3\xAB \xEF\xBF\xBD\xEF\xBF\xBD\r\n"));
    const QString page = path(QStringLiteral("bytes.html"));
    ASSERT_TRUE(exportTo(DataExport::Html, page));
    EXPECT_TRUE(readFile(page).contains("<TD>\r\nA\xEF\xBF\xBD" "B,c</TD>"));
    QStringDecoder utf8(QStringConverter::Utf8);
    utf8.decode(readFile(page));
    EXPECT_FALSE(utf8.hasError());
}

TEST_F(TextOutputs, EmptyResultGivesAWellFormedTable)
{
    load(recordset({field("Id", db::adInteger)}, {}));
    const QString file = path(QStringLiteral("empty.html"));
    ASSERT_TRUE(exportTo(DataExport::Html, file));
    const QByteArray page = readFile(file);
    EXPECT_TRUE(page.contains("<TD>Id</TD>\r\n</TR>\r\n</TABLE>")) << page.constData();
    EXPECT_FALSE(page.contains("<TR><TD>\r\n</TABLE>"));
}

TEST_F(TextOutputs, XmlDocumentOpensAgainWithEveryFieldAndRow)
{
    auto rs = recordset({field("Id", db::adBigInt), field("Note", db::adVarWChar), field("Day", db::adDBDate),
                         field("Price", db::adNumeric, 19, 12, 4), field("Ok", db::adBoolean)},
                        {{qlonglong(9007199254740993), QStringLiteral("a\x01<&>\n\"b\""), QDate(2024, 2, 29),
                          QStringLiteral("12345678.1234"), true},
                         {QVariant(), QString(), QVariant(), QVariant(), false}});
    load(rs);
    columns()->setTextMatrix(2, 1, QStringLiteral("False")); // the XML destination selects every column
    const QString file = path(QStringLiteral("rows.xml"));
    ASSERT_TRUE(exportTo(DataExport::Xml, file));
    EXPECT_EQ(columns()->Cell(grid::flexcpChecked, 2, 1).toInt(), int(grid::flexChecked));

    auto back = db::Recordset::create();
    back->OpenXml(file);
    ASSERT_EQ(back->FieldCount(), rs->FieldCount());
    ASSERT_EQ(back->RecordCount(), 2);
    for (int c = 0; c < rs->FieldCount(); ++c) {
        EXPECT_EQ(back->Field(c).Name, rs->Field(c).Name);
        EXPECT_EQ(back->Field(c).Type, rs->Field(c).Type);
        for (std::size_t r = 0; r < 2; ++r) {
            EXPECT_EQ(back->isNull(r, c), rs->isNull(r, c)) << r << "," << c;
            EXPECT_EQ(back->value(r, c), rs->value(r, c)) << r << "," << c;
        }
    }
}

TEST_F(TextOutputs, ALazyResultIsWrittenToItsLastRowAndKeepsTheShownFilter)
{
    const QString dbPath = path(QStringLiteral("lazy.db"));
    {
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open(dbPath.toUtf8().constData(), &raw), SQLITE_OK);
        sqlite3_exec(raw,
                     "CREATE TABLE t(id INTEGER, name TEXT);"
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000)"
                     " INSERT INTO t SELECT i, 'row ' || i FROM n;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(raw);
    }
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dbPath));
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT id, name FROM t"), conn);
    const std::size_t shown = rs->fetchedCount();
    ASSERT_LT(shown, 20000u);
    load(rs);
    const QString file = path(QStringLiteral("lazy.txt"));
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    const QList<QByteArray> lines = readFile(file).split('\n');
    ASSERT_EQ(lines.size(), 20002); // header, 20,000 records, nothing after the last line end
    EXPECT_EQ(lines[1], QByteArray("1,row 1\r"));
    EXPECT_EQ(lines[20000], QByteArray("20000,row 20000\r"));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 20,000 rows to \r") + file);
    // The rows the window does not hold are read by the export itself, whatever it writes: the
    // window's rows stay those it had.
    EXPECT_EQ(rs->fetchedCount(), shown);
    const QString book = path(QStringLiteral("lazy.xlsx"));
    ASSERT_TRUE(exportTo(DataExport::Spreadsheet, book));
    EXPECT_TRUE(zipEntry(book, "xl/worksheets/sheet1.xml").contains("<c r=\"B20001\" t=\"inlineStr\"><is><t>row 20000</t>"));
    const QString database = path(QStringLiteral("lazy.sqlite"));
    ASSERT_TRUE(exportTo(DataExport::DesktopDatabase, database));
    {
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open_v2(database.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt *s = nullptr;
        // Every name beside its own id, in the result's order, whichever batch of records it came in.
        ASSERT_EQ(sqlite3_prepare_v2(raw,
                                     "SELECT count(*), sum(id), sum(name = 'row ' || id AND id = rowid) FROM \"Export\"",
                                     -1, &s, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int64(s, 0), 20000);
        EXPECT_EQ(sqlite3_column_int64(s, 1), 20000LL * 20001 / 2);
        EXPECT_EQ(sqlite3_column_int64(s, 2), 20000);
        sqlite3_finalize(s);
        sqlite3_close(raw);
    }
    EXPECT_EQ(rs->fetchedCount(), shown);

    // Stopped half-way through such a read: the old file stays, and nothing is reported.
    writeFile(file, "old contents");
    ui::Prompter::queueAnswer(ui::MsgResult::Yes); // "Cancel Export?"
    QCoreApplication::postEvent(control.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_FALSE(exportTo(DataExport::TextFile, file));
    EXPECT_EQ(readFile(file), QByteArray("old contents"));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Cancel Export?"));
    EXPECT_TRUE(reports.empty());

    // The rows the user sees, in the order shown: the recordset's filter and sort come along.
    rs->setFilter(QStringLiteral("id > 19997"));
    rs->setSort(QStringLiteral("id DESC"));
    control = std::make_unique<DataExport>();
    load(rs);
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_EQ(readFile(file), QByteArray("id,name\r\n20000,row 20000\r\n19999,row 19999\r\n19998,row 19998\r\n"));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 3 rows to \r") + file);
}

TEST_F(TextOutputs, ALazyPostgresResultIsReadThroughACursorOfItsOwn)
{
    TABULON_REQUIRE_POSTGRES();
    auto conn = db::Connection::create();
    conn->Open(testsupport::postgresConnectionString());
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT i AS id, 'row ' || i AS name FROM generate_series(1, 20000) AS i ORDER BY i"), conn);
    const std::size_t shown = rs->fetchedCount();
    ASSERT_LT(shown, 20000u);
    load(rs);
    const QString file = path(QStringLiteral("lazy.txt"));
    ASSERT_TRUE(exportTo(DataExport::TextFile, file));
    const QList<QByteArray> lines = readFile(file).split('\n');
    ASSERT_EQ(lines.size(), 20002);
    EXPECT_EQ(lines[1], QByteArray("1,row 1\r"));
    EXPECT_EQ(lines[20000], QByteArray("20000,row 20000\r"));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 20,000 rows to \r") + file);
    EXPECT_EQ(rs->fetchedCount(), shown);
    // The window's own cursor goes on from where it was.
    EXPECT_TRUE(rs->ensureRow(19999));
    EXPECT_EQ(rs->value(19999, 1).toString(), QStringLiteral("row 20000"));

    // A statement cancelled on the server while the export reads it is what someone asked for:
    // the export ends unfinished, and no failure is reported.
    const QString appName = QStringLiteral("tabulon_export_%1").arg(QCoreApplication::applicationPid());
    auto slowConn = db::Connection::create();
    slowConn->Open(testsupport::postgresConnectionString() + QStringLiteral(";application_name=") + appName);
    auto slow = db::Recordset::create();
    slow->Open(QStringLiteral("SELECT i AS id, pg_sleep(0.001)::text AS slept FROM generate_series(1, 100000) AS i"),
               slowConn);
    load(slow);
    testsupport::ServerCanceller canceller(appName);
    canceller.start();
    reports.clear();
    EXPECT_FALSE(exportTo(DataExport::TextFile, path(QStringLiteral("cancelled.txt"))));
    canceller.stop();
    EXPECT_GT(canceller.cancelled(), 0);
    EXPECT_TRUE(reports.empty()) << qPrintable(reports.empty() ? QString() : reports[0].procedure + QStringLiteral(": ")
                                                                                + reports[0].description);
    EXPECT_FALSE(control->isExporting());
}

TEST_F(TextOutputs, StoppingOrFailingLeavesTheOldFileWholeAndIsNeverCountedAsDone)
{
    load(sampleRows());
    const QString file = path(QStringLiteral("keep.txt"));
    writeFile(file, "old contents");
    for (const DataExport::Destination d : {DataExport::TextFile, DataExport::Html, DataExport::Xml}) {
        ui::Prompter::clearAsked();
        ui::Prompter::queueAnswer(ui::MsgResult::Yes); // "Cancel Export?"
        QCoreApplication::postEvent(control.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        EXPECT_FALSE(exportTo(d, file)) << d;
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
        EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Cancel Export?")) << d;
        EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Export Data"));
    }
    // Stopped while the finished file goes to disk, off the interface thread: still no file.
    for (const DataExport::Destination d : {DataExport::TextFile, DataExport::Html, DataExport::Xml}) {
        ui::Prompter::clearAsked();
        int flushesOnInterface = 0;
        EXPECT_FALSE(exportStoppedWhileFlushing(d, file, flushesOnInterface)) << d;
        EXPECT_EQ(flushesOnInterface, 0) << d;
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        ASSERT_NE(ui::Prompter::lastAsked(), nullptr) << d;
        EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Cancel Export?")) << d;
    }
    EXPECT_TRUE(reports.empty());
    EXPECT_FALSE(control->isExporting());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left

    // No lets the export go on.
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    QCoreApplication::postEvent(control.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_TRUE(exportTo(DataExport::TextFile, file));
    EXPECT_TRUE(readFile(file).startsWith("Id,Note,Name\r\n"));

    // A folder that cannot be written: reported, not counted as done.
    const QString locked = unwritableFolder(dir) + QStringLiteral("/out.txt");
    ui::Prompter::clearAsked();
    EXPECT_FALSE(exportTo(DataExport::TextFile, locked));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].procedure, QStringLiteral("Get_Rows"));
    EXPECT_TRUE(reports[0].description.contains(QStringLiteral("Cannot write"))) << qPrintable(reports[0].description);
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_FALSE(QFile::exists(locked));
}

TEST_F(TextOutputs, AFullDiskIsNamedAndTheOldFileKept)
{
    load(sampleRows());
    const QString file = path(QStringLiteral("full.txt"));
    writeFile(file, "old contents");
    // Small exports stay in a buffer until the end: the disk fills only when it is written.
    for (const DataExport::Destination d : {DataExport::TextFile, DataExport::Html, DataExport::Xml}) {
        reports.clear();
        {
            testsupport::FullDisk full(dir.path());
            EXPECT_FALSE(exportTo(d, file)) << d;
        }
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        ASSERT_EQ(reports.size(), 1u) << d;
        EXPECT_TRUE(reports[0].description.contains(QStringLiteral("The disk is full"))) << qPrintable(reports[0].description);
        EXPECT_TRUE(reports[0].description.contains(file)) << qPrintable(reports[0].description);
        EXPECT_TRUE(reports[0].description.contains(QStringLiteral("kept unchanged"))) << qPrintable(reports[0].description);
    }
    // Every byte written, the disk found full only by the flush to it.
    for (const DataExport::Destination d : {DataExport::TextFile, DataExport::Html, DataExport::Xml}) {
        reports.clear();
        {
            const testsupport::DiskSyncs full(dir.path(), {}, ENOSPC);
            EXPECT_FALSE(exportTo(d, file)) << d;
        }
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        ASSERT_EQ(reports.size(), 1u) << d;
        EXPECT_TRUE(reports[0].description.contains(QStringLiteral("The disk is full"))) << qPrintable(reports[0].description);
        EXPECT_TRUE(reports[0].description.contains(QStringLiteral("kept unchanged"))) << qPrintable(reports[0].description);
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left
}
