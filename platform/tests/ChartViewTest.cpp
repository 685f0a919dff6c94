#include "chart/ChartView.h"
#include "chart/ChartRender.h"

#include <QAbstractBarSeries>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QImage>
#include <QPieSeries>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using chart::ChartData;
using chart::ChartView;

namespace {

void fillOneGroup(ChartData &d, const std::vector<double> &values)
{
    d.clear();
    d.setRowCount(1);
    d.setColumnCount(int(values.size()));
    for (int c = 1; c <= int(values.size()); ++c) {
        d.setValue(1, c, values[c - 1]);
        d.setColumnLabel(c, QStringLiteral("Group %1").arg(c));
    }
}

void fillTwoGroups(ChartData &d)
{
    d.clear();
    d.setRowCount(3);
    d.setColumnCount(4);
    for (int r = 1; r <= 3; ++r) {
        d.setRowLabel(r, QStringLiteral("S%1").arg(r));
        for (int c = 1; c <= 4; ++c)
            if ((r + c) % 4 != 0) // some pairs missing
                d.setValue(r, c, r * 10 + c - (r == 2 ? 25 : 0)); // and some negative
    }
    for (int c = 1; c <= 4; ++c)
        d.setColumnLabel(c, QStringLiteral("C%1").arg(c));
    d.setDataSeriesInRow(true);
}

// Pixels that are neither white nor near white: what was drawn.
int inkedPixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 235)
                ++n;
    return n;
}

bool hasColour(const QImage &image, QRgb colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                return true;
    return false;
}

const int kTypes[] = {chart::Chart3DBar, chart::Chart2DBar, chart::Chart3DArea, chart::Chart2DPie};

} // namespace

TEST(ChartView, EveryTypeDrawsAPictureOffscreenWithAndWithoutStacking)
{
    ChartView view;
    view.setTitleText("Sum of Amount by Region\\Year");
    view.setAxisTitle(chart::AxisValue, "Sum of Amount");
    view.setAxisTitle(chart::AxisCategory, "Region");
    for (bool twoGroups : {false, true}) {
        if (twoGroups)
            fillTwoGroups(view.data());
        else
            fillOneGroup(view.data(), {3, 1200, 45, 0, 7.5});
        for (int type : kTypes) {
            for (bool stack : {false, true}) {
                view.setChartType(type);
                view.setStacking(stack);
                const QImage image = view.Picture(QSize(480, 320));
                ASSERT_FALSE(image.isNull());
                EXPECT_EQ(image.size(), QSize(480, 320));
                EXPECT_GT(inkedPixels(image), 480 * 320 / 50)
                    << "type " << type << " stack " << stack << " two groups " << twoGroups;
                EXPECT_TRUE(hasColour(image, 0x4f81bd)) << "the first series' colour, type " << type;
            }
        }
    }
}

TEST(ChartView, EmptyAndSinglePointChartsDrawWithoutFailing)
{
    ChartView view;
    for (int type : kTypes) {
        view.setChartType(type);
        view.data().clear();
        EXPECT_FALSE(view.Picture(QSize(200, 150)).isNull());
        view.data().setRowCount(1);
        view.data().setColumnCount(1);
        EXPECT_FALSE(view.Picture(QSize(200, 150)).isNull());
        view.data().setValue(1, 1, std::numeric_limits<double>::quiet_NaN());
        EXPECT_FALSE(view.Picture(QSize(200, 150)).isNull());
    }
    EXPECT_TRUE(view.Picture(QSize(0, 10)).isNull());
}

