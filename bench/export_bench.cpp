// The export control on the 1,000,000-row, 8-column table, each destination beside its floor read
// from the same database in the same run, ours and the floor alternating:
//   - CSV: the delimited text file (comma, headers) against `sqlite3 -csv -header > file`;
//   - spreadsheet: the workbook against a plain libxlsxwriter program in constant-memory mode
//     reading the table through SQLite's C API (this program's --xlsx-floor);
//   - desktop database: the SQLite file against `sqlite3` attaching a new file and filling its
//     table with one INSERT ... SELECT;
//   - the peak memory each export added above the window's own (the window opened on the result,
//     its first screen fetched; the kernel's high-water mark reset there);
//   - the longest time the interface thread went without turning its event loop during each export.
// Every run is a child process of its own (this program again, or sqlite3), so that its memory is
// its own; the table is generated once into the temporary folder and reused by later runs.
//   bench_export [--runs N] [--rows N]   N alternating runs (default 5); a table of N rows
// It prints the figures as rows of bench/README.md's table ("| export_bench ...").
#include "hlExport/DataExport.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "settings/SettingsStore.h"
#include "ui/CommonDialog.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>

#include "BenchRuns.h"
#include "BenchTable.h"

#include <sqlite3.h>
#include <xlsxwriter.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kRuns = 5;
constexpr int kRows = 1000000;
const char *const kColumns = "id, qty, code, price, weight, name, city, day";

QByteArray selectFrom(const char *table)
{
    return QByteArray("SELECT ") + kColumns + " FROM " + table;
}

// The child: the window opened on the table's result as a user opens it, then one export through
// the control. Prints its time (from opening the connection) and the peak memory the export added.
int exportOnce(const QString &database, const QByteArray &table, const QString &kind, const QString &file)
{
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();
    ui::ScriptedPrompts prompts;
    ui::ScriptedDialogs dialogs;
    QElapsedTimer t;
    t.start();
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=\"%1\"").arg(database));
    auto rs = db::Recordset::create();
    rs->Open(QString::fromLatin1(selectFrom(table.constData())), conn);
    DataExport control;
    control.ExportName(QString::fromLatin1(table));
    control.Data(rs);
    control.show();
    QCoreApplication::processEvents();
    const int option = kind == u"xlsx" ? DataExport::Spreadsheet
        : kind == u"sqlite"            ? DataExport::DesktopDatabase
                                       : DataExport::TextFile;
    control.findChild<QRadioButton *>(QStringLiteral("optDestination%1").arg(option))->click();
    malloc_trim(0);
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
    }
    const long before = bench::statusKb("VmRSS:");
    ui::CommonDialog::queueFile(file);
    double stall = 0;
    const bool ok = bench::watchStalls([&] { return control.Export_Data(); }, &stall);
    std::printf("%.1f %ld %.1f\n", bench::ms(t), bench::statusKb("VmHWM:") - before, stall);
    return ok ? 0 : 1;
}

// The spreadsheet's floor: the table stepped through SQLite's C API into a constant-memory
// workbook, numbers as numbers, texts as strings, Nulls left empty, a header row.
int xlsxFloor(const QString &database, const QByteArray &table, const QString &file)
{
    QElapsedTimer t;
    t.start();
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return 1;
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, selectFrom(table.constData()).constData(), -1, &s, nullptr) != SQLITE_OK)
        return 1;
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray path = file.toUtf8();
    lxw_workbook *book = workbook_new_opt(path.constData(), &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    const int cols = sqlite3_column_count(s);
    for (int c = 0; c < cols; ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), sqlite3_column_name(s, c), nullptr);
    lxw_row_t row = 1;
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER:
            case SQLITE_FLOAT: worksheet_write_number(sheet, row, lxw_col_t(c), sqlite3_column_double(s, c), nullptr); break;
            case SQLITE_TEXT:
                worksheet_write_string(sheet, row, lxw_col_t(c), reinterpret_cast<const char *>(sqlite3_column_text(s, c)),
                                       nullptr);
                break;
            default: break;
            }
        }
        ++row;
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    const bool ok = workbook_close(book) == LXW_NO_ERROR;
    std::printf("%.1f 0\n", bench::ms(t));
    return ok ? 0 : 1;
}

