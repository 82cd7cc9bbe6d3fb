#ifndef DOSECORRECTOR_H
#define DOSECORRECTOR_H

#include "dosecorrections.h"

// Learns how a doser misses its fills of one product and orders the next fill to make up for
// it. The doser's miss has two terms: a share of the fill and a fixed amount in flight. From the
// last few counted fills, when they are of different sizes, a least-squares line of discharged
// against sent gives both; with fills all of one size only the share can be told, and the amount
// in flight is kept. The line is fitted to each fill's ratio, whose spread does not grow with the
// fill, and held to the amount in flight already learned in proportion to how little the sizes
// tell it: a full fill and one of half its size barely move it, a small last fill does. The
// correction moves towards what the fills show, times a gain, so it does not overshoot however
// many fills it averages.
class DoseCorrector
{
public:
    static constexpr int FewestDoses = 1;
    static constexpr int MostDoses = 20;
    static constexpr int DefaultDoses = 4;
    static constexpr double DefaultGain = 0.5;
    // A fill further off than this many dose tolerances is a fault, not the doser's miss.
    static constexpr double OutlierTolerances = 3;
    // One fill moves the correction by at most this share, and no correction exceeds the
    // largest; a wrong reading can then never run the batch far off.
    static constexpr double LargestStep = 0.02;
    static constexpr double LargestCorrection = 0.2;
    // The same for the amount in flight, in shares of the upper weighing limit.
    static constexpr double LargestInFlightStep = 0.01;
    static constexpr double LargestInFlight = 0.05;
    // Fills whose sizes spread over less than this share of their mean are of one size: a line
    // through them would take the spread of the doser for the amount in flight.
    static constexpr double DistinctSizes = 0.2;
    // How firmly the amount in flight already learned holds against the window's fills, in the
    // spread of their (upper weighing limit / fill): fills of a full and a half hopper (0.75)
    // move it by a quarter of what they show, a last fill of a seventh (24) by nine tenths.
    static constexpr double InFlightHold = 2.5;

    void setDoses(int count);
    void setGain(double factor);
    // The doser's upper weighing limit bounds the amount in flight; until it is known (0) only the
    // share is learned.
    void setWeighingLimit(double limit);
    int doses() const { return window; }
    double gain() const { return factor; }

    void restore(const LearnedCorrection &state);
    const LearnedCorrection &state() const { return learned; }
    double correction() const { return learned.correction; }
    double inFlight() const { return learned.inFlight; }

    // The weight to send for a fill the batch wants.
    double toSend(double wanted) const
    {
        return wanted * (1 - learned.correction) - learned.inFlight;
    }
    // A fill counted into the batch: `sent` went to the doser for `wanted`. False when it was
    // left out (too far off, or nothing to learn from).
    bool learn(double wanted, double sent, double discharged, double plusTolerance,
               double minusTolerance);

private:
    void trim();
    // The share and amount in flight the fills in the window show; false when their sizes
    // cannot tell the two apart.
    bool fitLine(double &share, double &inFlight) const;
    // The share the fills show with the amount in flight as it stands.
    double shareAlone() const;
    void moveTowards(double share, double inFlight);
    void bound();

    int window = DefaultDoses;
    double factor = DefaultGain;
    double weighingLimit = 0;
    LearnedCorrection learned;
};

#endif // DOSECORRECTOR_H
