#include "chart/ChartRender.h"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QPen>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <unordered_set>

namespace chart::detail {

QColor seriesColor(int k)
{
    static const QRgb palette[] = {0x4f81bd, 0xc0504d, 0x9bbb59, 0x8064a2, 0x4bacc6, 0xf79646,
                                   0x2c4d75, 0x772c2a, 0x5f7530, 0x4d3b62, 0x276a7c, 0xb65708};
    constexpr int n = int(std::size(palette));
    QColor c(palette[k % n]);
    // Past one round of the palette the colours repeat a little lighter, then darker, so that
    // neighbouring series stay apart.
    const int round = (k / n) % 3;
    return round == 1 ? c.lighter(140) : round == 2 ? c.darker(140) : c;
}

double drawnValue(const std::optional<double> &v)
{
    return v && std::isfinite(*v) ? *v : 0.0;
}

QLocale groupingLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale;
}

int valueDecimals(double min, double max, int ticks)
{
    if (ticks < 2 || !(max > min))
        return 0;
    const double step = (max - min) / (ticks - 1);
    for (int decimals = 0; decimals < 10; ++decimals) {
        const double unit = std::pow(10.0, decimals);
        bool whole = true;
        for (int i = 0; i < ticks && whole; ++i) {
            const double v = (min + i * step) * unit;
            whole = std::abs(v - std::round(v)) <= 1e-6 * std::max(1.0, std::abs(v));
        }
        if (whole)
            return decimals;
    }
    return 10;
}

NiceAxis niceAxis(double low, double high)
{
    if (!(high > low))
        high = low + 1;
    const double raw = (high - low) / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / magnitude;
    const double step = (f <= 1 ? 1 : f <= 2 ? 2 : f <= 2.5 ? 2.5 : f <= 5 ? 5 : 10) * magnitude;
    NiceAxis axis;
    axis.min = std::floor(low / step + 1e-9) * step;
    axis.max = std::ceil(high / step - 1e-9) * step;
    axis.segments = std::max(1, int(std::lround((axis.max - axis.min) / step)));
    return axis;
}

Bands valueBands(const std::vector<std::vector<double>> &values, bool stacked)
{
    const size_t S = values.size();
    const size_t P = S ? values[0].size() : 0;
    Bands out;
    out.lower.assign(S, std::vector<double>(P, 0.0));
    out.upper.assign(S, std::vector<double>(P, 0.0));
    // Stacks grow up from 0 for positive values and down for negative ones, apart.
    std::vector<std::pair<double, double>> tops(P, {0.0, 0.0});
    for (size_t s = 0; s < S; ++s) {
        for (size_t p = 0; p < P; ++p) {
            const double v = values[s][p];
            double lo = 0, hi = v;
            if (stacked) {
                lo = v >= 0 ? tops[p].first : tops[p].second;
                hi = lo + v;
                (v >= 0 ? tops[p].first : tops[p].second) = hi;
            }
            out.lower[s][p] = std::min(lo, hi);
            out.upper[s][p] = std::max(lo, hi);
        }
    }
    return out;
}

Plot2D plot2DFor(int chartType)
{
    switch (chartType) {
    case Chart3DArea: return Plot2D::Area;
    case Chart2DPie: return Plot2D::Pie;
    default: return Plot2D::Bars;
    }
}

