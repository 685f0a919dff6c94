#pragma once

#include "db/Backend.h"

#include <memory>

namespace db::backends {

std::unique_ptr<ConnectionBackend> makeSqlite();
std::unique_ptr<ConnectionBackend> makePostgres();
std::unique_ptr<ConnectionBackend> makeOdbc();

// From the first call on, every SQLite connection the process opens (ours, and those an ODBC
// driver opens through the same SQLite library) refuses load_extension: no statement loads a
// library. Idempotent and thread-safe.
void guardSqliteConnections();

} // namespace db::backends
