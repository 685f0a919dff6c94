#include "settings/IniFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

using namespace settings;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Makes a folder unwritable for the test's lifetime: by permissions, or, for root (who ignores
// them), by a read-only view of the folder mounted over it, else by the immutable attribute.
class LockedFolder {
public:
    explicit LockedFolder(const QString &folder)
        : m_folder(folder)
    {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (writable() && ::geteuid() == 0) {
            const QByteArray at = QFile::encodeName(folder);
            m_mounted = ::mount(at.constData(), at.constData(), nullptr, MS_BIND, nullptr) == 0;
            if (m_mounted)
                ::mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
        }
        if (writable())
            m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0;
        m_locked = !writable();
    }
    ~LockedFolder()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_folder});
        QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    bool locked() const { return m_locked; }

private:
    bool writable() const
    {
        QFile probe(m_folder + QStringLiteral("/probe"));
        if (!probe.open(QIODevice::WriteOnly))
            return false;
        probe.remove();
        return true;
    }
    QString m_folder;
    bool m_mounted = false;
    bool m_immutable = false;
    bool m_locked = false;
};

const QByteArray ClassicFile =
    "; data sources\r\n"
    "[1]\r\n"
    "Name = Sales  \r\n"
    "  CONNECTION=\"Provider=SQLite;Data Source=/data/sales.db\"\r\n"
    "Description='The sales database'\r\n"
    "Delimiter=\"\r\n"
    "Name=second Name is ignored\r\n"
    "\r\n"
    "[ 2 ]\r\n"
    "Name=Stock\r\n"
    "Quoted=\"\"inner\"\"\r\n"
    "Mixed=\"only one side\r\n"
    "\r\n"
    "[1]\r\n"
    "Name=a later duplicate section is never read\r\n";

} // namespace

TEST(IniFileRead, ClassicRulesForNamesQuotesAndFirstMatch)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DataSources.ini"));
    writeFile(path, ClassicFile);
    const IniFile ini(path);

    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("name")), QStringLiteral("Sales"));
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Connection")),
              QStringLiteral("Provider=SQLite;Data Source=/data/sales.db"));
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Description")),
              QStringLiteral("The sales database"));
    // A lone quote is no pair: the double-quote delimiter reads back as itself.
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Delimiter")), QStringLiteral("\""));
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral(" 2 "), QStringLiteral("NAME")), QStringLiteral("Stock"));
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("2"), QStringLiteral("Quoted")), QStringLiteral("\"inner\""));
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("2"), QStringLiteral("Mixed")), QStringLiteral("\"only one side"));

    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("3"), QStringLiteral("Name"), QStringLiteral("none  ")),
              QStringLiteral("none"));
    EXPECT_FALSE(ini.value(QStringLiteral("1"), QStringLiteral("ID")).has_value());

    EXPECT_EQ(ini.sections(), (QStringList{QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(ini.keys(QStringLiteral("1")),
              (QStringList{QStringLiteral("Name"), QStringLiteral("CONNECTION"), QStringLiteral("Description"),
                           QStringLiteral("Delimiter")}));
    EXPECT_FALSE(ini.readAsWindows1252());

    // A lone carriage return ends a line too, so no name or value read holds one (which could
    // never be written back).
    writeFile(path, "[1]\rName=One\r[Notes]\rwo\r[1e]\rk=a\rb\r\n");
    const IniFile mac(path);
    EXPECT_EQ(mac.sections(), (QStringList{QStringLiteral("1"), QStringLiteral("Notes"), QStringLiteral("1e")}));
    EXPECT_EQ(mac.value(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("One"));
    EXPECT_EQ(mac.keys(QStringLiteral("Notes")), QStringList());
    EXPECT_EQ(mac.value(QStringLiteral("1e"), QStringLiteral("k")), QStringLiteral("a"));
}

TEST(IniFileWrite, RewriteChangesOnlyWhatWasWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DataSources.ini"));
    writeFile(path, ClassicFile);
    IniFile ini(path);

    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("connection"),
                                              QStringLiteral("Provider=PostgreSQL;Data Source=db"))) << ini.lastError().toStdString();
    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("2"), QStringLiteral("Delimiter"), QStringLiteral("`")));
    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("3"), QStringLiteral("Name"), QStringLiteral("New")));

    QByteArray expected = ClassicFile;
    expected.replace("  CONNECTION=\"Provider=SQLite;Data Source=/data/sales.db\"\r\n",
                     "CONNECTION=Provider=PostgreSQL;Data Source=db\r\n");
    expected.replace("Mixed=\"only one side\r\n", "Mixed=\"only one side\r\nDelimiter=`\r\n");
    expected += "\r\n[3]\r\nName=New\r\n";
    EXPECT_EQ(readFile(path), expected);
}

