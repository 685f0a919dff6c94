#include "dialogs/frmSort.h"

#include "automation/Automation.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "dialogs/DialogTrap.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "grid/GridView.h"
#include "ui/FormButton.h"
#include "ui/EventLoop.h"
#include "ui/MousePointer.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <stdexcept>

namespace {
constexpr int kColumn = 0;
constexpr int kPosition = 1;
constexpr int kDescending = 2;
constexpr int kAvailable = 0;
constexpr int kSelected = 1;

} // namespace

frmSort::frmSort(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSort"));
    setWindowTitle(QStringLiteral("Sort Rows"));
    setModal(true);

    static const char *const moveCaptions[4] = {">>", ">", "<", "<<"};
    static const char *const moveTips[4] = {"Move all Available to Selected", "Move current Available to Selected",
                                            "Move current Selected to Available ", "Move all Selected to Available"};
    static const char *const orderCaptions[4] = {"Top", "Up", "Down", "Bottom"};
    // The bottom button's tip is the top one's, as users have always seen it.
    static const char *const orderTips[4] = {"Move current row to top", "Move current row up one posiiton",
                                             "Move current row down one position", "Move current row to top"};

    auto *layout = new QGridLayout(this);
    auto *moves = new QVBoxLayout;
    auto *orders = new QVBoxLayout;
    moves->addStretch();
    orders->addStretch();
    for (int i = 0; i < 4; ++i) {
        cmdMove[i] = ui::formButton(this, QStringLiteral("cmdMove%1").arg(i), QLatin1String(moveCaptions[i]),
                                    QLatin1String(moveTips[i]));
        moves->addWidget(cmdMove[i]);
        connect(cmdMove[i], &QPushButton::clicked, this, [this, i] { Move_Item(i); });
        cmdOrder[i] = ui::formButton(this, QStringLiteral("cmdOrder%1").arg(i), QLatin1String(orderCaptions[i]),
                                     QLatin1String(orderTips[i]));
        orders->addWidget(cmdOrder[i]);
        connect(cmdOrder[i], &QPushButton::clicked, this, [this, i] { cmdOrder_Click(i); });
    }
    moves->addStretch();
    orders->addStretch();
    for (int i = 0; i < 2; ++i) {
        grdSort[i] = new grid::Grid(this);
        grdSort[i]->setObjectName(QStringLiteral("grdSort%1").arg(i));
        lblItems[i] = new QLabel(this);
        lblItems[i]->setObjectName(QStringLiteral("lblItems%1").arg(i));
        connect(grdSort[i], &grid::Grid::DblClick, this, [this, i] { grdSort_DblClick(i); });
        connect(grdSort[i], &grid::Grid::SelChange, this, &frmSort::refreshOrderButtons);
        connect(grdSort[i], &grid::Grid::BeforeEdit, this, [i](int, int col, bool &cancel) {
            if (i == kAvailable || col == kColumn)
                cancel = true;
        });
        connect(grdSort[i], &grid::Grid::AfterEdit, this, [this](int, int) { cmdApply->setEnabled(true); });
        connect(grdSort[i], &grid::Grid::KeyPressEdit, this,
                [](int, int, int &keyAscii) { keyAscii = analysis::Check_NumberKey(keyAscii, false); });
    }
    layout->addWidget(lblItems[0], 0, 0);
    layout->addWidget(lblItems[1], 0, 2);
    layout->addWidget(grdSort[0], 1, 0);
    layout->addLayout(moves, 1, 1);
    layout->addWidget(grdSort[1], 1, 2);
    layout->addLayout(orders, 1, 3);

    cmdApply = ui::formButton(this, QStringLiteral("cmdApply"), QStringLiteral("&Apply"), QStringLiteral("Save changes"));
    cmdCancel = ui::formButton(this, QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"),
                               QStringLiteral("Exit without saving changes"));
    cmdOK = ui::formButton(this, QStringLiteral("cmdOK"), QStringLiteral("&OK"), QStringLiteral("Save changes and exit"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdApply, cmdCancel, cmdOK})
        buttons->addWidget(b);
    layout->addLayout(buttons, 2, 0, 1, 4);
    connect(cmdApply, &QPushButton::clicked, this, &frmSort::cmdApply_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSort::reject);
    connect(cmdOK, &QPushButton::clicked, this, &frmSort::cmdOK_Click);
    resize(560, 360);
}

