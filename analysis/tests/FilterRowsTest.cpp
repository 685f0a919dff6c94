// Filters give the rows the user means: over any statement, for any type, on every database, and
// on rows held in memory as on a table.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "dialogs/frmSQLError.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"

#include <QCoreApplication>
#include <QPlainTextEdit>

using namespace tabtest;

namespace {

class RowsTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");

    int col(const QString &header)
    {
        for (int c = 0; c < grdResults->Cols(); ++c) {
            if (grdResults->TextMatrix(0, c) == header)
                return c;
        }
        return -1;
    }
    // "Filter by Selection" on the cell at (row, header), through the column menu.
    bool byCell(int row, const QString &header, bool equal = true) { return filterByCell(*this, row, col(header), equal); }
    // A value typed into the column menu's "Filter for:".
    bool typed(const QString &header, const QString &text) { return filterFor(*this, col(header), text); }
    // The Remove Filter button; true when no filter is left.
    bool removeFilter() { return tabtest::removeFilter(*this); }
    QString sqlError()
    {
        auto *w = tabtest::toolWindow<frmSQLError>(*this);
        return w && w->isVisible() ? w->txtError->toPlainText() : QString();
    }
    int history() { return filterHistory(*this); }
};

// Every row of a recordset, each as its cells' texts joined, in the recordset's order.
QStringList rowsOf(db::Recordset &rs)
{
    rs.fetchAll();
    QStringList out;
    for (std::size_t r = 0; r < rs.fetchedCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < rs.FieldCount(); ++c)
            cells << (rs.isNull(r, c) ? QStringLiteral("<null>") : rs.displayText(r, c));
        out << cells.join(u'|');
    }
    return out;
}

QStringList sorted(QStringList rows)
{
    rows.sort();
    return rows;
}

// The same small table on each database: SQLite, PostgreSQL, and through ODBC (the SQLite driver,
// and the PostgreSQL driver as it comes, Booleans sent as characters).
class FilteredStatements : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        const QString provider = QLatin1String(GetParam());
        const char *const rows = "(1, 'Alpha', 10.50, %1, '2024-01-05'), (2, 'Beta', 60.00, %2, '2024-01-06'),"
                                 " (3, 'Alpha', 75.25, %2, '2024-02-01'), (4, 'Gamma', 5.00, %1, '2024-02-02'),"
                                 " (5, 'Beta', 12.00, %1, '2024-03-01'), (6, 'Alpha', 99.99, %1, '2024-03-02')";
        if (provider.endsWith(QLatin1String("PostgreSQL"))) {
            TABULON_REQUIRE_POSTGRES();
            m_schema = std::make_unique<AdminSchema>("t_fr");
            m_table = m_schema->name + QStringLiteral(".orders");
            m_admin = m_schema->admin;
            m_true = QStringLiteral("TRUE");
            m_cs = provider == u"ODBC PostgreSQL" ? testsupport::postgresOdbcConnectionString()
                                                  : testsupport::postgresConnectionString();
        } else {
            ASSERT_TRUE(m_dir.isValid());
            const QString file = m_dir.filePath(QStringLiteral("orders.db"));
            m_table = QStringLiteral("orders");
            m_admin = db::Connection::create();
            m_admin->setReadOnly(false);
            m_admin->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(file));
            m_true = QStringLiteral("1");
            m_cs = provider == u"ODBC" ? QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1").arg(file)
                                      : QStringLiteral("Provider=SQLite;Data Source=%1").arg(file);
        }
        m_admin->Execute(QStringLiteral("CREATE TABLE %1 (id integer, customer varchar(20), amount numeric(10,2),"
                                        " paid boolean, placed date)")
                             .arg(m_table));
        m_admin->Execute(QStringLiteral("INSERT INTO %1 VALUES ").arg(m_table)
                         + QString::fromLatin1(rows).arg(m_true, m_true == u"1" ? QStringLiteral("0") : QStringLiteral("FALSE")));
        m_connection = db::Connection::create();
        m_connection->Open(m_cs);
        tab = std::make_unique<RowsTabulon>();
        watch(*tab);
        tab->adoConnection(m_connection);
        tab->Delimiter(QStringLiteral("\""));
        tab->resize(900, 600);
        tab->show();
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }

    QString sql(const char *text) const { return QString::fromUtf8(text).replace(QStringLiteral("{t}"), m_table); }

    // Runs the statement in the control; true when it opened.
    bool run(const QString &statement)
    {
        tab->SQL(statement);
        return tab->Refresh_Results(false, false, false);
    }
    // The rows the statement gives filtered apart from the program: the reference.
    QStringList apart(const QString &statement, const QString &condition)
    {
        auto rs = m_connection->Execute(QStringLiteral("SELECT * FROM (%1) q WHERE %2").arg(statement, condition));
        return rowsOf(*rs);
    }
    QStringList shown() { return rowsOf(*runnerOf(*tab).results()); }

    QTemporaryDir m_dir;
    std::unique_ptr<AdminSchema> m_schema;
    QString m_table, m_true, m_cs;
    std::shared_ptr<db::Connection> m_admin, m_connection;
    std::unique_ptr<RowsTabulon> tab;
};

} // namespace

