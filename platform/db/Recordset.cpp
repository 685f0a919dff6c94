#include "db/Recordset.h"

#include "db/Backend.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/RecordsetFilter.h"
#include "db/XmlRecordset.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>

namespace db {

namespace {

// The first chunk is about a screenful, so that the first rows show at once whatever the size
// of the result; later chunks grow with what is held, up to a bulk size.
constexpr std::size_t kFirstChunk = 128;
constexpr std::size_t kBulkChunk = 16384;

std::size_t nextChunk(std::size_t held)
{
    return std::clamp(held, kFirstChunk, kBulkChunk);
}

[[noreturn]] void throwClosed()
{
    throw DbError(QStringLiteral("Operation is not allowed when the object is closed"));
}

[[noreturn]] void throwNoCurrent()
{
    throw DbError(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted; "
                                 "the operation requires a current record"));
}

// The backend's cursor as the recordset and its clones share it: stops for good after a cancel
// or a failure (the rows fetched so far stay), and reports failures to the connection.
class SharedCursor final : public RowCursor {
public:
    SharedCursor(std::unique_ptr<RowCursor> inner, std::shared_ptr<Connection> connection)
        : m_inner(std::move(inner))
        , m_fields(m_inner->fields())
        , m_connection(std::move(connection))
    {
        if (m_inner->atEnd())
            drop();
    }

    const std::vector<FieldInfo> &fields() const override { return m_fields; }

    std::size_t fetch(RowStore &store, std::size_t maxRows) override
    {
        if (m_failure)
            throw *m_failure;
        if (!m_inner)
            return 0;
        if (m_cancelled)
            fail(DbError::cancelled());
        try {
            const std::size_t n = m_inner->fetch(store, maxRows);
            m_fields = m_inner->fields();
            if (m_inner->atEnd())
                drop();
            return n;
        } catch (const DbError &e) {
            fail(m_connection ? m_connection->addError(e) : e);
        }
    }

    // Ended with every row; a failed cursor has not ended, it has failed.
    bool atEnd() const override { return !m_inner && !m_failure; }
    const std::optional<DbError> &failure() const { return m_failure; }

    void cancel() override
    {
        m_cancelled = true;
        std::lock_guard lock(m_mutex);
        if (m_inner)
            m_inner->cancel();
    }

    bool cancelled() const { return m_cancelled; }

private:
    // The rest of the result is gone: every later fetch says so, rather than the rows so far
    // passing for the whole result.
    [[noreturn]] void fail(const DbError &error)
    {
        drop();
        m_failure = error;
        throw *m_failure;
    }

    void drop()
    {
        std::unique_ptr<RowCursor> gone;
        std::lock_guard lock(m_mutex);
        gone.swap(m_inner);
        m_connection.reset();
    }

    std::mutex m_mutex; // cancel() may come from another thread
    std::unique_ptr<RowCursor> m_inner;
    std::vector<FieldInfo> m_fields;
    // A cursor may hold client resources of its connection; it keeps the connection alive.
    std::shared_ptr<Connection> m_connection;
    std::atomic<bool> m_cancelled{false};
    std::optional<DbError> m_failure;
};

// --- Sort ---

struct SortKey {
    int col = 0;
    bool descending = false;
};

// "Name ASC, [Order Date] DESC, ""Qty"""
std::vector<SortKey> parseSort(const QString &text, const Recordset &rs)
{
    std::vector<SortKey> keys;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (text[i].isSpace() || text[i] == u','))
            ++i;
        if (i >= n)
            break;
        QString name, direction;
        if (std::optional<QString> quoted = readQuotedName(text, i)) {
            name = *quoted;
            const qsizetype start = i;
            while (i < n && text[i] != u',')
                ++i;
            direction = text.mid(start, i - start).trimmed();
        } else {
            // A bare name may hold blanks; a trailing ASC or DESC is the direction.
            const qsizetype start = i;
            while (i < n && text[i] != u',')
                ++i;
            name = text.mid(start, i - start).trimmed();
            const qsizetype blank = name.lastIndexOf(u' ');
            const QString last = name.mid(blank + 1);
            if (blank > 0
                && (last.compare(u"ASC", Qt::CaseInsensitive) == 0 || last.compare(u"DESC", Qt::CaseInsensitive) == 0)) {
                direction = last;
                name = name.left(blank).trimmed();
            }
        }
        SortKey key;
        if (direction.compare(u"DESC", Qt::CaseInsensitive) == 0)
            key.descending = true;
        else if (!direction.isEmpty() && direction.compare(u"ASC", Qt::CaseInsensitive) != 0)
            throw DbError(QStringLiteral("The sort order expects ASC or DESC after %1, not \"%2\"").arg(name, direction));
        key.col = rs.FieldIndex(name);
        if (key.col < 0)
            throw DbError(QStringLiteral("The sort order names an unknown field: %1").arg(name));
        keys.push_back(key);
    }
    return keys;
}

} // namespace

