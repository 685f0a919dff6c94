#include "OfficeWriters.h"

#include "RowReader.h"
#include "TargetFile.h"

#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"

#include <QDate>
#include <QFile>

#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hlexport {

namespace {

constexpr std::int64_t kUsPerDay = 86400000000;
constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kEpochJulianDay = 2440588; // 1970-01-01
// A spreadsheet number holds 15 significant digits; wider whole numbers and decimals are
// written as text so that no digit is lost.
constexpr std::int64_t kExactWhole = 999999999999999;
constexpr std::size_t kMaxCellChars = 32767;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The sheet's day number of a Julian day; false outside 1900-03-01..9999-12-31 (and for the
// infinities). The sheet counts a 29 February 1900 that never was, and readers part ways over the
// days before it (some count from 1899-12-31, others from 1899-12-30): those dates stay text, which
// every reader shows alike.
bool sheetDay(std::int64_t julianDay, std::int64_t &day)
{
    static const std::int64_t dayZero = QDate(1899, 12, 30).toJulianDay();
    static const std::int64_t mar1 = QDate(1900, 3, 1).toJulianDay();
    static const std::int64_t last = QDate(9999, 12, 31).toJulianDay();
    if (julianDay < mar1 || julianDay > last)
        return false;
    day = julianDay - dayZero;
    return true;
}

// The serial of day + ms / kMsPerDay: the smallest double not below the exact value, so that a
// reader that cuts to the second or millisecond and one that rounds both land on the value itself.
double serialOf(std::int64_t day, std::int64_t ms)
{
    const double whole = double(day);
    double serial = whole + double(ms) / double(kMsPerDay);
    for (;;) {
        // (serial - whole) is exact; the product's rounding error comes from fma, so the
        // comparison with ms is exact too.
        const double fraction = serial - whole;
        const double product = fraction * double(kMsPerDay);
        const double error = std::fma(fraction, double(kMsPerDay), -product);
        const bool below = product < double(ms) || (product == double(ms) && error < 0);
        if (!below)
            return serial;
        serial = std::nextafter(serial, HUGE_VAL);
    }
}

// Whole digits and a fraction, at most 15 significant digits: exact as a sheet number.
bool fitsNumber(std::string_view decimal)
{
    int digits = 0;
    bool leading = true;
    for (const char c : decimal) {
        if (c >= '0' && c <= '9') {
            if (c != '0')
                leading = false;
            if (!leading)
                ++digits;
        } else if (c != '-' && c != '+' && c != '.') {
            return false;
        }
    }
    return digits <= 15;
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// A sheet's text holds "_xHHHH_" as the escape of one UTF-16 unit (the writer's own escape for
// control characters): a literal one keeps its text by escaping its underscore (_x005F_), and
// U+0000, U+FFFE and U+FFFF, which XML cannot carry, travel in that escape (a NUL would otherwise
// end the text where the library takes it as a C string).
void escapeForSheet(std::string &text)
{
    const std::size_t n = text.size();
    auto literalEscapeAt = [&](std::size_t i) {
        return i + 6 < n && text[i + 1] == 'x' && isHex(text[i + 2]) && isHex(text[i + 3]) && isHex(text[i + 4])
            && isHex(text[i + 5]) && text[i + 6] == '_';
    };
    std::string out;
    std::size_t done = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char *escape = nullptr;
        std::size_t len = 1;
        if (text[i] == '_' && literalEscapeAt(i)) {
            escape = "_x005F_";
        } else if (text[i] == '\0') {
            escape = "_x0000_";
        } else if (text[i] == '\xEF' && i + 2 < n && text[i + 1] == '\xBF'
                   && (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
            escape = text[i + 2] == '\xBE' ? "_xFFFE_" : "_xFFFF_";
            len = 3;
        }
        if (!escape)
            continue;
        out.append(text, done, i - done);
        out += escape;
        done = i + len;
        i += len - 1;
    }
    if (done > 0) {
        out.append(text, done, n - done);
        text.swap(out);
    }
}

// A number whose 16 significant digits in the sheet do not give it back.
struct ExactNumber {
    lxw_row_t row;
    lxw_col_t col;
    double value;
    bool operator<(const ExactNumber &o) const { return row != o.row ? row < o.row : col < o.col; }
};

// The numbers noted for putExactNumbers, read back in the sheet's order. Only a turned sheet, which
// the library holds in memory anyway, notes any.
class ExactNumbers {
public:
    void add(const ExactNumber &n) { m_held.push_back(n); }

    bool empty() const { return m_held.empty(); }

    // Makes next() start from the first number in the sheet's order.
    void rewind()
    {
        std::sort(m_held.begin(), m_held.end());
        m_read = 0;
    }

    bool next(ExactNumber &n)
    {
        if (m_read == m_held.size())
            return false;
        n = m_held[m_read++];
        return true;
    }

private:
    std::vector<ExactNumber> m_held;
    std::size_t m_read = 0;
};

// The library writes a number with 16 significant digits: in a turned sheet, a double that needs 17
// gets its shortest exact digits put in after the workbook is written. Rewrites the sheet's <v> of every
// listed cell in the zip file at path; throws ExportError on failure. The sheet holds its cells
// row by row, and the list is walked alongside in that order.
void putExactNumbers(const QString &path, ExactNumbers &numbers)
{
    numbers.rewind();
    ExactNumber next{};
    bool more = numbers.next(next);
    static const char kSheet[] = "xl/worksheets/sheet1.xml";
    const auto failed = [&](const char *why) {
        return ExportError(QStringLiteral("Cannot write the workbook: %1").arg(QString::fromUtf8(why)));
    };
    int zipError = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), 0, &zipError);
    if (!zip)
        throw failed("cannot reopen it");
    std::unique_ptr<zip_t, void (*)(zip_t *)> book(zip, zip_discard);
    const zip_int64_t index = zip_name_locate(zip, kSheet, 0);
    zip_file_t *in = index < 0 ? nullptr : zip_fopen_index(zip, zip_uint64_t(index), 0);
    if (!in)
        throw failed(zip_strerror(zip));
    std::unique_ptr<zip_file_t, int (*)(zip_file_t *)> sheet(in, zip_fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> out(std::tmpfile(), std::fclose);
    if (!out)
        throw failed(std::strerror(errno));

    static const std::string_view kCell = "<c r=\"";
    std::string buf;
    std::size_t done = 0; // buf[0, done) is written
    auto writeTo = [&](std::size_t to) {
        if (to > done && std::fwrite(buf.data() + done, 1, to - done, out.get()) != to - done)
            throw failed(std::strerror(errno));
        done = to;
    };
    char chunk[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(in, chunk, sizeof chunk);
        if (n < 0)
            throw failed(zip_file_strerror(in));
        buf.append(chunk, std::size_t(n));
        std::size_t at = done;
        for (;;) {
            const std::size_t cell = buf.find(kCell, at);
            const std::size_t end = cell == std::string::npos ? cell : buf.find("</c>", cell);
            if (end == std::string::npos) {
                // Keep what may be the start of a cell for the next chunk.
                writeTo(cell != std::string::npos ? cell : buf.size() > kCell.size() ? buf.size() - kCell.size() : done);
                break;
            }
            const std::size_t close = buf.find('>', cell);
            if (buf[close - 1] == '/') { // a cell with no value
                at = close + 1;
                continue;
            }
            const std::size_t refStart = cell + kCell.size();
            const std::size_t refEnd = buf.find('"', refStart);
            const std::string ref = buf.substr(refStart, refEnd - refStart);
            const std::size_t v = buf.find("<v>", refEnd);
            if (more && lxw_name_to_row(ref.c_str()) == next.row && lxw_name_to_col(ref.c_str()) == next.col
                && v < end) {
                char digits[32];
                const std::to_chars_result exact = std::to_chars(digits, digits + sizeof digits, next.value);
                more = numbers.next(next);
                writeTo(v + 3);
                const std::size_t n = std::size_t(exact.ptr - digits);
                if (std::fwrite(digits, 1, n, out.get()) != n)
                    throw failed(std::strerror(errno));
                done = buf.find("</v>", v);
            }
            at = end + 4;
        }
        if (n == 0)
            break;
        buf.erase(0, done);
        done = 0;
    }
    writeTo(buf.size());
    sheet.reset();
    if (std::fflush(out.get()) != 0 || std::fseek(out.get(), 0, SEEK_SET) != 0)
        throw failed(std::strerror(errno));
    zip_source_t *source = zip_source_filep(zip, out.get(), 0, -1);
    if (!source)
        throw failed(zip_strerror(zip));
    out.release(); // the source closes it
    // Deleted and added rather than replaced: the archive keeps a replaced entry at its own
    // default level (the best, several times what writing the sheet cost) whatever is asked; a new
    // entry takes the level the workbook's own writer uses.
    if (zip_delete(zip, zip_uint64_t(index)) < 0) {
        zip_source_free(source);
        throw failed(zip_strerror(zip));
    }
    const zip_int64_t added = zip_file_add(zip, kSheet, source, 0);
    if (added < 0) {
        zip_source_free(source);
        throw failed(zip_strerror(zip));
    }
    if (zip_set_file_compression(zip, zip_uint64_t(added), ZIP_CM_DEFLATE, 6) < 0)
        throw failed(zip_strerror(zip));
    if (zip_close(zip) < 0)
        throw failed(zip_strerror(zip));
    book.release();
}

// Cuts UTF-8 text to the characters a cell holds; true when it was cut.
bool cutToCell(std::string &text)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == kMaxCellChars) {
                text.resize(i);
                return true;
            }
            ++chars;
        }
    }
    return false;
}

