#pragma once

#include <QString>

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace db {
class Connection;
}

// The 8-column table every benchmark reads: integers, doubles, texts (some non-ASCII) and a date.
namespace bench {

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct StmtCloser {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

// Exits with the database's message on any failure: a benchmark has nothing to recover.
void check(int rc, sqlite3 *db);

// Creates `table` with `rows` generated rows inside the caller's transaction. `withNulls`: 5-25 %
// Nulls in every column but the key, and names in two cases.
void fillTable(sqlite3 *db, const char *table, int rows, unsigned seed, bool withNulls = false);

// A database file in the temporary folder, generated once (into a ".part" file renamed at the
// end) and reused by later runs. `tables` pairs names with row counts.
struct TableSpec {
    std::string name;
    int rows;
};
QString preparedDatabase(const QString &fileName, const std::vector<TableSpec> &tables, unsigned seed,
                         bool withNulls = false);

// bench_grid.db with its 1,000,000-row table "big", the one the grid and the control's views are
// measured on, prepared (and said so) on the first run.
QString gridDatabase();
// A SQLite file opened through the data layer.
std::shared_ptr<db::Connection> openSqlite(const QString &path);

// Runs the Qt programs offscreen unless a platform is given; call before the application exists.
void offscreenUnlessSet();

// Runs a program (found on PATH) with its standard output sent to `out` and waits: its wall time
// in ms and its peak memory in KiB. False when it could not run or failed.
bool spawn(const std::vector<std::string> &args, const QString &out, double &ms, long &peakKb);

} // namespace bench
