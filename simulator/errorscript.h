#ifndef ERRORSCRIPT_H
#define ERRORSCRIPT_H

#include "errorrule.h"

#include <QList>
#include <QRandomGenerator>

// Decides, from the scripted rules, which doser errors strike during each fill and discharge
// and which fall due at a time. Each code strikes where it would on a real doser: a supply or
// feed fault while feeding, an unstable load cell while settling, the gate at the start or
// end of a discharge, everything else when the operation starts.
class ErrorScript
{
public:
    struct FillPlan
    {
        int atStart = 0;
        int whileFeeding = 0;
        int whileSettling = 0;
    };
    struct DischargePlan
    {
        int atStart = 0;
        int atEnd = 0;
    };

    ErrorScript() = default;
    ErrorScript(const QList<ErrorRule> &rules, quint32 seed);

    // The codes that strike fill number fillNumber (counted from 1); 0 where none does.
    // Test mode runs without product, so faults of the product feed and load cell stay away.
    FillPlan planFill(int fillNumber, bool testMode);
    DischargePlan planDischarge(int dischargeNumber, bool testMode);
    // The earliest timed error still to come, in ms since start; -1 when none is left.
    qint64 nextTimedMs() const;
    // Takes the earliest timed error and returns its code; 0 when none is left.
    int takeNextTimed();

    // Codes that come from the product feed or the load cell.
    static bool isProcessFault(int code);

private:
    bool strikes(const ErrorRule &rule, bool discharge, int number);

    QList<ErrorRule> rules;
    QList<ErrorRule> timed;
    QRandomGenerator random;
};

#endif // ERRORSCRIPT_H
