// The spreadsheet, mail-merge document and desktop database outputs, read back from the files.
#include "ExportTestSupport.h"

#include "db/Connection.h"
#include "db/Types.h"

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QXmlStreamReader>

#include <limits>

#include <sqlite3.h>

#include <limits>

#include <sys/mount.h>
#include <unistd.h>

using namespace exporttest;

namespace {

// The texts a label showed, one each time it was drawn.
class PaintedTexts : public QObject {
public:
    explicit PaintedTexts(QLabel *label) : m_label(label) { label->installEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_label && event->type() == QEvent::Paint)
            texts << m_label->text();
        return false;
    }

private:
    QLabel *m_label;
};

struct SheetCell {
    QString type;  // the t attribute
    QString style; // the s attribute
    QString value; // <v> or the inline text
    bool formula = false;
};

// The cells of the workbook's first sheet by reference ("B2").
QMap<QString, SheetCell> sheetCells(const QString &file)
{
    QMap<QString, SheetCell> cells;
    // Texts outside the constant-memory layout sit in the shared string table.
    QStringList shared;
    QXmlStreamReader strings(zipEntry(file, "xl/sharedStrings.xml"));
    while (!strings.atEnd()) {
        strings.readNext();
        if (strings.isStartElement() && strings.name() == u"t")
            shared << strings.readElementText();
    }
    QXmlStreamReader xml(zipEntry(file, "xl/worksheets/sheet1.xml"));
    QString ref;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"c") {
            ref = xml.attributes().value(QStringLiteral("r")).toString();
            cells[ref].type = xml.attributes().value(QStringLiteral("t")).toString();
            cells[ref].style = xml.attributes().value(QStringLiteral("s")).toString();
        } else if (xml.name() == u"v" || xml.name() == u"t") {
            cells[ref].value = xml.readElementText();
        } else if (xml.name() == u"f") {
            cells[ref].formula = true;
        }
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    for (SheetCell &cell : cells) {
        if (cell.type == u"s")
            cell.value = shared.value(cell.value.toInt());
    }
    return cells;
}

std::shared_ptr<db::Recordset> typedRows()
{
    return recordset({field("Id", db::adInteger), field("Big", db::adBigInt), field("Price", db::adDouble),
                      field("Amount", db::adNumeric, 0, 30, 10), field("Day", db::adDBDate),
                      field("When", db::adDBTimeStamp), field("At", db::adDBTime), field("Ok", db::adBoolean),
                      field("Name", db::adVarWChar)},
                     {{1, qlonglong(9007199254740993), 2.5, QStringLiteral("12345678901234567890.1234567891"),
                       QDate(2024, 2, 29), QDateTime(QDate(2024, 2, 29), QTime(12, 0)), QTime(6, 0), true,
                       QStringLiteral("=1+2")},
                      {QVariant(), QVariant(), QVariant(), QStringLiteral("1.5"), QVariant(), QVariant(), QVariant(),
                       false, QString()}});
}

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};

// One text answer of a query on a SQLite file.
QString scalar(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
        return QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(db));
    QString out;
    if (sqlite3_step(s) == SQLITE_ROW)
        out = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    return out;
}

} // namespace

class OfficeOutputs : public ExportTest {};

