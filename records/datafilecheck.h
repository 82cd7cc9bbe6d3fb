#ifndef DATAFILECHECK_H
#define DATAFILECHECK_H

#include <QDateTime>
#include <QFileDevice>
#include <QString>

// The start-up check of a records file: SQLite's quick check, and what is done with a file
// that fails it. Nothing is ever deleted: a damaged file is kept aside under another name.
class DataFileCheck
{
public:
    explicit DataFileCheck(const QString &databaseFile);

    // False only for a file SQLite finds damaged or not a database at all. A missing file is
    // sound (a new one is made), and so is one that cannot be read now (locked, no permission):
    // its problem is the console's usual one to report, not damage to move aside.
    static bool isSound(const QString &file);
    bool isSound() const { return isSound(file); }

    // Renames the file, with its write-ahead log and index, to <file>.damaged-<time>; returns
    // the new name, empty when the file could not be moved (it is then left as it was).
    QString keepAside(const QDateTime &at);
    // The newest copy in the backup folder that passes the check; empty when there is none.
    QString newestSoundCopy() const;
    // Puts a copy of the backup where the file was (kept aside or missing), with the mode the
    // kept file had, so the operators' group may still write it.
    bool restore(const QString &copy);

private:
    QString file;
    QFileDevice::Permissions keptMode;
};

#endif // DATAFILECHECK_H
