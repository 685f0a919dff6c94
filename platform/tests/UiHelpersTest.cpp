#include "ui/DesktopOpener.h"
#include "ui/EventLoop.h"
#include "ui/MousePointer.h"
#include "ui/Twips.h"
#include "ui/VbColor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace ui;

TEST(MousePointer, OneResetUndoesAnyNumberOfSets)
{
    MousePointer::setHourglass();
    MousePointer::setHourglass();
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Hourglass);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    MousePointer::setDefault();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // Overrides pushed by someone else go too.
    QGuiApplication::setOverrideCursor(Qt::IBeamCursor);
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    MousePointer::setHourglass();
    MousePointer::setDefault();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(MousePointer::current(), MousePointer::Shape::Default);
}

TEST(YieldEvents, ProcessesEventsAtMostEveryThirtyMilliseconds)
{
    yieldEventsNow();
    bool delivered = false;
    QObject receiver;
    QMetaObject::invokeMethod(&receiver, [&] { delivered = true; }, Qt::QueuedConnection);

    EXPECT_FALSE(yieldEvents());
    EXPECT_FALSE(delivered);

    QThread::msleep(40);
    EXPECT_TRUE(yieldEvents());
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(yieldEvents());
}

TEST(EscapeWatcher, RecordsEscapeUntilRead)
{
    EscapeWatcher::clear();
    QLineEdit edit;
    edit.show();
    QSignalSpy spy(EscapeWatcher::instance(), &EscapeWatcher::pressed);

    QTest::keyClick(&edit, Qt::Key_A);
    EXPECT_FALSE(EscapeWatcher::escapePressed());

    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(EscapeWatcher::escapePressed());
    EXPECT_FALSE(EscapeWatcher::escapePressed()); // reading clears

    QTest::keyClick(&edit, Qt::Key_Escape);
    EscapeWatcher::clear(); // an operation starting forgets earlier presses
    EXPECT_FALSE(EscapeWatcher::escapePressed());
}

TEST(Twips, FifteenTwipsPerPixelAtNinetySixDpi)
{
    EXPECT_EQ(Twips::toPixelsAt(1440, 96), 96);
    EXPECT_EQ(Twips::toPixelsAt(15, 96), 1);
    EXPECT_EQ(Twips::toPixelsAt(3000, 96), 200);
    EXPECT_EQ(Twips::toPixelsAt(22, 96), 1);   // 1.47 px
    EXPECT_EQ(Twips::toPixelsAt(23, 96), 2);   // 1.53 px
    EXPECT_DOUBLE_EQ(Twips::fromPixelsAt(1, 96), 15.0);
    EXPECT_DOUBLE_EQ(Twips::fromPixelsAt(96, 144), 960.0);
    EXPECT_EQ(Twips::toPixelsAt(1440, 0), 96); // no usable DPI: assume 96

    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    QWidget w;
    EXPECT_EQ(Twips::toPixels(1440, 720, &w).width(), Twips::toPixelsAt(1440, dpi));
}

TEST(VbColor, NumbersAreBlueGreenRed)
{
    EXPECT_EQ(VbColor::rgb(255, 0, 0), 0x0000FFu);
    EXPECT_EQ(VbColor::rgb(0x12, 0x34, 0x56), 0x563412u);
    EXPECT_EQ(VbColor::toQColor(0x00FF8040), QColor(0x40, 0x80, 0xFF));
    EXPECT_EQ(VbColor::fromQColor(QColor(0x40, 0x80, 0xFF)), 0x00FF8040u);
    EXPECT_EQ(VbColor::fromQColor(QColor(Qt::white)), 16777215u);
    EXPECT_EQ(VbColor::toHtml(0x0000FF), QStringLiteral("#FF0000"));
    EXPECT_EQ(VbColor::toHtml(VbColor::rgb(0xAB, 0xCD, 0xEF)), QStringLiteral("#ABCDEF"));
}

