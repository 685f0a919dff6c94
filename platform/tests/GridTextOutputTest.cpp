// The grid's text as the writers read it (SaveGrid, copying): byte for byte what it was, bound
// rows formatted straight from the row store and held rows alike.
#include "DbTestSupport.h"
#include "TestSupport.h"

#include "db/Recordset.h"
#include "db/RowStore.h"
#include "grid/Grid.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <limits>
#include <stdexcept>

using namespace grid;
using testsupport::readFile;
using dbtest::field;

namespace {

// Every kind of cell the grid shows, Nulls and empty text among them.
std::shared_ptr<db::Recordset> awkwardRows()
{
    auto store = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{
        field("id", db::adBigInt), field("name", db::adVarWChar), field("amount", db::adNumeric),
        field("day", db::adDBDate), field("at", db::adDBTimeStamp), field("flag", db::adBoolean),
        field("score", db::adDouble), field("bin", db::adLongVarBinary)});
    const std::vector<std::vector<QVariant>> rows = {
        {1, QStringLiteral("O'Brien\tand\\N\nnext\r"), QStringLiteral("12.50"), QDate(2024, 2, 29),
         QStringLiteral("2024-02-29 13:45:30.25+05:30"), true, 2.5, QByteArray("\0\1\2", 3)},
        {2, QStringLiteral(""), QVariant(), QVariant(), QVariant(), false, -0.001, QVariant()},
        {3, QVariant(), QStringLiteral("-0.05"), QStringLiteral("0044-03-15 BC"), QStringLiteral("1999-12-31 23:59:59"),
         QVariant(), 1e300, QByteArray("")},
        {std::numeric_limits<qlonglong>::min(), QStringLiteral("Müller Ødegaard ✓"), QStringLiteral("0"),
         QDate(1, 1, 1), QStringLiteral("infinity"), true, -0.0, QVariant()},
    };
    for (const auto &row : rows) {
        store->beginRow();
        for (int c = 0; c < int(row.size()); ++c)
            store->setValue(c, row[std::size_t(c)]);
        store->endRow();
    }
    return db::Recordset::fromStore(store, QStringLiteral("rows"));
}

} // namespace

TEST(GridTextOutput, SaveGridOfBoundRowsIsByteForByteTheFileItWas)
{
    auto rs = awkwardRows();
    rs->setSort(QStringLiteral("id DESC")); // the grid reads rows through the recordset's order
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(rs);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bound.grd"));
    g.SaveGrid(path, flexFileData);
    EXPECT_EQ(readFile(path),
              QByteArray("TabulonGrid 1\nrows 5\ncols 8\nfixedrows 1\nfixedcols 0\ncells\n"
                         "id\tname\tamount\tday\tat\tflag\tscore\tbin\n"
                         "3\t\\N\t-0.05\t0044-03-15 BC\t1999-12-31 23:59:59\t\\N\t1e+300\t(binary, 0 bytes)\n"
                         "2\t\t\\N\t\\N\t\\N\tFalse\t-0.001\t\\N\n"
                         "1\tO'Brien\\tand\\\\N\\nnext\\r\t12.50\t2024-02-29\t2024-02-29 13:45:30.25+05:30\tTrue\t2.5\t"
                         "(binary, 3 bytes)\n"
                         "-9223372036854775808\tM\xC3\xBCller \xC3\x98" "degaard \xE2\x9C\x93\t0\t0001-01-01\tinfinity\tTrue\t-0\t\\N\n"
                         "end\n"));

    // What a copy reads is TextMatrix, in UTF-8.
    for (int r = 0; r < g.Rows(); ++r) {
        for (int c = 0; c < g.Cols(); ++c) {
            QByteArray out("x");
            g.appendTextMatrixUtf8(r, c, out);
            EXPECT_EQ(out, "x" + g.TextMatrix(r, c).toUtf8()) << r << "," << c;
        }
    }
    QByteArray out;
    EXPECT_THROW(g.appendTextMatrixUtf8(g.Rows(), 0, out), grid::GridRangeError);
    EXPECT_THROW(g.appendTextMatrixUtf8(0, g.Cols(), out), grid::GridRangeError);
}

TEST(GridTextOutput, SaveGridOfHeldCellsIsByteForByteTheFileItWas)
{
    Grid g;
    g.setCols(4);
    g.setRows(3);
    g.setTextMatrix(0, 0, QStringLiteral("Name"));
    g.setTextMatrix(0, 1, QStringLiteral("Wert\\"));
    g.setTextMatrix(1, 0, QStringLiteral("tab\there"));
    g.setTextMatrix(1, 1, QStringLiteral("")); // empty text, not Null
    g.setTextMatrix(1, 3, QStringLiteral("\\N"));
    g.setTextMatrix(2, 2, QStringLiteral("Ødegaard ✓\r\n"));
    g.setColHidden(2, true);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("held.grd"));
    g.SaveGrid(path, flexFileData);
    EXPECT_EQ(readFile(path),
              QByteArray("TabulonGrid 1\nrows 3\ncols 4\nfixedrows 1\nfixedcols 0\ncells\n"
                         "Name\tWert\\\\\t\\N\t\\N\n"
                         "tab\\there\t\t\\N\t\\\\N\n"
                         "\\N\t\\N\t\xC3\x98" "degaard \xE2\x9C\x93\\r\\n\t\\N\n"
                         "end\n"));
}

// A file larger than the pieces it is written in reads back whole.
TEST(GridTextOutput, ALargeGridIsWrittenInPiecesAndReadsBackWhole)
{
    auto store = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{field("id", db::adBigInt), field("t", db::adVarWChar)});
    constexpr int kRows = 60000;
    for (int r = 0; r < kRows; ++r) {
        store->beginRow();
        store->setInt64(0, r);
        const QByteArray t = QByteArray(r % 50, 'x') + "\t" + QByteArray::number(r);
        store->setText(1, t.constData(), std::size_t(t.size()));
        store->endRow();
    }
    Grid g;
    g.setDataMode(flexDMBound);
    g.setDataSource(db::Recordset::fromStore(store));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.grd"));
    g.SaveGrid(path);
    EXPECT_GT(QFile(path).size(), 2 << 20);
    Grid back;
    back.LoadGrid(path);
    ASSERT_EQ(back.Rows(), kRows + 1);
    for (int r : {1, 2, 12345, 30001, kRows}) {
        EXPECT_EQ(back.TextMatrix(r, 0), g.TextMatrix(r, 0)) << r;
        EXPECT_EQ(back.TextMatrix(r, 1), g.TextMatrix(r, 1)) << r;
    }
}
