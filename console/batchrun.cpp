#include "batchrun.h"

#include "consolelog.h"
#include "database.h"
#include "datafileaccess.h"
#include "lotnumbers.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>

#include <cmath>

namespace {

// A residue below this share of the plus tolerance is product dust, not a delivery.
constexpr double CountedResidueShare = 0.25;
// A discharge report below this share of the fills known to be in the hopper cannot be their
// discharge: they went out earlier, unreported.
constexpr double DoseReportShare = 0.5;
// A fill ends near its target, never far above the upper weighing limit.
constexpr double MaxFillShare = 1.5;
// A small fill misses by the product in flight more than by a share of itself: the correction
// learns only from fills of at least this share of the upper limit.
constexpr double LeastLearnedShare = 0.1;
// Fills the share of the upper limit divides exactly are not one more.
constexpr double PlanSlack = 1e-9;

const QString StopQuestion =
    QStringLiteral("ВНИМАНИЕ!!! При остановке работы ковши будут автоматически разгружены.\n"
                   "Остановить выполнение текущего задания?");

void pauseWithEvents(int ms)
{
    // Replies, timer ticks and questions are handled meanwhile; the thread sleeps in between.
    QEventLoop pause;
    QTimer::singleShot(ms, &pause, &QEventLoop::quit);
    pause.exec();
}

} // namespace

BatchRun::BatchRun(BatchLine &line, BatchOperator &person, Database &records, ProcessImage &image,
                   QObject *parent)
    : QObject(parent)
    , line(line)
    , person(person)
    , database(records)
    , image(image)
    , records(records)
    , dosers(line.doserCount())
    , corrections(records)
    , correctors(line.doserCount())
{
    for (int p = 0; p < dosers.size(); ++p)
        correctedProducts << QString();
    clock.start();
    connect(&doseTimer, &QTimer::timeout, this, &BatchRun::checkDoseDownload);
}

int BatchRun::position(int id) const
{
    for (int p = 0; p < dosers.size(); ++p) {
        if (line.deviceId(p) == id)
            return p;
    }
    return -1;
}

bool BatchRun::hasAnyTask() const
{
    for (const DoserWork &work : dosers) {
        if (!work.idle)
            return true;
    }
    return false;
}

void BatchRun::setState(BatchState state)
{
    batchState = state;
    if (state != BatchState::Running) {
        for (DoserWork &work : dosers)
            work.lastCountedMs = -1;
    }
    for (int p = 0; p < dosers.size(); ++p)
        publish(p);
    emit stateChanged(state);
}

void BatchRun::publish(int p)
{
    const DoserWork &work = dosers.at(p);
    const QString product = productOf(p);
    image.update(p, [&](DoserImage &doser) {
        BatchProgress &batch = doser.batch;
        batch.state = batchState;
        batch.butchId = butchId;
        batch.product = product;
        batch.target = Weight {work.taskWeight, work.scale};
        batch.delivered = Weight {work.haveDoneWeight, work.scale};
        batch.remaining = Weight {work.idle ? 0.0 : work.mustToBeDoneWeight, work.scale};
        batch.doseNumber = work.doseNumber;
        batch.plannedDoses = work.doseNumber + dosesStillNeeded(p);
        batch.phase = work.phase;
        batch.started = started;
        batch.lot = butchLot;
        batch.orderedDose = Weight::fromText(work.orderedDose);
        batch.plusTolerance = work.doseFaultPlus;
        batch.minusTolerance = work.doseFaultMinus;
        batch.lastDischarge = Weight {work.lastCountedWeight, work.scale};
        batch.cycleMs = work.meanCycleMs;
    });
}

void BatchRun::setScale(int p, quint8 decimals)
{
    dosers[p].scale = decimals;
    publish(p);
}

void BatchRun::setWeighingLimit(int p, double limit)
{
    dosers[p].npd = limit;
    dosers[p].npdReported = true;
    correctors[p].setWeighingLimit(limit);
}

void BatchRun::setUnit(int p, const QString &unit)
{
    dosers[p].weightScale = unit;
}

void BatchRun::setPlusTolerance(int p, const QString &value)
{
    DoserWork &work = dosers[p];
    work.reportedPlusText = value;
    if (work.component >= 0)
        return;
    work.doseFaultPlus = value.toDouble();
    work.doseFaultPlusText = value;
}

void BatchRun::setMinusTolerance(int p, const QString &value)
{
    DoserWork &work = dosers[p];
    work.reportedMinusText = value;
    if (work.component >= 0)
        return;
    work.doseFaultMinus = value.toDouble();
    work.doseFaultMinusText = value;
}

void BatchRun::releaseTolerances(int p)
{
    DoserWork &work = dosers[p];
    work.component = -1;
    work.product.clear();
    work.doseFaultPlus = work.reportedPlusText.toDouble();
    work.doseFaultPlusText = work.reportedPlusText;
    work.doseFaultMinus = work.reportedMinusText.toDouble();
    work.doseFaultMinusText = work.reportedMinusText;
}

QString BatchRun::productOf(int p) const
{
    const DoserWork &work = dosers.at(p);
    return work.component >= 0 ? work.product : line.productName(p);
}

bool BatchRun::setTaskWeight(int p, double weight)
{
    DoserWork &work = dosers[p];
    // A target below what was delivered already is no target.
    if (!work.idle && !(weight > work.haveDoneWeight))
        return false;
    work.taskWeight = weight;
    publish(p);
    return true;
}

void BatchRun::setLot(const QString &lot, const QString &pattern)
{
    nextLot = lot;
    nextLotPattern = pattern;
}

QString BatchRun::lot() const
{
    const bool open = batchState == BatchState::Running || batchState == BatchState::Stopped;
    return open ? butchLot : nextLot;
}

QString BatchRun::lotProblem() const
{
    if (nextLot.isEmpty() && !options.lotNumber)
        return QString();
    return LotNumbers::problem(nextLot);
}

