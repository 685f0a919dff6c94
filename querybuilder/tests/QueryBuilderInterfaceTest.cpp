// The query builder's interface: value classes, key filters, binding a recordset and laying the
// filter grid out.
#include "BuilderFixture.h"

#include "automation/Automation.h"
#include "db/RowStore.h"

#include <QLocale>

using namespace qbtest;

namespace {

std::shared_ptr<db::Recordset> resultOf(const QString &source, std::vector<db::FieldInfo> fields = {})
{
    if (fields.empty()) {
        db::FieldInfo id;
        id.Name = QStringLiteral("Id");
        id.Type = db::adInteger;
        fields.push_back(id);
    }
    return db::Recordset::fromStore(std::make_shared<db::RowStore>(std::move(fields)), source);
}

} // namespace

TEST(QueryBuilderTypes, ValueClassesAndAllowedTypes)
{
    QueryBuilder qb;
    for (int type : {2, 3, 4, 5, 6, 14, 16, 17, 18, 19, 20, 21, 131})
        EXPECT_EQ(qb.Get_DataType(type), QueryBuilder::dtNumeric) << type;
    EXPECT_EQ(qb.Get_DataType(11), QueryBuilder::dtBoolean);
    for (int type : {0, 7, 72, 129, 130, 133, 134, 135, 202, 203})
        EXPECT_EQ(qb.Get_DataType(type), QueryBuilder::dtString) << type;
    for (int type : {203, 204, 205})
        EXPECT_FALSE(qb.Allowed_DataType(type)) << type;
    for (int type : {0, 3, 11, 128, 133, 202, 206})
        EXPECT_TRUE(qb.Allowed_DataType(type)) << type;

    // Hosts reach the members by name, in any letter case.
    QVariant result;
    ASSERT_TRUE(automation::callByName(&qb, QStringLiteral("get_datatype"), {131}, &result));
    EXPECT_EQ(result.toInt(), int(QueryBuilder::dtNumeric));
    ASSERT_TRUE(automation::callByName(&qb, QStringLiteral("Bracket"), {QStringLiteral("\"")}));
    EXPECT_EQ(qb.Bracket(), QStringLiteral("\""));
}

TEST(QueryBuilderTypes, KeyFiltersPassTheirKeysAndTurnEnterIntoTrue)
{
    QueryBuilder qb;
    for (int k : {int('0'), int('9'), int('.'), int('-'), 8})
        EXPECT_EQ(qb.Check_NumberKey(k), k) << k;
    for (int k : {int('a'), int('E'), int(' '), int('+'), int('/'), 9})
        EXPECT_EQ(qb.Check_NumberKey(k), 0) << k;
    EXPECT_EQ(qb.Check_NumberKey(13), -1);
    {
        // The locale's own decimal mark counts as one.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(qb.Check_NumberKey(','), int(','));
        QLocale::setDefault(QLocale::c());
        EXPECT_EQ(qb.Check_NumberKey(','), 0);
    }
    for (int k : {8, 32, 39, 96, int('0'), int('z'), int('A')})
        EXPECT_EQ(qb.Check_AlphaKey(k), k) << k;
    for (int k : {int('-'), int('.'), int('%'), 200})
        EXPECT_EQ(qb.Check_AlphaKey(k), 0) << k;
    EXPECT_EQ(qb.Check_AlphaKey(13), -1);
}

