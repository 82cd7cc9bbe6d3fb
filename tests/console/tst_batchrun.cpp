#include "batchrun.h"
#include "database.h"
#include "fakebatchdoser.h"
#include "summaryfigures.h"
#include "temporarydatabase.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

using Answer = BatchOperator::Answer;

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString Done = QStringLiteral("Задание выполнено");

qint64 hundredths(const QString &weight)
{
    return qRound64(weight.toDouble() * 100);
}

// A batch on a fake doser (upper limit 30, plus tolerance 0.50, minus 0.30, two decimals) and a
// data.db of its own.
struct Bench
{
    explicit Bench(TemporaryDatabase *shared = nullptr, bool readOnly = false)
    {
        files = shared ? shared : &own;
        database = std::make_unique<Database>(files->path());
        database->createTables();
        // The connection SQLite gives to a file its user may not write.
        if (readOnly)
            database = std::make_unique<Database>(files->makeReadOnly());
        run = std::make_unique<BatchRun>(doser, person, *database, image);
        doser.attach(run.get());
        run->setScale(0, FakeBatchDoser::Decimals);
        run->setWeighingLimit(0, 30);
        run->setUnit(0, QStringLiteral("кг"));
        run->setPlusTolerance(0, QStringLiteral("0.50"));
        run->setMinusTolerance(0, QStringLiteral("0.30"));
        person.answers.insert(NewWork, Answer::Yes);
    }

    void start(double target)
    {
        run->setTaskWeight(0, target);
        run->start();
        doser.deliver();
    }
    bool finished()
    {
        return doser.tickUntil([this] { return person.shown.contains(Done); });
    }
    void stopByOperator()
    {
        person.answers.insert(StopQuestion, Answer::Yes);
        run->stop();
        doser.deliver();
    }

    QString taskValue(const char *column)
    {
        return files
            ->select(QStringLiteral("SELECT %1 FROM task WHERE idButch = %2")
                         .arg(QLatin1String(column))
                         .arg(run->currentButchId()))
            .value(0);
    }
    qint64 delivered() { return hundredths(taskValue("haveDoneWeight")); }
    QStringList doseRows(const QString &columns)
    {
        return files->select(QStringLiteral("SELECT %1 FROM dose ORDER BY idDose").arg(columns));
    }
    qint64 countedRows()
    {
        qint64 sum = 0;
        for (const QString &weight :
             files->select(QStringLiteral("SELECT dischargedWeight FROM dose WHERE counted = 1")))
            sum += hundredths(weight);
        return sum;
    }

    static const QString StopQuestion;
    TemporaryDatabase own;
    TemporaryDatabase *files = nullptr;
    std::unique_ptr<Database> database;
    ProcessImage image {1};
    FakeBatchDoser doser;
    FakeOperator person;
    std::unique_ptr<BatchRun> run;
};

const QString Bench::StopQuestion =
    QStringLiteral("ВНИМАНИЕ!!! При остановке работы ковши будут автоматически разгружены.\n"
                   "Остановить выполнение текущего задания?");

} // namespace

class tst_BatchRun : public QObject
{
    Q_OBJECT

private slots:
    void batchEndsWithinTolerancesAndSecondBatchStartsFromNothing();
    void residueCountsFromAQuarterOfThePlusTolerance();
    void stopDischargeHasNoOrderAndContinueFillsTheRemainder();
    void lostDischargeReportIsCountedOnceAfterManualOrders();
    void alarmedDischargeIsCountedOnce();
    void restoreAfterKillFinishesTheBatch();
    void restoreWaitsForAnOpenQuestion();
    void failedWriteStopsTheWorkAndKeepsTheDischarge();
    void startIsRefusedAndToldWhileTheRecordsCannotBeWritten();
    void emptyBatchIdIsNeverGivenAgain();
    void progressPlansTheFillsMadeAndTheWeightIsAskedEachTick();
    void learnedCorrectionMakesUpForTheMissPerProductAndIsKept();
    void correctionLeavesOutResiduesStoppedCyclesAndFaultyFills();
    void fewestCyclesSplitTheTaskEvenlyWithinTheShare();
    void precisePlanEndsWithASmallFillThatTakesUpTheMisses();
    void preciseFillsNeverExceedTheLimit();
    void shareAndInFlightAreLearnedWithinEightFillsAndKept();
    void startWithoutAGoodLotIsRefusedBeforeAnythingIsAsked_data();
    void startWithoutAGoodLotIsRefusedBeforeAnythingIsAsked();
};

