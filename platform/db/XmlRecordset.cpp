// Persisted rowsets: our own XML format, UTF-8, XML 1.0.
//
//   <recordset xmlns="urn:tabulon:recordset:1" version="1">
//     <schema>
//       <column attr="c0" name="Order Id" type="3" size="4" precision="10" scale="0" nullable="true"
//               basetable="orders" basecolumn="id" baseschema="" declared="INTEGER"/>
//       ...
//     </schema>
//     <data>
//       <row c0="1" c1="Anna"/>
//       <row c0="2"/>            a missing attribute is a Null; c1="" is an empty text
//     </data>
//   </recordset>
//
// Columns are addressed by their attr name (c0, c1, ...), never by their own name, so any column
// name survives. Values are canonical text for the column's type code:
//   integers        decimal digits                     Booleans  true / false
//   floating        shortest text reading back to the same double; INF, -INF, NaN
//   dates           yyyy-MM-dd      times  HH:mm:ss[.zzz]      timestamps  yyyy-MM-ddTHH:mm:ss[.zzz]
//   decimals, text  as held, byte for byte             binary    base64
// Line breaks, tabs and carriage returns inside attributes are written as character references,
// so attribute normalisation cannot turn them into blanks. A text (or a name) that XML 1.0 cannot
// carry - control characters, unpaired surrogates, bytes that are not UTF-8 - or that holds the
// line or paragraph separator U+2028/U+2029, which a text box turns into a line break, is written
// instead as base64 of its bytes under the same attribute name with ".b64" appended
// (c3.b64="..."), which reads back byte for byte. Readers reject anything else: another root or namespace, an unknown type
// code, an attribute no column owns, a value that does not parse for its type.

#include "db/XmlRecordset.h"

#include "db/DbError.h"
#include "db/ValueRules.h"
#include "files/AtomicFile.h"

#include <QFile>
#include <QHash>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace db {

