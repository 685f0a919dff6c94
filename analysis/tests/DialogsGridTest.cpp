// The column and sort dialogs over a results grid filled from the sample database.
#include "TabulonTestSupport.h"

#include "db/Recordset.h"
#include "dialogs/frmColumns.h"
#include "dialogs/frmSort.h"
#include "grid/Grid.h"

#include <QLabel>
#include <QTableView>
#include <QTest>
#include <QPushButton>

using namespace tabtest;

namespace {

// What frmSort needs of its opener, recorded.
class SortHost : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant SortCols READ SortCols WRITE setSortCols)
public:
    QVariant SortCols() const { return QVariant::fromValue(sortCols); }
    void setSortCols(const QVariant &v) { sortCols = v.value<QList<QStringList>>(); }
    Q_INVOKABLE bool Refresh_Results(bool blnSorting, bool blnRemoveFilter, bool blnRemoveQBFilter)
    {
        refreshes.push_back({blnSorting, blnRemoveFilter, blnRemoveQBFilter});
        return true;
    }
    QList<QStringList> sortCols;
    std::vector<std::vector<bool>> refreshes;
};

class DialogsGrid : public ControlTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sample.ok()) << m_sample.error();
        m_rs = db::Recordset::create();
        m_rs->Open(QStringLiteral("SELECT \"ShipperID\", \"CompanyName\", \"Phone\" FROM \"Shippers\""),
                   m_sample.connect());
        results.setDataSource(m_rs);
        ASSERT_EQ(results.Cols(), 3);
        ASSERT_EQ(results.TextMatrix(0, 1), QStringLiteral("CompanyName"));
    }

    // The headings of shown columns that the grid cannot show whole (in its heading font, with
    // the cell's text margins, inside the grid's width).
    static QStringList cutHeadings(const grid::Grid &g)
    {
        QStringList cut;
        const QTableView *view = g.view();
        for (int c = 0; c < g.Cols(); ++c) {
            if (g.ColHidden(c))
                continue;
            const QVariant font = view->model()->index(0, c).data(Qt::FontRole);
            const QFontMetrics metrics(font.isValid() ? font.value<QFont>() : g.font());
            const int room = view->columnWidth(c) - 2 * 3;
            if (metrics.horizontalAdvance(g.TextMatrix(0, c)) > room
                || view->columnViewportPosition(c) + view->columnWidth(c) > view->viewport()->width())
                cut << g.TextMatrix(0, c);
        }
        return cut;
    }

    static QStringList column(const grid::Grid &g, int col)
    {
        QStringList out;
        for (int r = 1; r < g.Rows(); ++r)
            out << g.TextMatrix(r, col);
        return out;
    }

    // The sort dialog over the results, opened from `host` with its sort list (none: "-1").
    void openSort(frmSort &dlg, SortHost &host,
                  const QList<QStringList> &sortCols = {{QStringLiteral("-1"), QString()}})
    {
        dlg.setTheGrid(&results);
        dlg.setCalledFrom(&host);
        dlg.setSortCols(QVariant::fromValue(sortCols));
        dlg.show();
    }

    SampleDatabase m_sample;
    std::shared_ptr<db::Recordset> m_rs;
    grid::Grid results;
};

const QStringList kAll{QStringLiteral("ShipperID"), QStringLiteral("CompanyName"), QStringLiteral("Phone")};

} // namespace

// --- columns ---

