#ifndef FAKEBATCHDOSER_H
#define FAKEBATCHDOSER_H

#include "batchline.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>

class BatchRun;

// One doser on the batch's line, answering like a real one but at once and without a port: a
// fill goes into the hopper and onto the weight counter, a discharge empties the hopper and
// reports what it held. Replies wait until deliver(), as the link's do for the event loop.
class FakeBatchDoser : public BatchLine
{
public:
    static constexpr int Id = 30;
    static constexpr int Decimals = 2;

    void attach(BatchRun *run) { batch = run; }

    // What the doser's next replies do instead of answering plainly.
    // The next discharge empties the hopper but its reply is lost: the line is lost with it.
    bool loseNextDischargeReply = false;
    // The next discharge is answered with the alarm raised.
    bool alarmOnNextDischarge = false;
    // Fills come out this much heavier than ordered (a share, 0.02 is 2 %).
    double fillError = 0;
    bool online = true;

    double hopper = 0;
    quint32 counter = 500000;
    // The orders as they came: "fill 23.08", "discharge", "stop", "reset".
    QStringList orders;
    QList<double> fills() const;

    // Hands the batch every reply due, and those its reactions bring, until none is left.
    void deliver();
    // Ticks of the batch's cycle, each with its replies delivered.
    void tick(int times = 1);
    // Ticks until the condition holds; false when it did not within the ticks given.
    bool tickUntil(const std::function<bool()> &condition, int maxTicks = 400);

    int doserCount() const override { return 1; }
    int deviceId(int) const override { return Id; }
    QString productName(int) const override { return product; }
    bool isOnline(int) const override { return online; }
    bool isLost(int) const override { return !online; }
    void resetErrorFlag(int) override;
    void discharge(int) override;
    void stopWork(int) override;
    void askTotalCommonWeight(int) override;
    void askTotalCommonDoseCount(int) override { }
    void askDoseCount(int) override;
    void askNetWeight(int) override { ++netWeightAsks; }
    void fillIfOnline(int, double weight, quint8 decimals) override;
    void dischargeIfOnline(int) override;
    void askWeighingLimitIfOnline(int) override { }

    QString product = QStringLiteral("Мука");
    int netWeightAsks = 0;

private:
    void reply(const std::function<void()> &report);

    BatchRun *batch = nullptr;
    bool alarmed = false;
    int doses = 0;
    QList<std::function<void()>> due;
};

// The operator: answers questions by a rule for their text ("Нет" otherwise) and keeps every
// report.
class FakeOperator : public BatchOperator
{
public:
    QHash<QString, Answer> answers;
    QStringList asked;
    QStringList shown;

    Answer ask(const QString &text) override;
    void inform(const QString &text) override { shown << text; }
    void dismissQuestion() override { }
};

#endif // FAKEBATCHDOSER_H
