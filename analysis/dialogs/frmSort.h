#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <functional>

class QLabel;
class QPushButton;

namespace grid {
class Grid;
}

// "Sort Rows": the columns the query's rows are ordered by, their priority and direction. Saving
// hands the list to the opener's SortCols property and asks the opener's Refresh_Results to run
// the query again; both are reached by name, so any control with those members can open it.
class frmSort : public QDialog {
    Q_OBJECT
public:
    explicit frmSort(QWidget *parent = nullptr);

    // Inputs, set before the dialog is shown.
    void setCalledFrom(QObject *control) { m_calledFrom = control; }
    void setTheGrid(grid::Grid *grid);
    // A QList<QStringList> (or a list of pairs): {caption, "1" descending / "0" ascending}.
    void setSortCols(const QVariant &sortCols);
    // The list as last saved: one pair per selected column, or a single empty pair.
    QList<QStringList> SortCols() const { return m_sortCols; }

    // Run after each successful Refresh_Results of the opener (the control uses it to order rows
    // that are held in memory).
    void setAfterRefresh(std::function<void()> hook) { m_afterRefresh = std::move(hook); }

    Q_INVOKABLE bool Init();
    bool isInitialised() const { return m_initialised; }
    bool Move_Item(int index);
    void cmdOrder_Click(int index);

    grid::Grid *grdSort[2] = {nullptr, nullptr}; // 0 Available, 1 Selected
    QLabel *lblItems[2] = {nullptr, nullptr};
    QPushButton *cmdMove[4] = {nullptr, nullptr, nullptr, nullptr};
    QPushButton *cmdOrder[4] = {nullptr, nullptr, nullptr, nullptr};
    QPushButton *cmdApply = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool Set_Grids();
    bool Get_Columns();
    bool Save_Changes();
    bool Set_MoveButtons();
    void refreshOrderButtons();
    // Widens the dialog, within the screen, until the lists' headings show whole.
    void fitHeadings();
    void refreshList(int index);
    void moveRow(grid::Grid &from, int fromRow, grid::Grid &to, int toRow);
    bool sendToControl();
    void refreshControl();
    void cmdApply_Click();
    void cmdOK_Click();
    void grdSort_DblClick(int index);

    QPointer<QObject> m_calledFrom;
    QPointer<grid::Grid> m_theGrid;
    QList<QStringList> m_sortCols;
    std::function<void()> m_afterRefresh;
    QString m_captions[2];
    bool m_initialised = false;
    bool m_loaded = false;
};
