#pragma once

#include <QDialog>

#include <memory>

namespace db {
class Recordset;
}
namespace grid {
class Grid;
}
namespace ui {
class KeyedToolBar;
}

// "Row Details": the current record of the results, one field a row, with steps to the
// neighbouring records. First and Last are the control's own moves (MoveRec).
class frmDetails : public QDialog {
    Q_OBJECT
public:
    explicit frmDetails(QWidget *parent = nullptr);
    ~frmDetails() override;

    void setParentWindow(QWidget *parent);
    void setAdRecordSet(std::shared_ptr<db::Recordset> recordset) { m_rs = std::move(recordset); }
    const std::shared_ptr<db::Recordset> &adRecordSet() const { return m_rs; }

    Q_INVOKABLE bool Init();
    // 0 first, 1 previous, 2 next, 3 last.
    Q_INVOKABLE bool Move_Record(int n);
    Q_INVOKABLE bool Refresh_Details();
    bool isLoaded() const { return m_loaded; }

    ui::KeyedToolBar *tlbMain = nullptr;
    grid::Grid *grdDetails = nullptr;

signals:
    void MoveRec(bool &blnFirst);
    void Unload();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

public:
    void reject() override;

private:
    void tlbMain_ButtonClick(const QString &key);
    void setMoveButtons();
    void layoutGrid();
    int valueWidthPx() const;
    void fitWindow();
    void fillValueColumn();
    void unload();

    std::shared_ptr<db::Recordset> m_rs;
    bool m_loaded = false;
    bool m_open = false; // between a load and its unload
};
