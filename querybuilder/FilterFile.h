#pragma once

// Filter files (*.qry): the condition rows of the filter grid, kept as a small JSON document in
// UTF-8, so that a file read back gives every row with all its columns:
//
//   {
//     "format": "Tabulon filter",
//     "version": 1,
//     "conditions": [
//       { "open": "(", "field": "Name", "ordinal": 1, "is": "is", "comparison": "equal to",
//         "value": "Smith", "valueIsField": false, "close": "", "operator": "AND" },
//       ...
//     ]
//   }
//
// "open" and "close" hold brackets from the grid's lists (or ""), "is" is "is" or "is not",
// "comparison" one of the grid's comparison words, "operator" "AND", "OR" or "". "field" is
// the field's name ("" for a row without one); "ordinal" is where the field stood when the file
// was saved and is informative only: a reader finds each field again by its name. "value" is
// the value as typed, or another field's name when "valueIsField" is true (null while a row
// without a field has not said). A reader refuses
// anything else, and a version newer than its own.

#include <QString>

#include <array>
#include <stdexcept>
#include <vector>

namespace querybuilder {

// Every column of one row of the filter grid, as QueryBuilder::FilterColumn numbers them.
using FilterRow = std::array<QString, 10>;

// A file that is not a filter file this program can read; what() says why.
class FilterFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kFilterFileVersion = 1;

// Writes the rows atomically (a failed write leaves the old file whole); throws
// std::runtime_error naming the failure.
void writeFilterFile(const QString &path, const std::vector<FilterRow> &rows);

// Reads and checks a file: every column against its fixed list. Fields are not resolved here.
// Throws FilterFileError; an unreadable file throws std::runtime_error.
std::vector<FilterRow> readFilterFile(const QString &path);

} // namespace querybuilder
