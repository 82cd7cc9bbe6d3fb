#include "k310device.h"

#include "k310protocol.h"
#include "linequeue.h"

#include <QDebug>

namespace {

using namespace K310Protocol;

constexpr quint8 StoppedFlags = WorkingFlag | DoseToDischargeFlag;
constexpr quint8 TestModeOnByte = 0xFF;
constexpr quint32 ValueMask = 0xFFFFFF;
constexpr quint32 ValueSignBit = 0x800000;

// Indexed by the doser's error code; a null entry is a code the console stays silent about.
const char *const ErrorTexts[] = {
    nullptr,
    "Ошибка данных в EEPROM калибровки или конфигурации",
    "Ошибка данных в EEPROM параметров работы или рецепта",
    "Ошибка, нет питания в силовых цепях",
    "Ошибка в номере компонента",
    "Ошибка, нестабильны показания датчика веса",
    nullptr,
    nullptr,
    "Ошибка, нет подачи продукта",
    "Ошибка, ГПУ не пустое (при попытке набора вес отличен от нуля)",
    "Ошибка, тайм-аут концевика открытия шиберной задвижки",
    "Ошибка, тайм-аут концевика закрытия шиберной задвижки",
    "Ошибка, уменьшение веса при наборе дозы",
    "Ошибка, не зафиксирована тара (при фиксации по команде)",
    "Ошибка, мало продукта)",
    "Ошибка, Низкое давление",
    "Ошибка, выход управляющего сигнала за диапазон 0 - 100%",
    "Ошибка, большой перерасход (жидкости)",
    "Ошибка, Низкая производительность (проходные весы)",
};
constexpr int ErrorTextCount = int(sizeof(ErrorTexts) / sizeof(ErrorTexts[0]));

// Indexed by the unit number the doser reports.
const char *const UnitTexts[] = {"г", "кг", "т"};
constexpr int UnitTextCount = int(sizeof(UnitTexts) / sizeof(UnitTexts[0]));

DoserState stateOf(quint8 state)
{
    if (state & AlarmFlag)
        return DoserState::Alarm;
    return state & WorkingFlag ? DoserState::Working : DoserState::Stopped;
}

// The value field with its decimals in fixed point, worked out on the integer so that every
// digit is exact however many decimals the doser sends.
QString decimalText(const K310DataPacket &reply)
{
    const quint32 bits = reply.rawValue() & ValueMask;
    const bool negative = bits & ValueSignBit;
    const quint32 magnitude = negative ? (~bits & ValueMask) + 1 : bits;
    QString digits = QString::number(magnitude);
    const int decimals = reply.decimals;
    if (digits.size() <= decimals)
        digits.prepend(QString(decimals + 1 - digits.size(), QLatin1Char('0')));
    if (decimals > 0)
        digits.insert(digits.size() - decimals, QLatin1Char('.'));
    if (negative)
        digits.prepend(QLatin1Char('-'));
    return digits;
}

// Counters use all four bytes, the decimals byte being the top one.
QString counterText(const K310DataPacket &reply)
{
    return QString::number(reply.rawValue());
}

// The unit named by the low byte of the whole number; empty for a number that names none.
QString unitText(const K310DataPacket &reply)
{
    const quint8 unit = quint8(qint64(reply.value()));
    return unit < UnitTextCount ? QString::fromUtf8(UnitTexts[unit]) : QString();
}

} // namespace

K310Device::K310Device(K310Link *onLink)
    : link(onLink)
{
    packet = K310DataPacket();
    if (!onLink)
        return;
    // The link emits its replies on its worker thread; automatic connection queues them here.
    connect(this, &K310Device::requestSignal, onLink, &K310Link::sendCommandPacket);
    connect(onLink, &K310Link::replyPacketReceived, this, &K310Device::replyPacketReceived);
}

