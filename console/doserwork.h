#ifndef DOSERWORK_H
#define DOSERWORK_H

#include <QString>
#include <QtGlobal>

// The console's view of one doser position: the task in work and the doser's parameters as it
// last reported them.
struct DoserWork
{
    // Back to the values of a doser that has reported nothing and has no task.
    void reset() { *this = DoserWork(); }

    quint8 scale = 0;
    double doseFaultMinus = 0;
    double doseFaultPlus = 0;
    // The upper weighing limit; 1.0 until the doser reports its own.
    double npd = 1.0;
    // The doser has reported its upper weighing limit; doses are cut only by a reported one.
    bool npdReported = false;
    double taskWeight = 0;
    double haveDoneWeight = 0;
    double mustToBeDoneWeight = 0;
    double doseWeight = 0;
    double lastUploadWeight = 0;
    double lastDoseWeight = 0;
    QString weightScale;
    bool idle = true;
    bool offline = false;
    // Not 0: the doser lost the connection and must be brought back when it answers.
    int connectionErrors = 0;
    quint32 lastTotalCommonWeight = 0;
    bool mustDownload = false;
    bool mustUpload = false;
    bool uploadCounted = false;
    bool firstUpload = false;
    // The weight of the fills completed in a task since the last discharge report, by the doser's
    // weight counter: it stands in for a discharge report lost on the line.
    double unreportedFill = 0;
    // A discharge was reported since the counter was last read: its fills are accounted for.
    bool dischargeReported = true;
    // The hopper is being emptied before work; no fill until its report is counted.
    bool awaitingResidue = false;
    // The doser's last reply raised the alarm, or said it stands (neither works nor alarms).
    bool alarmed = false;
    bool standing = false;
    // The hopper is to be emptied before work as soon as the doser stops working.
    bool dischargeWhenIdle = false;
    // The weight of the last fill ordered in the batch, as sent.
    QString orderedDose;
    // The alarm the doser reports now; empty while it reports none.
    QString alarmText;
};

#endif // DOSERWORK_H
