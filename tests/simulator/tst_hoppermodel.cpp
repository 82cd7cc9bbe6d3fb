#include "fakeclock.h"
#include "hoppermodel.h"
#include "k310protocol.h"

#include <QTest>

#include <cmath>

namespace {

constexpr qint64 TenKilograms = 1000;
constexpr qint64 CloseEnough = 5;
constexpr qint64 RestLimitMs = 600000;

DoserParameters standardDoser()
{
    return DoserParameters();
}

class Doser
{
public:
    explicit Doser(const DoserParameters &parameters = standardDoser(), quint32 seed = 1,
                   const QList<ErrorRule> &errors = {})
        : model(parameters, clock, seed)
    {
        model.setErrorScript(ErrorScript(errors, seed));
    }

    // Lets the model run on its own until it rests, as the clock would.
    void runUntilRest()
    {
        for (qint64 next = model.nextEventMs(); next >= 0 && next < RestLimitMs;
             next = model.nextEventMs()) {
            clock.set(qMax(next, clock.nowMs()));
            model.update();
        }
    }

    void runFor(qint64 ms)
    {
        clock.advance(ms);
        model.update();
    }

    FakeClock clock;
    HopperModel model;
};

ErrorRule rule(const QString &text)
{
    ErrorRule parsed;
    QString error;
    if (!ErrorRule::parse(text, &parsed, &error))
        qWarning("%s", qPrintable(error));
    return parsed;
}

} // namespace

class tst_HopperModel : public QObject
{
    Q_OBJECT

private slots:
    void fillOfTenEndsNearTenAndCountsIt_data();
    void fillOfTenEndsNearTenAndCountsIt();
    void counterGrowsOnlyWhenTheFillHasSettled();
    void dischargeReportsTheWeightAndEmptiesTheHopper();
    void everyGramIsReportedOnceAcrossStopsAndDischarges();
    void fillOrderedDuringDischargeStartsOnceEmpty();
    void fillWithADoseInTheHopperRaisesHopperNotEmpty();
    void fillsOutsideTheUpperLimitAreRefused_data();
    void fillsOutsideTheUpperLimitAreRefused();
    void fullCycleFillsCountsAndDischarges();
    void fillDoseUsesTheSetDoseWeight();
    void stoppedFillContinuesToItsTarget();
    void scriptedErrorsRaiseTheAlarmWhereTheyStrike_data();
    void scriptedErrorsRaiseTheAlarmWhereTheyStrike();
    void scriptedErrorStrikesOnlyItsFill();
    void alarmBlocksOrdersUntilResetThenWorkContinues();
    void timedErrorStrikesAtItsTime();
    void testModeFillsExactlyWithoutNoiseOrProcessFaults();
    void readingsCarryBoundedNoise();
    void shortFillsAreToppedUp();
    void modelRestsWithoutPendingEvents();
    void sameSeedReplaysTheSameFills();
    void erringDoserMissesByItsErrorSpreadAndDrift();
    void tolerancesAndDoseOutsideTheLimitAreRejected();
};

void tst_HopperModel::fillOfTenEndsNearTenAndCountsIt_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 8; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

void tst_HopperModel::fillOfTenEndsNearTenAndCountsIt()
{
    QFETCH(quint32, seed);
    DoserParameters parameters;
    parameters.totalDoses = 41;
    parameters.totalWeightDigits = 123456;
    Doser doser(parameters, seed);
    QCOMPARE(doser.model.npdDigits(), 3000);

    doser.model.fill(TenKilograms);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::WorkingFlag);
    doser.runUntilRest();

    const qint64 filled = doser.model.weightDigits();
    QVERIFY2(qAbs(filled - TenKilograms) <= CloseEnough,
             qPrintable(doser.model.weightText(filled)));
    QCOMPARE(doser.model.totalWeightDigits(), quint32(123456 + filled));
    QCOMPARE(doser.model.totalDoses(), quint32(42));
    QCOMPARE(doser.model.shiftWeightDigits(), quint32(filled));
    QCOMPARE(doser.model.shiftDoses(), quint32(1));
    QCOMPARE(doser.model.lastFillDigits(), filled);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::DoseToDischargeFlag);
    // 9.5 at the coarse 5/s and the rest at the fine 0.5/s: a few seconds, not instantly.
    QVERIFY2(doser.clock.nowMs() > 2500 && doser.clock.nowMs() < 6000,
             qPrintable(QString::number(doser.clock.nowMs())));
}

