#include "db/backends/PostgresClient.h"

#include <QHash>
#include <QSet>

#include <algorithm>

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>

namespace db::pg {

namespace {

const QSet<QString> &libpqKeywords()
{
    static const QSet<QString> keywords = [] {
        QSet<QString> set;
        if (PQconninfoOption *defaults = PQconndefaults()) {
            for (PQconninfoOption *o = defaults; o->keyword; ++o)
                set.insert(QString::fromLatin1(o->keyword));
            PQconninfoFree(defaults);
        }
        return set;
    }();
    return keywords;
}

QString trimmed(const char *message)
{
    return QString::fromUtf8(message ? message : "").trimmed();
}

} // namespace

ConnectParams ConnectParams::from(const ConnectionString &cs, int timeoutSeconds, bool readOnly)
{
    static const QHash<QString, QString> aliases = {
        {QStringLiteral("data source"), QStringLiteral("host")},
        {QStringLiteral("server"), QStringLiteral("host")},
        {QStringLiteral("initial catalog"), QStringLiteral("dbname")},
        {QStringLiteral("database"), QStringLiteral("dbname")},
        {QStringLiteral("user id"), QStringLiteral("user")},
        {QStringLiteral("uid"), QStringLiteral("user")},
        {QStringLiteral("pwd"), QStringLiteral("password")},
    };
    // Ours, whatever the connection string says.
    static const QStringList forced = {QStringLiteral("client_encoding"), QStringLiteral("connect_timeout")};

    ConnectParams p;
    p.m_readOnly = readOnly;
    if (timeoutSeconds > 0)
        p.m_timeout = timeoutSeconds;
    QString userOptions;
    for (const ConnectionString::Pair &pair : cs.pairs()) {
        QString key = pair.key.trimmed().toLower();
        key = aliases.value(key, key);
        if (key == QLatin1String("options")) {
            if (userOptions.isEmpty())
                userOptions = pair.value;
            continue;
        }
        if (forced.contains(key) || !libpqKeywords().contains(key))
            continue;
        // libpq reads an sslkey with a colon as "engine:key" and has OpenSSL load that engine: a
        // data source never loads a library of its own choosing.
        if (key == QLatin1String("sslkey") && pair.value.contains(u':'))
            throw DbError(QStringLiteral("The connection string's sslkey \"%1\" names an OpenSSL engine, which loads "
                                         "code: refused, as a data source never loads a library of its own choosing.")
                              .arg(pair.value),
                          QStringLiteral("08001"));
        const std::string k = key.toStdString();
        if (std::find(p.m_keys.begin(), p.m_keys.end(), k) != p.m_keys.end())
            continue; // first one wins, as ConnectionString::value reads it
        p.m_keys.push_back(k);
        p.m_values.push_back(pair.value.toStdString());
    }

    // What reading values back relies on: ISO dates, plain money, hex bytea, exact floats. After
    // the user's own options, so that these win.
    QString options = userOptions.trimmed();
    options += QStringLiteral(" -c datestyle=ISO -c intervalstyle=postgres -c lc_monetary=C"
                              " -c bytea_output=hex -c extra_float_digits=3");
    if (readOnly)
        options += QStringLiteral(" -c default_transaction_read_only=on");
    // A server that goes away unannounced (a dead host, a cut network) is noticed.
    for (const auto &[key, value] : {std::pair{"keepalives", "1"}, std::pair{"keepalives_idle", "30"},
                                     std::pair{"keepalives_interval", "10"}, std::pair{"keepalives_count", "3"}}) {
        if (std::find(p.m_keys.begin(), p.m_keys.end(), key) == p.m_keys.end()) {
            p.m_keys.push_back(key);
            p.m_values.push_back(value);
        }
    }
    p.m_keys.insert(p.m_keys.end(), {"options", "client_encoding"});
    p.m_values.insert(p.m_values.end(), {options.trimmed().toStdString(), "UTF8"});
    if (timeoutSeconds > 0) {
        p.m_keys.push_back("connect_timeout");
        p.m_values.push_back(std::to_string(timeoutSeconds));
    }
    return p;
}

ConnPtr ConnectParams::connect() const
{
    std::vector<const char *> keys, values;
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        keys.push_back(m_keys[i].c_str());
        values.push_back(m_values[i].c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    // expand_dbname 0: a database name is only ever a name, never a connection string.
    ConnPtr conn(PQconnectdbParams(keys.data(), values.data(), 0));
    if (!conn)
        throw DbError(QStringLiteral("PostgreSQL: out of memory while connecting"), QStringLiteral("08001"));
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw DbError(trimmed(PQerrorMessage(conn.get())), QStringLiteral("08001"));
    return conn;
}

bool ConnectParams::answers() const
{
    std::vector<const char *> keys, values;
    bool timed = false;
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        keys.push_back(m_keys[i].c_str());
        values.push_back(m_values[i].c_str());
        timed = timed || m_keys[i] == "connect_timeout";
    }
    const std::string timeout = std::to_string(m_timeout);
    if (!timed) {
        keys.push_back("connect_timeout");
        values.push_back(timeout.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    return PQpingParams(keys.data(), values.data(), 0) != PQPING_NO_RESPONSE;
}

void awaitAnswer(PGconn *conn, const ConnectParams &params, const QString &sql)
{
    const int socket = PQsocket(conn);
    while (socket >= 0 && PQisBusy(conn)) {
        pollfd fd{socket, POLLIN, 0};
        const int ready = ::poll(&fd, 1, params.timeoutSeconds() * 1000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            if (params.answers())
                continue;
            throw DbError(QStringLiteral("The database server has sent nothing for %1 seconds and does not answer a "
                                         "new connection either; the connection to it was given up.")
                              .arg(params.timeoutSeconds()),
                          QStringLiteral("08006"), sql);
        }
        if (ready < 0 || !PQconsumeInput(conn))
            return; // PQgetResult says what became of the connection
    }
}

void CancelSlot::arm(PGconn *conn)
{
    std::lock_guard lock(m_mutex);
    if (conn)
        m_cancel.reset(PQgetCancel(conn), PQfreeCancel);
    else
        m_cancel.reset();
    m_socket = conn ? PQsocket(conn) : -1;
}

void CancelSlot::disarm()
{
    std::lock_guard lock(m_mutex);
    m_cancel.reset();
    m_socket = -1;
}

void CancelSlot::cancel()
{
    std::shared_ptr<PGcancel> request;
    {
        std::lock_guard lock(m_mutex);
        request = m_cancel;
    }
    if (!request)
        return;
    m_cancelRequested = true;
    worker::startHelper([request] {
        char err[256];
        PQcancel(request.get(), err, sizeof err);
    });
}

void CancelSlot::abandon()
{
    std::lock_guard lock(m_mutex);
    // The descriptor stays the connection's until it is disarmed; only its traffic ends here.
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

CallRegistry::Stops CancelSlot::stopsOf(const std::shared_ptr<CancelSlot> &slot)
{
    return {[slot] { slot->cancel(); }, [slot] { slot->abandon(); }};
}

bool stillConnected(PGconn *conn)
{
    // A server ending a session says why before it closes: the first read may take only those
    // last words, the second then meets the closed connection.
    return PQconsumeInput(conn) && PQconsumeInput(conn) && PQstatus(conn) == CONNECTION_OK;
}

ConnPool::ConnPool(ConnectParams params)
    : m_params(std::move(params))
{
}

ConnPool::~ConnPool() = default;

ConnPtr ConnPool::acquire()
{
    for (;;) {
        Idle idle;
        {
            std::lock_guard lock(m_mutex);
            if (m_idle.empty())
                break;
            idle = std::move(m_idle.back());
            m_idle.pop_back();
        }
        PGconn *c = idle.conn.get();
        bool ok = true;
        if (idle.answerPending) {
            // Sent when the connection came back, so mostly here already.
            while (PGresult *r = PQgetResult(c)) {
                ok = ok && PQresultStatus(r) == PGRES_COMMAND_OK;
                PQclear(r);
            }
        }
        if (ok && stillConnected(c) && PQtransactionStatus(c) == PQTRANS_IDLE)
            return std::move(idle.conn);
    }
    return m_params.connect();
}

void ConnPool::giveBack(ConnPtr conn, bool reusable, bool answerPending)
{
    if (!conn)
        return;
    const PGTransactionStatusType state = PQtransactionStatus(conn.get());
    reusable = reusable && PQstatus(conn.get()) == CONNECTION_OK
               && (state == PQTRANS_IDLE || (answerPending && state == PQTRANS_ACTIVE));
    std::lock_guard lock(m_mutex);
    if (reusable && !m_closed && m_idle.size() < kMaxIdle)
        m_idle.push_back({std::move(conn), answerPending});
    // else it closes as this scope ends (a COMMIT sent is still carried out: the server reads
    // it before the connection's end)
}

void ConnPool::close()
{
    std::vector<Idle> idle;
    std::lock_guard lock(m_mutex);
    m_closed = true;
    idle.swap(m_idle);
}

void throwError(PGconn *conn, const PGresult *res, const QString &sql, int positionOffset)
{
    QString message, state;
    if (res) {
        message = trimmed(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY));
        state = QString::fromLatin1(PQresultErrorField(res, PG_DIAG_SQLSTATE));
        if (message.isEmpty())
            message = trimmed(PQresultErrorMessage(res));
        const QString detail = trimmed(PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL));
        const QString hint = trimmed(PQresultErrorField(res, PG_DIAG_MESSAGE_HINT));
        const QString position = trimmed(PQresultErrorField(res, PG_DIAG_STATEMENT_POSITION));
        if (!detail.isEmpty())
            message += QStringLiteral("\nDetail: ") + detail;
        if (!hint.isEmpty())
            message += QStringLiteral("\nHint: ") + hint;
        if (!position.isEmpty() && position.toInt() > positionOffset)
            message += QStringLiteral("\n(at character %1)").arg(position.toInt() - positionOffset);
    }
    if (message.isEmpty() && conn)
        message = trimmed(PQerrorMessage(conn));
    if (message.isEmpty())
        message = QStringLiteral("PostgreSQL: the statement failed without a message");
    if (state.isEmpty() && conn && PQstatus(conn) == CONNECTION_BAD)
        state = QStringLiteral("08006");
    throw DbError(message, state, sql);
}

ResultPtr checked(PGconn *conn, PGresult *raw, const QString &sql)
{
    ResultPtr res(raw);
    const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
        // Leave the copy at once, or the connection would take no other statement.
        if (status == PGRES_COPY_IN) {
            PQputCopyEnd(conn, "not supported by this program");
        } else {
            char *buffer = nullptr;
            while (PQgetCopyData(conn, &buffer, 0) > 0)
                PQfreemem(buffer);
        }
        while (PGresult *rest = PQgetResult(conn))
            PQclear(rest);
        throw DbError(QStringLiteral("COPY from or to the client is not supported here; copy from or to a file"
                                     " on the server, or run a query instead"),
                      QStringLiteral("0A000"), sql);
    }
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_EMPTY_QUERY)
        throwError(conn, res.get(), sql);
    return res;
}

ResultPtr exec(PGconn *conn, const QString &sql, const ParamValues &values, const std::vector<Oid> &types)
{
    const QByteArray utf8 = sql.toUtf8();
    std::vector<const char *> ptrs;
    ptrs.reserve(values.size());
    for (const auto &v : values)
        ptrs.push_back(v ? v->c_str() : nullptr);
    return checked(conn,
                   PQexecParams(conn, utf8.constData(), int(values.size()), types.empty() ? nullptr : types.data(),
                                ptrs.data(), nullptr, nullptr, 0),
                   sql);
}

ResultPtr exec(PGconn *conn, const char *sql, const ParamValues &values)
{
    return exec(conn, QString::fromUtf8(sql), values);
}

} // namespace db::pg
