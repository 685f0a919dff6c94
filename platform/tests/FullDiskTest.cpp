// Writers on a full disk: each says that the disk is full, names the file, and leaves the old
// file byte for byte (a new file is not created).
#include "FullDisk.h"
#include "TestSupport.h"

#include "db/DbError.h"
#include "db/XmlRecordset.h"
#include "files/AtomicFile.h"
#include "grid/Grid.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

using testsupport::FullDisk;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

void expectFullDiskText(const QString &message, const QString &path, bool existed)
{
    EXPECT_TRUE(message.contains(QLatin1String("The disk is full"))) << message.toStdString();
    EXPECT_TRUE(message.contains(path)) << message.toStdString();
    EXPECT_EQ(message.contains(QLatin1String("kept unchanged")), existed) << message.toStdString();
    EXPECT_FALSE(message.contains(QLatin1String("Unknown error"))) << message.toStdString();
}

} // namespace

TEST(FullDisk, SmallAndLargeWritesKeepTheOldFileAndSaySo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kept.txt"));
    const QByteArray old("the old contents\n");
    // A few bytes stay in the write buffer until the commit: those once replaced the file with
    // an empty one. A large write fails at once; a partly written one fails when the room ends.
    for (const qsizetype size : {qsizetype(10), qsizetype(100'000)}) {
        for (const long long room : {0LL, 4096LL}) {
            writeFile(path, old);
            std::optional<QString> error;
            {
                FullDisk full(dir.path(), room);
                error = files::saveFile(path, QByteArray(size, 'x'));
                if (size > room) {
                    EXPECT_GT(full.refusedWrites(), 0);
                }
            }
            if (size <= room) {
                EXPECT_FALSE(error.has_value());
                continue;
            }
            ASSERT_TRUE(error.has_value()) << size << " bytes, " << room << " free";
            expectFullDiskText(*error, path, true);
            EXPECT_EQ(readFile(path), old) << size << " bytes, " << room << " free";
        }
    }
    // A disk found full only when the data is flushed to it: sync() says so (commit() would not),
    // and the file is dropped.
    {
        writeFile(path, old);
        const testsupport::DiskSyncs full(dir.path(), {}, ENOSPC);
        files::AtomicFile file(path);
        ASSERT_FALSE(file.open().has_value());
        EXPECT_TRUE(file.write("new contents"));
        const std::optional<QString> error = file.sync();
        ASSERT_TRUE(error.has_value());
        expectFullDiskText(*error, path, true);
    }
    EXPECT_EQ(readFile(path), old);
    // Nothing is left behind: no new file, no scratch file.
    const QString fresh = dir.filePath(QStringLiteral("new.txt"));
    {
        FullDisk full(dir.path());
        const auto error = files::saveFile(fresh, QByteArray("abc"));
        ASSERT_TRUE(error.has_value());
        expectFullDiskText(*error, fresh, false);
    }
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.txt")});
}

TEST(FullDisk, EveryWriterOfUserFilesNamesTheFullDisk)
{
    QTemporaryDir dir;

    // Settings.
    auto store = settings::SettingsStore::createFileStore(dir.path());
    ASSERT_TRUE(store->SaveSetting(QStringLiteral("Tabulon"), QStringLiteral("General"), QStringLiteral("A"), QStringLiteral("1")));
    const QString settingsPath = store->filePath(QStringLiteral("Tabulon"));
    const QByteArray settingsBefore = readFile(settingsPath);

    // A data-source file.
    const QString iniPath = dir.filePath(QStringLiteral("DataSources.ini"));
    writeFile(iniPath, "[1]\nName=Sample\n");
    settings::IniFile ini(iniPath);

    // A grid file and an XML recordset.
    const QString gridPath = dir.filePath(QStringLiteral("filter.qry"));
    grid::Grid g;
    g.setCols(2);
    g.setRows(2);
    g.setTextMatrix(1, 1, QStringLiteral("value"));
    g.SaveGrid(gridPath);
    const QByteArray gridBefore = readFile(gridPath);

    const QString xmlPath = dir.filePath(QStringLiteral("rows.xml"));
    db::FieldInfo f;
    f.Name = QStringLiteral("n");
    f.Type = db::adInteger;
    db::RowStore rows({f});
    rows.beginRow();
    rows.setInt64(0, 7);
    rows.endRow();
    db::saveXmlRecordset(xmlPath, rows, {0});
    const QByteArray xmlBefore = readFile(xmlPath);

    FullDisk full(dir.path());

    EXPECT_FALSE(store->SaveSetting(QStringLiteral("Tabulon"), QStringLiteral("General"), QStringLiteral("A"), QStringLiteral("2")));
    expectFullDiskText(store->lastError(), settingsPath, true);
    EXPECT_EQ(store->GetSetting(QStringLiteral("Tabulon"), QStringLiteral("General"), QStringLiteral("A")), QStringLiteral("1"));

    EXPECT_FALSE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Name"), QStringLiteral("Other")));
    expectFullDiskText(ini.lastError(), iniPath, true);
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("Sample"));

    g.setTextMatrix(1, 1, QStringLiteral("changed"));
    try {
        g.SaveGrid(gridPath);
        ADD_FAILURE() << "saved the grid on a full disk";
    } catch (const grid::GridError &e) {
        expectFullDiskText(e.message(), gridPath, true);
    }

    try {
        db::saveXmlRecordset(xmlPath, rows, {0, 0, 0});
        ADD_FAILURE() << "saved the recordset on a full disk";
    } catch (const db::DbError &e) {
        expectFullDiskText(e.message(), xmlPath, true);
    }

    EXPECT_EQ(readFile(settingsPath), settingsBefore);
    EXPECT_EQ(readFile(iniPath), QByteArray("[1]\nName=Sample\n"));
    EXPECT_EQ(readFile(gridPath), gridBefore);
    EXPECT_EQ(readFile(xmlPath), xmlBefore);
}
