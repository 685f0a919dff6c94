// Column-menu filters: the conditions built from cells and typed values, how they narrow the rows
// when run, and their history.
#include "TabulonTestSupport.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"

using namespace tabtest;

namespace {

class FilterTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");

    // Filter by the cell at (row, col) through the column menu, or by a value typed into its
    // "Filter for:" box; each runs the filtered statement when it was taken.
    bool byCell(int row, int col, bool equal) { return filterByCell(*this, row, col, equal); }
    bool typed(int col, const QString &text) { return filterFor(*this, col, text); }
    bool removeFilter() { return tabtest::removeFilter(*this); }
    int history() { return filterHistory(*this); }
};

// Rows with an apostrophe, a Null, a number and a date, so every kind of condition is met.
const QString kSql = QStringLiteral(
    "SELECT * FROM (SELECT 'O''Brien' AS \"Na me\", 100 AS \"Amount\", NULL AS \"Note\", '2024-02-29' AS \"Day\" "
    "UNION ALL SELECT 'Smith', 7, 'x', '2023-01-01' "
    "UNION ALL SELECT 'Smithers', 7, '', NULL)");

class ResultFilters : public ControlTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok());
        m_connection = m_sample.connect();
        tab = std::make_unique<FilterTabulon>();
        watch(*tab);
        tab->SQL(kSql);
        tab->adoConnection(m_connection);
        tab->Delimiter(QStringLiteral("\""));
        tab->resize(800, 500);
        tab->show();
        ASSERT_TRUE(tab->Refresh_Results(false, false, false));
        ASSERT_EQ(tab->ResultsRows(), 3);
    }
    void TearDown() override { tab->UnloadFlter(); }

    // The names left after running the filter.
    QStringList rowsAfterRun()
    {
        EXPECT_TRUE(tab->Refresh_Results(false, false, false));
        QStringList names;
        for (int r = 1; r < tab->grdResults->Rows(); ++r)
            names << tab->grdResults->TextMatrix(r, 0);
        return names;
    }

    SampleDatabase m_sample;
    std::shared_ptr<db::Connection> m_connection;
    std::unique_ptr<FilterTabulon> tab;
};

} // namespace

TEST_F(ResultFilters, BySelectionQuotesTextAndNames)
{
    ASSERT_TRUE(tab->byCell(1, 0, true));
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Na me\"  = 'O''Brien'"));
    EXPECT_EQ(rowsAfterRun(), QStringList{QStringLiteral("O'Brien")});
}

TEST_F(ResultFilters, ExcludingANumberAndJoiningConditions)
{
    ASSERT_TRUE(tab->byCell(1, 1, false));
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Amount\"  <> 100"));
    ASSERT_TRUE(tab->typed(0, QStringLiteral("*ers")));
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Amount\"  <> 100 AND \"Na me\"  LIKE '%ers%'"));
    EXPECT_EQ(rowsAfterRun(), QStringList{QStringLiteral("Smithers")});
    EXPECT_EQ(tab->history(), 2);
    EXPECT_EQ(tab->tlbResults->Buttons(QStringLiteral("RemoveFilter")).ButtonMenus().Item(1).Text(), runnerOf(*tab).filter());
}

TEST_F(ResultFilters, ExcludingAWildcardGivesNotLike)
{
    // The menu's typed filter keeps what matches; the runner writes the excluding one too.
    const analysis::QueryRunner::ColumnCondition condition =
        runnerOf(*tab).columnCondition(QStringLiteral("Na me"), 0, false, QStringLiteral("Sm*"), std::nullopt, true);
    ASSERT_TRUE(condition.refusal.isEmpty()) << condition.refusal;
    EXPECT_EQ(condition.value, QStringLiteral("Sm%"));
    runnerOf(*tab).addFilter(condition.text, false);
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Na me\"  NOT LIKE 'Sm%'"));
    EXPECT_EQ(rowsAfterRun(), QStringList{QStringLiteral("O'Brien")});
}

TEST_F(ResultFilters, ATypedNonNumberChangesNothing)
{
    ASSERT_TRUE(tab->byCell(1, 0, true));
    const QString before = runnerOf(*tab).filter();
    ui::Prompter::clearAsked();
    EXPECT_FALSE(tab->typed(1, QStringLiteral("1; DROP TABLE x")));
    EXPECT_EQ(runnerOf(*tab).filter(), before);
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("not a number")));
    EXPECT_EQ(tab->history(), 1);
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(tab->typed(1, QStringLiteral("+7")));
    EXPECT_TRUE(runnerOf(*tab).filter().endsWith(QStringLiteral("\"Amount\"  = 7")));
}

TEST_F(ResultFilters, EmptyCellsAreNullOrEmptyByTheData)
{
    // Row 1's Note is Null, row 3's is the empty text: they are different filters.
    ASSERT_TRUE(tab->byCell(1, 2, true));
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Note\"  IS NULL"));
    EXPECT_EQ(rowsAfterRun(), QStringList{QStringLiteral("O'Brien")});

    ASSERT_TRUE(tab->removeFilter());
    ASSERT_EQ(tab->ResultsRows(), 3);
    ASSERT_TRUE(tab->byCell(3, 2, false));
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Note\"  <> ''"));
    EXPECT_EQ(rowsAfterRun(), QStringList{QStringLiteral("Smith")});
}

TEST_F(ResultFilters, RemovingAsksOnlyForALongHistory)
{
    ASSERT_TRUE(tab->typed(1, QStringLiteral("7")));
    ASSERT_TRUE(tab->typed(0, QStringLiteral("Smith")));
    ui::Prompter::clearAsked();
    ASSERT_TRUE(tab->removeFilter());
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_EQ(tab->history(), 0);
    EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());
    EXPECT_EQ(tab->ResultsRows(), 3);
    EXPECT_FALSE(tab->tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());

    for (const char *v : {"7", "Smith", "Smith"})
        ASSERT_TRUE(tab->typed(v[0] == '7' ? 1 : 0, QLatin1String(v)));
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    EXPECT_FALSE(tab->removeFilter());
    EXPECT_EQ(tab->history(), 3);
    EXPECT_FALSE(runnerOf(*tab).filter().isEmpty());
    EXPECT_TRUE(tab->tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    EXPECT_TRUE(tab->removeFilter());
    EXPECT_EQ(tab->history(), 0);
}

TEST_F(ResultFilters, OpenSqlReplacesTheFilter)
{
    tab->OpenSQL(true);
    ASSERT_TRUE(tab->typed(1, QStringLiteral("7")));
    ASSERT_TRUE(tab->typed(0, QStringLiteral("Smith")));
    EXPECT_EQ(runnerOf(*tab).filter(), QStringLiteral("\"Na me\"  = 'Smith'"));
}
