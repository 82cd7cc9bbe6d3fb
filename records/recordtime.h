#ifndef RECORDTIME_H
#define RECORDTIME_H

#include <QDateTime>
#include <QString>

// How dose and journal rows carry their moment: the date as "dd.MM.yyyy", like every date of
// the records, and the time to the second.
class RecordTime
{
public:
    static QString dateText(const QDateTime &moment);
    static QString timeText(const QDateTime &moment);
    // Invalid when the texts are not of that form.
    static QDateTime moment(const QString &date, const QString &time);
};

#endif // RECORDTIME_H
