#include "plantoutbox.h"

#include "database.h"
#include "plantmessages.h"
#include "recordtime.h"
#include "transaction.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Files whose triggers predate the task id or the lot get these in their place (see
// createTables).
constexpr char PlantDoseTrigger[] =
    "CREATE TRIGGER IF NOT EXISTS plantDose AFTER INSERT ON dose WHEN EXISTS (SELECT 1 FROM "
    "plantForwarding) BEGIN INSERT INTO plantOutbox (topic, idButch, deviceId, idRecord, date, "
    "time, orderedWeight, dischargedWeight, weightScale, decimals, counted, idTask, lot) VALUES "
    "('dose', NEW.idButch, NEW.deviceId, NEW.idDose, NEW.date, NEW.time, NEW.orderedWeight, "
    "NEW.dischargedWeight, NEW.weightScale, NEW.decimals, NEW.counted, NEW.idTask, (SELECT lot "
    "FROM butch WHERE idButch = NEW.idButch)); END;";
// Batch events 1 to 7 (started to deleted), with the task and batch as they stand then.
constexpr char PlantBatchTrigger[] =
    "CREATE TRIGGER IF NOT EXISTS plantBatch AFTER INSERT ON event WHEN NEW.kind BETWEEN 1 AND 7 "
    "AND EXISTS (SELECT 1 FROM plantForwarding) BEGIN INSERT INTO plantOutbox (topic, idButch, "
    "deviceId, idRecord, eventKind, date, time, productName, taskWeight, haveDoneWeight, "
    "weightScale, startDate, startTime, endDate, endTime, lot) SELECT 'batch', NEW.idButch, "
    "NEW.deviceId, NEW.idEvent, NEW.kind, NEW.date, NEW.time, t.productName, t.taskWeight, "
    "t.haveDoneWeight, t.weightScale, b.date, b.startTime, b.endDate, b.endTime, b.lot FROM "
    "(SELECT 1) LEFT JOIN butch b ON b.idButch = NEW.idButch LEFT JOIN task t ON t.idButch = "
    "NEW.idButch AND (NEW.deviceId IS NULL OR t.deviceId = NEW.deviceId) LIMIT 1; END;";

// A row per dose and per batch event, made by the triggers in the transaction that writes the
// record, so a killed program still forwards it; removed once the broker has acknowledged it.
// Rows are made only while plantForwarding holds one.
const char *const Schema[] = {
    "CREATE TABLE IF NOT EXISTS plantForwarding (since TEXT);",
    "CREATE TABLE IF NOT EXISTS plantOutbox (idMessage INTEGER PRIMARY KEY AUTOINCREMENT, topic "
    "TEXT, idButch INTEGER, deviceId INTEGER, idRecord INTEGER, eventKind INTEGER, date TEXT, "
    "time TEXT, productName TEXT, orderedWeight TEXT, dischargedWeight TEXT, weightScale TEXT, "
    "decimals INTEGER, counted INTEGER, taskWeight TEXT, haveDoneWeight TEXT, startDate TEXT, "
    "startTime TEXT, endDate TEXT, endTime TEXT);",
};

enum Column {
    IdMessage,
    Topic,
    IdButch,
    DeviceId,
    IdRecord,
    EventKind,
    Date,
    Time,
    ProductName,
    OrderedWeight,
    DischargedWeight,
    WeightScale,
    Decimals,
    Counted,
    TaskWeight,
    HaveDoneWeight,
    StartDate,
    StartTime,
    EndDate,
    EndTime,
    IdTask,
    Lot,
    Seal,
};

// A batch message carries its journal row's seal, read where the row is.
const QString SelectStatement = QStringLiteral(
    "SELECT o.idMessage, o.topic, o.idButch, o.deviceId, o.idRecord, o.eventKind, o.date, o.time, "
    "o.productName, o.orderedWeight, o.dischargedWeight, o.weightScale, o.decimals, o.counted, "
    "o.taskWeight, o.haveDoneWeight, o.startDate, o.startTime, o.endDate, o.endTime, o.idTask, "
    "o.lot, e.seal FROM plantOutbox o LEFT JOIN event e ON o.topic = 'batch' AND e.idEvent = "
    "o.idRecord WHERE o.idMessage > %1 ORDER BY o.idMessage LIMIT %2;");
const QString DoseTopic = QStringLiteral("dose");
const QString BatchTopic = QStringLiteral("batch");

QJsonValue moment(const QString &date, const QString &time)
{
    const QDateTime at = RecordTime::moment(date, time);
    return at.isValid() ? QJsonValue(at.toString(Qt::ISODate)) : QJsonValue();
}

// Batches keep their start and end to the minute.
QJsonValue minute(const QString &date, const QString &time)
{
    const QDateTime at = QDateTime::fromString(date + QLatin1Char(' ') + time.trimmed(),
                                               QStringLiteral("dd.MM.yyyy hh:mm"));
    return at.isValid() ? QJsonValue(at.toString(QStringLiteral("yyyy-MM-ddTHH:mm")))
                        : QJsonValue();
}

QJsonValue weight(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(Database::decimalValue(text));
}

// A batch keeps no delivered weight before its first dose: it has delivered 0.
QJsonValue deliveredSoFar(const QString &text)
{
    return text.isEmpty() ? QJsonValue(0.0) : weight(text);
}

