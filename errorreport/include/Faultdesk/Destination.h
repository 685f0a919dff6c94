#pragma once

#include <tabulon/FaultdeskExport.h>

#include <QObject>

namespace faultdesk {
Q_NAMESPACE_EXPORT(FAULTDESK_EXPORT)

// Where Log_Error sends a failure. Only Screen shows the error windows; the other two merely
// choose a message box (nothing is stored in a database or mailed).
enum Destination { Screen = 0, Database = 1, EMail = 2 };
Q_ENUM_NS(Destination)

} // namespace faultdesk
