#include "core/QueryText.h"

#include <gtest/gtest.h>

#include <QDate>

#include <ostream>

namespace qt = analysis::querytext;

namespace {
inline std::ostream &operator<<(std::ostream &os, const QString &text) { return os << text.toStdString(); }
const QString F = QStringLiteral("\"Name\" = 'Smith'");
} // namespace

TEST(GetQuery, AddsWhereBetweenHeadAndOrderBy)
{
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT x FROM T ORDER BY A"), F, {}),
              QStringLiteral("SELECT x FROM T\r\nWHERE  (\"Name\" = 'Smith')\r\nORDER BY A"));
}

TEST(GetQuery, AppendsToExistingWhereOnceOnly)
{
    const QString once = qt::getQuery(QStringLiteral("SELECT x FROM T WHERE A = 1 ORDER BY A"), F, {});
    EXPECT_EQ(once, QStringLiteral("SELECT x FROM T\r\nWHERE A = 1 \r\nAND  (\"Name\" = 'Smith')\r\nORDER BY A"));
    EXPECT_EQ(qt::getQuery(once, F, {}), once);
}

TEST(GetQuery, BothFiltersOverAGroupedStatementReadItsResultRows)
{
    EXPECT_EQ(qt::getQuery(QStringLiteral("  SELECT a, COUNT(*) FROM T GROUP BY a  "), QStringLiteral("a > 1"),
                           QStringLiteral("a < 9")),
              QStringLiteral("SELECT * FROM (\r\nSELECT a, COUNT(*) FROM T GROUP BY a\r\n) q\r\nWHERE  (a > 1) \r\nAND  (a < 9)"));
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT * FROM T"), {}, {}), QStringLiteral("SELECT * FROM T"));
}

TEST(GetQuery, SplicesOnlyWhereTheStatementsOwnWhereSeesTheResultRows)
{
    // What a condition in the statement's WHERE would read differently from its result rows.
    const char *derived[] = {
        "SELECT customer AS \"Name\" FROM orders",
        "SELECT customer, count(*) AS n FROM orders GROUP BY customer",
        "SELECT id, row_number() OVER (ORDER BY id) AS rn FROM orders",
        "WITH c AS (SELECT * FROM orders) SELECT * FROM c",
        "SELECT DISTINCT customer FROM orders",
        "SELECT * FROM orders o JOIN lines l ON l.id = o.id",
        "SELECT * FROM orders, lines",
        "SELECT * FROM orders ORDER BY id LIMIT 5",
        "SELECT * FROM a UNION SELECT * FROM b",
        "SELECT upper(customer) FROM orders",
        "SELECT 1 FROM orders",
        "SELECT current_date FROM orders",
        "SELECT * FROM orders WHERE id > 1 GROUP BY id",
    };
    for (const char *sql : derived) {
        const QString out = qt::getQuery(QString::fromUtf8(sql), F, {});
        EXPECT_TRUE(out.startsWith(QStringLiteral("SELECT * FROM (\r\n") + QString::fromUtf8(sql) + QStringLiteral("\r\n) q")))
            << out.toStdString();
    }
    // A single table or derived table read by * or its plain columns takes the filter in its WHERE.
    const char *spliced[] = {
        "SELECT * FROM orders",
        "SELECT * FROM \"my schema\".\"orders\" AS o",
        "SELECT id, o.customer, \"Total\" FROM orders o WHERE id > 1 ORDER BY id",
        "SELECT * FROM (SELECT 1 AS id) q WHERE id = 1",
        "SELECT * FROM generate_series(1, 3) g",
    };
    for (const char *sql : spliced)
        EXPECT_FALSE(qt::getQuery(QString::fromUtf8(sql), F, {}).startsWith(QStringLiteral("SELECT * FROM (\r\n"))) << sql;
}

TEST(GetQuery, AnOrInTheStatementsWhereIsBracketedBeforeTheFilterJoinsIt)
{
    const QString once = qt::getQuery(QStringLiteral("SELECT * FROM T WHERE a = 1 OR b = 2 ORDER BY a"), F, {});
    EXPECT_EQ(once, QStringLiteral("SELECT * FROM T\r\nWHERE (a = 1 OR b = 2) \r\nAND  (\"Name\" = 'Smith')\r\nORDER BY a"));
    EXPECT_EQ(qt::getQuery(once, F, {}), once);
    // A comment closing the condition keeps its bracket off its line.
    const QString commented = qt::getQuery(QStringLiteral("SELECT * FROM T WHERE a = 1 OR b = 2 -- either"), F, {});
    EXPECT_EQ(commented, QStringLiteral("SELECT * FROM T\r\nWHERE (a = 1 OR b = 2 -- either\r\n) \r\nAND  (\"Name\" = 'Smith')"));
    EXPECT_EQ(qt::getQuery(commented, F, {}), commented);
    // An OR inside brackets already binds as written.
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT * FROM T WHERE (a = 1 OR b = 2)"), F, {}),
              QStringLiteral("SELECT * FROM T\r\nWHERE (a = 1 OR b = 2)\r\nAND  (\"Name\" = 'Smith')"));
}

