#pragma once

#include "BenchTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// Figures of repeated runs, and the floor the first screen is measured against.
namespace bench {

// A figure of this process's /proc status in KiB ("VmRSS:", "VmHWM:"); 0 when it cannot be read.
inline long statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Milliseconds since t started.
inline double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The middle figure (of an even count, the upper of the two middle ones).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Runs {
    std::vector<double> ms;
    double min() const { return *std::min_element(ms.begin(), ms.end()); }
    double median() const { return bench::median(ms); }
};

// Preparing `query` and stepping its first `rows` rows through SQLite's C API, every value read.
inline double cApiFirstRows(sqlite3 *db, const char *query, int rows)
{
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *raw = nullptr;
    check(sqlite3_prepare_v2(db, query, -1, &raw, nullptr), db);
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(raw);
    volatile long long sink = 0;
    const int cols = sqlite3_column_count(raw);
    for (int r = 0; r < rows && sqlite3_step(raw) == SQLITE_ROW; ++r) {
        for (int c = 0; c < cols; ++c) {
            switch (sqlite3_column_type(raw, c)) {
            case SQLITE_INTEGER: sink = sink + sqlite3_column_int64(raw, c); break;
            case SQLITE_FLOAT: sink = sink + static_cast<long long>(sqlite3_column_double(raw, c)); break;
            case SQLITE_TEXT: sink = sink + sqlite3_column_bytes(raw, c); break;
            default: break;
            }
        }
    }
    stmt.reset();
    return ms(t);
}

// One line: the figure's name, its minimum and median, the floor's, and the ratio of the medians.
inline void printBesideFloor(const char *name, const Runs &f, const Runs &floor)
{
    std::printf("%-42s min %7.3f ms  median %7.3f ms   floor min %6.3f  median %6.3f   x%.1f\n", name, f.min(),
                f.median(), floor.min(), floor.median(), f.median() / floor.median());
}

// One line: the figure's name, its minimum and median, the peer's, and the ratio of the medians, as
// bench/regenerate reads it.
inline void printBesidePeer(const char *name, const Runs &f, const Runs &peer)
{
    std::printf("%-52s min %7.1f ms  median %7.1f ms   peer min %7.1f  median %7.1f   x%.2f\n", name, f.min(),
                f.median(), peer.min(), peer.median(), f.median() / peer.median());
}

// Runs work and puts in *longestMs the longest time the interface thread went without turning its
// event loop meanwhile: a 0-ms timer fires at every turn, and the gaps between its firings are
// measured from the start to the return, and the first turn after it (which the program's own
// loop makes next) counted as one more.
inline bool watchStalls(const std::function<bool()> &work, double *longestMs)
{
    QElapsedTimer since;
    double longest = 0;
    const auto mark = [&] {
        longest = std::max(longest, double(since.nsecsElapsed()) / 1e6);
        since.restart();
    };
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, mark);
    since.start();
    turn.start();
    const bool ok = work();
    mark();
    turn.stop();
    QCoreApplication::processEvents();
    mark();
    *longestMs = longest;
    return ok;
}

// One row of bench/README.md's table for a figure that stands beside its goal rather than a peer
// (the longest stall, the time Escape takes): min / median, the goal, the ratio to it.
inline void printBesideGoal(const char *name, const Runs &f, const char *goalText, double goal)
{
    std::printf("| %s | %.1f / %.1f | %s | %.0f / %.0f | %.2fx | <= 1.0x |\n", name, f.min(), f.median(), goalText, goal,
                goal, f.median() / goal);
}

// "--runs N" on the command line, else `fallback`; never fewer than one.
inline int runsOption(int argc, char **argv, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

} // namespace bench
