// The cross-tab view on real databases: every cell and every total of each function against
// GROUP BY queries computed apart, over a statement with aliases, joins, an OR in its WHERE, a CTE
// and Nulls, whose keys differ only in case, in blanks, or as Null against empty text; Escape
// part-way, pivots wider and longer than 32,767, one too big to show, and an empty result.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest/QTest>

#include <cmath>
#include <map>

using namespace tabtest;

namespace {

class XTabulon : public hlTabulon {
public:
    bool Change_View(tbView view) { return tabtest::showView(*this, view); }
    const std::array<QComboBox *, 6> cboXTabCol = tabtest::parts<QComboBox, 6>(*this, "cboXTabCol");
    grid::Grid *const grdXTab = tabtest::part<grid::Grid>(*this, "grdXTab");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    const std::array<QLineEdit *, 3> txtSumValue = tabtest::parts<QLineEdit, 3>(*this, "txtSumValue");
    QPlainTextEdit *const txtXTabSQL = tabtest::part<QPlainTextEdit>(*this, "txtXTabSQL");

    void pick(int index, const QString &text) { pickText(cboXTabCol[std::size_t(index)], text); }
    // The grid's data rows by their key text, and its key columns by theirs.
    std::map<QString, int> rowsByKey() const
    {
        std::map<QString, int> out;
        for (int r = 2; r < grdXTab->Rows() - 1; ++r)
            out[grdXTab->TextMatrix(r, 0)] = r;
        return out;
    }
    std::map<QString, int> colsByKey() const
    {
        std::map<QString, int> out;
        for (int c = 1; c < grdXTab->Cols() - 1; ++c)
            out[grdXTab->TextMatrix(1, c)] = c;
        return out;
    }
};

const char *const kAggregates[] = {"COUNT(*)", "COUNT(*)", "SUM(\"Amount\")", "AVG(\"Amount\")", "MIN(\"Amount\")",
                                   "MAX(\"Amount\")"};

class XTabView : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const bool postgres = ScratchDatabase::postgres(QLatin1String(GetParam()));
        if (postgres)
            TABULON_REQUIRE_POSTGRES();
        m_db = std::make_unique<ScratchDatabase>(QLatin1String(GetParam()), "t_xtab");
        const QString prefix = m_db->prefix();
        db::Connection &admin = m_db->admin();
        admin.Execute(QStringLiteral("CREATE TABLE %1regions (id integer, name varchar(20))").arg(prefix));
        admin.Execute(QStringLiteral("CREATE TABLE %1products (id integer, label varchar(20))").arg(prefix));
        admin.Execute(QStringLiteral("CREATE TABLE %1sales (region_id integer, product_id integer,"
                                     " amount numeric(10,2), qty integer)")
                          .arg(prefix));
        admin.Execute(QStringLiteral("INSERT INTO %1regions VALUES (1, 'North'), (2, 'north'), (3, 'North '),"
                                     " (4, NULL), (5, '')")
                          .arg(prefix));
        admin.Execute(QStringLiteral("INSERT INTO %1products VALUES (1, 'Apples'), (2, 'apples'), (3, ' Apples')")
                          .arg(prefix));
        admin.Execute(QStringLiteral("INSERT INTO %1sales VALUES (1, 1, 10.50, 3), (1, 1, 20.25, 1), (1, 2, 7.00, 2),"
                                     " (2, 1, 100.00, 1), (2, 3, 0.75, 4), (3, 1, 5.00, 1), (3, NULL, 8.00, 2),"
                                     " (4, 2, 40.00, 1), (4, 2, NULL, 5), (4, NULL, 3.25, 1), (5, 1, 60.00, 2),"
                                     " (5, 3, NULL, 0), (1, 3, 99.00, 0), (2, 2, 1.00, 7)")
                          .arg(prefix));
        // Joins, aliases, an OR in the WHERE and a CTE: its rows are what the view pivots.
        m_statement = QStringLiteral(
                          "WITH s AS (SELECT r.name AS region, p.label AS product, t.amount AS amount, t.qty AS qty"
                          " FROM %1sales t JOIN %1regions r ON r.id = t.region_id"
                          " LEFT JOIN %1products p ON p.id = t.product_id"
                          " WHERE t.qty > 0 OR t.amount IS NULL)"
                          " SELECT region AS \"Region\", product AS \"Product\", amount AS \"Amount\", qty AS \"Qty\""
                          " FROM s ORDER BY qty")
                          .arg(prefix);
        m_connection = m_db->connect();
        tab = std::make_unique<XTabulon>();
        ASSERT_NO_FATAL_FAILURE(openView(*tab, m_connection, m_statement, hlTabulon::tbViewXTab));
        tab->pick(0, QStringLiteral("Region"));
        tab->pick(1, QStringLiteral("Product"));
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
        QLocale::setDefault(QLocale::c());
    }

    // key texts (Null as the view shows it) -> aggregate, computed apart.
    std::map<QStringList, std::optional<double>> apart(int function, const QStringList &groups) const
    {
        const QString list = groups.join(QStringLiteral(", "));
        const QString sql = QStringLiteral("SELECT %1%2%3 FROM (%4) q%5")
                                .arg(list, list.isEmpty() ? QString() : QStringLiteral(", "),
                                     QLatin1String(kAggregates[function]), m_statement,
                                     list.isEmpty() ? QString() : QStringLiteral(" GROUP BY ") + list);
        auto rs = m_connection->Execute(sql);
        std::map<QStringList, std::optional<double>> out;
        const int n = int(groups.size());
        for (std::size_t i = 0; i < rs->fetchedCount(); ++i) {
            QStringList key;
            for (int c = 0; c < n; ++c)
                key << (rs->isNull(i, c) ? QStringLiteral("(Null)") : rs->displayText(i, c));
            out[key] = rs->isNull(i, n) ? std::nullopt : std::optional<double>(rs->value(i, n).toDouble());
        }
        return out;
    }

    void expectCell(int row, int col, std::optional<double> expected, double grand, int function, const QString &what)
    {
        grid::Grid &g = *tab->grdXTab;
        if (!expected) {
            EXPECT_TRUE(g.TextMatrix(row, col).isEmpty()) << what << ": " << g.TextMatrix(row, col);
            return;
        }
        const double v = function == 1 ? *expected / grand * 100 : *expected;
        EXPECT_NEAR(g.ValueMatrix(row, col), v, 1e-6) << what;
    }

    std::unique_ptr<ScratchDatabase> m_db;
    std::shared_ptr<db::Connection> m_connection;
    QString m_statement;
    std::unique_ptr<XTabulon> tab;
};

} // namespace

