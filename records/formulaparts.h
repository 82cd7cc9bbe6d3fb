#ifndef FORMULAPARTS_H
#define FORMULAPARTS_H

#include "writeresult.h"

#include <QList>
#include <QString>

class Database;

// One component of a batch made from a formula as data.db keeps it: its doser, product, target
// and tolerances as weight texts, its turn on the doser, and the id of its task once it has
// begun (0 before).
struct FormulaPart
{
    int seq = 0;
    int deviceId = 0;
    QString productName;
    QString taskWeight;
    QString doseFaultPlus;
    QString doseFaultMinus;
    int turn = 1;
    qint64 taskId = 0;
};

// What a formula batch is besides its tasks.
struct FormulaButch
{
    QString formulaName;
    QString size;
    bool keepRatio = false;
    QList<FormulaPart> parts;
};

// The components of formula batches, kept beside the batch rows so a batch stopped or cut off
// by a restart goes on with the components not yet begun. A component's task id is written in
// the transaction that writes the task (ButchRecords::newTask), so none begins twice.
class FormulaParts
{
public:
    explicit FormulaParts(Database &database);

    WriteResult write(quint64 butchId, const FormulaButch &butch);
    // The batch's formula and components in their order; false when the batch is not a
    // formula's (or data.db could not say).
    bool load(quint64 butchId, FormulaButch *butch);
    // A component's new target, before or while it runs.
    WriteResult retarget(quint64 butchId, int seq, const QString &taskWeight);
    // Within the caller's transaction.
    bool begin(quint64 butchId, int seq, qint64 taskId);
    bool removeOfButch(quint64 butchId);

private:
    Database &database;
};

#endif // FORMULAPARTS_H
