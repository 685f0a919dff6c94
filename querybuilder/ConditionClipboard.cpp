// Copy and paste in the filter grid. Ctrl+C copies the current cell's text, or whole conditions
// when several cells are selected; Ctrl+V pastes a value into the Value cell, or copied
// conditions after the current row. Whatever is pasted is checked as if it were typed: fields are
// found again by name in the bound recordset, the list cells take only their lists' entries and
// a value must fit its field.
#include "FilterGrid.h"
#include "Trap.h"

#include <hlQueryBuilder/clsQueryCol.h>

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QToolTip>

using namespace querybuilder;

namespace {

const QString kConditionsMime = QStringLiteral("application/x-tabulon-conditions");
const QString kConditionsKey = QStringLiteral("conditions");

// One entry of a fixed list, its blank entry read as no text.
bool listEntry(const QString &list, QString &text)
{
    if (text.trimmed().isEmpty()) {
        text.clear();
        return true;
    }
    return inList(list, text);
}

} // namespace

bool QueryBuilder::CopyAndPaste(int lngKeyCode)
{
    return trap("CopyAndPaste", [&] {
        grid::Grid &g = *m_grdFilter;
        QClipboard *clipboard = QApplication::clipboard();
        if (lngKeyCode == 67) {
            int r1, c1, r2, c2;
            g.GetSelection(r1, c1, r2, c2);
            if (!g.isEditing() && r1 >= g.FixedRows() && (r1 != r2 || c1 != c2))
                copyConditions(r1, r2);
            else if (g.Row() >= g.FixedRows())
                clipboard->setText(g.isEditing() ? g.EditText() : g.Text());
        } else if (lngKeyCode == 86) {
            const QMimeData *mime = clipboard->mimeData();
            if (mime && mime->hasFormat(kConditionsMime) && (g.Col() != colValue || !g.isEditing()))
                pasteConditions(mime->data(kConditionsMime));
            else if (g.Col() == colValue && g.Row() >= g.FixedRows())
                pasteValue(clipboard->text());
        }
    });
}

void QueryBuilder::refuse(const QString &why)
{
    grid::Grid &g = *m_grdFilter;
    QApplication::beep();
    const QPoint at(ui::Twips::toPixelsX(g.CellLeft(), &g), ui::Twips::toPixelsY(g.CellTop() + g.CellHeight(), &g));
    QToolTip::showText(g.mapToGlobal(at), why, &g);
}

// ---------------------------------------------------------------- one value

void QueryBuilder::pasteValue(const QString &clipText)
{
    grid::Grid &g = *m_grdFilter;
    const int row = g.Row();
    QString text = clipText;
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    else if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\t'))) {
        refuse(QStringLiteral("Only one value can be pasted here."));
        return;
    }
    const QString comparison = g.TextMatrix(row, colComparison);
    const int ordinal = ordinalOf(row);
    if (ordinal < 0 || comparison.isEmpty() || comparison == kNull) {
        refuse(QStringLiteral("This condition takes no value."));
        return;
    }
    const bool isField = readBoolean(g.TextMatrix(row, colIsField)).value_or(false);
    QString why;
    if (!valueFitsField(row, text, isField, &why)) {
        refuse(why);
        return;
    }
    const int limit = m_fields[std::size_t(ordinal)].limit;
    if (!isField && limit > 0 && text.size() > limit) {
        refuse(QStringLiteral("At most %1 characters fit this field.").arg(limit));
        return;
    }
    if (isField)
        text = m_rsData->Field(listedOrdinalByName(text)).Name;
    else if (fieldClass(row) == dtBoolean)
        text = readBoolean(text).value_or(false) ? kTrue : kFalse;
    if (g.isEditing()) {
        g.setEditText(text);
        return;
    }
    g.setTextMatrix(row, colValue, text);
    fitColumns();
    markChanged(true);
}

// ---------------------------------------------------------------- whole conditions

void QueryBuilder::copyConditions(int r1, int r2) const
{
    grid::Grid &g = *m_grdFilter;
    QJsonArray conditions;
    QStringList plain;
    for (int r = r1; r <= r2 && r < g.Rows(); ++r) {
        if (g.TextMatrix(r, colOrdinal).isEmpty())
            continue;
        QJsonArray cells;
        QStringList shown;
        for (int c = 0; c < ColumnCount; ++c) {
            const QString text = g.TextMatrix(r, c);
            cells.append(text);
            if (!g.ColHidden(c))
                shown << text;
        }
        conditions.append(cells);
        plain << shown.join(QLatin1Char('\t'));
    }
    if (plain.isEmpty())
        return;
    auto *mime = new QMimeData;
    mime->setData(kConditionsMime, QJsonDocument(QJsonObject{{kConditionsKey, conditions}}).toJson(QJsonDocument::Compact));
    mime->setText(plain.join(QLatin1Char('\n')));
    QApplication::clipboard()->setMimeData(mime);
}

