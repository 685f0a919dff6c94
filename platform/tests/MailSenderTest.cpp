#include "mail/MailSender.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

using namespace mail;

namespace {

// A stand-in for xdg-email: records its arguments (NUL-separated) beside itself, then runs tail.
QString writeFakeMailer(const QTemporaryDir &dir, const QString &tail)
{
    const QString path = dir.filePath(QStringLiteral("fake-xdg-email"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n"
            "out=\"$(dirname \"$0\")/args.bin\"\n"
            ": > \"$out\"\n"
            "for a in \"$@\"; do printf '%s\\0' \"$a\" >> \"$out\"; done\n");
    f.write(tail.toUtf8() + '\n');
    f.close();
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return path;
}

QStringList recordedArguments(const QTemporaryDir &dir)
{
    QFile f(dir.filePath(QStringLiteral("args.bin")));
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("<not run>")};
    QByteArray bytes = f.readAll();
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    QStringList args;
    for (const QByteArray &a : bytes.split('\0'))
        args << QString::fromUtf8(a);
    return args;
}

MailMessage sampleMessage(const QString &attachment)
{
    MailMessage m;
    m.recipients = {QStringLiteral(" support@example.com "), QStringLiteral("ops@example.com")};
    m.subject = QStringLiteral("Error report – Tabulon");
    m.body = QStringLiteral("Line 1\nLine 2\rLine 3\r\nÜnïcode");
    if (!attachment.isEmpty())
        m.attachments = {attachment};
    return m;
}

} // namespace

TEST(MailWireLineEnds, EveryKindOfLineEndBecomesCrLf)
{
    EXPECT_EQ(MailSender::toWireLineEnds(QStringLiteral("a\nb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(MailSender::toWireLineEnds(QStringLiteral("a\rb")), QStringLiteral("a\r\nb"));
    EXPECT_EQ(MailSender::toWireLineEnds(QStringLiteral("a\r\nb")), QStringLiteral("a\r\nb"));
    // LF CR is two line ends, CR LF one.
    EXPECT_EQ(MailSender::toWireLineEnds(QStringLiteral("a\n\rb")), QStringLiteral("a\r\n\r\nb"));
    EXPECT_EQ(MailSender::toWireLineEnds(QStringLiteral("\r\n\r\n")), QStringLiteral("\r\n\r\n"));
    EXPECT_EQ(MailSender::toWireLineEnds(QStringLiteral("end\r")), QStringLiteral("end\r\n"));
    EXPECT_EQ(MailSender::toWireLineEnds(QString()), QString());
}

TEST(DesktopMailSender, ArgumentListCarriesSubjectWireBodyAttachmentsAndRecipients)
{
    const QStringList args = DesktopMailSender::arguments(sampleMessage(QStringLiteral("/tmp/report.txt")));
    const QStringList expected{
        QStringLiteral("--utf8"),
        QStringLiteral("--subject"), QStringLiteral("Error report – Tabulon"),
        QStringLiteral("--body"), QStringLiteral("Line 1\nLine 2\nLine 3\nÜnïcode"),
        QStringLiteral("--attach"), QStringLiteral("/tmp/report.txt"),
        QStringLiteral("support@example.com"), QStringLiteral("ops@example.com")};
    EXPECT_EQ(args, expected);

    // xdg-email rejects an empty --subject or --body, so they are left out.
    MailMessage bare;
    bare.recipients = {QStringLiteral("a@b.c")};
    EXPECT_EQ(DesktopMailSender::arguments(bare), (QStringList{QStringLiteral("--utf8"), QStringLiteral("a@b.c")}));
}

TEST(DesktopMailSender, HandsTheMessageToTheMailProgram)
{
    QTemporaryDir dir;
    const QString attachment = dir.filePath(QStringLiteral("result.csv"));
    QFile a(attachment);
    ASSERT_TRUE(a.open(QIODevice::WriteOnly));
    a.write("x,y\n");
    a.close();

    DesktopMailSender sender(writeFakeMailer(dir, QStringLiteral("exit 0")));
    const MailMessage message = sampleMessage(attachment);
    const MailResult result = sender.send(message);
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(recordedArguments(dir), DesktopMailSender::arguments(message));
}

TEST(DesktopMailSender, TheRealXdgEmailPutsEveryLineEndOnTheWireOnce)
{
    const QString xdgEmail = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    TABULON_REQUIRE_INSTALLED(!xdgEmail.isEmpty(), "xdg-email (xdg-utils)");
    // The desktop's mail program, as $MAILER names it: records the mailto: link it is given.
    QTemporaryDir dir;
    const QString mailer = writeFakeMailer(dir, QStringLiteral("exit 0"));
    const QByteArray kept = qgetenv("MAILER");
    const bool hadMailer = qEnvironmentVariableIsSet("MAILER");
    qputenv("MAILER", mailer.toUtf8());
    const MailResult result = DesktopMailSender(xdgEmail).send(sampleMessage({}));
    if (hadMailer)
        qputenv("MAILER", kept);
    else
        qunsetenv("MAILER");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    const QStringList link = recordedArguments(dir);
    ASSERT_EQ(link.size(), 1);
    const QUrlQuery query(QUrl(link[0]).query());
    EXPECT_EQ(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
              QStringLiteral("Line 1\r\nLine 2\r\nLine 3\r\nÜnïcode"));
}

TEST(DesktopMailSender, NonZeroExitIsAFailureWithReadableText)
{
    QTemporaryDir dir;
    DesktopMailSender sender(writeFakeMailer(
        dir, QStringLiteral("echo \"xdg-email: no method available for opening 'mailto:'\" >&2; exit 3")));
    MailResult result = sender.send(sampleMessage({}));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.noMailProgram) << "3: nothing on the desktop opens mailto: links";
    EXPECT_TRUE(result.error.contains(QStringLiteral("No e-mail program"))) << result.error.toStdString();

    // 4: the desktop's mail program was found but failed, which is no matter of setting up.
    sender = DesktopMailSender(writeFakeMailer(dir, QStringLiteral("echo 'gio: mailto: failed' >&2; exit 4")));
    result = sender.send(sampleMessage({}));
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.noMailProgram);
    EXPECT_TRUE(result.error.contains(QStringLiteral("could not be started"))) << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(QStringLiteral("gio: mailto: failed"))) << result.error.toStdString();
}

