// Start-up, tear-down and the run commands of the control.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlLayout.h"
#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "hlTabulon/frmAbout.h"

#include "PaneDivider/Splitter.h"
#include "app/AppInfo.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "Faultdesk/hrErr.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>

using analysis::options;

namespace {

bool hasText(const QString &text)
{
    return !text.trimmed().isEmpty();
}

} // namespace

void hlTabulon::reportPendingSettingWarnings()
{
    if (m_blnReadFailed)
        report(QStringLiteral("Read_INI"), QStringLiteral("The settings could not be read; the defaults are used."));
    for (const QString &warning : std::as_const(m_pendingSettingWarnings))
        report(QStringLiteral("Read_INI"), warning);
    m_blnReadFailed = false;
    m_pendingSettingWarnings.clear();
}

bool hlTabulon::Init()
{
    reportPendingSettingWarnings();
    analysis::g_blnErrorRouting = true;

    // Nothing is laid out while the panes are set up; one layout at the end does it all.
    m_blnInitialising = true;
    bool ok = false;
    trapRouted(QStringLiteral("Init"), [&] {
        {
            const std::shared_ptr<hrErr> err = analysis::errorObject();
            err->CallingApp(app::appInfo(QStringLiteral("hlTabulon")));
            err->EMailAddress(app::reportAddress());
            err->EMailSubject(QStringLiteral("Tabulon Error"));
            err->DebugMode(true);
        }

        if (dataType() == tbDataStoredProc) {
            const db::StopToken::Scope stoppable(m_stop);
            m_query->prepareRoutine();
        } else {
            txtResultsSQL->setPlainText(m_query->statement());
        }

        resetSortCols();
        m_query->resetResults();
        m_blnLoadedOK = false;

        txtResultsSQL->setReadOnly(!m_blnOpenSQL);
        for (const char *key : {"Open", "Parse", "Clear", "sepSQL"})
            tlbResults->Buttons(QLatin1String(key)).setVisible(m_blnOpenSQL);

        Set_Delimiter();
        if (m_blnViewsMade)
            setUpViews();

        const bool viewsAvailable = !m_query->statement().isEmpty() && dataType() != tbDataStoredProc;
        for (const char *key : {"Results", "Chart", "Summary", "XTab"})
            setCommandEnabled(tlbMain, QLatin1String(key), viewsAvailable);

        tlbResults->Buttons(QStringLiteral("RemoveFilter")).setVisible(false);
        tlbResults->Buttons(QStringLiteral("UnFreezeCols")).setVisible(false);
        tlbResults->Buttons(QStringLiteral("QueryBuilder")).setStyle(ui::tbrCheck);

        Set_Grids();

        staStatus->setVisible(true);
        const char *tips[] = {"Status", "Max. rows filter", "Filter status", "Current column",
                              "Current row\\row count"};
        for (int i = 0; i < 5; ++i)
            staStatus->Panels(i + 1).setToolTipText(QLatin1String(tips[i]));

        // A statement about to run gets its field list from its results when a view needs it:
        // typing its expression columns now would run it twice.
        if (!m_query->statement().isEmpty() && dataType() != tbDataStoredProc && !m_blnAutoRun) {
            if (Get_Fields())
                Populate_Fields();
        }
        Position_Combos();

        m_blnLoadedOK = true;
        options().QueryBuilderAlign = 1;

        hlSplitResults->setSplitterColor(0);

        if (Set_Options(true, true, false)) {
            Set_RecentFiles();
            tlbResults->setVisible(m_blnOpenSQL && dataType() != tbDataStoredProc);
            if (dataType() == tbDataStoredProc) {
                // Its parameters are asked for over this window: lay it out first, or the dialog
                // sits on a half-built window (status panels over the toolbar).
                m_blnInitialising = false;
                UserControl_Resize();
                Refresh_Results(false, false, false);
            } else if (m_blnAutoRun) {
                tmrPause->start();
                Change_View(tbViewResults);
            } else if (m_blnOpenSQL) {
                Change_View(tbViewResults);
                txtResultsSQL->setFocus();
            } else {
                Change_View(tbViewResults);
            }
            tlbMain->Buttons(QStringLiteral("sepOptions")).setVisible(m_blnOptionsVisible);
            tlbMain->Buttons(QStringLiteral("Options")).setVisible(m_blnOptionsVisible);
            tmrEsc->start();
            ok = true;
        }
    });

    // Also after a failure: the control is left showing and laid out, not blank.
    m_blnInitialising = false;
    staStatus->setVisible(m_blnStatusBar);
    ui::MousePointer::setDefault();
    UserControl_Resize();
    return ok;
}

