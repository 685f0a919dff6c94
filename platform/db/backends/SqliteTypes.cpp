#include "db/backends/SqliteTypes.h"

#include <QDate>

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <vector>

namespace db::backends::sqlite {

namespace {

constexpr std::int64_t kUsPerDay = 86400000000;
constexpr std::int64_t kEpochJulianDay = 2440588; // 1970-01-01

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

FieldInfo typed(FieldInfo f, int type, long size = 0)
{
    f.Type = type;
    f.DefinedSize = size;
    setNumberSizes(f);
    return f;
}

// Reads exactly n digits at s[i].
bool digits(std::string_view s, std::size_t &i, int n, int &v)
{
    if (i + std::size_t(n) > s.size())
        return false;
    v = 0;
    for (int k = 0; k < n; ++k, ++i) {
        if (!isDigit(s[i]))
            return false;
        v = v * 10 + (s[i] - '0');
    }
    return true;
}

bool datePart(std::string_view s, std::size_t &i, std::int64_t &jd)
{
    int y = 0, m = 0, d = 0;
    if (!digits(s, i, 4, y) || i >= s.size() || s[i++] != '-' || !digits(s, i, 2, m) || i >= s.size()
        || s[i++] != '-' || !digits(s, i, 2, d))
        return false;
    if (!QDate::isValid(y, m, d))
        return false;
    jd = QDate(y, m, d).toJulianDay();
    return true;
}

bool timePart(std::string_view s, std::size_t &i, std::int64_t &us)
{
    int h = 0, mi = 0, sec = 0, micro = 0;
    if (!digits(s, i, 2, h) || h > 23 || i >= s.size() || s[i++] != ':' || !digits(s, i, 2, mi) || mi > 59)
        return false;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!digits(s, i, 2, sec) || sec > 59)
            return false;
        if (i < s.size() && s[i] == '.') {
            ++i;
            int n = 0;
            for (; i < s.size() && isDigit(s[i]); ++i, ++n) {
                if (n < 6)
                    micro = micro * 10 + (s[i] - '0');
                else if (s[i] != '0')
                    return false; // finer than a microsecond would be lost
            }
            if (n == 0)
                return false;
            for (; n < 6; ++n)
                micro *= 10;
        }
    }
    us = ((std::int64_t(h) * 60 + mi) * 60 + sec) * 1000000 + micro;
    return true;
}

void padScale(std::string &out, int scale)
{
    if (scale <= 0)
        return;
    const std::size_t dot = out.find('.');
    int have = 0;
    if (dot == std::string::npos)
        out += '.';
    else
        have = int(out.size() - dot - 1);
    if (have < scale)
        out.append(std::size_t(scale - have), '0');
}

} // namespace

void setNumberSizes(FieldInfo &f)
{
    switch (f.Type) {
    case adSmallInt: f.DefinedSize = 2; f.Precision = 5; break;
    case adInteger: f.DefinedSize = 4; f.Precision = 10; break;
    case adBigInt: f.DefinedSize = 8; f.Precision = 19; break;
    case adSingle: f.DefinedSize = 4; f.Precision = 7; break;
    case adDouble: f.DefinedSize = 8; f.Precision = 15; break;
    case adCurrency: f.DefinedSize = 8; f.Precision = 19; break;
    case adBoolean: f.DefinedSize = 2; f.Precision = 0; break;
    case adNumeric: f.DefinedSize = 19; break;
    case adDBDate: f.DefinedSize = 6; f.Precision = 10; break;
    case adDBTime: f.DefinedSize = 6; f.Precision = 8; break;
    case adDBTimeStamp: f.DefinedSize = 16; f.Precision = 23; break;
    case adGUID: f.DefinedSize = 16; f.Precision = 0; break;
    default: break;
    }
}

