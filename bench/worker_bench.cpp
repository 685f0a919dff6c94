// Figures for database work off the user interface thread, on a 1,000,000-row, 8-column table, on
// SQLite and (when a server is given) PostgreSQL, each beside the client library's own time in the
// same run:
//   (a) the first screen (128 rows) of a second table opened on a data source already in use (on
//       PostgreSQL also beside libpq's own BEGIN + DECLARE + FETCH on a connection it keeps);
//   (b) the longest time the event loop went without turning while every row was fetched.
// PostgreSQL: pass libpq keywords as the first argument or in TABULON_TEST_PG ("host=... dbname=...").
#include "db/Connection.h"
#include "db/Recordset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "BenchPostgres.h"
#include "BenchRuns.h"
#include "BenchTable.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kRows = 1000000;
constexpr int kScreen = 128; // the first chunk a recordset reads
const char *const kColumns = "id, qty, code, price, weight, name, city, day";

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// The median of five runs of f, in milliseconds.
double timed(const std::function<void()> &f)
{
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        runs.push_back(ms(t.nsecsElapsed()));
    }
    return bench::median(runs);
}

struct Gap {
    double total = 0;
    double longest = 0;
    long rows = 0;
};

// Runs f while a 1 ms timer measures the longest pause of the event loop.
Gap withLoopGaps(const std::function<void()> &f)
{
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.nsecsElapsed()); sinceTick.restart(); });
    tick.start(1);
    QElapsedTimer total;
    total.start();
    sinceTick.start();
    f();
    longest = std::max(longest, sinceTick.nsecsElapsed());
    return {ms(total.nsecsElapsed()), ms(longest), 0};
}

// Every row of sql through a recordset's worker, the event loop's longest pause measured meanwhile.
Gap fullFetch(const std::shared_ptr<db::Connection> &conn, const QString &sql)
{
    auto rs = db::Recordset::create();
    rs->Open(sql, conn);
    Gap gap = withLoopGaps([&] { rs->fetchAll(); });
    gap.rows = long(rs->fetchedCount());
    return gap;
}

void report(const char *provider, double firstScreen, double peerScreen, const char *peer, const Gap &fetch,
            double peerAll)
{
    std::printf("%s\n", provider);
    std::printf("  first screen of a second table (%d rows): %7.2f ms   (%s alone: %.2f ms; goal <= 20 ms)\n", kScreen,
                firstScreen, peer, peerScreen);
    std::printf("  every row (%ld) through the worker:       %7.1f ms   (%s alone: %.1f ms)\n", fetch.rows, fetch.total, peer,
                peerAll);
    std::printf("  longest event-loop gap during that fetch:  %7.2f ms   (goal <= 50 ms)\n", fetch.longest);
}

// --- SQLite ---

void sqliteFigures()
{
    const QString path = bench::preparedDatabase(QStringLiteral("bench_worker.db"), {{"big", kRows}, {"big2", kRows}}, 11);
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(path));
    // The data source is in use: one table is open already.
    auto first = db::Recordset::create();
    first->Open(QStringLiteral("SELECT %1 FROM big").arg(QLatin1String(kColumns)), conn);

    const QString second = QStringLiteral("SELECT %1 FROM big2").arg(QLatin1String(kColumns));
    const double screen = timed([&] {
        auto rs = db::Recordset::create();
        rs->Open(second, conn);
    });

    sqlite3 *raw = nullptr;
    bench::check(sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), raw);
    std::unique_ptr<sqlite3, bench::DbCloser> lite(raw);
    const QByteArray sql = second.toUtf8();
    auto stepRows = [&](int limit) {
        sqlite3_stmt *s = nullptr;
        bench::check(sqlite3_prepare_v2(raw, sql.constData(), -1, &s, nullptr), raw);
        std::unique_ptr<sqlite3_stmt, bench::StmtCloser> stmt(s);
        long n = 0;
        while ((limit < 0 || n < limit) && sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < 8; ++c)
                sqlite3_column_text(s, c);
            ++n;
        }
        return n;
    };
    const double peerScreen = timed([&] { stepRows(kScreen); });

    const Gap fetch = fullFetch(conn, second);
    QElapsedTimer t;
    t.start();
    stepRows(-1);
    report("SQLite", screen, peerScreen, "sqlite3", fetch, ms(t.nsecsElapsed()));
}

// --- PostgreSQL ---

using bench::PgCloser;
using bench::pgExec;

