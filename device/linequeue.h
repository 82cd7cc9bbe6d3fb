#ifndef LINEQUEUE_H
#define LINEQUEUE_H

#include "devicelog.h"
#include "k310datapacket.h"
#include "k310link.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QTimer>

// The console's requests for one line, handed to the link one at a time and only while the
// link is idle, so the GUI thread never waits inside the link's send.
//
// Each doser address has its own first-in first-out queue. Addresses are served in turn (by
// address, wrapping round), except that an address holding an order that moves product or
// stops work goes before those holding only reads and settings. A doser that gives no reply
// loses its queued reads (counted as dropped); its orders and settings stay. A request the
// link refuses outright (port closed, slave mode) is dropped, as the link alone would drop it.
class LineQueue : public QObject
{
    Q_OBJECT

public:
    // The console's reply time-out on the line.
    static constexpr int DefaultReplyTimeoutMs = 150;
    // How long the queue waits for the reply of the request in flight before it moves on: the
    // link may ask a read twice, and the worker needs a moment more.
    static constexpr int watchdogMsFor(int replyTimeoutMs) { return 2 * replyTimeoutMs + 200; }
    // How soon the queue looks again at a link that delivered its reply but is not idle yet.
    static constexpr int IdleRetryMs = 1;

    // The link is not owned and may be null or go away first, which leaves the queue dropping.
    explicit LineQueue(K310Link *link, QObject *parent = nullptr);
    ~LineQueue() override;

    int pending() const;
    int pending(int address) const;
    // Requests given to the link, and those dropped unsent (a silent doser's reads, refused by
    // the link, or cleared).
    quint64 handedCount() const { return handed; }
    quint64 droppedCount() const { return dropped; }
    bool isWaitingForReply() const { return inFlight; }

    int watchdogMs() const { return watchdog.interval(); }
    void setWatchdogMs(int ms) { watchdog.setInterval(ms); }

    // True for requests that move product or stop work: their doser is served first.
    static bool isOrder(quint8 command);

public slots:
    void enqueue(const K310DataPacket &request);
    // Forgets every queued request and the one in flight, e.g. when the port changes.
    void clear();

private:
    void replyPacketReceived(const K310DataPacket &reply, quint32 number, quint32 expected);
    void watchdogExpired();
    void serveNext();
    // The address to serve next, -1 when nothing is queued.
    int nextAddress() const;
    int dropReads(int address);
    void finishTransaction();

    QPointer<K310Link> link;
    QMap<int, QList<K310DataPacket>> queues;
    QTimer watchdog;
    QTimer idleRetry;
    // The link turns idle a moment after its reply: looked at again at once, then each ms.
    bool retried = false;
    bool inFlight = false;
    int inFlightAddress = -1;
    // After a transaction ended without its reply, that reply may still be on its way.
    bool replyMayFollow = false;
    // Until the late reply has passed, nothing is handed.
    bool settling = false;
    bool serving = false;
    int lastServed = -1;
    quint64 handed = 0;
    quint64 dropped = 0;
};

#endif // LINEQUEUE_H
