#include "RowReader.h"

#include "ExportJob.h"

#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"


namespace hlexport {

RowReader::RowReader(db::Recordset &rs)
    : m_rs(rs)
{
}

bool RowReader::has(std::size_t index)
{
    return m_rs.ensureRow(index);
}

bool RowReader::seek(std::size_t index)
{
    if (!m_rs.ensureRow(index))
        return false;
    m_store = m_rs.store().get();
    m_row = m_rs.storeRow(index);
    return true;
}

std::string_view RowReader::text(int field, char *buf) const
{
    if (isNull(field))
        return {};
    const int t = type(field);
    switch (db::storageOf(t)) {
    case db::Storage::Text: return bytes(field);
    case db::Storage::Blob: return {}; // no output carries binary data
    case db::Storage::Int64: return {buf, db::RowStore::formatScalar(t, int64(field), 0, buf, zone(field))};
    case db::Storage::Double: return {buf, db::RowStore::formatScalar(t, 0, real(field), buf)};
    }
    return {};
}

void RowReader::appendText(int field, std::string &out) const
{
    char buf[64];
    out.append(text(field, buf));
}

QString formatCount(std::size_t n, bool zeroEmpty)
{
    if (n == 0 && zeroEmpty)
        return {};
    // The count is grouped by threes with commas, whatever the desktop's language.
    QString digits = QString::number(qulonglong(n));
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return digits;
}

bool isRefusedType(int adoType)
{
    return adoType == db::adBinary || adoType == db::adVarBinary || adoType == db::adLongVarBinary;
}

} // namespace hlexport
