// SaveGrid / LoadGrid round trips and refusals, and printing to PDF.
#include "grid/Grid.h"
#include "grid/GridPrinter.h"
#include "TestSupport.h"

#include "ui/CommonDialog.h"
#include "ui/PrinterService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace grid;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

int pdfPages(const QString &path)
{
    const QByteArray pdf = readFile(path);
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return int(QString::fromLatin1(pdf).count(page));
}

// A filter grid: ten columns, some hidden, awkward texts.
void fillFilterGrid(Grid &g)
{
    g.setCols(10);
    g.setRows(3);
    const QStringList head{"(", "Column", "", "", "IS", "Comparison", "Value", ")", "AND\\OR", ""};
    for (int c = 0; c < 10; ++c)
        g.setTextMatrix(0, c, head.at(c));
    g.setTextMatrix(1, 1, QStringLiteral("Name"));
    g.setTextMatrix(1, 2, QStringLiteral("3"));
    g.setTextMatrix(1, 6, QStringLiteral("O'Brien\tand\\N \"quotes\"\nnext line\r"));
    g.setTextMatrix(1, 9, QStringLiteral("False"));
    g.setTextMatrix(2, 6, QStringLiteral("Müller Ødegaard ✓"));
    g.setTextMatrix(2, 8, QStringLiteral("")); // empty text, not Null
    g.setTextMatrix(2, 5, QStringLiteral("\\N"));
    for (int c : {0, 2, 3, 7, 9})
        g.setColHidden(c, true);
    g.setColWidth(1, 2010);
}

} // namespace

TEST(GridFile, RoundTripKeepsEveryCellNullsAndLayout)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("filter.qry"));
    Grid a;
    fillFilterGrid(a);
    a.SaveGrid(path);
    EXPECT_TRUE(readFile(path).startsWith("TabulonGrid 1\n"));

    Grid b;
    b.setCols(2);
    b.LoadGrid(path);
    ASSERT_EQ(b.Rows(), a.Rows());
    ASSERT_EQ(b.Cols(), a.Cols());
    EXPECT_EQ(b.FixedRows(), 1);
    for (int r = 0; r < a.Rows(); ++r) {
        for (int c = 0; c < a.Cols(); ++c) {
            EXPECT_EQ(b.TextMatrix(r, c), a.TextMatrix(r, c)) << r << "," << c;
            EXPECT_EQ(b.IsNullMatrix(r, c), a.IsNullMatrix(r, c)) << r << "," << c;
        }
        EXPECT_FALSE(b.IsNullMatrix(2, 8)) << "empty text stays empty text";
        EXPECT_TRUE(b.IsNullMatrix(2, 7));
        EXPECT_EQ(b.TextMatrix(2, 5), QStringLiteral("\\N")) << "a backslash-N text is not a Null";
    }
    for (int c = 0; c < 10; ++c)
        EXPECT_EQ(b.ColHidden(c), a.ColHidden(c)) << c;
    EXPECT_NEAR(b.ColWidth(1), 2010, 15);

    // Cells only: the layout of the grid loading it stays.
    const QString dataPath = dir.filePath(QStringLiteral("data.qry"));
    a.SaveGrid(dataPath, flexFileData);
    EXPECT_FALSE(readFile(dataPath).contains("width"));
    Grid c;
    c.setCols(10);
    c.setColWidth(1, 900);
    c.setColHidden(4, true);
    c.LoadGrid(dataPath, flexFileData);
    EXPECT_EQ(c.TextMatrix(1, 6), a.TextMatrix(1, 6));
    EXPECT_NEAR(c.ColWidth(1), 900, 15);
    EXPECT_TRUE(c.ColHidden(4));
    EXPECT_FALSE(c.ColHidden(0));

    // Two fixed rows survive too (the cross-tab).
    Grid x;
    x.setCols(2);
    x.setRows(3);
    x.setFixedRows(2);
    x.setTextMatrix(1, 1, QStringLiteral("key"));
    x.SaveGrid(path);
    Grid y;
    y.LoadGrid(path);
    EXPECT_EQ(y.FixedRows(), 2);
    EXPECT_EQ(y.TextMatrix(1, 1), QStringLiteral("key"));
    EXPECT_EQ(y.Row(), 2);
}

