#include "activityfilter.h"

#include <QEvent>

ActivityFilter::ActivityFilter(std::function<void()> activity, QObject *parent)
    : QObject(parent)
    , activity(std::move(activity))
{ }

bool ActivityFilter::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::TouchBegin:
    case QEvent::KeyPress:
    case QEvent::Wheel:
        activity();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

#include "moc_activityfilter.cpp"
