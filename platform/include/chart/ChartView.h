#pragma once

#include "chart/ChartData.h"

#include <tabulon/ChartExport.h>

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

class QPainter;

namespace chart {

// Chart type codes, as the options store them.
enum ChartTypeCode : int {
    Chart3DBar = 0,
    Chart2DBar = 1,
    Chart3DArea = 4,
    Chart2DPie = 14,
};

// Axis ids: category (x), value (y), second value, depth (z).
enum AxisId : int { AxisCategory = 0, AxisValue = 1, AxisSecondValue = 2, AxisDepth = 3 };

// Mouse buttons and shift state as the signals carry them: buttons 1 left, 2 right, 4 middle;
// shift bits 1 Shift, 2 Ctrl, 4 Alt.
enum MouseButtonCode : int { ButtonLeft = 1, ButtonRight = 2, ButtonMiddle = 4 };
enum ShiftCode : int { ShiftShift = 1, ShiftCtrl = 2, ShiftAlt = 4 };

// MousePointer values understood by setMousePointer.
enum MousePointerCode : int { PointerDefault = 0, PointerCross = 2 };

// A point of the chart, 1-based. series/dataPoint count as ChartData's series do; row/column
// are the same point in the data grid.
struct ChartPoint {
    int series = 0;
    int dataPoint = 0;
    int row = 0;
    int column = 0;
};

// The chart widget. Holds a ChartData and draws it by ChartType:
//   2-D bar and 2-D pie on Qt Charts;
//   3-D bar (Q3DBars) and 3-D area (a Q3DSurface over the grid) on Qt Data Visualization when an
//   OpenGL context can be had; otherwise the 3-D types are drawn in 2-D (bars, area) and
//   Fallback2D() is true with FallbackText() saying why, for the status bar.
// Changes to data() or to any look are drawn at the next turn of the event loop, or at once by
// anything that needs the drawing (Picture, render, pointAt).
// Dragging with Ctrl and the left button held rotates a 3-D chart (rotation and elevation);
// nothing else of the mouse changes the view.
class CHART_EXPORT ChartView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int ChartType READ ChartType WRITE setChartType)
    Q_PROPERTY(bool ShowLegend READ ShowLegend WRITE setShowLegend)
    Q_PROPERTY(bool Stacking READ Stacking WRITE setStacking)
    Q_PROPERTY(QString TitleText READ TitleText WRITE setTitleText)
    Q_PROPERTY(int MousePointer READ MousePointer WRITE setMousePointer)

public:
    explicit ChartView(QWidget *parent = nullptr);
    ~ChartView() override;

    // ---- data ----
    ChartData &data();             // edits are drawn at the next event-loop turn
    const ChartData &data() const;
    void setData(ChartData data);

    // ---- look ----
    // One of ChartTypeCode; any other code draws as a 2-D bar chart (ChartType still returns it).
    int ChartType() const;
    void setChartType(int code);
    bool ShowLegend() const;
    void setShowLegend(bool show);
    bool Stacking() const; // series stacked (bars and area; a pie ignores it)
    void setStacking(bool stack);
    QString TitleText() const;
    void setTitleText(const QString &text);
    void setTitleFont(const QFont &font);
    // Axis titles and fonts by AxisId; std::out_of_range for another id. A 2-D chart has no depth
    // axis: its category axis shows the depth title when its own title is empty, so the group
    // column's name is not lost. The second value axis is kept but not drawn.
    QString AxisTitle(int axis) const;
    void setAxisTitle(int axis, const QString &text);
    void setAxisTitleFont(int axis, const QFont &font);
    // Point size of an axis's labels; 0 hides them.
    void setAxisLabelFontSize(int axis, int points);
    // The legend back at the right and the title at the top left.
    void ResetLayout();
    // A widget laid over the chart's edge (a slider, say): while it is shown the chart draws
    // inside the rest, so that it covers no title, label or legend entry.
    void keepClearOf(QWidget *overlay);

    // ---- 3-D view, in degrees ----
    // Rotation 0..360 around the vertical axis, elevation 0..90 above the floor; values outside
    // are brought into range (rotation modulo 360, elevation clamped). Kept whatever the type,
    // so a 2-D chart switched to 3-D shows the view last set. Starts at rotation 30, elevation 15.
    double Rotation() const;
    double Elevation() const;
    void Set3DView(double rotation, double elevation);

    // ---- how it is drawn ----
    bool Is3DType() const; // the current ChartType is a 3-D one
    bool Drawn3D() const;  // ... and it is drawn in 3-D
    bool Fallback2D() const { return Is3DType() && !Drawn3D(); }
    // Non-empty exactly when Fallback2D(): a sentence for the status bar.
    QString FallbackText() const;
    // Non-empty when the data was not drawn because it has more points than DrawLimit; the chart
    // then shows this text instead.
    QString DrawError() const;
    static constexpr int DrawLimit = 20000;

    // Whether this process can draw 3-D (an OpenGL context can be created and made current).
    // Asked once; tests may forbid it to see the 2-D fallback where OpenGL exists.
    static bool openGLAvailable();
    static void setOpenGLAllowed(bool allowed);

    // ---- picture ----
    // The chart as drawn, at the widget's size (or `size` when given; a hidden or unsized widget
    // uses 640 x 480). Never null for a positive size.
    QImage Picture(QSize size = {});
    // Puts Picture() on the clipboard.
    void EditCopy();
    // Draws the chart into target on any painter (a printer included); 2-D charts stay vector.
    void render(QPainter &painter, const QRectF &target);

    // ---- points ----
    // The point under a position in widget coordinates (2-D charts and the 2-D fallback; a chart
    // drawn in 3-D answers nullopt: its points are picked by clicking, see PointSelected).
    std::optional<ChartPoint> pointAt(QPoint pos);

    // MousePointer: PointerDefault or PointerCross (the cross while Ctrl is held, say).
    int MousePointer() const;
    void setMousePointer(int pointer);

signals:
    // A left click on a point (1-based series and point, as ChartData counts series).
    void PointSelected(int series, int dataPoint);
    // The drawing changed: after a rebuild and after each step of a Ctrl-drag rotation.
    void PlotUpdated();
    // Mouse and keys over the chart, in the program's codes; x, y in pixels of the widget.
    void MouseDown(int button, int shift, int x, int y);
    void MouseUp(int button, int shift, int x, int y);
    void KeyDown(int keyCode, int shift);
    void KeyUp(int keyCode, int shift);
    // Fallback2D() or DrawError() changed.
    void RenderStateChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void scheduleRebuild();
    void ensureBuilt();
    void rebuild();
    // The chart on painter at logical (screen) size; detail is how much finer the target is.
    void drawAt(QPainter &painter, QSize logical, double detail);
    bool wants3D() const;
    void noteRenderState();
    void clearOverlays();
    bool handleMouse(QObject *watched, QEvent *event);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace chart