TEST_F(OfficeOutputs, WorkbookCellsAreTypedAndNoDigitIsLost)
{
    load(typedRows());
    const QString file = path(QStringLiteral("book.xlsx"));
    ASSERT_TRUE(exportTo(DataExport::Spreadsheet, file));
    const QMap<QString, SheetCell> cells = sheetCells(file);
    EXPECT_EQ(cells.value(QStringLiteral("A1")).value, QStringLiteral("Id"));
    EXPECT_EQ(cells.value(QStringLiteral("I1")).value, QStringLiteral("Name"));
    EXPECT_EQ(cells.value(QStringLiteral("A2")).value, QStringLiteral("1"));
    EXPECT_TRUE(cells.value(QStringLiteral("A2")).type.isEmpty()); // a number
    // Beyond 15 digits a number would be rounded: written as text instead.
    EXPECT_EQ(cells.value(QStringLiteral("B2")).value, QStringLiteral("9007199254740993"));
    EXPECT_FALSE(cells.value(QStringLiteral("B2")).type.isEmpty());
    EXPECT_EQ(cells.value(QStringLiteral("C2")).value, QStringLiteral("2.5"));
    EXPECT_EQ(cells.value(QStringLiteral("D2")).value, QStringLiteral("12345678901234567890.1234567891"));
    EXPECT_EQ(cells.value(QStringLiteral("D3")).value, QStringLiteral("1.5"));
    EXPECT_TRUE(cells.value(QStringLiteral("D3")).type.isEmpty());
    // Dates as day numbers with a date style.
    EXPECT_EQ(cells.value(QStringLiteral("E2")).value, QStringLiteral("45351"));
    EXPECT_FALSE(cells.value(QStringLiteral("E2")).style.isEmpty());
    EXPECT_EQ(cells.value(QStringLiteral("F2")).value, QStringLiteral("45351.5"));
    EXPECT_FALSE(cells.value(QStringLiteral("F2")).style.isEmpty());
    EXPECT_EQ(cells.value(QStringLiteral("G2")).value, QStringLiteral("0.25"));
    EXPECT_EQ(cells.value(QStringLiteral("H2")).type, QStringLiteral("b"));
    EXPECT_EQ(cells.value(QStringLiteral("H2")).value, QStringLiteral("1"));
    EXPECT_EQ(cells.value(QStringLiteral("H3")).value, QStringLiteral("0"));
    // Text that looks like a formula stays text.
    EXPECT_EQ(cells.value(QStringLiteral("I2")).value, QStringLiteral("=1+2"));
    EXPECT_FALSE(cells.value(QStringLiteral("I2")).formula);
    EXPECT_FALSE(cells.contains(QStringLiteral("A3"))); // a Null leaves its cell empty
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 2 rows to \r") + file);
}

