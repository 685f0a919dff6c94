#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Connection settings of the throw-away PostgreSQL server that scripts/test-postgres starts,
// as libpq keywords ("host=... port=... dbname=... user=..."). Empty when no server runs.
QString postgresConnInfo();

// The same server as a connection string of the data layer ("Provider=PostgreSQL;host=...;...").
QString postgresConnectionString();

// True when the server is required: on CI a missing server fails the test instead of skipping it.
bool postgresRequired();

} // namespace testsupport

// Skips (locally) or fails (on CI) a test that needs the PostgreSQL test server.
#define TABULON_REQUIRE_POSTGRES()                                                               \
    do {                                                                                        \
        if (::testsupport::postgresConnInfo().isEmpty()) {                                      \
            if (::testsupport::postgresRequired())                                              \
                FAIL() << "TABULON_TEST_PG is not set but CI requires the PostgreSQL tests";    \
            GTEST_SKIP() << "TABULON_TEST_PG is not set (run through scripts/test)";           \
        }                                                                                       \
    } while (false)
