#include "grid/GridModel.h"

#include "grid/GridFormat.h"

#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/RowFeed.h"

#include <QStringList>

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

namespace grid {

namespace {

int dataTypeOf(int adoType)
{
    switch (adoType) {
    case db::adSmallInt:
    case db::adTinyInt:
    case db::adUnsignedTinyInt:
        return flexDTShort;
    case db::adInteger:
        return flexDTLong;
    case db::adBigInt:
        return flexDTLong8;
    case db::adSingle:
        return flexDTSingle;
    case db::adDouble:
        return flexDTDouble;
    case db::adCurrency:
        return flexDTCurrency;
    case db::adDecimal:
    case db::adNumeric:
        return flexDTDecimal;
    case db::adBoolean:
        return flexDTBoolean;
    case db::adDate:
    case db::adDBDate:
    case db::adDBTime:
    case db::adDBTimeStamp:
        return flexDTDate;
    default:
        return flexDTString;
    }
}

QString nonNullEmpty()
{
    return QStringLiteral("");
}

// The texts a copied column has shown, for its other cells showing the same to share: grouped
// results repeat their keys, and often their figures, far more often than not. A column whose
// texts mostly differ soon stops looking.
class TextPool {
public:
    // The text already made for these bytes, or null.
    const QString *find(std::string_view utf8)
    {
        if (!m_on)
            return nullptr;
        ++m_lookups;
        if (const auto it = m_texts.find(utf8); it != m_texts.end()) {
            ++m_hits;
            return &it->second;
        }
        if (m_lookups % kTrial == 0 && m_hits * 4 < m_lookups) {
            m_on = false;
            m_texts = {};
        }
        return nullptr;
    }
    void add(std::string_view utf8, const QString &text)
    {
        if (m_on && m_texts.size() < kMaxTexts)
            m_texts.emplace(std::string(utf8), text);
    }

private:
    static constexpr std::size_t kTrial = 4096;
    static constexpr std::size_t kMaxTexts = std::size_t(1) << 16;
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, QString, Hash, std::equal_to<>> m_texts;
    std::size_t m_lookups = 0;
    std::size_t m_hits = 0;
    bool m_on = true;
};

} // namespace

bool CellStyle::isEmpty() const
{
    return backColor == NoColor && foreColor == NoColor && alignment < 0 && bold < 0 && italic < 0
        && underline < 0 && strikeout < 0 && fontName.isEmpty() && fontSize <= 0 && !picture.isValid();
}

void CellStyle::mergeFrom(const CellStyle &over)
{
    if (over.backColor != NoColor)
        backColor = over.backColor;
    if (over.foreColor != NoColor)
        foreColor = over.foreColor;
    if (over.alignment >= 0)
        alignment = over.alignment;
    if (over.bold >= 0)
        bold = over.bold;
    if (over.italic >= 0)
        italic = over.italic;
    if (over.underline >= 0)
        underline = over.underline;
    if (over.strikeout >= 0)
        strikeout = over.strikeout;
    if (!over.fontName.isEmpty())
        fontName = over.fontName;
    if (over.fontSize > 0)
        fontSize = over.fontSize;
    if (over.picture.isValid()) {
        picture = over.picture;
        pictureAlignment = over.pictureAlignment;
    }
}

GridModel::GridModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    // A new grid: the header row and one column, as the program's grids start.
    m_rows.resize(1);
    m_cols.resize(1);
}

GridModel::~GridModel() = default;

// ---------------------------------------------------------------- Qt model

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : dataRows();
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : cols();
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || isBound())
        return false;
    setText(index.row() + m_fixedRows, index.column(), value.toString());
    return true;
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!isBound() && index.column() >= m_fixedCols)
        f |= Qt::ItemIsEditable;
    return f;
}

bool GridModel::canFetchMore(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_rs)
        return false;
    return m_rs->fetchedCount() > m_boundRows || (!m_rs->isComplete() && !m_rs->fetchError());
}

void GridModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || !m_rs)
        return;
    // Rows come later through rowsArrived; the view is never held up.
    if (m_rs->fetchedCount() <= m_boundRows)
        m_rs->requestMore(std::size_t(m_fetchChunk));
    syncBound();
}

