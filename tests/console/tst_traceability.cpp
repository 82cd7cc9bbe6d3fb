#include "consolerig.h"
#include "journalevent.h"
#include "k310_halvern.h"

#include <QPushButton>
#include <QTest>

class tst_Traceability : public QObject
{
    Q_OBJECT

private slots:
    void batchWithAnAlarmLeavesItsDosesAndEvents();
};

void tst_Traceability::batchWithAnAlarmLeavesItsDosesAndEvents()
{
    ConsoleRig rig;
    // The second fill finds no product: the doser raises its alarm and the work stops.
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser() << "--error"
                                                        << "8:fill=2"));
    rig.operatorAtPanel().answer("Начать новую работу?", "Да");
    rig.startConsole();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.text("doseFaultPlusK310_11").isEmpty(), ConsoleRig::ConnectedMs);
    rig.prepareBatch("Отруби", "45");
    rig.click("startButton");

    auto *continueButton = rig.console()->findChild<QPushButton *>("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(continueButton->isEnabled(), ConsoleRig::BatchMs);
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains("Задание выполнено"),
                             ConsoleRig::BatchMs);
    rig.click("exitButton");
    rig.closeConsole();

    const QStringList task = rig.records().select("SELECT haveDoneWeight, idButch FROM task");
    QCOMPARE(rig.countedDoseRows(task.value(1)), ConsoleRig::hundredths(task.value(0)));
    QVERIFY(
        rig.records().select("SELECT COUNT(*) FROM dose WHERE orderedWeight != ''").value(0).toInt()
        >= 2);

    const QStringList kinds = rig.records().select(
        "SELECT kind FROM event WHERE idButch = (SELECT idButch FROM task) ORDER BY idEvent");
    auto kindAt = [&kinds](JournalEvent::Kind kind) {
        return kinds.indexOf(QString::number(kind));
    };
    QVERIFY(kindAt(JournalEvent::ButchStarted) >= 0);
    QVERIFY(kindAt(JournalEvent::DoserAlarm) > kindAt(JournalEvent::ButchStarted));
    QVERIFY(kindAt(JournalEvent::ButchStopped) > kindAt(JournalEvent::ButchStarted));
    QVERIFY(kindAt(JournalEvent::ButchContinued) > kindAt(JournalEvent::ButchStopped));
    QCOMPARE(kinds.last(), QString::number(JournalEvent::ButchFinished));
    QCOMPARE(rig.records().select("SELECT errorCode FROM event WHERE kind = ?1",
                                  {QString::number(JournalEvent::DoserAlarm)}),
             QStringList {"8"});
    QCOMPARE(rig.records().select("SELECT COUNT(*) FROM event WHERE kind = ?1",
                                  {QString::number(JournalEvent::ProgramExited)}),
             QStringList {"1"});
}

QTEST_MAIN(tst_Traceability)
#include "tst_traceability.moc"
