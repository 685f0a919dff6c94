#include "BrowserTestSupport.h"

#include "PaneDivider/Splitter.h"
#include "automation/Automation.h"
#include "SampleTool.h"
#include "SqliteWriter.h"
#include "TestSupport.h"
#include "db/Connection.h"
#include "frmNewDataSource.h"
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"
#include "ui/KeyedToolBar.h"
#include "ui/StatusPanels.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

using namespace browser;

namespace {

// Tree tests share the started browser's fixture: data-source files, start-up and its reports.
class BrowserTreeTest : public browsertest::StartedBrowserTest {
protected:
    QByteArray fileBytes() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

TEST_F(BrowserTreeTest, InitBuildsTheTreeAndAppliesTheLayoutSettings)
{
    writeIni("[1]\nName=One\nConnection=Data Source=1.db\n[2]\nName=Two\n[3]\nName=\n[4]\nName=Four\n");
    store().SaveSetting(QStringLiteral("Tabulon"), QStringLiteral("General"), QStringLiteral("Data View"),
                        QStringLiteral("3"));
    store().SaveSetting(QStringLiteral("Tabulon"), QStringLiteral("Data"), QStringLiteral("Split\\Left"),
                        QStringLiteral("True"));
    auto b = started();
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 2);
    QTreeWidgetItem *one = b->tvwData->topLevelItem(0);
    EXPECT_EQ(one->text(0), QStringLiteral("One"));
    EXPECT_TRUE(one->font(0).bold());
    EXPECT_EQ(hlSourceBrowser::nodeImage(one), 1);
    ASSERT_EQ(one->childCount(), 3);
    EXPECT_EQ(hlSourceBrowser::fullPath(one->child(1)), QStringLiteral("One : Views"));
    EXPECT_EQ(b->tlbData->Buttons(QStringLiteral("Report")).Value(), ui::tbrPressed);
    EXPECT_EQ(b->hlSplitData->Child1(), b->lvwData);
    EXPECT_EQ(b->hlSplitData->Child2(), b->tvwData);
    EXPECT_TRUE(b->Initialised());
    for (int i = 1; i <= b->tlbData->ButtonCount(); ++i)
        EXPECT_TRUE(b->tlbData->Buttons(i).Caption().isEmpty());
    EXPECT_TRUE(events.empty());
}

TEST_F(BrowserTreeTest, WithoutFolderPermissionsSourcesHaveNoChildren)
{
    writeIni("[1]\nName=One\n");
    for (const char *key : {"Open View", "Open sp"})
        store().SaveSetting(QStringLiteral("Tabulon"), QStringLiteral("Admin"), QString::fromLatin1(key),
                            QStringLiteral("False"));
    auto b = started();
    EXPECT_EQ(b->tvwData->topLevelItem(0)->childCount(), 1); // Tables is always allowed at start

    browserSettings().OpenTable = false;
    QSignalSpy refreshed(b.get(), &hlSourceBrowser::Refreshed);
    ASSERT_TRUE(b->Set_Options(false, false, true));
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(b->tvwData->topLevelItem(0)->childCount(), 0);
}

TEST_F(BrowserTreeTest, ExpandOpensTheSampleOnceAndDisconnectCloses)
{
    writeSampleSources();
    auto b = started();
    QTreeWidgetItem *node = b->tvwData->topLevelItem(0);
    ASSERT_NE(node, nullptr);
    node->setExpanded(true);
    EXPECT_TRUE(events.empty()) << events.front().description.toStdString();
    EXPECT_TRUE(node->isExpanded());
    EXPECT_EQ(b->currentRow(), 1);
    const auto cn = b->connection(1);
    ASSERT_TRUE(cn);
    EXPECT_EQ(cn->State(), db::adStateOpen);
    EXPECT_TRUE(cn->readOnly());
    EXPECT_FALSE(cn->Tables().empty());
    EXPECT_EQ(hlSourceBrowser::nodeImage(node), 2);

    node->setExpanded(false);
    node->setExpanded(true);
    EXPECT_EQ(b->connection(1), cn); // not reopened

    b->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(b.get()));
    clickNode(*b, node, Qt::RightButton);
    EXPECT_TRUE(b->mnuDisconnect->isVisible());
    EXPECT_FALSE(b->mnuConnect->isVisible());
    EXPECT_TRUE(b->mnuQuery->isVisible());
    pick(b->mnuData, b->mnuDisconnect);
    EXPECT_EQ(cn->State(), db::adStateClosed);
    EXPECT_EQ(hlSourceBrowser::nodeImage(node), 1);
    clickNode(*b, node, Qt::RightButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->mnuData->isVisible(); }));
    EXPECT_TRUE(b->mnuConnect->isVisible());
    EXPECT_FALSE(b->mnuQuery->isVisible());
    b->mnuData->hide();

    // The menu key (or Shift+F10) opens the same menu for the selected source.
    b->tvwData->setCurrentItem(node);
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), b->tvwData->mapToGlobal(QPoint()));
    QApplication::sendEvent(b->tvwData, &menuKey);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->mnuData->isVisible(); }));
    EXPECT_TRUE(b->mnuConnect->isVisible());
    b->mnuData->hide();
    QTest::keyClick(b->tvwData, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->mnuData->isVisible(); }));
    b->mnuData->hide();

    b->UnloadFlter();
    EXPECT_FALSE(b->connection(1));
}

