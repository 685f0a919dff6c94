#pragma once

#include "Faultdesk/Destination.h"
#include "app/AppInfo.h"

#include <tabulon/FaultdeskExport.h>

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace db {
class Connection;
}
namespace faultdesk {
class ReportConnection;
}

// The error object every deliverable reports its trapped failures through. The report settings
// are not the object's own: they are held once per process, so each write replaces the value for
// every hrErr object, and the deliverable that configured the library last wins.
//
// Members carry the names callers use by automation. Write-only members are one-argument
// invokables; the read-write ones are properties with a same-named getter and setter.
class FAULTDESK_EXPORT hrErr : public QObject {
    Q_OBJECT
    Q_CLASSINFO("DispId:CallingApp", "0x68030029")
    Q_CLASSINFO("DispId:Destination", "0x68030028")
    Q_CLASSINFO("DispId:Log_Error", "0x6003002A")
    Q_CLASSINFO("DispId:adoConnection", "0x68030027")
    Q_CLASSINFO("DispId:UserID", "0x68030026")
    Q_CLASSINFO("DispId:EMailAddress", "0x68030025")
    Q_CLASSINFO("DispId:EMailSubject", "0x68030024")
    Q_CLASSINFO("DispId:DebugMode", "0x68030023")
    Q_PROPERTY(QString EMailAddress READ EMailAddress WRITE EMailAddress)
    Q_PROPERTY(QString EMailSubject READ EMailSubject WRITE EMailSubject)
    Q_PROPERTY(bool DebugMode READ DebugMode WRITE DebugMode)

public:
    Q_INVOKABLE explicit hrErr(QObject *parent = nullptr);
    ~hrErr() override;

    // The deliverable reports come from: its file name and version go into every report raised
    // through an object that has named no program of its own, and into this object's reports.
    Q_INVOKABLE void CallingApp(const app::AppInfo &application);
    // Names the program in this object's own reports only, leaving the library-wide calling
    // application to the deliverables that configure the library.
    void ReportsAs(const app::AppInfo &application);
    Q_INVOKABLE void Destination(faultdesk::Destination destination);

    // Shows the failure: the error window (the report window in debug mode) for Screen, a message
    // box for the other destinations. False but for an acknowledged message box.
    Q_INVOKABLE bool Log_Error(const QString &strProcName, const QString &strDescription);

    // A connection that is open when a report is sent adds its (masked) connection string and
    // client version to the report. Null means none.
    Q_INVOKABLE void adoConnection(const std::shared_ptr<db::Connection> &connection);
    void adoConnection(const std::shared_ptr<faultdesk::ReportConnection> &connection);

    Q_INVOKABLE void UserID(const QString &userId);

    QString EMailAddress() const;
    void EMailAddress(const QString &address);
    QString EMailSubject() const;
    void EMailSubject(const QString &subject);
    bool DebugMode() const;
    void DebugMode(bool on);

private:
    QString m_strUserID; // kept for callers that set it; no report uses it
    std::optional<app::AppInfo> m_ownApp;
};
