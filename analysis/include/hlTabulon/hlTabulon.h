#pragma once

#include <tabulon/hlTabulonExport.h>

#include "db/Worker.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>
#include <type_traits>

class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSlider;
class QTimer;
class Splitter;
class frmQueryBuilder;
class qryMenu;

namespace chart {
class ChartView;
}
namespace db {
class Command;
class Connection;
class Recordset;
class RecordsetFilter;
class ShapeConnection;
struct ProviderError;
} // namespace db
namespace grid {
class Grid;
}
namespace ui {
class KeyedToolBar;
class StatusPanels;
} // namespace ui
namespace analysis {
struct ControlAccess;
class ControlSteps;
class OperationFrame;
class QueryRunner;
struct SummaryTotals;
class ViewRefresh;
class XTabPivot;
} // namespace analysis

// The analysis control: one per query window, driven by its host only through the members below
// (by name or by dispatch identifier through platform/automation) and answering through its five
// signals. Methods return true when their work was done; a failure is trapped inside, reported
// through Faultdesk under the procedure's name, and gives false.
//
// Write-only members ("let" and "set") are one-argument invokables; members that are read, or read
// and written, are properties. The sort list travels as a QList<QStringList>, one {caption, flag}
// pair per sort column, flag "1" for descending; a single {"-1", ""} means no order.
class HLTABULON_EXPORT hlTabulon : public QWidget {
    Q_OBJECT
    // --- methods ---
    Q_CLASSINFO("DispId:Apply_Query", "0x60030648")
    Q_CLASSINFO("DispId:EMail_Chart", "0x6003064C")
    Q_CLASSINFO("DispId:Enable_DataButtons", "0x6003064D")
    Q_CLASSINFO("DispId:Find_Item", "0x6003064E")
    Q_CLASSINFO("DispId:Resize_Cols", "0x60030652")
    Q_CLASSINFO("DispId:Set_Query", "0x60030654")
    Q_CLASSINFO("DispId:Set_RecentFiles", "0x60030655")
    Q_CLASSINFO("DispId:Show_Details", "0x60030657")
    Q_CLASSINFO("DispId:ShowAboutBox", "-552")
    Q_CLASSINFO("DispId:UnloadFlter", "0x6003065D")
    Q_CLASSINFO("DispId:Open_SQL", "0x6003066B")
    Q_CLASSINFO("DispId:Move_Record", "0x6003066D")
    Q_CLASSINFO("DispId:Run_Query", "0x60030670")
    Q_CLASSINFO("DispId:Select_All", "0x60030671")
    Q_CLASSINFO("DispId:Set_Options", "0x60030673")
    Q_CLASSINFO("DispId:View_Columns", "0x60030676")
    Q_CLASSINFO("DispId:Show_Sort", "0x60030677")
    Q_CLASSINFO("DispId:Export_Data", "0x60030679")
    Q_CLASSINFO("DispId:Save_SQL", "0x6003067A")
    Q_CLASSINFO("DispId:Refresh", "0x6003067C")
    Q_CLASSINFO("DispId:Print_Grid", "0x6003067F")
    Q_CLASSINFO("DispId:Show_QueryBuilder", "0x60030683")
    Q_CLASSINFO("DispId:Show_Options", "0x60030684")
    Q_CLASSINFO("DispId:Refresh_Results", "0x60030689")
    Q_CLASSINFO("DispId:Show_ResultsCount", "0x6003068C")
    Q_CLASSINFO("DispId:Show_Find", "0x600306B1")
    Q_CLASSINFO("DispId:Copy_Sel", "0x600306D1")
    Q_CLASSINFO("DispId:Paste_Sel", "0x600306D2")
    // Bound by name by its callers; an identifier of our own beside the others.
    Q_CLASSINFO("DispId:Clear_Query", "0x600306D3")
    // --- properties ---
    Q_CLASSINFO("DispId:Results", "0x68030645")
    Q_CLASSINFO("DispId:ChartMaxColumns", "0x68030644")
    Q_CLASSINFO("DispId:ChartMaxLegend", "0x68030643")
    Q_CLASSINFO("DispId:DateFormat", "0x68030641")
    Q_CLASSINFO("DispId:LoadedOK", "0x68030640")
    Q_CLASSINFO("DispId:SortCols", "0x6803063F")
    Q_CLASSINFO("DispId:ShowRowCount", "0x6803063E")
    Q_CLASSINFO("DispId:QBVisible", "0x6803063D")
    Q_CLASSINFO("DispId:ResultsRows", "0x6803063C")
    Q_CLASSINFO("DispId:SummaryRows", "0x6803063B")
    Q_CLASSINFO("DispId:XTabRows", "0x6803063A")
    Q_CLASSINFO("DispId:CurrentView", "0x68030639")
    Q_CLASSINFO("DispId:CurrentDataType", "0x68030638")
    Q_CLASSINFO("DispId:FindVisible", "0x68030637")
    Q_CLASSINFO("DispId:FindNext", "0x68030636")
    Q_CLASSINFO("DispId:SQLEnabled", "0x68030635")
    Q_CLASSINFO("DispId:adoConnection", "0x68030634")
    Q_CLASSINFO("DispId:SQLSource", "0x68030633")
    Q_CLASSINFO("DispId:SQL", "0x68030632")
    Q_CLASSINFO("DispId:Delimiter", "0x68030631")
    Q_CLASSINFO("DispId:DataType", "0x68030630")
    Q_CLASSINFO("DispId:StatusBarVisible", "0x6803062F")
    Q_CLASSINFO("DispId:OpenSQL", "0x6803062C")
    Q_CLASSINFO("DispId:DataSourceName", "0x6803062B")
    Q_CLASSINFO("DispId:MaxRecords", "0x6803062A")
    Q_CLASSINFO("DispId:AutoRun", "0x68030629")
    Q_CLASSINFO("DispId:Container", "0x68030628")
    Q_CLASSINFO("DispId:OptionsVisible", "0x68030627")
    Q_CLASSINFO("DispId:SortFields", "0x68030626")
    Q_CLASSINFO("DispId:OpenXML", "0x68030625")
    Q_CLASSINFO("DispId:stViewChart", "0x68030624")
    Q_CLASSINFO("DispId:stViewSummary", "0x68030623")
    Q_CLASSINFO("DispId:stviewXTab", "0x68030622")
    Q_CLASSINFO("DispId:stExportData", "0x68030621")
    Q_CLASSINFO("DispId:stSaveSQL", "0x68030620")
    Q_CLASSINFO("DispId:stPrint", "0x6803061F")
    Q_CLASSINFO("DispId:stviewResults", "0x6803061E")
    Q_CLASSINFO("DispId:stFind", "0x6803061D")
    Q_CLASSINFO("DispId:stShowRowCount", "0x6803061C")
    Q_CLASSINFO("DispId:stOptions", "0x6803061B")
    Q_CLASSINFO("DispId:stShowQB", "0x6803061A")
    Q_CLASSINFO("DispId:stShowSort", "0x68030619")
    Q_CLASSINFO("DispId:stViewCols", "0x68030618")
    Q_CLASSINFO("DispId:stMoveFirst", "0x68030617")
    Q_CLASSINFO("DispId:stMoveLast", "0x68030616")
    Q_CLASSINFO("DispId:stResizeCols", "0x68030615")
    Q_CLASSINFO("DispId:stQueryExecute", "0x68030614")
    Q_CLASSINFO("DispId:stQueryClear", "0x68030613")
    Q_CLASSINFO("DispId:stSelectAll", "0x68030612")
    Q_CLASSINFO("DispId:stOpenSQL", "0x68030611")
    Q_CLASSINFO("DispId:ToolBarMain", "0x68030610")
    Q_CLASSINFO("DispId:ToolBarResults", "0x6803060F")
    Q_CLASSINFO("DispId:stCurrentView", "0x6803060E")
    // The outgoing interface's identifiers, for an event sink; not callable members.
    Q_CLASSINFO("EventDispId:DblClick", "1")
    Q_CLASSINFO("EventDispId:QuerySelected", "2")
    Q_CLASSINFO("EventDispId:Faultdesk", "3")
    Q_CLASSINFO("EventDispId:ViewChanged", "4")
    Q_CLASSINFO("EventDispId:Freeze", "5")

