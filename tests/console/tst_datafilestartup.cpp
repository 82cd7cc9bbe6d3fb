// data.db at the console's start: a damaged file kept aside and the operator told, the
// newest copy restored only on consent, an empty file otherwise, what the kept file still holds
// merged back, a file behind its mark found, ids that never go back, a copy before new tables.
#include "butchrecords.h"
#include "databackup.h"
#include "database.h"
#include "datafilestartup.h"
#include "eventjournal.h"
#include "knownseal.h"
#include "temporarydatabase.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QtTest>

namespace {

const QDateTime Start(QDate(2026, 12, 9), QTime(6, 0));

// The operator: reads every box and clicks the button named by the answer.
struct ScriptedAnswers
{
    QString answer;
    QStringList shown;

    ModalPrompts prompts()
    {
        ModalPrompts replaced;
        replaced.runBox = [this](QMessageBox *box) -> QAbstractButton * {
            shown.append(box->text());
            for (QAbstractButton *button : box->buttons()) {
                if (button->text() == answer || box->buttons().size() == 1)
                    return button;
            }
            return nullptr;
        };
        return replaced;
    }
};

void addProduct(TemporaryDatabase &records, const QString &name)
{
    QVERIFY(records.exec(QStringLiteral("INSERT INTO product (productName) VALUES (?1)"), {name}));
}

// One batch as the console writes it: a task, three discharges, the journal's events, the
// close; then, like the console, a copy of the closed batch when `copy` says so.
qint64 runButch(const QString &file, const QDateTime &at, bool copy)
{
    qint64 id = 0;
    {
        EventJournal journal(file);
        Database database(file);
        database.createTables();
        ButchRecords records(database);
        id = qint64(records.newButch());
        const qint64 task =
            records.newTask(quint64(id), 30, QStringLiteral("90.00"), QStringLiteral("90.00"),
                            QStringLiteral("мука"), QStringLiteral("кг"));
        journal.record(JournalEvent::ButchStarted, {}, id, 30);
        for (int fill = 1; fill <= 3; ++fill) {
            DoseRecord dose;
            dose.butchId = id;
            dose.deviceId = 30;
            dose.taskId = task;
            dose.moment = at;
            dose.orderedWeight = QStringLiteral("30.00");
            dose.dischargedWeight = QStringLiteral("30.01");
            dose.unit = QStringLiteral("кг");
            dose.decimals = 2;
            if (!records.countDischarge(task, QString::number(30.01 * fill, 'f', 2),
                                        QString::number(90 - 30.01 * fill, 'f', 2), dose))
                return 0;
        }
        journal.record(JournalEvent::ButchFinished, {}, id, 30);
        journal.flush();
        if (!records.closeButch(quint64(id)))
            return 0;
    }
    if (copy && DataBackup(file).makeCopy(at, id).isEmpty())
        return 0;
    return id;
}

qint64 count(const QString &file, const QString &table)
{
    Database database(file);
    database.execQuery(QStringLiteral("SELECT count(*) FROM %1").arg(table));
    return database.result().value(0, 0).toLongLong();
}

// Puts back an older state of the file as a lost log or a restored file copy leaves it.
bool putBack(const QString &file, const QString &older)
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
    return QFile::copy(older, file);
}

QStringList productNames(const QString &file)
{
    Database database(file);
    if (!database.createTables()
        || !database.execQuery(QStringLiteral("SELECT productName FROM product ORDER BY 1")))
        return {QStringLiteral("<cannot be opened>")};
    return database.result().values;
}

} // namespace

class DataFileStartupTest : public QObject
{
    Q_OBJECT

private slots:
    void damagedFileIsKeptAsideAndNewestCopyRestoredOnConsent();
    void declinedCopyStartsOnEmptyFile();
    void withoutCopyConsoleStartsOnEmptyFile();
    void fileAboutToGainTablesIsCopiedFirst();
    void fileBehindItsMarkIsFoundAndIdsNeverGoBack();
    void damagedFileGivesBackEveryReadableBatch();
    void fileCutInHalfIsSalvagedAndTheCountSaid();

private:
    // Records with two daily copies (one product, then two), a third product, damage, and a
    // newer copy that is damaged too.
    void prepareDamagedWithCopies(TemporaryDatabase &records);
};

