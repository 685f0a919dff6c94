#include "db/Worker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <deque>

#include <sys/resource.h>

namespace db {

// --- CallRegistry ---

CallRegistry::Scope::Scope(CallRegistry &registry, Stops stops)
    : m_registry(registry)
{
    std::lock_guard lock(registry.m_mutex);
    m_id = ++registry.m_next;
    registry.m_entries.push_back({m_id, std::this_thread::get_id(), std::move(stops)});
}

CallRegistry::Scope::~Scope()
{
    std::lock_guard lock(m_registry.m_mutex);
    std::erase_if(m_registry.m_entries, [this](const Entry &e) { return e.id == m_id; });
}

void CallRegistry::cancel(std::thread::id worker)
{
    std::lock_guard lock(m_mutex);
    for (const Entry &e : m_entries)
        if (e.thread == worker && e.stops.cancel)
            e.stops.cancel();
}

void CallRegistry::abandon(std::thread::id worker)
{
    std::lock_guard lock(m_mutex);
    for (const Entry &e : m_entries)
        if (e.thread == worker && e.stops.abandon)
            e.stops.abandon();
}

void CallRegistry::cancelAll()
{
    std::lock_guard lock(m_mutex);
    for (const Entry &e : m_entries)
        if (e.stops.cancel)
            e.stops.cancel();
}

// --- WorkerState ---

namespace {

// The client call this thread is making, read by the client itself (worker::callStopped).
thread_local const WorkerState::Call *t_call = nullptr;

} // namespace

WorkerState::Call::Call(WorkerState &state)
    : m_state(state)
    , m_outer(t_call)
{
    {
        std::lock_guard lock(state.mutex);
        state.thread = std::this_thread::get_id();
        m_serial = ++state.call;
        state.inCall = true;
    }
    t_call = this;
}

WorkerState::Call::~Call()
{
    t_call = m_outer;
    {
        std::lock_guard lock(m_state.mutex);
        m_state.inCall = false;
    }
    m_state.changed.notify_all();
}

// --- threads and hand-over ---

namespace {

class Dispatcher;

// Never destroyed: worker threads may outlive everything else in the process.
struct Globals {
    std::mutex mutex;
    Dispatcher *dispatcher = nullptr; // lives on the application's thread
    // What workers hand over, in order. The hand-over goes through this queue (and its mutex),
    // never through the captures of a Qt call, so that every tool sees who synchronises with whom.
    std::deque<std::function<void()>> queue;
    std::condition_variable handedOver; // something joined `queue`
    std::atomic<int> running{0};
    // Threads between jobs, and the jobs handed to them (under `mutex`): workers and helpers.
    struct Pool {
        std::condition_variable jobWaiting;
        std::deque<std::function<void()>> jobs;
        int idleThreads = 0;
    };
    Pool workers;
    Pool interfacePriorityWorkers; // workers not put below the application's thread
    Pool helpers;
};

constexpr int kMaxIdleThreads = 4;
constexpr std::chrono::seconds kIdleLinger{30};

Globals &globals()
{
    static auto *g = new Globals;
    return *g;
}

const QEvent::Type kDeliver = QEvent::Type(QEvent::registerEventType());

// Runs what workers hand over, one item per event (so a nested event loop inside one keeps the
// order of the rest); goes with the application.
class Dispatcher : public QObject {
public:
    using QObject::QObject;
    ~Dispatcher() override
    {
        std::deque<std::function<void()>> dropped;
        std::lock_guard lock(globals().mutex);
        globals().dispatcher = nullptr;
        dropped.swap(globals().queue);
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != kDeliver)
            return QObject::event(e);
        std::function<void()> next;
        {
            std::lock_guard lock(globals().mutex);
            if (globals().queue.empty())
                return true;
            next = std::move(globals().queue.front());
            globals().queue.pop_front();
        }
        next();
        Wait::wakeAll();
        return true;
    }
};

} // namespace

namespace worker {

bool available()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return false;
    std::lock_guard lock(globals().mutex);
    if (!globals().dispatcher)
        globals().dispatcher = new Dispatcher(app);
    return true;
}

