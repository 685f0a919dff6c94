#include "dialogs/frmOptions.h"

#include "hlTabulon/Options.h"
#include "hlTabulon/hlTabulon.h"
#include "dialogs/DialogTrap.h"
#include "settings/SettingsStore.h"
#include "ui/FormButton.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>
#include <stdexcept>

using analysis::Options;

namespace {

QCheckBox *checkBox(QWidget *parent, const QString &name, const QString &caption)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QRadioButton *radio(QWidget *parent, const QString &name, const QString &caption)
{
    auto *r = new QRadioButton(caption, parent);
    r->setObjectName(name);
    return r;
}

QComboBox *combo(QWidget *parent, const QString &name)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(name);
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return c;
}

// A label with its box (and the box's picker button) on one row of a frame's grid.
void addRow(QGridLayout *grid, int row, const QString &caption, QWidget *box, QWidget *button = nullptr)
{
    auto *label = new QLabel(caption);
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    if (button)
        grid->addWidget(button, row, 2);
}

qint32 selectedCode(const QComboBox *box, const char *what)
{
    if (box->currentIndex() < 0)
        throw std::invalid_argument(std::string("No ") + what + " is selected.");
    return box->currentData().toInt();
}

// A value typed into a box that cannot be taken: the user is told and the box gets the focus.
struct RefusedInput : std::invalid_argument {
    RefusedInput(const QString &message, QLineEdit *box)
        : std::invalid_argument(message.toStdString()), box(box)
    {
    }
    QLineEdit *box;
};

// The recent-files count: the box's leading number rounded half to even; a count the list cannot
// hold is refused.
qint32 recentFilesCount(QLineEdit *box)
{
    const double rounded = std::nearbyint(frmOptions::leadingNumber(box->text()));
    if (!(rounded >= 0 && rounded <= analysis::MaxRecentFiles))
        throw RefusedInput(QStringLiteral("The number of recent files must be from 0 to %1.").arg(analysis::MaxRecentFiles),
                           box);
    return qint32(rounded);
}

// A value the dialog changed must be one the settings store reads back; anything else would be
// replaced by its default at the next start without a word.
void checkRanges(Options &edited, Options &before)
{
    for (const analysis::SettingEntry &entry : analysis::settingTable()) {
        if (entry.type != analysis::SettingType::Long || !entry.accepts)
            continue;
        const qint32 value = entry.longRef(edited);
        if (value == entry.longRef(before) || entry.accepts(value))
            continue;
        throw std::out_of_range(QStringLiteral("%1 is not a value the program can use for \"%2\".")
                                    .arg(value)
                                    .arg(QLatin1String(entry.key))
                                    .toStdString());
    }
}

} // namespace

frmOptions::frmOptions(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);

    tabOptions = new QTabWidget(this);
    tabOptions->setObjectName(QStringLiteral("tabOptions"));
    tabOptions->addTab(buildResultsTab(), QStringLiteral("Results"));
    tabOptions->addTab(buildChartTab(), QStringLiteral("Chart"));
    tabOptions->addTab(buildSummaryTab(), QStringLiteral("Summary"));
    tabOptions->addTab(buildXTabTab(), QStringLiteral("X-Tab"));
    tabOptions->addTab(buildGeneralTab(), QStringLiteral("General"));

    cmdOK = ui::formButton(this, "cmdOK", QStringLiteral("&OK"));
    cmdOK->setDefault(true);
    cmdApply = ui::formButton(this, "cmdApply", QStringLiteral("&Apply"));
    cmdCancel = ui::formButton(this, "cmdCancel", QStringLiteral("&Cancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdOK, cmdApply, cmdCancel})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabOptions, 1);
    layout->addLayout(buttons);

    connectChanges();
    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmOptions::cmdApply_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::reject);
}

frmOptions::~frmOptions() = default;

