#include "db/Recordset.h"

#include "db/RowFeed.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/RecordsetFilter.h"
#include "db/RowSort.h"
#include "db/XmlRecordset.h"

#include <algorithm>
#include <optional>

namespace db {

namespace {

// The first chunk is about a screenful, so that the first rows show at once whatever the size
// of the result; rows asked for one by one are read ahead in chunks that grow with what is held.
constexpr std::size_t kFirstChunk = 128;
// A first screen this quick is shown without painting the window busy first.
constexpr std::chrono::milliseconds kQuickFirstScreen{15};
constexpr std::size_t kBulkChunk = 16384;
constexpr std::size_t kAll = std::size_t(-1);

[[noreturn]] void throwClosed()
{
    throw UsageError(QStringLiteral("Operation is not allowed when the object is closed"));
}

[[noreturn]] void throwNoCurrent()
{
    throw UsageError(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted; "
                                 "the operation requires a current record"));
}

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
        throw UsageError(QStringLiteral("Operation is not allowed when the object is open"));
    if (!connection || connection->State() != adStateOpen)
        throw UsageError(QStringLiteral("The connection is not open"));
    connection->clearErrors();
    // Stopped or failed, the feed goes with this scope and its worker lets the statement go.
    const std::shared_ptr<RowFeed> feed = RowFeed::start(connection, sql, m_maxRecords);
    if (!feed->waitFor(kFirstChunk, kQuickFirstScreen))
        throw DbError::cancelled(sql);
    if (feed->failure())
        throw *feed->failure();
    m_source = sql;
    m_view.reset();
    m_filter.reset();
    m_filterText.clear();
    m_sortText.clear();
    if (feed->store()->columnCount() == 0)
        return; // a statement that returns no rows leaves the recordset closed
    m_store = feed->store();
    m_feed = feed;
    m_caseSensitiveText = connection->caseSensitiveText();
    m_open = true;
    m_pos = 0;
}

void Recordset::Open(Command &command)
{
    if (m_open)
        throw UsageError(QStringLiteral("Operation is not allowed when the object is open"));
    std::shared_ptr<Recordset> result = command.Execute();
    m_source = result->m_source;
    if (!result->m_open)
        return;
    m_store = result->m_store;
    m_caseSensitiveText = command.ActiveConnection && command.ActiveConnection->caseSensitiveText();
    m_feed.reset();
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
        throw UsageError(QStringLiteral("Operation is not allowed when the object is open"));
    std::shared_ptr<RowStore> rows = loadXmlRecordset(path);
    m_store = std::move(rows);
    m_feed.reset();
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
    // Clones keep the rows and the feed alive through their own references; the last to let go
    // stops the statement.
    m_store.reset();
    m_feed.reset();
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
        throw UsageError(QStringLiteral("Item cannot be found in the collection corresponding to the requested name or "
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
        throw UsageError(QStringLiteral("Item cannot be found in the collection corresponding to the requested name or "
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
    fetchEveryRow();
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
        throw UsageError(QStringLiteral("The record position %1 is out of range").arg(position));
    m_pos = position - 1;
}

long Recordset::RecordCount()
{
    requireOpen();
    fetchEveryRow();
    return long(fetchedCount());
}

std::vector<std::vector<QVariant>> Recordset::GetRows()
{
    requireOpen();
    fetchEveryRow();
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

bool Recordset::isComplete() const
{
    return !m_feed || m_feed->isEnded();
}

std::size_t Recordset::fetchedCount() const
{
    if (!m_store)
        return 0;
    return m_view ? m_view->size() : m_store->rowCount();
}

std::optional<DbError> Recordset::fetchError() const
{
    return m_feed ? m_feed->failure() : std::nullopt;
}

void Recordset::throwIfFailed() const
{
    if (m_feed && m_feed->failure())
        throw *m_feed->failure();
}

bool Recordset::ensureRow(std::size_t index)
{
    if (!m_open)
        return false;
    if (index < fetchedCount())
        return true;
    if (m_view || isComplete())
        return false;
    throwIfFailed();
    const std::size_t held = m_store->rowCount();
    m_feed->want(std::max(index + 1, held + std::clamp(held, kFirstChunk, kBulkChunk))); // and some ahead
    if (!m_feed->waitFor(index + 1))
        throw DbError::cancelled(m_source);
    if (index < fetchedCount())
        return true;
    throwIfFailed();
    return false;
}

std::size_t Recordset::fetchMore(std::size_t n)
{
    requireOpen();
    if (isComplete() || m_view)
        return 0;
    throwIfFailed();
    const std::size_t held = fetchedCount();
    m_feed->waitFor(held + n); // stopped: what arrived meanwhile
    const std::size_t got = fetchedCount() - held;
    if (got == 0)
        throwIfFailed();
    return got;
}

void Recordset::requestMore(std::size_t n)
{
    if (m_open && m_feed && !isComplete() && !m_view)
        m_feed->want(m_store->rowCount() + n);
}

bool Recordset::fetchAll()
{
    requireOpen();
    if (isComplete())
        return true;
    throwIfFailed();
    if (!m_feed->waitFor(kAll))
        return false;
    throwIfFailed();
    return true;
}

void Recordset::fetchEveryRow()
{
    if (!fetchAll())
        throw DbError::cancelled(m_source);
}

void Recordset::Cancel()
{
    if (m_feed)
        m_feed->stop();
}

// --- cells ---

std::size_t Recordset::storeRow(std::size_t row) const
{
    if (row >= fetchedCount())
        throw UsageError(QStringLiteral("Row %1 is not available (%2 rows held)").arg(row).arg(fetchedCount()));
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

std::string_view Recordset::displayUtf8(std::size_t row, int col, char *buf) const
{
    Field(col);
    return m_store->displayUtf8(storeRow(row), col, buf);
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
    fetchEveryRow();
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
    fetchEveryRow();
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
    fetchEveryRow();
    const RowStore &store = *m_store;
    auto view = std::make_shared<std::vector<std::uint32_t>>();
    view->reserve(store.rowCount());
    for (std::size_t r = 0; r < store.rowCount(); ++r) {
        if (!m_filter || m_filter->matches(store, r))
            view->push_back(std::uint32_t(r));
    }
    const std::vector<SortKey> keys = parseSort(m_sortText, *this);
    std::vector<RowSortKey> order;
    for (const SortKey &k : keys)
        order.push_back({k.col, k.descending});
    sortRows(store, order, *view);
    m_view = std::move(view);
}

// --- clones and saving ---

std::shared_ptr<Connection> Recordset::connection() const
{
    return m_feed ? m_feed->connection() : nullptr;
}

std::shared_ptr<Recordset> Recordset::Clone()
{
    requireOpen();
    // As the clones of a client cursor: the rows and the cursor are shared, the filter and sort
    // are not, and the clone starts at the first record.
    auto rs = create();
    rs->m_store = m_store;
    rs->m_feed = m_feed;
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
    fetchEveryRow();
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