// A constant-memory sheet's rows as the library writes them, but with each number's shortest exact
// digits: the library writes 16 significant digits, and a double may need 17 to come back as itself.
// The rows go straight into the sheet's data file, which the library copies into the workbook.
class SheetRows {
public:
    explicit SheetRows(lxw_worksheet *sheet) : m_sheet(sheet) {}

    void number(lxw_row_t row, lxw_col_t col, double value, int style)
    {
        char digits[32];
        std::to_chars_result r;
        // Whole numbers as integers ("1000000", never "1e+06"); a negative zero keeps its sign.
        if (std::abs(value) < 9007199254740992.0 && value == std::trunc(value) && !(value == 0 && std::signbit(value)))
            r = std::to_chars(digits, digits + sizeof digits, std::int64_t(value));
        else
            r = std::to_chars(digits, digits + sizeof digits, value);
        start(row, col);
        if (style > 0) {
            m_xml += "\" s=\"";
            appendInt(style);
        }
        m_xml += "\"><v>";
        m_xml.append(digits, r.ptr);
        m_xml += "</v></c>";
    }

    void boolean(lxw_row_t row, lxw_col_t col, bool value)
    {
        start(row, col);
        m_xml += value ? "\" t=\"b\"><v>1</v></c>" : "\" t=\"b\"><v>0</v></c>";
    }

