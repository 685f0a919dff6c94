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

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kBigRows = 1000000;
constexpr int kSmallRows = 10000;
const char *const kColumns = "id, qty, code, price, weight, name, city, day";

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct StmtCloser {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void fill(sqlite3 *db, const char *table, int rows)
{
    const QByteArray create = QByteArray("CREATE TABLE ") + table
        + "(id INTEGER PRIMARY KEY, qty INTEGER, code INTEGER, price REAL, weight DOUBLE, name TEXT, "
          "city VARCHAR(30), day DATE)";
    check(sqlite3_exec(db, create.constData(), nullptr, nullptr, nullptr), db);
    sqlite3_stmt *raw = nullptr;
    const QByteArray insert = QByteArray("INSERT INTO ") + table + " VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
    check(sqlite3_prepare_v2(db, insert.constData(), -1, &raw, nullptr), db);
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(raw);
    static const char *const cities[] = {"Lisboa", "Oslo", "Kraków", "São Paulo", "Reykjavík", "Nairobi", "Zürich"};
    std::mt19937_64 rnd(42);
    char name[32];
    char day[16];
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int64(raw, 1, i);
        sqlite3_bind_int64(raw, 2, std::int64_t(rnd() % 1000));
        sqlite3_bind_int64(raw, 3, std::int64_t(rnd() % 100000000));
        sqlite3_bind_double(raw, 4, double(rnd() % 100000) / 100.0);
        sqlite3_bind_double(raw, 5, double(rnd() % 1000000) / 7.0);
        const int len = std::snprintf(name, sizeof name, "customer %llu", static_cast<unsigned long long>(rnd() % 1000000));
        sqlite3_bind_text(raw, 6, name, len, SQLITE_TRANSIENT);
        sqlite3_bind_text(raw, 7, cities[rnd() % 7], -1, SQLITE_STATIC);
        const int dlen = std::snprintf(day, sizeof day, "20%02d-%02d-%02d", int(rnd() % 25), int(rnd() % 12 + 1),
                                       int(rnd() % 28 + 1));
        sqlite3_bind_text(raw, 8, day, dlen, SQLITE_TRANSIENT);
        check(sqlite3_step(raw), db);
        sqlite3_reset(raw);
    }
}

QString prepareData()
{
    const QString dir = QDir::temp().filePath(QStringLiteral("tabulon-bench"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("bench_data.db"));
    if (QFile::exists(path))
        return path;
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    std::printf("generating %s ...\n", qPrintable(path));
    sqlite3 *raw = nullptr;
    check(sqlite3_open(partial.toUtf8().constData(), &raw), raw);
    {
        std::unique_ptr<sqlite3, DbCloser> db(raw);
        check(sqlite3_exec(raw, "PRAGMA journal_mode = OFF; BEGIN", nullptr, nullptr, nullptr), raw);
        fill(raw, "small", kSmallRows);
        fill(raw, "big", kBigRows);
        check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
    }
    QFile::rename(partial, path);
    return path;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    return median(runs);
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
    const double oursMs = median(ours), peerMs = median(peer);
    std::printf("(b) fetch all %ld rows through Recordset: %.1f ms\n", rows, oursMs);
    std::printf("(b) sqlite3 printing the same query to /dev/null: %.1f ms\n", peerMs);
    std::printf("(b) ratio Recordset / sqlite3: %.2f\n", oursMs / peerMs);

    // (c)
    const double held = double(bytesHeld) / double(rows);
    const double data = dataBytesPerRow(path);
    std::printf("(c) bytes held per row: %.1f; data bytes per row: %.1f; ratio %.2f\n", held, data, held / data);
    return 0;
}
