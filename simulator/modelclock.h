#ifndef MODELCLOCK_H
#define MODELCLOCK_H

#include <QtGlobal>

// The time the hopper model runs on; tests substitute a clock they move by hand.
class ModelClock
{
public:
    virtual ~ModelClock() = default;
    // Milliseconds since an arbitrary fixed point; never goes backwards.
    virtual qint64 nowMs() const = 0;
};

#endif // MODELCLOCK_H
