#include "butchrecords.h"
#include "database.h"
#include "doserecords.h"
#include "temporarydatabase.h"
#include "transaction.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <cstdio>

#include <thread>

namespace {

// The console's own statement for a counted discharge.
const QString CountDischarge =
    QStringLiteral("UPDATE task SET haveDoneWeight = \"%1\", mustToBeDoneWeight = \"%2\" WHERE "
                   "idButch = %3 AND deviceId = %4");

DoseRecord doseOf(int butch, const QString &discharged)
{
    DoseRecord dose;
    dose.butchId = butch;
    dose.deviceId = 30;
    dose.orderedWeight = QStringLiteral("10.00");
    dose.dischargedWeight = discharged;
    dose.unit = QStringLiteral("кг");
    dose.decimals = 2;
    return dose;
}

constexpr char WriterOption[] = "--count-doses-until-killed";
constexpr qint64 DoseHundredths = 125;

QString hundredthsText(qint64 hundredths)
{
    return QStringLiteral("%1.%2").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QChar(u'0'));
}

// The console's road for one discharge after another, as fast as the file takes them.
int countDosesUntilKilled(const QString &fileName)
{
    Database database(fileName);
    DoseRecords doses(database);
    for (qint64 count = 1;; ++count) {
        Transaction transaction(database);
        const qint64 total = count * DoseHundredths;
        if (!doses.add(doseOf(1, hundredthsText(DoseHundredths)))
            || !database.execQuery(CountDischarge, {hundredthsText(total), "0.00", 1, 30})
            || !transaction.commit())
            return 1;
        if (count == 1) {
            std::puts("counting");
            std::fflush(stdout);
        }
    }
}

} // namespace

class tst_Transaction : public QObject
{
    Q_OBJECT

private slots:
    void doseRowAndTaskTotalAreWrittenTogetherOrNotAtAll();
    void anotherConnectionWaitsForTheTransactionInsteadOfFailing();
    void killedWriterLeavesNoDoseWithoutItsCountNorCountWithoutItsDose();
    void commitRefusedAtTheEndLeavesNothingAndSaysWhy();
    void readerInsideATransactionHoldsUpNoBatchWrite_data();
    void readerInsideATransactionHoldsUpNoBatchWrite();
};

void tst_Transaction::doseRowAndTaskTotalAreWrittenTogetherOrNotAtAll()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    const int butch = records.addButch("01.03.2024");
    records.addTask(butch, "Мука", "кг", "");
    DoseRecords doses(database);
    const auto state = [&] {
        return records.select("SELECT haveDoneWeight FROM task")
               + records.select("SELECT group_concat(dischargedWeight) FROM dose");
    };

    {
        Transaction transaction(database);
        QVERIFY(transaction.isOpen());
        QVERIFY(doses.add(doseOf(butch, "9.98")));
        QVERIFY(database.execQuery(CountDischarge, {"9.98", "0.02", butch, 30}));
        QVERIFY(database.execQuery("SELECT haveDoneWeight FROM task"));
        QCOMPARE(database.result().values, QStringList {"9.98"});
        // Left without commit, as on an early return or a failed statement.
    }
    QCOMPARE(state(), QStringList({"", ""}));
    QVERIFY(!database.inTransaction());

    {
        Transaction transaction(database);
        QVERIFY(doses.add(doseOf(butch, "9.98")));
        QVERIFY(!database.execQuery("UPDATE task SET nothing = 1"));
        transaction.rollback();
        QVERIFY(!transaction.commit());
    }
    QCOMPARE(state(), QStringList({"", ""}));

    {
        Transaction transaction(database);
        QVERIFY(doses.add(doseOf(butch, "9.98")));
        QVERIFY(database.execQuery(CountDischarge, {"9.98", "0.02", butch, 30}));
        QVERIFY(transaction.commit());
    }
    QCOMPARE(state(), QStringList({"9.98", "9.98"}));
    const QList<DoseRecord> stored = doses.ofButch(butch);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.at(0).orderedWeight, QString("10.00"));
    QVERIFY(stored.at(0).counted);
    QVERIFY(qAbs(stored.at(0).moment.secsTo(QDateTime::currentDateTime())) < 60);
}

void tst_Transaction::anotherConnectionWaitsForTheTransactionInsteadOfFailing()
{
    TemporaryDatabase records;
    Database console(records.path());
    QVERIFY(console.createTables());
    Database statistics(records.path());
    constexpr int HeldMs = 300;

    Transaction transaction(console);
    QVERIFY(console.execQuery("INSERT INTO product (productName) values (\"Мука\")"));
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(HeldMs));
        transaction.commit();
    });
    QElapsedTimer clock;
    clock.start();
    const bool written =
        statistics.execQuery("INSERT INTO product (productName) values (\"Соль\")");
    const qint64 waited = clock.elapsed();
    committer.join();

    QVERIFY(written);
    QVERIFY2(waited >= HeldMs / 2, qPrintable(QString::number(waited)));
    QCOMPARE(records.select("SELECT productName FROM product ORDER BY idProduct"),
             QStringList({"Мука", "Соль"}));
}

