// The results grid's column menu on a real control over the sample database: opening it with the
// right button, and each command reaching its effect, for queries the database answers and for an
// XML document held in memory.
#include "TabulonTestSupport.h"
#include "TestSupport.h"

#include "dialogs/frmColumns.h"
#include "dialogs/frmDetails.h"
#include "dialogs/frmNotes.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "hlQueryMenu/qryMenu.h"
#include "ui/KeyedToolBar.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

using namespace tabtest;

namespace {

class MenuTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    Splitter *const hlSplitResults = tabtest::part<Splitter>(*this, "hlSplitResults");
    ::qryMenu *const qryMenu = tabtest::part<::qryMenu>(*this, "qryMenu");
    ui::KeyedToolBar *const tlbResults = tabtest::part<ui::KeyedToolBar>(*this, "tlbResults");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

const QString kCategories = QStringLiteral(
    "SELECT \"CategoryID\", \"CategoryName\", \"Description\", length(\"Description\") AS \"DescLength\" "
    "FROM \"Categories\"");

class ColumnMenu : public ControlTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_sample.ok()) << m_sample.error(); }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }

    void start(const QString &sql = kCategories, int rows = 10)
    {
        tab = std::make_unique<MenuTabulon>();
        watch(*tab);
        tab->SQL(sql);
        tab->adoConnection(m_sample.connect());
        ASSERT_NO_FATAL_FAILURE(showActive());
        ASSERT_TRUE(tab->Refresh_Results(false, false, false));
        ASSERT_EQ(tab->ResultsRows(), rows);
    }
    // Shown and made the active window: the menu closes when the focus leaves it.
    void showActive()
    {
        tab->resize(1200, 800);
        tab->show();
        tab->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(tab.get()));
    }
    // The results saved as the XML document `xml`, then opened and run in a fresh control.
    void reopenAsXml(const QString &xml)
    {
        runnerOf(*tab).results()->Save(xml);
        tab->UnloadFlter();
        tab = std::make_unique<MenuTabulon>();
        watch(*tab);
        tab->OpenSQL(true);
        ASSERT_NO_FATAL_FAILURE(showActive());
        ASSERT_TRUE(tab->Open_SQL(xml));
        ASSERT_EQ(tab->CurrentDataType(), hlTabulon::tbDataXML);
        ASSERT_TRUE(tab->Refresh());
    }

    grid::Grid &grid() { return *tab->grdResults; }
    ::qryMenu &menu() { return *tab->qryMenu; }
    int col(const QString &header)
    {
        for (int c = 0; c < grid().Cols(); ++c) {
            if (grid().TextMatrix(0, c) == header)
                return c;
        }
        return -1;
    }
    QStringList column(int c)
    {
        QStringList values;
        for (int r = 1; r < grid().Rows(); ++r)
            values << grid().TextMatrix(r, c);
        return values;
    }
    QStringList headers()
    {
        QStringList names;
        for (int c = 0; c < grid().Cols(); ++c)
            names << grid().TextMatrix(0, c);
        return names;
    }

    // A real right-button click on a data cell (row from 1) or on a column's header.
    void rightClickCell(int row, int c) { tabtest::rightClickCell(grid(), row, c); }
    void rightClickHeader(int c) { tabtest::rightClickHeader(grid(), c); }
    // The item's letter, as typed where the menu's focus is.
    void press(int key, Qt::KeyboardModifiers modifiers = {}) { pressInMenu(menu(), key, modifiers); }
    // A pick of item `index` reaching the control whatever the menu shows.
    void pickPastTheMenu(int index)
    {
        QString item = qryMenu::caption(index);
        emit menu().ItemSelected(item);
    }
    void typeInto(QLineEdit *box, const QString &text)
    {
        box->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }

    SampleDatabase m_sample;
    std::unique_ptr<MenuTabulon> tab;
};

} // namespace

