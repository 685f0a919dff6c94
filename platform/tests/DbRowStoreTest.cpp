#include "DbTestSupport.h"

#include "db/DbError.h"
#include "db/RowStore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace db;
using dbtest::field;

namespace {

// One column of every storage and the typed Int64 encodings.
std::vector<FieldInfo> allTypes()
{
    return {field("i", adInteger), field("b", adBoolean), field("d", adDouble), field("t", adVarWChar),
            field("n", adNumeric), field("dt", adDBDate), field("tm", adDBTime), field("ts", adDBTimeStamp),
            field("bin", adLongVarBinary), field("s", adSingle), field("cur", adCurrency)};
}

} // namespace

TEST(DbTypes, StorageAndClassification)
{
    for (int t : {2, 3, 11, 16, 17, 20, 7, 133, 134, 135})
        EXPECT_EQ(storageOf(t), Storage::Int64) << t;
    for (int t : {4, 5})
        EXPECT_EQ(storageOf(t), Storage::Double) << t;
    for (int t : {6, 72, 14, 131, 129, 130, 200, 201, 202, 203}) // money is an exact decimal
        EXPECT_EQ(storageOf(t), Storage::Text) << t;
    for (int t : {128, 204, 205})
        EXPECT_EQ(storageOf(t), Storage::Blob) << t;
    EXPECT_TRUE(isNumericType(adNumeric));
    EXPECT_TRUE(isNumericType(adCurrency));
    EXPECT_FALSE(isNumericType(adBoolean));
    EXPECT_TRUE(isTextType(adChar));
    EXPECT_FALSE(isTextType(adGUID));
    EXPECT_TRUE(isDateType(adDBTime));
    EXPECT_FALSE(isDateType(adBigInt));
    EXPECT_EQ(typeName(adVarWChar), "adVarWChar");
    EXPECT_EQ(typeName(9999), QString());
}

TEST(DbRowStore, AppendProtocolNullsAndOverwrites)
{
    RowStore s({field("i", adBigInt), field("t", adVarWChar), field("bin", adVarBinary), field("d", adDouble)});
    // row 0: everything set; the text set twice keeps only the last value
    s.beginRow();
    s.setInt64(0, 7);
    s.setText(1, "first", 5);
    s.setText(1, "zweite Ü", 9);
    s.setBlob(2, "\0\1", 2);
    s.setReal(3, 2.5);
    s.endRow();
    // row 1: nothing set -> all Null; empty text / empty blob are not Null
    s.beginRow();
    s.endRow();
    s.beginRow();
    s.setText(1, "", 0);
    s.setBlob(2, "", 0);
    s.setInt64(0, 1);
    s.setNull(0); // a value then Null: Null wins and leaves nothing behind
    s.endRow();

    ASSERT_EQ(s.rowCount(), 3u);
    EXPECT_EQ(s.int64(0, 0), 7);
    EXPECT_EQ(s.text(0, 1), QString::fromUtf8("zweite Ü"));
    EXPECT_EQ(s.blob(0, 2), QByteArray("\0\1", 2));
    EXPECT_EQ(s.real(0, 3), 2.5);
    for (int c = 0; c < 4; ++c) {
        EXPECT_TRUE(s.isNull(1, c)) << c;
        EXPECT_FALSE(s.value(1, c).isValid()) << c;
        EXPECT_EQ(s.displayText(1, c), QString()) << c;
    }
    EXPECT_TRUE(s.isNull(2, 0));
    EXPECT_FALSE(s.isNull(2, 1));
    EXPECT_FALSE(s.isNull(2, 2));
    EXPECT_EQ(s.text(2, 1), QString(""));
    EXPECT_TRUE(s.value(2, 1).isValid());
    EXPECT_EQ(s.blob(2, 2).size(), 0);
}

