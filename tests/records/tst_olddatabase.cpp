#include "butchrecords.h"
#include "database.h"
#include "dosecorrections.h"
#include "stat.h"
#include "summaryfigures.h"
#include "temporarydatabase.h"

#include <QTest>

namespace {

QStringList shownTotals(const QString &fileName)
{
    Stat stat(fileName);
    stat.fillDates();
    stat.fromComboBox->setCurrentIndex(0);
    stat.toComboBox->setCurrentIndex(stat.toComboBox->count() - 1);
    QStringList totals;
    for (int row = 0; row < stat.statTable->rowCount(); ++row)
        totals << stat.statTable->item(row, 0)->text() + " = "
                      + stat.statTable->item(row, 1)->text();
    return totals;
}

} // namespace

// A data.db of the program before dose records and the journal, and the other way round.
class tst_OldDatabase : public QObject
{
    Q_OBJECT

private slots:
    void oldFileGainsTheNewTablesAndKeepsItsRecordsAndStatistics();
    void statementsOfTheOldProgramWorkOnANewFile();
    void oldFileIsCopiedFirstThenItsTasksNumberedAndItsDosesLinked();
    void oldCorrectionKeepsItsShareAndLearnsNoAmountInFlight();
    void oldFileGainsDaySummariesOfItsRowsAndRowsWrittenBesideThemAreSeen();
};

void tst_OldDatabase::oldFileGainsTheNewTablesAndKeepsItsRecordsAndStatistics()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    records.exec("INSERT INTO product (productName) VALUES ('Мука')");
    records.addTask(records.addButch("01.03.2024"), "Мука", "кг", "12.50");
    records.addTask(records.addButch("02.03.2024"), "Мука", "г", "2500");
    records.addTask(records.addButch("02.03.2024"), "Сахар", "т", "0.125");
    const QString everything =
        "SELECT * FROM product UNION ALL SELECT idButch, date || startTime || endTime || endDate "
        "FROM butch UNION ALL SELECT idButch, deviceId || startTime || endTime || taskWeight || "
        "haveDoneWeight || mustToBeDoneWeight || productName || weightScale FROM task";
    const QStringList before = records.select(everything);
    const QStringList totals = shownTotals(records.path());
    QCOMPARE(totals, QStringList({"Мука = 15.00", "Сахар = 125.00"}));

    {
        Database database(records.path());
        QVERIFY(database.createTables());
    }
    const QStringList tables =
        records.select("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    QVERIFY(tables.contains("dose") && tables.contains("event"));
    QCOMPARE(records.select(everything), before);
    QCOMPARE(shownTotals(records.path()), totals);
}

void tst_OldDatabase::statementsOfTheOldProgramWorkOnANewFile()
{
    TemporaryDatabase records;
    {
        Database database(records.path());
        QVERIFY(database.createTables());
    }
    // Run through a bare connection with the old program's texts, as it would.
    QVERIFY(records.exec("INSERT INTO butch (date, startTime, endTime, endDate) values "
                         "(\"01.03.2024\", \"08:00\", \"\", \"\");"));
    QCOMPARE(records.select("SELECT idButch FROM butch WHERE endTime = \"\""), QStringList {"1"});
    QVERIFY(records.exec(
        "INSERT INTO task (idButch, deviceId, startTime, endTime, taskWeight, haveDoneWeight, "
        "mustToBeDoneWeight, productName, weightScale, startDate, endDate) values (1, \"30\", "
        "\"08:00\", \" \", \"100.00\", \"\", \"100.00\", \"Мука\", \"кг\", \"01.03.2024\", "
        "\"\");"));
    QVERIFY(records.exec("UPDATE task SET haveDoneWeight = \"23.08\", mustToBeDoneWeight = "
                         "\"76.92\" WHERE idButch = 1 AND deviceId = 30"));
    QCOMPARE(records.select("SELECT haveDoneWeight FROM task WHERE idButch = 1 AND "
                            "haveDoneWeight != \"\""),
             QStringList {"23.08"});
    // The task's id comes after the old program's columns, which keep their places.
    QCOMPARE(records.select("SELECT * FROM task WHERE idButch = 1").size(), 12);
    QVERIFY(records.exec("UPDATE butch SET endTime = \"09:00\", endDate = \"01.03.2024\" WHERE "
                         "idButch = 1"));
    QVERIFY(records.exec("DELETE FROM task WHERE idButch = 1"));
    QVERIFY(records.exec("DELETE FROM butch WHERE idButch = 1"));
    QCOMPARE(records.select("SELECT COUNT(*) FROM butch"), QStringList {"0"});
}

