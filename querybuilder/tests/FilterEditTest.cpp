// Filling the filter grid with the mouse and the keyboard: the choices and their defaults, the
// key filters of the Value cell, deleting conditions, the Fields button and the date picker.
#include "BuilderFixture.h"

#include <QCalendarWidget>
#include <QClipboard>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>

using namespace qbtest;
using QB = QueryBuilder;

TEST_F(Builder, ChoosingAFieldFillsItsDefaultsAndOpensTheValue)
{
    choose(1, QB::colField, QStringLiteral("name"));
    EXPECT_EQ(cell(1, QB::colField), QStringLiteral("name"));
    EXPECT_EQ(cell(1, QB::colOrdinal), QStringLiteral("1"));
    EXPECT_EQ(cell(1, QB::colIs), QStringLiteral("is"));
    EXPECT_EQ(cell(1, QB::colComparison), QStringLiteral("equal to"));
    EXPECT_EQ(cell(1, QB::colIsField), QStringLiteral("False"));
    EXPECT_EQ(g->Col(), int(QB::colValue));
    EXPECT_TRUE(qb->isChanged());
    settle();
    ASSERT_TRUE(qobject_cast<QLineEdit *>(g->editor())) << "a text field's value is typed";
    QTest::keyClicks(typingTarget(), QStringLiteral("O'Brien"));
    QTest::keyClick(typingTarget(), Qt::Key_Return);
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("O'Brien"));
    EXPECT_EQ(g->Col(), int(QB::colOperator)) << "Enter in the value goes on to AND / OR";

    // The field changes; the value, the comparison and "is" stay.
    choose(1, QB::colComparison, QStringLiteral("Containing"));
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    choose(1, QB::colField, QStringLiteral("note"));
    EXPECT_EQ(cell(1, QB::colOrdinal), QString::number(ordNote)) << "ordinals skip nothing after the BLOB";
    EXPECT_EQ(cell(1, QB::colComparison), QStringLiteral("Containing"));
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("O'Brien"));

    // A number field cannot keep a text value.
    choose(1, QB::colField, QStringLiteral("amount"));
    EXPECT_EQ(cell(1, QB::colValue), QString());

    // A date field gets the picker's button, a Boolean field its two values and nothing else.
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    choose(1, QB::colField, QStringLiteral("born"));
    EXPECT_EQ(qb->QueryCol(ordBorn)->LookUp(), QStringLiteral("..."));
    EXPECT_EQ(cell(1, QB::colIsField), QStringLiteral("false"));
    settle();
    ASSERT_TRUE(g->editor());
    EXPECT_TRUE(g->editor()->findChild<QToolButton *>());
    QTest::keyClick(typingTarget(), Qt::Key_Escape);

    choose(1, QB::colField, QStringLiteral("active"));
    EXPECT_EQ(qb->QueryCol(ordActive)->LookUp(), QStringLiteral("True|False"));
    settle();
    auto *combo = qobject_cast<QComboBox *>(g->editor());
    ASSERT_TRUE(combo);
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->count(), 2);
    QTest::keyClicks(combo, QStringLiteral("maybe"));
    EXPECT_TRUE(g->editor() == nullptr || qobject_cast<QComboBox *>(g->editor()));
    settle();
    const QString value = cell(1, QB::colValue);
    EXPECT_TRUE(value == QStringLiteral("True") || value == QStringLiteral("False") || value.isEmpty())
        << value.toStdString();
}

TEST_F(Builder, EachChoiceMovesOnAndAndOnTheLastRowAddsARow)
{
    clickButton(QStringLiteral("Brackets"));
    choose(1, QB::colField, QStringLiteral("name"));
    QTest::keyClick(typingTarget(), Qt::Key_Escape);

    choose(1, QB::colOpen, QStringLiteral("(("), /*byMouse=*/true);
    EXPECT_EQ(cell(1, QB::colOpen), QStringLiteral("(("));
    EXPECT_EQ(g->Col(), int(QB::colField));

    choose(1, QB::colIs, QStringLiteral("is not"));
    EXPECT_EQ(cell(1, QB::colIs), QStringLiteral("is not"));
    EXPECT_EQ(g->Col(), int(QB::colComparison));
    EXPECT_EQ(cell(1, QB::colComparison), QStringLiteral("equal to")) << "a comparison already there stays";

    choose(1, QB::colComparison, QStringLiteral("greater than"));
    EXPECT_EQ(g->Col(), int(QB::colValue));
    settle();
    QTest::keyClicks(typingTarget(), QStringLiteral("M"));
    QTest::keyClick(typingTarget(), Qt::Key_Return);

    // "null" empties the value and skips it.
    choose(1, QB::colComparison, QStringLiteral("null"));
    EXPECT_EQ(cell(1, QB::colValue), QString());
    EXPECT_EQ(g->Col(), int(QB::colOperator));

    choose(1, QB::colClose, QStringLiteral("))"));
    EXPECT_EQ(g->Col(), int(QB::colOperator));

    choose(1, QB::colOperator, QStringLiteral("AND"), /*byMouse=*/true);
    EXPECT_EQ(g->Rows(), 3);
    EXPECT_EQ(g->Row(), 2);
    EXPECT_EQ(g->Col(), int(QB::colField));
    EXPECT_EQ(rowCells(2), QStringList(QB::ColumnCount, QString())) << "the new row is empty";

    // On an earlier row the operator only moves on.
    choose(1, QB::colOperator, QStringLiteral("OR"));
    EXPECT_EQ(cell(1, QB::colOperator), QStringLiteral("OR"));
    EXPECT_EQ(g->Rows(), 3);
    EXPECT_EQ(g->Row(), 2);
}

