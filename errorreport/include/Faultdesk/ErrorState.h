#pragma once

#include "Faultdesk/Destination.h"
#include "Faultdesk/ReportConnection.h"
#include "app/AppInfo.h"

#include <tabulon/FaultdeskExport.h>

#include <QString>

#include <memory>
#include <optional>

namespace faultdesk {

// The report settings and the last failure. Held once per process, not per hrErr object: every
// deliverable creates its own object, and whichever configured the library last decides the
// program name, version, subject and address of every later report.
struct ErrorState {
    std::optional<app::AppInfo> callingApp; // empty until some deliverable gives itself
    Destination destination = Screen;
    std::shared_ptr<ReportConnection> connection;
    QString emailAddress;
    QString emailSubject;
    bool debugMode = false;
    QString lastProcName;
    QString lastDescription;
    // The deliverable the last failure came from, when its error object named itself; otherwise
    // the report names callingApp.
    std::optional<app::AppInfo> lastCallingApp;

    // The given connection, or a closed stand-in when none was given.
    std::shared_ptr<ReportConnection> currentConnection();
};

FAULTDESK_EXPORT ErrorState &errorState();

// Back to the state of a fresh process; tests only.
FAULTDESK_EXPORT void resetErrorState();

} // namespace faultdesk
