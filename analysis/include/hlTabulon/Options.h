#pragma once

#include <tabulon/hlTabulonExport.h>

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <span>

// The option values shared by every analysis control and dialog of the library in the process,
// and their persistence in the per-user settings store (application "Tabulon").
//
// One table (settingTable()) names every stored value with its section, key, type and default;
// Read_INI and Save_INI both walk it, so what is written is exactly what is read back.
namespace analysis {

inline constexpr int FindHistorySize = 51; // entries 0 to 50, entry 0 the newest
// The recent-files list holds 0 to 9 entries, the options dialog's arrows' range; a stored count
// outside it is refused like any other bad value.
inline constexpr int MaxRecentFiles = 9;

// Chart type codes offered by the options dialog.
inline constexpr int ChartType3DBar = 0;
inline constexpr int ChartType2DBar = 1;
inline constexpr int ChartType3DArea = 4;
inline constexpr int ChartType2DPie = 14;

// One grid's look: results, summary or cross-tab.
struct GridOptions {
    qint32 GridLines = 0;       // grid::GridLinesSettings code, 0 to 13
    qint32 BackColor = 0;       // RGB, 16777215 white
    qint32 AlternateColor = 0;  // RGB; 0 means no alternate rows
    QString Wallpaper;          // picture file; empty for none
    qint32 WallpaperAlign = 0;  // grid::PictureAlignmentSettings code, 0 to 10
    QFont Font;                 // name, size, bold and italic are stored
    qint32 FontColour = 0;      // text colour, RGB
};

// One view's splitter: results, chart, summary or cross-tab.
struct SplitOptions {
    qint32 Percentage = 0;      // the first pane's share, 0 to 100
    bool Orientation = false;   // True: panes stacked (horizontal divider); False: side by side
    bool Left = false;          // True: the SQL box in the first pane, the grid or chart second
};

struct Options {
    Options(); // every value as at first start; fonts the platform's default font

    // Grids, indexed as the options dialog's grid tabs: 0 results, 1 summary, 2 cross-tab.
    GridOptions ResultsGrid;
    GridOptions SummaryGrid;
    GridOptions XTabGrid;
    GridOptions &grid(int gridTab);
    const GridOptions &grid(int gridTab) const;

    QFont SQLFont; // only name and size are stored

    // Splitters, indexed as the views: 0 results, 1 chart, 2 summary, 3 cross-tab.
    SplitOptions ResultsSplit;
    SplitOptions ChartSplit;
    SplitOptions SummarySplit;
    SplitOptions XTabSplit;
    SplitOptions &split(int view);
    const SplitOptions &split(int view) const;

    // Toolbars: shown, and captions on their buttons.
    bool MainToolbar = false;
    bool ResultsToolbar = false;
    bool MainToolbarText = false;
    bool ResultsToolbarText = false;
    bool QueryBuilderToolbarText = false;

    // General.
    qint32 RecentFiles = 0;        // capacity of the recent-files list
    qint32 QueryBuilderAlign = 0;  // 0 floating, 1 to 4 docked
    bool SortFields = false;       // field lists sorted by name
    QString DateFormat;

    // Results grid behaviour.
    qint32 DoubleClick = 0;        // 0 highlight the row, 1 view the cell, 2 view the record
    bool ShowCount = false;        // row count always shown
    bool ColSort = false;          // a header click sorts
    bool ColSel = false;           // a header sort also selects the column
    bool AutoUpdateSQL = false;    // after a run the recordset's source replaces the SQL text

    // Summary.
    bool ShowTotals = false;
    qint32 SubTotalColor1 = 0;     // back colour of level-1 subtotal rows ("Sub1")
    qint32 SubTotalColor2 = 0;     // back colour of level-2 subtotal rows ("Sub2")
    bool Merge = false;            // repeated group values merged

    // Chart.
    qint32 ChartType = 0;          // one of the ChartType* codes
    bool ChartLegend = false;
    bool ChartStack = false;
    bool ChartSortCols = false;    // points sorted by value
    bool ChartSortDesc = false;
    bool ChartLegendValues = false;
    QString ChartTitle;            // not stored

    // Find: the history (newest first, an empty entry ends it), the text and the three options.
    std::array<QString, FindHistorySize> FindHistory;
    QString FindText;
    bool FindCurrentColumn = false;
    bool FindMatchCase = false;
    bool FindWholeWord = false;

