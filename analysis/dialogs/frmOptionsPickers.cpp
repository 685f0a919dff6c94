// The options dialog's code lists, its font, colour and wallpaper pickers, the recent-files arrows
// and the tooltips.
#include "dialogs/frmOptions.h"

#include "hlTabulon/Options.h"
#include "hlTabulon/hlTabulon.h"
#include "dialogs/DialogTrap.h"
#include "ui/CommonDialog.h"
#include "ui/VbColor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QImageReader>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <stdexcept>

namespace {

struct ListEntry {
    const char *caption;
    int code;
};

const ListEntry kChartTypes[] = {
    {"3D Bar", analysis::ChartType3DBar},
    {"2D Bar", analysis::ChartType2DBar},
    {"3D Area", analysis::ChartType3DArea},
    {"2D Pie", analysis::ChartType2DPie},
};

const ListEntry kAlignments[] = {
    {"Left Top", 0},     {"Left Center", 1},   {"Left Bottom", 2},  {"Center Top", 3},
    {"Center Center", 4}, {"Center Bottom", 5}, {"Right Top", 6},    {"Right Center", 7},
    {"Right Bottom", 8},  {"Stretch", 9},       {"Tile", 10},
};

const ListEntry kGridLines[] = {
    {"<None>", 0},     {"Excel", 13},     {"Explorer", 12},   {"Flat", 1},         {"Raised", 3},
    {"Flat Horz", 4},  {"Flat Vert", 8},  {"Inset", 2},       {"Inset Horz", 5},   {"Inset Vert", 9},
    {"Raised Horz", 6}, {"Raised Vert", 10}, {"Skip Horz", 7}, {"Skip Vert", 11},
};

const char *const kGridSection[] = {"Results", "Summary", "XTab"};

// A font box draws its font no larger than this, so a big grid font cannot push the tab apart.
constexpr double kLargestShownFontSize = 14.0;

// The code a new user starts with for a stored key, from the settings table.
int defaultCode(const char *section, const char *key)
{
    for (const analysis::SettingEntry &e : analysis::settingTable()) {
        if (qstrcmp(e.section, section) == 0 && qstrcmp(e.key, key) == 0 && e.defaultText)
            return QString::fromLatin1(e.defaultText).toInt();
    }
    throw std::logic_error(std::string("No default for ") + section + " / " + key);
}

// Appends the entries, then selects the one of the current code; a code the list does not have
// is shown as the default.
template <std::size_t N>
void fillList(QComboBox *box, const ListEntry (&entries)[N], int current, int fallback)
{
    box->clear();
    for (const ListEntry &e : entries)
        box->addItem(QLatin1String(e.caption), e.code);
    int index = box->findData(current);
    if (index < 0)
        index = box->findData(fallback);
    box->setCurrentIndex(index);
}

QString imageFilter()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format).toLower();
    patterns.removeDuplicates();
    std::sort(patterns.begin(), patterns.end());
    return QStringLiteral("All Picture Files|%1|JPEG Interchange Format (*.jpg)|*.jpg;*.jpeg|Bitmap Files (*.bmp)|*.bmp")
        .arg(patterns.join(QLatin1Char(';')));
}

} // namespace

RecentFilesBox::RecentFilesBox(QWidget *parent)
    : QAbstractSpinBox(parent)
{
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAccelerated(false);
    // The arrows' enabled state follows the text.
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { update(); });
}

void RecentFilesBox::stepBy(int steps)
{
    const double value = frmOptions::leadingNumber(lineEdit()->text());
    double next = value;
    if (steps > 0 && value < 9)
        next = value + 1;
    else if (steps < 0 && value > 0)
        next = value - 1;
    else
        return;
    lineEdit()->setText(QString::number(next, 'g', 15));
}

QValidator::State RecentFilesBox::validate(QString &, int &) const
{
    // Anything may be typed; saving reads the leading number.
    return QValidator::Acceptable;
}

QAbstractSpinBox::StepEnabled RecentFilesBox::stepEnabled() const
{
    const double value = frmOptions::leadingNumber(lineEdit()->text());
    StepEnabled enabled = StepNone;
    if (value < 9)
        enabled |= StepUpEnabled;
    if (value > 0)
        enabled |= StepDownEnabled;
    return enabled;
}

