#include "ui/DesktopOpener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

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

OpenResult SystemDesktopOpener::openUrl(const QUrl &url)
{
    if (QDesktopServices::openUrl(url))
        return {true, {}};
    return {false, QStringLiteral("No application could open %1.").arg(shown(url))};
}

OpenResult RecordingDesktopOpener::openUrl(const QUrl &url)
{
    opened.push_back(url);
    return nextResult;
}

} // namespace ui
