#ifndef TOLERANCECLASS_H
#define TOLERANCECLASS_H

#include <QAnyStringView>
#include <QString>

#include <array>

// The accuracy classes X(x) of OIML R61 for filling by weight: how far a fill may lie from the
// mean of the fills. X(1)'s limits depend on the fill's mass; X(x) multiplies them by x.
class ToleranceClass
{
public:
    // The classes the statistics tell apart, finest first.
    static constexpr std::array<double, 4> Factors {0.2, 0.5, 1.0, 2.0};
    static constexpr int Count = int(Factors.size());

    // Grams in one "г", "кг" or "т"; 0 for any other unit.
    static double gramsPerUnit(QAnyStringView unit);
    // X(1)'s maximum permissible deviation from the mean, in grams, of a fill of that many
    // grams (the in-service figures); 0 for a fill of no mass.
    static double maximumDeviation(double grams);
    // "X(0.5)" for the class of that index in Factors.
    static QString name(int index);
};

#endif // TOLERANCECLASS_H
