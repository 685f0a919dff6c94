#pragma once

#include <QDialog>
#include <QPointer>

class QPushButton;

namespace grid {
class Grid;
}

// "View Columns": which columns of the results grid are displayed. Works straight on the grid's
// hidden flags; stores nothing in the settings.
class frmColumns : public QDialog {
    Q_OBJECT
public:
    explicit frmColumns(QWidget *parent = nullptr);

    // Set before the dialog is shown; read while it loads.
    void setTheGrid(grid::Grid *grid);
    // Whether a column of the results grid is hidden now, read from the grid itself, so the
    // opener's button is right whichever way the dialog was closed.
    bool ColsHidden() const;

    Q_INVOKABLE bool Init();
    bool isInitialised() const { return m_initialised; }

    grid::Grid *grdColumns = nullptr;
    QPushButton *cmdHideAll = nullptr;
    QPushButton *cmdShowAll = nullptr;
    QPushButton *cmdApply = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdOK = nullptr;

    // The close box, Cancel and Escape all come here: pending changes are asked about.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool Set_Grid();
    bool Get_Columns();
    bool Save_Changes();
    bool Check_Save() const;
    bool Hide_All(bool displayed);
    void grdColumns_AfterEdit();
    void cmdOK_Click();

    QPointer<grid::Grid> m_theGrid;
    bool m_initialised = false;
    bool m_loaded = false;
};
