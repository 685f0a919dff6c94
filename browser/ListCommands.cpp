// What the user does in the object list, its pop-up menu and the browser's toolbar.
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "settings/SettingsStore.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"

#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

using namespace browser;

namespace {

const char *const kViews[] = {"Large", "Small", "List", "Report"};

} // namespace

void hlSourceBrowser::buildObjectList()
{
    // The schema already lists by name; the list starts sorted the same way.
    lvwData->setSort(0, ObjectList::lvwAscending);

    grdTooltip = new grid::Grid(this);
    grdTooltip->setObjectName(QStringLiteral("grdTooltip"));
    grdTooltip->setFixedRows(0);
    grdTooltip->setFixedCols(0);
    grdTooltip->setRows(1);
    grdTooltip->setCols(1);
    grdTooltip->setFocusPolicy(Qt::NoFocus);
    grdTooltip->view()->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdTooltip->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdTooltip->hide();
    tmrTip = new QTimer(this);
    tmrTip->setObjectName(QStringLiteral("tmrTip"));
    connect(tmrTip, &QTimer::timeout, this, &hlSourceBrowser::tmrTip_Timer);
    connect(grdTooltip, &grid::Grid::MouseMove, this, [this] { grdTooltip_MouseMove(); });

    mnuTable = new QMenu(tr("Table"), this);
    mnuTables[0] = mnuTable->addAction(tr("&Open"));
    mnuTables[1] = mnuTable->addSeparator();
    mnuTables[2] = mnuTable->addAction(tr("Return &all rows"));
    mnuTables[3] = mnuTable->addAction(tr("Return &top ..."));
    for (int i : {0, 2, 3})
        connect(mnuTables[size_t(i)], &QAction::triggered, this, [this, i] { mnuTables_Click(i); });

    connect(lvwData, &ObjectList::ItemClick, this, &hlSourceBrowser::lvwData_ItemClick);
    connect(lvwData, &ObjectList::DblClick, this, &hlSourceBrowser::lvwData_DblClick);
    connect(lvwData, &ObjectList::KeyUp, this, [this](int key) {
        lvwData_KeyUp(key == Qt::Key_Return || key == Qt::Key_Enter ? 13 : key);
    });
    connect(lvwData, &ObjectList::ColumnClick, this, &hlSourceBrowser::lvwData_ColumnClick);
    connect(lvwData, &ObjectList::MouseDown, this,
            [this](Qt::MouseButton, const QPoint &position) { lvwData_MouseDown(position); });
    connect(lvwData, &ObjectList::MouseMove, this,
            [this](Qt::MouseButtons, const QPoint &position) { lvwData_MouseMove(position); });
    connect(lvwData, &ObjectList::MouseUp, this, [this](Qt::MouseButton button, const QPoint &position) {
        if (lvwData_MouseUp(button))
            mnuTable->popup(lvwData->mapToGlobal(position));
    });
}

void hlSourceBrowser::lvwData_ItemClick(int item)
{
    trap(QStringLiteral("lvwData_ItemClick"), [&] {
        if (item < 0 || item >= lvwData->count())
            return true;
        ui::yieldEvents();
        if (lvwData->selectedItem() != item)
            lvwData->setSelectedItem(item);
        emit QuerySelected(fullPath(tvwData->currentItem()) + QStringLiteral(" : ") + lvwData->text(item));
        ui::MousePointer::setHourglass();
        tmrTip->stop();
        const bool routine = m_listDataType == tbDataStoredProc;
        bool ready = true;
        if (selectObject(item)) {
            if (routine)
                ready = Get_Parameters();
            else
                ready = Get_Fields() && Popluate_ToolTip().isValid();
            // A failed read is tried again at the next click instead of showing an old tip.
            if (!ready)
                m_currentItem.clear();
        }
        if (ready && !routine)
            Show_ToolTip();
        return true;
    });
    ui::MousePointer::setDefault();
}

void hlSourceBrowser::lvwData_DblClick()
{
    if (lvwData->count() == 0)
        return;
    // The list's own launch is for its object, also after a click on the tree when Enter started
    // it (no mouse-up in the list cleared the tree's data-source launch then).
    m_sourceQuery = false;
    m_maxRecords = 0;
    m_autoRun = true;
    m_showSQL = false;
    Run_Query();
}

void hlSourceBrowser::lvwData_KeyUp(int keyCode)
{
    if (keyCode == 13)
        lvwData_DblClick();
}

void hlSourceBrowser::lvwData_ColumnClick(int column)
{
    int key = column - 1;
    if (key == 1)
        key = 2; // "Owner" sorts by date, as it always has
    if (key != 0 && key != 2)
        return;
    int order = lvwData->SortOrder();
    if (lvwData->SortKey() == key)
        order = order == ObjectList::lvwAscending ? ObjectList::lvwDescending : ObjectList::lvwAscending;
    lvwData->setSort(key, order);
    for (int c = 1; c <= 3; ++c)
        lvwData->setHeaderIcon(c, 0);
    lvwData->setHeaderIcon(column, order == ObjectList::lvwAscending ? 1 : 2);
}

bool hlSourceBrowser::lvwData_MouseUp(Qt::MouseButton button)
{
    m_sourceQuery = false;
    mnuTables[0]->setVisible(true);
    if (button != Qt::RightButton || lvwData->count() == 0)
        return false;
    const int item = lvwData->selectedItem();
    if (item < 0)
        return false;
    // The menu launches the object under it, owner included; the tip's object stays as it was.
    m_objectName = quotedObjectName(item);
    m_objectOwner = lvwData->subItem(item, 1);
    m_objectBase = lvwData->text(item);
    hideToolTip();
    ui::yieldEvents();
    const bool open = m_listDataType != tbDataStoredProc && browserSettings().OpenSQL;
    mnuTables[0]->setVisible(open);
    mnuTables[1]->setVisible(open);
    return true;
}

void hlSourceBrowser::mnuTables_Click(int index)
{
    switch (index) {
    case 0: Run(0); break;
    case 2: Run(1); break;
    case 3: Run(2); break;
    default: break;
    }
}

void hlSourceBrowser::mnuQuery_Click()
{
    m_maxRecords = 0;
    m_autoRun = false;
    m_showSQL = true;
    Run_Query();
}

void hlSourceBrowser::tlbData_ButtonClick(const QString &key)
{
    BrowserSettings &s = browserSettings();
    if (key.compare(QLatin1String("Refresh"), Qt::CaseInsensitive) == 0) {
        Refresh_Data();
    } else if (key.compare(QLatin1String("Options"), Qt::CaseInsensitive) == 0) {
        Show_Options();
    } else {
        for (int view = 0; view < 4; ++view) {
            if (key.compare(QLatin1String(kViews[view]), Qt::CaseInsensitive) != 0)
                continue;
            lvwData->setView(view);
            if (view == ObjectList::lvwReport)
                Size_Cols();
            s.DataView = view;
        }
    }
    // The view choice is kept at once, not with the next options save.
    auto &store = settings::SettingsStore::instance();
    if (!store.SaveSetting(s.AppName, QStringLiteral("General"), QStringLiteral("Data View"), QString::number(s.DataView)))
        report(QStringLiteral("tlbData_ButtonClick"), store.lastError());
}