void BatchRun::resetDoser(int p)
{
    dosers[p].reset();
    publish(p);
}

QString BatchRun::weightText(int p, double weight) const
{
    return QString::number(weight, 'f', dosers.at(p).scale);
}

QString BatchRun::taskText(int p) const
{
    const DoserWork &work = dosers.at(p);
    return QStringLiteral("%1: выполнено %2 из %3 %4")
        .arg(productOf(p), weightText(p, work.haveDoneWeight), weightText(p, work.taskWeight),
             work.weightScale);
}

void BatchRun::note(JournalEvent::Kind kind, int p)
{
    emit journalEvent(kind, p < 0 ? QString() : taskText(p), qint64(butchId),
                      p < 0 ? int(JournalEvent::NoDevice) : line.deviceId(p));
}

qreal BatchRun::calculateDoseWeight(int id, qreal remaining) const
{
    const int p = position(id);
    if (p < 0)
        return 0;
    return remaining / (remaining / dosers.at(p).npd + 1.0);
}

void BatchRun::chooseDoseWeight(int p)
{
    DoserWork &work = dosers[p];
    // A plan whose fills would no longer fit the limit is made again.
    if (options.precise && !preciseFillsFit(p))
        work.fillsLeft = preciseFills(p, work.mustToBeDoneWeight);
    else if (!options.precise && options.fewestCycles
             && (work.fillsLeft < 1 || work.mustToBeDoneWeight / work.fillsLeft > work.npd))
        work.fillsLeft = fewestFills(p, work.mustToBeDoneWeight);
    work.doseWeight = doseFor(p, work.mustToBeDoneWeight);
}

double BatchRun::doseFor(int p, double remaining) const
{
    if (options.precise) {
        // The large fills share what the small last one leaves, each within the share of the
        // limit; short fills before leave the last more, up to the limit.
        const DoserWork &work = dosers.at(p);
        const int left = work.fillsLeft > 0 ? work.fillsLeft : preciseFills(p, remaining);
        if (left <= 1)
            return qMin(remaining, work.npd);
        return qMin((remaining - options.lastFillShare * work.npd) / (left - 1),
                    options.fillShare * work.npd);
    }
    if (options.fewestCycles) {
        const int left = dosers.at(p).fillsLeft;
        return remaining / (left > 0 ? left : fewestFills(p, remaining));
    }
    return remaining < dosers.at(p).npd ? remaining
                                        : calculateDoseWeight(line.deviceId(p), remaining);
}

int BatchRun::fewestFills(int p, double remaining) const
{
    const double largest = options.fillShare * dosers.at(p).npd;
    if (!(remaining > 0) || !(largest > 0))
        return 1;
    return qMax(1, int(std::ceil(remaining / largest - PlanSlack)));
}

int BatchRun::preciseFills(int p, double remaining) const
{
    const double last = options.lastFillShare * dosers.at(p).npd;
    if (!(remaining > last))
        return 1;
    return 1 + fewestFills(p, remaining - last);
}

bool BatchRun::preciseFillsFit(int p) const
{
    // The plan holds while the large fills at their largest leave the last one within the limit.
    const DoserWork &work = dosers.at(p);
    const double remaining = work.mustToBeDoneWeight;
    if (work.fillsLeft < 1)
        return false;
    if (work.fillsLeft > 1 && !(remaining > options.lastFillShare * work.npd))
        return false;
    return remaining - (work.fillsLeft - 1) * options.fillShare * work.npd <= work.npd;
}

void BatchRun::setDoseOptions(const DoseOptions &changed)
{
    options = changed;
    for (int p = 0; p < dosers.size(); ++p) {
        correctors[p].setDoses(options.correctionDoses);
        correctors[p].setGain(options.correctionGain);
        correctors[p].setWeighingLimit(dosers.at(p).npd);
        // The plan is made again at the next fill under the rule now in force.
        dosers[p].fillsLeft = 0;
        if (hasTask(p))
            chooseDoseWeight(p);
        publish(p);
    }
}

void BatchRun::loadCorrection(int p)
{
    // The corrector keeps the options' window and gain (setDoseOptions); only what it learned
    // of this product comes from data.db.
    const QString product = productOf(p);
    correctors[p].setWeighingLimit(dosers.at(p).npd);
    correctors[p].restore(corrections.load(line.deviceId(p), product));
    correctedProducts[p] = product;
}

LearnedCorrection BatchRun::correctionOf(int p, const QString &product)
{
    if (correctedProducts.at(p) == product && !product.isEmpty())
        return correctors.at(p).state();
    return corrections.load(line.deviceId(p), product);
}

WriteResult BatchRun::resetCorrection(int p, const QString &product)
{
    const WriteResult reset = corrections.reset(line.deviceId(p), product);
    if (reset && correctedProducts.at(p) == product)
        correctors[p].restore(LearnedCorrection());
    return reset;
}

double BatchRun::weightToSend(int p, double wanted) const
{
    const DoserWork &work = dosers.at(p);
    if (!options.correction)
        return wanted;
    // As the doser takes it: in its digits, never above its limit nor down to nothing.
    const double step = std::pow(10.0, -work.scale);
    const double sent = weightText(p, correctors.at(p).toSend(wanted)).toDouble();
    return qBound(step, sent, qMax(step, work.npd));
}

bool BatchRun::learnFrom(int p, double discharged)
{
    DoserWork &work = dosers[p];
    const double wanted = work.orderedDose.toDouble();
    if (!options.correction || wanted < LeastLearnedShare * work.npd)
        return false;
    return correctors[p].learn(wanted, work.sentDose, discharged, work.doseFaultPlus,
                               work.doseFaultMinus);
}

