#pragma once

#include <tabulon/DbExport.h>

#include <QByteArray>
#include <QString>

namespace settings {

// An INI file's bytes as text: UTF-8, UTF-16 or UTF-32 when a byte-order mark says so, otherwise
// UTF-8, or Windows-1252 when the bytes are not valid UTF-8.
struct IniText {
    QString text;
    bool bom = false;    // the file started with a byte-order mark (of any Unicode form)
    bool cp1252 = false; // read as Windows-1252
    // Why the bytes cannot be read whole (text is then empty); a file like that is never saved
    // over, or what it holds would be lost.
    QString error;
};

// Exported for the settings store above the data layer, which reads its files alike.
DB_EXPORT IniText decodeIniBytes(const QByteArray &bytes);

} // namespace settings
