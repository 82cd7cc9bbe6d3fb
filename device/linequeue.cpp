#include "linequeue.h"

#include "devicelog.h"
#include "k310protocol.h"
#include "portresult.h"

namespace {

constexpr quint8 AddressMask = 0x7F;

int addressOf(quint8 byte)
{
    return byte & AddressMask;
}

} // namespace

LineQueue::LineQueue(K310Link *onLink, QObject *parent)
    : QObject(parent)
    , link(onLink)
{
    watchdog.setSingleShot(true);
    watchdog.setInterval(watchdogMsFor(DefaultReplyTimeoutMs));
    idleRetry.setSingleShot(true);
    idleRetry.setTimerType(Qt::PreciseTimer);
    connect(&watchdog, &QTimer::timeout, this, &LineQueue::watchdogExpired);
    connect(&idleRetry, &QTimer::timeout, this, &LineQueue::serveNext);
    if (onLink) {
        // Emitted on the link's worker thread: queued to this one.
        connect(onLink, &K310Link::replyPacketReceived, this, &LineQueue::replyPacketReceived);
    }
}

LineQueue::~LineQueue() = default;

int LineQueue::pending() const
{
    int count = 0;
    for (const QList<K310DataPacket> &queue : queues)
        count += int(queue.size());
    return count;
}

int LineQueue::pending(int address) const
{
    return int(queues.value(address).size());
}

bool LineQueue::isOrder(quint8 command)
{
    return K310Protocol::movesProduct(command) || command == K310Protocol::StopWork;
}

void LineQueue::enqueue(const K310DataPacket &request)
{
    queues[addressOf(request.receiver)].append(request);
    qCDebug(lcDevice) << "queued" << request.toString() << "pending" << pending();
    serveNext();
}

void LineQueue::clear()
{
    const int count = pending();
    dropped += quint64(count);
    queues.clear();
    idleRetry.stop();
    if (inFlight) {
        finishTransaction();
        replyMayFollow = true;
    }
    qCDebug(lcDevice) << "cleared" << count;
}

void LineQueue::replyPacketReceived(const K310DataPacket &reply, quint32 number, quint32 expected)
{
    if (!inFlight || (number != 0 && number != expected)
        || addressOf(reply.sender) != inFlightAddress)
        return;
    const int address = inFlightAddress;
    finishTransaction();
    if (number == 0) {
        const int count = dropReads(address);
        if (count > 0)
            qCDebug(lcDevice) << "no reply from" << address << "dropped reads" << count;
    }
    serveNext();
}

void LineQueue::watchdogExpired()
{
    qCDebug(lcDevice) << "no end of transaction for" << inFlightAddress << "in" << watchdogMs()
                      << "ms";
    finishTransaction();
    replyMayFollow = true;
    serveNext();
}

void LineQueue::finishTransaction()
{
    watchdog.stop();
    inFlight = false;
    inFlightAddress = -1;
}

void LineQueue::serveNext()
{
    // A refused send may report through hasSysMes, whose receivers may enqueue again.
    if (serving || settling || inFlight || queues.isEmpty())
        return;
    if (!link) {
        dropped += quint64(pending());
        queues.clear();
        return;
    }
    serving = true;
    while (!inFlight && !queues.isEmpty()) {
        if (!link->isIdle()) {
            idleRetry.start(retried ? IdleRetryMs : 0);
            retried = true;
            break;
        }
        if (replyMayFollow) {
            // The link is idle, so a late reply is already posted here: let it pass before the
            // next request, or it would be taken for that request's reply.
            replyMayFollow = false;
            settling = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    settling = false;
                    serveNext();
                },
                Qt::QueuedConnection);
            break;
        }
        const int address = nextAddress();
        QList<K310DataPacket> &queue = queues[address];
        K310DataPacket request = queue.takeFirst();
        if (queue.isEmpty())
            queues.remove(address);
        lastServed = address;
        // A request the link could not stage gets no reply; one it staged ends in a reply or,
        // failing that, at the watchdog.
        if (link->send(request) != PortSuccess) {
            ++dropped;
            qCDebug(lcDevice) << "refused by the link" << request.toString();
            continue;
        }
        ++handed;
        retried = false;
        inFlight = true;
        inFlightAddress = address;
        watchdog.start();
        qCDebug(lcDevice) << "handed" << request.toString();
    }
    serving = false;
}

int LineQueue::nextAddress() const
{
    QList<int> candidates;
    for (auto it = queues.cbegin(); it != queues.cend(); ++it) {
        for (const K310DataPacket &request : it.value()) {
            if (isOrder(request.command)) {
                candidates.append(it.key());
                break;
            }
        }
    }
    if (candidates.isEmpty())
        candidates = queues.keys();
    for (int address : candidates) {
        if (address > lastServed)
            return address;
    }
    return candidates.isEmpty() ? -1 : candidates.first();
}

int LineQueue::dropReads(int address)
{
    auto it = queues.find(address);
    if (it == queues.end())
        return 0;
    const qsizetype count = it->removeIf(
        [](const K310DataPacket &request) { return K310Protocol::isRead(request.command); });
    if (it->isEmpty())
        queues.erase(it);
    dropped += quint64(count);
    return int(count);
}

#include "moc_linequeue.cpp"
