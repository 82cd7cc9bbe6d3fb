#include "consolerig.h"
#include "k310_halvern.h"
#include "k310protocol.h"
#include "k310settings.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

namespace {

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString StopQuestion =
    QStringLiteral("ВНИМАНИЕ!!! При остановке работы ковши будут автоматически разгружены.\n"
                   "Остановить выполнение текущего задания?");
const QString Done = QStringLiteral("Задание выполнено");
const QString Yes = QStringLiteral("Да");
const QString ExitQuestion = QStringLiteral("Задание не завершено. Выйти?");
// Into a fill of the quick doser's, well before it ends.
constexpr int MidFillMs = 400;

QStringList openTask(ConsoleRig &rig)
{
    return rig.records().select(
        "SELECT taskWeight, haveDoneWeight, endTime, endDate FROM task WHERE idButch IN "
        "(SELECT idButch FROM butch WHERE endTime = '')");
}

// Waits until the batch has counted a discharge and the next fill is well under way.
void waitForWorkInProgress(ConsoleRig &rig, int fromLine)
{
    QTRY_VERIFY_WITH_TIMEOUT(!openTask(rig).value(1).isEmpty(), ConsoleRig::BatchMs);
    QTRY_VERIFY_WITH_TIMEOUT(rig.loggedWeights("fill", fromLine).size() >= 2, ConsoleRig::BatchMs);
    QTest::qWait(MidFillMs);
}

} // namespace

class tst_BatchWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void batchWithinOneDoseEndsAndClosesItsRecords();
    void largeBatchCutsDosesToTheLimitAndLeavesTheResidueUncounted();
    void newWorkDropsAnEmptyBatchAndStopRaiseContinueCountOnlyTheBatchsDischarges();
    void lostDoserStopsTheBatchAndItsReturnOffersTheRestore();
    void killedConsoleRestoresTheBatchAndFinishesIt();
    void unknownWeighingLimitRefusesTheStart();
    void exitDuringABatchAsksAndJournalsTheStop();
};

