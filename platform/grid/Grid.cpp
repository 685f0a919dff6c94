#include "grid/Grid.h"

#include "grid/GridFormat.h"
#include "grid/GridModel.h"
#include "grid/GridText.h"
#include "grid/GridView.h"

#include "ui/Twips.h"
#include "ui/VbColor.h"

#include "db/Recordset.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPointer>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimerEvent>
#include <QToolTip>
#include <QVarLengthArray>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace grid {

GridError::GridError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

namespace {

QPixmap makeSortPicture(bool ascending)
{
    QPixmap pm(9, 7);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(64, 64, 64));
    QPolygonF tri;
    if (ascending)
        tri << QPointF(0.5, 6.5) << QPointF(8.5, 6.5) << QPointF(4.5, 0.5);
    else
        tri << QPointF(0.5, 0.5) << QPointF(8.5, 0.5) << QPointF(4.5, 6.5);
    p.drawPolygon(tri);
    return pm;
}

} // namespace

// ================================================================ construction

Grid::Grid(QWidget *parent)
    : QWidget(parent)
{
    m_model = new GridModel(this);
    m_delegate = new GridDelegate(this);
    m_view = new GridView(this, false, this);
    m_view->setModel(m_model);
    setUpView(m_view);
    m_view->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusProxy(m_view);

    QItemSelectionModel *sm = m_view->selectionModel();
    connect(sm, &QItemSelectionModel::currentChanged, this, [this] { syncSelectionFromView(); });
    connect(sm, &QItemSelectionModel::selectionChanged, this, [this] { syncSelectionFromView(); });

    // The frozen view scrolls with the main one.
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (m_frozen)
            m_frozen->verticalScrollBar()->setValue(value);
    });
    for (QScrollBar *bar : {m_view->verticalScrollBar(), m_view->horizontalScrollBar()}) {
        connect(bar, &QScrollBar::actionTriggered, this, [this] { emit BeforeScroll(TopRow(), LeftCol()); });
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            const int top = TopRow();
            const int left = LeftCol();
            if (top != m_lastTop || left != m_lastLeft) {
                const int oldTop = m_lastTop;
                const int oldLeft = m_lastLeft;
                m_lastTop = top;
                m_lastLeft = left;
                emit AfterScroll(oldTop, oldLeft, top, left);
            }
        });
    }
    // Rows scrolled into view are measured as the view moves to them, before they are painted.
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { fitRowsInView(); });
    connect(m_view->verticalScrollBar(), &QScrollBar::sliderMoved, this, [this] {
        if (!m_scrollTips)
            return;
        emit BeforeScrollTip(TopRow());
        QScrollBar *bar = m_view->verticalScrollBar();
        QToolTip::showText(bar->mapToGlobal(QPoint(-4, bar->height() / 2)), m_scrollTipText, bar);
    });

    connect(m_model, &GridModel::fixedCellsChanged, this, [this] {
        for (GridView *v : views())
            v->horizontalHeader()->viewport()->update();
    });
    connect(m_model, &GridModel::rowHiddenChanged, this, [this](int r, bool hidden) {
        const int vr = r - m_model->fixedRows();
        if (vr < 0)
            return;
        m_view->setRowHidden(vr, hidden);
        if (m_frozen)
            m_frozen->setRowHidden(vr, hidden);
        if (!hidden)
            fitRowsInView();
    });
    // A reset (a sort, a narrower filter, another binding) puts other rows where the measured ones were.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_fittedRows.clear(); });
    connect(m_model, &GridModel::layoutRebuilt, this, [this] {
        applyColumnLayout();
        applyHiddenRows();
        afterStructureChange();
        updateGrowing();
        fitRowsInView();
    });
    connect(m_model, &QAbstractItemModel::columnsInserted, this, [this] { applyColumnLayout(); });
    connect(m_model, &QAbstractItemModel::columnsRemoved, this, [this] { afterStructureChange(); applyColumnLayout(); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        if (m_copying)
            return; // CopyFrom places the cursor once every slice is in
        afterStructureChange();
        if (m_model->isBound() && last + m_model->fixedRows() == m_model->rows() - 1) {
            rowsAppended(first + m_model->fixedRows());
            fitRowsInView();
        }
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { afterStructureChange(); });
    connect(m_model, &GridModel::rowsArrived, this, [this] { emit RowsFetched(m_model->rows()); });
    connect(m_model, &GridModel::fetchFailed, this, &Grid::FetchError);

    updateModelLook();
    applyRowHeight();
    applySelectionMode();
    applyEditTriggers();
    applyColumnLayout();
    m_lastTop = TopRow();
    m_lastLeft = LeftCol();
}

Grid::~Grid()
{
    for (GridView *v : views())
        v->viewport()->removeEventFilter(this);
    m_view->removeEventFilter(this);
    delete m_datePicker.data();
    // The frozen view first: the main view's scroll bar, going, must not reach it.
    delete m_frozen;
    m_frozen = nullptr;
    delete m_view; // before the model and delegate it uses
    m_view = nullptr;
    m_frozen = nullptr;
}

// ================================================================ helpers

int Grid::twipsX(int px) const { return int(ui::Twips::fromPixelsX(px, this) + 0.5); }
int Grid::twipsY(int px) const { return int(ui::Twips::fromPixelsY(px, this) + 0.5); }
int Grid::pixelsX(int twips) const { return ui::Twips::toPixelsX(twips, this); }
int Grid::pixelsY(int twips) const { return ui::Twips::toPixelsY(twips, this); }

QColor Grid::color(quint32 value) const
{
    const QPalette pal = palette();
    return ui::VbColor::toQColor(value, &pal);
}

int Grid::defaultColumnWidthPx() const
{
    return QFontMetrics(font()).averageCharWidth() * 10 + 6;
}

QModelIndex Grid::indexOf(int row, int col) const
{
    return m_model->index(row - m_model->fixedRows(), col);
}

int Grid::frozenCount() const
{
    return std::min(m_model->cols(), m_model->fixedCols() + m_frozenCols);
}

int Grid::visibleColumnNear(int col) const
{
    const int n = m_model->cols();
    for (int c = std::max(0, col); c < n; ++c)
        if (!m_model->column(c).hidden)
            return c;
    for (int c = std::min(col, n - 1); c >= 0; --c)
        if (!m_model->column(c).hidden)
            return c;
    return -1;
}

int Grid::gridX(QWidget *from, int x) const
{
    return from->mapTo(const_cast<Grid *>(this), QPoint(x, 0)).x();
}

int Grid::gridY(QWidget *from, int y) const
{
    return from->mapTo(const_cast<Grid *>(this), QPoint(0, y)).y();
}

// ================================================================ shape

int Grid::Rows() const
{
    m_model->syncBound();
    return m_model->rows();
}

