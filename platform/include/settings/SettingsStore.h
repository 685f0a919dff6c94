#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace settings {

// Key/value pairs of one section, in the order they were first saved.
using SettingList = std::vector<std::pair<QString, QString>>;

class ScopedSettingsStore;

// The per-user settings store: text values addressed by (application, section, key).
//
// Names are kept as given (backslashes, blanks and case included) and matched without regard to
// case, as the classic registry-backed store does: "Results\Font" is one section name, not a path.
// The file store keeps one file per application, <folder>/<application>.ini, in its own INI
// dialect (characters that would break a line are written as %XX), parsed once and cached; every
// save writes the whole file through QSaveFile before the cache changes, so a failed write leaves
// both the file and the values read back as they were. A file changed by another process is read
// again before the next read or write.
//
// Only the UI thread uses the store. No member throws.
class PLATFORM_EXPORT SettingsStore {
public:
    // folder empty: <GenericConfigLocation>/Tabulon.
    static std::shared_ptr<SettingsStore> createFileStore(const QString &folder = {});
    static std::shared_ptr<SettingsStore> createMemoryStore();
    static QString defaultFolder();

    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // The stored text, or defaultValue when the key (or the section, or the file) is missing or
    // unreadable.
    QString GetSetting(const QString &application, const QString &section, const QString &key,
                       const QString &defaultValue = {}) const;
    // The stored text, or nothing when the key is missing.
    std::optional<QString> value(const QString &application, const QString &section,
                                 const QString &key) const;
    // False (and lastError()) when the value could not be written; nothing changed then.
    bool SaveSetting(const QString &application, const QString &section, const QString &key,
                     const QString &value);
    // Removes a whole section, or one key. Removing what is not there succeeds.
    bool DeleteSetting(const QString &application, const QString &section);
    bool DeleteSetting(const QString &application, const QString &section, const QString &key);
    // Every key of a section with its value; empty when the section is missing.
    SettingList GetAllSettings(const QString &application, const QString &section) const;
    QStringList sections(const QString &application) const;

    // Conversions of stored text. A caller tells "missing" from "not convertible" and picks its
    // own default. toBool: "True"/"False" in any case, or a number (non-zero is True).
    static std::optional<bool> toBool(const QString &text);
    // toLong: a number in the 32-bit range, rounded half to even ("2.5" is 2); "&H1F" hex too.
    static std::optional<qint32> toLong(const QString &text);
    static std::optional<double> toDouble(const QString &text);
    // Booleans are written "True"/"False"; numbers as plain decimal text.
    static QString boolText(bool value);
    static QString doubleText(double value);

    // Why the last failing call failed; cleared by each successful write.
    QString lastError() const;
    bool isMemory() const;
    // The file that holds an application's settings; empty for a memory store.
    QString filePath(const QString &application) const;
    // For failure tests: while set, every save and delete fails with this text and changes nothing.
    void setWriteFailure(const QString &error);

    // The process-wide store: the file store under the default folder unless replaced.
    static SettingsStore &instance();
    static std::shared_ptr<SettingsStore> current();
    // Installs a fresh memory store until the guard goes out of scope.
    [[nodiscard]] static ScopedSettingsStore useMemory();
    [[nodiscard]] static ScopedSettingsStore use(std::shared_ptr<SettingsStore> store);

private:
    struct Private;
    explicit SettingsStore(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

// Makes a store the process-wide one for a scope, then restores the one before.
class PLATFORM_EXPORT ScopedSettingsStore {
public:
    explicit ScopedSettingsStore(std::shared_ptr<SettingsStore> store);
    ~ScopedSettingsStore();
    ScopedSettingsStore(ScopedSettingsStore &&other) noexcept;
    ScopedSettingsStore(const ScopedSettingsStore &) = delete;
    ScopedSettingsStore &operator=(const ScopedSettingsStore &) = delete;
    ScopedSettingsStore &operator=(ScopedSettingsStore &&) = delete;

    SettingsStore &store() const { return *m_store; }

private:
    std::shared_ptr<SettingsStore> m_store;
    std::shared_ptr<SettingsStore> m_previous;
    bool m_active = true;
};

} // namespace settings