namespace {

constexpr int kCategoryLabelLength = 40;

// A category axis drops repeated names, so repeats get invisible marks to stay apart.
QStringList distinctLabels(QStringList labels)
{
    std::unordered_set<QString> seen;
    for (QString &label : labels) {
        if (label.isEmpty())
            label = QStringLiteral(" ");
        while (!seen.insert(label).second)
            label += QChar(0x200B);
    }
    return labels;
}

void styleAxis(QAbstractAxis *axis, const ChartLooks &looks, int id, const QString &title)
{
    axis->setTitleText(title);
    axis->setTitleFont(looks.axisTitleFont[id]);
    axis->setTitleVisible(!title.isEmpty());
    if (looks.axisLabelSize[id] <= 0) {
        axis->setLabelsVisible(false);
    } else {
        QFont f = axis->labelsFont();
        f.setPointSize(looks.axisLabelSize[id]);
        axis->setLabelsFont(f);
    }
}

// A label that draws nothing and differs from every other label, i's own (binary in zero-width
// characters).
QString invisibleLabel(qsizetype i)
{
    QString out;
    for (int bit = 0; bit < 32; ++bit)
        out += QChar((i >> bit) & 1 ? 0x200C : 0x200B);
    return out;
}

// Category labels that do not fit side by side are turned upright, and when even upright ones
// would touch, only every n-th is shown.
void fitCategoryLabels(QChart *chart, QBarCategoryAxis *axis)
{
    if (!axis->labelsVisible())
        return;
    const QStringList full = axis->categories();
    if (full.isEmpty())
        return;
    auto apply = [axis, full, state = std::make_shared<std::pair<int, int>>(0, 1)](const QRectF &area) {
        const QFontMetricsF fm(axis->labelsFont());
        const double band = area.width() / full.size();
        double widest = 0;
        for (const QString &label : full)
            widest = std::max(widest, fm.horizontalAdvance(label));
        const int gap = 6;
        int angle = 0, step = 1;
        if (widest + gap > band) {
            angle = -90;
            step = std::max(1, int(std::ceil((fm.height() + gap) / std::max(1.0, band))));
        }
        if (*state == std::make_pair(angle, step))
            return;
        *state = {angle, step};
        QStringList shown = full;
        for (qsizetype i = 0; i < shown.size(); ++i)
            if (i % step != 0)
                shown[i] = invisibleLabel(i);
        axis->setLabelsAngle(angle);
        if (shown != axis->categories())
            axis->setCategories(shown);
    };
    QObject::connect(chart, &QChart::plotAreaChanged, axis, apply);
}

// A 2-D chart has no depth axis: its category axis falls back on the depth title.
QString categoryTitle(const ChartLooks &looks)
{
    return looks.axisTitle[AxisCategory].isEmpty() ? looks.axisTitle[AxisDepth]
                                                  : looks.axisTitle[AxisCategory];
}

// Axes over the bands the series cover (hit.lower/upper), so that every series and every stack
// fits: the axes' own ranges follow only some series of an area chart.
void addAxes(QChart *chart, const QStringList &categories, const ChartLooks &looks,
             const std::vector<QAbstractSeries *> &series, const Hit2D &hit)
{
    auto *x = new QBarCategoryAxis;
    // Whole labels, turned or thinned to fit (fitCategoryLabels); only a very long one is cut.
    QStringList shortened = categories;
    for (QString &label : shortened)
        if (label.size() > kCategoryLabelLength)
            label = label.left(kCategoryLabelLength - 1) + QChar(0x2026);
    x->append(distinctLabels(shortened));
    x->setTruncateLabels(false);
    styleAxis(x, looks, AxisCategory, categoryTitle(looks));
    auto *y = new QValueAxis;
    styleAxis(y, looks, AxisValue, looks.axisTitle[AxisValue]);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries *s : series) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    double low = 0, high = 0;
    for (const auto &band : hit.lower)
        for (double v : band)
            low = std::min(low, v);
    for (const auto &band : hit.upper)
        for (double v : band)
            high = std::max(high, v);
    // Round steps; a flat chart (all 0) still gets an axis.
    if (high == low)
        high = low + 1;
    y->setRange(low, high);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.") + QString::number(valueDecimals(y->min(), y->max(), y->tickCount()))
                      + u'f');
    chart->setLocale(groupingLocale());
    chart->setLocalizeNumbers(true);
    fitCategoryLabels(chart, x);
}

void fillBands(Hit2D &hit, const std::vector<std::vector<double>> &values, bool stacked)
{
    Bands bands = valueBands(values, stacked);
    hit.lower = std::move(bands.lower);
    hit.upper = std::move(bands.upper);
}

// The series as drawn: the data's own, or, transposed, its series of one point each as the points
// of a single series.
struct Drawn {
    std::vector<std::vector<double>> values; // by series, then point
    QStringList names;                       // of the series
    QStringList categories;                  // of the points
    int seriesCount() const { return int(values.size()); }
    int pointCount() const { return values.empty() ? 0 : int(values[0].size()); }
};

