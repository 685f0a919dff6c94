#include "DbTestSupport.h"
#include "TestSupport.h"

#include "db/DbError.h"
#include "db/XmlRecordset.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

using namespace db;
using testsupport::readFile;
using testsupport::writeFile;
using dbtest::field;

namespace {

std::vector<std::size_t> allRows(const RowStore &s)
{
    std::vector<std::size_t> rows(s.rowCount());
    std::iota(rows.begin(), rows.end(), std::size_t(0));
    return rows;
}

// Cell by cell, bit for bit (doubles compared by their bytes, so -0 and NaN count).
void expectSameRows(const RowStore &a, const RowStore &b, const std::vector<std::size_t> &rowsOfA)
{
    ASSERT_EQ(a.columnCount(), b.columnCount());
    ASSERT_EQ(b.rowCount(), rowsOfA.size());
    for (int c = 0; c < a.columnCount(); ++c) {
        const FieldInfo &fa = a.fields()[std::size_t(c)];
        const FieldInfo &fb = b.fields()[std::size_t(c)];
        EXPECT_EQ(fa.Name, fb.Name);
        EXPECT_EQ(fa.Type, fb.Type);
        EXPECT_EQ(fa.DefinedSize, fb.DefinedSize);
        EXPECT_EQ(fa.Precision, fb.Precision);
        EXPECT_EQ(fa.NumericScale, fb.NumericScale);
        EXPECT_EQ(fa.Nullable, fb.Nullable);
        EXPECT_EQ(fa.BaseTableName, fb.BaseTableName);
        EXPECT_EQ(fa.BaseColumnName, fb.BaseColumnName);
        EXPECT_EQ(fa.DeclaredType, fb.DeclaredType);
    }
    for (std::size_t i = 0; i < rowsOfA.size(); ++i) {
        const std::size_t ra = rowsOfA[i];
        for (int c = 0; c < a.columnCount(); ++c) {
            ASSERT_EQ(a.isNull(ra, c), b.isNull(i, c)) << "row " << i << " col " << c;
            if (a.isNull(ra, c))
                continue;
            switch (storageOf(a.fields()[std::size_t(c)].Type)) {
            case Storage::Int64:
                EXPECT_EQ(a.int64(ra, c), b.int64(i, c)) << "row " << i << " col " << c;
                EXPECT_EQ(a.zone(ra, c), b.zone(i, c)) << "row " << i << " col " << c;
                break;
            case Storage::Double: {
                const double x = a.real(ra, c), y = b.real(i, c);
                EXPECT_EQ(std::memcmp(&x, &y, sizeof x) == 0 || (std::isnan(x) && std::isnan(y)), true)
                    << "row " << i << " col " << c << ": " << x << " vs " << y;
                break;
            }
            case Storage::Text:
            case Storage::Blob: {
                std::size_t na = 0, nb = 0;
                const char *pa = a.bytes(ra, c, &na);
                const char *pb = b.bytes(i, c, &nb);
                EXPECT_EQ(QByteArray(pa, qsizetype(na)), QByteArray(pb, qsizetype(nb))) << "row " << i << " col " << c;
                break;
            }
            }
        }
    }
}

class XmlFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    QString loadError(const QByteArray &text)
    {
        const QString p = path("bad.xml");
        writeFile(p, text);
        try {
            loadXmlRecordset(p);
        } catch (const DbError &e) {
            return e.message();
        }
        return QStringLiteral("(loaded)");
    }
};

const QByteArray kHead = "<?xml version=\"1.0\"?>\n<recordset xmlns=\"urn:tabulon:recordset:1\" version=\"1\">"
                         "<schema><column attr=\"c0\" name=\"id\" type=\"3\"/><column attr=\"c1\" name=\"d\" type=\"133\"/>"
                         "</schema><data>\n";

} // namespace

