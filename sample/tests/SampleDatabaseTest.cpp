#include "SampleData.h"
#include "SampleTestDb.h"
#include "SqliteWriter.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <map>

using sampletest::Db;

namespace {

std::filesystem::path writeDatabase(const QTemporaryDir &dir)
{
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "Sample.db";
    std::string error;
    EXPECT_TRUE(sample::writeSqliteDatabase(path, error)) << error;
    return path;
}

// Every table and view, rows in key order, plus the schema text.
std::map<std::string, std::uint64_t> fingerprint(const Db &db)
{
    std::map<std::string, std::uint64_t> sums;
    sums["schema"] = db.checksum("SELECT type, name, sql FROM sqlite_master ORDER BY name");
    for (const sample::TableDef &table : sample::sampleTables()) {
        const std::string name = sample::identifier(sample::Dialect::SQLite, table.name);
        sums[std::string(table.name)] = db.checksum("SELECT * FROM " + name + " ORDER BY rowid");
    }
    sums["Product List"] = db.checksum("SELECT * FROM \"Product List\" ORDER BY ProductID");
    return sums;
}

class SampleDatabaseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        s_path = writeDatabase(*s_dir);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    Db db{s_path};

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline std::filesystem::path s_path;
};

TEST_F(SampleDatabaseTest, HoldsTheDesignedRowCounts)
{
    EXPECT_EQ(db.text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(db.number("PRAGMA user_version"), 1);
    const std::map<std::string, int> expected{
        {"Regions", sample::counts::regions},     {"Categories", sample::counts::categories},
        {"Suppliers", sample::counts::suppliers}, {"Shippers", sample::counts::shippers},
        {"Employees", sample::counts::employees}, {"Customers", sample::counts::customers},
        {"Products", sample::counts::products},   {"Orders", sample::counts::orders},
        {"Order Details", sample::counts::orderDetails}};
    for (const auto &[table, rows] : expected)
        EXPECT_EQ(db.number("SELECT count(*) FROM \"" + table + "\""), rows) << table;
    EXPECT_EQ(db.number("SELECT count(*) FROM sqlite_master WHERE type = 'table'"), 9);
    EXPECT_EQ(db.number("SELECT count(*) FROM sqlite_master WHERE type = 'view'"), 3);
}

TEST_F(SampleDatabaseTest, DeclaresTheTypesColumnsAreTypedBy)
{
    auto declared = [&](const std::string &table, const std::string &column) {
        return db.text("SELECT type FROM pragma_table_info('" + table + "') WHERE name = '" + column + "'");
    };
    EXPECT_EQ(declared("Customers", "CustomerID"), "INTEGER");
    EXPECT_EQ(db.number("SELECT pk FROM pragma_table_info('Customers') WHERE name = 'CustomerID'"), 1);
    EXPECT_EQ(declared("Customers", "CustomerCode"), "CHAR(6)");
    EXPECT_EQ(declared("Customers", "CompanyName"), "VARCHAR(60)");
    EXPECT_EQ(declared("Customers", "CreatedAt"), "DATETIME");
    EXPECT_EQ(declared("Products", "UnitPrice"), "NUMERIC(10,2)");
    EXPECT_EQ(declared("Products", "WeightKg"), "REAL");
    EXPECT_EQ(declared("Products", "Discontinued"), "BOOLEAN");
    EXPECT_EQ(declared("Products", "Picture"), "BLOB");
    EXPECT_EQ(declared("Orders", "OrderDate"), "DATE");
    EXPECT_EQ(declared("Orders", "Comment"), "TEXT");
    EXPECT_EQ(db.number("SELECT count(*) FROM pragma_table_info('Order Details') WHERE pk > 0"), 2);

    // Stored values keep the shapes the declared types promise.
    EXPECT_EQ(db.number("SELECT count(*) FROM Orders WHERE typeof(OrderDate) <> 'text' OR OrderDate NOT GLOB "
                        "'[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]'"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Orders WHERE CreatedAt NOT GLOB "
                        "'[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Products WHERE typeof(Discontinued) <> 'integer' OR Discontinued NOT IN (0, 1)"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Order Details\" WHERE typeof(UnitPrice) NOT IN ('real', 'integer')"), 0);
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Order Details\" WHERE abs(UnitPrice * 100 - round(UnitPrice * 100)) > 1e-6"), 0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Products WHERE Picture IS NOT NULL AND (typeof(Picture) <> 'blob' OR "
                        "substr(Picture, 1, 2) <> CAST('BM' AS BLOB) OR length(Picture) <> 822)"),
              0);
    EXPECT_GT(db.number("SELECT count(*) FROM Products WHERE Picture IS NOT NULL"), 5);
}

