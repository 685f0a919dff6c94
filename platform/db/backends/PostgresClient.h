#pragma once

#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/Worker.h"

#include <libpq-fe.h>

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Thin RAII layer over libpq shared by the PostgreSQL connection, its cursors and the schema
// queries.
namespace db::pg {

struct ConnDeleter {
    void operator()(PGconn *c) const { PQfinish(c); }
};
struct ResultDeleter {
    void operator()(PGresult *r) const { PQclear(r); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// The libpq keywords of one data source. Kept so that every cursor opens its own connection
// exactly like the first one.
class ConnectParams {
public:
    // Maps our keys to libpq's, passes other libpq keywords on and drops the rest.
    static ConnectParams from(const ConnectionString &cs, int timeoutSeconds, bool readOnly);

    ConnPtr connect() const; // throws DbError with libpq's message
    bool readOnly() const { return m_readOnly; }
    // How long a connection may take, and how long a server may send nothing before it is asked
    // whether it still answers.
    int timeoutSeconds() const { return m_timeout; }
    // Whether the server answers a new connection within the time-out (it may refuse it).
    bool answers() const;

private:
    int m_timeout = 10;
    std::vector<std::string> m_keys;
    std::vector<std::string> m_values;
    bool m_readOnly = true;
};

// Lets other threads stop what one client connection is doing: cancel() asks the server to stop
// the statement (the request goes from a thread of its own, as a server that does not answer would
// hold it), abandon() shuts the connection's socket so that a call blocked on it returns.
class CancelSlot {
public:
    void arm(PGconn *conn);
    void disarm(); // before the connection is closed or handed on
    void cancel();
    void abandon();
    bool cancelRequested() const { return m_cancelRequested; }
    // For CallRegistry::Scope: stops reach this slot for as long as it lives.
    static CallRegistry::Stops stopsOf(const std::shared_ptr<CancelSlot> &slot);

private:
    std::mutex m_mutex;
    std::shared_ptr<PGcancel> m_cancel;
    int m_socket = -1;
    std::atomic<bool> m_cancelRequested{false};
};

// False once the server has closed the connection (restarted, or the session ended), which shows
// only when the connection's input is read; reading never blocks.
bool stillConnected(PGconn *conn);

// Idle client connections of one data source, for cursors: a cursor takes one and gives it back
// when it ended in good order. Closed with the data source: idle ones go at once, those in use
// when they come back.
class ConnPool {
public:
    explicit ConnPool(ConnectParams params);
    ~ConnPool();
    ConnPtr acquire(); // an idle connection that still answers, else a new one; throws DbError
    // answerPending: the connection's last command (the COMMIT of a read-only transaction) was
    // sent and its answer not read yet; whoever takes the connection next reads it first.
    void giveBack(ConnPtr conn, bool reusable, bool answerPending = false);
    void close();
    const ConnectParams &params() const { return m_params; }

private:
    struct Idle {
        ConnPtr conn;
        bool answerPending = false;
    };
    static constexpr std::size_t kMaxIdle = 4;
    const ConnectParams m_params;
    std::mutex m_mutex;
    std::vector<Idle> m_idle;
    bool m_closed = false;
};

// Statement values for PQexecParams: text form, nullopt = Null.
using ParamValues = std::vector<std::optional<std::string>>;

// positionOffset: characters put before the user's statement (an error position counts them).
[[noreturn]] void throwError(PGconn *conn, const PGresult *res, const QString &sql, int positionOffset = 0);
// The result when the statement succeeded (command or rows), else throws DbError.
ResultPtr checked(PGconn *conn, PGresult *res, const QString &sql);
// One statement with bound values (text format); types may be empty (server infers).
ResultPtr exec(PGconn *conn, const QString &sql, const ParamValues &values = {},
               const std::vector<Oid> &types = {});
ResultPtr exec(PGconn *conn, const char *sql, const ParamValues &values = {});

// Waits until the server's next answer is whole, so that PQgetResult does not block. A server
// that sends nothing for the time-out is asked whether it answers a new connection: a busy one
// does (a slow statement) and the wait goes on; one that does not is given up (throws DbError,
// the connection lost). A connection closed under the wait returns at once.
void awaitAnswer(PGconn *conn, const ConnectParams &params, const QString &sql);

inline QString text(const PGresult *res, int row, int col)
{
    return QString::fromUtf8(PQgetvalue(res, row, col), PQgetlength(res, row, col));
}

} // namespace db::pg
