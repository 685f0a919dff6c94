#include "db/backends/SqliteBackend.h"

#include "db/Command.h"
#include "db/Soundex.h"
#include "db/backends/Backends.h"
#include "db/backends/SqliteTypes.h"

#include <climits>
#include <cstdint>
#include <exception>
#include <mutex>

namespace db::backends {

std::unique_ptr<ConnectionBackend> makeSqlite()
{
    return std::make_unique<sqlite::SqliteBackend>();
}

namespace {

void refuseLoadExtension(sqlite3_context *context, int, sqlite3_value **)
{
    sqlite3_result_error(context, "not authorized", -1);
}

// Run by SQLite as each connection opens, before its opener can run anything on it. A driver may
// turn extension loading on afterwards, which brings back only the built-in load_extension: the
// connection's own function of that name, which refuses, is found first.
int guardConnection(sqlite3 *db, const char **, const sqlite3_api_routines *)
{
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    for (const int args : {1, 2}) {
        const int rc = sqlite3_create_function_v2(db, "load_extension", args, SQLITE_UTF8, nullptr,
                                                  &refuseLoadExtension, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return rc; // the connection then fails to open
    }
    return SQLITE_OK;
}

} // namespace

void guardSqliteConnections()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // SQLite's allocation statistics take a process-wide lock on every allocation, which a
        // reading and a writing thread then contend for; nothing here reads those statistics.
        // Only possible before SQLite initialises, which the call below does.
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(&guardConnection));
    });
}

} // namespace db::backends

namespace db::backends::sqlite {

namespace {

// Calls f with each statement of sql prepared in turn (nothing is stepped here).
template <class F> void forEachStatement(sqlite3 *db, const QString &sql, F &&f)
{
    const QByteArray utf8 = sql.toUtf8();
    const char *p = utf8.constData();
    const char *end = p + utf8.size();
    while (p < end) {
        sqlite3_stmt *raw = nullptr;
        const char *tail = nullptr;
        const int rc = sqlite3_prepare_v2(db, p, int(end - p), &raw, &tail);
        if (rc != SQLITE_OK)
            throwError(db, rc, sql);
        StmtPtr stmt(raw);
        if (!tail || tail <= p)
            break;
        p = tail;
        if (stmt)
            f(std::move(stmt));
    }
}

StmtPtr prepareOne(sqlite3 *db, const QString &sql)
{
    StmtPtr first;
    forEachStatement(db, sql, [&](StmtPtr stmt) {
        if (first)
            throw DbError(QStringLiteral("The text holds more than one statement; only one can be opened at a time"),
                          QString(), sql);
        first = std::move(stmt);
    });
    return first;
}

void runToEnd(sqlite3 *db, sqlite3_stmt *stmt, const QString &sql)
{
    if (stoppedBeforeStep(stmt))
        throwError(nullptr, SQLITE_INTERRUPT, sql);
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        throwError(db, rc, sql);
}

// The first keyword, past blanks and comments.
QString firstKeyword(const char *sql)
{
    const char *p = sql;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '(')
            ++p;
        if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n')
                ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            p += 2;
            while (*p && !(p[0] == '*' && p[1] == '/'))
                ++p;
            if (*p)
                p += 2;
        } else {
            break;
        }
    }
    const char *start = p;
    while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))
        ++p;
    return QString::fromLatin1(start, p - start).toUpper();
}

std::vector<std::vector<QString>> queryTexts(sqlite3 *db, const char *sql, const QStringList &binds)
{
    sqlite3_stmt *raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK)
        throwError(db, rc, QString::fromUtf8(sql));
    for (int i = 0; i < binds.size(); ++i) {
        const QByteArray v = binds[i].toUtf8();
        sqlite3_bind_text(raw, i + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }
    std::vector<std::vector<QString>> rows;
    const int cols = sqlite3_column_count(raw);
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        std::vector<QString> row;
        for (int c = 0; c < cols; ++c) {
            const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(raw, c));
            row.push_back(t ? QString::fromUtf8(t, sqlite3_column_bytes(raw, c)) : QString());
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        throwError(db, rc, QString::fromUtf8(sql));
    return rows;
}

