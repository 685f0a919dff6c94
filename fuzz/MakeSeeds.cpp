// Writes the seed corpora beside the fuzz targets: files and texts made by the program's own
// writers, and the inputs of the faults the targets guard against. Run as
//   fuzz_seeds <source folder>/fuzz/corpus
// and commit what changed.
#include "FuzzSupport.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "db/ConnectionString.h"
#include "db/RecordsetFilter.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "db/XmlRecordset.h"
#include "grid/Grid.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

QString g_root;

void put(const char *target, const QString &name, const QByteArray &bytes)
{
    const QString dir = QDir(g_root).filePath(QLatin1String(target));
    QDir().mkpath(dir);
    QFile f(QDir(dir).filePath(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s/%s\n", target, qPrintable(name));
        std::exit(1);
    }
}

void putFile(const char *target, const QString &name, const QString &path)
{
    put(target, name, fuzz::readFile(path));
}

// --- connection strings ------------------------------------------------------------------

void connectionStrings()
{
    db::ConnectionString sqlite;
    sqlite.setValue(QStringLiteral("Provider"), QStringLiteral("SQLite"));
    sqlite.setValue(QStringLiteral("Data Source"), QStringLiteral("/home/ann/My Data/Sales; 2024.db"));
    put("connection_string", QStringLiteral("seed-sqlite"), sqlite.toString().toUtf8());

    db::ConnectionString pg;
    pg.setValue(QStringLiteral("Provider"), QStringLiteral("PostgreSQL"));
    pg.setValue(QStringLiteral("Data Source"), QStringLiteral("db.example.org"));
    pg.setValue(QStringLiteral("Port"), QStringLiteral("5432"));
    pg.setValue(QStringLiteral("Initial Catalog"), QStringLiteral("sales"));
    pg.setValue(QStringLiteral("User ID"), QStringLiteral("O'Brien"));
    pg.setValue(QStringLiteral("Password"), QStringLiteral("se\"cr;et "));
    put("connection_string", QStringLiteral("seed-postgresql"), pg.toString().toUtf8());

    db::ConnectionString odbc;
    odbc.setValue(QStringLiteral("Provider"), QStringLiteral("ODBC"));
    odbc.setValue(QStringLiteral("Driver"), QStringLiteral("SQLite3"));
    odbc.setValue(QStringLiteral("Database"), QStringLiteral("/tmp/a;b}.db"));
    odbc.setValue(QStringLiteral("PWD"), QStringLiteral("{p}w}"));
    put("connection_string", QStringLiteral("seed-odbc"), odbc.toString().toUtf8());
    put("connection_string", QStringLiteral("seed-dsn"), QByteArray("DSN=Sales;UID=ann;PWD=x"));

    // Masking once failed open on long quoted, braced and unclosed values.
    const QByteArray body = "s3cret" + QByteArray(40'000, 'x');
    put("connection_string", QStringLiteral("repro-mask-long-quoted"), "Password=\"" + body + "\";Port=1");
    put("connection_string", QStringLiteral("repro-mask-long-braced"), "PWD={" + body + "};UID=u");
    put("connection_string", QStringLiteral("repro-mask-long-unclosed"), "User ID=u;Password='" + body);
    put("connection_string", QStringLiteral("repro-mask-nbsp-key"), QString::fromUtf8("Password\u00A0=s3cret;X=1").toUtf8());
    // A driver named as a library file, alone and behind a registered one; a file data source.
    put("connection_string", QStringLiteral("repro-driver-path"), "Provider=ODBC;Driver=/tmp/evil/lib.so;Database=x");
    put("connection_string", QStringLiteral("repro-driver-second"), "Driver={SQLite3};DRIVER=./lib.so");
    put("connection_string", QStringLiteral("repro-savefile"), "Driver=SQLite3;SaveFile=/tmp/x.dsn");
    // Longer than a 16-bit length.
    put("connection_string", QStringLiteral("repro-odbc-33k"),
        "Provider=ODBC;Driver=SQLite3;Pad=" + QByteArray(33'000, 'p') + ";Database=/tmp/x.db");
    // A value ending in a no-break space, which the reader trims unless it is quoted.
    db::ConnectionString blank;
    blank.setValue(QStringLiteral("Description"), QString::fromUtf8("ends in\u00A0"));
    put("connection_string", QStringLiteral("seed-edge-blank"), blank.toString().toUtf8());
}

// --- settings --------------------------------------------------------------------------

void settingsFiles()
{
    QTemporaryDir dir;
    auto store = settings::SettingsStore::createFileStore(dir.path());
    const QString app = QStringLiteral("Fuzz");
    store->SaveSetting(app, QStringLiteral("General"), QStringLiteral("Recent Files"), QStringLiteral("4"));
    store->SaveSetting(app, QStringLiteral("General"), QStringLiteral("Recent Files1"), QStringLiteral("/home/a b/q.sql"));
    store->SaveSetting(app, QStringLiteral("Results\\Font"), QStringLiteral("Font"), QStringLiteral("DejaVu Sans"));
    store->SaveSetting(app, QStringLiteral("Results\\Font"), QStringLiteral("Size"), QStringLiteral("8.25"));
    store->SaveSetting(app, QStringLiteral("Results"), QStringLiteral("Split\\Percentage"), QStringLiteral("90"));
    store->SaveSetting(app, QStringLiteral("Find"), QStringLiteral("Value0"), QStringLiteral("O'Brien; 100%\nnext"));
    putFile("settings_file", QStringLiteral("seed-options"), store->filePath(app));

    // Blanks other than space and tab at either end, of names and values.
    QTemporaryDir edges;
    auto blanks = settings::SettingsStore::createFileStore(edges.path());
    const char16_t kinds[] = {0x00A0, 0x2003, 0x0085, 0x000B, 0x000C};
    int n = 0;
    for (const char16_t b : kinds) {
        const QString c(QChar{b});
        blanks->SaveSetting(app, c + QStringLiteral("Section") + QString::number(n) + c, c + QStringLiteral("Key") + c,
                            c + QStringLiteral("value") + c);
        ++n;
    }
    putFile("settings_file", QStringLiteral("repro-edge-blanks"), blanks->filePath(app));
    // The same as three strings of UTF-16 (section, key, value), as the target's second half reads
    // its input, with a lone half of a surrogate pair too.
    const QString strings = QString(QChar(0x00A0)) + QStringLiteral("Section") + QChar(0x2003) + QChar(1)
        + QChar(0x000B) + QStringLiteral("Key") + QChar(0xD800) + QChar(1) + QChar(0x0085) + QStringLiteral("value")
        + QChar(0x000C);
    put("settings_file", QStringLiteral("repro-edge-blanks-utf16"),
        QByteArray(reinterpret_cast<const char *>(strings.utf16()), strings.size() * 2));
    put("settings_file", QStringLiteral("repro-recent-files-huge"), "[General]\nRecent Files=10000000\n");
    put("settings_file", QStringLiteral("repro-hand-edited"),
        "; comment\n[General]\r\n  Date Format = dd/mm/yyyy  \r\nbad line\n[]\nx=1\n[General]\nDate Format=later\n%zz=%\n");
}

// --- INI files --------------------------------------------------------------------------

void iniFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DataSources.ini"));
    {
        settings::IniFile ini(path);
        ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Name"), QStringLiteral("Sample"));
        ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Connection"),
                                      QStringLiteral("Provider=SQLite;Data Source=/home/u/Sample.db"));
        ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Description"), QStringLiteral("  blanks kept  "));
        ini.WritePrivateProfileString(QStringLiteral("2"), QStringLiteral("Name"), QStringLiteral("\"quoted\""));
        ini.WritePrivateProfileString(QStringLiteral("2"), QStringLiteral("Delimiter"), QStringLiteral("`"));
    }
    putFile("ini_file", QStringLiteral("seed-datasources"), path);
    put("ini_file", QStringLiteral("repro-cp1252"), QByteArray("[1]\nName=Caf\xe9 \x80uro\n"));
    put("ini_file", QStringLiteral("repro-bom-crlf"), QByteArray("\xEF\xBB\xBF[Sec]\r\n; kept\r\nKey = ' x '\r\n[sec]\r\nKey=2\r\n"));
}

// --- grid files -------------------------------------------------------------------------

void gridFiles()
{
    QTemporaryDir dir;
    grid::Grid g;
    g.setCols(10);
    g.setRows(3);
    const QStringList head{"(", "Column", "", "", "IS", "Comparison", "Value", ")", "AND\\OR", ""};
    for (int c = 0; c < 10; ++c)
        g.setTextMatrix(0, c, head.at(c));
    g.setTextMatrix(1, 1, QStringLiteral("Name"));
    g.setTextMatrix(1, 6, QStringLiteral("O'Brien\tand\\N \"quotes\"\nnext line\r"));
    g.setTextMatrix(2, 6, QStringLiteral("Müller Ødegaard ✓"));
    g.setTextMatrix(2, 5, QStringLiteral("\\N"));
    for (int c : {0, 2, 3, 7, 9})
        g.setColHidden(c, true);
    g.setColWidth(1, 2010);
    const char *names[] = {"seed-all", "seed-data", "seed-format"};
    for (int what = grid::flexFileAll; what <= grid::flexFileFormat; ++what) {
        const QString path = dir.filePath(QStringLiteral("g.qry"));
        g.SaveGrid(path, what);
        putFile("grid_file", QLatin1String(names[what]), path);
    }
    put("grid_file", QStringLiteral("repro-claims-50m-rows"),
        "TabulonGrid 1\nrows 50000000\ncols 1\nfixedrows 0\nfixedcols 0\ncells\nend\n");
    put("grid_file", QStringLiteral("repro-claims-columns"),
        "TabulonGrid 1\nrows 0\ncols 50000000\nfixedrows 0\nfixedcols 0\ncells\nend\n");
}

// --- XML recordsets ---------------------------------------------------------------------

db::FieldInfo field(const char *name, int type)
{
    db::FieldInfo f;
    f.Name = QString::fromUtf8(name);
    f.Type = type;
    return f;
}

void xmlRecordsets()
{
    using namespace db;
    RowStore s({field("id", adInteger), field("big", adBigInt), field("flag", adBoolean), field("real", adDouble),
                field("amount", adNumeric), field("day", adDBDate), field("at", adDBTimeStamp), field("t", adDBTime),
                field("Name \"quoted\" <&>", adVarWChar), field("blob", adLongVarBinary), field("money", adCurrency)});
    for (int r = 0; r < 3; ++r) {
        s.beginRow();
        if (r < 2) {
            s.setInt64(0, r == 0 ? -2147483647 - 1 : 7);
            s.setInt64(1, r == 0 ? std::numeric_limits<std::int64_t>::min() : 1);
            s.setInt64(2, r);
            s.setReal(3, r == 0 ? -0.0 : 0.1);
            s.setValue(4, QStringLiteral("12345678901234567890.123456789"));
            s.setInt64(5, RowStore::encodeDate(QDate(1899, 12, 30)));
            s.setInt64(6, RowStore::encodeDateTime(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999))));
            s.setInt64(7, RowStore::encodeTime(QTime(0, 0, 1)));
            const QByteArray text = r == 0 ? QByteArray("line\nbreak\ttab ]]> &amp; \xc3\xbc") : QByteArray("");
            s.setText(8, text.constData(), std::size_t(text.size()));
            s.setBlob(9, "\0\1\2\xff", 4);
            s.setValue(10, QStringLiteral("-922337203685477.5808"));
        }
        s.endRow();
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("r.xml"));
    saveXmlRecordset(path, s, {0, 1, 2});
    putFile("xml_recordset", QStringLiteral("seed-every-type"), path);
    saveXmlRecordset(path, s, {});
    putFile("xml_recordset", QStringLiteral("seed-no-rows"), path);
}

