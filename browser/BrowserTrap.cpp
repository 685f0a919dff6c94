#include "BrowserTrap.h"

#include <exception>

namespace browser {

QString currentErrorText()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}

} // namespace browser