QLineEdit *frmOptions::makeColourBox(int index, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QStringLiteral("txtColor%1").arg(index));
    box->setReadOnly(true);
    box->setFixedWidth(64);
    // Never typed into: Tab passes it by, and a click hands the focus to its picker.
    box->setFocusPolicy(Qt::ClickFocus);
    box->installEventFilter(this);
    txtColor[std::size_t(index)] = box;
    return box;
}

QLineEdit *frmOptions::makeFontBox(int index, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QStringLiteral("txtFont%1").arg(index));
    box->setReadOnly(true);
    box->setMinimumWidth(170);
    box->setFocusPolicy(Qt::ClickFocus);
    box->installEventFilter(this);
    txtFont[std::size_t(index)] = box;
    return box;
}

QPushButton *frmOptions::makePickerButton(int index, QWidget *parent)
{
    auto *b = new QPushButton(QStringLiteral("..."), parent);
    b->setObjectName(QStringLiteral("cmdDialog%1").arg(index));
    b->setAutoDefault(false);
    b->setFixedWidth(32);
    cmdDialog[std::size_t(index)] = b;
    const bool isFont = index == 2 || index == 5 || index == 8 || index == 12;
    connect(b, &QPushButton::clicked, this, [this, index, isFont] {
        if (isFont)
            Show_Fonts(index);
        else
            Show_Colors(index);
    });
    return b;
}

QWidget *frmOptions::buildGridFrame(int gridTab, QWidget *page)
{
    auto *frame = new QGroupBox(QStringLiteral("Grid"), page);
    cboGridLines[std::size_t(gridTab)] = combo(frame, QStringLiteral("cboGridLines%1").arg(gridTab));
    const int font = 3 * gridTab + 2;
    auto *grid = new QGridLayout(frame);
    addRow(grid, 0, QStringLiteral("Lines"), cboGridLines[std::size_t(gridTab)]);
    // The box first: the focus passes widgets in the order they are made.
    QLineEdit *fontBox = makeFontBox(font, frame);
    addRow(grid, 1, QStringLiteral("Font"), fontBox, makePickerButton(font, frame));
    grid->setColumnStretch(1, 1);
    return frame;
}

QWidget *frmOptions::buildColourFrame(int gridTab, QWidget *page)
{
    auto *frame = new QGroupBox(QStringLiteral("Colour"), page);
    const int back = 3 * gridTab;
    const int alternate = back + 1;
    chkAlternateRows[std::size_t(gridTab)] =
        checkBox(frame, QStringLiteral("chkAlternateRows%1").arg(gridTab), QStringLiteral("Alternate Rows"));
    auto *grid = new QGridLayout(frame);
    QLineEdit *backBox = makeColourBox(back, frame);
    addRow(grid, 0, QStringLiteral("Background"), backBox, makePickerButton(back, frame));
    grid->addWidget(chkAlternateRows[std::size_t(gridTab)], 1, 0);
    grid->addWidget(makeColourBox(alternate, frame), 1, 1);
    grid->addWidget(makePickerButton(alternate, frame), 1, 2);
    grid->setColumnStretch(3, 1);
    return frame;
}

QWidget *frmOptions::buildWallpaperFrame(int gridTab, QWidget *page)
{
    auto *frame = new QGroupBox(QStringLiteral("Wallpaper"), page);
    auto *path = new QLineEdit(frame);
    path->setObjectName(QStringLiteral("txtWallpaper%1").arg(gridTab));
    path->setMinimumWidth(220);
    txtWallpaper[std::size_t(gridTab)] = path;
    auto *pick = ui::formButton(frame, "", QStringLiteral("..."));
    pick->setObjectName(QStringLiteral("cmdWallpaper%1").arg(gridTab));
    pick->setFixedWidth(32);
    cmdWallpaper[std::size_t(gridTab)] = pick;
    connect(pick, &QPushButton::clicked, this, [this, gridTab] { Load_Wallpaper(gridTab); });
    cboAlignment[std::size_t(gridTab)] = combo(frame, QStringLiteral("cboAlignment%1").arg(gridTab));
    auto *grid = new QGridLayout(frame);
    grid->addWidget(path, 0, 0, 1, 2);
    grid->addWidget(pick, 0, 2);
    addRow(grid, 1, QStringLiteral("Alignment"), cboAlignment[std::size_t(gridTab)]);
    grid->setColumnStretch(1, 1);
    return frame;
}