    // Text already cut and escaped for the sheet; an empty one leaves the cell empty, as the
    // library does.
    void text(lxw_row_t row, lxw_col_t col, std::string_view value)
    {
        if (value.empty())
            return;
        start(row, col);
        m_xml += "\" t=\"inlineStr\"><is><t>";
        const std::size_t from = m_xml.size();
        for (const char c : value) {
            switch (c) {
            case '&': m_xml += "&amp;"; break;
            case '<': m_xml += "&lt;"; break;
            case '>': m_xml += "&gt;"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
                    static const char hex[] = "0123456789ABCDEF";
                    m_xml += "_x00";
                    m_xml += hex[(c >> 4) & 0xF];
                    m_xml += hex[c & 0xF];
                    m_xml += '_';
                } else {
                    m_xml += c;
                }
            }
        }
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
        if (blank(m_xml[from]) || blank(m_xml.back()))
            m_xml.insert(from - 1, " xml:space=\"preserve\"");
        m_xml += "</t></is></c>";
    }

    // Writes the last row; throws ExportError when the data file could not take the rows.
    void finish()
    {
        endRow();
        if (std::fflush(m_sheet->file) != 0 || std::ferror(m_sheet->file))
            throw ExportError(QStringLiteral("Cannot write the workbook: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }

private:
    struct Cell {
        lxw_col_t col;
        std::size_t begin;
    };

    void appendInt(std::uint64_t n)
    {
        char buf[24];
        const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, n);
        m_xml.append(buf, r.ptr);
    }

    // Opens the cell's element up to its reference's closing quote, starting a row when the cell
    // is the first of its row.
    void start(lxw_row_t row, lxw_col_t col)
    {
        if (!m_inRow || row != m_row) {
            endRow();
            m_inRow = true;
            m_row = row;
            m_sheet->dim_rowmin = std::min(m_sheet->dim_rowmin, row);
            m_sheet->dim_rowmax = std::max(m_sheet->dim_rowmax, row);
            m_xml += "<row r=\"";
            appendInt(std::uint64_t(row) + 1);
            m_xml += "\">";
            m_rowStart = m_xml.size();
        }
        m_sheet->dim_colmin = std::min(m_sheet->dim_colmin, col);
        m_sheet->dim_colmax = std::max(m_sheet->dim_colmax, col);
        if (!m_cells.empty() && col < m_cells.back().col)
            m_unordered = true;
        m_cells.push_back({col, m_xml.size()});
        m_xml += "<c r=\"";
        if (col >= m_colNames.size())
            m_colNames.resize(std::size_t(col) + 1);
        std::string &name = m_colNames[col];
        if (name.empty()) {
            char ref[LXW_MAX_CELL_NAME_LENGTH];
            lxw_rowcol_to_cell(ref, 0, col);
            name.assign(ref, std::strlen(ref) - 1); // without the row's "1"
        }
        m_xml += name;
        appendInt(std::uint64_t(row) + 1);
    }

    // Cells come in the columns' order, but a sheet holds them left to right.
    void sortCells()
    {
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < m_cells.size(); ++i) {
            const std::size_t end = i + 1 < m_cells.size() ? m_cells[i + 1].begin : m_xml.size();
            cells.emplace_back(m_xml, m_cells[i].begin, end - m_cells[i].begin);
        }
        std::vector<std::size_t> order(m_cells.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return m_cells[a].col < m_cells[b].col; });
        m_xml.resize(m_rowStart);
        for (const std::size_t i : order)
            m_xml += cells[i];
    }

    void endRow()
    {
        if (!m_inRow)
            return;
        if (m_unordered)
            sortCells();
        m_xml += "</row>";
        std::fwrite(m_xml.data(), 1, m_xml.size(), m_sheet->file);
        m_xml.clear();
        m_cells.clear();
        m_unordered = false;
        m_inRow = false;
    }

    lxw_worksheet *m_sheet;
    std::string m_xml;
    std::vector<Cell> m_cells;
    std::vector<std::string> m_colNames;
    std::size_t m_rowStart = 0;
    lxw_row_t m_row = 0;
    bool m_inRow = false;
    bool m_unordered = false;
};

