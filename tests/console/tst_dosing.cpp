// Dosing beyond the doser's own rule, through the whole console and the simulated doser: the
// options switched on in their dialog, a doser that misses its fills, a line that loses replies.
#include "consolerig.h"
#include "dialogcheck.h"
#include "doseoptions.h"
#include "journalevent.h"
#include "k310_halvern.h"
#include "k310settings.h"
#include "lineeditembedded.h"

#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

namespace {

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString Done = QStringLiteral("Задание выполнено");
const QString Yes = QStringLiteral("Да");
// Between an automatic stop and the operator's touch on "Продолжить задание".
constexpr int OperatorMs = 300;

// Switches options on in the doser dialog's "Параметры дозирования" and types their figures, as
// an engineer does.
void switchOn(ConsoleRig &rig, const QStringList &boxes,
              const QList<QPair<QString, QString>> &figures = {})
{
    rig.click("k310SettingsButton");
    rig.doserDialog()->findChild<QPushButton *>("doseOptionsButton")->click();
    auto *dialog = rig.doserDialog()->findChild<QDialog *>("doseOptionsForm");
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(DialogCheck::layoutFault(dialog), QString());
    DialogCheck::saveScreenshot(dialog, QStringLiteral("doseOptions"));
    for (const QString &box : boxes)
        dialog->findChild<QCheckBox *>(box)->setChecked(true);
    for (const auto &[field, text] : figures)
        dialog->findChild<LineEditEmbedded *>(field)->acceptKeyboardText(text);
    dialog->findChild<QPushButton *>("saveButton")->click();
    rig.doserDialog()->hide();
}

// Starts the batch, again when the doser was taken as lost at the touch.
bool startBatch(ConsoleRig &rig)
{
    for (int touch = 0; touch < 10; ++touch) {
        rig.click("startButton");
        if (QTest::qWaitFor([&] { return rig.isEnabled("stopButton"); }, 2 * OperatorMs))
            return true;
    }
    return false;
}

// Continues after every automatic stop until the batch is done.
void runToTheEnd(ConsoleRig &rig)
{
    QElapsedTimer clock;
    clock.start();
    while (!rig.operatorAtPanel().shown.contains(Done) && clock.elapsed() < ConsoleRig::BatchMs) {
        if (!rig.isEnabled("stopButton") && rig.isEnabled("continueButton"))
            rig.click("continueButton");
        QTest::qWait(OperatorMs);
    }
}

} // namespace

class tst_Dosing : public QObject
{
    Q_OBJECT

private slots:
    void erringDoserIsCorrectedInTheFewestFillsAndTheCorrectionReset();
    void lostReadsAreAskedAgainSoTheBatchRunsUnattended();
    void preciseIsSwitchedOnWithALastShareWithinItsRange();
};

void tst_Dosing::erringDoserIsCorrectedInTheFewestFillsAndTheCorrectionReset()
{
    ConsoleRig rig;
    // Every fill 4 % over: 0.96 on a fill of 24, within three tolerances of 0.50.
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser() << "--fill-error"
                                                        << "4"));
    rig.startConsole();
    rig.waitForDoser();
    // A count out of its range is not taken; the share is.
    switchOn(rig, {"correctionBox", "fewestCyclesBox"},
             {{"correctionDosesBox", "25"}, {"fillShareBox", "0.6"}});
    const DoseOptions saved = DoseOptions::load(*k310Settings::makeStore());
    QVERIFY(saved.correction && saved.fewestCycles);
    QCOMPARE(saved.correctionDoses, 4);
    QCOMPARE(saved.fillShare, 0.6);
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.prepareBatch(QStringLiteral("Пшеница"), QStringLiteral("120"));
    const int from = rig.doser().logLines().size();
    rig.click("startButton");
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    // 120 at 0.6 of 30: seven fills of 17.14, each after the first sent less for the miss.
    const QStringList rows =
        rig.records().select("SELECT orderedWeight, dischargedWeight, correction FROM dose "
                             "WHERE orderedWeight != '' ORDER BY idDose");
    QCOMPARE(rows.size(), 7 * 3);
    QCOMPARE(rows.at(0), QStringLiteral("17.14"));
    QCOMPARE(rows.at(2).toDouble(), 0.0);
    const QStringList sent = rig.loggedWeights(QStringLiteral("fill"), from);
    QCOMPARE(sent.size(), 7);
    QCOMPARE(sent.first(), QStringLiteral("17.14"));
    // The last fill lands within 0.12 of its order, where the doser alone misses by 0.6.
    const qint64 lastMiss =
        ConsoleRig::hundredths(rows.at(19)) - ConsoleRig::hundredths(rows.at(18));
    QVERIFY2(qAbs(lastMiss) <= 12, qPrintable(rows.mid(18).join(' ')));
    QVERIFY2(ConsoleRig::hundredths(sent.last()) < ConsoleRig::hundredths(rows.at(18)) - 40,
             qPrintable(sent.last()));
    const double correction = rows.at(20).toDouble();
    QVERIFY2(correction > 0.03 && correction < 0.045, qPrintable(rows.at(20)));
    const QStringList delivered =
        rig.records().select("SELECT taskWeight, haveDoneWeight FROM task ORDER BY idButch DESC");
    QVERIFY(qAbs(ConsoleRig::hundredths(delivered.at(1)) - 12000) < 50);

    // The doser dialog shows what was learned of the product, and a reset forgets it.
    rig.click("k310SettingsButton");
    const QLineEdit *shown = rig.doserDialog()->findChild<QLineEdit *>("doseCorrection");
    QVERIFY2(shown->text().startsWith(QLatin1String("-3.")), qPrintable(shown->text()));
    rig.doserDialog()->findChild<QPushButton *>("resetCorrectionButton")->click();
    QCOMPARE(shown->text(), QStringLiteral("нет"));
    QCOMPARE(rig.records().select("SELECT count(*) FROM doseCorrection"), QStringList {"0"});
    // Both changes are in the journal with what was before.
    QTRY_COMPARE(rig.records()
                     .select("SELECT count(*) FROM event WHERE text LIKE '%параметры "
                             "дозирования: было выключены%' OR text LIKE '%поправка дозы "
                             "(Пшеница): было -3.%'")
                     .value(0),
                 QStringLiteral("2"));
}

