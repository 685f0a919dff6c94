// Filling the filter grid: which cells may be edited and with which list, what each choice fills
// in and where the cursor goes next, the keys of the cell editors, deleting a condition, the
// toolbar state that follows the current cell, the date picker and the column tooltips.
//
// The comparison, is / is not, AND / OR and bracket cells are fixed lists and stay so whatever is
// typed or pasted. Key filters act on the Value cell: a numeric field takes numbers only (typed,
// pasted or dropped, through a validator on the editor), a text field at most its declared length.
#include "FilterGrid.h"
#include "Trap.h"

#include <hlQueryBuilder/clsQueryCol.h>

#include "db/Recordset.h"
#include "db/Types.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"

#include <QPointer>

using namespace querybuilder;

void QueryBuilder::connectGrid()
{
    grid::Grid *g = m_grdFilter;
    // Direct connections: the handlers change the events' reference arguments.
    connect(g, &grid::Grid::BeforeEdit, this, [this](int r, int c, bool &cancel) { grdFilter_BeforeEdit(r, c, cancel); }, Qt::DirectConnection);
    connect(g, &grid::Grid::ComboCloseUp, this, [this](int r, int c, bool &finish) { grdFilter_ComboCloseUp(r, c, finish); }, Qt::DirectConnection);
    connect(g, &grid::Grid::ValidateEdit, this, [this](int r, int c, bool &cancel) { grdFilter_ValidateEdit(r, c, cancel); }, Qt::DirectConnection);
    connect(g, &grid::Grid::AfterEdit, this, [this](int r, int c) { grdFilter_AfterEdit(r, c); }, Qt::DirectConnection);
    connect(g, &grid::Grid::KeyDownEdit, this, [this](int r, int c, int &k, int s) { grdFilter_KeyDownEdit(r, c, k, s); }, Qt::DirectConnection);
    connect(g, &grid::Grid::KeyPressEdit, this, [this](int r, int c, int &k) { grdFilter_KeyPressEdit(r, c, k); }, Qt::DirectConnection);
    connect(g, &grid::Grid::KeyUpEdit, this, [this](int r, int c, int &k, int s) { grdFilter_KeyUpEdit(r, c, k, s); }, Qt::DirectConnection);
    connect(g, &grid::Grid::KeyDown, this, [this](int &k, int s) { grdFilter_KeyDown(k, s); }, Qt::DirectConnection);
    connect(g, &grid::Grid::KeyUp, this, [this](int &k, int s) { grdFilter_KeyUp(k, s); }, Qt::DirectConnection);
    connect(g, &grid::Grid::RowColChange, this, [this] { grdFilter_RowColChange(); }, Qt::DirectConnection);
    connect(g, &grid::Grid::CellButtonClick, this, [this](int r, int c) { grdFilter_CellButtonClick(r, c); });
    connect(g, &grid::Grid::MouseMove, this, [this](int b, int s, int x, int y) { grdFilter_MouseMove(b, s, x, y); });
}

bool QueryBuilder::canPopulate(int row)
{
    const int ordinal = ordinalOf(row);
    if (ordinal < 0 || m_grdFilter->TextMatrix(row, colComparison) == kNull)
        return false;
    // A Boolean field keeps its two values; a date field its picker.
    return Get_DataType(m_fields[std::size_t(ordinal)].type) != dtBoolean
        && QueryCol(ordinal)->LookUp() != clsQueryCol::datePickerList();
}

bool QueryBuilder::valueFitsField(int row, const QString &value, bool valueIsField, QString *why) const
{
    return valueFitsOrdinal(ordinalOf(row), value, valueIsField, why);
}

bool QueryBuilder::valueFitsOrdinal(int ordinal, const QString &value, bool valueIsField, QString *why) const
{
    if (value.isEmpty())
        return true;
    const int valueClass = ordinal < 0 ? dtString : Get_DataType(m_fields[std::size_t(ordinal)].type);
    QString reason;
    if (valueIsField) {
        if (listedOrdinalByName(value) < 0)
            reason = QStringLiteral("\"%1\" is not a field of this query.").arg(value);
    } else if (valueClass == dtNumeric) {
        if (!NumberValidator::isNumber(value.trimmed()))
            reason = QStringLiteral("Not a number: %1").arg(value);
    } else if (valueClass == dtBoolean) {
        const QString t = value.trimmed();
        if (t.compare(kTrue, Qt::CaseInsensitive) != 0 && t.compare(kFalse, Qt::CaseInsensitive) != 0)
            reason = QStringLiteral("Choose True or False.");
    }
    if (why)
        *why = reason;
    return reason.isEmpty();
}

