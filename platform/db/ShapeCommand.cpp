#include "db/ShapeCommand.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "db/ValueRules.h"

#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace db {

namespace {

// ---------------------------------------------------------------- the text

class Reader {
public:
    explicit Reader(QStringView text, qsizetype pos = 0) : m_text(text), m_pos(pos) {}
    qsizetype pos() const { return m_pos; }
    bool atEnd()
    {
        skipBlanks();
        return m_pos >= m_text.size();
    }
    void skipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }
    bool symbol(QChar c)
    {
        skipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool word(QStringView w)
    {
        skipBlanks();
        const qsizetype end = m_pos + w.size();
        if (end > m_text.size() || m_text.mid(m_pos, w.size()).compare(w, Qt::CaseInsensitive) != 0)
            return false;
        if (end < m_text.size() && isNameChar(m_text[end]))
            return false;
        m_pos = end;
        return true;
    }
    // A name between delimiters or a bare one; empty when there is none here.
    QString name()
    {
        skipBlanks();
        if (std::optional<QString> quoted = readQuotedName(m_text, m_pos))
            return *quoted;
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && isNameChar(m_text[m_pos]))
            ++m_pos;
        return m_text.mid(start, m_pos - start).toString();
    }
    // A dotted name as one text ("owner.name"), each part bare or quoted.
    QString dottedName()
    {
        QString out = name();
        while (!out.isEmpty() && m_pos < m_text.size() && m_text[m_pos] == u'.') {
            ++m_pos;
            const QString part = name();
            if (part.isEmpty())
                return {};
            out += u'.' + part;
        }
        return out;
    }

private:
    static bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; }
    QStringView m_text;
    qsizetype m_pos;
};

[[noreturn]] void refuse(const QString &why, const QString &text)
{
    throw DbError(QStringLiteral("The data shaping command cannot be read: ") + why, {}, text);
}

// The part after the inner command's closing brace; false when it is not one.
bool parseTail(QStringView text, qsizetype from, ShapeText &out)
{
    Reader r(text, from);
    if (!r.word(u"AS"))
        return false;
    out.alias = r.name();
    if (out.alias.isEmpty() || !r.word(u"COMPUTE"))
        return false;
    if (r.name().compare(out.alias, Qt::CaseInsensitive) != 0)
        return false;
    static const std::pair<const char16_t *, ShapeText::Function> functions[] = {
        {u"SUM", ShapeText::Sum}, {u"AVG", ShapeText::Avg}, {u"COUNT", ShapeText::Count},
        {u"MIN", ShapeText::Min}, {u"MAX", ShapeText::Max}};
    out.aggregates.clear();
    while (r.symbol(u',')) {
        ShapeText::Aggregate a;
        bool known = false;
        for (const auto &[word, function] : functions) {
            if (r.word(word)) {
                a.function = function;
                known = true;
                break;
            }
        }
        if (!known || !r.symbol(u'('))
            return false;
        if (r.name().compare(out.alias, Qt::CaseInsensitive) != 0)
            return false;
        if (r.symbol(u'.')) {
            a.column = r.name();
            if (a.column.isEmpty())
                return false;
        } else if (a.function != ShapeText::Count) {
            return false;
        }
        if (!r.symbol(u')'))
            return false;
        out.aggregates.push_back(a);
    }
    if (out.aggregates.empty() || !r.word(u"BY"))
        return false;
    out.groups.clear();
    do {
        const QString g = r.name();
        if (g.isEmpty())
            return false;
        out.groups << g;
    } while (r.symbol(u','));
    return out.groups.size() <= 3 && r.atEnd();
}

// ---------------------------------------------------------------- exact decimals

// A finite decimal as sign, magnitude digits (no leading zeros, "" for zero) and scale.
struct Decimal {
    bool negative = false;
    std::string digits;
    int scale = 0;

