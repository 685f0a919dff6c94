// Stored routines through the results pipeline: the parameters dialog and the runs on PostgreSQL.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "dialogs/frmParameters.h"
#include "dialogs/frmSQLError.h"

#include "chart/ChartView.h"
#include "db/Command.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace tabtest;

namespace {

db::Parameter param(const char *name, int type, int direction = db::adParamInput, QVariant value = {})
{
    db::Parameter p;
    p.Name = QLatin1String(name);
    p.Type = type;
    p.Direction = direction;
    p.Value = std::move(value);
    return p;
}

class ParametersDialog : public ControlTest {};

} // namespace

TEST_F(ParametersDialog, StartsCancelledAndWritesTypedValues)
{
    db::Command cmd;
    cmd.Parameters = {param("ret", db::adInteger, db::adParamReturnValue, 99),
                      param("n", db::adInteger, db::adParamInput, 7),
                      param("amount", db::adNumeric),
                      param("name", db::adVarWChar, db::adParamInput, QStringLiteral("old")),
                      param("day", db::adDBDate),
                      param("flag", db::adBoolean),
                      param("total", db::adNumeric, db::adParamOutput, QStringLiteral("5.5"))};
    frmParameters dlg;
    EXPECT_TRUE(dlg.Cancelled()) << "a dialog that never got going runs nothing";
    dlg.setSPs(QStringLiteral("p"));
    dlg.setAdoCommand(&cmd);
    dlg.Load();
    grid::Grid &g = *dlg.grdParameters;
    ASSERT_EQ(g.Rows(), 8);
    EXPECT_TRUE(g.RowHidden(1));
    EXPECT_TRUE(g.RowHidden(7));
    EXPECT_FALSE(g.RowHidden(2));
    EXPECT_EQ(g.TextMatrix(2, 2), QStringLiteral("7"));
    EXPECT_EQ(g.TextMatrix(3, 2), QString()) << "a Null shows empty";
    EXPECT_EQ(g.TextMatrix(5, 1), QStringLiteral("Date"));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Parameters for p"));

    g.setTextMatrix(2, 2, QStringLiteral("-12"));
    g.setTextMatrix(3, 2, QString());
    g.setTextMatrix(4, 2, QStringLiteral("O'Brien"));
    g.setTextMatrix(5, 2, QStringLiteral("2024-02-29"));
    g.setTextMatrix(6, 2, QStringLiteral("true"));
    g.setTextMatrix(7, 2, QStringLiteral("1"));
    ASSERT_TRUE(dlg.Save_Changes());
    EXPECT_FALSE(dlg.Cancelled());
    EXPECT_EQ(cmd.Parameters[0].Value, QVariant(99)) << "the return value is not an input";
    EXPECT_EQ(cmd.Parameters[1].Value.toLongLong(), -12);
    EXPECT_FALSE(cmd.Parameters[2].Value.isValid()) << "an empty number is Null, not 0";
    EXPECT_EQ(cmd.Parameters[3].Value.toString(), QStringLiteral("O'Brien"));
    EXPECT_EQ(cmd.Parameters[4].Value.typeId(), QMetaType::QDate);
    EXPECT_EQ(cmd.Parameters[4].Value.toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(cmd.Parameters[5].Value, QVariant(true)) << "the word in any case";
    EXPECT_EQ(cmd.Parameters[6].Value.toString(), QStringLiteral("5.5")) << "outputs are not written back";
}

TEST_F(ParametersDialog, ANonNumberIsRefusedAndChangesNothing)
{
    db::Command cmd;
    cmd.Parameters = {param("a", db::adInteger, db::adParamInput, 1), param("b", db::adDouble, db::adParamInput, 2.5)};
    frmParameters dlg;
    dlg.setAdoCommand(&cmd);
    dlg.Load();
    dlg.grdParameters->setTextMatrix(1, 2, QStringLiteral("3"));
    dlg.grdParameters->setTextMatrix(2, 2, QStringLiteral("1e5x"));
    ui::Prompter::clearAsked();
    EXPECT_FALSE(dlg.Save_Changes());
    EXPECT_TRUE(dlg.Cancelled());
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("not a number")));
    EXPECT_EQ(cmd.Parameters[0].Value, QVariant(1));
    EXPECT_EQ(cmd.Parameters[1].Value, QVariant(2.5));

    // Typing into a number row: a minus sign passes, a decimal point only where the scale allows.
    auto key = [&](int row, char c) {
        int k = c;
        emit dlg.grdParameters->KeyPressEdit(row, 2, k);
        return k;
    };
    EXPECT_EQ(key(1, '-'), '-');
    EXPECT_EQ(key(1, '5'), '5');
    EXPECT_EQ(key(1, 'x'), 0);
    EXPECT_EQ(key(1, '.'), 0) << "an integer has no decimals";

    // Clear empties the visible and the hidden rows alike.
    dlg.cmdClear->click();
    EXPECT_EQ(dlg.grdParameters->TextMatrix(1, 2), QString());
    EXPECT_EQ(dlg.grdParameters->TextMatrix(2, 2), QString());
}