TEST(GridFile, ForeignOrDamagedFilesAreRefusedAndChangeNothing)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("good.qry"));
    Grid source;
    fillFilterGrid(source);
    source.SaveGrid(good);
    const QByteArray bytes = readFile(good);

    Grid g;
    g.setCols(3);
    g.setRows(2);
    g.setTextMatrix(1, 1, QStringLiteral("keep me"));
    g.setColWidth(2, 1800);

    QByteArray wrongCount = bytes;
    wrongCount.replace("False", "False\textra");
    QByteArray badEscape = bytes;
    badEscape.replace("O'Brien", "O\\qBrien");
    QByteArray fewerRows = bytes;
    fewerRows.replace("rows 3", "rows 4");
    QByteArray badUtf8 = bytes;
    badUtf8.replace("Müller", "M\xff\xfeller");
    QByteArray truncated = bytes.left(bytes.lastIndexOf("end"));
    QByteArray trailing = bytes + "more\n";
    QByteArray fixedTooMany = bytes;
    fixedTooMany.replace("fixedrows 1", "fixedrows 9");

    const std::vector<std::pair<const char *, QByteArray>> cases{
        {"foreign text", "Name;Value\nx;y\n"},
        {"empty", ""},
        {"newer version", QByteArray(bytes).replace("TabulonGrid 1", "TabulonGrid 7")},
        {"cut short", truncated},
        {"a row with an extra cell", wrongCount},
        {"a broken escape", badEscape},
        {"fewer rows than it says", fewerRows},
        {"not UTF-8", badUtf8},
        {"text after the end", trailing},
        {"more fixed rows than rows", fixedTooMany},
        {"binary", QByteArray("TabulonGrid 1\n\0\0\0", 17)},
    };
    for (const auto &[name, content] : cases) {
        const QString path = dir.filePath(QStringLiteral("bad.qry"));
        writeFile(path, content);
        try {
            g.LoadGrid(path);
            ADD_FAILURE() << name << ": loaded";
        } catch (const GridError &e) {
            EXPECT_TRUE(e.message().contains(path)) << name << ": " << e.what();
        }
        EXPECT_EQ(g.Rows(), 2) << name;
        EXPECT_EQ(g.Cols(), 3) << name;
        EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("keep me")) << name;
        EXPECT_NEAR(g.ColWidth(2), 1800, 15) << name;
    }
    EXPECT_THROW(g.LoadGrid(dir.filePath(QStringLiteral("missing.qry"))), GridError);

    // A save that cannot be written says so and leaves the old file whole.
    EXPECT_THROW(g.SaveGrid(dir.path()), GridError);
    EXPECT_THROW(g.SaveGrid(dir.filePath(QStringLiteral("no/such/folder/x.qry"))), GridError);
    EXPECT_EQ(readFile(good), bytes);
}

class GridPrint : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QPrinter &printer = ui::PrinterService::printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(QPageLayout::Portrait);
    }

    QString pdf(const char *name)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        ui::PrinterService::printer().setOutputFileName(path);
        return path;
    }

    static void fill(Grid &g, int rows, int cols = 3)
    {
        g.setCols(cols);
        g.setRows(rows + 1);
        for (int c = 0; c < cols; ++c)
            g.setTextMatrix(0, c, QStringLiteral("Column %1").arg(c));
        for (int r = 1; r <= rows; ++r)
            for (int c = 0; c < cols; ++c)
                g.setTextMatrix(r, c, QStringLiteral("r%1c%2").arg(r).arg(c));
    }

    // The most data rows one page holds, found through the printer's own layout.
    static int rowsPerPage(Grid &g, QPrinter &printer)
    {
        int lo = 1, hi = 2000;
        while (lo < hi) {
            const int mid = (lo + hi + 1) / 2;
            fill(g, mid);
            if (GridPrinter(g).pageCount(printer) == 1)
                lo = mid;
            else
                hi = mid - 1;
        }
        return lo;
    }

    QTemporaryDir m_dir;
};