void tst_BatchRun::batchEndsWithinTolerancesAndSecondBatchStartsFromNothing()
{
    Bench bench;
    QSignalSpy states(bench.run.get(), &BatchRun::stateChanged);
    bench.doser.hopper = 0.1;
    bench.run->setLot(QStringLiteral("П-1"));
    bench.start(100);
    QCOMPARE(bench.run->state(), BatchState::Running);
    QVERIFY(bench.finished());

    // Doses cut below the limit by the remainder, then the remainder itself.
    const QList<double> fills = bench.doser.fills();
    QCOMPARE(fills.first(), 23.08);
    QVERIFY(fills.last() < 30);
    for (double fill : fills)
        QVERIFY(fill <= 30);
    QVERIFY(qAbs(bench.delivered() - 10000) < 50);
    QCOMPARE(bench.countedRows(), bench.delivered());
    QCOMPARE(bench.run->state(), BatchState::Finished);
    QCOMPARE(qvariant_cast<BatchState>(states.last().first()), BatchState::Finished);
    QVERIFY(!bench.taskValue("endTime").trimmed().isEmpty());
    QCOMPARE(bench.files->select("SELECT count(*) FROM butch WHERE endTime = ''").value(0),
             QString("0"));

    // Every row keeps the tolerances as the doser reported them, each in its own column.
    QCOMPARE(bench.doseRows("doseFaultPlus, doseFaultMinus").mid(0, 2),
             QStringList({"0.50", "0.30"}));
    // The residue of 0.1 is below a quarter of the tolerance: recorded, not counted.
    QCOMPARE(bench.doseRows("orderedWeight, dischargedWeight, counted").mid(0, 3),
             QStringList({"", "0.10", "0"}));

    const DoserImage &image = bench.image.doser(0);
    QCOMPARE(image.batch.state, BatchState::Finished);
    QCOMPARE(image.batch.delivered.text(), bench.taskValue("haveDoneWeight"));
    QCOMPARE(image.batch.doseNumber, fills.size());
    QCOMPARE(image.batch.lot, QStringLiteral("П-1"));

    // The next batch of the same run counts from nothing. Its fill comes out short by exactly
    // the plus tolerance, which is not within it: one more fill makes the rest.
    bench.person.shown.clear();
    const int firstFills = bench.doser.fills().size();
    bench.doser.fillError = -0.025;
    bench.start(20);
    QCOMPARE(bench.image.doser(0).batch.delivered.value, 0.0);
    QVERIFY(bench.finished());
    QCOMPARE(bench.doser.fills().mid(firstFills), QList<double>({20.0, 0.5}));
    QVERIFY(2000 - bench.delivered() < 50);
    // Given no lot of its own, it has none.
    QVERIFY(bench.image.doser(0).batch.lot.isEmpty());
    QCOMPARE(bench.files->select("SELECT ifnull(lot, 'none') FROM butch ORDER BY idButch"),
             QStringList({"П-1", "none"}));
}

