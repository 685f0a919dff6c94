// The grid's own file: SaveGrid and LoadGrid.
//
//   TabulonGrid 1                 first line: the format and its version
//   rows 12                       counts (fixed rows and columns included)
//   cols 10
//   fixedrows 1
//   fixedcols 0
//   col 3 width 1200 hidden 1     layout, one line per column (flexFileAll, flexFileFormat)
//   cells                         then exactly `rows` lines of exactly `cols` cells (not with
//   Name<TAB>is<TAB>...           flexFileFormat), separated by tabs; in a cell \\ \t \n \r
//   ...                           stand for backslash, tab, line feed and carriage return,
//   end                           and a cell of just \N is a Null. The last line is "end".
//
// UTF-8, written through QSaveFile so that a failed save leaves the old file whole.
#include "grid/Grid.h"

#include "grid/GridModel.h"

#include "db/Recordset.h"
#include "files/AtomicFile.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <map>
#include <optional>

namespace grid {

namespace {

const QString Magic = QStringLiteral("TabulonGrid");
constexpr int Version = 1;
constexpr qint64 MaxFileBytes = qint64(1) << 31;
constexpr qint64 MaxCells = 50'000'000;
constexpr int MaxColsWithoutRows = 65'536;

// A cell as the file holds it: backslash, tab, line feed and carriage return escaped, a Null as
// \N. Every escaped character is ASCII, so the UTF-8 bytes are escaped as they stand.
void appendEscapedUtf8(std::string_view text, bool isNull, QByteArray &out)
{
    if (isNull) {
        out += "\\N";
        return;
    }
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const char *escape = ch == '\\' ? "\\\\" : ch == '\t' ? "\\t" : ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : nullptr;
        if (!escape)
            continue;
        out.append(text.data() + from, qsizetype(i - from));
        out.append(escape, 2);
        from = i + 1;
    }
    out.append(text.data() + from, qsizetype(text.size() - from));
}

// Nothing for a bad escape.
std::optional<QString> unescapeCell(const QString &field)
{
    if (field == QLatin1String("\\N"))
        return QString();
    QString out = QStringLiteral(""); // an empty cell is empty text, not Null
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar ch = field.at(i);
        if (ch != QLatin1Char('\\')) {
            out += ch;
            continue;
        }
        if (++i >= field.size())
            return std::nullopt;
        switch (field.at(i).unicode()) {
        case '\\': out += QLatin1Char('\\'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 'r': out += QLatin1Char('\r'); break;
        default: return std::nullopt;
        }
    }
    return out;
}

struct ColumnLayout {
    int width = -1; // twips
    bool hidden = false;
};

struct GridFileContent {
    int rows = -1, cols = -1, fixedRows = -1, fixedCols = -1;
    std::map<int, ColumnLayout> layout;
    bool hasCells = false;
    std::vector<RowRecord> cells;
};

[[noreturn]] void fail(const QString &path, const QString &what)
{
    throw GridError(QStringLiteral("Grid.LoadGrid: \"%1\" %2").arg(path, what));
}

GridFileContent parse(const QString &path, const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        fail(path, QStringLiteral("is empty; it is not a grid file"));
    const QStringList first = lines.first().split(QLatin1Char(' '));
    if (first.size() != 2 || first.at(0) != Magic)
        fail(path, QStringLiteral("is not a grid file of this program"));
    bool ok = false;
    const int version = first.at(1).toInt(&ok);
    if (!ok)
        fail(path, QStringLiteral("has a damaged version line"));
    if (version > Version)
        fail(path, QStringLiteral("was written by a newer version (file version %1, this program reads %2)")
                       .arg(version).arg(Version));

    GridFileContent content;
    qsizetype i = 1;
    auto number = [&](const QString &value, qsizetype line) {
        bool good = false;
        const int n = value.toInt(&good);
        if (!good || n < 0)
            fail(path, QStringLiteral("line %1: \"%2\" is not a count").arg(line + 1).arg(value));
        return n;
    };
    bool ended = false;
    for (; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line == QLatin1String("cells")) {
            content.hasCells = true;
            ++i;
            break;
        }
        if (line == QLatin1String("end")) {
            ended = true;
            ++i;
            break;
        }
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() == 2 && parts.at(0) == QLatin1String("rows"))
            content.rows = number(parts.at(1), i);
        else if (parts.size() == 2 && parts.at(0) == QLatin1String("cols"))
            content.cols = number(parts.at(1), i);
        else if (parts.size() == 2 && parts.at(0) == QLatin1String("fixedrows"))
            content.fixedRows = number(parts.at(1), i);
        else if (parts.size() == 2 && parts.at(0) == QLatin1String("fixedcols"))
            content.fixedCols = number(parts.at(1), i);
        else if (parts.size() == 6 && parts.at(0) == QLatin1String("col") && parts.at(2) == QLatin1String("width")
                 && parts.at(4) == QLatin1String("hidden")) {
            ColumnLayout col;
            const int c = number(parts.at(1), i);
            bool good = false;
            col.width = parts.at(3).toInt(&good);
            if (!good || col.width < -1)
                fail(path, QStringLiteral("line %1: bad column width").arg(i + 1));
            col.hidden = number(parts.at(5), i) != 0;
            content.layout[c] = col;
        } else {
            fail(path, QStringLiteral("line %1: \"%2\" is not understood").arg(i + 1).arg(line.left(60)));
        }
    }
    if (content.rows < 0 || content.cols < 0 || content.fixedRows < 0 || content.fixedCols < 0)
        fail(path, QStringLiteral("lacks its rows, cols, fixedrows or fixedcols line"));
    if (content.fixedRows > content.rows || content.fixedCols > content.cols)
        fail(path, QStringLiteral("has more fixed rows or columns than rows or columns"));
    if (qint64(std::max(1, content.rows)) * qint64(std::max(1, content.cols)) > MaxCells)
        fail(path, QStringLiteral("holds more cells than a grid can take"));
    // Columns of a grid without rows have nothing in the file to show for them.
    if (content.rows == 0 && content.cols > MaxColsWithoutRows)
        fail(path, QStringLiteral("claims %1 columns without a row").arg(content.cols));
    for (const auto &[c, layout] : content.layout)
        if (c >= content.cols)
            fail(path, QStringLiteral("describes column %1 of a grid of %2 columns").arg(c).arg(content.cols));

    if (content.hasCells) {
        // The counts are only claims: memory is taken for the row lines the file really holds,
        // and a file that claims more ends in the loop's own "ends after" error.
        content.cells.reserve(std::size_t(std::clamp<qsizetype>(lines.size() - i, 0, content.rows)));
        for (int r = 0; r < content.rows; ++r, ++i) {
            if (i >= lines.size())
                fail(path, QStringLiteral("ends after %1 of its %2 rows").arg(r).arg(content.rows));
            const QString &line = lines.at(i);
            if (line == QLatin1String("end"))
                fail(path, QStringLiteral("ends after %1 of its %2 rows").arg(r).arg(content.rows));
            QStringList fields = content.cols == 0 ? QStringList() : line.split(QLatin1Char('\t'));
            if (content.cols == 0 && !line.isEmpty())
                fail(path, QStringLiteral("line %1: cells in a grid without columns").arg(i + 1));
            if (fields.size() != content.cols)
                fail(path, QStringLiteral("line %1: %2 cells where the grid has %3 columns")
                               .arg(i + 1).arg(fields.size()).arg(content.cols));
            RowRecord rec;
            rec.cells.reserve(std::size_t(content.cols));
            for (const QString &field : fields) {
                auto cell = unescapeCell(field);
                if (!cell)
                    fail(path, QStringLiteral("line %1: a cell holds a broken escape").arg(i + 1));
                rec.cells.push_back(std::move(*cell));
            }
            content.cells.push_back(std::move(rec));
        }
        if (i < lines.size() && lines.at(i) == QLatin1String("end")) {
            ended = true;
            ++i;
        }
    }
    if (!ended)
        fail(path, QStringLiteral("is cut short (its \"end\" line is missing)"));
    if (i != lines.size())
        fail(path, QStringLiteral("line %1: text after the end").arg(i + 1));
    return content;
}

} // namespace

