#pragma once

#include "hlTabulon/LibraryState.h"
#include "core/ControlAccess.h"
#include "core/OperationFrame.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"
#include "hlTabulon/hlTabulon.h"

#include "Faultdesk/ErrorState.h"
#include "Faultdesk/ModalRunner.h"
#include "PaneDivider/Splitter.h"
#include "hlQueryMenu/qryMenu.h"
#include "SqliteWriter.h"
#include "PostgresOdbc.h"
#include "TestSupport.h"
#include "chart/ChartView.h"
#include "db/Connection.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "settings/SettingsStore.h"
#include "ui/CommonDialog.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QCoreApplication>
#include <QDialog>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTest>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <ostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Readable failure messages for Qt strings.
inline std::ostream &operator<<(std::ostream &os, const QString &text)
{
    return os << text.toStdString();
}

namespace tabtest {

// A failure the control reported, through its event or straight to the error object.
struct Report {
    QString procedure;
    QString description;
};

// Every test starts from a fresh process as far as the library can tell: an empty in-memory
// settings store, the first-start option values, no abort, no delimiter, prompts scripted and
// error windows recorded and closed at once.
class ControlTest : public ::testing::Test {
protected:
    ControlTest()
    {
        analysis::resetOptions();
        analysis::g_blnAbort = false;
        analysis::g_blnErrorRouting = false;
        analysis::g_strDelimiter.clear();
        faultdesk::resetErrorState();
        faultdesk::setModalRunner([this](QDialog &dialog) {
            const faultdesk::ErrorState &st = faultdesk::errorState();
            errorWindows.push_back({st.lastProcName, st.lastDescription});
            dialog.reject();
        });
    }
    ~ControlTest() override
    {
        faultdesk::setModalRunner({});
        analysis::setModalRunner({});
        analysis::releaseErrorObject();
    }

    settings::SettingsStore &store() { return m_store.store(); }
    QString stored(const QString &section, const QString &key)
    {
        return store().GetSetting(analysis::settingsApplication(), section, key, QStringLiteral("<missing>"));
    }

    // Reports raised through Faultdesk by a control.
    void watch(hlTabulon &control)
    {
        QObject::connect(&control, &hlTabulon::Faultdesk, &control, [this](const QString &sub, const QString &text) {
            events.push_back({sub, text});
        });
    }

    // A control of type Control on `connection` with `sql` (of data type `type` where given), its
    // reports watched, shown at `size`.
    template <class Control>
    std::unique_ptr<Control> shown(const std::shared_ptr<db::Connection> &connection, const QString &sql,
                                   QSize size = QSize(800, 500), std::optional<hlTabulon::tbDataType> type = {})
    {
        auto control = std::make_unique<Control>();
        watch(*control);
        control->SQL(sql);
        if (type)
            control->DataType(*type);
        control->adoConnection(connection);
        control->resize(size);
        control->show();
        return control;
    }

    // `control` as the view tests have it: on `connection` with `statement` (names in double
    // quotes), shown at 1200 x 700, its reports watched, switched to `view`.
    template <class Control>
    void openView(Control &control, const std::shared_ptr<db::Connection> &connection, const QString &statement,
                  hlTabulon::tbView view)
    {
        watch(control);
        control.adoConnection(connection);
        control.Delimiter(QStringLiteral("\""));
        control.SQL(statement);
        control.resize(1200, 700);
        control.show();
        ASSERT_TRUE(control.LoadedOK());
        ASSERT_TRUE(control.Change_View(view));
    }

