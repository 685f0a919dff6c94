// The query builder in the query window: its window, the docked layout, its settings, and Apply
// re-running the query with the builder's filter.
#include "TabulonTestSupport.h"

#include "dialogs/frmQueryBuilder.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/Twips.h"

#include <hlQueryBuilder/QueryBuilder.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace tabtest;

namespace {

class QBTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    Splitter *const hlSplitResults = tabtest::part<Splitter>(*this, "hlSplitResults");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");

    frmQueryBuilder *window() const { return tabtest::toolWindow<frmQueryBuilder>(*this); }
    QueryBuilder *builder() const { return window()->hlQueryBuilder(); }
    grid::Grid *filterGrid() const { return builder()->grdFilter(); }
};

class QueryBuilderHost : public ControlTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_sample.ok()) << m_sample.error(); }

    std::unique_ptr<QBTabulon> start(const QString &sql)
    {
        auto tab = std::make_unique<QBTabulon>();
        watch(*tab);
        tab->SQL(sql);
        tab->DataType(hlTabulon::tbDataTable);
        tab->adoConnection(m_sample.connect());
        tab->resize(1000, 700);
        tab->show();
        return tab;
    }

    // A condition put into the grid as its editing leaves it.
    static void condition(QBTabulon &tab, int row, const QString &field, const QString &comparison, const QString &value,
                          const QString &op = {}, const QString &is = QStringLiteral("is"))
    {
        grid::Grid *g = tab.filterGrid();
        if (g->Rows() <= row)
            g->setRows(row + 1);
        const db::Recordset &rs = *tab.builder()->rsData();
        const int ordinal = rs.FieldIndex(field);
        ASSERT_GE(ordinal, 0) << field;
        const QStringList cells = {{}, rs.Field(ordinal).Name, QString::number(ordinal), {}, is, comparison, value, {}, op,
                                   QStringLiteral("False")};
        for (int c = 0; c < QueryBuilder::ColumnCount; ++c)
            g->setTextMatrix(row, c, cells[c]);
    }

    SampleDatabase m_sample;
};

} // namespace

TEST_F(QueryBuilderHost, TheButtonShowsAndHidesTheWindowDockedAboveTheResults)
{
    auto tab = start(QStringLiteral("SELECT * FROM \"Customers\""));
    ASSERT_TRUE(tab->LoadedOK());
    EXPECT_FALSE(tab->window() && tab->window()->isVisible()) << "not shown at the start";
    ui::ToolBarButton &button = tab->tlbResults->Buttons(QStringLiteral("QueryBuilder"));
    ASSERT_TRUE(button.Enabled());

    QTest::mouseClick(button.widget(), Qt::LeftButton);
    ASSERT_TRUE(tab->QBVisible());
    frmQueryBuilder *w = tab->window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->parentWidget(), tab.get()) << "a child of the control";
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Query Builder:"));
    EXPECT_EQ(button.Value(), ui::tbrPressed);
    EXPECT_EQ(button.ToolTipText(), QStringLiteral("Hide Query Builder"));
    // Docked at the top (every start docks it there): the results pane starts under it.
    EXPECT_EQ(analysis::options().QueryBuilderAlign, 1);
    EXPECT_EQ(w->y() + w->height(), tab->hlSplitResults->y());
    EXPECT_EQ(w->width(), tab->hlSplitResults->width());
    // The hosted builder and the caption's close box follow the window's width.
    EXPECT_GT(tab->builder()->width(), w->width() - 20);
    EXPECT_GT(w->cmdClose->mapTo(w, QPoint(0, 0)).x(), w->width() - 60);
    // The builder offers the query's fields, with the control's delimiter.
    EXPECT_TRUE(tab->builder()->FieldList().contains(QStringLiteral("|CompanyName|")));
    EXPECT_EQ(tab->builder()->Bracket(), QStringLiteral("\""));
    EXPECT_FALSE(tab->builder()->UseSP());

    QTest::mouseClick(button.widget(), Qt::LeftButton);
    EXPECT_FALSE(tab->QBVisible());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(button.Value(), ui::tbrUnpressed);
    EXPECT_EQ(button.ToolTipText(), QStringLiteral("Show Query Builder"));
    EXPECT_EQ(tab->hlSplitResults->y(), w->y()) << "the pane takes the space back";
    EXPECT_TRUE(events.empty()) << events.front().procedure << events.front().description;
}

// A table opened with a double click runs at once, so no field list was read at the start: the
// builder reads it when it is first shown, or it would offer no column to filter on.
TEST_F(QueryBuilderHost, AQueryThatRanAtOnceOffersItsFieldsToo)
{
    auto tab = std::make_unique<QBTabulon>();
    watch(*tab);
    tab->SQL(QStringLiteral("SELECT * FROM \"Orders\""));
    tab->DataType(hlTabulon::tbDataTable);
    tab->setAutoRun(true);
    tab->adoConnection(m_sample.connect());
    tab->resize(1000, 700);
    tab->show();
    pump(60000, [&] { return tab->grdResults->Rows() > 1; });
    ASSERT_GT(tab->grdResults->Rows(), 1);
    ui::ToolBarButton &button = tab->tlbResults->Buttons(QStringLiteral("QueryBuilder"));
    QTest::mouseClick(button.widget(), Qt::LeftButton);
    ASSERT_TRUE(tab->QBVisible());
    EXPECT_TRUE(tab->builder()->FieldList().contains(QStringLiteral("|ShipCountry|"))) << tab->builder()->FieldList();
    EXPECT_TRUE(events.empty()) << events.front().procedure << events.front().description;
}