    static std::optional<Decimal> parse(std::string_view text)
    {
        const std::optional<std::string> canonical = decimalValueText(text);
        if (!canonical || !isPlainDecimal(*canonical))
            return std::nullopt;
        Decimal d;
        std::string_view t = *canonical;
        if (!t.empty() && t.front() == '-') {
            d.negative = true;
            t.remove_prefix(1);
        }
        // The written scale counts (1.50 + 1 is 2.50), as the database keeps it.
        const std::size_t dot = text.find('.');
        int writtenScale = 0;
        if (dot != std::string_view::npos) {
            std::size_t end = dot + 1;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                ++end;
            writtenScale = int(end - dot - 1);
        }
        const std::size_t p = t.find('.');
        if (p == std::string_view::npos) {
            d.digits = std::string(t);
        } else {
            d.digits = std::string(t.substr(0, p)) + std::string(t.substr(p + 1));
            d.scale = int(t.size() - p - 1);
        }
        d.trimLeading();
        d.rescale(std::max(d.scale, writtenScale));
        return d;
    }
    void trimLeading()
    {
        const std::size_t nz = digits.find_first_not_of('0');
        digits = nz == std::string::npos ? std::string() : digits.substr(nz);
        if (digits.empty())
            negative = false;
    }
    void rescale(int s)
    {
        if (s > scale && !digits.empty())
            digits.append(std::size_t(s - scale), '0');
        scale = std::max(scale, s);
    }
    static int compareMagnitude(const std::string &a, const std::string &b)
    {
        if (a.size() != b.size())
            return a.size() < b.size() ? -1 : 1;
        return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    }
    static std::string addMagnitude(const std::string &a, const std::string &b)
    {
        std::string out;
        int carry = 0;
        for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
            int s = carry;
            if (i < a.size())
                s += a[a.size() - 1 - i] - '0';
            if (i < b.size())
                s += b[b.size() - 1 - i] - '0';
            out.push_back(char('0' + s % 10));
            carry = s / 10;
        }
        std::reverse(out.begin(), out.end());
        return out;
    }
    // a - b for a >= b.
    static std::string subtractMagnitude(const std::string &a, const std::string &b)
    {
        std::string out;
        int borrow = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            int s = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
            borrow = s < 0;
            out.push_back(char('0' + (s + 10) % 10));
        }
        std::reverse(out.begin(), out.end());
        return out;
    }
    void add(Decimal other)
    {
        const int s = std::max(scale, other.scale);
        rescale(s);
        other.rescale(s);
        if (other.digits.empty())
            return;
        if (digits.empty()) {
            digits = other.digits;
            negative = other.negative;
        } else if (negative == other.negative) {
            digits = addMagnitude(digits, other.digits);
        } else if (compareMagnitude(digits, other.digits) >= 0) {
            digits = subtractMagnitude(digits, other.digits);
        } else {
            digits = subtractMagnitude(other.digits, digits);
            negative = other.negative;
        }
        trimLeading();
    }
    // Schoolbook division of a digit string by n: the quotient's digits (leading zeros kept) and
    // what remains in rem.
    static std::string divideDigits(const std::string &num, std::uint64_t n, unsigned __int128 &rem)
    {
        std::string out;
        out.reserve(num.size());
        for (char c : num) {
            rem = rem * 10 + unsigned(c - '0');
            out.push_back(char('0' + int(rem / n)));
            rem %= n;
        }
        return out;
    }
    // This over n, rounded half away from zero to `resultScale` decimals (at least this scale).
    Decimal dividedBy(std::uint64_t n, int resultScale) const
    {
        std::string num = digits;
        num.append(std::size_t(std::max(0, resultScale - scale)), '0');
        unsigned __int128 rem = 0;
        std::string out = divideDigits(num, n, rem);
        if (rem * 2 >= n)
            out = addMagnitude(out.empty() ? std::string("0") : out, "1");
        Decimal q;
        q.negative = negative;
        q.scale = std::max(resultScale, scale);
        q.digits = out;
        q.trimLeading();
        return q;
    }
    // Digits before the point of this over n, rounding aside.
    int quotientWholeDigits(std::uint64_t n) const
    {
        const std::string whole = int(digits.size()) > scale ? digits.substr(0, digits.size() - std::size_t(scale)) : "";
        unsigned __int128 rem = 0;
        const std::string out = divideDigits(whole, n, rem);
        const std::size_t nz = out.find_first_not_of('0');
        return nz == std::string::npos ? 0 : int(out.size() - nz);
    }
    std::string text() const
    {
        std::string d = digits;
        if (int(d.size()) <= scale)
            d.insert(0, std::size_t(scale + 1 - int(d.size())), '0');
        if (scale > 0)
            d.insert(d.size() - std::size_t(scale), 1, '.');
        return (negative ? "-" : "") + d;
    }
};

