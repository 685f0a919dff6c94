#pragma once
// The test server (scripts/test-postgres) through the PostgreSQL Unicode ODBC driver.
#include "TestSupport.h"

namespace testsupport {

// "Provider=ODBC;Driver={PostgreSQL Unicode};Server=...;Port=...;Database=...;Uid=...;Pwd=..."
inline QString postgresOdbcConnectionString()
{
    static const char *const keys[][2] = {{"host", "Server"}, {"port", "Port"}, {"dbname", "Database"},
                                          {"user", "Uid"},     {"password", "Pwd"}};
    QString cs = QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode}");
    for (const QString &part : postgresConnInfo().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        for (const auto &k : keys) {
            if (part.section(QLatin1Char('='), 0, 0) == QLatin1String(k[0]))
                cs += QStringLiteral(";%1=%2").arg(QLatin1String(k[1]), part.section(QLatin1Char('='), 1));
        }
    }
    return cs;
}

} // namespace testsupport
