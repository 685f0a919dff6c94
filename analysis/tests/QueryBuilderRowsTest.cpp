// The builder's filter applied by the query window gives the rows the same condition gives when
// written by hand over the statement's result, on SQLite and PostgreSQL, for aliased and
// computed columns, and on a routine's rows as on a table's.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "dialogs/frmQueryBuilder.h"

#include "db/Recordset.h"
#include "db/ValueRules.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"

#include <hlQueryBuilder/QueryBuilder.h>

#include <QTest>
#include <QToolButton>

using namespace tabtest;

namespace {

class RowsTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");

    QueryBuilder *builder() const { return tabtest::toolWindow<frmQueryBuilder>(*this)->hlQueryBuilder(); }
    // The first column of every row the results hold (past the filter), sorted.
    QStringList ids() const
    {
        QStringList out;
        runner().results()->fetchAll();
        for (runner().results()->MoveFirst(); !runner().results()->isEOF(); runner().results()->MoveNext())
            out << runner().results()->Value(0).toString();
        out.sort();
        return out;
    }
};

// A condition as the grid's editing leaves it.
void condition(QueryBuilder &qb, int row, const QString &open, const QString &field, const QString &is,
               const QString &comparison, const QString &value, const QString &close, const QString &op)
{
    grid::Grid *g = qb.grdFilter();
    if (g->Rows() <= row)
        g->setRows(row + 1);
    const int ordinal = qb.rsData()->FieldIndex(field);
    ASSERT_GE(ordinal, 0) << field;
    const QStringList cells = {open, qb.rsData()->Field(ordinal).Name, QString::number(ordinal), {}, is, comparison, value,
                               close, op, QStringLiteral("False")};
    for (int c = 0; c < QueryBuilder::ColumnCount; ++c)
        g->setTextMatrix(row, c, cells[c]);
}

void showBrackets(QueryBuilder &qb)
{
    qb.tlbMenu()->Buttons(QStringLiteral("Brackets")).setValue(ui::tbrPressed);
    qb.Show_Brackets();
}

void apply(QueryBuilder &qb)
{
    QTest::mouseClick(qb.tlbMenu()->Buttons(QStringLiteral("Apply")).widget(), Qt::LeftButton);
}

// The sample's customers on each database: the sample file itself on SQLite; on PostgreSQL the
// same rows copied into a schema of this process's own.
class BuilderRows : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        m_postgres = QLatin1String(GetParam()) == u"PostgreSQL";
        if (!m_postgres) {
            m_connection = m_sample.connect();
            m_table = QStringLiteral("\"Customers\"");
            return;
        }
        TABULON_REQUIRE_POSTGRES();
        m_own = std::make_unique<AdminSchema>("t_qb");
        m_schema = m_own->name;
        m_admin = m_own->admin;
        try {
            m_admin->Execute(QStringLiteral("CREATE EXTENSION IF NOT EXISTS fuzzystrmatch"));
        } catch (const db::DbError &) {
            // Another test process created it at the same moment.
        }
        m_table = m_schema + QStringLiteral(".\"Customers\"");
        m_admin->Execute(QStringLiteral("CREATE TABLE %1 (\"CustomerID\" integer, \"CompanyName\" varchar(60), \"City\" varchar(40),"
                                        " \"Country\" varchar(30), \"CreditLimit\" numeric(12,2), \"IsActive\" boolean)")
                             .arg(m_table));
        auto rows = m_sample.connect()->Execute(QStringLiteral(
            "SELECT CustomerID, CompanyName, City, Country, CreditLimit, IsActive FROM Customers"));
        QStringList values;
        for (rows->MoveFirst(); !rows->isEOF(); rows->MoveNext()) {
            values << QStringLiteral("(%1, %2, %3, %4, %5, %6)")
                          .arg(rows->Value(0).toString(), db::quoteText(rows->Value(1).toString()),
                               db::quoteText(rows->Value(2).toString()), db::quoteText(rows->Value(3).toString()),
                               rows->Value(4).isNull() ? QStringLiteral("NULL") : rows->Value(4).toString(),
                               rows->Value(5).toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        }
        ASSERT_FALSE(values.isEmpty());
        m_admin->Execute(QStringLiteral("INSERT INTO %1 VALUES ").arg(m_table) + values.join(QStringLiteral(", ")));
        m_connection = db::Connection::create();
        m_connection->Open(testsupport::postgresConnectionString());
    }
    void TearDown() override
    {
        for (auto *t : {tab.get(), routine.get()}) {
            if (t)
                t->UnloadFlter();
        }
        m_own.reset();
    }

    std::unique_ptr<RowsTabulon> start(const QString &source, hlTabulon::tbDataType type)
    {
        auto t = shown<RowsTabulon>(m_connection, source, QSize(1000, 700), type);
        if (type != hlTabulon::tbDataStoredProc) {
            EXPECT_TRUE(t->Refresh_Results(false, false, false));
        }
        return t;
    }

    // The ids of the statement's rows that pass the condition, read apart from the program.
    QStringList apart(const QString &statement, const QString &where)
    {
        auto rs = m_connection->Execute(QStringLiteral("SELECT id FROM (%1) q WHERE %2").arg(statement, where));
        QStringList out;
        for (rs->MoveFirst(); !rs->isEOF(); rs->MoveNext())
            out << rs->Value(0).toString();
        out.sort();
        return out;
    }

    // Aliases, a computed column and an OR in the statement's own WHERE.
    QString statement() const
    {
        return QStringLiteral("SELECT \"CustomerID\" AS id, \"CompanyName\" AS \"Company\", \"City\", \"CreditLimit\" * 2 AS \"Doubled\","
                              " \"IsActive\" FROM %1 WHERE \"Country\" = 'United Kingdom' OR \"Country\" = 'United States' ORDER BY \"CustomerID\"")
            .arg(m_table);
    }
    QString spelt(bool on) const
    {
        return m_postgres ? (on ? QStringLiteral("TRUE") : QStringLiteral("FALSE")) : (on ? QStringLiteral("1") : QStringLiteral("0"));
    }

    SampleDatabase m_sample;
    bool m_postgres = false;
    std::unique_ptr<AdminSchema> m_own;
    QString m_schema, m_table;
    std::shared_ptr<db::Connection> m_admin, m_connection;
    std::unique_ptr<RowsTabulon> tab, routine;
};

} // namespace

