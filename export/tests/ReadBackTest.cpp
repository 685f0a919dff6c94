// Every file destination read back by readers that owe nothing to the writers (python's csv,
// html.parser and sqlite3, openpyxl, python-docx, xmllint): each value of a real result, edge
// values of every type among them, against the database's own text of it.
#include "ExportTestSupport.h"

#include "db/Connection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <sqlite3.h>

using namespace exporttest;

namespace {

struct Column {
    const char *name;
    const char *kind; // how a reader's value compares: text, number, bool, date, time, timestamp
    bool refused = false;
};

} // namespace

class ReadBack : public ExportTest {
protected:
    // Exports rs to every file destination and has each file read back; expected holds the
    // database's text of every value (a Null as an invalid QVariant).
    void expectEveryFileReadsBack(const std::shared_ptr<db::Recordset> &rs, const std::vector<Column> &columns,
                                  const std::vector<std::vector<QVariant>> &expected)
    {
        QJsonArray cols;
        for (const Column &c : columns)
            cols.append(QJsonObject{{"name", c.name}, {"kind", c.kind}, {"refused", c.refused}});
        QJsonArray rows;
        for (const auto &row : expected) {
            QJsonArray r;
            for (const QVariant &v : row)
                r.append(v.isValid() ? QJsonValue(v.toString()) : QJsonValue());
            rows.append(r);
        }
        const QString expectedFile = path(QStringLiteral("expected.json"));
        writeFile(expectedFile, QJsonDocument(QJsonObject{{"table", "Read Back"}, {"columns", cols}, {"rows", rows}})
                                    .toJson());
        const std::pair<DataExport::Destination, const char *> outputs[] = {
            {DataExport::TextFile, "csv"},        {DataExport::Html, "html"},     {DataExport::Xml, "xml"},
            {DataExport::Spreadsheet, "xlsx"},    {DataExport::MailMerge, "docx"},
            {DataExport::DesktopDatabase, "sqlite"}};
        for (const auto &[destination, format] : outputs) {
            control = std::make_unique<DataExport>();
            load(rs, QStringLiteral("Read Back"));
            const QString file = path(QStringLiteral("out.") + QString::fromLatin1(format));
            ASSERT_TRUE(exportTo(destination, file)) << format;
            QProcess reader;
            reader.setProcessChannelMode(QProcess::MergedChannels);
            reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(READ_BACK_SCRIPT), QString::fromLatin1(format),
                                                     file, expectedFile});
            ASSERT_TRUE(reader.waitForFinished(120000)) << format;
            EXPECT_EQ(reader.exitCode(), 0) << format << ":\n" << reader.readAll().toStdString();
        }
    }
};

