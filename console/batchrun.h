#ifndef BATCHRUN_H
#define BATCHRUN_H

#include "batchformula.h"
#include "batchline.h"
#include "butchrecords.h"
#include "dosecorrector.h"
#include "doseoptions.h"
#include "doserecord.h"
#include "doserwork.h"
#include "journalevent.h"
#include "processimage.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class Database;

// The automatic mode without a window: a batch of one task per doser, driven through fill and
// discharge cycles until the delivered weight is within the plus tolerance of the target, and
// recorded in data.db. It takes the doser's reports in, sends its orders through the line and
// reaches the operator through questions and reports. A batch record that cannot be written
// stops the work; the unwritten discharges are kept and written first when the work goes on.
class BatchRun : public QObject
{
    Q_OBJECT

public:
    // The cycle's period while a batch is in work.
    static constexpr int DosePeriodMs = 160;
    // With several dosers the line is looked at this often, so each doser is asked as soon as
    // its period is over and its last questions have been answered.
    static constexpr int LineTickMs = 20;
    // The stop lets the replies under way come in before the weight is polled again.
    static constexpr int StopPauseMs = 100;

    BatchRun(BatchLine &line, BatchOperator &person, Database &records, ProcessImage &image,
             QObject *parent = nullptr);

    BatchState state() const { return batchState; }
    bool isRunning() const { return batchState == BatchState::Running; }
    quint64 currentButchId() const { return butchId; }
    int partsLeft() const { return parts; }
    const DoserWork &work(int position) const { return dosers.at(position); }
    // A task of the batch is open on the doser.
    bool hasTask(int position) const { return !dosers.at(position).idle; }
    bool hasAnyTask() const;
    // The net weight is asked in every tick of the cycle too, so the hopper is seen filling.
    void setLiveWeight(bool on) { liveWeight = on; }
    bool hasLiveWeight() const { return liveWeight; }
    // How the batch doses beyond the doser's rule; applied from the next fill on.
    void setDoseOptions(const DoseOptions &options);
    const DoseOptions &doseOptions() const { return options; }
    // What was learned of the doser's fills of the product; reset forgets it.
    LearnedCorrection correctionOf(int position, const QString &product);
    WriteResult resetCorrection(int position, const QString &product);
    // The tasks' records wait to be written.
    bool hasUnwrittenRecords() const { return !unwritten.isEmpty(); }
    // The lot of the next batch, typed or made from the pattern (see LotNumbers), checked at
    // start(); with its pattern, the pattern's counter is taken with the batch's row. It is that
    // batch's alone: a batch begun without one set has none. With DoseOptions::lotNumber on a
    // batch does not start without one.
    void setLot(const QString &lot, const QString &pattern = QString());
    // The lot of the open batch (kept through a restart); with none open, the one set for the
    // next.
    QString lot() const;

    // The doser's parameters as it reports them.
    void setScale(int position, quint8 decimals);
    void setWeighingLimit(int position, double limit);
    void setUnit(int position, const QString &unit);
    void setPlusTolerance(int position, const QString &value);
    void setMinusTolerance(int position, const QString &value);
    // The operator's target; while a task is open only one above what it delivered counts.
    // False when the entry was not taken.
    bool setTaskWeight(int position, double weight);
    // The position as a doser that has reported nothing and has no task.
    void resetDoser(int position);

    // The operator's commands, each with its question; the steps behind them are private.
    void start();
    // A batch of a formula's components: those on different dosers run side by side, those on
    // one doser one after another in their turn, one task each; the batch ends with the last.
    void startFormula(const BatchFormula &formula);
    // The next batch is opened for that entry of the production schedule (0: none); like the
    // lot, it goes with that batch only.
    void setScheduleEntry(qint64 entry) { nextScheduleEntry = entry; }
    // Every task of the last batch ended within its tolerances.
    bool endedWithinTolerance() const { return withinTolerance; }
    // The formula of the batch in work; empty for a batch of the dosers' own targets.
    const BatchFormula &formula() const { return mix; }
    // The component in work on the doser, -1 when none.
    int componentAt(int position) const { return dosers.at(position).component; }
    void stop();
    void continueWork();
    // Closes the open batch: finished when something was delivered, deleted otherwise.
    bool newButch();
    void restoreLastSession();
    bool canDoReceipt();
    // The line gained a doser (at the end) or lost one without a task; false when refused.
    void addPosition();
    bool removePosition(int position);

