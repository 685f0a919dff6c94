// The results pipeline: from the query source, the stored filters and the sort order to one open
// recordset shown in the results grid.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlAccess.h"
#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "hlTabulon/Options.h"
#include "core/QueryRunner.h"
#include "core/QueryText.h"
#include "dialogs/frmParameters.h"
#include "dialogs/frmSQLError.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "grid/Grid.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPointer>

#include <algorithm>
#include <functional>

namespace {

const QString kReady = QStringLiteral("Ready ...");

// Puts the statement as run into an SQL box. The text it holds already is left as it stands: the
// caret, the selection, the scrolled position and the undo history stay as the user had them
// (setting it again would reset them all and lay the whole text out anew). `changed` is the box's
// change handling, run in either case as setting the text runs it.
void showStatement(QPlainTextEdit *box, const QString &text, const std::function<void()> &changed)
{
    // The box holds line ends as block breaks, whichever way they were written.
    QString asHeld = text;
    asHeld.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    asHeld.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    asHeld.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    // Characters that read back as others (a no-break space as a space, a line separator as a
    // line end) could hide a difference: a box holding any is set again.
    const QString raw = box->document()->toRawText();
    const bool readsBackExactly = std::none_of(raw.begin(), raw.end(), [](QChar ch) {
        return ch == QChar::Nbsp || ch == QChar::LineSeparator || ch.unicode() == 0xFDD0 || ch.unicode() == 0xFDD1;
    });
    if (readsBackExactly && box->toPlainText() == asHeld) {
        changed();
        return;
    }
    box->setPlainText(text);
}

} // namespace

bool hlTabulon::Refresh_Results(bool blnSorting, bool blnRemoveFilter, bool blnRemoveQBFilter)
{
    if (m_steps)
        return m_steps->Refresh_Results(blnSorting, blnRemoveFilter, blnRemoveQBFilter);
    // A run asked for while one waits for its rows (F5's release after the host's F5 shortcut)
    // would close the results the waiting one is still opening.
    if (m_blnRefreshing)
        return false;
    QString sql = m_blnOpenSQL ? txtResultsSQL->toPlainText() : m_query->statement();
    bool ok = false;
    {
        analysis::OperationFrame frame(*this, analysis::OperationFrame::Refreshing,
                                       blnSorting ? QStringLiteral("Sorting rows ... ")
                                                  : QStringLiteral("Retrieving records ... "));
        // Off only while the user could see or click them: a refresh whose first screen comes at
        // once leaves them alone (each toggle repaints every button).
        const ui::BeforeEventLoop busyBars([this] {
            tlbMain->setEnabled(false);
            tlbResults->setEnabled(false);
        });
        grdResults->setRedraw(0);
        if (!trap(QStringLiteral("Refresh_Results"), [&] {
            const bool isProc = dataType() == tbDataStoredProc;
            const bool inMemory = isProc || dataType() == tbDataXML;
            bool go = true;
            if (isProc && !blnRemoveFilter && !blnRemoveQBFilter && !QBVisible())
                go = askParameters();
            if (go && !inMemory)
                go = Get_Query(sql) && Change_OrderBy(sql);
            const analysis::ColumnLayout layout = analysis::columnLayout(*grdResults);
            if (go)
                go = Get_Results(sql);
            // Sorting only reorders the rows: the columns stay as the user laid them out.
            if (go && blnSorting)
                analysis::restoreColumnLayout(*grdResults, layout);
            // The builder's conditions and the column-menu filter narrow the rows together.
            if (go && inMemory && !blnRemoveFilter)
                go = Apply_Query();
            if (go) {
                if (isProc) {
                    for (const char *key : {"Results", "Chart", "Summary", "XTab"})
                        setCommandEnabled(tlbMain, QLatin1String(key), true);
                }
                m_blnHasRows = grdResults->Rows() >= 2;
                const auto changed = [this] { txtResultsSQL_Change(); };
                if (isProc) {
                    showStatement(txtResultsSQL, Get_Parameters(m_query->results()->Source()), changed);
                } else if (dataType() != tbDataXML
                           && (analysis::options().AutoUpdateSQL || !m_blnOpenSQL)) {
                    showStatement(txtResultsSQL, m_query->results()->Source(), changed);
                }
                m_blnResultsLoaded = true;
                Change_View(tbViewResults);
                ok = true;
            }
        }))
            ok = false;
        m_blnHasRows = grdResults->Rows() >= 2;
        grdResults->setRedraw(1);
        if (m_blnHasRows) {
            grdResults->setRow(1);
            grdResults->setCol(0);
            if (m_intView == tbViewResults && isVisible())
                grdResults->setFocus();
        }
        grdResults->setEnabled(true);
        tlbMain->setEnabled(true);
        tlbResults->setEnabled(true);
    }
    return ok;
}

bool hlTabulon::Get_Query(QString &strSQL)
{
    return trap(QStringLiteral("Get_Query"), [&] {
        strSQL = m_query->filteredStatement(strSQL);
        if (!m_query->builderFilter().isEmpty() && !m_blnOpenSQL) {
            ui::ToolBarButton &qb = tlbResults->Buttons(QStringLiteral("QueryBuilder"));
            qb.setStyle(ui::tbrDropdown);
            ui::yieldEvents();
            if (QBVisible())
                qb.setValue(ui::tbrPressed);
        }
        return true;
    });
}

