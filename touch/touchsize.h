#ifndef TOUCHSIZE_H
#define TOUCHSIZE_H

#include <QtGlobal>

class QScreen;

// How large a control must be for a finger, in the widgets' own pixels on a given screen.
class TouchSize
{
public:
    static constexpr qreal MinimumMillimetres = 9.0;
    // Taken where the screen tells no density, or one no display has.
    static constexpr qreal FallbackDotsPerInch = 96.0;
    static constexpr qreal LowestDotsPerInch = 20.0;
    static constexpr qreal HighestDotsPerInch = 1200.0;

    // The reported density when it is one a display can have, the fallback otherwise.
    static qreal usableDotsPerInch(qreal reported);
    // The least side of a control at that density: 9 mm rounded up to whole pixels.
    static int minimumPixels(qreal dotsPerInch);
    // The same on that screen (the primary one when null).
    static int minimumPixels(const QScreen *screen);
};

#endif // TOUCHSIZE_H