namespace {

// Runs work on a thread of the pool waiting idle since its last job, else on a new one, which then
// stays a while for the pool's next job. Workers run below the user interface thread (unless
// `belowInterface` is false), which must win the processor when both want it, and count as
// running until their work is released. A thread once put below cannot come back up, hence a
// pool of each.
void runPooled(Globals::Pool &pool, std::function<void()> work, bool isWorker, bool belowInterface = true)
{
    Globals &g = globals();
    if (isWorker)
        ++g.running;
    {
        std::unique_lock lock(g.mutex);
        // Each job handed to the idle threads has one of its own waiting for it.
        if (pool.idleThreads > int(pool.jobs.size())) {
            pool.jobs.push_back(std::move(work));
            // Woken with the lock still held, the thread would at once wait again, for the lock.
            lock.unlock();
            pool.jobWaiting.notify_one();
            return;
        }
    }
    std::thread([&pool, work = std::move(work), isWorker, belowInterface]() mutable {
        if (isWorker && belowInterface)
            setpriority(PRIO_PROCESS, 0, getpriority(PRIO_PROCESS, 0) + 2);
        Globals &g = globals();
        for (;;) {
            try {
                work();
            } catch (...) {
                // a worker reports through what it hands over; nothing may escape a thread
            }
            // Whatever the work held is released before the thread counts as ended.
            work = nullptr;
            if (isWorker)
                --g.running;

            // Waking a waiting thread costs microseconds; a new one queues behind every runnable
            // thread of a busy machine for milliseconds. A few stay for the next job a while.
            std::unique_lock lock(g.mutex);
            if (pool.idleThreads >= kMaxIdleThreads)
                return;
            ++pool.idleThreads;
            const bool got = pool.jobWaiting.wait_for(lock, kIdleLinger, [&pool] { return !pool.jobs.empty(); });
            --pool.idleThreads;
            if (!got)
                return;
            work = std::move(pool.jobs.front());
            pool.jobs.pop_front();
        }
    }).detach();
}

} // namespace

void start(std::function<void()> work)
{
    runPooled(globals().workers, std::move(work), true);
}

void startAtInterfacePriority(std::function<void()> work)
{
    runPooled(globals().interfacePriorityWorkers, std::move(work), true, false);
}

void startHelper(std::function<void()> work)
{
    runPooled(globals().helpers, std::move(work), false);
}

void post(std::function<void()> fn)
{
    {
        std::lock_guard lock(globals().mutex);
        if (!globals().dispatcher)
            return;
        globals().queue.push_back(std::move(fn));
        QCoreApplication::postEvent(globals().dispatcher, new QEvent(kDeliver));
    }
    // After the lock is let go, so that a wait woken by this finds it free.
    globals().handedOver.notify_all();
}

int running()
{
    return globals().running;
}

int idleHelpers()
{
    std::lock_guard lock(globals().mutex);
    return globals().helpers.idleThreads;
}

void stopCall(std::shared_ptr<CallRegistry> calls, std::shared_ptr<WorkerState> state, std::chrono::milliseconds grace)
{
    std::uint64_t call = 0;
    std::thread::id thread;
    {
        std::lock_guard lock(state->mutex);
        if (!state->inCall)
            return;
        call = state->call;
        thread = state->thread;
    }
    startHelper([calls = std::move(calls), state = std::move(state), call, thread, grace] {
        std::unique_lock lock(state->mutex);
        const auto ended = [&] { return !state->inCall || state->call != call; };
        if (state->changed.wait_for(lock, grace, ended))
            return;
        // Marked before the cancel: a statement the cancel comes too early for sees the mark.
        state->stoppedCall = call;
        lock.unlock();
        calls->cancel(thread);
        lock.lock();
        if (state->changed.wait_for(lock, kAbandonGrace, ended))
            return;
        state->abandoned = true;
        lock.unlock();
        calls->abandon(thread);
    });
}

void endCalls(std::shared_ptr<CallRegistry> calls, std::shared_ptr<WorkerState> state)
{
    state->ended = true;
    stopCall(std::move(calls), std::move(state), std::chrono::milliseconds(0));
}

bool callStopped()
{
    return t_call && t_call->stopped();
}

} // namespace worker

// --- waits ---

