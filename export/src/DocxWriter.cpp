#include "OfficeWriters.h"

#include "RowReader.h"
#include "TargetFile.h"

#include "db/Recordset.h"

#include <QTemporaryFile>

#include <zip.h>

#include <cstring>
#include <memory>
#include <string>

namespace hlexport {

namespace {

// A4 turned to landscape, with one-inch margins (twips).
constexpr int kPageWidth = 16838;
constexpr int kPageHeight = 11906;
constexpr int kMargin = 1440;
constexpr std::size_t kFlushBytes = 1 << 20;

const char *const kContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "</Types>";

const char *const kRelationships =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"word/document.xml\"/>"
    "</Relationships>";

struct ZipDiscard {
    void operator()(zip_t *z) const { zip_discard(z); }
};

// Text as a run's content: XML escaped; tabs and line breaks as the document's own marks;
// characters XML cannot carry (other control characters, U+FFFE, U+FFFF) left out, and a byte of
// broken UTF-8 shown as U+FFFD, as every other output shows it.
void appendRuns(std::string_view text, std::string &out)
{
    out += "<w:r><w:t xml:space=\"preserve\">";
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\t': out += "</w:t><w:tab/><w:t xml:space=\"preserve\">"; break;
            case '\n': out += "</w:t><w:br/><w:t xml:space=\"preserve\">"; break;
            case '\r':
                if (i + 1 < n && p[i + 1] == '\n')
                    break; // CR LF is one break
                out += "</w:t><w:br/><w:t xml:space=\"preserve\">";
                break;
            default:
                if (c >= 0x20)
                    out += char(c);
                break;
            }
            ++i;
            continue;
        }
        // A whole, valid UTF-8 sequence of a character XML allows, or nothing.
        int len = 0;
        char32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; min = 0x10000; }
        bool ok = len > 0 && i + std::size_t(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            const unsigned char cb = p[i + std::size_t(k)];
            ok = (cb & 0xC0) == 0x80;
            cp = (cp << 6) | (cb & 0x3F);
        }
        ok = ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!ok)
            out += "\xEF\xBF\xBD"; // a byte that is not UTF-8 shows as the grid shows it
        else if (cp != 0xFFFE && cp != 0xFFFF)
            out.append(text.substr(i, std::size_t(len)));
        i += ok ? std::size_t(len) : 1;
    }
    out += "</w:t></w:r>";
}

void appendCell(std::string_view text, int width, std::string &out)
{
    out += "<w:tc><w:tcPr><w:tcW w:w=\"";
    out += std::to_string(width);
    out += "\" w:type=\"dxa\"/></w:tcPr><w:p>";
    if (!text.empty())
        appendRuns(text, out);
    out += "</w:p></w:tc>";
}

void addEntry(zip_t *zip, const char *name, zip_source_t *source)
{
    if (!source || zip_file_add(zip, name, source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
        if (source)
            zip_source_free(source);
        throw ExportError(QStringLiteral("Cannot write the document: %1").arg(QString::fromUtf8(zip_strerror(zip))));
    }
}

} // namespace