int BatchRun::dosesStillNeeded(int p) const
{
    // The rule played forward with every fill exact; the fill in the hopper is one of them.
    constexpr int MostShown = 10000;
    const DoserWork &work = dosers.at(p);
    if (work.idle)
        return 0;
    if (options.precise || options.fewestCycles) {
        if (work.doseFaultPlus > work.mustToBeDoneWeight)
            return 0;
        if (work.fillsLeft > 0)
            return work.fillsLeft;
        return options.precise ? preciseFills(p, work.mustToBeDoneWeight)
                               : fewestFills(p, work.mustToBeDoneWeight);
    }
    double remaining = work.mustToBeDoneWeight;
    int fills = 0;
    while (!(work.doseFaultPlus > remaining) && fills < MostShown) {
        const double dose = doseFor(p, remaining);
        if (!(dose > 0))
            break;
        remaining -= dose;
        ++fills;
    }
    return fills;
}

void BatchRun::timeCycle(int p)
{
    DoserWork &work = dosers[p];
    const qint64 now = clock.elapsed();
    if (work.lastCountedMs >= 0) {
        const qint64 cycle = now - work.lastCountedMs;
        // A moving mean: the last few cycles weigh most, as the product's flow drifts.
        work.meanCycleMs = work.meanCycleMs == 0 ? cycle : (3 * work.meanCycleMs + cycle) / 4;
    }
    work.lastCountedMs = now;
}

bool BatchRun::checkTheEndOfTheParty(int id)
{
    const int p = position(id);
    if (p < 0)
        return false;
    DoserWork &work = dosers[p];
    if (!(work.doseFaultPlus > work.mustToBeDoneWeight))
        return false;
    work.phase = DosePhase::None;
    work.idle = true;
    return true;
}

bool BatchRun::hasKnownWeighingLimit(int p)
{
    const DoserWork &work = dosers.at(p);
    if (work.npdReported && work.npd > 0)
        return true;
    // Doses are cut to the limit; without a positive one every dose would be 0.
    person.inform(QStringLiteral("НПВ дозатора неизвестно или не больше нуля.\nРабота "
                                 "невозможна, проверьте параметры К310."));
    line.askWeighingLimitIfOnline(p);
    return false;
}

bool BatchRun::needsDoser(int p) const
{
    return hasTask(p) || dosers.at(p).taskWeight > 0;
}

bool BatchRun::canDoReceipt()
{
    // A lost doser holds up only a batch that needs it; the operator is told which one.
    int online = 0;
    QStringList silent;
    for (int p = 0; p < dosers.size(); ++p) {
        if (line.isOnline(p))
            ++online;
        else if (line.isLost(p) && (dosers.size() == 1 || needsDoser(p)))
            silent << QString::number(line.deviceId(p));
    }
    if (online == 0 || !silent.isEmpty()) {
        person.inform(dosers.size() == 1 || silent.isEmpty()
                          ? QStringLiteral("Отсутствует связь.")
                          : QStringLiteral("Отсутствует связь с дозатором %1.")
                                .arg(silent.join(QStringLiteral(", "))));
        return false;
    }
    return true;
}

bool BatchRun::newButch()
{
    // Discharges weighed into this batch are written before it is closed.
    if (!written(writeUnwritten()))
        return false;
    WriteResult closed;
    const bool delivered = records.hasDeliveredSoFar(butchId);
    // A batch is deleted only when data.db says it delivered nothing, not when it cannot say.
    if (!written(WriteResult::of(database.lastErrorMessage().isEmpty(), database)))
        return false;
    if (delivered) {
        qDebug("\nNeed to finish tasks in butch");
        closed = records.closeButch(butchId);
        if (closed)
            closed = records.closeTasks(butchId);
        note(JournalEvent::ButchClosed, -1);
    } else {
        qDebug("\nDeleteing empty butch");
        closed = records.deleteTasks(butchId);
        if (closed)
            closed = records.deleteButch(butchId);
        note(JournalEvent::ButchDeleted, -1);
    }
    if (!written(closed))
        return false;
    // The tasks of a closed batch are over: nothing may be continued into it.
    for (int p = 0; p < dosers.size(); ++p) {
        dosers[p].idle = true;
        dosers[p].phase = DosePhase::None;
        if (dosers.at(p).component >= 0)
            releaseTolerances(p);
    }
    mix = BatchFormula();
    butchId = 0;
    started = QDateTime();
    butchLot.clear();
    setState(BatchState::Idle);
    return true;
}

void BatchRun::start()
{
    // A batch that could record nothing is not begun.
    if (const QString problem = DataFileAccess::writeProblem(database); !problem.isEmpty()) {
        person.inform(problem);
        return;
    }
    if (!canDoReceipt())
        return;
    // A doser with a target takes part; one without takes part in nothing, but a batch of no
    // task is no batch.
    bool anyTask = false;
    for (int p = 0; p < dosers.size(); ++p) {
        if (!line.isOnline(p) || (dosers.size() > 1 && !(dosers.at(p).taskWeight > 0)))
            continue;
        if (!(dosers.at(p).taskWeight > 0) || line.productName(p).isEmpty()) {
            person.inform(QStringLiteral("Вид продукта и вес должны быть заданы"));
            return;
        }
        if (!hasKnownWeighingLimit(p))
            return;
        anyTask = true;
    }
    if (!anyTask) {
        person.inform(QStringLiteral("Вид продукта и вес должны быть заданы"));
        return;
    }
    if (const QString problem = lotProblem(); !problem.isEmpty()) {
        person.inform(problem);
        return;
    }
    if (!openNewButch())
        return;
    mix = BatchFormula();
    startActions();
}

bool BatchRun::openNewButch()
{
    butchId = records.findOpenButch();
    if (butchId != 0)
        qDebug("\nThere is present butch what can be finished");
    if (person.ask(QStringLiteral("Начать новую работу?")) != BatchOperator::Answer::Yes)
        return false;
    // The question ran its own event loop: the doser may have been lost meanwhile.
    if (!canDoReceipt())
        return false;
    if (butchId != 0 && !newButch())
        return false;
    parts = 0;
    return true;
}

