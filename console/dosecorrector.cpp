#include "dosecorrector.h"

#include <QtGlobal>

#include <algorithm>

void DoseCorrector::setDoses(int count)
{
    window = qBound(FewestDoses, count, MostDoses);
    trim();
}

void DoseCorrector::setGain(double gain)
{
    factor = qBound(0.0, gain, 1.0);
}

void DoseCorrector::setWeighingLimit(double limit)
{
    weighingLimit = limit > 0 ? limit : 0;
    bound();
}

void DoseCorrector::restore(const LearnedCorrection &state)
{
    learned = state;
    // Fills of an older file came without their size: they count as of unknown size.
    while (learned.sent.size() < learned.ratios.size())
        learned.sent.prepend(0);
    while (learned.sent.size() > learned.ratios.size())
        learned.sent.removeFirst();
    bound();
    trim();
}

void DoseCorrector::trim()
{
    while (learned.ratios.size() > window) {
        learned.ratios.removeFirst();
        learned.sent.removeFirst();
    }
}

void DoseCorrector::bound()
{
    learned.correction = qBound(-LargestCorrection, learned.correction, LargestCorrection);
    // Before the limit is known what was learned is kept as it is.
    if (weighingLimit > 0) {
        const double largest = LargestInFlight * weighingLimit;
        learned.inFlight = qBound(-largest, learned.inFlight, largest);
    }
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
    learned.sent.append(sent);
    trim();
    double share = 0;
    double inFlight = learned.inFlight;
    if (!fitLine(share, inFlight))
        share = shareAlone();
    moveTowards(share, inFlight);
    return true;
}

bool DoseCorrector::fitLine(double &share, double &inFlight) const
{
    if (!(weighingLimit > 0))
        return false;
    int count = 0;
    double sumSent = 0;
    double least = 0;
    double largest = 0;
    for (int i = 0; i < learned.ratios.size(); ++i) {
        const double sent = learned.sent.at(i);
        if (!(sent > 0))
            continue;
        least = count ? std::min(least, sent) : sent;
        largest = std::max(largest, sent);
        sumSent += sent;
        ++count;
    }
    if (count < 2 || largest - least < DistinctSizes * sumSent / count)
        return false;
    // discharged = slope * sent + offset is, per unit sent, ratio = slope + offset * (1 / sent):
    // a line of the ratios against limit / sent, with the offset in shares of the limit.
    double meanScale = 0;
    double meanRatio = 0;
    for (int i = 0; i < learned.ratios.size(); ++i) {
        const double sent = learned.sent.at(i);
        if (sent > 0) {
            meanScale += weighingLimit / sent / count;
            meanRatio += learned.ratios.at(i) / count;
        }
    }
    double covariance = 0;
    double variance = 0;
    for (int i = 0; i < learned.ratios.size(); ++i) {
        const double sent = learned.sent.at(i);
        if (!(sent > 0))
            continue;
        const double scale = weighingLimit / sent - meanScale;
        covariance += scale * (learned.ratios.at(i) - meanRatio);
        variance += scale * scale;
    }
    // The offset the terms in force stand for, which the fills must outweigh to move.
    const double heldOffset = learned.inFlight / (1 - learned.correction) / weighingLimit;
    const double offset = (covariance + InFlightHold * heldOffset) / (variance + InFlightHold);
    const double slope = meanRatio - offset * meanScale;
    if (!(slope > 0))
        return false;
    // discharged = slope * sent + offset is met for `wanted` by sent = wanted / slope -
    // offset / slope.
    share = 1 - 1 / slope;
    inFlight = offset * weighingLimit / slope;
    return true;
}

double DoseCorrector::shareAlone() const
{
    // Each fill as the doser's ratio to what it was sent plus the amount in flight then in
    // force; its miss at the correction now in force tells how far the share is off.
    double sum = 0;
    for (int i = 0; i < learned.ratios.size(); ++i) {
        const double sent = learned.sent.at(i);
        const double ratio = sent > 0 ? learned.ratios.at(i) * sent / (sent + learned.inFlight)
                                      : learned.ratios.at(i);
        sum += ratio * (1 - learned.correction) - 1;
    }
    return learned.correction + sum / double(learned.ratios.size());
}

void DoseCorrector::moveTowards(double share, double inFlight)
{
    const double inFlightStep = LargestInFlightStep * weighingLimit;
    learned.correction += qBound(-LargestStep, factor * (share - learned.correction), LargestStep);
    learned.inFlight += qBound(-inFlightStep, factor * (inFlight - learned.inFlight), inFlightStep);
    bound();
}
