#ifndef REPLYQUEUE_H
#define REPLYQUEUE_H

#include <QByteArray>
#include <QList>

// Bytes waiting to go out on the line at their time. Everything leaves in the order it was
// scheduled: a reply held back delays the replies behind it, as on a real half-duplex doser.
class ReplyQueue
{
public:
    struct Chunk
    {
        // Wait before these bytes, after the previous chunk (the first: after the request).
        int delayMs = 0;
        QByteArray bytes;
    };

    void schedule(const QList<Chunk> &chunks, qint64 nowMs);
    // When the next bytes are due; -1 when nothing waits.
    qint64 nextDueMs() const;
    // Removes and returns every byte due by nowMs.
    QByteArray takeDue(qint64 nowMs);
    bool isEmpty() const { return queue.isEmpty(); }

private:
    struct Scheduled
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    QList<Scheduled> queue;
};

#endif // REPLYQUEUE_H
