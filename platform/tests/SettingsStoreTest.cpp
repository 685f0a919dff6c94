#include "settings/SettingsStore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <array>

using namespace settings;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString App = QStringLiteral("Tabulon");

} // namespace

TEST(SettingsStoreFile, AwkwardNamesAndValuesSurviveTheFile)
{
    QTemporaryDir dir;
    const std::vector<std::array<QString, 3>> cases = {
        {QStringLiteral("Results\\Font"), QStringLiteral("Font"), QStringLiteral("DejaVu Sans")},
        {QStringLiteral("Results"), QStringLiteral("Split\\Percentage"), QStringLiteral("90")},
        {QStringLiteral("General"), QStringLiteral("Date Format"), QStringLiteral("dd/MM/yyyy")},
        {QStringLiteral("General"), QStringLiteral("Recent Files1"), QStringLiteral("/home/u/a b/q.sql")},
        {QStringLiteral("Odd]Section"), QStringLiteral("a=b"), QStringLiteral("x=y; 100%")},
        {QStringLiteral(" padded "), QStringLiteral(";comment-like"), QStringLiteral("  two blanks  ")},
        {QStringLiteral("Find"), QStringLiteral("[0Value"), QStringLiteral("line1\nline2\r\nline3")},
        {QStringLiteral("Ünïcode"), QStringLiteral("ключ"), QStringLiteral("値 %41 literal")},
    };
    {
        auto store = SettingsStore::createFileStore(dir.path());
        for (const auto &[section, key, value] : cases)
            ASSERT_TRUE(store->SaveSetting(App, section, key, value)) << store->lastError().toStdString();
    }
    // A new store has no cache: everything comes from the file.
    auto reread = SettingsStore::createFileStore(dir.path());
    for (const auto &[section, key, value] : cases)
        EXPECT_EQ(reread->GetSetting(App, section, key, QStringLiteral("<missing>")), value)
            << section.toStdString() << " / " << key.toStdString();

    // Plain names stay readable in the file.
    const QByteArray text = readFile(dir.filePath(QStringLiteral("Tabulon.ini")));
    EXPECT_TRUE(text.contains("[Results\\Font]\nFont=DejaVu Sans\n"));
    EXPECT_TRUE(text.contains("Split\\Percentage=90\n"));
    EXPECT_TRUE(text.contains("Date Format=dd/MM/yyyy\n"));
    // It holds the administrator's password hash: its owner's only, even when it was not before.
    const QString path = dir.filePath(QStringLiteral("Tabulon.ini"));
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    EXPECT_EQ(QFile::permissions(path) & others, QFileDevice::Permissions());
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    ASSERT_TRUE(reread->SaveSetting(App, QStringLiteral("Security"), QStringLiteral("Admin"), QStringLiteral("$argon2id$")));
    EXPECT_EQ(QFile::permissions(path) & others, QFileDevice::Permissions());
}

TEST(SettingsStoreFile, EveryBlankAtEitherEndOfNamesAndValuesSurvives)
{
    // Reading trims every Unicode space, so each of these must be escaped where it stands at an
    // end: no-break space, em space, NEL, vertical tab, form feed, ideographic space, line separator.
    const QList<QChar> blanks = {QChar(0x00A0), QChar(0x2003), QChar(0x0085), QChar(0x000B),
                                 QChar(0x000C), QChar(0x3000), QChar(0x2028), QChar(u' '), QChar(u'\t')};
    QTemporaryDir dir;
    std::vector<std::array<QString, 3>> cases;
    int n = 0;
    for (QChar b : blanks) {
        const QString s = QString::number(n++);
        cases.push_back({b + QStringLiteral("Sec") + s, b + QStringLiteral("Key") + b, QStringLiteral("v") + b});
        cases.push_back({QStringLiteral("S") + s + b, QStringLiteral("K") + s + b, b + QStringLiteral("mid") + b + b});
        cases.push_back({QStringLiteral("Only") + s, QStringLiteral("Blank"), QString(2, b)});
    }
    // Halves of surrogate pairs, which UTF-8 cannot carry; a whole pair stays as it is; text that
    // looks like an escape is kept literally.
    cases.push_back({QStringLiteral("Halves"), QString(QChar(0xD800)) + u'k', QString(QChar(0xDC00)) + u'v' + QChar(0xDBFF)});
    cases.push_back({QStringLiteral("Pair"), QStringLiteral("k"), QStringLiteral("\U0001F600 ok")});
    cases.push_back({QStringLiteral("Lookalike"), QStringLiteral("%u0041"), QStringLiteral("%uZZZZ %u00A0 %A0 %")});
    {
        auto store = SettingsStore::createFileStore(dir.path());
        for (const auto &[section, key, value] : cases)
            ASSERT_TRUE(store->SaveSetting(App, section, key, value)) << store->lastError().toStdString();
    }
    auto reread = SettingsStore::createFileStore(dir.path());
    const QStringList sections = reread->sections(App);
    for (const auto &[section, key, value] : cases) {
        EXPECT_TRUE(sections.contains(section)) << section.toStdString();
        const SettingList all = reread->GetAllSettings(App, section);
        ASSERT_FALSE(all.empty()) << section.toStdString();
        bool found = false;
        for (const auto &[k, v] : all) {
            if (k == key) {
                found = true;
                EXPECT_EQ(v, value) << section.toStdString();
            }
        }
        EXPECT_TRUE(found) << "key of " << section.toStdString() << " changed";
    }
    // Whole pairs stay readable text in the file.
    EXPECT_TRUE(readFile(dir.filePath(QStringLiteral("Tabulon.ini"))).contains("\xF0\x9F\x98\x80 ok"));
}