std::string_view GridModel::rawUtf8(int r, int c, char *buf, QByteArray &scratch, bool *null) const
{
    checkRow(r, "TextMatrix");
    checkCol(c, "TextMatrix");
    if (const RowRecord *rec = record(r)) {
        if (std::size_t(c) >= rec->cells.size()) {
            *null = true;
            return {};
        }
        const QString &cell = rec->cells[std::size_t(c)];
        *null = cell.isNull();
        scratch = cell.toUtf8();
        return {scratch.constData(), std::size_t(scratch.size())};
    }
    const int field = m_cols[std::size_t(c)].field;
    *null = field < 0 || m_rs->isNull(std::size_t(r - m_fixedRows), field);
    if (*null)
        return {};
    return m_rs->displayUtf8(std::size_t(r - m_fixedRows), field, buf);
}

void Grid::appendTextMatrixUtf8(int row, int col, QByteArray &out) const
{
    // A column with a number format shows its data rows formatted: those cells take that text.
    if (row >= m_model->fixedRows() && col >= 0 && col < m_model->cols() && !m_model->column(col).format.isEmpty()) {
        out += m_model->displayText(row, col).toUtf8();
        return;
    }
    char buf[64];
    QByteArray scratch;
    bool null = false;
    const std::string_view text = m_model->rawUtf8(row, col, buf, scratch, &null);
    out.append(text.data(), qsizetype(text.size()));
}