TEST_F(OfficeOutputs, WorkbookAlwaysParsesAndWhatASheetCannotShowStaysText)
{
    constexpr std::int64_t usPerDay = 86400000000;
    const std::int64_t epoch = QDate(1970, 1, 1).toJulianDay();
    auto store = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{
        field("Name", db::adVarWChar), field("Day", db::adDBDate), field("When", db::adDBTimeStamp),
        field("At", db::adDBTime)});
    // Bytes that are not UTF-8; a date past 9999; the infinities; 24:00:00.
    store->beginRow();
    store->setText(0, "A\xFF" "B", 3);
    store->setInt64(1, QDate(10000, 1, 1).toJulianDay());
    store->setInt64(2, db::RowStore::kInfinity);
    store->setInt64(3, usPerDay);
    store->endRow();
    // Text shaped like the sheet's own escape, and U+FFFE; the last day a sheet holds.
    const QByteArray escapes = QStringLiteral("_x0041_ and \uFFFE").toUtf8();
    store->beginRow();
    store->setText(0, escapes.constData(), std::size_t(escapes.size()));
    store->setInt64(1, db::RowStore::kInfinity);
    store->setInt64(2, (QDate(9999, 12, 31).toJulianDay() - epoch) * usPerDay + usPerDay / 2);
    store->setInt64(3, usPerDay / 4);
    store->endRow();
    load(db::Recordset::fromStore(store));
    const QString file = path(QStringLiteral("edges.xlsx"));
    ASSERT_TRUE(exportTo(DataExport::Spreadsheet, file));
    const QMap<QString, SheetCell> cells = sheetCells(file); // fails on XML that does not parse
    EXPECT_EQ(cells.value(QStringLiteral("A2")).value, QStringLiteral("A\uFFFDB"));
    // A reader turns _xHHHH_ back into its character: the literal text keeps its underscore escaped.
    EXPECT_EQ(cells.value(QStringLiteral("A3")).value, QStringLiteral("_x005F_x0041_ and _xFFFE_"));
    for (const auto &[ref, text] : {std::pair{"B2", "10000-01-01"}, {"C2", "infinity"}, {"D2", "24:00:00"},
                                    {"B3", "infinity"}}) {
        EXPECT_EQ(cells.value(QString::fromLatin1(ref)).value, QString::fromLatin1(text)) << ref;
        EXPECT_FALSE(cells.value(QString::fromLatin1(ref)).type.isEmpty()) << ref; // text, not a number
    }
    EXPECT_EQ(cells.value(QStringLiteral("C3")).value, QStringLiteral("2958465.5"));
    EXPECT_EQ(cells.value(QStringLiteral("D3")).value, QStringLiteral("0.25"));

    // Blanks at either end, control characters and markup; a refused column's header between the
    // others; the largest double and 0.1 + 0.2 to their last digit.
    auto texts = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{
        field("Name", db::adVarWChar), field("Bytes", db::adLongVarBinary), field("Value", db::adDouble)});
    const char edged[] = " a\r\x01 & <b>\t";
    texts->beginRow();
    texts->setText(0, edged, sizeof edged - 1);
    texts->setBlob(1, "\x00", 1);
    texts->setReal(2, std::numeric_limits<double>::max());
    texts->endRow();
    texts->beginRow();
    texts->setText(0, "\n", 1);
    texts->setNull(1);
    texts->setReal(2, 0.1 + 0.2);
    texts->endRow();
    control = std::make_unique<DataExport>();
    load(db::Recordset::fromStore(texts));
    ASSERT_TRUE(exportTo(DataExport::Spreadsheet, file));
    const QMap<QString, SheetCell> textCells = sheetCells(file);
    EXPECT_EQ(textCells.value(QStringLiteral("B1")).value, QStringLiteral("Bytes"));
    EXPECT_EQ(textCells.value(QStringLiteral("C1")).value, QStringLiteral("Value"));
    EXPECT_EQ(textCells.value(QStringLiteral("A2")).value, QStringLiteral(" a_x000D__x0001_ & <b>\t"));
    EXPECT_EQ(textCells.value(QStringLiteral("A3")).value, QStringLiteral("\n"));
    EXPECT_EQ(textCells.value(QStringLiteral("C2")).value.toStdString(), "1.7976931348623157e+308");
    EXPECT_EQ(textCells.value(QStringLiteral("C3")).value.toDouble(), 0.1 + 0.2);
    const QByteArray sheet = zipEntry(file, "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(sheet.contains("<t xml:space=\"preserve\"> a_x000D__x0001_ &amp; &lt;b&gt;\t</t>"));
    EXPECT_TRUE(sheet.contains("<t xml:space=\"preserve\">\n</t>"));
    EXPECT_LT(sheet.indexOf("r=\"B1\""), sheet.indexOf("r=\"C1\"")); // a sheet's cells go left to right

    // Readers count the days before 1 March 1900 differently: those dates stay text. Whole
    // seconds get a serial never below the moment, as a reader that cuts to the second sees it.
    auto moments = std::make_shared<db::RowStore>(
        std::vector<db::FieldInfo>{field("Day", db::adDBDate), field("When", db::adDBTimeStamp)});
    const std::int64_t day = QDate(2024, 2, 29).toJulianDay();
    const QDate early[] = {QDate(1900, 1, 1), QDate(1900, 2, 28), QDate(1900, 3, 1)};
    for (int s = 0; s < 20000; ++s) {
        moments->beginRow();
        moments->setInt64(0, early[std::min(s, 2)].toJulianDay());
        moments->setInt64(1, (day - epoch) * usPerDay + std::int64_t(s) * 431 * 1000000);
        moments->endRow();
    }
    control = std::make_unique<DataExport>();
    load(db::Recordset::fromStore(moments));
    ASSERT_TRUE(exportTo(DataExport::Spreadsheet, file));
    const QMap<QString, SheetCell> momentCells = sheetCells(file);
    EXPECT_EQ(momentCells.value(QStringLiteral("A2")).value, QStringLiteral("1900-01-01"));
    EXPECT_FALSE(momentCells.value(QStringLiteral("A2")).type.isEmpty());
    EXPECT_EQ(momentCells.value(QStringLiteral("A3")).value, QStringLiteral("1900-02-28"));
    EXPECT_EQ(momentCells.value(QStringLiteral("A4")).value, QStringLiteral("61"));
    const double sheetDay = double(day - QDate(1899, 12, 30).toJulianDay());
    for (int s = 0; s < 20000; ++s) {
        const QString ref = QStringLiteral("B%1").arg(s + 2);
        const double serial = momentCells.value(ref).value.toDouble();
        EXPECT_GE((long double)(serial - sheetDay) * 86400, (long double)(s * 431)) << qPrintable(ref);
    }
}

