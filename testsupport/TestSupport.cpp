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

} // namespace testsupport