TEST(QueryBuilderBinding, ListsNamedAllowedFieldsAndTheSourceText)
{
    QTemporaryDir dir;
    QueryBuilder qb;
    qb.rsData(peopleResult(dir));
    // The BLOB and the nameless column are left out; the fields after them keep their ordinals.
    EXPECT_EQ(qb.FieldList(), QStringLiteral(" |id|name|code|born|active|amount|note|seen|"));
    EXPECT_EQ(qb.grdFilter()->ColComboList(QueryBuilder::colField),
              QStringLiteral(" |id|name|code|born|active|amount|note|seen")) << "no empty last entry";
    EXPECT_EQ(qb.SourceText(), QStringLiteral("PEOPLE "));

    // A look-up list lives until the next binding.
    qb.QueryCol(ordName)->setLookUp(QStringLiteral("|Smith|Jones"));
    EXPECT_EQ(qb.QueryCol(ordName)->LookUp(), QStringLiteral("|Smith|Jones"));
    qb.rsData(peopleResult(dir));
    EXPECT_EQ(qb.QueryCol(ordName)->LookUp(), QString());
    EXPECT_EQ(qb.QueryCol(99), nullptr);

    qb.rsData(resultOf(QStringLiteral("select * from Orders order by Id")));
    EXPECT_EQ(qb.SourceText(), QStringLiteral("ORDERS "));
    qb.rsData(resultOf(QStringLiteral("select a from t join u on t.x = u.x where a > 1")));
    EXPECT_EQ(qb.SourceText(), QStringLiteral("T JOIN U ON T.X = U.X WHERE A > 1"));
    qb.rsData(nullptr);
    EXPECT_EQ(qb.FieldList(), QStringLiteral(" |"));
    EXPECT_EQ(qb.grdFilter()->Rows(), 2) << "binding never touches the condition rows";
}

TEST_F(Builder, InitLaysTheGridOutWithItsListsAndButtons)
{
    const QStringList headers{"(", "Column", "", "", "IS", "Comparison", "Value", ")", "AND\\OR", ""};
    for (int c = 0; c < QueryBuilder::ColumnCount; ++c)
        EXPECT_EQ(cell(0, c), headers.at(c)) << c;
    for (int c : {0, 2, 3, 7, 9})
        EXPECT_TRUE(g->ColHidden(c)) << c;
    for (int c : {1, 4, 5, 6, 8})
        EXPECT_FALSE(g->ColHidden(c)) << c;
    EXPECT_EQ(g->Rows(), 2);
    EXPECT_EQ(g->ColComboList(QueryBuilder::colComparison),
              QStringLiteral("null|equal to|greater than|less than|Containing|Begining with|Sounding like"));
    EXPECT_EQ(g->ColComboList(QueryBuilder::colOperator), QStringLiteral("AND|OR"));
    EXPECT_EQ(g->ColComboList(QueryBuilder::colIs), QStringLiteral("is|is not"));
    EXPECT_EQ(qb->dateFormat(), QStringLiteral("dd/mm/yyyy"));
    EXPECT_FALSE(button(QStringLiteral("Save")).Enabled());
    EXPECT_FALSE(button(QStringLiteral("Populate")).Enabled());
    EXPECT_FALSE(button(QStringLiteral("Fields")).Enabled());
    EXPECT_TRUE(button(QStringLiteral("Populate")).Visible());
    for (const char *key : {"Apply", "Print", "New", "Open", "Save", "Brackets", "Populate", "Fields"})
        EXPECT_TRUE(button(QString::fromLatin1(key)).Caption().isEmpty()) << key;
    EXPECT_TRUE(qb->FilterEmpty());

    // Captions, a kept date format and the row-by-row mode take effect at the next Init.
    qb->setMenuText(true);
    qb->DateFormat(QStringLiteral("yyyy-mm-dd"));
    qb->setUseSP(true);
    ASSERT_TRUE(qb->Init());
    EXPECT_EQ(button(QStringLiteral("Populate")).Caption(), QStringLiteral("Lookup"));
    EXPECT_EQ(button(QStringLiteral("Apply")).Caption(), QStringLiteral("Apply"));
    EXPECT_EQ(qb->dateFormat(), QStringLiteral("yyyy-mm-dd"));
    for (const char *key : {"sepPopulate", "Populate", "Fields"})
        EXPECT_FALSE(button(QString::fromLatin1(key)).Visible()) << key;
}