void hlTabulon::UnloadFlter()
{
    if (m_blnUnloaded)
        return;
    // Torn down mid-operation, the operation would go on with released objects: stop it (its
    // statement is cancelled, the rest of its result not waited for) and tear down once it ended.
    if (isBusy()) {
        if (hasBusyMark() || m_stop.waiting())
            analysis::g_blnAbort = true;
        m_stop.stop();
        m_blnUnloadPending = true;
        QTimer::singleShot(0, this, [this] { finishPendingUnload(); });
        return;
    }
    m_blnUnloaded = true;
    m_blnUnloadPending = false;

    auto attempt = [](auto &&step) {
        try {
            step();
        } catch (...) {
        }
    };
    m_query->closeAll();
    for (std::shared_ptr<db::Recordset> *rs : {&m_rsChart, &m_rsSummary, &m_rsXTab}) {
        attempt([&] {
            if (*rs && (*rs)->State() == db::adStateOpen)
                (*rs)->Close();
        });
    }
    attempt([&] { grdResults->setDataSource(nullptr); });
    for (std::shared_ptr<db::Recordset> *rs : {&m_rsChart, &m_rsSummary, &m_rsXTab})
        rs->reset();
    m_query->release();

    for (QPointer<QWidget> *window : {&m_frmQueryBuilder, &m_frmFind, &m_frmNotes, &m_frmDetails, &m_frmSQLError}) {
        attempt([&] {
            if (*window) {
                (*window)->close();
                (*window)->deleteLater();
            }
        });
        *window = nullptr;
    }

    analysis::releaseErrorObject();

    for (Splitter *s : {hlSplitResults, hlSplitChart.made(), hlSplitSummary.made()}) {
        if (!s)
            continue;
        attempt([&] {
            s->setChild1(nullptr);
            s->setChild2(nullptr);
        });
    }
    tmrEsc->stop();
    tmrPause->stop();
    tmrRun->stop();
    if (Splitter *s = hlSplitXTab.made()) {
        attempt([&] {
            s->setChild1(nullptr);
            s->setChild2(nullptr);
        });
    }
}

void hlTabulon::operationEnded()
{
    // After the member that ran the operation has returned, not inside it.
    if (m_blnUnloadPending)
        QTimer::singleShot(0, this, [this] { finishPendingUnload(); });
}

void hlTabulon::finishPendingUnload()
{
    if (!m_blnUnloadPending)
        return;
    // Another window's wait may still be on the stack: look again shortly.
    if (isBusy())
        QTimer::singleShot(50, this, [this] { finishPendingUnload(); });
    else
        UnloadFlter();
}

bool hlTabulon::Refresh()
{
    if (m_blnRefreshing)
        return false;
    return trap(QStringLiteral("Refresh"), [&] {
        txtSQLError->hide();
        bool ok = false;
        switch (m_intView) {
        case tbViewResults: ok = Refresh_Results(false, false, false); break;
        case tbViewChart: ok = Refresh_Chart(); break;
        case tbViewSummary: ok = Refresh_Summary(); break;
        case tbViewXTab: ok = Refresh_XTab(); break;
        }
        if (!ok)
            return false;
        m_blnSQLEnabled = !sqlBox(m_intView)->toPlainText().isEmpty();
        setCommandEnabled(tlbMain, QStringLiteral("SQL"), m_blnSQLEnabled);
        emit ViewChanged();
        return true;
    });
}