TEST_F(ReadBack, EveryPostgresTypeAndEdgeValueReadsBackFromEveryFile)
{
    TABULON_REQUIRE_POSTGRES();
    auto conn = db::Connection::create();
    conn->Open(testsupport::postgresConnectionString());
    // name, type, one text per row (NULL for a Null)
    struct Source {
        Column column;
        const char *type;
        const char *values[4];
    };
    const char *longText = "repeat('x', 32767)";
    const std::vector<Source> sources = {
        {{"d", "number"}, "float8", {"1.7976931348623157e308", "0.30000000000000004", "-1.2345678901234567e-300", "NULL"}},
        {{"r", "number"}, "float4", {"0.1", "3.4028235e38", "1e-45", "NULL"}},
        {{"n", "number"}, "numeric", {"12345678901234567890.123456789", "0.1", "-0.000000000000000001", "NULL"}},
        {{"m", "number"}, "money", {"92233720368547758.07", "-92233720368547758.08", "0.01", "NULL"}},
        {{"i", "number"}, "int8", {"9223372036854775807", "-9223372036854775808", "0", "NULL"}},
        {{"b", "bool"}, "bool", {"true", "false", "true", "NULL"}},
        {{"dt", "date"}, "date", {"1900-01-01", "1900-02-28", "1900-03-01", "9999-12-31"}},
        {{"t", "time"}, "time", {"23:59:59.999999", "12:00:01", "00:00:00", "12:00:00.123"}},
        {{"tz", "time"}, "timetz", {"12:00:00+05:30", "23:59:59.999999-03", "00:00:00+00", "NULL"}},
        {{"ts", "timestamp"}, "timestamp",
         {"1999-12-31 23:59:59.999999", "2024-02-29 12:00:01", "1900-01-01 00:00:00", "1900-03-01 06:00:00.5"}},
        {{"tstz", "timestamp"}, "timestamptz",
         {"2020-01-01 12:00:00+05:30", "1999-12-31 23:59:59.999999-08", "2024-06-30 00:00:01+00", "NULL"}},
        {{"iv", "text"}, "interval", {"1 year 2 mons 3 days 04:05:06.789", "-00:00:00.000001", "0", "NULL"}},
        {{"u", "text"}, "uuid", {"a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11", "NULL", "NULL", "NULL"}},
        {{"j", "text"}, "json", {"{\"a\": [1, \"x\"]}", "NULL", "NULL", "NULL"}},
        {{"a", "text"}, "int4[]", {"{1,2,NULL}", "{}", "NULL", "NULL"}},
        {{"tx", "text"}, "text", {"Anna, \"B\" <c> & d", "", "NULL", longText}},
        {{"by", "text", true}, "bytea", {"\\x00ff", "NULL", "NULL", "NULL"}},
    };
    // The values travel as literals of their types; the database's own text of each is ::text
    // (money by way of numeric, as its text carries the locale's currency sign).
    QString select, asText, values;
    for (int r = 0; r < 4; ++r) {
        values += r ? QStringLiteral(", (") : QStringLiteral("(");
        for (std::size_t c = 0; c < sources.size(); ++c) {
            const QString v = QString::fromUtf8(sources[c].values[r]);
            const bool raw = v == QLatin1String("NULL") || sources[c].values[r] == longText;
            values += (c ? QStringLiteral(", ") : QString())
                + (raw ? v : u'\'' + QString(v).replace(u'\'', QStringLiteral("''")) + u'\'') + QStringLiteral("::text");
        }
        values += u')';
    }
    for (std::size_t c = 0; c < sources.size(); ++c) {
        const QString name = QString::fromLatin1(sources[c].column.name);
        const QString type = QString::fromLatin1(sources[c].type);
        select += (c ? QStringLiteral(", ") : QString()) + QStringLiteral("v.%1::%2 AS %1").arg(name, type);
        asText += (c ? QStringLiteral(", ") : QString())
            + (type == QLatin1String("money") ? QStringLiteral("v.%1::%2::numeric::text") : QStringLiteral("v.%1::%2::text"))
                  .arg(name, type);
    }
    QStringList names;
    for (const Source &s : sources)
        names << QString::fromLatin1(s.column.name);
    const QString from = QStringLiteral(" FROM (VALUES %1) v(%2)").arg(values, names.join(u','));

    auto texts = db::Recordset::create();
    texts->Open(QStringLiteral("SELECT ") + asText + from, conn);
    std::vector<std::vector<QVariant>> expected;
    for (std::size_t r = 0; texts->ensureRow(r); ++r) {
        std::vector<QVariant> row;
        for (int c = 0; c < texts->FieldCount(); ++c)
            row.push_back(texts->value(r, c));
        expected.push_back(row);
    }
    ASSERT_EQ(expected.size(), 4u);
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT ") + select + from, conn);
    std::vector<Column> columns;
    for (const Source &s : sources)
        columns.push_back(s.column);
    expectEveryFileReadsBack(rs, columns, expected);
}

TEST_F(ReadBack, EverySqliteTypeAndEdgeValueReadsBackFromEveryFile)
{
    const QString dbPath = path(QStringLiteral("source.db"));
    {
        sqlite3 *raw = nullptr;
        ASSERT_EQ(sqlite3_open(dbPath.toUtf8().constData(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw,
                               "CREATE TABLE t(d DOUBLE, i BIGINT, dt DATE, ts DATETIME, tm TIME, tx TEXT, bl BLOB);"
                               "INSERT INTO t VALUES (1.7976931348623157e308, 9223372036854775807, '1900-01-01',"
                               " '1999-12-31 23:59:59.999999', '23:59:59.999', 'A', X'00FF');"
                               "INSERT INTO t VALUES (0.30000000000000004, -1, '1900-02-28', '2024-02-29 12:00:01',"
                               " '12:00:01', '', NULL);"
                               "INSERT INTO t VALUES (2.2250738585072014e-308, 0, '1900-03-01', '1900-01-01 00:00:00',"
                               " '00:00:00', CAST(X'41FF42' AS TEXT), NULL);"
                               "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL,"
                               " 'a' || char(0) || char(1) || '_x0041_' || char(9) || 'b' || char(10) || 'c', NULL);"
                               "INSERT INTO t VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(raw);
        sqlite3_close(raw);
    }
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dbPath));
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM t"), conn);
    // What SQLite holds, as written; text that is not UTF-8 reads as the grid shows it.
    const std::vector<std::vector<QVariant>> expected = {
        {"1.7976931348623157e308", "9223372036854775807", "1900-01-01", "1999-12-31 23:59:59.999999", "23:59:59.999",
         "A", {}},
        {"0.30000000000000004", "-1", "1900-02-28", "2024-02-29 12:00:01", "12:00:01", "", {}},
        {"2.2250738585072014e-308", "0", "1900-03-01", "1900-01-01 00:00:00", "00:00:00", QStringLiteral("A\uFFFDB"),
         {}},
        {{}, {}, {}, {}, {}, QString::fromUtf16(u"a\0\u0001_x0041_\tb\nc", 14), {}},
        {{}, {}, {}, {}, {}, {}, {}},
    };
    expectEveryFileReadsBack(rs,
                             {{"d", "number"}, {"i", "number"}, {"dt", "date"}, {"ts", "timestamp"}, {"tm", "time"},
                              {"tx", "text"}, {"bl", "text", true}},
                             expected);
}
