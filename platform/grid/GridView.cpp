#include "grid/GridView.h"

#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "grid/GridModel.h"
#include "grid/GridText.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyleFactory>
#include <QHelpEvent>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>

namespace grid {

namespace {

constexpr int TextPad = 3;
const char *const EllipsisEditorName = "gridEllipsisEditor";

QLineEdit *lineEditOf(QWidget *editor)
{
    if (auto *line = qobject_cast<QLineEdit *>(editor))
        return line;
    if (auto *combo = qobject_cast<QComboBox *>(editor))
        return combo->lineEdit();
    if (editor && editor->objectName() == QLatin1String(EllipsisEditorName))
        return editor->findChild<QLineEdit *>();
    return nullptr;
}

QPixmap pictureOf(const QVariant &picture, int height)
{
    if (picture.canConvert<QPixmap>()) {
        QPixmap pm = picture.value<QPixmap>();
        if (!pm.isNull())
            return pm;
    }
    if (picture.canConvert<QIcon>()) {
        const QIcon icon = picture.value<QIcon>();
        if (!icon.isNull())
            return icon.pixmap(QSize(height, height));
    }
    return {};
}

QRect alignedRect(int alignment, const QSize &size, const QRect &area)
{
    int x = area.left();
    int y = area.top() + (area.height() - size.height()) / 2;
    const int col = alignment / 3; // 0 left, 1 centre, 2 right
    const int row = alignment % 3; // 0 top, 1 centre, 2 bottom
    if (col == 1)
        x = area.left() + (area.width() - size.width()) / 2;
    else if (col == 2)
        x = area.right() - size.width() + 1;
    if (row == 0)
        y = area.top();
    else if (row == 2)
        y = area.bottom() - size.height() + 1;
    return QRect(QPoint(x, y), size);
}

void paintCheckBox(QPainter *p, const QRect &cell, bool checked, const QColor &color)
{
    const int side = qMax(7, qMin(13, cell.height() - 4));
    const QRect box(cell.left() + (cell.width() - side) / 2, cell.top() + (cell.height() - side) / 2, side, side);
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setPen(QPen(color, 1));
    p->setBrush(Qt::NoBrush);
    p->drawRect(box.adjusted(0, 0, -1, -1));
    if (checked) {
        p->setRenderHint(QPainter::Antialiasing, true);
        p->setPen(QPen(color, qMax(1.5, side / 7.0)));
        const QPointF a(box.left() + side * 0.22, box.top() + side * 0.52);
        const QPointF b(box.left() + side * 0.42, box.top() + side * 0.74);
        const QPointF c(box.left() + side * 0.80, box.top() + side * 0.26);
        p->drawLine(a, b);
        p->drawLine(b, c);
    }
    p->restore();
}

// Fusion paints nothing for an item view's row panel unless its rows alternate, which a grid's
// views never do; asking it still costs more than copying the cell from its picture. The grid's
// views skip that call while the application's style is Fusion itself.
class RowPanelSkipped : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_PanelItemViewRow) {
            const auto *item = qstyleoption_cast<const QStyleOptionViewItem *>(option);
            if (item && !(item->features & QStyleOptionViewItem::Alternate))
                return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

QStyle *gridViewStyle()
{
    if (qstrcmp(QApplication::style()->metaObject()->className(), "QFusionStyle") != 0)
        return nullptr;
    static QPointer<QStyle> shared;
    if (!shared) {
        QStyle *fusion = QStyleFactory::create(QStringLiteral("fusion"));
        if (!fusion)
            return nullptr;
        shared = new RowPanelSkipped(fusion);
        shared->setParent(qApp);
    }
    return shared;
}

} // namespace

namespace {

constexpr int LookRoles[] = {Qt::DisplayRole,   Qt::FontRole,       Qt::BackgroundRole, Qt::ForegroundRole,
                             Qt::TextAlignmentRole, Qt::CheckStateRole, Qt::DecorationRole, PictureAlignmentRole,
                             NumberRole};
constexpr std::size_t LookRoleCount = sizeof(LookRoles) / sizeof(LookRoles[0]);

struct LookRoleData {
    QModelRoleData data[LookRoleCount] = {
        QModelRoleData(LookRoles[0]), QModelRoleData(LookRoles[1]), QModelRoleData(LookRoles[2]),
        QModelRoleData(LookRoles[3]), QModelRoleData(LookRoles[4]), QModelRoleData(LookRoles[5]),
        QModelRoleData(LookRoles[6]), QModelRoleData(LookRoles[7]), QModelRoleData(LookRoles[8])};
};

CellLook lookFrom(const LookRoleData &roles)
{
    const auto &d = roles.data;
    CellLook look;
    look.checkBox = d[5].data().isValid();
    look.checked = look.checkBox && d[5].data().toInt() == Qt::Checked;
    if (!look.checkBox)
        look.text = d[0].data().toString();
    look.font = d[1].data().value<QFont>();
    look.fillBack = d[2].data().isValid();
    if (look.fillBack)
        look.back = d[2].data().value<QBrush>().color();
    look.fore = d[3].data().value<QBrush>().color();
    look.qtAlignment = d[4].data().toInt();
    look.picture = d[6].data();
    look.pictureAlignment = d[7].data().toInt();
    look.numeric = d[8].data().toBool();
    return look;
}

} // namespace

CellLook cellLook(const QModelIndex &index)
{
    LookRoleData roles;
    index.multiData(roles.data);
    return lookFrom(roles);
}

CellLook cellLook(const GridModel &model, int row, int col)
{
    CellLook look;
    model.cellLook(row, col, look);
    return look;
}

void paintCellLook(QPainter *p, const CellLook &look, const QRect &rect, bool drawText, CellTextCache *cache,
                   quint64 cell)
{
    if (look.fillBack)
        p->fillRect(rect, look.back);
    QRect textRect = rect.adjusted(TextPad, 0, -TextPad, 0);
    const QPixmap pm = pictureOf(look.picture, qMax(8, rect.height() - 4));
    if (!pm.isNull()) {
        const QSize size = pm.size().boundedTo(rect.size() - QSize(2, 2));
        const int align = look.pictureAlignment;
        if (align == flexPicAlignStretch) {
            p->drawPixmap(rect, pm);
        } else if (align == flexPicAlignTile) {
            p->drawTiledPixmap(rect, pm);
        } else {
            const QRect target = alignedRect(align, size, rect.adjusted(2, 1, -2, -1));
            p->drawPixmap(target, pm);
            // Keep text clear of a picture at either side.
            if (align / 3 == 2)
                textRect.setRight(target.left() - 2);
            else if (align / 3 == 0)
                textRect.setLeft(target.right() + 3);
        }
    }
    if (look.checkBox)
        paintCheckBox(p, rect, look.checked, look.fore);
    if (drawText && !look.text.isEmpty() && textRect.width() > 0) {
        if (cache) {
            cache->draw(p, look, textRect, cell);
        } else {
            p->setFont(look.font);
            p->setPen(look.fore);
            p->drawText(textRect, look.qtAlignment | Qt::TextSingleLine, fittedText(look, textRect.width()));
        }
    }
}

void paintGridLines(QPainter *p, int style, const QColor &color, const QRect &rect, bool right, bool bottom)
{
    if (style == flexGridNone)
        return;
    const bool horzOnly = style >= flexGridFlatHorz && style <= flexGridSkipHorz;
    const bool vertOnly = style >= flexGridFlatVert && style <= flexGridSkipVert;
    const bool raised = style == flexGridRaised || style == flexGridRaisedHorz || style == flexGridRaisedVert;
    const bool inset = style == flexGridInset || style == flexGridInsetHorz || style == flexGridInsetVert;
    const bool dotted = style == flexGridSkipHorz || style == flexGridSkipVert;
    p->setRenderHint(QPainter::Antialiasing, false);
    const bool doBottom = bottom && !vertOnly;
    const bool doRight = right && !horzOnly;
    // A solid one-pixel line, both ends included, is a one-pixel rectangle: filled, it costs a
    // fraction of a stroked line, and the cells are many.
    auto solid = [p](const QPoint &from, const QPoint &to, const QColor &c) { p->fillRect(QRect(from, to), c); };
    QColor last = color;
    if (raised || inset) {
        const QColor light = QColor(Qt::white);
        const QColor dark = color.darker(140);
        if (doBottom)
            solid(rect.topLeft(), rect.topRight(), raised ? light : dark);
        if (doRight)
            solid(rect.topLeft(), rect.bottomLeft(), raised ? light : dark);
        last = raised ? dark : light;
    }
    if (!dotted) {
        if (doBottom)
            solid(rect.bottomLeft(), rect.bottomRight(), last);
        if (doRight)
            solid(rect.topRight(), rect.bottomRight(), last);
        return;
    }
    // The pen is left set: callers set their own before they draw again (cells are many, and
    // saving the painter's state for each costs more than their lines).
    p->setPen(QPen(last, 0, Qt::DotLine));
    if (doBottom)
        p->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (doRight)
        p->drawLine(rect.topRight(), rect.bottomRight());
}

// ---------------------------------------------------------------- header

GridHeader::GridHeader(Grid *grid, QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
    , m_grid(grid)
    , m_texts(std::make_unique<CellTextCache>())
    , m_pictures(std::make_unique<CellImageCache>())
{
    setSectionsClickable(false);
    setHighlightSections(false);
    setMinimumSectionSize(2);
    setSectionResizeMode(QHeaderView::Interactive);
    connect(this, &QHeaderView::sectionResized, this, [this] {
        if (QApplication::mouseButtons() != Qt::NoButton)
            m_resized = true;
    });
}

GridHeader::~GridHeader() = default;

QSize GridHeader::sizeHint() const
{
    // The fixed rows make the height; the view lays the header across its own width, so the
    // headings are not measured for a width nobody reads (every relayout would measure them).
    return QSize(length(), m_grid->model()->fixedRows() * m_grid->rowHeightPx());
}

int GridHeader::fixedRowAt(int y) const
{
    const int h = qMax(1, m_grid->rowHeightPx());
    const int fixedRows = m_grid->model()->fixedRows();
    if (fixedRows <= 0)
        return -1;
    return qBound(0, y / h, fixedRows - 1);
}

void GridHeader::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const GridModel &m = *m_grid->model();
    const int h = m_grid->rowHeightPx();
    p.fillRect(viewport()->rect(), palette().window());
    if (count() == 0 || m.fixedRows() == 0)
        return;
    const int firstVisual = qMax(0, visualIndexAt(0));
    int lastVisual = visualIndexAt(viewport()->width() - 1);
    if (lastVisual < 0)
        lastVisual = count() - 1;
    const QColor lineColor = m_grid->color(0x808080);
    try {
        for (int fr = 0; fr < m.fixedRows(); ++fr) {
            for (int v = firstVisual; v <= lastVisual; ++v) {
                const int c = logicalIndex(v);
                if (c < 0 || isSectionHidden(c))
                    continue;
                if (m.mergesWithAbove(fr, c))
                    continue; // painted by the cell above, extended down
                if (m.mergesWithLeft(fr, c) && v > firstVisual)
                    continue; // painted with the run's first cell
                // A run may start left of the viewport: find its first cell.
                int start = c;
                for (int k = v - 1; k >= 0 && m.mergesWithLeft(fr, logicalIndex(k + 1)); --k)
                    start = logicalIndex(k);
                int left = sectionViewportPosition(start);
                int right = sectionViewportPosition(c) + sectionSize(c);
                for (int k = v + 1; k < count(); ++k) {
                    const int next = logicalIndex(k);
                    if (!m.mergesWithLeft(fr, next))
                        break;
                    if (!isSectionHidden(next))
                        right = sectionViewportPosition(next) + sectionSize(next);
                }
                int down = 0;
                while (fr + down + 1 < m.fixedRows() && m.mergesWithAbove(fr + down + 1, start))
                    ++down;
                const QRect rect(left, fr * h, right - left, h * (down + 1));
                const CellLook look = cellLook(m, fr, start);
                const int lineStyle = m_grid->GridLinesFixed();
                const quint64 cell = cellKey(fr, start);
                const auto draw = [&](QPainter *painter, const QRect &at) {
                    paintCellLook(painter, look, at, true, m_texts.get(), cell);
                    paintGridLines(painter, lineStyle, lineColor, at, true, true);
                };
                // A heading of its own, as the cells are: one picture, kept for repaints.
                const bool plain = start == c && right == left + sectionSize(c) && down == 0 && !look.checkBox
                    && !look.picture.isValid() && look.fillBack;
                if (plain) {
                    CellImageCache::Key key{look.text, look.font, look.fore.rgba(), look.back.rgba(), lineColor.rgba(),
                                            lineStyle, look.qtAlignment, look.numeric, rect.size()};
                    if (m_pictures->paint(&p, std::move(key), rect, draw))
                        continue;
                }
                draw(&p, rect);
            }
        }
    } catch (const std::exception &) {
        // The model changed under the paint; the next paint is right.
    }
}

void GridHeader::mousePressEvent(QMouseEvent *event)
{
    m_pressPos = event->position().toPoint();
    m_resized = false;
    m_grid->trackMouse(this, m_pressPos, true, fixedRowAt(m_pressPos.y()));
    QHeaderView::mousePressEvent(event);
}

void GridHeader::mouseReleaseEvent(QMouseEvent *event)
{
    QHeaderView::mouseReleaseEvent(event);
    const QPoint pos = event->position().toPoint();
    m_grid->trackMouse(this, pos, true, fixedRowAt(pos.y()));
    if (event->button() == Qt::LeftButton && !m_resized
        && (pos - m_pressPos).manhattanLength() < QApplication::startDragDistance()) {
        const int c = logicalIndexAt(pos.x());
        if (c >= 0)
            m_grid->headerClicked(fixedRowAt(pos.y()), c, event->modifiers());
    }
    m_resized = false;
}

void GridHeader::mouseMoveEvent(QMouseEvent *event)
{
    m_grid->trackMouse(this, event->position().toPoint(), true, fixedRowAt(event->position().toPoint().y()));
    QHeaderView::mouseMoveEvent(event);
}

void GridHeader::mouseDoubleClickEvent(QMouseEvent *event)
{
    QHeaderView::mouseDoubleClickEvent(event);
}

// ---------------------------------------------------------------- view

GridView::GridView(Grid *grid, bool frozen, QWidget *parent)
    : QTableView(parent)
    , m_grid(grid)
    , m_frozen(frozen)
{
    setHorizontalHeader(new GridHeader(grid, this));
    verticalHeader()->hide();
    // One height for every row: a million rows cost no more than a screenful.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setAlternatingRowColors(false);
    // Tab leaves the grid for the next control, as in any dialog; an open editor still hands
    // Tab on to the next cell.
    setTabKeyNavigation(false);
    if (QStyle *style = gridViewStyle())
        setStyle(style);
    viewport()->setAutoFillBackground(false);
    // paintEvent fills the whole viewport: what lies under it need not be painted first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    if (frozen) {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
}

bool GridView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (!index.isValid())
        return QTableView::edit(index, trigger, event);
    // A click on the selected cell waits for a possible double click and comes back here with
    // AllEditTriggers; only the call that opens an editor raises BeforeEdit.
    const bool opens = (trigger == AllEditTriggers || (trigger != SelectedClicked && (editTriggers() & trigger)))
        && state() != EditingState && (model()->flags(index) & Qt::ItemIsEditable);
    if (!opens)
        return QTableView::edit(index, trigger, event);
    if (!m_grid->beginEdit(index, this))
        return false;
    const bool opened = QTableView::edit(index, trigger, event);
    if (!opened) {
        m_grid->m_editRow = -1;
        m_grid->m_editCol = -1;
    }
    return opened;
}