bool hlTabulon::Run_Query()
{
    // Not while a refresh runs: its sort and data type would change under it.
    if (m_blnRefreshing)
        return false;
    return trap(QStringLiteral("Run_Query"), [&] {
        resetSortCols();
        setDataType(tbDataTable);
        Show_SortIcon();
        if (!Refresh_Results(false, false, false))
            return false;
        m_intView = tbViewResults;
        return true;
    });
}

bool hlTabulon::Clear_Query()
{
    return trap(QStringLiteral("Clear_Query"), [&] {
        if (hasText(txtResultsSQL->toPlainText())) {
            const ui::MsgResult answer = ui::Prompter::msgBox(QStringLiteral("Save changes"), ui::MsgButtons::YesNoCancel,
                                                              ui::MsgIcon::Question, QStringLiteral("Clear Query"), this);
            if (answer == ui::MsgResult::Cancel)
                return false;
            if (answer == ui::MsgResult::Yes && !Save_SQL())
                return false;
        }
        m_query->setFileName({});
        emit QuerySelected(QString());
        txtResultsSQL->clear();
        Change_View(tbViewResults);
        // After the view, which hands the keyboard to a grid holding rows: the next statement is
        // typed into the emptied box.
        txtResultsSQL->setFocus();
        return true;
    });
}

bool hlTabulon::Check_SQL()
{
    return trap(QStringLiteral("Check_SQL"), [&] {
        const bool any = hasText(txtResultsSQL->toPlainText());
        setCommandEnabled(tlbMain, QStringLiteral("Refresh"), any);
        const bool refresh = tlbMain->Buttons(QStringLiteral("Refresh")).Enabled();
        setCommandEnabled(tlbResults, QStringLiteral("Clear"), refresh);
        for (const char *key : {"SQL", "Chart", "Summary", "XTab"})
            setCommandEnabled(tlbMain, QLatin1String(key), refresh);
        // A statement typed into a window opened without one offers its results too; an emptied
        // box never takes them away.
        if (refresh)
            setCommandEnabled(tlbMain, QStringLiteral("Results"), true);
        return true;
    });
}

bool hlTabulon::Enable_DataButtons(bool blnEnable)
{
    return trap(QStringLiteral("Enable_DataButtons"), [&] {
        setCommandEnabled(tlbResults, QStringLiteral("Open"), blnEnable);
        setCommandEnabled(tlbResults, QStringLiteral("Clear"), blnEnable);
        return true;
    });
}

bool hlTabulon::Set_Delimiter()
{
    return trap(QStringLiteral("Set_Delimiter"), [&] {
        if (!m_query->delimiter().isEmpty())
            return true;
        // The client knows its own quote (an ODBC driver may use another); without an open
        // connection the double quote of SQL.
        if (m_query->connection() && m_query->connection()->State() == db::adStateOpen)
            m_query->setDelimiter(QString(m_query->connection()->DefaultDelimiter()));
        else
            m_query->setDelimiter(QStringLiteral("\""));
        return true;
    });
}

void hlTabulon::txtResultsSQL_Change()
{
    Enable_DataButtons(true);
    Check_SQL();
    if (m_blnOpenSQL)
        m_query->setFieldsLoaded(false);
}

void hlTabulon::splitterResized(tbView view)
{
    if (!m_blnLoadedOK || m_blnUnloaded)
        return;
    analysis::SplitOptions &split = options().split(view);
    const int percent = splitter(view)->SplitPercent();
    // Every layout raises Resize, a window resize too; only a moved divider is worth a write.
    if (split.Percentage == percent)
        return;
    split.Percentage = percent;
    analysis::Save_INI();
}

void hlTabulon::startRunTimer()
{
    m_datRunStart = QDateTime::currentDateTime();
    tmrRun->start();
}

void hlTabulon::stopRunTimer()
{
    tmrRun->stop();
}

void hlTabulon::tmrRun_Timer()
{
    if (!m_datRunStart.isValid())
        return;
    const qint64 seconds = m_datRunStart.secsTo(QDateTime::currentDateTime());
    staStatus->Panels(5).setText(analysis::layout::elapsedText(seconds));
}

void hlTabulon::ShowAboutBox()
{
    trap(QStringLiteral("ShowAboutBox"), [&] {
        frmAbout about(this);
        analysis::runModal(about);
    });
}
