#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>

class QPushButton;
class QWidget;

namespace ui {

// A form's push button, named so that code and tests find it, with its tip. It never becomes the
// default button by taking the focus, so Enter in a form's box presses only the form's default.
PLATFORM_EXPORT QPushButton *formButton(QWidget *parent, const QString &name, const QString &caption,
                                        const QString &tip = {});

} // namespace ui