TEST_F(ColumnMenu, OpensOnTheCellOrColumnUnderTheMouseAndStaysInsideThePane)
{
    start();
    const int name = col(QStringLiteral("CategoryName"));
    rightClickCell(3, name);
    ASSERT_TRUE(menu().isVisible());
    EXPECT_EQ(grid().Row(), 3);
    EXPECT_EQ(grid().Col(), name);
    EXPECT_FALSE(menu().RemoverFilter());
    EXPECT_FALSE(menu().UnFreezeColumn());
    EXPECT_TRUE(menu().ShowColumns());
    EXPECT_TRUE(menu().isAncestorOf(QApplication::focusWidget())) << "the menu takes the focus";

    // Another button on the grid closes it without running anything.
    QTest::mouseClick(grid().view()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(menu().isHidden());

    // The header selects the whole column.
    rightClickHeader(2);
    ASSERT_TRUE(menu().isVisible());
    EXPECT_EQ(grid().Row(), 1);
    EXPECT_EQ(grid().RowSel(), grid().Rows() - 1);
    EXPECT_EQ(grid().Col(), 2);

    // Escape closes it, and so does the focus leaving it; nothing was filtered or sorted on the way.
    press(Qt::Key_Escape);
    EXPECT_TRUE(menu().isHidden());
    rightClickHeader(1);
    ASSERT_TRUE(menu().isVisible());
    menu().txtFilter()->setFocus(); // its own box is inside it
    EXPECT_TRUE(menu().isVisible());
    tab->txtResultsSQL->setFocus();
    EXPECT_TRUE(menu().isHidden());
    EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());
    EXPECT_EQ(tab->SortCols().value<QList<QStringList>>().value(0).value(0), QStringLiteral("-1"));

    // Beside the last column, and below the last row, there is no cell: nothing opens.
    QTableView *view = grid().view();
    QHeaderView *header = view->horizontalHeader();
    const int last = grid().Cols() - 1;
    const int besideX = header->sectionViewportPosition(last) + header->sectionSize(last) + 10;
    ASSERT_LT(besideX, view->viewport()->width());
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(besideX, 5));
    EXPECT_TRUE(menu().isHidden());
    const QRect lastRow = view->visualRect(view->model()->index(grid().Rows() - 2, 0));
    ASSERT_LT(lastRow.bottom() + 10, view->viewport()->height());
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(lastRow.center().x(), lastRow.bottom() + 10));
    EXPECT_TRUE(menu().isHidden());

    // The commands work on the column the menu was opened on, and on that one only.
    rightClickCell(3, name);
    press(Qt::Key_H);
    for (int c = 0; c < grid().Cols(); ++c)
        EXPECT_EQ(grid().ColHidden(c), c == name) << c;
    EXPECT_TRUE(events.empty());
}

TEST_F(ColumnMenu, NearTheGridsEdgesItMovesInToStayWhole)
{
    start(QStringLiteral("SELECT * FROM \"Products\" WHERE \"ProductID\" <= 60"), 60);
    tab->resize(700, 500);
    pump(50);
    QTableView *view = grid().view();
    const QRect gridRect(grid().mapTo(tab.get(), QPoint(0, 0)), grid().size());
    const QRect pane = tab->hlSplitResults->geometry();
    const QPoint corner = view->viewport()->rect().bottomRight() - QPoint(3, 3);
    const QModelIndex under = view->indexAt(corner);
    ASSERT_TRUE(under.isValid()) << "the rows and columns fill the grid at this size";
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, corner);
    ASSERT_TRUE(menu().isVisible());
    EXPECT_LE(menu().geometry().right(), gridRect.right());
    EXPECT_LE(menu().geometry().bottom(), pane.bottom());
    EXPECT_LT(menu().geometry().left(), view->viewport()->mapTo(tab.get(), corner).x());
}

