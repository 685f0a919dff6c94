// Cell editing with its events, and the mouse and key events of the grid.
#include "grid/Grid.h"

#include "grid/GridFormat.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"

#include "db/Recordset.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>
#include <stdexcept>

namespace grid {

namespace {

int vbShift(Qt::KeyboardModifiers m)
{
    int s = 0;
    if (m & Qt::ShiftModifier)
        s |= vbShiftMask;
    if (m & Qt::ControlModifier)
        s |= vbCtrlMask;
    if (m & Qt::AltModifier)
        s |= vbAltMask;
    return s;
}

int vbButton(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton: return vbLeftButton;
    case Qt::RightButton: return vbRightButton;
    case Qt::MiddleButton: return vbMiddleButton;
    default: return 0;
    }
}

int vbButtons(Qt::MouseButtons b)
{
    int v = 0;
    if (b & Qt::LeftButton)
        v |= vbLeftButton;
    if (b & Qt::RightButton)
        v |= vbRightButton;
    if (b & Qt::MiddleButton)
        v |= vbMiddleButton;
    return v;
}

// The classic virtual-key code of a key; 0 for keys without one.
int vbKeyCode(const QKeyEvent *e)
{
    const int k = e->key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9))
        return k;
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24)
        return 112 + (k - Qt::Key_F1);
    switch (k) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Home: return 36;
    case Qt::Key_End: return 35;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_Space: return 32;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    default: return k > 0 && k < 0x80 ? k : 0;
    }
}

} // namespace

// ================================================================ editing

void Grid::setEditable(int settings)
{
    if (settings < flexEDNone || settings > flexEDKbdMouse)
        throw GridArgumentError("Grid.Editable: 0 to 2");
    m_editable = settings;
    applyEditTriggers();
}

bool Grid::beginEdit(const QModelIndex &index, GridView *view)
{
    const int r = index.row() + m_model->fixedRows();
    const int c = index.column();
    if (m_editable == flexEDNone || m_model->isBound() || c < m_model->fixedCols() || c >= m_model->cols())
        return false;
    if (m_model->column(c).dataType == flexDTBoolean)
        return false; // check boxes toggle, they are not typed into
    try {
        if (r != m_row || c != m_col)
            setCursor(r, c, r, c);
        setComboList(m_model->column(c).comboList);
        bool cancel = false;
        emit BeforeEdit(r, c, cancel);
        if (cancel)
            return false;
        emit StartEdit(r, c, cancel);
        if (cancel)
            return false;
    } catch (const std::exception &) {
        return false;
    }
    m_editRow = r;
    m_editCol = c;
    m_editView = view;
    m_editCommitted = false;
    m_editCancelled = false;
    return true;
}

void Grid::editorCreated(QWidget *editor, int row, int col)
{
    m_editor = editor;
    m_editRow = row;
    m_editCol = col;
}

bool Grid::commitEdit(int row, int col, const QString &text)
{
    bool cancel = false;
    emit ValidateEdit(row, col, cancel);
    if (cancel) {
        m_editCancelled = true;
        return false;
    }
    try {
        m_model->setText(row, col, text);
    } catch (const std::exception &) {
        return false;
    }
    m_editCommitted = true;
    return true;
}

void Grid::editorClosed(QWidget *editor)
{
    if (m_editor && editor != m_editor.data())
        return;
    const int row = m_editRow;
    const int col = m_editCol;
    const bool committed = m_editCommitted;
    m_editor = nullptr;
    m_editView = nullptr;
    m_editRow = m_editCol = -1;
    m_editCommitted = false;
    if (committed && row >= 0)
        emit AfterEdit(row, col);
}

void Grid::comboActivated(int)
{
    if (m_inCloseUp)
        return; // raised again by the handler's own moves
    const int row = m_editRow;
    const int col = m_editCol;
    bool finish = true;
    m_inCloseUp = true;
    emit ComboCloseUp(row, col, finish);
    m_inCloseUp = false;
    if (finish && m_editor && m_editRow == row && m_editCol == col)
        FinishEditing(false);
}

void Grid::cellButtonClicked()
{
    if (m_editRow >= 0)
        emit CellButtonClick(m_editRow, m_editCol);
}

int Grid::ComboIndex() const
{
    if (auto *combo = qobject_cast<QComboBox *>(m_editor.data()))
        return combo->currentIndex();
    return -1;
}

