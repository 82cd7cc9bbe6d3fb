#include "eventjournal.h"

#include "highwatermark.h"
#include "journalseal.h"
#include "knownseal.h"
#include "recordslog.h"
#include "recordtime.h"
#include "transaction.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>

namespace {

// At exit a file that stays unwritable must not hold the program for long.
constexpr int AttemptsWhenStopping = 3;

const QString AddStatement = QStringLiteral(
    "INSERT INTO event (idEvent, date, time, kind, idButch, deviceId, errorCode, text, seal) "
    "values (%1, \"%2\", \"%3\", %4, %5, %6, %7, \"%8\", \"%9\");");
// Read inside the write's transaction, which holds the file's write lock: no other connection
// can put a row between the last one and the next.
const QString LastRowStatement =
    QStringLiteral("SELECT idEvent, seal FROM event ORDER BY idEvent DESC LIMIT 1;");

QVariant optional(qint64 value, qint64 none)
{
    return value == none ? QVariant() : QVariant(value);
}

// The text SQLite gives back for such a value.
QString optionalText(qint64 value, qint64 none)
{
    return value == none ? QString() : QString::number(value);
}

// The events the plant gets as batch messages, each with its row's seal.
bool isBatchEvent(int kind)
{
    return kind >= JournalEvent::ButchStarted && kind <= JournalEvent::ButchDeleted;
}

// Read inside the write's transaction. A remembered seal the journal no longer holds is never
// replaced: the next write would otherwise hide a cut or rewritten journal.
bool mayReplaceKnownSeal(Database &database, const QString &databaseFile, bool batchEvent)
{
    const bool missing = !QFileInfo::exists(KnownSeal::fileBeside(databaseFile));
    if (!batchEvent && !missing)
        return false;
    const KnownSeal known = KnownSeal::read(databaseFile);
    if (!known.isSet())
        return true;
    if (KnownSeal::row(database, known.id).seal == known.seal)
        return true;
    qCWarning(lcRecords, "the journal no longer holds the seal of row %lld kept in %s", known.id,
              qPrintable(KnownSeal::fileBeside(databaseFile)));
    return false;
}

} // namespace

EventJournal::EventJournal(const QString &databaseFile, JournalKey::WhenMissing whenMissing)
    : fileName(databaseFile)
    , key(JournalKey::open(databaseFile, whenMissing))
{
    if (!key.isValid())
        qCWarning(lcRecords, "journal rows are written unsealed: %s", qPrintable(key.problem()));
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
        qCWarning(lcRecords,
                  "event journal: the file takes no writes, the oldest queued event is dropped");
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

void EventJournal::setWrittenHook(std::function<void()> hook)
{
    const QMutexLocker locker(&mutex);
    written = std::move(hook);
}

void EventJournal::writeLoop()
{
    Database database(fileName);
    database.createTables();
    floorId = HighWaterMark(fileName).ids().event;
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
        const bool committed = write(database, events);
        locker.relock();
        inFlight = 0;
        if (committed) {
            if (written)
                written();
            // Events recorded meanwhile stay queued behind the ones just written.
            queue.remove(0, events.size());
            handledCount += events.size();
            failedAttempts = 0;
            handled.wakeAll();
            continue;
        }
        ++failedAttempts;
        if (stopping && (!database.isOpen() || failedAttempts >= AttemptsWhenStopping)) {
            qCWarning(lcRecords, "event journal: %d events could not be written: %s",
                      int(queue.size()), qUtf8Printable(database.lastErrorMessage()));
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
    if (!database.execQuery(LastRowStatement))
        return false;
    // Event numbers never go back, even on a file put back from a copy.
    qint64 id = std::max(database.result().value(0, 0).toLongLong(), floorId);
    QString previous = database.result().value(0, 1);
    bool batchEvent = false;
    KnownSeal newest;
    for (const JournalEvent &event : events) {
        JournalSeal::Row row;
        row.idEvent = ++id;
        row.date = RecordTime::dateText(event.moment);
        row.time = RecordTime::timeText(event.moment);
        row.kind = QString::number(event.kind);
        row.butchId = optionalText(event.butchId, JournalEvent::NoButch);
        row.deviceId = optionalText(event.deviceId, JournalEvent::NoDevice);
        row.errorCode = optionalText(event.errorCode, JournalEvent::NoErrorCode);
        row.text = event.text;
        const QString seal =
            key.isValid() ? JournalSeal::keyed(key.value(), previous, row) : QString();
        if (!database.execQuery(AddStatement, {row.idEvent, row.date, row.time, event.kind,
                                               optional(event.butchId, JournalEvent::NoButch),
                                               optional(event.deviceId, JournalEvent::NoDevice),
                                               optional(event.errorCode, JournalEvent::NoErrorCode),
                                               event.text, seal.isEmpty() ? QVariant() : seal}))
            return false;
        previous = seal;
        batchEvent = batchEvent || isBatchEvent(event.kind);
        newest = {row.idEvent, row.date + QLatin1Char(' ') + row.time, seal};
    }
    const bool remember = key.isValid() && mayReplaceKnownSeal(database, fileName, batchEvent);
    if (!transaction.commit())
        return false;
    if (remember && !newest.write(fileName))
        qCWarning(lcRecords, "%s not written", qPrintable(KnownSeal::fileBeside(fileName)));
    return true;
}
