#pragma once

#include "db/Types.h"

#include <QString>

namespace db {

// What is known of a result column (or a table column) without reading a row.
struct FieldInfo {
    QString Name;
    int Type = adVarWChar;        // DataTypeEnum
    long DefinedSize = 0;         // declared length of text/binary, 0 when unbounded; byte size of numbers
    int Precision = 0;            // digits of numbers (decimal/numeric: declared precision)
    int NumericScale = 0;         // decimals of decimal/numeric
    bool Nullable = true;
    QString BaseTableName;        // where the column comes from, empty for expressions
    QString BaseColumnName;
    QString BaseSchemaName;
    QString DeclaredType;         // the database's own type name, e.g. "VARCHAR(40)", "int4"
};

// Tables, views and stored routines as the schema lists them.
struct SchemaObject {
    enum class Kind { Table, View, Routine };
    Kind kind = Kind::Table;
    QString Owner;     // schema; empty where the database has none (SQLite)
    QString Name;
    QString Created;   // ISO date-time text where the database keeps it, else empty
    QString Modified;  // likewise
    QString Description;
};

// A parameter of a stored routine, from the catalogue.
struct ParameterInfo {
    QString Name;
    int Direction = adParamInput; // ParameterDirectionEnum
    int Type = adVarWChar;
    long Size = 0;
    int Precision = 0;
    int NumericScale = 0;
    bool HasDefault = false;
};

} // namespace db
