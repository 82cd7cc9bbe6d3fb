#include "consolerig.h"
#include "k310_halvern.h"
#include "k310protocol.h"
#include "k310settings.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

namespace {

const QString NoConnection = QStringLiteral("НЕТ СВЯЗИ");
const QString Stopped = QStringLiteral("ОСТАНОВ");

double shownWeight(ConsoleRig &rig)
{
    return rig.text("stateK310_12").toDouble();
}

} // namespace

class tst_ConsoleSupervision : public QObject
{
    Q_OBJECT

private slots:
    void firstStartShowsTheLiveDoserAtItsStoredNumber();
    void lostDoserIsProbedUntilItAnswersAndThenReadAgain();
    void flappingLineLeavesTheDoserSupervised();
    void exitSendsTheStopRequest();
};

void tst_ConsoleSupervision::firstStartShowsTheLiveDoserAtItsStoredNumber()
{
    ConsoleRig rig;
    rig.storeDoserNumber(7);
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser() << "--address"
                                                        << "7"
                                                        << "--error"
                                                        << "8:fill=2"));
    QVERIFY(!QFile::exists(rig.records().path()));
    rig.startConsole();

    QVERIFY(rig.operatorAtPanel().shown.isEmpty());
    QCOMPARE(rig.records()
                 .select("SELECT name FROM sqlite_master WHERE type = 'table' AND name IN "
                         "('admin', 'product', 'butch', 'task') ORDER BY name")
                 .join(' '),
             QString("admin butch product task"));
    auto *panel = rig.console()->findChild<QGroupBox *>("containerK310_11");
    QVERIFY(panel->title().contains(" 7 - "));

    // Answers come only from the doser the console addresses.
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("stateK310_11"), Stopped, ConsoleRig::ConnectedMs);
    QTRY_VERIFY(!rig.text("weightlabel_9").isEmpty());
    // A fill by hand is held against the upper weighing limit: the doser must have told it.
    rig.waitForDoser();
    rig.enter("productWeightK310_11", "5");
    QCOMPARE(rig.text("productWeightK310_11"), QString("5.00"));
    rig.click("downloadDoseButton");
    QLabel *state = rig.label("stateK310_11");
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), QString("РАБОТА"), ConsoleRig::ConnectedMs);
    QCOMPARE(state->palette().color(QPalette::WindowText), QColor(25, 140, 25));
    QTRY_VERIFY_WITH_TIMEOUT(shownWeight(rig) > 4.5, 10000);
    // The panel draws what the process image holds.
    const DoserImage &image = rig.console()->processImage().doser(0);
    QCOMPARE(image.deviceId, 7);
    QTRY_COMPARE(image.netWeight.text(), rig.text("stateK310_12"));
    rig.click("uploadDoseButton");
    QTRY_VERIFY_WITH_TIMEOUT(shownWeight(rig) < 0.1, 10000);

    // The second fill finds no product: the alarm is shown in red.
    rig.click("downloadDoseButton");
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), QString("АВАРИЯ"), ConsoleRig::ConnectedMs);
    QCOMPARE(state->palette().color(QPalette::WindowText), QColor(212, 54, 56));
    QCOMPARE(image.state, DoserState::Alarm);
}

void tst_ConsoleSupervision::lostDoserIsProbedUntilItAnswersAndThenReadAgain()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.startConsole();
    k310Settings *dialog = rig.doserDialog();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->weightNPV->text().isEmpty(), ConsoleRig::ConnectedMs);
    QLabel *state = rig.label("stateK310_11");
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), Stopped, ConsoleRig::ConnectedMs);

    rig.doser().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), NoConnection, 1000);
    QCOMPARE(state->palette().color(QPalette::WindowText), QColor(212, 54, 56));
    QVERIFY(dialog->weightNPV->text().isEmpty());

    // While lost, only the probe every 500 ms goes out, not the weight and counter polls.
    const int before = rig.doserLog("cable unplugged").size();
    QTest::qWait(3000);
    const int probes = rig.doserLog("cable unplugged").size() - before;
    QVERIFY2(probes >= 4 && probes <= 8, qPrintable(QString::number(probes)));

    rig.doser().plugIn();
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), Stopped, ConsoleRig::ConnectedMs);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->weightNPV->text().isEmpty(), ConsoleRig::ConnectedMs);
    QVERIFY(rig.operatorAtPanel().shown.isEmpty());
}

void tst_ConsoleSupervision::flappingLineLeavesTheDoserSupervised()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.startConsole();
    QLabel *state = rig.label("stateK310_11");
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), Stopped, ConsoleRig::ConnectedMs);

    for (int flap = 0; flap < 6; ++flap) {
        rig.doser().unplug();
        QTest::qWait(150 + 70 * flap);
        rig.doser().plugIn();
        QTest::qWait(120 + 50 * flap);
    }
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), Stopped, ConsoleRig::ConnectedMs);
    rig.doser().unplug();
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), NoConnection, 1000);
    rig.doser().plugIn();
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), Stopped, ConsoleRig::ConnectedMs);
}

void tst_ConsoleSupervision::exitSendsTheStopRequest()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.startConsole();
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("stateK310_11"), Stopped, ConsoleRig::ConnectedMs);
    const int stopsBefore = rig.requestsSeen(K310Protocol::StopWork);

    rig.click("exitButton");
    QVERIFY(!rig.console()->isVisible());
    QTRY_COMPARE(rig.requestsSeen(K310Protocol::StopWork), stopsBefore + 1);
}

QTEST_MAIN(tst_ConsoleSupervision)
#include "tst_consolesupervision.moc"
