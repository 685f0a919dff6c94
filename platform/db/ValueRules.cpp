#include "db/ValueRules.h"

#include "db/DbError.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace db {

// ---------------------------------------------------------------- whole numbers

IntegerRange integerRange(int adoType)
{
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    switch (adoType) {
    case adSmallInt: return {-32768, 32767};
    case adInteger: return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
    case adTinyInt: return {-128, 127};
    case adUnsignedTinyInt: return {0, 255};
    case adUnsignedSmallInt: return {0, 65535};
    case adUnsignedInt: return {0, std::numeric_limits<std::uint32_t>::max()};
    case adUnsignedBigInt: return {0, highest}; // held as a signed 64-bit number
    default: return {lowest, highest};
    }
}

std::optional<std::int64_t> parseInteger(std::string_view s, int adoType)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    // A fraction of zeros only is the same whole number.
    const std::size_t dot = s.substr(b, e - b).find('.');
    if (dot != std::string_view::npos) {
        const std::size_t at = b + dot;
        if (at == b || !(s[at - 1] >= '0' && s[at - 1] <= '9'))
            return std::nullopt;
        for (std::size_t i = at + 1; i < e; ++i) {
            if (s[i] != '0')
                return std::nullopt;
        }
        e = at;
    }
    if (b < e && s[b] == '+') {
        ++b;
        if (b == e || s[b] == '-')
            return std::nullopt;
    }
    if (b == e || (s[b] == '-' && b + 1 == e))
        return std::nullopt;
    if (s[b] != '-' && !(s[b] >= '0' && s[b] <= '9'))
        return std::nullopt;
    std::int64_t v = 0;
    const auto r = std::from_chars(s.data() + b, s.data() + e, v);
    if (r.ec != std::errc() || r.ptr != s.data() + e)
        return std::nullopt;
    const IntegerRange range = integerRange(adoType);
    if (v < range.min || v > range.max)
        return std::nullopt;
    return v;
}

std::optional<std::int64_t> parseInteger(QStringView text, int adoType)
{
    char buf[64];
    QStringView t = text.trimmed();
    if (t.size() >= qsizetype(sizeof buf))
        return std::nullopt;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i].unicode() > 127)
            return std::nullopt;
        buf[i] = char(t[i].unicode());
    }
    return parseInteger(std::string_view(buf, std::size_t(t.size())), adoType);
}

// ---------------------------------------------------------------- exact decimals

namespace {

struct DecimalView {
    enum Kind { MinusInfinity, Finite, PlusInfinity, NotANumber, Other };
    Kind kind = Other;
    bool negative = false;
    std::string_view intPart;  // without leading zeros
    std::string_view fracPart; // without trailing zeros
};

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

DecimalView viewDecimal(std::string_view s)
{
    DecimalView d;
    std::size_t i = 0, e = s.size();
    while (i < e && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    while (e > i && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    std::string_view body = s.substr(i, e - i);
    if (equalsNoCase(body, "nan")) {
        d.kind = DecimalView::NotANumber;
        return d;
    }
    bool negative = false;
    if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
        negative = body[0] == '-';
        body.remove_prefix(1);
    }
    if (equalsNoCase(body, "infinity") || equalsNoCase(body, "inf")) {
        d.kind = negative ? DecimalView::MinusInfinity : DecimalView::PlusInfinity;
        return d;
    }
    std::size_t k = 0;
    const std::size_t intBegin = k;
    while (k < body.size() && body[k] >= '0' && body[k] <= '9')
        ++k;
    std::size_t intEnd = k, fracBegin = k, fracEnd = k;
    if (k < body.size() && body[k] == '.') {
        fracBegin = ++k;
        while (k < body.size() && body[k] >= '0' && body[k] <= '9')
            ++k;
        fracEnd = k;
    }
    if (k != body.size() || (intEnd == intBegin && fracEnd == fracBegin))
        return d; // Other
    std::size_t a = intBegin;
    while (a < intEnd && body[a] == '0')
        ++a;
    while (fracEnd > fracBegin && body[fracEnd - 1] == '0')
        --fracEnd;
    d.kind = DecimalView::Finite;
    d.intPart = body.substr(a, intEnd - a);
    d.fracPart = body.substr(fracBegin, fracEnd - fracBegin);
    d.negative = negative && !(d.intPart.empty() && d.fracPart.empty()); // -0 is 0
    return d;
}

int sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

} // namespace

bool isPlainDecimal(std::string_view text)
{
    return viewDecimal(text).kind == DecimalView::Finite;
}

int compareDecimal(std::string_view a, std::string_view b)
{
    const DecimalView x = viewDecimal(a), y = viewDecimal(b);
    if (x.kind != y.kind)
        return x.kind < y.kind ? -1 : 1;
    if (x.kind == DecimalView::Other)
        return sign(a.compare(b));
    if (x.kind != DecimalView::Finite)
        return 0;
    if (x.negative != y.negative)
        return x.negative ? -1 : 1;
    int r = 0;
    if (x.intPart.size() != y.intPart.size())
        r = x.intPart.size() < y.intPart.size() ? -1 : 1;
    else if ((r = sign(x.intPart.compare(y.intPart))) == 0)
        r = sign(x.fracPart.compare(y.fracPart)); // trailing zeros are gone, so plain order works
    return x.negative ? -r : r;
}

std::optional<std::string> decimalValueText(std::string_view text)
{
    const DecimalView d = viewDecimal(text);
    switch (d.kind) {
    case DecimalView::NotANumber: return std::string("NaN");
    case DecimalView::PlusInfinity: return std::string("Infinity");
    case DecimalView::MinusInfinity: return std::string("-Infinity");
    case DecimalView::Other: return std::nullopt;
    case DecimalView::Finite: break;
    }
    std::string out;
    if (d.negative)
        out += '-';
    if (d.intPart.empty())
        out += '0';
    else
        out += d.intPart;
    if (!d.fracPart.empty()) {
        out += '.';
        out += d.fracPart;
    }
    return out;
}

std::optional<std::string> moneyDecimal(std::string_view text)
{
    std::string out;
    bool negative = false, digits = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            out += c;
        } else if (c == '.') {
            out += c;
        } else if (c == '-' || c == '(') {
            negative = true;
        }
    }
    if (!digits || !isPlainDecimal(out))
        return std::nullopt;
    if (negative)
        out.insert(out.begin(), '-');
    return out;
}

