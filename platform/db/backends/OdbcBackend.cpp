#include "db/backends/OdbcBackend.h"

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

OdbcBackend::Running::Running(OdbcBackend &backend, SQLHSTMT stmt)
    : Running(backend, [stmt] { SQLCancel(stmt); })
{
}

OdbcBackend::Running::Running(OdbcBackend &backend, std::function<void()> stop)
    : m_backend(backend)
{
    std::lock_guard lock(m_backend.m_runningMutex);
    m_backend.m_stopRunning = std::move(stop);
}

OdbcBackend::Running::~Running()
{
    std::lock_guard lock(m_backend.m_runningMutex);
    m_backend.m_stopRunning = nullptr;
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
    m_quote = quote.isEmpty() ? QLatin1Char('"') : quote.front();
    m_traits = traits;
    m_settings = settings;
    m_dbc = std::move(dbc);
}

void OdbcBackend::close()
{
    m_dbc.reset();
    m_version.clear();
}

SQLHDBC OdbcBackend::dbc() const
{
    if (!m_dbc)
        throw DbError(QStringLiteral("The connection is closed"));
    return m_dbc.get();
}

void OdbcBackend::cancel()
{
    std::lock_guard lock(m_runningMutex);
    if (m_stopRunning)
        m_stopRunning();
}

std::unique_ptr<RowCursor> OdbcBackend::openCursor(const QString &sql, long maxRecords)
{
    dbc();
    auto cursor = std::make_unique<OdbcCursor>(m_env, m_settings, m_traits, sql, maxRecords);
    OdbcCursor *c = cursor.get();
    Running running(*this, [c] { c->cancel(); });
    cursor->start();
    return cursor;
}

std::shared_ptr<RowStore> OdbcBackend::execute(const QString &sql, long maxRecords, long *recordsAffected)
{
    const StmtPtr stmt = statement();
    setMaxRows(stmt.get(), maxRecords);
    Running running(*this, stmt.get());
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
    const auto fields = describeResult(stmt.get(), m_traits, sql);
    auto store = std::make_shared<RowStore>(fields);
    ResultReader reader(stmt.get(), fields, m_traits, sql);
    const std::size_t limit = maxRecords > 0 ? std::size_t(maxRecords) : std::numeric_limits<std::size_t>::max();
    while (!reader.done() && store->rowCount() < limit)
        reader.read(*store, std::min(kChunk, limit - store->rowCount()));
    return store;
}

std::vector<FieldInfo> OdbcBackend::describe(const QString &sql)
{
    // A driver may run a statement to learn its columns (the SQLite driver steps it), so only
    // a statement that can do nothing but read is handed over.
    if (!isReadOnlyQuery(sql))
        throw DbError(QStringLiteral("Only a query that reads (SELECT ...) can be described without running it"),
                      {}, sql);
    const StmtPtr stmt = statement();
    Running running(*this, stmt.get());
    QByteArray text = sql.toUtf8();
    checkStmt(SQLPrepare(stmt.get(), sqlText(text), SQLINTEGER(text.size())), stmt.get(), "SQLPrepare", sql);
    return describeResult(stmt.get(), m_traits, sql);
}

void OdbcBackend::checkSyntax(const QString &sql)
{
    const StmtPtr stmt = statement();
    Running running(*this, stmt.get());
    QByteArray text = sql.toUtf8();
    checkStmt(SQLPrepare(stmt.get(), sqlText(text), SQLINTEGER(text.size())), stmt.get(), "SQLPrepare", sql);
    // Drivers that defer parsing to the first look at the result only check a query then; for a
    // query that look is harmless.
    if (isReadOnlyQuery(sql)) {
        SQLSMALLINT columns = 0;
        checkStmt(SQLNumResultCols(stmt.get(), &columns), stmt.get(), "SQLNumResultCols", sql);
    }
}

// --- cursor ---

OdbcCursor::OdbcCursor(std::shared_ptr<Environment> env, const ConnectSettings &settings, const DriverTraits &traits,
                       QString sql, long maxRecords)
    : m_env(std::move(env))
    , m_traits(traits)
    , m_sql(std::move(sql))
    , m_limit(maxRecords > 0 ? std::size_t(maxRecords) : 0)
{
    m_dbc = connect(*m_env, settings);
    m_stmt = allocStatement(m_dbc.get());
    setMaxRows(m_stmt.get(), maxRecords);
}

OdbcCursor::~OdbcCursor() = default;

void OdbcCursor::start()
{
    SQLHSTMT stmt = m_stmt.get();
    const SQLRETURN rc = execDirect(stmt, m_sql);
    if (rc != SQL_NO_DATA)
        checkStmt(rc, stmt, "SQLExecDirect", m_sql);
    m_fields = describeResult(stmt, m_traits, m_sql);
    if (m_fields.empty()) {
        release();
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
        got = m_reader->read(store, want);
    } catch (...) {
        release(); // a failed fetch cannot be resumed
        throw;
    }
    m_delivered += got;
    if (m_reader->done() || (m_limit > 0 && m_delivered >= m_limit))
        release();
    return got;
}

void OdbcCursor::cancel()
{
    std::lock_guard lock(m_mutex);
    if (m_stmt)
        SQLCancel(m_stmt.get());
}

void OdbcCursor::release()
{
    {
        std::lock_guard lock(m_mutex);
        m_reader.reset();
        m_stmt.reset();
    }
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
