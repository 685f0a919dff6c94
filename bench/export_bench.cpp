// Figures for the export control on the 1,000,000-row, 8-column table, in one run:
//   (a) the table exported to a delimited text file (comma, headers) against `sqlite3 -csv -header`
//       writing the same table to a file, as a ratio, and the peak memory of each;
//   (b) the same rows to a spreadsheet workbook against (a)'s export, as a ratio, with its peak memory.
// Each export runs in a child process of its own (this program again), so that its peak memory is
// its own; the table is generated once into a temporary folder and reused by later runs.
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

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>


namespace {

constexpr int kRows = 1000000;
const char *const kSelect = "SELECT id, qty, code, price, weight, name, city, day FROM big";

struct Run {
    double ms = 0;      // wall time, as the parent saw it
    long peakKb = 0;    // the child's peak resident memory
    QString output;     // what the child printed
};

// Runs argv with its standard output in `out` and waits; false when it failed.
bool spawn(const std::vector<std::string> &args, const QString &out, Run &run)
{
    return bench::spawn(args, out, run.ms, run.peakKb);
}

// The child: one export of the table through the export control, as a user runs it.
int exportOnce(const QString &database, const QString &destination, const QString &file)
{
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();
    ui::ScriptedPrompts prompts;
    ui::ScriptedDialogs dialogs;
    QElapsedTimer t;
    t.start();
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=\"%1\"").arg(database));
    auto rs = db::Recordset::create();
    rs->Open(QString::fromLatin1(kSelect), conn);
    DataExport control;
    control.ExportName(QStringLiteral("big"));
    control.Data(rs);
    control.show();
    const int option = destination == u"xlsx" ? DataExport::Spreadsheet : DataExport::TextFile;
    control.findChild<QRadioButton *>(QStringLiteral("optDestination%1").arg(option))->click();
    ui::CommonDialog::queueFile(file);
    const bool ok = control.Export_Data();
    std::printf("%.1f\n", double(t.nsecsElapsed()) / 1e6);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0)
        return exportOnce(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));

    const QString database = bench::preparedDatabase(QStringLiteral("bench_data.db"),
                                                     {{"small", 10000}, {"big", kRows}}, 42);
    const QString dir = QFileInfo(database).absolutePath();
    const QString peerCsv = QDir(dir).filePath(QStringLiteral("peer.csv"));
    const QString ourCsv = QDir(dir).filePath(QStringLiteral("ours.csv"));
    const QString ourXlsx = QDir(dir).filePath(QStringLiteral("ours.xlsx"));
    const QString log = QDir(dir).filePath(QStringLiteral("child.out"));
    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    std::printf("data: %s, %d rows\n", qPrintable(database), kRows);

    std::vector<double> peer, ours, xlsx;
    long peerPeak = 0, oursPeak = 0, xlsxPeak = 0;
    auto child = [&](const char *kind, const QString &file, std::vector<double> &times, long &peak) {
        Run run;
        if (!spawn({self, "--child", database.toStdString(), kind, file.toStdString()}, log, run)) {
            std::printf("the %s export failed\n", kind);
            std::exit(1);
        }
        QFile out(log);
        out.open(QIODevice::ReadOnly);
        times.push_back(out.readAll().trimmed().toDouble());
        peak = std::max(peak, run.peakKb);
    };
    for (int i = 0; i < 3; ++i) {
        Run run;
        if (!spawn({"sqlite3", "-csv", "-header", database.toStdString(), kSelect}, peerCsv, run)) {
            std::printf("sqlite3 failed\n");
            return 1;
        }
        peer.push_back(run.ms);
        peerPeak = std::max(peerPeak, run.peakKb);
        child("csv", ourCsv, ours, oursPeak);
        child("xlsx", ourXlsx, xlsx, xlsxPeak);
    }
    const double p = bench::median(peer), o = bench::median(ours), x = bench::median(xlsx);
    std::printf("(a) CSV export, %d rows: ours %.0f ms (file %.1f MB), sqlite3 -csv %.0f ms (file %.1f MB): "
                "ratio %.2fx (goal <= 1.0x)\n",
                kRows, o, double(QFileInfo(ourCsv).size()) / 1e6, p, double(QFileInfo(peerCsv).size()) / 1e6, o / p);
    std::printf("(a) peak memory: ours %.1f MB, sqlite3 %.1f MB\n", double(oursPeak) / 1024, double(peerPeak) / 1024);
    std::printf("(b) spreadsheet export, %d rows: %.0f ms (file %.1f MB), %.2fx the CSV export; peak memory %.1f MB\n",
                kRows, x, double(QFileInfo(ourXlsx).size()) / 1e6, x / o, double(xlsxPeak) / 1024);
    QFile::remove(peerCsv);
    QFile::remove(ourCsv);
    QFile::remove(ourXlsx);
    QFile::remove(log);
    return 0;
}
