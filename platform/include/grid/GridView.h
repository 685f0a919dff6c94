#pragma once

#include <QColor>
#include <QFont>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVariant>

#include <memory>
#include <vector>

namespace grid {

class Grid;

class GridModel;
class CellTextCache;
class CellImageCache;

// How one cell looks, read from the model's roles, for the screen and the printer alike.
struct CellLook {
    QString text; // empty for a check box
    QColor back;
    bool fillBack = true; // false: the grid's own background (or wallpaper, or paper) shows
    QColor fore;
    QFont font;
    int qtAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    QVariant picture;
    int pictureAlignment = 0;
    bool checkBox = false;
    bool checked = false;
    // A number: one that does not fit shows "###" rather than a cut-off figure that reads as
    // another number.
    bool numeric = false;
};

// The text a cell shows in `width` pixels: elided at the right, or "###" for a number that does
// not fit. Empty width gives the empty text.
QString fittedText(const CellLook &look, int width);
// Whether a cell of this width shows less than its whole text.
bool textClipped(const CellLook &look, int width);

// A data cell's look from its index's roles; any grid cell's (fixed rows too) from the model.
CellLook cellLook(const QModelIndex &index);
CellLook cellLook(const GridModel &model, int row, int col);
// With a cache, the cell's text is laid out once and drawn from the cache while it stays the same.
void paintCellLook(QPainter *painter, const CellLook &look, const QRect &rect, bool drawText = true,
                   CellTextCache *cache = nullptr, quint64 cell = 0);
inline quint64 cellKey(int row, int col) { return (quint64(quint32(row)) << 32) | quint32(col); }
// The lines of a cell at its right and bottom edges (and the light top/left of 3-D styles).
void paintGridLines(QPainter *painter, int style, const QColor &color, const QRect &rect, bool right, bool bottom);
int qtAlignmentOf(int alignment);
// The grid's number types (integers, floating point, currency, decimal).
bool isNumericType(int dataType);

// The header of a view: paints the grid's FixedRows rows over the columns, merged cells and
// pictures included, and turns clicks into the grid's header events.
class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    GridHeader(Grid *grid, QWidget *parent);
    ~GridHeader() override;
    QSize sizeHint() const override;
    int fixedRowAt(int y) const;
    const CellImageCache &pictures() const { return *m_pictures; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    Grid *m_grid;
    std::unique_ptr<CellTextCache> m_texts;
    std::unique_ptr<CellImageCache> m_pictures;
    QPoint m_pressPos;
    bool m_resized = false;
};

// The main view and the frozen-column view laid over it.
class GridView : public QTableView {
    Q_OBJECT
public:
    GridView(Grid *grid, bool frozen, QWidget *parent);
    using QTableView::edit;
    void finishEdit(QWidget *editor, bool commit);
    // Lays the view out now, Redraw off or not.
    void relayout();
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    // While the cells are painted: a cell copied whole from its picture covered `rect`; anything
    // else drawn needs the background under it first.
    void cellCovered(const QRect &rect);
    void backgroundBefore(QPainter *painter);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void updateGeometries() override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void keyboardSearch(const QString &) override {}
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void fillBackground(QPainter *painter);

    Grid *m_grid;
    bool m_frozen;
    bool m_relayingOut = false;
    // The background of a paint not filled yet, and the cells that made it needless.
    bool m_backgroundPending = false;
    QColor m_background;
    std::vector<QRect> m_covered;
};

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GridDelegate(Grid *grid);
    ~GridDelegate() override;
    const CellTextCache &texts() const { return *m_texts; }
    const CellImageCache &pictures() const { return *m_pictures; }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // A cell too narrow for its text shows the whole text as its tooltip.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    static QString editorText(const QWidget *editor);
    static void setEditorText(QWidget *editor, const QString &text);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    Grid *m_grid;
    std::unique_ptr<CellTextCache> m_texts;
    std::unique_ptr<CellImageCache> m_pictures;
};

} // namespace grid
