#ifndef SCHEDULERUNNER_H
#define SCHEDULERUNNER_H

#include "batchline.h"
#include "formulaplan.h"
#include "processimage.h"
#include "schedulestore.h"

#include <QObject>

#include <functional>

class BatchRun;
class Database;

// The production schedule at work, without a window: its entries run in their order as batches
// of the batch controller, an entry's batches one after another. Between batches the operator's
// "Да" goes on, or, when the schedule runs on its own, the end of a batch within its tolerances
// with the whole line at rest. A stop, a lost doser or a failed write stops the schedule at the
// batch in work; "Начать очередь", or going on with that batch at the panel, goes on from there
// (unless the operator stopped the schedule itself). Which entry a batch belongs to is written
// with the batch, so after a restart the schedule continues where it stood.
class ScheduleRunner : public QObject
{
    Q_OBJECT

public:
    // The line as the batch knows it, and whether every doser stands with an empty hopper.
    using LineView = std::function<QList<LineCapacity>()>;
    using AtRest = std::function<bool()>;

    ScheduleRunner(BatchRun &batch, Database &records, BatchOperator &person, LineView line,
                   AtRest atRest, QObject *parent = nullptr);

    void setAutomatic(bool on) { automatic = on; }
    bool isAutomatic() const { return automatic; }
    bool isRunning() const { return running; }
    // "Начать очередь": the entry in work, or the next one.
    void start();
    // The operator stops the schedule: the batch in work goes on, the schedule waits for "Начать
    // очередь" even when that batch is stopped and continued.
    void stop(const QString &reason);
    // Entries were added: a schedule that runs on its own and waits for work starts the next.
    void entriesAdded();

    // Entry k of n (from 1; 0 when none runs), the batches of it done, and whether it runs.
    struct Progress
    {
        int entry = 0;
        int entries = 0;
        int batchesDone = 0;
        int batches = 0;
        bool running = false;
    };
    Progress progress();

signals:
    void progressChanged();
    // An entry could not run; the schedule stopped at it.
    void entryRefused(qint64 id, const QString &reason);

private:
    void batchStateChanged(BatchState state);
    void adoptContinuedBatch();
    void halt(const QString &reason);
    // Begins the next entry once every doser stands empty.
    void runNextAtRest();
    void runNext(bool asked);
    // Why the entry's next batch cannot start; empty when it started.
    QString startBatch(const ScheduleEntry &entry);

    BatchRun &batch;
    Database &database;
    BatchOperator &person;
    ScheduleStore store;
    LineView line;
    AtRest atRest;
    bool automatic = false;
    bool running = false;
    bool held = false;
    qint64 current = 0;
};

#endif // SCHEDULERUNNER_H
