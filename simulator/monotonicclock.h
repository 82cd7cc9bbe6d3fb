#ifndef MONOTONICCLOCK_H
#define MONOTONICCLOCK_H

#include "modelclock.h"

#include <QElapsedTimer>

// The live program's clock: milliseconds since it was created, immune to wall-clock changes.
class MonotonicClock : public ModelClock
{
public:
    MonotonicClock();
    qint64 nowMs() const override;

private:
    QElapsedTimer timer;
};

#endif // MONOTONICCLOCK_H
