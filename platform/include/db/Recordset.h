#pragma once

#include <tabulon/DbExport.h>

#include "db/DbError.h"
#include "db/Field.h"
#include "db/RowStore.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace db {

class Connection;
class Command;
class RowFeed;
class RecordsetFilter;

// A result. Rows are either fetched lazily from a cursor in chunks (tables, views, statements)
// or held in memory (routines, XML documents); either way they sit in a RowStore shared with
// clones. The record position, Filter and Sort belong to each recordset. Members that act
// throw DbError.
class DB_EXPORT Recordset : public std::enable_shared_from_this<Recordset> {
public:
    static std::shared_ptr<Recordset> create();
    // An in-memory recordset over given rows (routines, XML documents, Execute).
    static std::shared_ptr<Recordset> fromStore(std::shared_ptr<RowStore> rows, const QString &source = {});
    ~Recordset();

    // --- settings taken at Open ---
    long MaxRecords() const { return m_maxRecords; }
    void setMaxRecords(long n) { m_maxRecords = n < 0 ? 0 : n; }
    int CursorType = 3;      // kept for callers; rows behave the same either way
    int LockType = 1;        // always read-only
    int CursorLocation = 2;

    // Opens a statement lazily on the connection (a dedicated client connection or server-side
    // cursor per recordset). Fetches the first chunk.
    void Open(const QString &sql, const std::shared_ptr<Connection> &connection);
    // Runs a routine; rows in memory.
    void Open(Command &command);
    // Opens a recordset saved as XML; rows in memory.
    void OpenXml(const QString &path);
    void Close();
    int State() const;
    QString Source() const { return m_source; }

    // --- fields ---
    int FieldCount() const;
    const FieldInfo &Field(int index) const;
    int FieldIndex(const QString &name) const; // case-insensitive; -1 when absent
    QVariant Value(int index) const;           // of the current record; Null = invalid
    QVariant Value(const QString &name) const;

    // --- position over the visible (filtered, sorted) rows ---
    bool isEOF() const;
    bool isBOF() const;
    void MoveFirst();
    void MoveLast();                 // fetches every row
    void MoveNext();
    void MovePrevious();
    void Move(long offset);
    long AbsolutePosition() const;   // 1-based; adPosBOF / adPosEOF / adPosUnknown
    void setAbsolutePosition(long position);
    long RecordCount();              // fetches every row first (as a static cursor would know it)
    std::vector<std::vector<QVariant>> GetRows(); // all visible rows from the current one on

    // --- lazy fetching (a worker reads the rows; waits run the event loop) ---
    bool isComplete() const;         // every row fetched
    // Why the rest of a lazy result will never come (the server went away, the statement was
    // cancelled or failed part-way). Once set, everything that needs rows not fetched yet (moves,
    // counts, fetches, filters) throws it again; the rows fetched so far stay readable.
    std::optional<DbError> fetchError() const;
    std::size_t fetchedCount() const; // visible rows available now
    // Makes visible row `index` (0-based) available if the result has it; false when it has not.
    // Throws the fetch error, or a cancelled DbError when the wait was stopped.
    bool ensureRow(std::size_t index);
    // Fetches up to n more rows and waits for them; returns how many arrived (fewer when stopped).
    std::size_t fetchMore(std::size_t n);
    // Asks for n more rows without waiting; they arrive through feed()'s rowsArrived.
    void requestMore(std::size_t n);
    // Fetches every row; false when the wait was stopped first (the rows so far stay, and a later
    // fetch goes on from there unless the statement had to be cancelled).
    bool fetchAll();
    // Stops the fetch: waits for it end now, and its statement is cancelled on the server unless
    // the call in flight ends at once. May be called from the application's thread only.
    void Cancel();
    // The rows' source while they arrive (null for rows in memory); grids listen to it.
    const std::shared_ptr<RowFeed> &feed() const { return m_feed; }
    // The connection a lazy result's statement runs on (Source()), for reading it again with a
    // cursor of one's own; null for rows in memory and once that connection is gone.
    std::shared_ptr<Connection> connection() const;
    // --- cell access by visible row (0-based), for grids and exports ---
    bool isNull(std::size_t row, int col) const;
    QVariant value(std::size_t row, int col) const;
    QString displayText(std::size_t row, int col) const;
    // displayText in UTF-8, without a QString (see RowStore::displayUtf8).
    std::string_view displayUtf8(std::size_t row, int col, char *buf) const;
    std::size_t storeRow(std::size_t row) const; // the RowStore row behind a visible row
    const std::shared_ptr<RowStore> &store() const { return m_store; }

    // --- filter and sort, over the rows held (a lazy recordset fetches all first) ---
    QString Filter() const { return m_filterText; }
    void setFilter(const QString &criteria);          // "" removes it; throws DbError on bad syntax
    void setFilter(const RecordsetFilter &filter);     // structured conditions
    QString Sort() const { return m_sortText; }
    // Whether the filter compares text with regard to case: as the database the rows came from
    // (a routine's), without it for XML documents.
    bool caseSensitiveText() const { return m_caseSensitiveText; }
    void setSort(const QString &sort);                 // "Name ASC, [Order Date] DESC"; "" removes

    // A recordset over the same rows with its own position, filter and sort.
    std::shared_ptr<Recordset> Clone();
    // Writes the visible rows as an XML document (atomically).
    void Save(const QString &path);

    std::size_t bytesHeld() const;

private:
    Recordset();
    void rebuildView();
    void requireOpen() const;
    void throwIfFailed() const;
    void fetchEveryRow(); // fetchAll, a stop thrown as a cancelled DbError

    std::shared_ptr<RowStore> m_store;
    std::shared_ptr<RowFeed> m_feed; // shared with clones; null for rows in memory
    std::shared_ptr<std::vector<std::uint32_t>> m_view; // visible rows; null = all rows in order
    QString m_source;
    QString m_filterText;
    QString m_sortText;
    long m_maxRecords = 0;
    long m_pos = -1; // 0-based visible row; -1 BOF, fetchedCount() EOF
    bool m_open = false;
    bool m_caseSensitiveText = false;
    std::shared_ptr<RecordsetFilter> m_filter; // bound to m_store; null when there is none
};

} // namespace db
