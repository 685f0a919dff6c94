#include "views/SummarySql.h"

#include "core/QueryText.h"

#include "db/ValueRules.h"

#include <QStringList>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace analysis::summarysql {

namespace {

const QString kBreak = QStringLiteral("\r\n");

QString functionText(int function)
{
    switch (function) {
    case fnCount:
    case fnPercent: return QStringLiteral("COUNT(");
    case fnSum: return QStringLiteral("SUM(");
    case fnAvg: return QStringLiteral("AVG(");
    case fnMin: return QStringLiteral("MIN(");
    case fnMax: return QStringLiteral("MAX(");
    default: return {};
    }
}

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

bool needsValueColumn(int function)
{
    return function >= fnSum && function <= fnMax;
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
    const QString argument = needsValueColumn(choice.function) ? db::quoteIdentifier(choice.valueColumn, q)
                                                               : QStringLiteral("*");
    return functionText(choice.function) + argument + u')';
}

void check(const Choice &choice)
{
    if (choice.c0.isEmpty())
        throw std::invalid_argument("Choose the first column to group by.");
    if (functionText(choice.function).isEmpty())
        throw std::invalid_argument("Choose a summary function.");
    if (needsValueColumn(choice.function) && choice.valueColumn.isEmpty())
        throw std::invalid_argument("Choose the column the summary function applies to.");
}

// " HAVING <aggregate> <op> <number>", or nothing when no operator is chosen.
QString havingClause(const Choice &choice, const QString &q, const QLocale &locale)
{
    const QString op = operatorText(choice.op);
    if (op.isEmpty())
        return {};
    const std::optional<QString> number = canonicalWholeNumber(choice.value, locale);
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
    const QString groups = groupNames(choice, q).join(QStringLiteral(", "));
    return QStringLiteral("SELECT ") + selectList + kBreak + QStringLiteral("FROM (") + kBreak +
           withoutOrderBy(inner) + kBreak + QStringLiteral(") AS t") + kBreak + QStringLiteral("GROUP BY ") + groups +
           havingClause(choice, q, locale) + QStringLiteral(" ORDER BY ") + groups;
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

std::optional<QString> canonicalWholeNumber(const QString &text, const QLocale &locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qlonglong whole = locale.toLongLong(t, &ok);
    if (ok)
        return QString::number(whole);
    const double d = locale.toDouble(t, &ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) >= 9.2e18)
        return std::nullopt;
    return QString::number(qlonglong(std::llround(d)));
}

QString aggregateAlias(const Choice &choice)
{
    switch (choice.function) {
    case fnCount: return QStringLiteral("Count");
    case fnPercent: return QStringLiteral("% Total");
    case fnSum: return QStringLiteral("Sum of ") + choice.valueColumn;
    case fnAvg: return QStringLiteral("Avg of ") + choice.valueColumn;
    case fnMin: return QStringLiteral("Min of ") + choice.valueColumn;
    case fnMax: return QStringLiteral("Max of ") + choice.valueColumn;
    default: return {};
    }
}

QString summarySql(const Choice &choice, const QString &inner, const QString &delimiter, const QLocale &locale)
{
    check(choice);
    const QString q = delimiter;
    const QString select = groupNames(choice, q).join(QStringLiteral(", ")) + QStringLiteral(", ") +
                           aggregateOf(choice, q) + QStringLiteral(" AS ") +
                           db::quoteIdentifier(aggregateAlias(choice), q);
    return assemble(select, choice, inner, q, locale);
}

QString averagePartsSql(const Choice &choice, const QString &inner, const QString &delimiter, const QLocale &locale)
{
    check(choice);
    const QString q = delimiter;
    const QString value = db::quoteIdentifier(choice.valueColumn, q);
    const QString select = groupNames(choice, q).join(QStringLiteral(", ")) + QStringLiteral(", SUM(") + value +
                           QStringLiteral(") AS s, COUNT(") + value + QStringLiteral(") AS n");
    return assemble(select, choice, inner, q, locale);
}

QString numberFormat(int adoType)
{
    switch (adoType) {
    case 2: case 3: case 16: case 17: case 18: case 19: case 20: case 21: return QStringLiteral("#,###");
    case 4: case 5: case 14: case 131: return QStringLiteral("#,###.00");
    case 6: return QStringLiteral("$#,###.00");
    default: return {};
    }
}

} // namespace analysis::summarysql