void GridModel::follow(const std::shared_ptr<db::Recordset> &rs)
{
    disconnect(m_rowsConnection);
    disconnect(m_failedConnection);
    if (!rs || !rs->feed())
        return;
    m_rowsConnection = connect(rs->feed().get(), &db::RowFeed::rowsArrived, this, [this] { syncBound(); });
    m_failedConnection = connect(rs->feed().get(), &db::RowFeed::failed, this, &GridModel::feedFailed);
}

// Said once, or the rows so far would pass for all of them; a cancel was the user's wish.
void GridModel::feedFailed()
{
    const std::optional<db::DbError> error = m_rs ? m_rs->fetchError() : std::nullopt;
    syncBound();
    if (m_errorAnnounced || !error || error->isCancelled())
        return;
    m_errorAnnounced = true;
    emit fetchFailed(error->message());
}

QString GridModel::lastError() const
{
    const std::optional<db::DbError> error = m_rs ? m_rs->fetchError() : std::nullopt;
    return error ? error->message() : QString();
}

// ---------------------------------------------------------------- shape

int GridModel::dataRows() const
{
    if (m_rs)
        return int(m_boundRows);
    return int(m_rows.size()) - m_fixedRows;
}

int GridModel::rows() const
{
    return m_fixedRows + dataRows();
}

void GridModel::checkRow(int r, const char *member) const
{
    if (r < 0 || r >= rows())
        throw GridRangeError(QStringLiteral("Grid.%1: row %2 is out of range (0 to %3)")
                                 .arg(QLatin1String(member)).arg(r).arg(rows() - 1));
}

void GridModel::checkCol(int c, const char *member) const
{
    if (c < 0 || c >= cols())
        throw GridRangeError(QStringLiteral("Grid.%1: column %2 is out of range (0 to %3)")
                                 .arg(QLatin1String(member)).arg(c).arg(cols() - 1));
}

void GridModel::setRows(int n)
{
    if (n < 0)
        throw GridArgumentError("Grid.Rows: the row count cannot be negative");
    if (m_rs) {
        if (n == rows())
            return;
        if (n > m_fixedRows)
            throw GridArgumentError("Grid.Rows: the rows of a grid bound in DataMode 4 come from its recordset");
        unbind();
    }
    if (n < m_fixedRows) {
        std::vector<RowRecord> rowsKept;
        for (int i = 0; i < n; ++i)
            rowsKept.push_back(std::move(m_rows[std::size_t(i)]));
        m_fixedRows = n;
        resetWith(std::move(rowsKept));
        emit fixedCellsChanged();
        return;
    }
    const int cur = rows();
    if (n > cur) {
        beginInsertRows({}, cur - m_fixedRows, n - m_fixedRows - 1);
        m_rows.resize(std::size_t(n));
        endInsertRows();
    } else if (n < cur) {
        beginRemoveRows({}, n - m_fixedRows, cur - m_fixedRows - 1);
        m_rows.resize(std::size_t(n));
        endRemoveRows();
        // Rows let go leave many small blocks freed; the allocator merges them at its next larger
        // request, which would otherwise be whatever paints next, however many rows went before.
        const QByteArray merge(4096, Qt::Uninitialized);
    }
}

void GridModel::setCols(int n)
{
    if (n < 0)
        throw GridArgumentError("Grid.Cols: the column count cannot be negative");
    const int cur = cols();
    if (n == cur)
        return;
    if (m_rs)
        throw GridArgumentError("Grid.Cols: the columns of a grid bound in DataMode 4 are its recordset's fields");
    if (n > cur) {
        beginInsertColumns({}, cur, n - 1);
        m_cols.resize(std::size_t(n));
        endInsertColumns();
    } else {
        beginRemoveColumns({}, n, cur - 1);
        m_cols.resize(std::size_t(n));
        for (RowRecord &rec : m_rows) {
            if (rec.cells.size() > std::size_t(n))
                rec.cells.resize(std::size_t(n));
            if (rec.styles && rec.styles->size() > std::size_t(n))
                rec.styles->resize(std::size_t(n));
        }
        endRemoveColumns();
    }
    if (m_fixedCols > n)
        m_fixedCols = n;
    emit fixedCellsChanged();
}

