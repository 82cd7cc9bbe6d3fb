#ifndef DATAFILEACCESS_H
#define DATAFILEACCESS_H

#include <QString>

class Database;

// Whether the console may write its records through a connection, and if not, why, in words
// the panel's administrator can act on: the account, the file or folder with its owner, group
// and mode, a read-only file system. Nothing is written to find out.
class DataFileAccess
{
public:
    // "data.db недоступна для записи: <reason>", or empty when the records can be written.
    static QString writeProblem(const Database &database);
    // The reason alone; empty when there is none.
    static QString reason(const Database &database);
};

#endif // DATAFILEACCESS_H
