#ifndef K310LINK_H
#define K310LINK_H

#include "k310datapacket.h"
#include "serialschedule.h"

#include <atomic>
#include <memory>

// What the link has carried since it was made or its counters were reset. Every request the
// worker took counts as sent; a request without a complete reply frame (or one that could not be
// written) as not answered; each reply frame as answered or, when it failed decoding, corrupt.
// With the doser's one frame per request, sent = answered + notAnswered + corrupt.
struct LinkCounters
{
    quint64 sent = 0;
    quint64 answered = 0;
    quint64 notAnswered = 0;
    quint64 corrupt = 0;
    // Reads asked once more after a failed attempt (counted above as not answered or corrupt).
    quint64 repeated = 0;
};

// The link in the doser's frame format: encodes each request packet, and turns every reply
// frame (or its absence) into one replyPacketReceived on the worker thread.
class K310Link : public SerialSchedule
{
    Q_OBJECT

public:
    explicit K310Link(const QString &name);
    ~K310Link() override;

    // Safe from any thread; the worker updates them as replies are processed.
    LinkCounters counters() const;
    void resetCounters();
    // A request whose reply is lost or corrupt is sent once more before it is reported, unless
    // it moves product: reads, and settings that come to the same when given twice. Safe from
    // any thread; off until set.
    void setRepeatReads(bool on) { repeatReads.store(on, std::memory_order_relaxed); }

    // Stages the request and returns sendFrame()'s result: PortSuccess when it is on its way and
    // its reply (or the lack of one) will be reported; otherwise nothing will be. In slave mode
    // it refuses without a message, as sendCommandPacket() does.
    int send(K310DataPacket packet);

public slots:
    // 1 when the request was handed to sendFrame(), whatever that reported; 0 in slave mode.
    // Callers that must know whether a reply will come use send().
    qint8 sendCommandPacket(K310DataPacket packet);

signals:
    // One reply: its number within the transaction counted from 1, or 0 when no reply frame
    // came at all; then the number of reply frames expected.
    void replyPacketReceived(K310DataPacket packet, quint32 number, quint32 expected);

protected:
    void processReply(const quint8 *request, quint16 requestLength, const quint8 *reply,
                      quint16 replyFrameLength, quint32 frames, quint32 expected) override;
    bool repeatsRequest(const quint8 *request, quint16 requestLength, const quint8 *reply,
                        quint16 replyFrameLength, quint32 frames, quint32 expected) override;

private:
    bool decode(const quint8 *frame, quint16 length);

    std::unique_ptr<quint8[]> txFrame;
    std::unique_ptr<quint8[]> rxFrame;
    K310DataPacket workPacket;
    std::atomic<quint64> sentCount {0};
    std::atomic<quint64> answeredCount {0};
    std::atomic<quint64> notAnsweredCount {0};
    std::atomic<quint64> corruptCount {0};
    std::atomic<quint64> repeatedCount {0};
    std::atomic<bool> repeatReads {false};
};

#endif // K310LINK_H
