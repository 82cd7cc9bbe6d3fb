#ifndef FILEMODES_H
#define FILEMODES_H

#include <QList>
#include <QString>

// Who may read the files that hold the records and the settings (the broker's password among
// them): their owner and, in the operators' shared working folder, its group; never everybody.
// Modes are POSIX permission bits (0660); elsewhere the functions make and change nothing.
class FileModes
{
public:
    // Read and write for the owner; in a shared folder for its group too.
    static constexpr unsigned PrivateMode = 0600;
    static constexpr unsigned SharedMode = 0660;

    // A change of a file's mode at start, made or attempted, for the journal.
    struct Change
    {
        QString file;
        unsigned before = 0;
        unsigned after = 0;
        // Empty when the change was made, else why not.
        QString problem;
    };

    // A folder its group may write and whose new files take its group (set-group-ID): the
    // operators', where data.db is the group's as well as its maker's.
    static bool isSharedFolder(const QString &folder);
    // The mode a new file in the folder gets.
    static unsigned modeFor(const QString &file);
    // Makes the missing file, empty, with modeFor(file); false when it exists or could not be
    // made. SQLite takes an empty file as a new database.
    static bool createPrivate(const QString &file);
    // Takes every right of others away from the file and from SQLite's files beside it (-wal,
    // -shm) where others have one; the changes, none when nothing needed it.
    static QList<Change> tighten(const QString &file);
    // "rw-rw----".
    static QString modeText(unsigned mode);
};

#endif // FILEMODES_H