TEST(ChartView, ThreeDimensionalTypesFallBackToTwoDimensionsOffscreenAndSaySo)
{
    ASSERT_FALSE(ChartView::openGLAvailable()) << "the offscreen platform has no OpenGL windows";
    ChartView view;
    EXPECT_EQ(view.ChartType(), chart::Chart3DBar) << "a new chart is a 3-D bar chart";
    EXPECT_TRUE(view.Fallback2D());
    view.setChartType(chart::Chart2DBar);
    QSignalSpy changed(&view, &ChartView::RenderStateChanged);
    EXPECT_FALSE(view.Fallback2D());
    EXPECT_TRUE(view.FallbackText().isEmpty());
    view.setChartType(chart::Chart3DArea);
    EXPECT_TRUE(view.Is3DType());
    EXPECT_FALSE(view.Drawn3D());
    EXPECT_TRUE(view.Fallback2D());
    EXPECT_FALSE(view.FallbackText().isEmpty());
    EXPECT_EQ(changed.count(), 1);
    view.setChartType(chart::Chart3DBar);
    EXPECT_TRUE(view.Fallback2D());
    EXPECT_EQ(changed.count(), 1) << "still in 2-D: nothing changed";
    view.setChartType(chart::Chart2DPie);
    EXPECT_FALSE(view.Fallback2D());
    EXPECT_EQ(changed.count(), 2);
}

TEST(ChartView, TheViewIsKeptInRangeAndSurvivesTypeChanges)
{
    ChartView view;
    EXPECT_EQ(view.Rotation(), 30);
    EXPECT_EQ(view.Elevation(), 15);
    view.Set3DView(-30, 100);
    EXPECT_EQ(view.Rotation(), 330);
    EXPECT_EQ(view.Elevation(), 90);
    view.Set3DView(390, -5);
    EXPECT_EQ(view.Rotation(), 30);
    EXPECT_EQ(view.Elevation(), 0);
    view.Set3DView(360, 45);
    EXPECT_EQ(view.Rotation(), 0);
    view.setChartType(chart::Chart2DPie);
    view.setChartType(chart::Chart3DBar);
    EXPECT_EQ(view.Elevation(), 45);
    EXPECT_THROW(view.setAxisTitle(4, "x"), std::out_of_range);
    EXPECT_THROW(view.AxisTitle(-1), std::out_of_range);
}

TEST(ChartView, TooManyPointsAreRefusedWithAMessageNotWrapped)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    QSignalSpy changed(&view, &ChartView::RenderStateChanged);
    std::vector<double> values(40000, 1.0);
    fillOneGroup(view.data(), values);
    const QImage image = view.Picture(QSize(300, 200));
    EXPECT_FALSE(image.isNull());
    EXPECT_TRUE(view.DrawError().contains("40000")) << view.DrawError().toStdString();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(view.data().ColumnCount(), 40000);

    fillOneGroup(view.data(), {1, 2});
    view.Picture(QSize(300, 200));
    EXPECT_TRUE(view.DrawError().isEmpty());
    EXPECT_EQ(changed.count(), 2);
}

TEST(ChartView, EditCopyPutsThePictureOnTheClipboard)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    fillOneGroup(view.data(), {1, 2, 3});
    view.resize(320, 240);
    QGuiApplication::clipboard()->clear();
    view.EditCopy();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(320, 240));
    EXPECT_GT(inkedPixels(copied), 1000);
}

TEST(ChartView, PrintingLaysTheChartOutAtScreenSizeAndScalesIt)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    view.setTitleText("Title");
    fillOneGroup(view.data(), {1, 2, 3});
    QImage page(2400, 1600, QImage::Format_ARGB32_Premultiplied);
    page.setDotsPerMeterX(23622); // 600 dpi
    page.setDotsPerMeterY(23622);
    page.fill(Qt::white);
    QPainter painter(&page);
    view.render(painter, QRectF(0, 0, 2400, 1600));
    painter.end();
    EXPECT_GT(inkedPixels(page), 2400 * 1600 / 50);

    // Laid out at once for the page, category names too long to stand side by side are turned
    // upright before anything is placed: none runs off the bottom or over the axis title there.
    ChartData &d = view.data();
    d.clear();
    d.setRowCount(26);
    d.setColumnCount(1);
    for (int r = 1; r <= 26; ++r) {
        d.setRowLabel(r, QStringLiteral("Category number %1").arg(r));
        d.setValue(r, 1, r * 1000.0);
    }
    view.setAxisTitle(chart::AxisCategory, QStringLiteral("Country"));
    const QImage narrow = view.Picture(QSize(476, 540));
    EXPECT_EQ(inkedPixels(narrow.copy(0, narrow.height() - 4, narrow.width(), 4)), 0);
}