TEST(IniFileWrite, ValuesThatReadingWouldAlterRoundTrip)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("x.ini")));
    const QStringList values = {
        QStringLiteral("  leading and trailing  "), QStringLiteral("\"quoted\""), QStringLiteral("'single'"),
        QStringLiteral("\""), QStringLiteral("''"), QStringLiteral("it''s doubled"), QString(),
        QStringLiteral("a=b;c=\"d\""), QString(5000, QLatin1Char('x')) + QStringLiteral("€end"),
    };
    for (int i = 0; i < values.size(); ++i)
        ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K%1").arg(i), values[i]));

    const IniFile reread(ini.path());
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(reread.GetPrivateProfileString(QStringLiteral("S"), QStringLiteral("K%1").arg(i), QStringLiteral("?")),
                  values[i]) << i;
}

TEST(IniFileWrite, NullKeyRemovesTheSectionAndNullValueTheKey)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DataSources.ini"));
    writeFile(path, "[1]\nName=A\nID=1\n\n[2]\nName=B\n\n[3]\nName=C\n");
    IniFile ini(path);

    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("id"), std::nullopt));
    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("2"), std::nullopt, std::nullopt));
    // Removing what is not there succeeds and changes nothing.
    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("9"), std::nullopt, std::nullopt));
    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("3"), QStringLiteral("Missing"), std::nullopt));

    EXPECT_EQ(readFile(path), QByteArray("[1]\nName=A\n\n[3]\nName=C\n"));
}

TEST(IniFileEncoding, Windows1252BytesAreReadAndRewrittenAsUtf8)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.ini"));
    writeFile(path, "[1]\r\nName=Caf\xe9 \x80 \x93quoted\x94\r\n");
    IniFile ini(path);
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")),
              QStringLiteral("Café € “quoted”"));
    EXPECT_TRUE(ini.readAsWindows1252());

    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Description"), QStringLiteral("ok")));
    EXPECT_EQ(readFile(path), QByteArray("[1]\r\nName=Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cquoted\xe2\x80\x9d\r\n"
                                          "Description=ok\r\n"));

    writeFile(path, "\xef\xbb\xbf[1]\nName=Bom\xc3\xa9\n");
    const IniFile bom(path);
    EXPECT_EQ(bom.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("Bomé"));
    EXPECT_FALSE(bom.readAsWindows1252());

    // UTF-16 and UTF-32 with a byte-order mark: read, and rewritten as UTF-8 (with its mark).
    const QString unicode = QStringLiteral("[1]\r\nName=Ünï € \U0001F600\r\n[ 2 ]\r\nName=Two\r\n");
    for (const auto &[encoding, mark] :
         {std::pair{QStringConverter::Utf16LE, QByteArray("\xFF\xFE")}, std::pair{QStringConverter::Utf16BE, QByteArray("\xFE\xFF")},
          std::pair{QStringConverter::Utf32LE, QByteArray("\xFF\xFE\0\0", 4)},
          std::pair{QStringConverter::Utf32BE, QByteArray("\0\0\xFE\xFF", 4)}}) {
        QStringEncoder encoder(encoding);
        writeFile(path, mark + QByteArray(encoder.encode(unicode)));
        IniFile wide(path);
        EXPECT_EQ(wide.sections(), (QStringList{QStringLiteral("1"), QStringLiteral("2")})) << int(encoding);
        EXPECT_EQ(wide.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("Ünï € \U0001F600"));
        EXPECT_TRUE(wide.readError().isEmpty());
        ASSERT_TRUE(wide.WritePrivateProfileString(QStringLiteral("2"), QStringLiteral("Description"), QStringLiteral("ok")));
        EXPECT_EQ(readFile(path), "\xEF\xBB\xBF" + (unicode + QStringLiteral("Description=ok\r\n")).toUtf8()) << int(encoding);
    }

    // Bytes that are no text of their encoding cannot be read whole: said so, never written over.
    for (const QByteArray &broken :
         {QByteArray("\xFF\xFE[\0" "1\0]\0\n\0\x00\xD8\n\0", 12), // half a surrogate pair
          QByteArray("\xFE\xFF\0[\0" "1\0]\0\n\0", 11),                 // cut off mid-character
          QByteArray("\xFF\xFE\0\0\0\0\0\x7F", 8),                       // beyond Unicode
          QByteArray("[\0" "1\0]\0\n\0N\0=\0x\0\n\0", 16)}) {          // UTF-16 without its mark
        writeFile(path, broken);
        IniFile bad(path);
        EXPECT_FALSE(bad.readError().isEmpty()) << broken.toHex().constData();
        EXPECT_TRUE(bad.sections().isEmpty());
        EXPECT_FALSE(bad.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Name"), QStringLiteral("A")));
        EXPECT_TRUE(bad.lastError().contains(path)) << bad.lastError().toStdString();
        EXPECT_EQ(readFile(path), broken);
    }
}

