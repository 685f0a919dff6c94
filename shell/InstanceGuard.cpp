#include "InstanceGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

InstanceGuard::InstanceGuard(const QString &folder)
{
    QString dir = folder;
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_path = QDir(dir).filePath(QStringLiteral("Tabulon.lock"));
}

InstanceGuard::~InstanceGuard() = default;

bool InstanceGuard::acquire()
{
    if (m_held)
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_lock = std::make_unique<QLockFile>(m_path);
    // A lock is stale only when its process is gone, never by age: a copy may run for weeks.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        m_held = true;
        return true;
    }
    const QLockFile::LockError error = m_lock->error();
    m_lock.reset();
    return error != QLockFile::LockFailedError;
}
