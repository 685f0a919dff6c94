#pragma once

#include <QDate>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <map>

class QCalendarWidget;
class QPushButton;
namespace db {
class Command;
}
namespace grid {
class Grid;
}

// "Parameters": asks for the input parameters of a stored routine before it runs and writes them
// into the command. It starts cancelled: only a completed OK lets the routine run.
class frmParameters : public QDialog {
    Q_OBJECT
public:
    explicit frmParameters(QWidget *parent = nullptr);
    ~frmParameters() override;

    void setSPs(const QString &name) { m_sps = name; }
    void setAdoCommand(db::Command *command) { m_command = command; }
    void setParentWindow(QWidget *window) { m_parentWindow = window; }
    bool Cancelled() const { return m_cancelled; }

    // The form's load: Init once, before the dialog is shown.
    void Load();
    // Fills the grid from the command; false (after a report) when it could not.
    bool Init();
    bool Get_Parameters();
    // Writes the visible values into the command; false, with the dialog left open, when a value
    // is not what its row asks for.
    bool Save_Changes();
    bool Force_GridUpdate();
    QString Get_ParameterType(int row, int adoType);

    grid::Grid *grdParameters = nullptr;
    QCalendarWidget *mtvDate = nullptr;
    QPushButton *cmdClear = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cmdOK_Click();
    void cmdClear_Click();
    void beforeEdit(int row, int col, bool &cancel);
    void keyPressEdit(int row, int col, int &keyAscii);
    void cellButtonClick(int row, int col);
    void dateClicked(const QDate &date);
    // Hides the calendar; the keyboard goes back to the grid when the calendar had it.
    void hideCalendar();
    // Columns to their contents; the values, which the user types, also get the room left over.
    void fitColumns();

    db::Command *m_command = nullptr;
    QWidget *m_parentWindow = nullptr;
    QString m_sps;
    QStringList m_editLists;
    bool m_cancelled = true;
    bool m_updating = false;
    bool m_initialised = false;
    bool m_loaded = false;
    bool m_sizeRestored = false;
};
