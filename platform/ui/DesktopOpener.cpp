#include "ui/DesktopOpener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace ui {

namespace {

std::shared_ptr<DesktopOpener> &currentOpener()
{
    static std::shared_ptr<DesktopOpener> opener;
    return opener;
}

QString shown(const QUrl &url)
{
    return url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toDisplayString();
}

} // namespace

DesktopOpener::~DesktopOpener() = default;

DesktopOpener &DesktopOpener::instance()
{
    auto &opener = currentOpener();
    if (!opener)
        opener = std::make_shared<SystemDesktopOpener>();
    return *opener;
}

void DesktopOpener::setOpener(std::shared_ptr<DesktopOpener> opener)
{
    currentOpener() = std::move(opener);
}

QUrl DesktopOpener::urlFor(const QString &target)
{
    const QString t = target.trimmed();
    if (t.isEmpty())
        return {};
    const QFileInfo info(t);
    if (info.exists() && (info.isAbsolute() || !t.contains(QLatin1Char(':'))))
        return QUrl::fromLocalFile(info.absoluteFilePath());
    return QUrl::fromUserInput(t, QDir::currentPath());
}

OpenResult DesktopOpener::openFile(const QString &path)
{
    try {
        const QFileInfo info(path.trimmed());
        if (path.trimmed().isEmpty() || !info.exists())
            return {false, QStringLiteral("The file %1 does not exist.").arg(QDir::toNativeSeparators(path))};
        return instance().openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    } catch (...) {
        return {false, QStringLiteral("The file %1 could not be opened.").arg(path)};
    }
}

OpenResult DesktopOpener::open(const QString &target)
{
    try {
        const QUrl url = urlFor(target);
        if (!url.isValid() || url.isEmpty())
            return {false, QStringLiteral("\"%1\" is not a file or web address.").arg(target)};
        if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
            return {false, QStringLiteral("The file %1 does not exist.").arg(shown(url))};
        return instance().openUrl(url);
    } catch (...) {
        return {false, QStringLiteral("%1 could not be opened.").arg(target)};
    }
}

SystemDesktopOpener::SystemDesktopOpener(QString programPath, int waitMs)
    : m_programPath(std::move(programPath))
    , m_waitMs(waitMs)
{
}

OpenResult SystemDesktopOpener::openUrl(const QUrl &url)
{
    const QString nothing = QStringLiteral("No application could open %1.").arg(shown(url));
    QString exe = m_programPath;
    if (exe.isEmpty())
        exe = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (exe.isEmpty()) {
        // Without xdg-utils only Qt's own way is left, which cannot tell whether anything opened.
        if (QDesktopServices::openUrl(url))
            return {true, {}};
        return {false, nothing};
    }
    auto process = std::make_unique<QProcess>();
    process->setProgram(exe);
    // An absolute path or an address with its scheme: neither can be read as an option.
    process->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start();
    if (!process->waitForStarted(m_waitMs))
        return {false, QStringLiteral("%1 could not be started: %2").arg(exe, process->errorString())};
    if (!process->waitForFinished(m_waitMs)) {
        if (process->state() == QProcess::NotRunning)
            return {false, nothing};
        // The application is on the screen by now; destroying the QProcess would end it.
        QProcess *running = process.release();
        QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
        return {true, {}};
    }
    if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0)
        return {false, nothing};
    return {true, {}};
}

OpenResult RecordingDesktopOpener::openUrl(const QUrl &url)
{
    opened.push_back(url);
    return nextResult;
}

} // namespace ui
