#pragma once

#include "db/backends/OdbcHandles.h"

#include <memory>
#include <set>
#include <utility>

// A driver blocked on a server that stopped sending (a hung server, a stalled proxy) never
// returns on its own, and SQLCancel then blocks as well: it asks that same server. When the
// driver's connection is a socket that can be told apart, a call that hears nothing for the
// connection's time-out, from a server that answers no new connection either, is given up by
// shutting that socket, as the PostgreSQL client does with its own.
namespace db::odbc {

// The connected stream sockets of this process, by descriptor and inode.
using SocketSet = std::set<std::pair<int, unsigned long>>;
SocketSet connectedSockets();

// Remembers the one socket that appeared while dbc connected (none when there were several:
// another thread connected at the same moment, and guessing could shut the wrong one).
void rememberSocket(SQLHDBC dbc, const SocketSet &before);
// Before the handle disconnects: its descriptor is no longer its own afterwards.
void forgetSocket(SQLHDBC dbc);
// The handle's socket was shut because its server stopped answering.
bool givenUp(SQLHDBC dbc);
// Shuts the handle's socket (when known) so that a call blocked on it returns; true when it did.
bool giveUp(SQLHDBC dbc);

// Whether the server behind settings answers a new connection within its time-out.
bool answers(const Environment &env, const ConnectSettings &settings);

DbError silentServerError(int seconds, const QString &sql);

// While it lives, watches the call running on dbc: nothing heard for the time-out from a
// server that answers no new connection, and the call's socket is shut.
class SilenceWatch {
public:
    SilenceWatch(std::shared_ptr<Environment> env, const ConnectSettings &settings, SQLHDBC dbc);
    ~SilenceWatch();
    SilenceWatch(const SilenceWatch &) = delete;
    SilenceWatch &operator=(const SilenceWatch &) = delete;

    // Runs call; a failure after the socket was given up says why.
    template <class F> auto run(F call, const QString &sql) -> decltype(call())
    {
        try {
            return call();
        } catch (const DbError &) {
            if (m_state && givenUp(m_dbc))
                throw silentServerError(m_seconds, sql);
            throw;
        }
    }

private:
    struct State;
    std::shared_ptr<State> m_state; // null: nothing to watch
    SQLHDBC m_dbc;
    int m_seconds = 0;
};

// The stops of a call on stmt: SQLCancel on a server that answers, the socket shut on one that
// does not. Neither blocks the caller, which may hold locks every call of the data source needs.
CallRegistry::Stops cancels(std::shared_ptr<Environment> env, const ConnectSettings &settings, SQLHDBC dbc,
                            SQLHSTMT stmt);

} // namespace db::odbc
