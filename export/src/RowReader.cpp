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

int RowReader::type(int field) const
{
    return m_store->fields()[std::size_t(field)].Type;
}

bool RowReader::isNull(int field) const
{
    return m_store->isNull(m_row, field);
}

std::int64_t RowReader::int64(int field) const
{
    return m_store->int64(m_row, field);
}

int RowReader::zone(int field) const
{
    return m_store->zone(m_row, field);
}

double RowReader::real(int field) const
{
    return m_store->real(m_row, field);
}

std::string_view RowReader::bytes(int field) const
{
    std::size_t n = 0;
    const char *p = m_store->bytes(m_row, field, &n);
    return {p, n};
}

void RowReader::appendText(int field, std::string &out) const
{
    if (isNull(field))
        return;
    const int t = type(field);
    switch (db::storageOf(t)) {
    case db::Storage::Text:
        out.append(bytes(field));
        return;
    case db::Storage::Blob: // refused by every writer; shown as the grid shows it
        out.append(m_store->displayText(m_row, field).toStdString());
        return;
    case db::Storage::Int64:
    case db::Storage::Double:
        break;
    }
    char buf[64];
    const bool whole = db::storageOf(t) == db::Storage::Int64;
    const std::size_t n = db::RowStore::formatScalar(t, whole ? int64(field) : 0, whole ? 0.0 : real(field), buf,
                                                     whole ? zone(field) : db::RowStore::kNoZone);
    out.append(buf, n);
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
