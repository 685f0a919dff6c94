#pragma once

#include <QString>

#include <sqlite3.h>

#include <memory>

// The 8-column table both benchmarks read: integers, doubles, texts (some non-ASCII) and a date.
namespace bench {

struct DbCloser {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct StmtCloser {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};

// Exits with the database's message on any failure: a benchmark has nothing to recover.
void check(int rc, sqlite3 *db);

// Creates `table` with `rows` generated rows inside the caller's transaction.
void fillTable(sqlite3 *db, const char *table, int rows, unsigned seed);

// A database file in the temporary folder, generated once (into a ".part" file renamed at the
// end) and reused by later runs. `tables` pairs names with row counts.
struct TableSpec {
    const char *name;
    int rows;
};
QString preparedDatabase(const QString &fileName, std::initializer_list<TableSpec> tables, unsigned seed);

} // namespace bench
