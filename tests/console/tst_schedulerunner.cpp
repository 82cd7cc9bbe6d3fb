#include "batchrun.h"
#include "database.h"
#include "fakebatchdoser.h"
#include "formulastore.h"
#include "schedulerunner.h"
#include "temporarydatabase.h"

#include <QTest>

#include <memory>

namespace {

using Answer = BatchOperator::Answer;

const QString NewWork = QStringLiteral("Начать новую работу?");
const QString Restore = QStringLiteral("Последнее задание не завершено.\nВосстановить данные?");
const QString StopQuestion =
    QStringLiteral("ВНИМАНИЕ!!! При остановке работы ковши будут автоматически разгружены.\n"
                   "Остановить выполнение текущего задания?");
constexpr int Dosers = 3;

// The schedule on three fake dosers at 30, 31 and 32 (limit 30, tolerances 0.50 / 0.30), running
// on its own: the fakes fill exactly and stand empty after each batch.
struct ScheduleBench
{
    explicit ScheduleBench(TemporaryDatabase &files)
    {
        database = std::make_unique<Database>(files.path());
        database->createTables();
        run = std::make_unique<BatchRun>(line, person, *database, image);
        line.attach(run.get());
        for (int p = 0; p < Dosers; ++p) {
            run->setScale(p, FakeBatchDoser::Decimals);
            run->setWeighingLimit(p, 30);
            run->setUnit(p, QStringLiteral("кг"));
            run->setPlusTolerance(p, QStringLiteral("0.50"));
            run->setMinusTolerance(p, QStringLiteral("0.30"));
        }
        // As the window does: a restored task's product becomes its doser's.
        QObject::connect(run.get(), &BatchRun::productWanted, run.get(),
                         [this](int p, const QString &product) { line[p].product = product; });
        person.answers.insert(NewWork, Answer::Yes);
        person.answers.insert(StopQuestion, Answer::Yes);
        person.answers.insert(Restore, Answer::Yes);
        runner = std::make_unique<ScheduleRunner>(
            *run, *database, person,
            [this] {
                QList<LineCapacity> capacities;
                for (int p = 0; p < Dosers; ++p)
                    capacities.append({line[p].id, 30, FakeBatchDoser::Decimals, true, QString()});
                return capacities;
            },
            [] { return true; });
        runner->setAutomatic(true);
    }
    // Ticks the line, the console's event loop going on between ticks, until the condition.
    bool until(const std::function<bool()> &condition)
    {
        return line.tickUntil([&] {
            QCoreApplication::processEvents();
            return condition();
        });
    }
    QStringList select(TemporaryDatabase &files, const QString &sql) { return files.select(sql); }

    std::unique_ptr<Database> database;
    ProcessImage image {Dosers};
    FakeLine line {Dosers};
    FakeOperator person;
    std::unique_ptr<BatchRun> run;
    std::unique_ptr<ScheduleRunner> runner;
};

qint64 addEntry(Database &database, const QString &formula, const QString &product,
                const QString &size, int count)
{
    ScheduleEntry entry;
    entry.formulaName = formula;
    entry.productName = product;
    entry.deviceId = 31;
    entry.size = size;
    entry.count = count;
    entry.lotPattern = QStringLiteral("Q{NN}");
    return ScheduleStore(database).add(entry).isDone() ? entry.id : 0;
}

} // namespace

class tst_ScheduleRunner : public QObject
{
    Q_OBJECT

private slots:
    void entriesRunInOrderAndAStopAndARestartGoOnWithoutRepeatingABatch();
    void scheduleOnItsOwnTakesAnEntryAddedAfterItRanOut();
    void goingOnWithTheStoppedBatchGoesOnWithTheScheduleUnlessTheOperatorStoppedIt();
};

