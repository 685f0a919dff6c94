// The filter the conditions make: the text for the database, checked word for word and run on
// real databases, and the structured conditions for rows held in memory.
#include "BuilderFixture.h"
#include "TestSupport.h"

#include "db/RecordsetFilter.h"
#include "db/RowStore.h"

#include <QLocale>

using namespace qbtest;
using QB = QueryBuilder;

namespace {

db::FieldInfo field(const char *name, int type, long size = 0)
{
    db::FieldInfo f;
    f.Name = QString::fromUtf8(name);
    f.Type = type;
    f.DefinedSize = size;
    return f;
}

// A builder bound to fields without rows; nothing is read from a database.
struct Unbound {
    Unbound()
    {
        rs = db::Recordset::fromStore(std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{
            field("Name", db::adVarWChar, 40), field("Age", db::adInteger), field("City", db::adVarWChar, 40),
            field("Active", db::adBoolean), field("Born", db::adDBDate), field("Amount", db::adNumeric),
            field("Other Name", db::adVarWChar, 40), field("we\"ird", db::adVarWChar, 10)}));
        qb.rsData(rs);
    }
    // A condition row as editing leaves it.
    void row(int r, const QString &fieldName, const QString &comparison, const QString &value, const QString &op = {},
             const QString &is = QStringLiteral("is"), bool valueIsField = false)
    {
        grid::Grid *g = qb.grdFilter();
        if (g->Rows() <= r)
            g->setRows(r + 1);
        const int ordinal = rs->FieldIndex(fieldName);
        const QStringList cells = {{}, fieldName, ordinal < 0 ? QString() : QString::number(ordinal), {}, is, comparison,
                                   value, {}, op, valueIsField ? QStringLiteral("True") : QStringLiteral("False")};
        for (int c = 0; c < QB::ColumnCount; ++c)
            g->setTextMatrix(r, c, cells[c]);
    }
    void brackets(int r, const QString &open, const QString &close)
    {
        qb.grdFilter()->setTextMatrix(r, QB::colOpen, open);
        qb.grdFilter()->setTextMatrix(r, QB::colClose, close);
    }
    void showBrackets()
    {
        qb.tlbMenu()->Buttons(QStringLiteral("Brackets")).setValue(ui::tbrPressed);
        qb.Show_Brackets();
    }
    QString filter()
    {
        const QVariant v = qb.Get_Filter();
        return v.isValid() ? v.toString() : QStringLiteral("<refused>");
    }

    std::shared_ptr<db::Recordset> rs;
    QueryBuilder qb;
};

class FilterText : public ::testing::Test {
protected:
    ui::ScriptedPrompts prompts;
    QString said() const { return ui::Prompter::lastAsked() ? ui::Prompter::lastAsked()->text : QString(); }
};

} // namespace

TEST_F(FilterText, TheWorkedExampleAndItsNeighbours)
{
    Unbound u;
    u.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("Smith"), QStringLiteral("AND"));
    u.row(2, QStringLiteral("Age"), QStringLiteral("greater than"), QStringLiteral("30"), {}, QStringLiteral("is not"));
    EXPECT_EQ(u.filter(), QStringLiteral("\"Name\" = 'Smith' AND NOT ( \"Age\" > 30)"));

    // Brackets count only while they are shown; then they stand right at the condition.
    u.brackets(1, QStringLiteral("("), QStringLiteral(")"));
    EXPECT_EQ(u.filter(), QStringLiteral("\"Name\" = 'Smith' AND NOT ( \"Age\" > 30)"));
    u.showBrackets();
    EXPECT_EQ(u.filter(), QStringLiteral("( \"Name\" = 'Smith') AND NOT ( \"Age\" > 30)"));

    Unbound c;
    c.row(1, QStringLiteral("City"), QStringLiteral("Containing"), QStringLiteral("ond"));
    EXPECT_EQ(c.filter(), QStringLiteral("\"City\" LIKE '%ond%'"));
    c.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("O'Brien"));
    EXPECT_EQ(c.filter(), QStringLiteral("\"Name\" = 'O''Brien'"));
    c.row(1, QStringLiteral("Name"), QStringLiteral("Begining with"), QStringLiteral("O'Brien"));
    EXPECT_EQ(c.filter(), QStringLiteral("substr(\"Name\",1,7) = 'O''Brien'")) << "SQLite has no LEFT";
    c.row(1, QStringLiteral("Name"), QStringLiteral("Sounding like"), QStringLiteral("Robert"));
    EXPECT_EQ(c.filter(), QStringLiteral("SOUNDEX(\"Name\") = 'R163'"));
    c.row(1, QStringLiteral("Name"), QStringLiteral("null"), {});
    EXPECT_EQ(c.filter(), QStringLiteral("\"Name\" IS NULL"));
    // Booleans as SQLite spells them; letters and blanks of the value do not matter.
    c.row(1, QStringLiteral("Active"), QStringLiteral("equal to"), QStringLiteral("  false "));
    EXPECT_EQ(c.filter(), QStringLiteral("\"Active\" = 0"));
    c.row(1, QStringLiteral("Active"), QStringLiteral("equal to"), QStringLiteral("TRUE"));
    EXPECT_EQ(c.filter(), QStringLiteral("\"Active\" = 1"));
    // Two fields compared, each between the delimiters; without a delimiter set, between the
    // connection's own, so that no name is read as a key word or folded to lower case.
    c.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("Other Name"), {}, QStringLiteral("is"), true);
    EXPECT_EQ(c.filter(), QStringLiteral("\"Name\" = \"Other Name\""));
    c.qb.setBracket(QStringLiteral("\""));
    EXPECT_EQ(c.filter(), QStringLiteral("\"Name\" = \"Other Name\""));
}

