// The cross-tab view against its GROUP BY alone, on the 1,000,000-row, 8-column table: two group
// columns with a few hundred keys each (300 by 200), the view's refresh (statement, rows, pivot,
// TOTAL column and row in the grid) over the grouped rows stepped, every value read, in alternating runs
// (ours first), each side's minimum and median and the ratio of the medians; the longest time the
// interface thread went without turning its event loop, and how soon an Escape part-way is answered.
//   bench_xtab [--runs N]      N alternating runs (default 7)
//   bench_xtab --profile N     only N refreshes of the view, for a profiler's eyes
#include "grid/Grid.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QComboBox>

#include "BenchControl.h"
#include "BenchRuns.h"
#include "BenchTable.h"

#include <cstdio>

namespace {

constexpr int kRuns = 7;

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();
    const QString database = bench::gridDatabase();
    const auto conn = bench::openSqlite(database);

    const auto tab = bench::shownControl(conn, QStringLiteral("SELECT qty % 300 AS shelf, code % 200 AS lane, price FROM big"),
                                         QStringLiteral("\""));
    if (!tab->showView(hlTabulon::tbViewXTab)) {
        std::printf("the cross-tab view did not open\n");
        return 1;
    }
    tab->picker("cboXTabCol", 0)->setCurrentText(QStringLiteral("shelf"));
    tab->picker("cboXTabCol", 1)->setCurrentText(QStringLiteral("lane"));
    tab->picker("cboXTabCol", 3)->setCurrentText(QStringLiteral("Sum of --->>>"));
    tab->picker("cboXTabCol", 4)->setCurrentText(QStringLiteral("price"));

    grid::Grid *const grdXTab = tab->part<grid::Grid>(QStringLiteral("grdXTab"));
    const QString plain = QStringLiteral("SELECT shelf, lane, SUM(price) FROM (SELECT qty % 300 AS shelf, code % 200 AS"
                                         " lane, price FROM big) t GROUP BY shelf, lane ORDER BY shelf, lane");
    if (argc == 3 && QByteArray(argv[1]) == "--profile") {
        bool ok = true;
        for (int i = 0, n = QByteArray(argv[2]).toInt(); i < n; ++i)
            ok = tab->Refresh() && ok;
        tab->UnloadFlter();
        return ok ? 0 : 1;
    }
    const int runCount = bench::runsOption(argc, argv, kRuns);
    const bench::ViewBesidePlain runs = bench::viewBesidePlain(database, plain, [&] { return tab->Refresh(); }, runCount);
    std::printf("cross-tab view beside its GROUP BY stepped through SQLite's C API (%zu pairs), %d alternating "
                "runs; the view: %d x %d grid, %s\n",
                runs.plainRows, runCount, grdXTab->Rows(), grdXTab->Cols(), runs.ok ? "ok" : "FAILED");
    bench::printBesidePeer("xtab_bench cross-tab view, Sum, TOTAL column and row", runs.view, runs.plain);
    std::printf("ratio: %.2fx (goal <= 1.2x)\n", runs.view.median() / runs.plain.median());
    bench::printBesideGoal("xtab_bench cross-tab view: longest interface-thread stall (ms)", runs.stalls,
                           "the goal: 50 ms", 50);
    const bench::Runs answered = bench::escapesAnswered([&] { return tab->Refresh(); }, grdXTab, runs.view.median());
    if (!answered.ms.empty())
        bench::printBesideGoal("xtab_bench cross-tab view: Escape answered (ms, pressed at 1/4, 1/2, 3/4)", answered,
                               "the goal: 500 ms", 500);
    tab->UnloadFlter();
    return runs.ok ? 0 : 1;
}
