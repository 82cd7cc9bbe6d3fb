#ifndef DATAFILESTARTUP_H
#define DATAFILESTARTUP_H

#include "highwatermark.h"
#include "modalprompts.h"

#include <QDateTime>
#include <QString>

// What the console does with data.db before it opens it: a file SQLite finds damaged, or one
// behind the mark beside it (its log lost, an old copy put back), is kept aside, the operator is
// told so in one message that names it and offers the newest sound copy from backup/; whatever
// can still be read of the kept file is then merged into the copy (or a new empty file) and the
// operator told how many batches, doses and events came back and how many could not. A file
// about to gain tables is copied first; the statistics' summaries of a file without them are
// built then, with their progress shown when that takes longer than a second. The console
// starts in every case. A missing file is made for its owner alone, or in the operators' shared
// folder for its group too.
class DataFileStartup
{
public:
    enum class Outcome { Sound, Restored, StartedEmpty, LeftInPlace };

    explicit DataFileStartup(const QString &databaseFile, const ModalPrompts &prompts = {});

    Outcome run(const QDateTime &now = QDateTime::currentDateTime());
    // At exit: the log folded into the file, and the mark raised to what the file holds.
    static void closeRecords(const QString &databaseFile);

private:
    enum class Reason { Damaged, Behind };
    // True, with the file's ids, when the file holds fewer batches or events than the mark says
    // were handed out.
    bool isBehindMark(HighWaterMark::Ids &held) const;
    Outcome recover(const QDateTime &now, Reason reason, const HighWaterMark::Ids &held = {});
    // Merges what the kept file holds into the file in place; the operator's text of it.
    QString salvage(const QString &aside, Reason reason);
    bool ask(const QString &text);
    void inform(const QString &text);
    void copyBeforeNewTables(const QDateTime &now);
    void makeTables();

    QString file;
    ModalPrompts prompts;
};

#endif // DATAFILESTARTUP_H