void tst_BatchRun::residueCountsFromAQuarterOfThePlusTolerance()
{
    for (const double residue : {0.2, 0.3}) {
        Bench bench;
        bench.run->setPlusTolerance(0, QStringLiteral("1.00"));
        bench.doser.hopper = residue;
        bench.start(10);
        // Once the hopper is emptied, a cycle run at the doser's own keypad is none of the batch's.
        bench.doser.fullCycle(20);
        QVERIFY(bench.finished());
        // 0.2 is below a quarter of 1.00 and declined; 0.3 is delivered and shortens the fill.
        const bool counted = residue > 0.25;
        QCOMPARE(bench.doser.fills().first(), counted ? 10 - residue : 10.0);
        QCOMPARE(bench.delivered(), 1000);
    }
}

void tst_BatchRun::stopDischargeHasNoOrderAndContinueFillsTheRemainder()
{
    Bench bench;
    bench.start(100);
    // Two doses delivered, the third fill just ordered.
    QVERIFY(bench.doser.tickUntil([&] { return bench.doser.fills().size() == 3; }));
    const double fillAtStop = bench.doser.hopper;
    bench.stopByOperator();
    QCOMPARE(bench.run->state(), BatchState::Stopped);
    QCOMPARE(bench.doser.orders.mid(bench.doser.orders.size() - 2),
             QStringList({"stop", "discharge"}));
    // What the stop discharged was delivered, but nothing was ordered for it.
    const QStringList rows = bench.doseRows("orderedWeight, dischargedWeight");
    QCOMPARE(rows.mid(rows.size() - 2), QStringList({"", QString::number(fillAtStop, 'f', 2)}));
    const qint64 atStop = bench.delivered();

    // A second stop discharge finds the hopper empty: nothing is counted.
    bench.doser.discharge(0);
    bench.doser.deliver();
    QCOMPARE(bench.delivered(), atStop);
    QCOMPARE(bench.countedRows(), atStop);

    const int before = bench.doser.fills().size();
    bench.run->continueWork();
    bench.doser.deliver();
    QCOMPARE(bench.run->state(), BatchState::Running);
    QVERIFY(bench.doser.tickUntil([&] { return bench.doser.fills().size() > before; }));
    const double remaining = (10000 - atStop) / 100.0;
    QCOMPARE(bench.doser.fills().at(before),
             QString::number(remaining / (remaining / 30 + 1), 'f', 2).toDouble());
    QVERIFY(bench.finished());
    QVERIFY(qAbs(bench.delivered() - 10000) < 50);
    QCOMPARE(bench.countedRows(), bench.delivered());
}

void tst_BatchRun::lostDischargeReportIsCountedOnceAfterManualOrders()
{
    Bench bench;
    bench.start(60);
    QVERIFY(bench.doser.tickUntil([&] { return bench.doser.fills().size() == 1; }));
    const double lostDose = bench.doser.fills().first();
    // The discharge is done but its reply never comes: the batch stops with the fill unreported.
    bench.doser.loseNextDischargeReply = true;
    QVERIFY(bench.doser.tickUntil([&] { return bench.run->state() == BatchState::Stopped; }));
    QCOMPARE(bench.taskValue("haveDoneWeight"), QString());

    // The operator resets the doser and runs a full cycle by hand, then the line comes back.
    // The cycle's fill is on the counter but not the batch's.
    bench.doser.online = true;
    bench.run->manualOrderSent(0);
    bench.doser.stopWork(0);
    bench.run->manualOrderSent(0);
    bench.doser.fullCycle(5);
    bench.run->continueWork();
    bench.doser.deliver();
    QCOMPARE(bench.delivered(), qRound64(lostDose * 100));
    QVERIFY(bench.finished());
    // Everything the doser discharged, counted once: no dose more than the target needs.
    QVERIFY(qAbs(bench.delivered() - 6000) < 50);
    QCOMPARE(bench.countedRows(), bench.delivered());
}

