// What the row store's speed work could break: values of every kind read back exactly from
// blocks of rows however they were appended, and what they cost in memory.
#include "DbTestSupport.h"

#include "db/RowSort.h"
#include "db/RowStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>

using namespace db;
using dbtest::field;

namespace {

const std::vector<FieldInfo> &kinds()
{
    static const std::vector<FieldInfo> f = {field("i", adBigInt),      field("d", adDouble),    field("t", adVarWChar),
                                             field("bin", adLongVarBinary), field("ts", adDBTimeStamp), field("n", adNumeric),
                                             field("b", adBoolean),   field("w", adBigInt)};
    return f;
}

// Row r's text: every few rows empty or Null, now and then a large one, some not ASCII.
std::string textOf(std::size_t r)
{
    if (r % 997 == 0)
        return std::string(300000 + r % 1000, char('a' + r % 26));
    if (r % 11 == 0)
        return {};
    return "row " + std::to_string(r) + (r % 3 == 0 ? " Ødegaard ✓\t\n" : "");
}

std::int64_t intOf(std::size_t r)
{
    switch (r % 5) {
    case 0: return std::numeric_limits<std::int64_t>::min();
    case 1: return std::numeric_limits<std::int64_t>::max();
    case 2: return 9007199254740993; // past a double's exact integers
    default: return std::int64_t(r) * -7;
    }
}

// Whole numbers that fit 32 bits, the limits among them, but for one just past them at the last
// row of the first block, in the middle of the second and at the first row of the third.
std::optional<std::int64_t> wideOf(std::size_t r)
{
    constexpr std::size_t kBlock = RowStore::kBlockRows;
    if (r == kBlock - 1 || r == 2 * kBlock)
        return std::int64_t(INT32_MAX) + 1;
    if (r == kBlock + kBlock / 2)
        return std::int64_t(INT32_MIN) - 1;
    if (r % 23 == 0)
        return std::nullopt;
    if (r % 1000 == 1)
        return r % 2 == 0 ? INT32_MAX : INT32_MIN;
    return std::int64_t(r) - 35000;
}

double realOf(std::size_t r)
{
    static const double odd[] = {-0.0, std::numeric_limits<double>::infinity(), 5e-324, 1.7976931348623157e308, 0.1};
    return r % 4 == 0 ? odd[r / 4 % 5] : double(r) / 3.0;
}

void appendRow(RowStore &s, std::size_t r)
{
    s.beginRow();
    if (r % 13 != 0) { // Nulls
        s.setInt64(0, intOf(r));
        s.setReal(1, realOf(r));
    }
    if (r % 17 != 0) {
        const std::string t = textOf(r);
        s.setText(2, t.data(), t.size());
    }
    if (r % 2 == 0) {
        const char bytes[] = {'\0', char(0xFF), char(r & 0x7F)};
        s.setBlob(3, bytes, r % 4 == 0 ? 0 : 3);
    }
    s.setInt64(4, std::int64_t(r) * 1000001 - 86400000000LL * 400);
    if (r % 10 == 0)
        s.setZone(4, -12600);
    const std::string n = r % 7 == 0 ? "-12345678901234567890.000001" : std::to_string(r) + ".50";
    s.setText(5, n.data(), n.size());
    if (r % 19 != 0)
        s.setInt64(6, r % 2);
    if (const auto w = wideOf(r))
        s.setInt64(7, *w);
    s.endRow();
}

void expectRow(const RowStore &s, std::size_t row, std::size_t r)
{
    ASSERT_EQ(s.isNull(row, 0), r % 13 == 0) << r;
    if (r % 13 != 0) {
        EXPECT_EQ(s.int64(row, 0), intOf(r)) << r;
        const double d = s.real(row, 1), e = realOf(r);
        EXPECT_EQ(std::memcmp(&d, &e, sizeof d), 0) << r; // -0.0 stays -0.0
    }
    ASSERT_EQ(s.isNull(row, 2), r % 17 == 0) << r;
    if (r % 17 != 0) {
        std::size_t len = 0;
        const char *p = s.bytes(row, 2, &len);
        EXPECT_EQ(std::string(p, len), textOf(r)) << r;
    }
    ASSERT_EQ(s.isNull(row, 3), r % 2 != 0) << r;
    if (r % 2 == 0) {
        EXPECT_EQ(s.blob(row, 3).size(), r % 4 == 0 ? 0 : 3) << r;
    }
    EXPECT_EQ(s.int64(row, 4), std::int64_t(r) * 1000001 - 86400000000LL * 400) << r;
    EXPECT_EQ(s.zone(row, 4), r % 10 == 0 ? -12600 : RowStore::kNoZone) << r;
    EXPECT_EQ(s.isNull(row, 6), r % 19 == 0) << r;
    ASSERT_EQ(s.isNull(row, 7), !wideOf(r)) << r;
    if (wideOf(r)) {
        EXPECT_EQ(s.int64(row, 7), *wideOf(r)) << r;
    }
    // The UTF-8 text the writers read is the text the grid shows, for every kind of cell.
    char buf[64];
    for (int c = 0; c < s.columnCount(); ++c) {
        const std::string_view u = s.displayUtf8(row, c, buf);
        ASSERT_EQ(QByteArray(u.data(), qsizetype(u.size())), s.displayText(row, c).toUtf8()) << r << " col " << c;
    }
}

} // namespace

