// The results grid's operations: moving through a million rows, finding, selecting and copying.
#include "TabulonTestSupport.h"

#include "dialogs/frmFind.h"
#include "dialogs/frmNotes.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace tabtest;

namespace {

class GridTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

class GridOperations : public ControlTest {
protected:
    std::unique_ptr<GridTabulon> start(const std::shared_ptr<db::Connection> &connection, const QString &sql)
    {
        return shown<GridTabulon>(connection, sql);
    }
};

const QString kSmall = QStringLiteral(
    "SELECT 'apple' AS a, 'pear' AS b, 1 AS n UNION ALL SELECT 'Pear', 'fig', 2 UNION ALL SELECT 'plum', 'apple pie', 3");

} // namespace

TEST_F(GridOperations, MoveLastAndFirstOnAMillionRows)
{
    QTemporaryDir dir;
    auto c = db::Connection::create();
    c->setReadOnly(false);
    c->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("big.db"))));
    c->Execute(QStringLiteral("CREATE TABLE big AS WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s "
                              "WHERE x < 1000000) SELECT x AS id, 'row ' || x AS name FROM s"));
    auto tab = start(c, QStringLiteral("SELECT * FROM big"));
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    EXPECT_LT(runnerOf(*tab).results()->fetchedCount(), 1000000u) << "the first screen comes before the rest";

    // Stopped by the abort flag part way: nothing claims to be complete.
    QTimer::singleShot(0, [] { analysis::g_blnAbort = true; });
    EXPECT_FALSE(tab->Move_Record(false));
    EXPECT_FALSE(runnerOf(*tab).results()->isComplete());
    EXPECT_FALSE(tab->ResultsComplete());
    EXPECT_FALSE(analysis::g_blnAbort);
    EXPECT_FALSE(tab->isBusy());

    ASSERT_TRUE(tab->Move_Record(false));
    EXPECT_TRUE(tab->ResultsComplete());
    EXPECT_EQ(tab->ResultsRows(), 1000000);
    EXPECT_EQ(tab->grdResults->Row(), 1000000);
    EXPECT_EQ(tab->grdResults->TextMatrix(1000000, 1), QStringLiteral("row 1000000"));
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" Row 1,000,000"));

    ASSERT_TRUE(tab->Move_Record(true));
    EXPECT_EQ(tab->grdResults->Row(), 1);
    tab->setShowRowCount(true);
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 1 of 1,000,000"));
    EXPECT_EQ(tab->staStatus->Panels(4).Text(), QStringLiteral(" Col 1 of 2"));
    EXPECT_TRUE(events.empty());

    // The window closed while Select All fetches: the tear-down waits until the loop has ended.
    tab->setShowRowCount(false);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    ASSERT_FALSE(runnerOf(*tab).results()->isComplete());
    bool unloadAsked = false;
    QTimer::singleShot(0, tab.get(), [&] {
        tab->UnloadFlter();
        unloadAsked = true;
        EXPECT_EQ(runnerOf(*tab).results()->State(), db::adStateOpen) << "nothing is released under the running loop";
    });
    EXPECT_TRUE(tab->Select_All());
    EXPECT_TRUE(unloadAsked);
    EXPECT_FALSE(tab->isBusy());
    const auto tornDown = [&] { return !runnerOf(*tab).results() || runnerOf(*tab).results()->State() == db::adStateClosed; };
    pump(60000, tornDown);
    EXPECT_TRUE(tornDown()) << "torn down once the member has returned";
    EXPECT_TRUE(events.empty());
}