double frmOptions::leadingNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digitAt = [&](qsizetype k) { return k < n && text.at(k).isDigit() && text.at(k).unicode() < 128; };
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    bool any = false;
    while (digitAt(i)) {
        ++i;
        any = true;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (digitAt(i)) {
            ++i;
            any = true;
        }
    }
    if (!any)
        return 0.0;
    qsizetype end = i;
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        qsizetype k = i + 1;
        if (k < n && (text.at(k) == QLatin1Char('+') || text.at(k) == QLatin1Char('-')))
            ++k;
        if (digitAt(k)) {
            while (digitAt(k))
                ++k;
            end = k;
        }
    }
    bool ok = false;
    const double value = text.mid(start, end - start).toDouble(&ok);
    // Too large for a double: an infinity, which no count accepts.
    return ok ? value : (text.at(start) == QLatin1Char('-') ? -HUGE_VAL : HUGE_VAL);
}

bool frmOptions::Get_ChartTypes()
{
    return analysis::trap(QStringLiteral("Get_ChartTypes"), [&] {
        fillList(cboType, kChartTypes, analysis::options().ChartType, defaultCode("Chart", "Type"));
        return true;
    });
}

bool frmOptions::Get_PicAlignments(int gridTab)
{
    return analysis::trap(QStringLiteral("Get_PicAlignments"), [&] {
        if (gridTab < 0 || gridTab > 2)
            throw std::out_of_range("No grid tab " + std::to_string(gridTab));
        fillList(cboAlignment[std::size_t(gridTab)], kAlignments, analysis::options().grid(gridTab).WallpaperAlign,
                 defaultCode(kGridSection[gridTab], "Wallpaper Align"));
        return true;
    });
}

bool frmOptions::Get_GridLineTypes(QComboBox *combo)
{
    return analysis::trap(QStringLiteral("Get_GridLineTypes"), [&] {
        const auto it = std::find(cboGridLines.begin(), cboGridLines.end(), combo);
        if (!combo || it == cboGridLines.end())
            throw std::invalid_argument("Not a grid-line list of this dialog.");
        const int gridTab = int(it - cboGridLines.begin());
        fillList(combo, kGridLines, analysis::options().grid(gridTab).GridLines,
                 defaultCode(kGridSection[gridTab], "Grid Lines"));
        return true;
    });
}

void frmOptions::showBoxFont(int index, const QFont &font, quint32 color)
{
    const auto n = std::size_t(index);
    m_boxFont[n] = font;
    m_boxTextColor[n] = color;
    QLineEdit *box = txtFont[n];
    QFont shown = font;
    if (shown.pointSizeF() > kLargestShownFontSize)
        shown.setPointSizeF(kLargestShownFontSize);
    box->setFont(shown);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, ui::VbColor::toQColor(color));
    box->setPalette(palette);
    box->setText(font.family());
    box->setCursorPosition(0);
}

void frmOptions::showBoxColor(int index, quint32 color)
{
    m_boxBackColor[std::size_t(index)] = color;
    QLineEdit *box = txtColor[std::size_t(index)];
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, ui::VbColor::toQColor(color));
    box->setPalette(palette);
}

bool frmOptions::Show_Fonts(int index)
{
    try {
        const auto n = std::size_t(index);
        if (n >= txtFont.size() || !txtFont[n])
            return false;
        const auto chosen = ui::CommonDialog::showFont(ui::FontChoice::fromFont(m_boxFont[n], m_boxTextColor[n]), this);
        if (!chosen)
            return false;
        showBoxFont(index, chosen->toFont(), chosen->color);
        changed(false);
        return true;
    } catch (...) {
        // A picker that fails is a picker that chose nothing.
        return false;
    }
}

bool frmOptions::Show_Colors(int index)
{
    try {
        const auto n = std::size_t(index);
        if (n >= txtColor.size() || !txtColor[n])
            return false;
        const auto chosen = ui::CommonDialog::showColor(m_boxBackColor[n], this);
        if (!chosen)
            return false;
        showBoxColor(index, *chosen & 0xFFFFFFu);
        changed(false);
        return true;
    } catch (...) {
        return false;
    }
}

bool frmOptions::Load_Wallpaper(int gridTab)
{
    if (gridTab < 0 || gridTab > 2)
        return false;
    QLineEdit *box = txtWallpaper[std::size_t(gridTab)];
    std::optional<ui::FileChoice> chosen;
    try {
        ui::FileDialogRequest request;
        request.title = QStringLiteral("Load Wallpaper");
        request.filter = imageFilter();
        request.fileMustExist = true;
        const QFileInfo current(box->text().trimmed());
        if (!box->text().trimmed().isEmpty())
            request.initialDir = current.absolutePath();
        chosen = ui::CommonDialog::showOpen(request, this);
    } catch (...) {
        return false;
    }
    if (!chosen)
        return false;
    return analysis::trap(QStringLiteral("Load_Wallpaper"), [&] {
        // Caught here rather than by every later start of the view.
        QImageReader reader(chosen->fileName);
        if (!reader.canRead())
            throw std::runtime_error(QStringLiteral("\"%1\" is not a picture that can be read.")
                                         .arg(chosen->fileName)
                                         .toStdString());
        box->setText(chosen->fileName);
        changed(false);
        return true;
    });
}

