#ifndef FAULTINJECTOR_H
#define FAULTINJECTOR_H

#include "faultrule.h"
#include "replyqueue.h"

#include <QRandomGenerator>

// Spoils the doser's replies on purpose, as a poor line or a busy doser would: each rule
// strikes by chance or by schedule. All chance comes from one generator seeded at start and
// drawn the same way for every reply, so a seed replays the same faults on the same requests.
class FaultInjector
{
public:
    FaultInjector() = default;
    FaultInjector(const QList<FaultRule> &rules, quint32 seed);

    // How the reply to the next request leaves the doser: an empty list when it is lost.
    // *note names the faults applied, empty when the reply goes out clean. `read` says the
    // request only read, for the rules kept to those.
    QList<ReplyQueue::Chunk> shape(const QByteArray &frame, qint64 nowMs, QString *note,
                                   bool read = true);
    bool isSilent(qint64 nowMs) const { return nowMs < silentUntil; }
    int replyCount() const { return replyNumber; }

private:
    QList<FaultRule> rules;
    QRandomGenerator random;
    int replyNumber = 0;
    qint64 silentUntil = -1;
};

#endif // FAULTINJECTOR_H
