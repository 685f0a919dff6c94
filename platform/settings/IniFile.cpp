#include "settings/IniFile.h"

#include "files/AtomicFile.h"
#include "settings/FileStamp.h"

#include <QFile>
#include <QStringDecoder>

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

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
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

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
}

} // namespace

struct IniFile::Private {
    QString path;
    mutable std::vector<Line> lines;
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
        readable = true;
        cp1252 = false;
        bom = false;
        lineEnd = QStringLiteral("\n");
        readError.clear();
        if (!now.exists)
            return;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            readable = false;
            readError = QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
            lastError = readError;
            return;
        }
        const QByteArray bytes = f.readAll();
        bom = bytes.startsWith("\xEF\xBB\xBF");
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8.decode(bytes);
        if (utf8.hasError()) {
            text = fromWindows1252(bytes);
            cp1252 = true;
        }
        if (text.contains(QLatin1String("\r\n")))
            lineEnd = QStringLiteral("\r\n");
        const QStringList rawLines = text.split(QLatin1Char('\n'));
        lines.reserve(std::size_t(rawLines.size()));
        for (qsizetype i = 0; i < rawLines.size(); ++i) {
            QString raw = rawLines.at(i);
            if (raw.endsWith(QLatin1Char('\r')))
                raw.chop(1);
            // The text after the last line end is no line of its own.
            if (i == rawLines.size() - 1 && raw.isEmpty())
                break;
            lines.push_back(parseLine(raw));
        }
    }

    // Index of the first section with this name, or -1.
    qsizetype sectionIndex(const QString &section) const
    {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::Kind::Section && sameName(lines[i].name, section))
                return qsizetype(i);
        }
        return -1;
    }

    // One past the last line that belongs to the section starting at index.
    std::size_t sectionEnd(qsizetype index) const
    {
        std::size_t i = std::size_t(index) + 1;
        while (i < lines.size() && lines[i].kind != Line::Kind::Section)
            ++i;
        return i;
    }

    qsizetype entryIndex(qsizetype sectionAt, const QString &key) const
    {
        const std::size_t end = sectionEnd(sectionAt);
        for (std::size_t i = std::size_t(sectionAt) + 1; i < end; ++i) {
            if (lines[i].kind == Line::Kind::Entry && sameName(lines[i].name, key))
                return qsizetype(i);
        }
        return -1;
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
        const qsizetype at = d->sectionIndex(s);
        if (at < 0)
            return std::nullopt;
        const qsizetype entry = d->entryIndex(at, k);
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
        if (s.isEmpty() || s.contains(QLatin1Char(']')) || hasLineBreak(s)) {
            d->lastError = QStringLiteral("Unusable section name \"%1\"").arg(section);
            return false;
        }
        std::vector<Line> changed = d->lines;
        const qsizetype at = d->sectionIndex(s);

        if (!key) {
            if (at < 0) {
                d->lastError.clear();
                return true;
            }
            changed.erase(changed.begin() + at, changed.begin() + qsizetype(d->sectionEnd(at)));
            // Keep a single blank line where the section was.
            const auto pos = std::size_t(at);
            if (pos > 0 && changed[pos - 1].kind == Line::Kind::Blank
                && (pos == changed.size() || changed[pos].kind == Line::Kind::Blank))
                changed.erase(changed.begin() + (at - 1));
            return d->save(std::move(changed));
        }

        const QString k = key->trimmed();
        if (k.isEmpty() || k.contains(QLatin1Char('=')) || hasLineBreak(k) || k.startsWith(QLatin1Char('['))
            || k.startsWith(QLatin1Char(';'))) {
            d->lastError = QStringLiteral("Unusable key name \"%1\"").arg(*key);
            return false;
        }
        const qsizetype entry = at < 0 ? -1 : d->entryIndex(at, k);

        if (!value) {
            if (entry < 0) {
                d->lastError.clear();
                return true;
            }
            changed.erase(changed.begin() + entry);
            return d->save(std::move(changed));
        }

        if (hasLineBreak(*value)) {
            d->lastError = QStringLiteral("The value of %1 contains a line break, which an INI file cannot hold").arg(k);
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
            const std::size_t end = d->sectionEnd(at);
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
        for (const Line &line : d->lines) {
            if (line.kind == Line::Kind::Section && !names.contains(line.name, Qt::CaseInsensitive))
                names << line.name;
        }
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
        const qsizetype at = d->sectionIndex(section.trimmed());
        if (at < 0)
            return names;
        const std::size_t end = d->sectionEnd(at);
        for (std::size_t i = std::size_t(at) + 1; i < end; ++i) {
            const Line &line = d->lines[i];
            if (line.kind == Line::Kind::Entry && !names.contains(line.name, Qt::CaseInsensitive))
                names << line.name;
        }
    } catch (...) {
        d->lastError = QStringLiteral("Cannot read %1").arg(d->path);
    }
    return names;
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
