#pragma once

#include <QDateTime>
#include <QFileInfo>
#include <QString>

namespace settings {

// Enough of a file's identity to notice that someone else rewrote or removed it.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    QDateTime modified;

    static FileStamp of(const QString &path)
    {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        return {true, info.size(), info.lastModified()};
    }

    bool operator==(const FileStamp &other) const = default;
};

} // namespace settings