// --- filters, clauses, formats ----------------------------------------------------------

void filters()
{
    const char *texts[] = {
        "Name = 'O''Brien' AND (b > 5 OR c <= -1.5E3)",
        "[Order Date] >= #2024-01-31# AND a LIKE '*x?%' AND NOT n IS NULL",
        "\"quoted name\" <> 'x' OR e = True OR d IS NOT NULL",
        "((a = 'b'))",
    };
    int i = 0;
    for (const char *t : texts) {
        QString text = QString::fromUtf8(t);
        try {
            text = db::RecordsetFilter::parse(text).toString();
        } catch (...) {
            // kept as typed: a seed the parser refuses is a seed too
        }
        put("filter_syntax", QStringLiteral("seed-%1").arg(++i), text.toUtf8());
    }
    put("filter_syntax", QStringLiteral("repro-deep-nesting"), QByteArray(10000, '(') + "a = 1" + QByteArray(10000, ')'));
    put("filter_syntax", QStringLiteral("repro-deep-not"), QByteArray("NOT ").repeated(10000) + "a = 1");
}

void clauses()
{
    const char *statements[] = {
        "SELECT a, b FROM t WHERE x = 'WHERE' -- ORDER BY\nGROUP BY a\r\nORDER BY 2 DESC",
        "SELECT * FROM (SELECT a FROM t ORDER BY a) q WHERE \"ORDER BY\" = [GROUP BY] /* WHERE */",
        "{ ? = call sales.total(?, ?) }",
        "{ call p('?', ?, ?) }",
    };
    int i = 0;
    for (const char *s : statements)
        put("clause_scanner", QStringLiteral("seed-%1").arg(++i), QByteArray(s));
    put("clause_scanner", QStringLiteral("repro-dollar-quoted"), QByteArray("SELECT $$ ORDER BY $$ AS label FROM t"));
}

