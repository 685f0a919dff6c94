#pragma once

#include <QByteArray>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <vector>

class QWidget;

namespace testsupport {

// Connection settings of the throw-away PostgreSQL server that scripts/test-postgres starts,
// as libpq keywords ("host=... port=... dbname=... user=..."). Empty when no server runs.
QString postgresConnInfo();

// The same server as a connection string of the data layer ("Provider=PostgreSQL;host=...;...").
QString postgresConnectionString();

// True when the server is required: on CI a missing server fails the test instead of skipping it.
bool postgresRequired();

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString &path);

// Makes bytes the file's whole content; a test failure when the file cannot be written.
void writeFile(const QString &path, const QByteArray &bytes);

// Counts the events of the given types that reach the objects it is installed on; every event
// goes on to its object.
class EventCounter : public QObject {
public:
    explicit EventCounter(std::initializer_list<QEvent::Type> types) : m_types(types) {}
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::vector<QEvent::Type> m_types;
};

// Runs check on the next modal dialog once it is up (its exec() blocks the test meanwhile).
void onNextModal(std::function<void(QWidget *)> check);

// A desktop on which no program takes mail, for the object's life: the user's and the system's
// configuration and application folders are empty ones of its own (config, etc, data, share),
// xdg-email takes its plain desktop-neutral way, and neither MAILER nor a web browser gives it a
// way out. The real xdg-email stays.
class DesktopWithoutMail {
public:
    DesktopWithoutMail();
    ~DesktopWithoutMail();
    DesktopWithoutMail(const DesktopWithoutMail &) = delete;
    DesktopWithoutMail &operator=(const DesktopWithoutMail &) = delete;

    QString path(const QString &relative) const { return m_dir.filePath(relative); }

private:
    struct Saved {
        const char *name;
        QByteArray value;
        bool set;
    };
    QTemporaryDir m_dir;
    std::vector<Saved> m_saved;
};

} // namespace testsupport

// Skips (locally) or fails (on CI, where scripts/install-deps put everything in place) a test
// whose tool, driver or font is missing.
#define TABULON_REQUIRE_INSTALLED(present, what)                                                 \
    do {                                                                                        \
        if (!(present)) {                                                                       \
            if (::testsupport::postgresRequired())                                              \
                FAIL() << what << " is not installed but CI requires it";                       \
            GTEST_SKIP() << what << " is not installed";                                        \
        }                                                                                       \
    } while (false)

// Skips (locally) or fails (on CI) a test that needs the PostgreSQL test server.
#define TABULON_REQUIRE_POSTGRES()                                                               \
    do {                                                                                        \
        if (::testsupport::postgresConnInfo().isEmpty()) {                                      \
            if (::testsupport::postgresRequired())                                              \
                FAIL() << "TABULON_TEST_PG is not set but CI requires the PostgreSQL tests";    \
            GTEST_SKIP() << "TABULON_TEST_PG is not set (run through scripts/test)";           \
        }                                                                                       \
    } while (false)
