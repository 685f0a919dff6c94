#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace grid {
class Grid;
}

// Small helpers shared by the control's source files.
namespace analysis {

// Title of the control's message boxes.
inline const QString kMessageTitle = QStringLiteral("Tabulon");
inline const QString kReadyText = QStringLiteral("Ready ...");

// The text of the exception being handled; call only inside a catch block.
QString currentErrorText();
// The exception being handled is a statement the user cancelled (false outside a catch block).
bool currentErrorIsCancel();

// How the user laid the results' columns out: headings left to right, which are hidden, how many
// are locked at the left.
struct ColumnLayout {
    QStringList headings;
    std::vector<bool> hidden;
    int frozen = 0;
};
ColumnLayout columnLayout(const grid::Grid &g);
// The same statement in another order gives the same columns: each goes back where it was, by its
// heading (a repeated heading by its turn).
void restoreColumnLayout(grid::Grid &g, const ColumnLayout &layout);

} // namespace analysis
