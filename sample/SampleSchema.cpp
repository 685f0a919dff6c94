#include "SampleSchema.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace sample {

namespace {

using T = ColumnType;

ColumnDef pk(std::string_view name)
{
    return {name, T::Integer, 0, true, true, {}, {}};
}

ColumnDef col(std::string_view name, ColumnType type, int length = 0, bool notNull = false)
{
    return {name, type, length, notNull, false, {}, {}};
}

ColumnDef fk(std::string_view name, std::string_view table, bool notNull = false)
{
    return {name, T::Integer, 0, notNull, false, table, {}};
}

ColumnDef checked(ColumnDef column, std::string_view check)
{
    column.check = check;
    return column;
}

std::vector<ColumnDef> orderColumns(bool withForeignKeys)
{
    auto ref = [&](std::string_view name, std::string_view table, bool notNull) {
        return withForeignKeys ? fk(name, table, notNull) : col(name, T::Integer, 0, notNull);
    };
    return {
        pk("OrderID"),
        ref("CustomerID", "Customers", true),
        ref("EmployeeID", "Employees", false),
        col("OrderDate", T::Date, 0, true),
        col("RequiredDate", T::Date),
        col("ShippedDate", T::Date),
        ref("ShipVia", "Shippers", false),
        checked(col("Freight", T::Decimal), "Freight >= 0"),
        col("ShipName", T::VarChar, 60),
        col("ShipAddress", T::VarChar, 80),
        col("ShipCity", T::VarChar, 40),
        col("ShipPostalCode", T::VarChar, 12),
        col("ShipCountry", T::VarChar, 30),
        col("CreatedAt", T::DateTime, 0, true),
        col("Comment", T::Text),
    };
}

std::vector<TableDef> buildTables()
{
    std::vector<TableDef> tables;
    tables.push_back({{}, "Regions", {pk("RegionID"), col("RegionName", T::VarChar, 40, true)}});
    tables.push_back({{}, "Categories",
                      {pk("CategoryID"), col("CategoryName", T::VarChar, 30, true),
                       col("Description", T::Text)}});
    tables.push_back({{}, "Suppliers",
                      {pk("SupplierID"), col("CompanyName", T::VarChar, 60, true),
                       col("ContactName", T::VarChar, 50), col("ContactTitle", T::VarChar, 40),
                       col("Address", T::VarChar, 80), col("City", T::VarChar, 40),
                       col("PostalCode", T::VarChar, 12), col("Country", T::VarChar, 30, true),
                       col("CountryCode", T::Char, 2, true), fk("RegionID", "Regions"),
                       col("Phone", T::VarChar, 24), col("HomePage", T::Text)}});
    tables.push_back({{}, "Shippers",
                      {pk("ShipperID"), col("CompanyName", T::VarChar, 40, true),
                       col("Phone", T::VarChar, 24)}});
    tables.push_back({{}, "Employees",
                      {pk("EmployeeID"), col("LastName", T::VarChar, 30, true),
                       col("FirstName", T::VarChar, 30, true), col("Title", T::VarChar, 50),
                       col("BirthDate", T::Date), col("HireDate", T::Date, 0, true),
                       col("TerminationDate", T::Date), col("City", T::VarChar, 40),
                       col("Country", T::VarChar, 30), fk("RegionID", "Regions"),
                       fk("ReportsTo", "Employees"), col("Extension", T::Char, 4),
                       col("Email", T::VarChar, 80), checked(col("Salary", T::Decimal), "Salary > 0"),
                       col("IsActive", T::Boolean, 0, true), col("Notes", T::Text)}});
    tables.push_back({{}, "Customers",
                      {pk("CustomerID"), col("CustomerCode", T::Char, 6, true),
                       col("CompanyName", T::VarChar, 60, true), col("ContactName", T::VarChar, 50),
                       col("ContactTitle", T::VarChar, 40), col("Address", T::VarChar, 80),
                       col("City", T::VarChar, 40, true), col("StateProvince", T::VarChar, 30),
                       col("PostalCode", T::VarChar, 12), col("Country", T::VarChar, 30, true),
                       col("CountryCode", T::Char, 2, true), fk("RegionID", "Regions"),
                       col("Phone", T::VarChar, 24), col("Email", T::VarChar, 80),
                       col("CreditLimit", T::Decimal), col("IsActive", T::Boolean, 0, true),
                       col("CreatedAt", T::DateTime, 0, true)}});
    tables.push_back({{}, "Products",
                      {pk("ProductID"), col("ProductName", T::VarChar, 60, true),
                       fk("SupplierID", "Suppliers"), fk("CategoryID", "Categories"),
                       col("QuantityPerUnit", T::VarChar, 30),
                       checked(col("UnitPrice", T::Decimal, 0, true), "UnitPrice >= 0"),
                       col("UnitsInStock", T::Integer), col("UnitsOnOrder", T::Integer),
                       col("ReorderLevel", T::Integer), col("WeightKg", T::Real),
                       col("Discontinued", T::Boolean, 0, true), col("IntroducedOn", T::Date),
                       col("Picture", T::Blob)}});
    tables.push_back({{}, "Orders", orderColumns(true)});

    ColumnDef orderId = fk("OrderID", "Orders", true);
    orderId.primaryKey = true;
    ColumnDef productId = fk("ProductID", "Products", true);
    productId.primaryKey = true;
    tables.push_back({{}, "Order Details",
                      {orderId, productId,
                       checked(col("UnitPrice", T::Decimal, 0, true), "UnitPrice >= 0"),
                       checked(col("Quantity", T::Integer, 0, true), "Quantity > 0"),
                       checked(col("Discount", T::Real, 0, true), "Discount >= 0 AND Discount < 1")}});
    return tables;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return out;
}

const ColumnDef &primaryKeyOf(std::string_view tableName)
{
    const TableDef &table = sampleTable(tableName);
    for (const ColumnDef &column : table.columns)
        if (column.primaryKey)
            return column;
    throw std::logic_error("table without a primary key");
}

} // namespace