WriteResult writeDocx(const ExportJob &job)
{
    Progress &progress = *job.progress;
    progress.status(QStringLiteral("Creating mail merge file ..."));
    progress.status(QStringLiteral("Opening mail merge document ..."));
    TargetFile target(job.fileName);

    // The document's body goes to a temporary file as it is made and is packed at the end, so
    // memory stays flat however many records there are.
    progress.status(QStringLiteral("Creating new document ..."));
    QTemporaryFile body;
    if (!body.open())
        throw ExportError(QStringLiteral("Cannot make a temporary file: %1").arg(body.errorString()));
    std::string out;
    out.reserve(kFlushBytes + (kFlushBytes >> 2));
    auto flush = [&] {
        if (body.write(out.data(), qint64(out.size())) != qint64(out.size()))
            throw ExportError(QStringLiteral("Cannot write a temporary file: %1").arg(body.errorString()));
        out.clear();
    };

    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>";
    progress.status(QStringLiteral("Setting page landscape ..."));
    progress.status(QStringLiteral("Creating table ..."));
    const std::size_t columns = job.columns.size();
    const int width = columns > 0 ? int((kPageWidth - 2 * kMargin) / int(columns)) : 0;
    out += "<w:tbl><w:tblPr><w:tblW w:w=\"0\" w:type=\"auto\"/><w:tblBorders>";
    for (const char *side : {"top", "left", "bottom", "right", "insideH", "insideV"}) {
        out += "<w:";
        out += side;
        out += " w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"auto\"/>";
    }
    out += "</w:tblBorders><w:tblLayout w:type=\"fixed\"/></w:tblPr><w:tblGrid>";
    for (std::size_t c = 0; c < columns; ++c)
        out += "<w:gridCol w:w=\"" + std::to_string(width) + "\"/>";
    out += "</w:tblGrid>";

    // The header row repeats on every page.
    progress.status(QStringLiteral("Creating table cloumns ..."));
    out += "<w:tr><w:trPr><w:tblHeader/></w:trPr>";
    for (const ExportColumn &column : job.columns)
        appendCell(column.name.toStdString(), width, out);
    out += "</w:tr>";

    progress.status(QStringLiteral("Exporting rows ..."));
    RowReader row(job);
    char buf[64];
    std::size_t written = 0;
    for (std::size_t r = 0; row.seek(r); ++r) {
        out += "<w:tr>";
        for (const ExportColumn &column : job.columns)
            appendCell(row.text(column.field, buf), width, out);
        out += "</w:tr>";
        if (out.size() >= kFlushBytes)
            flush();
        ++written;
        if (progress.record(written))
            return {WriteResult::Stopped, written, {}};
    }
    // A body ends with a paragraph; the section is turned to landscape.
    out += "</w:tbl><w:p/><w:sectPr><w:pgSz w:w=\"" + std::to_string(kPageWidth) + "\" w:h=\""
        + std::to_string(kPageHeight) + "\" w:orient=\"landscape\"/><w:pgMar w:top=\"" + std::to_string(kMargin)
        + "\" w:right=\"" + std::to_string(kMargin) + "\" w:bottom=\"" + std::to_string(kMargin) + "\" w:left=\""
        + std::to_string(kMargin) + "\" w:header=\"720\" w:footer=\"720\" w:gutter=\"0\"/></w:sectPr>"
          "</w:body></w:document>";
    flush();
    if (!body.flush())
        throw ExportError(QStringLiteral("Cannot write a temporary file: %1").arg(body.errorString()));

    progress.status(QStringLiteral("Saving document ..."));
    int error = 0;
    std::unique_ptr<zip_t, ZipDiscard> zip(
        zip_open(target.tempPath().toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error));
    if (!zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        const QString why = QString::fromUtf8(zip_error_strerror(&ze));
        zip_error_fini(&ze);
        throw ExportError(QStringLiteral("Cannot write the document %1: %2").arg(job.fileName, why));
    }
    addEntry(zip.get(), "[Content_Types].xml", zip_source_buffer(zip.get(), kContentTypes, std::strlen(kContentTypes), 0));
    addEntry(zip.get(), "_rels/.rels", zip_source_buffer(zip.get(), kRelationships, std::strlen(kRelationships), 0));
    addEntry(zip.get(), "word/document.xml", zip_source_file(zip.get(), body.fileName().toUtf8().constData(), 0, -1));
    progress.status(QStringLiteral("Closing document ..."));
    // Packing deflates the whole body, seconds long for many records: it runs on a thread of its
    // own while this one keeps the event loop turning. A stop asked for meanwhile is heard, and
    // the packed file thrown away once it is done.
    const bool stopped = runAside(progress, [&] {
        const bool closed = zip_close(zip.get()) == 0;
        // The body is let go here too: freeing a large file's blocks takes a while.
        body.remove();
        if (!closed) {
            zip_error_t *error = zip_get_error(zip.get());
            const int systemError = zip_error_system_type(error) == ZIP_ET_SYS ? zip_error_code_system(error) : 0;
            throw ExportError(target.failureText(QString::fromUtf8(zip_strerror(zip.get())), systemError));
        }
        zip.release();
    });
    if (stopped || !target.commit(progress))
        return {WriteResult::Stopped, written, {}};
    return {WriteResult::Done, written, {}};
}

} // namespace hlexport
