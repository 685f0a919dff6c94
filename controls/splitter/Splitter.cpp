#include "PaneDivider/Splitter.h"

#include "SplitLayout.h"

#include "ui/Twips.h"
#include "ui/VbColor.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

using ui::Twips;

// The bar: a borderless strip that paints itself in the splitter's colour and hands its mouse
// to the splitter.
class SplitterBarWidget : public QWidget {
public:
    explicit SplitterBarWidget(Splitter *owner)
        : QWidget(owner)
        , m_owner(owner)
    {
        setObjectName(QStringLiteral("SplitterBar"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), m_owner->barColor());
    }
    void mousePressEvent(QMouseEvent *) override { m_owner->barPressed(); }
    void mouseMoveEvent(QMouseEvent *event) override { m_owner->barMoved(event); }
    void mouseReleaseEvent(QMouseEvent *) override { m_owner->barReleased(); }

private:
    Splitter *m_owner;
};

namespace {

constexpr int ReadDefaultPercent = 50;
constexpr int ReadDefaultBarWidth = 80;

int checkedByte(int value, const char *property)
{
    if (value < 0 || value > 255)
        throw std::out_of_range(std::string(property) + ": " + std::to_string(value) + " is outside 0..255");
    return value;
}

// A stored value as the integer it stands for; nothing for text that is no number.
std::optional<qlonglong> bagInteger(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d) || std::abs(d) > 1e15)
            return std::nullopt;
        return qlonglong(std::nearbyint(d)); // halves to even, as stored numbers convert
    }
    default:
        break;
    }
    const QString text = value.toString().trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return -1;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return 0;
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (ok)
        return n;
    const double d = text.toDouble(&ok);
    if (ok && std::isfinite(d) && std::abs(d) <= 1e15)
        return qlonglong(std::nearbyint(d));
    return std::nullopt;
}