TEST_F(OfficeOutputs, WorkbookLayoutsHeadersOffAndTurned)
{
    // Doubles that need 17 digits, in two fields, so that the turned sheet gets them out of order.
    auto rs = recordset({field("A", db::adInteger), field("B", db::adVarWChar), field("C", db::adInteger),
                         field("D", db::adDouble), field("E", db::adDouble)},
                        {{1, QStringLiteral("one"), 10, 0.1 + 0.2, 4.35 * 100}, {2, QStringLiteral("two"), 20, 1.1 * 1.1, 1 + 0x1p-52}});
    load(rs);
    columns()->setTextMatrix(2, 1, QStringLiteral("False"));
    choose(DataExport::Spreadsheet);
    child<QCheckBox>(QStringLiteral("chkHeaders"))->click();
    const QString file = path(QStringLiteral("layout.xlsx"));
    // Values keep their field's column; the first record lands on row 2 with the names off.
    EXPECT_EQ(control->Export_Excel(file), 3);
    QMap<QString, SheetCell> cells = sheetCells(file);
    EXPECT_FALSE(cells.contains(QStringLiteral("A1")));
    EXPECT_EQ(cells.value(QStringLiteral("A2")).value, QStringLiteral("1"));
    EXPECT_FALSE(cells.contains(QStringLiteral("B2")));
    EXPECT_EQ(cells.value(QStringLiteral("C3")).value, QStringLiteral("20"));
    EXPECT_EQ(cells.value(QStringLiteral("D2")).value, QStringLiteral("0.30000000000000004"));
    EXPECT_EQ(cells.value(QStringLiteral("E3")).value, QStringLiteral("1.0000000000000002"));

    child<QCheckBox>(QStringLiteral("chkHeaders"))->click();
    child<QCheckBox>(QStringLiteral("chkExcelCols"))->click();
    EXPECT_EQ(control->Export_Excel(file), 3);
    cells = sheetCells(file);
    EXPECT_EQ(cells.value(QStringLiteral("A1")).value, QStringLiteral("A"));
    EXPECT_EQ(cells.value(QStringLiteral("A3")).value, QStringLiteral("C"));
    EXPECT_EQ(cells.value(QStringLiteral("B1")).value, QStringLiteral("1"));
    EXPECT_EQ(cells.value(QStringLiteral("C3")).value, QStringLiteral("20"));
    for (const auto &[ref, digits] : {std::pair{"B4", "0.30000000000000004"}, {"B5", "434.99999999999994"},
                                      {"C4", "1.2100000000000002"}, {"C5", "1.0000000000000002"}})
        EXPECT_EQ(cells.value(QString::fromLatin1(ref)).value, QString::fromLatin1(digits)) << ref;
}

TEST_F(OfficeOutputs, TurnedSheetStopsAtItsLastColumnAndSaysHowManyRecordsItHolds)
{
    std::vector<std::vector<QVariant>> rows;
    for (int i = 1; i <= 16400; ++i)
        rows.push_back({i});
    load(recordset({field("N", db::adInteger)}, rows));
    choose(DataExport::Spreadsheet);
    child<QCheckBox>(QStringLiteral("chkExcelCols"))->click();
    const QString file = path(QStringLiteral("wide.xlsx"));
    EXPECT_FALSE(exportTo(DataExport::Spreadsheet, file));
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Export to Excel"));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Spreadsheet cannot contain  more than 16,384 columns\r"
                                                              "16,383 records were written to ")
                                                   + file + u'.');
    const QMap<QString, SheetCell> cells = sheetCells(file);
    EXPECT_EQ(cells.value(QStringLiteral("XFD1")).value, QStringLiteral("16383"));
}

