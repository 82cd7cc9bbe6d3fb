#include "doserecords.h"

#include "database.h"
#include "recordtime.h"

namespace {

const QString AddStatement = QStringLiteral(
    "INSERT INTO dose (idButch, deviceId, date, time, orderedWeight, dischargedWeight, "
    "weightScale, decimals, counted, doseFaultPlus, doseFaultMinus, correction, idTask, inFlight) "
    "values (%1, "
    "%2, \"%3\", \"%4\", \"%5\", \"%6\", \"%7\", %8, %9, \"%10\", \"%11\", %12, %13, %14);");
const QString OfButchStatement = QStringLiteral(
    "SELECT idButch, deviceId, date, time, orderedWeight, dischargedWeight, weightScale, "
    "decimals, counted, doseFaultPlus, doseFaultMinus, ifnull(correction, 0), "
    "ifnull(idTask, 0), ifnull(inFlight, 0) FROM dose "
    "WHERE idButch = %1 "
    "ORDER BY idDose");
const QString RemoveOfButchStatement = QStringLiteral("DELETE FROM dose WHERE idButch = %1");

namespace DoseRow {
enum Column {
    ButchColumn,
    DeviceColumn,
    DateColumn,
    TimeColumn,
    OrderedColumn,
    DischargedColumn,
    UnitColumn,
    DecimalsColumn,
    CountedColumn,
    PlusColumn,
    MinusColumn,
    CorrectionColumn,
    TaskColumn,
    InFlightColumn,
};
} // namespace DoseRow

} // namespace

DoseRecords::DoseRecords(Database &database)
    : database(database)
{ }

bool DoseRecords::add(const DoseRecord &dose)
{
    const QDateTime moment = dose.moment.isValid() ? dose.moment : QDateTime::currentDateTime();
    return database.execQuery(
        AddStatement,
        {dose.butchId, dose.deviceId, RecordTime::dateText(moment), RecordTime::timeText(moment),
         dose.orderedWeight, dose.dischargedWeight, dose.unit, dose.decimals, int(dose.counted),
         dose.tolerancePlus, dose.toleranceMinus, dose.correction,
         dose.taskId != 0 ? QVariant(dose.taskId) : QVariant(), dose.inFlight});
}

QList<DoseRecord> DoseRecords::ofButch(qint64 butchId)
{
    QList<DoseRecord> doses;
    database.execQuery(OfButchStatement, {butchId});
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row) {
        DoseRecord dose;
        dose.butchId = rows.value(row, DoseRow::ButchColumn).toLongLong();
        dose.deviceId = rows.value(row, DoseRow::DeviceColumn).toInt();
        dose.moment = RecordTime::moment(rows.value(row, DoseRow::DateColumn),
                                         rows.value(row, DoseRow::TimeColumn));
        dose.orderedWeight = rows.value(row, DoseRow::OrderedColumn);
        dose.dischargedWeight = rows.value(row, DoseRow::DischargedColumn);
        dose.unit = rows.value(row, DoseRow::UnitColumn);
        dose.decimals = rows.value(row, DoseRow::DecimalsColumn).toInt();
        dose.counted = rows.value(row, DoseRow::CountedColumn).toInt() != 0;
        dose.tolerancePlus = rows.value(row, DoseRow::PlusColumn);
        dose.toleranceMinus = rows.value(row, DoseRow::MinusColumn);
        dose.correction = rows.value(row, DoseRow::CorrectionColumn).toDouble();
        dose.taskId = rows.value(row, DoseRow::TaskColumn).toLongLong();
        dose.inFlight = rows.value(row, DoseRow::InFlightColumn).toDouble();
        doses << dose;
    }
    return doses;
}

bool DoseRecords::removeOfButch(qint64 butchId)
{
    return database.execQuery(RemoveOfButchStatement, {butchId});
}
