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

} // namespace db
