#include "Destinations.h"

#include "hlExport/DataExport.h"

namespace hlexport {

DestinationInfo destinationInfo(int destination)
{
    switch (destination) {
    case DataExport::Clipboard: return {QStringLiteral("Clipboard"), {}, {}, {}};
    case DataExport::TextFile:
        return {QStringLiteral("Text file"), QStringLiteral("txt"), QStringLiteral("Text Documents"),
                QStringLiteral(" delimited file")};
    case DataExport::Spreadsheet:
        return {QStringLiteral("Spreadsheet (.xlsx)"), QStringLiteral("xlsx"), QStringLiteral("Spreadsheet"),
                QStringLiteral("Spreadsheet file")};
    case DataExport::MailMerge:
        return {QStringLiteral("Mail merge document (.docx)"), QStringLiteral("docx"),
                QStringLiteral("Mail merge document"), QStringLiteral("Mail merge document")};
    case DataExport::DesktopDatabase:
        return {QStringLiteral("Desktop database (SQLite)"), QStringLiteral("db"), QStringLiteral("SQLite database"),
                QStringLiteral("SQLite database")};
    case DataExport::Html:
        return {QStringLiteral("HTML"), QStringLiteral("html"), QStringLiteral("HTML File"), QStringLiteral("HTML file")};
    case DataExport::Xml:
        return {QStringLiteral("XML"), QStringLiteral("xml"), QStringLiteral("XML Document"),
                QStringLiteral("XML Document")};
    default: return {};
    }
}

bool writerAvailable(int destination)
{
    return destination >= DataExport::Clipboard && destination <= DataExport::Xml;
}

} // namespace hlexport
