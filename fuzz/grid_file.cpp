// The grid's own file: a refused file leaves the grid as it was; a loaded one saves to a file
// that loads into the same grid and saves to the same bytes.
#include "FuzzSupport.h"

#include "grid/Grid.h"
#include "grid/GridTypes.h"

using grid::Grid;

namespace {

struct Picture {
    int rows = 0, cols = 0, fixedRows = 0, fixedCols = 0;
    std::vector<QString> cells; // raw text, a Null as "<null>"
    std::vector<int> widths;
    std::vector<bool> hidden;
    bool operator==(const Picture &) const = default;
};

Picture picture(const Grid &g)
{
    Picture p;
    p.rows = g.Rows();
    p.cols = g.Cols();
    p.fixedRows = g.FixedRows();
    p.fixedCols = g.FixedCols();
    // Large grids are compared by their shape and a sample of cells.
    const int rowStep = std::max(1, p.rows / 64);
    const int colStep = std::max(1, p.cols / 64);
    for (int r = 0; r < p.rows; r += rowStep)
        for (int c = 0; c < p.cols; c += colStep)
            p.cells.push_back(g.IsNullMatrix(r, c) ? QStringLiteral("<null>")
                                                   : g.Cell(grid::flexcpText, r, c).toString());
    for (int c = 0; c < p.cols; c += colStep) {
        p.widths.push_back(g.ColWidth(c));
        p.hidden.push_back(g.ColHidden(c));
    }
    return p;
}

Grid &known()
{
    static Grid *g = [] {
        auto *grid = new Grid;
        grid->setCols(3);
        grid->setRows(3);
        grid->setTextMatrix(0, 1, QStringLiteral("Name"));
        grid->setTextMatrix(1, 1, QStringLiteral("kept\tas it is"));
        grid->setColWidth(2, 1800);
        grid->setColHidden(0, true);
        return grid;
    }();
    return *g;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    const QString path = fuzz::writeScratch(QStringLiteral("fuzz.qry"), fuzz::bytes(data, size));
    Grid &g = known();
    const Picture before = picture(g);
    Grid loaded;
    bool read = true;
    try {
        loaded.LoadGrid(path);
    } catch (const grid::GridError &e) {
        FUZZ_CHECK(!e.message().isEmpty(), path);
        read = false;
    }
    if (read) {
        // What is written reads back the same, and writes the same bytes again.
        const QString first = fuzz::scratchFolder() + QStringLiteral("/first.qry");
        const QString second = fuzz::scratchFolder() + QStringLiteral("/second.qry");
        try {
            loaded.SaveGrid(first);
            Grid again;
            again.LoadGrid(first);
            FUZZ_CHECK(picture(again) == picture(loaded), path);
            again.SaveGrid(second);
        } catch (const grid::GridError &e) {
            FUZZ_CHECK(false, e.message());
        }
        FUZZ_CHECK(fuzz::readFile(first) == fuzz::readFile(second), QString::fromUtf8(fuzz::readFile(first).left(400)));
    }
    // A refused file, loaded into a grid that holds cells, leaves it as it was.
    static const QString knownPath = [] {
        const QString p = fuzz::scratchFolder() + QStringLiteral("/known.qry");
        known().SaveGrid(p);
        return p;
    }();
    try {
        g.LoadGrid(path);
    } catch (const grid::GridError &e) {
        FUZZ_CHECK(picture(g) == before, e.message());
        return 0;
    }
    g.LoadGrid(knownPath); // back to the known grid for the next input
    return 0;
}
