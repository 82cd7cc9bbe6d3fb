// The trend's record of a batch, fed through the process image as the batch and the doser's
// reports write it; its clock is the test's.
#include "cyclerecords.h"
#include "database.h"
#include "temporarydatabase.h"
#include "trendrecorder.h"

#include <QSignalSpy>
#include <QTest>

namespace {

const QDateTime Started = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000);

// A batch on doser 30 as the process image has it, moved on by the test.
class BatchFeed
{
public:
    BatchFeed(ProcessImage &image, qint64 &now)
        : image(image)
        , now(now)
    { }

    void begin(quint64 butchId)
    {
        now = qMax(now, Started.toMSecsSinceEpoch());
        update([&](BatchProgress &batch) {
            batch.butchId = butchId;
            batch.state = BatchState::Running;
            batch.started = Started;
            batch.doseNumber = 0;
            batch.phase = DosePhase::Starting;
        });
    }
    void order(double dose)
    {
        update([&](BatchProgress &batch) {
            batch.phase = DosePhase::Filling;
            batch.orderedDose = Weight {dose, 2};
            batch.plusTolerance = 0.5;
            batch.minusTolerance = 0.25;
        });
    }
    void weigh(qint64 atMs, double weight)
    {
        now = Started.toMSecsSinceEpoch() + atMs;
        image.update(0, [&](DoserImage &doser) { doser.netWeight = Weight {weight, 2}; });
    }
    void count(double discharged)
    {
        update([&](BatchProgress &batch) {
            batch.phase = DosePhase::FillDue;
            ++batch.doseNumber;
            batch.lastDischarge = Weight {discharged, 2};
        });
    }
    void end(BatchState state)
    {
        update([&](BatchProgress &batch) {
            batch.state = state;
            batch.phase = DosePhase::None;
        });
    }
    // A whole cycle: the fill rising in steps of a second, the discharge counted.
    void cycle(qint64 fromMs, double dose)
    {
        order(dose);
        for (int step = 1; step <= 4; ++step)
            weigh(fromMs + 1000 * step, dose * step / 4);
        weigh(fromMs + 4500, 0);
        count(dose);
    }

private:
    void update(const std::function<void(BatchProgress &)> &change)
    {
        image.update(0, [&](DoserImage &doser) {
            doser.deviceId = 30;
            doser.decimals = 2;
            change(doser.batch);
        });
    }

    ProcessImage &image;
    qint64 &now;
};

// The recorder on a data.db of its own, its clock the feed's.
struct Bench
{
    Bench()
    {
        records.createTables();
        recorder.setClock([this] { return now; });
    }

    TemporaryDatabase file;
    Database records {file.path()};
    ProcessImage image {1};
    qint64 now = 0;
    TrendRecorder recorder {image, records};
    BatchFeed feed {image, now};
};

} // namespace

class tst_TrendRecorder : public QObject
{
    Q_OBJECT

private slots:
    void cyclesSplitAtEachFillAndKeepTheirCountedDischarge();
    void heldWeightIsDrawnAsAStep();
    void longBatchKeepsTheLastCyclesShownAndEveryCycleInTheRecords();
    void stoppedBatchClosesItsCycleAndTheLastBatchStaysAfterItEnds();
    void packedReadingsComeBackExactly();
};

void tst_TrendRecorder::cyclesSplitAtEachFillAndKeepTheirCountedDischarge()
{
    Bench bench;
    TrendRecorder &recorder = bench.recorder;
    BatchFeed &feed = bench.feed;
    Database &records = bench.records;

    feed.begin(7);
    feed.weigh(200, 0.04);
    feed.cycle(1000, 20);
    feed.cycle(6000, 18.5);
    feed.end(BatchState::Finished);

    const QList<CycleTrace> &cycles = recorder.cycles(0);
    // The hopper emptied before work, then two ordered cycles.
    QCOMPARE(cycles.size(), 3);
    QCOMPARE(cycles.at(0).number, 0);
    QCOMPARE(cycles.at(0).ordered, 0.0);
    QCOMPARE(cycles.at(1).number, 1);
    QCOMPARE(cycles.at(1).ordered, 20.0);
    QCOMPARE(cycles.at(2).ordered, 18.5);
    QCOMPARE(cycles.at(2).minusTolerance, 0.25);
    QVERIFY(cycles.at(1).counted && cycles.at(2).counted && !cycles.at(0).counted);
    QCOMPARE(cycles.at(2).discharged, 18.5);
    QCOMPARE(cycles.at(2).countedMs, 10500);
    // A cycle goes on from the weight the one before left.
    QCOMPARE(cycles.at(2).samples.first().weight, 0.0);
    QCOMPARE(cycles.at(1).samples.last().weight, 0.0);

    const QList<CycleTrace> kept = CycleRecords(records).ofTask(7, 30);
    QCOMPARE(kept.size(), 3);
    for (int i = 0; i < kept.size(); ++i) {
        QCOMPARE(kept.at(i).ordered, cycles.at(i).ordered);
        QCOMPARE(kept.at(i).countedMs, cycles.at(i).countedMs);
        QCOMPARE(kept.at(i).samples.size(), cycles.at(i).samples.size());
        QCOMPARE(kept.at(i).samples.last().weight, cycles.at(i).samples.last().weight);
    }
}

