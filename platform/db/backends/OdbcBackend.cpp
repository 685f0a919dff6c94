#include "db/backends/OdbcBackend.h"

#include "db/backends/Dialects.h"

#include "db/backends/Backends.h"
#include "db/backends/OdbcSql.h"

#include <algorithm>
#include <limits>

namespace db::odbc {

namespace {

constexpr std::size_t kChunk = 4096;

void setMaxRows(SQLHSTMT stmt, long maxRecords)
{
    // Only a hint: some drivers ignore it, so the rows are counted as well.
    if (maxRecords > 0)
        SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(maxRecords)), 0);
}

} // namespace

// --- connection ---

OdbcBackend::OdbcBackend() = default;

OdbcBackend::~OdbcBackend() = default;

DbcPool::DbcPool(std::shared_ptr<Environment> env, ConnectSettings settings)
    : m_env(std::move(env))
    , m_settings(std::move(settings))
{
}

DbcPool::~DbcPool()
{
    m_idle.clear(); // before the environment
}

DbcPtr DbcPool::acquire()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            DbcPtr dbc = std::move(m_idle.back());
            m_idle.pop_back();
            return dbc;
        }
    }
    return connect(*m_env, m_settings);
}

void DbcPool::giveBack(DbcPtr dbc, bool reusable)
{
    if (!dbc)
        return;
    std::lock_guard lock(m_mutex);
    if (reusable && !m_closed && m_idle.size() < kMaxIdle)
        m_idle.push_back(std::move(dbc));
}

void DbcPool::close()
{
    std::vector<DbcPtr> idle;
    std::lock_guard lock(m_mutex);
    m_closed = true;
    idle.swap(m_idle);
}

void OdbcBackend::open(const ConnectionString &cs, int timeoutSeconds, bool readOnly)
{
    close();
    ConnectSettings settings;
    settings.connectString = driverConnectString(cs).toUtf8();
    settings.timeoutSeconds = timeoutSeconds;
    settings.readOnly = readOnly;
    if (!m_env)
        m_env = Environment::create();
    checkDriverTarget(cs, registeredDrivers(*m_env));
    DbcPtr dbc = connect(*m_env, settings);
    SQLHDBC h = dbc.get();

    DriverTraits traits;
    const QString driver = infoText(h, SQL_DRIVER_NAME);
    traits.sqliteDriver = driver.contains(QLatin1String("sqlite"), Qt::CaseInsensitive);
    traits.postgres = infoText(h, SQL_DBMS_NAME).compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0;
    traits.getDataExtensions = infoBits(h, SQL_GETDATA_EXTENSIONS);
    SQLUSMALLINT hasSetPos = SQL_FALSE;
    traits.setPos = SQL_SUCCEEDED(SQLGetFunctions(h, SQL_API_SQLSETPOS, &hasSetPos)) && hasSetPos == SQL_TRUE;
    traits.searchEscape = infoText(h, SQL_SEARCH_PATTERN_ESCAPE);
    const QString quote = infoText(h, SQL_IDENTIFIER_QUOTE_CHAR).trimmed(); // blank: the driver has none

    m_version = QStringLiteral("ODBC %1 %2 (unixODBC %3)")
                    .arg(driver, infoText(h, SQL_DRIVER_VER), infoText(h, SQL_DM_VER));
    // The database behind the driver, where the program writes its SQL.
    std::optional<Provider> behind;
    if (traits.postgres)
        behind = Provider::PostgreSQL;
    else if (traits.sqliteDriver)
        behind = Provider::SQLite;
    m_dialect = std::make_shared<const OdbcDialect>(quote.isEmpty() ? QLatin1Char('"') : quote.front(), behind);
    m_traits = traits;
    m_settings = settings;
    m_dbc = std::move(dbc);
    m_pool = std::make_shared<DbcPool>(m_env, m_settings);
}

void OdbcBackend::close()
{
    m_dbc.reset();
    m_version.clear();
    if (m_pool)
        m_pool->close();
    m_pool.reset();
}

SQLHDBC OdbcBackend::dbc() const
{
    if (!m_dbc)
        throw UsageError(QStringLiteral("The connection is closed"));
    return m_dbc.get();
}

StmtPtr OdbcBackend::statement() const
{
    // A connection given up on a silent server is opened again for the next call, as the
    // PostgreSQL client renews one its server dropped; never during a call, whose statement
    // belongs to it.
    if (m_dbc && givenUp(m_dbc.get())) {
        m_dbc.reset();
        m_dbc = connect(*m_env, m_settings);
    }
    return allocStatement(dbc());
}

std::unique_ptr<RowCursor> OdbcBackend::openCursor(const QString &sql, long maxRecords)
{
    if (!m_pool)
        throw UsageError(QStringLiteral("The connection is closed"));
    auto cursor = std::make_unique<OdbcCursor>(m_pool, calls(), m_traits, sql, maxRecords);
    cursor->start();
    return cursor;
}

