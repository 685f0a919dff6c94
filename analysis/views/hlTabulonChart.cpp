// The chart view: the aggregate of one or two group columns drawn as bars, an area or a pie, its
// look and options, the 3-D sliders, the mouse and keys on the chart, and mailing its picture.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlAccess.h"
#include "core/ControlSupport.h"
#include "hlTabulon/LibraryState.h"
#include "core/OperationFrame.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"
#include "views/Aggregates.h"
#include "views/ChartGrid.h"
#include "views/ViewRefresh.h"

#include "chart/ChartView.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/GridFormat.h"
#include "mail/MailSender.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>
#include <QTemporaryDir>

#include <climits>
#include <cmath>
#include <stdexcept>

namespace cv = analysis::chartview;

namespace {

// The view every chart starts from and "Reset" goes back to.
constexpr int kStartRotation = 30;
constexpr int kStartElevation = 15;

double numberIn(const db::Recordset &rs, std::size_t row, int col)
{
    if (rs.isNull(row, col))
        return 0.0;
    bool ok = false;
    const double d = rs.value(row, col).toDouble(&ok);
    if (ok)
        return d;
    return grid::format::parseNumber(rs.displayText(row, col)).value_or(0.0);
}

QString groupIn(const db::Recordset &rs, std::size_t row, int col)
{
    return rs.isNull(row, col) ? QStringLiteral(" ") : rs.displayText(row, col);
}

} // namespace

void hlTabulon::connectChart()
{
    connect(chChart, &chart::ChartView::KeyDown, this, &hlTabulon::chChart_KeyDown);
    connect(chChart, &chart::ChartView::KeyUp, this, &hlTabulon::chChart_KeyUp);
    connect(chChart, &chart::ChartView::MouseDown, this, &hlTabulon::chChart_MouseDown);
    connect(chChart, &chart::ChartView::MouseUp, this, &hlTabulon::chChart_MouseUp);
    connect(chChart, &chart::ChartView::PlotUpdated, this, &hlTabulon::chChart_PlotUpdated);
    connect(chChart, &chart::ChartView::PointSelected, this, &hlTabulon::chChart_PointSelected);
    connect(chChart, &chart::ChartView::RenderStateChanged, this, &hlTabulon::showChartState);
    for (int i = 0; i < 2; ++i)
        connect(sldChart[i], &QSlider::valueChanged, this, [this, i] { sldChart_Change(i); });
    connect(tlbChart, &ui::KeyedToolBar::ButtonClick, this, &hlTabulon::tlbChart_ButtonClick);
}

int hlTabulon::chartDataColumns() const
{
    return chChart->data().ColumnCount();
}

bool hlTabulon::Set_Chart()
{
    return trap(QStringLiteral("Set_Chart"), [&] {
        QFont title(QStringLiteral("Arial"), 15);
        title.setBold(true);
        const QFont category(QStringLiteral("System"), 18);
        QFont axis(QStringLiteral("Arial"), 16);
        axis.setBold(true);

        chChart->hide();
        chChart->data().clear();
        chChart->setShowLegend(true);
        chChart->Set3DView(kStartRotation, kStartElevation);
        for (int id : {chart::AxisValue, chart::AxisSecondValue, chart::AxisDepth})
            chChart->setAxisTitleFont(id, axis);
        chChart->setAxisTitleFont(chart::AxisCategory, category);
        chChart->setAxisLabelFontSize(chart::AxisValue, 15);
        chChart->setAxisLabelFontSize(chart::AxisSecondValue, 15);
        chChart->setAxisLabelFontSize(chart::AxisDepth, 0);
        chChart->setTitleFont(title);
        return true;
    });
}

