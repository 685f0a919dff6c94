#pragma once

#include "db/Command.h"
#include "db/Dialect.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// The text work of the results pipeline, kept free of the control so that each rule can be
// checked on its own.
namespace analysis::querytext {

// Where a clause keyword ("WHERE", "GROUP BY", "ORDER BY"; any case, any run of blanks or line
// breaks between and after its words) starts at the statement's top level: outside parentheses,
// string literals, quoted names and comments. -1 when there is none.
qsizetype findClause(const QString &sql, const QString &keyword);

// The statement without its closing semicolons and whatever blanks and comments follow them:
// what is left can stand inside brackets or take a clause after it.
QString withoutClosingSemicolons(const QString &sql);

// Splices the column-menu filter and the query builder's filter into a table or view statement,
// each as one more condition of its WHERE clause, unless the clause already holds it.
QString getQuery(const QString &sql, const QString &filter, const QString &qbFilter);

// True when the sort list asks for an order (its first column is neither "-1" nor empty).
bool hasSortOrder(const QList<QStringList> &sortCols);

// Replaces the statement's ORDER BY with one built from the sort list (pairs of column name and
// "1" for descending). A statement that limits its rows (LIMIT, OFFSET, FETCH) keeps its own
// order and limit inside a derived table, and the new order sorts the rows it gives. The
// statement is returned unchanged when the list asks for no order.
QString changeOrderBy(const QString &sql, const QList<QStringList> &sortCols,
                      const QString &delimiter);

// The routine's call text ({ ? = call p(?, ?) }) with each marker after the return value's
// replaced, once, by the current value of the next parameter that is not the return value, as
// an SQL literal of its type in the dialect; a Null as nothing.
QString getParameters(const QString &source, const std::vector<db::Parameter> &parameters,
                      const db::Dialect &dialect = *db::Dialect::byDefault());

// Long binary and long text columns are not offered as fields.
bool allowedDataType(int adoType);

// Ascending by the first column, lower-cased, by character code; stable.
void sortArray(QList<QStringList> &rows);

} // namespace analysis::querytext
