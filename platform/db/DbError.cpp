#include "db/DbError.h"

namespace db {

DbError::DbError(const QString &message, const QString &sqlState, const QString &statement, long nativeCode)
    : std::runtime_error(message.toStdString())
    , m_message(message)
    , m_sqlState(sqlState)
    , m_statement(statement)
    , m_nativeCode(nativeCode)
{
}

UsageError::UsageError(const QString &message, const QString &statement)
    : DbError(message, {}, statement)
{
    m_usage = true;
}

DbError DbError::cancelled(const QString &statement)
{
    return DbError(QStringLiteral("The operation was cancelled"), QStringLiteral("57014"), statement);
}

DbError::Kind DbError::kindOf(const QString &sqlState)
{
    if (sqlState == u"57014" || sqlState == u"HY008")
        return Kind::Cancelled;
    if (sqlState.startsWith(u"08") || sqlState == u"57P01" || sqlState == u"57P02" || sqlState == u"57P03")
        return Kind::ConnectionLost;
    return Kind::Failure;
}

} // namespace db