    Q_PROPERTY(bool Results READ Results)
    Q_PROPERTY(qint32 ChartMaxColumns READ ChartMaxColumns WRITE setChartMaxColumns)
    Q_PROPERTY(qint32 ChartMaxLegend READ ChartMaxLegend WRITE setChartMaxLegend)
    Q_PROPERTY(QString DateFormat READ DateFormat WRITE setDateFormat)
    Q_PROPERTY(bool LoadedOK READ LoadedOK)
    Q_PROPERTY(QVariant SortCols READ SortCols WRITE setSortCols)
    Q_PROPERTY(bool ShowRowCount READ ShowRowCount WRITE setShowRowCount)
    Q_PROPERTY(bool QBVisible READ QBVisible)
    Q_PROPERTY(qint32 ResultsRows READ ResultsRows)
    Q_PROPERTY(qint32 SummaryRows READ SummaryRows)
    Q_PROPERTY(bool XTabRows READ XTabRows)
    Q_PROPERTY(tbView CurrentView READ CurrentView)
    Q_PROPERTY(tbDataType CurrentDataType READ CurrentDataType)
    Q_PROPERTY(bool FindVisible READ FindVisible)
    Q_PROPERTY(bool FindNext READ FindNext)
    Q_PROPERTY(bool SQLEnabled READ SQLEnabled)
    Q_PROPERTY(QString SQLSource READ SQLSource)
    Q_PROPERTY(bool StatusBarVisible READ StatusBarVisible WRITE setStatusBarVisible)
    Q_PROPERTY(bool AutoRun READ AutoRun WRITE setAutoRun)
    Q_PROPERTY(bool OptionsVisible READ OptionsVisible WRITE setOptionsVisible)
    Q_PROPERTY(bool SortFields READ SortFields WRITE setSortFields)
    Q_PROPERTY(bool stViewChart READ stViewChart)
    Q_PROPERTY(bool stViewSummary READ stViewSummary)
    Q_PROPERTY(bool stviewXTab READ stviewXTab)
    Q_PROPERTY(bool stExportData READ stExportData)
    Q_PROPERTY(bool stSaveSQL READ stSaveSQL)
    Q_PROPERTY(bool stPrint READ stPrint)
    Q_PROPERTY(bool stviewResults READ stviewResults)
    Q_PROPERTY(bool stFind READ stFind)
    Q_PROPERTY(bool stShowRowCount READ stShowRowCount)
    Q_PROPERTY(bool stOptions READ stOptions)
    Q_PROPERTY(bool stShowQB READ stShowQB)
    Q_PROPERTY(bool stShowSort READ stShowSort)
    Q_PROPERTY(bool stViewCols READ stViewCols)
    Q_PROPERTY(bool stMoveFirst READ stMoveFirst)
    Q_PROPERTY(bool stMoveLast READ stMoveLast)
    Q_PROPERTY(bool stResizeCols READ stResizeCols)
    Q_PROPERTY(bool stQueryExecute READ stQueryExecute)
    Q_PROPERTY(bool stQueryClear READ stQueryClear)
    Q_PROPERTY(bool stSelectAll READ stSelectAll)
    Q_PROPERTY(bool stOpenSQL READ stOpenSQL)
    Q_PROPERTY(bool ToolBarMain READ ToolBarMain WRITE setToolBarMain)
    Q_PROPERTY(bool ToolBarResults READ ToolBarResults WRITE setToolBarResults)
    Q_PROPERTY(tbView stCurrentView READ stCurrentView WRITE setStCurrentView)

public:
    enum tbView : qint32 { tbViewResults = 0, tbViewChart = 1, tbViewSummary = 2, tbViewXTab = 3 };
    Q_ENUM(tbView)
    enum tbDataType : qint32 { tbDataTable = 0, tbDataView = 1, tbDataStoredProc = 2, tbDataXML = 3 };
    Q_ENUM(tbDataType)
    // Declared for hosts; no member takes or returns it.
    enum tbMode : qint32 { tbBrowser = 0, tbQuery = 1 };
    Q_ENUM(tbMode)