TEST_P(FilteredStatements, EveryStatementShapeGivesTheRowsOfItsFilteredResult)
{
    struct Shape {
        const char *name;
        const char *statement;
        const char *header;
        const char *typed;  // typed into "Filter for:", or
        int cellRow;        // the cell of this row, by selection
        QString reference;  // the condition on the result rows, written by hand
    };
    const Shape shapes[] = {
        {"an alias", "SELECT id, customer AS \"Name\", amount FROM {t}", "Name", "Alpha", 0, "\"Name\" = 'Alpha'"},
        {"an aggregate", "SELECT customer, count(*) AS n FROM {t} GROUP BY customer", "n", "2", 0, "n = 2"},
        {"a window function", "SELECT id, row_number() OVER (ORDER BY id) AS rn FROM {t} WHERE id > 2", "rn", "1", 0,
         "rn = 1"},
        {"an OR in the WHERE", "SELECT * FROM {t} WHERE customer = 'Alpha' OR amount > 50", "paid", nullptr, 1,
         "paid = " + m_true},
        {"a CTE", "WITH big AS (SELECT * FROM {t} WHERE amount > 10) SELECT id, customer FROM big", "customer", "Beta",
         0, "customer = 'Beta'"},
        {"a sub-query", "SELECT id, (SELECT max(o2.amount) FROM {t} o2 WHERE o2.customer = o.customer) AS top FROM {t} o",
         "top", nullptr, 1, "top = (SELECT max(amount) FROM {t})"},
    };
    for (const Shape &s : shapes) {
        SCOPED_TRACE(s.name);
        const QString statement = sql(s.statement);
        tab->SQL(statement);
        tab->removeFilter();
        ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
        ASSERT_TRUE(s.typed ? tab->typed(QLatin1String(s.header), QLatin1String(s.typed))
                            : tab->byCell(s.cellRow, QLatin1String(s.header)));
        ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError() << "\n" << runnerOf(*tab).filter();
        const QStringList expected = apart(statement, QString(s.reference).replace(QStringLiteral("{t}"), m_table));
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(sorted(shown()), sorted(expected)) << runnerOf(*tab).filter();
    }
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

TEST_P(FilteredStatements, ASortOrderStillAppliesToTheFilteredRows)
{
    const QString statement = sql("SELECT id, customer AS \"Name\", amount FROM {t} ORDER BY id");
    ASSERT_TRUE(run(statement));
    ASSERT_TRUE(tab->typed(QStringLiteral("Name"), QStringLiteral("Alpha")));
    tab->setSortCols(QVariant::fromValue(QList<QStringList>{{QStringLiteral("amount"), QStringLiteral("1")}}));
    ASSERT_TRUE(tab->Refresh_Results(true, false, false)) << tab->sqlError();
    QStringList ids;
    for (const QString &row : shown())
        ids << row.section(u'|', 0, 0);
    EXPECT_EQ(ids, (QStringList{QStringLiteral("6"), QStringLiteral("3"), QStringLiteral("1")}));
}

TEST_P(FilteredStatements, AClosingSemicolonCommentOrLimitKeepsSortAndFilterOnTheRowsShown)
{
    // Each statement as typed, and the same without its closing semicolon for the reference.
    // (SQLite's ODBC driver refuses a comment after the semicolon: those run on the others.)
    const bool odbc = QLatin1String(GetParam()) == u"ODBC";
    const std::pair<const char *, const char *> statements[] = {
        {"SELECT id, customer, amount FROM {t};", "SELECT id, customer, amount FROM {t}"},
        {"SELECT id, customer, amount FROM {t} ORDER BY id; -- the orders", "SELECT id, customer, amount FROM {t} ORDER BY id"},
        {"SELECT id, customer, amount FROM {t} ORDER BY id LIMIT 4", nullptr},
        {"SELECT id, customer, amount FROM {t} ORDER BY amount DESC LIMIT 3 OFFSET 1; /* top */",
         "SELECT id, customer, amount FROM {t} ORDER BY amount DESC LIMIT 3 OFFSET 1"},
        {"SELECT id, customer, amount FROM {t} WHERE id > 4 OR amount > 50 -- either",
         "SELECT id, customer, amount FROM {t} WHERE id > 4 OR amount > 50"},
        // Names SQLite would not find as the result's in the statement's own ORDER BY.
        {"SELECT o.id, o.customer, o.amount FROM {t} o JOIN {t} p ON p.id = o.id", nullptr},
    };
    for (const auto &[typed, plain] : statements) {
        SCOPED_TRACE(typed);
        if (odbc && QLatin1String(typed).contains(QLatin1String("; ")))
            continue;
        const QString reference = sql(plain ? plain : typed);
        ASSERT_TRUE(run(sql(typed))) << tab->sqlError();
        tab->setSortCols(QVariant::fromValue(QList<QStringList>{{QStringLiteral("amount"), QStringLiteral("0")}}));
        ASSERT_TRUE(tab->Refresh_Results(true, false, false)) << tab->sqlError();
        auto byAmount = m_connection->Execute(QStringLiteral("SELECT * FROM (%1) q ORDER BY amount").arg(reference));
        EXPECT_EQ(shown(), rowsOf(*byAmount));
        ASSERT_TRUE(tab->typed(QStringLiteral("customer"), QStringLiteral("Alpha")));
        ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError() << "\n" << runnerOf(*tab).filter();
        EXPECT_EQ(sorted(shown()), sorted(apart(reference, QStringLiteral("customer = 'Alpha'"))));
        ASSERT_TRUE(tab->removeFilter());
        tab->setSortCols(QVariant::fromValue(QList<QStringList>{{QStringLiteral("-1"), QString()}}));
    }
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

TEST_P(FilteredStatements, WildcardsOnNumbersAndDatesMatchTheirTextOrAreRefused)
{
    const QString statement = sql("SELECT * FROM {t}");
    ASSERT_TRUE(run(statement));
    ASSERT_TRUE(tab->typed(QStringLiteral("placed"), QStringLiteral("2024-02*")));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
    QStringList ids;
    for (const QString &row : shown())
        ids << row.section(u'|', 0, 0);
    EXPECT_EQ(sorted(ids), (QStringList{QStringLiteral("3"), QStringLiteral("4")}));

    tab->removeFilter();
    ASSERT_TRUE(tab->typed(QStringLiteral("amount"), QStringLiteral("1*")));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
    ids.clear();
    for (const QString &row : shown())
        ids << row.section(u'|', 0, 0);
    EXPECT_TRUE(ids.contains(QStringLiteral("1")) && ids.contains(QStringLiteral("5")) && !ids.contains(QStringLiteral("2")))
        << ids.join(u',').toStdString();

    // True and False have no text a wildcard should match: refused, nothing stored, nothing run.
    tab->removeFilter();
    ui::Prompter::clearAsked();
    EXPECT_FALSE(tab->typed(QStringLiteral("paid"), QStringLiteral("T*")));
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());
    EXPECT_EQ(tab->history(), 0);
    EXPECT_TRUE(tab->sqlError().isEmpty());
    EXPECT_TRUE(events.empty()) << events.front().description;
}

TEST_P(FilteredStatements, TypedDatesAreReadDayFirstOrAsIsoAndOthersAreRefused)
{
    ASSERT_TRUE(run(sql("SELECT * FROM {t}")));
    for (const char *typed : {"01/02/2024", "2024-02-01"}) {
        SCOPED_TRACE(typed);
        ASSERT_TRUE(tab->typed(QStringLiteral("placed"), QLatin1String(typed)));
        ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
        ASSERT_EQ(shown().size(), 1);
        EXPECT_TRUE(shown().front().startsWith(QStringLiteral("3|"))) << shown().front();
        ASSERT_TRUE(tab->removeFilter());
    }
    ui::Prompter::clearAsked();
    EXPECT_FALSE(tab->typed(QStringLiteral("placed"), QStringLiteral("31/02/2024")));
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("not a date")));
    EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());
}

