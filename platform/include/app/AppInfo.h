#pragma once

#include <tabulon/PlatformExport.h>
#include <tabulon/Version.h>

#include <QString>

namespace app {

// What a deliverable tells about itself: the name of its file without extension, and its version.
// Each library passes its own (e.g. "hlTabulon"); the executable passes "Tabulon".
struct AppInfo {
    QString EXEName;
    int Major = tabulon::VersionMajor;
    int Minor = tabulon::VersionMinor;
    int Revision = tabulon::VersionRevision;

    // "major.minor.revision", plain decimal.
    QString versionText() const
    {
        return QStringLiteral("%1.%2.%3").arg(Major).arg(Minor).arg(Revision);
    }
};

// Where every deliverable's error reports are mailed; one address for the whole program.
inline QString reportAddress()
{
    return QStringLiteral("support@tabulon.example.org");
}

inline AppInfo appInfo(const QString &exeName)
{
    return AppInfo{exeName};
}

} // namespace app
