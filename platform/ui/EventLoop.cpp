#include "ui/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>

namespace ui {

namespace {

constexpr qint64 YieldIntervalMs = 30;

QElapsedTimer &sinceLastYield()
{
    static QElapsedTimer timer;
    return timer;
}

} // namespace

bool yieldEvents()
{
    QElapsedTimer &timer = sinceLastYield();
    if (timer.isValid() && timer.elapsed() < YieldIntervalMs)
        return false;
    yieldEventsNow();
    return true;
}

void yieldEventsNow()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    sinceLastYield().start();
}

EscapeWatcher::EscapeWatcher(QObject *parent)
    : QObject(parent)
{
}

EscapeWatcher *EscapeWatcher::instance()
{
    static QPointer<EscapeWatcher> watcher;
    QCoreApplication *app = QCoreApplication::instance();
    if (!watcher && app) {
        // Owned by the application, so it goes with it.
        watcher = new EscapeWatcher(app);
        app->installEventFilter(watcher);
    }
    return watcher;
}

bool EscapeWatcher::escapePressed()
{
    EscapeWatcher *w = instance();
    if (!w)
        return false;
    const bool was = w->m_pressed;
    w->m_pressed = false;
    return was;
}

void EscapeWatcher::clear()
{
    if (EscapeWatcher *w = instance())
        w->m_pressed = false;
}

bool EscapeWatcher::eventFilter(QObject *watched, QEvent *event)
{
    // A shortcut bound to Escape consumes the key press, but its ShortcutOverride still passes.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && !m_pressed) {
            m_pressed = true;
            emit pressed();
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ui
