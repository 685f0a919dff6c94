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

} // namespace hlexport
