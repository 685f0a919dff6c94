#pragma once

#include "db/Field.h"

#include <sql.h>
#include <sqlext.h>

#include <QString>

#include <vector>

namespace db::odbc {

// What the driver reported about itself that changes how its answers are read.
struct DriverTraits {
    // The SQLite ODBC driver says 255 (with precision 0) for text without a declared length
    // and turns declared lengths over 255 into long types while keeping the length.
    bool sqliteDriver = false;
    bool postgres = false;
    SQLUINTEGER getDataExtensions = 0; // SQL_GETDATA_EXTENSIONS
    bool setPos = false;               // SQLSetPos is there (to reread a row of a block)
    QString searchEscape;              // SQL_SEARCH_PATTERN_ESCAPE
};

// A column as the driver describes it (SQLDescribeCol, SQLColAttribute, or a catalogue row).
struct OdbcColumn {
    QString name;
    SQLSMALLINT sqlType = SQL_VARCHAR; // concise type
    SQLLEN size = 0;                   // column size: characters, bytes or digits
    SQLSMALLINT digits = 0;            // decimal digits
    SQLLEN precision = 0;              // SQL_DESC_PRECISION where known
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    QString typeName;
    QString baseTable, baseColumn, baseSchema;
};

// The type code of an ODBC SQL type; the type name refines the few types drivers report
// loosely (PostgreSQL money arrives as SQL_FLOAT).
int adoTypeOf(SQLSMALLINT sqlType, const QString &typeName = {});

// Type, DefinedSize, precision and scale by the mapping rules. A PostgreSQL Boolean the driver
// hands over as text is a Boolean; through the SQLite driver, a declared decimal
// ("NUMERIC(10,2)") is typed as the native SQLite client types it. DefinedSize of text and binary
// is the declared length; 0 for long types and for what the driver reports when nothing was
// declared (SQL_NO_TOTAL, 65535 and more, and the SQLite driver's 255 stand-in).
FieldInfo toField(const OdbcColumn &c, const DriverTraits &traits);

// The columns of a prepared or executed statement on dbc. The SQLite driver names a declared
// decimal without its precision and scale (and types it as a double or as text): for a column of
// a table, the declaration is read from the catalogue on another statement of dbc.
std::vector<FieldInfo> describeResult(SQLHDBC dbc, SQLHSTMT stmt, const DriverTraits &traits,
                                      const QString &statement = {});

} // namespace db::odbc
