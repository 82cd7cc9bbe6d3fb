#ifndef LINEQUEUE_H
#define LINEQUEUE_H
// placeholder until the queue lands
#include "k310datapacket.h"
#include <QObject>
class K310Link;
class LineQueue : public QObject
{
    Q_OBJECT
public:
    explicit LineQueue(K310Link *link, QObject *parent = nullptr);
    void enqueue(const K310DataPacket &request);
    int pending(int) const { return 0; }
    void clear() { }
private:
    K310Link *link;
};
#endif
