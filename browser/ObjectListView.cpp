// The object list widget: a list view and a details view over one sorted model.
#include "ObjectListView.h"
#include "KeyMoves.h"

#include "ui/KeyedToolBar.h"
#include "ui/Twips.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QSortFilterProxyModel>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace browser {

namespace {

constexpr int DateRole = Qt::UserRole + 1;
constexpr int LargeIconRole = Qt::UserRole + 2;
constexpr int SmallIconRole = Qt::UserRole + 3;
constexpr int OrderRole = Qt::UserRole + 4;

QIcon drawObjectIcon(int index)
{
    static const char *const letters[] = {"T", "V", "S"};
    static const QColor colours[] = {QColor(40, 130, 60), QColor(70, 110, 160), QColor(150, 90, 40)};
    return ui::KeyedToolBar::generatedIcon(QString::fromLatin1(letters[index]), colours[index]);
}

// Grid lines drawn over each cell after the style has painted it, so that the selected row keeps
// its highlight and its text. (A style sheet border on the items takes the item painting away from
// the style, and the selected name then vanishes into its highlight.)
class GridLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool on = false;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!on)
            return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

} // namespace

// Names sort without regard to case, dates by their value (an object without a date first), and
// "no sort key" is the order the schema gave.
class ObjectSortModel : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override
    {
        if (left.column() < 0 || sortColumn() < 0)
            return left.data(OrderRole).toInt() < right.data(OrderRole).toInt();
        if (left.column() >= 2) {
            const QVariant a = left.data(DateRole);
            const QVariant b = right.data(DateRole);
            if (!a.isValid() || !b.isValid())
                return !a.isValid() && b.isValid();
            return a.toLongLong() < b.toLongLong();
        }
        const int c = QString::compare(left.data().toString(), right.data().toString(), Qt::CaseInsensitive);
        if (c != 0)
            return c < 0;
        return left.data(OrderRole).toInt() < right.data(OrderRole).toInt();
    }
};

ObjectList::ObjectList(QWidget *parent)
    : QWidget(parent)
    , m_model(new QStandardItemModel(0, 0, this))
    , m_sorted(new ObjectSortModel(this))
{
    m_sorted->setSourceModel(m_model);
    m_sorted->setDynamicSortFilter(false);

    auto *iconView = new KeyMoves<QListView>(this);
    m_iconView = iconView;
    m_iconView->setObjectName(QStringLiteral("lvwDataIcons"));
    m_iconView->setModel(m_sorted);
    m_iconView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_iconView->setSelectionMode(QAbstractItemView::SingleSelection);
    // A click picks the object's whole row, as in the details view: selectedItem() reads rows,
    // and a double click may be read before the click's own handler has run.
    m_iconView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_iconView->setResizeMode(QListView::Adjust);
    m_iconView->setMovement(QListView::Static);
    // A schema of thousands of objects is laid out in steps, not in one long pause.
    m_iconView->setLayoutMode(QListView::Batched);
    m_iconView->setBatchSize(500);

    auto *reportView = new KeyMoves<QTreeView>(this);
    m_reportView = reportView;
    m_reportView->setObjectName(QStringLiteral("lvwDataDetails"));
    m_reportView->setModel(m_sorted);
    m_reportView->setRootIsDecorated(false);
    m_reportView->setItemsExpandable(false);
    m_reportView->setUniformRowHeights(true);
    m_reportView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_reportView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_reportView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_reportView->header()->setSectionsClickable(true);
    m_reportView->header()->setSortIndicatorShown(false);
    m_reportView->header()->setStretchLastSection(false);
    m_gridLineDelegate = new GridLineDelegate(m_reportView);
    m_reportView->setItemDelegate(m_gridLineDelegate);

    // One selection for both views, so switching views keeps the selected object.
    m_selection = m_iconView->selectionModel();
    QItemSelectionModel *unused = m_reportView->selectionModel();
    m_reportView->setSelectionModel(m_selection);
    delete unused;

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_iconView);
    m_stack->addWidget(m_reportView);

    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(m_iconView),
                                    static_cast<QAbstractItemView *>(m_reportView)}) {
        view->viewport()->setMouseTracking(true);
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this);
        connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
            if (index.isValid())
                emit ItemClick(toSource(index.row()));
        });
    }
    // An item reached with the keyboard is picked as a click would pick it.
    const auto keyed = [this](const QModelIndex &index) { emit ItemClick(toSource(index.row())); };
    iconView->movedByKey = keyed;
    reportView->movedByKey = keyed;
    connect(m_reportView->header(), &QHeaderView::sectionClicked, this,
            [this](int section) { emit ColumnClick(section + 1); });
    setView(lvwSmallIcon);
}

ObjectList::~ObjectList() = default;