    std::vector<Report> events;
    std::vector<Report> errorWindows;

private:
    settings::ScopedSettingsStore m_store = settings::SettingsStore::useMemory();
    ui::ScriptedPrompts m_prompts;
    ui::ScriptedDialogs m_dialogs; // open and save dialogs are cancelled unless a test queues a file
};

// Real input on a results grid and its column menu. A right-button click on a data cell (row
// from 1, scrolled into view first) or on a column's header:
inline void rightClickCell(grid::Grid &g, int row, int c)
{
    QTableView *view = g.view();
    view->scrollTo(view->model()->index(row - 1, c));
    const QRect cell = view->visualRect(view->model()->index(row - 1, c));
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, cell.center());
}
inline void rightClickHeader(grid::Grid &g, int c)
{
    QHeaderView *header = g.view()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::RightButton, {}, at);
}
// An item's letter, typed where the menu's focus is.
inline void pressInMenu(QWidget &menu, int key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget *target = QApplication::focusWidget();
    if (!target || !menu.isAncestorOf(target))
        target = &menu;
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

// A toolbar button clicked as the user clicks it; one the user could not click (hidden or off) is
// a failure, and nothing happens.
inline void clickButton(ui::KeyedToolBar &bar, const QString &key)
{
    ui::ToolBarButton &button = bar.Buttons(key);
    if (!button.Visible() || !button.Enabled() || !bar.isEnabled()) {
        ADD_FAILURE() << "the button " << key.toStdString() << " cannot be clicked now";
        return;
    }
    button.action()->trigger();
}

// Lets the event loop run for about `ms` milliseconds, or until `done` says so.
inline void pump(int ms, const std::function<bool()> &done = {})
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done && done())
            return;
    }
}

// A child control of a control, found by the name the control gave it.
template <typename T>
T *part(const QObject &control, const char *name)
{
    T *found = control.findChild<T *>(QLatin1String(name));
    // The column menu and the analysis views' parts are made on first use; asking for one is a use.
    if (auto *tab = qobject_cast<const hlTabulon *>(&control); !found && tab) {
        hlTabulon &made = const_cast<hlTabulon &>(*tab);
        if (qstrcmp(name, "qryMenu") == 0)
            analysis::ControlAccess::columnMenu(made);
        else
            analysis::ControlAccess::makeViews(made);
        found = control.findChild<T *>(QLatin1String(name));
    }
    if (!found)
        ADD_FAILURE() << "the control has no part named " << name;
    return found;
}
// Numbered parts ("cboSumCol0", "cboSumCol1", ...), in order.
template <typename T, std::size_t N>
std::array<T *, N> parts(const QObject &control, const char *prefix)
{
    std::array<T *, N> found{};
    for (std::size_t i = 0; i < N; ++i)
        found[i] = part<T>(control, (QByteArray(prefix) + QByteArray::number(qulonglong(i))).constData());
    return found;
}

// The control's tool window of type T (find, details, notes, SQL error) once it was opened; a
// control holds one of each at the most.
template <typename T>
T *toolWindow(const QObject &control)
{
    const QList<T *> windows = control.findChildren<T *>();
    if (windows.size() > 1)
        ADD_FAILURE() << "the control holds " << windows.size() << " windows of one kind";
    return windows.size() == 1 ? windows.front() : nullptr;
}

// True once the window is active and the keyboard is really in it: activation comes first, and a
// key pressed between the two goes to the widget that had the focus before.
inline bool waitForKeyboard(const QWidget *window)
{
    return QTest::qWaitFor([window] {
        return window->isActiveWindow() && QApplication::focusWidget() && QApplication::focusWidget()->window() == window;
    }, 60000);
}

// Asks the control for a view as a host does; true when the view asked for is the one shown.
// The query a control runs and shows: its statement, results, filters and sort order.
inline analysis::QueryRunner &runnerOf(hlTabulon &control) { return analysis::ControlAccess::runner(control); }
inline const analysis::QueryRunner &runnerOf(const hlTabulon &control)
{
    return analysis::ControlAccess::runner(control);
}

inline bool showView(hlTabulon &control, hlTabulon::tbView view)
{
    control.setStCurrentView(view);
    return control.CurrentView() == view;
}

