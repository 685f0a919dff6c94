#pragma once

#include <QRectF>

namespace splitter {

// Where the two panes and the bar go, in the splitter's own units (twips).
struct SplitGeometry {
    QRectF child1;
    QRectF bar;
    QRectF child2;
};

// The division of an inner area of width x height between two panes and a bar `barWidth` thick,
// the first pane taking `fraction` of the space the bar leaves. Horizontal stacks the panes
// (bar running left to right); vertical puts them side by side.
//
// A fraction above 1 (SplitPercent over 100) would give the second pane a negative size: it is
// capped at 1 instead, so the second pane gets size 0 and the bar sits at the far edge where the
// user can still grab it. A bar thicker than the area gives both panes size 0. No size is ever
// negative.
//
// `minimum1` and `minimum2` are the least extent of each pane along the division: where the
// fraction would make a pane smaller, the bar moves instead, as far as the space allows (the first
// pane's minimum counts first when both cannot be met).
SplitGeometry computeLayout(double width, double height, double barWidth, double fraction,
                           bool horizontal, double minimum1 = 0, double minimum2 = 0);

} // namespace splitter
