#pragma once

#include "db/Field.h"
#include "db/RowStore.h"

#include <libpq-fe.h>

#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// PostgreSQL types as this program sees them: type codes, and text values read straight into
// the row store.
namespace db::pg {

namespace oid {
constexpr Oid Bool = 16, Bytea = 17, Name = 19, Int8 = 20, Int2 = 21, Int4 = 23, Text = 25, Json = 114,
              Xml = 142, Float4 = 700, Float8 = 701, Money = 790, Bpchar = 1042, Varchar = 1043, Date = 1082,
              Time = 1083, Timestamp = 1114, Timestamptz = 1184, Interval = 1186, Timetz = 1266,
              Numeric = 1700, Record = 2249, Void = 2278, Uuid = 2950, Jsonb = 3802;
}

// How a column's text values are turned into stored values.
enum class Reader : std::uint8_t { Integer, Boolean, Real, Money, Text, Bytea, Date, Time, Timestamp };

struct Column {
    FieldInfo field;
    Reader reader = Reader::Text;
    Oid type = 0; // as the result reports it (a domain as the type under it)
};

// Type code, size, precision and scale of a type (a domain already resolved to its base type);
// typmod -1 when the type has no modifier.
void applyType(FieldInfo &f, Oid type, int typmod);
Reader readerFor(Oid type);

// What a result's description cannot say of its columns, to be asked of the catalogue: the names
// of types not known here by number, and the table column behind each column that comes straight
// from one (its schema, table, name and NOT NULL). Four array literals: types (0 where the name is
// known), modifiers, tables and column numbers (0 for none). Empty when there is nothing to ask.
// When every type is named and every column that comes from a table comes from the same one, the
// question is that table and its last column asked for (a cheaper query than the arrays').
struct ColumnQuestion {
    std::string types, mods, tables, attnums;
    std::string table, lastColumn; // empty unless the question is one table's
    bool empty() const { return types.empty(); }
    bool oneTable() const { return !table.empty(); }
    bool operator==(const ColumnQuestion &) const = default;
};
ColumnQuestion columnQuestion(const PGresult *desc);

// The catalogue queries are statements prepared once per session (planning them costs more than
// running them). In a pipeline: sendCataloguePreparation when !catalogueReady (two commands, the
// arrays' query and the one table's), and markCatalogueReady once both results said they
// succeeded; sendCatalogue queues the query for a question.
bool catalogueReady(PGconn *conn);
bool sendCataloguePreparation(PGconn *conn);
void markCatalogueReady(PGconn *conn);
bool sendCatalogue(PGconn *conn, const ColumnQuestion &q);

// The columns of a described or executed result, with the catalogue's answer to its
// columnQuestion q (nullptr when that was empty).
std::vector<Column> describeColumns(const PGresult *desc, const ColumnQuestion &q, const PGresult *answer);
// The same, asking the catalogue on conn when there is a question. `keep`: conn's session is this
// program's own, where the catalogue's statements are used once prepared.
std::vector<Column> describeColumns(PGconn *conn, const PGresult *res, bool keep = false);
std::vector<FieldInfo> fieldsOf(const std::vector<Column> &columns);

// True when every column can be read from binary results and stores the same values as from
// text: numbers, Booleans, dates, times and timestamps without a zone, text, bytea, uuid and
// numeric. Others (money, zoned times, intervals, arrays, json ...) keep the whole result text.
bool readableInBinary(const std::vector<Column> &columns);

// Appends rows [first, first + count) of a result in text or (where readableInBinary) binary
// format. Throws DbError naming the column for a value it cannot read.
void appendRows(const std::vector<Column> &columns, const PGresult *res, int first, int count, RowStore &store);

// Every row of res (up to maxRecords when it is above 0) in a new store.
std::shared_ptr<RowStore> storeOf(PGconn *conn, const PGresult *res, long maxRecords = 0);

// The result of a statement that returns no rows: no columns.
std::shared_ptr<RowStore> emptyStore();

// The text form of a value bound to a parameter of the given type; nullopt for Null.
std::optional<std::string> paramText(const QVariant &value, Oid type);

} // namespace db::pg