// ---------------------------------------------------------------- quoted names

QChar closingDelimiter(QChar open)
{
    switch (open.unicode()) {
    case u'"': return u'"';
    case u'`': return u'`';
    case u'[': return u']';
    default: return {};
    }
}

std::optional<QString> readQuotedName(QStringView text, qsizetype &pos)
{
    if (pos >= text.size())
        return std::nullopt;
    const QChar close = closingDelimiter(text[pos]);
    if (close.isNull())
        return std::nullopt;
    const qsizetype start = pos;
    QString name;
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        if (text[i] != close) {
            name += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == close) {
            name += close;
            ++i;
            continue;
        }
        pos = i + 1;
        return name;
    }
    throw DbError(QStringLiteral("Expected %1 to close the name starting at position %2").arg(close).arg(start + 1));
}

QString quoteIdentifier(const QString &name, const QString &delimiter)
{
    const QChar open = delimiter.isEmpty() ? QChar(u'"') : delimiter.front();
    const QChar close = open == u'[' ? QChar(u']') : open;
    QString body = name;
    body.replace(close, QString(2, close));
    return open + body + close;
}

// ---------------------------------------------------------------- SQL literals

void refuseNul(const QString &value)
{
    const qsizetype at = value.indexOf(QChar(0));
    if (at < 0)
        return;
    QString shown = value.left(40);
    shown.replace(QChar(0), QStringLiteral("\\0"));
    throw DbError(QStringLiteral("The value '%1' holds a NUL character (at position %2), which cannot be sent to the "
                                 "database; remove it and try again.")
                      .arg(shown)
                      .arg(at + 1));
}

QString quoteText(const QString &value)
{
    refuseNul(value);
    QString body = value;
    body.replace(u'\'', QStringLiteral("''"));
    return u'\'' + body + u'\'';
}

namespace {

QString castTo(const QString &text, const char *type)
{
    return QStringLiteral("CAST(%1 AS %2)").arg(text, QLatin1String(type));
}

QString floatLiteral(double v, bool single, Provider provider)
{
    char buf[64];
    const QString text = QString::fromLatin1(buf, qsizetype(RowStore::formatScalar(single ? adSingle : adDouble, 0, v, buf)));
    if (provider == Provider::PostgreSQL) {
        // A bare number is numeric there, and a real compared with it widens to a double whose
        // digits differ; the text cast gives the column's own value.
        if (single || !std::isfinite(v))
            return castTo(quoteText(text), single ? "REAL" : "DOUBLE PRECISION");
        return text;
    }
    if (std::isnan(v))
        return QStringLiteral("NULL"); // no database but PostgreSQL keeps one
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-9e999") : QStringLiteral("9e999");
    // Other databases hold a real as a double: all of its digits.
    if (single)
        return QString::fromLatin1(buf, qsizetype(RowStore::formatScalar(adDouble, 0, v, buf)));
    return text;
}

QString decimalLiteral(const QString &text, int type, Provider provider)
{
    const QByteArray latin = text.toLatin1();
    const bool plain = isPlainDecimal(std::string_view(latin.constData(), std::size_t(latin.size())));
    if (provider == Provider::PostgreSQL) {
        if (type == adCurrency)
            return castTo(plain ? text.trimmed() : quoteText(text), "MONEY");
        return plain ? text.trimmed() : castTo(quoteText(text), "NUMERIC");
    }
    return plain ? text.trimmed() : quoteText(text);
}

} // namespace

