#include "dosecorrector.h"

#include <QtGlobal>

void DoseCorrector::setDoses(int count)
{
    window = qBound(FewestDoses, count, MostDoses);
    while (learned.ratios.size() > window)
        learned.ratios.removeFirst();
}

void DoseCorrector::setGain(double gain)
{
    factor = qBound(0.0, gain, 1.0);
}

void DoseCorrector::restore(const LearnedCorrection &state)
{
    learned = state;
    learned.correction = qBound(-LargestCorrection, learned.correction, LargestCorrection);
    setDoses(window);
}

bool DoseCorrector::learn(double wanted, double sent, double discharged, double plusTolerance,
                          double minusTolerance)
{
    if (!(wanted > 0) || !(sent > 0))
        return false;
    const double deviation = discharged - wanted;
    if ((plusTolerance > 0 && deviation > OutlierTolerances * plusTolerance)
        || (minusTolerance > 0 && -deviation > OutlierTolerances * minusTolerance))
        return false;
    learned.ratios.append(discharged / sent);
    setDoses(window);
    double sum = 0;
    for (double ratio : std::as_const(learned.ratios))
        sum += ratio * (1 - learned.correction) - 1;
    const double mean = sum / double(learned.ratios.size());
    const double step = qBound(-LargestStep, factor * mean, LargestStep);
    learned.correction = qBound(-LargestCorrection, learned.correction + step, LargestCorrection);
    return true;
}