void tst_BatchRun::alarmedDischargeIsCountedOnce()
{
    Bench bench;
    bench.start(60);
    QVERIFY(bench.doser.tickUntil([&] { return bench.doser.fills().size() == 1; }));
    bench.doser.alarmOnNextDischarge = true;
    QVERIFY(bench.doser.tickUntil([&] { return !bench.taskValue("haveDoneWeight").isEmpty(); }));
    const qint64 afterAlarm = bench.delivered();
    QCOMPARE(afterAlarm, qRound64(bench.doser.fills().first() * 100));

    // The alarm stops the work; an empty hopper's report later adds nothing.
    bench.run->stopRequested(FakeBatchDoser::Id);
    QCOMPARE(bench.run->state(), BatchState::Stopped);
    bench.doser.discharge(0);
    bench.doser.deliver();
    QCOMPARE(bench.delivered(), afterAlarm);
    bench.run->continueWork();
    bench.doser.deliver();
    QCOMPARE(bench.delivered(), afterAlarm);
    QVERIFY(bench.finished());
    QVERIFY(qAbs(bench.delivered() - 6000) < 50);
}

void tst_BatchRun::restoreAfterKillFinishesTheBatch()
{
    TemporaryDatabase files;
    qint64 atKill = 0;
    {
        Bench killed(&files);
        killed.run->setLot(QStringLiteral("П-2"));
        killed.start(100);
        QVERIFY(killed.doser.tickUntil([&] { return killed.doser.fills().size() == 3; }));
        atKill = killed.delivered();
        // Gone without a stop: only data.db remembers the batch.
    }
    Bench bench(&files);
    QSignalSpy restored(bench.run.get(), &BatchRun::taskRestored);
    QSignalSpy switchedOn(bench.run.get(), &BatchRun::switchOnWanted);
    bench.person.answers.insert(Restore, Answer::Yes);
    bench.run->restoreLastSession();
    QCOMPARE(restored.size(), 1);
    QCOMPARE(restored.first().at(1).toString(), QString("100.00"));
    QCOMPARE(hundredths(restored.first().at(2).toString()), atKill);
    QCOMPARE(switchedOn.size(), 1);
    QCOMPARE(bench.run->state(), BatchState::Stopped);
    QCOMPARE(bench.run->lot(), QStringLiteral("П-2"));
    QCOMPARE(bench.image.doser(0).batch.lot, QStringLiteral("П-2"));

    // The fill that was in the hopper at the kill is discharged and counted as a residue.
    bench.run->continueWork();
    bench.doser.hopper = 23.08;
    bench.doser.deliver();
    QVERIFY(bench.finished());
    QVERIFY(qAbs(bench.delivered() - 10000) < 50);
    QCOMPARE(bench.countedRows(), bench.delivered());
    QCOMPARE(bench.files->select("SELECT count(*) FROM butch").value(0), QString("1"));
    // The statistics of the day followed the batch through the kill and the restore.
    DaySummaries summaries(*bench.database);
    const qint64 butch = qint64(bench.run->currentButchId());
    QCOMPARE(figuresOfRows(summaries, butch, butch).size(), 1);
    QCOMPARE(figuresOfSummaries(summaries, butch, butch), figuresOfRows(summaries, butch, butch));
}

void tst_BatchRun::restoreWaitsForAnOpenQuestion()
{
    TemporaryDatabase files;
    {
        Bench killed(&files);
        killed.start(100);
    }
    Bench bench(&files);
    bench.person.answers.insert(Restore, Answer::Busy);
    bench.run->restoreLastSession();
    QCOMPARE(bench.run->state(), BatchState::Idle);

    // The other question is answered: the restore is offered then.
    bench.person.answers.insert(Restore, Answer::Yes);
    bench.run->questionClosed();
    QTRY_COMPARE(bench.run->state(), BatchState::Stopped);
    QCOMPARE(bench.person.asked.count(Restore), 2);
}

