#ifndef DOSERSUPERVISOR_H
#define DOSERSUPERVISOR_H

#include "batchline.h"
#include "doserstate.h"
#include "processimage.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class BatchRun;
class K310Device;
class K310Link;
class LineQueue;

// The dosers on the line without a window: owns their device objects, knows which are switched
// on, answering or lost (the device's own flags are the one record of it), polls the online ones
// between batches, probes the lost ones, and writes what they report into the process image.
// The batch hears of the dosers' reports directly and of a lost doser from here; the window
// draws the image and journals what this tells it.
class DoserSupervisor : public QObject, public BatchLine
{
    Q_OBJECT

public:
    // Probing lost dosers; polling the weight between batches, with pauses between a doser's
    // three questions that keep the line free for others.
    static constexpr int ActivityPeriodMs = 500;
    static constexpr int WeightPeriodMs = 190;
    static constexpr int PollPauseMs = 100;
    // While a batch runs, a lost doser is probed every this many rounds of ActivityPeriodMs.
    static constexpr int ProbeRoundsInBatch = 4;

    // The link may be null (no line: the devices stay inert); the queue, when given, carries
    // every request to the link one at a time.
    DoserSupervisor(K310Link *link, LineQueue *queue, ProcessImage &image,
                    QObject *parent = nullptr);
    ~DoserSupervisor() override;

    // The batch is told of lost dosers and hears the devices' reports; set once.
    void attach(BatchRun *batch);

    // The line: a doser added at the end gets the next position; removal shifts the later ones.
    int addDoser(int address);
    void removeDoser(int position);
    void setAddress(int position, int address);
    int positionOf(int id) const;
    // The product the console assigns to the doser, shown before its task takes it.
    void setProduct(int position, const QString &name);
    // The line is not open: nobody can answer.
    void showNoConnection(int position);
    K310Device *device(int position) const { return devices.at(position); }

    // Switched on by the operator; switching on tests the connection.
    void switchOn(int position, bool on);
    bool isActive(int position) const;
    // Asks the doser for its parameters and counters, when it answers.
    void connectionTest(int position);
    // Polls the online dosers' weight and counters (between batches).
    void setWeightPolling(bool on);
    bool isWeightPolling() const { return weightTimer.isActive(); }
    void startTimers();
    void stopTimers();

    // The batch's line.
    int doserCount() const override { return int(devices.size()); }
    int deviceId(int position) const override;
    QString productName(int position) const override;
    bool isOnline(int position) const override;
    bool isLost(int position) const override;
    void resetErrorFlag(int position) override;
    void discharge(int position) override;
    void stopWork(int position) override;
    void askTotalCommonWeight(int position) override;
    void askTotalCommonDoseCount(int position) override;
    void askDoseCount(int position) override;
    void askNetWeight(int position) override;
    void fillIfOnline(int position, double weight, quint8 decimals) override;
    void dischargeIfOnline(int position) override;
    void askWeighingLimitIfOnline(int position) override;
    int pendingRequests(int position) const override;

    // Orders to a doser that is switched off or lost are dropped.
    void sendIfOnline(int position, void (K310Device::*request)());

signals:
    // The doser stopped answering, or answers again (its parameters are being asked).
    void doserLost(int position);
    void doserRegained(int position);
    // An alarm the doser reports for the first time (every reply repeats it), and its end.
    void alarmRaised(int position, const QString &text, int code);
    void alarmCleared(int position);
    // A state the console has no name for, shown as it came.
    void unnamedState(int position, const QString &text);
    // A fill went to the doser with this weight as sent.
    void doseOrdered(int position, const QString &weight);
    // Each probe round, for whoever shows the line's counters.
    void activityChecked();

private:
    void wire(K310Device *doser);
    void wireBatch(K310Device *doser);
    void connectionError(int id);
    void currentState(int id, const QString &state);
    void stateReported(int id, DoserState state);
    void workError(int id, const QString &text);
    void checkActivity();
    void pollWeight();
    void pollStep();
    void setLost(int position, bool lost);
    void resetImage(int position);
    double counterInUnits(int position, const QString &counter) const;
    bool isValid(int position) const { return position >= 0 && position < devices.size(); }

    K310Link *link;
    LineQueue *queue;
    ProcessImage &image;
    BatchRun *batch = nullptr;
    QList<K310Device *> devices;
    // The alarm each doser reports now; empty while it reports none.
    QStringList alarmTexts;
    QTimer activityTimer;
    QTimer weightTimer;
    QTimer pollPause;
    int activityPosition = 0;
    int roundsInBatch = 0;
    int weightPosition = 0;
    // The doser polled now and its next question; -1 while no poll is under way.
    int polled = -1;
    int pollQuestion = 0;
    // A tick came while a poll was under way: the next starts when it ends.
    bool pollDue = false;
};

#endif // DOSERSUPERVISOR_H
