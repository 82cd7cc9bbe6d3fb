#include "formulaparts.h"

#include "database.h"
#include "transaction.h"

namespace {

namespace PartRow {
enum Column { Seq, DeviceId, ProductName, TaskWeight, Plus, Minus, Turn, TaskId };
} // namespace PartRow

} // namespace

FormulaParts::FormulaParts(Database &connection)
    : database(connection)
{ }

WriteResult FormulaParts::write(quint64 butchId, const FormulaButch &butch)
{
    Transaction transaction(database);
    if (!transaction.isOpen()
        || !database.execQuery(QStringLiteral("INSERT INTO formulaButch (idButch, formulaName, "
                                              "size, keepRatio) VALUES (%1, %2, %3, %4)"),
                               {butchId, butch.formulaName, butch.size, butch.keepRatio ? 1 : 0}))
        return WriteResult::of(false, database);
    for (const FormulaPart &part : butch.parts) {
        if (!database.execQuery(
                QStringLiteral("INSERT INTO formulaPart (idButch, seq, deviceId, productName, "
                               "taskWeight, doseFaultPlus, doseFaultMinus, turn, idTask) VALUES "
                               "(%1, %2, %3, %4, %5, %6, %7, %8, 0)"),
                {butchId, part.seq, part.deviceId, part.productName, part.taskWeight,
                 part.doseFaultPlus, part.doseFaultMinus, part.turn}))
            return WriteResult::of(false, database);
    }
    return WriteResult::of(transaction.commit(), database);
}

bool FormulaParts::load(quint64 butchId, FormulaButch *butch)
{
    if (!database.execQuery(QStringLiteral("SELECT formulaName, size, keepRatio FROM "
                                           "formulaButch WHERE idButch = %1"),
                            {butchId})
        || database.result().rows == 0)
        return false;
    const QueryResult &head = database.result();
    FormulaButch loaded;
    loaded.formulaName = head.value(0, 0);
    loaded.size = head.value(0, 1);
    loaded.keepRatio = head.value(0, 2).toInt() != 0;
    if (!database.execQuery(QStringLiteral("SELECT seq, deviceId, productName, taskWeight, "
                                           "doseFaultPlus, doseFaultMinus, turn, idTask FROM "
                                           "formulaPart WHERE idButch = %1 ORDER BY seq"),
                            {butchId}))
        return false;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row) {
        FormulaPart part;
        part.seq = rows.value(row, PartRow::Seq).toInt();
        part.deviceId = rows.value(row, PartRow::DeviceId).toInt();
        part.productName = rows.value(row, PartRow::ProductName);
        part.taskWeight = rows.value(row, PartRow::TaskWeight);
        part.doseFaultPlus = rows.value(row, PartRow::Plus);
        part.doseFaultMinus = rows.value(row, PartRow::Minus);
        part.turn = rows.value(row, PartRow::Turn).toInt();
        part.taskId = rows.value(row, PartRow::TaskId).toLongLong();
        loaded.parts.append(part);
    }
    *butch = loaded;
    return true;
}

WriteResult FormulaParts::retarget(quint64 butchId, int seq, const QString &taskWeight)
{
    return WriteResult::of(
        database.execQuery(QStringLiteral("UPDATE formulaPart SET taskWeight = %1 WHERE idButch "
                                          "= %2 AND seq = %3"),
                           {taskWeight, butchId, seq}),
        database);
}

bool FormulaParts::begin(quint64 butchId, int seq, qint64 taskId)
{
    return database.execQuery(
        QStringLiteral("UPDATE formulaPart SET idTask = %1 WHERE idButch = %2 AND seq = %3"),
        {taskId, butchId, seq});
}

bool FormulaParts::removeOfButch(quint64 butchId)
{
    return database.execQuery(QStringLiteral("DELETE FROM formulaPart WHERE idButch = %1"),
                              {butchId})
           && database.execQuery(QStringLiteral("DELETE FROM formulaButch WHERE idButch = %1"),
                                 {butchId});
}