bool QueryBuilder::pasteConditions(const QByteArray &data)
{
    grid::Grid &g = *m_grdFilter;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    const QJsonArray conditions = document.object().value(kConditionsKey).toArray();
    if (error.error != QJsonParseError::NoError || conditions.isEmpty()) {
        refuse(QStringLiteral("The clipboard holds no conditions."));
        return false;
    }
    // Every condition is checked before the grid changes.
    std::vector<QStringList> rows;
    for (const QJsonValue &condition : conditions) {
        QStringList cells;
        for (const QJsonValue &cell : condition.toArray()) {
            if (!cell.isString())
                break;
            cells << cell.toString();
        }
        if (cells.size() != ColumnCount) {
            refuse(QStringLiteral("The clipboard holds no conditions."));
            return false;
        }
        const int ordinal = listedOrdinalByName(cells[colField]);
        if (ordinal < 0) {
            refuse(QStringLiteral("Conditions not pasted: \"%1\" is not a field of this query.").arg(cells[colField]));
            return false;
        }
        cells[colField] = m_rsData->Field(ordinal).Name;
        cells[colOrdinal] = QString::number(ordinal);
        cells[colSpare].clear();
        if (!listEntry(kOpeningList, cells[colOpen]) || !listEntry(kClosingList, cells[colClose])
            || !inList(kIsList, cells[colIs]) || !inList(kComparisonList, cells[colComparison])
            || !listEntry(kOperatorList, cells[colOperator])) {
            refuse(QStringLiteral("Conditions not pasted: a condition on \"%1\" is not one this grid offers.")
                       .arg(cells[colField]));
            return false;
        }
        const bool isField = readBoolean(cells[colIsField]).value_or(false);
        cells[colIsField] = isField ? kTrue : kFalse;
        rows.push_back(cells);
    }

    const int row = g.Row();
    const bool hasCurrent = row >= g.FixedRows() && row < g.Rows();
    // An empty current row is taken by the conditions; otherwise they go after the current row.
    const bool replaceCurrent = hasCurrent && g.TextMatrix(row, colOrdinal).isEmpty();
    const int at = hasCurrent ? (replaceCurrent ? row : row + 1) : g.Rows();
    // The values are checked on their rows, where the field is known.
    Force_GridUpdate();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int r = at + int(i);
        g.AddItem(QString(), r);
        for (int c = 0; c < ColumnCount; ++c)
            g.setTextMatrix(r, c, c == colValue ? QString() : rows[i][c]);
        const QString value = rows[i][colComparison] == kNull ? QString() : rows[i][colValue];
        QString why;
        if (!valueFitsField(r, value, rows[i][colIsField] == kTrue, &why)) {
            for (int k = int(i); k >= 0; --k)
                g.RemoveItem(at + k);
            refuse(QStringLiteral("Conditions not pasted: ") + why);
            return false;
        }
        g.setTextMatrix(r, colValue, value);
    }
    const int n = int(rows.size());
    if (replaceCurrent)
        g.RemoveItem(at + n);
    // Joined to what stands before and after them; the last row of the grid has no AND / OR.
    if (at > g.FixedRows() && g.TextMatrix(at - 1, colOperator).isEmpty())
        g.setTextMatrix(at - 1, colOperator, QStringLiteral("AND"));
    const int lastPasted = at + n - 1;
    if (lastPasted == g.Rows() - 1)
        g.setTextMatrix(lastPasted, colOperator, QString());
    else if (g.TextMatrix(lastPasted, colOperator).isEmpty())
        g.setTextMatrix(lastPasted, colOperator, QStringLiteral("AND"));
    for (int r = at; r <= lastPasted; ++r)
        fixedLookUp(ordinalOf(r));
    bool opening = false;
    for (const QStringList &cells : rows)
        opening = opening || !cells[colOpen].isEmpty();
    if (opening && !bracketsShown()) {
        m_tlbMenu->Buttons(QStringLiteral("Brackets")).setValue(ui::tbrPressed);
        Show_Brackets();
    }
    g.Select(at, colField, lastPasted, colOperator);
    fitColumns();
    markChanged(true);
    return true;
}