namespace {

const QString kNamespace = QStringLiteral("urn:tabulon:recordset:1");
const QString kVersion = QStringLiteral("1");
const QLatin1String kB64Suffix(".b64");

// True when the bytes are well-formed UTF-8 holding only characters XML 1.0 allows, U+2028 and
// U+2029 aside.
bool isXmlSafeUtf8(const char *data, std::size_t n)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            if (b < 0x20 && b != 0x09 && b != 0x0A && b != 0x0D)
                return false;
            ++i;
            continue;
        }
        int len = 0;
        char32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2;
            c = b & 0x1F;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            c = b & 0x0F;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            c = b & 0x07;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + std::size_t(len) > n)
            return false;
        for (int k = 1; k < len; ++k) {
            const unsigned char cb = p[i + std::size_t(k)];
            if ((cb & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (cb & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF)
            return false;
        // Legal XML, but a text box (the SQL box a document opens into) turns them into line
        // breaks, and a document saved from there would hold blanks instead.
        if (c == 0x2028 || c == 0x2029)
            return false;
        i += std::size_t(len);
    }
    return true;
}

// Writes a text attribute, or its base64 form when XML cannot carry it.
void writeText(QXmlStreamWriter &w, const QString &attr, const char *utf8, std::size_t n)
{
    if (isXmlSafeUtf8(utf8, n))
        w.writeAttribute(attr, QString::fromUtf8(utf8, qsizetype(n)));
    else
        w.writeAttribute(attr + kB64Suffix, QString::fromLatin1(QByteArray(utf8, qsizetype(n)).toBase64()));
}

void writeText(QXmlStreamWriter &w, const QString &attr, const QString &text)
{
    const QByteArray u = text.toUtf8();
    writeText(w, attr, u.constData(), std::size_t(u.size()));
}

std::size_t formatDoubleExact(double v, char *buf)
{
    if (std::isnan(v)) {
        std::memcpy(buf, "NaN", 3);
        return 3;
    }
    if (std::isinf(v)) {
        if (v < 0) {
            std::memcpy(buf, "-INF", 4);
            return 4;
        }
        std::memcpy(buf, "INF", 3);
        return 3;
    }
    return std::size_t(std::to_chars(buf, buf + 64, v).ptr - buf);
}

bool knownType(int type)
{
    return type != adEmpty && !typeName(type).isEmpty();
}

// The XML reader checks an element's attributes for repeats pair by pair: a crafted row of 100,000
// attributes took half a minute to be refused. No recordset has that many columns (the clients
// stop far below), so an element with more is refused by a quick pass before the real reading.
constexpr int kMostAttributes = 4096;

void refuseCrowdedElements(QFile &file, const QString &path)
{
    enum class State { Text, Markup, Tag, Quoted, Skip } state = State::Text;
    char quote = 0;
    int attributes = 0;
    qint64 line = 1;
    char buffer[1 << 16];
    for (;;) {
        const qint64 n = file.read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (qint64 i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n')
                ++line;
            switch (state) {
            case State::Text:
                if (c == '<')
                    state = State::Markup;
                break;
            case State::Markup:
                // comments, declarations and processing instructions hold no attributes to count
                state = c == '!' || c == '?' ? State::Skip : State::Tag;
                attributes = 0;
                if (c == '>')
                    state = State::Text;
                break;
            case State::Tag:
                if (c == '"' || c == '\'') {
                    quote = c;
                    state = State::Quoted;
                } else if (c == '=' && ++attributes > kMostAttributes) {
                    throw DbError(QStringLiteral("%1, line %2: an element has more than %3 attributes, more than "
                                                 "any recordset has columns")
                                      .arg(path)
                                      .arg(line)
                                      .arg(kMostAttributes));
                } else if (c == '>') {
                    state = State::Text;
                }
                break;
            case State::Quoted:
                if (c == quote)
                    state = State::Tag;
                break;
            case State::Skip:
                if (c == '>')
                    state = State::Text;
                break;
            }
        }
    }
    // a read error shows again when the document itself is read
    file.seek(0);
}

class Reader {
public:
    explicit Reader(const QString &path) : m_path(path) {}

    std::shared_ptr<RowStore> read()
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("Cannot open the XML document %1: %2").arg(m_path, file.errorString()));
        refuseCrowdedElements(file, m_path);
        r.setDevice(&file);
        r.setNamespaceProcessing(true);

        if (!nextElement())
            fail(QStringLiteral("The file holds no XML element"));
        if (r.name() != u"recordset" || r.namespaceUri() != kNamespace)
            fail(QStringLiteral("This is not a saved recordset (root element <%1> in namespace '%2')")
                     .arg(r.qualifiedName().toString(), r.namespaceUri().toString()));
        const QStringView version = r.attributes().value(QString(), QStringLiteral("version"));
        if (version != kVersion)
            fail(QStringLiteral("Version '%1' of the recordset format is not supported").arg(version.toString()));

        expectElement(u"schema");
        std::vector<FieldInfo> fields;
        while (nextElementOrEnd()) {
            if (r.name() != u"column")
                fail(QStringLiteral("Expected <column>, found <%1>").arg(r.name().toString()));
            fields.push_back(readColumn(int(fields.size())));
            skipToEnd();
        }
        auto store = std::make_shared<RowStore>(std::move(fields));
        m_store = store.get();

        expectElement(u"data");
        while (nextElementOrEnd()) {
            if (r.name() != u"row")
                fail(QStringLiteral("Expected <row>, found <%1>").arg(r.name().toString()));
            readRow();
            skipToEnd();
        }
        // </data>, then </recordset> and nothing else
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement())
                fail(QStringLiteral("Unexpected element <%1> after the data").arg(r.name().toString()));
            checkCharacters();
        }
        if (r.hasError())
            failReader();
        return store;
    }

