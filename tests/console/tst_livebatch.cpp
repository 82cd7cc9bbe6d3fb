// What the operator sees of a batch while it runs: the hopper's weight, the progress and the
// trend, through the whole console against the simulated doser.
#include "batchprogressview.h"
#include "butchreport.h"
#include "consolerig.h"
#include "cyclerecords.h"
#include "dialogcheck.h"
#include "k310_halvern.h"
#include "trendchart.h"
#include "trendwindow.h"

#include <QAreaSeries>
#include <QLabel>
#include <QLineSeries>
#include <QProgressBar>
#include <QScatterSeries>
#include <QTest>

namespace {

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Done = QStringLiteral("Задание выполнено");

// What the process image showed of each fill and of the batch as it went.
struct Watch
{
    QList<QList<double>> fills;
    QList<double> delivered;
    QList<int> doseNumbers;
    QList<int> planned;
    bool wasFilling = false;
};

} // namespace

class tst_LiveBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hopperFillsProgressAndTrendAreSeenDuringTheBatch();
};

void tst_LiveBatch::initTestCase()
{
    // The program's look, for the README's pictures.
    DialogCheck::useConsoleLook();
}

void tst_LiveBatch::hopperFillsProgressAndTrendAreSeenDuringTheBatch()
{
    ConsoleRig rig;
    QVERIFY(rig.startSimulator(ConsoleRig::quickDoser()));
    K310_Halvern *console = rig.startConsole();
    rig.waitForDoser();
    rig.click("trendButton");
    TrendWindow *trend = console->trendWindowShown();
    QVERIFY(trend && trend->isVisible());

    Watch watch;
    const ProcessImage &image = console->processImage();
    QObject::connect(&image, &ProcessImage::changed, console, [&](int) {
        const DoserImage &doser = image.doser(0);
        const BatchProgress &batch = doser.batch;
        if (batch.butchId == 0)
            return;
        const bool filling = batch.phase == DosePhase::Filling;
        if (filling && !watch.wasFilling)
            watch.fills.append(QList<double>());
        if (filling
            && (watch.fills.last().isEmpty() || watch.fills.last().last() != doser.netWeight.value))
            watch.fills.last().append(doser.netWeight.value);
        watch.wasFilling = filling;
        if (watch.delivered.isEmpty() || watch.delivered.last() != batch.delivered.value)
            watch.delivered.append(batch.delivered.value);
        if (watch.doseNumbers.isEmpty() || watch.doseNumbers.last() != batch.doseNumber)
            watch.doseNumbers.append(batch.doseNumber);
        watch.planned.append(batch.plannedDoses);
    });

    rig.operatorAtPanel().answer(NewWork, QStringLiteral("Да"));
    // 70 at a limit of 30: several fills.
    rig.prepareBatch(QStringLiteral("Пшеница"), QStringLiteral("70"));
    const int start = rig.doser().logLines().size();
    rig.click("startButton");
    // The panel is locked for the batch, its values are not greyed out.
    QLabel *weight = rig.label("stateK310_12");
    QVERIFY(!weight->isEnabled());
    QCOMPARE(weight->palette().color(QPalette::Disabled, QPalette::WindowText),
             weight->palette().color(QPalette::Active, QPalette::WindowText));
    auto *progress = console->findChild<BatchProgressView *>();
    QVERIFY(progress && progress->isEnabled());
    // The lot option is off: nothing was asked before the batch, and it has no lot.
    QVERIFY(rig.operatorAtPanel().offered.isEmpty());
    QVERIFY(console->processImage().doser(0).batch.lot.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(console->findChild<QProgressBar *>()->value() > 0,
                             ConsoleRig::BatchMs);
    // The second fill well under way: its hopper emptied, then rising again.
    const auto secondFillRising = [&] {
        if (watch.fills.size() < 2)
            return false;
        const QList<double> &fill = watch.fills.last();
        const qsizetype emptied =
            std::find_if(fill.cbegin(), fill.cend(), [](double weight) { return weight < 1; })
            - fill.cbegin();
        return emptied < fill.size() && fill.last() > 8;
    };
    QTRY_VERIFY_WITH_TIMEOUT(secondFillRising(), ConsoleRig::BatchMs);
    QVERIFY(!DialogCheck::saveScreenshot(console, QStringLiteral("live-batch")).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(rig.operatorAtPanel().shown.contains(Done), ConsoleRig::BatchMs);

    const QStringList fills = rig.loggedWeights("fill", start);
    const QStringList discharges = rig.loggedWeights("discharge", start);
    QVERIFY(fills.size() >= 3);
    // Every fill was seen rising in the hopper, not just its end.
    QCOMPARE(watch.fills.size(), fills.size());
    for (int i = 0; i < fills.size(); ++i) {
        const QList<double> &seen = watch.fills.at(i);
        QVERIFY2(seen.size() >= 4, qPrintable(QString::number(seen.size())));
        QVERIFY2(seen.last() > 0.6 * fills.at(i).toDouble(),
                 qPrintable(QStringLiteral("%1 of %2").arg(seen.last()).arg(fills.at(i))));
    }
    // The progress went forward only, and the plan held from the first fill.
    QVERIFY(std::is_sorted(watch.delivered.cbegin(), watch.delivered.cend()));
    QVERIFY(watch.delivered.last() > 69.4);
    QCOMPARE(watch.doseNumbers.last(), fills.size());
    QCOMPARE(watch.planned.last(), fills.size());
    QVERIFY(watch.planned.count(int(fills.size())) > watch.planned.size() / 2);

    // The trend holds each cycle: the ordered doses, the band around them, the discharges
    // counted as the doser weighed them.
    QTRY_COMPARE(trend->chart()->counted()->count(), fills.size());
    TrendChart *chart = trend->chart();
    QCOMPARE(chart->ordered()->count(), 2 * fills.size());
    QCOMPARE(chart->tolerance()->upperSeries()->count(), 2 * fills.size());
    QVERIFY(chart->weight()->count() > 4 * fills.size());
    QTest::qWait(TrendWindow::RedrawMs);
    QVERIFY(!DialogCheck::saveScreenshot(trend, QStringLiteral("trend")).isEmpty());
    for (const QPointF &mark : chart->counted()->points())
        QVERIFY2(discharges.contains(QString::number(mark.y(), 'f', 2)),
                 qPrintable(QString::number(mark.y())));
    for (const QPointF &level : chart->ordered()->points())
        QVERIFY(fills.contains(QString::number(level.y(), 'f', 2)));

    // data.db keeps the cycles with the batch; the report draws them.
    const qint64 butchId = qint64(console->trendRecorder().butchId(0));
    Database records(rig.records().path());
    const QList<CycleTrace> kept = CycleRecords(records).ofTask(butchId, 30);
    int ordered = 0;
    for (const CycleTrace &cycle : kept)
        ordered += cycle.ordered > 0 ? 1 : 0;
    QCOMPARE(ordered, fills.size());
    ButchReport report(records, butchId);
    const QImage page = report.pageImage(0, 1.5);
    QVERIFY(!page.isNull());
    QVERIFY(!DialogCheck::saveImage(page, QStringLiteral("report-with-cycles")).isEmpty());
}

QTEST_MAIN(tst_LiveBatch)
#include "tst_livebatch.moc"