void Grid::setRows(int rows)
{
    if (rows != m_model->rows())
        FinishEditing(true);
    m_model->setRows(rows);
    afterStructureChange();
}

int Grid::Cols() const { return m_model->cols(); }

void Grid::setCols(int cols)
{
    if (cols != m_model->cols())
        FinishEditing(true);
    m_model->setCols(cols);
    afterStructureChange();
    applyColumnLayout();
}

int Grid::FixedRows() const { return m_model->fixedRows(); }

void Grid::setFixedRows(int rows)
{
    FinishEditing(true);
    m_model->setFixedRows(rows);
    applyColumnLayout();
}

int Grid::FixedCols() const { return m_model->fixedCols(); }

void Grid::setFixedCols(int cols)
{
    m_model->setFixedCols(cols);
    applyColumnLayout();
}

// ================================================================ cells

QString Grid::TextMatrix(int row, int col) const
{
    return m_model->displayText(row, col);
}

void Grid::setTextMatrix(int row, int col, const QString &text)
{
    m_model->setText(row, col, text);
}

QString Grid::Text() const
{
    if (m_row < 0 || m_col < 0)
        throw GridRangeError("Grid.Text: there is no current cell");
    return TextMatrix(m_row, m_col);
}

void Grid::setText(const QString &text)
{
    if (m_row < 0 || m_col < 0)
        throw GridRangeError("Grid.Text: there is no current cell");
    setTextMatrix(m_row, m_col, text);
}

double Grid::ValueMatrix(int row, int col) const
{
    return m_model->value(row, col);
}

long long Grid::RecordIndex(int row) const
{
    return m_model->recordIndex(row);
}

bool Grid::IsNullMatrix(int row, int col) const
{
    return m_model->isNull(row, col);
}

QVariant Grid::Cell(int property, int r1, int c1, int r2, int c2) const
{
    Q_UNUSED(r2)
    Q_UNUSED(c2)
    if (r1 < 0 || c1 < 0) {
        int sr2 = 0, sc2 = 0;
        GetSelection(r1, c1, sr2, sc2);
    }
    m_model->checkRow(r1, "Cell");
    m_model->checkCol(c1, "Cell");
    const CellStyle style = m_model->effectiveStyle(r1, c1);
    const bool fixed = r1 < m_model->fixedRows() || c1 < m_model->fixedCols();
    switch (property) {
    case flexcpText:
        return m_model->rawText(r1, c1);
    case flexcpTextDisplay:
        return m_model->displayText(r1, c1);
    case flexcpValue:
        return m_model->value(r1, c1);
    case flexcpAlignment:
        return style.alignment >= 0 ? style.alignment : m_model->column(c1).alignment;
    case flexcpPicture:
        return style.picture;
    case flexcpPictureAlignment:
        return style.pictureAlignment;
    case flexcpChecked:
        if (m_model->column(c1).dataType != flexDTBoolean)
            return int(flexNoCheckbox);
        return format::isCheckedText(m_model->rawText(r1, c1)) ? int(flexChecked) : int(flexUnchecked);
    case flexcpBackColor:
        return style.backColor != NoColor ? style.backColor : (fixed ? m_backColorFixed : m_backColor);
    case flexcpForeColor:
        return style.foreColor != NoColor ? style.foreColor : (fixed ? m_foreColorFixed : m_foreColor);
    case flexcpFontName:
        return style.fontName.isEmpty() ? font().family() : style.fontName;
    case flexcpFontSize:
        return style.fontSize > 0 ? style.fontSize : font().pointSizeF();
    case flexcpFontBold:
        return style.bold >= 0 ? style.bold > 0 : font().bold();
    case flexcpFontItalic:
        return style.italic >= 0 ? style.italic > 0 : font().italic();
    case flexcpFontUnderline:
        return style.underline >= 0 ? style.underline > 0 : font().underline();
    case flexcpFontStrikethru:
        return style.strikeout >= 0 ? style.strikeout > 0 : font().strikeOut();
    case flexcpLeft:
        return ColPos(c1);
    case flexcpTop:
        return RowPos(r1);
    case flexcpWidth:
        return ColWidth(c1);
    case flexcpHeight:
        return RowHeight(r1);
    default:
        throw GridArgumentError(QStringLiteral("Grid.Cell: unknown property %1").arg(property));
    }
}

void Grid::setCell(int property, int r1, int c1, int r2, int c2, const QVariant &value)
{
    if (r1 < 0 || c1 < 0)
        GetSelection(r1, c1, r2, c2);
    if (r2 < 0)
        r2 = r1;
    if (c2 < 0)
        c2 = c1;
    for (int r : {r1, r2})
        m_model->checkRow(r, "Cell");
    for (int c : {c1, c2})
        m_model->checkCol(c, "Cell");
    if (r1 > r2)
        std::swap(r1, r2);
    if (c1 > c2)
        std::swap(c1, c2);
    auto toColor = [&value] {
        const qlonglong v = value.toLongLong();
        return v < 0 ? NoColor : quint32(v);
    };
    auto toFlag = [&value]() -> qint8 { return value.isValid() ? (value.toBool() ? 1 : 0) : -1; };
    for (int r = r1; r <= r2; ++r) {
        for (int c = c1; c <= c2; ++c) {
            switch (property) {
            case flexcpText:
                m_model->setText(r, c, value.toString());
                continue;
            case flexcpChecked:
                m_model->setText(r, c, value.toInt() == flexChecked ? QStringLiteral("True") : QStringLiteral("False"));
                continue;
            case flexcpTextDisplay:
            case flexcpValue:
            case flexcpLeft:
            case flexcpTop:
            case flexcpWidth:
            case flexcpHeight:
                throw GridArgumentError("Grid.Cell: this property can only be read");
            default:
                break;
            }
            CellStyle &st = m_model->cellStyleRef(r, c);
            switch (property) {
            case flexcpAlignment: st.alignment = value.isValid() ? value.toInt() : -1; break;
            case flexcpPicture: st.picture = value; break;
            case flexcpPictureAlignment: st.pictureAlignment = value.toInt(); break;
            case flexcpBackColor: st.backColor = toColor(); break;
            case flexcpForeColor: st.foreColor = toColor(); break;
            case flexcpFontName: st.fontName = value.toString(); break;
            case flexcpFontSize: st.fontSize = value.toDouble(); break;
            case flexcpFontBold: st.bold = toFlag(); break;
            case flexcpFontItalic: st.italic = toFlag(); break;
            case flexcpFontUnderline: st.underline = toFlag(); break;
            case flexcpFontStrikethru: st.strikeout = toFlag(); break;
            default:
                throw GridArgumentError(QStringLiteral("Grid.Cell: unknown property %1").arg(property));
            }
        }
    }
    const int fixed = m_model->fixedRows();
    if (r1 < fixed)
        emit m_model->fixedCellsChanged();
    if (r2 >= fixed && m_model->redraw()) {
        for (GridView *v : views())
            v->viewport()->update();
    }
}

