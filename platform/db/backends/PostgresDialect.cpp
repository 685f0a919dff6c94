#include "db/backends/Dialects.h"

#include "db/ValueRules.h"

#include <cmath>

namespace db {

namespace {

// Network addresses: their cast to text always adds the mask the value shows only when it is not
// the whole address.
bool isNetworkAddress(const FieldInfo &field)
{
    const QString t = field.DeclaredType.trimmed().toLower();
    return t == u"inet" || t == u"cidr";
}

// Text types compare as text already; the others mapped to text compare as theirs, but for
// addresses, whose own equality is exact.
bool comparesAsItsText(const FieldInfo &field)
{
    if (!isTextType(field.Type) || field.Type == adChar || field.Type == adWChar || isNetworkAddress(field))
        return false;
    const QString t = field.DeclaredType.trimmed().toLower();
    return !(t.isEmpty() || t == u"text" || t.startsWith(QLatin1String("character varying")) || t.startsWith(QLatin1String("varchar"))
             || t == u"name" || t == u"citext");
}

} // namespace

QString PostgresDialect::booleanLiteral(bool on) const
{
    return on ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

QString PostgresDialect::floatLiteral(double v, bool single) const
{
    char buf[64];
    const QString text = QString::fromLatin1(buf, qsizetype(RowStore::formatScalar(single ? adSingle : adDouble, 0, v, buf)));
    // A bare number is numeric here, and a real compared with it widens to a double whose digits
    // differ; the text cast gives the column's own value.
    if (single || !std::isfinite(v))
        return cast(quoteText(text), single ? "REAL" : "DOUBLE PRECISION");
    return text;
}

QString PostgresDialect::decimalLiteral(const QString &text, int type) const
{
    const QByteArray latin = text.toLatin1();
    const bool plain = isPlainDecimal(std::string_view(latin.constData(), std::size_t(latin.size())));
    if (type == adCurrency)
        return cast(plain ? text.trimmed() : quoteText(text), "MONEY");
    return plain ? text.trimmed() : cast(quoteText(text), "NUMERIC");
}

QString PostgresDialect::comparison(const QString &column, const FieldInfo &field, const QString &op,
                                    const QString &literal) const
{
    if (comparesAsItsText(field))
        return cast(column, "TEXT") + u' ' + op + u' ' + literal;
    return Dialect::comparison(column, field, op, literal);
}

QString PostgresDialect::columnText(const QString &column, const FieldInfo &field) const
{
    if (field.Type == adBoolean || storageOf(field.Type) == Storage::Blob)
        return {};
    if (isNetworkAddress(field))
        return QStringLiteral("NULLIF(format('%s', %1), '')").arg(column); // the text shown; never empty
    if (isTextType(field.Type) && !comparesAsItsText(field))
        return column;
    if (field.Type == adCurrency)
        return cast(cast(column, "NUMERIC"), "TEXT"); // the decimal shown, not "$1,234.56"
    return cast(column, "TEXT");
}

std::optional<Dialect::FunctionCheck> PostgresDialect::soundexCheck() const
{
    // A number: a Boolean comes through ODBC drivers in their own spellings.
    return FunctionCheck{QStringLiteral("SELECT CASE WHEN to_regprocedure('soundex(text)') IS NULL THEN 0 ELSE 1 END"),
                         QStringLiteral("\"Sounding like\" needs the PostgreSQL extension fuzzystrmatch, which this database "
                                        "does not have. A database administrator can add it with the statement\n"
                                        "CREATE EXTENSION fuzzystrmatch;")};
}

QString PostgresDialect::routineCall(const QString &target, const QString &arguments, bool procedure, bool) const
{
    return procedure ? QStringLiteral("CALL %1(%2)").arg(target, arguments)
                     : QStringLiteral("SELECT * FROM %1(%2)").arg(target, arguments);
}

} // namespace db
