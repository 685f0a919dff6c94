#include "Faultdesk/hrErr.h"

#include "Faultdesk/ErrorState.h"
#include "Faultdesk/ModalRunner.h"
#include "Faultdesk/ReportConnection.h"
#include "frmDebugError.h"
#include "frmError.h"
#include "ui/Prompter.h"

#include <exception>

namespace {

// The last resort when showing the failure failed in turn: its own text, nothing else.
void showBareMessage(const QString &description)
{
    try {
        ui::Prompter::msgBox(description);
    } catch (...) {
        // There is no one left to tell.
    }
}

} // namespace

hrErr::hrErr(QObject *parent) : QObject(parent) {}

hrErr::~hrErr() = default;

void hrErr::CallingApp(const app::AppInfo &application)
{
    faultdesk::errorState().callingApp = application;
    m_ownApp = application;
}

void hrErr::ReportsAs(const app::AppInfo &application)
{
    m_ownApp = application;
}

void hrErr::Destination(faultdesk::Destination destination)
{
    faultdesk::errorState().destination = destination;
}

bool hrErr::Log_Error(const QString &strProcName, const QString &strDescription)
{
    try {
        faultdesk::ErrorState &st = faultdesk::errorState();
        if (st.destination != faultdesk::Screen) {
            if (strDescription.contains(QStringLiteral("DELETE statement conflicted with COLUMN REFERENCE constraint"),
                                        Qt::CaseSensitive)) {
                ui::Prompter::msgBox(QStringLiteral("Cannot delete, entry being referenced"), ui::MsgButtons::OK,
                                     ui::MsgIcon::Critical);
                return false;
            }
            const QString text = QStringLiteral("Procedure:   ") + strProcName + QChar(13)
                + QStringLiteral("Description:   ") + strDescription;
            return ui::Prompter::msgBox(text, ui::MsgButtons::OK, ui::MsgIcon::Critical, QStringLiteral("Error"))
                == ui::MsgResult::OK;
        }

        st.lastDescription = strDescription;
        st.lastProcName = strProcName;
        st.lastCallingApp = m_ownApp;
        // A fresh window each time: it loads with the values stored just now.
        if (st.debugMode) {
            frmDebugError window;
            faultdesk::runModal(window);
        } else {
            frmError window;
            faultdesk::runModal(window);
        }
    } catch (const std::exception &e) {
        showBareMessage(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showBareMessage(QStringLiteral("Unknown error"));
    }
    return false;
}

void hrErr::adoConnection(const std::shared_ptr<db::Connection> &connection)
{
    faultdesk::errorState().connection = faultdesk::reportConnectionOf(connection);
}

void hrErr::adoConnection(const std::shared_ptr<faultdesk::ReportConnection> &connection)
{
    faultdesk::errorState().connection = connection;
}

void hrErr::UserID(const QString &userId)
{
    m_strUserID = userId;
}

QString hrErr::EMailAddress() const
{
    return faultdesk::errorState().emailAddress;
}

void hrErr::EMailAddress(const QString &address)
{
    faultdesk::errorState().emailAddress = address;
}

QString hrErr::EMailSubject() const
{
    return faultdesk::errorState().emailSubject;
}

void hrErr::EMailSubject(const QString &subject)
{
    faultdesk::errorState().emailSubject = subject;
}

bool hrErr::DebugMode() const
{
    return faultdesk::errorState().debugMode;
}

void hrErr::DebugMode(bool on)
{
    faultdesk::errorState().debugMode = on;
}