// --- life ---

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

std::shared_ptr<Recordset> Recordset::create()
{
    return std::shared_ptr<Recordset>(new Recordset());
}

std::shared_ptr<Recordset> Recordset::fromStore(std::shared_ptr<RowStore> rows, const QString &source)
{
    auto rs = create();
    rs->m_store = std::move(rows);
    rs->m_source = source;
    rs->m_open = rs->m_store != nullptr;
    rs->m_pos = 0;
    return rs;
}

void Recordset::requireOpen() const
{
    if (!m_open)
        throwClosed();
}

void Recordset::Open(const QString &sql, const std::shared_ptr<Connection> &connection)
{
    if (m_open)
        throw DbError(QStringLiteral("Operation is not allowed when the object is open"));
    if (!connection || connection->State() != adStateOpen)
        throw DbError(QStringLiteral("The connection is not open"));
    connection->clearErrors();
    std::unique_ptr<RowCursor> cursor;
    try {
        cursor = connection->backend().openCursor(sql, m_maxRecords);
    } catch (const DbError &e) {
        throw connection->addError(e);
    }
    auto shared = std::make_shared<SharedCursor>(std::move(cursor), connection);
    m_source = sql;
    m_view.reset();
    m_filter.reset();
    m_filterText.clear();
    m_sortText.clear();
    if (shared->fields().empty())
        return; // a statement that returns no rows leaves the recordset closed
    m_store = std::make_shared<RowStore>(shared->fields());
    m_cursor = std::move(shared);
    m_open = true;
    m_pos = 0;
    try {
        fetchChunk(kFirstChunk);
    } catch (...) {
        m_open = false;
        m_store.reset();
        m_cursor.reset();
        throw;
    }
}

void Recordset::Open(Command &command)
{
    if (m_open)
        throw DbError(QStringLiteral("Operation is not allowed when the object is open"));
    std::shared_ptr<Recordset> result = command.Execute();
    m_source = result->m_source;
    if (!result->m_open)
        return;
    m_store = result->m_store;
    m_caseSensitiveText = command.ActiveConnection && command.ActiveConnection->caseSensitiveText();
    m_cursor.reset();
    m_view.reset();
    m_filter.reset();
    m_filterText.clear();
    m_sortText.clear();
    m_open = true;
    m_pos = 0;
}

void Recordset::OpenXml(const QString &path)
{
    if (m_open)
        throw DbError(QStringLiteral("Operation is not allowed when the object is open"));
    std::shared_ptr<RowStore> rows = loadXmlRecordset(path);
    m_store = std::move(rows);
    m_cursor.reset();
    m_view.reset();
    m_filter.reset();
    m_filterText.clear();
    m_sortText.clear();
    m_source = path;
    m_open = true;
    m_pos = 0;
}

void Recordset::Close()
{
    requireOpen();
    // Clones keep the rows and the cursor alive through their own references.
    m_store.reset();
    m_cursor.reset();
    m_view.reset();
    m_filter.reset();
    m_filterText.clear();
    m_sortText.clear();
    m_open = false;
    m_pos = -1;
}

int Recordset::State() const
{
    return m_open ? adStateOpen : adStateClosed;
}