namespace {

class QueryTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    grid::Grid *const grdSummary = tabtest::part<grid::Grid>(*this, "grdSummary");
    grid::Grid *const grdXTab = tabtest::part<grid::Grid>(*this, "grdXTab");
    chart::ChartView *const chChart = tabtest::part<chart::ChartView>(*this, "chChart");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");
    const std::array<QComboBox *, 6> cboSumCol = tabtest::parts<QComboBox, 6>(*this, "cboSumCol");
    const std::array<QComboBox *, 6> cboXTabCol = tabtest::parts<QComboBox, 6>(*this, "cboXTabCol");
    const std::array<QComboBox *, 6> cboChartCol = tabtest::parts<QComboBox, 6>(*this, "cboChartCol");
    QPlainTextEdit *const txtSummarySQL = tabtest::part<QPlainTextEdit>(*this, "txtSummarySQL");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

// A schema of this process's own, so that parallel test processes never meet.
class PostgresRoutines : public ControlTest {
protected:
    void SetUp() override
    {
        TABULON_REQUIRE_POSTGRES();
        m_own = std::make_unique<AdminSchema>("t_i6");
        m_cs = testsupport::postgresConnectionString();
        m_schema = m_own->name;
        m_admin = m_own->admin;
        const QString s = m_schema;
        m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.echo(p_text text, p_day date, p_n integer) "
                                        "RETURNS TABLE(t text, d date, n integer) LANGUAGE sql AS "
                                        "$$ SELECT p_text, p_day, p_n UNION ALL SELECT 'x', NULL, p_n + 1 $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.order_total(p_id integer, OUT total numeric) "
                                        "LANGUAGE sql AS $$ SELECT p_id * 1.5 $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.flag_echo(p_flag boolean) RETURNS TABLE(f boolean) "
                                        "LANGUAGE sql AS $$ SELECT p_flag $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.top_n(p_limit integer DEFAULT 3) RETURNS SETOF integer "
                                        "LANGUAGE sql AS $$ SELECT generate_series(1, p_limit) $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.touch(INOUT p_n integer) LANGUAGE sql AS $$ SELECT p_n + 1 $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE PROCEDURE %1.bump(INOUT p_n integer, p_by integer) LANGUAGE plpgsql AS "
                                        "$$ BEGIN p_n := p_n * p_by; END $$")
                             .arg(s));
        // Rows that depend on every argument; a group of Null regions; decimals a double would
        // not add exactly.
        m_admin->Execute(QStringLiteral("CREATE FUNCTION %1.sales(p_who text, p_flag boolean, p_day date, p_n numeric) "
                                        "RETURNS TABLE(region text, yr integer, amount numeric(12,2), qty integer) "
                                        "LANGUAGE sql AS $$ SELECT * FROM (VALUES (p_who, 2023, 0.10::numeric(12,2), 1), "
                                        "(p_who, 2024, 0.20, 2), (p_who, 2024, 0.20, NULL), ('North', 2023, 1200.25, 3), "
                                        "('North', 2023, 3.33, NULL), (NULL, 2024, 5.55, 4), (NULL, 2024, NULL, 5), "
                                        "(NULL, 2023, 0.01, 6), ('South', extract(year from p_day)::int, p_n, 7)) "
                                        "v(region, yr, amount, qty) WHERE p_flag OR v.region IS DISTINCT FROM 'South' $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE PROCEDURE %1.tally(p_who text, p_flag boolean, p_day date, p_n numeric, "
                                        "INOUT who text DEFAULT NULL, INOUT total numeric DEFAULT NULL) LANGUAGE plpgsql AS "
                                        "$$ BEGIN who := p_who; total := CASE WHEN p_flag THEN p_n * "
                                        "extract(day from p_day) ELSE 0 END; END $$")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE TABLE %1.people (id integer PRIMARY KEY, \"Full Name\" text, born date)")
                             .arg(s));
        m_admin->Execute(QStringLiteral("INSERT INTO %1.people VALUES (1, 'O''Brien', '1970-01-02'), (2, 'Smith', NULL), "
                                        "(3, 'Smythe', '1999-12-31')")
                             .arg(s));
        m_admin->Execute(QStringLiteral("CREATE VIEW %1.born_people AS SELECT * FROM %1.people WHERE born IS NOT NULL")
                             .arg(s));
        m_connection = db::Connection::create();
        m_connection->Open(m_cs);
    }
    void TearDown() override { m_own.reset(); }

    // Fills the dialog's visible rows with `values` (in order) and presses OK; nullopt cancels.
    void answer(std::optional<QStringList> values)
    {
        analysis::setModalRunner([this, values](QDialog &d) {
            auto *dlg = qobject_cast<frmParameters *>(&d);
            ASSERT_NE(dlg, nullptr);
            ++m_asked;
            // Where the window behind the dialog has its status bar while the user is asked.
            if (QWidget *host = d.parentWidget()) {
                if (auto *bar = host->findChild<ui::StatusPanels *>(QStringLiteral("staStatus")))
                    m_statusShare = double(bar->y()) / std::max(1, host->height());
            }
            if (!values) {
                dlg->cmdCancel->click();
                return;
            }
            int k = 0;
            for (int r = 1; r < dlg->grdParameters->Rows() && k < values->size(); ++r) {
                if (!dlg->grdParameters->RowHidden(r))
                    dlg->grdParameters->setTextMatrix(r, 2, values->at(k++));
            }
            dlg->cmdOK->click();
        });
    }

    std::unique_ptr<QueryTabulon> start(const QString &routine)
    {
        auto tab = std::make_unique<QueryTabulon>();
        watch(*tab);
        tab->SQL(m_schema + QLatin1Char('.') + routine);
        tab->DataType(hlTabulon::tbDataStoredProc);
        tab->adoConnection(m_connection);
        tab->resize(800, 500);
        tab->show();
        return tab;
    }

    static QString sqlMessage(QueryTabulon &tab)
    {
        auto *w = tabtest::toolWindow<frmSQLError>(tab);
        return w && w->isVisible() ? w->txtError->toPlainText() : QString();
    }

    std::unique_ptr<AdminSchema> m_own;
    QString m_cs;
    QString m_schema;
    std::shared_ptr<db::Connection> m_admin;
    std::shared_ptr<db::Connection> m_connection;
    int m_asked = 0;
    double m_statusShare = -1;
};

} // namespace

