// Printing the current view to a PDF file, and the hand-over of each view's rows to the export window.
#include "TabulonTestSupport.h"

#include "dialogs/frmExport.h"
#include "hlExport/DataExport.h"

#include "chart/ChartView.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridPrinter.h"
#include "ui/KeyedToolBar.h"
#include "ui/PrinterService.h"
#include "ui/StatusPanels.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

using namespace tabtest;

namespace {

class OutputTabulon : public hlTabulon {
public:
    grid::Grid *const grdResults = tabtest::part<grid::Grid>(*this, "grdResults");
    ui::StatusPanels *const staStatus = tabtest::part<ui::StatusPanels>(*this, "staStatus");
};

// A shown control whose summary and cross-tab grids a test fills itself.
class ViewTabulon : public FrameTabulon {
public:
    ViewTabulon()
    {
        SQL(QStringLiteral("SELECT * FROM t"));
        resize(800, 600);
        show();
    }
};

// What the export window was given, read back by exporting it to the file `file` as `destination`.
struct HandOver {
    QString caption;
    QString proposedName;
    bool exported = false;
};

class PrintExport : public ControlTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QPrinter &printer = ui::PrinterService::printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf());
        printer.setPageOrientation(QPageLayout::Portrait);
    }

    QString pdf() const { return dir.filePath(QStringLiteral("print.pdf")); }

    // A lazy result of `rows` rows "row 1" ... on a fresh SQLite file.
    std::unique_ptr<OutputTabulon> results(int rows)
    {
        auto c = db::Connection::create();
        c->setReadOnly(false);
        c->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("rows.db"))));
        c->Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS t AS WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL "
                                  "SELECT x + 1 FROM s WHERE x < %1) SELECT x AS id, 'row ' || x AS name FROM s")
                       .arg(rows));
        auto tab = shown<OutputTabulon>(c, QStringLiteral("SELECT id, name FROM t"));
        EXPECT_TRUE(tab->Refresh_Results(false, false, false));
        return tab;
    }

    // The export window, when shown, exports to `file` as `destination` and is closed.
    void exportWhenShown(DataExport::Destination destination, const QString &file, HandOver &seen)
    {
        analysis::setModalRunner([=, &seen](QDialog &dialog) {
            seen.caption = dialog.windowTitle();
            dialog.show(); // as exec() would: the control fills its column list when shown
            auto *window = qobject_cast<frmExport *>(&dialog);
            ASSERT_NE(window, nullptr);
            DataExport *control = window->dataExport();
            control->findChild<QRadioButton *>(QStringLiteral("optDestination%1").arg(int(destination)))->click();
            if (!file.isEmpty())
                ui::CommonDialog::queueFile(file);
            seen.exported = control->Export_Data();
            if (!ui::CommonDialog::asked().empty())
                seen.proposedName = ui::CommonDialog::asked().back().file.fileName;
            control->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
            EXPECT_EQ(dialog.result(), int(QDialog::Accepted)) << "Close unloads the window";
        });
    }

    static QString pdfText(const QString &file)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
        EXPECT_TRUE(p.waitForFinished(60000)) << "pdftotext (poppler-utils) is needed";
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    static int pdfPages(const QString &file)
    {
        QProcess p;
        p.start(QStringLiteral("pdfinfo"), {file});
        p.waitForFinished(60000);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(p.readAllStandardOutput()));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

    QTemporaryDir dir;
};

void fillSummary(grid::Grid &g)
{
    g.setCols(3);
    g.setRows(4);
    const QStringList cells = {QStringLiteral("Region"), QStringLiteral("Orders"), QStringLiteral("Total"),
                               QStringLiteral("North"), QStringLiteral("12"), QStringLiteral("1250.5"),
                               QStringLiteral("South"), QStringLiteral("7"), QStringLiteral("99.25"),
                               QStringLiteral("Grand Total"), QStringLiteral("19"), QStringLiteral("1349.75")};
    for (int i = 0; i < cells.size(); ++i)
        g.setTextMatrix(i / 3, i % 3, cells[i]);
}

} // namespace

