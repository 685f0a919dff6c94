#pragma once

#include <QList>
#include <QRect>
#include <QSize>

#include <optional>

// Where the frame puts its child windows. Pure geometry, so that the rules can be checked apart
// from any window system: every rectangle is inside the frame's area and no window is made
// smaller than a size a user can still work in (unless the area itself is smaller).
namespace placement {

// The smallest child window worth having: room for the toolbars, a few grid rows and the SQL box.
QSize usableSize(const QRect &area);

// The part of `area` the browser leaves free: the widest band beside, above or below it. The
// whole area when the browser is not given (minimised, maximised, hidden) or leaves no band of a
// usable size.
QRect freeArea(const QRect &area, const std::optional<QRect> &browser);

// A new window's place in `free`: cascaded by `step` after the `others` windows already open,
// starting again at the top left once the next step would make it smaller than usable.
QRect newWindow(const QRect &free, int others, int step);

// `count` windows cascaded over `area`, the first at the top left, each three quarters of the area
// (never less than usable); when the steps run out the cascade starts again at the top left.
QList<QRect> cascade(const QRect &area, int count, int step);

// `count` windows tiled over `area`: bands one above the other (Qt::Horizontal) or side by side
// (Qt::Vertical) while each band stays usable, otherwise a grid of rows and columns.
QList<QRect> tile(const QRect &area, int count, Qt::Orientation orientation);

} // namespace placement