void GridModel::setFixedRows(int n)
{
    if (n < 0)
        throw GridArgumentError("Grid.FixedRows: cannot be negative");
    if (n == m_fixedRows)
        return;
    if (m_rs) {
        beginResetModel();
        m_rows.resize(std::size_t(n));
        m_fixedRows = n;
        endResetModel();
    } else {
        beginResetModel();
        if (std::size_t(n) > m_rows.size())
            m_rows.resize(std::size_t(n));
        m_fixedRows = n;
        endResetModel();
    }
    emit layoutRebuilt();
    emit fixedCellsChanged();
}

void GridModel::setFixedCols(int n)
{
    if (n < 0)
        throw GridArgumentError("Grid.FixedCols: cannot be negative");
    if (n > cols())
        setCols(n);
    m_fixedCols = n;
    emit fixedCellsChanged();
    if (dataRows() > 0 && cols() > 0)
        emit dataChanged(index(0, 0), index(dataRows() - 1, cols() - 1));
}

void GridModel::insertRow(int at, const QStringList &cells)
{
    if (m_rs)
        throw GridArgumentError("Grid.AddItem: rows cannot be added to a grid bound in DataMode 4");
    if (at < m_fixedRows || at > rows())
        throw GridRangeError(QStringLiteral("Grid.AddItem: row %1 is out of range (%2 to %3)")
                                 .arg(at).arg(m_fixedRows).arg(rows()));
    RowRecord rec;
    rec.cells.reserve(std::size_t(std::min<qsizetype>(cells.size(), cols())));
    for (qsizetype i = 0; i < cells.size() && i < cols(); ++i)
        rec.cells.push_back(cells.at(i));
    beginInsertRows({}, at - m_fixedRows, at - m_fixedRows);
    m_rows.insert(m_rows.begin() + at, std::move(rec));
    endInsertRows();
}

void GridModel::removeRow(int r)
{
    if (m_rs)
        throw GridArgumentError("Grid.RemoveItem: rows cannot be removed from a grid bound in DataMode 4");
    if (r < m_fixedRows || r >= rows())
        throw GridRangeError(QStringLiteral("Grid.RemoveItem: row %1 is out of range (%2 to %3)")
                                 .arg(r).arg(m_fixedRows).arg(rows() - 1));
    beginRemoveRows({}, r - m_fixedRows, r - m_fixedRows);
    m_rows.erase(m_rows.begin() + r);
    endRemoveRows();
}

void GridModel::moveColumn(int from, int to)
{
    checkCol(from, "ColPosition");
    checkCol(to, "ColPosition");
    if (from == to)
        return;
    beginResetModel();
    auto moveIn = [from, to](auto &vec) {
        if (vec.size() <= std::size_t(std::max(from, to)))
            vec.resize(std::size_t(std::max(from, to)) + 1);
        auto item = std::move(vec[std::size_t(from)]);
        vec.erase(vec.begin() + from);
        vec.insert(vec.begin() + to, std::move(item));
    };
    moveIn(m_cols);
    for (RowRecord &rec : m_rows) {
        if (rec.cells.size() > std::size_t(std::min(from, to)))
            moveIn(rec.cells);
        if (rec.styles && rec.styles->size() > std::size_t(std::min(from, to)))
            moveIn(*rec.styles);
    }
    if (!m_boundStyles.empty()) {
        std::map<std::pair<std::size_t, int>, CellStyle> moved;
        for (auto &[key, style] : m_boundStyles) {
            int c = key.second;
            if (c == from)
                c = to;
            else if (from < to && c > from && c <= to)
                --c;
            else if (from > to && c >= to && c < from)
                ++c;
            moved.emplace(std::make_pair(key.first, c), std::move(style));
        }
        m_boundStyles = std::move(moved);
    }
    endResetModel();
    emit layoutRebuilt();
    emit fixedCellsChanged();
}

void GridModel::clear(bool texts, bool styles, bool fixedToo, bool dataToo)
{
    for (int r = 0; r < int(m_rows.size()); ++r) {
        const bool fixed = r < m_fixedRows;
        if ((fixed && !fixedToo) || (!fixed && !dataToo))
            continue;
        RowRecord &rec = m_rows[std::size_t(r)];
        if (texts)
            rec.cells.clear();
        if (styles) {
            rec.styles.reset();
            if (!rec.subtotal)
                rec.rowStyle.reset();
        }
    }
    if (styles && dataToo)
        m_boundStyles.clear();
    emit fixedCellsChanged();
    if (m_redraw && dataRows() > 0 && cols() > 0)
        emit dataChanged(index(0, 0), index(dataRows() - 1, cols() - 1));
}