void postgresFigures(const QString &conninfo)
{
    std::unique_ptr<PGconn, PgCloser> admin(PQconnectdb(conninfo.toUtf8().constData()));
    if (PQstatus(admin.get()) != CONNECTION_OK) {
        std::printf("PostgreSQL: not measured (%s)\n", PQerrorMessage(admin.get()));
        return;
    }
    const QByteArray schema = QStringLiteral("tabulon_bench_%1").arg(QCoreApplication::applicationPid()).toUtf8();
    std::printf("preparing the PostgreSQL tables ...\n");
    const QByteArray make = "SET client_min_messages TO warning; CREATE SCHEMA " + schema + "; SET search_path TO " + schema
        + "; CREATE TABLE big AS SELECT i AS id, (i * 7919::bigint) % 1000 AS qty, (i * 104729::bigint) % 100000000 AS code, "
          "((i * 31::bigint) % 100000) / 100.0::double precision AS price, ((i * 13::bigint) % 1000000) / 7.0::double precision AS weight, "
          "'customer ' || (i * 17::bigint) % 1000000 AS name, (ARRAY['Lisboa','Oslo','Kraków','São Paulo','Reykjavík','Nairobi',"
          "'Zürich'])[i % 7 + 1]::varchar(30) AS city, DATE '2000-01-01' + i % 9000 AS day "
          "FROM generate_series(1, 1000000) AS i; CREATE TABLE big2 AS SELECT * FROM big; ANALYZE big; ANALYZE big2";
    if (!pgExec(admin.get(), make))
        return;

    const QString cs = bench::connectionString(conninfo, schema);
    {
        auto conn = db::Connection::create();
        conn->Open(cs);
        auto first = db::Recordset::create();
        first->Open(QStringLiteral("SELECT %1 FROM big").arg(QLatin1String(kColumns)), conn);
        const QString second = QStringLiteral("SELECT %1 FROM big2").arg(QLatin1String(kColumns));
        // The first opening of a second table connects its cursor; later ones find it idle.
        {
            auto warm = db::Recordset::create();
            warm->Open(second, conn);
        }
        pgExec(admin.get(), "SET search_path TO " + schema);
        const QByteArray limited = (second + QStringLiteral(" LIMIT %1").arg(kScreen)).toUtf8();
        const double peerScreen = timed([&] { pgExec(admin.get(), limited); });
        // libpq's own way to those rows on a connection it keeps: a transaction, a cursor, one
        // fetch; in alternating runs with ours.
        const QByteArray declare = "DECLARE peer NO SCROLL CURSOR FOR " + second.toUtf8();
        const QByteArray fetch = QByteArray("FETCH FORWARD ") + QByteArray::number(kScreen) + " FROM peer";
        bench::Runs ours, cursor;
        for (int i = 0; i < 7; ++i) {
            QElapsedTimer t;
            t.start();
            {
                auto rs = db::Recordset::create();
                rs->Open(second, conn);
                ours.ms.push_back(ms(t.nsecsElapsed()));
            }
            t.restart();
            pgExec(admin.get(), "BEGIN READ ONLY");
            pgExec(admin.get(), declare);
            pgExec(admin.get(), fetch);
            cursor.ms.push_back(ms(t.nsecsElapsed()));
            pgExec(admin.get(), "COMMIT");
        }
        const double screen = ours.median();
        const std::vector<double> cursorRuns = cursor.ms;

        const Gap all = fullFetch(conn, second);
        QElapsedTimer t;
        t.start();
        pgExec(admin.get(), second.toUtf8());
        report("PostgreSQL", screen, peerScreen, "libpq", all, ms(t.nsecsElapsed()));
        std::printf("  libpq's BEGIN + DECLARE + FETCH %d on a kept connection: %.2f ms (first screen %.2fx that)\n",
                    kScreen, bench::median(cursorRuns), screen / bench::median(cursorRuns));
        bench::printBesideFloor("worker_bench PostgreSQL first screen", ours, cursor);
    }
    pgExec(admin.get(), "DROP SCHEMA " + schema + " CASCADE");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    sqliteFigures();
    const QString conninfo = argc > 1 ? QString::fromLocal8Bit(argv[1]) : qEnvironmentVariable("TABULON_TEST_PG");
    if (conninfo.isEmpty())
        std::printf("PostgreSQL: not measured (give libpq keywords as the argument or in TABULON_TEST_PG)\n");
    else
        postgresFigures(conninfo);
    return 0;
}
