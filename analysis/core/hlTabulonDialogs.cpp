// The control's dialogs: options, column chooser, sort order, find window and one-record details.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"
#include "db/Recordset.h"
#include "dialogs/frmColumns.h"
#include "dialogs/frmDetails.h"
#include "dialogs/frmFind.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmSort.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

bool hlTabulon::View_Columns()
{
    return trap(QStringLiteral("View_Columns"), [&] {
        ui::MousePointer::setHourglass();
        frmColumns dlg(this);
        dlg.setTheGrid(grdResults);
        analysis::runModal(dlg);
        ui::MousePointer::setDefault();
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("ShowCols"));
        if (dlg.ColsHidden()) {
            if (!button.ButtonMenus().Exists(QStringLiteral("ShowAll")))
                button.ButtonMenus().Add(QStringLiteral("Show all columns"), QStringLiteral("ShowAll"));
            button.setStyle(ui::tbrDropdown);
        } else {
            button.setStyle(ui::tbrDefault);
        }
        return true;
    }, ui::MousePointer::setDefault);
}

bool hlTabulon::Show_Options()
{
    return trap(QStringLiteral("Show_Options"), [&] {
        ui::MousePointer::setHourglass();
        frmOptions dlg(this);
        dlg.setCalledFrom(this);
        dlg.setInitialTab(m_intView);
        analysis::runModal(dlg);
        ui::MousePointer::setDefault();
        return true;
    }, ui::MousePointer::setDefault);
}

bool hlTabulon::Show_Sort()
{
    return trap(QStringLiteral("Show_Sort"), [&] {
        ui::MousePointer::setHourglass();
        frmSort dlg(this);
        dlg.setTheGrid(grdResults);
        dlg.setSortCols(SortCols());
        dlg.setCalledFrom(this);
        // Routines and XML documents are not re-queried in order: their rows, held in memory,
        // are sorted where they are.
        QPointer<hlTabulon> self(this);
        dlg.setAfterRefresh([self] {
            if (self)
                self->sortRowsInMemory();
        });
        analysis::runModal(dlg);
        ui::MousePointer::setDefault();
        tlbResults->Buttons(QStringLiteral("Sort")).setValue(ui::tbrUnpressed);
        return true;
    }, ui::MousePointer::setDefault);
}

void hlTabulon::sortRowsInMemory()
{
    if (!m_query->inMemory())
        return;
    if (!m_query->resultsOpen())
        return;
    trap(QStringLiteral("Show_Sort"), [&] {
        m_query->sortInMemory();
        const analysis::ColumnLayout layout = analysis::columnLayout(*grdResults);
        grdResults->setDataSource(m_query->results());
        analysis::restoreColumnLayout(*grdResults, layout);
        Show_SortIcon();
    });
}

bool hlTabulon::Show_Find()
{
    return trap(QStringLiteral("Show_Find"), [&] {
        if (m_blnFindOpen && m_frmFind) {
            // Its closing saves the history and raises UnLoad, which clears the flag.
            m_frmFind->close();
        } else if (m_intView != tbViewChart) {
            ui::MousePointer::setHourglass();
            auto *find = qobject_cast<frmFind *>(m_frmFind.data());
            if (!find) {
                find = new frmFind(this);
                m_frmFind = find;
                connect(find, &frmFind::DoFind, this, [this](qint32 &direction) { Find_Item(direction); });
                connect(find, &frmFind::UnLoad, this, [this] {
                    m_blnFindOpen = false;
                    tlbMain->Buttons(QStringLiteral("Find")).setValue(ui::tbrUnpressed);
                    emit ViewChanged();
                    // The keys (F3 among them) go on to the window the search was for, not to
                    // whichever window the window system picks once the find window has gone.
                    focusCurrentView();
                    QTimer::singleShot(0, this, [self = QPointer<hlTabulon>(this)] {
                        if (self)
                            self->focusCurrentView();
                    });
                });
            }
            find->setParentWindow(this);
            find->setEnabled(true);
            find->show();
            // Its own window takes the keyboard: what the user types next is the text to find.
            find->raise();
            find->activateWindow();
            find->cboFind->setFocus();
            m_blnFindOpen = true;
            tlbMain->Buttons(QStringLiteral("Find")).setValue(ui::tbrPressed);
            ui::MousePointer::setDefault();
        }
        emit ViewChanged();
        return true;
    }, ui::MousePointer::setDefault);
}

void hlTabulon::focusCurrentView()
{
    if (m_blnUnloaded || !isVisible())
        return;
    QWidget *target = m_intView == tbViewSummary ? static_cast<QWidget *>(grdSummary)
                      : m_intView == tbViewXTab  ? static_cast<QWidget *>(grdXTab)
                      : m_intView == tbViewChart ? static_cast<QWidget *>(txtChartSQL)
                                                 : static_cast<QWidget *>(grdResults);
    if (!target->isVisible() || !target->isEnabled())
        target = sqlBox(m_intView);
    window()->activateWindow();
    // Focus inside a frame's child window makes that child the current one.
    target->setFocus(Qt::OtherFocusReason);
}

bool hlTabulon::Show_Details()
{
    return trap(QStringLiteral("Show_Details"), [&] {
        ui::MousePointer::setHourglass();
        auto *details = qobject_cast<frmDetails *>(m_frmDetails.data());
        if (!details) {
            details = new frmDetails(this);
            m_frmDetails = details;
            connect(details, &frmDetails::MoveRec, this, [this](bool &first) { Move_Record(first); });
            connect(details, &frmDetails::Unload, this, [this] { m_blnDetailsOpen = false; });
        }
        if (details->isVisible())
            details->close();
        // Moving through the grid does not move the recordset: its current record is set here to
        // the row the user is on (the grid may have sorted its copy of the rows its own way).
        if (m_query->resultsOpen() && grdResults->Rows() > 1
            && grdResults->Row() >= 1) {
            const long long record = grdResults->RecordIndex(grdResults->Row());
            if (record >= 0)
                m_query->results()->setAbsolutePosition(long(record + 1));
        }
        // The results recordset itself, not a clone: a clone would drop the filter and the
        // in-memory sort, and show other records than the grid.
        details->setAdRecordSet(m_query->results());
        details->setParentWindow(this);
        details->show();
        m_blnDetailsOpen = true;
        ui::MousePointer::setDefault();
        return true;
    }, ui::MousePointer::setDefault);
}
