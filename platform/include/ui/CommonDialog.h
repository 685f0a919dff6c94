#pragma once

#include <tabulon/PlatformExport.h>

#include <QFont>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QWidget;

namespace ui {

// What an open or save dialog is asked to show.
struct FileDialogRequest {
    QString title;
    // Classic filter text: description and pattern(s) alternating, separated by '|', several
    // patterns of one entry separated by ';': "SQL Script (*.sql)|*.sql|All Files (*.*)|*.*".
    QString filter;
    int filterIndex = 0;   // 1-based entry shown first; 0 (or out of range) is the first
    QString initialDir;
    QString fileName;      // proposed name, possibly with a folder; a pattern ("*.sql") proposes nothing
    QString defaultExt;    // added to a typed name without extension; empty adds nothing
    bool overwritePrompt = false; // save: confirm replacing an existing file
    bool fileMustExist = false;   // open: only existing files
};

struct FileChoice {
    QString fileName;    // absolute path
    int filterIndex = 1; // 1-based filter entry in use when the dialog closed
};

struct PLATFORM_EXPORT FontChoice {
    QString family;
    double size = 8.25;   // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    quint32 color = 0;    // 0x00BBGGRR

    QFont toFont() const;
    static FontChoice fromFont(const QFont &font, quint32 color = 0);
    bool operator==(const FontChoice &) const = default;
};

// What a dialog was asked, as recorded while scripted.
struct DialogRecord {
    enum class Kind { Open, Save, Font, Color, Printer };
    Kind kind = Kind::Open;
    FileDialogRequest file; // Open, Save
    FontChoice font;        // Font: the initial choice
    quint32 color = 0;      // Color: the initial colour
};

// The common dialogs. Cancel is an empty optional (false for the printer). In a test the dialogs
// are scripted like the Prompter: nothing is shown, each dialog takes the next queued answer of
// its kind (files serve both open and save) or, with an empty queue, is cancelled; every request
// is recorded.
class PLATFORM_EXPORT CommonDialog {
public:
    static std::optional<FileChoice> showOpen(const FileDialogRequest &request, QWidget *parent = nullptr);
    static std::optional<FileChoice> showSave(const FileDialogRequest &request, QWidget *parent = nullptr);
    static std::optional<FontChoice> showFont(const FontChoice &initial, QWidget *parent = nullptr);
    static std::optional<quint32> showColor(quint32 initial, QWidget *parent = nullptr);
    // Printer set-up on PrinterService::printer(); true when confirmed.
    static bool showPrinter(QWidget *parent = nullptr);

    // The classic filter text as entries, and as Qt name filters ("Desc (*.a *.b)").
    struct FilterEntry {
        QString description;
        QStringList patterns;
    };
    static std::vector<FilterEntry> parseFilter(const QString &filter);
    static QStringList nameFilters(const QString &filter);

    // --- scripting, for tests ---
    static void setScripted(bool on); // also clears queues and records
    static bool isScripted();
    // filterIndex 0: the index the request asked for.
    static void queueFile(std::optional<QString> fileName, int filterIndex = 0);
    static void queueFont(std::optional<FontChoice> font);
    static void queueColor(std::optional<quint32> color);
    static void queuePrinter(bool accepted);
    static const std::vector<DialogRecord> &asked();
    static void clearAsked();
    static const DialogRecord *lastAsked();
};

// Scripts the common dialogs for one scope, restoring the previous mode after.
class PLATFORM_EXPORT ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

private:
    bool m_previous;
};

} // namespace ui
