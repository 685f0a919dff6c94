// How cells of data from a recordset look: aligned by their column's type, Nulls of a Boolean
// column distinct from False, numbers that do not fit shown as "###", long values kept from
// widening their column beyond reason and readable in their tooltip.
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"
#include "ui/Twips.h"

#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

using namespace grid;

namespace {

class GridCellLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_conn = db::Connection::create();
        m_conn->setReadOnly(false);
        m_conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_dir.filePath(QStringLiteral("l.db"))));
        m_conn->Execute(QStringLiteral("CREATE TABLE t(code TEXT, n INTEGER, paid BOOLEAN, note TEXT)"));
        m_conn->Execute(QStringLiteral("INSERT INTO t VALUES ('78960', 100000, 1, 'short'), "
                                       "('A1365LSH', 7, 0, NULL), ('06699', NULL, NULL, '%1')")
                            .arg(QString(3000, QLatin1Char('x'))));
        auto rs = db::Recordset::create();
        rs->Open(QStringLiteral("SELECT * FROM t"), m_conn);
        g.setDataMode(flexDMBound);
        g.setDataSource(rs);
        g.resize(600, 300);
    }

    grid::CellLook look(int row, int col) { return cellLook(*g.model(), row, col); }

    QTemporaryDir m_dir;
    std::shared_ptr<db::Connection> m_conn;
    Grid g;
};

int horizontal(int qtAlignment)
{
    return qtAlignment & Qt::AlignHorizontal_Mask;
}

} // namespace

TEST_F(GridCellLook, ColumnsAlignByTheirTypeNotCellByCell)
{
    ASSERT_EQ(g.Rows(), 4);
    // Digits in a text column stay at the left with the other codes.
    for (int r = 1; r <= 3; ++r)
        EXPECT_EQ(horizontal(look(r, 0).qtAlignment), int(Qt::AlignLeft)) << r;
    EXPECT_FALSE(look(1, 0).numeric);
    EXPECT_EQ(horizontal(look(1, 1).qtAlignment), int(Qt::AlignRight));
    EXPECT_TRUE(look(1, 1).numeric);
    // Headings stay at the left whatever the column holds.
    EXPECT_EQ(horizontal(look(0, 1).qtAlignment), int(Qt::AlignLeft));

    // A grid filled by hand (no types) still goes cell by cell.
    Grid hand;
    hand.setCols(1);
    hand.setRows(3);
    hand.setTextMatrix(1, 0, QStringLiteral("12"));
    hand.setTextMatrix(2, 0, QStringLiteral("twelve"));
    EXPECT_EQ(horizontal(cellLook(*hand.model(), 1, 0).qtAlignment), int(Qt::AlignRight));
    EXPECT_EQ(horizontal(cellLook(*hand.model(), 2, 0).qtAlignment), int(Qt::AlignLeft));
}

TEST_F(GridCellLook, ANullBooleanIsNeitherTickedNorUnticked)
{
    EXPECT_TRUE(look(1, 2).checkBox);
    EXPECT_TRUE(look(1, 2).checked);
    EXPECT_TRUE(look(2, 2).checkBox) << "False is an empty box";
    EXPECT_FALSE(look(2, 2).checked);
    EXPECT_FALSE(look(3, 2).checkBox) << "a Null has no box at all";
    EXPECT_TRUE(look(3, 2).text.isEmpty());

    // A hand-filled check-box column keeps its boxes for cells never given a value.
    Grid hand;
    hand.setCols(1);
    hand.setRows(2);
    hand.setColDataType(0, flexDTBoolean);
    EXPECT_TRUE(cellLook(*hand.model(), 1, 0).checkBox);
}

TEST_F(GridCellLook, ANumberThatDoesNotFitIsHashesNotAnotherNumber)
{
    const grid::CellLook big = look(1, 1);
    ASSERT_EQ(big.text, QStringLiteral("100000"));
    const int wide = QFontMetrics(big.font).horizontalAdvance(big.text);
    EXPECT_EQ(fittedText(big, wide + 5), QStringLiteral("100000"));
    const QString narrow = fittedText(big, wide / 2);
    EXPECT_FALSE(narrow.isEmpty());
    EXPECT_EQ(narrow, QString(narrow.size(), QLatin1Char('#')));
    EXPECT_LE(QFontMetrics(big.font).horizontalAdvance(narrow), wide / 2);
    // Text is cut with an ellipsis, as before.
    const grid::CellLook text = look(1, 3);
    EXPECT_TRUE(fittedText(text, 10).endsWith(QChar(0x2026)) || fittedText(text, 10).isEmpty());
}

