#pragma once
// Cancels statements on the test server (scripts/test-postgres) from a session of its own, as
// another user of the server would. Header only: the test main does not link the data layer; the
// tests that include this do.
#include "TestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"

#include <QTimer>

#include <memory>

namespace testsupport {

// While started, cancels every 20 ms the active statements of the sessions whose
// application_name is the one given (set it with ";application_name=..." on the connection under
// test). It keeps asking until stopped: a cancel that lands between two fetches does nothing.
class ServerCanceller {
public:
    explicit ServerCanceller(const QString &applicationName)
        : m_watcher(db::Connection::create())
    {
        m_watcher->Open(postgresConnectionString());
        QObject::connect(&m_timer, &QTimer::timeout, [this, applicationName] {
            // The query waits with the event loop turning, so the timer may fire again meanwhile.
            if (m_looking)
                return;
            m_looking = true;
            const auto hit = m_watcher->Execute(QStringLiteral("SELECT count(pg_cancel_backend(pid)) FROM "
                                                               "pg_stat_activity WHERE application_name = '%1' "
                                                               "AND state = 'active'")
                                                    .arg(applicationName));
            m_cancelled += int(hit->Value(0).toLongLong());
            m_looking = false;
        });
    }

    void start() { m_timer.start(20); }
    void stop() { m_timer.stop(); }
    // Statements cancelled so far.
    int cancelled() const { return m_cancelled; }

private:
    std::shared_ptr<db::Connection> m_watcher;
    QTimer m_timer;
    int m_cancelled = 0;
    bool m_looking = false;
};

} // namespace testsupport
