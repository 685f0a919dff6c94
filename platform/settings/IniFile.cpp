#include "settings/IniFile.h"

#include "files/AtomicFile.h"
#include "settings/FileStamp.h"
#include "IniText.h"

#include <QFile>
#include <QHash>

#include <vector>

namespace settings {

namespace {

struct Line {
    enum class Kind { Blank, Comment, Section, Entry, Other };
    Kind kind = Kind::Other;
    QString raw;   // as read, without its line end
    QString name;  // section name or key, trimmed
    QString value; // entries: trimmed, one pair of quotes removed
};

// Names match without regard to case; folded, they index a hash.
QString folded(const QString &name)
{
    return name.toCaseFolded();
}

bool quotedPair(QStringView v)
{
    return v.size() >= 2 && v.front() == v.back()
        && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\''));
}

Line parseLine(const QString &raw)
{
    Line line;
    line.raw = raw;
    const QStringView t = QStringView(raw).trimmed();
    if (t.isEmpty()) {
        line.kind = Line::Kind::Blank;
    } else if (t.startsWith(QLatin1Char(';'))) {
        line.kind = Line::Kind::Comment;
    } else if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        line.kind = Line::Kind::Section;
        line.name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed().toString();
    } else if (const qsizetype eq = t.indexOf(QLatin1Char('=')); eq >= 0) {
        line.kind = Line::Kind::Entry;
        line.name = t.left(eq).trimmed().toString();
        QStringView v = t.mid(eq + 1).trimmed();
        if (quotedPair(v))
            v = v.mid(1, v.size() - 2);
        line.value = v.toString();
    }
    return line;
}

// A value that reading would change (blanks at an end, its own surrounding quotes) goes inside
// one more pair of quotes, which reading removes again.
QString storedValue(const QString &value)
{
    if (value != QStringView(value).trimmed() || quotedPair(value))
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

// A NUL counts as one: the file holding it could not be read again.
bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) || text.contains(QChar(u'\0'));
}

// Why a (trimmed) name or value cannot be written, or nothing.
std::optional<QString> unusableSection(const QString &given, const QString &trimmed)
{
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char(']')) || hasLineBreak(trimmed))
        return QStringLiteral("Unusable section name \"%1\"").arg(given);
    return std::nullopt;
}

std::optional<QString> unusableKey(const QString &given, const QString &trimmed)
{
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('=')) || hasLineBreak(trimmed)
        || trimmed.startsWith(QLatin1Char('[')) || trimmed.startsWith(QLatin1Char(';')))
        return QStringLiteral("Unusable key name \"%1\"").arg(given);
    return std::nullopt;
}

std::optional<QString> unusableValue(const QString &key, const QString &value)
{
    if (hasLineBreak(value))
        return QStringLiteral("The value of %1 contains a line break or a NUL, which an INI file cannot hold").arg(key);
    return std::nullopt;
}

// Lines end at "\r\n", "\n" or a lone "\r"; the text after the last line end is no line of its
// own. A lone carriage return is a line end too, so that no name or value read ever holds one,
// which the writer could not write back.
std::vector<Line> splitLines(const QString &text)
{
    std::vector<Line> lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        lines.push_back(parseLine(text.mid(start, i - start)));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.push_back(parseLine(text.mid(start)));
    return lines;
}

// Where the first section of each name starts and ends, and its first entry of each key: reads
// and writes look names up here rather than walking the file.
struct SectionSpan {
    std::size_t at = 0;  // the section's line
    std::size_t end = 0; // one past its last line
    QHash<QString, std::size_t> keys; // folded key: its first entry's line
    std::vector<std::size_t> keyOrder; // the lines of those first entries, in file order
};

struct Index {
    std::vector<SectionSpan> sections; // first of each name, in file order
    QHash<QString, std::size_t> byName; // folded name: position in sections

    void build(const std::vector<Line> &lines)
    {
        sections.clear();
        byName.clear();
        SectionSpan *current = nullptr;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line &line = lines[i];
            if (line.kind == Line::Kind::Section) {
                if (current)
                    current->end = i;
                current = nullptr;
                const QString name = folded(line.name);
                if (byName.contains(name))
                    continue; // a repeated section is never read: the first one wins
                byName.insert(name, sections.size());
                sections.push_back({i, lines.size(), {}, {}});
                current = &sections.back();
            } else if (line.kind == Line::Kind::Entry && current) {
                const QString key = folded(line.name);
                if (!current->keys.contains(key)) {
                    current->keys.insert(key, i);
                    current->keyOrder.push_back(i);
                }
            }
        }
        if (current)
            current->end = lines.size();
    }

    const SectionSpan *find(const QString &section) const
    {
        const auto it = byName.constFind(folded(section));
        return it == byName.cend() ? nullptr : &sections[*it];
    }

    static qsizetype entry(const SectionSpan *span, const QString &key)
    {
        if (!span)
            return -1;
        const auto it = span->keys.constFind(folded(key));
        return it == span->keys.cend() ? -1 : qsizetype(*it);
    }
};

} // namespace

