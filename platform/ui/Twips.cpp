#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace ui {

namespace {

const QScreen *screenOf(const QWidget *widget)
{
    if (widget) {
        if (const QScreen *s = widget->screen())
            return s;
    }
    return qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
}

double usableDpi(double dpi)
{
    return dpi > 0.0 ? dpi : 96.0;
}

} // namespace

double Twips::dpiX(const QWidget *widget)
{
    const QScreen *s = screenOf(widget);
    return usableDpi(s ? s->logicalDotsPerInchX() : 96.0);
}

double Twips::dpiY(const QWidget *widget)
{
    const QScreen *s = screenOf(widget);
    return usableDpi(s ? s->logicalDotsPerInchY() : 96.0);
}

int Twips::toPixelsAt(double twips, double dpi)
{
    return int(std::lround(twips * usableDpi(dpi) / PerInch));
}

double Twips::fromPixelsAt(int pixels, double dpi)
{
    return pixels * PerInch / usableDpi(dpi);
}

int Twips::toPixelsX(double twips, const QWidget *widget)
{
    return toPixelsAt(twips, dpiX(widget));
}

int Twips::toPixelsY(double twips, const QWidget *widget)
{
    return toPixelsAt(twips, dpiY(widget));
}

double Twips::fromPixelsX(int pixels, const QWidget *widget)
{
    return fromPixelsAt(pixels, dpiX(widget));
}

double Twips::fromPixelsY(int pixels, const QWidget *widget)
{
    return fromPixelsAt(pixels, dpiY(widget));
}

QSize Twips::toPixels(double widthTwips, double heightTwips, const QWidget *widget)
{
    return {toPixelsX(widthTwips, widget), toPixelsY(heightTwips, widget)};
}

QRect Twips::toPixels(double left, double top, double width, double height, const QWidget *widget)
{
    return {toPixelsX(left, widget), toPixelsY(top, widget), toPixelsX(width, widget), toPixelsY(height, widget)};
}

} // namespace ui
