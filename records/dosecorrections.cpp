#include "dosecorrections.h"

#include "database.h"

#include <QStringList>

namespace {

const QString LoadStatement = QStringLiteral(
    R"(SELECT correction, ratios FROM doseCorrection WHERE deviceId = %1 AND productName = "%2")");
const QString SaveStatement = QStringLiteral(
    R"(INSERT OR REPLACE INTO doseCorrection (deviceId, productName, correction, ratios) VALUES (%1, "%2", %3, "%4"))");
const QString ResetStatement =
    QStringLiteral(R"(DELETE FROM doseCorrection WHERE deviceId = %1 AND productName = "%2")");
// Ratios near 1 need this many digits to keep the fourth decimal of a fill.
constexpr int RatioDigits = 9;

} // namespace

DoseCorrections::DoseCorrections(Database &database)
    : database(database)
{ }

LearnedCorrection DoseCorrections::load(int deviceId, const QString &product)
{
    LearnedCorrection learned;
    if (!database.execQuery(LoadStatement, {deviceId, product}) || database.result().rows == 0)
        return learned;
    const QueryResult &row = database.result();
    learned.correction = row.value(0, 0).toDouble();
    const QStringList ratios = row.value(0, 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &ratio : ratios) {
        bool ok = false;
        const double value = ratio.toDouble(&ok);
        if (ok && value > 0)
            learned.ratios << value;
    }
    return learned;
}

bool DoseCorrections::save(int deviceId, const QString &product, const LearnedCorrection &learned)
{
    QStringList ratios;
    for (double ratio : learned.ratios)
        ratios << QString::number(ratio, 'g', RatioDigits);
    return database.execQuery(
        SaveStatement, {deviceId, product, learned.correction, ratios.join(QLatin1Char(' '))});
}

bool DoseCorrections::reset(int deviceId, const QString &product)
{
    return database.execQuery(ResetStatement, {deviceId, product});
}