class Sheet {
public:
    Sheet(const QString &path, bool constantMemory)
    {
        lxw_workbook_options options = {};
        options.constant_memory = constantMemory ? LXW_TRUE : LXW_FALSE;
        options.use_zip64 = LXW_TRUE;
        m_path = path.toUtf8();
        m_book = workbook_new_opt(m_path.constData(), &options);
        if (!m_book)
            throw ExportError(QStringLiteral("Cannot create the workbook %1").arg(path));
        m_sheet = workbook_add_worksheet(m_book, nullptr);
        m_date = format("yyyy-mm-dd");
        m_time = format("hh:mm:ss");
        m_dateTime = format("yyyy-mm-dd hh:mm:ss");
        m_timeMs = format("hh:mm:ss.000");
        m_dateTimeMs = format("yyyy-mm-dd hh:mm:ss.000");
        if (!m_sheet || !m_date || !m_time || !m_dateTime || !m_timeMs || !m_dateTimeMs)
            throw ExportError(QStringLiteral("Cannot create the workbook %1").arg(path));
        if (constantMemory)
            m_rows.emplace(m_sheet);
    }

    ~Sheet()
    {
        if (m_book)
            lxw_workbook_free(m_book);
    }

    Sheet(const Sheet &) = delete;
    Sheet &operator=(const Sheet &) = delete;

    void text(lxw_row_t row, lxw_col_t col, std::string &value)
    {
        makeUtf8(value);
        if (cutToCell(value))
            ++m_cut;
        escapeForSheet(value);
        if (m_rows)
            return m_rows->text(row, col, value);
        check(worksheet_write_string(m_sheet, row, col, value.c_str(), nullptr));
    }