// SOUNDEX(x): the program's own code, so that "Sounding like" finds what the program computes.
// A Null gives a Null; any other value is read as its text.
void soundexFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QByteArray code = db::soundex(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(context, code.constData(), int(code.size()), SQLITE_TRANSIENT);
}

// How often (in virtual machine steps) a running statement looks whether its call was stopped.
constexpr int kStepsBetweenStopChecks = 1000;

// A stop marks the call before it interrupts the statement: whichever the statement meets first
// ends it, so that one which began just after the interrupt still ends (SQLITE_INTERRUPT).
int stopWhenAsked(void *)
{
    return worker::callStopped() ? 1 : 0;
}

} // namespace

CallRegistry::Stops interrupts(sqlite3 *db)
{
    const auto stop = [db] { sqlite3_interrupt(db); };
    return {stop, stop};
}

DbHandle openDatabase(const OpenSettings &settings, bool serialized)
{
    int flags = settings.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    flags |= serialized ? SQLITE_OPEN_FULLMUTEX : SQLITE_OPEN_NOMUTEX;
    guardSqliteConnections();
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(settings.path.constData(), &raw, flags, nullptr);
    DbHandle db(raw, [](sqlite3 *d) { sqlite3_close_v2(d); });
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        throw DbError(QStringLiteral("%1: %2").arg(message, QString::fromUtf8(settings.path)), QString(), QString(), rc);
    }
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, settings.busyTimeoutMs);
    sqlite3_progress_handler(raw, kStepsBetweenStopChecks, &stopWhenAsked, nullptr);
    sqlite3_create_function_v2(raw, "SOUNDEX", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               &soundexFunction, nullptr, nullptr, nullptr);
    // A file that is not a database fails here rather than at the first query.
    const int check = sqlite3_exec(raw, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK)
        throwError(raw, check);
    return db;
}

// --- CursorConnections ---

DbHandle CursorConnections::acquire()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            DbHandle db = std::move(m_idle.back());
            m_idle.pop_back();
            return db;
        }
    }
    return openDatabase(m_settings, false);
}

void CursorConnections::giveBack(DbHandle db)
{
    if (!db || sqlite3_next_stmt(db.get(), nullptr) || !sqlite3_get_autocommit(db.get()))
        return;
    std::lock_guard lock(m_mutex);
    if (!m_closed && m_idle.size() < kMaxIdle)
        m_idle.push_back(std::move(db));
    // else it closes as the last holder lets go
}

void CursorConnections::close()
{
    std::vector<DbHandle> idle;
    std::lock_guard lock(m_mutex);
    m_closed = true;
    idle.swap(m_idle);
}

// --- SqliteCursor ---

SqliteCursor::SqliteCursor(DbHandle db, std::shared_ptr<CallRegistry> calls, std::shared_ptr<CursorConnections> pool)
    : m_db(std::move(db))
    , m_calls(std::move(calls))
    , m_pool(std::move(pool))
{
}

SqliteCursor::~SqliteCursor()
{
    release();
}

