// The summary view on real databases: every function at one, two and three group levels, each
// data, subtotal and TOTAL cell checked against a query computed apart; the condition on the
// aggregate, hidden rows, an empty result, a refusal and a refresh asked for while one runs.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest/QTest>

#include <cmath>

using namespace tabtest;

namespace {

class SumTabulon : public hlTabulon {
public:
    bool Change_View(tbView view) { return tabtest::showView(*this, view); }
    const std::array<QComboBox *, 6> cboSumCol = tabtest::parts<QComboBox, 6>(*this, "cboSumCol");
    grid::Grid *const grdSummary = tabtest::part<grid::Grid>(*this, "grdSummary");
    QMenu *const mnuSummary = tabtest::part<QMenu>(*this, "mnuSummary");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");
    const std::array<QLineEdit *, 3> txtSumValue = tabtest::parts<QLineEdit, 3>(*this, "txtSumValue");
    QPlainTextEdit *const txtSummarySQL = tabtest::part<QPlainTextEdit>(*this, "txtSummarySQL");

    void pick(int index, const QString &text) { pickText(cboSumCol[std::size_t(index)], text); }
    // Right-clicks a data cell of the summary and clicks `item` in the menu that opens.
    void rowMenu(int row, int col, const QString &item)
    {
        rightClickCell(*grdSummary, row, col);
        ASSERT_TRUE(mnuSummary->isVisible());
        QAction *action = nullptr;
        for (QAction *a : mnuSummary->actions())
            action = a->text() == item ? a : action;
        ASSERT_NE(action, nullptr) << item;
        QTest::mouseClick(mnuSummary, Qt::LeftButton, {}, mnuSummary->actionGeometry(action).center());
        EXPECT_FALSE(mnuSummary->isVisible());
    }
};

// The same sales on SQLite and PostgreSQL; the sample database's orders for the third.
class SummaryView : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString provider = QLatin1String(GetParam());
        if (provider == u"Sample") {
            ASSERT_TRUE(m_sample.ok()) << m_sample.error();
            m_connection = m_sample.connect();
            m_statement = QStringLiteral("SELECT \"ShipCountry\" AS \"Country\", \"ShipCity\" AS \"City\", "
                                         "\"ShipVia\" AS \"Via\", \"Freight\" FROM \"Orders\" WHERE \"OrderID\" <= 600 "
                                         "ORDER BY \"OrderDate\" DESC");
            m_groups = {QStringLiteral("Country"), QStringLiteral("City"), QStringLiteral("Via")};
            m_value = QStringLiteral("Freight");
        } else {
            if (ScratchDatabase::postgres(provider))
                TABULON_REQUIRE_POSTGRES();
            m_db = std::make_unique<ScratchDatabase>(provider, "t_sum");
            const QString table = m_db->prefix() + QStringLiteral("sales");
            db::Connection &admin = m_db->admin();
            admin.Execute(QStringLiteral("CREATE TABLE %1 (region varchar(20), product varchar(20), channel varchar(20),"
                                         " amount numeric(10,2), qty integer)")
                              .arg(table));
            admin.Execute(QStringLiteral(
                              "INSERT INTO %1 VALUES ('North', 'Apples', 'Shop', 10.50, 3), ('North', 'Apples', 'Web', 1200.25, 7),"
                              " ('North', 'Apples', 'Web', 3.00, 1), ('North', 'Pears', 'Shop', 99.99, 2),"
                              " ('North', 'Pears', 'Shop', NULL, 4), ('South', 'Apples', 'Shop', 5.00, 10),"
                              " ('South', 'Figs', 'Web', 750.00, 1), ('South', 'Figs', 'Web', 400.10, 2),"
                              " ('South', 'Figs', 'Shop', 0.01, 9), ('West', 'Pears', 'Web', 12.00, 5),"
                              " ('West''s', 'Apples', 'Shop', 2.50, 8), ('West''s', 'Apples', 'Shop', 2.75, 1),"
                              // A region with no amount at all: its averages are Null, and no total counts it.
                              " ('East', 'Figs', 'Web', NULL, 6), ('East', 'Pears', 'Shop', NULL, 2)")
                              .arg(table));
            m_connection = m_db->connect();
            // An alias, a sub-query, a literal holding FROM and an order of its own.
            m_statement = QStringLiteral("SELECT s.region AS \"Region\", s.product AS \"Product\", s.channel AS \"Channel\","
                                         " s.amount AS \"Amount\", (SELECT COUNT(*) FROM %1 x WHERE x.region = s.region) AS"
                                         " \"Seen\", 'FROM nowhere' AS \"Note\", s.qty AS \"Qty\" FROM %1 s ORDER BY s.qty DESC")
                              .arg(table);
            m_groups = {QStringLiteral("Region"), QStringLiteral("Product"), QStringLiteral("Channel")};
            m_value = QStringLiteral("Amount");
        }
        analysis::options().ShowTotals = true;
        analysis::options().SubTotalColor1 = 0x00CCFFFF;
        analysis::options().SubTotalColor2 = 0x00FFCCCC;
        tab = std::make_unique<SumTabulon>();
        ASSERT_NO_FATAL_FAILURE(openView(*tab, m_connection, m_statement, hlTabulon::tbViewSummary));
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
        QLocale::setDefault(QLocale::c());
    }

    void choose(int levels, int function)
    {
        tab->pick(0, m_groups[0]);
        tab->pick(1, levels >= 2 ? m_groups[1] : QStringLiteral("<none>"));
        tab->pick(2, levels >= 3 ? m_groups[2] : QStringLiteral("<none>"));
        tab->pick(3, QLatin1String(kViewFunctions[function]));
        if (function >= 2)
            tab->pick(4, m_value);
    }

    static QString quoted(const QString &name) { return u'"' + name + u'"'; }

    // The rows of the statement whose first `n` group columns hold the given texts.
    QString where(const QStringList &values) const
    {
        QStringList parts;
        for (int i = 0; i < values.size(); ++i) {
            const QString v = values[i];
            parts << QStringLiteral("CAST(%1 AS varchar(100)) = '%2'").arg(quoted(m_groups[i]), QString(v).replace(u'\'', QStringLiteral("''")));
        }
        return parts.isEmpty() ? QString() : QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
    }
    // The aggregate over those rows, computed apart from the program.
    std::optional<double> apart(int function, const QStringList &values) const
    {
        QString agg;
        switch (function) {
        case 0: case 1: agg = QStringLiteral("COUNT(*)"); break;
        case 2: agg = QStringLiteral("SUM(%1)").arg(quoted(m_value)); break;
        case 3: agg = QStringLiteral("AVG(%1)").arg(quoted(m_value)); break;
        case 4: agg = QStringLiteral("MIN(%1)").arg(quoted(m_value)); break;
        default: agg = QStringLiteral("MAX(%1)").arg(quoted(m_value)); break;
        }
        auto rs = m_connection->Execute(QStringLiteral("SELECT %1 FROM (%2) q%3").arg(agg, m_statement, where(values)));
        if (rs->isNull(0, 0))
            return std::nullopt;
        double v = rs->value(0, 0).toDouble();
        if (function == 1) {
            auto all = m_connection->Execute(QStringLiteral("SELECT COUNT(*) FROM (%1) q").arg(m_statement));
            v = v / all->value(0, 0).toDouble() * 100;
        }
        return v;
    }

    // Every cell of the last column against the statement computed apart; the group texts of data
    // rows against the groups the statement has.
    void checkEveryCell(int levels, int function)
    {
        grid::Grid &g = *tab->grdSummary;
        const int last = g.Cols() - 1;
        ASSERT_EQ(last, levels);
        QStringList current;
        int dataRows = 0;
        for (int r = 1; r < g.Rows(); ++r) {
            QStringList values;
            if (g.IsSubtotal(r)) {
                const int level = g.RowOutlineLevel(r);
                values = level < 0 ? QStringList() : current.mid(0, level + 1);
            } else {
                ++dataRows;
                for (int c = 0; c < last; ++c)
                    values << g.TextMatrix(r, c);
                current = values;
            }
            const auto expected = apart(function, values);
            const QString shown = g.TextMatrix(r, last);
            if (!expected) {
                EXPECT_TRUE(shown.isEmpty()) << "row " << r << " " << values.join(u'|') << ": " << shown;
                continue;
            }
            EXPECT_NEAR(g.ValueMatrix(r, last), *expected, 1e-6)
                << "function " << function << " row " << r << " " << values.join(u'|');
        }
        auto groups = m_connection->Execute(QStringLiteral("SELECT COUNT(*) FROM (SELECT DISTINCT %1 FROM (%2) q) d")
                                                .arg([&] {
                                                    QStringList names;
                                                    for (int i = 0; i < levels; ++i)
                                                        names << quoted(m_groups[i]);
                                                    return names.join(QStringLiteral(", "));
                                                }(),
                                                     m_statement));
        EXPECT_EQ(dataRows, groups->value(0, 0).toInt());
        ASSERT_TRUE(g.IsSubtotal(g.Rows() - 1));
        EXPECT_EQ(g.TextMatrix(g.Rows() - 1, 0), QStringLiteral("TOTAL"));
    }

    SampleDatabase m_sample;
    std::unique_ptr<ScratchDatabase> m_db;
    QString m_statement, m_value;
    QStringList m_groups;
    std::shared_ptr<db::Connection> m_connection;
    std::unique_ptr<SumTabulon> tab;
};

} // namespace

