#include "touchstyle.h"

#include "keyboard.h"
#include "touchsize.h"

#include <QApplication>
#include <QPushButton>

namespace {

int leastSide(const QWidget *widget)
{
    return TouchSize::minimumPixels(widget ? widget->screen() : nullptr);
}

} // namespace

TouchStyle::TouchStyle()
    : QProxyStyle(QStringLiteral("Fusion"))
{ }

void TouchStyle::install()
{
    QApplication::setStyle(new TouchStyle);
}

QSize TouchStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                   const QWidget *widget) const
{
    const QSize contents = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type != CT_PushButton)
        return contents;
    const int least = leastSide(widget);
    return contents.expandedTo(QSize(least, least));
}

// A minimum or maximum a form gives a button below the touch size gives way to it. A zero
// minimum stays, so the raised size hint still decides how far a layout may shrink the button.
void TouchStyle::polish(QWidget *widget)
{
    QProxyStyle::polish(widget);
    auto *button = qobject_cast<QPushButton *>(widget);
    if (!button || qobject_cast<Keyboard *>(button->window()))
        return;
    const int least = leastSide(button);
    QSize minimum = button->minimumSize();
    if (minimum.width() > 0)
        minimum.setWidth(qMax(minimum.width(), least));
    if (minimum.height() > 0)
        minimum.setHeight(qMax(minimum.height(), least));
    if (minimum != button->minimumSize())
        button->setMinimumSize(minimum);
    const QSize maximum = button->maximumSize().expandedTo(QSize(least, least));
    if (maximum != button->maximumSize())
        button->setMaximumSize(maximum);
}
