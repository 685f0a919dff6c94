#pragma once

#include <cstddef>

namespace analysis {

// Every row of a view's aggregate result, unless the user stops the fetch first. The data layer's
// fetch either reports its progress here, where the frame lets the event loop run, or waits with
// the event loop itself. False when stopped before the end.
template <class Rs, class Frame>
bool fetchEveryRow(Rs &rs, Frame &frame)
{
    if constexpr (requires { rs.fetchAll([](std::size_t) { return true; }); })
        return rs.fetchAll([&](std::size_t) { return !frame.step(); });
    else
        return rs.fetchAll();
}

} // namespace analysis
