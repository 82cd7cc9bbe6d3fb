#ifndef PROCESSIMAGE_H
#define PROCESSIMAGE_H

#include "doserstate.h"
#include "doserwork.h"

#include <QDateTime>
#include <QList>
#include <QObject>

#include <functional>

// Where a batch stands, in one place for whoever shows or passes it on.
enum class BatchState {
    // No batch open in this run.
    Idle,
    Running,
    // Open, its tasks kept, waiting for "Продолжить задание".
    Stopped,
    // The last batch ended and is closed.
    Finished,
};

struct BatchProgress
{
    BatchState state = BatchState::Idle;
    quint64 butchId = 0;
    QString product;
    Weight target;
    Weight delivered;
    Weight remaining;
    // Discharges counted into the task, the residue included.
    int doseNumber = 0;
    // The discharges counted so far and the fills still needed at the present dose rule.
    int plannedDoses = 0;
    DosePhase phase = DosePhase::None;
    QDateTime started;
    // The batch's lot; empty when it has none.
    QString lot;
    // The fill in work as ordered, and the band a dose should land in.
    Weight orderedDose;
    double plusTolerance = 0;
    double minusTolerance = 0;
    // The last discharge counted into the task.
    Weight lastDischarge;
    // The mean time from one counted discharge to the next while the batch runs; 0 until two
    // were counted in one run.
    qint64 cycleMs = 0;
};

// One doser as the console last heard of it.
struct DoserImage
{
    int deviceId = 0;
    DoserState state = DoserState::NoConnection;
    // The code of the alarm the doser reports; 0 while it reports none.
    int alarmCode = 0;
    Weight netWeight;
    QString unit;
    quint8 decimals = 0;
    // The counters of the shift and the non-resettable ones.
    Weight doseCount;
    Weight shiftWeight;
    quint32 totalDoseCount = 0;
    Weight totalWeight;
    BatchProgress batch;
};

// Member by member; a member added to either struct is compared as soon as it compiles.
bool operator==(const BatchProgress &a, const BatchProgress &b);
bool operator==(const DoserImage &a, const DoserImage &b);

// The dosers' process image: the supervision and the batch write it, the window and every
// other reader draw from it and hear of each change through one signal.
class ProcessImage : public QObject
{
    Q_OBJECT

public:
    explicit ProcessImage(int doserCount, QObject *parent = nullptr);

    int doserCount() const { return int(dosers.size()); }
    const DoserImage &doser(int position) const { return dosers.at(position); }
    // Changes a doser's image and tells the readers, when it changed at all.
    void update(int position, const std::function<void(DoserImage &)> &change);
    // The line gained dosers at its end, or lost the one at a position (the later ones move up).
    void resize(int doserCount);
    void remove(int position);

signals:
    void changed(int position);
    // The number of dosers or their positions changed; a removal is told first on its own.
    void dosersChanged();
    void doserRemoved(int position);

private:
    QList<DoserImage> dosers;
};

#endif // PROCESSIMAGE_H
