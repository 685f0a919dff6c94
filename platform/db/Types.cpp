#include "db/Types.h"

namespace db {

Storage storageOf(int adoType)
{
    switch (adoType) {
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adBoolean:
    case adTinyInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
        return Storage::Int64;
    case adSingle:
    case adDouble:
        return Storage::Double;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return Storage::Blob;
    default:
        // Character types, GUIDs, exact decimals and anything unknown: text loses nothing.
        return Storage::Text;
    }
}

bool isNumericType(int adoType)
{
    switch (adoType) {
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adTinyInt:
    case adUnsignedTinyInt:
    case adUnsignedSmallInt:
    case adUnsignedInt:
    case adUnsignedBigInt:
    case adSingle:
    case adDouble:
    case adCurrency:
    case adDecimal:
    case adNumeric:
    case adVarNumeric:
        return true;
    default:
        return false;
    }
}

bool isTextType(int adoType)
{
    switch (adoType) {
    case adChar:
    case adWChar:
    case adVarChar:
    case adLongVarChar:
    case adVarWChar:
    case adLongVarWChar:
        return true;
    default:
        return false;
    }
}

bool isDateType(int adoType)
{
    return adoType == adDate || adoType == adDBDate || adoType == adDBTime || adoType == adDBTimeStamp;
}

QString typeName(int adoType)
{
    switch (adoType) {
    case adEmpty: return QStringLiteral("adEmpty");
    case adSmallInt: return QStringLiteral("adSmallInt");
    case adInteger: return QStringLiteral("adInteger");
    case adSingle: return QStringLiteral("adSingle");
    case adDouble: return QStringLiteral("adDouble");
    case adCurrency: return QStringLiteral("adCurrency");
    case adDate: return QStringLiteral("adDate");
    case adBoolean: return QStringLiteral("adBoolean");
    case adVariant: return QStringLiteral("adVariant");
    case adDecimal: return QStringLiteral("adDecimal");
    case adTinyInt: return QStringLiteral("adTinyInt");
    case adUnsignedTinyInt: return QStringLiteral("adUnsignedTinyInt");
    case adUnsignedSmallInt: return QStringLiteral("adUnsignedSmallInt");
    case adUnsignedInt: return QStringLiteral("adUnsignedInt");
    case adUnsignedBigInt: return QStringLiteral("adUnsignedBigInt");
    case adVarNumeric: return QStringLiteral("adVarNumeric");
    case adBigInt: return QStringLiteral("adBigInt");
    case adGUID: return QStringLiteral("adGUID");
    case adBinary: return QStringLiteral("adBinary");
    case adChar: return QStringLiteral("adChar");
    case adWChar: return QStringLiteral("adWChar");
    case adNumeric: return QStringLiteral("adNumeric");
    case adDBDate: return QStringLiteral("adDBDate");
    case adDBTime: return QStringLiteral("adDBTime");
    case adDBTimeStamp: return QStringLiteral("adDBTimeStamp");
    case adVarChar: return QStringLiteral("adVarChar");
    case adLongVarChar: return QStringLiteral("adLongVarChar");
    case adVarWChar: return QStringLiteral("adVarWChar");
    case adLongVarWChar: return QStringLiteral("adLongVarWChar");
    case adVarBinary: return QStringLiteral("adVarBinary");
    case adLongVarBinary: return QStringLiteral("adLongVarBinary");
    default: return QString();
    }
}

} // namespace db
