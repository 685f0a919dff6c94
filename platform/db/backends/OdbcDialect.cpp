#include "db/backends/Dialects.h"

namespace db {

OdbcDialect::OdbcDialect(QChar quote, std::optional<Provider> behind)
    : m_quote(quote)
    , m_behind(behind ? Dialect::of(*behind) : nullptr)
{
}

QString OdbcDialect::left(const QString &text, const QString &length) const
{
    return QStringLiteral("{fn LEFT(%1,%2)}").arg(text, length);
}

QString OdbcDialect::soundex(const QString &text) const
{
    return QStringLiteral("{fn SOUNDEX(%1)}").arg(text);
}

QString OdbcDialect::concat(const QString &a, const QString &b) const
{
    return QStringLiteral("{fn CONCAT(%1,%2)}").arg(a, b);
}

QString OdbcDialect::length(const QString &text) const
{
    return QStringLiteral("{fn LENGTH(%1)}").arg(text);
}

} // namespace db