TEST_P(XTabView, EveryCellAndTotalMatchesGroupByQueriesComputedApart)
{
    for (int function = 0; function < 6; ++function) {
        SCOPED_TRACE(kViewFunctions[function]);
        tab->pick(3, QLatin1String(kViewFunctions[function]));
        if (function >= 2)
            tab->pick(4, QStringLiteral("Amount"));
        // The host's Refresh reaches the cross-tab in its view.
        ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
        grid::Grid &g = *tab->grdXTab;

        const auto cells = apart(function, {QStringLiteral("\"Region\""), QStringLiteral("\"Product\"")});
        const auto byRow = apart(function, {QStringLiteral("\"Region\"")});
        const auto byCol = apart(function, {QStringLiteral("\"Product\"")});
        const auto all = apart(function, {});
        const double grand = all.begin()->second.value_or(0);
        const auto rows = tab->rowsByKey();
        const auto cols = tab->colsByKey();
        // Five regions (three differing only in case or blanks, a Null and an empty text) and four
        // products (a Null among them), none merged.
        ASSERT_EQ(rows.size(), byRow.size());
        ASSERT_EQ(cols.size(), byCol.size());
        EXPECT_EQ(rows.size(), 5u);
        EXPECT_EQ(cols.size(), 4u);
        EXPECT_TRUE(rows.count(QString()) && rows.count(QStringLiteral("(Null)")) && rows.count(QStringLiteral("North ")));

        const int last = g.Cols() - 1;
        const int totalRow = g.Rows() - 1;
        for (const auto &[rowKey, r] : rows) {
            for (const auto &[colKey, c] : cols) {
                const auto it = cells.find({rowKey, colKey});
                expectCell(r, c, it == cells.end() ? std::nullopt : it->second, grand, function,
                           rowKey + u'/' + colKey);
            }
            expectCell(r, last, byRow.at({rowKey}), grand, function, QStringLiteral("row TOTAL ") + rowKey);
        }
        for (const auto &[colKey, c] : cols)
            expectCell(totalRow, c, byCol.at({colKey}), grand, function, QStringLiteral("column TOTAL ") + colKey);
        expectCell(totalRow, last, all.begin()->second, grand, function, QStringLiteral("corner"));
        if (function == 1) {
            EXPECT_EQ(g.TextMatrix(totalRow, last), QStringLiteral("100.00"));
        }

        EXPECT_EQ(g.TextMatrix(1, last), QStringLiteral("TOTAL"));
        EXPECT_EQ(g.TextMatrix(totalRow, 0), QStringLiteral("TOTAL"));
        EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("Region"));
        const QLatin1String name(kViewFunctions[function]);
        const QString start = function == 0   ? QStringLiteral("Count")
                              : function == 1 ? QStringLiteral("% of Total")
                                              : name.left(name.indexOf(u' ')) + QStringLiteral(" of Amount");
        EXPECT_EQ(g.TextMatrix(0, 1), start + QStringLiteral(" by Region\\Product"));
        EXPECT_EQ(g.TextMatrix(0, last), g.TextMatrix(0, 1));
        EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 5 rows by 4 cols"));
        EXPECT_TRUE(tab->stPrint());
        EXPECT_TRUE(tab->stExportData());
        EXPECT_FALSE(tab->txtXTabSQL->toPlainText().isEmpty());
    }
    for (const Report &e : events)
        ADD_FAILURE() << e.procedure << ": " << e.description;
}

