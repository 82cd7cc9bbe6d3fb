#ifndef CYCLETRACE_H
#define CYCLETRACE_H

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// One reading of the hopper's weight, in ms since the batch started.
struct TrendSample
{
    qint64 ms = 0;
    double weight = 0;
};

// One fill and discharge of a batch as the hopper's weight went: the fill ordered with its
// tolerance band, the weights read meanwhile, and the discharge counted into the task.
struct CycleTrace
{
    // 1 for the batch's first cycle on the doser; a cycle without an order (the hopper emptied
    // before work or on resuming) has none.
    int number = 0;
    quint8 decimals = 0;
    // 0 when nothing was ordered.
    double ordered = 0;
    double plusTolerance = 0;
    double minusTolerance = 0;
    bool counted = false;
    double discharged = 0;
    // When the discharge was counted; -1 when none was.
    qint64 countedMs = -1;
    QList<TrendSample> samples;

    // The readings as bytes, a few to a reading: times and weights (in the last decimal) as
    // differences to the reading before, each a variable-length integer.
    static QByteArray packSamples(const QList<TrendSample> &samples, quint8 decimals);
    // Empty for bytes that are no packed readings.
    static QList<TrendSample> unpackSamples(const QByteArray &packed, quint8 decimals);
};

#endif // CYCLETRACE_H
