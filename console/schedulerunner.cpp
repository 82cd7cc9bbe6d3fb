#include "schedulerunner.h"

#include "batchrun.h"
#include "database.h"
#include "formulastore.h"
#include "lotnumbers.h"
#include "schedulecheck.h"

#include <QTimer>

#include <algorithm>

namespace {

// How often a schedule that runs on its own looks whether the line has come to rest.
constexpr int RestCheckMs = 500;

QString describe(const ScheduleEntry &entry)
{
    const QString what = entry.formulaName.isEmpty() ? entry.productName : entry.formulaName;
    return QStringLiteral("%1, %2, партия %3 из %4")
        .arg(what, entry.size)
        .arg(entry.done + 1)
        .arg(entry.count);
}

} // namespace

ScheduleRunner::ScheduleRunner(BatchRun &batchRun, Database &records, BatchOperator &panel,
                               LineView lineView, AtRest lineAtRest, QObject *parent)
    : QObject(parent)
    , batch(batchRun)
    , database(records)
    , person(panel)
    , store(records)
    , line(std::move(lineView))
    , atRest(std::move(lineAtRest))
{
    connect(&batch, &BatchRun::stateChanged, this, &ScheduleRunner::batchStateChanged);
}

ScheduleRunner::Progress ScheduleRunner::progress()
{
    Progress shown;
    shown.running = running;
    // Counted in the schedule's order: the entries done before the one in work come first.
    QList<ScheduleEntry> entries = store.entries();
    std::sort(entries.begin(), entries.end(),
              [](const ScheduleEntry &a, const ScheduleEntry &b) { return a.place < b.place; });
    for (const ScheduleEntry &entry : entries) {
        if (entry.state == ScheduleEntry::State::Refused)
            continue;
        ++shown.entries;
        if (entry.id == current) {
            shown.entry = shown.entries;
            shown.batchesDone = entry.done;
            shown.batches = entry.count;
        }
    }
    return shown;
}

void ScheduleRunner::start()
{
    if (running || batch.isRunning())
        return;
    held = false;
    const std::optional<ScheduleEntry> next = store.next();
    if (!next) {
        person.inform(QStringLiteral("В очереди нет заданий."));
        return;
    }
    running = true;
    // The entry whose batch stands (stopped, or cut off by a restart and restored) goes on with
    // that batch rather than opening another.
    if (next->openButch != 0 && batch.state() == BatchState::Stopped
        && batch.currentButchId() == quint64(next->openButch)) {
        current = next->id;
        (void)store.setState(current, ScheduleEntry::State::Running);
        batch.continueWork();
        if (!batch.isRunning())
            halt(QString());
        emit progressChanged();
        return;
    }
    runNext(true);
}

void ScheduleRunner::adoptContinuedBatch()
{
    // The operator went on with the schedule's stopped (or restored) batch at the panel: the
    // schedule goes on with it, as after "Начать очередь".
    if (held)
        return;
    const std::optional<ScheduleEntry> next = store.next();
    if (!next || next->openButch == 0 || batch.currentButchId() != quint64(next->openButch))
        return;
    running = true;
    current = next->id;
    (void)store.setState(current, ScheduleEntry::State::Running);
    emit progressChanged();
}

void ScheduleRunner::stop(const QString &reason)
{
    held = true;
    halt(reason);
}

void ScheduleRunner::halt(const QString &reason)
{
    if (!running)
        return;
    running = false;
    if (current != 0)
        (void)store.setState(current, ScheduleEntry::State::Stopped, reason);
    emit progressChanged();
}

void ScheduleRunner::entriesAdded()
{
    // Nothing in work: the last entry ended on its own and the line came to rest since.
    if (running && current == 0 && !batch.isRunning())
        runNext(true);
}