void Grid::AddItem(const QString &item, int index)
{
    const int at = index < 0 ? m_model->rows() : index;
    m_model->insertRow(at, item.split(QLatin1Char('\t')));
    afterStructureChange();
}

void Grid::RemoveItem(int index)
{
    FinishEditing(true);
    m_model->removeRow(index < 0 ? m_model->rows() - 1 : index);
    afterStructureChange();
}

void Grid::Clear(int where, int what)
{
    if (where < 0 || where > 2 || what < 0 || what > 2)
        throw GridArgumentError("Grid.Clear: where is 0 to 2, what 0 to 2");
    FinishEditing(true);
    m_model->clear(what != 1, what != 2, where != 2, where != 1);
    if (what != 2) {
        for (int c = 0; c < m_model->cols(); ++c)
            m_model->column(c).sortPicture = flexSortNone;
        m_sortKeys.clear();
    }
}

// ================================================================ rows and columns

bool Grid::ColHidden(int col) const
{
    m_model->checkCol(col, "ColHidden");
    return m_model->column(col).hidden;
}

void Grid::setColHidden(int col, bool hidden)
{
    m_model->checkCol(col, "ColHidden");
    m_model->column(col).hidden = hidden;
    if (hidden)
        m_model->column(col).autoPadPx = -1;
    applyColumnLayout();
}

bool Grid::RowHidden(int row) const
{
    return m_model->rowHidden(row);
}

void Grid::setRowHidden(int row, bool hidden)
{
    m_model->setRowHidden(row, hidden);
}

int Grid::ColWidth(int col) const
{
    m_model->checkCol(col, "ColWidth");
    const int px = m_model->column(col).widthPx;
    return twipsX(px >= 0 ? px : defaultColumnWidthPx());
}

void Grid::setColWidth(int col, int twips)
{
    m_model->checkCol(col, "ColWidth");
    m_model->column(col).widthPx = twips < 0 ? -1 : pixelsX(twips);
    m_model->column(col).autoPadPx = -1;
    applyColumnLayout();
}

int Grid::RowHeight(int row) const
{
    m_model->checkRow(row, "RowHeight");
    return twipsY(m_rowHeightPx);
}

void Grid::setRowHeight(int row, int twips)
{
    if (row >= 0)
        m_model->checkRow(row, "RowHeight");
    if (twips < 0) {
        m_rowHeightSet = false;
    } else {
        m_rowHeightSet = true;
        m_rowHeightPx = std::max(1, pixelsY(twips));
    }
    applyRowHeight();
}

int Grid::ColPos(int col) const
{
    settleLayout();
    m_model->checkCol(col, "ColPos");
    GridView *v = col < frozenCount() && m_frozen && m_frozen->isVisible() ? m_frozen : m_view;
    return twipsX(gridX(v->viewport(), v->columnViewportPosition(col)));
}

int Grid::RowPos(int row) const
{
    settleLayout();
    m_model->checkRow(row, "RowPos");
    const int fixed = m_model->fixedRows();
    if (row < fixed)
        return twipsY(gridY(m_view->horizontalHeader(), row * m_rowHeightPx));
    return twipsY(gridY(m_view->viewport(), m_view->rowViewportPosition(row - fixed)));
}

void Grid::setColPosition(int col, int position)
{
    FinishEditing(false);
    m_model->moveColumn(col, position);
    m_sortKeys.clear();
}

void Grid::setFrozenCols(int cols)
{
    if (cols < 0)
        throw GridArgumentError("Grid.FrozenCols: cannot be negative");
    m_frozenCols = cols;
    applyColumnLayout();
}

namespace {

// How AutoSize measures cells: each text in its font (bold where the cell or its subtotal row
// is), a picture's room beside it, data cells counted up to about fifty characters (one very
// long value must not make its column screens wide; the cell's tooltip and View Cell show the
// rest), headings whole.
class CellMeasure {
public:
    CellMeasure(const GridModel &model, const QFont &font, int rowHeightPx)
        : m(model)
        , base(font)
        , boldFont(font)
        , dataCap(std::max(200, QFontMetrics(font).averageCharWidth() * 50))
        , pictureRoom(rowHeightPx + 2)
    {
        boldFont.setBold(true);
    }

    // The widest text of column c in `rows` (grid rows), pixels, without the column's padding.
    int widest(int c, const std::vector<int> &rows)
    {
        const int fixed = m.fixedRows();
        int widest = 0;
        candidates.clear();
        const bool boolCol = m.column(c).dataType == flexDTBoolean;
        for (int r : rows) {
            // Text merged across columns is not one column's width.
            if (m.mergesWithLeft(r, c) || (c + 1 < m.cols() && m.mergesWithLeft(r, c + 1)))
                continue;
            const CellStyle *style = m.cellStyle(r, c);
            const bool bold = (style && style->bold > 0) || (m.isSubtotal(r) && m.effectiveStyle(r, c).bold > 0);
            const int picture = style && style->picture.isValid() ? pictureRoom : 0;
            int w = 0;
            if (boolCol && r >= fixed) {
                w = 14;
            } else {
                QString text = m.displayText(r, c);
                if (!text.isEmpty()) {
                    if (style && (!style->fontName.isEmpty() || style->fontSize > 0)) {
                        w = textWidth(m.cellData(r, c, Qt::FontRole).value<QFont>(), text);
                    } else if (const std::optional<qreal> quick = quickWidth(bold ? boldFont : base, text)) {
                        qreal upper = *quick + quickWidthSlack(*quick) + picture;
                        if (r >= fixed)
                            upper = std::min<qreal>(upper, dataCap);
                        if (upper > widest)
                            candidates.push_back({upper, r, picture, bold, std::move(text)});
                        continue;
                    } else {
                        w = textWidth(bold ? boldFont : base, text);
                    }
                }
            }
            w += picture;
            if (r >= fixed)
                w = std::min(w, dataCap);
            widest = std::max(widest, w);
        }
        // Texts whose width can be told from their characters are laid out only while they
        // might still be the widest: most cells of a column never are.
        std::sort(candidates.begin(), candidates.end(),
                  [](const Candidate &a, const Candidate &b) { return a.upper > b.upper; });
        for (const Candidate &k : candidates) {
            if (k.upper <= widest)
                break;
            int w = textWidth(k.bold ? boldFont : base, k.text) + k.extra;
            if (k.row >= fixed)
                w = std::min(w, dataCap);
            widest = std::max(widest, w);
        }
        return widest;
    }

private:
    struct Candidate {
        qreal upper; // at most this wide, picture included
        int row;
        int extra;   // the picture's room
        bool bold;
        QString text;
    };
    const GridModel &m;
    QFont base;
    QFont boldFont;
    const int dataCap;
    const int pictureRoom;
    std::vector<Candidate> candidates;
};

// The room AutoSize leaves beside a column's widest text: the cell's text margins and lines.
constexpr int autoSizePadPx = 2 * 3 + 2;

// Columns whose cells show '#' rather than a cut figure, or a date that must read whole; text
// columns elide and are left as sized.
bool growsToFit(const ColumnInfo &info)
{
    return info.autoPadPx >= 0 && !info.hidden && (isNumericType(info.dataType) || info.dataType == flexDTDate);
}

} // namespace