TEST_P(SummaryView, EveryFunctionAtEveryLevelMatchesTheStatementComputedApart)
{
    for (int levels = 1; levels <= 3; ++levels) {
        for (int function = 0; function < 6; ++function) {
            SCOPED_TRACE(QStringLiteral("levels %1, function %2").arg(levels).arg(function).toStdString());
            choose(levels, function);
            ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
            checkEveryCell(levels, function);
            grid::Grid &g = *tab->grdSummary;
            const int subtotals = [&] {
                int n = 0;
                for (int r = 1; r < g.Rows() - 1; ++r)
                    n += g.IsSubtotal(r) ? 1 : 0;
                return n;
            }();
            if (levels == 1) {
                EXPECT_EQ(subtotals, 0) << "one group column has no subtotal rows";
            } else {
                EXPECT_GT(subtotals, 0);
            }
            if (function == 1) {
                EXPECT_EQ(g.TextMatrix(g.Rows() - 1, levels), QStringLiteral("100.00"));
            }
        }
    }
    for (const Report &e : events)
        ADD_FAILURE() << e.procedure << ": " << e.description;
}

TEST_P(SummaryView, CopyingTheSummaryGivesItsFiguresAsShown)
{
    // The clipboard takes the cells' shown texts: "1,213.75", not the unformatted figure.
    choose(2, 2);
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
    grid::Grid &g = *tab->grdSummary;
    g.setFocus();
    ASSERT_TRUE(tab->Select_All());
    QApplication::clipboard()->clear();
    ASSERT_TRUE(tab->Copy_Sel());
    const QStringList lines = QApplication::clipboard()->text().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), g.Rows() - 1);
    for (int r = 1; r < g.Rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < g.Cols(); ++c)
            cells << g.TextMatrix(r, c);
        EXPECT_EQ(lines[r - 1], cells.join(u'\t') + (r < g.Rows() - 1 ? QStringLiteral("\t") : QString())) << "row " << r;
    }
}