TEST_F(GridPrint, PageCountFollowsTheVisibleRows)
{
    QPrinter &printer = ui::PrinterService::printer();
    Grid g;
    const int perPage = rowsPerPage(g, printer);
    EXPECT_GT(perPage, 20);

    fill(g, 2 * perPage + 1);
    GridPrinter gp(g);
    EXPECT_EQ(gp.pageCount(printer), 3);
    const QString path = pdf("three.pdf");
    ASSERT_TRUE(g.PrintGrid(QStringLiteral("Results")));
    EXPECT_EQ(pdfPages(path), 3);

    // Hidden rows are left out: two pages' worth hidden, one page less... and no blank pages.
    for (int r = 1; r <= perPage + 1; ++r)
        g.setRowHidden(r, true);
    EXPECT_EQ(gp.pageCount(printer), 1);
    const QString fewer = pdf("one.pdf");
    ASSERT_TRUE(g.PrintGrid());
    EXPECT_EQ(pdfPages(fewer), 1);

    // Columns far wider than the page shrink together instead of spilling onto more pages.
    Grid wide;
    fill(wide, perPage, 12);
    for (int c = 0; c < 12; ++c)
        wide.setColWidth(c, 4000);
    wide.setColHidden(3, true);
    wide.setCell(flexcpBackColor, 1, 0, 3, 2, QVariant(0x0000FFFF));
    wide.setCell(flexcpFontBold, 1, 0, 1, 11, true);
    EXPECT_EQ(GridPrinter(wide).pageCount(printer), 1);
    const QString widePath = pdf("wide.pdf");
    ASSERT_TRUE(wide.PrintGrid());
    EXPECT_EQ(pdfPages(widePath), 1);

    // An empty grid still prints its header on one page.
    Grid empty;
    empty.setCols(2);
    EXPECT_EQ(GridPrinter(empty).pageCount(printer), 1);
}

TEST_F(GridPrint, ThePrinterDialogCanCancel)
{
    ui::ScriptedDialogs scripted;
    Grid g;
    fill(g, 10);
    const QString path = pdf("cancelled.pdf");
    ui::CommonDialog::queuePrinter(false);
    EXPECT_FALSE(g.PrintGrid(QString(), true));
    EXPECT_FALSE(QFile::exists(path));
    ui::CommonDialog::queuePrinter(true);
    EXPECT_TRUE(g.PrintGrid(QString(), true, 2));
    EXPECT_EQ(pdfPages(path), 1);
    EXPECT_EQ(ui::PrinterService::printer().pageLayout().orientation(), QPageLayout::Landscape);
    ASSERT_NE(ui::CommonDialog::lastAsked(), nullptr);
    EXPECT_EQ(ui::CommonDialog::lastAsked()->kind, ui::DialogRecord::Kind::Printer);
}

namespace {

// The process's peak virtual size in kB, from /proc.
long long peakVirtualKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmPeak:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

TEST(GridFile, AFileClaimingMoreThanItHoldsReservesNothingForTheClaim)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("claims.qry"));
    // 69 bytes declaring fifty million rows.
    const QByteArray claim("TabulonGrid 1\nrows 50000000\ncols 1\nfixedrows 0\nfixedcols 0\ncells\nend\n");
    ASSERT_EQ(claim.size(), 69);
    writeFile(path, claim);
    Grid g;
    g.setRows(2);
    g.setCols(2);
    g.setTextMatrix(1, 1, QStringLiteral("kept"));
    const long long before = peakVirtualKb();
    try {
        g.LoadGrid(path);
        ADD_FAILURE() << "loaded a file that holds none of its rows";
    } catch (const GridError &e) {
        EXPECT_TRUE(e.message().contains(QLatin1String("ends after 0 of its 50000000 rows"))) << e.what();
    }
    if (before > 0) { // reserving the claim took gigabytes of address space
        EXPECT_LT(peakVirtualKb() - before, 512 * 1024);
    }
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("kept"));

    // Columns without a single row are a claim too.
    writeFile(path, "TabulonGrid 1\nrows 0\ncols 50000000\nfixedrows 0\nfixedcols 0\ncells\nend\n");
    EXPECT_THROW(g.LoadGrid(path), GridError);
    EXPECT_EQ(g.Cols(), 2);

    // What the file does hold still loads, also with a generous row count of its own.
    writeFile(path, "TabulonGrid 1\nrows 2\ncols 2\nfixedrows 1\nfixedcols 0\ncells\na\tb\nc\td\nend\n");
    g.LoadGrid(path);
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("d"));
}
