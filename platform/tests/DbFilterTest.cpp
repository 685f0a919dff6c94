#include "DbTestSupport.h"

#include "db/DbError.h"
#include "db/RecordsetFilter.h"

#include <gtest/gtest.h>

using namespace db;
using dbtest::field;

namespace {

QString parseError(const QString &criteria)
{
    try {
        RecordsetFilter::parse(criteria);
    } catch (const DbError &e) {
        return e.message();
    }
    return QStringLiteral("(parsed)");
}

// Rows: ids 1..6 with a mix of values and Nulls.
class FilterRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<RowStore>(std::vector<FieldInfo>{
            field("id", adInteger), field("Name", adVarWChar), field("amount", adNumeric), field("price", adDouble),
            field("born", adDBDate), field("ts", adDBTimeStamp), field("active", adBoolean), field("code", adChar),
            field("First Name", adVarWChar), field("bin", adLongVarBinary), field("at", adDBTime)});
        struct R {
            QVariant name, amount, price, born, ts, active, code, first;
        };
        const R rows[] = {
            {"Müller", "12345678.91", 1.5, QDate(2024, 2, 29), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30), Qt::UTC),
             true, "ab   ", "Anna"},
            {QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()},
            {"", "-0.05", -0.25, QDate(1900, 1, 1), QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC), false,
             "x", "Bob"},
            {"O'Brien", "123456789012345678901.5", 1e300, QDate(2000, 1, 1),
             QDateTime(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC), true, "AB", "anna maria"},
            {"MÜLLER-Lüdenscheidt", "12.50", 12.5, QDate(2024, 1, 5), QVariant(), false, "zz", "Ann"},
            {"100%_sure", "10", 10.0, QVariant(), QVariant(), QVariant(), QVariant(), "A?"},
        };
        int id = 0;
        for (const R &r : rows) {
            ++id;
            store->beginRow();
            store->setInt64(0, id);
            store->setValue(1, r.name);
            store->setValue(2, r.amount);
            store->setValue(3, r.price);
            store->setValue(4, r.born);
            store->setValue(5, r.ts);
            store->setValue(6, r.active);
            store->setValue(7, r.code);
            store->setValue(8, r.first);
            if (id == 1) {
                store->setBlob(9, "\1", 1);
                store->setValue(10, QTime(8, 30));
            }
            store->endRow();
        }
    }

    // ids of the matching rows, as "1,3"
    std::string ids(const QString &criteria, bool caseSensitive = false)
    {
        RecordsetFilter f = RecordsetFilter::parse(criteria);
        f.bind(*store, caseSensitive);
        std::string out;
        for (std::size_t r = 0; r < store->rowCount(); ++r) {
            if (f.matches(*store, r)) {
                if (!out.empty())
                    out += ',';
                out += std::to_string(store->int64(r, 0));
            }
        }
        return out;
    }

    QString bindError(const QString &criteria)
    {
        RecordsetFilter f = RecordsetFilter::parse(criteria);
        try {
            f.bind(*store);
        } catch (const DbError &e) {
            return e.message();
        }
        return QStringLiteral("(bound)");
    }

    std::unique_ptr<RowStore> store;
};

} // namespace

TEST(DbFilterParse, FieldNamesOperatorsAndValues)
{
    const RecordsetFilter f = RecordsetFilter::parse(
        "[Odd ]] name] = 'it''s' AND \"Quoted \"\" name\" <> \"dq\" AND First Name  LIKE 'A*' "
        "AND n >= -12.5 AND d < #2024-02-29 13:45# AND b = true AND x IS NOT NULL AND y NOT LIKE '%z' AND z != NULL");
    const auto &c = f.root().children;
    ASSERT_EQ(c.size(), 9u);
    EXPECT_EQ(c[0].condition.field, "Odd ] name");
    EXPECT_EQ(c[0].condition.value, QVariant("it's"));
    EXPECT_EQ(c[1].condition.field, "Quoted \" name");
    EXPECT_EQ(c[1].condition.op, "<>");
    EXPECT_EQ(c[1].condition.value, QVariant("dq"));
    EXPECT_EQ(c[2].condition.field, "First Name"); // blanks inside a bare name, as the filter grid writes it
    EXPECT_EQ(c[2].condition.op, "LIKE");
    EXPECT_EQ(c[3].condition.value.toDouble(), -12.5);
    EXPECT_EQ(c[4].condition.value.toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45), Qt::UTC));
    EXPECT_EQ(c[5].condition.value, QVariant(true));
    EXPECT_EQ(c[6].condition.op, "IS NOT NULL");
    EXPECT_FALSE(c[6].condition.value.isValid());
    EXPECT_EQ(c[7].condition.op, "NOT LIKE");
    EXPECT_EQ(c[8].condition.op, "<>");
    EXPECT_TRUE(c[8].condition.value.isNull());
    EXPECT_TRUE(RecordsetFilter::parse("   ").isEmpty());
    EXPECT_EQ(RecordsetFilter::parse("a = 5").root().children[0].condition.value.metaType().id(), QMetaType::LongLong);
    // the column menu's own form: two blanks, IS NULL spelled as IS + NULL
    EXPECT_EQ(RecordsetFilter::parse("Name  IS NULL").root().children[0].condition.op, "IS NULL");
}

