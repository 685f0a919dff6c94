#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>

#include <type_traits>

namespace app {

// The text of the exception being handled, as the procedures report it: a database error's
// message, another exception's what() (UTF-8), and `otherwise` for anything that is no exception
// class. Call only inside a catch block.
PLATFORM_EXPORT QString currentErrorText(const QString &otherwise);

// The procedures' one trap: runs the work and gives its answer (true for work that answers
// nothing). On an exception `undo` first puts back what the work left half done, then `failed`
// reports it (still inside the catch block, so currentErrorText() reads it) and gives the answer.
template <typename Body, typename Undo, typename Failed>
bool trap(Body &&body, Undo &&undo, Failed &&failed)
{
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Body &>>) {
            body();
            return true;
        } else {
            return bool(body());
        }
    } catch (...) {
        undo();
        return failed();
    }
}

} // namespace app
