#include "ExportJob.h"

#include "db/Types.h"

#include <exception>

namespace hlexport {

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

QString currentError()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace hlexport
