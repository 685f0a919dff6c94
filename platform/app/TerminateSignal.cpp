#include "app/TerminateSignal.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <cerrno>
#include <csignal>

#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {

// The handler may touch nothing but these: a byte written to the pair wakes the event loop.
int g_fds[2] = {-1, -1};
volatile std::sig_atomic_t g_noted = 0;

void onTerminate(int)
{
    const int saved = errno;
    if (g_noted) {
        // Asked again while ending: ended at once once the handler returns.
        std::signal(SIGTERM, SIG_DFL);
        std::raise(SIGTERM);
    }
    g_noted = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_fds[1], &byte, 1);
    errno = saved;
}

} // namespace

struct TerminateSignal::Private {
    struct sigaction previous {};
    bool installed = false;
};

TerminateSignal::TerminateSignal(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>())
{
    if (g_fds[0] != -1) {
        qWarning("TerminateSignal: another one is already installed");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) {
        g_fds[0] = g_fds[1] = -1;
        qWarning("TerminateSignal: no socket pair: SIGTERM keeps its default");
        return;
    }
    auto *notifier = new QSocketNotifier(g_fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        while (::read(g_fds[0], buf, sizeof buf) > 0) {
        }
        emit requested();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    g_noted = 0;
    ::sigaction(SIGTERM, &action, &d->previous);
    d->installed = true;
    // A SIGTERM blocked by whoever started the program would never arrive.
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
}

TerminateSignal::~TerminateSignal()
{
    if (!d->installed)
        return;
    ::sigaction(SIGTERM, &d->previous, nullptr);
    g_noted = 0;
    for (int &fd : g_fds) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace app