void Grid::setComboIndex(int index)
{
    if (auto *combo = qobject_cast<QComboBox *>(m_editor.data()))
        combo->setCurrentIndex(index);
}

int Grid::ComboCount() const
{
    if (auto *combo = qobject_cast<QComboBox *>(m_editor.data()))
        return combo->count();
    return int(comboEntries().size());
}

QString Grid::ComboItem(int index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(m_editor.data())) {
        if (index < 0 || index >= combo->count())
            throw GridRangeError("Grid.ComboItem: index out of range");
        return combo->itemText(index);
    }
    const QStringList items = comboEntries();
    if (index < 0 || index >= items.size())
        throw GridRangeError("Grid.ComboItem: index out of range");
    return items.at(index);
}

void Grid::setComboItems(const QStringList &items, bool editable)
{
    m_comboItems = items;
    m_comboItemsEditable = editable;
    m_comboItemsGiven = true;
    m_comboList = items.isEmpty() ? QString()
                                  : (editable ? QStringLiteral("|") : QString()) + items.join(QLatin1Char('|'));
}

QStringList Grid::comboEntries() const
{
    if (m_comboItemsGiven)
        return m_comboItems;
    if (m_comboList.isEmpty() || m_comboList == QLatin1String("..."))
        return {};
    const QString list = m_comboList.startsWith(QLatin1Char('|')) ? m_comboList.mid(1) : m_comboList;
    return list.split(QLatin1Char('|'));
}

bool Grid::comboEditable() const
{
    return m_comboItemsGiven ? m_comboItemsEditable : m_comboList.startsWith(QLatin1Char('|'));
}

QString Grid::EditText() const
{
    return m_editor ? GridDelegate::editorText(m_editor.data()) : QString();
}

void Grid::setEditText(const QString &text)
{
    if (m_editor)
        GridDelegate::setEditorText(m_editor.data(), text);
}

void Grid::EditCell()
{
    if (m_row < m_model->fixedRows() || m_col < 0 || m_editor)
        return;
    GridView *v = m_col < frozenCount() && m_frozen && m_frozen->isVisible() ? m_frozen : m_view;
    ShowCell(m_row, m_col);
    v->setFocus();
    v->edit(indexOf(m_row, m_col));
}

bool Grid::isEditing() const
{
    return !m_editor.isNull();
}

void Grid::FinishEditing(bool cancel)
{
    if (!m_editor)
        return;
    GridView *v = m_editView ? m_editView.data() : m_view;
    v->finishEdit(m_editor.data(), !cancel);
    if (m_editor) // the view did not know it: forget it all the same
        editorClosed(m_editor.data());
}

QWidget *Grid::editor() const
{
    return m_editor.data();
}

void Grid::toggleCheck(int row, int col)
{
    if (m_editable == flexEDNone || m_model->isBound() || row < m_model->fixedRows() || col < m_model->fixedCols())
        return;
    if (m_model->column(col).dataType != flexDTBoolean)
        return;
    bool cancel = false;
    emit BeforeEdit(row, col, cancel);
    if (cancel)
        return;
    const QString next = format::isCheckedText(m_model->rawText(row, col)) ? QStringLiteral("False")
                                                                           : QStringLiteral("True");
    emit ValidateEdit(row, col, cancel);
    if (cancel)
        return;
    m_model->setText(row, col, next);
    emit AfterEdit(row, col);
}

QCalendarWidget *Grid::datePicker() const
{
    return m_datePicker.data();
}

void Grid::HideDatePicker()
{
    if (!m_datePicker || !m_datePicker->isVisible())
        return;
    const bool hadFocus = m_datePicker->isAncestorOf(QApplication::focusWidget());
    m_datePicker->hide();
    m_datePickerRow = m_datePickerCol = -1;
    if (hadFocus)
        m_view->setFocus();
}

