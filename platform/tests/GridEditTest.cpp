// Cell editors (text, fixed and editable lists, the "..." button with the date picker, check
// boxes) with the grid's edit events, and the key and mouse hooks.
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QClipboard>
#include <QRegularExpressionValidator>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

using namespace grid;

namespace {

class GridEdit : public ::testing::Test {
protected:
    void SetUp() override
    {
        g.setCols(4);
        g.setRows(4);
        g.setEditable(flexEDKbdMouse);
        g.resize(500, 300);
        g.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&g));
        QObject::connect(&g, &Grid::BeforeEdit, [this](int r, int c, bool &cancel) {
            events << QStringLiteral("before %1,%2").arg(r).arg(c);
            if (cancelBefore)
                cancel = true;
            if (!listForEdit.isNull())
                g.setComboList(listForEdit);
        });
        QObject::connect(&g, &Grid::ValidateEdit, [this](int r, int c, bool &cancel) {
            events << QStringLiteral("validate %1,%2 %3").arg(r).arg(c).arg(g.EditText());
            if (cancelValidate)
                cancel = true;
        });
        QObject::connect(&g, &Grid::AfterEdit, [this](int r, int c) {
            events << QStringLiteral("after %1,%2").arg(r).arg(c);
        });
    }

    // Qt commits an edit on Enter through a queued call.
    static void pressEnter(QWidget *editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }

    QPoint cellCenter(int row, int col) const
    {
        return g.view()->visualRect(g.model()->index(row - g.FixedRows(), col)).center();
    }

    Grid g;
    QStringList events;
    bool cancelBefore = false;
    bool cancelValidate = false;
    QString listForEdit;
};

} // namespace

TEST_F(GridEdit, TextEditorRaisesBeforeValidateAfterInOrder)
{
    g.setTextMatrix(2, 1, QStringLiteral("old"));
    g.Select(2, 1);
    g.EditCell();
    auto *line = qobject_cast<QLineEdit *>(g.editor());
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text(), QStringLiteral("old"));
    QTest::keyClicks(line, QStringLiteral("new"));
    EXPECT_EQ(g.EditText(), QStringLiteral("new"));
    pressEnter(line);
    EXPECT_FALSE(g.isEditing());
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("new"));
    EXPECT_EQ(events, (QStringList{"before 2,1", "validate 2,1 new", "after 2,1"}));

    // Escape drops the text and raises no AfterEdit.
    events.clear();
    g.EditCell();
    QTest::keyClicks(g.editor(), QStringLiteral("dropped"));
    QTest::keyClick(g.editor(), Qt::Key_Escape);
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("new"));
    EXPECT_EQ(events, (QStringList{"before 2,1"}));

    // ValidateEdit may refuse the text.
    events.clear();
    cancelValidate = true;
    g.EditCell();
    QTest::keyClicks(g.editor(), QStringLiteral("refused"));
    g.FinishEditing();
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("new"));
    EXPECT_FALSE(events.contains(QStringLiteral("after 2,1")));
    cancelValidate = false;

    // BeforeEdit may refuse the edit.
    cancelBefore = true;
    g.EditCell();
    EXPECT_FALSE(g.isEditing());
    cancelBefore = false;

    // Moving the cursor stores the text being typed (the filter grid's commit).
    events.clear();
    g.EditCell();
    QTest::keyClicks(g.editor(), QStringLiteral("moved"));
    g.setRow(1);
    g.setRow(0);
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("moved"));
    EXPECT_EQ(events.last(), QStringLiteral("after 2,1"));
}

TEST_F(GridEdit, TabEndsOneEditBeforeTheNextBeginsAndOutOfAnEditLeavesTheGrid)
{
    g.Select(2, 1);
    g.EditCell();
    QTest::keyClicks(g.editor(), QStringLiteral("x"));
    QTest::keyClick(g.editor(), Qt::Key_Tab);
    EXPECT_EQ(events, (QStringList{"before 2,1", "validate 2,1 x", "after 2,1", "before 2,2"}));
    EXPECT_EQ(g.Col(), 2);
    EXPECT_TRUE(g.isEditing());
    g.FinishEditing();

    // Out of an edit, Tab takes the focus on to the next control: a dialog's grid must not keep it.
    QWidget form;
    QLineEdit before(&form);
    Grid inForm(&form);
    QLineEdit after(&form);
    inForm.setCols(3);
    inForm.setRows(3);
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    inForm.Select(1, 0);
    inForm.setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &after);
    EXPECT_EQ(inForm.Col(), 0);
    inForm.setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), &before);
}

