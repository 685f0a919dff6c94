#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;

// "Notes": the whole text of one grid cell in a resizable box.
class frmNotes : public QDialog {
    Q_OBJECT
public:
    explicit frmNotes(QWidget *parent = nullptr);

    QString Notes() const { return m_notes; }
    void setNotes(const QString &text) { m_notes = text; }
    void setParentWindow(QWidget *parent);
    Q_INVOKABLE bool Refresh_Notes();

    QPlainTextEdit *txtNotes = nullptr;
    QPushButton *cmdOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString m_notes;
};
