#include "DbTestSupport.h"

#include "db/Command.h"
#include "db/DbError.h"
#include "db/Dialect.h"
#include "db/Recordset.h"
#include "db/ValueRules.h"

#include <gtest/gtest.h>

#include <QDate>

#include <algorithm>

using namespace db;
using dbtest::field;

TEST(ValueRulesIntegers, ReadsWholeNumbersWithinTheirTypesRange)
{
    EXPECT_EQ(parseInteger(std::string_view("  -42\t")), -42);
    EXPECT_EQ(parseInteger(std::string_view("+7")), 7);
    EXPECT_EQ(parseInteger(std::string_view("3.00")), 3); // a decimal source's integer
    EXPECT_EQ(parseInteger(std::string_view("-3.")), -3);
    EXPECT_EQ(parseInteger(QStringView(u"9223372036854775807")), INT64_MAX);
    EXPECT_EQ(parseInteger(QStringView(u"-9223372036854775808")), INT64_MIN);
    for (const char *bad : {"", " ", "-", "+", "3.5", "3.01", ".0", "1e3", "12abc", "--1", "+-1", "0x10",
                            "9223372036854775808", "- 1"})
        EXPECT_FALSE(parseInteger(std::string_view(bad)).has_value()) << bad;
    EXPECT_FALSE(parseInteger(QStringView(u"１２")).has_value()); // digits of another script are no number here

    EXPECT_EQ(parseInteger(std::string_view("32767"), adSmallInt), 32767);
    EXPECT_FALSE(parseInteger(std::string_view("32768"), adSmallInt).has_value());
    EXPECT_FALSE(parseInteger(std::string_view("-2147483649"), adInteger).has_value());
    EXPECT_FALSE(parseInteger(std::string_view("-1"), adUnsignedTinyInt).has_value());
    EXPECT_EQ(parseInteger(std::string_view("255"), adUnsignedTinyInt), 255);
    EXPECT_EQ(integerRange(adTinyInt).min, -128);
    EXPECT_EQ(integerRange(adVarWChar).max, INT64_MAX);
}

TEST(ValueRulesDecimals, CompareExactlyAndInOneTotalOrder)
{
    EXPECT_EQ(compareDecimal("1.10", "1.1"), 0);
    EXPECT_EQ(compareDecimal("-0", "0.000"), 0);
    EXPECT_EQ(compareDecimal("+5", "5"), 0);
    EXPECT_EQ(compareDecimal("0.1", ".1"), 0);
    EXPECT_LT(compareDecimal("-0.05", "1.25"), 0);
    EXPECT_LT(compareDecimal("9.99", "10"), 0);
    EXPECT_LT(compareDecimal("-10", "-9.99"), 0);
    // Beyond a double's digits.
    EXPECT_LT(compareDecimal("92233720368547758.06", "92233720368547758.07"), 0);
    EXPECT_GT(compareDecimal("123456789012345678901.5", "123456789012345678901.49"), 0);

    // Sorting and filtering share this order, so it must be total: infinities and NaN as
    // PostgreSQL orders them, and text that is no number after every number.
    std::vector<std::string> values = {"abc", "NaN", "Infinity", "1e3", "2", "-Infinity", "-3.5", "abd", "nan"};
    std::stable_sort(values.begin(), values.end(),
                     [](const std::string &a, const std::string &b) { return compareDecimal(a, b) < 0; });
    EXPECT_EQ(values, (std::vector<std::string>{"-Infinity", "-3.5", "2", "Infinity", "NaN", "nan", "1e3", "abc", "abd"}));
    EXPECT_EQ(compareDecimal("NaN", "nan"), 0);
    EXPECT_TRUE(isPlainDecimal(" -12.50 "));
    EXPECT_FALSE(isPlainDecimal("1e5"));
    EXPECT_FALSE(isPlainDecimal("."));

    // Equal decimals read as one value text, whatever their scale; 12345678901234567890.10 is
    // beyond a double.
    const std::pair<const char *, const char *> sameValue[] = {
        {"1.50", "1.5"}, {"+01.5", "1.5"}, {"-0.000", "0"}, {"100", "100"}, {".010", "0.01"},
        {"12345678901234567890.10", "12345678901234567890.1"}, {"nan", "NaN"}, {"-inf", "-Infinity"}};
    for (const auto &[in, out] : sameValue)
        EXPECT_EQ(decimalValueText(in), std::optional<std::string>(out)) << in;
    EXPECT_EQ(decimalValueText("1e5"), std::nullopt);
    EXPECT_EQ(decimalValueText("abc"), std::nullopt);
}

