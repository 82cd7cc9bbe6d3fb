#include "batchprogressview.h"
#include "butchreport.h"
#include "consolerig.h"
#include "database.h"
#include "dialogcheck.h"
#include "formulastartdialog.h"
#include "formulastore.h"
#include "journalevent.h"
#include "k310_halvern.h"
#include "k310protocol.h"
#include "k310settings.h"
#include "schedulestore.h"
#include "schedulewindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
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

// Chooses the formula and the size in the start dialog, by touch, and starts.
void startFormula(ConsoleRig &rig, const QString &name, const QString &size)
{
    QTimer::singleShot(300, rig.console(), [name, size] {
        auto *dialog = qobject_cast<FormulaStartDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto *list = dialog->findChild<QListWidget *>("formulaList");
        list->setCurrentItem(list->findItems(name, Qt::MatchExactly).value(0));
        dialog->findChild<LineEditEmbedded *>("sizeBox")->acceptKeyboardText(size);
        DialogCheck::saveScreenshot(dialog, QStringLiteral("formula-start"));
        dialog->findChild<QPushButton *>("startButton")->click();
    });
    rig.click("formulaButton");
}

// The three products and a mix of them, half of it flour, in data.db before the console starts.
bool storeMix(Database &records, const QString &name, const QString &lotPattern)
{
    if (!records.createTables())
        return false;
    for (const char *product : {"Мука", "Сахар", "Соль"})
        records.execQuery(QStringLiteral("INSERT INTO product (productName) VALUES (%1)"),
                          {QString::fromUtf8(product)});
    Formula mix;
    mix.name = name;
    mix.baseSize = 100;
    mix.largestBatch = 40;
    mix.lotPattern = lotPattern;
    mix.components = {{"Мука", 30, 50, 0.5, 0.5, 1},
                      {"Сахар", 31, 30, 0.5, 0.5, 1},
                      {"Соль", 32, 20, 0.5, 0.5, 1}};
    return FormulaStore(records).save(mix).isDone();
}

// One entry of the schedule as the technologist enters it in its window.
struct ScheduleInput
{
    int kind;
    QString what;
    int doser;
    QString size;
    QString count;
    QString lot;
    QString pattern;
};

// Opens the list and touches its row.
void touchRow(QComboBox *box, int row)
{
    QTest::mouseClick(box, Qt::LeftButton);
    QAbstractItemView *rows = box->view();
    QTRY_VERIFY(rows->isVisible());
    const QRect shown = rows->visualRect(box->model()->index(row, 0));
    QTest::mouseMove(rows->viewport(), shown.center());
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, shown.center());
    QTRY_VERIFY(!rows->isVisible());
    QCOMPARE(box->currentIndex(), row);
}

