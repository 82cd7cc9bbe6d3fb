// The formulas in data.db: kept whole and in order, replaced by name, removed with their
// components, and a file of records copied before it gains their tables.
#include "databackup.h"
#include "database.h"
#include "formulastore.h"
#include "temporarydatabase.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

const QDateTime Morning(QDate(2026, 12, 1), QTime(8, 0));

Formula mixB()
{
    Formula formula;
    formula.name = QStringLiteral("Смесь \"Б\"; DROP TABLE formula; --");
    formula.baseSize = 300;
    formula.largestBatch = 120.5;
    formula.keepRatio = true;
    formula.lotPattern = QStringLiteral("Б-%Y%m%d-'%N'");
    formula.components = {
        {QStringLiteral("Мука"), 30, 60, 0.5, 0.25, 1},
        {QStringLiteral("Сахар"), 31, 35, 0.2, 0.2, 1},
        {QStringLiteral("Соль"), 32, 2.5, 0.01, 0.02, 1},
        {QStringLiteral("Соль"), 32, 2.5, 0.01, 0.02, 2},
    };
    return formula;
}

void compareFormulas(const Formula &actual, const Formula &expected)
{
    QCOMPARE(actual.name, expected.name);
    QCOMPARE(actual.baseSize, expected.baseSize);
    QCOMPARE(actual.largestBatch, expected.largestBatch);
    QCOMPARE(actual.keepRatio, expected.keepRatio);
    QCOMPARE(actual.lotPattern, expected.lotPattern);
    QCOMPARE(actual.components.size(), expected.components.size());
    for (int i = 0; i < expected.components.size(); ++i) {
        const FormulaComponent &a = actual.components.at(i);
        const FormulaComponent &e = expected.components.at(i);
        QCOMPARE(a.product, e.product);
        QCOMPARE(a.doser, e.doser);
        QCOMPARE(a.share, e.share);
        QCOMPARE(a.plusTolerance, e.plusTolerance);
        QCOMPARE(a.minusTolerance, e.minusTolerance);
        QCOMPARE(a.order, e.order);
    }
}

QStringList backupCopies(const TemporaryDatabase &records)
{
    return DataBackup(records.path()).copies();
}

} // namespace

class tst_FormulaStore : public QObject
{
    Q_OBJECT

private slots:
    void formulaComesBackWholeByIdAndByName();
    void savingByNameReplacesARenameKeepsTheIdAndRemovingTakesAll();
    void fileWithoutTheTablesHasNoFormulasAndIsNotChangedByReading();
    void fileWithRecordsIsCopiedOnceBeforeItGainsTheTables_data();
    void fileWithRecordsIsCopiedOnceBeforeItGainsTheTables();
    void noCopyNoTables();
    void saveFailingPartWayLeavesTheStoredFormulaAsItWas();
};

void tst_FormulaStore::formulaComesBackWholeByIdAndByName()
{
    TemporaryDatabase records;
    Database database(records.path());
    FormulaStore store(database);
    const Formula written = mixB();

    qint64 id = 0;
    const WriteResult saved = store.save(written, &id);
    QVERIFY2(saved.isDone(), qPrintable(saved.reason()));
    QVERIFY(id > 0);

    const std::optional<Formula> byId = store.loadById(id);
    QVERIFY(byId);
    QCOMPARE(byId->id, id);
    compareFormulas(*byId, written);
    const std::optional<Formula> byName = store.loadByName(written.name);
    QVERIFY(byName);
    QCOMPARE(byName->id, id);
    compareFormulas(*byName, written);

    QVERIFY(!store.loadById(id + 1));
    QVERIFY(!store.loadByName(QStringLiteral("Смесь")));
    QCOMPARE(store.names(), QStringList {written.name});
}

void tst_FormulaStore::savingByNameReplacesARenameKeepsTheIdAndRemovingTakesAll()
{
    TemporaryDatabase records;
    Database database(records.path());
    FormulaStore store(database);
    Formula formula = mixB();
    formula.name = QStringLiteral("Б");
    qint64 first = 0;
    QVERIFY(store.save(formula, &first).isDone());

    // The same name again, as a new formula: the stored one is replaced, its id kept.
    Formula smaller = formula;
    smaller.components.removeLast();
    smaller.baseSize = 150;
    qint64 again = 0;
    QVERIFY(store.save(smaller, &again).isDone());
    QCOMPARE(again, first);
    compareFormulas(*store.loadById(first), smaller);

    Formula other = mixB();
    other.name = QStringLiteral("В");
    other.components = {other.components.first()};
    qint64 otherId = 0;
    QVERIFY(store.save(other, &otherId).isDone());
    QVERIFY(otherId != first);

    // "Б" renamed to "В": it keeps its id, and the former "В" is gone with its components.
    Formula renamed = *store.loadById(first);
    renamed.name = QStringLiteral("В");
    qint64 renamedId = 0;
    QVERIFY(store.save(renamed, &renamedId).isDone());
    QCOMPARE(renamedId, first);
    QCOMPARE(store.names(), QStringList {QStringLiteral("В")});
    QVERIFY(!store.loadById(otherId));
    compareFormulas(*store.loadByName(QStringLiteral("В")), renamed);
    QCOMPARE(records.select("SELECT count(*) FROM formulaComponent"),
             QStringList {QString::number(renamed.components.size())});

    QVERIFY(store.remove(first).isDone());
    QVERIFY(store.names().isEmpty());
    QCOMPARE(records.select("SELECT count(*) FROM formulaComponent"), QStringList {"0"});
    // Gone already: nothing to do.
    QVERIFY(store.remove(first).isDone());
}

