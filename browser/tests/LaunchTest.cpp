#include "BrowserTestSupport.h"

#include "TestSupport.h"

#include <QAction>

#include "db/Recordset.h"
#include "frmNewDataSource.h"

#include <QLineEdit>
#include <QPushButton>

using namespace browser;
using browsertest::StartedBrowserTest;

namespace {

class LaunchTest : public StartedBrowserTest {
protected:
    // Answers the next row-limit prompt; returns Run(2)'s result.
    bool runTop(hlSourceBrowser &b, std::optional<QString> answer)
    {
        ui::Prompter::clearAsked();
        ui::Prompter::queueInput(std::move(answer));
        return b.Run(2);
    }
};

TEST_F(LaunchTest, ADoubleClickedTableRunsAtOnce)
{
    writeSampleSources();
    auto b = started();
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    const int details = itemNamed(*b, QStringLiteral("Order Details"));
    ASSERT_GE(details, 0);
    b->lvwData->setSelectedItem(details);
    b->lvwData_ItemClick(details);
    b->lvwData_DblClick();
    ASSERT_EQ(launches.size(), 1u) << eventText().toStdString();
    const browsertest::Launch &l = launches[0];
    EXPECT_EQ(l.connection, b->connection(1));
    EXPECT_EQ(l.sql, QStringLiteral("SELECT * \r\nFROM \"Order Details\""));
    EXPECT_EQ(l.queryName, QStringLiteral("Sample : Tables : Order Details"));
    EXPECT_EQ(l.dataType, hlSourceBrowser::tbDataTable);
    EXPECT_EQ(l.maxRecords, 0);
    EXPECT_TRUE(l.autoRun);
    EXPECT_FALSE(l.showSql);
    EXPECT_EQ(l.delimiter, QStringLiteral("\""));
    EXPECT_TRUE(l.options);

    // Enter does the same; a launch straight after a listing takes the first object.
    browserSettings().Options = false;
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    b->lvwData_KeyUp(13);
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[1].sql, QStringLiteral("SELECT * \r\nFROM \"Categories\""));
    EXPECT_FALSE(launches[1].options);
}

TEST_F(LaunchTest, AViewOpensItsSqlFromTheMenuWhichFollowsThePermissions)
{
    writeSampleSources();
    auto b = started();
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Views")));
    const int view = itemNamed(*b, QStringLiteral("Product List"));
    ASSERT_GE(view, 0);
    b->lvwData->setSelectedItem(view);
    ASSERT_TRUE(b->lvwData_MouseUp(Qt::RightButton));
    EXPECT_TRUE(b->mnuTables[0]->isVisible());
    b->mnuTables[0]->trigger();
    ASSERT_EQ(launches.size(), 1u) << eventText().toStdString();
    EXPECT_EQ(launches[0].sql, QStringLiteral("SELECT * \r\nFROM \"Product List\""));
    EXPECT_EQ(launches[0].dataType, hlSourceBrowser::tbDataView);
    EXPECT_FALSE(launches[0].autoRun);
    EXPECT_TRUE(launches[0].showSql);

    browserSettings().OpenSQL = false;
    ASSERT_TRUE(b->lvwData_MouseUp(Qt::RightButton));
    EXPECT_FALSE(b->mnuTables[0]->isVisible());
    EXPECT_FALSE(b->mnuTables[1]->isVisible());
    EXPECT_FALSE(b->lvwData_MouseUp(Qt::LeftButton));
    EXPECT_TRUE(b->mnuTables[0]->isVisible());
}