void DataFileStartupTest::prepareDamagedWithCopies(TemporaryDatabase &records)
{
    QVERIFY(productNames(records.path()).isEmpty());
    addProduct(records, QStringLiteral("мука"));
    DataBackup backup(records.path());
    QVERIFY(!backup.makeCopy(Start.addDays(-2)).isEmpty());
    addProduct(records, QStringLiteral("сахар"));
    QVERIFY(!backup.makeCopy(Start.addDays(-1)).isEmpty());
    addProduct(records, QStringLiteral("соль"));
    QVERIFY(records.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
        "INSERT INTO event (text) SELECT printf('%0200d', i) FROM n")));
    QVERIFY(records.overwritePages(2, 4));
    QFile damagedCopy(backup.folder() + QStringLiteral("/data-20261209-050000.db"));
    QVERIFY(damagedCopy.open(QIODevice::WriteOnly) && damagedCopy.write(QByteArray(4096, 'x')));
}

void DataFileStartupTest::damagedFileIsKeptAsideAndNewestCopyRestoredOnConsent()
{
    TemporaryDatabase records;
    prepareDamagedWithCopies(records);
    ScriptedAnswers person {QStringLiteral("Да"), {}};
    QFile log(records.path() + QStringLiteral("-wal"));
    QVERIFY(log.open(QIODevice::WriteOnly) && log.write("log"));
    log.close();

    DataFileStartup startup(records.path(), person.prompts());
    QCOMPARE(startup.run(Start), DataFileStartup::Outcome::Restored);

    // The question, then what the kept file gave back.
    QCOMPARE(person.shown.size(), 2);
    const QStringList aside =
        QDir(records.folderPath())
            .entryList({QStringLiteral("data.db.damaged-*[0-9]")}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QVERIFY2(person.shown.first().contains(QDir(records.folderPath()).filePath(aside.first())),
             qPrintable(person.shown.first()));
    QVERIFY(person.shown.first().contains(QStringLiteral("08.12.2026")));
    QVERIFY(
        QFile::exists(QDir(records.folderPath()).filePath(aside.first() + QStringLiteral("-wal"))));
    QCOMPARE(productNames(records.path()),
             (QStringList {QStringLiteral("мука"), QStringLiteral("сахар")}));
}

void DataFileStartupTest::declinedCopyStartsOnEmptyFile()
{
    TemporaryDatabase records;
    prepareDamagedWithCopies(records);
    ScriptedAnswers person {QStringLiteral("Нет"), {}};

    QCOMPARE(DataFileStartup(records.path(), person.prompts()).run(Start),
             DataFileStartup::Outcome::StartedEmpty);
    QCOMPARE(person.shown.size(), 2);
    // Only what could still be read of the damaged file.
    const QStringList all {QStringLiteral("мука"), QStringLiteral("сахар"), QStringLiteral("соль")};
    for (const QString &name : productNames(records.path()))
        QVERIFY(all.contains(name));
    // The copies are still there to be restored by hand.
    QCOMPARE(DataBackup(records.path()).copies().size(), 3);
}

void DataFileStartupTest::withoutCopyConsoleStartsOnEmptyFile()
{
    TemporaryDatabase records;
    records.spoil(TemporaryDatabase::Broken::NotADatabase);
    ScriptedAnswers person {QStringLiteral("Да"), {}};

    QCOMPARE(DataFileStartup(records.path(), person.prompts()).run(Start),
             DataFileStartup::Outcome::StartedEmpty);
    QCOMPARE(person.shown.size(), 1);
    QVERIFY(person.shown.first().contains(records.path() + QStringLiteral(".damaged-")));
    QVERIFY(QFile::exists(records.path() + QStringLiteral(".damaged-20261209-060000")));
    QCOMPARE(productNames(records.path()), QStringList());
}

void DataFileStartupTest::fileAboutToGainTablesIsCopiedFirst()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    addProduct(records, QStringLiteral("мука"));

    ScriptedAnswers person {QStringLiteral("Да"), {}};
    QCOMPARE(DataFileStartup(records.path(), person.prompts()).run(Start),
             DataFileStartup::Outcome::Sound);
    QVERIFY(person.shown.isEmpty());
    const QStringList copies = DataBackup(records.path()).copies();
    QCOMPARE(copies.size(), 1);
    // The tables are there for the console, and its statistics summed up by day.
    QVERIFY(Database(records.path()).hasAllTables());
    // Once the console has added the tables, the next start copies nothing.
    QVERIFY(Database(records.path()).createTables());
    QCOMPARE(DataFileStartup(records.path()).run(Start.addSecs(60)),
             DataFileStartup::Outcome::Sound);
    QCOMPARE(DataBackup(records.path()).copies(), copies);
    // The copy is the file as it was: without the tables the console adds.
    Database copy(copies.first());
    QVERIFY(!copy.hasAllTables());
    QCOMPARE(productNames(copies.first()), QStringList {QStringLiteral("мука")});
}

