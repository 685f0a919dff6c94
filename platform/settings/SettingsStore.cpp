#include "settings/SettingsStore.h"

#include "files/AtomicFile.h"
#include "settings/FileStamp.h"
#include "IniText.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStandardPaths>

#include <cmath>
#include <limits>
#include <map>

namespace settings {

namespace {

struct Section {
    QString name;
    SettingList entries;
};

struct AppData {
    bool loaded = false;
    bool readable = true;
    QString readError;
    FileStamp stamp;
    std::vector<Section> sections;
};

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// --- the file dialect -------------------------------------------------------------------------

// Everything the reader's trimming takes off a line's ends (QChar::isSpace: tab to carriage
// return, NEL, no-break and the other Unicode spaces), so an edge character of these is escaped.
bool isBlank(QChar c)
{
    return c.isSpace();
}

// %XX for the first 256 code points, %uXXXX above them. Files of earlier versions only hold %XX,
// and an old file never holds "%u" followed by four hex digits, as '%' itself was escaped.
QString percent(QChar c)
{
    if (c.unicode() <= 0xFF)
        return QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    return QLatin1String("%u") + QString::number(c.unicode(), 16).rightJustified(4, u'0').toUpper();
}

// Escapes what would be lost or misread: '%', line breaks, NUL, the extra characters given,
// blanks at either end (the reader trims), a half of a surrogate pair (UTF-8 cannot carry it),
// and a leading comment or section mark when asked.
QString escaped(const QString &text, QLatin1String special, bool guardLead)
{
    qsizetype first = 0;
    while (first < text.size() && isBlank(text.at(first)))
        ++first;
    qsizetype last = text.size();
    while (last > first && isBlank(text.at(last - 1)))
        --last;

    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        const bool edgeBlank = (i < first || i >= last) && isBlank(c);
        const bool leadMark = guardLead && i == 0
            && (c == QLatin1Char(';') || c == QLatin1Char('#') || c == QLatin1Char('['));
        if (edgeBlank || leadMark || c.isSurrogate() || c == QLatin1Char('%') || c == QLatin1Char('\r')
            || c == QLatin1Char('\n') || c.unicode() == 0 || special.contains(c)) {
            out += percent(c);
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The value of `digits` hex digits at `at`, or -1.
int hexAt(QStringView text, qsizetype at, int digits)
{
    if (at + digits > text.size())
        return -1;
    int value = 0;
    for (int d = 0; d < digits; ++d) {
        const int h = hexValue(text.at(at + d));
        if (h < 0)
            return -1;
        value = value * 16 + h;
    }
    return value;
}

QString unescaped(QStringView text)
{
    if (!text.contains(QLatin1Char('%')))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('%')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('u')) {
                if (const int wide = hexAt(text, i + 2, 4); wide >= 0) {
                    out += QChar(char16_t(wide));
                    i += 5;
                    continue;
                }
            }
            if (const int narrow = hexAt(text, i + 1, 2); narrow >= 0) {
                out += QChar(char16_t(narrow));
                i += 2;
                continue;
            }
        }
        out += c; // a stray '%' from a hand edit stays as it is
    }
    return out;
}

std::vector<Section> parse(const QString &text)
{
    std::vector<Section> sections;
    QHash<QString, std::size_t> sectionAt; // folded name: position in sections
    std::vector<QHash<QString, std::size_t>> entryAt; // per section, folded key: position
    std::size_t current = 0;
    bool inSection = false;
    // A lone carriage return ends a line too (an older editor's files): no name or value we
    // write holds a raw one.
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const auto lines = QStringView(normalized).split(QLatin1Char('\n'));
    for (QStringView line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.lastIndexOf(QLatin1Char(']'));
            if (close < 1)
                continue;
            const QString name = unescaped(line.mid(1, close - 1).trimmed());
            const QString folded = name.toCaseFolded();
            // A repeated section adds to the first one of its name.
            const auto found = sectionAt.constFind(folded);
            if (found != sectionAt.cend()) {
                current = *found;
            } else {
                current = sections.size();
                sectionAt.insert(folded, current);
                sections.push_back({name, {}});
                entryAt.emplace_back();
            }
            inSection = true;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inSection || eq <= 0)
            continue;
        const QString key = unescaped(line.left(eq).trimmed());
        const QString value = unescaped(line.mid(eq + 1).trimmed());
        SettingList &entries = sections[current].entries;
        const QString folded = key.toCaseFolded();
        if (const auto found = entryAt[current].constFind(folded); found != entryAt[current].cend()) {
            entries[*found].second = value; // the later line wins, as it would have overwritten
        } else {
            entryAt[current].insert(folded, entries.size());
            entries.emplace_back(key, value);
        }
    }
    return sections;
}

