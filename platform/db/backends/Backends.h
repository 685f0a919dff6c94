#pragma once

#include "db/Backend.h"

#include <memory>

namespace db::backends {

std::unique_ptr<ConnectionBackend> makeSqlite();
std::unique_ptr<ConnectionBackend> makePostgres();
std::unique_ptr<ConnectionBackend> makeOdbc();

} // namespace db::backends