namespace {

// The point of a drawn 2-D chart at (category, value), in ChartView coordinates.
QPoint positionOf(ChartView &view, QPointF value)
{
    auto *chartView = view.findChild<QChartView *>();
    QChart *chart = chartView->chart();
    const QPointF inChart = chart->mapToPosition(value, chart->series().constFirst());
    const QPoint inViewport = chartView->mapFromScene(chart->mapToScene(inChart));
    return chartView->viewport()->mapTo(&view, inViewport);
}

QWidget *plotWidget(ChartView &view) { return view.findChild<QChartView *>()->viewport(); }

} // namespace

TEST(ChartView, ClickingABarSelectsItsSeriesAndPoint)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    view.setShowLegend(false);
    fillTwoGroups(view.data()); // 3 series (rows) over 4 points (columns)
    view.resize(640, 480);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSignalSpy selected(&view, &ChartView::PointSelected);

    // Bars of a category share half its width: series 3 of point 2 lies right of its centre.
    const double value = *view.data().value(3, 2);
    const QPoint at = positionOf(view, QPointF(1 + 0.5 / 3, value / 2));
    const auto point = view.pointAt(at);
    ASSERT_TRUE(point.has_value());
    EXPECT_EQ(point->series, 3);
    EXPECT_EQ(point->dataPoint, 2);
    EXPECT_EQ(point->row, 3);
    EXPECT_EQ(point->column, 2);
    QTest::mouseClick(plotWidget(view), Qt::LeftButton, {}, plotWidget(view)->mapFrom(&view, at));
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected[0][0].toInt(), 3);
    EXPECT_EQ(selected[0][1].toInt(), 2);

    // Above the bar there is no point.
    EXPECT_FALSE(view.pointAt(positionOf(view, QPointF(1 + 0.5 / 3, value * 3))).has_value());

    // Stacked: the same column, one bar; the middle of series 1's block.
    view.setStacking(true);
    const double first = *view.data().value(1, 1);
    const auto stacked = view.pointAt(positionOf(view, QPointF(0, first / 2)));
    ASSERT_TRUE(stacked.has_value());
    EXPECT_EQ(stacked->series, 1);
    EXPECT_EQ(stacked->dataPoint, 1);
}