QByteArray serialize(const std::vector<Section> &sections)
{
    QString text;
    for (const Section &s : sections) {
        if (s.entries.empty())
            continue;
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QLatin1Char('[') + escaped(s.name, QLatin1String("]"), false) + QLatin1String("]\n");
        for (const auto &[key, value] : s.entries) {
            text += escaped(key, QLatin1String("="), true);
            text += QLatin1Char('=');
            text += escaped(value, QLatin1String(""), false);
            text += QLatin1Char('\n');
        }
    }
    return text.toUtf8();
}

// Sanity of the application name: it becomes a file name.
bool validApplication(const QString &application)
{
    return !application.trimmed().isEmpty() && !application.contains(QLatin1Char('/'))
        && !application.contains(QLatin1Char('\\')) && !application.contains(QChar(0))
        && application != QLatin1String(".") && application != QLatin1String("..");
}

std::shared_ptr<SettingsStore> &currentSlot()
{
    static std::shared_ptr<SettingsStore> slot;
    return slot;
}

} // namespace

struct SettingsStore::Private {
    bool memory = false;
    QString folder;
    QString writeFailure;
    mutable QString lastError;
    mutable std::map<QString, AppData> apps;

    QString path(const QString &application) const
    {
        return folder + QLatin1Char('/') + application + QLatin1String(".ini");
    }

    // The application's data, read from its file when the file is new or changed.
    AppData &data(const QString &application) const
    {
        AppData &app = apps[application];
        if (memory) {
            app.loaded = true;
            return app;
        }
        const QString file = path(application);
        const FileStamp now = FileStamp::of(file);
        if (app.loaded && now == app.stamp)
            return app;
        app.loaded = true;
        app.stamp = now;
        app.sections.clear();
        app.readable = true;
        app.readError.clear();
        if (!now.exists)
            return app;
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            app.readable = false;
            app.readError = QStringLiteral("Cannot read the settings file %1: %2").arg(file, f.errorString());
            return app;
        }
        const QByteArray bytes = f.readAll();
        const IniText text = decodeIniBytes(bytes);
        const QString why = f.error() != QFileDevice::NoError ? f.errorString() : text.error;
        if (!why.isEmpty()) {
            app.readable = false;
            app.readError = QStringLiteral("Cannot read the settings file %1: %2").arg(file, why);
            return app;
        }
        app.sections = parse(text.text);
        return app;
    }

    bool checkNames(const QString &application, const QString &section) const
    {
        if (!validApplication(application)) {
            lastError = QStringLiteral("Invalid application name for settings: \"%1\"").arg(application);
            return false;
        }
        if (section.isEmpty()) {
            lastError = QStringLiteral("A settings section name is required.");
            return false;
        }
        return true;
    }

    // Writes the changed sections and only then makes them the cached ones.
    bool commit(const QString &application, AppData &app, std::vector<Section> changed)
    {
        if (!writeFailure.isEmpty()) {
            lastError = writeFailure;
            return false;
        }
        if (memory) {
            app.sections = std::move(changed);
            lastError.clear();
            return true;
        }
        if (!app.readable) {
            // Never replace a file we could not read: its settings would be lost.
            lastError = app.readError + QStringLiteral(" (the file was not overwritten)");
            return false;
        }
        const QString file = path(application);
        if (!QDir().mkpath(folder)) {
            lastError = QStringLiteral("Cannot create the settings folder %1").arg(folder);
            return false;
        }
        // The administrator's password hash lives here: for its owner's eyes only.
        if (const auto error = files::saveFile(file, serialize(changed), QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            lastError = QStringLiteral("The settings were not saved. %1").arg(*error);
            return false;
        }
        app.sections = std::move(changed);
        app.stamp = FileStamp::of(file);
        lastError.clear();
        return true;
    }

    static const Section *findSection(const std::vector<Section> &sections, const QString &name)
    {
        for (const Section &s : sections) {
            if (sameName(s.name, name))
                return &s;
        }
        return nullptr;
    }

    static Section *findSection(std::vector<Section> &sections, const QString &name)
    {
        for (Section &s : sections) {
            if (sameName(s.name, name))
                return &s;
        }
        return nullptr;
    }
};

