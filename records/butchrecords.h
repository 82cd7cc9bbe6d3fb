#ifndef BUTCHRECORDS_H
#define BUTCHRECORDS_H

#include "cyclerecords.h"
#include "daysummaries.h"
#include "doserecords.h"
#include "formulaparts.h"
#include "highwatermark.h"
#include "queryresult.h"
#include "writeresult.h"

#include <QString>

class Database;

// The batch and task rows of the automatic mode, one method per statement, on the console's own
// connection. Dates and times are taken from the local clock when a statement runs; weights come
// as the console's texts (fixed point with the doser's decimals).
//
// A write that fails says so with SQLite's reason (newButch() and newTask() return 0, and the
// connection's lastErrorMessage() holds the reason) and leaves nothing of itself in the file. A
// write of tasks or doses brings the statistics' summary of the batch's day up to date in its own
// transaction (see DaySummaries), so the methods that write cannot be called inside another
// transaction.
class ButchRecords
{
public:
    explicit ButchRecords(Database &connection);

    // The id of the first unfinished batch, 0 when there is none (or the query failed).
    quint64 findOpenButch();
    // Opens a batch and returns its id, 0 when it was not written. The id is above every one
    // the file has handed out, deleted batches' included (the tables must have been created).
    // The batch keeps its lot (none when empty); with the pattern the lot was made from, the
    // pattern's counter is taken in the same transaction (see LotNumbers::take()).
    // A batch opened for an entry of the schedule (`scheduleEntry` > 0) is written as that
    // entry's in the same transaction.
    quint64 newButch(const QString &lot = QString(), const QString &lotPattern = QString(),
                     qint64 scheduleEntry = 0);
    // The batch's lot; empty when it has none.
    QString lotOf(quint64 butchId);
    // Opens a task of the batch on the doser and returns its id, 0 when it was not written.
    // Like a batch's, the id is above every one the file has handed out.
    // A formula batch's component (`formulaSeq` >= 0) is marked begun with its task, together.
    qint64 newTask(quint64 butchId, int deviceId, const QString &taskWeight,
                   const QString &mustToBeDoneWeight, const QString &productName,
                   const QString &weightScale, int formulaSeq = -1);
    // Counts the ids up to these as handed out by this file, as after a recovery that could not
    // bring back every batch the mark knows; false when it was not written.
    WriteResult acceptIssued(const HighWaterMark::Ids &ids);
    // True when a task of the batch has delivered something.
    bool hasDeliveredSoFar(quint64 butchId);
    WriteResult closeButch(quint64 butchId);
    WriteResult closeTasks(quint64 butchId);
    WriteResult deleteTasks(quint64 butchId);
    // Deletes the batch with its dose rows, cycles and formula components; its journal events
    // stay as they were written.
    WriteResult deleteButch(quint64 butchId);
    WriteResult resumeTask(qint64 taskId, const QString &taskWeight,
                           const QString &mustToBeDoneWeight, const QString &productName);
    // The task's running total and the row of the discharge that made it, together or neither;
    // the row is written as the task's, whatever dose.taskId says.
    WriteResult countDischarge(qint64 taskId, const QString &haveDoneWeight,
                               const QString &mustToBeDoneWeight, const DoseRecord &dose);
    // A residue the rule declined: discharged, recorded, not added to the task.
    WriteResult declineResidue(const DoseRecord &dose);
    WriteResult finishTask(qint64 taskId, const QString &taskWeight, const QString &haveDoneWeight,
                           const QString &mustToBeDoneWeight, const QString &productName,
                           const QString &weightScale);
    // A formula batch's components, written with it before its first task.
    WriteResult writeFormula(quint64 butchId, const FormulaButch &formula)
    {
        return formulaParts.write(butchId, formula);
    }
    bool loadFormula(quint64 butchId, FormulaButch *formula)
    {
        return formulaParts.load(butchId, formula);
    }
    WriteResult retargetPart(quint64 butchId, int seq, const QString &taskWeight)
    {
        return formulaParts.retarget(butchId, seq, taskWeight);
    }
    // Every task row of the batch in the order they were written, all columns in table order.
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
        EndDate,
        IdTask
    };

private:
    // The highest batch id the file has handed out, -1 when it could not be read.
    qint64 highestIssuedId();
    bool markIssued(qint64 butchId);
    qint64 highestIssuedTaskId();
    bool markTaskIssued(qint64 taskId);

    // Keeps the mark beside the file at the ids it holds now.
    void raiseMark();
    // A change of a task or its doses in its own transaction, with the summary of the batch's
    // day (or the task's) brought up to date after it where the summaries were current before.
    template<typename Change>
    WriteResult changeDay(qint64 butchId, qint64 taskId, Change change);

    Database &database;
    HighWaterMark mark;
    DoseRecords doses {database};
    CycleRecords cycles {database};
    DaySummaries summaries {database};
    FormulaParts formulaParts {database};
};

#endif // BUTCHRECORDS_H
