#include "grid/GridPrinter.h"

#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"
#include "GridText.h"

#include "ui/PrinterService.h"

#include <QFontInfo>
#include <QMarginsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace grid {

namespace {

constexpr int TextPad = 3; // as the grid's cells leave beside their text

// A cell as it prints: fonts by pixel size, so that the painter's scale sizes text with the cells.
CellLook printedLook(const GridModel &m, int r, int c, double screenDpi)
{
    CellLook look = cellLook(m, r, c);
    if (look.font.pointSizeF() > 0)
        look.font.setPixelSize(std::max(1, int(look.font.pointSizeF() * screenDpi / 72.0 + 0.5)));
    return look;
}

} // namespace

struct GridPrinter::Layout {
    std::vector<int> cols;     // visible columns, in order
    std::vector<int> widths;   // their widths, screen pixels
    std::vector<int> dataRows; // visible data rows
    int fixedRows = 0;
    int rowHeight = 0;         // screen pixels
    double scale = 1.0;        // device pixels per screen pixel
    int rowsPerPage = 1;
    int pages = 1;
    double pageHeight = 0;     // screen pixels after scaling
    double pageWidth = 0;
    double screenDpi = 96;
};

GridPrinter::GridPrinter(const Grid &grid)
    : m_grid(grid)
{
}

void GridPrinter::setMargins(int leftRightTwips, int topBottomTwips)
{
    m_marginLR = std::max(0, leftRightTwips);
    m_marginTB = std::max(0, topBottomTwips);
}

void GridPrinter::applySetup(QPrinter &printer) const
{
    printer.setPageMargins(QMarginsF(m_marginLR / 1440.0, m_marginTB / 1440.0, m_marginLR / 1440.0, m_marginTB / 1440.0),
                           QPageLayout::Inch);
    if (!m_docName.isEmpty())
        printer.setDocName(m_docName);
}

GridPrinter::Layout GridPrinter::layout(QPrinter &printer) const
{
    applySetup(printer);
    m_grid.model()->syncBound();
    const GridModel &m = *m_grid.model();
    Layout l;
    l.fixedRows = m.fixedRows();
    l.rowHeight = std::max(1, m_grid.rowHeightPx());
    l.screenDpi = m_grid.logicalDpiY() > 0 ? m_grid.logicalDpiY() : 96;
    const int defaultWidth = QFontMetrics(m_grid.font()).averageCharWidth() * 10 + 6;
    int total = 0;
    for (int c = 0; c < m.cols(); ++c) {
        const ColumnInfo &info = m.column(c);
        if (info.hidden)
            continue;
        const int w = info.widthPx >= 0 ? info.widthPx : defaultWidth;
        if (w <= 0)
            continue;
        l.cols.push_back(c);
        l.widths.push_back(w);
        total += w;
    }
    for (int r = l.fixedRows; r < m.rows(); ++r)
        if (!m.rowHidden(r))
            l.dataRows.push_back(r);
    // A figure wider than its column would print as "###", and paper cannot be widened
    // afterwards: a column of numbers takes the room of its widest printed figure.
    for (std::size_t i = 0; i < l.cols.size(); ++i) {
        const int type = m.column(l.cols[i]).dataType;
        if (type == flexDTString || type == flexDTDate || type == flexDTBoolean)
            continue; // never shown as a number
        for (const int r : l.dataRows) {
            const CellLook look = printedLook(m, r, l.cols[i], l.screenDpi);
            if (look.numeric && textClipped(look, l.widths[i])) {
                const int wider = textWidth(look.font, look.text) + 2 * TextPad + 1;
                total += wider - l.widths[i];
                l.widths[i] = wider;
            }
        }
    }

    const QRectF paint = printer.pageLayout().paintRectPixels(printer.resolution());
    const double perScreenPixel = printer.resolution() / l.screenDpi;
    double fit = 1.0;
    if (total > 0 && total * perScreenPixel > paint.width())
        fit = paint.width() / (total * perScreenPixel); // every column shrinks alike
    l.scale = perScreenPixel * fit;
    l.pageWidth = paint.width() / l.scale;
    l.pageHeight = paint.height() / l.scale;
    const double header = l.fixedRows * l.rowHeight;
    const double footer = l.rowHeight * 1.5;
    l.rowsPerPage = std::max(1, int(std::floor((l.pageHeight - header - footer) / l.rowHeight)));
    l.pages = std::max(1, int((l.dataRows.size() + std::size_t(l.rowsPerPage) - 1) / std::size_t(l.rowsPerPage)));
    return l;
}

