#pragma once

#include <tabulon/PlatformExport.h>

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace ui {

// Sizes in twips (1/1440 inch) to pixels and back, at the logical DPI of the widget's screen
// (the primary screen when no widget is given; 96 dpi when there is no screen at all).
// At 96 dpi one pixel is 15 twips. Pixel results are rounded to the nearest whole pixel.
class PLATFORM_EXPORT Twips {
public:
    static constexpr int PerInch = 1440;

    static double dpiX(const QWidget *widget = nullptr);
    static double dpiY(const QWidget *widget = nullptr);

    static int toPixelsX(double twips, const QWidget *widget = nullptr);
    static int toPixelsY(double twips, const QWidget *widget = nullptr);
    static double fromPixelsX(int pixels, const QWidget *widget = nullptr);
    static double fromPixelsY(int pixels, const QWidget *widget = nullptr);

    static QSize toPixels(double widthTwips, double heightTwips, const QWidget *widget = nullptr);
    static QRect toPixels(double left, double top, double width, double height, const QWidget *widget = nullptr);

    // Pixels at an explicit DPI, for printers and tests.
    static int toPixelsAt(double twips, double dpi);
    static double fromPixelsAt(int pixels, double dpi);
};

} // namespace ui
