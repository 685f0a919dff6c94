#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace mail {

struct MailMessage {
    QStringList recipients; // addresses; the first one is also shown as the display name
    QString subject;
    QString body;           // any line ends; sent with CR LF
    QStringList attachments; // absolute file paths
};

// Result of handing a message over. ok is true only when the mail client accepted it.
struct MailResult {
    bool ok = false;
    QString error; // why not, in words a user can read
    // Nothing on this desktop takes mail at all: a matter of setting the desktop up, which the
    // user is told plainly, not a failure of the program to be reported.
    bool noMailProgram = false;
};

// Hands a message to the desktop mail client. The real sender runs `xdg-email` with an argument
// list (never through a shell); tests install a recording fake with setSender().
class PLATFORM_EXPORT MailSender {
public:
    virtual ~MailSender();
    virtual MailResult send(const MailMessage &message) = 0;

    // The process-wide sender (the desktop one unless a test replaced it).
    static MailSender &instance();
    // Replace the process-wide sender; nullptr restores the desktop one.
    static void setSender(std::shared_ptr<MailSender> sender);

    // Line ends of a body as they go on the wire: every CR, LF or CR LF becomes CR LF.
    static QString toWireLineEnds(const QString &body);
};

// The desktop mail client through xdg-email.
class PLATFORM_EXPORT DesktopMailSender : public MailSender {
public:
    // programPath empty: xdg-email from PATH. A client still running after waitMs is taken as
    // having accepted the message (some clients keep the launcher until their window closes).
    explicit DesktopMailSender(QString programPath = {}, int waitMs = 15000);
    MailResult send(const MailMessage &message) override;
    // The arguments that send() runs xdg-email with, for inspection. The body's lines are
    // separated by LF alone: xdg-email joins them with CR LF itself.
    static QStringList arguments(const MailMessage &message);
    // The desktop's mail program as xdg-email finds it: $MAILER, or the application that handles
    // mailto: links by the desktop's association files (a .desktop file name). Empty when there
    // is none: send() then says so at once instead of trying web browsers until it gives up.
    static QString mailClient();

private:
    QString m_programPath;
    int m_waitMs;
};

// Records every message; answers with the result it was told to give.
class PLATFORM_EXPORT RecordingMailSender : public MailSender {
public:
    MailResult send(const MailMessage &message) override;
    std::vector<MailMessage> sent;
    MailResult nextResult{true, {}};
};

} // namespace mail
