#include "chart/Chart3D.h"

#include <Q3DBars>
#include <Q3DCamera>
#include <Q3DScene>
#include <Q3DSurface>
#include <Q3DTheme>
#include <QBar3DSeries>
#include <QBarDataProxy>
#include <QCategory3DAxis>
#include <QSurface3DSeries>
#include <QSurfaceDataProxy>
#include <QValue3DAxis>
#include <QValue3DAxisFormatter>

#include <QWindow>

#include <algorithm>

namespace chart::detail {

namespace {

// Each axis label is a texture of its own: past this many the graph takes seconds a frame, so
// longer axes show every n-th label (a surface) or none (bars: the legend and a selected bar's
// label name them).
constexpr int kAxisLabelLimit = 100;

QStringList thinnedLabels(const QStringList &labels, int limit = kAxisLabelLimit)
{
    limit = std::clamp(limit, 1, kAxisLabelLimit);
    if (labels.size() <= limit)
        return labels;
    const qsizetype step = (labels.size() + limit - 1) / limit;
    QStringList out;
    for (qsizetype i = 0; i < labels.size(); ++i)
        out << (i % step == 0 ? labels[i] : QString());
    return out;
}

// How many category labels fit side by side along an axis of a graph this wide: past it they
// run into each other.
int labelRoom(const QWindow *window)
{
    const int width = window && window->width() > 0 ? window->width() : 640;
    return std::max(2, width / 50);
}

// Labels of categories at whole positions of a value axis (a surface has no category axes).
class CategoryFormatter : public QValue3DAxisFormatter {
public:
    explicit CategoryFormatter(QStringList labels = {}) : m_labels(std::move(labels)) {}

protected:
    QValue3DAxisFormatter *createNewInstance() const override { return new CategoryFormatter; }
    void populateCopy(QValue3DAxisFormatter &copy) const override
    {
        QValue3DAxisFormatter::populateCopy(copy);
        static_cast<CategoryFormatter &>(copy).m_labels = m_labels;
    }
    void recalculate() override
    {
        const int n = int(m_labels.size());
        gridPositions().clear();
        labelPositions().clear();
        labelStrings().clear();
        for (int i = 0; i < n; ++i) {
            if (m_labels[i].isEmpty())
                continue;
            const float span = axis()->max() - axis()->min();
            const float pos = span > 0 ? (float(i) - axis()->min()) / span : 0.5f;
            gridPositions().append(pos);
            labelPositions().append(pos);
            labelStrings().append(m_labels[i]);
        }
    }

private:
    QStringList m_labels;
};

// Values as the 2-D axes show them: grouped, no more decimals than the steps need.
class GroupedFormatter : public QValue3DAxisFormatter {
protected:
    QValue3DAxisFormatter *createNewInstance() const override { return new GroupedFormatter; }
    QString stringForValue(qreal value, const QString &) const override
    {
        const QValue3DAxis *a = axis();
        const int decimals = a ? valueDecimals(a->min(), a->max(), a->segmentCount() + 1) : 0;
        return groupingLocale().toString(value, 'f', decimals);
    }
};

void styleTheme(Q3DTheme *theme)
{
    theme->setType(Q3DTheme::ThemeQt);
    theme->setBackgroundEnabled(false);
    theme->setWindowColor(Qt::white);
    theme->setLabelBackgroundEnabled(false);
    theme->setLabelBorderEnabled(false);
    theme->setLabelTextColor(Qt::black);
    theme->setColorStyle(Q3DTheme::ColorStyleUniform);
}

} // namespace

Graph3D::Graph3D(bool surface, QObject *parent) : QObject(parent), m_surface(surface)
{
    if (surface) {
        m_surfaceGraph = new Q3DSurface;
        m_surfaceGraph->axisY()->setFormatter(new GroupedFormatter);
        m_surfaceGraph->axisX()->setLabelAutoRotation(90);
        m_surfaceGraph->axisZ()->setLabelAutoRotation(90);
        m_graph = m_surfaceGraph;
    } else {
        m_bars = new Q3DBars;
        m_bars->valueAxis()->setFormatter(new GroupedFormatter);
        // Names turn towards the viewer: lying flat on the floor they cannot be read.
        m_bars->rowAxis()->setLabelAutoRotation(90);
        m_bars->columnAxis()->setLabelAutoRotation(90);
        m_graph = m_bars;
    }
    // The chart's own mouse rules apply (Ctrl-drag rotates, right click is the caller's), not
    // the graph's default ones.
    m_graph->setActiveInputHandler(nullptr);
    m_graph->setShadowQuality(QAbstract3DGraph::ShadowQualityNone);
    m_graph->setSelectionMode(QAbstract3DGraph::SelectionItem);
    styleTheme(m_graph->activeTheme());
}

Graph3D::~Graph3D()
{
    // The window belongs to its container when embedded; otherwise to us.
    if (m_graph && !m_graph->parent())
        delete m_graph.data();
}

QWindow *Graph3D::window() const { return m_graph; }
bool Graph3D::hasContext() const { return m_graph && m_graph->hasContext(); }

void Graph3D::show(const ChartData &data, const ChartLooks &looks)
{
    m_seriesReal = data.seriesCount();
    m_pointsReal = data.pointCount();
    m_transposed = false;
    QStringList seriesLabels, pointLabels;
    for (int s = 1; s <= m_seriesReal; ++s)
        seriesLabels << data.seriesLabel(s);
    for (int p = 1; p <= m_pointsReal; ++p)
        pointLabels << data.pointLabel(p);
    const QString categoryTitle = looks.axisTitle[AxisCategory];
    const QString depthTitle = looks.axisTitle[AxisDepth];
    const QString valueTitle = looks.axisTitle[AxisValue];
    m_ignoreSelection = true;
    m_legendNames = seriesLabels;

    if (m_bars) {
        for (QBar3DSeries *old : m_bars->seriesList()) {
            m_bars->removeSeries(old);
            delete old;
        }
        // Series of one point each go in one row across the front, as the 2-D chart draws
        // them: a row each would stand them one behind the other, their names on top of each
        // other.
        m_transposed = m_pointsReal == 1 && m_seriesReal > 1;
        if (m_transposed)
            m_legendNames = {pointLabels.value(0).trimmed().isEmpty() ? valueTitle : pointLabels.value(0)};
        const int rows = m_transposed ? 1 : m_seriesReal;
        const int columns = m_transposed ? m_seriesReal : m_pointsReal;
        auto *series = new QBar3DSeries;
        auto *array = new QBarDataArray;
        array->reserve(rows);
        QList<QColor> colours;
        double low = 0, high = 0;
        for (int r = 0; r < rows; ++r) {
            auto *row = new QBarDataRow(columns);
            for (int c = 0; c < columns; ++c) {
                const double v = m_transposed ? drawnValue(data.seriesValue(c + 1, 1))
                                               : drawnValue(data.seriesValue(r + 1, c + 1));
                (*row)[c].setValue(float(v));
                low = std::min(low, v);
                high = std::max(high, v);
            }
            array->append(row);
            colours << seriesColor(r);
        }
        // The one row of a transposed chart is named by the legend.
        const QStringList rowLabels = m_transposed ? QStringList{QString()} : seriesLabels;
        const QStringList columnLabels = m_transposed ? seriesLabels : pointLabels;
        series->dataProxy()->resetArray(array, thinnedLabels(rowLabels, labelRoom(m_graph)),
                                        thinnedLabels(columnLabels, labelRoom(m_graph)));
        series->setRowColors(colours);
        series->setMesh(QAbstract3DSeries::MeshBar);
        series->setItemLabelFormat(QStringLiteral("@rowLabel, @colLabel: @valueLabel"));
        m_bars->addSeries(series);
        const QString columnTitle = m_transposed && categoryTitle.isEmpty() ? depthTitle : categoryTitle;
        const QString rowTitle = m_transposed ? QString() : depthTitle;
        m_bars->rowAxis()->setTitle(rowTitle);
        m_bars->rowAxis()->setTitleVisible(!rowTitle.isEmpty());
        m_bars->columnAxis()->setTitle(columnTitle);
        m_bars->columnAxis()->setTitleVisible(!columnTitle.isEmpty());
        const NiceAxis nice = niceAxis(low, high);
        m_bars->valueAxis()->setRange(float(nice.min), float(nice.max));
        m_bars->valueAxis()->setSegmentCount(nice.segments);
        m_bars->valueAxis()->setTitle(valueTitle);
        m_bars->valueAxis()->setTitleVisible(!valueTitle.isEmpty());
        connect(series, &QBar3DSeries::selectedBarChanged, this, [this](const QPoint &pos) {
            if (m_ignoreSelection || pos.x() < 0 || pos.y() < 0)
                return;
            if (m_transposed)
                emit pointSelected(pos.y() + 1, 1);
            else
                emit pointSelected(pos.x() + 1, pos.y() + 1);
        });
    } else {
        for (QSurface3DSeries *old : m_surfaceGraph->seriesList()) {
            m_surfaceGraph->removeSeries(old);
            delete old;
        }
        // Each series is a ribbon of its own colour at its own depth, as the legend names them.
        // Series of one point each make no ribbon: they are drawn as one across them, as in 2-D.
        m_transposed = m_pointsReal == 1 && m_seriesReal > 1;
        if (m_transposed)
            m_legendNames = {pointLabels.value(0).trimmed().isEmpty() ? valueTitle : pointLabels.value(0)};
        const int ribbons = m_transposed ? 1 : m_seriesReal;
        const int points = m_transposed ? m_seriesReal : m_pointsReal;
        auto valueAt = [&](int ribbon, int point) {
            if (m_seriesReal < 1 || m_pointsReal < 1)
                return 0.0;
            return m_transposed ? drawnValue(data.seriesValue(point + 1, 1))
                                : drawnValue(data.seriesValue(ribbon + 1, point + 1));
        };
        // An area rises from 0, as the 2-D one does.
        float low = 0, high = 0;
        for (int r = 0; r < std::max(1, ribbons); ++r) {
            auto *array = new QSurfaceDataArray;
            // Two rows make the ribbon's depth; a single point is drawn across a whole step.
            for (float z : {float(r) - 0.4f, float(r) + 0.4f}) {
                auto *row = new QSurfaceDataRow(std::max(2, points));
                for (int p = 0; p < std::max(2, points); ++p) {
                    const double v = valueAt(r, std::min(p, std::max(1, points) - 1));
                    const float x = points > 1 ? float(p) : float(p) - 0.5f;
                    (*row)[p].setPosition(QVector3D(x, float(v), z));
                    low = std::min(low, float(v));
                    high = std::max(high, float(v));
                }
                array->append(row);
            }
            auto *series = new QSurface3DSeries;
            series->dataProxy()->resetArray(array);
            series->setDrawMode(QSurface3DSeries::DrawSurfaceAndWireframe);
            series->setFlatShadingEnabled(true);
            series->setBaseColor(seriesColor(r));
            series->setWireframeColor(seriesColor(r).darker(130));
            m_surfaceGraph->addSeries(series);
            connect(series, &QSurface3DSeries::selectedPointChanged, this, [this, r](const QPoint &pos) {
                if (m_ignoreSelection || pos.x() < 0 || pos.y() < 0 || m_seriesReal < 1 || m_pointsReal < 1)
                    return;
                if (m_transposed)
                    emit pointSelected(std::min(pos.y() + 1, m_seriesReal), 1);
                else
                    emit pointSelected(std::min(r + 1, m_seriesReal), std::min(pos.y() + 1, m_pointsReal));
            });
        }
        auto categoryAxis = [this](QValue3DAxis *axis, const QStringList &labels, int count, const QString &title) {
            // Half a step beyond the first and last, so that nothing drawn lies on the edge.
            axis->setRange(-0.5f, float(std::max(1, count)) - 0.5f);
            axis->setSegmentCount(std::max(1, count));
            axis->setFormatter(new CategoryFormatter(thinnedLabels(labels, labelRoom(m_graph))));
            axis->setTitle(title);
            axis->setTitleVisible(!title.isEmpty());
        };
        QStringList acrossLabels = m_transposed ? seriesLabels : pointLabels;
        QStringList depthLabels = m_transposed ? QStringList{pointLabels.value(0)} : seriesLabels;
        categoryAxis(m_surfaceGraph->axisX(), acrossLabels, points,
                     m_transposed && categoryTitle.isEmpty() ? depthTitle : categoryTitle);
        categoryAxis(m_surfaceGraph->axisZ(), depthLabels, ribbons, m_transposed ? QString() : depthTitle);
        const NiceAxis nice = niceAxis(low, high);
        m_surfaceGraph->axisY()->setRange(float(nice.min), float(nice.max));
        m_surfaceGraph->axisY()->setSegmentCount(nice.segments);
        m_surfaceGraph->axisY()->setTitle(valueTitle);
        m_surfaceGraph->axisY()->setTitleVisible(!valueTitle.isEmpty());
    }
    m_ignoreSelection = false;
}

void Graph3D::setView(double rotation, double elevation)
{
    // The camera counts rotation from -180 to 180.
    const float horizontal = float(rotation > 180 ? rotation - 360 : rotation);
    m_graph->scene()->activeCamera()->setCameraPosition(horizontal, float(elevation));
}

void Graph3D::queryPoint(QPoint pos)
{
    m_graph->scene()->setSelectionQueryPosition(pos);
}

QImage Graph3D::picture(QSize size)
{
    return m_graph->renderToImage(0, size);
}

} // namespace chart::detail