void QueryBuilder::moveTo(int row, int col)
{
    m_grdFilter->Select(row, col);
}

// ---------------------------------------------------------------- start and end of an edit

void QueryBuilder::grdFilter_BeforeEdit(int row, int col, bool &cancel)
{
    trap("grdfilter_BeforeEdit", [&] {
        grid::Grid &g = *m_grdFilter;
        setButtonEnabled(QStringLiteral("Populate"), false);
        setButtonEnabled(QStringLiteral("Fields"), false);
        g.setEditMaxLength(0);
        g.setEditValidator(nullptr);
        QString list;
        if (col == colField) {
            list = gridFieldList();
        } else if (col == colValue) {
            const QString comparison = g.TextMatrix(row, colComparison);
            const int ordinal = ordinalOf(row);
            if (comparison.isEmpty() || comparison == kNull || ordinal < 0) {
                cancel = true;
                return;
            }
            if (readBoolean(g.TextMatrix(row, colIsField)).value_or(false)) {
                list = gridFieldList();
            } else {
                const clsQueryCol *lookUp = QueryCol(ordinal);
                list = lookUp->LookUp();
                const FieldEntry &field = m_fields[std::size_t(ordinal)];
                if (Get_DataType(field.type) == dtNumeric)
                    g.setEditValidator(m_numberValidator.get());
                g.setEditMaxLength(field.limit);
            }
        } else {
            if (g.TextMatrix(row, colField).isEmpty())
                cancel = true;
            list = m_strColLists[std::size_t(col)];
        }
        // Values from the database go to the grid as a list, so that a "|" inside one stays.
        const QStringList values = col == colValue && ordinalOf(row) >= 0 && !readBoolean(g.TextMatrix(row, colIsField)).value_or(false)
                                       ? QueryCol(ordinalOf(row))->LookUpValues()
                                       : QStringList();
        if (!values.isEmpty())
            g.setComboItems(values, true);
        else
            g.setComboList(list);
        if (list != clsQueryCol::datePickerList() && list != clsQueryCol::booleanList()) {
            setButtonEnabled(QStringLiteral("Populate"), col == colValue && !buttonDown(QStringLiteral("Fields")));
            setButtonEnabled(QStringLiteral("Fields"), col == colValue);
        }
    });
}

void QueryBuilder::grdFilter_ValidateEdit(int row, int col, bool &cancel)
{
    app::trapQuietly([&] {
        // A number left half typed ("-", ".") is no value: the cell keeps what it had.
        if (col == colValue && !readBoolean(m_grdFilter->TextMatrix(row, colIsField)).value_or(false)
            && fieldClass(row) == dtNumeric) {
            const QString text = m_grdFilter->EditText().trimmed();
            if (!text.isEmpty() && !NumberValidator::isNumber(text))
                cancel = true;
        }
    });
}

void QueryBuilder::grdFilter_AfterEdit(int row, int col)
{
    trap("grdFilter_AfterEdit", [&] {
        grid::Grid &g = *m_grdFilter;
        // A list's blank entry stores no text.
        const bool blankEntry = col == colOpen || col == colClose || col == colField
            || (col == colValue && readBoolean(g.TextMatrix(row, colIsField)).value_or(false));
        if (blankEntry && row < g.Rows() && g.TextMatrix(row, col).trimmed().isEmpty())
            g.setTextMatrix(row, col, QString());
        if (m_lngPendingRow > 0) {
            const int pending = m_lngPendingRow;
            m_lngPendingRow = 0;
            removeCondition(pending);
        }
        fitColumns();
        markChanged(true);
    });
}

// ---------------------------------------------------------------- choices from the lists

