#pragma once

#include <tabulon/PlatformExport.h>

#include "grid/GridTypes.h"

#include <QAbstractTableModel>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QVariant>

#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace db {
class Recordset;
}

namespace grid {

struct CellLook;

// What a cell may carry beyond its text. Unset members fall back to the row's style, then to
// the column and the grid.
struct CellStyle {
    quint32 backColor = NoColor;
    quint32 foreColor = NoColor;
    int alignment = -1;
    qint8 bold = -1, italic = -1, underline = -1, strikeout = -1;
    QString fontName;
    double fontSize = 0;
    QVariant picture;
    int pictureAlignment = flexPicAlignRightCenter;

    bool isEmpty() const;
    // Members set in `over` win.
    void mergeFrom(const CellStyle &over);
};

struct ColumnInfo {
    int widthPx = -1; // -1: the grid's default width
    // Sized by AutoSize: the room it gave beside the widest text (pixels); -1 when the width was
    // set otherwise (by code, by the user, or the column hidden). A bound grid grows such columns.
    int autoPadPx = -1;
    bool hidden = false;
    int dataType = flexDTEmpty;
    QString format;
    int alignment = flexAlignGeneral;
    int fixedAlignment = -1; // header cells; -1 left centre
    QString comboList;
    bool merge = false;
    int colSort = flexSortGenericAscending;
    QString key;
    int field = -1; // bound: the recordset field shown in this column
    bool fromRecordset = false; // filled from a recordset (bound or copied): its empty cells are Nulls
    int sortPicture = flexSortNone; // the sort picture shown in its header
};

struct RowRecord {
    std::vector<QString> cells; // shorter than Cols means empty cells at the end
    std::unique_ptr<std::vector<CellStyle>> styles;
    // Subtotal rows: colours and bold of the whole row; held apart, as most rows have none and a
    // summary of many groups holds millions of rows.
    std::shared_ptr<const CellStyle> rowStyle; // shared by the rows one Subtotal made
    bool hidden = false;
    bool subtotal = false;
    bool merge = false;          // MergeRow
    int level = 0;               // subtotal rows: the column grouped on, -1 for grand totals
    long long source = -1;       // a row copied from a recordset: its index there (kept through sorts)
};

// Roles the grid's model serves beyond Qt's own (display, edit, font, background, foreground,
// text alignment, check state, decoration).
enum GridRole : int {
    PictureAlignmentRole = Qt::UserRole + 1, // PictureAlignmentSettings of the decoration
    NumberRole,                              // bool: the cell shows a number ("###" when too narrow)
};

// The grid-wide settings a cell's roles fall back to: colours as 0x00BBGGRR numbers or system
// colours resolved against the palette. The grid keeps them current.
struct GridLook {
    QFont font;
    QPalette palette;
    quint32 backColor = 0xFFFFFF;
    quint32 foreColor = 0x000000;
    quint32 backColorAlternate = 0; // 0 or NoColor: none
    quint32 backColorFixed = 0x8000000F;
    quint32 foreColorFixed = 0x80000012;
};

// The grid's cells for both binding modes. Grid rows count the fixed rows; the Qt model shows
// the data rows only (model row = grid row - FixedRows), the fixed rows being painted by the
// header. Bound (DataMode 4): data rows are read from the recordset, nothing copied; attributes
// of bound rows are kept sparsely. Unbound: every row is a RowRecord.
class PLATFORM_EXPORT GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject *parent = nullptr);
    ~GridModel() override;

    // --- QAbstractTableModel ---
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    // A data cell's roles; a cell showing the grid's own background has no BackgroundRole, and a
    // cell with a check box shows no text whatever its DisplayRole.
    QVariant data(const QModelIndex &index, int role) const override;
    QMap<int, QVariant> itemData(const QModelIndex &index) const override;
    void multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    // The same roles for any grid cell, fixed rows included (the header and the printer read
    // those); several roles at once work the cell out once.
    QVariant cellData(int r, int c, int role) const;
    void cellMultiData(int r, int c, QModelRoleDataSpan roleDataSpan) const;
    // The look those roles give a cell, worked out without a QVariant for each role: painters
    // ask it of every cell on screen.
    void cellLook(int r, int c, CellLook &look) const;
    const GridLook &look() const { return m_look; }
    void setLook(const GridLook &look);

    // --- shape (grid rows include the fixed rows) ---
    int rows() const;
    int cols() const { return int(m_cols.size()); }
    int fixedRows() const { return m_fixedRows; }
    int fixedCols() const { return m_fixedCols; }
    void setRows(int n);
    void setCols(int n);
    void setFixedRows(int n);
    void setFixedCols(int n);
    void insertRow(int at, const QStringList &cells); // at == rows(): append
    void removeRow(int r);
    void moveColumn(int from, int to);
    void clear(bool texts, bool styles, bool fixedToo, bool dataToo);
    // Replaces every row at once (LoadGrid); column settings are kept for columns that remain.
    void replaceAll(int cols, int fixedRows, int fixedCols, std::vector<RowRecord> rows);

    // --- cells ---
    QString rawText(int r, int c) const;
    QString displayText(int r, int c) const;
    bool isNull(int r, int c) const;
    // rawText in UTF-8 for the writers: a bound row's cell straight from the row store (in place
    // or formatted into buf, 64 bytes), a held cell converted into scratch. *null: a Null cell.
    std::string_view rawUtf8(int r, int c, char *buf, QByteArray &scratch, bool *null) const;
    double value(int r, int c) const; // 0 for text that is not a number; Booleans -1/0
    void setText(int r, int c, const QString &text);
    const CellStyle *cellStyle(int r, int c) const; // nullptr when none
    CellStyle &cellStyleRef(int r, int c);
    CellStyle effectiveStyle(int r, int c) const;   // row style with the cell's on top

    ColumnInfo &column(int c) { return m_cols[std::size_t(c)]; }
    const ColumnInfo &column(int c) const { return m_cols[std::size_t(c)]; }

    bool rowHidden(int r) const;
    void setRowHidden(int r, bool hidden);
    // False when no held row can be hidden: rows copied from a recordset start shown, and only
    // RowHidden or LoadGrid hide one.
    bool rowsMayBeHidden() const { return m_rowsMayHide; }
    bool isSubtotal(int r) const;
    int rowLevel(int r) const;
    bool rowMerge(int r) const;
    void setRowMerge(int r, bool on);

    // --- redraw switch: while off, cell changes are not announced to the views ---
    bool redraw() const { return m_redraw; }
    void setRedraw(bool on);

    // --- binding ---
    bool isBound() const { return bool(m_rs); }
    // The recordset row a data row shows (bound, or copied from one), -1 for none.
    long long recordIndex(int r) const;
    const std::shared_ptr<db::Recordset> &recordset() const { return m_rs; }
    // DataMode 4: a live view; DataMode 0: the rows are copied and the grid is unbound after.
    void bind(const std::shared_ptr<db::Recordset> &rs, int dataMode);
    // Copies the fetched rows' first `columns` fields (every field when -1), asking keepGoing
    // between slices of rows, which the views are told of one by one; a stop keeps the rows
    // copied so far and returns false.
    bool copyFrom(const std::shared_ptr<db::Recordset> &rs, int columns, const std::function<bool()> &keepGoing);
    void unbind(); // keeps the fixed rows, drops the data rows
    // Announces rows the recordset has fetched since; returns the data rows now known.
    std::size_t syncBound();
    // Makes grid row r available, fetching as needed; false when the result has no such row.
    bool ensureRow(int r);
    int fetchChunk() const { return m_fetchChunk; }
    void setFetchChunk(int n) { m_fetchChunk = n < 1 ? 1 : n; }
    // Why the bound recordset stopped delivering rows part-way; empty while it has not.
    QString lastError() const;

    // Asked between rows by long operations on the held rows (subtotals), so that their caller
    // can turn the event loop; false stops the operation, leaving the rows as they were before
    // it. None by default.
    void setBetweenRows(std::function<bool()> keepGoing) { m_betweenRows = std::move(keepGoing); }

    // --- merging ---
    int mergeCells() const { return m_mergeCells; }
    void setMergeCells(int mode) { m_mergeCells = mode; }
    bool mergesWithAbove(int r, int c) const; // data rows and fixed rows alike
    bool mergesWithLeft(int r, int c) const;

    // --- operations on the data rows (GridOps.cpp) ---
    struct SortKey {
        int col;
        int order; // SortSettings, not flexSortUseColSort
    };
    void sortRows(const std::vector<SortKey> &keys);
    void subtotal(int function, int groupOn, int totalOn, const QString &format, quint32 backColor,
                  quint32 foreColor, bool bold, const QString &caption, int matchFrom);
    double aggregate(int function, int r1, int c1, int r2, int c2) const;

    // Checks used by every member taking an index.
    void checkRow(int r, const char *member) const;
    void checkCol(int c, const char *member) const;