void ObjectList::addColumn(const QString &header, int widthTwips)
{
    const int column = m_model->columnCount();
    m_model->setColumnCount(column + 1);
    m_model->setHorizontalHeaderItem(column, new QStandardItem(header));
    m_headerIcons.push_back(0);
    m_widths.push_back(widthTwips);
    setColumnWidth(column + 1, widthTwips);
}

int ObjectList::columnCount() const
{
    return m_model->columnCount();
}

QString ObjectList::columnHeader(int column) const
{
    const QStandardItem *h = m_model->horizontalHeaderItem(column - 1);
    return h ? h->text() : QString();
}

int ObjectList::columnWidth(int column) const
{
    if (m_reportView->header()->isSectionHidden(column - 1))
        return 0;
    return qRound(ui::Twips::fromPixelsX(m_reportView->header()->sectionSize(column - 1), this));
}

void ObjectList::setColumnWidth(int column, int twips)
{
    if (column < 1 || column > columnCount())
        return;
    m_widths[size_t(column - 1)] = twips;
    QHeaderView *header = m_reportView->header();
    header->setSectionHidden(column - 1, twips <= 0);
    if (twips > 0)
        header->resizeSection(column - 1, ui::Twips::toPixelsX(twips, this));
}

int ObjectList::headerIcon(int column) const
{
    return column >= 1 && size_t(column) <= m_headerIcons.size() ? m_headerIcons[size_t(column - 1)] : 0;
}

void ObjectList::setHeaderIcon(int column, int icon)
{
    if (column < 1 || size_t(column) > m_headerIcons.size())
        return;
    m_headerIcons[size_t(column - 1)] = icon;
    QStandardItem *h = m_model->horizontalHeaderItem(column - 1);
    if (!h)
        return;
    if (icon == 1)
        h->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    else if (icon == 2)
        h->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    else
        h->setIcon(QIcon());
}

int ObjectList::count() const
{
    return m_model->rowCount();
}

void ObjectList::clear()
{
    m_model->removeRows(0, m_model->rowCount());
}

QIcon ObjectList::objectIcon(int smallIcon)
{
    const int i = smallIcon - 5;
    if (i < 0 || i > 2)
        return {};
    // Drawn once: a schema of thousands of objects shares three pictures.
    if (m_icons[size_t(i)].isNull())
        m_icons[size_t(i)] = drawObjectIcon(i);
    return m_icons[size_t(i)];
}

void ObjectList::beginUpdate()
{
    if (m_updating)
        return;
    m_updating = true;
    m_sorted->setSourceModel(nullptr);
}

void ObjectList::endUpdate()
{
    if (!m_updating)
        return;
    m_updating = false;
    m_sorted->setSourceModel(m_model);
    for (size_t c = 0; c < m_widths.size(); ++c)
        setColumnWidth(int(c) + 1, m_widths[c]);
    setSort(m_sortKey, m_sortOrder);
}

int ObjectList::addItem(const QString &text, int largeIcon, int smallIcon)
{
    const int row = m_model->rowCount();
    QList<QStandardItem *> cells;
    auto *name = new QStandardItem(objectIcon(smallIcon), text);
    name->setData(largeIcon, LargeIconRole);
    name->setData(smallIcon, SmallIconRole);
    cells << name;
    for (int c = 1; c < std::max(1, m_model->columnCount()); ++c)
        cells << new QStandardItem();
    for (QStandardItem *cell : cells) {
        cell->setData(row, OrderRole);
        cell->setEditable(false);
    }
    m_model->appendRow(cells);
    return row;
}

QString ObjectList::text(int item) const
{
    const QStandardItem *cell = m_model->item(item, 0);
    return cell ? cell->text() : QString();
}

QString ObjectList::subItem(int item, int sub) const
{
    const QStandardItem *cell = m_model->item(item, sub);
    return cell ? cell->text() : QString();
}

void ObjectList::setSubItem(int item, int sub, const QString &text)
{
    if (QStandardItem *cell = m_model->item(item, sub))
        cell->setText(text);
}

void ObjectList::setItemDate(int item, const QDateTime &date)
{
    for (int c = 2; c < m_model->columnCount(); ++c) {
        if (QStandardItem *cell = m_model->item(item, c))
            cell->setData(date.isValid() ? QVariant(date.toMSecsSinceEpoch()) : QVariant(), DateRole);
    }
}

int ObjectList::largeIcon(int item) const
{
    const QStandardItem *cell = m_model->item(item, 0);
    return cell ? cell->data(LargeIconRole).toInt() : 0;
}

int ObjectList::smallIcon(int item) const
{
    const QStandardItem *cell = m_model->item(item, 0);
    return cell ? cell->data(SmallIconRole).toInt() : 0;
}

QStringList ObjectList::displayedTexts() const
{
    QStringList out;
    for (int r = 0; r < m_sorted->rowCount(); ++r)
        out << m_sorted->index(r, 0).data().toString();
    return out;
}

int ObjectList::displayedItem(int position) const
{
    return position >= 0 && position < count() ? toSource(position) : -1;
}

