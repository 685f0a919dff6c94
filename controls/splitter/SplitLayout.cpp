#include "SplitLayout.h"

#include <algorithm>

namespace splitter {

SplitGeometry computeLayout(double width, double height, double barWidth, double fraction, bool horizontal,
                            double minimum1, double minimum2)
{
    const double f = std::clamp(fraction, 0.0, 1.0);
    const double along = horizontal ? height : width;
    const double across = std::max(0.0, horizontal ? width : height);
    const double space = std::max(0.0, along - barWidth);
    const double least = std::clamp(minimum1, 0.0, space);
    const double most = std::max(least, space - std::max(0.0, minimum2));
    const double a = std::clamp(space * f, least, most);
    const double b = space - a;

    SplitGeometry g;
    if (horizontal) {
        g.child1 = QRectF(0, 0, across, a);
        g.bar = QRectF(0, a, across, barWidth);
        g.child2 = QRectF(0, a + barWidth, across, b);
    } else {
        g.child1 = QRectF(0, 0, a, across);
        g.bar = QRectF(a, 0, barWidth, across);
        g.child2 = QRectF(a + barWidth, 0, b, across);
    }
    return g;
}

} // namespace splitter
