#include "db/Connection.h"

#include "db/ConnectionString.h"
#include "db/Command.h"
#include "db/Recordset.h"
#include "db/ValueRules.h"
#include "db/Worker.h"

#include <atomic>
#include <exception>
#include <optional>
#include <utility>

namespace db {

namespace {

QString providerName(db::Provider p)
{
    switch (p) {
    case db::Provider::SQLite: return QStringLiteral("SQLite");
    case db::Provider::PostgreSQL: return QStringLiteral("PostgreSQL");
    case db::Provider::ODBC: return QStringLiteral("ODBC");
    }
    return {};
}

// Clients sometimes echo the connection text; the password goes wherever it appears.
QString maskSecrets(const QString &text, const QString &connectionString)
{
    QString out = maskPasswords(text);
    try {
        const db::ConnectionString cs = db::ConnectionString::parse(connectionString);
        for (const auto &pair : cs.pairs()) {
            const QString key = pair.key.trimmed();
            const bool secret = key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0
                || key.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0;
            if (secret && pair.value.size() >= 3)
                out.replace(pair.value, QStringLiteral("****"));
        }
    } catch (const DbError &) {
        // a malformed string was masked by pattern above
    }
    return out;
}

// "Connect Timeout" (ADO's name; "Connection Timeout" and "Timeout" too) in seconds, else the
// connection's own setting.
int connectTimeout(const db::ConnectionString &cs, int fallback)
{
    for (const char *key : {"Connect Timeout", "Connection Timeout", "Timeout"}) {
        bool ok = false;
        const int seconds = cs.value(QLatin1String(key), QString()).trimmed().toInt(&ok);
        if (ok && seconds > 0)
            return seconds;
    }
    return fallback;
}

// Runs call on a worker thread while this thread waits with its event loop running. A stopped
// wait cancels the call (and, should the server not answer, closes its client connection) and
// throws a cancelled DbError; call sees `stopped` if it had not begun.
template <class T>
T runOnWorker(const std::shared_ptr<CallRegistry> &calls, std::function<T(const std::atomic<bool> &stopped)> call)
{
    if (!worker::available()) {
        const std::atomic<bool> notStopped{false};
        return call(notStopped);
    }
    struct Job {
        std::shared_ptr<WorkerState> state = std::make_shared<WorkerState>();
        std::atomic<bool> stopped{false};
        std::atomic<bool> done{false};
        std::optional<T> result;
        std::exception_ptr error;
    };
    auto job = std::make_shared<Job>();
    worker::start([job, call = std::move(call)] {
        try {
            const WorkerState::Call running(*job->state);
            job->result.emplace(call(job->stopped));
        } catch (...) {
            job->error = std::current_exception();
        }
        job->done = true;
        worker::post([] {});
    });
    Wait wait(
        [&] {
            job->stopped = true;
            worker::endCalls(calls, job->state);
        },
        QStringLiteral("the database to answer"));
    if (!wait.until([&] { return job->done.load(); }))
        throw DbError::cancelled();
    // Taken over here, so that whatever the worker made is released on this thread.
    if (std::exception_ptr error = std::exchange(job->error, nullptr))
        std::rethrow_exception(error);
    return std::move(*job->result);
}

} // namespace

std::shared_ptr<Connection> Connection::create()
{
    return std::shared_ptr<Connection>(new Connection());
}

Connection::Connection() = default;

// The backend closes when the last call running on it lets go.
Connection::~Connection() = default;

template <class F> auto Connection::guarded(F f) -> decltype(f(std::declval<ConnectionBackend &>()))
{
    using T = decltype(f(std::declval<ConnectionBackend &>()));
    m_errors.clear();
    try {
        // Whatever f needs is held by value: a stopped wait returns while the call may still run.
        std::shared_ptr<ConnectionBackend> backend = sharedBackend();
        return runOnWorker<T>(backend->calls(), [backend, f = std::move(f)](const std::atomic<bool> &stopped) mutable {
            const std::lock_guard lock(backend->callMutex());
            if (stopped)
                throw DbError::cancelled();
            return f(*backend);
        });
    } catch (const DbError &e) {
        throw addError(e);
    }
}

DbError Connection::addError(const DbError &error)
{
    const QString message = maskSecrets(error.message(), m_connectionString);
    // ODBC drivers may report several diagnostic records for one failure; keep them all.
    if (const auto *records = dynamic_cast<const DbErrorRecords *>(&error); records && !records->records().empty()) {
        for (ProviderError pe : records->records()) {
            pe.Description = maskSecrets(pe.Description, m_connectionString);
            if (pe.Source.isEmpty())
                pe.Source = providerName(m_provider);
            m_errors.push_back(pe);
        }
    } else {
        ProviderError pe;
        pe.Description = message;
        pe.SQLState = error.sqlState();
        pe.NativeError = error.nativeCode();
        pe.Source = providerName(m_provider);
        m_errors.push_back(pe);
    }
    const QString statement = maskSecrets(error.statement(), m_connectionString);
    if (error.isUsage())
        return UsageError(message, statement);
    return DbError(message, error.sqlState(), statement, error.nativeCode());
}

void Connection::Open(const QString &connectionString)
{
    m_errors.clear();
    try {
        if (State() == adStateOpen)
            throw UsageError(QStringLiteral("The connection is already open"));
        if (m_opening)
            throw UsageError(QStringLiteral("The connection is being opened"));
        if (!connectionString.isEmpty())
            m_connectionString = connectionString;
        const db::ConnectionString cs = db::ConnectionString::parse(m_connectionString);
        m_provider = cs.provider();
        const int timeout = connectTimeout(cs, m_timeout);
        const bool readOnly = m_readOnly;
        std::shared_ptr<ConnectionBackend> backend = makeBackend(m_provider);
        m_opening = true;
        const struct Opened {
            bool &flag;
            ~Opened() { flag = false; }
        } opened{m_opening};
        runOnWorker<bool>(backend->calls(), [backend, cs, timeout, readOnly](const std::atomic<bool> &) {
            backend->open(cs, timeout, readOnly);
            return true;
        });
        m_backend = std::move(backend);
    } catch (const DbError &e) {
        throw addError(e);
    }
}

void Connection::Close()
{
    m_errors.clear();
    if (State() != adStateOpen)
        throw addError(UsageError(QStringLiteral("Operation is not allowed when the object is closed")));
    m_backend.reset();
}

int Connection::State() const
{
    return m_backend ? adStateOpen : adStateClosed;
}

QString Connection::Provider() const
{
    return providerName(m_provider);
}

QString Connection::Version() const
{
    return State() == adStateOpen ? m_backend->version() : QString();
}

std::shared_ptr<ConnectionBackend> Connection::sharedBackend() const
{
    if (!m_backend)
        throw UsageError(QStringLiteral("The connection is closed"));
    return m_backend;
}

std::shared_ptr<Recordset> Connection::Execute(const QString &sql, long *recordsAffected)
{
    auto [rows, affected] = guarded([sql](ConnectionBackend &b) {
        long n = -1;
        std::shared_ptr<RowStore> store = b.execute(sql, 0, &n);
        return std::pair(std::move(store), n);
    });
    if (recordsAffected)
        *recordsAffected = affected;
    if (!rows || rows->columnCount() == 0)
        return Recordset::create();
    return Recordset::fromStore(std::move(rows), sql);
}

std::vector<FieldInfo> Connection::DescribeQuery(const QString &sql)
{
    return guarded([sql](ConnectionBackend &b) { return b.describe(sql); });
}

void Connection::CheckSyntax(const QString &sql)
{
    guarded([sql](ConnectionBackend &b) {
        b.checkSyntax(sql);
        return true;
    });
}

void Connection::Cancel()
{
    if (const std::shared_ptr<ConnectionBackend> backend = m_backend)
        backend->cancel();
}

std::vector<SchemaObject> Connection::Tables()
{
    return guarded([](ConnectionBackend &b) { return b.objects(SchemaObject::Kind::Table); });
}

std::vector<SchemaObject> Connection::Views()
{
    return guarded([](ConnectionBackend &b) { return b.objects(SchemaObject::Kind::View); });
}

std::vector<SchemaObject> Connection::Routines()
{
    return guarded([](ConnectionBackend &b) { return b.objects(SchemaObject::Kind::Routine); });
}

std::vector<FieldInfo> Connection::TableColumns(const QString &owner, const QString &name)
{
    return guarded([owner, name](ConnectionBackend &b) { return b.tableColumns(owner, name); });
}

std::vector<ParameterInfo> Connection::RoutineParameters(const QString &owner, const QString &name)
{
    return guarded([owner, name](ConnectionBackend &b) { return b.routineParameters(owner, name); });
}

std::shared_ptr<RowStore> Connection::CallRoutine(const QString &owner, const QString &name,
                                                  std::vector<Parameter> &params)
{
    for (const Parameter &p : params)
        if (p.Value.typeId() == QMetaType::QString)
            refuseNul(p.Value.toString());
    // The worker calls with its own copy; the values come back only when the call returns.
    auto [rows, values] = guarded([owner, name, params](ConnectionBackend &b) mutable {
        std::shared_ptr<RowStore> store = b.callRoutine(owner, name, params);
        return std::pair(std::move(store), std::move(params));
    });
    params = std::move(values);
    return rows;
}

QChar Connection::DefaultDelimiter() const
{
    return dialect()->identifierQuote();
}

std::shared_ptr<const Dialect> Connection::dialect() const
{
    return State() == adStateOpen ? m_backend->dialect() : Dialect::of(m_provider);
}

bool Connection::caseSensitiveText() const
{
    return State() == adStateOpen && m_backend->dialect()->caseSensitiveText();
}

QString Connection::QuoteIdentifier(const QString &name, const QString &delimiter) const
{
    return quoteIdentifier(name, delimiter.isEmpty() ? QString(DefaultDelimiter()) : delimiter);
}

} // namespace db
