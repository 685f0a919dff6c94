#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
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