TEST_F(LaunchTest, TheRowLimitTakesWholeNumbersAndRefusesTheRest)
{
    writeSampleSources();
    ui::ScriptedPrompts prompts;
    auto b = started();
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));

    EXPECT_TRUE(runTop(*b, QStringLiteral("12.6")));
    const ui::PromptRecord *asked = ui::Prompter::lastAsked();
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->text, QStringLiteral("Enter maximum number of rows to return. 0 equals all."));
    EXPECT_EQ(asked->title, QStringLiteral("Return top ..."));
    EXPECT_EQ(asked->defaultValue, QStringLiteral("100"));
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].maxRecords, 13);
    EXPECT_TRUE(launches[0].autoRun);
    EXPECT_FALSE(launches[0].showSql);

    // The last limit is offered next time.
    EXPECT_TRUE(runTop(*b, QStringLiteral(" 2147483647 ")));
    EXPECT_EQ(ui::Prompter::asked().front().defaultValue, QStringLiteral("13"));
    EXPECT_EQ(launches.back().maxRecords, 2147483647);

    // Refused with a message, nothing launched, the limit kept.
    for (const char *bad : {"abc", "12abc", "-5", "2147483648", "1e3", "0x10", "12,5", "2147483647.5"}) {
        EXPECT_FALSE(runTop(*b, QString::fromLatin1(bad))) << bad;
        ASSERT_EQ(ui::Prompter::asked().size(), 2u) << bad;
        EXPECT_EQ(ui::Prompter::asked()[1].kind, ui::PromptRecord::Kind::Message) << bad;
        EXPECT_EQ(ui::Prompter::asked()[1].title, QStringLiteral("Return top ...")) << bad;
    }
    EXPECT_EQ(launches.size(), 2u);
    EXPECT_EQ(b->MaxRecords(), 2147483647);

    // Cancel or an emptied box launches nothing, without a message.
    EXPECT_FALSE(runTop(*b, std::nullopt));
    EXPECT_FALSE(runTop(*b, QString()));
    EXPECT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(launches.size(), 2u);

    EXPECT_TRUE(runTop(*b, QStringLiteral("0")));
    EXPECT_EQ(launches.back().maxRecords, 0);
    EXPECT_TRUE(runTop(*b, QStringLiteral(".4")));
    EXPECT_EQ(launches.back().maxRecords, 0);
    EXPECT_EQ(ui::Prompter::asked().front().defaultValue, QStringLiteral("100")); // after 0 it offers 100

    // Other modes keep what the last launch left; the modes 0 and 1 reset the limit.
    EXPECT_TRUE(runTop(*b, QStringLiteral("250")));
    EXPECT_TRUE(b->Run(3));
    EXPECT_EQ(launches.back().maxRecords, 250);
    EXPECT_TRUE(launches.back().autoRun);
    EXPECT_TRUE(b->Run(1));
    EXPECT_EQ(launches.back().maxRecords, 0);
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

TEST_F(LaunchTest, TheTreeQueryLaunchesTheDataSourceItself)
{
    writeSampleSources("[2]\nName=Never opened\nConnection=Data Source=nowhere.db\n");
    auto b = started();
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    b->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(b.get()));
    clickNode(*b, b->dataSourceNode(1), Qt::RightButton);
    EXPECT_TRUE(b->mnuQuery->isVisible());
    pick(b->mnuData, b->mnuQuery);
    ASSERT_EQ(launches.size(), 1u) << eventText().toStdString();
    EXPECT_EQ(launches[0].sql, QString());
    EXPECT_EQ(launches[0].queryName, QStringLiteral("Sample"));
    EXPECT_EQ(launches[0].dataType, hlSourceBrowser::tbDataTable);
    EXPECT_FALSE(launches[0].autoRun);
    EXPECT_TRUE(launches[0].showSql);
    EXPECT_EQ(launches[0].connection, b->connection(1));

    // A source never connected hands over an unopened connection.
    b->mnuData->hide();
    b->tvwData->setCurrentItem(b->dataSourceNode(2));
    b->tvwData_NodeClick(b->dataSourceNode(2));
    b->tvwData_MouseUp(Qt::RightButton);
    b->mnuQuery_Click();
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[1].queryName, QStringLiteral("Never opened"));
    ASSERT_TRUE(launches[1].connection);
    EXPECT_EQ(launches[1].connection->State(), db::adStateClosed);

    // Run clears the data-source launch: with no object it raises nothing.
    EXPECT_FALSE(b->Run(1));
    EXPECT_FALSE(b->SourceQuery());
    EXPECT_EQ(launches.size(), 2u);
    b->lvwData_DblClick();
    b->lvwData_KeyUp(13);
    EXPECT_EQ(launches.size(), 2u);
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

TEST_F(LaunchTest, NamesAreQuotedWithTheSourcesDelimiterDoubledInside)
{
    const QString file = sqliteFile(QStringLiteral("odd.db"),
                                    "CREATE TABLE \"we\"\"ird\" (a integer); CREATE TABLE \"b]r\" (a integer);");
    writeIni(QStringLiteral("[1]\nName=Odd\nConnection=Data Source=%1\nDelimiter=\"\n"
                            "[2]\nName=Brackets\nConnection=Data Source=%1\nDelimiter=[\n")
                 .arg(file)
                 .toUtf8());
    auto b = started();
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    const int weird = itemNamed(*b, QStringLiteral("we\"ird"));
    ASSERT_GE(weird, 0);
    b->lvwData->setSelectedItem(weird);
    b->lvwData_ItemClick(weird);
    ASSERT_EQ(b->fieldArray().size(), 1u) << eventText().toStdString();
    EXPECT_TRUE(b->Run(1));
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].sql, QStringLiteral("SELECT * \r\nFROM \"we\"\"ird\""));

    ASSERT_TRUE(openFolder(*b, 2, QStringLiteral("Tables")));
    const int bracket = itemNamed(*b, QStringLiteral("b]r"));
    ASSERT_GE(bracket, 0);
    b->lvwData->setSelectedItem(bracket);
    EXPECT_TRUE(b->Run(1));
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[1].sql, QStringLiteral("SELECT * \r\nFROM [b]]r]"));
    EXPECT_EQ(launches[1].delimiter, QStringLiteral("["));
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