Drawn drawnSeries(const ChartData &data, const ChartLooks &looks, bool transposed)
{
    const int S = data.seriesCount();
    const int P = data.pointCount();
    Drawn out;
    if (transposed) {
        out.values.assign(1, std::vector<double>(S));
        for (int s = 1; s <= S; ++s) {
            out.values[0][s - 1] = drawnValue(data.seriesValue(s, 1));
            out.categories << data.seriesLabel(s);
        }
        // The one series drawn is the value: named by it when the data gives it no name.
        out.names << (data.pointLabel(1).trimmed().isEmpty() ? looks.axisTitle[AxisValue] : data.pointLabel(1));
        return out;
    }
    out.values.assign(S, std::vector<double>(P));
    for (int s = 1; s <= S; ++s) {
        out.names << data.seriesLabel(s);
        for (int p = 1; p <= P; ++p)
            out.values[s - 1][p - 1] = drawnValue(data.seriesValue(s, p));
    }
    for (int p = 1; p <= P; ++p)
        out.categories << data.pointLabel(p);
    return out;
}

QStringList buildBars(QChart *chart, const ChartData &data, const ChartLooks &looks, Hit2D &hit)
{
    // Many series of one point each (one group column) go in one bar set across the categories:
    // a set each costs time that grows with the square of their number.
    hit.transposed = data.pointCount() == 1 && data.seriesCount() > kSeriesAsSetsLimit;
    const Drawn drawn = drawnSeries(data, looks, hit.transposed);
    QAbstractBarSeries *series = looks.stacking ? static_cast<QAbstractBarSeries *>(new QStackedBarSeries)
                                                : new QBarSeries;
    for (int s = 0; s < drawn.seriesCount(); ++s) {
        auto *set = new QBarSet(drawn.names.value(s));
        const QColor c = seriesColor(s);
        set->setColor(c);
        set->setBorderColor(c.darker(130));
        set->append(QList<qreal>(drawn.values[s].begin(), drawn.values[s].end()));
        series->append(set);
    }
    // Groups share most of the width, so few categories do not leave bars in a thin middle strip.
    series->setBarWidth(0.85);
    chart->addSeries(series);
    fillBands(hit, drawn.values, looks.stacking);
    addAxes(chart, drawn.categories, looks, {series}, hit);
    hit.bars = series;
    hit.anySeries = series;
    hit.seriesCount = drawn.seriesCount();
    hit.pointCount = drawn.pointCount();
    return drawn.names;
}

QStringList buildArea(QChart *chart, const ChartData &data, const ChartLooks &looks, Hit2D &hit)
{
    // Series of one point each (one group column) make no area: draw them as one line of points.
    hit.transposed = data.pointCount() == 1 && data.seriesCount() > 1;
    const Drawn drawn = drawnSeries(data, looks, hit.transposed);
    fillBands(hit, drawn.values, looks.stacking);
    std::vector<QAbstractSeries *> all;
    for (int s = 0; s < drawn.seriesCount(); ++s) {
        auto *upper = new QLineSeries;
        auto *lower = new QLineSeries;
        for (int p = 0; p < drawn.pointCount(); ++p) {
            const bool negative = drawn.values[s][p] < 0;
            upper->append(p, negative ? hit.lower[s][p] : hit.upper[s][p]);
            lower->append(p, negative ? hit.upper[s][p] : hit.lower[s][p]);
        }
        auto *area = new QAreaSeries(upper, lower);
        upper->setParent(area);
        lower->setParent(area);
        area->setName(drawn.names.value(s));
        QColor c = seriesColor(s);
        area->setBorderColor(c.darker(130));
        // Areas side by side overlap: later ones must not hide the earlier ones.
        if (!looks.stacking && drawn.seriesCount() > 1)
            c.setAlpha(150);
        area->setColor(c);
        chart->addSeries(area);
        all.push_back(area);
    }
    addAxes(chart, drawn.categories, looks, all, hit);
    hit.anySeries = all.empty() ? nullptr : all.front();
    hit.seriesCount = drawn.seriesCount();
    hit.pointCount = drawn.pointCount();
    return drawn.names;
}