void tst_OldDatabase::oldFileIsCopiedFirstThenItsTasksNumberedAndItsDosesLinked()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables() && records.createDoseTable());
    const int first = records.addButch("01.03.2024");
    const int second = records.addButch("02.03.2024");
    records.addTask(second, "Сахар", "кг", "5.00");
    records.addTask(first, "Мука", "кг", "10.00");
    QVERIFY(records.exec("INSERT INTO task (idButch, deviceId) VALUES (?1, 31)",
                         {QString::number(first)}));
    records.addDose(first, "10.00", "10.00", "кг", 2);
    records.addDose(second, "5.00", "5.00", "кг", 2);
    QVERIFY(records.exec("INSERT INTO dose (idButch, deviceId) VALUES (?1, 31)",
                         {QString::number(first)}));

    Database database(records.path());
    // The console copies a file that lacks anything before createTables() changes it.
    QVERIFY(!database.hasAllTables());
    QVERIFY(database.createTables());
    QVERIFY(database.hasAllTables());

    const QStringList ids = records.select("SELECT idTask FROM task ORDER BY rowid");
    QCOMPARE(ids.size(), 3);
    for (int n = 1; n < ids.size(); ++n)
        QVERIFY(ids.at(n - 1).toLongLong() > 0
                && ids.at(n).toLongLong() > ids.at(n - 1).toLongLong());
    QCOMPARE(records.select("SELECT count(*) FROM dose JOIN task ON task.idTask = dose.idTask "
                            "AND task.idButch = dose.idButch AND task.deviceId = dose.deviceId"),
             QStringList {"3"});

    ButchRecords butches(database);
    const QueryResult tasks = butches.restoreTasks(quint64(first));
    QCOMPARE(tasks.rows, 2);
    const qint64 restored = tasks.value(0, ButchRecords::IdTask).toLongLong();
    QCOMPARE(QString::number(restored), ids.at(1));
    QVERIFY(butches.countDischarge(restored, "20.00", "0", DoseRecord()));
    QCOMPARE(records.select("SELECT haveDoneWeight FROM task ORDER BY rowid"),
             QStringList({"5.00", "20.00", ""}));
    QVERIFY(butches.newTask(quint64(second), 30, "1", "1", "Мука", "кг") > ids.last().toLongLong());
    // Its batches have no lot; a new one keeps its own.
    QVERIFY(butches.lotOf(quint64(first)).isEmpty());
    QCOMPARE(butches.lotOf(butches.newButch("П-1")), QString("П-1"));
}

void tst_OldDatabase::oldCorrectionKeepsItsShareAndLearnsNoAmountInFlight()
{
    TemporaryDatabase records;
    QVERIFY(records.exec("CREATE TABLE doseCorrection (deviceId INTEGER, productName TEXT, "
                         "correction REAL, ratios TEXT, PRIMARY KEY (deviceId, productName))"));
    QVERIFY(records.exec("INSERT INTO doseCorrection VALUES (30, 'Мука', 0.03, '1.03 1.031')"));
    Database database(records.path());
    QVERIFY(!database.hasAllTables());
    QVERIFY(database.createTables());
    const LearnedCorrection learned = DoseCorrections(database).load(30, "Мука");
    QVERIFY(learned.correction == 0.03 && learned.inFlight == 0);
    // Their fills' sizes are not known.
    QCOMPARE(learned.sent, QList<double>({0, 0}));
}

void tst_OldDatabase::oldFileGainsDaySummariesOfItsRowsAndRowsWrittenBesideThemAreSeen()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables() && records.createDoseTable());
    const int first = records.addButch("01.03.2024");
    records.addTask(first, "Мука", "кг", "30.03");
    records.addDose(first, "", "0.40", "кг", 2, false);
    for (const char *discharged : {"10.02", "9.99", "10.02"})
        records.addDose(first, "10.00", discharged, "кг", 2, true, "0.50", "0.30");
    const int second = records.addButch("02.03.2024");
    records.addTask(second, "Мука", "г", "2500");
    records.addDose(second, "1250", "1249", "г", 0);
    records.addDose(second, "1250", "1251", "г", 0);
    // The clock set back: a batch of the first day numbered after the second day's.
    const int late = records.addButch("01.03.2024");
    records.addTask(late, "Мука", "кг", "10.05");
    records.addDose(late, "10.00", "10.05", "кг", 2, true, "0.50", "0.30");

    Database database(records.path());
    QVERIFY(database.createTables());
    QVERIFY(database.hasAllTables());
    DaySummaries summaries(database);
    QCOMPARE(figuresOfRows(summaries, first, late).size(), 2);
    QCOMPARE(figuresOfSummaries(summaries, first, late), figuresOfRows(summaries, first, late));
    // The first day's flour lies on both sides of the second day: only the rows can tell.
    QVERIFY(!summaries.ofSummaries(second, second));
    QCOMPARE(shownFigures(summaries.ofRange(second, second)),
             figuresOfRows(summaries, second, second));

    // A dose written by an older program beside the summaries: read from the rows until they
    // are built again.
    const QStringList before = figuresOfRows(summaries, first, late);
    QVERIFY(records.exec("INSERT INTO dose (idButch, deviceId, orderedWeight, dischargedWeight, "
                         "weightScale, decimals, counted, idTask) SELECT idButch, deviceId, "
                         "'1250', '1300', 'г', 0, 1, idTask FROM task WHERE idButch = ?1",
                         {QString::number(second)}));
    QVERIFY(figuresOfRows(summaries, first, late) != before);
    QCOMPARE(shownFigures(summaries.ofRange(first, late)), figuresOfRows(summaries, first, late));
    QVERIFY(!database.hasAllTables());
    QVERIFY(database.createTables());
    QCOMPARE(figuresOfSummaries(summaries, first, late), figuresOfRows(summaries, first, late));
}

QTEST_MAIN(tst_OldDatabase)
#include "tst_olddatabase.moc"
