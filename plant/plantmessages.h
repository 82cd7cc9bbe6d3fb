#ifndef PLANTMESSAGES_H
#define PLANTMESSAGES_H

#include "processimage.h"
#include "schedulestore.h"

#include <QByteArray>
#include <QString>

// The MQTT payloads the plant reads, as compact JSON. The names of states and phases are the
// enums' own, so a reader's table does not depend on the operator's language.
class PlantMessages
{
public:
    // Topic of a doser's retained state, its dose and batch messages, the console's status.
    static QString topic(const QString &prefix, int deviceId, const QString &kind);
    static QString statusTopic(const QString &prefix);
    // The plant's orders for the schedule, the console's answer to each, the schedule's state.
    static QString ordersTopic(const QString &prefix);
    static QString orderResultTopic(const QString &prefix);
    static QString scheduleTopic(const QString &prefix);

    static QByteArray state(const DoserImage &doser);
    // An empty order id (a message that had none) goes as null.
    static QByteArray orderResult(const QString &orderId, bool accepted, const QString &reason);
    static QByteArray schedule(const QList<ScheduleEntry> &entries, bool running);
    static QString scheduleStateName(ScheduleEntry::State state);

    static QString stateName(DoserState state);
    static QString batchStateName(BatchState state);
    static QString phaseName(DosePhase phase);
    // The journal's batch events as a batch message names them; empty for another kind.
    static QString batchEventName(int journalKind);
};

#endif // PLANTMESSAGES_H
