#ifndef HIGHWATERMARK_H
#define HIGHWATERMARK_H

#include <QMap>
#include <QString>
#include <QtGlobal>

class Database;

// The highest batch, task, event and dose ids a records file has handed out, the highest counter
// of each lot pattern, and whether PINs guard the access levels, kept beside it in <file>.mark. The
// mark is raised as a batch opens and closes and never lowered, so a records file that comes back
// behind it (its write-ahead log lost, an old copy put back) is known to have lost records, and ids
// continue above it whatever file is opened.
class HighWaterMark
{
public:
    struct Ids
    {
        qint64 butch = 0;
        qint64 task = 0;
        qint64 event = 0;
        // Dose rows are not numbered by the mark, only counted against it after a loss.
        qint64 dose = 0;
        // Each lot pattern's counter (see LotNumbers); a file behind in these alone has lost
        // nothing the other ids do not show.
        QMap<QString, qint64> lots;
        // True when this lacks a batch, task or event the mark has.
        bool isBehind(const Ids &mark) const
        {
            return butch < mark.butch || task < mark.task || event < mark.event;
        }
    };

    explicit HighWaterMark(const QString &databaseFile);
    static QString fileFor(const QString &databaseFile);

    // The mark as kept; zeros when there is none (a new installation, or one from before it).
    Ids ids() const;
    bool levelsOn() const;
    // Raises each kept id to the given one where that is higher; false when the file could not
    // be written. An in-memory or unnamed records file has no mark.
    bool raise(const Ids &ids);
    bool setLevelsOn(bool on);

    // The highest ids the records file holds or has handed out; -1 in each that could not be
    // read.
    static Ids inFile(Database &database);

private:
    struct Content
    {
        Ids ids;
        bool levelsOn = false;
    };
    Content read() const;
    bool write(const Content &content) const;

    QString file;
};

#endif // HIGHWATERMARK_H
