#include "ErrorReport.h"

#include "Faultdesk/ErrorState.h"
#include "db/ConnectionString.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QSysInfo>

namespace faultdesk {

namespace {
constexpr QChar kCR(13); // the report's line separator, never followed by LF
} // namespace

QString osText()
{
    return (QSysInfo::prettyProductName() + QLatin1Char(' ') + QSysInfo::kernelVersion().trimmed()).trimmed();
}

std::optional<QString> reportText(const QString &details)
{
    try {
        ErrorState &st = errorState();
        const std::optional<app::AppInfo> &from = st.lastCallingApp ? st.lastCallingApp : st.callingApp;
        if (!from)
            return std::nullopt;
        const app::AppInfo &application = *from;

        QStringList lines;
        lines << QStringLiteral("EXE Name :    ") + application.EXEName
              << QStringLiteral("Version :     ") + application.versionText()
              << QStringLiteral("Procedure:    ") + st.lastProcName
              << QStringLiteral("Error:        ") + st.lastDescription
              << QStringLiteral("OS:           ") + osText();
        const std::shared_ptr<ReportConnection> connection = st.currentConnection();
        if (!connection->isClosed()) {
            lines << QStringLiteral("Connection:   ") + db::maskPasswords(connection->connectionString())
                  << QStringLiteral("MDAC Version: ") + connection->version();
        }
        const QLocale locale = QLocale::system();
        const QString generalDate = locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ')
            + locale.timeFormat(QLocale::LongFormat);
        lines << QStringLiteral("Date:         ") + locale.toString(QDateTime::currentDateTime(), generalDate)
              << QStringLiteral("Description:  ") + details;
        return lines.join(kCR);
    } catch (...) {
        // The data layer may throw from a connection that went away; the caller reports it.
        return std::nullopt;
    }
}

} // namespace faultdesk
