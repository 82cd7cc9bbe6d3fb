#include "cyclerecords.h"

#include "database.h"

CycleRecords::CycleRecords(Database &database)
    : database(database)
{ }

WriteResult CycleRecords::add(qint64 butchId, int deviceId, const CycleTrace &cycle)
{
    // Base64 keeps the packed readings in the text values every statement reads back.
    const QString samples =
        QString::fromLatin1(CycleTrace::packSamples(cycle.samples, cycle.decimals).toBase64());
    const bool added = database.execQuery(
        QStringLiteral(
            R"(INSERT INTO cycle (idButch, deviceId, number, decimals, orderedWeight, doseFaultPlus, doseFaultMinus, counted, dischargedWeight, countedMs, samples) VALUES (%1, %2, %3, %4, %5, %6, %7, %8, %9, %10, "%11"))"),
        {butchId, deviceId, cycle.number, int(cycle.decimals), cycle.ordered, cycle.plusTolerance,
         cycle.minusTolerance, int(cycle.counted), cycle.discharged, cycle.countedMs, samples});
    return WriteResult::of(added, database);
}

QList<CycleTrace> CycleRecords::ofTask(qint64 butchId, int deviceId)
{
    QList<CycleTrace> cycles;
    if (!database.execQuery(
            QStringLiteral(
                R"(SELECT number, decimals, orderedWeight, doseFaultPlus, doseFaultMinus, counted, dischargedWeight, countedMs, samples FROM cycle WHERE idButch = %1 AND deviceId = %2 ORDER BY rowid)"),
            {butchId, deviceId}))
        return cycles;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row) {
        CycleTrace cycle;
        cycle.number = rows.value(row, 0).toInt();
        cycle.decimals = quint8(rows.value(row, 1).toUInt());
        cycle.ordered = rows.value(row, 2).toDouble();
        cycle.plusTolerance = rows.value(row, 3).toDouble();
        cycle.minusTolerance = rows.value(row, 4).toDouble();
        cycle.counted = rows.value(row, 5).toInt() != 0;
        cycle.discharged = rows.value(row, 6).toDouble();
        cycle.countedMs = rows.value(row, 7).toLongLong();
        cycle.samples = CycleTrace::unpackSamples(
            QByteArray::fromBase64(rows.value(row, 8).toLatin1()), cycle.decimals);
        cycles.append(cycle);
    }
    return cycles;
}

bool CycleRecords::removeOfButch(qint64 butchId)
{
    return database.execQuery(QStringLiteral("DELETE FROM cycle WHERE idButch = %1"), {butchId});
}
