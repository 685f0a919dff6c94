#include "core/ControlLayout.h"

namespace analysis::layout {

namespace {

std::optional<QRect> sized(int left, int top, int width, int height)
{
    if (width < 0 || height < 0)
        return std::nullopt;
    return QRect(left, top, width, height);
}

} // namespace

QueryBuilderPlacement placeQueryBuilder(int align, int width, int top, int available, const QRect &window,
                                        const QRect &pane, const QRect &floating)
{
    QueryBuilderPlacement out;
    switch (align) {
    case 0:
        out.pane = sized(0, top, width, available);
        out.window = floating;
        break;
    case 1:
    case 2: {
        // A window that still spans the pane's full height was docked at a side; docking it at
        // the top or bottom with that height would leave the pane nothing.
        const int h = window.height() == pane.height() ? floating.height() : window.height();
        if (align == 1) {
            out.pane = sized(0, top + h, width, available - h);
            const int paneWidth = out.pane ? out.pane->width() : pane.width();
            out.window = sized(0, top, paneWidth, h);
        } else {
            out.pane = sized(0, top, width, available - h);
            const QRect p = out.pane.value_or(pane);
            out.window = sized(0, p.top() + p.height(), p.width(), h);
        }
        break;
    }
    case 3:
    case 4: {
        const int w = window.width() == pane.width() ? floating.width() : window.width();
        if (align == 3) {
            out.pane = sized(w, top, width - w, available);
            const int paneHeight = out.pane ? out.pane->height() : pane.height();
            out.window = sized(0, top, w, paneHeight);
        } else {
            out.pane = sized(0, top, width - w, available);
            const QRect p = out.pane.value_or(pane);
            out.window = sized(p.width(), top, w, p.height());
        }
        break;
    }
    default:
        break;
    }
    return out;
}

SliderPlacement placeChartSliders(int controlWidth, int controlHeight, int chartWidth, int statusHeight,
                                  int chartBarHeight, int horizontalHeight, int verticalWidth, int margin)
{
    SliderPlacement s;
    const int hTop = controlHeight - horizontalHeight - statusHeight - 3 * chartBarHeight;
    s.horizontal = QRect(margin, hTop, chartWidth - 2 * margin, horizontalHeight);
    const int vTop = 3 * chartBarHeight;
    s.vertical = QRect(controlWidth - verticalWidth, vTop, verticalWidth, hTop - vTop);
    return s;
}

QString elapsedText(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace analysis::layout
