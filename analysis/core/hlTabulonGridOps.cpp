// What the control does with the rows it shows: completing the lazy fetch, moving to the first or
// last record, selecting, sizing, counting, finding and the sort pictures.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlAccess.h"
#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"

#include "dialogs/frmNotes.h"
#include "hlQueryMenu/qryMenu.h"

#include "chart/ChartView.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QClipboard>
#include <QLocale>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>

using analysis::options;

namespace {

const QString kReady = QStringLiteral("Ready ...");
// Rows a search fetches when it reaches the last row held.
constexpr std::size_t kFetchStep = 20000;
// A search through more rows than this shows its progress.
constexpr int kProgressRows = 1000;

QString grouped(qint64 n)
{
    return grid::format::groupedCount(n, QLocale(QLocale::English));
}

} // namespace

bool hlTabulon::Fill_RecordSet()
{
    const std::shared_ptr<db::Recordset> rs = m_query->results();
    if (grdResults->Rows() <= 1 || !rs || rs->State() != db::adStateOpen)
        return false;
    // The mark and the drawing come back however the fetch ends, a failure included.
    struct Restore {
        hlTabulon &control;
        ~Restore()
        {
            control.m_blnFetching = false;
            control.grdResults->setRedraw(1);
        }
    } restore{*this};
    m_blnFetching = true;
    // Count and select-all fetch outside an operation frame; Yes to "Cancel Moving?" stops them too.
    const db::StopToken::Scope stoppable(m_stop);
    grdResults->setRedraw(0);
    const int row = grdResults->Row();
    const int top = grdResults->TopRow();
    const int rowSel = grdResults->RowSel();
    const int colSel = grdResults->ColSel();
    const bool everyRow = grdResults->selectsEveryRow();
    // A stop that had to cancel the statement earlier ended the result for good: the rest can never
    // come, and that is this operation failing, not the user stopping it.
    if (const std::optional<db::DbError> earlier = rs->fetchError(); earlier && earlier->isCancelled())
        throw db::DbError(QStringLiteral("Not every row could be read: the query was stopped before its last "
                                         "rows came. Refresh to read them all."));
    // A window closed meanwhile waits for the mark to drop before it is torn down. A stop left
    // standing by an earlier operation stops this fetch at once.
    if (analysis::g_blnAbort || !rs->fetchAll())
        return false;
    grdResults->Rows(); // the grid takes every row now held
    grdResults->setRow(row);
    grdResults->setTopRow(std::max(top, 1));
    if (everyRow)
        grdResults->setRowSel(grdResults->Rows() - 1);
    else if (rowSel > 0)
        grdResults->setRowSel(rowSel);
    grdResults->setColSel(colSel);
    m_blnAllFetched = true;
    return true;
}

bool hlTabulon::Move_Record(bool blnFirst)
{
    const auto undo = [&] {
        m_blnFetching = false;
        grdResults->setRedraw(1);
    };
    return trap(QStringLiteral("Move_Record"), [&] {
        if (!m_query->resultsOpen() || (m_query->results()->isBOF() && m_query->results()->isEOF()))
            return false;
        bool ok = true;
        {
            analysis::OperationFrame frame(*this, analysis::OperationFrame::Fetching,
                                           blnFirst ? QStringLiteral("Moving to first record ...")
                                                    : QStringLiteral("Moving to last record ..."),
                                           ui::LongOperation::Restore::Ready, true);
            if (blnFirst) {
                m_query->results()->MoveFirst();
                if (grdResults->Rows() > 1)
                    grdResults->setRow(1);
            } else {
                grdResults->setRedraw(0);
                ok = Fill_RecordSet();
                m_blnFetching = true;
                if (ok) {
                    m_query->results()->MoveLast();
                    grdResults->setRow(grdResults->Rows() - 1);
                }
                grdResults->setRedraw(1);
            }
            if (ok)
                m_blnAllFetched = m_blnAllFetched || m_query->results()->isComplete();
            if (grdResults->Row() >= 1)
                grdResults->setTopRow(grdResults->Row());
        }
        Show_ResultsCount();
        return ok;
    }, undo);
}

