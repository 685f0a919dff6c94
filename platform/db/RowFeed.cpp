#include "db/RowFeed.h"

#include "db/Backend.h"
#include "db/Connection.h"
#include "db/RowStore.h"
#include "db/Worker.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace db {

namespace {

// Rows read in one call at most: a block of the row store. Chunks end on the blocks' boundaries,
// so that a chunk starting on one is taken over by the store whole, not copied.
constexpr std::size_t kMaxChunk = RowStore::kBlockRows;
// Chunks handed over but not yet appended before the worker waits: memory stays bounded when the
// application's thread is busy.
constexpr int kChunksAhead = 4;
// A chunk is read in client calls of about this length, so that a stop finds the worker between
// two calls well inside the cancel grace: the statement is left whole and the rest of the result
// can still be fetched. Only a call that really runs long (a slow statement) is cancelled.
constexpr auto kPieceTime = std::chrono::milliseconds(20);
constexpr std::size_t kFirstPiece = 256;
constexpr std::size_t kLeastPiece = 16;
// At most this many rows handed over since a block's boundary are read again into the next chunk
// (a copy on the worker), so that the application's thread takes that chunk's blocks over whole
// instead of copying its rows (as it would the rest of a block after a first screen).
constexpr std::size_t kMostRestated = 1024;

} // namespace

// The worker's side: the cursor and what the application's thread asked for. Outside the worker's
// own calls everything here is guarded by `mutex`.
struct RowFeed::Shared {
    std::shared_ptr<CallRegistry> calls;
    std::shared_ptr<WorkerState> state = std::make_shared<WorkerState>();
    bool async = true; // false: every step runs on the caller's thread (see worker::available)
    std::weak_ptr<RowFeed> feed;

    std::mutex mutex;
    std::condition_variable wake;
    std::size_t wanted = 0;
    std::size_t produced = 0;
    int inFlight = 0;
    bool closed = false;
    bool done = false;

    std::unique_ptr<RowCursor> cursor; // the worker's alone
    bool announced = false;            // its fields were handed over; the worker's alone
    std::size_t piece = kFirstPiece;   // rows a client call reads; the worker's alone
    // A copy of the rows handed over since the last block's boundary (while few); the worker's.
    std::shared_ptr<RowStore> head;

    // On the application's thread: at once when it is the caller's, else queued. The cursor's
    // fields go first, with the first thing handed over after it opened.
    void deliver(std::function<void(RowFeed &)> fn)
    {
        if (!announced && cursor) {
            announced = true;
            fn = [fields = cursor->fields(), fn = std::move(fn)](RowFeed &f) {
                f.opened(fields);
                fn(f);
            };
        }
        auto call = [weak = feed, fn = std::move(fn)] {
            if (const std::shared_ptr<RowFeed> f = weak.lock())
                fn(*f);
        };
        if (async)
            worker::post(std::move(call));
        else
            call();
    }

    void open(const std::shared_ptr<ConnectionBackend> &backend, const QString &sql, long maxRecords)
    {
        {
            WorkerState::Call call(*state);
            cursor = backend->openCursor(sql, maxRecords);
        }
        // Rows already wanted (a first screen) bring the fields along, so the application's
        // thread is woken once for both; else the fields are handed over now.
        bool rowsWanted = false;
        {
            std::lock_guard lock(mutex);
            rowsWanted = wanted > 0 && !closed;
        }
        if (!rowsWanted && !cursor->atEnd())
            deliver([](RowFeed &) {});
        if (cursor->atEnd())
            finish(std::make_shared<RowStore>(cursor->fields()));
    }

    // Reads the next chunk of up to `rows` rows, ending it early when the application's thread
    // wants no more; false once the result has ended.
    bool step(std::size_t rows)
    {
        auto chunk = std::make_shared<RowStore>(cursor->fields());
        // Only the worker changes `produced`.
        const std::size_t inBlock = produced % kMaxChunk;
        const std::size_t restated = head && head->rowCount() == inBlock ? inBlock : 0;
        chunk->reserve(restated + rows); // sized for the whole chunk once, not by its first piece
        if (restated > 0)
            chunk->append(*head);
        head.reset();
        std::size_t got = 0;
        bool end = false;
        while (got < rows) {
            const std::size_t ask = std::min(rows - got, piece);
            const auto began = std::chrono::steady_clock::now();
            std::size_t n = 0;
            {
                std::lock_guard lock(mutex);
                const std::size_t after = produced + got + ask;
                cursor->expectMore(!closed && wanted > after ? wanted - after : 0);
            }
            {
                WorkerState::Call call(*state);
                n = cursor->fetch(*chunk, ask);
            }
            got += n;
            end = cursor->atEnd() || n == 0;
            if (end)
                break;
            const auto took = std::chrono::steady_clock::now() - began;
            if (took > 2 * kPieceTime)
                piece = std::max(piece / 2, kLeastPiece);
            else if (took < kPieceTime / 2 && n == ask)
                piece = std::min(piece * 2, kMaxChunk);
            std::lock_guard lock(mutex);
            if (closed || wanted <= produced + got) // stopped
                break;
        }
        end = end || got == 0;
        {
            std::lock_guard lock(mutex);
            produced += got;
            ++inFlight;
        }
        if (end) {
            finish(chunk, restated);
            return false;
        }
        if (chunk->rowCount() == produced % kMaxChunk && chunk->rowCount() <= kMostRestated) {
            head = std::make_shared<RowStore>(chunk->fields());
            head->append(*chunk);
        }
        deliver([chunk, restated](RowFeed &f) { f.arrived(chunk, false, restated); });
        return true;
    }