TEST_F(FilterText, ValuesAreWrittenByTheirFieldsTypeNeverAsTyped)
{
    Unbound u;
    u.qb.DateFormat(QStringLiteral("dd/mm/yyyy"));
    u.row(1, QStringLiteral("Amount"), QStringLiteral("greater than"), QStringLiteral(" 12.50 "));
    EXPECT_EQ(u.filter(), QStringLiteral("\"Amount\" > 12.50"));
    {
        // A number typed with the locale's decimal comma.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        u.row(1, QStringLiteral("Amount"), QStringLiteral("less than"), QStringLiteral("-3,5"));
        EXPECT_EQ(u.filter(), QStringLiteral("\"Amount\" < -3.5"));
        QLocale::setDefault(QLocale::c());
    }
    // Dates in the builder's format become ISO literals (compared as dates on SQLite).
    u.row(1, QStringLiteral("Born"), QStringLiteral("equal to"), QStringLiteral("02/01/1970"));
    EXPECT_EQ(u.filter(), QStringLiteral("date(\"Born\") = date('1970-01-02')"));
    u.row(1, QStringLiteral("Born"), QStringLiteral("less than"), QStringLiteral("1970-01-02"));
    EXPECT_EQ(u.filter(), QStringLiteral("date(\"Born\") < date('1970-01-02')"));
    // A day or month typed with one digit.
    u.row(1, QStringLiteral("Born"), QStringLiteral("equal to"), QStringLiteral("1/1/2019"));
    EXPECT_EQ(u.filter(), QStringLiteral("date(\"Born\") = date('2019-01-01')"));
    u.row(1, QStringLiteral("Born"), QStringLiteral("equal to"), QStringLiteral("31/1/2019"));
    EXPECT_EQ(u.filter(), QStringLiteral("date(\"Born\") = date('2019-01-31')"));
    u.row(1, QStringLiteral("Born"), QStringLiteral("equal to"), QStringLiteral("2019-3-7"));
    EXPECT_EQ(u.filter(), QStringLiteral("date(\"Born\") = date('2019-03-07')"));
    u.row(1, QStringLiteral("Born"), QStringLiteral("equal to"), QStringLiteral("32/1/2019"));
    EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
    // A fraction against whole numbers is compared as the number it is.
    u.row(1, QStringLiteral("Age"), QStringLiteral("greater than"), QStringLiteral("29.5"));
    EXPECT_EQ(u.filter(), QStringLiteral("\"Age\" > 29.5"));
}

TEST_F(FilterText, RowsWithoutAFieldAndALastAndOrAreLeftOut)
{
    Unbound u;
    u.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("Smith"), QStringLiteral("OR"));
    u.row(2, QString(), QString(), QString());
    u.qb.grdFilter()->setTextMatrix(2, QB::colIsField, QString()); // the row "AND" / "OR" added
    EXPECT_EQ(u.filter(), QStringLiteral("\"Name\" = 'Smith'"));
    u.row(3, QStringLiteral("Age"), QStringLiteral("equal to"), QStringLiteral("4"), QStringLiteral("AND"));
    // The condition keeps its own leading blank after the join's.
    EXPECT_EQ(u.filter(), QStringLiteral("\"Name\" = 'Smith' OR  \"Age\" = 4"));
    EXPECT_FALSE(u.qb.FilterEmpty());
}

