#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;

// "Find": the search text and options for the control's grid search, with the history of the
// last 51 texts shared by every control of the process. The search itself is the control's
// answer to DoFind.
class frmFind : public QDialog {
    Q_OBJECT
public:
    explicit frmFind(QWidget *parent = nullptr);

    // Makes the window a tool window over the control's window.
    void setParentWindow(QWidget *parent);

    QComboBox *cboFind = nullptr;
    QPushButton *cmdFind = nullptr;
    QPushButton *cmdCancel = nullptr;
    QRadioButton *optSelected[2] = {nullptr, nullptr}; // 0 all columns, 1 the current one
    QCheckBox *chkMatch = nullptr;
    QCheckBox *chkWord = nullptr;

    void cmdFind_Click();
    void reject() override;

signals:
    // 0: from the first row (the first search since the window opened); 1: on from the current cell.
    void DoFind(qint32 &lngDirection);
    void UnLoad();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void load();
    void activate();
    void unload();

    int m_findCount = 0;
    bool m_typed = false;
    bool m_loaded = false;
};
