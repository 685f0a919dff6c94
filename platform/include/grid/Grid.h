#pragma once

#include <tabulon/PlatformExport.h>

#include "grid/GridTypes.h"

#include <QCalendarWidget>
#include <QPixmap>
#include <QPointer>
#include <QVarLengthArray>
#include <QString>
#include <QValidator>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>
#include <set>
#include <vector>

class QKeyEvent;
class QModelIndex;

namespace db {
class Recordset;
}

namespace grid {

class GridModel;
class GridView;
class GridDelegate;
class GridHeader;

// The data grid of every window: a QTableView over our own model, speaking the vocabulary the
// program is written in. Rows count the fixed (header) rows at the top: row 0 is the header
// row, data rows are FixedRows to Rows - 1; columns are 0 to Cols - 1 (FixedCols of them fixed
// at the left). Sizes and positions are in twips, colours 0x00BBGGRR numbers.
//
// Two binding modes (DataMode): flexDMBound views a db::Recordset, fetching rows as the view or
// the code asks for them and copying nothing; flexDMFree (the default) copies the recordset's
// rows into the grid when DataSource is set. Without a recordset the grid holds what code puts
// into TextMatrix.
//
// Errors: the grid's members throw the GridError family (GridTypes.h): GridRangeError for a row or
// column out of range, GridArgumentError for a bad argument, GridError for a file or picture that
// cannot be written or read; the message names the member. The
// program calls the grid from procedures that trap their errors. A bound grid passes on the
// db::DbError of a fetch it was asked for (Row, TopRow beyond the rows fetched). Nothing throws
// out of the grid's own event handling (painting, mouse, keys, scrolling).
class PLATFORM_EXPORT Grid : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Rows READ Rows WRITE setRows)
    Q_PROPERTY(int Cols READ Cols WRITE setCols)
    Q_PROPERTY(int FixedRows READ FixedRows WRITE setFixedRows)
    Q_PROPERTY(int FixedCols READ FixedCols WRITE setFixedCols)
    Q_PROPERTY(int Row READ Row WRITE setRow)
    Q_PROPERTY(int Col READ Col WRITE setCol)
    Q_PROPERTY(int RowSel READ RowSel WRITE setRowSel)
    Q_PROPERTY(int ColSel READ ColSel WRITE setColSel)
    Q_PROPERTY(int TopRow READ TopRow WRITE setTopRow)
    Q_PROPERTY(int LeftCol READ LeftCol WRITE setLeftCol)
    Q_PROPERTY(int FrozenCols READ FrozenCols WRITE setFrozenCols)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(int Redraw READ Redraw WRITE setRedraw)
    Q_PROPERTY(int GridLines READ GridLines WRITE setGridLines)
    Q_PROPERTY(int GridLinesFixed READ GridLinesFixed WRITE setGridLinesFixed)
    Q_PROPERTY(int SelectionMode READ SelectionMode WRITE setSelectionMode)
    Q_PROPERTY(int ExplorerBar READ ExplorerBar WRITE setExplorerBar)
    Q_PROPERTY(int Editable READ Editable WRITE setEditable)
    Q_PROPERTY(int AllowUserResizing READ AllowUserResizing WRITE setAllowUserResizing)
    Q_PROPERTY(int MergeCells READ MergeCells WRITE setMergeCells)
    Q_PROPERTY(int DataMode READ DataMode WRITE setDataMode)
    Q_PROPERTY(int WallPaperAlignment READ WallPaperAlignment WRITE setWallPaperAlignment)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(quint32 BackColorAlternate READ BackColorAlternate WRITE setBackColorAlternate)
    Q_PROPERTY(quint32 BackColorFixed READ BackColorFixed WRITE setBackColorFixed)
    Q_PROPERTY(quint32 ForeColorFixed READ ForeColorFixed WRITE setForeColorFixed)
    Q_PROPERTY(quint32 BackColorSel READ BackColorSel WRITE setBackColorSel)
    Q_PROPERTY(quint32 ForeColorSel READ ForeColorSel WRITE setForeColorSel)
    Q_PROPERTY(quint32 GridColor READ GridColor WRITE setGridColor)
    Q_PROPERTY(bool ScrollTips READ ScrollTips WRITE setScrollTips)
    Q_PROPERTY(QString ScrollTipText READ ScrollTipText WRITE setScrollTipText)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE setToolTipText)
    Q_PROPERTY(QString ComboList READ ComboList WRITE setComboList)
    Q_PROPERTY(int ComboIndex READ ComboIndex WRITE setComboIndex)
    Q_PROPERTY(QString EditText READ EditText WRITE setEditText)
    Q_PROPERTY(int EditMaxLength READ EditMaxLength WRITE setEditMaxLength)
    Q_PROPERTY(int MouseRow READ MouseRow)
    Q_PROPERTY(int MouseCol READ MouseCol)