// Rows one at a time and chunks of awkward sizes land in the same blocks and read back alike,
// across block boundaries and the boundaries of the 64-row groups the texts are indexed by.
TEST(DbBlockStore, EveryKindOfValueReadsBackExactlyHoweverItWasAppended)
{
    constexpr std::size_t kRows = 70000;
    RowStore oneByOne(kinds());
    for (std::size_t r = 0; r < kRows; ++r)
        appendRow(oneByOne, r);
    RowStore chunked(kinds());
    std::mt19937 rnd(5);
    for (std::size_t at = 0; at < kRows;) {
        const std::size_t n = std::min<std::size_t>(1 + rnd() % 5000 + (at == 0 ? 63 : 0), kRows - at);
        RowStore chunk(kinds());
        for (std::size_t r = at; r < at + n; ++r)
            appendRow(chunk, r);
        chunked.append(chunk);
        at += n;
    }
    // Chunks handed over as a feed hands them: a first screenful, then up to each block's end, the
    // blocks of those starting on a boundary taken over whole; one odd chunk comes between.
    RowStore moved(kinds());
    for (std::size_t at = 0; at < kRows;) {
        std::size_t n = at == 0 ? 128 : RowStore::kBlockRows - at % RowStore::kBlockRows;
        if (at == 2 * RowStore::kBlockRows)
            n = 1000; // leaves the store off a boundary: copied
        n = std::min(n, kRows - at);
        RowStore chunk(kinds());
        for (std::size_t r = at; r < at + n; ++r)
            appendRow(chunk, r);
        moved.append(std::move(chunk));
        at += n;
    }
    ASSERT_EQ(oneByOne.rowCount(), kRows);
    ASSERT_EQ(chunked.rowCount(), kRows);
    ASSERT_EQ(moved.rowCount(), kRows);
    const auto sampled = [](std::size_t r) {
        return r % 64 == 62 || r % 32768 > 32700 || (r > 49100 && r < 49200) || r % 1000 == 1;
    };
    for (std::size_t r = 0; r < kRows; r += (sampled(r) ? 1 : 29)) {
        expectRow(oneByOne, r, r);
        expectRow(chunked, r, r);
        expectRow(moved, r, r);
    }
    // A store that took blocks over goes on growing row by row.
    appendRow(moved, kRows);
    expectRow(moved, kRows, kRows);
    expectRow(moved, kRows - 1, kRows - 1);

    // Sorted by the column of narrow and widened blocks: every value in its place, Nulls first.
    std::vector<std::uint32_t> order(kRows);
    for (std::size_t r = 0; r < kRows; ++r)
        order[r] = std::uint32_t(r);
    sortRows(moved, {{7, false}}, order);
    for (std::size_t i = 1; i < kRows; ++i) {
        const auto a = wideOf(order[i - 1]), b = wideOf(order[i]);
        ASSERT_TRUE(!a || (b && *a <= *b)) << i;
    }
    // Widened to reals or to text, every value is kept exactly.
    chunked.retypeColumn(7, [] { FieldInfo f = kinds()[7]; f.Type = adDouble; return f; }());
    moved.retypeColumn(7, [] { FieldInfo f = kinds()[7]; f.Type = adVarWChar; return f; }());
    for (std::size_t r = 0; r < kRows; r += (sampled(r) ? 1 : 29)) {
        ASSERT_EQ(chunked.isNull(r, 7), !wideOf(r)) << r;
        ASSERT_EQ(moved.isNull(r, 7), !wideOf(r)) << r;
        if (wideOf(r)) {
            EXPECT_EQ(chunked.real(r, 7), double(*wideOf(r))) << r;
            EXPECT_EQ(moved.text(r, 7), QString::number(*wideOf(r))) << r;
        }
    }

    // A value set twice keeps the second, across a group's start, and an abandoned row leaves
    // nothing in the text it had begun, nor in the whole numbers it widened.
    RowStore s(kinds());
    for (std::size_t r = 0; r < 64; ++r)
        appendRow(s, r);
    s.beginRow();
    s.setText(2, "dropped", 7);
    s.setInt64(7, INT64_MIN);
    s.beginRow(); // the half row goes
    s.setText(2, "first", 5);
    s.setText(2, "second", 6);
    s.setInt64(7, 5);
    s.setInt64(7, std::int64_t(INT32_MAX) + 1);
    s.endRow();
    s.beginRow();
    s.setInt64(7, INT64_MIN);
    s.setInt64(7, -5);
    s.endRow();
    std::size_t len = 0;
    const char *p = s.bytes(64, 2, &len);
    EXPECT_EQ(std::string(p, len), "second");
    EXPECT_TRUE(s.isNull(65, 2));
    s.bytes(65, 2, &len);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(s.int64(64, 7), std::int64_t(INT32_MAX) + 1);
    EXPECT_EQ(s.int64(65, 7), -5);
    for (std::size_t r = 0; r < 64; ++r)
        expectRow(s, r, r);
}