SettingsStore::SettingsStore(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QLatin1String("/.config");
    return base + QLatin1String("/Tabulon");
}

std::shared_ptr<SettingsStore> SettingsStore::createFileStore(const QString &folder)
{
    auto d = std::make_unique<Private>();
    d->folder = folder.isEmpty() ? defaultFolder() : QDir::cleanPath(folder);
    return std::shared_ptr<SettingsStore>(new SettingsStore(std::move(d)));
}

std::shared_ptr<SettingsStore> SettingsStore::createMemoryStore()
{
    auto d = std::make_unique<Private>();
    d->memory = true;
    return std::shared_ptr<SettingsStore>(new SettingsStore(std::move(d)));
}

std::optional<QString> SettingsStore::value(const QString &application, const QString &section,
                                            const QString &key) const
{
    try {
        if (!validApplication(application) || section.isEmpty())
            return std::nullopt;
        const AppData &app = d->data(application);
        if (!app.readable) {
            d->lastError = app.readError;
            return std::nullopt;
        }
        if (const Section *s = Private::findSection(app.sections, section)) {
            for (const auto &entry : s->entries) {
                if (sameName(entry.first, key))
                    return entry.second;
            }
        }
    } catch (...) {
        d->lastError = QStringLiteral("The settings could not be read.");
    }
    return std::nullopt;
}

QString SettingsStore::GetSetting(const QString &application, const QString &section, const QString &key,
                                  const QString &defaultValue) const
{
    return value(application, section, key).value_or(defaultValue);
}

bool SettingsStore::SaveSetting(const QString &application, const QString &section, const QString &key,
                                const QString &value)
{
    try {
        if (!d->checkNames(application, section))
            return false;
        if (key.isEmpty()) {
            d->lastError = QStringLiteral("A settings key name is required.");
            return false;
        }
        AppData &app = d->data(application);
        std::vector<Section> changed = app.sections;
        Section *s = Private::findSection(changed, section);
        if (!s) {
            changed.push_back({section, {}});
            s = &changed.back();
        }
        bool found = false;
        for (auto &entry : s->entries) {
            if (sameName(entry.first, key)) {
                if (entry.second == value && d->writeFailure.isEmpty() && app.readable
                    && (d->memory || app.stamp.exists)) {
                    d->lastError.clear();
                    return true; // unchanged: spare the disk a rewrite
                }
                entry.second = value;
                found = true;
                break;
            }
        }
        if (!found)
            s->entries.emplace_back(key, value);
        return d->commit(application, app, std::move(changed));
    } catch (...) {
        d->lastError = QStringLiteral("The setting %1 could not be saved.").arg(key);
        return false;
    }
}

bool SettingsStore::DeleteSetting(const QString &application, const QString &section)
{
    try {
        if (!d->checkNames(application, section))
            return false;
        AppData &app = d->data(application);
        std::vector<Section> changed = app.sections;
        std::erase_if(changed, [&](const Section &s) { return sameName(s.name, section); });
        if (changed.size() == app.sections.size() && d->writeFailure.isEmpty()) {
            d->lastError.clear();
            return true;
        }
        return d->commit(application, app, std::move(changed));
    } catch (...) {
        d->lastError = QStringLiteral("The settings section %1 could not be deleted.").arg(section);
        return false;
    }
}

