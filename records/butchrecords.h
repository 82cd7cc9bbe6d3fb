#ifndef BUTCHRECORDS_H
#define BUTCHRECORDS_H

#include "doserecords.h"
#include "queryresult.h"

#include <QString>

class Database;

// The batch and task rows of the automatic mode, one method per statement, on the console's own
// connection. Dates and times are taken from the local clock when a statement runs; weights come
// as the console's texts (fixed point with the doser's decimals).
class ButchRecords
{
public:
    explicit ButchRecords(Database &connection);

    // The id of the first unfinished batch, 0 when there is none (or the query failed).
    quint64 findOpenButch();
    bool newButch();
    bool newTask(quint64 butchId, int deviceId, const QString &taskWeight,
                 const QString &mustToBeDoneWeight, const QString &productName,
                 const QString &weightScale);
    // True when a task of the batch has delivered something.
    bool hasDeliveredSoFar(quint64 butchId);
    bool closeButch(quint64 butchId);
    bool closeTasks(quint64 butchId);
    bool deleteTasks(quint64 butchId);
    bool deleteButch(quint64 butchId);
    bool resumeTask(quint64 butchId, int deviceId, const QString &taskWeight,
                    const QString &mustToBeDoneWeight, const QString &productName);
    // The task's running total and the row of the discharge that made it, together or neither.
    bool countDischarge(quint64 butchId, int deviceId, const QString &haveDoneWeight,
                        const QString &mustToBeDoneWeight, const DoseRecord &dose);
    // A residue the rule declined: discharged, recorded, not added to the task.
    bool declineResidue(const DoseRecord &dose);
    bool finishTask(quint64 butchId, int deviceId, const QString &taskWeight,
                    const QString &haveDoneWeight, const QString &mustToBeDoneWeight,
                    const QString &productName, const QString &weightScale);
    // Every task row of the batch, all columns in table order.
    const QueryResult &restoreTasks(quint64 butchId);

    // Columns of a restored task row.
    enum TaskColumn {
        IdButch,
        DeviceId,
        StartTime,
        EndTime,
        TaskWeight,
        HaveDoneWeight,
        MustToBeDoneWeight,
        ProductName,
        WeightScale,
        StartDate,
        EndDate
    };

private:
    Database &database;
    DoseRecords doses {database};
};

#endif // BUTCHRECORDS_H
