#include "db/backends/OdbcTypes.h"

#include "db/backends/OdbcHandles.h"
#include "db/backends/SqliteTypes.h"

#include <algorithm>
#include <map>

namespace db::odbc {

namespace {

bool isMoneyName(const QString &typeName)
{
    return typeName.compare(QLatin1String("money"), Qt::CaseInsensitive) == 0
        || typeName.compare(QLatin1String("smallmoney"), Qt::CaseInsensitive) == 0;
}

bool isBooleanName(const QString &typeName)
{
    return typeName.compare(QLatin1String("bool"), Qt::CaseInsensitive) == 0
        || typeName.compare(QLatin1String("boolean"), Qt::CaseInsensitive) == 0;
}

bool isCharType(SQLSMALLINT t)
{
    switch (t) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return true;
    default: return false;
    }
}

// The names the native SQLite client reads as exact decimals.
bool isDecimalDeclaration(const QString &typeName)
{
    const QString base = typeName.section(QLatin1Char('('), 0, 0).simplified().toUpper();
    return base == QLatin1String("NUMERIC") || base == QLatin1String("DECIMAL") || base == QLatin1String("DEC")
        || base == QLatin1String("NUMBER");
}

bool isLongType(SQLSMALLINT t)
{
    return t == SQL_LONGVARCHAR || t == SQL_WLONGVARCHAR || t == SQL_LONGVARBINARY;
}

long declaredLength(const OdbcColumn &c, const DriverTraits &traits)
{
    const SQLLEN n = c.size;
    if (n <= 0 || n >= 65535)
        return 0;
    if (traits.sqliteDriver) {
        if (n == 255 && c.precision == 0)
            return 0;
        if (isLongType(c.sqlType))
            return c.precision == n ? long(n) : 0;
        return long(n);
    }
    return isLongType(c.sqlType) ? 0 : long(n);
}

} // namespace

int adoTypeOf(SQLSMALLINT sqlType, const QString &typeName)
{
    // The PostgreSQL driver sends Booleans as the text 1 or 0 unless told otherwise.
    if (isCharType(sqlType) && isBooleanName(typeName))
        return adBoolean;
    switch (sqlType) {
    case SQL_SMALLINT:
    case SQL_TINYINT: return adSmallInt;
    case SQL_INTEGER: return adInteger;
    case SQL_BIGINT: return adBigInt;
    case SQL_BIT: return adBoolean;
    case SQL_REAL: return isMoneyName(typeName) ? adCurrency : adSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE: return isMoneyName(typeName) ? adCurrency : adDouble;
    case SQL_NUMERIC:
    case SQL_DECIMAL: return isMoneyName(typeName) ? adCurrency : adNumeric;
    case SQL_TYPE_DATE:
    case SQL_DATE: return adDBDate;
    case SQL_TYPE_TIME:
    case SQL_TIME: return adDBTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: return adDBTimeStamp;
    case SQL_CHAR: return adChar;
    case SQL_WCHAR: return adWChar;
    case SQL_GUID: return adGUID;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: return adLongVarBinary;
    default: return adVarWChar; // varchar, long text, intervals and driver-specific types: text loses nothing
    }
}

FieldInfo toField(const OdbcColumn &c, const DriverTraits &traits)
{
    FieldInfo f;
    f.Name = c.name;
    f.Type = adoTypeOf(c.sqlType, c.typeName);
    f.Nullable = c.nullable != SQL_NO_NULLS;
    f.DeclaredType = c.typeName;
    f.BaseTableName = c.baseTable;
    // Drivers echo the label as base column of an expression; only a table has base columns.
    f.BaseColumnName = c.baseTable.isEmpty() ? QString() : c.baseColumn;
    f.BaseSchemaName = c.baseSchema;
    if (traits.sqliteDriver && isDecimalDeclaration(c.typeName)) {
        const FieldInfo declared = backends::sqlite::fieldForDeclaredType(c.typeName);
        f.Type = adNumeric;
        f.DefinedSize = 19;
        f.Precision = declared.Precision;
        f.NumericScale = declared.NumericScale;
        return f;
    }
    switch (f.Type) {
    case adSmallInt: f.DefinedSize = 2; f.Precision = 5; break;
    case adInteger: f.DefinedSize = 4; f.Precision = 10; break;
    case adBigInt: f.DefinedSize = 8; f.Precision = 19; break;
    case adBoolean: f.DefinedSize = 1; break;
    case adSingle: f.DefinedSize = 4; f.Precision = 7; break;
    case adDouble: f.DefinedSize = 8; f.Precision = 15; break;
    case adCurrency: f.DefinedSize = 8; f.Precision = 19; f.NumericScale = 2; break;
    case adNumeric:
        f.DefinedSize = 19;
        f.Precision = c.size > 0 && c.size < 1000 ? int(c.size) : 0;
        f.NumericScale = c.digits > 0 ? c.digits : 0;
        break;
    case adGUID: f.DefinedSize = 16; break;
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp: break;
    default: f.DefinedSize = declaredLength(c, traits); break;
    }
    return f;
}

