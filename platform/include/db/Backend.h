#pragma once

#include <tabulon/DbExport.h>

#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/Dialect.h"
#include "db/Field.h"
#include "db/RowStore.h"
#include "db/Worker.h"

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace db {

struct Parameter;

// A failure the client described with several messages (ODBC hands over a list of diagnostic
// records). The DbError itself carries the first; Connection::Errors() should list them all.
class DbErrorRecords : public DbError {
public:
    DbErrorRecords(std::vector<ProviderError> records, const QString &statement = {})
        : DbError(records.empty() ? QString() : records.front().Description,
                  records.empty() ? QString() : records.front().SQLState, statement,
                  records.empty() ? 0 : records.front().NativeError)
        , m_records(std::move(records))
    {
    }
    const std::vector<ProviderError> &records() const { return m_records; }

private:
    std::vector<ProviderError> m_records;
};

// A stream of result rows, fetched in chunks on demand. A cursor never shares its client
// connection with other statements (it has a dedicated one, or a server-side cursor), so other
// work on the same data source neither truncates nor blocks it.
class DB_EXPORT RowCursor {
public:
    virtual ~RowCursor();
    virtual const std::vector<FieldInfo> &fields() const = 0;
    // Appends up to maxRows rows to store; returns how many were appended. After the last row
    // (or once the row limit given at open is reached) atEnd() is true and the cursor has
    // released its statement and connection. Throws DbError.
    virtual std::size_t fetch(RowStore &store, std::size_t maxRows) = 0;
    // A hint for the next fetch only: about this many rows will be asked for right after it, so
    // the cursor may start reading some of them while it stores the rows of that fetch.
    virtual void expectMore(std::size_t /*rows*/) {}
    virtual bool atEnd() const = 0;
    // Stops a running statement; may be called from another thread.
    virtual void cancel() = 0;
};

// One client library behind a db::Connection. Implementations: SQLite, PostgreSQL, ODBC.
// Every call may throw DbError carrying the client's message and SQLSTATE.
class DB_EXPORT ConnectionBackend {
public:
    virtual ~ConnectionBackend();

    virtual void open(const ConnectionString &cs, int timeoutSeconds, bool readOnly) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString version() const = 0;         // e.g. "SQLite 3.40.1", "PostgreSQL 15.20 (libpq 15)"
    // How SQL is written for this client: over ODBC, with the driver's quote and the database
    // behind it as the driver says once open.
    virtual std::shared_ptr<const Dialect> dialect() const = 0;

    // Lazy rows of a statement (maxRecords 0 = all).
    virtual std::unique_ptr<RowCursor> openCursor(const QString &sql, long maxRecords) = 0;
    // Runs a statement on this connection and returns all its rows (none for DML; affected set).
    virtual std::shared_ptr<RowStore> execute(const QString &sql, long maxRecords, long *recordsAffected) = 0;
    // Columns of a statement's result without reading a row; executes nothing but a SELECT.
    virtual std::vector<FieldInfo> describe(const QString &sql) = 0;
    // Checks a statement without executing it (prepare only).
    virtual void checkSyntax(const QString &sql) = 0;
    // Stops every statement running on this data source, its cursors' included; may be called
    // from another thread.
    void cancel() { m_calls->cancelAll(); }
    // The client calls running on this data source's handles, for stopping them one worker at a
    // time. Implementations register each call (CallRegistry::Scope); cursors share the registry.
    const std::shared_ptr<CallRegistry> &calls() const { return m_calls; }
    // Held by the Connection for each call on the connection's own handle: one at a time.
    std::mutex &callMutex() { return m_callMutex; }

    virtual std::vector<SchemaObject> objects(SchemaObject::Kind kind) = 0;
    virtual std::vector<FieldInfo> tableColumns(const QString &owner, const QString &name) = 0;
    virtual std::vector<ParameterInfo> routineParameters(const QString &owner, const QString &name) = 0;
    // Calls a routine with bound values; output parameters get their values; returns its rows
    // (an empty store when it returns none).
    virtual std::shared_ptr<RowStore> callRoutine(const QString &owner, const QString &name,
                                                  std::vector<Parameter> &params) = 0;

private:
    std::shared_ptr<CallRegistry> m_calls = std::make_shared<CallRegistry>();
    std::mutex m_callMutex;
};

// The backend for a provider (throws DbError for one this build cannot serve).
DB_EXPORT std::unique_ptr<ConnectionBackend> makeBackend(Provider provider);

} // namespace db
