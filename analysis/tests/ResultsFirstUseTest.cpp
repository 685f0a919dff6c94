// The results as a new user meets them: the row the column menu shows, copying a whole column of
// a long result, empty results, the read-only SQL box, the filter state of in-memory results, the
// save dialog's names, progress on long grids, a broken wallpaper setting and the date picker.
#include "TabulonTestSupport.h"

#include "dialogs/frmDetails.h"
#include "dialogs/frmFind.h"
#include "dialogs/frmParameters.h"

#include "db/Command.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "hlQueryMenu/qryMenu.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <sqlite3.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace tabtest;

namespace {

// Rows held back where the test says: while one stands, every SQLite connection opened gets the
// function held(x), true for every x; at x == `at` it waits until the test lets the rows go, so a
// statement filtered by it certainly has rows still to come once reached() says so. Letting go is
// for good, and the end of the test lets go too.
class HeldRows {
public:
    explicit HeldRows(sqlite3_int64 at)
    {
        {
            std::lock_guard lock(s_mutex);
            s_at = at;
            s_released = false;
        }
        s_reached = false;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&addFunction));
    }
    ~HeldRows()
    {
        release();
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&addFunction));
    }
    HeldRows(const HeldRows &) = delete;
    HeldRows &operator=(const HeldRows &) = delete;

    bool reached() const { return s_reached; }
    void release()
    {
        {
            std::lock_guard lock(s_mutex);
            s_released = true;
        }
        s_changed.notify_all();
    }

private:
    static int addFunction(sqlite3 *db, char **, const sqlite3_api_routines *)
    {
        return sqlite3_create_function_v2(db, "held", 1, SQLITE_UTF8, nullptr, &held, nullptr, nullptr, nullptr);
    }
    static void held(sqlite3_context *context, int, sqlite3_value **argv)
    {
        std::unique_lock lock(s_mutex);
        if (!s_released && sqlite3_value_int64(argv[0]) == s_at) {
            s_reached = true;
            s_changed.wait(lock, [] { return s_released; });
        }
        sqlite3_result_int(context, 1);
    }

    // Shared with the connections' function, which may outlive the test in a connection pool.
    static inline std::mutex s_mutex;
    static inline std::condition_variable s_changed;
    static inline sqlite3_int64 s_at = 0;
    static inline bool s_released = true;
    static inline std::atomic<bool> s_reached = false;
};

class UseTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ::qryMenu *const qryMenu = tabtest::part<::qryMenu>(*this, "qryMenu");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

class FirstUse : public ControlTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_sample.ok()) << m_sample.error(); }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
    }

    void start(const std::shared_ptr<db::Connection> &connection, const QString &sql, bool openSQL = false)
    {
        tab = std::make_unique<UseTabulon>();
        watch(*tab);
        tab->SQL(sql);
        tab->OpenSQL(openSQL);
        tab->adoConnection(connection);
        tab->resize(1000, 700);
        tab->show();
        tab->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(tab.get()));
        ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    }

    // A table of `rows` numbered rows in a file of its own.
    std::shared_ptr<db::Connection> numbers(int rows)
    {
        auto c = db::Connection::create();
        c->setReadOnly(false);
        c->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_dir.filePath(QStringLiteral("n.db"))));
        c->Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS n AS WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL "
                                  "SELECT x + 1 FROM s WHERE x < %1) SELECT x AS id, 'row ' || x AS name FROM s")
                       .arg(rows));
        c->Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS empty (id INTEGER, name TEXT, paid BOOLEAN)"));
        return c;
    }

    // The parameters dialog on `cmd`, shown and active as the user meets it.
    static void showParameters(frmParameters &dlg, db::Command &cmd)
    {
        dlg.setAdoCommand(&cmd);
        dlg.resize(600, 400);
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    grid::Grid &grid() { return *tab->grdResults; }
    ::qryMenu &menu() { return *tab->qryMenu; }
    void rightClickCell(int row, int c) { tabtest::rightClickCell(grid(), row, c); }
    void rightClickHeader(int c) { tabtest::rightClickHeader(grid(), c); }
    void press(int key) { pressInMenu(menu(), key); }
    // Copy (C) in the open column menu, stopped by the user: once the copy is busy (and its rows
    // reached the held one, where rows are held), Escape is pressed and its question answered Yes,
    // at once or `delayMs` later; the held rows are let go right after the answer.
    void copyAndStop(int delayMs, HeldRows *held = nullptr)
    {
        auto stop = [this, held] {
            ui::Prompter::queueAnswer(ui::MsgResult::Yes);
            tab->Check_ESC();
            if (held)
                held->release();
        };
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, [&] {
            if (tab->hasBusyMark() && (!held || held->reached())) { // the copy runs, waiting for rows
                stopper.stop();
                if (delayMs == 0)
                    stop();
                else
                    QTimer::singleShot(delayMs, tab.get(), stop);
            }
        });
        stopper.start(1);
        press(Qt::Key_C);
        stopper.stop();
    }
    // The current results saved as an XML document and opened again, as a document, in a new
    // control: its rows are held in memory.
    void reopenAsXml()
    {
        const QString xml = m_dir.filePath(QStringLiteral("c.xml"));
        runnerOf(*tab).results()->Save(xml);
        tab->UnloadFlter();
        tab = std::make_unique<UseTabulon>();
        watch(*tab);
        tab->OpenSQL(true);
        tab->resize(1000, 700);
        tab->show();
        ASSERT_TRUE(tab->Open_SQL(xml));
        ASSERT_TRUE(tab->Refresh());
    }
    frmDetails *details() { return tabtest::toolWindow<frmDetails>(*tab); }

    QTemporaryDir m_dir;
    SampleDatabase m_sample;
    std::unique_ptr<UseTabulon> tab;
};

} // namespace

