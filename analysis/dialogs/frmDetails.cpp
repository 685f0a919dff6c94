#include "dialogs/frmDetails.h"

#include "hlTabulon/LibraryState.h"
#include "db/Recordset.h"
#include "dialogs/DialogTrap.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "grid/GridView.h"
#include "ui/MousePointer.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

#include <stdexcept>

frmDetails::frmDetails(QWidget *parent)
    : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("frmDetails"));
    setWindowTitle(QStringLiteral("Row Details"));
    setModal(false);
    tlbMain = new ui::KeyedToolBar(QStringLiteral("tlbMain"), this);
    tlbMain->setObjectName(QStringLiteral("tlbMain"));
    tlbMain->setShowCaptions(false);
    tlbMain->addButton(QStringLiteral("Refresh"), QStringLiteral("Refresh"), QStringLiteral("Refresh details"));
    tlbMain->addSeparatorButton();
    tlbMain->addButton(QStringLiteral("First"), QStringLiteral("First"), QStringLiteral("Move to first record"));
    tlbMain->addButton(QStringLiteral("Previous"), QStringLiteral("Previous"), QStringLiteral("Move to previous record"));
    tlbMain->addButton(QStringLiteral("Next"), QStringLiteral("Next"), QStringLiteral("Move to next record"));
    tlbMain->addButton(QStringLiteral("Last"), QStringLiteral("Last"), QStringLiteral("Move to last record"));
    connect(tlbMain, &ui::KeyedToolBar::ButtonClick, this, &frmDetails::tlbMain_ButtonClick);
    grdDetails = new grid::Grid(this);
    grdDetails->setObjectName(QStringLiteral("grdDetails"));
    resize(360, 420);
}

frmDetails::~frmDetails() = default;

void frmDetails::setParentWindow(QWidget *parent)
{
    if (parent && parentWidget() != parent)
        setParent(parent, windowFlags());
}

bool frmDetails::Init()
{
    return analysis::trap(QStringLiteral("Init"), [&] {
        if (!m_rs)
            throw std::invalid_argument("No recordset was given.");
        grid::Grid &g = *grdDetails;
        g.setCols(2);
        g.setFixedRows(1);
        g.setFixedCols(0);
        g.setRows(1);
        g.setTextMatrix(0, 0, QStringLiteral("Field"));
        g.setTextMatrix(0, 1, QStringLiteral("Value"));
        g.setCell(grid::flexcpFontBold, 0, 0, 0, 1, true);
        g.setExplorerBar(grid::flexExSortShow);
        g.setSelectionMode(grid::flexSelectionFree);
        const int fields = m_rs->FieldCount();
        g.setRows(fields + 1);
        for (int i = 0; i < fields; ++i)
            g.setTextMatrix(i + 1, 0, m_rs->Field(i).Name);
        g.AutoSize(0, 0, false, 100);
        // An empty result is reported by Refresh_Details and the window stays: the field names
        // still tell the user what the query returns.
        Refresh_Details();
        setMoveButtons();
        fitWindow();
        layoutGrid();
        return true;
    });
}

bool frmDetails::Refresh_Details()
{
    if (!m_rs)
        throw std::invalid_argument("No recordset was given.");
    db::Recordset &rs = *m_rs;
    if (rs.isBOF() || rs.isEOF())
        rs.MoveFirst();
    grid::Grid &g = *grdDetails;
    const bool empty = rs.isBOF() || rs.isEOF();
    for (int i = 0; i < rs.FieldCount() && i + 1 < g.Rows(); ++i) {
        g.setTextMatrix(i + 1, 0, rs.Field(i).Name);
        if (empty) {
            g.setTextMatrix(i + 1, 1, QString());
            continue;
        }
        // The text the results grid shows: every digit, era and offset, True/False, binary data
        // by its size; a Null is empty.
        g.setTextMatrix(i + 1, 1, rs.displayText(std::size_t(rs.AbsolutePosition() - 1), i));
    }
    if (empty) {
        analysis::logError(QStringLiteral("Refresh_Details"), QStringLiteral("There is no record to show."));
        return false;
    }
    fillValueColumn();
    return true;
}