void K310Device::sendThrough(LineQueue *queue)
{
    if (lineQueue)
        disconnect(this, &K310Device::requestSignal, lineQueue, &LineQueue::enqueue);
    else if (link)
        disconnect(this, &K310Device::requestSignal, link, &K310Link::sendCommandPacket);
    lineQueue = queue;
    if (queue)
        connect(this, &K310Device::requestSignal, queue, &LineQueue::enqueue, Qt::UniqueConnection);
    else if (link)
        connect(this, &K310Device::requestSignal, link, &K310Link::sendCommandPacket,
                Qt::UniqueConnection);
}

K310Device::~K310Device()
{
    qDebug("~K310Device()");
}

void K310Device::prepare(quint8 command, quint8 subCommand)
{
    packet = K310DataPacket();
    packet.command = command;
    packet.subCommand = subCommand;
    packet.receiver = quint8(deviceID);
}

void K310Device::prepareValue(quint8 command, quint8 subCommand, const QString &text,
                              quint8 decimals)
{
    prepare(command, subCommand);
    packet.setValue(text.toDouble(), decimals);
}

void K310Device::send()
{
    emit requestSignal(packet);
}

void K310Device::requestWeightNETTO()
{
    prepare(WeightNetto);
    send();
}

void K310Device::requestPOVersion()
{
    prepare(SoftwareVersion);
    send();
}

void K310Device::resetErrorFlag()
{
    prepare(ResetError);
    send();
}

void K310Device::setDoseWeight(const QString &weight, quint8 decimals)
{
    prepareValue(DoseWeight, 1, weight, decimals);
    send();
}

void K310Device::requestDoseFaultPlus()
{
    prepare(ReadDoseFaultPlus);
    send();
}

void K310Device::setDoseFaultPlus(const QString &value, quint8 decimals)
{
    prepareValue(WriteDoseFaultPlus, 0, value, decimals);
    send();
}

void K310Device::requestDoseFaultMinus()
{
    prepare(ReadDoseFaultMinus);
    send();
}

void K310Device::setDoseFaultMinus(const QString &value, quint8 decimals)
{
    prepareValue(WriteDoseFaultMinus, 0, value, decimals);
    send();
}

void K310Device::downloadDose(const QString &weight, quint8 decimals)
{
    prepareValue(DownloadWeight, 0, weight, decimals);
    send();
}

void K310Device::downloadDose()
{
    prepare(DownloadSetDose);
    send();
}

void K310Device::continueDownload()
{
    prepare(ContinueDownload);
    send();
}

void K310Device::uploadDose()
{
    prepare(UploadDose);
    send();
}

void K310Device::doFullCycle()
{
    prepare(FullCycle);
    send();
}

void K310Device::requestSumWeightOfLastDownload()
{
    prepare(Counters, SumWeightOfLastDownload);
    send();
}

void K310Device::requestDoseCount()
{
    prepare(Counters, DoseCount);
    send();
}

void K310Device::requestTotalWeight()
{
    prepare(Counters, TotalWeight);
    send();
}

void K310Device::requestTotalCommonDoseCount()
{
    prepare(Counters, TotalCommonDoseCount);
    send();
}

void K310Device::requestTotalCommonWeight()
{
    prepare(Counters, TotalCommonWeight);
    send();
}

void K310Device::stopWork()
{
    prepare(StopWork);
    send();
}

void K310Device::startTestMode()
{
    prepare(TestMode);
    for (quint8 &byte : packet.valueBytes)
        byte = TestModeOnByte;
    send();
}

void K310Device::stopTestMode()
{
    prepare(TestMode);
    send();
}

void K310Device::requestNPD()
{
    prepare(Parameters, UpperLimit);
    send();
}

void K310Device::requestScale()
{
    prepare(Parameters, Scale);
    send();
}

void K310Device::requestWeightScale()
{
    prepare(Parameters, WeightUnit);
    send();
}

void K310Device::requestTotalWeightScale()
{
    prepare(Parameters, TotalWeightUnit);
    send();
}

