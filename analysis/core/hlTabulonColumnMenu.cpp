// The column pop-up menu of the results grid: opening it on the cell under the mouse, and running
// the command the user picked on that column.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"

#include "PaneDivider/Splitter.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "hlQueryMenu/qryMenu.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPointer>

#include <functional>

using analysis::options;

namespace {

// The grid raises MouseUp for its cells only; a right click on a column header opens the menu too.
class HeaderRightClick : public QObject {
public:
    HeaderRightClick(QObject *parent, std::function<void(QWidget *, QMouseEvent *)> handler)
        : QObject(parent), m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::RightButton)
                m_handler(static_cast<QWidget *>(watched), me);
        }
        return false;
    }

private:
    std::function<void(QWidget *, QMouseEvent *)> m_handler;
};

int vbShift(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0)
           | (modifiers & Qt::AltModifier ? 4 : 0);
}

} // namespace

void hlTabulon::connectColumnMenu()
{
    connect(grdResults, &grid::Grid::MouseUp, this, &hlTabulon::grdResults_MouseUp);
    auto *headerClicks = new HeaderRightClick(this, [this](QWidget *viewport, QMouseEvent *me) {
        const QPoint at = viewport->mapTo(grdResults, me->position().toPoint());
        grdResults_MouseUp(2, vbShift(me->modifiers()), qRound(ui::Twips::fromPixelsX(at.x(), grdResults)),
                           qRound(ui::Twips::fromPixelsY(at.y(), grdResults)));
    });
    // The frozen columns' header too, once the grid makes that view.
    grdResults->installHeaderEventFilter(headerClicks);
}

::qryMenu *hlTabulon::columnMenu()
{
    // Made on its first opening: most windows never show it.
    if (qryMenu)
        return qryMenu;
    qryMenu = new ::qryMenu(this);
    qryMenu->setObjectName(QStringLiteral("qryMenu"));
    qryMenu->hide();

    connect(qryMenu, &::qryMenu::ItemSelected, this, [this](QString &strItem) { qryMenu_ItemSelected(strItem); });
    connect(qryMenu, &::qryMenu::Cancelled, this, [this] {
        hideColumnMenu();
        grdResults->setFocus();
    });
    // LostFocus: the focus went somewhere outside the menu (its boxes are inside it).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (!qryMenu || qryMenu->isHidden())
            return;
        if (now && (now == qryMenu || qryMenu->isAncestorOf(now)))
            return;
        hideColumnMenu();
    });
    return qryMenu;
}