QWidget *frmOptions::buildSplitFrame(int view, QWidget *page)
{
    auto *frame = new QGroupBox(QStringLiteral("Split"), page);
    const int vertical = 2 * view;
    optSplit[std::size_t(vertical)] = radio(frame, QStringLiteral("optSplit%1").arg(vertical), QStringLiteral("Vertical"));
    optSplit[std::size_t(vertical + 1)] =
        radio(frame, QStringLiteral("optSplit%1").arg(vertical + 1), QStringLiteral("Horizontal"));
    optSplit[std::size_t(vertical)]->setChecked(true);
    chkLeft[std::size_t(view + 1)] =
        checkBox(frame, QStringLiteral("chkLeft%1").arg(view + 1), QStringLiteral("SQL on left\\top"));
    auto *box = new QVBoxLayout(frame);
    box->addWidget(optSplit[std::size_t(vertical)]);
    box->addWidget(optSplit[std::size_t(vertical + 1)]);
    box->addWidget(chkLeft[std::size_t(view + 1)]);
    box->addStretch();
    return frame;
}

QWidget *frmOptions::buildResultsTab()
{
    auto *page = new QWidget;
    auto *fraDblClick = new QGroupBox(QStringLiteral("Double Click"), page);
    const char *dblClick[] = {"Highlight row", "View Cell", "View row"};
    auto *dbl = new QVBoxLayout(fraDblClick);
    for (int i = 0; i < 3; ++i) {
        optDblClick[std::size_t(i)] =
            radio(fraDblClick, QStringLiteral("optDblClick%1").arg(i), QLatin1String(dblClick[i]));
        dbl->addWidget(optDblClick[std::size_t(i)]);
    }
    optDblClick[0]->setChecked(true);
    dbl->addStretch();

    auto *fraDisplay = new QGroupBox(QStringLiteral("Display"), page);
    chkAutoSQL = checkBox(fraDisplay, QStringLiteral("chkAutoSQL"), QStringLiteral("Auto update SQL"));
    chkToolBarText[1] = checkBox(fraDisplay, QStringLiteral("chkToolBarText1"), QStringLiteral("ToolbarText"));
    chkShowCount = checkBox(fraDisplay, QStringLiteral("chkShowCount"), QStringLiteral("Row Count"));
    auto *display = new QVBoxLayout(fraDisplay);
    for (QCheckBox *b : {chkAutoSQL, chkToolBarText[1], chkShowCount})
        display->addWidget(b);
    display->addStretch();

    auto *fraHeader = new QGroupBox(QStringLiteral("Column Header Click"), page);
    chkColSort = checkBox(fraHeader, QStringLiteral("chkColSort"), QStringLiteral("Sort column"));
    chkColSel = checkBox(fraHeader, QStringLiteral("chkColSel"), QStringLiteral("Select column"));
    auto *header = new QVBoxLayout(fraHeader);
    header->addWidget(chkColSort);
    header->addWidget(chkColSel);
    header->addStretch();

    auto *layout = new QGridLayout(page);
    layout->addWidget(buildGridFrame(0, page), 0, 0);
    layout->addWidget(buildColourFrame(0, page), 1, 0);
    layout->addWidget(buildWallpaperFrame(0, page), 2, 0);
    layout->addWidget(fraDblClick, 0, 1);
    layout->addWidget(fraDisplay, 1, 1);
    layout->addWidget(buildSplitFrame(hlTabulon::tbViewResults, page), 2, 1);
    layout->addWidget(fraHeader, 3, 1);
    layout->setRowStretch(4, 1);
    return page;
}