TEST_F(DialogsGrid, ColumnsListsEveryColumnAndHidesByPositionAfterAHeadingSort)
{
    frmColumns dlg;
    dlg.setTheGrid(&results);
    dlg.show();
    ASSERT_TRUE(dlg.isInitialised());
    EXPECT_EQ(column(*dlg.grdColumns, 0), kAll);
    EXPECT_EQ(column(*dlg.grdColumns, 1), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(column(*dlg.grdColumns, 2), (QStringList{"True", "True", "True"}));
    EXPECT_FALSE(dlg.cmdApply->isEnabled());

    // Rows reordered by a heading click: Phone, ShipperID, CompanyName.
    dlg.grdColumns->SortByColumns({{0, grid::flexSortGenericDescending}});
    ASSERT_EQ(column(*dlg.grdColumns, 0),
              (QStringList{"ShipperID", "Phone", "CompanyName"}));
    dlg.grdColumns->toggleCheck(3, 2); // CompanyName
    EXPECT_TRUE(dlg.cmdApply->isEnabled());
    dlg.cmdOK->click();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(results.ColHidden(0));
    EXPECT_TRUE(results.ColHidden(1));
    EXPECT_FALSE(results.ColHidden(2));
    EXPECT_TRUE(dlg.ColsHidden());
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(DialogsGrid, ColumnsKeepsOneColumnDisplayed)
{
    frmColumns dlg;
    dlg.setTheGrid(&results);
    dlg.show();
    // Unticking every row one by one: the last one disables OK and Apply.
    dlg.grdColumns->toggleCheck(1, 2);
    dlg.grdColumns->toggleCheck(2, 2);
    EXPECT_TRUE(dlg.cmdOK->isEnabled());
    dlg.grdColumns->toggleCheck(3, 2);
    EXPECT_FALSE(dlg.cmdOK->isEnabled());
    EXPECT_FALSE(dlg.cmdApply->isEnabled());
    dlg.grdColumns->toggleCheck(2, 2);
    EXPECT_TRUE(dlg.cmdApply->isEnabled());

    dlg.cmdHideAll->click();
    dlg.cmdApply->click();
    int shown = 0;
    for (int c = 0; c < results.Cols(); ++c)
        shown += results.ColHidden(c) ? 0 : 1;
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(results.ColHidden(0));

    dlg.cmdShowAll->click();
    dlg.cmdApply->click();
    EXPECT_FALSE(dlg.ColsHidden());
}

TEST_F(DialogsGrid, ColumnsAsksOnCloseWithPendingChanges)
{
    frmColumns dlg;
    dlg.setTheGrid(&results);
    dlg.show();
    // Nothing pending: closes without a question.
    dlg.cmdCancel->click();
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_FALSE(dlg.isVisible());

    dlg.show();
    dlg.grdColumns->toggleCheck(3, 2);
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    dlg.close();
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Save changes?"));
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("View Columns"));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(results.ColHidden(2));

    ui::Prompter::queueAnswer(ui::MsgResult::No);
    dlg.cmdCancel->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(results.ColHidden(2));

    // The answer Yes saves; and the opener learns of columns hidden before, from the grid.
    frmColumns again;
    again.setTheGrid(&results);
    again.show();
    again.grdColumns->toggleCheck(3, 2);
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    again.reject();
    EXPECT_FALSE(again.isVisible());
    EXPECT_TRUE(results.ColHidden(2));

    frmColumns third;
    third.setTheGrid(&results);
    third.show();
    EXPECT_EQ(third.grdColumns->TextMatrix(3, 2), QString());
    third.cmdCancel->click();
    EXPECT_TRUE(third.ColsHidden());
}

// --- sort ---

TEST_F(DialogsGrid, SortWithoutAnOrderListsEveryColumnAvailable)
{
    SortHost host;
    frmSort dlg;
    openSort(dlg, host);
    ASSERT_TRUE(dlg.isInitialised());
    EXPECT_EQ(column(*dlg.grdSort[0], 0), kAll);
    EXPECT_EQ(column(*dlg.grdSort[0], 1), (QStringList{"0", "1", "2"}));
    EXPECT_EQ(dlg.grdSort[1]->Rows(), 1);
    EXPECT_EQ(dlg.lblItems[0]->text(), QStringLiteral("Available (3)"));
    EXPECT_EQ(dlg.lblItems[1]->text(), QStringLiteral("Selected"));
    EXPECT_FALSE(dlg.cmdMove[2]->isEnabled());
    EXPECT_FALSE(dlg.cmdOrder[0]->isEnabled());
    for (grid::Grid *g : dlg.grdSort)
        EXPECT_EQ(cutHeadings(*g), QStringList()) << g->objectName().toStdString();

    // OK without a change runs nothing.
    dlg.cmdOK->click();
    EXPECT_TRUE(host.refreshes.empty());
    EXPECT_FALSE(dlg.isVisible());

    // A long column name, moved to Selected, still leaves its "Descending" heading whole.
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT \"ShipperID\" AS \"Registered company name\" FROM \"Shippers\""),
             m_sample.connect());
    results.setDataSource(rs);
    frmSort wide;
    openSort(wide, host);
    wide.cmdMove[0]->click();
    // The dialog's new width is laid out by the event loop.
    (void)QTest::qWaitFor([&] { return cutHeadings(*wide.grdSort[1]).isEmpty(); });
    for (grid::Grid *g : wide.grdSort)
        EXPECT_EQ(cutHeadings(*g), QStringList()) << g->objectName().toStdString();
    wide.cmdCancel->click();
}

