#include "ui/EventLoop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <vector>

namespace ui {

namespace {

constexpr qint64 YieldIntervalMs = 30;

QElapsedTimer &sinceLastYield()
{
    static QElapsedTimer timer;
    return timer;
}

std::vector<BeforeEventLoop *> &waitingWork()
{
    static std::vector<BeforeEventLoop *> waiting;
    return waiting;
}

// Every dispatcher says it is awake (or about to block) before it delivers anything.
void watchEventLoop()
{
    static QPointer<QAbstractEventDispatcher> watched;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || dispatcher == watched)
        return;
    watched = dispatcher;
    const auto runWaiting = [] {
        // One at a time: a piece of work may start or end others.
        while (!waitingWork().empty())
            waitingWork().front()->now();
    };
    QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, dispatcher, runWaiting, Qt::DirectConnection);
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, runWaiting,
                     Qt::DirectConnection);
}

} // namespace

BeforeEventLoop::BeforeEventLoop(std::function<void()> work)
    : m_work(std::move(work))
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        now();
        return;
    }
    watchEventLoop();
    waitingWork().push_back(this);
}

BeforeEventLoop::~BeforeEventLoop()
{
    std::erase(waitingWork(), this);
}

void BeforeEventLoop::now()
{
    if (m_done)
        return;
    m_done = true;
    std::erase(waitingWork(), this);
    if (m_work)
        m_work();
}

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