FieldInfo fieldForDeclaredType(const QString &declared)
{
    FieldInfo f;
    f.DeclaredType = declared.trimmed();
    const QString d = f.DeclaredType.toUpper();
    const qsizetype paren = d.indexOf(u'(');
    const QString base = (paren >= 0 ? d.left(paren) : d).simplified();
    std::vector<long> args;
    if (paren >= 0) {
        const qsizetype close = d.indexOf(u')', paren);
        const QStringList parts = d.mid(paren + 1, close < 0 ? -1 : close - paren - 1).split(u',');
        for (const QString &p : parts) {
            bool ok = false;
            const long v = p.trimmed().toLong(&ok);
            if (!ok)
                break;
            args.push_back(v);
        }
    }
    const long n = args.empty() ? 0 : args[0];
    auto is = [&](std::initializer_list<const char *> names) {
        for (const char *name : names) {
            if (base == QLatin1String(name))
                return true;
        }
        return false;
    };

    if (base.isEmpty())
        return typed(f, adEmpty);
    if (is({"DATE"}))
        return typed(f, adDBDate);
    if (is({"DATETIME", "TIMESTAMP", "DATETIME2", "SMALLDATETIME", "TIMESTAMP WITHOUT TIME ZONE", "TIMESTAMPTZ",
            "TIMESTAMP WITH TIME ZONE", "DATETIMEOFFSET"}))
        return typed(f, adDBTimeStamp);
    if (is({"TIME", "TIME WITHOUT TIME ZONE"}))
        return typed(f, adDBTime);
    if (is({"BOOLEAN", "BOOL", "BIT"}))
        return typed(f, adBoolean);
    if (is({"NUMERIC", "DECIMAL", "DEC", "NUMBER"})) {
        f = typed(f, adNumeric);
        f.Precision = int(n);
        f.NumericScale = args.size() > 1 ? int(args[1]) : 0;
        return f;
    }
    if (is({"MONEY", "SMALLMONEY", "CURRENCY"}))
        return typed(f, adCurrency);
    if (is({"GUID", "UUID", "UNIQUEIDENTIFIER"}))
        return typed(f, adGUID);
    if (is({"TINYINT", "SMALLINT", "INT2"}))
        return typed(f, adSmallInt);
    if (is({"BIGINT", "INT8", "UNSIGNED BIG INT"}))
        return typed(f, adBigInt);
    if (is({"CHAR", "CHARACTER"}))
        return n > 0 ? typed(f, adChar, n) : typed(f, adVarWChar);
    if (is({"NCHAR", "NATIVE CHARACTER", "NATIONAL CHARACTER", "NATIONAL CHAR"}))
        return n > 0 ? typed(f, adWChar, n) : typed(f, adVarWChar);
    if (is({"BLOB", "BINARY", "VARBINARY", "IMAGE", "BYTEA", "LONGBLOB", "MEDIUMBLOB", "TINYBLOB"}))
        return typed(f, adLongVarBinary, n);

    // SQLite's own affinity rules, in its order.
    if (base.contains(QLatin1String("INT")))
        return typed(f, adInteger);
    if (base.contains(QLatin1String("CHAR")) || base.contains(QLatin1String("CLOB")) || base.contains(QLatin1String("TEXT")))
        return typed(f, adVarWChar, n);
    if (base.contains(QLatin1String("BLOB")))
        return typed(f, adLongVarBinary, n);
    if (base.contains(QLatin1String("REAL")) || base.contains(QLatin1String("FLOA")) || base.contains(QLatin1String("DOUB")))
        return typed(f, adDouble);
    f = typed(f, adNumeric);
    f.Precision = int(n);
    f.NumericScale = args.size() > 1 ? int(args[1]) : 0;
    return f;
}

int typeOfStorageClass(int sqliteType)
{
    switch (sqliteType) {
    case SQLITE_INTEGER: return adBigInt; // SQLite integers are 64-bit
    case SQLITE_FLOAT: return adDouble;
    case SQLITE_BLOB: return adLongVarBinary;
    default: return adVarWChar;
    }
}

