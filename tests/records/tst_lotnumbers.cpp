// Lots made from a pattern as batches open: what a pattern gives, and that its counter never
// hands a number out twice, through a restart, an old copy of data.db put back and lots typed
// over.
#include "butchrecords.h"
#include "database.h"
#include "highwatermark.h"
#include "lotnumbers.h"
#include "temporarydatabase.h"

#include <QFile>
#include <QTest>

namespace {

// With what the mark file must not take for its own syntax.
const QString Pattern = QStringLiteral("П {ГГ}={NNN}");

// What the console does at a start: the lot offered, then the batch opened with it.
QString openBatchWithNextLot(Database &records, const QString &pattern = Pattern)
{
    const QString lot = LotNumbers(records).next(pattern);
    return ButchRecords(records).newButch(lot, pattern) != 0 ? lot.section(u'=', -1) : QString();
}

} // namespace

class tst_LotNumbers : public QObject
{
    Q_OBJECT

private slots:
    void patternGivesItsDateAndCounter_data();
    void patternGivesItsDateAndCounter();
    void counterNeverRepeatsAcrossARestartOrAnOldCopyPutBack();
    void lotTypedOverOrNotWrittenTakesNoNumber();
};

void tst_LotNumbers::patternGivesItsDateAndCounter_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("lots");
    QTest::newRow("cyrillic") << "П{ГГ}{ММ}{ДД}-{НННН}"
                              << QStringList {"П261209-0001", "П261209-0002"};
    QTest::newRow("latin, small letters, braces of no token")
        << "{yyyy}.{mm}/{n}{X}" << QStringList {"2026.12/1{X}", "2026.12/2{X}"};
}

void tst_LotNumbers::patternGivesItsDateAndCounter()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, lots);
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    const QDateTime morning(QDate(2026, 12, 9), QTime(7, 30));
    for (const QString &lot : lots) {
        // Offered twice before a batch takes it: the same lot.
        QCOMPARE(LotNumbers(records).next(pattern, morning), lot);
        QCOMPARE(LotNumbers(records).next(pattern, morning), lot);
        QVERIFY(ButchRecords(records).newButch(lot, pattern) != 0);
    }
    QCOMPARE(files.select("SELECT lot FROM butch"), lots);
}

void tst_LotNumbers::counterNeverRepeatsAcrossARestartOrAnOldCopyPutBack()
{
    TemporaryDatabase files;
    const QString copy = files.folderPath() + QStringLiteral("/copy.db");
    QStringList numbers;
    {
        Database records(files.path());
        QVERIFY(records.createTables());
        numbers << openBatchWithNextLot(records);
        QVERIFY(records.checkpoint(Database::Checkpoint::Truncate));
        QVERIFY(QFile::copy(files.path(), copy));
        numbers << openBatchWithNextLot(records);
        QCOMPARE(openBatchWithNextLot(records, QStringLiteral("{N}")), QStringLiteral("1"));
    }
    {
        Database restarted(files.path());
        numbers << openBatchWithNextLot(restarted);
    }
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(files.path() + suffix);
    QVERIFY(QFile::copy(copy, files.path()));
    {
        Database putBack(files.path());
        numbers << openBatchWithNextLot(putBack);
        QCOMPARE(openBatchWithNextLot(putBack, QStringLiteral("{N}")), QStringLiteral("2"));
        // A recovery hands the file what the mark knows: it counts on without the mark.
        QVERIFY(ButchRecords(putBack).acceptIssued(HighWaterMark(files.path()).ids()));
    }
    QVERIFY(QFile::remove(HighWaterMark::fileFor(files.path())));
    Database withoutMark(files.path());
    numbers << openBatchWithNextLot(withoutMark);
    QCOMPARE(numbers, QStringList({"001", "002", "003", "004", "005"}));
}

void tst_LotNumbers::lotTypedOverOrNotWrittenTakesNoNumber()
{
    TemporaryDatabase files;
    Database records(files.path());
    QVERIFY(records.createTables());
    ButchRecords butches(records);
    const QString pattern = QStringLiteral("L-{NNNN}");
    QVERIFY(butches.newButch(QStringLiteral("Ручной 7"), pattern) != 0);
    QCOMPARE(LotNumbers(records).next(pattern), QStringLiteral("L-0001"));
    // Typed ahead, it takes its own number.
    QVERIFY(butches.newButch(QStringLiteral("L-0040"), pattern) != 0);
    QCOMPARE(LotNumbers(records).next(pattern), QStringLiteral("L-0041"));
    // A batch whose row fails after its counter was raised takes nothing either.
    QVERIFY(files.exec("CREATE TRIGGER refuse BEFORE INSERT ON lastButchId BEGIN SELECT "
                       "RAISE(ABORT, 'full'); END;"));
    QCOMPARE(butches.newButch(QStringLiteral("L-0041"), pattern), quint64(0));
    QCOMPARE(LotNumbers(records).next(pattern), QStringLiteral("L-0041"));
}

QTEST_GUILESS_MAIN(tst_LotNumbers)
#include "tst_lotnumbers.moc"