bool hlTabulon::Select_All()
{
    const QString before = staStatus->Panels(1).Text();
    const auto restore = [&] {
        ui::MousePointer::setDefault();
        staStatus->Panels(1).setText(before);
    };
    if (!trap(QStringLiteral("Select_All"), [&] {
        ui::MousePointer::setHourglass();
        QPlainTextEdit *box = sqlBox(m_intView);
        grid::Grid *g = m_intView == tbViewSummary ? grdSummary
                        : m_intView == tbViewXTab  ? grdXTab
                        : m_intView == tbViewChart ? nullptr
                                                   : grdResults;
        if (box && box->hasFocus()) {
            box->selectAll();
        } else if (g && g->Rows() >= 2) {
            auto selectAll = [g] {
                g->setRow(1);
                g->setCol(0);
                g->setRowSel(g->Rows() - 1);
                g->setColSel(g->Cols() - 1);
            };
            if (g == grdResults) {
                // Selected inside the frame: a tear-down waiting for it runs when the frame ends.
                analysis::OperationFrame frame(*this, analysis::OperationFrame::Selecting,
                                               QStringLiteral("Selecting all ... (ESC to stop)"));
                Fill_RecordSet();
                selectAll();
            } else {
                selectAll();
            }
        }
    }, restore))
        return false;
    restore();
    return true;
}

bool hlTabulon::Resize_Cols()
{
    const QString before = staStatus->Panels(1).Text();
    const auto restore = [&] {
        ui::MousePointer::setDefault();
        staStatus->Panels(1).setText(before);
    };
    if (!trap(QStringLiteral("Resize_Cols"), [&] {
        ui::MousePointer::setHourglass();
        staStatus->Panels(1).setText(QStringLiteral("Resizing columns ..."));
        if (grdResults->Cols() > 0)
            grdResults->AutoSize(0, grdResults->Cols() - 1);
    }, restore))
        return false;
    restore();
    return true;
}

bool hlTabulon::Show_ResultsCount()
{
    if (m_steps)
        return m_steps->Show_ResultsCount();
    return trap(QStringLiteral("Show_ResultsCount"), [&] {
        // A grid without rows has no current cell: the number of columns alone, not a column 0;
        // before there is any result, nothing.
        const bool open = m_query->resultsOpen();
        const int cols = grdResults->Cols();
        const bool onCell = grdResults->Rows() > grdResults->FixedRows() && grdResults->Col() >= 0;
        const bool noResult = !onCell && !open;
        const QString colText = cols <= 0 || noResult ? QString()
                                : onCell  ? QStringLiteral(" Col ") + QString::number(grdResults->Col() + 1)
                                               + QStringLiteral(" of ") + QString::number(cols)
                                          : u' ' + QString::number(cols) + (cols == 1 ? QStringLiteral(" column")
                                                                                      : QStringLiteral(" columns"));
        if (m_query->results() && (!open || !(options().ShowCount || m_blnShowCount))) {
            staStatus->Panels(1).setText(kReady);
            staStatus->Panels(5).setText(grdResults->Rows() >= 2 && grdResults->Row() >= 1
                                             ? QStringLiteral(" Row ") + grouped(grdResults->Row())
                                             : QString());
            staStatus->Panels(4).setText(colText);
            return true;
        }
        bool ok = true;
        qint64 rows = 0;
        qint64 row = 0;
        if (!m_query->results()) {
            rows = grdResults->Rows() - 1;
            row = grdResults->Row();
        } else {
            ui::MousePointer::setHourglass();
            staStatus->Panels(1).setText(QStringLiteral("Retrieving record count ..."));
            ok = Fill_RecordSet();
            if (ok) {
                rows = grdResults->Rows() - 1;
                row = rows < 1 ? 0 : grdResults->Row();
                if (rows < 1)
                    rows = 0;
            }
        }
        staStatus->Panels(1).setText(kReady);
        staStatus->Panels(4).setText(colText);
        staStatus->Panels(5).setText(u' ' + grouped(row) + QStringLiteral(" of ") + grouped(rows));
        ui::MousePointer::setDefault();
        return ok;
    }, [this] {
        // A count that failed leaves no word of counting behind.
        staStatus->Panels(1).setText(kReady);
        ui::MousePointer::setDefault();
    });
}

