#include "db/Dialect.h"

#include "db/DbError.h"
#include "db/ValueRules.h"
#include "db/backends/Dialects.h"

#include <cmath>

namespace db {

Dialect::~Dialect() = default;

std::shared_ptr<const Dialect> Dialect::of(Provider provider)
{
    static const auto sqlite = std::make_shared<const SqliteDialect>();
    static const auto postgres = std::make_shared<const PostgresDialect>();
    static const auto odbc = std::make_shared<const OdbcDialect>();
    switch (provider) {
    case Provider::SQLite: return sqlite;
    case Provider::PostgreSQL: return postgres;
    case Provider::ODBC: return odbc;
    }
    return sqlite;
}

std::shared_ptr<const Dialect> Dialect::byDefault()
{
    return of(Provider::SQLite);
}

QString Dialect::quoteIdentifier(const QString &name) const
{
    return db::quoteIdentifier(name, QString(identifierQuote()));
}

QString Dialect::cast(const QString &text, const char *type)
{
    return QStringLiteral("CAST(%1 AS %2)").arg(text, QLatin1String(type));
}

QString Dialect::booleanLiteral(bool on) const
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString Dialect::floatLiteral(double v, bool) const
{
    char buf[64];
    if (std::isnan(v))
        return QStringLiteral("NULL"); // no database but PostgreSQL keeps one
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-9e999") : QStringLiteral("9e999");
    // Other databases hold a real as a double: all of its digits.
    return QString::fromLatin1(buf, qsizetype(RowStore::formatScalar(adDouble, 0, v, buf)));
}

QString Dialect::decimalLiteral(const QString &text, int) const
{
    const QByteArray latin = text.toLatin1();
    const bool plain = isPlainDecimal(std::string_view(latin.constData(), std::size_t(latin.size())));
    return plain ? text.trimmed() : quoteText(text);
}

QString Dialect::literal(const RowStore &store, std::size_t row, int col) const
{
    if (store.isNull(row, col))
        return QStringLiteral("NULL");
    const FieldInfo &f = store.fields()[std::size_t(col)];
    switch (storageOf(f.Type)) {
    case Storage::Blob:
        throw DbError(QStringLiteral("The binary value of the field '%1' cannot be written as a literal").arg(f.Name));
    case Storage::Double:
        return floatLiteral(store.real(row, col), f.Type == adSingle);
    case Storage::Int64:
        if (f.Type == adBoolean)
            return booleanLiteral(store.int64(row, col) != 0);
        if (isDateType(f.Type))
            return quoteText(store.displayText(row, col));
        return QString::number(store.int64(row, col));
    case Storage::Text:
        if (isNumericType(f.Type))
            return decimalLiteral(store.text(row, col), f.Type);
        return quoteText(store.text(row, col));
    }
    return QStringLiteral("NULL");
}

QString Dialect::literal(const QVariant &value, const FieldInfo &field) const
{
    RowStore one({field});
    one.beginRow();
    one.setValue(0, value);
    one.endRow();
    return literal(one, 0, 0);
}

QString Dialect::comparison(const QString &column, const FieldInfo &, const QString &op, const QString &literal) const
{
    return column + u' ' + op + u' ' + literal;
}

QString Dialect::columnText(const QString &column, const FieldInfo &field) const
{
    if (field.Type == adBoolean || storageOf(field.Type) == Storage::Blob)
        return {};
    if (isTextType(field.Type))
        return column;
    return cast(column, textType());
}

QString Dialect::left(const QString &text, const QString &length) const
{
    return QStringLiteral("LEFT(%1,%2)").arg(text, length);
}

QString Dialect::soundex(const QString &text) const
{
    return QStringLiteral("SOUNDEX(%1)").arg(text);
}

QString Dialect::concat(const QString &a, const QString &b) const
{
    return QStringLiteral("(%1 || %2)").arg(a, b);
}

QString Dialect::length(const QString &text) const
{
    return QStringLiteral("char_length(%1)").arg(text);
}

QString Dialect::routineCall(const QString &target, const QString &arguments, bool, bool returnsValue) const
{
    return returnsValue ? QStringLiteral("{? = call %1(%2)}").arg(target, arguments)
                        : QStringLiteral("{call %1(%2)}").arg(target, arguments);
}

} // namespace db
