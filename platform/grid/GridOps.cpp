// Sorting, subtotals and aggregates over the grid's data rows.
#include "grid/GridModel.h"

#include "grid/GridFormat.h"

#include "db/Recordset.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>

namespace grid {

namespace {

struct Accumulator {
    double sum = 0;
    double sumSq = 0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    long count = 0;    // non-empty cells
    long numbers = 0;  // cells holding a number

    void add(const QString &text)
    {
        if (text.trimmed().isEmpty())
            return;
        ++count;
        if (const auto v = format::parseNumber(text))
            addNumber(*v);
    }
    void addNumber(double v)
    {
        ++numbers;
        sum += v;
        sumSq += v * v;
        min = std::min(min, v);
        max = std::max(max, v);
    }
    // Nothing when the function has no value over no numbers (average, min, max ...).
    std::optional<double> result(int function) const
    {
        switch (function) {
        case flexSTSum:
            return sum;
        case flexSTCount:
            return double(count);
        case flexSTAverage:
            return numbers ? std::optional<double>(sum / double(numbers)) : std::nullopt;
        case flexSTMax:
            return numbers ? std::optional<double>(max) : std::nullopt;
        case flexSTMin:
            return numbers ? std::optional<double>(min) : std::nullopt;
        case flexSTVar:
        case flexSTStd: {
            if (numbers < 2)
                return numbers ? std::optional<double>(0.0) : std::nullopt;
            const double n = double(numbers);
            const double var = std::max(0.0, (sumSq - sum * sum / n) / (n - 1));
            return function == flexSTVar ? var : std::sqrt(var);
        }
        default:
            return std::nullopt;
        }
    }
};

QString resultText(const Accumulator &acc, int function, const QString &pattern)
{
    const auto v = acc.result(function);
    if (!v)
        return QString();
    return pattern.isEmpty() ? format::numberText(*v) : format::formatNumber(*v, pattern);
}

// Sort key of one cell, computed once per row.
struct KeyValue {
    QString text;
    double number = 0;
    bool isNumber = false;
};

int compareKey(const KeyValue &a, const KeyValue &b, int order)
{
    int result = 0;
    switch (order) {
    case flexSortNumericAscending:
    case flexSortNumericDescending:
        result = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        break;
    case flexSortStringAscending:
    case flexSortStringDescending:
        result = a.text.compare(b.text, Qt::CaseSensitive);
        break;
    case flexSortStringNoCaseAscending:
    case flexSortStringNoCaseDescending:
        result = a.text.compare(b.text, Qt::CaseInsensitive);
        break;
    default: // generic: numbers as numbers, before text; text without regard to case
        if (a.isNumber && b.isNumber)
            result = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        else if (a.isNumber != b.isNumber)
            result = a.text.isEmpty() || b.text.isEmpty() ? (a.text.isEmpty() ? -1 : 1) : (a.isNumber ? -1 : 1);
        else {
            result = a.text.compare(b.text, Qt::CaseInsensitive);
            if (result == 0)
                result = a.text.compare(b.text, Qt::CaseSensitive);
        }
        break;
    }
    const bool descending = order == flexSortGenericDescending || order == flexSortNumericDescending
        || order == flexSortStringNoCaseDescending || order == flexSortStringDescending;
    return descending ? -result : result;
}

bool isDescending(int order)
{
    return order == flexSortGenericDescending || order == flexSortNumericDescending
        || order == flexSortStringNoCaseDescending || order == flexSortStringDescending;
}

QString bracketName(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char(']'), QLatin1String("]]"));
    return QLatin1Char('[') + escaped + QLatin1Char(']');
}

} // namespace

void GridModel::sortRows(const std::vector<SortKey> &keys)
{
    if (keys.empty())
        return;
    for (const SortKey &k : keys)
        checkCol(k.col, "Sort");

    if (m_rs) {
        // A bound grid sorts its recordset: the rows stay where they are, only the view changes.
        QStringList parts;
        for (const SortKey &k : keys) {
            const int field = m_cols[std::size_t(k.col)].field;
            if (field < 0)
                continue;
            parts << bracketName(m_rs->Field(field).Name) + (isDescending(k.order) ? QLatin1String(" DESC")
                                                                                    : QLatin1String(" ASC"));
        }
        if (parts.isEmpty())
            return;
        m_rs->setSort(parts.join(QLatin1String(", ")));
        beginResetModel();
        m_boundRows = m_rs->fetchedCount();
        m_boundHidden.clear();
        m_boundStyles.clear();
        endResetModel();
        emit layoutRebuilt();
        return;
    }

    const int first = m_fixedRows;
    const int last = int(m_rows.size());
    if (last - first < 2)
        return;
    std::vector<std::vector<KeyValue>> values(std::size_t(last - first));
    for (int r = first; r < last; ++r) {
        auto &row = values[std::size_t(r - first)];
        row.reserve(keys.size());
        for (const SortKey &k : keys) {
            KeyValue v;
            v.text = rawText(r, k.col);
            if (const auto n = format::parseNumber(v.text)) {
                v.number = *n;
                v.isNumber = true;
            }
            row.push_back(std::move(v));
        }
    }
    std::vector<int> order(std::size_t(last - first));
    std::iota(order.begin(), order.end(), 0);
    auto less = [&](int a, int b) {
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const int c = compareKey(values[std::size_t(a)][k], values[std::size_t(b)][k], keys[k].order);
            if (c != 0)
                return c < 0;
        }
        return false;
    };
    // Subtotal rows stay where they are; the data rows between them sort among themselves.
    int runStart = 0;
    for (int i = 0; i <= last - first; ++i) {
        if (i == last - first || m_rows[std::size_t(first + i)].subtotal) {
            std::stable_sort(order.begin() + runStart, order.begin() + i, less);
            runStart = i + 1;
        }
    }
    std::vector<RowRecord> sorted;
    sorted.reserve(m_rows.size());
    for (int r = 0; r < first; ++r)
        sorted.push_back(std::move(m_rows[std::size_t(r)]));
    for (int i : order)
        sorted.push_back(std::move(m_rows[std::size_t(first + i)]));
    resetWith(std::move(sorted));
}

