#include "faultinjector.h"

#include <QStringList>

namespace {

constexpr int BitsPerByte = 8;
constexpr int ByteValues = 256;

} // namespace

FaultInjector::FaultInjector(const QList<FaultRule> &faultRules, quint32 seed)
    : rules(faultRules)
    , random(seed)
{ }

bool FaultInjector::isSilent(qint64 nowMs, int address) const
{
    return nowMs < silentUntil || nowMs < doserSilentUntil.value(address, -1);
}

QList<ReplyQueue::Chunk> FaultInjector::shape(const QByteArray &frame, qint64 nowMs, QString *note,
                                              bool read, int address)
{
    ++replyNumber;
    const int doserReply = ++doserReplies[address];
    QList<const FaultRule *> struck;
    for (const FaultRule &rule : std::as_const(rules)) {
        // One draw per rule and reply, whether or not it is used, keeps the sequence fixed.
        const double draw = random.generateDouble();
        const bool anyDoser = rule.address == DoserParameters::AnyAddress;
        if (!anyDoser && rule.address != address)
            continue;
        if (rule.strikes(anyDoser ? replyNumber : doserReply, draw) && (read || !rule.readsOnly))
            struck.append(&rule);
    }
    note->clear();
    if (isSilent(nowMs, address)) {
        *note = QStringLiteral("silent");
        return {};
    }
    for (const FaultRule *rule : std::as_const(struck)) {
        if (rule->kind == FaultRule::Kind::Silent) {
            if (rule->address == DoserParameters::AnyAddress)
                silentUntil = nowMs + rule->ms;
            else
                doserSilentUntil[address] = nowMs + rule->ms;
            *note = QStringLiteral("silent for %1 ms").arg(rule->ms);
            return {};
        }
        if (rule->kind == FaultRule::Kind::Drop) {
            *note = QStringLiteral("dropped");
            return {};
        }
    }

    QStringList applied;
    QByteArray bytes = frame;
    QByteArray garbage;
    int delay = 0;
    int splitAt = 0;
    int pause = 0;
    for (const FaultRule *rule : std::as_const(struck)) {
        switch (rule->kind) {
        case FaultRule::Kind::Corrupt: {
            const int index = int(random.bounded(quint32(bytes.size())));
            const int bit = int(random.bounded(quint32(BitsPerByte)));
            bytes[index] = char(bytes.at(index) ^ (1 << bit));
            applied << QStringLiteral("byte %1 bit %2 flipped").arg(index).arg(bit);
            break;
        }
        case FaultRule::Kind::Split:
            splitAt = 1 + int(random.bounded(quint32(bytes.size() - 1)));
            pause = rule->ms;
            applied << QStringLiteral("split after %1 bytes, %2 ms").arg(splitAt).arg(pause);
            break;
        case FaultRule::Kind::Delay:
        case FaultRule::Kind::Late:
            delay += rule->ms;
            applied
                << QStringLiteral("%1 %2 ms").arg(FaultRule::kindName(rule->kind)).arg(rule->ms);
            break;
        case FaultRule::Kind::Garbage:
            for (int i = 0; i < rule->bytes; ++i)
                garbage.append(char(random.bounded(ByteValues)));
            applied << QStringLiteral("%1 garbage bytes %2")
                           .arg(rule->bytes)
                           .arg(QString::fromLatin1(garbage.toHex(' ')));
            break;
        case FaultRule::Kind::Drop:
        case FaultRule::Kind::Silent:
            break;
        }
    }
    *note = applied.join(QStringLiteral(", "));

    QList<ReplyQueue::Chunk> chunks;
    if (!garbage.isEmpty())
        chunks.append({delay, garbage});
    const int firstDelay = garbage.isEmpty() ? delay : 0;
    if (splitAt > 0) {
        chunks.append({firstDelay, bytes.left(splitAt)});
        chunks.append({pause, bytes.mid(splitAt)});
    } else {
        chunks.append({firstDelay, bytes});
    }
    return chunks;
}