void hlTabulon::grdResults_MouseUp(int button, int /*shift*/, int x, int y)
{
    if (button != 2) {
        hideColumnMenu();
        return;
    }
    m_blnFetching = true;
    bool moved = false;
    trap(QStringLiteral("grdResults_MouseUp"), [&] {
        const int col = grdResults->MouseCol();
        const int row = grdResults->MouseRow();
        // Below the last row there is no cell to act on, as beside the last column.
        if (col >= 0 && row >= 0 && grdResults->Row() >= 0 && grdResults->Rows() > 1) {
            m_lngMenuCol = col;
            moved = true;
            grdResults->setCol(m_lngMenuCol);
            if (row == 0) {
                grdResults->setRow(1);
                grdResults->setRowSel(grdResults->Rows() - 1);
            } else {
                grdResults->setRow(row);
            }

            ::qryMenu *const menu = columnMenu();
            menu->hide(); // a menu already open resets itself when shown again
            menu->setRemoverFilter(tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
            menu->setUnFreezeColumn(tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible());
            menu->setShowColumns(tlbResults->Buttons(QStringLiteral("ShowCols")).Visible());

            // At the pointer, kept inside the grid's right edge and the results pane's bottom.
            const QRect gridRect(grdResults->mapTo(this, QPoint(0, 0)), grdResults->size());
            const QRect paneRect = hlSplitResults->geometry();
            int left = gridRect.left() + ui::Twips::toPixelsX(x, grdResults);
            int top = gridRect.top() + ui::Twips::toPixelsY(y, grdResults);
            if (gridRect.right() + 1 < left + menu->width())
                left = gridRect.right() + 1 - menu->width();
            if (paneRect.bottom() + 1 < top + menu->height())
                top = paneRect.bottom() + 1 - menu->height();
            menu->move(std::max(0, left), std::max(0, top));
            menu->show();
            menu->raise();
            menu->setFocus(Qt::PopupFocusReason);
        }
    });
    m_blnFetching = false;
    // The moves above were kept from the grid's RowColChange; the status bar still says where
    // the user now is (a header's menu puts them on the column's first row).
    if (moved)
        Show_ResultsCount();
}

void hlTabulon::qryMenu_ItemSelected(const QString &strItem)
{
    trap(QStringLiteral("qryMenu_ItemSelected"), [&] {
        // Whatever runs next works on the grid, not on whichever box took the menu's focus.
        hideColumnMenu();
        if (grdResults->isVisible())
            grdResults->setFocus();
        const QPointer<hlTabulon> self(this);
        ui::yieldEvents();
        if (!self)
            return;

        const QString item = strItem.trimmed();
        const int menuCol = m_lngMenuCol;
        const bool haveCol = menuCol >= 0 && menuCol < grdResults->Cols();
        const bool inDatabase = dataType() == tbDataTable || dataType() == tbDataView;
        const bool haveRow = grdResults->Row() >= 1;

        // The in-memory rows of a routine or XML document are filtered where they are. The
        // stored filter is handed over whole: its names are quoted the way the recordset filter
        // reads them, and stripping the delimiter would also cut it out of values. The grid is
        // bound again each time, or its copied rows would stay the old ones.
        auto applyFilter = [&] {
            if (inDatabase) {
                Refresh_Results(false, false, false);
            } else {
                applyInMemoryFilters();
                // No view switch follows here to say so.
                showFilterState();
            }
        };
        auto sortOn = [&](bool descending) {
            if (!haveCol)
                return;
            m_query->setSortCols({QStringList{grdResults->TextMatrix(0, menuCol),
                                      descending ? QStringLiteral("1") : QStringLiteral("0")}});
            if (inDatabase) {
                Refresh_Results(true, false, false);
            } else {
                ui::MousePointer::setHourglass();
                staStatus->Panels(1).setText(QStringLiteral("Sorting rows ..."));
                grdResults->setColSel(grdResults->Col());
                grdResults->setSort(descending ? grid::flexSortGenericDescending : grid::flexSortGenericAscending);
                Show_SortIcon();
                ui::MousePointer::setDefault();
                staStatus->Panels(1).setText(analysis::kReadyText);
            }
        };
        auto showSortSeparator = [this] {
            tlbResults->Buttons(QStringLiteral("sepSort"))
                .setVisible(tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible()
                            || tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
        };

        if (item == QLatin1String("&Copy")) {
            Copy_Sel(false);
        } else if (item == QLatin1String("Sort &Ascending")) {
            sortOn(false);
        } else if (item == QLatin1String("Sort &Descending")) {
            sortOn(true);
        } else if (item == QLatin1String("Filter by &Selection") || item == QLatin1String("Filter E&x Selection")) {
            if (haveRow && haveCol) {
                QString value = grdResults->TextMatrix(grdResults->Row(), menuCol);
                // The cell's text as it stands: its * or % is data, not a wildcard.
                if (Set_Filter(item == QLatin1String("Filter by &Selection"), value, false))
                    applyFilter();
            }
        } else if (item == QLatin1String("&Remove Filter")) {
            // The menu offered it only while a filter is set; a pick that slips past it is inert.
            if (qryMenu->RemoverFilter())
                Remove_Filter();
        } else if (item == QLatin1String("&Filter for:")) {
            if (haveRow) {
                QString value = qryMenu->FilterText();
                if (Set_Filter(true, value, true))
                    applyFilter();
            }
        } else if (item == QLatin1String("F&ind:")) {
            Find_Row(qryMenu->FindText());
        } else if (item == QLatin1String("&Lock Column")) {
            const int frozen = grdResults->FrozenCols();
            if (frozen < grdResults->Cols() && grdResults->Col() >= 0) {
                grdResults->setColPosition(grdResults->Col(), frozen);
                grdResults->setFrozenCols(frozen + 1);
                tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(true);
                tlbResults->Buttons(QStringLiteral("UnFreezeCols")).setVisible(true);
                tlbResults->update();
            }
        } else if (item == QLatin1String("U&nlock Column")) {
            const int frozen = grdResults->FrozenCols();
            if (qryMenu->UnFreezeColumn() && frozen > 0 && grdResults->Col() >= 0) {
                // One place past the frozen block, but never past the last column.
                grdResults->setColPosition(grdResults->Col(), std::min(frozen + 1, grdResults->Cols() - 1));
                grdResults->setFrozenCols(frozen - 1);
                tlbResults->Buttons(QStringLiteral("UnFreezeCols")).setVisible(grdResults->FrozenCols() != 0);
                showSortSeparator();
            }
        } else if (item == QLatin1String("&Autosize Column")) {
            if (grdResults->Col() >= 0)
                grdResults->AutoSize(grdResults->Col(), grdResults->Col());
        } else if (item == QLatin1String("&Hide Column")) {
            if (haveCol) {
                grdResults->setColHidden(menuCol, true);
                ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("ShowCols"));
                if (!button.ButtonMenus().Exists(QStringLiteral("ShowAll")))
                    button.ButtonMenus().Add(QStringLiteral("Show all columns"), QStringLiteral("ShowAll"));
                button.setStyle(ui::tbrDropdown);
            }
        } else if (item == QLatin1String("&View Columns")) {
            if (qryMenu->ShowColumns())
                View_Columns();
        } else if (item == QLatin1String("Vie&w Cell")) {
            if (haveRow && grdResults->Col() >= 0)
                Show_Cell(grdResults->Col());
        } else if (item == QLatin1String("View R&ow")) {
            Show_Details();
        }
    }, ui::MousePointer::setDefault);
}

bool hlTabulon::Find_Row(const QVariant &value)
{
    return trap(QStringLiteral("Find_Row"), [&] {
        const QString text = value.toString().trimmed().toUpper();
        if (value.toString().isEmpty() || text.isEmpty())
            return false;
        grdResults->setColSel(grdResults->Col());
        analysis::Options &opt = options();
        opt.FindCurrentColumn = true;
        opt.FindMatchCase = false;
        opt.FindWholeWord = true;
        opt.FindText = text;
        return Find_Item(0);
    });
}