void tst_BatchRun::failedWriteStopsTheWorkAndKeepsTheDischarge()
{
    Bench bench;
    bench.start(60);
    QVERIFY(bench.doser.tickUntil([&] { return bench.doser.fills().size() == 2; }));
    const qint64 beforeFailure = bench.delivered();
    QVERIFY(bench.database->execQuery("PRAGMA query_only = 1"));

    QVERIFY(bench.doser.tickUntil([&] { return bench.run->state() == BatchState::Stopped; }));
    const QString failure = QStringLiteral(
        "Ошибка записи в базу данных: attempt to write a readonly database. Работа остановлена.");
    QCOMPARE(bench.person.shown.constLast(), failure);
    // Stopped without emptying the hopper; the weighed discharge is not in data.db yet.
    QCOMPARE(bench.doser.orders.constLast(), QString("stop"));
    QCOMPARE(bench.delivered(), beforeFailure);
    const double kept = bench.image.doser(0).batch.delivered.value;
    QVERIFY(qRound64(kept * 100) > beforeFailure);

    // While the file cannot be written, the work stays stopped.
    bench.person.shown.clear();
    bench.run->continueWork();
    QCOMPARE(bench.person.shown, QStringList {failure});
    QCOMPARE(bench.run->state(), BatchState::Stopped);

    // The operator fills and empties the hopper by hand meanwhile: that discharge waits too.
    bench.run->manualOrderSent(0);
    bench.doser.fillIfOnline(0, 5, FakeBatchDoser::Decimals);
    bench.run->manualOrderSent(0);
    bench.doser.discharge(0);
    bench.doser.deliver();
    const double keptBoth = bench.image.doser(0).batch.delivered.value;
    QCOMPARE(qRound64((keptBoth - kept) * 100), 500);

    // Space again: the kept discharges are written first, each once, and the batch goes on to
    // its end.
    QVERIFY(bench.database->execQuery("PRAGMA query_only = 0"));
    bench.run->continueWork();
    bench.doser.deliver();
    QCOMPARE(bench.delivered(), qRound64(keptBoth * 100));
    QCOMPARE(bench.countedRows(), bench.delivered());
    QCOMPARE(bench.run->state(), BatchState::Running);

    // The end itself cannot be written: no "done" for a batch data.db does not hold.
    QVERIFY(bench.doser.tickUntil([&] { return bench.run->work(0).mustToBeDoneWeight < 0.5; }));
    QVERIFY(bench.database->execQuery("PRAGMA query_only = 1"));
    QVERIFY(bench.doser.tickUntil([&] { return bench.run->state() == BatchState::Stopped; }));
    QVERIFY(!bench.person.shown.contains(Done));
    QVERIFY(bench.run->hasTask(0));
    QVERIFY(bench.database->execQuery("PRAGMA query_only = 0"));
    bench.run->continueWork();
    bench.doser.deliver();
    QVERIFY(bench.finished());
    QCOMPARE(bench.countedRows(), bench.delivered());
    QVERIFY(qAbs(bench.delivered() - 6000) < 50);
}

void tst_BatchRun::startIsRefusedAndToldWhileTheRecordsCannotBeWritten()
{
    Bench bench(nullptr, true);
    bench.start(10);
    QCOMPARE(bench.run->state(), BatchState::Idle);
    // Not even asked to begin, and nothing sent to the doser.
    QVERIFY(bench.person.asked.isEmpty());
    QVERIFY(bench.doser.orders.isEmpty());
    QCOMPARE(bench.person.shown.size(), 1);
    QVERIFY2(
        bench.person.shown.first().startsWith(QStringLiteral("data.db недоступна для записи: ")),
        qPrintable(bench.person.shown.first()));
    QCOMPARE(bench.files->select(QStringLiteral("SELECT count(*) FROM butch")),
             QStringList {QStringLiteral("0")});
}