void GridModel::replaceAll(int newCols, int newFixedRows, int newFixedCols, std::vector<RowRecord> newRows)
{
    if (newCols < 0 || newFixedRows < 0 || newFixedCols < 0 || newFixedRows > int(newRows.size()) || newFixedCols > newCols)
        throw GridArgumentError("Grid: inconsistent shape");
    beginResetModel();
    dropBinding();
    m_cols.resize(std::size_t(newCols));
    m_rows = std::move(newRows);
    m_rowsMayHide = std::any_of(m_rows.begin(), m_rows.end(), [](const RowRecord &rec) { return rec.hidden; });
    m_fixedRows = newFixedRows;
    m_fixedCols = newFixedCols;
    endResetModel();
    emit layoutRebuilt();
    emit fixedCellsChanged();
}

// ---------------------------------------------------------------- cells

RowRecord *GridModel::record(int r)
{
    if (r < m_fixedRows || !m_rs)
        return &m_rows[std::size_t(r)];
    return nullptr;
}

const RowRecord *GridModel::record(int r) const
{
    if (r < m_fixedRows || !m_rs)
        return &m_rows[std::size_t(r)];
    return nullptr;
}

long long GridModel::recordIndex(int r) const
{
    if (r < m_fixedRows || r >= rows())
        return -1;
    if (const RowRecord *rec = record(r))
        return rec->source;
    return r - m_fixedRows;
}

QString GridModel::boundText(int r, int c) const
{
    const int field = m_cols[std::size_t(c)].field;
    if (field < 0)
        return {};
    return m_rs->displayText(std::size_t(r - m_fixedRows), field);
}

QString GridModel::rawText(int r, int c) const
{
    checkRow(r, "TextMatrix");
    checkCol(c, "TextMatrix");
    if (const RowRecord *rec = record(r))
        return std::size_t(c) < rec->cells.size() ? rec->cells[std::size_t(c)] : QString();
    return boundText(r, c);
}

QString GridModel::displayText(int r, int c) const
{
    QString text = rawText(r, c);
    if (r < m_fixedRows)
        return text;
    const ColumnInfo &col = m_cols[std::size_t(c)];
    if (!col.format.isEmpty() && !text.isEmpty() && col.dataType != flexDTBoolean) {
        if (const auto v = format::parseNumber(text))
            return format::formatNumber(*v, col.format);
    }
    return text;
}

bool GridModel::isNull(int r, int c) const
{
    checkRow(r, "IsNull");
    checkCol(c, "IsNull");
    if (const RowRecord *rec = record(r))
        return std::size_t(c) >= rec->cells.size() || rec->cells[std::size_t(c)].isNull();
    const int field = m_cols[std::size_t(c)].field;
    return field < 0 || m_rs->isNull(std::size_t(r - m_fixedRows), field);
}

double GridModel::value(int r, int c) const
{
    checkRow(r, "ValueMatrix");
    checkCol(c, "ValueMatrix");
    if (!record(r)) {
        const int field = m_cols[std::size_t(c)].field;
        if (field < 0)
            return 0;
        const QVariant v = m_rs->value(std::size_t(r - m_fixedRows), field);
        if (!v.isValid())
            return 0;
        if (v.typeId() == QMetaType::Bool)
            return v.toBool() ? -1.0 : 0.0;
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (ok)
            return d;
    }
    const QString text = rawText(r, c).trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return -1.0;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return 0.0;
    return format::parseNumber(text).value_or(0.0);
}

void GridModel::setText(int r, int c, const QString &text)
{
    checkRow(r, "TextMatrix");
    checkCol(c, "TextMatrix");
    RowRecord *rec = record(r);
    if (!rec)
        throw GridArgumentError("Grid.TextMatrix: the data rows of a grid bound in DataMode 4 are read-only");
    if (rec->cells.size() <= std::size_t(c))
        rec->cells.resize(std::size_t(c) + 1);
    rec->cells[std::size_t(c)] = text.isNull() ? QString() : text;
    announce(r, c);
}

