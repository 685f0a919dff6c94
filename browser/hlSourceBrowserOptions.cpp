#include "hlSourceBrowser/hlSourceBrowser.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "BrowserTrap.h"
#include "frmOptions.h"

#include <exception>

bool hlSourceBrowser::Show_Options()
{
    return trap(QStringLiteral("Show_Options"), [&] {
        browser::frmOptions dlg(this);
        dlg.setCalledFrom(this);
        // A dialog that could not load has reported why; there is nothing to show.
        if (!dlg.load())
            return false;
        browser::runDialog(dlg);
        return true;
    });
}
