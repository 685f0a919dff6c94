#pragma once

#include <QString>

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

} // namespace testsupport
