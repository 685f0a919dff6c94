// The data-shaping connection: its text read strictly, a routine's rows grouped as the server's
// GROUP BY groups them, with its parameters bound.
#include "DbFixtures.h"
#include "DbTestSupport.h"
#include "TestSupport.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/ShapeCommand.h"
#include "db/ValueRules.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QHash>

using namespace db;

TEST(DbShape, TheTextIsReadStrictly)
{
    // Values shown in the call may hold braces and apostrophes; names may hold anything quoted.
    const ShapeText t = ShapeText::parse(QStringLiteral(
        "SHAPE {EXEC s.\"my fn\" 'a}b AS rs COMPUTE',1,2024-02-29} AS rs COMPUTE rs,  SUM(rs.\"Sum}x\"), COUNT(rs)"
        "  BY \"g 0\",`g1`,[g2]"));
    EXPECT_EQ(t.routine, QStringLiteral("s.my fn"));
    EXPECT_EQ(t.inner, QStringLiteral("EXEC s.\"my fn\" 'a}b AS rs COMPUTE',1,2024-02-29"));
    ASSERT_EQ(t.aggregates.size(), 2u);
    EXPECT_EQ(t.aggregates[0].function, ShapeText::Sum);
    EXPECT_EQ(t.aggregates[0].column, QStringLiteral("Sum}x"));
    EXPECT_EQ(t.aggregates[1].function, ShapeText::Count);
    EXPECT_TRUE(t.aggregates[1].column.isEmpty());
    EXPECT_EQ(t.groups, (QStringList{QStringLiteral("g 0"), QStringLiteral("g1"), QStringLiteral("g2")}));
    EXPECT_TRUE(ShapeText::parse(QStringLiteral("shape {exec f} as x compute x, max(x.v) by k")).routine == u"f");

    const char *const malformed[] = {
        "",
        "SHAPE",
        "SELECT 1",
        "SHAPE {EXEC f",
        "SHAPE EXEC f} AS rs COMPUTE rs, SUM(rs.v) BY k",
        "SHAPE {EXEC f} AS rs COMPUTE rs BY k",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(rs.v)",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(rs.v) BY",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(rs) BY k",
        "SHAPE {EXEC f} AS rs COMPUTE rs, MEDIAN(rs.v) BY k",
        "SHAPE {EXEC f} AS rs COMPUTE other, SUM(rs.v) BY k",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(other.v) BY k",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(rs.v) BY a, b, c, d",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(rs.v) BY k; DROP TABLE t",
        "SHAPE {EXEC f} AS rs COMPUTE rs, SUM(rs.\"v) BY k",
        "SHAPE {EXEC } AS rs COMPUTE rs, SUM(rs.v) BY k",
    };
    for (const char *text : malformed) {
        const DbError e = dbtest::errorOf([&] { ShapeText::parse(QLatin1String(text)); });
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("The data shaping command cannot be read")))
            << text << ": " << e.message().toStdString();
    }
}