void BatchRun::startFormula(const BatchFormula &formula)
{
    if (isRunning() || formula.isEmpty())
        return;
    if (const QString problem = DataFileAccess::writeProblem(database); !problem.isEmpty()) {
        person.inform(problem);
        return;
    }
    if (const QString problem = lotProblem(); !problem.isEmpty()) {
        person.inform(problem);
        return;
    }
    // The dosers the formula needs are those that hold up the start when silent.
    for (int p = 0; p < dosers.size(); ++p) {
        if (!hasTask(p))
            dosers[p].taskWeight = 0;
    }
    for (const ComponentTarget &component : formula.components) {
        const int p = position(component.doser);
        if (p < 0) {
            person.inform(QStringLiteral("Дозатор %1 не найден на линии.").arg(component.doser));
            return;
        }
        dosers[p].taskWeight = component.target;
    }
    if (!canDoReceipt())
        return;
    for (const ComponentTarget &component : formula.components) {
        const int p = position(component.doser);
        if (!line.isOnline(p)) {
            person.inform(QStringLiteral("Отсутствует связь с дозатором %1.").arg(component.doser));
            return;
        }
        if (!hasKnownWeighingLimit(p))
            return;
    }
    if (!openNewButch())
        return;
    mix = formula;
    // A component is known by its place in the batch: its row, its task, the rescale.
    for (int i = 0; i < mix.components.size(); ++i)
        mix.components[i].component = i;
    startActions();
}

int BatchRun::nextComponent(int p) const
{
    int next = -1;
    for (int i = 0; i < mix.components.size(); ++i) {
        const ComponentTarget &component = mix.components.at(i);
        if (position(component.doser) != p || componentTasks.value(i) != 0
            || componentsDone.value(i))
            continue;
        if (next < 0 || component.order < mix.components.at(next).order)
            next = i;
    }
    return next;
}

void BatchRun::takeComponent(int p, int i)
{
    const ComponentTarget &component = mix.components.at(i);
    DoserWork &work = dosers[p];
    work.component = i;
    work.product = component.product;
    work.doseFaultPlus = component.plusTolerance;
    work.doseFaultPlusText = weightText(p, component.plusTolerance);
    work.doseFaultMinus = component.minusTolerance;
    work.doseFaultMinusText = weightText(p, component.minusTolerance);
}

void BatchRun::beginComponent(int p, int i)
{
    DoserWork &work = dosers[p];
    takeComponent(p, i);
    work.taskWeight = mix.components.at(i).target;
    prepareDevicesForStart(p);
    if (work.taskRecorded)
        componentTasks[i] = work.taskId;
    emit componentBegun(p);
}

void BatchRun::startActions()
{
    for (DoserWork &work : dosers)
        work.watchStopRequests = false;
    started = QDateTime::currentDateTime();
    setState(BatchState::Running);

    qDebug("Butch table is empty, or all butches has been already finished, just need to add a "
           "new record");
    butchId = records.newButch(nextLot, nextLotPattern, nextScheduleEntry);
    nextScheduleEntry = 0;
    withinTolerance = true;
    if (!written(WriteResult::of(butchId != 0, database)))
        return;
    butchLot = nextLot;
    setLot(QString());
    componentTasks = QList<qint64>(mix.components.size(), 0);
    componentsDone = QList<bool>(mix.components.size(), false);
    if (!mix.isEmpty()) {
        FormulaButch kept;
        kept.formulaName = mix.name;
        kept.size = QString::number(mix.size);
        kept.keepRatio = mix.keepRatio;
        for (int i = 0; i < mix.components.size(); ++i) {
            const ComponentTarget &component = mix.components.at(i);
            const int p = position(component.doser);
            kept.parts.append({i, component.doser, component.product,
                               weightText(p, component.target),
                               weightText(p, component.plusTolerance),
                               weightText(p, component.minusTolerance), component.order, 0});
        }
        // A single product from the schedule runs as a component of its own, without a formula.
        if (!mix.name.isEmpty() && !written(records.writeFormula(butchId, kept)))
            return;
        for (int p = 0; p < dosers.size() && isRunning(); ++p) {
            if (const int first = nextComponent(p); first >= 0)
                beginComponent(p, first);
        }
    }

    for (int p = 0; p < dosers.size() && isRunning() && mix.isEmpty(); ++p) {
        if (line.isOnline(p) && (dosers.size() == 1 || dosers.at(p).taskWeight > 0))
            prepareDevicesForStart(p);
    }
    if (isRunning() && !doseTimer.isActive())
        doseTimer.start(tickPeriod());
}

void BatchRun::prepareDevicesForStart(int p)
{
    DoserWork &work = dosers[p];
    ++parts;
    work.mustToBeDoneWeight = work.taskWeight;
    work.haveDoneWeight = 0;
    work.doseNumber = 0;
    work.meanCycleMs = 0;
    work.idle = false;
    work.unreportedFill = 0;
    work.counterSettled = true;
    work.fillsLeft = 0;
    loadCorrection(p);
    chooseDoseWeight(p);

    const int id = line.deviceId(p);
    qDebug("\nAdd new task");
    work.taskId = records.newTask(butchId, id, weightText(p, work.taskWeight),
                                  weightText(p, work.mustToBeDoneWeight), productOf(p),
                                  work.weightScale, work.component);
    work.taskRecorded = written(WriteResult::of(work.taskId != 0, database));
    if (!work.taskRecorded)
        return;
    note(JournalEvent::ButchStarted, p);
    prepareDoserForWork(id);
}

