#include "monotonicclock.h"

MonotonicClock::MonotonicClock()
{
    timer.start();
}

qint64 MonotonicClock::nowMs() const
{
    return timer.elapsed();
}
