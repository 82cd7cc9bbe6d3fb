#ifndef DOSEOPTIONS_H
#define DOSEOPTIONS_H

#include <QString>

class QSettings;

// How the console doses beyond the doser's own rule; every option is off until an engineer
// switches it on, so a batch runs as the doser's rule says.
struct DoseOptions
{
    static constexpr double DefaultFillShare = 0.95;
    static constexpr double LeastFillShare = 0.5;
    static constexpr double DefaultLastFillShare = 0.15;
    static constexpr double LeastLastFillShare = 0.05;
    static constexpr double LargestLastFillShare = 0.5;

    // Learned dose correction: the mean miss of the last `correctionDoses` fills of the product
    // on the doser, times the gain, is taken off the next fill.
    bool correction = false;
    int correctionDoses = 4;
    double correctionGain = 0.5;
    // The fewest cycles: as few fills as each at most `fillShare` of the upper limit allows,
    // every fill the remainder divided by the fills left.
    bool fewestCycles = false;
    double fillShare = DefaultFillShare;
    // "точно": the fills before the last as large as `fillShare` allows and the last one small,
    // `lastFillShare` of the upper limit, so it takes up the misses of the large ones; at most
    // one fill more than the fewest cycles. Made again from what is left after every fill.
    bool precise = false;
    double lastFillShare = DefaultLastFillShare;
    // A request whose reply was lost or corrupt is sent once more before the doser counts as
    // lost, unless it moves product (a fill, a discharge, a cycle).
    bool repeatReads = false;
    // "Номер партии": the start asks for the batch's lot, offered as `lotPattern` gives it
    // (see LotNumbers; an empty pattern offers nothing), and no batch starts without one.
    bool lotNumber = false;
    QString lotPattern;

    static DoseOptions load(QSettings &store);
    void save(QSettings &store) const;
    // One line for the journal: what is switched on, with its figures.
    QString summary() const;

    bool operator==(const DoseOptions &other) const;
    bool operator!=(const DoseOptions &other) const { return !(*this == other); }
};

#endif // DOSEOPTIONS_H