TEST(DbRowStore, AbandonedRowLeavesNoTrace)
{
    RowStore s({field("i", adInteger), field("t", adVarWChar)});
    s.beginRow();
    s.setInt64(0, 1);
    s.setText(1, "keep", 4);
    s.endRow();
    s.beginRow();
    s.setInt64(0, 2);
    s.setText(1, "lost half-way", 13);
    s.beginRow(); // the previous fetch failed before endRow
    s.setText(1, "next", 4);
    s.endRow();
    ASSERT_EQ(s.rowCount(), 2u);
    EXPECT_TRUE(s.isNull(1, 0));
    EXPECT_EQ(s.text(0, 1), "keep");
    EXPECT_EQ(s.text(1, 1), "next");
    EXPECT_THROW(s.setInt64(0, 1), DbError); // outside a row
    EXPECT_THROW(s.endRow(), DbError);
}

TEST(DbRowStore, ManyRowsAcrossNullWords)
{
    RowStore s({field("i", adInteger), field("t", adVarWChar)});
    const std::size_t n = 1000;
    s.reserve(n);
    for (std::size_t r = 0; r < n; ++r) {
        s.beginRow();
        if (r % 3 != 0)
            s.setInt64(0, std::int64_t(r));
        if (r % 7 != 0) {
            const QByteArray t = QByteArray::number(qulonglong(r * r));
            s.setText(1, t.constData(), std::size_t(t.size()));
        }
        s.endRow();
    }
    ASSERT_EQ(s.rowCount(), n);
    for (std::size_t r = 0; r < n; ++r) {
        ASSERT_EQ(s.isNull(r, 0), r % 3 == 0) << r;
        ASSERT_EQ(s.isNull(r, 1), r % 7 == 0) << r;
        if (r % 3 != 0) {
            ASSERT_EQ(s.int64(r, 0), std::int64_t(r));
        }
        if (r % 7 != 0) {
            ASSERT_EQ(s.text(r, 1), QString::number(qulonglong(r * r)));
        }
    }
    EXPECT_GE(s.bytesHeld(), n * 8);
    EXPECT_LT(s.bytesHeld(), n * 64);
}

TEST(DbRowStore, TypedValuesAndDisplayText)
{
    RowStore s(allTypes());
    s.beginRow();
    s.setInt64(0, -42);
    s.setInt64(1, 1);
    s.setReal(2, 0.1);
    s.setText(3, QStringLiteral("Ødegaard\nline"));
    s.setText(4, QStringLiteral("12345678.90"));
    s.setInt64(5, RowStore::encodeDate(QDate(2024, 2, 29)));
    s.setInt64(6, RowStore::encodeTime(QTime(13, 45, 30, 250)));
    s.setInt64(7, RowStore::encodeDateTime(QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30), Qt::UTC)));
    s.setBlob(8, "\x00\x01\xff", 3);
    s.setReal(9, double(1.1f));
    s.setReal(10, 1234.5);
    s.endRow();

    EXPECT_EQ(s.value(0, 0).metaType().id(), QMetaType::LongLong);
    EXPECT_EQ(s.value(0, 1), QVariant(true));
    EXPECT_EQ(s.value(0, 1).metaType().id(), QMetaType::Bool);
    EXPECT_EQ(s.value(0, 2).toDouble(), 0.1);
    EXPECT_EQ(s.value(0, 4), QVariant(QStringLiteral("12345678.90")));
    EXPECT_EQ(s.value(0, 5), QVariant(QDate(2024, 2, 29)));
    EXPECT_EQ(s.value(0, 6), QVariant(QTime(13, 45, 30, 250)));
    EXPECT_EQ(s.value(0, 7).toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 30), Qt::UTC));
    EXPECT_EQ(s.value(0, 8).toByteArray(), QByteArray("\x00\x01\xff", 3));

    EXPECT_EQ(s.displayText(0, 0), "-42");
    EXPECT_EQ(s.displayText(0, 1), "True");
    EXPECT_EQ(s.displayText(0, 2), "0.1");
    EXPECT_EQ(s.displayText(0, 3), QStringLiteral("Ødegaard\nline"));
    EXPECT_EQ(s.displayText(0, 4), "12345678.90");
    EXPECT_EQ(s.displayText(0, 5), "2024-02-29");
    EXPECT_EQ(s.displayText(0, 6), "13:45:30.25");
    EXPECT_EQ(s.displayText(0, 7), "2024-02-29 13:45:30");
    EXPECT_EQ(s.displayText(0, 9), "1.1"); // a single shows its own shortest digits
    EXPECT_EQ(s.displayText(0, 10), "1234.5");
}

