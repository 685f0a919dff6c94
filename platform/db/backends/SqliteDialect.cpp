#include "db/backends/Dialects.h"

namespace db {

namespace {

QString temporal(const QString &operand, int type)
{
    switch (type) {
    case adDBDate: return QStringLiteral("date(%1)").arg(operand);
    case adDBTime: return QStringLiteral("strftime('%H:%M:%f', %1)").arg(operand);
    default: return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f', %1)").arg(operand);
    }
}

} // namespace

QString SqliteDialect::comparison(const QString &column, const FieldInfo &field, const QString &op,
                                  const QString &literal) const
{
    if (isDateType(field.Type) && literal != u"NULL")
        return temporal(column, field.Type) + u' ' + op + u' ' + temporal(literal, field.Type);
    return Dialect::comparison(column, field, op, literal);
}

QString SqliteDialect::left(const QString &text, const QString &length) const
{
    return QStringLiteral("substr(%1,1,%2)").arg(text, length);
}

QString SqliteDialect::length(const QString &text) const
{
    return QStringLiteral("length(%1)").arg(text);
}

} // namespace db