TEST_F(GridEdit, KeyHooksChangeOrSwallowKeys)
{
    // On the grid: typed 'a' becomes 'b' and starts the edit with it.
    QObject::connect(&g, &Grid::KeyPress, [](int &k) {
        if (k == 'a')
            k = 'b';
    });
    bool blockDown = true;
    QObject::connect(&g, &Grid::KeyDown, [&](int &code, int) {
        if (code == 40 && blockDown)
            code = 0;
    });
    g.Select(1, 0);
    g.view()->setFocus();
    QTest::keyClick(g.view(), Qt::Key_Down);
    EXPECT_EQ(g.Row(), 1) << "KeyDown set the code to 0";
    blockDown = false;
    QTest::keyClick(g.view(), Qt::Key_Down);
    EXPECT_EQ(g.Row(), 2);

    QTest::keyClick(g.view(), Qt::Key_A, Qt::NoModifier);
    ASSERT_TRUE(g.isEditing());
    pressEnter(g.editor());
    EXPECT_EQ(g.TextMatrix(2, 0), QStringLiteral("b"));

    // In the editor: digits only (a number key filter), at most three characters.
    QObject::connect(&g, &Grid::KeyPressEdit, [](int, int, int &k) {
        if (k == 'x')
            k = '9';
        else if ((k < '0' || k > '9') && k != 8 && k != 13)
            k = 0;
    });
    g.setEditMaxLength(3);
    g.EditCell();
    QTest::keyClicks(g.editor(), QStringLiteral("1a-2x5"));
    EXPECT_EQ(g.EditText(), QStringLiteral("129"));
    pressEnter(g.editor());
    EXPECT_EQ(g.TextMatrix(2, 0), QStringLiteral("129"));

    // Key up in the editor reports the Ctrl state (the filter grid's copy and paste).
    int ctrlUps = 0;
    QObject::connect(&g, &Grid::KeyUpEdit, [&](int, int, int &code, int shift) {
        if (code == 'C' && shift == vbCtrlMask)
            ++ctrlUps;
    });
    g.EditCell();
    QTest::keyClick(g.editor(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ctrlUps, 1);
    g.FinishEditing(true);
}

TEST_F(GridEdit, FixedListComboClosesUpAndCommits)
{
    listForEdit = QStringLiteral("null|equal to|greater than");
    int closeUps = 0;
    int indexInHandler = -2;
    QObject::connect(&g, &Grid::ComboCloseUp, [&](int r, int c, bool &) {
        ++closeUps;
        indexInHandler = g.ComboIndex();
        EXPECT_EQ(r, 1);
        EXPECT_EQ(c, 2);
        g.setCol(3); // the handler moves on, as the filter grid does
    });
    g.Select(1, 2);
    g.EditCell();
    auto *combo = qobject_cast<QComboBox *>(g.editor());
    ASSERT_TRUE(combo);
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(g.ComboCount(), 3);
    EXPECT_EQ(g.ComboItem(1), QStringLiteral("equal to"));
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(closeUps, 1);
    EXPECT_EQ(indexInHandler, 2);
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("greater than"));
    EXPECT_EQ(g.Col(), 3);
    EXPECT_FALSE(g.isEditing());
    EXPECT_EQ(events.filter(QStringLiteral("after")).size(), 1);
    QCoreApplication::processEvents(); // the closed editor is deleted later, safely
}

TEST_F(GridEdit, ListOfANarrowColumnShowsItsEntriesWhole)
{
    listForEdit = QStringLiteral(" |(|((|(((|((((|(((((|((((((|(((((((|a rather long entry");
    g.setColWidth(1, 200);
    g.Select(1, 1);
    g.EditCell();
    auto *combo = qobject_cast<QComboBox *>(g.editor());
    ASSERT_TRUE(combo);
    QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
    QAbstractItemView *list = combo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
    const QRect last = list->visualRect(list->model()->index(combo->count() - 1, 0));
    EXPECT_GE(list->viewport()->width(), list->fontMetrics().horizontalAdvance(QStringLiteral("a rather long entry")));
    EXPECT_GT(last.width(), 0);
    combo->hidePopup();
    g.FinishEditing(true);
}

TEST_F(GridEdit, EditableListTakesFreeText)
{
    g.setColComboList(1, QStringLiteral("|London|Paris"));
    g.Select(2, 1);
    g.EditCell();
    auto *combo = qobject_cast<QComboBox *>(g.editor());
    ASSERT_TRUE(combo);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->count(), 2);
    g.setEditText(QStringLiteral("Berlin"));
    g.FinishEditing();
    EXPECT_EQ(g.TextMatrix(2, 1), QStringLiteral("Berlin"));
}