TEST(DbRowStore, DisplayOfDoublesAndEdgeDates)
{
    RowStore s({field("d", adDouble), field("ts", adDBTimeStamp), field("b", adBoolean), field("tm", adDBTime)});
    struct Case {
        double v;
        const char *text;
    };
    const Case cases[] = {{0.0, "0"}, {-0.25, "-0.25"}, {123456789012.0, "123456789012"}, {1e-5, "0.00001"},
                          {1e20, "1e+20"}, {-1e300, "-1e+300"}, {1.0 / 3, "0.3333333333333333"},
                          {std::numeric_limits<double>::infinity(), "Infinity"}};
    for (const Case &c : cases) {
        s.beginRow();
        s.setReal(0, c.v);
        s.setInt64(1, RowStore::encodeDateTime(QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)));
        s.setInt64(2, 0);
        s.setInt64(3, 0);
        s.endRow();
    }
    for (std::size_t r = 0; r < std::size(cases); ++r) {
        EXPECT_EQ(s.displayText(r, 0), QString::fromLatin1(cases[r].text)) << cases[r].text;
        // the text reads back to the very same double
        if (std::isfinite(cases[r].v)) {
            EXPECT_EQ(s.displayText(r, 0).toDouble(), cases[r].v);
        }
    }
    EXPECT_EQ(s.displayText(0, 1), "1969-12-31 23:59:59.999"); // before the epoch: no off-by-one day
    EXPECT_EQ(s.displayText(0, 2), "False");
    EXPECT_EQ(s.displayText(0, 3), "00:00:00");
}

TEST(DbRowStore, DateEncodingsHaveNoTimeZoneShift)
{
    EXPECT_EQ(RowStore::encodeDateTime(QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC)), 0);
    EXPECT_EQ(RowStore::encodeDate(QDate(1970, 1, 1)), 2440588);
    // a local wall-clock reading is kept as read, whatever the machine's zone
    const QDateTime local(QDate(2024, 7, 1), QTime(23, 30), Qt::LocalTime);
    const QDateTime back = RowStore::decodeDateTime(RowStore::encodeDateTime(local));
    EXPECT_EQ(back.date(), local.date());
    EXPECT_EQ(back.time(), local.time());
    for (const QDateTime &dt : {QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC),
                                QDateTime(QDate(1, 1, 1), QTime(12, 0, 0, 1), Qt::UTC),
                                QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC)})
        EXPECT_EQ(RowStore::decodeDateTime(RowStore::encodeDateTime(dt)), dt);
    EXPECT_EQ(RowStore::decodeTime(RowStore::encodeTime(QTime(23, 59, 59, 999))), QTime(23, 59, 59, 999));
    EXPECT_THROW(RowStore::encodeDate(QDate()), DbError);

    std::int64_t v = 0;
    EXPECT_TRUE(RowStore::parseTemporal(adDBTimeStamp, u"2024-02-29T13:45:30.5", v));
    EXPECT_EQ(RowStore::decodeDateTime(v).time(), QTime(13, 45, 30, 500));
    EXPECT_TRUE(RowStore::parseTemporal(adDBDate, u"2/29/2024", v));
    EXPECT_EQ(RowStore::decodeDate(v), QDate(2024, 2, 29));
    EXPECT_FALSE(RowStore::parseTemporal(adDBDate, u"2023-02-29", v));
    EXPECT_FALSE(RowStore::parseTemporal(adDBDate, u"2024-02-29 10:00", v)); // a time would be lost
    EXPECT_FALSE(RowStore::parseTemporal(adDBTime, u"24:00:01", v));
    EXPECT_FALSE(RowStore::parseTemporal(adDBTime, u"25:00", v));
}

