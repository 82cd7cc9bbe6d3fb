#ifndef DESCRIPTIONSCROLLER_H
#define DESCRIPTIONSCROLLER_H

#include <QObject>
#include <QTimer>

class QAbstractButton;
class QScrollBar;

// Scrolls a recipe description by its two buttons: while one is held, the view moves one unit
// at a time, paced by the class-wide description repeat speed, until it is released or the end
// is reached. The field's own scroll bars stay hidden on the touch panel.
class DescriptionScroller : public QObject
{
    Q_OBJECT

public:
    DescriptionScroller(QAbstractButton *upButton, QAbstractButton *downButton,
                        QScrollBar *scrollBar, QObject *parent = nullptr);

    void upPressed();
    void downPressed();
    void released();
    // The scroll range changed: scrolling starts at the top, so only down is offered.
    void rangeChanged(int minimum, int maximum);

private:
    void start(int direction);
    void step();

    QAbstractButton *upButton;
    QAbstractButton *downButton;
    QScrollBar *scrollBar;
    bool scrollHeld = false;
    int direction = 0;
    QTimer holdTimer;
};

#endif // DESCRIPTIONSCROLLER_H