void BatchRun::prepareDoserForWork(int id)
{
    const int p = position(id);
    if (p < 0)
        return;
    qDebug("Prepareing doser %d for work", id);
    line.resetErrorFlag(p);
    // The counter before the discharge: fills completed while the work stood are then known,
    // should the discharge's report be lost.
    line.askTotalCommonWeight(p);
    line.askDoseCount(p);
    // A fill still under way is let finish, so the counter knows what the discharge takes out
    // should its report be lost (a part-filled hopper has no counter): the discharge waits until
    // the doser says it stands. The first dose is chosen once the residue is counted.
    DoserWork &work = dosers[p];
    if (work.state == DoserState::Stopped) {
        work.phase = DosePhase::Residue;
        line.discharge(p);
    } else {
        work.phase = DosePhase::Starting;
    }
    publish(p);
}

void BatchRun::stop()
{
    if (person.ask(StopQuestion) != BatchOperator::Answer::Yes)
        return;
    // The question runs its own event loop: the work may have stopped meanwhile.
    if (!isRunning())
        return;
    stopActions();
    for (int p = 0; p < dosers.size(); ++p) {
        if (line.isOnline(p) && hasTask(p)) {
            line.stopWork(p);
            line.discharge(p);
        }
    }
}

void BatchRun::stopActions()
{
    if (isRunning()) {
        for (int p = 0; p < dosers.size(); ++p) {
            if (hasTask(p))
                note(JournalEvent::ButchStopped, p);
        }
    }
    doseTimer.stop();
    for (DoserWork &work : dosers)
        work.phase = DosePhase::None;
    setState(isRunning() ? BatchState::Stopped : batchState);
    pauseWithEvents(StopPauseMs);
}

void BatchRun::continueWork()
{
    if (!canDoReceipt())
        return;
    if (!written(writeUnwritten()))
        return;
    // Only an open task can be continued; without one the work would wait for nothing.
    bool openTask = false;
    for (int p = 0; p < dosers.size(); ++p)
        openTask = openTask || (line.isOnline(p) && hasTask(p));
    if (!openTask) {
        if (batchState == BatchState::Stopped)
            setState(hasAnyTask() ? BatchState::Stopped : BatchState::Idle);
        return;
    }
    for (int p = 0; p < dosers.size(); ++p) {
        if (line.isOnline(p) && hasTask(p) && !hasKnownWeighingLimit(p))
            return;
    }
    continueActions();
}

void BatchRun::continueActions()
{
    for (DoserWork &work : dosers)
        work.watchStopRequests = false;
    if (!started.isValid())
        started = QDateTime::currentDateTime();
    setState(BatchState::Running);
    parts = 0;

    for (int p = 0; p < dosers.size(); ++p) {
        DoserWork &work = dosers[p];
        if (!line.isOnline(p) || work.idle)
            continue;
        ++parts;
        work.mustToBeDoneWeight = work.taskWeight - work.haveDoneWeight;
        work.fillsLeft = 0;
        loadCorrection(p);
        chooseDoseWeight(p);
        const int id = line.deviceId(p);
        const QString task = weightText(p, work.taskWeight);
        const QString remaining = weightText(p, work.mustToBeDoneWeight);
        // A task whose row could not be written at the start is written now.
        if (!work.taskRecorded)
            work.taskId = records.newTask(butchId, id, task, remaining, productOf(p),
                                          work.weightScale, work.component);
        const WriteResult ok = work.taskRecorded
                                   ? records.resumeTask(work.taskId, task, remaining, productOf(p))
                                   : WriteResult::of(work.taskId != 0, database);
        if (!written(ok))
            return;
        work.taskRecorded = true;
        if (work.component >= 0)
            componentTasks[work.component] = work.taskId;
        note(JournalEvent::ButchContinued, p);
    }
    for (int p = 0; p < dosers.size(); ++p) {
        if (line.isOnline(p) && hasTask(p))
            prepareDoserForWork(line.deviceId(p));
    }
    // A doser whose components had not begun when the work was cut off begins them now.
    for (int p = 0; p < dosers.size() && isRunning(); ++p) {
        if (const int next = nextComponent(p); line.isOnline(p) && !hasTask(p) && next >= 0)
            beginComponent(p, next);
    }
    doseTimer.start(tickPeriod());
}

void BatchRun::restoreLastSession()
{
    // What was weighed but not written is newer than data.db: it must not be read over.
    if (!written(writeUnwritten()))
        return;
    butchId = records.findOpenButch();
    if (butchId == 0) {
        switchOnAll();
        return;
    }
    switch (person.ask(QStringLiteral("Последнее задание не завершено.\nВосстановить данные?"))) {
    case BatchOperator::Answer::Busy:
        restoreDeferred = true;
        return;
    case BatchOperator::Answer::Dismissed:
        // The doser was lost while the question was open; it is asked again when it answers.
        return;
    case BatchOperator::Answer::No:
        newButch();
        switchOnAll();
        return;
    case BatchOperator::Answer::Yes:
        break;
    }

    parts = 0;
    butchLot = records.lotOf(butchId);
    restoreFormula();
    const QueryResult tasks = records.restoreTasks(butchId);
    for (int row = 0; row < tasks.rows; ++row) {
        QCoreApplication::processEvents();
        const int p = position(tasks.value(row, ButchRecords::DeviceId).toInt(nullptr, 10));
        if (p < 0)
            continue;
        ++parts;
        emit productWanted(p, tasks.value(row, ButchRecords::ProductName));
        DoserWork &work = dosers[p];
        work.taskWeight = tasks.value(row, ButchRecords::TaskWeight).toDouble();
        work.haveDoneWeight = tasks.value(row, ButchRecords::HaveDoneWeight).toDouble();
        work.mustToBeDoneWeight = tasks.value(row, ButchRecords::MustToBeDoneWeight).toDouble();
        work.fillsLeft = 0;
        chooseDoseWeight(p);
        work.idle = false;
        work.taskRecorded = true;
        work.taskId = tasks.value(row, ButchRecords::IdTask).toLongLong();
        restoreComponent(p);
        emit taskRestored(p, tasks.value(row, ButchRecords::TaskWeight),
                          tasks.value(row, ButchRecords::HaveDoneWeight));
        note(JournalEvent::ButchRestored, p);
    }
    switchOnAll();
    batchState = BatchState::Stopped;
    stopActions();
}