    // Reads the settings (Initialize). The control is set up when it is first shown.
    explicit hlTabulon(QWidget *parent = nullptr);
    ~hlTabulon() override;

    // --- methods of the interface ---
    Q_INVOKABLE bool Apply_Query();
    Q_INVOKABLE bool EMail_Chart();
    Q_INVOKABLE bool Enable_DataButtons(bool blnEnable);
    Q_INVOKABLE bool Find_Item(qint32 lngDirection);
    Q_INVOKABLE bool Resize_Cols();
    Q_INVOKABLE bool Set_Query();
    Q_INVOKABLE bool Set_RecentFiles(const QString &strNewName = QString());
    Q_INVOKABLE bool Show_Details();
    Q_INVOKABLE void ShowAboutBox();
    Q_INVOKABLE void UnloadFlter();
    Q_INVOKABLE bool Open_SQL(const QString &strFile = QString());
    Q_INVOKABLE bool Move_Record(bool blnFirst = false);
    Q_INVOKABLE bool Run_Query();
    Q_INVOKABLE bool Select_All();
    Q_INVOKABLE bool Set_Options(bool blnDataChanged = false, bool blnChartChanged = false,
                                 bool blnDataSourceChanged = false);
    Q_INVOKABLE bool View_Columns();
    Q_INVOKABLE bool Show_Sort();
    Q_INVOKABLE bool Export_Data();
    Q_INVOKABLE bool Save_SQL(const QString &strFileName = QString());
    Q_INVOKABLE bool Refresh();
    Q_INVOKABLE bool Print_Grid();
    Q_INVOKABLE bool Show_QueryBuilder();
    Q_INVOKABLE bool Show_Options();
    // The results pipeline; the sort dialog passes (true, false, false).
    Q_INVOKABLE bool Refresh_Results(bool blnSorting = false, bool blnRemoveFilter = false,
                                     bool blnRemoveQBFilter = false);
    Q_INVOKABLE bool Show_ResultsCount();
    Q_INVOKABLE bool Show_Find();
    Q_INVOKABLE bool Copy_Sel(bool blnCut = false);
    Q_INVOKABLE bool Paste_Sel();
    Q_INVOKABLE bool Clear_Query();

