#ifndef KNOWNSEAL_H
#define KNOWNSEAL_H

#include <QString>

class Database;

// A journal row's seal kept outside data.db: the one the console last published (the batch
// message, the batch report) is also remembered in `journal.seal` beside data.db. A journal
// that no longer holds that row with that seal has lost its tail or been rewritten.
class KnownSeal
{
public:
    static constexpr char FileName[] = "journal.seal";

    qint64 id = 0;
    // The row's date and time as the journal shows them.
    QString moment;
    QString seal;

    bool isSet() const { return id > 0 && !seal.isEmpty(); }
    // "№ 12 (01.03.2026 10:00:00) hmac:…", for the report and the check.
    QString text() const;

    static QString fileBeside(const QString &databaseFile);
    // Unset when there is no such file or it holds no seal.
    static KnownSeal read(const QString &databaseFile);
    // Replaces the file whole; false when it could not be written.
    bool write(const QString &databaseFile) const;
    // The journal's newest row; unset when the journal is empty or unreadable.
    static KnownSeal newest(Database &database);
    // The row of that id as the journal holds it now; unset when there is none.
    static KnownSeal row(Database &database, qint64 id);
};

#endif // KNOWNSEAL_H