void tst_HopperModel::counterGrowsOnlyWhenTheFillHasSettled()
{
    Doser doser;
    doser.model.fill(TenKilograms);
    const quint32 before = doser.model.totalWeightDigits();
    while (doser.model.phase() != HopperModel::Phase::Settling) {
        doser.runFor(qMin<qint64>(50, doser.model.nextEventMs() - doser.clock.nowMs()));
        QCOMPARE(doser.model.totalWeightDigits(), before);
    }
    QVERIFY(doser.model.weightDigits() > TenKilograms - CloseEnough);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::WorkingFlag);
    doser.runFor(doser.model.parameters().settleMs - 1);
    QCOMPARE(doser.model.totalWeightDigits(), before);
    doser.runFor(1);
    QCOMPARE(doser.model.totalWeightDigits(), before + quint32(doser.model.weightDigits()));
}

void tst_HopperModel::dischargeReportsTheWeightAndEmptiesTheHopper()
{
    Doser doser;
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    const qint64 filled = doser.model.weightDigits();
    const quint32 total = doser.model.totalWeightDigits();

    QCOMPARE(doser.model.discharge(), filled);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::WorkingFlag);
    doser.runFor(100);
    QVERIFY(doser.model.weightDigits() < filled);
    QCOMPARE(doser.model.discharge(), 0);
    doser.runUntilRest();

    QCOMPARE(doser.model.weightDigits(), 0);
    QCOMPARE(doser.model.stateFlags(), quint8(0));
    QCOMPARE(doser.model.totalWeightDigits(), total);
    QCOMPARE(doser.model.discharge(), 0);
}

void tst_HopperModel::everyGramIsReportedOnceAcrossStopsAndDischarges()
{
    Doser doser;
    doser.model.fill(TenKilograms);
    doser.runFor(1000);
    doser.model.stop();
    const qint64 partial = doser.model.weightDigits();
    QVERIFY(partial > 0 && partial < TenKilograms);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::DoseToDischargeFlag);

    qint64 reported = doser.model.discharge();
    QCOMPARE(reported, partial);
    doser.runFor(200);
    doser.model.stop();
    QVERIFY(doser.model.weightDigits() > 0);
    reported += doser.model.discharge();
    doser.model.continueWork();
    doser.runUntilRest();
    reported += doser.model.discharge();
    doser.runUntilRest();

    QCOMPARE(reported, partial);
    QCOMPARE(doser.model.weightDigits(), 0);
}

void tst_HopperModel::fillOrderedDuringDischargeStartsOnceEmpty()
{
    Doser doser;
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    doser.model.discharge();
    doser.runFor(160);
    doser.model.fill(500);
    QCOMPARE(doser.model.errorCode(), quint8(0));
    QCOMPARE(doser.model.phase(), HopperModel::Phase::Discharging);
    doser.runUntilRest();

    QCOMPARE(doser.model.totalDoses(), quint32(2));
    QVERIFY(qAbs(doser.model.lastFillDigits() - 500) <= CloseEnough);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::DoseToDischargeFlag);
}

void tst_HopperModel::fillWithADoseInTheHopperRaisesHopperNotEmpty()
{
    Doser doser;
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    const qint64 filled = doser.model.weightDigits();

    doser.model.fill(TenKilograms);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::AlarmFlag);
    QCOMPARE(doser.model.errorCode(), quint8(HopperModel::HopperNotEmpty));
    doser.runUntilRest();
    QCOMPARE(doser.model.weightDigits(), filled);
    QCOMPARE(doser.model.totalDoses(), quint32(1));
}

void tst_HopperModel::fillsOutsideTheUpperLimitAreRefused_data()
{
    QTest::addColumn<qint64>("target");
    QTest::newRow("nothing") << qint64(0);
    QTest::newRow("negative") << qint64(-1);
    QTest::newRow("just above the limit") << qint64(3001);
}

