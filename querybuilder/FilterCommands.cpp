// The toolbar's commands: new filter, open and save a filter file, print, and the look-up list
// of a field's values read from the database; the question about unsaved changes.
#include "FilterFile.h"
#include "FilterGrid.h"
#include "Trap.h"

#include <hlQueryBuilder/clsQueryCol.h>

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "ui/CommonDialog.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>

using namespace querybuilder;

namespace {

const QString kChoose = QStringLiteral("<Choose>");

// Restores the pointer, the grid and the toolbar however a command ends.
class BusyGrid {
public:
    BusyGrid(grid::Grid &g, ui::KeyedToolBar &bar) : m_grid(g), m_bar(bar)
    {
        ui::MousePointer::setHourglass();
    }
    ~BusyGrid()
    {
        m_grid.setEnabled(true);
        m_grid.setRedraw(1);
        m_bar.setEnabled(true);
        ui::MousePointer::setDefault();
    }
    BusyGrid(const BusyGrid &) = delete;
    BusyGrid &operator=(const BusyGrid &) = delete;

private:
    grid::Grid &m_grid;
    ui::KeyedToolBar &m_bar;
};

// The statement without what may follow its last word: blanks, comments and semicolons, none
// of which may stand inside the brackets of a derived table.
QString statementBody(const QString &sql)
{
    qsizetype end = 0; // just after the last character that counts
    const qsizetype n = sql.size();
    qsizetype i = 0;
    auto skipTo = [&](const QString &closer, qsizetype from) {
        const qsizetype at = sql.indexOf(closer, from);
        return at < 0 ? n : at + closer.size();
    };
    while (i < n) {
        const QChar c = sql.at(i);
        if (c.isSpace() || c == u';') {
            ++i;
        } else if (c == u'-' && i + 1 < n && sql.at(i + 1) == u'-') {
            i = skipTo(QStringLiteral("\n"), i);
        } else if (c == u'/' && i + 1 < n && sql.at(i + 1) == u'*') {
            i = skipTo(QStringLiteral("*/"), i + 2);
        } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            qsizetype k = i + 1;
            while (k < n) {
                if (sql.at(k) == close) {
                    if (k + 1 < n && sql.at(k + 1) == close) {
                        k += 2;
                        continue;
                    }
                    break;
                }
                ++k;
            }
            i = std::min(n, k + 1);
            end = i;
        } else if (c == u'$') {
            // A dollar-quoted text ($$ ... $$ or $tag$ ... $tag$).
            qsizetype k = i + 1;
            while (k < n && (sql.at(k).isLetterOrNumber() || sql.at(k) == u'_'))
                ++k;
            if (k < n && sql.at(k) == u'$' && !(k > i + 1 && sql.at(i + 1).isDigit())) {
                i = skipTo(sql.mid(i, k - i + 1), k + 1);
            } else {
                i = k;
            }
            end = i;
        } else {
            ++i;
            end = i;
        }
    }
    return sql.left(end);
}

} // namespace

// F5 applies, F3 prints, F4 starts a new filter, F6 opens and F7 saves, as the toolbar does.
void QueryBuilder::buildMenu()
{
    const struct {
        Qt::Key key;
        const char *command;
    } items[] = {{Qt::Key_F5, "Apply"}, {Qt::Key_F3, "Print"}, {Qt::Key_F4, "New"}, {Qt::Key_F6, "Open"}, {Qt::Key_F7, "Save"}};
    for (const auto &item : items) {
        auto *action = new QAction(this);
        action->setShortcut(QKeySequence(item.key));
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        const QString command = QString::fromLatin1(item.command);
        connect(action, &QAction::triggered, this, [this, command] { tlbMenu_ButtonClick(command); });
        addAction(action);
    }
}

// ---------------------------------------------------------------- new, open, save, print

bool QueryBuilder::New_Filter(bool blnNoSave)
{
    return trap("New_Filter", [&] {
        if (!blnNoSave && !Check_ToSave())
            return false;
        grid::Grid &g = *m_grdFilter;
        g.FinishEditing(true);
        setButtonEnabled(QStringLiteral("Populate"), false);
        setButtonEnabled(QStringLiteral("Fields"), false);
        g.setRows(g.FixedRows());
        g.setRows(g.FixedRows() + 1);
        g.Select(g.FixedRows(), colField);
        fitColumns();
        markChanged(false);
        return true;
    });
}

bool QueryBuilder::Check_ToSave()
{
    if (!isChanged())
        return true;
    switch (ui::Prompter::msgBox(QStringLiteral("Query has changed. Save Changes?"), ui::MsgButtons::YesNoCancel,
                                 ui::MsgIcon::Question, QStringLiteral("New Query"), this)) {
    case ui::MsgResult::Yes:
        return Save_Query();
    case ui::MsgResult::No:
        return true;
    default:
        return false;
    }
}

