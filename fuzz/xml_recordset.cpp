// Persisted recordsets: a document that is read saves to one that reads back cell for cell and
// bit for bit, and saves to the same bytes again.
#include "FuzzSupport.h"

#include "db/DbError.h"
#include "db/Types.h"
#include "db/XmlRecordset.h"

#include <cmath>
#include <cstring>
#include <numeric>

using namespace db;

namespace {

std::vector<std::size_t> allRows(const RowStore &s)
{
    std::vector<std::size_t> rows(s.rowCount());
    std::iota(rows.begin(), rows.end(), std::size_t(0));
    return rows;
}

bool sameField(const FieldInfo &a, const FieldInfo &b)
{
    return a.Name == b.Name && a.Type == b.Type && a.DefinedSize == b.DefinedSize && a.Precision == b.Precision
        && a.NumericScale == b.NumericScale && a.Nullable == b.Nullable && a.BaseTableName == b.BaseTableName
        && a.BaseColumnName == b.BaseColumnName && a.BaseSchemaName == b.BaseSchemaName
        && a.DeclaredType == b.DeclaredType;
}

void checkSame(const RowStore &a, const RowStore &b, const QString &where)
{
    FUZZ_CHECK(a.columnCount() == b.columnCount(), where);
    FUZZ_CHECK(a.rowCount() == b.rowCount(), where);
    for (int c = 0; c < a.columnCount(); ++c)
        FUZZ_CHECK(sameField(a.fields()[std::size_t(c)], b.fields()[std::size_t(c)]), where);
    for (std::size_t r = 0; r < a.rowCount(); ++r) {
        for (int c = 0; c < a.columnCount(); ++c) {
            FUZZ_CHECK(a.isNull(r, c) == b.isNull(r, c), where);
            if (a.isNull(r, c))
                continue;
            switch (storageOf(a.fields()[std::size_t(c)].Type)) {
            case Storage::Int64:
                FUZZ_CHECK(a.int64(r, c) == b.int64(r, c), where);
                break;
            case Storage::Double: {
                const double x = a.real(r, c), y = b.real(r, c);
                FUZZ_CHECK(std::memcmp(&x, &y, sizeof x) == 0 || (std::isnan(x) && std::isnan(y)), where);
                break;
            }
            case Storage::Text:
            case Storage::Blob: {
                std::size_t na = 0, nb = 0;
                const char *pa = a.bytes(r, c, &na);
                const char *pb = b.bytes(r, c, &nb);
                FUZZ_CHECK(QByteArray(pa, qsizetype(na)) == QByteArray(pb, qsizetype(nb)), where);
                break;
            }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::writeScratch(QStringLiteral("fuzz.xml"), fuzz::bytes(data, size));
    std::shared_ptr<RowStore> read;
    try {
        read = loadXmlRecordset(path);
    } catch (const DbError &e) {
        FUZZ_CHECK(!e.message().isEmpty(), path);
        return 0;
    }
    FUZZ_CHECK(read != nullptr, path);
    const QString first = fuzz::scratchFolder() + QStringLiteral("/first.xml");
    const QString second = fuzz::scratchFolder() + QStringLiteral("/second.xml");
    try {
        saveXmlRecordset(first, *read, allRows(*read));
        const auto again = loadXmlRecordset(first);
        checkSame(*read, *again, QString::fromUtf8(fuzz::readFile(first).left(600)));
        saveXmlRecordset(second, *again, allRows(*again));
    } catch (const DbError &e) {
        FUZZ_CHECK(false, e.message());
    }
    FUZZ_CHECK(fuzz::readFile(first) == fuzz::readFile(second), path);
    return 0;
}
