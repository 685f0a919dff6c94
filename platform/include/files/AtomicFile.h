#pragma once

#include <tabulon/DbExport.h>

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <optional>

// Files the user owns are replaced in one step: written beside the old one, checked, then renamed
// over it, so a failed write leaves the old file byte for byte.
namespace files {

// A file being replaced. Write to device(), then commit(). Nothing reaches the path unless
// commit() succeeds; a destroyed, uncommitted file leaves the old one as it was.
//
// QSaveFile alone renames a file whose buffered tail could not be written (a full disk shows up
// only when the buffer is flushed, and its commit still succeeds), so commit() flushes and checks
// first.
class DB_EXPORT AtomicFile {
public:
    explicit AtomicFile(const QString &path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // The error text when the file cannot be created.
    std::optional<QString> open();
    // After open(): the permissions the file gets. The error text when they cannot be set.
    std::optional<QString> setPermissions(QFileDevice::Permissions permissions);
    // For writers that stream (QXmlStreamWriter); their failures are seen by commit().
    QIODevice &device() { return m_file; }
    // False once a write failed; commit() then reports it.
    bool write(const QByteArray &bytes);
    // The error text once a write through device() has failed (the file is then discarded).
    std::optional<QString> failure();
    // Nothing on success; otherwise the error text, and the old file is untouched.
    std::optional<QString> commit();
    // The slow part of commit(), for a caller that keeps its own thread free meanwhile: writes
    // what is buffered and waits until the disk holds it. It may run on another thread while
    // nothing else uses this file. Nothing reaches the path yet: commit() then only renames, and
    // a file destroyed instead leaves the old one as it was. Unlike commit(), a failing flush to
    // the disk is an error here. Nothing on success; otherwise the error text.
    std::optional<QString> sync();

private:
    QString failureText(int savedErrno, const QString &detail);
    // Writes what is buffered; the error text when that or an earlier write failed.
    std::optional<QString> flushBuffer();

    QString m_path;
    QSaveFile m_file;
    bool m_existed = false;
    int m_writeErrno = 0;
};

// Replaces the file at path with bytes, with the given permissions when there are any (else
// those of the file replaced). Nothing on success, otherwise the error text.
DB_EXPORT std::optional<QString> saveFile(const QString &path, const QByteArray &bytes,
                                                std::optional<QFileDevice::Permissions> permissions = std::nullopt);

// The text for a write that failed: a full disk (or exhausted quota) is named as such, with the
// file that was kept unchanged.
DB_EXPORT QString writeFailureText(const QString &path, bool existed, int savedErrno, const QString &detail);

} // namespace files