    // --- write-only members ---
    Q_INVOKABLE void adoConnection(const std::shared_ptr<db::Connection> &connection);
    Q_INVOKABLE void SQL(const QString &text);
    // Sets this control's delimiter and the one later controls start from.
    Q_INVOKABLE void Delimiter(const QString &delimiter);
    Q_INVOKABLE void DataType(hlTabulon::tbDataType dataType);
    Q_INVOKABLE void OpenSQL(bool on);
    Q_INVOKABLE void DataSourceName(const QString &name);
    Q_INVOKABLE void MaxRecords(qint32 rows);
    // Stored and otherwise ignored: no host gives it a meaning.
    Q_INVOKABLE void Container(qint32 value);
    Q_INVOKABLE void OpenXML(bool on);

    // --- properties ---
    bool Results() const { return m_blnResultsLoaded; }
    qint32 ChartMaxColumns() const { return m_lngChartMaxColumns; }
    void setChartMaxColumns(qint32 value);
    qint32 ChartMaxLegend() const { return m_lngChartMaxLegend; }
    void setChartMaxLegend(qint32 value);
    QString DateFormat() const;
    void setDateFormat(const QString &format);
    bool LoadedOK() const { return m_blnLoadedOK; }
    QVariant SortCols() const;
    void setSortCols(const QVariant &value);
    bool ShowRowCount() const;
    void setShowRowCount(bool on);
    bool QBVisible() const { return m_blnQBVisible; }
    qint32 ResultsRows() const;
    // Every row of the results is in the grid, so ResultsRows() counts them all.
    bool ResultsComplete() const { return m_blnAllFetched; }
    qint32 SummaryRows() const;
    bool XTabRows() const;
    tbView CurrentView() const { return m_intView; }
    tbDataType CurrentDataType() const;
    bool FindVisible() const;
    bool FindNext() const { return m_blnFindNext; }
    bool SQLEnabled() const { return m_blnSQLEnabled; }
    QString SQLSource() const { return {}; }
    bool StatusBarVisible() const { return m_blnStatusBar; }
    void setStatusBarVisible(bool on) { m_blnStatusBar = on; }
    bool AutoRun() const { return m_blnAutoRun; }
    void setAutoRun(bool on) { m_blnAutoRun = on; }
    bool OptionsVisible() const { return m_blnOptionsVisible; }
    void setOptionsVisible(bool on) { m_blnOptionsVisible = on; }
    bool SortFields() const;
    void setSortFields(bool on);
    bool ToolBarMain() const;
    void setToolBarMain(bool on);
    bool ToolBarResults() const;
    void setToolBarResults(bool on);
    tbView stCurrentView() const { return m_intView; }
    void setStCurrentView(tbView view);

    // Command states, read from the toolbars as they stand.
    bool stViewChart() const;
    bool stViewSummary() const;
    bool stviewXTab() const;
    bool stExportData() const;
    bool stSaveSQL() const;
    bool stPrint() const;
    bool stviewResults() const;
    bool stFind() const;
    bool stShowRowCount() const;
    bool stOptions() const;
    bool stShowQB() const;
    bool stShowSort() const;
    bool stViewCols() const;
    bool stMoveFirst() const;
    bool stMoveLast() const;
    bool stResizeCols() const;
    bool stQueryExecute() const;
    bool stQueryClear() const;
    bool stSelectAll() const;
    bool stOpenSQL() const { return m_blnOpenSQL; }

    // --- the host's property bag ---
    // A new control: date format "dd/mm/yyyy", 1000 chart columns, 100 legend entries, open-SQL
    // off, status bar on.
    Q_INVOKABLE void InitProperties();
    // Keys "DateFormat", "ChartMaxColumns", "ChartMaxLegend", "StatusBar" (any case), each with
    // its default when missing or not convertible.
    Q_INVOKABLE void ReadProperties(const QVariantMap &bag);
    // Only the values that differ from their defaults.
    Q_INVOKABLE QVariantMap WriteProperties() const;

    // A long operation is running (a busy mark is set).
    // Not to be torn down now: an operation of this control runs, or a wait for the database is on
    // the stack (this window's or another's, into which this one's code may return).
    bool isBusy() const;
    bool hasBusyMark() const; // a long operation of this control runs
    // What Escape does: asks whether to stop the long operation that runs (a Yes stops it), or with
    // none running closes the column menu. A host's stop command may call it. False on a failure.
    bool Check_ESC();

signals:
    void DblClick(); // declared for hosts; never raised
    void QuerySelected(const QString &strQuery);
    void Faultdesk(const QString &strSub, const QString &strDescription);
    void ViewChanged();
    void Freeze(bool blnStart);
    // A design property changed (its property-bag key), for a host that saves the bag.
    void PropertyChanged(const QString &name);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool Refresh_Chart();
    frmQueryBuilder *queryBuilderWindow() const;
    bool m_blnAllFetched = false;
    // Busy marks, set for the length of a long operation (see OperationFrame).
    bool m_blnRefreshing = false;
    bool m_blnF5Down = false; // the SQL box saw F5 go down
    bool m_blnCopying = false;
    bool m_blnPrinting = false;
    using PickerArray = std::array<QComboBox *, 6>;

