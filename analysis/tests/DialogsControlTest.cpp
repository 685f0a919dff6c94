// The data dialogs opened by a real control on the sample database.
#include "TabulonTestSupport.h"

#include "db/Recordset.h"
#include "dialogs/frmColumns.h"
#include "dialogs/frmDetails.h"
#include "dialogs/frmFind.h"
#include "dialogs/frmSort.h"
#include "grid/Grid.h"
#include "hlQueryMenu/qryMenu.h"
#include "ui/KeyedToolBar.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tabtest;

namespace {

class DialogTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
    ::qryMenu *const qryMenu = tabtest::part<::qryMenu>(*this, "qryMenu");
};

class DialogsControl : public ControlTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        m_connection = m_sample.connect();
        tab = std::make_unique<DialogTabulon>();
        watch(*tab);
        tab->SQL(QStringLiteral("SELECT \"ProductID\", \"ProductName\", \"CategoryID\", \"SupplierID\" FROM \"Products\""));
        tab->DataType(hlTabulon::tbDataTable);
        tab->adoConnection(m_connection);
        tab->resize(900, 600);
        tab->show();
        ASSERT_TRUE(tab->LoadedOK());
        ASSERT_TRUE(tab->Refresh_Results(false, false, false));
        ASSERT_EQ(tab->grdResults->Cols(), 4);
    }

    SampleDatabase m_sample;
    std::shared_ptr<db::Connection> m_connection;
    std::unique_ptr<DialogTabulon> tab;
};

} // namespace

TEST_F(DialogsControl, ViewColumnsHidesAColumnAndTurnsTheButtonIntoAMenu)
{
    EXPECT_TRUE(tab->stViewCols());
    analysis::setModalRunner([](QDialog &d) {
        auto &dlg = dynamic_cast<frmColumns &>(d);
        dlg.show();
        dlg.grdColumns->toggleCheck(2, 2); // ProductName
        dlg.cmdOK->click();
    });
    ASSERT_TRUE(tab->View_Columns());
    EXPECT_TRUE(tab->grdResults->ColHidden(1));
    EXPECT_FALSE(tab->grdResults->ColHidden(0));
    ui::ToolBarButton &button = tab->tlbResults->Buttons(QStringLiteral("ShowCols"));
    EXPECT_EQ(button.Style(), ui::tbrDropdown);
    EXPECT_TRUE(button.ButtonMenus().Exists(QStringLiteral("ShowAll")));

    // Closed with Cancel: the button still follows the grid.
    analysis::setModalRunner([](QDialog &d) {
        d.show();
        dynamic_cast<frmColumns &>(d).cmdCancel->click();
    });
    ASSERT_TRUE(tab->View_Columns());
    EXPECT_EQ(button.Style(), ui::tbrDropdown);
    EXPECT_TRUE(events.empty());
}