// A chunk that starts again with the rows of the store's last block (as a feed reads them again
// after a first screen) takes that block's place: every row once, in order, values exact; a
// chunk with a column of a wider type has only its new rows copied.
TEST(DbBlockStore, ChunksRestatingTheLastBlockTakeItsPlace)
{
    const auto chunkOf = [](std::size_t from, std::size_t to) {
        RowStore chunk(kinds());
        for (std::size_t r = from; r < to; ++r)
            appendRow(chunk, r);
        return chunk;
    };
    RowStore s(kinds());
    s.append(chunkOf(0, 128));
    s.append(chunkOf(0, 628), 128);
    ASSERT_EQ(s.rowCount(), 628u);
    s.append(chunkOf(0, RowStore::kBlockRows), 628); // up to the block's end
    s.append(chunkOf(RowStore::kBlockRows, RowStore::kBlockRows + 100));
    s.append(chunkOf(RowStore::kBlockRows, RowStore::kBlockRows + 300), 100);
    ASSERT_EQ(s.rowCount(), RowStore::kBlockRows + 300);
    for (std::size_t r = 0; r < s.rowCount(); r += (r % 64 == 62 || r % 1000 > 990 ? 1 : 37))
        expectRow(s, r, r);
    appendRow(s, s.rowCount());
    expectRow(s, RowStore::kBlockRows + 300, RowStore::kBlockRows + 300);

    // The chunk holds the first column as reals: the store is retyped, its rows not repeated.
    std::vector<FieldInfo> wider = kinds();
    wider[0].Type = adDouble;
    RowStore ints(kinds());
    ints.append(chunkOf(0, 128));
    RowStore reals(wider);
    for (std::size_t r = 0; r < 200; ++r) {
        reals.beginRow();
        reals.setReal(0, double(r) + 0.5);
        reals.endRow();
    }
    ints.append(std::move(reals), 128);
    ASSERT_EQ(ints.rowCount(), 200u);
    EXPECT_EQ(ints.fields()[0].Type, adDouble);
    EXPECT_EQ(ints.real(5, 0), double(intOf(5)));
    EXPECT_EQ(ints.real(199, 0), 199.5);
    EXPECT_TRUE(ints.isNull(199, 2));
}

// Held bytes stay close to the data's own: 8 bytes a number, the text's bytes, little else; whole
// numbers that fit 32 bits take 4.
TEST(DbBlockStore, HoldsLittleMoreThanTheData)
{
    RowStore s({field("a", adBigInt), field("b", adDouble), field("t", adVarWChar)});
    constexpr std::size_t kRows = 200000;
    std::size_t data = 0;
    for (std::size_t r = 0; r < kRows; ++r) {
        s.beginRow();
        s.setInt64(0, std::int64_t(r));
        s.setReal(1, double(r));
        const std::string t = "customer " + std::to_string(r % 100000);
        s.setText(2, t.data(), t.size());
        s.endRow();
        data += 16 + t.size();
    }
    s.squeeze();
    EXPECT_LT(double(s.bytesHeld()), double(data) * 1.1);
}