QWidget *frmOptions::buildChartTab()
{
    auto *page = new QWidget;
    auto *fraDisplay = new QGroupBox(QStringLiteral("Display"), page);
    txtTitle = new QLineEdit(fraDisplay);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    txtTitle->setMinimumWidth(260);
    auto *display = new QGridLayout(fraDisplay);
    addRow(display, 0, QStringLiteral("Title"), txtTitle);
    display->setColumnStretch(1, 1);

    auto *fraStyle = new QGroupBox(QStringLiteral("Style"), page);
    cboType = combo(fraStyle, QStringLiteral("cboType"));
    chkStack = checkBox(fraStyle, QStringLiteral("chkStack"), QStringLiteral("Stack Series"));
    auto *style = new QGridLayout(fraStyle);
    addRow(style, 0, QStringLiteral("Type"), cboType);
    style->addWidget(chkStack, 1, 0, 1, 2);
    style->setColumnStretch(2, 1);

    auto *fraLegend = new QGroupBox(QStringLiteral("Legend"), page);
    chkLegend = checkBox(fraLegend, QStringLiteral("chkLegend"), QStringLiteral("Display"));
    chkLegendValues = checkBox(fraLegend, QStringLiteral("chkLegendValues"), QStringLiteral("Show Values"));
    auto *legend = new QVBoxLayout(fraLegend);
    legend->addWidget(chkLegend);
    legend->addWidget(chkLegendValues);
    legend->addStretch();

    // Two groups of buttons in one frame: each group is exclusive on its own.
    auto *fraSort = new QGroupBox(QStringLiteral("Sort"), page);
    optValue[0] = radio(fraSort, QStringLiteral("optValue0"), QStringLiteral("By Name"));
    optValue[1] = radio(fraSort, QStringLiteral("optValue1"), QStringLiteral("By Value"));
    optAscending[0] = radio(fraSort, QStringLiteral("optAscending0"), QStringLiteral("Ascending"));
    optAscending[1] = radio(fraSort, QStringLiteral("optAscending1"), QStringLiteral("Descending"));
    auto *byGroup = new QButtonGroup(fraSort);
    auto *orderGroup = new QButtonGroup(fraSort);
    for (int i = 0; i < 2; ++i) {
        byGroup->addButton(optValue[std::size_t(i)]);
        orderGroup->addButton(optAscending[std::size_t(i)]);
    }
    optValue[0]->setChecked(true);
    optAscending[0]->setChecked(true);
    auto *sort = new QGridLayout(fraSort);
    sort->addWidget(optValue[0], 0, 0);
    sort->addWidget(optValue[1], 1, 0);
    sort->addWidget(optAscending[0], 0, 1);
    sort->addWidget(optAscending[1], 1, 1);

    auto *layout = new QGridLayout(page);
    layout->addWidget(fraDisplay, 0, 0, 1, 2);
    layout->addWidget(fraStyle, 1, 0);
    layout->addWidget(fraLegend, 1, 1);
    layout->addWidget(fraSort, 2, 0);
    layout->addWidget(buildSplitFrame(hlTabulon::tbViewChart, page), 2, 1);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget *frmOptions::buildSummaryTab()
{
    auto *page = new QWidget;
    auto *fraTotals = new QGroupBox(QStringLiteral("Sub Totals"), page);
    chkSubTotals = checkBox(fraTotals, QStringLiteral("chkSubTotals"), QStringLiteral("Visible"));
    auto *totals = new QGridLayout(fraTotals);
    totals->addWidget(chkSubTotals, 0, 0, 1, 3);
    for (int index : {9, 10}) {
        QLineEdit *box = makeColourBox(index, fraTotals);
        addRow(totals, index - 8, QStringLiteral("Col %1 Color").arg(index - 8), box, makePickerButton(index, fraTotals));
    }
    totals->setColumnStretch(3, 1);

    auto *fraDisplay = new QGroupBox(QStringLiteral("Display"), page);
    chkMergeCols = checkBox(fraDisplay, QStringLiteral("chkMergeCols"), QStringLiteral("Merge Rows"));
    auto *display = new QVBoxLayout(fraDisplay);
    display->addWidget(chkMergeCols);
    display->addStretch();

    auto *layout = new QGridLayout(page);
    layout->addWidget(buildGridFrame(1, page), 0, 0);
    layout->addWidget(buildColourFrame(1, page), 1, 0);
    layout->addWidget(buildWallpaperFrame(1, page), 2, 0);
    layout->addWidget(fraTotals, 0, 1);
    layout->addWidget(fraDisplay, 1, 1);
    layout->addWidget(buildSplitFrame(hlTabulon::tbViewSummary, page), 2, 1);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget *frmOptions::buildXTabTab()
{
    auto *page = new QWidget;
    auto *layout = new QGridLayout(page);
    layout->addWidget(buildGridFrame(2, page), 0, 0);
    layout->addWidget(buildColourFrame(2, page), 1, 0);
    layout->addWidget(buildWallpaperFrame(2, page), 2, 0);
    layout->addWidget(buildSplitFrame(hlTabulon::tbViewXTab, page), 0, 1);
    layout->setRowStretch(3, 1);
    return page;
}

QWidget *frmOptions::buildGeneralTab()
{
    auto *page = new QWidget;
    auto *fraSQL = new QGroupBox(QStringLiteral("SQL"), page);
    auto *sql = new QGridLayout(fraSQL);
    QLineEdit *fontBox = makeFontBox(12, fraSQL);
    addRow(sql, 0, QStringLiteral("Font"), fontBox, makePickerButton(12, fraSQL));
    sql->setColumnStretch(1, 1);

    auto *fraDisplay = new QGroupBox(QStringLiteral("Display"), page);
    updRecentFiles = new RecentFilesBox(fraDisplay);
    updRecentFiles->setObjectName(QStringLiteral("updRecentFiles"));
    txtRecentFiles = updRecentFiles->edit();
    txtRecentFiles->setObjectName(QStringLiteral("txtRecentFiles"));
    updRecentFiles->setFixedWidth(72);
    chkSortFields = checkBox(fraDisplay, QStringLiteral("chkSortFields"), QStringLiteral("Sort Fields"));
    auto *display = new QGridLayout(fraDisplay);
    addRow(display, 0, QStringLiteral("Recent Files"), updRecentFiles);
    display->addWidget(chkSortFields, 1, 0, 1, 2);
    display->setColumnStretch(2, 1);

    auto *fraToolbar = new QGroupBox(QStringLiteral("Toolbar Text"), page);
    chkToolBarText[0] = checkBox(fraToolbar, QStringLiteral("chkToolBarText0"), QStringLiteral("Main"));
    chkToolBarText[2] = checkBox(fraToolbar, QStringLiteral("chkToolBarText2"), QStringLiteral("Query Builder"));
    auto *toolbar = new QVBoxLayout(fraToolbar);
    toolbar->addWidget(chkToolBarText[0]);
    toolbar->addWidget(chkToolBarText[2]);
    toolbar->addStretch();

    auto *layout = new QGridLayout(page);
    layout->addWidget(fraSQL, 0, 0, 1, 2);
    layout->addWidget(fraDisplay, 1, 0);
    layout->addWidget(fraToolbar, 1, 1);
    layout->setRowStretch(2, 1);
    return page;
}

void frmOptions::connectChanges()
{
    const auto data = [this] { changed(false); };
    const auto chart = [this] { changed(true); };
    for (QCheckBox *b : {chkAutoSQL, chkShowCount, chkColSort, chkColSel, chkToolBarText[0], chkToolBarText[1],
                         chkToolBarText[2], chkSubTotals, chkMergeCols, chkSortFields, chkLeft[1], chkLeft[2],
                         chkLeft[3], chkLeft[4]})
        connect(b, &QCheckBox::toggled, this, data);
    for (QCheckBox *b : {chkStack, chkLegend, chkLegendValues})
        connect(b, &QCheckBox::toggled, this, chart);
    // A switch within a group unchecks one button and checks another: the checked one counts.
    auto onChecked = [this](QRadioButton *r, bool isChart) {
        connect(r, &QRadioButton::toggled, this, [this, isChart](bool on) {
            if (on)
                changed(isChart);
        });
    };
    for (QRadioButton *r : optSplit)
        onChecked(r, false);
    for (QRadioButton *r : optDblClick)
        onChecked(r, false);
    for (QRadioButton *r : {optValue[0], optValue[1], optAscending[0], optAscending[1]})
        onChecked(r, true);
    for (int i = 0; i < 3; ++i) {
        connect(cboGridLines[std::size_t(i)], &QComboBox::currentIndexChanged, this, data);
        connect(cboAlignment[std::size_t(i)], &QComboBox::currentIndexChanged, this, data);
        connect(txtWallpaper[std::size_t(i)], &QLineEdit::textChanged, this, data);
        connect(chkAlternateRows[std::size_t(i)], &QCheckBox::toggled, this,
                [this, i](bool on) { alternateRowsToggled(i, on); });
    }
    connect(cboType, &QComboBox::currentIndexChanged, this, chart);
    connect(txtTitle, &QLineEdit::textChanged, this, chart);
    connect(txtRecentFiles, &QLineEdit::textChanged, this, data);
}

void frmOptions::changed(bool chart)
{
    (chart ? m_chartChanged : m_dataChanged) = true;
    cmdApply->setEnabled(true);
}

void frmOptions::alternateRowsToggled(int gridTab, bool on)
{
    cmdDialog[std::size_t(3 * gridTab + 1)]->setEnabled(on);
    changed(false);
}

bool frmOptions::load()
{
    if (!m_loadTried) {
        m_loadTried = true;
        m_loaded = Init();
    }
    return m_loaded;
}

bool frmOptions::Init()
{
    m_loaded = false;
    return analysis::trap(QStringLiteral("Init"), [&] {
        const Options &o = analysis::options();
        bool listed = Get_ChartTypes();
        for (QComboBox *box : cboGridLines)
            listed = listed && Get_GridLineTypes(box);
        for (int i = 0; listed && i < 3; ++i)
            listed = Get_PicAlignments(i);
        if (!listed) {
            return false;
        }

        for (int view = 0; view < 4; ++view) {
            const analysis::SplitOptions &split = o.split(view);
            optSplit[std::size_t(2 * view + (split.Orientation ? 1 : 0))]->setChecked(true);
            chkLeft[std::size_t(view + 1)]->setChecked(split.Left);
        }
        chkColSel->setChecked(o.ColSel);
        chkColSort->setChecked(o.ColSort);
        chkToolBarText[0]->setChecked(o.MainToolbarText);
        chkToolBarText[1]->setChecked(o.ResultsToolbarText);
        chkToolBarText[2]->setChecked(o.QueryBuilderToolbarText);

        if (!Set_ToolTips()) {
            return false;
        }

        chkLegend->setChecked(o.ChartLegend);
        chkSortFields->setChecked(o.SortFields);
        txtRecentFiles->setText(QString::number(o.RecentFiles));
        optValue[o.ChartSortCols ? 1 : 0]->setChecked(true);
        optAscending[o.ChartSortDesc ? 1 : 0]->setChecked(true);
        txtTitle->setText(o.ChartTitle);
        chkStack->setChecked(o.ChartStack);
        chkMergeCols->setChecked(o.Merge);

        for (int i = 0; i < 3; ++i)
            showBoxFont(3 * i + 2, o.grid(i).Font, quint32(o.grid(i).FontColour));
        showBoxFont(12, o.SQLFont, 0);

        for (int i = 0; i < 3; ++i) {
            const analysis::GridOptions &g = o.grid(i);
            const auto back = std::size_t(3 * i);
            showBoxColor(int(back), quint32(g.BackColor));
            const bool alternate = g.AlternateColor > 0;
            chkAlternateRows[std::size_t(i)]->setChecked(alternate);
            showBoxColor(int(back + 1), alternate ? quint32(g.AlternateColor) : 0xFFFFFFu);
            txtColor[back + 1]->setEnabled(alternate);
            cmdDialog[back + 1]->setEnabled(alternate);
            txtWallpaper[std::size_t(i)]->setText(g.Wallpaper);
        }

        chkShowCount->setChecked(o.ShowCount);
        // A stored action outside the three is shown as the first, the one a new user gets.
        const int dblClick = o.DoubleClick >= 0 && o.DoubleClick <= 2 ? o.DoubleClick : 0;
        optDblClick[std::size_t(dblClick)]->setChecked(true);
        chkLegendValues->setChecked(o.ChartLegendValues);
        chkSubTotals->setChecked(o.ShowTotals);
        showBoxColor(9, quint32(o.SubTotalColor1));
        showBoxColor(10, quint32(o.SubTotalColor2));
        chkAutoSQL->setChecked(o.AutoUpdateSQL);

        if (m_initialTab >= 0 && m_initialTab < tabOptions->count())
            tabOptions->setCurrentIndex(m_initialTab);

        // Filling the controls raised their change events: none of it is an edit.
        cmdApply->setEnabled(false);
        m_dataChanged = false;
        m_chartChanged = false;
        m_loaded = true;
        return true;
    });
}

void frmOptions::readControls(Options &o) const
{
    o.MainToolbarText = chkToolBarText[0]->isChecked();
    o.ResultsToolbarText = chkToolBarText[1]->isChecked();
    o.QueryBuilderToolbarText = chkToolBarText[2]->isChecked();
    o.ColSort = chkColSort->isChecked();
    o.ColSel = chkColSel->isChecked();
    o.AutoUpdateSQL = chkAutoSQL->isChecked();
    o.SortFields = chkSortFields->isChecked();
    o.RecentFiles = recentFilesCount(txtRecentFiles);

    for (int i = 0; i < 3; ++i)
        o.grid(i).GridLines = selectedCode(cboGridLines[std::size_t(i)], "grid-line style");

    for (int view = 0; view < 4; ++view) {
        o.split(view).Orientation = optSplit[std::size_t(2 * view + 1)]->isChecked();
        o.split(view).Left = chkLeft[std::size_t(view + 1)]->isChecked();
    }

    for (int i = 0; i < 3; ++i) {
        if (optDblClick[std::size_t(i)]->isChecked()) {
            o.DoubleClick = i;
            break;
        }
    }
    o.ShowCount = chkShowCount->isChecked();

    for (int i = 0; i < 3; ++i) {
        analysis::GridOptions &g = o.grid(i);
        const auto back = std::size_t(3 * i);
        g.Font = m_boxFont[back + 2];
        g.FontColour = qint32(m_boxTextColor[back + 2] & 0xFFFFFFu);
        g.Wallpaper = txtWallpaper[std::size_t(i)]->text();
        g.WallpaperAlign = selectedCode(cboAlignment[std::size_t(i)], "wallpaper alignment");
        g.BackColor = qint32(m_boxBackColor[back] & 0xFFFFFFu);
        g.AlternateColor =
            chkAlternateRows[std::size_t(i)]->isChecked() ? qint32(m_boxBackColor[back + 1] & 0xFFFFFFu) : 0;
    }

    o.ShowTotals = chkSubTotals->isChecked();
    o.SubTotalColor1 = qint32(m_boxBackColor[9] & 0xFFFFFFu);
    o.SubTotalColor2 = qint32(m_boxBackColor[10] & 0xFFFFFFu);
    o.Merge = chkMergeCols->isChecked();
    o.SQLFont = m_boxFont[12];

    o.ChartType = selectedCode(cboType, "chart type");
    o.ChartSortCols = optValue[1]->isChecked();
    o.ChartSortDesc = optAscending[1]->isChecked();
    o.ChartLegend = chkLegend->isChecked();
    o.ChartStack = chkStack->isChecked();
    o.ChartLegendValues = chkLegendValues->isChecked();
    o.ChartTitle = txtTitle->text();
}

bool frmOptions::Save_Changes()
{
    return analysis::trap(QStringLiteral("Save_Changes"), [&] {
        m_inputRefused = false;
        Options &shared = analysis::options();
        Options edited = shared;
        try {
            readControls(edited);
        } catch (const RefusedInput &refused) {
            m_inputRefused = true;
            ui::Prompter::msgBox(QString::fromStdString(refused.what()), ui::MsgButtons::OK, ui::MsgIcon::Exclamation,
                                 windowTitle(), this);
            for (QWidget *w = refused.box; w; w = w->parentWidget()) {
                if (const int page = tabOptions->indexOf(w); page >= 0)
                    tabOptions->setCurrentIndex(page);
            }
            refused.box->setFocus(Qt::OtherFocusReason);
            refused.box->selectAll();
            return false;
        }
        checkRanges(edited, shared);
        // All or nothing: the shared values change only together with the store.
        Options before = shared;
        shared = edited;
        if (!analysis::Save_INI()) {
            shared = before;
            return false;
        }
        cmdApply->setEnabled(false);
        return true;
    });
}

bool frmOptions::saveAndApply()
{
    if (!Save_Changes())
        return false;
    if (m_calledFrom)
        m_calledFrom->Set_Options(m_dataChanged, m_chartChanged, false);
    return true;
}

void frmOptions::cmdApply_Click()
{
    if (saveAndApply())
        cmdApply->setEnabled(false);
    if (!cmdApply->isEnabled())
        cmdOK->setFocus();
}

void frmOptions::cmdOK_Click()
{
    // A refused value keeps the dialog open on its box; a failed save leaves Apply enabled and the
    // closing question offers to try again.
    if (cmdApply->isEnabled() && !saveAndApply() && m_inputRefused)
        return;
    if (cmdApply->isEnabled())
        reject();
    else
        accept();
}

void frmOptions::reject()
{
    if (m_loaded && cmdApply->isEnabled()) {
        const ui::MsgResult answer = ui::Prompter::msgBox(QStringLiteral("Save changes?"), ui::MsgButtons::YesNoCancel,
                                                          ui::MsgIcon::Question, windowTitle(), this);
        if (answer == ui::MsgResult::Cancel)
            return;
        if (answer == ui::MsgResult::Yes && !saveAndApply())
            return;
    }
    QDialog::reject();
}

void frmOptions::showEvent(QShowEvent *event)
{
    load();
    QDialog::showEvent(event);
    ui::MousePointer::setDefault();
    if (!m_loaded)
        QMetaObject::invokeMethod(this, [this] { QDialog::reject(); }, Qt::QueuedConnection);
}

bool frmOptions::eventFilter(QObject *watched, QEvent *event)
{
    // The colour and font boxes are never typed into: their picker button takes the focus.
    if (event->type() == QEvent::FocusIn) {
        for (std::size_t n = 0; n < cmdDialog.size(); ++n) {
            const bool isBox = (n < txtColor.size() && watched == txtColor[n]) || watched == txtFont[n];
            if (isBox && cmdDialog[n]) {
                cmdDialog[n]->setFocus(Qt::OtherFocusReason);
                return false;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