TEST_F(PrintExport, ResultsPrintEveryRowAfterFetchingToTheEnd)
{
    auto tab = results(3000);
    ASSERT_LT(runnerOf(*tab).results()->fetchedCount(), 3000u);
    tab->staStatus->Panels(1).setText(QStringLiteral("before"));
    // The printout keeps the grid's column widths: wide enough for every value.
    tab->grdResults->setColWidth(0, 1500);
    tab->grdResults->setColWidth(1, 3000);
    ui::CommonDialog::queuePrinter(true);
    ASSERT_TRUE(tab->Print_Grid());
    EXPECT_TRUE(tab->ResultsComplete());
    EXPECT_FALSE(tab->hasBusyMark());
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("before"));
    const QString text = pdfText(pdf());
    EXPECT_TRUE(text.contains(QStringLiteral("name")));
    EXPECT_TRUE(text.contains(QStringLiteral("row 1 ")) || text.contains(QStringLiteral("row 1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("row 3000")));
    const int pages = pdfPages(pdf());
    EXPECT_GT(pages, 50);
    EXPECT_EQ(pages, grid::GridPrinter(*tab->grdResults).pageCount(ui::PrinterService::printer()));

    // A column too narrow for its later figures: paper gives them room instead of "###".
    tab->grdResults->setColWidth(0, 300);
    QFile::remove(pdf());
    ui::CommonDialog::queuePrinter(true);
    ASSERT_TRUE(tab->Print_Grid());
    const QString narrow = pdfText(pdf());
    EXPECT_TRUE(narrow.contains(QRegularExpression(QStringLiteral("\\b3000\\s+row 3000\\b"))));
    EXPECT_FALSE(narrow.contains(QLatin1Char('#')));

    // The printer dialog cancelled: nothing printed, nothing reported.
    QFile::remove(pdf());
    ui::CommonDialog::queuePrinter(false);
    EXPECT_FALSE(tab->Print_Grid());
    EXPECT_FALSE(QFile::exists(pdf()));
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(errorWindows.empty());
    tab->UnloadFlter();
}

TEST_F(PrintExport, SummaryPrintsItsGridAndNothingPrintsWithTheCommandOff)
{
    ViewTabulon tab;
    // No rows anywhere: the command is off and does nothing, no dialog asked.
    EXPECT_FALSE(tab.Print_Grid());
    EXPECT_FALSE(tab.Export_Data());
    EXPECT_TRUE(ui::CommonDialog::asked().empty());

    fillSummary(*tab.grdSummary);
    tab.grdSummary->setColWidth(0, 3000);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    ASSERT_TRUE(tab.stPrint());
    ui::CommonDialog::queuePrinter(true);
    ASSERT_TRUE(tab.Print_Grid());
    const QString text = pdfText(pdf());
    EXPECT_TRUE(text.contains(QStringLiteral("Region")));
    EXPECT_TRUE(text.contains(QStringLiteral("Grand Total")));
    EXPECT_TRUE(text.contains(QStringLiteral("1349.75")));
    EXPECT_EQ(pdfPages(pdf()), 1);

    // The cross-tab's caption, merged over narrow columns on screen, is one caption on paper too.
    grid::Grid &x = *tab.grdXTab;
    x.setCols(4);
    x.setRows(4);
    x.setFixedRows(2);
    const QString caption = QStringLiteral("Sum of Amount by Region\\Year");
    for (int c = 1; c < 4; ++c) {
        x.setTextMatrix(0, c, caption);
        x.setTextMatrix(1, c, QString::number(2020 + c));
        x.setTextMatrix(2, c, QString::number(c));
        x.setTextMatrix(3, c, QString::number(c * 2));
        x.setColWidth(c, 1500);
    }
    x.setColWidth(0, 1500);
    x.setMergeCells(grid::flexMergeFree);
    x.setMergeRow(0, true);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewXTab));
    ui::CommonDialog::queuePrinter(true);
    ASSERT_TRUE(tab.Print_Grid());
    EXPECT_EQ(pdfText(pdf()).count(caption), 1) << pdfText(pdf()).toStdString();
    tab.UnloadFlter();
}

TEST_F(PrintExport, ChartPrintsItsTitleAxesAndLegendAtTheSizesShownOnScreen)
{
    chart::ChartView::setOpenGLAllowed(false);
    analysis::options().ChartLegend = true;
    auto rows = results(3);
    rows->UnloadFlter();
    auto c = db::Connection::create();
    c->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("rows.db"))));
    auto tab = std::make_unique<ChartTabulon>();
    openView(*tab, c, QStringLiteral("SELECT name AS \"Region\", id AS \"Amount\" FROM t"), hlTabulon::tbViewChart);
    tab->pick(3, QStringLiteral("Sum of --->>>"));
    tab->pick(4, QStringLiteral("Amount"));
    for (int type : {analysis::ChartType2DBar, analysis::ChartType3DBar, analysis::ChartType3DArea,
                     analysis::ChartType2DPie}) {
        analysis::options().ChartType = type;
        ASSERT_TRUE(tab->Refresh());
        QFile::remove(pdf());
        ASSERT_TRUE(tab->Print_Grid());
        const QString text = pdfText(pdf());
        // A title or legend grown by the printer's resolution runs off the page.
        for (const QString &seen : {QStringLiteral("Sum of Amount by Region"), QStringLiteral("row 1"),
                                    QStringLiteral("row 2"), QStringLiteral("row 3")}) {
            EXPECT_TRUE(text.contains(seen)) << "type " << type << ": " << seen.toStdString() << " in\n"
                                             << text.toStdString();
        }
        if (type != analysis::ChartType2DPie) {
            EXPECT_TRUE(text.contains(QStringLiteral("Region"))) << type;
        }
        EXPECT_EQ(pdfPages(pdf()), 1);
        EXPECT_EQ(ui::PrinterService::printer().pageLayout().orientation(), QPageLayout::Landscape);
    }
    EXPECT_TRUE(ui::CommonDialog::asked().empty()) << "no printer dialog for a chart";
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
    chart::ChartView::setOpenGLAllowed(true);
}