void BatchRun::restoreFormula()
{
    mix = BatchFormula();
    componentTasks.clear();
    componentsDone.clear();
    FormulaButch kept;
    if (!records.loadFormula(butchId, &kept))
        return;
    mix.name = kept.formulaName;
    mix.size = kept.size.toDouble();
    mix.keepRatio = kept.keepRatio;
    for (const FormulaPart &part : std::as_const(kept.parts)) {
        mix.components.append({int(mix.components.size()), part.deviceId, part.productName,
                               part.taskWeight.toDouble(), part.doseFaultPlus.toDouble(),
                               part.doseFaultMinus.toDouble(), part.turn});
        componentTasks << part.taskId;
        componentsDone << false;
    }
}

void BatchRun::restoreComponent(int p)
{
    DoserWork &work = dosers[p];
    // A later task on the doser means the one restored before it had ended.
    if (work.component >= 0)
        componentsDone[work.component] = true;
    const int i = componentTasks.indexOf(work.taskId);
    if (i >= 0)
        takeComponent(p, i);
}

void BatchRun::questionClosed()
{
    if (!restoreDeferred)
        return;
    restoreDeferred = false;
    QTimer::singleShot(0, this, &BatchRun::restoreLastSession);
}

int BatchRun::tickPeriod() const
{
    return dosers.size() > 1 ? LineTickMs : DosePeriodMs;
}

void BatchRun::checkDoseDownload()
{
    // Each doser in work is asked once a period, and not before its last questions have left
    // the line: a busy line stretches the cycle instead of piling questions up.
    const int ticksPerPeriod = DosePeriodMs / tickPeriod();
    for (int p = 0; p < dosers.size(); ++p) {
        DoserWork &work = dosers[p];
        if (!line.isOnline(p) || !hasTask(p))
            continue;
        if (work.ticksToAsk > 0)
            --work.ticksToAsk;
        // One doser keeps the plain cycle: asked every tick, whatever waits.
        if (work.ticksToAsk > 0 || (dosers.size() > 1 && line.pendingRequests(p) > 0))
            continue;
        work.ticksToAsk = ticksPerPeriod;
        line.askTotalCommonWeight(p);
        line.askTotalCommonDoseCount(p);
        if (liveWeight)
            line.askNetWeight(p);
    }
}

void BatchRun::switchOnAll()
{
    for (int p = 0; p < dosers.size(); ++p)
        emit switchOnWanted(p);
}

void BatchRun::addPosition()
{
    dosers.append(DoserWork());
    correctors.append(DoseCorrector());
    correctors.last().setDoses(options.correctionDoses);
    correctors.last().setGain(options.correctionGain);
    correctedProducts.append(QString());
}

bool BatchRun::removePosition(int p)
{
    if (p < 0 || p >= dosers.size() || hasTask(p) || dosers.size() == 1)
        return false;
    dosers.removeAt(p);
    correctors.removeAt(p);
    correctedProducts.removeAt(p);
    return true;
}

void BatchRun::totalCommonWeightReported(int id, quint32 total)
{
    const int p = position(id);
    if (p < 0)
        return;
    DoserWork &work = dosers[p];
    const quint32 last = work.lastTotalCommonWeight;
    const bool settled = work.counterSettled;
    keepFillLedger(p, total);
    work.lastTotalCommonWeight = total;

    if (!isRunning()) {
        qDebug("device %d is stopped", id);
        return;
    }
    if (!work.idle && checkTheEndOfTheParty(id)) {
        finishTask(p);
        return;
    }
    if (settled)
        qDebug("device %d dose has already been uploaded", id);
    // The counter grows when a fill is complete: the hopper holds the dose ordered.
    if (work.phase == DosePhase::Filling && total != last) {
        work.phase = DosePhase::DischargeDue;
        qDebug("device %d is working, dose can be uploaded", id);
    }
    doDownloadUploadCycle(id);
}

void BatchRun::finishTask(int p)
{
    DoserWork &work = dosers[p];
    const int id = line.deviceId(p);
    const int partsBefore = parts;
    if (parts >= 1)
        --parts;
    // A batch data.db does not hold as finished is not finished: the end comes again.
    const auto reopen = [&] {
        work.idle = false;
        parts = partsBefore;
    };
    if (!written(records.finishTask(
            work.taskId, weightText(p, work.taskWeight), weightText(p, work.haveDoneWeight),
            weightText(p, work.mustToBeDoneWeight), productOf(p), work.weightScale))) {
        reopen();
        return;
    }
    qDebug("\ndevice %d has finisheded his part the work, must to do %d part(s)\n", id, parts);
    const double deviation = work.haveDoneWeight - work.taskWeight;
    if (deviation > work.doseFaultPlus || -deviation > work.doseFaultMinus)
        withinTolerance = false;
    if (const int done = work.component; done >= 0) {
        componentsDone[done] = true;
        checkComponent(p, done);
        if (const int next = nextComponent(p); next >= 0) {
            beginComponent(p, next);
            return;
        }
        releaseTolerances(p);
    }
    publish(p);
    if (parts != 0)
        return;
    if (!written(records.closeButch(butchId))) {
        reopen();
        return;
    }
    note(JournalEvent::ButchFinished, p);
    qDebug("\nhas finisheded all parts\n");
    doseTimer.stop();
    setState(BatchState::Finished);
    person.dismissQuestion();
    person.inform(QStringLiteral("Задание выполнено"));
}

