#include "db/ValueRules.h"

#include "db/DbError.h"

#include <charconv>
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

} // namespace db