TEST(DbFilterParse, ErrorsNameThePositionAndWhatWasExpected)
{
    EXPECT_EQ(parseError("Name 'x'"), "Expected a comparison after 'Name' at position 6");
    EXPECT_EQ(parseError("a = 1 AND"), "Expected a condition at position 10");
    EXPECT_EQ(parseError("(a = 1"), "Expected ')' at position 7");
    EXPECT_EQ(parseError("a = 1)"), "Unexpected ')' at position 6");
    EXPECT_EQ(parseError("a = 1 b = 2"), "Expected AND, OR or the end of the filter at position 7");
    EXPECT_EQ(parseError("a = 'open"), "Expected ' to close the text starting at position 5");
    EXPECT_EQ(parseError("[a = 1"), "Expected ] to close the name starting at position 1");
    EXPECT_EQ(parseError("a = 12abc"), "'12abc' is not a number at position 5");
    EXPECT_EQ(parseError("a = #2023-02-29#"), "'2023-02-29' is not a date at position 5");
    EXPECT_EQ(parseError("a = "), "Expected a value after '=' at position 5");
    EXPECT_EQ(parseError("a = Smith"), "Expected a value after '=' at position 5");
    EXPECT_EQ(parseError("a LIKE (5)"), "Expected a pattern after LIKE at position 8");
    EXPECT_EQ(parseError("a NOT LIKE"), "Expected a pattern after NOT LIKE at position 11");
    EXPECT_EQ(parseError("a IS 5"), "Expected NULL or NOT NULL after IS at position 6");
    EXPECT_EQ(parseError("= 1"), "Expected a field name at position 1");
}

TEST(DbFilterParse, CanonicalTextParsesBackToTheSameTree)
{
    const char *filters[] = {
        "a = 1",
        "[x]]y] <> 'O''Brien' OR b < 2.5 AND c >= -3",
        "NOT (a = 1 OR b IS NULL) AND (c LIKE '*x_' OR (d = #2024-02-29# AND e = #13:45:30.250#))",
        "t = #1999-12-31 23:59:59.5# AND n = NULL AND f = FALSE AND g NOT LIKE '%'",
        "First Name = \"Anna\" and big = 1e300 or small = 0.1",
        "((a = 1))",
        "b > -00.0 OR b < -0.0e5",
        // dates before year one, however typed, are written with their era
        "d = #-0005-01-01# OR d = #0044-03-15 BC# OR t > #-0001-12-31 10:00:00#",
    };
    for (const char *text : filters) {
        const QString once = RecordsetFilter::parse(text).toString();
        const QString twice = RecordsetFilter::parse(once).toString();
        EXPECT_EQ(once, twice) << text;
    }
    EXPECT_EQ(RecordsetFilter::parse("x = 'a' and NOT y like \"b*\" or z is not null").toString(),
              "[x] = 'a' AND NOT [y] LIKE 'b*' OR [z] IS NOT NULL");
    EXPECT_EQ(RecordsetFilter::parse("").toString(), "");
}

TEST_F(FilterRows, AndBindsTighterThanOrAndGroupsNegate)
{
    EXPECT_EQ(ids("id = 1 OR id = 3 AND Name = 'x'"), "1");
    EXPECT_EQ(ids("(id = 1 OR id = 3) AND price < 0"), "3");
    EXPECT_EQ(ids("NOT (id <= 2 OR id >= 5)"), "3,4");
    EXPECT_EQ(ids("id > 1 AND id < 5 OR id = 6 AND id <> 6 OR id = 1"), "1,2,3,4");
    EXPECT_EQ(ids(""), "1,2,3,4,5,6");
}

