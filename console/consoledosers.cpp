#include "consoledosers.h"

#include "k310device.h"

ConsoleDosers::ConsoleDosers(const QList<K310Device *> &devices,
                             std::function<void(int, const QString &)> doseShown)
    : devices(devices)
    , doseShown(std::move(doseShown))
{ }

int ConsoleDosers::doserCount() const
{
    return int(devices.size());
}

int ConsoleDosers::deviceId(int position) const
{
    return isValid(position) ? devices.at(position)->getDeviceID() : -1;
}

QString ConsoleDosers::productName(int position) const
{
    return isValid(position) ? devices.at(position)->getProductName() : QString();
}

bool ConsoleDosers::isOnline(int position) const
{
    if (!isValid(position))
        return false;
    const K310Device *doser = devices.at(position);
    return doser->isDeviceActive() && !doser->isDeviceNeedToBeChecked();
}

bool ConsoleDosers::isLost(int position) const
{
    if (!isValid(position))
        return false;
    const K310Device *doser = devices.at(position);
    return doser->isDeviceActive() && doser->isDeviceNeedToBeChecked();
}

void ConsoleDosers::resetErrorFlag(int position)
{
    if (isValid(position))
        devices.at(position)->resetErrorFlag();
}

void ConsoleDosers::discharge(int position)
{
    if (isValid(position))
        devices.at(position)->uploadDose();
}

void ConsoleDosers::stopWork(int position)
{
    if (isValid(position))
        devices.at(position)->stopWork();
}

void ConsoleDosers::askTotalCommonWeight(int position)
{
    if (isValid(position))
        devices.at(position)->requestTotalCommonWeight();
}

void ConsoleDosers::askTotalCommonDoseCount(int position)
{
    if (isValid(position))
        devices.at(position)->requestTotalCommonDoseCount();
}

void ConsoleDosers::askDoseCount(int position)
{
    if (isValid(position))
        devices.at(position)->requestDoseCount();
}

void ConsoleDosers::askNetWeight(int position)
{
    if (isValid(position))
        devices.at(position)->requestWeightNETTO();
}

void ConsoleDosers::fillIfOnline(int position, double weight, quint8 decimals)
{
    if (!isOnline(position))
        return;
    const QString text = QString::number(weight, 'f', decimals);
    devices.at(position)->resetErrorFlag();
    devices.at(position)->downloadDose(text, decimals);
    doseShown(position, text);
}

void ConsoleDosers::dischargeIfOnline(int position)
{
    if (!isOnline(position))
        return;
    devices.at(position)->resetErrorFlag();
    devices.at(position)->uploadDose();
}

void ConsoleDosers::askWeighingLimitIfOnline(int position)
{
    if (isOnline(position))
        devices.at(position)->requestNPD();
}