void tst_FormulaStore::fileWithoutTheTablesHasNoFormulasAndIsNotChangedByReading()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    Database database(records.path());
    FormulaStore store(database);

    QVERIFY(store.names().isEmpty());
    QVERIFY(!store.loadByName(QStringLiteral("Б")));
    QCOMPARE(store.idOf(QStringLiteral("Б")), 0);
    QVERIFY(store.remove(1).isDone());
    QVERIFY(!store.hasTables());
    QVERIFY(backupCopies(records).isEmpty());
}

void tst_FormulaStore::fileWithRecordsIsCopiedOnceBeforeItGainsTheTables_data()
{
    QTest::addColumn<QString>("records");
    QTest::addColumn<int>("copies");

    QTest::newRow("a batch") << "INSERT INTO butch (date) VALUES ('01.12.2026')" << 1;
    QTest::newRow("a product") << "INSERT INTO product (productName) VALUES ('Мука')" << 1;
    QTest::newRow("tables without rows") << "" << 0;
}

void tst_FormulaStore::fileWithRecordsIsCopiedOnceBeforeItGainsTheTables()
{
    QFETCH(QString, records);
    QFETCH(int, copies);
    TemporaryDatabase file;
    QVERIFY(file.createTables());
    if (!records.isEmpty())
        QVERIFY(file.exec(records));
    Database database(file.path());
    FormulaStore store(database);

    QVERIFY(store.createTables(Morning).isDone());
    QVERIFY(store.hasTables());
    QVERIFY(store.save(mixB()).isDone());
    QVERIFY(store.save(mixB()).isDone());

    const QStringList made = backupCopies(file);
    QCOMPARE(made.size(), copies);
    if (copies == 0)
        return;
    // The copy is the file as it was: its records, no formula tables.
    Database copy(made.first());
    QVERIFY(!FormulaStore(copy).hasTables());
    QVERIFY(copy.execQuery(QStringLiteral("SELECT (SELECT count(*) FROM butch) + (SELECT "
                                          "count(*) FROM product)")));
    QCOMPARE(copy.result().value(0, 0), QStringLiteral("1"));
}

void tst_FormulaStore::noCopyNoTables()
{
    TemporaryDatabase records;
    QVERIFY(records.createTables());
    QVERIFY(records.exec("INSERT INTO product (productName) VALUES ('Мука')"));
    // Where the copies go there is a file: no copy can be made.
    QFile blocker(DataBackup(records.path()).folder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Database database(records.path());
    FormulaStore store(database);

    const WriteResult saved = store.save(mixB());
    QVERIFY(!saved.isDone());
    QVERIFY(!saved.reason().isEmpty());
    QVERIFY(!store.hasTables());
}

void tst_FormulaStore::saveFailingPartWayLeavesTheStoredFormulaAsItWas()
{
    TemporaryDatabase records;
    Database database(records.path());
    FormulaStore store(database);
    Formula stored = mixB();
    qint64 id = 0;
    QVERIFY(store.save(stored, &id).isDone());
    // The disk refuses the third component of the next save.
    QVERIFY(records.exec("CREATE TRIGGER refuse BEFORE INSERT ON formulaComponent WHEN "
                         "NEW.position = 2 BEGIN SELECT RAISE(ABORT, 'disk full'); END"));

    Formula changed = stored;
    changed.baseSize = 500;
    changed.components.first().share = 55;
    changed.components[1].share = 40;
    const WriteResult saved = store.save(changed);
    QVERIFY(!saved.isDone());
    QVERIFY(saved.reason().contains(QStringLiteral("disk full")));
    compareFormulas(*store.loadById(id), stored);
}

QTEST_GUILESS_MAIN(tst_FormulaStore)
#include "tst_formulastore.moc"
