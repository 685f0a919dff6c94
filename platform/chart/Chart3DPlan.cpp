#include "chart/ChartRender.h"

#include <algorithm>

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

} // namespace chart::detail
