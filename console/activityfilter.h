#ifndef ACTIVITYFILTER_H
#define ACTIVITYFILTER_H

#include <QObject>

#include <functional>

// Watches every window of the application for a touch, click or key and reports it, so the
// access level returns to Оператор only after a time without any. Lets every event through.
class ActivityFilter : public QObject
{
    Q_OBJECT

public:
    explicit ActivityFilter(std::function<void()> activity, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> activity;
};

#endif // ACTIVITYFILTER_H