void tst_TrendRecorder::heldWeightIsDrawnAsAStep()
{
    Bench bench;
    TrendRecorder &recorder = bench.recorder;
    BatchFeed &feed = bench.feed;
    feed.begin(1);
    feed.order(10);
    feed.weigh(1000, 5);
    feed.weigh(1100, 10);
    // Unchanged for two seconds, then the discharge.
    feed.weigh(3100, 0);

    const QList<TrendSample> &samples = recorder.cycles(0).last().samples;
    const qsizetype last = samples.size() - 1;
    QCOMPARE(samples.at(last).ms, 3100);
    QCOMPARE(samples.at(last - 1).weight, 10.0);
    QVERIFY(samples.at(last - 1).ms > 3000 && samples.at(last - 1).ms < 3100);
    // A quick change is no hold.
    QCOMPARE(samples.at(last - 2).ms, 1100);
    QCOMPARE(samples.at(last - 3).ms, 1000);
}

void tst_TrendRecorder::longBatchKeepsTheLastCyclesShownAndEveryCycleInTheRecords()
{
    Bench bench;
    TrendRecorder &recorder = bench.recorder;
    BatchFeed &feed = bench.feed;
    Database &records = bench.records;
    feed.begin(3);
    constexpr int Cycles = 80;
    for (int c = 0; c < Cycles; ++c)
        feed.cycle(5000 * c, 10 + c);
    feed.end(BatchState::Finished);

    const QList<CycleTrace> &shown = recorder.cycles(0);
    QVERIFY(shown.size() >= 50 && shown.size() <= TrendRecorder::KeptCycles);
    QCOMPARE(shown.last().number, Cycles);
    QCOMPARE(shown.last().ordered, 10.0 + Cycles - 1);
    QCOMPARE(CycleRecords(records).ofTask(3, 30).size(), Cycles + 1);
}

void tst_TrendRecorder::stoppedBatchClosesItsCycleAndTheLastBatchStaysAfterItEnds()
{
    Bench bench;
    TrendRecorder &recorder = bench.recorder;
    BatchFeed &feed = bench.feed;
    Database &records = bench.records;
    QSignalSpy began(&recorder, &TrendRecorder::batchBegan);

    feed.begin(5);
    feed.order(12);
    feed.weigh(1000, 6);
    feed.end(BatchState::Stopped);
    // Readings while the batch stands are no part of it.
    feed.weigh(2000, 3);
    QCOMPARE(CycleRecords(records).ofTask(5, 30).size(), 2);
    QCOMPARE(recorder.cycles(0).last().samples.last().weight, 6.0);

    // Continued: the same batch goes on, its counted discharge in a cycle of its own.
    feed.begin(5);
    feed.weigh(3000, 0);
    feed.count(6);
    feed.end(BatchState::Finished);
    QCOMPARE(began.size(), 1);
    QCOMPARE(recorder.cycles(0).size(), 3);
    QVERIFY(recorder.cycles(0).last().counted);
    QCOMPARE(recorder.cycles(0).last().ordered, 0.0);

    // The closed batch stays in view until another begins.
    feed.end(BatchState::Idle);
    bench.image.update(0, [](DoserImage &doser) { doser.batch.butchId = 0; });
    QCOMPARE(recorder.butchId(0), quint64(5));
    QCOMPARE(recorder.cycles(0).size(), 3);
    feed.begin(6);
    QCOMPARE(began.size(), 2);
    QCOMPARE(recorder.butchId(0), quint64(6));
    QVERIFY(recorder.cycles(0).size() <= 1);
}

void tst_TrendRecorder::packedReadingsComeBackExactly()
{
    const QList<TrendSample> samples = {
        {0, 0.0}, {160, 0.05}, {320, -0.12}, {90'000'000, 29.99}, {90'000'160, 123456.78}};
    const QByteArray packed = CycleTrace::packSamples(samples, 2);
    const QList<TrendSample> back = CycleTrace::unpackSamples(packed, 2);
    QCOMPARE(back.size(), samples.size());
    for (int i = 0; i < samples.size(); ++i) {
        QCOMPARE(back.at(i).ms, samples.at(i).ms);
        QCOMPARE(back.at(i).weight, samples.at(i).weight);
    }
    // A fill read six times a second takes a few bytes a reading.
    QList<TrendSample> fill;
    for (int i = 0; i < 200; ++i)
        fill.append({160 * i, 0.37 * i});
    QVERIFY(CycleTrace::packSamples(fill, 2).size() <= 4 * fill.size());
    // Bytes cut short are no readings.
    QVERIFY(CycleTrace::unpackSamples(packed.left(packed.size() - 1), 2).isEmpty());
}

QTEST_GUILESS_MAIN(tst_TrendRecorder)
#include "tst_trendrecorder.moc"
