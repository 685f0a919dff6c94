// The query behind a control, driven without its window: the statement text with filters and
// order, the results' life cycle, rows held in memory, the field list and what a check runs.
#include "TabulonTestSupport.h"

#include "core/QueryRunner.h"

#include "db/Recordset.h"
#include "db/RecordsetFilter.h"

using namespace tabtest;
using analysis::QueryRunner;

namespace {

class QueryRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        m_connection = m_sample.connect();
        m_runner.setConnection(m_connection);
        m_runner.setDelimiter(QStringLiteral("\""));
    }

    qint64 scalar(const QString &sql) { return m_connection->Execute(sql)->value(0, 0).toLongLong(); }

    // The first column of every row the results show (past their filter), in order.
    QStringList firstColumn()
    {
        const std::shared_ptr<db::Recordset> &rs = m_runner.results();
        QStringList out;
        rs->fetchAll();
        for (rs->MoveFirst(); !rs->isEOF(); rs->MoveNext())
            out << rs->Value(0).toString();
        return out;
    }

    QStringList column(const QString &sql)
    {
        auto rs = m_connection->Execute(sql);
        QStringList out;
        rs->fetchAll();
        for (rs->MoveFirst(); !rs->isEOF(); rs->MoveNext())
            out << rs->Value(0).toString();
        return out;
    }

    // The shippers as an XML document the runner opens as its source.
    QString shippersDocument()
    {
        const QString path = m_dir.filePath(QStringLiteral("shippers.xml"));
        auto rs = db::Recordset::create();
        rs->Open(QStringLiteral("SELECT \"ShipperID\", \"CompanyName\" FROM \"Shippers\""), m_connection);
        rs->Save(path);
        return path;
    }

    SampleDatabase m_sample;
    QTemporaryDir m_dir;
    std::shared_ptr<db::Connection> m_connection;
    QueryRunner m_runner;
};

} // namespace

TEST_F(QueryRunnerTest, FiltersAndOrderApplyToTheStatementsRows)
{
    // An OR in the statement's own WHERE and an alias: the filters narrow its result rows.
    const QString sql = QStringLiteral("SELECT \"CustomerID\" AS id, \"Country\" FROM \"Customers\" "
                                       "WHERE \"Country\" = 'Germany' OR \"Country\" = 'France'");
    m_runner.setFilter(QStringLiteral("\"Country\" = 'Germany'"));
    m_runner.setBuilderFilter(QStringLiteral("\"id\" > 'B'"));
    m_runner.setSortCols({{QStringLiteral("id"), QStringLiteral("1")}});

    QString text = m_runner.filteredStatement(sql);
    // An order asked for before there are results to sort is refused, the text left alone.
    const QString unordered = text;
    EXPECT_FALSE(m_runner.orderStatement(text));
    EXPECT_EQ(text, unordered);

    m_runner.resetResults();
    ASSERT_TRUE(m_runner.orderStatement(text));
    m_runner.newResults(false);
    m_runner.openResults(text);
    ASSERT_TRUE(m_runner.resultsOpen());
    EXPECT_EQ(firstColumn(), column(QStringLiteral("SELECT id FROM (%1) q WHERE \"Country\" = 'Germany' AND id > 'B' "
                                                   "ORDER BY id DESC").arg(sql)));

    // No order: the statement's text is left as it was filtered.
    m_runner.resetSortCols();
    EXPECT_FALSE(m_runner.hasSortOrder());
    QString same = m_runner.filteredStatement(sql);
    const QString before = same;
    EXPECT_TRUE(m_runner.orderStatement(same));
    EXPECT_EQ(same, before);
}