TEST_P(SummaryView, TheConditionTakesAThousandsSeparatedNumber)
{
    choose(1, 2);
    tab->pick(5, QStringLiteral("Greater than"));
    tab->txtSumValue[1]->setText(QStringLiteral("1,000"));
    ASSERT_TRUE(tab->Refresh());
    EXPECT_TRUE(tab->txtSummarySQL->toPlainText().contains(QStringLiteral("HAVING SUM(\"%1\") > 1000").arg(m_value)))
        << tab->txtSummarySQL->toPlainText();
    auto rs = m_connection->Execute(QStringLiteral("SELECT %1, SUM(%2) FROM (%3) q GROUP BY %1 HAVING SUM(%2) > 1000 ORDER BY %1")
                                        .arg(quoted(m_groups[0]), quoted(m_value), m_statement));
    grid::Grid &g = *tab->grdSummary;
    ASSERT_EQ(g.Rows(), 1 + int(rs->RecordCount()) + 1);
    double total = 0;
    for (int r = 1; r < g.Rows() - 1; ++r) {
        EXPECT_EQ(g.TextMatrix(r, 0), rs->displayText(std::size_t(r - 1), 0));
        EXPECT_NEAR(g.ValueMatrix(r, 1), rs->value(std::size_t(r - 1), 1).toDouble(), 1e-6);
        total += rs->value(std::size_t(r - 1), 1).toDouble();
    }
    EXPECT_NEAR(g.ValueMatrix(g.Rows() - 1, 1), total, 1e-6);

    // Typed with a fraction, the number is compared exactly as typed; a slip in its grouping is
    // refused with a message, and nothing runs.
    QLineEdit *box = tab->txtSumValue[1];
    QApplication::setActiveWindow(tab.get());
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("1,000.5"));
    tab->grdSummary->setFocus();
    ASSERT_TRUE(tab->Refresh());
    EXPECT_TRUE(tab->txtSummarySQL->toPlainText().contains(QStringLiteral("HAVING SUM(\"%1\") > 1000.5 ").arg(m_value)))
        << tab->txtSummarySQL->toPlainText();
    auto fraction = m_connection->Execute(
        QStringLiteral("SELECT %1 FROM (%3) q GROUP BY %1 HAVING SUM(%2) > 1000.5 ORDER BY %1")
            .arg(quoted(m_groups[0]), quoted(m_value), m_statement));
    ASSERT_EQ(g.Rows(), 1 + int(fraction->RecordCount()) + 1);
    for (int r = 1; r < g.Rows() - 1; ++r)
        EXPECT_EQ(g.TextMatrix(r, 0), fraction->displayText(std::size_t(r - 1), 0));
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("1,00.5"));
    ui::Prompter::clearAsked();
    EXPECT_FALSE(tab->Refresh());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_TRUE(ui::Prompter::asked()[0].text.contains(QStringLiteral("not a number")));
    EXPECT_TRUE(events.empty());
}

