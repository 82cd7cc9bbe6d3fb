#ifndef JOURNALCHECK_H
#define JOURNALCHECK_H

#include <QString>

class Database;

// Walks the journal in the order it was written and recomputes every row's chain value. Rows
// written before the chain existed have none and come first: they are not sealed, not broken.
class JournalCheck
{
public:
    struct Result
    {
        bool readable = true;
        QString problem;
        // 0 when every sealed row matches.
        qint64 firstBrokenId = 0;
        QString firstBrokenMoment;
        qint64 sealedRows = 0;
        qint64 unsealedRows = 0;

        bool isIntact() const { return readable && firstBrokenId == 0; }
        // The operator's report of the check.
        QString text() const;
    };

    // Rows are read in pages, so a journal of years is checked without holding it in memory.
    static constexpr int PageRows = 5000;

    static Result run(Database &database);
};

#endif // JOURNALCHECK_H
