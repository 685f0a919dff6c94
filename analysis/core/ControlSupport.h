#pragma once

#include <QString>

// Small helpers shared by the control's source files.
namespace analysis {

// Title of the control's message boxes.
inline const QString kMessageTitle = QStringLiteral("Tabulon");
inline const QString kReadyText = QStringLiteral("Ready ...");

// The text of the exception being handled; call only inside a catch block.
QString currentErrorText();
// The exception being handled is a statement the user cancelled (false outside a catch block).
bool currentErrorIsCancel();

} // namespace analysis
