#include "doseaccuracy.h"

#include <algorithm>
#include <cmath>

namespace {

QString signedText(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    // No "-0.00" for a deviation that rounds to nothing.
    if (text.toDouble() == 0.0)
        return QString::number(0.0, 'f', decimals);
    return value > 0 ? u'+' + text : text;
}

} // namespace

DoseAccuracy::DoseAccuracy(qint64 count, double sum, double sumOfSquares, double highest,
                           double lowest, int decimals)
    : doses(count)
    , sum(sum)
    , sumOfSquares(sumOfSquares)
    , highest(highest)
    , lowest(lowest)
    , decimals(decimals)
{ }

double DoseAccuracy::mean() const
{
    return doses > 0 ? sum / double(doses) : 0.0;
}

double DoseAccuracy::standardDeviation() const
{
    if (doses < 2)
        return 0.0;
    const double n = double(doses);
    // Rounding can leave the difference a hair below zero when every dose deviates alike.
    const double variance = std::max(0.0, (sumOfSquares - sum * sum / n) / (n - 1.0));
    return std::sqrt(variance);
}

double DoseAccuracy::largest() const
{
    return std::fabs(lowest) > std::fabs(highest) ? lowest : highest;
}

QString DoseAccuracy::meanText() const
{
    return signedText(mean(), decimals + 1);
}

QString DoseAccuracy::standardDeviationText() const
{
    return QString::number(standardDeviation(), 'f', decimals + 1);
}

QString DoseAccuracy::largestText() const
{
    return signedText(largest(), decimals);
}