TEST_P(SummaryView, HiddenRowsLeaveTheTotalAndSubtotalRowsNeverCount)
{
    for (int function : {2, 3}) {
        choose(2, function);
        ASSERT_TRUE(tab->Refresh());
        grid::Grid &g = *tab->grdSummary;
        // Hide every row of the second column's value in the first data row.
        const QString hidden = g.TextMatrix(1, 1);
        ASSERT_NO_FATAL_FAILURE(tab->rowMenu(1, 1, QStringLiteral("Hide")));
        ASSERT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
        int shown = 0;
        int all = 0;
        for (int r = 1; r < g.Rows() - 1; ++r) {
            ++all;
            if (!g.RowHidden(r))
                ++shown;
            if (!g.IsSubtotal(r)) {
                EXPECT_EQ(g.RowHidden(r), g.TextMatrix(r, 1) == hidden) << r;
            }
        }
        const QString agg = function == 2 ? QStringLiteral("SUM") : QStringLiteral("AVG");
        auto rs = m_connection->Execute(QStringLiteral("SELECT %1(%2) FROM (%3) q WHERE CAST(%4 AS varchar(100)) <> '%5'")
                                            .arg(agg, quoted(m_value), m_statement, quoted(m_groups[1]), QString(hidden).replace(u'\'', QStringLiteral("''"))));
        EXPECT_NEAR(g.ValueMatrix(g.Rows() - 1, 2), rs->value(0, 0).toDouble(), 1e-6);
        EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" %1 rows (%2)").arg(shown).arg(all));

        int visibleRow = 1;
        while (g.RowHidden(visibleRow))
            ++visibleRow;
        ASSERT_NO_FATAL_FAILURE(tab->rowMenu(visibleRow, 0, QStringLiteral("UnHide All")));
        ASSERT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
        for (int r = 1; r < g.Rows(); ++r)
            EXPECT_FALSE(g.RowHidden(r)) << r;
        auto whole = m_connection->Execute(QStringLiteral("SELECT %1(%2) FROM (%3) q").arg(agg, quoted(m_value), m_statement));
        EXPECT_NEAR(g.ValueMatrix(g.Rows() - 1, 2), whole->value(0, 0).toDouble(), 1e-6);
        EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" %1 rows").arg(all));
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, SummaryView,
                         ::testing::Values("SQLite", "PostgreSQL", "Sample", "ODBC SQLite", "ODBC PostgreSQL"));

