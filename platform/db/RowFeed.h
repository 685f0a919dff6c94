#pragma once

#include <tabulon/DbExport.h>

#include "db/DbError.h"
#include "db/Field.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace db {

class Connection;
class RowStore;

// The rows of one statement, read by a worker thread that owns the client handle, in chunks handed
// to the application's thread, where they are appended to store(). Rows are read as they are asked
// for (want), never far ahead. Shared by a lazy recordset and its clones; a grid listens to it (so
// it is exported to the grid above the data layer).
class DB_EXPORT RowFeed : public QObject {
    Q_OBJECT
public:
    // Starts the statement on a worker. Throws DbError for a closed connection.
    static std::shared_ptr<RowFeed> start(const std::shared_ptr<Connection> &connection, const QString &sql,
                                          long maxRecords);
    // Lets the worker go without waiting for it: a statement still running is cancelled, and the
    // worker frees its client handle once the call returns.
    ~RowFeed() override;

    const std::shared_ptr<RowStore> &store() const { return m_store; }
    std::shared_ptr<Connection> connection() const { return m_connection.lock(); }
    bool isEnded() const { return m_ended; }         // every row is in the store
    // Why the rest of the result will never come; set at most once.
    const std::optional<DbError> &failure() const { return m_failure; }

    // Asks for this many rows in all (no more than the result has); returns at once.
    void want(std::size_t rows);
    // Asks for `rows` and waits, the event loop running, until they are held, the result has
    // ended or failed; false when the wait was stopped first (the rows may still come later).
    // quickAnswer: see Wait::until.
    bool waitFor(std::size_t rows, std::chrono::milliseconds quickAnswer = {});
    // Stops: waits on this feed end now, and a call still running after a short grace is cancelled
    // on the server (after which the feed has failed). Wanting rows again resumes a feed whose call
    // ended by itself.
    void stop();

signals:
    void rowsArrived();
    void failed(); // failure() is set

private:
    struct Shared;
    RowFeed();
    bool settled(std::size_t rows) const;
    void opened(const std::vector<FieldInfo> &fields);
    // restated: the chunk starts with that many rows the store holds already (see RowStore::append).
    void arrived(const std::shared_ptr<RowStore> &chunk, bool end, std::size_t restated);
    void fail(const DbError &error);

    std::shared_ptr<Shared> m_shared;
    std::weak_ptr<Connection> m_connection; // its Errors() hear of a failure
    std::shared_ptr<RowStore> m_store;
    std::optional<DbError> m_failure;
    bool m_ended = false;
    bool m_stopped = false;
};

} // namespace db