TEST_P(XTabView, AConditionOnTheAggregateIsNamedInTheCaption)
{
    tab->pick(3, QStringLiteral("Sum of --->>>"));
    tab->pick(4, QStringLiteral("Amount"));
    tab->pick(5, QStringLiteral("Greater than"));
    tab->txtSumValue[2]->setText(QStringLiteral("10"));
    ASSERT_TRUE(tab->Refresh());
    grid::Grid &g = *tab->grdXTab;
    EXPECT_EQ(g.TextMatrix(0, 1), QStringLiteral("Sum of Amount by Region\\Product (Greater than 10)"));
    // The narrow columns under the merged caption leave it room to be read whole.
    QFont bold = g.font();
    bold.setBold(true);
    int under = 0;
    for (int c = 1; c < g.Cols(); ++c)
        under += ui::Twips::toPixelsX(g.ColWidth(c), &g);
    EXPECT_GE(under, QFontMetrics(bold).horizontalAdvance(g.TextMatrix(0, 1)));
    auto rs = m_connection->Execute(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM (%1) q GROUP BY \"Region\","
                                                   " \"Product\" HAVING SUM(\"Amount\") > 10) k")
                                        .arg(m_statement));
    int filled = 0;
    for (int r = 2; r < g.Rows() - 1; ++r)
        for (int c = 1; c < g.Cols() - 1; ++c)
            filled += g.TextMatrix(r, c).isEmpty() ? 0 : 1;
    EXPECT_EQ(filled, rs->value(0, 0).toInt());
}

TEST_P(XTabView, AnEmptyResultShowsNothingAndLeavesPrintAndExportOff)
{
    runnerOf(*tab).setFilter(QStringLiteral("\"Qty\" > 1000"));
    EXPECT_FALSE(tab->Refresh());
    EXPECT_EQ(tab->grdXTab->Rows(), 2);
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 0 rows by 0 cols"));
    EXPECT_FALSE(tab->stPrint());
    EXPECT_FALSE(tab->stExportData());
    EXPECT_TRUE(events.empty());

    // A cross-tab the database refuses counts nothing beside its message.
    runnerOf(*tab).setFilter(QStringLiteral("no_such_function(\"Qty\") = 1"));
    EXPECT_FALSE(tab->Refresh());
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QString());
}

