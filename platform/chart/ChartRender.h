#pragma once

// Inside the chart widget: what the 2-D and 3-D drawings share. Not part of the public API.

#include "chart/ChartView.h"

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class QChart;
class QPainter;
class QAbstractBarSeries;
class QPieSeries;

namespace chart::detail {

struct ChartLooks {
    int type = Chart3DBar;
    bool legend = true;
    bool stacking = false;
    QString title;
    QFont titleFont;
    QString axisTitle[4];
    QFont axisTitleFont[4];
    int axisLabelSize[4] = {9, 9, 9, 9};
};

// The colour of series k (0-based), the same in 2-D and 3-D.
QColor seriesColor(int k);
// A value as drawn: empty and non-finite points draw as 0.
double drawnValue(const std::optional<double> &v);

// The user's locale, grouping thousands even where it is the C locale, which by default does not.
QLocale groupingLocale();
// The fewest decimals that tell every tick of a value axis from min to max apart, so that round
// steps show no needless ".0".
int valueDecimals(double min, double max, int ticks);

// A value axis over low..high in round steps (1, 2, 2.5 or 5 times a power of ten).
struct NiceAxis {
    double min = 0;
    double max = 1;
    int segments = 1;
};
NiceAxis niceAxis(double low, double high);

// The band each series covers at each point (outer vector series, inner points), as a chart
// draws them: from 0 to the value, or, stacked, piled on the series before it, positive values
// upwards from 0 and negative ones downwards, apart.
struct Bands {
    std::vector<std::vector<double>> lower, upper;
};
Bands valueBands(const std::vector<std::vector<double>> &values, bool stacked);

// What a 3-D chart draws, worked out without OpenGL. The grid of bars (or the ribbons of an area)
// is rows deep and columns across; series of one point each are drawn as one row across them
// (transposed). Stacked, the series of each column are piled in one row instead of standing one
// behind the other; an area's ribbons keep their depth and rise to the top of their band.
struct Plan3D {
    bool transposed = false;
    bool stacked = false;
    int rows = 0;
    int columns = 0;
    std::vector<std::vector<double>> values; // each piece's own value, by series, then point
    Bands bands;                             // by series, then point
    QStringList seriesNames;                 // the legend, in seriesColor order
    QStringList columnLabels;                // the categories across
    QStringList rowLabels;                   // the rows' names (one blank row when stacked)
    double low = 0;                          // the value axis covers low..high, 0 included
    double high = 0;
    int seriesCount() const { return int(values.size()); }
    int pointCount() const { return values.empty() ? 0 : int(values[0].size()); }
    // The data's series and point (1-based) of drawn series s, point p (0-based).
    std::pair<int, int> dataPoint(int s, int p) const { return transposed ? std::pair(p + 1, 1) : std::pair(s + 1, p + 1); }
    // Where an area's ribbon passes: the band's top, or its foot for a value below 0.
    double ribbonHeight(int s, int p) const;
};
Plan3D plan3D(const ChartData &data, const ChartLooks &looks);

// How a 3-D graph is seen: the camera's turn and height in degrees (a zoom scales the picture,
// names and axes alike).
struct View3D {
    double rotation = 30;
    double elevation = 15;
};
// Every how many-th of count names along one edge of a 3-D graph's floor is shown, so that no two
// touch. The graph draws its names at a size of its own scene, as it does its bars: how many fit
// depends on the angle the camera sees the axis at, not on the window's size. The floor is
// 2 * across wide and 2 * deep deep (the longer side 1); the names run across or, not across,
// along its depth, at the edge nearer the camera; fontPoints is the graph's label font.
int categoryLabelStep(int count, bool alongAcross, double across, double deep, const View3D &view,
                      double fontPoints);

enum class Plot2D { Bars, Area, Pie };

// Above this many series of one point each, 2-D bars are drawn as one set across the categories.
constexpr int kSeriesAsSetsLimit = 100;
// Series a 2-D chart draws one by one (bar sets, areas, pie slices): past it Qt Charts takes
// minutes. 0 when the chart can be drawn, else the refusal for the user.
constexpr int kSeriesLimit2D = 500;
QString refusal2D(const ChartData &data, Plot2D plot);
Plot2D plot2DFor(int chartType);

// What a drawn 2-D chart needs to find the point under the mouse.
struct Hit2D {
    Plot2D plot = Plot2D::Bars;
    bool stacked = false;
    bool transposed = false;       // series of one point each drawn as one series across them
    int seriesCount = 0;           // as drawn
    int pointCount = 0;
    QAbstractBarSeries *bars = nullptr;
    std::vector<QPieSeries *> pies; // one per point
    QObject *anySeries = nullptr;   // for mapToValue
    // Per drawn series (outer) and point (inner): the band the series covers at that point.
    std::vector<std::vector<double>> lower, upper;
};

// A new chart showing data with looks, as plot (the title is drawn by the widget, not here).
// hit receives what pointAt needs when given.
QChart *build2D(const ChartData &data, const ChartLooks &looks, Plot2D plot, Hit2D *hit);
// The point at pos, in the chart's own item coordinates.
std::optional<ChartPoint> hitTest2D(QChart &chart, const Hit2D &hit, const ChartData &data,
                                    QPointF chartPos);

// How a legend's entries share the room it may take: the largest font at which they fit in
// columns side by side, else the smallest font with the names cut short.
struct LegendLayout {
    static constexpr int kSmallestPixels = 8;
    static constexpr double kSwatchGap = 5;
    static constexpr double kColumnGap = 12;
    QFont font; // sized in pixels
    int columns = 1;
    int rows = 1; // entries run down a column, then on in the next
    double line = 0;
    double swatch = 0;
    double textWidth = 0;
    double columnWidth = 0;
    double width = 0;
};
LegendLayout legendLayout(const QStringList &names, QFont font, QSizeF room);
// The legend and the value axis's labels of a built 2-D chart fitted to the chart's size; the
// chart refits them itself whenever its geometry changes, which, laid out at once, comes too late
// for the drawing.
void fitLegend(QChart &chart, QSizeF size);

// font sized in pixels of a 96 dpi layout, so that a painter scaled to a finer device draws it
// at the size the layout gave it, whatever the device's own resolution.
QFont pixelFont(QFont font);
// The same for every font of a built 2-D chart (before it is laid out).
void usePixelFonts(QChart &chart);

// The chart title at the top left of rect; returns the height it took (0 for no title).
int titleHeight(const QString &title, const QFont &font, int width);
void paintTitle(QPainter &painter, const QRect &rect, const QString &title, const QFont &font);

} // namespace chart::detail
