#include "doserresponder.h"

#include "k310protocol.h"

#include "hoppermodel.h"

using namespace K310Protocol;

namespace {

constexpr quint8 MasterAddress = 0x80;
constexpr quint8 AddressMask = 0x7F;
constexpr quint32 ValueMask = 0xFFFFFF;
constexpr qint64 LargestValue = 0x7FFFFF;
constexpr qint64 SmallestValue = -0x800000;
constexpr qint64 TestModeOn = 0xFFFFFF;
// Beyond this many surplus decimals every request value rounds to nothing.
constexpr int LargestShift = 9;

// Writes a signed number into the 24-bit value field.
void setNumber(K310DataPacket *packet, qint64 number, int decimals)
{
    const quint32 bits = quint32(qBound(SmallestValue, number, LargestValue)) & ValueMask;
    packet->valueBytes[0] = quint8(bits);
    packet->valueBytes[1] = quint8(bits >> 8);
    packet->valueBytes[2] = quint8(bits >> 16);
    packet->decimals = quint8(decimals);
}

// Counters travel as 32 bits, the decimals byte being the top one.
void setRaw(K310DataPacket *packet, quint32 value)
{
    packet->valueBytes[0] = quint8(value);
    packet->valueBytes[1] = quint8(value >> 8);
    packet->valueBytes[2] = quint8(value >> 16);
    packet->decimals = quint8(value >> 24);
}

qint64 valueBits(const K310DataPacket &packet)
{
    return qint64(packet.rawValue() & ValueMask);
}

} // namespace

DoserResponder::DoserResponder(HopperModel &hopper)
    : model(hopper)
{ }

bool DoserResponder::isForThisDoser(const K310DataPacket &request) const
{
    return (request.receiver & AddressMask) == model.parameters().address;
}

qint64 DoserResponder::requestDigits(const K310DataPacket &request) const
{
    qint64 number = valueBits(request);
    if (number > LargestValue)
        return -1;
    // Exact decimal rescaling: the master may write with other decimals than the doser's.
    int shift = model.parameters().scale - int(request.decimals);
    for (; shift > 0; --shift)
        number *= 10;
    if (shift < -LargestShift)
        return 0;
    qint64 divisor = 1;
    for (; shift < 0; ++shift)
        divisor *= 10;
    return (number + divisor / 2) / divisor;
}

void DoserResponder::setWeight(K310DataPacket *reply, qint64 digits) const
{
    setNumber(reply, digits, model.parameters().scale);
}

bool DoserResponder::respond(const K310DataPacket &request, K310DataPacket *reply)
{
    if (!isForThisDoser(request))
        return false;
    K310DataPacket answer;
    answer.receiver = MasterAddress;
    answer.sender = quint8(model.parameters().address);
    answer.command = request.command;
    answer.subCommand = request.subCommand;
    // Orders answer with the value they were given.
    for (int i = 0; i < 3; ++i)
        answer.valueBytes[i] = request.valueBytes[i];
    answer.decimals = request.decimals;

    switch (request.command) {
    case WeightNetto:
        setWeight(&answer, model.netWeightDigits());
        break;
    case SoftwareVersion:
        setNumber(&answer, model.parameters().versionValue, model.parameters().versionDecimals);
        break;
    case ResetError:
        model.resetError();
        break;
    case DoseWeight:
        model.setDoseWeight(requestDigits(request));
        setWeight(&answer, model.doseDigits());
        break;
    case WriteDoseFaultPlus:
        model.setPlusTolerance(requestDigits(request));
        Q_FALLTHROUGH();
    case ReadDoseFaultPlus:
        setWeight(&answer, model.plusToleranceDigits());
        break;
    case WriteDoseFaultMinus:
        model.setMinusTolerance(requestDigits(request));
        Q_FALLTHROUGH();
    case ReadDoseFaultMinus:
        setWeight(&answer, model.minusToleranceDigits());
        break;
    case DownloadWeight:
        model.fill(requestDigits(request));
        break;
    case DownloadSetDose:
        model.fillDose();
        break;
    case ContinueDownload:
        model.continueWork();
        break;
    case UploadDose:
        setWeight(&answer, model.discharge());
        break;
    case FullCycle:
        model.fullCycle();
        break;
    case Counters:
        answerCounter(request, &answer);
        break;
    case StopWork:
        model.stop();
        break;
    case TestMode:
        if (valueBits(request) == TestModeOn)
            model.setTestMode(true);
        else if (valueBits(request) == 0)
            model.setTestMode(false);
        break;
    case Parameters:
        answerParameter(request, &answer);
        break;
    default:
        setNumber(&answer, 0, 0);
        model.update();
        break;
    }
    answer.state = model.stateFlags();
    answer.errorCode = model.errorCode();
    *reply = answer;
    return true;
}

void DoserResponder::answerCounter(const K310DataPacket &request, K310DataPacket *reply) const
{
    model.update();
    switch (request.subCommand) {
    case SumWeightOfLastDownload:
        setWeight(reply, model.lastFillDigits());
        break;
    case DoseCount:
        setNumber(reply, model.shiftDoses() & LargestValue, 0);
        break;
    case TotalWeight:
        setRaw(reply, model.shiftWeightDigits());
        break;
    case TotalCommonDoseCount:
        setRaw(reply, model.totalDoses());
        break;
    case TotalCommonWeight:
        setRaw(reply, model.totalWeightDigits());
        break;
    default:
        setNumber(reply, 0, 0);
        break;
    }
}

void DoserResponder::answerParameter(const K310DataPacket &request, K310DataPacket *reply) const
{
    model.update();
    const DoserParameters &parameters = model.parameters();
    switch (request.subCommand) {
    case UpperLimit:
        setWeight(reply, model.npdDigits());
        break;
    case Scale:
        // One step of the last digit: 1 with the doser's decimals, e.g. 0.01.
        setNumber(reply, 1, parameters.scale);
        break;
    case WeightUnit:
        setNumber(reply, parameters.unit, 0);
        break;
    case TotalWeightUnit:
        setNumber(reply, parameters.totalUnit, 0);
        break;
    default:
        setNumber(reply, 0, 0);
        break;
    }
}