// Column-menu filters as the user sets them on a control's results. The control's window is made
// the active one first (the menu closes when the focus leaves it), then the right button opens the
// menu on the cell. Each gives true when the filter took a new condition (its history grew).
inline int filterHistory(hlTabulon &control)
{
    return part<ui::KeyedToolBar>(control, "tlbResults")->Buttons(QStringLiteral("RemoveFilter")).ButtonMenus().Count();
}
inline bool openColumnMenu(hlTabulon &control, int row, int col)
{
    control.activateWindow();
    if (!QTest::qWaitForWindowActive(&control))
        ADD_FAILURE() << "the control's window did not become active";
    rightClickCell(*part<grid::Grid>(control, "grdResults"), row, col);
    if (!part<::qryMenu>(control, "qryMenu")->isVisible()) {
        ADD_FAILURE() << "no column menu on row " << row << ", column " << col;
        return false;
    }
    return true;
}
// "Filter by Selection" (or "Filter Excluding Selection") on the cell at (row, col), row from 1.
inline bool filterByCell(hlTabulon &control, int row, int col, bool equal = true)
{
    const int before = filterHistory(control);
    if (!openColumnMenu(control, row, col))
        return false;
    pressInMenu(*part<::qryMenu>(control, "qryMenu"), equal ? Qt::Key_S : Qt::Key_X);
    return filterHistory(control) > before;
}
// A value typed into "Filter for:" and confirmed with Enter, the menu opened on the column's
// first row.
inline bool filterFor(hlTabulon &control, int col, const QString &text)
{
    const int before = filterHistory(control);
    if (!openColumnMenu(control, 1, col))
        return false;
    QLineEdit *box = part<::qryMenu>(control, "qryMenu")->txtFilter();
    box->setFocus(Qt::MouseFocusReason);
    box->setText(text);
    QTest::keyClick(box, Qt::Key_Return);
    return filterHistory(control) > before;
}
// The results toolbar's Remove Filter button, clicked while it is offered; true when no filter is
// left.
inline bool removeFilter(hlTabulon &control)
{
    auto *bar = part<ui::KeyedToolBar>(control, "tlbResults");
    if (bar->Buttons(QStringLiteral("RemoveFilter")).Visible())
        clickButton(*bar, QStringLiteral("RemoveFilter"));
    return runnerOf(control).filter().isEmpty() && filterHistory(control) == 0;
}

// The control with the steps of its later parts stood in by recorders, so that the frame's
// orderings, states and switches can be observed in every view. Its parts are found by name.
class FrameTabulon : public hlTabulon {
public:
    explicit FrameTabulon(QWidget *parent = nullptr) : hlTabulon(parent)
    {
        analysis::ControlAccess::setSteps(*this, &m_recorder);
    }
    ~FrameTabulon() override { analysis::ControlAccess::setSteps(*this, nullptr); }

    bool Change_View(tbView view) { return showView(*this, view); }
    QString identifierDelimiter() const { return runnerOf(*this).delimiter(); }

    ui::KeyedToolBar *const tlbMain = part<ui::KeyedToolBar>(*this, "tlbMain");
    ui::KeyedToolBar *const tlbResults = part<ui::KeyedToolBar>(*this, "tlbResults");
    ui::KeyedToolBar *const tlbChart = part<ui::KeyedToolBar>(*this, "tlbChart");
    ui::KeyedToolBar *const tlbChart2 = part<ui::KeyedToolBar>(*this, "tlbChart2");
    ui::KeyedToolBar *const tlbSummary = part<ui::KeyedToolBar>(*this, "tlbSummary");
    ui::KeyedToolBar *const tlbSummary2 = part<ui::KeyedToolBar>(*this, "tlbSummary2");
    ui::KeyedToolBar *const tlbXTab = part<ui::KeyedToolBar>(*this, "tlbXTab");
    ui::KeyedToolBar *const tlbXTab2 = part<ui::KeyedToolBar>(*this, "tlbXTab2");
    Splitter *const hlSplitResults = part<Splitter>(*this, "hlSplitResults");
    Splitter *const hlSplitChart = part<Splitter>(*this, "hlSplitChart");
    Splitter *const hlSplitSummary = part<Splitter>(*this, "hlSplitSummary");
    Splitter *const hlSplitXTab = part<Splitter>(*this, "hlSplitXTab");
    QPlainTextEdit *const txtResultsSQL = part<QPlainTextEdit>(*this, "txtResultsSQL");
    QPlainTextEdit *const txtChartSQL = part<QPlainTextEdit>(*this, "txtChartSQL");
    QPlainTextEdit *const txtSummarySQL = part<QPlainTextEdit>(*this, "txtSummarySQL");
    QPlainTextEdit *const txtXTabSQL = part<QPlainTextEdit>(*this, "txtXTabSQL");
    grid::Grid *const grdResults = part<grid::Grid>(*this, "grdResults");
    grid::Grid *const grdSummary = part<grid::Grid>(*this, "grdSummary");
    grid::Grid *const grdXTab = part<grid::Grid>(*this, "grdXTab");
    chart::ChartView *const chChart = part<chart::ChartView>(*this, "chChart");
    const std::array<QSlider *, 2> sldChart = parts<QSlider, 2>(*this, "sldChart");
    ui::StatusPanels *const staStatus = part<ui::StatusPanels>(*this, "staStatus");
    QTimer *const tmrPause = part<QTimer>(*this, "tmrPause");
    QTimer *const tmrRun = part<QTimer>(*this, "tmrRun");
    QTimer *const tmrEsc = part<QTimer>(*this, "tmrEsc");
    ::qryMenu *const qryMenu = part<::qryMenu>(*this, "qryMenu");