std::optional<QVariant> bagValue(const QVariantMap &bag, const QString &key)
{
    for (auto it = bag.cbegin(); it != bag.cend(); ++it) {
        if (it.key().compare(key, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return std::nullopt;
}

} // namespace

Splitter::Splitter(QWidget *parent)
    : QWidget(parent)
    , m_bar(new SplitterBarWidget(this))
{
    m_bar->setCursor(Qt::SizeHorCursor);
    InitProperties();
}

Splitter::~Splitter() = default;

Splitter::splitterOrientation Splitter::Orientation() const
{
    return m_horizontal ? splitHorizontal : splitVertical;
}

void Splitter::setOrientation(splitterOrientation orientation)
{
    m_horizontal = int(orientation) != 0;
    m_bar->setCursor(m_horizontal ? Qt::SizeVerCursor : Qt::SizeHorCursor);
    emit PropertyChanged(QStringLiteral("Orientation"));
    layoutPanes();
}

void Splitter::setChild1(QWidget *pane)
{
    m_child1 = pane;
    emit PropertyChanged(QStringLiteral("Child1"));
    layoutPanes();
}

void Splitter::setChild2(QWidget *pane)
{
    m_child2 = pane;
    emit PropertyChanged(QStringLiteral("Child2"));
    layoutPanes();
}

int Splitter::SplitPercent() const
{
    return int(std::lround(double(m_fraction) * 100.0));
}

void Splitter::setSplitPercent(int percent)
{
    m_fraction = float(checkedByte(percent, "SplitPercent")) / 100.0f;
    emit PropertyChanged(QStringLiteral("SplitPercent"));
    layoutPanes();
}

void Splitter::setSplitterWidth(int twips)
{
    m_barWidth = checkedByte(twips, "SplitterWidth");
    emit PropertyChanged(QStringLiteral("SplitterWidth"));
}

void Splitter::setSplitterColor(quint32 color)
{
    m_color = color;
    emit PropertyChanged(QStringLiteral("SplitterColor"));
    m_bar->update();
}

QColor Splitter::barColor() const
{
    const QPalette pal = palette();
    if (m_color == 0 || m_color == ui::VbColor::ButtonFace)
        return ui::VbColor::systemColor(ui::VbColor::ButtonFace, &pal);
    return ui::VbColor::toQColor(m_color, &pal);
}

void Splitter::InitProperties()
{
    m_horizontal = false;
    m_bar->setCursor(Qt::SizeHorCursor);
    m_fraction = 0.5f;
    m_barWidth = 50;
    m_bar->resize(Twips::toPixelsX(50, this), m_bar->height());
}

void Splitter::ReadProperties(const QVariantMap &bag)
{
    // Each key on its own: one that cannot be applied must not keep the others from loading.
    const auto read = [&](const QString &key, qlonglong readDefault, auto apply) {
        const std::optional<QVariant> stored = bagValue(bag, key);
        const std::optional<qlonglong> value = stored ? bagInteger(*stored) : std::optional<qlonglong>(readDefault);
        if (!value)
            return;
        try {
            apply(*value);
        } catch (const std::exception &) {
        }
    };
    read(QStringLiteral("Orientation"), 0, [this](qlonglong v) {
        setOrientation(v != 0 ? splitHorizontal : splitVertical);
    });
    read(QStringLiteral("SplitPercent"), ReadDefaultPercent, [this](qlonglong v) {
        setSplitPercent(int(std::clamp<qlonglong>(v, -1, 256)));
    });
    read(QStringLiteral("SplitterWidth"), ReadDefaultBarWidth, [this](qlonglong v) {
        setSplitterWidth(int(std::clamp<qlonglong>(v, -1, 256)));
    });
}

QVariantMap Splitter::WriteProperties() const
{
    QVariantMap bag;
    if (m_horizontal)
        bag.insert(QStringLiteral("Orientation"), true);
    if (SplitPercent() != ReadDefaultPercent)
        bag.insert(QStringLiteral("SplitPercent"), SplitPercent());
    if (m_barWidth != ReadDefaultBarWidth)
        bag.insert(QStringLiteral("SplitterWidth"), m_barWidth);
    return bag;
}

void Splitter::layoutPanes()
{
    const double w = Twips::fromPixelsX(width(), this);
    const double h = Twips::fromPixelsY(height(), this);
    // A pane's own minimum size holds against the fraction.
    auto minimum = [this](const QWidget *pane) {
        if (!pane)
            return 0.0;
        return m_horizontal ? Twips::fromPixelsY(pane->minimumHeight(), this)
                            : Twips::fromPixelsX(pane->minimumWidth(), this);
    };
    const splitter::SplitGeometry g = splitter::computeLayout(w, h, m_barWidth, m_fraction, m_horizontal,
                                                              minimum(m_child1), minimum(m_child2));
    if (m_child1)
        place(m_child1, g.child1);
    if (m_child2)
        place(m_child2, g.child2);
    place(m_bar, g.bar);
    if (m_child1)
        m_child1->update();
    if (m_child2)
        m_child2->update();
    emit Resize();
}

void Splitter::place(QWidget *widget, const QRectF &twips)
{
    // Edges are converted, not sizes, so that rounding leaves no gap between pane and bar.
    const int left = Twips::toPixelsX(twips.left(), this);
    const int top = Twips::toPixelsY(twips.top(), this);
    const int right = Twips::toPixelsX(twips.left() + twips.width(), this);
    const int bottom = Twips::toPixelsY(twips.top() + twips.height(), this);
    QPoint origin(left, top);
    QWidget *parent = widget->parentWidget();
    if (parent != this) {
        if (parent && parent->isAncestorOf(this))
            origin = mapTo(parent, origin);
        else if (parent)
            origin = parent->mapFromGlobal(mapToGlobal(origin));
        else
            origin = mapToGlobal(origin);
    }
    widget->setGeometry(origin.x(), origin.y(), std::max(0, right - left), std::max(0, bottom - top));
}

void Splitter::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutPanes();
}

void Splitter::barPressed()
{
    m_bar->raise();
}

void Splitter::barMoved(QMouseEvent *event)
{
    if (event->buttons() != Qt::LeftButton)
        return;
    // The bar's far edge follows the pointer; the panes wait for the release.
    const double s = m_barWidth;
    double position = 0;
    double extent = 0;
    if (m_horizontal) {
        const double y = Twips::fromPixelsY(qRound(event->position().y()), this);
        position = Twips::fromPixelsY(m_bar->y(), this) - (s - y);
        extent = Twips::fromPixelsY(height(), this);
        m_bar->move(0, Twips::toPixelsY(position, this));
    } else {
        const double x = Twips::fromPixelsX(qRound(event->position().x()), this);
        position = Twips::fromPixelsX(m_bar->x(), this) - (s - x);
        extent = Twips::fromPixelsX(width(), this);
        m_bar->move(Twips::toPixelsX(position, this), 0);
    }
    const float f = extent > 0 ? float(position / extent) : 0.0f;
    m_fraction = std::isfinite(f) ? std::clamp(f, 0.001f, 0.999f) : 0.5f;
}

void Splitter::barReleased()
{
    layoutPanes();
    emit Resize();
}