void tst_BatchWorkflow::batchWithinOneDoseEndsAndClosesItsRecords()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.startConsole();
    rig.waitForDoser();
    QTRY_COMPARE(rig.text("weightlabel_6"), QString("кг"));

    // A manual fill above the limit is refused with the limit in the doser's unit.
    rig.enter("productWeightK310_11", "31");
    rig.click("downloadDoseButton");
    QVERIFY(rig.operatorAtPanel().shown.last().contains("30.00 кг"));
    rig.enter("productWeightK310_11", "30");
    rig.click("downloadDoseButton");
    QTRY_COMPARE(rig.loggedWeights("fill", 0), QStringList {"30.00"});
    QTRY_VERIFY_WITH_TIMEOUT(rig.text("stateK310_12").toDouble() > 29, ConsoleRig::BatchMs);
    rig.click("uploadDoseButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.text("stateK310_12").toDouble() < 0.1, ConsoleRig::BatchMs);

    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.prepareBatch("Сахар", "10");
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    QVERIFY(!rig.isEnabled("startButton"));
    QVERIFY(!rig.isEnabled("uploadDoseButton"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    QCOMPARE(rig.loggedWeights("fill", start), QStringList {"10.00"});
    const QStringList task = rig.records().select(
        "SELECT taskWeight, haveDoneWeight, endTime, endDate, productName FROM task");
    QCOMPARE(task.size(), 5);
    QCOMPARE(task.at(0), QString("10.00"));
    QVERIFY(qAbs(ConsoleRig::hundredths(task.at(1)) - 1000) < 50);
    QCOMPARE(ConsoleRig::hundredths(task.at(1)), rig.countableDischarges(start, "0.50"));
    QVERIFY(QRegularExpression("^\\d\\d:\\d\\d$").match(task.at(2)).hasMatch());
    QVERIFY(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4}$").match(task.at(3)).hasMatch());
    QCOMPARE(task.at(4), QString("Сахар"));
    const QStringList butch = rig.records().select("SELECT endTime, endDate FROM butch");
    QCOMPARE(butch.size(), 2);
    QCOMPARE(butch.at(0), task.at(2));
    QVERIFY(rig.isEnabled("startButton") && !rig.isEnabled("continueButton"));
    QVERIFY(rig.isEnabled("uploadDoseButton"));
}

void tst_BatchWorkflow::largeBatchCutsDosesToTheLimitAndLeavesTheResidueUncounted()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.startConsole();
    rig.waitForDoser();

    // The editors show what the doser reports back, not what was typed.
    rig.enter("doseFaultPlusK310_11", "1");
    rig.enter("doseFaultMinusK310_11", "0.8");
    QTRY_COMPARE(rig.text("doseFaultPlusK310_11"), QString("1.00"));
    QTRY_COMPARE(rig.text("doseFaultMinusK310_11"), QString("0.80"));

    rig.enter("productWeightK310_11", "0.1");
    rig.click("downloadDoseButton");
    QTRY_COMPARE_WITH_TIMEOUT(rig.doserLog("] dose of ").size(), 1, ConsoleRig::BatchMs);

    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.prepareBatch("Мука", "100");
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    const QStringList fills = rig.loggedWeights("fill", start);
    QVERIFY(fills.size() >= 4);
    QCOMPARE(fills.first(), QString("23.08"));
    for (const QString &fill : fills)
        QVERIFY2(fill.toDouble() < 30, qPrintable(fill));
    const QStringList discharges = rig.loggedWeights("discharge", start);
    QVERIFY2(discharges.first().toDouble() < 0.25, qPrintable(discharges.first()));

    const QString delivered = rig.records().select("SELECT haveDoneWeight FROM task").value(0);
    QVERIFY2(delivered.toDouble() > 99 && delivered.toDouble() < 101, qPrintable(delivered));
    QCOMPARE(ConsoleRig::hundredths(delivered), rig.countableDischarges(start, "1.00"));
}

void tst_BatchWorkflow::newWorkDropsAnEmptyBatchAndStopRaiseContinueCountOnlyTheBatchsDischarges()
{
    ConsoleRig rig;
    rig.records().createTables();
    rig.records().exec("INSERT INTO product (productName) VALUES ('Соль')");
    rig.records().exec("INSERT INTO butch (date, startTime, endTime, endDate) "
                       "VALUES ('01.12.2026', '08:00', '', '')");
    rig.records().exec("INSERT INTO task VALUES (1, 30, '08:00', ' ', '55.00', '', '55.00', "
                       "'Соль', 'кг', '01.12.2026', '')");
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    QCOMPARE(rig.operatorAtPanel().shown, QStringList {Restore});
    QCOMPARE(rig.text("productWeightK310_11"), QString("55.00"));
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    rig.waitForDoser();

    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.enter("productWeightK310_11", "40");
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    QCOMPARE(rig.records().select("SELECT COUNT(*) FROM task WHERE taskWeight = '55.00'"),
             QStringList {"0"});
    QCOMPARE(rig.records().select("SELECT COUNT(*) FROM butch"), QStringList {"1"});
    QCOMPARE(openTask(rig).value(0), QString("40.00"));

    waitForWorkInProgress(rig, start);
    rig.operatorAtPanel().answer(StopQuestion, Yes);
    rig.click("stopButton");
    QTRY_VERIFY(rig.isEnabled("continueButton") && !rig.isEnabled("stopButton"));
    QTest::qWait(1500);

    // While the work stands the line drops and comes back (the counters are read anew) and the
    // operator runs a full cycle by hand: that cycle's discharge is not the batch's.
    rig.doser().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("stateK310_11"), QString("НЕТ СВЯЗИ"), 1000);
    rig.doser().plugIn();
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.count(Restore) >= 2,
                             ConsoleRig::ConnectedMs);
    QTRY_VERIFY(rig.isEnabled("doCycleButton"));
    const int byHand = rig.doser().logLines().size();
    rig.click("doCycleButton");
    QTRY_COMPARE_WITH_TIMEOUT(rig.loggedWeights("discharge", byHand).size(), 1,
                              ConsoleRig::BatchMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.doserLog("hopper discharged").size(),
                              rig.loggedWeights("discharge", 0).size(), ConsoleRig::BatchMs);
    const qint64 cycle = ConsoleRig::hundredths(rig.loggedWeights("discharge", byHand).first());
    QVERIFY(cycle > 0);

    rig.enter("productWeightK310_11", "60");
    QCOMPARE(rig.text("productWeightK310_11"), QString("60.00"));
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    const QStringList task = rig.records().select("SELECT taskWeight, haveDoneWeight FROM task");
    QCOMPARE(task.value(0), QString("60.00"));
    QVERIFY2(task.value(1).toDouble() > 59.5, qPrintable(task.value(1)));
    QCOMPARE(ConsoleRig::hundredths(task.value(1)), rig.countableDischarges(start, "0.50") - cycle);
}