TEST_F(XmlFiles, EveryTypeRoundTripsExactly)
{
    std::vector<FieldInfo> fields = {
        field("small", adSmallInt), field("int", adInteger), field("big", adBigInt), field("bool", adBoolean),
        field("single", adSingle), field("double", adDouble), field("money", adCurrency), field("num", adNumeric),
        field("date", adDBDate), field("time", adDBTime), field("stamp", adDBTimeStamp), field("text", adVarWChar),
        field("char", adChar), field("guid", adGUID), field("blob", adLongVarBinary)};
    fields[7].Precision = 30;
    fields[7].NumericScale = 4;
    fields[11].DefinedSize = 40;
    fields[11].Nullable = false;
    fields[11].BaseTableName = QStringLiteral("t \"1\"");
    fields[11].BaseColumnName = QStringLiteral("text");
    fields[11].DeclaredType = QStringLiteral("VARCHAR(40)");
    RowStore s(fields);
    const double inf = std::numeric_limits<double>::infinity();
    auto row = [&](std::int64_t i, double d, const char *text, std::int64_t day, std::int64_t ms) {
        s.beginRow();
        s.setInt64(0, i % 32768);
        s.setInt64(1, i % 2147483647);
        s.setInt64(2, i);
        s.setInt64(3, i & 1);
        s.setReal(4, double(float(d)));
        s.setReal(5, d);
        s.setText(6, text, std::strlen(text));
        s.setText(7, text, std::strlen(text));
        s.setInt64(8, day);
        s.setInt64(9, (ms % 86400000 + 86400000) % 86400000 * 1000);
        s.setInt64(10, ms * 1000);
        s.setText(11, text, std::strlen(text));
        s.setText(12, "ab   ", 5);
        s.setText(13, "6f9619ff-8b86-d011-b42d-00c04fc964ff", 36);
        s.setBlob(14, text, std::strlen(text));
        s.endRow();
    };
    row(std::numeric_limits<std::int64_t>::max(), 0.1, "12345678901234567890.1234", 2460370, 1709214330123);
    row(std::numeric_limits<std::int64_t>::min(), -0.0, "-0.0500", 1721426, -62135596800000); // 0001-01-01
    row(0, inf, "", 5373484, -1);                                                              // 9999-12-31
    row(-1, -inf, "0", 2415021, 86399999);
    row(7, std::nan(""), "NaN", 0, 0);
    row(9, 4.9e-324, "1", 2440588, 253402300799999);
    row(11, 1.7976931348623157e308, "2", -1, -86400001); // a Julian day before 4713 BC
    s.beginRow(); // all Null
    s.endRow();
    // Microseconds, offsets, the end of a day, eras and infinities.
    s.beginRow();
    s.setInt64(8, RowStore::kInfinity);
    s.setInt64(9, 86400000000);
    s.setInt64(10, 1709214330123457);
    s.setZone(10, -(3 * 3600 + 30 * 60));
    s.endRow();
    s.beginRow();
    s.setInt64(8, QDate(-44, 3, 15).toJulianDay());
    s.setInt64(9, 1);
    s.setZone(9, 5 * 3600 + 45 * 60);
    s.setInt64(10, RowStore::kMinusInfinity);
    s.endRow();
    EXPECT_EQ(s.displayText(8, 10), "2024-02-29 13:45:30.123457-03:30");
    EXPECT_EQ(s.displayText(9, 8), "0044-03-15 BC");
    EXPECT_EQ(s.displayText(9, 9), "00:00:00.000001+05:45");

    const QString p = path("types.xml");
    saveXmlRecordset(p, s, allRows(s));
    const auto back = loadXmlRecordset(p);
    expectSameRows(s, *back, allRows(s));
    EXPECT_EQ(back->value(0, 10).toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30, 123), Qt::UTC));

    // a subset, in the caller's order
    const std::vector<std::size_t> some = {5, 0, 7};
    saveXmlRecordset(p, s, some);
    expectSameRows(s, *loadXmlRecordset(p), some);
    // no rows at all still keeps the schema
    saveXmlRecordset(p, s, {});
    const auto empty = loadXmlRecordset(p);
    EXPECT_EQ(empty->rowCount(), 0u);
    EXPECT_EQ(empty->columnCount(), s.columnCount());
}