TEST_P(FilteredStatements, ANameTheResultsHoldTwiceIsRefusedOthersStillFilter)
{
    // SQLite would quietly take the first "id", PostgreSQL would call it ambiguous.
    const QString statement = sql("SELECT o.id, o.customer, p.id FROM {t} o JOIN {t} p ON p.id = o.id + 1 ORDER BY 1");
    ASSERT_TRUE(run(statement)) << tab->sqlError();
    ui::Prompter::clearAsked();
    EXPECT_FALSE(filterByCell(*tab, 1, 2)); // the second "id"
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("more than one column named 'id'")));
    EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());
    EXPECT_EQ(tab->history(), 0);

    ASSERT_TRUE(tab->typed(QStringLiteral("customer"), QStringLiteral("Beta")));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
    QStringList ids;
    for (const QString &row : shown())
        ids << row.section(u'|', 0, 0);
    EXPECT_EQ(ids, (QStringList{QStringLiteral("2"), QStringLiteral("5")}));
    EXPECT_TRUE(events.empty()) << events.front().description;
}

TEST_P(FilteredStatements, NamesThatDifferOnlyInCaseFilterTheColumnClicked)
{
    // PostgreSQL, also behind ODBC, tells "n" from "N"; the other databases take them for one name
    // and refuse.
    const QString statement = sql("SELECT id AS \"n\", customer AS \"N\" FROM {t} ORDER BY 1");
    ASSERT_TRUE(run(statement)) << tab->sqlError();
    ui::Prompter::clearAsked();
    const bool postgres = QLatin1String(GetParam()).endsWith(QLatin1String("PostgreSQL"));
    ASSERT_EQ(filterByCell(*tab, 1, 1), postgres); // "N" on the row of Alpha
    if (!postgres) {
        ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
        EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("more than one column named 'N'")));
        return;
    }
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"N\"  = 'Alpha'"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
    EXPECT_EQ(shown(), apart(statement, QStringLiteral("\"N\" = 'Alpha'")));
    EXPECT_EQ(shown().size(), 3);
    EXPECT_TRUE(events.empty()) << events.front().description;
}