void Grid::AutoSize(int col1, int col2, bool equal, int extraSpace)
{
    if (col2 < 0)
        col2 = col1;
    m_model->checkCol(col1, "AutoSize");
    m_model->checkCol(col2, "AutoSize");
    if (col1 > col2)
        std::swap(col1, col2);
    m_model->syncBound();
    const int rows = m_model->rows();
    const int fixed = m_model->fixedRows();
    // The rows measured: all fixed rows, then the rows on screen while a bound result is still
    // arriving (its first screen when it is new), all rows of a small grid, and on a large one the
    // first, the visible and the last.
    std::vector<int> sample;
    for (int r = 0; r < fixed; ++r)
        sample.push_back(r);
    const int dataRows = rows - fixed;
    const bool arriving = m_model->isBound() && m_model->recordset() && !m_model->recordset()->isComplete();
    if (arriving) {
        const int top = TopRow();
        const int screen = m_view->viewport()->height() / std::max(1, m_rowHeightPx) + 1;
        for (int r = std::max(fixed, top); r <= std::min(rows - 1, top + screen); ++r)
            sample.push_back(r);
    } else if (dataRows <= m_autoSizeSample) {
        for (int r = fixed; r < rows; ++r)
            sample.push_back(r);
    } else {
        const int half = m_autoSizeSample / 2;
        for (int r = fixed; r < fixed + half; ++r)
            sample.push_back(r);
        const int top = TopRow();
        const int screen = m_view->viewport()->height() / std::max(1, m_rowHeightPx) + 1;
        for (int r = std::max(fixed + half, top); r <= std::min(rows - 1, top + screen); ++r)
            sample.push_back(r);
        for (int r = std::max(fixed + half, rows - half); r < rows; ++r)
            sample.push_back(r);
    }
    const int extra = extraSpace > 0 ? pixelsX(extraSpace) : 0;
    CellMeasure measure(*m_model, font(), m_rowHeightPx);
    std::vector<int> widths;
    for (int c = col1; c <= col2; ++c)
        widths.push_back(measure.widest(c, sample) + autoSizePadPx + extra);
    if (equal && !widths.empty()) {
        const int w = *std::max_element(widths.begin(), widths.end());
        std::fill(widths.begin(), widths.end(), w);
    }
    bool othersGrow = false; // columns outside col1..col2 that fit the rows measured before
    for (int c = 0; c < m_model->cols(); ++c) {
        ColumnInfo &info = m_model->column(c);
        if (c < col1 || c > col2) {
            othersGrow = othersGrow || growsToFit(info);
            continue;
        }
        info.widthPx = widths[std::size_t(c - col1)];
        // Equal widths stay equal: those columns do not grow one by one.
        info.autoPadPx = equal || info.hidden ? -1 : autoSizePadPx + extra;
    }
    if (m_model->isBound()) {
        // The auto-sized columns now fit the data rows measured, and the others (if any) what
        // they fitted before: both where they overlap.
        std::vector<std::pair<int, int>> before;
        if (othersGrow)
            before.swap(m_fittedRows);
        m_fittedRows.clear();
        for (int r : sample)
            if (r >= fixed)
                addFittedRows(r, r);
        if (othersGrow) {
            std::vector<std::pair<int, int>> both;
            for (const auto &[a, b] : m_fittedRows)
                for (const auto &[x, y] : before)
                    if (std::max(a, x) <= std::min(b, y))
                        both.emplace_back(std::max(a, x), std::min(b, y));
            m_fittedRows = std::move(both);
        }
    }
    updateGrowing();
    applyColumnLayout();
}

void Grid::updateGrowing()
{
    m_growing = false;
    if (!m_model->isBound())
        return;
    for (int c = 0; c < m_model->cols() && !m_growing; ++c)
        m_growing = growsToFit(m_model->column(c));
}

void Grid::addFittedRows(int first, int last)
{
    // Ranges touching or overlapping [first, last] become one with it.
    auto it = std::lower_bound(m_fittedRows.begin(), m_fittedRows.end(), first - 1,
                               [](const std::pair<int, int> &range, int row) { return range.second < row; });
    if (it != m_fittedRows.end() && it->first <= last + 1) {
        it->first = std::min(it->first, first);
        it->second = std::max(it->second, last);
        auto next = std::next(it);
        while (next != m_fittedRows.end() && next->first <= it->second + 1) {
            it->second = std::max(it->second, next->second);
            next = m_fittedRows.erase(next);
        }
        return;
    }
    m_fittedRows.insert(it, {first, last});
}

void Grid::fitRowsInView()
{
    if (!m_growing || !m_redraw || !m_view)
        return;
    if (m_fitting) {
        // Widening columns brought a scroll bar and another layout: its rows are measured next.
        m_fitAgain = true;
        return;
    }
    m_fitting = true;
    try {
        int rounds = 0;
        do {
            m_fitAgain = false;
            fitRows(TopRow(), BottomRow());
        } while (m_fitAgain && ++rounds < 4);
    } catch (const std::exception &) {
        // A row that cannot be read keeps the widths as they are; it paints empty.
    }
    m_fitting = false;
}

void Grid::fitRows(int top, int bottom)
{
    const int fixed = m_model->fixedRows();
    top = std::max(top, fixed);
    bottom = std::min(bottom, m_model->rows() - 1);
    if (top > bottom)
        return;
    std::vector<int> fresh;
    int r = top;
    auto it = std::lower_bound(m_fittedRows.begin(), m_fittedRows.end(), top,
                               [](const std::pair<int, int> &range, int row) { return range.second < row; });
    for (; it != m_fittedRows.end() && it->first <= bottom && r <= bottom; ++it) {
        for (; r < it->first; ++r)
            fresh.push_back(r);
        r = std::max(r, it->second + 1);
    }
    for (; r <= bottom; ++r)
        fresh.push_back(r);
    if (fresh.empty())
        return;
    CellMeasure measure(*m_model, font(), m_rowHeightPx);
    bool grew = false;
    for (int c = 0; c < m_model->cols(); ++c) {
        ColumnInfo &info = m_model->column(c);
        if (!growsToFit(info))
            continue;
        const int need = measure.widest(c, fresh) + info.autoPadPx;
        if (need > info.widthPx) {
            info.widthPx = need;
            grew = true;
        }
    }
    addFittedRows(top, bottom);
    if (grew)
        applyColumnLayout();
}

