#include "dialogs/frmColumns.h"

#include "hlTabulon/Options.h"
#include "dialogs/DialogTrap.h"
#include "grid/Grid.h"
#include "ui/FormButton.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <stdexcept>

namespace {
constexpr int kColumn = 0;
constexpr int kPosition = 1;
constexpr int kDisplayed = 2;
} // namespace

frmColumns::frmColumns(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmColumns"));
    setWindowTitle(QStringLiteral("View Columns"));
    setModal(true);
    grdColumns = new grid::Grid(this);
    grdColumns->setObjectName(QStringLiteral("grdColumns"));
    cmdHideAll = ui::formButton(this, "cmdHideAll", QStringLiteral("&Hide All"), QStringLiteral("Mark all columns as hidden"));
    cmdShowAll = ui::formButton(this, "cmdShowAll", QStringLiteral("Show &All"), QStringLiteral("Mark all columns as Displayed"));
    cmdApply = ui::formButton(this, "cmdApply", QStringLiteral("&Apply"), QStringLiteral("Apply changes"));
    cmdCancel = ui::formButton(this, "cmdCancel", QStringLiteral("&Cancel"), QStringLiteral("Exit without saving changes"));
    cmdOK = ui::formButton(this, "cmdOK", QStringLiteral("&OK"), QStringLiteral("Save changes and exit"));

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {cmdHideAll, cmdShowAll})
        buttons->addWidget(b);
    buttons->addStretch();
    for (QPushButton *b : {cmdApply, cmdCancel, cmdOK})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(grdColumns, 1);
    layout->addLayout(buttons);
    resize(420, 360);

    connect(grdColumns, &grid::Grid::BeforeEdit, this, [](int, int col, bool &cancel) {
        if (col != kDisplayed)
            cancel = true;
    });
    connect(grdColumns, &grid::Grid::AfterEdit, this, [this](int, int) { grdColumns_AfterEdit(); });
    connect(cmdShowAll, &QPushButton::clicked, this, [this] { Hide_All(true); });
    connect(cmdHideAll, &QPushButton::clicked, this, [this] { Hide_All(false); });
    connect(cmdApply, &QPushButton::clicked, this, [this] { Save_Changes(); });
    connect(cmdCancel, &QPushButton::clicked, this, &frmColumns::reject);
    connect(cmdOK, &QPushButton::clicked, this, &frmColumns::cmdOK_Click);
}

bool frmColumns::ColsHidden() const
{
    if (!m_theGrid)
        return false;
    for (int c = 0; c < m_theGrid->Cols(); ++c)
        if (m_theGrid->ColHidden(c))
            return true;
    return false;
}

bool frmColumns::Init()
{
    m_initialised = false;
    if (!Set_Grid() || !Get_Columns())
        return false;
    cmdApply->setEnabled(false);
    m_initialised = true;
    return true;
}

bool frmColumns::Set_Grid()
{
    return analysis::trap(QStringLiteral("Set_Grid"), [&] {
        const analysis::GridOptions &look = analysis::options().ResultsGrid;
        grdColumns->setRows(1);
        grdColumns->setCols(3);
        grdColumns->setFixedRows(1);
        grdColumns->setFixedCols(0);
        grdColumns->setTextMatrix(0, kColumn, QStringLiteral("Column"));
        grdColumns->setTextMatrix(0, kPosition, QStringLiteral("Position"));
        grdColumns->setTextMatrix(0, kDisplayed, QStringLiteral("Displayed"));
        grdColumns->setColDataType(kDisplayed, grid::flexDTBoolean);
        grdColumns->setGridLines(grid::flexGridFlat);
        grdColumns->setBackColor(quint32(look.BackColor));
        grdColumns->setBackColorAlternate(quint32(look.AlternateColor));
        grdColumns->setAllowUserResizing(grid::flexResizeColumns);
        grdColumns->setExplorerBar(grid::flexExSortShow);
        grdColumns->setSelectionMode(grid::flexSelectionFree);
        grdColumns->setEditable(grid::flexEDKbdMouse);
        return true;
    });
}

