#pragma once

#include "ExportJob.h"

#include <QString>

#include <optional>
#include <string>

namespace hlexport {

class RowReader;

// One line of delimited text per record: the text of every qualifying column, joined by the
// delimiter (up to three characters). A field that holds the delimiter (or would form one with
// the delimiters beside it), a double quote or a line break is put between double quotes with its
// double quotes doubled, so that the line reads back into the same fields; every other field is
// written as it stands, a Null as nothing.
class LineBuilder {
public:
    explicit LineBuilder(const ExportJob &job);
    // The header line (the columns' names), without its line end.
    void header(std::string &out) const;
    // The current record's line, without its line end.
    void record(const RowReader &row, std::string &out);

private:
    void field(std::string_view text, std::string &out) const;
    // Whether the field, written as it stands, would hold or help form a delimiter.
    bool meetsDelimiter(std::string_view text) const;

    const ExportJob &m_job;
    std::string m_delimiter;
    bool m_special[256] = {}; // bytes that may call for quotes: '"', CR, LF, the delimiter's
};

// The delimited lines of every record, CR LF after each, collected in memory (the clipboard).
// `exported` counts the records written. Empty when the user stopped the export.
std::optional<QString> collectDelimited(const ExportJob &job, std::size_t &exported);
// The same lines written to the job's file.
WriteResult writeDelimited(const ExportJob &job, std::size_t &exported);

// A page holding one table: a header row of the columns' names (always), then one row per
// record; names and values are escaped, a Null shows as "(NULL)".
WriteResult writeHtml(const ExportJob &job);

// Every field of every record in the data layer's XML recordset format, so that the file opens
// again as a query source. The column selection plays no part.
WriteResult writeXml(const ExportJob &job);

} // namespace hlexport