public:
    explicit Grid(QWidget *parent = nullptr);
    ~Grid() override;

    // --- shape ---
    int Rows() const;
    void setRows(int rows);
    int Cols() const;
    void setCols(int cols);
    int FixedRows() const;
    void setFixedRows(int rows);
    int FixedCols() const;
    void setFixedCols(int cols);

    // --- cells ---
    // The text as shown (ColFormat applied to numbers of data rows); setting stores it as given.
    Q_INVOKABLE QString TextMatrix(int row, int col) const;
    Q_INVOKABLE void setTextMatrix(int row, int col, const QString &text);
    // TextMatrix(row, col) appended to out in UTF-8; a bound row's cell is formatted straight
    // from the row store, without a QString.
    void appendTextMatrixUtf8(int row, int col, QByteArray &out) const;
    QString Text() const; // the current cell
    void setText(const QString &text);
    // The number a cell holds (0 when none; a ticked Boolean is -1).
    Q_INVOKABLE double ValueMatrix(int row, int col) const;
    // True for a Null of a bound recordset or a cell never given a value.
    Q_INVOKABLE bool IsNullMatrix(int row, int col) const;
    // The recordset record a data row shows, 0-based, whether the grid views the recordset or
    // copied its rows (and sorted them since); -1 for a row of no recordset.
    Q_INVOKABLE long long RecordIndex(int row) const;
    // A property of a cell, or of a range (r2/c2 -1: the same as r1/c1; r1 -1: the selection).
    // Reading a range reads its first cell.
    Q_INVOKABLE QVariant Cell(int property, int r1 = -1, int c1 = -1, int r2 = -1, int c2 = -1) const;
    Q_INVOKABLE void setCell(int property, int r1, int c1, int r2, int c2, const QVariant &value);
    void setCell(int property, int row, int col, const QVariant &value) { setCell(property, row, col, row, col, value); }
    // Adds a row (cells separated by tabs) before `index`, or at the end when index is -1.
    Q_INVOKABLE void AddItem(const QString &item, int index = -1);
    Q_INVOKABLE void RemoveItem(int index = -1);
    // where: 0 everywhere, 1 fixed cells, 2 data cells; what: 0 texts and styles, 1 styles, 2 texts.
    Q_INVOKABLE void Clear(int where = 0, int what = 0);

    // --- cursor and selection ---
    int Row() const;
    void setRow(int row); // also collapses RowSel; beyond the rows fetched, fetches up to it
    int Col() const;
    void setCol(int col); // also collapses ColSel
    int RowSel() const;
    void setRowSel(int row);
    int ColSel() const;
    void setColSel(int col);
    Q_INVOKABLE void Select(int row, int col, int rowSel = -1, int colSel = -1);
    // The selection normalised (r1 <= r2, c1 <= c2); all -1 when there is no current cell.
    void GetSelection(int &r1, int &c1, int &r2, int &c2) const;
    int SelectionMode() const { return m_selectionMode; }
    void setSelectionMode(int mode);
    Q_INVOKABLE bool IsSelected(int row) const;
    Q_INVOKABLE void setIsSelected(int row, bool selected); // list-box mode
    Q_INVOKABLE int SelectedRows() const;
    Q_INVOKABLE int SelectedRow(int index) const;
    Q_INVOKABLE void SelectAll(); // every data cell
    // The code selected from the first data row down to the last one (a whole column, select
    // all). Rows a bound grid receives afterwards join such a selection, since they arrive on
    // their own: a selection read later still means every row, not those held when it was made.
    // A selection the user drags or keys is left as made.
    bool selectsEveryRow() const { return m_everyRow; }
    int TopRow() const;
    void setTopRow(int row);
    int LeftCol() const;
    void setLeftCol(int col);
    Q_INVOKABLE int BottomRow() const;
    Q_INVOKABLE int RightCol() const;
    Q_INVOKABLE void ShowCell(int row, int col);
    // Scrolls a cell the user was sent to (a find) into view away from the edges, where it is
    // seen at once; one in view with rows to spare around it stays where it is.
    void ShowCellWellInView(int row, int col);
    // The current cell is drawn in the selection colours while the grid has not the focus (it
    // otherwise has no mark then): for grids whose current cell another window moves.
    bool CursorShownWithoutFocus() const { return m_cursorShownWithoutFocus; }
    void setCursorShownWithoutFocus(bool shown);
    // The current cell's rectangle relative to the grid, twips (to place a picker under it).
    Q_INVOKABLE int CellLeft() const;
    Q_INVOKABLE int CellTop() const;
    Q_INVOKABLE int CellWidth() const;
    Q_INVOKABLE int CellHeight() const;
    int MouseRow() const { return m_mouseRow; }
    int MouseCol() const { return m_mouseCol; }

    // --- rows and columns ---
    Q_INVOKABLE bool ColHidden(int col) const;
    Q_INVOKABLE void setColHidden(int col, bool hidden);
    Q_INVOKABLE bool RowHidden(int row) const;
    Q_INVOKABLE void setRowHidden(int row, bool hidden);
    Q_INVOKABLE int ColWidth(int col) const;          // twips
    Q_INVOKABLE void setColWidth(int col, int twips); // -1: the default width
    Q_INVOKABLE int RowHeight(int row) const;         // twips; every row has the same height
    Q_INVOKABLE void setRowHeight(int row, int twips); // sets the height of all rows
    Q_INVOKABLE int ColPos(int col) const;            // left edge relative to the grid, twips
    Q_INVOKABLE int RowPos(int row) const;            // top edge relative to the grid, twips
    // Moves column `col` to `position`, cells and settings with it.
    Q_INVOKABLE void setColPosition(int col, int position);
    int FrozenCols() const { return m_frozenCols; }
    void setFrozenCols(int cols);
    // Sizes columns col1..col2 to their contents plus extraSpace twips. A bound result still
    // arriving is measured on the rows on screen (a new one on its first screen); other large
    // grids are sampled (AutoSizeSampleRows rows: the first, those on screen and the last), so
    // this is cheap on a million rows; equal gives every column the widest width.
    // In a bound grid a number or date column sized so (not equal) later grows, never shrinks,
    // to show whole the rows that come into view unmeasured, until a width is set for it by code
    // or by hand, or it is hidden.
    Q_INVOKABLE void AutoSize(int col1, int col2 = -1, bool equal = false, int extraSpace = 0);
    void setAutoSizeSampleRows(int rows) { m_autoSizeSample = rows < 1 ? 1 : rows; }

    Q_INVOKABLE int ColDataType(int col) const;
    Q_INVOKABLE void setColDataType(int col, int type);
    Q_INVOKABLE QString ColFormat(int col) const;
    Q_INVOKABLE void setColFormat(int col, const QString &format);
    Q_INVOKABLE int ColAlignment(int col) const;
    Q_INVOKABLE void setColAlignment(int col, int alignment);
    Q_INVOKABLE int FixedAlignment(int col) const;
    Q_INVOKABLE void setFixedAlignment(int col, int alignment);
    Q_INVOKABLE QString ColComboList(int col) const;
    Q_INVOKABLE void setColComboList(int col, const QString &list);
    Q_INVOKABLE QString ColKey(int col) const;
    Q_INVOKABLE void setColKey(int col, const QString &key);
    Q_INVOKABLE int ColIndex(const QString &key) const; // -1 when no column has the key
    Q_INVOKABLE int ColSort(int col) const;
    Q_INVOKABLE void setColSort(int col, int order);
    Q_INVOKABLE bool MergeCol(int col) const;
    Q_INVOKABLE void setMergeCol(int col, bool merge);
    Q_INVOKABLE bool MergeRow(int row) const;
    Q_INVOKABLE void setMergeRow(int row, bool merge);
    int MergeCells() const;
    void setMergeCells(int mode);

    // --- subtotals and aggregates (subtotal rows are skipped by both) ---
    // Inserts a row after every group of equal values in columns matchFrom..groupOn (groupOn -1:
    // one grand-total row at the end) holding `function` of column totalOn. Called again for the
    // same groupOn it fills the rows made before, so several columns can be totalled.
    Q_INVOKABLE void Subtotal(int function, int groupOn = -1, int totalOn = 0, const QString &format = {},
                              quint32 backColor = NoColor, quint32 foreColor = NoColor, bool fontBold = false,
                              const QString &caption = {}, int matchFrom = -1);
    Q_INVOKABLE double Aggregate(int function, int r1, int c1, int r2, int c2) const;
    Q_INVOKABLE bool IsSubtotal(int row) const;
    Q_INVOKABLE int RowOutlineLevel(int row) const; // the column a subtotal row groups on, -1 grand total

    // --- sorting ---
    // Sorts the data rows by the columns Col..ColSel with one SortSettings order (the Sort
    // property); subtotal rows stay in place. A bound grid sorts its recordset (all rows fetched).
    Q_INVOKABLE void setSort(int order);
    // Several columns, each with its own order, the first the most significant; with pictures
    // true the header shows each column's sort picture.
    void SortByColumns(const std::vector<std::pair<int, int>> &keys, bool pictures = true);
    int ExplorerBar() const { return m_explorerBar; }
    void setExplorerBar(int settings) { m_explorerBar = settings; }
    // The picture of a header cell for a sort order (flexSortGenericAscending/Descending), or
    // clears it with flexSortNone.
    Q_INVOKABLE void setColSortPicture(int col, int order);
    Q_INVOKABLE int ColSortPicture(int col) const;
    static QPixmap sortPicture(int order);

    // --- editing ---
    int Editable() const { return m_editable; }
    void setEditable(int settings);
    // The list of the edit being started (set it in BeforeEdit): "" free text, "a|b" a fixed
    // list, "|a|b" an editable list, "..." a text box with a button raising CellButtonClick.
    QString ComboList() const { return m_comboList; }
    void setComboList(const QString &list)
    {
        m_comboList = list;
        m_comboItemsGiven = false;
    }
    // The same list given as entries, so that an entry may hold "|"; editable lets other text be
    // typed. An empty list of entries is a plain text box.
    void setComboItems(const QStringList &items, bool editable);
    // The entries of the list of the edit being started, whichever way it was given; whether
    // text other than an entry may be typed.
    QStringList comboEntries() const;
    bool comboEditable() const;
    int ComboIndex() const;
    void setComboIndex(int index);
    Q_INVOKABLE int ComboCount() const;
    Q_INVOKABLE QString ComboItem(int index) const;
    QString EditText() const;
    void setEditText(const QString &text);
    int EditMaxLength() const { return m_editMaxLength; }
    void setEditMaxLength(int length) { m_editMaxLength = length < 0 ? 0 : length; }
    // A validator for the text box of the edit being started (set it in BeforeEdit, like
    // ComboList); it refuses typed and pasted text alike. Not owned; nullptr for none.
    const QValidator *EditValidator() const { return m_editValidator.data(); }
    void setEditValidator(const QValidator *validator) { m_editValidator = validator; }
    // Starts editing the current cell (BeforeEdit may refuse).
    Q_INVOKABLE void EditCell();
    Q_INVOKABLE bool isEditing() const;
    // Ends the edit: stores the text (ValidateEdit may refuse) or drops it.
    Q_INVOKABLE void FinishEditing(bool cancel = false);
    QWidget *editor() const;
    // A calendar under the cell, opened on the cell's date or today; a clicked date is written
    // into the cell in dateFormat (classic pattern) and raises AfterEdit. It closes without
    // writing on Escape, when the focus goes elsewhere and when rows are added or removed, so a
    // date never lands in a row other than the one it was opened for.
    QCalendarWidget *ShowDatePicker(int row, int col, const QString &dateFormat = QStringLiteral("dd/mm/yyyy"));
    QCalendarWidget *datePicker() const;
    void HideDatePicker();

    // --- appearance ---
    int Redraw() const { return m_redraw; }
    void setRedraw(int redraw); // 0 off; anything else on
    int GridLines() const { return m_gridLines; }
    void setGridLines(int style);
    int GridLinesFixed() const { return m_gridLinesFixed; }
    void setGridLinesFixed(int style);
    quint32 GridColor() const { return m_gridColor; }
    void setGridColor(quint32 color);
    quint32 BackColor() const { return m_backColor; }
    void setBackColor(quint32 color);
    quint32 ForeColor() const { return m_foreColor; }
    void setForeColor(quint32 color);
    // 0 (or NoColor) means no alternate colour, as the stored options use it.
    quint32 BackColorAlternate() const { return m_backColorAlternate; }
    void setBackColorAlternate(quint32 color);
    quint32 BackColorFixed() const { return m_backColorFixed; }
    void setBackColorFixed(quint32 color);
    quint32 ForeColorFixed() const { return m_foreColorFixed; }
    void setForeColorFixed(quint32 color);
    quint32 BackColorSel() const { return m_backColorSel; }
    void setBackColorSel(quint32 color);
    quint32 ForeColorSel() const { return m_foreColorSel; }
    void setForeColorSel(quint32 color);
    QPixmap WallPaper() const { return m_wallPaper; }
    void setWallPaper(const QPixmap &picture);
    // Loads the wallpaper from a file; an empty path removes it. Throws GridError for a file
    // that holds no readable picture (the wallpaper stays as it was).
    Q_INVOKABLE void LoadWallPaper(const QString &path);
    int WallPaperAlignment() const { return m_wallPaperAlignment; }
    void setWallPaperAlignment(int alignment);
    int AllowUserResizing() const { return m_allowUserResizing; }
    void setAllowUserResizing(int settings);
    bool ScrollTips() const { return m_scrollTips; }
    void setScrollTips(bool on) { m_scrollTips = on; }
    QString ScrollTipText() const { return m_scrollTipText; }
    void setScrollTipText(const QString &text) { m_scrollTipText = text; }
    QString ToolTipText() const;
    void setToolTipText(const QString &text);

    // --- binding ---
    int DataMode() const { return m_dataMode; }
    void setDataMode(int mode);
    std::shared_ptr<db::Recordset> DataSource() const { return m_source; }
    // Binds (or, with nullptr, unbinds, keeping the header row) as DataMode says.
    void setDataSource(const std::shared_ptr<db::Recordset> &recordset);
    // Copies a recordset's rows into the grid whatever DataMode says.
    void CopyFrom(const std::shared_ptr<db::Recordset> &recordset);
    // The same for the rows already fetched, their first `columns` fields only (every field when
    // -1), asking keepGoing between rows so that a long copy can turn the event loop and stop.
    // A stop keeps the rows copied so far and returns false.
    bool CopyFrom(const std::shared_ptr<db::Recordset> &recordset, int columns, const std::function<bool()> &keepGoing);
    // Asked between rows by Subtotal over many rows, so that the caller can turn the event loop
    // (none by default; an empty function clears it). False stops that Subtotal, which leaves
    // the rows as they were before it.
    void setBetweenRows(std::function<bool()> keepGoing);
    // Rows fetched per step while the view scrolls.
    int FetchChunk() const;
    void setFetchChunk(int rows);

    // --- find, copy ---
    // First row from startRow (FixedRows when -1) whose cell in col holds text (the whole text with
    // fullMatch, else containing it); hidden rows are skipped; a bound grid fetches as it goes.
    Q_INVOKABLE int FindRow(const QString &text, int startRow = -1, int col = 0, bool caseSensitive = false,
                            bool fullMatch = true);
    // The selection as tab-separated lines, hidden rows and columns left out.
    Q_INVOKABLE QString Clip() const;

    // --- files (GridFile.cpp) ---
    // Writes the grid's own UTF-8 file (see platform/README.md) atomically; throws GridError.
    Q_INVOKABLE void SaveGrid(const QString &path, int what = flexFileAll) const;
    // Reads such a file; a foreign or malformed file throws GridError and changes nothing.
    Q_INVOKABLE void LoadGrid(const QString &path, int what = flexFileAll);

    // --- printing ---
    // Prints on the process-wide printer, after its set-up dialog when showDialog is true
    // (false when the user cancels). orientation 1 portrait, 2 landscape, 0 as set up; margins twips.
    Q_INVOKABLE bool PrintGrid(const QString &docName = {}, bool showDialog = false, int orientation = 0,
                               int marginLR = 720, int marginTB = 720);

    // For the views, the printer and tests.
    GridModel *model() const { return m_model; }
    GridView *view() const { return m_view; }
    GridView *frozenView() const; // made on first use
    // Passes the column headers' events through `filter` first (QObject::installEventFilter), the
    // frozen view's header too once it is made.
    void installHeaderEventFilter(QObject *filter);
    int frozenCount() const;  // FixedCols + FrozenCols, at most Cols
    int rowHeightPx() const { return m_rowHeightPx; }
    QColor color(quint32 value) const;
    bool isCursorCell(int row, int col) const;
    bool isCellSelected(int row, int col) const;
    // Sets a check-box cell as a click would (BeforeEdit, ValidateEdit, AfterEdit).
    void toggleCheck(int row, int col);

