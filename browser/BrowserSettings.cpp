#include "hlSourceBrowser/BrowserSettings.h"

#include "hlSourceBrowser/DataSourceFile.h"
#include "Faultdesk/hrErr.h"
#include "BrowserTrap.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDialog>
#include <QStringList>

#include <memory>

namespace browser {

namespace {

const QString kGeneral = QStringLiteral("General");
const QString kData = QStringLiteral("Data");
const QString kAdmin = QStringLiteral("Admin");

DialogRunner &dialogRunner()
{
    static DialogRunner runner;
    return runner;
}

// Reads one key into its variable, keeping the variable's value when the key is missing or its
// text does not convert; the latter is collected so that it is reported once.
class Reader {
public:
    explicit Reader(const QString &app) : m_app(app) {}

    void read(const QString &section, const QString &key, bool &target)
    {
        if (auto text = stored(section, key)) {
            if (auto v = settings::SettingsStore::toBool(*text))
                target = *v;
            else
                m_bad << describe(section, key, *text);
        }
    }
    void read(const QString &section, const QString &key, qint32 &target, qint32 min, qint32 max)
    {
        if (auto text = stored(section, key)) {
            if (auto v = settings::SettingsStore::toLong(*text); v && *v >= min && *v <= max)
                target = *v;
            else
                m_bad << describe(section, key, *text);
        }
    }
    void read(const QString &section, const QString &key, QString &target)
    {
        if (auto text = stored(section, key))
            target = *text;
    }

    void reportBad(const QString &procName) const
    {
        if (!m_bad.isEmpty())
            logError(procName, QCoreApplication::translate("Browser", "These settings could not be read and keep their defaults: %1")
                                   .arg(m_bad.join(QStringLiteral("; "))));
    }

private:
    std::optional<QString> stored(const QString &section, const QString &key) const
    {
        return settings::SettingsStore::instance().value(m_app, section, key);
    }
    static QString describe(const QString &section, const QString &key, const QString &text)
    {
        return QStringLiteral("%1\\%2 = \"%3\"").arg(section, key, text);
    }

