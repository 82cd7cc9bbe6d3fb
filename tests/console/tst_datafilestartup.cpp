// data.db at the console's start: a damaged file kept aside and the operator told once, the
// newest copy restored only on consent, an empty file otherwise, a copy before new tables.
#include "databackup.h"
#include "database.h"
#include "datafilestartup.h"
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

    QCOMPARE(person.shown.size(), 1);
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
    QCOMPARE(person.shown.size(), 1);
    QCOMPARE(productNames(records.path()), QStringList());
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

QTEST_MAIN(DataFileStartupTest)
#include "tst_datafilestartup.moc"
