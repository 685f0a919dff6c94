// The cross-tab view against its GROUP BY alone, on the 1,000,000-row, 8-column table: two group
// columns with a few hundred keys each (300 by 200), the view's refresh (statement, rows, pivot,
// TOTAL column and row in the grid) over the bare fetch of the grouped rows, printed as a ratio.
#include "grid/Grid.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QComboBox>

#include "BenchControl.h"
#include "BenchTable.h"

#include <cstdio>

namespace {

constexpr int kRuns = 5;

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();
    const auto conn = bench::openSqlite(bench::gridDatabase());

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
    const bench::ViewBesidePlain runs = bench::viewBesidePlain(conn, plain, [&] { return tab->Refresh(); }, kRuns);
    const double v = runs.view.median();
    const double p = runs.plain.median();
    std::printf("GROUP BY through the data layer: %.1f ms (%zu pairs)\n", p, runs.plainRows);
    std::printf("cross-tab view, Sum, TOTAL column and row: %.1f ms (%d x %d grid, %s)\n", v, grdXTab->Rows(),
                grdXTab->Cols(), runs.ok ? "ok" : "FAILED");
    std::printf("ratio: %.2fx (goal <= 1.2x)\n", v / p);
    tab->UnloadFlter();
    return runs.ok ? 0 : 1;
}
