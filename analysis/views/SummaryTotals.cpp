#include "views/SummaryTotals.h"

#include "views/Aggregates.h"

#include "db/Recordset.h"
#include "db/Types.h"
#include "db/ValueRules.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace analysis {

namespace agg = analysis::aggregates;

namespace {

bool isDecimalType(int adoType)
{
    return adoType == db::adNumeric || adoType == db::adDecimal || adoType == db::adVarNumeric
           || adoType == db::adCurrency;
}

} // namespace

void SummaryTotals::Running::add(int function, const Group &g)
{
    ++rows;
    sum += g.sum;
    count += g.count;
    if (g.value)
        value = agg::combine(function, value, *g.value);
}

std::optional<double> SummaryTotals::Running::result(int function) const
{
    return agg::total(function, value, sum, count);
}

std::optional<double> SummaryTotals::numberAt(const db::Recordset &rs, std::size_t row, int col)
{
    if (rs.isNull(row, col))
        return std::nullopt;
    // Floating values and integers straight from the rows held, as their QVariant would give them.
    const int type = rs.Field(col).Type;
    const db::Storage storage = db::storageOf(type);
    if (storage == db::Storage::Double)
        return rs.store()->real(rs.storeRow(row), col);
    if (storage == db::Storage::Int64 && db::isNumericType(type))
        return double(rs.store()->int64(rs.storeRow(row), col));
    bool ok = false;
    const double d = rs.value(row, col).toDouble(&ok);
    if (ok)
        return d;
    return grid::format::parseNumber(rs.displayText(row, col));
}

QString SummaryTotals::valueKey(const db::Recordset &rs, std::size_t row, int first, int count)
{
    QString key;
    for (int c = first; c < first + count; ++c) {
        if (rs.isNull(row, c)) {
            key += QStringLiteral("N");
            continue;
        }
        const QVariant v = rs.value(row, c);
        QString text = v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'g', 17) : v.toString();
        // Decimals arrive as text at each value's own scale, but 1.5 and 1.50 are one group.
        if (isDecimalType(rs.Field(c).Type)) {
            if (const auto exact = db::decimalValueText(text.toStdString()))
                text = QString::fromStdString(*exact);
        }
        // Type and length in front, so no text can pass for the end of another.
        key += u'V';
        key += QString::number(v.typeId());
        key += u':';
        key += QString::number(text.size());
        key += u':';
        key += text;
    }
    return key;
}

bool SummaryTotals::sameValue(const db::Recordset &rs, std::size_t a, std::size_t b, int col)
{
    const bool nullA = rs.isNull(a, col);
    const bool nullB = rs.isNull(b, col);
    if (nullA || nullB)
        return nullA == nullB;
    const QVariant va = rs.value(a, col);
    const QVariant vb = rs.value(b, col);
    if (va.typeId() != vb.typeId())
        return false;
    if (va.typeId() == QMetaType::Double) {
        // As their 17 digits tell them apart: every NaN alike, -0 apart from 0.
        const double x = va.toDouble(), y = vb.toDouble();
        if (std::isnan(x) || std::isnan(y))
            return std::isnan(x) && std::isnan(y);
        return x == y && std::signbit(x) == std::signbit(y);
    }
    const QString ta = va.toString(), tb = vb.toString();
    if (ta == tb)
        return true;
    if (!isDecimalType(rs.Field(col).Type))
        return false;
    const auto exactA = db::decimalValueText(ta.toStdString());
    const auto exactB = db::decimalValueText(tb.toStdString());
    return exactA && exactB && *exactA == *exactB;
}

