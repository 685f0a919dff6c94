#include "chart/ChartView.h"

#include "chart/Chart3D.h"
#include "chart/ChartRender.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QPointer>
#include <QPaintEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace chart {

using namespace detail;

namespace {

bool s_openGLAllowed = true;
std::optional<bool> s_openGLProbe;

bool probeOpenGL()
{
    // The offscreen and minimal platforms draw no windows on a screen: no 3-D there.
    const QString platform = QGuiApplication::platformName();
    if (platform == u"offscreen" || platform == u"minimal")
        return false;
    QOpenGLContext context;
    if (!context.create())
        return false;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return false;
    context.doneCurrent();
    return true;
}

int shiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? ShiftShift : 0) | (m & Qt::ControlModifier ? ShiftCtrl : 0)
           | (m & Qt::AltModifier ? ShiftAlt : 0);
}

int buttonCode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return ButtonLeft;
    case Qt::RightButton: return ButtonRight;
    case Qt::MiddleButton: return ButtonMiddle;
    default: return 0;
    }
}

void checkAxis(int axis, const char *member)
{
    if (axis < AxisCategory || axis > AxisDepth)
        throw std::out_of_range(std::string("ChartView::") + member + ": axis " + std::to_string(axis)
                                + " is not within 0 to 3");
}

// The series names beside a 3-D bar chart (the graph draws no legend of its own), laid out as
// the 2-D legend is: a smaller font, then more columns, until every name shows.
class LegendPanel : public QWidget {
public:
    explicit LegendPanel(QWidget *parent) : QWidget(parent)
    {
        // Its width follows the size of the chart beside it.
        parent->installEventFilter(this);
    }
    void setSeries(QStringList names)
    {
        m_names = std::move(names);
        updateGeometry();
        update();
    }
    // The width it takes beside a graph of area's size (itself included).
    int preferredWidth(QSize area) const
    {
        return m_names.isEmpty() ? 0 : int(std::ceil(layoutIn(area, font()).width)) + 2 * kPad;
    }
    QSize sizeHint() const override { return {preferredWidth(parentWidget()->size()), 100}; }
    void paintOn(QPainter &p, const QRect &rect, const QFont &font, QSize area) const
    {
        const LegendLayout l = layoutIn(area, font);
        const QFontMetricsF fm(l.font);
        const double top = rect.top() + std::max(double(kPad), (rect.height() - l.rows * l.line) / 2);
        p.save();
        p.setFont(l.font);
        p.setPen(Qt::black);
        for (qsizetype i = 0; i < m_names.size(); ++i) {
            const double x = rect.left() + kPad + double(i / l.rows) * (l.columnWidth + LegendLayout::kColumnGap);
            const double y = top + double(i % l.rows) * l.line;
            p.fillRect(QRectF(x, y + (l.line - l.swatch) / 2, l.swatch, l.swatch), seriesColor(int(i)));
            p.drawText(QRectF(x + l.swatch + LegendLayout::kSwatchGap, y, l.textWidth + 1, l.line),
                       Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(m_names[i], Qt::ElideRight, l.textWidth));
        }
        p.restore();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        paintOn(p, rect(), font(), parentWidget()->size());
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            updateGeometry();
        return QWidget::eventFilter(watched, event);
    }

private:
    static constexpr int kPad = 8;
    LegendLayout layoutIn(QSize area, const QFont &font) const
    {
        return legendLayout(m_names, font, QSizeF(area.width() / 3.0 - 2 * kPad, area.height() - 2 * kPad));
    }

    QStringList m_names;
};

} // namespace

struct ChartView::Impl {
    ChartData data;
    ChartLooks looks;
    double rotation = 30;
    double elevation = 15;
    int mousePointer = PointerDefault;

    QLabel *title = nullptr;
    QStackedWidget *stack = nullptr;
    QChartView *view2D = nullptr;
    QChart *chart2D = nullptr; // owned by view2D
    Hit2D hit;
    QWidget *page3D = nullptr;
    QHBoxLayout *layout3D = nullptr;
    LegendPanel *legend3D = nullptr;
    std::unique_ptr<Graph3D> graph;
    QWidget *container = nullptr;
    bool graphFailed = false;
    QLabel *errorPage = nullptr;

    std::uint64_t builtRevision = ~std::uint64_t{0};
    bool looksChanged = true;
    bool queued = false;
    QString drawError;
    // What RenderStateChanged last told; a new chart is a 3-D bar chart, drawn in 2-D offscreen.
    bool lastFallback = !ChartView::openGLAvailable();
    QString lastDrawError;

