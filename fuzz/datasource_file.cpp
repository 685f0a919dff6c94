// The data-source file: the list read from any file is saved to a file that reads back as the
// same list, and a save refused by the disk leaves the file as it was, as does any save over a
// file that could not be read whole.
#include "FuzzSupport.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "Faultdesk/ErrorState.h"
#include "Faultdesk/ModalRunner.h"
#include "settings/SettingsStore.h"
#include "ui/Prompter.h"

#include <QDialog>

#include <algorithm>
#include <QFile>

using namespace browser;

namespace {

struct Row {
    QString name, description, connection, delimiter;
    bool operator==(const Row &) const = default;
};

struct Table {
    std::vector<Row> rows;
    std::vector<std::pair<QString, std::vector<std::pair<QString, QString>>>> leftOut;
    bool operator==(const Table &) const = default;
};

Table table()
{
    Table out;
    const DataSourceTable &t = dataSources();
    for (int r = 1; r <= kMaxDataSources; ++r) {
        const DataSourceRow &row = t.rows[std::size_t(r)];
        if (!row.ID.isEmpty())
            out.rows.push_back({row.Name, row.Description, row.Connection, row.Delimiter});
    }
    for (const KeptSection &kept : t.leftOut)
        out.leftOut.emplace_back(kept.name, kept.values);
    return out;
}

QString describe(const Table &t)
{
    QString out;
    for (const Row &r : t.rows)
        out += QStringLiteral("%1 | %2 | %3 | %4\n").arg(r.name, r.description, r.connection, r.delimiter);
    for (const auto &[name, values] : t.leftOut) {
        out += QStringLiteral("[%1]").arg(name);
        for (const auto &[key, value] : values)
            out += QStringLiteral(" %1=%2").arg(key, value);
        out += u'\n';
    }
    return out;
}

// Saves the table to a file of its own and reads that back.
Table saveAndRead(const char *name)
{
    browserSettings().IniFilePath = fuzz::scratchFolder() + u'/' + QLatin1String(name);
    FUZZ_CHECK(Save_DataSources(), QString());
    Get_DataSources();
    return table();
}

void setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    fuzz::ensureApplication();
    // The save builds the file in a temporary folder, a write (and sync) for each key: in memory.
    qputenv("TMPDIR", QFile::encodeName(fuzz::scratchFolder()));
    static ui::ScriptedPrompts prompts;
    static auto settingsScope = settings::SettingsStore::useMemory();
    faultdesk::setModalRunner([](QDialog &dialog) { dialog.reject(); });
    browserSettings().AppName = QStringLiteral("Tabulon");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    setUp();
    const QByteArray input = fuzz::bytes(data, size);
    browserSettings().IniFilePath = fuzz::writeScratch(QStringLiteral("DataSources.ini"), input);
    Get_DataSources();
    const Table read = table();
    if (!dataSources().readError.isEmpty()) {
        // A file that cannot be read whole is never saved over.
        FUZZ_CHECK(read.rows.empty() && read.leftOut.empty(), describe(read));
        FUZZ_CHECK(!Save_DataSources(), dataSources().readError);
        FUZZ_CHECK(fuzz::readFile(browserSettings().IniFilePath) == input, dataSources().readError);
        return 0;
    }

    // A save that fails leaves the file byte for byte.
    setSaveFailureForTest(QStringLiteral("refused for the test"));
    FUZZ_CHECK(!Save_DataSources(), QString());
    setSaveFailureForTest({});
    FUZZ_CHECK(fuzz::readFile(browserSettings().IniFilePath) == input, QString());

    // A save keeps every section: the list shown first, then what it did not show (which a save
    // may bring into the list, once the sections are numbered without gaps).
    const Table saved = saveAndRead("Saved.ini");
    const QString both = describe(read) + QLatin1String("--- saved and read back as ---\n") + describe(saved);
    FUZZ_CHECK(saved.rows.size() >= read.rows.size(), both);
    FUZZ_CHECK(std::equal(read.rows.begin(), read.rows.end(), saved.rows.begin()), both);
    FUZZ_CHECK(saved.rows.size() + saved.leftOut.size() >= read.rows.size() + read.leftOut.size(), both);

    // From then on, what is written reads back the same.
    const Table again = saveAndRead("Again.ini");
    FUZZ_CHECK(again == saved, describe(saved) + QLatin1String("--- read back as ---\n") + describe(again));
    return 0;
}