    // A part of the chart, summary and cross-tab views. Those views are made when first needed
    // (most windows never leave the results): using any of their parts makes them all. A part
    // not made yet compares equal to no object.
    template <typename T>
    class ViewPart {
    public:
        explicit ViewPart(hlTabulon *owner) : m_owner(owner) {}
        ViewPart(const ViewPart &) = delete;
        ViewPart &operator=(const ViewPart &) = delete;
        ViewPart &operator=(T *part)
        {
            m_part = part;
            return *this;
        }
        T *get() const
        {
            if (!m_part)
                m_owner->makeViews();
            return m_part;
        }
        T *operator->() const { return get(); }
        operator T *() const { return get(); }
        // The part, or nullptr while the views are not made.
        T *made() const { return m_part; }
        friend bool operator==(const ViewPart &part, const QObject *object)
        {
            return part.m_part && static_cast<const QObject *>(part.m_part) == object;
        }

    private:
        hlTabulon *m_owner;
        T *m_part = nullptr;
    };
    // The same for an array of parts.
    template <typename Array>
    class ViewParts {
    public:
        explicit ViewParts(hlTabulon *owner) : m_owner(owner) {}
        ViewParts(const ViewParts &) = delete;
        ViewParts &operator=(const ViewParts &) = delete;
        Array &get() const
        {
            if (!m_parts[0])
                m_owner->makeViews();
            return m_parts;
        }
        operator Array &() const { return get(); }
        auto &operator[](std::size_t i) const { return get()[i]; }
        auto begin() const { return get().begin(); }
        auto end() const { return get().end(); }
        // The parts, nullptr while the views are not made.
        Array &made() const { return m_parts; }

    private:
        hlTabulon *m_owner;
        mutable Array m_parts{};
    };
    // Makes the chart, summary and cross-tab views' bars, pickers and panes, once; set up as the
    // control's start-up and options left the others when it has started already.
    void makeViews();
    // What start-up gives the views' parts.
    void setUpViews();
    // A view's grid options (fonts, colours, lines, wallpaper) and its pane's (SQL font, division).
    void applyGridOptions(tbView view);
    void applyPaneOptions(tbView view);
    ui::KeyedToolBar *makeBar(const char *name);
    void createViewBars();
    bool m_blnViewsMade = false;

    bool Change_View(tbView view);
    ViewPart<grid::Grid> grdSummary{this};
    ViewPart<grid::Grid> grdXTab{this};
    ViewParts<PickerArray> cboSumCol{this};
    ViewParts<PickerArray> cboXTabCol{this};
    friend class analysis::OperationFrame;
    friend class analysis::ViewRefresh;

    // --- steps of the results pipeline and of the views, each reporting its own failure. The
    // views' steps (chart, summary, cross-tab, pickers) give false until the views are built ---
    bool Position_Combos();
    bool Set_Chart();
    bool Set_ToolTips();
    bool Set_ChartOptions();
    bool Show_SortIcon();
    // The chart's data columns, for the print command's state in the Chart view.
    int chartDataColumns() const;
    // The rows a view hands to the export window: the results' recordset (its rows fetched by
    // the export as it writes), and for the summary and the cross-tab the rows of their grids
    // held in memory. A view that keeps its rows otherwise gives them here.
    std::shared_ptr<db::Recordset> viewRecordset(tbView view);

    // --- the results pipeline (hlTabulonQuery.cpp) ---
    // Reads the field list of the statement in the SQL box; the database's message on a failure.
    bool Get_Fields();
    bool Get_Query(QString &strSQL);
    bool Change_OrderBy(QString &strSQL);
    QString Get_Parameters(const QString &strSource);
    // Opens the results of sql into the grid; with m_blnParse set, only checks it (never true).
    bool Get_Results(const QString &sql);
    bool Show_SQLMsg(const QString &strSQL, const QString &strError);
    // From a catch handler: running or describing the results' statement failed. The provider's
    // message goes to the SQL error window (not for an XML document, nor for a stop); anything
    // else is reported under the procedure's name.
    void runFailed(const QString &procedure, const QString &statement);
    // Completes the lazy fetch of the results (hlTabulonGridOps.cpp); false when stopped or empty.
    // Throws a failure when an earlier stop cancelled the statement: the rest can never come.
    bool Fill_RecordSet();
    // The current row's cell of column lngCol in the notes window.
    bool Show_Cell(qint32 lngCol);
    // The results grid's event handlers (double click, header sort, scroll tip, current cell).
    void connectResultsGrid();
    // The parameter dialog for a routine with input parameters; false when it was cancelled.
    bool askParameters();

