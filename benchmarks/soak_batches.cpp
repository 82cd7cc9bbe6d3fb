// Accuracy and soak runs of the batch workflow against the simulated doser; too slow for every
// commit, so they are no test: scripts/soak-batches.sh runs them.
#include "consolerig.h"
#include "k310_halvern.h"

#include <QApplication>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>

namespace {

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString Done = QStringLiteral("Задание выполнено");
const QString Yes = QStringLiteral("Да");
const QString PlusTolerance = QStringLiteral("0.50");
constexpr int BatchMs = 20 * 60 * 1000;
// Between an automatic stop and the operator's touch on "Продолжить задание".
constexpr int OperatorMs = 300;

quint32 seedOfRun()
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("K310_SOAK_SEED").toUInt(&given);
    return given ? seed : QRandomGenerator::system()->generate();
}

QString weight(qint64 hundredthsOfUnit)
{
    return QString::number(double(hundredthsOfUnit) / 100, 'f', 2);
}

// The discharges the doser logged from a line on, and what of them a batch counts.
struct Discharges
{
    qint64 all = 0;
    qint64 countable = 0;
    int count = 0;
};

Discharges dischargesSince(ConsoleRig &rig, int fromLine)
{
    Discharges found;
    const QStringList weights = rig.loggedWeights(QStringLiteral("discharge"), fromLine);
    for (const QString &weight : weights)
        found.all += ConsoleRig::hundredths(weight);
    found.count = int(weights.size());
    found.countable = rig.countableDischarges(fromLine, PlusTolerance);
    return found;
}

QStringList lastTask(ConsoleRig &rig)
{
    return rig.records().select(
        "SELECT taskWeight, haveDoneWeight, idButch FROM task ORDER BY idButch DESC LIMIT 1");
}

} // namespace

class SoakBatches : public QObject
{
    Q_OBJECT

private slots:
    void randomTargetsEndWithinTheToleranceAndAddUp();
    void flakyLineLosesAndDoublesNothing();
};

void SoakBatches::randomTargetsEndWithinTheToleranceAndAddUp()
{
    const quint32 seed = seedOfRun();
    QRandomGenerator targets(seed);
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::soakDoser(seed)));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.startConsole();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);
    QCOMPARE(rig.text("doseFaultPlusK310_11"), PlusTolerance);
    rig.prepareBatch("Сахар", "1");

    std::printf("seed %u\n%8s %10s %10s %10s %6s %12s %10s\n", seed, "batch", "target", "delivered",
                "left", "doses", "discharged", "declined");
    int failures = 0;
    for (int batch = 1; batch <= 20; ++batch) {
        const QString target = weight(100 + targets.bounded(49901));
        rig.enter("productWeightK310_11", target);
        const int start = rig.doser().logLines().size();
        const int done = rig.operatorAtPanel().shown.count(Done);
        rig.click("startButton");
        QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.count(Done) > done, BatchMs);

        const QStringList task = lastTask(rig);
        const qint64 delivered = ConsoleRig::hundredths(task.value(1));
        const qint64 left = ConsoleRig::hundredths(task.value(0)) - delivered;
        const Discharges discharges = dischargesSince(rig, start);
        const bool withinRule = left < ConsoleRig::hundredths(PlusTolerance);
        const bool addsUp =
            delivered == discharges.countable && delivered == rig.countedDoseRows(task.value(2));
        std::printf("%8d %10s %10s %10s %6d %12s %10s%s\n", batch, qPrintable(task.value(0)),
                    qPrintable(task.value(1)), qPrintable(weight(left)), discharges.count,
                    qPrintable(weight(discharges.all)),
                    qPrintable(weight(discharges.all - discharges.countable)),
                    withinRule && addsUp ? "" : "  <- FAILED");
        std::fflush(stdout);
        failures += !(withinRule && addsUp);
    }
    QCOMPARE(failures, 0);
}

void SoakBatches::flakyLineLosesAndDoublesNothing()
{
    const quint32 seed = seedOfRun();
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::soakDoser(seed) << "--fault"
                                                           << "drop:p=0.05"
                                                           << "--fault"
                                                           << "corrupt:p=0.02"));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);
    rig.prepareBatch("Мука", "300");
    const int start = rig.doser().logLines().size();

    // The operator starts the batch (again, when the line lost the start) and continues after
    // every automatic stop.
    int continues = 0;
    QElapsedTimer clock;
    clock.start();
    while (!rig.operatorAtPanel().shown.contains(Done) && clock.elapsed() < BatchMs) {
        if (!rig.isEnabled("stopButton")) {
            if (lastTask(rig).isEmpty() && rig.isEnabled("startButton")) {
                rig.click("startButton");
            } else if (rig.isEnabled("continueButton")) {
                ++continues;
                rig.click("continueButton");
            }
        }
        QTest::qWait(OperatorMs);
    }
    QVERIFY(rig.operatorAtPanel().shown.contains(Done));

    const QStringList task = lastTask(rig);
    const qint64 delivered = ConsoleRig::hundredths(task.value(1));
    const Discharges discharges = dischargesSince(rig, start);
    const int dropped = rig.doserLog("(dropped").size();
    const int corrupted = rig.doserLog("flipped)").size();
    std::printf("seed %u: target %s, delivered %s in %.0f s; %d discharges of %s, %s declined as "
                "residue; %d replies dropped, %d corrupted, %d continues\n",
                seed, qPrintable(task.value(0)), qPrintable(task.value(1)),
                clock.elapsed() / 1000.0, discharges.count, qPrintable(weight(discharges.all)),
                qPrintable(weight(discharges.all - discharges.countable)), dropped, corrupted,
                continues);
    QVERIFY(ConsoleRig::hundredths(task.value(0)) - delivered
            < ConsoleRig::hundredths(PlusTolerance));
    QCOMPARE(delivered, discharges.countable);
    QCOMPARE(rig.countedDoseRows(task.value(2)), delivered);
}

int main(int argc, char *argv[])
{
    // A run takes minutes; Qt Test's watchdog would end it after five.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(2 * BatchMs));
    QApplication application(argc, argv);
    SoakBatches soak;
    return QTest::qExec(&soak, argc, argv);
}

#include "soak_batches.moc"