TEST_F(PostgresRoutines, ARoutineAsksRunsWithBoundValuesAndShowsItsCall)
{
    answer(QStringList{QStringLiteral("it's ? here"), QStringLiteral("2024-02-29"), QStringLiteral("-4")});
    auto tab = start(QStringLiteral("echo"));
    EXPECT_EQ(m_asked, 1);
    EXPECT_GT(m_statusShare, 0.8) << "the window is laid out before the dialog asks over it";
    EXPECT_TRUE(events.empty()) << events.front().procedure << events.front().description;
    ASSERT_TRUE(tab->Results());
    EXPECT_EQ(tab->grdResults->DataMode(), grid::flexDMFree);
    ASSERT_EQ(tab->ResultsRows(), 2);
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 0), QStringLiteral("it's ? here"));
    EXPECT_EQ(runnerOf(*tab).results()->value(0, 1).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(runnerOf(*tab).results()->value(1, 2).toInt(), -3);
    EXPECT_TRUE(runnerOf(*tab).results()->isNull(1, 1)) << "a Null stays a Null";
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(),
              QStringLiteral("{ call %1.echo('it''s ? here', '2024-02-29', -4) }").arg(m_schema));
    EXPECT_TRUE(tab->stviewResults()) << "a routine's views open once it has run";
    // Its columns are sized to their texts as a table's are: sizing them again changes nothing.
    std::vector<int> widths;
    for (int c = 0; c < tab->grdResults->Cols(); ++c)
        widths.push_back(tab->grdResults->ColWidth(c));
    tab->grdResults->AutoSize(0, tab->grdResults->Cols() - 1);
    for (int c = 0; c < tab->grdResults->Cols(); ++c)
        EXPECT_EQ(tab->grdResults->ColWidth(c), widths[std::size_t(c)]) << "column " << c;
    // The status bar speaks of the routine's rows, not of the empty grid before them.
    EXPECT_EQ(tab->staStatus->Panels(4).Text(), QStringLiteral(" Col 1 of 3"));
    EXPECT_EQ(tab->staStatus->Panels(3).Text(), QStringLiteral("Filter off"));

    // A cancelled dialog leaves the grid as it was.
    answer(std::nullopt);
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(tab->ResultsRows(), 2);
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_FALSE(tab->isBusy());

    // A Boolean takes the spellings the dialog offers and nothing else: other text is refused
    // with a message before the routine runs; an empty one is Null.
    ui::Prompter::clearAsked();
    answer(QStringList{QStringLiteral("1 OR 1=1")});
    auto flag = start(QStringLiteral("flag_echo"));
    EXPECT_FALSE(flag->Results());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_TRUE(ui::Prompter::asked()[0].text.contains(QStringLiteral("p_flag"))) << ui::Prompter::asked()[0].text.toStdString();
    const std::pair<const char *, QVariant> spellings[] = {{"yes", true}, {" 0 ", false}, {"FALSE", false}, {"", QVariant()}};
    for (const auto &[text, value] : spellings) {
        answer(QStringList{QLatin1String(text)});
        ASSERT_TRUE(flag->Refresh_Results(false, false, false)) << text;
        ASSERT_EQ(flag->ResultsRows(), 1) << text;
        EXPECT_EQ(runnerOf(*flag).results()->isNull(0, 0), value.isNull()) << text;
        if (!value.isNull()) {
            EXPECT_EQ(runnerOf(*flag).results()->value(0, 0).toBool(), value.toBool()) << text;
        }
    }
    EXPECT_EQ(ui::Prompter::asked().size(), 1u);
    flag->UnloadFlter();

    // Through the PostgreSQL ODBC driver the call shows the value as PostgreSQL reads it.
    m_connection = db::Connection::create();
    m_connection->Open(testsupport::postgresOdbcConnectionString());
    answer(QStringList{QStringLiteral("yes")});
    auto odbc = start(QStringLiteral("flag_echo"));
    ASSERT_TRUE(odbc->Results()) << (events.empty() ? sqlMessage(*odbc) : events.front().description);
    EXPECT_EQ(odbc->txtResultsSQL->toPlainText(), QStringLiteral("{ call %1.flag_echo(TRUE) }").arg(m_schema));
    odbc->UnloadFlter();
    tab->UnloadFlter();
}

