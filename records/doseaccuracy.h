#ifndef DOSEACCURACY_H
#define DOSEACCURACY_H

#include "toleranceclass.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

// How closely the doses of one product and unit met their ordered weights, kept as the sums
// and extremes that give the figures: deviation = discharged - ordered, in the doses' unit.
// All zero is the state without doses, so SQLite's zeroed aggregate memory can hold one.
class DoseAccuracy
{
public:
    // One counted dose against its order, in the dose's unit.
    struct Dose
    {
        double ordered = 0.0;
        double discharged = 0.0;
        int decimals = 0;
        // Grams in the dose's unit (ToleranceClass::gramsPerUnit); 0 leaves the dose out of
        // the class.
        double gramsPerUnit = 0.0;
        // The doser's tolerances as weights; a dose without them stays out of the share within
        // tolerance, Cp and Cpk.
        bool toleranceKnown = false;
        double plus = 0.0;
        double minus = 0.0;
    };

    DoseAccuracy() = default;
    // Doses without a known tolerance or class.
    DoseAccuracy(qint64 count, double sum, double sumOfSquares, double highest, double lowest,
                 int decimals);

    void add(const Dose &dose);
    void merge(const DoseAccuracy &other);
    // The sums as one text, exact to the last bit, for passing through a query's result.
    QString toText() const;
    static DoseAccuracy fromText(const QString &text);
    // The sums as bytes of a fixed layout (every field 8 bytes, little-endian), as data.db keeps
    // them: the same on every machine and for every build. Bytes of another length give no
    // figures.
    QByteArray toBytes() const;
    static DoseAccuracy fromBytes(QByteArrayView bytes);

    qint64 count() const { return doses; }
    double mean() const;
    // The sample standard deviation; 0 for a single dose.
    double standardDeviation() const;
    // The deviation farthest from zero, with its sign.
    double largest() const;

    // Of the doses with a known tolerance: the percentage within -minus..+plus, and Cp and Cpk
    // against their mean band; none without such doses, Cp and Cpk none for fewer than two or
    // for doses that all deviate alike.
    qint64 toleranceCount() const { return toleranceDoses; }
    std::optional<double> withinTolerancePercent() const;
    std::optional<double> cp() const;
    std::optional<double> cpk() const;
    // The index in ToleranceClass::Factors of the finest class every dose meets: none when not
    // even the widest is met, or when no dose's class limit is known (see hasClass).
    bool hasClass() const { return classDoses > 0; }
    std::optional<int> classIndex() const;

    // As the table shows them: the mean and the standard deviation one place finer than the
    // weights, the largest deviation as weighed; a deviation above zero with its '+'.
    QString meanText() const;
    QString standardDeviationText() const;
    QString largestText() const;
    // Empty where there is no figure; the class "X(0.5)", or "—" when none is met.
    QString withinToleranceText() const;
    QString cpText() const;
    QString cpkText() const;
    QString classText() const;

private:
    static constexpr int ClassCount = ToleranceClass::Count;

    double slack() const;
    double toleranceDeviation() const;
    bool hasSpread(double sigma) const;
    // Calls visit(field) for every field, integers as qint64 &, in the order of the bytes.
    template<typename Self, typename Visit>
    static void forEachField(Self &self, Visit &&visit);

    qint64 doses = 0;
    double sum = 0.0;
    double sumOfSquares = 0.0;
    double highest = 0.0;
    double lowest = 0.0;
    int decimals = 0;

    qint64 toleranceDoses = 0;
    qint64 withinDoses = 0;
    double toleranceSum = 0.0;
    double toleranceSquares = 0.0;
    double plusSum = 0.0;
    double minusSum = 0.0;

    // Per class x: the highest (deviation - x * limit) and the lowest (deviation + x * limit);
    // the class is met when the mean lies between them.
    qint64 classDoses = 0;
    double classSum = 0.0;
    std::array<double, ClassCount> classFloor {};
    std::array<double, ClassCount> classCeiling {};
};

#endif // DOSEACCURACY_H
