#pragma once

#include <tabulon/PlatformExport.h>

#include "db/RowStore.h"

#include <QString>

#include <memory>

namespace db {

// Our persisted-rowset format: a schema element with one attribute type per column (name, type
// code, size, precision, scale, nullability), then one row element per record; a Null is a
// missing attribute. Written atomically; read back exactly.
//
// Writes rows (the given store rows, in that order) to path. Throws DbError (the old file stays
// whole on failure).
PLATFORM_EXPORT void saveXmlRecordset(const QString &path, const RowStore &store,
                                      const std::vector<std::size_t> &rows);
// Reads a document written by saveXmlRecordset. Throws DbError with a clear message for a
// malformed or foreign file.
PLATFORM_EXPORT std::shared_ptr<RowStore> loadXmlRecordset(const QString &path);

} // namespace db
