#include "devicesignallog.h"

namespace {

QString argumentText(int number)
{
    return QString::number(number);
}

QString argumentText(quint8 number)
{
    return QString::number(number);
}

QString argumentText(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString argumentText(const K310DataPacket &packet)
{
    return QLatin1Char('[') + packet.toString() + QLatin1Char(']');
}

} // namespace

template<typename... Args>
void DeviceSignalLog::watch(K310Device &device, void (K310Device::*signal)(Args...),
                            const char *name)
{
    connect(&device, signal, this, [this, name](Args... arguments) {
        append(name, QStringList {argumentText(arguments)...});
    });
}

DeviceSignalLog::DeviceSignalLog(K310Device &device)
    : ownThread(QThread::currentThread())
{
    watch(device, &K310Device::hasSysMes, "hasSysMes");
    watch(device, &K310Device::requestSignal, "requestSignal");
    watch(device, &K310Device::workStoppedMustDownloadSignal, "workStoppedMustDownloadSignal");
    watch(device, &K310Device::workStoppedMustUploadSignal, "workStoppedMustUploadSignal");
    watch(device, &K310Device::hasConnectionErrorSignal, "hasConnectionErrorSignal");
    watch(device, &K310Device::hasErrorSignal, "hasErrorSignal");
    watch(device, &K310Device::needToStopTheWork, "needToStopTheWork");
    watch(device, &K310Device::readyIsWaitingCommandActionSignal,
          "readyIsWaitingCommandActionSignal");
    watch(device, &K310Device::weightMeasurementBeforeDispensingActionSignal,
          "weightMeasurementBeforeDispensingActionSignal");
    watch(device, &K310Device::weightMeasurementAfterDispensingActionSignal,
          "weightMeasurementAfterDispensingActionSignal");
    watch(device, &K310Device::doseIsDownloadingActionSignal, "doseIsDownloadingActionSignal");
    watch(device, &K310Device::doseIsUploadingActionSignal, "doseIsUploadingActionSignal");
    watch(device, &K310Device::hasCurrentStateSignal, "hasCurrentStateSignal");
    watch(device, &K310Device::hasSetDoseWeightSignal, "hasSetDoseWeightSignal");
    watch(device, &K310Device::hasGetDoseUploadSignal, "hasGetDoseUploadSignal");
    watch(device, &K310Device::hasGetSumWeightOfLastDownloadSignal,
          "hasGetSumWeightOfLastDownloadSignal");
    watch(device, &K310Device::hasGetDoseCountSignal, "hasGetDoseCountSignal");
    watch(device, &K310Device::hasGetTotalWeightSignal, "hasGetTotalWeightSignal");
    watch(device, &K310Device::hasGetTotalCommonDoseCountSignal,
          "hasGetTotalCommonDoseCountSignal");
    watch(device, &K310Device::hasGetTotalCommonWeightSignal, "hasGetTotalCommonWeightSignal");
    watch(device, &K310Device::hasGetDoseFaultPlusSignal, "hasGetDoseFaultPlusSignal");
    watch(device, &K310Device::hasGetDoseFaultMinusSignal, "hasGetDoseFaultMinusSignal");
    watch(device, &K310Device::hasGetWeightNETTOSignal, "hasGetWeightNETTOSignal");
    watch(device, &K310Device::hasGetPOVersionSignal, "hasGetPOVersionSignal");
    watch(device, qOverload<int, const QString &>(&K310Device::hasGetScaleSignal),
          "hasGetScaleSignal");
    watch(device, qOverload<int, quint8>(&K310Device::hasGetScaleSignal), "hasGetScaleSignal");
    watch(device, &K310Device::hasGetNPDSignal, "hasGetNPDSignal");
    watch(device, &K310Device::hasGetWeightScaleSignal, "hasGetWeightScaleSignal");
    watch(device, &K310Device::hasGetTotalWeightScaleSignal, "hasGetTotalWeightScaleSignal");
}

void DeviceSignalLog::append(const char *name, const QStringList &arguments)
{
    if (QThread::currentThread() != ownThread)
        onOwnThread = false;
    entries.append(QString::fromLatin1(name) + QLatin1Char('(')
                   + arguments.join(QLatin1String(", ")) + QLatin1Char(')'));
}
