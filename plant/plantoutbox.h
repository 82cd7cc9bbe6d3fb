#ifndef PLANTOUTBOX_H
#define PLANTOUTBOX_H

#include <QByteArray>
#include <QList>
#include <QString>

class Database;

// One dose or batch message waiting for the broker's acknowledgement.
struct OutboxMessage
{
    // In the order the records were written; never given twice.
    qint64 id = 0;
    int deviceId = 0;
    // "dose" or "batch", the last part of the topic.
    QString kind;
    QByteArray payload;
};

// The plant link's outbox in data.db. Its rows are made by triggers in the transaction that
// writes a dose or a batch event (see the schema), so nothing written is missed by a program
// killed before it sent it; the sender removes a row once the broker has acknowledged it.
class PlantOutbox
{
public:
    explicit PlantOutbox(Database &database);

    // The outbox and its triggers, after the records' own tables; harmless when they exist, and
    // an older outbox gains what it lacks.
    bool createTables();
    // Rows are made from now on, or no longer; what is waiting stays.
    bool setForwarding(bool on);
    bool isForwarding();
    // The oldest waiting messages after the id, at most limit of them; empty on failure too.
    QList<OutboxMessage> after(qint64 id, int limit);
    bool remove(const QList<qint64> &ids);
    // -1 when it could not be read.
    int waiting();

private:
    Database &database;
};

#endif // PLANTOUTBOX_H