private:
    QString m_path;
    QXmlStreamReader r;
    RowStore *m_store = nullptr;
    std::vector<QString> m_attrs; // attr name per column
    QHash<QString, int> m_attrIndex;
    std::vector<std::uint8_t> m_seen; // columns given in the current row

    [[noreturn]] void fail(const QString &what) const
    {
        throw DbError(QStringLiteral("%1, line %2, column %3: %4")
                          .arg(m_path)
                          .arg(r.lineNumber())
                          .arg(r.columnNumber())
                          .arg(what));
    }

    [[noreturn]] void failReader() const
    {
        fail(QStringLiteral("malformed XML: %1").arg(r.errorString()));
    }

    void checkCharacters()
    {
        if (r.isCharacters() && !r.isWhitespace())
            fail(QStringLiteral("Unexpected text '%1'").arg(r.text().toString().left(40)));
    }

    // Moves to the next start element; false at the end of the document.
    bool nextElement()
    {
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement())
                return true;
            checkCharacters();
        }
        if (r.hasError())
            failReader();
        return false;
    }

    // Moves to the next child start element; false at the end element of the current one.
    bool nextElementOrEnd()
    {
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement()) {
                if (r.namespaceUri() != kNamespace)
                    fail(QStringLiteral("Element <%1> is not part of the recordset format").arg(r.qualifiedName().toString()));
                return true;
            }
            if (r.isEndElement())
                return false;
            checkCharacters();
        }
        failReader();
    }

    void expectElement(QStringView name)
    {
        if (!nextElementOrEnd() || r.name() != name)
            fail(QStringLiteral("Expected <%1>").arg(name.toString()));
    }

    void skipToEnd()
    {
        while (!r.atEnd()) {
            r.readNext();
            if (r.isEndElement())
                return;
            if (r.isStartElement())
                fail(QStringLiteral("Unexpected element <%1>").arg(r.name().toString()));
            checkCharacters();
        }
        failReader();
    }

    QByteArray decodeBase64(QStringView text)
    {
        const auto res = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!res)
            fail(QStringLiteral("'%1' is not base64").arg(text.left(40).toString()));
        return res.decoded;
    }

    // A text attribute in either of its two forms; nullopt when neither is present.
    std::optional<QString> textAttribute(const QXmlStreamAttributes &a, const QString &name)
    {
        const bool plain = a.hasAttribute(name);
        const bool b64 = a.hasAttribute(name + kB64Suffix);
        if (plain && b64)
            fail(QStringLiteral("Attribute '%1' is given twice").arg(name));
        if (plain)
            return a.value(name).toString();
        if (b64)
            return QString::fromUtf8(decodeBase64(a.value(name + kB64Suffix)));
        return std::nullopt;
    }

    long longAttribute(const QXmlStreamAttributes &a, const QString &name, bool required)
    {
        if (!a.hasAttribute(name)) {
            if (required)
                fail(QStringLiteral("The column has no '%1'").arg(name));
            return 0;
        }
        bool ok = false;
        const long v = a.value(name).toLong(&ok);
        if (!ok)
            fail(QStringLiteral("'%1' is not a valid %2").arg(a.value(name).toString(), name));
        return v;
    }

    FieldInfo readColumn(int index)
    {
        static const QStringList known = {"attr", "name", "type", "size", "precision", "scale", "nullable",
                                          "basetable", "basecolumn", "baseschema", "declared"};
        const QXmlStreamAttributes a = r.attributes();
        for (const QXmlStreamAttribute &at : a) {
            QString n = at.name().toString();
            if (n.endsWith(kB64Suffix))
                n.chop(kB64Suffix.size());
            if (!known.contains(n))
                fail(QStringLiteral("Unknown column attribute '%1'").arg(at.name().toString()));
        }
        FieldInfo f;
        const std::optional<QString> name = textAttribute(a, QStringLiteral("name"));
        if (!name)
            fail(QStringLiteral("Column %1 has no name").arg(index + 1));
        f.Name = *name;
        f.Type = int(longAttribute(a, QStringLiteral("type"), true));
        if (!knownType(f.Type))
            fail(QStringLiteral("Unknown type code %1 for the column '%2'").arg(f.Type).arg(f.Name));
        f.DefinedSize = longAttribute(a, QStringLiteral("size"), false);
        f.Precision = int(longAttribute(a, QStringLiteral("precision"), false));
        f.NumericScale = int(longAttribute(a, QStringLiteral("scale"), false));
        const QStringView nullable = a.value(QStringLiteral("nullable"));
        if (nullable == u"false")
            f.Nullable = false;
        else if (nullable.isEmpty() || nullable == u"true")
            f.Nullable = true;
        else
            fail(QStringLiteral("'%1' is not true or false").arg(nullable.toString()));
        f.BaseTableName = textAttribute(a, QStringLiteral("basetable")).value_or(QString());
        f.BaseColumnName = textAttribute(a, QStringLiteral("basecolumn")).value_or(QString());
        f.BaseSchemaName = textAttribute(a, QStringLiteral("baseschema")).value_or(QString());
        f.DeclaredType = textAttribute(a, QStringLiteral("declared")).value_or(QString());

        const QString attr = a.value(QStringLiteral("attr")).toString();
        bool nameOk = !attr.isEmpty() && !attr.contains(u'.') && !attr.contains(u':');
        for (QChar c : attr)
            nameOk = nameOk && (c.isLetterOrNumber() || c == u'_' || c == u'-') && c.unicode() < 128;
        if (!nameOk || attr.front().isDigit() || attr.front() == u'-')
            fail(QStringLiteral("'%1' is not a valid attr name for the column '%2'").arg(attr, f.Name));
        if (m_attrIndex.contains(attr))
            fail(QStringLiteral("Two columns use the attr name '%1'").arg(attr));
        m_attrIndex.insert(attr, index);
        m_attrs.push_back(attr);
        return f;
    }

    // Column of a row attribute: attributes normally come in column order, so look there first.
    int columnOf(QStringView name, std::size_t &hint, bool &b64)
    {
        b64 = name.endsWith(kB64Suffix);
        if (b64)
            name.chop(kB64Suffix.size());
        const std::size_t n = m_attrs.size();
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = (hint + k) % n;
            if (m_attrs[i] == name) {
                hint = i + 1;
                return int(i);
            }
        }
        return -1;
    }

    void readRow()
    {
        RowStore &s = *m_store;
        s.beginRow();
        m_seen.assign(m_attrs.size(), 0);
        std::size_t hint = 0;
        for (const QXmlStreamAttribute &at : r.attributes()) {
            bool b64 = false;
            const int col = columnOf(at.name(), hint, b64);
            if (col < 0 || !at.namespaceUri().isEmpty())
                fail(QStringLiteral("Unknown attribute '%1' in a row").arg(at.qualifiedName().toString()));
            const FieldInfo &f = s.fields()[std::size_t(col)];
            const QStringView v = at.value();
            const Storage storage = storageOf(f.Type);
            if (b64 && storage != Storage::Text)
                fail(QStringLiteral("Attribute '%1' is not allowed for the column '%2'").arg(at.name().toString(), f.Name));
            if (m_seen[std::size_t(col)])
                fail(QStringLiteral("The column '%1' is given twice in a row").arg(f.Name));
            m_seen[std::size_t(col)] = 1;
            switch (storage) {
            case Storage::Int64: {
                int zone = RowStore::kNoZone;
                s.setInt64(col, parseInt64(f, v, &zone));
                if (zone != RowStore::kNoZone)
                    s.setZone(col, zone);
                break;
            }
            case Storage::Double:
                s.setReal(col, parseDouble(f, v));
                break;
            case Storage::Text:
                if (b64) {
                    const QByteArray bytes = decodeBase64(v);
                    s.setText(col, bytes.constData(), std::size_t(bytes.size()));
                } else {
                    // decimals too are taken as held: a SQLite NUMERIC column may keep any text
                    const QByteArray u = v.toUtf8();
                    s.setText(col, u.constData(), std::size_t(u.size()));
                }
                break;
            case Storage::Blob: {
                const QByteArray bytes = decodeBase64(v);
                s.setBlob(col, bytes.constData(), std::size_t(bytes.size()));
                break;
            }
            }
        }
        s.endRow();
    }

    [[noreturn]] void badValue(const FieldInfo &f, QStringView v, const char *what) const
    {
        fail(QStringLiteral("The value '%1' of the column '%2' is not %3")
                 .arg(v.left(40).toString(), f.Name, QLatin1String(what)));
    }

    std::int64_t parseInt64(const FieldInfo &f, QStringView v, int *zone) const
    {
        std::int64_t out = 0;
        switch (f.Type) {
        case adBoolean:
            if (v == u"true" || v == u"1")
                return 1;
            if (v == u"false" || v == u"0")
                return 0;
            badValue(f, v, "true or false");
        case adDBDate:
        case adDBTime:
        case adDBTimeStamp:
        case adDate:
            if (!RowStore::parseTemporal(f.Type, v, out, zone))
                badValue(f, v, f.Type == adDBDate ? "a date" : f.Type == adDBTime ? "a time" : "a date and time");
            return out;
        default: {
            if (!parseInteger(v).has_value())
                badValue(f, v, "a whole number");
            const std::optional<std::int64_t> n = parseInteger(v, f.Type);
            if (!n)
                badValue(f, v, "in the range of its type");
            out = *n;
            return out;
        }
        }
    }

    double parseDouble(const FieldInfo &f, QStringView v) const
    {
        if (v == u"INF")
            return std::numeric_limits<double>::infinity();
        if (v == u"-INF")
            return -std::numeric_limits<double>::infinity();
        if (v == u"NaN")
            return std::numeric_limits<double>::quiet_NaN();
        char buf[64];
        if (v.size() >= qsizetype(sizeof buf) || v.isEmpty())
            badValue(f, v, "a number");
        for (qsizetype i = 0; i < v.size(); ++i) {
            if (v[i].unicode() > 127)
                badValue(f, v, "a number");
            buf[i] = char(v[i].unicode());
        }
        double d = 0;
        const auto res = std::from_chars(buf, buf + v.size(), d);
        if (res.ec != std::errc() || res.ptr != buf + v.size())
            badValue(f, v, "a number");
        return d;
    }
};

} // namespace

