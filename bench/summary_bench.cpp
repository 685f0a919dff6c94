// The summary view against the same GROUP BY run straight through the data layer, on the
// 1,000,000-row, 8-column table: the view's refresh (statement, rows, subtotals and TOTAL in the
// grid) over the bare fetch of the grouped rows, printed as a ratio.
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
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
    using hlTabulon::Refresh_Summary;
    using hlTabulon::cboSumCol;
    using hlTabulon::grdSummary;
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

    analysis::options().ShowTotals = true;
    BenchTabulon tab;
    tab.SQL(QStringLiteral("SELECT id, qty, code, price, weight, name, city, day FROM big"));
    tab.Delimiter(QStringLiteral("\""));
    tab.adoConnection(conn);
    tab.resize(1200, 800);
    tab.show();
    QCoreApplication::processEvents();
    if (!tab.Change_View(hlTabulon::tbViewSummary)) {
        std::printf("the summary view did not open\n");
        return 1;
    }
    tab.cboSumCol[0]->setCurrentText(QStringLiteral("city"));
    tab.cboSumCol[1]->setCurrentText(QStringLiteral("qty"));
    tab.cboSumCol[3]->setCurrentText(QStringLiteral("Sum of --->>>"));
    tab.cboSumCol[4]->setCurrentText(QStringLiteral("price"));

    const QString plain = QStringLiteral("SELECT city, qty, SUM(price) FROM big GROUP BY city, qty ORDER BY city, qty");
    std::vector<double> viewTimes;
    std::vector<double> plainTimes;
    int groups = 0;
    std::size_t plainRows = 0;
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer t;
        t.start();
        auto rs = db::Recordset::create();
        rs->Open(plain, conn);
        rs->fetchAll();
        plainRows = rs->fetchedCount();
        plainTimes.push_back(ms(t));

        t.restart();
        ok = tab.Refresh_Summary() && ok;
        viewTimes.push_back(ms(t));
        groups = tab.grdSummary->Rows();
    }
    const double v = median(viewTimes);
    const double p = median(plainTimes);
    std::printf("GROUP BY through the data layer: %.1f ms (%zu rows)\n", p, plainRows);
    std::printf("summary view, 2 columns, Sum, subtotals and TOTAL: %.1f ms (%d grid rows, %s)\n", v, groups,
                ok ? "ok" : "FAILED");
    std::printf("ratio: %.2fx (goal <= 1.2x)\n", v / p);
    tab.UnloadFlter();
    return ok ? 0 : 1;
}