TEST_F(PrintExport, ResultsHandOverEveryRowOfTheRecordset)
{
    auto tab = results(3000);
    const QString file = dir.filePath(QStringLiteral("all.txt"));
    HandOver seen;
    exportWhenShown(DataExport::TextFile, file, seen);
    ASSERT_TRUE(tab->Export_Data());
    EXPECT_EQ(seen.caption, QStringLiteral("Export Data"));
    EXPECT_TRUE(seen.exported);
    EXPECT_EQ(seen.proposedName, QStringLiteral("Query.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    EXPECT_EQ(lines.size(), 3002);
    EXPECT_EQ(lines[3000], QByteArray("3000,row 3000\r"));
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_FALSE(tab->isBusy());
    EXPECT_TRUE(events.empty());
    tab->UnloadFlter();
}

TEST_F(PrintExport, SummaryAndCrossTabHandOverTheirGridsRows)
{
    ViewTabulon tab;
    runnerOf(tab).setFileName(QStringLiteral("/q/Sales Report.sql"));
    fillSummary(*tab.grdSummary);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewSummary));
    const QString file = dir.filePath(QStringLiteral("summary.xml"));
    HandOver seen;
    exportWhenShown(DataExport::Xml, file, seen);
    ASSERT_TRUE(tab.Export_Data());
    EXPECT_TRUE(seen.exported);
    EXPECT_EQ(seen.proposedName, QStringLiteral("/q/SalesReport.sql_Summary.xml"));
    auto back = db::Recordset::create();
    back->OpenXml(file);
    ASSERT_EQ(back->FieldCount(), 3);
    EXPECT_EQ(back->Field(0).Name, QStringLiteral("Region"));
    EXPECT_EQ(back->Field(1).Type, db::adBigInt);
    EXPECT_EQ(back->Field(2).Type, db::adDouble);
    ASSERT_EQ(back->RecordCount(), 3);
    EXPECT_EQ(back->value(2, 0).toString(), QStringLiteral("Grand Total"));
    EXPECT_EQ(back->value(0, 2).toDouble(), 1250.5);

    // The cross-tab: two header rows, names from the second; its rows are selected for the export.
    tab.grdXTab->setCols(3);
    tab.grdXTab->setRows(4);
    tab.grdXTab->setFixedRows(2);
    const QStringList cells = {QString(), QStringLiteral("Year"), QString(), QStringLiteral("Region"),
                               QStringLiteral("2023"), QStringLiteral("2024"), QStringLiteral("North"),
                               QStringLiteral("5"), QStringLiteral("7"), QStringLiteral("South"), QString(),
                               QStringLiteral("3")};
    for (int i = 0; i < cells.size(); ++i)
        tab.grdXTab->setTextMatrix(i / 3, i % 3, cells[i]);
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewXTab));
    const QString text = dir.filePath(QStringLiteral("xtab.txt"));
    exportWhenShown(DataExport::TextFile, text, seen);
    ASSERT_TRUE(tab.Export_Data());
    EXPECT_EQ(seen.proposedName, QStringLiteral("/q/SalesReport.sql_XTab.txt"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("Region,2023,2024\r\nNorth,5,7\r\nSouth,,3\r\n"));
    EXPECT_EQ(tab.grdXTab->Row(), 1);
    EXPECT_EQ(tab.grdXTab->RowSel(), 3);

    // The chart hands over nothing, its button stays off, yet the member still opens the window,
    // whose export then has nothing to write.
    ASSERT_TRUE(tab.Change_View(hlTabulon::tbViewChart));
    EXPECT_FALSE(tab.stExportData());
    QString shownCaption;
    bool chartExported = true;
    analysis::setModalRunner([&](QDialog &dialog) {
        shownCaption = dialog.windowTitle();
        dialog.show();
        DataExport *control = qobject_cast<frmExport *>(&dialog)->dataExport();
        chartExported = control->Export_Data();
        control->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
    });
    EXPECT_TRUE(tab.Export_Data());
    EXPECT_EQ(shownCaption, QStringLiteral("Export Data"));
    EXPECT_FALSE(chartExported);
    EXPECT_EQ(tab.staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    EXPECT_TRUE(events.empty());
    tab.UnloadFlter();
}
