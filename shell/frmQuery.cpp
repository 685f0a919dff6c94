#include "frmQuery.h"

#include "Glob.h"
#include "frmBrowser.h"
#include "mdiMain.h"

#include "hlTabulon/hlTabulon.h"
#include "hlSourceBrowser/hlSourceBrowser.h"

#include "db/Connection.h"
#include "ui/MousePointer.h"

#include <QCloseEvent>
#include <QTimer>

frmQuery::frmQuery(mdiMain &main)
    : m_main(main)
{
    setObjectName(QStringLiteral("frmQuery"));
    setWindowTitle(QStringLiteral("Query"));
    m_hlTabulon = new hlTabulon(this);
    m_hlTabulon->setObjectName(QStringLiteral("hlTabulon"));
    // The control fills the client area, whatever the window's size.
    setWidget(m_hlTabulon);

    connect(m_hlTabulon, &hlTabulon::QuerySelected, this, &frmQuery::hlTabulon_QuerySelected);
    connect(m_hlTabulon, &hlTabulon::Faultdesk, this, &frmQuery::hlTabulon_Faultdesk);
    connect(m_hlTabulon, &hlTabulon::ViewChanged, this, &frmQuery::hlTabulon_ViewChanged);

    m_tmrTeardown = new QTimer(this);
    m_tmrTeardown->setInterval(10);
    connect(m_tmrTeardown, &QTimer::timeout, this, &frmQuery::finishClose);

    Form_Load();
}

frmQuery::~frmQuery() = default;

void frmQuery::Form_Load()
{
    const Glob::PendingQuery &pending = Glob::pendingQuery();
    // An empty delimiter stays empty: the control then takes its connection's own quote. An
    // apostrophe would quote identifiers as text literals and break every generated statement.
    m_hlTabulon->SQL(pending.SQL);
    // The administrator's Open SQL setting is the last word on editing the SQL, however the query
    // was launched.
    bool openSQL = Glob::showSQL();
    if (frmBrowser *browser = m_main.browserWindow())
        openSQL = openSQL && browser->control()->stOpenSQL();
    m_hlTabulon->OpenSQL(openSQL);
    m_hlTabulon->DataType(static_cast<hlTabulon::tbDataType>(pending.DataType));
    m_hlTabulon->MaxRecords(pending.MaxRecords);
    m_hlTabulon->setAutoRun(pending.AutoRun);
    m_main.queryLoaded();
    m_hlTabulon->Delimiter(pending.Delimiter);
    m_hlTabulon->setOptionsVisible(pending.OptionsVisible);
    m_connection = Glob::pendingConnection();
    m_hlTabulon->adoConnection(m_connection);
    m_strQueryName = pending.QueryName;
    setWindowTitle(m_strQueryName);
}

void frmQuery::Form_Activate()
{
    ui::MousePointer::setDefault();
    m_hlTabulon->setVisible(true);
    m_main.queryActivated(this);
}

void frmQuery::hlTabulon_QuerySelected(const QString &strQuery)
{
    // A cleared query names no file: the caption is the launch's name alone, without a dangling
    // separator.
    setWindowTitle(strQuery.isEmpty() ? m_strQueryName : m_strQueryName + QStringLiteral(" | ") + strQuery);
}

void frmQuery::hlTabulon_Faultdesk(const QString &strSub, const QString &strDescription)
{
    Glob::logError(strSub, strDescription);
}

void frmQuery::hlTabulon_ViewChanged()
{
    m_main.queryViewChanged(this);
}

void frmQuery::closeEvent(QCloseEvent *event)
{
    // Never refused. A control in the middle of an operation stops it and tears itself down once
    // the loop has ended; the window goes only after that, and after any menu command that called
    // into the control has returned: nothing may be left running on a destroyed control.
    if (!m_blnClosing) {
        m_blnClosing = true;
        m_main.queryClosing(this);
        m_hlTabulon->UnloadFlter();
        m_tmrTeardown->start();
    }
    QMdiSubWindow::closeEvent(event);
}

void frmQuery::finishClose()
{
    if (!m_tmrTeardown->isActive() || m_hlTabulon->isBusy() || Glob::routingDepth() > 0)
        return;
    m_tmrTeardown->stop();
    // A tear-down the control put off while it was busy runs now, if it has not yet.
    m_hlTabulon->UnloadFlter();
    m_connection.reset();
    deleteLater();
}