void QueryBuilder::grdFilter_ComboCloseUp(int row, int col, bool &finishEdit)
{
    if (m_blnCloseUp) { // raised again by this handler's own moves
        m_blnCloseUp = false;
        return;
    }
    m_blnCloseUp = true;
    trap("grdfilter_ComboCloseUp", [&] {
        grid::Grid &g = *m_grdFilter;
        const int index = g.ComboIndex();
        if (index < 0)
            return;
        QString item = g.ComboItem(index);
        // The entry after the last value listed stands for the values left out: it is no value.
        if (col == colValue && item == moreEntry() && index == g.ComboCount() - 1) {
            finishEdit = false;
            g.FinishEditing(true);
            refuse(QStringLiteral("Only the first %1 values are listed: type the value.").arg(kLookUpLimit));
            return;
        }
        const int conditions = g.Rows() - g.FixedRows();
        // A blank field on a later row removes that row when its edit ends, which is now.
        if (col == colField && index == 0 && conditions > 1)
            m_lngPendingRow = row;
        finishEdit = false;
        g.FinishEditing(false);
        switch (col) {
        case colOpen:
            moveTo(row, colField);
            break;
        case colField:
            if (index == 0) {
                if (conditions > 1)
                    moveTo(std::max(g.FixedRows(), row - 1), colOperator);
                else
                    clearCondition(row);
            } else {
                chooseField(row, index);
            }
            break;
        case colIs:
            moveTo(row, colComparison);
            if (g.TextMatrix(row, colComparison).isEmpty())
                g.setTextMatrix(row, colComparison, kNull);
            break;
        case colComparison:
            if (index == 0) {
                g.setTextMatrix(row, colValue, QString());
                moveTo(row, colOperator);
            } else {
                moveTo(row, colValue);
            }
            break;
        case colValue:
            if (readBoolean(g.TextMatrix(row, colIsField)).value_or(false) && item.trimmed().isEmpty())
                item.clear();
            moveTo(row, colOperator);
            g.setTextMatrix(row, colValue, item);
            break;
        case colClose:
            moveTo(row, colOperator);
            break;
        case colOperator:
            if (row == g.Rows() - 1)
                g.AddItem(QString());
            moveTo(row + 1, colField);
            g.setTopRow(row + 1);
            break;
        default:
            break;
        }
        // The list's editor is gone: the keys go on to the grid.
        g.setFocus();
        fitColumns();
    });
    m_blnCloseUp = false;
}

void QueryBuilder::chooseField(int row, int comboIndex)
{
    grid::Grid &g = *m_grdFilter;
    const int ordinal = listedOrdinal(comboIndex);
    if (ordinal < 0)
        throw std::out_of_range("the chosen entry is not a field of the recordset");
    g.setTextMatrix(row, colField, m_rsData->Field(ordinal).Name);
    g.setTextMatrix(row, colOrdinal, QString::number(ordinal));
    if (g.TextMatrix(row, colIs).isEmpty())
        g.setTextMatrix(row, colIs, kIs);
    if (g.TextMatrix(row, colComparison).isEmpty())
        g.setTextMatrix(row, colComparison, kEqualTo);
    if (fixedLookUp(ordinal))
        g.setTextMatrix(row, colIsField, QStringLiteral("false"));
    if (g.TextMatrix(row, colIsField).isEmpty())
        g.setTextMatrix(row, colIsField, kFalse);
    // The value stays, unless it cannot be a value of the new field (text left on a number).
    const bool isField = readBoolean(g.TextMatrix(row, colIsField)).value_or(false);
    if (!valueFitsField(row, g.TextMatrix(row, colValue), isField, nullptr))
        g.setTextMatrix(row, colValue, QString());
    moveTo(row, colValue);
}

// Date fields get the date picker and Boolean fields their two values; true for those.
bool QueryBuilder::fixedLookUp(int ordinal)
{
    if (ordinal < 0)
        return false;
    const int type = m_fields[std::size_t(ordinal)].type;
    if (type == db::adDate || type == db::adDBDate || type == db::adDBTimeStamp)
        QueryCol(ordinal)->setLookUp(clsQueryCol::datePickerList());
    else if (type == db::adBoolean)
        QueryCol(ordinal)->setLookUp(clsQueryCol::booleanList());
    else
        return false;
    return true;
}

// Columns 1, 2, 4, 5, 6 and 8 emptied; the brackets and column 9 stay.
void QueryBuilder::clearCondition(int row)
{
    for (int c : {colField, colOrdinal, colIs, colComparison, colValue, colOperator})
        m_grdFilter->setTextMatrix(row, c, QString());
}

// Removes a condition row; the row that becomes the last loses its AND / OR.
void QueryBuilder::removeCondition(int row)
{
    grid::Grid &g = *m_grdFilter;
    if (row < g.FixedRows() || row >= g.Rows())
        return;
    if (g.Rows() - g.FixedRows() <= 1) {
        clearCondition(row);
        return;
    }
    const bool last = row == g.Rows() - 1;
    g.RemoveItem(row);
    if (last)
        g.setTextMatrix(g.Rows() - 1, colOperator, QString());
}

// ---------------------------------------------------------------- keys

void QueryBuilder::grdFilter_KeyDownEdit(int, int, int &keyCode, int shift)
{
    m_blnCtrl = shift == grid::vbCtrlMask;
    // Copy and paste go through CopyAndPaste, which checks what is pasted; the editor's own
    // paste would not.
    if (m_blnCtrl && (keyCode == 'C' || keyCode == 'V')) {
        const int code = keyCode;
        keyCode = 0;
        CopyAndPaste(code);
    }
}

