#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The report window of debug mode: the failure, a box for what the user was doing, and a button
// that mails an error report.
class frmDebugError : public QDialog {
    Q_OBJECT

public:
    explicit frmDebugError(QWidget *parent = nullptr);

    // Fills the window from the last failure and empties the details box; runs when it loads.
    bool Init_Form();

    // Mails the report to the configured address. True when the mail client took it; the user is
    // told either way.
    bool Send_Report();

protected:
    bool event(QEvent *e) override;

private:
    QLabel *lblProcedure;
    QLabel *lblDescription;
    QPlainTextEdit *txtDetails;
    QPushButton *cmdSend;
    QPushButton *cmdCancel;
};