TEST_P(FilteredStatements, EveryCellFindsItsOwnRow)
{
    // Texts holding the databases' wildcards and an apostrophe, beside texts such a pattern would
    // also match, and a Null.
    m_admin->Execute(QStringLiteral("INSERT INTO %1 (id, customer) VALUES (7, '50%'), (8, '5000'), (9, 'A*'),"
                                    " (10, 'x_%'), (11, 'xy%z'), (12, 'O''Brien'), (13, NULL)")
                         .arg(m_table));
    const QString statement = sql("SELECT * FROM {t} ORDER BY id");
    ASSERT_TRUE(run(statement));
    const int rows = tab->ResultsRows();
    const int cols = tab->grdResults->Cols();
    for (int c = 1; c < cols; ++c) {
        for (int r = 1; r <= rows; ++r) {
            const QString header = tab->grdResults->TextMatrix(0, c);
            SCOPED_TRACE(header.toStdString() + " row " + std::to_string(r));
            const QString id = tab->grdResults->TextMatrix(r, 0);
            const QString text = tab->grdResults->TextMatrix(r, c);
            ASSERT_TRUE(tab->byCell(r, header));
            ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError() << "\n" << runnerOf(*tab).filter();
            QStringList ids;
            for (const QString &row : shown())
                ids << row.section(u'|', 0, 0);
            EXPECT_TRUE(ids.contains(id)) << runnerOf(*tab).filter();
            if (header == u"customer") {
                // A picked cell means its text exactly, kept or excluded, whatever it holds.
                const QString literal = u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
                const bool null = text.isEmpty();
                EXPECT_EQ(sorted(shown()), sorted(apart(statement, null ? QStringLiteral("customer IS NULL")
                                                                         : QStringLiteral("customer = ") + literal)))
                    << runnerOf(*tab).filter();
                ASSERT_TRUE(tab->removeFilter());
                ASSERT_TRUE(tab->byCell(r, header, false));
                ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError() << "\n" << runnerOf(*tab).filter();
                EXPECT_EQ(sorted(shown()), sorted(apart(statement, null ? QStringLiteral("customer IS NOT NULL")
                                                                         : QStringLiteral("customer <> ") + literal)))
                    << runnerOf(*tab).filter();
            }
            ASSERT_TRUE(tab->removeFilter());
        }
    }
    EXPECT_TRUE(events.empty()) << events.front().description;
}

