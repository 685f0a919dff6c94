#include "views/NumberBox.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>

namespace analysis {

NumberBox::NumberBox(QWidget *parent) : QLineEdit(parent)
{
    setAcceptDrops(false);
}

void NumberBox::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    if (gotFocus)
        gotFocus();
}

void NumberBox::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (lostFocus)
        lostFocus();
}

void NumberBox::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        event->accept();
        return;
    }
    const QString text = event->text();
    // Keys without a character (arrows, Delete, Home, Tab) move and edit as usual.
    const bool character = !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\b' ||
                                                text.at(0) == u'\r' || text.at(0) == u'\n');
    if (character && keyPress && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        int key = text.at(0) == u'\n' ? 13 : text.at(0).unicode();
        keyPress(key);
        if (key <= 0 || key != (text.at(0) == u'\n' ? 13 : text.at(0).unicode())) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void NumberBox::contextMenuEvent(QContextMenuEvent *event)
{
    // The menu would offer Paste, which the box does not take.
    event->accept();
}

} // namespace analysis