    // What the stand-ins were asked, in order ("Refresh_Results", "Get_Fields", ...).
    std::vector<QString> calls;
    int count(const QString &name) const { return int(std::count(calls.begin(), calls.end(), name)); }

    bool resultsAnswer = true;
    bool fieldsAnswer = true;
    bool viewAnswer = true;
    // Run inside a view refresh, within its operation frame.
    std::function<bool(analysis::OperationFrame &)> refreshWork;

private:
    // The stand-ins: each says its name and answers as the test set it.
    struct Recorder : analysis::ControlSteps {
        explicit Recorder(FrameTabulon &tab) : tab(tab) {}
        bool Refresh_Results(bool, bool, bool) override
        {
            tab.calls.push_back(QStringLiteral("Refresh_Results"));
            return tab.refresh() && tab.resultsAnswer;
        }
        bool Show_ResultsCount() override
        {
            tab.calls.push_back(QStringLiteral("Show_ResultsCount"));
            return true;
        }
        bool Refresh_Chart() override { return tab.view(QStringLiteral("Refresh_Chart")); }
        bool Refresh_Summary() override { return tab.view(QStringLiteral("Refresh_Summary")); }
        bool Refresh_XTab() override { return tab.view(QStringLiteral("Refresh_XTab")); }
        bool Get_Fields() override
        {
            tab.calls.push_back(QStringLiteral("Get_Fields"));
            return tab.fieldsAnswer;
        }
        bool Populate_Fields() override
        {
            tab.calls.push_back(QStringLiteral("Populate_Fields"));
            return true;
        }
        bool Set_ChartOptions() override
        {
            tab.calls.push_back(QStringLiteral("Set_ChartOptions"));
            return true;
        }
        FrameTabulon &tab;
    };

    bool view(const QString &name)
    {
        calls.push_back(name);
        return refresh() && viewAnswer;
    }
    bool refresh()
    {
        if (!refreshWork)
            return true;
        analysis::OperationFrame frame(*this, analysis::OperationFrame::Refreshing, QStringLiteral("Refreshing ..."));
        return refreshWork(frame);
    }

    Recorder m_recorder{*this};
};

// A PostgreSQL schema of the test's own, dropped with everything in it at the end.
struct AdminSchema {
    explicit AdminSchema(const char *prefix)
        : name(QStringLiteral("%1_%2").arg(QLatin1String(prefix)).arg(QCoreApplication::applicationPid())),
          admin(db::Connection::create())
    {
        admin->setReadOnly(false);
        admin->Open(testsupport::postgresConnectionString());
        admin->Execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(name));
        admin->Execute(QStringLiteral("CREATE SCHEMA %1").arg(name));
    }
    ~AdminSchema() { admin->Execute(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(name)); }
    // Runs a statement in which %1 stands for the schema's name.
    void exec(const char *sql) { admin->Execute(QString::fromUtf8(sql).arg(name)); }
    QString name;
    std::shared_ptr<db::Connection> admin;
};

