#include "journalcheck.h"

#include "database.h"
#include "journalseal.h"

namespace {

const QString PageStatement = QStringLiteral(
    "SELECT idEvent, date, time, kind, idButch, deviceId, errorCode, text, seal FROM event "
    "WHERE idEvent > %1 ORDER BY idEvent LIMIT %2;");

enum Column { Id, Date, Time, Kind, Butch, Device, ErrorCode, Text, Seal };

} // namespace

JournalCheck::Result JournalCheck::run(Database &database)
{
    Result result;
    QString previous;
    bool sealingStarted = false;
    qint64 lastId = 0;
    for (;;) {
        if (!database.execQuery(PageStatement, {lastId, PageRows})) {
            result.readable = false;
            result.problem = database.lastErrorMessage();
            return result;
        }
        const QueryResult &page = database.result();
        for (int row = 0; row < page.rows; ++row) {
            JournalSeal::Row fields;
            fields.idEvent = page.value(row, Id).toLongLong();
            fields.date = page.value(row, Date);
            fields.time = page.value(row, Time);
            fields.kind = page.value(row, Kind);
            fields.butchId = page.value(row, Butch);
            fields.deviceId = page.value(row, Device);
            fields.errorCode = page.value(row, ErrorCode);
            fields.text = page.value(row, Text);
            const QString seal = page.value(row, Seal);
            lastId = fields.idEvent;
            // A row without a value after sealed ones was put in or had its value wiped.
            const bool broken =
                seal.isEmpty() ? sealingStarted : seal != JournalSeal::of(previous, fields);
            if (broken) {
                result.firstBrokenId = fields.idEvent;
                result.firstBrokenMoment = fields.date + QLatin1Char(' ') + fields.time;
                return result;
            }
            if (seal.isEmpty()) {
                ++result.unsealedRows;
            } else {
                sealingStarted = true;
                ++result.sealedRows;
            }
            previous = seal;
        }
        if (page.rows < PageRows)
            return result;
    }
}

QString JournalCheck::Result::text() const
{
    if (!readable)
        return QStringLiteral("Журнал не прочитан: %1").arg(problem);
    if (firstBrokenId != 0)
        return QStringLiteral("Журнал нарушен: запись № %1 (%2) изменена, вставлена или перед ней "
                              "удалена запись.")
            .arg(firstBrokenId)
            .arg(firstBrokenMoment);
    QString report = QStringLiteral("Журнал цел: проверено записей: %1.").arg(sealedRows);
    if (unsealedRows > 0)
        report += QStringLiteral(" Ранние записи без контрольного значения (не опечатаны): %1.")
                      .arg(unsealedRows);
    return report;
}