TEST_F(FirstUse, ViewRowShowsTheRowThatWasClicked)
{
    start(m_sample.connect(), QStringLiteral("SELECT \"CategoryID\", \"CategoryName\" FROM \"Categories\" ORDER BY 1"));
    ASSERT_GE(grid().Rows(), 8);
    rightClickCell(6, 1);
    ASSERT_TRUE(menu().isVisible());
    // The status bar says where the click put the user, as a left click would.
    EXPECT_EQ(tab->staStatus->Panels(4).Text(), QStringLiteral(" Col 2 of 2"));
    EXPECT_TRUE(tab->staStatus->Panels(5).Text().startsWith(QStringLiteral(" Row 6")))
        << tab->staStatus->Panels(5).Text();
    press(Qt::Key_Escape);
    rightClickHeader(0);
    EXPECT_EQ(tab->staStatus->Panels(4).Text(), QStringLiteral(" Col 1 of 2"));
    EXPECT_TRUE(tab->staStatus->Panels(5).Text().startsWith(QStringLiteral(" Row 1")))
        << tab->staStatus->Panels(5).Text();
    press(Qt::Key_Escape);
    rightClickCell(6, 1);
    QTest::mouseClick(menu().lblMenu(14), Qt::LeftButton); // " View R&ow"
    ASSERT_NE(details(), nullptr);
    EXPECT_EQ(details()->grdDetails->TextMatrix(1, 1), grid().TextMatrix(6, 0)) << "not the first record";
    EXPECT_EQ(details()->grdDetails->TextMatrix(2, 1), grid().TextMatrix(6, 1));

    // Its neighbours are the grid's neighbours.
    ASSERT_TRUE(details()->Move_Record(2));
    EXPECT_EQ(details()->grdDetails->TextMatrix(1, 1), grid().TextMatrix(7, 0));

    // The window is wide enough for its values: none is cut off while the window has room.
    grid::Grid &g = *details()->grdDetails;
    const int valuePx = ui::Twips::toPixelsX(g.ColWidth(1), &g);
    const QFontMetrics fm(g.font());
    for (int r = 1; r < g.Rows(); ++r)
        EXPECT_GE(valuePx, fm.horizontalAdvance(g.TextMatrix(r, 1))) << g.TextMatrix(r, 0).toStdString();
    EXPECT_GE(ui::Twips::toPixelsX(g.ColWidth(0), &g) + valuePx, g.view()->viewport()->width() - 1)
        << "the values take the window's width";
    EXPECT_TRUE(events.empty());
}