TEST(SettingsStoreFile, NamesMatchWithoutCaseButKeepTheirSpelling)
{
    QTemporaryDir dir;
    auto store = SettingsStore::createFileStore(dir.path());
    ASSERT_TRUE(store->SaveSetting(App, QStringLiteral("Results"), QStringLiteral("Col Sort"), QStringLiteral("True")));
    ASSERT_TRUE(store->SaveSetting(App, QStringLiteral("RESULTS"), QStringLiteral("col sort"), QStringLiteral("False")));
    EXPECT_EQ(store->GetSetting(App, QStringLiteral("results"), QStringLiteral("COL SORT")), QStringLiteral("False"));

    const SettingList all = store->GetAllSettings(App, QStringLiteral("Results"));
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.front().first, QStringLiteral("Col Sort"));
    EXPECT_EQ(store->sections(App), QStringList{QStringLiteral("Results")});
}

TEST(SettingsStoreFile, GetAllSettingsKeepsOrderAndDeleteRemovesKeysAndSections)
{
    auto scope = SettingsStore::useMemory();
    SettingsStore &store = SettingsStore::instance();
    for (int i = 0; i < 3; ++i)
        store.SaveSetting(App, QStringLiteral("Find"), QStringLiteral("%1Value").arg(i), QStringLiteral("v%1").arg(i));
    store.SaveSetting(App, QStringLiteral("Find"), QStringLiteral("0Value"), QStringLiteral("changed"));

    SettingList all = store.GetAllSettings(App, QStringLiteral("Find"));
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], std::make_pair(QStringLiteral("0Value"), QStringLiteral("changed")));
    EXPECT_EQ(all[2].first, QStringLiteral("2Value"));

    EXPECT_TRUE(store.DeleteSetting(App, QStringLiteral("Find"), QStringLiteral("1value")));
    EXPECT_EQ(store.GetAllSettings(App, QStringLiteral("Find")).size(), 2u);
    EXPECT_FALSE(store.value(App, QStringLiteral("Find"), QStringLiteral("1Value")).has_value());

    EXPECT_TRUE(store.DeleteSetting(App, QStringLiteral("find")));
    EXPECT_TRUE(store.GetAllSettings(App, QStringLiteral("Find")).empty());
    // What is not there is deleted already.
    EXPECT_TRUE(store.DeleteSetting(App, QStringLiteral("Find")));
    EXPECT_TRUE(store.DeleteSetting(App, QStringLiteral("Nope"), QStringLiteral("Key")));
    EXPECT_TRUE(store.lastError().isEmpty());
}

TEST(SettingsStoreTyped, BooleansAndNumbersConvertLikeTheClassicStore)
{
    EXPECT_EQ(SettingsStore::boolText(true), QStringLiteral("True"));
    EXPECT_EQ(SettingsStore::boolText(false), QStringLiteral("False"));

    const std::vector<std::pair<QString, std::optional<bool>>> bools = {
        {QStringLiteral("TRUE"), true}, {QStringLiteral("false"), false}, {QStringLiteral(" True "), true},
        {QStringLiteral("-1"), true},   {QStringLiteral("0"), false},     {QStringLiteral("2.5"), true},
        {QStringLiteral("yes"), std::nullopt}, {QString(), std::nullopt},
    };
    for (const auto &[text, expected] : bools)
        EXPECT_EQ(SettingsStore::toBool(text), expected) << text.toStdString();

    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("abc")), std::nullopt);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("16777215")), 16777215);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("2.5")), 2);   // half to even
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("3.5")), 4);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("-7")), -7);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("&H1F")), 31);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("&HFFFFFFFF")), -1);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("2147483648")), std::nullopt);
    EXPECT_EQ(SettingsStore::toLong(QStringLiteral("12abc")), std::nullopt);
    EXPECT_EQ(SettingsStore::toLong(QString()), std::nullopt);

    EXPECT_EQ(SettingsStore::doubleText(8.25), QStringLiteral("8.25"));
    EXPECT_EQ(SettingsStore::toDouble(QStringLiteral("8.25")), 8.25);
}