// NaN and the infinities of exact types, as the database spells them.
enum class Special { None, NaN, PlusInf, MinusInf };

Special specialOf(std::string_view t)
{
    const std::optional<std::string> v = decimalValueText(t);
    if (!v)
        return Special::None;
    if (*v == "NaN")
        return Special::NaN;
    if (*v == "Infinity")
        return Special::PlusInf;
    if (*v == "-Infinity")
        return Special::MinusInf;
    return Special::None;
}

// ---------------------------------------------------------------- the grouping

bool isExactType(int type)
{
    return type == adNumeric || type == adDecimal || type == adVarNumeric || type == adCurrency;
}

bool isIntegerType(int type)
{
    return storageOf(type) == Storage::Int64 && isNumericType(type);
}

// Cells of one column in the order the database sorts them, Nulls last.
int compareCells(const RowStore &s, std::size_t a, std::size_t b, int col)
{
    const bool na = s.isNull(a, col);
    const bool nb = s.isNull(b, col);
    if (na || nb)
        return na == nb ? 0 : (na ? 1 : -1);
    const int type = s.fields()[std::size_t(col)].Type;
    switch (storageOf(type)) {
    case Storage::Int64: {
        const std::int64_t x = s.int64(a, col);
        const std::int64_t y = s.int64(b, col);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    case Storage::Double: {
        const double x = s.real(a, col);
        const double y = s.real(b, col);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    default: {
        std::size_t la = 0;
        std::size_t lb = 0;
        const char *pa = s.bytes(a, col, &la);
        const char *pb = s.bytes(b, col, &lb);
        if (isExactType(type))
            return compareDecimal(std::string_view(pa, la), std::string_view(pb, lb));
        const int c = std::memcmp(pa, pb, std::min(la, lb));
        return c != 0 ? (c < 0 ? -1 : 1) : (la < lb ? -1 : (la > lb ? 1 : 0));
    }
    }
}

// A cell as a key: equal keys exactly for the values GROUP BY puts together.
void appendKey(QByteArray &key, const RowStore &s, std::size_t row, int col)
{
    if (s.isNull(row, col)) {
        key.append('N');
        return;
    }
    const int type = s.fields()[std::size_t(col)].Type;
    switch (storageOf(type)) {
    case Storage::Int64: {
        const std::int64_t v = s.int64(row, col);
        key.append('I').append(reinterpret_cast<const char *>(&v), sizeof v);
        break;
    }
    case Storage::Double: {
        double v = s.real(row, col);
        if (v == 0)
            v = 0; // -0 groups with 0
        key.append('D').append(reinterpret_cast<const char *>(&v), sizeof v);
        break;
    }
    default: {
        std::size_t len = 0;
        const char *p = s.bytes(row, col, &len);
        std::string_view text(p, len);
        std::optional<std::string> canonical;
        if (isExactType(type) && (canonical = decimalValueText(text)))
            text = *canonical;
        const quint32 n = quint32(text.size());
        key.append('T').append(reinterpret_cast<const char *>(&n), sizeof n).append(text.data(), qsizetype(text.size()));
        break;
    }
    }
}

void copyCell(RowStore &out, int outCol, const RowStore &s, std::size_t row, int col)
{
    if (s.isNull(row, col)) {
        out.setNull(outCol);
        return;
    }
    switch (storageOf(s.fields()[std::size_t(col)].Type)) {
    case Storage::Int64: {
        out.setInt64(outCol, s.int64(row, col));
        const int zone = s.zone(row, col);
        if (zone != RowStore::kNoZone)
            out.setZone(outCol, zone);
        break;
    }
    case Storage::Double: out.setReal(outCol, s.real(row, col)); break;
    case Storage::Text: {
        std::size_t len = 0;
        const char *p = s.bytes(row, col, &len);
        out.setText(outCol, p, len);
        break;
    }
    case Storage::Blob: {
        std::size_t len = 0;
        const char *p = s.bytes(row, col, &len);
        out.setBlob(outCol, p, len);
        break;
    }
    }
}

QString aggregateName(const ShapeText::Aggregate &a)
{
    switch (a.function) {
    case ShapeText::Sum: return QStringLiteral("Sum of ") + a.column;
    case ShapeText::Avg: return QStringLiteral("Avg of ") + a.column;
    case ShapeText::Min: return QStringLiteral("Min of ") + a.column;
    case ShapeText::Max: return QStringLiteral("Max of ") + a.column;
    case ShapeText::Count: break;
    }
    return QStringLiteral("Count");
}

// One aggregate over the rows of every group, written into column outCol of `out` group by
// group; returns the field the column is given.
struct AggregateColumn {
    FieldInfo field;
    std::vector<QVariant> values; // per group; invalid = Null
    // Min and Max: the row whose cell is the answer, copied whole (every fraction of a second).
    int sourceCol = -1;
    std::vector<std::optional<std::size_t>> rows;
};

AggregateColumn aggregate(const RowStore &s, const std::vector<std::vector<std::size_t>> &groups,
                          const ShapeText::Aggregate &a, int col)
{
    AggregateColumn out;
    out.field.Name = aggregateName(a);
    out.values.resize(groups.size());
    if (a.function == ShapeText::Count) {
        out.field.Type = adBigInt;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            qlonglong n = 0;
            for (std::size_t row : groups[g])
                n += col < 0 || !s.isNull(row, col);
            out.values[g] = n;
        }
        return out;
    }
    const FieldInfo &source = s.fields()[std::size_t(col)];
    if (a.function == ShapeText::Min || a.function == ShapeText::Max) {
        out.field = source;
        out.field.Name = aggregateName(a);
        out.field.BaseTableName.clear();
        out.field.BaseColumnName.clear();
        out.field.BaseSchemaName.clear();
        out.sourceCol = col;
        out.rows.resize(groups.size());
        for (std::size_t g = 0; g < groups.size(); ++g) {
            std::optional<std::size_t> best;
            for (std::size_t row : groups[g]) {
                if (s.isNull(row, col))
                    continue;
                const int c = best ? compareCells(s, row, *best, col) : 0;
                if (!best || (a.function == ShapeText::Min ? c < 0 : c > 0))
                    best = row;
            }
            out.rows[g] = best;
        }
        return out;
    }
    if (!isNumericType(source.Type) || source.Type == adBoolean)
        throw DbError(QStringLiteral("%1 needs a column of numbers: %2 holds %3")
                          .arg(a.function == ShapeText::Sum ? QStringLiteral("SUM") : QStringLiteral("AVG"),
                               source.Name, typeName(source.Type)));
    const bool sum = a.function == ShapeText::Sum;
    if (storageOf(source.Type) == Storage::Double) {
        out.field.Type = adDouble;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            double total = 0;
            std::int64_t n = 0;
            for (std::size_t row : groups[g]) {
                if (!s.isNull(row, col)) {
                    total += s.real(row, col);
                    ++n;
                }
            }
            if (n > 0)
                out.values[g] = sum ? total : total / double(n);
        }
        return out;
    }
    // Integers, decimals and money: exact.
    out.field.Type = sum && source.Type == adCurrency ? adCurrency : adNumeric;
    bool allFit = isIntegerType(source.Type) && sum;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        Decimal total;
        Special special = Special::None;
        std::uint64_t n = 0;
        for (std::size_t row : groups[g]) {
            if (s.isNull(row, col))
                continue;
            ++n;
            if (isIntegerType(source.Type)) {
                const std::string text = std::to_string(s.int64(row, col));
                total.add(*Decimal::parse(text));
                continue;
            }
            std::size_t len = 0;
            const char *p = s.bytes(row, col, &len);
            const std::string_view text(p, len);
            if (const Special sp = specialOf(text); sp != Special::None) {
                if (special == Special::None || special == sp)
                    special = sp;
                else
                    special = Special::NaN; // Infinity less Infinity, or NaN with anything
                continue;
            }
            const std::optional<Decimal> d = Decimal::parse(text);
            if (!d)
                throw DbError(QStringLiteral("%1 holds a value that is no number: %2")
                                  .arg(source.Name, QString::fromUtf8(p, qsizetype(len))));
            total.add(*d);
        }
        if (n == 0)
            continue;
        if (special != Special::None) {
            out.values[g] = special == Special::NaN ? QStringLiteral("NaN")
                                                    : (special == Special::PlusInf ? QStringLiteral("Infinity")
                                                                                   : QStringLiteral("-Infinity"));
            allFit = false;
            continue;
        }
        Decimal result = total;
        if (!sum) {
            // The database's division scale: at least sixteen significant digits, never fewer
            // decimals than the values had.
            const int whole = total.quotientWholeDigits(n);
            const int leadingZeros = whole > 0 || total.digits.empty() ? 0 : [&] {
                // Zeros between the point and the first significant digit.
                const Decimal wide = total.dividedBy(n, total.scale + 40);
                return std::max(0, wide.scale - int(wide.digits.size()));
            }();
            const int scale = std::clamp(std::max(total.scale, 16 - whole + leadingZeros), 0, 1000);
            result = total.dividedBy(n, scale);
        }
        const std::string text = result.text();
        if (allFit && !parseInteger(std::string_view(text)))
            allFit = false;
        out.values[g] = QString::fromStdString(text);
    }
    if (allFit) {
        out.field.Type = adBigInt;
        for (QVariant &v : out.values)
            if (v.isValid())
                v = v.toString().toLongLong();
    }
    if (out.field.Type == adNumeric || out.field.Type == adCurrency) {
        out.field.Precision = 0;
        out.field.NumericScale = source.NumericScale;
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------- ShapeText

ShapeText ShapeText::parse(const QString &text)
{
    Reader r(text);
    if (!r.word(u"SHAPE"))
        refuse(QStringLiteral("it does not begin with SHAPE"), text);
    if (!r.symbol(u'{'))
        refuse(QStringLiteral("SHAPE is not followed by a command in braces"), text);
    const qsizetype open = r.pos();
    // The inner command may show values holding braces: the closing brace is the last one after
    // which the rest reads as a whole.
    ShapeText out;
    bool read = false;
    for (qsizetype close = text.lastIndexOf(u'}'); close >= open; close = close > 0 ? text.lastIndexOf(u'}', close - 1) : -1) {
        ShapeText candidate;
        bool whole = false;
        try {
            whole = parseTail(text, close + 1, candidate);
        } catch (const DbError &) {
            // A quoted name left open: not this brace.
        }
        if (whole) {
            out = std::move(candidate);
            out.inner = text.mid(open, close - open).trimmed();
            read = true;
            break;
        }
        if (close == 0)
            break;
    }
    if (!read)
        refuse(QStringLiteral("expected \"} AS alias COMPUTE alias, FUNCTION(alias.column) BY column\""), text);
    Reader inner(out.inner);
    if (inner.word(u"EXEC")) {
        try {
            out.routine = inner.dottedName();
        } catch (const DbError &) {
            refuse(QStringLiteral("the routine's name is not closed"), text);
        }
        if (out.routine.isEmpty())
            refuse(QStringLiteral("EXEC names no routine"), text);
    }
    return out;
}

// ---------------------------------------------------------------- grouping

std::shared_ptr<Recordset> shapeRows(const Recordset &rows, const ShapeText &shape, const QString &source)
{
    const std::shared_ptr<RowStore> &store = rows.store();
    if (!store)
        throw UsageError(QStringLiteral("The data shaping command has no rows to group"));
    const RowStore &s = *store;
    auto column = [&](const QString &name) {
        const int i = rows.FieldIndex(name);
        if (i < 0)
            throw DbError(QStringLiteral("The routine's result has no column %1").arg(name), {}, source);
        return i;
    };
    std::vector<int> groupCols;
    for (const QString &g : shape.groups)
        groupCols.push_back(column(g));

    // Groups in the order of their first row, then sorted by their keys.
    std::vector<std::vector<std::size_t>> groups;
    QHash<QByteArray, std::size_t> index;
    const std::size_t n = rows.fetchedCount();
    QByteArray key;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t row = rows.storeRow(i);
        key.clear();
        for (int c : groupCols)
            appendKey(key, s, row, c);
        auto it = index.constFind(key);
        if (it == index.cend()) {
            it = index.insert(key, groups.size());
            groups.emplace_back();
        }
        groups[*it].push_back(row);
    }
    std::vector<std::size_t> order(groups.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        for (int c : groupCols) {
            const int k = compareCells(s, groups[a].front(), groups[b].front(), c);
            if (k != 0)
                return k < 0;
        }
        return false;
    });
    std::vector<std::vector<std::size_t>> sorted;
    sorted.reserve(groups.size());
    for (std::size_t g : order)
        sorted.push_back(std::move(groups[g]));

    std::vector<AggregateColumn> aggregates;
    for (const ShapeText::Aggregate &a : shape.aggregates)
        aggregates.push_back(aggregate(s, sorted, a, a.column.isEmpty() ? -1 : column(a.column)));

    std::vector<FieldInfo> fields;
    FieldInfo chapter;
    chapter.Name = shape.alias;
    chapter.Type = adBigInt;
    fields.push_back(chapter);
    for (const AggregateColumn &a : aggregates)
        fields.push_back(a.field);
    for (int c : groupCols)
        fields.push_back(s.fields()[std::size_t(c)]);
    auto out = std::make_shared<RowStore>(fields);
    out->reserve(sorted.size());
    for (std::size_t g = 0; g < sorted.size(); ++g) {
        out->beginRow();
        out->setInt64(0, std::int64_t(sorted[g].size()));
        int col = 1;
        for (const AggregateColumn &a : aggregates) {
            if (a.sourceCol >= 0 && a.rows[g])
                copyCell(*out, col, s, *a.rows[g], a.sourceCol);
            else if (a.sourceCol < 0 && a.values[g].isValid())
                out->setValue(col, a.values[g]);
            else
                out->setNull(col);
            ++col;
        }
        for (int c : groupCols)
            copyCell(*out, col++, s, sorted[g].front(), c);
        out->endRow();
    }
    return Recordset::fromStore(std::move(out), source);
}

