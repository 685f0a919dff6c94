#pragma once

#include <tabulon/DbExport.h>

#include "db/Field.h"
#include "db/RowStore.h"
#include "db/Types.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The rules for values that sorting, filtering, exporting and the SQL the program writes share,
// each kept once so that they never disagree. How each database spells them: db::Dialect.
namespace db {

// ---------------------------------------------------------------- whole numbers

struct IntegerRange {
    std::int64_t min;
    std::int64_t max;
};
// What a field of the type can hold; the whole 64-bit range for types that are not integers.
DB_EXPORT IntegerRange integerRange(int adoType);

// A whole number written as text: blanks around, an optional sign, digits, and a fraction of
// zeros only ("3.00", as a decimal source writes an integer). Empty when the text is not one or
// the number is outside the type's range.
DB_EXPORT std::optional<std::int64_t> parseInteger(std::string_view text, int adoType = adBigInt);
DB_EXPORT std::optional<std::int64_t> parseInteger(QStringView text, int adoType = adBigInt);

// ---------------------------------------------------------------- exact decimals

// True for a plain decimal: an optional sign, digits with an optional fraction (no exponent),
// blanks around allowed.
DB_EXPORT bool isPlainDecimal(std::string_view text);

// Orders decimal texts by value, exactly (no rounding through a double): -1, 0 or 1. The order
// is total, as a sort needs: "-Infinity" < every number < "Infinity" < "NaN" < any other text,
// other texts ordered by their bytes. Trailing zeros and a leading plus sign do not count.
DB_EXPORT int compareDecimal(std::string_view a, std::string_view b);

// A decimal text as its value alone, so that equal numbers give equal texts: no plus sign, no
// leading zeros, no trailing zeros in the fraction, "0" for every zero ("1.50" and "+01.5" both
// give "1.5"); NaN and the infinities by name. Empty when the text is no decimal.
DB_EXPORT std::optional<std::string> decimalValueText(std::string_view text);

// A money text as a database writes it ("$1,234.56", "-$1,234.56", "($1,234.56)") as an exact
// decimal ("-1234.56"); empty when it holds no number. Assumes the C locale's separators.
DB_EXPORT std::optional<std::string> moneyDecimal(std::string_view text);

// ---------------------------------------------------------------- quoted names

// The closer of an identifier opened by `open` (" ` or [), or a null character when it opens none.
DB_EXPORT QChar closingDelimiter(QChar open);

// Reads a quoted name starting at text[pos] (a doubled closer inside it stands for one) and moves
// pos past its closer. Empty when text[pos] opens no name; throws DbError when it is not closed.
DB_EXPORT std::optional<QString> readQuotedName(QStringView text, qsizetype &pos);

// The identifier between delimiters ('[' pairs with ']'), a closer inside it doubled; an empty
// delimiter means the double quote.
DB_EXPORT QString quoteIdentifier(const QString &name, const QString &delimiter);

// ---------------------------------------------------------------- SQL literals

// A text literal with apostrophes doubled. Throws DbError for a NUL character, which no statement
// or bound value carries whole (the client cuts the text there).
DB_EXPORT QString quoteText(const QString &value);
// Throws that DbError when the value is text holding a NUL character.
DB_EXPORT void refuseNul(const QString &value);

} // namespace db