TEST_F(FirstUse, ViewRowFollowsTheGridsOwnSortOfInMemoryRows)
{
    start(m_sample.connect(), QStringLiteral("SELECT \"CategoryID\", \"CategoryName\" FROM \"Categories\" ORDER BY 1"));
    ASSERT_NO_FATAL_FAILURE(reopenAsXml());
    // The grid sorts its copy of the rows (descending by name); row 2 is no longer record 2.
    rightClickCell(2, 1);
    press(Qt::Key_D);
    const QString id = grid().TextMatrix(2, 0);
    rightClickCell(2, 1);
    QTest::mouseClick(menu().lblMenu(14), Qt::LeftButton);
    ASSERT_NE(details(), nullptr);
    EXPECT_EQ(details()->grdDetails->TextMatrix(1, 1), id);
    EXPECT_EQ(details()->grdDetails->TextMatrix(2, 1), grid().TextMatrix(2, 1));
    EXPECT_TRUE(events.empty());
}

TEST_F(FirstUse, CopyingAWholeColumnCopiesEveryRowOrNothing)
{
    constexpr int kRows = 60000;
    // Row 1000 on waits for the test: the stop below certainly comes while rows are to come,
    // however fast the rest would be fetched.
    HeldRows held(1000);
    start(numbers(kRows), QStringLiteral("SELECT * FROM n WHERE held(id)"));
    ASSERT_LT(runnerOf(*tab).results()->fetchedCount(), std::size_t(kRows)) << "only the first rows are in";
    QClipboard *clip = QApplication::clipboard();

    // Escape's Yes while the rest is fetched: nothing is copied, not the rows fetched so far.
    // The question comes while the copy waits for the held rows; they are let go once it is
    // answered, within the time a stopped fetch call is given to end on its own.
    clip->setText(QStringLiteral("kept"));
    rightClickHeader(1);
    ASSERT_TRUE(menu().isVisible());
    copyAndStop(0, &held);
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Cancel copying to Clipboard?"));
    EXPECT_EQ(clip->text(), QStringLiteral("kept"));
    EXPECT_FALSE(tab->isBusy());
    ASSERT_LT(runnerOf(*tab).results()->fetchedCount(), std::size_t(kRows)) << "stopped while the rows came";

    // Left to run: every row of the column, the progress bar shown on the way. The stop left the
    // statement whole, so the rest of the rows still come. The bar's show is caught however short
    // the copy: a poll may never tick meanwhile.
    // Shown, even while its window is not.
    testsupport::EventCounter progressShown{QEvent::Show, QEvent::ShowToParent};
    tab->staStatus->progressBar()->installEventFilter(&progressShown);
    rightClickHeader(1);
    press(Qt::Key_C);
    tab->staStatus->progressBar()->removeEventFilter(&progressShown);
    const bool progressSeen = progressShown.count > 0;
    const QStringList lines = clip->text().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), kRows);
    EXPECT_EQ(lines.front(), QStringLiteral("row 1\t"));
    EXPECT_EQ(lines.back(), QStringLiteral("row %1").arg(kRows));
    EXPECT_TRUE(progressSeen);
    EXPECT_FALSE(tab->staStatus->progressVisible()) << "hidden at the end";
    EXPECT_EQ(grid().RowSel(), kRows) << "the selection shows what was copied";

    // A few rows picked by hand fetch nothing more.
    ASSERT_TRUE(tab->Refresh_Results(false, false, false));
    const std::size_t fetched = runnerOf(*tab).results()->fetchedCount();
    grid().setFocus();
    grid().Select(2, 0, 4, 1);
    ASSERT_TRUE(tab->Copy_Sel(false));
    EXPECT_EQ(clip->text(), QStringLiteral("2\trow 2\t\r\n3\trow 3\t\r\n4\trow 4"));
    EXPECT_EQ(runnerOf(*tab).results()->fetchedCount(), fetched);
    EXPECT_TRUE(events.empty());
}

