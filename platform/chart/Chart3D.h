#pragma once

// The 3-D drawing of the chart widget (Qt Data Visualization). Not part of the public API; made
// only where ChartView::openGLAvailable() says a context can be had.

#include "chart/ChartRender.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QTimer;
class QWindow;

class Q3DBars;
class QCustom3DItem;
class QCustom3DLabel;
class Q3DSurface;
class QAbstract3DGraph;

namespace chart::detail {

class Graph3D : public QObject {
    Q_OBJECT
public:
    // surface: a surface over the grid (the 3-D area); else bars.
    explicit Graph3D(bool surface, QObject *parent = nullptr);
    ~Graph3D() override;

    bool isSurface() const { return m_surface; }
    // The names of the series as drawn, each in seriesColor of its place, for the legend.
    QStringList legendNames() const { return m_legendNames; }
    // The graph's window, for a window container; owned by whoever embeds it.
    QWindow *window() const;
    bool hasContext() const;

    void show(const ChartData &data, const ChartLooks &looks);
    void setView(double rotation, double elevation);
    // Where the next render looks for a point to select (window coordinates).
    void queryPoint(QPoint pos);
    // Laid out for size's shape as the window is for its own.
    QImage picture(QSize size);

signals:
    void pointSelected(int series, int dataPoint);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Zooms the camera so that the graph, its labels included, fills a picture of size as far as
    // its shape allows; the window is fitted so whenever it or the view changes.
    void fitTo(QSize size);
    void scheduleFit();
    void centreDrawing(QSize probe);
    void setLabelPoints(double points);
    // The value axis's labels, once: the graph's own stand on two walls at once.
    void showValueLabels(double min, double max, int segments);
    void placeValueLabels();
    // The category names that fit the axes as the camera sees them; force: set them even when
    // as many fit as before.
    void fitCategoryLabels(bool force);
    // Piled bars: a box for each series' piece of each category.
    void showPieces(const Plan3D &plan);

    bool m_surface;
    QPointer<QAbstract3DGraph> m_graph;
    Q3DBars *m_bars = nullptr;
    Q3DSurface *m_surfaceGraph = nullptr;
    // Series of one point each, drawn as one ribbon across them.
    bool m_transposed = false;
    QStringList m_legendNames;
    int m_seriesReal = 0;
    int m_pointsReal = 0;
    bool m_ignoreSelection = false;
    QList<QCustom3DLabel *> m_valueLabels; // shown, from the axis's foot up
    QHash<QString, QCustom3DLabel *> m_labelOfText; // every value label made; owned by the graph
    int m_valueSteps = 0;
    QStringList m_columnNames, m_rowNames; // whole, as the data names them
    bool m_columnNamesShown = true;
    bool m_rowNamesShown = true;
    double m_across = 1, m_deep = 1; // the floor's half width and depth
    int m_columnStep = 0, m_rowStep = 0;
    QList<QList<QCustom3DItem *>> m_pieces; // by series; owned by the graph; those not in m_pieceOf hidden
    QHash<QCustom3DItem *, std::pair<int, int>> m_pieceOf; // series and point of each shown
    QTimer *m_fitTimer = nullptr;
};

} // namespace chart::detail