void GridView::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool moveOn = hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    // Close first and raise AfterEdit before moving on, so handlers see one edit end before the
    // next begins.
    QTableView::closeEditor(editor, moveOn ? QAbstractItemDelegate::NoHint : hint);
    m_grid->editorClosed(editor);
    if (moveOn) {
        const QModelIndex next = moveCursor(hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious,
                                            Qt::NoModifier);
        if (next.isValid()) {
            selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
            if (m_grid->Editable() != flexEDNone)
                m_grid->EditCell();
        }
    }
}

void GridView::finishEdit(QWidget *editor, bool commit)
{
    if (!editor)
        return;
    if (commit)
        commitData(editor);
    closeEditor(editor, commit ? QAbstractItemDelegate::NoHint : QAbstractItemDelegate::RevertModelCache);
}

void GridView::relayout()
{
    const QScopedValueRollback relayingOut(m_relayingOut, true);
    updateGeometries();
}

void GridView::updateGeometries()
{
    // Rows arriving with Redraw off would lay the view out (scroll bars drawn again) at every
    // turn of the event loop: like the grid's own layout, it waits until Redraw is on again or
    // someone asks where things are.
    if (!m_relayingOut && m_grid->Redraw() == 0) {
        m_grid->m_relayoutPending = true;
        return;
    }
    QTableView::updateGeometries();
}

void GridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    m_grid->settleLayout();
    QTableView::scrollTo(index, hint);
    if (m_frozen)
        return;
    // Keep the cell clear of the frozen columns laid over this view.
    const int frozen = m_grid->frozenCount();
    if (frozen > 0 && index.column() >= frozen && m_grid->m_frozen && m_grid->m_frozen->isVisible()) {
        const int frozenWidth = m_grid->m_frozen->width();
        const QRect rect = visualRect(index);
        if (rect.left() < frozenWidth)
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (frozenWidth - rect.left()));
    }
}

QModelIndex GridView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    return QTableView::moveCursor(cursorAction, modifiers);
}

void GridView::paintEvent(QPaintEvent *event)
{
    const QPixmap wall = m_grid->WallPaper();
    // The background goes under the cells, but a screen of cells copied from their pictures
    // covers it whole: it is filled only where something else is drawn, just before that, and
    // where no cell was. Only while nothing but the cells is drawn before them (no row panel of
    // the style's, no alternate rows) or after them (no grid of the view's, no drop indicator).
    const bool deferred = wall.isNull() && style() == gridViewStyle() && !alternatingRowColors() && !showGrid()
        && state() != DraggingState;
    if (deferred) {
        m_background = m_grid->color(m_grid->BackColor());
        m_covered.clear();
        m_backgroundPending = true;
        QTableView::paintEvent(event);
        if (m_backgroundPending) {
            QPainter p(viewport());
            fillBackground(&p);
        }
        return;
    }
    {
        QPainter p(viewport());
        p.fillRect(viewport()->rect(), m_grid->color(m_grid->BackColor()));
        if (!wall.isNull()) {
            const QRect area = viewport()->rect();
            const int align = m_grid->WallPaperAlignment();
            if (align == flexPicAlignStretch)
                p.drawPixmap(area, wall);
            else if (align == flexPicAlignTile)
                p.drawTiledPixmap(area, wall);
            else
                p.drawPixmap(alignedRect(align, wall.size(), area), wall);
        }
    }
    QTableView::paintEvent(event);
}

