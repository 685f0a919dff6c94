// Printing the current view and handing its rows to the export window.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/GridRecordset.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "core/QueryRunner.h"
#include "dialogs/frmExport.h"
#include "chart/ChartView.h"
#include "hlExport/DataExport.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridPrinter.h"
#include "ui/CommonDialog.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/PrinterService.h"
#include "ui/StatusPanels.h"

#include <QPainter>
#include <QPointer>
#include <QPrinter>

#include <stdexcept>

bool hlTabulon::Print_Grid()
{
    if (!tlbMain->Buttons(QStringLiteral("Print")).Enabled())
        return false;
    const QPointer<hlTabulon> self(this);
    ui::MousePointer::setHourglass();
    const QString kept = staStatus->Panels(1).Text();
    staStatus->Panels(1).setText(QStringLiteral("Printing ..."));
    bool result = false;
    if (!trap(QStringLiteral("Print Grid"), [&] {
        switch (m_intView) {
        case tbViewResults: {
            bool ready = true;
            if (!m_blnAllFetched) {
                // The rows not fetched yet come first; Escape stops it ("Cancel Printing?").
                analysis::OperationFrame frame(*this, analysis::OperationFrame::Printing,
                                               QStringLiteral("Preparing to print ..."),
                                               ui::LongOperation::Restore::Keep, true);
                ready = Fill_RecordSet();
            }
            if (!self)
                return false;
            if (ready) {
                staStatus->Panels(1).setText(QStringLiteral("Printing ..."));
                result = printGrid(*grdResults);
            }
            break;
        }
        case tbViewChart: result = printChart(); break;
        case tbViewSummary: result = printGrid(*grdSummary); break;
        case tbViewXTab: result = printGrid(*grdXTab); break;
        }
        return true;
    }))
        result = false;
    if (!self)
        return false;
    m_blnPrinting = false;
    staStatus->Panels(1).setText(kept);
    ui::MousePointer::setDefault();
    return result;
}

bool hlTabulon::printGrid(const grid::Grid &grid)
{
    // The printer dialog offers the printers and a PDF file; cancelling it prints nothing.
    if (!ui::CommonDialog::showPrinter(this))
        return false;
    ui::MousePointer::setHourglass();
    if (!grid::GridPrinter(grid).print(ui::PrinterService::printer()))
        throw std::runtime_error("The printer could not start the document.");
    return true;
}

bool hlTabulon::printChart()
{
    QPrinter &printer = ui::PrinterService::printer();
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("The printer could not start the document.");
    // The chart is laid out afresh for the whole page, whatever the shape of the window it is
    // shown in; a 2-D chart is drawn as lines and text, not as a screen picture.
    const QRect page = painter.viewport();
    painter.setWindow(QRect(QPoint(0, 0), page.size()));
    chChart->render(painter, QRectF(QPointF(0, 0), QSizeF(page.size())));
    painter.end();
    return true;
}

std::shared_ptr<db::Recordset> hlTabulon::viewRecordset(tbView view)
{
    switch (view) {
    case tbViewResults: return m_query->results();
    case tbViewSummary: return analysis::gridRecordset(*grdSummary, std::max(grdSummary->FixedRows() - 1, 0));
    case tbViewXTab: return analysis::gridRecordset(*grdXTab, std::max(grdXTab->FixedRows() - 1, 0));
    case tbViewChart: break;
    }
    return {};
}

bool hlTabulon::Export_Data()
{
    // A grid with no rows to hand over: the command is off and does nothing. The chart's button is
    // always off, yet a host calling the member still gets the export window, with nothing set.
    if (m_intView != tbViewChart && !tlbMain->Buttons(QStringLiteral("Export")).Enabled())
        return false;
    const QPointer<hlTabulon> self(this);
    const auto undo = [&] {
        m_blnExporting = false;
        staStatus->Panels(1).setText(analysis::kReadyText);
        ui::MousePointer::setDefault();
    };
    return trap(QStringLiteral("Export_Data"), [&] {
        ui::MousePointer::setHourglass();
        const QString base = m_query->fileName().isEmpty() ? QStringLiteral("Query") : m_query->fileName();
        QPointer<frmExport> window = new frmExport(this);
        DataExport &control = *window->dataExport();
        switch (m_intView) {
        case tbViewResults:
            control.ExportName(base);
            control.TopRow(0);
            if (!m_blnAllFetched) {
                m_blnExporting = true;
                staStatus->Panels(1).setText(QStringLiteral("Preparing to Export ... (ESC to stop)"));
            }
            // Every row of the result is written, fetched by the export as it goes.
            control.Data(viewRecordset(tbViewResults));
            break;
        case tbViewSummary:
            control.ExportName(base + QStringLiteral("_Summary"));
            control.TopRow(0);
            control.Data(viewRecordset(tbViewSummary));
            break;
        case tbViewXTab:
            control.ExportName(base + QStringLiteral("_XTab"));
            if (grdXTab->Rows() > 1) {
                grdXTab->setRow(1);
                grdXTab->setRowSel(grdXTab->Rows() - 1);
            }
            control.TopRow(1);
            control.Data(viewRecordset(tbViewXTab));
            break;
        case tbViewChart: break;
        }
        // From here the export window answers Escape itself, with its own stop question.
        m_blnExporting = false;
        staStatus->Panels(1).setText(QStringLiteral("Export Data ..."));
        analysis::runModal(*window);
        if (window)
            window->deleteLater();
        if (!self)
            return false;
        staStatus->Panels(1).setText(analysis::kReadyText);
        ui::MousePointer::setDefault();
        return true;
    }, undo);
}
