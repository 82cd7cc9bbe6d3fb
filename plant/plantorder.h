#ifndef PLANTORDER_H
#define PLANTORDER_H

#include <QByteArray>
#include <QMetaType>
#include <QString>

// An order of the plant for the production schedule, read from its MQTT message: a formula at a
// size, or one product on one doser, run `count` times. Read on the publisher's thread and
// handed to the console's by value.
struct PlantOrder
{
    QString orderId;
    // Empty for a product order.
    QString formula;
    QString product;
    int doser = 0;
    double size = 0;
    // Optional; empty takes the formula's pattern.
    QString lot;
    int count = 1;
    // Why the message is no order; empty when it is one. An unreadable message may still carry
    // its order id, so the plant hears which of its orders was refused.
    QString problem;

    static PlantOrder parse(const QByteArray &payload);
};

Q_DECLARE_METATYPE(PlantOrder)

#endif // PLANTORDER_H