// A stop that had to cancel the statement (its call never ends on its own) ends the result for
// good. The user's own stop stays silent; a later whole-column copy or Move Last cannot have every
// row and says so, and the clipboard keeps what it had.
TEST_F(FirstUse, RowsLostToAnEarlierStopAreReportedNotSkipped)
{
    // 128 rows, a first chunk exactly, then a part that runs until it is cancelled.
    start(numbers(128), QStringLiteral("SELECT id, name FROM n UNION ALL SELECT x, 'never' FROM (WITH RECURSIVE "
                                       "c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c WHERE x < 0)"));
    const std::shared_ptr<db::Recordset> rs = runnerOf(*tab).results();
    ASSERT_EQ(rs->fetchedCount(), 128u);
    QClipboard *clip = QApplication::clipboard();
    clip->setText(QStringLiteral("kept"));

    // Yes to the copy's question while the endless call runs: past the grace it is cancelled.
    rightClickHeader(1);
    ASSERT_TRUE(menu().isVisible());
    copyAndStop(100);
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(clip->text(), QStringLiteral("kept"));
    EXPECT_TRUE(errorWindows.empty()) << "the user's own stop is no failure";
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return rs->fetchError().has_value(); }, 60000));
    ASSERT_TRUE(rs->fetchError()->isCancelled());

    const QString lost = QStringLiteral("Not every row could be read: the query was stopped before its last rows "
                                        "came. Refresh to read them all.");
    rightClickHeader(1);
    press(Qt::Key_C);
    ASSERT_EQ(errorWindows.size(), 1u);
    EXPECT_EQ(errorWindows[0].procedure, QStringLiteral("Copy_Sel"));
    EXPECT_EQ(errorWindows[0].description, lost);
    EXPECT_EQ(clip->text(), QStringLiteral("kept")) << "no part copied as if it were the whole";
    EXPECT_FALSE(tab->isBusy());

    EXPECT_FALSE(tab->Move_Record(false));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("Move_Record"));
    EXPECT_EQ(events[0].description, lost);
    EXPECT_EQ(grid().Rows(), 129) << "the rows read stay";
    EXPECT_EQ(ui::Prompter::asked().size(), 1u) << "nothing was asked again";
}

TEST_F(FirstUse, FindOverALongGridShowsItsProgress)
{
    start(numbers(60000), QStringLiteral("SELECT * FROM n"));
    ASSERT_TRUE(tab->Move_Record(false)); // every row in: the length is known
    ASSERT_TRUE(tab->ResultsComplete());
    analysis::options().FindText = QStringLiteral("no such text");
    analysis::options().FindCurrentColumn = false;
    int maximum = -1;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (tab->staStatus->progressVisible())
            maximum = tab->staStatus->progressBar()->maximum();
    });
    watcher.start(1);
    ASSERT_TRUE(tab->Find_Item(0));
    watcher.stop();
    EXPECT_EQ(maximum, grid().Rows());
    EXPECT_FALSE(tab->staStatus->progressVisible());
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Search item not found"));
}

TEST_F(FirstUse, AnEmptyResultShowsItsColumns)
{
    start(numbers(3), QStringLiteral("SELECT * FROM empty"));
    ASSERT_EQ(grid().Cols(), 3);
    EXPECT_EQ(grid().Rows(), 1);
    EXPECT_EQ(grid().TextMatrix(0, 0), QStringLiteral("id"));
    EXPECT_EQ(grid().TextMatrix(0, 2), QStringLiteral("paid"));
    // No row, so no current column: the status says how many there are, not "Col 0 of 3".
    EXPECT_EQ(tab->staStatus->Panels(4).Text(), QStringLiteral(" 3 columns"));
    tab->setShowRowCount(true);
    tab->Show_ResultsCount();
    EXPECT_EQ(tab->staStatus->Panels(4).Text(), QStringLiteral(" 3 columns"));
    EXPECT_EQ(tab->staStatus->Panels(5).Text(), QStringLiteral(" 0 of 0"));
    EXPECT_TRUE(events.empty());
}

TEST_F(FirstUse, AReadOnlySqlBoxRefusesAPaste)
{
    const QString sql = QStringLiteral("SELECT * FROM \"Shippers\"");
    start(m_sample.connect(), sql);
    ASSERT_TRUE(tab->txtResultsSQL->isReadOnly());
    QApplication::clipboard()->setText(QStringLiteral("DELETE FROM x"));
    tab->txtResultsSQL->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(tab->txtResultsSQL->hasFocus());
    const QString before = tab->txtResultsSQL->toPlainText();
    EXPECT_TRUE(tab->Paste_Sel());
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), before);

    // An editable box takes it.
    tab->UnloadFlter();
    start(m_sample.connect(), sql, true);
    tab->txtResultsSQL->setFocus();
    QApplication::processEvents();
    tab->txtResultsSQL->moveCursor(QTextCursor::End);
    EXPECT_TRUE(tab->Paste_Sel());
    EXPECT_TRUE(tab->txtResultsSQL->toPlainText().endsWith(QStringLiteral("DELETE FROM x")));
}

