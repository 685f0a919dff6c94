// The control and a database that fails, is slow or is cancelled: partial results never pass for
// the whole result, failures are reported once, a user's cancel is no failure.
#include "TabulonTestSupport.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "ui/StatusPanels.h"

using namespace tabtest;

namespace {

class WorkTabulon : public hlTabulon {
public:
    using hlTabulon::Check_ESC;
    using hlTabulon::grdResults;
    using hlTabulon::m_blnAllFetched;
    using hlTabulon::m_rsResults;
    using hlTabulon::staStatus;
};

class DatabaseWork : public ControlTest {
protected:
    std::unique_ptr<WorkTabulon> start(const std::shared_ptr<db::Connection> &connection, const QString &sql)
    {
        auto tab = std::make_unique<WorkTabulon>();
        watch(*tab);
        tab->SQL(sql);
        tab->adoConnection(connection);
        tab->resize(800, 500);
        tab->show();
        return tab;
    }

    // A writable SQLite file with the table numbers(id) holding 1 to `rows`.
    std::shared_ptr<db::Connection> numbers(int rows)
    {
        auto c = db::Connection::create();
        c->setReadOnly(false);
        c->Open(QStringLiteral("Provider=SQLite;Data Source=%1")
                    .arg(m_dir.filePath(QStringLiteral("n%1.db").arg(++m_files))));
        c->Execute(QStringLiteral("CREATE TABLE numbers AS WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                                  "FROM s WHERE x < %1) SELECT x AS id FROM s")
                       .arg(rows));
        return c;
    }

    int reportsOf(const QString &procedure) const
    {
        return int(std::count_if(events.begin(), events.end(), [&](const Report &r) { return r.procedure == procedure; }));
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

} // namespace

TEST_F(DatabaseWork, AFetchFailingPartWayIsReportedAndNeverCountsAsAll)
{
    auto tab = start(numbers(5000), QStringLiteral("SELECT id, CASE WHEN id = 3000 THEN abs(-9223372036854775808) "
                                                   "ELSE id END AS v FROM numbers"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    ASSERT_GT(tab->grdResults->Rows(), 1);

    EXPECT_FALSE(tab->Move_Record(false));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Move_Record"));
    EXPECT_TRUE(events[0].description.contains(QStringLiteral("overflow"))) << events[0].description;
    EXPECT_FALSE(tab->m_blnAllFetched);
    EXPECT_LT(tab->ResultsRows(), 3000);
    EXPECT_FALSE(tab->isBusy());

    // The grid heard of it with the control: scrolling does not report it again.
    for (int i = 0; i < 3; ++i) {
        if (tab->grdResults->model()->canFetchMore({}))
            tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    EXPECT_EQ(events.size(), 1u);
    EXPECT_FALSE(tab->grdResults->model()->lastError().isEmpty());

    // Every later operation that needs every row says so rather than working on part of them.
    EXPECT_FALSE(tab->Select_All());
    EXPECT_EQ(reportsOf(QStringLiteral("Select_All")), 1);
    tab->setShowRowCount(true);
    EXPECT_EQ(reportsOf(QStringLiteral("Show_ResultsCount")), 1);
    EXPECT_FALSE(tab->staStatus->Panels(5).Text().contains(QStringLiteral(" of ")));

    // A new run starts afresh.
    tab->SQL(QStringLiteral("SELECT id FROM numbers"));
    tab->setShowRowCount(false);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    events.clear();
    ASSERT_TRUE(tab->Move_Record(false));
    EXPECT_EQ(tab->ResultsRows(), 5000);
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

// Rows the view asked for that never came: the control says why, once, whatever the view asks.
TEST_F(DatabaseWork, AFailureMetWhileScrollingIsReportedOnce)
{
    auto tab = start(numbers(5000), QStringLiteral("SELECT id, CASE WHEN id = 600 THEN abs(-9223372036854775808) "
                                                   "ELSE id END AS v FROM numbers"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    for (int i = 0; i < 20 && tab->grdResults->model()->canFetchMore({}); ++i) {
        tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    pump(2000, [&] { return !events.empty(); });
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("grdResults_FetchError"));
    for (int i = 0; i < 5; ++i) {
        if (tab->grdResults->model()->canFetchMore({}))
            tab->grdResults->model()->fetchMore({});
        pump(20);
    }
    EXPECT_EQ(events.size(), 1u);
    EXPECT_LT(tab->grdResults->Rows(), 601);
    tab->UnloadFlter();
}