TEST_F(BrowserTreeTest, ABadSourceReportsOnceWithItsPasswordMaskedAndCollapses)
{
    writeSampleSources("[2]\nName=Broken\nConnection=Provider=PostgreSQL;Data Source=/nonexistent-dir;"
                       "User ID=ann;Password=hunter2\n");
    auto b = started();
    QTreeWidgetItem *broken = b->tvwData->topLevelItem(1);
    ASSERT_EQ(broken->text(0), QStringLiteral("Broken"));
    const QString statusBefore = b->staStatus->Panels(1).Text();
    broken->setExpanded(true);
    EXPECT_EQ(b->staStatus->Panels(1).Text(), statusBefore); // no "Connecting to" left behind
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Connect_DataSource"));
    EXPECT_FALSE(events[0].description.contains(QStringLiteral("hunter2")));
    EXPECT_FALSE(broken->isExpanded());
    EXPECT_EQ(hlSourceBrowser::nodeImage(broken), 1);
}

TEST_F(BrowserTreeTest, SourcesRebuiltWhileOneIsConnectingLeaveNothingBehind)
{
    // A server that takes the connection and never answers keeps the open waiting.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    writeSampleSources(QStringLiteral("[2]\nName=Silent\nConnection=Provider=PostgreSQL;Data Source=127.0.0.1;"
                                      "Port=%1;Initial Catalog=x;User ID=u;Password=p;Connect Timeout=2\n")
                           .arg(ntohs(address.sin_port)).toUtf8());
    auto b = started();
    QTreeWidgetItem *silent = b->tvwData->topLevelItem(1);
    ASSERT_EQ(silent->text(0), QStringLiteral("Silent"));

    // The list is rebuilt (as a save from the options does) while the open waits.
    bool rebuilt = false;
    QTimer::singleShot(0, b.get(), [&] { rebuilt = b->Refresh_Data(); });
    silent->setExpanded(true);
    ::close(listener);
    EXPECT_TRUE(rebuilt);
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 2);
    EXPECT_FALSE(b->tvwData->topLevelItem(1)->isExpanded());
    EXPECT_EQ(hlSourceBrowser::nodeImage(b->tvwData->topLevelItem(1)), 1);
    EXPECT_FALSE(b->connection(2) && b->connection(2)->State() == db::adStateOpen);
}