    // The doser's reports.
    void totalCommonWeightReported(int id, quint32 counter);
    void dischargeReported(int id, const Weight &weight);
    void doseCountReported(int id, qint64 count);
    void stateReported(int id, DoserState state);
    // The doser asks to stop (an alarm): the work stops unless it is starting.
    void stopRequested(int id);
    // The doser stopped answering: the whole batch stops, its open question is closed.
    void doserLost(int position);
    // An order the operator gave by hand: the counter's next step is its doing, not the batch's.
    void manualOrderSent(int position);
    // The open question was answered; a question put off meanwhile is asked now.
    void questionClosed();

signals:
    void stateChanged(BatchState state);
    // What the journal keeps of the batch's course.
    void journalEvent(JournalEvent::Kind kind, const QString &text, qint64 butchId, int deviceId);
    // A task came back from data.db: what the panel shows of it.
    void taskRestored(int position, const QString &taskWeight, const QString &delivered);
    // The restore needs the doser switched on and its product set.
    void switchOnWanted(int position);
    void productWanted(int position, const QString &product);
    // A formula's component took the doser: its target and tolerances are the doser's now.
    void componentBegun(int position);
    // A dose row, counted or declined, is in data.db.
    void doseWritten();

private:
    // The window's slots of the same names forward to the steps; the test rig ticks the cycle
    // without waiting for the timer. Nobody else drives a batch step by step.
    friend class K310_Halvern;
    friend class FakeBatchDoser;
    friend class FakeLine;

    // What the commands do once the operator has said yes, and what the console does on its own.
    bool openNewButch();
    void startActions();
    // The component's product and tolerances stand for the doser's.
    void takeComponent(int position, int component);
    void beginComponent(int position, int component);
    int nextComponent(int position) const;
    // The doser's own tolerances again once its formula components are done.
    void releaseTolerances(int position);
    void checkComponent(int position, int component);
    void offerRescale(int component);
    QString productOf(int position) const;
    void restoreFormula();
    void restoreComponent(int position);
    void prepareDevicesForStart(int position);
    void prepareDoserForWork(int id);
    void stopActions();
    void continueActions();

    // The cycle.
    void checkDoseDownload();
    void doDownloadUploadCycle(int id);
    bool checkTheEndOfTheParty(int id);
    qreal calculateDoseWeight(int id, qreal remaining) const;

    int position(int id) const;
    // The doser has a task, or a target for the next one.
    bool needsDoser(int position) const;
    void switchOnAll();
    int tickPeriod() const;
    void setState(BatchState state);
    void publish(int position);
    void chooseDoseWeight(int position);
    double doseFor(int position, double remaining) const;
    int fewestFills(int position, double remaining) const;
    int preciseFills(int position, double remaining) const;
    bool preciseFillsFit(int position) const;
    double weightToSend(int position, double wanted) const;
    void loadCorrection(int position);
    bool learnFrom(int position, double discharged);
    int dosesStillNeeded(int position) const;
    void timeCycle(int position);
    bool hasKnownWeighingLimit(int position);
    // Why the next batch cannot start with the lot it has; empty when it can.
    QString lotProblem() const;
    QString weightText(int position, double weight) const;
    QString taskText(int position) const;
    void note(JournalEvent::Kind kind, int position);

    void finishTask(int position);
    void keepFillLedger(int position, quint32 total);
    void settleFillLedger(int position);
    void countDelivered(int position, double weight, const QString &orderedWeight);
    void declineResidue(int position, double weight);
    DoseRecord doseRecord(int position, double discharged, const QString &orderedWeight,
                          bool counted) const;

    // Failed writes: the work stops without discharging, the operator is told.
    bool written(const WriteResult &result);
    void stopOnFailedWrite(const QString &problem);
    WriteResult writeUnwritten();
    WriteResult writeDose(const DoseRecord &dose);

    BatchLine &line;
    BatchOperator &person;
    Database &database;
    ProcessImage &image;
    ButchRecords records;
    QList<DoserWork> dosers;
    QTimer doseTimer;
    quint64 butchId = 0;
    int parts = 0;
    BatchState batchState = BatchState::Idle;
    QDateTime started;
    // The open batch's lot, and the one set for the next batch with its pattern.
    QString butchLot;
    QString nextLot;
    QString nextLotPattern;
    QElapsedTimer clock;
    bool liveWeight = true;
    DoseOptions options;
    DoseCorrections corrections;
    // One per position, for the product of its task (`correctedProducts`).
    QList<DoseCorrector> correctors;
    QStringList correctedProducts;
    // Discharges weighed and counted in memory whose rows could not be written yet.
    QList<DoseRecord> unwritten;
    // The restore question waits for the open one.
    bool restoreDeferred = false;
    // The formula batch in work, its components' tasks (0 until begun) and those finished.
    BatchFormula mix;
    qint64 nextScheduleEntry = 0;
    bool withinTolerance = true;
    QList<qint64> componentTasks;
    QList<bool> componentsDone;
};

#endif // BATCHRUN_H