TEST(VbColor, SystemColoursComeFromThePalette)
{
    QPalette pal;
    pal.setColor(QPalette::Button, QColor(1, 2, 3));
    pal.setColor(QPalette::ButtonText, QColor(4, 5, 6));
    pal.setColor(QPalette::Base, QColor(7, 8, 9));
    pal.setColor(QPalette::Text, QColor(10, 11, 12));
    pal.setColor(QPalette::Highlight, QColor(13, 14, 15));
    pal.setColor(QPalette::HighlightedText, QColor(16, 17, 18));

    EXPECT_EQ(VbColor::toQColor(VbColor::ButtonFace, &pal), QColor(1, 2, 3));
    EXPECT_EQ(VbColor::toQColor(0x80000012u, &pal), QColor(4, 5, 6));
    EXPECT_EQ(VbColor::toQColor(0x80000005u, &pal), QColor(7, 8, 9));
    EXPECT_EQ(VbColor::toQColor(0x80000008u, &pal), QColor(10, 11, 12));
    EXPECT_EQ(VbColor::toQColor(0x8000000Du, &pal), QColor(13, 14, 15));
    EXPECT_EQ(VbColor::toHtml(0x8000000Eu, &pal), QStringLiteral("#101112"));
    // Stored as a signed Long, the same colour.
    const qint32 signedButtonFace = -2147483633;
    EXPECT_EQ(VbColor::toQColor(quint32(signedButtonFace), &pal), QColor(1, 2, 3));
    EXPECT_EQ(VbColor::toQColor(0x800000FEu, &pal), QColor(Qt::black));
    EXPECT_EQ(VbColor::toQColor(VbColor::ButtonFace), QGuiApplication::palette().color(QPalette::Button));
}

// The desktop's opener is asked, and its answer is the answer: F1 on a desktop without a browser
// must say so, not look as if the help opened.
TEST(DesktopOpener, TheSystemOpenerTellsAFailureFromASuccess)
{
    QTemporaryDir dir;
    const auto script = [&](const QString &name, const QByteArray &body) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body + '\n');
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        return path;
    };
    const QString help = dir.filePath(QStringLiteral("Tabulon.html"));
    const QUrl url = QUrl::fromLocalFile(help);

    const OpenResult refused = SystemDesktopOpener(script(QStringLiteral("none"), "exit 3")).openUrl(url);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.contains(QStringLiteral("Tabulon.html"))) << refused.error.toStdString();

    const QString seen = dir.filePath(QStringLiteral("seen"));
    const QString opener = script(QStringLiteral("opens"), QStringLiteral("printf '%s' \"$1\" > '%1'").arg(seen).toUtf8());
    EXPECT_TRUE(SystemDesktopOpener(opener).openUrl(url).ok);
    QFile f(seen);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), help) << "a local file goes as its path";
    EXPECT_TRUE(SystemDesktopOpener(script(QStringLiteral("stays"), "sleep 2"), 100).openUrl(url).ok)
        << "an application still running has opened the file";
    EXPECT_FALSE(SystemDesktopOpener(dir.filePath(QStringLiteral("missing"))).openUrl(url).ok);
}

TEST(DesktopOpener, FilesAndAddressesGoToTheOpener)
{
    auto recorder = std::make_shared<RecordingDesktopOpener>();
    DesktopOpener::setOpener(recorder);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("export file.html"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    EXPECT_TRUE(DesktopOpener::openFile(file).ok);
    EXPECT_TRUE(DesktopOpener::open(QStringLiteral("www.example.com")).ok);
    EXPECT_TRUE(DesktopOpener::open(QStringLiteral("https://example.com/help?a=1")).ok);
    ASSERT_EQ(recorder->opened.size(), 3u);
    EXPECT_EQ(recorder->opened[0], QUrl::fromLocalFile(file));
    EXPECT_EQ(recorder->opened[1].host(), QStringLiteral("www.example.com"));
    EXPECT_EQ(recorder->opened[2].toString(), QStringLiteral("https://example.com/help?a=1"));

    const OpenResult missing = DesktopOpener::openFile(dir.filePath(QStringLiteral("gone.xlsx")));
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.error.contains(QStringLiteral("gone.xlsx")));
    EXPECT_FALSE(DesktopOpener::open(QStringLiteral("   ")).ok);
    EXPECT_EQ(recorder->opened.size(), 3u);

    recorder->nextResult = {false, QStringLiteral("no browser")};
    EXPECT_EQ(DesktopOpener::open(QStringLiteral("https://example.com")).error, QStringLiteral("no browser"));

    DesktopOpener::setOpener(nullptr);
    EXPECT_NE(dynamic_cast<SystemDesktopOpener *>(&DesktopOpener::instance()), nullptr);
}
