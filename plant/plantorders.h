#ifndef PLANTORDERS_H
#define PLANTORDERS_H

#include "formulaplan.h"
#include "plantorder.h"

#include <QByteArray>
#include <QObject>

#include <functional>

class Database;
class EventJournal;
class PlantLink;

// The plant's orders for the production schedule, taken on the thread that writes the schedule:
// each is checked against the line by the schedule's own rule, appended with "цех" as who added
// it, journaled ("Связь с цехом") and answered. An order id the schedule holds already is
// answered as accepted again and not added twice, since the plant repeats an order until it
// hears of it. Orders only fill the schedule: a batch starts from one only when the schedule
// runs on its own. Told that the schedule changed, it gives the plant its state.
class PlantOrders : public QObject
{
    Q_OBJECT

public:
    using LineView = std::function<QList<LineCapacity>()>;
    using Running = std::function<bool()>;

    PlantOrders(PlantLink &link, Database &records, EventJournal &journal, LineView line,
                Running running, QObject *parent = nullptr);

    void take(const PlantOrder &order);
    // The schedule's entries or its running changed: the plant's retained copy follows.
    void scheduleChanged();

signals:
    // An order was appended to the schedule.
    void entryAdded();

private:
    // Why the order cannot be appended; empty when it was.
    QString append(const PlantOrder &order);

    PlantLink &link;
    Database &database;
    EventJournal &journal;
    LineView line;
    Running running;
};

#endif // PLANTORDERS_H
