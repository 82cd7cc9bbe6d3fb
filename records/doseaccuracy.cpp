#include "doseaccuracy.h"

#include <QStringList>

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

void DoseAccuracy::add(double deviation, int doseDecimals)
{
    merge(DoseAccuracy(1, deviation, deviation * deviation, deviation, deviation, doseDecimals));
}

void DoseAccuracy::merge(const DoseAccuracy &other)
{
    if (other.doses == 0)
        return;
    highest = doses == 0 ? other.highest : std::max(highest, other.highest);
    lowest = doses == 0 ? other.lowest : std::min(lowest, other.lowest);
    doses += other.doses;
    sum += other.sum;
    sumOfSquares += other.sumOfSquares;
    decimals = std::max(decimals, other.decimals);
}

QString DoseAccuracy::toText() const
{
    constexpr int ExactDigits = 17;
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(doses)
        .arg(sum, 0, 'g', ExactDigits)
        .arg(sumOfSquares, 0, 'g', ExactDigits)
        .arg(highest, 0, 'g', ExactDigits)
        .arg(lowest, 0, 'g', ExactDigits)
        .arg(decimals);
}

DoseAccuracy DoseAccuracy::fromText(const QString &text)
{
    const QStringList parts = text.split(u' ');
    if (parts.size() != 6)
        return DoseAccuracy();
    return DoseAccuracy(parts.at(0).toLongLong(), parts.at(1).toDouble(), parts.at(2).toDouble(),
                        parts.at(3).toDouble(), parts.at(4).toDouble(), parts.at(5).toInt());
}

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