TEST_F(GridOperations, FindInAllThreeDirections)
{
    SampleDatabase sample;
    auto tab = start(sample.connect(), kSmall);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    analysis::options().FindText = QStringLiteral("pear");
    analysis::options().FindMatchCase = false;
    analysis::options().FindWholeWord = false;
    analysis::options().FindCurrentColumn = false;

    QStringList whileSearching;
    QObject::connect(tab.get(), &hlTabulon::Freeze, tab.get(), [&](bool start) {
        if (start)
            whileSearching << tab->staStatus->Panels(1).Text();
    });
    ASSERT_TRUE(tab->Find_Item(0));
    EXPECT_EQ(std::pair(tab->grdResults->Row(), tab->grdResults->Col()), std::pair(1, 1));
    EXPECT_EQ(whileSearching, QStringList{QStringLiteral("Searching ... (ESC to stop)")});
    ASSERT_TRUE(tab->Find_Item(1));
    EXPECT_EQ(std::pair(tab->grdResults->Row(), tab->grdResults->Col()), std::pair(2, 0));
    ASSERT_TRUE(tab->Find_Item(2));
    EXPECT_EQ(std::pair(tab->grdResults->Row(), tab->grdResults->Col()), std::pair(1, 1));
    EXPECT_TRUE(tab->FindNext());

    // Match case skips "Pear"; the search never wraps round.
    analysis::options().FindMatchCase = true;
    ui::Prompter::clearAsked();
    ASSERT_TRUE(tab->Find_Item(1));
    EXPECT_EQ(std::pair(tab->grdResults->Row(), tab->grdResults->Col()), std::pair(1, 1));
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Search item not found"));
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Find"));

    // Whole word: "apple pie" contains apple but is not it.
    analysis::options().FindMatchCase = false;
    analysis::options().FindWholeWord = true;
    analysis::options().FindText = QStringLiteral("apple");
    tab->grdResults->setRow(1);
    tab->grdResults->setCol(0);
    ASSERT_TRUE(tab->Find_Item(1));
    EXPECT_EQ(std::pair(tab->grdResults->Row(), tab->grdResults->Col()), std::pair(1, 0)) << "not found: stays";
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_FALSE(tab->isBusy());
    tab->UnloadFlter();

    // Found from the find window far down a longer grid: the cell is current, selected, drawn in
    // the selection colours and shown well inside the rows in view, not at their edge.
    auto longer = start(sample.connect(), QStringLiteral("WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                                                         "FROM s WHERE x < 300) SELECT x AS n, 'row ' || x AS name FROM s"));
    ASSERT_TRUE(longer->Refresh_Results(false, false, false));
    longer->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(longer.get()));
    ASSERT_TRUE(longer->Show_Find());
    auto *find = tabtest::toolWindow<frmFind>(*longer);
    ASSERT_NE(find, nullptr);
    // The window system hands the find window the keyboard as it opens, before the user can click
    // in it; until then the grid's own window holds it and marks the current cell as focused.
    // (isActiveWindow() is no sign of it: a tool window counts as active with its owner.)
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == find; }));
    find->cboFind->setEditText(QStringLiteral("row 120"));
    find->chkWord->setChecked(true);
    QTest::mouseClick(find->cmdFind, Qt::LeftButton);
    grid::Grid &g = *longer->grdResults;
    ASSERT_EQ(std::pair(g.Row(), g.Col()), std::pair(120, 1));
    EXPECT_EQ(std::pair(g.RowSel(), g.ColSel()), std::pair(120, 1));
    QTableView *view = g.view();
    const QRect cell = view->visualRect(view->model()->index(120 - 1, 1));
    const int rowHeight = cell.height();
    ASSERT_GT(rowHeight, 0);
    EXPECT_GE(cell.top(), rowHeight) << "not at the top edge";
    EXPECT_LE(cell.bottom(), view->viewport()->height() - 2 * rowHeight) << "not at the bottom edge";
    const QImage shot = view->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(cell.left() + 2, cell.top() + 2), g.color(g.BackColorSel()));
    EXPECT_TRUE(events.empty());
    longer->UnloadFlter();
}

