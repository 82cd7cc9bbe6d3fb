#include "dosecorrections.h"

#include "database.h"

#include <QStringList>

namespace {

const QString LoadStatement = QStringLiteral(
    R"(SELECT correction, ratios, ifnull(inFlight, 0), ifnull(sent, "") FROM doseCorrection WHERE deviceId = %1 AND productName = "%2")");
const QString SaveStatement = QStringLiteral(
    R"(INSERT OR REPLACE INTO doseCorrection (deviceId, productName, correction, ratios, inFlight, sent) VALUES (%1, "%2", %3, "%4", %5, "%6"))");
const QString ResetStatement =
    QStringLiteral(R"(DELETE FROM doseCorrection WHERE deviceId = %1 AND productName = "%2")");
// Ratios near 1 need this many digits to keep the fourth decimal of a fill.
constexpr int RatioDigits = 9;
constexpr double PercentPerShare = 100;
constexpr int ShareDecimals = 2;
constexpr int InFlightDecimals = 3;

QList<double> numbers(const QString &text)
{
    QList<double> values;
    for (const QString &number : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        values << number.toDouble();
    return values;
}

QString numbersText(const QList<double> &values)
{
    QStringList numbers;
    for (double value : values)
        numbers << QString::number(value, 'g', RatioDigits);
    return numbers.join(QLatin1Char(' '));
}

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
    learned.inFlight = row.value(0, 2).toDouble();
    const QList<double> ratios = numbers(row.value(0, 1));
    QList<double> sent = numbers(row.value(0, 3));
    // A row of an older file has no sizes: its fills count as of unknown size.
    if (sent.size() != ratios.size())
        sent = QList<double>(ratios.size(), 0.0);
    for (int i = 0; i < ratios.size(); ++i) {
        if (ratios.at(i) > 0) {
            learned.ratios << ratios.at(i);
            learned.sent << qMax(0.0, sent.at(i));
        }
    }
    return learned;
}

WriteResult DoseCorrections::save(int deviceId, const QString &product,
                                  const LearnedCorrection &learned)
{
    return WriteResult::of(
        database.execQuery(SaveStatement,
                           {deviceId, product, learned.correction, numbersText(learned.ratios),
                            learned.inFlight, numbersText(learned.sent)}),
        database);
}

WriteResult DoseCorrections::reset(int deviceId, const QString &product)
{
    return WriteResult::of(database.execQuery(ResetStatement, {deviceId, product}), database);
}

QString DoseCorrections::termsText(double correction, double inFlight)
{
    return QStringLiteral("%1 %, в полёте %2")
        .arg(-correction * PercentPerShare, 0, 'f', ShareDecimals)
        .arg(-inFlight, 0, 'f', InFlightDecimals);
}