void tst_HopperModel::fillsOutsideTheUpperLimitAreRefused()
{
    QFETCH(qint64, target);
    Doser doser;
    doser.model.fill(target);
    QCOMPARE(doser.model.stateFlags(), quint8(0));
    QCOMPARE(doser.model.nextEventMs(), -1);

    doser.model.fill(3000);
    doser.runUntilRest();
    QVERIFY(qAbs(doser.model.weightDigits() - 3000) <= CloseEnough);
}

void tst_HopperModel::fullCycleFillsCountsAndDischarges()
{
    Doser doser;
    doser.model.fullCycle();
    QCOMPARE(doser.model.stateFlags(), K310Protocol::WorkingFlag);
    bool discharging = false;
    while (doser.model.nextEventMs() >= 0) {
        doser.runFor(20);
        discharging = discharging || doser.model.phase() == HopperModel::Phase::Discharging;
    }
    QVERIFY(discharging);
    QCOMPARE(doser.model.totalDoses(), quint32(1));
    QVERIFY(qAbs(doser.model.lastFillDigits() - doser.model.doseDigits()) <= CloseEnough);
    QCOMPARE(doser.model.weightDigits(), 0);
    QCOMPARE(doser.model.stateFlags(), quint8(0));
    QCOMPARE(doser.model.discharge(), 0);
}

void tst_HopperModel::fillDoseUsesTheSetDoseWeight()
{
    Doser doser;
    QVERIFY(doser.model.setDoseWeight(1250));
    doser.model.fillDose();
    doser.runUntilRest();
    QVERIFY(qAbs(doser.model.lastFillDigits() - 1250) <= CloseEnough);
}

void tst_HopperModel::stoppedFillContinuesToItsTarget()
{
    Doser doser;
    doser.model.fill(TenKilograms);
    doser.runFor(800);
    doser.model.stop();
    const qint64 partial = doser.model.weightDigits();
    doser.runFor(5000);
    QCOMPARE(doser.model.weightDigits(), partial);
    QCOMPARE(doser.model.totalDoses(), quint32(0));

    doser.model.continueWork();
    QCOMPARE(doser.model.stateFlags(), K310Protocol::WorkingFlag);
    doser.runUntilRest();
    QVERIFY(qAbs(doser.model.weightDigits() - TenKilograms) <= CloseEnough);
    QCOMPARE(doser.model.totalDoses(), quint32(1));
}

void tst_HopperModel::scriptedErrorsRaiseTheAlarmWhereTheyStrike_data()
{
    QTest::addColumn<QString>("errorRule");
    QTest::addColumn<bool>("discharging");
    QTest::addColumn<qint64>("lowestWeight");
    QTest::addColumn<qint64>("highestWeight");

    QTest::newRow("no product supply while feeding") << "8:fill=1" << false << 1ll << 999ll;
    QTest::newRow("weight falls while feeding") << "12:p=1" << false << 1ll << 999ll;
    QTest::newRow("little product, always") << "14:always" << false << 1ll << 999ll;
    QTest::newRow("hopper not empty before feeding") << "9:fill=1" << false << 0ll << 0ll;
    QTest::newRow("no power at the start") << "3:fill=1" << false << 0ll << 0ll;
    QTest::newRow("unstable load cell while settling") << "5:fill=1" << false << 995ll << 1005ll;
    QTest::newRow("gate does not open") << "10:discharge=1" << true << 995ll << 1005ll;
    QTest::newRow("gate does not close") << "11:discharge=1" << true << 0ll << 0ll;
}

void tst_HopperModel::scriptedErrorsRaiseTheAlarmWhereTheyStrike()
{
    QFETCH(QString, errorRule);
    QFETCH(bool, discharging);
    QFETCH(qint64, lowestWeight);
    QFETCH(qint64, highestWeight);
    const ErrorRule scripted = rule(errorRule);
    Doser doser(standardDoser(), 1, {scripted});

    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    if (discharging) {
        QCOMPARE(doser.model.totalDoses(), quint32(1));
        const qint64 reported = doser.model.discharge();
        QCOMPARE(reported == 0, scripted.code == 10);
        doser.runUntilRest();
    } else {
        QCOMPARE(doser.model.totalDoses(), quint32(0));
    }
    QCOMPARE(doser.model.stateFlags(), K310Protocol::AlarmFlag);
    QCOMPARE(int(doser.model.errorCode()), scripted.code);
    QVERIFY2(doser.model.weightDigits() >= lowestWeight
                 && doser.model.weightDigits() <= highestWeight,
             qPrintable(QString::number(doser.model.weightDigits())));
}

