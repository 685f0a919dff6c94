#include "grid/GridModel.h"

#include "grid/GridFormat.h"
#include "grid/GridView.h"

#include "ui/VbColor.h"

#include <QBrush>
#include <QIcon>
#include <QPixmap>

#include <optional>
#include <vector>

namespace grid {

bool isNumericType(int dataType)
{
    switch (dataType) {
    case flexDTShort:
    case flexDTLong:
    case flexDTSingle:
    case flexDTDouble:
    case flexDTCurrency:
    case flexDTDecimal:
    case flexDTLong8:
        return true;
    default:
        return false;
    }
}

int qtAlignmentOf(int alignment)
{
    int h = Qt::AlignLeft;
    int v = Qt::AlignVCenter;
    if (alignment >= 0 && alignment <= 8) {
        const int col = alignment / 3;
        const int row = alignment % 3;
        h = col == 0 ? Qt::AlignLeft : (col == 1 ? Qt::AlignHCenter : Qt::AlignRight);
        v = row == 0 ? Qt::AlignTop : (row == 1 ? Qt::AlignVCenter : Qt::AlignBottom);
    }
    return h | v;
}

namespace {

// One cell's roles, each worked out when first asked for: the text and the style are read once
// however many roles a painter wants.
class CellRoles {
public:
    CellRoles(const GridModel &model, int r, int c)
        : m(model)
        , r(r)
        , c(c)
        , fixedRow(r < model.fixedRows())
        , fixed(fixedRow || c < model.fixedCols())
        , info(model.column(c))
    {
    }

    QVariant role(int role)
    {
        switch (role) {
        case Qt::DisplayRole:
            return display();
        case Qt::EditRole:
            return m.rawText(r, c);
        case Qt::FontRole:
            return font();
        case Qt::BackgroundRole: {
            const std::optional<quint32> back = background();
            return back ? QVariant(QBrush(color(*back))) : QVariant();
        }
        case Qt::ForegroundRole:
            return QBrush(color(foreground()));
        case Qt::TextAlignmentRole:
            return alignment();
        case Qt::CheckStateRole:
            if (!checkBox())
                return {};
            return int(format::isCheckedText(display()) ? Qt::Checked : Qt::Unchecked);
        case Qt::DecorationRole: {
            const QVariant &picture = style().picture;
            return picture.canConvert<QPixmap>() || picture.canConvert<QIcon>() ? picture : QVariant();
        }
        case PictureAlignmentRole:
            return style().picture.isValid() ? QVariant(style().pictureAlignment) : QVariant();
        case NumberRole:
            return numeric();
        default:
            return {};
        }
    }

    // What the painter's roles say, each as its role would give it; every field of the look.
    void fill(CellLook &look)
    {
        look.checkBox = checkBox();
        look.checked = look.checkBox && format::isCheckedText(display());
        look.text = look.checkBox ? QString() : display();
        look.font = font();
        const std::optional<quint32> back = background();
        look.fillBack = back.has_value();
        look.back = back ? color(*back) : QColor();
        look.fore = color(foreground());
        look.qtAlignment = alignment();
        const QVariant &picture = style().picture;
        look.picture = picture.canConvert<QPixmap>() || picture.canConvert<QIcon>() ? picture : QVariant();
        look.pictureAlignment = picture.isValid() ? style().pictureAlignment : 0;
        look.numeric = numeric();
    }

private:
    const QString &display()
    {
        if (!m_display)
            m_display = m.displayText(r, c);
        return *m_display;
    }

    const CellStyle &style()
    {
        if (!m_style)
            m_style = m.effectiveStyle(r, c);
        return *m_style;
    }

    QColor color(quint32 value) const { return ui::VbColor::toQColor(value, &m.look().palette); }

    // A Null from the data is neither ticked nor unticked: it shows no box at all.
    bool checkBox() { return !fixed && info.dataType == flexDTBoolean && !(info.fromRecordset && m.isNull(r, c)); }

    // A column of a known type is aligned as a whole (postal codes of digits in a text column
    // stay left); cells of untyped columns go by what they hold.
    bool numeric()
    {
        if (!m_numeric) {
            const bool typedOther = info.dataType == flexDTString || info.dataType == flexDTDate
                                    || info.dataType == flexDTBoolean;
            m_numeric = !fixedRow && info.dataType != flexDTBoolean && !display().isEmpty()
                        && (isNumericType(info.dataType) || (!typedOther && format::parseNumber(display()).has_value()));
        }
        return *m_numeric;
    }