TEST_F(BrowserTreeTest, ClicksRaiseTheirPathsAndTheMenuFollowsThePermissions)
{
    writeIni("[1]\nName=One\nDescription=first source\n[2]\nName=Two\n");
    auto b = started();
    QSignalSpy selected(b.get(), &hlSourceBrowser::QuerySelected);
    QTreeWidgetItem *two = b->tvwData->topLevelItem(1);
    b->tvwData_NodeClick(two);
    b->tvwData_NodeClick(two->child(1));
    ASSERT_EQ(selected.count(), 2);
    EXPECT_EQ(selected[0][0].toString(), QStringLiteral("Two"));
    EXPECT_EQ(selected[1][0].toString(), QStringLiteral("Two : Views"));
    EXPECT_EQ(b->CurrentDataType(), hlSourceBrowser::tbDataView);
    EXPECT_EQ(b->currentRow(), 2);

    b->tvwData_MouseMove(b->tvwData->topLevelItem(0));
    EXPECT_EQ(b->tvwData->toolTip(), QStringLiteral("first source"));
    b->tvwData_MouseMove(two->child(0));
    EXPECT_TRUE(b->tvwData->toolTip().isEmpty());

    b->tvwData->setCurrentItem(two->child(0));
    EXPECT_FALSE(b->tvwData_MouseUp(Qt::RightButton)); // no menu over a folder
    b->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(b.get()));
    clickNode(*b, two, Qt::LeftButton);
    EXPECT_FALSE(b->mnuData->isVisible());
    browserSettings().EditData = false;
    clickNode(*b, two, Qt::RightButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return b->mnuData->isVisible(); }));
    EXPECT_TRUE(b->mnuConnect->isVisible());
    EXPECT_FALSE(b->mnuNewDataSource->isVisible());
    EXPECT_FALSE(b->mnuQuery->isVisible());
    b->mnuData->hide();
}

TEST_F(BrowserTreeTest, AddingFromTheMenuSavesAndRebuildsTheTree)
{
    writeIni("[1]\nName=One\n");
    auto b = started();
    setDialogRunner([](QDialog &d) {
        auto &dlg = static_cast<frmNewDataSource &>(d);
        dlg.txtName->setText(QStringLiteral("Added"));
        dlg.txtConnection->setText(QStringLiteral("Data Source=a.db"));
        dlg.cmdOK->click();
    });
    b->tvwData->setCurrentItem(b->tvwData->topLevelItem(0));
    b->mnuNewDataSource->trigger();
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 2);
    EXPECT_EQ(b->tvwData->topLevelItem(1)->text(0), QStringLiteral("Added"));
}

TEST_F(BrowserTreeTest, ViewButtonsAreKeptAtOnceAndCaptionsFollowTheSetting)
{
    writeIni("[1]\nName=One\n");
    auto b = started();
    b->tlbData->Buttons(QStringLiteral("List")).action()->trigger();
    EXPECT_EQ(browserSettings().DataView, 2);
    EXPECT_EQ(store().GetSetting(QStringLiteral("Tabulon"), QStringLiteral("General"), QStringLiteral("Data View")),
              QStringLiteral("2"));

    browserSettings().ToolBarText = true;
    ASSERT_TRUE(b->Set_MenuText());
    EXPECT_EQ(b->tlbData->Buttons(QStringLiteral("Small")).Caption(), QStringLiteral("Small "));
    EXPECT_EQ(b->tlbData->Buttons(QStringLiteral("Report")).Caption(), QStringLiteral("Details"));
    EXPECT_EQ(b->tlbData->Buttons(QStringLiteral("Options")).Caption(), QStringLiteral("Browse options"));
}

TEST_F(BrowserTreeTest, TheHostReachesMembersByDispatchIdAndName)
{
    writeIni("[1]\nName=One\n");
    hlSourceBrowser b;
    QVariant result;
    QString error;
    ASSERT_TRUE(automation::callById(&b, 0x60030014, {}, &result, &error)) << error.toStdString();
    EXPECT_TRUE(result.toBool());
    EXPECT_EQ(b.tvwData->topLevelItemCount(), 1);
    QSignalSpy refreshed(&b, &hlSourceBrowser::Refreshed);
    ASSERT_TRUE(automation::callByName(&b, QStringLiteral("set_options"), {}, &result, &error)) << error.toStdString();
    EXPECT_EQ(refreshed.count(), 1);
    ASSERT_TRUE(automation::callByName(&b, QStringLiteral("Print_Preview"), {}, &result, &error));
    EXPECT_FALSE(result.toBool());
    QVariant openSql;
    ASSERT_TRUE(automation::getProperty(&b, QStringLiteral("stOpenSQL"), &openSql, &error)) << error.toStdString();
    EXPECT_TRUE(openSql.toBool());
}