void GridModel::announce(int r, int c)
{
    if (r < m_fixedRows) {
        emit fixedCellsChanged();
        return;
    }
    if (m_redraw) {
        const QModelIndex i = index(r - m_fixedRows, c);
        emit dataChanged(i, i);
    }
}

const CellStyle *GridModel::cellStyle(int r, int c) const
{
    if (const RowRecord *rec = record(r)) {
        if (rec->styles && std::size_t(c) < rec->styles->size())
            return &(*rec->styles)[std::size_t(c)];
        return nullptr;
    }
    const auto it = m_boundStyles.find({std::size_t(r - m_fixedRows), c});
    return it == m_boundStyles.end() ? nullptr : &it->second;
}

CellStyle &GridModel::cellStyleRef(int r, int c)
{
    checkRow(r, "Cell");
    checkCol(c, "Cell");
    if (RowRecord *rec = record(r)) {
        if (!rec->styles)
            rec->styles = std::make_unique<std::vector<CellStyle>>();
        if (rec->styles->size() <= std::size_t(c))
            rec->styles->resize(std::size_t(cols()));
        return (*rec->styles)[std::size_t(c)];
    }
    return m_boundStyles[{std::size_t(r - m_fixedRows), c}];
}

CellStyle GridModel::effectiveStyle(int r, int c) const
{
    CellStyle style;
    if (const RowRecord *rec = record(r); rec && rec->rowStyle)
        style = *rec->rowStyle;
    if (const CellStyle *own = cellStyle(r, c))
        style.mergeFrom(*own);
    return style;
}

bool GridModel::rowHidden(int r) const
{
    checkRow(r, "RowHidden");
    if (const RowRecord *rec = record(r))
        return rec->hidden;
    return m_boundHidden.count(std::size_t(r - m_fixedRows)) > 0;
}

void GridModel::setRowHidden(int r, bool hidden)
{
    checkRow(r, "RowHidden");
    if (RowRecord *rec = record(r)) {
        if (rec->hidden == hidden)
            return;
        rec->hidden = hidden;
        m_rowsMayHide = m_rowsMayHide || hidden;
    } else if (hidden) {
        if (!m_boundHidden.insert(std::size_t(r - m_fixedRows)).second)
            return;
    } else if (m_boundHidden.erase(std::size_t(r - m_fixedRows)) == 0) {
        return;
    }
    emit rowHiddenChanged(r, hidden);
}

bool GridModel::isSubtotal(int r) const
{
    checkRow(r, "IsSubtotal");
    const RowRecord *rec = record(r);
    return rec && rec->subtotal;
}

int GridModel::rowLevel(int r) const
{
    checkRow(r, "RowOutlineLevel");
    const RowRecord *rec = record(r);
    return rec && rec->subtotal ? rec->level : 0;
}

bool GridModel::rowMerge(int r) const
{
    checkRow(r, "MergeRow");
    const RowRecord *rec = record(r);
    return rec && rec->merge;
}

void GridModel::setRowMerge(int r, bool on)
{
    checkRow(r, "MergeRow");
    if (RowRecord *rec = record(r)) {
        rec->merge = on;
        announce(r, 0);
    }
}

void GridModel::setRedraw(bool on)
{
    if (m_redraw == on)
        return;
    m_redraw = on;
    if (on) {
        emit fixedCellsChanged();
        if (dataRows() > 0 && cols() > 0)
            emit dataChanged(index(0, 0), index(dataRows() - 1, cols() - 1));
    }
}

// ---------------------------------------------------------------- binding

namespace {

std::vector<ColumnInfo> recordsetColumns(const db::Recordset &rs, int fieldCount)
{
    std::vector<ColumnInfo> columns(static_cast<std::size_t>(fieldCount));
    for (int f = 0; f < fieldCount; ++f) {
        ColumnInfo &col = columns[std::size_t(f)];
        col.field = f;
        col.dataType = dataTypeOf(rs.Field(f).Type);
        col.fromRecordset = true;
    }
    return columns;
}

// The fixed rows, the last one holding the field names.
std::vector<RowRecord> captionRows(const db::Recordset &rs, int fieldCount, int fixedRows)
{
    std::vector<RowRecord> fixed(static_cast<std::size_t>(fixedRows));
    if (fixedRows > 0) {
        for (int f = 0; f < fieldCount; ++f)
            fixed.back().cells.push_back(rs.Field(f).Name);
    }
    return fixed;
}

} // namespace

