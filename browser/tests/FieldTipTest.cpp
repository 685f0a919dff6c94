#include "BrowserTestSupport.h"

#include "grid/Grid.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QTimer>

#include <limits>

using namespace browser;
using browsertest::StartedBrowserTest;

namespace {

class FieldTipTest : public StartedBrowserTest {
protected:
    // A source whose table "five" has five fields the tip shows and a BLOB it leaves out, and a
    // view that fails as soon as a row of it is read.
    std::unique_ptr<hlSourceBrowser> startedOnFive()
    {
        const QString file = sqliteFile(
            QStringLiteral("tip.db"),
            "CREATE TABLE five (b integer, A text, a_c real, pic blob, d date, e numeric(10,2));"
            "INSERT INTO five VALUES (1, 'x', 1.5, x'00', '2024-01-02', 3.25);"
            "CREATE VIEW boom AS SELECT abs(-9223372036854775807 - 1) AS overflow, b FROM five;");
        writeIni(QStringLiteral("[1]\nName=Tip\nConnection=Data Source=%1\n").arg(file).toUtf8());
        auto b = started();
        EXPECT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
        return b;
    }
    void click(hlSourceBrowser &b, int item)
    {
        b.lvwData->setSelectedItem(item);
        b.lvwData_ItemClick(item);
    }
    static QStringList names(const hlSourceBrowser &b)
    {
        QStringList out;
        for (const auto &row : b.fieldArray())
            out << row[0];
        return out;
    }
};

TEST_F(FieldTipTest, FiveFieldsInTwoColumnsFillColumnByColumn)
{
    auto b = startedOnFive();
    browserSettings().ObjectToolTips = true;
    browserSettings().ObjectToolTipFieldTypes = true;
    click(*b, itemNamed(*b, QStringLiteral("five")));
    ASSERT_TRUE(events.empty()) << eventText().toStdString();
    ASSERT_EQ(names(*b), (QStringList{"b", "A", "a_c", "d", "e"}));

    // A list just too low for one column of five rows.
    const int rowHeight = ui::Twips::toPixelsY(b->grdTooltip->RowHeight(0), b.get());
    const int top = std::max(0, b->lvwData->selectedItemRect().top());
    b->lvwData->resize(b->lvwData->width(), (top + 5 * rowHeight) * 3 / 4);
    ASSERT_TRUE(b->Popluate_ToolTip().toBool());
    grid::Grid &g = *b->grdTooltip;
    ASSERT_EQ(g.Rows(), 3);
    ASSERT_EQ(g.Cols(), 2);
    EXPECT_EQ(g.TextMatrix(0, 0), QStringLiteral("b  [Integer]"));
    EXPECT_EQ(g.TextMatrix(1, 0), QStringLiteral("A  [WChar]"));
    EXPECT_EQ(g.TextMatrix(2, 0), QStringLiteral("a_c  [Double]"));
    EXPECT_EQ(g.TextMatrix(0, 1), QStringLiteral("d  [DBDate]"));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("e  [Numeric]"));
    EXPECT_EQ(g.TextMatrix(2, 1), QString());
    EXPECT_EQ(g.height(), 3 * rowHeight + 2);

    // A tall list needs one column; names alone without the types.
    browserSettings().ObjectToolTipFieldTypes = false;
    b->lvwData->resize(b->lvwData->width(), (top + 5 * rowHeight) * 2);
    ASSERT_TRUE(b->Popluate_ToolTip().toBool());
    EXPECT_EQ(g.Rows(), 5);
    EXPECT_EQ(g.Cols(), 1);
    EXPECT_EQ(g.TextMatrix(4, 0), QStringLiteral("e"));

    // A list with no height at all still ends with one column per field, not a hang.
    b->lvwData->resize(b->lvwData->width(), 0);
    ASSERT_TRUE(b->Popluate_ToolTip().toBool());
    EXPECT_EQ(g.Cols(), 5);
    EXPECT_EQ(g.Rows(), 1);
}

TEST_F(FieldTipTest, SortedFieldsAndSortArray)
{
    auto b = startedOnFive();
    browserSettings().ObjectToolTipSort = true;
    click(*b, itemNamed(*b, QStringLiteral("five")));
    EXPECT_EQ(names(*b), (QStringList{"A", "a_c", "b", "d", "e"}));

    QVariantList rows{QVariantList{"b", "3"}, QVariantList{"A", "202"}, QVariantList{"a_c", "5"},
                      QVariantList{"a", "2"}};
    ASSERT_TRUE(b->Sort_Array(rows));
    QStringList order;
    for (const QVariant &row : rows)
        order << row.toList().front().toString() + QLatin1Char(':') + row.toList().back().toString();
    // Equal lower-cased names keep their order: "A" came before "a".
    EXPECT_EQ(order, (QStringList{"A:202", "a:2", "a_c:5", "b:3"}));
    QVariantList single{"b", "A", "a_c"};
    ASSERT_TRUE(b->Sort_Array(single));
    EXPECT_EQ(single, (QVariantList{"A", "a_c", "b"}));
}

