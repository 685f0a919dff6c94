#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The plain error window: the failing procedure and its error text, and an OK button.
class frmError : public QDialog {
    Q_OBJECT

public:
    explicit frmError(QWidget *parent = nullptr);

    // Fills the window from the last failure; runs when the window loads.
    bool Init_Form();

protected:
    bool event(QEvent *e) override;

private:
    QLabel *lblProcedure;
    QLabel *lblDescription;
    QPushButton *cmdOK;
};