QStringList buildPie(QChart *chart, const ChartData &data, Hit2D &hit)
{
    const int S = data.seriesCount();
    const int P = data.pointCount();
    // One pie per point, its slices the series, laid out in a near-square grid.
    const int cols = std::max(1, int(std::ceil(std::sqrt(double(P)))));
    const int rows = std::max(1, (P + cols - 1) / cols);
    // Several pies are named by a caption under each, so they are a little smaller.
    const bool captions = P > 1;
    const double size = captions ? 0.75 / std::max(cols, rows) : 0.85;
    std::vector<QGraphicsSimpleTextItem *> texts;
    int negatives = 0;
    for (int p = 1; p <= P; ++p) {
        auto *pie = new QPieSeries;
        pie->setName(data.pointLabel(p));
        for (int s = 1; s <= S; ++s) {
            const double v = drawnValue(data.seriesValue(s, p));
            negatives += v < 0;
            auto *slice = pie->append(data.seriesLabel(s), std::max(0.0, v));
            const QColor c = seriesColor(s - 1);
            slice->setColor(c);
            slice->setBorderColor(c.darker(130));
        }
        pie->setHorizontalPosition((((p - 1) % cols) + 0.5) / cols);
        pie->setVerticalPosition((((p - 1) / cols) + (captions ? 0.45 : 0.5)) / rows);
        pie->setPieSize(size);
        if (captions)
            texts.push_back(new QGraphicsSimpleTextItem(data.pointLabel(p), chart));
        chart->addSeries(pie);
        hit.pies.push_back(pie);
    }
    if (captions) {
        const std::vector<QPieSeries *> pies = hit.pies;
        QObject::connect(chart, &QChart::plotAreaChanged, chart, [pies, texts, cols](const QRectF &area) {
            const double radius = pies.front()->pieSize() * std::min(area.width(), area.height()) / 2;
            // A caption wider than its pie's column is cut short, not run into its neighbour's.
            const double room = std::max(1.0, area.width() / cols - 6);
            for (size_t i = 0; i < pies.size(); ++i) {
                const QFontMetricsF fm(texts[i]->font());
                texts[i]->setText(fm.elidedText(pies[i]->name(), Qt::ElideRight, room));
                const QRectF box = texts[i]->boundingRect();
                texts[i]->setPos(area.left() + pies[i]->horizontalPosition() * area.width() - box.width() / 2,
                                 area.top() + pies[i]->verticalPosition() * area.height() + radius + 2);
            }
        });
    }
    if (negatives > 0) {
        // A slice cannot be less than nothing: say what the pie leaves out.
        const QString text = negatives == 1
                                 ? QCoreApplication::translate("chart::ChartView", "1 negative value not shown")
                                 : QCoreApplication::translate("chart::ChartView", "%1 negative values not shown")
                                       .arg(negatives);
        auto *note = new QGraphicsSimpleTextItem(text, chart);
        QMargins margins = chart->margins();
        margins.setBottom(margins.bottom() + int(std::ceil(note->boundingRect().height())) + 4);
        chart->setMargins(margins);
        QObject::connect(chart, &QChart::plotAreaChanged, chart, [note, chart](const QRectF &) {
            const QRectF box = note->boundingRect();
            note->setPos(8, chart->size().height() - box.height() - 6);
        });
    }
    hit.anySeries = hit.pies.empty() ? nullptr : hit.pies.front();
    hit.seriesCount = S;
    hit.pointCount = P;
    // Every pie has the same slices: the legend names them once.
    QStringList names;
    for (int s = 1; s <= S; ++s)
        names << data.seriesLabel(s);
    return names;
}

// The legend of a 2-D chart, at its right. Qt's own lists the entries in one column and cuts
// off those that do not fit; this one takes a smaller font, then more columns, until every entry
// shows. It is fitted to a size before the chart is laid out at that size (fitLegend), so that a
// chart drawn at once, as a printout is, needs no second layout.
class LegendBox : public QGraphicsRectItem {
public:
    LegendBox(QChart *chart, const QStringList &names)
        : QGraphicsRectItem(chart), m_base(chart->legend()->font()), m_names(names)
    {
        setPen(Qt::NoPen);
        setBrush(Qt::NoBrush);
        m_baseRight = chart->margins().right();
        for (int i = 0; i < names.size(); ++i) {
            auto *swatch = new QGraphicsRectItem(this);
            const QColor c = seriesColor(i);
            swatch->setBrush(c);
            swatch->setPen(QPen(c.darker(130), 0));
            m_swatches.push_back(swatch);
            m_texts.push_back(new QGraphicsSimpleTextItem(this));
        }
    }

