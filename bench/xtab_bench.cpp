// The cross-tab view against its GROUP BY alone, on the 1,000,000-row, 8-column table: two group
// columns with a few hundred keys each (300 by 200), the view's refresh (statement, rows, pivot,
// TOTAL column and row in the grid) over the bare fetch of the grouped rows, printed as a ratio.
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/hlTabulon.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>

#include "BenchTable.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRows = 1000000;
constexpr int kRuns = 5;

class BenchTabulon : public hlTabulon {
public:
    using hlTabulon::Change_View;
    using hlTabulon::Refresh_XTab;
    using hlTabulon::cboXTabCol;
    using hlTabulon::grdXTab;
};

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();

    std::printf("preparing %d-row table ...\n", kRows);
    const QString path = bench::preparedDatabase(QStringLiteral("bench_grid.db"), {{"big", kRows}}, 7);
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(path));

    BenchTabulon tab;
    tab.SQL(QStringLiteral("SELECT qty % 300 AS shelf, code % 200 AS lane, price FROM big"));
    tab.Delimiter(QStringLiteral("\""));
    tab.adoConnection(conn);
    tab.resize(1200, 800);
    tab.show();
    QCoreApplication::processEvents();
    if (!tab.Change_View(hlTabulon::tbViewXTab)) {
        std::printf("the cross-tab view did not open\n");
        return 1;
    }
    tab.cboXTabCol[0]->setCurrentText(QStringLiteral("shelf"));
    tab.cboXTabCol[1]->setCurrentText(QStringLiteral("lane"));
    tab.cboXTabCol[3]->setCurrentText(QStringLiteral("Sum of --->>>"));
    tab.cboXTabCol[4]->setCurrentText(QStringLiteral("price"));

    const QString plain = QStringLiteral("SELECT shelf, lane, SUM(price) FROM (SELECT qty % 300 AS shelf, code % 200 AS"
                                         " lane, price FROM big) t GROUP BY shelf, lane ORDER BY shelf, lane");
    std::vector<double> viewTimes;
    std::vector<double> plainTimes;
    int rows = 0;
    int cols = 0;
    std::size_t pairs = 0;
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        auto rs = db::Recordset::create();
        rs->Open(plain, conn);
        rs->fetchAll();
        pairs = rs->fetchedCount();
        plainTimes.push_back(ms(t));

        t.restart();
        ok = tab.Refresh_XTab() && ok;
        viewTimes.push_back(ms(t));
        rows = tab.grdXTab->Rows();
        cols = tab.grdXTab->Cols();
    }
    const double v = median(viewTimes);
    const double p = median(plainTimes);
    std::printf("GROUP BY through the data layer: %.1f ms (%zu pairs)\n", p, pairs);
    std::printf("cross-tab view, Sum, TOTAL column and row: %.1f ms (%d x %d grid, %s)\n", v, rows, cols,
                ok ? "ok" : "FAILED");
    std::printf("ratio: %.2fx (goal <= 1.2x)\n", v / p);
    tab.UnloadFlter();
    return ok ? 0 : 1;
}
