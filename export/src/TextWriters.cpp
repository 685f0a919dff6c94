#include "TextWriters.h"

#include "RowReader.h"
#include "TargetFile.h"

#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/XmlRecordset.h"
#include "db/Worker.h"
#include "files/AtomicFile.h"

#include <QStringDecoder>

#include <cstring>
#include <vector>

namespace hlexport {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;
constexpr std::string_view kCrLf = "\r\n";

// A text file written through a buffer into an atomic file: nothing reaches the user's file
// name before commit(), and an unfinished file is dropped with the object.
class BufferedFile {
public:
    explicit BufferedFile(const QString &path)
        : m_file(path)
    {
        refuseUnwritable(path);
        if (const auto error = m_file.open())
            throw ExportError(*error);
        m_buffer.reserve(kFlushBytes + (kFlushBytes >> 2));
    }

    std::string &buffer() { return m_buffer; }

    void flushIfFull()
    {
        if (m_buffer.size() >= kFlushBytes)
            flush();
    }

    // False when the user stopped the export while the file was flushed to disk (off this
    // thread): the file is then dropped with the object.
    bool commit(Progress &progress)
    {
        flush();
        const bool stopped = runAside(progress, [this] {
            if (const auto error = m_file.sync())
                throw ExportError(*error);
        });
        if (stopped)
            return false;
        // Replacing a large file frees its blocks, tens of milliseconds: off this thread too.
        runAside(
            progress,
            [this] {
                if (const auto error = m_file.commit())
                    throw ExportError(*error);
            },
            false);
        return true;
    }

private:
    void flush()
    {
        if (m_buffer.empty())
            return;
        if (!m_file.write(QByteArray::fromRawData(m_buffer.data(), qsizetype(m_buffer.size()))))
            throw ExportError(m_file.failure().value_or(QStringLiteral("The file could not be written.")));
        m_buffer.clear();
    }

    files::AtomicFile m_file;
    std::string m_buffer;
};

void appendHtmlEscaped(std::string_view text, std::string &out)
{
    std::string valid;
    if (!isUtf8(text)) {
        valid.assign(text);
        makeUtf8(valid);
        text = valid;
    }
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c; break;
        }
    }
}

} // namespace

// --- delimited lines ---

LineBuilder::LineBuilder(const ExportJob &job)
    : m_job(job)
    , m_delimiter(job.delimiter.toStdString())
{
    // A double quote encloses fields: as (part of) the delimiter no reader could tell them apart.
    if (job.delimiter.contains(u'"'))
        throw ExportError(QStringLiteral("The delimiter %1 holds a double quote, which encloses fields that hold "
                                         "the delimiter: choose another delimiter.")
                              .arg(job.delimiter));
    for (const unsigned char c : {'"', '\r', '\n'})
        m_special[c] = true;
    for (const char c : m_delimiter)
        m_special[static_cast<unsigned char>(c)] = true;
}

bool LineBuilder::meetsDelimiter(std::string_view text) const
{
    if (m_delimiter.size() == 1)
        return text.find(m_delimiter[0]) != std::string_view::npos;
    // A longer delimiter may also form across the field's edges ("a |" before " | "): the field
    // reads back alone only when its delimiters are the only ones around and within it.
    std::string joined = m_delimiter;
    joined.append(text);
    joined += m_delimiter;
    return joined.find(m_delimiter, 1) != m_delimiter.size() + text.size();
}