TEST_F(ColumnMenu, SortsReRunTheQueryInOrder)
{
    start();
    const int name = col(QStringLiteral("CategoryName"));
    QStringList sorted = column(name);
    std::sort(sorted.begin(), sorted.end());

    rightClickCell(2, name);
    press(Qt::Key_D);
    EXPECT_TRUE(menu().isHidden());
    EXPECT_TRUE(runnerOf(*tab).results()->Source().contains(QStringLiteral("ORDER BY \"CategoryName\" DESC")))
        << runnerOf(*tab).results()->Source();
    EXPECT_EQ(column(col(QStringLiteral("CategoryName"))).first(), sorted.last());
    EXPECT_EQ(grid().ColSortPicture(col(QStringLiteral("CategoryName"))), grid::flexSortGenericDescending);
    EXPECT_EQ(tab->ResultsRows(), 10);

    // The letter with Shift is the same item.
    rightClickHeader(col(QStringLiteral("CategoryName")));
    press(Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(column(col(QStringLiteral("CategoryName"))), sorted);
    EXPECT_EQ(grid().ColSortPicture(col(QStringLiteral("CategoryName"))), grid::flexSortGenericAscending);
    EXPECT_TRUE(events.empty());
}

TEST_F(ColumnMenu, FiltersNarrowTheRowsAndADisabledRemoveDoesNothing)
{
    start();
    const int name = col(QStringLiteral("CategoryName"));
    const QString picked = grid().TextMatrix(4, name);

    // No filter yet: the item is disabled, by its letter and by a pick that slips past the menu.
    rightClickCell(5, name);
    EXPECT_FALSE(menu().RemoverFilter());
    press(Qt::Key_R);
    pickPastTheMenu(qryMenu::RemoveFilterItem);
    EXPECT_EQ(grid().Row(), 5) << "no re-run happened";

    rightClickCell(4, name);
    press(Qt::Key_S);
    EXPECT_EQ(column(name), QStringList{picked});

    rightClickCell(1, name);
    EXPECT_TRUE(menu().RemoverFilter());
    press(Qt::Key_R);
    EXPECT_EQ(tab->ResultsRows(), 10);
    EXPECT_TRUE(runnerOf(*tab).filter().isEmpty());

    rightClickCell(4, name);
    press(Qt::Key_X);
    EXPECT_EQ(tab->ResultsRows(), 9);
    EXPECT_FALSE(column(name).contains(picked));
    rightClickCell(1, name);
    press(Qt::Key_R);
    ASSERT_EQ(tab->ResultsRows(), 10);

    // Typed into the box: its letters ("a" sorts, "r" removes) are text while it is edited.
    rightClickCell(1, name);
    typeInto(menu().txtFilter(), picked);
    EXPECT_TRUE(menu().isHidden());
    EXPECT_EQ(column(name), QStringList{picked});
    EXPECT_EQ(tab->SortCols().value<QList<QStringList>>().value(0).value(0), QStringLiteral("-1"));
    EXPECT_TRUE(events.empty());
}

TEST_F(ColumnMenu, FindMovesToTheWholeValueInTheColumn)
{
    start();
    const int name = col(QStringLiteral("CategoryName"));
    const QString wanted = grid().TextMatrix(7, name);
    rightClickCell(1, name);
    typeInto(menu().txtFind(), QStringLiteral("  ") + wanted.toLower() + QStringLiteral(" "));
    EXPECT_EQ(grid().Row(), 7);
    EXPECT_EQ(grid().Col(), name);
    EXPECT_TRUE(analysis::options().FindWholeWord);
    EXPECT_TRUE(analysis::options().FindCurrentColumn);
    EXPECT_FALSE(analysis::options().FindMatchCase);
    EXPECT_EQ(analysis::options().FindText, wanted.toUpper());
}

TEST_F(ColumnMenu, LockAndUnlockMoveColumnsAroundTheFrozenBlock)
{
    start();
    const QStringList before = headers(); // ID, Name, Description, DescLength
    rightClickCell(1, 2);
    press(Qt::Key_L);
    EXPECT_EQ(grid().FrozenCols(), 1);
    EXPECT_EQ(headers(), (QStringList{before[2], before[0], before[1], before[3]}));
    EXPECT_TRUE(tab->tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());
    EXPECT_TRUE(tab->tlbResults->Buttons(QStringLiteral("sepSort")).Visible());

    rightClickCell(1, 2);
    press(Qt::Key_L);
    EXPECT_EQ(grid().FrozenCols(), 2);
    EXPECT_EQ(headers(), (QStringList{before[2], before[1], before[0], before[3]}));

    // The frozen block's own header opens the menu on its column as the main header does.
    QHeaderView *frozenHeader = grid().frozenView()->horizontalHeader();
    ASSERT_TRUE(frozenHeader->isVisible());
    QTest::mouseClick(frozenHeader->viewport(), Qt::RightButton, {},
                      QPoint(frozenHeader->sectionViewportPosition(1) + frozenHeader->sectionSize(1) / 2,
                             frozenHeader->height() / 2));
    ASSERT_TRUE(menu().isVisible());
    EXPECT_EQ(grid().Col(), 1);
    EXPECT_EQ(grid().Row(), 1);
    EXPECT_EQ(grid().RowSel(), grid().Rows() - 1);
    EXPECT_TRUE(menu().UnFreezeColumn());
    press(Qt::Key_Escape);
    EXPECT_TRUE(menu().isHidden());

    // Unlocking moves the column one place past the frozen block it leaves.
    rightClickCell(1, 0);
    EXPECT_TRUE(menu().UnFreezeColumn());
    press(Qt::Key_N);
    EXPECT_EQ(grid().FrozenCols(), 1);
    EXPECT_EQ(headers(), (QStringList{before[1], before[0], before[3], before[2]}));
    EXPECT_TRUE(tab->tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());

    // The last one: the toolbar button and the separator go.
    rightClickCell(1, 0);
    press(Qt::Key_N);
    EXPECT_EQ(grid().FrozenCols(), 0);
    EXPECT_EQ(headers(), (QStringList{before[0], before[3], before[1], before[2]}));
    EXPECT_FALSE(tab->tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());
    EXPECT_FALSE(tab->tlbResults->Buttons(QStringLiteral("sepSort")).Visible());

    // Nothing is locked: the item is inert, even when its pick reaches the control.
    rightClickCell(1, 1);
    EXPECT_FALSE(menu().UnFreezeColumn());
    press(Qt::Key_N);
    pickPastTheMenu(qryMenu::UnlockItem);
    EXPECT_EQ(headers(), (QStringList{before[0], before[3], before[1], before[2]}));
    EXPECT_TRUE(events.empty());
}

TEST_F(ColumnMenu, HideSizeCopyAndTheViewingWindows)
{
    start();
    const int name = col(QStringLiteral("CategoryName"));

    rightClickCell(3, name);
    QApplication::clipboard()->clear();
    press(Qt::Key_C);
    EXPECT_EQ(QApplication::clipboard()->text(), grid().TextMatrix(3, name));

    grid().setColWidth(name, 150);
    rightClickCell(3, name);
    QTest::mouseClick(menu().lblMenu(13), Qt::LeftButton); // " &Autosize Column" shares its letter
    EXPECT_TRUE(menu().isHidden());
    EXPECT_GT(grid().ColWidth(name), 150);

    rightClickCell(3, name);
    press(Qt::Key_W);
    auto *notes = tabtest::toolWindow<frmNotes>(*tab);
    ASSERT_NE(notes, nullptr);
    EXPECT_TRUE(notes->isVisible());
    EXPECT_EQ(notes->Notes(), grid().TextMatrix(3, name));

    rightClickCell(2, name);
    QTest::mouseClick(menu().lblMenu(14), Qt::LeftButton); // " View R&ow" has no letter of its own
    auto *details = tabtest::toolWindow<frmDetails>(*tab);
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->isVisible());

    bool columnsShown = false;
    analysis::setModalRunner([&](QDialog &dialog) {
        columnsShown = qobject_cast<frmColumns *>(&dialog) != nullptr;
        dialog.reject();
    });
    rightClickCell(2, name);
    press(Qt::Key_V);
    EXPECT_TRUE(columnsShown);

    rightClickCell(2, name);
    press(Qt::Key_H);
    EXPECT_TRUE(grid().ColHidden(name));
    const ui::ToolBarButton &showCols = tab->tlbResults->Buttons(QStringLiteral("ShowCols"));
    EXPECT_EQ(showCols.Style(), ui::tbrDropdown);
    ASSERT_TRUE(showCols.ButtonMenus().Exists(QStringLiteral("ShowAll")));
    EXPECT_EQ(showCols.ButtonMenus().Item(QStringLiteral("ShowAll")).Text(), QStringLiteral("Show all columns"));
    EXPECT_TRUE(events.empty());
}

