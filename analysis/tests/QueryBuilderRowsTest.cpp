// The builder's filter applied by the query window gives the rows the same condition gives when
// written by hand over the statement's result, on SQLite and PostgreSQL, for aliased and
// computed columns, and on a routine's rows as on a table's.
#include "TabulonTestSupport.h"
#include "PostgresOdbc.h"
#include "ServerCanceller.h"
#include "TestSupport.h"

#include "dialogs/frmQueryBuilder.h"

#include "db/Recordset.h"
#include "db/ValueRules.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"

#include <hlQueryBuilder/QueryBuilder.h>

#include <QComboBox>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <algorithm>

using namespace tabtest;

namespace {

class RowsTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");

    QueryBuilder *builder() const { return tabtest::toolWindow<frmQueryBuilder>(*this)->hlQueryBuilder(); }
    // The first column of every row the results hold (past the filter), sorted.
    QStringList ids() const
    {
        QStringList out;
        const analysis::QueryRunner &runner = runnerOf(*this);
        runner.results()->fetchAll();
        for (runner.results()->MoveFirst(); !runner.results()->isEOF(); runner.results()->MoveNext())
            out << runner.results()->Value(0).toString();
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

// Picks an entry of a cell's list as a user does: a click on the cell, Enter for its editor, the
// list opened and walked with the arrow keys, Enter.
void pick(QueryBuilder &qb, int row, int col, const QString &entry)
{
    grid::Grid *g = qb.grdFilter();
    QTableView *view = g->view();
    qb.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(qb.window()));
    view->setFocus();
    // A click on the current cell would open its editor only after the double-click time.
    if (g->Row() != row || g->Col() != col) {
        const QRect cell = view->visualRect(g->model()->index(row - g->FixedRows(), col));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QCoreApplication::processEvents();
    }
    if (!g->isEditing())
        QTest::keyClick(view, Qt::Key_Return);
    auto *combo = qobject_cast<QComboBox *>(g->editor());
    ASSERT_TRUE(combo) << "no list in cell " << row << "," << col;
    const int index = combo->findText(entry);
    ASSERT_GE(index, 0) << entry.toStdString();
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    QAbstractItemView *list = combo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QCoreApplication::processEvents();
}

// The sample's customers on each database: the sample file itself on SQLite; on PostgreSQL the
// same rows copied into a schema of this process's own.
class BuilderRows : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        const QString param = QLatin1String(GetParam());
        m_postgres = param.endsWith(QLatin1String("PostgreSQL"));
        m_odbc = param.startsWith(QLatin1String("ODBC"));
        if (!m_postgres) {
            m_admin = db::Connection::create();
            m_admin->setReadOnly(false);
            m_admin->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_sample.path()));
            m_table = QStringLiteral("\"Customers\"");
            m_connection = db::Connection::create();
            m_connection->Open(m_odbc ? QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1").arg(m_sample.path())
                                      : QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_sample.path()));
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
        m_connection->Open(m_odbc ? odbcPostgres() : testsupport::postgresConnectionString());
    }

    // The test server through the PostgreSQL ODBC driver.
    static QString odbcPostgres()
    {
        // Booleans as the driver's bits: as characters (its default) they are typed as text.
        return testsupport::postgresOdbcConnectionString() + QStringLiteral(";BoolsAsChar=0");
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
    bool m_odbc = false;
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
    // (The SQLite ODBC driver types a computed column as text: there the number is the id's.)
    const QString number = m_odbc && !m_postgres ? QStringLiteral("id") : QStringLiteral("Doubled");
    condition(qb, 2, {}, number, QStringLiteral("is"), QStringLiteral("greater than"),
              QStringLiteral("40000"), QStringLiteral(")"), QStringLiteral("AND"));
    condition(qb, 3, {}, QStringLiteral("City"), QStringLiteral("is not"), QStringLiteral("equal to"),
              QStringLiteral("London"), {}, QStringLiteral("AND"));
    condition(qb, 4, {}, QStringLiteral("IsActive"), QStringLiteral("is"), QStringLiteral("equal to"),
              QStringLiteral("True"), {}, {});
    const auto before = runnerOf(*tab).results();
    apply(qb);
    EXPECT_NE(runnerOf(*tab).results(), before) << "Apply runs the query again";
    const QStringList expected =
        apart(statement(), QStringLiteral("(\"Company\" LIKE '%a%' OR \"%2\" > 40000) AND NOT (\"City\" = 'London')"
                                          " AND \"IsActive\" = %1").arg(spelt(true), number));
    ASSERT_FALSE(expected.isEmpty());
    ASSERT_LT(expected.size(), all.size());
    EXPECT_EQ(tab->ids(), expected) << runnerOf(*tab).builderFilter();
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
    EXPECT_EQ(tab->ids(), sounding) << runnerOf(*tab).builderFilter();
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

TEST_P(BuilderRows, ARoutinesRowsGiveTheSameRowsAsTheTable)
{
    if (!m_postgres || m_odbc)
        GTEST_SKIP() << "SQLite has no stored routines; ODBC calls are tested with its client";
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
                                              << runnerOf(*routine).builderFilter() << " / " << runnerOf(*tab).builderFilter();
    }
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

// Each database gets the words it reads and the code its own function computes, whichever
// client reaches it; a value that means something is taken; names are never folded or read as key
// words.
TEST_P(BuilderRows, EachDatabaseGetsWordsAndValuesItReads)
{
    // Names the server's SoundEx codes apart from ours, which upper-cased ß to SS.
    // (The sample's own table asks for a few more columns than the copy on the server has.)
    const QString more = m_postgres ? QString() : QStringLiteral(", \"CustomerCode\", \"CountryCode\", \"CreatedAt\"");
    const QString values = m_postgres ? QString() : QStringLiteral(", 'GRO', 'GB', '2024-01-01 00:00:00'");
    m_admin->Execute(QString::fromUtf8("INSERT INTO %1 (\"CustomerID\", \"CompanyName\", \"City\", \"Country\", \"IsActive\"%3) VALUES"
                                       " (9001, 'Groß AG', 'Gross', 'United Kingdom', %2%4), (9002, 'Gros AG', 'Grossa', 'United Kingdom', %2%4),"
                                       " (9003, 'Grosse AG', 'Groß', 'United Kingdom', %2%4)")
                         .arg(m_table, spelt(true), more, values));
    tab = start(statement(), hlTabulon::tbDataTable);
    const QStringList all = tab->ids();
    ASSERT_TRUE(tab->Show_QueryBuilder());
    QueryBuilder &qb = *tab->builder();

    // The value coded by the same function the database codes the rows with.
    condition(qb, 1, {}, QStringLiteral("Company"), QStringLiteral("is"), QStringLiteral("Sounding like"),
              QString::fromUtf8("Groß AG"), {}, QStringLiteral("OR"));
    condition(qb, 2, {}, QStringLiteral("City"), QStringLiteral("is"), QStringLiteral("Sounding like"),
              QString::fromUtf8("Groß"), {}, {});
    apply(qb);
    const QStringList sounding = apart(statement(), QString::fromUtf8("SOUNDEX(\"Company\") = SOUNDEX('Groß AG')"
                                                                      " OR SOUNDEX(\"City\") = SOUNDEX('Groß')"));
    ASSERT_FALSE(sounding.isEmpty());
    EXPECT_EQ(tab->ids(), sounding) << runnerOf(*tab).builderFilter();

    // A fraction against whole numbers; "Begining with" as the database spells it.
    QStringList ids = all;
    std::sort(ids.begin(), ids.end(), [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    const QString middle = QString::number(ids.at(ids.size() / 2).toInt()) + QStringLiteral(".5");
    ASSERT_TRUE(qb.New_Filter(true));
    condition(qb, 1, {}, QStringLiteral("id"), QStringLiteral("is"), QStringLiteral("greater than"), middle, {},
              QStringLiteral("AND"));
    condition(qb, 2, {}, QStringLiteral("Company"), QStringLiteral("is not"), QStringLiteral("Begining with"),
              QStringLiteral("Gro"), {}, {});
    apply(qb);
    const QStringList above = apart(statement(), QStringLiteral("id > %1 AND NOT (substr(\"Company\", 1, 3) = 'Gro')").arg(middle));
    ASSERT_FALSE(above.isEmpty());
    ASSERT_LT(above.size(), all.size());
    EXPECT_EQ(tab->ids(), above) << runnerOf(*tab).builderFilter();
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;

    if (m_postgres) {
        // A database whose SOUNDEX cannot be found: the user is told how to add it, whichever
        // client, and the rows shown stay.
        auto bare = db::Connection::create();
        bare->Open(m_odbc ? odbcPostgres() + QStringLiteral(";ConnSettings=SET search_path TO pg_catalog")
                          : testsupport::postgresConnectionString() + QStringLiteral(";options=-csearch_path=pg_catalog"));
        std::swap(bare, m_connection);
        routine = start(statement(), hlTabulon::tbDataTable);
        std::swap(bare, m_connection);
        const QStringList shown = routine->ids();
        ASSERT_FALSE(shown.isEmpty());
        ASSERT_TRUE(routine->Show_QueryBuilder());
        ui::Prompter::clearAsked();
        condition(*routine->builder(), 1, {}, QStringLiteral("City"), QStringLiteral("is"), QStringLiteral("Sounding like"),
                  QStringLiteral("Lundun"), {}, {});
        apply(*routine->builder());
        ASSERT_TRUE(ui::Prompter::lastAsked());
        EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QLatin1String("CREATE EXTENSION fuzzystrmatch")))
            << ui::Prompter::lastAsked()->text.toStdString();
        EXPECT_EQ(routine->ids(), shown);
    }

    if (m_postgres && !m_odbc) { // (the ODBC driver reads a whole result before the first row shows)
        // A look-up list whose statement is cancelled on the server is what someone asked for:
        // no failure is reported, and the builder goes on.
        const QString marker = QStringLiteral("slow_%1").arg(QCoreApplication::applicationPid());
        auto marked = db::Connection::create();
        marked->Open(testsupport::postgresConnectionString() + QStringLiteral(";application_name=") + marker);
        std::swap(marked, m_connection);
        routine->UnloadFlter();
        routine = start(QStringLiteral("SELECT i AS id, pg_sleep(0.001) AS slept FROM generate_series(1, 20000) AS i"),
                        hlTabulon::tbDataTable);
        std::swap(marked, m_connection);
        ASSERT_TRUE(routine->Show_QueryBuilder());
        QueryBuilder &slow = *routine->builder();
        condition(slow, 1, {}, QStringLiteral("id"), QStringLiteral("is"), QStringLiteral("equal to"), {}, {}, {});
        slow.grdFilter()->Select(1, QueryBuilder::colValue);
        testsupport::ServerCanceller canceller(marker);
        canceller.start();
        errorWindows.clear();
        EXPECT_FALSE(slow.Populate_LookUp());
        canceller.stop();
        EXPECT_GT(canceller.cancelled(), 0);
        EXPECT_TRUE(errorWindows.empty()) << (errorWindows.empty() ? QString() : errorWindows[0].procedure + ": "
                                                                                  + errorWindows[0].description);
        EXPECT_TRUE(slow.grdFilter()->isEnabled());
    }
}

// A table opened with a double click runs at once; the views read its fields when first shown,
// after the builder was given them. The builder's fields must still hold after.
TEST_P(BuilderRows, AFieldIsPickedAfterTheSummaryAndTheChart)
{
    tab = std::make_unique<RowsTabulon>();
    watch(*tab);
    tab->SQL(statement());
    tab->DataType(hlTabulon::tbDataTable);
    tab->setAutoRun(true);
    tab->adoConnection(m_connection);
    tab->resize(1000, 700);
    tab->show();
    pump(5000, [&] { return tab->grdResults->Rows() > 1; });
    ASSERT_GT(tab->grdResults->Rows(), 1);
    clickButton(*tab->tlbResults, QStringLiteral("QueryBuilder"));
    ASSERT_TRUE(tab->QBVisible());
    QueryBuilder &qb = *tab->builder();
    pick(qb, 1, QueryBuilder::colField, QStringLiteral("City"));
    pick(qb, 1, QueryBuilder::colOperator, QStringLiteral("AND"));
    ASSERT_EQ(qb.grdFilter()->Rows(), 3);
    for (const char *view : {"Summary", "Chart", "Results"})
        clickButton(*tab->tlbMain, QLatin1String(view));
    ASSERT_TRUE(tab->builder()->isVisible());
    pick(qb, 2, QueryBuilder::colField, QStringLiteral("Company"));
    EXPECT_EQ(qb.grdFilter()->TextMatrix(2, QueryBuilder::colField), QStringLiteral("Company"));
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
    EXPECT_TRUE(errorWindows.empty()) << errorWindows.front().procedure << ": " << errorWindows.front().description;
}

INSTANTIATE_TEST_SUITE_P(Databases, BuilderRows, ::testing::Values("SQLite", "PostgreSQL", "ODBC SQLite", "ODBC PostgreSQL"));
