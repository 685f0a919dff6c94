#include "app/Trap.h"

#include "db/DbError.h"

#include <exception>

namespace app {

QString currentErrorText(const QString &otherwise)
{
    try {
        throw;
    } catch (const db::DbError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return otherwise;
    }
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

} // namespace app