TEST_P(XTabView, NumbersEqualAtAnotherScaleAreOneKey)
{
    // The database groups 1.5 with 1.50 and 2 with 2.0 (PostgreSQL keeps each value's scale in
    // its text), so the pivot has one row and one column for each.
    const QString statement = QStringLiteral(
        "SELECT 1.5 AS \"K\", 1.5 AS \"L\", 1 AS \"Q\" UNION ALL SELECT 1.50, 2, 2 UNION ALL SELECT 1.500, 2.0, 4"
        " UNION ALL SELECT 2, 1.50, 8 UNION ALL SELECT 2.0, 2.00, 16");
    tab->UnloadFlter();
    tab = std::make_unique<XTabulon>();
    ASSERT_NO_FATAL_FAILURE(openView(*tab, m_connection, statement, hlTabulon::tbViewXTab));
    tab->pick(0, QStringLiteral("K"));
    tab->pick(1, QStringLiteral("L"));
    tab->pick(3, QStringLiteral("Sum of --->>>"));
    tab->pick(4, QStringLiteral("Q"));
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
    grid::Grid &g = *tab->grdXTab;
    ASSERT_EQ(g.Rows(), 2 + 2 + 1);
    ASSERT_EQ(g.Cols(), 1 + 2 + 1);
    const double byRow[] = {7, 24}, byCol[] = {9, 22}, cells[2][2] = {{1, 6}, {8, 16}};
    for (int r = 0; r < 2; ++r) {
        EXPECT_DOUBLE_EQ(g.ValueMatrix(2 + r, 3), byRow[r]) << g.TextMatrix(2 + r, 0);
        for (int c = 0; c < 2; ++c)
            EXPECT_DOUBLE_EQ(g.ValueMatrix(2 + r, 1 + c), cells[r][c]) << g.TextMatrix(2 + r, 0) << " / " << g.TextMatrix(1, 1 + c);
    }
    for (int c = 0; c < 2; ++c)
        EXPECT_DOUBLE_EQ(g.ValueMatrix(4, 1 + c), byCol[c]) << g.TextMatrix(1, 1 + c);
    EXPECT_DOUBLE_EQ(g.ValueMatrix(4, 3), 31);
    EXPECT_TRUE(events.empty());
}

TEST_P(XTabView, NotANumberTotalsAsTheDatabaseAggregatesIt)
{
    if (!ScratchDatabase::postgres(QLatin1String(GetParam())))
        GTEST_SKIP() << "only PostgreSQL numbers hold NaN";
    // PostgreSQL sorts NaN above every number: it is the maximum wherever it occurs, never the
    // minimum unless it stands alone, and any sum or average with it is NaN.
    const QString statement = QStringLiteral(
        "SELECT * FROM (VALUES ('a', 'x', 1.0::float8), ('a', 'y', 'NaN'), ('b', 'x', 'NaN'), ('b', 'y', 2),"
        " ('c', 'y', 'NaN')) t(\"K\", \"C\", \"V\")");
    for (const char *function : {"Max. of --->>>", "Min. of --->>>", "Sum of --->>>"}) {
        SCOPED_TRACE(function);
        tab->UnloadFlter();
        tab = std::make_unique<XTabulon>();
        ASSERT_NO_FATAL_FAILURE(openView(*tab, m_connection, statement, hlTabulon::tbViewXTab));
        tab->pick(0, QStringLiteral("K"));
        tab->pick(1, QStringLiteral("C"));
        tab->pick(3, QLatin1String(function));
        tab->pick(4, QStringLiteral("V"));
        ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
        const QString agg = QString::fromLatin1(function).left(3).toLower();
        auto totals = m_connection->Execute(
            QStringLiteral("SELECT \"K\", %1(\"V\") FROM (%2) q GROUP BY \"K\" UNION ALL SELECT 'TOTAL', %1(\"V\") FROM (%2) q"
                           "").arg(agg, statement));
        grid::Grid &g = *tab->grdXTab;
        const int last = g.Cols() - 1;
        ASSERT_EQ(g.Rows(), 2 + 3 + 1);
        for (std::size_t i = 0; i < totals->fetchedCount(); ++i) {
            const QString key = totals->displayText(i, 0);
            int row = 2;
            while (row < g.Rows() - 1 && g.TextMatrix(row, 0) != key)
                ++row;
            ASSERT_EQ(g.TextMatrix(row, 0), key);
            const double expected = totals->value(i, 1).toDouble();
            if (std::isnan(expected))
                EXPECT_EQ(g.TextMatrix(row, last), QStringLiteral("NaN")) << key;
            else
                EXPECT_DOUBLE_EQ(g.ValueMatrix(row, last), expected) << key;
        }
    }
    EXPECT_TRUE(events.empty());
}

