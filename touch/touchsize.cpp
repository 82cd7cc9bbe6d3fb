#include "touchsize.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

namespace {

constexpr qreal MillimetresPerInch = 25.4;
// Keeps an exact product such as 9 mm at 254 dpi from rounding up a pixel.
constexpr qreal RoundingSlack = 1e-6;

} // namespace

qreal TouchSize::usableDotsPerInch(qreal reported)
{
    // A screen that gives no physical size reports 0, infinity or NaN; NaN fails both tests.
    if (reported >= LowestDotsPerInch && reported <= HighestDotsPerInch)
        return reported;
    return FallbackDotsPerInch;
}

int TouchSize::minimumPixels(qreal dotsPerInch)
{
    const qreal pixels = MinimumMillimetres / MillimetresPerInch * usableDotsPerInch(dotsPerInch);
    return qCeil(pixels - RoundingSlack);
}

int TouchSize::minimumPixels(const QScreen *screen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // Qt gives the density in device-independent pixels, the unit of widget geometry.
    return minimumPixels(screen ? screen->physicalDotsPerInch() : 0.0);
}