TEST_F(GridOperations, CopyARangeAsTabSeparatedText)
{
    SampleDatabase sample;
    auto tab = start(sample.connect(), kSmall);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    QClipboard *clip = QApplication::clipboard();
    clip->setText(QStringLiteral("before"));

    grid::Grid &g = *tab->grdResults;
    // With the SQL box focused its selected text would be copied instead.
    QApplication::processEvents();
    g.setFocus();
    QApplication::processEvents();
    g.setRow(2);
    g.setCol(2);
    g.setRowSel(1); // made upward and leftward
    g.setColSel(0);
    ASSERT_TRUE(tab->Copy_Sel(false));
    EXPECT_EQ(clip->text(), QStringLiteral("apple\tpear\t1\t\r\nPear\tfig\t2"));

    g.setColHidden(1, true);
    g.setRow(1);
    g.setCol(0);
    g.setRowSel(1);
    g.setColSel(1);
    ASSERT_TRUE(tab->Copy_Sel(true));
    EXPECT_EQ(clip->text(), QStringLiteral("apple"));

    // Only hidden columns: nothing is copied and nothing said.
    clip->setText(QStringLiteral("kept"));
    g.setCol(1);
    g.setColSel(1);
    ui::Prompter::clearAsked();
    EXPECT_FALSE(tab->Copy_Sel(false));
    EXPECT_EQ(clip->text(), QStringLiteral("kept"));
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(events.empty());

    ASSERT_TRUE(tab->Select_All());
    EXPECT_EQ(std::pair(g.RowSel(), g.ColSel()), std::pair(3, 2));
    tab->UnloadFlter();
}

TEST_F(GridOperations, HeaderSortRunsTheQueryOrderedAndDoubleClickShowsTheCell)
{
    SampleDatabase sample;
    auto tab = start(sample.connect(), kSmall);
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    grid::Grid &g = *tab->grdResults;

    // "Col Sort" off: a header click leaves the rows and the query alone.
    analysis::options().ColSort = false;
    emit g.Click(); // harmless
    int order = grid::flexSortGenericDescending;
    emit g.BeforeSort(2, order);
    EXPECT_EQ(order, 0);
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("1"));

    analysis::options().ColSort = true;
    order = grid::flexSortGenericDescending;
    emit g.BeforeSort(2, order);
    EXPECT_TRUE(runnerOf(*tab).results()->Source().endsWith(QStringLiteral("ORDER BY \"n\" DESC")))
        << runnerOf(*tab).results()->Source();
    EXPECT_EQ(tab->grdResults->TextMatrix(1, 2), QStringLiteral("3"));
    EXPECT_EQ(tab->SortCols().value<QList<QStringList>>(),
              (QList<QStringList>{{QStringLiteral("n"), QStringLiteral("1")}}));
    EXPECT_EQ(tab->grdResults->ColSortPicture(2), grid::flexSortGenericDescending);
    EXPECT_FALSE(tab->isBusy());

    // Double click with "view the cell": the notes window shows the whole cell under its heading.
    analysis::options().DoubleClick = 1;
    g.setRow(2);
    g.setCol(1);
    emit g.DblClick();
    auto *notes = tabtest::toolWindow<frmNotes>(*tab);
    ASSERT_NE(notes, nullptr);
    EXPECT_TRUE(notes->isVisible());
    EXPECT_EQ(notes->windowTitle(), QStringLiteral("b"));
    EXPECT_EQ(notes->txtNotes->toPlainText(), QStringLiteral("fig"));
    EXPECT_EQ(std::pair(g.Col(), g.ColSel()), std::pair(0, 2)) << "the whole row is selected";
    ASSERT_TRUE(tabtest::waitForKeyboard(notes)) << "the keyboard goes to the notes";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(notes->isVisible());
    tab->UnloadFlter();
}

TEST(NotesWindow, FollowsItsSizeAndShowsTheLatestText)
{
    frmNotes notes;
    notes.setNotes(QStringLiteral("one"));
    notes.resize(400, 300);
    notes.show();
    EXPECT_EQ(notes.txtNotes->toPlainText(), QStringLiteral("one"));
    const int w = notes.txtNotes->width();
    const int x = notes.cmdOK->x();
    notes.resize(500, 300);
    EXPECT_EQ(notes.txtNotes->width(), w + 100);
    EXPECT_EQ(notes.cmdOK->x(), x + 100);
    // Too small: the controls stay as they were.
    notes.resize(5, 5);
    EXPECT_EQ(notes.txtNotes->width(), w + 100);
    notes.hide();
    notes.setNotes(QStringLiteral("two"));
    notes.show();
    EXPECT_EQ(notes.txtNotes->toPlainText(), QStringLiteral("two"));
}
