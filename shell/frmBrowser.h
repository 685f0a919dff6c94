#pragma once

#include <QMdiSubWindow>

#include <memory>

class QProgressBar;
class hlSourceBrowser;
class mdiMain;

namespace db {
class Connection;
}

// The one browser window of the run ("Data Sources"). The user's close box only minimises it; it
// goes with the main window, which tears its browser down and keeps its place in the settings.
class frmBrowser : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit frmBrowser(mdiMain &main);
    ~frmBrowser() override;

    hlSourceBrowser *control() const { return m_hlSourceBrowser; }

    // The load: the browser control's Init.
    bool Form_Load();
    // The activation rules, then the splash goes.
    void Form_Activate();
    // The main window is going: the browser closes its connections, the geometry is saved, and
    // the window may close.
    void unloadForExit();

    QProgressBar *prgProgress = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void hlSourceBrowser_RunQuery(std::shared_ptr<db::Connection> adoConnection, const QString &strSQl,
                                  const QString &strQueryName, int tbCurrentDataType, int lngMaxRecords,
                                  bool blnAutoRun, bool blnShowSQL, const QString &strDelimter,
                                  bool blnOptions);
    void writeGeometry();

    mdiMain &m_main;
    hlSourceBrowser *m_hlSourceBrowser = nullptr;
    bool m_blnExiting = false;
    bool m_blnUnloaded = false;
};
