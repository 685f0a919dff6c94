// The settings file: whatever it holds is read back the same after being written again, and any
// text, names included, survives a save exactly.
#include "FuzzSupport.h"

#include "settings/SettingsStore.h"

#include <QDir>

using settings::SettingsStore;

namespace {

const QString App = QStringLiteral("Fuzz");

struct Entry {
    QString section, key, value;
    bool operator==(const Entry &) const = default;
};

std::vector<Entry> everything(const SettingsStore &store)
{
    std::vector<Entry> out;
    for (const QString &section : store.sections(App)) {
        if (section.isEmpty())
            continue; // no member can name it
        for (const auto &[key, value] : store.GetAllSettings(App, section))
            out.push_back({section, key, value});
    }
    return out;
}

QString freshFolder(const char *name)
{
    const QString folder = QDir(fuzz::scratchFolder()).filePath(QLatin1String(name));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    return folder;
}

QString describe(const std::vector<Entry> &entries)
{
    QString out;
    for (const Entry &e : entries)
        out += QStringLiteral("[%1] %2=%3\n").arg(e.section, e.key, e.value);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input as a settings file.
    const QString in = freshFolder("in");
    fuzz::writeScratch(QStringLiteral("in/Fuzz.ini"), fuzz::bytes(data, size));
    const std::vector<Entry> read = everything(*SettingsStore::createFileStore(in));

    const QString out = freshFolder("out");
    {
        auto store = SettingsStore::createFileStore(out);
        for (const Entry &e : read)
            FUZZ_CHECK(store->SaveSetting(App, e.section, e.key, e.value), store->lastError());
    }
    const std::vector<Entry> again = everything(*SettingsStore::createFileStore(out));
    FUZZ_CHECK(again == read, describe(read) + QLatin1String("--- read back as ---\n") + describe(again));

    // The input as three strings of any UTF-16, separated by the code unit 0x0001.
    const QStringList parts = fuzz::utf16(data, size).split(QChar(1));
    const QString section = parts.value(0), key = parts.value(1), value = parts.value(2);
    const QString one = freshFolder("one");
    auto store = SettingsStore::createFileStore(one);
    FUZZ_CHECK(store->SaveSetting(App, QStringLiteral("Kept"), QStringLiteral("Key"), QStringLiteral("kept")), store->lastError());
    const QByteArray before = fuzz::readFile(store->filePath(App));
    if (!store->SaveSetting(App, section, key, value)) {
        // Refused: nothing changed.
        FUZZ_CHECK(fuzz::readFile(store->filePath(App)) == before, store->lastError());
        FUZZ_CHECK(!store->lastError().isEmpty(), section);
        return 0;
    }
    auto reread = SettingsStore::createFileStore(one);
    FUZZ_CHECK(reread->GetSetting(App, section, key, QStringLiteral("<missing>")) == value, section + u'/' + key);
    bool keyKept = false;
    for (const auto &[k, v] : reread->GetAllSettings(App, section))
        keyKept = keyKept || (k == key && v == value);
    FUZZ_CHECK(keyKept || QString::compare(section, QLatin1String("Kept"), Qt::CaseInsensitive) == 0, key);
    FUZZ_CHECK(reread->sections(App).contains(section) || QString::compare(section, QLatin1String("Kept"), Qt::CaseInsensitive) == 0, section);
    FUZZ_CHECK(reread->GetSetting(App, QStringLiteral("Kept"), QStringLiteral("Key")) == QLatin1String("kept")
                   || (QString::compare(section, QLatin1String("Kept"), Qt::CaseInsensitive) == 0
                       && QString::compare(key, QLatin1String("Key"), Qt::CaseInsensitive) == 0),
               section);
    return 0;
}
