#include "replyqueue.h"

void ReplyQueue::schedule(const QList<Chunk> &chunks, qint64 nowMs)
{
    qint64 due = queue.isEmpty() ? nowMs : qMax(nowMs, queue.last().dueMs);
    for (const Chunk &chunk : chunks) {
        due += chunk.delayMs;
        queue.append({due, chunk.bytes});
    }
}

qint64 ReplyQueue::nextDueMs() const
{
    return queue.isEmpty() ? -1 : queue.first().dueMs;
}

QByteArray ReplyQueue::takeDue(qint64 nowMs)
{
    QByteArray out;
    while (!queue.isEmpty() && queue.first().dueMs <= nowMs)
        out += queue.takeFirst().bytes;
    return out;
}