namespace {

class SummaryOnSample : public ControlTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        tab = std::make_unique<SumTabulon>();
        watch(*tab);
        tab->adoConnection(m_sample.connect());
        tab->SQL(QStringLiteral("SELECT * FROM \"Orders\""));
        tab->resize(1200, 700);
        tab->show();
        ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewSummary));
        tab->pick(0, QStringLiteral("ShipCountry"));
    }
    void TearDown() override { tab->UnloadFlter(); }

    SampleDatabase m_sample;
    std::unique_ptr<SumTabulon> tab;
};

} // namespace

TEST_F(SummaryOnSample, AnEmptyResultHasNoTotalAndNothingToPrint)
{
    runnerOf(*tab).setFilter(QStringLiteral("\"ShipCountry\" = 'Atlantis'"));
    EXPECT_FALSE(tab->Refresh());
    EXPECT_EQ(tab->grdSummary->Rows(), 1);
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 0 rows"));
    EXPECT_FALSE(tab->stPrint());
    EXPECT_FALSE(tab->stExportData());
    EXPECT_TRUE(tab->txtSummarySQL->toPlainText().isEmpty());
    EXPECT_TRUE(events.empty());

    runnerOf(*tab).setFilter({});
    EXPECT_TRUE(tab->Refresh());
    EXPECT_TRUE(tab->stPrint());
    EXPECT_TRUE(tab->txtSummarySQL->toPlainText().contains(QStringLiteral("FROM (\nSELECT * FROM \"Orders\"\n) AS t")))
        << tab->txtSummarySQL->toPlainText();

    // A summary the database refuses counts nothing beside its message.
    runnerOf(*tab).setFilter(QStringLiteral("no_such_function(\"ShipCountry\") = 1"));
    EXPECT_FALSE(tab->Refresh());
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QString());
}

