#pragma once

#include <tabulon/PlatformExport.h>

#include <QColor>
#include <QString>

class QPalette;

namespace ui {

// Colours as the program stores them: a 32-bit number 0x00BBGGRR (red in the low byte), or a
// system colour 0x800000nn naming a role of the desktop's palette (nn the classic index: 5 window
// background, 8 window text, 15 button face, 18 button text, 13 highlight, 14 highlight text ...).
// A stored colour may arrive as a signed 32-bit number; it converts to the same bits.
class PLATFORM_EXPORT VbColor {
public:
    static constexpr quint32 rgb(int red, int green, int blue)
    {
        return quint32(red & 0xFF) | (quint32(green & 0xFF) << 8) | (quint32(blue & 0xFF) << 16);
    }
    static constexpr bool isSystemColor(quint32 value) { return (value & 0xFF000000u) == 0x80000000u; }

    // A system colour resolves against palette, or the application's palette when none is given;
    // an unknown system index is black. Other high bits are ignored.
    static QColor toQColor(quint32 value, const QPalette *palette = nullptr);
    static quint32 fromQColor(const QColor &color);
    // The palette colour of a classic system-colour index (0x8000000F or just 15).
    static QColor systemColor(quint32 index, const QPalette *palette = nullptr);
    // "#RRGGBB" (upper-case hex), system colours resolved.
    static QString toHtml(quint32 value, const QPalette *palette = nullptr);

    enum : quint32 {
        ScrollBars = 0x80000000u,
        Desktop = 0x80000001u,
        ActiveTitleBar = 0x80000002u,
        InactiveTitleBar = 0x80000003u,
        MenuBar = 0x80000004u,
        WindowBackground = 0x80000005u,
        WindowFrame = 0x80000006u,
        MenuText = 0x80000007u,
        WindowText = 0x80000008u,
        TitleBarText = 0x80000009u,
        ActiveBorder = 0x8000000Au,
        InactiveBorder = 0x8000000Bu,
        ApplicationWorkspace = 0x8000000Cu,
        Highlight = 0x8000000Du,
        HighlightText = 0x8000000Eu,
        ButtonFace = 0x8000000Fu,
        ButtonShadow = 0x80000010u,
        GrayText = 0x80000011u,
        ButtonText = 0x80000012u,
        InactiveCaptionText = 0x80000013u,
        ButtonHighlight = 0x80000014u,
        DarkShadow3D = 0x80000015u,
        Light3D = 0x80000016u,
        InfoText = 0x80000017u,
        InfoBackground = 0x80000018u,
    };
};

} // namespace ui