TEST_F(Builder, ABlankFieldEmptiesTheOnlyRowOrRemovesALaterOne)
{
    clickButton(QStringLiteral("Brackets"));
    choose(1, QB::colField, QStringLiteral("name"));
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    choose(1, QB::colOpen, QStringLiteral("("));
    choose(1, QB::colField, QStringLiteral(" "));
    EXPECT_EQ(rowCells(1), (QStringList{"(", "", "", "", "", "", "", "", "", "False"}))
        << "brackets and column 9 stay";

    condition(1, QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("Smith"), QStringLiteral("AND"));
    condition(2, QStringLiteral("code"), QStringLiteral("equal to"), QStringLiteral("ab"), QStringLiteral("OR"));
    choose(3, QB::colField, QStringLiteral("note"));
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    ASSERT_EQ(g->Rows(), 4);

    // The last row goes, and the row above loses its operator.
    choose(3, QB::colField, QStringLiteral(" "));
    EXPECT_EQ(g->Rows(), 3);
    EXPECT_EQ(cell(2, QB::colField), QStringLiteral("code"));
    EXPECT_EQ(cell(2, QB::colOperator), QString());
    EXPECT_EQ(g->Row(), 2);
    EXPECT_EQ(g->Col(), int(QB::colOperator));

    // A middle row goes; the rows after it keep their conditions.
    choose(1, QB::colField, QStringLiteral(" "));
    EXPECT_EQ(g->Rows(), 2);
    EXPECT_EQ(cell(1, QB::colField), QStringLiteral("code"));
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("ab"));
}

TEST_F(Builder, ValuesAreRefusedWithoutAFieldAndForNullComparisons)
{
    EXPECT_EQ(edit(1, QB::colValue), nullptr) << "no field";
    EXPECT_EQ(edit(1, QB::colComparison), nullptr) << "no field: no comparison either";

    choose(1, QB::colField, QStringLiteral("name"));
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    choose(1, QB::colComparison, QStringLiteral("null"));
    EXPECT_EQ(edit(1, QB::colValue), nullptr);

    // Neither typing nor pasting gives a null comparison a value.
    QTest::keyClicks(g->view(), QStringLiteral("x"));
    EXPECT_FALSE(g->isEditing());
    QApplication::clipboard()->setText(QStringLiteral("Smith"));
    QTest::keyClick(g->view(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(1, QB::colValue), QString());
}

TEST_F(Builder, ANumericValueTakesNumbersOnlyTypedOrPasted)
{
    choose(1, QB::colField, QStringLiteral("amount"));
    settle();
    ASSERT_TRUE(g->isEditing());
    QTest::keyClicks(typingTarget(), QStringLiteral("-12a,3.5x-"));
    EXPECT_EQ(g->EditText(), QStringLiteral("-123.5"));

    QApplication::clipboard()->setText(QStringLiteral("12 apples"));
    QTest::keyClick(typingTarget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g->EditText(), QStringLiteral("-123.5")) << "text pasted into a number is refused";
    QApplication::clipboard()->setText(QStringLiteral("42\n"));
    QTest::keyClick(typingTarget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g->EditText(), QStringLiteral("42"));

    // Ctrl keys are not filtered: Ctrl+A selects, the next digit replaces.
    QTest::keyClick(typingTarget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(typingTarget(), QStringLiteral("7"));
    EXPECT_EQ(g->EditText(), QStringLiteral("7"));
    QTest::keyClick(typingTarget(), Qt::Key_Return);
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("7"));
    EXPECT_EQ(g->Col(), int(QB::colOperator));

    // A lone minus is no number: the cell keeps its value.
    click(1, QB::colValue);
    ASSERT_TRUE(g->isEditing());
    QTest::keyClick(typingTarget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(typingTarget(), QStringLiteral("-"));
    QTest::keyClick(typingTarget(), Qt::Key_Return);
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("7"));

    // The list cells of a number row still take their entries by letter.
    click(1, QB::colComparison);
    QTest::keyClick(g->view(), Qt::Key_Return);
    ASSERT_TRUE(qobject_cast<QComboBox *>(g->editor()));
    QTest::keyClicks(g->editor(), QStringLiteral("g"));
    settle();
    EXPECT_EQ(cell(1, QB::colComparison), QStringLiteral("greater than"));
}

TEST_F(Builder, ANumericValueTakesTheLocalesDecimalMark)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    choose(1, QB::colField, QStringLiteral("amount"));
    settle();
    QTest::keyClicks(typingTarget(), QStringLiteral("-1,5,"));
    EXPECT_EQ(g->EditText(), QStringLiteral("-1,5")) << "one decimal mark";
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    QLocale::setDefault(QLocale::c());
}