bool TableDef::hasCompositeKey() const
{
    return std::count_if(columns.begin(), columns.end(), [](const ColumnDef &c) { return c.primaryKey; }) > 1;
}

const std::vector<TableDef> &sampleTables()
{
    static const std::vector<TableDef> tables = buildTables();
    return tables;
}

const TableDef &sampleTable(std::string_view name)
{
    for (const TableDef &table : sampleTables())
        if (table.name == name)
            return table;
    throw std::logic_error("unknown sample table");
}

const TableDef &archiveOrdersTable()
{
    static const TableDef table{"archive", "Orders", orderColumns(false)};
    return table;
}

const std::vector<IndexDef> &sampleIndexes()
{
    static const std::vector<IndexDef> indexes{
        {"Suppliers", "RegionID"},   {"Employees", "RegionID"},      {"Employees", "ReportsTo"},
        {"Customers", "RegionID"},   {"Customers", "Country"},       {"Products", "SupplierID"},
        {"Products", "CategoryID"},  {"Orders", "CustomerID"},       {"Orders", "EmployeeID"},
        {"Orders", "ShipVia"},       {"Orders", "OrderDate"},        {"Order Details", "ProductID"},
    };
    return indexes;
}

const std::vector<ViewDef> &sampleViews()
{
    static const std::vector<ViewDef> views{
        {"Product List",
         "SELECT p.ProductID, p.ProductName, c.CategoryName, s.CompanyName AS SupplierName,\n"
         "       s.Country AS SupplierCountry, p.QuantityPerUnit, p.UnitPrice, p.UnitsInStock,\n"
         "       p.Discontinued\n"
         "FROM Products AS p\n"
         "JOIN Categories AS c ON c.CategoryID = p.CategoryID\n"
         "LEFT JOIN Suppliers AS s ON s.SupplierID = p.SupplierID",
         {}},
        {"Sales by Category",
         "SELECT c.CategoryID, c.CategoryName, CAST(strftime('%Y', o.OrderDate) AS INTEGER) AS OrderYear,\n"
         "       COUNT(DISTINCT o.OrderID) AS OrderCount, SUM(od.Quantity) AS Units,\n"
         "       ROUND(SUM(od.UnitPrice * od.Quantity * (1 - od.Discount)), 2) AS Sales\n"
         "FROM \"Order Details\" AS od\n"
         "JOIN Orders AS o ON o.OrderID = od.OrderID\n"
         "JOIN Products AS p ON p.ProductID = od.ProductID\n"
         "JOIN Categories AS c ON c.CategoryID = p.CategoryID\n"
         "GROUP BY c.CategoryID, c.CategoryName, CAST(strftime('%Y', o.OrderDate) AS INTEGER)",
         "SELECT c.CategoryID, c.CategoryName, CAST(EXTRACT(YEAR FROM o.OrderDate) AS integer) AS OrderYear,\n"
         "       COUNT(DISTINCT o.OrderID) AS OrderCount, SUM(od.Quantity) AS Units,\n"
         "       ROUND(SUM(od.UnitPrice * od.Quantity * (1 - CAST(od.Discount AS numeric))), 2) AS Sales\n"
         "FROM \"Order Details\" AS od\n"
         "JOIN Orders AS o ON o.OrderID = od.OrderID\n"
         "JOIN Products AS p ON p.ProductID = od.ProductID\n"
         "JOIN Categories AS c ON c.CategoryID = p.CategoryID\n"
         "GROUP BY c.CategoryID, c.CategoryName, CAST(EXTRACT(YEAR FROM o.OrderDate) AS integer)"},
        {"Customer Orders",
         "SELECT o.OrderID, o.OrderDate, o.ShippedDate, c.CustomerID, c.CompanyName, c.City, c.Country,\n"
         "       t.LineCount, ROUND(t.Subtotal, 2) AS Subtotal, o.Freight\n"
         "FROM Orders AS o\n"
         "JOIN Customers AS c ON c.CustomerID = o.CustomerID\n"
         "JOIN (SELECT OrderID, COUNT(*) AS LineCount,\n"
         "             SUM(UnitPrice * Quantity * (1 - Discount)) AS Subtotal\n"
         "      FROM \"Order Details\" GROUP BY OrderID) AS t ON t.OrderID = o.OrderID",
         "SELECT o.OrderID, o.OrderDate, o.ShippedDate, c.CustomerID, c.CompanyName, c.City, c.Country,\n"
         "       t.LineCount, ROUND(t.Subtotal, 2) AS Subtotal, o.Freight\n"
         "FROM Orders AS o\n"
         "JOIN Customers AS c ON c.CustomerID = o.CustomerID\n"
         "JOIN (SELECT OrderID, COUNT(*) AS LineCount,\n"
         "             SUM(UnitPrice * Quantity * (1 - CAST(Discount AS numeric))) AS Subtotal\n"
         "      FROM \"Order Details\" GROUP BY OrderID) AS t ON t.OrderID = o.OrderID"},
    };
    return views;
}