TEST(ChartView, ClickingASliceSelectsItsSeries)
{
    ChartView view;
    view.setChartType(chart::Chart2DPie);
    view.setShowLegend(false);
    fillOneGroup(view.data(), {1, 1}); // two halves: series 1 right, series 2 left
    view.resize(400, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto *chartView = view.findChild<QChartView *>();
    const QRectF plot = chartView->chart()->plotArea();
    const QPoint centre = chartView->viewport()->mapTo(
        &view, chartView->mapFromScene(chartView->chart()->mapToScene(plot.center())));
    const int off = int(std::min(plot.width(), plot.height()) / 6);
    const auto right = view.pointAt(centre + QPoint(off, 0));
    const auto left = view.pointAt(centre - QPoint(off, 0));
    ASSERT_TRUE(right && left);
    EXPECT_EQ(right->series, 1);
    EXPECT_EQ(left->series, 2);
    EXPECT_FALSE(view.pointAt(centre + QPoint(int(plot.width()), 0)).has_value());

    // Two group columns: a pie per point, each telling its own point.
    fillTwoGroups(view.data());
    view.Picture(QSize(10, 10)); // draws the widget's chart anew
    const QList<QAbstractSeries *> pies = chartView->chart()->series();
    ASSERT_EQ(pies.size(), 4);
    const QRectF area = chartView->chart()->plotArea();
    for (int p = 0; p < 4; ++p) {
        const auto *pie = qobject_cast<QPieSeries *>(pies[p]);
        const QPointF c(area.left() + pie->horizontalPosition() * area.width(),
                        area.top() + pie->verticalPosition() * area.height());
        const double r = pie->pieSize() * std::min(area.width(), area.height()) / 4;
        const auto hit = view.pointAt(chartView->viewport()->mapTo(
            &view, chartView->mapFromScene(chartView->chart()->mapToScene(c + QPointF(0, -r)))));
        ASSERT_TRUE(hit.has_value()) << p;
        EXPECT_EQ(hit->dataPoint, p + 1);
        EXPECT_EQ(hit->column, p + 1);
    }
}

TEST(ChartView, MouseAndKeysReachTheProgramInItsCodes)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    fillOneGroup(view.data(), {1, 2});
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QSignalSpy down(&view, &ChartView::MouseDown);
    QSignalSpy up(&view, &ChartView::MouseUp);
    QSignalSpy keyDown(&view, &ChartView::KeyDown);
    QSignalSpy keyUp(&view, &ChartView::KeyUp);

    QTest::mouseClick(plotWidget(view), Qt::RightButton, Qt::ShiftModifier, QPoint(20, 30));
    ASSERT_EQ(down.count(), 1);
    ASSERT_EQ(up.count(), 1);
    EXPECT_EQ(up[0][0].toInt(), chart::ButtonRight);
    EXPECT_EQ(up[0][1].toInt(), chart::ShiftShift);
    const QPoint expected = plotWidget(view)->mapTo(&view, QPoint(20, 30));
    EXPECT_EQ(up[0][2].toInt(), expected.x());
    EXPECT_EQ(up[0][3].toInt(), expected.y());
    EXPECT_TRUE(view.hasFocus()) << "a click gives the chart the keyboard";

    // Sent as the window system sends them, with the state before the key (QTest would press
    // the modifier keys first on its own): pressing Ctrl alone holds Ctrl.
    auto send = [&](QEvent::Type type, Qt::KeyboardModifiers before) {
        QKeyEvent event(type, Qt::Key_Control, before);
        QApplication::sendEvent(&view, &event);
    };
    send(QEvent::KeyPress, Qt::NoModifier);
    send(QEvent::KeyRelease, Qt::ControlModifier);
    send(QEvent::KeyPress, Qt::ShiftModifier);
    ASSERT_EQ(keyDown.count(), 2);
    EXPECT_EQ(keyDown[0][0].toInt(), int(Qt::Key_Control));
    EXPECT_EQ(keyDown[0][1].toInt(), chart::ShiftCtrl);
    EXPECT_EQ(keyDown[1][1].toInt(), chart::ShiftCtrl | chart::ShiftShift);
    EXPECT_EQ(keyUp.count(), 1);

    view.setMousePointer(chart::PointerCross);
    EXPECT_EQ(view.MousePointer(), chart::PointerCross);
    EXPECT_EQ(plotWidget(view)->cursor().shape(), Qt::CrossCursor);
    view.setMousePointer(chart::PointerDefault);
    EXPECT_EQ(plotWidget(view)->cursor().shape(), Qt::ArrowCursor);
}

TEST(ChartView, EditsToAHiddenChartAreDrawnWhenShown)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    QSignalSpy updated(&view, &ChartView::PlotUpdated);
    for (int i = 1; i <= 50; ++i) {
        view.data().setRowCount(1);
        view.data().setColumnCount(i);
        view.data().setValue(1, i, i);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(updated.count(), 0) << "no drawing while hidden and filling";
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(updated.count(), 1);
    auto *series = qobject_cast<QAbstractBarSeries *>(
        view.findChild<QChartView *>()->chart()->series().constFirst());
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->count(), 50) << "one bar set per series";
}

TEST(ChartView, ManySeriesOfOnePointAreDrawnAsOneSetAndStillPickedBySeries)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    std::vector<double> values(150);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = double(i % 7 + 1);
    fillOneGroup(view.data(), values);
    view.resize(900, 500);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto *series = qobject_cast<QAbstractBarSeries *>(
        view.findChild<QChartView *>()->chart()->series().constFirst());
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->count(), 1);
    const auto point = view.pointAt(positionOf(view, QPointF(119, values[119] / 2)));
    ASSERT_TRUE(point.has_value());
    EXPECT_EQ(point->series, 120);
    EXPECT_EQ(point->dataPoint, 1);
    EXPECT_EQ(point->column, 120);
    EXPECT_TRUE(view.DrawError().isEmpty());
}

