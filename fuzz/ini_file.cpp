// INI files as the data-source file is kept: reading any file, a refused write changes nothing,
// an accepted one reads back as written and leaves every other entry as it was.
#include "FuzzSupport.h"

#include "settings/IniFile.h"

#include <map>

using settings::IniFile;

namespace {

using Snapshot = std::map<std::pair<QString, QString>, QString>; // (section, key), case folded

Snapshot snapshot(const IniFile &ini)
{
    Snapshot out;
    for (const QString &section : ini.sections())
        for (const QString &key : ini.keys(section))
            out[{section.toCaseFolded(), key.toCaseFolded()}] = ini.value(section, key).value_or(QStringLiteral("<missing>"));
    return out;
}

QString describe(const Snapshot &s)
{
    QString out;
    for (const auto &[name, value] : s)
        out += QStringLiteral("[%1] %2=%3\n").arg(name.first, name.second, value);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const QString path = fuzz::writeScratch(QStringLiteral("fuzz.ini"), input);
    IniFile ini(path);
    const Snapshot before = snapshot(ini);

    // Unusable names and values are refused and the file stays byte for byte.
    for (const auto &[section, key, value] :
         {std::tuple<QString, QString, QString>{QStringLiteral("a]b"), QStringLiteral("k"), QStringLiteral("v")},
          {QStringLiteral("s"), QStringLiteral("k=x"), QStringLiteral("v")},
          {QStringLiteral("s"), QStringLiteral("[k"), QStringLiteral("v")},
          {QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("line\nbreak")},
          {QStringLiteral(" "), QStringLiteral("k"), QStringLiteral("v")}}) {
        FUZZ_CHECK(!ini.WritePrivateProfileString(section, key, value), section + u'/' + key);
        FUZZ_CHECK(fuzz::readFile(path) == input, section + u'/' + key);
    }

    // One value from the input, written to the first key of the first section (or a new one).
    const QStringList sections = ini.sections();
    QString section = QStringLiteral("Fuzz");
    QString key = QStringLiteral("Value");
    for (const QString &s : sections) {
        const QString trimmed = s.trimmed();
        if (trimmed.isEmpty() || trimmed.contains(u']') || trimmed != s)
            continue;
        section = s;
        const QStringList keys = ini.keys(s);
        if (!keys.isEmpty() && !keys.first().startsWith(u'[') && !keys.first().startsWith(u';')
            && !keys.first().isEmpty())
            key = keys.first();
        break;
    }
    QString value = fuzz::utf8(data, size);
    value.remove(u'\n');
    value.remove(u'\r');
    value.truncate(300);
    if (!ini.WritePrivateProfileString(section, key, value)) {
        FUZZ_CHECK(fuzz::readFile(path) == input, ini.lastError());
        FUZZ_CHECK(!ini.lastError().isEmpty(), section);
        return 0;
    }

    // Read again from the file itself: the value as written, every other entry as before.
    IniFile reread(path);
    FUZZ_CHECK(reread.value(section, key) == std::optional<QString>(value), section + u'/' + key + u'=' + value);
    Snapshot expected = before;
    expected[{section.toCaseFolded(), key.toCaseFolded()}] = value;
    Snapshot after = snapshot(reread);
    // A key that appears twice keeps its first value; the written one is that first one.
    FUZZ_CHECK(after == expected, describe(expected) + QLatin1String("--- read back as ---\n") + describe(after));
    return 0;
}