TEST_F(GridEdit, ListGivenAsEntriesKeepsAPipeInsideAnEntry)
{
    QObject::connect(&g, &Grid::BeforeEdit, [this](int, int c, bool &) {
        if (c == 2)
            g.setComboItems({QStringLiteral("A|B"), QStringLiteral("C")}, true);
    });
    g.Select(1, 2);
    g.EditCell();
    auto *combo = qobject_cast<QComboBox *>(g.editor());
    ASSERT_TRUE(combo);
    EXPECT_TRUE(combo->isEditable());
    ASSERT_EQ(g.ComboCount(), 2);
    EXPECT_EQ(g.ComboItem(0), QStringLiteral("A|B"));
    combo->setCurrentIndex(0);
    g.FinishEditing();
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("A|B"));
    // The next edit's list is the column's own again.
    g.setColComboList(3, QStringLiteral("x|y"));
    g.Select(1, 3);
    g.EditCell();
    EXPECT_EQ(g.ComboCount(), 2);
    EXPECT_EQ(g.ComboItem(1), QStringLiteral("y"));
    g.FinishEditing(true);
}

TEST_F(GridEdit, EllipsisButtonOpensTheDatePicker)
{
    g.setColComboList(3, QStringLiteral("..."));
    int clicks = 0;
    QObject::connect(&g, &Grid::CellButtonClick, [&](int r, int c) {
        ++clicks;
        g.ShowDatePicker(r, c, QStringLiteral("dd/mm/yyyy"));
    });
    g.Select(2, 3);
    g.EditCell();
    ASSERT_TRUE(g.editor());
    auto *button = g.editor()->findChild<QToolButton *>();
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    QCalendarWidget *picker = g.datePicker();
    ASSERT_TRUE(picker);
    EXPECT_TRUE(picker->isVisible());
    EXPECT_EQ(picker->selectedDate(), QDate::currentDate()) << "an empty cell opens on today";
    const int twipsPerPixel = 1440 / g.logicalDpiY();
    EXPECT_NEAR(picker->y() * twipsPerPixel, g.CellTop() + g.CellHeight(), 2 * twipsPerPixel) << "just below the cell";
    EXPECT_NEAR(picker->x() * twipsPerPixel, g.CellLeft(), 2 * twipsPerPixel);

    emit picker->clicked(QDate(2024, 2, 29));
    EXPECT_FALSE(picker->isVisible());
    EXPECT_FALSE(g.isEditing());
    EXPECT_EQ(g.TextMatrix(2, 3), QStringLiteral("29/02/2024"));
    EXPECT_EQ(events.last(), QStringLiteral("after 2,3"));

    // It opens on the cell's own date next time.
    g.ShowDatePicker(2, 3, QStringLiteral("dd/mm/yyyy"));
    EXPECT_EQ(picker->selectedDate(), QDate(2024, 2, 29));
    picker->hide();
}