TEST_F(FieldTipTest, TheTipShowsAfterASecondForTheDelayAndOnlyWhenSwitchedOn)
{
    auto b = startedOnFive();
    const int five = itemNamed(*b, QStringLiteral("five"));
    // Off: the fields are still read, nothing is shown.
    click(*b, five);
    EXPECT_EQ(b->fieldArray().size(), 5u);
    EXPECT_EQ(b->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_FALSE(b->tmrTip->isActive());
    EXPECT_TRUE(b->grdTooltip->isHidden());

    browserSettings().ObjectToolTips = true;
    browserSettings().ObjectToolDelay = 4;
    ASSERT_TRUE(b->Popluate_ToolTip().toBool());
    click(*b, five);
    EXPECT_TRUE(b->tmrTip->isActive());
    EXPECT_EQ(b->tmrTip->interval(), 1000);
    EXPECT_TRUE(b->grdTooltip->isHidden());
    b->tmrTip_Timer();
    EXPECT_FALSE(b->grdTooltip->isHidden());
    EXPECT_EQ(b->tmrTip->interval(), 4000);
    // Inside the list, below the item.
    const QRect list(b->lvwData->mapTo(b.get(), QPoint(0, 0)), b->lvwData->size());
    EXPECT_LT(b->grdTooltip->geometry().right(), list.right() + 1);
    b->tmrTip_Timer();
    EXPECT_TRUE(b->grdTooltip->isHidden());
    EXPECT_FALSE(b->tmrTip->isActive());

    // The pointer on the tip keeps it; leaving the item hides it.
    b->Show_ToolTip();
    b->tmrTip_Timer();
    b->grdTooltip_MouseMove();
    EXPECT_FALSE(b->tmrTip->isActive());
    EXPECT_FALSE(b->grdTooltip->isHidden());
    const QRect item = b->lvwData->selectedItemRect();
    b->lvwData_MouseMove(item.topLeft() + QPoint(1, 1));
    EXPECT_FALSE(b->grdTooltip->isHidden());
    b->lvwData_MouseMove(item.bottomLeft() + QPoint(0, 200));
    EXPECT_TRUE(b->grdTooltip->isHidden());

    // The delay is kept within one second to an hour.
    for (const auto &[delay, interval] : {std::pair{0, 1000}, std::pair{-3, 1000},
                                          std::pair{std::numeric_limits<qint32>::max(), 3600 * 1000}}) {
        browserSettings().ObjectToolDelay = delay;
        b->Show_ToolTip();
        b->tmrTip_Timer();
        EXPECT_EQ(b->tmrTip->interval(), interval) << delay;
    }
}

TEST_F(FieldTipTest, FieldsComeFromTheCatalogueNotFromRows)
{
    auto b = startedOnFive();
    browserSettings().ObjectToolTips = true;
    // Reading a row of this view fails; its field list does not.
    QTreeWidgetItem *views = openFolder(*b, 1, QStringLiteral("Views"));
    ASSERT_TRUE(views);
    click(*b, itemNamed(*b, QStringLiteral("boom")));
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
    EXPECT_EQ(names(*b), (QStringList{"overflow", "b"}));
    EXPECT_TRUE(b->tmrTip->isActive());

    // The same object clicked again is not read again: dropped meanwhile, its tip still shows.
    sqlite3 *d = nullptr;
    ASSERT_EQ(sqlite3_open(dir.filePath(QStringLiteral("tip.db")).toUtf8().constData(), &d), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(d, "DROP VIEW boom", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(d);
    b->tmrTip->stop();
    click(*b, itemNamed(*b, QStringLiteral("boom")));
    EXPECT_TRUE(events.empty()) << eventText().toStdString();
    EXPECT_TRUE(b->tmrTip->isActive());

    // A failing read reports once, shows no tip and is tried again at the next click.
    ASSERT_TRUE(openFolder(*b, 1, QStringLiteral("Tables")));
    ASSERT_TRUE(b->Get_DataObjects(b->tvwData->currentItem()));
    ASSERT_EQ(sqlite3_open(dir.filePath(QStringLiteral("tip.db")).toUtf8().constData(), &d), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(d, "DROP TABLE five", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(d);
    click(*b, itemNamed(*b, QStringLiteral("five")));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Get_Fields"));
    EXPECT_FALSE(b->tmrTip->isActive());
    EXPECT_TRUE(b->CurrentItem().isEmpty());
}

} // namespace
