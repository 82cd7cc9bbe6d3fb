#include "transaction.h"

#include "database.h"

Transaction::Transaction(Database &database)
    : database(database)
    , open(database.begin())
{ }

Transaction::~Transaction()
{
    rollback();
}

bool Transaction::commit()
{
    if (!open)
        return false;
    open = false;
    if (database.commit())
        return true;
    // A commit that failed leaves the transaction open in SQLite; nothing of it may stay.
    if (database.inTransaction())
        database.rollback();
    return false;
}

void Transaction::rollback()
{
    if (!open)
        return;
    open = false;
    // SQLite may have undone it already (a full disk, an I/O error).
    if (database.inTransaction())
        database.rollback();
}
