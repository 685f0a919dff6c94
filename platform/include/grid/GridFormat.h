#pragma once

#include <tabulon/PlatformExport.h>

#include <QLocale>
#include <QString>

#include <optional>

// The classic number and date format patterns the program's formats are written in.
namespace grid::format {

// Formats a number with a pattern such as "#,###", "#,##0.00", "$#,###.00", "0%", with an
// optional ";"-separated negative and zero section. '#' prints a digit only where needed (so 0
// with "#,###" is empty text), '0' always, ',' between integer digits groups by thousands, '%'
// multiplies by 100. Separators are '.' and ',' whatever the locale, so files and tests agree.
PLATFORM_EXPORT QString formatNumber(double value, const QString &pattern);

// The number a cell's text holds: blanks, a leading currency sign, thousands commas and a
// trailing '%' are allowed. Empty or other text gives nothing.
PLATFORM_EXPORT std::optional<double> parseNumber(const QString &text);

// Shortest text that reads back as the same double ("1234.5", "0.1", "-3").
PLATFORM_EXPORT QString numberText(double value);

// A classic date pattern ("dd/mm/yyyy", "mm/dd/yy hh:nn") as a QDateTime format ("dd/MM/yyyy").
PLATFORM_EXPORT QString qtDateFormat(const QString &classicPattern);

// The display pattern of a column by its ADO type code: integers "#,###", fractional numbers
// "#,###.00", money "$#,###.00", anything else none.
PLATFORM_EXPORT QString typeFormat(int adoType);

// A count with its digits grouped by thousands as `locale` groups them, even where the locale's
// own options leave the separator out.
PLATFORM_EXPORT QString groupedCount(qint64 n, const QLocale &locale = QLocale());

// "True" (any case) or a non-zero number is checked; the check-box reading of a cell's text.
PLATFORM_EXPORT bool isCheckedText(const QString &text);

} // namespace grid::format
