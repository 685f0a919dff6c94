// The row store and its writers beside their peers, in one run, as a Markdown table:
//   full fetch reading every value (against stepping the rows through SQLite's C API, the floor,
//   and `sqlite3 -csv` to /dev/null), the bytes held against the data's own size, copying every
//   row to the clipboard, SaveGrid and the XML document (against `sqlite3 -csv > file`, time and
//   peak memory), and the in-memory text sort (against SQLite's ORDER BY over the same rows).
// Each figure is the minimum and median of alternating runs of ours and the peer.
//   bench_store [--runs N] [--rows N,N,...] [--fetch-only] [--pg-rows N,N,...]
//   (rows default 10000,100000,1000000,10000000; --fetch-only leaves out the writers and the sort)
// With a PostgreSQL server in TABULON_TEST_PG (libpq keywords, as scripts/test-postgres gives it),
// the full fetch is measured there too, against one PQexec reading every value (default sizes
// 10000,100000,1000000).
// The 8-column table (integers, reals, texts, a date, 5-25 % Nulls per column) is generated once
// into the temporary folder and reused.
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/hlTabulon.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSysInfo>

#include "BenchControl.h"
#include "BenchPostgres.h"
#include "BenchRuns.h"
#include "BenchTable.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>


namespace {

using bench::check;
using bench::DbCloser;
using bench::spawn;
using bench::StmtCloser;

const char *const kColumns = "id, qty, code, price, weight, name, city, day";

using bench::BenchTabulon;
using bench::ms;

struct Stats {
    double min = 0, median = 0;
};

Stats stats(const std::vector<double> &v)
{
    return {*std::min_element(v.begin(), v.end()), bench::median(v)};
}

QString prepareData(const std::vector<int> &sizes)
{
    QString name = QStringLiteral("bench_store");
    std::vector<bench::TableSpec> tables;
    for (int n : sizes) {
        name += QStringLiteral("_%1").arg(n);
        tables.push_back({QStringLiteral("t%1").arg(n).toStdString(), n});
    }
    return bench::preparedDatabase(name + QStringLiteral(".db"), tables, 42, true);
}

// Steps every row through the C API reading every value as its type says; returns the data's
// own size (8 bytes a number, a text's bytes, nothing for a Null).
double cApiFloor(const QString &path, const QByteArray &sql, double *dataBytes)
{
    sqlite3 *raw = nullptr;
    check(sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), raw);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *s = nullptr;
    check(sqlite3_prepare_v2(raw, sql.constData(), -1, &s, nullptr), raw);
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(s);
    const int cols = sqlite3_column_count(s);
    double bytes = 0;
    std::uint64_t sink = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < cols; ++c) {
            switch (sqlite3_column_type(s, c)) {
            case SQLITE_INTEGER: sink += std::uint64_t(sqlite3_column_int64(s, c)); bytes += 8; break;
            case SQLITE_FLOAT: sink += std::uint64_t(sqlite3_column_double(s, c)); bytes += 8; break;
            case SQLITE_NULL: break;
            default: {
                const unsigned char *p = sqlite3_column_text(s, c);
                const int n = sqlite3_column_bytes(s, c);
                sink += n > 0 ? p[0] : 0;
                bytes += n;
                break;
            }
            }
        }
    }
    const double elapsed = ms(t);
    if (dataBytes)
        *dataBytes = bytes;
    if (sink == 42)
        std::fprintf(stderr, " ");
    return elapsed;
}

// Peak memory the operation added to the process (the kernel's high-water mark reset first).
double addedPeakMb(const std::function<void()> &op)
{
    malloc_trim(0); // memory freed before is given back, so that what the operation takes shows
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
    }
    const long before = bench::statusKb("VmRSS:");
    op();
    return double(bench::statusKb("VmHWM:") - before) / 1024;
}

// Every value of a recordset's rows read from its row store, as a caller that formats or compares
// them would; returns something the compiler cannot drop.
std::uint64_t readEveryValue(const db::RowStore &s)
{
    std::uint64_t sink = 0;
    for (std::size_t r = 0; r < s.rowCount(); ++r) {
        for (int c = 0; c < s.columnCount(); ++c) {
            if (s.isNull(r, c))
                continue;
            switch (db::storageOf(s.fields()[std::size_t(c)].Type)) {
            case db::Storage::Int64: sink += std::uint64_t(s.int64(r, c)); break;
            case db::Storage::Double: sink += std::uint64_t(s.real(r, c)); break;
            default: {
                std::size_t len = 0;
                const char *p = s.bytes(r, c, &len);
                sink += len ? std::uint64_t(p[0]) : 0;
            }
            }
        }
    }
    return sink;
}