TEST_F(QueryRunnerTest, ANewRunClosesTheLastResultsButLeavesTheirCloneWhole)
{
    m_runner.setMaxRecords(2);
    m_runner.newResults(false);
    m_runner.openResults(QStringLiteral("SELECT \"ShipperID\" FROM \"Shippers\" ORDER BY 1"));
    EXPECT_EQ(m_runner.results()->RecordCount(), 2); // the row limit holds
    const std::shared_ptr<db::Recordset> last = m_runner.results();
    const std::shared_ptr<db::Recordset> clone = last->Clone();

    m_runner.newResults(false);
    EXPECT_NE(m_runner.results(), last);
    EXPECT_FALSE(m_runner.resultsOpen());
    EXPECT_NE(last->State(), db::adStateOpen);
    ASSERT_EQ(clone->State(), db::adStateOpen);
    EXPECT_EQ(clone->RecordCount(), 2);

    m_runner.closeAll();
    m_runner.release();
    EXPECT_EQ(m_runner.results(), nullptr);
    EXPECT_EQ(m_runner.connection(), nullptr);
    // Without a connection a statement is a clear error, not a crash.
    m_runner.newResults(false);
    EXPECT_THROW(m_runner.openResults(QStringLiteral("SELECT 1")), db::DbError);
    EXPECT_THROW(m_runner.checkSyntax(QStringLiteral("SELECT 1")), db::DbError);
}

TEST_F(QueryRunnerTest, ACheckRunsNothing)
{
    const qint64 before = scalar(QStringLiteral("SELECT COUNT(*) FROM \"Shippers\""));
    m_runner.newResults(true);
    EXPECT_EQ(m_runner.results()->MaxRecords(), 1);
    m_runner.checkSyntax(QStringLiteral("DELETE FROM \"Shippers\""));
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM \"Shippers\"")), before);
    EXPECT_THROW(m_runner.checkSyntax(QStringLiteral("SELEC nothing")), db::DbError);
}

TEST_F(QueryRunnerTest, RowsHeldInMemoryTakeBothFiltersTogetherAndTheSortOrder)
{
    m_runner.setSource(QueryRunner::XML);
    ASSERT_TRUE(m_runner.inMemory());
    m_runner.newResults(false);
    m_runner.setFileName(shippersDocument());
    m_runner.openResults(QString());
    ASSERT_TRUE(m_runner.resultsOpen());
    const QStringList all = column(QStringLiteral("SELECT \"ShipperID\" FROM \"Shippers\" ORDER BY 1 DESC"));
    ASSERT_GE(all.size(), 3);

    m_runner.setBuilderConditions(db::RecordsetFilter::parse(QStringLiteral("ShipperID > 1")));
    EXPECT_FALSE(m_runner.builderFilter().isEmpty());
    m_runner.setFilter(QStringLiteral("ShipperID < 3"));
    m_runner.filterInMemory();
    EXPECT_EQ(firstColumn(), QStringList{QStringLiteral("2")});

    // The builder's conditions cleared: the column filter alone, the rows in the order asked.
    m_runner.clearBuilderFilter();
    m_runner.setFilter(QString());
    m_runner.filterInMemory();
    m_runner.setSortCols({{QStringLiteral("ShipperID"), QStringLiteral("1")}});
    m_runner.sortInMemory();
    EXPECT_EQ(firstColumn(), all);

    // A missing document is an error, and the results are not open.
    m_runner.newResults(false);
    m_runner.setFileName(m_dir.filePath(QStringLiteral("gone.xml")));
    EXPECT_ANY_THROW(m_runner.openResults(QString()));
    EXPECT_FALSE(m_runner.resultsOpen());
}

TEST_F(QueryRunnerTest, TheFieldListDescribesWithoutRunningAndKeepsItsShape)
{
    // A statement that would change data if it ran is only described.
    const qint64 before = scalar(QStringLiteral("SELECT COUNT(*) FROM \"Products\""));
    m_runner.readFields(QStringLiteral("SELECT \"ProductName\", \"Picture\", \"UnitPrice\" FROM \"Products\""), true);
    ASSERT_EQ(m_runner.fields().size(), 3);
    // The long binary column is left out and its row left empty at the end, the rest by name.
    EXPECT_EQ(m_runner.fields()[0], (QStringList{QString(), QString()}));
    EXPECT_EQ(m_runner.fields()[1][0], QStringLiteral("ProductName"));
    EXPECT_EQ(m_runner.fields()[2], (QStringList{QStringLiteral("UnitPrice"), QString::number(db::adNumeric)}));
    ASSERT_NE(m_runner.fieldsRecordset(), nullptr);
    EXPECT_EQ(m_runner.fieldsRecordset()->FieldCount(), 3);
    EXPECT_EQ(scalar(QStringLiteral("SELECT COUNT(*) FROM \"Products\"")), before);

    // Rows held in memory are described from their open results, and only then.
    m_runner.setSource(QueryRunner::XML);
    m_runner.newResults(false);
    EXPECT_THROW(m_runner.readFields(QString(), false), db::DbError);
    m_runner.setFileName(shippersDocument());
    m_runner.openResults(QString());
    m_runner.readFields(QString(), false);
    ASSERT_EQ(m_runner.fields().size(), 2);
    EXPECT_EQ(m_runner.fields()[0][0], QStringLiteral("ShipperID"));
    EXPECT_EQ(m_runner.fields()[1][0], QStringLiteral("CompanyName"));
}

