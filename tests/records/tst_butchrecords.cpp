#include "butchrecords.h"
#include "database.h"
#include "doserecords.h"
#include "summaryfigures.h"
#include "temporarydatabase.h"

#include <QTest>

#include <sqlite3.h>

#include <memory>

namespace {

constexpr int Doser = 30;
// Far more doses than one page of the file holds.
constexpr int MaxFillerDoses = 1000;

DoseRecord doseOf(qint64 butch)
{
    DoseRecord dose;
    dose.butchId = butch;
    dose.deviceId = Doser;
    dose.orderedWeight = QStringLiteral("10.00");
    dose.dischargedWeight = QStringLiteral("10.00");
    dose.unit = QStringLiteral("кг");
    dose.decimals = 2;
    return dose;
}

QString rowsOf(TemporaryDatabase &records, const QString &table, qint64 butch)
{
    return records
        .select(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE idButch = ?1").arg(table),
                {QString::number(butch)})
        .value(0);
}

DoseRecord doseOf(qint64 butch, const QString &ordered, const QString &discharged,
                  const QString &unit, int decimals)
{
    const QString tolerance = QStringLiteral("0.50");
    return {butch,    Doser, 0,         {},        ordered, discharged, unit,
            decimals, true,  tolerance, tolerance, 0,       0};
}

// The ranges of batches whose summaries do not give what their rows give.
QStringList differingRanges(DaySummaries &summaries, const QList<std::pair<qint64, qint64>> &ranges)
{
    QStringList differing;
    for (const auto &[first, last] : ranges) {
        const QStringList summarized = figuresOfSummaries(summaries, first, last);
        const QStringList rows = figuresOfRows(summaries, first, last);
        if (summarized != rows || rows.isEmpty())
            differing << QString::number(first) + ".." + QString::number(last) + ": "
                             + summarized.join("; ") + " / " + rows.join("; ");
    }
    return differing;
}

} // namespace

class tst_ButchRecords : public QObject
{
    Q_OBJECT

private slots:
    void deletedBatchTakesItsDosesAlongAndItsIdIsNeverGivenAgain();
    void olderFilesNeverHandOnADeletedBatchsIdEither();
    void dischargeOnAFullDiskLeavesNothingAndSaysSo();
    void twoTasksOfABatchOnOneDoserAreCountedAndFinishedApart();
    void daySummariesFollowEveryWriteOfTasksAndDoses();
};

void tst_ButchRecords::deletedBatchTakesItsDosesAlongAndItsIdIsNeverGivenAgain()
{
    TemporaryDatabase records;
    auto database = std::make_unique<Database>(records.path());
    QVERIFY(database->createTables());
    auto butches = std::make_unique<ButchRecords>(*database);
    const quint64 first = butches->newButch();
    QCOMPARE(butches->findOpenButch(), first);
    const qint64 firstTask = butches->newTask(first, Doser, "100.00", "100.00", "Мука", "кг");
    QVERIFY(firstTask > 0);
    QVERIFY(butches->countDischarge(firstTask, "10.00", "90.00", doseOf(first)));
    QVERIFY(
        records.exec("INSERT INTO event (kind, idButch) VALUES (1, ?1)", {QString::number(first)}));

    QVERIFY(butches->deleteTasks(first) && butches->deleteButch(first));
    QCOMPARE(rowsOf(records, "dose", first), QString("0"));
    // The sealed journal keeps its row as written, batch number and all.
    QCOMPARE(rowsOf(records, "event", first), QString("1"));
    const quint64 second = butches->newButch();
    QVERIFY2(second > first, qPrintable(QString::number(second)));
    QCOMPARE(butches->findOpenButch(), second);

    QVERIFY(butches->deleteButch(second));
    butches.reset();
    database = std::make_unique<Database>(records.path());
    QVERIFY(database->createTables());
    butches = std::make_unique<ButchRecords>(*database);
    const quint64 third = butches->newButch();
    QVERIFY(third > second);
    // The deleted task's id is not given again either, nor its dose rows' (gone too).
    QVERIFY(butches->newTask(third, Doser, "100.00", "100.00", "Мука", "кг") > firstTask);
}

