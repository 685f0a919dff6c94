#include "Faultdesk/ReportConnection.h"

#include "db/Connection.h"
#include "db/Types.h"

namespace faultdesk {

ReportConnection::~ReportConnection() = default;

namespace {

class ClosedConnection final : public ReportConnection {
public:
    int state() const override { return db::adStateClosed; }
    QString connectionString() const override { return {}; }
    QString version() const override { return {}; }
};

class DbConnection final : public ReportConnection {
public:
    explicit DbConnection(const std::shared_ptr<db::Connection> &connection) : m_connection(connection) {}

    int state() const override
    {
        const auto c = m_connection.lock();
        return c ? c->State() : int(db::adStateClosed);
    }
    QString connectionString() const override
    {
        const auto c = m_connection.lock();
        return c ? c->ConnectionString() : QString();
    }
    QString version() const override
    {
        const auto c = m_connection.lock();
        return c ? c->Version() : QString();
    }

private:
    std::weak_ptr<db::Connection> m_connection;
};

} // namespace

std::shared_ptr<ReportConnection> closedConnection()
{
    return std::make_shared<ClosedConnection>();
}

std::shared_ptr<ReportConnection> reportConnectionOf(const std::shared_ptr<db::Connection> &connection)
{
    if (!connection)
        return closedConnection();
    return std::make_shared<DbConnection>(connection);
}

} // namespace faultdesk