TEST(DbShape, ARoutineIsGroupedAsTheServerGroupsIt)
{
    auto database = dbtest::makePostgresDatabase();
    if (!database) {
        TABULON_REQUIRE_POSTGRES();
        return;
    }
    // Keys with Nulls, decimals a double would not add exactly, money, a double, an integer.
    database->exec(QStringLiteral(
        "CREATE FUNCTION shaped(p_who text, p_flag boolean, p_day date, p_n numeric) "
        "RETURNS TABLE(k text, y integer, d numeric(14,4), m money, f double precision, i integer) LANGUAGE sql AS $$ "
        "SELECT * FROM (VALUES (p_who, 1, 0.1000::numeric(14,4), '1.10'::money, 0.5::float8, 2147483647), "
        "(p_who, 1, 0.2, '2.20', 0.25, 2147483647), (NULL, NULL, 1234567890.1234, '0.01', NULL, NULL), "
        "(NULL, NULL, 3, NULL, 1.0, 1), ('x', extract(day from p_day)::int, p_n, '5.00', -0.0, -3), "
        "('x', 29, 1, '1', 0.0, NULL)) v WHERE p_flag $$"));
    auto connection = Connection::create();
    connection->Open(database->connectionString());
    Command command;
    command.ActiveConnection = connection;
    command.CommandText = QStringLiteral("shaped");
    command.RefreshParameters();
    ASSERT_EQ(command.Parameters.size(), 4u);
    command.Parameters[0].Value = QStringLiteral("it's'); --");
    command.Parameters[1].Value = true;
    command.Parameters[2].Value = QDate(2024, 2, 29);
    command.Parameters[3].Value = QStringLiteral("2.0001");

    ShapeConnection shape;
    shape.Open(QStringLiteral("Provider = MSDataShape; Data ") + database->connectionString());
    // The text shows other values: only the command's, bound, count.
    const QString head = QStringLiteral("SHAPE {EXEC shaped 'nothing',0,1999-01-01,7} AS rs COMPUTE rs, ");
    const QString call = QStringLiteral("FROM shaped('it''s''); --', true, '2024-02-29', 2.0001)");
    const std::pair<const char *, const char *> cases[] = {
        {"SUM(rs.d), AVG(rs.d), SUM(rs.m), SUM(rs.i), AVG(rs.i)", "sum(d), avg(d), sum(m), sum(i), avg(i)"},
        {"COUNT(rs), COUNT(rs.f), MIN(rs.d), MAX(rs.d), MIN(rs.m)", "count(*), count(f), min(d), max(d), min(m)"},
        {"SUM(rs.f), AVG(rs.f), MAX(rs.f)", "sum(f), avg(f), max(f)"},
    };
    for (const auto &[computed, expected] : cases) {
        for (const QString &by : {QStringLiteral("k"), QStringLiteral("k, y")}) {
            const QString text = head + QLatin1String(computed) + QStringLiteral("  BY ") + by;
            auto rs = shape.Execute(text, command);
            auto server = connection->Execute(
                QStringLiteral("SELECT count(*), %1, %2 %3 GROUP BY %2 ORDER BY %2").arg(QLatin1String(expected), by, call));
            ASSERT_GE(server->fetchedCount(), 2u);
            ASSERT_EQ(rs->fetchedCount(), server->fetchedCount()) << text.toStdString();
            ASSERT_EQ(rs->FieldCount(), server->FieldCount()) << text.toStdString();
            for (std::size_t r = 0; r < rs->fetchedCount(); ++r) {
                for (int c = 0; c < rs->FieldCount(); ++c) {
                    const QString mine = rs->displayText(r, c);
                    const QString theirs = server->displayText(r, c);
                    EXPECT_EQ(rs->isNull(r, c), server->isNull(r, c)) << text.toStdString() << " row " << r << " col " << c;
                    if (isNumericType(server->Field(c).Type) && !isNumericType(rs->Field(c).Type))
                        ADD_FAILURE() << text.toStdString() << " col " << c << " is no number";
                    if (storageOf(server->Field(c).Type) == Storage::Double) {
                        EXPECT_DOUBLE_EQ(rs->value(r, c).toDouble(), server->value(r, c).toDouble()) << text.toStdString() << " col " << c;
                    } else {
                        // Exact: the same decimal value (trailing zeros aside).
                        EXPECT_EQ(decimalValueText(mine.toStdString()).value_or(mine.toStdString()),
                                  decimalValueText(theirs.toStdString()).value_or(theirs.toStdString()))
                            << text.toStdString() << " row " << r << " col " << c;
                    }
                }
            }
            const auto grouped = groupsFirst(*rs);
            ASSERT_EQ(grouped->FieldCount(), rs->FieldCount() - 1);
            EXPECT_EQ(grouped->Field(0).Name, QStringLiteral("k")) << "the group columns first";
            EXPECT_EQ(grouped->displayText(0, grouped->FieldCount() - 1), rs->displayText(0, rs->FieldCount() - by.count(u',') - 2));
        }
    }

    // A column the routine does not have, or the wrong routine: a clear error, not a crash.
    EXPECT_TRUE(dbtest::errorOf([&] { shape.Execute(head + QStringLiteral("SUM(rs.nope)  BY k"), command); })
                    .message()
                    .contains(QStringLiteral("nope")));
    EXPECT_TRUE(dbtest::errorOf([&] { shape.Execute(head + QStringLiteral("SUM(rs.k)  BY y"), command); })
                    .message()
                    .contains(QStringLiteral("SUM")));
    EXPECT_TRUE(dbtest::errorOf([&] {
                    shape.Execute(QStringLiteral("SHAPE {EXEC other} AS rs COMPUTE rs, COUNT(rs)  BY k"), command);
                }).message().contains(QStringLiteral("other")));
    EXPECT_TRUE(dbtest::errorOf([] { ShapeConnection().Open(QStringLiteral("Provider=PostgreSQL")); })
                    .message()
                    .contains(QStringLiteral("MSDataShape")));
}