void tst_ButchRecords::olderFilesNeverHandOnADeletedBatchsIdEither()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    records.addButch("01.03.2024");
    const int newest = records.addButch("01.03.2024");
    Database database(records.path());
    QVERIFY(database.createTables());
    ButchRecords butches(database);
    // The old program's newest batch, deleted by this one.
    QVERIFY(butches.deleteButch(quint64(newest)));
    QCOMPARE(butches.newButch(), quint64(newest + 1));

    // A batch that a program before the mark deleted without its doses.
    records.addDose(newest + 2, "10.00", "10.00", "кг", 2);
    const quint64 next = butches.newButch();
    QCOMPARE(next, quint64(newest + 3));
    QCOMPARE(rowsOf(records, "dose", qint64(next)), QString("0"));
}

void tst_ButchRecords::dischargeOnAFullDiskLeavesNothingAndSaysSo()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    ButchRecords butches(database);
    const quint64 butch = butches.newButch();
    const qint64 taskId = butches.newTask(butch, Doser, "100.00", "100.00", "Мука", "кг");
    QVERIFY(taskId > 0);
    const auto task = [&] { return records.select("SELECT haveDoneWeight FROM task").value(0); };

    // The file may not grow, and its last page of doses takes no more.
    QVERIFY(database.execQuery("PRAGMA page_count"));
    QVERIFY(database.execQuery("PRAGMA max_page_count = " + database.result().value(0, 0)));
    DoseRecords doses(database);
    for (int filler = 0; filler < MaxFillerDoses && doses.add(doseOf(0)); ++filler) { }
    QCOMPARE(database.result().status, SQLITE_FULL);

    QVERIFY(!butches.countDischarge(taskId, "10.00", "90.00", doseOf(qint64(butch))));
    QVERIFY2(database.lastErrorMessage().contains("full"), qPrintable(database.lastErrorMessage()));
    QCOMPARE(rowsOf(records, "dose", qint64(butch)), QString("0"));
    QCOMPARE(task(), QString());

    QVERIFY(database.execQuery("PRAGMA max_page_count = 1000000"));
    QVERIFY(butches.countDischarge(taskId, "10.00", "90.00", doseOf(qint64(butch))));
    QCOMPARE(rowsOf(records, "dose", qint64(butch)), QString("1"));
    QCOMPARE(task(), QString("10.00"));
}

void tst_ButchRecords::twoTasksOfABatchOnOneDoserAreCountedAndFinishedApart()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    ButchRecords butches(database);
    const quint64 butch = butches.newButch();
    const qint64 flour = butches.newTask(butch, Doser, "100.00", "100.00", "Мука", "кг");
    const qint64 sugar = butches.newTask(butch, Doser, "50.00", "50.00", "Сахар", "кг");
    QVERIFY(flour > 0 && sugar > 0 && flour != sugar);

    QVERIFY(butches.countDischarge(flour, "10.00", "90.00", doseOf(qint64(butch))));
    QVERIFY(butches.countDischarge(sugar, "5.00", "45.00", doseOf(qint64(butch))));
    QVERIFY(butches.finishTask(flour, "100.00", "10.00", "90.00", "Мука", "кг"));

    // Restored in the order they were written, each with its own id and totals.
    const QueryResult tasks = butches.restoreTasks(butch);
    QCOMPARE(tasks.rows, 2);
    QCOMPARE(tasks.value(0, ButchRecords::IdTask).toLongLong(), flour);
    QCOMPARE(tasks.value(1, ButchRecords::IdTask).toLongLong(), sugar);
    QCOMPARE(QStringList({tasks.value(0, ButchRecords::HaveDoneWeight),
                          tasks.value(1, ButchRecords::HaveDoneWeight)}),
             QStringList({"10.00", "5.00"}));
    QVERIFY(!tasks.value(0, ButchRecords::EndTime).trimmed().isEmpty());
    QVERIFY(tasks.value(1, ButchRecords::EndTime).trimmed().isEmpty());

    QList<qint64> doseTasks;
    for (const DoseRecord &dose : DoseRecords(database).ofButch(qint64(butch)))
        doseTasks << dose.taskId;
    QCOMPARE(doseTasks, QList<qint64>({flour, sugar}));
}