namespace {

QString attrText(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field)
{
    char buf[512];
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLColAttribute(stmt, col, field, buf, SQLSMALLINT(sizeof buf), &len, nullptr)))
        return {};
    return QString::fromUtf8(buf, qsizetype(std::min<int>(std::max<int>(len, 0), int(sizeof buf) - 1)));
}

SQLLEN attrNumber(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field)
{
    SQLLEN v = 0;
    if (!SQL_SUCCEEDED(SQLColAttribute(stmt, col, field, nullptr, 0, nullptr, &v)))
        return 0;
    return v;
}

// Declared types of a table's columns by name, as the catalogue has them; empty when it cannot say.
std::map<QString, QString> declaredTypes(SQLHDBC dbc, const DriverTraits &traits, const QString &table)
{
    std::map<QString, QString> out;
    SQLHSTMT raw = SQL_NULL_HSTMT;
    if (!dbc || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &raw)))
        return out;
    const StmtPtr stmt(raw);
    QByteArray name = searchPattern(table, traits.searchEscape).toUtf8();
    if (!SQL_SUCCEEDED(SQLColumns(raw, nullptr, 0, nullptr, 0, sqlText(name), SQLSMALLINT(name.size()), nullptr, 0)))
        return out;
    try {
        while (SQL_SUCCEEDED(SQLFetch(raw))) {
            if (columnText(raw, 3).value_or(QString()) != table)
                continue;
            const QString column = columnText(raw, 4).value_or(QString());
            out.emplace(column, columnText(raw, 6).value_or(QString()));
        }
    } catch (const DbError &) {
        out.clear(); // typed as the driver says, then
    }
    return out;
}

} // namespace

std::vector<FieldInfo> describeResult(SQLHDBC dbc, SQLHSTMT stmt, const DriverTraits &traits, const QString &statement)
{
    SQLSMALLINT count = 0;
    checkStmt(SQLNumResultCols(stmt, &count), stmt, "SQLNumResultCols", statement);
    std::vector<FieldInfo> fields;
    fields.reserve(std::size_t(count));
    std::map<QString, std::map<QString, QString>> declared; // by base table, read once
    for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i) {
        std::string name(256, '\0');
        SQLSMALLINT nameLen = 0;
        OdbcColumn c;
        SQLULEN size = 0;
        auto describe = [&] {
            return SQLDescribeCol(stmt, i, reinterpret_cast<SQLCHAR *>(name.data()), SQLSMALLINT(name.size()), &nameLen,
                                  &c.sqlType, &size, &c.digits, &c.nullable);
        };
        SQLRETURN rc = describe();
        if (SQL_SUCCEEDED(rc) && std::size_t(nameLen) >= name.size()) {
            name.assign(std::size_t(nameLen) + 1, '\0');
            rc = describe();
        }
        checkStmt(rc, stmt, "SQLDescribeCol", statement);
        c.name = QString::fromUtf8(name.data(), qsizetype(std::min<std::size_t>(std::size_t(nameLen), name.size() - 1)));
        // SQL_NO_TOTAL and friends arrive as huge unsigned sizes.
        c.size = size > SQLULEN(0x7fffffff) ? 0 : SQLLEN(size);
        // The concise type of SQLDescribeCol, not SQL_DESC_TYPE: that one says SQL_DATETIME for
        // every date type.
        c.precision = attrNumber(stmt, i, SQL_DESC_PRECISION);
        c.typeName = attrText(stmt, i, SQL_DESC_TYPE_NAME);
        c.baseTable = attrText(stmt, i, SQL_DESC_BASE_TABLE_NAME);
        c.baseColumn = attrText(stmt, i, SQL_DESC_BASE_COLUMN_NAME);
        c.baseSchema = attrText(stmt, i, SQL_DESC_SCHEMA_NAME);
        if (traits.sqliteDriver && isDecimalDeclaration(c.typeName) && !c.baseTable.isEmpty()) {
            auto table = declared.find(c.baseTable);
            if (table == declared.end())
                table = declared.emplace(c.baseTable, declaredTypes(dbc, traits, c.baseTable)).first;
            const auto column = table->second.find(c.baseColumn);
            if (column != table->second.end() && isDecimalDeclaration(column->second))
                c.typeName = column->second;
        }
        fields.push_back(toField(c, traits));
    }
    return fields;
}

} // namespace db::odbc