std::shared_ptr<Recordset> groupsFirst(const Recordset &shaped)
{
    const std::shared_ptr<RowStore> &store = shaped.store();
    if (!store || store->columnCount() < 2)
        throw DbError(QStringLiteral("The shaped result has no aggregate"));
    const RowStore &s = *store;
    // The chapter is field 0; the aggregates follow it up to the first group column, which the
    // chapter's name cannot tell, so the layout is read from the field names the shaping gave.
    int aggregates = 0;
    for (int c = 1; c < s.columnCount(); ++c) {
        const QString &name = s.fields()[std::size_t(c)].Name;
        if (name == QLatin1String("Count") || name.startsWith(QLatin1String("Sum of ")) ||
            name.startsWith(QLatin1String("Avg of ")) || name.startsWith(QLatin1String("Min of ")) ||
            name.startsWith(QLatin1String("Max of ")))
            aggregates = c;
        else
            break;
    }
    if (aggregates == 0)
        throw DbError(QStringLiteral("The shaped result has no aggregate"));
    std::vector<int> columns;
    for (int c = aggregates + 1; c < s.columnCount(); ++c)
        columns.push_back(c);
    for (int c = 1; c <= aggregates; ++c)
        columns.push_back(c);
    std::vector<FieldInfo> fields;
    for (int c : columns)
        fields.push_back(s.fields()[std::size_t(c)]);
    auto out = std::make_shared<RowStore>(fields);
    out->reserve(shaped.fetchedCount());
    for (std::size_t i = 0; i < shaped.fetchedCount(); ++i) {
        const std::size_t row = shaped.storeRow(i);
        out->beginRow();
        for (std::size_t k = 0; k < columns.size(); ++k)
            copyCell(*out, int(k), s, row, columns[k]);
        out->endRow();
    }
    return Recordset::fromStore(std::move(out), shaped.Source());
}

