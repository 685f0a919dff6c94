#pragma once

#include <tabulon/PlatformExport.h>

namespace ui {

// The screen's mouse pointer. Setting is not a stack: any number of sets is undone by one reset,
// which removes every application override cursor (ours or anyone else's).
class PLATFORM_EXPORT MousePointer {
public:
    enum class Shape { Default = 0, Arrow = 1, Hourglass = 11 };

    static void set(Shape shape);
    static void setHourglass() { set(Shape::Hourglass); }
    static void setDefault() { set(Shape::Default); }
    static Shape current();
};

} // namespace ui