void QueryBuilder::grdFilter_KeyPressEdit(int row, int col, int &keyAscii)
{
    if (m_blnCtrl || col != colValue)
        return;
    app::trapQuietly(
        [&] {
            const bool isField = readBoolean(m_grdFilter->TextMatrix(row, colIsField)).value_or(false);
            if (keyAscii >= 32 && !isField && fieldClass(row) == dtNumeric)
                keyAscii = std::max(0, Check_NumberKey(keyAscii));
            if (keyAscii == 13) {
                keyAscii = 0; // the move ends the edit
                moveTo(row, colOperator);
                fitColumns();
            }
        },
        [&] { keyAscii = 0; });
}

void QueryBuilder::grdFilter_KeyUpEdit(int, int, int &, int)
{
    m_blnCtrl = false;
}

void QueryBuilder::grdFilter_KeyDown(int &keyCode, int shift)
{
    if (shift == grid::vbCtrlMask && (keyCode == 'C' || keyCode == 'V')) {
        const int code = keyCode;
        keyCode = 0;
        CopyAndPaste(code);
    }
}

void QueryBuilder::grdFilter_KeyUp(int &keyCode, int shift)
{
    if (keyCode == 46 && shift == 0 && m_grdFilter->Col() == colField)
        deleteCondition();
}

void QueryBuilder::deleteCondition()
{
    app::trapQuietly([&] {
        grid::Grid &g = *m_grdFilter;
        const int row = g.Row();
        if (row < g.FixedRows())
            return;
        const auto answer = ui::Prompter::msgBox(QStringLiteral("Delete ") + g.TextMatrix(row, colField) + QLatin1Char('?'),
                                                 ui::MsgButtons::YesNo, ui::MsgIcon::Question,
                                                 QStringLiteral("Delete condition"), this);
        if (answer != ui::MsgResult::Yes)
            return;
        removeCondition(row);
        fitColumns();
        markChanged(true);
    });
}

// ---------------------------------------------------------------- the current cell

void QueryBuilder::grdFilter_RowColChange()
{
    if (m_blnGridUpdate)
        return;
    app::trapQuietly([&] {
        grid::Grid &g = *m_grdFilter;
        const int row = g.Row();
        if (row < g.FixedRows())
            return;
        const bool hasField = ordinalOf(row) >= 0;
        const bool notNull = g.TextMatrix(row, colComparison) != kNull;
        bool populate = canPopulate(row);
        setButtonEnabled(QStringLiteral("Fields"), hasField && notNull);
        const bool isField = readBoolean(g.TextMatrix(row, colIsField)).value_or(false);
        m_tlbMenu->Buttons(QStringLiteral("Fields")).setValue(isField ? ui::tbrPressed : ui::tbrUnpressed);
        if (populate && isField)
            populate = false;
        setButtonEnabled(QStringLiteral("Populate"), populate);
        if (g.Col() == colValue)
            startEditSoon();
    });
}

// The Value cell opens its editor as soon as it becomes current: once the event that moved the
// cursor (a click, a key, another cell's edit ending) has been handled.
void QueryBuilder::startEditSoon()
{
    const int row = m_grdFilter->Row();
    QMetaObject::invokeMethod(
        this,
        [this, row] {
            grid::Grid &g = *m_grdFilter;
            if (g.Row() != row || g.Col() != colValue || g.isEditing() || !g.isVisible() || !g.isEnabled())
                return;
            const QString comparison = g.TextMatrix(row, colComparison);
            if (ordinalOf(row) >= 0 && !comparison.isEmpty() && comparison != kNull)
                g.EditCell();
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------- date picker and tooltips

void QueryBuilder::grdFilter_CellButtonClick(int row, int col)
{
    trap("grdfilter_CellButtonClick", [&] { m_grdFilter->ShowDatePicker(row, col, m_strDateFormat); });
}

void QueryBuilder::grdFilter_MouseMove(int, int, int x, int)
{
    app::trapQuietly([&] {
        grid::Grid &g = *m_grdFilter;
        for (int c = 0; c < ColumnCount; ++c) {
            if (g.ColHidden(c))
                continue;
            const int left = g.ColPos(c);
            if (x > left && x < left + g.ColWidth(c)) {
                if (g.ToolTipText() != m_strToolTips[std::size_t(c)])
                    g.setToolTipText(m_strToolTips[std::size_t(c)]);
                return;
            }
        }
    });
}
