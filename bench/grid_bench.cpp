// Figures for the grid on a 1,000,000-row, 8-column SQLite table, bound lazily (DataMode 4):
//   the first screen beside the C API's floor (minimum and median of alternating runs; with
//   "--first-screen" only those), scrolling screen by screen, jumping to the last row, AutoSize;
//   and a 100,000-row unbound grid filled through TextMatrix.
// Runs offscreen unless a platform is given; every paint is forced, so the times include drawing.
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>

#include "BenchRuns.h"
#include "BenchTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kUnboundRows = 100000;

using bench::ms;

void paint(grid::Grid &g)
{
    g.view()->viewport()->repaint();
    g.view()->horizontalHeader()->viewport()->repaint();
}

const char *const kQuery = "SELECT id, qty, code, price, weight, name, city, day FROM big";
constexpr int kRuns = 7;

// The first screen of a bound grid, in alternating runs beside the floor: a new grid (open, bind,
// size the columns, paint), the same grid given the result again, and a repaint of a screen
// that has not changed.
void firstScreens(const std::shared_ptr<db::Connection> &conn, sqlite3 *rawDb)
{
    bench::Runs floor, fresh, again, repaint, autosize;
    grid::Grid same;
    same.resize(1200, 800);
    same.show();
    QCoreApplication::processEvents();
    auto show = [&conn](grid::Grid &g) {
        QElapsedTimer t;
        t.start();
        auto rs = db::Recordset::create();
        rs->Open(QString::fromLatin1(kQuery), conn);
        g.setDataMode(grid::flexDMBound);
        g.setDataSource(rs);
        g.AutoSize(0, g.Cols() - 1);
        paint(g);
        return ms(t);
    };
    show(same);
    for (int run = 0; run < kRuns; ++run) {
        floor.ms.push_back(bench::cApiFirstRows(rawDb, kQuery, 50));
        {
            grid::Grid g;
            g.resize(1200, 800);
            g.show();
            QCoreApplication::processEvents();
            fresh.ms.push_back(show(g));
        }
        again.ms.push_back(show(same));
        QElapsedTimer t;
        t.start();
        paint(same);
        repaint.ms.push_back(ms(t));
        t.restart();
        same.AutoSize(0, same.Cols() - 1);
        autosize.ms.push_back(ms(t));
    }
    std::printf("first screen of %s, %d alternating runs (floor: prepare and step 50 rows, C API)\n", kQuery, kRuns);
    bench::printBesideFloor("grid_bench first screen, new grid", fresh, floor);
    bench::printBesideFloor("grid_bench first screen, same grid", again, floor);
    bench::printBesideFloor("grid_bench repaint of an unchanged screen", repaint, floor);
    bench::printBesideFloor("grid_bench AutoSize of the first screen", autosize, floor);
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessSet();
    QApplication app(argc, argv);

    const QString path = bench::gridDatabase();
    const auto conn = bench::openSqlite(path);
    {
        sqlite3 *rawDb = nullptr;
        bench::check(sqlite3_open_v2(path.toUtf8().constData(), &rawDb, SQLITE_OPEN_READONLY, nullptr), rawDb);
        std::unique_ptr<sqlite3, bench::DbCloser> cdb(rawDb);
        firstScreens(conn, rawDb);
        if (argc > 1 && QByteArray(argv[1]) == "--first-screen")
            return 0;
    }

    // --- bound grid: open and first screen ---
    grid::Grid g;
    g.resize(1200, 800);
    g.show();
    QCoreApplication::processEvents();
    QElapsedTimer t;
    t.start();
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT id, qty, code, price, weight, name, city, day FROM big"), conn);
    g.setDataMode(grid::flexDMBound);
    g.setDataSource(rs);
    paint(g);
    const double openMs = ms(t);
    const int screenRows = g.BottomRow() - g.TopRow() + 1;
    std::printf("bound grid: open + first screen (%d rows on screen, %d fetched): %.1f ms\n", screenRows,
                g.Rows() - 1, openMs);

    // --- scrolling screen by screen while rows are fetched on demand ---
    constexpr int kScreens = 300;
    QScrollBar *bar = g.view()->verticalScrollBar();
    t.restart();
    for (int i = 0; i < kScreens; ++i) {
        bar->setValue(bar->value() + bar->pageStep());
        paint(g);
    }
    const double scrollMs = ms(t);
    std::printf("scroll down %d screens (lazy fetch): %.3f ms per screen, %d rows fetched\n", kScreens,
                scrollMs / kScreens, g.Rows() - 1);

    // --- jump to the last row: fetch every row, then one screen ---
    t.restart();
    rs->fetchAll();
    const double fetchMs = ms(t);
    QElapsedTimer t2;
    t2.start();
    g.setRow(g.Rows() - 1);
    g.setTopRow(g.Row());
    paint(g);
    const double jumpMs = ms(t2);
    std::printf("jump to the last row: fetch all %.1f ms + grid %.1f ms (row %d shown: %s)\n", fetchMs, jumpMs,
                g.Row(), qPrintable(g.TextMatrix(g.Row(), 0)));

    // --- screens anywhere once fetched ---
    std::mt19937 rnd(3);
    t.restart();
    for (int i = 0; i < kScreens; ++i) {
        g.setTopRow(1 + int(rnd() % unsigned(g.Rows() - 1)));
        paint(g);
    }
    std::printf("random jumps over %d rows: %.3f ms per screen\n", g.Rows() - 1, ms(t) / kScreens);
    t.restart();
    for (int i = 0; i < kScreens; ++i) {
        bar->setValue(bar->value() - bar->pageStep());
        paint(g);
    }
    std::printf("scroll up %d screens: %.3f ms per screen\n", kScreens, ms(t) / kScreens);

    // --- AutoSize on the million rows ---
    t.restart();
    g.AutoSize(0, g.Cols() - 1);
    paint(g);
    std::printf("AutoSize of %d columns over %d rows: %.1f ms\n", g.Cols(), g.Rows() - 1, ms(t));

    g.setDataSource(nullptr);
    rs.reset();

    // --- unbound grid filled through TextMatrix ---
    grid::Grid u;
    u.resize(1200, 800);
    u.show();
    QCoreApplication::processEvents();
    for (int redraw : {1, 0}) {
        u.setRows(1);
        u.setCols(8);
        t.restart();
        u.setRedraw(redraw);
        u.setRows(kUnboundRows + 1);
        for (int r = 1; r <= kUnboundRows; ++r)
            for (int c = 0; c < 8; ++c)
                u.setTextMatrix(r, c, QStringLiteral("r%1 c%2").arg(r).arg(c));
        u.setRedraw(1);
        paint(u);
        std::printf("unbound: %d rows x 8 cols through TextMatrix (Redraw %s): %.1f ms\n", kUnboundRows,
                    redraw ? "on" : "off", ms(t));
    }
    t.restart();
    u.SortByColumns({{3, grid::flexSortGenericDescending}});
    paint(u);
    std::printf("unbound: sort %d rows by one column: %.1f ms\n", kUnboundRows, ms(t));
    t.restart();
    u.AutoSize(0, 7);
    std::printf("unbound: AutoSize of 8 columns: %.1f ms\n", ms(t));
    return 0;
}
