#pragma once

#include <QString>

#include <functional>

namespace testsupport {

// While alive, every write(2) to a file under `folder` fails with ENOSPC, as on a full disk,
// after `allowedBytes` bytes have been written there. Other files (test output, databases) are
// not touched. The test executable's own write() stands in front of the C library's.
class FullDisk {
public:
    explicit FullDisk(const QString &folder, long long allowedBytes = 0);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // Writes refused so far.
    int refusedWrites() const;
};

// While alive, each fsync(2) or fdatasync(2) of a file under `folder` first calls `onSync` on the
// thread that asks (told whether it is the interface thread), then fails with `error` when that is
// not 0 (ENOSPC: a disk found full only when the data is flushed), else runs as usual.
class DiskSyncs {
public:
    DiskSyncs(const QString &folder, std::function<void(bool interfaceThread)> onSync, int error = 0);
    ~DiskSyncs();
    DiskSyncs(const DiskSyncs &) = delete;
    DiskSyncs &operator=(const DiskSyncs &) = delete;
};

} // namespace testsupport