TEST_F(XmlFiles, TextsNamesAndAwkwardCharactersSurvive)
{
    const QString oddName = QStringLiteral("Line \"quoted\" <&> 'x' Ødegaard \x01\t");
    RowStore s({field(oddName, adVarWChar), field("b l a n k", adLongVarWChar), field("n", adInteger)});
    const QByteArray texts[] = {
        QByteArray("Müller\nØdegaard"), QByteArray("cr\r\nlf\rtab\t end"), QByteArray("  lead and trail  "),
        QByteArray("<&>\"' ]]> &amp;"), QByteArray("bell\x07 and nul", 13).append('\0').append("x"),
        QByteArray("\xEF\xBF\xBE"),        // U+FFFE, not allowed in XML
        QByteArray("\xED\xA0\x80 lone"),   // an unpaired surrogate in UTF-8 form
        QByteArray("\xFF\xFE raw bytes"),  // not UTF-8 at all (SQLite lets a TEXT hold them)
        QByteArray("😀 𝔘 中文"), QByteArray(""),
        QByteArray("line\xE2\x80\xA8sep para\xE2\x80\xA9sep"), // U+2028, U+2029
    };
    for (const QByteArray &t : texts) {
        s.beginRow();
        s.setText(0, t.constData(), std::size_t(t.size()));
        s.setText(1, t.constData(), std::size_t(t.size()));
        s.endRow();
    }
    const QString p = path("texts.xml");
    saveXmlRecordset(p, s, allRows(s));

    // the file is well-formed XML any reader accepts
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QXmlStreamReader plain(&f);
    while (!plain.atEnd())
        plain.readNext();
    EXPECT_FALSE(plain.hasError()) << plain.errorString().toStdString();
    const QByteArray raw = readFile(p);
    EXPECT_TRUE(raw.contains("&#10;") || raw.contains("&#xa;")) << "line breaks need references in attributes";
    EXPECT_TRUE(raw.contains("c0.b64="));
    // The separators go in base64: a text box would turn them into line breaks, so a document
    // opened into the SQL box and saved from it would lose them.
    EXPECT_FALSE(raw.contains("\xE2\x80\xA8"));
    EXPECT_FALSE(raw.contains("\xE2\x80\xA9"));

    const auto back = loadXmlRecordset(p);
    expectSameRows(s, *back, allRows(s));
    EXPECT_EQ(back->fields()[0].Name, oddName);
    EXPECT_TRUE(back->isNull(0, 2));
    EXPECT_FALSE(back->isNull(9, 0)); // empty text is not Null
}

TEST_F(XmlFiles, FailedWriteLeavesTheOldFileWhole)
{
    RowStore s({field("id", adInteger)});
    s.beginRow();
    s.setInt64(0, 1);
    s.endRow();
    const QString p = path("keep.xml");
    saveXmlRecordset(p, s, allRows(s));
    const QByteArray before = readFile(p);
    EXPECT_THROW(saveXmlRecordset(p, s, {0, 5}), DbError); // row 5 does not exist
    EXPECT_EQ(readFile(p), before);
    EXPECT_THROW(saveXmlRecordset(dir.path(), s, {0}), DbError); // a folder, not a file
    EXPECT_THROW(saveXmlRecordset(path("no/such/folder/x.xml"), s, {0}), DbError);
    EXPECT_EQ(loadXmlRecordset(p)->int64(0, 0), 1);

    // Written row by row: nothing reaches the file before the commit, and an abandoned writer
    // leaves it as it was.
    {
        XmlRecordsetWriter writer(p, s.fields());
        writer.writeRow(s, 0);
        writer.writeRow(s, 0);
        EXPECT_EQ(readFile(p), before);
    }
    EXPECT_EQ(readFile(p), before);
    XmlRecordsetWriter writer(p, s.fields());
    writer.writeRow(s, 0);
    writer.writeRow(s, 0);
    writer.commit();
    EXPECT_EQ(loadXmlRecordset(p)->rowCount(), 2u);
}

