// Figures for the data layer against the sqlite3 command-line program, in one run:
//   (a) opening a lazy recordset and reading its first 100 rows, small table and large table;
//   (b) fetching every row of a 1,000,000-row, 8-column table, against `sqlite3 file "SELECT ..."`;
//   (c) bytes held per row against the data's own size.
// The tables are generated once into a temporary folder and reused by later runs.
#include "db/Connection.h"
#include "db/Recordset.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include "BenchRuns.h"
#include "BenchTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

using bench::check;
using bench::DbCloser;
using bench::StmtCloser;

constexpr int kBigRows = 1000000;
constexpr int kSmallRows = 10000;
const char *const kColumns = "id, qty, code, price, weight, name, city, day";

QString prepareData()
{
    return bench::preparedDatabase(QStringLiteral("bench_data.db"),
                                   {{"small", kSmallRows}, {"big", kBigRows}}, 42);
}

// The data's own size: 8 bytes per integer or double, the byte length of each text.
double dataBytesPerRow(const QString &path)
{
    sqlite3 *raw = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), raw);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    sqlite3_stmt *s = nullptr;
    check(sqlite3_prepare_v2(raw, (QByteArray("SELECT ") + kColumns + " FROM big").constData(), -1, &s, nullptr), raw);
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(s);
    double bytes = 0;
    long rows = 0;
    const int cols = sqlite3_column_count(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
        ++rows;
        for (int c = 0; c < cols; ++c) {
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER:
            case SQLITE_FLOAT: bytes += 8; break;
            case SQLITE_NULL: break;
            default: bytes += sqlite3_column_bytes(s, c); break;
            }
        }
    }
    return rows ? bytes / double(rows) : 0;
}

double firstRowsMs(const std::shared_ptr<db::Connection> &conn, const char *table)
{
    std::vector<double> runs;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        auto rs = db::Recordset::create();
        rs->Open(QStringLiteral("SELECT %1 FROM %2").arg(QLatin1String(kColumns), QLatin1String(table)), conn);
        for (std::size_t r = 0; r < 100; ++r) {
            rs->ensureRow(r);
            for (int c = 0; c < rs->FieldCount(); ++c)
                (void)rs->isNull(r, c);
        }
        runs.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return bench::median(runs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString path = prepareData();
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=\"%1\"").arg(path));
    std::printf("data: %s (%s)\n", qPrintable(path), qPrintable(conn->Version()));

    // (a)
    const double small = firstRowsMs(conn, "small");
    const double big = firstRowsMs(conn, "big");
    std::printf("(a) open + first 100 rows, %d-row table: %.3f ms\n", kSmallRows, small);
    std::printf("(a) open + first 100 rows, %d-row table: %.3f ms\n", kBigRows, big);

    // (b)
    const QString sql = QStringLiteral("SELECT %1 FROM big").arg(QLatin1String(kColumns));
    std::vector<double> ours, peer;
    std::size_t bytesHeld = 0;
    long rows = 0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        auto rs = db::Recordset::create();
        rs->Open(sql, conn);
        rs->fetchAll();
        ours.push_back(double(t.nsecsElapsed()) / 1e6);
        bytesHeld = rs->bytesHeld();
        rows = long(rs->fetchedCount());

        QProcess cli;
        cli.setStandardOutputFile(QProcess::nullDevice());
        t.restart();
        cli.start(QStringLiteral("sqlite3"), {path, sql});
        if (!cli.waitForFinished(-1) || cli.exitCode() != 0) {
            std::fprintf(stderr, "sqlite3 failed: %s\n", qPrintable(cli.errorString()));
            return 1;
        }
        peer.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    const double oursMs = bench::median(ours), peerMs = bench::median(peer);
    std::printf("(b) fetch all %ld rows through Recordset: %.1f ms\n", rows, oursMs);
    std::printf("(b) sqlite3 printing the same query to /dev/null: %.1f ms\n", peerMs);
    std::printf("(b) ratio Recordset / sqlite3: %.2f\n", oursMs / peerMs);

    // (c)
    const double held = double(bytesHeld) / double(rows);
    const double data = dataBytesPerRow(path);
    std::printf("(c) bytes held per row: %.1f; data bytes per row: %.1f; ratio %.2f\n", held, data, held / data);
    return 0;
}