void tst_BatchRun::emptyBatchIdIsNeverGivenAgain()
{
    Bench bench;
    bench.start(100);
    bench.stopByOperator();
    // Only empty hoppers were discharged: the batch delivered nothing and is deleted.
    const quint64 first = bench.run->currentButchId();
    QVERIFY(bench.run->newButch());
    QCOMPARE(bench.files->select("SELECT count(*) FROM butch").value(0), QString("0"));
    bench.start(10);
    QVERIFY(bench.run->currentButchId() > first);
    QCOMPARE(bench.files->select("SELECT DISTINCT idButch FROM dose"),
             QStringList {QString::number(bench.run->currentButchId())});
}

void tst_BatchRun::progressPlansTheFillsMadeAndTheWeightIsAskedEachTick()
{
    Bench bench;
    bench.start(100);
    const int planned = bench.image.doser(0).batch.plannedDoses;
    const int asked = bench.doser.netWeightAsks;
    bench.doser.tick(5);
    QCOMPARE(bench.doser.netWeightAsks - asked, 5);
    QVERIFY(bench.finished());
    const BatchProgress &batch = bench.image.doser(0).batch;
    QCOMPARE(planned, bench.doser.fills().size());
    QCOMPARE(batch.plannedDoses, batch.doseNumber);
    QCOMPARE(batch.lastDischarge.value, bench.doser.fills().last());

    // Switched off, the cycle asks the counters only.
    bench.run->setLiveWeight(false);
    bench.person.shown.clear();
    bench.start(20);
    const int before = bench.doser.netWeightAsks;
    QVERIFY(bench.finished());
    QCOMPARE(bench.doser.netWeightAsks, before);
}

void tst_BatchRun::learnedCorrectionMakesUpForTheMissPerProductAndIsKept()
{
    TemporaryDatabase files;
    DoseOptions options;
    options.correction = true;
    {
        Bench bench(&files);
        bench.run->setDoseOptions(options);
        bench.doser.fillError = 0.03;
        bench.start(300);
        QVERIFY(bench.finished());
        // 300 / (300 / 30 + 1) = 27.27 wanted and sent as it is; each fill then halves what is
        // left of the 3 % miss, so from the fifth fill on the doser is sent about 3 % less.
        const QList<double> fills = bench.doser.fills();
        QCOMPARE(fills.first(), 27.27);
        const QStringList rows =
            bench.files->select("SELECT orderedWeight, dischargedWeight, correction FROM dose "
                                "WHERE orderedWeight != '' ORDER BY idDose");
        QCOMPARE(rows.mid(0, 2), QStringList({"27.27", "28.09"}));
        QCOMPARE(rows.at(2).toDouble(), 0.0);
        for (int row = 5 * 3; row + 3 < rows.size(); row += 3) {
            const qint64 miss = hundredths(rows.at(row + 1)) - hundredths(rows.at(row));
            QVERIFY2(qAbs(miss) <= 3, qPrintable(rows.mid(row, 3).join(' ')));
            QVERIFY2(qAbs(rows.at(row + 2).toDouble() - 0.03 / 1.03) < 0.002,
                     qPrintable(rows.at(row + 2)));
        }
        QVERIFY(qAbs(bench.delivered() - 30000) < 50);
    }
    // A new run on the same data.db fills on with what it learned of this product.
    Bench bench(&files);
    bench.run->setDoseOptions(options);
    bench.doser.fillError = 0.03;
    bench.start(20);
    QVERIFY(bench.finished());
    QCOMPARE(bench.doser.fills(), QList<double>({19.42}));
    QVERIFY(qAbs(bench.delivered() - 2000) <= 1);

    // Another product starts from nothing, and a reset forgets this one.
    bench.person.shown.clear();
    bench.doser.product = QStringLiteral("Сахар");
    bench.start(20);
    QVERIFY(bench.finished());
    QCOMPARE(bench.doser.fills().last(), 20.0);
    QVERIFY(bench.run->resetCorrection(0, QStringLiteral("Мука")));
    QVERIFY(bench.run->correctionOf(0, QStringLiteral("Мука")).isEmpty());
    QVERIFY(!bench.run->correctionOf(0, QStringLiteral("Сахар")).isEmpty());
    bench.person.shown.clear();
    bench.doser.product = QStringLiteral("Мука");
    bench.start(20);
    QVERIFY(bench.finished());
    QCOMPARE(bench.doser.fills().last(), 20.0);
}

