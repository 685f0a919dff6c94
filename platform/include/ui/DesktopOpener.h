#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>
#include <QUrl>

#include <memory>
#include <vector>

namespace ui {

struct OpenResult {
    bool ok = false;
    QString error; // why not, in words a user can read
};

// Opens a file or a web address in the application the desktop chooses for it. The real opener
// uses QDesktopServices (xdg-open underneath); tests install a recording fake with setOpener().
class PLATFORM_EXPORT DesktopOpener {
public:
    virtual ~DesktopOpener();
    virtual OpenResult openUrl(const QUrl &url) = 0;

    // A local file: must exist. Relative paths are taken from the current folder.
    static OpenResult openFile(const QString &path);
    // A web address ("https://...", "www.example.com", "mailto:..."), or a local file path.
    static OpenResult open(const QString &target);
    // How open() reads a target; an invalid URL when it cannot be read.
    static QUrl urlFor(const QString &target);

    static DesktopOpener &instance();
    // nullptr restores the desktop opener.
    static void setOpener(std::shared_ptr<DesktopOpener> opener);
};

// xdg-open with the target as its one argument. Its exit code is the answer: a desktop without
// an application for the target says so instead of the program saying nothing. An opener still
// running after waitMs is taken as having opened the target (some keep the launcher until the
// application's window closes). programPath empty: xdg-open from PATH.
class PLATFORM_EXPORT SystemDesktopOpener : public DesktopOpener {
public:
    explicit SystemDesktopOpener(QString programPath = {}, int waitMs = 3000);
    OpenResult openUrl(const QUrl &url) override;

private:
    QString m_programPath;
    int m_waitMs;
};

// Records every URL; answers with the result it was told to give.
class PLATFORM_EXPORT RecordingDesktopOpener : public DesktopOpener {
public:
    OpenResult openUrl(const QUrl &url) override;
    std::vector<QUrl> opened;
    OpenResult nextResult{true, {}};
};

} // namespace ui