struct IniFile::Private {
    QString path;
    mutable std::vector<Line> lines;
    mutable Index index;
    mutable FileStamp stamp;
    mutable bool loaded = false;
    mutable bool readable = true;
    mutable bool cp1252 = false;
    mutable bool bom = false;
    mutable QString lineEnd = QStringLiteral("\n");
    mutable QString readError;
    mutable QString lastError;

    void refresh() const
    {
        const FileStamp now = FileStamp::of(path);
        if (loaded && now == stamp)
            return;
        loaded = true;
        stamp = now;
        lines.clear();
        index.build(lines);
        readable = true;
        cp1252 = false;
        bom = false;
        lineEnd = QStringLiteral("\n");
        readError.clear();
        if (!now.exists)
            return;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            unreadable(f.errorString());
            return;
        }
        const QByteArray bytes = f.readAll();
        if (f.error() != QFileDevice::NoError) {
            unreadable(f.errorString());
            return;
        }
        IniText text = decodeIniBytes(bytes);
        if (!text.error.isEmpty()) {
            unreadable(text.error);
            return;
        }
        bom = text.bom;
        cp1252 = text.cp1252;
        if (text.text.contains(QLatin1String("\r\n")))
            lineEnd = QStringLiteral("\r\n");
        lines = splitLines(text.text);
        index.build(lines);
    }

    void unreadable(const QString &why) const
    {
        readable = false;
        readError = QStringLiteral("Cannot read %1: %2").arg(path, why);
        lastError = readError;
    }

    bool save(std::vector<Line> changed)
    {
        if (!readable) {
            // Never replace a file we could not read: what it holds would be lost.
            lastError = readError + QStringLiteral(" (the file was not changed)");
            return false;
        }
        QString text;
        for (const Line &line : changed) {
            text += line.raw;
            text += lineEnd;
        }
        QByteArray bytes = text.toUtf8();
        if (bom)
            bytes.prepend("\xEF\xBB\xBF");
        if (const auto error = files::saveFile(path, bytes)) {
            lastError = *error;
            return false;
        }
        lines = std::move(changed);
        index.build(lines);
        cp1252 = false;
        stamp = FileStamp::of(path);
        lastError.clear();
        return true;
    }
};

IniFile::IniFile(const QString &path)
    : d(std::make_unique<Private>())
{
    d->path = path;
}

IniFile::~IniFile() = default;
IniFile::IniFile(IniFile &&) noexcept = default;
IniFile &IniFile::operator=(IniFile &&) noexcept = default;

QString IniFile::path() const
{
    return d->path;
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    try {
        d->refresh();
        const QString s = section.trimmed();
        const QString k = key.trimmed();
        const qsizetype entry = Index::entry(d->index.find(s), k);
        if (entry < 0)
            return std::nullopt;
        return d->lines[std::size_t(entry)].value;
    } catch (...) {
        d->lastError = QStringLiteral("Cannot read %1").arg(d->path);
        return std::nullopt;
    }
}

QString IniFile::GetPrivateProfileString(const QString &section, const QString &key,
                                         const QString &defaultValue) const
{
    if (auto v = value(section, key))
        return *v;
    QString fallback = defaultValue;
    while (!fallback.isEmpty() && fallback.back().isSpace())
        fallback.chop(1);
    return fallback;
}