TEST_F(FirstUse, AfterClearTheNextStatementIsTypedIntoTheEmptiedBox)
{
    start(m_sample.connect(), QStringLiteral("SELECT \"ShipperID\" FROM \"Shippers\""), true);
    ASSERT_GE(grid().Rows(), 2);
    ui::Prompter::queueAnswer(ui::MsgResult::No);
    ASSERT_TRUE(tab->Clear_Query());
    QWidget *keyboard = QApplication::focusWidget();
    ASSERT_EQ(keyboard, tab->txtResultsSQL) << (keyboard ? keyboard->metaObject()->className() : "none");
    QTest::keyClicks(keyboard, QStringLiteral("SELECT 2"));
    EXPECT_EQ(tab->txtResultsSQL->toPlainText(), QStringLiteral("SELECT 2"));
}

TEST_F(FirstUse, AFilteredXmlDocumentSaysFilterOn)
{
    start(m_sample.connect(), QStringLiteral("SELECT \"CategoryID\", \"CategoryName\" FROM \"Categories\""));
    ASSERT_NO_FATAL_FAILURE(reopenAsXml());
    EXPECT_EQ(tab->staStatus->Panels(3).Text(), QStringLiteral("Filter off"));
    rightClickCell(3, 1);
    press(Qt::Key_S); // Filter by Selection
    ASSERT_EQ(tab->ResultsRows(), 1);
    EXPECT_EQ(tab->staStatus->Panels(3).Text(), QStringLiteral("Filter on"));
    EXPECT_TRUE(events.empty());
}

TEST_F(FirstUse, TheSaveDialogNamesFilesAsTheOpenDialogFindsThem)
{
    FrameTabulon frame;
    watch(frame);
    frame.OpenSQL(true);
    frame.SQL(QStringLiteral("SELECT 1"));
    frame.resize(800, 500);
    frame.show();
    ASSERT_TRUE(frame.LoadedOK());

    // A typed name without an extension is saved as an SQL script, which Open lists.
    const QString typed = m_dir.filePath(QStringLiteral("my query"));
    ui::CommonDialog::queueFile(typed);
    ASSERT_TRUE(frame.Save_SQL());
    EXPECT_TRUE(QFile::exists(typed + QStringLiteral(".sql")));
    EXPECT_FALSE(QFile::exists(typed));
    EXPECT_EQ(runnerOf(frame).fileName(), typed + QStringLiteral(".sql"));
    // A name with its own extension keeps it.
    const QString own = m_dir.filePath(QStringLiteral("q.txt"));
    ui::CommonDialog::queueFile(own);
    ASSERT_TRUE(frame.Save_SQL());
    EXPECT_TRUE(QFile::exists(own));

    // The chart's statement of a page saved as Report.html is proposed as Report_Chart.html.
    ASSERT_TRUE(frame.Change_View(hlTabulon::tbViewChart));
    frame.txtChartSQL->setPlainText(QStringLiteral("SELECT 2"));
    const QString folder = m_dir.path() + QLatin1Char('/');
    for (const auto &[file, proposed] : {std::pair{QStringLiteral("Report.html"), QStringLiteral("Report_Chart.html")},
                                         std::pair{QStringLiteral("Sales.sql"), QStringLiteral("Sales_Chart.sql")},
                                         std::pair{QStringLiteral("a.b.json"), QStringLiteral("a.b_Chart.json")}}) {
        runnerOf(frame).setFileName(folder + file);
        ui::CommonDialog::clearAsked();
        EXPECT_FALSE(frame.Save_SQL()); // cancelled
        ASSERT_NE(ui::CommonDialog::lastAsked(), nullptr);
        EXPECT_EQ(ui::CommonDialog::lastAsked()->file.fileName, folder + proposed);
        EXPECT_EQ(ui::CommonDialog::lastAsked()->file.title, QStringLiteral("Save Chart SQL"));
        EXPECT_EQ(runnerOf(frame).fileName(), folder + file) << "a cancelled save keeps the file";
    }
    frame.UnloadFlter();
}