TEST_F(SummaryOnSample, AnOperatorWithoutANumberIsRefusedBeforeTheDatabase)
{
    tab->pick(3, QStringLiteral("Sum of --->>>"));
    tab->pick(4, QStringLiteral("Freight"));
    tab->pick(5, QStringLiteral("Greater than"));
    EXPECT_TRUE(tab->txtSumValue[1]->isEnabled());
    for (const char *value : {"", "many"}) {
        ui::Prompter::setScripted(true);
        tab->txtSumValue[1]->setText(QLatin1String(value));
        EXPECT_FALSE(tab->Refresh());
        ASSERT_EQ(ui::Prompter::asked().size(), 1u) << value;
        EXPECT_EQ(ui::Prompter::asked().front().icon, ui::MsgIcon::Exclamation);
        EXPECT_EQ(tab->grdSummary->Rows(), 1);
    }
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(SummaryOnSample, ASecondRefreshWhileOneRunsIsRefused)
{
    ASSERT_TRUE(tab->Refresh());
    const int rows = tab->grdSummary->Rows();
    {
        analysis::OperationFrame refreshing(*tab, analysis::OperationFrame::Refreshing, QStringLiteral("Refreshing ..."));
        EXPECT_FALSE(tab->Refresh());
    }
    EXPECT_EQ(tab->grdSummary->Rows(), rows);
    EXPECT_EQ(tab->grdSummary->TextMatrix(rows - 1, 0), QStringLiteral("TOTAL"));
}

TEST_F(SummaryOnSample, EscapeStopsARefreshAndLeavesNoTotals)
{
    // Many groups over many generated rows: long enough to be stopped part-way.
    tab->UnloadFlter();
    tab = std::make_unique<SumTabulon>();
    watch(*tab);
    tab->adoConnection(m_sample.connect());
    tab->SQL(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000000)"
                            " SELECT i % 200000 AS g, i AS v FROM n"));
    tab->resize(1200, 700);
    tab->show();
    ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewSummary));
    tab->pick(0, QStringLiteral("g"));

    ui::Prompter::setScripted(true);
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    QTimer::singleShot(50, tab.get(), [this] { QTest::keyClick(tab->grdSummary, Qt::Key_Escape); });
    EXPECT_FALSE(tab->Refresh());
    ASSERT_FALSE(ui::Prompter::asked().empty());
    EXPECT_EQ(ui::Prompter::asked().front().text, QStringLiteral("Cancel Summary?"));
    grid::Grid &g = *tab->grdSummary;
    EXPECT_LT(g.Rows(), 200001);
    for (int r = 1; r < g.Rows(); ++r)
        ASSERT_FALSE(g.IsSubtotal(r)) << r;
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Summary stopped: no totals"));
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
    EXPECT_TRUE(errorWindows.empty());

    // Escape once every group is in the grid and the subtotals are being made: heard there too,
    // leaving every group whole, in order, with its own texts and no totals.
    tab->UnloadFlter();
    tab = std::make_unique<SumTabulon>();
    watch(*tab);
    tab->adoConnection(m_sample.connect());
    tab->SQL(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000)"
                            " SELECT i % 100000 AS g, i % 3 AS h, i AS v FROM n"));
    tab->resize(1200, 700);
    tab->show();
    ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewSummary));
    tab->pick(0, QStringLiteral("g"));
    tab->pick(1, QStringLiteral("h"));
    tab->pick(3, QStringLiteral("Avg. of --->>>"));
    tab->pick(4, QStringLiteral("v"));
    ui::Prompter::setScripted(true);
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    int rowsAtEscape = 0;
    QTimer filling;
    QObject::connect(&filling, &QTimer::timeout, tab.get(), [&] {
        // Every group in the grid: the totals are being made (the subtotal rows themselves may
        // only appear at the end of a level, too late for a poll to see them).
        if (tab->grdSummary->Rows() < 300001)
            return;
        filling.stop();
        rowsAtEscape = tab->grdSummary->Rows();
        QTest::keyClick(tab->grdSummary, Qt::Key_Escape);
        // The key is read by a poll; the rest of the work must not outrun it.
        QTRY_VERIFY_WITH_TIMEOUT(!ui::Prompter::asked().empty(), 10000);
    });
    filling.start(0);
    EXPECT_FALSE(tab->Refresh());
    EXPECT_GE(rowsAtEscape, 300001) << "Escape was to be pressed while the totals were being made";
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::asked().front().text, QStringLiteral("Cancel Summary?"));
    grid::Grid &filled = *tab->grdSummary;
    ASSERT_EQ(filled.Rows(), 300001);
    for (int r = 1; r < filled.Rows(); ++r)
        ASSERT_FALSE(filled.IsSubtotal(r)) << r;
    EXPECT_EQ(QStringList({filled.TextMatrix(1, 0), filled.TextMatrix(1, 1)}), QStringList({"0", "0"}));
    EXPECT_EQ(QStringList({filled.TextMatrix(2, 0), filled.TextMatrix(2, 1)}), QStringList({"0", "1"}));
    EXPECT_EQ(QStringList({filled.TextMatrix(300000, 0), filled.TextMatrix(300000, 1)}), QStringList({"99999", "2"}));
    EXPECT_EQ(filled.ValueMatrix(2, 2), 100000);
    EXPECT_EQ(filled.Cols(), 3);
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Summary stopped: no totals"));
    EXPECT_TRUE(events.empty()) << events.front().procedure << ": " << events.front().description;
    EXPECT_TRUE(errorWindows.empty());
}