TEST(GetQuery, TheDerivedTableKeepsItsOrderInsideAndTakesANewOneOutside)
{
    const QString sql = QStringLiteral("SELECT a, count(*) AS n FROM T GROUP BY a ORDER BY n DESC;  \n");
    const QString filtered = qt::getQuery(sql, F, {});
    EXPECT_EQ(filtered, QStringLiteral("SELECT * FROM (\r\nSELECT a, count(*) AS n FROM T GROUP BY a ORDER BY n DESC\r\n) q"
                                       "\r\nWHERE  (\"Name\" = 'Smith')"));
    // Run again as it stands (the SQL box shows it): nothing is added twice ...
    EXPECT_EQ(qt::getQuery(filtered, F, {}), filtered);
    // ... and a further filter joins the outer WHERE.
    EXPECT_EQ(qt::getQuery(filtered, QStringLiteral("n > 2"), {}),
              filtered + QStringLiteral("\r\nAND  (n > 2)"));
    const QList<QStringList> sort = {{QStringLiteral("n"), QStringLiteral("0")}};
    EXPECT_EQ(qt::changeOrderBy(filtered, sort, QStringLiteral("\"")), filtered + QStringLiteral("\r\nORDER BY \"n\""));
    // A statement ending in a comment still closes its bracket.
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT a AS b FROM T -- the list"), F, {}),
              QStringLiteral("SELECT * FROM (\r\nSELECT a AS b FROM T -- the list\r\n) q\r\nWHERE  (\"Name\" = 'Smith')"));
}

TEST(FindClause, KnowsDollarQuotingEscapeStringsAndNamesWithDollars)
{
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT $$ ORDER BY $$ AS label FROM t"), QStringLiteral("ORDER BY")), -1);
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT $q$ it's $$ where $q$ AS x FROM t WHERE a"), QStringLiteral("WHERE")), 41);
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT E'it\\'s where' FROM t"), QStringLiteral("WHERE")), -1);
    // $1 is a parameter and a$b a name, neither opens a literal.
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT a$b, $1 FROM t WHERE c$ = 1"), QStringLiteral("WHERE")), 22);
    // An unclosed literal hides the rest, as the server would read it.
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT $x$ WHERE"), QStringLiteral("WHERE")), -1);
    // The filter spliced into such a statement lands outside the literal.
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT * FROM t WHERE x <> $$ ORDER BY $$ ORDER BY x"), F, {}),
              QStringLiteral("SELECT * FROM t\r\nWHERE x <> $$ ORDER BY $$ \r\nAND  (\"Name\" = 'Smith')\r\nORDER BY x"));
}

TEST(GetQuery, FindsClausesOnlyAtTopLevelInAnyCaseAndLayout)
{
    // A WHERE followed by a line break, and lower-case keywords, are the statement's own clauses.
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT x FROM T where\nA = 1\norder by A"), QStringLiteral("B"), {}),
              QStringLiteral("SELECT x FROM T\r\nwhere\nA = 1\r\nAND  (B)\r\norder by A"));
    // Inside a sub-query, a literal, a quoted name or a comment they are not.
    const QString sql = QStringLiteral("SELECT (SELECT MAX(y) FROM U WHERE U.k = T.k) AS \"where \", 'order by x' "
                                       "FROM T /* where */ -- group by\n");
    EXPECT_EQ(qt::findClause(sql, QStringLiteral("WHERE")), -1);
    EXPECT_EQ(qt::findClause(sql, QStringLiteral("ORDER BY")), -1);
    EXPECT_EQ(qt::findClause(sql, QStringLiteral("GROUP BY")), -1);
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT nowhere FROM T GROUP\t\r\nBY a"), QStringLiteral("GROUP BY")), 22);
    EXPECT_EQ(qt::findClause(QStringLiteral("SELECT 'it''s where' FROM T WHERE a"), QStringLiteral("where")), 28);
}

TEST(ChangeOrderBy, ReplacesTheClauseWithQuotedColumns)
{
    const QList<QStringList> sort = {{QStringLiteral("Name"), QStringLiteral("0")},
                                     {QStringLiteral("Total"), QStringLiteral("1")}};
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT x FROM T ORDER BY X"), sort, QStringLiteral("\"")),
              QStringLiteral("SELECT x FROM T\r\nORDER BY \"Name\",\"Total\" DESC"));
    // Lower case is recognised and replaced, not kept ahead of a second clause.
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT x FROM T order by X"), sort, QStringLiteral("\"")),
              QStringLiteral("SELECT x FROM T\r\nORDER BY \"Name\",\"Total\" DESC"));
    // A statement ending in a line break takes the clause on its own line as it stands.
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT x FROM T\n"), {{QStringLiteral("a\"b"), {}}}, QStringLiteral("\"")),
              QStringLiteral("SELECT x FROM T\nORDER BY \"a\"\"b\""));
    // An order inside a window function stays; the new one sorts the result's rows, whose column
    // names only the derived table is sure to know (an expression's, a joined table's).
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT ROW_NUMBER() OVER (ORDER BY a) FROM T ORDER BY 1"),
                                {{QStringLiteral("a"), QStringLiteral("1")}}, QStringLiteral("`")),
              QStringLiteral("SELECT * FROM (\r\nSELECT ROW_NUMBER() OVER (ORDER BY a) FROM T\r\n) q\r\nORDER BY `a` DESC"));
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT a.x, b.y FROM T a JOIN U b ON a.k = b.k -- both"),
                                {{QStringLiteral("x"), QStringLiteral("0")}}, QStringLiteral("\"")),
              QStringLiteral("SELECT * FROM (\r\nSELECT a.x, b.y FROM T a JOIN U b ON a.k = b.k -- both\r\n) q\r\nORDER BY \"x\""));
}

