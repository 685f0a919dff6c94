#include "Glob.h"

#include "InstanceGuard.h"
#include "frmBrowser.h"
#include "frmQuery.h"
#include "frmSplash.h"
#include "mdiMain.h"

#include "hlTabulon/Glob.h"
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "hlTabulon/hlTabulon.h"

#include "app/AppInfo.h"
#include "app/Trap.h"
#include "automation/Automation.h"
#include "db/Connection.h"
#include "Faultdesk/hrErr.h"
#include "ui/DesktopOpener.h"
#include "ui/EventLoop.h"
#include "ui/MousePointer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScreen>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <stdexcept>

namespace Glob {

namespace {

struct State {
    QString productTitle;
    PendingQuery pending;
    bool showSQL = false;
    std::unique_ptr<hrErr> error;
    std::unique_ptr<mdiMain> main;
    QPointer<frmSplash> splash;
    std::unique_ptr<InstanceGuard> instance;
    QString helpFile;
    QString instanceFolder;
    bool waitEnabled = true;
    int routingDepth = 0;
};

State &state()
{
    static State s;
    return s;
}

// The start-up procedures' one trap: a failure puts the pointer back and is logged under the
// procedure's name; the answer is then false.
template <typename Body>
bool trap(const QString &procedure, Body &&body)
{
    return app::trap(body, [] {}, [&] {
        ui::MousePointer::setDefault();
        logError(procedure, app::currentErrorText(QStringLiteral("Unknown error")));
        return false;
    });
}

} // namespace

PendingQuery &pendingQuery()
{
    return state().pending;
}

std::shared_ptr<db::Connection> pendingConnection()
{
    PendingQuery &p = state().pending;
    if (!p.Connection)
        p.Connection = db::Connection::create();
    return p.Connection;
}

bool showSQL()
{
    return state().showSQL;
}

void setShowSQL(bool on)
{
    state().showSQL = on;
}

QString ProductTitle()
{
    const QString &title = state().productTitle;
    return title.isEmpty() ? QStringLiteral("Tabulon") : title;
}

hrErr &errorObject()
{
    std::unique_ptr<hrErr> &err = state().error;
    if (!err)
        err = std::make_unique<hrErr>();
    return *err;
}

void logError(const QString &procName, const QString &description)
{
    try {
        errorObject().Log_Error(procName, description);
    } catch (...) {
        // The error window itself failed; nothing is left to tell the user with.
    }
}

mdiMain *mainWindow()
{
    return state().main.get();
}

bool Main()
{
    State &s = state();
    return trap(QStringLiteral("Main"), [&] {
        ui::MousePointer::setHourglass();
        s.productTitle = QStringLiteral("Tabulon");

        hrErr &err = errorObject();
        err.CallingApp(app::appInfo(QStringLiteral("Tabulon")));
        err.EMailAddress(app::reportAddress());
        err.EMailSubject(QStringLiteral("Tabulon Error"));
        err.DebugMode(true);

        s.splash = new frmSplash;
        s.splash->setLoading(true);
        s.splash->show();
        ui::yieldEventsNow();

        s.main = std::make_unique<mdiMain>();
        if (!s.main->Form_Load()) {
            // Another copy runs: this one ends before showing anything but the splash.
            s.main.reset();
            if (s.splash)
                delete s.splash.data();
            ui::MousePointer::setDefault();
            return false;
        }
        s.main->setWindowState(Qt::WindowMinimized);

        s.main->showBrowser();

        const QFileInfo exe(QCoreApplication::applicationFilePath());
        s.helpFile = exe.dir().filePath(exe.completeBaseName() + QStringLiteral(".html"));

        Wait_Seconds(2);

        // Some window managers ignore the maximised state of a window never shown before; the
        // frame then still covers the screen.
        if (const QScreen *screen = s.main->screen())
            s.main->setGeometry(screen->availableGeometry());
        s.main->showMaximized();
        ui::MousePointer::setDefault();
        return true;
    });
}

void End()
{
    State &s = state();
    if (s.main) {
        s.main->unloadAll();
        s.main.reset();
    }
    if (s.splash)
        delete s.splash.data();
    s.pending = PendingQuery{};
    s.showSQL = false;
    s.instance.reset();
}

bool Show_Query()
{
    return trap(QStringLiteral("Show_Query"), [&] {
        ui::MousePointer::setHourglass();
        mdiMain *main = mainWindow();
        if (!main)
            throw std::runtime_error("The main window is not loaded.");
        main->openQueryWindow();
        ui::MousePointer::setDefault();
        return true;
    });
}

bool Show_Options()
{
    return trap(QStringLiteral("Show_Options"), [&] {
        ui::MousePointer::setHourglass();
        mdiMain *main = mainWindow();
        QString error;
        bool called = true;
        if (main && main->browserIsCurrent()) {
            const auto id = automation::dispIdOf(&hlSourceBrowser::staticMetaObject, QStringLiteral("Show_Options"));
            called = id && automation::callById(main->browserWindow()->control(), *id, {}, nullptr, &error);
        } else if (frmQuery *query = main ? main->activeQueryWindow() : nullptr) {
            RoutingScope routing;
            called = automation::callByName(query->control(), QStringLiteral("Show_Options"), {}, nullptr, &error);
        }
        ui::MousePointer::setDefault();
        if (!called)
            throw std::runtime_error(error.isEmpty() ? "Show_Options could not be called." : error.toStdString());
        return true;
    });
}

bool Show_Site(qint16 page)
{
    // The pages, and the report of a failure to open one, are the analysis library's.
    return analysis::Show_Site(page);
}

void Wait_Seconds(qint16 seconds)
{
    if (!state().waitEnabled || seconds <= 0)
        return;
    // Elapsed time, not the clock of the day: a wait across midnight still ends.
    QElapsedTimer timer;
    timer.start();
    const qint64 until = qint64(seconds) * 1000;
    while (timer.elapsed() < until)
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(20, until - timer.elapsed())));
}

QString HelpFile()
{
    return state().helpFile;
}

void setWaitSecondsEnabled(bool on)
{
    state().waitEnabled = on;
}

void setInstanceFolder(const QString &folder)
{
    state().instanceFolder = folder;
}

bool acquireInstance()
{
    State &s = state();
    if (!s.instance)
        s.instance = std::make_unique<InstanceGuard>(s.instanceFolder);
    return s.instance->acquire();
}

void unloadSplash()
{
    if (QPointer<frmSplash> &splash = state().splash)
        splash->close();
}

int routingDepth()
{
    return state().routingDepth;
}

RoutingScope::RoutingScope()
{
    ++state().routingDepth;
}

RoutingScope::~RoutingScope()
{
    --state().routingDepth;
}

} // namespace Glob
