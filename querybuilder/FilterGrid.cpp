#include "FilterGrid.h"

#include <QLocale>

namespace querybuilder {

std::optional<bool> readBoolean(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double n = t.toDouble(&ok);
    if (ok)
        return n != 0;
    return std::nullopt;
}

bool inList(const QString &list, const QString &text)
{
    return list.split(QLatin1Char('|')).contains(text);
}

QValidator::State NumberValidator::validate(QString &input, int &) const
{
    const QString mark = QLocale().decimalPoint();
    int digits = 0;
    int marks = 0;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input.at(i);
        if (c.isDigit() && c.unicode() < 128)
            ++digits;
        else if (c == QLatin1Char('-') && i == 0)
            continue;
        else if ((c == QLatin1Char('.') || QString(c) == mark) && marks == 0)
            ++marks;
        else
            return Invalid;
    }
    return digits > 0 ? Acceptable : Intermediate;
}

bool NumberValidator::isNumber(const QString &text)
{
    QString copy = text;
    int pos = 0;
    return NumberValidator().validate(copy, pos) == Acceptable;
}

} // namespace querybuilder
