#include "chart/ChartRender.h"

#include <QVector3D>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace chart::detail {

double Plan3D::ribbonHeight(int s, int p) const
{
    if (!stacked)
        return values[s][p];
    return values[s][p] < 0 ? bands.lower[s][p] : bands.upper[s][p];
}

Plan3D plan3D(const ChartData &data, const ChartLooks &looks)
{
    const int S = data.seriesCount();
    const int P = data.pointCount();
    Plan3D plan;
    // Series of one point each go across the front, as the 2-D chart draws them: a row each would
    // stand them one behind the other, their names on top of each other. Drawn as one series,
    // they have nothing to pile.
    plan.transposed = P == 1 && S > 1;
    plan.stacked = looks.stacking && !plan.transposed && S > 1;
    const QString valueTitle = looks.axisTitle[AxisValue];
    if (plan.transposed) {
        plan.values.assign(1, std::vector<double>(S));
        for (int s = 1; s <= S; ++s) {
            plan.values[0][s - 1] = drawnValue(data.seriesValue(s, 1));
            plan.columnLabels << data.seriesLabel(s);
        }
        plan.seriesNames << (data.pointLabel(1).trimmed().isEmpty() ? valueTitle : data.pointLabel(1));
        // The one row is named by the legend.
        plan.rowLabels << QString();
    } else {
        plan.values.assign(S, std::vector<double>(P));
        for (int s = 1; s <= S; ++s) {
            plan.seriesNames << data.seriesLabel(s);
            for (int p = 1; p <= P; ++p)
                plan.values[s - 1][p - 1] = drawnValue(data.seriesValue(s, p));
        }
        for (int p = 1; p <= P; ++p)
            plan.columnLabels << data.pointLabel(p);
        // Piled bars stand in one row, named by the legend; an area's ribbons keep their depth.
        if (plan.stacked && looks.type != Chart3DArea)
            plan.rowLabels << QString();
        else
            plan.rowLabels = plan.seriesNames;
    }
    plan.rows = int(plan.rowLabels.size());
    plan.columns = int(plan.columnLabels.size());
    plan.bands = valueBands(plan.values, plan.stacked);
    for (const auto &band : plan.bands.lower)
        for (double v : band)
            plan.low = std::min(plan.low, v);
    for (const auto &band : plan.bands.upper)
        for (double v : band)
            plan.high = std::max(plan.high, v);
    return plan;
}


namespace {

// The graph as this reckoning models it (measured on its pictures): the camera circles the floor's
// middle at this distance (in halves of the floor's longer side); names hang a
// little below the floor; a name is this high for each point of the label font over 0.05 + 1/500
// of a point, and two names stand apart when one more third of a name lies between them.
constexpr double kCameraDistance = 3.0;
constexpr double kLabelFloor = -0.5;
constexpr double kLabelHeight = 0.6;
constexpr double kLabelSpacing = 1.4;

} // namespace

int categoryLabelStep(int count, bool alongAcross, double across, double deep, const View3D &view,
                      double fontPoints)
{
    if (count < 2)
        return 1;
    const double distance = kCameraDistance;
    const double turn = qDegreesToRadians(view.rotation);
    const double rise = qDegreesToRadians(std::clamp(view.elevation, -90.0, 90.0));
    const QVector3D camera(float(-distance * std::sin(turn) * std::cos(rise)), float(distance * std::sin(rise)),
                           float(distance * std::cos(turn) * std::cos(rise)));
    const double half = alongAcross ? across : deep;
    const double other = alongAcross ? deep : across;
    // The names stand at the edge nearer the camera.
    const double edge = (alongAcross ? camera.z() : camera.x()) >= 0 ? other : -other;
    const QVector3D direction = alongAcross ? QVector3D(1, 0, 0) : QVector3D(0, 0, 1);
    const double pitch = 2 * half / count;
    const double label = kLabelHeight * (0.05 + fontPoints / 500);
    // A name turns towards the camera, the axis does not: seen at a slant, the axis shortens and
    // the names lean along it, so the gap between two shrinks twice with the angle between the
    // axis and the line of sight, which is narrowest at the far end.
    double narrowest = 1;
    for (int i = 0; i < count; ++i) {
        const double along = -half + (i + 0.5) * pitch;
        const QVector3D at = alongAcross ? QVector3D(float(along), float(kLabelFloor), float(edge))
                                         : QVector3D(float(edge), float(kLabelFloor), float(along));
        const QVector3D sight = (at - camera).normalized();
        const double cosine = std::abs(QVector3D::dotProduct(sight, direction));
        narrowest = std::min(narrowest, std::max(0.0, 1 - cosine * cosine));
    }
    const double room = pitch * narrowest / label; // names' heights between neighbours
    if (!(room > 0))
        return count;
    return std::clamp(int(std::ceil(kLabelSpacing / room - 1e-9)), 1, count);
}

} // namespace chart::detail