TEST(ChartView, TooManySeriesForTwoDimensionsAreRefusedWithAMessage)
{
    ChartView view;
    ChartData &d = view.data();
    d.setRowCount(2);
    d.setColumnCount(600); // 600 series of 2 points
    for (int c = 1; c <= 600; ++c)
        d.setValue(1, c, c);
    for (int type : {chart::Chart2DBar, chart::Chart3DArea, chart::Chart3DBar}) {
        view.setChartType(type);
        EXPECT_FALSE(view.Picture(QSize(200, 100)).isNull());
        EXPECT_TRUE(view.DrawError().contains("600")) << type;
    }
    // A pie has a slice per series and point: 100 x 6 is too many, 100 x 5 is not.
    view.setChartType(chart::Chart2DPie);
    d.setColumnCount(100);
    d.setRowCount(6);
    view.Picture(QSize(200, 100));
    EXPECT_FALSE(view.DrawError().isEmpty());
    d.setRowCount(5);
    view.Picture(QSize(200, 100));
    EXPECT_TRUE(view.DrawError().isEmpty());
}

TEST(ChartView, EverySeriesOfAStackFitsTheValueAxis)
{
    ChartView view;
    view.setStacking(true);
    view.setShowLegend(false); // its markers carry the colours too
    ChartData &d = view.data();
    d.setRowCount(3);
    d.setColumnCount(4);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 4; ++c)
            d.setValue(r, c, r * 3 + c * 2 + (c % 2) * 4);
    d.setDataSeriesInRow(true); // the third series stacks far above the first's values
    for (int type : {chart::Chart2DBar, chart::Chart3DArea}) {
        view.setChartType(type);
        const QImage image = view.Picture(QSize(480, 320));
        for (QRgb colour : {0x4f81bdu, 0xc0504du, 0x9bbb59u})
            EXPECT_TRUE(hasColour(image, colour)) << "type " << type << " colour " << std::hex << colour;
    }

    // What a 3-D chart is given, worked out without OpenGL: each category's series piled (bars
    // in one row, an area's ribbons at their own depth), negative values hanging below 0 apart
    // from the positive ones, as the 2-D stack draws them; each piece keeps its own value.
    using chart::detail::plan3D;
    fillTwoGroups(d); // S1: 11 12 - 14; S2: -4 - -2 -1; S3: - 32 33 34
    chart::detail::ChartLooks looks;
    looks.stacking = true;
    looks.type = chart::Chart3DBar;
    const chart::detail::Plan3D bars = plan3D(d, looks);
    EXPECT_TRUE(bars.stacked);
    EXPECT_EQ(bars.rows, 1);
    EXPECT_EQ(bars.columns, 4);
    EXPECT_EQ(bars.seriesNames, QStringList({"S1", "S2", "S3"}));
    const std::vector<std::vector<double>> lower{{0, 0, 0, 0}, {-4, 12, -2, -1}, {11, 12, 0, 14}};
    const std::vector<std::vector<double>> upper{{11, 12, 0, 14}, {0, 12, 0, 0}, {11, 44, 33, 48}};
    EXPECT_EQ(bars.bands.lower, lower);
    EXPECT_EQ(bars.bands.upper, upper);
    EXPECT_EQ(bars.values[2][3], 34);
    EXPECT_EQ(bars.low, -4);
    EXPECT_EQ(bars.high, 48);
    EXPECT_EQ(bars.dataPoint(2, 3), std::pair(3, 4));
    looks.type = chart::Chart3DArea;
    const chart::detail::Plan3D area = plan3D(d, looks);
    EXPECT_EQ(area.rows, 3);
    EXPECT_EQ(area.ribbonHeight(1, 0), -4);
    EXPECT_EQ(area.ribbonHeight(2, 3), 48);
    EXPECT_EQ(area.high, 48);
    looks.stacking = false; // side by side again: every band from 0
    const chart::detail::Plan3D apart = plan3D(d, looks);
    EXPECT_FALSE(apart.stacked);
    EXPECT_EQ(apart.ribbonHeight(2, 3), 34);
    EXPECT_EQ(apart.bands.lower[2][3], 0);
    EXPECT_EQ(apart.high, 34);
    looks.stacking = true; // one group column: one series across, nothing to pile
    looks.type = chart::Chart3DBar;
    fillOneGroup(d, {3, 1200, 45, 0, 7.5});
    const chart::detail::Plan3D across = plan3D(d, looks);
    EXPECT_TRUE(across.transposed);
    EXPECT_FALSE(across.stacked);
    EXPECT_EQ(across.columns, 5);
    EXPECT_EQ(across.high, 1200);
    EXPECT_EQ(across.dataPoint(0, 1), std::pair(2, 1));
}

