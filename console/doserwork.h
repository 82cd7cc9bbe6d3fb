#ifndef DOSERWORK_H
#define DOSERWORK_H

#include "doserstate.h"

#include <QString>
#include <QtGlobal>

// Where one doser's task stands in its fill/discharge cycle.
enum class DosePhase {
    // No task in work (none, or the batch stands still).
    None,
    // The hopper is to be emptied before work as soon as the doser stands.
    Starting,
    // The hopper is being emptied before work; its report is the residue.
    Residue,
    // The next tick orders a fill.
    FillDue,
    // A fill is under way; the weight counter tells when it is complete.
    Filling,
    // The next tick orders a discharge.
    DischargeDue,
    // A discharge is under way; its report is counted into the task.
    Discharging,
};

// The batch's view of one doser position: the task in work and the doser's parameters as it
// last reported them.
struct DoserWork
{
    // Back to the values of a doser that has reported nothing and has no task.
    void reset() { *this = DoserWork(); }

    quint8 scale = 0;
    double doseFaultMinus = 0;
    double doseFaultPlus = 0;
    // The tolerances as the doser reported them; empty until it did.
    QString doseFaultPlusText;
    QString doseFaultMinusText;
    // As the doser reported them, while a formula component's own are in force.
    QString reportedPlusText;
    QString reportedMinusText;
    // The formula component in work (an index into the batch's formula), -1 for none; its
    // product and tolerances stand for the doser's.
    int component = -1;
    QString product;
    // The upper weighing limit; 1.0 until the doser reports its own.
    double npd = 1.0;
    // The doser has reported its upper weighing limit; doses are cut only by a reported one.
    bool npdReported = false;
    double taskWeight = 0;
    double haveDoneWeight = 0;
    double mustToBeDoneWeight = 0;
    double doseWeight = 0;
    // The weight of the discharge counted into the task last, a residue included.
    double lastCountedWeight = 0;
    QString weightScale;
    bool idle = true;
    DosePhase phase = DosePhase::None;
    // The task's row is in data.db; false while its writing failed.
    bool taskRecorded = false;
    // The id data.db gave the task's row; 0 while it has none.
    qint64 taskId = 0;
    // Discharges counted into the task in this run, the residues included.
    int doseNumber = 0;
    quint32 lastTotalCommonWeight = 0;
    // The weight of the fills completed in a task since the last counted discharge, by the
    // doser's weight counter: it stands in for a discharge report lost on the line.
    double unreportedFill = 0;
    // The next step of the weight counter is accounted for already (by a counted discharge, or
    // made by a manual order) and does not go into the fill ledger.
    bool counterSettled = true;
    // The doser's own stop requests end the work; not while a batch starts or resumes, until
    // the doser has answered the dose count.
    bool watchStopRequests = true;
    // The state of the doser's last reply.
    DoserState state = DoserState::NoConnection;
    // The weight of the last fill ordered in the batch, as the batch wanted it; what was sent
    // differs by the correction applied to it (a share of the wanted weight).
    QString orderedDose;
    double sentDose = 0;
    double appliedCorrection = 0;
    double appliedInFlight = 0;
    // The fills still to come in the fewest-cycles plan, this one in the hopper included; 0 when
    // the plan is to be made afresh.
    int fillsLeft = 0;
    // When the last discharge was counted in this run of the batch (ms of the batch's clock;
    // -1 after a stop, so a pause is not taken for a cycle), and the mean cycle so far.
    qint64 lastCountedMs = -1;
    // Ticks of the cycle until the doser is asked for its counters again.
    int ticksToAsk = 0;
    qint64 meanCycleMs = 0;
};

#endif // DOSERWORK_H
