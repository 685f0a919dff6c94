#pragma once

// A shown query builder bound to a real SQLite result, driven by mouse and keys as a user does.

#include <hlQueryBuilder/QueryBuilder.h>
#include <hlQueryBuilder/clsQueryCol.h>

#include "Faultdesk/ModalRunner.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "grid/Grid.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <sqlite3.h>

#include <memory>

namespace qbtest {

// people: id integer, name varchar(40), code varchar(3), born date, active boolean, photo blob,
// amount numeric(10,2), note text, seen timestamp. The result adds a column with an empty name.
// Ordinals: id 0, name 1, code 2, born 3, active 4, photo 5 (not listed), amount 6, note 7,
// seen 8, "" 9 (not listed).
inline std::shared_ptr<db::Recordset> peopleResult(const QTemporaryDir &dir, const QString &select = {},
                                                   std::shared_ptr<db::Connection> *connectionOut = nullptr)
{
    const QString path = dir.filePath(QStringLiteral("people.db"));
    sqlite3 *raw = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the test database");
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> handle(raw, &sqlite3_close);
    sqlite3_exec(raw,
                 "CREATE TABLE IF NOT EXISTS people (id INTEGER, name VARCHAR(40), code VARCHAR(3), born DATE,"
                 " active BOOLEAN, photo BLOB, amount NUMERIC(10,2), note TEXT, seen TIMESTAMP);"
                 "DELETE FROM people;"
                 "INSERT INTO people VALUES (1, 'Smith', 'abc', '1970-01-02', 1, NULL, 12.5, 'x', '2024-01-01 10:00:00');",
                 nullptr, nullptr, nullptr);
    handle.reset();
    auto connection = db::Connection::create();
    connection->Open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    auto rs = db::Recordset::create();
    rs->Open(select.isEmpty() ? QStringLiteral("SELECT id, name, code, born, active, photo, amount, note, seen, 1 AS \"\""
                                               " FROM people ORDER BY id")
                              : select,
             connection);
    if (connectionOut)
        *connectionOut = connection;
    return rs;
}

enum { ordId = 0, ordName = 1, ordCode = 2, ordBorn = 3, ordActive = 4, ordAmount = 6, ordNote = 7 };

class Builder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        faultdesk::setModalRunner([this](QDialog &dialog) {
            QStringList texts;
            for (QLabel *label : dialog.findChildren<QLabel *>())
                texts << label->text();
            errors << texts.join(QLatin1Char(' '));
            dialog.reject();
        });
        rs = peopleResult(dir, {}, &connection);
        qb = std::make_unique<QueryBuilder>();
        qb->rsData(rs);
        qb->adoConnection(connection);
        g = qb->grdFilter();
        qb->resize(900, 300);
        show();
    }

    void TearDown() override
    {
        EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
        qb.reset();
        faultdesk::setModalRunner({});
    }

    void show()
    {
        qb->show();
        qb->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(qb.get()));
        if (QApplication::activeWindow() != qb.get())
            QApplication::setActiveWindow(qb.get());
    }

    QWidget *viewport() const { return g->view()->viewport(); }
    QPoint cellCenter(int row, int col) const
    {
        return g->view()->visualRect(g->model()->index(row - g->FixedRows(), col)).center();
    }
    static void settle() { QCoreApplication::processEvents(); }

    // A click on a cell; the Value cell opens its editor by itself.
    void click(int row, int col, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(viewport(), Qt::LeftButton, modifiers, cellCenter(row, col));
        settle();
    }

    // The editor of a cell, opened by a click and Enter as a user does; nullptr when refused.
    QWidget *edit(int row, int col)
    {
        // A click on the current cell would open its editor only after the double-click time.
        if (g->Row() != row || g->Col() != col || g->isEditing())
            click(row, col);
        else
            g->view()->setFocus();
        if (!g->isEditing()) {
            QTest::keyClick(g->view(), Qt::Key_Return);
            settle();
        }
        return g->editor();
    }

    // The widget typed into: the editor's text box, or the editor itself.
    QWidget *typingTarget() const
    {
        QWidget *editor = g->editor();
        if (!editor)
            return nullptr;
        return editor->focusProxy() ? editor->focusProxy() : editor;
    }

    // Picks an entry of a cell's list as a user does: opens the list, then walks to the entry with
    // the arrow keys and presses Enter, or (byMouse) clicks it.
    void choose(int row, int col, const QString &entry, bool byMouse = false)
    {
        auto *combo = qobject_cast<QComboBox *>(edit(row, col));
        ASSERT_TRUE(combo) << "no list in cell " << row << "," << col;
        const int index = combo->findText(entry);
        ASSERT_GE(index, 0) << "no entry \"" << entry.toStdString() << "\" in cell " << row << "," << col;
        QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
        QAbstractItemView *list = combo->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
        if (byMouse) {
            // A list ignores a release right after it opened (the click that opened it).
            QTest::qWait(QApplication::doubleClickInterval() + 50);
            const QRect rect = list->visualRect(list->model()->index(index, 0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        } else {
            QTest::keyClick(list, Qt::Key_Home);
            for (int i = 0; i < index; ++i)
                QTest::keyClick(list, Qt::Key_Down);
            QTest::keyClick(list, Qt::Key_Return);
        }
        settle();
    }

    // A condition filled in as a user would: field, comparison, value typed, operator.
    void condition(int row, const QString &field, const QString &comparison, const QString &value,
                   const QString &op = {})
    {
        choose(row, QueryBuilder::colField, field);
        if (g->TextMatrix(row, QueryBuilder::colComparison) != comparison)
            choose(row, QueryBuilder::colComparison, comparison);
        if (!value.isEmpty()) {
            settle();
            ASSERT_TRUE(g->isEditing()) << "the value cell opens by itself";
            QTest::keyClicks(typingTarget(), value);
            QTest::keyClick(typingTarget(), Qt::Key_Return);
            settle();
        }
        if (!op.isEmpty())
            choose(row, QueryBuilder::colOperator, op);
    }

    QString cell(int row, int col) const { return g->TextMatrix(row, col); }
    QStringList rowCells(int row) const
    {
        QStringList cells;
        for (int c = 0; c < QueryBuilder::ColumnCount; ++c)
            cells << cell(row, c);
        return cells;
    }
    ui::ToolBarButton &button(const QString &key) const { return qb->tlbMenu()->Buttons(key); }
    void clickButton(const QString &key)
    {
        QToolButton *widget = button(key).widget();
        ASSERT_TRUE(widget);
        QTest::mouseClick(widget, Qt::LeftButton);
        settle();
    }

    QTemporaryDir dir;
    std::shared_ptr<db::Recordset> rs;
    std::shared_ptr<db::Connection> connection;
    std::unique_ptr<QueryBuilder> qb;
    grid::Grid *g = nullptr;
    ui::ScriptedPrompts prompts;
    QStringList errors;
};

} // namespace qbtest
