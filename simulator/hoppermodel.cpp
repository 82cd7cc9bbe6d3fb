#include "hoppermodel.h"

#include "k310protocol.h"

#include "modelclock.h"

#include <cmath>

namespace {

// Product still falling when the feed closes lands over this time.
constexpr double FlightMs = 300;
// How far the product in flight varies around what the controller expects.
constexpr double FlightSpread = 0.3;
// The fine feed runs for about the last second of a fill.
constexpr double FineFeedMs = 1000;
constexpr double GateCloseMs = 200;
constexpr double MsPerSecond = 1000;
// A load cell still swinging after the feed closed reads this much noisier.
constexpr double SwingNoiseFactor = 3;
// Weights within this share of the upper limit count as an empty hopper.
constexpr double ZeroBandShare = 0.005;
// Short fills are topped up with fine feed at most this often before the dose is counted.
constexpr int MaxTopUps = 3;
constexpr double PercentPerUnit = 100;
constexpr double FillsPerDriftStep = 100;
constexpr quint32 FillSeedMix = 0x9E3779B9u;
constexpr double Pi = 3.14159265358979323846;

} // namespace

HopperModel::HopperModel(const DoserParameters &parameters, const ModelClock &modelClock,
                         quint32 seed)
    : params(parameters)
    , clock(modelClock)
    , random(seed)
    , fillRandom(seed ^ FillSeedMix)
{
    const double digitsPerUnit = double(params.digitsPerUnit());
    auto toDigits = [digitsPerUnit](double units) {
        return qint64(std::llround(units * digitsPerUnit));
    };
    npd = toDigits(params.npd);
    dose = toDigits(params.doseWeight);
    plusTolerance = toDigits(params.plusTolerance);
    minusTolerance = toDigits(params.minusTolerance);
    zeroBand = qMax<qint64>(1, qint64(std::llround(double(npd) * ZeroBandShare)));
    coarseRate = params.feedRate * digitsPerUnit / MsPerSecond;
    fineRate = params.fineRate * digitsPerUnit / MsPerSecond;
    dischargeRate = params.dischargeRate * digitsPerUnit / MsPerSecond;
    inFlight = params.inFlight * digitsPerUnit;
    noise = params.noise * digitsPerUnit;
    totalDoseCount = params.totalDoses;
    totalWeight = params.totalWeightDigits;
    startMs = lastMs = phaseStartMs = double(clock.nowMs());
}

void HopperModel::setErrorScript(const ErrorScript &errorScript)
{
    script = errorScript;
}

void HopperModel::setLogger(std::function<void(const QString &)> sink)
{
    logger = std::move(sink);
}

QString HopperModel::weightText(qint64 digits) const
{
    return QString::number(double(digits) / double(params.digitsPerUnit()), 'f', params.scale);
}

void HopperModel::log(const QString &text) const
{
    if (logger)
        logger(text);
}

qint64 HopperModel::weightDigits() const
{
    return qint64(std::llround(weight));
}

quint8 HopperModel::stateFlags() const
{
    if (alarm)
        return K310Protocol::AlarmFlag;
    if (current != Phase::Idle)
        return K310Protocol::WorkingFlag;
    return weightDigits() > zeroBand ? K310Protocol::DoseToDischargeFlag : 0;
}

double HopperModel::phaseEndMs() const
{
    switch (current) {
    case Phase::CoarseFeed:
    case Phase::FineFeed: {
        double threshold = current == Phase::CoarseFeed ? fineFrom : cutoff;
        if (feedFault && feedFaultAt < threshold)
            threshold = feedFaultAt;
        const double rate = current == Phase::CoarseFeed ? coarseRate : fineRate;
        return lastMs + qMax(0.0, threshold - weight) / rate;
    }
    case Phase::InFlight:
        return phaseStartMs + FlightMs;
    case Phase::Settling:
        return phaseStartMs + params.settleMs;
    case Phase::Discharging:
        return lastMs + weight / dischargeRate;
    case Phase::GateClosing:
        return phaseStartMs + GateCloseMs;
    case Phase::Idle:
        break;
    }
    return -1;
}