std::shared_ptr<RowStore> OdbcBackend::execute(const QString &sql, long maxRecords, long *recordsAffected)
{
    const StmtPtr stmt = statement();
    setMaxRows(stmt.get(), maxRecords);
    WatchedCall call = watched(stmt.get());
    return call.run(
        [&] {
            const SQLRETURN rc = execDirect(stmt.get(), sql);
            if (rc != SQL_NO_DATA) // a searched UPDATE or DELETE that touched no row
                checkStmt(rc, stmt.get(), "SQLExecDirect", sql);
            SQLSMALLINT columns = 0;
            checkStmt(SQLNumResultCols(stmt.get(), &columns), stmt.get(), "SQLNumResultCols", sql);
            if (columns == 0) {
                if (recordsAffected) {
                    SQLLEN n = -1;
                    if (!SQL_SUCCEEDED(SQLRowCount(stmt.get(), &n)))
                        n = -1;
                    *recordsAffected = long(n);
                }
                return emptyStore();
            }
            if (recordsAffected)
                *recordsAffected = -1;
            const auto fields = describeResult(dbc(), stmt.get(), m_traits, sql);
            auto store = std::make_shared<RowStore>(fields);
            ResultReader reader(stmt.get(), fields, m_traits, sql);
            const std::size_t limit =
                maxRecords > 0 ? std::size_t(maxRecords) : std::numeric_limits<std::size_t>::max();
            while (!reader.done() && store->rowCount() < limit)
                reader.read(*store, std::min(kChunk, limit - store->rowCount()));
            return store;
        },
        sql);
}

std::vector<FieldInfo> OdbcBackend::describe(const QString &sql)
{
    // A driver may run a statement to learn its columns (the SQLite driver steps it), so only
    // a statement that can do nothing but read is handed over.
    if (!isReadOnlyQuery(sql))
        throw DbError(QStringLiteral("Only a query that reads (SELECT ...) can be described without running it"),
                      {}, sql);
    const StmtPtr stmt = statement();
    WatchedCall call = watched(stmt.get());
    return call.run(
        [&] {
            QByteArray text = sql.toUtf8();
            checkStmt(SQLPrepare(stmt.get(), sqlText(text), SQLINTEGER(text.size())), stmt.get(), "SQLPrepare", sql);
            return describeResult(dbc(), stmt.get(), m_traits, sql);
        },
        sql);
}

void OdbcBackend::checkSyntax(const QString &sql)
{
    const StmtPtr stmt = statement();
    WatchedCall call = watched(stmt.get());
    call.run(
        [&] {
            QByteArray text = sql.toUtf8();
            checkStmt(SQLPrepare(stmt.get(), sqlText(text), SQLINTEGER(text.size())), stmt.get(), "SQLPrepare", sql);
            // Drivers that defer parsing to the first look at the result only check a query then;
            // for a query that look is harmless.
            if (isReadOnlyQuery(sql)) {
                SQLSMALLINT columns = 0;
                checkStmt(SQLNumResultCols(stmt.get(), &columns), stmt.get(), "SQLNumResultCols", sql);
            }
        },
        sql);
}

// --- cursor ---

OdbcCursor::OdbcCursor(std::shared_ptr<DbcPool> pool, std::shared_ptr<CallRegistry> calls,
                       const DriverTraits &traits, QString sql, long maxRecords)
    : m_pool(std::move(pool))
    , m_calls(std::move(calls))
    , m_traits(traits)
    , m_sql(std::move(sql))
    , m_limit(maxRecords > 0 ? std::size_t(maxRecords) : 0)
{
    m_dbc = m_pool->acquire();
    m_stmt = allocStatement(m_dbc.get());
    setMaxRows(m_stmt.get(), maxRecords);
}

// A cursor let go before its end may be in the middle of its result: its HDBC is not reused.
OdbcCursor::~OdbcCursor()
{
    release(false);
}

void OdbcCursor::start()
{
    SQLHSTMT stmt = m_stmt.get();
    try {
        WatchedCall call(*m_calls, m_pool->environment(), m_pool->settings(), m_dbc.get(), stmt);
        call.run(
            [&] {
                const SQLRETURN rc = execDirect(stmt, m_sql);
                if (rc != SQL_NO_DATA)
                    checkStmt(rc, stmt, "SQLExecDirect", m_sql);
                m_fields = describeResult(m_dbc.get(), stmt, m_traits, m_sql);
            },
            m_sql);
    } catch (...) {
        release(false);
        throw;
    }
    if (m_fields.empty()) {
        release(true);
        return;
    }
    m_reader = std::make_unique<ResultReader>(stmt, m_fields, m_traits, m_sql);
}

std::size_t OdbcCursor::fetch(RowStore &store, std::size_t maxRows)
{
    if (m_end || !m_reader)
        return 0;
    std::size_t want = maxRows;
    if (m_limit > 0)
        want = std::min(want, m_limit - m_delivered);
    std::size_t got = 0;
    try {
        WatchedCall call(*m_calls, m_pool->environment(), m_pool->settings(), m_dbc.get(), m_stmt.get());
        got = call.run([&] { return m_reader->read(store, want); }, m_sql);
    } catch (...) {
        release(false); // a failed fetch cannot be resumed
        throw;
    }
    // A column turned into text by a value met: later chunks start as text.
    for (std::size_t c = 0; c < m_fields.size(); ++c) {
        if (m_fields[c].Type != m_reader->fields()[c].Type)
            m_fields[c] = m_reader->fields()[c];
    }
    m_delivered += got;
    if (m_reader->done() || (m_limit > 0 && m_delivered >= m_limit))
        release(true);
    return got;
}

void OdbcCursor::cancel()
{
    std::lock_guard lock(m_mutex);
    if (m_stmt)
        SQLCancel(m_stmt.get());
}

void OdbcCursor::release(bool reusable)
{
    {
        std::lock_guard lock(m_mutex);
        m_reader.reset();
        m_stmt.reset();
    }
    if (m_pool)
        m_pool->giveBack(std::move(m_dbc), reusable);
    m_dbc.reset();
    m_end = true;
}

} // namespace db::odbc

namespace db::backends {

std::unique_ptr<ConnectionBackend> makeOdbc()
{
    return std::make_unique<odbc::OdbcBackend>();
}

} // namespace db::backends
