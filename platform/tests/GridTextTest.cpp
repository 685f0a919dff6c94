// Cell text on screen without laying it out more than needed: the quick "surely fits" judgement
// never lets a text overflow, the cache draws what the painter's own aligned text would, and an
// unchanged screen is repainted without laying out any text again.
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridText.h"
#include "grid/GridView.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStaticText>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace grid;

namespace {

const QStringList kTexts = {QStringLiteral("1"),
                            QStringLiteral("26.47"),
                            QStringLiteral("-1,234,567.89"),
                            QStringLiteral("AVAVAVAVAV To Ty Wa"),
                            QStringLiteral("WWWWWWWWWW"),
                            QStringLiteral("iiiiiiiiiiiiiiiiiiii"),
                            QStringLiteral("Sørensen & Þórsson hf."),
                            QStringLiteral("Łódź Trade Sp. z o.o."),
                            QStringLiteral("Deliver to the loading dock; call 15 minutes ahead.")};

// What a cell showed before the quick judgement: measured, then elided or hashed.
QString measuredFit(const CellLook &look, int width)
{
    const QFontMetrics fm(look.font);
    if (fm.horizontalAdvance(look.text) <= width)
        return look.text;
    if (look.numeric)
        return QString(std::max(1, width / std::max(1, fm.horizontalAdvance(QLatin1Char('#')))), QLatin1Char('#'));
    return fm.elidedText(look.text, Qt::ElideRight, width);
}

QImage blank(const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

} // namespace

TEST(GridText, SurelyFitsNeverLetsATextOverflowAndFittingIsAsMeasured)
{
    QFont bold = QFont();
    bold.setBold(true);
    QFont big = QFont();
    big.setPointSize(15);
    for (const QFont &font : {QFont(), bold, big}) {
        const QFontMetrics fm(font);
        for (const QString &text : kTexts) {
            const int exact = fm.horizontalAdvance(text);
            bool quick = false;
            for (int w = 0; w <= exact + 40; ++w) {
                if (surelyFits(font, text, w)) {
                    quick = true;
                    EXPECT_LE(exact, w) << qPrintable(text) << " judged to fit in " << w;
                }
                CellLook look;
                look.font = font;
                look.text = text;
                look.numeric = text.front().isDigit() || text.front() == u'-';
                ASSERT_EQ(fittedText(look, w), w > 0 ? measuredFit(look, w) : QString()) << qPrintable(text) << " in " << w;
            }
            if (text.size() < 30 && !text.contains(u'Ł')) {
                EXPECT_TRUE(quick) << qPrintable(text) << " is never judged quickly";
            }
        }
    }
    EXPECT_FALSE(surelyFits(QFont(), QStringLiteral("line\nbreak"), 1000)) << "control characters are measured";
    EXPECT_FALSE(surelyFits(QFont(), QStringLiteral("日本語"), 1000)) << "beyond Latin-1 is measured";
}

TEST(GridText, RememberedWidthsAreThoseOfTheirOwnFont)
{
    QFont bold = QFont();
    bold.setBold(true);
    QFont big = QFont();
    big.setPointSize(15);
    // Twice round: the second time every width comes from memory, and must still be its font's.
    for (int round = 0; round < 2; ++round) {
        for (const QFont &font : {QFont(), bold, big}) {
            const QFontMetrics fm(font);
            for (const QString &text : kTexts)
                ASSERT_EQ(textWidth(font, text), fm.horizontalAdvance(text)) << qPrintable(text) << " round " << round;
        }
    }
    // More texts than are remembered: the oldest make room and are measured again, never mixed up.
    const QFontMetrics fm{QFont()};
    for (int i = 0; i < 20000; ++i) {
        const QString text = QStringLiteral("customer %1").arg(i * 7919);
        if (i % 997 == 0 || i > 19990)
            ASSERT_EQ(textWidth(QFont(), text), fm.horizontalAdvance(text)) << qPrintable(text);
        else
            textWidth(QFont(), text);
    }
    EXPECT_EQ(textWidth(QFont(), kTexts[3]), fm.horizontalAdvance(kTexts[3]));
}

TEST(GridText, TheCacheDrawsWhatThePainterWouldAndLaysEachTextOutOnce)
{
    const QRect rect(3, 2, 120, 18);
    CellTextCache cache;
    int key = 0;
    for (int alignment : {int(Qt::AlignLeft | Qt::AlignVCenter), int(Qt::AlignRight | Qt::AlignVCenter),
                          int(Qt::AlignHCenter | Qt::AlignVCenter), int(Qt::AlignRight | Qt::AlignBottom)}) {
        for (const QString &text : kTexts) {
            CellLook look;
            look.font = QFont();
            look.text = text;
            look.fore = Qt::black;
            look.qtAlignment = alignment;
            QImage expected = blank(QSize(130, 24));
            {
                QPainter p(&expected);
                p.setFont(look.font);
                p.setPen(look.fore);
                p.drawText(rect, alignment | Qt::TextSingleLine, fittedText(look, rect.width()));
            }
            QImage drawn = blank(QSize(130, 24));
            {
                QPainter p(&drawn);
                cache.draw(&p, look, rect, quint64(++key));
            }
            EXPECT_EQ(drawn, expected) << qPrintable(text) << " aligned " << alignment;
        }
    }
    const int laidOut = cache.layouts();
    EXPECT_EQ(laidOut, key);

    // The same cell again: nothing laid out; a new text, width or font: laid out afresh.
    CellLook look;
    look.font = QFont();
    look.text = QStringLiteral("Bergen Hushåll AS");
    look.fore = Qt::black;
    QImage image = blank(QSize(200, 24));
    QPainter p(&image);
    cache.draw(&p, look, rect, 1000);
    cache.draw(&p, look, rect, 1000);
    EXPECT_EQ(cache.layouts(), laidOut + 1);
    cache.draw(&p, look, rect.adjusted(0, 0, -60, 0), 1000);
    look.text = QStringLiteral("Bergen Hushåll ASA");
    cache.draw(&p, look, rect, 1000);
    look.font.setBold(true);
    cache.draw(&p, look, rect, 1000);
    EXPECT_EQ(cache.layouts(), laidOut + 4);
    // A line break is a space on the one line, as before, and never cached.
    look.text = QStringLiteral("two\nlines");
    cache.draw(&p, look, rect, 1001);
    EXPECT_EQ(cache.layouts(), laidOut + 4);
}

// A cell's text as cells have always drawn it: a QStaticText placed by its size in the cell.
QImage asStaticText(const CellLook &look, const QRect &rect, const QSize &size)
{
    QImage image = blank(size);
    QPainter p(&image);
    p.setFont(look.font);
    p.setPen(look.fore);
    QStaticText shown(fittedText(look, rect.width()));
    shown.setTextFormat(Qt::PlainText);
    shown.prepare(p.transform(), look.font);
    qreal x = rect.x();
    if (look.qtAlignment & Qt::AlignRight)
        x = rect.x() + rect.width() - shown.size().width();
    const qreal y = rect.y() + (rect.height() - QFontMetricsF(look.font).height()) / 2;
    p.drawStaticText(QPointF(x, y), shown);
    return image;
}

// Sizing a column and painting its cells lay each text out once between them; widths stay as
// measured and cells as drawn before for texts one line would show otherwise (soft hyphens, line
// separators, C1 controls, blanks at either end), glyphs reaching past their advance and other
// scripts alike.
TEST(GridText, ATextIsLaidOutOnceForItsWidthAndItsDrawing)
{
    const QStringList texts = {QStringLiteral("soft\u00ADhyphen\u00AD"), QStringLiteral("\u00AD"),
                               QStringLiteral("next line\u0085c1"),
                               QStringLiteral("  blanks at both ends  "), QStringLiteral("line\u2028separator"),
                               QStringLiteral("שלום עולם"), QStringLiteral("مرحبا بالعالم"), QStringLiteral("日本語のテキスト"),
                               QStringLiteral("e\u0301le\u0300ve"), QStringLiteral("office ﬁle ffi"), QStringLiteral("Tx.Yo,Wa;AV")};
    QFont bold = QFont();
    bold.setBold(true);
    CellTextCache cache;
    quint64 key = 5000;
    const QRect rect(3, 2, 240, 20);
    const QSize size(250, 26);
    for (const QFont &font : {QFont(), bold}) {
        const QFontMetrics fm(font);
        for (const QString &text : texts) {
            const int before = laidOutTexts();
            ASSERT_EQ(textWidth(font, text), fm.horizontalAdvance(text)) << qPrintable(text);
            const int measuring = laidOutTexts() - before;
            EXPECT_LE(measuring, 1) << qPrintable(text);
            for (int alignment : {int(Qt::AlignLeft | Qt::AlignVCenter), int(Qt::AlignRight | Qt::AlignVCenter)}) {
                CellLook look;
                look.font = font;
                look.text = text;
                look.fore = Qt::black;
                look.qtAlignment = alignment;
                QImage drawn = blank(size);
                {
                    QPainter p(&drawn);
                    cache.draw(&p, look, rect, ++key);
                }
                EXPECT_EQ(drawn, asStaticText(look, rect, size)) << qPrintable(text) << " aligned " << alignment;
            }
            EXPECT_EQ(laidOutTexts() - before, 1) << qPrintable(text) << ": laid out once for its width and drawing";
        }
    }
}

// A cell is copied from its picture from its second showing on, and only when its drawing stays
// inside it: a copy would cut off whatever reaches out (to either side, above or below).
TEST(GridText, OnlyCellsDrawnInsideThemselvesAreKeptAsPictures)
{
    QImage screen(200, 100, QImage::Format_ARGB32_Premultiplied);
    screen.fill(Qt::white);
    QPainter p(&screen);
    CellImageCache cache;
    CellImageCache::Key key;
    key.text = QStringLiteral("inside");
    key.fore = qRgb(0, 0, 0);
    key.back = qRgb(255, 255, 255);
    key.size = QSize(40, 18);
    const QRect rect(20, 10, 40, 18);
    int drawn = 0;
    const auto inside = [&drawn](QPainter *ip, const QRect &at) {
        ++drawn;
        ip->fillRect(at.adjusted(0, 0, -1, -1), Qt::red);
    };
    EXPECT_FALSE(cache.paint(&p, key, rect, inside)) << "the first showing is drawn in place";
    EXPECT_TRUE(cache.paint(&p, key, rect, inside));
    EXPECT_TRUE(cache.paint(&p, key, rect, inside));
    EXPECT_EQ(drawn, 1) << "drawn once, into its picture";
    EXPECT_EQ(screen.pixelColor(rect.topLeft()), QColor(Qt::red));
    EXPECT_EQ(screen.pixelColor(rect.bottomRight() - QPoint(1, 1)), QColor(Qt::red));
    EXPECT_EQ(cache.pictures(), 1);

    for (const QPoint out : {QPoint(-1, 5), QPoint(40, 5), QPoint(10, -1), QPoint(10, 18)}) {
        key.text = QStringLiteral("reaching out to %1,%2").arg(out.x()).arg(out.y());
        const auto reaching = [out](QPainter *ip, const QRect &at) {
            ip->fillRect(at.adjusted(2, 2, -2, -2), Qt::red);
            ip->fillRect(QRect(at.topLeft() + out, QSize(1, 1)), Qt::blue);
        };
        for (int showing = 1; showing <= 3; ++showing)
            EXPECT_FALSE(cache.paint(&p, key, rect, reaching)) << qPrintable(key.text) << " showing " << showing;
    }
    EXPECT_EQ(cache.pictures(), 1);
}

TEST(GridText, AnUnchangedScreenIsRepaintedWithoutLayingOutText)
{
    Grid g;
    g.setCols(4);
    g.setRows(60);
    for (int r = 1; r < 60; ++r)
        for (int c = 0; c < 4; ++c)
            g.setTextMatrix(r, c, QStringLiteral("r%1 c%2 text").arg(r).arg(c));
    g.resize(600, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    const auto *delegate = static_cast<const GridDelegate *>(g.view()->itemDelegate());
    g.view()->viewport()->repaint();
    const int first = delegate->texts().layouts();
    EXPECT_GT(first, 0);
    g.view()->viewport()->repaint();
    EXPECT_EQ(delegate->texts().layouts(), first) << "a repaint lays nothing out";
    g.setTextMatrix(1, 1, QStringLiteral("changed"));
    g.view()->viewport()->repaint();
    EXPECT_EQ(delegate->texts().layouts(), first + 1) << "only the changed cell";
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("changed"));
}

TEST(GridText, ANewBoundResultIsSizedOnItsFirstScreen)
{
    QTemporaryDir dir;
    auto conn = db::Connection::create();
    conn->setReadOnly(false);
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("s.db"))));
    conn->Execute(QStringLiteral("CREATE TABLE t(id INTEGER, name TEXT)"));
    conn->Execute(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) "
                                 "INSERT INTO t SELECT i, CASE WHEN i = 100 THEN 'a name far longer than the others' "
                                 "ELSE 'n' || i END FROM n"));
    Grid g;
    g.resize(400, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM t"), conn);
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    ASSERT_TRUE(g.model()->ensureRow(150)) << "row 100 is fetched but not on the first screen";
    g.setTopRow(1);
    g.AutoSize(0, 1);
    const QFontMetrics fm(g.font());
    EXPECT_LT(g.view()->columnWidth(1), fm.horizontalAdvance(QStringLiteral("a name far longer")));
    EXPECT_GE(g.view()->columnWidth(1), fm.horizontalAdvance(QStringLiteral("name")));

    // Scrolled to it, the rows on screen count; once every row is in, the sample does.
    g.setTopRow(95);
    g.AutoSize(1);
    EXPECT_GE(g.view()->columnWidth(1), fm.horizontalAdvance(QStringLiteral("a name far longer than the others")));
    g.setTopRow(1);
    g.AutoSize(1);
    EXPECT_LT(g.view()->columnWidth(1), fm.horizontalAdvance(QStringLiteral("a name far longer")));
    rs->fetchAll();
    g.model()->syncBound();
    g.setAutoSizeSampleRows(400);
    g.AutoSize(1);
    EXPECT_GE(g.view()->columnWidth(1), fm.horizontalAdvance(QStringLiteral("a name far longer than the others")));
}

