#include "OfficeWriters.h"

#include "RowReader.h"
#include "TargetFile.h"

#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Types.h"

#include <QDate>

#include <xlsxwriter.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace hlexport {

namespace {

constexpr std::int64_t kUsPerDay = 86400000000;
constexpr std::int64_t kEpochJulianDay = 2440588; // 1970-01-01
// A spreadsheet number holds 15 significant digits; wider whole numbers and decimals are
// written as text so that no digit is lost.
constexpr std::int64_t kExactWhole = 999999999999999;
constexpr std::size_t kMaxCellChars = 32767;

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The sheet's day number of a Julian day; false outside 1900-9999 (and for the infinities),
// which a sheet cannot show as a date. Day 60 is the sheet's 29 February 1900, a day that never was.
bool sheetDay(std::int64_t julianDay, double &day)
{
    static const std::int64_t jan1 = QDate(1900, 1, 1).toJulianDay();
    static const std::int64_t mar1 = QDate(1900, 3, 1).toJulianDay();
    static const std::int64_t last = QDate(9999, 12, 31).toJulianDay();
    if (julianDay < jan1 || julianDay > last)
        return false;
    day = double(julianDay - jan1 + (julianDay >= mar1 ? 2 : 1));
    return true;
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
// U+FFFE and U+FFFF, which XML cannot carry, travel in that escape.
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
        if (!m_sheet || !m_date || !m_time || !m_dateTime)
            throw ExportError(QStringLiteral("Cannot create the workbook %1").arg(path));
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
        check(worksheet_write_string(m_sheet, row, col, value.c_str(), nullptr));
    }

    void number(lxw_row_t row, lxw_col_t col, double value, lxw_format *fmt = nullptr)
    {
        check(worksheet_write_number(m_sheet, row, col, value, fmt));
    }

    void boolean(lxw_row_t row, lxw_col_t col, bool value)
    {
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
            double day = 0;
            switch (type) {
            case db::adBoolean: boolean(row, col, v != 0); return;
            case db::adDBDate:
                if (sheetDay(v, day))
                    return number(row, col, day, m_date);
                break;
            case db::adDBTime:
                // 24:00:00 would show as 00:00:00: it stays text.
                if (v < kUsPerDay)
                    return number(row, col, double(v) / double(kUsPerDay), m_time);
                break;
            case db::adDate:
            case db::adDBTimeStamp: {
                const std::int64_t days = floorDiv(v, kUsPerDay);
                if (sheetDay(days + kEpochJulianDay, day))
                    return number(row, col, day + double(v - days * kUsPerDay) / double(kUsPerDay), m_dateTime);
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
        lxw_workbook *book = m_book;
        m_book = nullptr;
        errno = 0;
        const lxw_error rc = workbook_close(book);
        const int systemError = errno;
        if (rc != LXW_NO_ERROR)
            throw ExportError(target.failureText(QString::fromUtf8(lxw_strerror(rc)), systemError));
    }

    std::size_t cutCells() const { return m_cut; }

private:
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
        for (const ExportColumn &column : job.columns) {
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
    sheet.close(target);
    target.commit();
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
