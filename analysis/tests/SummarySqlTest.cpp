// The aggregate statement's text: the results statement as a derived table, names quoted, the
// condition's number read in the user's locale, and refusals instead of broken SQL.
#include "TabulonTestSupport.h"

#include "views/Aggregates.h"
#include "views/SummarySql.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace agg = analysis::aggregates;
namespace ssql = analysis::summarysql;

namespace {

ssql::Choice choice(const char *c0, int function, const char *value = "", const char *c1 = "", const char *c2 = "")
{
    ssql::Choice c;
    c.c0 = QString::fromUtf8(c0);
    c.c1 = QString::fromUtf8(c1);
    c.c2 = QString::fromUtf8(c2);
    c.function = function;
    c.valueColumn = QString::fromUtf8(value);
    return c;
}

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

} // namespace

TEST(SummarySql, TheResultsStatementIsADerivedTableWithoutItsOrder)
{
    const QString results = QStringLiteral(
        "SELECT o.\"ShipCountry\" AS Country, (SELECT COUNT(*) FROM \"Order Details\" d WHERE d.\"OrderID\" = o.\"OrderID\") AS Lines,"
        " 'FROM here' AS Note FROM \"Orders\" o WHERE (o.\"Freight\" > 5) ORDER BY 1 DESC;");
    const QString sql = ssql::summarySql(choice("Country", agg::fnSum, "Lines", "Note"), results, QStringLiteral("\""),
                                         kEnglish);
    EXPECT_EQ(sql, QStringLiteral("SELECT \"Country\", \"Note\", SUM(\"Lines\") AS \"Sum of Lines\"\r\n"
                                  "FROM (\r\n"
                                  "SELECT o.\"ShipCountry\" AS Country, (SELECT COUNT(*) FROM \"Order Details\" d WHERE "
                                  "d.\"OrderID\" = o.\"OrderID\") AS Lines, 'FROM here' AS Note FROM \"Orders\" o WHERE "
                                  "(o.\"Freight\" > 5)\r\n"
                                  ") AS t\r\n"
                                  "GROUP BY \"Country\", \"Note\" ORDER BY 1, 2"));

    // An order that picks the rows stays with them.
    const QString limited = QStringLiteral("SELECT * FROM t ORDER BY x DESC LIMIT 10");
    EXPECT_EQ(ssql::withoutOrderBy(limited), limited);
    EXPECT_EQ(ssql::withoutOrderBy(QStringLiteral("SELECT a FROM t ORDER BY a ;  ")), QStringLiteral("SELECT a FROM t"));
    EXPECT_EQ(ssql::withoutOrderBy(QStringLiteral("SELECT a FROM t; -- every a")), QStringLiteral("SELECT a FROM t"));
    EXPECT_EQ(ssql::withoutOrderBy(QStringLiteral("SELECT a FROM (SELECT a FROM t ORDER BY a LIMIT 3) s")),
              QStringLiteral("SELECT a FROM (SELECT a FROM t ORDER BY a LIMIT 3) s"));
}

TEST(SummarySql, NamesAreQuotedWithTheDelimiterDoubledInside)
{
    const QString sql = ssql::summarySql(choice("we\"ird", agg::fnMax, "pr`ice"), QStringLiteral("SELECT * FROM x"),
                                         QStringLiteral("`"), kEnglish);
    EXPECT_TRUE(sql.startsWith(QStringLiteral("SELECT `we\"ird`, MAX(`pr``ice`) AS `Max of pr``ice`"))) << sql;
    const QString dq = ssql::summarySql(choice("a\"b", agg::fnCount), QStringLiteral("SELECT * FROM x"),
                                        QStringLiteral("\""), kEnglish);
    EXPECT_TRUE(dq.startsWith(QStringLiteral("SELECT \"a\"\"b\", COUNT(*) AS \"Count\""))) << dq;
    EXPECT_TRUE(dq.endsWith(QStringLiteral("GROUP BY \"a\"\"b\" ORDER BY 1"))) << dq;
}