// ---------------------------------------------------------------- ShapeConnection

ShapeConnection::ShapeConnection() = default;
ShapeConnection::~ShapeConnection() = default;

void ShapeConnection::Open(const QString &connectionString)
{
    m_errors.clear();
    ConnectionString cs = ConnectionString::parse(connectionString);
    const QString provider = cs.value(QStringLiteral("Provider"), QString()).trimmed();
    if (provider.compare(QLatin1String("MSDataShape"), Qt::CaseInsensitive) != 0)
        throw DbError(QStringLiteral("A data shaping connection needs Provider=MSDataShape, not \"%1\"").arg(provider));
    const std::optional<QString> data = cs.value(QStringLiteral("Data Provider"));
    if (!data || data->trimmed().isEmpty())
        throw DbError(QStringLiteral("The data shaping connection names no Data Provider"));
    const QString client = data->trimmed();
    cs.remove(QStringLiteral("Data Provider"));
    cs.setValue(QStringLiteral("Provider"), client);
    // The user is the data provider's: an empty one given here takes nothing away.
    for (const char *key : {"User ID", "Password"}) {
        const std::optional<QString> v = cs.value(QLatin1String(key));
        if (v && v->isEmpty())
            cs.remove(QLatin1String(key));
    }
    auto c = Connection::create();
    m_data = c;
    c->Open(cs.toString());
}