TEST(DesktopMailSender, ProgramThatCannotStartIsAFailure)
{
    QTemporaryDir dir;
    const QString notExecutable = dir.filePath(QStringLiteral("mailer"));
    QFile f(notExecutable);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a program");
    f.close();
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    const MailResult result = DesktopMailSender(notExecutable).send(sampleMessage({}));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("could not be started"))) << result.error.toStdString();
}

TEST(DesktopMailSender, MissingXdgEmailIsNamedInTheError)
{
    QTemporaryDir emptyBin;
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    const MailResult result = DesktopMailSender().send(sampleMessage({}));
    qputenv("PATH", oldPath);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("xdg-email"))) << result.error.toStdString();
}

TEST(DesktopMailSender, BadInputIsRefusedBeforeAnythingRuns)
{
    QTemporaryDir dir;
    DesktopMailSender sender(writeFakeMailer(dir, QStringLiteral("exit 0")));

    MailMessage missingFile = sampleMessage(dir.filePath(QStringLiteral("gone.xlsx")));
    MailResult result = sender.send(missingFile);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("gone.xlsx")));

    // Would be read as an option by the mail program.
    MailMessage optionLike = sampleMessage({});
    optionLike.recipients = {QStringLiteral("--attach=/etc/passwd")};
    result = sender.send(optionLike);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("Not an e-mail address")));

    EXPECT_EQ(recordedArguments(dir), QStringList{QStringLiteral("<not run>")});
}

TEST(DesktopMailSender, ClientThatStaysOpenCountsAsAccepted)
{
    QTemporaryDir dir;
    DesktopMailSender sender(writeFakeMailer(dir, QStringLiteral("sleep 0.6; exit 0")), 100);
    const MailResult result = sender.send(sampleMessage({}));
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    // Let the launcher end and its process object go.
    QTest::qWait(1200);
}