// An XML document's rows are held in memory: filters and sorts work on them where they are, with
// the recordset filter reading the quoted names.
TEST_F(ColumnMenu, XmlResultsAreFilteredAndSortedInMemory)
{
    start();
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(reopenAsXml(dir.filePath(QStringLiteral("Categories.xml"))));
    ASSERT_EQ(tab->ResultsRows(), 10);

    const int name = col(QStringLiteral("CategoryName"));
    const QString picked = grid().TextMatrix(6, name);
    QStringList sorted = column(name);
    std::sort(sorted.begin(), sorted.end());

    rightClickCell(6, name);
    press(Qt::Key_S);
    EXPECT_EQ(column(name), QStringList{picked});
    EXPECT_FALSE(runnerOf(*tab).results()->Filter().isEmpty());

    rightClickCell(1, name);
    press(Qt::Key_R);
    ASSERT_EQ(tab->ResultsRows(), 10);

    rightClickCell(1, name);
    typeInto(menu().txtFilter(), picked);
    EXPECT_EQ(column(name), QStringList{picked}) << "the grid shows the filtered rows";
    rightClickCell(1, name);
    press(Qt::Key_R);
    ASSERT_EQ(tab->ResultsRows(), 10);

    rightClickCell(3, name);
    press(Qt::Key_D);
    QStringList descending = sorted;
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(column(name), descending);
    EXPECT_EQ(grid().ColSortPicture(name), grid::flexSortGenericDescending);
    EXPECT_TRUE(events.empty());
}