void tst_Transaction::killedWriterLeavesNoDoseWithoutItsCountNorCountWithoutItsDose()
{
    TemporaryDatabase records;
    QVERIFY(Database(records.path()).createTables());
    records.addTask(records.addButch("01.03.2024"), "Мука", "кг", "");
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(), {WriterOption, records.path()});
    QVERIFY(writer.waitForReadyRead(10000));
    QTest::qWait(300);
    writer.kill();
    QVERIFY(writer.waitForFinished(10000));

    QCOMPARE(records.select("PRAGMA integrity_check"), QStringList {"ok"});
    const QStringList counted = records.select("SELECT COUNT(*) FROM dose");
    const qint64 doses = counted.value(0).toLongLong();
    QVERIFY(doses > 0);
    QCOMPARE(records.select("SELECT haveDoneWeight FROM task"),
             QStringList {hundredthsText(doses * DoseHundredths)});
}

void tst_Transaction::commitRefusedAtTheEndLeavesNothingAndSaysWhy()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    const int butch = records.addButch("01.03.2024");
    records.addTask(butch, "Мука", "кг", "");
    // A rule checked only at COMMIT, as SQLite does for deferred foreign keys.
    QVERIFY(database.execQuery("CREATE TABLE parent (id INTEGER PRIMARY KEY)"));
    QVERIFY(database.execQuery("CREATE TABLE child (parentId INTEGER REFERENCES parent (id) "
                               "DEFERRABLE INITIALLY DEFERRED)"));
    QVERIFY(database.execQuery("PRAGMA foreign_keys = ON"));
    DoseRecords doses(database);

    {
        Transaction transaction(database);
        QVERIFY(doses.add(doseOf(butch, "9.98")));
        QVERIFY(database.execQuery(CountDischarge, {"9.98", "0.02", butch, 30}));
        QVERIFY(database.execQuery("INSERT INTO child (parentId) values (7)"));
        QVERIFY(!transaction.commit());
    }
    QVERIFY2(database.lastErrorMessage().contains("FOREIGN KEY"),
             qPrintable(database.lastErrorMessage()));
    QVERIFY(!database.inTransaction());
    QCOMPARE(records.select("SELECT COUNT(*) FROM dose"), QStringList {"0"});
    QCOMPARE(records.select("SELECT haveDoneWeight FROM task"), QStringList {""});
    QVERIFY(doses.add(doseOf(butch, "9.98")));
    QVERIFY(database.lastErrorMessage().isEmpty());
}

void tst_Transaction::readerInsideATransactionHoldsUpNoBatchWrite_data()
{
    QTest::addColumn<Database::JournalMode>("journal");
    QTest::addColumn<bool>("written");

    QTest::newRow("data.db") << Database::JournalMode::WriteAhead << true;
    // The same reader against a rollback journal shows what the test would catch.
    QTest::newRow("rollback journal") << Database::JournalMode::Rollback << false;
}

void tst_Transaction::readerInsideATransactionHoldsUpNoBatchWrite()
{
    QFETCH(Database::JournalMode, journal);
    QFETCH(bool, written);
    TemporaryDatabase records;
    Database console(records.path(), journal);
    QVERIFY(console.createTables());
    // Any wait for the reader becomes a failure at once.
    console.setBusyTimeout(0);
    ButchRecords butches(console);
    const quint64 butch = butches.newButch();
    const qint64 task = butches.newTask(butch, 30, "100.00", "100.00", "Мука", "кг");
    QVERIFY(task > 0);
    Database statistics(records.path(), journal);
    QVERIFY(statistics.execQuery("BEGIN"));
    QVERIFY(statistics.execQuery("SELECT COUNT(*) FROM dose"));
    QCOMPARE(statistics.result().values, QStringList {"0"});

    QCOMPARE(butches.countDischarge(task, "9.98", "90.02", doseOf(int(butch), "9.98")).isDone(),
             written);
    QCOMPARE(butches.newButch() != 0, written);

    // The reader goes on with the records as they were when it began.
    QVERIFY(statistics.execQuery("SELECT COUNT(*) FROM dose"));
    QCOMPARE(statistics.result().values, QStringList {"0"});
    QVERIFY(statistics.execQuery("COMMIT"));
    QVERIFY(statistics.execQuery("SELECT COUNT(*) FROM dose"));
    QCOMPARE(statistics.result().values, QStringList {written ? "1" : "0"});
    if (written) {
        QCOMPARE(records.select("PRAGMA journal_mode"), QStringList {"wal"});
        QVERIFY(console.execQuery("PRAGMA synchronous"));
        QCOMPARE(console.result().values, QStringList {"2"});
    }
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], WriterOption) == 0)
        return countDosesUntilKilled(QString::fromLocal8Bit(argv[2]));
    QCoreApplication application(argc, argv);
    tst_Transaction test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_transaction.moc"
