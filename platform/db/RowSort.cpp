#include "db/RowSort.h"

#include "db/ValueRules.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

namespace db {

namespace {

// Appends the text's case-folded UTF-8: ASCII folded in place, anything else through Qt's full
// case folding.
void appendFolded(std::string_view text, std::string &out)
{
    const std::size_t at = out.size();
    out.append(text);
    bool ascii = true;
    for (std::size_t i = at; i < out.size(); ++i) {
        const unsigned char ch = static_cast<unsigned char>(out[i]);
        if (ch >= 0x80) {
            ascii = false;
            break;
        }
        if (ch >= 'A' && ch <= 'Z')
            out[i] = char(ch + 32);
    }
    if (ascii)
        return;
    out.resize(at);
    const QByteArray folded = QString::fromUtf8(text.data(), qsizetype(text.size())).toCaseFolded().toUtf8();
    out.append(folded.constData(), std::size_t(folded.size()));
}

// The first eight bytes of a key, big-endian, so that comparing two of them as numbers orders
// them as their bytes do.
std::uint64_t prefixOf(std::string_view key)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i)
        v = (v << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return v;
}

int byteOrder(std::string_view a, std::string_view b)
{
    const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    if (c != 0)
        return c < 0 ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// One key column, read out of the store once for the rows being sorted (indexed by their
// position in the input, not by store row).
struct KeyColumn {
    enum class Kind { Int, Real, Folded, Decimal, Bytes } kind = Kind::Int;
    int col = 0;
    bool descending = false;
    std::vector<std::uint8_t> nulls;
    std::vector<std::int64_t> ints;
    std::vector<double> reals;
    std::string text;                 // folded keys one after another
    std::vector<std::size_t> ends;    // where position i's folded key ends in text
    std::vector<std::uint64_t> prefix;
    std::vector<std::uint32_t> rows;  // store rows, for keys read in place

    std::string_view folded(std::size_t i) const
    {
        const std::size_t start = i == 0 ? 0 : ends[i - 1];
        return {text.data() + start, ends[i] - start};
    }
};

} // namespace

void sortRows(const RowStore &store, const std::vector<RowSortKey> &keys, std::vector<std::uint32_t> &rows)
{
    if (keys.empty() || rows.size() < 2)
        return;
    const std::size_t n = rows.size();
    std::vector<KeyColumn> columns(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        KeyColumn &kc = columns[k];
        kc.col = keys[k].col;
        kc.descending = keys[k].descending;
        const int type = store.fields()[std::size_t(kc.col)].Type;
        kc.nulls.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            kc.nulls[i] = store.isNull(rows[i], kc.col) ? 1 : 0;
        switch (storageOf(type)) {
        case Storage::Int64:
            kc.kind = KeyColumn::Kind::Int;
            kc.ints.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                kc.ints[i] = kc.nulls[i] ? 0 : store.int64(rows[i], kc.col);
            break;
        case Storage::Double:
            kc.kind = KeyColumn::Kind::Real;
            kc.reals.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                kc.reals[i] = kc.nulls[i] ? 0 : store.real(rows[i], kc.col);
            break;
        case Storage::Text:
            if (isNumericType(type)) {
                kc.kind = KeyColumn::Kind::Decimal;
                kc.rows = rows;
                break;
            }
            kc.kind = KeyColumn::Kind::Folded;
            kc.ends.resize(n);
            kc.prefix.resize(n);
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t start = kc.text.size();
                if (!kc.nulls[i]) {
                    std::size_t len = 0;
                    const char *p = store.bytes(rows[i], kc.col, &len);
                    appendFolded({p, len}, kc.text);
                }
                kc.ends[i] = kc.text.size();
                kc.prefix[i] = prefixOf({kc.text.data() + start, kc.text.size() - start});
            }
            break;
        case Storage::Blob:
            kc.kind = KeyColumn::Kind::Bytes;
            kc.rows = rows;
            break;
        }
    }

    const auto compare = [&](const KeyColumn &kc, std::uint32_t a, std::uint32_t b) -> int {
        const bool na = kc.nulls[a] != 0, nb = kc.nulls[b] != 0;
        if (na || nb)
            return na == nb ? 0 : (na ? -1 : 1);
        switch (kc.kind) {
        case KeyColumn::Kind::Int: return kc.ints[a] < kc.ints[b] ? -1 : (kc.ints[a] > kc.ints[b] ? 1 : 0);
        case KeyColumn::Kind::Real: return kc.reals[a] < kc.reals[b] ? -1 : (kc.reals[a] > kc.reals[b] ? 1 : 0);
        case KeyColumn::Kind::Folded:
            if (kc.prefix[a] != kc.prefix[b])
                return kc.prefix[a] < kc.prefix[b] ? -1 : 1;
            return byteOrder(kc.folded(a), kc.folded(b));
        case KeyColumn::Kind::Decimal:
        case KeyColumn::Kind::Bytes: {
            std::size_t la = 0, lb = 0;
            const char *pa = store.bytes(kc.rows[a], kc.col, &la);
            const char *pb = store.bytes(kc.rows[b], kc.col, &lb);
            return kc.kind == KeyColumn::Kind::Decimal ? compareDecimal({pa, la}, {pb, lb}) : byteOrder({pa, la}, {pb, lb});
        }
        }
        return 0;
    };
    // Positions are sorted, then mapped back to store rows.
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = std::uint32_t(i);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        for (const KeyColumn &kc : columns) {
            const int c = compare(kc, a, b);
            if (c != 0)
                return kc.descending ? c > 0 : c < 0;
        }
        return false;
    });
    std::vector<std::uint32_t> sorted(n);
    for (std::size_t i = 0; i < n; ++i)
        sorted[i] = rows[order[i]];
    rows = std::move(sorted);
}

} // namespace db