TEST_F(OfficeOutputs, DocumentHoldsOneValidTableInLandscape)
{
    auto rs = recordset({field("Id", db::adInteger), field("Skip", db::adVarWChar), field("Text", db::adVarWChar)},
                        {{1, QStringLiteral("s"), QStringLiteral("a < b & \x01\x02 c\td")},
                         {2, QStringLiteral("s"), QVariant()}});
    load(rs);
    columns()->setTextMatrix(2, 1, QStringLiteral("False"));
    const QString file = path(QStringLiteral("merge.docx"));
    // The status bar shows each step as it is drawn, opening the document among them.
    PaintedTexts painted(child<ui::StatusPanels>(QStringLiteral("staStatus"))->Panels(1).label());
    ASSERT_TRUE(exportTo(DataExport::MailMerge, file));
    const QStringList &shown = painted.texts;
    const qsizetype opening = shown.indexOf(QStringLiteral("Opening mail merge document ..."));
    EXPECT_GT(opening, shown.indexOf(QStringLiteral("Creating mail merge file ..."))) << shown.join(u'|').toStdString();
    EXPECT_LT(opening, shown.indexOf(QStringLiteral("Creating new document ..."))) << shown.join(u'|').toStdString();
    EXPECT_FALSE(zipEntry(file, "[Content_Types].xml").isEmpty());
    const QByteArray document = zipEntry(file, "word/document.xml");
    QXmlStreamReader xml(document);
    int rows = 0, tables = 0;
    QStringList texts;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"tr")
            ++rows;
        if (xml.isStartElement() && xml.name() == u"tbl")
            ++tables;
        if (xml.isStartElement() && xml.name() == u"t")
            texts << xml.readElementText();
    }
    ASSERT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_EQ(tables, 1);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Id"), QStringLiteral("Text"), QStringLiteral("1"),
                                  QStringLiteral("a < b &  c"), QStringLiteral("d"), QStringLiteral("2")}));
    EXPECT_TRUE(document.contains("w:orient=\"landscape\""));
}

TEST_F(OfficeOutputs, DocumentThatCannotBeWrittenOffersAnotherFile)
{
    load(recordset({field("Id", db::adInteger)}, {{1}}));
    const QString blocked = unwritableFolder(dir) + QStringLiteral("/merge.docx");
    const QString other = path(QStringLiteral("other.docx"));
    ui::Prompter::queueAnswer(ui::MsgResult::OK);
    choose(DataExport::MailMerge);
    ui::CommonDialog::queueFile(blocked);
    ui::CommonDialog::queueFile(other);
    ASSERT_TRUE(control->Export_Data());
    const std::vector<ui::PromptRecord> &asked = ui::Prompter::asked();
    ASSERT_EQ(asked.size(), 2u);
    // The folder is what cannot be written, and the message says so.
    EXPECT_TRUE(asked[0].text.contains(QStringLiteral("the folder ") + unwritableFolder(dir)))
        << asked[0].text.toStdString();
    EXPECT_TRUE(asked[0].text.endsWith(QStringLiteral("\nPlease select another document"))) << asked[0].text.toStdString();
    EXPECT_EQ(asked[0].title, QStringLiteral("Mail merge"));
    EXPECT_EQ(asked[0].buttons, ui::MsgButtons::OKCancel);
    EXPECT_EQ(asked[1].text, QStringLiteral("Successfully exported 1 rows to \r") + other);
    EXPECT_FALSE(zipEntry(other, "word/document.xml").isEmpty());

    // Cancel gives up: nothing written, nothing counted.
    ui::Prompter::clearAsked();
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    EXPECT_FALSE(exportTo(DataExport::MailMerge, blocked));
    EXPECT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_TRUE(reports.empty());
}