TEST_F(PostgresRoutines, OutputAndDefaultedParameters)
{
    answer(QStringList{QStringLiteral("4")});
    auto tab = start(QStringLiteral("order_total"));
    ASSERT_TRUE(tab->Results()) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    ASSERT_EQ(tab->ResultsRows(), 1);
    EXPECT_EQ(runnerOf(*tab).results()->value(0, 0).toDouble(), 6.0);

    // An empty number sends Null, so the default is not used and no row comes back; with a value
    // the routine takes it.
    answer(QStringList{QString()});
    auto top = start(QStringLiteral("top_n"));
    EXPECT_TRUE(events.empty()) << events.front().description;
    answer(QStringList{QStringLiteral("5")});
    ASSERT_TRUE(top->Refresh_Results(false, false, false));
    EXPECT_EQ(top->ResultsRows(), 5);
    top->UnloadFlter();
    tab->UnloadFlter();
}

TEST_F(PostgresRoutines, InputOutputParametersAreAskedForAndSent)
{
    // The routine reads p_n before it writes it: the dialog asks for it and the run sends it.
    answer(QStringList{QStringLiteral("5")});
    auto tab = start(QStringLiteral("touch"));
    EXPECT_EQ(m_asked, 1);
    ASSERT_TRUE(tab->Results()) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    ASSERT_EQ(tab->ResultsRows(), 1);
    EXPECT_EQ(runnerOf(*tab).results()->value(0, 0).toInt(), 6);
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("{ call %1.touch(5) }").arg(m_schema))
        << "the value entered is kept for the next run";

    answer(QStringList{QStringLiteral("7"), QStringLiteral("3")});
    auto proc = start(QStringLiteral("bump"));
    EXPECT_EQ(m_asked, 2);
    ASSERT_TRUE(proc->Results()) << (events.empty() ? sqlMessage(*proc) : events.front().description);
    EXPECT_EQ(runnerOf(*proc).results()->value(0, 0).toInt(), 21);
    proc->UnloadFlter();
    tab->UnloadFlter();
}