namespace {

struct DrawnText {
    QString text;
    QRectF rect; // in scene coordinates
};

// Every visible text of the chart drawn in the widget, as the scene holds it.
std::vector<DrawnText> drawnTexts(ChartView &view)
{
    std::vector<DrawnText> out;
    for (QGraphicsItem *item : view.findChild<QChartView *>()->scene()->items()) {
        if (!item->isVisible())
            continue;
        QString text;
        if (auto *t = dynamic_cast<QGraphicsTextItem *>(item))
            text = t->toPlainText();
        else if (auto *s = dynamic_cast<QGraphicsSimpleTextItem *>(item))
            text = s->text();
        else
            continue;
        text.remove(QChar(0x200B)).remove(QChar(0x200C));
        if (!text.trimmed().isEmpty())
            out.push_back({text, item->sceneBoundingRect()});
    }
    return out;
}

QRectF plotArea(ChartView &view) { return view.findChild<QChartView *>()->chart()->plotArea(); }

// The legend's entries as drawn: the texts right of the plot area.
std::vector<DrawnText> legendEntries(ChartView &view)
{
    std::vector<DrawnText> out;
    for (const DrawnText &t : drawnTexts(view))
        if (t.rect.left() >= plotArea(view).right())
            out.push_back(t);
    return out;
}

} // namespace

