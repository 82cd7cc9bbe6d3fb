#ifndef JOURNALKEY_H
#define JOURNALKEY_H

#include <QByteArray>
#include <QString>

// The secret the journal's seals are keyed with: 32 random bytes in `journal.key` beside
// data.db, never in data.db itself, so whoever edits the file cannot compute a valid seal.
class JournalKey
{
public:
    static constexpr int Size = 32;
    static constexpr char FileName[] = "journal.key";

    enum class WhenMissing { Create, Fail };

    // The key of the data.db given; a missing one is made (mode 0600) when asked to.
    static JournalKey open(const QString &databaseFile, WhenMissing whenMissing);
    static QString fileBeside(const QString &databaseFile);

    bool isValid() const { return bytes.size() == Size; }
    const QByteArray &value() const { return bytes; }
    // Why there is no key, for the operator; empty when there is one.
    QString problem() const { return problemText; }

private:
    static JournalKey failed(const QString &text);

    QByteArray bytes;
    QString problemText;
};

#endif // JOURNALKEY_H
