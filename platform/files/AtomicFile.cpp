#include "files/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace files {

namespace {

bool fullDiskErrno(int e)
{
    return e == ENOSPC || e == EDQUOT;
}

// Where the failing call's errno was not kept (a write buffered inside Qt), the device's error
// text and the free space of a real file system tell the same story.
bool diskFull(const QString &path, int savedErrno, const QString &detail, qint64 needed)
{
    if (fullDiskErrno(savedErrno) || detail == qt_error_string(ENOSPC) || detail == qt_error_string(EDQUOT))
        return true;
    if (savedErrno != 0)
        return false;
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    return storage.isValid() && !storage.isReadOnly() && storage.bytesTotal() > 0
        && storage.bytesAvailable() < std::max<qint64>(needed, 1);
}

// A new user has no folders of their own yet: a file written into the user's configuration, data
// or cache folder makes its folder first, private to its owner as the desktop's base-directory
// rules ask. Elsewhere a missing folder stays an error: the user chose that place. Returns 0, or
// the errno of the folder that could not be made.
int makeUserFolder(const QString &path)
{
    const QString folder = QDir::cleanPath(QFileInfo(path).absolutePath());
    if (QFileInfo::exists(folder))
        return 0;
    for (const auto location : {QStandardPaths::GenericConfigLocation, QStandardPaths::GenericDataLocation,
                                QStandardPaths::GenericCacheLocation}) {
        const QString base = QDir::cleanPath(QStandardPaths::writableLocation(location));
        if (base.isEmpty() || !(folder == base || folder.startsWith(base + QLatin1Char('/'))))
            continue;
        // Made one level at a time, each with the owner's permissions only.
        QStringList missing;
        for (QString f = folder; !f.isEmpty() && !QFileInfo::exists(f); f = QFileInfo(f).path()) {
            if (f == QFileInfo(f).path())
                break;
            missing.prepend(f);
        }
        for (const QString &f : missing) {
            errno = 0;
            if (!QDir().mkdir(f, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
                const int error = errno != 0 ? errno : EACCES;
                if (!QFileInfo(f).isDir())
                    return error;
            }
        }
        return 0;
    }
    return 0;
}

} // namespace

QString writeFailureText(const QString &path, bool existed, int savedErrno, const QString &detail)
{
    const bool full = fullDiskErrno(savedErrno);
    if (full && existed)
        return QStringLiteral("The disk is full: \"%1\" could not be saved and was kept unchanged.").arg(path);
    if (full)
        return QStringLiteral("The disk is full: \"%1\" could not be saved.").arg(path);
    if (existed)
        return QStringLiteral("Cannot write \"%1\": %2 (the file was kept unchanged)").arg(path, detail);
    return QStringLiteral("Cannot write \"%1\": %2").arg(path, detail);
}

AtomicFile::AtomicFile(const QString &path)
    : m_path(path)
    , m_file(path)
{
}

AtomicFile::~AtomicFile() = default;

QString AtomicFile::failureText(int savedErrno, const QString &detail)
{
    const qint64 needed = m_file.isOpen() ? m_file.size() : 0;
    if (diskFull(m_path, savedErrno, detail, needed))
        savedErrno = ENOSPC;
    if (m_file.isOpen())
        m_file.cancelWriting();
    return writeFailureText(m_path, m_existed, savedErrno, detail);
}

std::optional<QString> AtomicFile::open()
{
    m_existed = QFileInfo::exists(m_path);
    if (const int error = makeUserFolder(m_path))
        return failureText(error, QStringLiteral("its folder could not be made: %1").arg(qt_error_string(error)));
    errno = 0;
    if (!m_file.open(QIODevice::WriteOnly))
        return failureText(errno, m_file.errorString());
    return std::nullopt;
}

std::optional<QString> AtomicFile::failure()
{
    if (m_writeErrno != 0 || m_file.error() != QFileDevice::NoError)
        return failureText(m_writeErrno, m_file.errorString());
    return std::nullopt;
}

std::optional<QString> AtomicFile::setPermissions(QFileDevice::Permissions permissions)
{
    errno = 0;
    if (!m_file.setPermissions(permissions))
        return failureText(errno, m_file.errorString());
    return std::nullopt;
}

bool AtomicFile::write(const QByteArray &bytes)
{
    if (m_writeErrno != 0 || m_file.error() != QFileDevice::NoError)
        return false;
    errno = 0;
    if (m_file.write(bytes) == bytes.size())
        return true;
    m_writeErrno = errno != 0 ? errno : ENOSPC; // a short write without a code: no room left
    return false;
}

std::optional<QString> AtomicFile::flushBuffer()
{
    if (!m_file.isOpen())
        return failureText(0, QStringLiteral("the file was not opened"));
    if (m_writeErrno != 0 || m_file.error() != QFileDevice::NoError)
        return failureText(m_writeErrno, m_file.errorString());
    errno = 0;
    const bool flushed = m_file.flush();
    const int flushErrno = errno;
    if (!flushed || m_file.error() != QFileDevice::NoError)
        return failureText(flushErrno, m_file.errorString());
    return std::nullopt;
}

std::optional<QString> AtomicFile::sync()
{
    if (auto error = flushBuffer())
        return error;
    // A full disk may show only now (a delayed allocation, a network or thin-provisioned disk).
    if (::fsync(m_file.handle()) != 0) {
        const int syncErrno = errno;
        return failureText(syncErrno, qt_error_string(syncErrno));
    }
    return std::nullopt;
}

std::optional<QString> AtomicFile::commit()
{
    if (auto error = flushBuffer())
        return error;
    errno = 0;
    if (!m_file.commit())
        return failureText(errno, m_file.errorString());
    return std::nullopt;
}

std::optional<QString> saveFile(const QString &path, const QByteArray &bytes,
                                std::optional<QFileDevice::Permissions> permissions)
{
    AtomicFile file(path);
    if (auto error = file.open())
        return error;
    if (permissions) {
        if (auto error = file.setPermissions(*permissions))
            return error;
    }
    file.write(bytes);
    return file.commit();
}

} // namespace files