TEST(SettingsStoreFailure, FailedWriteIsReportedAndChangesNothing)
{
    QTemporaryDir dir;
    auto store = SettingsStore::createFileStore(dir.path());
    ASSERT_TRUE(store->SaveSetting(App, QStringLiteral("General"), QStringLiteral("Sort Fields"), QStringLiteral("True")));
    const QString file = store->filePath(App);
    const QByteArray before = readFile(file);

    store->setWriteFailure(QStringLiteral("No space left on device"));
    EXPECT_FALSE(store->SaveSetting(App, QStringLiteral("General"), QStringLiteral("Sort Fields"), QStringLiteral("False")));
    EXPECT_EQ(store->lastError(), QStringLiteral("No space left on device"));
    EXPECT_FALSE(store->DeleteSetting(App, QStringLiteral("General")));
    EXPECT_EQ(store->GetSetting(App, QStringLiteral("General"), QStringLiteral("Sort Fields")), QStringLiteral("True"));
    EXPECT_EQ(readFile(file), before);

    store->setWriteFailure({});
    EXPECT_TRUE(store->SaveSetting(App, QStringLiteral("General"), QStringLiteral("Sort Fields"), QStringLiteral("False")));
    EXPECT_TRUE(store->lastError().isEmpty());
}

TEST(SettingsStoreFailure, UnwritableFolderIsReportedNotSilent)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("not-a-folder"));
    writeFile(blocker, "x");
    auto store = SettingsStore::createFileStore(blocker + QStringLiteral("/Tabulon"));

    EXPECT_FALSE(store->SaveSetting(App, QStringLiteral("Main"), QStringLiteral("Toolbar"), QStringLiteral("True")));
    EXPECT_FALSE(store->lastError().isEmpty());
    EXPECT_FALSE(store->value(App, QStringLiteral("Main"), QStringLiteral("Toolbar")).has_value());
}