void formats()
{
    const std::pair<double, const char *> cases[] = {
        {1234567.891, "#,##0.00"}, {-0.5, "0%;(0%);zero"}, {0.0, "#,###"}, {1e300, "$#,###.00"},
        {45000.25, "dd/mm/yyyy hh:nn:ss"}, {3.0, "\"Total: \"#,##0.0\\x"}, {-1e-320, "0.0000"},
        {12.0, "yyyy-mm-ddThh:mm"}, {7.0, "d'm"}};
    int i = 0;
    for (const auto &[value, pattern] : cases) {
        QByteArray bytes(reinterpret_cast<const char *>(&value), sizeof value);
        bytes += pattern;
        put("format_patterns", QStringLiteral("seed-%1").arg(++i), bytes);
    }
}

// --- the data-source file -----------------------------------------------------------------

void dataSourceFiles()
{
    QTemporaryDir dir;
    using namespace browser;
    browserSettings().IniFilePath = dir.filePath(QStringLiteral("DataSources.ini"));
    DataSourceTable &t = dataSources();
    t = DataSourceTable{};
    const char *rows[][4] = {
        {"Sample", "Sample trading company database", "Provider=SQLite;Data Source=/home/u/Sample.db", ""},
        {"O''Brien''s", "  padded  ", "Provider=PostgreSQL;Data Source=h;Password=''x''", "`"},
        {"\"Quoted\"", "", "Provider=ODBC;Driver={SQLite3};Database=/tmp/x.db", "["},
    };
    for (int r = 0; r < 3; ++r) {
        DataSourceRow &row = t.rows[std::size_t(r + 1)];
        row.ID = QString::number(r + 1);
        row.Name = QString::fromUtf8(rows[r][0]);
        row.Description = QString::fromUtf8(rows[r][1]);
        row.Connection = QString::fromUtf8(rows[r][2]);
        row.Delimiter = QString::fromUtf8(rows[r][3]);
    }
    t.count = 3;
    if (!Save_DataSources()) {
        std::fprintf(stderr, "the data-source file was not written\n");
        std::exit(1);
    }
    putFile("datasource_file", QStringLiteral("seed-three"), browserSettings().IniFilePath);

    put("datasource_file", QStringLiteral("repro-gap"), "[1]\nName=One\n[2]\nName=Two\n[4]\nName=Four\n");
    put("datasource_file", QStringLiteral("repro-empty-name"), "[1]\nName=One\n[2]\nName=\n[3]\nName=Three\n");
    QByteArray many;
    for (int i = 1; i <= 55; ++i)
        many += "[" + QByteArray::number(i) + "]\nName=Source " + QByteArray::number(i)
            + "\nConnection=Provider=SQLite;Data Source=/tmp/" + QByteArray::number(i) + ".db\n";
    put("datasource_file", QStringLiteral("repro-55-sources"), many);
    put("datasource_file", QStringLiteral("repro-driver-path"),
        "[1]\nName=Crafted\nConnection=Provider=ODBC;Driver=/tmp/evil/lib.so\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    fuzz::ensureApplication();
    g_root = QFile::decodeName(argv[1]);
    auto memory = settings::SettingsStore::useMemory();
    connectionStrings();
    settingsFiles();
    iniFiles();
    gridFiles();
    xmlRecordsets();
    filters();
    clauses();
    formats();
    dataSourceFiles();
    std::printf("seeds written to %s\n", qPrintable(g_root));
    return 0;
}