TEST_F(XmlFiles, MalformedOrForeignDocumentsAreRefusedWithTheirPlace)
{
    auto has = [](const QString &msg, const char *part) {
        return msg.contains(QString::fromUtf8(part)) ? ::testing::AssertionSuccess()
                                                     : ::testing::AssertionFailure() << msg.toStdString();
    };
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"1\" c1=\"2024-01-05\"/></data></recordset>"), "(loaded)"));
    EXPECT_TRUE(has(loadError(""), "malformed XML"));
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"1\"/>"), "malformed XML"));             // truncated
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"1\" c0=\"2\"/></data></recordset>"), "line 3"));
    EXPECT_TRUE(has(loadError("<html><body/></html>"), "not a saved recordset"));
    EXPECT_TRUE(has(loadError("<recordset xmlns=\"urn:other\" version=\"1\"/>"), "not a saved recordset"));
    EXPECT_TRUE(has(loadError("<recordset xmlns=\"urn:tabulon:recordset:1\" version=\"2\"/>"), "Version '2'"));
    EXPECT_TRUE(has(loadError("<recordset xmlns=\"urn:tabulon:recordset:1\" version=\"1\"><schema>"
                              "<column attr=\"c0\" name=\"x\" type=\"999\"/></schema><data/></recordset>"),
                    "Unknown type code 999 for the column 'x'"));
    EXPECT_TRUE(has(loadError("<recordset xmlns=\"urn:tabulon:recordset:1\" version=\"1\"><schema>"
                              "<column attr=\"c0\" name=\"x\" type=\"3\"/><column attr=\"c0\" name=\"y\" type=\"3\"/>"
                              "</schema><data/></recordset>"),
                    "Two columns use the attr name 'c0'"));
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"1\"/>\n<row c9=\"1\"/></data></recordset>"),
                    "line 4, column"));
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"1\"/>\n<row c9=\"1\"/></data></recordset>"), "Unknown attribute 'c9' in a row"));
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"abc\"/></data></recordset>"),
                    "The value 'abc' of the column 'id' is not a whole number"));
    EXPECT_TRUE(has(loadError(kHead + "<row c0=\"3000000000\"/></data></recordset>"), "not in the range"));
    EXPECT_TRUE(has(loadError(kHead + "<row c1=\"2024-13-01\"/></data></recordset>"), "is not a date"));
    EXPECT_TRUE(has(loadError(kHead + "<row c0.b64=\"AQ==\"/></data></recordset>"), "not allowed"));
    EXPECT_TRUE(has(loadError(kHead + "<row><extra/></row></data></recordset>"), "Unexpected element <extra>"));
    EXPECT_TRUE(has(loadError(kHead + "</data><data/></recordset>"), "after the data"));
    EXPECT_TRUE(has(loadError(kHead + "loose text</data></recordset>"), "Unexpected text"));
    // A row crowded with attributes is refused at once, not after the reader compared them in pairs;
    // signs and brackets inside values and comments count for nothing.
    QByteArray crowded = kHead + "\n<row";
    for (int i = 0; i < 100000; ++i)
        crowded += " a" + QByteArray::number(i) + "=\"1\"";
    EXPECT_TRUE(has(loadError(crowded + "/></data></recordset>"), "line 4: an element has more than 4096 attributes"));
    QByteArray quiet = kHead + "<!-- <x";
    for (int i = 0; i < 5000; ++i)
        quiet += " a=1";
    EXPECT_TRUE(has(loadError(quiet + " --><row c0=\"1\" c1=\"2024-01-05\"/></data></recordset>"), "(loaded)"));

    // value checks per type, in a schema of every storage
    const QByteArray typed = "<recordset xmlns=\"urn:tabulon:recordset:1\" version=\"1\"><schema>"
                             "<column attr=\"b\" name=\"b\" type=\"11\"/><column attr=\"d\" name=\"d\" type=\"5\"/>"
                             "<column attr=\"n\" name=\"n\" type=\"131\"/><column attr=\"x\" name=\"x\" type=\"205\"/>"
                             "<column attr=\"t\" name=\"t\" type=\"202\"/></schema><data>";
    EXPECT_TRUE(has(loadError(typed + "<row b=\"yes\"/></data></recordset>"), "is not true or false"));
    EXPECT_TRUE(has(loadError(typed + "<row d=\"1,5\"/></data></recordset>"), "is not a number"));
    EXPECT_TRUE(has(loadError(typed + "<row x=\"@@@\"/></data></recordset>"), "is not base64"));
    EXPECT_TRUE(has(loadError(typed + "<row t=\"a\" t.b64=\"YQ==\"/></data></recordset>"), "given twice"));
    EXPECT_TRUE(has(loadError(typed + "<row b=\"true\" d=\"-INF\" n=\"-0.50\" x=\"\" t=\"\"/></data></recordset>"),
                    "(loaded)"));

    try {
        loadXmlRecordset(path("missing.xml"));
        ADD_FAILURE() << "a missing file loaded";
    } catch (const DbError &e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("missing.xml")));
    }
}