double HopperModel::timedErrorMs() const
{
    const qint64 due = script.nextTimedMs();
    return due < 0 ? -1 : startMs + double(due);
}

qint64 HopperModel::nextEventMs() const
{
    const double phaseEnd = phaseEndMs();
    const double timed = timedErrorMs();
    double next = phaseEnd;
    if (timed >= 0 && (next < 0 || timed < next))
        next = timed;
    return next < 0 ? -1 : qint64(std::ceil(next));
}

void HopperModel::update()
{
    const double now = double(clock.nowMs());
    for (;;) {
        const double phaseEnd = phaseEndMs();
        const double timed = timedErrorMs();
        const bool phaseDue = phaseEnd >= 0 && phaseEnd <= now;
        const bool timedDue = timed >= 0 && timed <= now;
        if (!phaseDue && !timedDue)
            break;
        if (timedDue && (!phaseDue || timed <= phaseEnd)) {
            advance(timed);
            raise(script.takeNextTimed());
        } else {
            advance(phaseEnd);
            finishPhase();
        }
    }
    advance(now);
}

void HopperModel::advance(double toMs)
{
    const double elapsed = toMs - lastMs;
    if (elapsed <= 0)
        return;
    switch (current) {
    case Phase::CoarseFeed:
        weight += coarseRate * elapsed;
        break;
    case Phase::FineFeed:
        weight += fineRate * elapsed;
        break;
    case Phase::InFlight:
        weight += flight / FlightMs * elapsed;
        break;
    case Phase::Discharging:
        weight = qMax(0.0, weight - dischargeRate * elapsed);
        reported = qMin(reported, weightDigits());
        break;
    case Phase::Idle:
    case Phase::Settling:
    case Phase::GateClosing:
        break;
    }
    lastMs = toMs;
}

void HopperModel::enter(Phase phase)
{
    current = phase;
    phaseStartMs = lastMs;
}

void HopperModel::finishPhase()
{
    switch (current) {
    case Phase::CoarseFeed:
    case Phase::FineFeed: {
        const double threshold = current == Phase::CoarseFeed ? fineFrom : cutoff;
        if (feedFault && feedFaultAt <= threshold) {
            weight = feedFaultAt;
            const int code = feedFault;
            feedFault = 0;
            raise(code);
        } else if (current == Phase::CoarseFeed) {
            weight = fineFrom;
            enter(Phase::FineFeed);
        } else {
            weight = cutoff;
            const double precut = aim - cutoff;
            const double spread = test ? 0.0 : FlightSpread * (2 * random.generateDouble() - 1);
            flight = precut * (1 + spread);
            flightStart = weight;
            enter(Phase::InFlight);
        }
        break;
    }
    case Phase::InFlight:
        weight = flightStart + flight;
        enter(Phase::Settling);
        break;
    case Phase::Settling: {
        const double shortBy = aim - weight;
        if (settleFault) {
            const int code = settleFault;
            settleFault = 0;
            raise(code);
        } else if (shortBy > qMax<qint64>(minusTolerance, 1) && topUps < MaxTopUps) {
            ++topUps;
            cutoff = aim - qMin(inFlight, shortBy / 2);
            fineFrom = weight;
            log(QStringLiteral("fill short by %1, topping up")
                    .arg(weightText(qint64(std::llround(shortBy)))));
            enter(Phase::FineFeed);
        } else {
            complete();
        }
        break;
    }
    case Phase::Discharging:
        weight = 0;
        reported = 0;
        if (gateCloseFault) {
            const int code = gateCloseFault;
            gateCloseFault = 0;
            cycle = false;
            enter(Phase::Idle);
            raise(code);
        } else {
            enter(Phase::GateClosing);
        }
        break;
    case Phase::GateClosing:
        enter(Phase::Idle);
        cycle = false;
        log(QStringLiteral("hopper discharged"));
        if (queuedTarget > 0) {
            const qint64 queued = queuedTarget;
            queuedTarget = 0;
            startFill(queued, queuedCycle);
        }
        break;
    case Phase::Idle:
        break;
    }
}