TEST(DbRowStore, SetValueConvertsOrRefuses)
{
    RowStore s(allTypes());
    s.beginRow();
    s.setValue(0, QStringLiteral(" 3.00 "));
    s.setValue(1, QStringLiteral("false"));
    s.setValue(2, QStringLiteral("-inf"));
    s.setValue(3, QVariant(QDate(2024, 1, 5)));
    s.setValue(4, QStringLiteral("+007.50"));
    s.setValue(5, QStringLiteral("2024-01-05"));
    s.setValue(6, QStringLiteral("08:05"));
    s.setValue(7, QVariant(QDate(2024, 1, 5)));
    s.setValue(8, QVariant(QByteArray("\0x", 2)));
    s.setValue(9, QVariant());
    s.setValue(10, 12);
    s.endRow();
    EXPECT_EQ(s.int64(0, 0), 3);
    EXPECT_EQ(s.int64(0, 1), 0);
    EXPECT_TRUE(std::isinf(s.real(0, 2)) && s.real(0, 2) < 0);
    EXPECT_EQ(s.text(0, 3), "2024-01-05");
    EXPECT_EQ(s.text(0, 4), "7.50");
    EXPECT_EQ(s.value(0, 5), QVariant(QDate(2024, 1, 5)));
    EXPECT_EQ(s.value(0, 6), QVariant(QTime(8, 5)));
    EXPECT_EQ(s.displayText(0, 7), "2024-01-05 00:00:00");
    EXPECT_EQ(s.blob(0, 8), QByteArray("\0x", 2));
    EXPECT_TRUE(s.isNull(0, 9));
    EXPECT_EQ(s.text(0, 10), "12");

    // values that do not fit are refused, never stored as 0; the row stays usable
    s.beginRow();
    EXPECT_THROW(s.setValue(0, QStringLiteral("abc")), DbError);
    EXPECT_THROW(s.setValue(0, QStringLiteral("2.5")), DbError);
    EXPECT_THROW(s.setValue(0, QVariant(qlonglong(1) << 40)), DbError); // adInteger is 32 bits
    EXPECT_THROW(s.setValue(1, QStringLiteral("maybe")), DbError);
    EXPECT_THROW(s.setValue(2, QStringLiteral("1,5")), DbError);
    EXPECT_THROW(s.setValue(4, QStringLiteral("12a")), DbError);
    EXPECT_THROW(s.setValue(5, QStringLiteral("2024-13-01")), DbError);
    EXPECT_THROW(s.setValue(6, QVariant(QDate(2024, 1, 1))), DbError);
    EXPECT_THROW(s.setValue(8, QVariant(3.5)), DbError);
    s.setValue(0, 5);
    s.endRow();
    EXPECT_EQ(s.int64(1, 0), 5);
    for (int c = 1; c < s.columnCount(); ++c)
        EXPECT_TRUE(s.isNull(1, c)) << c;
}

TEST(DbRowStore, DecimalTextIsExactAndCanonical)
{
    RowStore s({field("n", adNumeric)});
    const std::pair<QVariant, QString> cases[] = {
        {QStringLiteral("-0.00"), "0.00"},
        {QStringLiteral("123456789012345678901234.5678"), "123456789012345678901234.5678"},
        {QStringLiteral(".5"), "0.5"},
        {QStringLiteral("1.5e3"), "1500"},
        {QStringLiteral("-2E-3"), "-0.002"},
        {QVariant(0.1), "0.1"},
        {QVariant(qlonglong(-9007199254740993)), "-9007199254740993"},
    };
    for (const auto &c : cases) {
        s.beginRow();
        s.setValue(0, c.first);
        s.endRow();
        EXPECT_EQ(s.text(s.rowCount() - 1, 0), c.second) << c.first.toString().toStdString();
    }
}

