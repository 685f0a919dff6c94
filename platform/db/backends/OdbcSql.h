#pragma once

#include <QString>

#include <cstddef>
#include <string>

namespace db::odbc {

// True when sql is one query that reads and nothing else: SELECT, VALUES or TABLE, optionally
// behind WITH whose every part is itself such a query, no SELECT ... INTO, and no second
// statement after a ';'. ODBC drivers are free to run a statement to learn its columns, so
// only statements that pass this are ever described. Comments, string literals, quoted
// identifiers and dollar quotes are skipped as the databases do, read with and without
// backslash escapes in strings.
bool isReadOnlyQuery(const QString &sql);

// A decimal as the driver wrote it, in canonical form: no '+' or blanks, a zero before a
// leading point, no trailing point, a decimal comma turned into a point. Text that is not a
// plain decimal (an exponent, "NaN") is kept as it came, never rounded.
std::string canonicalDecimal(const char *text, std::size_t len);

} // namespace db::odbc
