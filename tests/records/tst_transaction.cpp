#include "database.h"
#include "doserecords.h"
#include "temporarydatabase.h"
#include "transaction.h"

#include <QElapsedTimer>
#include <QTest>

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

} // namespace

class tst_Transaction : public QObject
{
    Q_OBJECT

private slots:
    void doseRowAndTaskTotalAreWrittenTogetherOrNotAtAll();
    void anotherConnectionWaitsForTheTransactionInsteadOfFailing();
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

QTEST_GUILESS_MAIN(tst_Transaction)
#include "tst_transaction.moc"
