#include "doseaccuracy.h"

#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <type_traits>

namespace {

// A share of the weighing step small enough to be only the binary rounding of decimal weights
// (28.07 - 27.57 is not exactly 0.5), so a dose on a limit counts as within it.
constexpr double RoundingShare = 1e-6;
// Doses weighed to a step spread by at least step / sqrt(count) when any differs; a smaller
// standard deviation is the rounding of equal deviations.
constexpr double EqualSpreadShare = 1e-4;
constexpr int PercentDecimals = 1;
constexpr int CapabilityDecimals = 2;
constexpr int ExactDigits = 17;
constexpr int TextFields = 14 + 2 * ToleranceClass::Count;
constexpr int FieldBytes = 8;
constexpr int ByteSize = TextFields * FieldBytes;

// The weighing step of a weight with that many decimals.
double stepOf(int decimals)
{
    constexpr double Steps[] = {1.0, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6};
    return decimals >= 0 && decimals < int(std::size(Steps)) ? Steps[decimals]
                                                             : std::pow(10.0, -decimals);
}

QString signedText(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    // No "-0.00" for a deviation that rounds to nothing.
    if (text.toDouble() == 0.0)
        return QString::number(0.0, 'f', decimals);
    return value > 0 ? u'+' + text : text;
}

double sampleDeviation(qint64 count, double sum, double squares)
{
    if (count < 2)
        return 0.0;
    const double n = double(count);
    // Rounding can leave the difference a hair below zero when every dose deviates alike.
    return std::sqrt(std::max(0.0, (squares - sum * sum / n) / (n - 1.0)));
}

QString optionalText(std::optional<double> value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QString();
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

void DoseAccuracy::add(const Dose &dose)
{
    // In place rather than through merge(): the statistics add years of doses one by one.
    const double deviation = dose.discharged - dose.ordered;
    highest = doses == 0 ? deviation : std::max(highest, deviation);
    lowest = doses == 0 ? deviation : std::min(lowest, deviation);
    ++doses;
    sum += deviation;
    sumOfSquares += deviation * deviation;
    decimals = std::max(decimals, dose.decimals);
    if (dose.toleranceKnown) {
        const double margin = stepOf(dose.decimals) * RoundingShare;
        ++toleranceDoses;
        if (deviation <= dose.plus + margin && deviation >= -dose.minus - margin)
            ++withinDoses;
        toleranceSum += deviation;
        toleranceSquares += deviation * deviation;
        plusSum += dose.plus;
        minusSum += dose.minus;
    }
    if (dose.gramsPerUnit > 0.0) {
        const double limit =
            ToleranceClass::maximumDeviation(dose.ordered * dose.gramsPerUnit) / dose.gramsPerUnit;
        for (int i = 0; i < ClassCount; ++i) {
            const double floor = deviation - ToleranceClass::Factors[i] * limit;
            const double ceiling = deviation + ToleranceClass::Factors[i] * limit;
            classFloor[i] = classDoses == 0 ? floor : std::max(classFloor[i], floor);
            classCeiling[i] = classDoses == 0 ? ceiling : std::min(classCeiling[i], ceiling);
        }
        ++classDoses;
        classSum += deviation;
    }
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

    toleranceDoses += other.toleranceDoses;
    withinDoses += other.withinDoses;
    toleranceSum += other.toleranceSum;
    toleranceSquares += other.toleranceSquares;
    plusSum += other.plusSum;
    minusSum += other.minusSum;

    if (other.classDoses > 0) {
        for (int i = 0; i < ClassCount; ++i) {
            classFloor[i] = classDoses == 0 ? other.classFloor[i]
                                            : std::max(classFloor[i], other.classFloor[i]);
            classCeiling[i] = classDoses == 0 ? other.classCeiling[i]
                                              : std::min(classCeiling[i], other.classCeiling[i]);
        }
        classDoses += other.classDoses;
        classSum += other.classSum;
    }
}

QString DoseAccuracy::toText() const
{
    QStringList fields {QString::number(doses)};
    for (double value : {sum, sumOfSquares, highest, lowest})
        fields << QString::number(value, 'g', ExactDigits);
    fields << QString::number(decimals) << QString::number(toleranceDoses)
           << QString::number(withinDoses);
    for (double value : {toleranceSum, toleranceSquares, plusSum, minusSum})
        fields << QString::number(value, 'g', ExactDigits);
    fields << QString::number(classDoses) << QString::number(classSum, 'g', ExactDigits);
    for (int i = 0; i < ClassCount; ++i) {
        fields << QString::number(classFloor[i], 'g', ExactDigits)
               << QString::number(classCeiling[i], 'g', ExactDigits);
    }
    return fields.join(u' ');
}

DoseAccuracy DoseAccuracy::fromText(const QString &text)
{
    const QStringList parts = text.split(u' ');
    if (parts.size() != TextFields)
        return DoseAccuracy();
    DoseAccuracy figures(parts.at(0).toLongLong(), parts.at(1).toDouble(), parts.at(2).toDouble(),
                         parts.at(3).toDouble(), parts.at(4).toDouble(), parts.at(5).toInt());
    figures.toleranceDoses = parts.at(6).toLongLong();
    figures.withinDoses = parts.at(7).toLongLong();
    figures.toleranceSum = parts.at(8).toDouble();
    figures.toleranceSquares = parts.at(9).toDouble();
    figures.plusSum = parts.at(10).toDouble();
    figures.minusSum = parts.at(11).toDouble();
    figures.classDoses = parts.at(12).toLongLong();
    figures.classSum = parts.at(13).toDouble();
    for (int i = 0; i < ClassCount; ++i) {
        figures.classFloor[i] = parts.at(14 + 2 * i).toDouble();
        figures.classCeiling[i] = parts.at(15 + 2 * i).toDouble();
    }
    return figures;
}

template<typename Self, typename Visit>
void DoseAccuracy::forEachField(Self &self, Visit &&visit)
{
    visit(self.doses);
    visit(self.sum);
    visit(self.sumOfSquares);
    visit(self.highest);
    visit(self.lowest);
    qint64 decimals = self.decimals;
    visit(decimals);
    self.decimals = int(decimals);
    visit(self.toleranceDoses);
    visit(self.withinDoses);
    visit(self.toleranceSum);
    visit(self.toleranceSquares);
    visit(self.plusSum);
    visit(self.minusSum);
    visit(self.classDoses);
    visit(self.classSum);
    for (int i = 0; i < ClassCount; ++i) {
        visit(self.classFloor[i]);
        visit(self.classCeiling[i]);
    }
}

QByteArray DoseAccuracy::toBytes() const
{
    QByteArray bytes(ByteSize, Qt::Uninitialized);
    char *at = bytes.data();
    DoseAccuracy copy = *this;
    forEachField(copy, [&at](auto &field) {
        static_assert(sizeof(field) == FieldBytes);
        qToLittleEndian(field, at);
        at += FieldBytes;
    });
    return bytes;
}

DoseAccuracy DoseAccuracy::fromBytes(QByteArrayView bytes)
{
    DoseAccuracy figures;
    if (bytes.size() != ByteSize)
        return figures;
    const char *at = bytes.data();
    forEachField(figures, [&at](auto &field) {
        field = qFromLittleEndian<std::remove_reference_t<decltype(field)>>(at);
        at += FieldBytes;
    });
    return figures;
}

double DoseAccuracy::mean() const
{
    return doses > 0 ? sum / double(doses) : 0.0;
}

double DoseAccuracy::standardDeviation() const
{
    return sampleDeviation(doses, sum, sumOfSquares);
}

double DoseAccuracy::largest() const
{
    return std::fabs(lowest) > std::fabs(highest) ? lowest : highest;
}

double DoseAccuracy::slack() const
{
    return stepOf(decimals) * RoundingShare;
}

bool DoseAccuracy::hasSpread(double sigma) const
{
    return toleranceDoses >= 2 && sigma > stepOf(decimals) * EqualSpreadShare;
}

double DoseAccuracy::toleranceDeviation() const
{
    return sampleDeviation(toleranceDoses, toleranceSum, toleranceSquares);
}

std::optional<double> DoseAccuracy::withinTolerancePercent() const
{
    if (toleranceDoses == 0)
        return std::nullopt;
    return 100.0 * double(withinDoses) / double(toleranceDoses);
}

std::optional<double> DoseAccuracy::cp() const
{
    const double sigma = toleranceDeviation();
    if (!hasSpread(sigma))
        return std::nullopt;
    const double n = double(toleranceDoses);
    return (plusSum / n + minusSum / n) / (6.0 * sigma);
}

std::optional<double> DoseAccuracy::cpk() const
{
    const double sigma = toleranceDeviation();
    if (!hasSpread(sigma))
        return std::nullopt;
    const double n = double(toleranceDoses);
    const double centre = toleranceSum / n;
    return std::min(plusSum / n - centre, centre + minusSum / n) / (3.0 * sigma);
}

std::optional<int> DoseAccuracy::classIndex() const
{
    if (classDoses == 0)
        return std::nullopt;
    const double centre = classSum / double(classDoses);
    for (int i = 0; i < ClassCount; ++i) {
        if (classFloor[i] <= centre + slack() && centre <= classCeiling[i] + slack())
            return i;
    }
    return std::nullopt;
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

QString DoseAccuracy::withinToleranceText() const
{
    return optionalText(withinTolerancePercent(), PercentDecimals);
}

QString DoseAccuracy::cpText() const
{
    return optionalText(cp(), CapabilityDecimals);
}

QString DoseAccuracy::cpkText() const
{
    return optionalText(cpk(), CapabilityDecimals);
}

QString DoseAccuracy::classText() const
{
    if (!hasClass())
        return QString();
    const std::optional<int> index = classIndex();
    return index ? ToleranceClass::name(*index) : QStringLiteral("—");
}
