#include "grid/GridFormat.h"

#include <QStringList>

#include <cmath>
#include <limits>

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
    QString digits = QString::number(a, 'f', p.maxDec);
    QString intPart = digits;
    QString decPart;
    const qsizetype dot = digits.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        intPart = digits.left(dot);
        decPart = digits.mid(dot + 1);
    }
    while (decPart.size() > p.minDec && decPart.endsWith(QLatin1Char('0')))
        decPart.chop(1);
    const bool zero = intPart.count(QLatin1Char('0')) == intPart.size() && decPart.count(QLatin1Char('0')) == decPart.size();
    // Leading zeros of the integer part only where the pattern asks for them.
    while (intPart.size() > p.minInt && intPart.startsWith(QLatin1Char('0')))
        intPart.remove(0, 1);
    while (intPart.size() < p.minInt)
        intPart.prepend(QLatin1Char('0'));
    if (p.group && intPart.size() > 3) {
        for (qsizetype pos = intPart.size() - 3; pos > 0; pos -= 3)
            intPart.insert(pos, QLatin1Char(','));
    }
    QString out;
    if (showSign && value < 0 && !zero)
        out += QLatin1Char('-');
    out += p.prefix;
    out += intPart;
    if (!decPart.isEmpty())
        out += QLatin1Char('.') + decPart;
    out += p.suffix;
    return out;
}

} // namespace

QString formatNumber(double value, const QString &pattern)
{
    if (pattern.isEmpty() || !std::isfinite(value))
        return numberText(value);
    const QStringList sections = pattern.split(QLatin1Char(';'));
    if (sections.size() >= 3 && value == 0.0 && !sections.at(2).isEmpty())
        return applyPattern(value, parsePattern(sections.at(2)), false);
    if (sections.size() >= 2 && value < 0 && !sections.at(1).isEmpty())
        return applyPattern(value, parsePattern(sections.at(1)), false);
    return applyPattern(value, parsePattern(sections.at(0)), true);
}

std::optional<double> parseNumber(const QString &text)
{
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
    if (!std::isfinite(value))
        return QString::number(value);
    QString text = QString::number(value, 'g', 15);
    if (text.toDouble() != value)
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
