#pragma once

#include <QString>

namespace hlexport {

class Progress;

// Throws TargetError when target is a folder or a file the user made read-only (whoever runs
// the export): an export never replaces either.
void refuseUnwritable(const QString &target);

// A file that a library writes by name (the workbook, the document, the database), made under a
// temporary name in the target's folder and renamed over the target only once complete: a failed
// or stopped export never leaves a half file under the user's name, and an existing file stays
// whole until the new one is ready. An existing target's permissions carry over; a link to a
// file is followed.
class TargetFile {
public:
    // Reserves the temporary file (empty). Throws ExportError when the folder cannot be written.
    explicit TargetFile(const QString &target);
    // Removes the temporary file unless it was committed.
    ~TargetFile();
    TargetFile(const TargetFile &) = delete;
    TargetFile &operator=(const TargetFile &) = delete;

    QString tempPath() const { return m_temp; }
    QString target() const { return m_target; }
    // What the user is told when writing the temporary file failed with `detail` (a library's
    // message) and `systemError` (errno, 0 when unknown): a full disk by that name, and whether
    // the old file was kept.
    QString failureText(const QString &detail, int systemError = 0) const;
    // Flushes the temporary file to disk on a thread of its own while the event loop turns, then
    // renames it over the target. False when the user asked to stop meanwhile: the target is then
    // left as it was, and the temporary file goes with this object. Throws ExportError.
    bool commit(Progress &progress);

private:
    QString m_target;
    QString m_temp;
    bool m_committed = false;
};

} // namespace hlexport
