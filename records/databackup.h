#ifndef DATABACKUP_H
#define DATABACKUP_H

#include <QDateTime>
#include <QString>
#include <QStringList>

// Copies of a records file in the folder backup/ beside it, named by the time they were made
// (data-20261208-230000.db), the newest KeptCopies kept. A copy is made through a connection
// of its own with SQLite's online backup, in one read transaction: on a file written ahead (WAL)
// the batch's writes go on meanwhile and the copy holds what was committed when it began.
class DataBackup
{
public:
    static constexpr int KeptCopies = 7;

    explicit DataBackup(const QString &databaseFile);

    QString folder() const;
    // The copies there are, newest first.
    QStringList copies() const;
    // No copy made today yet.
    bool isDue(const QDateTime &now) const;
    // Copies the file and removes all but the newest KeptCopies; returns the copy's path, or
    // an empty text with the reason in lastError(). A half-made copy is removed.
    QString makeCopy(const QDateTime &at);
    QString lastError() const { return error; }

    // When the copy was made, from its name; invalid for a name this class did not give.
    static QDateTime madeAt(const QString &copy);

private:
    void removeOldCopies();

    QString file;
    QString error;
};

#endif // DATABACKUP_H
