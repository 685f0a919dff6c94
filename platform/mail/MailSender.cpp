#include "mail/MailSender.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace mail {

namespace {

std::shared_ptr<MailSender> &currentSender()
{
    static std::shared_ptr<MailSender> sender;
    return sender;
}

const QString kNoMailProgram = QStringLiteral("No e-mail program is set up on this desktop: no application opens "
                                              "mailto: links. Install or choose a mail program first.");

// xdg-email's exit codes, in words.
QString exitCodeText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("the mail program rejected the message's arguments");
    case 2:
        return QStringLiteral("an attachment could not be found");
    case 4:
        return QStringLiteral("the mail client could not be started");
    case 5:
        return QStringLiteral("an attachment could not be read");
    default:
        return QStringLiteral("the mail program failed with exit code %1").arg(code);
    }
}

QStringList pathList(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    QStringList list;
    for (const QString &dir : (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        list << dir;
    return list;
}

// The folders with applications (.desktop files), most important first.
QStringList applicationDirs()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QStringList dirs{dataHome + QStringLiteral("/applications")};
    for (const QString &dir : pathList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        dirs << dir + QStringLiteral("/applications");
    return dirs;
}

// The association files, most important first: the user's and the system's, each with the
// desktop's own list before the common one.
QStringList associationFiles()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    QStringList desktops;
    for (const QString &d : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        desktops << d.toLower();
    QStringList dirs{configHome};
    dirs << pathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    dirs << applicationDirs();
    QStringList files;
    for (const QString &dir : dirs) {
        for (const QString &d : desktops)
            files << dir + QLatin1Char('/') + d + QStringLiteral("-mimeapps.list");
        files << dir + QStringLiteral("/mimeapps.list");
    }
    for (const QString &dir : applicationDirs())
        files << dir + QStringLiteral("/mimeinfo.cache");
    return files;
}

bool desktopFileExists(const QString &name)
{
    for (const QString &dir : applicationDirs()) {
        if (QFileInfo::exists(dir + QLatin1Char('/') + name))
            return true;
    }
    return false;
}

// The first installed application a file names for mailto: links, or empty.
QString mailtoHandlerIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString key = QStringLiteral("x-scheme-handler/mailto");
    QString section;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            section = line;
            continue;
        }
        // Removed associations only take something away: they name no handler.
        if (section == QLatin1String("[Removed Associations]"))
            continue;
        const int eq = int(line.indexOf(QLatin1Char('=')));
        if (eq < 0 || line.left(eq).trimmed() != key)
            continue;
        for (const QString &app : line.mid(eq + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (desktopFileExists(app.trimmed()))
                return app.trimmed();
        }
    }
    return {};
}

} // namespace

MailSender::~MailSender() = default;

MailSender &MailSender::instance()
{
    auto &sender = currentSender();
    if (!sender)
        sender = std::make_shared<DesktopMailSender>();
    return *sender;
}

void MailSender::setSender(std::shared_ptr<MailSender> sender)
{
    currentSender() = std::move(sender);
}

QString MailSender::toWireLineEnds(const QString &body)
{
    QString wire;
    wire.reserve(body.size() + body.size() / 16);
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body.at(i);
        if (c == QLatin1Char('\r')) {
            wire += QLatin1String("\r\n");
            if (i + 1 < body.size() && body.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            wire += QLatin1String("\r\n");
        } else {
            wire += c;
        }
    }
    return wire;
}

DesktopMailSender::DesktopMailSender(QString programPath, int waitMs)
    : m_programPath(std::move(programPath))
    , m_waitMs(waitMs)
{
}

QString DesktopMailSender::mailClient()
{
    const QString mailer = qEnvironmentVariable("MAILER").trimmed();
    if (!mailer.isEmpty())
        return mailer;
    for (const QString &file : associationFiles()) {
        const QString handler = mailtoHandlerIn(file);
        if (!handler.isEmpty())
            return handler;
    }
    return {};
}

QStringList DesktopMailSender::arguments(const MailMessage &message)
{
    QStringList args{QStringLiteral("--utf8")};
    // xdg-email refuses an empty --subject or --body, so an empty one is left out.
    if (!message.subject.isEmpty())
        args << QStringLiteral("--subject") << message.subject;
    // xdg-email puts CR LF between the lines it is given: a CR of ours would arrive doubled.
    QString body = toWireLineEnds(message.body);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (!body.isEmpty())
        args << QStringLiteral("--body") << body;
    for (const QString &file : message.attachments)
        args << QStringLiteral("--attach") << file;
    for (const QString &recipient : message.recipients) {
        const QString address = recipient.trimmed();
        if (!address.isEmpty())
            args << address;
    }
    return args;
}

MailResult DesktopMailSender::send(const MailMessage &message)
{
    try {
        for (const QString &recipient : message.recipients) {
            const QString address = recipient.trimmed();
            if (address.isEmpty())
                continue;
            // A leading dash would be read as an option; an address without '@' is refused anyway.
            if (address.startsWith(QLatin1Char('-')) || !address.contains(QLatin1Char('@')))
                return {false, QStringLiteral("Not an e-mail address: %1").arg(address)};
        }
        for (const QString &file : message.attachments) {
            const QFileInfo info(file);
            if (!info.isFile())
                return {false, QStringLiteral("The attachment %1 does not exist.").arg(file)};
        }

        QString exe = m_programPath;
        if (exe.isEmpty()) {
            exe = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
            if (exe.isEmpty())
                return {false,
                        QStringLiteral("The desktop mail program xdg-email was not found; install xdg-utils to send mail."),
                        true};
            // Without a mail program xdg-email would try one web browser after another and keep
            // the user waiting for nothing.
            if (mailClient().isEmpty())
                return {false, kNoMailProgram, true};
        }

        auto process = std::make_unique<QProcess>();
        process->setProgram(exe);
        process->setArguments(arguments(message));
        process->setProcessChannelMode(QProcess::SeparateChannels);
        process->start();
        if (!process->waitForStarted(m_waitMs)) {
            return {false, QStringLiteral("The mail program %1 could not be started: %2")
                               .arg(exe, process->errorString())};
        }
        if (!process->waitForFinished(m_waitMs)) {
            if (process->state() == QProcess::NotRunning) {
                return {false, QStringLiteral("The mail program %1 failed: %2")
                                   .arg(exe, process->errorString())};
            }
            // Some clients keep the launching process until their window closes: the message is
            // on the user's screen by now. Destroying the QProcess would kill the client, so it is
            // left to delete itself when the client ends.
            QProcess *running = process.release();
            QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
            return {true, {}};
        }
        if (process->exitStatus() != QProcess::NormalExit) {
            return {false, QStringLiteral("The mail program %1 stopped unexpectedly.").arg(exe)};
        }
        if (process->exitCode() != 0) {
            QString error = QStringLiteral("The message could not be handed to the mail client: %1.")
                                .arg(exitCodeText(process->exitCode()));
            // 3: xdg-email found no way at all to open a mailto: link (the handler named by the
            // desktop is not there or cannot run, and no browser either).
            if (process->exitCode() == 3)
                return {false, kNoMailProgram, true};
            const QString details = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
            if (!details.isEmpty())
                error += QLatin1Char(' ') + details;
            return {false, error};
        }
        return {true, {}};
    } catch (const std::exception &e) {
        return {false, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        return {false, QStringLiteral("The message could not be handed to the mail client.")};
    }
}

MailResult RecordingMailSender::send(const MailMessage &message)
{
    sent.push_back(message);
    return nextResult;
}

} // namespace mail
