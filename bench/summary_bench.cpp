// The summary view against the same GROUP BY run straight through the data layer, on the
// 1,000,000-row, 8-column table: the view's refresh (statement, rows, subtotals and TOTAL in the
// grid) over the bare fetch of the grouped rows, in alternating runs (ours first), each side's
// minimum and median and the ratio of the medians.
//   bench_summary [--runs N]   N alternating runs (default 7)
#include "hlTabulon/Options.h"

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
    const auto conn = bench::openSqlite(bench::gridDatabase());

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
    const bench::ViewBesidePlain runs = bench::viewBesidePlain(conn, plain, [&] { return tab->Refresh(); }, runCount);
    std::printf("summary view beside its GROUP BY fetched whole through the data layer (%zu rows), %d alternating "
                "runs; the view: %d grid rows, %s\n",
                runs.plainRows, runCount, grdSummary->Rows(), runs.ok ? "ok" : "FAILED");
    bench::printBesidePeer("summary_bench summary view, 2 columns, Sum, subtotals and TOTAL", runs.view, runs.plain);
    std::printf("ratio: %.2fx (goal <= 1.2x)\n", runs.view.median() / runs.plain.median());
    tab->UnloadFlter();
    return runs.ok ? 0 : 1;
}