    void number(lxw_row_t row, lxw_col_t col, double value, lxw_format *fmt = nullptr)
    {
        if (m_rows)
            return m_rows->number(row, col, value, fmt ? styleOf(fmt) : 0);
        check(worksheet_write_number(m_sheet, row, col, value, fmt));
        // The sheet is written with 16 significant digits; a value they do not give back is
        // noted with its shortest exact digits for putExactNumbers.
        // Whole numbers below 2^53 (counts, days) have at most 16 digits: nothing to ask.
        if (std::abs(value) < 9007199254740992.0 && value == std::trunc(value))
            return;
        char digits[32];
        const int n = std::snprintf(digits, sizeof digits, "%.16G", value);
        if (n > 0 && std::strtod(digits, nullptr) != value)
            m_exact.add({row, col, value});
    }

    // A time of day or a moment (day 0 for a time) to the millisecond, with a format that shows
    // the fraction when there is one. A value with finer digits than the formats show stays text.
    bool moment(lxw_row_t row, lxw_col_t col, std::int64_t day, std::int64_t us, bool withDate)
    {
        if (us % 1000 != 0)
            return false;
        const std::int64_t ms = us / 1000;
        lxw_format *fmt = ms % 1000 == 0 ? (withDate ? m_dateTime : m_time) : (withDate ? m_dateTimeMs : m_timeMs);
        number(row, col, serialOf(day, ms), fmt);
        return true;
    }

    void boolean(lxw_row_t row, lxw_col_t col, bool value)
    {
        if (m_rows)
            return m_rows->boolean(row, col, value);
        check(worksheet_write_boolean(m_sheet, row, col, value ? 1 : 0, nullptr));
    }

    // One field of the current record, typed.
    void value(lxw_row_t row, lxw_col_t col, const RowReader &reader, int field)
    {
        if (reader.isNull(field))
            return;
        const int type = reader.type(field);
        m_text.clear();
        switch (db::storageOf(type)) {
        case db::Storage::Int64: {
            const std::int64_t v = reader.int64(field);
            std::int64_t day = 0;
            // A sheet's date or time has no offset: a value with one stays text, offset and all.
            const bool zoned = reader.zone(field) != db::RowStore::kNoZone;
            switch (type) {
            case db::adBoolean: boolean(row, col, v != 0); return;
            case db::adDBDate:
                if (sheetDay(v, day))
                    return number(row, col, double(day), m_date);
                break;
            case db::adDBTime:
                // 24:00:00 would show as 00:00:00: it stays text.
                if (v < kUsPerDay && !zoned && moment(row, col, 0, v, false))
                    return;
                break;
            case db::adDate:
            case db::adDBTimeStamp: {
                const std::int64_t days = floorDiv(v, kUsPerDay);
                if (!zoned && sheetDay(days + kEpochJulianDay, day) && moment(row, col, day, v - days * kUsPerDay, true))
                    return;
                break;
            }
            default:
                if (v >= -kExactWhole && v <= kExactWhole)
                    return number(row, col, double(v));
                break;
            }
            break;
        }
        case db::Storage::Double: {
            const double v = reader.real(field);
            if (std::isfinite(v))
                return number(row, col, v);
            break;
        }
        case db::Storage::Text:
            if (db::isNumericType(type)) {
                const std::string_view digits = reader.bytes(field);
                if (fitsNumber(digits)) {
                    m_text.assign(digits);
                    return number(row, col, std::strtod(m_text.c_str(), nullptr));
                }
            }
            break;
        case db::Storage::Blob: break;
        }
        reader.appendText(field, m_text);
        text(row, col, m_text);
    }

    // Writes the workbook to the target's temporary file.
    void close(const TargetFile &target)
    {
        if (m_rows)
            m_rows->finish();
        lxw_workbook *book = m_book;
        m_book = nullptr;
        errno = 0;
        const lxw_error rc = workbook_close(book);
        const int systemError = errno;
        if (rc != LXW_NO_ERROR)
            throw ExportError(target.failureText(QString::fromUtf8(lxw_strerror(rc)), systemError));
    }