QCalendarWidget *Grid::ShowDatePicker(int row, int col, const QString &dateFormat)
{
    m_model->checkRow(row, "ShowDatePicker");
    m_model->checkCol(col, "ShowDatePicker");
    if (!m_datePicker) {
        m_datePicker = new QCalendarWidget(this);
        m_datePicker->setWindowFlags(Qt::Widget);
        m_datePicker->setAutoFillBackground(true);
        m_datePicker->hide();
        // A click, or Enter on the chosen day, writes the date into the cell the picker is for.
        const auto pick = [this](QDate date) {
            if (!m_datePicker->isVisible())
                return;
            const int row = m_datePickerRow;
            const int col = m_datePickerCol;
            HideDatePicker();
            if (row < 0 || row >= m_model->rows() || col < 0 || col >= m_model->cols())
                return;
            const QString text = date.toString(format::qtDateFormat(m_datePickerFormat));
            if (m_editor && m_editRow == row && m_editCol == col) {
                setEditText(text);
                FinishEditing(false); // stores it and raises AfterEdit
            } else if (!m_model->isBound()) {
                m_model->setText(row, col, text);
                emit AfterEdit(row, col);
            }
        };
        connect(m_datePicker, &QCalendarWidget::clicked, this, pick);
        connect(m_datePicker, &QCalendarWidget::activated, this, pick);
        connect(qApp, &QApplication::focusChanged, m_datePicker, [this](QWidget *, QWidget *now) {
            if (m_datePicker && m_datePicker->isVisible() && now && now != m_datePicker && !m_datePicker->isAncestorOf(now))
                m_datePicker->hide();
        });
        // Rows that come or go move the row the picker was opened for.
        for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(m_model, signal, m_datePicker, [this] { HideDatePicker(); });
        connect(m_model, &QAbstractItemModel::modelReset, m_datePicker, [this] { HideDatePicker(); });
        m_datePicker->installEventFilter(this);
        for (QWidget *child : m_datePicker->findChildren<QWidget *>())
            child->installEventFilter(this);
    }
    m_datePickerRow = row;
    m_datePickerCol = col;
    m_datePickerFormat = dateFormat;
    const QString qtFormat = format::qtDateFormat(dateFormat);
    const QString text = (m_editor && m_editRow == row && m_editCol == col) ? EditText() : m_model->rawText(row, col);
    QDate date = QDate::fromString(text.trimmed(), qtFormat);
    if (!date.isValid())
        date = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (!date.isValid())
        date = QDate::currentDate();
    m_datePicker->setSelectedDate(date);
    const QSize size = m_datePicker->sizeHint();
    int x = pixelsX(ColPos(col));
    int y = pixelsY(RowPos(row)) + m_rowHeightPx;
    x = std::clamp(x, 0, std::max(0, width() - size.width()));
    if (y + size.height() > height())
        y = std::max(0, pixelsY(RowPos(row)) - size.height());
    m_datePicker->setGeometry(x, y, size.width(), size.height());
    m_datePicker->show();
    m_datePicker->raise();
    m_datePicker->setFocus();
    return m_datePicker;
}

// ================================================================ mouse and keys

void Grid::trackMouse(QWidget *from, const QPoint &pos, bool header, int fixedRow)
{
    if (header) {
        auto *h = qobject_cast<QHeaderView *>(from);
        m_mouseRow = fixedRow;
        m_mouseCol = h ? h->logicalIndexAt(pos.x()) : -1;
        return;
    }
    auto *v = qobject_cast<GridView *>(from->parentWidget());
    if (!v)
        return;
    const int r = v->rowAt(pos.y());
    m_mouseRow = r < 0 ? -1 : r + m_model->fixedRows();
    m_mouseCol = v->columnAt(pos.x());
}