TEST(IniFileWrite, UnusableInputIsRefusedWithoutTouchingTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DataSources.ini"));
    writeFile(path, "[1]\nName=A\n");
    IniFile ini(path);

    EXPECT_FALSE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Description"), QStringLiteral("two\nlines")));
    EXPECT_FALSE(ini.lastError().isEmpty());
    EXPECT_FALSE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("a=b"), QStringLiteral("v")));
    EXPECT_FALSE(ini.WritePrivateProfileString(QStringLiteral("x]y"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_FALSE(ini.WritePrivateProfileString(QString(), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(readFile(path), QByteArray("[1]\nName=A\n"));
}

TEST(IniFileFailure, WriteIntoAMissingFolderFailsWithText)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("no/such/folder/DataSources.ini")));
    EXPECT_FALSE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Name"), QStringLiteral("A")));
    EXPECT_TRUE(ini.lastError().contains(QStringLiteral("DataSources.ini"))) << ini.lastError().toStdString();
    EXPECT_TRUE(ini.sections().isEmpty());
}

TEST(IniFileFailure, FailedRewriteLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/DataSources.ini");
    writeFile(path, "[1]\nName=A\n");
    IniFile ini(path);
    ASSERT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("A"));

    LockedFolder lock(folder);
    ASSERT_TRUE(lock.locked()) << "cannot make a folder unwritable for this user";
    EXPECT_FALSE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Name"), QStringLiteral("B")));
    EXPECT_FALSE(ini.lastError().isEmpty());
    EXPECT_EQ(readFile(path), QByteArray("[1]\nName=A\n"));
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("A"));
}

TEST(IniFileRead, FileRemovedOrChangedOnDiskIsReadAgain)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("DataSources.ini"));
    writeFile(path, "[1]\nName=Old\n[2]\nName=Other\n");
    IniFile ini(path);
    ASSERT_EQ(ini.sections().size(), 2);

    // The browser saves by removing the file and writing every section again.
    ASSERT_TRUE(QFile::remove(path));
    EXPECT_TRUE(ini.sections().isEmpty());
    ASSERT_TRUE(ini.WritePrivateProfileString(QStringLiteral("1"), QStringLiteral("Name"), QStringLiteral("New")));
    EXPECT_EQ(readFile(path), QByteArray("[1]\nName=New\n"));

    writeFile(path, "[1]\nName=Edited elsewhere\n");
    EXPECT_EQ(ini.GetPrivateProfileString(QStringLiteral("1"), QStringLiteral("Name")), QStringLiteral("Edited elsewhere"));
}
