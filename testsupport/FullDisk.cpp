#include "FullDisk.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

struct State {
    std::mutex mutex;
    std::string folder; // with a trailing '/'; empty when no disk is full
    long long allowed = 0;
    int refused = 0;
};

State &state()
{
    static State s;
    return s;
}

std::atomic<bool> g_active{false};

using WriteFn = ssize_t (*)(int, const void *, size_t);

WriteFn realWrite()
{
    static const WriteFn fn = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
    return fn;
}

bool underFolder(int fd, const std::string &folder)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    return std::string(target, std::size_t(n)).rfind(folder, 0) == 0;
}

struct SyncState {
    std::mutex mutex;
    std::string folder; // with a trailing '/'; empty when no sync is watched
    std::function<void(bool)> onSync;
    int error = 0;
};

SyncState &syncState()
{
    static SyncState s;
    return s;
}

std::atomic<bool> g_syncsWatched{false};

using SyncFn = int (*)(int);

// For a sync of fd: the error it fails with, or 0 (watched) or -1 (not) when the real call runs.
int watchedSync(int fd)
{
    if (!g_syncsWatched.load(std::memory_order_acquire))
        return -1;
    std::function<void(bool)> onSync;
    int error = 0;
    {
        SyncState &s = syncState();
        std::lock_guard lock(s.mutex);
        if (s.folder.empty() || !underFolder(fd, s.folder))
            return -1;
        onSync = s.onSync;
        error = s.error;
    }
    if (onSync) {
        const QCoreApplication *app = QCoreApplication::instance();
        onSync(app && QThread::currentThread() == app->thread());
    }
    return error;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int fsync(int fd)
{
    static const SyncFn real = reinterpret_cast<SyncFn>(dlsym(RTLD_NEXT, "fsync"));
    if (const int error = watchedSync(fd); error > 0) {
        errno = error;
        return -1;
    }
    return real(fd);
}

extern "C" __attribute__((visibility("default"))) int fdatasync(int fd)
{
    static const SyncFn real = reinterpret_cast<SyncFn>(dlsym(RTLD_NEXT, "fdatasync"));
    if (const int error = watchedSync(fd); error > 0) {
        errno = error;
        return -1;
    }
    return real(fd);
}

// Visible whatever the build's default: the Qt libraries must find this write, not the C library's.
extern "C" __attribute__((visibility("default"))) ssize_t write(int fd, const void *buf, size_t count)
{
    if (g_active.load(std::memory_order_acquire) && count > 0) {
        State &s = state();
        std::lock_guard lock(s.mutex);
        if (!s.folder.empty() && underFolder(fd, s.folder)) {
            if (s.allowed <= 0) {
                ++s.refused;
                errno = ENOSPC;
                return -1;
            }
            // Partly room: a short write, as a filling disk gives.
            const size_t room = size_t(std::min<long long>(s.allowed, (long long)count));
            const ssize_t written = realWrite()(fd, buf, room);
            if (written > 0)
                s.allowed -= written;
            return written;
        }
    }
    return realWrite()(fd, buf, count);
}

namespace testsupport {

FullDisk::FullDisk(const QString &folder, long long allowedBytes)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.folder = QDir(folder).canonicalPath().toStdString() + '/';
    s.allowed = allowedBytes;
    s.refused = 0;
    g_active.store(true, std::memory_order_release);
}

FullDisk::~FullDisk()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    g_active.store(false, std::memory_order_release);
    s.folder.clear();
}

int FullDisk::refusedWrites() const
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return s.refused;
}

DiskSyncs::DiskSyncs(const QString &folder, std::function<void(bool)> onSync, int error)
{
    SyncState &s = syncState();
    std::lock_guard lock(s.mutex);
    s.folder = QDir(folder).canonicalPath().toStdString() + '/';
    s.onSync = std::move(onSync);
    s.error = error;
    g_syncsWatched.store(true, std::memory_order_release);
}

DiskSyncs::~DiskSyncs()
{
    SyncState &s = syncState();
    std::lock_guard lock(s.mutex);
    g_syncsWatched.store(false, std::memory_order_release);
    s.folder.clear();
    s.onSync = {};
}

} // namespace testsupport