bool parseDouble(std::string_view s, double &out)
{
    if (s.empty())
        return false;
    for (char c : s) {
        if (!isDigit(c) && c != '.' && c != '-' && c != '+' && c != 'e' && c != 'E')
            return false;
    }
    const char *b = s.data(), *e = s.data() + s.size();
    if (*b == '+')
        ++b;
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e;
}

bool parseDate(std::string_view s, std::int64_t &julianDay)
{
    std::size_t i = 0;
    if (!datePart(s, i, julianDay))
        return false;
    if (i == s.size())
        return true;
    std::int64_t us = 0;
    if (s[i] != ' ' && s[i] != 'T')
        return false;
    ++i;
    return timePart(s, i, us) && i == s.size() && us == 0;
}

bool parseTime(std::string_view s, std::int64_t &usOfDay)
{
    std::size_t i = 0;
    return timePart(s, i, usOfDay) && i == s.size();
}

bool parseTimestamp(std::string_view s, std::int64_t &usSinceEpoch)
{
    std::size_t i = 0;
    std::int64_t jd = 0, us = 0;
    if (!datePart(s, i, jd))
        return false;
    if (i < s.size()) {
        if (s[i] != ' ' && s[i] != 'T')
            return false;
        ++i;
        if (!timePart(s, i, us) || i != s.size())
            return false;
    }
    usSinceEpoch = (jd - kEpochJulianDay) * kUsPerDay + us;
    return true;
}

bool canonicalDecimal(std::string_view s, int scale, std::string &out)
{
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        neg = s[i++] == '-';
    std::string intDigits, fracDigits;
    for (; i < s.size() && isDigit(s[i]); ++i)
        intDigits += s[i];
    if (i < s.size() && s[i] == '.') {
        for (++i; i < s.size() && isDigit(s[i]); ++i)
            fracDigits += s[i];
    }
    if (intDigits.empty() && fracDigits.empty())
        return false;
    if (i < s.size()) {
        if (s[i] != 'e' && s[i] != 'E')
            return false;
        int exp = 0;
        const char *b = s.data() + i + 1, *e = s.data() + s.size();
        if (b != e && *b == '+')
            ++b;
        const auto r = std::from_chars(b, e, exp);
        if (r.ec != std::errc() || r.ptr != e || exp > 1000 || exp < -1000)
            return false;
        if (exp > 0) {
            if (fracDigits.size() < std::size_t(exp))
                fracDigits.append(std::size_t(exp) - fracDigits.size(), '0');
            intDigits += fracDigits.substr(0, std::size_t(exp));
            fracDigits.erase(0, std::size_t(exp));
        } else if (exp < 0) {
            const std::size_t k = std::size_t(-exp);
            if (intDigits.size() < k)
                intDigits.insert(0, k - intDigits.size(), '0');
            fracDigits.insert(0, intDigits.substr(intDigits.size() - k));
            intDigits.erase(intDigits.size() - k);
        }
    }
    const std::size_t firstNonZero = intDigits.find_first_not_of('0');
    intDigits = firstNonZero == std::string::npos ? std::string("0") : intDigits.substr(firstNonZero);
    const bool zero = intDigits == "0" && fracDigits.find_first_not_of('0') == std::string::npos;
    out.clear();
    if (neg && !zero)
        out += '-';
    out += intDigits;
    if (!fracDigits.empty()) {
        out += '.';
        out += fracDigits;
    }
    padScale(out, scale);
    return true;
}

void decimalFromInt64(std::int64_t v, int scale, std::string &out)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.assign(buf, r.ptr);
    padScale(out, scale);
}

bool decimalFromDouble(double v, int scale, std::string &out)
{
    if (!std::isfinite(v))
        return false;
    if (v == 0)
        v = 0; // no "-0"
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    out.assign(buf, r.ptr);
    padScale(out, scale);
    return true;
}

std::string guidText(const unsigned char *b)
{
    static const char hex[] = "0123456789abcdef";
    std::string s;
    s.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            s += '-';
        s += hex[b[i] >> 4];
        s += hex[b[i] & 15];
    }
    return s;
}

} // namespace db::backends::sqlite