TEST_F(OfficeOutputs, DatabaseTableKeepsTypesValuesNullsAndNames)
{
    auto rs = recordset({field("Id", db::adBigInt), field("", db::adVarWChar, 40), field("id", db::adInteger),
                         field("Price", db::adNumeric, 0, 10, 2), field("Wide", db::adNumeric, 0, 30, 10),
                         field("Day", db::adDBDate), field("Ok", db::adBoolean), field("Score", db::adDouble)},
                        {{qlonglong(9007199254740993), QString(), 7, QStringLiteral("12.50"),
                          QStringLiteral("12345678901234567890.1234567891"), QDate(2024, 2, 29), true, 0.1},
                         {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
                         {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                          std::numeric_limits<double>::quiet_NaN()}});
    load(rs, QStringLiteral("My Export"));
    const QString file = path(QStringLiteral("rows.db"));
    ASSERT_TRUE(exportTo(DataExport::DesktopDatabase, file));

    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    EXPECT_EQ(scalar(raw, "SELECT group_concat(name || ' ' || type, ', ') FROM pragma_table_info('My Export')"),
              QStringLiteral("Id BIGINT, F1 VARCHAR(40), F2 INTEGER, Price NUMERIC(10,2), Wide TEXT, Day DATE, "
                             "Ok BOOLEAN, Score DOUBLE"));
    EXPECT_EQ(scalar(raw, "SELECT Id FROM \"My Export\" WHERE rowid = 1"), QStringLiteral("9007199254740993"));
    EXPECT_EQ(scalar(raw, "SELECT typeof(F1) || ':' || F1 FROM \"My Export\" WHERE rowid = 1"), QStringLiteral("text:"));
    EXPECT_EQ(scalar(raw, "SELECT Wide FROM \"My Export\" WHERE rowid = 1"),
              QStringLiteral("12345678901234567890.1234567891"));
    EXPECT_EQ(scalar(raw, "SELECT Day || ' ' || Ok || ' ' || Score FROM \"My Export\" WHERE rowid = 1"),
              QStringLiteral("2024-02-29 1 0.1"));
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM \"My Export\" WHERE rowid = 2 AND Id IS NULL AND F1 IS NULL AND "
                          "Price IS NULL AND Day IS NULL AND Ok IS NULL"),
              QStringLiteral("1"));
    // SQLite would store a NaN as a Null.
    EXPECT_EQ(scalar(raw, "SELECT typeof(Score) || ':' || Score FROM \"My Export\" WHERE rowid = 3"),
              QStringLiteral("text:NaN"));
    db.reset();

    // Tabulon reads the table back with the types it was written from.
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(file));
    auto back = db::Recordset::create();
    back->Open(QStringLiteral("SELECT * FROM \"My Export\""), conn);
    EXPECT_EQ(back->Field(0).Type, db::adBigInt);
    EXPECT_EQ(back->Field(3).Type, db::adNumeric);
    EXPECT_EQ(back->Field(5).Type, db::adDBDate);
    EXPECT_EQ(back->Field(6).Type, db::adBoolean);
    EXPECT_EQ(back->value(0, 0).toLongLong(), 9007199254740993LL);
    EXPECT_EQ(back->value(0, 5).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(back->value(0, 6).toBool(), true);
}

TEST_F(OfficeOutputs, DatabaseTimesWithAnOffsetAreTimesToSQLite)
{
    constexpr std::int64_t usPerHour = 3600000000;
    const std::int64_t day = QDate(2024, 6, 30).toJulianDay() - QDate(1970, 1, 1).toJulianDay();
    auto store = std::make_shared<db::RowStore>(
        std::vector<db::FieldInfo>{field("When", db::adDBTimeStamp), field("At", db::adDBTime)});
    for (const int zone : {0, -3 * 3600, 5 * 3600 + 1800}) {
        store->beginRow();
        store->setInt64(0, day * 24 * usPerHour + 12 * usPerHour);
        store->setZone(0, zone);
        store->setInt64(1, 12 * usPerHour);
        store->setZone(1, zone);
        store->endRow();
    }
    load(db::Recordset::fromStore(store), QStringLiteral("Times"));
    const QString file = path(QStringLiteral("times.db"));
    ASSERT_TRUE(exportTo(DataExport::DesktopDatabase, file));
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    // SQLite's own functions read each value, offset included.
    EXPECT_EQ(scalar(raw, "SELECT group_concat(datetime(\"When\") || ' ' || time(At), '|') FROM Times"),
              QStringLiteral("2024-06-30 12:00:00 12:00:00|2024-06-30 15:00:00 15:00:00|2024-06-30 06:30:00 06:30:00"));
}