TEST_F(GridEdit, DatePickerClosesWithoutWritingOnEscapeAndWhenRowsMove)
{
    g.setTextMatrix(2, 3, QStringLiteral("01/03/2024"));
    QCalendarWidget *picker = g.ShowDatePicker(2, 3, QStringLiteral("dd/mm/yyyy"));
    ASSERT_TRUE(picker->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(g.TextMatrix(2, 3), QStringLiteral("01/03/2024"));
    EXPECT_TRUE(g.view()->hasFocus()) << "the focus goes back to the grid";

    // Enter on a day is a pick, as a click is.
    g.ShowDatePicker(2, 3, QStringLiteral("dd/mm/yyyy"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(picker->isVisible());
    EXPECT_EQ(g.TextMatrix(2, 3), QStringLiteral("02/03/2024"));
    EXPECT_EQ(events.last(), QStringLiteral("after 2,3"));

    // A row removed above the picker's row shifts it: the picker closes and writes nowhere.
    g.ShowDatePicker(3, 3, QStringLiteral("dd/mm/yyyy"));
    g.RemoveItem(1);
    EXPECT_FALSE(picker->isVisible());
    emit picker->clicked(QDate(2030, 1, 1));
    for (int r = 1; r < g.Rows(); ++r)
        EXPECT_NE(g.TextMatrix(r, 3), QStringLiteral("01/01/2030")) << "row " << r;

    g.ShowDatePicker(2, 3, QStringLiteral("dd/mm/yyyy"));
    g.AddItem(QString());
    EXPECT_FALSE(picker->isVisible());
}

TEST_F(GridEdit, ValidatorRefusesTypedAndPastedText)
{
    QRegularExpressionValidator digits(QRegularExpression(QStringLiteral("[0-9]*")));
    QObject::connect(&g, &Grid::BeforeEdit, [&](int, int c, bool &) { g.setEditValidator(c == 1 ? &digits : nullptr); });
    g.setTextMatrix(1, 1, QStringLiteral("12"));
    g.Select(1, 1);
    g.EditCell();
    auto *line = qobject_cast<QLineEdit *>(g.editor());
    ASSERT_TRUE(line);
    EXPECT_EQ(line->text(), QStringLiteral("12")) << "the stored text is shown as it is";
    line->end(false);
    QTest::keyClicks(line, QStringLiteral("3x4"));
    EXPECT_EQ(g.EditText(), QStringLiteral("1234"));
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g.EditText(), QStringLiteral("1234")) << "a paste that is not digits is refused";
    QApplication::clipboard()->setText(QStringLiteral("5"));
    QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(g.EditText(), QStringLiteral("12345"));
    g.FinishEditing();

    // The next edit of another column has no validator.
    g.Select(1, 2);
    g.EditCell();
    QTest::keyClicks(g.editor(), QStringLiteral("ab"));
    EXPECT_EQ(g.EditText(), QStringLiteral("ab"));
    g.FinishEditing();
}

TEST_F(GridEdit, CheckBoxesToggleByClickAndSpace)
{
    g.setColDataType(2, flexDTBoolean);
    g.setTextMatrix(1, 2, QStringLiteral("True"));
    QTest::mouseClick(g.view()->viewport(), Qt::LeftButton, {}, cellCenter(1, 2));
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("False"));
    EXPECT_FALSE(g.isEditing()) << "a check box is never typed into";
    EXPECT_EQ(events, (QStringList{"before 1,2", "validate 1,2 ", "after 1,2"}));

    g.view()->setFocus();
    QTest::keyClick(g.view(), Qt::Key_Space);
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("True"));

    cancelBefore = true;
    QTest::mouseClick(g.view()->viewport(), Qt::LeftButton, {}, cellCenter(1, 2));
    EXPECT_EQ(g.TextMatrix(1, 2), QStringLiteral("True")) << "BeforeEdit refused";
    cancelBefore = false;

    g.setEditable(flexEDNone);
    QTest::mouseClick(g.view()->viewport(), Qt::LeftButton, {}, cellCenter(2, 2));
    EXPECT_EQ(g.TextMatrix(2, 2), QString()) << "a read-only grid does not toggle";
}

TEST_F(GridEdit, MouseEventsReportButtonShiftAndTheCellUnderThePointer)
{
    std::vector<std::array<int, 4>> ups;
    QObject::connect(&g, &Grid::MouseUp, [&](int b, int s, int x, int y) { ups.push_back({b, s, x, y}); });
    int dbl = 0;
    QObject::connect(&g, &Grid::DblClick, [&] { ++dbl; });
    g.setEditable(flexEDNone);

    const QPoint p = cellCenter(3, 1);
    QTest::mouseClick(g.view()->viewport(), Qt::RightButton, Qt::ShiftModifier, p);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_EQ(ups[0][0], int(vbRightButton));
    EXPECT_EQ(ups[0][1], int(vbShiftMask));
    const QPoint inGrid = g.view()->viewport()->mapTo(&g, p);
    EXPECT_NEAR(ups[0][2], inGrid.x() * 1440.0 / g.logicalDpiX(), 15);
    EXPECT_NEAR(ups[0][3], inGrid.y() * 1440.0 / g.logicalDpiY(), 15);
    EXPECT_EQ(g.MouseRow(), 3);
    EXPECT_EQ(g.MouseCol(), 1);

    QHeaderView *header = g.view()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::RightButton, {}, QPoint(header->sectionViewportPosition(2) + 4, 4));
    EXPECT_EQ(g.MouseRow(), 0);
    EXPECT_EQ(g.MouseCol(), 2);

    QTest::mouseDClick(g.view()->viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(dbl, 1);
    EXPECT_FALSE(g.isEditing());

    // A click on a header without sorting selects the column (the column menu's case).
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(2) + 4, 4));
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.RowSel(), 3);
    EXPECT_EQ(g.Col(), 2);
}
