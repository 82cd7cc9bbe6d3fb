// The copies of data.db in backup/: made while a batch writes, the newest seven kept, one a day;
// a copy that takes in the rows of a damaged file sums them up afresh.
#include "dailybackup.h"
#include "databackup.h"
#include "database.h"
#include "datasalvage.h"
#include "summaryfigures.h"
#include "temporarydatabase.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <atomic>

namespace {

const QDateTime Morning(QDate(2026, 12, 1), QTime(8, 0));

int products(const QString &file)
{
    Database database(file);
    database.execQuery(QStringLiteral("SELECT count(*) FROM product"));
    return database.result().value(0, 0).toInt();
}

} // namespace

class DataBackupTest : public QObject
{
    Q_OBJECT

private slots:
    void copyHoldsWhatWasCommittedWhileAWriteIsUnderWay();
    void oneCopyADayTheNewestSevenKept();
    void dailyBackupCopiesOnItsOwnThread();
    void batchCopiesAreKeptApartFromTheDays();
    void copyTakingInADamagedFilesRowsSumsThemUpAfresh();

private:
    void addProduct(Database &database, const QString &name);
};

void DataBackupTest::addProduct(Database &database, const QString &name)
{
    QVERIFY(database.execQuery(QStringLiteral(R"(INSERT INTO product (productName) VALUES ("%1"))"),
                               {name}));
}

void DataBackupTest::copyHoldsWhatWasCommittedWhileAWriteIsUnderWay()
{
    TemporaryDatabase records;
    Database batch(records.path());
    QVERIFY(batch.createTables());
    addProduct(batch, QStringLiteral("мука"));
    QVERIFY(batch.begin());
    addProduct(batch, QStringLiteral("сахар"));

    // The write lock is held by the batch: a copy that needed it would fail here.
    DataBackup backup(records.path());
    const QString copy = backup.makeCopy(Morning);
    QVERIFY2(!copy.isEmpty(), qPrintable(backup.lastError()));
    QVERIFY(batch.commit());
    addProduct(batch, QStringLiteral("соль"));

    QCOMPARE(products(copy), 1);
    QCOMPARE(products(records.path()), 3);
    QCOMPARE(QFileInfo(copy).dir().dirName(), QStringLiteral("backup"));
    // No unfinished copy is left beside it.
    QCOMPARE(QDir(backup.folder()).entryList(QDir::Files).size(), 1);
}

void DataBackupTest::oneCopyADayTheNewestSevenKept()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    DataBackup backup(records.path());
    QVERIFY(QDir().mkpath(backup.folder()));
    const QString unrelated = QDir(backup.folder()).filePath(QStringLiteral("notes.txt"));
    QFile(unrelated).open(QIODevice::WriteOnly);

    constexpr int Days = 10;
    for (int day = 0; day < Days; ++day) {
        QVERIFY(backup.isDue(Morning.addDays(day)));
        QVERIFY(!backup.makeCopy(Morning.addDays(day)).isEmpty());
        QVERIFY(!backup.isDue(Morning.addDays(day).addSecs(15 * 3600)));
    }

    const QStringList kept = backup.copies();
    QCOMPARE(kept.size(), DataBackup::KeptCopies);
    QCOMPARE(DataBackup::madeAt(kept.first()), Morning.addDays(Days - 1));
    QCOMPARE(DataBackup::madeAt(kept.last()), Morning.addDays(Days - DataBackup::KeptCopies));
    QVERIFY(QFile::exists(unrelated));
}

void DataBackupTest::dailyBackupCopiesOnItsOwnThread()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    std::atomic<QThread *> copyThread {nullptr};
    QStringList made;
    DailyBackup daily(records.path());
    connect(
        &daily, &DailyBackup::copyMade, &daily,
        [&copyThread] { copyThread = QThread::currentThread(); }, Qt::DirectConnection);
    // Queued to this thread, as the console's window would take it.
    connect(&daily, &DailyBackup::copyMade, this,
            [&made](const QString &copy) { made.append(copy); });
    daily.start();
    QTRY_COMPARE(made.size(), 1);
    QVERIFY(copyThread.load() && copyThread.load() != QThread::currentThread());
    QVERIFY(QFile::exists(made.first()));
    QCOMPARE(DataBackup(records.path()).copies(), made);
}

void DataBackupTest::batchCopiesAreKeptApartFromTheDays()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    DataBackup backup(records.path());
    QVERIFY(!backup.makeCopy(Morning).isEmpty());
    // Batches 1 to 25 in one afternoon, two of them in one second.
    for (int batch = 1; batch <= 25; ++batch)
        QVERIFY(!backup.makeCopy(Morning.addSecs(3600 + 60 * (batch / 2)), batch).isEmpty());
    const QStringList kept = backup.copies();
    QCOMPARE(kept.size(), 1 + DataBackup::KeptButchCopies);
    QCOMPARE(DataBackup::butchOf(kept.first()), 25);
    QCOMPARE(DataBackup::butchOf(kept.at(1)), 24);
    QCOMPARE(DataBackup::butchOf(kept.last()), 0);
    // A batch's copy is not the day's: the next morning is still due.
    QVERIFY(!backup.isDue(Morning.addSecs(7200)));
    QVERIFY(backup.isDue(Morning.addDays(1)));

    DailyBackup daily(records.path());
    QStringList made;
    connect(&daily, &DailyBackup::copyMade, this,
            [&made](const QString &copy) { made.append(copy); });
    daily.start();
    daily.copyAfterButch(26);
    // After the day's copy the start makes, when today's is due.
    QTRY_VERIFY(!made.isEmpty() && DataBackup::butchOf(made.last()) == 26);
}

void DataBackupTest::copyTakingInADamagedFilesRowsSumsThemUpAfresh()
{
    TemporaryDatabase records;
    QVERIFY(Database(records.path()).createTables());
    const auto addButch = [&](const char *product, const char *unit) {
        const int butch = records.addButch("01.12.2026");
        records.addTask(butch, product, unit, "21");
        records.addDose(butch, "10", "11", unit, 0);
        records.addDose(butch, "10", "10", unit, 0);
    };
    addButch("мука", "кг");
    QVERIFY(Database(records.path()).createTables());
    const QString copy = DataBackup(records.path()).makeCopy(Morning);
    addButch("сахар", "г");
    addButch("мука", "кг");

    QVERIFY(DataSalvage(records.path(), copy).merge(DataSalvage::Newer::Kept).merged);
    Database restored(copy);
    DaySummaries summaries(restored);
    QVERIFY(summaries.areCurrent());
    const QStringList rows = figuresOfRows(summaries, 1, 3);
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows.first().startsWith("мука|кг|2|42.000000|4|"), qPrintable(rows.first()));
    QCOMPARE(figuresOfSummaries(summaries, 1, 3), rows);
}

QTEST_GUILESS_MAIN(DataBackupTest)
#include "tst_databackup.moc"
