#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <libpq-fe.h>

#include <cstdio>
#include <memory>

// libpq straight, for the PostgreSQL figures: the peer's own calls, and the tables of a run.
namespace bench {

struct PgCloser {
    void operator()(PGconn *c) const { PQfinish(c); }
};
struct ResCloser {
    void operator()(PGresult *r) const { PQclear(r); }
};

// Runs sql; false (and the server's message on stderr) when it failed.
inline bool pgExec(PGconn *c, const QByteArray &sql)
{
    std::unique_ptr<PGresult, ResCloser> r(PQexec(c, sql.constData()));
    const ExecStatusType st = PQresultStatus(r.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "postgres: %s\n", PQerrorMessage(c));
        return false;
    }
    return true;
}

// One PQexec of sql with every value of its result read: its time in ms (-1 when it failed), and
// the rows in *rows.
inline double pqexecEveryValue(PGconn *c, const QByteArray &sql, std::size_t *rows = nullptr)
{
    QElapsedTimer t;
    t.start();
    std::unique_ptr<PGresult, ResCloser> r(PQexec(c, sql.constData()));
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "postgres: %s\n", PQerrorMessage(c));
        return -1;
    }
    volatile std::size_t sink = 0;
    const int n = PQntuples(r.get()), cols = PQnfields(r.get());
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < cols; ++k)
            if (!PQgetisnull(r.get(), i, k))
                sink = sink + std::size_t(PQgetlength(r.get(), i, k)) + std::size_t(PQgetvalue(r.get(), i, k)[0]);
    if (rows)
        *rows = std::size_t(n);
    return double(t.nsecsElapsed()) / 1e6;
}

// The data layer's connection string for the libpq keywords `conninfo` ("host=... dbname=..."),
// its statements looking in `schema` first.
inline QString connectionString(const QString &conninfo, const QByteArray &schema)
{
    QString cs = QStringLiteral("Provider=PostgreSQL;options='-c search_path=%1'").arg(QString::fromUtf8(schema));
    for (const QString &pair : conninfo.split(u' ', Qt::SkipEmptyParts))
        cs += u';' + pair;
    return cs;
}

} // namespace bench
