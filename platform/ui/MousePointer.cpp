#include "ui/MousePointer.h"

#include "db/Worker.h"

#include <QCursor>
#include <QGuiApplication>

namespace ui {

namespace {

// qGuiApp casts whatever application there is; a program without a screen has no pointer.
bool hasPointer()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

// The data layer knows no pointer: a wait for the database that lasts shows the hourglass from here.
void showLastingWaits()
{
    db::Wait::setLastingLook([] {
        const MousePointer::Shape before = MousePointer::current();
        MousePointer::setHourglass();
        return std::function<void()>([before] { MousePointer::set(before); });
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(showLastingWaits)

void MousePointer::set(Shape shape)
{
    if (!hasPointer())
        return;
    if (shape == Shape::Default) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        return;
    }
    const Qt::CursorShape cursor = shape == Shape::Hourglass ? Qt::WaitCursor : Qt::ArrowCursor;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(QCursor(cursor));
    else
        QGuiApplication::setOverrideCursor(QCursor(cursor));
}

MousePointer::Shape MousePointer::current()
{
    const QCursor *cursor = hasPointer() ? QGuiApplication::overrideCursor() : nullptr;
    if (!cursor)
        return Shape::Default;
    switch (cursor->shape()) {
    case Qt::WaitCursor:
    case Qt::BusyCursor:
        return Shape::Hourglass;
    case Qt::ArrowCursor:
        return Shape::Arrow;
    default:
        return Shape::Default;
    }
}

} // namespace ui
