#pragma once

#include <QString>

#include <optional>

namespace faultdesk {

// The operating system as the report names it: product name and kernel version.
QString osText();

// The report of the last failure with the user's own words, lines joined by CR alone. Empty when
// it cannot be built (no calling application was ever given, or the connection failed to answer).
std::optional<QString> reportText(const QString &details);

} // namespace faultdesk