TEST_F(Builder, ATextValueTakesAtMostItsDeclaredLength)
{
    choose(1, QB::colField, QStringLiteral("code")); // varchar(3)
    settle();
    QTest::keyClicks(typingTarget(), QStringLiteral("abcd"));
    EXPECT_EQ(g->EditText(), QStringLiteral("abc"));
    QTest::keyClick(typingTarget(), Qt::Key_Backspace);
    EXPECT_EQ(g->EditText(), QStringLiteral("ab")) << "Backspace always works";
    QApplication::clipboard()->setText(QStringLiteral("wxyz"));
    QTest::keyClick(typingTarget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g->EditText(), QStringLiteral("ab")) << "too long to fit";
    QTest::keyClick(typingTarget(), Qt::Key_Return);

    // An unbounded text takes any length.
    choose(1, QB::colField, QStringLiteral("note"));
    settle();
    const QString longText(300, QLatin1Char('n'));
    QTest::keyClicks(typingTarget(), longText);
    EXPECT_EQ(g->EditText(), longText);
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
}

TEST_F(Builder, CtrlCCopiesAnyCellAndCtrlVPastesOnlyIntoTheValue)
{
    condition(1, QStringLiteral("name"), QStringLiteral("greater than"), QStringLiteral("K"));
    click(1, QB::colComparison);
    QTest::keyClick(g->view(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("greater than"));

    QApplication::clipboard()->setText(QStringLiteral("anything"));
    QTest::keyClick(g->view(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(cell(1, QB::colComparison), QStringLiteral("greater than")) << "a list cell takes no paste";
    edit(1, QB::colComparison);
    QTest::keyClick(g->editor(), Qt::Key_V, Qt::ControlModifier);
    QTest::keyClicks(g->editor(), QStringLiteral("zzz"));
    ASSERT_TRUE(g->editor());
    g->FinishEditing();
    EXPECT_EQ(cell(1, QB::colComparison), QStringLiteral("greater than")) << "typing never makes a list free text";

    click(1, QB::colValue);
    ASSERT_TRUE(g->isEditing());
    QTest::keyClick(typingTarget(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g->EditText(), QStringLiteral("anything"));
    QTest::keyClick(typingTarget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("anything"));
    QTest::keyClick(typingTarget(), Qt::Key_Return);
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("anything"));
}

TEST_F(Builder, DeleteAsksThenRemovesTheConditionAndMarksTheFilterChanged)
{
    condition(1, QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("Smith"), QStringLiteral("AND"));
    condition(2, QStringLiteral("code"), QStringLiteral("equal to"), QStringLiteral("ab"));

    ui::Prompter::queueAnswer(ui::MsgResult::No);
    click(2, QB::colField);
    QTest::keyClick(g->view(), Qt::Key_Delete);
    ASSERT_TRUE(ui::Prompter::lastAsked());
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Delete code?"));
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("Delete condition"));
    EXPECT_EQ(ui::Prompter::lastAsked()->buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(g->Rows(), 3);

    qb->tlbMenu()->Buttons(QStringLiteral("Save")).setEnabled(false); // as after a save
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    QTest::keyClick(g->view(), Qt::Key_Delete);
    EXPECT_EQ(g->Rows(), 2);
    EXPECT_EQ(cell(1, QB::colOperator), QString()) << "the row now last has no AND / OR";
    EXPECT_TRUE(qb->isChanged());

    // The only row is emptied, not removed; Delete elsewhere asks nothing.
    ui::Prompter::clearAsked();
    click(1, QB::colComparison);
    QTest::keyClick(g->view(), Qt::Key_Delete);
    EXPECT_EQ(ui::Prompter::lastAsked(), nullptr);
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    click(1, QB::colField);
    QTest::keyClick(g->view(), Qt::Key_Delete);
    EXPECT_EQ(g->Rows(), 2);
    EXPECT_TRUE(qb->FilterEmpty());
}

TEST_F(Builder, TheFieldsButtonTurnsTheValueIntoAFieldChoice)
{
    condition(1, QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("Smith"));
    click(1, QB::colValue);
    EXPECT_TRUE(button(QStringLiteral("Fields")).Enabled());
    qb->tlbMenu()->Buttons(QStringLiteral("Save")).setEnabled(false);

    clickButton(QStringLiteral("Fields"));
    EXPECT_EQ(cell(1, QB::colIsField), QStringLiteral("True"));
    EXPECT_EQ(cell(1, QB::colValue), QString()) << "Smith is no field";
    EXPECT_TRUE(qb->isChanged());
    EXPECT_FALSE(button(QStringLiteral("Populate")).Enabled());
    settle();
    auto *combo = qobject_cast<QComboBox *>(g->editor());
    ASSERT_TRUE(combo) << "the value is chosen from the fields";
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->findText(QStringLiteral("code")), 3);
    QTest::keyClick(combo, Qt::Key_Escape);

    choose(1, QB::colValue, QStringLiteral("code"));
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("code"));
    EXPECT_EQ(g->Col(), int(QB::colOperator));

    // Back to a value: a field name is a text value too, so it stays.
    click(1, QB::colValue);
    EXPECT_EQ(button(QStringLiteral("Fields")).Value(), ui::tbrPressed) << "the button follows the row";
    clickButton(QStringLiteral("Fields"));
    EXPECT_EQ(cell(1, QB::colIsField), QStringLiteral("False"));
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("code"));
}

