#include "hlTabulon/Glob.h"

#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"

#include "ui/DesktopOpener.h"
#include "ui/MousePointer.h"

namespace analysis {

QString siteAddress(int page)
{
    switch (page) {
    case 0: return QStringLiteral("https://tabulon.example.org/");
    case 1: return QStringLiteral("https://tabulon.example.org/tabulon/");
    case 2: return QStringLiteral("https://tabulon.example.org/forum/");
    default: return {};
    }
}

bool Show_Site(qint16 page)
{
    try {
        ui::MousePointer::setHourglass();
        const QString address = siteAddress(page);
        if (!address.isEmpty())
            ui::DesktopOpener::open(address);
        ui::MousePointer::setDefault();
        return true;
    } catch (...) {
        ui::MousePointer::setDefault();
        logError(QStringLiteral("Show_Site"), currentErrorText());
        return false;
    }
}

} // namespace analysis