TEST_F(PostgresRoutines, TablesAndViewsRunWithFilterAndOrder)
{
    auto tab = std::make_unique<QueryTabulon>();
    watch(*tab);
    tab->SQL(QStringLiteral("SELECT id, \"Full Name\", born FROM %1.people").arg(m_schema));
    tab->adoConnection(m_connection);
    tab->resize(800, 500);
    tab->show();
    runnerOf(*tab).setFilter(QStringLiteral("\"Full Name\"  LIKE 'Sm%'"));
    tab->setSortCols(QVariant::fromValue(QList<QStringList>{{QStringLiteral("id"), QStringLiteral("1")}}));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false)) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    ASSERT_EQ(tab->ResultsRows(), 2);
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 1), QStringLiteral("Smythe"));
    EXPECT_TRUE(runnerOf(*tab).results()->isNull(1, 2));

    // A view, and a statement the server rejects with its own message.
    runnerOf(*tab).setFilter({});
    tab->SQL(QStringLiteral("SELECT * FROM %1.born_people").arg(m_schema));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_EQ(tab->ResultsRows(), 2);
    tab->SQL(QStringLiteral("SELECT nope FROM %1.people").arg(m_schema));
    EXPECT_FALSE(tab->Refresh_Results(false, false, false));
    EXPECT_TRUE(sqlMessage(*tab).contains(QStringLiteral("nope"))) << sqlMessage(*tab);
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

namespace {

// The rows of a grouped statement on the server: the groups' texts joined by '|' (a Null as
// empty) to the aggregate.
QHash<QString, double> figures(db::Connection &c, const QString &sql)
{
    QHash<QString, double> out;
    auto rs = c.Execute(sql);
    for (std::size_t i = 0; i < rs->fetchedCount(); ++i) {
        QStringList key;
        for (int col = 0; col + 1 < rs->FieldCount(); ++col)
            key << rs->displayText(i, col);
        out.insert(key.join(u'|'), rs->isNull(i, rs->FieldCount() - 1) ? std::nan("") : rs->value(i, rs->FieldCount() - 1).toDouble());
    }
    return out;
}

} // namespace

