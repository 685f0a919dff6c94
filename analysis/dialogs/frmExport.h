#pragma once

#include <QDialog>

class DataExport;

// "Export Data": the window that hosts the export control. It closes when the control raises
// Unload; closed another way while an export runs, it asks the control to stop and closes once
// the export has ended.
class frmExport : public QDialog {
    Q_OBJECT
public:
    explicit frmExport(QWidget *parent = nullptr);

    DataExport *dataExport() const { return m_dataExport; }

    // The close box and Escape come here too.
    void reject() override;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    DataExport *m_dataExport = nullptr;
};
