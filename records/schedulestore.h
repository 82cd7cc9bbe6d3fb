#ifndef SCHEDULESTORE_H
#define SCHEDULESTORE_H

#include "writeresult.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Database;

// One entry of the production schedule: a formula (or one product on one doser) at a size, run
// `count` times, each batch with its lot.
struct ScheduleEntry
{
    enum class State { Waiting = 0, Running = 1, Done = 2, Stopped = 3, Refused = 4 };

    qint64 id = 0;
    // Its place in the schedule; the lowest waiting runs first.
    int place = 0;
    // Empty for a single product on one doser.
    QString formulaName;
    QString productName;
    int deviceId = 0;
    // Of each batch, in the doser's unit.
    QString size;
    // Typed; empty for the pattern's (or the formula's).
    QString lot;
    QString lotPattern;
    int count = 1;
    // Batches of it that ended, and the one open (0 when none): read from the batch rows, so a
    // batch is counted once whatever the console was doing when it ended.
    int done = 0;
    qint64 openButch = 0;
    State state = State::Waiting;
    // Why it was refused or stopped.
    QString reason;
    QString addedBy;
    QDateTime addedAt;
    // The plant's order it came from; empty for one added at the panel.
    QString orderId;
};

// The production schedule in data.db. Which batches belong to an entry is kept with the batch
// (scheduleButch, written in the transaction that opens the batch: ButchRecords::newButch), so
// an entry's progress is what the batch rows say: a batch cut off by a restart is continued, not
// run again, and a batch deleted unfinished is run again.
class ScheduleStore
{
public:
    explicit ScheduleStore(Database &database);

    // Appended after the others; its id goes into entry.id. An order id already in the schedule
    // is refused (the plant sends an order again until it hears of it), and so is an entry
    // beyond MaxOpen not yet done or refused, so a runaway sender cannot fill data.db.
    WriteResult add(ScheduleEntry &entry);
    static constexpr int MaxOpen = 200;
    bool hasOrder(const QString &orderId);
    // The lots of the entry's batches so far, in their order.
    QStringList lotsOf(qint64 id);
    // Every entry: the running one first, then in their places.
    QList<ScheduleEntry> entries();
    std::optional<ScheduleEntry> entry(qint64 id);
    // The entry to run next: the running or stopped one, else the first waiting; none when
    // nothing is left.
    std::optional<ScheduleEntry> next();
    // A waiting entry one place up (steps < 0) or down among the waiting ones.
    WriteResult move(qint64 id, int steps);
    // Only a waiting, refused or done entry; one with a batch in work stays.
    WriteResult remove(qint64 id);
    WriteResult setState(qint64 id, ScheduleEntry::State state, const QString &reason = {});

    static QString stateText(ScheduleEntry::State state);

private:
    QList<ScheduleEntry> read(const QString &where, const QVariantList &arguments);

    Database &database;
};

#endif // SCHEDULESTORE_H