bool hlTabulon::Set_ChartOptions()
{
    if (m_steps)
        return m_steps->Set_ChartOptions();
    return trap(QStringLiteral("Set_ChartOptions"), [&] {
        const analysis::Options &opt = analysis::options();
        // A renderer swapped out while it holds the keyboard would hand it to the next widget in
        // the chain, which may be in another window; the chart itself keeps it instead.
        if (QWidget *f = QApplication::focusWidget(); f && chChart->isAncestorOf(f))
            chChart->setFocus();
        chChart->setChartType(opt.ChartType);
        if (chChart->data().ColumnCount() > cv::kLegendColumns && opt.ChartLegend) {
            ui::Prompter::msgBox(QStringLiteral("Cannot display Legend, too many columns"), ui::MsgButtons::OK,
                                 ui::MsgIcon::Information, QStringLiteral("Refresh Chart"), this);
            chChart->setShowLegend(false);
        } else {
            chChart->setShowLegend(opt.ChartLegend);
        }
        chChart->setStacking(opt.ChartStack);
        if (!opt.ChartTitle.isEmpty())
            chChart->setTitleText(opt.ChartTitle);
        showChartState();
        return true;
    });
}

bool hlTabulon::Refresh_Chart()
{
    if (m_steps)
        return m_steps->Refresh_Chart();
    analysis::ViewRefresh refresh(*this, QStringLiteral("Refresh_Chart"));
    bool ok = false;
    const auto prepare = [&] {
        // What the last chart's drawing said is not the text to come back to.
        if (!m_strChartState.isEmpty() && staStatus->Panels(1).Text() == m_strChartState)
            staStatus->Panels(1).setText(analysis::kReadyText);
        m_strChartState.clear();
        Set_Chart();
    };
    const auto body = [&] {
        chChart->hide();
        refresh.step(true);
        chChart->data().clear();
        const QString sql = refresh.statement(cboChartCol);
        if (sql.isEmpty())
            return;
        if (m_rsChart && m_rsChart->State() == db::adStateOpen)
            m_rsChart->Close();
        m_rsChart = refresh.open(sql);
        if (!refresh.stopped)
            ok = drawChartRows(refresh);
    };
    const auto settle = [&] {
        chChart->setMousePointer(chart::PointerDefault);
        // A chart left unfinished is not there to print.
        if (!ok)
            setCommandEnabled(tlbMain, QStringLiteral("Print"), false);
    };
    if (!refresh.run({QStringLiteral("Charting data ..."), ui::LongOperation::Restore::Previous, true}, body, settle,
                     prepare))
        return false;
    if (ok)
        showChartState();
    return ok;
}

bool hlTabulon::drawChartRows(analysis::ViewRefresh &refresh)
{
    const std::shared_ptr<db::Recordset> held = m_rsChart;
    const db::Recordset &rs = *held;
    const std::size_t n = rs.fetchedCount();
    if (n == 0)
        return false;
    const bool two = cboChartCol[1]->currentIndex() > 0;
    const int last = rs.FieldCount() - 1;
    if (last < (two ? 2 : 1))
        throw std::runtime_error("The chart's statement gave too few columns");

    refresh.operation().showProgress(int(std::min<std::size_t>(n, INT_MAX)));
    chart::ChartData &data = chChart->data();
    cv::ChartGridFiller filler(data, two);
    double grandTotal = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double value = numberIn(rs, i, last);
        grandTotal += value;
        filler.add(groupIn(rs, i, 0), two ? groupIn(rs, i, 1) : QString(), value);
        refresh.operation().setProgress(int(std::min<std::size_t>(i, INT_MAX)));
        if (refresh.step())
            return false;
    }

    if (analysis::options().ChartSortCols) {
        Sort_Chart(refresh);
        refresh.check();
        // Escape stops only the sort: the columns stay as far as they got and are drawn.
        analysis::g_blnAbort = false;
    }

    const int function = cboChartCol[3]->currentIndex();
    const analysis::aggregates::Aggregate &aggregate = analysis::aggregates::aggregate(function);
    const QString valueColumn = cboChartCol[4]->currentText();
    const bool currency = aggregate.needsValueColumn &&
                          m_query->fields().value(cboChartCol[4]->currentData().toInt()).value(1).toInt() == 6;
    // An average across the groups of a series is the series' sum over its count, from the
    // database, not an average of the groups' averages.
    QHash<QString, std::pair<double, double>> averageParts;
    if (two && aggregate.combine == analysis::aggregates::Combine::Average && analysis::options().ChartLegendValues) {
        const std::shared_ptr<db::Recordset> parts = refresh.open(Get_AveragePartsSQL(cboChartCol));
        if (refresh.stopped)
            return false;
        const int sums = parts->FieldCount() - 2; // the sums, then the counts, close the row
        for (std::size_t i = 0; i < parts->fetchedCount(); ++i) {
            auto &[s, count] = averageParts[groupIn(*parts, i, 1)];
            s += numberIn(*parts, i, sums);
            count += numberIn(*parts, i, sums + 1);
        }
    }
    cv::labelSeries(data, function, analysis::options().ChartLegendValues, currency, grandTotal, averageParts);
    data.setDataSeriesInRow(two);
    const bool optionsSet = Set_ChartOptions();
    refresh.check();
    if (!optionsSet)
        return false;
    setCommandEnabled(tlbMain, QStringLiteral("Print"), data.ColumnCount() > 0);

    const cv::Titles t = cv::titles(function, valueColumn, cboChartCol[0]->currentText(),
                                    two ? cboChartCol[1]->currentText() : QString());
    chChart->setAxisTitle(chart::AxisValue, t.valueAxis);
    chChart->setTitleText(t.chart);
    chChart->setAxisTitle(chart::AxisDepth, t.depthAxis);
    chChart->setAxisTitle(chart::AxisCategory, t.categoryAxis);
    analysis::options().ChartTitle = t.chart;
    chChart->show();
    txtChartSQL->setPlainText(refresh.sql);
    return true;
}