void BatchRun::checkComponent(int p, int i)
{
    const DoserWork &work = dosers.at(p);
    const ComponentTarget &component = mix.components.at(i);
    if (!FormulaPlan::isOutside(component, work.haveDoneWeight))
        return;
    person.inform(QStringLiteral("Компонент \"%1\" вне допуска: задано %2, отвешено %3 %4")
                      .arg(component.product, weightText(p, component.target),
                           weightText(p, work.haveDoneWeight), work.weightScale));
    if (!mix.keepRatio || !(component.target > 0) || !(work.haveDoneWeight > 0))
        return;
    // Asked once this report is over: the question runs an event loop of its own.
    const int over = i;
    QTimer::singleShot(0, this, [this, over] { offerRescale(over); });
}

void BatchRun::offerRescale(int i)
{
    if (mix.isEmpty() || i >= mix.components.size() || !isRunning())
        return;
    QList<LineCapacity> capacities;
    for (int p = 0; p < dosers.size(); ++p) {
        const DoserWork &work = dosers.at(p);
        capacities.append({line.deviceId(p), work.npd, work.scale, work.npdReported, QString()});
    }
    // The finished components keep their targets; the one outside sets the ratio.
    QMap<int, double> finished;
    for (int j = 0; j < mix.components.size(); ++j) {
        if (componentsDone.at(j))
            finished.insert(j, dosers.at(position(mix.components.at(j).doser)).haveDoneWeight);
    }
    finished.insert(i, dosers.at(position(mix.components.at(i).doser)).haveDoneWeight);
    const Rescale rescale = FormulaPlan::rescale(mix.components, finished, i, capacities);
    if (!rescale.isValid() || qFuzzyCompare(rescale.factor, 1.0))
        return;
    // Those in work that have delivered past their new target end on their old one.
    QList<RescaledTarget> rescaled;
    QStringList changes;
    for (const RescaledTarget &change : rescale.changes) {
        const int p = position(change.doser);
        if (dosers.at(p).component == change.component
            && !(change.after > dosers.at(p).haveDoneWeight))
            continue;
        rescaled << change;
        changes << QStringLiteral("%1: %2 → %3 %4")
                       .arg(change.product, weightText(p, change.before),
                            weightText(p, change.after), dosers.at(p).weightScale);
    }
    if (rescaled.isEmpty())
        return;
    if (person.ask(QStringLiteral("Пересчитать оставшиеся компоненты, чтобы сохранить "
                                  "соотношение?\n%1")
                       .arg(changes.join(QLatin1Char('\n'))))
        != BatchOperator::Answer::Yes)
        return;
    for (const RescaledTarget &change : std::as_const(rescaled)) {
        const int j = change.component;
        const int p = position(change.doser);
        mix.components[j].target = change.after;
        if (!written(records.retargetPart(butchId, j, weightText(p, change.after))))
            return;
        DoserWork &work = dosers[p];
        if (work.component != j)
            continue;
        work.taskWeight = change.after;
        work.mustToBeDoneWeight = work.taskWeight - work.haveDoneWeight;
        work.fillsLeft = 0;
        chooseDoseWeight(p);
        if (work.taskRecorded
            && !written(records.resumeTask(work.taskId, weightText(p, work.taskWeight),
                                           weightText(p, work.mustToBeDoneWeight), productOf(p))))
            return;
        publish(p);
    }
    emit journalEvent(JournalEvent::ComponentsRescaled, changes.join(QStringLiteral("; ")),
                      qint64(butchId), mix.components.at(i).doser);
}

void BatchRun::keepFillLedger(int p, quint32 total)
{
    DoserWork &work = dosers[p];
    const quint32 last = work.lastTotalCommonWeight;
    const bool settled = work.counterSettled;
    work.counterSettled = false;
    if (work.idle || settled || total == last)
        return;
    // The counter grows by the weight of each completed fill; a step no fill can make says
    // nothing about the hopper.
    double step = double(quint32(total - last));
    for (int i = 0; i < work.scale; ++i)
        step /= 10.0;
    if (step <= work.npd * MaxFillShare)
        work.unreportedFill += step;
}

void BatchRun::settleFillLedger(int p)
{
    dosers[p].unreportedFill = 0;
    dosers[p].counterSettled = true;
}

void BatchRun::manualOrderSent(int p)
{
    // What a full cycle fills it discharges unreported: that step of the counter is not the
    // batch's. Fills that went out before stay in the ledger until a report counts them.
    dosers[p].counterSettled = true;
}

void BatchRun::doDownloadUploadCycle(int id)
{
    const int p = position(id);
    if (p < 0)
        return;
    DoserWork &work = dosers[p];
    if (work.phase == DosePhase::FillDue) {
        work.phase = DosePhase::Filling;
        work.orderedDose = weightText(p, work.doseWeight);
        work.sentDose = weightToSend(p, work.doseWeight);
        work.appliedCorrection = options.correction ? correctors.at(p).correction() : 0;
        work.appliedInFlight = options.correction ? correctors.at(p).inFlight() : 0;
        line.fillIfOnline(p, work.sentDose, work.scale);
        qDebug("device %d is working, dose is being downloaded", id);
    } else if (work.phase == DosePhase::DischargeDue) {
        work.phase = DosePhase::Discharging;
        line.dischargeIfOnline(p);
        qDebug("device %d is working, dose is being uploaded", id);
    }
    publish(p);
}