void LineBuilder::field(std::string_view text, std::string &out) const
{
    // One pass over the bytes: most fields hold nothing that needs quotes.
    bool quote = false;
    bool delimiterByte = false;
    bool high = false; // a byte of a character beyond ASCII, or one that is not UTF-8
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        high = high || b >= 0x80;
        if (!m_special[b])
            continue;
        if (c == '"' || c == '\r' || c == '\n')
            quote = true;
        else
            delimiterByte = true;
    }
    std::string valid;
    if (high && !isUtf8(text)) {
        valid.assign(text);
        makeUtf8(valid);
        text = valid;
    }
    if (!quote && !m_delimiter.empty() && (delimiterByte || (text.empty() && m_delimiter.size() > 1)))
        quote = meetsDelimiter(text);
    if (!quote) {
        out.append(text);
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void LineBuilder::header(std::string &out) const
{
    bool first = true;
    for (const ExportColumn &column : m_job.columns) {
        if (!first)
            out += m_delimiter;
        first = false;
        field(column.name.toStdString(), out);
    }
}

void LineBuilder::record(const RowReader &row, std::string &out)
{
    char buf[64];
    bool first = true;
    for (const ExportColumn &column : m_job.columns) {
        if (!first)
            out += m_delimiter;
        first = false;
        field(row.text(column.field, buf), out);
    }
}

namespace {
// The heading line, when asked for, and one line a row, appended to `out`; `afterLine` runs after
// each row's line. False when the user stopped the export.
template <typename AfterLine>
bool appendDelimited(const ExportJob &job, std::string &out, std::size_t &exported, AfterLine &&afterLine)
{
    LineBuilder lines(job);
    RowReader row(job);
    if (job.includeHeaders) {
        lines.header(out);
        out += kCrLf;
    }
    for (std::size_t i = 0; row.seek(i); ++i) {
        lines.record(row, out);
        out += kCrLf;
        afterLine();
        ++exported;
        if (job.progress->record(exported))
            return false;
    }
    return true;
}
} // namespace

std::optional<QString> collectDelimited(const ExportJob &job, std::size_t &exported)
{
    // The lines are kept in pieces of about a megabyte, whole lines each: one string grown to tens
    // of megabytes would be copied whole each time it grew, the window frozen meanwhile.
    std::vector<std::string> pieces;
    std::size_t bytes = 0;
    std::string out;
    const auto keep = [&] {
        bytes += out.size();
        pieces.push_back(std::move(out));
        out = std::string();
        out.reserve(kFlushBytes + (kFlushBytes >> 2));
    };
    out.reserve(kFlushBytes + (kFlushBytes >> 2));
    if (!appendDelimited(job, out, exported, [&] {
            if (out.size() >= kFlushBytes)
                keep();
        }))
        return std::nullopt;
    bytes += out.size();
    pieces.push_back(std::move(out));
    // Decoding them takes a good part of a second for many rows: off this thread.
    QString text;
    const bool stopped = runAside(*job.progress, [&] {
        // Straight into the text, as many characters as bytes at most.
        text.resize(qsizetype(bytes));
        QChar *at = text.data();
        QStringDecoder toUtf16(QStringDecoder::Utf8);
        for (std::string &piece : pieces) {
            at = toUtf16.appendToBuffer(at, QByteArrayView(piece.data(), qsizetype(piece.size())));
            std::string().swap(piece);
        }
        text.truncate(at - text.constData());
    });
    if (stopped)
        return std::nullopt;
    return text;
}

WriteResult writeDelimited(const ExportJob &job, std::size_t &exported)
{
    BufferedFile file(job.fileName);
    if (!appendDelimited(job, file.buffer(), exported, [&] { file.flushIfFull(); }))
        return {WriteResult::Stopped, exported, {}};
    if (!file.commit(*job.progress))
        return {WriteResult::Stopped, exported, {}};
    return {WriteResult::Done, exported, {}};
}

// --- HTML ---

WriteResult writeHtml(const ExportJob &job)
{
    RowReader row(job);
    BufferedFile file(job.fileName);
    std::string &out = file.buffer();
    out += "<HTML>\r\n<HEAD>\r\n"
           "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html;charset=utf-8\">\r\n"
           "<META NAME=\"Generator\" CONTENT=\"Tabulon\">\r\n"
           "<TITLE>Tabulon</TITLE>\r\n</HEAD>\r\n<BODY>\r\n\r\n\r\n";
    out += "<TABLE BORDER=1 CELLPADDING=2 CELLSPACING=3>\r\n<TR>\r\n";
    for (const ExportColumn &column : job.columns) {
        out += "<TD>";
        appendHtmlEscaped(column.name.toStdString(), out);
        out += "</TD>\r\n";
    }
    // The next row is opened only when there is one, so that an empty result still gives a
    // well-formed table.
    bool more = row.seek(0);
    out += more ? "</TR><TR><TD>\r\n" : "</TR>\r\n";
    char buf[64];
    std::size_t written = 0;
    for (std::size_t i = 0; more; ++i) {
        bool first = true;
        for (const ExportColumn &column : job.columns) {
            if (!first)
                out += "</TD><TD>";
            first = false;
            if (row.isNull(column.field)) {
                out += "(NULL)";
                continue;
            }
            appendHtmlEscaped(row.text(column.field, buf), out);
        }
        out += "</TD></TR>";
        more = row.seek(i + 1);
        if (more)
            out += "\r\n<TR><TD>";
        out += kCrLf;
        file.flushIfFull();
        ++written;
        if (job.progress->record(written))
            return {WriteResult::Stopped, written, {}};
    }
    out += "</TABLE>\r\n\r\n</BODY>\r\n</HTML>\r\n\r\n\r\n";
    if (!file.commit(*job.progress))
        return {WriteResult::Stopped, written, {}};
    return {WriteResult::Done, written, {}};
}

// --- XML ---

WriteResult writeXml(const ExportJob &job)
{
    // The document states each column's type before its rows, and a lazy result may still widen
    // a column while it arrives: every row is fetched first.
    // The rows arrive from a worker; the wait asks the progress now and then whether to stop.
    db::StopToken stop;
    stop.setStopWhen([&] { return job.progress->record(job.rs->fetchedCount()); });
    {
        const db::StopToken::Scope stoppable(stop);
        if (!job.rs->fetchAll())
            return {WriteResult::Stopped, 0, {}};
    }
    RowReader row(job);
    std::size_t written = 0;
    try {
        db::XmlRecordsetWriter xml(job.fileName, job.rs->store()->fields());
        for (std::size_t i = 0; row.seek(i); ++i) {
            xml.writeRow(row.store(), row.storeRow());
            ++written;
            if (job.progress->record(written))
                return {WriteResult::Stopped, written, {}};
        }
        if (runAside(*job.progress, [&xml] { xml.sync(); }))
            return {WriteResult::Stopped, written, {}};
        runAside(*job.progress, [&xml] { xml.commit(); }, false);
    } catch (const db::DbError &e) {
        if (e.isCancelled())
            throw; // the user's stop, no failure of the file
        throw ExportError(e.message());
    }
    return {WriteResult::Done, written, {}};
}

} // namespace hlexport
