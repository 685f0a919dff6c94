#include "grid/GridFormat.h"

#include "db/Types.h"

#include <QStringList>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace grid::format {

namespace {

struct NumberPattern {
    QString prefix;
    QString suffix;
    int minInt = 0;
    int minDec = 0;
    int maxDec = 0;
    bool group = false;
    bool percent = false;
};

NumberPattern parsePattern(const QString &section)
{
    NumberPattern p;
    bool inNumber = false;
    bool afterNumber = false;
    bool inDecimals = false;
    bool quoted = false;
    for (int i = 0; i < section.size(); ++i) {
        const QChar ch = section.at(i);
        if (quoted) {
            if (ch == QLatin1Char('"'))
                quoted = false;
            else
                (inNumber || afterNumber ? p.suffix : p.prefix).append(ch);
            continue;
        }
        if (ch == QLatin1Char('"')) {
            quoted = true;
            continue;
        }
        if (ch == QLatin1Char('\\') && i + 1 < section.size()) {
            (inNumber || afterNumber ? p.suffix : p.prefix).append(section.at(++i));
            continue;
        }
        const bool placeholder = ch == QLatin1Char('#') || ch == QLatin1Char('0');
        if (placeholder && !afterNumber) {
            inNumber = true;
            if (inDecimals) {
                ++p.maxDec;
                if (ch == QLatin1Char('0'))
                    p.minDec = p.maxDec;
            } else if (ch == QLatin1Char('0')) {
                ++p.minInt;
            }
            continue;
        }
        if (ch == QLatin1Char(',') && !afterNumber && !inDecimals) {
            if (inNumber)
                p.group = true;
            else
                p.prefix.append(ch);
            continue;
        }
        if (ch == QLatin1Char('.') && !afterNumber && !inDecimals) {
            inDecimals = true;
            inNumber = true;
            continue;
        }
        if (ch == QLatin1Char('%'))
            p.percent = true;
        if (inNumber) {
            inNumber = false;
            afterNumber = true;
        }
        (afterNumber ? p.suffix : p.prefix).append(ch);
    }
    return p;
}

QString applyPattern(double value, const NumberPattern &p, bool showSign)
{
    double a = std::fabs(value);
    if (p.percent)
        a *= 100.0;
    // Worked on in place: a grid measures and paints every shown number through here.
    const QString digits = QString::number(a, 'f', p.maxDec);
    const QChar *d = digits.constData();
    const qsizetype dot = digits.indexOf(QLatin1Char('.'));
    const qsizetype intEnd = dot >= 0 ? dot : digits.size();
    const qsizetype decBegin = dot >= 0 ? dot + 1 : digits.size();
    qsizetype decEnd = digits.size();
    while (decEnd - decBegin > p.minDec && d[decEnd - 1] == QLatin1Char('0'))
        --decEnd;
    bool zero = true;
    for (qsizetype i = 0; i < decEnd && zero; ++i)
        zero = i == dot || d[i] == QLatin1Char('0');
    // Leading zeros of the integer part only where the pattern asks for them.
    qsizetype intBegin = 0;
    while (intEnd - intBegin > p.minInt && d[intBegin] == QLatin1Char('0'))
        ++intBegin;
    const qsizetype pad = std::max<qsizetype>(0, p.minInt - (intEnd - intBegin));
    const qsizetype intSize = pad + intEnd - intBegin;
    const bool group = p.group && intSize > 3;

    QString out;
    out.reserve(1 + p.prefix.size() + intSize + intSize / 3 + 1 + (decEnd - decBegin) + p.suffix.size());
    if (showSign && value < 0 && !zero)
        out += QLatin1Char('-');
    out += p.prefix;
    for (qsizetype k = 0; k < intSize; ++k) {
        if (group && k > 0 && (intSize - k) % 3 == 0)
            out += QLatin1Char(',');
        out += k < pad ? QChar(QLatin1Char('0')) : d[intBegin + k - pad];
    }
    if (decEnd > decBegin) {
        out += QLatin1Char('.');
        out += QStringView(d + decBegin, decEnd - decBegin);
    }
    out += p.suffix;
    return out;
}

// A pattern's sections, parsed once for the run of cells that share it.
struct ParsedPattern {
    QString pattern;
    qsizetype sections = 0;
    std::array<NumberPattern, 3> parts;
    std::array<bool, 3> empty{};
};

const ParsedPattern &parsed(const QString &pattern)
{
    thread_local ParsedPattern last;
    if (last.sections > 0 && last.pattern == pattern)
        return last;
    const QStringList sections = pattern.split(QLatin1Char(';'));
    last.pattern = pattern;
    last.sections = sections.size();
    for (qsizetype i = 0; i < 3; ++i) {
        const bool present = i < sections.size();
        last.empty[std::size_t(i)] = !present || sections.at(i).isEmpty();
        last.parts[std::size_t(i)] = present ? parsePattern(sections.at(i)) : NumberPattern{};
    }
    return last;
}

// "-1234.5", "42", "0.001": the plain decimals the program writes into cells, read without copies.
// Anything else is left to the full reading.
std::optional<double> plainDecimal(const QString &text)
{
    std::array<char, 48> buf;
    const qsizetype n = text.size();
    if (n == 0 || n > qsizetype(buf.size()))
        return std::nullopt;
    const bool negative = text.at(0) == QLatin1Char('-');
    int intDigits = 0;
    int decDigits = 0;
    bool dot = false;
    std::size_t len = 0;
    for (qsizetype i = negative ? 1 : 0; i < n; ++i) {
        const char16_t ch = text.at(i).unicode();
        if (ch >= u'0' && ch <= u'9')
            ++(dot ? decDigits : intDigits);
        else if (ch == u'.' && !dot)
            dot = true;
        else
            return std::nullopt;
        buf[len++] = char(ch);
    }
    if (intDigits == 0 || (dot && decDigits == 0))
        return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(buf.data(), buf.data() + len, v);
    if (ec != std::errc() || end != buf.data() + len)
        return std::nullopt;
    return negative ? -v : v;
}

} // namespace

