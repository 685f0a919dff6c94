#pragma once

#include "db/Field.h"
#include "db/RowStore.h"

#include <cstdint>
#include <string>
#include <string_view>

// SQLite's declared types mapped onto type codes, and the value conversions the fetch loop needs.
// Works on UTF-8 bytes so that nothing is allocated per cell.
namespace db::backends::sqlite {

// The field for a declared type ("VARCHAR(40)", "NUMERIC(10,2)", "DATETIME" ...), following
// SQLite's affinity rules for names it does not know. An empty declaration gives adEmpty: the
// type is then taken from the values.
FieldInfo fieldForDeclaredType(const QString &declared);
// The type code of a value's storage class (SQLITE_INTEGER ...), for columns without a declaration.
int typeOfStorageClass(int sqliteType);
// Byte size and precision of the number and date types, as the fields of a result report them.
void setNumberSizes(FieldInfo &field);

// Exact parsers: the whole text must match, nothing is rounded away.
bool parseDouble(std::string_view s, double &out);
// "2024-02-29" (a midnight time part is allowed), "13:45:30[.250001]",
// "2024-02-29[ T]13:45[:30[.250001]]" into the RowStore encodings. Fractions beyond microseconds
// must be zeros.
bool parseDate(std::string_view s, std::int64_t &julianDay);
bool parseTime(std::string_view s, std::int64_t &usOfDay);
bool parseTimestamp(std::string_view s, std::int64_t &usSinceEpoch);

// Canonical decimal text: no exponent, no leading zeros or plus sign; padded with zeros to scale
// when it has fewer decimals (never rounded).
bool canonicalDecimal(std::string_view s, int scale, std::string &out);
void decimalFromInt64(std::int64_t v, int scale, std::string &out);
bool decimalFromDouble(double v, int scale, std::string &out); // false for infinities and NaN

// A 16-byte binary GUID as "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
std::string guidText(const unsigned char *bytes);

} // namespace db::backends::sqlite