TEST_F(FilterText, WhatCannotBeWrittenSafelyIsRefusedWithAMessage)
{
    struct Case {
        const char *field;
        const char *comparison;
        const char *value;
        const char *message; // part of what the user is told
    };
    const Case cases[] = {
        {"Name", "equal to", "", "enter a value"},
        {"Name", "equal to", "<Choose>", "enter a value"},
        {"Age", "equal to", "30 OR 1=1", "not a number"},
        {"Age", "greater than", "1; DROP TABLE people", "not a number"},
        {"Age", "equal to", "1e5", "not a number"},
        {"Age", "equal to", "99999999999", "Row 1"},
        {"Born", "equal to", "1970-01-02' OR '1'='1", "not a date"},
        {"Active", "equal to", "1 OR 1=1", "True or False"},
        {"Active", "Containing", "1", "True or False"},
        {"Name", "equal to; DROP TABLE people --", "x", "comparison"},
        {"Name", "Sounding like OR 1=1", "x", "comparison"},
    };
    for (const Case &c : cases) {
        Unbound u;
        u.row(1, QString::fromUtf8(c.field), QString::fromUtf8(c.comparison), QString::fromUtf8(c.value));
        ui::Prompter::clearAsked();
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>")) << c.field << " " << c.comparison << " " << c.value;
        EXPECT_TRUE(said().contains(QLatin1String(c.message), Qt::CaseInsensitive))
            << c.value << ": " << said().toStdString();
    }
    {
        Unbound u;
        u.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("x"), QStringLiteral("AND 1=1 OR"));
        u.row(2, QStringLiteral("Age"), QStringLiteral("equal to"), QStringLiteral("1"));
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
    }
    {
        Unbound u;
        u.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("x"), {}, QStringLiteral("is not really"));
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
    }
    {
        // Brackets from the lists only, and balanced.
        Unbound u;
        u.showBrackets();
        u.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("x"));
        u.brackets(1, QStringLiteral("(1=1) OR ("), QString());
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
        u.brackets(1, QStringLiteral("(("), QStringLiteral(")"));
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
        EXPECT_TRUE(said().contains(QStringLiteral("do not match")));
        u.brackets(1, QString(), QStringLiteral(")"));
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
        u.brackets(1, QStringLiteral("(("), QStringLiteral("))"));
        EXPECT_EQ(u.filter(), QStringLiteral("(( \"Name\" = 'x'))"));
    }
    {
        // A value that claims to be a field must be one.
        Unbound u;
        u.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("1=1 OR Name"), {}, QStringLiteral("is"), true);
        EXPECT_EQ(u.filter(), QStringLiteral("<refused>"));
    }
}

