#pragma once

#include <tabulon/PlatformExport.h>

#include <QObject>

#include <memory>

namespace app {

// SIGTERM (the desktop session ending, `kill PID`) brought to the event loop: while the object
// lives, the signal's handler only notes it and requested() is emitted on the object's thread
// once the loop turns, so the program ends as its own close would. A second SIGTERM before the
// program has ended ends it at once, as the signal does by default. One at a time; destroying it
// puts back the handler there was.
class PLATFORM_EXPORT TerminateSignal : public QObject {
    Q_OBJECT
public:
    explicit TerminateSignal(QObject *parent = nullptr);
    ~TerminateSignal() override;

signals:
    void requested();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace app