void GridView::cellCovered(const QRect &rect)
{
    if (m_backgroundPending)
        m_covered.push_back(rect);
}

void GridView::backgroundBefore(QPainter *painter)
{
    if (m_backgroundPending)
        fillBackground(painter);
}

void GridView::fillBackground(QPainter *painter)
{
    m_backgroundPending = false;
    // Cells arrive row by row: each row's adjoining cells make one band of the covered region.
    std::sort(m_covered.begin(), m_covered.end(), [](const QRect &a, const QRect &b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    QRegion covered;
    QRect run;
    for (const QRect &r : m_covered) {
        if (run.isValid() && r.top() == run.top() && r.height() == run.height() && r.left() == run.right() + 1) {
            run.setRight(r.right());
            continue;
        }
        if (run.isValid())
            covered += run;
        run = r;
    }
    if (run.isValid())
        covered += run;
    m_covered.clear();
    for (const QRect &r : QRegion(viewport()->rect()).subtracted(covered))
        painter->fillRect(r, m_background);
}

void GridView::keyPressEvent(QKeyEvent *event)
{
    QString replacement;
    switch (m_grid->gridKey(event, true, &replacement)) {
    case 1:
        event->accept();
        return;
    case 2: {
        const QChar ch = replacement.isEmpty() ? QChar() : replacement.at(0);
        const int key = ch.isLetterOrNumber() ? ch.toUpper().unicode() : int(Qt::Key_unknown);
        QKeyEvent changed(QEvent::KeyPress, key, event->modifiers(), replacement);
        QTableView::keyPressEvent(&changed);
        return;
    }
    default:
        QTableView::keyPressEvent(event);
    }
}

void GridView::keyReleaseEvent(QKeyEvent *event)
{
    QString unused;
    if (m_grid->gridKey(event, false, &unused) == 1)
        event->accept();
    else
        QTableView::keyReleaseEvent(event);
}

void GridView::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    if (!m_grid->m_hadFocus) {
        m_grid->m_hadFocus = true;
        emit m_grid->GotFocus();
    }
}

void GridView::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    QWidget *now = QApplication::focusWidget();
    if (m_grid->m_hadFocus && !(now && (now == m_grid->view() || now == m_grid->m_frozen || m_grid->isAncestorOf(now)))) {
        m_grid->m_hadFocus = false;
        emit m_grid->LostFocus();
    }
}