int GridPrinter::pageCount(QPrinter &printer) const
{
    return layout(printer).pages;
}

bool GridPrinter::print(QPrinter &printer) const
{
    const Layout l = layout(printer);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const GridModel &m = *m_grid.model();
    // Fonts by pixel size, so that the painter's scale sizes text with the cells.
    QFont base = m_grid.font();
    base.setPixelSize(std::max(1, QFontInfo(m_grid.font()).pixelSize()));
    const QColor lineColor(160, 160, 160);
    const QColor paper = m_grid.color(m_grid.BackColor());

    auto paintRow = [&](int r, double y, bool topOfPage) {
        double x = 0;
        for (std::size_t i = 0; i < l.cols.size(); ++i) {
            const int c = l.cols[i];
            // Cells merged across are one cell on paper as on screen: the run's first shows it.
            int width = l.widths[i];
            while (i + 1 < l.cols.size() && m.mergesWithLeft(r, l.cols[i + 1]))
                width += l.widths[++i];
            const QRect rect(int(x), int(y), width, l.rowHeight);
            x += width;
            CellLook look = printedLook(m, r, c, l.screenDpi);
            const bool fixed = r < l.fixedRows || c < m.fixedCols();
            if (!fixed && look.back == paper)
                look.fillBack = false; // paper stays white
            // Merged cells repeat their text only at the top of a page.
            const bool showText = topOfPage || !m.mergesWithAbove(r, c) || (r > 0 && m.rowHidden(r - 1));
            paintCellLook(&painter, look, rect, showText);
            painter.setPen(QPen(lineColor, 0));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect);
        }
    };

    for (int page = 0; page < l.pages; ++page) {
        if (page > 0 && !printer.newPage())
            break;
        painter.save();
        painter.scale(l.scale, l.scale);
        double y = 0;
        for (int r = 0; r < l.fixedRows; ++r) {
            paintRow(r, y, r == 0);
            y += l.rowHeight;
        }
        const std::size_t first = std::size_t(page) * std::size_t(l.rowsPerPage);
        const std::size_t last = std::min(l.dataRows.size(), first + std::size_t(l.rowsPerPage));
        for (std::size_t i = first; i < last; ++i) {
            paintRow(l.dataRows[i], y, i == first);
            y += l.rowHeight;
        }
        painter.setFont(base);
        painter.setPen(Qt::black);
        const QRectF foot(0, l.pageHeight - l.rowHeight * 1.2, l.pageWidth, l.rowHeight);
        painter.drawText(foot, Qt::AlignHCenter | Qt::AlignVCenter,
                         QStringLiteral("Page %1 of %2").arg(page + 1).arg(l.pages));
        painter.restore();
    }
    return painter.end();
}

bool Grid::PrintGrid(const QString &docName, bool showDialog, int orientation, int marginLR, int marginTB)
{
    FinishEditing(false);
    QPrinter &printer = ui::PrinterService::printer();
    if (showDialog && !ui::PrinterService::setup(this))
        return false;
    if (orientation == 1)
        printer.setPageOrientation(QPageLayout::Portrait);
    else if (orientation == 2)
        printer.setPageOrientation(QPageLayout::Landscape);
    GridPrinter gp(*this);
    gp.setDocName(docName);
    gp.setMargins(marginLR, marginTB);
    return gp.print(printer);
}

} // namespace grid