TEST(MailSenderInstance, TestsReplaceTheProcessWideSender)
{
    auto recorder = std::make_shared<RecordingMailSender>();
    recorder->nextResult = {false, QStringLiteral("offline")};
    MailSender::setSender(recorder);

    MailMessage m;
    m.subject = QStringLiteral("s");
    const MailResult result = MailSender::instance().send(m);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, QStringLiteral("offline"));
    ASSERT_EQ(recorder->sent.size(), 1u);
    EXPECT_EQ(recorder->sent.front().subject, QStringLiteral("s"));

    MailSender::setSender(nullptr);
    EXPECT_NE(dynamic_cast<DesktopMailSender *>(&MailSender::instance()), nullptr);
}

namespace {

// The desktop's association files and applications in folders of the test's own.
class MailClientLookup : public ::testing::Test {
protected:
    void write(const QString &relative, const QByteArray &text)
    {
        QFile f(m_desktop.path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    testsupport::DesktopWithoutMail m_desktop;
};

} // namespace

TEST_F(MailClientLookup, NoMailProgramIsSaidAtOnceWithoutTryingBrowsers)
{
    EXPECT_TRUE(DesktopMailSender::mailClient().isEmpty());
    // xdg-email is found, but nothing opens mailto: links: refused before anything runs.
    QTemporaryDir bin;
    const QString marker = bin.filePath(QStringLiteral("ran"));
    {
        QFile f(bin.filePath(QStringLiteral("xdg-email")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nsleep 30\n").arg(marker).toUtf8());
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + oldPath);
    const MailResult result = DesktopMailSender().send(sampleMessage({}));
    qputenv("PATH", oldPath);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.noMailProgram);
    EXPECT_TRUE(result.error.contains(QStringLiteral("No e-mail program"))) << result.error.toStdString();
    EXPECT_FALSE(QFile::exists(marker)) << "nothing was started";

    // A handler is named and installed, but its program is gone: the real xdg-email finds no way
    // to open the link, which is the same plain answer.
    const QString xdgEmail = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    TABULON_REQUIRE_INSTALLED(!xdgEmail.isEmpty(), "xdg-email (xdg-utils)");
    write(QStringLiteral("data/applications/gone.desktop"),
          QStringLiteral("[Desktop Entry]\nType=Application\nName=Gone\nExec=%1 %u\n")
              .arg(bin.filePath(QStringLiteral("no-mailer")))
              .toUtf8());
    write(QStringLiteral("config/mimeapps.list"), "[Default Applications]\nx-scheme-handler/mailto=gone.desktop\n");
    ASSERT_EQ(DesktopMailSender::mailClient(), QStringLiteral("gone.desktop"));
    // Its many small programs take long on a busy machine: waited for to the end.
    const MailResult real = DesktopMailSender({}, 600000).send(sampleMessage({}));
    EXPECT_FALSE(real.ok);
    EXPECT_TRUE(real.noMailProgram) << real.error.toStdString();
}

TEST_F(MailClientLookup, TheMailtoHandlerIsFoundWhereTheDesktopKeepsIt)
{
    // Named but not installed: no handler.
    write(QStringLiteral("config/mimeapps.list"),
          "[Default Applications]\nx-scheme-handler/mailto=gone.desktop\ntext/plain=vim.desktop\n");
    EXPECT_TRUE(DesktopMailSender::mailClient().isEmpty());
    // Installed, and listed by the system's cache.
    write(QStringLiteral("share/applications/mail.desktop"), "[Desktop Entry]\nName=Mail\nExec=mail %u\n");
    write(QStringLiteral("share/applications/mimeinfo.cache"),
          "[MIME Cache]\nx-scheme-handler/mailto=mail.desktop;\n");
    EXPECT_EQ(DesktopMailSender::mailClient(), QStringLiteral("mail.desktop"));
    // A removed association names nothing; $MAILER wins over everything.
    write(QStringLiteral("config/mimeapps.list"), "[Removed Associations]\nx-scheme-handler/mailto=other.desktop\n");
    EXPECT_EQ(DesktopMailSender::mailClient(), QStringLiteral("mail.desktop"));
    qputenv("MAILER", "mutt");
    EXPECT_EQ(DesktopMailSender::mailClient(), QStringLiteral("mutt"));
}
