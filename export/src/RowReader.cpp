#include "RowReader.h"

#include "ExportJob.h"

#include "db/Backend.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "db/Worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace hlexport {

namespace {

// Rows a chunk of a streamed result holds: small enough that the few chunks alive at once stay
// far below the memory of the rows, large enough that a hand-over costs nothing per row.
constexpr std::size_t kChunkRows = 8192;
// Chunks read ahead of the writer. Several, so that neither side waits on the other's every turn
// (on a busy machine each wake-up costs milliseconds); one only once they hold this many bytes,
// so that long rows hold no more than they did with one chunk ahead.
constexpr std::size_t kChunksAhead = 4;
constexpr std::size_t kBytesAhead = std::size_t(16) << 20;

// Whether the statement's first word is SELECT, past blanks and comments.
bool startsWithSelect(const QString &sql)
{
    qsizetype i = 0;
    for (;;) {
        while (i < sql.size() && sql.at(i).isSpace())
            ++i;
        if (sql.mid(i, 2) == QLatin1String("--")) {
            const qsizetype end = sql.indexOf(u'\n', i);
            i = end < 0 ? sql.size() : end + 1;
        } else if (sql.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? sql.size() : end + 2;
        } else {
            break;
        }
    }
    return sql.mid(i, 6).compare(QLatin1String("select"), Qt::CaseInsensitive) == 0
        && (i + 6 == sql.size() || !sql.at(i + 6).isLetterOrNumber());
}

// Whether the window holds only part of the rows, which the export then reads again itself.
// A filter or a sort has made the window fetch every row already. A statement is run again only
// where that cannot change data: on a read-only connection, or a plain SELECT.
std::shared_ptr<db::Connection> streamSource(const db::Recordset &rs)
{
    if (!rs.feed() || rs.isComplete() || !rs.Filter().isEmpty() || !rs.Sort().isEmpty())
        return nullptr;
    std::shared_ptr<db::Connection> connection = rs.connection();
    if (!connection || connection->State() != db::adStateOpen)
        return nullptr;
    return connection->readOnly() || startsWithSelect(rs.Source()) ? connection : nullptr;
}

} // namespace

// A cursor of the reader's own on the result's statement, read by a worker a few chunks ahead of
// the writer, so that the statement and the writing run side by side. The reading is the slower
// side, which the interface thread, busy writing, waits on: the worker runs at its priority.
class RowReader::Stream {
public:
    Stream(const std::shared_ptr<db::Connection> &connection, const QString &sql, long maxRecords, Progress *progress)
        : m_connection(connection)
        , m_sql(sql)
        , m_progress(progress)
        , m_shared(std::make_shared<Shared>())
    {
        std::shared_ptr<db::ConnectionBackend> backend = connection->sharedBackend();
        m_shared->calls = backend->calls();
        m_async = db::worker::available();
        if (m_async)
            db::worker::startAtInterfacePriority(
                [shared = m_shared, backend, sql, maxRecords] { shared->run(backend, sql, maxRecords); });
        else
            m_inline = backend->openCursor(sql, maxRecords);
    }

    ~Stream()
    {
        {
            std::lock_guard lock(m_shared->mutex);
            m_shared->closed = true;
        }
        m_shared->wake.notify_all();
        if (m_async)
            db::worker::stopCall(m_shared->calls, m_shared->state, std::chrono::milliseconds(0));
    }

    // The next chunk; null once the result has ended.
    std::shared_ptr<const db::RowStore> next(std::size_t rowsSoFar)
    {
        if (!m_async) {
            if (m_inline->atEnd())
                return nullptr;
            auto chunk = std::make_shared<db::RowStore>(m_inline->fields());
            return m_inline->fetch(*chunk, kChunkRows) > 0 ? chunk : nullptr;
        }
        auto arrived = [&] {
            std::lock_guard lock(m_shared->mutex);
            return !m_shared->ready.empty() || m_shared->ended || m_shared->failure;
        };
        if (!arrived()) {
            // A slow statement leaves the status and Escape to the user meanwhile.
            db::StopToken stop;
            stop.setStopWhen([&] { return m_progress && m_progress->record(rowsSoFar); });
            const db::StopToken::Scope stoppable(stop);
            db::Wait wait({}, QStringLiteral("the database server to send rows"));
            if (!wait.until(arrived))
                throw ExportStopped();
        }
        std::shared_ptr<db::RowStore> chunk;
        bool wasFull = false;
        {
            std::lock_guard lock(m_shared->mutex);
            // The rows read before a failure are handed over first, as they came.
            if (m_shared->ready.empty()) {
                if (m_shared->failure) {
                    const std::shared_ptr<db::Connection> connection = m_connection.lock();
                    throw connection ? connection->addError(*m_shared->failure) : *m_shared->failure;
                }
                return nullptr; // ended
            }
            wasFull = m_shared->full();
            chunk = std::move(m_shared->ready.front());
            m_shared->ready.pop_front();
            m_shared->bytesAhead -= chunk->bytesHeld();
        }
        if (wasFull)
            m_shared->wake.notify_all();
        return chunk;
    }

private:
    struct Shared {
        std::shared_ptr<db::CallRegistry> calls;
        std::shared_ptr<db::WorkerState> state = std::make_shared<db::WorkerState>();
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::shared_ptr<db::RowStore>> ready; // chunks read ahead, not yet taken
        std::size_t bytesAhead = 0;                       // what they hold
        std::optional<db::DbError> failure;
        bool ended = false;
        bool closed = false;

