#pragma once

#include <QString>

#include <memory>

class hrErr;
class mdiMain;

namespace db {
class Connection;
}

// The program's module: the start procedure, the state every window of the shell shares, and the
// small procedures the menus and windows call.
namespace Glob {

// The browser's RunQuery, kept for the query window it opens. Each RunQuery overwrites the whole
// record; the new window reads it while it loads, before another event can arrive.
struct PendingQuery {
    std::shared_ptr<db::Connection> Connection; // the browser's; we only hold a reference
    QString SQL;
    QString QueryName;
    qint32 DataType = 0;
    qint32 MaxRecords = 0;
    bool AutoRun = false;
    QString Delimiter; // empty: the query window's control chooses by provider
    bool OptionsVisible = false;
};

PendingQuery &pendingQuery();
// The pending connection; an unopened one when the browser never handed one over.
std::shared_ptr<db::Connection> pendingConnection();

// The show-SQL flag: taken from each RunQuery and from the browser's Open SQL setting after each
// refresh; File > Item > Query is offered only while it is set.
bool showSQL();
void setShowSQL(bool on);

// "Tabulon": the settings application of the shell and the name the quit question uses.
QString ProductTitle();

// The shell's error object, created on first use and kept for the run.
hrErr &errorObject();
// Log_Error of the error object; never throws.
void logError(const QString &procName, const QString &description);

// The main window while the program runs; nullptr before Main and after End.
mdiMain *mainWindow();

// Starts the program: splash, main window, browser, pause, main window maximised. False when the
// program ended itself during start-up (another copy runs) or start-up failed (reported as
// "Main"); the caller then leaves without running the event loop.
bool Main();
// Closes and destroys every window of the run and lets another copy start; for the end of
// main() and for tests. Asks nothing.
void End();

// A new query window on the pending query, shown as a child of the main window.
bool Show_Query();
// The options of the current child: the browser's or the query window's control.
bool Show_Options();
// Opens one of our web pages: 0 the home page, 1 the product page, 2 the support forum.
bool Show_Site(qint16 page);
// Returns after the given whole seconds without processing any window message.
void Wait_Seconds(qint16 seconds);

// The one-copy-at-a-time lock, taken by the main window's load; false when another copy holds it.
bool acquireInstance();
// Closes the splash window when it is still open.
void unloadSplash();

// The help file: the executable's name with ".html", beside the executable.
QString HelpFile();

// --- for tests ---
// Off: Wait_Seconds returns at once (a test run should not sit through the start-up pause).
void setWaitSecondsEnabled(bool on);
// The folder of the one-copy-at-a-time lock; empty: the user's runtime folder.
void setInstanceFolder(const QString &folder);

// Depth of the calls the main window is making into a control right now. A query window closed
// meanwhile waits for it to return to zero before it is destroyed.
int routingDepth();
class RoutingScope {
public:
    RoutingScope();
    ~RoutingScope();
    RoutingScope(const RoutingScope &) = delete;
    RoutingScope &operator=(const RoutingScope &) = delete;
};

} // namespace Glob
