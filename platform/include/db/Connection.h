#pragma once

#include <tabulon/DbExport.h>

#include "db/Backend.h"
#include "db/DbError.h"
#include "db/Dialect.h"
#include "db/Field.h"
#include "db/ValueRules.h"

#include <QString>

#include <memory>
#include <vector>

namespace db {

class Recordset;
struct Parameter;

// A database connection, shared (std::shared_ptr) between the browser that owns it and the query
// windows that borrow it. Members that act throw DbError; the client's messages of the last
// failure stay in Errors() until the next call that talks to the database.
class DB_EXPORT Connection : public std::enable_shared_from_this<Connection> {
public:
    static std::shared_ptr<Connection> create();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    QString ConnectionString() const { return m_connectionString; }
    void setConnectionString(const QString &text) { m_connectionString = text; }
    void setConnectionTimeout(int seconds) { m_timeout = seconds; }
    int CursorLocation() const { return m_cursorLocation; }
    void setCursorLocation(int location) { m_cursorLocation = location; }
    // Data sources open read-only where the client allows it; off for the program's own files.
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool on) { m_readOnly = on; }

    // Empty: the stored ConnectionString. Connects on a worker, waiting with the event loop
    // running, for at most the connection string's "Connect Timeout" (else ConnectionTimeout).
    void Open(const QString &connectionString = {});
    // The data source closes once no call of it still runs; cursors of open recordsets keep their
    // own client connections until they end.
    void Close();
    int State() const; // adStateOpen / adStateClosed
    db::Provider provider() const { return m_provider; }
    QString Provider() const; // "SQLite", "PostgreSQL", "ODBC"
    // How SQL is written on this connection: its client's dialect (over ODBC, its driver's, whose
    // database() is the database behind where the program knows it); while closed, the
    // provider's.
    std::shared_ptr<const Dialect> dialect() const;
    QString Version() const;  // the client library and its version; empty when closed
    const std::vector<ProviderError> &Errors() const { return m_errors; }
    void clearErrors() { m_errors.clear(); }

    // Every call below runs on a worker thread, one at a time on the connection's own client
    // handle, while the calling thread waits with its event loop running; a stopped wait
    // (db::StopToken) cancels the call and throws a cancelled DbError.

    // Runs a statement and returns its rows in memory (a closed recordset for statements that
    // return none).
    std::shared_ptr<Recordset> Execute(const QString &sql, long *recordsAffected = nullptr);
    std::vector<FieldInfo> DescribeQuery(const QString &sql);
    void CheckSyntax(const QString &sql);
    // Stops every statement running on this data source; may be called from any thread.
    void Cancel();

    std::vector<SchemaObject> Tables();
    std::vector<SchemaObject> Views();
    std::vector<SchemaObject> Routines();
    std::vector<FieldInfo> TableColumns(const QString &owner, const QString &name);
    std::vector<ParameterInfo> RoutineParameters(const QString &owner, const QString &name);
    // Calls a routine with the parameters' values bound; output parameters get their values.
    std::shared_ptr<RowStore> CallRoutine(const QString &owner, const QString &name, std::vector<Parameter> &params);

    // The identifier between delimiters, an embedded delimiter doubled. An empty delimiter means
    // the one this connection's client uses.
    QString QuoteIdentifier(const QString &name, const QString &delimiter = {}) const;
    QChar DefaultDelimiter() const;
    // True when the database compares text (=, LIKE) with regard to case, as PostgreSQL does.
    bool caseSensitiveText() const;

    // For lazy recordsets, whose worker opens a cursor of its own on it. Throws when closed.
    std::shared_ptr<ConnectionBackend> sharedBackend() const;
    // Adds a failure met elsewhere (a recordset's fetch) to Errors() and returns it with any
    // password masked, for rethrowing.
    DbError addError(const DbError &error);

private:
    Connection();
    template <class F> auto guarded(F f) -> decltype(f(std::declval<ConnectionBackend &>()));

    std::shared_ptr<ConnectionBackend> m_backend; // shared with the calls still running on it
    QString m_connectionString;
    int m_timeout = 10;
    int m_cursorLocation = adUseServer;
    bool m_readOnly = true;
    db::Provider m_provider = db::Provider::SQLite;
    std::vector<ProviderError> m_errors;
    bool m_opening = false;
};

} // namespace db
