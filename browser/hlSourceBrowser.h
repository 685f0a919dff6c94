#pragma once

#include <tabulon/hlSourceBrowserExport.h>

#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QListWidget;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class Splitter;

namespace db {
class Connection;
}
namespace ui {
class KeyedToolBar;
class StatusPanels;
}

// The data-source browser: a toolbar, the tree of data sources beside the list of a folder's
// objects, and a status bar. The host calls Init once after creating it and UnloadFlter before
// destroying it.
class HLSOURCEBROWSER_EXPORT hlSourceBrowser : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("DispId:Connect_DataSource", "0x60030001")
    Q_CLASSINFO("DispId:Print_Preview", "0x60030004")
    Q_CLASSINFO("DispId:Refresh", "0x60030005")
    Q_CLASSINFO("DispId:Run", "0x60030006")
    Q_CLASSINFO("DispId:Run_Query", "0x60030007")
    Q_CLASSINFO("DispId:Show_Options", "0x60030008")
    Q_CLASSINFO("DispId:Show_SQLError", "0x60030009")
    Q_CLASSINFO("DispId:Show_ToolbarMenu", "0x6003000A")
    Q_CLASSINFO("DispId:Set_MenuText", "0x60030011")
    Q_CLASSINFO("DispId:Set_Options", "0x60030013")
    Q_CLASSINFO("DispId:Init", "0x60030014")
    Q_CLASSINFO("DispId:UnloadFlter", "0x60030015")
    Q_CLASSINFO("DispId:QueryTotal", "0x68030016")
    Q_CLASSINFO("DispId:stOpenSQL", "0x68030017")
    Q_CLASSINFO("EventDispId:Refreshed", "1")
    Q_CLASSINFO("EventDispId:QuerySelected", "2")
    Q_CLASSINFO("EventDispId:Faultdesk", "3")
    Q_CLASSINFO("EventDispId:NewQuery", "4")
    Q_CLASSINFO("EventDispId:RunQuery", "5")
    Q_PROPERTY(int QueryTotal READ QueryTotal)
    Q_PROPERTY(bool stOpenSQL READ stOpenSQL)

public:
    enum tbDataType { tbDataTable = 0, tbDataView = 1, tbDataStoredProc = 2 };
    Q_ENUM(tbDataType)

    explicit hlSourceBrowser(QWidget *parent = nullptr);
    ~hlSourceBrowser() override;

    Q_INVOKABLE bool Init();
    Q_INVOKABLE void UnloadFlter();
    Q_INVOKABLE bool Set_Options(bool blnDataChanged = false, bool blnChartChanged = false,
                                 bool blnDataSourceChanged = false);
    Q_INVOKABLE bool Set_MenuText();
    Q_INVOKABLE bool Connect_DataSource();
    Q_INVOKABLE bool Refresh();
    Q_INVOKABLE bool Print_Preview() { return false; }
    Q_INVOKABLE bool Show_SQLError(const QString &strSQl, const QString &strDescription);
    Q_INVOKABLE bool Show_ToolbarMenu() { return true; }
    // Launches the selected object (or the data source after the tree's "Query"): 0 opens its SQL,
    // 1 returns all rows, 2 asks for a row limit, any other value keeps the last launch options.
    Q_INVOKABLE bool Run(int lngType);
    // Raises RunQuery for the current selection; false when there is nothing to launch.
    Q_INVOKABLE bool Run_Query();
    Q_INVOKABLE bool Show_Options();
    int QueryTotal() const;
    bool stOpenSQL() const;

    // Closes the current data source's connection (the tree's "Disconnect").
    bool Disconnect_DataSource();
    // Rebuilds the tree from the data-source file; every connection object is dropped.
    bool Refresh_Data();

    // The row of a node's data source; 0 for none.
    static int nodeRow(const QTreeWidgetItem *node);
    static QString fullPath(const QTreeWidgetItem *node);
    // 1 for a data source not yet opened, 2 once opened; the folders' own images otherwise.
    static int nodeImage(const QTreeWidgetItem *node);
    QTreeWidgetItem *dataSourceNode(int row) const;

    int currentRow() const { return m_currentRow; }
    std::shared_ptr<db::Connection> connection(int row) const;
    int CurrentDataType() const { return m_currentDataType; }
    QString FolderPath() const { return m_folderPath; }
    bool Initialised() const { return m_initialised; }

    // The tree's event handlers, public so that the host's keyboard and tests reach them.
    void tvwData_Expand(QTreeWidgetItem *node);
    bool tvwData_NodeClick(QTreeWidgetItem *node);
    void tvwData_MouseMove(QTreeWidgetItem *nodeUnderPointer);
    // Sets the pop-up menu's entries; true when the menu is to be shown.
    bool tvwData_MouseUp(Qt::MouseButton button);

    ui::KeyedToolBar *tlbData = nullptr;
    Splitter *hlSplitData = nullptr;
    QTreeWidget *tvwData = nullptr;
    QListWidget *lvwData = nullptr;
    ui::StatusPanels *staStatus = nullptr;
    QPushButton *cmdCancel = nullptr;

    QMenu *mnuData = nullptr;
    QAction *mnuConnect = nullptr;
    QAction *mnuDisconnect = nullptr;
    QAction *mnuDatCap1 = nullptr;
    QAction *mnuNewDataSource = nullptr;
    QAction *mnuEditDataSource = nullptr;
    QAction *mnuDeleteDataSource = nullptr;
    QAction *mnuDatCap2 = nullptr;
    QAction *mnuQuery = nullptr;

signals:
    void Refreshed();
    void QuerySelected(const QString &strQuery);
    void Faultdesk(const QString &strSub, const QString &strDescription);
    // Declared for hosts that bind every event; never raised.
    void NewQuery(std::shared_ptr<db::Connection> adoConnection, const QString &strSQl);
    // Everything the host needs to open a query window. The browser keeps owning the
    // connection; the host holds a reference while its window lives.
    void RunQuery(std::shared_ptr<db::Connection> adoConnection, const QString &strSQl,
                  const QString &strQueryName, int tbCurrentDataType, int lngMaxRecords,
                  bool blnAutoRun, bool blnShowSQL, const QString &strDelimter, bool blnOptions);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void buildTreeMenu();
    void applyDataView();
    void toolbarClick(const QString &key);
    void editDataSources(int command);
    void report(const QString &procName, const QString &description);
    std::shared_ptr<db::Connection> &connectionSlot(int row);
    void setNodeImage(QTreeWidgetItem *node, int image);

    std::vector<std::shared_ptr<db::Connection>> Connections;
    int m_currentRow = 0;
    int m_currentDataType = tbDataTable;
    QString m_folderPath;
    bool m_initialised = false;
    bool m_sourceQuery = false;
    int m_tipSource = -1;
};