TEST(DbRowStore, MismatchedSettersConvertThroughTheColumnType)
{
    RowStore s({field("n", adNumeric), field("d", adDouble), field("i", adSmallInt), field("t", adVarWChar)});
    s.beginRow();
    s.setInt64(0, 42);   // integer source for a decimal column
    s.setInt64(1, 3);    // integer into a double column
    s.setText(2, "17", 2);
    s.setReal(3, 2.5);
    s.endRow();
    EXPECT_EQ(s.text(0, 0), "42");
    EXPECT_EQ(s.real(0, 1), 3.0);
    EXPECT_EQ(s.int64(0, 2), 17);
    EXPECT_EQ(s.text(0, 3), "2.5");
    s.beginRow();
    EXPECT_THROW(s.setText(2, "70000", 5), DbError);
    EXPECT_THROW(s.setReal(2, 1.25), DbError);
    s.endRow();
    EXPECT_TRUE(s.isNull(1, 2));
}

// Chunks read elsewhere join the store whole: values, Nulls across the 64-row words, texts, and
// a column a later chunk holds in a wider type.
TEST(DbRowStore, AppendsTheRowsOfAnotherStore)
{
    const std::vector<FieldInfo> fields = {field("i", adInteger), field("t", adVarWChar), field("d", adDouble)};
    auto fill = [&](RowStore &s, int from, int to) {
        for (int r = from; r < to; ++r) {
            s.beginRow();
            if (r % 3 != 0)
                s.setInt64(0, r);
            s.setText(1, QStringLiteral("row %1").arg(r));
            if (r % 5 != 0)
                s.setReal(2, r / 4.0);
            s.endRow();
        }
    };
    RowStore all(fields);
    fill(all, 0, 70); // ends inside the second Null word
    RowStore chunk(fields);
    fill(chunk, 70, 200);
    all.append(chunk);
    ASSERT_EQ(all.rowCount(), 200u);
    for (int r = 0; r < 200; ++r) {
        EXPECT_EQ(all.isNull(std::size_t(r), 0), r % 3 == 0) << r;
        if (r % 3 != 0) {
            EXPECT_EQ(all.int64(std::size_t(r), 0), r);
        }
        EXPECT_EQ(all.text(std::size_t(r), 1), QStringLiteral("row %1").arg(r));
        EXPECT_EQ(all.isNull(std::size_t(r), 2), r % 5 == 0) << r;
    }

    // A reader met a value that did not fit and widened the column in the next chunk.
    std::vector<FieldInfo> wider = fields;
    wider[0].Type = adVarWChar;
    RowStore textual(wider);
    textual.beginRow();
    textual.setText(0, QStringLiteral("n/a"));
    textual.endRow();
    all.append(textual);
    EXPECT_EQ(all.fields()[0].Type, int(adVarWChar));
    EXPECT_EQ(all.text(1, 0), QStringLiteral("1"));
    EXPECT_TRUE(all.isNull(3, 0));
    EXPECT_EQ(all.text(200, 0), QStringLiteral("n/a"));
    EXPECT_TRUE(all.isNull(200, 1));

    RowStore other({field("x", adInteger)});
    EXPECT_THROW(all.append(other), DbError);
}

