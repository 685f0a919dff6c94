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

} // namespace app
