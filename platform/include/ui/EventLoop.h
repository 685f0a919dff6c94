#pragma once

#include <tabulon/PlatformExport.h>

#include <QObject>

#include <functional>

namespace ui {

// Lets the event loop run during a long operation. Throttled: pending events are processed at
// most about every 30 ms, so calling it once per row costs next to nothing. Returns true when it
// did process events.
PLATFORM_EXPORT bool yieldEvents();
// Processes pending events now, whatever the throttle says (e.g. before a long step).
PLATFORM_EXPORT void yieldEventsNow();

// Work held back until the event loop next runs on the application's thread, and done then
// before any event (input, paint, timer) is delivered: the busy look of an operation (toolbars
// disabled, its status text, the hourglass), which an operation ending before the loop runs
// never has to put up and take down again, and nobody could have seen or clicked meanwhile.
// Dropped when destroyed before. Off the application's thread, or without an application, the
// work is done at once.
class PLATFORM_EXPORT BeforeEventLoop {
public:
    explicit BeforeEventLoop(std::function<void()> work);
    ~BeforeEventLoop();
    BeforeEventLoop(const BeforeEventLoop &) = delete;
    BeforeEventLoop &operator=(const BeforeEventLoop &) = delete;

    bool done() const { return m_done; }
    // Does the work now if it still waits.
    void now();

private:
    std::function<void()> m_work;
    bool m_done = false;
};

// Remembers Escape key presses anywhere in the application, for long operations that poll for
// "stop" (the program's 100 ms timer reads escapePressed()). Installed on first use.
class PLATFORM_EXPORT EscapeWatcher : public QObject {
    Q_OBJECT
public:
    // Installs the application-wide filter (idempotent); needs a QCoreApplication.
    static EscapeWatcher *instance();
    // True when Escape was pressed since the last call (or clear()); clears the record.
    static bool escapePressed();
    // Forgets earlier presses, e.g. when an operation starts.
    static void clear();

signals:
    void pressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit EscapeWatcher(QObject *parent);
    bool m_pressed = false;
};

} // namespace ui