bool hlTabulon::Sort_Chart(analysis::ViewRefresh &refresh)
{
    return trap(QStringLiteral("Sort_Chart"), [&] {
        staStatus->Panels(1).setText(QStringLiteral("Sorting Data.. "));
        const analysis::Options &opt = analysis::options();
        if (!opt.ChartSortCols)
            return true;
        chart::ChartData &data = chChart->data();
        // With two group columns the columns keep the order of their groups.
        if (data.RowCount() != 1)
            return true;
        bool progressShown = false;
        return data.sortColumns(1, opt.ChartSortDesc, [&](std::int64_t done, std::int64_t total) {
            if (!progressShown) {
                refresh.operation().showProgress(int(std::min<std::int64_t>(total, INT_MAX)));
                progressShown = true;
            }
            refresh.operation().setProgress(int(std::min<std::int64_t>(done, INT_MAX)));
            return !refresh.step();
        });
    });
}

void hlTabulon::showChartState()
{
    if (m_intView != tbViewChart || m_blnRefreshing)
        return;
    const QString error = chChart->DrawError();
    const QString state = !error.isEmpty() ? error : chChart->Fallback2D() ? chChart->FallbackText() : QString();
    if (!state.isEmpty())
        staStatus->Panels(1).setText(state);
    else if (!m_strChartState.isEmpty() && staStatus->Panels(1).Text() == m_strChartState)
        staStatus->Panels(1).setText(analysis::kReadyText);
    m_strChartState = state;
}

// --- the mouse, the keys and the sliders ---

void hlTabulon::chChart_KeyDown(int, int shift)
{
    // Ctrl alone: dragging now turns the 3-D chart.
    if (shift == chart::ShiftCtrl)
        chChart->setMousePointer(chart::PointerCross);
}

void hlTabulon::chChart_KeyUp(int, int)
{
    chChart->setMousePointer(chart::PointerDefault);
}

void hlTabulon::chChart_MouseDown(int, int, int, int)
{
    chChart->setToolTip(QString());
}

void hlTabulon::chChart_MouseUp(int button, int, int, int)
{
    if (button != chart::ButtonRight)
        return;
    const QPointer<hlTabulon> self(this);
    // Shut, the chart would pass the keyboard on to the next widget in the chain, which may be in
    // another window; it waits in the chart's SQL box and comes back afterwards.
    QWidget *f = QApplication::focusWidget();
    const bool hadFocus = f && (f == chChart || chChart->isAncestorOf(f));
    try {
        if (hadFocus)
            txtChartSQL->setFocus();
        chChart->setEnabled(false);
        Show_Options();
    } catch (...) {
    }
    if (!self)
        return;
    chChart->setEnabled(true);
    if (hadFocus)
        chChart->setFocus();
}