// ---------------------------------------------------------------- delegate

GridDelegate::GridDelegate(Grid *grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
    , m_texts(std::make_unique<CellTextCache>())
    , m_pictures(std::make_unique<CellImageCache>())
{
}

GridDelegate::~GridDelegate() = default;

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto *view = qobject_cast<const QTableView *>(option.widget);
    // The view this paint is for: it fills the background under whatever is not a picture copy.
    auto *gridView = qobject_cast<GridView *>(const_cast<QWidget *>(option.widget));
    const GridModel &m = *m_grid->model();
    const int r = index.row() + m.fixedRows();
    const int c = index.column();
    if (r >= m.rows() || c >= m.cols())
        return;
    // The painter goes back to the view as it came; a cell copied from its picture changes
    // nothing, so the state is saved (and the background put down) only before something else
    // is drawn.
    struct StateKept {
        QPainter *p;
        GridView *view;
        bool saved = false;
        void operator()(bool overBackground = true)
        {
            if (overBackground && view)
                view->backgroundBefore(p);
            if (!saved)
                p->save();
            saved = true;
        }
        ~StateKept()
        {
            if (saved)
                p->restore();
        }
    } keepState{painter, gridView};
    try {
        const bool mergeLeft = m.mergesWithLeft(r, c);
        const bool mergeUp = m.mergesWithAbove(r, c);
        const bool mergeDown = r + 1 < m.rows() && m.mergesWithAbove(r + 1, c);
        const bool mergeRight = c + 1 < m.cols() && m.mergesWithLeft(r, c + 1);
        const QRect rect = option.rect;
        if (!mergeLeft) {
            QRect run = rect;
            if (mergeRight && view) {
                for (int k = c + 1; k < m.cols() && m.mergesWithLeft(r, k); ++k)
                    if (!view->isColumnHidden(k))
                        run.setRight(view->columnViewportPosition(k) + view->columnWidth(k) - 1);
            }
            // A merged run shows its text once, in its top cell on screen.
            bool showText = true;
            if (mergeUp && view && !view->isRowHidden(index.row() - 1))
                showText = view->rowViewportPosition(index.row() - 1) + m_grid->rowHeightPx() / 2 < 0;
            // The grid's own model is asked directly; any other goes through the roles.
            CellLook look = index.model() == &m ? cellLook(m, r, c) : cellLook(index);
            // The dotted frame marks the current cell only while the grid has the focus.
            const bool cursorUnmarked = m_grid->CursorShownWithoutFocus() && !(view && view->hasFocus());
            if (m_grid->isCellSelected(r, c) && (!m_grid->isCursorCell(r, c) || cursorUnmarked)) {
                look.back = m_grid->color(m_grid->BackColorSel());
                look.fore = m_grid->color(m_grid->ForeColorSel());
                look.fillBack = true;
            } else if (!look.fillBack && (option.state & QStyle::State_Selected) && m_grid->WallPaper().isNull()) {
                // Covers the view's own highlight of the current cell; other cells show the
                // background the view has filled already.
                look.back = m_grid->color(m_grid->BackColor());
                look.fillBack = true;
            }
            const bool fixedCol = c < m.fixedCols();
            const int lineStyle = fixedCol ? m_grid->GridLinesFixed() : m_grid->GridLines();
            const QColor lineColor = m_grid->color(fixedCol ? 0x808080 : m_grid->GridColor());
            // A plain cell: one picture of its background, text and lines, kept for repaints.
            const bool plain = !mergeUp && !mergeDown && !mergeRight && !look.checkBox && !look.picture.isValid()
                && (look.fillBack || m_grid->WallPaper().isNull());
            bool painted = false;
            if (plain) {
                if (!look.fillBack) {
                    look.back = m_grid->color(m_grid->BackColor()); // what the view filled in
                    look.fillBack = true;
                }
                CellImageCache::Key key{look.text, look.font, look.fore.rgba(), look.back.rgba(),
                                        lineColor.rgba(), lineStyle, look.qtAlignment, look.numeric, rect.size()};
                const quint64 cell = cellKey(r, c);
                painted = m_pictures->paint(painter, std::move(key), rect, [&](QPainter *p, const QRect &at) {
                    paintCellLook(p, look, at, true, m_texts.get(), cell);
                    paintGridLines(p, lineStyle, lineColor, at, true, true);
                });
                if (painted && gridView)
                    gridView->cellCovered(rect);
                if (!painted) {
                    keepState();
                    paintCellLook(painter, look, rect, true, m_texts.get(), cell);
                    paintGridLines(painter, lineStyle, lineColor, rect, true, true);
                }
            } else {
                keepState();
                paintCellLook(painter, look, run, showText, m_texts.get(), cellKey(r, c));
                paintGridLines(painter, lineStyle, lineColor, rect, !mergeRight, !mergeDown);
            }
        } else {
            keepState();
            const bool fixedCol = c < m.fixedCols();
            paintGridLines(painter, fixedCol ? m_grid->GridLinesFixed() : m_grid->GridLines(),
                           m_grid->color(fixedCol ? 0x808080 : m_grid->GridColor()), rect, !mergeRight, !mergeDown);
        }
        if (m_grid->isCursorCell(r, c) && view && view->hasFocus()) {
            keepState(false); // on the cell just painted
            QPen pen(m_grid->color(m_grid->ForeColor()), 0, Qt::DotLine);
            painter->setPen(pen);
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(rect.adjusted(1, 1, -2, -2));
        }
    } catch (const std::exception &) {
        // A cell that cannot be read paints empty.
    }
}

