// Figures for the analysis control's results pipeline on the 1,000,000-row, 8-column table:
// Refresh_Results until the first screen is painted and the window has settled, in a control
// that has run the query before (warm), in one asked for other rows each time (warm, other rows:
// none of its cells was on screen before) and in a new control (its first query), beside the
// floor of stepping the first 50 rows through SQLite's C API, in alternating runs; then "move
// last" until the row count is final.
#include "hlTabulon/LibraryState.h"

#include "grid/Grid.h"
#include "grid/GridView.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>

#include "BenchControl.h"
#include "BenchRuns.h"
#include "BenchTable.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kRuns = 7;
const char *const kQuery = "SELECT id, qty, code, price, weight, name, city, day FROM big";

using bench::BenchTabulon;
using bench::ms;

// Refresh_Results until the window shows the first screen: the event loop has run until the
// window settled, the results grid painted among it.
double firstScreen(BenchTabulon &tab, bool *ok)
{
    QElapsedTimer t;
    t.start();
    *ok = tab.Refresh_Results(false, false, false) && *ok;
    *ok = bench::settle(tab.grdResults->view()->viewport()) && *ok;
    return ms(t);
}

std::unique_ptr<BenchTabulon> newControl(const std::shared_ptr<db::Connection> &conn)
{
    return bench::shownControl(conn, QString::fromLatin1(kQuery));
}

// A new window as a user opens one: the control made, given its query and connection, shown, then
// refreshed, until the window has settled with its rows painted. `rowsPainted` gets the moment the
// results grid's first paint began.
double newWindow(const std::shared_ptr<db::Connection> &conn, double *rowsPainted, bool *ok)
{
    QElapsedTimer t;
    t.start();
    auto tab = std::make_unique<BenchTabulon>();
    tab->SQL(QString::fromLatin1(kQuery));
    tab->adoConnection(conn);
    tab->resize(1200, 800);
    tab->show();
    *ok = tab->Refresh_Results(false, false, false) && *ok;
    *ok = bench::settle(tab->grdResults->view()->viewport(), &t, rowsPainted) && *ok;
    const double elapsed = ms(t);
    tab->UnloadFlter();
    return elapsed;
}


} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);
    // The user's own settings stay untouched.
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();

    const QString path = bench::gridDatabase();
    const auto conn = bench::openSqlite(path);
    sqlite3 *rawDb = nullptr;
    bench::check(sqlite3_open_v2(path.toUtf8().constData(), &rawDb, SQLITE_OPEN_READONLY, nullptr), rawDb);
    std::unique_ptr<sqlite3, bench::DbCloser> cdb(rawDb);

    bool ok = true;
    auto warm = newControl(conn);
    firstScreen(*warm, &ok); // its first query; the runs below are its later ones
    // "--profile N": only N warm first screens, for a profiler's eyes; "--profile-new N": N new
    // controls' first screens; "--profile-other N": N warm first screens of rows not shown before.
    if (argc == 3 && QByteArray(argv[1]) == "--profile") {
        for (int i = 0, n = QByteArray(argv[2]).toInt(); i < n; ++i)
            firstScreen(*warm, &ok);
        warm->UnloadFlter();
        return ok ? 0 : 1;
    }
    if (argc == 3 && QByteArray(argv[1]) == "--profile-window") {
        double painted = 0;
        for (int i = 0, n = QByteArray(argv[2]).toInt(); i < n; ++i)
            newWindow(conn, &painted, &ok);
        warm->UnloadFlter();
        return ok ? 0 : 1;
    }
    if (argc == 3 && QByteArray(argv[1]) == "--profile-new") {
        for (int i = 0, n = QByteArray(argv[2]).toInt(); i < n; ++i) {
            auto fresh = newControl(conn);
            firstScreen(*fresh, &ok);
            fresh->UnloadFlter();
        }
        warm->UnloadFlter();
        return ok ? 0 : 1;
    }
    // A warm control asked for other rows each time: nothing it shows was on its screen before.
    auto other = newControl(conn);
    firstScreen(*other, &ok);
    const auto otherRows = [&](int after) {
        other->SQL(QString::fromLatin1(kQuery) + QStringLiteral(" WHERE id > %1").arg(after));
        return firstScreen(*other, &ok);
    };
    if (argc == 3 && QByteArray(argv[1]) == "--profile-other") {
        for (int i = 0, n = QByteArray(argv[2]).toInt(); i < n; ++i)
            otherRows(50000 + i * 60000 % 900000);
        other->UnloadFlter();
        warm->UnloadFlter();
        return ok ? 0 : 1;
    }
    bench::Runs floor, warmRuns, otherRuns, newRuns, windowRuns, windowPainted;
    for (int run = 0; run < kRuns; ++run) {
        floor.ms.push_back(bench::cApiFirstRows(rawDb, kQuery, 50));
        warmRuns.ms.push_back(firstScreen(*warm, &ok));
        otherRuns.ms.push_back(otherRows((run + 1) * 100000));
        auto fresh = newControl(conn);
        newRuns.ms.push_back(firstScreen(*fresh, &ok));
        fresh->UnloadFlter();
        fresh.reset();
        double painted = 0;
        windowRuns.ms.push_back(newWindow(conn, &painted, &ok));
        windowPainted.ms.push_back(painted);
    }
    other->UnloadFlter();
    std::printf("first screen of %s, %d alternating runs (floor: prepare and step 50 rows, C API)\n", kQuery, kRuns);
    bench::printBesideFloor("results_bench first screen, warm", warmRuns, floor);
    bench::printBesideFloor("results_bench first screen, warm, other rows", otherRuns, floor);
    bench::printBesideFloor("results_bench first screen, new", newRuns, floor);
    bench::printBesideFloor("results_bench new window, settled", windowRuns, floor);
    bench::printBesideFloor("results_bench new window, rows painted", windowPainted, floor);

    QElapsedTimer t;
    t.start();
    const bool moved = warm->Move_Record(false);
    bench::settle(warm->grdResults->view()->viewport());
    std::printf("move last until the row count is final: %.1f ms (%s, %d rows)\n", ms(t), moved ? "ok" : "FAILED",
                warm->ResultsRows());
    warm->UnloadFlter();
    if (!ok)
        std::printf("a refresh FAILED\n");
    return ok && moved ? 0 : 1;
}