void tst_BatchRun::correctionLeavesOutResiduesStoppedCyclesAndFaultyFills()
{
    DoseOptions options;
    options.correction = true;
    Bench bench;
    bench.run->setDoseOptions(options);
    // A residue before the first fill is no fill of the doser's; fills 8 % over (1.8 on 22.8,
    // 1.7 on 20.9: more than three tolerances of 0.50) are faults: nothing is learned of either.
    bench.doser.hopper = 5;
    bench.doser.fillError = 0.08;
    bench.start(100);
    QVERIFY(bench.doser.tickUntil([&] { return bench.image.doser(0).batch.doseNumber == 3; }));
    QVERIFY(bench.run->correctionOf(0, bench.doser.product).isEmpty());

    // The discharge of a stopped cycle has no order and teaches nothing either.
    bench.doser.fillError = 0.02;
    QVERIFY(bench.doser.tickUntil([&] { return bench.doser.hopper > 0; }));
    bench.stopByOperator();
    QVERIFY(bench.run->correctionOf(0, bench.doser.product).isEmpty());
    bench.run->continueWork();
    bench.doser.deliver();
    QVERIFY(bench.finished());
    const LearnedCorrection learned = bench.run->correctionOf(0, bench.doser.product);
    QVERIFY(!learned.ratios.isEmpty());
    for (double ratio : learned.ratios)
        QVERIFY2(qAbs(ratio - 1.02) < 0.005, qPrintable(QString::number(ratio)));
}

void tst_BatchRun::fewestCyclesSplitTheTaskEvenlyWithinTheShare()
{
    DoseOptions options;
    options.fewestCycles = true;
    Bench bench;
    bench.run->setDoseOptions(options);
    // 300 at a share of 0.95 of 30: eleven fills of 300 / 11, not the fourteen of the rule.
    bench.start(300);
    QCOMPARE(bench.image.doser(0).batch.plannedDoses, 11);
    QVERIFY(bench.finished());
    QList<double> fills = bench.doser.fills();
    QCOMPARE(fills.size(), 11);
    QCOMPARE(fills.first(), 27.27);
    QVERIFY(qAbs(bench.delivered() - 30000) < 50);

    // Fills short by 1 % leave more to the last, which the doser's limit still takes.
    bench.person.shown.clear();
    const int before = int(fills.size());
    bench.doser.fillError = -0.01;
    bench.start(57);
    QVERIFY(bench.finished());
    fills = bench.doser.fills().mid(before);
    QCOMPARE(fills.size(), 2);
    QCOMPARE(fills.first(), 28.5);
    QVERIFY(fills.last() > 28.5 && fills.last() <= 30);

    // A residue is no fill of the plan: the eleven fills share what it leaves, within the share.
    bench.person.shown.clear();
    const int third = int(bench.doser.fills().size());
    bench.doser.fillError = 0;
    bench.doser.hopper = 5;
    bench.start(300);
    QVERIFY(bench.finished());
    fills = bench.doser.fills().mid(third);
    QCOMPARE(fills.size(), 11);
    for (double fill : fills)
        QVERIFY2(fill <= options.fillShare * 30, qPrintable(QString::number(fill)));
}

void tst_BatchRun::precisePlanEndsWithASmallFillThatTakesUpTheMisses()
{
    DoseOptions options;
    options.precise = true;
    Bench bench;
    bench.run->setDoseOptions(options);
    bench.doser.fillError = 0.02;
    bench.doser.inFlightError = 0.3;
    bench.start(300);
    QVERIFY(bench.finished());
    const QList<double> fills = bench.doser.fills();
    QCOMPARE(fills.size(), int(std::ceil(300 / (options.fillShare * 30))) + 1);
    // Each large fill ran over by 2 % and 0.3; those after it, and the last, took it up.
    for (int n = 0; n + 1 < fills.size(); ++n)
        QVERIFY(fills.at(n) > 0.8 * options.fillShare * 30
                && fills.at(n) <= options.fillShare * 30);
    QVERIFY(fills.last() < options.lastFillShare * 30 - 0.5);
    QVERIFY(qAbs(bench.delivered() - 30000) <= 50);
}

