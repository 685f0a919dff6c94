#pragma once

#include <QLocale>
#include <QString>

#include <optional>

// The text of the aggregate statement behind the summary, cross-tab and chart views, kept free of
// the control so that each rule can be checked on its own.
namespace analysis::summarysql {

// What one picker bar asks for. Group columns and the value column are field names as listed;
// an empty c1/c2 is "<none>". op is the operator's list position (0 none, 1 =, 2 <>, 3 >, 4 <);
// value is the number box's text as the user sees it.
struct Choice {
    QString c0;
    QString c1;
    QString c2;
    int function = -1; // an aggregates::Function
    QString valueColumn;
    int op = 0;
    QString value;
};

// The statement with closing semicolons dropped and its top-level ORDER BY cut, unless a LIMIT,
// OFFSET or FETCH follows it (then the order picks the rows and stays).
QString withoutOrderBy(const QString &statement);

// A number typed in the user's locale (its decimal point, and its thousands separators where
// they group thousands) as an exact plain decimal ("1,000.50" gives "1000.5"); nothing for an
// empty or non-numeric text.
std::optional<QString> canonicalNumber(const QString &text, const QLocale &locale = QLocale());

// A canonical number as the user reads it in the locale, with or without thousands separators.
QString localNumber(const QString &canonical, const QLocale &locale = QLocale(), bool grouped = true);

// SELECT <groups>, <aggregate> FROM (<inner>) AS t GROUP BY <groups> [HAVING ...] ORDER BY
// <groups>, names quoted with the delimiter. `inner` is the results statement with its filters
// and without its ORDER BY. Throws std::invalid_argument with a message for the user when an
// operator is chosen and the value box is empty or holds no number, or when the function needs
// a value column and none is chosen.
QString summarySql(const Choice &choice, const QString &inner, const QString &delimiter,
                   const QLocale &locale = QLocale());

// The averages' summary in one statement: summarySql's columns for Avg, then each group's sum and
// count of the value column, from which averages over several groups are computed exactly.
QString averagePartsSql(const Choice &choice, const QString &inner, const QString &delimiter,
                        const QLocale &locale = QLocale());

} // namespace analysis::summarysql
