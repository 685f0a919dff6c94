#pragma once

#include "db/Backend.h"
#include "db/backends/SqliteReader.h"

#include <sqlite3.h>

#include <memory>
#include <mutex>
#include <vector>

namespace db::backends::sqlite {

// Connections stay alive while a cursor still reads from one (an in-memory database has no
// second connection to give a cursor).
using DbHandle = std::shared_ptr<sqlite3>;

// sqlite3_interrupt both asks and abandons: there is no server that could fail to answer.
CallRegistry::Stops interrupts(sqlite3 *db);

struct OpenSettings {
    QByteArray path; // a plain file path, never a URI
    bool readOnly = true;
    int busyTimeoutMs = 10000;
};

// Opens a connection (throws DbError with SQLite's message; a missing file is never created
// read-only).
DbHandle openDatabase(const OpenSettings &settings, bool serialized);

// The cursors' own connections to one database file, kept open between cursors: opening one
// (the file, its locks, its schema read) costs more than the first screen of rows.
class CursorConnections {
public:
    explicit CursorConnections(OpenSettings settings) : m_settings(std::move(settings)) {}
    DbHandle acquire(); // an idle connection, else a new one; throws DbError
    // Kept for the next cursor when it is idle: no statement pending, no transaction open.
    void giveBack(DbHandle db);
    void close();

private:
    static constexpr std::size_t kMaxIdle = 4;
    const OpenSettings m_settings;
    std::mutex m_mutex;
    std::vector<DbHandle> m_idle;
    bool m_closed = false;
};

// Lazy rows on a dedicated connection of their own.
class SqliteCursor final : public RowCursor {
public:
    // A connection from `pool` goes back to it once the cursor is done; without a pool it is
    // simply let go.
    SqliteCursor(DbHandle db, std::shared_ptr<CallRegistry> calls,
                 std::shared_ptr<CursorConnections> pool = nullptr);
    ~SqliteCursor() override;
    // Prepares sql (one statement) and types its columns. Throws DbError.
    void start(const QString &sql, long maxRecords);

    const std::vector<FieldInfo> &fields() const override { return m_reader->fields(); }
    std::size_t fetch(RowStore &store, std::size_t maxRows) override;
    bool atEnd() const override { return !m_reader || m_reader->atEnd(); }
    void cancel() override;

private:
    void release();

    std::mutex m_mutex; // guards m_db against cancel() from another thread
    DbHandle m_db;
    std::shared_ptr<CallRegistry> m_calls;
    std::shared_ptr<CursorConnections> m_pool;
    std::unique_ptr<StatementReader> m_reader;
};

class SqliteBackend final : public ConnectionBackend {
public:
    SqliteBackend();
    ~SqliteBackend() override;

    void open(const ConnectionString &cs, int timeoutSeconds, bool readOnly) override;
    void close() override;
    bool isOpen() const override { return bool(m_db); }
    QString version() const override;
    std::shared_ptr<const Dialect> dialect() const override { return Dialect::of(Provider::SQLite); }

    std::unique_ptr<RowCursor> openCursor(const QString &sql, long maxRecords) override;
    std::shared_ptr<RowStore> execute(const QString &sql, long maxRecords, long *recordsAffected) override;
    std::vector<FieldInfo> describe(const QString &sql) override;
    void checkSyntax(const QString &sql) override;

    std::vector<SchemaObject> objects(SchemaObject::Kind kind) override;
    std::vector<FieldInfo> tableColumns(const QString &owner, const QString &name) override;
    std::vector<ParameterInfo> routineParameters(const QString &owner, const QString &name) override;
    std::shared_ptr<RowStore> callRoutine(const QString &owner, const QString &name,
                                          std::vector<Parameter> &params) override;

private:
    sqlite3 *db() const;
    bool inMemory() const;

    OpenSettings m_settings;
    DbHandle m_db;
    std::shared_ptr<CursorConnections> m_cursorConnections; // none for an in-memory database
};

} // namespace db::backends::sqlite