// (Not the SQLite ODBC driver: it types a computed column by its first value, so the figures
// computed apart through it come back cut to whole numbers.)
INSTANTIATE_TEST_SUITE_P(Databases, XTabView, ::testing::Values("SQLite", "PostgreSQL", "ODBC PostgreSQL"));

namespace {

// Generated rows on SQLite: as many keys as a test needs, without a table.
class XTabGenerated : public ControlTest {
protected:
    void open(const QString &statement)
    {
        if (tab)
            tab->UnloadFlter();
        tab = std::make_unique<XTabulon>();
        watch(*tab);
        tab->adoConnection(m_sample.connect());
        tab->SQL(statement);
        tab->resize(1000, 600);
        tab->show();
        ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewXTab));
        tab->pick(0, QStringLiteral("a"));
        tab->pick(1, QStringLiteral("b"));
    }
    static QString numbers(int count, const QString &select)
    {
        return QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) %2 FROM n")
            .arg(count - 1)
            .arg(select);
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }

    SampleDatabase m_sample;
    std::unique_ptr<XTabulon> tab;
};

} // namespace

TEST_F(XTabGenerated, MoreThan32767ColumnsOrRowsAreDrawnWhole)
{
    open(numbers(40000, QStringLiteral("SELECT 'k' AS a, i AS b")));
    ASSERT_TRUE(tab->Refresh());
    grid::Grid &g = *tab->grdXTab;
    EXPECT_EQ(g.Cols(), 1 + 40000 + 1);
    EXPECT_EQ(g.Rows(), 2 + 1 + 1);
    EXPECT_EQ(g.TextMatrix(1, 40000), QStringLiteral("39999"));
    EXPECT_EQ(g.TextMatrix(3, 40001), QStringLiteral("40,000"));
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 1 rows by 40,000 cols"));

    open(numbers(33000, QStringLiteral("SELECT i AS a, i % 2 AS b")));
    ASSERT_TRUE(tab->Refresh());
    EXPECT_EQ(tab->grdXTab->Rows(), 2 + 33000 + 1);
    EXPECT_EQ(tab->grdXTab->TextMatrix(2 + 32999, 0), QStringLiteral("32999"));
    EXPECT_EQ(tab->grdXTab->TextMatrix(2 + 33000, 3), QStringLiteral("33,000"));
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 33,000 rows by 2 cols"));
    EXPECT_TRUE(events.empty());
}

TEST_F(XTabGenerated, APivotTooBigToShowIsRefusedWithAMessage)
{
    // 6,000 row keys by 6,000 column keys: 36 million cells from only 6,000 records.
    open(numbers(6000, QStringLiteral("SELECT i AS a, i AS b")));
    ui::Prompter::setScripted(true);
    EXPECT_FALSE(tab->Refresh());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_TRUE(ui::Prompter::asked().front().text.contains(QStringLiteral("6,000 rows by 6,000 cols")))
        << ui::Prompter::asked().front().text;
    EXPECT_EQ(tab->grdXTab->Rows(), 2);
    EXPECT_EQ(tab->grdXTab->Cols(), 1);
    EXPECT_FALSE(tab->stPrint());
    EXPECT_TRUE(events.empty());
}