TEST_F(FirstUse, OpeningAFileWithoutOpenSqlReadsTheFieldsAgain)
{
    FrameTabulon frame;
    watch(frame);
    frame.OpenSQL(false);
    frame.SQL(QStringLiteral("SELECT 1 AS a"));
    frame.resize(800, 500);
    frame.show();
    ASSERT_TRUE(frame.Change_View(hlTabulon::tbViewSummary));
    ASSERT_TRUE(runnerOf(frame).fieldsLoaded());
    const int reads = frame.count(QStringLiteral("Get_Fields"));

    const QString file = m_dir.filePath(QStringLiteral("other.sql"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("SELECT 2 AS b, 3 AS c\r\n");
    }
    ASSERT_TRUE(frame.Open_SQL(file));
    EXPECT_FALSE(runnerOf(frame).fieldsLoaded()) << "another statement: its fields are not the old ones";
    ASSERT_TRUE(frame.Change_View(hlTabulon::tbViewSummary));
    EXPECT_EQ(frame.count(QStringLiteral("Get_Fields")), reads + 1);
    frame.UnloadFlter();
}

TEST_F(FirstUse, AnUnreadableWallpaperCostsOnlyThePicture)
{
    const QString notAPicture = m_dir.filePath(QStringLiteral("wall.png"));
    {
        QFile f(notAPicture);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
    }
    const QString app = analysis::settingsApplication();
    store().SaveSetting(app, QStringLiteral("Results"), QStringLiteral("Wallpaper"), notAPicture);
    store().SaveSetting(app, QStringLiteral("Results"), QStringLiteral("Grid Lines"), QStringLiteral("0"));
    store().SaveSetting(app, QStringLiteral("Main"), QStringLiteral("Toolbar"), QStringLiteral("False"));
    start(m_sample.connect(), QStringLiteral("SELECT * FROM \"Shippers\""));
    EXPECT_TRUE(tab->LoadedOK());
    EXPECT_GE(tab->ResultsRows(), 3) << "the window started and ran its query";
    ASSERT_EQ(events.size() + errorWindows.size(), 1u) << "said once";
    const Report &said = events.empty() ? errorWindows.front() : events.front();
    EXPECT_EQ(said.procedure, QStringLiteral("Set_Options"));
    // The options after the picture still apply.
    EXPECT_EQ(grid().GridLines(), grid::flexGridNone);
    EXPECT_TRUE(grid().WallPaper().isNull());
    EXPECT_TRUE(tab->findChild<QWidget *>(QStringLiteral("tlbMain"))->isHidden());

    // Another window on the same setting starts without a second message.
    events.clear();
    errorWindows.clear();
    tab->UnloadFlter();
    start(m_sample.connect(), QStringLiteral("SELECT * FROM \"Shippers\""));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
}

TEST_F(FirstUse, TheDatePickerClosesWhenTheUserGoesElsewhereAndHandsTheKeyboardBack)
{
    db::Command cmd;
    db::Parameter day;
    day.Name = QStringLiteral("day");
    day.Type = db::adDBDate;
    day.Direction = db::adParamInput;
    db::Parameter n;
    n.Name = QStringLiteral("n");
    n.Type = db::adInteger;
    n.Direction = db::adParamInput;
    cmd.Parameters = {day, n};
    frmParameters dlg;
    showParameters(dlg, cmd);
    if (HasFatalFailure())
        return;
    grid::Grid &g = *dlg.grdParameters;
    QTableView *view = g.view();

    auto openPicker = [&] {
        g.setRow(1);
        g.setCol(2);
        g.EditCell();
        QApplication::processEvents();
        auto *button = g.editor() ? g.editor()->findChild<QToolButton *>() : nullptr;
        ASSERT_NE(button, nullptr) << "a date cell edits with a \"...\" button";
        QTest::mouseClick(button, Qt::LeftButton);
        QApplication::processEvents();
        ASSERT_TRUE(dlg.mtvDate->isVisible());
    };

    // Another cell clicked.
    openPicker();
    const QRect other = view->visualRect(view->model()->index(1, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, other.center());
    QApplication::processEvents();
    EXPECT_FALSE(dlg.mtvDate->isVisible());

    // The focus taken elsewhere (a button of the dialog).
    openPicker();
    dlg.cmdClear->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_FALSE(dlg.mtvDate->isVisible());

    // Escape puts the calendar away, not the dialog, and the grid has the keyboard again.
    auto focusInGrid = [&] {
        QWidget *f = QApplication::focusWidget();
        return f && (f == &g || g.isAncestorOf(f));
    };
    openPicker();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.mtvDate->isVisible());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(focusInGrid());

    // A day clicked is written, closes the calendar and hands the keyboard back to the grid, so
    // that Enter edits the cell rather than pressing a button.
    g.setTextMatrix(1, 2, QStringLiteral("2024-03-05"));
    openPicker();
    auto *days = dlg.mtvDate->findChild<QTableView *>();
    ASSERT_NE(days, nullptr);
    QModelIndex fifteenth;
    for (int r = 0; r < days->model()->rowCount() && !fifteenth.isValid(); ++r)
        for (int c = 0; c < days->model()->columnCount(); ++c)
            if (days->model()->index(r, c).data().toString() == QLatin1String("15"))
                fifteenth = days->model()->index(r, c);
    ASSERT_TRUE(fifteenth.isValid());
    QTest::mouseClick(days->viewport(), Qt::LeftButton, {}, days->visualRect(fifteenth).center());
    QApplication::processEvents();
    EXPECT_FALSE(dlg.mtvDate->isVisible());
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("2024-03-15"));
    EXPECT_TRUE(focusInGrid()) << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none");
    EXPECT_EQ(g.editor(), nullptr) << "the cell's edit ended with the date";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(g.editor(), nullptr);
    EXPECT_EQ(g.EditText(), QStringLiteral("2024-03-15"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(g.editor(), nullptr);
    EXPECT_TRUE(dlg.isVisible());

    // Enter on Clear never wipes the values: it is the default button's, OK's.
    g.setTextMatrix(2, 2, QStringLiteral("7"));
    dlg.cmdClear->setFocus(Qt::TabFocusReason);
    QTest::keyClick(dlg.cmdClear, Qt::Key_Return);
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("2024-03-15"));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(cmd.Parameters[0].Value.toDate(), QDate(2024, 3, 15));
    EXPECT_EQ(cmd.Parameters[1].Value.toInt(), 7);
}

TEST_F(FirstUse, AParameterValueTypedInIsShownWhole)
{
    db::Command cmd;
    db::Parameter day;
    day.Name = QStringLiteral("p_from");
    day.Type = db::adDBDate;
    day.Direction = db::adParamInput;
    day.Size = 6; // bytes of storage, as the server's catalogue gives it
    db::Parameter note = day;
    note.Name = QStringLiteral("p_note");
    note.Type = db::adVarWChar;
    note.Size = 200;
    db::Parameter code = day;
    code.Name = QStringLiteral("p_code");
    code.Type = db::adVarWChar;
    code.Size = 3;
    db::Parameter amount = day;
    amount.Name = QStringLiteral("p_amount");
    amount.Type = db::adNumeric;
    amount.Precision = 5;
    amount.NumericScale = 2;
    cmd.Parameters = {day, note, code, amount};
    frmParameters dlg;
    showParameters(dlg, cmd);
    if (HasFatalFailure())
        return;
    grid::Grid &g = *dlg.grdParameters;
    QTableView *view = g.view();
    auto usedWidth = [&] {
        int w = 0;
        for (int c = 0; c < g.Cols(); ++c)
            w += g.ColHidden(c) ? 0 : view->columnWidth(c);
        return w;
    };
    // Empty values still get the room the other columns leave: typing starts in a wide cell.
    EXPECT_GT(view->columnWidth(2), view->viewport()->width() / 2);
    EXPECT_LE(usedWidth(), view->viewport()->width()) << "no horizontal scrolling for it";

    // Typed with the keyboard, then Enter. The first key opens the cell's editor, which takes the
    // keys after it.
    auto typeInto = [&](int row, const QString &text) {
        g.setRow(row);
        g.setCol(2);
        view->setFocus();
        for (const QChar ch : text) {
            QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
            QApplication::processEvents();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QApplication::processEvents();
        return g.TextMatrix(row, 2);
    };
    EXPECT_EQ(typeInto(1, QStringLiteral("2026-12-09")), QStringLiteral("2026-12-09")) << "a date's storage size is no limit";
    const QFontMetrics fm(g.font());
    EXPECT_GT(view->columnWidth(2), fm.horizontalAdvance(QStringLiteral("2026-12-09")));

    // A text stops at its declared length; a number at its digits with a sign and a point.
    EXPECT_EQ(typeInto(3, QStringLiteral("ABCD")), QStringLiteral("ABC"));
    EXPECT_EQ(typeInto(4, QStringLiteral("123")), QStringLiteral("123")) << "Enter ends a number's edit";
    EXPECT_EQ(g.editor(), nullptr);
    EXPECT_EQ(typeInto(4, QStringLiteral("-123.45")), QStringLiteral("-123.45"));
    ASSERT_TRUE(dlg.Save_Changes());
    EXPECT_EQ(cmd.Parameters[0].Value.toDate(), QDate(2026, 12, 9));
    EXPECT_EQ(cmd.Parameters[3].Value.toString(), QStringLiteral("-123.45"));

    // A value longer than the room: the column grows to show it, the grid scrolls.
    const QString longText(80, QLatin1Char('x'));
    g.setTextMatrix(2, 2, longText);
    ASSERT_TRUE(dlg.Force_GridUpdate());
    EXPECT_GE(view->columnWidth(2), std::min(fm.horizontalAdvance(longText), fm.averageCharWidth() * 50));

    // A larger window: the values' column takes the new room.
    g.setTextMatrix(2, 2, QString());
    ASSERT_TRUE(dlg.Force_GridUpdate());
    const int before = view->columnWidth(2);
    dlg.resize(900, 400);
    QApplication::processEvents();
    EXPECT_GT(view->columnWidth(2), before);
    EXPECT_LE(usedWidth(), view->viewport()->width());
    dlg.reject();
}

TEST_F(FirstUse, TheFindWindowTakesTheKeyboardAndIsUsableAgainAfterF3)
{
    start(m_sample.connect(), QStringLiteral("SELECT \"OrderID\", \"ShipName\", \"ShipCity\" FROM \"Orders\" ORDER BY 1"));
    ASSERT_TRUE(tab->Show_Find());
    auto *find = tabtest::toolWindow<frmFind>(*tab);
    ASSERT_NE(find, nullptr);
    // Typing goes to the find window at once: it asked to be the active window.
    EXPECT_TRUE(QTest::qWaitFor([find] { return QApplication::activeWindow() == find; }));
    EXPECT_TRUE(find->cboFind->hasFocus() || find->cboFind->isAncestorOf(QApplication::focusWidget()))
        << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className() : "none") << " active "
        << (QApplication::activeWindow() ? QApplication::activeWindow()->metaObject()->className() : "none");

    // Typed and confirmed with Enter: the first cell holding the text.
    QString wanted;
    int wantedRow = -1;
    for (int r = 1; r < grid().Rows() && wantedRow < 0; ++r) {
        if (grid().TextMatrix(r, 2) == QLatin1String("Bergen"))
            wantedRow = r;
    }
    ASSERT_GT(wantedRow, 0);
    // Sent where the keyboard is, as a real key press is: the combo box, not its line edit.
    QWidget *keyboard = QApplication::focusWidget();
    ASSERT_NE(keyboard, nullptr);
    QTest::keyClicks(keyboard, QStringLiteral("Bergen"));
    QTest::keyClick(keyboard, Qt::Key_Return);
    const std::pair<int, int> first(grid().Row(), grid().Col());
    EXPECT_TRUE(grid().TextMatrix(first.first, first.second).contains(QStringLiteral("Bergen"))) << first.first;
    EXPECT_LE(first.first, wantedRow);

    // Enter again, where the keyboard is now: the box still has it, and the next one is found.
    ASSERT_EQ(QApplication::focusWidget(), keyboard);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    const std::pair<int, int> second(grid().Row(), grid().Col());
    EXPECT_NE(second, first);
    EXPECT_TRUE(grid().TextMatrix(second.first, second.second).contains(QStringLiteral("Bergen"))) << second.first;

    // Closed, then F3 from the menu (Find_Item 1): the window opened again is enabled.
    find->cmdCancel->click();
    ASSERT_FALSE(tab->FindVisible());
    EXPECT_TRUE(tab->Find_Item(1));
    EXPECT_NE(std::pair(grid().Row(), grid().Col()), first) << "found the next one";
    ASSERT_TRUE(tab->Show_Find());
    EXPECT_TRUE(find->isEnabled());
    EXPECT_TRUE(find->cboFind->isEnabled());
    find->close();
    EXPECT_TRUE(events.empty());
}
