#pragma once

#include "hlTabulon/hlTabulon.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include "ui/Prompter.h"

#include "BenchRuns.h"
#include "BenchTable.h"

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

// The analysis control as the benchmarks drive it.
namespace bench {

class BenchTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = findChild<grid::Grid *>(QStringLiteral("grdResults"));

    // Asks for a view as a host does; true when it is the one shown.
    bool showView(tbView view)
    {
        setStCurrentView(view);
        return CurrentView() == view;
    }
    // A part found by the name the control gave it ("grdSummary", "cboXTabCol3", ...).
    template <typename T>
    T *part(const QString &name) const
    {
        return findChild<T *>(name);
    }
    QComboBox *picker(const char *prefix, int index) const
    {
        return part<QComboBox>(QLatin1String(prefix) + QString::number(index));
    }
};

// A control on `conn` with `sql`, shown at 1200 x 800 and laid out. An empty delimiter is chosen by
// the provider.
inline std::unique_ptr<BenchTabulon> shownControl(const std::shared_ptr<db::Connection> &conn, const QString &sql,
                                                  const QString &delimiter = QString())
{
    auto tab = std::make_unique<BenchTabulon>();
    tab->SQL(sql);
    if (!delimiter.isEmpty())
        tab->Delimiter(delimiter);
    tab->adoConnection(conn);
    tab->resize(1200, 800);
    tab->show();
    QCoreApplication::processEvents();
    return tab;
}

// Lets the event loop run as a user's does once a command returns, until the window has settled:
// rounds of pending events until one lays out, updates and paints nothing (at most 100 rounds).
// True when `screen` (the results grid's viewport) was painted meanwhile: the figure then covers
// what the user sees, not only the command. With `clock`, `paintedAt` gets its reading when the
// screen's first paint began.
inline bool settle(QWidget *screen, const QElapsedTimer *clock = nullptr, double *paintedAt = nullptr)
{
    struct Watch : QObject {
        QWidget *screen = nullptr;
        const QElapsedTimer *clock = nullptr;
        double *paintedAt = nullptr;
        bool painted = false;
        int activity = 0;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            switch (event->type()) {
            case QEvent::Paint:
                if (object == screen && !painted && clock && paintedAt)
                    *paintedAt = ms(*clock);
                painted = painted || object == screen;
                [[fallthrough]];
            case QEvent::UpdateRequest:
            case QEvent::UpdateLater:
            case QEvent::LayoutRequest:
            case QEvent::MetaCall:
            case QEvent::Timer:
                ++activity;
                break;
            default:
                break;
            }
            return false;
        }
    } watch;
    watch.screen = screen;
    watch.clock = clock;
    watch.paintedAt = paintedAt;
    QCoreApplication::instance()->installEventFilter(&watch);
    for (int round = 0; round < 100; ++round) {
        watch.activity = 0;
        QCoreApplication::processEvents();
        if (watch.activity == 0)
            break;
    }
    QCoreApplication::instance()->removeEventFilter(&watch);
    return watch.painted;
}

// A user's Escape at atMs into refresh (on target, the question it asks answered Yes): the time
// from the key to the refresh's return, in ms, nothing when the refresh ended before it; *stopped
// tells whether the refresh was stopped by it. The key itself waits for the event loop's next
// turn, as a real one does.
inline std::optional<double> escapeAnswered(const std::function<bool()> &refresh, QWidget *target, int atMs,
                                            bool *stopped)
{
    const ui::ScriptedPrompts prompts;
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    bool pressed = false;
    QTimer press;
    press.setSingleShot(true);
    press.setTimerType(Qt::PreciseTimer);
    QObject::connect(&press, &QTimer::timeout, [&] {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &up);
        pressed = true;
    });
    QElapsedTimer t;
    t.start();
    press.start(atMs);
    const bool whole = refresh();
    const double end = ms(t);
    *stopped = pressed && !whole;
    if (!pressed)
        return std::nullopt;
    return end - atMs;
}

// Escape pressed at a quarter, half and three quarters of `typicalMs` into refresh, in turn: a line
// saying when each was answered, and the times of those pressed before the refresh ended.
inline Runs escapesAnswered(const std::function<bool()> &refresh, QWidget *target, double typicalMs)
{
    Runs answered;
    QString said;
    for (const double at : {0.25, 0.5, 0.75}) {
        bool stopped = false;
        const std::optional<double> took = escapeAnswered(refresh, target, int(typicalMs * at), &stopped);
        if (took)
            answered.ms.push_back(*took);
        said += took ? QStringLiteral(" %1 ms%2;").arg(*took, 0, 'f', 0).arg(stopped ? "" : " (not stopped)")
                     : QStringLiteral(" ended before the key;");
    }
    std::printf("Escape at 1/4, 1/2, 3/4 of the refresh, answered after:%s\n", qPrintable(said));
    return answered;
}

// Alternating runs of a view's refresh and of its grouping statement alone, prepared and stepped
// through SQLite's C API on a connection of its own (kept open, as the view's is), every value
// read: ours first, then the floor, `runs` times, after one untimed pair that warms the page cache
// and the connections for both.
struct ViewBesidePlain {
    Runs view;
    Runs plain;
    Runs stalls; // the longest stall of the interface thread in each of the view's runs
    std::size_t plainRows = 0;
    bool ok = true;
};

inline ViewBesidePlain viewBesidePlain(const QString &database, const QString &plain,
                                       const std::function<bool()> &refresh, int runs)
{
    ViewBesidePlain r;
    sqlite3 *raw = nullptr;
    check(sqlite3_open_v2(database.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr), raw);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    const QByteArray sql = plain.toUtf8();
    auto plainFetch = [&] {
        QElapsedTimer t;
        t.start();
        sqlite3_stmt *s = nullptr;
        check(sqlite3_prepare_v2(raw, sql.constData(), -1, &s, nullptr), raw);
        std::unique_ptr<sqlite3_stmt, StmtCloser> stmt(s);
        volatile long long sink = 0;
        const int cols = sqlite3_column_count(s);
        std::size_t rows = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < cols; ++c) {
                switch (sqlite3_column_type(s, c)) {
                case SQLITE_INTEGER: sink = sink + sqlite3_column_int64(s, c); break;
                case SQLITE_FLOAT: sink = sink + static_cast<long long>(sqlite3_column_double(s, c)); break;
                case SQLITE_TEXT: sink = sink + sqlite3_column_bytes(s, c); break;
                default: break;
                }
            }
        }
        r.plainRows = rows;
        return ms(t);
    };
    double stall = 0;
    auto viewRefresh = [&] {
        double took = 0;
        r.ok = watchStalls(
                   [&] {
                       QElapsedTimer t;
                       t.start();
                       const bool ok = refresh();
                       took = ms(t);
                       return ok;
                   },
                   &stall)
            && r.ok;
        return took;
    };
    viewRefresh();
    plainFetch();
    for (int run = 0; run < runs; ++run) {
        r.view.ms.push_back(viewRefresh());
        r.stalls.ms.push_back(stall);
        r.plain.ms.push_back(plainFetch());
    }
    return r;
}

} // namespace bench