void tst_ButchRecords::daySummariesFollowEveryWriteOfTasksAndDoses()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables() && records.createDoseTable());
    const int older = records.addButch("01.03.2024");
    records.addTask(older, "Мука", "кг", "20.02");
    records.addDose(older, "10.00", "10.01", "кг", 2, true, "0.50", "0.30");
    records.addDose(older, "10.00", "9.98", "кг", 2, true, "0.50", "0.30");
    Database database(records.path());
    QVERIFY(database.createTables());
    DaySummaries summaries(database);
    ButchRecords butches(database);

    const qint64 butch = qint64(butches.newButch());
    const qint64 flour = butches.newTask(quint64(butch), Doser, "20.00", "20.00", "Мука", "кг");
    const qint64 sugar = butches.newTask(quint64(butch), Doser, "500", "500", "Сахар", "г");
    const auto days = [&] {
        const qint64 newest = records.select("SELECT max(idButch) FROM task").value(0).toLongLong();
        return QList<std::pair<qint64, qint64>> {{older, older}, {butch, newest}, {older, newest}};
    };
    QCOMPARE(differingRanges(summaries, days()), QStringList());

    QVERIFY(
        butches.countDischarge(flour, "10.02", "9.98", doseOf(butch, "10.00", "10.02", "кг", 2)));
    DoseRecord residue = doseOf(butch, "", "0.10", "кг", 2);
    residue.counted = false;
    QVERIFY(butches.declineResidue(residue));
    QVERIFY(butches.countDischarge(sugar, "251", "249", doseOf(butch, "250", "251", "г", 0)));
    QCOMPARE(differingRanges(summaries, days()), QStringList());

    // Restored after a restart under another product, then finished in another unit.
    QVERIFY(butches.resumeTask(sugar, "500", "249", "Соль"));
    QCOMPARE(differingRanges(summaries, days()), QStringList());
    QVERIFY(butches.countDischarge(flour, "20.01", "0", doseOf(butch, "9.98", "9.99", "кг", 2)));
    QVERIFY(butches.finishTask(flour, "20.00", "20.01", "0", "Мука", "кг"));
    QVERIFY(butches.finishTask(sugar, "0.500", "0.251", "0.249", "Соль", "кг"));
    QCOMPARE(differingRanges(summaries, days()), QStringList());

    // A batch that delivered nothing is deleted, tasks first; one deleted alone leaves its
    // tasks behind.
    const quint64 empty = butches.newButch();
    QVERIFY(butches.newTask(empty, Doser, "5.00", "5.00", "Перец", "кг") > 0);
    QVERIFY(butches.deleteTasks(empty) && butches.deleteButch(empty));
    const quint64 left = butches.newButch();
    const qint64 leftTask = butches.newTask(left, Doser, "5.00", "5.00", "Перец", "кг");
    QVERIFY(butches.countDischarge(leftTask, "5.00", "0",
                                   doseOf(qint64(left), "5.00", "5.00", "кг", 2)));
    QVERIFY(butches.deleteButch(left));
    QCOMPARE(differingRanges(summaries, days()), QStringList());
    QVERIFY(summaries.areCurrent());
}

QTEST_GUILESS_MAIN(tst_ButchRecords)
#include "tst_butchrecords.moc"