void ScheduleRunner::runNext(bool asked)
{
    if (!running || batch.isRunning())
        return;
    const std::optional<ScheduleEntry> next = store.next();
    if (!next) {
        current = 0;
        // On its own the schedule waits for more work; otherwise it is done.
        if (!automatic) {
            running = false;
            person.inform(QStringLiteral("Очередь выполнена."));
        }
        emit progressChanged();
        return;
    }
    if (!asked
        && person.ask(QStringLiteral("Следующая партия очереди: %1.\nНачать?").arg(describe(*next)))
               != BatchOperator::Answer::Yes) {
        halt(QString());
        return;
    }
    current = next->id;
    if (const QString refusal = startBatch(*next); !refusal.isEmpty()) {
        (void)store.setState(current, ScheduleEntry::State::Refused, refusal);
        running = false;
        emit entryRefused(current, refusal);
        person.inform(QStringLiteral("Задание очереди отклонено: %1").arg(refusal));
        emit progressChanged();
        return;
    }
    // Not begun (the operator said no, a doser is silent): the schedule stands at the entry.
    if (!batch.isRunning()) {
        running = false;
        emit progressChanged();
        return;
    }
    (void)store.setState(current, ScheduleEntry::State::Running);
    emit progressChanged();
}

QString ScheduleRunner::startBatch(const ScheduleEntry &entry)
{
    const QList<LineCapacity> capacities = line();
    if (const QString refusal = ScheduleCheck::refusal(database, entry, capacities);
        !refusal.isEmpty())
        return refusal;
    const double size = entry.size.toDouble();
    BatchFormula mix;
    QString pattern = entry.lotPattern;
    if (!entry.formulaName.isEmpty()) {
        const std::optional<Formula> formula = FormulaStore(database).loadByName(entry.formulaName);
        if (!formula)
            return QStringLiteral("рецептура \"%1\" не найдена").arg(entry.formulaName);
        mix = BatchFormula::of(*formula, size, capacities);
        if (pattern.isEmpty())
            pattern = formula->lotPattern;
    } else {
        int position = -1;
        for (int p = 0; p < capacities.size(); ++p) {
            if (capacities.at(p).doser == entry.deviceId)
                position = p;
        }
        const DoserWork &work = batch.work(position);
        mix.size = size;
        mix.components = {{0, entry.deviceId, entry.productName, size, work.doseFaultPlus,
                           work.doseFaultMinus, 1}};
    }
    const QString lot = entry.lot.isEmpty() ? LotNumbers(database).next(pattern) : entry.lot;
    if (const QString problem = LotNumbers::problem(lot); !problem.isEmpty())
        return QStringLiteral("номер партии: %1").arg(problem);
    batch.setLot(lot, entry.lot.isEmpty() ? pattern : QString());
    batch.setScheduleEntry(entry.id);
    batch.startFormula(mix);
    return QString();
}

void ScheduleRunner::batchStateChanged(BatchState state)
{
    if (!running && state == BatchState::Running)
        adoptContinuedBatch();
    if (!running)
        return;
    if (current == 0) {
        // Waiting on its own for work, a batch run by hand ended: what was added meanwhile goes
        // now that the line is free.
        if (state == BatchState::Finished)
            QTimer::singleShot(0, this, &ScheduleRunner::runNextAtRest);
        return;
    }
    if (state == BatchState::Stopped) {
        halt(QStringLiteral("работа остановлена"));
        return;
    }
    if (state != BatchState::Finished)
        return;
    emit progressChanged();
    // The next batch is begun once this report is over: its question runs an event loop.
    const bool onItsOwn = automatic && batch.endedWithinTolerance();
    QTimer::singleShot(0, this, [this, onItsOwn] {
        if (onItsOwn)
            runNextAtRest();
        else
            runNext(false);
    });
}

void ScheduleRunner::runNextAtRest()
{
    if (atRest()) {
        runNext(true);
        return;
    }
    // The last discharge may still be settling: look again until the line is at rest.
    auto *wait = new QTimer(this);
    connect(wait, &QTimer::timeout, this, [this, wait] {
        if (!running || batch.isRunning()) {
            wait->deleteLater();
            return;
        }
        if (atRest()) {
            wait->deleteLater();
            runNext(true);
        }
    });
    wait->start(RestCheckMs);
}

#include "moc_schedulerunner.cpp"
