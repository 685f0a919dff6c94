// The control in a host window on the sample database, as a query window holds it.
#include "TabulonTestSupport.h"

#include "automation/Automation.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace tabtest;

namespace {

class SampleHost : public ControlTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_sample.ok()) << m_sample.error(); }

    // The shell's order: the query's properties by identifier, the connection last, then show.
    template <class Control>
    void configure(Control &tab, const QString &sql, int dataType)
    {
        QString error;
        ASSERT_TRUE(automation::callById(&tab, 0x68030632, {sql}, nullptr, &error)) << error;
        ASSERT_TRUE(automation::callById(&tab, 0x6803062C, {true}, nullptr, &error)) << error;
        ASSERT_TRUE(automation::callById(&tab, 0x68030630, {dataType}, nullptr, &error)) << error;
        ASSERT_TRUE(automation::callById(&tab, 0x6803062A, {1000}, nullptr, &error)) << error;
        ASSERT_TRUE(automation::setPropertyById(&tab, 0x68030629, false, &error)) << error;
        ASSERT_TRUE(automation::callById(&tab, 0x68030631, {QString()}, nullptr, &error)) << error;
        ASSERT_TRUE(automation::setPropertyById(&tab, 0x68030627, true, &error)) << error;
        m_connection = m_sample.connect();
        ASSERT_TRUE(automation::callById(&tab, 0x68030634, {QVariant::fromValue(m_connection)}, nullptr, &error))
            << error;
    }

    SampleDatabase m_sample;
    std::shared_ptr<db::Connection> m_connection;
};

} // namespace

TEST_F(SampleHost, AQueryWindowShowsTheControlAndClosesIt)
{
    QWidget window;
    auto *tab = new hlTabulon(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tab);
    watch(*tab);
    QSignalSpy changed(tab, &hlTabulon::ViewChanged);
    configure(*tab, QStringLiteral("SELECT * FROM \"Customers\""), hlTabulon::tbDataTable);
    window.resize(900, 600);
    window.show();

    EXPECT_TRUE(tab->LoadedOK());
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
    EXPECT_EQ(tab->stCurrentView(), hlTabulon::tbViewResults);
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(tab->findChild<QPlainTextEdit *>(QStringLiteral("txtResultsSQL"))->toPlainText(),
              QStringLiteral("SELECT * FROM \"Customers\""));
    // Nothing ran: the rows wait for the user.
    EXPECT_FALSE(tab->Results());
    EXPECT_EQ(tab->ResultsRows(), 0);
    EXPECT_TRUE(tab->stQueryExecute());
    EXPECT_TRUE(tab->stQueryClear());
    auto *status = tab->findChild<ui::StatusPanels *>(QStringLiteral("staStatus"));
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->Panels(2).Text(), QStringLiteral("Max. 1000 rows"));
    EXPECT_FALSE(status->isHidden());
    // The pane fills the window under the bars.
    auto *pane = tab->findChild<QWidget *>(QStringLiteral("hlSplitResults"));
    ASSERT_NE(pane, nullptr);
    EXPECT_FALSE(pane->isHidden());
    EXPECT_EQ(pane->width(), 900);
    EXPECT_EQ(pane->geometry().bottom() + 1, status->y());

    // Window resized, minimised and restored: laid out again, not started again.
    window.resize(700, 500);
    EXPECT_EQ(pane->width(), 700);
    window.hide();
    window.show();
    EXPECT_TRUE(tab->LoadedOK());

    tab->UnloadFlter();
    tab->UnloadFlter();
    EXPECT_EQ(m_connection.use_count(), 1) << "the host's reference is the only one left";
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
    window.close();
}

TEST_F(SampleHost, AllFourViewsOnTheSampleDatabase)
{
    QWidget window;
    auto *tab = new FrameTabulon(&window);
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tab);
    watch(*tab);
    configure(*tab, QStringLiteral("SELECT * FROM \"Order Details\""), hlTabulon::tbDataView);
    window.resize(900, 600);
    window.show();
    ASSERT_TRUE(tab->LoadedOK());
    EXPECT_EQ(tab->identifierDelimiter(), QStringLiteral("\"")) << "chosen from the SQLite connection";

    const std::pair<hlTabulon::tbView, Splitter *> views[] = {
        {hlTabulon::tbViewChart, tab->hlSplitChart},
        {hlTabulon::tbViewSummary, tab->hlSplitSummary},
        {hlTabulon::tbViewXTab, tab->hlSplitXTab},
        {hlTabulon::tbViewResults, tab->hlSplitResults},
    };
    for (const auto &[view, pane] : views) {
        tab->setStCurrentView(view);
        EXPECT_EQ(tab->stCurrentView(), view);
        EXPECT_FALSE(pane->isHidden()) << view;
        EXPECT_GT(pane->height(), 0) << view;
        EXPECT_EQ(pane->width(), 900) << view;
        EXPECT_EQ(tab->stSelectAll(), view != hlTabulon::tbViewChart);
    }
    EXPECT_TRUE(events.empty());

    tab->UnloadFlter();
    tab->UnloadFlter();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
}
