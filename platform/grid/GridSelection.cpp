// The cursor, the selection and scrolling, kept in step with the views' selection model.
#include "grid/Grid.h"

#include "grid/GridModel.h"
#include "grid/GridView.h"

#include <QScrollBar>

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace grid {

// ================================================================ cursor and selection

int Grid::Row() const { return m_row; }
int Grid::Col() const { return m_col; }
int Grid::RowSel() const { return m_rowSel; }
int Grid::ColSel() const { return m_colSel; }

void Grid::setRow(int row)
{
    if (row >= m_model->rows())
        m_model->ensureRow(row); // may fetch; DbError passes on
    m_model->checkRow(row, "Row");
    int col = m_col;
    if (col < 0 && m_model->cols() > 0)
        col = std::min(m_model->fixedCols(), m_model->cols() - 1);
    if (m_selectionMode == flexSelectionListBox) {
        m_listSelected.clear();
        if (row >= m_model->fixedRows())
            m_listSelected.insert(row);
    }
    setCursor(row, col, row, col);
}

void Grid::setCol(int col)
{
    m_model->checkCol(col, "Col");
    int row = m_row;
    if (row < 0 && m_model->rows() > 0)
        row = std::min(m_model->fixedRows(), m_model->rows() - 1);
    setCursor(row, col, row, col);
}

void Grid::setRowSel(int row)
{
    if (row >= m_model->rows())
        m_model->ensureRow(row);
    m_model->checkRow(row, "RowSel");
    if (m_row < 0)
        throw GridRangeError("Grid.RowSel: there is no current cell");
    setCursor(m_row, m_col, row, m_colSel);
}

void Grid::setColSel(int col)
{
    m_model->checkCol(col, "ColSel");
    if (m_col < 0)
        throw GridRangeError("Grid.ColSel: there is no current cell");
    setCursor(m_row, m_col, m_rowSel, col);
}

void Grid::Select(int row, int col, int rowSel, int colSel)
{
    if (rowSel < 0)
        rowSel = row;
    if (colSel < 0)
        colSel = col;
    for (int r : {row, rowSel}) {
        if (r >= m_model->rows())
            m_model->ensureRow(r);
        m_model->checkRow(r, "Select");
    }
    m_model->checkCol(col, "Select");
    m_model->checkCol(colSel, "Select");
    setCursor(row, col, rowSel, colSel);
}

void Grid::GetSelection(int &r1, int &c1, int &r2, int &c2) const
{
    if (m_row < 0 || m_col < 0) {
        r1 = c1 = r2 = c2 = -1;
        return;
    }
    r1 = std::min(m_row, m_rowSel);
    r2 = std::max(m_row, m_rowSel);
    c1 = std::min(m_col, m_colSel);
    c2 = std::max(m_col, m_colSel);
    if (m_selectionMode == flexSelectionByRow || m_selectionMode == flexSelectionListBox) {
        c1 = 0;
        c2 = m_model->cols() - 1;
        if (m_selectionMode == flexSelectionListBox)
            r1 = r2 = m_row;
    } else if (m_selectionMode == flexSelectionByColumn) {
        r1 = m_model->fixedRows();
        r2 = m_model->rows() - 1;
    }
}

void Grid::setSelectionMode(int mode)
{
    if (mode < flexSelectionFree || mode > flexSelectionListBox)
        throw GridArgumentError("Grid.SelectionMode: 0 to 3");
    m_selectionMode = mode;
    m_listSelected.clear();
    if (mode == flexSelectionListBox && m_row >= m_model->fixedRows())
        m_listSelected.insert(m_row);
    applySelectionMode();
    syncSelectionToView();
}

bool Grid::IsSelected(int row) const
{
    m_model->checkRow(row, "IsSelected");
    if (m_selectionMode == flexSelectionListBox)
        return m_listSelected.count(row) > 0;
    int r1, c1, r2, c2;
    GetSelection(r1, c1, r2, c2);
    return r1 >= 0 && row >= r1 && row <= r2;
}

void Grid::setIsSelected(int row, bool selected)
{
    m_model->checkRow(row, "IsSelected");
    if (m_selectionMode != flexSelectionListBox)
        throw GridArgumentError("Grid.IsSelected: rows are picked one by one only in list-box selection mode");
    if (row < m_model->fixedRows())
        return;
    const bool changed = selected ? m_listSelected.insert(row).second : m_listSelected.erase(row) > 0;
    if (changed) {
        syncSelectionToView();
        emit SelChange();
    }
}

int Grid::SelectedRows() const
{
    if (m_selectionMode == flexSelectionListBox)
        return int(m_listSelected.size());
    int r1, c1, r2, c2;
    GetSelection(r1, c1, r2, c2);
    return r1 < 0 ? 0 : r2 - r1 + 1;
}

int Grid::SelectedRow(int index) const
{
    if (index < 0 || index >= SelectedRows())
        throw GridRangeError(QStringLiteral("Grid.SelectedRow: %1 is out of range (0 to %2)")
                                 .arg(index).arg(SelectedRows() - 1));
    if (m_selectionMode == flexSelectionListBox)
        return *std::next(m_listSelected.begin(), index);
    int r1, c1, r2, c2;
    GetSelection(r1, c1, r2, c2);
    return r1 + index;
}

void Grid::SelectAll()
{
    const int fixed = m_model->fixedRows();
    if (m_model->rows() <= fixed || m_model->cols() == 0)
        return;
    if (m_selectionMode == flexSelectionListBox) {
        for (int r = fixed; r < m_model->rows(); ++r)
            m_listSelected.insert(r);
    }
    setCursor(fixed, m_model->fixedCols() < m_model->cols() ? m_model->fixedCols() : 0, m_model->rows() - 1,
              m_model->cols() - 1);
}

bool Grid::isCursorCell(int row, int col) const
{
    return row == m_row && col == m_col;
}

bool Grid::isCellSelected(int row, int col) const
{
    if (m_selectionMode == flexSelectionListBox)
        return m_listSelected.count(row) > 0;
    int r1, c1, r2, c2;
    GetSelection(r1, c1, r2, c2);
    return r1 >= 0 && row >= r1 && row <= r2 && col >= c1 && col <= c2;
}

void Grid::setCursor(int row, int col, int rowSel, int colSel, bool emitEvents)
{
    const bool cellChanges = row != m_row || col != m_col;
    const bool selChanges = cellChanges || rowSel != m_rowSel || colSel != m_colSel;
    if (cellChanges && m_editor && (row != m_editRow || col != m_editCol))
        FinishEditing(false);
    if (cellChanges && emitEvents)
        emit LeaveCell();
    m_row = row;
    m_col = col;
    m_rowSel = rowSel;
    m_colSel = colSel;
    m_everyRow = m_selectionMode != flexSelectionListBox && row == m_model->fixedRows() && rowSel > row
                 && rowSel == m_model->rows() - 1;
    syncSelectionToView();
    if (!emitEvents)
        return;
    if (cellChanges) {
        emit RowColChange();
        emit EnterCell();
    }
    if (selChanges)
        emit SelChange();
}

void Grid::syncSelectionToView()
{
    if (!m_view)
        return;
    const bool was = m_syncing;
    m_syncing = true;
    QItemSelectionModel *sm = m_view->selectionModel();
    const int fixed = m_model->fixedRows();
    const int rows = m_model->rows();
    if (m_row >= fixed && m_row < rows && m_col >= 0 && m_col < m_model->cols()) {
        QItemSelection sel;
        if (m_selectionMode == flexSelectionListBox) {
            for (int r : m_listSelected)
                if (r >= fixed && r < rows)
                    sel.select(indexOf(r, 0), indexOf(r, m_model->cols() - 1));
        } else {
            int r1, c1, r2, c2;
            GetSelection(r1, c1, r2, c2);
            r1 = std::max(r1, fixed);
            r2 = std::min(r2, rows - 1);
            if (r2 >= r1)
                sel.select(indexOf(r1, c1), indexOf(r2, c2));
        }
        sm->setCurrentIndex(indexOf(m_row, m_col), QItemSelectionModel::NoUpdate);
        sm->select(sel, QItemSelectionModel::ClearAndSelect);
    } else {
        sm->clearSelection();
        sm->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    m_syncing = was;
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

void Grid::syncSelectionFromView()
{
    if (m_syncing)
        return;
    QItemSelectionModel *sm = m_view->selectionModel();
    const QModelIndex cur = sm->currentIndex();
    if (!cur.isValid())
        return;
    const int fixed = m_model->fixedRows();
    int row = cur.row() + fixed;
    int col = cur.column();
    int rowSel = row;
    int colSel = col;
    const QItemSelection sel = sm->selection();
    if (m_selectionMode == flexSelectionListBox) {
        std::set<int> rows;
        for (const QItemSelectionRange &range : sel)
            for (int r = range.top(); r <= range.bottom(); ++r)
                rows.insert(r + fixed);
        if (rows != m_listSelected) {
            m_listSelected = std::move(rows);
            if (row == m_row) {
                emit SelChange();
                return;
            }
        }
    } else {
        for (const QItemSelectionRange &range : sel) {
            if (!range.contains(cur))
                continue;
            const bool onRowEdge = cur.row() == range.top() || cur.row() == range.bottom();
            const bool onColEdge = cur.column() == range.left() || cur.column() == range.right();
            if (onRowEdge && onColEdge) {
                rowSel = (cur.row() == range.top() ? range.bottom() : range.top()) + fixed;
                colSel = cur.column() == range.left() ? range.right() : range.left();
            } else {
                // The whole grid or a block around the cursor (select all): top left to bottom right.
                row = range.top() + fixed;
                col = range.left();
                rowSel = range.bottom() + fixed;
                colSel = range.right();
            }
            break;
        }
    }
    if (row == m_row && col == m_col && rowSel == m_rowSel && colSel == m_colSel)
        return;
    const bool cellChanges = row != m_row || col != m_col;
    if (cellChanges)
        emit LeaveCell();
    m_row = row;
    m_col = col;
    m_rowSel = rowSel;
    m_colSel = colSel;
    m_everyRow = false;
    if (cellChanges && (row != cur.row() + fixed || col != cur.column()))
        syncSelectionToView();
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
    if (cellChanges) {
        emit RowColChange();
        emit EnterCell();
    }
    emit SelChange();
}

void Grid::afterStructureChange()
{
    const int rows = m_model->rows();
    const int cols = m_model->cols();
    const int fixed = m_model->fixedRows();
    int row = m_row, col = m_col, rowSel = m_rowSel, colSel = m_colSel;
    if (row >= rows)
        row = rows > fixed ? rows - 1 : -1;
    if (rowSel >= rows)
        rowSel = row;
    if (col >= cols)
        col = cols > 0 ? cols - 1 : -1;
    if (colSel >= cols)
        colSel = col;
    if (row < 0 && rows > fixed && cols > 0) {
        // The first data cell becomes current once there is one.
        row = rowSel = fixed;
        col = colSel = std::clamp(col, std::min(m_model->fixedCols(), cols - 1), cols - 1);
    }
    if (row < 0 || col < 0)
        row = col = rowSel = colSel = -1;
    for (auto it = m_listSelected.begin(); it != m_listSelected.end();)
        it = *it >= rows ? m_listSelected.erase(it) : std::next(it);
    if (row != m_row || col != m_col || rowSel != m_rowSel || colSel != m_colSel)
        setCursor(row, col, rowSel, colSel);
    else
        syncSelectionToView();
}

void Grid::rowsAppended(int before)
{
    if (m_everyRow && m_rowSel == before - 1 && m_model->rows() > before)
        setCursor(m_row, m_col, m_model->rows() - 1, m_colSel);
}

void Grid::fetchTo(int row)
{
    const int before = m_model->rows();
    m_model->ensureRow(row);
    if (m_model->rows() != before) {
        // Qt lays the views out for new rows later; a scroll now would stop at the old last row.
        m_relayoutPending = true;
        settleLayout();
    }
}

int Grid::TopRow() const
{
    settleLayout();
    if (!m_view)
        return 0;
    const int r = m_view->rowAt(0);
    return r < 0 ? m_model->fixedRows() : r + m_model->fixedRows();
}

void Grid::setTopRow(int row)
{
    settleLayout();
    const int fixed = m_model->fixedRows();
    if (row < fixed)
        row = fixed;
    // The rows of the screen below it too: the row can only be at the top with rows under it.
    const int below = m_view->viewport()->height() / std::max(1, m_rowHeightPx);
    if (row + below >= m_model->rows())
        fetchTo(row + below);
    if (row >= m_model->rows())
        row = m_model->rows() - 1;
    if (row < fixed)
        return;
    while (row < m_model->rows() - 1 && m_model->rowHidden(row))
        ++row;
    const int col = visibleColumnNear(LeftCol());
    if (col < 0)
        return;
    m_view->scrollTo(indexOf(row, col), QAbstractItemView::PositionAtTop);
}

int Grid::LeftCol() const
{
    settleLayout();
    if (!m_view)
        return 0;
    const int frozenWidth = m_frozen && m_frozen->isVisible() ? m_frozen->width() : 0;
    const int c = m_view->columnAt(frozenWidth);
    return c < 0 ? frozenCount() : c;
}

void Grid::setLeftCol(int col)
{
    settleLayout();
    m_model->checkCol(col, "LeftCol");
    const int frozenWidth = m_frozen && m_frozen->isVisible() ? m_frozen->width() : 0;
    m_view->horizontalScrollBar()->setValue(m_view->horizontalHeader()->sectionPosition(col) - frozenWidth);
}

int Grid::BottomRow() const
{
    settleLayout();
    const int r = m_view->rowAt(m_view->viewport()->height() - 1);
    return r < 0 ? m_model->rows() - 1 : r + m_model->fixedRows();
}

int Grid::RightCol() const
{
    settleLayout();
    const int c = m_view->columnAt(m_view->viewport()->width() - 1);
    return c < 0 ? m_model->cols() - 1 : c;
}

void Grid::ShowCell(int row, int col)
{
    settleLayout();
    if (row >= m_model->rows())
        fetchTo(row);
    m_model->checkRow(row, "ShowCell");
    m_model->checkCol(col, "ShowCell");
    if (row < m_model->fixedRows())
        return;
    int c = col < frozenCount() ? visibleColumnNear(LeftCol()) : visibleColumnNear(col);
    if (c < 0 || m_model->rowHidden(row))
        return;
    m_view->scrollTo(indexOf(row, c), QAbstractItemView::EnsureVisible);
}

void Grid::ShowCellWellInView(int row, int col)
{
    ShowCell(row, col);
    if (row < m_model->fixedRows() || m_model->rowHidden(row))
        return;
    const int c = col < frozenCount() ? visibleColumnNear(LeftCol()) : visibleColumnNear(col);
    if (c < 0)
        return;
    const QModelIndex index = indexOf(row, c);
    const QRect cell = m_view->visualRect(index);
    const int spare = 2 * std::max(1, cell.height());
    if (cell.top() >= spare && cell.bottom() <= m_view->viewport()->height() - spare)
        return;
    // Centred in height only: the columns stay as ShowCell left them.
    const int left = m_view->horizontalScrollBar()->value();
    m_view->scrollTo(index, QAbstractItemView::PositionAtCenter);
    m_view->horizontalScrollBar()->setValue(left);
}

void Grid::setCursorShownWithoutFocus(bool shown)
{
    m_cursorShownWithoutFocus = shown;
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

int Grid::CellLeft() const
{
    settleLayout();
    if (m_col < 0)
        throw GridRangeError("Grid.CellLeft: there is no current cell");
    return ColPos(m_col);
}

int Grid::CellTop() const
{
    settleLayout();
    if (m_row < 0)
        throw GridRangeError("Grid.CellTop: there is no current cell");
    return RowPos(m_row);
}

int Grid::CellWidth() const
{
    if (m_col < 0)
        throw GridRangeError("Grid.CellWidth: there is no current cell");
    return m_model->column(m_col).hidden ? 0 : ColWidth(m_col);
}

int Grid::CellHeight() const
{
    if (m_row < 0)
        throw GridRangeError("Grid.CellHeight: there is no current cell");
    return RowHeight(m_row);
}

} // namespace grid
