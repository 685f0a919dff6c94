#pragma once

#include <tabulon/DbExport.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace settings {

// A private-profile INI file, read and written by the classic rules:
// - section and key names match without regard to case; names and values are trimmed;
// - the first matching section, and the first matching key in it, win;
// - one pair of surrounding double (or single) quotes is stripped from a value when read;
// - lines starting with ';' are comments and stay, with blank lines, when the file is rewritten.
// - a line ends at a line feed, a carriage return, or both.
// The file is read as UTF-8, UTF-16 or UTF-32 when a byte-order mark says so, otherwise as UTF-8,
// or as Windows-1252 when its bytes are not valid UTF-8; it is always written as UTF-8 through
// QSaveFile: a failed write leaves the old file whole. A file that cannot be read whole (unreadable,
// or not valid text of its encoding) is never written over.
// A value whose text would not survive those rules (blanks at an end, surrounding quotes) is
// written inside double quotes so that it reads back exactly.
//
// The parsed file is cached and read again when the file changes on disk (or is removed).
// No member throws.
class DB_EXPORT IniFile {
public:
    // One section as it stands in a file: its name and every entry, in file order.
    struct Section {
        QString name;
        std::vector<std::pair<QString, QString>> entries;
    };

    explicit IniFile(const QString &path);
    ~IniFile();
    IniFile(IniFile &&) noexcept;
    IniFile &operator=(IniFile &&) noexcept;
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;

    QString path() const;

    // The value, or defaultValue (without its trailing blanks) when the key is missing.
    QString GetPrivateProfileString(const QString &section, const QString &key,
                                    const QString &defaultValue = {}) const;
    // The value, or nothing when the key is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;

    // Classic write: a key of std::nullopt removes the whole section, a value of std::nullopt
    // removes the key; otherwise the key is set (the section and key are added when missing).
    // False, with lastError(), when the file could not be written or a name is unusable.
    bool WritePrivateProfileString(const QString &section, const std::optional<QString> &key,
                                   const std::optional<QString> &value);

    // Section names in file order; key names of the first matching section, in file order.
    QStringList sections() const;
    QStringList keys(const QString &section) const;

    // Every section in file order, repeated ones included, each with every entry as read (a key
    // repeated in a section too), for a caller that rewrites the whole file.
    std::vector<Section> everySection() const;

    // The text of a whole file holding these sections in this order (names repeated as given),
    // written by the same rules as WritePrivateProfileString, ready for one atomic write. Nothing,
    // with the reason in error, when a name or value cannot be written.
    static std::optional<QByteArray> compose(const std::vector<Section> &sections, QString *error = nullptr);

    // Why the file could not be read whole; empty when it was (or when there is no file).
    QString readError() const;
    // True when the file's bytes were not valid UTF-8 and were read as Windows-1252.
    bool readAsWindows1252() const;
    QString lastError() const;

    // Windows-1252 text to Unicode (the bytes 0x80-0x9F differ from Latin-1).
    static QString fromWindows1252(const QByteArray &bytes);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace settings
