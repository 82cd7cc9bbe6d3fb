#include "butchrecords.h"
#include "database.h"
#include "eventjournal.h"
#include "journalcheck.h"
#include "temporarydatabase.h"

#include <QTest>

namespace {

// Writes events the program's way, through the journal's own thread.
void recordEvents(const QString &file, int count, qint64 butch = JournalEvent::NoButch)
{
    EventJournal journal(file);
    for (int i = 0; i < count; ++i)
        journal.record(JournalEvent::SettingChanged,
                       QStringLiteral("Технолог: допуск +: было "
                                      "0.5%1, стало 0.6")
                           .arg(i),
                       butch, 30);
}

JournalCheck::Result check(const QString &file)
{
    Database database(file);
    return JournalCheck::run(database);
}

QStringList ids(TemporaryDatabase &records)
{
    return records.select("SELECT idEvent FROM event ORDER BY idEvent");
}

} // namespace

class tst_JournalCheck : public QObject
{
    Q_OBJECT

private slots:
    void journalAsWrittenIsIntact();
    void rowEditedBySqlIsFoundAtThatRow_data();
    void rowEditedBySqlIsFoundAtThatRow();
    void deletedRowIsFoundAtTheRowAfterIt();
    void olderRowsWithoutChainAreNotSealedNotBroken();
    void writersOnTwoConnectionsKeepOneChain();
    void deletingABatchLeavesTheJournalIntact();
};

void tst_JournalCheck::journalAsWrittenIsIntact()
{
    TemporaryDatabase records;
    recordEvents(records.path(), 12);
    const JournalCheck::Result result = check(records.path());
    QVERIFY(result.isIntact());
    QCOMPARE(result.sealedRows, qint64(12));
    QCOMPARE(result.unsealedRows, qint64(0));
    QVERIFY(result.text().contains("цел"));
}

void tst_JournalCheck::rowEditedBySqlIsFoundAtThatRow_data()
{
    QTest::addColumn<QString>("edit");
    QTest::newRow("text") << "UPDATE event SET text = 'Технолог: допуск +: было 0.5, стало 5' "
                             "WHERE idEvent = ?1";
    QTest::newRow("batch") << "UPDATE event SET idButch = 4 WHERE idEvent = ?1";
    QTest::newRow("seal") << "UPDATE event SET seal = upper(seal) WHERE idEvent = ?1";
}

void tst_JournalCheck::rowEditedBySqlIsFoundAtThatRow()
{
    QFETCH(QString, edit);
    TemporaryDatabase records;
    recordEvents(records.path(), 10);
    const QString edited = ids(records).at(6);
    QVERIFY(records.exec(edit, {edited}));
    const JournalCheck::Result result = check(records.path());
    QVERIFY(!result.isIntact());
    QCOMPARE(QString::number(result.firstBrokenId), edited);
    QVERIFY(result.text().contains(QStringLiteral("№ %1").arg(edited)));
}

void tst_JournalCheck::deletedRowIsFoundAtTheRowAfterIt()
{
    TemporaryDatabase records;
    recordEvents(records.path(), 10);
    const QStringList before = ids(records);
    QVERIFY(records.exec("DELETE FROM event WHERE idEvent = ?1", {before.at(3)}));
    const JournalCheck::Result result = check(records.path());
    QCOMPARE(QString::number(result.firstBrokenId), before.at(4));

    // The first row too: the second no longer follows from nothing.
    TemporaryDatabase other;
    recordEvents(other.path(), 3);
    const QStringList first = ids(other);
    QVERIFY(other.exec("DELETE FROM event WHERE idEvent = ?1", {first.at(0)}));
    QCOMPARE(QString::number(check(other.path()).firstBrokenId), first.at(1));
}

void tst_JournalCheck::olderRowsWithoutChainAreNotSealedNotBroken()
{
    TemporaryDatabase records;
    // The journal table as files from before the chain have it.
    QVERIFY(records.exec("CREATE TABLE event (idEvent INTEGER PRIMARY KEY, date TEXT, time TEXT, "
                         "kind INTEGER, idButch INTEGER, deviceId INTEGER, errorCode INTEGER, "
                         "text TEXT)"));
    for (int i = 0; i < 3; ++i)
        QVERIFY(records.exec("INSERT INTO event (date, time, kind, text) VALUES ('01.02.2026', "
                             "'10:00:00', 15, 'старое')"));
    recordEvents(records.path(), 5);
    const JournalCheck::Result result = check(records.path());
    QVERIFY(result.isIntact());
    QCOMPARE(result.unsealedRows, qint64(3));
    QCOMPARE(result.sealedRows, qint64(5));
    QVERIFY(result.text().contains("не опечатаны"));
    QCOMPARE(records.select("SELECT count(*) FROM event WHERE seal IS NULL"), QStringList {"3"});
}

void tst_JournalCheck::writersOnTwoConnectionsKeepOneChain()
{
    TemporaryDatabase records;
    {
        EventJournal console(records.path());
        EventJournal tool(records.path());
        for (int i = 0; i < 50; ++i) {
            console.record(JournalEvent::ManualOrder, QStringLiteral("пульт %1").arg(i));
            tool.record(JournalEvent::PinsReset, QStringLiteral("программа %1").arg(i));
        }
    }
    const JournalCheck::Result result = check(records.path());
    QVERIFY(result.isIntact());
    QCOMPARE(result.sealedRows, qint64(100));
}

void tst_JournalCheck::deletingABatchLeavesTheJournalIntact()
{
    TemporaryDatabase records;
    Database database(records.path());
    QVERIFY(database.createTables());
    ButchRecords butches(database);
    const quint64 butch = butches.newButch();
    QVERIFY(butch > 0);
    recordEvents(records.path(), 3, qint64(butch));
    QVERIFY(butches.deleteButch(butch));
    QVERIFY(check(records.path()).isIntact());
    // The events still name their batch, whose number is never given again.
    QCOMPARE(
        records.select("SELECT count(*) FROM event WHERE idButch = ?1", {QString::number(butch)}),
        QStringList {"3"});
}

QTEST_GUILESS_MAIN(tst_JournalCheck)
#include "tst_journalcheck.moc"