void Grid::SaveGrid(const QString &path, int what) const
{
    if (what < flexFileAll || what > flexFileFormat)
        throw GridArgumentError("Grid.SaveGrid: what is 0 (all), 1 (cells) or 2 (layout)");
    if (m_model->isBound() && m_model->recordset() && !m_model->recordset()->isComplete()) {
        if (!m_model->recordset()->fetchAll()) // a file holds every row
            throw db::DbError::cancelled(m_model->recordset()->Source());
        m_model->syncBound();
    }
    const int rows = m_model->rows();
    const int cols = m_model->cols();
    files::AtomicFile file(path);
    if (const auto error = file.open())
        throw GridError(QStringLiteral("Grid.SaveGrid: %1").arg(*error));
    // Written in pieces as the cells are read: the whole file is never held.
    constexpr qsizetype kPiece = qsizetype(1) << 20;
    QByteArray out;
    out.reserve(kPiece + 4096);
    out += QStringLiteral("%1 %2\n").arg(Magic).arg(Version).toUtf8();
    out += QStringLiteral("rows %1\ncols %2\nfixedrows %3\nfixedcols %4\n")
               .arg(what == flexFileFormat ? 0 : rows)
               .arg(cols)
               .arg(what == flexFileFormat ? 0 : m_model->fixedRows())
               .arg(m_model->fixedCols())
               .toUtf8();
    if (what != flexFileData) {
        for (int c = 0; c < cols; ++c) {
            const ColumnInfo &info = m_model->column(c);
            out += QStringLiteral("col %1 width %2 hidden %3\n")
                       .arg(c)
                       .arg(info.widthPx < 0 ? -1 : twipsX(info.widthPx))
                       .arg(info.hidden ? 1 : 0)
                       .toUtf8();
        }
    }
    bool written = true;
    if (what != flexFileFormat) {
        out += "cells\n";
        char buf[64];
        QByteArray scratch;
        for (int r = 0; r < rows && written; ++r) {
            for (int c = 0; c < cols; ++c) {
                if (c > 0)
                    out += '\t';
                bool null = false;
                const std::string_view text = m_model->rawUtf8(r, c, buf, scratch, &null);
                appendEscapedUtf8(text, null, out);
            }
            out += '\n';
            if (out.size() >= kPiece) {
                written = file.write(out);
                out.clear();
            }
        }
    }
    out += "end\n";
    if (written)
        file.write(out);
    if (const auto error = file.commit())
        throw GridError(QStringLiteral("Grid.SaveGrid: %1").arg(*error));
}

void Grid::LoadGrid(const QString &path, int what)
{
    if (what < flexFileAll || what > flexFileFormat)
        throw GridArgumentError("Grid.LoadGrid: what is 0 (all), 1 (cells) or 2 (layout)");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw GridError(QStringLiteral("Grid.LoadGrid: \"%1\" cannot be opened: %2").arg(path, file.errorString()));
    if (file.size() > MaxFileBytes)
        fail(path, QStringLiteral("is too large for a grid file"));
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\0'))
        fail(path, QStringLiteral("is not a text file"));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        fail(path, QStringLiteral("is not UTF-8 text"));

    // Everything is read and checked before the grid changes.
    GridFileContent content = parse(path, text);

    FinishEditing(true);
    if (what != flexFileFormat && content.hasCells) {
        m_source.reset();
        m_sortKeys.clear();
        m_listSelected.clear();
        m_model->replaceAll(content.cols, content.fixedRows, content.fixedCols, std::move(content.cells));
    }
    if (what != flexFileData) {
        for (const auto &[c, layout] : content.layout) {
            if (c >= m_model->cols())
                continue;
            ColumnInfo &info = m_model->column(c);
            info.widthPx = layout.width < 0 ? -1 : pixelsX(layout.width);
            info.hidden = layout.hidden;
        }
        applyColumnLayout();
    }
    afterStructureChange();
}

} // namespace grid