bool frmOptions::Set_ToolTips()
{
    return analysis::trap(QStringLiteral("Set_ToolTips"), [&] {
        const char *const split[] = {
            "Split Results and SQL panes vertically", "Split Results and SQL panes horizontally",
            "Split Chart and SQL panes vertically",   "Split Chart and SQL panes horizontally",
            "Split Summary and SQL panes vertically", "Split Summary and SQL panes horizontally",
            "Split X-Tab SQL panes vertically",       "Split X-Tab and SQL panes horizontally",
        };
        for (std::size_t i = 0; i < optSplit.size(); ++i)
            optSplit[i]->setToolTip(QLatin1String(split[i]));
        for (int i = 1; i <= 4; ++i)
            chkLeft[std::size_t(i)]->setToolTip(QStringLiteral("Display SQL pane on the left\\top"));
        for (std::size_t i = 0; i < 3; ++i) {
            txtWallpaper[i]->setToolTip(QStringLiteral("Image file to use as grid wallpaper"));
            cboAlignment[i]->setToolTip(QStringLiteral("Wallpaper image alignment"));
            cmdWallpaper[i]->setToolTip(QStringLiteral("Select image file as wallpaper"));
            chkAlternateRows[i]->setToolTip(QStringLiteral("Enable grid Alternate rows colour"));
            cboGridLines[i]->setToolTip(QStringLiteral("Type of grid lines"));
        }
        struct Tip {
            QWidget *control;
            const char *text;
        };
        const Tip tips[] = {
            {txtColor[0], "Results grid backgournd colour"},
            {txtColor[1], "Results grid alternate rows colour"},
            {cmdDialog[0], "Invoke Colour palette for Results background color"},
            {cmdDialog[1], "Invoke Colour palette for Results alternate  rows color"},
            {txtFont[2], "Results grid font"},
            {cmdDialog[2], "Invoke fonts dialog for Results grid font"},
            {chkShowCount, "Always show Results record count"},
            {chkToolBarText[0], "Display descriptive text on Main toolbar icons"},
            {chkToolBarText[1], "Display descriptive text on Results toolbar icons"},
            {chkToolBarText[2], "Display descriptive text on Query Builder toolbar icons"},
            {chkColSort, "Sort rows by column when clicking column header"},
            {chkColSel, "Select entire column when clicking column header"},
            {chkAutoSQL, "Auto update SQL after sorting and filtering when Query has been Opened"},
            {optDblClick[0], "Highlight entire row when after double click "},
            {optDblClick[1], "View cell contents after double click "},
            {optDblClick[2], "View row contents after double click "},
            {cboType, "Chart Type"},
            {txtTitle, "Title to appear at top of Chart."},
            {chkLegend, "Display Chart Legend. Note, Legend will not be displayed if there more than 1000 columns."},
            {chkLegendValues, "Display data value in Legend text"},
            {chkStack, "Display Chart as stacked"},
            {optValue[0], "Sort Chart data should by Value"},
            {optValue[1], "Sort Chart data should by Count"},
            {optAscending[0], "Sort Chart data in ascending order"},
            {optAscending[1], "Sort Chart data in descending order"},
            {txtFont[5], "Summary grid font"},
            {cmdDialog[5], "Invoke fonts dialog for Summary grid font"},
            {txtColor[3], "Summary grid background colour"},
            {txtColor[4], "Summary grid alternate rows colour"},
            {chkSubTotals, "Display Summary Sub Totals"},
            {txtColor[9], "Sub Total Column 1 forecolor"},
            {txtColor[10], "Sub Total Column 2 forecolor"},
            {cmdDialog[9], "Invoke Colour pallete for Summary Sub Total Column 1 forecolor"},
            {cmdDialog[10], "Invoke Colour pallete for Summary Sub Total Column 2 forecolor"},
            {chkMergeCols, "Merge rows of the same value"},
            {txtFont[8], "X-Tab grid font"},
            {cmdDialog[8], "Invoke fonts dialog for X-Tab grid font"},
            {txtColor[6], "X-Tab grid background colour"},
            {txtColor[7], "X-Tab grid alternate rows colour"},
            {chkSortFields, "Sort fields for Chart, Summary and X-Tab by name"},
            {cmdOK, "Save changes and exit"},
            {cmdCancel, "Exit without saving changes"},
            {cmdApply, "Apply changes"},
        };
        for (const Tip &t : tips) {
            if (!t.control)
                throw std::logic_error(std::string("No control for the tooltip \"") + t.text + "\"");
            t.control->setToolTip(QLatin1String(t.text));
        }
        return true;
    });
}