TEST_F(FilterRows, NullCellsMatchOnlyIsNull)
{
    EXPECT_EQ(ids("Name IS NULL"), "2");
    EXPECT_EQ(ids("Name IS NOT NULL"), "1,3,4,5,6");
    EXPECT_EQ(ids("Name <> 'x'"), "1,3,4,5,6");
    EXPECT_EQ(ids("Name = ''"), "3"); // empty text is not Null
    EXPECT_EQ(ids("Name = NULL OR Name <> NULL"), "");
    EXPECT_EQ(ids("Name NOT LIKE 'z*'"), "1,3,4,5,6");
    EXPECT_EQ(ids("NOT (Name = 'x')"), "1,2,3,4,5,6"); // NOT over a group is plain negation
    EXPECT_EQ(ids("bin IS NOT NULL"), "1");
}

TEST_F(FilterRows, LikeIsCaseInsensitiveWithBothWildcardStyles)
{
    EXPECT_EQ(ids("Name LIKE 'müller*'"), "1,5");
    EXPECT_EQ(ids("Name LIKE '%LÜD%'"), "5");
    EXPECT_EQ(ids("Name LIKE 'o_brien'"), "4");
    EXPECT_EQ(ids("Name LIKE 'O?Brie?'"), ""); // as in SQL, ? is no wildcard
    EXPECT_EQ(ids("Name LIKE '100!%_sure'"), "");
    EXPECT_EQ(ids("Name LIKE '100%_sure'"), "6");
    EXPECT_EQ(ids("Name LIKE '*'"), "1,3,4,5,6");
    EXPECT_EQ(ids("Name LIKE 'M*r*t'"), "5"); // backtracking past the first 'r'
    EXPECT_EQ(ids("Name LIKE ''"), "3");
    EXPECT_EQ(ids("price LIKE '1*'"), "1,4,5,6"); // numbers match their display text
    EXPECT_EQ(ids("price  LIKE 1%"), "1,4,5,6");  // as the column menu writes it for a number
    EXPECT_EQ(ids("born LIKE '2024-*'"), "1,5");
}

TEST_F(FilterRows, RowsOfACaseSensitiveDatabaseCompareAsItDoes)
{
    // The rows of a routine compare as its database compares them, so a filter finds the same
    // rows on them as on a table.
    EXPECT_EQ(ids("Name LIKE 'müller*'", true), "");
    EXPECT_EQ(ids("Name LIKE 'M%'", true), "1,5");
    EXPECT_EQ(ids("Name LIKE '%Lü%'", true), "5");
    EXPECT_EQ(ids("Name = 'müller'", true), "");
    EXPECT_EQ(ids("Name = 'Müller'", true), "1");
    EXPECT_EQ(ids("Name <> 'Müller'", true), "3,4,5,6");
    EXPECT_EQ(ids("[First Name] >= 'B'", true), "3,4"); // 'a' sorts after 'B' by code point
    EXPECT_EQ(ids("code = 'AB'", true), "4");
}

TEST(DbFilterParse, DeepNestingIsAClearErrorNotACrash)
{
    const QString deep = QString(10000, u'(') + QStringLiteral("a = 1") + QString(10000, u')');
    EXPECT_EQ(parseError(deep), QStringLiteral("The filter nests brackets or NOT more than %1 deep at position %2")
                                    .arg(RecordsetFilter::kMaxNesting)
                                    .arg(RecordsetFilter::kMaxNesting + 1));
    QString nots;
    for (int i = 0; i < 10000; ++i)
        nots += QStringLiteral("NOT ");
    EXPECT_TRUE(parseError(nots + QStringLiteral("a = 1")).startsWith(QStringLiteral("The filter nests")));
    // Up to the limit it reads as usual.
    const int n = RecordsetFilter::kMaxNesting;
    EXPECT_EQ(parseError(QString(n, u'(') + QStringLiteral("a = 1") + QString(n, u')')), "(parsed)");
}