bool hlTabulon::Change_OrderBy(QString &strSQL)
{
    return trap(QStringLiteral("Change_OrderBy"), [&] {
        if (!m_query->orderStatement(strSQL))
            return false;
        Show_SortIcon();
        return true;
    });
}

bool hlTabulon::Get_Results(const QString &sql)
{
    bool ok = false;
    const QString statement = m_query->runText(sql);
    try {
        // The grid lets go before the last results close.
        grdResults->setDataSource(nullptr);
        grdResults->setRows(1);
        m_query->newResults(m_blnParse);
        staStatus->Panels(2).setToolTipText(m_query->maxRecords() != 0 ? QStringLiteral("Maximum number of records")
                                                                      : QString());

        if (m_blnParse) {
            // Checked, never run.
            m_query->checkSyntax(sql);
            Show_SQLMsg(sql, QStringLiteral("Query parsed Ok"));
            return false;
        }

        m_query->openResults(sql);

        if (m_frmSQLError)
            m_frmSQLError->hide();
        if (!m_query->resultsOpen()) {
            // A statement that returns no records would otherwise end with an empty grid and no word.
            Show_SQLMsg(statement, QStringLiteral("The statement returned no records."));
        } else {
            grdResults->setDataMode(m_query->inMemory() ? grid::flexDMFree : grid::flexDMBound);
            // An empty result is bound too: its columns are what the user asked to see.
            grdResults->setDataSource(m_query->results());
            // Binding rebuilds the header; the sort pictures go back on it.
            if (m_query->hasSortOrder())
                Show_SortIcon();
            m_blnAllFetched = false;
            ok = true;
        }
    } catch (...) {
        runFailed(QStringLiteral("Get_Results"), statement);
        if (m_blnParse)
            return false;
    }
    staStatus->Panels(2).setText(m_query->maxRecords() != 0
                                     ? QStringLiteral("Max. ") + QString::number(m_query->maxRecords()) + QStringLiteral(" rows")
                                     : QString());
    if (grdResults->Cols() > 0)
        grdResults->AutoSize(0, grdResults->Cols() - 1);
    return ok;
}

void hlTabulon::runFailed(const QString &procedure, const QString &statement)
{
    const QString message =
        dataType() == tbDataXML || analysis::currentErrorIsCancel() ? QString() : m_query->providerMessage();
    if (!message.isEmpty())
        Show_SQLMsg(statement, message);
    else
        report(procedure, analysis::currentErrorText());
}

bool hlTabulon::Get_Fields()
{
    if (m_steps)
        return m_steps->Get_Fields();
    bool ok = false;
    const QString sql = txtResultsSQL->toPlainText();
    staStatus->Panels(1).setText(QStringLiteral("Retrieving Object information ..."));
    const db::StopToken::Scope stoppable(m_stop);
    try {
        m_query->readFields(sql, SortFields());
        ok = true;
    } catch (...) {
        runFailed(QStringLiteral("Get_Fields"), sql);
    }
    staStatus->Panels(1).setText(kReady);
    return ok;
}

QString hlTabulon::Get_Parameters(const QString &strSource)
{
    QString text; // empty after a failure
    trap(QStringLiteral("Get_Parameters"), [&] { text = m_query->parametersText(strSource); });
    return text;
}

bool hlTabulon::Show_SQLMsg(const QString &strSQL, const QString &strError)
{
    Q_UNUSED(strSQL) // the window shows the message only
    return trap(QStringLiteral("Show_SQLMsg"), [&] {
        ui::MousePointer::setHourglass();
        auto *window = qobject_cast<frmSQLError *>(m_frmSQLError.data());
        if (!window) {
            window = new frmSQLError(this);
            m_frmSQLError = window;
        }
        window->setParentWindow(this);
        window->setError(strError);
        window->show();
        window->raise();
        // The message takes the keyboard, so Escape or Enter puts it away.
        window->activateWindow();
        ui::MousePointer::setDefault();
        return true;
    }, ui::MousePointer::setDefault);
}

// Asked only when the routine has a parameter it reads (input or input-output); the dialog writes
// the values into the command itself.
bool hlTabulon::askParameters()
{
    if (!m_query->routine())
        return true;
    const bool hasInput = std::any_of(m_query->routine()->Parameters.begin(), m_query->routine()->Parameters.end(),
                                      [](const db::Parameter &p) { return db::isInputDirection(p.Direction); });
    if (!hasInput)
        return true;
    bool cancelled = true;
    {
        // On the heap: a control destroyed while the dialog is up takes its child with it.
        const QPointer<frmParameters> dialog = new frmParameters(this);
        dialog->setSPs(m_query->statement());
        dialog->setAdoCommand(m_query->routine());
        dialog->setParentWindow(this);
        dialog->Load();
        grdResults->setRedraw(1);
        analysis::runModal(*dialog);
        if (dialog) {
            cancelled = dialog->Cancelled();
            delete dialog.data();
        }
    }
    ui::MousePointer::setHourglass();
    ui::yieldEvents();
    grdResults->setRedraw(0);
    return !cancelled;
}
