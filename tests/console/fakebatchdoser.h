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

    // Its address and place on a line of several.
    int id = Id;
    int position = 0;

    // What the doser's next replies do instead of answering plainly.
    // The next discharge empties the hopper but its reply is lost: the line is lost with it.
    bool loseNextDischargeReply = false;
    // The next discharge is answered with the alarm raised.
    bool alarmOnNextDischarge = false;
    // Fills come out this much heavier than ordered (a share, 0.02 is 2 %).
    double fillError = 0;
    // And this weight heavier besides, whatever their size.
    double inFlightError = 0;
    bool online = true;

    double hopper = 0;
    // Everything the doser ever discharged, reported or not.
    double discharged = 0;
    quint32 counter = 500000;
    // The orders as they came: "fill 23.08", "discharge", "stop", "reset", "cycle 5.00".
    QStringList orders;
    QList<double> fills() const;
    // A full cycle ordered by hand or at its own keypad: filled and discharged at once, onto the
    // counter, and reported to no one.
    void fullCycle(double weight);

    // Hands the batch every reply due, and those its reactions bring, until none is left.
    void deliver();
    // One reply, when one is due.
    bool deliverOne();
    // Ticks of the batch's cycle, each with its replies delivered.
    void tick(int times = 1);
    // Ticks until the condition holds; false when it did not within the ticks given.
    bool tickUntil(const std::function<bool()> &condition, int maxTicks = 400);

    int doserCount() const override { return 1; }
    int deviceId(int) const override { return id; }
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

// Fake dosers at 30, 31, ... on one line, each answering for itself.
class FakeLine : public BatchLine
{
public:
    explicit FakeLine(int count);
    ~FakeLine() override;

    void attach(BatchRun *run);
    FakeBatchDoser &operator[](int position) { return *dosers.at(position); }
    void deliver();
    void tick(int times = 1);
    // A tick of a line is a share of the doser's period: more of them.
    bool tickUntil(const std::function<bool()> &condition, int maxTicks = 10000);

    int doserCount() const override { return int(dosers.size()); }
    int deviceId(int p) const override { return dosers.at(p)->id; }
    QString productName(int p) const override { return dosers.at(p)->product; }
    bool isOnline(int p) const override { return dosers.at(p)->online; }
    bool isLost(int p) const override { return !dosers.at(p)->online; }
    void resetErrorFlag(int p) override { dosers.at(p)->resetErrorFlag(p); }
    void discharge(int p) override { dosers.at(p)->discharge(p); }
    void stopWork(int p) override { dosers.at(p)->stopWork(p); }
    void askTotalCommonWeight(int p) override { dosers.at(p)->askTotalCommonWeight(p); }
    void askTotalCommonDoseCount(int) override { }
    void askDoseCount(int p) override { dosers.at(p)->askDoseCount(p); }
    void askNetWeight(int p) override { dosers.at(p)->askNetWeight(p); }
    void fillIfOnline(int p, double weight, quint8 decimals) override
    {
        dosers.at(p)->fillIfOnline(p, weight, decimals);
    }
    void dischargeIfOnline(int p) override { dosers.at(p)->dischargeIfOnline(p); }
    void askWeighingLimitIfOnline(int) override { }

private:
    QList<FakeBatchDoser *> dosers;
    BatchRun *batch = nullptr;
};

// The operator: answers questions by a rule for their text or its first line ("Нет" otherwise)
// and keeps every report.
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
