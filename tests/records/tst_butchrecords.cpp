#include "butchrecords.h"
#include "database.h"
#include "doserecords.h"
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

} // namespace

class tst_ButchRecords : public QObject
{
    Q_OBJECT

private slots:
    void deletedBatchTakesItsDosesAlongAndItsIdIsNeverGivenAgain();
    void olderFilesNeverHandOnADeletedBatchsIdEither();
    void dischargeOnAFullDiskLeavesNothingAndSaysSo();
    void twoTasksOfABatchOnOneDoserAreCountedAndFinishedApart();
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

QTEST_GUILESS_MAIN(tst_ButchRecords)
#include "tst_butchrecords.moc"
