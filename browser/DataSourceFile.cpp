#include "hlSourceBrowser/DataSourceFile.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "BrowserTrap.h"
#include "db/ConnectionString.h"
#include "files/AtomicFile.h"
#include "frmNewDataSource.h"
#include "settings/IniFile.h"
#include "ui/Prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace browser {

namespace {

const QString kFileName = QStringLiteral("DataSources.ini");

QString &saveFailure()
{
    static QString text;
    return text;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("Browser", text);
}

bool writable(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite); // opening for writing changes nothing by itself
}

} // namespace

DataSourceTable &dataSources()
{
    static DataSourceTable table;
    return table;
}

QString doubleApostrophes(const QString &text)
{
    QString out = text;
    out.replace(u'\'', QStringLiteral("''"));
    return out;
}

QString undoubleApostrophes(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("''"), QStringLiteral("'"));
    return out;
}

QString connectionText(const DataSourceRow &row)
{
    return undoubleApostrophes(row.Connection);
}

QString locateDataSourceFile(const QString &exeFolder, const QString &configFolder)
{
    const QString exeDir = exeFolder.isEmpty() ? QCoreApplication::applicationDirPath() : exeFolder;
    const QString beside = QDir(exeDir).filePath(kFileName);
    if (QFileInfo::exists(beside) && writable(beside))
        return beside;

    const QString configDir = configFolder.isEmpty()
        ? QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(QStringLiteral("Tabulon"))
        : configFolder;
    const QString own = QDir(configDir).filePath(kFileName);
    if (!QFileInfo::exists(own) && QFileInfo::exists(beside)) {
        QDir().mkpath(configDir);
        // On failure the list simply starts empty. The copy holds the same passwords.
        if (QFile::copy(beside, own))
            QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return own;
}

namespace {

// A positive section number, or 0 for a name that is none.
int sectionNumber(const QString &name)
{
    bool ok = false;
    const int n = name.trimmed().toInt(&ok);
    return ok && n > 0 ? n : 0;
}

bool sameSection(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Every section of the file but the rows read, numbered ones first in their order. A section
// whose name was met before is never read (the first one wins); it is kept too, and a numbered
// one is numbered on after the list like any other. The repeated numbered names go in `repeated`,
// and `repeatedKept` counts their sections.
std::vector<KeptSection> leftOutSections(const settings::IniFile &ini, int rowsRead, QStringList &repeated,
                                         int &repeatedKept)
{
    std::vector<KeptSection> numbered, named;
    QHash<QString, int> seen; // folded name: sections of that name so far
    for (settings::IniFile::Section &section : ini.everySection()) {
        const QString &name = section.name;
        // A "[" or "[ ]" line heads a section without a name, which nothing can look up and the
        // INI writer cannot write: kept, it would make every later save of the list fail.
        if (name.trimmed().isEmpty())
            continue;
        const int n = sectionNumber(name);
        const int occurrence = ++seen[name.toCaseFolded()];
        const bool first = occurrence == 1;
        if (!first && n > 0) {
            ++repeatedKept;
            if (occurrence == 2)
                repeated << name;
        }
        if (first && n >= 1 && n <= rowsRead && name == QString::number(n))
            continue;
        KeptSection kept{name, {}};
        for (auto &[entryKey, value] : section.entries) {
            if (!entryKey.trimmed().isEmpty()) // a line "=value": as above, nothing can read or write it
                kept.values.emplace_back(std::move(entryKey), std::move(value));
        }
        (n > 0 ? numbered : named).push_back(std::move(kept));
    }
    std::stable_sort(numbered.begin(), numbered.end(), [](const KeptSection &a, const KeptSection &b) {
        return sectionNumber(a.name) < sectionNumber(b.name);
    });
    numbered.insert(numbered.end(), std::make_move_iterator(named.begin()), std::make_move_iterator(named.end()));
    return numbered;
}

// A file that holds passwords and that others may read, or one others may change, is named once
// a session; the next save makes it its owner's only.
void warnIfOthersMayRead(const QString &path, const DataSourceTable &table)
{
    static QSet<QString> told;
    const QFileDevice::Permissions permissions = QFile::permissions(path);
    const bool othersRead = permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const bool othersWrite = permissions & (QFileDevice::WriteGroup | QFileDevice::WriteOther);
    if ((!othersRead && !othersWrite) || told.contains(path))
        return;
    auto secret = [](const QString &text) { return db::maskPasswords(text) != text; };
    bool holdsSecret = std::any_of(table.rows.cbegin(), table.rows.cend(),
                                   [&](const DataSourceRow &row) { return secret(row.Connection); });
    for (const KeptSection &kept : table.leftOut) {
        for (const auto &[key, value] : kept.values)
            holdsSecret = holdsSecret || secret(value) || secret(key + u'=' + value);
    }
    if (!othersWrite && !holdsSecret)
        return;
    told.insert(path);
    ui::Prompter::msgBox(tr("Other users of this computer may %1 %2, which holds connection strings%3.\n"
                            "It is made readable and writable by you only when the list is next saved.")
                             .arg(othersWrite ? tr("change") : tr("read"), QDir::toNativeSeparators(path),
                                  holdsSecret ? tr(" with passwords") : QString()),
                         ui::MsgButtons::OK, ui::MsgIcon::Exclamation);
}

} // namespace

bool Get_DataSources()
{
    DataSourceTable &table = dataSources();
    table = DataSourceTable{};
    try {
        const QString path = browserSettings().IniFilePath;
        settings::IniFile ini(path);
        if (const QString error = ini.readError(); !error.isEmpty()) {
            // An empty list saved over it would lose every data source it holds.
            table.readError = error;
            ui::Prompter::msgBox(tr("%1.\nThe list is empty, and the file is left as it is until it can be "
                                    "read: no change to the list is saved over it.")
                                     .arg(error),
                                 ui::MsgButtons::OK, ui::MsgIcon::Exclamation);
            return false;
        }
        QString why; // why the list ended before a numbered section
        for (int i = 1;; ++i) {
            const QString section = QString::number(i);
            const QString name = ini.GetPrivateProfileString(section, QStringLiteral("Name"));
            if (name.isEmpty()) {
                const QStringList sections = ini.sections();
                why = std::any_of(sections.cbegin(), sections.cend(),
                                  [&](const QString &s) { return sameSection(s, section); })
                    ? tr("section [%1] has no name and ends the list").arg(i)
                    : tr("section [%1] is missing and the list ends there").arg(i);
                break;
            }
            if (i > kMaxDataSources) {
                why = tr("the list holds at most %1 data sources").arg(kMaxDataSources);
                break;
            }
            DataSourceRow &row = table.rows[size_t(i)];
            row.Name = name;
            row.ID = QString::number(i);
            row.Connection = ini.GetPrivateProfileString(section, QStringLiteral("Connection"));
            row.Description = ini.GetPrivateProfileString(section, QStringLiteral("Description"));
            row.Delimiter = ini.GetPrivateProfileString(section, QStringLiteral("Delimiter"));
            table.count = i;
        }

        QStringList repeated;
        int repeatedKept = 0;
        table.leftOut = leftOutSections(ini, table.count, repeated, repeatedKept);
        // Sections named otherwise than by a number were never data sources: they are kept
        // without a word, but named with the others when data sources are left out.
        const auto sourcesLeftOut = std::count_if(table.leftOut.cbegin(), table.leftOut.cend(),
                                                  [](const KeptSection &k) { return sectionNumber(k.name) > 0; });
        if (sourcesLeftOut > 0) {
            QStringList names;
            for (const KeptSection &kept : table.leftOut)
                names << QLatin1Char('[') + kept.name + QLatin1Char(']');
            QStringList reasons;
            if (sourcesLeftOut > repeatedKept)
                reasons << why;
            for (const QString &name : repeated)
                reasons << tr("section [%1] appears more than once and only the first is read").arg(name);
            ui::Prompter::msgBox(tr("The list does not show every section of %1, because %2.\n"
                                    "Not shown: %3.\nThey stay in the file when the list is saved.")
                                     .arg(QDir::toNativeSeparators(path), reasons.join(QStringLiteral("; ")),
                                          names.join(QStringLiteral(", "))),
                                 ui::MsgButtons::OK, ui::MsgIcon::Exclamation);
        }
        warnIfOthersMayRead(path, table);
        return true;
    } catch (const std::exception &e) {
        // The rows read so far stay, and count names the last of them, so an addition never
        // lands on a loaded row.
        logError(QStringLiteral("Get_DataSources"), QString::fromUtf8(e.what()));
        ui::Prompter::msgBox(browserSettings().IniFilePath);
        return false;
    }
}

bool Save_DataSources()
{
    const QString path = browserSettings().IniFilePath;
    try {
        if (!dataSources().readError.isEmpty())
            throw std::runtime_error(dataSources().readError.toStdString());
        // The whole file in memory by the INI writer's own quoting rules, then one write.
        std::vector<settings::IniFile::Section> sections;
        int n = 1;
        for (int r = 1; r <= kMaxDataSources; ++r) {
            const DataSourceRow &row = dataSources().rows[size_t(r)];
            if (row.ID.isEmpty())
                continue;
            sections.push_back({QString::number(n),
                                {{QStringLiteral("Name"), row.Name},
                                 {QStringLiteral("Connection"), row.Connection},
                                 {QStringLiteral("Description"), row.Description},
                                 {QStringLiteral("Delimiter"), row.Delimiter}}});
            ++n;
        }
        // What the list did not show follows the rows, numbered on from them, so that no
        // number is used twice.
        for (const KeptSection &kept : dataSources().leftOut)
            sections.push_back({sectionNumber(kept.name) > 0 ? QString::number(n++) : kept.name, kept.values});
        QString error;
        const std::optional<QByteArray> bytes = settings::IniFile::compose(sections, &error);
        if (!bytes)
            throw std::runtime_error(error.toStdString());

        if (!saveFailure().isEmpty())
            throw std::runtime_error(saveFailure().toStdString());
        // Connection strings hold passwords: the file is for its owner's eyes only, whatever
        // the old file allowed.
        if (const auto error = files::saveFile(path, *bytes, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            logError(QStringLiteral("Save_DataSources"), *error);
            return false;
        }
        return true;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Save_DataSources"),
                 tr("%1 was not saved and keeps its earlier contents: %2").arg(path, QString::fromUtf8(e.what())));
        return false;
    }
}

bool New_DataSource(int row, bool edit)
{
    return trap(QStringLiteral("New_DataSource"), [&] {
        DataSourceTable &table = dataSources();
        if (edit && (row < 1 || row > kMaxDataSources))
            throw std::runtime_error(tr("There is no data source %1.").arg(row).toStdString());
        if (!edit && table.count >= kMaxDataSources)
            throw std::runtime_error(tr("The list holds at most %1 data sources.").arg(kMaxDataSources).toStdString());

        frmNewDataSource dlg;
        if (edit) {
            const DataSourceRow &r = table.rows[size_t(row)];
            // The dialog shows what the user typed; the stored form is doubled again on OK.
            dlg.setSourceName(undoubleApostrophes(r.Name));
            dlg.setConnection(undoubleApostrophes(r.Connection));
            dlg.setDescription(undoubleApostrophes(r.Description));
            dlg.setDelimiter(undoubleApostrophes(r.Delimiter));
        }
        dlg.load();
        runDialog(dlg);
        if (dlg.Cancelled())
            return false;

        const int target = edit ? row : ++table.count;
        DataSourceRow &r = table.rows[size_t(target)];
        r.ID = QString::number(target);
        r.Connection = doubleApostrophes(dlg.Connection());
        r.Name = doubleApostrophes(dlg.SourceName());
        r.Description = doubleApostrophes(dlg.Description());
        r.Delimiter = doubleApostrophes(dlg.Delimiter());
        return true;
    });
}

bool Delete_DataSource(int row)
{
    if (row < 1 || row > kMaxDataSources)
        return true;
    DataSourceRow &r = dataSources().rows[size_t(row)];
    if (ui::Prompter::msgBox(QStringLiteral("Delete ") + undoubleApostrophes(r.Name) + u'?', ui::MsgButtons::OKCancel,
                             ui::MsgIcon::Question, QStringLiteral("Delete Data Source"))
        == ui::MsgResult::OK)
        r.ID.clear();
    return true;
}

void setSaveFailureForTest(const QString &error)
{
    saveFailure() = error;
}

} // namespace browser
