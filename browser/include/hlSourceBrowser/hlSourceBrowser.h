#pragma once

#include <tabulon/hlSourceBrowserExport.h>

#include <QPoint>
#include <QString>
#include <QTreeWidgetItem>
#include <QVariant>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;
class Splitter;

namespace browser {
class ObjectList;
}
namespace db {
class Connection;
}
namespace grid {
class Grid;
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
    Q_CLASSINFO("DispId:Allowed_DataType", "0x60030000")
    Q_CLASSINFO("DispId:Connect_DataSource", "0x60030001")
    Q_CLASSINFO("DispId:Field_Type", "0x60030002")
    Q_CLASSINFO("DispId:Get_Parameters", "0x60030003")
    Q_CLASSINFO("DispId:Print_Preview", "0x60030004")
    Q_CLASSINFO("DispId:Refresh", "0x60030005")
    Q_CLASSINFO("DispId:Run", "0x60030006")
    Q_CLASSINFO("DispId:Run_Query", "0x60030007")
    Q_CLASSINFO("DispId:Show_Options", "0x60030008")
    Q_CLASSINFO("DispId:Show_SQLError", "0x60030009")
    Q_CLASSINFO("DispId:Show_ToolbarMenu", "0x6003000A")
    Q_CLASSINFO("DispId:Show_ToolTip", "0x6003000B")
    Q_CLASSINFO("DispId:Format_Value", "0x6003000C")
    Q_CLASSINFO("DispId:Get_Fields", "0x6003000D")
    Q_CLASSINFO("DispId:Popluate_ToolTip", "0x6003000E")
    Q_CLASSINFO("DispId:Sort_Array", "0x6003000F")
    Q_CLASSINFO("DispId:Get_DataObjects", "0x60030010")
    Q_CLASSINFO("DispId:Set_MenuText", "0x60030011")
    Q_CLASSINFO("DispId:Size_Cols", "0x60030012")
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

    // Names and type codes (as decimal text) of the selected object's fields or parameters.
    using FieldArray = std::vector<std::array<QString, 2>>;

    explicit hlSourceBrowser(QWidget *parent = nullptr);
    ~hlSourceBrowser() override;

    // A start size whose tree share of the split shows the folder and data-source names whole.
    QSize sizeHint() const override;

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

    // Lists the objects of a folder node ("Tables", "Views", "Stored Procedures").
    Q_INVOKABLE bool Get_DataObjects(QTreeWidgetItem *Nodx);
    Q_INVOKABLE bool Size_Cols();
    // False for the long text and binary types the field tooltip leaves out.
    Q_INVOKABLE bool Allowed_DataType(int lngType);
    Q_INVOKABLE QString Field_Type(int lngType);
    Q_INVOKABLE bool Get_Parameters();

    // The field tooltip: read from the column metadata only, never from the rows.
    Q_INVOKABLE bool Get_Fields();
    Q_INVOKABLE QVariant Popluate_ToolTip();
    Q_INVOKABLE bool Show_ToolTip();
    // Rows of names, or of [name, type] pairs, by lower-cased name; equal names keep their order.
    // Sorts in place, so it is for C++ callers: automation passes its arguments by value.
    bool Sort_Array(QVariantList &aData);
    bool Sort_Array(FieldArray &aData);
    Q_INVOKABLE QString Format_Value(int lngType);

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
    bool Initialised() const { return m_initialised; }
    QString ObjectName() const { return m_objectName; }
    QString CurrentItem() const { return m_currentItem; }
    int MaxRecords() const { return m_maxRecords; }
    bool AutoRun() const { return m_autoRun; }
    bool SourceQuery() const { return m_sourceQuery; }
    const FieldArray &fieldArray() const { return m_fields; }
    // The current data source's delimiter; by the connection's client when the file gives none.
    QString delimiter() const;

    // The tree's event handlers, public so that the host's keyboard and tests reach them.
    void tvwData_Expand(QTreeWidgetItem *node);
    bool tvwData_NodeClick(QTreeWidgetItem *node);
    void tvwData_MouseMove(QTreeWidgetItem *nodeUnderPointer);
    // Sets the pop-up menu's entries; true when the menu is to be shown.
    bool tvwData_MouseUp(Qt::MouseButton button);

    // The object list's handlers. Positions are in the list's pixels.
    void lvwData_ItemClick(int item);
    void lvwData_DblClick();
    void lvwData_KeyUp(int keyCode);
    void lvwData_ColumnClick(int column);
    void lvwData_MouseDown(const QPoint &position);
    void lvwData_MouseMove(const QPoint &position);
    // Sets the pop-up menu's entries; true when the menu is to be shown.
    bool lvwData_MouseUp(Qt::MouseButton button);
    void mnuTables_Click(int index);
    void mnuQuery_Click();
    void tlbData_ButtonClick(const QString &key);
    void tmrTip_Timer();
    void grdTooltip_MouseMove();

    ui::KeyedToolBar *tlbData = nullptr;
    Splitter *hlSplitData = nullptr;
    QTreeWidget *tvwData = nullptr;
    browser::ObjectList *lvwData = nullptr;
    grid::Grid *grdTooltip = nullptr;
    QTimer *tmrTip = nullptr;
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

    QMenu *mnuTable = nullptr;
    std::array<QAction *, 4> mnuTables{}; // "&Open", separator, "Return &all rows", "Return &top ..."

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
    void buildObjectList();
    bool Set_Grids();
    void applyDataView();
    void clearObjects();
    // Makes a list item the current object; true when it differs from the one before.
    bool selectObject(int item);
    QString quotedObjectName(int item) const;
    void hideToolTip();
    void editDataSources(int command);
    void selectForMenu(QTreeWidgetItem *node);
    void report(const QString &procName, const QString &description);
    // Runs a member's work; a failure is reported through report() under the procedure's name and
    // answers false.
    bool trap(const QString &procedure, const std::function<bool()> &body);
    std::shared_ptr<db::Connection> &connectionSlot(int row);
    void setNodeImage(QTreeWidgetItem *node, int image);
    // The tree's width that shows every node's name whole, and the tree kept at least that wide.
    int treeWidthNeeded() const;
    void keepTreeNamesWhole();

    std::vector<std::shared_ptr<db::Connection>> Connections;
    int m_currentRow = 0;
    int m_currentDataType = tbDataTable;
    QString m_folderPath;
    bool m_initialised = false;
    bool m_sourceQuery = false;
    int m_tipSource = -1;

    QString m_objectName;
    QString m_objectOwner;  // the current object unquoted, for the catalogue
    QString m_objectBase;
    QString m_currentItem;  // type, owner and name of the current object
    int m_listDataType = tbDataTable; // the kind of objects the list holds
    int m_maxRecords = 0;
    bool m_autoRun = false;
    bool m_showSQL = false;
    FieldArray m_fields;
    QPoint m_tipPointer;    // where the last button went down in the list
};
