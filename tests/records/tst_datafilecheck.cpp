// The start-up check of data.db: damage found, the damaged file kept, the newest sound copy.
#include "databackup.h"
#include "datafilecheck.h"
#include "temporarydatabase.h"

#include <QFile>
#include <QtTest>

namespace {

const QDateTime Night(QDate(2026, 12, 8), QTime(23, 30));

// Enough rows for the records to span many pages.
void fill(TemporaryDatabase &records, int rows)
{
    QVERIFY(records.exec(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                       "CAST(?1 AS INTEGER)) "
                       "INSERT INTO product (productName) SELECT printf('%0200d', i) FROM n"),
        {QString::number(rows)}));
}

} // namespace

class DataFileCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void overwrittenPagesAreDamage();
    void missingOrIntactFileIsSound();
    void damagedFileIsKeptAsideWithItsLog();
    void newestSoundCopyPassesOverADamagedOne();
    void restoreNeverReplacesAFile();
};

void DataFileCheckTest::overwrittenPagesAreDamage()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    fill(records, 300);
    QVERIFY(DataFileCheck::isSound(records.path()));
    QVERIFY(records.overwritePages(3, 2));
    QVERIFY(!DataFileCheck::isSound(records.path()));
}

void DataFileCheckTest::missingOrIntactFileIsSound()
{
    TemporaryDatabase records;
    QVERIFY(DataFileCheck::isSound(records.path()));
    QVERIFY(!QFile::exists(records.path()));
    QVERIFY(records.createTables());
    QVERIFY(DataFileCheck::isSound(records.path()));
    QVERIFY(!DataFileCheck::isSound(records.spoil(TemporaryDatabase::Broken::NotADatabase)));
}

void DataFileCheckTest::damagedFileIsKeptAsideWithItsLog()
{
    TemporaryDatabase records;
    records.spoil(TemporaryDatabase::Broken::NotADatabase);
    QFile log(records.path() + QStringLiteral("-wal"));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.write("log");
    log.close();

    const QString aside = DataFileCheck(records.path()).keepAside(Night);
    QVERIFY(!aside.isEmpty());
    QVERIFY(!QFile::exists(records.path()));
    QVERIFY(!QFile::exists(records.path() + QStringLiteral("-wal")));
    QVERIFY(QFile::exists(aside + QStringLiteral("-wal")));
    QFile kept(aside);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray(4096, 'x'));
}

void DataFileCheckTest::newestSoundCopyPassesOverADamagedOne()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    fill(records, 300);
    DataBackup backup(records.path());
    const QString older = backup.makeCopy(Night.addDays(-2));
    const QString newer = backup.makeCopy(Night.addDays(-1));
    QVERIFY(!older.isEmpty() && !newer.isEmpty());
    QCOMPARE(DataFileCheck(records.path()).newestSoundCopy(), newer);

    TemporaryDatabase damagedCopy(QFileInfo(newer).absolutePath());
    QVERIFY(QFile::rename(newer, damagedCopy.path()));
    QVERIFY(damagedCopy.overwritePages(3, 2));
    QVERIFY(QFile::rename(damagedCopy.path(), newer));
    QCOMPARE(DataFileCheck(records.path()).newestSoundCopy(), older);
}

void DataFileCheckTest::restoreNeverReplacesAFile()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    const QString copy = DataBackup(records.path()).makeCopy(Night);
    DataFileCheck check(records.path());
    QVERIFY(!check.restore(copy));
    QVERIFY(!check.keepAside(Night).isEmpty());
    QVERIFY(check.restore(copy));
    QVERIFY(DataFileCheck::isSound(records.path()));
}

QTEST_GUILESS_MAIN(DataFileCheckTest)
#include "tst_datafilecheck.moc"
