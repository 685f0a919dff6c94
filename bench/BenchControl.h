#pragma once

#include "hlTabulon/hlTabulon.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include "BenchRuns.h"

#include <functional>
#include <memory>

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
// what the user sees, not only the command.
inline bool settle(QWidget *screen)
{
    struct Watch : QObject {
        QWidget *screen = nullptr;
        bool painted = false;
        int activity = 0;
        bool eventFilter(QObject *object, QEvent *event) override
        {
            switch (event->type()) {
            case QEvent::Paint:
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

// Alternating runs of a view's refresh and of its grouping statement alone, fetched whole through
// the data layer: ours first, then the peer, `runs` times, after one untimed pair that warms the
// page cache and the connection for both.
struct ViewBesidePlain {
    Runs view;
    Runs plain;
    std::size_t plainRows = 0;
    bool ok = true;
};

inline ViewBesidePlain viewBesidePlain(const std::shared_ptr<db::Connection> &conn, const QString &plain,
                                       const std::function<bool()> &refresh, int runs)
{
    ViewBesidePlain r;
    auto plainFetch = [&] {
        QElapsedTimer t;
        t.start();
        auto rs = db::Recordset::create();
        rs->Open(plain, conn);
        rs->fetchAll();
        r.plainRows = rs->fetchedCount();
        return ms(t);
    };
    auto viewRefresh = [&] {
        QElapsedTimer t;
        t.start();
        r.ok = refresh() && r.ok;
        return ms(t);
    };
    viewRefresh();
    plainFetch();
    for (int run = 0; run < runs; ++run) {
        r.view.ms.push_back(viewRefresh());
        r.plain.ms.push_back(plainFetch());
    }
    return r;
}

} // namespace bench