void K310Device::replyPacketReceived(const K310DataPacket &reply, quint32 replyNumber,
                                     quint32 expectedReplies)
{
    Q_UNUSED(expectedReplies);
    if (reply.sender != deviceID)
        return;
    if (replyNumber == 0) {
        emitStatus(reply);
        emit hasConnectionErrorSignal(deviceID);
        return;
    }
    const DoserState state = stateOf(reply.state);
    emit hasStateSignal(deviceID, state);
    emit hasCurrentStateSignal(deviceID, doserStateText(state));
    emitStatus(reply);
    // A reply the link made up for a corrupt frame carries the request's value, not the
    // doser's: passing it on would report a reading or a write that never happened.
    if (reply.linkError != K310DataPacket::ReplyIntact)
        return;
    emitValue(reply);
}

int K310Device::errorCodeOf(const QString &text)
{
    for (int code = 0; code < ErrorTextCount; ++code) {
        if (ErrorTexts[code] && text == QString::fromUtf8(ErrorTexts[code]))
            return code;
    }
    return -1;
}

void K310Device::emitStatus(const K310DataPacket &reply)
{
    if (reply.state & AlarmFlag) {
        const int code = reply.errorCode;
        if (code == 0) {
            emit needToStopTheWork(deviceID);
            return;
        }
        if (code >= ErrorTextCount || !ErrorTexts[code])
            return;
        emit hasErrorSignal(deviceID, QString::fromUtf8(ErrorTexts[code]));
        emit needToStopTheWork(deviceID);
        return;
    }
    const quint8 stopped = reply.state & StoppedFlags;
    if (stopped == DoseToDischargeFlag)
        emit workStoppedMustDownloadSignal(deviceID);
    else if (stopped == 0)
        emit workStoppedMustUploadSignal(deviceID);
}

void K310Device::emitValue(const K310DataPacket &reply)
{
    switch (reply.command) {
    case WeightNetto:
        emit hasGetWeightNETTOSignal(deviceID, decimalText(reply));
        break;
    case SoftwareVersion:
        emit hasGetPOVersionSignal(deviceID, decimalText(reply));
        break;
    case DoseWeight:
        emit hasSetDoseWeightSignal(deviceID, decimalText(reply));
        break;
    case ReadDoseFaultPlus:
    case WriteDoseFaultPlus:
        emit hasGetDoseFaultPlusSignal(deviceID, decimalText(reply));
        break;
    case ReadDoseFaultMinus:
    case WriteDoseFaultMinus:
        emit hasGetDoseFaultMinusSignal(deviceID, decimalText(reply));
        break;
    case UploadDose:
        emit hasGetDoseUploadSignal(deviceID, decimalText(reply));
        break;
    case Counters:
        emitCounter(reply);
        break;
    case Parameters:
        emitParameter(reply);
        break;
    default:
        break;
    }
}

void K310Device::emitCounter(const K310DataPacket &reply)
{
    switch (reply.subCommand) {
    case SumWeightOfLastDownload:
        emit hasGetSumWeightOfLastDownloadSignal(deviceID, decimalText(reply));
        break;
    case DoseCount:
        emit hasGetDoseCountSignal(deviceID, decimalText(reply));
        break;
    case TotalWeight:
        emit hasGetTotalWeightSignal(deviceID, counterText(reply));
        break;
    case TotalCommonDoseCount:
        emit hasGetTotalCommonDoseCountSignal(deviceID, counterText(reply));
        break;
    case TotalCommonWeight:
        emit hasGetTotalCommonWeightSignal(deviceID, counterText(reply));
        break;
    default:
        break;
    }
}

void K310Device::emitParameter(const K310DataPacket &reply)
{
    switch (reply.subCommand) {
    case UpperLimit:
        emit hasGetNPDSignal(deviceID, decimalText(reply));
        break;
    case Scale:
        emit hasGetScaleSignal(deviceID, decimalText(reply));
        emit hasGetScaleSignal(deviceID, reply.decimals);
        break;
    case WeightUnit:
    case TotalWeightUnit: {
        const QString unit = unitText(reply);
        if (unit.isEmpty())
            break;
        if (reply.subCommand == WeightUnit)
            emit hasGetWeightScaleSignal(deviceID, unit);
        else
            emit hasGetTotalWeightScaleSignal(deviceID, unit);
        break;
    }
    default:
        break;
    }
}

#include "moc_k310device.cpp"