TEST(GridText, AutoSizeGivesTheWidthOfTheWidestLaidOutText)
{
    // Texts whose character advances overstate or understate them: only the laid-out width counts.
    Grid g;
    g.setCols(2);
    g.setRows(1);
    const QStringList texts = {QStringLiteral("AVAVAVAVAVAVAV"), QStringLiteral("WWWWWWWWWWWW"), QStringLiteral("iiiiiiiiiiiiiiiiiiiiiiiiii"),
                               QStringLiteral("Sørensen & Þórsson"), QStringLiteral("1,234,567.89"), QStringLiteral("To Ty Wa Yo")};
    for (const QString &t : texts)
        g.AddItem(t + QLatin1Char('\t') + t);
    g.setCell(flexcpFontBold, 3, 1, true);
    g.AutoSize(0, 1);
    QFont bold = g.font();
    bold.setBold(true);
    int widest = 0, widestRight = 0;
    for (int i = 0; i < texts.size(); ++i) {
        widest = std::max(widest, QFontMetrics(g.font()).horizontalAdvance(texts[i]));
        widestRight = std::max(widestRight, QFontMetrics(i == 2 ? bold : g.font()).horizontalAdvance(texts[i]));
    }
    EXPECT_EQ(g.view()->columnWidth(0), widest + 8);
    EXPECT_EQ(g.view()->columnWidth(1), widestRight + 8);
}