TEST(ValueRulesNames, ReadsEachDelimiterWithDoubledClosers)
{
    struct Case {
        QString text;
        QString name;
        qsizetype end;
    };
    const Case cases[] = {
        {QStringLiteral("\"a\"\"b\" rest"), QStringLiteral("a\"b"), 6},
        {QStringLiteral("[x]]y].z"), QStringLiteral("x]y"), 6},
        {QStringLiteral("`n``m`"), QStringLiteral("n`m"), 6},
        {QStringLiteral("\"\""), QString(), 2},
    };
    for (const Case &c : cases) {
        qsizetype pos = 0;
        const auto name = readQuotedName(c.text, pos);
        ASSERT_TRUE(name.has_value()) << c.text.toStdString();
        EXPECT_EQ(*name, c.name);
        EXPECT_EQ(pos, c.end) << c.text.toStdString();
    }
    qsizetype pos = 0;
    EXPECT_FALSE(readQuotedName(u"name", pos).has_value());
    EXPECT_EQ(pos, 0);
    pos = 3;
    EXPECT_FALSE(readQuotedName(u"abc", pos).has_value());
    pos = 0;
    EXPECT_THROW(readQuotedName(u"\"open", pos), DbError);
    EXPECT_THROW(readQuotedName(u"[a]]", pos), DbError);

    // What quoteIdentifier writes, readQuotedName reads back.
    for (const QString &delimiter : {QStringLiteral("\""), QStringLiteral("["), QStringLiteral("`")}) {
        const QString name = QStringLiteral("we\"ird]`name");
        const QString quoted = quoteIdentifier(name, delimiter);
        pos = 0;
        EXPECT_EQ(readQuotedName(quoted, pos).value_or(QString()), name) << quoted.toStdString();
        EXPECT_EQ(pos, quoted.size());
    }
}

TEST(ValueRulesNames, RoutineNamesAndSortTextReadQuotedPartsTheSameWay)
{
    auto rows = std::make_shared<RowStore>(std::vector<FieldInfo>{field("a`b", adInteger), field("c", adInteger)});
    for (int i = 0; i < 3; ++i) {
        rows->beginRow();
        rows->setInt64(0, i);
        rows->setInt64(1, 10 - i);
        rows->endRow();
    }
    auto rs = Recordset::fromStore(rows);
    rs->setSort(QStringLiteral("`a``b` DESC"));
    rs->MoveFirst();
    EXPECT_EQ(rs->Value(0).toInt(), 2);
    EXPECT_THROW(rs->setSort(QStringLiteral("[a DESC")), DbError);
}

TEST(ValueRulesCallText, MarksEveryParameterButTheReturnValue)
{
    Command cmd;
    cmd.CommandText = QStringLiteral("archive.touch");
    Parameter ret, io, out;
    ret.Direction = adParamReturnValue;
    io.Direction = adParamInputOutput;
    out.Direction = adParamOutput;
    cmd.Parameters = {ret, io, out};
    EXPECT_EQ(cmd.callText(), QStringLiteral("{ ? = call archive.touch(?, ?) }"));
    cmd.Parameters = {io};
    EXPECT_EQ(cmd.callText(), QStringLiteral("{ call archive.touch(?) }"));
    cmd.Parameters.clear();
    EXPECT_EQ(cmd.callText(), QStringLiteral("{ call archive.touch() }"));
    EXPECT_TRUE(isInputDirection(adParamInputOutput));
    EXPECT_FALSE(isInputDirection(adParamOutput));
}

TEST(ValueRulesLiterals, SpellValuesAsEachDatabaseReadsThem)
{
    const Dialect &pg = *Dialect::of(Provider::PostgreSQL);
    const Dialect &lite = *Dialect::of(Provider::SQLite);
    EXPECT_EQ(pg.literal(QVariant(true), field("b", adBoolean)), QStringLiteral("TRUE"));
    EXPECT_EQ(lite.literal(QVariant(false), field("b", adBoolean)), QStringLiteral("0"));
    EXPECT_EQ(pg.literal(QVariant(), field("b", adBoolean)), QStringLiteral("NULL"));
    EXPECT_EQ(pg.literal(QStringLiteral(" 42 "), field("i", adInteger)), QStringLiteral("42"));
    EXPECT_EQ(lite.literal(QStringLiteral("O'Brien"), field("t", adVarWChar)), QStringLiteral("'O''Brien'"));
    EXPECT_EQ(pg.literal(QStringLiteral("12.50"), field("n", adNumeric, 0, 2)), QStringLiteral("12.50"));
    EXPECT_EQ(pg.literal(QStringLiteral("NaN"), field("n", adNumeric)), QStringLiteral("CAST('NaN' AS NUMERIC)"));
    // A real compares at its own precision on PostgreSQL; elsewhere it is a double, written whole.
    EXPECT_EQ(pg.literal(QVariant(double(1.1f)), field("r", adSingle)), QStringLiteral("CAST('1.1' AS REAL)"));
    EXPECT_EQ(lite.literal(QVariant(0.1), field("d", adDouble)), QStringLiteral("0.1"));
    EXPECT_EQ(pg.literal(QVariant(std::numeric_limits<double>::infinity()), field("d", adDouble)),
              QStringLiteral("CAST('Infinity' AS DOUBLE PRECISION)"));
    EXPECT_EQ(lite.literal(QVariant(-std::numeric_limits<double>::infinity()), field("d", adDouble)),
              QStringLiteral("-9e999"));
    EXPECT_EQ(pg.literal(QVariant(QDate(2024, 2, 29)), field("d", adDBDate)), QStringLiteral("'2024-02-29'"));
    EXPECT_THROW(pg.literal(QVariant(QByteArray("\x01")), field("bin", adLongVarBinary)), DbError);
    EXPECT_THROW(pg.literal(QStringLiteral("twelve"), field("i", adInteger)), DbError);

    // The call text shown for a routine uses the same writer.
    Parameter p;
    p.Type = adBoolean;
    p.Value = true;
    EXPECT_EQ(parameterLiteral(p, pg), QStringLiteral("TRUE"));
    p.Type = adInteger;
    p.Value = QStringLiteral("not a number");
    EXPECT_EQ(parameterLiteral(p, pg), QStringLiteral("'not a number'"));
}