    void fit(QChart &chart, QSizeF size)
    {
        QMargins margins = chart.margins();
        int right = m_baseRight;
        if (isVisible() && !m_names.isEmpty() && !size.isEmpty()) {
            const double top = margins.top();
            const double height = std::max(1.0, size.height() - top - margins.bottom());
            const LegendLayout l = legendLayout(m_names, m_base, QSizeF(size.width() / 3, height));
            const QFontMetricsF fm(l.font);
            const double left = size.width() - m_baseRight - l.width;
            const double y0 = top + std::max(0.0, (height - l.rows * l.line) / 2);
            for (qsizetype i = 0; i < m_names.size(); ++i) {
                const double x = left + double(i / l.rows) * (l.columnWidth + LegendLayout::kColumnGap);
                const double y = y0 + double(i % l.rows) * l.line;
                m_swatches[i]->setRect(x, y + (l.line - l.swatch) / 2, l.swatch, l.swatch);
                m_texts[i]->setFont(l.font);
                m_texts[i]->setText(fm.elidedText(m_names[i], Qt::ElideRight, l.textWidth));
                m_texts[i]->setPos(x + l.swatch + LegendLayout::kSwatchGap, y + (l.line - fm.height()) / 2);
            }
            setRect(left, y0, l.width, l.rows * l.line);
            right = m_baseRight + int(std::ceil(l.width)) + 8;
        }
        if (margins.right() != right) {
            margins.setRight(right);
            chart.setMargins(margins);
        }
    }

private:
    QFont m_base;
    int m_baseRight = 0;
    QStringList m_names;
    std::vector<QGraphicsRectItem *> m_swatches;
    std::vector<QGraphicsSimpleTextItem *> m_texts;
};

LegendBox *legendOf(QChart &chart)
{
    for (QGraphicsItem *item : chart.childItems())
        if (auto *box = dynamic_cast<LegendBox *>(item))
            return box;
    return nullptr;
}

// Qt Charts gives the axes at the left at most this share of the width inside the chart's
// margins and cuts their labels short beyond it.
constexpr double kLeftAxesShare = 0.4;
constexpr char kBaseLabelPixels[] = "tabulonBaseLabelPixels";

// The value axis's labels in the largest font (up to the one asked for) at which the widest of
// them and the axis title fit the room Qt Charts leaves the axis, so that a narrow chart shows
// every number whole rather than "8,00...".
void fitValueLabels(QChart &chart, QSizeF size)
{
    const QMargins margins = chart.margins();
    const double room = std::floor(kLeftAxesShare * (size.width() - margins.left() - margins.right()));
    for (QAbstractAxis *axis : chart.axes(Qt::Vertical)) {
        auto *values = qobject_cast<QValueAxis *>(axis);
        if (!values || !values->labelsVisible())
            continue;
        QFont font = values->labelsFont();
        if (!values->property(kBaseLabelPixels).isValid())
            values->setProperty(kBaseLabelPixels, pixelFont(font).pixelSize());
        const int largest = values->property(kBaseLabelPixels).toInt();
        const int smallest = std::min(largest, LegendLayout::kSmallestPixels);
        // The title stands upright beside the labels, with Qt's paddings around both.
        const double title = values->isTitleVisible() && !values->titleText().isEmpty()
                                 ? QFontMetricsF(values->titleFont()).height() + 4
                                 : 0;
        const int ticks = std::max(2, values->tickCount());
        const int decimals = valueDecimals(values->min(), values->max(), ticks);
        const QLocale locale = groupingLocale();
        int px = largest;
        for (; px > smallest; --px) {
            font.setPixelSize(px);
            const QFontMetricsF fm(font);
            double widest = 0;
            for (int i = 0; i < ticks; ++i) {
                const double v = values->min() + i * (values->max() - values->min()) / (ticks - 1);
                widest = std::max(widest, fm.horizontalAdvance(locale.toString(v, 'f', decimals)));
            }
            if (title + widest + 12 <= room)
                break;
        }
        font.setPixelSize(px);
        if (font != values->labelsFont())
            values->setLabelsFont(font);
    }
}

} // namespace