void tst_BatchWorkflow::lostDoserStopsTheBatchAndItsReturnOffersTheRestore()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.startConsole();
    rig.waitForDoser();
    rig.prepareBatch("Крупа", "70");
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    waitForWorkInProgress(rig, start);

    rig.doser().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("stateK310_11"), QString("НЕТ СВЯЗИ"), 1000);
    QTRY_VERIFY(rig.isEnabled("continueButton") && !rig.isEnabled("stopButton"));
    QVERIFY(!openTask(rig).isEmpty());
    QTest::qWait(1500);

    rig.operatorAtPanel().answer(Restore, Yes);
    rig.doser().plugIn();
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Restore),
                             ConsoleRig::ConnectedMs);
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    const QString delivered = rig.records().select("SELECT haveDoneWeight FROM task").value(0);
    QVERIFY2(delivered.toDouble() > 69.5, qPrintable(delivered));
    QCOMPARE(ConsoleRig::hundredths(delivered), rig.countableDischarges(start, "0.50"));
}

void tst_BatchWorkflow::killedConsoleRestoresTheBatchAndFinishesIt()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));

    QProcess first;
    const int start = rig.doser().logLines().size();
    QVERIFY(rig.startChildBatch(first, QStringLiteral("Комбикорм"), QStringLiteral("90")));
    waitForWorkInProgress(rig, start);
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());

    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    QCOMPARE(rig.operatorAtPanel().shown, QStringList {Restore});
    rig.waitForDoser();
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    const QStringList task = rig.records().select("SELECT taskWeight, haveDoneWeight FROM task");
    QCOMPARE(task.value(0), QString("90.00"));
    QVERIFY2(task.value(1).toDouble() > 89.5, qPrintable(task.value(1)));
    QCOMPARE(ConsoleRig::hundredths(task.value(1)), rig.countableDischarges(start, "0.50"));
    // Each counted discharge has its row, written with the count, across the kill.
    QCOMPARE(rig.countedDoseRows("1"), ConsoleRig::hundredths(task.value(1)));
}

void tst_BatchWorkflow::unknownWeighingLimitRefusesTheStart()
{
    ConsoleRig rig;
    rig.records().createTables();
    rig.records().exec("INSERT INTO product (productName) VALUES ('Сахар')");
    // The fifth reply, the upper weighing limit of the first reading, comes back corrupt.
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser() << "--fault"
                                                        << "corrupt:at=5"));
    rig.startConsole();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("stateK310_11"), QString("ОСТАНОВ"),
                              ConsoleRig::ConnectedMs);
    rig.chooseProduct("Сахар");
    rig.enter("productWeightK310_11", "10");

    rig.click("startButton");
    QVERIFY(rig.operatorAtPanel().shown.last().contains("НПВ"));
    QCOMPARE(rig.records().select("SELECT COUNT(*) FROM butch"), QStringList {"0"});

    rig.click("k310SettingsButton");
    QTRY_VERIFY(!rig.doserDialog()->weightNPV->text().isEmpty());
    rig.doserDialog()->hide();
    rig.click("startButton");
    QCOMPARE(rig.operatorAtPanel().shown.last(), NewWork);
}

void tst_BatchWorkflow::exitDuringABatchAsksAndJournalsTheStop()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.startConsole();
    rig.waitForDoser();
    rig.prepareBatch("Мука", "100");
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    waitForWorkInProgress(rig, start);

    // "Нет" leaves the batch at work: no stop order, the window stays.
    const int stops = rig.requestsSeen(K310Protocol::StopWork);
    rig.click("exitButton");
    QCOMPARE(rig.operatorAtPanel().shown.count(ExitQuestion), 1);
    QVERIFY(rig.console()->isVisible());
    QVERIFY(rig.isEnabled("stopButton"));
    QCOMPARE(rig.requestsSeen(K310Protocol::StopWork), stops);

    rig.operatorAtPanel().answer(ExitQuestion, Yes);
    rig.click("exitButton");
    QVERIFY(!rig.console()->isVisible());
    QTRY_VERIFY(rig.requestsSeen(K310Protocol::StopWork) > stops);
    rig.closeConsole();
    const QStringList kinds = rig.records().select("SELECT kind FROM event ORDER BY idEvent");
    const qsizetype started = kinds.lastIndexOf(QString::number(JournalEvent::ButchStarted));
    const qsizetype stopped = kinds.lastIndexOf(QString::number(JournalEvent::ButchStopped));
    QVERIFY(started >= 0);
    QVERIFY(stopped > started);
    QVERIFY(kinds.lastIndexOf(QString::number(JournalEvent::ProgramExited)) > stopped);
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (ConsoleRig::isChild())
        return ConsoleRig::runChildBatch();
    tst_BatchWorkflow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batchworkflow.moc"
