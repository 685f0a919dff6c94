#pragma once

#include <tabulon/DbExport.h>

#include "db/ConnectionString.h"

#include <QString>
#include <QStringList>

// What the ODBC driver manager is handed for one of our connection strings, and the check that
// it loads only a driver the administrator registered. Pure text work: no handle is opened.
namespace db::odbc {

// The driver connection string of our own connection string: Provider dropped, the ADO names
// "Data Source", "User ID" and "Password" given as DSN, UID and PWD where those are absent, and
// values with ';', braces or outer blanks put in braces. Throws DbError when neither a DSN nor
// a driver is named.
DB_EXPORT QString driverConnectString(const ConnectionString &cs);

// Throws DbError when the connection string would make the driver manager load a library that
// the administrator did not register: a Driver (or the driver of a FileDSN) that is a path or an
// unregistered name. Also refused: SaveFile (the driver manager would write a file), a NUL
// character (the driver manager would read a different string than the one checked), and
// anything that has a registered driver load code, in the string or in a FileDSN's file: the
// SQLite3 driver's LoadExt key, an OpenSSL engine as libpq's sslkey ("engine:key", reached
// through the PostgreSQL driver's pqopt), and any value naming a library file (.so, .dll,
// .dylib). Keys are found even inside other values, as the SQLite3 driver finds them there.
DB_EXPORT void checkDriverTarget(const ConnectionString &cs, const QStringList &registered);

} // namespace db::odbc