TEST_F(OfficeOutputs, AnEmptyResultIsAWrittenFileAndCountsAsDone)
{
    load(recordset({field("Id", db::adInteger), field("Name", db::adVarWChar)}, {}), QStringLiteral("Empty"));
    const QString database = path(QStringLiteral("empty.db"));
    ASSERT_TRUE(exportTo(DataExport::DesktopDatabase, database));
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Successfully exported 0 rows to \r") + database);
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(database.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM Empty"), QStringLiteral("0"));
    const QString document = path(QStringLiteral("empty.docx"));
    ASSERT_TRUE(exportTo(DataExport::MailMerge, document));
    EXPECT_TRUE(zipEntry(document, "word/document.xml").contains("<w:t xml:space=\"preserve\">Name</w:t>"));
    EXPECT_TRUE(reports.empty());
}

TEST_F(OfficeOutputs, FieldInfoMapsEveryIntegerWidthToAnIntegerColumn)
{
    load(recordset({field("S", db::adSmallInt), field("I", db::adInteger), field("B", db::adBigInt),
                    field("T", db::adVarWChar, 80), field("D", db::adDBTimeStamp), field("Y", db::adBoolean)},
                   {}));
    qint32 length = 0, type = 0;
    const std::vector<qint32> expected = {3, 4, 16, 10, 8, 1};
    for (int c = 0; c < 6; ++c) {
        ASSERT_TRUE(control->Get_FieldInfo(c, length, type));
        EXPECT_EQ(type, expected[std::size_t(c)]) << c;
    }
    EXPECT_EQ(length, 0);
    ASSERT_TRUE(control->Get_FieldInfo(3, length, type));
    EXPECT_EQ(length, 80);
    EXPECT_FALSE(control->Get_FieldInfo(9, length, type));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].procedure, QStringLiteral("Get_FieldLen"));
}

