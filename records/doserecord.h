#ifndef DOSERECORD_H
#define DOSERECORD_H

#include <QDateTime>
#include <QString>

// One discharge of a batch as the console weighed it. Weights are the console's texts
// (fixed-point, '.' as point, `decimals` places), so sums over them are exact.
struct DoseRecord
{
    qint64 butchId = 0;
    int deviceId = 0;
    // The task the dose belongs to; 0 for none.
    qint64 taskId = 0;
    QDateTime moment;
    // The fill that was ordered; empty for the residue emptied before the first fill.
    QString orderedWeight;
    QString dischargedWeight;
    // "г", "кг" or "т", as the doser reports it.
    QString unit;
    int decimals = 0;
    // False for a residue the rule declined: it was discharged but not added to the task.
    bool counted = true;
    // The doser's dose tolerances when the dose was weighed; empty when not yet read.
    QString tolerancePlus;
    QString toleranceMinus;
    // The share of the ordered weight taken off (or, below zero, added to) the fill sent to the
    // doser for its learned miss; 0 without a correction.
    double correction = 0;
    // The amount in flight taken off (below zero, added to) the fill besides; 0 without one.
    double inFlight = 0;

    bool isResidue() const { return orderedWeight.isEmpty(); }
};

#endif // DOSERECORD_H
