#include "recordtime.h"

namespace {

const QString DateFormat = QStringLiteral("dd.MM.yyyy");
const QString TimeFormat = QStringLiteral("hh:mm:ss");

} // namespace

QString RecordTime::dateText(const QDateTime &moment)
{
    return moment.toString(DateFormat);
}

QString RecordTime::timeText(const QDateTime &moment)
{
    return moment.toString(TimeFormat);
}

QDateTime RecordTime::moment(const QString &date, const QString &time)
{
    return QDateTime(QDate::fromString(date, DateFormat), QTime::fromString(time, TimeFormat));
}