void tst_ScheduleRunner::entriesRunInOrderAndAStopAndARestartGoOnWithoutRepeatingABatch()
{
    TemporaryDatabase files;
    qint64 mix = 0;
    qint64 sugar = 0;
    qint64 last = 0;
    {
        ScheduleBench bench(files);
        Formula formula;
        formula.name = QStringLiteral("Смесь Б");
        formula.baseSize = 100;
        formula.components = {{"Мука", 30, 70, 0.5, 0.3, 1}, {"Соль", 32, 30, 0.5, 0.3, 1}};
        QVERIFY(FormulaStore(*bench.database).save(formula).isDone());
        mix = addEntry(*bench.database, "Смесь Б", QString(), "50", 1);
        sugar = addEntry(*bench.database, QString(), "Сахар", "40", 2);
        last = addEntry(*bench.database, "Смесь Б", QString(), "20", 1);

        bench.runner->start();
        bench.line.deliver();
        // Into the second entry's second batch, then the operator stops the work.
        QVERIFY(bench.until([&] {
            return files
                       .select("SELECT count(*) FROM scheduleButch WHERE idEntry = "
                               + QString::number(sugar))
                       .value(0)
                   == "2";
        }));
        QVERIFY(bench.until([&] { return bench.line[1].fills().size() >= 3; }));
        // Counted in the schedule's order, whatever order the window lists them in.
        QCOMPARE(bench.runner->progress().entry, 2);
        QCOMPARE(bench.runner->progress().batchesDone, 1);
        bench.run->stop();
        QVERIFY(!bench.runner->isRunning());
        QCOMPARE(ScheduleStore(*bench.database).entry(sugar)->state, ScheduleEntry::State::Stopped);
    }
    // The console goes down and comes back: the stopped batch is restored and the schedule goes
    // on from it.
    ScheduleBench bench(files);
    bench.run->restoreLastSession();
    bench.runner->start();
    bench.line.deliver();
    QVERIFY(bench.until([&] {
        return ScheduleStore(*bench.database).entry(last)->state == ScheduleEntry::State::Done;
    }));

    // Four batches, each of its entry, in the schedule's order, each with a lot of its own.
    const QStringList batches = files.select(
        "SELECT l.idEntry, b.lot, b.endTime != '' FROM scheduleButch l JOIN butch b USING "
        "(idButch) ORDER BY idButch");
    const QStringList expected = {QString::number(mix), QString::number(sugar),
                                  QString::number(sugar), QString::number(last)};
    QStringList entries;
    QSet<QString> lots;
    for (int row = 0; row < batches.size() / 3; ++row) {
        entries << batches.at(3 * row);
        lots.insert(batches.at(3 * row + 1));
        QCOMPARE(batches.at(3 * row + 2), QString("1"));
    }
    QCOMPARE(entries, expected);
    QCOMPARE(lots.size(), 4);
    // The sugar's two batches hold what its doser discharged for them, nothing twice.
    const QString sugarDelivered =
        files.select("SELECT sum(haveDoneWeight) FROM task WHERE productName = 'Сахар'").value(0);
    QVERIFY2(qAbs(sugarDelivered.toDouble() - 80) < 1, qPrintable(sugarDelivered));
    QVERIFY(!bench.runner->isRunning() || bench.runner->isAutomatic());
}

void tst_ScheduleRunner::scheduleOnItsOwnTakesAnEntryAddedAfterItRanOut()
{
    TemporaryDatabase files;
    ScheduleBench bench(files);
    const qint64 first = addEntry(*bench.database, QString(), "Сахар", "10", 1);
    bench.runner->start();
    bench.line.deliver();
    const auto done = [&bench](qint64 id) {
        return ScheduleStore(*bench.database).entry(id)->state == ScheduleEntry::State::Done;
    };
    QVERIFY(bench.until([&] { return done(first); }));
    QVERIFY(bench.runner->isRunning());
    QCOMPARE(bench.runner->progress().entry, 0);

    const qint64 second = addEntry(*bench.database, QString(), "Сахар", "12", 1);
    bench.runner->entriesAdded();
    QVERIFY(bench.run->isRunning());
    QVERIFY(bench.until([&] { return done(second); }));
    QCOMPARE(files.select("SELECT count(*) FROM butch").value(0), QString("2"));

    // An entry added while a batch runs by hand goes once that batch has ended.
    QVERIFY(bench.until([&] { return !bench.run->isRunning(); }));
    bench.run->startFormula({QString(), 8, false, {{0, 31, "Соль", 8, 0.5, 0.3, 1}}});
    QVERIFY(bench.run->isRunning());
    const qint64 third = addEntry(*bench.database, QString(), "Сахар", "14", 1);
    bench.runner->entriesAdded();
    QVERIFY(bench.until([&] { return done(third); }));
    QCOMPARE(files.select("SELECT count(*) FROM butch").value(0), QString("4"));
}

void tst_ScheduleRunner::goingOnWithTheStoppedBatchGoesOnWithTheScheduleUnlessTheOperatorStoppedIt()
{
    TemporaryDatabase files;
    ScheduleBench bench(files);
    const qint64 first = addEntry(*bench.database, QString(), "Сахар", "40", 1);
    addEntry(*bench.database, QString(), "Сахар", "10", 1);
    bench.runner->start();
    bench.line.deliver();
    QVERIFY(bench.until([&] { return !bench.line[1].fills().isEmpty(); }));
    bench.run->stop();
    QVERIFY(!bench.runner->isRunning());
    bench.run->continueWork();
    QVERIFY(bench.runner->isRunning());
    QCOMPARE(bench.runner->progress().entry, 1);

    // Stopped by the operator, the schedule lets its batch end and begins nothing more, however
    // the batch is stopped and continued meanwhile.
    bench.runner->stop(QStringLiteral("оператор"));
    bench.run->stop();
    bench.run->continueWork();
    QVERIFY(!bench.runner->isRunning());
    QVERIFY(bench.until([&] { return ScheduleStore(*bench.database).entry(first)->done == 1; }));
    QCoreApplication::processEvents();
    QVERIFY(!bench.run->isRunning());
    QCOMPARE(files.select("SELECT count(*) FROM butch").value(0), QString("1"));
}

QTEST_GUILESS_MAIN(tst_ScheduleRunner)
#include "tst_schedulerunner.moc"
