#ifndef DATABACKUP_H
#define DATABACKUP_H

#include <QDateTime>
#include <QString>
#include <QStringList>

// Copies of a records file in the folder backup/ beside it, named by the time they were made:
// the day's (data-20261208-230000.db), the newest KeptCopies kept, and one after each finished
// batch (data-b12-20261208-231500.db), the newest KeptButchCopies kept. A copy is made through a
// connection of its own with SQLite's online backup, in one read transaction: on a file written
// ahead (WAL) the batch's writes go on meanwhile and the copy holds what was committed when it
// began.
class DataBackup
{
public:
    static constexpr int KeptCopies = 7;
    static constexpr int KeptButchCopies = 20;

    explicit DataBackup(const QString &databaseFile);

    QString folder() const;
    // The copies there are, of both kinds, newest first.
    QStringList copies() const;
    // No day's copy made today yet.
    bool isDue(const QDateTime &now) const;
    // Copies the file and removes all but the newest copies of its kind; returns the copy's
    // path, or an empty text with the reason in lastError(). A half-made copy is removed. With a
    // batch it is that batch's copy.
    QString makeCopy(const QDateTime &at, qint64 butchId = 0);
    QString lastError() const { return error; }

    // When the copy was made, from its name; invalid for a name this class did not give.
    static QDateTime madeAt(const QString &copy);
    // The batch whose end made the copy; 0 for a day's copy.
    static qint64 butchOf(const QString &copy);

private:
    void removeOldCopies();

    QString file;
    QString error;
};

#endif // DATABACKUP_H