TEST(ChangeOrderBy, AClosingSemicolonGoesAndALimitKeepsItsRows)
{
    const QList<QStringList> sort = {{QStringLiteral("a"), QStringLiteral("0")}};
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT a FROM T; -- all of them\n"), sort, QStringLiteral("\"")),
              QStringLiteral("SELECT a FROM T\r\nORDER BY \"a\""));
    // The five rows the statement picks, in the new order.
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT a FROM T ORDER BY b DESC LIMIT 5;"), sort, QStringLiteral("\"")),
              QStringLiteral("SELECT * FROM (\r\nSELECT a FROM T ORDER BY b DESC LIMIT 5\r\n) q\r\nORDER BY \"a\""));
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT a FROM T OFFSET 2 ROWS FETCH FIRST 3 ROWS ONLY"), sort, QStringLiteral("\"")),
              QStringLiteral("SELECT * FROM (\r\nSELECT a FROM T OFFSET 2 ROWS FETCH FIRST 3 ROWS ONLY\r\n) q\r\nORDER BY \"a\""));
    EXPECT_EQ(qt::withoutClosingSemicolons(QStringLiteral("SELECT ';' FROM T ; ; /* end */")), QStringLiteral("SELECT ';' FROM T"));
}

TEST(ChangeOrderBy, NoOrderLeavesTheStatement)
{
    const QString sql = QStringLiteral("SELECT x FROM T order by X ");
    EXPECT_EQ(qt::changeOrderBy(sql, {{QStringLiteral("-1"), {}}}, QStringLiteral("\"")), sql);
    EXPECT_EQ(qt::changeOrderBy(sql, {{QString(), {}}}, QStringLiteral("\"")), sql);
    EXPECT_FALSE(qt::hasSortOrder({}));
}

TEST(GetParameters, ReplacesEachMarkerOnceAfterTheReturnValue)
{
    std::vector<db::Parameter> params(3);
    params[0].Direction = db::adParamReturnValue;
    params[1].Type = db::adInteger;
    params[1].Value = 5;
    params[2].Type = db::adVarWChar;
    params[2].Value = QStringLiteral("x?'y");
    EXPECT_EQ(qt::getParameters(QStringLiteral("{ ? = call p(?, ?) }"), params, *db::Dialect::of(db::Provider::PostgreSQL)),
              QStringLiteral("{ ? = call p(5, 'x?''y') }"));

    // Without a return value the first marker is the first parameter's; a Null inserts nothing.
    std::vector<db::Parameter> two(2);
    two[0].Type = db::adNumeric;
    two[0].Value = QStringLiteral("-1.5");
    two[1].Type = db::adDBDate;
    two[1].Value = QDate(2024, 2, 29);
    EXPECT_EQ(qt::getParameters(QStringLiteral("{ call p(?, ?) }"), two), QStringLiteral("{ call p(-1.5, '2024-02-29') }"));
    two[1].Value = QVariant();
    EXPECT_EQ(qt::getParameters(QStringLiteral("{ call p(?, ?) }"), two), QStringLiteral("{ call p(-1.5, ) }"));
}

TEST(FieldList, AllowedTypesAndSorting)
{
    EXPECT_FALSE(qt::allowedDataType(203));
    EXPECT_FALSE(qt::allowedDataType(204));
    EXPECT_FALSE(qt::allowedDataType(205));
    EXPECT_TRUE(qt::allowedDataType(202));
    EXPECT_TRUE(qt::allowedDataType(3));

    QList<QStringList> rows = {{QStringLiteral("beta"), QStringLiteral("3")},
                               {QStringLiteral("Alpha"), QStringLiteral("202")},
                               {QStringLiteral("gamma"), QStringLiteral("5")},
                               {QString(), QString()}};
    qt::sortArray(rows);
    EXPECT_EQ(rows[0][0], QString());
    EXPECT_EQ(rows[1], (QStringList{QStringLiteral("Alpha"), QStringLiteral("202")}));
    EXPECT_EQ(rows[3][0], QStringLiteral("gamma"));
}