bool QueryBuilder::Load_Query()
{
    if (!Check_ToSave())
        return false;
    ui::FileDialogRequest request;
    request.title = QStringLiteral("Load Query");
    request.filter = QStringLiteral("(*.%1)|*.%1").arg(m_strFileExt);
    request.fileName = QStringLiteral("*.") + m_strFileExt;
    request.fileMustExist = true;
    const auto choice = ui::CommonDialog::showOpen(request, this);
    if (!choice)
        return false;
    return trap("Load_Query", [&] {
        std::vector<FilterRow> rows;
        try {
            rows = readFilterFile(choice->fileName);
            // Every field found again by name in this query, every value fitting its field,
            // before anything in the grid changes.
            for (std::size_t i = 0; i < rows.size(); ++i) {
                FilterRow &row = rows[i];
                if (row[colField].isEmpty())
                    continue;
                const int ordinal = listedOrdinalByName(row[colField]);
                if (ordinal < 0)
                    throw FilterFileError(QStringLiteral("condition %1 names the field \"%2\", which this query does not have")
                                              .arg(i + 1)
                                              .arg(row[colField])
                                              .toStdString());
                row[colField] = m_rsData->Field(ordinal).Name;
                row[colOrdinal] = QString::number(ordinal);
                if (row[colComparison] == kNull)
                    row[colValue].clear();
                QString why;
                if (!valueFitsOrdinal(ordinal, row[colValue], readBoolean(row[colIsField]).value_or(false), &why))
                    throw FilterFileError(QStringLiteral("condition %1: %2").arg(i + 1).arg(why).toStdString());
            }
        } catch (const FilterFileError &e) {
            ui::Prompter::msgBox(QStringLiteral("Not a filter file\n\n%1:\n%2")
                                     .arg(QDir::toNativeSeparators(choice->fileName), QString::fromUtf8(e.what())),
                                 ui::MsgButtons::OK, ui::MsgIcon::Exclamation, QStringLiteral("Load Query"), this);
            return false;
        }
        grid::Grid &g = *m_grdFilter;
        g.FinishEditing(true);
        g.setRows(g.FixedRows());
        g.setRows(g.FixedRows() + int(rows.size()));
        bool opening = false;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int r = g.FixedRows() + int(i);
            for (int c = 0; c < ColumnCount; ++c)
                g.setTextMatrix(r, c, rows[i][std::size_t(c)]);
            fixedLookUp(ordinalOf(r));
            opening = opening || !rows[i][colOpen].isEmpty();
        }
        if (opening) {
            m_tlbMenu->Buttons(QStringLiteral("Brackets")).setValue(ui::tbrPressed);
            Show_Brackets();
        }
        g.Select(g.FixedRows(), colField);
        m_strFileName = choice->fileName;
        fitColumns();
        markChanged(false);
        return true;
    });
}

bool QueryBuilder::Save_Query()
{
    ui::FileDialogRequest request;
    request.title = QStringLiteral("Save Query");
    request.filter = QStringLiteral("Query (*.%1)|*.%1").arg(m_strFileExt);
    request.fileName = m_strFileName;
    // A name typed without one gets it, or the Load dialog would not list the file.
    request.defaultExt = m_strFileExt;
    request.overwritePrompt = true;
    const auto choice = ui::CommonDialog::showSave(request, this);
    if (!choice)
        return false;
    return trap("Save_Query", [&] {
        Force_GridUpdate();
        const grid::Grid &g = *m_grdFilter;
        std::vector<FilterRow> rows;
        for (int r = g.FixedRows(); r < g.Rows(); ++r) {
            FilterRow row;
            for (int c = 0; c < ColumnCount; ++c)
                row[std::size_t(c)] = g.TextMatrix(r, c);
            rows.push_back(row);
        }
        writeFilterFile(choice->fileName, rows);
        m_strFileName = choice->fileName;
        markChanged(false);
    });
}

bool QueryBuilder::Print_Grid()
{
    return trap("Print Grid", [&] {
        struct Pointer {
            Pointer() { ui::MousePointer::setHourglass(); }
            ~Pointer() { ui::MousePointer::setDefault(); }
        } pointer;
        Force_GridUpdate();
        m_grdFilter->PrintGrid(QStringLiteral("Query"), true);
    });
}

// ---------------------------------------------------------------- look-up lists

// The field's distinct values over the rows of the query's own statement, read as a derived
// table so that its aliases, joins and conditions mean what they mean in the query.
QString QueryBuilder::lookUpStatement(const QString &field) const
{
    const QString source = statementBody(m_rsData ? m_rsData->Source() : QString());
    if (source.trimmed().isEmpty())
        throw std::runtime_error("The query has no statement to read the values from");
    const QString column = m_strBracket.isEmpty() ? m_adoConnection->QuoteIdentifier(field)
                                                  : db::quoteIdentifier(field, m_strBracket);
    return QStringLiteral("SELECT DISTINCT %1 FROM (\n%2\n) q WHERE %1 IS NOT NULL ORDER BY %1").arg(column, source);
}

bool QueryBuilder::Populate_LookUp()
{
    grid::Grid &g = *m_grdFilter;
    const int row = g.Row();
    const int ordinal = row >= g.FixedRows() ? ordinalOf(row) : -1;
    if (ordinal < 0)
        return false;
    g.FinishEditing(false);
    const QString kept = g.TextMatrix(row, colValue);
    bool done = false;
    {
        BusyGrid busy(g, *m_tlbMenu);
        done = trap("Populate_LookUp", [&] {
            if (!m_adoConnection || m_adoConnection->State() != db::adStateOpen)
                throw std::runtime_error("The query's connection is not open");
            g.Select(row, colValue);
            g.setTextMatrix(row, colValue, QStringLiteral("Populating..."));
            fitColumns();
            ui::yieldEventsNow();
            g.setRedraw(0);
            g.setEnabled(false);
            m_tlbMenu->setEnabled(false);

            const QString field = m_rsData->Field(ordinal).Name;
            auto rs = db::Recordset::create();
            rs->setMaxRecords(kLookUpLimit + 1);
            rs->Open(lookUpStatement(field), m_adoConnection);
            rs->fetchAll();
            QStringList values;
            const std::size_t n = rs->fetchedCount();
            for (std::size_t r = 0; r < n && r < std::size_t(kLookUpLimit); ++r)
                values << rs->displayText(r, 0);
            if (n > std::size_t(kLookUpLimit))
                values << moreEntry();
            rs->Close();
            QueryCol(ordinal)->setLookUpValues(values);
        });
        g.setTextMatrix(row, colValue, kept.isEmpty() ? kChoose : kept);
        fitColumns();
    }
    return done;
}