namespace {

// Both used on the application's thread only.
std::vector<Wait *> &activeWaits()
{
    static std::vector<Wait *> waits;
    return waits;
}

StopToken *&currentToken()
{
    static StopToken *token = nullptr;
    return token;
}

Wait::LastingLook &lastingLook()
{
    static Wait::LastingLook look;
    return look;
}

constexpr int kPollMs = 50;
constexpr int kSlowMs = 150;
// Nothing handed over for this long: the owner hears what the wait is for.
constexpr int kQuietMs = 3000;

// Runs only what workers hand over, for at most `budget`, until `ready`; false when the budget
// ran out first. Nothing else is processed meanwhile: no paint, no input.
bool handOversOnly(const std::function<bool()> &ready, std::chrono::milliseconds budget)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return false;
    Globals &g = globals();
    const auto deadline = std::chrono::steady_clock::now() + budget;
    for (;;) {
        QObject *dispatcher = nullptr;
        {
            std::unique_lock lock(g.mutex);
            if (!g.handedOver.wait_until(lock, deadline, [&g] { return !g.queue.empty() || !g.dispatcher; }))
                return false;
            dispatcher = g.dispatcher;
        }
        if (!dispatcher)
            return false;
        QCoreApplication::sendPostedEvents(dispatcher, kDeliver);
        if (ready())
            return true;
    }
}

} // namespace

StopToken::StopToken() = default;

StopToken::~StopToken()
{
    for (Wait *w : m_waits)
        w->m_token = nullptr;
}

void StopToken::stop()
{
    const std::vector<Wait *> waits = m_waits;
    for (Wait *w : waits)
        w->stop();
}

StopToken::Scope::Scope(StopToken &token)
    : m_previous(currentToken())
{
    currentToken() = &token;
}

StopToken::Scope::~Scope()
{
    currentToken() = m_previous;
}

Wait::Wait(std::function<void()> onStop, QString waitingFor)
    : m_onStop(std::move(onStop))
    , m_waitingFor(std::move(waitingFor))
    , m_token(currentToken())
{
    if (m_token)
        m_token->m_waits.push_back(this);
}

Wait::~Wait()
{
    if (m_token)
        std::erase(m_token->m_waits, this);
}

bool Wait::until(const std::function<bool()> &ready, std::chrono::milliseconds quickAnswer)
{
    if (ready())
        return true;
    if (m_stopped)
        return false;
    // An answer that comes at once is taken before the event loop runs: the window would
    // otherwise be painted in its busy state only to be painted again a moment later.
    if (quickAnswer.count() > 0 && !(m_token && m_token->m_stopWhen && m_token->m_stopWhen())
        && handOversOnly(ready, quickAnswer))
        return true;
    QEventLoop loop;
    m_loop = &loop;
    activeWaits().push_back(this);

    QTimer poll;
    if (m_token && m_token->m_stopWhen) {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (m_token && m_token->m_stopWhen && m_token->m_stopWhen())
                stop();
        });
        poll.start(kPollMs);
    }
    std::function<void()> putBack;
    QTimer slow;
    slow.setSingleShot(true);
    QObject::connect(&slow, &QTimer::timeout, [&putBack] {
        if (const LastingLook &look = lastingLook())
            putBack = look();
    });
    slow.start(kSlowMs);

    // A server that sends nothing leaves the user looking at a busy window: say what it waits for.
    QTimer quiet;
    quiet.setSingleShot(true);
    bool noted = false;
    const auto note = [this, &noted](bool on) {
        if (noted == on || !m_token || !m_token->m_onWaiting)
            return;
        noted = on;
        m_token->m_onWaiting(on ? QStringLiteral("Waiting for %1 ... (Escape stops)").arg(m_waitingFor) : QString());
    };
    if (!m_waitingFor.isEmpty()) {
        QObject::connect(&quiet, &QTimer::timeout, [&note] { note(true); });
        quiet.start(kQuietMs);
    }

    if (m_token && m_token->m_stopWhen && m_token->m_stopWhen())
        stop();
    while (!m_stopped && !ready()) {
        loop.exec();
        if (!m_waitingFor.isEmpty() && !m_stopped && !ready()) {
            note(false);
            quiet.start(kQuietMs);
        }
    }
    note(false);

    if (putBack)
        putBack();
    std::erase(activeWaits(), this);
    m_loop = nullptr;
    return ready();
}

void Wait::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (m_loop)
        m_loop->quit();
    if (m_onStop)
        m_onStop();
}

void Wait::wakeAll()
{
    for (Wait *w : activeWaits())
        if (w->m_loop)
            w->m_loop->quit();
}

void Wait::setLastingLook(LastingLook look)
{
    lastingLook() = std::move(look);
}

int Wait::depth()
{
    return int(activeWaits().size());
}

} // namespace db