TEST_F(DialogsControl, ThreeSortColumnsReorderTheRows)
{
    EXPECT_TRUE(tab->stShowSort());
    analysis::setModalRunner([](QDialog &d) {
        auto &dlg = dynamic_cast<frmSort &>(d);
        dlg.show();
        // CategoryID, SupplierID, then ProductID.
        dlg.grdSort[0]->setIsSelected(3, true);
        dlg.grdSort[0]->setIsSelected(4, true);
        dlg.cmdMove[1]->click();
        dlg.grdSort[0]->setIsSelected(1, true);
        dlg.cmdMove[1]->click();
        dlg.grdSort[1]->toggleCheck(1, 2); // CategoryID descending
        dlg.cmdOK->click();
    });
    ASSERT_TRUE(tab->Show_Sort());
    EXPECT_TRUE(events.empty()) << events.front().description;
    const QList<QStringList> expected{{"CategoryID", "1"}, {"SupplierID", "0"}, {"ProductID", "0"}};
    EXPECT_EQ(tab->SortCols().value<QList<QStringList>>(), expected);
    const QString source = runnerOf(*tab).results()->Source();
    const qsizetype orderBy = source.indexOf(QStringLiteral("ORDER BY \"CategoryID\" DESC"));
    ASSERT_GE(orderBy, 0) << source;
    const qsizetype supplier = source.indexOf(QStringLiteral("\"SupplierID\""), orderBy);
    EXPECT_GT(supplier, orderBy) << source;
    EXPECT_GT(source.indexOf(QStringLiteral("\"ProductID\""), supplier), supplier) << source;
    EXPECT_FALSE(source.mid(orderBy).contains(QStringLiteral("ProductID\" DESC"))) << source;

    auto expectedRows = m_connection->Execute(QStringLiteral(
        "SELECT \"ProductID\" FROM \"Products\" ORDER BY \"CategoryID\" DESC, \"SupplierID\", \"ProductID\" LIMIT 5"));
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(tab->grdResults->TextMatrix(r + 1, 0), expectedRows->value(std::size_t(r), 0).toString()) << r;
    EXPECT_EQ(tab->tlbResults->Buttons(QStringLiteral("Sort")).Value(), ui::tbrUnpressed);

    // A hidden column stays hidden and a locked one locked, first, through a sort of the rows.
    tab->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(tab.get()));
    grid::Grid &g = *tab->grdResults;
    const auto heading = [&g](int c) { return g.TextMatrix(0, c); };
    rightClickCell(g, 1, 1); // ProductName
    pressInMenu(*tab->qryMenu, Qt::Key_H);
    ASSERT_TRUE(g.ColHidden(1));
    rightClickCell(g, 1, 3); // SupplierID
    pressInMenu(*tab->qryMenu, Qt::Key_L);
    ASSERT_EQ(g.FrozenCols(), 1);
    const QStringList locked{"SupplierID", "ProductID", "ProductName", "CategoryID"};
    analysis::setModalRunner([](QDialog &d) {
        auto &dlg = dynamic_cast<frmSort &>(d);
        dlg.show();
        dlg.cmdMove[3]->click();
        for (int r = 1; r < dlg.grdSort[0]->Rows(); ++r)
            dlg.grdSort[0]->setIsSelected(r, dlg.grdSort[0]->TextMatrix(r, 0) == QLatin1String("ProductID"));
        dlg.cmdMove[1]->click();
        dlg.grdSort[1]->toggleCheck(1, 2);
        dlg.cmdOK->click();
    });
    clickButton(*tab->tlbResults, QStringLiteral("Sort"));
    ASSERT_EQ(tab->SortCols().value<QList<QStringList>>(), (QList<QStringList>{{"ProductID", "1"}}));
    QStringList headings;
    for (int c = 0; c < g.Cols(); ++c)
        headings << heading(c);
    EXPECT_EQ(headings, locked);
    EXPECT_EQ(g.FrozenCols(), 1);
    EXPECT_TRUE(tab->tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());
    EXPECT_TRUE(g.ColHidden(int(headings.indexOf(QStringLiteral("ProductName")))));
    EXPECT_FALSE(g.ColHidden(int(headings.indexOf(QStringLiteral("CategoryID")))));
    EXPECT_EQ(g.TextMatrix(1, int(headings.indexOf(QStringLiteral("ProductID")))),
              m_connection->Execute(QStringLiteral("SELECT max(\"ProductID\") FROM \"Products\""))->value(0, 0).toString());
    EXPECT_TRUE(events.empty());
}

