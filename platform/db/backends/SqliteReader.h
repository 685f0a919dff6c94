#pragma once

#include "db/DbError.h"
#include "db/Field.h"
#include "db/RowStore.h"

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace db::backends::sqlite {

struct StmtDeleter {
    void operator()(sqlite3_stmt *s) const { sqlite3_finalize(s); }
};
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

// The connection's last message as a DbError.
[[noreturn]] void throwError(sqlite3 *db, int rc, const QString &statement = {});
// True when the worker's call was stopped before the statement's first step, which then ends as
// interrupted: sqlite3_interrupt reaches only statements already running (a running one meets the
// stop in the connection's progress handler).
bool stoppedBeforeStep(sqlite3_stmt *stmt);

// Reads the rows of one prepared statement into a RowStore. Columns are typed from their
// declarations; columns without one from their first non-null value among the first rows, which
// are stepped and held back for that. A later value that does not fit its column's type re-types
// the column (to double or to text) rather than being lost.
class StatementReader {
public:
    static constexpr std::size_t kProbeRows = 128;

    // probe: step ahead to type undeclared columns (off for statements that must not be stepped yet).
    StatementReader(sqlite3 *db, StmtPtr stmt, long maxRecords, bool probe = true);
    StatementReader(const StatementReader &) = delete;
    StatementReader &operator=(const StatementReader &) = delete;

    const std::vector<FieldInfo> &fields() const { return m_fields; }
    std::size_t fetch(RowStore &store, std::size_t maxRows);
    bool atEnd() const { return m_end; }
    // Finalizes the statement; the reader is then at its end.
    void release();

private:
    // Kinds before Text are decoded from the value before the row is appended.
    enum class Kind : std::uint8_t { Int, Bool, Real, Numeric, Date, Time, Timestamp, Text, Guid, Blob };
    struct Cell {
        int type = SQLITE_NULL;
        std::int64_t i = 0;
        double d = 0;
        std::string bytes; // text or blob bytes (numbers as SQLite writes them as text)
    };
    struct LiveSource;
    struct HeldSource;

    bool step();
    void probe();
    void setKind(int col);
    template <class Source> void appendRow(RowStore &store, const Source &src);
    template <class Source> void decode(RowStore &store, const Source &src, int col);
    void retype(RowStore &store, int col, int type);

    sqlite3 *m_db;
    StmtPtr m_stmt;
    long m_maxRecords;
    std::size_t m_delivered = 0;
    bool m_end = false;
    bool m_stepDone = false;
    std::vector<FieldInfo> m_fields;
    std::vector<Kind> m_kinds;
    std::vector<std::vector<Cell>> m_held; // rows stepped ahead while typing
    std::size_t m_heldPos = 0;
    // Per-row scratch, reused so that no row allocates.
    std::vector<int> m_types;
    std::vector<std::int64_t> m_ints;
    std::vector<double> m_reals;
    std::vector<std::string> m_texts;
};

} // namespace db::backends::sqlite
