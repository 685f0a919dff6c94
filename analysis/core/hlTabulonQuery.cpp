// The results pipeline: from the query source, the stored filters and the sort order to one open
// recordset shown in the results grid.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "hlTabulon/Options.h"
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
#include <QPointer>

#include <algorithm>

namespace qtext = analysis::querytext;

namespace {

const QString kReady = QStringLiteral("Ready ...");

// The provider's first message of the last failure, if the connection kept one.
QString providerMessage(const std::shared_ptr<db::Connection> &connection)
{
    if (!connection || connection->Errors().empty())
        return {};
    return connection->Errors().front().Description;
}

// A routine that answers only through its output parameters still has something to show: one
// row of those values, under the call text a client cursor would report.
std::shared_ptr<db::Recordset> outputRow(const db::Command &command)
{
    std::vector<db::FieldInfo> fields;
    std::vector<const db::Parameter *> outputs;
    for (const db::Parameter &p : command.Parameters) {
        if (p.Direction == db::adParamInput)
            continue;
        db::FieldInfo f;
        f.Name = p.Name;
        f.Type = p.Type;
        f.DefinedSize = p.Size;
        f.Precision = p.Precision;
        f.NumericScale = p.NumericScale;
        fields.push_back(f);
        outputs.push_back(&p);
    }
    if (fields.empty())
        return {};
    auto store = std::make_shared<db::RowStore>(fields);
    store->beginRow();
    for (int i = 0; i < int(outputs.size()); ++i)
        store->setValue(i, outputs[std::size_t(i)]->Value);
    store->endRow();
    return db::Recordset::fromStore(std::move(store), command.callText());
}

} // namespace