TEST_F(DialogsGrid, SortMovesKeepTheirOrderAndSaveThePairs)
{
    SortHost host;
    frmSort dlg;
    openSort(dlg, host);

    // Move all: each row goes to the top, so they arrive reversed.
    dlg.cmdMove[0]->click();
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"Phone", "CompanyName", "ShipperID"}));
    EXPECT_EQ(dlg.lblItems[1]->text(), QStringLiteral("Selected (3)"));
    EXPECT_EQ(dlg.lblItems[0]->text(), QStringLiteral("Available (0)"));
    dlg.cmdMove[3]->click();
    EXPECT_EQ(column(*dlg.grdSort[0], 0), kAll);

    // Two picked rows keep their order; a third appended after them.
    dlg.grdSort[0]->setIsSelected(1, true);
    dlg.grdSort[0]->setIsSelected(3, true);
    dlg.cmdMove[1]->click();
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"ShipperID", "Phone"}));
    dlg.grdSort[0]->setIsSelected(1, true);
    dlg.cmdMove[1]->click();
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"ShipperID", "Phone", "CompanyName"}));

    // Reorder: CompanyName to the top; Up on the first row leaves the rows intact.
    dlg.grdSort[1]->setRow(3);
    dlg.cmdOrder_Click(0);
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"CompanyName", "ShipperID", "Phone"}));
    dlg.cmdOrder_Click(1);
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"CompanyName", "ShipperID", "Phone"}));
    dlg.grdSort[1]->setRow(2);
    dlg.cmdOrder_Click(3);
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"CompanyName", "Phone", "ShipperID"}));

    dlg.grdSort[1]->toggleCheck(2, 2); // Phone descending
    dlg.cmdApply->click();
    const QList<QStringList> expected{{"CompanyName", "0"}, {"Phone", "1"}, {"ShipperID", "0"}};
    EXPECT_EQ(host.sortCols, expected);
    ASSERT_EQ(host.refreshes.size(), 1u);
    EXPECT_EQ(host.refreshes[0], (std::vector<bool>{true, false, false}));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.cmdApply->isEnabled());

    // Everything back to Available: the control gets the single empty pair.
    dlg.cmdMove[3]->click();
    dlg.cmdOK->click();
    EXPECT_EQ(host.sortCols, (QList<QStringList>{{QString(), QString()}}));
    EXPECT_EQ(host.refreshes.size(), 2u);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(DialogsGrid, SortFillsSelectedInGridOrderFromTheCurrentList)
{
    SortHost host;
    frmSort dlg;
    openSort(dlg, host, {{QStringLiteral("Phone"), QStringLiteral("1")}, {QStringLiteral("ShipperID"), QStringLiteral("0")}});
    EXPECT_EQ(column(*dlg.grdSort[1], 0), (QStringList{"ShipperID", "Phone"}));
    EXPECT_EQ(column(*dlg.grdSort[1], 2), (QStringList{"", "True"}));
    EXPECT_EQ(column(*dlg.grdSort[0], 0), (QStringList{"CompanyName"}));
    EXPECT_TRUE(dlg.cmdOrder[3]->isEnabled());
    for (grid::Grid *g : dlg.grdSort)
        EXPECT_EQ(cutHeadings(*g), QStringList()) << g->objectName().toStdString();
    // Cancel discards without a question.
    dlg.cmdMove[3]->click();
    dlg.cmdCancel->click();
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(host.refreshes.empty());
    EXPECT_TRUE(host.sortCols.isEmpty());
}

#include "DialogsGridTest.moc"