struct Sample {
    std::vector<double> ms;
    std::vector<double> peakMb; // ours: added above the window
    std::vector<double> stallMs; // ours: the interface thread's longest stall
};

// One line of the README's table.
void row(const QString &figure, const std::vector<double> &ours, const QString &peer, const std::vector<double> &floor,
         const char *goal)
{
    const double o = bench::median(ours), p = bench::median(floor);
    std::printf("| export_bench %s | %.1f / %.1f | %s | %.1f / %.1f | %.2fx | %s |\n", qPrintable(figure),
                *std::min_element(ours.begin(), ours.end()), o, qPrintable(peer),
                *std::min_element(floor.begin(), floor.end()), p, p > 0 ? o / p : 0.0, goal);
}

int optionValue(int argc, char **argv, const char *name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0)
        return exportOnce(QString::fromLocal8Bit(argv[2]), argv[3], QString::fromLocal8Bit(argv[4]),
                          QString::fromLocal8Bit(argv[5]));
    if (argc == 5 && std::strcmp(argv[1], "--xlsx-floor") == 0)
        return xlsxFloor(QString::fromLocal8Bit(argv[2]), argv[3], QString::fromLocal8Bit(argv[4]));

    const int runs = optionValue(argc, argv, "--runs", kRuns);
    const int rows = optionValue(argc, argv, "--rows", kRows);
    const QByteArray table = rows == kRows ? QByteArray("big") : "big" + QByteArray::number(rows);
    const QString database = bench::preparedDatabase(
        rows == kRows ? QStringLiteral("bench_data.db") : QStringLiteral("bench_export_%1.db").arg(rows),
        {{"small", 10000}, {table.toStdString(), rows}}, 42);
    const QString dir = QFileInfo(database).absolutePath();
    auto at = [&](const char *name) { return QDir(dir).filePath(QString::fromLatin1(name)); };
    const QString log = at("export_child.out");
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    const std::string dbPath = database.toStdString();
    std::fprintf(stderr, "data: %s, table %s, %d rows; %d alternating runs\n", qPrintable(database), table.constData(), rows,
                 runs);

    // A child's "ms kb" line; false when it failed.
    auto child = [&](const std::vector<std::string> &args, Sample &sample, bool ownTime) {
        double wall = 0;
        long peakKb = 0;
        if (!bench::spawn(args, log, wall, peakKb)) {
            std::fprintf(stderr, "%s failed\n", args.front().c_str());
            std::exit(1);
        }
        QFile out(log);
        out.open(QIODevice::ReadOnly);
        const QList<QByteArray> figures = out.readAll().trimmed().split(' ');
        sample.ms.push_back(ownTime && !figures.isEmpty() ? figures[0].toDouble() : wall);
        if (ownTime && figures.size() > 1)
            sample.peakMb.push_back(figures[1].toDouble() / 1024);
        if (ownTime && figures.size() > 2)
            sample.stallMs.push_back(figures[2].toDouble());
    };
    // The floor's target must not exist: ATTACH would add to it.
    const QString attached = at("floor.sqlite");
    const QByteArray attach = "ATTACH '" + attached.toUtf8() + "' AS o; CREATE TABLE o." + table
        + "(id INTEGER, qty INTEGER, code BIGINT, price DOUBLE, weight DOUBLE, name VARCHAR(40), city VARCHAR(30), day "
          "DATE); INSERT INTO o." + table + " " + selectFrom(table.constData()) + ";";

    Sample csv, csvPeer, xlsx, xlsxPeer, sqlite, sqlitePeer;
    // A sheet holds 1,048,576 rows: a larger table is no workbook.
    const bool sheetFits = rows < 1048576;
    for (int i = 0; i < runs; ++i) {
        child({self, "--child", dbPath, table.toStdString(), "csv", at("ours.csv").toStdString()}, csv, true);
        child({"sqlite3", "-csv", "-header", dbPath, selectFrom(table.constData()).toStdString()}, csvPeer, false);
        QFile::copy(log, at("peer.csv"));
        if (sheetFits) {
            child({self, "--child", dbPath, table.toStdString(), "xlsx", at("ours.xlsx").toStdString()}, xlsx, true);
            child({self, "--xlsx-floor", dbPath, table.toStdString(), at("floor.xlsx").toStdString()}, xlsxPeer, true);
        }
        child({self, "--child", dbPath, table.toStdString(), "sqlite", at("ours.sqlite").toStdString()}, sqlite, true);
        QFile::remove(attached);
        child({"sqlite3", dbPath, attach.toStdString()}, sqlitePeer, false);
    }
    const QString n = QString::number(rows);
    auto mib = [&](const char *name) { return QString::number(double(QFileInfo(at(name)).size()) / 1048576, 'f', 1); };
    row(QStringLiteral("CSV file of %1 rows (%2 MiB)").arg(n, mib("ours.csv")), csv.ms,
        QStringLiteral("`sqlite3 -csv -header` > file (%1 MiB)").arg(mib("peer.csv")), csvPeer.ms, "<= 1.0x");
    if (sheetFits)
        row(QStringLiteral("spreadsheet of %1 rows (%2 MiB)").arg(n, mib("ours.xlsx")), xlsx.ms,
            QStringLiteral("libxlsxwriter, constant memory, rows stepped through the C API (%1 MiB)").arg(mib("floor.xlsx")),
            xlsxPeer.ms, "<= 1.1x");
    row(QStringLiteral("desktop database of %1 rows (%2 MiB)").arg(n, mib("ours.sqlite")), sqlite.ms,
        QStringLiteral("`sqlite3`: ATTACH + INSERT ... SELECT (%1 MiB)").arg(mib("floor.sqlite")), sqlitePeer.ms,
        "<= 2x");
    // A spawned program's own peak cannot be told from its parent's by wait4 (the high-water mark
    // of the process before exec counts), so the memory rows stand beside the goal itself.
    const std::vector<double> goal{32.0};
    row(QStringLiteral("CSV: peak memory above the window's own, %1 rows (MiB)").arg(n), csv.peakMb,
        QStringLiteral("the goal: 32 MiB above the window"), goal, "<= 1.0x");
    if (sheetFits)
        row(QStringLiteral("spreadsheet: peak memory above the window's own, %1 rows (MiB)").arg(n), xlsx.peakMb,
            QStringLiteral("the goal: 32 MiB above the window"), goal, "<= 1.0x");
    row(QStringLiteral("desktop database: peak memory above the window's own, %1 rows (MiB)").arg(n), sqlite.peakMb,
        QStringLiteral("the goal: 32 MiB above the window"), goal, "<= 1.0x");
    const std::vector<double> stallGoal{50.0};
    for (const auto &[name, sample] : {std::pair<const char *, const Sample *>{"CSV", &csv}, {"spreadsheet", &xlsx},
                                       {"desktop database", &sqlite}}) {
        if (!sample->stallMs.empty())
            row(QStringLiteral("%1: longest interface-thread stall, %2 rows (ms)").arg(QLatin1String(name), n),
                sample->stallMs, QStringLiteral("the goal: 50 ms"), stallGoal, "<= 1.0x");
    }
    for (const char *name : {"ours.csv", "peer.csv", "ours.xlsx", "floor.xlsx", "ours.sqlite", "floor.sqlite", "export_child.out"})
        QFile::remove(at(name));
    return 0;
}
