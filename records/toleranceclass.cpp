#include "toleranceclass.h"

#include <limits>

namespace {

// X(1) up to a fill's mass: either a share of the fill or a fixed weight. The bands meet
// without a step, so a mass on a limit gets the same figure from either side.
struct Band
{
    double upToGrams;
    double percent;
    double grams;
};

constexpr Band Bands[] = {
    {50.0, 9.0, 0.0},    {100.0, 0.0, 4.5},     {200.0, 4.5, 0.0},
    {300.0, 0.0, 9.0},   {500.0, 3.0, 0.0},     {1000.0, 0.0, 15.0},
    {10000.0, 1.5, 0.0}, {15000.0, 0.0, 150.0}, {std::numeric_limits<double>::infinity(), 1.0, 0.0},
};

constexpr double GramsPerKilogram = 1000.0;
constexpr double GramsPerTonne = 1000000.0;

} // namespace

double ToleranceClass::gramsPerUnit(QAnyStringView unit)
{
    if (unit == QAnyStringView(u"г"))
        return 1.0;
    if (unit == QAnyStringView(u"кг"))
        return GramsPerKilogram;
    if (unit == QAnyStringView(u"т"))
        return GramsPerTonne;
    return 0.0;
}

double ToleranceClass::maximumDeviation(double grams)
{
    if (!(grams > 0.0))
        return 0.0;
    for (const Band &band : Bands) {
        if (grams <= band.upToGrams)
            return band.percent > 0.0 ? grams * band.percent / 100.0 : band.grams;
    }
    return 0.0;
}

QString ToleranceClass::name(int index)
{
    return QStringLiteral("X(%1)").arg(Factors.at(std::size_t(index)));
}