bool hlTabulon::Show_SortIcon()
{
    return trap(QStringLiteral("Show_SortIcon"), [&] {
        for (int c = 0; c < grdResults->Cols(); ++c) {
            grdResults->setColSortPicture(c, grid::flexSortNone);
            const QString header = grdResults->TextMatrix(0, c);
            for (const QStringList &pair : std::as_const(m_query->sortCols())) {
                if (pair.value(0) == header) {
                    const bool desc = pair.value(1).trimmed() == QLatin1String("1");
                    grdResults->setColSortPicture(c, desc ? grid::flexSortGenericDescending
                                                          : grid::flexSortGenericAscending);
                    grdResults->AutoSize(c, c);
                }
            }
        }
        return true;
    });
}

bool hlTabulon::Find_Item(qint32 lngDirection)
{
    if (m_blnFinding)
        return false;
    const QPointer<hlTabulon> self(this);
    bool ok = false;
    grid::Grid *g = m_intView == tbViewSummary ? grdSummary
                    : m_intView == tbViewXTab  ? grdXTab
                    : m_intView == tbViewChart ? nullptr
                                               : grdResults;
    const QPointer<QWidget> focused = QApplication::focusWidget();
    bool notFound = false;
    {
        analysis::OperationFrame frame(*this, analysis::OperationFrame::Finding,
                                       QStringLiteral("Searching ... (ESC to stop)"), ui::LongOperation::Restore::Ready,
                                       true);
        if (!trap(QStringLiteral("Find_Item"), [&] {
            if (g) {
                // Only an open find window is held still; a closed one must not be left disabled
                // for the next time it opens (F3 searches with it closed).
                if (m_frmFind && m_blnFindOpen)
                    m_frmFind->setEnabled(false);
                for (QWidget *bar : {static_cast<QWidget *>(tlbMain), static_cast<QWidget *>(tlbSummary.made()),
                                     static_cast<QWidget *>(tlbXTab.made())})
                    if (bar)
                        bar->setEnabled(false);
                const QString text = options().FindText;
                const bool matchCase = options().FindMatchCase;
                const bool whole = options().FindWholeWord;
                const bool oneCol = options().FindCurrentColumn;
                int foundRow = -1;
                int foundCol = -1;
                if (g->Row() >= 0 && !text.isEmpty()) {
                    g->setEnabled(false);
                    emit Freeze(true);
                    // Long grids show how far the search has gone; a results grid only once its
                    // length is known, that is when every row is in.
                    const bool progress = g->Rows() > kProgressRows && (g != grdResults || m_blnAllFetched);
                    if (progress)
                        frame.operation().showProgress(g->Rows());
                    const int startRow = lngDirection == 0 ? 1 : g->Row();
                    const int curCol = g->Col();
                    const bool forward = lngDirection != 2;
                    auto matches = [&](int r, int c) {
                        const QString cell = g->TextMatrix(r, c).trimmed();
                        if (cell.isEmpty())
                            return false;
                        if (!cell.contains(text, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive))
                            return false;
                        return !whole || cell.compare(text, Qt::CaseInsensitive) == 0;
                    };
                    bool aborted = false;
                    for (int r = startRow; forward ? r <= g->Rows() - 1 : r >= 0; r += forward ? 1 : -1) {
                        const bool first = r == startRow && lngDirection != 0;
                        if (oneCol) {
                            if (!first && matches(r, curCol)) {
                                foundRow = r;
                                foundCol = curCol;
                            }
                        } else if (forward) {
                            for (int c = first ? curCol + 1 : 0; c < g->Cols() && foundRow < 0; ++c) {
                                if (matches(r, c)) {
                                    foundRow = r;
                                    foundCol = c;
                                }
                            }
                        } else {
                            for (int c = first ? curCol - 1 : g->Cols() - 1; c >= 0 && foundRow < 0; --c) {
                                if (matches(r, c)) {
                                    foundRow = r;
                                    foundCol = c;
                                }
                            }
                        }
                        if (foundRow >= 0)
                            break;
                        // A bound grid fetches as the walk goes; the bound is read afresh each row.
                        if (forward && r == g->Rows() - 1 && g == grdResults && m_query->results()
                            && m_query->results()->State() == db::adStateOpen && !m_query->results()->isComplete())
                            m_query->results()->fetchMore(kFetchStep);
                        if (frame.step()) {
                            aborted = true;
                            break;
                        }
                        if (!self)
                            return false;
                        if (progress)
                            frame.operation().advanceProgress();
                    }
                    if (!aborted) {
                        if (foundRow >= 0) {
                            g->setRow(foundRow);
                            g->setCol(foundCol);
                            g->ShowCellWellInView(foundRow, foundCol);
                        } else {
                            notFound = true;
                        }
                        ok = true;
                    }
                } else {
                    notFound = true;
                    ok = true;
                }
            }
            return true;
        }))
            ok = false;
        if (!self)
            return false;
        for (QWidget *w : {static_cast<QWidget *>(tlbMain), static_cast<QWidget *>(tlbSummary.made()),
                           static_cast<QWidget *>(tlbXTab.made())})
            if (w)
                w->setEnabled(true);
        if (g)
            g->setEnabled(true);
        if (focused)
            focused->setFocus();
        m_blnFindNext = true;
        emit Freeze(false);
        if (m_frmFind && m_blnFindOpen) {
            m_frmFind->setEnabled(true);
            // Disabling took the keyboard from the window's box: it goes back there (for the next
            // Enter) once the window is enabled again.
            if (focused && m_frmFind->isAncestorOf(focused))
                focused->setFocus();
            else
                m_frmFind->setFocus();
        }
        if (notFound) {
            // Told only now, with the grid enabled and holding its window's keyboard again:
            // disabled, it had passed the focus on, and closing the message would have handed the
            // keyboard (and the front) to whatever took it, such as the Data Sources window. The
            // message belongs to the window the search came from, which gets the keyboard back.
            staStatus->Panels(1).setText(kReady);
            const bool fromFindWindow = focused && m_frmFind && m_blnFindOpen && m_frmFind->isAncestorOf(focused);
            ui::Prompter::msgBox(QStringLiteral("Search item not found"), ui::MsgButtons::OK,
                                 ui::MsgIcon::Information, QStringLiteral("Find"),
                                 fromFindWindow ? m_frmFind.data() : static_cast<QWidget *>(this));
            if (!self)
                return false;
            if (fromFindWindow) {
                m_frmFind->activateWindow();
                focused->setFocus();
            } else if (focused && isAncestorOf(focused) && focused->isVisible() && focused->isEnabled()) {
                window()->activateWindow();
                focused->setFocus(Qt::OtherFocusReason);
            } else {
                focusCurrentView();
            }
        }
    }
    if (self)
        staStatus->Panels(1).setText(kReady);
    return ok;
}

