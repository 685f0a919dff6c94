#include "BenchTable.h"

#include "db/Connection.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace bench {

void check(int rc, sqlite3 *db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

void fillTable(sqlite3 *db, const char *table, int rows, unsigned seed, bool withNulls)
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
    static const unsigned nullPercent[] = {0, 5, 10, 15, 20, 25, 12, 8};
    std::mt19937_64 rnd(seed);
    char name[32];
    char day[16];
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int64(raw, 1, i);
        sqlite3_bind_int64(raw, 2, std::int64_t(rnd() % 1000));
        sqlite3_bind_int64(raw, 3, std::int64_t(rnd() % 100000000));
        sqlite3_bind_double(raw, 4, double(rnd() % 100000) / 100.0);
        sqlite3_bind_double(raw, 5, double(rnd() % 1000000) / 7.0);
        const int len = std::snprintf(name, sizeof name, "%s %llu", withNulls && rnd() % 2 ? "Customer" : "customer",
                                      static_cast<unsigned long long>(rnd() % 1000000));
        sqlite3_bind_text(raw, 6, name, len, SQLITE_TRANSIENT);
        sqlite3_bind_text(raw, 7, cities[rnd() % 7], -1, SQLITE_STATIC);
        const int dlen = std::snprintf(day, sizeof day, "20%02d-%02d-%02d", int(rnd() % 25), int(rnd() % 12 + 1),
                                       int(rnd() % 28 + 1));
        sqlite3_bind_text(raw, 8, day, dlen, SQLITE_TRANSIENT);
        for (int c = 2; withNulls && c <= 8; ++c) {
            if (rnd() % 100 < nullPercent[c - 1])
                sqlite3_bind_null(raw, c);
        }
        check(sqlite3_step(raw), db);
        sqlite3_reset(raw);
    }
}

QString preparedDatabase(const QString &fileName, const std::vector<TableSpec> &tables, unsigned seed, bool withNulls)
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
            fillTable(raw, t.name.c_str(), t.rows, seed, withNulls);
        check(sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr), raw);
    }
    QFile::rename(partial, path);
    return path;
}

QString gridDatabase()
{
    constexpr int kRows = 1000000;
    std::printf("preparing %d-row table ...\n", kRows);
    return preparedDatabase(QStringLiteral("bench_grid.db"), {{"big", kRows}}, 7);
}

std::shared_ptr<db::Connection> openSqlite(const QString &path)
{
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(path));
    return conn;
}

void offscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

bool spawn(const std::vector<std::string> &args, const QString &out, double &ms, long &peakKb)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray outPath = QFile::encodeName(out);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0)
        return false;
    ms = double(t.nsecsElapsed()) / 1e6;
    peakKb = usage.ru_maxrss;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace bench