TEST_F(QueryBuilderHost, TheCloseBoxOnlyHidesAndTheConditionsStay)
{
    auto tab = start(QStringLiteral("SELECT * FROM \"Customers\""));
    ASSERT_TRUE(tab->Show_QueryBuilder());
    condition(*tab, 1, QStringLiteral("City"), QStringLiteral("equal to"), QStringLiteral("London"));
    frmQueryBuilder *w = tab->window();
    QTest::mouseClick(w->cmdClose, Qt::LeftButton);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(tab->QBVisible());
    EXPECT_EQ(tab->tlbResults->Buttons(QStringLiteral("QueryBuilder")).Value(), ui::tbrUnpressed);
    EXPECT_EQ(tab->tlbResults->Buttons(QStringLiteral("QueryBuilder")).ToolTipText(), QStringLiteral("Show Query Builder"));

    ASSERT_TRUE(tab->Show_QueryBuilder());
    EXPECT_EQ(tab->window(), w) << "the same window";
    EXPECT_EQ(tab->filterGrid()->TextMatrix(1, QueryBuilder::colValue), QStringLiteral("London"));

    // Escape closes as the close box does.
    w->cmdCancel->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(tab->QBVisible());
    ASSERT_TRUE(tab->Show_QueryBuilder());
    EXPECT_EQ(tab->filterGrid()->TextMatrix(1, QueryBuilder::colField), QStringLiteral("City"));
    EXPECT_TRUE(events.empty()) << events.front().procedure << events.front().description;
}

TEST_F(QueryBuilderHost, TheWindowKeepsItsSizeAndPlaceInItsSettingsSection)
{
    const QSize designed = [] {
        frmQueryBuilder fresh;
        return fresh.size();
    }();
    {
        auto tab = start(QStringLiteral("SELECT * FROM \"Customers\""));
        EXPECT_EQ(stored(QStringLiteral("QueryBuilder"), QStringLiteral("Height")), QStringLiteral("<missing>"));
        ASSERT_TRUE(tab->Show_QueryBuilder());
        EXPECT_EQ(tab->window()->height(), designed.height()) << "first use keeps the designed size";
        tab->window()->resize(tab->window()->width(), 190);
        QTest::mouseClick(tab->window()->cmdClose, Qt::LeftButton);
        const double height = stored(QStringLiteral("QueryBuilder"), QStringLiteral("Height")).toDouble();
        EXPECT_NEAR(height, ui::Twips::fromPixelsY(190, tab->window()), 1.0);
        for (const char *key : {"Width", "Top", "Left"}) {
            bool number = false;
            stored(QStringLiteral("QueryBuilder"), QLatin1String(key)).toDouble(&number);
            EXPECT_TRUE(number) << key;
        }
        tab->UnloadFlter();
    }
    // Another query window, as in the next run: the window comes back at its height.
    auto tab = start(QStringLiteral("SELECT * FROM \"Products\""));
    ASSERT_TRUE(tab->Show_QueryBuilder());
    EXPECT_EQ(tab->window()->height(), 190) << "docked at the top with the height the user left";
    EXPECT_EQ(tab->window()->y() + 190, tab->hlSplitResults->y());

    // Nonsense in the store leaves the window as it is.
    store().SaveSetting(analysis::settingsApplication(), QStringLiteral("QueryBuilder"), QStringLiteral("Height"),
                        QStringLiteral("lots"));
    frmQueryBuilder other;
    other.setParentWindow(tab.get());
    EXPECT_EQ(other.height(), designed.height());
}

TEST_F(QueryBuilderHost, ATinyWindowLeavesItsControlAsItWas)
{
    frmQueryBuilder w;
    w.resize(600, 300);
    w.show();
    const QRect before = w.hlQueryBuilder()->geometry();
    ASSERT_GT(before.width(), 0);
    w.resize(ui::Twips::toPixelsX(100, &w), ui::Twips::toPixelsY(300, &w));
    EXPECT_EQ(w.hlQueryBuilder()->geometry(), before);
    w.resize(700, 400);
    EXPECT_GT(w.hlQueryBuilder()->width(), before.width());
}

TEST_F(QueryBuilderHost, OptionsGiveTheBuilderItsCaptions)
{
    auto tab = start(QStringLiteral("SELECT * FROM \"Customers\""));
    ASSERT_TRUE(tab->Show_QueryBuilder());
    EXPECT_FALSE(tab->builder()->MenuText());
    analysis::options().QueryBuilderToolbarText = true;
    ASSERT_TRUE(tab->Set_Options(false, false, false));
    EXPECT_TRUE(tab->builder()->MenuText());
    EXPECT_EQ(tab->builder()->tlbMenu()->Buttons(QStringLiteral("Apply")).Caption(), QStringLiteral("Apply"));
}