TEST(QueryRunnerFile, TheSaveProposalNamesAViewsStatementAfterTheQuerysFile)
{
    QueryRunner runner;
    QString extension = QStringLiteral("sql");
    // No file yet: the view's own name; the results propose nothing.
    EXPECT_EQ(runner.saveProposal(QStringLiteral("Chart"), extension), QStringLiteral("Chart.sql"));
    EXPECT_EQ(runner.saveProposal(QString(), extension), QString());

    runner.setFileName(QStringLiteral("/my data/Sales Report.sql"));
    EXPECT_EQ(runner.saveProposal(QString(), extension), QStringLiteral("/my data/Sales Report.sql"));
    // Blanks leave the name, never the folder; the file's extension is the one proposed.
    extension = QStringLiteral("sql");
    EXPECT_EQ(runner.saveProposal(QStringLiteral("X-Tab"), extension), QStringLiteral("/my data/SalesReport_X-Tab.sql"));
    runner.setFileName(QStringLiteral("/q/page.html"));
    extension = QStringLiteral("sql");
    EXPECT_EQ(runner.saveProposal(QStringLiteral("Summary"), extension), QStringLiteral("/q/page_Summary.html"));
    EXPECT_EQ(extension, QStringLiteral("html"));
    // A trailing dot ends the name; the kind's extension stays.
    runner.setFileName(QStringLiteral("/q/name."));
    extension = QStringLiteral("sql");
    EXPECT_EQ(runner.saveProposal(QStringLiteral("Chart"), extension), QStringLiteral("/q/name_Chart.sql"));
}

