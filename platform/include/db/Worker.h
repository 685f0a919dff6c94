#pragma once

#include <tabulon/DbExport.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <QString>

class QEventLoop;

// Database work runs on worker threads; the application's thread waits for it with its event loop
// running. This is the machinery: threads, hand-over to the application's thread, waits that a
// user can stop, and stopping a client call from outside the thread that makes it.
namespace db {

// The client calls running right now, by worker thread, so that a stop reaches exactly the call one
// worker makes. Backends register each call on a client handle for its length; cancel() asks the
// server to stop the statement, abandon() closes the client connection under it (for a server that
// no longer answers). Both come from other threads and must return at once.
class DB_EXPORT CallRegistry {
public:
    struct Stops {
        std::function<void()> cancel;
        std::function<void()> abandon;
    };

    class DB_EXPORT Scope {
    public:
        Scope(CallRegistry &registry, Stops stops);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        CallRegistry &m_registry;
        std::uint64_t m_id;
    };

    void cancel(std::thread::id worker);
    void abandon(std::thread::id worker);
    void cancelAll();

private:
    struct Entry {
        std::uint64_t id;
        std::thread::id thread;
        Stops stops;
    };
    std::mutex m_mutex; // held while a stop runs, so the handle it uses stays open
    std::vector<Entry> m_entries;
    std::uint64_t m_next = 0;
};

// One worker's state as those who may stop it see it.
struct WorkerState {
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id thread;
    std::uint64_t call = 0; // serial of the latest client call
    bool inCall = false;
    bool abandoned = false; // a stop closed the client connection under a call
    // Read by the worker's client while it works (worker::callStopped), so that a stop that came
    // before the client began its statement is not lost.
    std::atomic<std::uint64_t> stoppedCall{0}; // serial of the call a stop is meant for
    std::atomic<bool> ended{false};            // every call from now on is stopped too

    // Marks a client call of the worker for its length.
    class DB_EXPORT Call {
    public:
        explicit Call(WorkerState &state);
        ~Call();
        Call(const Call &) = delete;
        Call &operator=(const Call &) = delete;

        bool stopped() const { return m_state.ended || m_state.stoppedCall == m_serial; }

    private:
        WorkerState &m_state;
        std::uint64_t m_serial = 0;
        const Call *m_outer = nullptr;
    };
};

namespace worker {

// How long a stopped call may still finish on its own before its statement is cancelled (a fetch
// that pauses at once stays usable), and how long a cancelled call may take before its client
// connection is closed under it.
inline constexpr std::chrono::milliseconds kCancelGrace{250};
inline constexpr std::chrono::milliseconds kAbandonGrace{1500};

// True on the application's thread, where waits run the event loop; elsewhere (no application, a
// thread of someone else's) database calls simply run where they are called.
DB_EXPORT bool available();
// Runs work on a thread of its own: a worker thread waiting idle since its last job, else a new one.
// Workers run below the application's thread, which must win the processor when both want it.
DB_EXPORT void start(std::function<void()> work);
// The same at the application's thread's own priority, for a worker that thread keeps waiting on
// while busy itself (an export writing the rows the worker reads): below it, a loaded machine
// only slows both.
DB_EXPORT void startAtInterfacePriority(std::function<void()> work);
// The same for short helpers nobody waits for (a cancel request to a server that may not answer).
DB_EXPORT void startHelper(std::function<void()> work);
// Runs fn on the application's thread, after the events already queued, then lets every wait
// look again; dropped once the application is gone.
DB_EXPORT void post(std::function<void()> fn);
// Worker threads still running (their client handles not yet freed).
DB_EXPORT int running();
// Helper threads waiting idle for the next helper.
DB_EXPORT int idleHelpers();
// Stops the call a worker is making, from a thread of its own: after `grace` the statement is
// cancelled if the same call still runs, and after kAbandonGrace more its connection is closed.
DB_EXPORT void stopCall(std::shared_ptr<CallRegistry> calls, std::shared_ptr<WorkerState> state,
                              std::chrono::milliseconds grace);
// Stops the call a worker is making at once, and every call it begins later: its owner wants no more.
DB_EXPORT void endCalls(std::shared_ptr<CallRegistry> calls, std::shared_ptr<WorkerState> state);
// True on a thread whose current client call has been stopped. A client checks it before a
// statement's first step and while it runs: a cancel (sqlite3_interrupt) reaches only statements
// already running, and one that came a moment before would be lost.
DB_EXPORT bool callStopped();

} // namespace worker

class Wait;

// Ends waits on request. An owner (a query window) makes its token current while it works
// (StopToken::Scope); every wait started meanwhile on that thread registers with it, and stop()
// ends them all, stopping the calls they wait for.
class DB_EXPORT StopToken {
public:
    StopToken();
    ~StopToken();
    StopToken(const StopToken &) = delete;
    StopToken &operator=(const StopToken &) = delete;

    void stop();
    // Also stops the waits once this says so (looked at every 50 ms while one runs).
    void setStopWhen(std::function<bool()> predicate) { m_stopWhen = std::move(predicate); }
    // Told what a wait waits for once nothing has arrived for it a while (for the status bar), and
    // told an empty text once something comes again or the wait ends.
    void setOnWaiting(std::function<void(const QString &)> note) { m_onWaiting = std::move(note); }
    bool waiting() const { return !m_waits.empty(); }

    class DB_EXPORT Scope {
    public:
        explicit Scope(StopToken &token);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        StopToken *m_previous;
    };

private:
    friend class Wait;
    std::vector<Wait *> m_waits;
    std::function<bool()> m_stopWhen;
    std::function<void(const QString &)> m_onWaiting;
};

// The application's thread waiting for a worker with the event loop running (so windows repaint,
// timers tick and Escape is seen); when it lasts, the interface shows it (the hourglass).
class DB_EXPORT Wait {
public:
    // onStop runs once when the wait is stopped (by its token), to stop what it waits for.
    // waitingFor ("the server to send rows") is what the token's owner hears once nothing has
    // arrived a while; empty says nothing.
    explicit Wait(std::function<void()> onStop = {}, QString waitingFor = {});
    ~Wait();
    Wait(const Wait &) = delete;
    Wait &operator=(const Wait &) = delete;

    // Returns true once ready() says so, false when the wait was stopped first. For up to
    // `quickAnswer` only what workers hand over is run (no paint, no input), so that an answer
    // coming at once shows without the window being drawn busy in between.
    bool until(const std::function<bool()> &ready, std::chrono::milliseconds quickAnswer = {});
    void stop();

    // Something arrived: every wait looks again.
    static void wakeAll();
    // Waits running on the application's thread right now, nested ones included.
    static int depth();

    // How the interface shows a wait that lasts, set by the interface layer once: it runs as the
    // wait turns slow and returns what puts the look back when the wait ends.
    using LastingLook = std::function<std::function<void()>()>;
    static void setLastingLook(LastingLook look);

private:
    friend class StopToken;
    std::function<void()> m_onStop;
    QString m_waitingFor;
    StopToken *m_token = nullptr;
    QEventLoop *m_loop = nullptr;
    bool m_stopped = false;
};

} // namespace db