INSTANTIATE_TEST_SUITE_P(Databases, FilteredStatements, ::testing::Values("SQLite", "PostgreSQL", "ODBC", "ODBC PostgreSQL"));

namespace {

// A table of every PostgreSQL type the data layer maps, with the values at their edges, read by
// libpq and through the PostgreSQL ODBC driver.
class PostgresTypes : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        TABULON_REQUIRE_POSTGRES();
        m_schema = std::make_unique<AdminSchema>("t_ft");
        m_schema->exec("CREATE TYPE %1.mood AS ENUM ('ok', 'sad')");
        m_schema->exec(
            "CREATE TABLE %1.every(id integer, i2 smallint, i4 integer, i8 bigint, b boolean, f4 real,"
            " f8 double precision, m money, n numeric, n3 numeric(12,3), d date, t time, ttz timetz,"
            " ts timestamp, tstz timestamptz, vc varchar(10), tx text, ch char(4), u uuid, j json, jb jsonb,"
            " x xml, iv interval, arr integer[], e %1.mood, nm name, ip inet, by bytea)");
        m_schema->exec(
            "INSERT INTO %1.every VALUES"
            " (1, -32768, 2147483647, 9223372036854775807, true, 1.1, 0.1, '92233720368547758.07',"
            "  123456789012345678901234567890.123456789, 1.5, '2024-02-29', '24:00:00', '13:45:30.25+02',"
            "  '2024-02-29 13:45:30.123456', '2024-03-31 02:30:00.000001+02', 'O''Brien', E'M\\u00fcller\\nx',"
            "  'ab', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{\"a\": [1, 2]}', '{\"b\": null}', '<a>x</a>',"
            "  '1 day 02:00:00', '{1,2}', 'sad', 'nm', '::1', '\\x0001ff'),"
            " (2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,"
            "  NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
            " (3, 0, -1, -9223372036854775808, false, 'NaN', '-Infinity', '-92233720368547758.08', 'NaN', -0.05,"
            "  'infinity', '00:00:00.000001', '00:00:00-03:30', '0044-03-15 10:00:00 BC', '-infinity', '',"
            "  E'tab\\t\"q\"', 'x', '00000000-0000-0000-0000-000000000000', '[]', '[]', '<b/>', '-1 mons', '{}', 'ok',"
            "  '', '10.1.2.3/8', '\\x'),"
            " (4, 7, 7, 7, true, 3.4028235e38, 1e300, '0.01', '0.000000000000000000001', 123456789.999,"
            "  '0044-03-15 BC', '23:59:59.999999', '23:59:59.999999+14', 'infinity', '1999-12-31 23:59:59.5-08',"
            "  'seven!!', '%_*', 'abcd', 'ffffffff-ffff-ffff-ffff-ffffffffffff', '1.5', '1.50', '<c a=\"1\"/>',"
            "  '00:00:00.000001', '{NULL,3}', 'sad', 'name', '192.168.0.1', '\\xff')");
        m_connection = db::Connection::create();
        m_connection->Open(odbc() ? testsupport::postgresOdbcConnectionString() : testsupport::postgresConnectionString());
        tab = std::make_unique<RowsTabulon>();
        watch(*tab);
        tab->adoConnection(m_connection);
        tab->Delimiter(QStringLiteral("\""));
        tab->resize(1200, 600);
        tab->show();
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }

    bool odbc() const { return QLatin1String(GetParam()) == u"ODBC PostgreSQL"; }
    // Through ODBC, the cells the driver itself gives as another value: a date's era and a
    // date's infinity (written 0000-00-00, either sign), and a timestamp's infinity (written
    // 9999-12-31 23:59:59, a day the server also holds). No filter can help those.
    bool misread(const QString &header, int row) const
    {
        return odbc() && ((header == u"d" && row >= 3) || (header == u"ts" && row == 4));
    }
    QString every() const { return QStringLiteral("SELECT * FROM %1.every ORDER BY id").arg(m_schema->name); }

    std::unique_ptr<AdminSchema> m_schema;
    std::shared_ptr<db::Connection> m_connection;
    std::unique_ptr<RowsTabulon> tab;
};

} // namespace

