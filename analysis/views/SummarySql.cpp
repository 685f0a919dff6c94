#include "views/SummarySql.h"

#include "core/QueryText.h"
#include "views/Aggregates.h"

#include "db/ValueRules.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace analysis::summarysql {

namespace {

const QString kBreak = QStringLiteral("\r\n");

QString operatorText(int op)
{
    switch (op) {
    case 1: return QStringLiteral(" = ");
    case 2: return QStringLiteral(" <>");
    case 3: return QStringLiteral(" > ");
    case 4: return QStringLiteral(" < ");
    default: return {};
    }
}

QStringList groupNames(const Choice &choice, const QString &q)
{
    QStringList names{db::quoteIdentifier(choice.c0, q)};
    if (!choice.c1.isEmpty())
        names << db::quoteIdentifier(choice.c1, q);
    if (!choice.c2.isEmpty())
        names << db::quoteIdentifier(choice.c2, q);
    return names;
}

QString aggregateOf(const Choice &choice, const QString &q)
{
    const aggregates::Aggregate &a = aggregates::aggregate(choice.function);
    const QString argument = a.needsValueColumn ? db::quoteIdentifier(choice.valueColumn, q) : QStringLiteral("*");
    return QLatin1String(a.sql) + u'(' + argument + u')';
}

void check(const Choice &choice)
{
    if (choice.c0.isEmpty())
        throw std::invalid_argument("Choose the first column to group by.");
    const aggregates::Aggregate *a = aggregates::find(choice.function);
    if (!a)
        throw std::invalid_argument("Choose a summary function.");
    if (a->needsValueColumn && choice.valueColumn.isEmpty())
        throw std::invalid_argument("Choose the column the summary function applies to.");
}

// " HAVING <aggregate> <op> <number>", or nothing when no operator is chosen.
QString havingClause(const Choice &choice, const QString &q, const QLocale &locale)
{
    const QString op = operatorText(choice.op);
    if (op.isEmpty())
        return {};
    const std::optional<QString> number = canonicalNumber(choice.value, locale);
    if (!number) {
        const QString text = choice.value.trimmed().isEmpty()
                                 ? QStringLiteral("Enter the number to compare the summary with.")
                                 : QStringLiteral("\"%1\" is not a number.").arg(choice.value.trimmed());
        throw std::invalid_argument(text.toStdString());
    }
    return QStringLiteral(" HAVING ") + aggregateOf(choice, q) + op + *number;
}

QString assemble(const QString &selectList, const Choice &choice, const QString &inner, const QString &q,
                 const QLocale &locale)
{
    const QStringList names = groupNames(choice, q);
    // The groups lead the select list; by position, a group column named as the aggregate's alias
    // ("Count", "Sum of v") is not taken for the aggregate (SQLite) or called ambiguous (PostgreSQL).
    QStringList positions;
    for (qsizetype i = 1; i <= names.size(); ++i)
        positions << QString::number(i);
    return QStringLiteral("SELECT ") + selectList + kBreak + QStringLiteral("FROM (") + kBreak +
           withoutOrderBy(inner) + kBreak + QStringLiteral(") AS t") + kBreak + QStringLiteral("GROUP BY ") +
           names.join(QStringLiteral(", ")) + havingClause(choice, q, locale) + QStringLiteral(" ORDER BY ") +
           positions.join(QStringLiteral(", "));
}

} // namespace

QString withoutOrderBy(const QString &statement)
{
    const QString s = querytext::withoutClosingSemicolons(statement.trimmed()).trimmed();
    const qsizetype order = querytext::findClause(s, QStringLiteral("ORDER BY"));
    if (order < 0)
        return s;
    const QString tail = s.mid(order);
    for (const char *word : {"LIMIT", "OFFSET", "FETCH"}) {
        if (querytext::findClause(tail, QLatin1String(word)) >= 0)
            return s;
    }
    return s.left(order).trimmed();
}

std::optional<QString> canonicalNumber(const QString &text, const QLocale &locale)
{
    QString t = text.trimmed();
    QString sign;
    for (const QString &minus : {locale.negativeSign(), QStringLiteral("-")}) {
        if (!minus.isEmpty() && t.startsWith(minus)) {
            sign = QStringLiteral("-");
            t = t.mid(minus.size());
            break;
        }
    }
    if (sign.isEmpty() && t.startsWith(u'+'))
        t = t.mid(1);
    const QString point = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    const qsizetype at = t.indexOf(point);
    QString whole = at < 0 ? t : t.left(at);
    const QString fraction = at < 0 ? QString() : t.mid(at + point.size());
    // Separators only where they group thousands: "1,00.5" is a slip, not a hundred.
    if (!group.isEmpty() && whole.contains(group)) {
        const QStringList groups = whole.split(group);
        if (groups.front().isEmpty() || groups.front().size() > 3)
            return std::nullopt;
        for (qsizetype i = 1; i < groups.size(); ++i)
            if (groups[i].size() != 3)
                return std::nullopt;
        whole = groups.join(QString());
    }
    const auto digits = [](const QString &part) {
        return std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if ((whole.isEmpty() && fraction.isEmpty()) || !digits(whole) || !digits(fraction))
        return std::nullopt;
    const QString plain = sign + (whole.isEmpty() ? QStringLiteral("0") : whole) +
                          (fraction.isEmpty() ? QString() : QStringLiteral(".") + fraction);
    const std::optional<std::string> value = db::decimalValueText(plain.toStdString());
    if (!value)
        return std::nullopt;
    return QString::fromStdString(*value);
}

QString localNumber(const QString &canonical, const QLocale &locale, bool grouped)
{
    const bool negative = canonical.startsWith(u'-');
    const QString digits = negative ? canonical.mid(1) : canonical;
    const qsizetype at = digits.indexOf(u'.');
    QString whole = at < 0 ? digits : digits.left(at);
    if (grouped) {
        for (qsizetype i = whole.size() - 3; i > 0; i -= 3)
            whole.insert(i, locale.groupSeparator());
    }
    return (negative ? locale.negativeSign() : QString()) + whole +
           (at < 0 ? QString() : locale.decimalPoint() + digits.mid(at + 1));
}

QString summarySql(const Choice &choice, const QString &inner, const QString &delimiter, const QLocale &locale)
{
    check(choice);
    const QString q = delimiter;
    const QString select = groupNames(choice, q).join(QStringLiteral(", ")) + QStringLiteral(", ") +
                           aggregateOf(choice, q) + QStringLiteral(" AS ") +
                           db::quoteIdentifier(aggregates::alias(choice.function, choice.valueColumn), q);
    return assemble(select, choice, inner, q, locale);
}

QString averagePartsSql(const Choice &choice, const QString &inner, const QString &delimiter, const QLocale &locale)
{
    check(choice);
    const QString q = delimiter;
    const QString value = db::quoteIdentifier(choice.valueColumn, q);
    const QString select = groupNames(choice, q).join(QStringLiteral(", ")) + QStringLiteral(", AVG(") + value +
                           QStringLiteral(") AS ") +
                           db::quoteIdentifier(aggregates::alias(choice.function, choice.valueColumn), q) +
                           QStringLiteral(", SUM(") + value + QStringLiteral(") AS ") +
                           db::quoteIdentifier(QStringLiteral("Sum of ") + choice.valueColumn, q) +
                           QStringLiteral(", COUNT(") + value + QStringLiteral(") AS ") +
                           db::quoteIdentifier(QStringLiteral("Count of ") + choice.valueColumn, q);
    return assemble(select, choice, inner, q, locale);
}

} // namespace analysis::summarysql