// The text is the grid's own layout for pasting elsewhere: each cell followed by a tab, each row
// by CR LF, the last three characters dropped.
bool hlTabulon::Copy_Sel(bool)
{
    const QPointer<hlTabulon> self(this);
    bool ok = false;
    grid::Grid *g = nullptr;
    // Disabling the grid for the copy would otherwise hand the focus to the SQL box for good.
    const QPointer<QWidget> focused = QApplication::focusWidget();
    const auto undo = [&] {
        if (g)
            g->setEnabled(true);
        tlbMain->setEnabled(true);
    };
    if (!trapRouted(QStringLiteral("Copy_Sel"), [&] {
        analysis::OperationFrame frame(*this, analysis::OperationFrame::Copying,
                                       QStringLiteral("Copying to Clipboard ... (ESC to stop)"),
                                       ui::LongOperation::Restore::Ready, true);
        tlbMain->setEnabled(false);
        QPlainTextEdit *box = sqlBox(m_intView);
        const bool menuFocus = m_intView == tbViewResults && qryMenu && qryMenu->hasFocus();
        if (menuFocus) {
            ok = false;
        } else if (box && box->hasFocus()) {
            QApplication::clipboard()->setText(box->textCursor().selectedText().replace(QChar(0x2029), QStringLiteral("\r\n")));
            ok = true;
        } else if (m_intView == tbViewChart) {
            chChart->EditCopy();
            ok = true;
        } else {
            g = m_intView == tbViewSummary ? grdSummary : m_intView == tbViewXTab ? grdXTab : grdResults;
            g->setEnabled(false);
            // An upward or leftward selection is the same range.
            const int r1 = std::min(g->Row(), g->RowSel());
            int r2 = std::max(g->Row(), g->RowSel());
            const int c1 = std::min(g->Col(), g->ColSel());
            const int c2 = std::max(g->Col(), g->ColSel());
            // A selection down to the last row the grid holds (a whole column, Select All) means
            // every row of the results: the rest are fetched first, or nothing is copied. Never
            // a part that looks like the whole.
            bool complete = true;
            if (g == grdResults && r1 >= 1 && r2 == g->Rows() - 1 && m_query->results()
                && m_query->results()->State() == db::adStateOpen && !m_query->results()->isComplete()) {
                const bool downward = g->RowSel() >= g->Row();
                frame.operation().showProgress(0);
                complete = Fill_RecordSet();
                if (!self)
                    return false;
                if (complete) {
                    r2 = g->Rows() - 1;
                    if (downward)
                        g->setRowSel(r2);
                }
            }
            std::vector<int> cols;
            for (int c = std::max(c1, 0); c <= c2; ++c) {
                if (!g->ColHidden(c))
                    cols.push_back(c);
            }
            // All columns hidden: nothing to copy and nothing to say.
            if (complete && !cols.empty() && r1 >= 0) {
                // UTF-8 straight from the rows, one byte array: the copy never holds a string
                // per cell nor the whole text twice over.
                QByteArray text;
                bool stopped = false;
                frame.operation().showProgress(std::max(g->Rows() - 1, 0));
                for (int r = r1; r <= r2; ++r) {
                    for (int c : cols) {
                        g->appendTextMatrixUtf8(r, c, text);
                        text += '\t';
                    }
                    text += "\r\n";
                    if (r == r1 + 255 && r2 - r1 > 1024) // sized once from the first rows
                        text.reserve(qsizetype(double(text.size()) / 256 * double(r2 - r1 + 1) * 1.1));
                    // The bar redraws on every change it can show: it is told now and then.
                    if ((r & 1023) == 0 || r == r2)
                        frame.operation().setProgress(r);
                    if (frame.step()) {
                        stopped = true;
                        break;
                    }
                    if (!self)
                        return false;
                }
                if (!stopped) {
                    text.chop(3);
                    auto *mime = new QMimeData;
                    mime->setData(QStringLiteral("text/plain"), text);
                    QApplication::clipboard()->setMimeData(mime);
                    ok = true;
                }
            }
        }
        if (!self)
            return false;
        if (g)
            g->setEnabled(true);
        tlbMain->setEnabled(true);
        if (focused)
            focused->setFocus();
        return true;
    }, undo))
        ok = false;
    if (self)
        staStatus->Panels(1).setText(kReady);
    return ok;
}

