#include "chart/ChartData.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <string>

namespace chart {

namespace {

[[noreturn]] void outOfRange(const char *member, const char *what, int index, int count)
{
    throw std::out_of_range(std::string("ChartData::") + member + ": " + what + " "
                            + std::to_string(index) + " is not within 1 to " + std::to_string(count));
}

} // namespace

void ChartData::checkRow(int row, const char *member) const
{
    if (row < 1 || row > m_rowCount)
        outOfRange(member, "row", row, m_rowCount);
}

void ChartData::checkColumn(int column, const char *member) const
{
    if (column < 1 || column > ColumnCount())
        outOfRange(member, "column", column, ColumnCount());
}

void ChartData::setRowCount(int rows)
{
    if (rows < 0)
        throw std::invalid_argument("ChartData::setRowCount: a count cannot be negative");
    if (rows < m_rowCount) {
        for (ColumnData &c : m_columns) {
            if (c.values.size() > static_cast<size_t>(rows)) {
                c.values.resize(rows);
                c.isSet.resize(rows);
            }
        }
    }
    m_rowCount = rows;
    m_rowLabels.resize(rows);
    m_row = std::min(m_row, rows);
    if (m_row == 0 && rows > 0 && m_column > 0)
        m_row = 1;
    touch();
}

void ChartData::setColumnCount(int columns)
{
    if (columns < 0)
        throw std::invalid_argument("ChartData::setColumnCount: a count cannot be negative");
    m_columns.resize(columns);
    m_column = std::min(m_column, columns);
    if (m_column == 0 && columns > 0 && m_rowCount > 0)
        m_column = 1;
    if (m_row == 0 && columns > 0 && m_rowCount > 0)
        m_row = 1;
    touch();
}

void ChartData::setRow(int row)
{
    checkRow(row, "Row");
    m_row = row;
}

void ChartData::setColumn(int column)
{
    checkColumn(column, "Column");
    m_column = column;
}

QString ChartData::RowLabel() const { return rowLabel(m_row); }
void ChartData::setRowLabel(const QString &label) { setRowLabel(m_row, label); }
QString ChartData::ColumnLabel() const { return columnLabel(m_column); }
void ChartData::setColumnLabel(const QString &label) { setColumnLabel(m_column, label); }

QString ChartData::Data() const
{
    const std::optional<double> v = value(m_row, m_column);
    return v ? numberText(*v) : QString();
}

void ChartData::setData(const QString &text)
{
    setValue(m_row, m_column, leadingNumber(text));
}

QString ChartData::rowLabel(int row) const
{
    checkRow(row, "RowLabel");
    return m_rowLabels[row - 1];
}

void ChartData::setRowLabel(int row, const QString &label)
{
    checkRow(row, "RowLabel");
    m_rowLabels[row - 1] = label;
    touch();
}

QString ChartData::columnLabel(int column) const
{
    checkColumn(column, "ColumnLabel");
    return m_columns[column - 1].label;
}

void ChartData::setColumnLabel(int column, const QString &label)
{
    checkColumn(column, "ColumnLabel");
    m_columns[column - 1].label = label;
    touch();
}

std::optional<double> ChartData::value(int row, int column) const
{
    checkRow(row, "Data");
    checkColumn(column, "Data");
    const ColumnData &c = m_columns[column - 1];
    const size_t i = row - 1;
    if (i < c.values.size() && c.isSet[i])
        return c.values[i];
    return std::nullopt;
}

void ChartData::setValue(int row, int column, double value)
{
    checkRow(row, "Data");
    checkColumn(column, "Data");
    ColumnData &c = m_columns[column - 1];
    const size_t i = row - 1;
    if (i >= c.values.size()) {
        c.values.resize(i + 1, 0.0);
        c.isSet.resize(i + 1, 0);
    }
    c.values[i] = value;
    c.isSet[i] = 1;
    touch();
}

void ChartData::clearValue(int row, int column)
{
    checkRow(row, "Data");
    checkColumn(column, "Data");
    ColumnData &c = m_columns[column - 1];
    const size_t i = row - 1;
    if (i < c.isSet.size())
        c.isSet[i] = 0;
    touch();
}

void ChartData::setDataSeriesInRow(bool inRows)
{
    m_seriesInRows = inRows;
    touch();
}

int ChartData::seriesCount() const { return m_seriesInRows ? m_rowCount : ColumnCount(); }
int ChartData::pointCount() const { return m_seriesInRows ? ColumnCount() : m_rowCount; }

QString ChartData::seriesLabel(int series) const
{
    return m_seriesInRows ? rowLabel(series) : columnLabel(series);
}

QString ChartData::pointLabel(int point) const
{
    return m_seriesInRows ? columnLabel(point) : rowLabel(point);
}

int ChartData::rowOf(int series, int point) const { return m_seriesInRows ? series : point; }
int ChartData::columnOf(int series, int point) const { return m_seriesInRows ? point : series; }

std::optional<double> ChartData::seriesValue(int series, int point) const
{
    return value(rowOf(series, point), columnOf(series, point));
}

double ChartData::seriesTotal(int series) const
{
    double total = 0;
    const int points = pointCount();
    for (int p = 1; p <= points; ++p) {
        if (const auto v = seriesValue(series, p))
            total += *v;
    }
    return total;
}

std::vector<std::vector<QVariant>> ChartData::ChartDataArray() const
{
    const int columns = ColumnCount();
    std::vector<std::vector<QVariant>> out(m_rowCount + 1, std::vector<QVariant>(columns + 1));
    out[0][0] = QString();
    for (int c = 1; c <= columns; ++c)
        out[0][c] = m_columns[c - 1].label;
    for (int r = 1; r <= m_rowCount; ++r) {
        out[r][0] = m_rowLabels[r - 1];
        for (int c = 1; c <= columns; ++c) {
            if (const auto v = value(r, c))
                out[r][c] = *v;
        }
    }
    return out;
}

bool ChartData::sortColumns(int row, bool descending,
                            const std::function<bool(std::int64_t, std::int64_t)> &keepGoing)
{
    const int n = ColumnCount();
    if (n < 2)
        return true;
    checkRow(row, "sortColumns");

    std::vector<double> key(n);
    for (int c = 0; c < n; ++c)
        key[c] = value(row, c + 1).value_or(0.0);

    // Bottom-up merge sort of positions: stable, and after a stop mid-pass the untouched rest
    // is copied over, so the order is always a whole permutation.
    std::vector<int> src(n), dst(n);
    for (int i = 0; i < n; ++i)
        src[i] = i;
    std::int64_t passes = 0;
    for (std::int64_t w = 1; w < n; w *= 2)
        ++passes;
    const std::int64_t total = passes * n;
    std::int64_t done = 0;
    std::int64_t sinceAsked = 0;
    bool finished = true;

    // Takes the right element first only when it belongs strictly before the left one.
    auto before = [&](int right, int left) {
        return descending ? key[right] > key[left] : key[right] < key[left];
    };

    for (int width = 1; width < n && finished; width *= 2) {
        int out = 0;
        for (int lo = 0; lo < n; lo += 2 * width) {
            const int mid = std::min(lo + width, n);
            const int hi = std::min(lo + 2 * width, n);
            int i = lo, j = mid;
            while (i < mid && j < hi)
                dst[out++] = before(src[j], src[i]) ? src[j++] : src[i++];
            while (i < mid)
                dst[out++] = src[i++];
            while (j < hi)
                dst[out++] = src[j++];
            done += hi - lo;
            sinceAsked += hi - lo;
            if (keepGoing && (sinceAsked >= 256 || hi == n)) {
                sinceAsked = 0;
                if (!keepGoing(done, total)) {
                    std::copy(src.begin() + hi, src.end(), dst.begin() + hi);
                    finished = false;
                    break;
                }
            }
        }
        src.swap(dst);
    }

    std::vector<ColumnData> sorted;
    sorted.reserve(n);
    for (int i = 0; i < n; ++i)
        sorted.push_back(std::move(m_columns[src[i]]));
    m_columns = std::move(sorted);
    touch();
    return finished;
}

void ChartData::clear()
{
    // The revision goes on counting: refilled with the same edits, it must not come back to one
    // the view has drawn already.
    const std::uint64_t revision = m_revision;
    *this = ChartData{};
    m_revision = revision + 1;
}

double ChartData::leadingNumber(const QString &text)
{
    int i = 0;
    const int len = text.size();
    while (i < len && text[i].isSpace())
        ++i;
    std::string ascii;
    if (i < len && (text[i] == u'+' || text[i] == u'-'))
        ascii += char(text[i++].unicode());
    const size_t signEnd = ascii.size();
    while (i < len && text[i] >= u'0' && text[i] <= u'9')
        ascii += char(text[i++].unicode());
    if (i < len && text[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < len && text[i] >= u'0' && text[i] <= u'9')
            ascii += char(text[i++].unicode());
    }
    const bool hasDigits = ascii.find_first_of("0123456789", signEnd) != std::string::npos;
    if (!hasDigits)
        return 0.0;
    if (i < len && (text[i] == u'e' || text[i] == u'E')) {
        int j = i + 1;
        std::string exponent = "e";
        if (j < len && (text[j] == u'+' || text[j] == u'-'))
            exponent += char(text[j++].unicode());
        const size_t expDigitsAt = exponent.size();
        while (j < len && text[j] >= u'0' && text[j] <= u'9')
            exponent += char(text[j++].unicode());
        if (exponent.size() > expDigitsAt)
            ascii += exponent;
    }
    double v = 0;
    const char *first = ascii.data();
    if (*first == '+')
        ++first;
    const auto result = std::from_chars(first, ascii.data() + ascii.size(), v);
    if (result.ec == std::errc::result_out_of_range)
        return ascii.find("e-") != std::string::npos
                   ? 0.0
                   : (ascii[0] == '-' ? -1 : 1) * std::numeric_limits<double>::max();
    return v;
}

QString ChartData::numberText(double value)
{
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return QString::fromLatin1(buf, int(result.ptr - buf));
}

} // namespace chart