    // --- files (hlTabulonFiles.cpp) ---
    // The save dialog for the current view; on true the runner's file name is the chosen file.
    bool Get_SaveFileName(QString &strKind);

    // --- the query builder (hlTabulonQueryBuilder.cpp) ---
    void createQueryBuilderWindow();
    void frmQueryBuilder_QueryUnload();
    // Sets the results' recordset filter to the builder's conditions and the column-menu filter
    // (routines and XML documents) and binds the grid again.
    void applyInMemoryFilters();

    // --- the column menu (hlTabulonColumnMenu.cpp) ---
    void connectColumnMenu();
    // The menu, made with its connections on first use.
    ::qryMenu *columnMenu();
    // Right button: opens the menu on the cell under the mouse; any other button hides it.
    void grdResults_MouseUp(int button, int shift, int x, int y);
    // Runs the command picked on the menu's column.
    void qryMenu_ItemSelected(const QString &strItem);
    // Adds a condition on the results grid's current column (hlTabulonFilters.cpp); strValue is
    // rewritten with its wildcards as used. A typed value's * and % are wildcards (blnWildcards); a
    // picked cell's text is matched exactly, whatever it holds. False after a refusal the user was
    // shown, or a failure.
    bool Set_Filter(bool blnEqual, QString &strValue, bool blnWildcards);
    // Clears the column-menu filter and its history (asking first for a long one) and runs the
    // statement again; false when the user kept them, or on a failure.
    bool Remove_Filter();
    // Searches the current column for the whole value, case aside; false for an empty value.
    bool Find_Row(const QVariant &value);

    // --- printing (hlTabulonOutput.cpp) ---
    // Prints a grid through the printer dialog; false when the dialog was cancelled.
    bool printGrid(const grid::Grid &grid);
    bool printChart();

    // --- the set-up bars of the chart, summary and cross-tab views (views/hlTabulonPickers.cpp) ---
    void createPickers();
    // Fills the pickers from the field list and marks it loaded.
    bool Populate_Fields();
    // The pickers and the summary grid call back into the control; not once it is being destroyed.
    void releasePickers();
    void cboChartCol_Click(int index);
    void cboSumCol_Click(int index);
    void cboXTabCol_Click(int index);
    void txtSumValue_GotFocus(int index);
    // Passes keyAscii through the number-key filter; 0 swallows the key.
    void txtSumValue_KeyPress(int index, int &keyAscii);
    void txtSumValue_LostFocus(int index);
    // The aggregate statement of a picker bar; empty after a refusal or failure (reported).
    QString Get_SummarySQL(const PickerArray &picker);
    // The per-group sums and counts behind a bar's averages (throws on failure); its number box.
    QString Get_AveragePartsSQL(const PickerArray &picker);
    QLineEdit *pickerValueBox(const PickerArray &picker) const;
    // Opens a view's aggregate statement: on the control's connection, or for a routine or an XML
    // document the shaped command on the data-shaping connection of this refresh, laid out as a
    // grouped statement's result (groups first, then the aggregates). Throws.
    std::shared_ptr<db::Recordset> openAggregate(const QString &sql);
    // The provider's messages of the connection the last aggregate statement ran on.
    const std::vector<db::ProviderError> *aggregateErrors() const;

    // --- the summary view (views/hlTabulonSummary.cpp) ---
    bool Refresh_Summary();
    // Hides the rows holding the current cell's value in its column, or shows every row;
    // the totals follow the rows shown.
    bool Hide_SummaryRows(bool blnUnhide);
    QString Get_NumberFormat(qint32 lngType) const;
    void mnuSummarys_Click(int index);
    void connectSummaryGrid();
    // A view refresh's failure: the provider's message in the SQL error window, else reported
    // under the procedure's name; true when it was the user's stop, which is no failure.
    bool viewRefreshFailed(const QString &procedure, const QString &sql);

    // --- the cross-tab view (views/hlTabulonXTab.cpp) ---
    bool Refresh_XTab();
    void connectXTabGrid();
    // The pivot into the grid; with its totals and caption when whole. `turn` lets the event loop
    // run now and then.
    void writeXTab(const analysis::XTabPivot &pivot, bool withTotals, const std::function<void()> &turn);

