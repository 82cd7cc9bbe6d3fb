#include "errorscript.h"

#include <algorithm>

namespace {

constexpr int UnstableLoadCell = 5;
constexpr int NoProductSupply = 8;
constexpr int WeightFallsWhileFilling = 12;
constexpr int LowThroughput = 18;
constexpr int GateOpenTimeout = 10;
constexpr int GateCloseTimeout = 11;

bool belongsToDischarge(int code)
{
    return code == GateOpenTimeout || code == GateCloseTimeout;
}

bool strikesWhileFeeding(int code)
{
    return code == NoProductSupply || (code >= WeightFallsWhileFilling && code <= LowThroughput);
}

void place(int *slot, int code)
{
    if (*slot == 0)
        *slot = code;
}

} // namespace

ErrorScript::ErrorScript(const QList<ErrorRule> &allRules, quint32 seed)
    : random(seed)
{
    for (const ErrorRule &rule : allRules) {
        if (rule.trigger == ErrorRule::Trigger::Time)
            timed.append(rule);
        else
            rules.append(rule);
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const ErrorRule &a, const ErrorRule &b) { return a.number < b.number; });
}

bool ErrorScript::isProcessFault(int code)
{
    return code == UnstableLoadCell || strikesWhileFeeding(code);
}

bool ErrorScript::strikes(const ErrorRule &rule, bool discharge, int number)
{
    switch (rule.trigger) {
    case ErrorRule::Trigger::FillNumber:
        return !discharge && rule.number == number;
    case ErrorRule::Trigger::DischargeNumber:
        return discharge && rule.number == number;
    case ErrorRule::Trigger::Probability:
        return belongsToDischarge(rule.code) == discharge
               && random.generateDouble() < rule.probability;
    case ErrorRule::Trigger::Always:
        return belongsToDischarge(rule.code) == discharge;
    case ErrorRule::Trigger::Time:
        break;
    }
    return false;
}

ErrorScript::FillPlan ErrorScript::planFill(int fillNumber, bool testMode)
{
    FillPlan plan;
    for (const ErrorRule &rule : std::as_const(rules)) {
        if (!strikes(rule, false, fillNumber) || (testMode && isProcessFault(rule.code)))
            continue;
        if (rule.code == UnstableLoadCell)
            place(&plan.whileSettling, rule.code);
        else if (strikesWhileFeeding(rule.code))
            place(&plan.whileFeeding, rule.code);
        else
            place(&plan.atStart, rule.code);
    }
    return plan;
}

ErrorScript::DischargePlan ErrorScript::planDischarge(int dischargeNumber, bool testMode)
{
    DischargePlan plan;
    for (const ErrorRule &rule : std::as_const(rules)) {
        if (!strikes(rule, true, dischargeNumber) || (testMode && isProcessFault(rule.code)))
            continue;
        place(rule.code == GateCloseTimeout ? &plan.atEnd : &plan.atStart, rule.code);
    }
    return plan;
}

qint64 ErrorScript::nextTimedMs() const
{
    return timed.isEmpty() ? -1 : timed.first().number;
}

int ErrorScript::takeNextTimed()
{
    return timed.isEmpty() ? 0 : timed.takeFirst().code;
}
