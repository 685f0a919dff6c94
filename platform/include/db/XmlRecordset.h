#pragma once

#include <tabulon/DbExport.h>

#include "db/RowStore.h"

#include <QString>

#include <memory>
#include <vector>

namespace db {

// Our persisted-rowset format: a schema element with one attribute type per column (name, type
// code, size, precision, scale, nullability), then one row element per record; a Null is a
// missing attribute. Written atomically; read back exactly.
//
// Writes rows (the given store rows, in that order) to path. Throws DbError (the old file stays
// whole on failure).
DB_EXPORT void saveXmlRecordset(const QString &path, const RowStore &store,
                                      const std::vector<std::size_t> &rows);
// The same document written row by row, for a caller that fetches while it writes. Nothing
// reaches `path` before commit(); destroyed without a commit, the old file stays as it was.
// Throws DbError.
class DB_EXPORT XmlRecordsetWriter {
public:
    XmlRecordsetWriter(const QString &path, const std::vector<FieldInfo> &fields);
    ~XmlRecordsetWriter();
    XmlRecordsetWriter(const XmlRecordsetWriter &) = delete;
    XmlRecordsetWriter &operator=(const XmlRecordsetWriter &) = delete;

    // A row of a store with the fields the writer was made with.
    void writeRow(const RowStore &store, std::size_t row);
    void commit();
    // The slow part of commit(), for a caller that keeps its own thread free meanwhile: ends the
    // document and waits until the disk holds it. It may run on another thread while nothing else
    // uses this writer; commit() then only renames.
    void sync();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Reads a document written by saveXmlRecordset. Throws DbError with a clear message for a
// malformed or foreign file.
DB_EXPORT std::shared_ptr<RowStore> loadXmlRecordset(const QString &path);

} // namespace db
