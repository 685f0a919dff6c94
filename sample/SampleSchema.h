#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace sample {

enum class Dialect { SQLite, PostgreSQL };

// Logical column types; each dialect writes its own declared type for them.
enum class ColumnType { Integer, Text, VarChar, Char, Decimal, Real, Date, DateTime, Boolean, Blob };

struct ColumnDef {
    std::string_view name;
    ColumnType type;
    int length = 0;             // VARCHAR/CHAR only
    bool notNull = false;
    bool primaryKey = false;    // several in one table make a composite key
    std::string_view references; // referenced table (its primary key), empty for none
    std::string_view check;     // CHECK expression, written unquoted so both dialects fold it alike
};

struct TableDef {
    std::string_view schema; // empty: the default schema (main / public)
    std::string_view name;
    std::vector<ColumnDef> columns;

    bool hasCompositeKey() const;
};

struct IndexDef {
    std::string_view table;
    std::string_view column;
};

struct ViewDef {
    std::string_view name;
    std::string_view sqlite;   // body after AS
    std::string_view postgres; // body after AS
};

// Exact decimal with two places; NUMERIC(10,2) columns hold these.
struct Decimal2 {
    std::int64_t cents = 0;
    bool operator==(const Decimal2 &) const = default;
};

struct Null {
    bool operator==(const Null &) const = default;
};

using Blob = std::vector<std::uint8_t>;

// Dates and date-times travel as ISO text; Booleans as bool.
using Value = std::variant<Null, std::int64_t, double, std::string, Decimal2, bool, Blob>;

// Tables in an order that satisfies every foreign key.
const std::vector<TableDef> &sampleTables();
const TableDef &sampleTable(std::string_view name);
// The PostgreSQL-only table archive.orders: same columns as Orders, no foreign keys.
const TableDef &archiveOrdersTable();
const std::vector<IndexDef> &sampleIndexes();
const std::vector<ViewDef> &sampleViews();

// Identifier as written in the dialect: PostgreSQL folds to lower case except names with a
// blank, which stay as they are so queries quote them the same way in both databases.
std::string identifier(Dialect dialect, std::string_view name);
std::string qualifiedName(Dialect dialect, const TableDef &table);
std::string declaredType(Dialect dialect, const ColumnDef &column);
std::string createTableSql(Dialect dialect, const TableDef &table);
std::string createIndexSql(Dialect dialect, const IndexDef &index);
std::string createViewSql(Dialect dialect, const ViewDef &view);

// Canonical decimal text, e.g. -3.05.
std::string decimalText(Decimal2 value);

} // namespace sample