TEST_F(DialogsControl, FindWindowOpensPressedAndClosesSavingTheHistory)
{
    QSignalSpy changed(tab.get(), &hlTabulon::ViewChanged);
    ASSERT_TRUE(tab->Show_Find());
    auto *find = tabtest::toolWindow<frmFind>(*tab);
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_TRUE(tab->FindVisible());
    EXPECT_EQ(tab->tlbMain->Buttons(QStringLiteral("Find")).Value(), ui::tbrPressed);
    EXPECT_GE(changed.count(), 1);

    QTest::keyClicks(find->cboFind->lineEdit(), QStringLiteral("Chai"));
    QTest::keyClick(find->cboFind, Qt::Key_Enter);
    EXPECT_EQ(analysis::options().FindText, QStringLiteral("Chai"));

    ASSERT_TRUE(tab->Show_Find());
    EXPECT_FALSE(tab->FindVisible());
    EXPECT_EQ(tab->tlbMain->Buttons(QStringLiteral("Find")).Value(), ui::tbrUnpressed);
    EXPECT_EQ(stored("Find", "Value0"), QStringLiteral("Chai"));
    // Opened again: the same window, the history listed.
    ASSERT_TRUE(tab->Show_Find());
    EXPECT_EQ(tabtest::toolWindow<frmFind>(*tab), find);
    EXPECT_EQ(find->cboFind->currentText(), QStringLiteral("Chai"));
}

TEST_F(DialogsControl, DetailsShowTheResultsRecord)
{
    ASSERT_TRUE(tab->Show_Details());
    auto *details = tabtest::toolWindow<frmDetails>(*tab);
    ASSERT_NE(details, nullptr);
    ASSERT_TRUE(details->isLoaded());
    EXPECT_EQ(details->grdDetails->TextMatrix(2, 0), QStringLiteral("ProductName"));
    EXPECT_EQ(details->grdDetails->TextMatrix(1, 1), tab->grdResults->TextMatrix(1, 0));
    ASSERT_TRUE(details->Move_Record(3));
    EXPECT_TRUE(runnerOf(*tab).results()->isComplete());

    // Open, it follows the results view: hidden with another view, back with the results.
    ASSERT_TRUE(tabtest::showView(*tab, hlTabulon::tbViewSummary));
    EXPECT_FALSE(details->isVisible());
    ASSERT_TRUE(tabtest::showView(*tab, hlTabulon::tbViewResults));
    EXPECT_TRUE(details->isVisible());

    // Closed, it stays closed.
    details->close();
    ASSERT_TRUE(tabtest::showView(*tab, hlTabulon::tbViewSummary));
    ASSERT_TRUE(tabtest::showView(*tab, hlTabulon::tbViewResults));
    EXPECT_FALSE(details->isVisible());
    EXPECT_EQ(runnerOf(*tab).results()->State(), db::adStateOpen);
}

TEST_F(DialogsControl, AnXmlResultIsSortedInMemory)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shippers.xml"));
    {
        auto rs = db::Recordset::create();
        rs->Open(QStringLiteral("SELECT \"ShipperID\", \"CompanyName\" FROM \"Shippers\" ORDER BY \"ShipperID\""),
                 m_connection);
        rs->Save(path);
    }
    DialogTabulon xml;
    watch(xml);
    xml.DataType(hlTabulon::tbDataXML);
    xml.adoConnection(m_connection);
    xml.resize(900, 600);
    xml.show();
    runnerOf(xml).setFileName(path);
    ASSERT_TRUE(xml.Refresh_Results(false, false, false));
    ASSERT_EQ(xml.grdResults->TextMatrix(1, 0), QStringLiteral("1"));
    const int rows = xml.grdResults->Rows();
    ASSERT_GE(rows, 3);

    analysis::setModalRunner([](QDialog &d) {
        auto &dlg = dynamic_cast<frmSort &>(d);
        dlg.show();
        dlg.grdSort[0]->setIsSelected(1, true); // ShipperID
        dlg.cmdMove[1]->click();
        dlg.grdSort[1]->toggleCheck(1, 2);
        dlg.cmdOK->click();
    });
    ASSERT_TRUE(xml.Show_Sort());
    EXPECT_TRUE(events.empty()) << events.front().description;
    EXPECT_EQ(runnerOf(xml).results()->Sort(), QStringLiteral("[ShipperID] DESC"));
    EXPECT_EQ(xml.grdResults->Rows(), rows) << "no row lost";
    EXPECT_EQ(xml.grdResults->TextMatrix(1, 0), QString::number(rows - 1));
    EXPECT_EQ(xml.grdResults->TextMatrix(rows - 1, 0), QStringLiteral("1"));
}
