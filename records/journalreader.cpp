#include "journalreader.h"

#include "database.h"
#include "recordtime.h"

namespace {

const QString DaysStatement =
    QStringLiteral("SELECT date FROM event GROUP BY date ORDER BY MAX(idEvent)");
const QString FirstEventStatement =
    QStringLiteral("SELECT MIN(idEvent) FROM event WHERE date = \"%1\"");
const QString LastEventStatement =
    QStringLiteral("SELECT MAX(idEvent) FROM event WHERE date = \"%1\"");
const QString RangeStatement =
    QStringLiteral("SELECT date, time, kind, idButch, deviceId, errorCode, text FROM event "
                   "WHERE idEvent >= %1 AND idEvent <= %2 AND (%3 = 0 OR kind = %3) "
                   "ORDER BY idEvent DESC");
const QString ButchStatement =
    QStringLiteral("SELECT date, time, kind, idButch, deviceId, errorCode, text FROM event "
                   "WHERE idButch = %1 AND (%2 = 0 OR kind = %2) ORDER BY idEvent");

namespace EventRow {
enum Column {
    DateColumn,
    TimeColumn,
    KindColumn,
    ButchColumn,
    DeviceColumn,
    CodeColumn,
    TextColumn
};
} // namespace EventRow

// A NULL column reads as the empty text, which stands for "none".
qint64 numberOr(const QString &text, qint64 none)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok ? number : none;
}

} // namespace

JournalReader::JournalReader(Database &database)
    : database(database)
{ }

QStringList JournalReader::days()
{
    database.execQuery(DaysStatement);
    return database.result().values;
}

QList<JournalEvent> JournalReader::events(const QString &firstDay, const QString &lastDay, int kind)
{
    const qint64 first = eventOfDay(FirstEventStatement, firstDay);
    const qint64 last = eventOfDay(LastEventStatement, lastDay);
    database.execQuery(RangeStatement, {first, last, kind});
    return read();
}

QList<JournalEvent> JournalReader::eventsOfButch(qint64 butchId, int kind)
{
    database.execQuery(ButchStatement, {butchId, kind});
    return read();
}

qint64 JournalReader::eventOfDay(const QString &statement, const QString &day)
{
    database.execQuery(statement, {day});
    return database.result().value(0, 0).toLongLong();
}

QList<JournalEvent> JournalReader::read()
{
    const QueryResult &rows = database.result();
    QList<JournalEvent> events;
    events.reserve(rows.rows);
    for (int row = 0; row < rows.rows; ++row) {
        JournalEvent event;
        event.moment = RecordTime::moment(rows.value(row, EventRow::DateColumn),
                                          rows.value(row, EventRow::TimeColumn));
        event.kind = rows.value(row, EventRow::KindColumn).toInt();
        event.butchId = numberOr(rows.value(row, EventRow::ButchColumn), JournalEvent::NoButch);
        event.deviceId =
            int(numberOr(rows.value(row, EventRow::DeviceColumn), JournalEvent::NoDevice));
        event.errorCode =
            int(numberOr(rows.value(row, EventRow::CodeColumn), JournalEvent::NoErrorCode));
        event.text = rows.value(row, EventRow::TextColumn);
        events << event;
    }
    return events;
}