    std::size_t cutCells() const { return m_cut; }
    ExactNumbers &exactNumbers() { return m_exact; }

private:
    int styleOf(lxw_format *fmt)
    {
        for (const auto &[known, style] : m_styles)
            if (known == fmt)
                return style;
        m_styles.emplace_back(fmt, lxw_format_get_xf_index(fmt));
        return m_styles.back().second;
    }

    lxw_format *format(const char *pattern)
    {
        lxw_format *f = workbook_add_format(m_book);
        if (f)
            format_set_num_format(f, pattern);
        return f;
    }

    void check(lxw_error rc) const
    {
        if (rc != LXW_NO_ERROR)
            throw ExportError(QStringLiteral("Cannot write the workbook: %1").arg(QString::fromUtf8(lxw_strerror(rc))));
    }

    QByteArray m_path;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_date = nullptr;
    lxw_format *m_time = nullptr;
    lxw_format *m_dateTime = nullptr;
    lxw_format *m_timeMs = nullptr;
    lxw_format *m_dateTimeMs = nullptr;
    ExactNumbers m_exact;
    std::optional<SheetRows> m_rows;
    std::vector<std::pair<lxw_format *, int>> m_styles;
    std::string m_text;
    std::size_t m_cut = 0;
};

} // namespace

WriteResult writeXlsx(const ExportJob &job)
{
    TargetFile target(job.fileName);
    // Constant memory needs the cells row by row, which the turned layout does not give.
    Sheet sheet(target.tempPath(), !job.headersAsRows);
    const bool turned = job.headersAsRows;
    if (job.includeHeaders) {
        std::string name;
        // A refused column's values stay out, but its name is written over its empty column.
        std::vector<ExportColumn> named = job.columns;
        named.insert(named.end(), job.refused.begin(), job.refused.end());
        for (const ExportColumn &column : named) {
            name = column.name.toStdString();
            const lxw_row_t at = lxw_row_t(column.field);
            if (turned)
                sheet.text(at, 0, name);
            else
                sheet.text(0, lxw_col_t(at), name);
        }
    }

    // Records start at the second row (or column) whether or not the names were written.
    const std::size_t limit = turned ? LXW_COL_MAX : LXW_ROW_MAX;
    RowReader row(job);
    std::size_t position = 2;
    WriteResult result;
    for (std::size_t r = 0; row.seek(r); ++r) {
        if (position > limit) {
            result.outcome = WriteResult::LimitReached;
            result.message = QStringLiteral("Spreadsheet cannot contain  more than %1 %2")
                                 .arg(formatCount(limit, false), turned ? QStringLiteral("columns") : QStringLiteral("rows"));
            break;
        }
        for (const ExportColumn &column : job.columns) {
            if (turned)
                sheet.value(lxw_row_t(column.field), lxw_col_t(position - 1), row, column.field);
            else
                sheet.value(lxw_row_t(position - 1), lxw_col_t(column.field), row, column.field);
        }
        ++position;
        if (job.progress->record(position - 2))
            return {WriteResult::Stopped, position - 2, {}};
    }
    job.progress->status(QStringLiteral("Saving workbook ..."));
    // The library packs the workbook (every sheet deflated) in one call, seconds long for a large
    // sheet: it runs on a thread of its own while this one keeps the event loop turning. A stop
    // asked for meanwhile is heard, and the packed file thrown away once the call returns.
    const bool stopped = runAside(*job.progress, [&sheet, &target] {
        sheet.close(target);
        if (!sheet.exactNumbers().empty())
            putExactNumbers(target.tempPath(), sheet.exactNumbers());
    });
    if (stopped || !target.commit(*job.progress))
        return {WriteResult::Stopped, position - 2, {}};
    result.records = position - 2;
    if (sheet.cutCells() > 0) {
        const QString cut = QStringLiteral("%1 cells held more than %2 characters, the most a spreadsheet cell holds, "
                                           "and were cut to that length.")
                                .arg(formatCount(sheet.cutCells(), false), formatCount(kMaxCellChars, false));
        result.message = result.message.isEmpty() ? cut : result.message + u'\r' + cut;
    }
    return result;
}

} // namespace hlexport