bool IniFile::WritePrivateProfileString(const QString &section, const std::optional<QString> &key,
                                        const std::optional<QString> &value)
{
    try {
        d->refresh();
        const QString s = section.trimmed();
        if (const auto why = unusableSection(section, s)) {
            d->lastError = *why;
            return false;
        }
        std::vector<Line> changed = d->lines;
        const SectionSpan *span = d->index.find(s);
        const qsizetype at = span ? qsizetype(span->at) : -1;

        if (!key) {
            if (at < 0) {
                d->lastError.clear();
                return true;
            }
            changed.erase(changed.begin() + at, changed.begin() + qsizetype(span->end));
            // Keep a single blank line where the section was.
            const auto pos = std::size_t(at);
            if (pos > 0 && changed[pos - 1].kind == Line::Kind::Blank
                && (pos == changed.size() || changed[pos].kind == Line::Kind::Blank))
                changed.erase(changed.begin() + (at - 1));
            return d->save(std::move(changed));
        }

        const QString k = key->trimmed();
        if (const auto why = unusableKey(*key, k)) {
            d->lastError = *why;
            return false;
        }
        const qsizetype entry = Index::entry(span, k);

        if (!value) {
            if (entry < 0) {
                d->lastError.clear();
                return true;
            }
            changed.erase(changed.begin() + entry);
            return d->save(std::move(changed));
        }

        if (const auto why = unusableValue(k, *value)) {
            d->lastError = *why;
            return false;
        }
        if (entry >= 0) {
            Line &line = changed[std::size_t(entry)];
            line = parseLine(line.name + QLatin1Char('=') + storedValue(*value));
            return d->save(std::move(changed));
        }
        const Line newEntry = parseLine(k + QLatin1Char('=') + storedValue(*value));
        if (at >= 0) {
            // After the section's last entry, so that comments and blank lines before the next
            // section stay where they are.
            std::size_t insertAt = std::size_t(at) + 1;
            const std::size_t end = span->end;
            for (std::size_t i = insertAt; i < end; ++i) {
                if (changed[i].kind == Line::Kind::Entry || changed[i].kind == Line::Kind::Other)
                    insertAt = i + 1;
            }
            changed.insert(changed.begin() + qsizetype(insertAt), newEntry);
        } else {
            if (!changed.empty() && changed.back().kind != Line::Kind::Blank)
                changed.push_back(parseLine(QString()));
            changed.push_back(parseLine(QLatin1Char('[') + s + QLatin1Char(']')));
            changed.push_back(newEntry);
        }
        return d->save(std::move(changed));
    } catch (...) {
        d->lastError = QStringLiteral("Cannot write %1").arg(d->path);
        return false;
    }
}

QStringList IniFile::sections() const
{
    QStringList names;
    try {
        d->refresh();
        names.reserve(qsizetype(d->index.sections.size()));
        for (const SectionSpan &span : d->index.sections)
            names << d->lines[span.at].name;
    } catch (...) {
        d->lastError = QStringLiteral("Cannot read %1").arg(d->path);
    }
    return names;
}

QStringList IniFile::keys(const QString &section) const
{
    QStringList names;
    try {
        d->refresh();
        const SectionSpan *span = d->index.find(section.trimmed());
        if (!span)
            return names;
        for (const std::size_t line : span->keyOrder)
            names << d->lines[line].name;
    } catch (...) {
        d->lastError = QStringLiteral("Cannot read %1").arg(d->path);
    }
    return names;
}

std::vector<IniFile::Section> IniFile::everySection() const
{
    std::vector<Section> out;
    try {
        d->refresh();
        for (const Line &line : d->lines) {
            if (line.kind == Line::Kind::Section)
                out.push_back({line.name, {}});
            else if (line.kind == Line::Kind::Entry && !out.empty())
                out.back().entries.emplace_back(line.name, line.value);
        }
    } catch (...) {
        d->lastError = QStringLiteral("Cannot read %1").arg(d->path);
        out.clear();
    }
    return out;
}

std::optional<QByteArray> IniFile::compose(const std::vector<Section> &sections, QString *error)
{
    try {
        QString text;
        for (const Section &section : sections) {
            const QString s = section.name.trimmed();
            std::optional<QString> why = unusableSection(section.name, s);
            if (!text.isEmpty())
                text += QLatin1Char('\n');
            text += QLatin1Char('[') + s + QLatin1String("]\n");
            for (auto it = section.entries.cbegin(); !why && it != section.entries.cend(); ++it) {
                const QString k = it->first.trimmed();
                why = unusableKey(it->first, k);
                if (!why)
                    why = unusableValue(k, it->second);
                text += k + QLatin1Char('=') + storedValue(it->second) + QLatin1Char('\n');
            }
            if (why) {
                if (error)
                    *error = *why;
                return std::nullopt;
            }
        }
        return text.toUtf8();
    } catch (...) {
        if (error)
            *error = QStringLiteral("Out of memory while writing an INI file");
        return std::nullopt;
    }
}

QString IniFile::readError() const
{
    try {
        d->refresh();
    } catch (...) {
        return QStringLiteral("Cannot read %1").arg(d->path);
    }
    return d->readError;
}

bool IniFile::readAsWindows1252() const
{
    d->refresh();
    return d->cp1252;
}

QString IniFile::lastError() const
{
    return d->lastError;
}

QString IniFile::fromWindows1252(const QByteArray &bytes)
{
    // 0x80-0x9F; the five undefined bytes keep their Latin-1 control codes, as Windows maps them.
    static constexpr char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *out++ = (b >= 0x80 && b <= 0x9F) ? QChar(high[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

} // namespace settings
