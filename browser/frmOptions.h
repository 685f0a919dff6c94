#pragma once

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <array>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class hlSourceBrowser;

namespace grid {
class Grid;
}

namespace browser {

// The browser's options: display settings, the data-source list and what the user may do.
// Settings are copied from the controls only when saved; the data-source table may change at
// once through New, Edit and Delete, and is put back as it was when the dialog closes without
// saving, so closing without saving leaves everything as before.
class frmOptions : public QDialog {
    Q_OBJECT

public:
    enum Tab { tabGeneral = 0, tabDataSources = 1, tabAdmin = 2 };
    // Columns of grdDataSources.
    enum DataSourceCol { colNum = 0, colID, colName, colProvider, colServer, colDatabase, colConnection,
                         colDescription, colDelimiter, colCount };

    explicit frmOptions(QWidget *parent = nullptr);
    ~frmOptions() override;

    // The control told about saved changes through its Set_Options.
    void setCalledFrom(hlSourceBrowser *browser) { m_calledFrom = browser; }
    // The tab shown first; set before loading.
    void setInitialTab(int tab) { m_initialTab = tab; }

    // Loads the dialog once (Init); true when it loaded. Showing the dialog loads it too.
    bool load();
    bool isLoaded() const { return m_loaded; }

    bool Init();
    bool Set_Grid();
    bool Set_ToolTips();
    bool Refresh_DataSources();
    bool Save_Changes();
    // The text between the first "=" after keyName (found case-sensitively anywhere in the
    // string) and the next ";".
    static QString Get_Value(const QString &connection, const QString &keyName);

    bool optionsChanged() const { return m_optionsChanged; }
    bool dataSourcesChanged() const { return m_dataSourcesChanged; }
    bool passwordGiven() const { return m_passwordGiven; }

    // The close box, Cancel and Escape come here: pending changes are asked about.
    void reject() override;

    QTabWidget *tabOptions = nullptr;
    // General
    QCheckBox *chkToolBarText = nullptr;
    QCheckBox *chkGridLines = nullptr;
    QCheckBox *chkObjectToolTips = nullptr;
    QCheckBox *chkFieldTypes = nullptr;
    QCheckBox *chkSortFields = nullptr;
    QLineEdit *txtObjectToolDelay = nullptr;
    std::array<QRadioButton *, 2> optSplit{}; // vertical, horizontal
    QCheckBox *chkLeft = nullptr;
    // Data Sources
    grid::Grid *grdDataSources = nullptr;
    std::array<QPushButton *, 4> cmdDataSource{}; // new, edit, delete, refresh
    // Admin
    QCheckBox *chkOptions = nullptr;
    QCheckBox *chkOpenSQL = nullptr;
    QCheckBox *chkPasswordData = nullptr;
    QCheckBox *chkDataSource = nullptr;
    QCheckBox *chkPasswordAdmin = nullptr;
    QPushButton *cmdPassword = nullptr;
    std::array<QCheckBox *, 3> chkQueryView{}; // tables, views, stored procedures

    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdApply = nullptr;

    void cmdOK_Click();
    void cmdApply_Click();
    void cmdDataSource_Click(int index);
    void cmdPassword_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildGeneralTab();
    QWidget *buildDataSourcesTab();
    QWidget *buildAdminTab();
    void optionChanged();
    void queryViewChanged();
    void toolTipsChanged();
    void passwordBoxChanged();
    void tabOptions_Click(int newTab);
    enum class CommitResult { Saved, DataSourcesFailed, SettingsFailed };
    // Saves the data-source file when it changed, then the settings, then tells the browser.
    CommitResult commit();
    void dataSourceCommand(int index);
    // Whether the dialog may close, asking about pending changes; unsaved edits are undone.
    bool queryClose();
    void discardUnsaved();
    // The table row named by the selected grid row's ID; 0 when it names none still in use.
    int selectedTableRow() const;

    QPointer<hlSourceBrowser> m_calledFrom;
    int m_initialTab = 0;
    bool m_loadTried = false;
    bool m_loaded = false;
    bool m_optionsChanged = false;
    bool m_dataSourcesChanged = false;
    bool m_passwordGiven = false;
    int m_currentTab = tabGeneral;
    bool m_switchingTab = false;
    bool m_haveSnapshot = false;
    DataSourceTable m_savedTable; // the table as the data-source file holds it
};

} // namespace browser