void DataFileStartupTest::fileBehindItsMarkIsFoundAndIdsNeverGoBack()
{
    TemporaryDatabase records;
    const QString older = records.folderPath() + QStringLiteral("/older.db");
    QCOMPARE(runButch(records.path(), Start, true), 1);
    QVERIFY(QFile::copy(records.path(), older));
    QCOMPARE(runButch(records.path(), Start.addSecs(600), true), 2);
    QCOMPARE(runButch(records.path(), Start.addSecs(1200), false), 3);
    const qint64 events = count(records.path(), QStringLiteral("event"));

    // The third batch's copy never came: the newest copy is the second's. Declined, the file
    // put back goes on as it is, with what the file kept aside holds.
    QVERIFY(putBack(records.path(), older));
    ScriptedAnswers person {QStringLiteral("Нет"), {}};
    QCOMPARE(DataFileStartup(records.path(), person.prompts()).run(Start.addSecs(1800)),
             DataFileStartup::Outcome::StartedEmpty);
    QCOMPARE(person.shown.size(), 2);
    QVERIFY2(person.shown.first().contains(QStringLiteral("№3")), qPrintable(person.shown.first()));
    QCOMPARE(count(records.path(), QStringLiteral("butch")), 1);
    // Told how many could not be brought back, and the numbers go on above the lost ones.
    QVERIFY2(person.shown.last().contains(QStringLiteral("партий 2")),
             qPrintable(person.shown.last()));
    QCOMPARE(runButch(records.path(), Start.addSecs(2400), false), 4);
    {
        Database database(records.path());
        database.execQuery(QStringLiteral("SELECT min(idEvent) FROM event WHERE idButch = 4"));
        QVERIFY(database.result().value(0, 0).toLongLong() > events);
        // The seal published with a lost batch no longer stands for the journal.
        const KnownSeal known = KnownSeal::read(records.path());
        QVERIFY(!known.isSet() || KnownSeal::row(database, known.id).seal == known.seal);
    }

    // Once accepted the file is not behind again; an old copy put back later is, and the
    // newest copy, taken, brings back every batch it holds.
    ScriptedAnswers nobody {QStringLiteral("Да"), {}};
    QCOMPARE(DataFileStartup(records.path(), nobody.prompts()).run(Start.addSecs(3000)),
             DataFileStartup::Outcome::Sound);
    QVERIFY(nobody.shown.isEmpty());
    QCOMPARE(runButch(records.path(), Start.addSecs(3600), true), 5);
    QVERIFY(putBack(records.path(), older));
    QCOMPARE(DataFileStartup(records.path(), nobody.prompts()).run(Start.addSecs(4200)),
             DataFileStartup::Outcome::Restored);
    QCOMPARE(count(records.path(), QStringLiteral("butch")), 3);
    QCOMPARE(count(records.path(), QStringLiteral("dose")), 9);
    QCOMPARE(runButch(records.path(), Start.addSecs(4800), false), 6);
}

