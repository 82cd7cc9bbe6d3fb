#ifndef CYCLERECORDS_H
#define CYCLERECORDS_H

#include "cycletrace.h"
#include "writeresult.h"

class Database;

// The hopper's weight through every cycle of a batch, a row a cycle, kept with the batch so its
// report can draw them.
class CycleRecords
{
public:
    explicit CycleRecords(Database &database);

    WriteResult add(qint64 butchId, int deviceId, const CycleTrace &cycle);
    // The cycles of a batch on one doser, in the order they went.
    QList<CycleTrace> ofTask(qint64 butchId, int deviceId);
    bool removeOfButch(qint64 butchId);

private:
    Database &database;
};

#endif // CYCLERECORDS_H