// The batch's lot, where it has one: a reader of batches without lots sees no change.
void addLot(QJsonObject &message, const QString &lot)
{
    if (!lot.isEmpty())
        message.insert(QStringLiteral("lot"), lot);
}

QByteArray dosePayload(const QueryResult &rows, int row)
{
    const auto value = [&](Column column) { return rows.value(row, column); };
    QJsonObject message {
        {QStringLiteral("messageId"), value(IdMessage).toLongLong()},
        {QStringLiteral("batchId"), value(IdButch).toLongLong()},
        {QStringLiteral("doseId"), value(IdRecord).toLongLong()},
        {QStringLiteral("deviceId"), value(DeviceId).toInt()},
        {QStringLiteral("time"), moment(value(Date), value(Time))},
        {QStringLiteral("ordered"), weight(value(OrderedWeight))},
        {QStringLiteral("discharged"), weight(value(DischargedWeight))},
        {QStringLiteral("unit"), value(WeightScale)},
        {QStringLiteral("decimals"), value(Decimals).toInt()},
        {QStringLiteral("counted"), value(Counted).toInt() != 0},
    };
    // Rows from before task ids, and doses outside a task, name none.
    if (const qint64 task = value(IdTask).toLongLong(); task != 0)
        message.insert(QStringLiteral("taskId"), task);
    addLot(message, value(Lot));
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

QByteArray batchPayload(const QueryResult &rows, int row)
{
    const auto value = [&](Column column) { return rows.value(row, column); };
    QJsonObject message {
        {QStringLiteral("messageId"), value(IdMessage).toLongLong()},
        {QStringLiteral("batchId"), value(IdButch).toLongLong()},
        {QStringLiteral("eventId"), value(IdRecord).toLongLong()},
        {QStringLiteral("deviceId"), value(DeviceId).toInt()},
        {QStringLiteral("event"), PlantMessages::batchEventName(value(EventKind).toInt())},
        {QStringLiteral("time"), moment(value(Date), value(Time))},
        {QStringLiteral("product"), value(ProductName)},
        {QStringLiteral("target"), weight(value(TaskWeight))},
        {QStringLiteral("delivered"), deliveredSoFar(value(HaveDoneWeight))},
        {QStringLiteral("unit"), value(WeightScale)},
        {QStringLiteral("start"), minute(value(StartDate), value(StartTime))},
        {QStringLiteral("end"), minute(value(EndDate), value(EndTime))},
    };
    // The plant's copy of the journal's seal at this row: a journal cut or rewritten later no
    // longer holds it.
    if (const QString seal = value(Seal); !seal.isEmpty())
        message.insert(QStringLiteral("seal"), seal);
    addLot(message, value(Lot));
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

} // namespace

PlantOutbox::PlantOutbox(Database &connection)
    : database(connection)
{ }

bool PlantOutbox::createTables()
{
    bool created = true;
    for (const char *statement : Schema)
        created = database.execQuery(QString::fromLatin1(statement)) && created;
    // An outbox from before the task id or the lot: its triggers are made again with them.
    created =
        database.addColumn("plantOutbox", "idTask", "INTEGER", "DROP TRIGGER IF EXISTS plantDose;")
        && created;
    created = database.addColumn("plantOutbox", "lot", "TEXT",
                                 "DROP TRIGGER IF EXISTS plantDose; "
                                 "DROP TRIGGER IF EXISTS plantBatch;")
              && created;
    created = database.execQuery(QString::fromLatin1(PlantBatchTrigger)) && created;
    return database.execQuery(QString::fromLatin1(PlantDoseTrigger)) && created;
}

bool PlantOutbox::setForwarding(bool on)
{
    if (!createTables())
        return false;
    if (!on)
        return database.execQuery(QStringLiteral("DELETE FROM plantForwarding;"));
    if (isForwarding())
        return true;
    return database.execQuery(
        QStringLiteral(R"(INSERT INTO plantForwarding (since) VALUES ("%1");)"),
        {QDateTime::currentDateTime().toString(Qt::ISODate)});
}

bool PlantOutbox::isForwarding()
{
    return database.execQuery(QStringLiteral("SELECT count(*) FROM plantForwarding;"))
           && database.result().value(0, 0).toInt() > 0;
}

QList<OutboxMessage> PlantOutbox::after(qint64 id, int limit)
{
    QList<OutboxMessage> messages;
    if (!database.execQuery(SelectStatement, {id, limit}))
        return messages;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row) {
        OutboxMessage message;
        message.id = rows.value(row, IdMessage).toLongLong();
        message.deviceId = rows.value(row, DeviceId).toInt();
        message.kind = rows.value(row, Topic);
        if (message.kind == DoseTopic)
            message.payload = dosePayload(rows, row);
        else if (message.kind == BatchTopic)
            message.payload = batchPayload(rows, row);
        else
            continue;
        messages << message;
    }
    return messages;
}

bool PlantOutbox::remove(const QList<qint64> &ids)
{
    Transaction transaction(database);
    if (!transaction.isOpen())
        return false;
    for (const qint64 id : ids) {
        if (!database.execQuery(QStringLiteral("DELETE FROM plantOutbox WHERE idMessage = %1;"),
                                {id}))
            return false;
    }
    return transaction.commit();
}

int PlantOutbox::waiting()
{
    if (!database.execQuery(QStringLiteral("SELECT count(*) FROM plantOutbox;")))
        return -1;
    return database.result().value(0, 0).toInt();
}
