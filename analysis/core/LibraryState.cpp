#include "hlTabulon/LibraryState.h"

#include "Faultdesk/hrErr.h"
#include "ui/EventLoop.h"

#include <QDialog>

namespace analysis {

bool g_blnAbort = false;
bool g_blnErrorRouting = false;
QString g_strDelimiter;

namespace {

std::shared_ptr<hrErr> &errorHolder()
{
    static std::shared_ptr<hrErr> holder;
    return holder;
}

quint64 g_escapePresses = 0;

ModalRunner &modalRunner()
{
    static ModalRunner runner;
    return runner;
}

} // namespace

std::shared_ptr<hrErr> errorObject()
{
    auto &holder = errorHolder();
    if (!holder)
        holder = std::make_shared<hrErr>();
    return holder;
}

void releaseErrorObject()
{
    errorHolder().reset();
}

void logError(const QString &procedure, const QString &description)
{
    const std::shared_ptr<hrErr> err = errorObject();
    err->Log_Error(procedure, description);
}

quint64 escapePresses()
{
    // The watcher keeps one "pressed" mark; folding it into a counter lets any number of
    // controls read the same press.
    if (ui::EscapeWatcher::escapePressed())
        ++g_escapePresses;
    return g_escapePresses;
}

bool escapePressedSince(quint64 &seen)
{
    const quint64 now = escapePresses();
    const bool pressed = now > seen;
    seen = now;
    return pressed;
}

void setModalRunner(ModalRunner runner)
{
    modalRunner() = std::move(runner);
}

void runModal(QDialog &dialog)
{
    if (const ModalRunner &runner = modalRunner())
        runner(dialog);
    else
        dialog.exec();
}

} // namespace analysis
