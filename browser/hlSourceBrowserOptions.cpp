#include "hlSourceBrowser/hlSourceBrowser.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "frmOptions.h"

#include <exception>

bool hlSourceBrowser::Show_Options()
{
    try {
        browser::frmOptions dlg(this);
        dlg.setCalledFrom(this);
        // A dialog that could not load has reported why; there is nothing to show.
        if (!dlg.load())
            return false;
        browser::runDialog(dlg);
        return true;
    } catch (const std::exception &e) {
        report(QStringLiteral("Show_Options"), QString::fromUtf8(e.what()));
        return false;
    }
}
