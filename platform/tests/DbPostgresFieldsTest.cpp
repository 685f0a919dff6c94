// What a PostgreSQL result says of its columns (type code, sizes, declared type, base table and
// column, nullability) for every column type the server has, read through the public recordset,
// checked against the server's own catalogue.
#include "DbFixtures.h"
#include "TestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace db;

namespace {

// The columns of a relation as the catalogue describes them, read apart from any recordset.
struct Expected {
    // A result reports a domain (over any number of domains) as the type under it: its name as
    // format_type writes it with the modifier, and the type's own name.
    QString declared;
    QString base;
    bool notNull = false;
};

class DbPostgresFields : public ::testing::Test {
protected:
    void SetUp() override
    {
        TABULON_REQUIRE_POSTGRES();
        m_db = dbtest::makePostgresDatabase();
        ASSERT_TRUE(m_db);
        m_conn = Connection::create();
        m_conn->Open(m_db->connectionString());
        m_schema = m_conn->Execute(QStringLiteral("SELECT current_schema()"))->Value(0).toString();
        m_other = m_schema + QStringLiteral(" other");
    }

    void TearDown() override
    {
        if (m_db)
            m_db->exec(QStringLiteral("DROP SCHEMA IF EXISTS \"%1\" CASCADE").arg(m_other));
    }

    std::map<QString, Expected> catalogue(const QString &schema, const QString &relation)
    {
        const auto rs = m_conn->Execute(QStringLiteral(
            "WITH RECURSIVE a AS (SELECT a.attnum, a.attname, a.atttypid AS typ, a.atttypmod AS mod, a.attnotnull"
            "  FROM pg_attribute a WHERE a.attrelid = '%1.%2'::regclass AND a.attnum > 0 AND NOT a.attisdropped"
            " UNION ALL SELECT a.attnum, a.attname, t.typbasetype, t.typtypmod, a.attnotnull"
            "  FROM a JOIN pg_type t ON t.oid = a.typ WHERE t.typtype = 'd')"
            " SELECT a.attname, format_type(a.typ, NULLIF(a.mod, -1)), t.typname, a.attnotnull"
            " FROM a JOIN pg_type t ON t.oid = a.typ WHERE t.typtype <> 'd'")
                                         .arg(quoted(schema), quoted(relation)));
        std::map<QString, Expected> columns;
        for (; !rs->isEOF(); rs->MoveNext())
            columns[rs->Value(0).toString()] = {rs->Value(1).toString(), rs->Value(2).toString(), rs->Value(3).toBool()};
        return columns;
    }

    static QString quoted(const QString &name) { return QLatin1Char('"') + name + QLatin1Char('"'); }

    // The type code every client gives a type of this name; the rest are text.
    static int typeCode(const QString &base)
    {
        static const std::map<QString, int> codes = {
            {"int2", adSmallInt},      {"int4", adInteger},   {"int8", adBigInt},         {"bool", adBoolean},
            {"float4", adSingle},      {"float8", adDouble},  {"money", adCurrency},      {"numeric", adNumeric},
            {"date", adDBDate},        {"time", adDBTime},    {"timetz", adDBTime},       {"timestamp", adDBTimeStamp},
            {"timestamptz", adDBTimeStamp}, {"varchar", adVarWChar}, {"bpchar", adWChar}, {"uuid", adGUID},
            {"bytea", adLongVarBinary},
        };
        const auto it = codes.find(base);
        return it == codes.end() ? adVarWChar : it->second;
    }