bool frmDetails::Move_Record(int n)
{
    return analysis::trap(QStringLiteral("Move_Record"), [&] {
        if (!m_rs)
            throw std::invalid_argument("No recordset was given.");
        ui::MousePointer::setHourglass();
        db::Recordset &rs = *m_rs;
        bool first = true;
        switch (n) {
        case 0:
            first = true;
            emit MoveRec(first);
            // The window may hold its own clone of the results: it follows the control's move.
            if (m_rs && !m_rs->isBOF())
                m_rs->MoveFirst();
            break;
        case 1:
            if (!rs.isBOF())
                rs.MovePrevious();
            break;
        case 2:
            if (!rs.isEOF())
                rs.MoveNext();
            break;
        case 3:
            first = false;
            emit MoveRec(first);
            if (m_rs && !m_rs->isEOF())
                m_rs->MoveLast();
            break;
        default:
            throw std::invalid_argument("Unknown move.");
        }
        setMoveButtons();
        if (!rs.isBOF() && !rs.isEOF())
            Refresh_Details();
        ui::MousePointer::setDefault();
        return true;
    }, [&] { ui::MousePointer::setDefault(); });
}

void frmDetails::setMoveButtons()
{
    const bool bof = !m_rs || m_rs->isBOF();
    const bool eof = !m_rs || m_rs->isEOF();
    tlbMain->Buttons(QStringLiteral("First")).setEnabled(!bof);
    tlbMain->Buttons(QStringLiteral("Previous")).setEnabled(!bof);
    tlbMain->Buttons(QStringLiteral("Next")).setEnabled(!eof);
    tlbMain->Buttons(QStringLiteral("Last")).setEnabled(!eof);
}

void frmDetails::tlbMain_ButtonClick(const QString &key)
{
    if (key == QLatin1String("Refresh")) {
        analysis::trap(QStringLiteral("Refresh_Details"), [&] {
            Refresh_Details();
            setMoveButtons();
        });
    } else if (key == QLatin1String("First")) {
        Move_Record(0);
    } else if (key == QLatin1String("Previous")) {
        Move_Record(1);
    } else if (key == QLatin1String("Next")) {
        Move_Record(2);
    } else if (key == QLatin1String("Last")) {
        Move_Record(3);
    }
}

void frmDetails::layoutGrid()
{
    const int top = tlbMain->sizeHint().height();
    tlbMain->setGeometry(0, 0, width(), top);
    const int w = width() - 2 * grdDetails->x();
    const int h = height() - top;
    // Smaller than the toolbar: the grid stays as it was.
    if (w <= 0 || h <= 0)
        return;
    grdDetails->setGeometry(0, top, w, h);
    fillValueColumn();
}

int frmDetails::valueWidthPx() const
{
    // The values' own width, long ones capped by the grid's sizing (their tooltip has the rest).
    grid::Grid &g = *grdDetails;
    const int kept = g.ColWidth(1);
    g.AutoSize(1, 1, false, 100);
    const int px = ui::Twips::toPixelsX(g.ColWidth(1), &g);
    g.setColWidth(1, kept);
    return px;
}

void frmDetails::fitWindow()
{
    // Wide and tall enough for the names and values, within reason: no value cut off in a
    // window left mostly empty, and no window larger than the screen's good part.
    grid::Grid &g = *grdDetails;
    if (g.Cols() < 2)
        return;
    const int names = ui::Twips::toPixelsX(g.ColWidth(0), &g);
    const int chrome = 2 * g.view()->frameWidth() + g.view()->verticalScrollBar()->sizeHint().width() + 4;
    const int rows = g.Rows() * std::max(1, g.rowHeightPx()) + 2 * g.view()->frameWidth() + 4;
    QSize wanted(names + valueWidthPx() + chrome, tlbMain->sizeHint().height() + rows);
    QSize most(720, 640);
    if (const QScreen *s = screen())
        most = most.boundedTo(s->availableGeometry().size() * 3 / 4);
    resize(wanted.expandedTo(QSize(360, 200)).boundedTo(most.expandedTo(QSize(360, 200))));
}

void frmDetails::fillValueColumn()
{
    // The values take what the names leave of the window's width.
    grid::Grid &g = *grdDetails;
    if (g.Cols() < 2)
        return;
    const int names = ui::Twips::toPixelsX(g.ColWidth(0), &g);
    const int room = g.view()->viewport()->width() - names;
    const int px = std::max(valueWidthPx(), room);
    g.setColWidth(1, qRound(ui::Twips::fromPixelsX(px, &g)));
}

void frmDetails::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    layoutGrid();
}

void frmDetails::showEvent(QShowEvent *event)
{
    if (!m_open) {
        m_open = true;
        m_loaded = Init();
    }
    QDialog::showEvent(event);
    ui::MousePointer::setDefault();
    if (!m_loaded)
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void frmDetails::unload()
{
    if (!m_open)
        return;
    m_open = false;
    m_loaded = false;
    emit Unload();
    m_rs.reset();
}

void frmDetails::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
    QDialog::closeEvent(event);
}

void frmDetails::reject()
{
    unload();
    QDialog::reject();
}
