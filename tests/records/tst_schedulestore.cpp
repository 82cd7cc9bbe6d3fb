#include "database.h"
#include "schedulestore.h"
#include "temporarydatabase.h"

#include <QTest>

#include <memory>

using State = ScheduleEntry::State;

class tst_ScheduleStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void waitingEntriesAreReorderedAndRemovedButARunningOneStays();
    void progressComesFromTheBatchesOpenedForAnEntryAndARepeatedOrderIsRefused();

private:
    qint64 add(const QString &formula, int count, const QString &orderId = {});
    QList<qint64> order();
    // A batch opened for the entry, as the batch's own records would write it.
    void openButch(int id, qint64 entry);

    std::unique_ptr<TemporaryDatabase> files;
    std::unique_ptr<Database> database;
    std::unique_ptr<ScheduleStore> store;
};

void tst_ScheduleStore::init()
{
    files = std::make_unique<TemporaryDatabase>();
    database = std::make_unique<Database>(files->path());
    QVERIFY(database->createTables());
    store = std::make_unique<ScheduleStore>(*database);
}

qint64 tst_ScheduleStore::add(const QString &formula, int count, const QString &orderId)
{
    ScheduleEntry entry;
    entry.formulaName = formula;
    entry.size = QStringLiteral("300.00");
    entry.count = count;
    entry.orderId = orderId;
    return store->add(entry).isDone() ? entry.id : 0;
}

QList<qint64> tst_ScheduleStore::order()
{
    QList<qint64> ids;
    for (const ScheduleEntry &entry : store->entries())
        ids << entry.id;
    return ids;
}

void tst_ScheduleStore::openButch(int id, qint64 entry)
{
    QVERIFY(files->exec("INSERT INTO butch (idButch, date, startTime, endTime, endDate) VALUES "
                        "(?1, '09.12.2026', '08:00', '', '')",
                        {QString::number(id)}));
    QVERIFY(files->exec("INSERT INTO scheduleButch (idButch, idEntry) VALUES (?1, ?2)",
                        {QString::number(id), QString::number(entry)}));
}

void tst_ScheduleStore::waitingEntriesAreReorderedAndRemovedButARunningOneStays()
{
    const qint64 b = add("Смесь Б", 4);
    const qint64 c = add("Смесь В", 2);
    const qint64 d = add("Смесь Г", 1);
    QCOMPARE(order(), QList<qint64>({b, c, d}));
    QVERIFY(store->move(d, -2).isDone());
    QCOMPARE(order(), QList<qint64>({d, b, c}));
    // Past the end it stops at the end.
    QVERIFY(store->move(d, 5).isDone());
    QCOMPARE(order(), QList<qint64>({b, c, d}));

    // A batch opened for the second: it runs, shows first, and neither moves nor goes.
    openButch(7, c);
    QCOMPARE(store->entry(c)->state, State::Running);
    QCOMPARE(order().first(), c);
    QVERIFY(!store->move(c, 1).isDone());
    QVERIFY(!store->remove(c).isDone());
    QVERIFY(store->remove(b).isDone());
    QCOMPARE(order(), QList<qint64>({c, d}));
    QCOMPARE(store->next()->id, c);
}

void tst_ScheduleStore::progressComesFromTheBatchesOpenedForAnEntryAndARepeatedOrderIsRefused()
{
    const qint64 b = add("Смесь Б", 2, "MES-17");
    QVERIFY(b != 0);
    QCOMPARE(add("Смесь Б", 2, "MES-17"), 0);
    QVERIFY(store->hasOrder("MES-17"));

    // The first batch ended, the second open when the console went down: one done, the open
    // one continued rather than run again.
    openButch(11, b);
    QVERIFY(files->exec("UPDATE butch SET endTime = '09:00', endDate = '09.12.2026' WHERE "
                        "idButch = 11"));
    openButch(12, b);
    ScheduleEntry entry = *store->entry(b);
    QCOMPARE(entry.done, 1);
    QCOMPARE(entry.openButch, qint64(12));
    QCOMPARE(store->next()->id, b);
    // The operator's stop holds until the work goes on; the batch's end finishes the entry.
    QVERIFY(store->setState(b, State::Stopped, "Останов").isDone());
    QCOMPARE(store->entry(b)->state, State::Stopped);
    QVERIFY(files->exec("UPDATE butch SET endTime = '10:00', endDate = '09.12.2026' WHERE "
                        "idButch = 12"));
    QCOMPARE(store->entry(b)->state, State::Done);
    QVERIFY(!store->next().has_value());
    // A refused order keeps its reason and is never run.
    const qint64 refused = add("Смесь Х", 1, "MES-18");
    QVERIFY(store->setState(refused, State::Refused, "неизвестная рецептура").isDone());
    QCOMPARE(store->entry(refused)->reason, QString("неизвестная рецептура"));
    QVERIFY(!store->next().has_value());

    // Neither the done nor the refused count towards the most the schedule keeps open.
    for (int more = 0; more < ScheduleStore::MaxOpen; ++more)
        QVERIFY(add("Смесь Б", 1) != 0);
    QCOMPARE(add("Смесь Б", 1), 0);
}

QTEST_GUILESS_MAIN(tst_ScheduleStore)
#include "tst_schedulestore.moc"