void frmSort::setSortCols(const QVariant &sortCols)
{
    m_sortCols.clear();
    if (sortCols.metaType() == QMetaType::fromType<QList<QStringList>>()) {
        m_sortCols = sortCols.value<QList<QStringList>>();
    } else {
        for (const QVariant &entry : sortCols.toList())
            m_sortCols.append(entry.toStringList());
    }
}

bool frmSort::Init()
{
    m_initialised = false;
    m_captions[kAvailable] = QStringLiteral("Available");
    m_captions[kSelected] = QStringLiteral("Selected");
    if (!Set_Grids() || !Get_Columns() || !Set_MoveButtons())
        return false;
    cmdApply->setEnabled(false);
    m_initialised = true;
    return true;
}

bool frmSort::Set_Grids()
{
    return analysis::trap(QStringLiteral("Set_Grids"), [&] {
        for (int i = 0; i < 2; ++i) {
            grid::Grid &g = *grdSort[i];
            g.setRows(1);
            g.setCols(3);
            g.setFixedRows(1);
            g.setFixedCols(0);
            g.setTextMatrix(0, kColumn, QStringLiteral("Column"));
            g.setTextMatrix(0, kPosition, QStringLiteral("Position"));
            g.setTextMatrix(0, kDescending, QStringLiteral("Descending"));
            g.setColDataType(kDescending, grid::flexDTBoolean);
            g.setColHidden(kPosition, true);
            g.setGridLines(grid::flexGridFlat);
            g.setSelectionMode(grid::flexSelectionListBox);
            g.setAllowUserResizing(grid::flexResizeColumns);
            // Selected's order is the priority, so only Available sorts by its headings.
            g.setExplorerBar(i == kAvailable ? grid::flexExSortShow : grid::flexExNone);
            g.setEditable(i == kSelected ? grid::flexEDKbdMouse : grid::flexEDNone);
        }
        grdSort[kAvailable]->setColHidden(kDescending, true);
        for (int i = 0; i < 2; ++i)
            lblItems[i]->setText(m_captions[i]);
        return true;
    });
}

bool frmSort::Get_Columns()
{
    return analysis::trap(QStringLiteral("Get_Columns"), [&] {
        if (!m_theGrid)
            throw std::invalid_argument("No results grid was given.");
        grid::Grid &available = *grdSort[kAvailable];
        grid::Grid &selected = *grdSort[kSelected];
        const int cols = m_theGrid->Cols();
        available.setRows(cols + 1);
        for (int i = 0; i < cols; ++i) {
            available.setTextMatrix(i + 1, kColumn, m_theGrid->TextMatrix(0, i));
            available.setTextMatrix(i + 1, kPosition, QString::number(i));
        }
        refreshList(kAvailable);
        lblItems[kSelected]->setText(m_captions[kSelected]);

        int r = 1;
        while (r < available.Rows()) {
            const QString caption = available.TextMatrix(r, kColumn);
            int match = -1;
            for (int i = 0; i < m_sortCols.size() && match < 0; ++i)
                if (!m_sortCols[i].isEmpty() && !m_sortCols[i][0].isEmpty() && m_sortCols[i][0] == caption)
                    match = i;
            if (match < 0) {
                ++r;
                continue;
            }
            const int to = selected.Rows();
            moveRow(available, r, selected, to);
            const QString flag = m_sortCols[match].value(1);
            selected.setTextMatrix(to, kDescending, flag == QLatin1String("1") ? QStringLiteral("True") : QString());
        }
        // An empty list is sized too: its headings must read whole.
        available.AutoSize(0, kDescending, false, 75);
        selected.AutoSize(0, kDescending, false, 75);
        if (available.Rows() > 1)
            available.Select(1, kDescending);
        if (selected.Rows() > 1)
            selected.Select(1, kDescending);
        return true;
    });
}

