#include "BrowserTrap.h"

namespace browser {

QString currentErrorText()
{
    return app::currentErrorText(QStringLiteral("Unexpected error"));
}

} // namespace browser
