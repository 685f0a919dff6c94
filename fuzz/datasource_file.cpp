// The data-source file: the list read from any file is saved to a file that reads back as the
// same list, and a save refused by the disk leaves the file as it was.
#include "FuzzSupport.h"

#include "BrowserSettings.h"
#include "DataSourceFile.h"
#include "ErrorState.h"
#include "ModalRunner.h"
#include "settings/SettingsStore.h"
#include "ui/Prompter.h"

#include <QDialog>
#include <QFile>

using namespace browser;

namespace {

struct Row {
    QString name, description, connection, delimiter;
    bool operator==(const Row &) const = default;
};

std::vector<Row> table()
{
    std::vector<Row> rows;
    const DataSourceTable &t = dataSources();
    for (int r = 1; r <= kMaxDataSources; ++r) {
        const DataSourceRow &row = t.rows[std::size_t(r)];
        if (!row.ID.isEmpty())
            rows.push_back({row.Name, row.Description, row.Connection, row.Delimiter});
    }
    return rows;
}

QString describe(const std::vector<Row> &rows)
{
    QString out;
    for (const Row &r : rows)
        out += QStringLiteral("%1 | %2 | %3 | %4\n").arg(r.name, r.description, r.connection, r.delimiter);
    return out;
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
    const std::vector<Row> read = table();

    // A save that fails leaves the file byte for byte.
    setSaveFailureForTest(QStringLiteral("refused for the test"));
    FUZZ_CHECK(!Save_DataSources(), QString());
    setSaveFailureForTest({});
    FUZZ_CHECK(fuzz::readFile(browserSettings().IniFilePath) == input, QString());

    // What is saved reads back as the same list.
    browserSettings().IniFilePath = fuzz::scratchFolder() + QStringLiteral("/Saved.ini");
    FUZZ_CHECK(Save_DataSources(), QString());
    FUZZ_CHECK(Get_DataSources(), QString::fromUtf8(fuzz::readFile(browserSettings().IniFilePath)));
    const std::vector<Row> again = table();
    FUZZ_CHECK(again == read, describe(read) + QLatin1String("--- read back as ---\n") + describe(again));
    return 0;
}
