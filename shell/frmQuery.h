#pragma once

#include <QMdiSubWindow>
#include <QString>

#include <memory>

class QTimer;
class hlTabulon;
class mdiMain;

namespace db {
class Connection;
}

// A query window: one analysis control on the query the browser launched last. The window's
// load hands the pending query to the control (connection last); the control sets itself up the
// first time it is shown.
class frmQuery : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit frmQuery(mdiMain &main);
    ~frmQuery() override;

    hlTabulon *control() const { return m_hlTabulon; }
    // The launch's name, kept for the caption.
    QString QueryName() const { return m_strQueryName; }
    // Closed and waiting for its control's operation to end before it is destroyed.
    bool closing() const { return m_blnClosing; }

    // The activation rules (the main window calls this when the window becomes current).
    void Form_Activate();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void hlTabulon_QuerySelected(const QString &strQuery);
    void hlTabulon_Faultdesk(const QString &strSub, const QString &strDescription);
    void hlTabulon_ViewChanged();
    void finishClose();

    mdiMain &m_main;
    hlTabulon *m_hlTabulon = nullptr;
    std::shared_ptr<db::Connection> m_connection;
    QString m_strQueryName;
    QTimer *m_tmrTeardown = nullptr;
    bool m_blnClosing = false;
};