void HopperModel::complete()
{
    const qint64 filled = weightDigits();
    lastFill = filled;
    ++shiftDoseCount;
    ++totalDoseCount;
    shiftWeight += quint32(filled);
    totalWeight += quint32(filled);
    enter(Phase::Idle);
    log(QStringLiteral("dose of %1 filled (target %2), dose number %3")
            .arg(weightText(filled), weightText(target))
            .arg(totalDoseCount));
    if (cycle)
        startDischarge();
}

void HopperModel::startFill(qint64 targetDigits, bool asCycle)
{
    if (weightDigits() > zeroBand) {
        log(QStringLiteral("fill refused: %1 still in the hopper").arg(weightText(weightDigits())));
        raise(HopperNotEmpty);
        return;
    }
    ++fillNumber;
    const ErrorScript::FillPlan plan = script.planFill(fillNumber, test);
    if (plan.atStart) {
        raise(plan.atStart);
        return;
    }
    cycle = asCycle;
    target = targetDigits;
    aim = aimOf(targetDigits);
    cutoff = aim - qMin(inFlight, aim / 2);
    fineFrom = qMax(0.0, cutoff - fineRate * FineFeedMs);
    topUps = 0;
    feedFault = plan.whileFeeding;
    feedFaultAt = weight + (cutoff - weight) / 2;
    settleFault = plan.whileSettling;
    resume = Resume::Nothing;
    log(QStringLiteral("%1 of %2 started")
            .arg(asCycle ? QStringLiteral("cycle") : QStringLiteral("fill"), weightText(target)));
    startFeeding();
}

double HopperModel::aimOf(qint64 targetDigits)
{
    if (test)
        return double(targetDigits);
    double missPercent =
        params.fillErrorPercent + params.fillDriftPercent * fillNumber / FillsPerDriftStep;
    if (params.fillSpreadPercent > 0) {
        // Box-Muller: a normal spread from two uniform draws.
        const double u = 1 - fillRandom.generateDouble();
        const double v = fillRandom.generateDouble();
        missPercent +=
            params.fillSpreadPercent * std::sqrt(-2 * std::log(u)) * std::cos(2 * Pi * v);
    }
    const double aimed = double(targetDigits) * (1 + missPercent / PercentPerUnit)
                         + params.inFlightError * double(params.digitsPerUnit());
    return qMax(0.0, aimed);
}

void HopperModel::startFeeding()
{
    if (weight < fineFrom)
        enter(Phase::CoarseFeed);
    else if (weight < cutoff)
        enter(Phase::FineFeed);
    else
        enter(Phase::Settling);
}

qint64 HopperModel::startDischarge()
{
    ++dischargeNumber;
    const ErrorScript::DischargePlan plan = script.planDischarge(dischargeNumber, test);
    resume = Resume::Nothing;
    if (plan.atStart) {
        enter(Phase::Idle);
        raise(plan.atStart);
        return 0;
    }
    const qint64 now = weightDigits();
    const qint64 unreported = qMax<qint64>(0, now - reported);
    reported = now;
    gateCloseFault = plan.atEnd;
    enter(Phase::Discharging);
    log(QStringLiteral("discharge of %1 started").arg(weightText(now)));
    return unreported;
}

void HopperModel::pauseWork()
{
    switch (current) {
    case Phase::CoarseFeed:
    case Phase::FineFeed:
        resume = Resume::Feeding;
        break;
    case Phase::InFlight:
        weight = flightStart + flight;
        resume = Resume::Settling;
        break;
    case Phase::Settling:
        resume = Resume::Settling;
        break;
    case Phase::Discharging:
        resume = Resume::Discharging;
        break;
    case Phase::GateClosing:
        resume = Resume::Nothing;
        cycle = false;
        break;
    case Phase::Idle:
        break;
    }
    enter(Phase::Idle);
    queuedTarget = 0;
}

