#include "descriptionscroller.h"

#include "receipttiming.h"

#include <QAbstractButton>
#include <QScrollBar>

namespace {

constexpr int Up = -1;
constexpr int Down = 1;

void enable(QAbstractButton *button)
{
    if (!button->isEnabled())
        button->setEnabled(true);
}

} // namespace

DescriptionScroller::DescriptionScroller(QAbstractButton *upButton, QAbstractButton *downButton,
                                         QScrollBar *scrollBar, QObject *parent)
    : QObject(parent)
    , upButton(upButton)
    , downButton(downButton)
    , scrollBar(scrollBar)
{
    holdTimer.setTimerType(Qt::PreciseTimer);
    connect(&holdTimer, &QTimer::timeout, this, &DescriptionScroller::step);
}

void DescriptionScroller::upPressed()
{
    start(Up);
}

void DescriptionScroller::downPressed()
{
    start(Down);
}

void DescriptionScroller::released()
{
    scrollHeld = false;
    holdTimer.stop();
}

void DescriptionScroller::rangeChanged(int, int maximum)
{
    upButton->setEnabled(false);
    downButton->setEnabled(maximum > 0);
}

void DescriptionScroller::start(int newDirection)
{
    direction = newDirection;
    scrollHeld = true;
    // The first step comes at once; the interval is read anew, so a changed speed applies.
    holdTimer.start(int(ReceiptTiming::descriptionRepeatSpeed()));
    step();
}

void DescriptionScroller::step()
{
    if (!scrollHeld)
        return;
    holdTimer.setInterval(int(ReceiptTiming::descriptionRepeatSpeed()));
    const int before = scrollBar->value();
    if (direction == Up) {
        scrollBar->setValue(before - 1);
        enable(downButton);
        if (before <= 1) {
            released();
            upButton->setEnabled(false);
        }
    } else {
        scrollBar->setValue(before + 1);
        enable(upButton);
        if (scrollBar->value() >= scrollBar->maximum()) {
            released();
            downButton->setEnabled(false);
        }
    }
}

#include "moc_descriptionscroller.cpp"
