#include "ui/VbColor.h"

#include <QGuiApplication>
#include <QPalette>

namespace ui {

QColor VbColor::systemColor(quint32 index, const QPalette *palette)
{
    const QPalette pal = palette ? *palette : QGuiApplication::palette();
    using P = QPalette;
    const auto active = [&](P::ColorRole role) { return pal.color(P::Active, role); };
    switch (index & 0xFFu) {
    case 0: return active(P::Button);        // scroll bars
    case 1: return active(P::Dark);          // desktop
    case 2: return active(P::Highlight);     // active title bar
    case 3: return pal.color(P::Inactive, P::Highlight);
    case 4: return active(P::Window);        // menu bar
    case 5: return active(P::Base);          // window background
    case 6: return active(P::Shadow);        // window frame
    case 7: return active(P::WindowText);    // menu text
    case 8: return active(P::Text);          // window text
    case 9: return active(P::HighlightedText); // title bar text
    case 10: return active(P::Window);       // active border
    case 11: return active(P::Window);       // inactive border
    case 12: return active(P::Dark);         // MDI workspace
    case 13: return active(P::Highlight);
    case 14: return active(P::HighlightedText);
    case 15: return active(P::Button);       // button face
    case 16: return active(P::Dark);         // button shadow
    case 17: return pal.color(P::Disabled, P::Text);
    case 18: return active(P::ButtonText);
    case 19: return pal.color(P::Inactive, P::HighlightedText);
    case 20: return active(P::Light);        // button highlight
    case 21: return active(P::Shadow);       // 3-D dark shadow
    case 22: return active(P::Midlight);     // 3-D light
    case 23: return active(P::ToolTipText);
    case 24: return active(P::ToolTipBase);
    case 26: return active(P::Link);         // hot-tracked item
    case 27: return active(P::Highlight);    // gradient of the active title
    case 28: return pal.color(P::Inactive, P::Highlight);
    case 29: return active(P::Highlight);    // menu highlight
    case 30: return active(P::Window);       // flat menu bar
    default: return QColor(Qt::black);
    }
}

QColor VbColor::toQColor(quint32 value, const QPalette *palette)
{
    if (isSystemColor(value))
        return systemColor(value, palette);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

quint32 VbColor::fromQColor(const QColor &color)
{
    const QColor c = color.toRgb();
    return rgb(c.red(), c.green(), c.blue());
}

QString VbColor::toHtml(quint32 value, const QPalette *palette)
{
    return toQColor(value, palette).name(QColor::HexRgb).toUpper();
}

} // namespace ui
