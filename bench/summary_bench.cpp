// The summary view against the same GROUP BY stepped through SQLite's C API, on the
// 1,000,000-row, 8-column table: the view's refresh (statement, rows, subtotals and TOTAL in the
// grid) over the grouped rows stepped, every value read, in alternating runs (ours first), each side's
// minimum and median and the ratio of the medians.
// With a PostgreSQL server in TABULON_TEST_PG (libpq keywords, as scripts/test-postgres gives it),
// the summary of 1,000,000 groups too (Avg of d1 by s1, s2 over 2,000,000 rows made for the run)
// beside one PQexec of that GROUP BY reading every value (3 alternating runs, --pg-runs N).
// Beside each, the longest time the interface thread went without turning its event loop, and for
// the million groups how soon an Escape pressed part-way is answered.
//   bench_summary [--runs N] [--pg-runs N]
#include "hlTabulon/Options.h"

#include "grid/Grid.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QComboBox>

#include "BenchControl.h"
#include "BenchPostgres.h"
#include "BenchRuns.h"
#include "BenchTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kRuns = 7;
constexpr int kPgRuns = 3;

int pgRunsOption(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--pg-runs") == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    return kPgRuns;
}

// The summary of a million groups on PostgreSQL beside libpq fetching its GROUP BY; false when
// the view failed.
bool millionGroups(const QString &conninfo, int runs)
{
    using namespace bench;
    std::unique_ptr<PGconn, PgCloser> admin(PQconnectdb(conninfo.toUtf8().constData()));
    if (PQstatus(admin.get()) != CONNECTION_OK) {
        std::fprintf(stderr, "PostgreSQL not measured: %s\n", PQerrorMessage(admin.get()));
        return true;
    }
    const QByteArray schema = "tabulon_bench_summary_" + QByteArray::number(QCoreApplication::applicationPid());
    std::fprintf(stderr, "preparing the PostgreSQL table ...\n");
    if (!pgExec(admin.get(), "SET client_min_messages TO warning; CREATE SCHEMA " + schema + "; SET search_path TO "
                                 + schema + "; CREATE TABLE g AS SELECT 's' || (i % 1000) AS s1, 's' || (i / 1000 % 1000)"
                                 " AS s2, (i % 977) * 0.25::float8 AS d1 FROM generate_series(0, 1999999) AS i; ANALYZE g"))
        return true;
    bool ok = true;
    {
        auto conn = db::Connection::create();
        conn->Open(connectionString(conninfo, schema));
        const auto tab = shownControl(conn, QStringLiteral("SELECT s1, s2, d1 FROM g"), QStringLiteral("\""));
        ok = tab->showView(hlTabulon::tbViewSummary);
        tab->picker("cboSumCol", 0)->setCurrentText(QStringLiteral("s1"));
        tab->picker("cboSumCol", 1)->setCurrentText(QStringLiteral("s2"));
        tab->picker("cboSumCol", 3)->setCurrentText(QStringLiteral("Avg. of --->>>"));
        tab->picker("cboSumCol", 4)->setCurrentText(QStringLiteral("d1"));
        const QByteArray plain = "SELECT s1, s2, AVG(d1) FROM g GROUP BY s1, s2 ORDER BY s1, s2";
        Runs view, floor, stalls;
        std::size_t groups = 0;
        for (int run = 0; run < runs && ok; ++run) {
            double took = 0, stall = 0;
            ok = watchStalls(
                [&] {
                    QElapsedTimer t;
                    t.start();
                    const bool whole = tab->Refresh();
                    took = ms(t);
                    return whole;
                },
                &stall);
            view.ms.push_back(took);
            stalls.ms.push_back(stall);
            floor.ms.push_back(pqexecEveryValue(admin.get(), plain, &groups));
        }
        if (ok) {
            std::printf("summary view of %zu groups on PostgreSQL beside libpq, %d alternating runs\n", groups, runs);
            std::printf("%-52s min %7.1f ms  median %7.1f ms   libpq min %7.1f  median %7.1f   x%.2f\n",
                        "summary_bench PostgreSQL, 1000000 groups, Avg of d1 by s1, s2", view.min(), view.median(),
                        floor.min(), floor.median(), view.median() / floor.median());
            printBesideGoal("summary_bench PostgreSQL, 1000000 groups: longest interface-thread stall (ms)", stalls,
                            "the goal: 50 ms", 50);
            // Escape at a quarter, half and three quarters of the refresh: the result's wait,
            // its rows, and the grid's filling and totals.
            grid::Grid *const grdSummary = tab->part<grid::Grid>(QStringLiteral("grdSummary"));
            const Runs answered = escapesAnswered([&] { return tab->Refresh(); }, grdSummary, view.median());
            if (!answered.ms.empty())
                printBesideGoal("summary_bench PostgreSQL, 1000000 groups: Escape answered (ms, pressed at 1/4, 1/2, 3/4)",
                                answered, "the goal: 500 ms", 500);
        } else {
            std::printf("the PostgreSQL summary view FAILED\n");
        }
        tab->UnloadFlter();
    }
    pgExec(admin.get(), "DROP SCHEMA " + schema + " CASCADE");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();
    const QString database = bench::gridDatabase();
    const auto conn = bench::openSqlite(database);

    analysis::options().ShowTotals = true;
    const auto tab = bench::shownControl(
        conn, QStringLiteral("SELECT id, qty, code, price, weight, name, city, day FROM big"), QStringLiteral("\""));
    if (!tab->showView(hlTabulon::tbViewSummary)) {
        std::printf("the summary view did not open\n");
        return 1;
    }
    tab->picker("cboSumCol", 0)->setCurrentText(QStringLiteral("city"));
    tab->picker("cboSumCol", 1)->setCurrentText(QStringLiteral("qty"));
    tab->picker("cboSumCol", 3)->setCurrentText(QStringLiteral("Sum of --->>>"));
    tab->picker("cboSumCol", 4)->setCurrentText(QStringLiteral("price"));

    grid::Grid *const grdSummary = tab->part<grid::Grid>(QStringLiteral("grdSummary"));
    const QString plain = QStringLiteral("SELECT city, qty, SUM(price) FROM big GROUP BY city, qty ORDER BY city, qty");
    const int runCount = bench::runsOption(argc, argv, kRuns);
    const bench::ViewBesidePlain runs = bench::viewBesidePlain(database, plain, [&] { return tab->Refresh(); }, runCount);
    std::printf("summary view beside its GROUP BY stepped through SQLite's C API (%zu rows), %d alternating "
                "runs; the view: %d grid rows, %s\n",
                runs.plainRows, runCount, grdSummary->Rows(), runs.ok ? "ok" : "FAILED");
    bench::printBesidePeer("summary_bench summary view, 2 columns, Sum, subtotals and TOTAL", runs.view, runs.plain);
    std::printf("ratio: %.2fx (goal <= 1.2x)\n", runs.view.median() / runs.plain.median());
    bench::printBesideGoal("summary_bench summary view: longest interface-thread stall (ms)", runs.stalls,
                           "the goal: 50 ms", 50);
    tab->UnloadFlter();
    const QString conninfo = qEnvironmentVariable("TABULON_TEST_PG");
    const bool pgOk = conninfo.isEmpty() || millionGroups(conninfo, pgRunsOption(argc, argv));
    return runs.ok && pgOk ? 0 : 1;
}
