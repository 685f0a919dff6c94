#include "db/backends/OdbcSilence.h"

#include "db/Worker.h"

#include <QDir>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace db::odbc {

namespace {

struct KnownSocket {
    int fd = -1;
    bool givenUp = false;
};

struct Sockets {
    std::mutex mutex;
    std::unordered_map<SQLHDBC, KnownSocket> byHandle;
};

// Never destroyed: a worker may still let go of a handle while the program exits.
Sockets &sockets()
{
    static Sockets *s = new Sockets;
    return *s;
}

bool isConnectedStream(int fd)
{
    int type = 0;
    socklen_t len = sizeof type;
    if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_STREAM)
        return false;
    sockaddr_storage peer{};
    socklen_t peerLen = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLen) == 0;
}

// Milliseconds since the socket last received data; -1 when it cannot be told (not TCP).
long long quietFor(int fd)
{
    tcp_info info{};
    socklen_t len = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0)
        return -1;
    return info.tcpi_last_data_recv;
}

} // namespace

SocketSet connectedSockets()
{
    SocketSet out;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString &name : fds) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat st{};
        if (ok && ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode) && isConnectedStream(fd))
            out.emplace(fd, static_cast<unsigned long>(st.st_ino));
    }
    return out;
}

void rememberSocket(SQLHDBC dbc, const SocketSet &before)
{
    int found = -1;
    int count = 0;
    for (const auto &s : connectedSockets()) {
        if (!before.count(s)) {
            found = s.first;
            ++count;
        }
    }
    if (count != 1)
        return;
    std::lock_guard lock(sockets().mutex);
    sockets().byHandle[dbc] = KnownSocket{found, false};
}

void forgetSocket(SQLHDBC dbc)
{
    std::lock_guard lock(sockets().mutex);
    sockets().byHandle.erase(dbc);
}

bool givenUp(SQLHDBC dbc)
{
    std::lock_guard lock(sockets().mutex);
    const auto it = sockets().byHandle.find(dbc);
    return it != sockets().byHandle.end() && it->second.givenUp;
}

bool giveUp(SQLHDBC dbc)
{
    // Under the lock the descriptor is still the handle's: it is forgotten before it is closed.
    std::lock_guard lock(sockets().mutex);
    const auto it = sockets().byHandle.find(dbc);
    if (it == sockets().byHandle.end())
        return false;
    it->second.givenUp = true;
    ::shutdown(it->second.fd, SHUT_RDWR);
    return true;
}

namespace {

bool knownSocket(SQLHDBC dbc)
{
    std::lock_guard lock(sockets().mutex);
    return sockets().byHandle.count(dbc) != 0;
}

long long quietForOf(SQLHDBC dbc)
{
    std::lock_guard lock(sockets().mutex);
    const auto it = sockets().byHandle.find(dbc);
    return it == sockets().byHandle.end() ? -1 : quietFor(it->second.fd);
}

} // namespace

bool answers(const Environment &env, const ConnectSettings &settings)
{
    SQLHDBC raw = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env.handle(), &raw)))
        return true; // nothing learnt: keep waiting
    const std::uintptr_t seconds = std::uintptr_t(settings.timeoutSeconds > 0 ? settings.timeoutSeconds : 10);
    SQLSetConnectAttr(raw, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), 0);
    QByteArray text = settings.connectString;
    const SQLRETURN rc = SQLDriverConnect(raw, nullptr, sqlText(text), SQL_NTS, nullptr, 0, nullptr,
                                          SQL_DRIVER_NOPROMPT);
    bool answered = SQL_SUCCEEDED(rc);
    if (answered) {
        SQLDisconnect(raw);
    } else {
        // Refused logins and the like are answers; only a connection that could not be made is not.
        const auto records = diagnostics(SQL_HANDLE_DBC, raw);
        answered = !records.empty() && !records.front().SQLState.startsWith(QLatin1String("08"))
            && !records.front().SQLState.startsWith(QLatin1String("HYT"));
    }
    SQLFreeHandle(SQL_HANDLE_DBC, raw);
    return answered;
}

DbError silentServerError(int seconds, const QString &sql)
{
    return DbError(QStringLiteral("The database server has sent nothing for %1 seconds and does not answer a "
                                  "new connection either; the connection to it was given up.")
                       .arg(seconds),
                   QStringLiteral("08006"), sql);
}

struct SilenceWatch::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
};

SilenceWatch::SilenceWatch(std::shared_ptr<Environment> env, const ConnectSettings &settings, SQLHDBC dbc)
    : m_dbc(dbc)
{
    if (settings.timeoutSeconds <= 0 || !knownSocket(dbc) || quietForOf(dbc) < 0)
        return;
    m_seconds = settings.timeoutSeconds;
    m_state = std::make_shared<State>();
    worker::startHelper([state = m_state, env = std::move(env), settings, dbc] {
        const std::chrono::seconds period(settings.timeoutSeconds);
        std::unique_lock lock(state->mutex);
        while (!state->ended) {
            if (state->changed.wait_for(lock, period, [&] { return state->ended; }))
                return;
            lock.unlock();
            // A server busy with a long statement answers a new connection: the call goes on.
            const bool silent = quietForOf(dbc) >= period.count() * 1000 && !answers(*env, settings);
            lock.lock();
            if (silent && !state->ended) {
                giveUp(dbc);
                return;
            }
        }
    });
}

SilenceWatch::~SilenceWatch()
{
    if (!m_state)
        return;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->ended = true;
    }
    m_state->changed.notify_all();
}

namespace {

// Set when the call's stops are let go, that is when the call has ended, before its statement
// handle is freed.
struct CallGuard {
    std::mutex mutex;
    bool ended = false;
};

struct EndMarker {
    explicit EndMarker(std::shared_ptr<CallGuard> g)
        : guard(std::move(g))
    {
    }
    EndMarker(const EndMarker &) = delete;
    EndMarker &operator=(const EndMarker &) = delete;
    std::shared_ptr<CallGuard> guard;
    ~EndMarker()
    {
        std::lock_guard lock(guard->mutex);
        guard->ended = true;
    }
};

} // namespace

CallRegistry::Stops cancels(std::shared_ptr<Environment> env, const ConnectSettings &settings, SQLHDBC dbc,
                            SQLHSTMT stmt)
{
    auto guard = std::make_shared<CallGuard>();
    auto marker = std::make_shared<EndMarker>(guard);
    const auto stop = [guard, env, settings, dbc, stmt](bool askFirst) {
        worker::startHelper([guard, env, settings, dbc, stmt, askFirst] {
            std::lock_guard lock(guard->mutex);
            if (guard->ended)
                return;
            // SQLCancel asks the server too: one that answers nothing would hold it forever.
            if (knownSocket(dbc) && (!askFirst || !answers(*env, settings))) {
                giveUp(dbc);
                return;
            }
            SQLCancel(stmt);
        });
    };
    return {[stop, marker] { stop(true); }, [stop, marker] { stop(false); }};
}

} // namespace db::odbc
