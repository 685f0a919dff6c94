#include "core/ControlSupport.h"

#include "app/Trap.h"
#include "db/DbError.h"
#include "grid/Grid.h"

#include <algorithm>

#include <exception>

namespace analysis {

QString currentErrorText()
{
    return app::currentErrorText(QStringLiteral("Unexpected error"));
}

bool currentErrorIsCancel()
{
    return app::currentErrorIsCancel();
}

ColumnLayout columnLayout(const grid::Grid &g)
{
    ColumnLayout layout;
    for (int c = 0; c < g.Cols(); ++c) {
        layout.headings << g.TextMatrix(0, c);
        layout.hidden.push_back(g.ColHidden(c));
    }
    layout.frozen = g.FrozenCols();
    return layout;
}

void restoreColumnLayout(grid::Grid &g, const ColumnLayout &layout)
{
    int placed = 0;
    for (qsizetype i = 0; i < layout.headings.size(); ++i) {
        int found = -1;
        for (int c = placed; c < g.Cols() && found < 0; ++c) {
            if (g.TextMatrix(0, c) == layout.headings[i])
                found = c;
        }
        if (found < 0)
            continue;
        if (found != placed)
            g.setColPosition(found, placed);
        g.setColHidden(placed, layout.hidden[std::size_t(i)]);
        ++placed;
    }
    g.setFrozenCols(std::min(layout.frozen, g.Cols()));
}

} // namespace analysis