QString formatNumber(double value, const QString &pattern)
{
    if (pattern.isEmpty() || !std::isfinite(value))
        return numberText(value);
    const ParsedPattern &p = parsed(pattern);
    if (p.sections >= 3 && value == 0.0 && !p.empty[2])
        return applyPattern(value, p.parts[2], false);
    if (p.sections >= 2 && value < 0 && !p.empty[1])
        return applyPattern(value, p.parts[1], false);
    return applyPattern(value, p.parts[0], true);
}

std::optional<double> parseNumber(const QString &text)
{
    if (const std::optional<double> plain = plainDecimal(text))
        return plain;
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool negative = false;
    if (t.startsWith(QLatin1Char('-'))) {
        negative = true;
        t = t.mid(1).trimmed();
    }
    if (t.startsWith(QLatin1Char('$')))
        t = t.mid(1).trimmed();
    if (t.startsWith(QLatin1Char('-')) && !negative) {
        negative = true;
        t = t.mid(1).trimmed();
    }
    double scale = 1.0;
    if (t.endsWith(QLatin1Char('%'))) {
        t.chop(1);
        scale = 0.01;
    }
    if (t.contains(QLatin1Char(','))) {
        // Commas only as thousands separators of the integer part.
        const qsizetype dot = t.indexOf(QLatin1Char('.'));
        const QString intPart = dot >= 0 ? t.left(dot) : t;
        const QStringList groups = intPart.split(QLatin1Char(','));
        for (int i = 1; i < groups.size(); ++i)
            if (groups.at(i).size() != 3)
                return std::nullopt;
        if (groups.at(0).isEmpty())
            return std::nullopt;
        t.remove(QLatin1Char(','));
    }
    if (t.isEmpty() || t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-')))
        return std::nullopt;
    for (QChar ch : t) {
        if (!(ch.isDigit() || ch == QLatin1Char('.') || ch == QLatin1Char('e') || ch == QLatin1Char('E')
              || ch == QLatin1Char('+') || ch == QLatin1Char('-')))
            return std::nullopt; // "inf", "nan", hex and the like are text
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return (negative ? -v : v) * scale;
}

QString numberText(double value)
{
    if (value == 0.0)
        return QStringLiteral("0"); // never "-0"
    if (std::isnan(value))
        return QStringLiteral("NaN"); // as the databases and the cells write it
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    QString text = QString::number(value, 'g', 15);
    // Read back as parseNumber reads it, without its copies: the text is Latin-1.
    std::array<char, 32> buf;
    double back = 0;
    if (text.size() <= qsizetype(buf.size())) {
        for (qsizetype i = 0; i < text.size(); ++i)
            buf[std::size_t(i)] = char(text.at(i).unicode());
        std::from_chars(buf.data(), buf.data() + text.size(), back);
    }
    if (back != value)
        text = QString::number(value, 'g', std::numeric_limits<double>::max_digits10);
    return text;
}

QString qtDateFormat(const QString &classic)
{
    QString out;
    bool lastWasHour = false;
    for (int i = 0; i < classic.size();) {
        const QChar ch = classic.at(i).toLower();
        int run = 1;
        while (i + run < classic.size() && classic.at(i + run).toLower() == ch)
            ++run;
        const QString token = classic.mid(i, run);
        if (ch == QLatin1Char('d')) {
            out += QString(run, QLatin1Char('d'));
            lastWasHour = false;
        } else if (ch == QLatin1Char('y')) {
            out += run <= 2 ? QStringLiteral("yy") : QStringLiteral("yyyy");
            lastWasHour = false;
        } else if (ch == QLatin1Char('m')) {
            // "m" right after an hour means minutes, as the classic patterns read it.
            out += lastWasHour && run <= 2 ? QString(run, QLatin1Char('m')) : QString(run, QLatin1Char('M'));
            lastWasHour = false;
        } else if (ch == QLatin1Char('n')) {
            out += QString(qMin(run, 2), QLatin1Char('m'));
            lastWasHour = false;
        } else if (ch == QLatin1Char('h')) {
            out += QString(qMin(run, 2), QLatin1Char('h'));
            lastWasHour = true;
        } else if (ch == QLatin1Char('s')) {
            out += QString(qMin(run, 2), QLatin1Char('s'));
            lastWasHour = false;
        } else if (ch.isLetter()) {
            out += QLatin1Char('\'') + token + QLatin1Char('\'');
        } else {
            // Separators keep an hour context ("hh:mm"); an apostrophe would open quoted text.
            out += QString(token).replace(QLatin1Char('\''), QLatin1String("''"));
        }
        i += run;
    }
    return out;
}

QString typeFormat(int adoType)
{
    switch (adoType) {
    case db::adSmallInt: case db::adInteger: case db::adTinyInt: case db::adUnsignedTinyInt:
    case db::adUnsignedSmallInt: case db::adUnsignedInt: case db::adBigInt: case db::adUnsignedBigInt:
        return QStringLiteral("#,###");
    case db::adSingle: case db::adDouble: case db::adDecimal: case db::adNumeric:
        return QStringLiteral("#,###.00");
    case db::adCurrency:
        return QStringLiteral("$#,###.00");
    default:
        return {};
    }
}

QString groupedCount(qint64 n, const QLocale &locale)
{
    QLocale grouping = locale;
    grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouping.toString(n);
}

bool isCheckedText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (const auto v = parseNumber(t))
        return *v != 0.0;
    return false;
}

} // namespace grid::format