bool Grid::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_view)
        return false;
    if (event->type() == QEvent::KeyPress && m_datePicker && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && (watched == m_datePicker || m_datePicker->isAncestorOf(qobject_cast<QWidget *>(watched)))) {
        HideDatePicker();
        return true;
    }
    try {
        if (watched == m_view) {
            if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
                updateFrozenGeometry();
            return false;
        }
        auto *vp = qobject_cast<QWidget *>(watched);
        if (!vp || (vp != m_view->viewport() && (!m_frozen || vp != m_frozen->viewport())))
            return false;
        switch (event->type()) {
        case QEvent::Resize:
            if (vp == m_view->viewport()) {
                updateFrozenGeometry();
                fitRowsInView(); // a taller view shows more rows
            }
            break;
        case QEvent::MouseButtonPress: {
            auto *me = static_cast<QMouseEvent *>(event);
            trackMouse(vp, me->position().toPoint(), false, -1);
            m_pressRow = m_mouseRow;
            m_pressCol = m_mouseCol;
            const QPoint at = vp->mapTo(this, me->position().toPoint());
            emit MouseDown(vbButton(me->button()), vbShift(me->modifiers()), twipsX(at.x()), twipsY(at.y()));
            break;
        }
        case QEvent::MouseButtonRelease: {
            auto *me = static_cast<QMouseEvent *>(event);
            const int pressRow = m_pressRow;
            const int pressCol = m_pressCol;
            m_pressRow = m_pressCol = -1;
            trackMouse(vp, me->position().toPoint(), false, -1);
            const QPoint at = vp->mapTo(this, me->position().toPoint());
            emit MouseUp(vbButton(me->button()), vbShift(me->modifiers()), twipsX(at.x()), twipsY(at.y()));
            if (me->button() == Qt::LeftButton) {
                if (m_mouseRow >= 0 && m_mouseRow == pressRow && m_mouseCol == pressCol && m_mouseCol >= 0
                    && m_model->column(m_mouseCol).dataType == flexDTBoolean)
                    toggleCheck(m_mouseRow, m_mouseCol);
                emit Click();
            }
            break;
        }
        case QEvent::MouseButtonDblClick: {
            auto *me = static_cast<QMouseEvent *>(event);
            trackMouse(vp, me->position().toPoint(), false, -1);
            emit DblClick();
            break;
        }
        case QEvent::MouseMove: {
            auto *me = static_cast<QMouseEvent *>(event);
            trackMouse(vp, me->position().toPoint(), false, -1);
            const QPoint at = vp->mapTo(this, me->position().toPoint());
            emit MouseMove(vbButtons(me->buttons()), vbShift(me->modifiers()), twipsX(at.x()), twipsY(at.y()));
            break;
        }
        default:
            break;
        }
    } catch (const std::exception &) {
        // Handlers' failures stay in the grid's event handling.
    }
    return false;
}

int Grid::gridKey(QKeyEvent *event, bool press, QString *replacement)
{
    try {
        const int shift = vbShift(event->modifiers());
        int code = vbKeyCode(event);
        if (!press) {
            if (code && !event->isAutoRepeat()) {
                emit KeyUp(code, shift);
                if (code == 0)
                    return 1;
            }
            return 0;
        }
        if (code) {
            emit KeyDown(code, shift);
            if (code == 0)
                return 1;
        }
        const QString text = event->text();
        int result = 0;
        if (!text.isEmpty()) {
            const int ascii = text.at(0).unicode();
            int k = ascii;
            emit KeyPress(k);
            if (k <= 0)
                return 1;
            if (k != ascii) {
                *replacement = QString(QChar(k));
                result = 2;
            }
        }
        const int key = event->key();
        const bool editable = m_editable != flexEDNone && !m_model->isBound() && m_row >= m_model->fixedRows()
            && m_col >= m_model->fixedCols() && m_col < m_model->cols();
        if (editable && key == Qt::Key_Space && m_model->column(m_col).dataType == flexDTBoolean) {
            toggleCheck(m_row, m_col);
            return 1;
        }
        if (editable && (key == Qt::Key_Return || key == Qt::Key_Enter) && !m_editor) {
            EditCell();
            return 1;
        }
        return result;
    } catch (const std::exception &) {
        return 1;
    }
}

bool Grid::editorKey(QObject *watched, QEvent *event)
{
    if (m_editRow < 0)
        return false;
    auto *ke = static_cast<QKeyEvent *>(event);
    const int shift = vbShift(ke->modifiers());
    int code = vbKeyCode(ke);
    try {
        if (event->type() == QEvent::KeyRelease) {
            if (code && !ke->isAutoRepeat()) {
                emit KeyUpEdit(m_editRow, m_editCol, code, shift);
                return code == 0;
            }
            return false;
        }
        if (code) {
            emit KeyDownEdit(m_editRow, m_editCol, code, shift);
            if (code == 0)
                return true;
        }
        const QString text = ke->text();
        if (text.isEmpty())
            return false;
        const int ascii = text.at(0).unicode();
        int k = ascii;
        emit KeyPressEdit(m_editRow, m_editCol, k);
        if (k <= 0)
            return true;
        if (k != ascii) {
            QLineEdit *line = qobject_cast<QLineEdit *>(watched);
            if (!line)
                if (auto *combo = qobject_cast<QComboBox *>(watched))
                    line = combo->lineEdit();
            if (line)
                line->insert(QString(QChar(k)));
            return true;
        }
    } catch (const std::exception &) {
        return true;
    }
    return false;
}

} // namespace grid
