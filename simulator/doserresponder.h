#ifndef DOSERRESPONDER_H
#define DOSERRESPONDER_H

#include "k310datapacket.h"

class HopperModel;

// Answers the master's requests the way the doser does: carries out the order on the hopper
// model and builds the reply frame with the doser's state and the value asked for.
class DoserResponder
{
public:
    enum Command : quint8 {
        NetWeight = 0,
        SoftwareVersion = 3,
        ResetError = 4,
        DoseWeight = 8,
        ReadPlusTolerance = 10,
        WritePlusTolerance = 11,
        ReadMinusTolerance = 12,
        WriteMinusTolerance = 13,
        FillWeight = 14,
        FillDose = 15,
        ContinueWork = 17,
        Discharge = 20,
        FullCycle = 22,
        Counters = 24,
        Stop = 26,
        TestMode = 39,
        Parameters = 44,
    };
    enum CounterSelector : quint8 {
        LastFill = 0,
        ShiftDoses = 16,
        ShiftWeight = 18,
        TotalDoses = 19,
        TotalWeight = 20,
    };
    enum ParameterSelector : quint8 {
        UpperLimit = 0,
        Scale = 1,
        WeightUnit = 2,
        TotalWeightUnit = 3
    };

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