void GridModel::bind(const std::shared_ptr<db::Recordset> &rs, int dataMode)
{
    if (!rs) {
        unbind();
        return;
    }
    if (dataMode != flexDMBound) {
        // Copy mode: the grid owns its rows afterwards, so later Filter/Sort of the recordset
        // show only when it is bound again.
        if (!rs->fetchAll())
            throw db::DbError::cancelled(rs->Source());
        copyFrom(rs, -1, {});
        return;
    }
    const int fieldCount = rs->FieldCount();
    std::vector<ColumnInfo> columns = recordsetColumns(*rs, fieldCount);
    std::vector<RowRecord> fixed = captionRows(*rs, fieldCount, m_fixedRows);
    beginResetModel();
    m_cols = std::move(columns);
    m_rows = std::move(fixed);
    m_rs = rs;
    m_errorAnnounced = false;
    follow(rs);
    m_boundHidden.clear();
    m_boundStyles.clear();
    m_boundRows = rs->fetchedCount();
    endResetModel();
    if (m_fixedCols > cols())
        m_fixedCols = cols();
    emit layoutRebuilt();
    emit fixedCellsChanged();
}

bool GridModel::copyFrom(const std::shared_ptr<db::Recordset> &rs, int columns, const std::function<bool()> &keepGoing)
{
    const int fieldCount = columns < 0 ? rs->FieldCount() : std::min(columns, rs->FieldCount());
    std::vector<ColumnInfo> cols = recordsetColumns(*rs, fieldCount);
    std::vector<RowRecord> fixed = captionRows(*rs, fieldCount, m_fixedRows);
    const std::size_t n = rs->fetchedCount();
    // Emptied first and filled by appending: a reset to a million rows makes each view's row
    // header build a million sections at once, appended slices spread that over the copy.
    beginResetModel();
    m_cols = std::move(cols);
    // The room the rows held before is taken again when they would fill a fair part of it: the
    // memory is already the process's, where new room is first touched page by page.
    const std::size_t needed = fixed.size() + n;
    if (m_rows.capacity() >= needed && m_rows.capacity() / 4 <= needed) {
        m_rows.clear();
        std::move(fixed.begin(), fixed.end(), std::back_inserter(m_rows));
    } else {
        m_rows = std::move(fixed);
    }
    dropBinding();
    m_rowsMayHide = false;
    endResetModel();
    if (m_fixedCols > this->cols())
        m_fixedCols = this->cols();
    emit layoutRebuilt();
    emit fixedCellsChanged();
    m_rows.reserve(m_rows.size() + n);
    bool whole = true;
    // A value shown as the row above's shares its text: grouped results repeat their outer keys
    // row after row, and a text made anew for each is an allocation a cell.
    std::vector<std::string> aboveUtf8(std::size_t(std::max(fieldCount, 0)));
    std::vector<QString> above(std::size_t(std::max(fieldCount, 0)));
    std::vector<TextPool> pools(std::size_t(std::max(fieldCount, 0)));
    char buf[64];
    // keepGoing is asked between slices, where the views know every row held.
    constexpr std::size_t slice = 2048;
    std::vector<RowRecord> made;
    made.reserve(std::min(n, slice));
    for (std::size_t from = 0; from < n; from += slice) {
        if (keepGoing && !keepGoing()) {
            whole = false;
            break;
        }
        const std::size_t to = std::min(n, from + slice);
        made.clear();
        for (std::size_t i = from; i < to; ++i) {
            RowRecord &rec = made.emplace_back();
            rec.source = static_cast<long long>(i);
            rec.cells.reserve(std::size_t(fieldCount));
            for (int f = 0; f < fieldCount; ++f) {
                if (rs->isNull(i, f)) {
                    rec.cells.emplace_back();
                    continue;
                }
                const std::size_t k = std::size_t(f);
                const std::string_view utf8 = rs->displayUtf8(i, f, buf);
                if (above[k].isNull() || utf8 != aboveUtf8[k]) {
                    // The same bytes always make the same text, so they tell when it can be
                    // shared; ASCII reads alike as UTF-8 and as Latin-1, whatever the value's kind.
                    if (const QString *seen = pools[k].find(utf8)) {
                        above[k] = *seen;
                    } else {
                        const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char ch) { return uchar(ch) < 0x80; });
                        QString t = ascii ? QString::fromLatin1(utf8.data(), qsizetype(utf8.size())) : rs->displayText(i, f);
                        above[k] = t.isNull() ? nonNullEmpty() : std::move(t);
                        pools[k].add(utf8, above[k]);
                    }
                    aboveUtf8[k].assign(utf8);
                }
                rec.cells.push_back(above[k]);
            }
        }
        beginInsertRows({}, dataRows(), dataRows() + int(made.size()) - 1);
        std::move(made.begin(), made.end(), std::back_inserter(m_rows));
        endInsertRows();
    }
    return whole;
}

