#pragma once

#include <QRect>
#include <QString>

#include <optional>
#include <vector>

// The arithmetic of the control's layout, apart from the widgets so that it can be checked on its
// own. Units are whatever the caller measures in (the control uses pixels).
namespace analysis::layout {

// Where the results pane and the query-builder window go when the window is shown in the Results
// view. `align` is the "Query Builder Align" option (0 floating, 1 top, 2 bottom, 3 left, 4 right);
// the pane's band starts at `top` and is `available` high and `width` wide. `window` and `pane` are
// where the two are now, `floating` the default floating rectangle. An unknown `align` moves
// neither. A rectangle with a negative size is left out (the widget stays where it is).
struct QueryBuilderPlacement {
    std::optional<QRect> pane;
    std::optional<QRect> window;
};
QueryBuilderPlacement placeQueryBuilder(int align, int width, int top, int available,
                                        const QRect &window, const QRect &pane,
                                        const QRect &floating);

// The two chart sliders: the horizontal one under the chart, the vertical one at the right edge.
struct SliderPlacement {
    QRect horizontal;
    QRect vertical;
};
// `controlWidth`/`controlHeight` are the control's inner size; the status bar's height counts even
// when it is hidden, so the slider keeps clear of it either way.
SliderPlacement placeChartSliders(int controlWidth, int controlHeight, int chartWidth,
                                  int statusHeight, int chartBarHeight,
                                  int horizontalHeight, int verticalWidth, int margin);

// The pickers of a set-up bar fitted into `room` when their full widths do not fit. Each slot, left
// to right: its full width, the least it may be given (its full width when it may not shrink), the
// room before it, and whether it is a caption, which keeps to the row of the slot after it where
// the two fit a row together. The slots that may shrink give up width in proportion to their full
// widths, none below its least; when even their least widths do not fit, the slots run on in
// further rows, each begun as far in as the first slot is, and each row is fitted as one row is.
struct PickerSlot {
    int width = 0;
    int least = 0;
    int gap = 0;
    bool caption = false;
};
struct PickerPlace {
    int left = 0;
    int width = 0;
    int row = 0;
};
std::vector<PickerPlace> fitPickers(const std::vector<PickerSlot> &bar, int room);

// Elapsed time of a running refresh as panel 5 shows it: "H:MM:SS" (3725 s read "1:02:05").
QString elapsedText(qint64 seconds);

} // namespace analysis::layout
