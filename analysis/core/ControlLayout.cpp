#include "core/ControlLayout.h"

#include <algorithm>

namespace analysis::layout {

namespace {

std::optional<QRect> sized(int left, int top, int width, int height)
{
    if (width < 0 || height < 0)
        return std::nullopt;
    return QRect(left, top, width, height);
}

// The slots [from, to) as one row of `room`, the first `indent` in.
void fitRow(const std::vector<PickerSlot> &bar, std::size_t from, std::size_t to, int indent, int row, int room,
            std::vector<PickerPlace> &out)
{
    int fixed = indent;
    for (std::size_t i = from; i < to; ++i) {
        if (i != from)
            fixed += bar[i].gap;
        if (bar[i].least >= bar[i].width)
            fixed += bar[i].width;
    }
    // A slot held at its least leaves the rest of the share to the others.
    std::vector<bool> held(to - from, false);
    double share = 1.0;
    for (bool again = true; again;) {
        again = false;
        int least = 0;
        long long full = 0;
        for (std::size_t i = from; i < to; ++i) {
            if (bar[i].least >= bar[i].width)
                continue;
            if (held[i - from])
                least += bar[i].least;
            else
                full += bar[i].width;
        }
        share = full > 0 ? std::min(1.0, double(room - fixed - least) / double(full)) : 1.0;
        for (std::size_t i = from; i < to; ++i) {
            const PickerSlot &s = bar[i];
            if (s.least < s.width && !held[i - from] && s.width * share < s.least) {
                held[i - from] = true;
                again = true;
            }
        }
    }
    int x = indent;
    for (std::size_t i = from; i < to; ++i) {
        const PickerSlot &s = bar[i];
        if (i != from)
            x += s.gap;
        int w = s.width;
        if (s.least < s.width)
            w = held[i - from] ? s.least : std::clamp(int(s.width * share), s.least, s.width);
        out[i] = {x, w, row};
        x += w;
    }
}

} // namespace

std::vector<PickerPlace> fitPickers(const std::vector<PickerSlot> &bar, int room)
{
    std::vector<PickerPlace> out(bar.size());
    if (bar.empty())
        return out;
    const int indent = bar.front().gap;
    auto least = [&](std::size_t i) { return std::min(bar[i].least, bar[i].width); };
    // What the slots [from, to) need at their least, as the first on a row or after others.
    auto need = [&](std::size_t from, std::size_t to, bool first) {
        int sum = first ? 0 : bar[from].gap;
        for (std::size_t j = from; j < to; ++j)
            sum += (j == from ? 0 : bar[j].gap) + least(j);
        return sum;
    };
    std::size_t rowStart = 0;
    int row = 0;
    int used = indent;
    for (std::size_t i = 0; i < bar.size();) {
        std::size_t end = bar[i].caption && i + 1 < bar.size() ? i + 2 : i + 1;
        if (i != rowStart && used + need(i, end, false) > room) {
            fitRow(bar, rowStart, i, indent, row++, room, out);
            rowStart = i;
            used = indent;
        }
        // A caption with its picker too wide for a row of their own: the picker goes below.
        if (i == rowStart && end == i + 2 && indent + need(i, end, true) > room)
            end = i + 1;
        used += need(i, end, i == rowStart);
        i = end;
    }
    fitRow(bar, rowStart, bar.size(), indent, row, room, out);
    return out;
}

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