TEST_F(Builder, TheDatePickerWritesIntoTheRowItWasOpenedFor)
{
    qb->DateFormat(QStringLiteral("yyyy-mm-dd"));
    condition(1, QStringLiteral("born"), QStringLiteral("equal to"), QStringLiteral("2024-02-28"), QStringLiteral("AND"));
    choose(2, QB::colField, QStringLiteral("born"));
    QTest::keyClick(typingTarget(), Qt::Key_Escape);

    // Opened from row 1's button: under the cell, on the cell's date.
    click(1, QB::colValue);
    ASSERT_TRUE(g->editor());
    QTest::mouseClick(g->editor()->findChild<QToolButton *>(), Qt::LeftButton);
    QCalendarWidget *picker = qb->mtvDate();
    ASSERT_TRUE(picker && picker->isVisible());
    EXPECT_EQ(picker->selectedDate(), QDate(2024, 2, 28));
    EXPECT_GE(picker->y(), viewport()->mapTo(g, cellCenter(1, QB::colValue)).y());

    // Another cell clicked: the picker closes and writes nothing.
    click(2, QB::colField);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("2024-02-28"));
    EXPECT_EQ(cell(2, QB::colValue), QString());

    // Escape closes it too.
    click(1, QB::colValue);
    QTest::mouseClick(g->editor()->findChild<QToolButton *>(), Qt::LeftButton);
    ASSERT_TRUE(picker->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("2024-02-28"));

    // A day chosen with the keys lands in row 1, in the date format, whatever cell is current.
    click(1, QB::colValue);
    QTest::mouseClick(g->editor()->findChild<QToolButton *>(), Qt::LeftButton);
    ASSERT_TRUE(picker->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("2024-02-29"));
    EXPECT_EQ(cell(2, QB::colValue), QString());

    // Without a date in the cell it opens on today.
    click(2, QB::colValue);
    QTest::mouseClick(g->editor()->findChild<QToolButton *>(), Qt::LeftButton);
    EXPECT_EQ(picker->selectedDate(), QDate::currentDate());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
}

TEST_F(Builder, ColumnTooltipsFollowThePointer)
{
    const auto hover = [this](int col) {
        const QPoint at = cellCenter(1, col);
        QMouseEvent move(QEvent::MouseMove, at, viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &move);
        return g->ToolTipText();
    };
    EXPECT_EQ(hover(QB::colField), QStringLiteral("Choose a field"));
    EXPECT_EQ(hover(QB::colIs), QStringLiteral("Is\\Is Not"));
    EXPECT_EQ(hover(QB::colComparison), QStringLiteral("Choose a comparison"));
    EXPECT_EQ(hover(QB::colValue), QStringLiteral("Enter\\choose a value"));
    EXPECT_EQ(hover(QB::colOperator), QStringLiteral("Choose an operator"));
    clickButton(QStringLiteral("Brackets"));
    EXPECT_EQ(hover(QB::colOpen), QStringLiteral("Opening parenthesis"));
    EXPECT_EQ(hover(QB::colClose), QStringLiteral("Closing parenthesis"));
}
