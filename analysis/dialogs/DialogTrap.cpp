#include "dialogs/DialogTrap.h"

#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"

namespace analysis {

bool logCurrentError(const QString &procedure)
{
    logError(procedure, currentErrorText());
    return false;
}

} // namespace analysis
