#ifndef JOURNALSEAL_H
#define JOURNALSEAL_H

#include <QByteArray>
#include <QString>

// The chain value of a journal row: SHA-256 over the previous row's value and the row's own
// fields, as hexadecimal text in the column seal. Editing, inserting or deleting a row changes
// the value every later row must have.
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

    // previous is the seal of the row before; empty for the first row or one before sealing.
    static QString of(const QString &previous, const Row &row);
};

#endif // JOURNALSEAL_H