bool frmSort::Set_MoveButtons()
{
    return analysis::trap(QStringLiteral("Set_MoveButtons"), [&] {
        const bool anyAvailable = grdSort[kAvailable]->Rows() > 1;
        const int selectedRows = grdSort[kSelected]->Rows() - 1;
        cmdMove[0]->setEnabled(anyAvailable);
        cmdMove[1]->setEnabled(anyAvailable);
        cmdMove[2]->setEnabled(selectedRows > 0);
        cmdMove[3]->setEnabled(selectedRows > 0);
        for (QPushButton *b : cmdOrder)
            b->setEnabled(selectedRows >= 2);
        return true;
    });
}

void frmSort::refreshOrderButtons()
{
    const grid::Grid &selected = *grdSort[kSelected];
    const int last = selected.Rows() - 1;
    const int r = selected.Row();
    const bool two = last >= 2;
    cmdOrder[0]->setEnabled(two && r != 1);
    cmdOrder[1]->setEnabled(two && r != 1);
    cmdOrder[2]->setEnabled(two && r != last);
    cmdOrder[3]->setEnabled(two && r != last);
}

void frmSort::refreshList(int index)
{
    const int count = grdSort[index]->Rows() - 1;
    lblItems[index]->setText(QStringLiteral("%1 (%2)").arg(m_captions[index], grid::format::groupedCount(count, QLocale(QLocale::English))));
}

void frmSort::moveRow(grid::Grid &from, int fromRow, grid::Grid &to, int toRow)
{
    to.AddItem(QString(), toRow >= to.Rows() ? -1 : toRow);
    for (int c = 0; c < from.Cols(); ++c)
        to.setTextMatrix(toRow, c, from.TextMatrix(fromRow, c));
    from.RemoveItem(fromRow);
}

bool frmSort::Move_Item(int index)
{
    if (index < 0 || index > 3)
        return false;
    const bool done = analysis::trap(QStringLiteral("Move_Item"), [&] {
        if (!cmdMove[index]->isEnabled())
            return false;
        ui::MousePointer::setHourglass();
        grid::Grid &available = *grdSort[kAvailable];
        grid::Grid &selected = *grdSort[kSelected];
        available.setRedraw(0);
        selected.setRedraw(0);
        const bool toSelected = index == 0 || index == 1;
        grid::Grid &from = toSelected ? available : selected;
        grid::Grid &to = toSelected ? selected : available;
        if (index == 0 || index == 3) {
            // Each row goes to the top, so the moved rows end up in reverse order.
            while (from.Rows() > 1 && cmdMove[index]->isEnabled()) {
                moveRow(from, 1, to, 1);
                Set_MoveButtons();
            }
        } else {
            std::vector<int> rows;
            for (int r = 1; r < from.Rows(); ++r)
                if (from.IsSelected(r))
                    rows.push_back(r);
            if (rows.empty()) {
                if (from.Row() < 1 && from.Rows() > 1)
                    from.setRow(1);
                if (from.Row() >= 1)
                    rows.push_back(from.Row());
            }
            // The rows keep their order and take the lowest priorities; later rows shift up
            // as earlier ones leave.
            int removed = 0;
            for (int r : rows) {
                if (!cmdMove[index]->isEnabled())
                    break;
                moveRow(from, r - removed, to, to.Rows());
                ++removed;
                Set_MoveButtons();
            }
        }
        if (!Set_MoveButtons())
            return false;
        cmdApply->setEnabled(true);
        return true;
    });
    for (int i = 0; i < 2; ++i) {
        try {
            grid::Grid &g = *grdSort[i];
            refreshList(i);
            g.AutoSize(0, kDescending, false, 75);
            g.Select(0, kColumn);
        } catch (const std::exception &) {
            // The lists stay as they are; the move itself was reported above if it failed.
        }
        grdSort[i]->setRedraw(1);
    }
    ui::MousePointer::setDefault();
    return done;
}

