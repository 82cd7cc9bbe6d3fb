#ifndef JOURNALCHECK_H
#define JOURNALCHECK_H

#include "knownseal.h"

#include <QString>

class Database;
class JournalKey;

// Walks the journal in the order it was written and recomputes every row's chain value. Rows
// written before the chain existed have none and come first: they are not sealed, not broken.
// Rows sealed without a key come next, from files older than the key; after the first keyed
// row, a row without a seal or with an unkeyed one is a break. A known seal kept outside the
// file (the last one published) must still be in the journal as it was: a journal cut after it
// or rewritten whole is broken too.
class JournalCheck
{
public:
    struct Result
    {
        bool readable = true;
        QString problem;
        // Set when the key could not be read: nothing keyed can be checked then.
        QString keyProblem;
        // 0 when every sealed row matches.
        qint64 firstBrokenId = 0;
        QString firstBrokenMoment;
        // The known seal's row is gone: the rows from it on were deleted.
        bool tailLost = false;
        qint64 sealedRows = 0;
        // Of the sealed rows, those sealed before the key.
        qint64 unkeyedRows = 0;
        qint64 unsealedRows = 0;

        bool isIntact() const { return readable && keyProblem.isEmpty() && firstBrokenId == 0; }
        // The operator's report of the check.
        QString text() const;
    };

    // Rows are read in pages, so a journal of years is checked without holding it in memory.
    static constexpr int PageRows = 5000;

    static Result run(Database &database, const JournalKey &key, const KnownSeal &known = {});
};

#endif // JOURNALCHECK_H