TEST_F(LaunchTest, PostgresLaunchesTheClickedOwnersTableAndRoutinesByQualifiedName)
{
    TABULON_REQUIRE_POSTGRES();
    browsertest::PostgresSchemas pg(testsupport::postgresConnInfo());
    ASSERT_TRUE(pg.ok) << pg.error.toStdString();
    const QString cs = browsertest::postgresConnectionString(testsupport::postgresConnInfo());
    writeIni(QStringLiteral("[1]\nName=Server\nConnection=%1\n").arg(cs).toUtf8());
    auto b = started();

    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    const int sales = itemNamed(*b, QStringLiteral("orders"), pg.sales);
    const int archive = itemNamed(*b, QStringLiteral("orders"), pg.archive);
    ASSERT_GE(sales, 0);
    ASSERT_GE(archive, 0);
    b->lvwData->setSelectedItem(sales);
    b->lvwData_ItemClick(sales);
    b->lvwData->setSelectedItem(archive);
    b->lvwData_ItemClick(archive);
    b->lvwData_DblClick();
    ASSERT_EQ(launches.size(), 1u) << eventText().toStdString();
    EXPECT_EQ(launches[0].sql, QStringLiteral("SELECT * \r\nFROM \"%1\".\"orders\"").arg(pg.archive));
    EXPECT_EQ(launches[0].queryName, QStringLiteral("Server : Tables : orders"));

    // The pop-up menu launches the right-clicked object with its owner.
    b->lvwData->setSelectedItem(sales);
    ASSERT_TRUE(b->lvwData_MouseUp(Qt::RightButton));
    EXPECT_EQ(b->ObjectName(), QStringLiteral("\"%1\".\"orders\"").arg(pg.sales));
    b->mnuTables_Click(2);
    ASSERT_EQ(launches.size(), 2u);
    EXPECT_EQ(launches[1].sql, QStringLiteral("SELECT * \r\nFROM \"%1\".\"orders\"").arg(pg.sales));

    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Views")));
    const int recent = itemNamed(*b, QStringLiteral("recent"), pg.archive);
    ASSERT_GE(recent, 0);
    b->lvwData->setSelectedItem(recent);
    EXPECT_TRUE(b->Run(1));
    EXPECT_EQ(launches.back().sql, QStringLiteral("SELECT * \r\nFROM \"%1\".\"recent\"").arg(pg.archive));
    EXPECT_EQ(launches.back().dataType, hlSourceBrowser::tbDataView);

    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Stored Procedures")));
    const int routine = itemNamed(*b, QStringLiteral("top_orders"), pg.archive);
    ASSERT_GE(routine, 0);
    b->lvwData->setSelectedItem(routine);
    ASSERT_TRUE(b->lvwData_MouseUp(Qt::RightButton));
    EXPECT_FALSE(b->mnuTables[0]->isVisible()); // a routine has no SQL to open
    b->mnuTables_Click(2);
    EXPECT_EQ(launches.back().sql, QStringLiteral("\"%1\".\"top_orders\"").arg(pg.archive));
    EXPECT_EQ(launches.back().dataType, hlSourceBrowser::tbDataStoredProc);
    EXPECT_EQ(launches.back().queryName, QStringLiteral("Server : Stored Procedures : top_orders"));
    EXPECT_TRUE(launches.back().autoRun);
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

// A data source added through the dialog quotes as its provider does: its launches run on the
// server instead of failing on a backquote.
TEST_F(LaunchTest, ANewPostgresSourceLaunchesWithItsProvidersDelimiter)
{
    TABULON_REQUIRE_POSTGRES();
    browsertest::PostgresSchemas pg(testsupport::postgresConnInfo());
    ASSERT_TRUE(pg.ok) << pg.error.toStdString();
    writeIni("");
    auto b = started();
    const QString cs = browsertest::postgresConnectionString(testsupport::postgresConnInfo());
    setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<frmNewDataSource &>(d);
        dlg.txtName->setText(QStringLiteral("Server"));
        dlg.txtConnection->setText(cs);
        dlg.cmdOK->click();
    });
    b->mnuNewDataSource->trigger();
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 1);
    EXPECT_EQ(dataSources().rows[1].Delimiter, QStringLiteral("\""));

    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    const int orders = itemNamed(*b, QStringLiteral("orders"), pg.sales);
    ASSERT_GE(orders, 0);
    b->lvwData->setSelectedItem(orders);
    ASSERT_TRUE(b->Run(1));
    ASSERT_EQ(launches.size(), 1u) << eventText().toStdString();
    EXPECT_EQ(launches[0].delimiter, QStringLiteral("\""));
    EXPECT_EQ(launches[0].sql, QStringLiteral("SELECT * \r\nFROM \"%1\".\"orders\"").arg(pg.sales));
    const auto rows = launches[0].connection->Execute(launches[0].sql);
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->FieldCount(), 2);
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

} // namespace