void SummaryTotals::groupExactly(grid::Grid &grid, const db::Recordset &rs, int groupCols,
                                 const std::function<void()> &makeRows, const std::function<bool()> &keepGoing)
{
    unsigned asked = 0;
    // Asked every few rows: a row's own work is far shorter than the question.
    const auto stop = [&] { return keepGoing && (asked++ & 63u) == 0 && !keepGoing(); };
    // Mostly the shown texts already part the groups where their values do: then the grid's own
    // grouping is exact as it stands, and no cell needs a stand-in.
    std::vector<bool> decimal(std::size_t(std::max(groupCols, 0)));
    std::vector<bool> text(decimal.size()); // a text shows itself: the same text is the same value
    for (int c = 0; c < groupCols; ++c) {
        decimal[std::size_t(c)] = isDecimalType(rs.Field(c).Type);
        text[std::size_t(c)] = !decimal[std::size_t(c)] && db::storageOf(rs.Field(c).Type) == db::Storage::Text;
    }
    bool textsPart = true;
    long long previous = -1;
    int previousRow = -1;
    for (int r = grid.FixedRows(); r < grid.Rows() && textsPart; ++r) {
        if (stop())
            return;
        const long long record = grid.RecordIndex(r);
        if (grid.IsSubtotal(r) || record < 0 || std::size_t(record) >= rs.fetchedCount()) {
            textsPart = grid.IsSubtotal(r) ? textsPart : false;
            continue;
        }
        if (previous >= 0) {
            for (int c = 0; c < groupCols; ++c) {
                const bool sameText = grid.TextMatrix(r, c) == grid.TextMatrix(previousRow, c);
                // Texts that differ hold different values, but for decimals at another scale; a
                // Null shows as an empty text does.
                const bool same = sameText && text[std::size_t(c)]
                    ? rs.isNull(std::size_t(previous), c) == rs.isNull(std::size_t(record), c)
                    : sameText || decimal[std::size_t(c)] ? sameValue(rs, std::size_t(previous), std::size_t(record), c)
                                                          : false;
                if (same != sameText) {
                    textsPart = false;
                    break;
                }
            }
        }
        previous = record;
        previousRow = r;
    }
    if (textsPart) {
        makeRows();
        return;
    }
    const int first = grid.FixedRows();
    std::vector<QStringList> texts(rs.fetchedCount());
    QHash<QString, int> ids;
    bool stopped = false;
    for (int r = first; r < grid.Rows() && !stopped; ++r) {
        if ((stopped = stop()))
            break;
        const long long record = grid.RecordIndex(r);
        if (grid.IsSubtotal(r) || record < 0 || std::size_t(record) >= texts.size())
            continue;
        QStringList &shown = texts[std::size_t(record)];
        for (int c = 0; c < groupCols; ++c) {
            shown << grid.TextMatrix(r, c);
            const QString key = valueKey(rs, std::size_t(record), 0, c + 1);
            const int id = ids.value(key, int(ids.size()));
            ids.insert(key, id);
            grid.setTextMatrix(r, c, QString::number(id));
        }
    }
    if (!stopped)
        makeRows();
    // The texts go back whatever the answer: the loop still turns, but runs to the end.
    QStringList closing; // the texts of the last data row above
    for (int r = first; r < grid.Rows(); ++r) {
        if (keepGoing && (asked++ & 63u) == 0)
            keepGoing();
        if (grid.IsSubtotal(r)) {
            const int level = grid.RowOutlineLevel(r);
            if (level >= 0 && level < closing.size())
                grid.setTextMatrix(r, level, closing[level]);
            continue;
        }
        const long long record = grid.RecordIndex(r);
        if (record < 0 || std::size_t(record) >= texts.size() || texts[std::size_t(record)].isEmpty())
            continue;
        closing = texts[std::size_t(record)];
        for (int c = 0; c < closing.size(); ++c)
            grid.setTextMatrix(r, c, closing[c]);
    }
}

int SummaryTotals::fill(grid::Grid &grid, bool skipHidden, const std::function<bool()> &keepGoing) const
{
    unsigned asked = 0;
    const int last = grid.Cols() - 1;
    auto show = [&](int row, const std::optional<double> &v) {
        if (!v) {
            grid.setTextMatrix(row, last, QString());
            return;
        }
        const double shown = function == agg::fnPercent ? (grandCount != 0 ? *v / grandCount * 100 : 0) : *v;
        grid.setTextMatrix(row, last, grid::format::numberText(shown));
    };

    // Subtotal rows follow the rows they close: level 0 closes a first-column group, level 1 a
    // second-column group, -1 is the grand total.
    std::array<Running, 2> levels;
    Running total;
    int counted = 0;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r) {
        if (keepGoing && (asked++ & 63u) == 0 && !keepGoing())
            break;
        if (grid.IsSubtotal(r)) {
            const int level = grid.RowOutlineLevel(r);
            if (level < 0) {
                show(r, total.rows > 0 ? total.result(function) : std::nullopt);
            } else if (level < 2) {
                Running &run = levels[std::size_t(level)];
                show(r, run.rows > 0 ? run.result(function) : std::nullopt);
                run = Running{};
            }
            continue;
        }
        const long long record = grid.RecordIndex(r);
        if (record < 0 || std::size_t(record) >= groups.size())
            continue;
        const Group &group = groups[std::size_t(record)];
        if (function == agg::fnPercent)
            show(r, group.value);
        if (skipHidden && grid.RowHidden(r))
            continue;
        ++counted;
        for (Running &run : levels)
            run.add(function, group);
        total.add(function, group);
    }
    return counted;
}

} // namespace analysis
