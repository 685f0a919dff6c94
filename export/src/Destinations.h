#pragma once

#include <QString>

namespace hlexport {

// What the window shows and asks for each destination, by its option index.
struct DestinationInfo {
    QString caption;     // the option button
    QString extension;   // of the proposed file name; empty for the clipboard
    QString fileType;    // in the save dialog's filter
    QString description; // in "Exporting to <description> ..."
};

DestinationInfo destinationInfo(int destination);

// Whether this build can write a destination (the probe of the window's start).
bool writerAvailable(int destination);

} // namespace hlexport