void GridModel::unbind()
{
    if (!m_rs)
        return;
    beginResetModel();
    dropBinding();
    m_rows.resize(std::size_t(m_fixedRows));
    endResetModel();
    emit layoutRebuilt();
}

void GridModel::dropBinding()
{
    m_rs.reset();
    follow(nullptr);
    m_errorAnnounced = false;
    m_boundRows = 0;
    m_boundHidden.clear();
    m_boundStyles.clear();
    for (ColumnInfo &col : m_cols)
        col.field = -1;
}

std::size_t GridModel::syncBound()
{
    if (!m_rs)
        return 0;
    const std::size_t n = m_rs->fetchedCount();
    if (n > m_boundRows) {
        beginInsertRows({}, int(m_boundRows), int(n) - 1);
        m_boundRows = n;
        endInsertRows();
        emit rowsArrived();
    } else if (n < m_boundRows) {
        // The recordset's Filter narrowed what it shows.
        beginResetModel();
        m_boundRows = n;
        m_boundHidden.clear();
        m_boundStyles.clear();
        endResetModel();
        emit layoutRebuilt();
    }
    return m_boundRows;
}

bool GridModel::ensureRow(int r)
{
    if (r < 0)
        return false;
    if (r < rows())
        return true;
    if (!m_rs)
        return false;
    m_rs->ensureRow(std::size_t(r - m_fixedRows));
    syncBound();
    return r < rows();
}

void GridModel::resetWith(std::vector<RowRecord> newRows)
{
    beginResetModel();
    m_rows = std::move(newRows);
    endResetModel();
    emit layoutRebuilt();
}

// ---------------------------------------------------------------- merging

bool GridModel::mergesWithAbove(int r, int c) const
{
    if (m_mergeCells == flexMergeNever || r <= 0 || r >= rows() || c < 0 || c >= cols())
        return false;
    const bool fixedArea = r < m_fixedRows;
    if ((r - 1 < m_fixedRows) != fixedArea)
        return false;
    if (m_mergeCells == flexMergeFixedOnly && !fixedArea && c >= m_fixedCols)
        return false;
    if (!m_cols[std::size_t(c)].merge)
        return false;
    if (!fixedArea && (isSubtotal(r) || isSubtotal(r - 1)))
        return false;
    const QString text = displayText(r, c);
    if (text.isEmpty() || text != displayText(r - 1, c))
        return false;
    const bool restrict = m_mergeCells == flexMergeRestrictColumns || m_mergeCells == flexMergeRestrictAll;
    if (restrict && c > 0 && (c - 1 < m_fixedCols) == (c < m_fixedCols))
        return mergesWithAbove(r, c - 1);
    return true;
}

bool GridModel::mergesWithLeft(int r, int c) const
{
    if (m_mergeCells == flexMergeNever || c <= 0 || r < 0 || r >= rows() || c >= cols())
        return false;
    const bool fixedArea = c < m_fixedCols;
    if ((c - 1 < m_fixedCols) != fixedArea)
        return false;
    if (m_mergeCells == flexMergeFixedOnly && !fixedArea && r >= m_fixedRows)
        return false;
    if (!rowMerge(r))
        return false;
    const QString text = displayText(r, c);
    if (text.isEmpty() || text != displayText(r, c - 1))
        return false;
    const bool restrict = m_mergeCells == flexMergeRestrictRows || m_mergeCells == flexMergeRestrictAll;
    if (restrict && r > 0 && (r - 1 < m_fixedRows) == (r < m_fixedRows))
        return mergesWithLeft(r - 1, c);
    return true;
}

} // namespace grid