QString sqlLiteral(const RowStore &store, std::size_t row, int col, Provider provider)
{
    if (store.isNull(row, col))
        return QStringLiteral("NULL");
    const FieldInfo &f = store.fields()[std::size_t(col)];
    switch (storageOf(f.Type)) {
    case Storage::Blob:
        throw DbError(QStringLiteral("The binary value of the field '%1' cannot be written as a literal").arg(f.Name));
    case Storage::Double:
        return floatLiteral(store.real(row, col), f.Type == adSingle, provider);
    case Storage::Int64:
        if (f.Type == adBoolean) {
            const bool on = store.int64(row, col) != 0;
            if (provider == Provider::PostgreSQL)
                return on ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            return on ? QStringLiteral("1") : QStringLiteral("0");
        }
        if (isDateType(f.Type))
            return quoteText(store.displayText(row, col));
        return QString::number(store.int64(row, col));
    case Storage::Text:
        if (isNumericType(f.Type))
            return decimalLiteral(store.text(row, col), f.Type, provider);
        return quoteText(store.text(row, col));
    }
    return QStringLiteral("NULL");
}

namespace {

// PostgreSQL's network addresses: their cast to text always adds the mask the value shows
// only when it is not the whole address.
bool isNetworkAddress(const FieldInfo &field, Provider provider)
{
    const QString t = field.DeclaredType.trimmed().toLower();
    return provider == Provider::PostgreSQL && (t == u"inet" || t == u"cidr");
}

// PostgreSQL text types compare as text already; the others mapped to text compare as theirs,
// but for addresses, whose own equality is exact.
bool comparesAsItsText(const FieldInfo &field, Provider provider)
{
    if (provider != Provider::PostgreSQL || !isTextType(field.Type) || field.Type == adChar || field.Type == adWChar
        || isNetworkAddress(field, provider))
        return false;
    const QString t = field.DeclaredType.trimmed().toLower();
    return !(t.isEmpty() || t == u"text" || t.startsWith(QLatin1String("character varying")) || t.startsWith(QLatin1String("varchar"))
             || t == u"name" || t == u"citext");
}

QString sqliteTemporal(const QString &operand, int type)
{
    switch (type) {
    case adDBDate: return QStringLiteral("date(%1)").arg(operand);
    case adDBTime: return QStringLiteral("strftime('%H:%M:%f', %1)").arg(operand);
    default: return QStringLiteral("strftime('%Y-%m-%d %H:%M:%f', %1)").arg(operand);
    }
}

} // namespace

QString sqlComparison(const QString &column, const FieldInfo &field, Provider provider, const QString &op,
                      const QString &literal)
{
    if (provider == Provider::SQLite && isDateType(field.Type) && literal != u"NULL")
        return sqliteTemporal(column, field.Type) + u' ' + op + u' ' + sqliteTemporal(literal, field.Type);
    if (comparesAsItsText(field, provider))
        return castTo(column, "TEXT") + u' ' + op + u' ' + literal;
    return column + u' ' + op + u' ' + literal;
}

QString sqlColumnText(const QString &column, const FieldInfo &field, Provider provider)
{
    if (field.Type == adBoolean || storageOf(field.Type) == Storage::Blob)
        return {};
    if (isNetworkAddress(field, provider))
        return QStringLiteral("NULLIF(format('%s', %1), '')").arg(column); // the text shown; never empty
    if (isTextType(field.Type) && !comparesAsItsText(field, provider))
        return column;
    if (field.Type == adCurrency && provider == Provider::PostgreSQL)
        return castTo(castTo(column, "NUMERIC"), "TEXT"); // the decimal shown, not "$1,234.56"
    return castTo(column, provider == Provider::ODBC ? "VARCHAR(254)" : "TEXT");
}

QString sqlLiteral(const QVariant &value, const FieldInfo &field, Provider provider)
{
    RowStore one({field});
    one.beginRow();
    one.setValue(0, value);
    one.endRow();
    return sqlLiteral(one, 0, 0, provider);
}

} // namespace db