TEST_F(PostgresRoutines, ARoutineIsSummarisedCrossTabbedAndChartedOverItsBoundRows)
{
    const QStringList values{QStringLiteral("it's"), QStringLiteral("true"), QStringLiteral("2024-02-29"),
                             QStringLiteral("2.5")};
    answer(values);
    auto tab = start(QStringLiteral("sales"));
    ASSERT_TRUE(tab->Results()) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    for (const char *key : {"Summary", "XTab", "Chart"})
        EXPECT_TRUE(tab->tlbMain->Buttons(QLatin1String(key)).Enabled()) << key << ": a routine's views open once it has run";
    const QString rows = QStringLiteral("FROM %1.sales('it''s', true, '2024-02-29', 2.5)").arg(m_schema);

    // Summary over two levels, then a count whose Null group counts its rows.
    tab->setStCurrentView(hlTabulon::tbViewSummary);
    ASSERT_EQ(tab->CurrentView(), hlTabulon::tbViewSummary);
    EXPECT_TRUE(tab->tlbMain->Buttons(QStringLiteral("XTab")).Enabled()) << "the other views stay open";
    pickText(tab->cboSumCol[0], QStringLiteral("region"));
    pickText(tab->cboSumCol[1], QStringLiteral("yr"));
    pickText(tab->cboSumCol[3], QStringLiteral("Sum of --->>>"));
    pickText(tab->cboSumCol[4], QStringLiteral("amount"));
    const int asked = m_asked;
    answer(values);
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    EXPECT_EQ(m_asked, asked + 1) << "the parameters are asked once a refresh";
    EXPECT_TRUE(tab->txtSummarySQL->toPlainText().startsWith(
        QStringLiteral("SHAPE {EXEC %1.sales 'it''s',1,2024-02-29,2.5} AS rs COMPUTE rs,").arg(m_schema)))
        << tab->txtSummarySQL->toPlainText().toStdString();
    auto checkSummary = [&](const QString &aggregate, int levels, const QString &where = {}) {
        const QString groups = levels == 2 ? QStringLiteral("region, yr") : QStringLiteral("region");
        const QHash<QString, double> expected =
            figures(*m_admin, QStringLiteral("SELECT %1, %2 %3 %4 GROUP BY %1").arg(groups, aggregate, rows, where));
        grid::Grid &g = *tab->grdSummary;
        int data = 0;
        for (int r = 1; r < g.Rows(); ++r) {
            if (g.IsSubtotal(r))
                continue;
            ++data;
            QStringList key;
            for (int c = 0; c < levels; ++c)
                key << g.TextMatrix(r, c);
            ASSERT_TRUE(expected.contains(key.join(u'|'))) << key.join(u'|').toStdString();
            const double want = expected.value(key.join(u'|'));
            if (std::isnan(want)) {
                EXPECT_TRUE(g.TextMatrix(r, levels).isEmpty());
            } else {
                EXPECT_NEAR(g.ValueMatrix(r, levels), want, 1e-9) << aggregate << " " << key.join(u'|');
            }
        }
        EXPECT_EQ(data, expected.size()) << aggregate;
        const QHash<QString, double> total =
            figures(*m_admin, QStringLiteral("SELECT %1 %2 %3").arg(aggregate, rows, where));
        EXPECT_NEAR(g.ValueMatrix(g.Rows() - 1, levels), total.value(QString()), 1e-9) << aggregate << " TOTAL";
    };
    checkSummary(QStringLiteral("SUM(amount)"), 2);
    pickText(tab->cboSumCol[3], QStringLiteral("Avg. of --->>>"));
    pickText(tab->cboSumCol[4], QStringLiteral("amount"));
    answer(values);
    ASSERT_TRUE(tab->Refresh());
    checkSummary(QStringLiteral("AVG(amount)"), 2);
    pickText(tab->cboSumCol[1], QStringLiteral("<none>"));
    pickText(tab->cboSumCol[3], QStringLiteral("<Count>"));
    answer(values);
    ASSERT_TRUE(tab->Refresh());
    checkSummary(QStringLiteral("COUNT(*)"), 1);
    // The results' filter narrows the rows summarised, as it narrows a table's.
    runnerOf(*tab).setFilter(QStringLiteral("yr = 2024"));
    answer(values);
    ASSERT_TRUE(tab->Refresh());
    checkSummary(QStringLiteral("COUNT(*)"), 1, QStringLiteral("WHERE yr = 2024"));
    runnerOf(*tab).setFilter({});

    // Cancelling the parameters shows nothing and says nothing.
    answer(std::nullopt);
    EXPECT_FALSE(tab->Refresh());
    EXPECT_TRUE(events.empty()) << events.front().description;
    EXPECT_TRUE(sqlMessage(*tab).isEmpty());

    // Cross-tab: region down, year across, the maximum in each cell.
    tab->setStCurrentView(hlTabulon::tbViewXTab);
    ASSERT_EQ(tab->CurrentView(), hlTabulon::tbViewXTab);
    pickText(tab->cboXTabCol[0], QStringLiteral("region"));
    pickText(tab->cboXTabCol[1], QStringLiteral("yr"));
    pickText(tab->cboXTabCol[3], QStringLiteral("Max. of --->>>"));
    pickText(tab->cboXTabCol[4], QStringLiteral("amount"));
    answer(values);
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    {
        const QHash<QString, double> expected =
            figures(*m_admin, QStringLiteral("SELECT region, yr, MAX(amount) %1 GROUP BY 1, 2").arg(rows));
        grid::Grid &g = *tab->grdXTab;
        int cells = 0;
        for (int r = 2; r + 1 < g.Rows(); ++r) {
            for (int c = 1; c + 1 < g.Cols(); ++c) {
                const QString region = g.TextMatrix(r, 0) == QLatin1String("(Null)") ? QString() : g.TextMatrix(r, 0);
                const QString key = region + u'|' + g.TextMatrix(1, c);
                if (!expected.contains(key))
                    continue;
                ++cells;
                const double want = expected.value(key);
                if (!std::isnan(want)) {
                    EXPECT_NEAR(g.ValueMatrix(r, c), want, 1e-9) << key.toStdString();
                }
            }
        }
        EXPECT_EQ(cells, expected.size());
    }

    // Chart: the count by region, one point a group.
    tab->setStCurrentView(hlTabulon::tbViewChart);
    ASSERT_EQ(tab->CurrentView(), hlTabulon::tbViewChart);
    pickText(tab->cboChartCol[0], QStringLiteral("region"));
    pickText(tab->cboChartCol[3], QStringLiteral("Sum of --->>>"));
    pickText(tab->cboChartCol[4], QStringLiteral("qty"));
    answer(values);
    ASSERT_TRUE(tab->Refresh()) << (events.empty() ? sqlMessage(*tab) : events.front().description);
    {
        const QHash<QString, double> expected =
            figures(*m_admin, QStringLiteral("SELECT region, SUM(qty) %1 GROUP BY 1").arg(rows));
        chart::ChartData &d = tab->chChart->data();
        ASSERT_EQ(d.ColumnCount(), expected.size());
        for (int c = 1; c <= d.ColumnCount(); ++c) {
            const QString key = d.columnLabel(c).trimmed();
            ASSERT_TRUE(expected.contains(key)) << key.toStdString();
            EXPECT_NEAR(d.value(1, c).value_or(-1), expected.value(key), 1e-9) << key.toStdString();
        }
    }
    EXPECT_TRUE(events.empty()) << events.front().description;
    tab->UnloadFlter();

    // A procedure answers with its output values: one row to summarise.
    answer(QStringList{values[0], values[1], values[2], values[3], QString(), QString()});
    auto proc = start(QStringLiteral("tally"));
    ASSERT_TRUE(proc->Results()) << (events.empty() ? sqlMessage(*proc) : events.front().description);
    proc->setStCurrentView(hlTabulon::tbViewSummary);
    ASSERT_EQ(proc->CurrentView(), hlTabulon::tbViewSummary);
    pickText(proc->cboSumCol[0], QStringLiteral("who"));
    pickText(proc->cboSumCol[3], QStringLiteral("Sum of --->>>"));
    pickText(proc->cboSumCol[4], QStringLiteral("total"));
    answer(QStringList{values[0], values[1], values[2], values[3], QString(), QString()});
    ASSERT_TRUE(proc->Refresh()) << (events.empty() ? sqlMessage(*proc) : events.front().description);
    ASSERT_GE(proc->grdSummary->Rows(), 3);
    EXPECT_EQ(proc->grdSummary->TextMatrix(1, 0), QStringLiteral("it's"));
    const QHash<QString, double> total =
        figures(*m_admin, QStringLiteral("SELECT 2.5 * extract(day from date '2024-02-29')"));
    EXPECT_NEAR(proc->grdSummary->ValueMatrix(1, 1), total.value(QString()), 1e-9);
    proc->UnloadFlter();
}