void HopperModel::raise(int code)
{
    if (code == 0)
        return;
    pauseWork();
    alarm = quint8(code);
    log(QStringLiteral("error %1 with %2 in the hopper").arg(code).arg(weightText(weightDigits())));
}

void HopperModel::fill(qint64 targetDigits)
{
    orderFill(targetDigits, false);
}

void HopperModel::fillDose()
{
    orderFill(dose, false);
}

void HopperModel::fullCycle()
{
    orderFill(dose, true);
}

void HopperModel::orderFill(qint64 targetDigits, bool asCycle)
{
    update();
    const QString what = asCycle ? QStringLiteral("cycle") : QStringLiteral("fill");
    if (alarm) {
        log(QStringLiteral("%1 refused: error %2 not reset").arg(what).arg(alarm));
    } else if (targetDigits <= 0 || targetDigits > npd) {
        log(QStringLiteral("%1 of %2 refused: outside 0 to %3")
                .arg(what, weightText(targetDigits), weightText(npd)));
    } else if (current == Phase::Discharging || current == Phase::GateClosing) {
        queuedTarget = targetDigits;
        queuedCycle = asCycle;
        log(QStringLiteral("%1 of %2 waits for the discharge").arg(what, weightText(targetDigits)));
    } else if (current != Phase::Idle) {
        log(QStringLiteral("%1 of %2 ignored: already filling")
                .arg(what, weightText(targetDigits)));
    } else {
        startFill(targetDigits, asCycle);
    }
}

void HopperModel::continueWork()
{
    update();
    if (alarm || current != Phase::Idle)
        return;
    const Resume what = resume;
    resume = Resume::Nothing;
    switch (what) {
    case Resume::Feeding:
        startFeeding();
        break;
    case Resume::Settling:
        enter(Phase::Settling);
        break;
    case Resume::Discharging:
        enter(Phase::Discharging);
        break;
    case Resume::Nothing:
        return;
    }
    log(QStringLiteral("work continued with %1 in the hopper").arg(weightText(weightDigits())));
}

qint64 HopperModel::discharge()
{
    update();
    if (alarm) {
        log(QStringLiteral("discharge refused: error %1 not reset").arg(alarm));
        return 0;
    }
    if (current == Phase::Discharging || current == Phase::GateClosing)
        return qMax<qint64>(0, weightDigits() - reported);
    if (current == Phase::InFlight)
        weight = flightStart + flight;
    queuedTarget = 0;
    return startDischarge();
}

void HopperModel::stop()
{
    update();
    queuedTarget = 0;
    if (current == Phase::Idle)
        return;
    pauseWork();
    log(QStringLiteral("stopped with %1 in the hopper").arg(weightText(weightDigits())));
}

void HopperModel::resetError()
{
    update();
    if (!alarm)
        return;
    log(QStringLiteral("error %1 reset").arg(alarm));
    alarm = 0;
}

void HopperModel::setTestMode(bool on)
{
    update();
    if (test == on)
        return;
    test = on;
    log(on ? QStringLiteral("test mode on") : QStringLiteral("test mode off"));
}

void HopperModel::raiseError(int code)
{
    update();
    raise(code);
}

bool HopperModel::setDoseWeight(qint64 digits)
{
    if (digits <= 0 || digits > npd)
        return false;
    dose = digits;
    return true;
}

bool HopperModel::setPlusTolerance(qint64 digits)
{
    if (digits < 0 || digits > npd)
        return false;
    plusTolerance = digits;
    return true;
}

bool HopperModel::setMinusTolerance(qint64 digits)
{
    if (digits < 0 || digits > npd)
        return false;
    minusTolerance = digits;
    return true;
}

qint64 HopperModel::netWeightDigits()
{
    update();
    double amplitude = test ? 0.0 : noise;
    if (current == Phase::InFlight || current == Phase::Settling)
        amplitude *= SwingNoiseFactor;
    const double reading = weight + amplitude * (2 * random.generateDouble() - 1);
    return qint64(std::llround(reading));
}
