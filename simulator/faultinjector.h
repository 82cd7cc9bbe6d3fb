#ifndef FAULTINJECTOR_H
#define FAULTINJECTOR_H

#include "faultrule.h"
#include "replyqueue.h"

#include <QHash>
#include <QRandomGenerator>

// Spoils the doser's replies on purpose, as a poor line or a busy doser would: each rule
// strikes by chance or by schedule. All chance comes from one generator seeded at start and
// drawn the same way for every reply, so a seed replays the same faults on the same requests.
// A rule kept to one address counts and strikes only the replies of the doser there.
class FaultInjector
{
public:
    FaultInjector() = default;
    FaultInjector(const QList<FaultRule> &rules, quint32 seed);

    // How the reply to the next request leaves the doser: an empty list when it is lost.
    // *note names the faults applied, empty when the reply goes out clean. `read` says the
    // request only read, for the rules kept to those; `address` is the replying doser's.
    QList<ReplyQueue::Chunk> shape(const QByteArray &frame, qint64 nowMs, QString *note,
                                   bool read = true, int address = DoserParameters::AnyAddress);
    // Whether the whole line, or the doser at `address`, is silent now.
    bool isSilent(qint64 nowMs, int address = DoserParameters::AnyAddress) const;
    int replyCount() const { return replyNumber; }

private:
    QList<FaultRule> rules;
    QRandomGenerator random;
    int replyNumber = 0;
    qint64 silentUntil = -1;
    QHash<int, int> doserReplies;
    QHash<int, qint64> doserSilentUntil;
};

#endif // FAULTINJECTOR_H
