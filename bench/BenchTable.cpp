#include "BenchTable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace bench {

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void fillTable(sqlite3 *db, const char *table, int rows, unsigned seed)
{
    const QByteArray create = QByteArray("CREATE TABLE ") + table
        + "(id INTEGER PRIMARY KEY, qty INTEGER, code INTEGER, price REAL, weight DOUBLE, name TEXT, "
          "city VARCHAR(30), day DATE)";
    check(sqlite3_exec(db, create.constData(), nullptr, nullptr, nullptr), db);
    sqlite3_stmt *raw = nullptr;
    const QByteArray insert = QByteArray("INSERT INTO ") + table + " VALUES (?, ?, ?, ?, ?, ?, ?, ?)";
    check(sqlite3_prepare_v2(db, insert.constData(), -1, &raw, nullptr), db);
    std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(raw);
    static const char *const cities[] = {"Lisboa", "Oslo", "Kraków", "São Paulo", "Reykjavík", "Nairobi", "Zürich"};
    std::mt19937_64 rnd(seed);
    char name[32];
    char day[16];
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int64(raw, 1, i);
        sqlite3_bind_int64(raw, 2, std::int64_t(rnd() % 1000));
        sqlite3_bind_int64(raw, 3, std::int64_t(rnd() % 100000000));
        sqlite3_bind_double(raw, 4, double(rnd() % 100000) / 100.0);
        sqlite3_bind_double(raw, 5, double(rnd() % 1000000) / 7.0);
        const int len = std::snprintf(name, sizeof name, "customer %llu", static_cast<unsigned long long>(rnd() % 1000000));
        sqlite3_bind_text(raw, 6, name, len, SQLITE_TRANSIENT);
        sqlite3_bind_text(raw, 7, cities[rnd() % 7], -1, SQLITE_STATIC);
        const int dlen = std::snprintf(day, sizeof day, "20%02d-%02d-%02d", int(rnd() % 25), int(rnd() % 12 + 1),
                                       int(rnd() % 28 + 1));
        sqlite3_bind_text(raw, 8, day, dlen, SQLITE_TRANSIENT);
        check(sqlite3_step(raw), db);
        sqlite3_reset(raw);
    }
}

QString preparedDatabase(const QString &fileName, std::initializer_list<TableSpec> tables, unsigned seed)
{
    const QString dir = QDir::temp().filePath(QStringLiteral("tabulon-bench"));
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(fileName);
    if (QFile::exists(path))
        return path;
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    std::printf("generating %s ...\n", qPrintable(path));
    sqlite3 *raw = nullptr;
    check(sqlite3_open(partial.toUtf8().constData(), &raw), raw);
    {
        std::unique_ptr<sqlite3, DbCloser> db(raw);
        check(sqlite3_exec(raw, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr), raw);
        for (const TableSpec &t : tables)
            fillTable(raw, t.name, t.rows, seed);
        check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
    }
    QFile::rename(partial, path);
    return path;
}

} // namespace bench
