#pragma once

#include <QLineEdit>

#include <functional>

namespace analysis {

// The number box of a picker bar: typed characters go through a filter that may swallow them,
// nothing is pasted or dropped into it, and it tells when it gains and loses the focus.
class NumberBox : public QLineEdit {
public:
    explicit NumberBox(QWidget *parent = nullptr);

    std::function<void()> gotFocus;
    std::function<void()> lostFocus;
    // Given the typed character's code; setting it to 0 swallows the key.
    std::function<void(int &keyAscii)> keyPress;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
};

} // namespace analysis