    std::vector<QPointer<QWidget>> overlays;

    bool dragging = false;
    QPoint dragStart;
    double dragRotation = 0;
    double dragElevation = 0;
};

ChartView::ChartView(QWidget *parent) : QWidget(parent), d(std::make_unique<Impl>())
{
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    d->title = new QLabel(this);
    d->title->setWordWrap(true);
    d->title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    d->title->setContentsMargins(8, 4, 8, 4);
    d->title->hide();
    layout->addWidget(d->title);
    d->stack = new QStackedWidget(this);
    layout->addWidget(d->stack, 1);

    d->view2D = new QChartView(d->stack);
    d->view2D->setFocusPolicy(Qt::NoFocus);
    d->view2D->setRenderHint(QPainter::Antialiasing);
    d->view2D->setFrameShape(QFrame::NoFrame);
    d->view2D->viewport()->installEventFilter(this);
    d->view2D->viewport()->setMouseTracking(true);
    d->chart2D = d->view2D->chart();
    d->stack->addWidget(d->view2D);

    d->page3D = new QWidget(d->stack);
    d->layout3D = new QHBoxLayout(d->page3D);
    d->layout3D->setContentsMargins(0, 0, 0, 0);
    d->legend3D = new LegendPanel(d->page3D);
    d->layout3D->addWidget(d->legend3D);
    d->stack->addWidget(d->page3D);

    d->errorPage = new QLabel(d->stack);
    d->errorPage->setAlignment(Qt::AlignCenter);
    d->errorPage->setWordWrap(true);
    d->stack->addWidget(d->errorPage);

    d->looks.titleFont = font();
    for (QFont &f : d->looks.axisTitleFont)
        f = font();
}

ChartView::~ChartView()
{
    // The graph's window outlives this body (its container goes with the child widgets): it
    // must not call our filter once we are half gone.
    if (d->graph && d->graph->window())
        d->graph->window()->removeEventFilter(this);
}

// ---- data ----

ChartData &ChartView::data()
{
    scheduleRebuild();
    return d->data;
}

const ChartData &ChartView::data() const { return d->data; }

void ChartView::setData(ChartData data)
{
    d->data = std::move(data);
    d->builtRevision = ~std::uint64_t{0};
    scheduleRebuild();
}

// ---- look ----

int ChartView::ChartType() const { return d->looks.type; }
bool ChartView::ShowLegend() const { return d->looks.legend; }
bool ChartView::Stacking() const { return d->looks.stacking; }
QString ChartView::TitleText() const { return d->looks.title; }
double ChartView::Rotation() const { return d->rotation; }
double ChartView::Elevation() const { return d->elevation; }
int ChartView::MousePointer() const { return d->mousePointer; }

void ChartView::setChartType(int code)
{
    d->looks.type = code;
    d->looksChanged = true;
    scheduleRebuild();
    noteRenderState();
}

void ChartView::noteRenderState()
{
    const bool fallback = Fallback2D();
    if (fallback == d->lastFallback && d->drawError == d->lastDrawError)
        return;
    d->lastFallback = fallback;
    d->lastDrawError = d->drawError;
    emit RenderStateChanged();
}