bool hlTabulon::Refresh_Results(bool blnSorting, bool blnRemoveFilter, bool blnRemoveQBFilter)
{
    QString sql = m_blnOpenSQL ? txtResultsSQL->toPlainText() : m_strSQL;
    bool ok = false;
    {
        analysis::OperationFrame frame(*this, analysis::OperationFrame::Refreshing,
                                       blnSorting ? QStringLiteral("Sorting rows ... ")
                                                  : QStringLiteral("Retrieving records ... "));
        tlbMain->setEnabled(false);
        tlbResults->setEnabled(false);
        grdResults->setRedraw(0);
        if (!trap(QStringLiteral("Refresh_Results"), [&] {
            const bool isProc = m_intDataType == tbDataStoredProc;
            const bool inMemory = isProc || m_intDataType == tbDataXML;
            bool go = true;
            if (isProc && !blnRemoveFilter && !blnRemoveQBFilter && !QBVisible())
                go = askParameters();
            if (go && !inMemory)
                go = Get_Query(sql) && Change_OrderBy(sql);
            if (go)
                go = Get_Results(sql);
            // The builder's conditions and the column-menu filter narrow the rows together.
            if (go && inMemory && !blnRemoveFilter)
                go = Apply_Query();
            if (go) {
                if (isProc) {
                    for (const char *key : {"Results", "Chart", "Summary", "XTab"})
                        setCommandEnabled(tlbMain, QLatin1String(key), true);
                }
                m_blnHasRows = grdResults->Rows() >= 2;
                if (isProc) {
                    txtResultsSQL->setPlainText(Get_Parameters(m_rsResults->Source()));
                } else if (m_intDataType != tbDataXML
                           && (analysis::options().AutoUpdateSQL || !m_blnOpenSQL)) {
                    txtResultsSQL->setPlainText(m_rsResults->Source());
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
        strSQL = qtext::getQuery(strSQL, m_strFilter, m_strQBFilter);
        if (!m_strQBFilter.isEmpty() && !m_blnOpenSQL) {
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
        if (qtext::hasSortOrder(m_sortCols)) {
            if (!m_rsResults)
                return false;
            strSQL = qtext::changeOrderBy(strSQL, m_sortCols, m_strDelimiter);
        }
        Show_SortIcon();
        return true;
    });
}

bool hlTabulon::Get_Results(const QString &sql)
{
    bool ok = false;
    QString statement = sql;
    try {
        // The grid lets go before the last results close; each run opens a fresh recordset, so a
        // clone still holding the last one keeps it whole.
        grdResults->setDataSource(nullptr);
        grdResults->setRows(1);
        if (m_rsResults && m_rsResults->State() == db::adStateOpen)
            m_rsResults->Close();
        m_rsResults = db::Recordset::create();
        const bool inMemory = m_intDataType == tbDataStoredProc || m_intDataType == tbDataXML;
        m_rsResults->CursorLocation = m_intDataType == tbDataStoredProc ? db::adUseClient : db::adUseServer;
        m_rsResults->setMaxRecords(m_blnParse ? 1 : m_lngMaxRecords);
        staStatus->Panels(2).setToolTipText(m_lngMaxRecords != 0 ? QStringLiteral("Maximum number of records")
                                                                 : QString());

        if (m_blnParse) {
            // Checked, never run.
            if (!m_adoConnection)
                throw db::DbError(QStringLiteral("There is no connection"));
            m_adoConnection->CheckSyntax(sql);
            Show_SQLMsg(sql, QStringLiteral("Query parsed Ok"));
            return false;
        }

        if (m_intDataType == tbDataStoredProc) {
            if (!m_cmdProcedure)
                throw db::DbError(QStringLiteral("The stored procedure has not been set up"));
            statement = m_cmdProcedure->CommandText;
            std::vector<QVariant> saved;
            for (const db::Parameter &p : m_cmdProcedure->Parameters)
                saved.push_back(p.Value);
            try {
                m_rsResults->Open(*m_cmdProcedure);
            } catch (...) {
                for (std::size_t i = 0; i < saved.size(); ++i)
                    m_cmdProcedure->Parameters[i].Value = saved[i];
                throw;
            }
            if (m_rsResults->State() != db::adStateOpen) {
                if (auto outputs = outputRow(*m_cmdProcedure))
                    m_rsResults = std::move(outputs);
            }
            for (std::size_t i = 0; i < saved.size() && i < m_cmdProcedure->Parameters.size(); ++i) {
                const int dir = m_cmdProcedure->Parameters[i].Direction;
                // Output values stay for the call text; what was entered is kept as entered.
                if (dir == db::adParamInput || dir == db::adParamInputOutput)
                    m_cmdProcedure->Parameters[i].Value = saved[i];
            }
        } else if (m_intDataType == tbDataXML) {
            m_rsResults->OpenXml(m_strFileName);
        } else {
            if (!m_adoConnection)
                throw db::DbError(QStringLiteral("There is no connection"));
            m_rsResults->Open(sql, m_adoConnection);
        }

        if (m_frmSQLError)
            m_frmSQLError->hide();
        if (m_rsResults->State() != db::adStateOpen) {
            // A statement that returns no records would otherwise end with an empty grid and no word.
            Show_SQLMsg(statement, QStringLiteral("The statement returned no records."));
        } else {
            grdResults->setDataMode(inMemory ? grid::flexDMFree : grid::flexDMBound);
            // An empty result is bound too: its columns are what the user asked to see.
            grdResults->setDataSource(m_rsResults);
            // Binding rebuilds the header; the sort pictures go back on it.
            if (qtext::hasSortOrder(m_sortCols))
                Show_SortIcon();
            m_blnAllFetched = false;
            ok = true;
        }
    } catch (...) {
        const QString message = m_intDataType == tbDataXML || analysis::currentErrorIsCancel()
                                    ? QString()
                                    : providerMessage(m_adoConnection);
        if (!message.isEmpty())
            Show_SQLMsg(statement, message);
        else
            report(QStringLiteral("Get_Results"), analysis::currentErrorText());
        if (m_blnParse)
            return false;
    }
    staStatus->Panels(2).setText(m_lngMaxRecords != 0
                                     ? QStringLiteral("Max. ") + QString::number(m_lngMaxRecords) + QStringLiteral(" rows")
                                     : QString());
    if (grdResults->Cols() > 0)
        grdResults->AutoSize(0, grdResults->Cols() - 1);
    return ok;
}

bool hlTabulon::Get_Fields()
{
    bool ok = false;
    const QString sql = txtResultsSQL->toPlainText();
    staStatus->Panels(1).setText(QStringLiteral("Retrieving Object information ..."));
    const db::StopToken::Scope stoppable(m_stop);
    try {
        if (m_rsFields && m_rsFields->State() == db::adStateOpen)
            m_rsFields->Close();
        m_rsFields.reset();
        std::vector<db::FieldInfo> fields;
        if (m_intDataType == tbDataStoredProc || m_intDataType == tbDataXML) {
            if (!m_rsResults || m_rsResults->State() != db::adStateOpen)
                throw db::DbError(QStringLiteral("The results are not open"));
            m_rsFields = m_rsResults->Clone();
            for (int i = 0; i < m_rsFields->FieldCount(); ++i)
                fields.push_back(m_rsFields->Field(i));
        } else if (m_rsResults && m_rsResults->State() == db::adStateOpen && m_rsResults->Source() == sql) {
            // The results of this very statement are open: their columns were typed from the
            // first rows fetched, so the statement is not run again to type its expressions.
            for (int i = 0; i < m_rsResults->FieldCount(); ++i)
                fields.push_back(m_rsResults->Field(i));
            m_rsFields = db::Recordset::fromStore(std::make_shared<db::RowStore>(fields), sql);
        } else {
            if (!m_adoConnection)
                throw db::DbError(QStringLiteral("There is no connection"));
            // The result's columns only: nothing but a SELECT is run and no row is read.
            fields = m_adoConnection->DescribeQuery(sql);
            m_rsFields = db::Recordset::fromStore(std::make_shared<db::RowStore>(fields), sql);
        }
        QList<QStringList> list;
        list.reserve(qsizetype(fields.size()));
        for (const db::FieldInfo &f : fields) {
            if (Allowed_DataType(f.Type))
                list.append(QStringList{f.Name, QString::number(f.Type)});
        }
        while (list.size() < qsizetype(fields.size()))
            list.append(QStringList{QString(), QString()});
        if (SortFields())
            qtext::sortArray(list);
        m_strFields = list;
        ok = true;
    } catch (...) {
        const QString message = m_intDataType == tbDataXML || analysis::currentErrorIsCancel()
                                    ? QString()
                                    : providerMessage(m_adoConnection);
        if (!message.isEmpty())
            Show_SQLMsg(sql, message);
        else
            report(QStringLiteral("Get_Fields"), analysis::currentErrorText());
    }
    staStatus->Panels(1).setText(kReady);
    return ok;
}

QString hlTabulon::Get_Parameters(const QString &strSource)
{
    QString text; // empty after a failure
    trap(QStringLiteral("Get_Parameters"), [&] {
        if (!m_cmdProcedure) {
            text = strSource;
            return;
        }
        const db::Provider provider = m_adoConnection ? m_adoConnection->provider() : db::Provider::SQLite;
        text = qtext::getParameters(strSource, m_cmdProcedure->Parameters, provider);
    });
    return text;
}

bool hlTabulon::Allowed_DataType(qint32 lngType) const
{
    return qtext::allowedDataType(lngType);
}

bool hlTabulon::Sort_Array(QList<QStringList> &rows)
{
    return trap(QStringLiteral("Sort_Array"), [&] {
        qtext::sortArray(rows);
        return true;
    });
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
        ui::MousePointer::setDefault();
        return true;
    }, ui::MousePointer::setDefault);
}

// Asked only when the routine has a parameter it reads (input or input-output); the dialog writes
// the values into the command itself.
bool hlTabulon::askParameters()
{
    if (!m_cmdProcedure)
        return true;
    const bool hasInput = std::any_of(m_cmdProcedure->Parameters.begin(), m_cmdProcedure->Parameters.end(),
                                      [](const db::Parameter &p) { return db::isInputDirection(p.Direction); });
    if (!hasInput)
        return true;
    bool cancelled = true;
    {
        // On the heap: a control destroyed while the dialog is up takes its child with it.
        const QPointer<frmParameters> dialog = new frmParameters(this);
        dialog->setSPs(m_strSQL);
        dialog->setAdoCommand(m_cmdProcedure.get());
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