bool hlTabulon::Paste_Sel()
{
    return trapRouted(QStringLiteral("Paste_Sel"), [&] {
        // A read-only box (a table opened without open SQL) refuses a paste as it refuses typing:
        // the text shown must be the statement that runs.
        if (m_intView == tbViewResults && txtResultsSQL->hasFocus() && !txtResultsSQL->isReadOnly())
            txtResultsSQL->insertPlainText(QApplication::clipboard()->text());
        return true;
    });
}

bool hlTabulon::Show_Cell(qint32 lngCol)
{
    return trap(QStringLiteral("Show_Cell"), [&] {
        auto *notes = qobject_cast<frmNotes *>(m_frmNotes.data());
        if (!notes) {
            notes = new frmNotes(this);
            connect(notes, &QDialog::finished, this, [this] { m_blnNotesOpen = false; });
            m_frmNotes = notes;
        }
        notes->setParentWindow(this);
        notes->setNotes(grdResults->TextMatrix(grdResults->Row(), lngCol));
        notes->setWindowTitle(grdResults->TextMatrix(0, lngCol));
        notes->show();
        notes->raise();
        notes->activateWindow(); // the keyboard goes to it: Escape closes it
        notes->Refresh_Notes();
        m_blnNotesOpen = true;
        return true;
    });
}

