#include "PostgresScript.h"
#include "SampleData.h"
#include "SampleTestDb.h"
#include "SampleTool.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

using sampletest::Db;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun run(const std::vector<std::string> &arguments)
{
    std::ostringstream out, err;
    const int code = sample::runSampleTool(arguments, out, err);
    return {code, out.str(), err.str()};
}

class SampleToolTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    fs::path folder{dir.path().toStdString()};
    fs::path database = folder / "Sample.db";
    fs::path ini = folder / "DataSources.ini";

    std::vector<std::string> folderEntries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SampleToolTest, WritesDatabaseAndIniNamingItsAbsolutePath)
{
    const fs::path nested = folder / "new" / "folder";
    const ToolRun result = run({nested.string()});
    ASSERT_EQ(result.code, 0) << result.err;
    EXPECT_TRUE(fs::is_regular_file(nested / "Sample.db"));
    EXPECT_EQ(readFile(nested / "DataSources.ini"),
              "[1]\nName=Sample\nID=1\nConnection=Provider=SQLite;Data Source=" + (nested / "Sample.db").string()
                  + "\nDescription=Sample trading company database\nDelimiter=\n");
}

TEST_F(SampleToolTest, IniKeepsOddPathsInOnePiece)
{
    std::string text, error;
    ASSERT_TRUE(sample::dataSourcesIni("/data/a;b}c/Sample.db", text, error));
    EXPECT_NE(text.find("Data Source={/data/a;b}}c/Sample.db}\n"), std::string::npos) << text;
    ASSERT_TRUE(sample::dataSourcesIni("/data/Übersicht/Sample.db", text, error));
    EXPECT_NE(text.find("Data Source=/data/Übersicht/Sample.db\n"), std::string::npos) << text;
    EXPECT_FALSE(sample::dataSourcesIni("/data/two\nlines/Sample.db", text, error));
    EXPECT_NE(error.find("line break"), std::string::npos);
}

TEST_F(SampleToolTest, OptionsChooseWhichFilesAreWritten)
{
    ASSERT_EQ(run({folder.string(), "--ini-only"}).code, 0);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"DataSources.ini"});

    fs::remove(ini);
    ASSERT_EQ(run({folder.string(), "--no-ini"}).code, 0);
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"Sample.db"});
}

TEST_F(SampleToolTest, IfMissingLeavesExistingFilesUntouched)
{
    writeFile(database, "the user's own data");
    writeFile(ini, "[1]\nName=Mine\n");
    const ToolRun kept = run({folder.string(), "--if-missing"});
    ASSERT_EQ(kept.code, 0) << kept.err;
    EXPECT_EQ(readFile(database), "the user's own data");
    EXPECT_EQ(readFile(ini), "[1]\nName=Mine\n");
    EXPECT_NE(kept.out.find("Kept"), std::string::npos);

    // Each file on its own: a missing database is still written beside a kept ini.
    fs::remove(database);
    ASSERT_EQ(run({folder.string(), "--if-missing"}).code, 0);
    EXPECT_EQ(Db(database).number("SELECT count(*) FROM Orders"), sample::counts::orders);
    EXPECT_EQ(readFile(ini), "[1]\nName=Mine\n");

    // Without the option both are replaced.
    writeFile(database, "stale");
    ASSERT_EQ(run({folder.string()}).code, 0);
    EXPECT_EQ(Db(database).number("SELECT count(*) FROM Customers"), sample::counts::customers);
    EXPECT_NE(readFile(ini).find("Name=Sample"), std::string::npos);
}

TEST_F(SampleToolTest, FailureReportsAndLeavesNoHalfWrittenFile)
{
    // A folder where the database belongs: the finished file cannot be moved there.
    fs::create_directory(database);
    writeFile(database / "keep.txt", "x");
    const ToolRun result = run({folder.string(), "--no-ini"});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("Sample.db"), std::string::npos) << result.err;
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"Sample.db"}); // no temporary left behind
    EXPECT_EQ(readFile(database / "keep.txt"), "x");

    // The output "folder" is a file.
    const fs::path file = folder / "plain";
    writeFile(file, "x");
    const ToolRun notAFolder = run({file.string()});
    EXPECT_EQ(notAFolder.code, 1);
    EXPECT_FALSE(notAFolder.err.empty());
    EXPECT_EQ(readFile(file), "x");
}

TEST_F(SampleToolTest, RejectsWrongCommandLines)
{
    for (const std::vector<std::string> &arguments :
         std::vector<std::vector<std::string>>{{},
                                               {folder.string(), "--bogus"},
                                               {folder.string(), "--no-ini", "--ini-only"},
                                               {folder.string(), "other"},
                                               {"--postgres-sql"},
                                               {"--if-missing"}}) {
        const ToolRun result = run(arguments);
        EXPECT_EQ(result.code, 2) << (arguments.empty() ? "" : arguments.back());
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
    }
    EXPECT_TRUE(folderEntries().empty());
    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--postgres-sql"), std::string::npos);
}