TEST_F(FilterText, TextAndNamesAreQuotedSoPayloadsStayValues)
{
    // Run on a real database: every filter text must be valid SQL that returns the right rows
    // and leaves the table alone.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto connection = db::Connection::create();
    connection->setReadOnly(false);
    connection->Open(QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("p.db")));
    connection->Execute(QStringLiteral("CREATE TABLE people (name TEXT, \"we\"\"ird\" TEXT, age INTEGER)"));
    connection->Execute(QStringLiteral("INSERT INTO people VALUES ('x'' OR ''1''=''1', 'a', 1), ('Smith', 'b''c', 2),"
                                       " ('50%', 'z', 3), ('5x0', 'z', 4)"));
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM people"), connection);
    QueryBuilder qb;
    qb.rsData(rs);
    qb.adoConnection(connection);
    auto count = [&](const QString &filter) {
        auto r = connection->Execute(QStringLiteral("SELECT count(*) FROM (SELECT * FROM people) q WHERE ") + filter);
        return r->Value(0).toInt();
    };
    auto set = [&](const QString &fieldName, const QString &comparison, const QString &value) {
        const int ordinal = rs->FieldIndex(fieldName);
        const QStringList cells = {{}, fieldName, QString::number(ordinal), {}, QStringLiteral("is"), comparison, value,
                                   {}, {}, QStringLiteral("False")};
        for (int c = 0; c < QB::ColumnCount; ++c)
            qb.grdFilter()->setTextMatrix(1, c, cells[c]);
        return qb.Get_Filter().toString();
    };
    QString f = set(QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("x' OR '1'='1"));
    EXPECT_EQ(f, QStringLiteral("\"name\" = 'x'' OR ''1''=''1'"));
    EXPECT_EQ(count(f), 1);
    f = set(QStringLiteral("name"), QStringLiteral("Containing"), QStringLiteral("'; DROP TABLE people; --"));
    EXPECT_EQ(count(f), 0);
    f = set(QStringLiteral("name"), QStringLiteral("Begining with"), QStringLiteral("x' OR "));
    EXPECT_EQ(count(f), 1);
    f = set(QStringLiteral("name"), QStringLiteral("Sounding like"), QStringLiteral("Smyth'); --"));
    EXPECT_EQ(f, QStringLiteral("SOUNDEX(\"name\") = 'S530'"));
    EXPECT_EQ(count(f), 1);
    // LIKE keeps its own wildcards in a value, as the database reads them.
    f = set(QStringLiteral("name"), QStringLiteral("Containing"), QStringLiteral("5_0"));
    EXPECT_EQ(count(f), 1);
    // A name with the delimiter inside it has it doubled.
    f = set(QStringLiteral("we\"ird"), QStringLiteral("equal to"), QStringLiteral("b'c"));
    EXPECT_EQ(f, QStringLiteral("\"we\"\"ird\" = 'b''c'"));
    EXPECT_EQ(count(f), 1);
    EXPECT_EQ(connection->Execute(QStringLiteral("SELECT count(*) FROM people"))->Value(0).toInt(), 4);

    // With no delimiter set, names go between the connection's own: "When" is a key word and
    // PostgreSQL would fold Qty to qty. A fraction compared with whole numbers is a number too.
    std::vector<std::shared_ptr<db::Connection>> databases{connection};
    if (!testsupport::postgresConnInfo().isEmpty()) {
        databases.push_back(db::Connection::create());
        databases.back()->Open(testsupport::postgresConnectionString());
    }
    const QString statement = QStringLiteral("SELECT 1 AS \"Qty\", 'a' AS \"When\" UNION ALL SELECT 5, 'b' UNION ALL SELECT 2, 'b'");
    for (const auto &database : databases) {
        auto words = db::Recordset::create();
        words->Open(statement, database);
        QueryBuilder named;
        named.rsData(words);
        named.adoConnection(database);
        ASSERT_TRUE(named.Bracket().isEmpty());
        named.grdFilter()->setRows(3);
        const QStringList rows[] = {{{}, QStringLiteral("Qty"), QStringLiteral("0"), {}, QStringLiteral("is"), QStringLiteral("greater than"),
                                     QStringLiteral("1.5"), {}, QStringLiteral("AND"), QStringLiteral("False")},
                                    {{}, QStringLiteral("When"), QStringLiteral("1"), {}, QStringLiteral("is"), QStringLiteral("equal to"),
                                     QStringLiteral("b"), {}, {}, QStringLiteral("False")}};
        for (int r = 0; r < 2; ++r) {
            for (int c = 0; c < QB::ColumnCount; ++c)
                named.grdFilter()->setTextMatrix(r + 1, c, rows[r][c]);
        }
        const QVariant filter = named.Get_Filter();
        ASSERT_TRUE(filter.isValid()) << database->Provider().toStdString() << ": " << said().toStdString();
        auto counted = [&](const QString &where) {
            return database->Execute(QStringLiteral("SELECT count(*) FROM (%1) q WHERE %2").arg(statement, where))->Value(0).toInt();
        };
        const int expected = counted(QStringLiteral("\"Qty\" > 1.5 AND \"When\" = 'b'"));
        EXPECT_EQ(expected, 2);
        EXPECT_EQ(counted(filter.toString()), expected) << database->Provider().toStdString() << ": " << filter.toString().toStdString();
    }
}

