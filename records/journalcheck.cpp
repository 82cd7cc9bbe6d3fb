#include "journalcheck.h"

#include "database.h"
#include "journalkey.h"
#include "journalseal.h"

namespace {

const QString PageStatement = QStringLiteral(
    "SELECT idEvent, date, time, kind, idButch, deviceId, errorCode, text, seal FROM event "
    "WHERE idEvent > %1 ORDER BY idEvent LIMIT %2;");

namespace PageRow {
enum Column { Id, Date, Time, Kind, Butch, Device, ErrorCode, Text, Seal };
} // namespace PageRow

// Where the journal stands after the rows read so far.
enum class Stage { Unsealed, Unkeyed, Keyed };

} // namespace

JournalCheck::Result JournalCheck::run(Database &database, const JournalKey &key,
                                       const KnownSeal &known)
{
    Result result;
    if (!key.isValid()) {
        result.keyProblem = key.problem();
        return result;
    }
    const auto broken = [&result](qint64 id, const QString &moment) {
        result.firstBrokenId = id;
        result.firstBrokenMoment = moment;
        return result;
    };
    QString previous;
    Stage stage = Stage::Unsealed;
    bool knownSeen = false;
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
            fields.idEvent = page.value(row, PageRow::Id).toLongLong();
            fields.date = page.value(row, PageRow::Date);
            fields.time = page.value(row, PageRow::Time);
            fields.kind = page.value(row, PageRow::Kind);
            fields.butchId = page.value(row, PageRow::Butch);
            fields.deviceId = page.value(row, PageRow::Device);
            fields.errorCode = page.value(row, PageRow::ErrorCode);
            fields.text = page.value(row, PageRow::Text);
            const QString seal = page.value(row, PageRow::Seal);
            const QString moment = fields.date + QLatin1Char(' ') + fields.time;
            lastId = fields.idEvent;
            if (known.isSet() && fields.idEvent == known.id) {
                knownSeen = true;
                if (seal != known.seal)
                    return broken(fields.idEvent, moment);
            }
            if (seal.isEmpty()) {
                // A row without a value after sealed ones was put in or had its value wiped.
                if (stage != Stage::Unsealed)
                    return broken(fields.idEvent, moment);
                ++result.unsealedRows;
                continue;
            }
            if (JournalSeal::isKeyed(seal)) {
                if (seal != JournalSeal::keyed(key.value(), previous, fields))
                    return broken(fields.idEvent, moment);
                stage = Stage::Keyed;
            } else {
                // Anyone can compute an unkeyed value: after the key took over, one is forged.
                if (stage == Stage::Keyed || seal != JournalSeal::unkeyed(previous, fields))
                    return broken(fields.idEvent, moment);
                stage = Stage::Unkeyed;
                ++result.unkeyedRows;
            }
            ++result.sealedRows;
            previous = seal;
        }
        if (page.rows < PageRows)
            break;
    }
    if (known.isSet() && !knownSeen) {
        result.tailLost = true;
        return broken(known.id, known.moment);
    }
    return result;
}

QString JournalCheck::Result::text() const
{
    if (!keyProblem.isEmpty())
        return QStringLiteral("Журнал не проверен: нет ключа журнала (%1).").arg(keyProblem);
    if (!readable)
        return QStringLiteral("Журнал не прочитан: %1").arg(problem);
    if (tailLost)
        return QStringLiteral("Журнал нарушен: нет записи № %1 (%2), опечатанной последней из "
                              "известных; записи с неё удалены.")
            .arg(firstBrokenId)
            .arg(firstBrokenMoment);
    if (firstBrokenId != 0)
        return QStringLiteral("Журнал нарушен: запись № %1 (%2) изменена, вставлена или перед ней "
                              "удалена запись.")
            .arg(firstBrokenId)
            .arg(firstBrokenMoment);
    QString report = QStringLiteral("Журнал цел: проверено записей: %1.").arg(sealedRows);
    if (unkeyedRows > 0)
        report +=
            QStringLiteral(" Из них опечатаны прежним способом, без ключа: %1.").arg(unkeyedRows);
    if (unsealedRows > 0)
        report += QStringLiteral(" Ранние записи без контрольного значения (не опечатаны): %1.")
                      .arg(unsealedRows);
    return report;
}