void tst_Dosing::lostReadsAreAskedAgainSoTheBatchRunsUnattended()
{
    ConsoleRig rig;
    // Every 25th reply lost, where it answers a read: the line bites within seconds, but never
    // twice running.
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser() << "--fault"
                                                        << "drop:every=25,reads"));
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.operatorAtPanel().answer(Restore, Yes);
    rig.startConsole();
    rig.waitForDoser();
    rig.prepareBatch(QStringLiteral("Мука"), QStringLiteral("60"));
    const int from = rig.doser().logLines().size();

    // As specified, a lost read takes the doser as lost and the batch stops.
    QVERIFY(startBatch(rig));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.isEnabled("stopButton") && rig.isEnabled("continueButton"),
                             ConsoleRig::BatchMs);

    // Back on the line, the doser's batch is offered again. The dialog's own reads may still
    // meet the line once before the option is saved.
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Restore), ConsoleRig::BatchMs);
    switchOn(rig, {"repeatReadsBox"});
    QTest::qWait(ConsoleRig::ConnectedMs / 2);
    const QString losses = QStringLiteral("SELECT count(*) FROM event WHERE kind = %1")
                               .arg(int(JournalEvent::ConnectionLost));
    const QString lostBefore = rig.records().select(losses).value(0);
    const int dropped = rig.doserLog("(dropped").size();
    runToTheEnd(rig);
    QVERIFY(rig.operatorAtPanel().shown.contains(Done));
    // The line went on losing replies, and the doser was never taken as lost for it. (A batch
    // of 60 meets the drop about six times; where the count was read varies by a few.)
    QVERIFY2(rig.doserLog("(dropped").size() > dropped + 3,
             qPrintable(QString::number(rig.doserLog("(dropped").size())));
    QTest::qWait(ConsoleRig::ConnectedMs / 5);
    QCOMPARE(rig.records().select(losses).value(0), lostBefore);

    // Nothing lost or counted twice on the way.
    const QStringList task =
        rig.records().select("SELECT taskWeight, haveDoneWeight, idButch FROM task");
    const qint64 delivered = ConsoleRig::hundredths(task.value(1));
    QVERIFY(6000 - delivered < 50);
    QCOMPARE(delivered, rig.countableDischarges(from, QStringLiteral("0.50")));
    QCOMPARE(rig.countedDoseRows(task.value(2)), delivered);
}

void tst_Dosing::preciseIsSwitchedOnWithALastShareWithinItsRange()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    rig.startConsole();
    rig.waitForDoser();
    switchOn(rig, {"preciseBox"}, {{"lastFillShareBox", "0,1"}, {"lastFillShareBox", "0.6"}});
    const DoseOptions saved = DoseOptions::load(*k310Settings::makeStore());
    QVERIFY(saved.precise && !saved.fewestCycles);
    QCOMPARE(saved.lastFillShare, 0.1);
}

QTEST_MAIN(tst_Dosing)
#include "tst_dosing.moc"