void hlTabulon::connectResultsGrid()
{
    // Header clicks reach BeforeSort, which decides by the "Col Sort" option.
    grdResults->setExplorerBar(grid::flexExSortShow);
    connect(grdResults, &grid::Grid::RowColChange, this, [this] {
        if (!m_blnFetching && !m_blnRefreshing)
            Show_ResultsCount();
    });
    // A failure the grid met while fetching for the view; an operation that was waiting for the
    // same rows reports it from its own trap.
    connect(grdResults, &grid::Grid::FetchError, this, [this](const QString &description) {
        if (!hasBusyMark())
            report(QStringLiteral("grdResults_FetchError"), description);
    });
    connect(grdResults, &grid::Grid::BeforeScroll, this, [this] { hideColumnMenu(); });
    connect(grdResults, &grid::Grid::BeforeScrollTip, this, [this](int row) {
        grdResults->setScrollTipText(QStringLiteral(" Row ") + (row > 0 ? grouped(row) : QString()));
    });
    connect(grdResults, &grid::Grid::DblClick, this, [this] {
        trap(QStringLiteral("grdResults_DblClick"), [&] {
            if (grdResults->Col() < 0 || grdResults->Row() < 0 || grdResults->Rows() < 2)
                return;
            const int col = grdResults->Col();
            grdResults->setCol(0);
            grdResults->setColSel(grdResults->Cols() - 1);
            if (options().DoubleClick == 1)
                Show_Cell(col);
            else if (options().DoubleClick == 2)
                Show_Details();
        });
    });
    connect(grdResults, &grid::Grid::AfterSort, this, [this](int col, int) {
        ui::MousePointer::setDefault();
        if (options().ColSel && grdResults->Rows() > 1) {
            grdResults->setCol(col);
            grdResults->setRow(1);
            grdResults->setRowSel(grdResults->Rows() - 1);
        }
        staStatus->Panels(1).setText(kReady);
    });
    connect(grdResults, &grid::Grid::BeforeSort, this, [this](int col, int &order) {
        const QPointer<hlTabulon> self(this);
        trap(QStringLiteral("grdResults_BeforeSort"), [&] {
            m_blnFetching = true;
            if (!options().ColSort) {
                order = 0;
            } else {
                m_query->setSortCols({QStringList{grdResults->TextMatrix(0, col), QString::number(order - 1)}});
                grdResults->setRedraw(0);
                if (dataType() == tbDataTable || dataType() == tbDataView) {
                    // The database sorts every row; the grid sees the new recordset and leaves it be.
                    m_blnFetching = false;
                    Refresh_Results(true, false, false);
                    if (!self)
                        return;
                    m_blnFetching = true;
                    if (options().ColSel) {
                        staStatus->Panels(1).setText(QStringLiteral("Selecting column ..."));
                        Fill_RecordSet();
                        m_blnFetching = true;
                    }
                    staStatus->Panels(1).setText(kReady);
                } else {
                    ui::MousePointer::setHourglass();
                    staStatus->Panels(1).setText(QStringLiteral("Sorting rows ..."));
                    Show_SortIcon();
                }
                grdResults->setRedraw(1);
                grdResults->setFocus();
            }
            if (options().ColSel && grdResults->Rows() > 1) {
                grdResults->setCol(col);
                grdResults->setRow(1);
                grdResults->setRowSel(grdResults->Rows() - 1);
            }
        });
        if (!self)
            return;
        m_blnFetching = false;
        ui::MousePointer::setDefault();
    });
}