TEST(SummarySql, TheConditionsNumberIsReadInTheUsersLocale)
{
    ssql::Choice c = choice("g", agg::fnSum, "v");
    c.op = 2;
    c.value = QStringLiteral("1,000");
    EXPECT_TRUE(ssql::summarySql(c, QStringLiteral("SELECT * FROM x"), QStringLiteral("\""), kEnglish)
                    .endsWith(QStringLiteral("GROUP BY \"g\" HAVING SUM(\"v\") <>1000 ORDER BY 1")));
    c.op = 3;
    c.value = QStringLiteral("1.234.567");
    EXPECT_TRUE(ssql::summarySql(c, QStringLiteral("SELECT * FROM x"), QStringLiteral("\""), kGerman)
                    .contains(QStringLiteral("HAVING SUM(\"v\") > 1234567 ORDER BY")));
    c.function = agg::fnCount;
    c.op = 4;
    c.value = QStringLiteral("12");
    EXPECT_TRUE(ssql::summarySql(c, QStringLiteral("SELECT * FROM x"), QStringLiteral("\""), kEnglish)
                    .contains(QStringLiteral("HAVING COUNT(*) < 12 ORDER BY")));

    EXPECT_EQ(ssql::canonicalNumber(QStringLiteral("1,234,567"), kEnglish), QStringLiteral("1234567"));
    EXPECT_EQ(ssql::canonicalNumber(QStringLiteral("2.5"), kEnglish), QStringLiteral("2.5"));
    EXPECT_EQ(ssql::canonicalNumber(QStringLiteral(" 0 "), kEnglish), QStringLiteral("0"));
    EXPECT_FALSE(ssql::canonicalNumber(QStringLiteral("12abc"), kEnglish));
    EXPECT_FALSE(ssql::canonicalNumber(QStringLiteral("1; DROP TABLE x"), kEnglish));

    // A fraction is kept exactly; separators count only where they group thousands.
    EXPECT_EQ(ssql::canonicalNumber(QStringLiteral("1,000.50"), kEnglish), QStringLiteral("1000.5"));
    EXPECT_EQ(ssql::canonicalNumber(QStringLiteral("1.000,5"), kGerman), QStringLiteral("1000.5"));
    EXPECT_EQ(ssql::canonicalNumber(QStringLiteral("12345678901234567890.000000000000000001"), kEnglish),
              QStringLiteral("12345678901234567890.000000000000000001"));
    for (const char *slip : {"1,00.5", "1,0000", ",100", "1.2.3", "1,000,5", "."})
        EXPECT_FALSE(ssql::canonicalNumber(QLatin1String(slip), kEnglish)) << slip;
    EXPECT_EQ(ssql::localNumber(QStringLiteral("1234567.25"), kGerman), QStringLiteral("1.234.567,25"));
    EXPECT_EQ(ssql::localNumber(QStringLiteral("1234567.25"), kEnglish, false), QStringLiteral("1234567.25"));
    c.function = agg::fnSum;
    c.op = 3;
    c.value = QStringLiteral("1,000.5");
    EXPECT_TRUE(ssql::summarySql(c, QStringLiteral("SELECT * FROM x"), QStringLiteral("\""), kEnglish)
                    .contains(QStringLiteral("HAVING SUM(\"v\") > 1000.5 ORDER BY")));
}

TEST(SummarySql, AnOperatorWithoutANumberIsRefused)
{
    ssql::Choice c = choice("g", agg::fnSum, "v");
    c.op = 3;
    for (const char *value : {"", "   ", "ten", "5 OR 1=1"}) {
        c.value = QLatin1String(value);
        EXPECT_THROW(ssql::summarySql(c, QStringLiteral("SELECT * FROM x"), QStringLiteral("\""), kEnglish),
                     std::invalid_argument)
            << value;
    }
    // A function over a column with no column chosen.
    EXPECT_THROW(ssql::summarySql(choice("g", agg::fnAvg), QStringLiteral("SELECT * FROM x"), QStringLiteral("\""), kEnglish),
                 std::invalid_argument);
}

TEST(SummarySql, AverageParts)
{
    ssql::Choice c = choice("g", agg::fnAvg, "v", "h");
    c.op = 3;
    c.value = QStringLiteral("7");
    EXPECT_EQ(ssql::averagePartsSql(c, QStringLiteral("SELECT * FROM x ORDER BY g"), QStringLiteral("\""), kEnglish),
              QStringLiteral("SELECT \"g\", \"h\", AVG(\"v\") AS \"Avg of v\", SUM(\"v\") AS \"Sum of v\", "
                             "COUNT(\"v\") AS \"Count of v\"\r\nFROM (\r\nSELECT * FROM x\r\n) AS "
                             "t\r\nGROUP BY \"g\", \"h\" HAVING AVG(\"v\") > 7 ORDER BY 1, 2"));
}