TEST_F(FilterRows, ComparisonsFollowTheColumnType)
{
    // text case-insensitively; a number column parses text values as numbers
    EXPECT_EQ(ids("Name = 'müller'"), "1");
    EXPECT_EQ(ids("Name > 'n'"), "4");
    EXPECT_EQ(ids("[First Name] >= 'ANNA' AND [First Name] < 'b'"), "1,4");
    EXPECT_EQ(ids("id >= '4'"), "4,5,6");
    EXPECT_EQ(ids("id < 2.5"), "1,2");
    EXPECT_EQ(ids("price > 10 AND price <= 1e300"), "4,5");
    // exact decimals, beyond what a double holds
    EXPECT_EQ(ids("amount > '123456789012345678901.4'"), "4");
    EXPECT_EQ(ids("amount = 12.5"), "5");
    EXPECT_EQ(ids("amount < 0"), "3");
    EXPECT_EQ(ids("amount >= 10 AND amount < 12345678.91"), "5,6");
    // dates as dates, in every spelling
    EXPECT_EQ(ids("born >= #2000-01-01#"), "1,4,5");
    EXPECT_EQ(ids("born = '2024-02-29'"), "1");
    EXPECT_EQ(ids("born = #2/29/2024#"), "1");
    EXPECT_EQ(ids("born < #2000-01-01 00:00:01#"), "3,4");
    EXPECT_EQ(ids("ts > #2024-02-29 13:45:29.999# AND ts < #2024-02-29 13:45:30.001#"), "1");
    EXPECT_EQ(ids("ts >= #2000-01-01#"), "1,4");
    EXPECT_EQ(ids("at = #08:30#"), "1");
    // Booleans in any of the forms the grid writes
    EXPECT_EQ(ids("active = TRUE"), "1,4");
    EXPECT_EQ(ids("active = 1"), "1,4");
    EXPECT_EQ(ids("active = -1"), "1,4");
    EXPECT_EQ(ids("active = 'False'"), "3,5");
    EXPECT_EQ(ids("active = 111."), "1,4") << "a number with a point is true when it is not zero";
    EXPECT_EQ(ids("active = 0.0"), "3,5");
    // fixed-length text ignores its padding
    EXPECT_EQ(ids("code = 'AB'"), "1,4");
}

TEST_F(FilterRows, BindRefusesWhatCannotBeCompared)
{
    EXPECT_EQ(bindError("nope = 1"), "The filter names the field 'nope', which is not in the recordset");
    EXPECT_EQ(bindError("id = 'abc'"), "'abc' is not a number (filter on the field 'id')");
    EXPECT_EQ(bindError("amount = 'twelve'"), "'twelve' is not a number (filter on the field 'amount')");
    EXPECT_EQ(bindError("born = 'yesterday'"), "'yesterday' is not a date (filter on the field 'born')");
    EXPECT_EQ(bindError("active = 'maybe'"), "'maybe' is not a Boolean value (filter on the field 'active')");
    EXPECT_EQ(bindError("bin = 'x'"), "The binary field 'bin' can only be tested with IS NULL or IS NOT NULL");
    EXPECT_EQ(bindError("ID = 1 AND NAME = 'x'"), "(bound)"); // field names are case-insensitive

    RecordsetFilter unbound = RecordsetFilter::parse("id = 1");
    EXPECT_THROW(unbound.matches(*store, 0), DbError);
    // a failed bind leaves the earlier binding in force
    RecordsetFilter f = RecordsetFilter::parse("id = 1");
    f.bind(*store);
    RowStore other({field("x", adInteger)});
    EXPECT_THROW(f.bind(other), DbError);
    EXPECT_TRUE(f.matches(*store, 0));
    EXPECT_FALSE(f.matches(*store, 1));
}

TEST_F(FilterRows, StructuredConditionsFromTheQueryBuilder)
{
    RecordsetFilter::Node root;
    root.isGroup = true;
    RecordsetFilter::Node a;
    a.condition = {QStringLiteral("born"), QStringLiteral("  >= "), QVariant(QDate(2000, 1, 1))};
    RecordsetFilter::Node b;
    b.condition = {QStringLiteral("name"), QStringLiteral("like"), QVariant(QStringLiteral("m%"))};
    RecordsetFilter::Node c;
    c.condition = {QStringLiteral("price"), QStringLiteral("is"), QVariant()};
    root.children = {a, b, c};
    root.joinedByOr = {false, true};
    RecordsetFilter f(root);
    f.bind(*store);
    std::string got;
    for (std::size_t r = 0; r < store->rowCount(); ++r)
        got += f.matches(*store, r) ? '1' : '0';
    EXPECT_EQ(got, "110010");
    EXPECT_EQ(f.toString(), "[born] >= #2000-01-01# AND [name] LIKE 'm%' OR [price] IS NULL");

    RecordsetFilter::Node bad;
    bad.condition = {QStringLiteral("id"), QStringLiteral("~"), QVariant(1)};
    RecordsetFilter g(bad);
    EXPECT_THROW(g.bind(*store), DbError);
}