LegendLayout legendLayout(const QStringList &names, QFont font, QSizeF room)
{
    // Sizes in pixels: the same on the screen and, scaled, on a printer.
    const double points = font.pointSizeF();
    const int largest = points > 0 ? int(std::lround(points * 96.0 / 72.0)) : std::max(1, font.pixelSize());
    const int smallest = std::min(largest, LegendLayout::kSmallestPixels);
    LegendLayout l;
    const qsizetype n = std::max<qsizetype>(1, names.size());
    for (int px = largest; px >= smallest; --px) {
        font.setPixelSize(px);
        const QFontMetricsF fm(font);
        l.font = font;
        l.line = std::ceil(fm.height()) + 2;
        l.swatch = std::ceil(fm.ascent() * 0.85);
        const int fitting = std::max(1, int(room.height() / l.line));
        l.columns = int((n + fitting - 1) / fitting);
        l.rows = int((n + l.columns - 1) / l.columns); // columns of even length
        l.textWidth = 0;
        for (const QString &name : names)
            l.textWidth = std::max(l.textWidth, std::ceil(fm.horizontalAdvance(name)));
        l.columnWidth = l.swatch + LegendLayout::kSwatchGap + l.textWidth;
        l.width = l.columns * l.columnWidth + (l.columns - 1) * LegendLayout::kColumnGap;
        if (l.width <= room.width()) {
            // Where the height allows, the entries stand a little apart.
            l.line = std::max(l.line, std::min(std::floor(room.height() / l.rows), std::ceil(fm.height() * 1.5)));
            return l;
        }
    }
    // Even the smallest letters do not fit side by side: the names are cut short instead.
    const double column = (room.width() - (l.columns - 1) * LegendLayout::kColumnGap) / l.columns;
    l.textWidth = std::max(QFontMetricsF(l.font).horizontalAdvance(u'M') * 3,
                           column - l.swatch - LegendLayout::kSwatchGap);
    l.columnWidth = l.swatch + LegendLayout::kSwatchGap + l.textWidth;
    l.width = l.columns * l.columnWidth + (l.columns - 1) * LegendLayout::kColumnGap;
    return l;
}

void fitLegend(QChart &chart, QSizeF size)
{
    if (LegendBox *box = legendOf(chart))
        box->fit(chart, size);
    fitValueLabels(chart, size);
}

QString refusal2D(const ChartData &data, Plot2D plot)
{
    const int S = data.seriesCount();
    const int P = data.pointCount();
    // Series of one point each are drawn as one (bars, area); pies have a slice per series each.
    const qint64 drawn = plot == Plot2D::Pie ? qint64(S) * P : (P == 1 ? 1 : S);
    if (drawn <= kSeriesLimit2D)
        return {};
    return QCoreApplication::translate("chart::ChartView",
                                       "Too many series to draw in 2-D: %1 series of %2 points. "
                                       "A 2-D chart draws at most %3 series (bars or areas) or %3 slices.")
        .arg(S)
        .arg(P)
        .arg(kSeriesLimit2D);
}

QChart *build2D(const ChartData &data, const ChartLooks &looks, Plot2D plot, Hit2D *hitOut)
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    // The chart's own legend (LegendBox) stands in for Qt's.
    chart->legend()->setVisible(false);
    Hit2D hit;
    hit.plot = plot;
    hit.stacked = looks.stacking && plot != Plot2D::Pie;
    QStringList names;
    if (data.seriesCount() > 0 && data.pointCount() > 0) {
        switch (plot) {
        case Plot2D::Bars: names = buildBars(chart, data, looks, hit); break;
        case Plot2D::Area: names = buildArea(chart, data, looks, hit); break;
        case Plot2D::Pie: names = buildPie(chart, data, hit); break;
        }
    }
    auto *legend = new LegendBox(chart, names);
    legend->setVisible(looks.legend);
    QObject::connect(chart, &QGraphicsWidget::geometryChanged, chart,
                     [chart] { fitLegend(*chart, chart->size()); });
    if (hitOut)
        *hitOut = std::move(hit);
    return chart;
}

