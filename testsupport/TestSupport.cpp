#include "TestSupport.h"

#include <QtGlobal>

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

} // namespace testsupport
