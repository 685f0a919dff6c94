#include "db/Backend.h"

#include "db/backends/Backends.h"

namespace db {

RowCursor::~RowCursor() = default;
ConnectionBackend::~ConnectionBackend() = default;

std::unique_ptr<ConnectionBackend> makeBackend(Provider provider)
{
    switch (provider) {
    case Provider::SQLite: return backends::makeSqlite();
    case Provider::PostgreSQL: return backends::makePostgres();
    case Provider::ODBC: return backends::makeOdbc();
    }
    throw UsageError(QStringLiteral("Unknown provider"));
}

} // namespace db
