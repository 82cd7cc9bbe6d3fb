#include "consolerig.h"
#include "dialogcheck.h"
#include "k310_halvern.h"
#include "k310protocol.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString Done = QStringLiteral("Задание выполнено");
const QString Yes = QStringLiteral("Да");
const QList<int> Addresses = {30, 31, 32};

// Three quick dosers on one pseudo-terminal, known to the console as its line.
QStringList lineOfThree(const QStringList &more = {})
{
    return ConsoleRig::quickDoser() << "--address"
                                    << "30,31,32" << more;
}

void waitForLine(ConsoleRig &rig)
{
    rig.waitForDoser();
    const ProcessImage &image = rig.console()->processImage();
    QTRY_VERIFY_WITH_TIMEOUT(image.doserCount() == 3 && !image.doser(1).unit.isEmpty()
                                 && !image.doser(2).unit.isEmpty(),
                             ConsoleRig::ConnectedMs);
}

void prepareThree(ConsoleRig &rig, const QStringList &targets)
{
    const QStringList products = {"Мука", "Сахар", "Соль"};
    for (int position = 0; position < 3; ++position)
        rig.prepareBatch(products.at(position), targets.at(position), position);
}

// Each task holds exactly what its doser discharged since the start, residues aside, and its
// dose rows add up to it.
void verifyEveryTask(ConsoleRig &rig, int fromLine)
{
    for (int address : Addresses) {
        const QStringList task =
            rig.records().select(QStringLiteral("SELECT haveDoneWeight, taskWeight, endTime "
                                                "FROM task WHERE deviceId = %1")
                                     .arg(address));
        QCOMPARE(task.size(), 3);
        QVERIFY2(qAbs(ConsoleRig::hundredths(task.at(0)) - ConsoleRig::hundredths(task.at(1)))
                     <= 50,
                 qPrintable(task.join(' ')));
        QCOMPARE(ConsoleRig::hundredths(task.at(0)),
                 rig.countableDischarges(fromLine, "0.50", address));
        QVERIFY(!task.at(2).trimmed().isEmpty());
        const QString counted = rig.records()
                                    .select(QStringLiteral("SELECT sum(dischargedWeight) FROM "
                                                           "dose WHERE counted = 1 AND "
                                                           "deviceId = %1")
                                                .arg(address))
                                    .value(0);
        QCOMPARE(ConsoleRig::hundredths(counted), ConsoleRig::hundredths(task.at(0)));
    }
    QCOMPARE(rig.records().select("SELECT count(*) FROM butch"), QStringList {"1"});
}

} // namespace

class tst_LineBatch : public QObject
{
    Q_OBJECT

private slots:
    // The console's look, as the picture for the README needs.
    void initTestCase() { DialogCheck::useConsoleLook(); }
    void batchAcrossThreeDosersDeliversWhatEachDischarged();
    void silencedDoserStopsTheBatchAndItsReturnLetsItFinish();
    void killedConsoleRestoresEveryTaskOfTheLine();
};

void tst_LineBatch::batchAcrossThreeDosersDeliversWhatEachDischarged()
{
    ConsoleRig rig;
    rig.storeLine(Addresses);
    QVERIFY(rig.startSimulator(lineOfThree()));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.startConsole();
    waitForLine(rig);
    prepareThree(rig, {"40", "25", "12"});
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    // The line at work, the second doser selected, for the README.
    rig.console()->selectDoser(1);
    QTRY_VERIFY_WITH_TIMEOUT(rig.loggedWeights("fill", start, 32).size() >= 1, ConsoleRig::BatchMs);
    QTest::qWait(300);
    QVERIFY(!DialogCheck::saveScreenshot(rig.console(), QStringLiteral("line")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);
    verifyEveryTask(rig, start);
    // The dosers worked side by side: the smallest task did not wait for the largest.
    QVERIFY(!rig.loggedWeights("fill", start, 32).isEmpty());
    const QStringList lines = rig.doser().logLines();
    int firstFillOf32 = -1;
    int lastFillOf30 = -1;
    for (int i = start; i < lines.size(); ++i) {
        if (lines.at(i).contains("doser 32: fill of") && firstFillOf32 < 0)
            firstFillOf32 = i;
        if (lines.at(i).contains("doser 30: fill of"))
            lastFillOf30 = i;
    }
    QVERIFY(firstFillOf32 < lastFillOf30);

    // Closing stops every doser on the line, the orders out before the window is gone.
    const int stops = rig.requestsSeen(K310Protocol::StopWork);
    rig.console()->close();
    rig.closeConsole();
    QTRY_COMPARE(rig.requestsSeen(K310Protocol::StopWork), stops + 3);
}

void tst_LineBatch::silencedDoserStopsTheBatchAndItsReturnLetsItFinish()
{
    ConsoleRig rig;
    rig.storeLine(Addresses);
    // 31 falls silent for a while some seconds into its work.
    QVERIFY(rig.startSimulator(lineOfThree({"--fault", "silent:addr=31,at=110,ms=2500"})));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    waitForLine(rig);
    prepareThree(rig, {"50", "70", "40"});
    const int start = rig.doser().logLines().size();
    rig.click("startButton");

    const ProcessImage &image = rig.console()->processImage();
    QTRY_COMPARE_WITH_TIMEOUT(image.doser(1).state, DoserState::NoConnection, ConsoleRig::BatchMs);
    // The whole batch stands, the others answering all the while.
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    QCOMPARE(image.doser(0).batch.state, BatchState::Stopped);
    QVERIFY(image.doser(0).state != DoserState::NoConnection);
    QVERIFY(!rig.operatorAtPanel().shown.contains(Done));

    // It answers again: the restore is offered and the batch goes on to its end.
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Restore),
                             ConsoleRig::ConnectedMs);
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);
    verifyEveryTask(rig, start);
}

void tst_LineBatch::killedConsoleRestoresEveryTaskOfTheLine()
{
    ConsoleRig rig;
    rig.storeLine(Addresses);
    QVERIFY(rig.startSimulator(lineOfThree()));

    QProcess first;
    const int start = rig.doser().logLines().size();
    QVERIFY(rig.startChildBatch(first, "Мука,Сахар,Соль", "60,45,30"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.loggedWeights("fill", start, 31).size() >= 2, ConsoleRig::BatchMs);
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());

    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    waitForLine(rig);
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);
    verifyEveryTask(rig, start);
}

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (ConsoleRig::isChild())
        return ConsoleRig::runChildBatch();
    tst_LineBatch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linebatch.moc"
