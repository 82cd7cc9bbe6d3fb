#include "butchrecords.h"
#include "database.h"
#include "eventjournal.h"
#include "journalcheck.h"
#include "journalkey.h"
#include "journalseal.h"
#include "knownseal.h"
#include "temporarydatabase.h"

#include <QFile>
#include <QFileInfo>
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

// As the journal window checks: with the key and the seal the console remembers beside data.db.
JournalCheck::Result check(const QString &file)
{
    Database database(file);
    return JournalCheck::run(database, JournalKey::open(file, JournalKey::WhenMissing::Fail),
                             KnownSeal::read(file));
}

// Batch events: each is published with its seal, which the console remembers.
void recordBatchEvents(const QString &file, int count)
{
    EventJournal journal(file);
    for (int i = 0; i < count; ++i)
        journal.record(JournalEvent::ButchFinished, QStringLiteral("партия %1").arg(i), i + 1);
}

// Seals every row again by the older rule without a key, as anyone can, from the row on.
bool resealUnkeyed(TemporaryDatabase &records, int fromRow)
{
    const QStringList rows = records.select(
        "SELECT idEvent, date, time, kind, idButch, deviceId, errorCode, text, seal FROM event "
        "ORDER BY idEvent");
    constexpr int Columns = 9;
    QString previous;
    for (int row = 0; row * Columns < rows.size(); ++row) {
        const auto field = [&rows, row](int column) { return rows.at(row * Columns + column); };
        JournalSeal::Row fields {field(0).toLongLong(),
                                 field(1),
                                 field(2),
                                 field(3),
                                 field(4),
                                 field(5),
                                 field(6),
                                 field(7)};
        const QString seal = row < fromRow ? field(8) : JournalSeal::unkeyed(previous, fields);
        if (!records.exec("UPDATE event SET seal = ?1 WHERE idEvent = ?2", {seal, field(0)}))
            return false;
        previous = seal;
    }
    return true;
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
    void olderUnkeyedRowsFollowedByKeyedOnesAreIntact();
    void recomputedUnkeyedChainIsBroken_data();
    void recomputedUnkeyedChainIsBroken();
    void nulledSealsAreBroken_data();
    void nulledSealsAreBroken();
    void deletedTailIsFoundAgainstThePublishedSeal();
    void keyIsTheOwnersAloneAndNoOtherSealsTheJournal();
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
    QTest::newRow("kind") << "UPDATE event SET kind = kind + 1 WHERE idEvent = ?1";
    QTest::newRow("device") << "UPDATE event SET deviceId = 31 WHERE idEvent = ?1";
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

void tst_JournalCheck::olderUnkeyedRowsFollowedByKeyedOnesAreIntact()
{
    TemporaryDatabase records;
    recordEvents(records.path(), 4);
    // A file of the program before the key: its rows sealed without one, nothing remembered.
    QVERIFY(resealUnkeyed(records, 0));
    QVERIFY(QFile::remove(KnownSeal::fileBeside(records.path())));
    recordEvents(records.path(), 3);
    const JournalCheck::Result result = check(records.path());
    QVERIFY2(result.isIntact(), qPrintable(result.text()));
    QCOMPARE(result.sealedRows, qint64(7));
    QCOMPARE(result.unkeyedRows, qint64(4));

    // Their rule stays in force: an older row edited is still found.
    const QString edited = ids(records).at(1);
    QVERIFY(records.exec("UPDATE event SET text = 'иначе' WHERE idEvent = ?1", {edited}));
    QCOMPARE(QString::number(check(records.path()).firstBrokenId), edited);
}

void tst_JournalCheck::recomputedUnkeyedChainIsBroken_data()
{
    QTest::addColumn<int>("fromRow");
    // Found where the remembered seal no longer matches.
    QTest::addColumn<bool>("foundAtTheEdit");
    QTest::newRow("whole journal") << 0 << false;
    QTest::newRow("from an edited row") << 5 << true;
}

void tst_JournalCheck::recomputedUnkeyedChainIsBroken()
{
    QFETCH(int, fromRow);
    QFETCH(bool, foundAtTheEdit);
    TemporaryDatabase records;
    recordEvents(records.path(), 10);
    const QString edited = ids(records).at(fromRow);
    QVERIFY(records.exec("UPDATE event SET text = 'допуск 5' WHERE idEvent = ?1", {edited}));
    QVERIFY(resealUnkeyed(records, fromRow));
    const JournalCheck::Result result = check(records.path());
    QVERIFY(!result.isIntact());
    QVERIFY(result.firstBrokenId > 0);
    if (foundAtTheEdit)
        QCOMPARE(QString::number(result.firstBrokenId), edited);
    QVERIFY(result.text().contains(QStringLiteral("№ %1").arg(result.firstBrokenId)));
}

void tst_JournalCheck::nulledSealsAreBroken_data()
{
    QTest::addColumn<int>("fromRow");
    // After sealed rows the first wiped one is the break; with none before, only the
    // remembered seal shows it.
    QTest::addColumn<bool>("foundAtTheFirst");
    QTest::newRow("every seal") << 0 << false;
    QTest::newRow("the later seals") << 6 << true;
}

void tst_JournalCheck::nulledSealsAreBroken()
{
    QFETCH(int, fromRow);
    QFETCH(bool, foundAtTheFirst);
    TemporaryDatabase records;
    recordBatchEvents(records.path(), 10);
    const QString first = ids(records).at(fromRow);
    QVERIFY(records.exec("UPDATE event SET seal = NULL WHERE idEvent >= ?1", {first}));
    const JournalCheck::Result result = check(records.path());
    QVERIFY(!result.isIntact());
    QVERIFY(result.firstBrokenId >= first.toLongLong());
    if (foundAtTheFirst)
        QCOMPARE(QString::number(result.firstBrokenId), first);
    QVERIFY(!result.text().contains(QStringLiteral("не опечатаны")));
}

void tst_JournalCheck::deletedTailIsFoundAgainstThePublishedSeal()
{
    TemporaryDatabase records;
    recordBatchEvents(records.path(), 8);
    const QStringList before = ids(records);
    QVERIFY(records.exec("DELETE FROM event WHERE idEvent >= ?1", {before.at(5)}));
    // What is left is a chain without a flaw: only the seal kept outside shows the cut.
    const JournalCheck::Result result = check(records.path());
    QVERIFY(!result.isIntact());
    QVERIFY(result.tailLost);
    QCOMPARE(QString::number(result.firstBrokenId), before.last());
    QVERIFY(result.text().contains(QStringLiteral("№ %1").arg(before.last())));

    // The console goes on: its next rows follow the cut journal, and the evidence stays.
    recordBatchEvents(records.path(), 3);
    QCOMPARE(KnownSeal::read(records.path()).id, before.last().toLongLong());
    QVERIFY(!check(records.path()).isIntact());
}

void tst_JournalCheck::keyIsTheOwnersAloneAndNoOtherSealsTheJournal()
{
    TemporaryDatabase records;
    recordEvents(records.path(), 3);
    const QString keyFile = JournalKey::fileBeside(records.path());
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QVERIFY(!(QFileInfo(keyFile).permissions() & others));

    // Another key, as on another console: its rows are not taken as this journal's.
    QVERIFY(QFile::remove(keyFile));
    QVERIFY(JournalKey::open(records.path(), JournalKey::WhenMissing::Create).isValid());
    QVERIFY(!check(records.path()).isIntact());
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