    // Default rectangle of the floating query-builder window, computed by Read_INI; not stored.
    QRect QueryBuilderRect;
};

// The one shared instance.
HLTABULON_EXPORT Options &options();

// Back to the first-start state: every value as Options() has it, and no setting remembered as
// already reported. For tests.
HLTABULON_EXPORT void resetOptions();

// The settings store's application name of the library.
HLTABULON_EXPORT QString settingsApplication();

enum class SettingType {
    Long,      // decimal text
    Boolean,   // "True" / "False"
    String,    // as it is
    FontName,  // the font's family
    FontSize,  // decimal text of a four-decimal number ("9", "8.25")
    FontBold,  // "True" / "False"
    FontItalic // "True" / "False"
};

// One stored value. Exactly one accessor is set, by type: longRef for Long, boolRef for Boolean,
// textRef for String, fontRef for the font types.
struct SettingEntry {
    const char *section;
    const char *key;
    SettingType type;
    // Text of the default: with fixed, set by every Read_INI before the store is read; always the
    // value a stored text that does not convert or is out of range falls back to. nullptr (the
    // font keys) means the value held.
    const char *defaultText;
    bool fixed;
    qint32 &(*longRef)(Options &) = nullptr;
    bool &(*boolRef)(Options &) = nullptr;
    QString &(*textRef)(Options &) = nullptr;
    QFont &(*fontRef)(Options &) = nullptr;
    // Long values this key may hold; nullptr accepts every 32-bit number.
    bool (*accepts)(qint32) = nullptr;
};

// Every key Read_INI reads and Save_INI writes, in reading order. The recent-files entries
// (written by the recent-files list) and the find history (Save_FindHistory) are not in it.
HLTABULON_EXPORT std::span<const SettingEntry> settingTable();

// The text Save_INI stores for an entry.
HLTABULON_EXPORT QString settingText(const SettingEntry &entry, const Options &values);
// Takes a stored text into the values; false (values unchanged) when it does not convert or is
// out of the entry's range.
HLTABULON_EXPORT bool applySettingText(const SettingEntry &entry, Options &values, const QString &text);

// Reads every value of the table and the find history from the store into options(): the fixed
// defaults first, then each key that is stored; a missing key keeps the value held. A stored text
// that does not convert, or is out of range, gives the key's default and a warning (see
// takeSettingWarnings), and the read goes on: one bad value never makes every later start fail.
// Also computes QueryBuilderRect from the control's size. False only when reading failed as a
// whole; the values read so far stay.
HLTABULON_EXPORT bool Read_INI(int controlWidth = 0, int controlHeight = 0);

// Writes every value of the table from options() to the store. Keys already holding the same
// text are not rewritten. A failing write stops at that key, is reported under "Save_INI" through
// the error reporter and gives False.
HLTABULON_EXPORT bool Save_INI();

// Writes the find history: "Find" / "Value0" up to the entry before the first empty one (at most
// "Value50"), and removes the stored entries after it, so that a shorter history reads back as it
// is. Failures are reported under "Save_FindHistory"; false then.
HLTABULON_EXPORT bool Save_FindHistory();

// Warnings about stored values that Read_INI replaced by their defaults, each key once per process
// however many controls read the store. The control reports the texts through its own error path
// (under "Read_INI") after its Read_INI; taking them empties the list.
HLTABULON_EXPORT QStringList takeSettingWarnings();

// The replacement character code for a key typed into a number box: Backspace (8) stays 8, Enter
// (13) gives -1, "." (46) stays 46 only when decimals are allowed, digits stay; everything else
// gives 0, which swallows the key.
HLTABULON_EXPORT int Check_NumberKey(int keyAscii, bool allowDecimal);

// The floating query-builder window's default rectangle in a control of this size: half as wide,
// three tenths as high, centred; rounded half to even.
HLTABULON_EXPORT QRect defaultQueryBuilderRect(int controlWidth, int controlHeight);

// Where Save_INI and Save_FindHistory report a failure (procedure name, error text). The default
// reports through Log_Error of an hrErr object; an empty function restores it.
using SettingsErrorReporter = std::function<void(const QString &procedure, const QString &description)>;
HLTABULON_EXPORT void setSettingsErrorReporter(SettingsErrorReporter reporter);

} // namespace analysis