namespace {

// Groups whose values look alike on screen: a Null key and an empty-text key, each with two
// second-level values. Every data, subtotal and TOTAL figure is checked, in the database's own
// order, against GROUP BY queries run apart.
class SummaryExactGroups : public ControlTest, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        if (ScratchDatabase::postgres(QLatin1String(GetParam())))
            TABULON_REQUIRE_POSTGRES();
        m_db = std::make_unique<ScratchDatabase>(QLatin1String(GetParam()), "t_sumkeys");
        const QString table = m_db->prefix() + QStringLiteral("keys");
        db::Connection &admin = m_db->admin();
        admin.Execute(QStringLiteral("CREATE TABLE %1 (k varchar(10), sub varchar(10), v integer)").arg(table));
        admin.Execute(QStringLiteral("INSERT INTO %1 VALUES (NULL, 'a', 1), (NULL, 'b', 2), (NULL, 'b', 4),"
                                     " ('', 'a', 10), ('', 'b', 20), ('', 'b', 50)")
                          .arg(table));
        m_table = table;
        m_connection = m_db->connect();
        analysis::options().ShowTotals = true;
        tab = std::make_unique<SumTabulon>();
        watch(*tab);
        tab->adoConnection(m_connection);
        tab->Delimiter(QStringLiteral("\""));
        // The key bears the name the count's column takes.
        tab->SQL(QStringLiteral("SELECT k AS \"Count\", sub AS \"Sub\", v AS \"V\" FROM %1").arg(table));
        tab->resize(1000, 600);
        tab->show();
        ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewSummary));
        tab->pick(0, QStringLiteral("Count"));
        tab->pick(1, QStringLiteral("Sub"));
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }
    std::vector<double> column(const QString &sql) const
    {
        auto rs = m_connection->Execute(sql);
        std::vector<double> out;
        for (std::size_t i = 0; i < rs->fetchedCount(); ++i)
            out.push_back(rs->value(i, 0).toDouble());
        return out;
    }

    std::unique_ptr<ScratchDatabase> m_db;
    std::shared_ptr<db::Connection> m_connection;
    QString m_table;
    std::unique_ptr<SumTabulon> tab;
};

} // namespace