signals:
    void fixedCellsChanged();                    // the header must repaint
    void rowHiddenChanged(int gridRow, bool hidden);
    void layoutRebuilt();                        // after a reset: re-apply hidden rows and columns
    void rowsArrived();                          // bound rows fetched
    // The bound recordset's fetch failed (not cancelled); once per binding. Rows stop there and
    // canFetchMore() says no more.
    void fetchFailed(const QString &message);

private:
    RowRecord *record(int r);
    const RowRecord *record(int r) const;
    int dataRows() const;
    void announce(int r, int c);
    void resetWith(std::vector<RowRecord> rows);
    QString boundText(int r, int c) const;
    void follow(const std::shared_ptr<db::Recordset> &rs); // rows and failures as they arrive
    void dropBinding(); // inside a model reset: no recordset, no bound-row state, no column fields
    void feedFailed();

    GridLook m_look;
    std::vector<RowRecord> m_rows; // unbound: all rows; bound: the fixed rows only
    std::vector<RowRecord> m_spareRows; // empty: the room the last Subtotal pass let go of
    std::vector<ColumnInfo> m_cols;
    int m_fixedRows = 1;
    int m_fixedCols = 0;
    int m_mergeCells = flexMergeNever;
    bool m_redraw = true;
    bool m_rowsMayHide = false; // see rowsMayBeHidden

    std::shared_ptr<db::Recordset> m_rs;
    std::size_t m_boundRows = 0; // data rows announced to the views
    int m_fetchChunk = 256;
    std::unordered_set<std::size_t> m_boundHidden;
    std::map<std::pair<std::size_t, int>, CellStyle> m_boundStyles;
    bool m_errorAnnounced = false;
    std::function<bool()> m_betweenRows;
    QMetaObject::Connection m_rowsConnection;
    QMetaObject::Connection m_failedConnection;
};

} // namespace grid
