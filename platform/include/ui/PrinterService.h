#pragma once

#include <tabulon/PlatformExport.h>

class QPrinter;
class QWidget;

namespace ui {

// The one printer of the process: File > Printer Setup changes it, and every printout (grids,
// charts) prints on it. Created on first use, destroyed with the application.
class PLATFORM_EXPORT PrinterService {
public:
    static QPrinter &printer();
    // The printer set-up dialog on that printer (scripted through CommonDialog in tests);
    // true when the user confirmed it.
    static bool setup(QWidget *parent = nullptr);
};

} // namespace ui
