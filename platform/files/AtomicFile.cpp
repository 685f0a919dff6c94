#include "files/AtomicFile.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>

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

std::optional<QString> AtomicFile::commit()
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