void addScheduleEntry(ScheduleWindow *window, const ScheduleInput &input)
{
    touchRow(window->findChild<QComboBox *>("kindBox"), input.kind);
    auto *what = window->findChild<QComboBox *>("whatBox");
    touchRow(what, what->findText(input.what));
    if (input.doser != 0) {
        auto *doser = window->findChild<QComboBox *>("doserBox");
        touchRow(doser, doser->findData(input.doser));
    }
    const QList<std::pair<const char *, QString>> fields = {{"sizeField", input.size},
                                                            {"countField", input.count},
                                                            {"lotField", input.lot},
                                                            {"patternField", input.pattern}};
    for (const auto &[name, text] : fields)
        window->findChild<LineEditEmbedded *>(name)->acceptKeyboardText(text);
    QTest::mouseClick(window->findChild<QPushButton *>("addButton"), Qt::LeftButton);
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
    void formulaSplitInEqualBatchesKeepsEachComponentWithinItsToleranceAndTheMixItsRatio();
    void scheduleEnteredByTouchRunsOnItsOwnInOrderEachBatchWithItsLot();
    void scheduleCutOffByAKillGoesOnAfterTheRestartWithoutRepeatingAnEntry();
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

void tst_LineBatch::
    formulaSplitInEqualBatchesKeepsEachComponentWithinItsToleranceAndTheMixItsRatio()
{
    ConsoleRig rig;
    rig.storeLine(Addresses);
    // The oil's doser fills 6 % heavy: its small component ends outside its tolerance.
    QVERIFY(rig.startSimulator(lineOfThree({"--fill-error", "0,0,6"})));
    rig.operatorAtPanel().otherwise = Yes;
    {
        Database records(rig.records().path());
        QVERIFY(records.createTables());
        Formula mix;
        mix.name = QStringLiteral("Смесь Б");
        mix.baseSize = 100;
        mix.largestBatch = 60;
        mix.keepRatio = true;
        mix.lotPattern = QStringLiteral("Б-{NNN}");
        mix.components = {{"Мука", 30, 60, 0.5, 0.3, 1},
                          {"Сахар", 31, 25, 0.3, 0.3, 1},
                          {"Соль", 31, 10, 0.2, 0.2, 2},
                          {"Масло", 32, 5, 0.1, 0.1, 1}};
        QVERIFY(FormulaStore(records).save(mix).isDone());
    }
    rig.startConsole();
    waitForLine(rig);
    const int start = rig.doser().logLines().size();
    // The panel of the doser that does the sugar, then the salt.
    rig.console()->selectDoser(1);
    startFormula(rig, QStringLiteral("Смесь Б"), QStringLiteral("100"));
    const auto saltTarget = [&rig] {
        return rig.records()
            .select("SELECT taskWeight FROM task WHERE productName = 'Соль'")
            .value(0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(!saltTarget().isEmpty(), ConsoleRig::BatchMs);
    QTRY_COMPARE(ConsoleRig::hundredths(rig.text("productWeightK310_11")),
                 ConsoleRig::hundredths(saltTarget()));
    // The second batch of the split starts by itself once the first has ended.
    QTRY_VERIFY_WITH_TIMEOUT(rig.records().select("SELECT count(*) FROM butch").value(0) == "2",
                             2 * ConsoleRig::BatchMs);
    QVERIFY(!DialogCheck::saveScreenshot(rig.console(), QStringLiteral("formula-batch")).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rig.operatorAtPanel().shown.count(Done), 2, 2 * ConsoleRig::BatchMs);

    // Two equal batches, each a task per component: the sugar before the salt on their doser,
    // every component at the oil's share of its target and within its own tolerance.
    const QStringList butches = rig.records().select("SELECT idButch, lot FROM butch");
    QCOMPARE(butches.size(), 4);
    QCOMPARE(butches.at(1), QString("Б-001"));
    QCOMPARE(butches.at(3), QString("Б-002"));
    const QHash<QString, double> targets = {
        {"Мука", 30}, {"Сахар", 12.5}, {"Соль", 5}, {"Масло", 2.5}};
    const QHash<QString, double> plus = {
        {"Мука", 0.5}, {"Сахар", 0.3}, {"Соль", 0.2}, {"Масло", 0.1}};
    for (int b = 0; b < 2; ++b) {
        const QStringList tasks = rig.records().select(
            QStringLiteral("SELECT productName, haveDoneWeight FROM task WHERE idButch = %1 "
                           "ORDER BY idTask")
                .arg(butches.at(2 * b)));
        QCOMPARE(tasks.size(), 8);
        QHash<QString, double> delivered;
        QStringList order;
        for (int row = 0; row < 4; ++row) {
            delivered.insert(tasks.at(2 * row), tasks.at(2 * row + 1).toDouble());
            order << tasks.at(2 * row);
        }
        QVERIFY(order.indexOf("Сахар") < order.indexOf("Соль"));
        const double factor = delivered.value("Масло") / targets.value("Масло");
        QVERIFY2(factor > 1.04, qPrintable(QString::number(factor)));
        for (const char *product : {"Мука", "Соль"}) {
            QVERIFY2(qAbs(delivered.value(product) - targets.value(product) * factor)
                         <= plus.value(product) + 0.005,
                     qPrintable(product));
        }
        // The ticket lists every component and marks the oil alone as outside.
        Database records(rig.records().path());
        const ButchReport report(records, butches.at(2 * b).toLongLong());
        const QStringList outside = report.pageText(0).filter(QRegularExpression("\\tнет$"));
        QCOMPARE(outside.size(), 1);
        QVERIFY(outside.first().startsWith("Масло"));
    }
    // What each doser discharged is what its tasks hold.
    for (int address : Addresses) {
        const QStringList done = rig.records().select(
            QStringLiteral("SELECT sum(haveDoneWeight) FROM task WHERE deviceId = %1")
                .arg(address));
        QCOMPARE(ConsoleRig::hundredths(done.value(0)),
                 rig.countableDischarges(start, "0.10", address));
    }
}

void tst_LineBatch::scheduleEnteredByTouchRunsOnItsOwnInOrderEachBatchWithItsLot()
{
    ConsoleRig rig;
    rig.storeLine(Addresses);
    QVERIFY(rig.startSimulator(lineOfThree()));
    // Any question between batches is answered "Нет", which would stop the schedule.
    rig.operatorAtPanel().answer(NewWork, Yes);
    {
        Database records(rig.records().path());
        QVERIFY(storeMix(records, QStringLiteral("Смесь В"), QStringLiteral("В-{NNN}")));
    }
    rig.startConsole();
    waitForLine(rig);

    bool entered = false;
    QString strip;
    QTimer::singleShot(300, rig.console(), [&entered, &rig, &strip] {
        auto *window = qobject_cast<ScheduleWindow *>(QApplication::activeModalWidget());
        QVERIFY(window);
        // A formula by its pattern, a product on the middle doser with a typed lot, the formula
        // again twice by a pattern of the entry's own.
        addScheduleEntry(window, {0, "Смесь В", 0, "20", "1", "", ""});
        addScheduleEntry(window, {1, "Сахар", 31, "8", "1", "С-77", ""});
        addScheduleEntry(window, {0, "Смесь В", 0, "10", "2", "", "Г-{NNN}"});
        QTest::mouseClick(window->findChild<QCheckBox *>("automaticBox"), Qt::LeftButton);
        DialogCheck::saveScreenshot(window, QStringLiteral("schedule"));
        QTest::mouseClick(window->findChild<QPushButton *>("startButton"), Qt::LeftButton);
        // The row above the bar is cut to fit; its whole text is its tooltip.
        for (QLabel *label :
             rig.console()->findChild<BatchProgressView *>()->findChildren<QLabel *>())
            strip += label->toolTip();
        QTest::mouseClick(window->findChild<QPushButton *>("closeButton"), Qt::LeftButton);
        entered = true;
    });
    rig.click("scheduleButton");
    QVERIFY(entered);
    // The strip tells where the schedule stands: the first of three entries.
    QVERIFY2(strip.contains("1 из 3"), qPrintable(strip));
    QVERIFY(k310Settings::makeStore()->value("schedule/automatic").toBool());
    // Each entry added and the schedule's going on by itself are in the journal, with a lot where
    // an entry had one of its own.
    QTRY_COMPARE(rig.records()
                     .select("SELECT count(*) FROM event WHERE kind = ?1",
                             {QString::number(JournalEvent::SettingChanged)})
                     .value(0),
                 QString("4"));
    QVERIFY(rig.records()
                .select("SELECT text FROM event WHERE kind = ?1",
                        {QString::number(JournalEvent::SettingChanged)})
                .join(' ')
                .contains("С-77"));

    const auto allEnded = [&rig] {
        return rig.records().select("SELECT count(*) FROM butch WHERE endTime != ''").value(0)
               == "4";
    };
    QTRY_VERIFY_WITH_TIMEOUT(allEnded(), 4 * ConsoleRig::BatchMs);

    // Each batch opened for its entry, in the entries' order, with the entry's lot.
    const QStringList batches = rig.records().select(
        "SELECT s.idEntry, b.lot FROM butch b JOIN scheduleButch s ON s.idButch = b.idButch "
        "ORDER BY b.idButch");
    QCOMPARE(batches.size(), 8);
    QCOMPARE(batches.at(1), QString("В-001"));
    QCOMPARE(batches.at(3), QString("С-77"));
    QCOMPARE(batches.at(5), QString("Г-001"));
    QCOMPARE(batches.at(7), QString("Г-002"));
    QVERIFY(batches.at(0).toLongLong() < batches.at(2).toLongLong());
    QVERIFY(batches.at(2).toLongLong() < batches.at(4).toLongLong());
    QCOMPARE(batches.at(4), batches.at(6));
    // The product's batch is one task, on its doser.
    const QStringList productTasks = rig.records().select(
        "SELECT t.deviceId, t.productName FROM task t JOIN scheduleButch s ON s.idButch = "
        "t.idButch WHERE s.idEntry = ?1",
        {batches.at(2)});
    QCOMPARE(productTasks, QStringList({"31", "Сахар"}));

    Database records(rig.records().path());
    const QList<ScheduleEntry> entries = ScheduleStore(records).entries();
    QCOMPARE(entries.size(), 3);
    for (const ScheduleEntry &entry : entries) {
        QCOMPARE(entry.state, ScheduleEntry::State::Done);
        QCOMPARE(entry.done, entry.count);
    }
}

void tst_LineBatch::scheduleCutOffByAKillGoesOnAfterTheRestartWithoutRepeatingAnEntry()
{
    ConsoleRig rig;
    rig.storeLine(Addresses);
    QVERIFY(rig.startSimulator(lineOfThree()));
    qint64 second = 0;
    {
        Database records(rig.records().path());
        const QString mix = QStringLiteral("Смесь Г");
        QVERIFY(storeMix(records, mix, QStringLiteral("Г-{NNN}")));
        ScheduleStore schedule(records);
        QList<ScheduleEntry> entries(3);
        entries[0].formulaName = mix;
        entries[0].size = QStringLiteral("20");
        entries[1].productName = QStringLiteral("Сахар");
        entries[1].deviceId = 31;
        entries[1].size = QStringLiteral("6");
        entries[1].count = 2;
        entries[1].lotPattern = QStringLiteral("С-{NN}");
        entries[2].formulaName = mix;
        entries[2].size = QStringLiteral("10");
        for (ScheduleEntry &entry : entries)
            QVERIFY(schedule.add(entry).isDone());
        second = entries.at(1).id;
    }
    k310Settings::makeStore()->setValue("schedule/automatic", true);

    // The kill falls in the second entry's first batch, with sugar going into the hopper.
    QProcess first;
    const int start = rig.doser().logLines().size();
    QVERIFY(rig.startChildBatch(first, QString(), QString()));
    const auto batchesOf = [&rig](qint64 entry) {
        return rig.records()
            .select("SELECT count(*) FROM scheduleButch WHERE idEntry = ?1",
                    {QString::number(entry)})
            .value(0)
            .toInt();
    };
    QTRY_VERIFY_WITH_TIMEOUT(batchesOf(second) == 1, 2 * ConsoleRig::BatchMs);
    const int inSecond = rig.doser().logLines().size();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.loggedWeights("fill", inSecond, 31).isEmpty(),
                             ConsoleRig::BatchMs);
    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());

    // Going on with the restored batch at the panel goes on with the schedule.
    rig.operatorAtPanel().answer(Restore, Yes);
    rig.operatorAtPanel().answer(NewWork, Yes);
    rig.startConsole();
    waitForLine(rig);
    QTRY_VERIFY(rig.isEnabled("continueButton"));
    rig.click("continueButton");
    QTRY_VERIFY_WITH_TIMEOUT(
        rig.records().select("SELECT count(*) FROM butch WHERE endTime != ''").value(0) == "4",
        4 * ConsoleRig::BatchMs);

    const QStringList batches = rig.records().select(
        "SELECT s.idEntry, b.lot FROM butch b JOIN scheduleButch s ON s.idButch = b.idButch "
        "ORDER BY b.idButch");
    QCOMPARE(batches.size(), 8);
    QCOMPARE(batches.at(1), QString("Г-001"));
    QCOMPARE(batches.at(2).toLongLong(), second);
    QCOMPARE(batches.at(3), QString("С-01"));
    QCOMPARE(batches.at(4).toLongLong(), second);
    QCOMPARE(batches.at(5), QString("С-02"));
    QCOMPARE(batches.at(7), QString("Г-002"));
    Database records(rig.records().path());
    for (const ScheduleEntry &entry : ScheduleStore(records).entries()) {
        QCOMPARE(entry.state, ScheduleEntry::State::Done);
        QCOMPARE(entry.done, entry.count);
    }
    // Every doser's tasks hold what it discharged: no batch of an entry ran twice.
    for (int address : Addresses) {
        const QString held =
            rig.records()
                .select(QStringLiteral("SELECT sum(haveDoneWeight) FROM task WHERE deviceId = %1")
                            .arg(address))
                .value(0);
        QCOMPARE(ConsoleRig::hundredths(held), rig.countableDischarges(start, "0.50", address));
    }
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