void SqliteCursor::start(const QString &sql, long maxRecords)
{
    std::exception_ptr error;
    {
        const CallRegistry::Scope running(*m_calls, interrupts(m_db.get()));
        try {
            StmtPtr stmt = prepareOne(m_db.get(), sql);
            if (!stmt)
                throw DbError(QStringLiteral("The statement is empty"), QString(), sql);
            m_reader = std::make_unique<StatementReader>(m_db.get(), std::move(stmt), maxRecords);
            if (m_reader->fields().empty()) { // a statement without rows simply runs
                RowStore none({});
                m_reader->fetch(none, SIZE_MAX);
            }
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (error || m_reader->atEnd())
        release();
    if (error)
        std::rethrow_exception(error);
}

std::size_t SqliteCursor::fetch(RowStore &store, std::size_t maxRows)
{
    if (atEnd())
        return 0;
    std::size_t n = 0;
    std::exception_ptr error;
    {
        const CallRegistry::Scope running(*m_calls, interrupts(m_db.get()));
        try {
            n = m_reader->fetch(store, maxRows);
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (error || m_reader->atEnd())
        release();
    if (error)
        std::rethrow_exception(error);
    return n;
}

void SqliteCursor::cancel()
{
    std::lock_guard lock(m_mutex);
    if (m_db)
        sqlite3_interrupt(m_db.get());
}

void SqliteCursor::release()
{
    if (m_reader)
        m_reader->release(); // the statement goes before its connection
    DbHandle db;
    {
        std::lock_guard lock(m_mutex);
        db.swap(m_db);
    }
    // A statement stopped half-way has been finalized above like any other; an interrupt left
    // over is forgotten by SQLite as the next statement starts.
    if (m_pool)
        m_pool->giveBack(std::move(db));
}

// --- SqliteBackend ---

SqliteBackend::SqliteBackend() = default;

SqliteBackend::~SqliteBackend()
{
    close();
}

sqlite3 *SqliteBackend::db() const
{
    if (!m_db)
        throw UsageError(QStringLiteral("The connection is closed"));
    return m_db.get();
}

bool SqliteBackend::inMemory() const
{
    return m_settings.path.isEmpty() || m_settings.path == ":memory:";
}

void SqliteBackend::open(const ConnectionString &cs, int timeoutSeconds, bool readOnly)
{
    close();
    QString source = cs.value(QStringLiteral("Data Source"), QString()).trimmed();
    if (source.isEmpty())
        source = cs.value(QStringLiteral("Database"), QString()).trimmed();
    if (source.isEmpty())
        throw DbError(QStringLiteral("The connection string names no database file (Data Source)"));
    OpenSettings settings;
    settings.path = source.toUtf8();
    // Debian's SQLite reads "file:" names as URIs; a path is always a path here.
    if (settings.path.startsWith("file:") || settings.path.startsWith("FILE:"))
        settings.path.prepend("./");
    settings.readOnly = readOnly;
    settings.busyTimeoutMs = timeoutSeconds > 0 ? timeoutSeconds * 1000 : INT_MAX;
    m_db = openDatabase(settings, true);
    m_settings = settings;
    if (!inMemory())
        m_cursorConnections = std::make_shared<CursorConnections>(settings);
}

void SqliteBackend::close()
{
    if (m_cursorConnections)
        m_cursorConnections->close();
    m_cursorConnections.reset();
    m_db.reset();
}

QString SqliteBackend::version() const
{
    return QStringLiteral("SQLite %1").arg(QString::fromLatin1(sqlite3_libversion()));
}

std::unique_ptr<RowCursor> SqliteBackend::openCursor(const QString &sql, long maxRecords)
{
    db();
    // An in-memory database exists only on this connection; elsewhere a cursor gets its own, so
    // that other statements here neither truncate nor block it.
    DbHandle connection = m_cursorConnections ? m_cursorConnections->acquire() : m_db;
    auto cursor = std::make_unique<SqliteCursor>(std::move(connection), calls(), m_cursorConnections);
    cursor->start(sql, maxRecords);
    return cursor;
}

std::shared_ptr<RowStore> SqliteBackend::execute(const QString &sql, long maxRecords, long *recordsAffected)
{
    sqlite3 *d = db();
    const CallRegistry::Scope running(*calls(), interrupts(d));
    std::shared_ptr<RowStore> result;
    long changes = -1;
    forEachStatement(d, sql, [&](StmtPtr stmt) {
        const int before = sqlite3_total_changes(d);
        const bool writes = !sqlite3_stmt_readonly(stmt.get());
        if (sqlite3_column_count(stmt.get()) > 0 && !result) {
            StatementReader reader(d, std::move(stmt), maxRecords);
            auto store = std::make_shared<RowStore>(reader.fields());
            while (!reader.atEnd())
                reader.fetch(*store, 16384);
            store->squeeze();
            result = std::move(store);
        } else {
            runToEnd(d, stmt.get(), sql);
        }
        const int delta = sqlite3_total_changes(d) - before;
        if (writes)
            changes = (changes < 0 ? 0 : changes) + delta;
    });
    if (recordsAffected)
        *recordsAffected = changes;
    return result ? result : std::make_shared<RowStore>(std::vector<FieldInfo>{});
}

std::vector<FieldInfo> SqliteBackend::describe(const QString &sql)
{
    sqlite3 *d = db();
    const CallRegistry::Scope running(*calls(), interrupts(d));
    StmtPtr stmt = prepareOne(d, sql);
    if (!stmt)
        return {};
    if (!sqlite3_stmt_readonly(stmt.get()))
        throw DbError(QStringLiteral("Only a statement that reads data can be described; this one would change data"),
                      QString(), sql);
    if (sqlite3_column_count(stmt.get()) == 0)
        return {};
    // Columns without a declared type are typed from the first rows, which only a query may read.
    const QString keyword = firstKeyword(sqlite3_sql(stmt.get()));
    const bool query = keyword == u"SELECT" || keyword == u"WITH" || keyword == u"VALUES";
    StatementReader reader(d, std::move(stmt), 0, query);
    return reader.fields();
}

void SqliteBackend::checkSyntax(const QString &sql)
{
    sqlite3 *d = db();
    forEachStatement(d, sql, [](StmtPtr) {});
}

std::vector<SchemaObject> SqliteBackend::objects(SchemaObject::Kind kind)
{
    if (kind == SchemaObject::Kind::Routine)
        return {}; // SQLite has no stored routines
    sqlite3 *d = db();
    const CallRegistry::Scope running(*calls(), interrupts(d));
    const auto rows = queryTexts(d,
                                 "SELECT name FROM sqlite_schema WHERE type = ?1 AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                                 "ORDER BY name COLLATE NOCASE",
                                 {kind == SchemaObject::Kind::View ? QStringLiteral("view") : QStringLiteral("table")});
    std::vector<SchemaObject> out;
    out.reserve(rows.size());
    for (const auto &row : rows) {
        SchemaObject o;
        o.kind = kind;
        o.Name = row[0];
        out.push_back(std::move(o));
    }
    return out;
}

std::vector<FieldInfo> SqliteBackend::tableColumns(const QString &owner, const QString &name)
{
    sqlite3 *d = db();
    const CallRegistry::Scope running(*calls(), interrupts(d));
    const char *sql = owner.isEmpty()
        ? "SELECT name, type, \"notnull\", pk FROM pragma_table_xinfo(?1) WHERE hidden IN (0, 2, 3) ORDER BY cid"
        : "SELECT name, type, \"notnull\", pk FROM pragma_table_xinfo(?1, ?2) WHERE hidden IN (0, 2, 3) ORDER BY cid";
    const auto rows = queryTexts(d, sql, owner.isEmpty() ? QStringList{name} : QStringList{name, owner});
    if (rows.empty())
        throw DbError(QStringLiteral("no such table: %1").arg(name));
    std::vector<FieldInfo> out;
    for (const auto &row : rows) {
        FieldInfo f = fieldForDeclaredType(row[1]);
        if (f.Type == adEmpty)
            f.Type = adVarWChar;
        f.Name = row[0];
        const bool rowid = row[3].toInt() != 0 && f.DeclaredType.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        f.Nullable = row[2].toInt() == 0 && !rowid;
        f.BaseTableName = name;
        f.BaseColumnName = row[0];
        f.BaseSchemaName = owner;
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<ParameterInfo> SqliteBackend::routineParameters(const QString &, const QString &name)
{
    throw DbError(QStringLiteral("SQLite has no stored routines: %1").arg(name));
}

std::shared_ptr<RowStore> SqliteBackend::callRoutine(const QString &, const QString &name, std::vector<Parameter> &)
{
    throw DbError(QStringLiteral("SQLite has no stored routines: %1").arg(name));
}

} // namespace db::backends::sqlite
