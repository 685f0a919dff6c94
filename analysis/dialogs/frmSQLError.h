#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

// "SQL Message": the text of a statement the database refused, shown modeless over the control.
class frmSQLError : public QDialog {
    Q_OBJECT
public:
    explicit frmSQLError(QWidget *parent = nullptr);

    QString Error() const { return m_error; }
    // Taken into the text box each time the window is shown, so a reused window shows the latest.
    void setError(const QString &text);
    void setParentWindow(QWidget *parent);

    QPlainTextEdit *txtError = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_error;
};
