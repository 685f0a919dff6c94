#pragma once

#include "ExportJob.h"

#include <QString>

namespace db {
struct FieldInfo;
}

namespace hlexport {

// A spreadsheet workbook (.xlsx) with one sheet: typed cells (numbers as numbers, dates and
// times with a date format, Booleans, text never read as a formula). The header row names the
// qualifying columns; records start on the second row, each value in the column of its field.
// With headersAsRows the sheet is turned: names down the first column, one record per column.
// A sheet too small for the records stops the export with LimitReached (the file holds what fits).
WriteResult writeXlsx(const ExportJob &job);

// A word-processor document (.docx) holding one table in landscape: a header row of the
// qualifying columns' names and one row per record - the shape a mail merge reads as its data.
WriteResult writeDocx(const ExportJob &job);

// A SQLite database file holding one table named after the export name, one column per
// qualifying column typed from fieldInfo(), the values bound, all in one transaction.
WriteResult writeSqlite(const ExportJob &job);

// The desktop database's column for a field. `type` follows the classic field type codes
// (1 yes/no, 3 16-bit, 4 32-bit and 16 64-bit integer, 6 single, 7 double, 5 currency, 8 date and
// time, 10 text, 12 long text, 15 GUID, 20 decimal, 22 time); `length` is the precision of a
// number and the defined size of a text; `declared` the SQLite column type written.
struct FieldMapping {
    int type = 10;
    long length = 255;
    QString declared = QStringLiteral("TEXT");
};
FieldMapping fieldInfo(const db::FieldInfo &field);

// Column names made fit for a table: an empty name, or one that repeats an earlier name (case
// aside), becomes "F" followed by the field index.
std::vector<QString> uniqueColumnNames(const ExportJob &job);

} // namespace hlexport