TEST_F(Builder, InitKeepsTheConditionsTheirChangedStateAndTheBrackets)
{
    condition(1, QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("Smith"));
    EXPECT_FALSE(qb->FilterEmpty());
    EXPECT_TRUE(qb->isChanged());

    clickButton(QStringLiteral("Brackets"));
    EXPECT_FALSE(g->ColHidden(QueryBuilder::colOpen));
    EXPECT_FALSE(g->ColHidden(QueryBuilder::colClose));

    // The host shows its window again: Init runs.
    qb->hide();
    show();
    EXPECT_EQ(cell(1, QueryBuilder::colValue), QStringLiteral("Smith"));
    EXPECT_TRUE(qb->isChanged()) << "unsaved conditions must not look saved";
    EXPECT_FALSE(g->ColHidden(QueryBuilder::colOpen)) << "the brackets follow the button";

    clickButton(QStringLiteral("Brackets"));
    EXPECT_TRUE(g->ColHidden(QueryBuilder::colOpen));
    EXPECT_TRUE(g->ColHidden(QueryBuilder::colClose));
}

TEST_F(Builder, FilterEmptyLooksAtTheFirstRowOnly)
{
    choose(1, QueryBuilder::colField, QStringLiteral("name"));
    choose(1, QueryBuilder::colOperator, QStringLiteral("AND"));
    choose(2, QueryBuilder::colField, QStringLiteral("code"));
    EXPECT_FALSE(qb->FilterEmpty());
    choose(1, QueryBuilder::colField, QStringLiteral(" "));
    EXPECT_EQ(g->Rows(), 2) << "the blank field removed row 1";
    EXPECT_FALSE(qb->FilterEmpty()) << "the former row 2 is row 1 now";
    choose(1, QueryBuilder::colField, QStringLiteral(" "));
    EXPECT_TRUE(qb->FilterEmpty());
}

TEST_F(Builder, ApplyEndsTheEditThenRaisesApply)
{
    int applied = 0;
    QString valueSeen;
    QObject::connect(qb.get(), &QueryBuilder::Apply, [&] {
        ++applied;
        valueSeen = cell(1, QueryBuilder::colValue);
    });
    choose(1, QueryBuilder::colField, QStringLiteral("name"));
    settle();
    ASSERT_TRUE(g->isEditing());
    QTest::keyClicks(typingTarget(), QStringLiteral("Jones"));
    clickButton(QStringLiteral("Apply"));
    EXPECT_EQ(applied, 1);
    EXPECT_EQ(valueSeen, QStringLiteral("Jones")) << "the text being typed is stored before Apply";
    EXPECT_FALSE(g->isEditing());
}

TEST_F(Builder, ANewBindingFindsEachRowsFieldAgainByName)
{
    condition(1, QStringLiteral("code"), QStringLiteral("equal to"), QStringLiteral("ab"), QStringLiteral("AND"));
    condition(2, QStringLiteral("born"), QStringLiteral("greater than"), QString());
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    ASSERT_EQ(cell(1, QueryBuilder::colOrdinal), QString::number(ordCode));

    // The same name at another place of the new result.
    qb->rsData(peopleResult(dir, QStringLiteral("SELECT born, code, name FROM people")));
    EXPECT_EQ(cell(1, QueryBuilder::colOrdinal), QStringLiteral("1"));
    EXPECT_EQ(cell(2, QueryBuilder::colOrdinal), QStringLiteral("0"));
    EXPECT_EQ(qb->QueryCol(0)->LookUp(), QStringLiteral("...")) << "a date field keeps its picker";

    // A field the new result lacks: the row stays in sight but filters nothing and takes no value.
    qb->rsData(peopleResult(dir, QStringLiteral("SELECT name FROM people")));
    EXPECT_EQ(cell(1, QueryBuilder::colField), QStringLiteral("code"));
    EXPECT_EQ(cell(1, QueryBuilder::colOrdinal), QString());
    EXPECT_EQ(edit(1, QueryBuilder::colValue), nullptr);
}