    QString m_app;
    QStringList m_bad;
};

// Collects the first failing write so that a save reports once and stops.
class Writer {
public:
    explicit Writer(const QString &app) : m_app(app) {}
    bool write(const QString &section, const QString &key, const QString &value)
    {
        if (!m_error.isEmpty())
            return false;
        auto &store = settings::SettingsStore::instance();
        if (!store.SaveSetting(m_app, section, key, value)) {
            m_error = QStringLiteral("%1\\%2: %3").arg(section, key, store.lastError());
            return false;
        }
        return true;
    }
    bool write(const QString &section, const QString &key, bool value)
    {
        return write(section, key, settings::SettingsStore::boolText(value));
    }
    bool write(const QString &section, const QString &key, qint32 value)
    {
        return write(section, key, QString::number(value));
    }
    bool finish(const QString &procName) const
    {
        if (m_error.isEmpty())
            return true;
        logError(procName, m_error);
        return false;
    }

private:
    QString m_app;
    QString m_error;
};

QString appName()
{
    BrowserSettings &s = browserSettings();
    return s.AppName.isEmpty() ? QStringLiteral("Tabulon") : s.AppName;
}

} // namespace

BrowserSettings &browserSettings()
{
    static BrowserSettings s;
    return s;
}

hrErr &errorObject()
{
    static std::unique_ptr<hrErr> err = std::make_unique<hrErr>();
    return *err;
}

void logError(const QString &procName, const QString &description)
{
    try {
        errorObject().Log_Error(procName, description);
    } catch (...) {
        // Reporting must never be the failure.
    }
}

bool Read_INI()
{
    return trap(QStringLiteral("Read_INI"), [&] {
        BrowserSettings &s = browserSettings();
        s.ObjectToolDelay = 3;
        s.SplitPercentage = 20;
        s.SplitOrientation = false;
        s.DataView = 1;
        s.EditData = s.OpenTable = s.OpenSp = s.OpenView = s.OpenSQL = s.Options = true;
        if (s.IniFilePath.isEmpty())
            s.IniFilePath = locateDataSourceFile();

        Reader r(appName());
        r.read(kGeneral, QStringLiteral("Data View"), s.DataView, kMinDataView, kMaxDataView);
        r.read(kData, QStringLiteral("ToolBar Text"), s.ToolBarText);
        r.read(kData, QStringLiteral("Grid Lines"), s.GridLines);
        r.read(kGeneral, QStringLiteral("Object Tool Tips"), s.ObjectToolTips);
        r.read(kGeneral, QStringLiteral("Object Tool Tip Field Types"), s.ObjectToolTipFieldTypes);
        r.read(kGeneral, QStringLiteral("Object Tool Tip sort"), s.ObjectToolTipSort);
        r.read(kGeneral, QStringLiteral("Object Tool Delay"), s.ObjectToolDelay, kMinToolDelay, kMaxToolDelay);
        r.read(kData, QStringLiteral("Split\\Percentage"), s.SplitPercentage, 0, 100);
        r.read(kData, QStringLiteral("Split\\Orientation"), s.SplitOrientation);
        r.read(kData, QStringLiteral("Split\\Left"), s.SplitLeft);
        r.reportBad(QStringLiteral("Read_INI"));
        return true;
    });
}

bool Get_Options()
{
    return trap(QStringLiteral("Get_Options"), [&] {
        BrowserSettings &s = browserSettings();
        Reader r(appName());
        r.read(kAdmin, QStringLiteral("Open Table"), s.OpenTable);
        r.read(kAdmin, QStringLiteral("Open View"), s.OpenView);
        r.read(kAdmin, QStringLiteral("Open sp"), s.OpenSp);
        r.read(kAdmin, QStringLiteral("Data Password"), s.DataPassword);
        r.read(kAdmin, QStringLiteral("Admin Password"), s.AdminPassword);
        r.read(kAdmin, QStringLiteral("Password"), s.Password);
        r.read(kAdmin, QStringLiteral("Edit Data"), s.EditData);
        r.read(kAdmin, QStringLiteral("Open SQL"), s.OpenSQL);
        r.read(kAdmin, QStringLiteral("Options"), s.Options);
        s.OpenTable = true;
        r.reportBad(QStringLiteral("Get_Options"));
        return true;
    });
}

bool Write_INI()
{
    const BrowserSettings &s = browserSettings();
    Writer w(appName());
    w.write(kGeneral, QStringLiteral("INI File"), s.IniFilePath);
    w.write(kData, QStringLiteral("Split\\Percentage"), s.SplitPercentage);
    w.write(kData, QStringLiteral("Split\\Orientation"), s.SplitOrientation);
    w.write(kData, QStringLiteral("Split\\Left"), s.SplitLeft);
    w.write(kData, QStringLiteral("ToolBar Text"), s.ToolBarText);
    w.write(kData, QStringLiteral("Grid Lines"), s.GridLines);
    w.write(kGeneral, QStringLiteral("Object Tool Tips"), s.ObjectToolTips);
    w.write(kGeneral, QStringLiteral("Object Tool Tip Field Types"), s.ObjectToolTipFieldTypes);
    w.write(kGeneral, QStringLiteral("Object Tool Tip sort"), s.ObjectToolTipSort);
    w.write(kGeneral, QStringLiteral("Object Tool Delay"), s.ObjectToolDelay);
    return w.finish(QStringLiteral("Write_INI"));
}

bool Save_Options()
{
    const BrowserSettings &s = browserSettings();
    Writer w(appName());
    w.write(kAdmin, QStringLiteral("Open Table"), s.OpenTable);
    w.write(kAdmin, QStringLiteral("Open View"), s.OpenView);
    w.write(kAdmin, QStringLiteral("Open sp"), s.OpenSp);
    w.write(kAdmin, QStringLiteral("Data Password"), s.DataPassword);
    w.write(kAdmin, QStringLiteral("Admin Password"), s.AdminPassword);
    w.write(kAdmin, QStringLiteral("Password"), s.Password);
    w.write(kAdmin, QStringLiteral("Edit Data"), s.EditData);
    w.write(kAdmin, QStringLiteral("Open SQL"), s.OpenSQL);
    w.write(kAdmin, QStringLiteral("Options"), s.Options);
    return w.finish(QStringLiteral("Save_Options"));
}

int Check_AlphaKey(int keyAscii)
{
    if (keyAscii == 8)
        return keyAscii;
    if (keyAscii == 13)
        return -1;
    if ((keyAscii >= '0' && keyAscii <= '9') || (keyAscii >= 'a' && keyAscii <= 'z')
        || (keyAscii >= 'A' && keyAscii <= 'Z'))
        return keyAscii;
    return 0;
}

int Check_NumberKey(int keyAscii, bool allowDecimal)
{
    if (keyAscii == 8)
        return keyAscii;
    if (keyAscii == 13)
        return -1;
    if (keyAscii == '.')
        return allowDecimal ? keyAscii : 0;
    if (keyAscii >= '0' && keyAscii <= '9')
        return keyAscii;
    return 0;
}

void setDialogRunner(DialogRunner runner)
{
    dialogRunner() = std::move(runner);
}

void runDialog(QDialog &dialog)
{
    if (dialogRunner())
        dialogRunner()(dialog);
    else
        dialog.exec();
}

} // namespace browser