// --- fields ---

int Recordset::FieldCount() const
{
    return m_store ? m_store->columnCount() : 0;
}

const FieldInfo &Recordset::Field(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw DbError(QStringLiteral("Item cannot be found in the collection corresponding to the requested name or "
                                     "ordinal (%1)")
                          .arg(index));
    return m_store->fields()[std::size_t(index)];
}

int Recordset::FieldIndex(const QString &name) const
{
    for (int i = 0; i < FieldCount(); ++i) {
        if (m_store->fields()[std::size_t(i)].Name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant Recordset::Value(int index) const
{
    requireOpen();
    if (isBOF() || isEOF())
        throwNoCurrent();
    Field(index);
    return value(std::size_t(m_pos), index);
}

QVariant Recordset::Value(const QString &name) const
{
    const int index = FieldIndex(name);
    if (index < 0)
        throw DbError(QStringLiteral("Item cannot be found in the collection corresponding to the requested name or "
                                     "ordinal (%1)")
                          .arg(name));
    return Value(index);
}

// --- position ---

bool Recordset::isEOF() const
{
    requireOpen();
    auto *self = const_cast<Recordset *>(this); // fetching more rows is not a change a caller sees
    return !self->ensureRow(std::size_t(std::max<long>(m_pos, 0)));
}

bool Recordset::isBOF() const
{
    requireOpen();
    return m_pos < 0 || !const_cast<Recordset *>(this)->ensureRow(0);
}

void Recordset::MoveFirst()
{
    requireOpen();
    m_pos = 0;
}

void Recordset::MoveLast()
{
    requireOpen();
    fetchAll();
    m_pos = fetchedCount() > 0 ? long(fetchedCount()) - 1 : 0;
}

void Recordset::MoveNext()
{
    requireOpen();
    if (isEOF())
        throwNoCurrent();
    ++m_pos;
    if (!ensureRow(std::size_t(m_pos)))
        m_pos = long(fetchedCount());
}

void Recordset::MovePrevious()
{
    requireOpen();
    if (isBOF())
        throwNoCurrent();
    --m_pos;
    if (m_pos >= long(fetchedCount()))
        m_pos = long(fetchedCount()) - 1;
}

void Recordset::Move(long offset)
{
    requireOpen();
    if (offset == 0)
        return;
    if ((offset > 0 && isEOF()) || (offset < 0 && isBOF()))
        throwNoCurrent();
    const long target = std::max<long>(m_pos, -1) + offset;
    if (target < 0)
        m_pos = -1;
    else if (!ensureRow(std::size_t(target)))
        m_pos = long(fetchedCount());
    else
        m_pos = target;
}

long Recordset::AbsolutePosition() const
{
    if (!m_open)
        return adPosUnknown;
    const bool bof = isBOF(), eof = isEOF();
    if (bof && eof)
        return adPosUnknown;
    if (bof)
        return adPosBOF;
    if (eof)
        return adPosEOF;
    return m_pos + 1;
}

void Recordset::setAbsolutePosition(long position)
{
    requireOpen();
    if (position < 1 || !ensureRow(std::size_t(position - 1)))
        throw DbError(QStringLiteral("The record position %1 is out of range").arg(position));
    m_pos = position - 1;
}

long Recordset::RecordCount()
{
    requireOpen();
    fetchAll();
    return long(fetchedCount());
}

std::vector<std::vector<QVariant>> Recordset::GetRows()
{
    requireOpen();
    fetchAll();
    std::vector<std::vector<QVariant>> rows;
    const std::size_t count = fetchedCount();
    const int cols = FieldCount();
    for (std::size_t r = std::size_t(std::max<long>(m_pos, 0)); r < count; ++r) {
        std::vector<QVariant> row;
        row.reserve(std::size_t(cols));
        for (int c = 0; c < cols; ++c)
            row.push_back(value(r, c));
        rows.push_back(std::move(row));
    }
    m_pos = long(count);
    return rows;
}

// --- fetching ---

std::size_t Recordset::fetchChunk(std::size_t maxRows)
{
    if (!m_cursor || m_cursor->atEnd())
        return 0;
    // The cursor stays referenced once ended (it has let its statement go), so that Cancel from
    // another thread never races with its release.
    const std::size_t n = m_cursor->fetch(*m_store, maxRows);
    if (m_cursor->atEnd())
        m_store->squeeze();
    return n;
}

bool Recordset::isComplete() const
{
    return !m_cursor || m_cursor->atEnd();
}

std::size_t Recordset::fetchedCount() const
{
    if (!m_store)
        return 0;
    return m_view ? m_view->size() : m_store->rowCount();
}

bool Recordset::ensureRow(std::size_t index)
{
    if (!m_open)
        return false;
    while (index >= fetchedCount() && !isComplete() && !m_view) {
        const std::size_t held = m_store->rowCount();
        const std::size_t wanted = std::min(index + 1 - held, kBulkChunk);
        fetchChunk(std::max(nextChunk(held), wanted));
    }
    return index < fetchedCount();
}

std::size_t Recordset::fetchMore(std::size_t n)
{
    requireOpen();
    std::size_t got = 0;
    while (got < n && !isComplete()) {
        const std::size_t arrived = fetchChunk(std::min(n - got, kBulkChunk));
        if (arrived == 0 && !isComplete())
            break;
        got += arrived;
    }
    return got;
}

bool Recordset::fetchAll(const std::function<bool(std::size_t)> &progress)
{
    requireOpen();
    try {
        while (!isComplete()) {
            fetchChunk(nextChunk(m_store->rowCount()));
            if (progress && !isComplete() && !progress(m_store->rowCount()))
                return false;
        }
    } catch (const DbError &e) {
        if (e.isCancelled())
            return false;
        throw;
    }
    return true;
}

std::optional<DbError> Recordset::fetchError() const
{
    if (!m_cursor)
        return std::nullopt;
    return static_cast<const SharedCursor &>(*m_cursor).failure();
}

void Recordset::Cancel()
{
    if (m_cursor)
        m_cursor->cancel();
}

// --- cells ---

std::size_t Recordset::storeRow(std::size_t row) const
{
    if (row >= fetchedCount())
        throw DbError(QStringLiteral("Row %1 is not available (%2 rows held)").arg(row).arg(fetchedCount()));
    return m_view ? (*m_view)[row] : row;
}

bool Recordset::isNull(std::size_t row, int col) const
{
    Field(col);
    return m_store->isNull(storeRow(row), col);
}

QVariant Recordset::value(std::size_t row, int col) const
{
    Field(col);
    return m_store->value(storeRow(row), col);
}

QString Recordset::displayText(std::size_t row, int col) const
{
    Field(col);
    return m_store->displayText(storeRow(row), col);
}

// --- filter and sort ---

void Recordset::setFilter(const QString &criteria)
{
    requireOpen();
    const QString text = criteria.trimmed();
    if (text.isEmpty() || text == u"0") {
        m_filter.reset();
        m_filterText.clear();
        rebuildView();
        return;
    }
    RecordsetFilter filter = RecordsetFilter::parse(text);
    fetchAll();
    filter.bind(*m_store, m_caseSensitiveText);
    m_filter = std::make_shared<RecordsetFilter>(std::move(filter));
    m_filterText = criteria;
    rebuildView();
}

void Recordset::setFilter(const RecordsetFilter &filter)
{
    requireOpen();
    if (filter.isEmpty()) {
        m_filter.reset();
        m_filterText.clear();
        rebuildView();
        return;
    }
    auto bound = std::make_shared<RecordsetFilter>(filter);
    fetchAll();
    bound->bind(*m_store, m_caseSensitiveText);
    m_filter = std::move(bound);
    m_filterText = m_filter->toString();
    rebuildView();
}

void Recordset::setSort(const QString &sort)
{
    requireOpen();
    parseSort(sort, *this); // a bad order changes nothing
    m_sortText = sort.trimmed();
    rebuildView();
}

void Recordset::rebuildView()
{
    m_pos = 0;
    if (!m_filter && m_sortText.isEmpty()) {
        m_view.reset();
        return;
    }
    fetchAll();
    const RowStore &store = *m_store;
    auto view = std::make_shared<std::vector<std::uint32_t>>();
    view->reserve(store.rowCount());
    for (std::size_t r = 0; r < store.rowCount(); ++r) {
        if (!m_filter || m_filter->matches(store, r))
            view->push_back(std::uint32_t(r));
    }
    const std::vector<SortKey> keys = parseSort(m_sortText, *this);
    if (!keys.empty()) {
        // Text keys are folded once, not at every comparison.
        std::vector<std::vector<QString>> folded(keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const int type = store.fields()[std::size_t(keys[k].col)].Type;
            if (storageOf(type) == Storage::Text && !isNumericType(type)) {
                folded[k].resize(store.rowCount());
                for (std::uint32_t r : *view) {
                    if (!store.isNull(r, keys[k].col))
                        folded[k][r] = store.text(r, keys[k].col).toCaseFolded();
                }
            }
        }
        auto compare = [&](std::size_t k, std::uint32_t a, std::uint32_t b) -> int {
            const int col = keys[k].col;
            const bool na = store.isNull(a, col), nb = store.isNull(b, col);
            if (na || nb)
                return na == nb ? 0 : (na ? -1 : 1); // Nulls first
            const int type = store.fields()[std::size_t(col)].Type;
            switch (storageOf(type)) {
            case Storage::Int64: {
                const auto x = store.int64(a, col), y = store.int64(b, col);
                return x < y ? -1 : (x > y ? 1 : 0);
            }
            case Storage::Double: {
                const double x = store.real(a, col), y = store.real(b, col);
                return x < y ? -1 : (x > y ? 1 : 0);
            }
            case Storage::Text:
                if (!folded[k].empty()) {
                    const int c = folded[k][a].compare(folded[k][b]);
                    return c < 0 ? -1 : (c > 0 ? 1 : 0);
                }
                [[fallthrough]];
            case Storage::Blob: {
                std::size_t la = 0, lb = 0;
                const char *pa = store.bytes(a, col, &la);
                const char *pb = store.bytes(b, col, &lb);
                if (isNumericType(type))
                    return compareDecimal(std::string_view(pa, la), std::string_view(pb, lb));
                const int c = std::memcmp(pa, pb, std::min(la, lb));
                if (c != 0)
                    return c < 0 ? -1 : 1;
                return la < lb ? -1 : (la > lb ? 1 : 0);
            }
            }
            return 0;
        };
        std::stable_sort(view->begin(), view->end(), [&](std::uint32_t a, std::uint32_t b) {
            for (std::size_t k = 0; k < keys.size(); ++k) {
                const int c = compare(k, a, b);
                if (c != 0)
                    return keys[k].descending ? c > 0 : c < 0;
            }
            return false;
        });
    }
    m_view = std::move(view);
}

// --- clones and saving ---

std::shared_ptr<Recordset> Recordset::Clone()
{
    requireOpen();
    // As the clones of a client cursor: the rows and the cursor are shared, the filter and sort
    // are not, and the clone starts at the first record.
    auto rs = create();
    rs->m_store = m_store;
    rs->m_cursor = m_cursor;
    rs->m_source = m_source;
    rs->m_maxRecords = m_maxRecords;
    rs->m_caseSensitiveText = m_caseSensitiveText;
    rs->CursorType = CursorType;
    rs->LockType = LockType;
    rs->CursorLocation = CursorLocation;
    rs->m_open = true;
    rs->m_pos = 0;
    return rs;
}

void Recordset::Save(const QString &path)
{
    requireOpen();
    fetchAll();
    std::vector<std::size_t> rows(fetchedCount());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = m_view ? (*m_view)[i] : i;
    saveXmlRecordset(path, *m_store, rows);
}

std::size_t Recordset::bytesHeld() const
{
    return (m_store ? m_store->bytesHeld() : 0) + (m_view ? m_view->capacity() * sizeof(std::uint32_t) : 0);
}

} // namespace db