// A recordset opened and fetched to the end, every value then read; its time in ms.
double fullFetch(const std::shared_ptr<db::Connection> &conn, const QString &sql, double *heldBytes)
{
    QElapsedTimer t;
    t.start();
    auto rs = db::Recordset::create();
    rs->Open(sql, conn);
    rs->fetchAll();
    const std::uint64_t sink = readEveryValue(*rs->store());
    const double elapsed = ms(t);
    if (sink == 42)
        std::fprintf(stderr, " ");
    if (heldBytes)
        *heldBytes = double(rs->bytesHeld());
    return elapsed;
}

// What the process grew by from before a results window was made on `sql` until it holds every
// row (moved to the last, the event loop settled), in bytes.
double windowBytes(const std::shared_ptr<db::Connection> &conn, const QString &sql)
{
    malloc_trim(0);
    const long before = bench::statusKb("VmRSS:");
    long after = before;
    {
        BenchTabulon tab;
        tab.SQL(sql);
        tab.adoConnection(conn);
        tab.resize(1200, 800);
        tab.show();
        QCoreApplication::processEvents();
        if (!tab.Refresh_Results(false, false, false) || !tab.Move_Record(false)) {
            std::fprintf(stderr, "the results did not open\n");
            std::exit(1);
        }
        bench::settle(tab.grdResults->view()->viewport());
        malloc_trim(0);
        after = bench::statusKb("VmRSS:");
        tab.UnloadFlter();
    }
    return double(after - before) * 1024;
}

// --- PostgreSQL ---

using bench::PgCloser;
using bench::ResCloser;
using bench::pgExec;

// One PQexec of the statement, every value then read from its result: libpq's own way to all rows.
double pqexecFloor(PGconn *c, const QByteArray &sql)
{
    QElapsedTimer t;
    t.start();
    std::unique_ptr<PGresult, ResCloser> r(PQexec(c, sql.constData()));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "postgres: %s\n", PQerrorMessage(c));
        std::exit(1);
    }
    const int rows = PQntuples(r.get());
    const int cols = PQnfields(r.get());
    std::uint64_t sink = 0;
    for (int i = 0; i < rows; ++i) {
        for (int k = 0; k < cols; ++k) {
            if (!PQgetisnull(r.get(), i, k))
                sink += std::uint64_t(PQgetvalue(r.get(), i, k)[0]) + std::uint64_t(PQgetlength(r.get(), i, k));
        }
    }
    const double elapsed = ms(t);
    if (sink == 42)
        std::fprintf(stderr, " ");
    return elapsed;
}

// The 8-column table in a schema of its own on the server: the SQLite table's types and share of
// Nulls, values from the row number.
QByteArray pgTable(int rows)
{
    const auto nulled = [](const char *expr, int salt, int percent) {
        return QByteArray("CASE WHEN (i * 2654435761 + ") + QByteArray::number(salt * 40503) + ") % 100 < "
            + QByteArray::number(percent) + " THEN NULL ELSE " + expr + " END";
    };
    return QByteArray("CREATE TABLE t") + QByteArray::number(rows) + " AS SELECT i AS id, "
        + nulled("(i * 7919) % 1000", 1, 5) + " AS qty, " + nulled("(i * 104729) % 100000000", 2, 10) + " AS code, "
        + nulled("((i * 31) % 100000) / 100.0::double precision", 3, 15) + " AS price, "
        + nulled("((i * 13) % 1000000) / 7.0::double precision", 4, 20) + " AS weight, "
        + nulled("CASE WHEN i % 2 = 0 THEN 'customer ' ELSE 'Customer ' END || (i * 17) % 1000000", 5, 25) + " AS name, "
        + nulled("((ARRAY['Lisboa','Oslo','Kraków','São Paulo','Reykjavík','Nairobi','Zürich'])[i % 7 + 1])::varchar(30)", 6, 12)
        + " AS city, " + nulled("DATE '2000-01-01' + (i % 9000)::int", 7, 8) + " AS day FROM generate_series(1::bigint, "
        + QByteArray::number(rows) + ") AS i";
}

struct Row {
    QString figure;
    Stats ours, peer;
    QString peerName;
    QString goal;
    QString note;
};

std::vector<Row> g_rows;

