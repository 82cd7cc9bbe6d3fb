#ifndef SCHEDULECHECK_H
#define SCHEDULECHECK_H

#include "formulaplan.h"
#include "schedulestore.h"

#include <QList>
#include <QString>

class Database;

// Whether an entry of the production schedule can run on the line: the one rule the schedule's
// window applies before it writes an entry and its runner before it opens the entry's batch,
// so the window refuses what the runner would.
class ScheduleCheck
{
public:
    // Why the entry cannot run; empty when it can. The formula is read from data.db.
    static QString refusal(Database &records, const ScheduleEntry &entry,
                           const QList<LineCapacity> &line);
};

#endif // SCHEDULECHECK_H