void hlTabulon::chChart_PointSelected(int series, int dataPoint)
{
    try {
        chart::ChartData &data = chChart->data();
        // The point's own row and column, whichever way the series run: a two-column chart with a
        // single second value is one row of series across its columns.
        data.setRow(data.rowOf(series, dataPoint));
        data.setColumn(data.columnOf(series, dataPoint));
        chChart->setToolTip(data.Data());
    } catch (...) {
    }
}

void hlTabulon::loadChartSliders(double rotation, double elevation)
{
    // Both values first, then the sliders without their change events: a slider moved on its own
    // would turn the chart back to the other slider's old value.
    const QSignalBlocker b0(sldChart[0]);
    const QSignalBlocker b1(sldChart[1]);
    sldChart[1]->setValue(int(std::lround(elevation)));
    sldChart[0]->setValue(int(std::lround(rotation)));
}

void hlTabulon::chChart_PlotUpdated()
{
    if (!sldChart[0]->isHidden())
        loadChartSliders(chChart->Rotation(), chChart->Elevation());
}

void hlTabulon::sldChart_Change(int index)
{
    chChart->Set3DView(sldChart[0]->value(), sldChart[1]->value());
    QSlider *moved = sldChart[index == 0 ? 0 : 1];
    moved->setToolTip(QString::number(moved->value()) + u'\'');
}

void hlTabulon::tlbChart_ButtonClick(const QString &key)
{
    if (key.compare(QLatin1String("Slide"), Qt::CaseInsensitive) == 0) {
        loadChartSliders(chChart->Rotation(), chChart->Elevation());
        const bool shown = tlbChart->Buttons(QStringLiteral("Slide")).Value() == ui::tbrPressed;
        for (QSlider *s : sldChart)
            s->setVisible(shown);
    } else if (key.compare(QLatin1String("Reset"), Qt::CaseInsensitive) == 0) {
        chChart->Set3DView(kStartRotation, kStartElevation);
        chChart->ResetLayout();
        loadChartSliders(kStartRotation, kStartElevation);
    } else if (key.compare(QLatin1String("EMail"), Qt::CaseInsensitive) == 0) {
        EMail_Chart();
    }
}

bool hlTabulon::EMail_Chart()
{
    const QPointer<hlTabulon> self(this);
    bool result = false;
    ui::MousePointer::setHourglass();
    staStatus->Panels(1).setText(QStringLiteral("E-Mailing chart ..."));
    if (!trap(QStringLiteral("EMail_Chart"), [&] {
        // A folder of its own, never the working folder: no file of the user's is overwritten,
        // and the picture is left there for the mail program to read when it sends.
        QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/Tabulon-chart-XXXXXX"));
        if (!folder.isValid())
            throw std::runtime_error("No folder could be made for the chart's picture: " +
                                     folder.errorString().toStdString());
        folder.setAutoRemove(false);
        const QString file = folder.filePath(QStringLiteral("Chart.bmp"));
        const QImage picture = chChart->Picture();
        if (picture.isNull() || !picture.save(file, "BMP"))
            throw std::runtime_error("The chart's picture could not be written to " + file.toStdString());

        mail::MailMessage message;
        message.subject = chChart->TitleText();
        message.body = chChart->TitleText();
        message.attachments << file;
        const mail::MailResult sent = mail::MailSender::instance().send(message);
        if (!self)
            return false;
        // A send the user called off says nothing; a desktop without a mail program is told so
        // plainly; any other failure of the hand-off is reported.
        if (sent.ok) {
            result = true;
        } else if (sent.noMailProgram) {
            ui::MousePointer::setDefault();
            ui::Prompter::msgBox(sent.error, ui::MsgButtons::OK, ui::MsgIcon::Exclamation,
                                 QStringLiteral("E-Mail Chart"), this);
        } else if (!sent.error.isEmpty()) {
            report(QStringLiteral("EMail_Chart"), sent.error);
        }
        return true;
    }))
        result = false;
    if (!self)
        return false;
    staStatus->Panels(1).setText(analysis::kReadyText);
    ui::MousePointer::setDefault();
    return result;
}