    // --- the chart view (views/hlTabulonChart.cpp) ---
    void connectChart();
    // Fills, sorts, labels and shows the chart from the fetched aggregate rows; false when there
    // were none, the user stopped it or the options could not be applied.
    bool drawChartRows(analysis::ViewRefresh &refresh);
    // Orders the points by value as the options ask, within the refresh's frame (its progress bar
    // and Escape poll). False when stopped or failed.
    bool Sort_Chart(analysis::ViewRefresh &refresh);
    // Status panel 1 says when the chart is not drawn as asked (too many points, 3-D shown in 2-D).
    void showChartState();
    void chChart_KeyDown(int keyCode, int shift);
    void chChart_KeyUp(int keyCode, int shift);
    void chChart_MouseDown(int button, int shift, int x, int y);
    void chChart_MouseUp(int button, int shift, int x, int y);
    void chChart_PlotUpdated();
    void chChart_PointSelected(int series, int dataPoint);
    void sldChart_Change(int index);
    void loadChartSliders(double rotation, double elevation);
    void tlbChart_ButtonClick(const QString &key);

    // --- the frame, used by every part ---
    bool Init();
    void UserControl_Resize();
    bool Set_Grids();
    bool Set_MenuText();
    bool Check_SQL();
    bool Set_Delimiter();
    void resetSortCols();
    // Raises Faultdesk with the procedure's name and the text; false.
    bool report(const QString &procedure, const QString &description);
    // Runs a member's work and gives its answer (true for work that answers nothing). An exception
    // is reported under the procedure's name and gives false; `undo` first puts back what the work
    // left half done. Once the control was destroyed inside the work, nothing more runs.
    template <typename Body>
    bool trap(const QString &procedure, Body &&body)
    {
        return runTrapped(procedure, false, asStep(body), {});
    }
    template <typename Body, typename Undo>
    bool trap(const QString &procedure, Body &&body, Undo &&undo)
    {
        return runTrapped(procedure, false, asStep(body), undo);
    }
    // The same for the procedures whose failures go through reportRouted.
    template <typename Body>
    bool trapRouted(const QString &procedure, Body &&body)
    {
        return runTrapped(procedure, true, asStep(body), {});
    }
    template <typename Body, typename Undo>
    bool trapRouted(const QString &procedure, Body &&body, Undo &&undo)
    {
        return runTrapped(procedure, true, asStep(body), undo);
    }
    // The five procedures that report straight to the error object once routing is on.
    bool reportRouted(const QString &procedure, const QString &description);
    // Enables or disables a command's button.
    void setCommandEnabled(ui::KeyedToolBar *bar, const QString &key, bool on);
    // The view's SQL box, grid (nullptr for the chart) and splitter.
    QPlainTextEdit *sqlBox(tbView view) const;
    Splitter *splitter(tbView view) const;
    void hideColumnMenu();
    void startRunTimer();
    void stopRunTimer();
    // Orders the rows of a routine or XML result, held in memory, by the sort list.
    void sortRowsInMemory();
    // The control's own delimiter, as chosen at start-up.
    QString identifierDelimiter() const;
    tbDataType dataType() const;
    void setDataType(tbDataType type);

    // --- child controls (kept until the control is destroyed; the views' own made when first
    // needed, above) ---
    ui::KeyedToolBar *tlbMain = nullptr;
    ui::KeyedToolBar *tlbResults = nullptr;
    ViewPart<ui::KeyedToolBar> tlbChart{this};
    ViewPart<ui::KeyedToolBar> tlbChart2{this};
    ViewPart<ui::KeyedToolBar> tlbSummary{this};
    ViewPart<ui::KeyedToolBar> tlbSummary2{this};
    ViewPart<ui::KeyedToolBar> tlbXTab{this};
    ViewPart<ui::KeyedToolBar> tlbXTab2{this};
    Splitter *hlSplitResults = nullptr;
    ViewPart<Splitter> hlSplitChart{this};
    ViewPart<Splitter> hlSplitSummary{this};
    ViewPart<Splitter> hlSplitXTab{this};
    QPlainTextEdit *txtResultsSQL = nullptr;
    ViewPart<QPlainTextEdit> txtChartSQL{this};
    ViewPart<QPlainTextEdit> txtSummarySQL{this};
    ViewPart<QPlainTextEdit> txtXTabSQL{this};
    QPlainTextEdit *txtSQLError = nullptr;
    grid::Grid *grdResults = nullptr;
    ViewPart<chart::ChartView> chChart{this};
    ViewParts<std::array<QSlider *, 2>> sldChart{this};
    ui::StatusPanels *staStatus = nullptr;
    // The views' pickers: group columns 0-2, function 3, value column 4, operator 5; the number
    // boxes of the chart (0), summary (1) and cross-tab (2) bars; the bars' caption boxes.
    ViewParts<PickerArray> cboChartCol{this};
    ViewParts<std::array<QLineEdit *, 3>> txtSumValue{this};
    ViewParts<std::array<QLineEdit *, 3>> txtChart{this};
    ViewParts<std::array<QLineEdit *, 4>> txtSummary{this};
    ViewParts<std::array<QLineEdit *, 3>> txtXTab{this};
    ViewPart<QMenu> mnuSummary{this};
    QTimer *tmrPause = nullptr;
    QTimer *tmrRun = nullptr;
    QTimer *tmrEsc = nullptr;