TEST_F(SampleDatabaseTest, GeneratesTheSameContentEveryTime)
{
    QTemporaryDir again;
    const Db second(writeDatabase(again));
    EXPECT_EQ(fingerprint(db), fingerprint(second));

    // Pinned across builds and compilers: the data must not hang on evaluation order or
    // library versions. A deliberate change to the data updates these figures.
    EXPECT_EQ(db.number("SELECT sum(Quantity) FROM \"Order Details\""), 1207034);
    EXPECT_EQ(db.number("SELECT round(sum(UnitPrice * Quantity) * 100) FROM \"Order Details\""), 5697900365);
    EXPECT_EQ(db.text("SELECT CompanyName || '|' || ContactName || '|' || City FROM Customers WHERE CustomerID = 1234"),
              "La Cuisine de Lyon|Léa Chevalier|Lyon");
}

TEST_F(SampleDatabaseTest, KeepsApostrophesAndNonAsciiLetters)
{
    auto customersLike = [&](const std::string &pattern) {
        return db.number("SELECT count(*) FROM Customers WHERE ContactName LIKE ?1 OR CompanyName LIKE ?1", pattern);
    };
    EXPECT_GT(customersLike("%O'Brien%"), 0);
    EXPECT_GT(customersLike("%Müller%"), 0);
    EXPECT_GT(customersLike("%Ødegaard%"), 0);
    EXPECT_GT(db.number("SELECT count(*) FROM Customers WHERE City = ?", "São Paulo"), 0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Employees WHERE LastName IN ('O''Brien', 'Müller', 'Ødegaard')"), 3);
    // UTF-8, not Latin-1: the ü of Müller takes two bytes.
    EXPECT_EQ(db.number("SELECT length(CAST(LastName AS BLOB)) - length(LastName) FROM Employees WHERE EmployeeID = 6"), 1);
    // Order remarks with a line break and a backslash survive as written.
    EXPECT_GT(db.number("SELECT count(*) FROM Orders WHERE Comment = 'Invoice to head office' || char(10) || "
                        "'Goods to the branch store'"),
              0);
    EXPECT_GT(db.number("SELECT count(*) FROM Orders WHERE Comment = ?", "Ref. PO\\4711"), 0);
}

TEST_F(SampleDatabaseTest, HasNullsBesideValuesInSeveralTypes)
{
    const std::vector<std::pair<std::string, std::string>> columns{
        {"Customers", "Phone"},      {"Customers", "StateProvince"}, {"Customers", "PostalCode"},
        {"Customers", "CreditLimit"}, {"Products", "WeightKg"},      {"Products", "ReorderLevel"},
        {"Products", "IntroducedOn"}, {"Products", "Picture"},       {"Products", "SupplierID"},
        {"Orders", "ShippedDate"},   {"Orders", "EmployeeID"},       {"Employees", "TerminationDate"},
        {"Employees", "ReportsTo"},  {"Employees", "Salary"},        {"Categories", "Description"}};
    for (const auto &[table, column] : columns) {
        const std::int64_t nulls = db.number("SELECT count(*) FROM " + table + " WHERE " + column + " IS NULL");
        const std::int64_t values = db.number("SELECT count(" + column + ") FROM " + table);
        EXPECT_GT(nulls, 0) << table << "." << column;
        EXPECT_GT(values, 0) << table << "." << column;
    }
    // A Null is a Null, never an empty text.
    EXPECT_EQ(db.number("SELECT count(*) FROM Customers WHERE Phone = '' OR StateProvince = '' OR Email = ''"), 0);
}

TEST_F(SampleDatabaseTest, ViewsQueryAndAgreeWithTheirTables)
{
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Product List\""), sample::counts::products);
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Customer Orders\""), sample::counts::orders);
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Sales by Category\""), sample::counts::categories * 6);

    const std::int64_t byView = db.number("SELECT round(sum(Sales)) FROM \"Sales by Category\"");
    const std::int64_t byTable =
        db.number("SELECT round(sum(UnitPrice * Quantity * (1 - Discount))) FROM \"Order Details\"");
    EXPECT_NEAR(static_cast<double>(byView), static_cast<double>(byTable), 1.0);
    EXPECT_EQ(db.number("SELECT sum(LineCount) FROM \"Customer Orders\""), sample::counts::orderDetails);
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Product List\" WHERE SupplierName IS NULL"),
              db.number("SELECT count(*) FROM Products WHERE SupplierID IS NULL"));
}

