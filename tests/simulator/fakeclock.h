#ifndef FAKECLOCK_H
#define FAKECLOCK_H

#include "modelclock.h"

// A clock the test moves by hand, so the model's minutes pass in no time.
class FakeClock : public ModelClock
{
public:
    qint64 nowMs() const override { return now; }
    void advance(qint64 ms) { now += ms; }
    void set(qint64 ms) { now = ms; }

private:
    qint64 now = 0;
};

#endif // FAKECLOCK_H