signals:
    void RowColChange();
    void EnterCell();
    void LeaveCell();
    void SelChange();
    void BeforeSort(int col, int &order); // order 0 cancels the grid's sort
    void AfterSort(int col, int order);
    void BeforeScroll(int oldTopRow, int oldLeftCol);
    void AfterScroll(int oldTopRow, int oldLeftCol, int newTopRow, int newLeftCol);
    void BeforeScrollTip(int row); // set ScrollTipText here
    void Click();
    void DblClick();
    void MouseDown(int button, int shift, int x, int y); // x, y in twips from the grid's top left
    void MouseUp(int button, int shift, int x, int y);
    void MouseMove(int button, int shift, int x, int y);
    // Key hooks: a handler may change the code, or set it to 0 to swallow the key.
    void KeyDown(int &keyCode, int shift);
    void KeyPress(int &keyAscii);
    void KeyUp(int &keyCode, int shift);
    void KeyDownEdit(int row, int col, int &keyCode, int shift);
    void KeyPressEdit(int row, int col, int &keyAscii);
    void KeyUpEdit(int row, int col, int &keyCode, int shift);
    void BeforeEdit(int row, int col, bool &cancel);
    void StartEdit(int row, int col, bool &cancel);
    void ValidateEdit(int row, int col, bool &cancel); // cancel drops the typed text
    void AfterEdit(int row, int col);
    void ChangeEdit();
    void CellButtonClick(int row, int col);
    void ComboCloseUp(int row, int col, bool &finishEdit);
    void GotFocus();
    void LostFocus();
    void RowsFetched(int rows); // a bound grid received rows; Rows is the new count
    // A bound grid's recordset failed part-way while the view was fetching rows; once per
    // binding. The rows shown are not the whole result.
    void FetchError(const QString &description);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class GridView;
    friend class GridDelegate;
    friend class GridHeader;

    // view side
    void updateModelLook(); // the colours and font the model's roles fall back to
    void applyColumnLayout();
    // The layout held back while Redraw was off, done now (before anything reads the view's geometry).
    void settleLayout() const;
    void applyHiddenRows();
    void applyRowHeight();
    void applySelectionMode();
    void applyEditTriggers();
    void setUpView(GridView *v);
    void createFrozenView();
    // The views there are: the main one, and the frozen one once made.
    QVarLengthArray<GridView *, 2> views() const;
    // Gives the frozen view the model, or takes it away, as columns are frozen or no longer.
    void attachFrozenModel(bool attach);
    void updateFrozenGeometry();
    void syncSelectionToView();
    void syncSelectionFromView();
    void afterStructureChange();
    // The rows in view that the auto-sized columns were not measured on, measured now (before
    // they are painted), those columns widened to show their numbers and dates whole.
    void fitRowsInView();
    void fitRows(int top, int bottom);
    void addFittedRows(int first, int last);
    void updateGrowing();
    void rowsAppended(int before); // a bound grid's rows grew from `before`
    // Fetches a bound grid's rows up to `row` and lays the views out for them, so a scroll reaches them.
    void fetchTo(int row);
    void setCursor(int row, int col, int rowSel, int colSel, bool emitEvents = true);
    int visibleColumnNear(int col) const;
    QModelIndex indexOf(int row, int col) const;
    int gridX(QWidget *from, int x) const;
    int gridY(QWidget *from, int y) const;
    void trackMouse(QWidget *from, const QPoint &pos, bool header, int fixedRow);
    int twipsX(int px) const;
    int twipsY(int px) const;
    int pixelsX(int twips) const;
    int pixelsY(int twips) const;
    int defaultColumnWidthPx() const;

    // editing
    bool beginEdit(const QModelIndex &index, GridView *view);
    void editorCreated(QWidget *editor, int row, int col);
    bool commitEdit(int row, int col, const QString &text);
    void editorClosed(QWidget *editor);
    void comboActivated(int index);
    void cellButtonClicked();
    bool editorKey(QObject *watched, QEvent *event);
    // 0 pass the key on, 1 swallowed, 2 pass `replacement` on instead
    int gridKey(QKeyEvent *event, bool press, QString *replacement);
    void headerClicked(int fixedRow, int col, Qt::KeyboardModifiers modifiers);
    void sortAndShow(const std::vector<std::pair<int, int>> &keys, bool pictures);


    GridModel *m_model = nullptr;
    GridView *m_view = nullptr;
    GridView *m_frozen = nullptr;
    std::vector<QPointer<QObject>> m_headerFilters; // for the frozen view's header when it is made
    GridDelegate *m_delegate = nullptr;
    std::shared_ptr<db::Recordset> m_source;

    int m_row = -1, m_col = -1, m_rowSel = -1, m_colSel = -1;
    std::set<int> m_listSelected; // list-box mode: selected rows
    bool m_everyRow = false;       // see selectsEveryRow
    bool m_syncing = false;
    bool m_copying = false; // CopyFrom is appending its rows
    int m_selectionMode = flexSelectionFree;
    int m_mouseRow = -1, m_mouseCol = -1;
    int m_pressRow = -1, m_pressCol = -1; // cell under the last button press
    int m_frozenCols = 0;
    bool m_cursorShownWithoutFocus = false;
    int m_autoSizeSample = 1000;
    // Bound grids: the data rows every growing auto-sized column fits (sorted, disjoint, inclusive).
    std::vector<std::pair<int, int>> m_fittedRows;
    bool m_growing = false; // a bound grid with a column that grows (ColumnInfo::autoPadPx)
    bool m_fitting = false;
    bool m_fitAgain = false;
    int m_rowHeightPx = 0;
    bool m_rowHeightSet = false;

    int m_explorerBar = flexExNone;
    std::vector<std::pair<int, int>> m_sortKeys; // the header-click sort in force
    int m_editable = flexEDNone;
    QString m_comboList;
    QStringList m_comboItems;
    bool m_comboItemsGiven = false;
    bool m_comboItemsEditable = false;
    int m_editMaxLength = 0;
    QPointer<const QValidator> m_editValidator;
    QPointer<QWidget> m_editor;
    QPointer<GridView> m_editView;
    int m_editRow = -1, m_editCol = -1;
    bool m_editCommitted = false;
    bool m_editCancelled = false;
    int m_comboCloseIndex = -1;
    bool m_inCloseUp = false;
    QPointer<QCalendarWidget> m_datePicker;
    QString m_datePickerFormat;
    int m_datePickerRow = -1, m_datePickerCol = -1;

    int m_redraw = 1;
    mutable bool m_relayoutPending = false; // laid out with Redraw off: the view's turn comes later
    int m_gridLines = flexGridFlat;
    int m_gridLinesFixed = flexGridInset;
    quint32 m_gridColor = 0xC0C0C0;
    quint32 m_backColor = 0xFFFFFF;
    quint32 m_foreColor = 0x000000;
    quint32 m_backColorAlternate = 0;
    quint32 m_backColorFixed = 0x8000000F;
    quint32 m_foreColorFixed = 0x80000012;
    quint32 m_backColorSel = 0x8000000D;
    quint32 m_foreColorSel = 0x8000000E;
    QPixmap m_wallPaper;
    int m_wallPaperAlignment = flexPicAlignTile;
    int m_allowUserResizing = flexResizeColumns;
    bool m_scrollTips = false;
    QString m_scrollTipText;
    int m_dataMode = flexDMFree;
    bool m_hadFocus = false;
    int m_lastTop = -1, m_lastLeft = -1;
};

} // namespace grid
