#include "hlTabulon/Options.h"

#include "Faultdesk/hrErr.h"
#include "settings/SettingsStore.h"

#include <QSet>

#include <cmath>
#include <exception>

namespace analysis {

namespace {

using settings::SettingsStore;

bool anyColour(qint32 v) { return v >= 0 && v <= 0xFFFFFF; }
bool gridLinesCode(qint32 v) { return v >= 0 && v <= 13; }
bool pictureAlignment(qint32 v) { return v >= 0 && v <= 10; }
bool percentage(qint32 v) { return v >= 0 && v <= 100; }
bool doubleClickAction(qint32 v) { return v >= 0 && v <= 2; }
bool recentFilesCount(qint32 v) { return v >= 0 && v <= MaxRecentFiles; }
bool queryBuilderAlign(qint32 v) { return v >= 0 && v <= 4; }
bool chartType(qint32 v)
{
    return v == ChartType3DBar || v == ChartType2DBar || v == ChartType3DArea || v == ChartType2DPie;
}

// Font sizes are kept to four decimals, as the stored currency-typed number has them.
constexpr double MaxFontSize = 2048.0;

#define LONG_KEY(sec, k, def, fix, member, check)                                                    \
    SettingEntry{sec, k, SettingType::Long, def, fix,                                                \
                 [](Options &o) -> qint32 & { return o.member; }, nullptr, nullptr, nullptr, check}
#define BOOL_KEY(sec, k, def, fix, member)                                                           \
    SettingEntry{sec, k, SettingType::Boolean, def, fix, nullptr,                                    \
                 [](Options &o) -> bool & { return o.member; }, nullptr, nullptr, nullptr}
#define TEXT_KEY(sec, k, member)                                                                     \
    SettingEntry{sec, k, SettingType::String, "", false, nullptr, nullptr,                           \
                 [](Options &o) -> QString & { return o.member; }, nullptr, nullptr}
#define FONT_KEY(sec, k, type, member)                                                               \
    SettingEntry{sec, k, type, nullptr, false, nullptr, nullptr, nullptr,                            \
                 [](Options &o) -> QFont & { return o.member; }, nullptr}

// The reading order is the one the settings have always been read in; it matters only for which
// warning comes first.
const SettingEntry kTable[] = {
    LONG_KEY("General", "Recent Files", "0", false, RecentFiles, recentFilesCount),
    BOOL_KEY("Main", "Toolbar", "True", true, MainToolbar),
    BOOL_KEY("Results", "Toolbar", "True", true, ResultsToolbar),
    BOOL_KEY("Main", "Toolbar Text", "False", false, MainToolbarText),
    BOOL_KEY("Results", "Toolbar Text", "False", false, ResultsToolbarText),
    BOOL_KEY("QueryBuilder", "Toolbar Text", "False", false, QueryBuilderToolbarText),
    LONG_KEY("Results", "Grid Lines", "1", true, ResultsGrid.GridLines, gridLinesCode),
    LONG_KEY("Summary", "Grid Lines", "1", true, SummaryGrid.GridLines, gridLinesCode),
    LONG_KEY("XTab", "Grid Lines", "1", true, XTabGrid.GridLines, gridLinesCode),
    LONG_KEY("General", "Query Builder Align", "0", false, QueryBuilderAlign, queryBuilderAlign),
    BOOL_KEY("General", "Sort Fields", "False", false, SortFields),
    TEXT_KEY("General", "Date Format", DateFormat),
    FONT_KEY("Results\\Font", "Font", SettingType::FontName, ResultsGrid.Font),
    FONT_KEY("Summary\\Font", "Font", SettingType::FontName, SummaryGrid.Font),
    FONT_KEY("XTab\\Font", "Font", SettingType::FontName, XTabGrid.Font),
    FONT_KEY("SQL\\Font", "Font", SettingType::FontName, SQLFont),
    FONT_KEY("Results\\Font", "Size", SettingType::FontSize, ResultsGrid.Font),
    FONT_KEY("Summary\\Font", "Size", SettingType::FontSize, SummaryGrid.Font),
    FONT_KEY("XTab\\Font", "Size", SettingType::FontSize, XTabGrid.Font),
    FONT_KEY("SQL\\Font", "Size", SettingType::FontSize, SQLFont),
    FONT_KEY("Results\\Font", "Bold", SettingType::FontBold, ResultsGrid.Font),
    FONT_KEY("Results\\Font", "Italic", SettingType::FontItalic, ResultsGrid.Font),
    FONT_KEY("Summary\\Font", "Bold", SettingType::FontBold, SummaryGrid.Font),
    FONT_KEY("Summary\\Font", "Italic", SettingType::FontItalic, SummaryGrid.Font),
    FONT_KEY("XTab\\Font", "Bold", SettingType::FontBold, XTabGrid.Font),
    FONT_KEY("XTab\\Font", "Italic", SettingType::FontItalic, XTabGrid.Font),
    LONG_KEY("Results\\Font", "Colour", "0", false, ResultsGrid.FontColour, anyColour),
    LONG_KEY("Summary\\Font", "Colour", "0", false, SummaryGrid.FontColour, anyColour),
    LONG_KEY("XTab\\Font", "Colour", "0", false, XTabGrid.FontColour, anyColour),
    LONG_KEY("Results", "Background Color", "16777215", true, ResultsGrid.BackColor, anyColour),
    LONG_KEY("Summary", "Background Color", "16777215", true, SummaryGrid.BackColor, anyColour),
    LONG_KEY("XTab", "Background Color", "16777215", true, XTabGrid.BackColor, anyColour),
    LONG_KEY("Results", "Alternate Color", "0", false, ResultsGrid.AlternateColor, anyColour),
    LONG_KEY("Summary", "Alternate Color", "0", false, SummaryGrid.AlternateColor, anyColour),
    LONG_KEY("XTab", "Alternate Color", "0", false, XTabGrid.AlternateColor, anyColour),
    TEXT_KEY("Results", "Wallpaper", ResultsGrid.Wallpaper),
    TEXT_KEY("Summary", "Wallpaper", SummaryGrid.Wallpaper),
    TEXT_KEY("XTab", "Wallpaper", XTabGrid.Wallpaper),
    LONG_KEY("Results", "Wallpaper Align", "0", false, ResultsGrid.WallpaperAlign, pictureAlignment),
    LONG_KEY("Summary", "Wallpaper Align", "0", false, SummaryGrid.WallpaperAlign, pictureAlignment),
    LONG_KEY("XTab", "Wallpaper Align", "0", false, XTabGrid.WallpaperAlign, pictureAlignment),
    LONG_KEY("Results", "Split\\Percentage", "90", true, ResultsSplit.Percentage, percentage),
    LONG_KEY("Chart", "Split\\Percentage", "90", true, ChartSplit.Percentage, percentage),
    LONG_KEY("Summary", "Split\\Percentage", "90", true, SummarySplit.Percentage, percentage),
    LONG_KEY("XTab", "Split\\Percentage", "90", true, XTabSplit.Percentage, percentage),
    BOOL_KEY("Results", "Split\\Orientation", "True", true, ResultsSplit.Orientation),
    BOOL_KEY("Chart", "Split\\Orientation", "True", true, ChartSplit.Orientation),
    BOOL_KEY("Summary", "Split\\Orientation", "True", true, SummarySplit.Orientation),
    BOOL_KEY("XTab", "Split\\Orientation", "True", true, XTabSplit.Orientation),
    BOOL_KEY("Results", "Split\\Left", "False", false, ResultsSplit.Left),
    BOOL_KEY("Chart", "Split\\Left", "False", false, ChartSplit.Left),
    BOOL_KEY("Summary", "Split\\Left", "False", false, SummarySplit.Left),
    BOOL_KEY("XTab", "Split\\Left", "False", false, XTabSplit.Left),
    LONG_KEY("Results", "Double Click", "0", false, DoubleClick, doubleClickAction),
    BOOL_KEY("Results", "Show Count", "False", false, ShowCount),
    BOOL_KEY("Results", "Col Sort", "True", true, ColSort),
    BOOL_KEY("Results", "Col Sel", "False", false, ColSel),
    BOOL_KEY("Results", "Auto Update SQL", "False", false, AutoUpdateSQL),
    LONG_KEY("Chart", "Type", "0", false, ChartType, chartType),
    BOOL_KEY("Chart", "Legend", "False", false, ChartLegend),
    BOOL_KEY("Chart", "Stack", "False", false, ChartStack),
    BOOL_KEY("Chart", "Sort Cols", "False", false, ChartSortCols),
    BOOL_KEY("Chart", "Sort Desc", "False", false, ChartSortDesc),
    BOOL_KEY("Chart", "Legend Values", "False", false, ChartLegendValues),
    BOOL_KEY("Summary\\Totals", "Show Totals", "False", false, ShowTotals),
    LONG_KEY("Summary\\Totals", "Sub1", "16777215", true, SubTotalColor1, anyColour),
    LONG_KEY("Summary\\Totals", "Sub2", "16777215", true, SubTotalColor2, anyColour),
    BOOL_KEY("Summary", "Merge", "False", false, Merge),
};

#undef LONG_KEY
#undef BOOL_KEY
#undef TEXT_KEY
#undef FONT_KEY

const QString kFindSection = QStringLiteral("Find");

QString findKey(int index)
{
    return QStringLiteral("Value") + QString::number(index);
}

QString section(const SettingEntry &e) { return QString::fromLatin1(e.section); }
QString key(const SettingEntry &e) { return QString::fromLatin1(e.key); }

QString fontSizeText(double size)
{
    // Four decimals at most, trailing zeros dropped: 9 → "9", 8.25 → "8.25".
    QString text = QString::number(std::nearbyint(size * 10000.0) / 10000.0, 'f', 4);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

struct ModuleState {
    QStringList warnings;
    QSet<QString> warnedKeys; // "section\nkey", lower case
    SettingsErrorReporter reporter;
};

ModuleState &state()
{
    static ModuleState s;
    return s;
}

void report(const QString &procedure, const QString &description)
{
    if (state().reporter) {
        state().reporter(procedure, description);
        return;
    }
    // The report settings are process-wide, so a passing error object reports as the library's own.
    hrErr err;
    err.Log_Error(procedure, description);
}

void warnOnce(const SettingEntry &e, const QString &stored, const QString &used)
{
    const QString id = (section(e) + QLatin1Char('\n') + key(e)).toLower();
    if (state().warnedKeys.contains(id))
        return;
    state().warnedKeys.insert(id);
    state().warnings.append(
        QStringLiteral("The setting \"%1\" / \"%2\" holds \"%3\", which is not a valid value; %4 is used instead.")
            .arg(section(e), key(e), stored, used));
}

void applyFixedDefaults(Options &o)
{
    for (const SettingEntry &e : kTable)
        if (e.fixed)
            applySettingText(e, o, QString::fromLatin1(e.defaultText));
}

} // namespace

Options::Options()
{
    for (const SettingEntry &e : kTable)
        if (e.defaultText)
            applySettingText(e, *this, QString::fromLatin1(e.defaultText));
}

GridOptions &Options::grid(int gridTab)
{
    return gridTab == 1 ? SummaryGrid : gridTab == 2 ? XTabGrid : ResultsGrid;
}

const GridOptions &Options::grid(int gridTab) const
{
    return const_cast<Options *>(this)->grid(gridTab);
}

SplitOptions &Options::split(int view)
{
    switch (view) {
    case 1: return ChartSplit;
    case 2: return SummarySplit;
    case 3: return XTabSplit;
    default: return ResultsSplit;
    }
}

const SplitOptions &Options::split(int view) const
{
    return const_cast<Options *>(this)->split(view);
}

Options &options()
{
    // Created on first use, after the application object, so the fonts take the platform's font.
    static Options values;
    return values;
}

void resetOptions()
{
    options() = Options();
    state().warnings.clear();
    state().warnedKeys.clear();
}

QString settingsApplication()
{
    return QStringLiteral("Tabulon");
}

std::span<const SettingEntry> settingTable()
{
    return kTable;
}

QString settingText(const SettingEntry &e, const Options &values)
{
    // The accessors only hand out references; nothing is written through them here.
    Options &o = const_cast<Options &>(values);
    switch (e.type) {
    case SettingType::Long: return QString::number(e.longRef(o));
    case SettingType::Boolean: return SettingsStore::boolText(e.boolRef(o));
    case SettingType::String: return e.textRef(o);
    case SettingType::FontName: return e.fontRef(o).family();
    case SettingType::FontSize: return fontSizeText(e.fontRef(o).pointSizeF());
    case SettingType::FontBold: return SettingsStore::boolText(e.fontRef(o).bold());
    case SettingType::FontItalic: return SettingsStore::boolText(e.fontRef(o).italic());
    }
    return {};
}

bool applySettingText(const SettingEntry &e, Options &values, const QString &text)
{
    switch (e.type) {
    case SettingType::Long: {
        const auto v = SettingsStore::toLong(text);
        if (!v || (e.accepts && !e.accepts(*v)))
            return false;
        e.longRef(values) = *v;
        return true;
    }
    case SettingType::Boolean: {
        const auto v = SettingsStore::toBool(text);
        if (!v)
            return false;
        e.boolRef(values) = *v;
        return true;
    }
    case SettingType::String:
        e.textRef(values) = text;
        return true;
    case SettingType::FontName: {
        const QString family = text.trimmed();
        if (family.isEmpty())
            return false;
        e.fontRef(values).setFamily(family);
        return true;
    }
    case SettingType::FontSize: {
        const auto v = SettingsStore::toDouble(text);
        if (!v)
            return false;
        const double size = std::nearbyint(*v * 10000.0) / 10000.0;
        if (!(size > 0.0 && size <= MaxFontSize))
            return false;
        e.fontRef(values).setPointSizeF(size);
        return true;
    }
    case SettingType::FontBold:
    case SettingType::FontItalic: {
        const auto v = SettingsStore::toBool(text);
        if (!v)
            return false;
        if (e.type == SettingType::FontBold)
            e.fontRef(values).setBold(*v);
        else
            e.fontRef(values).setItalic(*v);
        return true;
    }
    }
    return false;
}

bool Read_INI(int controlWidth, int controlHeight)
{
    Options &o = options();
    try {
        const SettingsStore &store = SettingsStore::instance();
        const QString app = settingsApplication();

        applyFixedDefaults(o);
        o.QueryBuilderRect = defaultQueryBuilderRect(controlWidth, controlHeight);

        for (const SettingEntry &e : kTable) {
            const auto stored = store.value(app, section(e), key(e));
            if (!stored || applySettingText(e, o, *stored))
                continue;
            if (e.defaultText) {
                applySettingText(e, o, QString::fromLatin1(e.defaultText));
                warnOnce(e, *stored, QStringLiteral("the default \"%1\"").arg(QString::fromLatin1(e.defaultText)));
            } else {
                warnOnce(e, *stored, QStringLiteral("\"%1\"").arg(settingText(e, o)));
            }
        }

        for (int i = 0; i < FindHistorySize; ++i) {
            const QString text = store.GetSetting(app, kFindSection, findKey(i));
            if (text.isEmpty())
                break;
            o.FindHistory[std::size_t(i)] = text;
        }
        return true;
    } catch (const std::exception &ex) {
        state().warnings.append(QStringLiteral("The settings could not be read: %1").arg(QString::fromLocal8Bit(ex.what())));
        return false;
    }
}

bool Save_INI()
{
    try {
        const Options &o = options();
        SettingsStore &store = SettingsStore::instance();
        const QString app = settingsApplication();
        for (const SettingEntry &e : kTable) {
            const QString text = settingText(e, o);
            // Splitter drags save on every move: leave alone what already holds this text.
            if (store.value(app, section(e), key(e)) == text)
                continue;
            if (!store.SaveSetting(app, section(e), key(e), text)) {
                report(QStringLiteral("Save_INI"), store.lastError());
                return false;
            }
        }
        return true;
    } catch (const std::exception &ex) {
        report(QStringLiteral("Save_INI"), QString::fromLocal8Bit(ex.what()));
        return false;
    }
}

bool Save_FindHistory()
{
    const Options &o = options();
    SettingsStore &store = SettingsStore::instance();
    const QString app = settingsApplication();
    int i = 0;
    for (; i < FindHistorySize && !o.FindHistory[std::size_t(i)].isEmpty(); ++i) {
        const QString &text = o.FindHistory[std::size_t(i)];
        if (store.value(app, kFindSection, findKey(i)) == text)
            continue;
        if (!store.SaveSetting(app, kFindSection, findKey(i), text)) {
            report(QStringLiteral("Save_FindHistory"), store.lastError());
            return false;
        }
    }
    // Entries left over from a longer history would otherwise be read back after this one.
    for (; i < FindHistorySize; ++i) {
        if (!store.value(app, kFindSection, findKey(i)))
            continue;
        if (!store.DeleteSetting(app, kFindSection, findKey(i))) {
            report(QStringLiteral("Save_FindHistory"), store.lastError());
            return false;
        }
    }
    return true;
}

QStringList takeSettingWarnings()
{
    QStringList taken;
    taken.swap(state().warnings);
    return taken;
}

int Check_NumberKey(int keyAscii, bool allowDecimal)
{
    if (keyAscii == 8)
        return 8;
    if (keyAscii == 13)
        return -1;
    if (keyAscii == 46)
        return allowDecimal ? 46 : 0;
    if (keyAscii >= 48 && keyAscii <= 57)
        return keyAscii;
    return 0;
}

QRect defaultQueryBuilderRect(int controlWidth, int controlHeight)
{
    const double width = std::nearbyint(controlWidth * 0.5);
    const double height = std::nearbyint(controlHeight * 0.3);
    const double left = std::nearbyint((controlWidth - width) / 2.0);
    const double top = std::nearbyint((controlHeight - height) / 2.0);
    return QRect(int(left), int(top), int(width), int(height));
}

void setSettingsErrorReporter(SettingsErrorReporter reporter)
{
    state().reporter = std::move(reporter);
}

} // namespace analysis
