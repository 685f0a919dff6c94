#include "db/Connection.h"

#include "db/ConnectionString.h"
#include "db/Recordset.h"

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

} // namespace

std::shared_ptr<Connection> Connection::create()
{
    return std::shared_ptr<Connection>(new Connection());
}

Connection::Connection() = default;

Connection::~Connection()
{
    if (m_backend) {
        try {
            m_backend->close();
        } catch (...) {
            // nothing can be reported from a destructor
        }
    }
}

template <class F> auto Connection::guarded(F &&f) -> decltype(f())
{
    m_errors.clear();
    try {
        return f();
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
    return DbError(message, error.sqlState(), maskSecrets(error.statement(), m_connectionString), error.nativeCode());
}

void Connection::Open(const QString &connectionString)
{
    guarded([&] {
        if (State() == adStateOpen)
            throw DbError(QStringLiteral("The connection is already open"));
        if (!connectionString.isEmpty())
            m_connectionString = connectionString;
        const db::ConnectionString cs = db::ConnectionString::parse(m_connectionString);
        m_provider = cs.provider();
        std::unique_ptr<ConnectionBackend> backend = makeBackend(m_provider);
        backend->open(cs, m_timeout, m_readOnly);
        m_backend = std::move(backend);
    });
}

void Connection::Close()
{
    guarded([&] {
        if (State() != adStateOpen)
            throw DbError(QStringLiteral("Operation is not allowed when the object is closed"));
        std::unique_ptr<ConnectionBackend> backend = std::move(m_backend);
        backend->close();
    });
}

int Connection::State() const
{
    return m_backend && m_backend->isOpen() ? adStateOpen : adStateClosed;
}

QString Connection::Provider() const
{
    return providerName(m_provider);
}

QString Connection::Version() const
{
    return State() == adStateOpen ? m_backend->version() : QString();
}

ConnectionBackend &Connection::backend()
{
    if (State() != adStateOpen)
        throw DbError(QStringLiteral("The connection is closed"));
    return *m_backend;
}

std::shared_ptr<Recordset> Connection::Execute(const QString &sql, long *recordsAffected)
{
    return guarded([&] {
        std::shared_ptr<RowStore> rows = backend().execute(sql, 0, recordsAffected);
        if (!rows || rows->columnCount() == 0)
            return Recordset::create();
        return Recordset::fromStore(std::move(rows), sql);
    });
}

std::vector<FieldInfo> Connection::DescribeQuery(const QString &sql)
{
    return guarded([&] { return backend().describe(sql); });
}

void Connection::CheckSyntax(const QString &sql)
{
    guarded([&] { backend().checkSyntax(sql); });
}

void Connection::Cancel()
{
    // Called from another thread while a call runs: Errors() belongs to that call.
    if (m_backend)
        m_backend->cancel();
}

std::vector<SchemaObject> Connection::Tables()
{
    return guarded([&] { return backend().objects(SchemaObject::Kind::Table); });
}

std::vector<SchemaObject> Connection::Views()
{
    return guarded([&] { return backend().objects(SchemaObject::Kind::View); });
}

std::vector<SchemaObject> Connection::Routines()
{
    return guarded([&] { return backend().objects(SchemaObject::Kind::Routine); });
}

std::vector<FieldInfo> Connection::TableColumns(const QString &owner, const QString &name)
{
    return guarded([&] { return backend().tableColumns(owner, name); });
}

std::vector<ParameterInfo> Connection::RoutineParameters(const QString &owner, const QString &name)
{
    return guarded([&] { return backend().routineParameters(owner, name); });
}

QChar Connection::DefaultDelimiter() const
{
    return State() == adStateOpen ? m_backend->identifierQuote() : QChar(u'"');
}

bool Connection::caseSensitiveText() const
{
    return State() == adStateOpen && m_backend->caseSensitiveText();
}

QString Connection::QuoteIdentifier(const QString &name, const QString &delimiter) const
{
    return quoteIdentifier(name, delimiter.isEmpty() ? QString(DefaultDelimiter()) : delimiter);
}

} // namespace db
