#ifndef DOSEACCURACY_H
#define DOSEACCURACY_H

#include <QString>

// How closely the doses of one product and unit met their ordered weights, kept as the sums
// that give the figures: deviation = discharged - ordered, in the doses' unit. All zero is the
// state without doses, so SQLite's zeroed aggregate memory can hold one.
class DoseAccuracy
{
public:
    DoseAccuracy() = default;
    DoseAccuracy(qint64 count, double sum, double sumOfSquares, double highest, double lowest,
                 int decimals);

    void add(double deviation, int doseDecimals);
    void merge(const DoseAccuracy &other);
    // The sums as one text, exact to the last bit, for passing through a query's result.
    QString toText() const;
    static DoseAccuracy fromText(const QString &text);

    qint64 count() const { return doses; }
    double mean() const;
    // The sample standard deviation; 0 for a single dose.
    double standardDeviation() const;
    // The deviation farthest from zero, with its sign.
    double largest() const;

    // As the table shows them: the mean and the standard deviation one place finer than the
    // weights, the largest deviation as weighed; a deviation above zero with its '+'.
    QString meanText() const;
    QString standardDeviationText() const;
    QString largestText() const;

private:
    qint64 doses = 0;
    double sum = 0.0;
    double sumOfSquares = 0.0;
    double highest = 0.0;
    double lowest = 0.0;
    int decimals = 0;
};

#endif // DOSEACCURACY_H