TEST_F(BrowserTreeTest, PostgresSourceOpensOnExpand)
{
    TABULON_REQUIRE_POSTGRES();
    std::unique_ptr<PGconn, decltype(&PQfinish)> pg(PQconnectdb(testsupport::postgresConnInfo().toUtf8().constData()),
                                                     &PQfinish);
    ASSERT_EQ(PQstatus(pg.get()), CONNECTION_OK) << PQerrorMessage(pg.get());
    const QString cs = QStringLiteral("Provider=PostgreSQL;Data Source=%1;Port=%2;Initial Catalog=%3;User ID=%4;Password=%5")
                           .arg(QString::fromUtf8(PQhost(pg.get())), QString::fromUtf8(PQport(pg.get())),
                                QString::fromUtf8(PQdb(pg.get())), QString::fromUtf8(PQuser(pg.get())),
                                QString::fromUtf8(PQpass(pg.get())));
    writeIni(QStringLiteral("[1]\nName=Server\nConnection=%1\n").arg(cs).toUtf8());
    auto b = started();
    QTreeWidgetItem *node = b->tvwData->topLevelItem(0);
    node->setExpanded(true);
    EXPECT_TRUE(events.empty()) << events.front().description.toStdString();
    const auto cn = b->connection(1);
    ASSERT_TRUE(cn);
    EXPECT_EQ(cn->State(), db::adStateOpen);
    EXPECT_EQ(cn->Provider(), QStringLiteral("PostgreSQL"));
    node->setExpanded(false);
    node->setExpanded(true);
    EXPECT_EQ(b->connection(1), cn);
    b->UnloadFlter();
    EXPECT_EQ(cn->State(), db::adStateClosed);
}

TEST_F(BrowserTreeTest, TheMenuActsOnTheRightClickedSource)
{
    const QString a = sqliteFile(QStringLiteral("a.db"), "CREATE TABLE ta (x integer);");
    const QString c = sqliteFile(QStringLiteral("b.db"), "CREATE TABLE tb (x integer);");
    writeIni(QStringLiteral("[1]\nName=Alpha\nConnection=Data Source=%1\n[2]\nName=Beta\nConnection=Data Source=%2\n")
                 .arg(a, c)
                 .toUtf8());
    auto b = started();
    b->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(b.get()));
    QTreeWidgetItem *alpha = b->dataSourceNode(1);
    QTreeWidgetItem *beta = b->dataSourceNode(2);
    clickNode(*b, alpha, Qt::LeftButton);
    ASSERT_EQ(b->currentRow(), 1);

    // Right after a left click on Alpha, a right click on Beta asks about Beta; No changes nothing.
    const QByteArray before = fileBytes();
    clickNode(*b, beta, Qt::RightButton);
    EXPECT_EQ(b->tvwData->currentItem(), beta);
    EXPECT_EQ(b->currentRow(), 2);
    EXPECT_TRUE(b->mnuConnect->isVisible());
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    pick(b->mnuData, b->mnuDeleteDataSource);
    ASSERT_TRUE(ui::Prompter::lastAsked());
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Delete Beta?"));
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(b->tvwData->topLevelItemCount(), 2);

    // Connect from Alpha's menu opens Alpha, whatever was selected before.
    clickNode(*b, alpha, Qt::RightButton);
    pick(b->mnuData, b->mnuConnect);
    ASSERT_TRUE(b->connection(1));
    EXPECT_EQ(b->connection(1)->State(), db::adStateOpen);
    EXPECT_FALSE(b->connection(2));
    EXPECT_TRUE(alpha->isExpanded());

    // A right click on a folder shows no menu and leaves the selection and the list alone.
    clickNode(*b, alpha->child(0), Qt::LeftButton);
    ASSERT_EQ(b->QueryTotal(), 1);
    b->mnuData->hide();
    clickNode(*b, alpha->child(1), Qt::RightButton);
    QTest::qWait(20);
    EXPECT_FALSE(b->mnuData->isVisible());
    EXPECT_EQ(b->tvwData->currentItem(), alpha->child(0));
    EXPECT_EQ(b->QueryTotal(), 1);
    // Nor when another source is the selected one: its menu would act on a source not pointed at.
    clickNode(*b, beta, Qt::LeftButton);
    clickNode(*b, alpha->child(1), Qt::RightButton);
    EXPECT_FALSE(b->mnuData->isVisible());
    EXPECT_EQ(b->tvwData->currentItem(), beta);

    // The right-clicked Alpha is the one deleted.
    clickNode(*b, alpha, Qt::RightButton);
    ui::Prompter::queueAnswer(ui::MsgResult::OK);
    pick(b->mnuData, b->mnuDeleteDataSource);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Delete Alpha?"));
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 1);
    EXPECT_EQ(b->tvwData->topLevelItem(0)->text(0), QStringLiteral("Beta"));
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

