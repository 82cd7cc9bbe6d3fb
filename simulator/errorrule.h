#ifndef ERRORRULE_H
#define ERRORRULE_H

#include "doserparameters.h"

#include <QString>

// One scripted doser error, written on the command line as CODE:WHEN where WHEN is
// fill=N or discharge=N (the Nth fill or discharge since start), t=SECONDS (at that time
// since start), p=P (each fill or discharge with probability P) or always; a trailing ,addr=N
// keeps it to the doser at address N instead of every doser on the line.
class ErrorRule
{
public:
    enum class Trigger { FillNumber, DischargeNumber, Time, Probability, Always };

    // Reads one rule; on failure returns false and explains why in *error.
    static bool parse(const QString &text, ErrorRule *rule, QString *error);

    int code = 0;
    Trigger trigger = Trigger::Always;
    // The operation number for FillNumber/DischargeNumber, milliseconds for Time.
    qint64 number = 0;
    double probability = 0;
    int address = DoserParameters::AnyAddress;

    bool appliesTo(int doserAddress) const
    {
        return address == DoserParameters::AnyAddress || address == doserAddress;
    }
};

#endif // ERRORRULE_H
