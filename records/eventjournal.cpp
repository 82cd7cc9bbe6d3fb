#include "eventjournal.h"

#include "recordtime.h"
#include "transaction.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

// At exit a file that stays unwritable must not hold the program for long.
constexpr int AttemptsWhenStopping = 3;

const QString AddStatement =
    QStringLiteral("INSERT INTO event (date, time, kind, idButch, deviceId, errorCode, text) "
                   "values (\"%1\", \"%2\", %3, %4, %5, %6, \"%7\");");

QVariant optional(qint64 value, qint64 none)
{
    return value == none ? QVariant() : QVariant(value);
}

} // namespace

EventJournal::EventJournal(const QString &databaseFile)
    : fileName(databaseFile)
{
    worker = QThread::create([this] { writeLoop(); });
    worker->start(QThread::LowPriority);
}

EventJournal::~EventJournal()
{
    {
        const QMutexLocker locker(&mutex);
        stopping = true;
        queued.wakeAll();
    }
    worker->wait();
    delete worker;
}

void EventJournal::record(JournalEvent::Kind kind, const QString &text, qint64 butchId,
                          int deviceId, int errorCode)
{
    JournalEvent event;
    event.moment = QDateTime::currentDateTime();
    event.kind = kind;
    event.text = text;
    event.butchId = butchId;
    event.deviceId = deviceId;
    event.errorCode = errorCode;
    record(event);
}

void EventJournal::record(const JournalEvent &event)
{
    const QMutexLocker locker(&mutex);
    queue << event;
    if (!queue.last().moment.isValid())
        queue.last().moment = QDateTime::currentDateTime();
    ++recordedCount;
    if (queue.size() - inFlight > MaxQueuedEvents) {
        queue.removeAt(inFlight);
        ++handledCount;
        qWarning("event journal: the file takes no writes, the oldest queued event is dropped");
    }
    queued.wakeOne();
}

bool EventJournal::flush(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QMutexLocker locker(&mutex);
    const quint64 target = recordedCount;
    queued.wakeOne();
    while (handledCount < target) {
        if (!handled.wait(&mutex, deadline))
            break;
    }
    return handledCount >= target;
}

int EventJournal::pendingCount() const
{
    const QMutexLocker locker(&mutex);
    return int(recordedCount - handledCount);
}

void EventJournal::setWriteStartedHook(std::function<void()> hook)
{
    const QMutexLocker locker(&mutex);
    writeStarted = std::move(hook);
}

void EventJournal::writeLoop()
{
    Database database(fileName);
    database.createTables();
    int failedAttempts = 0;
    QMutexLocker locker(&mutex);
    for (;;) {
        if (queue.isEmpty()) {
            if (stopping)
                return;
            queued.wait(&mutex);
            continue;
        }
        const QList<JournalEvent> events = queue;
        inFlight = int(events.size());
        const std::function<void()> started = writeStarted;
        locker.unlock();
        if (started)
            started();
        const bool written = write(database, events);
        locker.relock();
        inFlight = 0;
        if (written) {
            // Events recorded meanwhile stay queued behind the ones just written.
            queue.remove(0, events.size());
            handledCount += events.size();
            failedAttempts = 0;
            handled.wakeAll();
            continue;
        }
        ++failedAttempts;
        if (stopping && (!database.isOpen() || failedAttempts >= AttemptsWhenStopping)) {
            qWarning("event journal: %d events could not be written: %s", int(queue.size()),
                     qUtf8Printable(database.lastErrorMessage()));
            handledCount += queue.size();
            queue.clear();
            handled.wakeAll();
            return;
        }
        queued.wait(&mutex, RetryIntervalMs);
    }
}

bool EventJournal::write(Database &database, const QList<JournalEvent> &events)
{
    Transaction transaction(database);
    if (!transaction.isOpen())
        return false;
    for (const JournalEvent &event : events) {
        if (!database.execQuery(AddStatement,
                                {RecordTime::dateText(event.moment),
                                 RecordTime::timeText(event.moment), event.kind,
                                 optional(event.butchId, JournalEvent::NoButch),
                                 optional(event.deviceId, JournalEvent::NoDevice),
                                 optional(event.errorCode, JournalEvent::NoErrorCode), event.text}))
            return false;
    }
    return transaction.commit();
}