void DataFileStartupTest::damagedFileGivesBackEveryReadableBatch()
{
    TemporaryDatabase records;
    QCOMPARE(runButch(records.path(), Start, true), 1);
    QCOMPARE(runButch(records.path(), Start.addSecs(600), false), 2);
    QCOMPARE(runButch(records.path(), Start.addSecs(1200), false), 3);
    const qint64 events = count(records.path(), QStringLiteral("event"));
    // A damaged index: every row is still in its table.
    const QStringList root = records.select(
        QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = 'doseButch'"));
    QCOMPARE(root.size(), 1);
    QVERIFY(records.overwritePages(root.first().toInt(), 1));

    ScriptedAnswers person {QStringLiteral("Да"), {}};
    QCOMPARE(DataFileStartup(records.path(), person.prompts()).run(Start.addSecs(1800)),
             DataFileStartup::Outcome::Restored);
    QCOMPARE(person.shown.size(), 2);
    QVERIFY2(person.shown.last().contains(QStringLiteral("партий 2, доз 6")),
             qPrintable(person.shown.last()));
    QCOMPARE(count(records.path(), QStringLiteral("butch")), 3);
    QCOMPARE(count(records.path(), QStringLiteral("dose")), 9);
    QCOMPARE(count(records.path(), QStringLiteral("event")), events + 1);
    QVERIFY(DataFileStartup(records.path(), person.prompts()).run(Start.addSecs(2400))
            == DataFileStartup::Outcome::Sound);
    QCOMPARE(records.select(QStringLiteral("PRAGMA integrity_check")),
             QStringList {QStringLiteral("ok")});
    QCOMPARE(runButch(records.path(), Start.addSecs(3000), false), 4);
}

void DataFileStartupTest::fileCutInHalfIsSalvagedAndTheCountSaid()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    QVERIFY(!DataBackup(records.path()).makeCopy(Start).isEmpty());
    for (int batch = 1; batch <= 12; ++batch)
        QCOMPARE(runButch(records.path(), Start.addSecs(600 * batch), false), batch);
    QVERIFY(records.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
        "INSERT INTO event (text) SELECT printf('%0200d', i) FROM n")));
    const qint64 doses = count(records.path(), QStringLiteral("dose"));
    QFile file(records.path());
    QVERIFY(file.resize(file.size() / 2));

    // The day's copy from before the batches: all that comes back is what could be read, and
    // the count says so.
    ScriptedAnswers person {QStringLiteral("Нет"), {}};
    QCOMPARE(DataFileStartup(records.path(), person.prompts()).run(Start.addDays(1)),
             DataFileStartup::Outcome::StartedEmpty);
    const qint64 butches = count(records.path(), QStringLiteral("butch"));
    const qint64 kept = count(records.path(), QStringLiteral("dose"));
    QVERIFY2(butches > 0 && kept <= doses, qPrintable(person.shown.join("\n")));
    QVERIFY2(
        person.shown.last().contains(QStringLiteral("партий %1, доз %2").arg(butches).arg(kept)),
        qPrintable(person.shown.last()));
    QVERIFY2(person.shown.last().contains(QStringLiteral("доз %1").arg(doses - kept)),
             qPrintable(person.shown.last()));
    QCOMPARE(records.select(QStringLiteral("PRAGMA integrity_check")),
             QStringList {QStringLiteral("ok")});
    QVERIFY(runButch(records.path(), Start.addDays(1), false) > 12);
}

QTEST_MAIN(DataFileStartupTest)
#include "tst_datafilestartup.moc"