void tst_BatchRun::preciseFillsNeverExceedTheLimit()
{
    DoseOptions options;
    options.precise = true;
    options.fillShare = 1.0;
    Bench bench;
    bench.run->setDoseOptions(options);
    // Fills at the whole limit come out short: what they leave must not make a fill larger.
    bench.doser.fillError = -0.04;
    bench.doser.inFlightError = -0.3;
    bench.start(64.5);
    QVERIFY(bench.finished());
    for (double fill : bench.doser.fills())
        QVERIFY2(fill <= 30, qPrintable(QString::number(fill)));
}

void tst_BatchRun::shareAndInFlightAreLearnedWithinEightFillsAndKept()
{
    TemporaryDatabase files;
    DoseOptions options;
    options.precise = true;
    options.correction = true;
    for (double target : {40.0, 40.0, 30.0, 4.0}) {
        // The last task on a new run on the same data.db: it goes on with what was learned.
        Bench bench(&files);
        bench.run->setDoseOptions(options);
        bench.doser.fillError = 0.02;
        bench.doser.inFlightError = 0.3;
        bench.start(target);
        QVERIFY(bench.finished());
    }
    // Eight fills of two sizes, then one of 4: it is to be sent 4 / 1.02 - 0.3 / 1.02.
    QCOMPARE(files.select("SELECT count(*) FROM dose WHERE orderedWeight != ''").value(0), "9");
    const QStringList last = files.select("SELECT orderedWeight, dischargedWeight, correction, "
                                          "inFlight FROM dose ORDER BY idDose DESC LIMIT 1");
    QVERIFY2(qAbs(hundredths(last.at(1)) - 400) <= 2, qPrintable(last.join(' ')));
    QVERIFY(qAbs(last.at(2).toDouble() - 0.02 / 1.02) < 0.002);
    QVERIFY(qAbs(last.at(3).toDouble() - 0.3 / 1.02) < 0.03);
}

void tst_BatchRun::startWithoutAGoodLotIsRefusedBeforeAnythingIsAsked_data()
{
    QTest::addColumn<bool>("required");
    QTest::addColumn<QString>("lot");
    QTest::addColumn<bool>("starts");
    QTest::newRow("required, none") << true << QString() << false;
    QTest::newRow("required, blanks") << true << "  " << false;
    QTest::newRow("required, 33 characters") << true << QString(33, u'7') << false;
    QTest::newRow("required, typed") << true << "П-1" << true;
    QTest::newRow("not required, a line break") << false << "П-1\n" << false;
}

void tst_BatchRun::startWithoutAGoodLotIsRefusedBeforeAnythingIsAsked()
{
    QFETCH(bool, required);
    QFETCH(QString, lot);
    QFETCH(bool, starts);
    Bench bench;
    DoseOptions options;
    options.lotNumber = required;
    bench.run->setDoseOptions(options);
    bench.run->setLot(lot);
    bench.start(20);
    QCOMPARE(bench.run->state(), starts ? BatchState::Running : BatchState::Idle);
    QCOMPARE(bench.person.asked.contains(NewWork), starts);
    // Refused with its reason, and nothing written.
    QCOMPARE(bench.person.shown.size(), starts ? 0 : 1);
    QCOMPARE(bench.files->select("SELECT count(*) FROM butch"), QStringList {starts ? "1" : "0"});
}

QTEST_GUILESS_MAIN(tst_BatchRun)
#include "tst_batchrun.moc"
