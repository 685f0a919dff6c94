#include "chart/Chart3D.h"

#include <Q3DBars>
#include <Q3DCamera>
#include <Q3DScene>
#include <Q3DSurface>
#include <Q3DTheme>
#include <QBar3DSeries>
#include <QBarDataProxy>
#include <QCategory3DAxis>
#include <QCustom3DItem>
#include <QCustom3DLabel>
#include <QSurface3DSeries>
#include <QSurfaceDataProxy>
#include <QValue3DAxis>
#include <QValue3DAxisFormatter>

#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace chart::detail {

namespace {

// Each axis label is a texture of its own: past this many the graph takes seconds a frame, so
// longer axes show every n-th label (a surface) or none (bars: the legend and a selected bar's
// label name them).
constexpr int kAxisLabelLimit = 100;

// Figure spaces standing in for a depth axis's hidden names (getting its title clear of the
// category names).
constexpr int kTitleClearance = 6;

// A piece of a pile of bars, across and deep, in steps between categories.
constexpr float kPieceWidth = 0.5f;

// Every step-th label, the rest blank; never more than kAxisLabelLimit.
QStringList thinnedLabels(const QStringList &labels, int step)
{
    const qsizetype limitStep = (labels.size() + kAxisLabelLimit - 1) / kAxisLabelLimit;
    step = std::max<qsizetype>({qsizetype(step), limitStep, 1});
    if (step == 1)
        return labels;
    QStringList out;
    for (qsizetype i = 0; i < labels.size(); ++i)
        out << (i % step == 0 ? labels[i] : QString());
    return out;
}

// Labels of categories at whole positions of a value axis (a surface has no category axes).
// With showText false the grid lines stay and blank stands in for each name.
class CategoryFormatter : public QValue3DAxisFormatter {
public:
    explicit CategoryFormatter(QStringList labels = {}, bool showText = true, QString blank = {})
        : m_labels(std::move(labels)), m_showText(showText), m_blank(std::move(blank))
    {
    }

protected:
    QValue3DAxisFormatter *createNewInstance() const override { return new CategoryFormatter; }
    void populateCopy(QValue3DAxisFormatter &copy) const override
    {
        QValue3DAxisFormatter::populateCopy(copy);
        static_cast<CategoryFormatter &>(copy).m_labels = m_labels;
        static_cast<CategoryFormatter &>(copy).m_showText = m_showText;
        static_cast<CategoryFormatter &>(copy).m_blank = m_blank;
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
            labelStrings().append(m_showText ? m_labels[i] : m_blank);
        }
    }

private:
    QStringList m_labels;
    bool m_showText = true;
    QString m_blank;
};

// A value as the 2-D axes show it: grouped, no more decimals than the steps need.
QString groupedValue(double value, double min, double max, int segments)
{
    return groupingLocale().toString(value, 'f', valueDecimals(min, max, segments + 1));
}

// Grid lines at the value steps, and the graph's labels blank: a graph puts them on two walls at
// once. Blanks as wide as the numbers keep the axis title clear of the labels drawn instead.
class UnlabelledFormatter : public QValue3DAxisFormatter {
protected:
    QValue3DAxisFormatter *createNewInstance() const override { return new UnlabelledFormatter; }
    QString stringForValue(qreal value, const QString &) const override
    {
        const QValue3DAxis *a = axis();
        const QString shown = a ? groupedValue(value, a->min(), a->max(), a->segmentCount()) : QString();
        return QString(shown.size(), QChar(0x2007));
    }
};

// The size of the graph's labels in a wide window.
constexpr double kLabelPoints = 12;

void styleTheme(Q3DTheme *theme)
{
    theme->setType(Q3DTheme::ThemeQt);
    theme->setBackgroundEnabled(false);
    theme->setWindowColor(Qt::white);
    theme->setLabelBackgroundEnabled(false);
    theme->setLabelBorderEnabled(false);
    theme->setLabelTextColor(Qt::black);
    theme->setColorStyle(Q3DTheme::ColorStyleUniform);
    QFont font = theme->font();
    font.setPointSizeF(kLabelPoints);
    theme->setFont(font);
}

} // namespace