TEST(PostgresScriptTest, CopyFieldsEscapeWhatTheTextFormatReserves)
{
    using sample::Value;
    EXPECT_EQ(sample::copyField(Value(sample::Null{})), "\\N");
    EXPECT_EQ(sample::copyField(Value(std::string("a\tb\nc\\d\re"))), "a\\tb\\nc\\\\d\\re");
    EXPECT_EQ(sample::copyField(Value(std::string("\\N"))), "\\\\N"); // a text, not a Null
    EXPECT_EQ(sample::copyField(Value(std::string("O'Brien – Ødegaard"))), "O'Brien – Ødegaard");
    EXPECT_EQ(sample::copyField(Value(true)), "t");
    EXPECT_EQ(sample::copyField(Value(false)), "f");
    EXPECT_EQ(sample::copyField(Value(std::int64_t{-42})), "-42");
    EXPECT_EQ(sample::copyField(Value(0.1)), "0.1");
    EXPECT_EQ(sample::copyField(Value(1.0 / 3.0)), "0.3333333333333333");
    EXPECT_EQ(sample::copyField(Value(sample::Decimal2{-305})), "-3.05");
    EXPECT_EQ(sample::copyField(Value(sample::Decimal2{7})), "0.07");
    EXPECT_EQ(sample::copyField(Value(sample::Decimal2{123400})), "1234.00");
    EXPECT_EQ(sample::copyField(Value(sample::Blob{0x00, 0xAB, 0x10})), "\\\\x00ab10");
}

// The script's COPY rows of one table, split into fields.
std::vector<std::vector<std::string>> copyRows(const std::string &script, const std::string &copyHead)
{
    std::vector<std::vector<std::string>> rows;
    std::size_t at = script.find(copyHead);
    if (at == std::string::npos)
        return rows;
    at = script.find('\n', at) + 1;
    while (script.compare(at, 3, "\\.\n") != 0) {
        const std::size_t end = script.find('\n', at);
        std::vector<std::string> fields;
        std::stringstream line(script.substr(at, end - at));
        for (std::string field; std::getline(line, field, '\t');)
            fields.push_back(field);
        rows.push_back(fields);
        at = end + 1;
    }
    return rows;
}

TEST(PostgresScriptTest, CarriesTheSameRowsAsTheSqliteFile)
{
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    ASSERT_EQ(run({folder.string(), "--no-ini", "--postgres-sql", (folder / "sample.sql").string()}).code, 0);
    const std::string script = readFile(folder / "sample.sql");
    const Db db(folder / "Sample.db");

    for (const sample::TableDef &table : sample::sampleTables()) {
        const std::string name = sample::qualifiedName(sample::Dialect::PostgreSQL, table);
        const auto rows = copyRows(script, "COPY " + name + " (");
        EXPECT_EQ(static_cast<std::int64_t>(rows.size()),
                  db.number("SELECT count(*) FROM " + sample::identifier(sample::Dialect::SQLite, table.name)))
            << name;
        for (const auto &row : rows)
            ASSERT_EQ(row.size(), table.columns.size()) << name << " row " << row.front();
    }

    // Columns line up and Nulls stay Nulls: compare one text, one decimal and one date column.
    const auto customers = copyRows(script, "COPY customers (");
    const auto orders = copyRows(script, "COPY orders (");
    ASSERT_FALSE(customers.empty());
    ASSERT_FALSE(orders.empty());
    std::int64_t phoneNulls = 0, limitCents = 0, unshipped = 0;
    for (const auto &row : customers) {
        phoneNulls += row[12] == "\\N";
        if (row[14] != "\\N")
            limitCents += std::llround(std::stod(row[14]) * 100);
    }
    for (const auto &row : orders)
        unshipped += row[5] == "\\N";
    EXPECT_EQ(phoneNulls, db.number("SELECT count(*) FROM Customers WHERE Phone IS NULL"));
    EXPECT_EQ(limitCents, db.number("SELECT sum(CreditLimit) * 100 FROM Customers"));
    EXPECT_EQ(unshipped, db.number("SELECT count(*) FROM Orders WHERE ShippedDate IS NULL"));
    EXPECT_EQ(customers[9][2], db.text("SELECT CompanyName FROM Customers WHERE CustomerID = 10"));
}

TEST(PostgresScriptTest, DeclaresSchemaArchiveAndRoutines)
{
    const std::string script = sample::postgresScript();
    for (const char *expected : {
             "CREATE TABLE \"Order Details\" (",
             "unitprice numeric(10,2) NOT NULL CHECK (UnitPrice >= 0)",
             "customerid integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY",
             "customercode char(6) NOT NULL",
             "weightkg double precision",
             "createdat timestamp NOT NULL",
             "discontinued boolean NOT NULL",
             "picture bytea",
             "PRIMARY KEY (orderid, productid)",
             "reportsto integer REFERENCES employees (employeeid)",
             "ALTER TABLE orders ALTER COLUMN orderid RESTART WITH 30001;",
             "CREATE INDEX ix_orderdetails_productid ON \"Order Details\" (productid);",
             "CREATE VIEW \"Sales by Category\" AS",
             "CREATE TABLE archive.orders (\n    orderid integer PRIMARY KEY,",
             "CREATE FUNCTION customer_orders(p_customer_id integer)\nRETURNS TABLE",
             "CREATE FUNCTION order_total(p_order_id integer, OUT total numeric)",
             "CREATE FUNCTION top_products(p_limit integer DEFAULT 10)",
         })
        EXPECT_NE(script.find(expected), std::string::npos) << expected;
    EXPECT_EQ(copyRows(script, "COPY archive.orders (").size(), static_cast<std::size_t>(sample::counts::archivedOrders));
    // Running it again must not destroy anything but the sample's own objects.
    EXPECT_EQ(script.find("DROP SCHEMA"), std::string::npos);
    EXPECT_EQ(script.find("CASCADE"), std::string::npos);
}

} // namespace