void frmSort::cmdOrder_Click(int index)
{
    analysis::trap(QStringLiteral("cmdOrder_Click"), [&] {
        grid::Grid &selected = *grdSort[kSelected];
        const int last = selected.Rows() - 1;
        const int r = selected.Row();
        if (last < 1 || r < 1 || r > last)
            return;
        int target = r;
        switch (index) {
        case 0: target = 1; break;
        case 1: target = r - 1; break;
        case 2: target = r + 1; break;
        case 3: target = last; break;
        default: return;
        }
        // Up on the first row and Down on the last stay where they are.
        if (target < 1 || target > last || target == r)
            return;
        QStringList cells;
        for (int c = 0; c < selected.Cols(); ++c)
            cells << selected.TextMatrix(r, c);
        selected.RemoveItem(r);
        selected.AddItem(QString(), target > selected.Rows() - 1 ? -1 : target);
        for (int c = 0; c < selected.Cols(); ++c)
            selected.setTextMatrix(target, c, cells[c]);
        selected.Select(target, kColumn);
        refreshOrderButtons();
        cmdApply->setEnabled(true);
    });
}

bool frmSort::Save_Changes()
{
    return analysis::trap(QStringLiteral("Save_Changes"), [&] {
        const grid::Grid &selected = *grdSort[kSelected];
        QList<QStringList> cols;
        for (int r = 1; r < selected.Rows(); ++r) {
            const bool descending = selected.ValueMatrix(r, kDescending) != 0.0;
            cols.append({selected.TextMatrix(r, kColumn), descending ? QStringLiteral("1") : QStringLiteral("0")});
        }
        if (cols.isEmpty())
            cols.append({QString(), QString()});
        m_sortCols = cols;
        cmdApply->setEnabled(false);
        return true;
    });
}

bool frmSort::sendToControl()
{
    if (!m_calledFrom)
        return false;
    QString error;
    if (!automation::setProperty(m_calledFrom, QStringLiteral("SortCols"), QVariant::fromValue(m_sortCols), &error)) {
        analysis::logError(QStringLiteral("Save_Changes"), error);
        return false;
    }
    return true;
}

void frmSort::refreshControl()
{
    if (!m_calledFrom)
        return;
    QVariant done;
    if (automation::callByName(m_calledFrom, QStringLiteral("Refresh_Results"), {true, false, false}, &done)
        && done.toBool() && m_afterRefresh)
        m_afterRefresh();
}

void frmSort::cmdApply_Click()
{
    ui::MousePointer::setHourglass();
    if (Save_Changes() && sendToControl())
        refreshControl();
    ui::MousePointer::setDefault();
}

void frmSort::cmdOK_Click()
{
    ui::MousePointer::setHourglass();
    if (cmdApply->isEnabled() && Save_Changes() && sendToControl()) {
        hide();
        ui::yieldEventsNow();
        refreshControl();
    }
    ui::MousePointer::setDefault();
    accept();
}

void frmSort::grdSort_DblClick(int index)
{
    if (index == kAvailable)
        Move_Item(1);
    else if (grdSort[kSelected]->Col() == kColumn)
        Move_Item(2);
}

void frmSort::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        Init();
    }
    QDialog::showEvent(event);
    if (m_initialised)
        fitHeadings();
    ui::MousePointer::setDefault();
    if (!m_initialised)
        QMetaObject::invokeMethod(this, [this] { reject(); }, Qt::QueuedConnection);
}

void frmSort::fitHeadings()
{
    // Either list may come to hold the longest name: Selected needs room for it beside its
    // "Descending" heading, with a scroll bar showing.
    const QTableView *available = grdSort[kAvailable]->view();
    const QTableView *selected = grdSort[kSelected]->view();
    const int names = std::max(available->columnWidth(kColumn), selected->columnWidth(kColumn));
    const int chrome = grdSort[kSelected]->width() - selected->viewport()->width()
                       + selected->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int shortBy = names + selected->columnWidth(kDescending) + chrome - grdSort[kSelected]->width();
    if (shortBy <= 0)
        return;
    // Both lists share the width the dialog gains.
    int wanted = width() + 2 * shortBy;
    if (const QScreen *s = screen())
        wanted = std::min(wanted, s->availableGeometry().width());
    if (wanted > width())
        resize(wanted, height());
}

void frmSort::setTheGrid(grid::Grid *grid)
{
    m_theGrid = grid;
}
