#include "linequeue.h"
#include "k310link.h"
LineQueue::LineQueue(K310Link *link, QObject *parent) : QObject(parent), link(link) { }
void LineQueue::enqueue(const K310DataPacket &request) { link->sendCommandPacket(request); }
