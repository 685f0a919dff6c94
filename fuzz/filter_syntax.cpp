// Filter syntax: any text is parsed or refused with a message; a parsed filter writes text that
// parses to the same filter, which picks the same rows.
#include "FuzzSupport.h"

#include "db/DbError.h"
#include "db/RecordsetFilter.h"
#include "db/RowStore.h"
#include "db/Types.h"

#include <QDate>

using namespace db;

namespace {

FieldInfo field(const char *name, int type)
{
    FieldInfo f;
    f.Name = QString::fromLatin1(name);
    f.Type = type;
    return f;
}

// Short names a fuzzer finds quickly, of each kind of storage.
const RowStore &rows()
{
    static const RowStore store = [] {
        RowStore s({field("a", adVarWChar), field("b", adInteger), field("c", adDouble), field("d", adDBDate),
                    field("e", adBoolean), field("Name", adVarWChar), field("n", adNumeric)});
        const char *texts[] = {"", "abc", "O'Brien", "x*y", "100"};
        for (int r = 0; r < 5; ++r) {
            s.beginRow();
            if (r != 3) {
                const QByteArray t(texts[r]);
                s.setText(0, t.constData(), std::size_t(t.size()));
                s.setInt64(1, r * 7 - 10);
                s.setReal(2, r * 0.5 - 1.0);
                s.setInt64(3, RowStore::encodeDate(QDate(2020, 1 + r, 1 + r)));
                s.setInt64(4, r % 2);
                s.setText(5, t.constData(), std::size_t(t.size()));
                s.setValue(6, QString::number(r * 1.25 - 2));
            }
            s.endRow();
        }
        return s;
    }();
    return store;
}

// Per row: 1 picked, 0 not, -1 the row could not be compared.
std::optional<std::vector<int>> picks(RecordsetFilter filter)
{
    try {
        filter.bind(rows());
    } catch (const DbError &) {
        return std::nullopt;
    }
    std::vector<int> out;
    for (std::size_t r = 0; r < rows().rowCount(); ++r) {
        try {
            out.push_back(filter.matches(rows(), r) ? 1 : 0);
        } catch (const DbError &) {
            out.push_back(-1);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzz::utf8(data, size);
    std::optional<RecordsetFilter> filter;
    try {
        filter = RecordsetFilter::parse(text);
    } catch (const DbError &e) {
        FUZZ_CHECK(!e.message().isEmpty(), text);
        return 0;
    }
    const QString written = filter->toString();
    std::optional<RecordsetFilter> back;
    try {
        back = RecordsetFilter::parse(written);
    } catch (const DbError &e) {
        FUZZ_CHECK(false, text + QLatin1String(" → ") + written + QLatin1String(": ") + e.message());
    }
    FUZZ_CHECK(back->toString() == written, text + QLatin1String(" → ") + written + QLatin1String(" → ") + back->toString());
    FUZZ_CHECK(back->isEmpty() == filter->isEmpty(), text);
    const auto first = picks(*filter);
    const auto second = picks(*back);
    FUZZ_CHECK(first.has_value() == second.has_value(), text + QLatin1String(" → ") + written);
    FUZZ_CHECK(!first || *first == *second, text + QLatin1String(" → ") + written);
    return 0;
}
