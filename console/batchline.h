#ifndef BATCHLINE_H
#define BATCHLINE_H

#include <QString>
#include <QtGlobal>

// What a batch needs of the dosers on the line: who they are, whether they answer, and the
// orders it sends them. The console implements it on its doser objects, a test on a fake.
class BatchLine
{
public:
    virtual ~BatchLine() = default;

    virtual int doserCount() const = 0;
    virtual int deviceId(int position) const = 0;
    virtual QString productName(int position) const = 0;
    // Active and answering; lost is active and not answering.
    virtual bool isOnline(int position) const = 0;
    virtual bool isLost(int position) const = 0;

    // Sent as they are, whether the doser answers or not.
    virtual void resetErrorFlag(int position) = 0;
    virtual void discharge(int position) = 0;
    virtual void stopWork(int position) = 0;
    virtual void askTotalCommonWeight(int position) = 0;
    virtual void askTotalCommonDoseCount(int position) = 0;
    virtual void askDoseCount(int position) = 0;
    virtual void askNetWeight(int position) = 0;
    // The cycle's orders: dropped for a doser that does not answer; each resets the doser's
    // error first.
    virtual void fillIfOnline(int position, double weight, quint8 decimals) = 0;
    virtual void dischargeIfOnline(int position) = 0;
    virtual void askWeighingLimitIfOnline(int position) = 0;
    // Requests for the doser still waiting for the line.
    virtual int pendingRequests(int position) const
    {
        Q_UNUSED(position);
        return 0;
    }
};

// The operator in front of the batch: questions with "Да" and "Нет", and reports.
class BatchOperator
{
public:
    // Dismissed: the console closed the question itself (the doser was lost, the batch ended).
    // Busy: another question is open, so this one was not asked.
    enum class Answer { Yes, No, Dismissed, Busy };

    virtual ~BatchOperator() = default;
    virtual Answer ask(const QString &text) = 0;
    virtual void inform(const QString &text) = 0;
    // Closes an open question without an answer.
    virtual void dismissQuestion() = 0;
};

#endif // BATCHLINE_H