        void run(std::shared_ptr<db::ConnectionBackend> backend, const QString &sql, long maxRecords)
        {
            std::unique_ptr<db::RowCursor> cursor;
            try {
                {
                    db::WorkerState::Call call(*state);
                    cursor = backend->openCursor(sql, maxRecords);
                }
                backend.reset();
                for (;;) {
                    {
                        std::unique_lock lock(mutex);
                        wake.wait(lock, [&] { return closed || !full(); });
                        if (closed)
                            break;
                    }
                    std::shared_ptr<db::RowStore> chunk;
                    std::size_t n = 0;
                    if (!cursor->atEnd()) {
                        chunk = std::make_shared<db::RowStore>(cursor->fields());
                        db::WorkerState::Call call(*state);
                        n = cursor->fetch(*chunk, kChunkRows);
                    }
                    const std::size_t bytes = n > 0 ? chunk->bytesHeld() : 0;
                    bool wasEmpty = false;
                    {
                        std::lock_guard lock(mutex);
                        wasEmpty = ready.empty();
                        if (n > 0) {
                            bytesAhead += bytes;
                            ready.push_back(std::move(chunk));
                        } else {
                            ended = true;
                        }
                    }
                    // Only a taker that found no chunk waits for a word; one with chunks still to
                    // take finds this one without being woken.
                    if (wasEmpty || n == 0)
                        db::worker::post([] {});
                    if (n == 0)
                        break;
                }
            } catch (const db::DbError &e) {
                fail(e);
            } catch (const std::exception &e) {
                fail(db::DbError(QString::fromUtf8(e.what()), {}, sql));
            }
            cursor.reset(); // the client handle goes here, on the worker
        }

        // Whether the worker waits before reading another chunk (under `mutex`).
        bool full() const
        {
            return ready.size() >= kChunksAhead || (!ready.empty() && bytesAhead >= kBytesAhead);
        }

        void fail(const db::DbError &error)
        {
            {
                std::lock_guard lock(mutex);
                failure = error;
            }
            db::worker::post([] {});
        }
    };

    std::weak_ptr<db::Connection> m_connection; // its Errors() hear of a failure
    QString m_sql;
    Progress *m_progress;
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<db::RowCursor> m_inline; // without a worker: read on the caller's thread
    bool m_async = true;
};

RowReader::RowReader(const ExportJob &job)
    : m_rs(*job.rs)
    , m_rowsRead(job.rowsRead)
{
    if (const std::shared_ptr<db::Connection> connection = streamSource(m_rs))
        m_stream = std::make_unique<Stream>(connection, m_rs.Source(), m_rs.MaxRecords(), job.progress);
}

RowReader::~RowReader() = default;

bool RowReader::seek(std::size_t index)
{
    if (!m_stream) {
        if (!m_rs.ensureRow(index))
            return false;
        m_store = m_rs.store().get();
        m_row = m_rs.storeRow(index);
    } else {
        while (!m_chunk || index >= m_chunkStart + m_chunk->rowCount()) {
            const std::size_t start = m_chunk ? m_chunkStart + m_chunk->rowCount() : 0;
            m_chunk.reset(); // let the passed chunk go before the next one is taken
            m_chunkStart = start;
            m_chunk = m_stream->next(start);
            if (!m_chunk)
                return false;
        }
        m_store = m_chunk.get();
        m_row = index - m_chunkStart;
    }
    if (m_rowsRead)
        *m_rowsRead = std::max(*m_rowsRead, index + 1);
    return true;
}

std::string_view RowReader::text(int field, char *buf) const
{
    if (isNull(field))
        return {};
    const int t = type(field);
    switch (db::storageOf(t)) {
    case db::Storage::Text: return bytes(field);
    case db::Storage::Blob: return {}; // no output carries binary data
    case db::Storage::Int64: return {buf, db::RowStore::formatScalar(t, int64(field), 0, buf, zone(field))};
    case db::Storage::Double: return {buf, db::RowStore::formatScalar(t, 0, real(field), buf)};
    }
    return {};
}

void RowReader::appendText(int field, std::string &out) const
{
    char buf[64];
    out.append(text(field, buf));
}

} // namespace hlexport
