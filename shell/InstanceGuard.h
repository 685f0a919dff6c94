#pragma once

#include <QString>

#include <memory>

class QLockFile;

// One running copy of the program per user: the first copy holds a lock file in the user's
// runtime folder for as long as it runs; a lock left by a copy that died is taken over.
class InstanceGuard {
public:
    // folder empty: the user's runtime folder.
    explicit InstanceGuard(const QString &folder = {});
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard &) = delete;
    InstanceGuard &operator=(const InstanceGuard &) = delete;

    // True when this copy now holds the lock (or already did); false when another copy holds it.
    // A folder that cannot hold a lock at all lets the program run rather than never start.
    bool acquire();
    bool held() const { return m_held; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};
