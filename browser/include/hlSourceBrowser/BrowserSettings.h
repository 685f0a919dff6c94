#pragma once

#include <tabulon/hlSourceBrowserExport.h>

#include <QString>

#include <functional>

class QDialog;
class hrErr;

namespace browser {

// The browser library's settings, shared by the control and its dialogs for the life of the
// process. Values live in the settings store under application "Tabulon".
struct HLSOURCEBROWSER_EXPORT BrowserSettings {
    // "General"
    qint32 DataView = 1;
    bool ObjectToolTips = false;
    bool ObjectToolTipFieldTypes = false;
    bool ObjectToolTipSort = false;
    qint32 ObjectToolDelay = 3;
    // "Data"
    bool ToolBarText = false;
    bool GridLines = false;
    qint32 SplitPercentage = 20;
    bool SplitOrientation = false;
    bool SplitLeft = false;
    // "Admin"
    bool OpenTable = true;
    bool OpenView = true;
    bool OpenSp = true;
    bool EditData = true;
    bool OpenSQL = true;
    bool Options = true;
    bool DataPassword = false;
    bool AdminPassword = false;
    QString Password; // libsodium hash of the normalised password; empty: none set

    QString AppName;     // settings application
    QString IniFilePath; // the data-source file
};

HLSOURCEBROWSER_EXPORT BrowserSettings &browserSettings();

// The values the stored numbers may hold; anything else keeps the default and is reported.
inline constexpr qint32 kMinDataView = 0; // large icons, small icons, list, details
inline constexpr qint32 kMaxDataView = 3;
inline constexpr qint32 kMinToolDelay = 1; // seconds the field tooltip stays
inline constexpr qint32 kMaxToolDelay = 3600;

// The library's one error object, created on first use.
HLSOURCEBROWSER_EXPORT hrErr &errorObject();
// Log_Error of the library's error object; never throws.
HLSOURCEBROWSER_EXPORT void logError(const QString &procName, const QString &description);

// Defaults, the data-source file's path (when none is set yet), then "General" and "Data". A
// stored value that does not convert keeps its default and is reported once for the whole call;
// the browser still starts.
HLSOURCEBROWSER_EXPORT bool Read_INI();
// "Admin". Tables may always be queried after a start, whatever was stored.
HLSOURCEBROWSER_EXPORT bool Get_Options();
HLSOURCEBROWSER_EXPORT bool Write_INI();
HLSOURCEBROWSER_EXPORT bool Save_Options();

// Keystroke filters: the code to use instead (0 swallows it, -1 for Enter).
HLSOURCEBROWSER_EXPORT int Check_AlphaKey(int keyAscii);
HLSOURCEBROWSER_EXPORT int Check_NumberKey(int keyAscii, bool allowDecimal);

// How the library's dialogs are shown modally; tests install a runner that fills and closes them.
using DialogRunner = std::function<void(QDialog &)>;
HLSOURCEBROWSER_EXPORT void setDialogRunner(DialogRunner runner); // empty: exec()
HLSOURCEBROWSER_EXPORT void runDialog(QDialog &dialog);

} // namespace browser