void tst_HopperModel::scriptedErrorStrikesOnlyItsFill()
{
    Doser doser(standardDoser(), 1, {rule("8:fill=2")});
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    QCOMPARE(doser.model.errorCode(), quint8(0));
    doser.model.discharge();
    doser.runUntilRest();
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    QCOMPARE(doser.model.errorCode(), quint8(8));
    QCOMPARE(doser.model.totalDoses(), quint32(1));
}

void tst_HopperModel::alarmBlocksOrdersUntilResetThenWorkContinues()
{
    Doser doser(standardDoser(), 1, {rule("8:fill=1")});
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    const qint64 partial = doser.model.weightDigits();

    QCOMPARE(doser.model.discharge(), 0);
    doser.model.continueWork();
    doser.runUntilRest();
    QCOMPARE(doser.model.weightDigits(), partial);
    QCOMPARE(doser.model.stateFlags(), K310Protocol::AlarmFlag);

    doser.model.resetError();
    QCOMPARE(doser.model.errorCode(), quint8(0));
    QCOMPARE(doser.model.stateFlags(), K310Protocol::DoseToDischargeFlag);
    doser.model.continueWork();
    doser.runUntilRest();
    QVERIFY(qAbs(doser.model.weightDigits() - TenKilograms) <= CloseEnough);
    QCOMPARE(doser.model.totalDoses(), quint32(1));
    QCOMPARE(doser.model.stateFlags(), K310Protocol::DoseToDischargeFlag);
}

void tst_HopperModel::timedErrorStrikesAtItsTime()
{
    Doser doser(standardDoser(), 1, {rule("3:t=2.5")});
    QCOMPARE(doser.model.nextEventMs(), 2500);
    doser.runFor(2499);
    QCOMPARE(doser.model.errorCode(), quint8(0));
    doser.runFor(1);
    QCOMPARE(doser.model.errorCode(), quint8(3));
    QCOMPARE(doser.model.nextEventMs(), -1);
}

void tst_HopperModel::testModeFillsExactlyWithoutNoiseOrProcessFaults()
{
    Doser doser(standardDoser(), 3, {rule("8:always")});
    doser.model.setTestMode(true);
    QVERIFY(doser.model.testMode());
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    QCOMPARE(doser.model.errorCode(), quint8(0));
    QCOMPARE(doser.model.weightDigits(), TenKilograms);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(doser.model.netWeightDigits(), TenKilograms);

    doser.model.discharge();
    doser.runUntilRest();
    doser.model.setTestMode(false);
    doser.model.fill(TenKilograms);
    doser.runUntilRest();
    QCOMPARE(doser.model.errorCode(), quint8(8));
}

void tst_HopperModel::readingsCarryBoundedNoise()
{
    DoserParameters parameters;
    parameters.noise = 0.05;
    Doser doser(parameters);
    QSet<qint64> seen;
    for (int i = 0; i < 200; ++i) {
        const qint64 reading = doser.model.netWeightDigits();
        QVERIFY(qAbs(reading) <= 5);
        seen.insert(reading);
    }
    QVERIFY(seen.size() > 3);
    QVERIFY(*std::min_element(seen.begin(), seen.end()) < 0);
}

void tst_HopperModel::shortFillsAreToppedUp()
{
    DoserParameters parameters;
    parameters.inFlight = 1.0;
    parameters.minusTolerance = 0.02;
    for (quint32 seed = 1; seed <= 10; ++seed) {
        Doser doser(parameters, seed);
        doser.model.fill(TenKilograms);
        doser.runUntilRest();
        QVERIFY2(doser.model.weightDigits() >= TenKilograms - 2,
                 qPrintable(doser.model.weightText(doser.model.weightDigits())));
        QVERIFY(doser.model.weightDigits() <= TenKilograms + 30);
        QCOMPARE(doser.model.totalDoses(), quint32(1));
    }
}