TEST(ChartView, LabelsAreGroupedApartAndEverySeriesNamed)
{
    ChartView view;
    view.setChartType(chart::Chart2DBar);
    view.resize(480, 320);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    // Values to twenty million: grouped, as the locale groups them, with no needless ".0".
    ChartData &d = view.data();
    d.clear();
    d.setRowCount(40);
    d.setColumnCount(2);
    for (int r = 1; r <= 40; ++r) {
        d.setRowLabel(r, QStringLiteral("Category number %1").arg(r));
        for (int c = 1; c <= 2; ++c)
            d.setValue(r, c, r * 500000.0 / c);
    }
    d.setColumnLabel(1, QStringLiteral("Amount"));
    d.setColumnLabel(2, QStringLiteral("Half"));
    auto valueLabels = [&] {
        QStringList out;
        for (const DrawnText &t : drawnTexts(view))
            if (t.rect.right() <= plotArea(view).left() + 1)
                out << t.text;
        return out;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return valueLabels().contains(QStringLiteral("20,000,000")); }));
    for (const QString &label : valueLabels())
        EXPECT_FALSE(label.endsWith(QStringLiteral(".0"))) << label.toStdString();

    // Forty long category labels in 480 pixels: none drawn over another.
    auto categoryLabels = [&] {
        std::vector<DrawnText> out;
        for (const DrawnText &t : drawnTexts(view))
            if (t.rect.top() >= plotArea(view).bottom() - 1 && t.text.startsWith(QStringLiteral("Category")))
                out.push_back(t);
        return out;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !categoryLabels().empty(); })) << "labels cut to \"...\"";
    const auto categories = categoryLabels();
    for (size_t i = 0; i < categories.size(); ++i)
        for (size_t j = i + 1; j < categories.size(); ++j)
            EXPECT_FALSE(categories[i].rect.intersects(categories[j].rect))
                << categories[i].text.toStdString() << " over " << categories[j].text.toStdString();

    // Legend on: one entry a series for every type, the 3-D ones drawn in 2-D here included.
    for (int type : kTypes) {
        view.setChartType(type);
        EXPECT_TRUE(QTest::qWaitFor([&] { return int(legendEntries(view).size()) == d.seriesCount(); }))
            << "type " << type << ": " << legendEntries(view).size() << " entries";
    }

    // Twenty-six series in a chart the size a query window on a 1024 x 768 screen gives it: every
    // entry shown whole, inside the chart, apart from the others and from the plot.
    view.setChartType(chart::Chart2DBar);
    view.resize(940, 400);
    d.clear();
    d.setRowCount(1);
    d.setColumnCount(26);
    QStringList names;
    for (int c = 1; c <= 26; ++c) {
        d.setValue(1, c, c * 100000.0);
        names << QStringLiteral("Country number %1 (%2)").arg(c).arg(QLocale().toString(c * 100000.0, 'f', 0));
        d.setColumnLabel(c, names.back());
    }
    auto namesShown = [&] {
        QStringList shown;
        for (const DrawnText &t : legendEntries(view))
            shown << t.text;
        shown.sort();
        return shown;
    };
    names.sort();
    ASSERT_TRUE(QTest::qWaitFor([&] { return namesShown() == names; })) << namesShown().join(u'|').toStdString();
    const auto entries = legendEntries(view);
    const QRectF whole = view.findChild<QChartView *>()->chart()->geometry();
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_TRUE(whole.contains(entries[i].rect)) << entries[i].text.toStdString();
        EXPECT_FALSE(entries[i].rect.intersects(plotArea(view))) << entries[i].text.toStdString();
        for (size_t j = i + 1; j < entries.size(); ++j)
            EXPECT_FALSE(entries[i].rect.intersects(entries[j].rect))
                << entries[i].text.toStdString() << " over " << entries[j].text.toStdString();
    }
    // Printed, the chart is laid out at once, with no turn of the event loop to fit the legend
    // afterwards: the plot stops short of it there too, and its last entry is drawn.
    const QImage printed = view.Picture(view.size());
    const QRect gap = QRectF(plotArea(view).right() + 2, plotArea(view).top(), 4, plotArea(view).height()).toRect();
    EXPECT_EQ(inkedPixels(printed.copy(gap)), 0) << "the plot runs on under the legend";
    const auto last = std::find_if(entries.begin(), entries.end(),
                                   [](const DrawnText &t) { return t.text.startsWith("Country number 26 "); });
    ASSERT_NE(last, entries.end());
    EXPECT_GT(inkedPixels(printed.copy(last->rect.toRect())), 20);

    // As narrow as a query window beside the data sources on a 1400 x 900 screen, with the large
    // value labels and bold axis title the program asks for: every number shown whole (a smaller
    // font rather than "2,50..."), none over the title or another.
    const QString axisTitle = QStringLiteral("Sum of Subtotal");
    view.setAxisLabelFontSize(chart::AxisValue, 15);
    QFont bold(QStringLiteral("Arial"), 16);
    bold.setBold(true);
    view.setAxisTitleFont(chart::AxisValue, bold);
    view.setAxisTitle(chart::AxisValue, axisTitle);
    view.resize(476, 540);
    auto leftOfPlot = [&] {
        std::vector<DrawnText> out;
        for (const DrawnText &t : drawnTexts(view))
            if (t.rect.right() <= plotArea(view).left() + 1)
                out.push_back(t);
        return out;
    };
    auto numbersWhole = [&] {
        int numbers = 0, titles = 0;
        for (const DrawnText &t : leftOfPlot()) {
            bool number = false;
            QLocale().toDouble(t.text, &number);
            if (t.text != axisTitle && !number)
                return false;
            numbers += number;
            titles += t.text == axisTitle;
        }
        // and laid out beside the legend fitted to this width
        const QChart *chart = view.findChild<QChartView *>()->chart();
        return numbers >= 3 && titles == 1
               && plotArea(view).right() <= chart->size().width() - chart->margins().right() + 1;
    };
    auto shown = [&] {
        QStringList texts;
        for (const DrawnText &t : leftOfPlot())
            texts << t.text;
        return texts.join(u'|').toStdString();
    };
    ASSERT_TRUE(QTest::qWaitFor(numbersWhole)) << shown();
    const auto left = leftOfPlot();
    for (size_t i = 0; i < left.size(); ++i)
        for (size_t j = i + 1; j < left.size(); ++j)
            EXPECT_FALSE(left[i].rect.intersects(left[j].rect))
                << left[i].text.toStdString() << " over " << left[j].text.toStdString();

    // A pie cannot draw negative values: it says so rather than pass them over in silence.
    view.setChartType(chart::Chart2DPie);
    fillOneGroup(view.data(), {-5.5, 3.25, -0.5});
    auto noted = [&] {
        QStringList notes;
        for (const DrawnText &t : drawnTexts(view))
            if (t.text.contains(QStringLiteral("negative")))
                notes << t.text;
        return notes;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return noted() == QStringList{QStringLiteral("2 negative values not shown")}; }))
        << noted().join(u'|').toStdString();
    // Emptied and filled again in the same steps, as a refresh does: drawn anew, without the note.
    fillOneGroup(view.data(), {5.5, 3.25, 0.5});
    ASSERT_TRUE(QTest::qWaitFor([&] { return noted().isEmpty(); })) << noted().join(u'|').toStdString();

    // As narrow as a query window beside the data sources on a 1400 x 900 screen: the names under
    // many pies, wider than their pies' columns, are cut short rather than run into each other.
    view.resize(476, 540);
    d.clear();
    d.setRowCount(6);
    d.setColumnCount(26);
    for (int c = 1; c <= 26; ++c) {
        d.setColumnLabel(c, QStringLiteral("United Kingdom %1").arg(c));
        for (int r = 1; r <= 6; ++r)
            d.setValue(r, c, c * 300000.0 / r);
    }
    d.setDataSeriesInRow(true);
    view.setChartType(chart::Chart2DPie);
    auto captions = [&] {
        std::vector<DrawnText> out;
        for (const DrawnText &t : drawnTexts(view))
            if (t.text.startsWith(QStringLiteral("United")) && t.rect.right() <= plotArea(view).right() + 1)
                out.push_back(t);
        return out;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return captions().size() == 26; })) << captions().size();
    const auto under = captions();
    for (size_t i = 0; i < under.size(); ++i)
        for (size_t j = i + 1; j < under.size(); ++j)
            EXPECT_FALSE(under[i].rect.intersects(under[j].rect))
                << under[i].text.toStdString() << " over " << under[j].text.toStdString();

    // A 3-D graph draws its names at a size of its scene: how many fit follows the angle its
    // axis is seen at, not the window. 26 names across need every second at the starting view,
    // more when the axis is seen nearly end on, none left out face on; 6 fit whole.
    using chart::detail::categoryLabelStep;
    const chart::detail::View3D start;
    EXPECT_EQ(categoryLabelStep(26, true, 1, 6.0 / 26, start, 12), 2);
    EXPECT_EQ(categoryLabelStep(6, true, 1, 6.0 / 26, start, 12), 1);
    EXPECT_GE(categoryLabelStep(26, true, 1, 6.0 / 26, {80, 15}, 12), 4);
    EXPECT_EQ(categoryLabelStep(26, true, 1, 6.0 / 26, {0, 15}, 12), 1);
}