    // Every field of a recordset over sql against the catalogue's columns of one relation;
    // fromTable: the fields name that relation as their base.
    void expectFields(const QString &sql, const QString &schema, const QString &relation, bool fromTable)
    {
        const std::map<QString, Expected> expected = catalogue(schema, relation);
        auto rs = Recordset::create();
        rs->Open(sql, m_conn);
        ASSERT_EQ(std::size_t(rs->FieldCount()), expected.size()) << sql.toStdString();
        for (int i = 0; i < rs->FieldCount(); ++i) {
            const FieldInfo &f = rs->Field(i);
            const std::string where = sql.toStdString() + ": " + f.Name.toStdString();
            const auto e = expected.find(f.Name);
            ASSERT_NE(e, expected.end()) << where;
            EXPECT_EQ(f.DeclaredType.toStdString(), e->second.declared.toStdString()) << where;
            EXPECT_EQ(f.Type, typeCode(e->second.base)) << where << " (" << e->second.base.toStdString() << ")";
            EXPECT_EQ(f.BaseSchemaName.toStdString(), fromTable ? schema.toStdString() : std::string()) << where;
            EXPECT_EQ(f.BaseTableName.toStdString(), fromTable ? relation.toStdString() : std::string()) << where;
            EXPECT_EQ(f.BaseColumnName.toStdString(), fromTable ? f.Name.toStdString() : std::string()) << where;
            EXPECT_EQ(f.Nullable, !(fromTable && e->second.notNull)) << where;
        }
    }

    // Fields that must be alike in every respect.
    static void expectSame(const std::vector<FieldInfo> &a, const std::vector<FieldInfo> &b, const std::string &what)
    {
        ASSERT_EQ(a.size(), b.size()) << what;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const std::string where = what + ": " + a[i].Name.toStdString();
            EXPECT_EQ(a[i].Name, b[i].Name) << where;
            EXPECT_EQ(a[i].Type, b[i].Type) << where;
            EXPECT_EQ(a[i].DefinedSize, b[i].DefinedSize) << where;
            EXPECT_EQ(a[i].Precision, b[i].Precision) << where;
            EXPECT_EQ(a[i].NumericScale, b[i].NumericScale) << where;
            EXPECT_EQ(a[i].Nullable, b[i].Nullable) << where;
            EXPECT_EQ(a[i].BaseSchemaName, b[i].BaseSchemaName) << where;
            EXPECT_EQ(a[i].BaseTableName, b[i].BaseTableName) << where;
            EXPECT_EQ(a[i].BaseColumnName, b[i].BaseColumnName) << where;
            EXPECT_EQ(a[i].DeclaredType, b[i].DeclaredType) << where;
        }
    }

    static std::vector<FieldInfo> fieldsOf(const Recordset &rs)
    {
        std::vector<FieldInfo> fields;
        for (int i = 0; i < rs.FieldCount(); ++i)
            fields.push_back(rs.Field(i));
        return fields;
    }

    std::vector<FieldInfo> opened(const QString &sql)
    {
        auto rs = Recordset::create();
        rs->Open(sql, m_conn);
        return fieldsOf(*rs);
    }

    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<Connection> m_conn;
    QString m_schema;
    QString m_other;
};

} // namespace

