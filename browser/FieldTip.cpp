// The field tooltip: the clicked table's or view's field names (and types) in a small grid laid
// over the object list, shown a second after the click for the user's delay.
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "PaneDivider/Splitter.h"
#include "BrowserTrap.h"
#include "db/Connection.h"
#include "grid/Grid.h"
#include "grid/GridFormat.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QFontMetrics>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <stdexcept>

using namespace browser;

namespace {

int tipDelayMs()
{
    // Stored values are kept in range; a value set in code is held to it as well.
    const qint32 seconds = browserSettings().ObjectToolDelay;
    return std::clamp<qint32>(seconds, kMinToolDelay, kMaxToolDelay) * 1000;
}

QString sortKey(const QVariant &row)
{
    if (row.metaType().id() == QMetaType::QVariantList) {
        const QVariantList cells = row.toList();
        return cells.isEmpty() ? QString() : cells.front().toString().toLower();
    }
    return row.toString().toLower();
}

} // namespace

bool hlSourceBrowser::Get_Fields()
{
    return trap(QStringLiteral("Get_Fields"), [&] {
        staStatus->Panels(1).setText(tr("Retrieving Object information ..."));
        m_fields.clear();
        if (m_objectBase.isEmpty())
            throw std::runtime_error(tr("No table or view is selected.").toStdString());
        // The catalogue's column list: not one row of the object is read.
        const std::vector<db::FieldInfo> columns = connectionSlot(m_currentRow)->TableColumns(m_objectOwner, m_objectBase);
        FieldArray fields;
        for (const db::FieldInfo &f : columns) {
            if (Allowed_DataType(f.Type))
                fields.push_back({f.Name, QString::number(f.Type)});
        }
        if (browserSettings().ObjectToolTipSort)
            Sort_Array(fields);
        m_fields = std::move(fields);
        staStatus->Panels(1).setText(tr("Ready ..."));
        return true;
    });
}

QVariant hlSourceBrowser::Popluate_ToolTip()
{
    // A failure answers an empty value, which callers tell from True.
    const bool done = trap(QStringLiteral("Popluate_ToolTip"), [&] {
        const BrowserSettings &s = browserSettings();
        if (!s.ObjectToolTips)
            return true;
        const int n = int(m_fields.size());
        const int rowHeight = std::max(1, ui::Twips::toPixelsY(grdTooltip->RowHeight(0), this));
        const double h = double(rowHeight) * n;
        const double top = std::max(0, lvwData->selectedItemRect().top());
        const int listHeight = lvwData->height();
        // As many columns as it takes for the tip to end above the list's bottom; never more
        // columns than fields, even in a list that has no height yet.
        int c = 1;
        while (c < n && listHeight <= (top + h) / c)
            ++c;
        const int r = n == 0 ? 1 : (n + c - 1) / c;

        grdTooltip->Clear();
        grdTooltip->setRows(r);
        grdTooltip->setCols(c);
        int k = 0;
        for (int col = 0; col < c; ++col) {
            for (int row = 0; row < r; ++row) {
                QString text;
                if (k < n) {
                    const auto &[name, type] = m_fields[size_t(k)];
                    text = name;
                    if (s.ObjectToolTipFieldTypes)
                        text += QStringLiteral("  [") + Field_Type(type.toInt()) + QStringLiteral("]");
                    ++k;
                }
                grdTooltip->setTextMatrix(row, col, text);
            }
        }
        grdTooltip->AutoSize(0, c - 1);
        int width = 0;
        for (int col = 0; col < c; ++col)
            width += ui::Twips::toPixelsX(grdTooltip->ColWidth(col), this);
        const int frame = 2;
        grdTooltip->resize(width + frame, rowHeight * r + frame);
        return true;
    });
    return done ? QVariant(true) : QVariant();
}

bool hlSourceBrowser::Show_ToolTip()
{
    return trap(QStringLiteral("Show_ToolTip"), [&] {
        if (!browserSettings().ObjectToolTips)
            return true;
        grdTooltip->hide();
        const QPoint origin = lvwData->mapTo(this, QPoint(0, 0));
        // Beside the pointer, but ending inside the list's right edge.
        int left = origin.x() + m_tipPointer.x();
        const int listRight = origin.x() + lvwData->width();
        if (left + grdTooltip->width() >= listRight)
            left = listRight - grdTooltip->width() - 1;
        // Below the item's text, but ending above the splitter's bottom.
        const QRect item = lvwData->selectedItemRect();
        int top = origin.y() + item.top() + QFontMetrics(font()).height() + ui::Twips::toPixelsY(60, this);
        const int bottom = hlSplitData->y() + hlSplitData->height();
        if (top + grdTooltip->height() >= bottom)
            top = bottom - grdTooltip->height() - 1;
        grdTooltip->move(left, top);
        tmrTip->setInterval(1000);
        tmrTip->start();
        return true;
    });
}

void hlSourceBrowser::tmrTip_Timer()
{
    if (!grdTooltip->isHidden()) {
        tmrTip->stop();
        grdTooltip->hide();
        return;
    }
    grdTooltip->show();
    grdTooltip->raise();
    tmrTip->setInterval(tipDelayMs());
}

void hlSourceBrowser::hideToolTip()
{
    if (tmrTip)
        tmrTip->stop();
    if (grdTooltip)
        grdTooltip->hide();
}

void hlSourceBrowser::lvwData_MouseDown(const QPoint &position)
{
    m_tipPointer = position;
}

void hlSourceBrowser::lvwData_MouseMove(const QPoint &position)
{
    try {
        if (!tmrTip->isActive() && grdTooltip->isHidden())
            return;
        const int item = lvwData->selectedItem();
        const QRect r = lvwData->selectedItemRect();
        const QFontMetrics fm(font());
        const int w = item < 0 ? 0 : fm.horizontalAdvance(lvwData->text(item));
        const int h = fm.height();
        const int x = position.x();
        const int y = position.y();
        if (x < r.left() || x > r.left() + w + ui::Twips::toPixelsX(300, this) || y < r.top()
            || y > r.top() + h + ui::Twips::toPixelsY(60, this))
            hideToolTip();
    } catch (...) {
    }
}

void hlSourceBrowser::grdTooltip_MouseMove()
{
    tmrTip->stop();
}

bool hlSourceBrowser::Sort_Array(FieldArray &aData)
{
    return trap(QStringLiteral("Sort_Array"), [&] {
        std::stable_sort(aData.begin(), aData.end(), [](const auto &a, const auto &b) {
            return a[0].toLower() < b[0].toLower();
        });
        return true;
    });
}

bool hlSourceBrowser::Sort_Array(QVariantList &aData)
{
    return trap(QStringLiteral("Sort_Array"), [&] {
        std::stable_sort(aData.begin(), aData.end(),
                         [](const QVariant &a, const QVariant &b) { return sortKey(a) < sortKey(b); });
        return true;
    });
}

QString hlSourceBrowser::Format_Value(int lngType)
{
    return grid::format::typeFormat(lngType);
}
