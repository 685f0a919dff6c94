#pragma once

#include <tabulon/PlatformExport.h>

#include "ui/EventLoop.h"
#include "ui/MousePointer.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

namespace ui {

class StatusPanels;

// The frame of a long operation: hourglass, operation text, optional progress bar and disabled
// toolbars while it runs, an abort flag polled at each step, and everything put back on every
// way out, an exception included.
//
//     ui::LongOperation op(g_blnAbort, {.status = staStatus, .text = "Copying ...",
//                                        .disable = {tlbMain, tlbResults}});
//     for (...) { ...; if (op.step()) return false; }
//
// Widgets (status bar, toolbars) are watched, so one destroyed while the operation yields (its
// window closed) is simply skipped when restoring.
class PLATFORM_EXPORT LongOperation {
public:
    enum class Restore {
        Ready,    // panel text becomes readyText
        Previous, // panel text goes back to what it was before the operation
        Keep,     // panel text is left as the operation last set it
    };

    struct Options {
        StatusPanels *status = nullptr;
        int panel = 1;
        QString text;                   // shown in the panel while running; empty leaves the panel
        Restore restore = Restore::Ready;
        QString readyText = QStringLiteral("Ready ...");
        std::vector<QWidget *> disable = {}; // disabled while running, each put back as it was
        bool hourglass = true;          // the pointer goes back to what it was before
        int progressMaximum = -1;       // >= 0 shows the status bar's progress bar (hidden at the end)
        bool clearAbortAtEnd = false;   // some operations also clear the flag when they end
        // The text, the hourglass and the disabled widgets go up only once the event loop runs
        // during the operation: one ending before shows none of them, and ends as it would anyway.
        // A panel text set meanwhile by anyone stays.
        bool lookOnceEventsRun = false;
    };

    // Clears the abort flag and starts the frame.
    LongOperation(bool &abortFlag, Options options);
    // An operation that cannot be stopped.
    explicit LongOperation(Options options);
    ~LongOperation();

    LongOperation(const LongOperation &) = delete;
    LongOperation &operator=(const LongOperation &) = delete;

    // Lets the event loop run (throttled, see yieldEvents) and tells whether the user asked to
    // stop. `now` yields whatever the throttle says.
    bool step(bool now = false);
    // The abort flag as it stands, without yielding.
    bool aborted() const;
    // A new text in the operation's panel.
    void setText(const QString &text);
    // Shows the progress bar once the operation knows how far it goes (hidden at the end).
    void showProgress(int maximum);
    void setProgress(int value);
    void advanceProgress(int by = 1);
    // Puts everything back now instead of at the end of the scope; later calls do nothing.
    void finish();

private:
    void start();
    void showLook();

    bool *m_abort = nullptr;
    Options m_options;
    QPointer<StatusPanels> m_status;
    QString m_previousText;
    quint64 m_textWrites = 0; // the panel's writes when the operation started
    std::unique_ptr<BeforeEventLoop> m_look;
    std::vector<std::pair<QPointer<QWidget>, bool>> m_disabled;
    MousePointer::Shape m_previousPointer = MousePointer::Shape::Default;
    bool m_progressShown = false;
    bool m_finished = false;
};

} // namespace ui
