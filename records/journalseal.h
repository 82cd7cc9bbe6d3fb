#ifndef JOURNALSEAL_H
#define JOURNALSEAL_H

#include <QByteArray>
#include <QString>

// The chain value of a journal row over the previous row's value and the row's own fields, as
// text in the column seal. Editing, inserting or deleting a row changes the value every later
// row must have. Rows are sealed with HMAC-SHA256 under the journal's key (see JournalKey),
// marked by a prefix; older files hold rows sealed by plain SHA-256, which anyone could
// recompute, and those are only believed before the first keyed row.
class JournalSeal
{
public:
    // The fields of a row as SQLite gives them back as text (NULL as the empty text).
    struct Row
    {
        qint64 idEvent = 0;
        QString date;
        QString time;
        QString kind;
        QString butchId;
        QString deviceId;
        QString errorCode;
        QString text;
    };

    // What a keyed seal starts with; an unkeyed one is bare hexadecimal.
    static constexpr char KeyedPrefix[] = "hmac:";

    // previous is the seal of the row before; empty for the first row or one before sealing.
    static QString keyed(const QByteArray &key, const QString &previous, const Row &row);
    // The older rule without a key, kept to check the rows sealed by it.
    static QString unkeyed(const QString &previous, const Row &row);
    static bool isKeyed(const QString &seal);
};

#endif // JOURNALSEAL_H