int ObjectList::toSource(int proxyRow) const
{
    return m_sorted->mapToSource(m_sorted->index(proxyRow, 0)).row();
}

int ObjectList::toProxy(int item) const
{
    return m_sorted->mapFromSource(m_model->index(item, 0)).row();
}

int ObjectList::selectedItem() const
{
    const QModelIndexList rows = m_selection->selectedRows(0);
    if (rows.isEmpty())
        return -1;
    return toSource(rows.first().row());
}

void ObjectList::setSelectedItem(int item)
{
    if (item < 0 || item >= count()) {
        m_selection->clear();
        return;
    }
    const QModelIndex index = m_sorted->index(toProxy(item), 0);
    m_selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QWidget *ObjectList::currentViewport() const
{
    return m_view == lvwReport ? m_reportView->viewport() : m_iconView->viewport();
}

QRect ObjectList::selectedItemRect() const
{
    const int item = selectedItem();
    if (item < 0)
        return {};
    const QModelIndex index = m_sorted->index(toProxy(item), 0);
    const QAbstractItemView *view = m_view == lvwReport ? static_cast<QAbstractItemView *>(m_reportView)
                                                         : static_cast<QAbstractItemView *>(m_iconView);
    const QRect r = view->visualRect(index);
    return QRect(view->viewport()->mapTo(this, r.topLeft()), r.size());
}

int ObjectList::itemAt(const QPoint &pos) const
{
    const QAbstractItemView *view = m_view == lvwReport ? static_cast<QAbstractItemView *>(m_reportView)
                                                         : static_cast<QAbstractItemView *>(m_iconView);
    const QModelIndex index = view->indexAt(view->viewport()->mapFrom(this, pos));
    return index.isValid() ? toSource(index.row()) : -1;
}

void ObjectList::setView(int view)
{
    if (view < lvwIcon || view > lvwReport)
        return;
    m_view = view;
    switch (view) {
    case lvwIcon:
        m_iconView->setViewMode(QListView::IconMode);
        m_iconView->setIconSize(QSize(32, 32));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWrapping(true);
        break;
    case lvwSmallIcon:
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setFlow(QListView::LeftToRight);
        m_iconView->setWrapping(true);
        break;
    case lvwList:
        m_iconView->setViewMode(QListView::ListMode);
        m_iconView->setIconSize(QSize(16, 16));
        m_iconView->setFlow(QListView::TopToBottom);
        m_iconView->setWrapping(true);
        break;
    default:
        break;
    }
    m_iconView->setMovement(QListView::Static);
    m_stack->setCurrentWidget(view == lvwReport ? static_cast<QWidget *>(m_reportView) : m_iconView);
}

void ObjectList::setGridLines(bool on)
{
    m_gridLines = on;
    static_cast<GridLineDelegate *>(m_gridLineDelegate)->on = on;
    m_reportView->viewport()->update();
}

void ObjectList::setSort(int key, int order)
{
    m_sortKey = key;
    m_sortOrder = order == lvwDescending ? lvwDescending : lvwAscending;
    m_sorted->sort(key, m_sortOrder == lvwDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

bool ObjectList::eventFilter(QObject *watched, QEvent *event)
{
    const bool viewport = watched == m_iconView->viewport() || watched == m_reportView->viewport();
    if (viewport) {
        auto *source = static_cast<QWidget *>(watched);
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto *me = static_cast<QMouseEvent *>(event);
            emit MouseDown(me->button(), source->mapTo(this, me->position().toPoint()));
            break;
        }
        case QEvent::MouseButtonRelease: {
            const auto *me = static_cast<QMouseEvent *>(event);
            emit MouseUp(me->button(), source->mapTo(this, me->position().toPoint()));
            break;
        }
        case QEvent::MouseMove: {
            const auto *me = static_cast<QMouseEvent *>(event);
            emit MouseMove(me->buttons(), source->mapTo(this, me->position().toPoint()));
            break;
        }
        case QEvent::MouseButtonDblClick: {
            // A double click on empty space launches nothing.
            const auto *me = static_cast<QMouseEvent *>(event);
            if (itemAt(source->mapTo(this, me->position().toPoint())) >= 0)
                emit DblClick();
            break;
        }
        default:
            break;
        }
    } else if (watched == m_iconView || watched == m_reportView) {
        // A key is the list's only when its press came here too: the release of an Enter that
        // chose a menu command lands on the list once the menu has closed.
        switch (event->type()) {
        case QEvent::KeyPress:
            m_pressedKeys.insert(static_cast<QKeyEvent *>(event)->key());
            break;
        case QEvent::KeyRelease: {
            const auto *ke = static_cast<QKeyEvent *>(event);
            if (m_pressedKeys.remove(ke->key()))
                emit KeyUp(ke->key(), ke->modifiers());
            break;
        }
        case QEvent::FocusOut:
            m_pressedKeys.clear();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace browser