void BatchRun::dischargeReported(int id, const Weight &weight)
{
    const int p = position(id);
    if (p < 0 || dosers.at(p).idle)
        return;
    DoserWork &work = dosers[p];
    const double w = weight.value;
    const QString shown = weightText(p, w);
    // An alarm may mean the doser refused the discharge: the fills may still be in the hopper.
    const bool alarmed = work.state == DoserState::Alarm;
    if (!alarmed && work.unreportedFill > 0 && w < work.unreportedFill * DoseReportShare) {
        // The fill went out under an earlier discharge whose report was lost on the line.
        qCDebug(lcConsole,
                "device %d dose of %s was discharged unreported, counted from the weight counter",
                id, qUtf8Printable(weightText(p, work.unreportedFill)));
        const double unreported = work.unreportedFill;
        settleFillLedger(p);
        countDelivered(p, unreported, work.orderedDose);
    }

    // Outside the cycle (the residue before work, a discharge while the work stands) nothing
    // was ordered, and dust is not a delivery.
    const bool ordered =
        isRunning()
        && (work.phase == DosePhase::Discharging || work.phase == DosePhase::Filling
            || work.phase == DosePhase::FillDue);
    if (!ordered) {
        if (!(w > 0) || w < CountedResidueShare * work.doseFaultPlus) {
            qDebug("device %d has %s in hopper < (doseFaultPlus/4) - can not be counted", id,
                   qUtf8Printable(shown));
            declineResidue(p, w);
        } else {
            settleFillLedger(p);
            countDelivered(p, w, QString());
        }
        // The hopper is empty: the next step of the counter is accounted for.
        work.counterSettled = true;
    } else {
        if (w < 0) {
            qDebug("device %d has %s in hopper < 0, is antigravitation discovered?", id,
                   qUtf8Printable(shown));
        } else {
            settleFillLedger(p);
            countDelivered(p, w, work.orderedDose);
        }
    }
    if (isRunning())
        work.phase = DosePhase::FillDue;
    publish(p);
}

DoseRecord BatchRun::doseRecord(int p, double discharged, const QString &orderedWeight,
                                bool counted) const
{
    const DoserWork &work = dosers.at(p);
    DoseRecord dose;
    dose.butchId = qint64(butchId);
    dose.deviceId = line.deviceId(p);
    dose.taskId = work.taskId;
    dose.moment = QDateTime::currentDateTime();
    dose.orderedWeight = orderedWeight;
    dose.dischargedWeight = weightText(p, discharged);
    dose.unit = work.weightScale;
    dose.decimals = work.scale;
    dose.counted = counted;
    dose.tolerancePlus = work.doseFaultPlusText;
    dose.toleranceMinus = work.doseFaultMinusText;
    dose.correction = orderedWeight.isEmpty() ? 0 : work.appliedCorrection;
    dose.inFlight = orderedWeight.isEmpty() ? 0 : work.appliedInFlight;
    return dose;
}

void BatchRun::countDelivered(int p, double weight, const QString &orderedWeight)
{
    DoserWork &work = dosers[p];
    work.haveDoneWeight += weight;
    work.lastCountedWeight = weight;
    qDebug("device %d weight %s in hopper has been uploaded and added into result butch weight",
           line.deviceId(p), qUtf8Printable(weightText(p, weight)));
    work.mustToBeDoneWeight = work.taskWeight - work.haveDoneWeight;
    ++work.doseNumber;
    if (isRunning())
        timeCycle(p);
    // A fill of the plan is done; a residue was no fill of it.
    if (!orderedWeight.isEmpty() && work.fillsLeft > 0)
        --work.fillsLeft;
    const bool learned = !orderedWeight.isEmpty() && isRunning() && learnFrom(p, weight);
    chooseDoseWeight(p);
    unwritten.append(doseRecord(p, weight, orderedWeight, true));
    publish(p);
    if (!written(writeUnwritten()))
        return;
    if (learned)
        written(
            corrections.save(line.deviceId(p), correctedProducts.at(p), correctors.at(p).state()));
}

void BatchRun::declineResidue(int p, double weight)
{
    unwritten.append(doseRecord(p, weight, QString(), false));
    written(writeUnwritten());
}

WriteResult BatchRun::writeDose(const DoseRecord &dose)
{
    if (!dose.counted)
        return records.declineResidue(dose);
    // The task's totals as they stand now include every discharge weighed so far.
    const int p = position(dose.deviceId);
    if (p < 0)
        return records.declineResidue(dose);
    const DoserWork &work = dosers.at(p);
    return records.countDischarge(dose.taskId, weightText(p, work.haveDoneWeight),
                                  weightText(p, work.mustToBeDoneWeight), dose);
}

WriteResult BatchRun::writeUnwritten()
{
    while (!unwritten.isEmpty()) {
        const WriteResult result = writeDose(unwritten.first());
        if (!result)
            return result;
        unwritten.removeFirst();
        emit doseWritten();
    }
    return {};
}

bool BatchRun::written(const WriteResult &result)
{
    if (!result)
        stopOnFailedWrite(result.reason());
    return result.isDone();
}

void BatchRun::stopOnFailedWrite(const QString &problem)
{
    qCWarning(lcConsole, "batch record not written: %s, the work is stopped",
              qUtf8Printable(problem));
    emit journalEvent(JournalEvent::RecordNotWritten, problem, qint64(butchId),
                      JournalEvent::NoDevice);
    if (isRunning()) {
        stopActions();
        for (int p = 0; p < dosers.size(); ++p) {
            if (line.isOnline(p) && hasTask(p))
                line.stopWork(p);
        }
    }
    person.inform(
        QStringLiteral("Ошибка записи в базу данных: %1. Работа остановлена.").arg(problem));
}

void BatchRun::doseCountReported(int id, qint64 count)
{
    const int p = position(id);
    if (p < 0)
        return;
    if (count != 0 && dosers.at(p).idle)
        return;
    dosers[p].watchStopRequests = true;
}

void BatchRun::stateReported(int id, DoserState state)
{
    const int p = position(id);
    // A doser switched off is not the batch's to follow.
    if (p < 0 || !(line.isOnline(p) || line.isLost(p)))
        return;
    DoserWork &work = dosers[p];
    work.state = state;
    if (work.phase == DosePhase::Starting && state == DoserState::Stopped) {
        work.phase = DosePhase::Residue;
        line.discharge(p);
        publish(p);
    }
}

void BatchRun::doserLost(int)
{
    person.dismissQuestion();
    stopActions();
}

void BatchRun::stopRequested(int id)
{
    const int p = position(id);
    if (p >= 0 && dosers.at(p).watchStopRequests)
        stopActions();
}

#include "moc_batchrun.cpp"