// The rows are written as UTF-8 straight from the store, in pieces, with the bytes the stream
// writer would give them (its attribute escapes, one row a line, indented by two): a large
// document is neither held whole nor sent through a string per cell.
struct XmlRecordsetWriter::Impl {
    Impl(const QString &path) : file(path) {}
    files::AtomicFile file; // what was written reaches the path only when committed
    QByteArray out;         // the piece being filled
    std::vector<QByteArray> attrs; // " c0=\"", " c1=\"", ...
    std::vector<int> types;
    bool anyRow = false;
    bool ended = false; // the document's end is written

    void flush()
    {
        if (!file.write(out))
            throw DbError(file.failure().value_or(QStringLiteral("The document could not be written.")));
        out.clear();
    }
    void end();
};

namespace {

constexpr qsizetype kPiece = qsizetype(1) << 20;

// An attribute value as the stream writer escapes it.
void appendEscaped(QByteArray &out, const char *p, std::size_t n)
{
    std::size_t from = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char *escape = nullptr;
        switch (p[i]) {
        case '<': escape = "&lt;"; break;
        case '>': escape = "&gt;"; break;
        case '&': escape = "&amp;"; break;
        case '"': escape = "&quot;"; break;
        case '\t': escape = "&#9;"; break;
        case '\n': escape = "&#10;"; break;
        case '\r': escape = "&#13;"; break;
        default: continue;
        }
        out.append(p + from, qsizetype(i - from));
        out.append(escape);
        from = i + 1;
    }
    out.append(p + from, qsizetype(n - from));
}

} // namespace