TEST(ChartView, ShownSlidersOverTheEdgesCoverNothingOfTheChart)
{
    QWidget window;
    window.resize(600, 400);
    auto *view = new ChartView(&window);
    view->setGeometry(0, 0, 600, 400);
    view->setChartType(chart::Chart2DBar);
    fillTwoGroups(view->data());
    auto *across = new QSlider(Qt::Horizontal, &window);
    across->setGeometry(100, 370, 400, 24);
    auto *upright = new QSlider(Qt::Vertical, &window);
    upright->setGeometry(576, 40, 24, 320);
    across->hide();
    upright->hide();
    view->keepClearOf(across);
    view->keepClearOf(upright);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto drawnArea = [&] {
        QWidget *chart = view->findChild<QChartView *>();
        return QRect(chart->mapTo(&window, QPoint(0, 0)), chart->size());
    };
    EXPECT_EQ(drawnArea(), QRect(0, 0, 600, 400));

    across->show();
    upright->show();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return !drawnArea().intersects(across->geometry()) && !drawnArea().intersects(upright->geometry());
    })) << "drawn in " << drawnArea().width() << " x " << drawnArea().height();
    EXPECT_GT(drawnArea().height(), 300);
    EXPECT_GT(drawnArea().width(), 500);

    across->hide();
    upright->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return drawnArea() == QRect(0, 0, 600, 400); }));
}