std::string identifier(Dialect dialect, std::string_view name)
{
    if (name.find(' ') != std::string_view::npos) {
        std::string quoted(1, '"');
        quoted.append(name).push_back('"');
        return quoted;
    }
    return dialect == Dialect::PostgreSQL ? lower(name) : std::string(name);
}

std::string qualifiedName(Dialect dialect, const TableDef &table)
{
    std::string name = identifier(dialect, table.name);
    if (!table.schema.empty())
        name = identifier(dialect, table.schema) + "." + name;
    return name;
}

std::string declaredType(Dialect dialect, const ColumnDef &column)
{
    const bool pg = dialect == Dialect::PostgreSQL;
    switch (column.type) {
    case T::Integer: return pg ? "integer" : "INTEGER";
    case T::Text: return pg ? "text" : "TEXT";
    case T::VarChar: return (pg ? "varchar(" : "VARCHAR(") + std::to_string(column.length) + ")";
    case T::Char: return (pg ? "char(" : "CHAR(") + std::to_string(column.length) + ")";
    case T::Decimal: return pg ? "numeric(10,2)" : "NUMERIC(10,2)";
    case T::Real: return pg ? "double precision" : "REAL";
    case T::Date: return pg ? "date" : "DATE";
    case T::DateTime: return pg ? "timestamp" : "DATETIME";
    case T::Boolean: return pg ? "boolean" : "BOOLEAN";
    case T::Blob: return pg ? "bytea" : "BLOB";
    }
    return {};
}

std::string createTableSql(Dialect dialect, const TableDef &table)
{
    const bool pg = dialect == Dialect::PostgreSQL;
    const bool composite = table.hasCompositeKey();
    std::string sql = "CREATE TABLE " + qualifiedName(dialect, table) + " (";
    std::string keyList;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDef &column = table.columns[i];
        sql += (i ? ",\n    " : "\n    ") + identifier(dialect, column.name) + " " + declaredType(dialect, column);
        if (column.primaryKey && composite) {
            keyList += (keyList.empty() ? "" : ", ") + identifier(dialect, column.name);
        } else if (column.primaryKey) {
            // Identity only where the database hands out new keys; archived rows keep theirs.
            sql += pg && table.schema.empty() ? " GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY" : " PRIMARY KEY";
        }
        if (column.notNull && !column.primaryKey)
            sql += " NOT NULL";
        if (!column.references.empty()) {
            sql += " REFERENCES " + identifier(dialect, column.references) + " ("
                + identifier(dialect, primaryKeyOf(column.references).name) + ")";
        }
        if (!column.check.empty())
            sql += " CHECK (" + std::string(column.check) + ")";
    }
    if (composite)
        sql += ",\n    PRIMARY KEY (" + keyList + ")";
    sql += "\n)";
    return sql;
}

std::string createIndexSql(Dialect dialect, const IndexDef &index)
{
    std::string table(index.table);
    std::erase(table, ' ');
    const std::string name = "IX_" + table + "_" + std::string(index.column);
    return "CREATE INDEX " + identifier(dialect, name) + " ON " + identifier(dialect, index.table) + " ("
        + identifier(dialect, index.column) + ")";
}

std::string createViewSql(Dialect dialect, const ViewDef &view)
{
    const std::string_view body =
        dialect == Dialect::PostgreSQL && !view.postgres.empty() ? view.postgres : view.sqlite;
    return "CREATE VIEW " + identifier(dialect, view.name) + " AS\n" + std::string(body);
}

std::string decimalText(Decimal2 value)
{
    const std::int64_t magnitude = value.cents < 0 ? -value.cents : value.cents;
    std::string text = value.cents < 0 ? "-" : "";
    const std::int64_t fraction = magnitude % 100;
    text += std::to_string(magnitude / 100) + (fraction < 10 ? ".0" : ".") + std::to_string(fraction);
    return text;
}

} // namespace sample