void ChartView::setShowLegend(bool show)
{
    d->looks.legend = show;
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::setStacking(bool stack)
{
    d->looks.stacking = stack;
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::setTitleText(const QString &text)
{
    d->looks.title = text;
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::setTitleFont(const QFont &font)
{
    d->looks.titleFont = font;
    d->looksChanged = true;
    scheduleRebuild();
}

QString ChartView::AxisTitle(int axis) const
{
    checkAxis(axis, "AxisTitle");
    return d->looks.axisTitle[axis];
}

void ChartView::setAxisTitle(int axis, const QString &text)
{
    checkAxis(axis, "AxisTitle");
    d->looks.axisTitle[axis] = text;
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::setAxisTitleFont(int axis, const QFont &font)
{
    checkAxis(axis, "AxisTitleFont");
    d->looks.axisTitleFont[axis] = font;
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::setAxisLabelFontSize(int axis, int points)
{
    checkAxis(axis, "AxisLabelFontSize");
    d->looks.axisLabelSize[axis] = std::max(0, points);
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::ResetLayout()
{
    // The legend and the title are never moved from the right and the top left, so putting them
    // back is a fresh drawing.
    d->looksChanged = true;
    scheduleRebuild();
}

void ChartView::keepClearOf(QWidget *overlay)
{
    if (!overlay)
        return;
    d->overlays.emplace_back(overlay);
    overlay->installEventFilter(this);
    clearOverlays();
}

void ChartView::clearOverlays()
{
    // Each shown overlay takes the edge it lies along: a wide one the bottom or top, a tall one
    // the right or left.
    QMargins margins;
    const QRect own = rect();
    for (const QPointer<QWidget> &w : d->overlays) {
        if (!w || !w->isVisible())
            continue;
        const QRect r = QRect(mapFromGlobal(w->mapToGlobal(QPoint(0, 0))), w->size()).intersected(own);
        if (r.isEmpty())
            continue;
        if (r.width() >= r.height()) {
            if (r.center().y() > own.center().y())
                margins.setBottom(std::max(margins.bottom(), own.bottom() - r.top() + 1));
            else
                margins.setTop(std::max(margins.top(), r.bottom() + 1));
        } else {
            if (r.center().x() > own.center().x())
                margins.setRight(std::max(margins.right(), own.right() - r.left() + 1));
            else
                margins.setLeft(std::max(margins.left(), r.right() + 1));
        }
    }
    if (margins != contentsMargins())
        setContentsMargins(margins);
}

void ChartView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    clearOverlays();
}

void ChartView::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    clearOverlays();
}

// ---- 3-D view ----

void ChartView::Set3DView(double rotation, double elevation)
{
    if (!std::isfinite(rotation))
        rotation = 0;
    if (!std::isfinite(elevation))
        elevation = 0;
    rotation = std::fmod(rotation, 360.0);
    if (rotation < 0)
        rotation += 360;
    d->rotation = rotation;
    d->elevation = std::clamp(elevation, 0.0, 90.0);
    if (d->graph)
        d->graph->setView(d->rotation, d->elevation);
}

// ---- how it is drawn ----

bool ChartView::Is3DType() const
{
    return d->looks.type == Chart3DBar || d->looks.type == Chart3DArea;
}

bool ChartView::Drawn3D() const
{
    return Is3DType() && openGLAvailable() && !d->graphFailed;
}

QString ChartView::FallbackText() const
{
    return Fallback2D() ? tr("No OpenGL on this display: the 3-D chart is drawn in 2-D") : QString();
}

QString ChartView::DrawError() const { return d->drawError; }

bool ChartView::openGLAvailable()
{
    if (!s_openGLAllowed)
        return false;
    if (!s_openGLProbe)
        s_openGLProbe = probeOpenGL();
    return *s_openGLProbe;
}

void ChartView::setOpenGLAllowed(bool allowed) { s_openGLAllowed = allowed; }

// ---- building ----

void ChartView::scheduleRebuild()
{
    if (d->queued)
        return;
    d->queued = true;
    QTimer::singleShot(0, this, [this] {
        d->queued = false;
        // A hidden chart is being filled: it is drawn when shown.
        if (isVisible())
            ensureBuilt();
    });
}

void ChartView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    ensureBuilt();
}

void ChartView::ensureBuilt()
{
    if (d->builtRevision == d->data.revision() && !d->looksChanged)
        return;
    rebuild();
}

bool ChartView::wants3D() const { return Drawn3D(); }

void ChartView::rebuild()
{
    d->builtRevision = d->data.revision();
    d->looksChanged = false;

    d->title->setText(d->looks.title);
    d->title->setFont(d->looks.titleFont);
    d->title->setVisible(!d->looks.title.isEmpty());

    const qint64 points = qint64(d->data.seriesCount()) * d->data.pointCount();
    d->drawError.clear();
    if (points > DrawLimit) {
        d->drawError = tr("Too many points to draw: %1 series of %2 points. A chart draws at most %3 points.")
                           .arg(d->data.seriesCount())
                           .arg(d->data.pointCount())
                           .arg(DrawLimit);
    } else if (!wants3D()) {
        d->drawError = refusal2D(d->data, plot2DFor(d->looks.type));
    }
    if (!d->drawError.isEmpty()) {
        d->errorPage->setText(d->drawError);
        d->stack->setCurrentWidget(d->errorPage);
    } else if (wants3D()) {
        const bool surface = d->looks.type == Chart3DArea;
        if (!d->graph || d->graph->isSurface() != surface) {
            if (d->container) {
                d->layout3D->removeWidget(d->container);
                delete d->container; // deletes the graph's window with it
                d->container = nullptr;
            }
            d->graph = std::make_unique<Graph3D>(surface);
            if (!d->graph->hasContext()) {
                d->graph.reset();
                d->graphFailed = true;
            } else {
                d->container = QWidget::createWindowContainer(d->graph->window(), d->page3D);
                d->container->setFocusPolicy(Qt::StrongFocus);
                d->layout3D->insertWidget(0, d->container, 1);
                d->graph->window()->installEventFilter(this);
                connect(d->graph.get(), &Graph3D::pointSelected, this, &ChartView::PointSelected);
                setMousePointer(d->mousePointer);
            }
        }
        if (d->graph) {
            d->graph->show(d->data, d->looks);
            d->graph->setView(d->rotation, d->elevation);
            const QStringList names = d->graph->legendNames();
            d->legend3D->setSeries(names);
            d->legend3D->setVisible(d->looks.legend && !names.isEmpty());
            d->stack->setCurrentWidget(d->page3D);
        }
    }
    if (d->drawError.isEmpty() && !wants3D()) {
        QChart *old = d->view2D->chart();
        d->chart2D = build2D(d->data, d->looks, plot2DFor(d->looks.type), &d->hit);
        d->view2D->setChart(d->chart2D);
        delete old;
        d->stack->setCurrentWidget(d->view2D);
    }

    noteRenderState();
    emit PlotUpdated();
}

// ---- picture ----

QImage ChartView::Picture(QSize size)
{
    if (!size.isValid())
        size = width() > 0 && height() > 0 && testAttribute(Qt::WA_Resized) ? this->size() : QSize(640, 480);
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    render(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

void ChartView::EditCopy()
{
    QGuiApplication::clipboard()->setImage(Picture());
}

void ChartView::render(QPainter &painter, const QRectF &target)
{
    ensureBuilt();
    // Laid out at screen size and scaled, so a printer's page shows the same chart, not one with
    // tiny letters. Its fonts are sized in pixels of that layout: sized in points they would
    // grow by the printer's resolution on top of the scale.
    const double dpi = painter.device() ? painter.device()->logicalDpiX() : 96;
    const double scale = std::max(1.0, dpi / 96.0);
    const QSize logical((target.size() / scale).toSize());
    if (logical.isEmpty())
        return;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(scale, scale);
    drawAt(painter, logical, scale);
    painter.restore();
}

void ChartView::drawAt(QPainter &painter, QSize logical, double detail)
{
    painter.fillRect(QRect(QPoint(), logical), Qt::white);
    const QFont titleFont = pixelFont(d->looks.titleFont);
    const int th = titleHeight(d->looks.title, titleFont, logical.width());
    paintTitle(painter, QRect(0, 0, logical.width(), th), d->looks.title, titleFont);
    const QRect body(0, th, logical.width(), std::max(1, logical.height() - th));

    if (!d->drawError.isEmpty()) {
        painter.setFont(pixelFont(font()));
        painter.setPen(Qt::black);
        painter.drawText(body, Qt::AlignCenter | Qt::TextWordWrap, d->drawError);
    } else if (d->graph && wants3D()) {
        const int legendWidth = d->legend3D->isVisibleTo(this) ? d->legend3D->preferredWidth(body.size()) : 0;
        const QRect plot(body.topLeft(), QSize(std::max(1, body.width() - legendWidth), body.height()));
        // The 3-D graph is a picture: at the page's resolution, within what a graphics card
        // renders in one piece.
        const double sharp = std::clamp(detail, 1.0, 4096.0 / std::max(plot.width(), plot.height()));
        const QImage image = d->graph->picture((QSizeF(plot.size()) * std::max(1.0, sharp)).toSize());
        painter.drawImage(QRectF(plot), image);
        if (legendWidth > 0)
            d->legend3D->paintOn(painter, QRect(plot.right() + 1, body.top(), legendWidth, body.height()),
                                 pixelFont(d->legend3D->font()), body.size());
    } else {
        QGraphicsScene scene;
        QChart *chart = build2D(d->data, d->looks, plot2DFor(d->looks.type), nullptr);
        usePixelFonts(*chart);
        fitLegend(*chart, QSizeF(body.size()));
        scene.addItem(chart); // the scene deletes it
        chart->setGeometry(QRectF(QPointF(0, 0), QSizeF(body.size())));
        // Category labels turned upright once the plot's width is known need a second layout,
        // which on screen comes at the next turn of the event loop: here it is done at once.
        if (QGraphicsLayout *layout = chart->layout())
            layout->activate();
        scene.setSceneRect(chart->geometry());
        scene.render(&painter, QRectF(body), chart->geometry());
    }
}

// ---- points and input ----

std::optional<ChartPoint> ChartView::pointAt(QPoint pos)
{
    ensureBuilt();
    if (!d->drawError.isEmpty() || wants3D() || !d->chart2D)
        return std::nullopt;
    const QPoint inView = d->view2D->viewport()->mapFrom(this, pos);
    const QPointF scenePos = d->view2D->mapToScene(inView);
    const QPointF chartPos = d->chart2D->mapFromScene(scenePos);
    return hitTest2D(*d->chart2D, d->hit, d->data, chartPos);
}

void ChartView::setMousePointer(int pointer)
{
    d->mousePointer = pointer;
    const QCursor cursor(pointer == PointerCross ? Qt::CrossCursor : Qt::ArrowCursor);
    setCursor(cursor);
    d->view2D->viewport()->setCursor(cursor);
    if (d->graph && d->graph->window())
        d->graph->window()->setCursor(cursor);
}

void ChartView::keyPressEvent(QKeyEvent *event)
{
    emit KeyDown(event->key(), shiftCode(event->modifiers()));
    QWidget::keyPressEvent(event);
}

void ChartView::keyReleaseEvent(QKeyEvent *event)
{
    emit KeyUp(event->key(), shiftCode(event->modifiers()));
    QWidget::keyReleaseEvent(event);
}

bool ChartView::eventFilter(QObject *watched, QEvent *event)
{
    for (const QPointer<QWidget> &w : d->overlays) {
        if (w == watched) {
            switch (event->type()) {
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::Move:
            case QEvent::Resize:
                clearOverlays();
                break;
            default:
                break;
            }
            return false;
        }
    }
    const bool fromGraph = d->graph && watched == d->graph->window();
    if (watched != d->view2D->viewport() && !fromGraph)
        return QWidget::eventFilter(watched, event);
    // The graph is a window of its own, which a disabled chart does not disable: its input is
    // dropped here, as Qt drops a disabled widget's.
    if (fromGraph && !isEnabled()) {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            return true;
        default:
            break;
        }
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (event->type() == QEvent::KeyPress)
            emit KeyDown(key->key(), shiftCode(key->modifiers()));
        else
            emit KeyUp(key->key(), shiftCode(key->modifiers()));
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove:
        return handleMouse(watched, event);
    default:
        return QWidget::eventFilter(watched, event);
    }
}

bool ChartView::handleMouse(QObject *watched, QEvent *event)
{
    auto *mouse = static_cast<QMouseEvent *>(event);
    const bool fromGraph = d->graph && watched == d->graph->window();
    const QPoint local = mouse->position().toPoint();
    const QPoint here = fromGraph ? d->container->mapTo(this, local)
                                  : d->view2D->viewport()->mapTo(this, local);
    const int shift = shiftCode(mouse->modifiers());

    if (event->type() == QEvent::MouseButtonPress) {
        if (fromGraph)
            d->container->setFocus(Qt::MouseFocusReason);
        else
            setFocus(Qt::MouseFocusReason);
        emit MouseDown(buttonCode(mouse->button()), shift, here.x(), here.y());
        if (mouse->button() == Qt::LeftButton) {
            if (fromGraph && (shift & ShiftCtrl)) {
                d->dragging = true;
                d->dragStart = mouse->globalPosition().toPoint();
                d->dragRotation = d->rotation;
                d->dragElevation = d->elevation;
            } else if (fromGraph) {
                d->graph->queryPoint(local);
            } else if (const auto p = pointAt(here)) {
                emit PointSelected(p->series, p->dataPoint);
            }
        }
        return true;
    }
    if (event->type() == QEvent::MouseMove) {
        if (d->dragging && (mouse->buttons() & Qt::LeftButton)) {
            const QPoint delta = mouse->globalPosition().toPoint() - d->dragStart;
            Set3DView(d->dragRotation - delta.x() * 0.5, d->dragElevation + delta.y() * 0.5);
            emit PlotUpdated();
        }
        return false;
    }
    // Release
    d->dragging = false;
    emit MouseUp(buttonCode(mouse->button()), shift, here.x(), here.y());
    return true;
}

} // namespace chart