// The document's bytes do not depend on how it is written: this is the file as it always was.
TEST_F(XmlFiles, TheDocumentIsByteForByteTheFileItWas)
{
    FieldInfo id = field("id", adInteger);
    id.BaseTableName = QStringLiteral("orders <&>");
    id.BaseColumnName = QStringLiteral("id");
    id.Nullable = false;
    FieldInfo name = field("Name \"q\"\t", adVarWChar);
    name.DeclaredType = QStringLiteral("TEXT");
    name.DefinedSize = 40;
    RowStore s({id, name, field("ok", adBoolean), field("x", adDouble), field("at", adDBTimeStamp),
                field("bin", adLongVarBinary), field("n", adNumeric)});
    s.beginRow();
    s.setInt64(0, -2147483647);
    const QByteArray odd("<&>\"' ]]>\t\n\r Ødegaard 😀");
    s.setText(1, odd.constData(), std::size_t(odd.size()));
    s.setInt64(2, 1);
    s.setReal(3, std::numeric_limits<double>::infinity());
    s.setValue(4, QStringLiteral("2024-02-29 13:45:30.25+05:30"));
    s.setBlob(5, "\0\1\xFF", 3);
    s.setText(6, "-12.50", 6);
    s.endRow();
    s.beginRow(); // every column Null
    s.endRow();
    s.beginRow();
    s.setInt64(0, 7);
    s.setText(1, "bell\x07", 5);
    s.setInt64(2, 0);
    s.setReal(3, -0.0);
    s.setValue(4, QStringLiteral("0044-03-15 00:00:00 BC"));
    s.setBlob(5, "", 0);
    s.setText(6, "", 0);
    s.endRow();
    const QString p = path("exact.xml");
    saveXmlRecordset(p, s, {2, 0, 1});
    EXPECT_EQ(readFile(p), QByteArray(R"XML(<?xml version="1.0" encoding="UTF-8"?>
<recordset xmlns="urn:tabulon:recordset:1" version="1">
 <schema>
  <column attr="c0" name="id" type="3" size="0" precision="0" scale="0" nullable="false" basetable="orders &lt;&amp;&gt;" basecolumn="id"/>
  <column attr="c1" name="Name &quot;q&quot;&#9;" type="202" size="40" precision="0" scale="0" nullable="true" declared="TEXT"/>
  <column attr="c2" name="ok" type="11" size="0" precision="0" scale="0" nullable="true"/>
  <column attr="c3" name="x" type="5" size="0" precision="0" scale="0" nullable="true"/>
  <column attr="c4" name="at" type="135" size="0" precision="0" scale="0" nullable="true"/>
  <column attr="c5" name="bin" type="205" size="0" precision="0" scale="0" nullable="true"/>
  <column attr="c6" name="n" type="131" size="0" precision="0" scale="0" nullable="true"/>
 </schema>
 <data>
  <row c0="7" c1.b64="YmVsbAc=" c2="false" c3="-0" c4="0044-03-15T00:00:00 BC" c5="" c6=""/>
  <row c0="-2147483647" c1="&lt;&amp;&gt;&quot;' ]]&gt;&#9;&#10;&#13; Ødegaard 😀" c2="true" c3="INF" c4="2024-02-29T13:45:30.25+05:30" c5="AAH/" c6="-12.50"/>
  <row/>
 </data>
</recordset>
)XML"));

    // Without rows the data element is empty.
    saveXmlRecordset(p, s, {});
    EXPECT_TRUE(readFile(p).endsWith(" </schema>\n <data/>\n</recordset>\n")) << readFile(p).toStdString();
}