// A column of every type the server can store (base, enum, range, domain, each one's array), some
// with modifiers, and domains over domains; then the same columns through a view, as expressions,
// from a table in another schema, and described and executed instead of opened.
TEST_F(DbPostgresFields, EveryColumnTypeIsDescribedAsTheCatalogueHasIt)
{
    TABULON_REQUIRE_POSTGRES();
    m_db->exec(QStringLiteral(
        "CREATE DOMAIN dprice AS numeric(5,1); CREATE DOMAIN dcost AS dprice NOT NULL;"
        "CREATE DOMAIN dtext AS varchar(12); CREATE TYPE mood AS ENUM ('ok', 'sad');"
        "CREATE TYPE pair AS (a int, b text);"
        "CREATE TABLE every(id int PRIMARY KEY, vc varchar(40) NOT NULL, ch char(5), c1 char, num numeric(10,2),"
        " numneg numeric(3,-2), t3 time(3), tz0 timestamptz(0), ts6 timestamp(6), ttz2 timetz(2), iv3 interval(3),"
        " ivym interval year to month, b4 bit(4), vb8 bit varying(8), vca varchar(10)[], numa numeric(5,1)[],"
        " p dprice, pc dcost, dt dtext, m mood, ma mood[], pa dprice[], pr pair, cn information_schema.cardinal_number,"
        " \"Odd \"\"name\"\"\" text);"
        "DO $$ DECLARE r record; i int := 0; BEGIN"
        " FOR r IN SELECT t.oid FROM pg_type t JOIN pg_namespace n ON n.oid = t.typnamespace"
        "  WHERE n.nspname IN ('pg_catalog', 'information_schema') AND t.typtype IN ('b', 'e', 'r', 'm', 'd')"
        "  AND t.typisdefined ORDER BY t.oid LOOP"
        "  i := i + 1;"
        "  BEGIN EXECUTE format('ALTER TABLE every ADD COLUMN %I %s', 'k' || i, format_type(r.oid, NULL));"
        "  EXCEPTION WHEN OTHERS THEN NULL; END;"
        " END LOOP; END $$;"
        "INSERT INTO every(id, vc, pc) VALUES (1, 'one', 2.5);"
        "CREATE VIEW every_view AS SELECT * FROM every;"));
    m_db->exec(QStringLiteral("CREATE SCHEMA \"%1\"; CREATE TABLE \"%1\".\"other table\"(k int NOT NULL, m %2.mood,"
                              " p %2.dprice)")
                   .arg(m_other, quoted(m_schema)));
    // The server's own types, less the handful no table can hold.
    ASSERT_GT(catalogue(m_schema, QStringLiteral("every")).size(), 150u);

    const QString all = QStringLiteral("SELECT * FROM every");
    expectFields(all, m_schema, QStringLiteral("every"), true);
    // Opened again, the same statement on a connection that knows it already.
    expectFields(all, m_schema, QStringLiteral("every"), true);
    expectFields(QStringLiteral("SELECT * FROM every_view"), m_schema, QStringLiteral("every_view"), true);
    expectFields(QStringLiteral("SELECT * FROM every UNION ALL SELECT * FROM every"), m_schema, QStringLiteral("every"),
                 false);
    expectFields(QStringLiteral("SELECT * FROM \"%1\".\"other table\"").arg(m_other), m_other,
                 QStringLiteral("other table"), true);

    // Sizes that come from the column's modifier, its domain's, or the type alone.
    auto rs = Recordset::create();
    rs->Open(all, m_conn);
    const struct {
        const char *name;
        long size;
        int precision, scale;
    } sizes[] = {
        {"id", 4, 10, 0}, {"vc", 40, 0, 0},  {"ch", 5, 0, 0},   {"c1", 1, 0, 0},    {"num", 19, 10, 2}, {"numneg", 19, 3, -2},
        {"p", 19, 5, 1},  {"pc", 19, 5, 1},  {"dt", 12, 0, 0},  {"tz0", 16, 23, 0}, {"t3", 6, 8, 0},    {"m", 0, 0, 0},
        {"cn", 4, 10, 0},
    };
    for (const auto &s : sizes) {
        const int i = rs->FieldIndex(QString::fromLatin1(s.name));
        ASSERT_GE(i, 0) << s.name;
        EXPECT_EQ(rs->Field(i).DefinedSize, s.size) << s.name;
        EXPECT_EQ(rs->Field(i).Precision, s.precision) << s.name;
        EXPECT_EQ(rs->Field(i).NumericScale, s.scale) << s.name;
    }
    EXPECT_EQ(rs->Value(QStringLiteral("pc")).toString(), "2.5"); // a domain over a domain reads as its number

    // Described without running and run whole, the columns are the cursor's.
    const std::vector<FieldInfo> cursorFields = fieldsOf(*rs);
    expectSame(cursorFields, m_conn->DescribeQuery(all), "described");
    expectSame(cursorFields, fieldsOf(*m_conn->Execute(all)), "executed");
}