TEST_F(SampleDatabaseTest, ForeignKeysAreDeclaredIndexedAndKept)
{
    EXPECT_EQ(db.number("SELECT count(*) FROM pragma_foreign_key_check"), 0);

    const std::string references = db.text(
        "SELECT group_concat(t || '.' || \"from\" || '>' || \"table\", ' ') FROM (SELECT m.name AS t, f.* FROM "
        "sqlite_master AS m, pragma_foreign_key_list(m.name) AS f WHERE m.type = 'table' ORDER BY m.name, f.\"from\")");
    for (const char *expected : {"Employees.ReportsTo>Employees", "Orders.CustomerID>Customers",
                                 "Orders.EmployeeID>Employees", "Orders.ShipVia>Shippers",
                                 "Order Details.OrderID>Orders", "Order Details.ProductID>Products",
                                 "Products.CategoryID>Categories", "Products.SupplierID>Suppliers"})
        EXPECT_NE(references.find(expected), std::string::npos) << expected << " in " << references;

    // Every foreign-key column leads some index (the composite key covers OrderID).
    EXPECT_EQ(db.number("SELECT count(*) FROM sqlite_master AS m, pragma_foreign_key_list(m.name) AS f "
                        "WHERE m.type = 'table' AND NOT EXISTS (SELECT 1 FROM pragma_index_list(m.name) AS l, "
                        "pragma_index_info(l.name) AS i WHERE i.seqno = 0 AND i.name = f.\"from\")"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Employees WHERE ReportsTo IS NULL"), 1);
}

TEST_F(SampleDatabaseTest, OrdersFitTheirCustomersStaffAndProducts)
{
    EXPECT_EQ(db.text("SELECT min(OrderDate) || ' ' || max(OrderDate) FROM Orders"), "2019-01-01 2024-12-31");
    EXPECT_EQ(db.number("SELECT count(*) FROM Orders WHERE ShippedDate < OrderDate OR RequiredDate <= OrderDate"), 0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Orders AS o JOIN Customers AS c USING (CustomerID) "
                        "WHERE o.OrderDate < date(c.CreatedAt)"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM Orders AS o JOIN Employees AS e USING (EmployeeID) WHERE "
                        "o.OrderDate < e.HireDate OR o.OrderDate > coalesce(e.TerminationDate, '9999-12-31') "
                        "OR e.Title <> 'Sales Representative'"),
              0);
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Order Details\" AS d JOIN Orders AS o USING (OrderID) JOIN Products "
                        "AS p USING (ProductID) WHERE o.OrderDate < p.IntroducedOn OR (p.Discontinued AND o.OrderDate >= "
                        "'2023-01-01')"),
              0);
    EXPECT_EQ(db.text("SELECT min(n) || '-' || max(n) FROM (SELECT count(*) AS n FROM \"Order Details\" GROUP BY OrderID)"),
              "1-6");
    EXPECT_EQ(db.number("SELECT count(*) FROM \"Order Details\" WHERE UnitPrice <= 0 OR Quantity <= 0 OR Discount < 0 "
                        "OR Discount >= 1"),
              0);
    // Later years sell more: the growth an analysis should find.
    EXPECT_LT(db.number("SELECT count(*) FROM Orders WHERE OrderDate < '2020-01-01'"),
              db.number("SELECT count(*) FROM Orders WHERE OrderDate >= '2024-01-01'"));
}

} // namespace
