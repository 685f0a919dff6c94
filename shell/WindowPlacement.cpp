#include "WindowPlacement.h"

#include <QtMath>

#include <algorithm>

namespace placement {

namespace {

// A query window shows a title bar, two toolbars and a status bar before its grid and SQL box:
// lower than this it has room for a few rows and a single line of SQL.
constexpr int kUsableHeight = 440;
constexpr int kUsableWidth = 480;
// A band of a tiling thinner than this shows a title bar, toolbars and hardly a row.
constexpr int kMinBandHeight = kUsableHeight;
constexpr int kMinBandWidth = 320;

QRect clippedTo(const QRect &r, const QRect &area)
{
    return r.intersected(area);
}

} // namespace

QSize usableSize(const QRect &area)
{
    return QSize(std::min(area.width(), kUsableWidth), std::min(area.height(), kUsableHeight));
}

QRect freeArea(const QRect &area, const std::optional<QRect> &browser)
{
    if (!browser || !browser->intersects(area))
        return area;
    const QRect b = browser->intersected(area);
    const QRect bands[] = {
        QRect(QPoint(b.right() + 1, area.top()), area.bottomRight()),    // right of it
        QRect(area.topLeft(), QPoint(b.left() - 1, area.bottom())),      // left of it
        QRect(QPoint(area.left(), b.bottom() + 1), area.bottomRight()),  // below it
        QRect(area.topLeft(), QPoint(area.right(), b.top() - 1)),        // above it
    };
    const QSize usable = usableSize(area);
    QRect best;
    for (const QRect &band : bands) {
        if (!band.isValid() || band.width() < usable.width() || band.height() < usable.height())
            continue;
        if (qint64(band.width()) * band.height() > qint64(best.width()) * best.height())
            best = band;
    }
    return best.isValid() ? best : area;
}

QRect newWindow(const QRect &free, int others, int step)
{
    const QSize usable = usableSize(free);
    // Room for a few steps of a cascade, but never at the cost of a usable size.
    const int stepsX = step > 0 ? (free.width() - usable.width()) / step : 0;
    const int stepsY = step > 0 ? (free.height() - usable.height()) / step : 0;
    const int steps = std::clamp(std::min(stepsX, stepsY), 0, 3);
    const int k = steps > 0 ? std::max(others, 0) % (steps + 1) : 0;
    const QRect r(free.left() + k * step, free.top() + k * step, free.width() - steps * step,
                  free.height() - steps * step);
    return clippedTo(r, free);
}

QList<QRect> cascade(const QRect &area, int count, int step)
{
    QList<QRect> rects;
    if (count <= 0)
        return rects;
    // Three quarters of the area: large enough to work in, small enough to show the cascade.
    const QSize usable = usableSize(area);
    const QSize size = QSize(std::max(usable.width(), area.width() * 3 / 4),
                             std::max(usable.height(), area.height() * 3 / 4))
                           .boundedTo(area.size());
    const int room = step > 0 ? std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step)
                              : 0;
    for (int i = 0; i < count; ++i) {
        const int k = room > 0 ? i % (room + 1) : 0;
        rects.append(QRect(area.topLeft() + QPoint(k * step, k * step), size));
    }
    return rects;
}

QList<QRect> tile(const QRect &area, int count, Qt::Orientation orientation)
{
    QList<QRect> rects;
    if (count <= 0)
        return rects;
    const auto fits = [&](int c, int r) {
        return area.width() / c >= kMinBandWidth && area.height() / r >= kMinBandHeight;
    };
    int columns = orientation == Qt::Horizontal ? 1 : count;
    int rows = orientation == Qt::Horizontal ? count : 1;
    if (!fits(columns, rows)) {
        // A grid, wider than tall for a horizontal tiling and taller than wide for a vertical one;
        // turned the other way when only that leaves every window usable (two windows on a low
        // screen go side by side rather than as two slivers).
        const int longSide = std::max(1, int(qCeil(qSqrt(qreal(count)))));
        const int shortSide = (count + longSide - 1) / longSide;
        columns = orientation == Qt::Horizontal ? shortSide : longSide;
        rows = orientation == Qt::Horizontal ? longSide : shortSide;
        if (!fits(columns, rows) && fits(rows, columns))
            std::swap(columns, rows);
    }
    for (int i = 0; i < count; ++i) {
        const int row = i / columns;
        const int col = i % columns;
        // The last window of an uneven grid takes what is left of its row.
        const int lastCol = i == count - 1 ? columns - 1 : col;
        const int left = area.left() + area.width() * col / columns;
        const int right = area.left() + area.width() * (lastCol + 1) / columns;
        const int top = area.top() + area.height() * row / rows;
        const int bottom = area.top() + area.height() * (row + 1) / rows;
        rects.append(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
    }
    return rects;
}

} // namespace placement
