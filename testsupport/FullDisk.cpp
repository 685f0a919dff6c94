#include "FullDisk.h"

#include <QDir>

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

} // namespace

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

} // namespace testsupport
