#pragma once

#include "db/Backend.h"
#include "db/backends/PostgresClient.h"

namespace db::pg {

class QuestionMemo;

// A PostgreSQL data source over libpq. Statements run on one connection; every lazy cursor takes a
// connection of its own from the data source's pool.
class PostgresBackend final : public ConnectionBackend {
public:
    ~PostgresBackend() override;

    void open(const ConnectionString &cs, int timeoutSeconds, bool readOnly) override;
    void close() override;
    bool isOpen() const override;
    QString version() const override;
    std::shared_ptr<const Dialect> dialect() const override { return Dialect::of(Provider::PostgreSQL); }

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
    // The open connection for one call (reconnected once should the server have dropped it),
    // registered so that a stop reaches the call.
    class Call {
    public:
        explicit Call(PostgresBackend &backend);
        operator PGconn *() const { return m_conn; }

    private:
        PGconn *m_conn;
        CallRegistry::Scope m_running;
    };
    PGconn *conn();

    ConnectParams m_params;
    ConnPtr m_conn;
    std::shared_ptr<CancelSlot> m_cancel = std::make_shared<CancelSlot>();
    std::shared_ptr<ConnPool> m_pool;
    std::shared_ptr<QuestionMemo> m_questions;
};

} // namespace db::pg
