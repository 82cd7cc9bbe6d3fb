#include "schedulestore.h"

#include "database.h"
#include "transaction.h"

#include <algorithm>

namespace {

// An entry with its progress read from the batches opened for it.
const QString EntryStatement = QStringLiteral(
    "SELECT s.idEntry, s.place, s.formulaName, s.productName, s.deviceId, s.size, s.lot, "
    "s.lotPattern, s.count, s.state, s.reason, s.addedBy, s.addedAt, s.orderId, "
    "(SELECT count(*) FROM scheduleButch l JOIN butch b ON b.idButch = l.idButch "
    "WHERE l.idEntry = s.idEntry AND b.endTime != ''), "
    "ifnull((SELECT max(b.idButch) FROM scheduleButch l JOIN butch b ON b.idButch = l.idButch "
    "WHERE l.idEntry = s.idEntry AND b.endTime = ''), 0) "
    "FROM schedule s %1 ORDER BY s.place");

namespace EntryRow {
enum Column {
    Id,
    Place,
    Formula,
    Product,
    Device,
    Size,
    Lot,
    Pattern,
    Count,
    State,
    Reason,
    AddedBy,
    AddedAt,
    Order,
    Done,
    OpenButch
};
} // namespace EntryRow

using State = ScheduleEntry::State;

// What the stored state comes to with the batches it has: done once they are all ended, in work
// while one is open.
State effectiveState(State stored, int done, int count, qint64 openButch)
{
    if (stored == State::Refused)
        return stored;
    if (done >= count)
        return State::Done;
    if (openButch != 0 && stored == State::Waiting)
        return State::Running;
    return stored == State::Done ? State::Waiting : stored;
}

} // namespace

ScheduleStore::ScheduleStore(Database &connection)
    : database(connection)
{ }

QString ScheduleStore::stateText(State state)
{
    switch (state) {
    case State::Waiting:
        return QStringLiteral("ожидает");
    case State::Running:
        return QStringLiteral("выполняется");
    case State::Done:
        return QStringLiteral("выполнено");
    case State::Stopped:
        return QStringLiteral("остановлено");
    case State::Refused:
        return QStringLiteral("отклонено");
    }
    return QString();
}

QList<ScheduleEntry> ScheduleStore::read(const QString &where, const QVariantList &arguments)
{
    QList<ScheduleEntry> found;
    if (!database.execQuery(EntryStatement.arg(where), arguments))
        return found;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row) {
        ScheduleEntry entry;
        entry.id = rows.value(row, EntryRow::Id).toLongLong();
        entry.place = rows.value(row, EntryRow::Place).toInt();
        entry.formulaName = rows.value(row, EntryRow::Formula);
        entry.productName = rows.value(row, EntryRow::Product);
        entry.deviceId = rows.value(row, EntryRow::Device).toInt();
        entry.size = rows.value(row, EntryRow::Size);
        entry.lot = rows.value(row, EntryRow::Lot);
        entry.lotPattern = rows.value(row, EntryRow::Pattern);
        entry.count = rows.value(row, EntryRow::Count).toInt();
        entry.reason = rows.value(row, EntryRow::Reason);
        entry.addedBy = rows.value(row, EntryRow::AddedBy);
        entry.addedAt = QDateTime::fromString(rows.value(row, EntryRow::AddedAt), Qt::ISODate);
        entry.orderId = rows.value(row, EntryRow::Order);
        entry.done = rows.value(row, EntryRow::Done).toInt();
        entry.openButch = rows.value(row, EntryRow::OpenButch).toLongLong();
        entry.state = effectiveState(State(rows.value(row, EntryRow::State).toInt()), entry.done,
                                     entry.count, entry.openButch);
        found.append(entry);
    }
    return found;
}

WriteResult ScheduleStore::add(ScheduleEntry &entry)
{
    Transaction transaction(database);
    if (!transaction.isOpen())
        return WriteResult::of(false, database);
    if (!entry.orderId.isEmpty() && hasOrder(entry.orderId))
        return WriteResult::failed(
            QStringLiteral("заказ %1 уже есть в очереди").arg(entry.orderId));
    const QList<ScheduleEntry> present = read(QString(), {});
    const auto open = std::count_if(present.cbegin(), present.cend(), [](const ScheduleEntry &one) {
        return one.state != State::Done && one.state != State::Refused;
    });
    if (open >= MaxOpen)
        return WriteResult::failed(
            QStringLiteral("в очереди уже %1 невыполненных заданий").arg(MaxOpen));
    if (!database.execQuery(QStringLiteral("SELECT ifnull(max(place), 0) + 1 FROM schedule")))
        return WriteResult::of(false, database);
    entry.place = database.result().value(0, 0).toInt();
    if (!entry.addedAt.isValid())
        entry.addedAt = QDateTime::currentDateTime();
    if (!database.execQuery(
            QStringLiteral("INSERT INTO schedule (place, formulaName, productName, deviceId, size, "
                           "lot, lotPattern, count, state, reason, addedBy, addedAt, orderId) "
                           "VALUES (%1, %2, %3, %4, %5, %6, %7, %8, %9, %10, %11, %12, %13)"),
            {entry.place, entry.formulaName, entry.productName, entry.deviceId, entry.size,
             entry.lot, entry.lotPattern, entry.count, int(entry.state), entry.reason,
             entry.addedBy, entry.addedAt.toString(Qt::ISODate), entry.orderId}))
        return WriteResult::of(false, database);
    entry.id = database.lastInsertId();
    return WriteResult::of(transaction.commit(), database);
}

