#pragma once

#include <tabulon/PlatformExport.h>

#include <QObject>

namespace ui {

// Lets the event loop run during a long operation. Throttled: pending events are processed at
// most about every 30 ms, so calling it once per row costs next to nothing. Returns true when it
// did process events.
PLATFORM_EXPORT bool yieldEvents();
// Processes pending events now, whatever the throttle says (e.g. before a long step).
PLATFORM_EXPORT void yieldEventsNow();

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