TEST_P(PostgresTypes, FilterBySelectionOnEveryCellReturnsItsRow)
{
    tab->SQL(every());
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
    ASSERT_EQ(tab->ResultsRows(), 4);
    const int cols = tab->grdResults->Cols();
    int filtered = 0;
    for (int c = 1; c < cols; ++c) {
        const QString header = tab->grdResults->TextMatrix(0, c);
        for (int r = 1; r <= 4; ++r) {
            SCOPED_TRACE(header.toStdString() + " row " + std::to_string(r));
            const QString id = tab->grdResults->TextMatrix(r, 0);
            const bool binary = header == u"by" && !runnerOf(*tab).results()->isNull(std::size_t(r - 1), c);
            if (misread(header, r))
                continue;
            ui::Prompter::clearAsked();
            if (binary) {
                // Refused with a message, before anything reaches the server.
                EXPECT_FALSE(tab->byCell(r, header));
                ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
                EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("binary")));
                EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());
                continue;
            }
            ASSERT_TRUE(tab->byCell(r, header));
            ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError() << "\n" << runnerOf(*tab).filter();
            QStringList ids;
            for (const QString &row : rowsOf(*runnerOf(*tab).results()))
                ids << row.section(u'|', 0, 0);
            EXPECT_TRUE(ids.contains(id)) << runnerOf(*tab).filter() << " gave " << ids.join(u',');
            // A cell's own * or % is its text, not a wildcard.
            EXPECT_FALSE(runnerOf(*tab).filter().contains(QLatin1String(" LIKE "))) << runnerOf(*tab).filter();
            // The rows holding the same value, found apart over libpq by the text of the value.
            const QString same = QStringLiteral("SELECT q.id FROM %1.every q, %1.every r WHERE r.id = %2"
                                                " AND CAST(q.%3 AS TEXT) IS NOT DISTINCT FROM CAST(r.%3 AS TEXT) ORDER BY q.id")
                                     .arg(m_schema->name, id, db::quoteIdentifier(header, QStringLiteral("\"")));
            ids.sort();
            EXPECT_EQ(ids, rowsOf(*m_schema->admin->Execute(same))) << runnerOf(*tab).filter();
            ++filtered;
            ASSERT_TRUE(tab->removeFilter());
            ASSERT_EQ(tab->ResultsRows(), 4);
        }
    }
    EXPECT_GT(filtered, 90);
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

TEST_P(PostgresTypes, FullPrecisionValuesMakeExactLiterals)
{
    tab->SQL(every());
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    const struct {
        const char *header;
        int row;
        const char *condition;
    } cases[] = {
        {"b", 1, "\"b\"  = TRUE"},
        {"f4", 1, "\"f4\"  = CAST('1.1' AS REAL)"},
        {"m", 1, "\"m\"  = CAST(92233720368547758.07 AS MONEY)"},
        {"ts", 1, "\"ts\"  = '2024-02-29 13:45:30.123456'"},
        {"t", 1, "\"t\"  = '24:00:00'"},
        {"d", 3, "\"d\"  = 'infinity'"},
        {"d", 4, "\"d\"  = '0044-03-15 BC'"},
        {"f8", 3, "\"f8\"  = CAST('-Infinity' AS DOUBLE PRECISION)"},
        {"j", 1, "CAST(\"j\" AS TEXT)  = '{\"a\": [1, 2]}'"},
    };
    for (const auto &c : cases) {
        if (misread(QLatin1String(c.header), c.row))
            continue;
        ASSERT_TRUE(tab->byCell(c.row, QLatin1String(c.header)));
        EXPECT_EQ(runnerOf(*tab).filter(), QLatin1String(c.condition));
        ASSERT_TRUE(tab->removeFilter());
    }
}