bool frmColumns::Get_Columns()
{
    return analysis::trap(QStringLiteral("Get_Columns"), [&] {
        if (!m_theGrid)
            throw std::invalid_argument("No results grid was given.");
        const int cols = m_theGrid->Cols();
        grdColumns->setRows(cols + 1);
        for (int i = 0; i < cols; ++i) {
            grdColumns->setTextMatrix(i + 1, kColumn, m_theGrid->TextMatrix(0, i));
            grdColumns->setTextMatrix(i + 1, kPosition, QString::number(i + 1));
            grdColumns->setTextMatrix(i + 1, kDisplayed, m_theGrid->ColHidden(i) ? QString() : QStringLiteral("True"));
        }
        grdColumns->AutoSize(0, kDisplayed, false, 75);
        if (cols > 0)
            grdColumns->Select(1, kDisplayed);
        return true;
    });
}

bool frmColumns::Check_Save() const
{
    for (int r = 1; r < grdColumns->Rows(); ++r)
        if (grdColumns->ValueMatrix(r, kDisplayed) != 0.0)
            return true;
    return false;
}

bool frmColumns::Hide_All(bool displayed)
{
    return analysis::trap(QStringLiteral("Hide_All"), [&] {
        const QString text = displayed ? QStringLiteral("True") : QStringLiteral("False");
        for (int r = 1; r < grdColumns->Rows(); ++r)
            grdColumns->setTextMatrix(r, kDisplayed, text);
        // A grid with no column left would show nothing and offer no heading to bring one back:
        // the top row stays displayed.
        if (!displayed && grdColumns->Rows() > 1)
            grdColumns->setTextMatrix(1, kDisplayed, QStringLiteral("True"));
        cmdOK->setEnabled(true);
        cmdApply->setEnabled(true);
        return true;
    });
}

bool frmColumns::Save_Changes()
{
    if (!m_theGrid)
        return false;
    grid::Grid &results = *m_theGrid;
    return analysis::trap(QStringLiteral("Save_Changes"), [&] {
        if (!Check_Save())
            throw std::invalid_argument("At least one column must stay displayed.");
        results.setRedraw(0);
        for (int r = 1; r < grdColumns->Rows(); ++r) {
            // Rows may have been sorted by a heading: the Position cell names the column.
            bool ok = false;
            const int col = grdColumns->TextMatrix(r, kPosition).toInt(&ok) - 1;
            if (!ok || col < 0 || col >= results.Cols())
                continue;
            results.setColHidden(col, grdColumns->ValueMatrix(r, kDisplayed) != -1.0);
        }
        cmdApply->setEnabled(false);
        results.setRedraw(1);
        return true;
    }, [&] { results.setRedraw(1); });
}

void frmColumns::grdColumns_AfterEdit()
{
    const bool any = Check_Save();
    cmdOK->setEnabled(any);
    cmdApply->setEnabled(any);
}

void frmColumns::cmdOK_Click()
{
    if (Save_Changes())
        accept();
}

void frmColumns::reject()
{
    if (m_initialised && cmdApply->isEnabled()) {
        const ui::MsgResult answer = ui::Prompter::msgBox(QStringLiteral("Save changes?"), ui::MsgButtons::YesNoCancel,
                                                          ui::MsgIcon::Question, windowTitle(), this);
        if (answer == ui::MsgResult::Cancel)
            return;
        if (answer == ui::MsgResult::Yes && !Save_Changes())
            return;
    }
    QDialog::reject();
}

void frmColumns::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        Init();
    }
    QDialog::showEvent(event);
    ui::MousePointer::setDefault();
    if (!m_initialised)
        QMetaObject::invokeMethod(this, [this] { QDialog::reject(); }, Qt::QueuedConnection);
}

void frmColumns::setTheGrid(grid::Grid *grid)
{
    m_theGrid = grid;
}