// The stored filter reaches the in-memory rows whole: a quoted name with a blank and a value that
// holds the delimiter both survive.
TEST_F(ColumnMenu, AnInMemoryFilterKeepsQuotedNamesAndValuesWhole)
{
    start(QStringLiteral("SELECT 'say \"hi\"' AS \"Na me\", 1 AS \"n\" UNION ALL SELECT 'say hi', 2 "
                         "UNION ALL SELECT 'plain', 3"),
          3);
    QTemporaryDir dir;
    ASSERT_NO_FATAL_FAILURE(reopenAsXml(dir.filePath(QStringLiteral("Quoted.xml"))));
    ASSERT_EQ(grid().TextMatrix(1, 0), QStringLiteral("say \"hi\""));

    rightClickCell(1, 0);
    press(Qt::Key_S);
    EXPECT_EQ(column(0), QStringList{QStringLiteral("say \"hi\"")});
    EXPECT_EQ(column(1), QStringList{QStringLiteral("1")});
    EXPECT_TRUE(events.empty());
}

namespace {

// A routine's rows are held in memory as well; a schema of this process's own keeps parallel runs
// apart.
class ColumnMenuOnPostgres : public ControlTest {
protected:
    void SetUp() override
    {
        TABULON_REQUIRE_POSTGRES();
        m_schema = std::make_unique<AdminSchema>("t_cm");
        m_schema->exec("CREATE FUNCTION %1.people() RETURNS TABLE(id integer, \"Full Name\" text) "
                       "LANGUAGE sql AS $$ VALUES (1, 'O''Brien'), (2, 'Smith'), (3, 'Smythe') $$");
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
        m_schema.reset();
    }

    std::unique_ptr<AdminSchema> m_schema;
    std::unique_ptr<MenuTabulon> tab;
};

} // namespace

TEST_F(ColumnMenuOnPostgres, ARoutinesRowsAreFilteredAndSortedWhereTheyAre)
{
    auto connection = db::Connection::create();
    connection->Open(testsupport::postgresConnectionString());
    tab = std::make_unique<MenuTabulon>();
    watch(*tab);
    tab->SQL(m_schema->name + QStringLiteral(".people"));
    tab->DataType(hlTabulon::tbDataStoredProc);
    tab->adoConnection(connection);
    tab->resize(1000, 700);
    tab->show();
    tab->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(tab.get()));
    ASSERT_EQ(tab->ResultsRows(), 3) << (events.empty() ? QString() : events.front().description);
    grid::Grid &g = *tab->grdResults;
    auto names = [&] {
        QStringList v;
        for (int r = 1; r < g.Rows(); ++r)
            v << g.TextMatrix(r, 1);
        return v;
    };
    auto rightClick = [&](int row, int c) {
        QTableView *view = g.view();
        QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                          view->visualRect(view->model()->index(row - 1, c)).center());
    };

    rightClick(3, 1);
    QTest::keyClick(tab->qryMenu, Qt::Key_X);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("O'Brien"), QStringLiteral("Smith")}));
    rightClick(1, 1);
    QTest::keyClick(tab->qryMenu, Qt::Key_S);
    EXPECT_EQ(names(), QStringList{QStringLiteral("O'Brien")}) << "the second condition joins the first";

    rightClick(1, 1);
    QTest::keyClick(tab->qryMenu, Qt::Key_R);
    ASSERT_EQ(tab->ResultsRows(), 3);
    rightClick(1, 1);
    QTest::keyClick(tab->qryMenu, Qt::Key_D);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Smythe"), QStringLiteral("Smith"), QStringLiteral("O'Brien")}));
    EXPECT_TRUE(events.empty()) << events.front().procedure << events.front().description;
}