TEST_P(PostgresTypes, DatesAndTimesShowWhatLibpqShows)
{
    // 24:00:00, microseconds, the infinities and the era, through either client: one value the
    // driver cannot make a date of turns its column into text, and the rest still come.
    const QString sql = QStringLiteral("SELECT id, t, d, ts, tstz FROM %1.every ORDER BY id").arg(m_schema->name);
    tab->SQL(sql);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
    const QStringList shown = rowsOf(*runnerOf(*tab).results());
    const QStringList overLibpq = rowsOf(*m_schema->admin->Execute(sql));
    ASSERT_EQ(shown.size(), 4);
    ASSERT_EQ(overLibpq.size(), 4);
    const char *const headers[] = {"id", "t", "d", "ts", "tstz"};
    for (int r = 0; r < 4; ++r) {
        for (int c = 1; c < 5; ++c) {
            const QString header = QLatin1String(headers[c]);
            SCOPED_TRACE(header.toStdString() + " row " + std::to_string(r + 1));
            const QString got = shown[r].section(u'|', c, c);
            QString want = overLibpq[r].section(u'|', c, c);
            // The driver gives a zone's moment as the session's wall clock (UTC here).
            if (odbc() && header == u"tstz" && want.endsWith(QLatin1String("+00")))
                want.chop(3);
            if (misread(header, r + 1)) {
                // Never a day it is not: the driver's stand-in for infinity is no date at all.
                if (header == u"d" && want.endsWith(QLatin1String("infinity"))) {
                    EXPECT_FALSE(QDate::fromString(got, Qt::ISODate).isValid()) << got.toStdString();
                }
                continue;
            }
            EXPECT_EQ(got, want);
        }
    }
}

TEST_P(PostgresTypes, AddressesMatchTheTextTheyShow)
{
    // The server's cast to text adds "/32" and "/128" that the cells do not show.
    tab->SQL(QStringLiteral("SELECT id, ip FROM %1.every ORDER BY id").arg(m_schema->name));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    for (const char *typed : {"*.0.1", "::1", "10.1.2.3/8"}) {
        SCOPED_TRACE(typed);
        ASSERT_TRUE(tab->typed(QStringLiteral("ip"), QLatin1String(typed)));
        ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << tab->sqlError();
        const QStringList rows = rowsOf(*runnerOf(*tab).results());
        ASSERT_EQ(rows.size(), 1) << runnerOf(*tab).filter();
        EXPECT_TRUE(rows.front().endsWith(QLatin1String(typed).mid(QLatin1String(typed).startsWith(u'*') ? 1 : 0)));
        ASSERT_TRUE(tab->removeFilter());
    }
}

INSTANTIATE_TEST_SUITE_P(Clients, PostgresTypes, ::testing::Values("PostgreSQL", "ODBC PostgreSQL"));

namespace {

// A routine's rows and a table's rows, the same ones: a filter finds the same among both.
class InMemoryRows : public ControlTest {
protected:
    void SetUp() override
    {
        TABULON_REQUIRE_POSTGRES();
        m_schema = std::make_unique<AdminSchema>("t_fm");
        m_schema->exec("CREATE TABLE %1.names(id integer, name text, amount numeric(8,2), day date, at timestamptz)");
        m_schema->exec("INSERT INTO %1.names VALUES (1, 'Müller', 1.50, '2024-01-05', '2024-01-05 10:00:00.000001+00'),"
                       " (2, 'müller', 12.00, '2024-01-06', NULL), (3, 'M_x', 100.25, NULL, NULL),"
                       " (4, 'Mux', 1.50, '2024-01-05', '2024-01-05 10:00:00+00'), (5, '100%', NULL, NULL, NULL),"
                       " (6, '100%''s', NULL, NULL, NULL)");
        m_schema->exec("CREATE FUNCTION %1.all_names() RETURNS SETOF %1.names LANGUAGE sql AS $$ SELECT * FROM %1.names $$");
        m_connection = db::Connection::create();
        m_connection->Open(testsupport::postgresConnectionString());
    }
    void TearDown() override
    {
        for (auto *t : {table.get(), routine.get()}) {
            if (t)
                t->UnloadFlter();
        }
    }

    std::unique_ptr<RowsTabulon> start(const QString &source, hlTabulon::tbDataType dataType)
    {
        auto t = shown<RowsTabulon>(m_connection, source, QSize(900, 600), dataType);
        if (dataType != hlTabulon::tbDataStoredProc) {
            EXPECT_TRUE(t->Refresh_Results(false, false, false));
        }
        return t;
    }
    // The ids the control shows after applying the filter as the column menu does.
    static QStringList ids(RowsTabulon &t)
    {
        if (t.CurrentDataType() == hlTabulon::tbDataTable) {
            EXPECT_TRUE(t.Refresh_Results(false, false, false)) << t.sqlError();
        }
        QStringList out;
        for (int r = 1; r < t.grdResults->Rows(); ++r)
            out << t.grdResults->TextMatrix(r, 0);
        out.sort();
        return out;
    }

    std::unique_ptr<AdminSchema> m_schema;
    std::shared_ptr<db::Connection> m_connection;
    std::unique_ptr<RowsTabulon> table, routine;
};

} // namespace