void GridModel::subtotal(int function, int groupOn, int totalOn, const QString &pattern, quint32 backColor,
                         quint32 foreColor, bool bold, const QString &caption, int matchFrom)
{
    if (m_rs)
        throw GridArgumentError("Grid.Subtotal: a grid bound in DataMode 4 holds no rows of its own");
    if (function == flexSTNone)
        return;
    if (function == flexSTClear) {
        std::vector<RowRecord> kept;
        kept.reserve(m_rows.size());
        for (std::size_t r = 0; r < m_rows.size(); ++r)
            if (int(r) < m_fixedRows || !m_rows[r].subtotal)
                kept.push_back(std::move(m_rows[r]));
        resetWith(std::move(kept));
        return;
    }
    if (function < flexSTSum || function > flexSTVar)
        throw GridArgumentError("Grid.Subtotal: unknown function");
    if (groupOn < -1 || groupOn >= cols())
        throw GridRangeError(QStringLiteral("Grid.Subtotal: group column %1 is out of range (-1 to %2)")
                                 .arg(groupOn).arg(cols() - 1));
    checkCol(totalOn, "Subtotal");
    if (groupOn >= 0 && (matchFrom < 0 || matchFrom > groupOn))
        matchFrom = std::min(m_fixedCols, groupOn);

    CellStyle style;
    style.backColor = backColor;
    style.foreColor = foreColor;
    if (bold)
        style.bold = 1;
    const std::shared_ptr<const CellStyle> shared = std::make_shared<CellStyle>(style);
    const int captionCol = groupOn >= 0 ? groupOn : std::min(m_fixedCols, cols() - 1);
    auto captionFor = [&](const QString &groupValue) {
        if (caption.isEmpty())
            return groupOn >= 0 ? groupValue : QStringLiteral("Grand Total");
        QString text = caption;
        return text.replace(QLatin1String("%s"), groupValue);
    };
    auto fill = [&](RowRecord &rec, const Accumulator &acc, const QString &groupValue) {
        if (rec.cells.size() < std::size_t(cols()))
            rec.cells.resize(std::size_t(cols()));
        if (captionCol != totalOn)
            rec.cells[std::size_t(captionCol)] = captionFor(groupValue);
        rec.cells[std::size_t(totalOn)] = resultText(acc, function, pattern);
        if (!rec.rowStyle) {
            rec.rowStyle = shared; // one style for every row this pass makes
        } else {
            auto merged = std::make_shared<CellStyle>(*rec.rowStyle);
            merged->mergeFrom(style);
            rec.rowStyle = std::move(merged);
        }
    };
    static const QString none;
    auto cell = [](const RowRecord &rec, int c) -> const QString & {
        return std::size_t(c) < rec.cells.size() ? rec.cells[std::size_t(c)] : none;
    };
    // Whether a row's group cells read as the open group's first row's (held in out).
    auto sameGroup = [&](const RowRecord &rec, const RowRecord &opened) {
        for (int c = matchFrom; c <= groupOn; ++c)
            if (cell(rec, c) != cell(opened, c))
                return false;
        return true;
    };
    const int first = m_fixedRows;
    const int last = int(m_rows.size());
    // Held here: the caller may turn the event loop, and whatever it runs may set another.
    const std::function<bool()> keepGoing = m_betweenRows;
    // Asked every few rows: a row's own work is far shorter than the question.
    unsigned asked = 0;
    const auto stop = [&] { return keepGoing && (asked++ & 63u) == 0 && !keepGoing(); };

    bool existing = false;
    for (int r = first; r < last && !existing; ++r)
        existing = m_rows[std::size_t(r)].subtotal && m_rows[std::size_t(r)].level == groupOn;

    if (existing) {
        // Another total on rows made before: fill them in, add none. Filled once every row is
        // read, so that a stop leaves each as it was.
        Accumulator acc;
        QString groupValue;
        std::vector<std::pair<int, std::pair<Accumulator, QString>>> filled;
        for (int r = first; r < last; ++r) {
            if (stop())
                return;
            RowRecord &rec = m_rows[std::size_t(r)];
            if (!rec.subtotal) {
                acc.add(rawText(r, totalOn));
                if (groupOn >= 0)
                    groupValue = rawText(r, groupOn);
            } else if (rec.level == groupOn) {
                filled.push_back({r, {acc, groupValue}});
                acc = Accumulator{};
            } else if (groupOn >= 0 && (rec.level < groupOn)) {
                acc = Accumulator{}; // an outer group ended
            }
        }
        for (const auto &[r, figures] : filled)
            fill(m_rows[std::size_t(r)], figures.first, figures.second);
        if (m_redraw && dataRows() > 0)
            emit dataChanged(index(0, 0), index(dataRows() - 1, cols() - 1));
        return;
    }

    if (groupOn < 0) {
        // One grand total after every row: the rows stay where they are.
        Accumulator acc;
        bool any = false;
        for (int r = first; r < last; ++r) {
            if (stop())
                return;
            const RowRecord &rec = m_rows[std::size_t(r)];
            if (!rec.subtotal) {
                any = true;
                acc.add(cell(rec, totalOn));
            }
        }
        if (any) {
            // Appended, not reset: the views keep what they know of every row above.
            RowRecord rec;
            rec.subtotal = true;
            rec.level = groupOn;
            fill(rec, acc, QString());
            beginInsertRows({}, dataRows(), dataRows());
            m_rows.push_back(std::move(rec));
            endInsertRows();
        }
        return;
    }

    std::vector<RowRecord> out;
    // At most one new row a data row: out never moves while it fills; and room for a grand
    // total after, which would otherwise move every row once more. The room the last pass let go
    // of is taken when it will do: new room is first touched page by page.
    const std::size_t room = 2 * m_rows.size() + 2;
    if (m_spareRows.capacity() >= room && m_spareRows.capacity() / 4 <= room)
        out.swap(m_spareRows);
    std::vector<RowRecord>().swap(m_spareRows);
    out.reserve(room);
    std::vector<std::size_t> made; // where out has the rows this pass makes
    Accumulator acc;
    bool open = false;
    std::size_t opened = 0; // the open group's first row in out
    QString groupValue;
    auto close = [&] {
        if (!open)
            return;
        RowRecord rec;
        rec.subtotal = true;
        rec.level = groupOn;
        fill(rec, acc, groupValue);
        made.push_back(out.size());
        out.push_back(std::move(rec));
        open = false;
        acc = Accumulator{};
    };
    for (int r = 0; r < last; ++r) {
        if (r < first) {
            out.push_back(std::move(m_rows[std::size_t(r)]));
            continue;
        }
        if (stop()) {
            // Every row goes back where it was, the rows made so far left out: the views were
            // told of nothing, and nothing changed.
            std::size_t back = 0;
            auto next = made.begin();
            for (std::size_t i = 0; i < out.size(); ++i) {
                if (next != made.end() && *next == i) {
                    ++next;
                    continue;
                }
                m_rows[back++] = std::move(out[i]);
            }
            return;
        }
        RowRecord &rec = m_rows[std::size_t(r)];
        if (!rec.subtotal) {
            if (groupOn >= 0) {
                if (open && !sameGroup(rec, out[opened]))
                    close();
                if (!open) {
                    opened = out.size();
                    groupValue = cell(rec, groupOn);
                }
            }
            open = true;
            acc.add(cell(rec, totalOn));
        } else if (groupOn >= 0 && rec.level < groupOn) {
            close(); // an outer subtotal ends every inner group
        }
        // Deeper subtotal rows belong to the open group, so its own row comes after them.
        out.push_back(std::move(rec));
    }
    close();
    beginResetModel();
    m_rows.swap(out);
    endResetModel();
    emit layoutRebuilt();
    // What the rows were moved out of is kept for the next pass (a summary makes one a level).
    out.clear();
    if (out.capacity() / 4 <= m_rows.size())
        m_spareRows = std::move(out);
}

double GridModel::aggregate(int function, int r1, int c1, int r2, int c2) const
{
    checkRow(r1, "Aggregate");
    checkRow(r2, "Aggregate");
    checkCol(c1, "Aggregate");
    checkCol(c2, "Aggregate");
    if (function < flexSTSum || function > flexSTVar)
        throw GridArgumentError("Grid.Aggregate: unknown function");
    if (r1 > r2)
        std::swap(r1, r2);
    if (c1 > c2)
        std::swap(c1, c2);
    Accumulator acc;
    for (int r = r1; r <= r2; ++r) {
        if (isSubtotal(r))
            continue;
        for (int c = c1; c <= c2; ++c) {
            if (record(r)) {
                acc.add(rawText(r, c));
            } else if (!isNull(r, c)) {
                ++acc.count;
                const QVariant v = m_rs->value(std::size_t(r - m_fixedRows), m_cols[std::size_t(c)].field);
                bool ok = false;
                const double d = v.toDouble(&ok);
                if (ok && v.typeId() != QMetaType::QString)
                    acc.addNumber(d);
                else if (const auto n = format::parseNumber(v.toString()))
                    acc.addNumber(*n);
            }
        }
    }
    return acc.result(function).value_or(0.0);
}

} // namespace grid
