// Figures for the analysis control's results pipeline on the 1,000,000-row, 8-column table:
// Refresh_Results until the first screen is painted, and "move last" until the row count is final.
#include "core/LibraryState.h"
#include "core/hlTabulon.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QElapsedTimer>

#include "BenchTable.h"

#include <cstdio>

namespace {

constexpr int kRows = 1000000;

class BenchTabulon : public hlTabulon {
public:
    using hlTabulon::grdResults;
    using hlTabulon::m_rsResults;
};

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The user's own settings stay untouched.
    const settings::ScopedSettingsStore store = settings::SettingsStore::useMemory();

    std::printf("preparing %d-row table ...\n", kRows);
    const QString path = bench::preparedDatabase(QStringLiteral("bench_grid.db"), {{"big", kRows}}, 7);
    auto conn = db::Connection::create();
    conn->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(path));

    BenchTabulon tab;
    tab.SQL(QStringLiteral("SELECT id, qty, code, price, weight, name, city, day FROM big"));
    tab.adoConnection(conn);
    tab.resize(1200, 800);
    tab.show();
    QCoreApplication::processEvents();

    QElapsedTimer t;
    t.start();
    const bool ran = tab.Refresh_Results(false, false, false);
    tab.grdResults->view()->viewport()->repaint();
    std::printf("Refresh_Results until the first screen: %.1f ms (%s, %zu rows fetched)\n", ms(t),
                ran ? "ok" : "FAILED", tab.m_rsResults ? tab.m_rsResults->fetchedCount() : std::size_t(0));

    t.restart();
    const bool moved = tab.Move_Record(false);
    tab.grdResults->view()->viewport()->repaint();
    std::printf("move last until the row count is final: %.1f ms (%s, %d rows)\n", ms(t), moved ? "ok" : "FAILED",
                tab.ResultsRows());
    tab.UnloadFlter();
    return ran && moved ? 0 : 1;
}