TEST_F(OfficeOutputs, StoppedOfficeExportsLeaveNoFile)
{
    load(typedRows());
    for (const DataExport::Destination d : {DataExport::Spreadsheet, DataExport::MailMerge, DataExport::DesktopDatabase}) {
        ui::Prompter::clearAsked();
        const QString file = path(QStringLiteral("stopped%1").arg(int(d)));
        ui::Prompter::queueAnswer(ui::MsgResult::Yes);
        QCoreApplication::postEvent(control.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        EXPECT_FALSE(exportTo(d, file)) << d;
        EXPECT_FALSE(QFile::exists(file)) << d;
        EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Cancel Export?"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
    // Stopped while the finished file goes to disk, off the interface thread: the old file stays.
    for (const DataExport::Destination d : {DataExport::Spreadsheet, DataExport::MailMerge, DataExport::DesktopDatabase}) {
        ui::Prompter::clearAsked();
        const QString file = path(QStringLiteral("kept%1").arg(int(d)));
        writeFile(file, "old contents");
        int flushesOnInterface = 0;
        EXPECT_FALSE(exportStoppedWhileFlushing(d, file, flushesOnInterface)) << d;
        EXPECT_EQ(flushesOnInterface, 0) << d;
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        ASSERT_NE(ui::Prompter::lastAsked(), nullptr) << d;
        EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Cancel Export?")) << d;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    EXPECT_TRUE(reports.empty());
}

TEST_F(OfficeOutputs, ALinkedFileIsWrittenThroughItsLink)
{
    load(typedRows());
    QDir(dir.path()).mkdir(QStringLiteral("shared"));
    for (const auto &[d, extension] : {std::pair{DataExport::TextFile, "txt"}, {DataExport::Spreadsheet, "xlsx"},
                                       {DataExport::MailMerge, "docx"}, {DataExport::DesktopDatabase, "db"}}) {
        const QString real = path(QStringLiteral("shared/real.%1").arg(QLatin1String(extension)));
        const QString link = path(QStringLiteral("link.%1").arg(QLatin1String(extension)));
        writeFile(real, "old contents");
        ASSERT_TRUE(QFile::link(real, link));
        ASSERT_TRUE(exportTo(d, link)) << d;
        EXPECT_TRUE(QFileInfo(link).isSymLink()) << d;
        EXPECT_NE(readFile(real), QByteArray("old contents")) << d;
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(OfficeOutputs, AReadOnlyFileIsRefusedAndKeptEvenForTheSuperuser)
{
    load(typedRows());
    for (const auto &[d, extension] : {std::pair{DataExport::TextFile, "txt"}, {DataExport::Spreadsheet, "xlsx"},
                                       {DataExport::DesktopDatabase, "db"}}) {
        reports.clear();
        const QString file = path(QStringLiteral("locked.%1").arg(QLatin1String(extension)));
        writeFile(file, "old contents");
        const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        ASSERT_TRUE(QFile::setPermissions(file, readOnly));
        EXPECT_FALSE(exportTo(d, file)) << d;
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        EXPECT_EQ(QFile::permissions(file) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), readOnly) << d;
        ASSERT_EQ(reports.size(), 1u) << d;
        EXPECT_TRUE(reports[0].description.contains(QStringLiteral("read-only"))) << qPrintable(reports[0].description);
    }
}

// A small file system of its own, where the superuser may mount one (a normal user's test runs
// again as the superuser of a namespace of its own, see below).
class SmallDisk {
public:
    explicit SmallDisk(const QString &folder)
        : m_folder(folder.toUtf8())
    {
        QDir().mkpath(folder);
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=128k") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

TEST_F(OfficeOutputs, AFullDiskIsNamedAndTheOldFileKept)
{
    const SmallDisk disk(path(QStringLiteral("small")));
    if (!disk.mounted()) {
        const char *again = "TABULON_SMALL_DISK_NAMESPACE";
        ASSERT_TRUE(qEnvironmentVariableIsEmpty(again)) << "no small file system can be mounted, not even in a namespace";
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(again), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
        run.start(QStringLiteral("unshare"), {QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                                              QStringLiteral("--mount"), QCoreApplication::applicationFilePath(),
                                              QStringLiteral("--gtest_filter=%1.%2").arg(QLatin1String(test->test_suite_name()),
                                                                                        QLatin1String(test->name()))});
        ASSERT_TRUE(run.waitForFinished(-1));
        const QString output = QString::fromLocal8Bit(run.readAll());
        EXPECT_EQ(run.exitCode(), 0) << qPrintable(output);
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test."))) << qPrintable(output);
        return;
    }
    // Text that does not pack small, more than the disk holds.
    std::vector<std::vector<QVariant>> rows;
    QRandomGenerator random(7);
    for (int i = 0; i < 6000; ++i)
        rows.push_back({i, QString::number(random.generate64(), 36) + QString::number(random.generate64(), 36)});
    load(recordset({field("Id", db::adInteger), field("Noise", db::adVarWChar)}, rows));
    for (const auto &[d, extension] : {std::pair{DataExport::Spreadsheet, "xlsx"}, {DataExport::MailMerge, "docx"},
                                       {DataExport::DesktopDatabase, "db"}}) {
        reports.clear();
        const QString file = path(QStringLiteral("small/full.%1").arg(QLatin1String(extension)));
        writeFile(file, "old contents");
        EXPECT_FALSE(exportTo(d, file)) << d;
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        ASSERT_EQ(reports.size(), 1u) << d;
        EXPECT_TRUE(reports[0].description.startsWith(QStringLiteral("The disk is full: \"") + file
                                                      + QStringLiteral("\" could not be saved and was kept unchanged")))
            << qPrintable(reports[0].description);
    }
    EXPECT_EQ(QDir(path(QStringLiteral("small"))).entryList(QDir::Files | QDir::Hidden).size(), 3); // no temporary file left

    // Every byte written, the disk found full only by the flush to it.
    QDir(dir.path()).mkdir(QStringLiteral("flushed"));
    for (const auto &[d, extension] : {std::pair{DataExport::Spreadsheet, "xlsx"}, {DataExport::MailMerge, "docx"},
                                       {DataExport::DesktopDatabase, "db"}}) {
        reports.clear();
        ui::Prompter::clearAsked();
        const QString file = path(QStringLiteral("flushed/full.%1").arg(QLatin1String(extension)));
        writeFile(file, "old contents");
        {
            const testsupport::DiskSyncs full(path(QStringLiteral("flushed")), {}, ENOSPC);
            EXPECT_FALSE(exportTo(d, file)) << d;
        }
        EXPECT_EQ(readFile(file), QByteArray("old contents")) << d;
        // The mail merge offers another document where the others report the failure.
        const bool offered = d == DataExport::MailMerge;
        EXPECT_EQ(reports.size(), offered ? 0u : 1u) << d;
        const QString told = offered ? (ui::Prompter::lastAsked() ? ui::Prompter::lastAsked()->text : QString())
                                     : (reports.empty() ? QString() : reports[0].description);
        EXPECT_TRUE(told.startsWith(QStringLiteral("The disk is full: \"") + file)) << d << qPrintable(told);
    }
    EXPECT_EQ(QDir(path(QStringLiteral("flushed"))).entryList(QDir::Files | QDir::Hidden).size(), 3);
}
