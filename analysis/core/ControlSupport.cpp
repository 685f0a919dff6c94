#include "core/ControlSupport.h"

#include "app/Trap.h"
#include "db/DbError.h"

#include <exception>

namespace analysis {

QString currentErrorText()
{
    return app::currentErrorText(QStringLiteral("Unexpected error"));
}

bool currentErrorIsCancel()
{
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return false;
    try {
        std::rethrow_exception(current);
    } catch (const db::DbError &e) {
        return e.isCancelled();
    } catch (...) {
        return false;
    }
}

} // namespace analysis