TEST_P(BuilderRows, ApplyRerunsTheQueryWithTheRowsTheConditionGivesApart)
{
    tab = start(statement(), hlTabulon::tbDataTable);
    const QStringList all = tab->ids();
    ASSERT_GT(all.size(), 3);
    ASSERT_TRUE(tab->Show_QueryBuilder());
    QueryBuilder &qb = *tab->builder();
    EXPECT_TRUE(qb.FieldList().contains(QStringLiteral("|Company|"))) << "the result's own names";
    showBrackets(qb);
    condition(qb, 1, QStringLiteral("("), QStringLiteral("Company"), QStringLiteral("is"), QStringLiteral("Containing"),
              QStringLiteral("a"), {}, QStringLiteral("OR"));
    condition(qb, 2, {}, QStringLiteral("Doubled"), QStringLiteral("is"), QStringLiteral("greater than"),
              QStringLiteral("40000"), QStringLiteral(")"), QStringLiteral("AND"));
    condition(qb, 3, {}, QStringLiteral("City"), QStringLiteral("is not"), QStringLiteral("equal to"),
              QStringLiteral("London"), {}, QStringLiteral("AND"));
    condition(qb, 4, {}, QStringLiteral("IsActive"), QStringLiteral("is"), QStringLiteral("equal to"),
              QStringLiteral("True"), {}, {});
    const auto before = tab->runner().results();
    apply(qb);
    EXPECT_NE(tab->runner().results(), before) << "Apply runs the query again";
    const QStringList expected =
        apart(statement(), QStringLiteral("(\"Company\" LIKE '%a%' OR \"Doubled\" > 40000) AND NOT (\"City\" = 'London')"
                                          " AND \"IsActive\" = %1").arg(spelt(true)));
    ASSERT_FALSE(expected.isEmpty());
    ASSERT_LT(expected.size(), all.size());
    EXPECT_EQ(tab->ids(), expected) << tab->runner().builderFilter();
    EXPECT_TRUE(tab->tlbResults->Buttons(QStringLiteral("QueryBuilder")).Style() == ui::tbrDropdown);

    // "Sounding like" and "Begining with" by the database's own functions.
    ASSERT_TRUE(qb.New_Filter(true));
    condition(qb, 1, {}, QStringLiteral("City"), QStringLiteral("is"), QStringLiteral("Sounding like"),
              QStringLiteral("Lundun"), {}, QStringLiteral("OR"));
    condition(qb, 2, {}, QStringLiteral("Company"), QStringLiteral("is"), QStringLiteral("Begining with"),
              QStringLiteral("B"), {}, {});
    apply(qb);
    const QStringList sounding = apart(statement(), QStringLiteral("SOUNDEX(\"City\") = 'L535' OR substr(\"Company\", 1, 1) = 'B'"));
    ASSERT_FALSE(sounding.isEmpty());
    EXPECT_EQ(tab->ids(), sounding) << tab->runner().builderFilter();
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

TEST_P(BuilderRows, ARoutinesRowsGiveTheSameRowsAsTheTable)
{
    if (!m_postgres)
        GTEST_SKIP() << "SQLite has no stored routines";
    m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.uk_and_usa() RETURNS TABLE(id integer, \"Company\" varchar, \"City\" varchar,"
                                    " \"Doubled\" numeric, \"IsActive\" boolean) LANGUAGE sql AS $$ %2 $$")
                         .arg(m_schema, statement()));
    tab = start(statement(), hlTabulon::tbDataTable);
    routine = start(m_schema + QStringLiteral(".uk_and_usa"), hlTabulon::tbDataStoredProc);
    ASSERT_EQ(routine->ids(), tab->ids()) << (events.empty() ? QString() : events.front().description);
    for (RowsTabulon *t : {tab.get(), routine.get()})
        ASSERT_TRUE(t->Show_QueryBuilder());
    EXPECT_TRUE(routine->builder()->UseSP());
    const struct {
        const char *field, *is, *comparison, *value;
    } cases[] = {{"Company", "is", "Containing", "an"},        {"Company", "is not", "Containing", "A"},
                 {"Doubled", "is", "greater than", "40000"},   {"City", "is", "Sounding like", "Lundun"},
                 {"Company", "is", "Begining with", "Bo"},     {"IsActive", "is", "equal to", "false"},
                 {"City", "is not", "null", ""}};
    for (const auto &c : cases) {
        for (RowsTabulon *t : {tab.get(), routine.get()}) {
            ASSERT_TRUE(t->builder()->New_Filter(true));
            condition(*t->builder(), 1, {}, QLatin1String(c.field), QLatin1String(c.is), QLatin1String(c.comparison),
                      QLatin1String(c.value), {}, {});
            apply(*t->builder());
        }
        EXPECT_EQ(routine->ids(), tab->ids()) << c.field << " " << c.is << " " << c.comparison << " " << c.value << ": "
                                              << routine->runner().builderFilter() << " / " << tab->runner().builderFilter();
    }
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

INSTANTIATE_TEST_SUITE_P(Databases, BuilderRows, ::testing::Values("SQLite", "PostgreSQL"));
