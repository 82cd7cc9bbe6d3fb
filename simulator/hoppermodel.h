#ifndef HOPPERMODEL_H
#define HOPPERMODEL_H

#include "doserparameters.h"
#include "errorscript.h"

#include <QRandomGenerator>
#include <QString>

#include <functional>

class ModelClock;

// The weigh hopper of one doser and its controller: fills at a coarse then a fine feed rate,
// closes the feed early by the product expected in flight, lets the load settle, counts the
// dose, discharges at a rate. Time comes from a ModelClock; the model catches up with it
// lazily, exactly, at every command or reading, so it needs no timer of its own.
// Weights are held in the doser's digits (weight * 10^scale).
class HopperModel
{
public:
    enum class Phase { Idle, CoarseFeed, FineFeed, InFlight, Settling, Discharging, GateClosing };

    static constexpr int HopperNotEmpty = 9;

    HopperModel(const DoserParameters &parameters, const ModelClock &clock, quint32 seed);

    void setErrorScript(const ErrorScript &script);
    // Receives one line per thing the doser does (fill started, dose counted, error, ...).
    void setLogger(std::function<void(const QString &)> logger);

    // Brings the model up to the clock's time.
    void update();
    // Clock time of the next change the model makes by itself; -1 while it rests.
    qint64 nextEventMs() const;

    // The doser's orders; each first catches up with the clock.
    void fill(qint64 targetDigits);
    void fillDose();
    void fullCycle();
    void continueWork();
    // Opens the gate; returns the weight that goes out and was not reported before.
    qint64 discharge();
    void stop();
    void resetError();
    void setTestMode(bool on);
    void raiseError(int code);

    // Parameters the master may change; each returns false and keeps the old value when the
    // new one lies outside 0 (exclusive for the dose) to the upper weighing limit.
    bool setDoseWeight(qint64 digits);
    bool setPlusTolerance(qint64 digits);
    bool setMinusTolerance(qint64 digits);

    // The load cell reading, with noise; catches up with the clock.
    qint64 netWeightDigits();
    // The settled weight in the hopper, without noise, as of the last catch-up.
    qint64 weightDigits() const;
    quint8 stateFlags() const;
    quint8 errorCode() const { return alarm; }
    Phase phase() const { return current; }
    bool testMode() const { return test; }

    const DoserParameters &parameters() const { return params; }
    qint64 npdDigits() const { return npd; }
    qint64 doseDigits() const { return dose; }
    qint64 plusToleranceDigits() const { return plusTolerance; }
    qint64 minusToleranceDigits() const { return minusTolerance; }

    quint32 shiftDoses() const { return shiftDoseCount; }
    quint32 shiftWeightDigits() const { return shiftWeight; }
    quint32 totalDoses() const { return totalDoseCount; }
    quint32 totalWeightDigits() const { return totalWeight; }
    qint64 lastFillDigits() const { return lastFill; }

    // The weight as the doser writes it: fixed point with `scale` decimals.
    QString weightText(qint64 digits) const;

private:
    enum class Resume { Nothing, Feeding, Settling, Discharging };

    double phaseEndMs() const;
    double timedErrorMs() const;
    void advance(double toMs);
    void finishPhase();
    void orderFill(qint64 targetDigits, bool asCycle);
    void startFill(qint64 targetDigits, bool asCycle);
    void startFeeding();
    qint64 startDischarge();
    void complete();
    void pauseWork();
    void raise(int code);
    void enter(Phase phase);
    void log(const QString &text) const;
    // Where this fill's feed aims in truth: the target with the doser's miss.
    double aimOf(qint64 targetDigits);

    DoserParameters params;
    const ModelClock &clock;
    ErrorScript script;
    QRandomGenerator random;
    // The misses draw apart from the readings, so a seed repeats them however often is read.
    QRandomGenerator fillRandom;
    std::function<void(const QString &)> logger;

    qint64 npd = 0;
    qint64 dose = 0;
    qint64 plusTolerance = 0;
    qint64 minusTolerance = 0;
    qint64 zeroBand = 0;
    double coarseRate = 0;
    double fineRate = 0;
    double dischargeRate = 0;
    double inFlight = 0;
    double noise = 0;

    double startMs = 0;
    double lastMs = 0;
    double phaseStartMs = 0;
    Phase current = Phase::Idle;
    Resume resume = Resume::Nothing;
    double weight = 0;
    quint8 alarm = 0;
    bool test = false;

    qint64 target = 0;
    double aim = 0;
    double cutoff = 0;
    double fineFrom = 0;
    double flight = 0;
    double flightStart = 0;
    int topUps = 0;
    bool cycle = false;
    qint64 queuedTarget = 0;
    bool queuedCycle = false;
    int feedFault = 0;
    double feedFaultAt = 0;
    int settleFault = 0;
    int gateCloseFault = 0;
    qint64 reported = 0;
    int fillNumber = 0;
    int dischargeNumber = 0;

    quint32 shiftDoseCount = 0;
    quint32 shiftWeight = 0;
    quint32 totalDoseCount = 0;
    quint32 totalWeight = 0;
    qint64 lastFill = 0;
};

#endif // HOPPERMODEL_H