TEST_P(SummaryExactGroups, ANullAndAnEmptyTextKeepTheirOwnSubtotals)
{
    const std::pair<const char *, const char *> functions[] = {
        {"<Count>", "COUNT(*)"}, {"Sum of --->>>", "SUM(v)"}, {"Avg. of --->>>", "AVG(v)"}, {"Max. of --->>>", "MAX(v)"}};
    for (const auto &[entry, agg] : functions) {
        SCOPED_TRACE(entry);
        tab->pick(3, QLatin1String(entry));
        if (QLatin1String(agg) != u"COUNT(*)")
            tab->pick(4, QStringLiteral("V"));
        ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
        const auto groups = column(QStringLiteral("SELECT %1 FROM %2 GROUP BY k ORDER BY k").arg(QLatin1String(agg), m_table));
        const auto pairs =
            column(QStringLiteral("SELECT %1 FROM %2 GROUP BY k, sub ORDER BY k, sub").arg(QLatin1String(agg), m_table));
        const auto all = column(QStringLiteral("SELECT %1 FROM %2").arg(QLatin1String(agg), m_table));

        grid::Grid &g = *tab->grdSummary;
        std::vector<double> dataShown, subtotalsShown;
        for (int r = 1; r < g.Rows() - 1; ++r) {
            EXPECT_EQ(g.TextMatrix(r, 0), QString()) << "row " << r << " shows its key as it is";
            if (g.IsSubtotal(r)) {
                subtotalsShown.push_back(g.ValueMatrix(r, 2));
            } else {
                dataShown.push_back(g.ValueMatrix(r, 2));
                EXPECT_TRUE(g.TextMatrix(r, 1) == u"a" || g.TextMatrix(r, 1) == u"b") << g.TextMatrix(r, 1);
            }
        }
        ASSERT_EQ(subtotalsShown.size(), groups.size()) << "one subtotal for the Null key and one for the empty text";
        ASSERT_EQ(dataShown.size(), pairs.size());
        for (std::size_t i = 0; i < groups.size(); ++i)
            EXPECT_NEAR(subtotalsShown[i], groups[i], 1e-9) << "subtotal " << i;
        for (std::size_t i = 0; i < pairs.size(); ++i)
            EXPECT_NEAR(dataShown[i], pairs[i], 1e-9) << "group " << i;
        EXPECT_EQ(g.TextMatrix(g.Rows() - 1, 0), QStringLiteral("TOTAL"));
        EXPECT_NEAR(g.ValueMatrix(g.Rows() - 1, 2), all.front(), 1e-9);
    }
    EXPECT_TRUE(events.empty());
}

TEST_P(SummaryExactGroups, NumbersEqualAtAnotherScaleShareTheirSubtotal)
{
    // 1.5 and 1.50 are one value to the database (PostgreSQL keeps each one's scale in its
    // text): the rows under them close with one subtotal, as GROUP BY "K" has one group.
    tab->UnloadFlter();
    tab = std::make_unique<SumTabulon>();
    watch(*tab);
    tab->adoConnection(m_connection);
    tab->Delimiter(QStringLiteral("\""));
    tab->SQL(QStringLiteral("SELECT 1.5 AS \"K\", 'a' AS \"Sub\", 1 AS \"Q\" UNION ALL SELECT 1.50, 'b', 2"
                            " UNION ALL SELECT 2, 'a', 4 UNION ALL SELECT 2.0, 'b', 8"));
    tab->resize(1000, 600);
    tab->show();
    ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewSummary));
    tab->pick(0, QStringLiteral("K"));
    tab->pick(1, QStringLiteral("Sub"));
    tab->pick(3, QStringLiteral("Sum of --->>>"));
    tab->pick(4, QStringLiteral("Q"));
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? QString() : events.back().description);
    grid::Grid &g = *tab->grdSummary;
    std::vector<double> subtotals;
    int data = 0;
    for (int r = 1; r < g.Rows() - 1; ++r) {
        if (g.IsSubtotal(r))
            subtotals.push_back(g.ValueMatrix(r, 2));
        else
            ++data;
    }
    EXPECT_EQ(data, 4);
    EXPECT_EQ(subtotals, (std::vector<double>{3, 12}));
    EXPECT_DOUBLE_EQ(g.ValueMatrix(g.Rows() - 1, 2), 15);
    EXPECT_TRUE(events.empty());
}

// (Not the SQLite ODBC driver: it types a computed column as text, which offers no sum.)
INSTANTIATE_TEST_SUITE_P(Databases, SummaryExactGroups, ::testing::Values("SQLite", "PostgreSQL", "ODBC PostgreSQL"));