TEST_F(FilterText, RowsHeldInMemoryGetStructuredConditionsWithTheDatabasesMeaning)
{
    Unbound u;
    u.qb.setUseSP(true);
    u.showBrackets();
    u.row(1, QStringLiteral("Name"), QStringLiteral("Containing"), QStringLiteral("a*b"), QStringLiteral("OR"));
    u.brackets(1, QStringLiteral("("), {});
    u.row(2, QStringLiteral("Age"), QStringLiteral("greater than"), QStringLiteral("30"), QStringLiteral("AND"), QStringLiteral("is not"));
    u.brackets(2, {}, QStringLiteral(")"));
    u.row(3, QStringLiteral("Name"), QStringLiteral("Sounding like"), QStringLiteral("Robert"));
    const std::optional<db::RecordsetFilter> f = u.qb.Get_FilterConditions();
    ASSERT_TRUE(f);
    const db::RecordsetFilter::Node &root = f->root();
    ASSERT_TRUE(root.isGroup);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.joinedByOr, std::vector<bool>{false});
    const db::RecordsetFilter::Node &group = root.children[0];
    ASSERT_TRUE(group.isGroup);
    ASSERT_EQ(group.children.size(), 2u);
    EXPECT_EQ(group.joinedByOr, std::vector<bool>{true});
    const db::RecordsetFilter::Condition &like = group.children[0].condition;
    EXPECT_EQ(like.op, QStringLiteral("LIKE"));
    EXPECT_EQ(like.value.toString(), QStringLiteral("%a*b%"));
    EXPECT_TRUE(like.sqlPattern) << "only % and _ are wildcards, as in SQL";
    // "is not greater than" passes no Null, as NOT (Age > 30) in SQL.
    EXPECT_EQ(group.children[1].condition.op, QStringLiteral("<="));
    EXPECT_FALSE(group.children[1].negated);
    EXPECT_EQ(root.children[1].condition.op, QStringLiteral("SOUNDS LIKE"));
    EXPECT_EQ(root.children[1].condition.value.toString(), QStringLiteral("R163"));
    // The text form is the recordset filter's own, read back to the same conditions.
    const QString text = u.qb.Get_Filter().toString();
    EXPECT_EQ(db::RecordsetFilter::parse(text).toString(), text);

    // Two fields cannot be compared on rows held in memory.
    Unbound v;
    v.qb.setUseSP(true);
    v.row(1, QStringLiteral("Name"), QStringLiteral("equal to"), QStringLiteral("City"), {}, QStringLiteral("is"), true);
    EXPECT_FALSE(v.qb.Get_FilterConditions());
}

// Rows filtered in memory are the rows the database's own WHERE gives, on the same data.
TEST_F(FilterText, InMemoryAndDatabaseFiltersGiveTheSameRows)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto connection = db::Connection::create();
    connection->setReadOnly(false);
    connection->Open(QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("m.db")));
    connection->Execute(QStringLiteral("CREATE TABLE t (id INTEGER, name VARCHAR(20), age INTEGER, born DATE)"));
    connection->Execute(QStringLiteral("INSERT INTO t VALUES (1, 'Robert', 30, '1990-01-01'), (2, 'Rupert', NULL, NULL),"
                                       " (3, 'Ann', 41, '1980-05-05'), (4, NULL, 25, '2000-02-02'), (5, 'a*b', 50, NULL)"));
    auto table = db::Recordset::create();
    table->Open(QStringLiteral("SELECT * FROM t"), connection);
    table->fetchAll();
    // The same rows held in memory, as a routine's or an XML document's are.
    auto memory = db::Recordset::fromStore(table->store());
    QueryBuilder sql;
    sql.rsData(table);
    sql.adoConnection(connection);
    QueryBuilder mem;
    mem.rsData(memory);
    mem.setUseSP(true);
    const struct {
        const char *field, *is, *comparison, *value;
    } cases[] = {{"name", "is", "Sounding like", "Robart"},  {"name", "is not", "Sounding like", "Robert"},
                 {"age", "is not", "greater than", "30"},      {"age", "is", "less than", "31"},
                 {"name", "is", "Begining with", "Ro"},        {"name", "is not", "Containing", "er"},
                 {"name", "is", "Containing", "*"},            {"born", "is", "greater than", "1985-01-01"},
                 {"name", "is not", "null", ""},               {"id", "is not", "equal to", "3"}};
    for (const auto &c : cases) {
        for (QueryBuilder *qb : {&sql, &mem}) {
            const int ordinal = table->FieldIndex(QLatin1String(c.field));
            const QStringList cells = {{}, QLatin1String(c.field), QString::number(ordinal), {}, QLatin1String(c.is),
                                       QLatin1String(c.comparison), QLatin1String(c.value), {}, {}, QStringLiteral("False")};
            for (int k = 0; k < QB::ColumnCount; ++k)
                qb->grdFilter()->setTextMatrix(1, k, cells[k]);
        }
        auto where = connection->Execute(QStringLiteral("SELECT id FROM t WHERE ") + sql.Get_Filter().toString() +
                                         QStringLiteral(" ORDER BY id"));
        QStringList expected;
        for (where->MoveFirst(); !where->isEOF(); where->MoveNext())
            expected << where->Value(0).toString();
        const std::optional<db::RecordsetFilter> conditions = mem.Get_FilterConditions();
        ASSERT_TRUE(conditions) << c.comparison;
        memory->setFilter(*conditions);
        QStringList got;
        for (memory->MoveFirst(); !memory->isEOF(); memory->MoveNext())
            got << memory->Value(0).toString();
        EXPECT_EQ(got, expected) << c.field << " " << c.is << " " << c.comparison << " " << c.value;
    }
}