void tst_HopperModel::modelRestsWithoutPendingEvents()
{
    Doser doser;
    QCOMPARE(doser.model.nextEventMs(), -1);
    doser.model.fill(TenKilograms);
    const qint64 next = doser.model.nextEventMs();
    QVERIFY(next > 0);
    doser.runFor(next - 1);
    QCOMPARE(doser.model.phase(), HopperModel::Phase::CoarseFeed);
    doser.runFor(1);
    QCOMPARE(doser.model.phase(), HopperModel::Phase::FineFeed);
    doser.runUntilRest();
    QCOMPARE(doser.model.nextEventMs(), -1);
}

void tst_HopperModel::sameSeedReplaysTheSameFills()
{
    QList<qint64> first;
    QList<qint64> second;
    for (QList<qint64> *fills : {&first, &second}) {
        Doser doser(standardDoser(), 77);
        for (int i = 0; i < 5; ++i) {
            doser.model.fill(TenKilograms);
            doser.runUntilRest();
            fills->append(doser.model.weightDigits());
            fills->append(doser.model.netWeightDigits());
            doser.model.discharge();
            doser.runUntilRest();
        }
    }
    QCOMPARE(first, second);
}

void tst_HopperModel::erringDoserMissesByItsErrorSpreadAndDrift()
{
    // Fills of 10 erring +2 % with a spread of 1 % and a drift of -1 % per 100 fills: the first
    // hundred land about 10.2 - 0.05 = 10.15 on the mean, the second about 10.05, each spread
    // by about 0.1; a seed repeats them all.
    DoserParameters erring;
    erring.fillErrorPercent = 2;
    erring.fillSpreadPercent = 1;
    erring.fillDriftPercent = -1;
    // Without product in flight, whose spread draws on the readings' chances, a fill is its miss;
    // fast, so that every fill ends within the model's rest limit.
    erring.inFlight = 0;
    erring.feedRate = 100;
    erring.fineRate = 5;
    erring.settleMs = 0;
    erring.dischargeRate = 100;
    constexpr int Fills = 100;
    QList<QList<qint64>> runs;
    for (int run = 0; run < 2; ++run) {
        Doser doser(erring, 5);
        QList<qint64> fills;
        for (int i = 0; i < 2 * Fills; ++i) {
            // Readings between fills draw on the noise only, never on the misses.
            for (int reading = 0; reading < run; ++reading)
                doser.model.netWeightDigits();
            doser.model.fill(TenKilograms);
            doser.runUntilRest();
            fills.append(doser.model.lastFillDigits());
            doser.model.discharge();
            doser.runUntilRest();
        }
        runs.append(fills);
    }
    QCOMPARE(runs.at(0), runs.at(1));

    const auto meanOf = [&](int from) {
        double sum = 0;
        for (int i = from; i < from + Fills; ++i)
            sum += double(runs.at(0).at(i));
        return sum / Fills;
    };
    const auto spreadOf = [&](int from, double mean) {
        double squares = 0;
        for (int i = from; i < from + Fills; ++i)
            squares += (double(runs.at(0).at(i)) - mean) * (double(runs.at(0).at(i)) - mean);
        return std::sqrt(squares / (Fills - 1));
    };
    const double early = meanOf(0);
    const double late = meanOf(Fills);
    QVERIFY2(qAbs(early - 1015) < 5, qPrintable(QString::number(early)));
    QVERIFY2(qAbs(late - 1005) < 5, qPrintable(QString::number(late)));
    const double spread = spreadOf(0, early);
    QVERIFY2(spread > 6 && spread < 15, qPrintable(QString::number(spread)));
}

void tst_HopperModel::tolerancesAndDoseOutsideTheLimitAreRejected()
{
    Doser doser;
    QVERIFY(doser.model.setPlusTolerance(75));
    QVERIFY(!doser.model.setPlusTolerance(3001));
    QVERIFY(!doser.model.setPlusTolerance(-1));
    QCOMPARE(doser.model.plusToleranceDigits(), 75);
    QVERIFY(doser.model.setMinusTolerance(0));
    QVERIFY(!doser.model.setMinusTolerance(4000));
    QCOMPARE(doser.model.minusToleranceDigits(), 0);
    QVERIFY(!doser.model.setDoseWeight(0));
    QVERIFY(!doser.model.setDoseWeight(3001));
    QVERIFY(doser.model.setDoseWeight(3000));
    QCOMPARE(doser.model.doseDigits(), 3000);
}

QTEST_GUILESS_MAIN(tst_HopperModel)
#include "tst_hoppermodel.moc"