void add(const QString &figure, const std::vector<double> &ours, const QString &peerName, const std::vector<double> &peer,
         const QString &goal, const QString &note = {})
{
    g_rows.push_back({figure, stats(ours), stats(peer), peerName, goal, note});
}

QString machine()
{
    QString cpu;
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith("model name")) {
                cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
                break;
            }
        }
    }
    QString load;
    QFile l(QStringLiteral("/proc/loadavg"));
    if (l.open(QIODevice::ReadOnly))
        load = QString::fromUtf8(l.readAll()).section(u' ', 0, 2);
    return QStringLiteral("%1, %2 cores, %3; SQLite %4, Qt %5; load average %6")
        .arg(cpu)
        .arg(sysconf(_SC_NPROCESSORS_ONLN))
        .arg(QSysInfo::prettyProductName(), QString::fromLatin1(sqlite3_libversion()), QString::fromLatin1(qVersion()), load);
}

void printTable(int runs, const QString &startMachine)
{
    std::printf("| figure | ours: min / median | peer | peer: min / median | ratio of medians | goal |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row &r : g_rows) {
        std::printf("| %s | %.1f / %.1f | %s | %.1f / %.1f | %.2fx | %s |\n", qPrintable(r.figure), r.ours.min, r.ours.median,
                    qPrintable(r.peerName), r.peer.min, r.peer.median, r.peer.median > 0 ? r.ours.median / r.peer.median : 0.0,
                    qPrintable(r.goal));
    }
    std::printf("\nTimes in ms unless the figure says MiB; %d alternating runs each.\n", runs);
    std::printf("Machine at the start: %s.\n", qPrintable(startMachine));
    std::printf("Machine at the end: %s.\n", qPrintable(machine()));
}

