#ifndef DOSERRESPONDER_H
#define DOSERRESPONDER_H

#include "k310datapacket.h"

class HopperModel;

// Answers the master's requests the way the doser does: carries out the order on the hopper
// model and builds the reply frame with the doser's state and the value asked for.
class DoserResponder
{
public:
    explicit DoserResponder(HopperModel &model);

    bool isForThisDoser(const K310DataPacket &request) const;
    // Carries out a request addressed to this doser and fills *reply; returns false, and
    // does nothing, for a request to another address.
    bool respond(const K310DataPacket &request, K310DataPacket *reply);

private:
    // The request's number in the doser's digits; -1 when it is negative.
    qint64 requestDigits(const K310DataPacket &request) const;
    void setWeight(K310DataPacket *reply, qint64 digits) const;
    void answerCounter(const K310DataPacket &request, K310DataPacket *reply) const;
    void answerParameter(const K310DataPacket &request, K310DataPacket *reply) const;

    HopperModel &model;
};

#endif // DOSERRESPONDER_H
