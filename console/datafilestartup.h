#ifndef DATAFILESTARTUP_H
#define DATAFILESTARTUP_H

#include "modalprompts.h"

#include <QDateTime>
#include <QString>

// What the console does with data.db before it opens it: a file SQLite finds damaged is kept
// aside, the operator is told so in one message that names it and offers the newest sound copy
// from backup/; a file about to gain tables is copied first. The console starts in every case,
// on a new empty file when there is no copy or the operator declines it. A missing file is made
// for its owner alone, or in the operators' shared folder for its group too.
class DataFileStartup
{
public:
    enum class Outcome { Sound, Restored, StartedEmpty, LeftInPlace };

    explicit DataFileStartup(const QString &databaseFile, const ModalPrompts &prompts = {});

    Outcome run(const QDateTime &now = QDateTime::currentDateTime());

private:
    Outcome recover(const QDateTime &now);
    bool ask(const QString &text);
    void inform(const QString &text);
    void copyBeforeNewTables(const QDateTime &now);

    QString file;
    ModalPrompts prompts;
};

#endif // DATAFILESTARTUP_H
