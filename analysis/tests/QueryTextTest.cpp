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

TEST(GetQuery, BothFiltersAndGroupBy)
{
    EXPECT_EQ(qt::getQuery(QStringLiteral("  SELECT a, COUNT(*) FROM T GROUP BY a  "), QStringLiteral("a > 1"),
                           QStringLiteral("a < 9")),
              QStringLiteral("SELECT a, COUNT(*) FROM T\r\nWHERE  (a > 1) \r\nAND  (a < 9)\r\nGROUP BY a"));
    EXPECT_EQ(qt::getQuery(QStringLiteral("SELECT * FROM T"), {}, {}), QStringLiteral("SELECT * FROM T"));
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
    // An order inside a window function stays.
    EXPECT_EQ(qt::changeOrderBy(QStringLiteral("SELECT ROW_NUMBER() OVER (ORDER BY a) FROM T"),
                                {{QStringLiteral("a"), QStringLiteral("1")}}, QStringLiteral("`")),
              QStringLiteral("SELECT ROW_NUMBER() OVER (ORDER BY a) FROM T\r\nORDER BY `a` DESC"));
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
    EXPECT_EQ(qt::getParameters(QStringLiteral("{ ? = call p(?, ?) }"), params),
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

TEST(FieldList, AllowedTypesSortingAndDelimiter)
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

    EXPECT_EQ(qt::delimiterForProvider(QStringLiteral("Microsoft.jet.OLEDB")), QStringLiteral("`"));
    EXPECT_EQ(qt::delimiterForProvider(QStringLiteral("MySQL")), QStringLiteral("`"));
    EXPECT_EQ(qt::delimiterForProvider(QString()), QStringLiteral("\""));
}