// A writable database of the test's own, for tests run on SQLite and on PostgreSQL: a schema on the
// test server (see AdminSchema), or a SQLite file in a temporary folder. A test on PostgreSQL checks
// for the server first (TABULON_REQUIRE_POSTGRES).
class ScratchDatabase {
public:
    // `through`: "SQLite", "PostgreSQL", or either behind "ODBC " (the tables are made with the
    // database's own client; the control reads them through its ODBC driver).
    ScratchDatabase(const QString &through, const char *schemaPrefix)
    {
        const bool odbc = through.startsWith(QLatin1String("ODBC"));
        if (through.endsWith(QLatin1String("PostgreSQL"))) {
            m_schema = std::make_unique<AdminSchema>(schemaPrefix);
            m_prefix = m_schema->name + u'.';
            m_admin = m_schema->admin;
            m_cs = testsupport::postgresConnectionString();
            // Booleans as the driver's bits: as characters (its default) they are typed as text.
            if (odbc)
                m_cs = testsupport::postgresOdbcConnectionString() + QStringLiteral(";BoolsAsChar=0");
        } else {
            const QString file = m_dir.filePath(QStringLiteral("scratch.db"));
            m_cs = QStringLiteral("Provider=SQLite;Data Source=%1").arg(file);
            m_admin = db::Connection::create();
            m_admin->setReadOnly(false);
            m_admin->Open(m_cs);
            if (odbc)
                m_cs = QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1").arg(file);
        }
    }
    static bool postgres(const QString &through) { return through.endsWith(QLatin1String("PostgreSQL")); }
    // What goes before a table's name in statements: the test's schema and a dot on the server.
    QString prefix() const { return m_prefix; }
    // Creates and fills the tables.
    db::Connection &admin() const { return *m_admin; }
    // A connection of its own, as a control is given one.
    std::shared_ptr<db::Connection> connect() const
    {
        auto c = db::Connection::create();
        c->Open(m_cs);
        return c;
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AdminSchema> m_schema;
    std::shared_ptr<db::Connection> m_admin;
    QString m_cs;
    QString m_prefix;
};

// The summary's and the cross-tab's functions, in the order of their function box.
inline const char *const kViewFunctions[] = {"<Count>",        "<% of Total>",   "Sum of --->>>",
                                             "Avg. of --->>>", "Min. of --->>>", "Max. of --->>>"};

// Picks `text` from a combo box's list, as a user does.
inline void pickText(QComboBox *box, const QString &text)
{
    const int at = box->findText(text);
    ASSERT_GE(at, 0) << text;
    box->setCurrentIndex(at);
}

// The control with its chart's parts, found by name.
class ChartTabulon : public hlTabulon {
public:
    bool Change_View(tbView view) { return tabtest::showView(*this, view); }
    const std::array<QComboBox *, 6> cboChartCol = tabtest::parts<QComboBox, 6>(*this, "cboChartCol");
    chart::ChartView *const chChart = tabtest::part<chart::ChartView>(*this, "chChart");
    const std::array<QSlider *, 2> sldChart = tabtest::parts<QSlider, 2>(*this, "sldChart");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    ui::KeyedToolBar *const tlbChart = tabtest::part<ui::KeyedToolBar>(*this, "tlbChart");
    ui::KeyedToolBar *const tlbMain = tabtest::part<ui::KeyedToolBar>(*this, "tlbMain");
    QPlainTextEdit *const txtChartSQL = tabtest::part<QPlainTextEdit>(*this, "txtChartSQL");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");

    chart::ChartData &data() { return chChart->data(); }
    // A chart toolbar button's command, as its click runs it.
    void press(const char *key) { tlbChart->Buttons(QLatin1String(key)).action()->trigger(); }
    // Picks `text` in the chart's picker `index`.
    void pick(int index, const QString &text) { pickText(cboChartCol[std::size_t(index)], text); }
};

class SampleDatabase {
public:
    SampleDatabase()
    {
        std::string error;
        m_ok = m_dir.isValid() &&
               sample::writeSqliteDatabase(std::filesystem::path(path().toStdString()), error);
        m_error = QString::fromStdString(error);
    }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString path() const { return m_dir.filePath(QStringLiteral("Sample.db")); }

    std::shared_ptr<db::Connection> connect() const
    {
        auto c = db::Connection::create();
        c->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(path()));
        return c;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_error;
};

} // namespace tabtest