TEST(DbRowStore, OffsetsStayWithTheirRowsThroughAppendAndRetype)
{
    const std::vector<FieldInfo> fields = {field("ts", adDBTimeStamp), field("n", adInteger)};
    RowStore first(fields), chunk(fields);
    auto add = [](RowStore &s, const char *text) {
        s.beginRow();
        s.setValue(0, QString::fromLatin1(text));
        s.setInt64(1, 1);
        s.endRow();
    };
    add(first, "2024-01-05 10:00:00");
    add(first, "2024-01-05 10:00:00.000001+02");
    add(chunk, "2024-01-06 00:00:00");
    add(chunk, "2024-01-06 00:00:00-03:30");
    add(chunk, "infinity");
    first.append(chunk);
    ASSERT_EQ(first.rowCount(), 5u);
    const QStringList expected = {"2024-01-05 10:00:00", "2024-01-05 10:00:00.000001+02", "2024-01-06 00:00:00",
                                  "2024-01-06 00:00:00-03:30", "infinity"};
    for (std::size_t r = 0; r < 5; ++r)
        EXPECT_EQ(first.displayText(r, 0), expected[qsizetype(r)]) << r;

    // A column widened to text keeps the text shown, offsets included.
    first.retypeColumn(1, field("n", adBigInt));
    EXPECT_EQ(first.displayText(3, 0), expected[3]);
    first.retypeColumn(0, field("ts", adVarWChar));
    for (std::size_t r = 0; r < 5; ++r)
        EXPECT_EQ(first.text(r, 0), expected[qsizetype(r)]) << r;
}

// Long stores are held in parts; rows read the same across every part boundary, whether the rows
// came one by one or in chunks that straddle the boundaries.
TEST(DbRowStore, RowsAcrossThePartsOfALongStore)
{
    const std::vector<FieldInfo> fields = {field("i", adBigInt), field("t", adVarWChar), field("ts", adDBTimeStamp)};
    auto fill = [](RowStore &s, std::size_t from, std::size_t to) {
        for (std::size_t r = from; r < to; ++r) {
            s.beginRow();
            if (r % 7 != 0)
                s.setInt64(0, std::int64_t(r));
            s.setText(1, QByteArray::number(qulonglong(r)).constData(), std::size_t(QByteArray::number(qulonglong(r)).size()));
            // One value past 32 bits in the middle of the second part, its offset and those before kept.
            s.setInt64(2, r == 40000 ? std::int64_t(r) << 32 : std::int64_t(r));
            if (r % 5 == 0)
                s.setZone(2, int(r % 3600));
            s.endRow();
        }
    };
    constexpr std::size_t kRows = 100000;
    RowStore oneByOne(fields);
    fill(oneByOne, 0, kRows);
    RowStore chunked(fields);
    for (std::size_t at = 0; at < kRows;) {
        const std::size_t n = std::min<std::size_t>(at == 0 ? 128 : 40000, kRows - at); // chunks wider than a part too
        RowStore chunk(fields);
        fill(chunk, at, at + n);
        chunked.append(chunk);
        at += n;
    }
    for (const RowStore *s : {&oneByOne, &chunked}) {
        ASSERT_EQ(s->rowCount(), kRows);
        for (std::size_t r : {std::size_t(0), std::size_t(32767), std::size_t(32768), std::size_t(32769), std::size_t(32770),
                              std::size_t(39995), std::size_t(40000), std::size_t(40001), std::size_t(40125),
                              std::size_t(40127), std::size_t(65535), std::size_t(65536), kRows - 1}) {
            EXPECT_EQ(s->isNull(r, 0), r % 7 == 0) << r;
            if (r % 7 != 0) {
                EXPECT_EQ(s->int64(r, 0), std::int64_t(r)) << r;
            }
            EXPECT_EQ(s->text(r, 1), QString::number(r)) << r;
            EXPECT_EQ(s->int64(r, 2), r == 40000 ? std::int64_t(r) << 32 : std::int64_t(r)) << r;
            EXPECT_EQ(s->zone(r, 2), r % 5 == 0 ? int(r % 3600) : RowStore::kNoZone) << r;
        }
    }
    chunked.squeeze();
    EXPECT_EQ(chunked.text(kRows - 1, 1), QString::number(kRows - 1));
    EXPECT_LT(chunked.bytesHeld(), oneByOne.bytesHeld() * 3 / 2);
}
