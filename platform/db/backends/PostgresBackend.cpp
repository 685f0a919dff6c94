#include "db/backends/PostgresBackend.h"

#include "db/backends/Backends.h"
#include "db/backends/PostgresTypes.h"

#include <QHash>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace db::pg {

// The catalogue questions of the statements opened last on a data source: opening one again asks
// the same question in its opening round trip. The answer is always read afresh; a guess that
// no longer fits the result (its tables changed) only costs another round trip.
class QuestionMemo {
public:
    std::optional<ColumnQuestion> find(const QString &sql)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_questions.constFind(sql);
        return it == m_questions.cend() ? std::nullopt : std::optional<ColumnQuestion>(*it);
    }
    // A statement with nothing to ask leaves no guess: an empty question is no query to send.
    void remember(const QString &sql, const ColumnQuestion &q)
    {
        std::lock_guard lock(m_mutex);
        if (q.empty()) {
            m_questions.remove(sql);
            return;
        }
        if (m_questions.size() >= kMaxStatements && !m_questions.contains(sql))
            m_questions.clear();
        m_questions.insert(sql, q);
    }

private:
    static constexpr qsizetype kMaxStatements = 64;
    std::mutex m_mutex;
    QHash<QString, ColumnQuestion> m_questions;
};

namespace {

// Only queries can stand behind DECLARE CURSOR; anything else is run once and held.
bool looksLikeQuery(const QString &sql)
{
    const QStringView s(sql);
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        if (s[i].isSpace() || s[i] == u'(') {
            ++i;
        } else if (s.mid(i, 2) == u"--") {
            while (i < n && s[i] != u'\n')
                ++i;
        } else if (s.mid(i, 2) == u"/*") {
            int depth = 1; // PostgreSQL comments nest
            i += 2;
            while (i < n && depth > 0) {
                if (s.mid(i, 2) == u"/*") {
                    ++depth;
                    i += 2;
                } else if (s.mid(i, 2) == u"*/") {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            }
        } else {
            break;
        }
    }
    qsizetype end = i;
    while (end < n && s[end].isLetter())
        ++end;
    const QStringView word = s.mid(i, end - i);
    for (const char16_t *query : {u"SELECT", u"WITH", u"VALUES", u"TABLE"})
        if (word.compare(QStringView(query), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

constexpr const char *kCursorName = "tabulon_cursor";
// Rows of one FETCH: small enough that libpq's result stays in the processor's cache and its
// memory is reused from one round trip to the next instead of being faulted in afresh (a
// million rows come faster in 4,096s than in 10,000s), large enough that a round trip costs
// little beside its rows; a store's block is a whole number of them.
constexpr std::size_t kMaxRowsPerRoundTrip = 4096;
static_assert(RowStore::kBlockRows % kMaxRowsPerRoundTrip == 0);
// FETCHes on their way at once: with a second one queued the server goes on to the next rows
// as soon as it has sent the last, instead of waiting for this side to ask again.
constexpr std::size_t kRoundTripsInFlight = 2;

// The arrays' catalogue query's plan is the same whatever its values (an index lookup for each
// column): within the cursor's transaction it is run with its generic plan from the first run on a
// connection, not planned afresh for each of its first five. (Set for the whole session, the
// cursors' rows came some 8 % slower.) One table's query is cheap to plan and goes without: the
// setting costs about as much as that query.
constexpr const char *kGenericPlan = "SET LOCAL plan_cache_mode = force_generic_plan";

// Rows of the FETCH sent with the cursor's opening: a first screen.
constexpr std::size_t kFirstRoundTrip = 128;

// The results of opening a cursor, in one round trip: the catalogue statements' preparation when
// the session lacks them (a question is then asked afterwards, in a round trip of its own), the
// transaction, the declaration, its description, the first rows (as text: their types are not
// known yet) and, when a question was guessed, the catalogue's answer to it (after kGenericPlan,
// where that query needs it and the server knows it).
struct Opening {
    ResultPtr prepare;
    ResultPtr prepareTable;
    ResultPtr begin;
    ResultPtr declare;
    ResultPtr describe;
    ResultPtr fetch;
    ResultPtr generic;
    ResultPtr answer;
};

// Reads the results of commands sent in a pipeline, one slot each, in the order they were sent,
// up to their synchronisation point. A command skipped after an earlier one failed has no result.
void readResults(PGconn *c, const ConnectParams &params, const std::vector<ResultPtr *> &order, const QString &sql)
{
    const auto next = [&] {
        awaitAnswer(c, params, sql);
        return PQgetResult(c);
    };
    for (ResultPtr *slot : order) {
        while (PGresult *r = next()) {
            if (PQresultStatus(r) == PGRES_PIPELINE_ABORTED || *slot)
                PQclear(r);
            else
                slot->reset(r);
        }
    }
    for (;;) {
        ResultPtr r(next());
        if (!r)
            throwError(c, nullptr, sql);
        if (PQresultStatus(r.get()) == PGRES_PIPELINE_SYNC)
            break;
    }
}

Opening openCursorInOneTrip(PGconn *c, const ConnectParams &params, const char *begin, const QByteArray &declare, const QByteArray &fetch,
                            const ColumnQuestion *guess, const QString &sql)
{
    if (PQenterPipelineMode(c) != 1)
        throwError(c, nullptr, sql);
    Opening o;
    // The catalogue's statements are prepared at a synchronisation point of their own, so that a
    // preparation that fails leaves the opening whole; nothing is asked of them until they are.
    const bool prepare = !catalogueReady(c);
    if (prepare)
        guess = nullptr;
    const bool generic = guess && !guess->oneTable() && PQserverVersion(c) >= 120000;
    bool sent = !prepare || (sendCataloguePreparation(c) && PQpipelineSync(c) == 1);
    sent = sent && PQsendQueryParams(c, begin, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1
           && PQsendQueryParams(c, declare.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1
           && PQsendDescribePortal(c, kCursorName) == 1
           && PQsendQueryParams(c, fetch.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1
           && (!generic || PQsendQueryParams(c, kGenericPlan, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1)
           && (!guess || sendCatalogue(c, *guess)) && PQpipelineSync(c) == 1;
    if (!sent)
        throwError(c, nullptr, sql); // the connection is closed, not given back
    if (prepare) {
        readResults(c, params, {&o.prepare, &o.prepareTable}, sql);
        if (o.prepare && PQresultStatus(o.prepare.get()) == PGRES_COMMAND_OK && o.prepareTable
            && PQresultStatus(o.prepareTable.get()) == PGRES_COMMAND_OK)
            markCatalogueReady(c);
    }
    std::vector<ResultPtr *> order = {&o.begin, &o.declare, &o.describe, &o.fetch};
    if (generic)
        order.push_back(&o.generic);
    if (guess)
        order.push_back(&o.answer);
    readResults(c, params, order, sql);
    if (PQexitPipelineMode(c) != 1)
        throwError(c, nullptr, sql);
    return o;
}

class PostgresCursor final : public RowCursor {
public:
    PostgresCursor(std::shared_ptr<ConnPool> pool, std::shared_ptr<QuestionMemo> memo,
                   std::shared_ptr<CallRegistry> calls, bool readOnly, const QString &sql, long maxRecords)
        : m_pool(std::move(pool))
        , m_calls(std::move(calls))
        , m_sql(sql)
        , m_limit(maxRecords > 0 ? std::size_t(maxRecords) : 0)
        , m_readOnly(readOnly)
    {
        m_conn = m_pool->acquire();
        m_cancel->arm(m_conn.get());
        const CallRegistry::Scope running(*m_calls, CancelSlot::stopsOf(m_cancel));
        try {
            PGconn *c = m_conn.get();
            if (looksLikeQuery(sql)) {
                const QByteArray prefix = QByteArray("DECLARE ") + kCursorName + " NO SCROLL CURSOR FOR ";
                const std::size_t first = m_limit ? std::min(m_limit, kFirstRoundTrip) : kFirstRoundTrip;
                const std::optional<ColumnQuestion> guess = memo->find(sql);
                Opening opened = openCursorInOneTrip(c, m_pool->params(), readOnly ? "BEGIN READ ONLY" : "BEGIN", prefix + sql.toUtf8(),
                                                     fetchSql(first), guess ? &*guess : nullptr, sql);
                checked(c, opened.begin.release(), sql);
                m_inTransaction = true;
                const ResultPtr &res = opened.declare;
                if (res && PQresultStatus(res.get()) == PGRES_COMMAND_OK) {
                    m_declared = true;
                    const ResultPtr desc = checked(c, opened.describe.release(), sql);
                    const ColumnQuestion q = columnQuestion(desc.get());
                    memo->remember(sql, q);
                    m_asked = first;
                    const bool fetched = opened.fetch && PQresultStatus(opened.fetch.get()) == PGRES_TUPLES_OK;
                    if (fetched) {
                        m_ahead = std::move(opened.fetch);
                        m_aheadIsLast = std::size_t(PQntuples(m_ahead.get())) < first;
                        m_exhausted = m_aheadIsLast;
                    } else {
                        // The statement failed on its first rows: said at the first fetch, as
                        // when those rows are asked for then. The catalogue is asked outside
                        // the failed transaction.
                        m_firstFailure = std::move(opened.fetch);
                        if (!q.empty() && !(guess && *guess == q && opened.answer)) {
                            exec(c, "ROLLBACK");
                            m_inTransaction = false;
                        }
                    }
                    ResultPtr answer;
                    if (!q.empty() && guess && *guess == q && opened.answer)
                        answer = checked(c, opened.answer.release(), sql);
                    m_columns = answer || q.empty() ? describeColumns(desc.get(), q, answer.get())
                                                    : describeColumns(c, desc.get(), true);
                    // Numbers and dates cost the server and this client less in binary form.
                    m_binary = readableInBinary(m_columns);
                } else {
                    // Data-modifying WITH and SELECT INTO cannot be cursors: run them as they
                    // are. A plain syntax error is run too, nothing having been executed, so
                    // that it is reported against the user's own text.
                    const QString state =
                        res ? QString::fromLatin1(PQresultErrorField(res.get(), PG_DIAG_SQLSTATE)) : QString();
                    if (state != QLatin1String("0A000") && state != QLatin1String("42P11")
                        && state != QLatin1String("42601"))
                        throwError(c, res.get(), sql, int(prefix.size()));
                    exec(c, "ROLLBACK");
                    m_inTransaction = false;
                }
            }
            if (!m_declared) {
                m_held = exec(c, sql);
                m_columns = describeColumns(c, m_held.get());
                release(false);
            }
            m_fields = fieldsOf(m_columns);
        } catch (...) {
            release(false);
            throw;
        }
    }

    ~PostgresCursor() override { release(true); }

    const std::vector<FieldInfo> &fields() const override { return m_fields; }
    void expectMore(std::size_t rows) override { m_expected = rows; }
    bool atEnd() const override { return m_end; }
    void cancel() override { m_cancel->cancel(); }

    std::size_t fetch(RowStore &store, std::size_t maxRows) override
    {
        const std::size_t expected = std::exchange(m_expected, 0);
        if (m_failure)
            throw *m_failure;
        if (m_end || maxRows == 0)
            return 0;
        std::size_t want = maxRows;
        if (m_limit)
            want = std::min(want, m_limit - m_delivered);
        if (!m_declared)
            return fetchHeld(store, want);
        const CallRegistry::Scope running(*m_calls, CancelSlot::stopsOf(m_cancel));
        try {
            if (m_firstFailure)
                checked(m_conn.get(), m_firstFailure.release(), m_sql);
            // Rows come in bounded round trips, so libpq never holds a huge result beside the
            // store. The next round trips are asked for before the rows of the last are stored,
            // so that the server reads them meanwhile: the rest of this call's rows, then one of
            // those the caller expects to want next (kept for its next call).
            const std::size_t target = m_delivered + want;
            std::size_t readAhead = std::min({expected, want, kMaxRowsPerRoundTrip});
            if (m_limit)
                readAhead = std::min(readAhead, m_limit - target);
            std::size_t got = 0;
            for (;;) {
                askAhead(target, readAhead);
                if (!m_ahead) {
                    m_ahead = receiveFetch();
                    m_aheadNext = 0;
                    askAhead(target, readAhead);
                }
                const std::size_t left = std::size_t(PQntuples(m_ahead.get())) - m_aheadNext;
                const std::size_t n = std::min(want - got, left);
                const bool usedUp = n == left;
                const bool ended = (usedUp && m_aheadIsLast) || (m_limit && m_delivered + n >= m_limit);
                appendRows(m_columns, m_ahead.get(), int(m_aheadNext), int(n), store);
                m_aheadNext += n;
                got += n;
                m_delivered += n;
                if (usedUp)
                    m_ahead.reset();
                if (ended) {
                    release(true);
                    m_end = true;
                    return got;
                }
                if (got == want)
                    return got;
            }
        } catch (const DbError &e) {
            // The rows fetched so far stay; the rest of the result is gone, which the caller
            // hears on every later fetch rather than mistaking the result for complete.
            m_failure = DbError(e.message(), e.sqlState(), m_sql, e.nativeCode());
            release(false);
            throw *m_failure;
        }
    }

private:
    QByteArray fetchSql(std::size_t rows) const
    {
        return QByteArray("FETCH FORWARD ") + QByteArray::number(qulonglong(rows)) + " FROM " + kCursorName;
    }

    // Sends FETCHes while fewer than kRoundTripsInFlight are on their way: up to row `target`
    // (this call's last), then at most `readAhead` rows past it.
    void askAhead(std::size_t target, std::size_t readAhead)
    {
        while (m_inFlight.size() < kRoundTripsInFlight && !m_exhausted) {
            if (m_asked < target)
                sendFetch(std::min(target - m_asked, kMaxRowsPerRoundTrip));
            else if (m_asked < target + readAhead)
                sendFetch(std::min(target + readAhead - m_asked, kMaxRowsPerRoundTrip));
            else
                break;
        }
    }

    // In pipeline mode, each FETCH its own synchronisation point: a failure ends at that FETCH.
    void sendFetch(std::size_t rows)
    {
        const QByteArray sql = fetchSql(rows);
        PGconn *c = m_conn.get();
        if ((PQpipelineStatus(c) == PQ_PIPELINE_OFF && PQenterPipelineMode(c) != 1)
            || !PQsendQueryParams(c, sql.constData(), 0, nullptr, nullptr, nullptr, nullptr, m_binary ? 1 : 0)
            || PQpipelineSync(c) != 1)
            throwError(c, nullptr, QString::fromLatin1(sql));
        m_inFlight.push_back(rows);
        m_asked += rows;
    }

    // The result of the oldest FETCH on its way, read to its synchronisation point.
    ResultPtr receiveFetch()
    {
        PGconn *c = m_conn.get();
        const std::size_t rows = m_inFlight.front();
        m_inFlight.pop_front();
        const QString sql = QString::fromLatin1(fetchSql(rows));
        const auto next = [&] {
            awaitAnswer(c, m_pool->params(), sql);
            return PQgetResult(c);
        };
        ResultPtr res = checked(c, next(), sql);
        while (PGresult *rest = next())
            PQclear(rest);
        const ResultPtr sync(next());
        if (!sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC)
            throwError(c, sync.get(), sql);
        m_aheadIsLast = std::size_t(PQntuples(res.get())) < rows;
        m_exhausted = m_exhausted || m_aheadIsLast;
        return res;
    }

    std::size_t fetchHeld(RowStore &store, std::size_t want)
    {
        const int total = m_held ? PQntuples(m_held.get()) : 0;
        const std::size_t n = std::min(want, std::size_t(total - m_heldNext));
        if (n > 0)
            appendRows(m_columns, m_held.get(), m_heldNext, int(n), store);
        m_heldNext += int(n);
        m_delivered += n;
        if (m_heldNext >= total || (m_limit && m_delivered >= m_limit)) {
            m_held.reset();
            m_end = true;
        }
        return n;
    }

    // The connection goes back to the pool when the cursor ended in good order (nothing cancelled,
    // its transaction committed); otherwise it is closed.
    void release(bool commit)
    {
        m_cancel->disarm();
        m_ahead.reset();
        bool reusable = commit && !m_cancel->cancelRequested();
        if (m_conn && reusable) {
            // Rows read ahead that nobody will ask for: their round trips are let finish.
            PGconn *c = m_conn.get();
            for (; !m_inFlight.empty(); m_inFlight.pop_front()) {
                while (PGresult *rest = PQgetResult(c))
                    PQclear(rest);
                const ResultPtr sync(PQgetResult(c));
                reusable = reusable && sync && PQresultStatus(sync.get()) == PGRES_PIPELINE_SYNC;
            }
            reusable = reusable && (PQpipelineStatus(c) == PQ_PIPELINE_OFF || PQexitPipelineMode(c) == 1);
        }
        m_inFlight.clear();
        bool commitSent = false;
        if (m_conn && m_inTransaction && reusable) {
            if (m_readOnly) {
                // Nothing to lose in a read-only transaction: its COMMIT is not waited for, so
                // the last rows reach the caller a round trip sooner; the pool reads its answer.
                commitSent = PQsendQueryParams(m_conn.get(), "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
                reusable = commitSent;
            } else {
                reusable = PQresultStatus(ResultPtr(PQexec(m_conn.get(), "COMMIT")).get()) == PGRES_COMMAND_OK;
            }
        }
        m_inTransaction = false;
        m_pool->giveBack(std::move(m_conn), reusable, commitSent);
    }

    std::shared_ptr<ConnPool> m_pool;
    std::shared_ptr<CallRegistry> m_calls;
    std::shared_ptr<CancelSlot> m_cancel = std::make_shared<CancelSlot>();
    ConnPtr m_conn;
    QString m_sql;
    std::vector<Column> m_columns;
    std::vector<FieldInfo> m_fields;
    ResultPtr m_held; // all rows of a statement that cannot be a cursor
    int m_heldNext = 0;
    std::size_t m_limit = 0; // 0: no limit
    bool m_readOnly = true;
    std::size_t m_delivered = 0;
    bool m_declared = false;
    bool m_binary = false; // rows are fetched in binary form
    std::deque<std::size_t> m_inFlight; // rows asked for by each FETCH whose result is still to be read
    std::size_t m_asked = 0;        // rows asked for since the cursor opened
    bool m_exhausted = false;       // a FETCH came back short: nothing more to ask for
    ResultPtr m_ahead;              // the result being stored, rows from m_aheadNext on still to go
    ResultPtr m_firstFailure;       // the failed first FETCH sent with the opening
    std::size_t m_aheadNext = 0;
    bool m_aheadIsLast = false;     // it had fewer rows than asked: the cursor's rows end with it
    std::size_t m_expected = 0;     // rows the caller expects to ask for after the coming fetch
    bool m_inTransaction = false;
    bool m_end = false;
    std::optional<DbError> m_failure;
};

QString versionText(int v)
{
    if (v >= 100000)
        return QStringLiteral("%1.%2").arg(v / 10000).arg(v % 10000);
    return QStringLiteral("%1.%2.%3").arg(v / 10000).arg(v / 100 % 100).arg(v % 100);
}

} // namespace

PostgresBackend::~PostgresBackend()
{
    close();
}

void PostgresBackend::open(const ConnectionString &cs, int timeoutSeconds, bool readOnly)
{
    close();
    m_params = ConnectParams::from(cs, timeoutSeconds, readOnly);
    m_conn = m_params.connect();
    m_cancel->arm(m_conn.get());
    m_pool = std::make_shared<ConnPool>(m_params);
    m_questions = std::make_shared<QuestionMemo>();
}

void PostgresBackend::close()
{
    m_cancel->disarm();
    m_conn.reset();
    if (m_pool)
        m_pool->close();
    m_pool.reset();
}

bool PostgresBackend::isOpen() const
{
    return m_conn && PQstatus(m_conn.get()) == CONNECTION_OK;
}

QString PostgresBackend::version() const
{
    const QString lib = QStringLiteral("libpq %1").arg(versionText(PQlibVersion()));
    if (!m_conn)
        return QStringLiteral("PostgreSQL (%1)").arg(lib);
    return QStringLiteral("PostgreSQL %1 (%2)").arg(versionText(PQserverVersion(m_conn.get())), lib);
}

PGconn *PostgresBackend::conn()
{
    if (!m_conn)
        throw DbError(QStringLiteral("The PostgreSQL connection is not open"), QStringLiteral("08003"));
    // A connection the server dropped since the last call (a restart, an ended session) is
    // opened again here, as a cursor's pooled one is, instead of failing this call first.
    if (!stillConnected(m_conn.get())) {
        m_cancel->disarm();
        PQreset(m_conn.get());
        if (PQstatus(m_conn.get()) != CONNECTION_OK)
            throwError(m_conn.get(), nullptr, {});
        m_cancel->arm(m_conn.get());
    }
    return m_conn.get();
}

PostgresBackend::Call::Call(PostgresBackend &backend)
    : m_conn(backend.conn())
    , m_running(*backend.calls(), CancelSlot::stopsOf(backend.m_cancel))
{
}

std::unique_ptr<RowCursor> PostgresBackend::openCursor(const QString &sql, long maxRecords)
{
    if (!m_pool)
        throw DbError(QStringLiteral("The PostgreSQL connection is not open"), QStringLiteral("08003"));
    return std::make_unique<PostgresCursor>(m_pool, m_questions, calls(), m_params.readOnly(), sql, maxRecords);
}

std::shared_ptr<RowStore> PostgresBackend::execute(const QString &sql, long maxRecords, long *recordsAffected)
{
    const Call c(*this);
    const ResultPtr res = exec(c, sql);
    const bool rows = PQresultStatus(res.get()) == PGRES_TUPLES_OK;
    if (recordsAffected) {
        const char *count = PQcmdTuples(res.get());
        const bool isSelect = std::strncmp(PQcmdStatus(res.get()), "SELECT", 6) == 0;
        *recordsAffected = *count && !(rows && isSelect) ? std::atol(count) : -1;
    }
    return rows ? storeOf(c, res.get(), maxRecords) : emptyStore();
}

std::vector<FieldInfo> PostgresBackend::describe(const QString &sql)
{
    const Call c(*this);
    // The unnamed statement is only parsed and described, never bound or run; the next statement
    // on this connection replaces it.
    checked(c, PQprepare(c, "", sql.toUtf8().constData(), 0, nullptr), sql);
    const ResultPtr desc = checked(c, PQdescribePrepared(c, ""), sql);
    return fieldsOf(describeColumns(c, desc.get()));
}

void PostgresBackend::checkSyntax(const QString &sql)
{
    const Call c(*this);
    checked(c, PQprepare(c, "", sql.toUtf8().constData(), 0, nullptr), sql);
}

} // namespace db::pg

namespace db::backends {

std::unique_ptr<ConnectionBackend> makePostgres()
{
    return std::make_unique<pg::PostgresBackend>();
}

} // namespace db::backends