// The full fetch on PostgreSQL at each size, against one PQexec reading every value, on tables made
// for the run and dropped after it.
void postgresFetch(const QString &conninfo, const std::vector<int> &sizes, int runs)
{
    std::unique_ptr<PGconn, PgCloser> admin(PQconnectdb(conninfo.toUtf8().constData()));
    if (PQstatus(admin.get()) != CONNECTION_OK) {
        std::fprintf(stderr, "PostgreSQL not measured: %s\n", PQerrorMessage(admin.get()));
        return;
    }
    const QByteArray schema = "tabulon_bench_store_" + QByteArray::number(QCoreApplication::applicationPid());
    QByteArray make = "SET client_min_messages TO warning; CREATE SCHEMA " + schema + "; SET search_path TO " + schema + ";";
    for (int n : sizes)
        make += pgTable(n) + "; ANALYZE t" + QByteArray::number(n) + ";";
    std::fprintf(stderr, "preparing the PostgreSQL tables ...\n");
    if (!pgExec(admin.get(), make))
        return;
    {
        auto conn = db::Connection::create();
        conn->Open(bench::connectionString(conninfo, schema));
        // Recordsets take their client connection from the data source's idle ones, as PQexec
        // uses one made before: the first is made here, untimed.
        fullFetch(conn, QStringLiteral("SELECT 1"), nullptr);
        for (int n : sizes) {
            const QString sql = QStringLiteral("SELECT %1 FROM t%2").arg(QLatin1String(kColumns)).arg(n);
            std::vector<double> ours, floor;
            for (int i = 0; i < runs; ++i) {
                floor.push_back(pqexecFloor(admin.get(), sql.toUtf8()));
                ours.push_back(fullFetch(conn, sql, nullptr));
            }
            add(QStringLiteral("Full fetch reading every value, PostgreSQL, %1 rows").arg(n), ours,
                QStringLiteral("libpq: one `PQexec`, every value read"), floor, QStringLiteral("<= 1.2x"));
        }
    }
    pgExec(admin.get(), "DROP SCHEMA " + schema + " CASCADE");
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const settings::ScopedSettingsStore settingsStore = settings::SettingsStore::useMemory();
    int runs = 5;
    std::vector<int> sizes = {10000, 100000, 1000000, 10000000};
    std::vector<int> pgSizes = {10000, 100000, 1000000};
    bool fetchOnly = false;
    bool windowOnly = false;
    const auto sizeList = [](const char *arg) {
        std::vector<int> list;
        for (const QByteArray &n : QByteArray(arg).split(','))
            list.push_back(n.toInt());
        return list;
    };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fetch-only") == 0)
            fetchOnly = true;
        else if (std::strcmp(argv[i], "--window-only") == 0)
            windowOnly = true;
        else if (i + 1 < argc && std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (i + 1 < argc && std::strcmp(argv[i], "--rows") == 0)
            sizes = sizeList(argv[++i]);
        else if (i + 1 < argc && std::strcmp(argv[i], "--pg-rows") == 0)
            pgSizes = sizeList(argv[++i]);
    }
    const QString path = prepareData(sizes);
    const QString startMachine = machine();
    const QString dir = QFileInfo(path).absolutePath();
    const QString peerFile = QDir(dir).filePath(QStringLiteral("peer.csv"));
    // The writers and the sort work on the 1,000,000-row table (or the largest below it).
    int big = sizes.front();
    for (int n : sizes)
        big = n <= 1000000 ? std::max(big, n) : big;
    const QString bigTable = QStringLiteral("t%1").arg(big);
    auto select = [](const QString &table) { return QStringLiteral("SELECT %1 FROM %2").arg(QLatin1String(kColumns), table); };

    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=\"%1\"").arg(path));

    // --- the window holding every row of the largest table, beside the data's own size ---
    double dataBytes = 0;
    {
        const QString sql = select(QStringLiteral("t%1").arg(sizes.back()));
        cApiFloor(path, sql.toUtf8(), &dataBytes);
        const double held = windowBytes(conn, sql);
        g_rows.push_back({QStringLiteral("Window holding %1 rows (MiB)").arg(sizes.back()), {held / 1048576, held / 1048576},
                          {dataBytes / 1048576, dataBytes / 1048576}, QStringLiteral("the data's own size"),
                          QStringLiteral("<= 1.25x"), {}});
        if (windowOnly) {
            printTable(1, startMachine);
            return 0;
        }
    }

    // --- full fetch reading every value, at each size ---
    double heldBytes = 0;
    for (int n : sizes) {
        const QString table = QStringLiteral("t%1").arg(n);
        const QString sql = select(table);
        std::vector<double> ours, floor, cli;
        for (int i = 0; i < runs; ++i) {
            floor.push_back(cApiFloor(path, sql.toUtf8(), n == sizes.back() ? &dataBytes : nullptr));
            ours.push_back(fullFetch(conn, sql, n == sizes.back() ? &heldBytes : nullptr));
            double cliMs = 0;
            long peak = 0;
            if (!spawn({"sqlite3", "-csv", path.toStdString(), sql.toStdString()}, QStringLiteral("/dev/null"), cliMs, peak)) {
                std::fprintf(stderr, "sqlite3 failed\n");
                return 1;
            }
            cli.push_back(cliMs);
        }
        add(QStringLiteral("Full fetch reading every value, %1 rows").arg(n), ours, QStringLiteral("C API step + read"), floor,
            QStringLiteral("<= 1.5x"));
        add(QStringLiteral("Full fetch reading every value, %1 rows").arg(n), ours, QStringLiteral("`sqlite3 -csv` > /dev/null"),
            cli, QStringLiteral("< 1.0x"));
    }
    g_rows.push_back({QStringLiteral("Bytes held, %1 rows (MiB)").arg(sizes.back()), {heldBytes / 1048576, heldBytes / 1048576},
                      {dataBytes / 1048576, dataBytes / 1048576}, QStringLiteral("the data's own size"),
                      QStringLiteral("<= 1.2x"), {}});

    const QString conninfo = qEnvironmentVariable("TABULON_TEST_PG");
    if (!conninfo.isEmpty() && !pgSizes.empty())
        postgresFetch(conninfo, pgSizes, runs);
    if (fetchOnly) {
        printTable(runs, startMachine);
        return 0;
    }

    // --- writers, from a results grid holding every row ---
    BenchTabulon tab;
    tab.SQL(select(bigTable));
    tab.adoConnection(conn);
    tab.resize(1200, 800);
    tab.show();
    QCoreApplication::processEvents();
    if (!tab.Refresh_Results(false, false, false) || !tab.Move_Record(false)) {
        std::fprintf(stderr, "the results did not open\n");
        return 1;
    }
    grid::Grid &g = *tab.grdResults;
    const QString gridFile = QDir(dir).filePath(QStringLiteral("ours.grd"));
    const QString xmlFile = QDir(dir).filePath(QStringLiteral("ours.xml"));
    std::vector<double> selectMs, copyMs, saveMs, xmlMs, peerMs, copyPeak, savePeak, xmlPeak;
    double copyBytes = 0;
    for (int i = 0; i < runs; ++i) {
        double peer = 0;
        long peak = 0;
        if (!spawn({"sqlite3", "-csv", path.toStdString(), select(bigTable).toStdString()}, peerFile, peer, peak)) {
            std::fprintf(stderr, "sqlite3 failed\n");
            return 1;
        }
        peerMs.push_back(peer);
        QApplication::clipboard()->clear();
        g.setFocus();
        QCoreApplication::processEvents();
        QElapsedTimer select;
        select.start();
        if (!tab.Select_All())
            std::fprintf(stderr, "select all failed\n");
        selectMs.push_back(ms(select));
        copyPeak.push_back(addedPeakMb([&] {
            QElapsedTimer t;
            t.start();
            if (!tab.Copy_Sel(false))
                std::fprintf(stderr, "copy failed\n");
            copyMs.push_back(ms(t));
        }));
        copyBytes = double(QApplication::clipboard()->mimeData()->data(QStringLiteral("text/plain")).size());
        savePeak.push_back(addedPeakMb([&] {
            QElapsedTimer t;
            t.start();
            g.SaveGrid(gridFile);
            saveMs.push_back(ms(t));
        }));
        xmlPeak.push_back(addedPeakMb([&] {
            QElapsedTimer t;
            t.start();
            tab.grdResults->DataSource()->Save(xmlFile);
            xmlMs.push_back(ms(t));
        }));
    }
    const double peerMb = double(QFileInfo(peerFile).size()) / 1048576;
    const double gridMb = double(QFileInfo(gridFile).size()) / 1048576;
    const double xmlMb = double(QFileInfo(xmlFile).size()) / 1048576;
    const QString cliName = QStringLiteral("`sqlite3 -csv` > file (%1 MiB)").arg(peerMb, 0, 'f', 1);
    add(QStringLiteral("Copy of all %1 rows to the clipboard (after Select All: %2 ms)").arg(big).arg(stats(selectMs).median, 0, 'f', 1),
        copyMs, cliName, peerMs, QStringLiteral("<= 1.0x"));
    add(QStringLiteral("Copy: peak memory added (MiB)"), copyPeak, QStringLiteral("the copied text (%1 MiB)").arg(copyBytes / 1048576, 0, 'f', 1),
        std::vector<double>(std::size_t(runs), copyBytes / 1048576), QStringLiteral("<= 2x"));
    add(QStringLiteral("SaveGrid of %1 rows").arg(big), saveMs, cliName, peerMs, QStringLiteral("<= 1.0x"));
    add(QStringLiteral("SaveGrid: peak memory added (MiB)"), savePeak, QStringLiteral("the file (%1 MiB)").arg(gridMb, 0, 'f', 1),
        std::vector<double>(std::size_t(runs), gridMb), QStringLiteral("<= 2x"));
    add(QStringLiteral("XML document of %1 rows").arg(big), xmlMs, cliName, peerMs, QStringLiteral("(not set)"));
    add(QStringLiteral("XML document: peak memory added (MiB)"), xmlPeak, QStringLiteral("the file (%1 MiB)").arg(xmlMb, 0, 'f', 1),
        std::vector<double>(std::size_t(runs), xmlMb), QStringLiteral("<= 2x"));
    QFile::remove(gridFile);
    QFile::remove(xmlFile);
    QFile::remove(peerFile);

    // --- in-memory sort of a text column against SQLite's ORDER BY over the same rows ---
    {
        auto rows = tab.grdResults->DataSource()->Clone();
        std::vector<double> ours, peer, whole;
        const QByteArray sorted = QStringLiteral("SELECT %1 FROM %2 ORDER BY name COLLATE NOCASE").arg(QLatin1String(kColumns), bigTable).toUtf8();
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer t;
            t.start();
            rows->setSort(QStringLiteral("name"));
            ours.push_back(ms(t));
            rows->setSort(QString());
            const double floorMs = cApiFloor(path, select(bigTable).toUtf8(), nullptr);
            whole.push_back(cApiFloor(path, sorted, nullptr));
            peer.push_back(whole.back() - floorMs);
        }
        add(QStringLiteral("In-memory text sort, %1 rows").arg(big), ours,
            QStringLiteral("SQLite: the same rows stepped with ORDER BY name COLLATE NOCASE"), whole, QStringLiteral("<= 1.2x"));
        add(QStringLiteral("In-memory text sort, %1 rows").arg(big), ours,
            QStringLiteral("SQLite: that ORDER BY less the same rows stepped unsorted"), peer, QStringLiteral("(stricter)"));
    }
    tab.UnloadFlter();

    printTable(runs, startMachine);
    return 0;
}