// What is said of a column is read afresh for each result: a statement opened again after its
// table, columns, types or constraints changed shows the change, whatever the connection has
// seen of the same statement before.
TEST_F(DbPostgresFields, ChangesToTablesShowInTheNextResult)
{
    TABULON_REQUIRE_POSTGRES();
    m_db->exec(QStringLiteral("CREATE TYPE mood AS ENUM ('ok', 'sad');"
                              "CREATE TABLE shifting(id int NOT NULL, label varchar(10), feel mood)"));
    const QString sql = QStringLiteral("SELECT * FROM shifting");
    for (int i = 0; i < 3; ++i) { // the same statement, warmed on the pooled connections
        const std::vector<FieldInfo> f = opened(sql);
        ASSERT_EQ(f.size(), 3u);
        EXPECT_FALSE(f[0].Nullable);
        EXPECT_EQ(f[1].BaseColumnName.toStdString(), "label");
        EXPECT_EQ(f[2].DeclaredType.toStdString(), "mood");
    }

    m_db->exec(QStringLiteral("ALTER TABLE shifting RENAME COLUMN label TO title;"
                              "ALTER TABLE shifting ALTER id DROP NOT NULL, ALTER title SET NOT NULL;"
                              "ALTER TYPE mood RENAME TO feeling"));
    std::vector<FieldInfo> f = opened(sql);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_TRUE(f[0].Nullable);
    EXPECT_EQ(f[1].Name, "title");
    EXPECT_EQ(f[1].BaseColumnName, "title");
    EXPECT_FALSE(f[1].Nullable);
    EXPECT_EQ(f[2].DeclaredType.toStdString(), "feeling");

    // Made anew under the same name: other types, another table behind the same text.
    m_db->exec(QStringLiteral("ALTER TABLE shifting RENAME TO shifted;"
                              "CREATE TABLE shifting(id numeric(8,3) NOT NULL, label text, feel date)"));
    f = opened(sql);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].Type, adNumeric);
    EXPECT_EQ(f[0].Precision, 8);
    EXPECT_EQ(f[0].NumericScale, 3);
    EXPECT_FALSE(f[0].Nullable);
    EXPECT_EQ(f[1].DeclaredType.toStdString(), "text");
    EXPECT_TRUE(f[1].Nullable);
    EXPECT_EQ(f[2].Type, adDBDate);
    EXPECT_EQ(f[2].BaseTableName, "shifting");
    f = opened(QStringLiteral("SELECT * FROM shifted"));
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[1].BaseTableName, "shifted");
    EXPECT_EQ(f[1].BaseColumnName, "title");
    EXPECT_EQ(f[2].DeclaredType.toStdString(), "feeling");
}

// Columns of one table of built-in types are asked of the catalogue by that table alone: each
// result column finds its own table column by number (in any order, twice, past a dropped one)
// and changes show in the next result as for any other.
TEST_F(DbPostgresFields, ColumnsOfOneTableFindTheirOwnTableColumns)
{
    TABULON_REQUIRE_POSTGRES();
    m_db->exec(QStringLiteral("CREATE TABLE plain(id int NOT NULL, gone int, label varchar(10), amount numeric(6,2));"
                              "ALTER TABLE plain DROP COLUMN gone"));
    const QString mixed = QStringLiteral("SELECT amount, label, id, label AS again, id + 1 AS next FROM plain");
    const QString all = QStringLiteral("SELECT * FROM plain");
    for (int i = 0; i < 3; ++i) {
        const std::vector<FieldInfo> f = opened(mixed);
        ASSERT_EQ(f.size(), 5u);
        const char *const bases[] = {"amount", "label", "id", "label", ""};
        for (std::size_t c = 0; c < 5; ++c)
            EXPECT_EQ(f[c].BaseColumnName.toStdString(), bases[c]) << c;
        EXPECT_EQ(f[0].BaseTableName, "plain");
        EXPECT_EQ(f[0].BaseSchemaName, m_schema);
        EXPECT_TRUE(f[0].Nullable);
        EXPECT_FALSE(f[2].Nullable);
        EXPECT_TRUE(f[4].BaseTableName.isEmpty());
        EXPECT_TRUE(f[4].Nullable);
        EXPECT_EQ(opened(all).at(1).BaseColumnName, "label");
    }

    m_db->exec(QStringLiteral("ALTER TABLE plain RENAME COLUMN label TO title;"
                              "ALTER TABLE plain ALTER id DROP NOT NULL, ALTER amount SET NOT NULL"));
    const std::vector<FieldInfo> f = opened(all);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].BaseTableName, "plain");
    EXPECT_TRUE(f[0].Nullable);
    EXPECT_EQ(f[1].BaseColumnName, "title");
    EXPECT_FALSE(f[2].Nullable);
    expectSame(f, m_conn->DescribeQuery(all), "described");
}
