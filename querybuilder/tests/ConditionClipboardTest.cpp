// Whole conditions copied and pasted by Ctrl+C / Ctrl+V, within a builder and between builders.
#include "BuilderFixture.h"

#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>

using namespace qbtest;
using QB = QueryBuilder;

namespace {

const QString kMime = QStringLiteral("application/x-tabulon-conditions");

} // namespace

class Conditions : public Builder {
protected:
    void SetUp() override
    {
        Builder::SetUp();
        clickButton(QStringLiteral("Brackets"));
        condition(1, QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("Smith"), QStringLiteral("AND"));
        choose(1, QB::colOpen, QStringLiteral("("));
        condition(2, QStringLiteral("amount"), QStringLiteral("greater than"), QStringLiteral("-2.5"));
        choose(2, QB::colClose, QStringLiteral(")"));
        ASSERT_EQ(g->Rows(), 3);
    }

    // Selects rows r1..r2 with a click and a Shift+click, then presses Ctrl+C.
    void copyRows(int r1, int r2)
    {
        click(r1, QB::colField);
        click(r2, QB::colOperator, Qt::ShiftModifier);
        QTest::keyClick(g->view(), Qt::Key_C, Qt::ControlModifier);
    }
};

TEST_F(Conditions, ABlockCopiedAndPastedGivesTheSameConditions)
{
    copyRows(1, 2);
    const QMimeData *mime = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime && mime->hasFormat(kMime));
    EXPECT_EQ(mime->text(), QStringLiteral("(\tname\tis\tequal to\tSmith\t\tAND\n"
                                           "\tamount\tis\tgreater than\t-2.5\t)\t"))
        << "the shown columns as text for other programs";

    // After the last row: joined by AND, the last pasted row has none.
    click(2, QB::colField);
    QTest::keyClick(g->view(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(g->Rows(), 5);
    EXPECT_EQ(cell(2, QB::colOperator), QStringLiteral("AND"));
    EXPECT_EQ(rowCells(3), rowCells(1));
    QStringList last = rowCells(2);
    last[QB::colOperator].clear();
    EXPECT_EQ(rowCells(4), last);
    EXPECT_TRUE(qb->isChanged());

    // Into another builder on the same kind of result: its empty first row takes them.
    QueryBuilder other;
    other.rsData(peopleResult(dir));
    other.resize(700, 250);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    grid::Grid *og = other.grdFilter();
    og->Select(1, QB::colField);
    og->view()->setFocus();
    copyRows(1, 2);
    QTest::keyClick(og->view(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(og->Rows(), 3);
    for (int c = 0; c < QB::ColumnCount; ++c) {
        EXPECT_EQ(og->TextMatrix(1, c), cell(1, c)) << "row 1 column " << c;
        EXPECT_EQ(og->TextMatrix(2, c), c == QB::colOperator ? QString() : cell(2, c)) << "row 2 column " << c;
    }
    EXPECT_FALSE(og->ColHidden(QB::colOpen)) << "pasted brackets are shown";
}

TEST_F(Conditions, PastedConditionsMustFitTheBoundQuery)
{
    copyRows(1, 2);
    // A result without "amount": the block is refused whole.
    QueryBuilder other;
    other.rsData(peopleResult(dir, QStringLiteral("SELECT id, name FROM people")));
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    grid::Grid *og = other.grdFilter();
    og->Select(1, QB::colField);
    og->view()->setFocus();
    QTest::keyClick(og->view(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(og->Rows(), 2);
    EXPECT_TRUE(other.FilterEmpty());

    // Another program's block with a comparison that is not on the list, a text for a number, or
    // a field's ordinal that points elsewhere: refused, or the ordinal found again by name.
    const auto pasteBlock = [&](const QString &line) {
        QJsonArray cells;
        for (const QString &cell : line.split(QLatin1Char('\t')))
            cells.append(cell);
        auto *mime = new QMimeData;
        mime->setData(kMime, QJsonDocument(QJsonObject{{QStringLiteral("conditions"), QJsonArray{cells}}}).toJson());
        QApplication::clipboard()->setMimeData(mime);
        click(1, QB::colField);
        QTest::keyClick(g->view(), Qt::Key_V, Qt::ControlModifier);
    };
    const QStringList before{rowCells(1).join('|'), rowCells(2).join('|')};
    pasteBlock(QStringLiteral("\tname\t1\t\tis\t= 1 OR 1=1 --\tx\t\t\tFalse"));
    pasteBlock(QStringLiteral("\tamount\t6\t\tis\tequal to\t1; DROP TABLE people\t\t\tFalse"));
    pasteBlock(QStringLiteral("\tname\t1\t\tis\tequal to\tx"));
    auto *garbage = new QMimeData;
    garbage->setData(kMime, "TabulonConditions 1\n\tname");
    QApplication::clipboard()->setMimeData(garbage);
    QTest::keyClick(g->view(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g->Rows(), 3);
    EXPECT_EQ((QStringList{rowCells(1).join('|'), rowCells(2).join('|')}), before);

    pasteBlock(QStringLiteral("\tcode\t0\t\tis not\tequal to\tab\t\t\tfalse"));
    ASSERT_EQ(g->Rows(), 4);
    EXPECT_EQ(cell(2, QB::colOrdinal), QString::number(ordCode)) << "found again by name";
    EXPECT_EQ(cell(2, QB::colIs), QStringLiteral("is not"));
    EXPECT_EQ(cell(1, QB::colOperator), QStringLiteral("AND"));
    EXPECT_EQ(cell(2, QB::colOperator), QStringLiteral("AND")) << "joined to the row after it";
    EXPECT_EQ(cell(3, QB::colField), QStringLiteral("amount"));
}
