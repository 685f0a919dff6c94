#include "Faultdesk/ErrorState.h"

namespace faultdesk {

std::shared_ptr<ReportConnection> ErrorState::currentConnection()
{
    if (!connection)
        connection = closedConnection();
    return connection;
}

ErrorState &errorState()
{
    static ErrorState state;
    return state;
}

void resetErrorState()
{
    errorState() = ErrorState{};
}

} // namespace faultdesk