void ShapeConnection::Close()
{
    if (m_data)
        m_data->Close();
    m_data.reset();
    m_lastRows.reset();
    m_lastValues.clear();
    m_lastRoutine.clear();
}

int ShapeConnection::State() const
{
    return m_data ? m_data->State() : adStateClosed;
}

const std::vector<ProviderError> &ShapeConnection::Errors() const
{
    return m_data && !m_data->Errors().empty() ? m_data->Errors() : m_errors;
}

std::shared_ptr<Recordset> ShapeConnection::Execute(const QString &text, const Command &routine,
                                                    const std::function<void(Recordset &)> &narrow)
{
    m_errors.clear();
    const ShapeText shape = ShapeText::parse(text);
    if (shape.routine.isEmpty())
        throw DbError(QStringLiteral("The data shaping command runs no routine (EXEC name)"), {}, text);
    auto bare = [](const QString &name) {
        QString out;
        Reader r(name);
        out = r.dottedName();
        return (r.atEnd() && !out.isEmpty() ? out : name.trimmed()).toCaseFolded();
    };
    if (bare(shape.routine) != bare(routine.CommandText))
        throw UsageError(QStringLiteral("The data shaping command runs %1, but the command is for %2")
                             .arg(shape.routine, routine.CommandText), text);
    if (!m_data || m_data->State() != adStateOpen)
        throw UsageError(QStringLiteral("The data shaping connection is not open"), text);

    std::vector<QVariant> values;
    for (const Parameter &p : routine.Parameters)
        values.push_back(isInputDirection(p.Direction) ? p.Value : QVariant());
    if (!m_lastRows || m_lastRoutine != routine.CommandText || m_lastValues != values) {
        Command call = routine;
        call.ActiveConnection = m_data;
        std::shared_ptr<Recordset> rows = call.Execute();
        if (rows->State() != adStateOpen) {
            // A routine that answers only through its output parameters: one row of them.
            rows = call.outputRow();
            if (!rows)
                rows = Recordset::fromStore(std::make_shared<RowStore>(std::vector<FieldInfo>{}), call.callText());
        }
        m_lastRows = std::move(rows);
        m_lastRoutine = routine.CommandText;
        m_lastValues = std::move(values);
    }
    if (narrow) {
        const std::shared_ptr<Recordset> rows = m_lastRows->Clone();
        narrow(*rows);
        return shapeRows(*rows, shape, text);
    }
    return shapeRows(*m_lastRows, shape, text);
}

std::shared_ptr<Recordset> ShapeConnection::Execute(const QString &text, const Recordset &rows)
{
    m_errors.clear();
    return shapeRows(rows, ShapeText::parse(text), text);
}

} // namespace db
