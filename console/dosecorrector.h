#ifndef DOSECORRECTOR_H
#define DOSECORRECTOR_H

#include "dosecorrections.h"

// Learns how a doser misses its fills of one product and orders the next fill to make up for
// it. Each counted fill gives the doser's ratio discharged / sent; the mean of the last few, as
// the deviation they would give at the correction now in force, times a gain moves the
// correction. Measuring at the present correction keeps the learning from overshooting however
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

    void setDoses(int count);
    void setGain(double factor);
    int doses() const { return window; }
    double gain() const { return factor; }

    void restore(const LearnedCorrection &state);
    const LearnedCorrection &state() const { return learned; }
    double correction() const { return learned.correction; }

    // The weight to send for a fill the batch wants.
    double toSend(double wanted) const { return wanted * (1 - learned.correction); }
    // A fill counted into the batch: `sent` went to the doser for `wanted`. False when it was
    // left out (too far off, or nothing to learn from).
    bool learn(double wanted, double sent, double discharged, double plusTolerance,
               double minusTolerance);

private:
    int window = DefaultDoses;
    double factor = DefaultGain;
    LearnedCorrection learned;
};

#endif // DOSECORRECTOR_H