TEST_F(InMemoryRows, ARoutinesRowsFilterAsTheTableDoes)
{
    table = start(QStringLiteral("SELECT * FROM %1.names ORDER BY id").arg(m_schema->name), hlTabulon::tbDataTable);
    routine = start(m_schema->name + QStringLiteral(".all_names"), hlTabulon::tbDataStoredProc);
    ASSERT_EQ(routine->ResultsRows(), 6) << (events.empty() ? QString() : events.front().description);

    struct Case {
        const char *header;
        const char *typed; // or, when null, the cell of row `row`
        int row;
        bool equal = true;
        const char *expected = nullptr; // the ids, when the case says them
    };
    const Case cases[] = {
        {"name", "M*", 0},  {"name", "m*", 0},     {"name", "M_x*", 0},  {"name", "*0%*", 0},
        {"name", "müller", 0}, {"amount", "1*", 0}, {"amount", nullptr, 1}, {"day", nullptr, 1},
        {"day", "2024-01*", 0}, {"at", nullptr, 1}, {"at", nullptr, 4},
        // A picked cell's % is its text, kept or excluded.
        {"name", nullptr, 5, true, "5"}, {"name", nullptr, 5, false, "1,2,3,4,6"}, {"name", nullptr, 6, true, "6"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.header) + " " + (c.typed ? c.typed : "cell " + std::to_string(c.row)));
        for (RowsTabulon *t : {table.get(), routine.get()}) {
            ASSERT_TRUE(c.typed ? t->typed(QLatin1String(c.header), QString::fromUtf8(c.typed))
                                : t->byCell(c.row, QLatin1String(c.header), c.equal));
        }
        EXPECT_EQ(ids(*routine), ids(*table)) << runnerOf(*routine).filter() << " / " << runnerOf(*table).filter();
        EXPECT_FALSE(ids(*table).isEmpty());
        if (c.expected) {
            EXPECT_EQ(ids(*table).join(u','), QLatin1String(c.expected)) << runnerOf(*table).filter();
        }
        ASSERT_TRUE(table->removeFilter());
        ASSERT_TRUE(routine->removeFilter());
    }
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
}

TEST_F(InMemoryRows, AnyDelimiterWorksAndABadConditionIsNotKept)
{
    routine = start(m_schema->name + QStringLiteral(".all_names"), hlTabulon::tbDataStoredProc);
    routine->Delimiter(QStringLiteral("`"));
    ASSERT_TRUE(routine->byCell(1, QStringLiteral("name")));
    EXPECT_EQ(runnerOf(*routine).filter(), QStringLiteral("`name`  = 'Müller'"));
    EXPECT_EQ(runnerOf(*routine).results()->RecordCount(), 1);
    EXPECT_TRUE(events.empty()) << events.front().description;

    // The same rows saved as XML and opened again, filtered with [ ] names.
    QTemporaryDir dir;
    const QString xml = dir.filePath(QStringLiteral("names.xml"));
    ASSERT_TRUE(routine->removeFilter());
    runnerOf(*routine).results()->Save(xml);
    auto doc = std::make_unique<RowsTabulon>();
    watch(*doc);
    doc->Delimiter(QStringLiteral("["));
    doc->resize(900, 600);
    doc->show();
    ASSERT_TRUE(doc->Open_SQL(xml));
    ASSERT_TRUE(doc->Refresh());
    ASSERT_TRUE(doc->byCell(4, QStringLiteral("amount")));
    EXPECT_EQ(runnerOf(*doc).filter(), QStringLiteral("[amount]  = 1.50"));
    EXPECT_EQ(runnerOf(*doc).results()->RecordCount(), 2);

    // A delimiter the recordset filter cannot read: the failure is reported and nothing is kept.
    const QString before = runnerOf(*doc).filter();
    const QString shownBefore = runnerOf(*doc).results()->Filter();
    const int history = doc->history();
    doc->Delimiter(QStringLiteral("'"));
    EXPECT_FALSE(doc->byCell(1, QStringLiteral("name")));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().procedure, QStringLiteral("Set_Filter"));
    EXPECT_EQ(runnerOf(*doc).filter(), before);
    EXPECT_EQ(doc->history(), history);
    EXPECT_EQ(runnerOf(*doc).results()->Filter(), shownBefore);
    EXPECT_EQ(runnerOf(*doc).results()->RecordCount(), 2);
    doc->UnloadFlter();
}
