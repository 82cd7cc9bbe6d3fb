#ifndef EVENTJOURNAL_H
#define EVENTJOURNAL_H

#include "database.h"
#include "journalevent.h"
#include "journalkey.h"

#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <functional>

class QThread;

// Writes the event journal without holding up its caller: record() only stamps and queues the
// event; a worker thread with a connection of its own writes whatever is queued in one
// transaction as soon as the file is free. The destructor writes everything still queued.
//
// On a crash the events not yet committed are lost: those recorded while the worker's
// transaction was under way, normally a few milliseconds' worth, and at most the events of
// the last 5 s when another connection held the file locked that long.
//
// Rows are sealed with the key beside the file (see JournalSeal); without a key they are
// written unsealed, which the journal's check reports as a break. After a batch event, or when
// none is remembered yet, the newest seal is kept in `journal.seal` (see KnownSeal), unless the
// one kept there is no longer in the journal: that stays as the evidence.
class EventJournal
{
public:
    // Waiting on a file that other connections keep locked, or that cannot be written.
    static constexpr int RetryIntervalMs = 1000;
    // Beyond this many unwritten events the oldest are dropped (with a warning): memory must
    // not grow without end while the file cannot be written.
    static constexpr int MaxQueuedEvents = 100000;

    explicit EventJournal(const QString &databaseFile = QString::fromLatin1(DatabaseFileName),
                          JournalKey::WhenMissing whenMissing = JournalKey::WhenMissing::Create);
    ~EventJournal();
    EventJournal(const EventJournal &) = delete;
    EventJournal &operator=(const EventJournal &) = delete;

    // Stamps the event with the current time; safe from any thread.
    void record(JournalEvent::Kind kind, const QString &text = QString(),
                qint64 butchId = JournalEvent::NoButch, int deviceId = JournalEvent::NoDevice,
                int errorCode = JournalEvent::NoErrorCode);
    // Keeps the event's own moment, or stamps it when it has none.
    void record(const JournalEvent &event);
    // Blocks until every event recorded before the call is written, at most timeoutMs;
    // false when some are not.
    bool flush(int timeoutMs = 10000);
    int pendingCount() const;
    bool hasKey() const { return key.isValid(); }
    // Why rows are written unsealed; empty when they are sealed.
    QString keyProblem() const { return key.problem(); }
    // For tests: called on the worker thread whenever it has taken the queued events and is
    // about to write them, so a test can record events while a write is under way.
    void setWriteStartedHook(std::function<void()> hook);
    // Called on the worker thread after each write is committed, so a reader of the file (the
    // plant link's outbox) looks at once. It runs under the journal's lock: it is to be cheap
    // and record nothing; once an empty hook is set, the one before runs no more.
    void setWrittenHook(std::function<void()> hook);

private:
    void writeLoop();
    bool write(Database &database, const QList<JournalEvent> &events);

    const QString fileName;
    const JournalKey key;
    mutable QMutex mutex;
    QWaitCondition queued;
    QWaitCondition handled;
    QList<JournalEvent> queue;
    // Events recorded, and events written or dropped, since construction.
    quint64 recordedCount = 0;
    quint64 handledCount = 0;
    // The events at the head of the queue that the worker is writing.
    int inFlight = 0;
    bool stopping = false;
    // The mark's highest event id when the worker started; the worker's alone.
    qint64 floorId = 0;
    std::function<void()> writeStarted;
    std::function<void()> written;
    QThread *worker = nullptr;
};

#endif // EVENTJOURNAL_H
