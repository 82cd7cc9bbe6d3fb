#ifndef JOURNALREADER_H
#define JOURNALREADER_H

#include "journalevent.h"

#include <QList>
#include <QStringList>

class Database;

// Reads the event journal on a connection of the caller; never writes.
class JournalReader
{
public:
    static constexpr int AllKinds = 0;

    explicit JournalReader(Database &database);

    // The days on which events were recorded, oldest first.
    QStringList days();
    // The events from the first event of firstDay to the last of lastDay, newest first;
    // only those of one kind unless kind is AllKinds.
    QList<JournalEvent> events(const QString &firstDay, const QString &lastDay,
                               int kind = AllKinds);
    // Every event of a batch, oldest first.
    QList<JournalEvent> eventsOfButch(qint64 butchId, int kind = AllKinds);

private:
    qint64 eventOfDay(const QString &statement, const QString &day);
    QList<JournalEvent> read();

    Database &database;
};

#endif // JOURNALREADER_H