bool GridDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                             const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip && index.isValid()) {
        try {
            const CellLook look = cellLook(index);
            if (textClipped(look, option.rect.width())) {
                QToolTip::showText(event->globalPos(), look.text, view->viewport(), option.rect);
                return true;
            }
        } catch (const std::exception &) {
            // A cell that cannot be read has no tooltip of its own.
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const QString list = m_grid->ComboList();
    const int row = index.row() + m_grid->model()->fixedRows();
    const int col = index.column();
    QWidget *editor = nullptr;
    QLineEdit *line = nullptr;
    if (list == QLatin1String("...")) {
        auto *box = new QWidget(parent);
        box->setObjectName(QLatin1String(EllipsisEditorName));
        auto *layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        line = new QLineEdit(box);
        line->setFrame(false);
        auto *button = new QToolButton(box);
        button->setText(QStringLiteral("..."));
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(line, 1);
        layout->addWidget(button);
        box->setFocusProxy(line);
        line->installEventFilter(const_cast<GridDelegate *>(this));
        connect(button, &QToolButton::clicked, m_grid, [grid = m_grid] { grid->cellButtonClicked(); });
        editor = box;
    } else if (m_grid->comboEntries().isEmpty()) {
        line = new QLineEdit(parent);
        line->setFrame(false);
        editor = line;
    } else {
        auto *combo = new QComboBox(parent);
        combo->setEditable(m_grid->comboEditable());
        combo->addItems(m_grid->comboEntries());
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMaxVisibleItems(16);
        // The list shows its entries whole, however narrow the column.
        QAbstractItemView *list = combo->view();
        list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth()
                              + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
        line = combo->lineEdit();
        if (line)
            line->installEventFilter(const_cast<GridDelegate *>(this));
        connect(combo, &QComboBox::activated, m_grid, [grid = m_grid](int i) { grid->comboActivated(i); });
        connect(combo, &QComboBox::currentIndexChanged, m_grid, [grid = m_grid] { emit grid->ChangeEdit(); });
        editor = combo;
    }
    if (line) {
        if (m_grid->EditMaxLength() > 0)
            line->setMaxLength(m_grid->EditMaxLength());
        if (m_grid->EditValidator())
            line->setValidator(m_grid->EditValidator());
        connect(line, &QLineEdit::textEdited, m_grid, [grid = m_grid] { emit grid->ChangeEdit(); });
    }
    editor->setAutoFillBackground(true);
    m_grid->editorCreated(editor, row, col);
    return editor;
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    QString text;
    try {
        text = m_grid->model()->rawText(index.row() + m_grid->model()->fixedRows(), index.column());
    } catch (const std::exception &) {
        return;
    }
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        const QSignalBlocker block(combo);
        const int i = combo->findText(text);
        combo->setCurrentIndex(i);
        if (combo->isEditable())
            combo->setEditText(text);
        return;
    }
    if (QLineEdit *line = lineEditOf(editor)) {
        line->setText(text);
        line->selectAll();
    }
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const
{
    m_grid->commitEdit(index.row() + m_grid->model()->fixedRows(), index.column(), editorText(editor));
}

void GridDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

QString GridDelegate::editorText(const QWidget *editor)
{
    if (const auto *combo = qobject_cast<const QComboBox *>(editor))
        return combo->currentText();
    if (QLineEdit *line = lineEditOf(const_cast<QWidget *>(editor)))
        return line->text();
    return {};
}

void GridDelegate::setEditorText(QWidget *editor, const QString &text)
{
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        if (combo->isEditable()) {
            combo->setEditText(text);
        } else {
            combo->setCurrentIndex(combo->findText(text));
        }
        return;
    }
    if (QLineEdit *line = lineEditOf(editor))
        line->setText(text);
}

