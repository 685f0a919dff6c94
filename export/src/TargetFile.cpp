#include "TargetFile.h"

#include "ExportJob.h"
#include "files/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace hlexport {

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

namespace {

// A link to a file is followed, as the text writers' saves do: the file it names gets the new
// contents, and the link stays.
QString resolvedTarget(const QString &target)
{
    const QFileInfo info(target);
    return info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
}

} // namespace

void refuseUnwritable(const QString &target)
{
    const QFileInfo info(target);
    if (info.isDir())
        throw TargetError(QStringLiteral("Cannot write %1: it is a folder").arg(target));
    // A file the user made read-only is not replaced behind their back. The superuser may
    // write any file, so the mode's write bits are asked as well.
    constexpr QFile::Permissions kWriteBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    if (info.exists() && (!info.isWritable() || !(info.permissions() & kWriteBits)))
        throw TargetError(QStringLiteral("Cannot write %1: the file is read-only").arg(target));
}

TargetFile::TargetFile(const QString &target)
    : m_target(resolvedTarget(target))
{
    refuseUnwritable(m_target);
    const QFileInfo info(m_target);
    // A hidden name beside the target, so that the rename stays on one file system.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = info.absolutePath() + QStringLiteral("/.") + info.fileName()
            + QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
        QFile file(candidate);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            m_temp = candidate;
            return;
        }
        if (file.error() != QFileDevice::OpenError || QFile::exists(candidate))
            continue;
        throw TargetError(QStringLiteral("Cannot write in the folder %1: %2").arg(info.absolutePath(), file.errorString()));
    }
    throw TargetError(QStringLiteral("Cannot make a temporary file in the folder %1").arg(info.absolutePath()));
}

TargetFile::~TargetFile()
{
    if (!m_committed && !m_temp.isEmpty())
        QFile::remove(m_temp);
}

QString TargetFile::failureText(const QString &detail, int systemError) const
{
    // The libraries seldom say that the disk is full; their error code or the folder's free space does.
    constexpr qint64 kNearlyFull = 64 * 1024;
    const QStorageInfo storage(QFileInfo(m_target).absolutePath());
    const bool full = systemError == ENOSPC || systemError == EDQUOT
        || (storage.isValid() && !storage.isReadOnly() && storage.bytesAvailable() < kNearlyFull);
    return files::writeFailureText(m_target, QFile::exists(m_target), full ? ENOSPC : systemError, detail);
}

bool TargetFile::commit(Progress &progress)
{
    const QByteArray temp = QFile::encodeName(m_temp);
    const QByteArray target = QFile::encodeName(m_target);
    // The flush of a large file takes a good part of a second: the user may still stop the export
    // meanwhile. The rename cannot be taken back: it begins only once this thread has heard no stop.
    const bool stopped = runAside(progress, [&] {
        const int fd = ::open(temp.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int openError = errno;
            throw TargetError(files::writeFailureText(m_target, QFile::exists(m_target), openError, systemError(openError)));
        }
        const int syncError = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        // A full disk may show only now; the target is still the old file.
        if (syncError != 0)
            throw TargetError(files::writeFailureText(m_target, QFile::exists(m_target), syncError, systemError(syncError)));
    });
    if (stopped)
        return false;
    // Replacing a large file frees its blocks, tens of milliseconds: off this thread too.
    runAside(
        progress,
        [&] {
            if (QFile::exists(m_target))
                QFile::setPermissions(m_temp, QFile::permissions(m_target));
            if (std::rename(temp.constData(), target.constData()) != 0)
                throw TargetError(QStringLiteral("Cannot write %1: %2").arg(m_target, systemError(errno)));
        },
        false);
    m_committed = true;
    return true;
}

} // namespace hlexport