TEST_F(QueryRunnerTest, ColumnConditionsAreWrittenByTheColumnsTypeOrRefused)
{
    m_runner.newResults(false);
    m_runner.openResults(QStringLiteral(
        "SELECT 'O''Brien' AS \"Na me\", 100 AS \"Amount\", NULL AS \"Note\", x'00ff' AS \"Pic\", 1 AS id, 2 AS \"ID\" "
        "UNION ALL SELECT 'Smith', 7, 'x', NULL, 3, 4"));
    ASSERT_TRUE(m_runner.resultsOpen());
    EXPECT_EQ(m_runner.resultsField(QStringLiteral("Amount"), 5), 1);
    EXPECT_EQ(m_runner.resultsField(QStringLiteral("a caption"), 3), 3);
    // The cell a command was given, while the grid's row still shows its text.
    EXPECT_EQ(m_runner.cellRow(0, 1, false, QStringLiteral("Smith")), std::optional<std::size_t>(1));
    EXPECT_EQ(m_runner.cellRow(0, 1, false, QStringLiteral("Smithers")), std::nullopt);
    EXPECT_EQ(m_runner.cellRow(0, 1, true, QStringLiteral("Smithers")), std::optional<std::size_t>(1));

    auto condition = [&](const char *caption, bool equal, const char *value, std::optional<std::size_t> cell = {}) {
        const QString name = QString::fromUtf8(caption);
        return m_runner.columnCondition(name, m_runner.resultsField(name, 0), equal, QString::fromUtf8(value), cell, true);
    };
    EXPECT_EQ(condition("Na me", true, "O'Brien").text, QStringLiteral("\"Na me\"  = 'O''Brien'"));
    EXPECT_EQ(condition("Amount", false, " 7 ").text, QStringLiteral("\"Amount\"  <> 7"));
    // Wildcards: '*' is written as '%', one at the front is closed at the end; numbers match by
    // the text they show.
    const auto like = condition("Na me", false, "*ith");
    EXPECT_EQ(like.value, QStringLiteral("%ith%"));
    EXPECT_EQ(like.text, QStringLiteral("\"Na me\"  NOT LIKE '%ith%'"));
    EXPECT_TRUE(condition("Amount", true, "1*").text.endsWith(QStringLiteral(" LIKE '1%'")));
    // A Null cell and an empty value are IS NULL; a blob only so.
    EXPECT_EQ(condition("Note", true, "", std::size_t(0)).text, QStringLiteral("\"Note\"  IS NULL"));
    EXPECT_EQ(condition("Note", false, "", std::size_t(0)).text, QStringLiteral("\"Note\"  IS NOT NULL"));
    EXPECT_EQ(condition("Pic", true, "", std::size_t(1)).text, QStringLiteral("\"Pic\"  IS NULL"));

    // Refusals write nothing and say why.
    for (const auto &[refused, why] :
         {std::pair{condition("Amount", true, "1; DROP TABLE x"), "not a number"},
          std::pair{condition("Pic", true, "00ff", std::size_t(0)), "binary"},
          std::pair{condition("id", true, "1"), "more than one column named 'id'"}}) {
        EXPECT_TRUE(refused.text.isEmpty()) << why << ": " << refused.text;
        EXPECT_TRUE(refused.refusal.contains(QLatin1String(why))) << why << ": " << refused.refusal;
    }

    // Conditions join with AND, or replace the filter; removing it clears it.
    m_runner.addFilter(condition("Amount", true, "7").text, false);
    m_runner.addFilter(condition("Na me", true, "Smith").text, false);
    EXPECT_EQ(m_runner.filter(), QStringLiteral("\"Amount\"  = 7 AND \"Na me\"  = 'Smith'"));
    m_runner.addFilter(condition("Na me", true, "x").text, true);
    EXPECT_EQ(m_runner.filter(), QStringLiteral("\"Na me\"  = 'x'"));
    m_runner.removeFilter();
    EXPECT_TRUE(m_runner.filter().isEmpty());

    // Without results there is nothing to filter: a failure, not a refusal.
    m_runner.resetResults();
    EXPECT_THROW(m_runner.columnCondition(QStringLiteral("Amount"), 1, true, QStringLiteral("7"), std::nullopt, true),
                 db::DbError);
}

TEST_F(QueryRunnerTest, ConditionsOnRowsInMemoryApplyAtOnceAndABadOneIsNotKept)
{
    m_runner.setSource(QueryRunner::XML);
    m_runner.setFileName(shippersDocument());
    m_runner.newResults(false);
    m_runner.openResults(QString());
    ASSERT_TRUE(m_runner.resultsOpen());
    const QStringList names = column(QStringLiteral("SELECT \"CompanyName\" FROM \"Shippers\" ORDER BY \"ShipperID\""));
    ASSERT_GE(names.size(), 3);

    // The grid may have sorted its copy of the rows: the cell's text finds its row.
    const std::optional<std::size_t> cell = m_runner.cellRow(1, 0, false, names[2]);
    ASSERT_EQ(cell, std::optional<std::size_t>(2));
    const auto condition = m_runner.columnCondition(QStringLiteral("CompanyName"), 1, true, names[2], cell, false);
    ASSERT_TRUE(condition.refusal.isEmpty()) << condition.refusal;
    m_runner.addFilter(condition.text, false);
    EXPECT_EQ(m_runner.results()->RecordCount(), 1);
    EXPECT_EQ(m_runner.results()->Filter(), m_runner.filter());

    // A name quoted so that the recordset cannot read the condition: both filters stay as they were.
    const QString before = m_runner.filter();
    m_runner.setDelimiter(QStringLiteral("'"));
    const auto bad = m_runner.columnCondition(QStringLiteral("ShipperID"), 0, true, QStringLiteral("1"), std::nullopt, true);
    EXPECT_ANY_THROW(m_runner.addFilter(bad.text, false));
    EXPECT_EQ(m_runner.filter(), before);
    EXPECT_EQ(m_runner.results()->Filter(), before);
    EXPECT_EQ(m_runner.results()->RecordCount(), 1);

    m_runner.removeFilter();
    EXPECT_EQ(qsizetype(m_runner.results()->RecordCount()), names.size());
}