bool GridDelegate::eventFilter(QObject *object, QEvent *event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (key && m_grid->editorKey(object, event))
        return true;
    // The text box of a "..." editor: Enter and Escape end the edit of the box around it.
    auto *line = qobject_cast<QLineEdit *>(object);
    QWidget *box = line ? line->parentWidget() : nullptr;
    if (box && box->objectName() == QLatin1String(EllipsisEditorName)) {
        if (event->type() == QEvent::KeyPress) {
            const int k = static_cast<QKeyEvent *>(event)->key();
            if (k == Qt::Key_Return || k == Qt::Key_Enter) {
                emit commitData(box);
                emit closeEditor(box, QAbstractItemDelegate::SubmitModelCache);
                return true;
            }
            if (k == Qt::Key_Escape) {
                emit closeEditor(box, QAbstractItemDelegate::RevertModelCache);
                return true;
            }
            if (k == Qt::Key_Tab || k == Qt::Key_Backtab) {
                emit commitData(box);
                emit closeEditor(box, k == Qt::Key_Tab ? QAbstractItemDelegate::EditNextItem
                                                       : QAbstractItemDelegate::EditPreviousItem);
                return true;
            }
        }
        return false;
    }
    if (line && qobject_cast<QComboBox *>(line->parentWidget()))
        return false; // the combo's own text box: the combo (the editor) gets the filter's work
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace grid