XmlRecordsetWriter::XmlRecordsetWriter(const QString &path, const std::vector<FieldInfo> &fields)
    : d(std::make_unique<Impl>(path))
{
    if (const auto error = d->file.open())
        throw DbError(*error);

    // The head is small: the stream writer writes it, up to the open data element.
    QXmlStreamWriter w(&d->out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(1);
    w.writeStartDocument();
    w.writeDefaultNamespace(kNamespace);
    w.writeStartElement(kNamespace, QStringLiteral("recordset"));
    w.writeAttribute(QStringLiteral("version"), kVersion);

    w.writeStartElement(kNamespace, QStringLiteral("schema"));
    for (std::size_t c = 0; c < fields.size(); ++c) {
        const FieldInfo &f = fields[c];
        const QString attr = QStringLiteral("c%1").arg(c);
        d->attrs.push_back(" " + attr.toLatin1() + "=\"");
        d->types.push_back(f.Type);
        w.writeStartElement(kNamespace, QStringLiteral("column"));
        w.writeAttribute(QStringLiteral("attr"), attr);
        writeText(w, QStringLiteral("name"), f.Name);
        w.writeAttribute(QStringLiteral("type"), QString::number(f.Type));
        w.writeAttribute(QStringLiteral("size"), QString::number(f.DefinedSize));
        w.writeAttribute(QStringLiteral("precision"), QString::number(f.Precision));
        w.writeAttribute(QStringLiteral("scale"), QString::number(f.NumericScale));
        w.writeAttribute(QStringLiteral("nullable"), f.Nullable ? QStringLiteral("true") : QStringLiteral("false"));
        if (!f.BaseTableName.isEmpty())
            writeText(w, QStringLiteral("basetable"), f.BaseTableName);
        if (!f.BaseColumnName.isEmpty())
            writeText(w, QStringLiteral("basecolumn"), f.BaseColumnName);
        if (!f.BaseSchemaName.isEmpty())
            writeText(w, QStringLiteral("baseschema"), f.BaseSchemaName);
        if (!f.DeclaredType.isEmpty())
            writeText(w, QStringLiteral("declared"), f.DeclaredType);
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeStartElement(kNamespace, QStringLiteral("data")); // "<data", left open for the rows
    d->out.reserve(kPiece + 4096);
}

XmlRecordsetWriter::~XmlRecordsetWriter() = default;

void XmlRecordsetWriter::writeRow(const RowStore &store, std::size_t row)
{
    if (row >= store.rowCount())
        throw UsageError(QStringLiteral("Row %1 does not exist (the recordset holds %2)").arg(row).arg(store.rowCount()));
    if (store.columnCount() != int(d->types.size()))
        throw UsageError(QStringLiteral("The row has %1 columns, the document %2").arg(store.columnCount()).arg(d->types.size()));
    for (int c = 0; c < store.columnCount(); ++c) {
        if (store.fields()[std::size_t(c)].Type != d->types[std::size_t(c)])
            throw UsageError(QStringLiteral("The column %1 changed its type after the document began")
                              .arg(store.fields()[std::size_t(c)].Name));
    }
    QByteArray &out = d->out;
    out += d->anyRow ? "\n  <row" : ">\n  <row";
    d->anyRow = true;
    char buf[64];
    for (int c = 0; c < store.columnCount(); ++c) {
        if (store.isNull(row, c))
            continue;
        const QByteArray &attr = d->attrs[std::size_t(c)];
        const int type = d->types[std::size_t(c)];
        switch (storageOf(type)) {
        case Storage::Int64: {
            out += attr;
            if (type == adBoolean) {
                out += store.int64(row, c) != 0 ? "true\"" : "false\"";
                break;
            }
            const std::size_t n = RowStore::formatScalar(type, store.int64(row, c), 0, buf, store.zone(row, c));
            // The date and time joined by a T; an era or infinity reads back as written.
            if (type == adDBTimeStamp || type == adDate) {
                if (char *blank = static_cast<char *>(std::memchr(buf, ' ', n)))
                    *blank = 'T';
            }
            out.append(buf, qsizetype(n));
            out += '"';
            break;
        }
        case Storage::Double:
            out += attr;
            out.append(buf, qsizetype(formatDoubleExact(store.real(row, c), buf)));
            out += '"';
            break;
        case Storage::Text: {
            std::size_t n = 0;
            const char *p = store.bytes(row, c, &n);
            if (isXmlSafeUtf8(p, n)) {
                out += attr;
                appendEscaped(out, p, n);
            } else {
                out.append(attr.constData(), attr.size() - 2);
                out += ".b64=\"";
                out += QByteArray::fromRawData(p, qsizetype(n)).toBase64();
            }
            out += '"';
            break;
        }
        case Storage::Blob: {
            std::size_t n = 0;
            const char *p = store.bytes(row, c, &n);
            out += attr;
            out += QByteArray::fromRawData(p, qsizetype(n)).toBase64();
            out += '"';
            break;
        }
        }
    }
    out += "/>";
    if (out.size() >= kPiece)
        d->flush();
}

void XmlRecordsetWriter::Impl::end()
{
    if (ended)
        return;
    out += anyRow ? "\n </data>\n</recordset>\n" : "/>\n</recordset>\n";
    flush();
    ended = true;
}

void XmlRecordsetWriter::sync()
{
    d->end();
    if (const auto error = d->file.sync())
        throw DbError(*error);
}

void XmlRecordsetWriter::commit()
{
    d->end();
    // A failing write shows in the file's error, which commit() reports.
    if (const auto error = d->file.commit())
        throw DbError(*error);
}

void saveXmlRecordset(const QString &path, const RowStore &store, const std::vector<std::size_t> &rows)
{
    XmlRecordsetWriter writer(path, store.fields());
    for (const std::size_t row : rows)
        writer.writeRow(store, row);
    writer.commit();
}

std::shared_ptr<RowStore> loadXmlRecordset(const QString &path)
{
    return Reader(path).read();
}

} // namespace db
