#ifndef DOSERECORDS_H
#define DOSERECORDS_H

#include "doserecord.h"

#include <QList>

class Database;

// The dose rows of data.db on a connection of the caller. Written on the console's own
// connection, a dose row joins the transaction that counts it into its task (see Transaction).
class DoseRecords
{
public:
    explicit DoseRecords(Database &database);

    // False when the row was not written. A dose without a moment is stamped now.
    bool add(const DoseRecord &dose);
    // The doses of a batch in the order they were written.
    QList<DoseRecord> ofButch(qint64 butchId);
    // Removes every dose of the batch; false when the statement failed.
    bool removeOfButch(qint64 butchId);

private:
    Database &database;
};

#endif // DOSERECORDS_H