TEST_F(GridCellLook, OneLongValueDoesNotMakeItsColumnScreensWide)
{
    g.AutoSize(0, 3);
    const int notePx = ui::Twips::toPixelsX(g.ColWidth(3), &g);
    const int capPx = std::max(200, QFontMetrics(g.font()).averageCharWidth() * 50);
    EXPECT_LE(notePx, capPx + 20);
    EXPECT_GT(notePx, QFontMetrics(g.font()).horizontalAdvance(QStringLiteral("short")));
    // A long heading still shows whole.
    Grid hand;
    hand.setCols(1);
    hand.setRows(2);
    const QString heading(120, QLatin1Char('H'));
    hand.setTextMatrix(0, 0, heading);
    hand.AutoSize(0);
    EXPECT_GE(ui::Twips::toPixelsX(hand.ColWidth(0), &hand), QFontMetrics(hand.font()).horizontalAdvance(heading));

    // The cut-off value is the cell's tooltip; a value that fits has none of its own.
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    QTableView *view = g.view();
    const QModelIndex longCell = view->model()->index(2, 3);
    view->scrollTo(longCell);
    const QRect rect = view->visualRect(longCell);
    QHelpEvent help(QEvent::ToolTip, rect.center(), view->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(view->viewport(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QString(3000, QLatin1Char('x')));
    QToolTip::hideText();
    EXPECT_FALSE(textClipped(look(1, 3), ui::Twips::toPixelsX(g.ColWidth(3), &g)));
}

// Each style's lines land on exactly the pixels a one-pixel pen draws between the same points,
// under the view's offset and on a background they must not smudge.
TEST(GridLines, EveryStyleDrawsThePixelsOfOnePixelLines)
{
    const QColor color(0x40, 0x80, 0xC0);
    const QRect cell(3, 5, 37, 17);
    for (int style = flexGridNone; style <= flexGridExcel; ++style) {
        for (const bool right : {true, false}) {
            for (const bool bottom : {true, false}) {
                QImage ours(64, 40, QImage::Format_ARGB32_Premultiplied);
                ours.fill(Qt::yellow);
                QImage lines = ours;
                {
                    QPainter p(&ours);
                    p.translate(7, 4);
                    p.setRenderHint(QPainter::Antialiasing, true); // left on by an earlier paint
                    paintGridLines(&p, style, color, cell, right, bottom);
                }
                {
                    QPainter p(&lines);
                    p.translate(7, 4);
                    const bool horzOnly = style >= flexGridFlatHorz && style <= flexGridSkipHorz;
                    const bool vertOnly = style >= flexGridFlatVert && style <= flexGridSkipVert;
                    const bool raised = style == flexGridRaised || style == flexGridRaisedHorz || style == flexGridRaisedVert;
                    const bool inset = style == flexGridInset || style == flexGridInsetHorz || style == flexGridInsetVert;
                    const Qt::PenStyle dash =
                        style == flexGridSkipHorz || style == flexGridSkipVert ? Qt::DotLine : Qt::SolidLine;
                    const bool b = bottom && !vertOnly;
                    const bool r = right && !horzOnly;
                    QColor last = color;
                    if (style != flexGridNone && (raised || inset)) {
                        p.setPen(QPen(raised ? QColor(Qt::white) : color.darker(140), 0));
                        if (b)
                            p.drawLine(cell.topLeft(), cell.topRight());
                        if (r)
                            p.drawLine(cell.topLeft(), cell.bottomLeft());
                        last = raised ? color.darker(140) : QColor(Qt::white);
                    }
                    p.setPen(QPen(last, 0, dash));
                    if (style != flexGridNone && b)
                        p.drawLine(cell.bottomLeft(), cell.bottomRight());
                    if (style != flexGridNone && r)
                        p.drawLine(cell.topRight(), cell.bottomRight());
                }
                EXPECT_EQ(ours, lines) << "style " << style << " right " << right << " bottom " << bottom;
            }
        }
    }
}
