#pragma once

#include <QDateTime>
#include <QIcon>
#include <QSet>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

class QListView;
class QStackedLayout;
class QStandardItemModel;
class QStyledItemDelegate;
class QTreeView;
class QItemSelectionModel;

namespace browser {

class ObjectSortModel;

// The browser's object list: one model shown either as icons, small icons or a list (a list
// view) or as details with column headers (a tree view). Items are addressed by the order in
// which they were added, whatever the current sort; positions are in the list's own pixels.
class ObjectList : public QWidget {
    Q_OBJECT

public:
    enum ViewMode { lvwIcon = 0, lvwSmallIcon = 1, lvwList = 2, lvwReport = 3 };
    enum SortOrderValue { lvwAscending = 0, lvwDescending = 1 };

    explicit ObjectList(QWidget *parent = nullptr);
    ~ObjectList() override;

    // --- columns (1-based, as the column headers count) ---
    void addColumn(const QString &header, int widthTwips);
    int columnCount() const;
    QString columnHeader(int column) const;
    int columnWidth(int column) const; // twips; 0 for a hidden column
    void setColumnWidth(int column, int twips);
    // 0 none, 1 ascending, 2 descending.
    int headerIcon(int column) const;
    void setHeaderIcon(int column, int icon);

    // --- items (0-based in the order added) ---
    int count() const;
    void clear();
    // Between these the views are detached from the items, so that a long fill costs no
    // per-item view work; endUpdate re-sorts.
    void beginUpdate();
    void endUpdate();
    int addItem(const QString &text, int largeIcon, int smallIcon);
    QString text(int item) const;
    // Sub-items 1..3: the owner, the date in the locale's form, the date as "yy/dd/mm hh:mm:ss".
    QString subItem(int item, int sub) const;
    void setSubItem(int item, int sub, const QString &text);
    // The object's date, which sorts the date columns; invalid for none.
    void setItemDate(int item, const QDateTime &date);
    int largeIcon(int item) const;
    int smallIcon(int item) const;
    // The items in the order shown; the item shown at a position (-1 for none).
    QStringList displayedTexts() const;
    int displayedItem(int position) const;

    int selectedItem() const; // -1 for none
    void setSelectedItem(int item);
    // The selected item's rectangle in the current view, in this widget's pixels.
    QRect selectedItemRect() const;
    // The item under a point of this widget; -1 for none.
    int itemAt(const QPoint &pos) const;

    int View() const { return m_view; }
    void setView(int view);
    bool GridLines() const { return m_gridLines; }
    void setGridLines(bool on);

    // The column the list is sorted by (0 name, 2 date) and its order; -1: in the order added.
    int SortKey() const { return m_sortKey; }
    int SortOrder() const { return m_sortOrder; }
    void setSort(int key, int order); // also re-sorts after items were added

    QListView *iconView() const { return m_iconView; }
    QTreeView *reportView() const { return m_reportView; }
    QWidget *currentViewport() const;

signals:
    void ItemClick(int item);
    void DblClick();
    void KeyUp(int key, Qt::KeyboardModifiers modifiers);
    void ColumnClick(int column);
    void MouseDown(Qt::MouseButton button, QPoint position);
    void MouseUp(Qt::MouseButton button, QPoint position);
    void MouseMove(Qt::MouseButtons buttons, QPoint position);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int toSource(int proxyRow) const;
    QIcon objectIcon(int smallIcon);
    int toProxy(int item) const;

    QStandardItemModel *m_model;
    ObjectSortModel *m_sorted;
    QItemSelectionModel *m_selection;
    QListView *m_iconView;
    QTreeView *m_reportView;
    QStyledItemDelegate *m_gridLineDelegate = nullptr;
    QStackedLayout *m_stack;
    std::vector<int> m_headerIcons;
    std::vector<int> m_widths; // twips, kept across a detached fill
    int m_view = lvwSmallIcon;
    bool m_gridLines = false;
    int m_sortKey = -1;
    int m_sortOrder = lvwAscending;
    bool m_updating = false;
    std::array<QIcon, 3> m_icons;
    QSet<int> m_pressedKeys; // pressed while the list had the keyboard, not yet released
};

} // namespace browser