int Grid::ColDataType(int col) const
{
    m_model->checkCol(col, "ColDataType");
    return m_model->column(col).dataType;
}

void Grid::setColDataType(int col, int type)
{
    m_model->checkCol(col, "ColDataType");
    m_model->column(col).dataType = type;
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

QString Grid::ColFormat(int col) const
{
    m_model->checkCol(col, "ColFormat");
    return m_model->column(col).format;
}

void Grid::setColFormat(int col, const QString &format)
{
    m_model->checkCol(col, "ColFormat");
    m_model->column(col).format = format;
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

int Grid::ColAlignment(int col) const
{
    m_model->checkCol(col, "ColAlignment");
    return m_model->column(col).alignment;
}

void Grid::setColAlignment(int col, int alignment)
{
    m_model->checkCol(col, "ColAlignment");
    if (alignment < flexAlignLeftTop || alignment > flexAlignGeneral)
        throw GridArgumentError("Grid.ColAlignment: 0 to 9");
    m_model->column(col).alignment = alignment;
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

int Grid::FixedAlignment(int col) const
{
    m_model->checkCol(col, "FixedAlignment");
    const int a = m_model->column(col).fixedAlignment;
    return a < 0 ? flexAlignLeftCenter : a;
}

void Grid::setFixedAlignment(int col, int alignment)
{
    m_model->checkCol(col, "FixedAlignment");
    if (alignment < flexAlignLeftTop || alignment > flexAlignGeneral)
        throw GridArgumentError("Grid.FixedAlignment: 0 to 9");
    m_model->column(col).fixedAlignment = alignment;
    emit m_model->fixedCellsChanged();
}

QString Grid::ColComboList(int col) const
{
    m_model->checkCol(col, "ColComboList");
    return m_model->column(col).comboList;
}

void Grid::setColComboList(int col, const QString &list)
{
    m_model->checkCol(col, "ColComboList");
    m_model->column(col).comboList = list;
}

QString Grid::ColKey(int col) const
{
    m_model->checkCol(col, "ColKey");
    return m_model->column(col).key;
}

void Grid::setColKey(int col, const QString &key)
{
    m_model->checkCol(col, "ColKey");
    m_model->column(col).key = key;
}

int Grid::ColIndex(const QString &key) const
{
    for (int c = 0; c < m_model->cols(); ++c)
        if (m_model->column(c).key.compare(key, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

int Grid::ColSort(int col) const
{
    m_model->checkCol(col, "ColSort");
    return m_model->column(col).colSort;
}

void Grid::setColSort(int col, int order)
{
    m_model->checkCol(col, "ColSort");
    if (order < flexSortNone || order > flexSortStringDescending)
        throw GridArgumentError("Grid.ColSort: 0 to 8");
    m_model->column(col).colSort = order;
}

bool Grid::MergeCol(int col) const
{
    m_model->checkCol(col, "MergeCol");
    return m_model->column(col).merge;
}

void Grid::setMergeCol(int col, bool merge)
{
    m_model->checkCol(col, "MergeCol");
    m_model->column(col).merge = merge;
    emit m_model->fixedCellsChanged();
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

bool Grid::MergeRow(int row) const
{
    return m_model->rowMerge(row);
}

void Grid::setMergeRow(int row, bool merge)
{
    m_model->setRowMerge(row, merge);
    m_view->viewport()->update();
}

int Grid::MergeCells() const { return m_model->mergeCells(); }

void Grid::setMergeCells(int mode)
{
    if (mode < flexMergeNever || mode > flexMergeFixedOnly)
        throw GridArgumentError("Grid.MergeCells: 0 to 5");
    m_model->setMergeCells(mode);
    emit m_model->fixedCellsChanged();
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

// ================================================================ totals and sorting

void Grid::Subtotal(int function, int groupOn, int totalOn, const QString &format, quint32 backColor,
                    quint32 foreColor, bool fontBold, const QString &caption, int matchFrom)
{
    FinishEditing(true);
    m_model->subtotal(function, groupOn, totalOn, format, backColor, foreColor, fontBold, caption, matchFrom);
}

double Grid::Aggregate(int function, int r1, int c1, int r2, int c2) const
{
    return m_model->aggregate(function, r1, c1, r2, c2);
}

bool Grid::IsSubtotal(int row) const { return m_model->isSubtotal(row); }

int Grid::RowOutlineLevel(int row) const { return m_model->rowLevel(row); }

void Grid::setSort(int order)
{
    if (order == flexSortNone || m_col < 0)
        return;
    if (order < flexSortGenericAscending || order > flexSortUseColSort)
        throw GridArgumentError("Grid.Sort: unknown sort setting");
    std::vector<std::pair<int, int>> keys;
    for (int c = std::min(m_col, m_colSel); c <= std::max(m_col, m_colSel); ++c)
        keys.emplace_back(c, order == flexSortUseColSort ? m_model->column(c).colSort : order);
    keys.erase(std::remove_if(keys.begin(), keys.end(), [](const auto &k) { return k.second == flexSortNone; }),
               keys.end());
    FinishEditing(false);
    std::vector<GridModel::SortKey> modelKeys;
    for (const auto &[c, o] : keys)
        modelKeys.push_back({c, o});
    m_model->sortRows(modelKeys);
}

void Grid::SortByColumns(const std::vector<std::pair<int, int>> &keys, bool pictures)
{
    for (const auto &[c, o] : keys) {
        m_model->checkCol(c, "SortByColumns");
        if (o < flexSortGenericAscending || o > flexSortStringDescending)
            throw GridArgumentError("Grid.SortByColumns: each order is 1 to 8");
    }
    sortAndShow(keys, pictures);
}

void Grid::sortAndShow(const std::vector<std::pair<int, int>> &keys, bool pictures)
{
    FinishEditing(false);
    std::vector<GridModel::SortKey> modelKeys;
    for (const auto &[c, o] : keys)
        modelKeys.push_back({c, o});
    m_model->sortRows(modelKeys);
    m_sortKeys = keys;
    if (pictures) {
        for (int c = 0; c < m_model->cols(); ++c)
            if (m_model->column(c).sortPicture != flexSortNone)
                setColSortPicture(c, flexSortNone);
        for (const auto &[c, o] : keys)
            setColSortPicture(c, o);
    }
}

void Grid::headerClicked(int fixedRow, int col, Qt::KeyboardModifiers modifiers)
{
    try {
        emit Click();
        if (!(m_explorerBar & flexExSort)) {
            // A click on a header selects the column.
            if (fixedRow >= 0 && m_model->rows() > m_model->fixedRows())
                Select(m_model->fixedRows(), col, m_model->rows() - 1, col);
            return;
        }
        int current = flexSortNone;
        for (const auto &[c, o] : m_sortKeys)
            if (c == col)
                current = o;
        int order = current == flexSortGenericAscending ? flexSortGenericDescending : flexSortGenericAscending;
        const auto sourceBefore = m_source;
        emit BeforeSort(col, order);
        if (order == flexSortNone)
            return;
        std::vector<std::pair<int, int>> keys;
        if (modifiers & Qt::ShiftModifier)
            keys = m_sortKeys; // Shift adds the column to the sort in force
        auto it = std::find_if(keys.begin(), keys.end(), [col](const auto &k) { return k.first == col; });
        if (it != keys.end())
            it->second = order;
        else
            keys.emplace_back(col, order);
        const bool pictures = (m_explorerBar & 4) != 0;
        if (m_model->isBound() && m_source != sourceBefore) {
            // The handler ran the query again in this order; sorting the new rows again would
            // only fetch them all.
            m_sortKeys = keys;
            if (pictures)
                for (const auto &[c, o] : keys)
                    setColSortPicture(c, o);
        } else {
            sortAndShow(keys, pictures);
        }
        emit AfterSort(col, order);
    } catch (const std::exception &) {
        // A failing sort leaves the rows as they were.
    }
}

void Grid::setColSortPicture(int col, int order)
{
    m_model->checkCol(col, "ColSortPicture");
    m_model->column(col).sortPicture = order;
    const int row = m_model->fixedRows() - 1;
    if (row < 0)
        return;
    CellStyle &st = m_model->cellStyleRef(row, col);
    if (order == flexSortNone) {
        st.picture = QVariant();
    } else {
        st.picture = sortPicture(order);
        st.pictureAlignment = flexPicAlignRightCenter;
    }
    emit m_model->fixedCellsChanged();
}

int Grid::ColSortPicture(int col) const
{
    m_model->checkCol(col, "ColSortPicture");
    return m_model->column(col).sortPicture;
}

QPixmap Grid::sortPicture(int order)
{
    const bool descending = order == flexSortGenericDescending || order == flexSortNumericDescending
        || order == flexSortStringNoCaseDescending || order == flexSortStringDescending;
    return makeSortPicture(!descending);
}

// ================================================================ appearance

namespace {

// Qt's item views put their layout off to zero-length timers (a column resized, the items laid
// out again). Those fire after the window's next paint and have the view painted a second time;
// run now, as the event loop would run them, they let that one paint show the final layout.
void runZeroTimers(QObject *object)
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(object->thread());
    if (!dispatcher)
        return;
    for (const QAbstractEventDispatcher::TimerInfo &timer : dispatcher->registeredTimers(object)) {
        if (timer.interval != 0)
            continue;
        QTimerEvent event(timer.timerId);
        QCoreApplication::sendEvent(object, &event);
    }
}

} // namespace

void Grid::setRedraw(int redraw)
{
    m_redraw = redraw;
    const bool on = redraw != 0;
    m_model->setRedraw(on);
    // Only what shows cells stops drawing: the scroll bars and frame, whose state the layout held
    // back (below) keeps as it was, are not painted again for nothing once Redraw is on.
    for (GridView *v : views()) {
        v->viewport()->setUpdatesEnabled(on);
        v->horizontalHeader()->viewport()->setUpdatesEnabled(on);
    }
    if (on) {
        settleLayout();
        for (GridView *v : views()) {
            runZeroTimers(v);
            runZeroTimers(v->horizontalHeader());
        }
        fitRowsInView(); // rows that came into view meanwhile
        updateFrozenGeometry();
        m_view->viewport()->update();
        m_view->horizontalHeader()->viewport()->update();
    }
}

void Grid::setGridLines(int style)
{
    if (style < flexGridNone || style > flexGridExcel)
        throw GridArgumentError("Grid.GridLines: 0 to 13");
    m_gridLines = style;
    update();
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

void Grid::setGridLinesFixed(int style)
{
    if (style < flexGridNone || style > flexGridExcel)
        throw GridArgumentError("Grid.GridLinesFixed: 0 to 13");
    m_gridLinesFixed = style;
    emit m_model->fixedCellsChanged();
}

#define GRID_COLOR_SETTER(name, member)                                                                     \
    void Grid::set##name(quint32 color)                                                                    \
    {                                                                                                      \
        member = color;                                                                                    \
        updateModelLook();                                                                                 \
        m_view->viewport()->update();                                                                      \
        if (m_frozen)                                                                                      \
            m_frozen->viewport()->update();                                                                \
    }
GRID_COLOR_SETTER(GridColor, m_gridColor)
GRID_COLOR_SETTER(BackColor, m_backColor)
GRID_COLOR_SETTER(ForeColor, m_foreColor)
GRID_COLOR_SETTER(BackColorAlternate, m_backColorAlternate)
GRID_COLOR_SETTER(BackColorFixed, m_backColorFixed)
GRID_COLOR_SETTER(ForeColorFixed, m_foreColorFixed)
GRID_COLOR_SETTER(BackColorSel, m_backColorSel)
GRID_COLOR_SETTER(ForeColorSel, m_foreColorSel)
#undef GRID_COLOR_SETTER

void Grid::setWallPaper(const QPixmap &picture)
{
    m_wallPaper = picture;
    m_view->viewport()->update();
    if (m_frozen)
        m_frozen->viewport()->update();
}

void Grid::LoadWallPaper(const QString &path)
{
    if (path.isEmpty()) {
        setWallPaper(QPixmap());
        return;
    }
    QPixmap pm;
    if (!pm.load(path))
        throw GridError(QStringLiteral("Grid.WallPaper: \"%1\" is not a picture that can be read").arg(path));
    setWallPaper(pm);
}

void Grid::setWallPaperAlignment(int alignment)
{
    if (alignment < flexPicAlignLeftTop || alignment > flexPicAlignTile)
        throw GridArgumentError("Grid.WallPaperAlignment: 0 to 10");
    m_wallPaperAlignment = alignment;
    m_view->viewport()->update();
}

void Grid::setAllowUserResizing(int settings)
{
    if (settings < flexResizeNone || settings > flexResizeBoth)
        throw GridArgumentError("Grid.AllowUserResizing: 0 to 3");
    m_allowUserResizing = settings;
    const auto mode = (settings & flexResizeColumns) ? QHeaderView::Interactive : QHeaderView::Fixed;
    m_view->horizontalHeader()->setSectionResizeMode(mode);
    if (m_frozen)
        m_frozen->horizontalHeader()->setSectionResizeMode(mode);
}

QString Grid::ToolTipText() const
{
    return m_view->viewport()->toolTip();
}

void Grid::setToolTipText(const QString &text)
{
    for (GridView *v : views()) {
        v->viewport()->setToolTip(text);
        v->horizontalHeader()->setToolTip(text);
    }
}

// ================================================================ binding

void Grid::setDataMode(int mode)
{
    if (mode != flexDMFree && mode != flexDMBound)
        throw GridArgumentError("Grid.DataMode: 0 (copy the rows) or 4 (view the recordset)");
    m_dataMode = mode;
}

void Grid::setDataSource(const std::shared_ptr<db::Recordset> &recordset)
{
    FinishEditing(true);
    m_sortKeys.clear();
    m_listSelected.clear();
    if (!recordset) {
        m_source.reset();
        m_model->unbind();
        return;
    }
    m_row = m_col = m_rowSel = m_colSel = -1;
    m_model->bind(recordset, m_dataMode);
    m_source = recordset;
    afterStructureChange();
}

void Grid::CopyFrom(const std::shared_ptr<db::Recordset> &recordset)
{
    if (!recordset)
        throw GridArgumentError("Grid.CopyFrom: no recordset");
    FinishEditing(true);
    m_sortKeys.clear();
    m_listSelected.clear();
    m_row = m_col = m_rowSel = m_colSel = -1;
    m_model->bind(recordset, flexDMFree);
    afterStructureChange();
}

bool Grid::CopyFrom(const std::shared_ptr<db::Recordset> &recordset, int columns,
                    const std::function<bool()> &keepGoing)
{
    if (!recordset)
        throw GridArgumentError("Grid.CopyFrom: no recordset");
    FinishEditing(true);
    m_sortKeys.clear();
    m_listSelected.clear();
    m_row = m_col = m_rowSel = m_colSel = -1;
    bool whole = false;
    {
        // keepGoing may turn the event loop, and a host may destroy the grid meanwhile: the flag is
        // put back only on a grid that is still there.
        const QPointer<Grid> self(this);
        m_copying = true;
        const auto copied = qScopeGuard([&] {
            if (self)
                m_copying = false;
        });
        whole = m_model->copyFrom(recordset, columns, keepGoing);
    }
    afterStructureChange();
    return whole;
}

void Grid::setBetweenRows(std::function<bool()> keepGoing)
{
    m_model->setBetweenRows(std::move(keepGoing));
}

int Grid::FetchChunk() const { return m_model->fetchChunk(); }
void Grid::setFetchChunk(int rows) { m_model->setFetchChunk(rows); }

// ================================================================ find, copy

int Grid::FindRow(const QString &text, int startRow, int col, bool caseSensitive, bool fullMatch)
{
    m_model->checkCol(col, "FindRow");
    if (m_model->column(col).hidden)
        return -1; // what the user cannot see is never found
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int r = startRow < 0 ? m_model->fixedRows() : startRow;; ++r) {
        if (r >= m_model->rows() && !m_model->ensureRow(r))
            return -1;
        if (m_model->rowHidden(r))
            continue; // what the user cannot see is never found
        const QString cell = m_model->displayText(r, col);
        if (fullMatch ? cell.compare(text, cs) == 0 : cell.contains(text, cs))
            return r;
    }
}

QString Grid::Clip() const
{
    int r1, c1, r2, c2;
    GetSelection(r1, c1, r2, c2);
    if (r1 < 0)
        return {};
    QStringList lines;
    for (int r = r1; r <= r2; ++r) {
        if (m_model->rowHidden(r))
            continue;
        if (m_selectionMode == flexSelectionListBox && !m_listSelected.empty() && !m_listSelected.count(r))
            continue;
        QStringList cells;
        for (int c = c1; c <= c2; ++c)
            if (!m_model->column(c).hidden)
                cells << m_model->displayText(r, c);
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1String("\r\n"));
}

// ================================================================ view side

void Grid::applyRowHeight()
{
    if (!m_rowHeightSet)
        m_rowHeightPx = std::max(12, QFontMetrics(font()).height() + 4);
    // Qt gives every column the new default width: not a resize of the grid's columns, which
    // keep their own widths (put back below).
    const bool was = m_syncing;
    m_syncing = true;
    for (GridView *v : views()) {
        v->verticalHeader()->setDefaultSectionSize(m_rowHeightPx);
        v->horizontalHeader()->setDefaultSectionSize(defaultColumnWidthPx());
        v->relayout();
    }
    m_syncing = was;
    applyColumnLayout();
    fitRowsInView(); // lower rows show more of them
}

void Grid::applySelectionMode()
{
    for (GridView *v : views()) {
        switch (m_selectionMode) {
        case flexSelectionByRow:
            v->setSelectionBehavior(QAbstractItemView::SelectRows);
            v->setSelectionMode(QAbstractItemView::ContiguousSelection);
            break;
        case flexSelectionByColumn:
            v->setSelectionBehavior(QAbstractItemView::SelectColumns);
            v->setSelectionMode(QAbstractItemView::ContiguousSelection);
            break;
        case flexSelectionListBox:
            v->setSelectionBehavior(QAbstractItemView::SelectRows);
            v->setSelectionMode(QAbstractItemView::ExtendedSelection);
            break;
        default:
            v->setSelectionBehavior(QAbstractItemView::SelectItems);
            v->setSelectionMode(QAbstractItemView::ContiguousSelection);
            break;
        }
    }
}

void Grid::applyEditTriggers()
{
    QAbstractItemView::EditTriggers triggers = QAbstractItemView::NoEditTriggers;
    if (m_editable == flexEDKbd)
        triggers = QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed;
    else if (m_editable == flexEDKbdMouse)
        triggers = QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
            | QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked;
    for (GridView *v : views())
        v->setEditTriggers(triggers);
}

void Grid::applyColumnLayout()
{
    if (!m_view)
        return;
    const int frozen = frozenCount();
    attachFrozenModel(frozen > 0);
    const bool was = m_syncing;
    m_syncing = true;
    const int cols = m_model->cols();
    const int defaultWidth = defaultColumnWidthPx();
    for (int c = 0; c < cols; ++c) {
        const ColumnInfo &info = m_model->column(c);
        const int w = info.widthPx >= 0 ? info.widthPx : defaultWidth;
        m_view->setColumnHidden(c, info.hidden);
        if (m_frozen)
            m_frozen->setColumnHidden(c, info.hidden || c >= frozen);
        if (!info.hidden) {
            if (m_view->columnWidth(c) != w)
                m_view->setColumnWidth(c, w);
            if (c < frozen && m_frozen && m_frozen->columnWidth(c) != w)
                m_frozen->setColumnWidth(c, w);
        }
    }
    const bool header = m_model->fixedRows() > 0;
    for (GridView *v : views()) {
        v->horizontalHeader()->setVisible(header);
        // With Redraw off the view is laid out once it is on again (or asked where things are):
        // rows let go and bound again meanwhile never reach its scroll bars.
        if (m_redraw)
            v->relayout();
        else
            m_relayoutPending = true;
        v->horizontalHeader()->viewport()->update();
    }
    m_syncing = was;
    updateFrozenGeometry();
}

void Grid::settleLayout() const
{
    if (!m_relayoutPending)
        return;
    m_relayoutPending = false;
    for (GridView *v : views())
        v->relayout();
}

void Grid::applyHiddenRows()
{
    if (m_model->isBound() || !m_model->rowsMayBeHidden())
        return; // bound rows start visible; hidden ones are announced one by one
    const int fixed = m_model->fixedRows();
    for (int r = fixed; r < m_model->rows(); ++r) {
        if (m_model->rowHidden(r)) {
            m_view->setRowHidden(r - fixed, true);
            if (m_frozen)
                m_frozen->setRowHidden(r - fixed, true);
        }
    }
}

void Grid::setUpView(GridView *v)
{
    v->setItemDelegate(m_delegate);
    v->viewport()->installEventFilter(this);
    v->viewport()->setMouseTracking(true);
    connect(v->horizontalHeader(), &QHeaderView::sectionResized, this, [this, v](int c, int, int size) {
        if (m_syncing || c < 0 || c >= m_model->cols())
            return;
        // Sized by hand (a drag, a double click on the divider): it stays as the user left it.
        m_model->column(c).widthPx = size;
        m_model->column(c).autoPadPx = -1;
        GridView *other = v == m_view ? m_frozen : m_view;
        if (other) {
            m_syncing = true;
            other->setColumnWidth(c, size);
            m_syncing = false;
        }
        updateFrozenGeometry();
    });
}

GridView *Grid::frozenView() const
{
    if (!m_frozen)
        const_cast<Grid *>(this)->createFrozenView();
    return m_frozen;
}

void Grid::createFrozenView()
{
    // Made when first needed: most grids never freeze a column.
    const bool was = m_syncing;
    m_syncing = true;
    m_frozen = new GridView(this, true, m_view);
    m_frozen->hide();
    setUpView(m_frozen);
    m_view->viewport()->stackUnder(m_frozen);
    setTabOrder(m_view, m_frozen); // where it stood when made with the main view
    connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        // Without the rows its range falls to nothing, which must not take the main view to the top.
        if (m_frozen->model() == m_model)
            m_view->verticalScrollBar()->setValue(value);
    });
    // What the main view was given meanwhile.
    m_frozen->verticalHeader()->setDefaultSectionSize(m_rowHeightPx);
    m_frozen->horizontalHeader()->setDefaultSectionSize(defaultColumnWidthPx());
    m_frozen->horizontalHeader()->setSectionResizeMode((m_allowUserResizing & flexResizeColumns) ? QHeaderView::Interactive
                                                                                                : QHeaderView::Fixed);
    m_frozen->horizontalHeader()->setVisible(m_model->fixedRows() > 0);
    m_frozen->viewport()->setToolTip(m_view->viewport()->toolTip());
    m_frozen->horizontalHeader()->setToolTip(m_view->horizontalHeader()->toolTip());
    m_frozen->viewport()->setUpdatesEnabled(m_redraw != 0);
    m_frozen->horizontalHeader()->viewport()->setUpdatesEnabled(m_redraw != 0);
    m_frozen->setEditTriggers(m_view->editTriggers());
    m_frozen->setSelectionBehavior(m_view->selectionBehavior());
    m_frozen->setSelectionMode(m_view->selectionMode());
    for (const QPointer<QObject> &filter : m_headerFilters) {
        if (filter)
            m_frozen->horizontalHeader()->viewport()->installEventFilter(filter);
    }
    m_syncing = was;
}

void Grid::installHeaderEventFilter(QObject *filter)
{
    m_headerFilters.emplace_back(filter);
    for (GridView *v : views())
        v->horizontalHeader()->viewport()->installEventFilter(filter);
}

QVarLengthArray<GridView *, 2> Grid::views() const
{
    QVarLengthArray<GridView *, 2> list{m_view};
    if (m_frozen)
        list.append(m_frozen);
    return list;
}

void Grid::attachFrozenModel(bool attach)
{
    if (!m_frozen && !attach)
        return;
    if (!m_frozen)
        createFrozenView();
    if ((m_frozen->model() == m_model) == attach)
        return;
    const bool was = m_syncing;
    m_syncing = true;
    if (!attach) {
        if (m_editor && m_editView == m_frozen)
            FinishEditing(false);
        const QSignalBlocker blocker(m_frozen->verticalScrollBar());
        m_frozen->setModel(nullptr);
        m_frozen->hide();
        m_syncing = was;
        return;
    }
    QItemSelectionModel *const old = m_frozen->selectionModel();
    m_frozen->setModel(m_model);
    QItemSelectionModel *const own = m_frozen->selectionModel();
    // One selection for both views.
    m_frozen->setSelectionModel(m_view->selectionModel());
    delete own;
    delete old;
    // The rows hidden meanwhile; the main view has followed every change.
    QHeaderView *rows = m_view->verticalHeader();
    if (rows->hiddenSectionCount() > 0) {
        for (int r = 0, n = rows->count(); r < n; ++r)
            if (rows->isSectionHidden(r))
                m_frozen->setRowHidden(r, true);
    }
    m_syncing = was;
}

void Grid::updateFrozenGeometry()
{
    if (!m_view)
        return;
    const int n = frozenCount();
    int width = 0;
    for (int c = 0; c < n; ++c)
        if (!m_model->column(c).hidden)
            width += m_view->columnWidth(c);
    if (n <= 0 || width <= 0) {
        if (m_frozen)
            m_frozen->hide();
        return;
    }
    if (!m_frozen || m_frozen->model() != m_model) {
        applyColumnLayout(); // gives the frozen view the rows and its columns, then comes back here
        return;
    }
    const int frame = m_view->frameWidth();
    const QRect vp = m_view->viewport()->geometry();
    m_frozen->setGeometry(frame, frame, std::min(width, std::max(0, vp.width())), vp.bottom() + 1 - frame);
    if (!m_frozen->isVisible())
        m_frozen->show();
    m_frozen->verticalScrollBar()->setValue(m_view->verticalScrollBar()->value());
}

void Grid::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) && m_model)
        updateModelLook();
    if (event->type() == QEvent::FontChange && m_view) {
        m_fittedRows.clear(); // the auto-sized columns fit the rows in view in the old font
        applyRowHeight();
    }
    if (event->type() == QEvent::PaletteChange && m_view)
        m_view->viewport()->update();
}

void Grid::updateModelLook()
{
    GridLook look;
    look.font = font();
    look.palette = palette();
    look.backColor = m_backColor;
    look.foreColor = m_foreColor;
    look.backColorAlternate = m_backColorAlternate;
    look.backColorFixed = m_backColorFixed;
    look.foreColorFixed = m_foreColorFixed;
    m_model->setLook(look);
}

void Grid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateFrozenGeometry();
}

} // namespace grid