TEST(SettingsStoreFailure, UnreadableFileIsNeverOverwritten)
{
    QTemporaryDir dir;
    // A folder where the file should be: it cannot be read, and must not be replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Tabulon.ini")));
    auto store = SettingsStore::createFileStore(dir.path());
    EXPECT_EQ(store->GetSetting(App, QStringLiteral("Main"), QStringLiteral("Toolbar"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_FALSE(store->SaveSetting(App, QStringLiteral("Main"), QStringLiteral("Toolbar"), QStringLiteral("True")));
    EXPECT_FALSE(store->lastError().isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath(QStringLiteral("Tabulon.ini"))).isDir());
}

TEST(SettingsStoreFile, ChangesByAnotherProcessAreSeenAndKept)
{
    QTemporaryDir dir;
    auto first = SettingsStore::createFileStore(dir.path());
    auto second = SettingsStore::createFileStore(dir.path());
    ASSERT_TRUE(first->SaveSetting(App, QStringLiteral("Browser"), QStringLiteral("Left"), QStringLiteral("10")));
    EXPECT_EQ(second->GetSetting(App, QStringLiteral("Browser"), QStringLiteral("Left")), QStringLiteral("10"));
    ASSERT_TRUE(second->SaveSetting(App, QStringLiteral("Browser"), QStringLiteral("Top"), QStringLiteral("20")));
    // first's cache is stale now; its next save must not drop second's key.
    ASSERT_TRUE(first->SaveSetting(App, QStringLiteral("Browser"), QStringLiteral("Width"), QStringLiteral("300")));

    auto fresh = SettingsStore::createFileStore(dir.path());
    const SettingList all = fresh->GetAllSettings(App, QStringLiteral("Browser"));
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1], std::make_pair(QStringLiteral("Top"), QStringLiteral("20")));

    // A hand edit with blanks around '=' reads as expected.
    writeFile(first->filePath(App), "; edited\n[Browser]\n  Left =  42  \nbroken line\n");
    EXPECT_EQ(first->GetSetting(App, QStringLiteral("Browser"), QStringLiteral("Left")), QStringLiteral("42"));
    EXPECT_EQ(first->GetAllSettings(App, QStringLiteral("Browser")).size(), 1u);

    // Saved by another program as UTF-16 or UTF-32 with a byte-order mark, or as UTF-8 with one:
    // read, and a save keeps every value.
    const QString edited = QStringLiteral("[Browser]\r\nLeft=ünï €\r\n[Main]\r\nToolbar=True\r\n");
    for (const auto &[encoding, mark] :
         {std::pair{QStringConverter::Utf16LE, QByteArray("\xFF\xFE")}, std::pair{QStringConverter::Utf16BE, QByteArray("\xFE\xFF")},
          std::pair{QStringConverter::Utf32LE, QByteArray("\xFF\xFE\0\0", 4)},
          std::pair{QStringConverter::Utf32BE, QByteArray("\0\0\xFE\xFF", 4)}, std::pair{QStringConverter::Utf8, QByteArray("\xEF\xBB\xBF")}}) {
        QStringEncoder encoder(encoding);
        writeFile(first->filePath(App), mark + QByteArray(encoder.encode(edited)));
        EXPECT_EQ(first->GetSetting(App, QStringLiteral("Browser"), QStringLiteral("Left")), QStringLiteral("ünï €")) << int(encoding);
        ASSERT_TRUE(first->SaveSetting(App, QStringLiteral("Browser"), QStringLiteral("Top"), QStringLiteral("5")));
        auto after = SettingsStore::createFileStore(dir.path());
        EXPECT_EQ(after->GetSetting(App, QStringLiteral("Browser"), QStringLiteral("Left")), QStringLiteral("ünï €")) << int(encoding);
        EXPECT_EQ(after->GetSetting(App, QStringLiteral("Main"), QStringLiteral("Toolbar")), QStringLiteral("True")) << int(encoding);
    }
    // Lines ended by a lone carriage return, as an older editor ends them, read and keep each value.
    writeFile(first->filePath(App), QStringLiteral("[Browser]\rLeft=ünï €\r[Main]\rToolbar=True\r").toUtf8());
    EXPECT_EQ(first->GetSetting(App, QStringLiteral("Browser"), QStringLiteral("Left")), QStringLiteral("ünï €"));
    ASSERT_TRUE(first->SaveSetting(App, QStringLiteral("Browser"), QStringLiteral("Top"), QStringLiteral("5")));
    auto afterCr = SettingsStore::createFileStore(dir.path());
    EXPECT_EQ(afterCr->GetSetting(App, QStringLiteral("Browser"), QStringLiteral("Left")), QStringLiteral("ünï €"));
    EXPECT_EQ(afterCr->GetSetting(App, QStringLiteral("Main"), QStringLiteral("Toolbar")), QStringLiteral("True"));
    // UTF-16 without its mark, or broken after one, cannot be read whole: never saved over.
    for (const QByteArray &broken : {QByteArray("[\0M\0a\0i\0n\0]\0\n\0", 14), QByteArray("\xFF\xFE[\0M\0]\0\n\0\x00\xD8", 12), QByteArray("\xFF\xFE[\0M\0]\0\n\0\n", 11)}) {
        writeFile(first->filePath(App), broken);
        EXPECT_FALSE(first->SaveSetting(App, QStringLiteral("Main"), QStringLiteral("Toolbar"), QStringLiteral("False")));
        EXPECT_TRUE(first->lastError().contains(QStringLiteral("Tabulon.ini"))) << first->lastError().toStdString();
        EXPECT_EQ(readFile(first->filePath(App)), broken);
    }
}

TEST(SettingsStoreArguments, UnusableNamesAreRefused)
{
    QTemporaryDir dir;
    auto store = SettingsStore::createFileStore(dir.path());
    EXPECT_FALSE(store->SaveSetting(QStringLiteral("../escape"), QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v")));
    EXPECT_FALSE(store->SaveSetting(QString(), QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v")));
    EXPECT_FALSE(store->SaveSetting(App, QString(), QStringLiteral("K"), QStringLiteral("v")));
    EXPECT_FALSE(store->SaveSetting(App, QStringLiteral("S"), QString(), QStringLiteral("v")));
    EXPECT_FALSE(store->lastError().isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("../escape.ini"))));
}

TEST(SettingsStoreInstance, MemoryScopesNestAndRestore)
{
    const auto original = SettingsStore::current();
    {
        auto outer = SettingsStore::useMemory();
        EXPECT_TRUE(SettingsStore::instance().isMemory());
        SettingsStore::instance().SaveSetting(App, QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("outer"));
        {
            auto inner = SettingsStore::useMemory();
            EXPECT_FALSE(SettingsStore::instance().value(App, QStringLiteral("S"), QStringLiteral("K")).has_value());
        }
        EXPECT_EQ(SettingsStore::instance().GetSetting(App, QStringLiteral("S"), QStringLiteral("K")), QStringLiteral("outer"));
    }
    EXPECT_EQ(SettingsStore::current(), original);
    EXPECT_FALSE(original->isMemory());
}