    // The column pop-up menu, made when it first opens (columnMenu()); null until then.
    QPointer<::qryMenu> qryMenu;
    // Tool windows, each created when it is first shown (the query builder's stays empty until
    // that window is built).
    QPointer<QWidget> m_frmFind;
    QPointer<QWidget> m_frmDetails;
    QPointer<QWidget> m_frmNotes;
    QPointer<QWidget> m_frmSQLError;
    QPointer<QWidget> m_frmQueryBuilder;

    // --- per-control state ---
    // The statement, its results, filters, sort order and field list.
    std::unique_ptr<analysis::QueryRunner> m_query;
    std::shared_ptr<db::Recordset> m_rsChart;
    std::shared_ptr<db::Recordset> m_rsSummary;
    std::shared_ptr<db::Recordset> m_rsXTab;
    // The data-shaping connection of the running view refresh, and the routine call its
    // commands begin with (asked for once a refresh).
    std::shared_ptr<db::ShapeConnection> m_shape;
    QString m_strShapeHead;
    QString m_strDataSourceName;
    QString m_strSummaryStatus;
    QString m_strChartState; // what status panel 1 last said about how the chart is drawn
    // What the summary grid's totals are computed from, kept until the next refresh.
    std::unique_ptr<analysis::SummaryTotals> m_summaryTotals;
    QStringList m_strRecentFiles; // entries 1.. of the recent-files list, most recent first
    tbView m_intView = tbViewResults;
    qint32 m_lngChartMaxColumns = 1000;
    qint32 m_lngChartMaxLegend = 100;
    qint32 m_lngContainer = 0;
    qint32 m_lngMenuCol = -1; // the column the column menu was opened on
    bool m_blnAutoRun = false;
    bool m_blnOpenSQL = false;
    bool m_blnOpenXML = false;
    bool m_blnOptionsVisible = false;
    bool m_blnStatusBar = true;
    bool m_blnLoadedOK = false;
    bool m_blnResultsLoaded = false;
    bool m_blnFindNext = false;
    bool m_blnSQLEnabled = false;
    bool m_blnQBVisible = false;
    bool m_blnFindOpen = false;
    bool m_blnNotesOpen = false;
    bool m_blnDetailsOpen = false;
    bool m_blnChangingView = false;
    bool m_blnResizing = false;
    // The pickers a narrow bar shrank or moved: each with its own panel and its place there; and
    // whether a bar's pickers took more than one row.
    std::vector<std::tuple<QWidget *, QWidget *, QPoint>> m_pickersFitted;
    bool m_blnPickersWrapped = false;
    bool m_blnShowCount = false;
    bool m_blnHasRows = false;
    bool m_blnParse = false; // the Parse command: statements are checked, not run
    QDateTime m_datRunStart;

    // Ends this control's database waits: the cancel question's Yes, a close while busy. Current
    // during every long operation (OperationFrame) and the other calls that wait for the database.
    db::StopToken m_stop;

    // The other busy marks.
    bool m_blnSelecting = false;
    bool m_blnFinding = false;
    bool m_blnExporting = false;
    bool m_blnFetching = false;


    template <typename Body>
    static std::function<bool()> asStep(Body &body)
    {
        if constexpr (std::is_void_v<std::invoke_result_t<Body &>>)
            return [&body] {
                body();
                return true;
            };
        else
            return [&body] { return bool(body()); };
    }
    bool runTrapped(const QString &procedure, bool routed, const std::function<bool()> &body,
                    const std::function<void()> &undo);

    void createControls();
    void createToolbars();
    void tlbMain_ButtonClick(const QString &key);
    void tlbResults_ButtonClick(const QString &key);
    void tlbResults_ButtonMenuClick(const QString &buttonKey, const QString &itemKey, const QString &itemText);
    void splitterResized(tbView view);
    void txtResultsSQL_Change();
    void tmrRun_Timer();
    void tmrEsc_Timer();
    void placeBars(int width, int &top);
    void placeChartSliders();
    // Status panel 3: whether a filter narrows the results.
    void showFilterState();
    // The keyboard back on the current view's grid (its SQL box in the chart view), and the
    // control's window made the active one.
    void focusCurrentView();
    void showViewBars(tbView view);
    void showViewChrome(tbView view);
    void reportPendingSettingWarnings();
    void operationEnded();
    void finishPendingUnload();

    friend struct analysis::ControlAccess;
    analysis::ControlSteps *m_steps = nullptr;
    bool m_blnInitRun = false;       // Init runs once per control
    bool m_blnInitialising = false;  // no layout until Init has set everything up
    bool m_blnUnloaded = false;
    bool m_blnUnloadPending = false; // asked for while busy; runs when the operation ends
    bool m_blnAskingEsc = false;
    bool m_blnReadFailed = false;
    QStringList m_pendingSettingWarnings;
    quint64 m_escapeSeen = 0;
};