Graph3D::Graph3D(bool surface, QObject *parent) : QObject(parent), m_surface(surface)
{
    if (surface) {
        m_surfaceGraph = new Q3DSurface;
        m_surfaceGraph->axisY()->setFormatter(new UnlabelledFormatter);
        // Its title turns with the camera, so that it is not read mirrored from behind.
        m_surfaceGraph->axisY()->setLabelAutoRotation(90);
        m_surfaceGraph->axisY()->setTitleFixed(false);
        m_surfaceGraph->axisX()->setLabelAutoRotation(90);
        m_surfaceGraph->axisZ()->setLabelAutoRotation(90);
        // The depth axis runs nearly towards the viewer: a title fixed along it is seen edge on.
        m_surfaceGraph->axisZ()->setTitleFixed(false);
        m_graph = m_surfaceGraph;
    } else {
        m_bars = new Q3DBars;
        m_bars->valueAxis()->setFormatter(new UnlabelledFormatter);
        // Names turn towards the viewer: lying flat on the floor they cannot be read.
        m_bars->rowAxis()->setLabelAutoRotation(90);
        m_bars->columnAxis()->setLabelAutoRotation(90);
        // The depth axis runs nearly towards the viewer: a title fixed along it is seen edge on.
        m_bars->rowAxis()->setTitleFixed(false);
        m_graph = m_bars;
    }
    // The chart's own mouse rules apply (Ctrl-drag rotates, right click is the caller's), not
    // the graph's default ones.
    m_graph->setActiveInputHandler(nullptr);
    connect(m_graph->scene()->activeCamera(), &Q3DCamera::xRotationChanged, this, &Graph3D::placeValueLabels);
    // How many category names fit follows the angle the axes are seen at.
    for (auto changed : {&Q3DCamera::xRotationChanged, &Q3DCamera::yRotationChanged})
        connect(m_graph->scene()->activeCamera(), changed, this, [this] { fitCategoryLabels(false); });
    connect(m_graph, &QAbstract3DGraph::selectedElementChanged, this, [this](QAbstract3DGraph::ElementType type) {
        if (m_ignoreSelection || type != QAbstract3DGraph::ElementCustomItem)
            return;
        const auto found = m_pieceOf.constFind(m_graph->selectedCustomItem());
        if (found != m_pieceOf.constEnd())
            emit pointSelected(found->first, found->second);
    });
    // The window is fitted once it has settled after a resize or a turn, not at every step of a
    // drag.
    m_fitTimer = new QTimer(this);
    m_fitTimer->setSingleShot(true);
    m_fitTimer->setInterval(120);
    connect(m_fitTimer, &QTimer::timeout, this, [this] {
        if (m_graph && m_graph->isExposed())
            fitTo(m_graph->size());
    });
    m_graph->installEventFilter(this);
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
    const Plan3D plan = plan3D(data, looks);
    m_transposed = plan.transposed;
    const QString categoryTitle = looks.axisTitle[AxisCategory];
    const QString depthTitle = looks.axisTitle[AxisDepth];
    const QString valueTitle = looks.axisTitle[AxisValue];
    m_ignoreSelection = true;
    m_legendNames = plan.seriesNames;

    if (m_bars) {
        for (QBar3DSeries *old : m_bars->seriesList()) {
            m_bars->removeSeries(old);
            delete old;
        }
        const int rows = plan.rows;
        const int columns = plan.columns;
        auto *series = new QBar3DSeries;
        auto *array = new QBarDataArray;
        array->reserve(rows);
        QList<QColor> colours;
        for (int r = 0; r < rows; ++r) {
            auto *row = new QBarDataRow(columns);
            // Piled series are drawn as pieces of their own (showPieces): the row only holds the
            // places.
            if (!plan.stacked)
                for (int c = 0; c < columns; ++c)
                    (*row)[c].setValue(float(plan.values[r][c]));
            array->append(row);
            colours << seriesColor(r);
        }
        // The bars keep their whole names for the selected bar's label; the axes show those
        // that fit (fitCategoryLabels).
        series->dataProxy()->resetArray(array, plan.rowLabels, plan.columnLabels);
        series->setRowColors(colours);
        series->setMesh(QAbstract3DSeries::MeshBar);
        series->setItemLabelFormat(QStringLiteral("@rowLabel, @colLabel: @valueLabel"));
        m_bars->addSeries(series);
        showPieces(plan);
        const QString columnTitle = m_transposed && categoryTitle.isEmpty() ? depthTitle : categoryTitle;
        // One row, or piled series, stand for no depth: the legend names what they are.
        const QString rowTitle = m_transposed || plan.stacked ? QString() : depthTitle;
        m_bars->rowAxis()->setTitle(rowTitle);
        m_bars->rowAxis()->setTitleVisible(!rowTitle.isEmpty());
        m_bars->columnAxis()->setTitle(columnTitle);
        m_bars->columnAxis()->setTitleVisible(!columnTitle.isEmpty());
        const NiceAxis nice = niceAxis(plan.low, plan.high);
        m_bars->valueAxis()->setRange(float(nice.min), float(nice.max));
        m_bars->valueAxis()->setSegmentCount(nice.segments);
        m_bars->valueAxis()->setTitle(valueTitle);
        m_bars->valueAxis()->setTitleVisible(!valueTitle.isEmpty());
        showValueLabels(nice.min, nice.max, nice.segments);
        // Piled pieces are picked as the graph's custom items.
        if (!plan.stacked)
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
        const int ribbons = plan.rows;
        const int points = plan.columns;
        auto valueAt = [&](int ribbon, int point) {
            if (ribbon >= plan.seriesCount() || point >= plan.pointCount())
                return 0.0;
            return plan.ribbonHeight(ribbon, point);
        };
        for (int r = 0; r < std::max(1, ribbons); ++r) {
            auto *array = new QSurfaceDataArray;
            // Two rows make the ribbon's depth; a single point is drawn across a whole step.
            for (float z : {float(r) - 0.4f, float(r) + 0.4f}) {
                auto *row = new QSurfaceDataRow(std::max(2, points));
                for (int p = 0; p < std::max(2, points); ++p) {
                    const double v = valueAt(r, std::min(p, std::max(1, points) - 1));
                    const float x = points > 1 ? float(p) : float(p) - 0.5f;
                    (*row)[p].setPosition(QVector3D(x, float(v), z));
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
        auto categoryAxis = [](QValue3DAxis *axis, int count, const QString &title) {
            // Half a step beyond the first and last, so that nothing drawn lies on the edge.
            axis->setRange(-0.5f, float(std::max(1, count)) - 0.5f);
            axis->setSegmentCount(std::max(1, count));
            axis->setTitle(title);
            axis->setTitleVisible(!title.isEmpty());
        };
        categoryAxis(m_surfaceGraph->axisX(), points, m_transposed && categoryTitle.isEmpty() ? depthTitle : categoryTitle);
        categoryAxis(m_surfaceGraph->axisZ(), ribbons, m_transposed ? QString() : depthTitle);
        const NiceAxis nice = niceAxis(plan.low, plan.high);
        m_surfaceGraph->axisY()->setRange(float(nice.min), float(nice.max));
        m_surfaceGraph->axisY()->setSegmentCount(nice.segments);
        m_surfaceGraph->axisY()->setTitle(valueTitle);
        m_surfaceGraph->axisY()->setTitleVisible(!valueTitle.isEmpty());
        showValueLabels(nice.min, nice.max, nice.segments);
    }
    m_columnNames = plan.columnLabels;
    m_rowNames = plan.rowLabels;
    // An axis whose labels are asked away (size 0) shows none.
    m_columnNamesShown = looks.axisLabelSize[AxisCategory] > 0;
    m_rowNamesShown = looks.axisLabelSize[AxisDepth] > 0;
    // The bars' floor has its longer side 1 (a cell for each bar); the surface's is square.
    const double columns = std::max(1, plan.columns), rows = std::max(1, plan.rows);
    m_across = m_bars ? std::min(1.0, columns / rows) : 1.0;
    m_deep = m_bars ? std::min(1.0, rows / columns) : 1.0;
    fitCategoryLabels(true);
    m_ignoreSelection = false;
}

void Graph3D::fitCategoryLabels(bool force)
{
    if (!m_graph)
        return;
    const Q3DCamera *camera = m_graph->scene()->activeCamera();
    const View3D view{camera->xRotation(), camera->yRotation()};
    const double points = m_graph->activeTheme()->font().pointSizeF();
    const int columnStep = categoryLabelStep(int(m_columnNames.size()), true, m_across, m_deep, view, points);
    const int rowStep = categoryLabelStep(int(m_rowNames.size()), false, m_across, m_deep, view, points);
    if (!force && columnStep == m_columnStep && rowStep == m_rowStep)
        return;
    m_columnStep = columnStep;
    m_rowStep = rowStep;
    // Blank labels stand in for those left out. An axis without names still keeps its title off
    // the floor's corner, where the first name of the other axis hangs.
    auto shown = [](const QStringList &names, bool show, int step, QString blank) {
        return show ? thinnedLabels(names, step) : QStringList(names.size(), blank);
    };
    if (m_bars) {
        m_bars->columnAxis()->setLabels(shown(m_columnNames, m_columnNamesShown, columnStep, QString()));
        m_bars->rowAxis()->setLabels(shown(m_rowNames, m_rowNamesShown, rowStep, QString(kTitleClearance, QChar(0x2007))));
    } else {
        m_surfaceGraph->axisX()->setFormatter(
            new CategoryFormatter(thinnedLabels(m_columnNames, columnStep), m_columnNamesShown));
        m_surfaceGraph->axisZ()->setFormatter(new CategoryFormatter(thinnedLabels(m_rowNames, rowStep), m_rowNamesShown,
                                                                    QString(kTitleClearance, QChar(0x2007))));
    }
}

void Graph3D::showPieces(const Plan3D &plan)
{
    // The pieces are kept, hidden when not needed, and given new places: an item deleted and
    // another made at its address before the next frame would show the old one, and a texture
    // given to an item already drawn is drawn black. So each series has its own, coloured once.
    m_pieceOf.clear();
    const int series = plan.stacked ? plan.seriesCount() : 0;
    if (m_pieces.size() < series)
        m_pieces.resize(series);
    for (int s = 0; s < m_pieces.size(); ++s) {
        QList<QCustom3DItem *> &own = m_pieces[s];
        int used = 0;
        for (int p = 0; s < series && p < plan.pointCount(); ++p) {
            const double lo = plan.bands.lower[s][p], hi = plan.bands.upper[s][p];
            if (!(hi > lo))
                continue;
            if (used == own.size()) {
                auto *piece = new QCustom3DItem;
                piece->setMeshFile(QStringLiteral(":/chart/piece.obj"));
                QImage colour(2, 2, QImage::Format_RGB32);
                colour.fill(seriesColor(s));
                piece->setTextureImage(colour);
                piece->setPositionAbsolute(false);
                piece->setScalingAbsolute(false);
                piece->setShadowCasting(false);
                m_graph->addCustomItem(piece);
                own << piece;
            }
            QCustom3DItem *piece = own[used++];
            // In the data's own units: one step across is one category.
            piece->setPosition(QVector3D(float(p), float((lo + hi) / 2), 0.f));
            piece->setScaling(QVector3D(kPieceWidth, float(hi - lo), kPieceWidth));
            piece->setVisible(true);
            m_pieceOf.insert(piece, plan.dataPoint(s, p));
        }
        for (int i = used; i < own.size(); ++i)
            own[i]->setVisible(false);
    }
}

void Graph3D::setView(double rotation, double elevation)
{
    // The camera counts rotation from -180 to 180.
    const float horizontal = float(rotation > 180 ? rotation - 360 : rotation);
    m_graph->scene()->activeCamera()->setCameraPosition(horizontal, float(elevation));
    // A surface's names stand upright below its floor and its camera looks at the middle of the
    // box, so the names and the axis title would run off the bottom: it looks a little lower.
    if (m_surface)
        m_graph->scene()->activeCamera()->setTarget(QVector3D(0, -0.5f, 0));
    scheduleFit();
}

bool Graph3D::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_graph && (event->type() == QEvent::Resize || event->type() == QEvent::Expose))
        scheduleFit();
    return QObject::eventFilter(watched, event);
}

void Graph3D::scheduleFit()
{
    if (m_fitTimer)
        m_fitTimer->start();
}

namespace {

// The part of a picture on a white ground that is drawn on.
QRect inkedRect(const QImage &image)
{
    int left = image.width(), right = -1, top = image.height(), bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(line[x]) < 250) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

void Graph3D::fitTo(QSize size)
{
    if (!m_graph || size.isEmpty())
        return;
    // The graph's own zoom fits it to the height of a window of any width, so that a wide one
    // leaves its sides empty and a narrow one draws it small. A surface in a narrow room is made
    // taller for its width (bars keep their proportions), and then the camera comes as near as
    // lets the drawing, labels included, fill the room.
    const double shape = double(size.width()) / size.height();
    if (m_surfaceGraph)
        m_surfaceGraph->setAspectRatio(float(std::clamp(shape * 1.5, 1.0, 2.0)));
    // The graph draws its names at a size that follows the graph's, in the theme's font, whose
    // point size adds size / 500 to their height of 0.05 of the scene: a graph drawn small keeps
    // them legible with a larger font.
    const double legible = std::clamp(560.0 / size.width(), 1.0, 1.6);
    setLabelPoints(std::round((legible * (0.05 + kLabelPoints / 500) - 0.05) * 500));
    Q3DCamera *camera = m_graph->scene()->activeCamera();
    // Measured on a small picture of the same shape: the drawing grows about the middle with
    // the zoom, near enough that a few rounds settle it.
    const QSize probe = size.width() > 320 || size.height() > 320 ? size.scaled(320, 320, Qt::KeepAspectRatio) : size;
    const QPointF middle(probe.width() / 2.0, probe.height() / 2.0);
    const double edge = 0.03 * std::min(probe.width(), probe.height()); // a little white all round
    // The drawing stands off the middle (the value labels at the left): the camera is aimed so
    // that it is centred across, at the graph's own zoom, where nothing is cut off.
    camera->setZoomLevel(100);
    centreDrawing(probe);
    // A zoom measured clear of the edges is kept; one that touches them is too near.
    float clear = 0, tooNear = camera->maxZoomLevel() * 2;
    for (int round = 0; round < 5; ++round) {
        const float zoom = camera->zoomLevel();
        const QRect drawn = inkedRect(m_graph->renderToImage(0, probe));
        if (drawn.isEmpty())
            return;
        float next = zoom;
        if (drawn.left() <= 0 || drawn.top() <= 0 || drawn.right() >= probe.width() - 1
            || drawn.bottom() >= probe.height() - 1) {
            tooNear = zoom;
            next = clear > 0 ? (clear + zoom) / 2 : zoom * 0.8f;
        } else {
            clear = std::max(clear, zoom);
            double factor = 4;
            auto keep = [&](double reach, double extent) {
                if (extent > 0.5)
                    factor = std::min(factor, (reach - edge) / extent);
            };
            keep(middle.x(), middle.x() - drawn.left());
            keep(middle.x(), drawn.right() + 1 - middle.x());
            keep(middle.y(), middle.y() - drawn.top());
            keep(middle.y(), drawn.bottom() + 1 - middle.y());
            next = std::min(zoom * float(factor), (zoom + tooNear) / 2);
        }
        next = std::clamp(next, camera->minZoomLevel(), camera->maxZoomLevel());
        if (std::abs(next - zoom) < 1.f)
            break;
        camera->setZoomLevel(next);
    }
    if (clear > 0 && camera->zoomLevel() > clear && camera->zoomLevel() >= tooNear)
        camera->setZoomLevel(clear);
}

void Graph3D::showValueLabels(double min, double max, int segments)
{
    const NiceAxis nice{min, max, segments};
    // A label keeps the text it was first drawn with: a new text given to it later, like a label
    // deleted and another made at the same address, shows the old picture. So each text has a
    // label of its own, hidden while its number is not on the axis.
    for (QCustom3DLabel *label : std::as_const(m_valueLabels))
        label->setVisible(false);
    m_valueLabels.clear();
    const double step = (nice.max - nice.min) / nice.segments;
    for (int i = 0; i <= nice.segments; ++i) {
        double v = nice.min + i * step;
        if (std::abs(v) < step * 1e-9)
            v = 0; // not "-0"
        // A label is centred on its position: blanks as wide as the number and a gap after
        // it put the number's end there.
        const QString number = groupedValue(v, nice.min, nice.max, nice.segments);
        const QString text = number + QString(number.size() + 2, QChar(0x2007));
        QCustom3DLabel *&label = m_labelOfText[text];
        if (!label) {
            label = new QCustom3DLabel;
            label->setScaling(QVector3D(1, 1, 1));
            label->setTextColor(Qt::black);
            label->setBackgroundEnabled(false);
            label->setBorderEnabled(false);
            label->setFacingCamera(true);
            label->setPositionAbsolute(true);
            label->setText(text);
            label->setFont(m_graph->activeTheme()->font());
            m_graph->addCustomItem(label);
        }
        label->setVisible(true);
        m_valueLabels << label;
    }
    m_valueSteps = nice.segments;
    placeValueLabels();
}

void Graph3D::placeValueLabels()
{
    if (m_valueSteps < 1 || m_valueLabels.size() <= m_valueSteps)
        return;
    // The graph's own value labels stand on two walls; these stand once, at the vertical edge
    // furthest left as the camera sees the graph, ending there, so that they lie beside the bars
    // rather than over them. The camera circles the middle of the graph: that edge is on the -x
    // side while it looks at the front (rotations within 90 degrees of 0), and at the back (+z,
    // the last row) while the rotation is between 0 and 180 degrees.
    const double turn = qDegreesToRadians(double(m_graph->scene()->activeCamera()->xRotation()));
    const float x = std::cos(turn) >= 0 ? -1.f : 1.f;
    const float z = std::sin(turn) >= 0 ? 1.f : -1.f;
    for (int i = 0; i <= m_valueSteps; ++i)
        m_valueLabels[i]->setPosition(QVector3D(x, -1.f + 2.f * float(i) / float(m_valueSteps), z));
}

void Graph3D::queryPoint(QPoint pos)
{
    m_graph->scene()->setSelectionQueryPosition(pos);
}

void Graph3D::centreDrawing(QSize probe)
{
    Q3DCamera *camera = m_graph->scene()->activeCamera();
    // Aimed across the graph, the camera moves the drawing sideways; its height is the graph's
    // own choice (bars keep theirs at the floor), and its depth moves the drawing hardly at all.
    const QVector3D base(0, m_surface ? -0.5f : 0, 0);
    const double middle = probe.width() / 2.0;
    auto offset = [&](float across, bool &ok) {
        camera->setTarget(base + QVector3D(across, 0, 0));
        const QRect drawn = inkedRect(m_graph->renderToImage(0, probe));
        ok = !drawn.isEmpty() && drawn.left() > 0 && drawn.right() < probe.width() - 1;
        return (drawn.left() + drawn.right() + 1) / 2.0 - middle;
    };
    bool ok = false;
    const double off = offset(0, ok);
    if (!ok || std::abs(off) < 2)
        return;
    const float step = 0.2f;
    const double moves = (offset(step, ok) - off) / step; // pixels the drawing moves a unit
    if (!ok || std::abs(moves) < 1) {
        camera->setTarget(base);
        return;
    }
    camera->setTarget(base + QVector3D(std::clamp(float(-off / moves), -1.f, 1.f), 0, 0));
}

void Graph3D::setLabelPoints(double points)
{
    QFont font = m_graph->activeTheme()->font();
    if (font.pointSizeF() == points)
        return;
    font.setPointSizeF(points);
    m_graph->activeTheme()->setFont(font);
    for (QCustom3DLabel *label : std::as_const(m_labelOfText))
        label->setFont(font);
    // Larger names fit fewer to an axis.
    fitCategoryLabels(false);
}

QImage Graph3D::picture(QSize size)
{
    // Fitted to the picture's shape (a printed page's, say), then put back as the window has it.
    Q3DCamera *camera = m_graph->scene()->activeCamera();
    const float zoom = camera->zoomLevel();
    const QVector3D target = camera->target();
    const float ratio = m_surfaceGraph ? m_surfaceGraph->aspectRatio() : 0;
    const double points = m_graph->activeTheme()->font().pointSizeF();
    fitTo(size);
    QImage image = m_graph->renderToImage(0, size);
    camera->setZoomLevel(zoom);
    camera->setTarget(target);
    if (m_surfaceGraph)
        m_surfaceGraph->setAspectRatio(ratio);
    setLabelPoints(points);
    return image;
}

} // namespace chart::detail