TEST_F(BrowserTreeTest, ChangingTheListKeepsTheOtherSourcesOpenAndExpanded)
{
    const QString second = sqliteFile(QStringLiteral("second.db"), "CREATE TABLE t (x integer);");
    writeSampleSources(QStringLiteral("[2]\nName=Second\nConnection=Data Source=%1\n").arg(second).toUtf8());
    auto b = started();
    b->dataSourceNode(2)->setExpanded(true);
    const auto secondCn = b->connection(2);
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    const auto sampleCn = b->connection(1);
    ASSERT_TRUE(sampleCn && secondCn);
    const int tables = b->QueryTotal();
    ASSERT_GT(tables, 1);
    const QString count = b->staStatus->Panels(2).Text();
    auto expectKept = [&](const char *step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(b->connection(1), sampleCn);
        EXPECT_EQ(sampleCn->State(), db::adStateOpen);
        EXPECT_TRUE(b->dataSourceNode(1)->isExpanded());
        EXPECT_EQ(hlSourceBrowser::nodeImage(b->dataSourceNode(1)), 2);
        EXPECT_EQ(b->tvwData->currentItem(), b->dataSourceNode(1)->child(0));
        EXPECT_EQ(b->currentRow(), 1);
        EXPECT_EQ(b->QueryTotal(), tables);
        EXPECT_EQ(b->staStatus->Panels(2).Text(), count);
    };

    setDialogRunner([](QDialog &d) {
        auto &dlg = static_cast<frmNewDataSource &>(d);
        dlg.txtName->setText(QStringLiteral("Added"));
        dlg.txtConnection->setText(QStringLiteral("Data Source=added.db"));
        dlg.cmdOK->click();
    });
    b->mnuNewDataSource->trigger();
    ASSERT_EQ(b->tvwData->topLevelItemCount(), 3);
    expectKept("adding");
    EXPECT_EQ(b->connection(2), secondCn);
    EXPECT_TRUE(b->dataSourceNode(2)->isExpanded());

    // Options saved with changed folders rebuild the tree the same way.
    ASSERT_TRUE(b->Set_Options(true, false, true));
    expectKept("options");

    // A cancelled delete writes nothing and keeps everything.
    const QByteArray before = fileBytes();
    b->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(b.get()));
    clickNode(*b, b->dataSourceNode(3), Qt::RightButton);
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    pick(b->mnuData, b->mnuDeleteDataSource);
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(b->connection(2), secondCn);

    // An edited connection reopens; the others stay as they were.
    clickNode(*b, b->dataSourceNode(2), Qt::RightButton);
    setDialogRunner([&](QDialog &d) {
        auto &dlg = static_cast<frmNewDataSource &>(d);
        dlg.txtConnection->setText(QStringLiteral("Provider=SQLite;Data Source=") + second);
        dlg.cmdOK->click();
    });
    pick(b->mnuData, b->mnuEditDataSource);
    EXPECT_NE(b->connection(2), secondCn);
    EXPECT_FALSE(b->dataSourceNode(2)->isExpanded());
    EXPECT_EQ(b->connection(1), sampleCn);
    EXPECT_TRUE(b->dataSourceNode(1)->isExpanded());
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

TEST_F(BrowserTreeTest, AFileOfFiftyFiveSourcesShowsFiftyAndSaysSo)
{
    QByteArray text;
    for (int i = 1; i <= 55; ++i)
        text += QStringLiteral("[%1]\nName=S%1\n").arg(i).toUtf8();
    writeIni(text);
    ui::Prompter::clearAsked();
    auto b = started();
    EXPECT_EQ(b->tvwData->topLevelItemCount(), 50);
    ASSERT_TRUE(ui::Prompter::lastAsked());
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("[51], [52], [53], [54], [55]")));
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
}

} // namespace
