#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>

class QPrinter;

namespace grid {

class Grid;

// Prints a grid as it looks: the fixed rows on top of every page, hidden rows and columns left
// out, the columns scaled down together when they are wider than the page, cell colours and
// fonts kept, "Page n of m" at the foot. A bound grid prints the rows it has fetched.
class PLATFORM_EXPORT GridPrinter {
public:
    explicit GridPrinter(const Grid &grid);

    void setDocName(const QString &name) { m_docName = name; }
    // Page margins in twips (left and right, top and bottom).
    void setMargins(int leftRightTwips, int topBottomTwips);

    // Pages the grid takes on the printer's page as set up now.
    int pageCount(QPrinter &printer) const;
    // Prints every page; false when the printer cannot start a document.
    bool print(QPrinter &printer) const;

private:
    struct Layout;
    Layout layout(QPrinter &printer) const;
    void applySetup(QPrinter &printer) const;

    const Grid &m_grid;
    QString m_docName;
    int m_marginLR = 720;
    int m_marginTB = 720;
};

} // namespace grid
