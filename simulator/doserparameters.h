#ifndef DOSERPARAMETERS_H
#define DOSERPARAMETERS_H

#include <QtGlobal>

// Everything that makes one simulated doser differ from another; weights are in the doser's
// weight unit, rates in that unit per second.
struct DoserParameters
{
    static constexpr int LargestAddress = 127;
    // A rule's address when it applies to every doser on the line.
    static constexpr int AnyAddress = -1;

    int address = 30;
    double npd = 30.0;
    int scale = 2;
    int unit = 1;
    int totalUnit = 1;
    // The software version as sent: the number versionValue / 10^versionDecimals.
    quint32 versionValue = 107;
    int versionDecimals = 2;
    double plusTolerance = 0.5;
    double minusTolerance = 0.5;
    double doseWeight = 10.0;
    double feedRate = 5.0;
    double fineRate = 0.5;
    double inFlight = 0.05;
    int settleMs = 500;
    double dischargeRate = 10.0;
    double noise = 0.01;
    // How a fill misses its target, in per cent of it: the same error every fill, a random
    // spread (standard deviation) and a drift that grows by this much every 100 fills.
    double fillErrorPercent = 0;
    double fillSpreadPercent = 0;
    double fillDriftPercent = 0;
    // A fixed weight every fill ends above its target, whatever its size.
    double inFlightError = 0;
    quint32 totalDoses = 0;
    // Non-resettable weight at start, in the doser's digits (weight * 10^scale).
    quint32 totalWeightDigits = 0;

    // Digits in one weight unit: 10^scale.
    qint64 digitsPerUnit() const
    {
        qint64 digits = 1;
        for (int i = 0; i < scale; ++i)
            digits *= 10;
        return digits;
    }
};

#endif // DOSERPARAMETERS_H
