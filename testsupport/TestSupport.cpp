#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <QtGlobal>

#include <algorithm>

namespace testsupport {

QString postgresConnInfo()
{
    return qEnvironmentVariable("TABULON_TEST_PG");
}

bool postgresRequired()
{
    return !qEnvironmentVariableIsEmpty("CI");
}

QString postgresConnectionString()
{
    QString cs = QStringLiteral("Provider=PostgreSQL");
    for (const QString &pair : postgresConnInfo().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        cs += QLatin1Char(';') + pair;
    return cs;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ADD_FAILURE() << "cannot write " << path.toStdString() << ": " << f.errorString().toStdString();
        return;
    }
    f.write(bytes);
}

DesktopWithoutMail::DesktopWithoutMail()
{
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME", "XDG_DATA_DIRS", "MAILER",
                             "XDG_CURRENT_DESKTOP", "BROWSER"})
        m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", path(QStringLiteral("etc")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", path(QStringLiteral("share")).toLocal8Bit());
    qunsetenv("MAILER");
    // xdg-email's plain way (a desktop's own opener would be asked otherwise).
    qputenv("XDG_CURRENT_DESKTOP", "X-Generic");
    // Else xdg-email falls back on whatever web browser the machine has.
    qputenv("BROWSER", path(QStringLiteral("no-browser")).toLocal8Bit());
    for (const char *folder : {"config", "etc", "data/applications", "share/applications"})
        QDir().mkpath(path(QString::fromLatin1(folder)));
}

DesktopWithoutMail::~DesktopWithoutMail()
{
    for (const Saved &v : m_saved) {
        if (v.set)
            qputenv(v.name, v.value);
        else
            qunsetenv(v.name);
    }
}

bool EventCounter::eventFilter(QObject *, QEvent *event)
{
    count += std::find(m_types.begin(), m_types.end(), event->type()) != m_types.end();
    return false;
}

void onNextModal(std::function<void(QWidget *)> check)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            check(modal);
        }
    });
    timer->start();
}

} // namespace testsupport