bool SettingsStore::DeleteSetting(const QString &application, const QString &section, const QString &key)
{
    try {
        if (!d->checkNames(application, section))
            return false;
        AppData &app = d->data(application);
        std::vector<Section> changed = app.sections;
        Section *s = Private::findSection(changed, section);
        const auto erased = s ? std::erase_if(s->entries, [&](const auto &e) { return sameName(e.first, key); })
                              : 0;
        if (erased == 0 && d->writeFailure.isEmpty()) {
            d->lastError.clear();
            return true;
        }
        return d->commit(application, app, std::move(changed));
    } catch (...) {
        d->lastError = QStringLiteral("The setting %1 could not be deleted.").arg(key);
        return false;
    }
}

SettingList SettingsStore::GetAllSettings(const QString &application, const QString &section) const
{
    try {
        if (!validApplication(application) || section.isEmpty())
            return {};
        const AppData &app = d->data(application);
        if (!app.readable) {
            d->lastError = app.readError;
            return {};
        }
        if (const Section *s = Private::findSection(app.sections, section))
            return s->entries;
    } catch (...) {
        d->lastError = QStringLiteral("The settings could not be read.");
    }
    return {};
}

QStringList SettingsStore::sections(const QString &application) const
{
    QStringList names;
    try {
        if (!validApplication(application))
            return names;
        for (const Section &s : d->data(application).sections) {
            if (!s.entries.empty())
                names << s.name;
        }
    } catch (...) {
        d->lastError = QStringLiteral("The settings could not be read.");
    }
    return names;
}

std::optional<bool> SettingsStore::toBool(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto number = toDouble(t))
        return *number != 0.0;
    return std::nullopt;
}

std::optional<double> SettingsStore::toDouble(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    if (t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        bool ok = false;
        const qulonglong bits = t.mid(2).toULongLong(&ok, 16);
        if (!ok || bits > 0xFFFFFFFFULL)
            return std::nullopt;
        // Classic hex literals are 32-bit signed: &HFFFFFFFF is -1.
        return double(qint32(quint32(bits)));
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint32> SettingsStore::toLong(const QString &text)
{
    const auto number = toDouble(text);
    if (!number)
        return std::nullopt;
    const double rounded = std::nearbyint(*number); // the default rounding mode: half to even
    if (rounded < double(std::numeric_limits<qint32>::min()) || rounded > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(rounded);
}

QString SettingsStore::boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString SettingsStore::doubleText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString SettingsStore::lastError() const
{
    return d->lastError;
}

bool SettingsStore::isMemory() const
{
    return d->memory;
}

QString SettingsStore::filePath(const QString &application) const
{
    return d->memory ? QString() : d->path(application);
}

void SettingsStore::setWriteFailure(const QString &error)
{
    d->writeFailure = error;
}

SettingsStore &SettingsStore::instance()
{
    return *current();
}

std::shared_ptr<SettingsStore> SettingsStore::current()
{
    auto &slot = currentSlot();
    if (!slot)
        slot = createFileStore();
    return slot;
}

ScopedSettingsStore SettingsStore::useMemory()
{
    return ScopedSettingsStore(createMemoryStore());
}

ScopedSettingsStore SettingsStore::use(std::shared_ptr<SettingsStore> store)
{
    return ScopedSettingsStore(std::move(store));
}

ScopedSettingsStore::ScopedSettingsStore(std::shared_ptr<SettingsStore> store)
    : m_store(std::move(store))
    , m_previous(currentSlot())
{
    if (!m_store)
        m_store = SettingsStore::createMemoryStore();
    currentSlot() = m_store;
}

ScopedSettingsStore::ScopedSettingsStore(ScopedSettingsStore &&other) noexcept
    : m_store(std::move(other.m_store))
    , m_previous(std::move(other.m_previous))
    , m_active(other.m_active)
{
    other.m_active = false;
}

ScopedSettingsStore::~ScopedSettingsStore()
{
    if (m_active)
        currentSlot() = std::move(m_previous);
}

} // namespace settings