std::optional<ChartPoint> hitTest2D(QChart &chart, const Hit2D &hit, const ChartData &data,
                                    QPointF chartPos)
{
    if (!hit.anySeries || !chart.plotArea().contains(chartPos))
        return std::nullopt;
    auto point = [&](int s, int p) -> std::optional<ChartPoint> {
        // s, p 0-based as drawn; back to the data's series and points.
        int series = s + 1, dataPoint = p + 1;
        if (hit.transposed) {
            series = p + 1;
            dataPoint = 1;
        }
        if (series > data.seriesCount() || dataPoint > data.pointCount())
            return std::nullopt;
        return ChartPoint{series, dataPoint, data.rowOf(series, dataPoint),
                          data.columnOf(series, dataPoint)};
    };

    if (hit.plot == Plot2D::Pie) {
        const QRectF area = chart.plotArea();
        for (size_t p = 0; p < hit.pies.size(); ++p) {
            const QPieSeries *pie = hit.pies[p];
            const QPointF centre(area.left() + pie->horizontalPosition() * area.width(),
                                 area.top() + pie->verticalPosition() * area.height());
            const double radius = pie->pieSize() * std::min(area.width(), area.height()) / 2;
            const QPointF d = chartPos - centre;
            if (std::hypot(d.x(), d.y()) > radius)
                continue;
            // Slices run clockwise from twelve o'clock.
            double angle = std::atan2(d.x(), -d.y()) * 180 / std::numbers::pi;
            if (angle < 0)
                angle += 360;
            const auto slices = pie->slices();
            for (int s = 0; s < slices.size(); ++s) {
                const QPieSlice *slice = slices[s];
                if (slice->angleSpan() > 0 && angle >= slice->startAngle()
                    && angle < slice->startAngle() + slice->angleSpan())
                    return point(s, int(p));
            }
        }
        return std::nullopt;
    }

    auto *series = qobject_cast<QAbstractSeries *>(hit.anySeries);
    const QPointF v = chart.mapToValue(chartPos, series);
    const int p = int(std::lround(v.x()));
    if (p < 0 || p >= hit.pointCount)
        return std::nullopt;
    auto within = [&](int s) { return v.y() >= hit.lower[s][p] && v.y() <= hit.upper[s][p]; };

    if (hit.plot == Plot2D::Bars) {
        const double width = hit.bars->barWidth();
        const double left = p - width / 2;
        if (v.x() < left || v.x() >= left + width)
            return std::nullopt;
        if (hit.stacked) {
            for (int s = 0; s < hit.seriesCount; ++s)
                if (within(s))
                    return point(s, p);
            return std::nullopt;
        }
        const int s = std::clamp(int((v.x() - left) / (width / hit.seriesCount)), 0, hit.seriesCount - 1);
        return within(s) ? point(s, p) : std::nullopt;
    }

    // Area: the last series drawn lies on top.
    for (int s = hit.seriesCount - 1; s >= 0; --s)
        if (within(s))
            return point(s, p);
    return std::nullopt;
}

QFont pixelFont(QFont font)
{
    if (font.pointSizeF() > 0)
        font.setPixelSize(std::max(1, int(std::lround(font.pointSizeF() * 96.0 / 72.0))));
    return font;
}

void usePixelFonts(QChart &chart)
{
    chart.setTitleFont(pixelFont(chart.titleFont()));
    chart.legend()->setFont(pixelFont(chart.legend()->font()));
    for (QAbstractAxis *axis : chart.axes()) {
        axis->setLabelsFont(pixelFont(axis->labelsFont()));
        axis->setTitleFont(pixelFont(axis->titleFont()));
    }
    for (QGraphicsItem *item : chart.childItems())
        if (auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item))
            text->setFont(pixelFont(text->font()));
}

int titleHeight(const QString &title, const QFont &font, int width)
{
    if (title.isEmpty())
        return 0;
    const QFontMetrics fm(font);
    const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, width - 16), 10000), Qt::TextWordWrap, title);
    return r.height() + 8;
}

void paintTitle(QPainter &painter, const QRect &rect, const QString &title, const QFont &font)
{
    if (title.isEmpty())
        return;
    painter.save();
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(rect.adjusted(8, 4, -8, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, title);
    painter.restore();
}

} // namespace chart::detail