    void finish(const std::shared_ptr<RowStore> &chunk, std::size_t restated = 0)
    {
        done = true;
        deliver([chunk, restated](RowFeed &f) { f.arrived(chunk, true, restated); });
    }

    void failWith(const DbError &error)
    {
        done = true;
        deliver([error](RowFeed &f) { f.fail(error); });
    }

    // A call whose connection a stop had to close fails with whatever the client library makes of
    // the closed socket; the user asked for the stop, so it ends as cancelled like any other.
    DbError stoppedByUser(const DbError &error, const QString &sql)
    {
        std::lock_guard lock(state->mutex);
        return state->abandoned && !error.isCancelled() ? DbError::cancelled(sql) : error;
    }

    // The thread's whole life: run the statement, then read chunks as they are asked for.
    void run(std::shared_ptr<ConnectionBackend> backend, const QString &sql, long maxRecords)
    {
        try {
            open(backend, sql, maxRecords);
            backend.reset(); // the cursor keeps what it needs of the connection
            while (!done) {
                std::size_t rows = 0;
                {
                    std::unique_lock lock(mutex);
                    wake.wait(lock, [&] { return closed || (produced < wanted && inFlight < kChunksAhead); });
                    if (closed)
                        break;
                    rows = std::min(wanted - produced, kMaxChunk - produced % kMaxChunk);
                }
                step(rows);
            }
        } catch (const DbError &e) {
            failWith(stoppedByUser(e, sql));
        } catch (const std::exception &e) {
            failWith(stoppedByUser(DbError(QString::fromUtf8(e.what())), sql));
        }
        cursor.reset(); // the client handle goes here, on the worker
    }

    // Without a worker: reads on the caller's thread until what is wanted is held.
    void runInline()
    {
        try {
            while (!done && produced < wanted)
                step(std::min(wanted - produced, kMaxChunk - produced % kMaxChunk));
        } catch (const DbError &e) {
            failWith(e);
        }
        if (done)
            cursor.reset();
    }
};

RowFeed::RowFeed() = default;

std::shared_ptr<RowFeed> RowFeed::start(const std::shared_ptr<Connection> &connection, const QString &sql,
                                        long maxRecords)
{
    std::shared_ptr<ConnectionBackend> backend = connection->sharedBackend();
    std::shared_ptr<RowFeed> feed(new RowFeed());
    feed->m_connection = connection;
    auto shared = std::make_shared<Shared>();
    shared->calls = backend->calls();
    shared->feed = feed;
    shared->async = worker::available();
    feed->m_shared = shared;
    if (shared->async) {
        worker::start([shared, backend, sql, maxRecords] { shared->run(backend, sql, maxRecords); });
    } else {
        try {
            shared->open(backend, sql, maxRecords);
        } catch (const DbError &e) {
            shared->failWith(e);
        }
    }
    return feed;
}

RowFeed::~RowFeed()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->closed = true;
    }
    m_shared->wake.notify_all();
    if (m_shared->async)
        worker::endCalls(m_shared->calls, m_shared->state);
}

void RowFeed::want(std::size_t rows)
{
    m_stopped = false;
    if (m_ended || m_failure)
        return;
    {
        std::lock_guard lock(m_shared->mutex);
        if (rows <= m_shared->wanted)
            return;
        m_shared->wanted = rows;
    }
    if (m_shared->async)
        m_shared->wake.notify_all();
    else
        m_shared->runInline();
}

bool RowFeed::settled(std::size_t rows) const
{
    return m_ended || m_failure || (m_store && m_store->rowCount() >= rows);
}

bool RowFeed::waitFor(std::size_t rows, std::chrono::milliseconds quickAnswer)
{
    want(rows);
    Wait wait([this] { stop(); }, QStringLiteral("the database server to send rows"));
    return wait.until([&] { return settled(rows) || m_stopped; }, quickAnswer) && settled(rows);
}

void RowFeed::stop()
{
    m_stopped = true;
    Wait::wakeAll();
    {
        // Nothing new is read; the call in flight may finish on its own.
        std::lock_guard lock(m_shared->mutex);
        m_shared->wanted = m_shared->produced;
    }
    if (m_shared->async)
        worker::stopCall(m_shared->calls, m_shared->state, worker::kCancelGrace);
}

void RowFeed::opened(const std::vector<FieldInfo> &fields)
{
    m_store = std::make_shared<RowStore>(fields);
}

void RowFeed::arrived(const std::shared_ptr<RowStore> &chunk, bool end, std::size_t restated)
{
    bool unblocks = false;
    {
        // The worker waits on this only when it has as many chunks handed over as it may have.
        std::lock_guard lock(m_shared->mutex);
        unblocks = m_shared->inFlight-- == kChunksAhead && m_shared->produced < m_shared->wanted;
    }
    if (unblocks)
        m_shared->wake.notify_all();
    if (!m_store)
        return;
    if (chunk->rowCount() > restated)
        m_store->append(std::move(*chunk), restated); // the chunk is the feed's alone once handed over
    if (end) {
        m_ended = true;
        m_store->squeeze();
    }
    emit rowsArrived();
}

void RowFeed::fail(const DbError &error)
{
    if (m_failure)
        return;
    const std::shared_ptr<Connection> connection = m_connection.lock();
    m_failure = connection ? connection->addError(error) : error;
    emit failed();
}

} // namespace db