QStringList ScheduleStore::lotsOf(qint64 id)
{
    QStringList lots;
    if (!database.execQuery(QStringLiteral("SELECT b.lot FROM scheduleButch s JOIN butch b ON "
                                           "b.idButch = s.idButch WHERE s.idEntry = %1 AND "
                                           "b.lot != '' ORDER BY b.idButch"),
                            {id}))
        return lots;
    const QueryResult &rows = database.result();
    for (int row = 0; row < rows.rows; ++row)
        lots << rows.value(row, 0);
    return lots;
}

bool ScheduleStore::hasOrder(const QString &orderId)
{
    return database.execQuery(QStringLiteral("SELECT count(*) FROM schedule WHERE orderId = %1"),
                              {orderId})
           && database.result().value(0, 0).toInt() > 0;
}

QList<ScheduleEntry> ScheduleStore::entries()
{
    QList<ScheduleEntry> all = read(QString(), {});
    std::stable_partition(all.begin(), all.end(), [](const ScheduleEntry &entry) {
        return entry.state == State::Running || entry.state == State::Stopped;
    });
    return all;
}

std::optional<ScheduleEntry> ScheduleStore::entry(qint64 id)
{
    const QList<ScheduleEntry> found = read(QStringLiteral("WHERE s.idEntry = %1"), {id});
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

std::optional<ScheduleEntry> ScheduleStore::next()
{
    const QList<ScheduleEntry> all = entries();
    for (const ScheduleEntry &entry : all) {
        if (entry.state == State::Running || entry.state == State::Stopped
            || entry.state == State::Waiting)
            return entry;
    }
    return std::nullopt;
}

WriteResult ScheduleStore::move(qint64 id, int steps)
{
    QList<ScheduleEntry> waiting = read(QString(), {});
    waiting.erase(
        std::remove_if(waiting.begin(), waiting.end(),
                       [](const ScheduleEntry &entry) { return entry.state != State::Waiting; }),
        waiting.end());
    const auto at = std::find_if(waiting.cbegin(), waiting.cend(),
                                 [id](const ScheduleEntry &entry) { return entry.id == id; });
    if (at == waiting.cend())
        return WriteResult::failed(QStringLiteral("переставить можно только ожидающее задание"));
    const int from = int(at - waiting.cbegin());
    const int to = qBound(0, from + steps, int(waiting.size()) - 1);
    if (to == from)
        return {};
    Transaction transaction(database);
    // The waiting entries keep the places they had among them, in their new order.
    QList<int> places;
    for (const ScheduleEntry &entry : std::as_const(waiting))
        places << entry.place;
    waiting.move(from, to);
    for (int i = 0; i < waiting.size(); ++i) {
        if (!database.execQuery(QStringLiteral("UPDATE schedule SET place = %1 WHERE idEntry = %2"),
                                {places.at(i), waiting.at(i).id}))
            return WriteResult::of(false, database);
    }
    return WriteResult::of(transaction.isOpen() && transaction.commit(), database);
}

WriteResult ScheduleStore::remove(qint64 id)
{
    const std::optional<ScheduleEntry> found = entry(id);
    if (!found)
        return {};
    if (found->state == State::Running || found->state == State::Stopped || found->openButch != 0)
        return WriteResult::failed(QStringLiteral("задание выполняется"));
    return WriteResult::of(
        database.execQuery(QStringLiteral("DELETE FROM schedule WHERE idEntry = %1"), {id}),
        database);
}

WriteResult ScheduleStore::setState(qint64 id, State state, const QString &reason)
{
    return WriteResult::of(
        database.execQuery(
            QStringLiteral("UPDATE schedule SET state = %1, reason = %2 WHERE idEntry = %3"),
            {int(state), reason, id}),
        database);
}
