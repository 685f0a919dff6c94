#include "DataSourceFile.h"

#include "BrowserSettings.h"
#include "frmNewDataSource.h"
#include "settings/IniFile.h"
#include "ui/Prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>

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
        QFile::copy(beside, own); // on failure the list simply starts empty
    }
    return own;
}

bool Get_DataSources()
{
    DataSourceTable &table = dataSources();
    table = DataSourceTable{};
    try {
        settings::IniFile ini(browserSettings().IniFilePath);
        for (int i = 1;; ++i) {
            const QString section = QString::number(i);
            const QString name = ini.GetPrivateProfileString(section, QStringLiteral("Name"));
            if (name.isEmpty())
                break;
            if (i > kMaxDataSources)
                throw std::runtime_error(tr("The data-source file holds more than %1 data sources; "
                                            "the first %1 are loaded.")
                                             .arg(kMaxDataSources).toStdString());
            DataSourceRow &row = table.rows[size_t(i)];
            row.Name = name;
            row.ID = QString::number(i);
            row.Connection = ini.GetPrivateProfileString(section, QStringLiteral("Connection"));
            row.Description = ini.GetPrivateProfileString(section, QStringLiteral("Description"));
            row.Delimiter = ini.GetPrivateProfileString(section, QStringLiteral("Delimiter"));
            table.count = i;
        }
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
        // Built in a scratch file by the INI writer's own quoting rules, then moved over the old
        // file in one write.
        QTemporaryDir scratch;
        if (!scratch.isValid())
            throw std::runtime_error(tr("No temporary folder: %1").arg(scratch.errorString()).toStdString());
        const QString scratchPath = scratch.filePath(kFileName);
        {
            settings::IniFile ini(scratchPath);
            int n = 1;
            for (int r = 1; r <= kMaxDataSources; ++r) {
                const DataSourceRow &row = dataSources().rows[size_t(r)];
                if (row.ID.isEmpty())
                    continue;
                const QString section = QString::number(n);
                const std::pair<const char *, const QString *> keys[] = {
                    {"Name", &row.Name}, {"Connection", &row.Connection},
                    {"Description", &row.Description}, {"Delimiter", &row.Delimiter}};
                for (const auto &[key, value] : keys) {
                    if (!ini.WritePrivateProfileString(section, QString::fromLatin1(key), *value))
                        throw std::runtime_error(ini.lastError().toStdString());
                }
                ++n;
            }
        }
        QByteArray bytes;
        if (QFile f(scratchPath); f.open(QIODevice::ReadOnly))
            bytes = f.readAll();

        if (!saveFailure().isEmpty())
            throw std::runtime_error(saveFailure().toStdString());
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            throw std::runtime_error(out.errorString().toStdString());
        return true;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Save_DataSources"),
                 tr("%1 was not saved and keeps its earlier contents: %2").arg(path, QString::fromUtf8(e.what())));
        return false;
    }
}

bool New_DataSource(int row, bool edit)
{
    try {
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
    } catch (const std::exception &e) {
        logError(QStringLiteral("New_DataSource"), QString::fromUtf8(e.what()));
        return false;
    }
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
