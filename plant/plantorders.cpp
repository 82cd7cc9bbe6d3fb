#include "plantorders.h"

#include "eventjournal.h"
#include "plantlink.h"
#include "plantlog.h"
#include "plantmessages.h"
#include "schedulecheck.h"
#include "schedulestore.h"

namespace {

const QString AddedByPlant = QStringLiteral("цех");

QString describe(const PlantOrder &order)
{
    const QString what =
        order.formula.isEmpty()
            ? QStringLiteral("продукт \"%1\" на дозаторе %2").arg(order.product).arg(order.doser)
            : QStringLiteral("рецептура \"%1\"").arg(order.formula);
    QString text =
        QStringLiteral("%1, размер %2, партий %3").arg(what).arg(order.size).arg(order.count);
    if (!order.lot.isEmpty())
        text += QStringLiteral(", партия %1").arg(order.lot);
    return text;
}

QString named(const QString &orderId)
{
    return orderId.isEmpty() ? QStringLiteral("без номера") : orderId;
}

} // namespace

PlantOrders::PlantOrders(PlantLink &plant, Database &records, EventJournal &events,
                         LineView lineView, Running isRunning, QObject *parent)
    : QObject(parent)
    , link(plant)
    , database(records)
    , journal(events)
    , line(std::move(lineView))
    , running(std::move(isRunning))
{
    connect(&link, &PlantLink::orderReceived, this, &PlantOrders::take);
}

void PlantOrders::take(const PlantOrder &order)
{
    if (order.problem.isEmpty() && ScheduleStore(database).hasOrder(order.orderId)) {
        qCDebug(lcPlant) << "order repeated" << order.orderId;
        link.answerOrder(order.orderId, true, QString());
        return;
    }
    const QString refused = order.problem.isEmpty() ? append(order) : order.problem;
    if (!refused.isEmpty()) {
        journal.record(
            JournalEvent::PlantLink,
            QStringLiteral("задание цеха %1 отклонено: %2").arg(named(order.orderId), refused));
        link.answerOrder(order.orderId, false, refused);
        return;
    }
    journal.record(
        JournalEvent::PlantLink,
        QStringLiteral("задание цеха %1 принято: %2").arg(order.orderId, describe(order)));
    link.answerOrder(order.orderId, true, QString());
    scheduleChanged();
    emit entryAdded();
}

QString PlantOrders::append(const PlantOrder &order)
{
    ScheduleEntry entry;
    entry.formulaName = order.formula;
    if (order.formula.isEmpty()) {
        entry.productName = order.product;
        entry.deviceId = order.doser;
    }
    entry.size = QString::number(order.size);
    entry.lot = order.lot;
    entry.count = order.count;
    entry.orderId = order.orderId;
    entry.addedBy = AddedByPlant;
    if (const QString refused = ScheduleCheck::refusal(database, entry, line()); !refused.isEmpty())
        return refused;
    if (const WriteResult added = ScheduleStore(database).add(entry); !added)
        return QStringLiteral("не записано в data.db: %1").arg(added.reason());
    return QString();
}

void PlantOrders::scheduleChanged()
{
    link.publishSchedule(PlantMessages::schedule(ScheduleStore(database).entries(), running()));
}

#include "moc_plantorders.cpp"