TEST_F(XTabGenerated, EscapeLeavesAPartialPivotWithoutTotalsAndSaysSo)
{
    open(numbers(600000, QStringLiteral("SELECT i / 1000 AS a, i % 1000 AS b")));
    ui::Prompter::setScripted(true);
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    // Escape once the pivot has begun, as a user watching the status bar would.
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, tab.get(), [&] {
        if (tab->staStatus->Panels(1).Text() == u"X-Tabbing data ...") {
            poll.stop();
            QTest::keyClick(tab->grdXTab, Qt::Key_Escape);
        }
    });
    poll.start();
    EXPECT_FALSE(tab->Refresh());
    ASSERT_FALSE(ui::Prompter::asked().empty());
    EXPECT_EQ(ui::Prompter::asked().front().text, QStringLiteral("Cancel XTab?"));
    grid::Grid &g = *tab->grdXTab;
    EXPECT_GT(g.Rows(), 2) << "the rows pivoted before the stop are shown";
    EXPECT_LT(g.Rows(), 2 + 600) << "the stop came part-way";
    for (int r = 2; r < g.Rows(); ++r)
        ASSERT_FALSE(g.IsSubtotal(r)) << r;
    EXPECT_NE(g.TextMatrix(1, g.Cols() - 1), QStringLiteral("TOTAL"));
    EXPECT_TRUE(g.TextMatrix(0, 1).isEmpty()) << "no caption";
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Cross-tab stopped: no totals"));
    EXPECT_TRUE(tab->txtXTabSQL->toPlainText().isEmpty());
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(XTabGenerated, ASecondRefreshWhileOneRunsIsRefused)
{
    open(numbers(10, QStringLiteral("SELECT i % 3 AS a, i % 2 AS b")));
    ASSERT_TRUE(tab->Refresh());
    const int rows = tab->grdXTab->Rows();
    {
        analysis::OperationFrame refreshing(*tab, analysis::OperationFrame::Refreshing, QStringLiteral("Refreshing ..."));
        EXPECT_FALSE(tab->Refresh());
    }
    EXPECT_EQ(tab->grdXTab->Rows(), rows);
    EXPECT_EQ(tab->grdXTab->TextMatrix(rows - 1, 0), QStringLiteral("TOTAL"));
}

TEST_F(XTabGenerated, NumberKeysStayApartAsTheDatabaseGroupsThem)
{
    // Reals that differ only past the 15th digit, huge and negative ones, integers, Nulls; each
    // key is one row (or column) with its own total, in the order the database sorted them.
    const QStringList valueLists = {
        QStringLiteral("(0.30000000000000004, 1), (0.3, 2), (2.5, 4), (NULL, 8), (0.3, 16), (1e300, 32), (2.5, 64),"
                       " (-2.5, 128)"),
        QStringLiteral("(4607182418800017408, 1), (1, 2), (-1, 4), (NULL, 8), (1, 16), (9007199254740993, 32),"
                       " (9007199254740992, 64)")};
    for (const QString &rows : valueLists) {
        auto apart = m_sample.connect()->Execute(
            QStringLiteral("SELECT column1, SUM(column2) FROM (VALUES %1) GROUP BY column1 ORDER BY column1").arg(rows));
        ASSERT_GE(apart->fetchedCount(), 6u);
        for (const bool across : {false, true}) {
            SCOPED_TRACE((across ? "across: " : "down: ") + rows.toStdString());
            const QString statement = across
                                          ? QStringLiteral("SELECT 'x' AS a, column1 AS b, column2 AS v FROM (VALUES %1)")
                                          : QStringLiteral("SELECT column1 AS a, 'x' AS b, column2 AS v FROM (VALUES %1)");
            open(statement.arg(rows));
            tab->pick(3, QStringLiteral("Sum of --->>>"));
            tab->pick(4, QStringLiteral("v"));
            ASSERT_TRUE(tab->Refresh());
            grid::Grid &g = *tab->grdXTab;
            const int keys = across ? g.Cols() - 2 : g.Rows() - 3;
            ASSERT_EQ(std::size_t(keys), apart->fetchedCount());
            for (std::size_t k = 0; k < apart->fetchedCount(); ++k) {
                const int key = int(k) + (across ? 1 : 2);
                const QString shown = apart->isNull(k, 0) ? QStringLiteral("(Null)") : apart->displayText(k, 0);
                EXPECT_EQ(across ? g.TextMatrix(1, key) : g.TextMatrix(key, 0), shown) << k;
                EXPECT_EQ(across ? g.ValueMatrix(2, key) : g.ValueMatrix(key, 1), apart->value(k, 1).toDouble()) << k;
            }
        }
    }
    EXPECT_TRUE(events.empty());
}
