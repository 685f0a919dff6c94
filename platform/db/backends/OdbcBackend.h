#pragma once

#include "db/Backend.h"
#include "db/backends/OdbcHandles.h"
#include "db/backends/OdbcReader.h"
#include "db/backends/OdbcSilence.h"
#include "db/backends/OdbcTypes.h"

#include <mutex>
#include <vector>

namespace db::odbc {

// Idle HDBCs of one data source, for cursors: a cursor takes one and gives it back when it ended
// in good order. Closed with the data source: idle ones go at once, those in use when they return.
class DbcPool {
public:
    DbcPool(std::shared_ptr<Environment> env, ConnectSettings settings);
    ~DbcPool();
    DbcPtr acquire(); // throws DbErrorRecords
    void giveBack(DbcPtr dbc, bool reusable);
    void close();
    const std::shared_ptr<Environment> &environment() const { return m_env; }
    const ConnectSettings &settings() const { return m_settings; }

private:
    static constexpr std::size_t kMaxIdle = 4;
    const std::shared_ptr<Environment> m_env; // outlives every handle of the pool
    const ConnectSettings m_settings;
    std::mutex m_mutex;
    std::vector<DbcPtr> m_idle;
    bool m_closed = false;
};

// One call on a statement handle that lives while it runs: stoppable, and given up when its
// server falls silent.
class WatchedCall {
public:
    WatchedCall(CallRegistry &calls, const std::shared_ptr<Environment> &env, const ConnectSettings &settings,
                SQLHDBC dbc, SQLHSTMT stmt)
        : m_watch(env, settings, dbc)
        , m_running(calls, cancels(env, settings, dbc, stmt))
    {
    }
    template <class F> auto run(F call, const QString &sql) -> decltype(call()) { return m_watch.run(call, sql); }

private:
    SilenceWatch m_watch;
    const CallRegistry::Scope m_running;
};

// A data source reached through the unixODBC driver manager. Statements run on one HDBC; each
// lazy cursor takes a further HDBC from the data source's pool.
class OdbcBackend final : public ConnectionBackend {
public:
    OdbcBackend();
    ~OdbcBackend() override;

    void open(const ConnectionString &cs, int timeoutSeconds, bool readOnly) override;
    void close() override;
    bool isOpen() const override { return bool(m_dbc); }
    QString version() const override { return m_version; }
    std::shared_ptr<const Dialect> dialect() const override { return m_dialect; }

    std::unique_ptr<RowCursor> openCursor(const QString &sql, long maxRecords) override;
    std::shared_ptr<RowStore> execute(const QString &sql, long maxRecords, long *recordsAffected) override;
    std::vector<FieldInfo> describe(const QString &sql) override;
    void checkSyntax(const QString &sql) override;

    std::vector<SchemaObject> objects(SchemaObject::Kind kind) override;
    std::vector<FieldInfo> tableColumns(const QString &owner, const QString &name) override;
    std::vector<ParameterInfo> routineParameters(const QString &owner, const QString &name) override;
    std::shared_ptr<RowStore> callRoutine(const QString &owner, const QString &name,
                                          std::vector<Parameter> &params) override;

    const DriverTraits &traits() const { return m_traits; }

private:
    SQLHDBC dbc() const; // throws when closed
    StmtPtr statement() const;
    // A call on stmt of the data source's own connection.
    WatchedCall watched(SQLHSTMT stmt) const { return WatchedCall(*calls(), m_env, m_settings, dbc(), stmt); }
    QString pattern(const QString &name) const; // a catalogue search argument matching name only
    QString routineCall(const QString &owner, const QString &name, const std::vector<Parameter> &params,
                        bool nativeCall) const;

    std::shared_ptr<Environment> m_env; // declared first: freed after every handle
    ConnectSettings m_settings;
    mutable DbcPtr m_dbc; // opened again once its server was given up
    DriverTraits m_traits;
    QString m_version;
    std::shared_ptr<const Dialect> m_dialect = Dialect::of(Provider::ODBC);
    std::shared_ptr<DbcPool> m_pool;
};

// Rows of one statement on a dedicated HDBC, fetched as they are asked for.
class OdbcCursor final : public RowCursor {
public:
    OdbcCursor(std::shared_ptr<DbcPool> pool, std::shared_ptr<CallRegistry> calls, const DriverTraits &traits,
               QString sql, long maxRecords);
    ~OdbcCursor() override;

    // Executes the statement and learns its columns; a statement without rows ends the cursor.
    void start();

    const std::vector<FieldInfo> &fields() const override { return m_fields; }
    std::size_t fetch(RowStore &store, std::size_t maxRows) override;
    bool atEnd() const override { return m_end; }
    void cancel() override;

private:
    void release(bool reusable);

    std::shared_ptr<DbcPool> m_pool;
    std::shared_ptr<CallRegistry> m_calls;
    DbcPtr m_dbc;
    StmtPtr m_stmt;
    std::unique_ptr<ResultReader> m_reader;
    DriverTraits m_traits;
    QString m_sql;
    std::vector<FieldInfo> m_fields;
    std::size_t m_limit = 0; // 0: all rows
    std::size_t m_delivered = 0;
    bool m_end = false;
    std::mutex m_mutex; // the statement handle between fetch, release and cancel
};

} // namespace db::odbc