namespace {

// What the window shows (the screen's pixels) and what the grid draws afresh without cell
// pictures, after the event loop has settled.
void expectScreenAsDrawn(Grid &g, const char *step)
{
    for (int round = 0; round < 10; ++round)
        QCoreApplication::processEvents();
    const QImage shown = g.screen()->grabWindow(g.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    CellImageCache::setEnabled(false);
    const QImage drawn = g.grab().toImage().convertToFormat(QImage::Format_RGB32);
    CellImageCache::setEnabled(true);
    ASSERT_EQ(shown.size(), drawn.size()) << step;
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            differing += shown.pixel(x, y) != drawn.pixel(x, y);
    EXPECT_EQ(differing, 0) << step;
}

} // namespace

// Cells and headings painted again from their pictures show the very pixels drawing them gives:
// texts of every kind and alignment, numbers too wide, fonts and colours of their own, the
// selection, a sort picture, each grid line style; after scrolling, resizing, new lines, new texts,
// a new font and fewer rows alike.
TEST(GridText, CellPicturesShowExactlyWhatDrawingShows)
{
    Grid g;
    g.setCols(6);
    g.setRows(80);
    g.setColDataType(1, flexDTDouble);
    g.setColAlignment(1, flexAlignRightCenter);
    g.setColAlignment(2, flexAlignCenterCenter);
    for (int r = 1; r < 80; ++r) {
        g.setTextMatrix(r, 0, kTexts[r % kTexts.size()]);
        g.setTextMatrix(r, 1, QString::number(r * 1234.5678, 'f', r % 4));
        g.setTextMatrix(r, 2, QStringLiteral("c%1").arg(r % 7));
        g.setTextMatrix(r, 3, r % 5 ? QStringLiteral("same text") : QStringLiteral("Wolfeschlegelsteinhausenberger"));
        g.setTextMatrix(r, 4, kTexts[(r * 3) % kTexts.size()]);
        g.setTextMatrix(r, 5, QString(r % 3 ? "x" : "ÆØÅ ‰ fi"));
    }
    g.setCell(flexcpFontBold, 3, 0, QVariant(true));
    g.setCell(flexcpFontItalic, 4, 4, QVariant(true));
    g.setCell(flexcpFontSize, 5, 4, QVariant(14));
    g.setCell(flexcpBackColor, 6, 1, 6, 3, QVariant(0x00CCEEFF));
    g.setCell(flexcpForeColor, 7, 0, 7, 5, QVariant(0x000000C0));
    const QStringList headings = {QStringLiteral("Name"), QStringLiteral("Amount"), QStringLiteral("AVAV Ty"),
                                  QStringLiteral("Sørensen & Þórsson"), QString(), QStringLiteral("A heading far wider than its column")};
    for (int c = 0; c < 6; ++c)
        g.setTextMatrix(0, c, headings[c]);
    g.setColSortPicture(1, flexSortGenericAscending);
    g.setFrozenCols(1);
    g.resize(520, 300);
    g.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
    const auto *delegate = static_cast<const GridDelegate *>(g.view()->itemDelegate());
    const auto *header = static_cast<const GridHeader *>(g.view()->horizontalHeader());
    const auto repaintTwice = [&] {
        for (int round = 0; round < 2; ++round) {
            for (QTableView *view : std::initializer_list<QTableView *>{g.view(), g.frozenView()}) {
                view->viewport()->update();
                view->horizontalHeader()->viewport()->update();
            }
            QCoreApplication::processEvents();
        }
    };

    repaintTwice();
    EXPECT_GT(delegate->pictures().pictures(), 20) << "cells shown twice are kept as pictures";
    EXPECT_GE(header->pictures().pictures(), 3) << "and headings";
    expectScreenAsDrawn(g, "first screen");

    g.setRow(2);
    g.setCol(1);
    g.setRowSel(5);
    g.setColSel(3);
    repaintTwice();
    expectScreenAsDrawn(g, "a selection");

    g.setTopRow(30);
    repaintTwice();
    g.setTopRow(1);
    repaintTwice();
    expectScreenAsDrawn(g, "scrolled away and back");

    g.setColWidth(3, 700);
    g.resize(480, 260);
    repaintTwice();
    expectScreenAsDrawn(g, "a narrower column and window");

    for (int style : {flexGridNone, flexGridInset, flexGridRaisedHorz, flexGridSkipVert, flexGridExcel}) {
        g.setGridLines(style);
        repaintTwice();
        expectScreenAsDrawn(g, qPrintable(QStringLiteral("grid lines %1").arg(style)));
    }

    g.setTextMatrix(2, 0, QStringLiteral("edited"));
    g.setTextMatrix(3, 3, QStringLiteral("same text"));
    repaintTwice();
    expectScreenAsDrawn(g, "edited cells");

    QFont larger = g.font();
    larger.setPointSize(larger.pointSize() + 3);
    g.setFont(larger);
    repaintTwice();
    expectScreenAsDrawn(g, "a new font");

    // Rows and columns taken away from a screen of pictures: the room they leave is background.
    g.setRows(4);
    g.setCols(3);
    repaintTwice();
    expectScreenAsDrawn(g, "fewer rows and columns");
}