    int alignment()
    {
        int alignment = style().alignment;
        if (alignment < 0)
            alignment = fixedRow ? (info.fixedAlignment >= 0 ? info.fixedAlignment : flexAlignLeftCenter)
                                 : info.alignment;
        if (alignment == flexAlignGeneral || alignment > 8) {
            if (!fixedRow && info.dataType == flexDTBoolean)
                alignment = flexAlignCenterCenter;
            else if (!fixedRow && (isNumericType(info.dataType) || numeric()))
                alignment = flexAlignRightCenter;
            else
                alignment = flexAlignLeftCenter;
        }
        return qtAlignmentOf(alignment);
    }

    QFont font()
    {
        const CellStyle &st = style();
        QFont f = m.look().font;
        if (!st.fontName.isEmpty())
            f.setFamily(st.fontName);
        if (st.fontSize > 0)
            f.setPointSizeF(st.fontSize);
        if (st.bold >= 0)
            f.setBold(st.bold > 0);
        if (st.italic >= 0)
            f.setItalic(st.italic > 0);
        if (st.underline >= 0)
            f.setUnderline(st.underline > 0);
        if (st.strikeout >= 0)
            f.setStrikeOut(st.strikeout > 0);
        return f;
    }

    // Nothing for the grid's own background: the view shows it (or the wallpaper), the paper
    // stays white.
    std::optional<quint32> background()
    {
        const GridLook &look = m.look();
        if (style().backColor != NoColor)
            return style().backColor;
        if (fixed)
            return look.backColorFixed;
        if (look.backColorAlternate != 0 && look.backColorAlternate != NoColor && (r - m.fixedRows()) % 2 == 1)
            return look.backColorAlternate;
        return std::nullopt;
    }

    quint32 foreground()
    {
        if (style().foreColor != NoColor)
            return style().foreColor;
        return fixed ? m.look().foreColorFixed : m.look().foreColor;
    }

    const GridModel &m;
    const int r, c;
    const bool fixedRow, fixed;
    const ColumnInfo &info;
    std::optional<QString> m_display;
    std::optional<CellStyle> m_style;
    std::optional<bool> m_numeric;
};

} // namespace

QVariant GridModel::cellData(int r, int c, int role) const
{
    if (r < 0 || r >= rows() || c < 0 || c >= cols())
        return {};
    try {
        if (role == Qt::DisplayRole)
            return displayText(r, c);
        return CellRoles(*this, r, c).role(role);
    } catch (const std::exception &) {
        return {}; // a failing fetch shows an empty cell rather than ending the paint
    }
}

void GridModel::cellMultiData(int r, int c, QModelRoleDataSpan span) const
{
    for (QModelRoleData &d : span)
        d.clearData();
    if (r < 0 || r >= rows() || c < 0 || c >= cols())
        return;
    try {
        CellRoles roles(*this, r, c);
        for (QModelRoleData &d : span)
            d.setData(roles.role(d.role()));
    } catch (const std::exception &) {
        for (QModelRoleData &d : span)
            d.clearData();
    }
}

void GridModel::cellLook(int r, int c, CellLook &look) const
{
    // Every field is set below (the painters ask for every cell on screen: nothing twice). A
    // cell that cannot be read has the look of no roles at all, as cellMultiData gives it.
    const auto none = [&look] {
        look = CellLook();
        look.fillBack = false;
        look.fore = QBrush().color();
        look.qtAlignment = 0;
    };
    if (r < 0 || r >= rows() || c < 0 || c >= cols()) {
        none();
        return;
    }
    try {
        CellRoles(*this, r, c).fill(look);
    } catch (const std::exception &) {
        none();
    }
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return cellData(index.row() + m_fixedRows, index.column(), role);
}

void GridModel::multiData(const QModelIndex &index, QModelRoleDataSpan span) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        for (QModelRoleData &d : span)
            d.clearData();
        return;
    }
    cellMultiData(index.row() + m_fixedRows, index.column(), span);
}

QMap<int, QVariant> GridModel::itemData(const QModelIndex &index) const
{
    constexpr int all[] = {Qt::DisplayRole,    Qt::EditRole,       Qt::FontRole,       Qt::BackgroundRole,
                           Qt::ForegroundRole, Qt::TextAlignmentRole, Qt::CheckStateRole, Qt::DecorationRole,
                           PictureAlignmentRole, NumberRole};
    std::vector<QModelRoleData> roles;
    for (int r : all)
        roles.emplace_back(r);
    multiData(index, roles);
    QMap<int, QVariant> map;
    for (const QModelRoleData &d : roles)
        if (d.data().isValid())
            map.insert(d.role(), d.data());
    return map;
}

void GridModel::setLook(const GridLook &look)
{
    m_look = look;
    emit fixedCellsChanged();
    if (m_redraw && dataRows() > 0 && cols() > 0)
        emit dataChanged(index(0, 0), index(dataRows() - 1, cols() - 1),
                         {Qt::FontRole, Qt::BackgroundRole, Qt::ForegroundRole});
}

} // namespace grid
