#pragma once

#include "db/ConnectionString.h"
#include "db/DbError.h"

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
struct CancelDeleter {
    void operator()(PGcancel *c) const { PQfreeCancel(c); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;
using CancelPtr = std::unique_ptr<PGcancel, CancelDeleter>;

// The libpq keywords of one data source. Kept so that every cursor opens its own connection
// exactly like the first one.
class ConnectParams {
public:
    // Maps our keys to libpq's, passes other libpq keywords on and drops the rest.
    static ConnectParams from(const ConnectionString &cs, int timeoutSeconds, bool readOnly);

    ConnPtr connect() const; // throws DbError with libpq's message
    bool readOnly() const { return m_readOnly; }

private:
    std::vector<std::string> m_keys;
    std::vector<std::string> m_values;
    bool m_readOnly = true;
};

// Lets another thread stop the statement running on one connection.
class CancelSlot {
public:
    void arm(PGconn *conn);
    void disarm();
    void cancel();
    // Marks the time a statement runs (RAII), so that a connection-wide cancel stops only
    // what is running and never the next statement of an idle cursor.
    class Busy {
    public:
        explicit Busy(CancelSlot &slot) : m_slot(slot) { m_slot.m_busy = true; }
        ~Busy() { m_slot.m_busy = false; }
        Busy(const Busy &) = delete;
        Busy &operator=(const Busy &) = delete;

    private:
        CancelSlot &m_slot;
    };
    void cancelIfBusy();

private:
    std::mutex m_mutex;
    CancelPtr m_cancel;
    std::atomic<bool> m_busy{false};
};

// The cursors of one data source, so that cancelling the connection reaches them too.
class CancelRegistry {
public:
    void add(const std::shared_ptr<CancelSlot> &slot);
    void cancelBusy();

private:
    std::mutex m_mutex;
    std::vector<std::weak_ptr<CancelSlot>> m_slots;
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

// Quotes an identifier: "name" with embedded quotes doubled.
std::string quoteIdent(const QString &name);

inline QString text(const PGresult *res, int row, int col)
{
    return QString::fromUtf8(PQgetvalue(res, row, col), PQgetlength(res, row, col));
}

} // namespace db::pg
